#include "FattureElettroniche.h"

#include "scadenzio/sheets/FatturaPA.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>

namespace sz::importazione {

namespace fpa = sz::fatturapa;

QString modalitaPagamento(const QString& codice)
{
    static const QHash<QString, QString> nomi = {
        {QStringLiteral("MP01"), QStringLiteral("CONTANTI")},
        {QStringLiteral("MP02"), QStringLiteral("ASSEGNO")},
        {QStringLiteral("MP03"), QStringLiteral("ASSEGNO CIRCOLARE")},
        {QStringLiteral("MP04"), QStringLiteral("CONTANTI PRESSO TESORERIA")},
        {QStringLiteral("MP05"), QStringLiteral("BONIFICO")},
        {QStringLiteral("MP06"), QStringLiteral("VAGLIA CAMBIARIO")},
        {QStringLiteral("MP07"), QStringLiteral("BOLLETTINO BANCARIO")},
        {QStringLiteral("MP08"), QStringLiteral("CARTA DI PAGAMENTO")},
        {QStringLiteral("MP09"), QStringLiteral("RID")},
        {QStringLiteral("MP10"), QStringLiteral("RID UTENZE")},
        {QStringLiteral("MP11"), QStringLiteral("RID VELOCE")},
        {QStringLiteral("MP12"), QStringLiteral("RI.BA.")},
        {QStringLiteral("MP13"), QStringLiteral("MAV")},
        {QStringLiteral("MP14"), QStringLiteral("QUIETANZA ERARIO")},
        {QStringLiteral("MP15"), QStringLiteral("GIROCONTO")},
        {QStringLiteral("MP16"), QStringLiteral("DOMICILIAZIONE BANCARIA")},
        {QStringLiteral("MP17"), QStringLiteral("DOMICILIAZIONE POSTALE")},
        {QStringLiteral("MP18"), QStringLiteral("BOLLETTINO POSTALE")},
        {QStringLiteral("MP19"), QStringLiteral("SEPA DIRECT DEBIT")},
        {QStringLiteral("MP20"), QStringLiteral("SEPA DIRECT DEBIT CORE")},
        {QStringLiteral("MP21"), QStringLiteral("SEPA DIRECT DEBIT B2B")},
        {QStringLiteral("MP22"), QStringLiteral("TRATTENUTA SU SOMME GIÀ RISCOSSE")},
        {QStringLiteral("MP23"), QStringLiteral("PAGOPA")}};
    const QString c = codice.trimmed().toUpper();
    return nomi.value(c, c);
}

const QStringList& intestazioniFatturaElettronica()
{
    static const QStringList titoli = {QStringLiteral("NUMERO DOCUMENTO"),
                                       QStringLiteral("DATA DOCUMENTO"),
                                       QStringLiteral("SCADENZA"),
                                       QStringLiteral("IMPORTO"),
                                       QStringLiteral("IMPORTO INCASSATO"),
                                       QStringLiteral("DATA INCASSO"),
                                       QStringLiteral("MODALITA PAGAMENTO"),
                                       QStringLiteral("DEST. DOCUMENTO"),
                                       QStringLiteral("CLIENTE"),
                                       QStringLiteral("BANCA"),
                                       QStringLiteral("NOTE"),
                                       QStringLiteral("INDIRIZZO"),
                                       QStringLiteral("LOCALITÀ"),
                                       QStringLiteral("CAP"),
                                       QStringLiteral("PROVINCIA"),
                                       QStringLiteral("P. IVA"),
                                       QStringLiteral("C.F."),
                                       QStringLiteral("FILE"),
                                       QStringLiteral("IBAN"),
                                       QStringLiteral("TIPO CLIENTE")};
    return titoli;
}

namespace {

// Document fields and registry fields, by the titles above.
const QList<QPair<QString, int>>& campiDocumento()
{
    static const QList<QPair<QString, int>> c = {{QStringLiteral("NumeroFattura"), 0},
                                                 {QStringLiteral("DataFattura"), 1},
                                                 {QStringLiteral("Scadenza"), 2},
                                                 {QStringLiteral("Importo"), 3},
                                                 {QStringLiteral("ImportoIncassato"), 4},
                                                 {QStringLiteral("DataIncasso"), 5},
                                                 {QStringLiteral("ModalitaPagamento"), 6},
                                                 {QStringLiteral("DestinatarioFattura"), 7},
                                                 {QStringLiteral("Cliente"), 8},
                                                 {QStringLiteral("Banca"), 9},
                                                 {QStringLiteral("Note"), 10}};
    return c;
}

const QList<QPair<QString, int>>& campiAnagrafica()
{
    static const QList<QPair<QString, int>> c = {
        {QStringLiteral("Cliente.Indirizzo"), 11}, {QStringLiteral("Cliente.Localita"), 12},
        {QStringLiteral("Cliente.CAP"), 13},       {QStringLiteral("Cliente.Provincia"), 14},
        {QStringLiteral("Cliente.IVA"), 15},       {QStringLiteral("Cliente.CF"), 16},
        {QStringLiteral("Banca.IBAN"), 18},        {QStringLiteral("Cliente.TipoCliente"), 19}};
    return c;
}

} // namespace

Scelte scelteFatturaElettronica()
{
    Scelte s;
    for (const auto& [campo, colonna] : campiDocumento())
        s.insert(campo, intestazioniFatturaElettronica().at(colonna));
    return s;
}

void aggiungiAnagrafica(Colonne& colonne, const Griglia& griglia)
{
    for (const auto& [campo, indice] : campiAnagrafica()) {
        const QString titolo = intestazioniFatturaElettronica().at(indice);
        int trovata = -1;
        for (int c = 1; c < griglia.colonne; ++c)
            if (griglia.cella(0, c) == titolo) trovata = c;
        colonne.insert(campo, trovata);
    }
}

namespace {

// Blanks out, upper case, and no "IT" in front: how two writings of one VAT number
// compare.
QString normalizzato(QString s, bool togliPaese)
{
    s.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')).remove(QLatin1Char('.')).remove(QLatin1Char('-'));
    s = s.toUpper();
    if (togliPaese && s.startsWith(QLatin1String("IT"))) s = s.mid(2);
    return s;
}

QString testoImporto(const QString& scritto)
{
    const auto v = fpa::importo(scritto);
    // An amount the reader cannot take goes to the grid as written: the row rules refuse it
    // with their own message, on the row where the clerk sees it.
    return v ? v->toPlain(2).remove(QLatin1Char('.')) : scritto;
}

QString testoData(const QDate& d, const QString& scritto)
{
    return d.isValid() ? d.toString(QStringLiteral("dd/MM/yyyy")) : scritto;
}

// The kind of customer the invoice itself tells: a public body is invoiced only in FPA12,
// and a private person is named by name and surname with a personal tax code alone. Empty
// when the invoice does not tell (a business, or a customer described both ways).
QString tipoCliente(const fpa::Fattura& f)
{
    if (f.formato.trimmed().compare(QLatin1String("FPA12"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("PA");
    const fpa::Soggetto& c = f.cessionario;
    const bool persona = !c.nome.trimmed().isEmpty() && !c.cognome.trimmed().isEmpty() &&
                         c.denominazione.trimmed().isEmpty();
    if (persona && !c.codiceFiscale.trimmed().isEmpty() && c.idCodice.trimmed().isEmpty())
        return QStringLiteral("CONSUMATORE");
    return {};
}

QString nomeDocumento(const fpa::Documento& d)
{
    const QDate data = d.dataDocumento();
    QString s =
        QStringLiteral("documento N° ") + (d.numero.isEmpty() ? QStringLiteral("(senza numero)") : d.numero);
    if (data.isValid()) s += QStringLiteral(" del ") + data.toString(QStringLiteral("dd/MM/yyyy"));
    return s;
}

// Not a credit towards a customer: the document's line for the error list, or empty.
QString nonCredito(const fpa::Documento& d)
{
    const QString t = d.tipo.toUpper();
    if (t == QLatin1String("TD04") || t == QLatin1String("TD08"))
        return QStringLiteral("è una nota di credito (%1)").arg(t);
    static const QStringList autofatture = {
        QStringLiteral("TD16"), QStringLiteral("TD17"), QStringLiteral("TD18"), QStringLiteral("TD19"),
        QStringLiteral("TD20"), QStringLiteral("TD21"), QStringLiteral("TD22"), QStringLiteral("TD23"),
        QStringLiteral("TD27"), QStringLiteral("TD28"), QStringLiteral("TD29")};
    if (autofatture.contains(t))
        return QStringLiteral("è un'autofattura o un'integrazione (%1), non un credito verso un cliente")
            .arg(t);
    if (!d.divisa.isEmpty() && d.divisa.compare(QLatin1String("EUR"), Qt::CaseInsensitive) != 0)
        return QStringLiteral("gli importi sono in %1, non in euro").arg(d.divisa);
    return {};
}

QString noteDi(const QString& tipo)
{
    const QString t = tipo.toUpper();
    if (t == QLatin1String("TD02")) return QStringLiteral("ACCONTO/ANTICIPO SU FATTURA");
    if (t == QLatin1String("TD03")) return QStringLiteral("ACCONTO/ANTICIPO SU PARCELLA");
    if (t == QLatin1String("TD05") || t == QLatin1String("TD09")) return QStringLiteral("NOTA DI DEBITO");
    if (t == QLatin1String("TD06")) return QStringLiteral("PARCELLA");
    return {};
}

class Lettura
{
public:
    Lettura(sz::db::Connection& conn)
    {
        const auto societa = conn.query(QStringLiteral("SELECT IVA FROM t_societa ORDER BY ID LIMIT 1"));
        m_ivaAzienda = societa.isEmpty() ? QString() : normalizzato(societa.rows[0][0].toString(), true);
        if (m_ivaAzienda.isEmpty())
            throw Error(
                QStringLiteral("Per importare le fatture elettroniche occorre la partita IVA "
                               "dell'azienda: indicarla nei dati dell'azienda e ripetere il caricamento."));
        const auto banche = conn.query(QStringLiteral("SELECT Nome, IBAN FROM t_banche ORDER BY ID"));
        for (const auto& r : banche.rows) {
            m_nomiBanche.insert(r[0].toString().trimmed().toUpper());
            const QString iban = ibanNormalizzato(r[1].toString());
            if (!iban.isEmpty() && !m_banche.contains(iban)) m_banche.insert(iban, r[0].toString());
        }
        m_righe << intestazioniFatturaElettronica();
    }

    void file(const QString& percorso)
    {
        QFile f(percorso);
        if (!f.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                            .arg(QDir::toNativeSeparators(percorso), f.errorString()));
        const QString nome = QFileInfo(percorso).fileName();
        // A ZIP from the portal holds thousands of invoices (a year of a small firm is tens
        // of megabytes); a single invoice is small.
        const qint64 limite = f.size() > 0 && f.peek(2) == "PK" ? 512ll * 1024 * 1024 : fpa::maxFileFattura;
        if (f.size() > limite) {
            scarta(nome, QStringLiteral("il file è troppo grande per essere una fattura elettronica."));
            return;
        }
        const QByteArray dati = f.readAll();
        if (f.error() != QFileDevice::NoError)
            throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                            .arg(QDir::toNativeSeparators(percorso), f.errorString()));
        contenuto(nome, dati, 0);
    }

    Caricamento fine()
    {
        Caricamento c;
        c.griglia = grigliaDa(m_righe);
        c.scartati = m_scartati;
        c.elettronica = true;
        return c;
    }

private:
    // One line of the error list: a name or number from the file shows its control
    // characters rather than breaking the line.
    void scarta(const QString& nome, const QString& perche)
    {
        m_scartati << visibile(nome + QStringLiteral(": ") + perche);
    }

    void contenuto(const QString& nome, const QByteArray& dati, int profondita)
    {
        try {
            if (fpa::sembraZip(dati)) {
                if (profondita >= 2) {
                    scarta(nome, QStringLiteral("archivio ZIP dentro un altro archivio, non letto."));
                    return;
                }
                fpa::leggiZip(
                    dati, nome,
                    [&](const QString& voce, const QByteArray& d) {
                        const QString base = voce.section(QLatin1Char('/'), -1);
                        // Folders and forks that archivers of other systems add.
                        if (voce.startsWith(QLatin1String("__MACOSX/")) ||
                            base.startsWith(QLatin1String("._")))
                            return;
                        contenuto(nome + QLatin1Char('/') + voce, d, profondita + 1);
                    },
                    [&](const QString& voce, const QString& errore) {
                        scarta(nome + QLatin1Char('/') + voce, errore);
                    });
                return;
            }
            if (fpa::sembraXml(dati)) {
                xml(nome, dati);
                return;
            }
            const QString estensione = QFileInfo(nome).suffix().toLower();
            if (estensione != QLatin1String("p7m") && estensione != QLatin1String("xml") &&
                estensione != QLatin1String("zip")) {
                scarta(nome, QStringLiteral("il file non è una fattura elettronica (.xml o .p7m)."));
                return;
            }
            if (estensione == QLatin1String("p7m")) {
                xml(nome, fpa::estraiFirmato(dati, nome));
                return;
            }
            // Some programs name a signed file .xml: try it as one before giving up.
            QByteArray estratto;
            try {
                estratto = fpa::estraiFirmato(dati, nome);
            } catch (const Error&) {
                scarta(nome, QStringLiteral("il file non è una fattura elettronica: non è un XML né un file "
                                            "firmato (.p7m)."));
                return;
            }
            xml(nome, estratto);
        } catch (const Error& e) {
            scarta(nome, e.message());
        }
    }

    void xml(const QString& nome, const QByteArray& testo)
    {
        const auto letto = fpa::leggiFattura(testo, nome);
        // The exchange system's receipts and the metadata file beside every invoice in the
        // portal's ZIP hold no invoice: passed over, or every portal import would end in errors.
        if (std::holds_alternative<fpa::NonFattura>(letto)) return;
        const fpa::Fattura& f = std::get<fpa::Fattura>(letto);
        if (normalizzato(f.cedente.idCodice, true) != m_ivaAzienda) {
            // One line per document, as for the documents of the firm's own files: the clerk
            // looks a document up by its number, and a batch of forty joined on one line
            // cannot be read.
            const QString cedente =
                f.cedente.nominativo().isEmpty() ? QString() : QLatin1Char(' ') + f.cedente.nominativo();
            const QString fornitore =
                QStringLiteral(" ricevuta dal fornitore%1 (P. IVA %2), non emessa dall'azienda.")
                    .arg(cedente, f.cedente.idPaese + f.cedente.idCodice);
            for (const fpa::Documento& d : f.documenti) {
                const QString t = d.tipo.toUpper();
                const QString cosa = t == QLatin1String("TD04") || t == QLatin1String("TD08")
                                         ? QStringLiteral("una nota di credito (%1)").arg(t)
                                         : QStringLiteral("una fattura");
                scarta(nome, nomeDocumento(d) + QStringLiteral(" non importato: è ") + cosa + fornitore);
            }
            return;
        }
        const fpa::Soggetto& c = f.cessionario;
        const QString cliente = c.nominativo();
        // Registry values the client register would refuse are left out, not the document.
        // A foreign address carries the placeholder CAP "00000" and province "EE".
        const QString tipo = tipoCliente(f);
        const bool italia =
            c.nazione.isEmpty() || c.nazione.compare(QLatin1String("IT"), Qt::CaseInsensitive) == 0;
        const QString cap = italia && c.cap.size() == 5 ? c.cap : QString();
        const QString provincia = italia && c.provincia.size() == 2 ? c.provincia : QString();
        for (const fpa::Documento& d : f.documenti) {
            const QString perche = nonCredito(d);
            if (!perche.isEmpty()) {
                scarta(nome,
                       nomeDocumento(d) + QStringLiteral(" non importato: ") + perche + QLatin1Char('.'));
                continue;
            }
            const QDate dataDoc = d.dataDocumento();
            const QString note = noteDi(d.tipo);
            const auto riga = [&](const QString& scadenza, const QString& importo, const QString& modalita,
                                  const QString& banca, const QString& iban) {
                m_righe << QStringList{d.numero,
                                       testoData(dataDoc, d.data),
                                       scadenza,
                                       importo,
                                       QString(),
                                       QString(),
                                       modalita,
                                       cliente,
                                       cliente,
                                       banca,
                                       note,
                                       c.indirizzoCompleto(),
                                       c.comune,
                                       cap,
                                       provincia,
                                       c.partitaIva(),
                                       c.codiceFiscale,
                                       nome,
                                       iban,
                                       tipo};
            };
            if (d.rate.isEmpty()) {
                const auto totale = d.importoTotale();
                if (!totale) {
                    scarta(nome,
                           nomeDocumento(d) +
                               QStringLiteral(" non importato: non indica né le rate né l'importo totale."));
                    continue;
                }
                riga(testoData(dataDoc, d.data), totale->toPlain(2).remove(QLatin1Char('.')), QString(),
                     QString(), QString());
                continue;
            }
            // Two instalments due the same day are one credit of that day: the register keys
            // a credit by number, date and due date, so a second row would overwrite the first.
            QMap<QDate, int> perGiorno;
            QList<fpa::Rata> rate;
            QList<QString> scadenze;
            for (const fpa::Rata& r : d.rate) {
                const QDate s = r.dataScadenza(dataDoc);
                const auto a = fpa::importo(r.importo);
                if (s.isValid() && a && perGiorno.contains(s)) {
                    fpa::Rata& prima = rate[perGiorno.value(s)];
                    const auto b = fpa::importo(prima.importo);
                    if (b) {
                        prima.importo = (*a + *b).toMachine();
                        continue;
                    }
                }
                if (s.isValid()) perGiorno.insert(s, int(rate.size()));
                rate << r;
                scadenze << testoData(s, r.scadenza);
            }
            for (int i = 0; i < rate.size(); ++i) {
                const fpa::Rata& r = rate[i];
                // The bank of the register with the instalment's IBAN, else the one the import
                // will add for it: the name the invoice gives the institute, else the IBAN.
                const QString iban = ibanPlausibile(r.iban) ? ibanNormalizzato(r.iban) : QString();
                QString banca = m_banche.value(iban);
                if (!iban.isEmpty() && banca.isEmpty()) {
                    banca = senzaControlli(r.istituto, false).toUpper();
                    // A name the register gives another account would lead the letter there.
                    if (banca.isEmpty() || m_nomiBanche.contains(banca))
                        banca = QStringLiteral("IBAN ") + iban;
                    // The next instalment into the same account shows the same bank.
                    m_banche.insert(iban, banca);
                    m_nomiBanche.insert(banca);
                }
                riga(scadenze[i], testoImporto(r.importo), modalitaPagamento(r.modalita), banca, iban);
            }
        }
    }

    QString m_ivaAzienda;
    QHash<QString, QString> m_banche; // IBAN -> Nome
    QSet<QString> m_nomiBanche;       // every bank's name, upper case
    sheets::Rows m_righe;
    QStringList m_scartati;
};

} // namespace

Caricamento caricaFattureElettroniche(sz::db::Connection& conn, const QStringList& file)
{
    Lettura l(conn);
    for (const QString& f : file)
        l.file(f);
    return l.fine();
}

} // namespace sz::importazione
