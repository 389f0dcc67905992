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
    // One statement per bar, named after the dataset that holds it.
    struct Istruzione
    {
        const char* perAnno;
        const char* tuttiGliAnni;
    };
    static constexpr Istruzione ADOQueryFatture = {
        "SELECT SUM(Importo) AS CalcImporto FROM t_crediti WHERE Cliente = :RagioneSociale AND "
        "YEAR(DataFattura) = :YearDataFattura",
        "SELECT SUM(Importo) AS CalcImporto FROM t_crediti WHERE Cliente = :RagioneSociale"};
    static constexpr Istruzione ADOQueryCrediti = {
        "SELECT SUM(Importo) AS CalcImporto FROM t_crediti WHERE Cliente = :RagioneSociale AND Stato = "
        "'APERTA' AND YEAR(DataFattura) = :YearDataFattura",
        "SELECT SUM(Importo) AS CalcImporto FROM t_crediti WHERE Cliente = :RagioneSociale AND Stato = "
        "'APERTA'"};
    static constexpr Istruzione ADOQueryIncassato = {
        "SELECT SUM(Incassato) AS CalcImportoIncassato FROM t_crediti WHERE Cliente = :RagioneSociale AND "
        "Stato = 'APERTA' AND YEAR(DataFattura) = :YearDataFattura",
        "SELECT SUM(Incassato) AS CalcImportoIncassato FROM t_crediti WHERE Cliente = :RagioneSociale AND "
        "Stato = 'APERTA'"};
    static constexpr Istruzione ADOQueryDaIncassare = {
        "SELECT SUM(Residuo) AS CalcImportoDaIncassare FROM t_crediti WHERE Cliente = :RagioneSociale AND "
        "Stato = 'APERTA' AND YEAR(DataFattura) = :YearDataFattura",
        "SELECT SUM(Residuo) AS CalcImportoDaIncassare FROM t_crediti WHERE Cliente = :RagioneSociale AND "
        "Stato = 'APERTA'"};

    sz::db::Params params{{QStringLiteral("RagioneSociale"), ragioneSociale}};
    // YEAR() yields an integer; a text parameter would never compare equal in SQLite.
    if (anno)
        params.append({QStringLiteral("YearDataFattura"), *anno});
    const auto apri = [&](const Istruzione& s) {
        return somma(conn, QString::fromUtf8(anno ? s.perAnno : s.tuttiGliAnni), params);
    };

    FigureCliente f;
    f.totaleFatture = apri(ADOQueryFatture);
    f.totaleCrediti = apri(ADOQueryCrediti);
    f.incassati = apri(ADOQueryIncassato);
    f.daIncassare = apri(ADOQueryDaIncassare);
    return f;
}

QList<int> anniFatture(sz::db::Connection& conn)
{
    const auto ADOQueryFiltraStatistichePerAnno =
        conn.query(QStringLiteral("SELECT YEAR(DataFattura) AS Anno FROM t_crediti GROUP BY YEAR(DataFattura) "
                                  "ORDER BY YEAR(DataFattura) DESC"));
    QList<int> out;
    for (const auto& row : ADOQueryFiltraStatistichePerAnno.rows)
        if (!row[0].isNull())
            out << row[0].toInt();
    return out;
}

} // namespace clienti
