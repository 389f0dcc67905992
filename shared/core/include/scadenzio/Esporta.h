#pragma once

#include "scadenzio/Export.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// A list as the clerk sees it, written to a file an office program opens: .xlsx with
// amounts as numbers in euro format and dates as dates, or .csv as Italian spreadsheets
// read it on a double click. Every list of the program and of the command line uses it.
namespace sz::esporta {

enum class Tipo {
    Testo,
    Importo, // sz::Money, or a formatted "€ 1.234,50" text
    Data,    // QDate, or a "dd/mm/yyyy" text
    Numero,  // whole or decimal numbers
    DataOra, // QDateTime, or a "dd/mm/yyyy hh:mm[:ss]" / "yyyy-MM-dd HH:mm:ss" text
};

struct SZ_CORE_EXPORT Tabella
{
    QStringList titoli;
    QVector<Tipo> tipi;               // one per title
    QVector<QVector<QVariant>> righe; // one value per title; a null value is an empty cell
};

// Writes the table; the kind of file by the extension (".xlsx" or ".csv", any case).
// Throws sz::Error with an Italian message naming the file when it cannot be written;
// a file that was there stays as it was until the new one is complete.
SZ_CORE_EXPORT void scrivi(const QString& file, const Tabella& tabella);
SZ_CORE_EXPORT void scriviXlsx(const QString& file, const Tabella& tabella);
SZ_CORE_EXPORT void scriviCsv(const QString& file, const Tabella& tabella);

// The value of a cell as a list shows it (dates dd/mm/yyyy, amounts "€ 1.234,50", SI/NO).
SZ_CORE_EXPORT QString testoDi(const QVariant& valore);
// The kind a column's values call for: amounts, dates, numbers, else text. Values that are
// texts count as amounts or dates only when every non-empty one reads as such.
SZ_CORE_EXPORT Tipo tipoDi(const QList<QVariant>& valori);

} // namespace sz::esporta
