#pragma once

#include "scadenzio/Database.h"

#include <QString>

// Credits name their client by its name, not by a key: a client renamed in the registry
// must take its credits along, or they stay under a name no client has.
namespace clienti {

// How many credits name the client as client or as recipient of the document.
int creditiConNome(sz::db::Connection& conn, const QString& nome);
// Gives those credits the new name. Runs inside the caller's transaction, so the
// client's row and its credits are renamed together or not at all.
void rinominaCrediti(sz::db::Connection& conn, const QString& vecchio, const QString& nuovo);

} // namespace clienti
