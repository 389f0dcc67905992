#include "scadenzio/InteressiElenco.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Interessi.h"
#include "scadenzio/Money.h"

#include <QHash>

namespace sz::interessi {

namespace {

QDate dataDi(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDate)
        return v.toDate();
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().date();
    return v.isNull() ? QDate() : dates::fromIso(v.toString());
}

Money importoDi(const QVariant& v)
{
    if (v.userType() == qMetaTypeId<Money>())
        return v.value<Money>();
    if (v.userType() == qMetaTypeId<FormattedAmount>())
        return v.value<FormattedAmount>().amount;
    return Money();
}

// Client names compare as the database compares them: case ignored, blanks around dropped.
QString chiave(const QString& nome)
{
    return nome.trimmed().toCaseFolded();
}

} // namespace

EsitoColonne aggiungiColonne(db::Connection& conn, db::Result& result, const QDate& al)
{
    EsitoColonne esito;
    const int cResiduo = result.columnIndex(QStringLiteral("Residuo"));
    const int cScadenza = result.columnIndex(QStringLiteral("Scadenza"));
    const int cDataFattura = result.columnIndex(QStringLiteral("DataFattura"));
    const int cCliente = result.columnIndex(QStringLiteral("Cliente"));
    result.columns << db::Column{ColonnaInteressi, QStringLiteral("CURRENCY")}
                   << db::Column{ColonnaTotaleDovuto, QStringLiteral("CURRENCY")}
                   << db::Column{ColonnaMancante, QStringLiteral("VARCHAR(255)")};
    const bool completo = cResiduo >= 0 && cScadenza >= 0 && cDataFattura >= 0 && cCliente >= 0;
    if (!completo || result.rows.isEmpty()) {
        for (auto& row : result.rows)
            row << QVariant() << QVariant() << QVariant();
        return esito;
    }

    const QList<Tasso> tassi = leggiTassi(conn);
    QHash<QString, TipoCliente> tipi;
    const auto clienti = conn.query(QStringLiteral("SELECT RagioneSociale, TipoCliente FROM t_clienti ORDER BY ID"));
    for (const auto& row : clienti.rows) {
        const QString nome = chiave(row.value(0).toString());
        // A name entered twice: the first kind read stands, as a business unless said otherwise.
        if (!tipi.contains(nome))
            tipi.insert(nome, tipoCliente(row.value(1).toString()));
    }

    for (auto& row : result.rows) {
        const Money residuo = importoDi(row[cResiduo]);
        const QDate scadenza = dataDi(row[cScadenza]);
        const TipoCliente tipo = tipi.value(chiave(row[cCliente].toString()), TipoCliente::Impresa);
        Calcolo c;
        if (scadenza.isValid())
            c = calcola(tassi, tipo, residuo, scadenza, dataDi(row[cDataFattura]), al);
        row.reserve(row.size() + 3);
        if (!c.calcolato) {
            ++esito.mancanti;
            if (esito.messaggio.isEmpty())
                esito.messaggio = c.mancante;
            row << QVariant() << QVariant() << QVariant(c.mancante);
            continue;
        }
        row << QVariant::fromValue(FormattedAmount{c.interessi})
            << QVariant::fromValue(FormattedAmount{residuo + c.interessi}) << QVariant();
    }
    return esito;
}

} // namespace sz::interessi
