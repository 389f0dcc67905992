// The outgoing-mail settings: the provider files, the server and the message the test
// sends, and the frame with what it stores. No message leaves the machine: the frame's
// test goes through a stand-in, or to a port where nothing listens.
#include "TestEnv.h"

#include "Isp.h"
#include "IspLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using sz::db::Connection;
using sz::mail::Security;
using namespace sz::mailserver;

namespace {

const QString FailurePrefix =
    QStringLiteral("Si è verificato il seguente errore durante la procedura di verifica dei dati: ");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Two providers in the new format, one in the old (server only), one without a section.
void writeProviders()
{
    writeFile(providerListPath(), "ARUBA PEC\r\nTIM\r\n\r\nVECCHIO\r\nSENZA SEZIONE\r\n");
    writeFile(providerIniPath(), "[ARUBA PEC]\nSMTP=smtps.pec.aruba.it\nPorta=465\nSicurezza=SSL\n"
                                 "[TIM]\nSMTP = smtp.tim.it\nPorta=587\nSicurezza=starttls\n"
                                 "[VECCHIO]\nSMTP=mail.vecchio.it\n");
}

template <typename T>
T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("missing widget %s", name);
    return c;
}

void type(QWidget* w, const char* name, const QString& text)
{
    auto* edit = child<QLineEdit>(w, name);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void choose(QComboBox* box, const QString& item)
{
    const int i = box->findText(item);
    QVERIFY(i >= 0);
    box->setCurrentIndex(i);
    emit box->activated(i);
}

// An installed database with its settings row and the company's own row.
void install(TestEnv& env, const QString& smtp = {}, const QString& mail = QStringLiteral("ufficio@rossi.it"))
{
    Connection c(env.installDatabase());
    c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, IVA, Mail) VALUES ('ROSSI SRL', '01234567890', :m)"),
           {{QStringLiteral("m"), mail}});
    c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = :s"), {{QStringLiteral("s"), smtp.isEmpty() ? QVariant() : smtp}});
}

sz::db::Result stored()
{
    Connection c(sz::paths::LoadConnection());
    return c.query(QStringLiteral("SELECT SMTP, Port, \"User\", Pass, TLS, SSL, "
                                  "(SELECT Mail FROM t_societa) AS Mail FROM t_ISP"));
}

} // namespace

class TestMailServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::fontsAvailable());
        sz::ui::applyLook();
    }

    // What ships must read: a typo in a section name would leave a provider without server.
    void shippedProvidersAreComplete()
    {
        const QString dir = QStringLiteral(SZ_PROGRAM_DIR "/Config/");
        const auto list = loadProviders(dir + QStringLiteral("SezioneRegistrazione_ListaISP.txt"),
                                        dir + QStringLiteral("ListaISP.ini"));
        QVERIFY(list.size() >= 15);
        QCOMPARE(list.first().name, QStringLiteral("ALTRO FORNITORE"));
        QVERIFY(list.first().smtp.isEmpty());
        for (const auto& p : list.mid(1)) {
            QVERIFY2(!p.smtp.isEmpty() && p.port && p.security, qPrintable(p.name));
            QVERIFY2((*p.port == 465) == (*p.security == Security::Implicit), qPrintable(p.name));
            if (p.name.startsWith(QLatin1String("PEC ")))
                QCOMPARE(*p.security, Security::Implicit);
        }
    }

    void providerFilesAndMatching()
    {
        TestEnv env;
        QVERIFY(loadProviders().isEmpty());
        QCOMPARE(matchProvider({}, QStringLiteral("SMTP.TIM.IT")), -1);

        writeProviders();
        const auto list = loadProviders();
        QCOMPARE(readProviderNames(providerListPath()),
                 QStringList({"ARUBA PEC", "TIM", "VECCHIO", "SENZA SEZIONE"}));
        QCOMPARE(list[1].smtp, QStringLiteral("smtp.tim.it"));
        QCOMPARE(list[1].security, Security::StartTls);
        QCOMPARE(list[2].smtp, QStringLiteral("mail.vecchio.it"));
        QVERIFY(!list[2].port && !list[2].security);
        QVERIFY(list[3].smtp.isEmpty());

        QCOMPARE(matchProvider(list, QStringLiteral("SMTP.TIM.IT")), 1);
        QCOMPARE(matchProvider(list, QStringLiteral("mail.Vecchio.it")), 2);
        QCOMPARE(matchProvider(list, QStringLiteral("SMTP.ALTRO.IT")), 0);
        // Two providers on one server: the first one in the list.
        QCOMPARE(matchProvider({{"A", "s.it", {}, {}}, {"B", "S.IT", {}, {}}}, QStringLiteral("S.IT")), 0);
        // Written on Windows: Latin-1 names.
        writeFile(providerListPath(), "CONNETTIVIT\xc0 SPA\n");
        QCOMPARE(readProviderNames(providerListPath()), QStringList({QStringLiteral("CONNETTIVITÀ SPA")}));
    }

    void serverFromTheFields()
    {
        TestEnv env;
        Fields f{QStringLiteral(" SMTP.TIM.IT "), QString(), QStringLiteral("rossi"), QString(), Security::StartTls};
        auto s = serverFromFields(f);
        QCOMPARE(s.host, QStringLiteral("SMTP.TIM.IT"));
        QCOMPARE(s.port, 25);
        QCOMPARE(s.security, Security::StartTls);
        QVERIFY(s.user.isEmpty() && s.password.isEmpty()); // a user without a password sends none
        QVERIFY(s.caFile.isEmpty());

        f.port = QStringLiteral("587");
        f.password = QStringLiteral("segreta");
        writeFile(sz::paths::configIniPath(), "[ConnectionString]\nstrConn=\n[Mail]\nCAFile=/etc/ditta/ca.pem\n");
        s = serverFromFields(f);
        QCOMPARE(s.port, 587);
        QCOMPARE(s.user + QLatin1Char('/') + s.password, QStringLiteral("rossi/segreta"));
        QCOMPARE(s.caFile, QStringLiteral("/etc/ditta/ca.pem"));

        f.user.clear();
        QVERIFY(serverFromFields(f).password.isEmpty());
        f.port = QStringLiteral("465");
        f.security = Security::None;
        QCOMPARE(serverFromFields(f).security, Security::Implicit);

        for (const char* bad : {"abc", "0", "65536", "25 26"}) {
            f.port = QString::fromLatin1(bad);
            try {
                serverFromFields(f);
                QFAIL(bad);
            } catch (const sz::Error& e) {
                QVERIFY(e.message().startsWith(QStringLiteral("la porta \"%1\" non è valida").arg(bad)));
            }
        }
    }

    void testMessageAndItsAnswers()
    {
        const auto m = testMessage(QStringLiteral("ufficio@rossi.it"), QStringLiteral("SMTP.TIM.IT"));
        QCOMPARE(m.from, QStringLiteral("ufficio@rossi.it"));
        QCOMPARE(m.to, QStringList({"ufficio@rossi.it"}));
        QVERIFY(m.blindCopy.isEmpty() && m.html.isEmpty() && m.attachments.isEmpty() && !m.related);
        QCOMPARE(m.subject, QStringLiteral("Gestione Crediti - TEST Mail e Connessione"));
        QCOMPARE(m.agent, QStringLiteral("Scadenzio"));
        QCOMPARE(m.text, QStringLiteral("La procedura di invio mail è stata eseguita correttamente.\r\n"
                                        "Mail in uso: ufficio@rossi.it\r\n\r\nSMTP utilizzato: SMTP.TIM.IT"));

        QCOMPARE(testFailureText(sz::Error(QStringLiteral("porta errata"))), FailurePrefix + "porta errata");
        QCOMPARE(testFailureText(sz::mail::MailError(QStringLiteral("Login denied"), QStringLiteral("535 5.7.8 No"))),
                 FailurePrefix + "Login denied (risposta del server: 535 5.7.8 No)");
        QCOMPARE(testFailureText(sz::mail::MailError(QStringLiteral("Login denied: 535 5.7.8 No"),
                                                     QStringLiteral("535 5.7.8 No"))),
                 FailurePrefix + "Login denied: 535 5.7.8 No");
    }

    void frameShowsTheSettings()
    {
        TestEnv env;
        install(env, QStringLiteral("smtp.tim.it"));
        writeProviders();
        sz::ui::MessageRecorder rec;
        TFrameISP f;
        QCOMPARE(f.heading()->titleLabel()->text(), QStringLiteral("Email e connesione"));
        const QStringList lines = f.heading()->descriptionLabel()->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 9);
        QVERIFY(lines[1].isEmpty());
        QVERIFY(lines[8].endsWith(QStringLiteral("(necessario per caselle mail di tipo gmail e hotmail)")));

        QStringList captions;
        for (const auto* l : f.findChildren<QLabel*>())
            if (l->buddy())
                captions << l->text();
        for (const char* c : {"Connesione in uso:", "Server della posta in uscita (SMTP):", "Porta:",
                              "Nome utente (solo se richiesto):", "Password (solo se richiesto):", "Mail in uso:"})
            QVERIFY2(captions.contains(QString::fromUtf8(c)), c);
        QCOMPARE(child<QLabel>(&f, "LabelTLS")->buddy(), child<QRadioButton>(&f, "RadioTLS"));
        QVERIFY(child<QLabel>(&f, "LabelTLS")->text().startsWith(QStringLiteral("Usa una connessione crittografata TLS")));
        QCOMPARE(child<QRadioButton>(&f, "RadioNessuna")->text(), QStringLiteral("Nessuna"));
        QCOMPARE(child<QRadioButton>(&f, "RadioTLS")->text(), QStringLiteral("STARTTLS"));
        QCOMPARE(child<QRadioButton>(&f, "RadioSSL")->text(), QStringLiteral("SSL/TLS (porta 465)"));
        QCOMPARE(child<QLineEdit>(&f, "DBEditPass")->echoMode(), QLineEdit::Password);
        auto* test = child<QPushButton>(&f, "ButtonTest");
        QCOMPARE(test->text(), QStringLiteral("Esegui un test di verifica dei dati immessi"));
        QCOMPARE(test->toolTip(), QStringLiteral("Esegue un test di verifica inviando una mail alla propria casella di posta"));

        // The stored server, in small letters, is recognised; the row is in editing, untouched.
        auto* combo = child<QComboBox>(&f, "ComboBoxISP");
        QCOMPARE(combo->count(), 4);
        QCOMPARE(combo->currentText(), QStringLiteral("TIM"));
        QCOMPARE(f.ADOQueryISP()->state(), sz::db::Dataset::State::Edit);
        QVERIFY(!f.hasUnsavedChanges());
        QVERIFY(test->isEnabled());
        QVERIFY(child<QRadioButton>(&f, "RadioNessuna")->isChecked());
        QVERIFY(rec.messages.isEmpty());
    }

    void providerAtOpeningWithoutAMatchOrWithoutFiles()
    {
        TestEnv env;
        install(env, QStringLiteral("MAIL.DITTA.IT"));
        {
            TFrameISP f;
            QCOMPARE(child<QComboBox>(&f, "ComboBoxISP")->count(), 0);
            QCOMPARE(child<QLineEdit>(&f, "DBEditSMTP")->text(), QStringLiteral("MAIL.DITTA.IT"));
        }
        writeProviders();
        TFrameISP f;
        QCOMPARE(child<QComboBox>(&f, "ComboBoxISP")->currentText(), QStringLiteral("ARUBA PEC"));
        QCOMPARE(child<QLineEdit>(&f, "DBEditSMTP")->text(), QStringLiteral("MAIL.DITTA.IT"));
        QVERIFY(!f.hasUnsavedChanges());
    }

    // Typed in small letters, stored in capitals, found again at the next opening; each
    // choice of security stored as its two switches, with the proposed port.
    void choicesAreStored()
    {
        TestEnv env;
        install(env);
        writeProviders();
        sz::ui::MessageRecorder rec;
        {
            TFrameISP f;
            auto* port = child<QLineEdit>(&f, "DBEditPort");
            child<QRadioButton>(&f, "RadioSSL")->click();
            QCOMPARE(port->text(), QStringLiteral("465"));
            QVERIFY(f.saveChanges());
            QCOMPARE(stored().rows[0].mid(4, 2), QVector<QVariant>({false, true}));

            type(&f, "DBEditPort", QStringLiteral("25"));
            child<QRadioButton>(&f, "RadioTLS")->click();
            QCOMPARE(port->text(), QStringLiteral("25")); // a port already there stays
            QVERIFY(f.saveChanges());
            QCOMPARE(stored().rows[0].mid(4, 2), QVector<QVariant>({true, false}));

            child<QRadioButton>(&f, "RadioNessuna")->click();
            type(&f, "DBEditPort", QString());
            QVERIFY(f.saveChanges());
            QCOMPARE(stored().rows[0].mid(4, 2), QVector<QVariant>({false, false}));
            child<QRadioButton>(&f, "RadioTLS")->click();
            QCOMPARE(port->text(), QStringLiteral("587"));

            // A provider fills server, port and security; an old-format one the server alone.
            choose(child<QComboBox>(&f, "ComboBoxISP"), QStringLiteral("ARUBA PEC"));
            QCOMPARE(child<QLineEdit>(&f, "DBEditSMTP")->text(), QStringLiteral("SMTPS.PEC.ARUBA.IT"));
            QCOMPARE(port->text(), QStringLiteral("465"));
            QVERIFY(child<QRadioButton>(&f, "RadioSSL")->isChecked());
            choose(child<QComboBox>(&f, "ComboBoxISP"), QStringLiteral("VECCHIO"));
            QCOMPARE(port->text(), QStringLiteral("465"));
            QVERIFY(child<QRadioButton>(&f, "RadioSSL")->isChecked());
            type(&f, "DBEditSMTP", QStringLiteral("smtp.tim.it"));
            QVERIFY(f.saveChanges());
        }
        QCOMPARE(stored().rows[0].mid(0, 2), QVector<QVariant>({"SMTP.TIM.IT", "465"}));
        TFrameISP again;
        QCOMPARE(child<QComboBox>(&again, "ComboBoxISP")->currentText(), QStringLiteral("TIM"));
        QVERIFY(child<QRadioButton>(&again, "RadioSSL")->isChecked());
    }

    void testButtonFollowsServerAndMail()
    {
        TestEnv env;
        install(env, {}, {});
        sz::ui::MessageRecorder rec;
        TFrameISP f;
        auto* test = child<QPushButton>(&f, "ButtonTest");
        QVERIFY(!test->isEnabled());
        type(&f, "DBEditSMTP", QStringLiteral("smtp.tim.it"));
        QVERIFY(!test->isEnabled());
        type(&f, "DBEditMail", QStringLiteral("ufficio@rossi.it"));
        QVERIFY(test->isEnabled());
        type(&f, "DBEditMail", QStringLiteral("  "));
        QVERIFY(!test->isEnabled());
    }

    // The test sends what is on the screen, saves nothing, and tells each outcome.
    void testSendsTheScreenAndSavesNothing()
    {
        TestEnv env;
        install(env, QStringLiteral("SMTP.TIM.IT"));
        sz::ui::MessageRecorder rec;
        TFrameISP f;
        QList<QPair<sz::mail::Server, sz::mail::Message>> sent;
        f.setSender([&sent](const sz::mail::Server& s, const sz::mail::Message& m) { sent.append({s, m}); });
        type(&f, "DBEditSMTP", QStringLiteral("out.alice.it"));
        type(&f, "DBEditUser", QStringLiteral("rossi"));
        type(&f, "DBEditPass", QStringLiteral("segreta"));
        type(&f, "DBEditMail", QStringLiteral("amministrazione@rossi.it"));
        child<QRadioButton>(&f, "RadioTLS")->click();
        QTest::mouseClick(child<QPushButton>(&f, "ButtonTest"), Qt::LeftButton);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].first.host, QStringLiteral("OUT.ALICE.IT"));
        QCOMPARE(sent[0].first.port, 587);
        QCOMPARE(sent[0].first.security, Security::StartTls);
        QCOMPARE(sent[0].first.password, QStringLiteral("segreta"));
        QCOMPARE(sent[0].second.to, QStringList({"amministrazione@rossi.it"}));
        QCOMPARE(rec.messages, QStringList({testSuccessText()}));
        QCOMPARE(stored().rows[0][0], QVariant("SMTP.TIM.IT"));
        QCOMPARE(stored().rows[0][6], QVariant("ufficio@rossi.it"));
        QVERIFY(f.hasUnsavedChanges());
        QVERIFY(!QApplication::overrideCursor());

        f.setSender([](const sz::mail::Server&, const sz::mail::Message&) {
            throw sz::mail::MailError(QStringLiteral("Login denied"), QString());
        });
        child<QPushButton>(&f, "ButtonTest")->click();
        QCOMPARE(rec.messages.last(), FailurePrefix + "Login denied");
        type(&f, "DBEditPort", QStringLiteral("25a"));
        child<QPushButton>(&f, "ButtonTest")->click();
        QVERIFY(rec.messages.last().startsWith(FailurePrefix + "la porta \"25a\" non è valida"));

        // Through the transport itself, to a port where nothing listens.
        f.setSender(sz::mail::send);
        type(&f, "DBEditSMTP", QStringLiteral("127.0.0.1"));
        type(&f, "DBEditPort", QStringLiteral("1"));
        child<QRadioButton>(&f, "RadioNessuna")->click();
        child<QPushButton>(&f, "ButtonTest")->click();
        QCOMPARE(rec.messages.size(), 4);
        QVERIFY(rec.messages.last().startsWith(FailurePrefix));
        QVERIFY(!QApplication::overrideCursor());
    }

    // The settings row and the company's address are written together or not at all.
    void saveWritesBothRowsTogether()
    {
        TestEnv env;
        install(env, QStringLiteral("SMTP.TIM.IT"));
        sz::ui::MessageRecorder rec;
        {
            TFrameISP f;
            type(&f, "DBEditMail", QStringLiteral("crediti@rossi.it"));
            QVERIFY(f.saveChanges()); // the address alone
            QCOMPARE(stored().rows[0][6], QVariant("crediti@rossi.it"));

            type(&f, "DBEditSMTP", QStringLiteral("out.alice.it"));
            type(&f, "DBEditMail", QStringLiteral("nuova@rossi.it"));
            {
                Connection other(sz::paths::LoadConnection());
                other.exec(QStringLiteral("UPDATE t_societa SET Mail = 'altra@rossi.it'"));
            }
            QVERIFY(!f.saveChanges());
            QCOMPARE(rec.messages.size(), 1);
            QVERIFY(rec.messages[0].contains(QStringLiteral("modificata da un'altra finestra")));
            QCOMPARE(stored().rows[0][0], QVariant("SMTP.TIM.IT"));
            QCOMPARE(stored().rows[0][6], QVariant("altra@rossi.it"));
            QCOMPARE(child<QLineEdit>(&f, "DBEditSMTP")->text(), QStringLiteral("OUT.ALICE.IT"));

            // Annulla reads what the other window saved, and the save works again.
            f.discardChanges();
            QCOMPARE(child<QLineEdit>(&f, "DBEditMail")->text(), QStringLiteral("altra@rossi.it"));
            type(&f, "DBEditSMTP", QStringLiteral("out.alice.it"));
            QVERIFY(f.saveChanges());
        }
        QCOMPARE(stored().rows[0][0], QVariant("OUT.ALICE.IT"));
    }

    void unsavedChangesQuestion()
    {
        TestEnv env;
        install(env, QStringLiteral("SMTP.TIM.IT"));
        sz::ui::MessageRecorder rec;
        TFrameISP f;
        QVERIFY(f.confirmLeave());
        QVERIFY(rec.messages.isEmpty());

        child<QRadioButton>(&f, "RadioSSL")->click();
        rec.answerNextChoice(sz::ui::Choice::Cancel);
        QVERIFY(!f.confirmLeave());
        rec.answerNextChoice(sz::ui::Choice::No);
        QVERIFY(f.confirmLeave());
        QCOMPARE(rec.messages, QStringList({"Salvare le modifiche?", "Salvare le modifiche?"}));
        QVERIFY(child<QRadioButton>(&f, "RadioNessuna")->isChecked());
        QVERIFY(child<QLineEdit>(&f, "DBEditPort")->text().isEmpty());
        QVERIFY(!f.hasUnsavedChanges());

        type(&f, "DBEditPass", QStringLiteral("segreta"));
        rec.answerNextChoice(sz::ui::Choice::Yes);
        QVERIFY(f.confirmLeave());
        QCOMPARE(stored().rows[0][3], QVariant("segreta")); // as typed
    }

    // The tool tests the stored settings, with the provider files installed beside them,
    // and tells a failure by its exit code and the framed text on standard error.
    void commandLine()
    {
        TestEnv env;
        const QString cli = QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli");
        auto run = [&cli](const QStringList& args) {
            QProcess p;
            p.start(cli, args);
            p.waitForFinished(60000);
            return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardError()).trimmed()};
        };
        QCOMPARE(run({QStringLiteral("upgrade")}).first, 0);
        // The tool keeps its files under its own program folder's name.
        QVERIFY(QFileInfo::exists(env.configHome() + QStringLiteral("/Scadenzio/Config/ListaISP.ini")));
        QVERIFY(QFileInfo::exists(env.configHome() + QStringLiteral("/Scadenzio/Config/SezioneRegistrazione_ListaISP.txt")));
        {
            Connection c(env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb"));
            c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, Mail) VALUES ('ROSSI SRL', 'ufficio@rossi.it')"));
        }
        auto [code, err] = run({QStringLiteral("mail"), QStringLiteral("test")});
        QCOMPARE(code, 1);
        QCOMPARE(err, FailurePrefix + "il server della posta in uscita (SMTP) non è impostato "
                                      "(Impostazioni - Email e Connessione)");
        {
            Connection c(env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb"));
            c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = '127.0.0.1', Port = '1'"));
        }
        std::tie(code, err) = run({QStringLiteral("mail"), QStringLiteral("test")});
        QCOMPARE(code, 1);
        QVERIFY2(err.startsWith(FailurePrefix) && !err.contains(QLatin1Char('\n')), qPrintable(err));
        QCOMPARE(run({QStringLiteral("mail")}).first, 2);
    }

    void picture()
    {
        TestEnv env;
        install(env, QStringLiteral("SMTPS.PEC.ARUBA.IT"));
        {
            Connection c(sz::paths::LoadConnection());
            c.exec(QStringLiteral("UPDATE t_ISP SET Port = '465', SSL = 1, \"User\" = 'ufficio@pec.rossi.it', "
                                  "Pass = 'segreta'"));
        }
        const QString dir = QStringLiteral(SZ_PROGRAM_DIR "/Config/");
        for (const char* name : {"SezioneRegistrazione_ListaISP.txt", "ListaISP.ini"})
            QVERIFY(QFile::copy(dir + QLatin1String(name), sz::paths::settingsRoot() + "Config/" + name));
        TFrameISP f;
        f.resize(1100, 760);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCoreApplication::processEvents();
        QCOMPARE(child<QComboBox>(&f, "ComboBoxISP")->currentText(), QStringLiteral("PEC ARUBA"));
        TestEnv::saveScreenshot(&f, "impostazioni_email");
    }
};

QTEST_MAIN(TestMailServer)
#include "tst_mailserver.moc"
