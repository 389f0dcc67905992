// The certified mailbox read over IMAP from a real Dovecot started here on the loopback,
// with a throwaway configuration, its own certificate made by openssl and receipts signed
// by a test CA, delivered by writing them into its maildir: receipts filed once, other
// mail left unread, nothing read twice, a renumbered mailbox, a reading that stops halfway
// and resumes, and the failures a clerk meets (an unknown certificate, a wrong password,
// a server that does not answer).
#include "ArchivioRicevute.h"
#include "CasellaImap.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Invii.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace sz::pec;

namespace {

const QString dovecotBin = QStringLiteral("/usr/sbin/dovecot");
const QString idLettera = QStringLiteral("<7d1e5c2a-0b3f-4e8a-9c6d-1f2e3a4b5c6d@pec.ditta.it>");
const QString rossi = QStringLiteral("rossi@pec.rossi.it");
const QString amm = QStringLiteral("amministrazione@pec.rossi.it");

bool openssl(const QString& dir, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << args << p.readAllStandardError();
        return false;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

// A socket on 127.0.0.1: connected to port (true when something listens there), or, with
// port 0, listening on a free port that never answers (its number in *port).
int presa(int* port, bool ascolta)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(quint16(*port));
    if (ascolta) {
        socklen_t n = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0) {
            ::close(fd);
            return -1;
        }
        *port = ntohs(a.sin_port);
        return fd;
    }
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok ? 0 : -1;
}

bool scrivi(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A Dovecot of its own: configuration, state, sockets and mail in one temporary folder,
// listening on 127.0.0.1 with implicit TLS only. As root, the mail belongs to "nobody"
// (Dovecot will not serve mail as root); as anyone else, to that user.
class Dovecot
{
public:
    QTemporaryDir dir;
    int porta = 0;
    QProcess proc;
    uid_t mailUid = getuid();
    gid_t mailGid = getgid();

    QString maildir() const { return dir.filePath(QStringLiteral("Maildir")); }

    bool prepara(const QString& cert, const QString& key)
    {
        QString login, interno, gruppo;
        if (getuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody)
                return false;
            mailUid = nobody->pw_uid;
            mailGid = nobody->pw_gid;
            login = QStringLiteral("nobody");
            interno = QStringLiteral("root");
            gruppo = QStringLiteral("root");
            // The login and mail processes run as nobody and must reach their sockets.
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ExeGroup | QFile::ExeOther);
        } else {
            const passwd* me = getpwuid(getuid());
            const group* g = getgrgid(getgid());
            if (!me || !g)
                return false;
            login = interno = QString::fromLocal8Bit(me->pw_name);
            gruppo = QString::fromLocal8Bit(g->gr_name);
        }
        for (const char* sub : {"", "/cur", "/new", "/tmp"}) {
            const QString d = maildir() + QLatin1String(sub);
            if (!QDir().mkpath(d) || ::chown(QFile::encodeName(d).constData(), mailUid, mailGid) != 0)
                return false;
        }
        porta = TestEnv::freeLocalPort();
        const QString d = dir.path();
        const QString conf = QStringLiteral(
                                 "protocols = imap\nlisten = 127.0.0.1\nbase_dir = %1/run\nstate_dir = %1/state\n"
                                 "instance_name = sztest%2\nlog_path = %1/dovecot.log\nssl = required\n"
                                 "ssl_cert = <%3\nssl_key = <%4\ndefault_internal_user = %5\ndefault_internal_group = %6\n"
                                 "default_login_user = %7\nfirst_valid_uid = 1\nauth_failure_delay = 0\n"
                                 "mail_location = maildir:%8\n"
                                 "service imap-login {\n  inet_listener imap {\n    port = 0\n  }\n"
                                 "  inet_listener imaps {\n    port = %2\n    ssl = yes\n  }\n  chroot =\n}\n"
                                 "service anvil {\n  chroot =\n}\n"
                                 "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u %1/passwd\n}\n"
                                 "userdb {\n  driver = static\n  args = uid=%9 gid=%10 home=%8\n}\n")
                                 .arg(d)
                                 .arg(porta)
                                 .arg(cert, key, interno, gruppo, login, maildir())
                                 .arg(mailUid)
                                 .arg(mailGid);
        // "%u" above is Dovecot's, not a placeholder of ours.
        return scrivi(d + QStringLiteral("/dovecot.conf"), conf.toUtf8()) &&
               scrivi(d + QStringLiteral("/passwd"), "ufficio@pec.ditta.it:{PLAIN}segreta-PEC::::::\n");
    }

    bool avvia()
    {
        proc.setProcessChannelMode(QProcess::MergedChannels);
        proc.start(dovecotBin, {QStringLiteral("-F"), QStringLiteral("-c"), dir.filePath(QStringLiteral("dovecot.conf"))});
        if (!proc.waitForStarted(10000))
            return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 15000) {
            if (presa(&porta, false) == 0)
                return true;
            if (proc.state() == QProcess::NotRunning)
                break;
            QThread::msleep(100);
        }
        qWarning() << proc.readAll() << log();
        return false;
    }

    void ferma()
    {
        if (proc.state() == QProcess::NotRunning)
            return;
        proc.terminate();
        if (!proc.waitForFinished(15000)) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }

    QByteArray log() const
    {
        QFile f(dir.filePath(QStringLiteral("dovecot.log")));
        return f.open(QIODevice::ReadOnly) ? f.readAll().right(4000) : QByteArray();
    }

    // Delivered as a mail server does: written into tmp/, then moved into new/ (unread) or
    // cur/ with the Seen flag.
    bool consegna(const QByteArray& eml, bool letto = false)
    {
        static int n = 0;
        const QString nome = QStringLiteral("%1.M%2P%3.sztest")
                                 .arg(QDateTime::currentSecsSinceEpoch())
                                 .arg(++n, 6, 10, QLatin1Char('0'))
                                 .arg(getpid());
        const QString tmp = maildir() + QStringLiteral("/tmp/") + nome;
        if (!scrivi(tmp, eml) || ::chown(QFile::encodeName(tmp).constData(), mailUid, mailGid) != 0)
            return false;
        return QFile::rename(tmp, letto ? maildir() + QStringLiteral("/cur/") + nome + QStringLiteral(":2,S")
                                        : maildir() + QStringLiteral("/new/") + nome);
    }

    // The messages' files with their flags ("...:2,S" is read), wherever Dovecot keeps them.
    QStringList messaggi() const
    {
        QStringList out;
        for (const char* sub : {"/new", "/cur"})
            out += QDir(maildir() + QLatin1String(sub)).entryList(QDir::Files);
        out.sort();
        return out;
    }
    static bool letto(const QString& file)
    {
        const qsizetype i = file.indexOf(QStringLiteral(":2,"));
        return i >= 0 && file.mid(i + 3).contains(QLatin1Char('S'));
    }

    ~Dovecot() { ferma(); }
};

} // namespace

