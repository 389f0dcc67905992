#include "CliDunning.h"

#include "CasellaImap.h"
#include "CliExport.h"
#include "CliSql.h"
#include "Lettere.h"
#include "Notifica.h"
#include "Posta.h"
#include "SollecitiLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Esecuzioni.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Pianificazione.h"

#include <QDate>
#include <QElapsedTimer>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>

namespace sz::cli {

using namespace sz::dunning;

namespace {

const QString usoDunning = QStringLiteral(
    "Uso:\n"
    "  scadenzio-cli dunning list [--per-client [--client NOME]] [--xlsx FILE] [--csv FILE]\n"
    "  scadenzio-cli dunning pdf [--per-client] ID...\n"
    "  scadenzio-cli dunning send [--per-client] ID...\n"
    "  scadenzio-cli dunning run [--per-client|--per-document] [--send|--pdf-only] [--dry-run] [--timer]\n"
    "      crea (e invia) tutte le lettere di oggi, una sola volta per credito al giorno; senza opzioni\n"
    "      modo e canale dell'invio automatico; una riga per lettera: FILE, CLIENTE, FASE, ESITO\n"
    "  scadenzio-cli dunning runs [--last N]\n"
    "      le esecuzioni, dalla più recente; le righe di errore sotto la loro, rientrate da una tabulazione\n"
    "  scadenzio-cli dunning suspend (--client NOME | --credit ID) [--fino gg/mm/aaaa] --motivo TESTO\n"
    "  scadenzio-cli dunning resume (--client NOME | --credit ID)\n"
    "Uscita: 0 senza errori, 1 con righe di errore, 2 fallito o uso errato, 3 invio già in corso altrove.");

// A text from the register or the command line on one line of output: control
// characters as blanks.

// The due list as the frame's tab shows it.
db::Result listaDovuti(db::Connection& conn, bool perCliente, const QString& cliente, const QDate& oggi)
{
    if (!perCliente)
        return conn.query(sqlCreditiPerDocumento(), parametriLista(oggi));
    return conn.query(sqlCreditiPerCliente(!cliente.isNull()), parametriLista(oggi, cliente));
}

// A credit whose letter is not made because its template is empty.
QString rigaModelloVuoto(const QString& documento, qint64 id, const QString& tipologia)
{
    return QStringLiteral("Comunicazione non creata per il Documento N°%1 (credito %2): il modello della "
                          "comunicazione \"%3\" è vuoto.")
        .arg(invii::unaRiga(documento))
        .arg(id)
        .arg(etichettaModello(tipologia));
}

int elenca(QStringList args, const Output& io)
{
    const Esportazione file = leggiEsportazione(args);
    bool perCliente = false;
    QString cliente;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--per-client")) {
            perCliente = true;
        } else if (args[i] == QLatin1String("--client") && i + 1 < args.size()) {
            cliente = args[++i];
        } else {
            io.err(usoDunning);
            return 2;
        }
    }
    if (!cliente.isNull() && !perCliente) {
        io.err(QStringLiteral("--client vale solo con --per-client"));
        return 2;
    }
    db::Connection conn(paths::LoadConnection());
    const db::Result r = listaDovuti(conn, perCliente, cliente, sz::oggi());
    static const char* campi[] = {"ID", "NumeroFattura", "DataFattura", "Scadenza", "Cliente", "ModalitaPagamento",
                                  "Residuo"};
    QStringList header;
    for (const char* c : campi)
        header << QLatin1String(c);
    header << QStringLiteral("Fase");
    QString text = header.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int row = 0; row < r.rows.size(); ++row) {
        QStringList fields;
        for (const char* c : campi)
            fields << formatField(r.value(row, QLatin1String(c)));
        fields << parolaChiave(faseRiga(r, row));
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    io.out(text);
    if (!file.vuota() && !esporta(file, tabellaLista(r), io))
        return 2;
    return 0;
}

