// The outgoing-mail settings: the provider files, the server and the message the test
// sends, the frame with what it stores, the daily run's group, the command line. No
// message leaves the machine: the frame's test goes through a stand-in, or to a port
// where nothing listens; no timer reaches the machine's user manager.
#include "SystemctlFinto.h"
#include "TestEnv.h"

#include "Isp.h"
#include "IspLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

using sz::db::Connection;
using sz::mail::Security;
using namespace sz::mailserver;

namespace {

const QString Failure = QStringLiteral("Si è verificato il seguente errore durante la procedura di verifica dei dati: ");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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
    writeFile(providerIniPath(), "[ARUBA PEC]\nSMTP=smtps.pec.aruba.it\nPorta=465\nSicurezza=SSL\nPEC=1\n"
                                 "IMAP=imaps.pec.aruba.it\n"
                                 "[TIM]\nSMTP = smtp.tim.it\nPorta=587\nSicurezza=starttls\n[VECCHIO]\nSMTP=mail.vecchio.it\n");
}

// An installed database with its settings row and the company's own row.
void install(TestEnv& env, const QString& smtp, const QString& mail = QStringLiteral("ufficio@rossi.it"))
{
    Connection c(env.installDatabase());
    c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, Mail) VALUES ('ROSSI SRL', :m)"), {{"m", mail}});
    c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = :s"), {{"s", smtp}});
}

QVector<QVariant> schedule() // OraInvioAutomatico, InvioAutomaticoPerCliente, InvioMailAutomatico, InvioAutomaticoAttivo
{
    Connection c(sz::paths::LoadConnection());
    return c.query(QStringLiteral("SELECT OraInvioAutomatico, InvioAutomaticoPerCliente, InvioMailAutomatico, "
                                  "InvioAutomaticoAttivo FROM t_ISP")).rows[0];
}

QVector<QVariant> stored() // SMTP, Port, Pass, TLS, SSL, Mail
{
    Connection c(sz::paths::LoadConnection());
    return c.query(QStringLiteral("SELECT SMTP, Port, Pass, TLS, SSL, (SELECT Mail FROM t_societa) FROM t_ISP")).rows[0];
}

// The frame and its controls, found by their names.
struct Form
{
    TFrameISP f;
    QComboBox* provider = f.findChild<QComboBox*>(QStringLiteral("ComboBoxISP"));
    QRadioButton* none = f.findChild<QRadioButton*>(QStringLiteral("RadioNessuna"));
    QRadioButton* tls = f.findChild<QRadioButton*>(QStringLiteral("RadioTLS"));
    QRadioButton* ssl = f.findChild<QRadioButton*>(QStringLiteral("RadioSSL"));
    QPushButton* test = f.findChild<QPushButton*>(QStringLiteral("ButtonTest"));
    QTimeEdit* ora = f.findChild<QTimeEdit*>(QStringLiteral("TimeEditOraInvio"));
    QRadioButton* perDocumento = f.findChild<QRadioButton*>(QStringLiteral("RadioPerDocumento"));
    QRadioButton* perCliente = f.findChild<QRadioButton*>(QStringLiteral("RadioPerCliente"));
    QRadioButton* invioMail = f.findChild<QRadioButton*>(QStringLiteral("RadioInvioMail"));
    QRadioButton* soloPdf = f.findChild<QRadioButton*>(QStringLiteral("RadioSoloPdf"));
    QCheckBox* attiva = f.findChild<QCheckBox*>(QStringLiteral("CheckBoxAttiva"));
    QLabel* statoTimer = f.findChild<QLabel*>(QStringLiteral("LabelStatoPianificazione"));
    QLabel* crontab = f.findChild<QLabel*>(QStringLiteral("LabelCrontab"));
    QLabel* avvisoPec = f.findChild<QLabel*>(QStringLiteral("LabelAvvisoPec"));
    QCheckBox* pec = f.findChild<QCheckBox*>(QStringLiteral("CheckBoxPEC"));
    QCheckBox* pecAutomatico = f.findChild<QCheckBox*>(QStringLiteral("CheckBoxPECAutomatico"));
    QLineEdit* imap = f.findChild<QLineEdit*>(QStringLiteral("EditIMAP"));
    QLineEdit* portaImap = f.findChild<QLineEdit*>(QStringLiteral("EditPortaIMAP"));
    QSpinBox* pace = f.findChild<QSpinBox*>(QStringLiteral("EditPECMessaggiMinuto"));
    QWidget* pannelloPec = f.findChild<QWidget*>(QStringLiteral("PannelloPEC"));
    QLabel* avvisoSicurezzaPec = f.findChild<QLabel*>(QStringLiteral("LabelAvvisoSicurezzaPec"));
    QLineEdit* edit(const char* name) { return f.findChild<QLineEdit*>(QString::fromLatin1("DBEdit") + name); }
    void type(const char* name, const QString& text)
    {
        QLineEdit* e = edit(name);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    void choose(const QString& item)
    {
        provider->setCurrentIndex(provider->findText(item));
        emit provider->activated(provider->currentIndex());
    }
};

} // namespace

class TestMailServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { sz::ui::applyLook(); }

    // What ships must read: a typo in a section name would leave a provider without server.
    void shippedProvidersAreComplete()
    {
        const QString dir = QStringLiteral(SZ_PROGRAM_DIR "/Config/");
        const auto list = loadProviders(dir + "SezioneRegistrazione_ListaISP.txt", dir + "ListaISP.ini");
        QVERIFY(list.size() >= 15);
        QCOMPARE(list.first().name, QStringLiteral("ALTRO FORNITORE"));
        for (const auto& p : list.mid(1)) {
            QVERIFY2(!p.smtp.isEmpty() && p.port && p.security, qPrintable(p.name));
            QVERIFY2((*p.port == 465) == (*p.security == Security::Implicit), qPrintable(p.name));
            QVERIFY(!p.name.startsWith(QLatin1String("PEC ")) || *p.security == Security::Implicit);
        }
    }

    void providerFilesAndMatching()
    {
        TestEnv env;
        QVERIFY(loadProviders().isEmpty());
        QCOMPARE(matchProvider({}, QStringLiteral("SMTP.TIM.IT")), -1);
        writeProviders();
        const auto list = loadProviders();
        QCOMPARE(readProviderNames(providerListPath()), QStringList({"ARUBA PEC", "TIM", "VECCHIO", "SENZA SEZIONE"}));
        QCOMPARE(list[1].security, Security::StartTls);
        QVERIFY(list[2].smtp == "mail.vecchio.it" && !list[2].port && !list[2].security && list[3].smtp.isEmpty());
        QCOMPARE(matchProvider(list, QStringLiteral("SMTP.TIM.IT")), 1);
        QCOMPARE(matchProvider(list, QStringLiteral("SMTP.ALTRO.IT")), 0);
        QCOMPARE(matchProvider({{"A", "s.it", {}, {}, false, {}, {}}, {"B", "S.IT", {}, {}, false, {}, {}}}, QStringLiteral("S.IT")), 0);
        writeFile(providerListPath(), "CONNETTIVIT\xc0 SPA\n"); // written on Windows
        QCOMPARE(readProviderNames(providerListPath()), QStringList({QStringLiteral("CONNETTIVITÀ SPA")}));
    }

    void serverAndMessageOfTheTest()
    {
        TestEnv env;
        Fields f{QStringLiteral(" SMTP.TIM.IT "), QString(), QStringLiteral("rossi"), QString(), Security::StartTls};
        auto s = serverFromFields(f);
        QVERIFY(s.host == "SMTP.TIM.IT" && s.port == 25 && s.security == Security::StartTls && s.caFile.isEmpty());
        QVERIFY(s.user.isEmpty() && s.password.isEmpty()); // a user without a password sends none
        f.port = QStringLiteral("465");
        f.password = QStringLiteral("segreta");
        f.security = Security::None;
        writeFile(sz::paths::configIniPath(), "[Mail]\nCAFile=/etc/ditta/ca.pem\n");
        s = serverFromFields(f);
        QVERIFY(s.port == 465 && s.security == Security::Implicit && s.caFile == "/etc/ditta/ca.pem");
        QCOMPARE(s.user + '/' + s.password, QStringLiteral("rossi/segreta"));
        for (const char* bad : {"abc", "0", "65536"}) {
            f.port = QString::fromLatin1(bad);
            QVERIFY_THROWS_EXCEPTION(sz::Error, serverFromFields(f));
        }

        const auto m = testMessage(QStringLiteral("ufficio@rossi.it"), QStringLiteral("SMTP.TIM.IT"));
        QVERIFY(m.from == "ufficio@rossi.it" && m.to == QStringList{"ufficio@rossi.it"} && m.agent == "Scadenzio");
        QVERIFY(m.html.isEmpty() && m.attachments.isEmpty() && !m.related);
        QCOMPARE(m.subject, QStringLiteral("Gestione Crediti - TEST Mail e Connessione"));
        QCOMPARE(m.text, QStringLiteral("La procedura di invio mail è stata eseguita correttamente.\r\n"
                                        "Mail in uso: ufficio@rossi.it\r\n\r\nSMTP utilizzato: SMTP.TIM.IT"));
        QCOMPARE(testFailureText(sz::mail::MailError("Login denied", "535 No")),
                 Failure + "Login denied (risposta del server: 535 No)");
        QCOMPARE(testFailureText(sz::mail::MailError("Login denied: 535 No", "535 No")), Failure + "Login denied: 535 No");
    }

    void frameShowsTheSettings()
    {
        TestEnv env;
        install(env, QStringLiteral("smtp.tim.it"));
        writeProviders();
        sz::ui::MessageRecorder rec;
        Form w;
        QCOMPARE(w.f.heading()->titleLabel()->text(), QStringLiteral("Email e connesione"));
        QStringList captions;
        for (const auto* l : w.f.findChildren<QLabel*>())
            captions << l->text();
        for (const char* c : {"Connesione in uso:", "Server della posta in uscita (SMTP):", "Porta:",
                              "Nome utente (solo se richiesto):", "Password (solo se richiesto):", "Mail in uso:"})
            QVERIFY2(captions.contains(QString::fromUtf8(c)), c);
        QVERIFY(captions.filter(QStringLiteral("Usa una connessione crittografata TLS")).size() == 1);
        QCOMPARE(QStringList({w.none->text(), w.tls->text(), w.ssl->text()}),
                 QStringList({"Nessuna", "STARTTLS", "SSL/TLS (porta 465)"}));
        QCOMPARE(w.edit("Pass")->echoMode(), QLineEdit::Password);
        QCOMPARE(w.test->text() + '|' + w.test->toolTip(),
                 QStringLiteral("Esegui un test di verifica dei dati immessi|Esegue un test di verifica inviando una "
                                "mail alla propria casella di posta"));
        // The stored server, in small letters, is recognised; the row is in editing, untouched.
        QVERIFY(w.provider->count() == 4 && w.provider->currentText() == "TIM");
        QVERIFY(w.f.ADOQueryISP()->state() == sz::db::Dataset::State::Edit && !w.f.hasUnsavedChanges());
        QVERIFY(w.none->isChecked() && w.test->isEnabled() && rec.messages.isEmpty());
        w.type("Mail", QStringLiteral(" "));
        QVERIFY(!w.test->isEnabled());
    }

    // No match shows the first provider, no files an empty list: the server stays.
    void providerAtOpeningWithoutAMatchOrWithoutFiles()
    {
        TestEnv env;
        install(env, QStringLiteral("MAIL.DITTA.IT"));
        for (const char* shown : {"", "ARUBA PEC"}) {
            Form w;
            QVERIFY(w.provider->currentText() == shown && w.edit("SMTP")->text() == "MAIL.DITTA.IT");
            QVERIFY(!w.f.hasUnsavedChanges());
            writeProviders();
        }
    }

    // Each security stored as its two switches, the port proposed only into an empty
    // field; a provider fills what its section gives; capitals are found again.
    void choicesAreStored()
    {
        TestEnv env;
        install(env, {});
        writeProviders();
        sz::ui::MessageRecorder rec;
        {
            Form w;
            w.ssl->click();
            QVERIFY(w.f.saveChanges());
            QCOMPARE(stored().mid(1), QVector<QVariant>({"465", QVariant(), false, true, "ufficio@rossi.it"}));
            w.type("Port", QStringLiteral("25"));
            w.tls->click();
            QVERIFY(w.f.saveChanges());
            QCOMPARE(stored().mid(1, 4), QVector<QVariant>({"25", QVariant(), true, false}));
            w.none->click();
            w.type("Port", QString());
            QVERIFY(w.f.saveChanges() && stored()[3] == false && stored()[4] == false);
            w.tls->click();
            QCOMPARE(w.edit("Port")->text(), QStringLiteral("587"));

            w.choose(QStringLiteral("ARUBA PEC"));
            QVERIFY(w.edit("SMTP")->text() == "SMTPS.PEC.ARUBA.IT" && w.edit("Port")->text() == "465" && w.ssl->isChecked());
            w.choose(QStringLiteral("VECCHIO"));
            QVERIFY(w.edit("SMTP")->text() == "MAIL.VECCHIO.IT" && w.edit("Port")->text() == "465" && w.ssl->isChecked());
            w.type("SMTP", QStringLiteral("smtp.tim.it"));
            QVERIFY(w.f.saveChanges());
        }
        QCOMPARE(stored().mid(0, 2), QVector<QVariant>({"SMTP.TIM.IT", "465"}));
        Form again;
        QVERIFY(again.provider->currentText() == "TIM" && again.ssl->isChecked());
    }

    // The test sends what is on the screen, saves nothing, and tells each outcome.
    void testSendsTheScreenAndSavesNothing()
    {
        TestEnv env;
        install(env, QStringLiteral("SMTP.TIM.IT"));
        sz::ui::MessageRecorder rec;
        Form w;
        QList<QPair<sz::mail::Server, sz::mail::Message>> sent;
        w.f.setSender([&sent](const sz::mail::Server& s, const sz::mail::Message& m) { sent.append({s, m}); });
        w.type("SMTP", QStringLiteral("out.alice.it"));
        w.type("User", QStringLiteral("rossi"));
        w.type("Pass", QStringLiteral("segreta"));
        w.type("Mail", QStringLiteral("crediti@rossi.it"));
        w.tls->click();
        QTest::mouseClick(w.test, Qt::LeftButton);
        QCOMPARE(sent.size(), 1);
        const auto& [server, message] = sent[0];
        QVERIFY(server.host == "OUT.ALICE.IT" && server.port == 587 && server.security == Security::StartTls);
        QVERIFY(server.password == "segreta" && message.to == QStringList{"crediti@rossi.it"});
        QCOMPARE(rec.messages, QStringList({testSuccessText()}));
        QCOMPARE(stored(), QVector<QVariant>({"SMTP.TIM.IT", QVariant(), QVariant(), false, false, "ufficio@rossi.it"}));

        // Through the transport itself, to a port where nothing listens.
        w.f.setSender(sz::mail::send);
        w.type("SMTP", QStringLiteral("127.0.0.1"));
        w.type("Port", QStringLiteral("1"));
        w.none->click();
        w.test->click();
        QVERIFY(rec.messages.size() == 2 && rec.messages.last().startsWith(Failure));
        QVERIFY(sent.size() == 1 && !QApplication::overrideCursor());
    }

    // A sender with a line break is refused by the test and by the save, shown with its
    // breaks made visible; "Nessuna" with a user name warns that the password goes in clear.
    void hostileSenderAndPlainPassword()
    {
        TestEnv env;
        install(env, QStringLiteral("SMTP.TIM.IT"), QStringLiteral("crediti@rossi.it\r\nRCPT TO:<x@evil.test>"));
        sz::ui::MessageRecorder rec;
        Form w;
        QList<sz::mail::Message> sent;
        w.f.setSender([&sent](const sz::mail::Server&, const sz::mail::Message& m) { sent << m; });
        w.test->click();
        QVERIFY(sent.isEmpty());
        QCOMPARE(rec.messages, QStringList{Failure + QStringLiteral("la mail della società (Mail in uso) "
                                                                    "\"crediti@rossi.it␍␊RCPT TO:<x@evil.test>\" non "
                                                                    "è un indirizzo valido")});
        w.type("SMTP", QStringLiteral("out.alice.it"));
        QVERIFY(!w.f.saveChanges());
        QCOMPARE(rec.messages.last(),
                 QStringLiteral("ATTENZIONE: il campo \"Mail in uso\" contiene caratteri di controllo, come un a capo "
                                "(crediti@rossi.it␍␊RCPT TO:<x@evil.test>). Si prega di correggere il campo per poter "
                                "effettuare il salvataggio dei dati."));
        QCOMPARE(stored()[0], QVariant("SMTP.TIM.IT"));
        w.type("Mail", QStringLiteral("Ufficio <crediti@rossi.it>"));
        w.test->click();
        QVERIFY(sent.isEmpty() && rec.messages.last().contains(QStringLiteral("non è un indirizzo valido")));
        w.type("Mail", QStringLiteral("crediti@rossi.it"));
        QVERIFY(w.f.saveChanges());
        w.test->click();
        QCOMPARE(sent.size(), 1);

        QLabel* avviso = w.f.findChild<QLabel*>(QStringLiteral("LabelAvvisoPassword"));
        QVERIFY(avviso);
        w.none->click();
        w.type("User", QString());
        QVERIFY(avviso->isHidden());
        w.type("User", QStringLiteral("rossi"));
        QVERIFY(!avviso->isHidden());
        QVERIFY(avviso->text().contains(QStringLiteral("password viaggiano in chiaro")));
        w.tls->click();
        QVERIFY(avviso->isHidden());
        w.none->click();
        QVERIFY(!avviso->isHidden());
        w.type("User", QString());
        QVERIFY(avviso->isHidden());
    }

    // The settings row and the company's address are written together or not at all.
    void saveWritesBothRowsTogether()
    {
        TestEnv env;
        install(env, QStringLiteral("SMTP.TIM.IT"));
        sz::ui::MessageRecorder rec;
        Form w;
        w.type("Mail", QStringLiteral("crediti@rossi.it"));
        QVERIFY(w.f.saveChanges()); // the address alone
        QCOMPARE(stored()[5], QVariant("crediti@rossi.it"));

        w.type("SMTP", QStringLiteral("out.alice.it"));
        w.type("Mail", QStringLiteral("nuova@rossi.it"));
        Connection(sz::paths::LoadConnection()).exec(QStringLiteral("UPDATE t_societa SET Mail = 'altra@rossi.it'"));
        QVERIFY(!w.f.saveChanges());
        QVERIFY(rec.messages.size() == 1 && rec.messages[0].contains("modificata da un'altra finestra"));
        QCOMPARE(stored()[0], QVariant("SMTP.TIM.IT"));
        QCOMPARE(w.edit("SMTP")->text(), QStringLiteral("OUT.ALICE.IT"));
        // Annulla reads what the other window saved; an address left alone is not written.
        w.f.discardChanges();
        QCOMPARE(w.edit("Mail")->text(), QStringLiteral("altra@rossi.it"));
        Connection(sz::paths::LoadConnection()).exec(QStringLiteral("UPDATE t_societa SET Mail = 'terza@rossi.it'"));
        w.type("SMTP", QStringLiteral("out.alice.it"));
        QVERIFY(w.f.saveChanges());
        QCOMPARE(stored().mid(0, 6), QVector<QVariant>({"OUT.ALICE.IT", QVariant(), QVariant(), false, false, "terza@rossi.it"}));
    }

    void unsavedChangesQuestion()
    {
        TestEnv env;
        install(env, QStringLiteral("SMTP.TIM.IT"));
        sz::ui::MessageRecorder rec;
        Form w;
        QVERIFY(w.f.confirmLeave() && rec.messages.isEmpty());
        w.ssl->click();
        rec.answerNextChoice(sz::ui::Choice::Cancel);
        QVERIFY(!w.f.confirmLeave());
        rec.answerNextChoice(sz::ui::Choice::No);
        QVERIFY(w.f.confirmLeave());
        QCOMPARE(rec.messages, QStringList({"Salvare le modifiche?", "Salvare le modifiche?"}));
        QVERIFY(w.none->isChecked() && w.edit("Port")->text().isEmpty() && !w.f.hasUnsavedChanges());
        w.type("Pass", QStringLiteral("segreta"));
        rec.answerNextChoice(sz::ui::Choice::Yes);
        QVERIFY(w.f.confirmLeave());
        QCOMPARE(stored()[2], QVariant("segreta")); // as typed
    }

    // The tool tests the stored settings, with the provider files installed beside them.
    void commandLine()
    {
        TestEnv env;
        auto run = [](const QStringList& args) {
            QProcess p;
            p.start(QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli"), args);
            p.waitForFinished(60000);
            return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardError()).trimmed()};
        };
        QCOMPARE(run({"upgrade"}).first, 0);
        // The tool keeps its files under its own program folder's name.
        QVERIFY(QFileInfo::exists(env.configHome() + "/Scadenzio/Config/SezioneRegistrazione_ListaISP.txt"));
        Connection c(env.documents() + "/Scadenzio/DB/gestionale.mdb");
        c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, Mail) VALUES ('ROSSI SRL', 'ufficio@rossi.it')"));
        QCOMPARE(run({"mail", "test"}), std::pair(1, Failure + "il server della posta in uscita (SMTP) non è impostato "
                                                               "(Impostazioni - Email e Connessione)"));
        QCOMPARE(run({"mail"}).first, 2);
    }

    // The group of the daily run: its four columns saved with the page, and the timer of
    // this computer installed, changed and removed by the save.
    void dailyRunIsScheduledBySaving()
    {
        TestEnv env;
        SystemctlFinto sc;
        install(env, QStringLiteral("SMTP.TIM.IT"));
        sz::ui::MessageRecorder rec;
        Form w;
        QCOMPARE(w.f.findChild<QGroupBox*>(QStringLiteral("GroupInvioAutomatico"))->title(),
                 QStringLiteral("Invio automatico"));
        QStringList captions;
        for (const auto* l : w.f.findChildren<QLabel*>())
            captions << l->text();
        QVERIFY(captions.contains(QStringLiteral("Esegui ogni giorno lavorativo alle")));
        QCOMPARE(w.attiva->text(), QStringLiteral("Attiva"));
        // The seed row: PDF only, per document, off; nothing on this computer.
        QVERIFY(w.soloPdf->isChecked() && w.perDocumento->isChecked() && !w.attiva->isChecked());
        QCOMPARE(w.ora->time(), QTime(8, 30));
        QCOMPARE(w.statoTimer->text(), QStringLiteral("Su questo computer l'invio automatico non è programmato."));
        QVERIFY(!w.f.hasUnsavedChanges() && w.crontab->isHidden());
        sc.chiamate();

        w.ora->setTime(QTime(7, 5));
        w.perCliente->click();
        w.invioMail->click();
        w.attiva->click();
        QVERIFY(w.f.hasUnsavedChanges() && w.f.saveChanges());
        QCOMPARE(schedule(), QVector<QVariant>({"07:05", true, true, true}));
        QVERIFY(sc.chiamate().contains("--user enable --now " + sz::pianificazione::NomeTimer));
        QCOMPARE(sz::pianificazione::oraDelTimer(
                     QString::fromUtf8(readAll(sz::pianificazione::cartellaUnita() + sz::pianificazione::NomeTimer))),
                 std::optional(QTime(7, 5)));
        QVERIFY(rec.messages.isEmpty() && w.statoTimer->text().contains(QStringLiteral("alle 07:05")));

        // Another time: the timer follows; a save that changes nothing else leaves it be.
        w.ora->setTime(QTime(18, 0));
        QVERIFY(w.f.saveChanges());
        QVERIFY(sc.chiamate().contains("--user restart " + sz::pianificazione::NomeTimer));
        sc.show("UnitFileState=enabled\nActiveState=active\n");
        w.type("Port", QStringLiteral("587"));
        QVERIFY(w.f.saveChanges());
        for (const QString& c : sc.chiamate())
            QVERIFY2(c.startsWith(QStringLiteral("--user show ")), qPrintable(c));

        w.attiva->click();
        QVERIFY(w.f.saveChanges());
        QCOMPARE(schedule(), QVector<QVariant>({"18:00", true, true, false}));
        QVERIFY(sc.chiamate().contains("--user disable --now " + sz::pianificazione::NomeTimer));
        QVERIFY(!QFileInfo::exists(sz::pianificazione::cartellaUnita() + sz::pianificazione::NomeTimer));
        QVERIFY(rec.messages.isEmpty());

        // Annulla shows the stored choices again.
        w.soloPdf->click();
        w.perDocumento->click();
        w.ora->setTime(QTime(9, 0));
        w.f.discardChanges();
        QVERIFY(w.invioMail->isChecked() && w.perCliente->isChecked() && w.ora->time() == QTime(18, 0));
        QVERIFY(!w.f.hasUnsavedChanges());
    }

    // Without the user's systemd the settings are saved, the page says so and shows the
    // crontab line to copy; opened again, it still does.
    void dailyRunWithoutSystemd()
    {
        TestEnv env;
        SystemctlFinto sc;
        sc.assente();
        install(env, QStringLiteral("SMTP.TIM.IT"));
        sz::ui::MessageRecorder rec;
        const QString riga = conConfig(QStringLiteral("30 08 * * 1-5 '" SZ_PROGRAM_DIR "/scadenzio-cli' dunning run --timer"));
        {
            Form w;
            w.attiva->click();
            QVERIFY(w.f.saveChanges());
            QCOMPARE(schedule()[3], QVariant(true));
            QVERIFY(rec.messages.size() == 1 && rec.messages[0].contains(QStringLiteral("non è raggiungibile")));
            QVERIFY(!w.crontab->isHidden() && w.crontab->text() == riga);
            QVERIFY(w.crontab->textInteractionFlags() & Qt::TextSelectableByMouse);
            QVERIFY(w.statoTimer->text().contains(QStringLiteral("crontab -e")));
            // Saving something else says it on the page only.
            w.type("Port", QStringLiteral("587"));
            QVERIFY(w.f.saveChanges() && rec.messages.size() == 1 && !w.crontab->isHidden());
        }
        Form again;
        QVERIFY(!again.crontab->isHidden() && again.crontab->text() == riga);
        QVERIFY(again.statoTimer->text().contains(QStringLiteral("non è raggiungibile")));
    }

    // Certified mail whose contract forbids automated sending: said when the page would
    // mail by itself through it.
    void certifiedMailWarning()
    {
        TestEnv env;
        SystemctlFinto sc;
        install(env, QStringLiteral("SENDM.CERT.LEGALMAIL.IT"));
        sz::ui::MessageRecorder rec;
        Form w;
        QVERIFY(w.avvisoPec->isHidden());
        w.attiva->click();
        QVERIFY(w.avvisoPec->isHidden()); // PDF only
        w.invioMail->click();
        QVERIFY(!w.avvisoPec->isHidden() && w.avvisoPec->text().contains(QStringLiteral("Legalmail (InfoCert)")));
        // Any certified mailbox, known by its server or ticked, until the user says the
        // contract allows automated sending; Legalmail's contract named, the others not.
        w.type("SMTP", QStringLiteral("smtps.pec.aruba.it"));
        QVERIFY(!w.avvisoPec->isHidden() && !w.avvisoPec->text().contains(QStringLiteral("Legalmail")));
        w.type("SMTP", QStringLiteral("smtp.ditta.it"));
        QVERIFY(w.avvisoPec->isHidden());
        w.pec->click();
        QVERIFY(!w.avvisoPec->isHidden() && w.avvisoPec->text().contains(QStringLiteral("(PEC)")));
        w.pecAutomatico->click();
        QVERIFY(w.avvisoPec->isHidden());
        w.type("SMTP", QStringLiteral("sendm.cert.legalmail.it"));
        QVERIFY(w.avvisoPec->isHidden());
        w.pecAutomatico->click();
        QVERIFY(!w.avvisoPec->isHidden() && w.avvisoPec->text().contains(QStringLiteral("Legalmail (InfoCert)")));
        w.attiva->click();
        QVERIFY(w.avvisoPec->isHidden());
    }

    // The rules of the PEC fields, and the PEC keys an older provider list lacks.
    void certifiedMailboxRules()
    {
        CampiPec c;
        c.imap = QStringLiteral("x y");
        c.messaggiMinuto = QStringLiteral("0");
        QVERIFY(problemaPec(c).isEmpty() && avvisoSicurezzaPec(c).isEmpty()); // not PEC: nothing asked
        c.pec = true;
        QVERIFY(problemaPec(c).contains(QStringLiteral("\"x y\"")));
        for (const char* host : {"imap.x.it/INBOX", "a@imap.x.it", "imap.x.it\r\nA1 LOGOUT", "imap.x.it?x"})
            QVERIFY2(!(c.imap = QString::fromLatin1(host), problemaPec(c)).isEmpty(), host);
        // Receipts may come as files only: no incoming server is needed.
        c.imap = QStringLiteral(" ");
        c.messaggiMinuto.clear();
        QVERIFY(problemaPec(c).isEmpty());
        c.messaggiMinuto = QStringLiteral("0");
        c.imap = QStringLiteral("IMAPS.PEC.ARUBA.IT");
        QVERIFY(problemaPec(c).contains(QStringLiteral("\"0\"")));
        for (const char* pace : {"61", "-1", "sei", "6,5"})
            QVERIFY2(!(c.messaggiMinuto = QString::fromLatin1(pace), problemaPec(c)).isEmpty(), pace);
        for (const char* pace : {"", "1", "60", " 6 "})
            QVERIFY2((c.messaggiMinuto = QString::fromLatin1(pace), problemaPec(c)).isEmpty(), pace);
        for (const char* port : {"0", "65536", "imap"})
            QVERIFY2(!(c.portaImap = QString::fromLatin1(port), problemaPec(c)).isEmpty(), port);
        c.portaImap = QStringLiteral("993");
        QVERIFY(problemaPec(c).isEmpty());
        c.sicurezza = Security::StartTls;
        c.portaSmtp = QStringLiteral("587");
        QVERIFY(avvisoSicurezzaPec(c).contains(QStringLiteral("SSL/TLS (porta 465)")));
        c.portaSmtp = QStringLiteral("465"); // sent with implicit TLS whatever the choice
        QVERIFY(avvisoSicurezzaPec(c).isEmpty());

        // The shipped list: the four PEC providers with their incoming servers, no other.
        const QString dir = QStringLiteral(SZ_PROGRAM_DIR "/Config/");
        QStringList pec;
        for (const auto& p : loadProviders(dir + "SezioneRegistrazione_ListaISP.txt", dir + "ListaISP.ini")) {
            QCOMPARE(p.pec, p.name.startsWith(QLatin1String("PEC ")));
            if (p.pec) {
                QVERIFY2(!p.imap.isEmpty() && p.imapPort == 993, qPrintable(p.name));
                pec << p.name + '=' + proposteImap(p)->host;
            } else {
                QVERIFY(!proposteImap(p));
            }
        }
        QCOMPARE(pec, QStringList({"PEC ARUBA=IMAPS.PEC.ARUBA.IT", "PEC LEGALMAIL (INFOCERT)=MBOX.CERT.LEGALMAIL.IT",
                                   "PEC NAMIRIAL=IMAPS.SICUREZZAPOSTALE.IT",
                                   "PEC POSTECERT (POSTE ITALIANE)=MAIL.POSTECERT.IT"}));

        // A copy from an older version: its PEC server is known from the program's list,
        // a section whose server the user changed is not.
        TestEnv env;
        writeFile(providerListPath(), "PEC ARUBA\nPEC NAMIRIAL\nTIM\n");
        writeFile(providerIniPath(), "[PEC ARUBA]\nSMTP=smtps.pec.aruba.it\n[PEC NAMIRIAL]\nSMTP=smtp.altro.it\n"
                                     "[TIM]\nSMTP=smtp.tim.it\n");
        const auto vecchi = loadProviders(providerListPath(), providerIniPath(), dir + "ListaISP.ini");
        QVERIFY(vecchi[0].pec && vecchi[0].imap == "imaps.pec.aruba.it" && vecchi[0].imapPort == 993);
        QVERIFY(!vecchi[1].pec && !vecchi[2].pec);
    }

    // A PEC provider proposes its incoming server and port and ticks the mailbox as PEC;
    // the fields, the pace and the contract's tick are saved and read back; a plain
    // provider unticks it.
    void certifiedMailboxOnThePage()
    {
        TestEnv env;
        SystemctlFinto sc;
        install(env, QStringLiteral("smtp.tim.it"));
        writeProviders();
        sz::ui::MessageRecorder rec;
        const auto pecStored = [] {
            Connection c(sz::paths::LoadConnection());
            return c.query(QStringLiteral("SELECT PEC, IMAP, PortaIMAP, PECMessaggiMinuto, PECInvioAutomatico FROM "
                                          "t_ISP")).rows[0];
        };
        {
            Form w;
            QVERIFY(!w.pec->isChecked() && w.pannelloPec->isHidden() && w.avvisoSicurezzaPec->isHidden());
            QCOMPARE(w.pace->value(), 6);
            w.choose(QStringLiteral("ARUBA PEC"));
            QVERIFY(w.pec->isChecked() && !w.pannelloPec->isHidden());
            QCOMPARE(w.imap->text() + ':' + w.portaImap->text(), QStringLiteral("IMAPS.PEC.ARUBA.IT:993"));
            QVERIFY(w.avvisoSicurezzaPec->isHidden());
            // Implicit TLS only: another security is said at once.
            w.type("Port", QStringLiteral("587"));
            w.tls->click();
            QVERIFY(!w.avvisoSicurezzaPec->isHidden());
            w.ssl->click();
            w.type("Port", QStringLiteral("465"));
            QVERIFY(w.avvisoSicurezzaPec->isHidden());
            w.pace->setValue(12);
            w.pecAutomatico->click();
            QVERIFY(w.f.saveChanges());
            QVERIFY(rec.messages.isEmpty());
        }
        QCOMPARE(pecStored(), QVector<QVariant>({true, "IMAPS.PEC.ARUBA.IT", "993", 12, true}));
        {
            Form w;
            QVERIFY(!w.f.hasUnsavedChanges());
            QVERIFY(w.pec->isChecked() && w.pecAutomatico->isChecked() && w.pace->value() == 12);
            QCOMPARE(w.imap->text() + ':' + w.portaImap->text(), QStringLiteral("IMAPS.PEC.ARUBA.IT:993"));
            // An incoming server that is not a host name is not saved.
            w.imap->setText(QStringLiteral("IMAPS.PEC.ARUBA.IT/INBOX"));
            emit w.imap->textEdited(w.imap->text());
            QVERIFY(!w.f.saveChanges());
            QVERIFY(rec.messages.last().contains(QStringLiteral("server IMAP")));
            w.f.discardChanges();
            QCOMPARE(w.imap->text(), QStringLiteral("IMAPS.PEC.ARUBA.IT"));
            // A plain provider: no longer PEC; its fields stay for the day it is again.
            w.choose(QStringLiteral("TIM"));
            QVERIFY(!w.pec->isChecked() && w.pannelloPec->isHidden());
            QVERIFY(w.f.saveChanges());
        }
        QCOMPARE(pecStored()[0], QVariant(false));
        {
            // Ticked by hand: the usual port proposed, the server typed.
            Connection(sz::paths::LoadConnection()).exec(QStringLiteral("UPDATE t_ISP SET PortaIMAP = NULL"));
            Form w;
            w.pec->click();
            QCOMPARE(w.portaImap->text(), QStringLiteral("993"));
            QVERIFY(w.f.saveChanges());
        }
        QCOMPARE(pecStored().mid(0, 3), QVector<QVariant>({true, "IMAPS.PEC.ARUBA.IT", "993"}));
    }

    void picture()
    {
        QVERIFY(TestEnv::fontsAvailable());
        TestEnv env;
        SystemctlFinto sc;
        install(env, QStringLiteral("SMTPS.PEC.ARUBA.IT"));
        Connection(sz::paths::LoadConnection()).exec(QStringLiteral("UPDATE t_ISP SET Port = '465', SSL = 1, \"User\" = 'ufficio@pec.it', Pass = 'segreta', "
                                                                  "PEC = 1, IMAP = 'IMAPS.PEC.ARUBA.IT', PortaIMAP = '993'"));
        for (const char* name : {"SezioneRegistrazione_ListaISP.txt", "ListaISP.ini"})
            QVERIFY(QFile::copy(SZ_PROGRAM_DIR "/Config/" + QString::fromLatin1(name),
                                sz::paths::settingsRoot() + "Config/" + name));
        Form w;
        w.f.resize(1100, 760);
        w.f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.f));
        QCoreApplication::processEvents();
        QCOMPARE(w.provider->currentText(), QStringLiteral("PEC ARUBA"));
        TestEnv::saveScreenshot(&w.f, "impostazioni_email");
    }

    // The daily run's group with everything it can say: the certified-mail warning and,
    // without the user's systemd, the crontab line.
    void pictureOfTheDailyRun()
    {
        QVERIFY(TestEnv::fontsAvailable());
        TestEnv env;
        SystemctlFinto sc;
        sc.assente();
        install(env, QStringLiteral("SENDM.CERT.LEGALMAIL.IT"));
        Connection(sz::paths::LoadConnection())
            .exec(QStringLiteral("UPDATE t_ISP SET Port = '465', SSL = 1, InvioMailAutomatico = 1, "
                                 "InvioAutomaticoAttivo = 1, OraInvioAutomatico = '07:45'"));
        Form w;
        w.f.resize(1100, 1180);
        w.f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.f));
        QCoreApplication::processEvents();
        QVERIFY(!w.avvisoPec->isHidden() && !w.crontab->isHidden());
        TestEnv::saveScreenshot(&w.f, "impostazioni_email_invio_automatico");
    }
};

QTEST_MAIN(TestMailServer)
#include "tst_mailserver.moc"
