#include "StatisticheCliente.h"

namespace clienti {

namespace {

std::optional<sz::Money> somma(sz::db::Connection& conn, const QString& sql, const sz::db::Params& params)
{
    const QVariant v = conn.scalar(sql, params);
    if (v.isNull())
        return std::nullopt;
    // SUM over a CURRENCY column has no declared type: it arrives as raw ten-thousandths.
    return sz::Money::fromRaw(v.toLongLong());
}

} // namespace

FigureCliente calcolaFigure(sz::db::Connection& conn, const QVariant& ragioneSociale, std::optional<int> anno)
{
    sz::db::Params params{{QStringLiteral("RagioneSociale"), ragioneSociale}};
    QString annoCond;
    if (anno) {
        // YEAR() yields an integer; a text parameter would never compare equal in SQLite.
        annoCond = QStringLiteral(" AND YEAR(DataFattura) = :YearDataFattura");
        params.append({QStringLiteral("YearDataFattura"), *anno});
    }
    const QString cliente = QStringLiteral(" FROM t_crediti WHERE Cliente = :RagioneSociale");
    const QString aperta = QStringLiteral(" AND Stato = 'APERTA'");

    FigureCliente f;
    f.totaleFatture = somma(conn, QStringLiteral("SELECT SUM(Importo) AS CalcImporto") + cliente + annoCond, params);
    f.totaleCrediti =
        somma(conn, QStringLiteral("SELECT SUM(Importo) AS CalcImporto") + cliente + aperta + annoCond, params);
    f.incassati = somma(conn, QStringLiteral("SELECT SUM(Incassato) AS CalcImportoIncassato") + cliente + aperta + annoCond,
                        params);
    f.daIncassare = somma(
        conn, QStringLiteral("SELECT SUM(Residuo) AS CalcImportoDaIncassare") + cliente + aperta + annoCond, params);
    return f;
}

QList<int> anniFatture(sz::db::Connection& conn)
{
    const auto r = conn.query(QStringLiteral("SELECT YEAR(DataFattura) AS Anno FROM t_crediti GROUP BY "
                                             "YEAR(DataFattura) ORDER BY YEAR(DataFattura) DESC"));
    QList<int> out;
    for (const auto& row : r.rows)
        if (!row[0].isNull())
            out << row[0].toInt();
    return out;
}

} // namespace clienti
