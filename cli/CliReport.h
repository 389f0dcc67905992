#pragma once

#include "CliDunning.h"

// "report issued" and "letters preview": the issued-documents list and its printed
// report, and the test letter of a template, without a window.
namespace sz::cli {

// args after "report" / after "letters". Exit codes as the other commands.
int runReport(const QStringList& args, const Output& io);
int runLetters(const QStringList& args, const Output& io);

} // namespace sz::cli
