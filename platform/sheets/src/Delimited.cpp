#include "scadenzio/sheets/Delimited.h"

#include "scadenzio/Error.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringDecoder>

#include <new>

namespace sz::sheets {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F; the five unassigned bytes keep
// their C1 code points, as Windows itself maps them.
constexpr char16_t cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *d++ = QChar(b >= 0x80 && b < 0xA0 ? cp1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

QString decodeWith(QStringDecoder::Encoding encoding, QByteArrayView bytes)
{
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace

QString decodeText(const QByteArray& bytes)
{
    const QByteArrayView all(bytes);
    if (all.startsWith("\xEF\xBB\xBF")) return decodeWith(QStringDecoder::Utf8, all.sliced(3));
    if (all.startsWith("\xFF\xFE")) return decodeWith(QStringDecoder::Utf16LE, all.sliced(2));
    if (all.startsWith("\xFE\xFF")) return decodeWith(QStringDecoder::Utf16BE, all.sliced(2));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(all);
    if (!utf8.hasError()) return text;
    return fromWindows1252(all);
}

QStringList splitLines(const QString& text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
        lines << text.sliced(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
        start = i + 1;
    }
    if (start < n) lines << text.sliced(start);
    return lines;
}

QStringList splitLine(const QString& line, QChar delimiter)
{
    QStringList fields;
    const qsizetype n = line.size();
    if (n == 0) return fields;
    const QChar quote(u'"');
    qsizetype i = 0;
    for (;;) {
        if (line[i] == quote) {
            ++i;
            QString field;
            while (i < n) {
                const qsizetype q = line.indexOf(quote, i);
                if (q < 0) { // no closing quote: the field runs to the end of the line
                    field += QStringView(line).sliced(i);
                    i = n;
                    break;
                }
                field += QStringView(line).sliced(i, q - i);
                if (q + 1 < n && line[q + 1] == quote) {
                    field += quote;
                    i = q + 2;
                    continue;
                }
                i = q + 1;
                break;
            }
            fields << field;
            if (i < n && line[i] != delimiter) {
                // What follows the closing quote up to the next delimiter stands alone.
                qsizetype end = line.indexOf(delimiter, i);
                if (end < 0) end = n;
                fields << line.sliced(i, end - i);
                i = end;
            }
        } else {
            qsizetype end = line.indexOf(delimiter, i);
            if (end < 0) end = n;
            fields << line.sliced(i, end - i);
            i = end;
        }
        if (i >= n) break;
        ++i; // the delimiter
        if (i == n) {
            fields << QString();
            break;
        }
    }
    return fields;
}

namespace {

QString fileNominato(const QString& name)
{
    return name.isEmpty() ? QStringLiteral("Il testo")
                          : QStringLiteral("Il file \"%1\"").arg(QDir::toNativeSeparators(name));
}

// Splits the whole text into records. Works like splitLine on each line, except that a
// quoted field runs on over line breaks to its closing quote; only a quote that never
// closes before the end of the text stops at the end of its line, as splitLine has it.
class Lettore
{
public:
    Lettore(const QString& text, QChar delimiter, const QString& name)
        : m_t(text), m_n(text.size()), m_delim(delimiter), m_name(name)
    {
    }

    Rows rows()
    {
        Rows out;
        qint64 widest = 0;
        while (m_i < m_n) {
            QStringList fields = record(out.size());
            widest = std::max<qint64>(widest, fields.size());
            if (out.size() >= limits::rows)
                throw Error(QStringLiteral("%1 è troppo grande per essere caricato (più di %2 righe; il massimo è "
                                           "%2): salvare solo i dati da importare e ripetere il caricamento.")
                                .arg(fileNominato(m_name), numero(limits::rows)));
            // The import pads every row to the widest one: count the cells it will hold.
            if (qint64(out.size() + 1) * std::max<qint64>(widest, 1) > limits::cells)
                throw Error(QStringLiteral("%1 è troppo grande per essere caricato (%2 righe per %3 colonne; il "
                                           "massimo è %4 celle): salvare solo i dati da importare e ripetere "
                                           "il caricamento.")
                                .arg(fileNominato(m_name), numero(out.size() + 1), numero(std::max<qint64>(widest, 1)),
                                     numero(limits::cells)));
            out << std::move(fields);
        }
        return out;
    }

private:
    static QString numero(qint64 n) { return QLocale(QLocale::Italian).toString(n); }

    bool fineRiga(qsizetype i) const
    {
        return i < m_n && (m_t[i] == QLatin1Char('\r') || m_t[i] == QLatin1Char('\n'));
    }
    qsizetype fineDellaRiga(qsizetype i) const
    {
        while (i < m_n && !fineRiga(i))
            ++i;
        return i;
    }
    // From i, the next delimiter or line end (or the end of the text).
    qsizetype fineCampo(qsizetype i) const
    {
        while (i < m_n && m_t[i] != m_delim && !fineRiga(i))
            ++i;
        return i;
    }
    void aggiungi(QStringList& fields, QString field, qsizetype riga)
    {
        if (field.size() > limits::cellChars)
            throw Error(QStringLiteral("%1 ha un campo troppo lungo per essere caricato (riga %2, colonna %3: più di "
                                       "%4 caratteri).")
                            .arg(fileNominato(m_name), numero(riga + 1), numero(fields.size() + 1),
                                 numero(limits::cellChars)));
        if (fields.size() >= limits::columns)
            throw Error(QStringLiteral("%1 è troppo grande per essere caricato (più di %2 colonne nella riga %3; "
                                       "il massimo è %2): salvare solo i dati da importare e ripetere il "
                                       "caricamento.")
                            .arg(fileNominato(m_name), numero(limits::columns), numero(riga + 1)));
        fields << std::move(field);
    }

    QStringList record(qsizetype riga)
    {
        QStringList fields;
        const QChar quote(u'"');
        if (fineRiga(m_i)) { // an empty line: a row without fields
            saltaFineRiga();
            return fields;
        }
        for (;;) {
            if (m_t[m_i] == quote) {
                QString field;
                qsizetype i = m_i + 1;
                bool chiuso = false;
                while (i < m_n && !m_aperteFinoAllaFine) {
                    const qsizetype q = m_t.indexOf(quote, i);
                    if (q < 0) {
                        m_aperteFinoAllaFine = true; // no quote left anywhere: none will close
                        break;
                    }
                    field += QStringView(m_t).sliced(i, q - i);
                    if (field.size() > limits::cellChars) aggiungi(fields, field, riga);
                    if (q + 1 < m_n && m_t[q + 1] == quote) {
                        field += quote;
                        i = q + 2;
                        continue;
                    }
                    i = q + 1;
                    chiuso = true;
                    break;
                }
                if (!chiuso) {
                    // The field runs to the end of its line.
                    const qsizetype e = fineDellaRiga(m_i + 1);
                    field = m_t.sliced(m_i + 1, e - m_i - 1);
                    i = e;
                }
                aggiungi(fields, std::move(field), riga);
                m_i = i;
                if (m_i < m_n && m_t[m_i] != m_delim && !fineRiga(m_i)) {
                    // What follows the closing quote up to the next delimiter stands alone.
                    const qsizetype e = fineCampo(m_i);
                    aggiungi(fields, m_t.sliced(m_i, e - m_i), riga);
                    m_i = e;
                }
            } else {
                const qsizetype e = fineCampo(m_i);
                aggiungi(fields, m_t.sliced(m_i, e - m_i), riga);
                m_i = e;
            }
            if (m_i >= m_n) break;
            if (fineRiga(m_i)) {
                saltaFineRiga();
                break;
            }
            ++m_i; // the delimiter
            if (m_i == m_n || fineRiga(m_i)) {
                aggiungi(fields, QString(), riga);
                saltaFineRiga();
                break;
            }
        }
        return fields;
    }

    void saltaFineRiga()
    {
        if (m_i < m_n && m_t[m_i] == QLatin1Char('\r')) {
            ++m_i;
            if (m_i < m_n && m_t[m_i] == QLatin1Char('\n')) ++m_i;
        } else if (m_i < m_n && m_t[m_i] == QLatin1Char('\n')) {
            ++m_i;
        }
    }

    const QString& m_t;
    const qsizetype m_n;
    const QChar m_delim;
    const QString& m_name;
    qsizetype m_i = 0;
    bool m_aperteFinoAllaFine = false;
};

Rows leggi(const QByteArray& bytes, QChar delimiter, const QString& name)
{
    const QString text = decodeText(bytes);
    return Lettore(text, delimiter, name).rows();
}

// Nothing but sz::Error leaves a reader: an allocation that fails is a file too big.
template <class F>
auto protetto(const QString& name, F&& f) -> decltype(f())
{
    try {
        return f();
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw Error(QStringLiteral("Impossibile leggere il file \"%1\": il file è troppo grande o danneggiato: la "
                                   "memoria non basta per leggerlo.")
                        .arg(QDir::toNativeSeparators(name)));
    } catch (...) {
        throw Error(QStringLiteral("Impossibile leggere il file \"%1\": il file è troppo grande o danneggiato: "
                                   "errore interno.")
                        .arg(QDir::toNativeSeparators(name)));
    }
}

} // namespace

Rows parseDelimited(const QByteArray& bytes, QChar delimiter, const QString& name)
{
    return protetto(name, [&] { return leggi(bytes, delimiter, name); });
}

Rows readDelimited(const QString& path, QChar delimiter)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                        .arg(QDir::toNativeSeparators(path), f.errorString()));
    if (f.size() > limits::textFileBytes)
        throw Error(QStringLiteral("Il file \"%1\" è troppo grande per essere caricato (più di %2 MB): salvare "
                                   "solo i dati da importare e ripetere il caricamento.")
                        .arg(QDir::toNativeSeparators(path))
                        .arg(limits::textFileBytes / (1024 * 1024)));
    return protetto(path, [&] {
        const QByteArray bytes = f.readAll();
        if (f.error() != QFileDevice::NoError)
            throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                            .arg(QDir::toNativeSeparators(path), f.errorString()));
        return leggi(bytes, delimiter, path);
    });
}

} // namespace sz::sheets
