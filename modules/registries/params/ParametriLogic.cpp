#include "ParametriLogic.h"

#include "scadenzio/RecordFilter.h"

namespace sz::params {

QString filtroModalita(const QString& testo)
{
    return sz::db::containsInAny({QStringLiteral("Modalita")}, testo);
}

} // namespace sz::params
