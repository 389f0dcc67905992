#pragma once

#include "scadenzio/Export.h"

#include <QDate>
#include <QString>

namespace sz::dates {

// Dates are stored as ISO text so that they sort and compare as dates in SQL.
SZ_CORE_EXPORT QString toIso(const QDate& d);
// Accepts "yyyy-mm-dd", optionally followed by a time part, as older rows may hold.
SZ_CORE_EXPORT QDate fromIso(const QString& text);
// "dd/mm/yyyy", the form of every date box and list.
SZ_CORE_EXPORT QString toDisplay(const QDate& d);
// Reads "dd/mm/yyyy" (also d/m/yyyy); an invalid or partial text gives a null date.
SZ_CORE_EXPORT QDate fromDisplay(const QString& text);
// The empty text of a date box.
inline const QString EmptyMask = QStringLiteral("  /  /    ");

} // namespace sz::dates
