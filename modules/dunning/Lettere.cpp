#include "Lettere.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/report/Letterhead.h"
#include "scadenzio/mail/Address.h"
#include "scadenzio/report/Report.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace sz::dunning {

QStringList GListaErrori;

void GestisciErrore(const QString& riga)
{
    GListaErrori.append(riga);
}

// ---- texts -----------------------------------------------------------------------------

QString FormattaValuta(const Money& importo)
{
    return importo.toDisplay();
}

QString FormattaValuta(const QString& importo)
{
    const QString t = importo.trimmed().isEmpty() ? QStringLiteral("0") : importo;
    const auto m = Money::parse(t);
    return m ? FormattaValuta(*m) : importo;
}

namespace {

QString testo(const Valori& v, const char* colonna)
{
    return sz::report::fieldText(v, QLatin1String(colonna));
}

} // namespace

QString testoValore(const QVariant& v)
{
    return sz::report::valueText(v);
}

Valori valoriRiga(const sz::db::Result& r, int row)
{
    return sz::report::rowValues(r, row);
}

QString IntestazioneCliente(const Valori& cliente)
{
    return sz::report::addresseeBlock(cliente);
}

// ---- late-payment interest in a letter ------------------------------------------------

namespace {

Money importo(const Valori& v, const char* colonna)
{
    const QVariant x = v.value(QLatin1String(colonna));
    return x.userType() == qMetaTypeId<Money>() ? x.value<Money>() : Money();
}

QString clausola(sz::interessi::TipoCliente tipo, bool indennizzo, bool primaDel2013)
{
    if (tipo == sz::interessi::TipoCliente::Consumatore)
        return QStringLiteral("Sull'importo scaduto decorrono, dal giorno successivo alla scadenza, gli interessi "
                              "moratori ai sensi dell'art. 1224 c.c., al tasso legale di cui all'art. 1284 c.c. "
                              "in vigore in ciascun anno, salvo il maggior danno.");
    QString t = QStringLiteral("Sull'importo scaduto decorrono, dal giorno successivo alla scadenza e senza necessità "
                               "di costituzione in mora, gli interessi moratori ai sensi degli artt. 4 e 5 del "
                               "D.Lgs. 9 ottobre 2002 n. 231, come modificato dal D.Lgs. 9 novembre 2012 n. 192, al "
                               "tasso di riferimento della BCE maggiorato di 8 punti percentuali");
    // Contracts made before the 2013 reform keep their 7 points.
    if (primaDel2013)
        t += QStringLiteral(" (7 punti per i documenti anteriori al 1° gennaio 2013, art. 3 del D.Lgs. 9 novembre "
                            "2012 n. 192)");
    if (indennizzo)
        t += QStringLiteral(", oltre all'importo forfettario di € 40,00 per ciascuna fattura ai sensi dell'art. 6, "
                            "comma 2");
    return t + QStringLiteral(", salvo il maggior danno.");
}

} // namespace

BloccoInteressi bloccoInteressi(const QList<sz::interessi::Tasso>& tassi, const sz::interessi::Impostazioni& imp,
                                sz::interessi::TipoCliente tipo, const QList<Valori>& crediti, const QDate& oggi)
{
    BloccoInteressi b;
    if (!imp.interessi)
        return b;
    Money residui;
    QSet<QString> documenti;
    bool primaDel2013 = false;
    // A notice before the due date asks for no interest and sets no deadline of its own.
    bool scaduto = false;
    for (const Valori& c : crediti) {
        const Money residuo = importo(c, "Residuo");
        const QDate scadenza = c.value(QStringLiteral("Scadenza")).toDate();
        const QDate dataFattura = c.value(QStringLiteral("DataFattura")).toDate();
        const auto calcolo = sz::interessi::calcola(tassi, tipo, residuo, scadenza, dataFattura, oggi);
        if (!calcolo.calcolato) {
            // No amount at all rather than a total that leaves a credit's interest out.
            BloccoInteressi vuoto;
            vuoto.mancante = calcolo.mancante;
            return vuoto;
        }
        residui += residuo;
        b.interessi += calcolo.interessi;
        b.righe << BloccoInteressi::Riga{testo(c, "NumeroFattura"), testo(c, "DataFattura"), testo(c, "Scadenza"),
                                         residuo, calcolo.interessi, calcolo.tassiApplicati()};
        if (residuo > Money() && scadenza.isValid() && scadenza < oggi) {
            scaduto = true;
            primaDel2013 = primaDel2013 || (dataFattura.isValid() && dataFattura < QDate(2013, 1, 1));
            // One € 40 per document, however many of its instalments are late; none for a
            // document from before the compensation existed.
            if (sz::interessi::indennizzo(tipo, dataFattura) > Money())
                documenti.insert(testo(c, "NumeroFattura") + QChar(0) + testo(c, "DataFattura"));
        }
    }
    const bool conIndennizzo = imp.indennizzo40 && tipo != sz::interessi::TipoCliente::Consumatore;
    if (conIndennizzo) {
        b.documentiIndennizzo = int(documenti.size());
        b.indennizzo = Money::fromCents(4000 * qint64(b.documentiIndennizzo));
    }
    b.totale = residui + b.interessi + b.indennizzo;
    b.dataTermine = dates::toDisplay(oggi.addDays(imp.giorniTermine));
    b.clausola = clausola(tipo, conIndennizzo && b.documentiIndennizzo > 0, primaDel2013);
    b.mostrato = scaduto;
    return b;
}

