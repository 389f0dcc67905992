#pragma once

#include "scadenzio/sheets/Delimited.h"

#include <QByteArray>
#include <QDateTime>
#include <QPair>
#include <QString>

// Spreadsheet files as office programs save them: Excel 97-2003 (.xls), Excel 2007 and
// later (.xlsx) and OpenDocument (.ods). Only the first sheet is read, as a block from A1
// to the last cell that holds a value, every value already in the text a clerk sees with
// the Italian settings.
namespace sz::sheets {

struct Foglio
{
    // One row per spreadsheet row from row 1, each exactly as wide as the last used
    // column; empty cells are empty texts.
    Rows righe;
    // Cells that hold something this reader cannot read (a formula saved without its
    // result, an error value): empty here.
    // Non-empty: how many, in which columns, and what to do about it.
    QString avviso;
    // Those cells by position (row, column from 0, as in righe), in row order: an import
    // refuses the rows that hold one rather than taking them as empty.
    QList<QPair<int, int>> illeggibili;
};

// Reads the first sheet. The kind of file is told by its content, not its name, so a
// workbook saved with the wrong extension still opens. Throws sz::Error with an Italian
// message naming the file when it is damaged, truncated, password-protected, not a
// spreadsheet, or too big for a preview.
Foglio readSpreadsheet(const QString& path);

// The same on bytes already in memory. nome names the file in messages.
Foglio parseSpreadsheet(const QByteArray& bytes, const QString& nome);

// ---- value texts, as the Italian settings show them ------------------------------------

// The shortest decimal form, decimal comma, no thousands separator: 1234,5; 0,1; -3.
QString numberText(double value);
// dd/MM/yyyy, with " hh:mm:ss" only when the time is not midnight.
QString dateTimeText(const QDateTime& value);
// The date of a spreadsheet serial number (days since the epoch of the workbook's date
// system; the fraction is the time of day). Invalid for serials no sheet can show.
QDateTime serialDateTime(double serial, bool date1904);
// "VERO", "FALSO".
QString boolText(bool value);
// "A", "Z", "AA", ... for a column counted from 0.
QString columnName(int column);

// The reader libraries and their versions, for support.
QString readerVersions();

} // namespace sz::sheets
