#include "CreditiLogic.h"

#include "scadenzio/RecordFilter.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Fasi.h"
#include "scadenzio/InteressiElenco.h"

namespace sz::credits {

QString GFiltroStato;
QString GFiltroScadenza;
QString GFiltroEdit;
QString GFiltroSospesi;
bool GConInteressi = false;

void azzeraFiltri()
{
    GFiltroStato.clear();
    GFiltroScadenza.clear();
    GFiltroEdit.clear();
    GFiltroSospesi.clear();
}

namespace {

const QStringList colonneTestoBase = {QStringLiteral("NumeroFattura"), QStringLiteral("Cliente"),
                                  QStringLiteral("DestinatarioFattura"), QStringLiteral("Note"),
                                  QStringLiteral("ModalitaPagamento")};

QStringList colonneTesto()
{
    if (!GConInteressi)
        return colonneTestoBase;
    return colonneTestoBase + QStringList{sz::interessi::ColonnaInteressi, sz::interessi::ColonnaTotaleDovuto};
}

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
    return sz::db::containsInAny(colonneTesto(), text);
}

QString clausolaSospesi(bool soloSospesi)
{
    return soloSospesi ? QStringLiteral("[Sospensione] <> null") : QString();
}

QString componiFiltro(const QString& stato, const QString& scadenza, const QString& testo,
                      const QString& boxText, const QString& sospesi)
{
    // The two narrowing clauses travel together as the second one, so that a list without
    // "Solo sospesi" keeps exactly the filter it always had.
    QString secondo = scadenza;
    if (!sospesi.isEmpty())
        secondo = secondo.isEmpty() ? sospesi : secondo + QStringLiteral(" AND ") + sospesi;
    return sz::db::composeListFilter(stato, secondo, testo, colonneTesto(), boxText);
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

Evidenza evidenzaCella(const QString& field, const QVariant& importo, const QVariant& incassato,
                       const QVariant& residuoRiga, const QVariant& pagato)
{
    if (field.compare(QLatin1String("ImportoResiduo"), Qt::CaseInsensitive) == 0 &&
        residuoIncoerente(residuoRiga, pagato))
        return Evidenza::Incoerente;
    return evidenzaCella(field, importo, incassato, residuoRiga);
}

bool residuoIncoerente(const QVariant& residuoRiga, const QVariant& pagato)
{
    const Money resto = residuoRiga.userType() == qMetaTypeId<Money>() ? residuoRiga.value<Money>() : Money();
    return resto <= Money() && pagato.toString().trimmed().compare(QLatin1String("SI"), Qt::CaseInsensitive) != 0;
}

const QString AvvisoIncoerente =
    QStringLiteral("Residuo nullo o negativo ma il credito non risulta pagato: verificare Incassato e Pagato "
                   "(non viene sollecitato).");

QString testoSospensione(const QDate& fino, bool delCliente)
{
    QString t = delCliente ? QStringLiteral("SOSPESO (cliente)") : QStringLiteral("SOSPESO");
    if (fino.isValid()) t += QStringLiteral(" fino al ") + dates::toDisplay(fino);
    return t;
}

QString etichettaFase(const QString& fase)
{
    const int i = sz::fasi::indice(fase.trimmed().toUpper());
    return i < 0 ? fase : sz::fasi::etichetta(i);
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

// The words of testoSospensione(), written by the database so that the list's filter and
// sort see them as any other column. A client is found by name as the dunning finds it,
// by the database's comparison of names; the few suspended clients are read once and
// joined, rather than looked up for every row of the register. A name entered twice is
// one client, whose longest suspension is the one that holds.
const QString SqlCrediti =
    QStringLiteral(
        "SELECT t_crediti.*, FORMAT(Importo, %1) AS ImportoParziale, FORMAT(Incassato, %1) AS "
        "ImportoIncassato, FORMAT(Residuo, %1) AS ImportoResiduo, "
        "FORMAT(ImportoTotale, %1) AS TotaleFattura, "
        "CASE WHEN %2 THEN 'SOSPESO' || COALESCE(' fino al ' || FORMAT(t_crediti.SospesoFino, 'dd/mm/yyyy'), '') "
        "WHEN sc.Fino IS NOT NULL THEN 'SOSPESO (cliente)' || "
        "CASE WHEN sc.Fino = '9999-12-31' THEN '' ELSE ' fino al ' || FORMAT(sc.Fino, 'dd/mm/yyyy') END "
        "END AS Sospensione, "
        "CASE WHEN %2 THEN t_crediti.MotivoSospensione ELSE sc.Motivo END AS MotivoSospeso "
        "FROM t_crediti LEFT JOIN (SELECT RagioneSociale AS Nome, "
        "MAX(CASE WHEN SospesoFino IS NULL THEN '9999-12-31' ELSE SospesoFino END) AS Fino, "
        "MAX(MotivoSospensione) AS Motivo FROM t_clienti WHERE %3 GROUP BY RagioneSociale) sc "
        "ON sc.Nome = t_crediti.Cliente ORDER BY t_crediti.Scadenza, t_crediti.ID")
        .arg(formato(),
             sz::sospensione::inVigore(QStringLiteral("t_crediti")), sz::sospensione::inVigore());

sz::db::Params parametriElenco(const QDate& oggi)
{
    return {{QStringLiteral("Oggi"), oggi}};
}
const QString SqlClienti = QStringLiteral("SELECT * FROM t_clienti ORDER BY RagioneSociale, ID");
const QString SqlBanche = QStringLiteral("SELECT * FROM t_banche ORDER BY Nome, ID");
const QString SqlParametri = QStringLiteral("SELECT * FROM t_parametri ORDER BY Modalita, ID");
const QString SqlScadenze =
    QStringLiteral("SELECT Cliente, ModalitaPagamento, Banca, DataFattura, Scadenza, Importo, Note, Pagato, "
                   "FORMAT(ImportoTotale, %1) AS TotaleFattura, FORMAT(Importo, %1) AS ImportoParziale "
                   "FROM t_crediti WHERE NumeroFattura = :NumeroFattura AND DataFattura = :DataFattura "
                   "ORDER BY Scadenza, ID")
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
