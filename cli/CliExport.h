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

// Takes the two options (each at most once, with its file) out of args. Throws sz::Error
// (Italian) when one lacks its file.
Esportazione leggiEsportazione(QStringList& args);

// Writes the table into the files asked for; false after an error line on io.err.
bool esporta(const Esportazione& dove, const sz::esporta::Tabella& tabella, const Output& io);

} // namespace sz::cli
