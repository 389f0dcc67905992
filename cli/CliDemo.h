#pragma once

#include "CliDunning.h"

namespace sz::cli {

// "demo": the demo firm in an empty register. 0 made (one summary line); 1 refused, the
// register holds data (nothing written); 2 failed (nothing written) or wrong usage.
int runDemo(const QStringList& args, const Output& io);

} // namespace sz::cli
