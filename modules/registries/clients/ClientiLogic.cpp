#include "ClientiLogic.h"

#include "FiltroClienti.h"

#include "scadenzio/Dates.h"

namespace clienti {

int creditiConNome(sz::db::Connection& conn, const QString& nome)
{
    return conn
        .scalar(QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE Cliente = :nome OR DestinatarioFattura = :nome"),
                {{QStringLiteral("nome"), nome}})
        .toInt();
}

void rinominaCrediti(sz::db::Connection& conn, const QString& vecchio, const QString& nuovo)
{
    const sz::db::Params p = {{QStringLiteral("vecchio"), vecchio}, {QStringLiteral("nuovo"), nuovo}};
    conn.exec(QStringLiteral("UPDATE t_crediti SET Cliente = :nuovo WHERE Cliente = :vecchio"), p);
    conn.exec(QStringLiteral("UPDATE t_crediti SET DestinatarioFattura = :nuovo WHERE DestinatarioFattura = :vecchio"), p);
}

QVariant testoSospensione(bool sospendi, const QDate& fino, const QDate& oggi)
{
    if (!sospensioneInVigore(sospendi, fino, oggi))
        return {};
    if (!fino.isValid())
        return QStringLiteral("SOSPESO");
    return QStringLiteral("SOSPESO fino al ") + sz::dates::toDisplay(fino);
}

const QString sqlClienti =
    QStringLiteral("SELECT *, CASE WHEN ") + sz::sospensione::inVigore() +
    QStringLiteral(" THEN CASE WHEN SospesoFino IS NULL THEN 'SOSPESO' ELSE 'SOSPESO fino al ' || "
                   "FORMAT(SospesoFino, 'dd/mm/yyyy') END END AS Sospensione FROM t_clienti ORDER BY ID");

sz::db::Params parametriClienti(const QDate& oggi)
{
    return {{QStringLiteral("Oggi"), oggi}};
}

QString filtroElenco(const QString& testo, bool soloSospesi)
{
    const QString ricerca = filtroClienti(testo);
    if (!soloSospesi)
        return ricerca;
    const QString sospesi = QStringLiteral("Sospensione <> null");
    return ricerca.isEmpty() ? sospesi : QStringLiteral("(") + ricerca + QStringLiteral(") AND ") + sospesi;
}

bool sembraConsumatore(const QString& codiceFiscale, const QString& partitaIva)
{
    const QString cf = codiceFiscale.trimmed();
    if (cf.size() != 16 || !partitaIva.trimmed().isEmpty())
        return false;
    for (const QChar ch : cf)
        if (!(ch.isDigit() || (ch.toUpper() >= QLatin1Char('A') && ch.toUpper() <= QLatin1Char('Z'))))
            return false;
    return true;
}

} // namespace clienti
