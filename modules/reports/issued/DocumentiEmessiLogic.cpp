#include "DocumentiEmessiLogic.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/Dates.h"

namespace sz::issued {

QString GExprDocumentoEmesso;
QString GExprDataEmissione;
QString GExprDocumentoEmessoORDER;
QString GExprDataEmissioneORDER;
QString GORDER;

namespace {

const QString exprDocumento = QStringLiteral(
    "CASE WHEN Sollecito3 IS NOT NULL THEN '3° SOLLECITO' WHEN Sollecito2 IS NOT NULL THEN '2° SOLLECITO' "
    "WHEN Sollecito1 IS NOT NULL THEN '1° SOLLECITO' WHEN Preavviso IS NOT NULL THEN 'PREAVVISO' END");
const QString exprData = QStringLiteral(
    "CASE WHEN Sollecito3 IS NOT NULL THEN Sollecito3 WHEN Sollecito2 IS NOT NULL THEN Sollecito2 "
    "WHEN Sollecito1 IS NOT NULL THEN Sollecito1 WHEN Preavviso IS NOT NULL THEN Preavviso END");

} // namespace

void inizializza()
{
    GExprDocumentoEmessoORDER = exprDocumento;
    GExprDataEmissioneORDER = exprData;
    GExprDocumentoEmesso = exprDocumento + QStringLiteral(" AS DocumentoEmesso");
    GExprDataEmissione = exprData + QStringLiteral(" AS DataEmissione");
    GORDER = QStringLiteral("Scadenza");
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
    if (!filtro.rangeCompleto()) return QStringLiteral("Elenco documenti emessi");
    return QStringLiteral("Elenco documenti emessi dal ") + dates::toDisplay(filtro.dal) +
           QStringLiteral(" al ") + dates::toDisplay(filtro.al);
}

sz::report::DataView righeMostrate(const sz::db::Dataset& lista)
{
    sz::report::DataView out;
    QList<QPair<QString, int>> campi;
    for (const auto& [campo, titolo] : colonne())
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

sz::report::DataView righe(const sz::db::Result& lista)
{
    sz::report::DataView out;
    out.reserve(lista.rows.size());
    QList<QPair<QString, int>> campi;
    for (const auto& [campo, titolo] : colonne()) {
        int indice = -1;
        for (int c = 0; c < lista.columns.size(); ++c)
            if (lista.columns[c].name.compare(campo, Qt::CaseInsensitive) == 0) {
                indice = c;
                break;
            }
        campi << qMakePair(campo, indice);
    }
    for (const auto& row : lista.rows) {
        sz::report::Row riga;
        for (const auto& [campo, indice] : campi)
            riga.insert(campo, indice < 0 ? QString() : sz::report::valueText(row[indice]));
        out << riga;
    }
    return out;
}

sz::report::Filling stampa(const sz::report::DataView& righe, const sz::report::Values& societa,
                           const Filtro& filtro, const QDate& oggi, const QString& dataRoot,
                           const QString& programFolder)
{
    sz::report::Filling f;
    f.projectFile = programFolder + QStringLiteral("RaveReport/Report_documenti_emessi.rav");
    f.views.insert(QStringLiteral("RvDataSetConnection1"), righe);
    f.parameters = sz::report::senderParameters(societa, sz::report::logoPath(dataRoot, programFolder));
    f.set(QStringLiteral("Oggetto"), oggetto(filtro));
    f.set(QStringLiteral("TotaleDocumenti"), QString::number(righe.size()));
    f.set(QStringLiteral("DataStampa"), dates::toDisplay(oggi));
    return f;
}

} // namespace sz::issued