int creaPdf(const QStringList& args, const Output& io, bool invia)
{
    bool perCliente = false;
    QStringList testiId;
    for (const QString& a : args) {
        if (a == QLatin1String("--per-client"))
            perCliente = true;
        else if (a.startsWith(QLatin1String("--"))) {
            io.err(usoDunning);
            return 2;
        } else
            testiId << a;
    }
    const QList<qint64> richiesti = leggiId(testiId);
    if (richiesti.isEmpty()) {
        io.err(usoDunning);
        return 2;
    }
    db::Connection conn(paths::LoadConnection());
    // One letter run at a time, whoever started it: two would give a credit two letters.
    esecuzioni::Blocco blocco(conn);
    esecuzioni::Titolare titolare;
    if (!blocco.prendi(&titolare)) {
        io.err(esecuzioni::messaggioOccupato(titolare));
        return 3;
    }
    // Only what the frame would list can be chosen: the rest is named and left alone.
    // One day for the whole command, even when it runs past midnight.
    const QDate oggi = sz::oggi();
    const db::Result dovuti = listaDovuti(conn, perCliente, QString(), oggi);
    QHash<qint64, QString> clienti, documenti;
    const int colId = dovuti.columnIndex(QStringLiteral("ID"));
    const int colCliente = dovuti.columnIndex(QStringLiteral("Cliente"));
    const int colNumero = dovuti.columnIndex(QStringLiteral("NumeroFattura"));
    for (const auto& row : dovuti.rows) {
        clienti.insert(row[colId].toLongLong(), row[colCliente].toString());
        documenti.insert(row[colId].toLongLong(), row[colNumero].toString());
    }
    QList<qint64> inLista;
    bool fuoriLista = false;
    for (qint64 id : richiesti) {
        if (clienti.contains(id)) {
            inLista.append(id);
        } else {
            io.err(QStringLiteral("Il credito con ID %1 non è tra i solleciti da effettuare oggi.").arg(id));
            fuoriLista = true;
        }
    }
    // A letter whose template says nothing would reach the client as a blank page with
    // a figure: none is made, each credit is named instead.
    QSet<qint64> senzaParole;
    for (const ModelloVuoto& m : modelliVuoti(conn, inLista, perCliente))
        for (qint64 id : m.ids) {
            senzaParole.insert(id);
            io.err(rigaModelloVuoto(documenti.value(id), id, m.tipologia));
        }
    QList<Selezionato> scelti;
    for (qint64 id : inLista)
        if (!senzaParole.contains(id))
            scelti.append({id, clienti.value(id)});

    GListaErrori.clear();
    Lettere lettere(conn, oggi, paths::dataRoot(), paths::programFolder());
    if (invia) {
        // A setting that cannot be used is every letter's reason, as in the frame.
        try {
            lettere.setSpedizione(spedizioneSmtp(mail::storedServer(conn), regolePosta(conn)));
        } catch (const Error& e) {
            lettere.setSpedizione([motivo = e.message()](const Invio&) { return motivo; });
        }
    }
    const Avanzamento rinnova = [&](int, int) {
        blocco.rinnova();
        return true;
    };
    EsitoRun esito;
    if (perCliente) {
        esito = lettere.perCliente(raggruppaPerCliente(scelti), invia, rinnova);
    } else {
        QList<qint64> ids;
        for (const Selezionato& s : scelti)
            ids << s.id;
        esito = lettere.perDocumento(ids, invia, rinnova);
    }
    for (const QString& pdf : esito.pdf)
        io.out(pdf + QLatin1Char('\n'));
    for (const QString& riga : GListaErrori)
        io.err(riga);
    GListaErrori.clear();
    if (!esito.guasto.isEmpty()) {
        io.err(commonErrorMessage(esito.guasto));
        return 2;
    }
    return esito.conErrori() || fuoriLista || !senzaParole.isEmpty() ? 1 : 0;
}

// ---- the daily run -------------------------------------------------------------------

// A stop the system asks for (the service stopped, the computer shutting down, Ctrl+C)
// ends the run between two letters, never inside one, and the run's record says so.
volatile std::sig_atomic_t fermata = 0;
// The same stop for the reading of the certified mailbox, which looks at an atomic flag.
std::atomic_bool fermataCasella{false};
static_assert(std::atomic_bool::is_always_lock_free, "set from a signal handler");

void fermaGiro(int)
{
    fermata = 1;
    fermataCasella = true;
}

class SegnaliDiFermata
{
public:
    SegnaliDiFermata()
    {
        fermata = 0;
        fermataCasella = false;
        struct sigaction a = {};
        a.sa_handler = fermaGiro;
        sigemptyset(&a.sa_mask);
        a.sa_flags = SA_RESTART;
        for (int i = 0; i < 3; ++i)
            sigaction(segnali[i], &a, &m_prima[i]);
    }
    ~SegnaliDiFermata()
    {
        for (int i = 0; i < 3; ++i)
            sigaction(segnali[i], &m_prima[i], nullptr);
    }
    SegnaliDiFermata(const SegnaliDiFermata&) = delete;
    SegnaliDiFermata& operator=(const SegnaliDiFermata&) = delete;

private:
    static constexpr int segnali[3] = {SIGTERM, SIGINT, SIGHUP};
    struct sigaction m_prima[3];
};

