#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Sospensione.h"

#include <QDate>
#include <QString>
#include <QVariant>

// Credits name their client by its name, not by a key: a client renamed in the registry
// must take its credits along, or they stay under a name no client has.
namespace clienti {

// How many credits name the client as client or as recipient of the document.
int creditiConNome(sz::db::Connection& conn, const QString& nome);
// Gives those credits the new name. Runs inside the caller's transaction, so the
// client's row and its credits are renamed together or not at all.
void rinominaCrediti(sz::db::Connection& conn, const QString& vecchio, const QString& nuovo);

using sz::sospensione::sospensioneInVigore;
// What the list's "Sospensione" column shows: "SOSPESO", "SOSPESO fino al dd/mm/yyyy", or
// a null value when no suspension is in force.
QVariant testoSospensione(bool sospendi, const QDate& fino, const QDate& oggi);

// A tax code of sixteen letters and digits is a person's: with no VAT number beside it the
// client is most likely a private consumer, whose interest runs at the legal rate.
bool sembraConsumatore(const QString& codiceFiscale, const QString& partitaIva);

// The registry with the "Sospensione" column worked out by the database for the day
// given as :Oggi (no order: the database's until the user sorts).
extern const QString sqlClienti;
sz::db::Params parametriClienti(const QDate& oggi);
// The list's record filter: the search text, and only the suspended rows when asked.
QString filtroElenco(const QString& testo, bool soloSospesi);

} // namespace clienti
