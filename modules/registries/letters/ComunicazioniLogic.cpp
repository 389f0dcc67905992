#include "ComunicazioniLogic.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Fasi.h"

namespace sz::letters {

using sz::report::fieldText;
using sz::report::Values;

const QList<VoceTipologia>& tipologie()
{
    static const QList<VoceTipologia> voci = [] {
        QList<VoceTipologia> v;
        for (int i = 0; i < sz::fasi::numero; ++i)
            v.append({sz::fasi::etichetta(i), sz::fasi::parola(i)});
        v.append({QStringLiteral("GENERICA"), QStringLiteral("GENERICA")});
        return v;
    }();
    return voci;
}

QString tipologiaDi(const QString& voce)
{
    for (const auto& v : tipologie())
        if (v.voce == voce) return v.tipologia;
    return {};
}

const QList<CampoTesto>& campiDisponibili()
{
    static const QList<CampoTesto> campi = {
        {QStringLiteral("{{RagioneSociale}}"), QStringLiteral("la ragione sociale del Cliente")},
        {QStringLiteral("{{NumeroFattura}}"), QStringLiteral("il numero del documento (lettera per documento)")},
        {QStringLiteral("{{DataFattura}}"), QStringLiteral("la data del documento")},
        {QStringLiteral("{{ScadenzaFattura}}"), QStringLiteral("la scadenza del documento")},
        {QStringLiteral("{{ImportoFattura}}"), QStringLiteral("l'importo del documento")},
        {QStringLiteral("{{Residuo}}"), QStringLiteral("quanto resta da pagare del documento")},
        {QStringLiteral("{{Interessi}}"),
         QStringLiteral("gli interessi di mora maturati a oggi (se il calcolo è attivo in Impostazioni - Società)")},
        {QStringLiteral("{{Indennizzo}}"), QStringLiteral("l'indennizzo di € 40,00 per ogni documento scaduto, se richiesto")},
        {QStringLiteral("{{TotaleDovuto}}"), QStringLiteral("il residuo più interessi e indennizzo")},
        {QStringLiteral("{{TassiApplicati}}"),
         QStringLiteral("i tassi applicati per periodo, es. \"10,15 % dal 01/07/2025 al 20/08/2025\"")},
        {QStringLiteral("{{DataTermine}}"), QStringLiteral("la data entro cui pagare: oggi più i giorni del termine")}};
    return campi;
}

QString acapoCrLf(const QString& testo)
{
    QString out;
    out.reserve(testo.size() + testo.size() / 16);
    for (qsizetype i = 0; i < testo.size(); ++i) {
        const QChar c = testo.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator) {
            if (c == QLatin1Char('\r') && i + 1 < testo.size() && testo.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString sqlComunicazione()
{
    // The letters read the first row of a kind: the window edits and previews that one.
    return QStringLiteral("SELECT * FROM t_comunicazioni WHERE Tipologia = :Tipologia ORDER BY ID");
}

sz::db::Params parametriComunicazione(const QString& tipologia)
{
    return {{QStringLiteral("Tipologia"), tipologia}};
}

namespace {

const QString sqlSocieta = QStringLiteral("SELECT * FROM t_societa ORDER BY ID");
const QString sqlBanche =
    QStringLiteral("SELECT Nome AS nome, Agenzia AS agenzia, IBAN FROM t_banche ORDER BY ID");

// "Prefix: value", or the prefix with a dash when there is no value.
QString oTrattino(const QString& prefisso, const QString& valore)
{
    return prefisso + (valore.isEmpty() ? QStringLiteral("-") : valore);
}

QString seNonVuoto(const QString& prefisso, const QString& valore)
{
    return valore.isEmpty() ? QString() : prefisso + valore;
}

} // namespace

sz::report::Filling anteprima(sz::db::Connection& conn, const QString& tipologia, const QDate& oggi,
                              const QString& dataRoot, const QString& programFolder)
{
    const auto societa = conn.query(sqlSocieta);
    const auto modello = conn.query(sqlComunicazione(), parametriComunicazione(tipologia));
    const auto banche = conn.query(sqlBanche);
    return anteprima(societa.isEmpty() ? Values() : sz::report::rowValues(societa, 0),
                     modello.isEmpty() ? Values() : sz::report::rowValues(modello, 0), banche, oggi, dataRoot,
                     programFolder);
}

sz::report::Filling anteprima(const Values& societa, const Values& modello, const sz::db::Result& banche,
                              const QDate& oggi, const QString& dataRoot, const QString& programFolder)
{
    sz::report::Filling f;
    f.projectFile = programFolder + QStringLiteral("RaveReport/Sollecito.rav");
    f.views.insert(QStringLiteral("RvDataSetConnection1"), sz::report::dataView(banche));
    f.parameters = sz::report::senderParameters(societa, sz::report::logoPath(dataRoot, programFolder));

    auto s = [&societa](const char* colonna) { return fieldText(societa, QLatin1String(colonna)); };
    // The addressee of a real letter is the client; the test letter goes to the firm.
    f.set(QStringLiteral("IVA"), s("IVA"));
    f.set(QStringLiteral("CF"), oTrattino(QStringLiteral("C.F.: "), s("CF")));
    f.set(QStringLiteral("RagioneSociale"), s("RagioneSociale"));
    f.set(QStringLiteral("Indirizzo"), s("Indirizzo"));
    f.set(QStringLiteral("Cap"), s("CAP"));
    f.set(QStringLiteral("Localita"), s("Localita"));
    f.set(QStringLiteral("Provincia"), s("Provincia"));
    f.set(QStringLiteral("Referente"), seNonVuoto(QStringLiteral("Alla c.a.: "), s("Riferimento")));
    f.set(QStringLiteral("Telefono"), oTrattino(QStringLiteral("Tel.: "), s("Telefono")));
    f.set(QStringLiteral("Cell"), oTrattino(QStringLiteral("Cell.: "), s("Cell")));
    f.set(QStringLiteral("Fax"), oTrattino(QStringLiteral("Fax: "), s("Fax")));
    f.set(QStringLiteral("Mail1"), seNonVuoto(QStringLiteral("Mail #1: "), s("Mail")));
    f.set(QStringLiteral("Mail2"), seNonVuoto(QStringLiteral("Mail #2: "), s("Mail")));
    f.set(QStringLiteral("Mail3"), seNonVuoto(QStringLiteral("Mail #3: "), s("Mail")));
    // The letter prints the addressee as one block, as it prints a client's.
    Values destinatario = societa;
    destinatario.insert(QStringLiteral("Mail1"), societa.value(QStringLiteral("Mail")));
    f.set(QStringLiteral("IntestazioneCliente"), sz::report::addresseeBlock(destinatario));

    f.set(QStringLiteral("LuogoData"), s("Localita") + QStringLiteral(", lì ") + dates::toDisplay(oggi));

    f.set(QStringLiteral("Oggetto"), fieldText(modello, QStringLiteral("Oggetto")));
    f.set(QStringLiteral("Introduzione"), fieldText(modello, QStringLiteral("Introduzione")));
    f.set(QStringLiteral("Finale"), fieldText(modello, QStringLiteral("Finale")));

    const QString oggiTesto = dates::toDisplay(oggi);
    const QString zero = QStringLiteral("0,00 €");
    f.set(QStringLiteral("NumeroFattura"), QStringLiteral("TEST"));
    f.set(QStringLiteral("DataFattura"), oggiTesto);
    f.set(QStringLiteral("ScadenzaFattura"), oggiTesto);
    f.set(QStringLiteral("DescrizioneFattura"), QStringLiteral("DESCRIZIONE DI TEST"));
    f.set(QStringLiteral("DestinatarioFattura"), s("RagioneSociale"));
    f.set(QStringLiteral("ImportoFattura"), zero);
    f.set(QStringLiteral("Residuo"), zero);

    const Values banca = banche.isEmpty() ? Values() : sz::report::rowValues(banche, 0);
    f.set(QStringLiteral("NomeBanca"), fieldText(banca, QStringLiteral("nome")));
    f.set(QStringLiteral("AgenziaBanca"), fieldText(banca, QStringLiteral("agenzia")));
    f.set(QStringLiteral("IBANBanca"), fieldText(banca, QStringLiteral("IBAN")));
    return f;
}

} // namespace sz::letters