// ---- archive ---------------------------------------------------------------------------

namespace {

// Characters that change the order in which the rest of a name is shown: with them a
// client could make its letter's file look like another's.
bool bidiDiControllo(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString pulisciNomeFile(const QString& nome)
{
    QString out;
    out.reserve(nome.size());
    for (qsizetype i = 0; i < nome.size(); ++i) {
        const QChar c = nome.at(i);
        switch (c.unicode()) {
        case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
            continue;
        default:
            break;
        }
        // A NUL would cut the name where the system reads it; no control character,
        // line breaks included, belongs in a file name.
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator ||
            bidiDiControllo(c.unicode()))
            continue;
        // Half a character cannot be written in a name.
        if (c.isHighSurrogate() && i + 1 < nome.size() && nome.at(i + 1).isLowSurrogate()) {
            out += c;
            out += nome.at(++i);
            continue;
        }
        if (c.isSurrogate())
            continue;
        out += c;
    }
    return out;
}

QString limitaNomeFile(const QString& nome, const QString& estensione)
{
    if ((nome + estensione).toUtf8().size() <= limiteNomeFile)
        return nome + estensione;
    // The whole name's hash stays in the short one: two names that only differ past the
    // cut still get two files, and the same name always gets the same file.
    const QString impronta =
        QLatin1Char('~') +
        QString::fromLatin1(QCryptographicHash::hash(nome.toUtf8(), QCryptographicHash::Sha256).toHex().left(12));
    const qsizetype spazio = limiteNomeFile - (impronta + estensione).toUtf8().size();
    QString base;
    qsizetype byte = 0;
    for (qsizetype i = 0; i < nome.size(); ++i) {
        // Whole characters only: a surrogate pair goes in or out together.
        const qsizetype n = nome.at(i).isHighSurrogate() && i + 1 < nome.size() ? 2 : 1;
        const qsizetype peso = nome.mid(i, n).toUtf8().size();
        if (byte + peso > spazio)
            break;
        base += nome.mid(i, n);
        byte += peso;
        i += n - 1;
    }
    return base + impronta + estensione;
}

QString cartellaPerDocumento(const QString& dataRoot, Fase fase, const QDate& oggi)
{
    return dataRoot + QStringLiteral("Archivio/Solleciti per Fattura/") +
           (fase == Fase::Preavviso ? QStringLiteral("Preavvisi/") : QStringLiteral("Solleciti/")) +
           oggi.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('/');
}

QString cartellaPerCliente(const QString& dataRoot, const QDate& oggi)
{
    return dataRoot + QStringLiteral("Archivio/Solleciti per Cliente/") + oggi.toString(QStringLiteral("yyyy-MM-dd")) +
           QLatin1Char('/');
}

QString nomeFilePerDocumento(const QDate& oggi, Fase fase, const QString& numeroFattura, const QDate& scadenza)
{
    const QString n = oggi.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('_') + parolaChiave(fase) +
                      QStringLiteral("_FATT") + numeroFattura.trimmed() + QStringLiteral("_SCAD") +
                      scadenza.toString(QStringLiteral("yyyyMMdd"));
    return limitaNomeFile(pulisciNomeFile(n), QStringLiteral(".pdf"));
}

QString nomeFilePerCliente(const QDate& oggi, const QString& cliente)
{
    const QString n = oggi.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('_') + cliente.trimmed();
    return limitaNomeFile(pulisciNomeFile(n), QStringLiteral(".pdf"));
}

// ---- the runs --------------------------------------------------------------------------

struct Lettere::Motore
{
    sz::report::Project progetto;
};

namespace {

// A name entered twice (the comparison ignores letter case) is read from its first row.
const QString sqlCliente = QStringLiteral("SELECT * FROM t_clienti WHERE RagioneSociale = :Cliente ORDER BY ID");
const QString sqlModello = QStringLiteral("SELECT * FROM t_comunicazioni WHERE Tipologia = :Tipologia ORDER BY ID");
const QString sqlBanca =
    QStringLiteral("SELECT Nome AS nome, Agenzia AS agenzia, IBAN FROM t_banche WHERE Nome = :Banca ORDER BY ID");
const QString sqlBanche = QStringLiteral("SELECT Nome AS nome, Agenzia AS agenzia, IBAN FROM t_banche ORDER BY ID");

} // namespace

Lettere::Lettere(sz::db::Connection& conn, const QDate& oggi, const QString& dataRoot, const QString& programFolder)
    : m_conn(conn), m_oggi(oggi), m_dataRoot(dataRoot), m_programFolder(programFolder),
      m_motore(std::make_unique<Motore>())
{
    const auto r = m_conn.query(QStringLiteral("SELECT * FROM t_societa ORDER BY ID"));
    if (!r.isEmpty())
        m_societa = valoriRiga(r, 0);
    m_impostazioni = sz::interessi::leggiImpostazioni(m_conn);
    if (m_impostazioni.interessi)
        m_tassi = sz::interessi::leggiTassi(m_conn);
}

Lettere::~Lettere() = default;

void Lettere::setSpedizione(Spedizione spedizione)
{
    m_spedizione = std::move(spedizione);
}

void Lettere::setDopoLettera(DopoLettera dopo)
{
    m_dopoLettera = std::move(dopo);
}

QString Lettere::logo() const
{
    return sz::report::logoPath(m_dataRoot, m_programFolder);
}

void Lettere::aggiungiErrore(const QString& riga, EsitoRun& esito)
{
    // A name or number stored with a line break must not split its line into two, nor
    // forge a second one: the error list is read one line per problem.
    GestisciErrore(sz::mail::caratteriVisibili(riga));
    ++esito.righeErrore;
}

Valori Lettere::cliente(const QString& nome) const
{
    const auto r = m_conn.query(sqlCliente, {{QStringLiteral("Cliente"), nome}});
    return r.isEmpty() ? Valori() : valoriRiga(r, 0);
}

Valori Lettere::modello(const QString& tipologia) const
{
    // A missing template leaves subject and texts empty; the letter is still due.
    const auto r = m_conn.query(sqlModello, {{QStringLiteral("Tipologia"), tipologia}});
    return r.isEmpty() ? Valori() : valoriRiga(r, 0);
}

void Lettere::impostaMittente() const
{
    for (const auto& [nome, valore] : sz::report::senderParameters(m_societa, logo()))
        m_motore->progetto.setParameter(nome, valore);
}

namespace {

void impostaDestinatario(sz::report::Project& p, const Valori& cliente, const Valori& modello,
                         const QString& luogoData)
{
    p.setParameter(QStringLiteral("IntestazioneCliente"), IntestazioneCliente(cliente));
    p.setParameter(QStringLiteral("IndirizzoCliente"), sz::report::addresseeAddress(cliente));
    p.setParameter(QStringLiteral("ContattiCliente"), sz::report::addresseeContacts(cliente));
    p.setParameter(QStringLiteral("RagioneSociale"), testo(cliente, "RagioneSociale"));
    // A private person is "Gent.le", not "Spett.le" as a firm or an office.
    p.setParameter(QStringLiteral("Consumatore"),
                   sz::interessi::tipoCliente(testo(cliente, "TipoCliente")) == sz::interessi::TipoCliente::Consumatore
                       ? QStringLiteral("SI")
                       : QString());
    const QString riferimento = testo(cliente, "Riferimento");
    p.setParameter(QStringLiteral("Referente"),
                   riferimento.isEmpty() ? QString() : QStringLiteral("Alla c.a.: ") + riferimento);
    p.setParameter(QStringLiteral("LuogoData"), luogoData);
    p.setParameter(QStringLiteral("Oggetto"), testo(modello, "Oggetto"));
    p.setParameter(QStringLiteral("Introduzione"), testo(modello, "Introduzione"));
    p.setParameter(QStringLiteral("Finale"), testo(modello, "Finale"));
}

QString titolo(const Valori& modello, const QString& di)
{
    const QString oggetto = testo(modello, "Oggetto");
    return oggetto.isEmpty() ? di : oggetto + QStringLiteral(" – ") + di;
}

// The rates of a letter's credits, one line per document when there are several.
QString tassiApplicati(const BloccoInteressi& b)
{
    if (b.righe.size() == 1)
        return b.righe.first().tassi;
    QStringList righe;
    for (const auto& r : b.righe)
        if (!r.tassi.isEmpty())
            righe << QStringLiteral("Documento N° ") + r.numeroFattura + QStringLiteral(": ") + r.tassi;
    return righe.join(QLatin1Char('\n'));
}

// Banks as a letter prints them: the IBAN in groups of four.
sz::report::DataView vistaBanche(const sz::db::Result& banche)
{
    return sz::report::withIbanGroups(sz::report::dataView(banche));
}

QList<Valori> valoriBanche(const sz::db::Result& banche)
{
    QList<Valori> out = sz::report::rowsValues(banche);
    for (Valori& b : out)
        b.insert(QStringLiteral("IBAN"), sz::report::ibanInGroups(testo(b, "IBAN")));
    return out;
}

// The tags a firm may write in its own subject, introduction and closing, with their values
// for one letter. Only these, and only as plain text: a template is the firm's text, never
// a program, and a value never brings a tag of its own.
Valori conCampi(const Valori& modello, const QHash<QString, QString>& campi)
{
    Valori out = modello;
    for (const char* colonna : {"Oggetto", "Introduzione", "Finale"}) {
        QString t = testo(modello, colonna);
        if (!t.contains(QLatin1String("{{")))
            continue;
        QString fatto;
        qsizetype i = 0;
        while (i < t.size()) {
            const qsizetype a = t.indexOf(QLatin1String("{{"), i);
            const qsizetype b = a < 0 ? -1 : t.indexOf(QLatin1String("}}"), a + 2);
            if (a < 0 || b < 0) {
                fatto += t.mid(i);
                break;
            }
            const QString nome = t.mid(a + 2, b - a - 2).trimmed();
            fatto += t.mid(i, a - i);
            fatto += campi.contains(nome) ? campi.value(nome) : t.mid(a, b + 2 - a);
            i = b + 2;
        }
        out.insert(QLatin1String(colonna), fatto);
    }
    return out;
}

QHash<QString, QString> campiInteressi(const BloccoInteressi& b)
{
    const auto euro = [&](const Money& m) { return b.mostrato ? FormattaValuta(m) : QString(); };
    return {{QStringLiteral("Interessi"), euro(b.interessi)},
            {QStringLiteral("Indennizzo"), b.indennizzo > Money() ? euro(b.indennizzo) : QString()},
            {QStringLiteral("TotaleDovuto"), euro(b.totale)},
            {QStringLiteral("TassiApplicati"), b.mostrato ? tassiApplicati(b) : QString()},
            {QStringLiteral("DataTermine"), b.dataTermine}};
}

} // namespace

BloccoInteressi Lettere::impostaInteressi(const Valori& cliente, const QList<Valori>& crediti,
                                          const QString& documento, EsitoRun& esito)
{
    const BloccoInteressi b = bloccoInteressi(m_tassi, m_impostazioni,
                                              sz::interessi::tipoCliente(testo(cliente, "TipoCliente")), crediti,
                                              m_oggi);
    if (!b.mancante.isEmpty())
        aggiungiErrore(b.mancante + QStringLiteral(" (") + documento +
                           QStringLiteral(": la lettera è stata creata senza gli interessi)"),
                       esito);
    auto& p = m_motore->progetto;
    const auto euro = [&](const Money& m) { return b.mostrato ? FormattaValuta(m) : QString(); };
    p.setParameter(QStringLiteral("ConInteressi"), b.mostrato ? QStringLiteral("SI") : QString());
    p.setParameter(QStringLiteral("Interessi"), euro(b.interessi));
    p.setParameter(QStringLiteral("Indennizzo"), b.indennizzo > Money() ? euro(b.indennizzo) : QString());
    p.setParameter(QStringLiteral("DocumentiIndennizzo"),
                   b.documentiIndennizzo > 1 ? QStringLiteral("%1 documenti").arg(b.documentiIndennizzo) : QString());
    p.setParameter(QStringLiteral("TotaleDovuto"), euro(b.totale));
    p.setParameter(QStringLiteral("TassiApplicati"), b.mostrato ? tassiApplicati(b) : QString());
    p.setParameter(QStringLiteral("DataTermine"), b.dataTermine);
    p.setParameter(QStringLiteral("DataInteressi"), b.mostrato ? dates::toDisplay(m_oggi) : QString());
    p.setParameter(QStringLiteral("ClausolaInteressi"), b.clausola);
    sz::report::DataView righe;
    for (const auto& r : b.righe)
        righe << sz::report::Row{{QStringLiteral("NumeroFattura"), r.numeroFattura},
                                 {QStringLiteral("DataFattura"), r.dataFattura},
                                 {QStringLiteral("Scadenza"), r.scadenza},
                                 {QStringLiteral("Residuo"), FormattaValuta(r.residuo)},
                                 {QStringLiteral("Interessi"), FormattaValuta(r.interessi)},
                                 {QStringLiteral("TassiApplicati"), r.tassi}};
    p.setDataView(QStringLiteral("RvInteressi"), b.mostrato ? righe : sz::report::DataView());
    return b;
}

QString Lettere::renderizza(const QString& cartella, const QString& file)
{
    // Every missing level is made: a data folder copied without its archive, or one
    // the user tidied up, must not stop the run.
    if (!QDir().mkpath(cartella))
        throw Error(QStringLiteral("Impossibile creare la cartella \"%1\".").arg(QDir::toNativeSeparators(cartella)));
    const QString pdf = cartella + file;
    auto& p = m_motore->progetto;
    p.setOutputFile(pdf);
    p.execute();
    p.close();
    return pdf;
}

bool Lettere::posta(const Invio& invio, const QString& ragioneSociale, const std::function<QString()>& documento,
                    EsitoRun& esito, Consegna& consegna)
{
    consegna.canale = m_spedizione && !m_spedizione.canale.isEmpty() ? m_spedizione.canale : QStringLiteral("MAIL");
    QStringList indirizzi;
    for (const QString& campo : {invio.mail1, invio.mail2, invio.mail3})
        indirizzi << sz::mail::dividiIndirizzi(campo);
    QStringList mostrati;
    for (const QString& a : indirizzi)
        mostrati << sz::mail::caratteriVisibili(a);
    consegna.destinatari = mostrati.join(QStringLiteral(", "));
    if (indirizzi.isEmpty()) {
        aggiungiErrore(QStringLiteral("Il Cliente ") + ragioneSociale +
                           QStringLiteral(" non contiente alcun indirizzo mail in anagrafica."),
                       esito);
        consegna.esito = sz::invii::nonInviata(QStringLiteral("nessun indirizzo mail in anagrafica"));
        return false;
    }
    // One address that is not plain keeps the whole letter off the wire: a line break in
    // it would be a command of its own in the firm's mail session.
    QStringList nonValidi;
    for (const QString& a : indirizzi)
        if (!sz::mail::indirizzoValido(a)) {
            aggiungiErrore(QStringLiteral("Il Cliente ") + ragioneSociale +
                               QStringLiteral(" ha un indirizzo mail non valido (") + sz::mail::caratteriVisibili(a) +
                               QStringLiteral("): la comunicazione non è stata inviata."),
                           esito);
            nonValidi << sz::mail::caratteriVisibili(a);
        }
    if (!nonValidi.isEmpty()) {
        consegna.esito =
            sz::invii::nonInviata(QStringLiteral("indirizzo mail non valido: ") + nonValidi.join(QStringLiteral(", ")));
        return false;
    }
    const QString mittente = sz::mail::problemaMittente(invio.mittente);
    const EsitoSpedizione e = mittente.isEmpty() ? spedisci(invio) : EsitoSpedizione(mittente);
    consegna.messageId = e.messageId;
    for (const Rifiuto& r : e.rifiutati)
        aggiungiErrore(QStringLiteral("Il Cliente ") + ragioneSociale +
                           QStringLiteral(": il server ha rifiutato l'indirizzo mail ") + r.indirizzo +
                           QStringLiteral(" (") + r.risposta +
                           QStringLiteral("): la comunicazione è stata inviata agli altri indirizzi."),
                       esito);
    if (e.inviata) {
        // Mailed to the addresses the server took; the refused ones are on their lines.
        QStringList presi;
        for (const QString& a : indirizzi)
            if (std::none_of(e.rifiutati.begin(), e.rifiutati.end(),
                             [&](const Rifiuto& r) { return r.indirizzo == a; }))
                presi << a;
        consegna.destinatari = presi.join(QStringLiteral(", "));
        consegna.esito = sz::invii::Inviata;
        return e.rifiutati.isEmpty();
    }
    consegna.esito = sz::invii::nonInviata(e.motivo);
    aggiungiErrore(QStringLiteral("Si è verificato un errore durante la procedura di invio mail per il Documento N°") +
                       documento() + QStringLiteral(". - ") + e.motivo,
                   esito);
    return false;
}

void Lettere::registraLettera(const sz::db::Result& crediti, const QString& modo, const QString& pdf,
                              const Consegna& consegna, EsitoRun& esito)
{
    // A run that goes on past midnight still dates its letters, folders and stage dates by
    // the day it began: the log keeps that day too, or a letter would seem to be two.
    QDateTime quando = sz::adesso();
    if (quando.date() != m_oggi)
        quando = QDateTime(m_oggi, QTime(23, 59, 59));
    const QString file = sz::invii::percorsoRelativo(m_dataRoot, pdf);
    const QString postazione = sz::invii::postazione();
    LetteraFatta fatta{pdf, QString(), QString(), consegna.esito};
    QList<Fase> fasi;
    sz::db::Transaction t(m_conn);
    for (int r = 0; r < crediti.rows.size(); ++r) {
        const Fase fase = faseRiga(crediti, r);
        if (!fasi.contains(fase))
            fasi << fase;
        if (fatta.cliente.isEmpty())
            fatta.cliente = testoValore(crediti.value(r, QStringLiteral("Cliente")));
        const qint64 id = crediti.value(r, QStringLiteral("ID")).toLongLong();
        AggiornaStato(CheckComunicazione(fase), id);
        sz::invii::Invio v;
        v.idCredito = id;
        v.cliente = testoValore(crediti.value(r, QStringLiteral("Cliente")));
        v.numeroFattura = testoValore(crediti.value(r, QStringLiteral("NumeroFattura")));
        v.dataFattura = crediti.value(r, QStringLiteral("DataFattura")).toDate();
        v.fase = parolaChiave(fase);
        v.modo = modo;
        v.dataOra = quando;
        v.file = file;
        v.canale = consegna.canale;
        v.destinatari = consegna.destinatari;
        v.messageId = consegna.messageId;
        v.esito = consegna.esito;
        v.postazione = postazione;
        sz::invii::registra(m_conn, v);
    }
    t.commit();
    std::sort(fasi.begin(), fasi.end());
    QStringList parole;
    for (Fase f : fasi)
        parole << parolaChiave(f);
    fatta.fase = parole.join(QLatin1Char(','));
    esito.lettere << fatta;
    if (m_dopoLettera)
        m_dopoLettera(fatta);
}

EsitoSpedizione Lettere::spedisci(const Invio& invio)
{
    if (!m_spedizione)
        return QStringLiteral("invio della posta non disponibile");
    return m_spedizione(invio);
}

QString Lettere::mittenteNonValido() const
{
    const QString problema = sz::mail::problemaMittente(testo(m_societa, "Mail"));
    if (problema.isEmpty())
        return {};
    return QStringLiteral("ATTENZIONE: ") + problema +
           QStringLiteral(": nessuna comunicazione è stata creata né inviata. Indicare la mail in Impostazioni - "
                          "Email e Connessione.");
}

bool Lettere::elaboraDocumento(qint64 id, bool invia, EsitoRun& esito)
{
    const auto credito = m_conn.query(sqlLettera({id}));
    if (credito.isEmpty()) {
        aggiungiErrore(QStringLiteral("Il credito con ID %1 non è più presente in archivio.").arg(id), esito);
        return false;
    }
    const Valori c = valoriRiga(credito, 0);
    const QString nomeCliente = testoValore(c.value(QStringLiteral("Cliente")));
    const Valori cl = cliente(nomeCliente);
    if (cl.isEmpty()) {
        aggiungiErrore(QStringLiteral("Il Cliente ") + nomeCliente + QStringLiteral(" non risulta in anagrafica."),
                       esito);
        return false;
    }
    const Fase fase = faseRiga(credito, 0);
    const Valori mod = modello(CheckTipologia(fase));

    auto& p = m_motore->progetto;
    p.close();
    p.setProjectFile(m_programFolder + QStringLiteral("RaveReport/Sollecito.rav"));
    // A credit that names no bank, or one no longer in the register, is paid to any of
    // the firm's banks.
    auto banca = m_conn.query(sqlBanca, {{QStringLiteral("Banca"), testo(c, "Banca")}});
    if (banca.isEmpty())
        banca = m_conn.query(sqlBanche);
    p.setDataView(QStringLiteral("RvDataSetConnection1"), vistaBanche(banca));
    impostaMittente();
    impostaDestinatario(p, cl, mod, testo(m_societa, "Localita") + QStringLiteral(", lì ") + dates::toDisplay(m_oggi));
    p.setParameter(QStringLiteral("NumeroFattura"), testo(c, "NumeroFattura"));
    p.setParameter(QStringLiteral("DataFattura"), testo(c, "DataFattura"));
    p.setParameter(QStringLiteral("ScadenzaFattura"), testo(c, "Scadenza"));
    p.setParameter(QStringLiteral("DestinatarioFattura"), testo(c, "DestinatarioFattura"));
    p.setParameter(QStringLiteral("ImportoFattura"), testo(c, "ImportoParziale"));
    p.setParameter(QStringLiteral("Residuo"), testo(c, "ImportoResiduo"));
    const BloccoInteressi interessi =
        impostaInteressi(cl, {c}, QStringLiteral("Documento N° ") + testo(c, "NumeroFattura"), esito);
    QHash<QString, QString> campi = campiInteressi(interessi);
    campi.insert(QStringLiteral("RagioneSociale"), testo(cl, "RagioneSociale"));
    campi.insert(QStringLiteral("NumeroFattura"), testo(c, "NumeroFattura"));
    campi.insert(QStringLiteral("DataFattura"), testo(c, "DataFattura"));
    campi.insert(QStringLiteral("ScadenzaFattura"), testo(c, "Scadenza"));
    campi.insert(QStringLiteral("ImportoFattura"), testo(c, "ImportoParziale"));
    campi.insert(QStringLiteral("Residuo"), testo(c, "ImportoResiduo"));
    const Valori testi = conCampi(mod, campi);
    for (const char* colonna : {"Oggetto", "Introduzione", "Finale"})
        p.setParameter(QLatin1String(colonna), testo(testi, colonna));
    // From the subject as the letter prints it, its tags filled in.
    p.setParameter(QStringLiteral("Titolo"), titolo(testi, QStringLiteral("Documento N° ") + testo(c, "NumeroFattura")));

    const QString pdf = renderizza(cartellaPerDocumento(m_dataRoot, fase, m_oggi),
                                   nomeFilePerDocumento(m_oggi, fase, testo(c, "NumeroFattura"),
                                                        c.value(QStringLiteral("Scadenza")).toDate()));
    esito.pdf << pdf;

    bool pulito = true;
    Consegna consegna{QStringLiteral("PDF"), {}, {}, sz::invii::Creata};
    if (invia) {
        Invio invio{CheckComunicazione(fase), testo(testi, "Oggetto"), testo(testi, "Introduzione"),
                    testo(testi, "Finale"),
                    testo(cl, "Mail1"), testo(cl, "Mail2"), testo(cl, "Mail3"), pdf, testo(m_societa, "Mail"), {c},
                    false, valoriBanche(banca), m_societa, interessi};
        pulito = posta(invio, testo(cl, "RagioneSociale"),
                       [&] { return testoValore(c.value(QStringLiteral("NumeroFattura"))); }, esito, consegna);
    }
    // The stage counts as issued once its letter is in the archive, mailed or not.
    registraLettera(credito, QStringLiteral("DOCUMENTO"), pdf, consegna, esito);
    return pulito;
}

EsitoRun Lettere::esegui(int totale, const Avanzamento& avanzamento, const std::function<void(int, EsitoRun&)>& passo)
{
    EsitoRun esito;
    try {
        for (int i = 0; i < totale; ++i) {
            if (avanzamento && !avanzamento(i, totale)) {
                esito.interrotto = true;
                break;
            }
            passo(i, esito);
        }
        if (avanzamento && !esito.interrotto)
            avanzamento(totale, totale);
    } catch (const Error& e) {
        esito.guasto = e.message();
    } catch (const std::exception& e) {
        esito.guasto = QString::fromLocal8Bit(e.what());
    }
    return esito;
}

EsitoRun Lettere::perDocumento(const QList<qint64>& ids, bool invia, const Avanzamento& avanzamento)
{
    if (invia && !mittenteNonValido().isEmpty())
        return EsitoRun{{}, 0, false, mittenteNonValido(), {}};
    return esegui(int(ids.size()), avanzamento, [&](int i, EsitoRun& esito) { elaboraDocumento(ids[i], invia, esito); });
}

bool Lettere::ElaboraAzionePerCliente(const QList<qint64>& ids, bool invia, const QString& nomeCliente,
                                      EsitoRun& esito)
{
    const auto crediti = m_conn.query(sqlLettera(ids));
    Money totale;
    const int residuo = crediti.columnIndex(QStringLiteral("Residuo"));
    for (const auto& row : crediti.rows)
        if (row[residuo].userType() == qMetaTypeId<Money>())
            totale += row[residuo].value<Money>();

    const Valori cl = cliente(nomeCliente);
    if (cl.isEmpty()) {
        aggiungiErrore(QStringLiteral("Il Cliente ") + nomeCliente + QStringLiteral(" non risulta in anagrafica."),
                       esito);
        return false;
    }
    if (crediti.isEmpty()) {
        aggiungiErrore(QStringLiteral("I crediti del Cliente ") + nomeCliente +
                           QStringLiteral(" non sono più presenti in archivio."),
                       esito);
        return false;
    }
    const Valori mod = modello(QStringLiteral("GENERICA"));

    auto& p = m_motore->progetto;
    p.close();
    p.setProjectFile(m_programFolder + QStringLiteral("RaveReport/Sollecito_generico.rav"));
    impostaMittente();
    impostaDestinatario(p, cl, mod, testo(m_societa, "Localita") + QStringLiteral(", lì ") + dates::toDisplay(m_oggi));
    p.setParameter(QStringLiteral("TotaleImporto"), FormattaValuta(totale));
    const BloccoInteressi interessi = impostaInteressi(cl, sz::report::rowsValues(crediti),
                                                       QStringLiteral("Cliente ") + testo(cl, "RagioneSociale"), esito);
    // A statement is about several documents: their own tags have nothing to say here.
    QHash<QString, QString> campi = campiInteressi(interessi);
    campi.insert(QStringLiteral("RagioneSociale"), testo(cl, "RagioneSociale"));
    for (const char* nome : {"NumeroFattura", "DataFattura", "ScadenzaFattura", "ImportoFattura"})
        campi.insert(QLatin1String(nome), QString());
    campi.insert(QStringLiteral("Residuo"), FormattaValuta(totale));
    const Valori testi = conCampi(mod, campi);
    for (const char* colonna : {"Oggetto", "Introduzione", "Finale"})
        p.setParameter(QLatin1String(colonna), testo(testi, colonna));
    p.setParameter(QStringLiteral("Titolo"), titolo(testi, testo(cl, "RagioneSociale")));
    const auto banche = m_conn.query(sqlBanche);
    p.setDataView(QStringLiteral("RvDataSetConnection1"), vistaBanche(banche));
    // Each credit's own interest and total, for a layout that shows them in the table.
    sz::report::DataView righe = sz::report::dataView(crediti);
    for (int i = 0; i < righe.size(); ++i) {
        const bool c = interessi.mostrato && i < interessi.righe.size();
        righe[i].insert(QStringLiteral("Interessi"), c ? FormattaValuta(interessi.righe[i].interessi) : QString());
        righe[i].insert(QStringLiteral("TotaleDovuto"),
                        c ? FormattaValuta(interessi.righe[i].residuo + interessi.righe[i].interessi) : QString());
    }
    p.setDataView(QStringLiteral("RvDataSetConnection2"), righe);

    const QString pdf =
        renderizza(cartellaPerCliente(m_dataRoot, m_oggi), nomeFilePerCliente(m_oggi, nomeCliente));
    esito.pdf << pdf;

    bool pulito = true;
    Consegna consegna{QStringLiteral("PDF"), {}, {}, sz::invii::Creata};
    if (invia) {
        const QList<Valori> crediti2 = sz::report::rowsValues(crediti);
        Invio invio{CheckComunicazione(faseRiga(crediti, int(crediti.rows.size()) - 1)),
                    testo(testi, "Oggetto"), testo(testi, "Introduzione"), testo(testi, "Finale"), testo(cl, "Mail1"),
                    testo(cl, "Mail2"), testo(cl, "Mail3"), pdf, testo(m_societa, "Mail"), crediti2, true,
                    valoriBanche(banche), m_societa, interessi};
        // The line names the document of the last credit selected.
        pulito = posta(invio, testo(cl, "RagioneSociale"), [&] {
            const auto ultimo = m_conn.query(QStringLiteral("SELECT NumeroFattura FROM t_crediti WHERE ID = :ID"),
                                             {{QStringLiteral("ID"), ids.last()}});
            return ultimo.isEmpty() ? QString() : testoValore(ultimo.rows[0][0]);
        }, esito, consegna);
    }
    // Every credit of the letter moves to its own next stage, all of them or none.
    registraLettera(crediti, QStringLiteral("CLIENTE"), pdf, consegna, esito);
    return pulito;
}

EsitoRun Lettere::perCliente(const QList<GruppoCliente>& gruppi, bool invia, const Avanzamento& avanzamento)
{
    if (invia && !mittenteNonValido().isEmpty())
        return EsitoRun{{}, 0, false, mittenteNonValido(), {}};
    return esegui(int(gruppi.size()), avanzamento, [&](int i, EsitoRun& esito) {
        if (!gruppi[i].ids.isEmpty())
            ElaboraAzionePerCliente(gruppi[i].ids, invia, gruppi[i].cliente, esito);
    });
}

void Lettere::AggiornaStato(const QString& colonna, qint64 id)
{
    if (colonna.isEmpty())
        return;
    static const QStringList colonne = {QStringLiteral("Preavviso"), QStringLiteral("Sollecito1"),
                                        QStringLiteral("Sollecito2"), QStringLiteral("Sollecito3")};
    if (!colonne.contains(colonna))
        throw Error(QStringLiteral("Colonna di fase sconosciuta: %1").arg(colonna));
    m_conn.exec(QStringLiteral("UPDATE t_crediti SET ") + colonna + QStringLiteral(" = :Comunicazione WHERE ID = :ID"),
                {{QStringLiteral("Comunicazione"), QVariant(m_oggi)}, {QStringLiteral("ID"), id}});
}

} // namespace sz::dunning
