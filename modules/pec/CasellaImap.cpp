#include "CasellaImap.h"

#include "Ricevuta.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Ini.h"
#include "scadenzio/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <map>

namespace sz::pec {

namespace {

using Clock = std::chrono::steady_clock;

// IMAP's UIDs and UIDVALIDITY are 32-bit numbers above zero.
constexpr qint64 uidMassimo = 4294967295LL;
// The untagged replies of one listing: some 60 bytes a message.
constexpr qsizetype limiteRisposta = 16 * 1024 * 1024;

enum class Stop { Nessuno, Fermo, Annullato, Troppo };

struct Sessione
{
    CURL* curl = curl_easy_init();
    const CasellaImap* casella = nullptr;
    QByteArray caBundle;
    char errore[CURL_ERROR_SIZE] = {};
    QByteArray rifiuto; // the server's last NO/BAD/BYE line
    QByteArray dati;
    qsizetype limite = limiteRisposta;
    Clock::time_point attivita = Clock::now();
    curl_off_t ricevuti = 0;
    Stop stop = Stop::Nessuno;
    bool ignoraAnnulla = false; // the \Seen flag put back even after a stop
    ~Sessione() { curl_easy_cleanup(curl); }
};

size_t scrivi(char* p, size_t size, size_t n, void* user)
{
    auto* s = static_cast<Sessione*>(user);
    const size_t quanti = size * n;
    if (s->dati.size() + qsizetype(quanti) > s->limite) {
        s->stop = Stop::Troppo;
        return 0;
    }
    s->dati.append(p, qsizetype(quanti));
    return quanti;
}

// Only what the server says is kept, never what is said to it: that holds the password.
int ascolta(CURL*, curl_infotype tipo, char* data, size_t size, void* user)
{
    auto* s = static_cast<Sessione*>(user);
    s->attivita = Clock::now();
    if (tipo != CURLINFO_HEADER_IN)
        return 0;
    for (const QByteArray& grezza : QByteArray(data, qsizetype(std::min<size_t>(size, 4096))).split('\n')) {
        const QByteArray riga = grezza.trimmed();
        const QList<QByteArray> parole = riga.split(' ');
        if (parole.size() >= 2 &&
            (parole[1] == "NO" || parole[1] == "BAD" || (parole[0] == "*" && parole[1] == "BYE")))
            s->rifiuto = riga.left(300);
    }
    return 0;
}

int avanza(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
    auto* s = static_cast<Sessione*>(user);
    const Clock::time_point ora = Clock::now();
    if (dlnow + ulnow != s->ricevuti) {
        s->ricevuti = dlnow + ulnow;
        s->attivita = ora;
    }
    if (!s->ignoraAnnulla && s->casella->annulla && s->casella->annulla->load()) {
        s->stop = Stop::Annullato;
        return 1;
    }
    if (ora - s->attivita > std::chrono::seconds(s->casella->stallTimeoutSeconds)) {
        s->stop = Stop::Fermo;
        return 1;
    }
    return 0;
}

QByteArray leggiFile(const QString& path, const QString& cosa)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("impossibile leggere %1 \"%2\": %3").arg(cosa, path, f.errorString()));
    return f.readAll();
}

bool hostValido(const QString& h)
{
    static const QRegularExpression re(QStringLiteral("^([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:.]+\\])$"));
    return h.size() <= 253 && re.match(h).hasMatch();
}