class TstPecImap : public QObject
{
    Q_OBJECT

    QTemporaryDir m_pki;
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<Dovecot> m_dovecot;
    QString m_root, m_cartella, m_configIni, m_validita, m_database;
    QByteArray m_consegna;

    QString pki(const char* f) const { return m_pki.filePath(QLatin1String(f)); }

    // A complete receipt as a provider sends it: its headers over an S/MIME-signed body with
    // a text, daticert.xml and the original message.
    QByteArray ricevuta(const QByteArray& tipo, const QString& consegna = {}, const QString& erroreEsteso = {},
                        const QString& msgid = idLettera, const QByteArray& prefisso = "CONSEGNA")
    {
        static int n = 0;
        const QByteArray identificativo = "opec.imap." + QByteArray::number(++n) + "@pec.gestore.it";
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<postacert tipo=\"" + tipo + "\" errore=\"" +
                         (tipo == "errore-consegna" ? "no-dest" : "nessuno") +
                         "\">\n <intestazione>\n  <mittente>ufficio@pec.ditta.it</mittente>\n"
                         "  <destinatari tipo=\"certificato\">" + rossi.toUtf8() + "</destinatari>\n"
                         "  <destinatari tipo=\"certificato\">" + amm.toUtf8() + "</destinatari>\n"
                         "  <risposte>ufficio@pec.ditta.it</risposte>\n  <oggetto>Sollecito – fattura 7/B</oggetto>\n"
                         " </intestazione>\n <dati>\n  <gestore-emittente>GESTORE DI PROVA S.P.A.</gestore-emittente>\n"
                         "  <data zona=\"+0100\"><giorno>20/01/2027</giorno><ora>09:15:00</ora></data>\n"
                         "  <identificativo>" + identificativo + "</identificativo>\n"
                         "  <msgid>" + msgid.toUtf8().replace("<", "&lt;").replace(">", "&gt;") + "</msgid>\n"
                         "  <ricevuta tipo=\"completa\" />\n";
        if (!consegna.isEmpty())
            xml += "  <consegna>" + consegna.toUtf8() + "</consegna>\n";
        if (!erroreEsteso.isEmpty())
            xml += "  <errore-esteso>" + erroreEsteso.toUtf8() + "</errore-esteso>\n";
        xml += " </dati>\n</postacert>\n";
        QByteArray b64 = xml.toBase64();
        for (qsizetype i = 76; i < b64.size(); i += 78)
            b64.insert(i, "\r\n");
        const QByteArray corpo =
            "Content-Type: multipart/mixed; boundary=\"----=_Part_1\"\r\n\r\n"
            "------=_Part_1\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\nRicevuta\r\n"
            "------=_Part_1\r\nContent-Type: application/xml; name=\"daticert.xml\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: inline; filename=\"daticert.xml\"\r\n\r\n" + b64 + "\r\n"
            "------=_Part_1\r\nContent-Type: message/rfc822\r\nContent-Disposition: inline; filename=\"postacert.eml\"\r\n\r\n"
            "Message-ID: " + msgid.toUtf8() + "\r\nFrom: ufficio@pec.ditta.it\r\nSubject: Sollecito\r\n\r\nGentile cliente\r\n"
            "------=_Part_1--\r\n";
        if (!scrivi(pki("corpo.eml"), corpo))
            return {};
        QByteArray firmato;
        if (!openssl(m_pki.path(), {"smime", "-sign", "-signer", "firma.pem", "-inkey", "firma.key", "-certfile", "ca.pem",
                                    "-in", "corpo.eml"},
                     &firmato))
            return {};
        return "Return-Path: <posta-certificata@pec.gestore.it>\r\nX-Ricevuta: " + tipo +
               "\r\nX-TipoRicevuta: completa\r\nDate: Wed, 20 Jan 2027 09:15:01 +0100\r\nSubject: " + prefisso +
               ": Sollecito\r\nFrom: posta-certificata@pec.gestore.it\r\nTo: ufficio@pec.ditta.it\r\n"
               "X-Riferimento-Message-ID: " + msgid.toUtf8() + "\r\nMessage-ID: <" + identificativo + ">\r\n" + firmato;
    }

