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
// them (neither trimmed nor upper-cased).
using Rows = QList<QStringList>;

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

// The whole file. Throws sz::Error (an Italian message naming the file) when it cannot
// be read.
Rows readDelimited(const QString& path, QChar delimiter);
Rows parseDelimited(const QByteArray& bytes, QChar delimiter);

} // namespace sz::sheets
