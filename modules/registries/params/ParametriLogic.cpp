#include "ParametriLogic.h"

#include "scadenzio/RecordFilter.h"

namespace sz::params {

const QString sqlParametri = QStringLiteral(
    "SELECT *, COALESCE(GiorniTraSolleciti, 0) AS GiorniTraSollecitiMostrati FROM t_parametri ORDER BY ID");

QString filtroModalita(const QString& testo)
{
    return sz::db::containsInAny({QStringLiteral("Modalita")}, testo);
}

} // namespace sz::params
