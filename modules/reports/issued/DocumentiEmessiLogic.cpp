#include "DocumentiEmessiLogic.h"

#include "ArchivioRicevute.h"

#include <QSet>

#include "scadenzio/Dataset.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Fasi.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <iterator>

namespace sz::issued {

QString GExprDocumentoEmesso;
QString GExprDataEmissione;
QString GExprDocumentoEmessoORDER;
QString GExprDataEmissioneORDER;
QString GORDER;
QString GORDERComunicazioni;

namespace {

const QString exprDocumento = QStringLiteral(
    "CASE WHEN Sollecito3 IS NOT NULL THEN '3° SOLLECITO' WHEN Sollecito2 IS NOT NULL THEN '2° SOLLECITO' "
    "WHEN Sollecito1 IS NOT NULL THEN '1° SOLLECITO' WHEN Preavviso IS NOT NULL THEN 'PREAVVISO' END");
const QString exprData = QStringLiteral(
    "CASE WHEN Sollecito3 IS NOT NULL THEN Sollecito3 WHEN Sollecito2 IS NOT NULL THEN Sollecito2 "
    "WHEN Sollecito1 IS NOT NULL THEN Sollecito1 WHEN Preavviso IS NOT NULL THEN Preavviso END");

// The log keeps the stage keyword; the list shows the stage as the letters name it.
const QString exprComunicazione = QStringLiteral(
    "CASE i.Fase WHEN 'PREAVVISO' THEN 'PREAVVISO' WHEN 'SOLLECITO1' THEN '1° SOLLECITO' "
    "WHEN 'SOLLECITO2' THEN '2° SOLLECITO' WHEN 'SOLLECITO3' THEN '3° SOLLECITO' ELSE i.Fase END");
const QString ordineComunicazioni = QStringLiteral("i.DataOra");

// The four kinds before Tutte follow the order of the stages.
QString parolaDiTipo(Tipo tipo)
{
    return tipo == Tipo::Tutte ? QString() : sz::fasi::parola(int(tipo));
}

sz::Money importoDi(const QVariant& v)
{
    if (v.userType() == qMetaTypeId<sz::Money>())
        return v.value<sz::Money>();
    if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
        return sz::Money::fromRaw(v.toLongLong()); // stored in ten-thousandths
    return {};
}

// One pass over the rows as listed, whatever holds them: indice finds a field, valore
// reads it (-1: the field is not there, an empty value).
template <typename Indice, typename Valore>
Riepilogo riassumi(int righe, Elenco elenco, Indice indice, Valore valore)
{
    Riepilogo r;
    r.righe = righe;
    int conteggi[sz::fasi::numero] = {};
    const int importo = indice(QStringLiteral("Importo"));
    const int residuo = indice(QStringLiteral("Residuo"));
    const int tipo = indice(elenco == Elenco::Tutte ? QStringLiteral("Fase") : QStringLiteral("DocumentoEmesso"));
    const int credito = elenco == Elenco::Tutte ? indice(QStringLiteral("IDCredito")) : -1;
    const auto letto = [&valore](int riga, int campo) { return campo < 0 ? QVariant() : valore(riga, campo); };
    // A credit written to three times is still one amount owed: in the list of every
    // letter its amounts count once, at its first row.
    QSet<qint64> contati;
    for (int i = 0; i < righe; ++i) {
        const int f = sz::fasi::indice(letto(i, tipo).toString());
        if (f >= 0)
            ++conteggi[f];
        if (credito >= 0 && !letto(i, credito).isNull()) {
            const qint64 id = letto(i, credito).toLongLong();
            if (contati.contains(id))
                continue;
            contati.insert(id);
        }
        r.importo += importoDi(letto(i, importo));
        r.residuo += importoDi(letto(i, residuo));
    }
    for (int f = 0; f < sz::fasi::numero; ++f)
        if (conteggi[f] > 0)
            r.perTipo << qMakePair(sz::fasi::plurale(f), conteggi[f]);
    return r;
}

int indiceColonna(const sz::db::Result& r, const QString& campo)
{
    for (int c = 0; c < r.columns.size(); ++c)
        if (r.columns[c].name.compare(campo, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

} // namespace

void inizializza()
{
    GExprDocumentoEmessoORDER = exprDocumento;
    GExprDataEmissioneORDER = exprData;
    GExprDocumentoEmesso = exprDocumento + QStringLiteral(" AS DocumentoEmesso");
    GExprDataEmissione = exprData + QStringLiteral(" AS DataEmissione");
    GORDER = QStringLiteral("Scadenza");
    GORDERComunicazioni = ordineComunicazioni;
}

const QList<VoceTipo>& tipi()
{
    static const QList<VoceTipo> voci = {
        {Tipo::Preavviso, QStringLiteral("Preavviso"), QStringLiteral("Preavviso")},
        {Tipo::Sollecito1, QStringLiteral("1° Sollecito"), QStringLiteral("Sollecito1")},
        {Tipo::Sollecito2, QStringLiteral("2° Sollecito"), QStringLiteral("Sollecito2")},
        {Tipo::Sollecito3, QStringLiteral("3° Sollecito"), QStringLiteral("Sollecito3")},
        {Tipo::Tutte, QStringLiteral("Tutte"), QStringLiteral("Tutte")}};
    return voci;
}

QString condizioneTipo(Tipo tipo, bool conRange)
{
    if (!conRange) {
        switch (tipo) {
        case Tipo::Tutte:
            return QStringLiteral(
                "(Preavviso IS NOT NULL OR Sollecito1 IS NOT NULL OR Sollecito2 IS NOT NULL OR "
                "Sollecito3 IS NOT NULL)");
        case Tipo::Preavviso:
            return QStringLiteral("(Preavviso IS NOT NULL AND Sollecito1 IS NULL AND Sollecito2 IS NULL AND "
                                  "Sollecito3 IS NULL)");
        case Tipo::Sollecito1:
            return QStringLiteral("(Sollecito1 IS NOT NULL AND Sollecito2 IS NULL AND Sollecito3 IS NULL)");
        case Tipo::Sollecito2:
            return QStringLiteral("(Sollecito2 IS NOT NULL AND Sollecito3 IS NULL)");
        case Tipo::Sollecito3:
            return QStringLiteral("(Sollecito3 IS NOT NULL)");
        }
        return {};
    }
    // A row counts by its latest letter only: the later stages must be empty.
    const QString preavviso = QStringLiteral("(Preavviso >= :Dal AND Preavviso <= :Al AND Sollecito1 IS NULL "
                                             "AND Sollecito2 IS NULL AND Sollecito3 IS NULL)");
    const QString primo = QStringLiteral(
        "(Sollecito1 >= :Dal AND Sollecito1 <= :Al AND Sollecito2 IS NULL AND Sollecito3 IS NULL)");
    const QString secondo =
        QStringLiteral("(Sollecito2 >= :Dal AND Sollecito2 <= :Al AND Sollecito3 IS NULL)");
    const QString terzo = QStringLiteral("(Sollecito3 >= :Dal AND Sollecito3 <= :Al)");
    switch (tipo) {
    case Tipo::Preavviso:
        return preavviso;
    case Tipo::Sollecito1:
        return primo;
    case Tipo::Sollecito2:
        return secondo;
    case Tipo::Sollecito3:
        return terzo;
    case Tipo::Tutte:
        break;
    }
    return QLatin1Char('(') + preavviso + QStringLiteral(" OR ") + primo + QStringLiteral(" OR ") + secondo +
           QStringLiteral(" OR ") + terzo + QLatin1Char(')');
}

Istruzione sqlDocumentiEmessi(const Filtro& filtro, const QString& ordine)
{
    if (GExprDocumentoEmesso.isEmpty()) inizializza();
    Istruzione out;
    const bool range = filtro.rangeCompleto();
    QString w = condizioneTipo(filtro.tipo, range);
    if (range)
        out.params << qMakePair(QStringLiteral("Dal"), QVariant(filtro.dal))
                   << qMakePair(QStringLiteral("Al"), QVariant(filtro.al));
    if (!filtro.cliente.trimmed().isEmpty()) {
        w += QStringLiteral(" AND (Cliente LIKE :Cliente)");
        out.params << qMakePair(QStringLiteral("Cliente"),
                                QVariant(QLatin1Char('%') + filtro.cliente + QLatin1Char('%')));
    }
    // ID last: rows equal in the chosen order keep one order from one re-read to the next.
    out.sql = QStringLiteral("SELECT *, FORMAT(ImportoTotale, '€ #,##0.00') AS TotaleFattura, "
                             "FORMAT(Importo, '€ #,##0.00') AS ImportoParziale, "
                             "FORMAT(Residuo, '€ #,##0.00') AS ImportoResiduo, ") +
              GExprDocumentoEmesso + QStringLiteral(", ") + GExprDataEmissione +
              QStringLiteral(" FROM t_crediti WHERE ") + w + QStringLiteral(" ORDER BY ") + ordine +
              QStringLiteral(", ID");
    return out;
}

QString ordineDaSort(const QString& sort)
{
    if (GExprDocumentoEmesso.isEmpty()) inizializza();
    const qsizetype spazio = sort.lastIndexOf(QLatin1Char(' '));
    const QString campo = spazio < 0 ? sort : sort.left(spazio);
    const QString verso = spazio < 0 ? QStringLiteral(" ASC") : sort.mid(spazio);
    if (campo == QLatin1String("DocumentoEmesso")) return GExprDocumentoEmessoORDER + verso;
    if (campo == QLatin1String("DataEmissione")) return GExprDataEmissioneORDER + verso;
    // The formatted texts would order "€ 1.000,00" before "€ 200,00".
    if (campo == QLatin1String("ImportoParziale")) return QStringLiteral("Importo") + verso;
    if (campo == QLatin1String("ImportoResiduo")) return QStringLiteral("Residuo") + verso;
    if (campo == QLatin1String("TotaleFattura")) return QStringLiteral("ImportoTotale") + verso;
    return sort;
}

Istruzione sqlComunicazioni(const Filtro& filtro, const QString& ordine)
{
    if (GExprDocumentoEmesso.isEmpty()) inizializza();
    Istruzione out;
    QStringList w;
    if (filtro.rangeCompleto()) {
        // DataOra is "yyyy-MM-dd HH:mm:ss" text: the whole last day is before the next one.
        w << QStringLiteral("i.DataOra >= :Dal AND i.DataOra < :DopoAl");
        out.params << qMakePair(QStringLiteral("Dal"), QVariant(filtro.dal))
                   << qMakePair(QStringLiteral("DopoAl"), QVariant(filtro.al.addDays(1)));
    }
    if (filtro.tipo != Tipo::Tutte) {
        w << QStringLiteral("i.Fase = :Fase");
        out.params << qMakePair(QStringLiteral("Fase"), QVariant(parolaDiTipo(filtro.tipo)));
    }
    if (!filtro.cliente.trimmed().isEmpty()) {
        w << QStringLiteral("i.Cliente LIKE :Cliente");
        out.params << qMakePair(QStringLiteral("Cliente"),
                                QVariant(QLatin1Char('%') + filtro.cliente + QLatin1Char('%')));
    }
    out.sql = QStringLiteral(
                  "SELECT i.ID AS ID, i.IDCredito AS IDCredito, "
                  "substr(i.DataOra, 9, 2) || '/' || substr(i.DataOra, 6, 2) || '/' || substr(i.DataOra, 1, 4) || ' ' "
                  "|| substr(i.DataOra, 12, 5) AS DataOra, i.DataOra AS DataOraOrdine, "
                  "i.NumeroFattura AS NumeroFattura, i.DataFattura AS DataFattura, c.Scadenza AS Scadenza, "
                  "c.Importo AS Importo, c.Residuo AS Residuo, FORMAT(c.Importo, '€ #,##0.00') AS ImportoParziale, "
                  "FORMAT(c.Residuo, '€ #,##0.00') AS ImportoResiduo, ") +
              exprComunicazione +
              QStringLiteral(" AS Comunicazione, i.Fase AS Fase, i.Modo AS Modo, i.Canale AS Canale, i.Esito AS Esito, "
                             "i.Cliente AS Cliente, i.Destinatari AS Destinatari, i.File AS File "
                             "FROM t_invii i LEFT JOIN t_crediti c ON c.ID = i.IDCredito") +
              (w.isEmpty() ? QString() : QStringLiteral(" WHERE ") + w.join(QStringLiteral(" AND "))) +
              QStringLiteral(" ORDER BY ") + ordine + QStringLiteral(", i.ID");
    return out;
}

QString campoOrdineDataOra()
{
    return QStringLiteral("DataOraOrdine");
}

QString ordineDaSortComunicazioni(const QString& sort)
{
    if (GExprDocumentoEmesso.isEmpty()) inizializza();
    const qsizetype spazio = sort.lastIndexOf(QLatin1Char(' '));
    const QString campo = spazio < 0 ? sort : sort.left(spazio);
    const QString verso = sort.endsWith(QLatin1String(" DESC")) ? QStringLiteral(" DESC") : QStringLiteral(" ASC");
    // Only names of our own columns reach the statement.
    static const QHash<QString, QString> espressioni = {
        {QStringLiteral("DataOra"), QStringLiteral("i.DataOra")},
        {QStringLiteral("DataOraOrdine"), QStringLiteral("i.DataOra")},
        {QStringLiteral("NumeroFattura"), QStringLiteral("i.NumeroFattura")},
        {QStringLiteral("DataFattura"), QStringLiteral("i.DataFattura")},
        {QStringLiteral("Scadenza"), QStringLiteral("c.Scadenza")},
        {QStringLiteral("ImportoParziale"), QStringLiteral("c.Importo")},
        {QStringLiteral("ImportoResiduo"), QStringLiteral("c.Residuo")},
        {QStringLiteral("Comunicazione"), exprComunicazione},
        {QStringLiteral("Modo"), QStringLiteral("i.Modo")},
        {QStringLiteral("Canale"), QStringLiteral("i.Canale")},
        {QStringLiteral("Esito"), QStringLiteral("i.Esito")},
        {QStringLiteral("Cliente"), QStringLiteral("i.Cliente")},
        {QStringLiteral("Destinatari"), QStringLiteral("i.Destinatari")}};
    const auto e = espressioni.constFind(campo);
    return e == espressioni.cend() ? ordineComunicazioni : *e + verso;
}

int aggiungiStatoPec(sz::db::Connection& conn, sz::db::Result& lista, const QDateTime& adesso)
{
    int daControllare = 0;
    const int id = lista.columnIndex(QStringLiteral("ID"));
    const int canale = lista.columnIndex(QStringLiteral("Canale"));
    if (lista.columnIndex(QStringLiteral("StatoPEC")) >= 0)
        return 0;
    lista.columns.append(sz::db::Column{QStringLiteral("StatoPEC"), QStringLiteral("VARCHAR(255)")});
    QList<qint64> ids;
    if (id >= 0 && canale >= 0)
        for (const auto& row : lista.rows)
            if (row[canale].toString() == QLatin1String("PEC"))
                ids << row[id].toLongLong();
    QHash<qint64, QString> stati;
    if (!ids.isEmpty())
        for (const sz::pec::Lettera& l : sz::pec::lettere(conn, ids)) {
            const sz::pec::StatoLettera stato = sz::pec::statoDi(conn, l, adesso);
            const QString testo = stato.testo();
            if (stato.daControllare())
                ++daControllare;
            for (const qint64 i : l.idInvii)
                stati.insert(i, testo);
        }
    for (auto& row : lista.rows)
        row.append(id >= 0 && stati.contains(row[id].toLongLong()) ? QVariant(stati.value(row[id].toLongLong()))
                                                                    : QVariant(QString()));
    return daControllare;
}

const QList<QPair<QString, QString>>& colonneComunicazioni()
{
    static const QList<QPair<QString, QString>> c = {
        {QStringLiteral("DataOra"), QStringLiteral("Data e ora")},
        {QStringLiteral("NumeroFattura"), QStringLiteral("Documento N°")},
        {QStringLiteral("DataFattura"), QStringLiteral("Data Documento")},
        {QStringLiteral("Scadenza"), QStringLiteral("Scadenza")},
        {QStringLiteral("ImportoParziale"), QStringLiteral("Importo")},
        {QStringLiteral("ImportoResiduo"), QStringLiteral("Residuo")},
        {QStringLiteral("Comunicazione"), QStringLiteral("Comunicazione")},
        {QStringLiteral("Modo"), QStringLiteral("Modo")},
        {QStringLiteral("Canale"), QStringLiteral("Canale")},
        {QStringLiteral("Esito"), QStringLiteral("Esito")},
        {QStringLiteral("StatoPEC"), QStringLiteral("Stato PEC")},
        {QStringLiteral("Cliente"), QStringLiteral("Cliente")},
        {QStringLiteral("Destinatari"), QStringLiteral("Destinatari")}};
    return c;
}

const QList<QPair<QString, QString>>& colonne(Elenco elenco)
{
    return elenco == Elenco::Tutte ? colonneComunicazioni() : colonne();
}

QVector<sz::esporta::Tipo> tipiColonne(Elenco elenco)
{
    using sz::esporta::Tipo;
    QVector<Tipo> out;
    for (const auto& [campo, titolo] : colonne(elenco)) {
        if (campo == QLatin1String("DataOra"))
            out << Tipo::DataOra;
        else if (campo == QLatin1String("DataFattura") || campo == QLatin1String("Scadenza") ||
                 campo == QLatin1String("DataEmissione"))
            out << Tipo::Data;
        else if (campo == QLatin1String("ImportoParziale") || campo == QLatin1String("ImportoResiduo") ||
                 campo == QLatin1String("TotaleFattura"))
            out << Tipo::Importo;
        else
            out << Tipo::Testo;
    }
    return out;
}

const QList<QPair<QString, QString>>& colonne()
{
    static const QList<QPair<QString, QString>> c = {
        {QStringLiteral("NumeroFattura"), QStringLiteral("Documento N°")},
        {QStringLiteral("DataFattura"), QStringLiteral("Data Documento")},
        {QStringLiteral("Scadenza"), QStringLiteral("Scadenza")},
        {QStringLiteral("ImportoParziale"), QStringLiteral("Importo")},
        {QStringLiteral("ImportoResiduo"), QStringLiteral("Residuo")},
        {QStringLiteral("TotaleFattura"), QStringLiteral("Tot. Documento")},
        {QStringLiteral("DocumentoEmesso"), QStringLiteral("Documento Emesso")},
        {QStringLiteral("DataEmissione"), QStringLiteral("Data Emissione")},
        {QStringLiteral("Cliente"), QStringLiteral("Cliente")},
        {QStringLiteral("DestinatarioFattura"), QStringLiteral("Destinatario Documento")},
        {QStringLiteral("Note"), QStringLiteral("Note")}};
    return c;
}

QString oggetto(const Filtro& filtro)
{
    QString out = filtro.elenco == Elenco::Tutte ? QStringLiteral("Elenco comunicazioni")
                                                 : QStringLiteral("Elenco documenti emessi");
    if (filtro.rangeCompleto())
        out += QStringLiteral(" dal ") + dates::toDisplay(filtro.dal) + QStringLiteral(" al ") +
               dates::toDisplay(filtro.al);
    const QString trattino = QStringLiteral(" \u2013 ");
    if (filtro.tipo != Tipo::Tutte)
        for (const auto& t : tipi())
            if (t.tipo == filtro.tipo)
                out += trattino + QStringLiteral("Tipo: ") + t.voce;
    if (!filtro.cliente.trimmed().isEmpty())
        out += trattino + QStringLiteral("Cliente: ") + filtro.cliente.trimmed();
    return out;
}

QString Riepilogo::testoTipi() const
{
    QStringList parti;
    for (const auto& [nome, quanti] : perTipo)
        parti << nome + QStringLiteral(": ") + QString::number(quanti);
    return parti.join(QStringLiteral(" \u2013 "));
}

Riepilogo riepilogo(const sz::db::Dataset& lista, Elenco elenco)
{
    return riassumi(
        lista.recordCount(), elenco, [&lista](const QString& campo) { return lista.fieldIndex(campo); },
        [&lista](int riga, int campo) { return lista.valueAt(riga, campo); });
}

Riepilogo riepilogo(const sz::db::Result& lista, Elenco elenco)
{
    return riassumi(
        int(lista.rows.size()), elenco, [&lista](const QString& campo) { return indiceColonna(lista, campo); },
        [&lista](int riga, int campo) { return lista.rows[riga][campo]; });
}

sz::esporta::Tabella tabella(const sz::db::Result& lista, Elenco elenco)
{
    sz::esporta::Tabella t;
    t.tipi = tipiColonne(elenco);
    QVector<int> indici;
    for (const auto& [campo, titolo] : colonne(elenco)) {
        t.titoli << titolo;
        // Amounts as stored, not as formatted: a spreadsheet gets every decimal the
        // register holds. The time of a letter from its stored text.
        QString sorgente = campo;
        if (campo == QLatin1String("ImportoParziale"))
            sorgente = QStringLiteral("Importo");
        else if (campo == QLatin1String("ImportoResiduo"))
            sorgente = QStringLiteral("Residuo");
        else if (campo == QLatin1String("TotaleFattura"))
            sorgente = QStringLiteral("ImportoTotale");
        else if (campo == QLatin1String("DataOra"))
            sorgente = campoOrdineDataOra();
        indici << indiceColonna(lista, sorgente);
    }
    t.righe.reserve(lista.rows.size());
    for (const auto& row : lista.rows) {
        QVector<QVariant> valori;
        valori.reserve(indici.size());
        for (int c = 0; c < indici.size(); ++c) {
            QVariant v = indici[c] < 0 ? QVariant() : row[indici[c]];
            if (t.tipi[c] == sz::esporta::Tipo::DataOra && v.isValid()) {
                const QDateTime quando = QDateTime::fromString(v.toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                v = quando.isValid() ? QVariant(quando) : QVariant();
            } else if (t.tipi[c] == sz::esporta::Tipo::Importo && v.isValid()) {
                v = QVariant::fromValue(importoDi(v));
            }
            valori << v;
        }
        t.righe << valori;
    }
    return t;
}


sz::report::DataView righeMostrate(const sz::db::Dataset& lista, Elenco elenco)
{
    sz::report::DataView out;
    QList<QPair<QString, int>> campi;
    for (const auto& [campo, titolo] : colonne(elenco))
        campi << qMakePair(campo, lista.fieldIndex(campo));
    out.reserve(lista.recordCount());
    for (int r = 0; r < lista.recordCount(); ++r) {
        sz::report::Row riga;
        for (const auto& [campo, indice] : campi)
            riga.insert(campo, indice < 0 ? QString() : sz::report::valueText(lista.valueAt(r, indice)));
        out << riga;
    }
    return out;
}

sz::report::DataView righe(const sz::db::Result& lista, Elenco elenco)
{
    sz::report::DataView out;
    out.reserve(lista.rows.size());
    QList<QPair<QString, int>> campi;
    for (const auto& [campo, titolo] : colonne(elenco))
        campi << qMakePair(campo, indiceColonna(lista, campo));
    for (const auto& row : lista.rows) {
        sz::report::Row riga;
        for (const auto& [campo, indice] : campi)
            riga.insert(campo, indice < 0 ? QString() : sz::report::valueText(row[indice]));
        out << riga;
    }
    return out;
}

sz::report::Filling stampa(const sz::report::DataView& righe, const Riepilogo& totali,
                           const sz::report::Values& societa, const Filtro& filtro, const QDate& oggi,
                           const QString& dataRoot, const QString& programFolder)
{
    sz::report::Filling f;
    f.projectFile = programFolder + QStringLiteral("RaveReport/Report_documenti_emessi.rav");
    // One project, two tables: the latest letters in the first view, every letter in the second.
    const bool tutte = filtro.elenco == Elenco::Tutte;
    f.views.insert(tutte ? QStringLiteral("RvDataSetConnection2") : QStringLiteral("RvDataSetConnection1"), righe);
    f.parameters = sz::report::senderParameters(societa, sz::report::logoPath(dataRoot, programFolder));
    f.set(QStringLiteral("Oggetto"), oggetto(filtro));
    f.set(QStringLiteral("TotaleDocumenti"), QString::number(righe.size()));
    f.set(QStringLiteral("ElencoComunicazioni"), tutte ? QStringLiteral("1") : QString());
    f.set(QStringLiteral("TotaleImporto"), totali.importo.toDisplay());
    f.set(QStringLiteral("TotaleResiduo"), totali.residuo.toDisplay());
    f.set(QStringLiteral("ConteggioTipi"), totali.testoTipi());
    f.set(QStringLiteral("DataStampa"), dates::toDisplay(oggi));
    return f;
}

} // namespace sz::issued