// How long the timer's run waits for a run in progress, and how often it looks: 30
// seconds, up to an hour. SZ_ATTESA_BLOCCO ("intervalloMs,massimoMs") shortens it in tests.
struct AttesaBlocco
{
    qint64 intervalloMs = 30 * 1000;
    qint64 massimoMs = 60 * 60 * 1000;
};
AttesaBlocco attesaBlocco()
{
    AttesaBlocco a;
    const QStringList v = qEnvironmentVariable("SZ_ATTESA_BLOCCO").split(QLatin1Char(','));
    bool ok1 = false, ok2 = false;
    if (v.size() == 2) {
        const qint64 i = v[0].toLongLong(&ok1), m = v[1].toLongLong(&ok2);
        if (ok1 && ok2 && i > 0 && m >= 0) {
            a.intervalloMs = i;
            a.massimoMs = m;
        }
    }
    return a;
}

// Why the timer's run made PDFs only from a certified mailbox.
QString messaggioSoloPdfPec(const QString& smtp)
{
    const QString fornitore = pianificazione::fornitoreSenzaInvioAutomatico(smtp);
    return QStringLiteral("ATTENZIONE: l'invio automatico ha creato le lettere solo in PDF, nell'archivio, senza "
                          "inviarle, perché la casella di posta è certificata (PEC)%1 e nelle impostazioni non è "
                          "indicato che il contratto del gestore consente l'invio automatico. Per inviarle dalla "
                          "casella PEC usare «Invia» in Crediti - Solleciti prima dell'ora dell'invio automatico; se "
                          "il contratto lo consente, spuntarlo in Impostazioni - Email e Connessione.")
        .arg(fornitore.isEmpty() ? QString()
                                 : QStringLiteral(" di %1, il cui contratto vieta l'invio da parte di programmi senza "
                                                  "intervento diretto dell'utilizzatore,")
                                       .arg(fornitore));
}

// The firm's settings of the unattended run (the first row of the mail settings).
struct InvioAutomatico
{
    bool attivo = false;
    bool perCliente = false;
    bool mail = false;
};

InvioAutomatico leggiInvioAutomatico(db::Connection& conn)
{
    InvioAutomatico i;
    const db::Result r = conn.query(QStringLiteral("SELECT InvioAutomaticoAttivo, InvioAutomaticoPerCliente, "
                                                   "InvioMailAutomatico FROM t_ISP ORDER BY ID"));
    if (r.isEmpty())
        return i;
    i.attivo = r.rows[0][0].toBool();
    i.perCliente = r.rows[0][1].toBool();
    i.mail = r.rows[0][2].toBool();
    return i;
}

QString quante(int n, const char* una, const char* molte)
{
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(n == 1 ? una : molte);
}

// "12 lettere create, 11 inviate, 1 errore": what a run did, as the notification and the
// totals line say it.
QString riepilogo(int create, int inviate, int nonInviate, int errori, bool mail, bool conNonInviate)
{
    QStringList parti{quante(create, "lettera creata", "lettere create")};
    if (mail)
        parti << quante(inviate, "inviata", "inviate");
    if (mail && conNonInviate)
        parti << quante(nonInviate, "non inviata", "non inviate");
    parti << quante(errori, "errore", "errori");
    return parti.join(QStringLiteral(", "));
}

// What a run will do: today's list less the credits that already got a letter today and
// those whose template has nothing to say.
struct Piano
{
    bool perCliente = false;
    db::Result lista;
    QList<qint64> ids;           // per document, in list order
    QList<GruppoCliente> gruppi; // per client
    QStringList errori;          // a credit left out for an empty template, one line each
};

