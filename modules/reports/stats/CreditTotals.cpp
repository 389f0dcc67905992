#include "CreditTotals.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"

namespace sz::stats {

namespace {

// An aggregate has no declared column type, so the layer hands back the stored
// ten-thousandths as a plain integer; should it ever convert, take the amount as is.
std::optional<Money> sumOf(db::Connection& conn, const QString& sql)
{
    QVariant v;
    try {
        v = conn.scalar(sql);
    } catch (const Error& e) {
        // SQLite refuses an integer sum that does not fit rather than wrap it.
        if (e.message().contains(QLatin1String("integer overflow")))
            throw Error(Money::overflowMessage());
        throw;
    }
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    if (v.userType() == qMetaTypeId<Money>())
        return v.value<Money>();
    return Money::fromRaw(v.toLongLong());
}

} // namespace

CreditTotals readCreditTotals(db::Connection& conn)
{
    CreditTotals t;
    t.totaleCrediti =
        sumOf(conn, QStringLiteral("SELECT SUM(Importo) AS CalcImporto FROM t_crediti WHERE Stato = 'APERTA'"));
    t.incassati = sumOf(conn, QStringLiteral("SELECT SUM(Incassato) AS CalcImportoIncassato FROM t_crediti  "
                                             "WHERE Stato = 'APERTA'"));
    t.daIncassare = sumOf(conn, QStringLiteral("SELECT SUM(Residuo) AS CalcImportoDaIncassare FROM t_crediti  "
                                               "WHERE Stato = 'APERTA'"));
    return t;
}

} // namespace sz::stats
