#include "CliDunning.h"

namespace sz::cli {

int runLettersLog(const QStringList&, const Output& io)
{
    io.err(QStringLiteral("letters log: non ancora disponibile"));
    return 2;
}

} // namespace sz::cli