// A failed step as the clerk reads it: what went wrong, the setting that mends it where
// there is one, and the server's own words.
QString motivo(const Sessione& s, CURLcode rc)
{
    const CasellaImap& c = *s.casella;
    const QString server = QStringLiteral("%1:%2").arg(c.host).arg(c.porta);
    const QString curl = s.errore[0] ? QString::fromUtf8(s.errore) : QString::fromUtf8(curl_easy_strerror(rc));
    QString testo;
    switch (rc) {
    case CURLE_LOGIN_DENIED:
        testo = QStringLiteral("il server della posta in arrivo (IMAP) %1 non ha accettato l'utente e la password della "
                               "casella PEC: verificarli nelle impostazioni del server di posta (con alcuni gestori, "
                               "se è attiva la verifica in due passaggi, serve una password per le applicazioni)")
                    .arg(server);
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
        testo = QStringLiteral("il server della posta in arrivo (IMAP) \"%1\" non è stato trovato: verificarne il nome")
                    .arg(c.host);
        break;
    case CURLE_COULDNT_CONNECT:
        testo = QStringLiteral("impossibile collegarsi al server della posta in arrivo (IMAP) %1: verificare il nome, "
                               "la porta e la connessione a Internet")
                    .arg(server);
        break;
    case CURLE_OPERATION_TIMEDOUT:
        testo = QStringLiteral("il server della posta in arrivo (IMAP) %1 non risponde").arg(server);
        break;
    case CURLE_SSL_CACERT_BADFILE:
        testo = QStringLiteral("il file dei certificati indicato in Config.ini, sezione [Mail], voce CAFile, non è un "
                               "file PEM valido");
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
        if (curl.contains(QLatin1String("does not match"), Qt::CaseInsensitive) ||
            curl.contains(QLatin1String("subject name"), Qt::CaseInsensitive))
            testo = QStringLiteral("il certificato del server %1 non è intestato a quel nome: il collegamento è stato "
                                   "rifiutato (verificare il nome del server della posta in arrivo)")
                        .arg(server);
        else
            testo = QStringLiteral("il certificato del server %1 non è firmato da un'autorità conosciuta: il "
                                   "collegamento è stato rifiutato (se il server usa un'autorità di certificazione "
                                   "privata, indicarne il file PEM in Config.ini, sezione [Mail], voce CAFile)")
                        .arg(server);
        break;
    case CURLE_REMOTE_FILE_NOT_FOUND:
        if (curl.contains(QLatin1String("UIDVALIDITY"), Qt::CaseInsensitive)) {
            testo = QStringLiteral("il gestore ha riorganizzato la casella PEC durante la lettura: ripetere la verifica "
                                   "delle ricevute");
            break;
        }
        [[fallthrough]];
    default:
        testo = QStringLiteral("errore di comunicazione con il server della posta in arrivo (IMAP) %1: %2")
                    .arg(server, curl);
    }
    if (s.stop == Stop::Fermo)
        testo = QStringLiteral("il server della posta in arrivo (IMAP) %1 non risponde da %2 secondi")
                    .arg(server)
                    .arg(c.stallTimeoutSeconds);
    const QString rifiuto = QString::fromUtf8(s.rifiuto).trimmed();
    if (!rifiuto.isEmpty() && rc != CURLE_PEER_FAILED_VERIFICATION)
        testo += QStringLiteral(" (risposta del server: %1)").arg(rifiuto);
    return QStringLiteral("lettura della casella PEC non riuscita: ") + testo;
}

struct Fallimento
{
    QString testo;
    bool annullata = false;
};