    static QByteArray mailComune(const QByteArray& oggetto)
    {
        return "From: cliente@pec.rossi.it\r\nTo: ufficio@pec.ditta.it\r\nSubject: " + oggetto +
               "\r\nDate: Wed, 20 Jan 2027 10:00:00 +0100\r\nMessage-ID: <" + oggetto.toHex() +
               "@pec.rossi.it>\r\nX-Trasporto: posta-certificata\r\n\r\nBuongiorno, pagheremo a fine mese.\r\n";
    }

    sz::db::Connection db() const { return sz::db::Connection(m_database); }

    int ricevuteRegistrate() const { return db().scalar(QStringLiteral("SELECT COUNT(*) FROM t_ricevute")).toInt(); }

    QString posizione() const
    {
        const sz::db::Result r = db().query(QStringLiteral("SELECT IMAPUidValidity, IMAPUltimoUID FROM t_ISP ORDER BY ID"));
        return r.rows.value(0).value(0).toString() + QLatin1Char('/') + r.rows.value(0).value(1).toString();
    }

    void impostaCaFile(const QString& ca)
    {
        // A server database stays named there.
        const QByteArray connessione =
            TestEnv::onServer() ? "[ConnectionString]\nstrConn=" + m_database.toUtf8() + "\n" : QByteArray();
        QVERIFY(scrivi(m_configIni, connessione + "[Mail]\nCAFile=" + ca.toUtf8() + "\n"));
    }

    CasellaImap casella() const
    {
        CasellaImap c;
        c.host = QStringLiteral("127.0.0.1");
        c.porta = m_dovecot->porta;
        c.utente = QStringLiteral("ufficio@pec.ditta.it");
        c.password = QStringLiteral("segreta-PEC");
        c.caFile = pki("ca.pem");
        return c;
    }

