#include "SollecitiLogic.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Fasi.h"
#include "scadenzio/Sospensione.h"
#include "scadenzio/InteressiElenco.h"
#include "scadenzio/Money.h"
#include "scadenzio/RecordFilter.h"

#include <QHash>

#include <algorithm>

namespace sz::dunning {

QString GFiltroStato;
QString GFiltroScadenza;
QString GFiltroEdit;
bool GConInteressi = false;

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
//
// Spacing: with a number of days between letters for the mode, a credit that already had
// a letter waits that long after its latest one. The latest letter is the latest of its
// stage dates and of its logged bad-debt letters, which fill no stage column (and exist
// only while all four are filled). The other logged letters are not read: a stage the
// clerk took back in the register must not hold the credit back. No letter at all reads
// as a null difference, which passes. A mode with no spacing never looks at the log.
const QString soglia = QStringLiteral(
    "EXISTS (SELECT 1 FROM t_parametri p "
    "WHERE p.Modalita = t_crediti.ModalitaPagamento AND DATEDIFF('d', t_crediti.Scadenza, :Oggi) >= "
    "CASE WHEN t_crediti.Preavviso IS NULL THEN p.Preavviso WHEN t_crediti.Sollecito1 IS NULL THEN p.Sollecito1 "
    "WHEN t_crediti.Sollecito2 IS NULL THEN p.Sollecito2 ELSE p.Sollecito3 END "
    "AND (COALESCE(p.GiorniTraSolleciti, 0) <= 0 OR COALESCE(DATEDIFF('d', NULLIF(SUBSTR(MAX("
    "COALESCE(t_crediti.Preavviso, ''), COALESCE(t_crediti.Sollecito1, ''), COALESCE(t_crediti.Sollecito2, ''), "
    "COALESCE(t_crediti.Sollecito3, ''), "
    "CASE WHEN t_crediti.Sollecito3 IS NULL THEN '' ELSE COALESCE((SELECT MAX(i.DataOra) FROM t_invii i "
    "WHERE i.IDCredito = t_crediti.ID AND i.Fase = 'IN SOFFERENZA'), '') END), 1, 10), ''), :Oggi), "
    "p.GiorniTraSolleciti) >= p.GiorniTraSolleciti))");

// Open with something left to pay: a row whose residual is nothing gets no letter,
// whatever Pagato says (a stale NO must not make a reminder for € 0,00).
const QString daPagare = QStringLiteral("Stato = 'APERTA' AND Pagato <> 'SI' AND Residuo > 0");

// A suspension holds while its flag is set and its day, if any, has not passed; the
// client's covers every credit under its name.
const QString sospesoCredito = sz::sospensione::inVigore(QStringLiteral("t_crediti"));
const QString sospesoCliente =
    QStringLiteral("EXISTS (SELECT 1 FROM t_clienti k WHERE k.RagioneSociale = t_crediti.Cliente AND ") +
    sz::sospensione::inVigore(QStringLiteral("k")) + QLatin1Char(')');

const QString aperti = daPagare + QStringLiteral(" AND NOT ") + sospesoCredito + QStringLiteral(" AND ") + soglia +
                       QStringLiteral(" AND NOT ") + sospesoCliente;

bool vuota(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return true;
    if (v.userType() == QMetaType::QDate)
        return !v.toDate().isValid();
    return v.toString().trimmed().isEmpty();
}

} // namespace

// Fase follows the order of sz::fasi::tutte.
static_assert(int(Fase::InSofferenza) + 1 == sz::fasi::numero);

QString parolaChiave(Fase fase)
{
    return sz::fasi::parola(int(fase));
}

QString etichetta(Fase fase)
{
    return sz::fasi::etichetta(int(fase));
}

