#pragma once

#include "ImportazioneLogic.h"

#include <QStringList>

// The issued electronic invoices as a preview grid: no mapping to choose, the header is
// fixed and every instalment is one row, read as the document import reads any file.
namespace sz::importazione {

// The name of a payment mode for its code MP01..MP23 ("BONIFICO" for MP05, "RI.BA." for
// MP12, as the seeded modes are named); an unknown code stays as it is.
QString modalitaPagamento(const QString& codice);

// The titles of the fixed header, in column order.
const QStringList& intestazioniFatturaElettronica();
// The mapping of the document fields on those titles.
Scelte scelteFatturaElettronica();
// Adds to columns resolved for the document fields the client registry columns of an
// electronic-invoice grid, which fill the empty fields of the client, and the column of
// the instalment's IBAN, by which the import finds or adds its bank.
void aggiungiAnagrafica(Colonne& colonne, const Griglia& griglia);

// Reads invoice files (.xml, .p7m, or .zip of them, by content) into one grid. Received
// invoices (supplier other than the company), credit notes, self-invoices, documents in
// another currency and unreadable files are left out: each document as one line of
// Caricamento::scartati naming the file, the document's number and date and its own
// reason, and a file that could not be read as one line naming it. Throws sz::Error when
// a file cannot be opened at all.
Caricamento caricaFattureElettroniche(sz::db::Connection& conn, const QStringList& file);

} // namespace sz::importazione
