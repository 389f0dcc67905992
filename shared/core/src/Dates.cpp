#include "scadenzio/Dates.h"

namespace sz::dates {

QString toIso(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QDate fromIso(const QString& text)
{
    // Read by hand: every list reads thousands of dates, and the format parser is slow.
    if (text.size() < 10 || text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-'))
        return {};
    auto digits = [&text](int from, int count) {
        int v = 0;
        for (int i = from; i < from + count; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            v = v * 10 + (c - u'0');
        }
        return v;
    };
    const int y = digits(0, 4), m = digits(5, 2), d = digits(8, 2);
    if (y < 0 || m < 0 || d < 0)
        return {};
    return QDate(y, m, d); // invalid for impossible days such as 31/02
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
