#include "scadenzio/Esporta.h"

#include "scadenzio/Error.h"

namespace sz::esporta {

void scrivi(const QString& file, const Tabella& tabella)
{
    if (file.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        scriviXlsx(file, tabella);
    else
        scriviCsv(file, tabella);
}

void scriviXlsx(const QString&, const Tabella&)
{
    throw Error(QStringLiteral("esportazione non ancora disponibile"));
}

void scriviCsv(const QString&, const Tabella&)
{
    throw Error(QStringLiteral("esportazione non ancora disponibile"));
}

} // namespace sz::esporta