class Collegamento
{
public:
    explicit Collegamento(const CasellaImap& c) : m_c(c)
    {
        static const bool pronta = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        if (!pronta || !m_s.curl)
            throw Error(QStringLiteral("lettura della casella PEC non riuscita: la libreria di posta non è disponibile"));
        m_s.casella = &c;
        m_base = "imaps://" + c.host.toLower().toUtf8() + ':' + QByteArray::number(c.porta) + '/';
        CURL* h = m_s.curl;
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_s.errore);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "imaps");
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, long(c.connectTimeoutSeconds));
        curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(c.stallTimeoutSeconds + 5));
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, avanza);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &m_s);
        curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, ascolta);
        curl_easy_setopt(h, CURLOPT_DEBUGDATA, &m_s);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, scrivi);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &m_s);
        // As for the outgoing server: the certificate and its name are always checked, and a
        // private authority joins the system's, it does not replace it.
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!c.caFile.trimmed().isEmpty()) {
            QByteArray sistema;
            for (const char* f : {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt"})
                if (QFileInfo::exists(QLatin1String(f))) {
                    sistema = leggiFile(QLatin1String(f), QStringLiteral("i certificati di sistema")) + '\n';
                    break;
                }
            m_s.caBundle = sistema + leggiFile(c.caFile.trimmed(), QStringLiteral("il file dei certificati (CAFile)"));
            curl_blob blob{m_s.caBundle.data(), size_t(m_s.caBundle.size()), CURL_BLOB_NOCOPY};
            curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
        }
        m_utente = c.utente.toUtf8();
        m_password = c.password.toUtf8();
        if (!m_utente.isEmpty() && !m_password.isEmpty()) {
            curl_easy_setopt(h, CURLOPT_USERNAME, m_utente.constData());
            curl_easy_setopt(h, CURLOPT_PASSWORD, m_password.constData());
        }
    }

    ~Collegamento()
    {
        if (m_s.stop != Stop::Nessuno) {
            // curl would say LOGOUT on the way out and wait for a server that stopped
            // answering: the line is cut instead.
            curl_socket_t sock = CURL_SOCKET_BAD;
            if (curl_easy_getinfo(m_s.curl, CURLINFO_ACTIVESOCKET, &sock) == CURLE_OK && sock != CURL_SOCKET_BAD)
                ::shutdown(sock, SHUT_RDWR);
        }
    }

    void fissaValidita(qint64 v) { m_validita = ";UIDVALIDITY=" + QByteArray::number(v); }

    // A command of ours; its untagged replies come back. Throws Fallimento.
    QByteArray comando(const QByteArray& cmd, bool conCartella = true) { return esegui(cmd, {}, conCartella); }

    // The message (or one of its sections) by UID, at most limite bytes; empty and
    // troppoGrande when it is larger.
    QByteArray messaggio(qint64 uid, const QByteArray& sezione, qsizetype limite, bool* troppoGrande)
    {
        QByteArray percorso = "/;UID=" + QByteArray::number(uid);
        if (!sezione.isEmpty())
            percorso += "/;SECTION=" + sezione.toPercentEncoding("()");
        m_s.limite = limite;
        QByteArray r;
        try {
            r = esegui({}, percorso, true);
        } catch (const Fallimento&) {
            m_s.limite = limiteRisposta;
            if (m_s.stop == Stop::Troppo && troppoGrande) {
                // The rest of the message is still on the line: this connection is done
                // with, the next command opens another.
                *troppoGrande = true;
                chiudi();
                return {};
            }
            throw;
        }
        m_s.limite = limiteRisposta;
        return r;
    }

    void ignoraAnnulla(bool si) { m_s.ignoraAnnulla = si; }

private:
    void chiudi()
    {
        curl_socket_t sock = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_s.curl, CURLINFO_ACTIVESOCKET, &sock) == CURLE_OK && sock != CURL_SOCKET_BAD)
            ::shutdown(sock, SHUT_RDWR);
        m_s.stop = Stop::Nessuno;
        curl_easy_setopt(m_s.curl, CURLOPT_FRESH_CONNECT, 1L);
        m_nuova = true;
    }

    QByteArray esegui(const QByteArray& cmd, const QByteArray& percorso, bool conCartella)
    {
        CURL* h = m_s.curl;
        QByteArray url = m_base;
        if (conCartella)
            url += QUrl::toPercentEncoding(m_c.cartella) + m_validita + percorso;
        curl_easy_setopt(h, CURLOPT_URL, url.constData());
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, cmd.isEmpty() ? nullptr : cmd.constData());
        m_s.dati.clear();
        m_s.errore[0] = 0;
        m_s.rifiuto.clear();
        m_s.stop = Stop::Nessuno;
        m_s.attivita = Clock::now();
        m_s.ricevuti = 0;
        const CURLcode rc = curl_easy_perform(h);
        if (m_nuova) {
            curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 0L);
            m_nuova = false;
        }
        if (rc == CURLE_OK)
            return m_s.dati;
        if (m_s.stop == Stop::Annullato)
            throw Fallimento{QStringLiteral("lettura della casella PEC annullata dall'utente"), true};
        if (m_s.stop == Stop::Troppo)
            throw Fallimento{QStringLiteral("lettura della casella PEC non riuscita: il server ha mandato una risposta "
                                            "troppo grande"),
                             false};
        throw Fallimento{motivo(m_s, rc), false};
    }

    const CasellaImap& m_c;
    Sessione m_s;
    QByteArray m_base, m_validita, m_utente, m_password;
    bool m_nuova = false;
};

qint64 numero(const QByteArray& t)
{
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    return ok && n >= 1 && n <= uidMassimo ? n : 0;
}

struct Voce
{
    qint64 uid = 0;
    bool letto = false;
    qint64 dimensione = -1;
};

