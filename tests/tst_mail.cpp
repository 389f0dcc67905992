// Mail against a real SMTP server on 127.0.0.1, with certificates made for the test:
// plain, STARTTLS, implicit TLS, authentication, refusals, and the letters as a mail
// reader receives them.
#include "DunningData.h"
#include "Lettere.h"
#include "Posta.h"
#include "TestEnv.h"

#include "scadenzio/Paths.h"
#include "scadenzio/mail/Transport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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
    SmtpServer(const QString& mode, const Pki* pki = nullptr, const QString& auth = QString()) : port(TestEnv::freeLocalPort())
    {
        QStringList args = {script, QStringLiteral("--port"), QString::number(port), QStringLiteral("--mode"), mode,
                            QStringLiteral("--out"), out.path()};
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
        // A server that takes the message and never answers does not hold the run.
        SmtpServer muto(QStringLiteral("mute"));
        QVERIFY(muto.ready);
        t.restart();
        QVERIFY(!fallimento(locale(muto.port), semplice()).isEmpty());
        QVERIFY2(t.elapsed() < 15000, qPrintable(QString::number(t.elapsed())));
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
};

QTEST_MAIN(TestMail)
#include "tst_mail.moc"