Piano pianifica(db::Connection& conn, bool perCliente, const QDate& oggi)
{
    Piano p;
    p.perCliente = perCliente;
    p.lista = listaDovuti(conn, perCliente, QString(), oggi);
    // Any letter of today counts, from any workstation, the window's included: a second
    // run, or one after a crash, does only what is left.
    const QSet<qint64> fatti = invii::creditiConLettera(conn, oggi);
    // A bad debt fills no stage column, so it is listed again every day: unattended, it
    // would be mailed every working day. The run makes it once; with days between letters
    // set for its payment mode, the list's spacing already decides when it comes again.
    QSet<qint64> sofferenzaFatta;
    for (const auto& r : conn.query(QStringLiteral(
                                        "SELECT DISTINCT i.IDCredito FROM t_invii i JOIN t_crediti c ON c.ID = "
                                        "i.IDCredito WHERE i.Fase = 'IN SOFFERENZA' AND NOT EXISTS (SELECT 1 FROM "
                                        "t_parametri p WHERE p.Modalita = c.ModalitaPagamento AND "
                                        "COALESCE(p.GiorniTraSolleciti, 0) > 0)"))
                             .rows)
        sofferenzaFatta.insert(r[0].toLongLong());
    const int colId = p.lista.columnIndex(QStringLiteral("ID"));
    const int colCliente = p.lista.columnIndex(QStringLiteral("Cliente"));
    const int colNumero = p.lista.columnIndex(QStringLiteral("NumeroFattura"));
    QList<Selezionato> scelti;
    QHash<qint64, QString> documenti;
    QList<qint64> ids;
    for (int riga = 0; riga < p.lista.rows.size(); ++riga) {
        const auto& row = p.lista.rows[riga];
        const qint64 id = row[colId].toLongLong();
        if (fatti.contains(id))
            continue;
        if (sofferenzaFatta.contains(id) && faseRiga(p.lista, riga) == Fase::InSofferenza)
            continue;
        scelti.append({id, row[colCliente].toString()});
        documenti.insert(id, row[colNumero].toString());
        ids << id;
    }
    QSet<qint64> senzaParole;
    for (const ModelloVuoto& m : modelliVuoti(conn, ids, perCliente))
        for (qint64 id : m.ids) {
            senzaParole.insert(id);
            p.errori << rigaModelloVuoto(documenti.value(id), id, m.tipologia);
        }
    scelti.removeIf([&](const Selezionato& s) { return senzaParole.contains(s.id); });
    if (perCliente) {
        p.gruppi = raggruppaPerCliente(scelti);
    } else {
        for (const Selezionato& s : scelti)
            p.ids << s.id;
    }
    return p;
}

QString rigaLettera(const QString& pdf, const QString& cliente, const QString& fase, const QString& esito)
{
    return pdf + QLatin1Char('\t') + invii::unaRiga(cliente) + QLatin1Char('\t') + fase + QLatin1Char('\t') +
           invii::unaRiga(esito) + QLatin1Char('\n');
}

// --dry-run: the letters the run would make, where, and nothing written anywhere.
int provaGiro(const Piano& p, bool mail, const QDate& oggi, const Output& io)
{
    const QString radice = paths::dataRoot();
    const QString esito = mail ? QStringLiteral("DA INVIARE") : QStringLiteral("DA CREARE");
    QHash<qint64, int> righe;
    const int colId = p.lista.columnIndex(QStringLiteral("ID"));
    for (int r = 0; r < p.lista.rows.size(); ++r)
        righe.insert(p.lista.rows[r][colId].toLongLong(), r);
    QString testo;
    int n = 0;
    if (!p.perCliente) {
        for (qint64 id : p.ids) {
            const int r = righe.value(id);
            const Fase fase = faseRiga(p.lista, r);
            const QString pdf =
                cartellaPerDocumento(radice, fase, oggi) +
                nomeFilePerDocumento(oggi, fase, testoValore(p.lista.value(r, QStringLiteral("NumeroFattura"))),
                                     p.lista.value(r, QStringLiteral("Scadenza")).toDate());
            testo += rigaLettera(pdf, p.lista.value(r, QStringLiteral("Cliente")).toString(), parolaChiave(fase), esito);
            ++n;
        }
    } else {
        for (const GruppoCliente& g : p.gruppi) {
            QList<Fase> fasi;
            for (qint64 id : g.ids)
                if (!fasi.contains(faseRiga(p.lista, righe.value(id))))
                    fasi << faseRiga(p.lista, righe.value(id));
            std::sort(fasi.begin(), fasi.end());
            QStringList parole;
            for (Fase f : fasi)
                parole << parolaChiave(f);
            testo += rigaLettera(cartellaPerCliente(radice, oggi) + nomeFilePerCliente(oggi, g.cliente), g.cliente,
                                 parole.join(QLatin1Char(',')), esito);
            ++n;
        }
    }
    io.out(testo);
    for (const QString& e : p.errori)
        io.err(e);
    io.out(QStringLiteral("Prova: ") + quante(n, "lettera", "lettere") +
           (mail ? QStringLiteral(" da creare e inviare") : QStringLiteral(" da creare")) +
           QStringLiteral("; nulla è stato modificato.\n"));
    return p.errori.isEmpty() ? 0 : 1;
}

