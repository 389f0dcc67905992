#include "SocietaLogic.h"

#include "scadenzio/Paths.h"

namespace sz::company {

QString companyLogoPath()
{
    return paths::dataRoot() + QStringLiteral("Logo/logo.bmp");
}

QString defaultLogoPath()
{
    return paths::programFolder() + QStringLiteral("Logo/logo.bmp");
}

bool logoChangeAllowed(const QString& databasePath)
{
    return !paths::isNetworkPath(databasePath);
}

QString campoMancante(const QString& iva, const QString& ragioneSociale)
{
    if (iva.trimmed().isEmpty())
        return QStringLiteral("ATTENZIONE: la partita IVA risulta mancante. Si prega di compilare il campo richiesto "
                              "per poter effettuare il salvataggio dei dati.");
    if (ragioneSociale.trimmed().isEmpty())
        return QStringLiteral("ATTENZIONE: la ragione sociale risulta mancante. Si prega di compilare il campo "
                              "richiesto per poter effettuare il salvataggio dei dati.");
    return {};
}

} // namespace sz::company
