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
    // The start-up takes a profile as complete only with exactly 11 characters: a save
    // that accepted fewer would send the user back to the setup without a word.
    const qsizetype n = iva.trimmed().size();
    if (n != 11)
        return QStringLiteral("ATTENZIONE: la partita IVA deve essere di 11 caratteri (ne sono stati inseriti %1). "
                              "Si prega di correggere il campo per poter effettuare il salvataggio dei dati.")
            .arg(n);
    if (ragioneSociale.trimmed().isEmpty())
        return QStringLiteral("ATTENZIONE: la ragione sociale risulta mancante. Si prega di compilare il campo "
                              "richiesto per poter effettuare il salvataggio dei dati.");
    return {};
}

} // namespace sz::company