// The receipts of the certified mailbox read before the day's letters are made, so that
// the letters' states are current when the clerk looks. Only for a mailbox ticked as
// certified with its incoming server set; what goes wrong is one line of the run's errors
// and the run goes on.
void leggiRicevuteDelGiro(db::Connection& conn, const std::function<void(const QString&)>& errore,
                          const std::function<void()>& vivo)
{
    const db::Result isp = conn.query(QStringLiteral("SELECT * FROM t_ISP ORDER BY ID"));
    if (isp.isEmpty() || isp.columnIndex(QStringLiteral("PEC")) < 0 || isp.columnIndex(QStringLiteral("IMAP")) < 0)
        return;
    if (!isp.value(0, QStringLiteral("PEC")).toBool() || isp.value(0, QStringLiteral("IMAP")).toString().trimmed().isEmpty())
        return;
    const auto nonLette = [&](const QString& perche) {
        QString motivo = invii::unaRiga(perche);
        if (motivo.startsWith(QLatin1String("ATTENZIONE: ")))
            motivo = motivo.mid(12);
        errore(QStringLiteral("Ricevute PEC non lette: ") + motivo);
    };
    try {
        pec::CasellaImap casella = pec::casellaMemorizzata(conn);
        casella.annulla = &fermataCasella;
        // A receipt that cannot be read is not read again: the clerk learns of it here, as
        // of one whose signature no longer matches its content.
        const pec::LetturaCasella l =
            pec::leggiCasella(conn, paths::dataRoot(), casella, 500, [&](const pec::MessaggioLetto& m) {
                vivo(); // a long reading keeps the run's lock its own
                const QString fonte = QStringLiteral("ATTENZIONE: ricevuta PEC (IMAP UID %1): ").arg(m.uid);
                if (!m.errore.isEmpty())
                    errore(fonte + invii::unaRiga(m.errore));
                else if (m.archiviazione.firma == pec::Firma::Alterata &&
                         (m.archiviazione.esito == pec::Archiviazione::Esito::Registrata ||
                          m.archiviazione.esito == pec::Archiviazione::Esito::GiaRegistrata))
                    errore(fonte + QStringLiteral("la firma del gestore non corrisponde al contenuto della ricevuta, "
                                                  "che potrebbe essere stata alterata; il file è conservato com'è "
                                                  "arrivato."));
            });
        if (!l.errore.isEmpty())
            nonLette(l.errore);
    } catch (const Error& e) {
        nonLette(e.message());
    }
}

