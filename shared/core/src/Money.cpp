#include "scadenzio/Money.h"

#include "scadenzio/Error.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <cstdlib>

namespace sz {

namespace {

QString groupThousands(std::int64_t units)
{
    QString digits = QString::number(units);
    QString out;
    out.reserve(digits.size() + digits.size() / 3);
    const int n = int(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += QLatin1Char('.');
        out += digits[i];
    }
    return out;
}

std::int64_t pow10(int n)
{
    std::int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

} // namespace

QString Money::overflowMessage()
{
    return QStringLiteral("la somma degli importi supera il massimo gestibile dal programma "
                          "(€ 922.337.203.685.477,58): controllare gli importi inseriti");
}

void Money::overflow()
{
    throw Error(overflowMessage());
}

Money Money::fromDouble(double euro)
{
    return fromRaw(std::int64_t(std::llround(euro * double(Scale))));
}

std::optional<Money> Money::parse(const QString& input)
{
    QString t = input.trimmed();
    t.remove(QChar(0x20AC)); // €
    t.remove(QLatin1Char(' '));
    t.remove(QChar(0x00A0));
    if (t.isEmpty())
        return std::nullopt;

    bool negative = false;
    if (t.startsWith(QLatin1Char('-'))) {
        negative = true;
        t.remove(0, 1);
    } else if (t.startsWith(QLatin1Char('+'))) {
        t.remove(0, 1);
    }
    if (t.isEmpty())
        return std::nullopt;

    // Decide which mark is the decimal separator: the comma is, when present;
    // otherwise a single full stop followed by fewer than three digits is too
    // (a value exported as "1234.5"), while "1.234" stays one thousand two hundred.
    int decimalPos = int(t.lastIndexOf(QLatin1Char(',')));
    if (decimalPos < 0) {
        const int dot = int(t.lastIndexOf(QLatin1Char('.')));
        if (dot >= 0 && t.count(QLatin1Char('.')) == 1 && t.size() - dot - 1 != 3)
            decimalPos = dot;
        else if (dot >= 0 && t.count(QLatin1Char('.')) == 1 && t.size() - dot - 1 == 3 && dot == 0)
            decimalPos = dot;
    }
    QString intPart = decimalPos >= 0 ? t.left(decimalPos) : t;
    QString fracPart = decimalPos >= 0 ? t.mid(decimalPos + 1) : QString();
    if (decimalPos >= 0 && intPart.contains(QLatin1Char(',')))
        return std::nullopt;
    intPart.remove(QLatin1Char('.'));
    if (intPart.isEmpty() && fracPart.isEmpty())
        return std::nullopt;
    for (QChar c : intPart)
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
    for (QChar c : fracPart)
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
    if (intPart.size() > 14)
        return std::nullopt;

    std::int64_t units = intPart.isEmpty() ? 0 : intPart.toLongLong();
    std::int64_t frac = 0;
    if (!fracPart.isEmpty()) {
        // Keep four decimals, rounding half away from zero on the fifth.
        const QString four = fracPart.left(4).leftJustified(4, QLatin1Char('0'));
        frac = four.toLongLong();
        if (fracPart.size() > 4 && fracPart[4].digitValue() >= 5)
            frac += 1;
    }
    std::int64_t raw = units * Scale + frac;
    return fromRaw(negative ? -raw : raw);
}

QString Money::toPlain(int decimals) const
{
    if (decimals < 0)
        decimals = 0;
    if (decimals > 4)
        decimals = 4;
    const std::int64_t div = pow10(4 - decimals);
    std::int64_t absRaw = std::llabs(m_raw);
    std::int64_t rounded = (absRaw + div / 2) / div; // half away from zero
    const std::int64_t unitScale = pow10(decimals);
    std::int64_t units = rounded / unitScale;
    std::int64_t frac = rounded % unitScale;
    QString out;
    if (m_raw < 0 && rounded != 0)
        out += QLatin1Char('-');
    out += groupThousands(units);
    if (decimals > 0)
        out += QLatin1Char(',') + QString::number(frac).rightJustified(decimals, QLatin1Char('0'));
    return out;
}

QString Money::toDisplay() const
{
    QString plain = toPlain(2);
    if (plain.startsWith(QLatin1Char('-')))
        return QStringLiteral("-€ ") + plain.mid(1);
    return QStringLiteral("€ ") + plain;
}

std::optional<FormattedAmount> FormattedAmount::fromDisplay(const char* p, int n)
{
    // "€ " or "-€ ", then digits grouped by full stops in threes, a comma, two digits.
    static constexpr char euro[] = "\xE2\x82\xAC ";
    int i = 0;
    bool negative = false;
    if (n > 0 && p[0] == '-') {
        negative = true;
        i = 1;
    }
    if (n - i < 4 || std::memcmp(p + i, euro, 4) != 0)
        return std::nullopt;
    i += 4;
    const int comma = n - 3;
    if (comma <= i || p[comma] != ',' || !std::isdigit(uchar(p[comma + 1])) || !std::isdigit(uchar(p[comma + 2])))
        return std::nullopt;
    // The integer part: "0", or 1 to 3 digits not starting with 0, then ".ddd" groups.
    const char* d = p + i;
    const int len = comma - i;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    int first = 0;
    while (first < len && digit(d[first]))
        ++first;
    if (first < 1 || first > 3 || (d[0] == '0' && len > 1))
        return std::nullopt;
    std::int64_t units = 0;
    int total = 0;
    for (int k = 0; k < len; ++k) {
        if (k >= first && (k - first) % 4 == 0) {
            if (d[k] != '.')
                return std::nullopt;
            continue;
        }
        if (!digit(d[k]))
            return std::nullopt;
        units = units * 10 + (d[k] - '0');
        if (++total > 15)
            return std::nullopt;
    }
    if (len > first && (len - first) % 4 != 0)
        return std::nullopt; // a last group shorter than three digits
    const std::int64_t cents = units * 100 + (p[comma + 1] - '0') * 10 + (p[comma + 2] - '0');
    if (cents > std::numeric_limits<std::int64_t>::max() / 100)
        return std::nullopt;
    if (negative && cents == 0)
        return std::nullopt; // the formatter never writes "-€ 0,00"
    FormattedAmount f{Money::fromCents(negative ? -cents : cents)};
    return f;
}

namespace {
// Registered with the library, so that any QVariant of it reads as its text.
const bool formattedAmountConverts =
    QMetaType::registerConverter<FormattedAmount, QString>(&FormattedAmount::text);
} // namespace

QString Money::toMachine() const
{
    std::int64_t absRaw = std::llabs(m_raw);
    QString out = m_raw < 0 ? QStringLiteral("-") : QString();
    out += QString::number(absRaw / Scale) + QLatin1Char('.') +
           QString::number(absRaw % Scale).rightJustified(4, QLatin1Char('0'));
    return out;
}

} // namespace sz
