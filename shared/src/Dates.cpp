#include "scadenzio/Dates.h"

namespace sz::dates {

QString toIso(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QDate fromIso(const QString& text)
{
    if (text.size() < 10)
        return {};
    return QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
}

QString toDisplay(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("dd/MM/yyyy")) : QString();
}

QDate fromDisplay(const QString& text)
{
    const QString t = text.trimmed();
    const auto parts = t.split(QLatin1Char('/'));
    if (parts.size() != 3 || parts[2].size() != 4)
        return {};
    bool okD = false, okM = false, okY = false;
    const int d = parts[0].toInt(&okD);
    const int m = parts[1].toInt(&okM);
    const int y = parts[2].toInt(&okY);
    if (!okD || !okM || !okY)
        return {};
    return QDate(y, m, d);
}

} // namespace sz::dates