    TestEnv::CliRun ricevute() const
    {
        return TestEnv::runCli({QStringLiteral("pec"), QStringLiteral("receipts")}, m_env->home());
    }

    // The table's data lines, without its heading and its totals.
    static QStringList righe(const TestEnv::CliRun& r)
    {
        QStringList l = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (!l.isEmpty())
            l.removeFirst();
        if (!l.isEmpty())
            l.removeLast();
        return l;
    }

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(dovecotBin))
            QSKIP("/usr/sbin/dovecot is not installed (Debian package dovecot-imapd): no IMAP server to read from");
        QVERIFY(m_pki.isValid());
        const QString d = m_pki.path();
        // The provider's signing CA, the mail server's CA and its certificate for 127.0.0.1,
        // and another CA nobody trusts.
        QVERIFY(openssl(d, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
                            "-days", "2", "-subj", "/CN=Autorita di prova"}));
        QVERIFY(openssl(d, {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "firma.key", "-out", "firma.csr", "-subj",
                            "/CN=posta-certificata@pec.gestore.it"}));
        QVERIFY(openssl(d, {"x509", "-req", "-in", "firma.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                            "-out", "firma.pem", "-days", "2"}));
        QVERIFY(scrivi(pki("san.cnf"), "subjectAltName=IP:127.0.0.1\n"));
        QVERIFY(openssl(d, {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
                            "-subj", "/CN=127.0.0.1"}));
        QVERIFY(openssl(d, {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                            "-out", "server.pem", "-days", "2", "-extfile", "san.cnf"}));
        QVERIFY(openssl(d, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "altra.key", "-out", "altra.pem",
                            "-days", "2", "-subj", "/CN=Altra autorita"}));

        m_env = std::make_unique<TestEnv>();
        m_database = m_env->commandDatabase();
        QCOMPARE(TestEnv::runCli({QStringLiteral("upgrade")}, m_env->home()).code, 0);
        m_root = m_env->documents() + QStringLiteral("/Scadenzio/");
        m_configIni = m_env->configHome() + QStringLiteral("/Scadenzio/Config/Config.ini");
        QVERIFY(QFileInfo::exists(m_configIni));
        QVERIFY(QFile::remove(m_configIni));
        impostaCaFile(pki("ca.pem"));

        // The letter that went out by PEC to two mailboxes, for two documents.
        m_cartella = m_root + QStringLiteral("Archivio/Solleciti per Cliente/2027-01-20/");
        QVERIFY(QDir().mkpath(m_cartella));
        const QString pdf = m_cartella + QStringLiteral("20270120_ROSSI SRL.pdf");
        QVERIFY(scrivi(pdf, "%PDF-1.4\n"));
        sz::db::Connection conn = db();
        for (const char* doc : {"7/B", "8/B"}) {
            sz::invii::Invio v;
            v.idCredito = 1;
            v.cliente = QStringLiteral("ROSSI SRL");
            v.numeroFattura = QLatin1String(doc);
            v.fase = QStringLiteral("SOLLECITO2");
            v.modo = QStringLiteral("CLIENTE");
            v.dataOra = QDateTime(QDate(2027, 1, 20), QTime(9, 14));
            v.file = sz::invii::percorsoRelativo(m_root, pdf);
            v.canale = QStringLiteral("PEC");
            v.destinatari = rossi + QStringLiteral(", ") + amm;
            v.messageId = idLettera;
            v.esito = sz::invii::Inviata;
            sz::invii::registra(conn, v);
        }

        m_dovecot = std::make_unique<Dovecot>();
        QVERIFY(m_dovecot->dir.isValid());
        QVERIFY(m_dovecot->prepara(pki("server.pem"), pki("server.key")));
        QVERIFY(m_dovecot->avvia());
        conn.exec(QStringLiteral("UPDATE t_ISP SET PEC = 1, IMAP = '127.0.0.1', PortaIMAP = :P, "
                                 "\"User\" = 'ufficio@pec.ditta.it', Pass = 'segreta-PEC'"),
                  {{QStringLiteral("P"), QString::number(m_dovecot->porta)}});
    }

    void cleanupTestCase()
    {
        if (m_dovecot)
            m_dovecot->ferma();
    }

    // The receipts of the letter filed beside its PDF and recorded once; an ordinary mail and
    // an already read one keep their state; another sender's receipt is not stored.
    void leggeLaCasella()
    {
        Dovecot& dv = *m_dovecot;
        m_consegna = ricevuta("avvenuta-consegna", rossi);
        QVERIFY(dv.consegna(ricevuta("accettazione", {}, {}, idLettera, "ACCETTAZIONE")));
        QVERIFY(dv.consegna(mailComune("Bonifico in arrivo")));
        QVERIFY(dv.consegna(m_consegna));
        QVERIFY(dv.consegna(ricevuta("errore-consegna", amm, QStringLiteral("5.1.1 - Casella inesistente: ") + amm, idLettera,
                                     "AVVISO DI MANCATA CONSEGNA")));
        QVERIFY(dv.consegna(ricevuta("preavviso-errore-consegna", amm, QStringLiteral("4.4.7 - Nessuna consegna entro 12 ore"),
                                     idLettera, "AVVISO DI MANCATA CONSEGNA")));
        QVERIFY(dv.consegna(ricevuta("accettazione", {}, {}, QStringLiteral("<altrui-42@pec.altro.it>"), "ACCETTAZIONE")));
        QVERIFY(dv.consegna(mailComune("Gia letta"), true));

        const TestEnv::CliRun r = ricevute();
        QVERIFY2(r.code == 0, qPrintable(r.err + r.out + dv.log()));
        const QStringList l = righe(r);
        QCOMPARE(l.size(), 7);
        for (int i = 0; i < l.size(); ++i)
            QVERIFY2(l[i].startsWith(QStringLiteral("IMAP UID %1\t").arg(i + 1)), qPrintable(l[i]));
        QCOMPARE(l.filter(QStringLiteral("\tregistrata in Archivio/Solleciti per Cliente/2027-01-20/20270120_ROSSI SRL - ")).size(), 4);
        QVERIFY2(l[2].startsWith(QStringLiteral("IMAP UID 3\tavvenuta-consegna\t") + rossi +
                                 QStringLiteral("\tROSSI SRL, doc. 7/B, 8/B\tregistrata in ")),
                 qPrintable(l[2]));
        QVERIFY(l[5].endsWith(QStringLiteral("non riguarda una comunicazione di Scadenzio: non registrata")));
        QCOMPARE(l.filter(QStringLiteral("non è una ricevuta PEC")).size(), 2);
        QVERIFY2(r.out.trimmed().endsWith(QStringLiteral(
                     "Messaggi letti: 7; ricevute registrate: 4; già registrate: 0; non di Scadenzio: 1; altri messaggi "
                     "lasciati com'erano: 2; ricevute illeggibili: 0")),
                 qPrintable(r.out));

        QCOMPARE(ricevuteRegistrate(), 4);
        const QStringList file = QDir(m_cartella).entryList(QDir::Files);
        QCOMPARE(file.size(), 5); // the PDF and four receipts
        // What the server handed over is what is kept (IMAP sends every line with CR LF,
        // whatever the stored copy has): the signature still holds, no warning above.
        QFile consegna(m_cartella + QStringLiteral("20270120_ROSSI SRL - CONSEGNA ") + rossi + QStringLiteral(".eml"));
        QVERIFY(consegna.open(QIODevice::ReadOnly));
        QCOMPARE(consegna.readAll(), QByteArray(m_consegna).replace("\r\n", "\n").replace("\n", "\r\n"));
        QVERIFY(r.err.isEmpty());

        sz::db::Connection conn = db();
        const QList<Lettera> lettere = sz::pec::lettere(conn);
        QCOMPARE(lettere.size(), 1);
        const StatoLettera s = statoDi(conn, lettere[0], QDateTime(QDate(2027, 1, 20), QTime(12, 0)));
        QCOMPARE(s.stato, QStringLiteral("Consegna parziale"));
        QVERIFY2(s.motivo.contains(QStringLiteral("5.1.1")), qPrintable(s.motivo));

        // The mailbox looks as it did: only the mail that was already read is read.
        QCOMPARE(dv.messaggi().size(), 7);
        QCOMPARE(dv.messaggi().filter(QRegularExpression(QStringLiteral(":2,[A-Z]*S"))).size(), 1);
        QVERIFY(posizione().endsWith(QStringLiteral("/7")));
        m_validita = posizione().section(QLatin1Char('/'), 0, 0);
        QVERIFY(!m_validita.isEmpty());
    }

    // Read again: nothing new. The same receipt arriving twice is recognised.
    void nienteDueVolte()
    {
        TestEnv::CliRun r = ricevute();
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(righe(r).isEmpty());
        QVERIFY2(r.out.contains(QStringLiteral("Messaggi letti: 0;")), qPrintable(r.out));

        QVERIFY(m_dovecot->consegna("Received: from pec.gestore.it by mx2\r\n" + m_consegna));
        r = ricevute();
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QStringList l = righe(r);
        QCOMPARE(l.size(), 1);
        QVERIFY2(l[0].startsWith(QStringLiteral("IMAP UID 8\tavvenuta-consegna\t")) &&
                     l[0].contains(QStringLiteral("\tgià registrata in ")),
                 qPrintable(l[0]));
        QCOMPARE(ricevuteRegistrate(), 4);
        QCOMPARE(posizione(), m_validita + QStringLiteral("/8"));
    }

    // A reading stopped halfway keeps what it handled and resumes at the next message; the
    // count per reading leaves the rest for the next one.
    void interrottaERipresa()
    {
        for (const char* o : {"Primo", "Secondo", "Terzo"})
            QVERIFY(m_dovecot->consegna(mailComune(o)));
        sz::db::Connection conn = db();
        std::atomic_bool basta{false};
        CasellaImap c = casella();
        c.annulla = &basta;
        LetturaCasella l = leggiCasella(conn, m_root, c, 500, [&](const MessaggioLetto&) { basta = true; });
        QVERIFY(l.annullata);
        QVERIFY2(l.errore.contains(QStringLiteral("annullata")), qPrintable(l.errore));
        QCOMPARE(l.messaggi.size(), 1);
        QCOMPARE(l.messaggi[0].uid, 9);
        QCOMPARE(posizione(), m_validita + QStringLiteral("/9"));

        basta = false;
        l = leggiCasella(conn, m_root, c, 1);
        QVERIFY2(l.errore.isEmpty(), qPrintable(l.errore));
        QCOMPARE(l.messaggi.size(), 1);
        QCOMPARE(l.messaggi[0].uid, 10);
        QCOMPARE(l.restanti, 1);
        l = leggiCasella(conn, m_root, c);
        QCOMPARE(l.messaggi.size(), 1);
        QCOMPARE(l.messaggi[0].uid, 11);
        QCOMPARE(l.messaggi[0].archiviazione.esito, Archiviazione::Esito::NonRicevuta);
        QCOMPARE(l.restanti, 0);
        QCOMPARE(posizione(), m_validita + QStringLiteral("/11"));
        QCOMPARE(m_dovecot->messaggi().filter(QRegularExpression(QStringLiteral(":2,[A-Z]*S"))).size(), 1);
    }

    // The provider rebuilt the mailbox (new UIDVALIDITY, the same messages under new
    // numbers): read again from the first, told, and nothing filed twice.
    void casellaRinumerata()
    {
        Dovecot& dv = *m_dovecot;
        dv.ferma();
        const QStringList indici = QDir(dv.maildir()).entryList({QStringLiteral("dovecot*")}, QDir::Files);
        QVERIFY(!indici.isEmpty());
        for (const QString& f : indici)
            QVERIFY(QFile::remove(dv.maildir() + QLatin1Char('/') + f));
        // Dovecot numbers a new mailbox from the clock: a second later it is another number.
        QThread::sleep(1);
        QVERIFY(dv.avvia());

        const TestEnv::CliRun r = ricevute();
        QVERIFY2(r.code == 0, qPrintable(r.err + r.out));
        QVERIFY2(r.err.startsWith(QStringLiteral("NOTA: ")) && r.err.contains(QStringLiteral("UIDVALIDITY")), qPrintable(r.err));
        QCOMPARE(righe(r).size(), 11);
        QVERIFY2(r.out.contains(QStringLiteral("Messaggi letti: 11; ricevute registrate: 0; già registrate: 5; non di "
                                               "Scadenzio: 1; altri messaggi lasciati com'erano: 5")),
                 qPrintable(r.out));
        QCOMPARE(ricevuteRegistrate(), 4);
        QCOMPARE(QDir(m_cartella).entryList(QDir::Files).size(), 5);
        const QString dopo = posizione();
        QVERIFY2(dopo.endsWith(QStringLiteral("/11")) && dopo.section(QLatin1Char('/'), 0, 0) != m_validita, qPrintable(dopo));
        QCOMPARE(dv.messaggi().filter(QRegularExpression(QStringLiteral(":2,[A-Z]*S"))).size(), 1);
        m_validita = dopo.section(QLatin1Char('/'), 0, 0);
    }

    // What the clerk meets: each an Italian line, exit 2, and the position kept.
    void errori()
    {
        const QString prima = posizione();
        sz::db::Connection conn = db();

        // A server whose certificate no trusted authority signed.
        impostaCaFile(pki("altra.pem"));
        TestEnv::CliRun r = ricevute();
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("certificato del server 127.0.0.1:%1 non è firmato da un'autorità "
                                               "conosciuta")
                                    .arg(m_dovecot->porta)) &&
                     r.err.contains(QStringLiteral("CAFile")),
                 qPrintable(r.err));
        impostaCaFile(pki("ca.pem"));

        conn.exec(QStringLiteral("UPDATE t_ISP SET Pass = 'sbagliata'"));
        r = ricevute();
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("non ha accettato l'utente e la password della casella PEC")), qPrintable(r.err));
        QVERIFY(!r.err.contains(QStringLiteral("sbagliata")));
        conn.exec(QStringLiteral("UPDATE t_ISP SET Pass = 'segreta-PEC'"));

        conn.exec(QStringLiteral("UPDATE t_ISP SET PEC = 0"));
        r = ricevute();
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(QStringLiteral("non è configurato")));
        conn.exec(QStringLiteral("UPDATE t_ISP SET PEC = 1, PortaIMAP = '99999'"));
        r = ricevute();
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(QStringLiteral("non è un numero valido")));
        conn.exec(QStringLiteral("UPDATE t_ISP SET PortaIMAP = :P"), {{QStringLiteral("P"), QString::number(m_dovecot->porta)}});

        // A server that takes the connection and then says nothing: ended, not waited for.
        int portaMuta = 0;
        const int muto = presa(&portaMuta, true);
        QVERIFY(muto >= 0);
        CasellaImap c = casella();
        c.porta = portaMuta;
        c.stallTimeoutSeconds = 2;
        QElapsedTimer t;
        t.start();
        const LetturaCasella l = leggiCasella(conn, m_root, c);
        QVERIFY2(l.errore.contains(QStringLiteral("non risponde")), qPrintable(l.errore));
        QVERIFY2(t.elapsed() < 15000, qPrintable(QString::number(t.elapsed())));
        ::close(muto);

        QCOMPARE(posizione(), prima);
        r = ricevute();
        QVERIFY2(r.code == 0 && r.out.contains(QStringLiteral("Messaggi letti: 0;")), qPrintable(r.err + r.out));
    }

    // A receipt that cannot be read is said once, by its UID, and not read again; the
    // messages after it are read all the same.
    void ricevutaIlleggibile()
    {
        QVERIFY(m_dovecot->consegna("X-Ricevuta: avvenuta-consegna\r\nSubject: CONSEGNA: ?\r\n\r\nsenza riferimento\r\n"));
        QVERIFY(m_dovecot->consegna(mailComune("Dopo")));
        TestEnv::CliRun r = ricevute();
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("ATTENZIONE: IMAP UID 12: ricevuta PEC danneggiata")), qPrintable(r.err));
        const QStringList l = righe(r);
        QCOMPARE(l.size(), 1);
        QVERIFY(l[0].startsWith(QStringLiteral("IMAP UID 13\t")));
        QVERIFY2(r.out.contains(QStringLiteral("ricevute illeggibili: 1")), qPrintable(r.out));
        QCOMPARE(posizione(), m_validita + QStringLiteral("/13"));
        r = ricevute();
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(QStringLiteral("Messaggi letti: 0;")));
        QCOMPARE(m_dovecot->messaggi().filter(QRegularExpression(QStringLiteral(":2,[A-Z]*S"))).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TstPecImap)
#include "tst_pec_imap.moc"
