#pragma once

#include "CliDunning.h"

// "import clients|invoices FILE" and "import restore": the import frame's run without a
// window.
namespace sz::cli {

int runImport(const QStringList& args, const Output& io);

} // namespace sz::cli
