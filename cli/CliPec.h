#pragma once

#include "CliDunning.h"

// "pec receipts" and "pec status": certified-mail receipts filed with their letters, and the
// state of each letter that went out by mail.
namespace sz::cli {

// args after "pec". 0 clean, 1 done with error lines, 2 failed or wrong usage.
int runPec(const QStringList& args, const Output& io);

} // namespace sz::cli
