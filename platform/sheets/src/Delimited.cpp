#include "scadenzio/sheets/Delimited.h"

#include "scadenzio/Error.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

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

Rows parseDelimited(const QByteArray& bytes, QChar delimiter)
{
    const QStringList lines = splitLines(decodeText(bytes));
    Rows rows;
    rows.reserve(lines.size());
    for (const QString& line : lines)
        rows << splitLine(line, delimiter);
    return rows;
}

Rows readDelimited(const QString& path, QChar delimiter)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                        .arg(QDir::toNativeSeparators(path), f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                        .arg(QDir::toNativeSeparators(path), f.errorString()));
    return parseDelimited(bytes, delimiter);
}

} // namespace sz::sheets