int giro(const QStringList& args, const Output& io)
{
    int perCliente = -1, invia = -1;
    bool prova = false, timer = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--per-client") && perCliente != 0)
            perCliente = 1;
        else if (a == QLatin1String("--per-document") && perCliente != 1)
            perCliente = 0;
        else if (a == QLatin1String("--send") && invia != 0)
            invia = 1;
        else if (a == QLatin1String("--pdf-only") && invia != 1)
            invia = 0;
        else if (a == QLatin1String("--dry-run"))
            prova = true;
        else if (a == QLatin1String("--timer"))
            timer = true;
        else {
            io.err(usoDunning);
            return 2;
        }
    }
    db::Connection conn(paths::LoadConnection());
    const InvioAutomatico impostato = leggiInvioAutomatico(conn);
    if (timer && !impostato.attivo) {
        io.out(QStringLiteral("Invio automatico non attivo.\n"));
        return 0;
    }
    const bool perC = perCliente < 0 ? impostato.perCliente : perCliente == 1;
    bool mail = invia < 0 ? impostato.mail : invia == 1;
    // A certified mailbox sends only when someone started the run, unless the user has
    // said the provider's contract allows a program to send alone: the timer's run then
    // makes the letters as PDF only, and says so once.
    QString soloPdfPec;
    if (timer && mail) {
        const pianificazione::ImpostazioniPec pec = pianificazione::leggiImpostazioniPec(conn);
        if (pec.pec && !pec.invioAutomatico) {
            mail = false;
            soloPdfPec = messaggioSoloPdfPec(pec.smtp);
        }
    }
    // One day for the whole run, even when it goes on past midnight.
    const QDate oggi = sz::oggi();
    if (prova) {
        if (!soloPdfPec.isEmpty())
            io.err(soloPdfPec);
        return provaGiro(pianifica(conn, perC, oggi), mail, oggi, io);
    }

    esecuzioni::Blocco blocco(conn);
    esecuzioni::Titolare titolare;
    bool preso = blocco.prendi(&titolare);
    if (!preso && timer) {
        // A clerk's run at the scheduled hour must not cost the day its run: the timer's
        // run waits for it, and stops waiting when the system stops it.
        const AttesaBlocco attesa = attesaBlocco();
        SegnaliDiFermata segnali;
        QElapsedTimer atteso;
        atteso.start();
        while (!preso && !fermata && atteso.elapsed() < attesa.massimoMs) {
            for (qint64 fine = atteso.elapsed() + attesa.intervalloMs; atteso.elapsed() < fine && !fermata;)
                QThread::msleep(100);
            if (!fermata)
                preso = blocco.prendi(&titolare);
        }
    }
    if (!preso) {
        io.err(esecuzioni::messaggioOccupato(titolare));
        // Nobody reads the output of the timer's run: the user learns that today's letters
        // were left to the run in progress.
        if (timer)
            notifica(QStringLiteral("Solleciti: invio automatico non eseguito"), esecuzioni::messaggioOccupato(titolare),
                     true);
        return 3;
    }
    const qint64 id = esecuzioni::apri(conn, timer ? esecuzioni::AvvioTimer : esecuzioni::AvvioComando,
                                       perC ? QStringLiteral("CLIENTE") : QStringLiteral("DOCUMENTO"),
                                       mail ? QStringLiteral("MAIL") : QStringLiteral("PDF"));
    int create = 0, inviate = 0, nonInviate = 0;
    QStringList errori;
    const auto errore = [&](const QString& riga) {
        io.err(riga);
        errori << invii::unaRiga(riga);
    };
    int uscita = 0;
    QString esitoFinale;
    try {
        SegnaliDiFermata segnali;
        if (!soloPdfPec.isEmpty())
            errore(soloPdfPec);
        leggiRicevuteDelGiro(conn, errore, [&] { blocco.rinnova(); });
        // The list is read only now, under the lock: a run that ended a moment ago has
        // already logged its letters.
        const Piano piano = pianifica(conn, perC, oggi);
        for (const QString& e : piano.errori)
            errore(e);
        GListaErrori.clear();
        Lettere lettere(conn, oggi, paths::dataRoot(), paths::programFolder());
        if (mail) {
            try {
                // A wait for the certified mailbox's pace ends at a stop too.
                RegolePosta regole = regolePosta(conn);
                regole.fermato = [] { return fermata != 0; };
                lettere.setSpedizione(spedizioneSmtp(sz::mail::storedServer(conn), regole));
            } catch (const Error& e) {
                lettere.setSpedizione([motivo = e.message()](const Invio&) { return motivo; });
            }
        }
        qsizetype mostrate = 0;
        const auto nuoveRighe = [&] {
            while (mostrate < GListaErrori.size())
                errore(GListaErrori.at(mostrate++));
        };
        lettere.setDopoLettera([&](const LetteraFatta& l) {
            ++create;
            if (l.esito == invii::Inviata)
                ++inviate;
            else if (l.esito.startsWith(invii::nonInviata(QString()).trimmed()))
                ++nonInviate;
            nuoveRighe();
            // The figures so far, before the line: a run stopped halfway still says what it
            // did, and never less than it printed.
            try {
                esecuzioni::avanza(conn, id, create, inviate, nonInviate, errori);
            } catch (const Error&) {
            }
            io.out(rigaLettera(l.pdf, l.cliente, l.fase, l.esito));
        });
        const Avanzamento avanti = [&](int, int) {
            blocco.rinnova();
            return fermata == 0;
        };
        const EsitoRun esito = perC ? lettere.perCliente(piano.gruppi, mail, avanti)
                                    : lettere.perDocumento(piano.ids, mail, avanti);
        nuoveRighe();
        GListaErrori.clear();
        if (!esito.guasto.isEmpty()) {
            errore(commonErrorMessage(esito.guasto));
            uscita = 2;
        } else if (esito.interrotto) {
            errore(QStringLiteral("ATTENZIONE: invio interrotto prima della fine: le lettere mancanti saranno create "
                                  "alla prossima esecuzione."));
            esitoFinale = QStringLiteral("INTERROTTA");
            uscita = 1;
        } else {
            uscita = errori.isEmpty() ? 0 : 1;
        }
    } catch (const Error& e) {
        errore(e.message());
        uscita = 2;
    } catch (const std::exception& e) {
        errore(QString::fromLocal8Bit(e.what()));
        uscita = 2;
    }
    GListaErrori.clear();
    try {
        esecuzioni::chiudi(conn, id, create, inviate, nonInviate, errori, esitoFinale);
    } catch (const Error& e) {
        io.err(e.message());
        uscita = 2;
    }
    blocco.rilascia();
    io.out(QStringLiteral("Totale: ") + riepilogo(create, inviate, nonInviate, int(errori.size()), mail, true) +
           QStringLiteral(".\n"));
    if (timer) {
        QString dettagli = errori.mid(0, 3).join(QLatin1Char('\n'));
        if (errori.size() > 3)
            dettagli += QStringLiteral("\n…");
        if (!errori.isEmpty())
            dettagli += QStringLiteral("\nTutte le righe: scadenzio-cli dunning runs --last 1");
        notifica(QStringLiteral("Solleciti: ") + riepilogo(create, inviate, nonInviate, int(errori.size()), mail, false),
                 dettagli, !errori.isEmpty());
    }
    return uscita;
}

