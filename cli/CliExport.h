#pragma once

#include "CliDunning.h"

#include "scadenzio/Esporta.h"

#include <QString>
#include <QStringList>

// --xlsx FILE and --csv FILE of the list commands.
namespace sz::cli {

struct Esportazione
{
    QString xlsx, csv;
    bool vuota() const { return xlsx.isEmpty() && csv.isEmpty(); }
};

// Takes the two options (each at most once, with its file; "--xlsx=FILE" too) out of args,
// up to a "--". Throws sz::Error (Italian) when one lacks its file, is given twice, or both
// name the same file.
Esportazione leggiEsportazione(QStringList& args);

// Writes the table into the files asked for, each in the kind of its option whatever the
// name ends with; false after an error line on io.err. Nothing is printed on success.
bool esporta(const Esportazione& dove, const sz::esporta::Tabella& tabella, const Output& io);

} // namespace sz::cli
