#pragma once

#include "scadenzio/RecordFilter.h"

#include <QString>
#include <QStringList>

// The free-text search of the client list, kept header-only so the benchmark can use
// the very expression the frame builds without linking the module.
namespace clienti {

// Every column the search looks into, in the order the expression names them. CF is
// left out on purpose: tax codes are found through the VAT number users actually type.
inline const QStringList& colonneRicerca()
{
    static const QStringList cols = {QStringLiteral("RagioneSociale"), QStringLiteral("Indirizzo"),
                                     QStringLiteral("CAP"),            QStringLiteral("Localita"),
                                     QStringLiteral("Provincia"),      QStringLiteral("Telefono"),
                                     QStringLiteral("Cell"),           QStringLiteral("Fax"),
                                     QStringLiteral("IVA"),            QStringLiteral("Mail1"),
                                     QStringLiteral("Mail2"),          QStringLiteral("Mail3"),
                                     QStringLiteral("Riferimento")};
    return cols;
}

// The record filter for a search text; empty text means no filter. A quote is doubled
// so that "L'ARTE" stays one literal instead of ending it.
inline QString filtroClienti(const QString& testo)
{
    return sz::db::containsInAny(colonneRicerca(), testo);
}

} // namespace clienti