// "dunning runs": the record of the runs, newest first; each run's error lines beneath it,
// each beginning with a tab.
int esecuzioniFatte(const QStringList& args, const Output& io)
{
    int quante = 0;
    for (int i = 0; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == QLatin1String("--last") && i + 1 < args.size() && quante == 0) {
            quante = args[++i].toInt(&ok);
            if (ok && quante > 0)
                continue;
        }
        io.err(usoDunning);
        return 2;
    }
    db::Connection conn(paths::LoadConnection());
    const auto ora = [](const QDateTime& t) {
        return t.isValid() ? t.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QString();
    };
    QString testo = QStringLiteral("ID\tInizio\tFine\tPostazione\tAvvio\tModo\tCanale\tCreate\tInviate\tNonInviate\t"
                                   "Esito\n");
    for (const esecuzioni::Esecuzione& e : esecuzioni::ultime(conn, quante)) {
        const QStringList campi{QString::number(e.id), ora(e.inizio), ora(e.fine), e.postazione, e.avvio, e.modo,
                                e.canale, QString::number(e.create), QString::number(e.inviate),
                                QString::number(e.nonInviate), e.esito};
        QStringList puliti;
        for (const QString& c : campi)
            puliti << invii::unaRiga(c);
        testo += puliti.join(QLatin1Char('\t')) + QLatin1Char('\n');
        for (const QString& r : e.errori)
            testo += QLatin1Char('\t') + invii::unaRiga(r) + QLatin1Char('\n');
    }
    io.out(testo);
    return 0;
}

// ---- suspensions ---------------------------------------------------------------------

struct Bersaglio
{
    QString cliente; // as the register spells it
    qint64 credito = 0;
    QString descrizione; // "il Cliente ROSSI SRL", "il credito 12 (Documento N°7/B, ROSSI SRL)"
};

// Exactly one of --client NAME and --credit ID, found in the register; empty descrizione
// after an error line.
Bersaglio trovaBersaglio(db::Connection& conn, const QString& cliente, const QString& credito, const Output& io)
{
    Bersaglio b;
    if (cliente.isNull() == credito.isNull()) {
        io.err(QStringLiteral("ATTENZIONE: indicare un Cliente (--client) oppure un credito (--credit), uno solo."));
        return b;
    }
    if (!cliente.isNull()) {
        const auto r = conn.query(QStringLiteral("SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale = :C "
                                                 "ORDER BY ID"),
                                  {{QStringLiteral("C"), cliente.trimmed()}});
        if (cliente.trimmed().isEmpty() || r.isEmpty()) {
            io.err(QStringLiteral("ATTENZIONE: il Cliente \"%1\" non risulta in anagrafica.").arg(invii::unaRiga(cliente)));
            return b;
        }
        b.cliente = r.rows[0][0].toString();
        b.descrizione = QStringLiteral("il Cliente ") + invii::unaRiga(b.cliente);
        return b;
    }
    bool ok = false;
    const qint64 id = credito.trimmed().toLongLong(&ok);
    if (!ok || id <= 0) {
        io.err(QStringLiteral("ATTENZIONE: \"%1\" non è un ID di credito.").arg(invii::unaRiga(credito)));
        return b;
    }
    const auto r = conn.query(QStringLiteral("SELECT NumeroFattura, Cliente FROM t_crediti WHERE ID = :ID"),
                              {{QStringLiteral("ID"), id}});
    if (r.isEmpty()) {
        io.err(QStringLiteral("ATTENZIONE: il credito con ID %1 non è presente in archivio.").arg(id));
        return b;
    }
    b.credito = id;
    b.descrizione = QStringLiteral("il credito %1 (Documento N°%2, %3)")
                        .arg(id)
                        .arg(invii::unaRiga(r.rows[0][0].toString()), invii::unaRiga(r.rows[0][1].toString()));
    return b;
}

