#include "SollecitiLogic.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Money.h"
#include "scadenzio/RecordFilter.h"

#include <algorithm>

namespace sz::dunning {

QString GFiltroStato;
QString GFiltroScadenza;
QString GFiltroEdit;

namespace {

const QStringList colonneTesto = {QStringLiteral("NumeroFattura"), QStringLiteral("Cliente"),
                                  QStringLiteral("DestinatarioFattura"), QStringLiteral("Note"),
                                  QStringLiteral("ModalitaPagamento")};

const QString importiFormattati = QStringLiteral(
    "FORMAT(Importo, '€ #,##0.00') AS ImportoParziale, FORMAT(Incassato, '€ #,##0.00') AS ImportoIncassato, "
    "FORMAT(Residuo, '€ #,##0.00') AS ImportoResiduo, FORMAT(ImportoTotale, '€ #,##0.00') AS TotaleFattura");

const QString etichettaSql = QStringLiteral(
    "CASE WHEN Preavviso IS NULL THEN 'PREAVVISO' WHEN Sollecito1 IS NULL THEN '1° SOLLECITO' "
    "WHEN Sollecito2 IS NULL THEN '2° SOLLECITO' WHEN Sollecito3 IS NULL THEN '3° SOLLECITO' "
    "ELSE 'IN SOFFERENZA' END AS Comunicazione");

// The thresholds are read by the statement itself, never pasted into it: a payment mode
// written with an apostrophe, or an empty threshold table, then simply lists what it
// should (nothing, for the empty table). The mode is compared by the threshold column's
// collation, which ignores letter case; the threshold is that of the credit's first
// empty stage, and a bad debt keeps the third reminder's.
const QString aperti = QStringLiteral(
    "Stato = 'APERTA' AND Pagato <> 'SI' AND EXISTS (SELECT 1 FROM t_parametri p "
    "WHERE p.Modalita = t_crediti.ModalitaPagamento AND DATEDIFF('d', t_crediti.Scadenza, :Oggi) >= "
    "CASE WHEN t_crediti.Preavviso IS NULL THEN p.Preavviso WHEN t_crediti.Sollecito1 IS NULL THEN p.Sollecito1 "
    "WHEN t_crediti.Sollecito2 IS NULL THEN p.Sollecito2 ELSE p.Sollecito3 END)");

bool vuota(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return true;
    if (v.userType() == QMetaType::QDate)
        return !v.toDate().isValid();
    return v.toString().trimmed().isEmpty();
}

} // namespace

QString parolaChiave(Fase fase)
{
    switch (fase) {
    case Fase::Preavviso: return QStringLiteral("PREAVVISO");
    case Fase::Sollecito1: return QStringLiteral("SOLLECITO1");
    case Fase::Sollecito2: return QStringLiteral("SOLLECITO2");
    case Fase::Sollecito3: return QStringLiteral("SOLLECITO3");
    case Fase::InSofferenza: break;
    }
    return QStringLiteral("IN SOFFERENZA");
}

QString etichetta(Fase fase)
{
    switch (fase) {
    case Fase::Preavviso: return QStringLiteral("PREAVVISO");
    case Fase::Sollecito1: return QStringLiteral("1° SOLLECITO");
    case Fase::Sollecito2: return QStringLiteral("2° SOLLECITO");
    case Fase::Sollecito3: return QStringLiteral("3° SOLLECITO");
    case Fase::InSofferenza: break;
    }
    return QStringLiteral("IN SOFFERENZA");
}

QString colonnaDaScrivere(Fase fase)
{
    switch (fase) {
    case Fase::Preavviso: return QStringLiteral("Preavviso");
    case Fase::Sollecito1: return QStringLiteral("Sollecito1");
    case Fase::Sollecito2: return QStringLiteral("Sollecito2");
    case Fase::Sollecito3: return QStringLiteral("Sollecito3");
    case Fase::InSofferenza: break;
    }
    return {};
}

Fase faseDi(const QVariant& preavviso, const QVariant& sollecito1, const QVariant& sollecito2,
            const QVariant& sollecito3)
{
    if (vuota(preavviso)) return Fase::Preavviso;
    if (vuota(sollecito1)) return Fase::Sollecito1;
    if (vuota(sollecito2)) return Fase::Sollecito2;
    if (vuota(sollecito3)) return Fase::Sollecito3;
    return Fase::InSofferenza;
}

Fase faseRiga(const sz::db::Result& rows, int row)
{
    return faseDi(rows.value(row, QStringLiteral("Preavviso")), rows.value(row, QStringLiteral("Sollecito1")),
                  rows.value(row, QStringLiteral("Sollecito2")), rows.value(row, QStringLiteral("Sollecito3")));
}

Fase faseCorrente(const sz::db::Dataset& list)
{
    return faseDi(list.value(QStringLiteral("Preavviso")), list.value(QStringLiteral("Sollecito1")),
                  list.value(QStringLiteral("Sollecito2")), list.value(QStringLiteral("Sollecito3")));
}

QString CheckComunicazione(Fase fase)
{
    return colonnaDaScrivere(fase);
}

QString CheckTipologia(Fase fase)
{
    return parolaChiave(fase);
}

const QString SqlParametri = QStringLiteral("SELECT * FROM t_parametri");

QString sqlCreditiPerDocumento()
{
    return QStringLiteral("SELECT *, ") + importiFormattati + QStringLiteral(" FROM t_crediti WHERE ") + aperti +
           QStringLiteral(" ORDER BY Scadenza, ID");
}

QString sqlCreditiPerCliente(bool unCliente)
{
    return QStringLiteral("SELECT *, ") + importiFormattati + QStringLiteral(", ") + etichettaSql +
           QStringLiteral(" FROM t_crediti WHERE ") + (unCliente ? QStringLiteral("Cliente = :Cliente AND ") : QString()) +
           aperti + QStringLiteral(" ORDER BY Scadenza, ID");
}

QString sqlListaClienti()
{
    return QStringLiteral("SELECT DISTINCT Cliente FROM t_crediti WHERE ") + aperti +
           QStringLiteral(" ORDER BY Cliente");
}

QString sqlLettera(const QList<qint64>& ids)
{
    QStringList list;
    list.reserve(ids.size());
    for (qint64 id : ids)
        list << QString::number(id); // numbers the program parsed itself, never a typed text
    return QStringLiteral("SELECT *, ") + importiFormattati + QStringLiteral(", ") + etichettaSql +
           QStringLiteral(" FROM t_crediti WHERE ID IN (") + list.join(QLatin1Char(',')) +
           QStringLiteral(") ORDER BY Scadenza, NumeroFattura, ID");
}

sz::db::Params parametriLista(const QDate& oggi, const QString& cliente)
{
    sz::db::Params p{{QStringLiteral("Oggi"), QVariant(oggi)}};
    if (!cliente.isNull())
        p << qMakePair(QStringLiteral("Cliente"), QVariant(cliente));
    return p;
}

QStringList LoadComboClienti(sz::db::Connection& conn, const QDate& oggi)
{
    QStringList names;
    const auto r = conn.query(sqlListaClienti(), parametriLista(oggi));
    for (const auto& row : r.rows)
        names << row.value(0).toString();
    return names;
}

// ---- record filter ---------------------------------------------------------------------

QString clausolaFase(FiltroFase filtro)
{
    switch (filtro) {
    case FiltroFase::Preavviso: return QStringLiteral("[Preavviso] = null");
    case FiltroFase::Sollecito1: return QStringLiteral("[Preavviso] <> null AND [Sollecito1] = null");
    case FiltroFase::Sollecito2:
        return QStringLiteral("[Preavviso] <> null AND [Sollecito1] <> null AND [Sollecito2] = null");
    case FiltroFase::Sollecito3:
        return QStringLiteral(
            "[Preavviso] <> null AND [Sollecito1] <> null AND [Sollecito2] <> null AND [Sollecito3] = null");
    case FiltroFase::Tutti: break;
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

QString GestisciFiltro(const QString& boxText)
{
    return sz::db::composeListFilter(GFiltroStato, GFiltroScadenza, GFiltroEdit, colonneTesto, boxText);
}

// ---- colours ---------------------------------------------------------------------------

Evidenza evidenzaCella(const QString& field, const QVariant& importo, const QVariant& incassato,
                       const QVariant& residuo, const QVariant& sollecito3)
{
    if (!vuota(sollecito3))
        return Evidenza::Allarme;
    const int moneyType = qMetaTypeId<Money>();
    if (field.compare(QLatin1String("ImportoResiduo"), Qt::CaseInsensitive) == 0) {
        if (residuo.userType() == moneyType && residuo.value<Money>() > Money())
            return Evidenza::Allarme;
    } else if (field.compare(QLatin1String("ImportoIncassato"), Qt::CaseInsensitive) == 0) {
        if (importo.userType() == moneyType && incassato.userType() == moneyType &&
            importo.value<Money>() == incassato.value<Money>())
            return Evidenza::Incassato;
    }
    return Evidenza::Nessuna;
}

// ---- grouping --------------------------------------------------------------------------

QList<GruppoCliente> raggruppaPerCliente(const QList<Selezionato>& selezione)
{
    QList<GruppoCliente> gruppi;
    for (const Selezionato& s : selezione) {
        const QString nome = s.cliente.trimmed();
        auto it = std::find_if(gruppi.begin(), gruppi.end(),
                               [&](const GruppoCliente& g) { return sz::db::compareText(g.cliente, nome) == 0; });
        if (it == gruppi.end())
            gruppi.append({nome, {s.id}});
        else
            it->ids.append(s.id);
    }
    std::stable_sort(gruppi.begin(), gruppi.end(), [](const GruppoCliente& a, const GruppoCliente& b) {
        return sz::db::compareText(a.cliente, b.cliente) < 0;
    });
    return gruppi;
}

GruppoCliente gruppoUnico(const QList<Selezionato>& selezione)
{
    GruppoCliente g;
    for (const Selezionato& s : selezione)
        g.ids.append(s.id);
    if (!selezione.isEmpty())
        g.cliente = selezione.last().cliente.trimmed();
    return g;
}

QList<qint64> leggiId(const QStringList& arguments)
{
    QList<qint64> ids;
    for (const QString& arg : arguments) {
        for (const QString& part : arg.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const qint64 id = part.trimmed().toLongLong(&ok);
            if (!ok || id <= 0)
                throw Error(QStringLiteral("\"%1\" non è un ID di credito").arg(part.trimmed()));
            if (!ids.contains(id))
                ids.append(id);
        }
    }
    return ids;
}

} // namespace sz::dunning
