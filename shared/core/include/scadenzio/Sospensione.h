#pragma once

#include <QDate>
#include <QString>

namespace sz::sospensione {

// A suspension of the dunning holds while its box is ticked and its last day, if it has
// one, has not passed: from the day after "fino al" letters go out again, tick or not.
inline bool sospensioneInVigore(bool sospendi, const QDate& fino, const QDate& oggi)
{
    return sospendi && (!fino.isValid() || fino >= oggi);
}

// The same test in SQL, of a suspension in force on the day bound to :Oggi, over the columns
// SospendiSolleciti and SospesoFino of the given table or alias (empty: unqualified). It
// holds while the flag is set and its day, if any, has not passed; a flag left empty by an
// old row counts as not set. Every list, letter run and count asks this one test, so none
// of them can disagree on who is suspended.
inline QString inVigore(const QString& tabella = QString())
{
    const QString p = tabella.isEmpty() ? QString() : tabella + QLatin1Char('.');
    return QStringLiteral("(COALESCE(%1SospendiSolleciti, 0) <> 0 AND (%1SospesoFino IS NULL OR "
                          "%1SospesoFino >= :Oggi))")
        .arg(p);
}

} // namespace sz::sospensione
