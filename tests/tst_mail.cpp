// Mail against a real SMTP server on 127.0.0.1, with certificates made for the test:
// plain, STARTTLS, implicit TLS, authentication, refusals, and the letters as a mail
// reader receives them; hostile addresses, refused recipients and a server slow to
// confirm, with every command line the server received.
#include "DunningData.h"
#include "Lettere.h"
#include "Posta.h"
#include "TestEnv.h"

#include "scadenzio/Invii.h"
#include "scadenzio/Paths.h"
#include "scadenzio/mail/Address.h"
#include "scadenzio/mail/Transport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace sz::mail;

namespace {

const QString script = QStringLiteral(SZ_TEST_SOURCE_DIR "/smtp/smtp_server.py");
const QString parser = QStringLiteral(SZ_TEST_SOURCE_DIR "/smtp/parse_mail.py");

bool run(const QString& program, const QStringList& args, const QString& dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

// A CA and a certificate for 127.0.0.1 signed by it; another self-signed one nobody trusts.
struct Pki
{
    QTemporaryDir dir;
    QString path(const char* f) const { return dir.path() + QLatin1Char('/') + QLatin1String(f); }
    bool make()
    {
        const QString o = QStringLiteral("openssl");
        return run(o, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
                       "-days", "2", "-subj", "/CN=Scadenzio Test CA"}, dir.path()) &&
               run(o, {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "srv.key", "-out", "srv.csr", "-subj",
                       "/CN=localhost"}, dir.path()) &&
               [&] {
                   QFile f(path("ext"));
                   return f.open(QIODevice::WriteOnly) &&
                          f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n") > 0;
               }() &&
               run(o, {"x509", "-req", "-in", "srv.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                       "-out", "srv.pem", "-days", "2", "-extfile", "ext"}, dir.path());
    }
};

class SmtpServer
{
public:
    SmtpServer(const QString& mode, const Pki* pki = nullptr, const QString& auth = QString(),
               const QStringList& refuse = {})
        : port(TestEnv::freeLocalPort())
    {
        QStringList args = {script, QStringLiteral("--port"), QString::number(port), QStringLiteral("--mode"), mode,
                            QStringLiteral("--out"), out.path()};
        for (const QString& r : refuse)
            args << QStringLiteral("--refuse") << r;
        if (pki)
            args << QStringLiteral("--cert") << pki->path("srv.pem") << QStringLiteral("--key") << pki->path("srv.key");
        if (!auth.isEmpty())
            args << QStringLiteral("--auth") << auth;
        proc.start(QStringLiteral("/usr/bin/python3"), args);
        proc.waitForReadyRead(15000);
        ready = proc.readAllStandardOutput().startsWith("READY");
    }
    ~SmtpServer()
    {
        proc.kill();
        proc.waitForFinished(5000);
    }
    // What a mail reader sees of the n-th message received, and its envelope.
    QJsonObject received(int n = 1) const
    {
        const QString base = out.path() + QStringLiteral("/%1").arg(n, 3, 10, QLatin1Char('0'));
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"), {parser, base + QStringLiteral(".eml")});
        p.waitForFinished(15000);
        QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QFile env(base + QStringLiteral(".json"));
        env.open(QIODevice::ReadOnly);
        o.insert(QStringLiteral("envelope"), QJsonDocument::fromJson(env.readAll()).object());
        QFile raw(base + QStringLiteral(".eml"));
        raw.open(QIODevice::ReadOnly);
        o.insert(QStringLiteral("raw"), QString::fromUtf8(raw.readAll()));
        return o;
    }
    int count() const { return int(QDir(out.path()).entryList({QStringLiteral("*.eml")}).size()); }
    // Every command line received, exactly as it came, one list per connection that said
    // anything, in order (the message's own lines left out).
    QList<QStringList> commands() const
    {
        QFile f(out.path() + QStringLiteral("/commands.jsonl"));
        QList<QStringList> sessions;
        QList<int> ids;
        if (!f.open(QIODevice::ReadOnly))
            return sessions;
        for (const QByteArray& l : f.readAll().split('\n')) {
            if (l.trimmed().isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(l).object();
            const int id = o[QStringLiteral("session")].toInt();
            if (!ids.contains(id)) {
                ids << id;
                sessions << QStringList();
            }
            sessions[ids.indexOf(id)] << o[QStringLiteral("line")].toString();
        }
        return sessions;
    }

    int port;
    bool ready = false;

private:
    QTemporaryDir out;
    QProcess proc;
};

Message semplice()
{
    Message m;
    m.from = QStringLiteral("amministrazione@artigiana.it");
    m.to = {QStringLiteral("a@bianchi.it"), QStringLiteral("b@bianchi.it")};
    m.blindCopy = {QStringLiteral("amministrazione@artigiana.it")};
    m.subject = QStringLiteral("1° SOLLECITO DI PAGAMENTO");
    m.text = QStringLiteral("Prova è €");
    m.related = false;
    return m;
}

Server locale(int port, Security s = Security::None)
{
    Server srv;
    srv.host = QStringLiteral("127.0.0.1");
    srv.port = port;
    srv.security = s;
    srv.connectTimeoutSeconds = 5;
    srv.stallTimeoutSeconds = 5;
    srv.finalReplyTimeoutSeconds = 3;
    return srv;
}

QString fallimento(const Server& s, const Message& m)
{
    try {
        send(s, m);
    } catch (const MailError& e) {
        return e.message();
    }
    return {};
}

// The command lines of one session with what varies from run to run put aside: the
// client's own name after EHLO and the size curl announces.
QStringList comandi(QStringList session)
{
    static const QRegularExpression size(QStringLiteral(" SIZE=\\d+"));
    for (QString& l : session) {
        if (l.startsWith(QStringLiteral("EHLO ")))
            l = QStringLiteral("EHLO *\r\n");
        l.remove(size);
    }
    return session;
}

QStringList busta(const QStringList& destinatari)
{
    QStringList l = {QStringLiteral("EHLO *\r\n"), QStringLiteral("MAIL FROM:<amministrazione@artigiana.it>\r\n")};
    for (const QString& d : destinatari)
        l << QStringLiteral("RCPT TO:<%1>\r\n").arg(d);
    l << QStringLiteral("DATA\r\n") << QStringLiteral("QUIT\r\n");
    return l;
}

QVariant fase(sz::db::Connection& c, qint64 id)
{
    return c.scalar(QStringLiteral("SELECT Preavviso FROM t_crediti WHERE ID = :I"), {{QStringLiteral("I"), id}});
}

} // namespace

class TestMail : public QObject
{
    Q_OBJECT
    Pki pki;

private slots:
    void initTestCase() { QVERIFY(pki.make()); }

    void plainMessageAsReceived()
    {
        SmtpServer srv(QStringLiteral("plain"));
        QVERIFY(srv.ready);
        send(locale(srv.port), semplice());
        const QJsonObject o = srv.received();
        QCOMPARE(o[QStringLiteral("subject")].toString(), QStringLiteral("1° SOLLECITO DI PAGAMENTO"));
        QCOMPARE(o[QStringLiteral("to")].toString(), QStringLiteral("a@bianchi.it, b@bianchi.it"));
        QVERIFY(o[QStringLiteral("bcc")].isNull());
        QVERIFY(!o[QStringLiteral("raw")].toString().contains(QStringLiteral("\nBcc:"), Qt::CaseInsensitive));
        const QJsonArray rcpt = o[QStringLiteral("envelope")].toObject()[QStringLiteral("rcpt")].toArray();
        QCOMPARE(rcpt.size(), 3);
        QCOMPARE(rcpt[2].toString(), QStringLiteral("amministrazione@artigiana.it"));
        QVERIFY(o[QStringLiteral("date")].toBool());
        QVERIFY(o[QStringLiteral("message_id")].toBool());
        QCOMPARE(o[QStringLiteral("text")].toString().trimmed(), QStringLiteral("Prova è €"));

        // An attachment named with accents arrives under its own name, bytes intact.
        QTemporaryDir dir;
        const QString nome = dir.path() + QStringLiteral("/20261207_SOCIETÀ \"ALFA\".pdf");
        QFile f(nome);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray dati(20000, '\x07');
        f.write(dati);
        f.close();
        Message m = semplice();
        m.html = QStringLiteral("<p>è</p>");
        m.attachments = {{nome, QStringLiteral("application/pdf")}};
        send(locale(srv.port), m);
        const QJsonObject a = srv.received(2)[QStringLiteral("attachments")].toArray()[0].toObject();
        QCOMPARE(a[QStringLiteral("name")].toString(), QFileInfo(nome).fileName());
        QCOMPARE(a[QStringLiteral("sha256")].toString(),
                 QString::fromLatin1(QCryptographicHash::hash(dati, QCryptographicHash::Sha256).toHex()));
    }

    void securityIsRequiredAndVerified()
    {
        // A server that does not offer STARTTLS: nothing goes out in plain text.
        {
            SmtpServer plain(QStringLiteral("plain"));
            QVERIFY(!fallimento(locale(plain.port, Security::StartTls), semplice()).isEmpty());
            QCOMPARE(plain.count(), 0);
        }
        SmtpServer tls(QStringLiteral("starttls"), &pki);
        QVERIFY(tls.ready);
        // Its certificate is not known to the system: refused, unless the CA file says so.
        const QString untrusted = fallimento(locale(tls.port, Security::StartTls), semplice());
        QVERIFY2(untrusted.contains(QStringLiteral("certificate"), Qt::CaseInsensitive), qPrintable(untrusted));
        // The setting that mends it is named.
        QVERIFY2(untrusted.contains(QStringLiteral("Config.ini, sezione [Mail], voce CAFile")), qPrintable(untrusted));
        Server conCa = locale(tls.port, Security::StartTls);
        conCa.caFile = pki.path("ca.pem");
        send(conCa, semplice());
        QCOMPARE(tls.count(), 1);
        // Plain text to a server that demands STARTTLS is refused by it.
        QVERIFY(!fallimento(locale(tls.port), semplice()).isEmpty());

        SmtpServer implicit(QStringLiteral("implicit"), &pki);
        QVERIFY(implicit.ready);
        Server s = locale(implicit.port, Security::Implicit);
        s.caFile = pki.path("ca.pem");
        send(s, semplice());
        QCOMPARE(implicit.count(), 1);
        s.caFile = pki.path("missing.pem");
        QVERIFY(fallimento(s, semplice()).contains(QStringLiteral("CAFile")));
    }

    void authenticationAndRefusals()
    {
        SmtpServer srv(QStringLiteral("starttls"), &pki, QStringLiteral("mario:segreta"));
        QVERIFY(srv.ready);
        Server s = locale(srv.port, Security::StartTls);
        s.caFile = pki.path("ca.pem");
        s.user = QStringLiteral("mario");
        s.password = QStringLiteral("sbagliata");
        const QString wrong = fallimento(s, semplice());
        QVERIFY2(wrong.contains(QStringLiteral("535")), qPrintable(wrong));
        QVERIFY2(!wrong.contains(QStringLiteral("221")), qPrintable(wrong));
        QVERIFY(!wrong.contains(QStringLiteral("sbagliata")));
        s.password = QStringLiteral("segreta");
        send(s, semplice());
        QCOMPARE(srv.count(), 1);

        QElapsedTimer t;
        t.start();
        QVERIFY(!fallimento(locale(TestEnv::freeLocalPort()), semplice()).isEmpty());
        QVERIFY(t.elapsed() < 5000);

        // A line dropped in the middle of the message is a failure, never a success.
        SmtpServer drop(QStringLiteral("drop"));
        QVERIFY(drop.ready);
        Message grande = semplice();
        grande.text = QString(200000, QLatin1Char('x'));
        const QString caduta = fallimento(locale(drop.port), grande);
        QVERIFY2(!caduta.isEmpty(), "a dropped line was taken for a sent message");
    }

    // The short waits hold up to the end of the message, the long one only after it; a
    // server that never confirms leaves the result uncertain, not failed; "Annulla" ends
    // a transfer within about a second.
    void waitsOfEachPhase()
    {
        // Takes the message and never answers: uncertain, after the final wait alone.
        SmtpServer muto(QStringLiteral("mute"));
        QVERIFY(muto.ready);
        Server s = locale(muto.port);
        s.stallTimeoutSeconds = 30;
        s.finalReplyTimeoutSeconds = 2;
        QElapsedTimer t;
        t.start();
        try {
            send(s, semplice());
            QFAIL("an unconfirmed message was taken for a sent one");
        } catch (const MailError& e) {
            QVERIFY(e.uncertain());
            QCOMPARE(e.message(), QStringLiteral("il server non ha confermato la ricezione: la comunicazione potrebbe "
                                                 "essere stata recapitata"));
        }
        QVERIFY2(t.elapsed() >= 1900 && t.elapsed() < 8000, qPrintable(QString::number(t.elapsed())));

        // Confirms 3 s after the message: longer than the stall limit, well within the wait.
        SmtpServer lento(QStringLiteral("slow"));
        QVERIFY(lento.ready);
        s = locale(lento.port);
        s.stallTimeoutSeconds = 1;
        s.finalReplyTimeoutSeconds = 20;
        send(s, semplice());

        // Never greets: the short wait, not the long one.
        SmtpServer zitto(QStringLiteral("silent"));
        QVERIFY(zitto.ready);
        s = locale(zitto.port);
        s.stallTimeoutSeconds = 2;
        s.finalReplyTimeoutSeconds = 600;
        t.restart();
        const QString muto2 = fallimento(s, semplice());
        QVERIFY2(muto2.contains(QStringLiteral("non risponde da 2 secondi")), qPrintable(muto2));
        QVERIFY2(t.elapsed() < 6000, qPrintable(QString::number(t.elapsed())));

        // Annulla, while the server sits on the message.
        std::atomic_bool annulla{false};
        s = locale(muto.port);
        s.finalReplyTimeoutSeconds = 600;
        s.cancel = &annulla;
        QThread* dopo = QThread::create([&] {
            QThread::msleep(700);
            annulla.store(true);
        });
        dopo->start();
        t.restart();
        try {
            send(s, semplice());
            QFAIL("a cancelled message was taken for a sent one");
        } catch (const MailError& e) {
            QVERIFY(e.cancelled());
            QCOMPARE(e.message(), QStringLiteral("invio annullato dall'utente mentre il server non aveva ancora "
                                                 "confermato la ricezione: la comunicazione potrebbe essere stata "
                                                 "recapitata"));
        }
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        dopo->wait();
        delete dopo;
    }

    // What may be an address, the splitting of a field, and what the transport refuses
    // before a single byte reaches the server.
    void addressesBeforeTheWire()
    {
        for (const char* ok : {"a@b.it", "mario.rossi+solleciti@studio-rossi.co.uk", "\"mario rossi\"@b.it",
                               "\"a;b<c>\"@b.it", "giò@città.it"})
            QVERIFY2(indirizzoValido(QString::fromUtf8(ok)), ok);
        for (const char* ko : {"", "a", "@b.it", "a@", "a@b.it>", "<a@b.it>", "Mario <a@b.it>", "a b@c.it",
                               "a@b.it\r\nRCPT TO:<x@evil.test>", "a@b.it\nDATA", "a@b.it\r", "a@b.it\t",
                               "a@b@c.it", "a,b@c.it", "a;b@c.it", "a(x)@b.it", "a@[1.2.3.4]", "a\\b@c.it",
                               "\"a\r\nb\"@c.it", "\"open@b.it", "a@b..it", "a@.b.it", "a@b.it."})
            QVERIFY2(!indirizzoValido(QString::fromUtf8(ko)), ko);
        QVERIFY(!indirizzoValido(QStringLiteral("a@b.it") + QChar(0x7f)));
        QVERIFY(!indirizzoValido(QString(65, QLatin1Char('a')) + QStringLiteral("@b.it")));
        QVERIFY(!indirizzoValido(QStringLiteral("a@") + QString(250, QLatin1Char('b')) + QStringLiteral(".it")));

        QCOMPARE(dividiIndirizzi(QStringLiteral(" a@b.it; c@d.it ,e@f.it;;  ")),
                 (QStringList{"a@b.it", "c@d.it", "e@f.it"}));
        // A line break is not a separator: it stays, to be refused and shown.
        QCOMPARE(dividiIndirizzi(QStringLiteral("a@b.it\r\n")), QStringList{QStringLiteral("a@b.it\r\n")});
        QCOMPARE(caratteriVisibili(QStringLiteral("a\r\nb\t") + QChar(0) + QChar(0x7f) + QChar(0x85)),
                 QStringLiteral("a␍␊b␉␀␡<U+0085>"));
        QVERIFY(haCaratteriControllo(QStringLiteral("x") + QChar(0x2028)));
        QVERIFY(!haCaratteriControllo(QStringLiteral("città é €")));

        SmtpServer srv(QStringLiteral("plain"));
        QVERIFY(srv.ready);
        const QStringList payloads = {QStringLiteral("a@bianchi.it>\r\nRCPT TO:<x@evil.test>\r\nDATA\r\nSubject: IBAN"),
                                      QStringLiteral("a@bianchi.it>\nRCPT TO:<x@evil.test>"),
                                      QStringLiteral("a@bianchi.it\r\n")};
        for (const QString& p : payloads) {
            Message m = semplice();
            m.to = {QStringLiteral("b@bianchi.it"), p};
            QVERIFY(fallimento(locale(srv.port), m).contains(caratteriVisibili(p.trimmed())));
            m = semplice();
            m.blindCopy = {p};
            QVERIFY(!fallimento(locale(srv.port), m).isEmpty());
            m = semplice();
            m.from = p;
            QVERIFY(fallimento(locale(srv.port), m).startsWith(QStringLiteral("il mittente")));
            QVERIFY_THROWS_EXCEPTION(MailError, composeMessage(m));
        }
        Message vuoto = semplice();
        vuoto.from.clear();
        QCOMPARE(fallimento(locale(srv.port), vuoto), QStringLiteral("l'indirizzo del mittente non è indicato"));
        // Not one connection was opened.
        QVERIFY(srv.commands().isEmpty());
        QCOMPARE(srv.count(), 0);
    }

    // One recipient refused: the others get the message; all refused: a failure naming each.
    void refusedRecipients()
    {
        SmtpServer srv(QStringLiteral("plain"), nullptr, QString(),
                       {QStringLiteral("sconosciuto@bianchi.it"), QStringLiteral("nessuno@bianchi.it")});
        QVERIFY(srv.ready);
        Message m = semplice();
        m.to = {QStringLiteral("sconosciuto@bianchi.it"), QStringLiteral("a@bianchi.it")};
        const SendResult r = send(locale(srv.port), m);
        QCOMPARE(r.refused.size(), 1);
        QCOMPARE(r.refused[0].address, QStringLiteral("sconosciuto@bianchi.it"));
        QVERIFY(r.refused[0].reply.startsWith(QStringLiteral("550 5.1.1")));
        QCOMPARE(srv.received(1)[QStringLiteral("envelope")].toObject()[QStringLiteral("rcpt")].toArray(),
                 (QJsonArray{"a@bianchi.it", "amministrazione@artigiana.it"}));

        // A refusal names the address as the caller wrote it, though curl spelled the
        // domain in its ASCII form on the wire: the client's only address refused is a
        // letter not delivered, whatever became of the firm's copy.
        SmtpServer idn(QStringLiteral("plain"), nullptr, QString(), {QStringLiteral("nessuno@xn--citt-3na.it")});
        QVERIFY(idn.ready);
        Message accentata = semplice();
        accentata.to = {QStringLiteral("nessuno@città.it")};
        const SendResult ri = send(locale(idn.port), accentata);
        QCOMPARE(ri.refused.size(), 1);
        QCOMPARE(ri.refused[0].address, QStringLiteral("nessuno@città.it"));

        m.to = {QStringLiteral("sconosciuto@bianchi.it"), QStringLiteral("nessuno@bianchi.it")};
        m.blindCopy.clear();
        try {
            send(locale(srv.port), m);
            QFAIL("a message nobody took was taken for a sent one");
        } catch (const MailError& e) {
            QCOMPARE(e.refused().size(), 2);
            QVERIFY2(e.message().contains(QStringLiteral("nessuno@bianchi.it (550")), qPrintable(e.message()));
        }
        QCOMPARE(srv.count(), 1);
    }

    // A line break in the subject, the mailer's name, an attachment's name or its type stays
    // inside its header: no header of the text's choosing, and no header line past the
    // length a server accepts.
    void headersStayHeaders()
    {
        SmtpServer srv(QStringLiteral("plain"));
        QVERIFY(srv.ready);
        QTemporaryDir dir;
        const QString nome = QStringLiteral("lettera\r\nX-Iniettato: 1.pdf");
        QFile f(dir.path() + QLatin1Char('/') + nome);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4 prova");
        f.close();
        Message m = semplice();
        m.subject = QStringLiteral("SOLLECITO\r\nBcc: x@evil.test\r\nX-Iniettato: 2");
        m.agent = QStringLiteral("Scadenzio\nX-Iniettato: 3");
        m.attachments << Attachment{f.fileName(), QStringLiteral("application/pdf\r\nX-Iniettato: 4")};
        send(locale(srv.port), m);
        const QString lungo = QString(300, QChar(0x00e8)) + QStringLiteral("\r\nX-Iniettato: 5");
        m.subject = lungo;
        m.attachments.clear();
        send(locale(srv.port), m);

        for (int n : {1, 2}) {
            const QJsonObject o = srv.received(n);
            const QString raw = o[QStringLiteral("raw")].toString();
            const QString testata = raw.left(raw.indexOf(QStringLiteral("\r\n\r\n")));
            QVERIFY2(!testata.contains(QStringLiteral("\nX-Iniettato")) && !testata.contains(QStringLiteral("\nBcc")),
                     qPrintable(testata));
            for (const QString& l : raw.split(QStringLiteral("\r\n")))
                QVERIFY2(l.toUtf8().size() <= 998, qPrintable(l.left(80)));
            QVERIFY(o[QStringLiteral("bcc")].isNull());
            QCOMPARE(o[QStringLiteral("envelope")].toObject()[QStringLiteral("rcpt")].toArray(),
                     (QJsonArray{"a@bianchi.it", "b@bianchi.it", "amministrazione@artigiana.it"}));
        }
        const QJsonObject primo = srv.received(1);
        QCOMPARE(primo[QStringLiteral("subject")].toString(), QStringLiteral("SOLLECITO  Bcc: x@evil.test  X-Iniettato: 2"));
        QCOMPARE(primo[QStringLiteral("mailer")].toString(), QStringLiteral("Scadenzio X-Iniettato: 3"));
        const QJsonObject allegato = primo[QStringLiteral("attachments")].toArray()[0].toObject();
        QCOMPARE(allegato[QStringLiteral("name")].toString(), nome);
        QCOMPARE(allegato[QStringLiteral("type")].toString(), QStringLiteral("application/octet-stream"));
        QCOMPARE(srv.received(2)[QStringLiteral("subject")].toString().remove(QLatin1Char(' ')),
                 QString(lungo).remove(QLatin1Char('\r')).remove(QLatin1Char('\n')).remove(QLatin1Char(' ')));
    }

    void storedSettings()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        auto set = [&](const QString& port, bool tls, bool ssl) {
            c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = 'SMTP.EXAMPLE.IT', Port = :P, TLS = :T, SSL = :S"),
                   {{QStringLiteral("P"), port}, {QStringLiteral("T"), tls}, {QStringLiteral("S"), ssl}});
            return storedServer(c);
        };
        QCOMPARE(set(QString(), false, false).port, 25);
        QCOMPARE(set(QString(), false, false).security, Security::None);
        QCOMPARE(set(QStringLiteral("587"), true, false).security, Security::StartTls);
        QCOMPARE(set(QStringLiteral("465"), true, false).security, Security::Implicit);
        QCOMPARE(set(QStringLiteral("2525"), false, true).security, Security::Implicit);
        QVERIFY_THROWS_EXCEPTION(sz::Error, set(QStringLiteral("25a"), false, false));
    }

    // The command-line tool sends with the stored settings, as the frames do.
    void commandLineSends()
    {
        SmtpServer srv(QStringLiteral("plain"));
        QVERIFY(srv.ready);
        TestEnv env;
        const QString cli = QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli");
        auto run = [&](const QStringList& args) {
            QProcess p;
            p.start(cli, args);
            p.waitForFinished(60000);
            return std::tuple{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                              QString::fromUtf8(p.readAllStandardError())};
        };
        QCOMPARE(std::get<0>(run({QStringLiteral("upgrade")})), 0);
        qint64 id;
        {
            sz::db::Connection c(env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb"));
            dunningdata::societa(c);
            c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = '127.0.0.1', Port = :P, TLS = 0, SSL = 0"),
                   {{QStringLiteral("P"), QString::number(srv.port)}});
            dunningdata::cliente(c, QStringLiteral("ROSSI SRL"), QStringLiteral("VIA ROMA 1"), QStringLiteral("r@rossi.it"));
            dunningdata::Credito k;
            k.scadenza = QDate::currentDate();
            id = dunningdata::aggiungi(c, k);
        }
        auto [code, out, err] = run({QStringLiteral("mail"), QStringLiteral("test")});
        QVERIFY2(code == 0, qPrintable(err));
        QVERIFY(out.startsWith(QStringLiteral("Verifica SMTP terminata con successo.")));
        QCOMPARE(srv.received(1)[QStringLiteral("subject")].toString(),
                 QStringLiteral("Gestione Crediti - TEST Mail e Connessione"));
        QCOMPARE(srv.received(1)[QStringLiteral("mailer")].toString(), QStringLiteral("Scadenzio"));

        std::tie(code, out, err) = run({QStringLiteral("dunning"), QStringLiteral("send"), QString::number(id)});
        QVERIFY2(code == 0, qPrintable(err));
        QVERIFY(out.trimmed().endsWith(QStringLiteral(".pdf")));
        const QJsonObject lettera = srv.received(2);
        QCOMPARE(lettera[QStringLiteral("to")].toString(), QStringLiteral("r@rossi.it"));
        QCOMPARE(lettera[QStringLiteral("attachments")].toArray().size(), 1);
    }

    // "Invia" end to end: the letter archived, mailed with its PDF, and the stage written.
    void lettersMailed()
    {
        SmtpServer srv(QStringLiteral("plain"));
        QVERIFY(srv.ready);
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("BIANCHI & FIGLI <SRL>"), QStringLiteral("VIA ROMA 1"),
                             QStringLiteral("a@bianchi.it"));
        dunningdata::cliente(c, QStringLiteral("MUTI SNC"));
        const QDate oggi = QDate::currentDate();
        dunningdata::Credito k;
        k.cliente = QStringLiteral("BIANCHI & FIGLI <SRL>");
        k.scadenza = oggi;
        k.banca = QStringLiteral("BANCA DI PADOVA");
        QList<qint64> ids;
        for (const char* n : {"1", "2", "3"}) {
            k.numero = QLatin1String(n);
            ids << dunningdata::aggiungi(c, k);
        }
        k.cliente = QStringLiteral("MUTI SNC");
        const qint64 muto = dunningdata::aggiungi(c, k);

        sz::dunning::GListaErrori.clear();
        sz::dunning::Lettere lettere(c, oggi, sz::paths::dataRoot(), QStringLiteral(SZ_PROGRAM_DIR "/"));
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(locale(srv.port)));
        const auto doc = lettere.perDocumento({ids[0], muto}, true);
        QCOMPARE(doc.pdf.size(), 2);
        QCOMPARE(sz::dunning::GListaErrori,
                 QStringList{QStringLiteral("Il Cliente MUTI SNC non contiente alcun indirizzo mail in anagrafica.")});
        QVERIFY(!c.scalar(QStringLiteral("SELECT Preavviso FROM t_crediti WHERE ID = :I"),
                          {{QStringLiteral("I"), muto}}).isNull());
        QJsonObject o = srv.received(1);
        QCOMPARE(o[QStringLiteral("subject")].toString(), QStringLiteral("AVVISO DI SCADENZA"));
        QCOMPARE(o[QStringLiteral("content_type")].toString(), QStringLiteral("multipart/related"));
        QVERIFY(o[QStringLiteral("html")].toString().contains(QStringLiteral("BIANCHI &amp; FIGLI &lt;SRL&gt;")));
        const QJsonObject allegato = o[QStringLiteral("attachments")].toArray()[0].toObject();
        QFile pdf(doc.pdf[0]);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(allegato[QStringLiteral("sha256")].toString(),
                 QString::fromLatin1(QCryptographicHash::hash(pdf.readAll(), QCryptographicHash::Sha256).toHex()));
        QCOMPARE(allegato[QStringLiteral("type")].toString(), QStringLiteral("application/pdf"));
        QCOMPARE(allegato[QStringLiteral("name")].toString(), QFileInfo(doc.pdf[0]).fileName());