int sospendi(const QStringList& args, const Output& io, bool sospendere)
{
    QString cliente, credito, fino, motivo;
    bool conFino = false, conMotivo = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool conValore = i + 1 < args.size();
        if (a == QLatin1String("--client") && conValore && cliente.isNull())
            cliente = args[++i];
        else if (a == QLatin1String("--credit") && conValore && credito.isNull())
            credito = args[++i];
        else if (sospendere && a == QLatin1String("--fino") && conValore && !conFino) {
            fino = args[++i];
            conFino = true;
        } else if (sospendere && a == QLatin1String("--motivo") && conValore && !conMotivo) {
            motivo = args[++i];
            conMotivo = true;
        } else {
            io.err(usoDunning);
            return 2;
        }
    }
    QDate finoAl;
    if (sospendere) {
        if (conFino) {
            finoAl = dates::fromDisplay(fino.trimmed());
            if (!finoAl.isValid()) {
                io.err(QStringLiteral("ATTENZIONE: la data \"%1\" di --fino non è una data valida (gg/mm/aaaa).")
                           .arg(invii::unaRiga(fino)));
                return 2;
            }
            if (finoAl < sz::oggi()) {
                io.err(QStringLiteral("ATTENZIONE: la data di --fino (%1) è già passata: la sospensione non avrebbe "
                                      "effetto.")
                           .arg(dates::toDisplay(finoAl)));
                return 2;
            }
        }
        motivo = motivo.trimmed();
        if (motivo.isEmpty()) {
            io.err(QStringLiteral("ATTENZIONE: indicare il motivo della sospensione (--motivo)."));
            return 2;
        }
        if (motivo.size() > 255) {
            io.err(QStringLiteral("ATTENZIONE: il motivo della sospensione supera i 255 caratteri (%1).")
                       .arg(motivo.size()));
            return 2;
        }
        if (invii::unaRiga(motivo) != motivo) {
            io.err(QStringLiteral("ATTENZIONE: il motivo della sospensione deve stare su una riga, senza caratteri di "
                                  "controllo."));
            return 2;
        }
    }
    db::Connection conn(paths::LoadConnection());
    const Bersaglio b = trovaBersaglio(conn, cliente, credito, io);
    if (b.descrizione.isEmpty())
        return 2;
    const QString tabella = b.credito ? QStringLiteral("t_crediti") : QStringLiteral("t_clienti");
    const QString dove = b.credito ? QStringLiteral("ID = :K") : QStringLiteral("RagioneSociale = :K");
    const QVariant chiave = b.credito ? QVariant(b.credito) : QVariant(b.cliente);
    if (!sospendere) {
        conn.exec(QStringLiteral("UPDATE ") + tabella +
                      QStringLiteral(" SET SospendiSolleciti = 0, SospesoFino = NULL, MotivoSospensione = NULL WHERE ") +
                      dove,
                  {{QStringLiteral("K"), chiave}});
        io.out(QStringLiteral("Solleciti ripresi per ") + b.descrizione + QStringLiteral(".\n"));
        return 0;
    }
    conn.exec(QStringLiteral("UPDATE ") + tabella +
                  QStringLiteral(" SET SospendiSolleciti = 1, SospesoFino = :F, MotivoSospensione = :M WHERE ") + dove,
              {{QStringLiteral("F"), finoAl.isValid() ? QVariant(finoAl) : QVariant()},
               {QStringLiteral("M"), motivo},
               {QStringLiteral("K"), chiave}});
    io.out(QStringLiteral("Solleciti sospesi per ") + b.descrizione +
           (finoAl.isValid() ? QStringLiteral(" fino al ") + dates::toDisplay(finoAl) : QString()) +
           QStringLiteral(": ") + motivo + QLatin1Char('\n'));
    return 0;
}

} // namespace

int runDunning(const QStringList& args, const Output& io)
{
    try {
        if (!args.isEmpty() && args.first() == QLatin1String("list"))
            return elenca(args.mid(1), io);
        if (!args.isEmpty() && args.first() == QLatin1String("pdf"))
            return creaPdf(args.mid(1), io, false);
        if (!args.isEmpty() && args.first() == QLatin1String("send"))
            return creaPdf(args.mid(1), io, true);
        if (!args.isEmpty() && args.first() == QLatin1String("run")) {
            try {
                return giro(args.mid(1), io);
            } catch (const Error& e) {
                // Before its record exists (the database not reachable at login, a file
                // not yet upgraded) the timer's run has no one to tell but the desktop.
                if (args.contains(QLatin1String("--timer")))
                    notifica(QStringLiteral("Solleciti: invio automatico non eseguito"), e.message(), true);
                throw;
            }
        }
        if (!args.isEmpty() && args.first() == QLatin1String("runs"))
            return esecuzioniFatte(args.mid(1), io);
        if (!args.isEmpty() && args.first() == QLatin1String("suspend"))
            return sospendi(args.mid(1), io, true);
        if (!args.isEmpty() && args.first() == QLatin1String("resume"))
            return sospendi(args.mid(1), io, false);
        io.err(usoDunning);
        return 2;
    } catch (const Error& e) {
        io.err(e.message());
        return 2;
    }
}

} // namespace sz::cli
