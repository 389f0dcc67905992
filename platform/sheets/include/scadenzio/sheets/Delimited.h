#pragma once

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

// Delimited text files (.csv, .txt) as other programs export them: the encoding told by
// a byte-order mark, else UTF-8 when the bytes are valid UTF-8, else the Windows code
// page Italian offices write; one row a line; fields split by one delimiter character
// with double quotes around fields that hold it.
namespace sz::sheets {

// The rows of a file as read: row 0 is the file's first line. Texts are as the file has
// them (neither trimmed nor upper-cased). Rows keep their own width: a short row is short.
using Rows = QList<QStringList>;

// What one read of a file may hold, far above any register's export but low enough that
// a hostile file is refused in seconds and within a few hundred MB. A file past one of
// them is refused with a message that names the limit. A read is one call of a reader,
// a ZIP of many files and the archives inside it included.
namespace limits {
// Rows, as many as an office program's sheet holds.
constexpr qint64 rows = 1048576;
// Columns of the grid, counted up to the widest row.
constexpr qint64 columns = 1000;
// Cells of the grid as the import holds it: rows times the widest row (an empty row
// counts as one cell).
constexpr qint64 cells = 2'000'000;
// Characters of one cell (the most an office program keeps in one).
constexpr qint64 cellChars = 32767;
// Characters of every cell together, repeated cells and spaces counted as they expand.
constexpr qint64 textChars = 30'000'000;
// Bytes a read may decompress from archives: this, or 16 times the file's own size when
// that is more.
constexpr qint64 decompressedBytes = 256ll * 1024 * 1024;
// An archive entry may expand to at most this many times its compressed size once it
// passes 1 MiB; ordinary XML parts stay well below 100.
constexpr qint64 zipRatio = 200;
// A text file is read whole; past this it is refused without reading.
constexpr qint64 textFileBytes = 256ll * 1024 * 1024;
} // namespace limits

// The text of the file's bytes: UTF-8 or UTF-16 (either byte order) after a byte-order
// mark, which is dropped; without one, UTF-8 when the bytes are valid UTF-8, else
// Windows-1252.
QString decodeText(const QByteArray& bytes);

// The lines of a text, ending at CR, LF or CR LF. A line break after the last line adds
// no line; an empty line inside the text is an empty line.
QStringList splitLines(const QString& text);

// The fields of one line. A field that begins with a double quote runs to the next
// double quote that is not doubled (or to the end of the line); inside it "" is one
// quote and the delimiter is an ordinary character; text after the closing quote, up to
// the next delimiter, is a field of its own. A quote anywhere else is an ordinary
// character. Two delimiters in a row give an empty field, a delimiter at the end of the
// line an empty last field; an empty line gives no field at all.
QStringList splitLine(const QString& line, QChar delimiter);

// The whole file. A field in double quotes may hold line breaks (as office programs write
// multi-line cells); a quote that never closes runs to the end of its line only. Throws
// sz::Error (an Italian message naming the file) when it cannot be read or passes one of
// the limits.
Rows readDelimited(const QString& path, QChar delimiter);
Rows parseDelimited(const QByteArray& bytes, QChar delimiter, const QString& name = QString());

} // namespace sz::sheets