// "* 12 FETCH (UID 40 FLAGS (\Seen \Recent) RFC822.SIZE 1234)", one a line, items in any
// order; anything else is passed over.
std::map<qint64, Voce> elenco(const QByteArray& risposta, qint64 da)
{
    std::map<qint64, Voce> voci;
    for (const QByteArray& grezza : risposta.split('\n')) {
        const QByteArray riga = grezza.trimmed();
        const qsizetype fetch = riga.indexOf(" FETCH (");
        if (!riga.startsWith("* ") || fetch < 0 || !riga.endsWith(')'))
            continue;
        const QByteArray lista = riga.mid(fetch + 8, riga.size() - fetch - 9);
        Voce v;
        qsizetype i = 0;
        while (i < lista.size()) {
            while (i < lista.size() && lista[i] == ' ') ++i;
            qsizetype j = i;
            while (j < lista.size() && lista[j] != ' ') ++j;
            const QByteArray nome = lista.mid(i, j - i).toUpper();
            i = j + 1;
            QByteArray valore;
            if (i < lista.size() && lista[i] == '(') {
                const qsizetype fine = lista.indexOf(')', i);
                if (fine < 0)
                    break;
                valore = lista.mid(i + 1, fine - i - 1);
                i = fine + 1;
            } else {
                j = i;
                while (j < lista.size() && lista[j] != ' ') ++j;
                valore = lista.mid(i, j - i);
                i = j;
            }
            if (nome == "UID") {
                v.uid = numero(valore);
            } else if (nome == "RFC822.SIZE") {
                bool ok = false;
                v.dimensione = valore.toLongLong(&ok);
                if (!ok || v.dimensione < 0)
                    v.dimensione = -1;
            } else if (nome == "FLAGS") {
                for (const QByteArray& f : valore.split(' '))
                    v.letto = v.letto || f.compare("\\Seen", Qt::CaseInsensitive) == 0;
            }
        }
        // "n:*" names the last message too when nothing came after n.
        if (v.uid >= da)
            voci[v.uid] = v;
    }
    return voci;
}

void salva(db::Connection& conn, qint64 idIsp, qint64 validita, qint64 ultimo)
{
    conn.exec(QStringLiteral("UPDATE t_ISP SET IMAPUidValidity = :V, IMAPUltimoUID = :U WHERE ID = :I"),
              {{QStringLiteral("V"), QString::number(validita)},
               {QStringLiteral("U"), QString::number(ultimo)},
               {QStringLiteral("I"), idIsp}});
}

} // namespace

CasellaImap casellaMemorizzata(db::Connection& conn)
{
    const db::Result r = conn.query(QStringLiteral("SELECT * FROM t_ISP ORDER BY ID"));
    if (r.isEmpty())
        throw Error(QStringLiteral("ATTENZIONE: le impostazioni del server di posta non sono state trovate."));
    const auto valore = [&](const char* col) {
        return r.columnIndex(QLatin1String(col)) >= 0 ? r.value(0, QLatin1String(col)) : QVariant();
    };
    CasellaImap c;
    c.host = valore("IMAP").toString().trimmed();
    if (!valore("PEC").toBool() || c.host.isEmpty())
        throw Error(QStringLiteral("ATTENZIONE: il server della posta in arrivo (IMAP) della casella PEC non è "
                                   "configurato: indicarlo nelle impostazioni del server di posta, oppure indicare i "
                                   "file .eml delle ricevute salvate."));
    if (!hostValido(c.host))
        throw Error(QStringLiteral("ATTENZIONE: il server della posta in arrivo (IMAP) \"%1\" non è un nome valido.")
                        .arg(c.host.left(100)));
    const QString porta = valore("PortaIMAP").toString().trimmed();
    if (!porta.isEmpty()) {
        bool ok = false;
        c.porta = porta.toInt(&ok);
        if (!ok || c.porta < 1 || c.porta > 65535)
            throw Error(QStringLiteral("ATTENZIONE: la porta del server della posta in arrivo (IMAP) \"%1\" non è un "
                                       "numero valido.")
                            .arg(porta.left(20)));
    }
    c.utente = valore("User").toString();
    c.password = valore("Pass").toString();
    c.caFile = readIniValue(paths::configIniPath(), QStringLiteral("Mail"), QStringLiteral("CAFile"));
    return c;
}

