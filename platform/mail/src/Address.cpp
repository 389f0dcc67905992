#include "scadenzio/mail/Address.h"

namespace sz::mail {

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

bool isSpecial(char16_t c)
{
    switch (c) {
    case u'<': case u'>': case u'"': case u',': case u';':
    case u'(': case u')': case u'[': case u']': case u'\\':
    case u' ': case 0x00a0: case u'@':
        return true;
    default:
        return false;
    }
}

} // namespace

bool haCaratteriControllo(const QString& testo)
{
    for (QChar c : testo)
        if (isControl(c.unicode()))
            return true;
    return false;
}

QString caratteriVisibili(const QString& testo)
{
    QString out;
    out.reserve(testo.size());
    for (QChar c : testo) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            out += QChar(char16_t(0x2400 + u));
        else if (u == 0x7f)
            out += QChar(char16_t(0x2421));
        else if (isControl(u))
            out += QStringLiteral("<U+%1>").arg(QString::number(int(u), 16).toUpper().rightJustified(4, QLatin1Char('0')));
        else
            out += c;
    }
    return out;
}

bool indirizzoValido(const QString& a)
{
    if (a.isEmpty() || a.size() > 254 || haCaratteriControllo(a))
        return false;
    qsizetype i = 0;
    // The local part: a quoted string, or a run of ordinary characters.
    if (a[0] == QLatin1Char('"')) {
        for (i = 1; i < a.size(); ++i) {
            if (a[i] == QLatin1Char('\\')) {
                if (++i >= a.size())
                    return false;
            } else if (a[i] == QLatin1Char('"')) {
                break;
            }
        }
        if (i >= a.size() || i < 2) // unterminated, or ""@
            return false;
        ++i; // past the closing quote
    } else {
        while (i < a.size() && !isSpecial(a[i].unicode()))
            ++i;
    }
    if (i == 0 || i > 64 || i >= a.size() || a[i] != QLatin1Char('@'))
        return false;
    const QString domain = a.mid(i + 1);
    if (domain.isEmpty() || domain.startsWith(QLatin1Char('.')) || domain.endsWith(QLatin1Char('.')) ||
        domain.contains(QLatin1String("..")) || domain.startsWith(QLatin1Char('-')))
        return false;
    for (QChar c : domain)
        if (isSpecial(c.unicode()) || c.isSpace())
            return false;
    for (QChar c : a.left(i))
        if (c.isSpace() && a[0] != QLatin1Char('"'))
            return false;
    return true;
}

QStringList dividiIndirizzi(const QString& campo)
{
    QStringList out;
    QString cur;
    auto flush = [&] {
        qsizetype b = 0, e = cur.size();
        while (b < e && cur[b] == QLatin1Char(' ')) ++b;
        while (e > b && cur[e - 1] == QLatin1Char(' ')) --e;
        if (e > b)
            out << cur.mid(b, e - b);
        cur.clear();
    };
    for (QChar c : campo) {
        if (c == QLatin1Char(';') || c == QLatin1Char(','))
            flush();
        else
            cur += c;
    }
    flush();
    return out;
}

QString problemaMittente(const QString& mailSocieta)
{
    qsizetype b = 0, e = mailSocieta.size();
    while (b < e && mailSocieta[b] == QLatin1Char(' ')) ++b;
    while (e > b && mailSocieta[e - 1] == QLatin1Char(' ')) --e;
    const QString a = mailSocieta.mid(b, e - b);
    if (a.isEmpty())
        return QStringLiteral("la mail della società (Mail in uso) non è impostata");
    if (indirizzoValido(a))
        return {};
    return QStringLiteral("la mail della società (Mail in uso) \"%1\" non è un indirizzo valido")
        .arg(caratteriVisibili(a));
}

QString campoMailNonAmmesso(const QString& campo, const QString& valore)
{
    if (!haCaratteriControllo(valore))
        return {};
    return QStringLiteral("ATTENZIONE: il campo \"%1\" contiene caratteri di controllo, come un a capo (%2). Si prega "
                          "di correggere il campo per poter effettuare il salvataggio dei dati.")
        .arg(campo, caratteriVisibili(valore));
}

} // namespace sz::mail