        // One statement of three credits: the seventh column and the total row.
        sz::dunning::GListaErrori.clear();
        const auto cli = lettere.perCliente({{QStringLiteral("BIANCHI & FIGLI <SRL>"), ids}}, true);
        QVERIFY(sz::dunning::GListaErrori.isEmpty());
        o = srv.received(2);
        const QString html = o[QStringLiteral("html")].toString();
        QVERIFY(html.contains(QStringLiteral("align=\"center\">COMUNICAZIONE</td>")));
        QVERIFY(html.contains(QStringLiteral("<strong>TOTALE DA PAGARE</strong>")));
        QVERIFY(html.contains(QStringLiteral("<strong>€ 3.000,00</strong>")));
        QVERIFY(o[QStringLiteral("attachments")].toArray()[0].toObject()[QStringLiteral("name")].toString()
                    .endsWith(QStringLiteral("FIGLI SRL.pdf")));

        // A server that is not there: the reason on the error line, the stage still written.
        sz::dunning::GListaErrori.clear();
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(locale(TestEnv::freeLocalPort())));
        lettere.perDocumento({ids[1]}, true);
        QCOMPARE(sz::dunning::GListaErrori.size(), 1);
        QVERIFY2(sz::dunning::GListaErrori[0].startsWith(QStringLiteral(
                     "Si è verificato un errore durante la procedura di invio mail per il Documento N°2. - ")),
                 qPrintable(sz::dunning::GListaErrori[0]));
    }

    // A client's address with a line break reaches nothing: its letter is archived and
    // its stage written, the error line shows the address, and the server sees exactly
    // the envelope of the sound letter of the run and no other command.
    void hostileClientAddresses()
    {
        SmtpServer srv(QStringLiteral("plain"));
        QVERIFY(srv.ready);
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        const QString crlf = QStringLiteral("a@alfa.it>\r\nRCPT TO:<x@evil.test>\r\nDATA\r\nSubject: paga qui");
        const QString lf = QStringLiteral("b@beta.it>\nRCPT TO:<x@evil.test>");
        dunningdata::cliente(c, QStringLiteral("ALFA SRL"), QStringLiteral("VIA ROMA 1"), crlf);
        dunningdata::cliente(c, QStringLiteral("BETA SRL"), QStringLiteral("VIA ROMA 2"), QStringLiteral("b@beta.it"));
        c.exec(QStringLiteral("UPDATE t_clienti SET Mail2 = :M WHERE RagioneSociale = 'BETA SRL'"),
               {{QStringLiteral("M"), lf}});
        dunningdata::cliente(c, QStringLiteral("GAMMA SRL"), QStringLiteral("VIA ROMA 3"),
                             QStringLiteral(" c@gamma.it;d@gamma.it , "));
        const QDate oggi = QDate::currentDate();
        dunningdata::Credito k;
        k.scadenza = oggi;
        QList<qint64> ids;
        for (const char* n : {"ALFA SRL", "BETA SRL", "GAMMA SRL"}) {
            k.cliente = QLatin1String(n);
            ids << dunningdata::aggiungi(c, k);
        }
        sz::dunning::GListaErrori.clear();
        sz::dunning::Lettere lettere(c, oggi, sz::paths::dataRoot(), QStringLiteral(SZ_PROGRAM_DIR "/"));
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(locale(srv.port)));
        const auto esito = lettere.perDocumento(ids, true);
        QCOMPARE(esito.pdf.size(), 3);
        QCOMPARE(sz::dunning::GListaErrori,
                 (QStringList{QStringLiteral("Il Cliente ALFA SRL ha un indirizzo mail non valido (a@alfa.it>␍␊RCPT "
                                             "TO:<x@evil.test>␍␊DATA␍␊Subject: paga qui): la comunicazione non è "
                                             "stata inviata."),
                              QStringLiteral("Il Cliente BETA SRL ha un indirizzo mail non valido (b@beta.it>␊RCPT "
                                             "TO:<x@evil.test>): la comunicazione non è stata inviata.")}));
        for (qint64 id : ids)
            QCOMPARE(fase(c, id).toDate(), oggi);
        const auto sessioni = srv.commands();
        QCOMPARE(sessioni.size(), 1);
        QCOMPARE(comandi(sessioni[0]),
                 busta({QStringLiteral("c@gamma.it"), QStringLiteral("d@gamma.it"),
                        QStringLiteral("amministrazione@artigiana.it")}));
        QCOMPARE(srv.count(), 1);
        QCOMPARE(srv.received(1)[QStringLiteral("to")].toString(), QStringLiteral("c@gamma.it, d@gamma.it"));

        // The same for a statement per client.
        sz::dunning::GListaErrori.clear();
        lettere.perCliente({{QStringLiteral("ALFA SRL"), {ids[0]}}}, true);
        QCOMPARE(sz::dunning::GListaErrori.size(), 1);
        QCOMPARE(srv.commands().size(), 1);
    }

    // The firm's own address with a line break, or none: the run stops before its first
    // letter, and the mail test of the command line refuses it the same way.
    void hostileCompanyAddress()
    {
        SmtpServer srv(QStringLiteral("plain"));
        QVERIFY(srv.ready);
        TestEnv env;
        const QString cli = QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli");
        {
            QProcess p;
            p.start(cli, {QStringLiteral("upgrade")});
            QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        }
        sz::db::Connection c(env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb"));
        dunningdata::societa(c);
        c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = '127.0.0.1', Port = :P, TLS = 0, SSL = 0"),
               {{QStringLiteral("P"), QString::number(srv.port)}});
        dunningdata::cliente(c, QStringLiteral("ROSSI SRL"), QStringLiteral("VIA ROMA 1"), QStringLiteral("r@rossi.it"));
        const QDate oggi = QDate::currentDate();
        dunningdata::Credito k;
        k.scadenza = oggi;
        const qint64 id = dunningdata::aggiungi(c, k);

        const struct
        {
            QString mail, mostrata;
        } casi[] = {
            {QStringLiteral("amministrazione@artigiana.it>\r\nRCPT TO:<x@evil.test>"),
             QStringLiteral(" \"amministrazione@artigiana.it>␍␊RCPT TO:<x@evil.test>\" non è un indirizzo valido")},
            {QStringLiteral("amministrazione@artigiana.it\nRCPT TO:<x@evil.test>"),
             QStringLiteral(" \"amministrazione@artigiana.it␊RCPT TO:<x@evil.test>\" non è un indirizzo valido")},
            {QStringLiteral("Amministrazione <amministrazione@artigiana.it>"),
             QStringLiteral(" \"Amministrazione <amministrazione@artigiana.it>\" non è un indirizzo valido")},
            {QStringLiteral("  "), QStringLiteral(" non è impostata")},
        };
        for (const auto& caso : casi) {
            c.exec(QStringLiteral("UPDATE t_societa SET Mail = :M"), {{QStringLiteral("M"), caso.mail}});
            const QString atteso = QStringLiteral("ATTENZIONE: la mail della società (Mail in uso)") + caso.mostrata +
                                   QStringLiteral(": nessuna comunicazione è stata creata né inviata. Indicare la mail "
                                                  "in Impostazioni - Email e Connessione.");
            sz::dunning::GListaErrori.clear();
            sz::dunning::Lettere lettere(c, oggi, sz::paths::dataRoot(), QStringLiteral(SZ_PROGRAM_DIR "/"));
            lettere.setSpedizione(sz::dunning::spedizioneSmtp(locale(srv.port)));
            auto esito = lettere.perDocumento({id}, true);
            QCOMPARE(esito.guasto, atteso);
            QVERIFY(esito.pdf.isEmpty());
            QVERIFY(fase(c, id).isNull());
            esito = lettere.perCliente({{QStringLiteral("ROSSI SRL"), {id}}}, true);
            QCOMPARE(esito.guasto, atteso);
            QVERIFY(esito.pdf.isEmpty());

            QProcess p;
            p.start(cli, {QStringLiteral("mail"), QStringLiteral("test")});
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 1);
            const QString err = QString::fromUtf8(p.readAllStandardError());
            QVERIFY2(err.contains(caso.mail.isEmpty() || caso.mail.trimmed().isEmpty() ? QStringLiteral("non è impostata")
                                                                                     : caso.mostrata),
                     qPrintable(err));
        }
        QVERIFY(srv.commands().isEmpty());
        // Letters without mail still need no sender.
        sz::dunning::Lettere lettere(c, oggi, sz::paths::dataRoot(), QStringLiteral(SZ_PROGRAM_DIR "/"));
        QCOMPARE(lettere.perDocumento({id}, false).pdf.size(), 1);
    }

    // A client's unknown address costs that address only; all unknown, or a server that
    // never confirms, is the letter's error line.
    void lettersRefusedAndUnconfirmed()
    {
        SmtpServer srv(QStringLiteral("plain"), nullptr, QString(), {QStringLiteral("sconosciuto@delta.it")});
        QVERIFY(srv.ready);
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("DELTA SRL"), QStringLiteral("VIA ROMA 1"),
                             QStringLiteral("sconosciuto@delta.it, d@delta.it"));
        dunningdata::cliente(c, QStringLiteral("EPSILON SRL"), QStringLiteral("VIA ROMA 2"),
                             QStringLiteral("sconosciuto@delta.it"));
        const QDate oggi = QDate::currentDate();
        dunningdata::Credito k;
        k.scadenza = oggi;
        k.cliente = QStringLiteral("DELTA SRL");
        k.numero = QStringLiteral("D1");
        const qint64 delta = dunningdata::aggiungi(c, k);
        k.cliente = QStringLiteral("EPSILON SRL");
        k.numero = QStringLiteral("E1");
        const qint64 epsilon = dunningdata::aggiungi(c, k);

        sz::dunning::GListaErrori.clear();
        sz::dunning::Lettere lettere(c, oggi, sz::paths::dataRoot(), QStringLiteral(SZ_PROGRAM_DIR "/"));
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(locale(srv.port)));
        lettere.perDocumento({delta, epsilon}, true);
        QCOMPARE(sz::dunning::GListaErrori.size(), 2);
        QCOMPARE(sz::dunning::GListaErrori[0],
                 QStringLiteral("Il Cliente DELTA SRL: il server ha rifiutato l'indirizzo mail sconosciuto@delta.it "
                                "(550 5.1.1 <sconosciuto@delta.it>: Recipient address rejected: User unknown): la "
                                "comunicazione è stata inviata agli altri indirizzi."));
        QVERIFY2(sz::dunning::GListaErrori[1].startsWith(QStringLiteral(
                     "Si è verificato un errore durante la procedura di invio mail per il Documento N°E1. - il server "
                     "ha rifiutato tutti gli indirizzi del Cliente: sconosciuto@delta.it (550")),
                 qPrintable(sz::dunning::GListaErrori[1]));
        QCOMPARE(srv.received(1)[QStringLiteral("envelope")].toObject()[QStringLiteral("rcpt")].toArray(),
                 (QJsonArray{"d@delta.it", "amministrazione@artigiana.it"}));
        QCOMPARE(fase(c, epsilon).toDate(), oggi);

        SmtpServer muto(QStringLiteral("mute"));
        QVERIFY(muto.ready);
        sz::dunning::GListaErrori.clear();
        c.exec(QStringLiteral("UPDATE t_crediti SET Preavviso = NULL"));
        Server s = locale(muto.port);
        s.finalReplyTimeoutSeconds = 1;
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(s));
        lettere.perDocumento({delta}, true);
        QCOMPARE(sz::dunning::GListaErrori,
                 QStringList{QStringLiteral("Si è verificato un errore durante la procedura di invio mail per il "
                                            "Documento N°D1. - il server non ha confermato la ricezione: la "
                                            "comunicazione potrebbe essere stata recapitata")});
        QCOMPARE(fase(c, delta).toDate(), oggi);
    }

    // A Message-ID given by the caller is the one on the wire and the one returned; one
    // that could end its header line is replaced by a fresh one.
    void messageIdChosenByTheCaller()
    {
        SmtpServer srv(QStringLiteral("plain"));
        QVERIFY(srv.ready);
        Message m = semplice();
        m.messageId = newMessageId(m.from);
        QVERIFY(QRegularExpression(QStringLiteral("^<[0-9a-f-]{36}@artigiana\\.it>$")).match(m.messageId).hasMatch());
        QCOMPARE(send(locale(srv.port), m).messageId, m.messageId);
        QVERIFY(srv.received(1)[QStringLiteral("raw")].toString().contains(QStringLiteral("Message-ID: ") + m.messageId +
                                                                           QStringLiteral("\r\n")));
        m.messageId = QStringLiteral("<a@b>\r\nBcc: x@evil.test");
        const SendResult r = send(locale(srv.port), m);
        QVERIFY(r.messageId.endsWith(QStringLiteral("@artigiana.it>")));
        const QString raw = srv.received(2)[QStringLiteral("raw")].toString();
        QVERIFY(raw.contains(QStringLiteral("Message-ID: ") + r.messageId + QStringLiteral("\r\n")));
        QVERIFY(!raw.contains(QStringLiteral("evil")));
        // Without one, the transport makes its own and says which.
        m.messageId.clear();
        const SendResult proprio = send(locale(srv.port), m);
        QVERIFY(srv.received(3)[QStringLiteral("raw")].toString().contains(proprio.messageId));
    }

    // The letter log of mailed letters: the addresses each went to, the Message-ID it went
    // out with, and every way of not going out, each beside its stage date.
    void mailedLettersLogged()
    {
        SmtpServer srv(QStringLiteral("plain"), nullptr, QString(), {QStringLiteral("no@delta.it")});
        QVERIFY(srv.ready);
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("ALFA SRL"), QStringLiteral("VIA ROMA 1"),
                             QStringLiteral("a@alfa.it; b@alfa.it"));
        dunningdata::cliente(c, QStringLiteral("DELTA SRL"), QStringLiteral("VIA ROMA 2"),
                             QStringLiteral("no@delta.it, d@delta.it"));
        dunningdata::cliente(c, QStringLiteral("TUTTI NO SRL"), QStringLiteral("VIA ROMA 3"), QStringLiteral("no@delta.it"));
        dunningdata::cliente(c, QStringLiteral("MUTI SNC"));
        dunningdata::cliente(c, QStringLiteral("ROTTI SNC"), QStringLiteral("VIA ROMA 4"), QStringLiteral("r@rotti\r\n.it"));
        const QDate oggi = QDate::currentDate();
        dunningdata::Credito k;
        k.scadenza = oggi;
        QList<qint64> ids;
        for (const char* n : {"ALFA SRL", "DELTA SRL", "TUTTI NO SRL", "MUTI SNC", "ROTTI SNC"}) {
            k.cliente = QLatin1String(n);
            k.numero = QLatin1String(n).left(4);
            ids << dunningdata::aggiungi(c, k);
        }
        sz::dunning::GListaErrori.clear();
        sz::dunning::Lettere lettere(c, oggi, sz::paths::dataRoot(), QStringLiteral(SZ_PROGRAM_DIR "/"));
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(locale(srv.port)));
        QCOMPARE(lettere.perDocumento(ids, true).pdf.size(), 5);
        auto log = sz::invii::elenco(c, {});
        QCOMPARE(log.size(), 5);
        for (const auto& v : log) {
            QCOMPARE(v.canale, QStringLiteral("MAIL"));
            QCOMPARE(fase(c, v.idCredito).toDate(), v.dataOra.date());
        }
        QCOMPARE(log[0].esito, QStringLiteral("INVIATA"));
        QCOMPARE(log[0].destinatari, QStringLiteral("a@alfa.it, b@alfa.it"));
        QVERIFY(srv.received(1)[QStringLiteral("raw")].toString().contains(QStringLiteral("Message-ID: ") +
                                                                           log[0].messageId + QStringLiteral("\r\n")));
        // Sent to the address the server took.
        QCOMPARE(log[1].esito, QStringLiteral("INVIATA"));
        QCOMPARE(log[1].destinatari, QStringLiteral("d@delta.it"));
        QVERIFY(srv.received(2)[QStringLiteral("raw")].toString().contains(log[1].messageId));
        QVERIFY(log[2].esito.startsWith(QStringLiteral("NON INVIATA: il server ha rifiutato tutti gli indirizzi del "
                                                       "Cliente: no@delta.it (550")));
        QCOMPARE(log[2].destinatari, QStringLiteral("no@delta.it"));
        QCOMPARE(log[3].esito, QStringLiteral("NON INVIATA: nessun indirizzo mail in anagrafica"));
        QVERIFY(log[3].destinatari.isEmpty() && log[3].messageId.isEmpty());
        QCOMPARE(log[4].esito, QStringLiteral("NON INVIATA: indirizzo mail non valido: r@rotti␍␊.it"));
        QVERIFY(!log[4].esito.contains(QLatin1Char('\n')));

        // No server at all; a server that takes the message and never confirms it.
        c.exec(QStringLiteral("UPDATE t_crediti SET Preavviso = NULL"));
        c.exec(QStringLiteral("DELETE FROM t_invii"));
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(locale(TestEnv::freeLocalPort())));
        lettere.perDocumento({ids[0]}, true);
        SmtpServer muto(QStringLiteral("mute"));
        QVERIFY(muto.ready);
        Server s = locale(muto.port);
        s.finalReplyTimeoutSeconds = 1;
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(s));
        lettere.perCliente({{QStringLiteral("DELTA SRL"), {ids[1]}}}, true);
        log = sz::invii::elenco(c, {});
        QCOMPARE(log.size(), 2);
        QVERIFY2(log[0].esito.startsWith(QStringLiteral("NON INVIATA: invio della mail non riuscito")),
                 qPrintable(log[0].esito));
        QVERIFY(log[0].messageId.isEmpty());
        QCOMPARE(log[0].destinatari, QStringLiteral("a@alfa.it, b@alfa.it"));
        QCOMPARE(log[1].esito, QStringLiteral("NON INVIATA: ") + uncertainText());
        QCOMPARE(log[1].modo, QStringLiteral("CLIENTE"));
        // The server may hold it: its name is kept to find it.
        QVERIFY(log[1].messageId.startsWith(QLatin1Char('<')));
        for (const auto& v : log)
            QCOMPARE(fase(c, v.idCredito).toDate(), oggi);
    }

    // A certified mailbox over implicit TLS: no blind copy on the envelope, the reverse
    // path the From, each letter logged as "PEC" with the Message-ID it went out with; a
    // plain mailbox keeps the firm's copy.
    void certifiedLettersMailed()
    {
        SmtpServer srv(QStringLiteral("implicit"), &pki);
        QVERIFY(srv.ready);
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = '127.0.0.1', PEC = 1, PECMessaggiMinuto = 60"));
        dunningdata::cliente(c, QStringLiteral("ALFA SRL"), QStringLiteral("VIA ROMA 1"),
                             QStringLiteral("a@alfa.it; b@alfa.it"));
        dunningdata::cliente(c, QStringLiteral("BETA SRL"), QStringLiteral("VIA ROMA 2"), QStringLiteral("c@beta.it"));
        const QDate oggi = QDate::currentDate();
        dunningdata::Credito k;
        k.scadenza = oggi;
        QList<qint64> ids;
        for (const char* n : {"ALFA SRL", "BETA SRL"}) {
            k.cliente = QLatin1String(n);
            ids << dunningdata::aggiungi(c, k);
        }
        const sz::dunning::RegolePosta regole = sz::dunning::regolePosta(c);
        QVERIFY(regole.certificata && regole.messaggiMinuto == 60);
        Server s = locale(srv.port, Security::Implicit);
        s.caFile = pki.path("ca.pem");
        sz::dunning::GListaErrori.clear();
        sz::dunning::Lettere lettere(c, oggi, sz::paths::dataRoot(), QStringLiteral(SZ_PROGRAM_DIR "/"));
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(s, regole));
        QCOMPARE(lettere.perDocumento(ids, true).pdf.size(), 2);
        QVERIFY2(sz::dunning::GListaErrori.isEmpty(), qPrintable(sz::dunning::GListaErrori.join('\n')));
        QCOMPARE(srv.count(), 2);
        const auto log = sz::invii::elenco(c, {});
        QCOMPARE(log.size(), 2);
        const QList<QJsonArray> buste = {QJsonArray{"a@alfa.it", "b@alfa.it"}, QJsonArray{"c@beta.it"}};
        for (int i = 0; i < 2; ++i) {
            const QJsonObject o = srv.received(i + 1);
            const QJsonObject busta = o[QStringLiteral("envelope")].toObject();
            QCOMPARE(busta[QStringLiteral("rcpt")].toArray(), buste[i]);
            QCOMPARE(busta[QStringLiteral("from")].toString(), QStringLiteral("amministrazione@artigiana.it"));
            QVERIFY(o[QStringLiteral("bcc")].isNull());
            QCOMPARE(log[i].canale, QStringLiteral("PEC"));
            QCOMPARE(log[i].esito, QStringLiteral("INVIATA"));
            QVERIFY(log[i].messageId.startsWith(QLatin1Char('<')));
            QVERIFY(o[QStringLiteral("raw")].toString().contains(QStringLiteral("Message-ID: ") + log[i].messageId +
                                                                 QStringLiteral("\r\n")));
        }
        // A letter that could not go is still the PEC run's: its row says so.
        dunningdata::cliente(c, QStringLiteral("MUTI SNC"));
        k.cliente = QStringLiteral("MUTI SNC");
        const qint64 muto = dunningdata::aggiungi(c, k);
        lettere.perDocumento({muto}, true);
        QCOMPARE(sz::invii::elenco(c, {}).last().canale, QStringLiteral("PEC"));

        // The same mailbox not marked as PEC: the firm's blind copy, "MAIL".
        c.exec(QStringLiteral("UPDATE t_ISP SET PEC = 0"));
        c.exec(QStringLiteral("UPDATE t_crediti SET Preavviso = NULL WHERE ID = :I"), {{QStringLiteral("I"), ids[1]}});
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(s, sz::dunning::regolePosta(c)));
        lettere.perDocumento({ids[1]}, true);
        QCOMPARE(srv.received(3)[QStringLiteral("envelope")].toObject()[QStringLiteral("rcpt")].toArray(),
                 (QJsonArray{"c@beta.it", "amministrazione@artigiana.it"}));
        QCOMPARE(sz::invii::elenco(c, {}).last().canale, QStringLiteral("MAIL"));
        // The letters of the last minute count against the cap of the next run, once each
        // however many credits a letter had, a second later than the log's whole seconds.
        const auto recenti = sz::dunning::regolePosta(c).inviatiMsFa;
        QCOMPARE(recenti.size(), 0); // not PEC now
        c.exec(QStringLiteral("UPDATE t_ISP SET PEC = 1"));
        c.exec(QStringLiteral("UPDATE t_invii SET DataOra = :D"),
               {{QStringLiteral("D"), QDateTime::currentDateTime().addSecs(-30).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        const auto mezzoMinuto = sz::dunning::regolePosta(c).inviatiMsFa;
        QCOMPARE(mezzoMinuto.size(), 2); // the two PEC letters sent; not the one that never went
        for (qint64 ms : mezzoMinuto)
            QVERIFY2(ms >= 28000 && ms <= 30500, qPrintable(QString::number(ms)));
        c.exec(QStringLiteral("UPDATE t_invii SET DataOra = :D"),
               {{QStringLiteral("D"), QDateTime::currentDateTime().addSecs(-90).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        QVERIFY(sz::dunning::regolePosta(c).inviatiMsFa.isEmpty());
        // A server of a known PEC provider is certified even unticked.
        c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = 'SMTPS.PEC.ARUBA.IT', PECMessaggiMinuto = 99"));
        QVERIFY(sz::dunning::regolePosta(c).certificata && sz::dunning::regolePosta(c).messaggiMinuto == 6);
    }

    // The pace: at most N messages in any minute, whatever the run; the wait stops at once
    // when the run is stopped. A clock of the test's own, so nobody waits a minute.
    void certifiedMailPace()
    {
        qint64 ora = 0;
        int pause = 0;
        const auto orologio = [&ora] { return ora; };
        const auto pausa = [&](qint64 ms) {
            ++pause;
            QVERIFY(ms >= 1 && ms <= 200); // short naps: a stop is seen within a moment
            ora += ms;
        };
        {
            sz::dunning::Cadenza cadenza(6, orologio, pausa);
            QList<qint64> partenze;
            for (int i = 0; i < 13; ++i) {
                QVERIFY(cadenza.attendiTurno({}));
                partenze << ora;
                ora += 1500; // each message takes a second and a half
                cadenza.registra();
            }
            // Six at once, the seventh a minute after the first one was through, and so on.
            QCOMPARE(partenze, (QList<qint64>{0, 1500, 3000, 4500, 6000, 7500, 61500, 63000, 64500, 66000, 67500,
                                              69000, 123000}));
            // Never more than six accepted within any 60 seconds.
            for (int i = 6; i < partenze.size(); ++i)
                QVERIFY(partenze[i] + 1500 - (partenze[i - 6] + 1500) >= 60000);
        }
        {
            // Messages another run sent 50 and 20 seconds ago: with 2 a minute, the next one
            // waits until the older is a minute old.
            sz::dunning::Cadenza cadenza(2, orologio, pausa);
            ora = 100000;
            cadenza.ricorda(20000);
            cadenza.ricorda(50000);
            QVERIFY(cadenza.attendiTurno({}));
            QCOMPARE(ora, 110000);
        }
        {
            // Stopped while waiting: false within one nap, nothing counted.
            sz::dunning::Cadenza cadenza(1, orologio, pausa);
            ora = 0;
            cadenza.registra();
            pause = 0;
            int domande = 0;
            QVERIFY(!cadenza.attendiTurno([&] { return ++domande > 3; }));
            QCOMPARE(pause, 3);
            QVERIFY(ora < 1000);
        }

        // Through the real server: 4 letters at 2 a minute, the third and fourth after the
        // minute; then Annulla during the wait leaves the fifth unsent, said as such.
        SmtpServer srv(QStringLiteral("plain"));
        QVERIFY(srv.ready);
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        const QDate oggi = QDate::currentDate();
        dunningdata::Credito k;
        k.scadenza = oggi;
        QList<qint64> ids;
        for (const char* n : {"ALFA SRL", "BETA SRL", "GAMMA SRL", "DELTA SRL", "EPSILON SRL"}) {
            dunningdata::cliente(c, QLatin1String(n), QStringLiteral("VIA ROMA 1"),
                                 QString::fromLatin1(n).left(4).toLower() + QStringLiteral("@x.it"));
            k.cliente = QLatin1String(n);
            ids << dunningdata::aggiungi(c, k);
        }
        ora = 0;
        sz::dunning::RegolePosta regole;
        regole.certificata = true;
        regole.cadenza = std::make_shared<sz::dunning::Cadenza>(2, orologio, pausa);
        std::atomic_bool annulla{false};
        Server s = locale(srv.port);
        s.cancel = &annulla;
        QList<qint64> arrivi;
        sz::dunning::Lettere lettere(c, oggi, sz::paths::dataRoot(), QStringLiteral(SZ_PROGRAM_DIR "/"));
        lettere.setSpedizione(sz::dunning::spedizioneSmtp(s, regole));
        lettere.setDopoLettera([&](const sz::dunning::LetteraFatta&) { arrivi << ora; });
        sz::dunning::GListaErrori.clear();
        lettere.perDocumento(ids.mid(0, 4), true);
        QCOMPARE(srv.count(), 4);
        QCOMPARE(arrivi, (QList<qint64>{0, 0, 60000, 60000}));
        annulla = true;
        lettere.perDocumento({ids[4]}, true);
        QCOMPARE(srv.count(), 4);
        const auto ultima = sz::invii::elenco(c, {}).last();
        QVERIFY2(ultima.esito.startsWith(QStringLiteral("NON INVIATA: invio annullato dall'utente prima della "
                                                        "spedizione")),
                 qPrintable(ultima.esito));
        QVERIFY(ora < 61000);
    }

    // The introduction and the closing keep their lines whatever break the editor saved.
    void mailBodyLineBreaks()
    {
        sz::dunning::Invio invio;
        invio.introduzione = QStringLiteral("Uno\r\nDue\nTre\rQuattro <5>");
        invio.finale = QStringLiteral("Saluti\n\nFirma");
        const QString html = sz::dunning::corpoMail(invio);
        QVERIFY(html.contains(QStringLiteral("<p>Uno<br />Due<br />Tre<br />Quattro &lt;5&gt;</p>")));
        QVERIFY(html.contains(QStringLiteral("<p>Saluti<br /><br />Firma</p>")));
    }
};

QTEST_MAIN(TestMail)
#include "tst_mail.moc"