LetturaCasella leggiCasella(db::Connection& conn, const QString& dataRoot, const CasellaImap& casella, int massimo,
                            const std::function<void(const MessaggioLetto&)>& ciascuno)
{
    LetturaCasella esito;
    const db::Result isp = conn.query(
        QStringLiteral("SELECT ID, IMAPUidValidity, IMAPUltimoUID FROM t_ISP ORDER BY ID"));
    if (isp.isEmpty())
        throw Error(QStringLiteral("ATTENZIONE: le impostazioni del server di posta non sono state trovate."));
    const qint64 idIsp = isp.rows[0][0].toLongLong();
    const qint64 validitaSalvata = numero(isp.rows[0][1].toString().trimmed().toLatin1());
    const QString ultimoTesto = isp.rows[0][2].toString().trimmed();
    qint64 ultimo = ultimoTesto == QLatin1String("0") ? 0 : numero(ultimoTesto.toLatin1());

    try {
        Collegamento col(casella);
        const QByteArray esame =
            col.comando("EXAMINE " + QUrl::toPercentEncoding(casella.cartella), false);
        static const QRegularExpression reValidita(QStringLiteral("\\[UIDVALIDITY ([0-9]{1,10})\\]"),
                                                   QRegularExpression::CaseInsensitiveOption);
        const qint64 validita = numero(reValidita.match(QString::fromLatin1(esame.left(1 << 20))).captured(1).toLatin1());
        if (!validita)
            throw Fallimento{QStringLiteral("lettura della casella PEC non riuscita: il server non indica la validità "
                                            "dei numeri dei messaggi (UIDVALIDITY)"),
                             false};
        esito.uidValidity = validita;
        if (validitaSalvata != validita) {
            // Other numbers, other messages: everything is read again from the first.
            esito.uidValiditaCambiata = validitaSalvata != 0;
            ultimo = 0;
            salva(conn, idIsp, validita, 0);
        }
        esito.ultimoUid = ultimo;
        col.fissaValidita(validita);
        if (ultimo >= uidMassimo)
            return esito;
        const qint64 da = ultimo + 1;
        const std::map<qint64, Voce> voci =
            elenco(col.comando("UID FETCH " + QByteArray::number(da) + ":* (UID FLAGS RFC822.SIZE)"), da);
        esito.restanti = std::max(0, int(voci.size()) - std::max(0, massimo));

        const QList<Lettera> registro = lettere(conn);
        int fatti = 0;
        for (const auto& [uid, voce] : voci) {
            if (fatti++ >= massimo)
                break;
            if (casella.annulla && casella.annulla->load())
                throw Fallimento{QStringLiteral("lettura della casella PEC annullata dall'utente"), true};
            MessaggioLetto m;
            m.uid = uid;
            // A receipt names itself in its headers: a message without X-Ricevuta is not
            // fetched at all (an incoming certified message may weigh 30 MB), nor is one
            // larger than any receipt can be.
            QByteArray eml;
            bool ricevuta = false;
            bool troppo = voce.dimensione > limiteEml;
            std::exception_ptr guasto;
            if (!troppo) {
                try {
                    const QByteArray intestazione =
                        col.messaggio(uid, "HEADER.FIELDS (X-RICEVUTA)", 64 * 1024, &troppo);
                    ricevuta = intestazione.contains(':');
                    if (ricevuta && !troppo)
                        eml = col.messaggio(uid, {}, limiteEml, &troppo);
                } catch (...) {
                    guasto = std::current_exception();
                }
                // Reading a message marks it read: an unread message goes back to unread
                // (also when the reading broke off: the server may have marked it already).
                if (!voce.letto) {
                    col.ignoraAnnulla(true);
                    try {
                        col.comando("UID STORE " + QByteArray::number(uid) + " -FLAGS.SILENT (\\Seen)");
                    } catch (...) {
                        if (!guasto)
                            guasto = std::current_exception();
                    }
                    col.ignoraAnnulla(false);
                }
                if (guasto)
                    std::rethrow_exception(guasto);
            }
            if (ricevuta && troppo)
                m.errore = QStringLiteral("ricevuta PEC danneggiata: il messaggio supera %1 MB").arg(limiteEml / (1024 * 1024));
            if (ricevuta && !troppo) {
                bool leggibile = true;
                try {
                    leggiRicevuta(eml);
                } catch (const Error& e) {
                    // Damaged for good: said once, and not read again.
                    m.errore = e.message();
                    leggibile = false;
                }
                if (leggibile) {
                    try {
                        m.archiviazione = archivia(conn, dataRoot, eml, &registro);
                    } catch (const Error& e) {
                        // A file that could not be written: this message is read again next time.
                        throw Fallimento{QStringLiteral("ricevuta del messaggio IMAP UID %1 non archiviata: %2")
                                             .arg(uid)
                                             .arg(e.message()),
                                         false};
                    }
                }
            }
            salva(conn, idIsp, esito.uidValidity, uid);
            esito.ultimoUid = uid;
            esito.messaggi << m;
            if (ciascuno)
                ciascuno(m);
        }
    } catch (const Fallimento& f) {
        esito.errore = f.testo;
        esito.annullata = f.annullata;
    } catch (const Error& e) {
        // A CA file that cannot be read, a database that refuses the saved position.
        esito.errore = QStringLiteral("lettura della casella PEC non riuscita: ") + e.message();
    }
    return esito;
}

} // namespace sz::pec