QString colonnaDaScrivere(Fase fase)
{
    return sz::fasi::colonna(int(fase));
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

const QString SqlParametri = QStringLiteral("SELECT * FROM t_parametri ORDER BY ID");

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

// One name per client, however its credits spell it (the comparison ignores letter case):
// the spelling of its latest credit, which is what the file's DISTINCT always gave.
QString sqlListaClienti()
{
    return QStringLiteral("SELECT Cliente FROM t_crediti WHERE ID IN (SELECT MAX(ID) FROM t_crediti WHERE ") + aperti +
           QStringLiteral(" GROUP BY Cliente) ORDER BY Cliente, ID");
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

const QList<QPair<QString, QString>>& colonneLista()
{
    static const QList<QPair<QString, QString>> colonne = {
        {QStringLiteral("NumeroFattura"), QStringLiteral("Documento N°")},
        {QStringLiteral("DataFattura"), QStringLiteral("Data Documento")},
        {QStringLiteral("Scadenza"), QStringLiteral("Scadenza")},
        {QStringLiteral("Preavviso"), QStringLiteral("Preavviso")},
        {QStringLiteral("Sollecito1"), QStringLiteral("1° Sollecito")},
        {QStringLiteral("Sollecito2"), QStringLiteral("2° Sollecito")},
        {QStringLiteral("Sollecito3"), QStringLiteral("3° Sollecito")},
        {QStringLiteral("Cliente"), QStringLiteral("Cliente")},
        {QStringLiteral("DestinatarioFattura"), QStringLiteral("Destinatario Documento")},
        {QStringLiteral("Note"), QStringLiteral("Note")},
        {QStringLiteral("ImportoParziale"), QStringLiteral("Importo")},
        {QStringLiteral("ImportoIncassato"), QStringLiteral("Incassato")},
        {QStringLiteral("ImportoResiduo"), QStringLiteral("Residuo")},
        {QStringLiteral("TotaleFattura"), QStringLiteral("Tot. Documento")},
        {QStringLiteral("ModalitaPagamento"), QStringLiteral("Mod. Pag.")},
        {QStringLiteral("Banca"), QStringLiteral("Banca")}};
    return colonne;
}

QList<QPair<QString, QString>> colonneGriglia()
{
    QList<QPair<QString, QString>> c = colonneLista();
    if (GConInteressi) {
        // Beside the other amounts, before payment mode and bank.
        const int dopo = int(c.indexOf(qMakePair(QStringLiteral("TotaleFattura"), QStringLiteral("Tot. Documento"))));
        c.insert(dopo + 1, {sz::interessi::ColonnaInteressi, QStringLiteral("Interessi")});
        c.insert(dopo + 2, {sz::interessi::ColonnaTotaleDovuto, QStringLiteral("Totale dovuto")});
    }
    return c;
}

sz::esporta::Tabella tabellaLista(const sz::db::Result& lista)
{
    using sz::esporta::Tipo;
    // The grid shows the amounts as formatted texts; the file gets the amounts themselves.
    static const QHash<QString, QString> importi = {{QStringLiteral("ImportoParziale"), QStringLiteral("Importo")},
                                                    {QStringLiteral("ImportoIncassato"), QStringLiteral("Incassato")},
                                                    {QStringLiteral("ImportoResiduo"), QStringLiteral("Residuo")},
                                                    {QStringLiteral("TotaleFattura"), QStringLiteral("ImportoTotale")}};
    static const QStringList date = {QStringLiteral("DataFattura"), QStringLiteral("Scadenza"),
                                     QStringLiteral("Preavviso"), QStringLiteral("Sollecito1"),
                                     QStringLiteral("Sollecito2"), QStringLiteral("Sollecito3")};
    sz::esporta::Tabella t;
    QList<int> indici;
    for (const auto& [campo, titolo] : colonneLista()) {
        t.titoli << titolo;
        t.tipi << (importi.contains(campo) ? Tipo::Importo : date.contains(campo) ? Tipo::Data : Tipo::Testo);
        indici << lista.columnIndex(importi.value(campo, campo));
    }
    t.righe.reserve(lista.rows.size());
    for (const auto& row : lista.rows) {
        QVector<QVariant> riga;
        riga.reserve(indici.size());
        for (int i : indici)
            riga << (i >= 0 ? row[i] : QVariant());
        t.righe << riga;
    }
    return t;
}

QStringList LoadComboClienti(sz::db::Connection& conn, const QDate& oggi)
{
    QStringList names;
    const auto r = conn.query(sqlListaClienti(), parametriLista(oggi));
    for (const auto& row : r.rows)
        names << row.value(0).toString();
    return names;
}

int contaSospesi(sz::db::Connection& conn, const QDate& oggi)
{
    return conn
        // The suspension first: few credits have one, and only those need their threshold.
        .scalar(QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE ") + daPagare + QStringLiteral(" AND (") +
                    sospesoCredito + QStringLiteral(" OR ") + sospesoCliente + QStringLiteral(") AND ") + soglia,
                parametriLista(oggi))
        .toInt();
}

// ---- templates -------------------------------------------------------------------------

QString etichettaModello(const QString& tipologia)
{
    for (Fase f : {Fase::Preavviso, Fase::Sollecito1, Fase::Sollecito2, Fase::Sollecito3, Fase::InSofferenza})
        if (parolaChiave(f) == tipologia)
            return etichetta(f);
    return tipologia;
}

bool modelloVuoto(sz::db::Connection& conn, const QString& tipologia)
{
    const auto r = conn.query(QStringLiteral("SELECT Oggetto, Introduzione, Finale FROM t_comunicazioni "
                                             "WHERE Tipologia = :Tipologia ORDER BY ID"),
                              {{QStringLiteral("Tipologia"), tipologia}});
    // The letter reads the first row of its kind; it is the one that must say something.
    if (r.isEmpty())
        return true;
    for (const QVariant& v : r.rows[0])
        if (!v.toString().trimmed().isEmpty())
            return false;
    return true;
}

QList<ModelloVuoto> modelliVuoti(sz::db::Connection& conn, const QList<qint64>& ids, bool perCliente)
{
    QList<ModelloVuoto> out;
    if (ids.isEmpty())
        return out;
    if (perCliente) {
        if (modelloVuoto(conn, QStringLiteral("GENERICA")))
            out.append({QStringLiteral("GENERICA"), ids});
        return out;
    }
    QHash<qint64, Fase> fasi;
    const auto r = conn.query(sqlLettera(ids));
    const int colId = r.columnIndex(QStringLiteral("ID"));
    for (int i = 0; i < r.rows.size(); ++i)
        fasi.insert(r.rows[i][colId].toLongLong(), faseRiga(r, i));
    for (Fase f : {Fase::Preavviso, Fase::Sollecito1, Fase::Sollecito2, Fase::Sollecito3, Fase::InSofferenza}) {
        ModelloVuoto m{parolaChiave(f), {}};
        for (qint64 id : ids)
            if (fasi.contains(id) && fasi.value(id) == f)
                m.ids.append(id);
        if (!m.ids.isEmpty() && modelloVuoto(conn, m.tipologia))
            out.append(m);
    }
    return out;
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
    return sz::db::containsInAny(colonneTesto(), text);
}

QString GestisciFiltro(const QString& boxText)
{
    return sz::db::composeListFilter(GFiltroStato, GFiltroScadenza, GFiltroEdit, colonneTesto(), boxText);
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
