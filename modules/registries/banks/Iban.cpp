#include "Iban.h"

#include <QHash>

namespace sz::banks {

namespace {

// Lengths of the countries whose IBANs a firm here is likely to be given. A missing
// or doubled digit can still pass mod 97 now and then; the length cannot.
const QHash<QString, int>& knownLengths()
{
    static const QHash<QString, int> lengths = {
        {"AD", 24}, {"AT", 20}, {"BE", 16}, {"BG", 22}, {"CH", 21}, {"CY", 28}, {"CZ", 24}, {"DE", 22},
        {"DK", 18}, {"EE", 20}, {"ES", 24}, {"FI", 18}, {"FR", 27}, {"GB", 22}, {"GR", 27}, {"HR", 21},
        {"HU", 28}, {"IE", 22}, {"IS", 26}, {"IT", 27}, {"LI", 21}, {"LT", 20}, {"LU", 20}, {"LV", 21},
        {"MC", 27}, {"MT", 31}, {"NL", 18}, {"NO", 15}, {"PL", 28}, {"PT", 25}, {"RO", 24}, {"SE", 24},
        {"SI", 19}, {"SK", 24}, {"SM", 27}, {"VA", 22},
    };
    return lengths;
}

bool isAsciiUpper(QChar c)
{
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z');
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

QString normalizeIban(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!c.isSpace())
            out.append(c.toUpper());
    return out;
}

bool isValidIban(const QString& text)
{
    const QString iban = normalizeIban(text);
    if (iban.size() < 15 || iban.size() > 34)
        return false;
    if (!isAsciiUpper(iban[0]) || !isAsciiUpper(iban[1]) || !isAsciiDigit(iban[2]) || !isAsciiDigit(iban[3]))
        return false;
    const auto known = knownLengths().constFind(iban.left(2));
    if (known != knownLengths().constEnd() && iban.size() != *known)
        return false;

    // Country and check digits move to the end, letters count as 10..35, and the
    // whole number must leave 1 when divided by 97; done digit by digit.
    const QString moved = iban.mid(4) + iban.left(4);
    int remainder = 0;
    for (QChar c : moved) {
        if (isAsciiDigit(c))
            remainder = (remainder * 10 + (c.unicode() - '0')) % 97;
        else if (isAsciiUpper(c))
            remainder = (remainder * 100 + (c.unicode() - 'A' + 10)) % 97;
        else
            return false;
    }
    return remainder == 1;
}

} // namespace sz::banks
