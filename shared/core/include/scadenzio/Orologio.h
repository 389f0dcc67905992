#pragma once

#include "scadenzio/Export.h"

#include <QDate>
#include <QDateTime>

// The program's clock. Every list, letter and stage date asks it at the moment of the
// action, never once when a window opens: a window left open past midnight works for the
// new day. Tests move it to see what a day change does.
namespace sz {

// Today, as the clock reads now.
SZ_CORE_EXPORT QDate oggi();
// The current local date and time, as the clock reads now.
SZ_CORE_EXPORT QDateTime adesso();

// From now on the clock reads the given instant and runs on from it, as a real clock
// would; an invalid instant gives the system clock back. Safe from any thread.
SZ_CORE_EXPORT void impostaOrologio(const QDateTime& istante);

} // namespace sz
