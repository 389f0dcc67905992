#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Export.h"

#include <QDate>
#include <QString>

// The interest columns of a list of credits: "Interessi" and "TotaleDovuto" (residual plus
// interest) as formatted amounts that sort by value, and "InteressiMancante", the message of
// a credit whose rate is missing (its two amounts are then empty, never an invented figure).
namespace sz::interessi {

inline const QString ColonnaInteressi = QStringLiteral("Interessi");
inline const QString ColonnaTotaleDovuto = QStringLiteral("TotaleDovuto");
inline const QString ColonnaMancante = QStringLiteral("InteressiMancante");

struct SZ_CORE_EXPORT EsitoColonne
{
    int mancanti = 0;  // credits left without interest for a missing rate
    QString messaggio; // the first such credit's message, empty when none
};

// Appends the three columns to a result that holds Residuo, Scadenza, DataFattura and Cliente,
// interest counted to al. Rates and the clients' kinds are read once, whatever the row count.
// A result without those columns gets the columns empty.
SZ_CORE_EXPORT EsitoColonne aggiungiColonne(db::Connection& conn, db::Result& result, const QDate& al);

} // namespace sz::interessi
