#include "CreditiLogic.h"

#include "scadenzio/RecordFilter.h"

#include "scadenzio/Dates.h"

namespace sz::credits {

QString GFiltroStato;
QString GFiltroScadenza;
QString GFiltroEdit;

void azzeraFiltri()
{
    GFiltroStato.clear();
    GFiltroScadenza.clear();
    GFiltroEdit.clear();
}

namespace {

const QStringList colonneTesto = {QStringLiteral("NumeroFattura"), QStringLiteral("Cliente"),
                                  QStringLiteral("DestinatarioFattura"), QStringLiteral("Note"),
                                  QStringLiteral("ModalitaPagamento")};

QString formato()
{
    return QStringLiteral("'€ #,##0.00'");
}

} // namespace

QString testoLike(const QString& text)
{
    return sz::db::containsLiteral(text);
}

QString clausolaStato(SceltaStato scelta)
{
    switch (scelta) {
    case SceltaStato::Aperti:
        return QStringLiteral("[Stato] = 'APERTA'");
    case SceltaStato::Chiusi:
        return QStringLiteral("[Stato] = 'CHIUSA'");
    case SceltaStato::Tutti:
        break;
    }
    return {};
}

QString clausolaScadenza(const QString& maskedText)
{
    return sz::db::dateEqualsClause(QStringLiteral("Scadenza"), maskedText);
}

QString clausolaTesto(const QString& text)
{
    return sz::db::containsInAny(colonneTesto, text);
}

QString componiFiltro(const QString& stato, const QString& scadenza, const QString& testo,
                      const QString& boxText)
{
    return sz::db::composeListFilter(stato, scadenza, testo, colonneTesto, boxText);
}

Money residuo(const std::optional<Money>& importo, const std::optional<Money>& incassato)
{
    return importo.value_or(Money()) - incassato.value_or(Money());
}

QString statoPagamento(const std::optional<Money>& importo, const std::optional<Money>& incassato,
                       const QString& attuale)
{
    // Compared as amounts, not as the texts of the boxes: "100" typed against a
    // stored "100,00" is a full payment all the same.
    const Money dovuto = importo.value_or(Money());
    const Money preso = incassato.value_or(Money());
    if (preso == dovuto) return QStringLiteral("SI");
    if (preso.isZero()) return QStringLiteral("NO");
    if (!residuo(importo, incassato).isZero()) return QStringLiteral("PARZ.");
    return attuale;
}

QString storicoIncassi(const QString& storicoSalvato, const std::optional<Money>& incassatoSalvato,
                       const std::optional<Money>& incassatoOra, const QString& testoIncassato,
                       const QDate& oggi)
{
    const Money ora = incassatoOra.value_or(Money());
    const QString storico = storicoSalvato.trimmed();
    if (ora <= Money()) return storico;
    const QString giorno = dates::toDisplay(oggi);
    if (storico.isEmpty())
        return (giorno + QLatin1String(" (") + testoIncassato + QStringLiteral(" €)")).trimmed();
    const Money nuovo = ora - incassatoSalvato.value_or(Money());
    return (storico + QLatin1String(" | ") + giorno + QLatin1String(" (") + nuovo.toDisplay() +
            QLatin1Char(')'))
        .trimmed();
}

QString localitaProv(const QString& cap, const QString& localita, const QString& provincia)
{
    if (cap.trimmed().isEmpty() && localita.trimmed().isEmpty() && provincia.trimmed().isEmpty()) return {};
    return cap + QLatin1Char(' ') + localita + QLatin1String(" (") + provincia + QLatin1Char(')');
}

Evidenza evidenzaCella(const QString& field, const QVariant& importo, const QVariant& incassato,
                      const QVariant& residuoRiga)
{
    const int moneyType = qMetaTypeId<Money>();
    if (field.compare(QLatin1String("ImportoResiduo"), Qt::CaseInsensitive) == 0) {
        if (residuoRiga.userType() == moneyType && residuoRiga.value<Money>() > Money())
            return Evidenza::ResiduoAperto;
    } else if (field.compare(QLatin1String("ImportoIncassato"), Qt::CaseInsensitive) == 0) {
        if (importo.userType() == moneyType && incassato.userType() == moneyType &&
            importo.value<Money>() == incassato.value<Money>())
            return Evidenza::Incassato;
    }
    return Evidenza::Nessuna;
}

bool contieneData(const QString& maskedText)
{
    return dates::fromDisplay(maskedText).isValid();
}

int faseAnnullabile(const std::array<bool, 4>& conData)
{
    for (int i = 3; i >= 0; --i)
        if (conData[size_t(i)]) return i;
    return -1;
}

const QString SqlCrediti =
    QStringLiteral("SELECT *, FORMAT(Importo, %1) AS ImportoParziale, FORMAT(Incassato, %1) AS "
                   "ImportoIncassato, FORMAT(Residuo, %1) AS ImportoResiduo, "
                   "FORMAT(ImportoTotale, %1) AS TotaleFattura FROM t_crediti ORDER BY Scadenza")
        .arg(formato());
const QString SqlClienti = QStringLiteral("SELECT * FROM t_clienti ORDER BY RagioneSociale");
const QString SqlBanche = QStringLiteral("SELECT * FROM t_banche ORDER BY Nome");
const QString SqlParametri = QStringLiteral("SELECT * FROM t_parametri ORDER BY Modalita");
const QString SqlScadenze =
    QStringLiteral("SELECT Cliente, ModalitaPagamento, Banca, DataFattura, Scadenza, Importo, Note, Pagato, "
                   "FORMAT(ImportoTotale, %1) AS TotaleFattura, FORMAT(Importo, %1) AS ImportoParziale "
                   "FROM t_crediti WHERE NumeroFattura = :NumeroFattura AND DataFattura = :DataFattura "
                   "ORDER BY Scadenza")
        .arg(formato());

sz::db::Params parametriDocumento(const QString& numero, const QDate& data)
{
    return {{QStringLiteral("NumeroFattura"), numero},
            {QStringLiteral("DataFattura"), data.isValid() ? QVariant(data) : QVariant()}};
}

void aggiornaDocumento(sz::db::Connection& conn, const QString& numero, const QDate& data,
                       const QString& stato)
{
    const auto doc = parametriDocumento(numero, data);
    // Written to every row even when the saved row already had it: rows of one
    // document never keep different states.
    auto params = doc;
    params << qMakePair(QStringLiteral("Stato"), QVariant(stato));
    conn.exec(QStringLiteral("UPDATE t_crediti SET Stato = :Stato WHERE NumeroFattura = :NumeroFattura AND "
                             "DataFattura = :DataFattura"),
              params);

    // Summed here as exact amounts rather than by SUM(), whose result carries no
    // column type to read it back as money.
    const auto rows = conn.query(QStringLiteral("SELECT Importo FROM t_crediti WHERE NumeroFattura = "
                                                ":NumeroFattura AND DataFattura = :DataFattura"),
                                 doc);
    Money totale;
    for (const auto& r : rows.rows)
        if (r[0].userType() == qMetaTypeId<Money>()) totale += r[0].value<Money>();
    params = doc;
    params << qMakePair(QStringLiteral("Totale"), QVariant::fromValue(totale));
    conn.exec(QStringLiteral(
                  "UPDATE t_crediti SET ImportoTotale = :Totale WHERE NumeroFattura = :NumeroFattura AND "
                  "DataFattura = :DataFattura"),
              params);
}

} // namespace sz::credits
