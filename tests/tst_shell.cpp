// The main window: start flow, module loading and unloading, the information dialog,
// the start-up window, commands asked by a frame and the guide's links. Offscreen, with
// the loader's own test modules and, where the guide's links lead, the real ones.
#include "TestEnv.h"

#include "AvvisoInvio.h"
#include "BarraAvvisoInvio.h"
#include "InformazioniForm.h"
#include "MainWindow.h"
#include "StartupWindow.h"
#include "scadenzio/Database.h"
#include "scadenzio/Esecuzioni.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>
#include <QtTest>

using sz::db::Connection;

namespace {

const char* kPackToLoad = R"([Linee Guida]
PackToLoad=pkgtestuno.so
ClassToLoad=TFrameUno
[Crediti - Statistiche]
PackToLoad=pkgtestdue.so
ClassToLoad=TFrameDue
[Inizializzazione]
PackToLoad=pkgtesttre.so
ClassToLoad=TFrameTre
[Anagrafiche - Utente]
PackToLoad=pkgtestrotto.so
ClassToLoad=TFrameRotto
[Anagrafiche - Clienti]
PackToLoad=pkgmanca.so
ClassToLoad=TFrameAnagraficaClienti
[Anagrafiche - Banche]
PackToLoad=pkgtestuno.so
ClassToLoad=TFrameNonRegistrato
)";

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

bool mapped(const QString& moduleFile)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains(QFileInfo(moduleFile).fileName().toUtf8());
}

QString shownClass(TFormMain& w)
{
    QWidget* f = w.currentFrame();
    return f ? QString::fromLatin1(f->metaObject()->className()) : QString();
}

QString frameClass(TFormMain& w)
{
    QWidget* f = w.currentFrame();
    return f ? f->objectName() : QString();
}

int constructions(TFormMain& w)
{
    QWidget* f = w.currentFrame();
    auto* l = f ? f->findChild<QLabel*>(QStringLiteral("Costruzioni")) : nullptr;
    return l ? l->text().toInt() : -1;
}

void setCompany(const QString& iva, const QString& name)
{
    Connection c(sz::paths::LoadConnection());
    c.exec(QStringLiteral("DELETE FROM t_societa"));
    c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, IVA, Logo) VALUES (:n, :i, 0)"),
           {{QStringLiteral("n"), name}, {QStringLiteral("i"), iva}});
}

bool menusEnabled(TFormMain& w)
{
    for (QMenu* m : w.menus())
        if (!m->menuAction()->isEnabled())
            return false;
    return true;
}

// The links of a text page, in reading order: where each begins and what it reads.
QList<QPair<int, QString>> links(QTextBrowser* page)
{
    QList<QPair<int, QString>> found;
    for (QTextBlock b = page->document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                found << qMakePair(it.fragment().position(), it.fragment().text());
    return found;
}

// Clicks the page where the link that begins at position lies, as the mouse would.
void clickAt(QTextBrowser* page, int position)
{
    QTextCursor c(page->document());
    c.setPosition(position + 2);
    page->setTextCursor(c);
    page->ensureCursorVisible();
    QTest::mouseClick(page->viewport(), Qt::LeftButton, {}, page->cursorRect().center());
}

// The real modules, laid beside the test as the program folder holds them, and taken
// away afterwards so that the other tests meet only the modules they lay.
struct RealModules
{
    QString bpl = sz::paths::programFolder() + QStringLiteral("Bpl/");
    QStringList files;
    bool laid = true;
    RealModules()
    {
        const QDir program(QStringLiteral(SZ_PROGRAM_DIR "/Bpl"));
        for (const QString& f : program.entryList({QStringLiteral("*.so")}, QDir::Files)) {
            QFile::remove(bpl + f);
            laid = laid && QFile::copy(program.filePath(f), bpl + f);
            files << f;
        }
        QFile::remove(sz::paths::packToLoadIniPath());
        laid = laid && QFile::copy(QStringLiteral(SZ_PROGRAM_DIR "/Config/PackToLoad.ini"), sz::paths::packToLoadIniPath());
    }
    ~RealModules()
    {
        for (const QString& f : std::as_const(files))
            QFile::remove(bpl + f);
    }
};

// The menu item a path such as "Anagrafiche › Clienti" names.
QAction* menuItem(TFormMain& w, const QString& path)
{
    const QStringList parts = path.split(QChar(0x203A));
    if (parts.size() != 2) return nullptr;
    auto caption = [](QString t) { return t.remove(QLatin1Char('&')).trimmed(); };
    for (QMenu* m : w.menus())
        if (caption(m->title()) == parts[0].trimmed())
            for (QAction* a : m->actions())
                if (caption(a->text()) == parts[1].trimmed()) return a;
    return nullptr;
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(TestEnv::fontsAvailable(), "no font found: install fonts-dejavu-core");
        sz::ui::applyLook();
    }

    void startFlowFollowsTheCompanyProfileAndTheRegister_data()
    {
        QTest::addColumn<QString>("iva");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("credit");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<bool>("menus");
        QTest::newRow("IVA di 10 caratteri") << "0123456789" << "ROSSI SRL" << false << "TFrameTre" << false;
        QTest::newRow("IVA di 11 con spazi") << "  01234567890 " << "ROSSI SRL" << false << "TFrameUno" << true;
        QTest::newRow("senza ragione sociale") << "01234567890" << "   " << false << "TFrameTre" << false;
        QTest::newRow("un credito") << "01234567890" << "ROSSI SRL" << true << "TFrameDue" << true;
    }

    void startFlowFollowsTheCompanyProfileAndTheRegister()
    {
        QFETCH(QString, iva);
        QFETCH(QString, name);
        QFETCH(bool, credit);
        QFETCH(QString, frame);
        QFETCH(bool, menus);
        TestEnv env;
        env.installDatabase();
        writeFile(sz::paths::packToLoadIniPath(), kPackToLoad);
        setCompany(iva, name);
        if (credit)
            Connection(sz::paths::LoadConnection())
                .exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Stato) VALUES ('1', 'APERTA')"));
        sz::ui::MessageRecorder rec;
        TFormMain w;
        w.startFlow();
        QCOMPARE(frameClass(w), frame);
        QCOMPARE(menusEnabled(w), menus);
        QCOMPARE(rec.messages, QStringList());
        QCOMPARE(w.windowTitle(), QFileInfo(QApplication::applicationFilePath()).fileName());
    }

    void noCompanyRowStartsTheSetup()
    {
        TestEnv env;
        env.installDatabase();
        writeFile(sz::paths::packToLoadIniPath(), kPackToLoad);
        sz::ui::MessageRecorder rec;
        TFormMain w;
        w.startFlow();
        QCOMPARE(rec.messages, QStringList());
        QCOMPARE(frameClass(w), QStringLiteral("TFrameTre"));
        QVERIFY(!menusEnabled(w));
    }

    void loadingFailuresSayWhyAndLeaveAUsableWindow()
    {
        TestEnv env;
        env.installDatabase();
        writeFile(sz::paths::packToLoadIniPath(), kPackToLoad);
        sz::ui::MessageRecorder rec;
        TFormMain w;
        w.LoadPack(QStringLiteral("Linee Guida"));
        QCOMPARE(frameClass(w), QStringLiteral("TFrameUno"));

        w.LoadPack(QStringLiteral("Comando senza sezione"));
        QCOMPARE(rec.messages.takeFirst(), QStringLiteral("Impossibile caricare il modulo \"\"."));
        QVERIFY(!w.currentFrame());

        w.LoadPack(QStringLiteral("Anagrafiche - Clienti"));
        QCOMPARE(rec.messages.takeFirst(), QStringLiteral("Impossibile caricare il modulo \"pkgmanca.so\"."));
        QVERIFY(!w.currentFrame());

        w.LoadPack(QStringLiteral("Anagrafiche - Banche"));
        QCOMPARE(rec.messages.takeFirst(), QStringLiteral("Impossibile caricare la classe \"TFrameNonRegistrato\"."));
        QVERIFY(!w.currentFrame());

        // A frame whose construction fails: no message, module gone, next command fine.
        w.LoadPack(QStringLiteral("Anagrafiche - Utente"));
        QVERIFY(rec.messages.isEmpty());
        QVERIFY(!w.currentFrame());
        QVERIFY(!mapped(QStringLiteral("pkgtestrotto.so")));
        QVERIFY(!sz::frames::find(QStringLiteral("TFrameRotto")));

        w.LoadPack(QStringLiteral("Crediti - Statistiche"));
        QCOMPARE(frameClass(w), QStringLiteral("TFrameDue"));
        QVERIFY(rec.messages.isEmpty());
        QVERIFY(!QApplication::overrideCursor());
    }

    // A module is a file name inside Bpl/: nothing may be loaded from anywhere else, even
    // a real module that would load.
    void moduleNamesThatLeaveBplAreRefused()
    {
        TestEnv env;
        env.installDatabase();
        const QString bpl = sz::paths::programFolder() + QStringLiteral("Bpl/");
        const QString outside = env.home() + QStringLiteral("/fuori/pkgfuori.so");
        QDir().mkpath(QFileInfo(outside).absolutePath());
        QVERIFY(QFile::copy(bpl + QStringLiteral("pkgtestuno.so"), outside));
        const QStringList values{QDir(bpl).relativeFilePath(outside), outside, QStringLiteral("../Bpl/pkgtestuno.so"),
                                 QStringLiteral("..\\fuori\\pkgfuori.so"), QStringLiteral("pkgtestuno.so/..")};
        QByteArray ini;
        for (int i = 0; i < values.size(); ++i)
            ini += QStringLiteral("[Comando %1]\nPackToLoad=%2\nClassToLoad=TFrameUno\n").arg(i).arg(values[i]).toUtf8();
        writeFile(sz::paths::packToLoadIniPath(), ini);
        QVERIFY(values[0].startsWith(QStringLiteral("../")));

        sz::ui::MessageRecorder rec;
        TFormMain w;
        for (int i = 0; i < values.size(); ++i) {
            w.LoadPack(QStringLiteral("Comando %1").arg(i));
            QCOMPARE(rec.messages.takeFirst(), QStringLiteral("Impossibile caricare il modulo \"%1\".").arg(values[i]));
            QVERIFY(!w.currentFrame());
        }
        QVERIFY(rec.messages.isEmpty());
        QVERIFY(!mapped(outside));
        QVERIFY(!mapped(QStringLiteral("pkgtestuno.so")));
        QVERIFY(!sz::frames::find(QStringLiteral("TFrameUno")));
    }

    // Without a database nothing else can work: the error is shown once by the start-up
    // window and once by the main window, which then says on its page what to put right
    // and keeps the "?" menu.
    void startWithoutAUsableDatabaseLeavesAWayOut_data()
    {
        QTest::addColumn<bool>("missing");
        QTest::newRow("database mancante") << true;
        QTest::newRow("database danneggiato") << false;
    }

    void startWithoutAUsableDatabaseLeavesAWayOut()
    {
        QFETCH(bool, missing);
        TestEnv env;
        QString db;
        if (missing) {
            db = env.home() + QStringLiteral("/server/gestionale.mdb");
            writeFile(sz::paths::configIniPath(), "[ConnectionString]\nstrConn=" + db.toUtf8() + "\n");
        } else {
            if (TestEnv::onServer())
                QSKIP("a damaged database file: on the server there is no file to damage");
            db = env.installDatabase();
            sz::ui::MessageRecorder first; // a good start, which leaves a good backup
            TfmToolsAutoSplash().Execute();
            QCOMPARE(first.messages, QStringList());
            writeFile(db, QByteArray(8192, 'x'));
        }
        writeFile(sz::paths::packToLoadIniPath(), kPackToLoad);
        sz::ui::MessageRecorder rec;
        {
            TfmToolsAutoSplash splash;
            splash.Execute();
        }
        TFormMain w;
        w.startFlow();
        const QString frame = QStringLiteral("ATTENZIONE: si è verificato il seguente errore ");
        QCOMPARE(rec.messages.filter(frame).size(), 2);
        // A damaged file is also reported by the backup, which kept it aside.
        QCOMPARE(rec.messages.size(), missing ? 2 : 3);

        QVERIFY(!w.currentFrame());
        for (QMenu* m : w.menus())
            QCOMPARE(m->menuAction()->isEnabled(), m->objectName() == QLatin1String("MenuAiuto"));
        QLabel* notice = w.startNotice();
        QVERIFY(notice);
        QVERIFY(notice->isVisibleTo(&w));
        const QString text = notice->text();
        QVERIFY2(text.contains(db), qPrintable(text));
        QVERIFY2(text.contains(sz::paths::configIniPath()), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("strConn")), qPrintable(text));
        // The same reason as in the box, without its frame.
        QVERIFY(rec.messages.last().startsWith(frame));
        QString reason = rec.messages.last().mid(frame.size());
        reason.chop(1);
        QVERIFY2(text.contains(reason), qPrintable(text));
        if (!missing)
            QVERIFY2(text.contains(QStringLiteral("la copia di backup \"") + sz::paths::dataRoot() +
                                   QStringLiteral("Backup/DB/gestionale.mdb\"")),
                     qPrintable(text));
        w.resize(1180, 760);
        w.show();
        TestEnv::saveScreenshot(&w, missing ? QStringLiteral("avvio_senza_database")
                                            : QStringLiteral("avvio_database_danneggiato"));

        // The way out: the "?" commands still work, and a frame takes the page.
        w.LoadPack(QStringLiteral("Linee Guida"));
        QCOMPARE(frameClass(w), QStringLiteral("TFrameUno"));
        QVERIFY(!w.startNotice());
    }

    void choosingACommandAgainStartsTheModuleAfresh()
    {
        TestEnv env;
        env.installDatabase();
        writeFile(sz::paths::packToLoadIniPath(), kPackToLoad);
        sz::ui::MessageRecorder rec;
        TFormMain w;
        w.LoadPack(QStringLiteral("Linee Guida"));
        QCOMPARE(constructions(w), 1);
        QPointer<QWidget> first = w.currentFrame();
        w.LoadPack(QStringLiteral("Linee Guida"));
        QVERIFY(first.isNull());
        QCOMPARE(constructions(w), 1); // the module's counter started again from zero

        auto windowsOfModule = [] {
            int n = 0;
            for (QWidget* t : QApplication::topLevelWidgets())
                n += t->objectName() == QLatin1String("FinestraModulo");
            return n;
        };
        QCOMPARE(windowsOfModule(), 1);
        w.LoadPack(QStringLiteral("Crediti - Statistiche"));
        QCOMPARE(windowsOfModule(), 1); // the first module's window went with it
        QVERIFY(!mapped(QStringLiteral("pkgtestuno.so")));
        QVERIFY(mapped(QStringLiteral("pkgtestdue.so")));
        QVERIFY(!sz::frames::find(QStringLiteral("TFrameUno")));
        QVERIFY(sz::frames::find(QStringLiteral("TFrameDue")));
    }

    void unreadablePackToLoadGivesTheModuleMessage()
    {
        TestEnv env;
        env.installDatabase();
        QDir().mkpath(sz::paths::packToLoadIniPath()); // a folder where the file should be
        QFile::remove(sz::paths::packToLoadIniPath());
        QDir().mkpath(sz::paths::packToLoadIniPath());
        sz::ui::MessageRecorder rec;
        TFormMain w;
        w.LoadPack(QStringLiteral("Linee Guida"));
        QCOMPARE(rec.messages, QStringList({"Impossibile caricare il modulo \"\"."}));
    }

    void informationDialogReadsTheCompanyEachTime()
    {
        TestEnv env;
        env.installDatabase();
        {
            TInformazioniForm d;
            QCOMPARE(d.companyName(), QString());
            QCOMPARE(d.windowTitle(), QStringLiteral("Informazioni su Scadenzio"));
        }
        setCompany(QStringLiteral("01234567890"), QStringLiteral("FERRAMENTA ROSSI SNC"));
        {
            TInformazioniForm d;
            QCOMPARE(d.companyName(), QStringLiteral("FERRAMENTA ROSSI SNC"));
            QVERIFY(d.findChild<QLabel*>(QStringLiteral("LabelProdotto"))->text() == QStringLiteral("Scadenzio - Ver. 1.3.4"));
            d.show();
            TestEnv::saveScreenshot(&d, QStringLiteral("informazioni"));
        }
        setCompany(QStringLiteral("01234567890"), QStringLiteral("CARTOLERIA BIANCHI SRL"));
        TInformazioniForm again;
        QCOMPARE(again.companyName(), QStringLiteral("CARTOLERIA BIANCHI SRL"));
    }

    void informationDialogShowsTheWholeCompanyName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("wraps");
        QTest::newRow("breve") << "FERRARI & FIGLI SNC" << false;
        QTest::newRow("lunga")
            << "CONSORZIO ARTIGIANO EDILE E IMPIANTISTICO DELLA BASSA VALLE DEL RENO E DEL "
               "SANTERNO SOCIETA' COOPERATIVA A RESPONSABILITA' LIMITATA - UFFICIO "
               "AMMINISTRAZIONE E CONTABILITA' CLIENTI"
            << true;
        QTest::newRow("una parola") << "FERRAMENTAEDILIZIAECOSTRUZIONIMERIDIONALIASSOCIATE" << false;
    }

    void informationDialogShowsTheWholeCompanyName()
    {
        QFETCH(QString, name);
        QFETCH(bool, wraps);
        TestEnv env;
        env.installDatabase();
        setCompany(QStringLiteral("01234567890"), name);
        TInformazioniForm d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto* label = d.findChild<QLabel*>(QStringLiteral("LabelSocieta"));
        QCOMPARE(label->text(), name);
        QVERIFY(d.rect().contains(label->geometry()));
        // Everything the name needs, at the width it was given, lies within the label.
        const QFontMetrics fm = label->fontMetrics();
        const QRect needed =
            fm.boundingRect(QRect(0, 0, label->width(), 10000), Qt::AlignCenter | Qt::TextWordWrap, name);
        QVERIFY2(needed.width() <= label->width(), qPrintable(QString::number(needed.width())));
        QVERIFY2(needed.height() <= label->height(), qPrintable(QString::number(needed.height())));
        QCOMPARE(needed.height() > fm.lineSpacing() * 3 / 2, wraps);
        QVERIFY(d.width() >= 360);
        if (wraps) // as wide as a dialog reasonably gets, then onto more lines
            QVERIFY2(d.width() <= 600, qPrintable(QString::number(d.width())));
        else // sized to the name, not to the longest name there could be
            QVERIFY(d.width() <= std::max(360, fm.horizontalAdvance(name) + 80));
        QVERIFY(d.minimumSize() == d.maximumSize()); // a fixed dialog border
        TestEnv::saveScreenshot(&d, QStringLiteral("informazioni_") +
                                        QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'));
    }

    void startupWindowShowsEachStep()
    {
        TestEnv env;
        env.installDatabase();
        TfmToolsAutoSplash s;
        QCOMPARE(s.size(), QSize(492, 307));
        auto* status = s.findChild<QLabel*>(QStringLiteral("LabelStato"));
        auto* gauge = s.findChild<QProgressBar*>(QStringLiteral("Gauge"));
        QCOMPARE(status->text(), QStringLiteral("Stato..."));
        sz::ui::MessageRecorder rec;
        s.Execute();
        QCOMPARE(gauge->value(), gauge->maximum());
        QCOMPARE(gauge->maximum(), 7);
        QCOMPARE(status->text(), QStringLiteral("Finalizzazione..."));
        QVERIFY(rec.messages.isEmpty());
        s.progressStep(QStringLiteral("Verifica struttura DataBase..."), 0);
        TestEnv::saveScreenshot(&s, QStringLiteral("avvio"));
    }

    void commandsAskedByAFrameRunAsTheMenuWould()
    {
        TestEnv env;
        env.installDatabase();
        writeFile(sz::paths::packToLoadIniPath(), kPackToLoad);
        setCompany(QStringLiteral("0123456789"), QStringLiteral("ROSSI SRL"));
        sz::ui::MessageRecorder rec;
        TFormMain w;
        w.startFlow();
        QCOMPARE(frameClass(w), QStringLiteral("TFrameTre"));
        w.runCommand(QStringLiteral("Linee Guida")); // the menu is off during the first-run setup
        QCOMPARE(frameClass(w), QStringLiteral("TFrameTre"));

        setCompany(QStringLiteral("01234567890"), QStringLiteral("ROSSI SRL"));
        w.startFlow();
        QCOMPARE(frameClass(w), QStringLiteral("TFrameUno"));
        w.runCommand(QStringLiteral("Crediti - Statistiche"));
        QCOMPARE(frameClass(w), QStringLiteral("TFrameDue"));
        w.runCommand(QStringLiteral("Inizializzazione")); // in PackToLoad.ini, not in the menu
        w.runCommand(QString());
        QCOMPARE(frameClass(w), QStringLiteral("TFrameDue"));
        QCOMPARE(rec.messages, QStringList());
    }

    // Typing not yet saved survives a menu command unless the clerk says to drop it; the
    // keys of the bars work on the page that is shown.
    void unsavedTypingIsNeverDroppedSilently()
    {
        TestEnv env;
        const QString db = env.installDatabase();
        RealModules modules;
        QVERIFY(modules.laid);
        setCompany(QStringLiteral("01234567890"), QStringLiteral("FERRAMENTA ROSSI SNC"));
        sz::ui::MessageRecorder rec;
        TFormMain w;
        w.resize(1180, 760);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // Keys reach shortcuts only in the active window.
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QApplication::processEvents();
        sz::db::Connection conn(db);
        auto banks = [&] { return conn.scalar(QStringLiteral("SELECT COUNT(*) FROM t_banche")).toInt(); };

        auto openBanks = [&]() -> QWidget* {
            w.LoadPack(QStringLiteral("Anagrafiche - Banche"));
            QWidget* f = w.currentFrame();
            if (!f || shownClass(w) != QLatin1String("TFrameAnagraficaBanche")) return nullptr;
            f->activateWindow();
            f->findChild<QWidget*>(QStringLiteral("sDBGrid1"))->setFocus();
            // Ctrl+N on the list: a new row on the edit page, the name box ready.
            QTest::keyClick(f->findChild<QWidget*>(QStringLiteral("sDBGrid1")), Qt::Key_N, Qt::ControlModifier);
            // A button's key clicks it as a press would, a moment later.
            auto* nome = f->findChild<QLineEdit*>(QStringLiteral("EditNome"));
            if (!QTest::qWaitFor([nome] { return nome->isVisible(); }, 2000)) return nullptr;
            QTest::keyClicks(nome, QStringLiteral("banca nuova"));
            return f;
        };
        QWidget* f = openBanks();
        QVERIFY(f);
        auto* name = f->findChild<QLineEdit*>(QStringLiteral("EditNome"));
        QVERIFY(name->isVisible());
        QCOMPARE(name->text(), QStringLiteral("BANCA NUOVA"));

        // Annulla keeps the frame and the typing; so does choosing the same command again.
        for (const char* command : {"Anagrafiche - Clienti", "Anagrafiche - Banche"}) {
            rec.messages.clear();
            rec.answerNextChoice(sz::ui::Choice::Cancel);
            w.LoadPack(QString::fromLatin1(command));
            QCOMPARE(rec.messages, QStringList{QStringLiteral("Salvare le modifiche?")});
            QCOMPARE(w.currentFrame(), f);
            QCOMPARE(name->text(), QStringLiteral("BANCA NUOVA"));
        }
        // No drops it.
        rec.answerNextChoice(sz::ui::Choice::No);
        w.LoadPack(QStringLiteral("Anagrafiche - Clienti"));
        QCOMPARE(shownClass(w), QStringLiteral("TFrameAnagraficaClienti"));
        QCOMPARE(banks(), 0);
        // Loaded and left straight away, as a quick second command does.
        w.LoadPack(QStringLiteral("Crediti - Statistiche"));
        QCOMPARE(shownClass(w), QStringLiteral("TFrameStatistiche"));

        // Sì saves it; a save that is refused keeps the frame, with its message.
        f = openBanks();
        QVERIFY(f);
        rec.messages.clear();
        rec.answerNextChoice(sz::ui::Choice::Yes);
        w.LoadPack(QStringLiteral("Anagrafiche - Clienti"));
        QCOMPARE(banks(), 1);
        QCOMPARE(conn.scalar(QStringLiteral("SELECT Nome FROM t_banche")).toString(), QStringLiteral("BANCA NUOVA"));
        QCOMPARE(shownClass(w), QStringLiteral("TFrameAnagraficaClienti"));

        f = openBanks();
        QVERIFY(f);
        name = f->findChild<QLineEdit*>(QStringLiteral("EditNome"));
        name->selectAll();
        QTest::keyClick(name, Qt::Key_Delete);
        rec.messages.clear();
        rec.answerNextChoice(sz::ui::Choice::Yes);
        w.LoadPack(QStringLiteral("Anagrafiche - Clienti"));
        QCOMPARE(rec.messages.size(), 2);
        QVERIFY(rec.messages[1].startsWith(QStringLiteral("ATTENZIONE: il nome della banca risulta mancante")));
        QCOMPARE(w.currentFrame(), f);

        // Esc drops the edit and goes back to the list; then nothing is asked.
        QTest::keyClick(name, Qt::Key_Escape);
        QTRY_VERIFY(!name->isVisible());
        rec.messages.clear();
        w.LoadPack(QStringLiteral("Anagrafiche - Clienti"));
        QVERIFY(rec.messages.isEmpty());
        QCOMPARE(banks(), 1);

        // Enter on a list row opens it; Ctrl+S saves; the keys are in the tooltips.
        f = w.currentFrame();
        auto* grid = f->findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"));
        w.LoadPack(QStringLiteral("Anagrafiche - Banche"));
        f = w.currentFrame();
        grid = f->findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"));
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Return);
        name = f->findChild<QLineEdit*>(QStringLiteral("EditNome"));
        QVERIFY(name->isVisible());
        QTest::keyClicks(name, QStringLiteral(" 2"));
        QTest::keyClick(name, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(!name->isVisible());
        QCOMPARE(conn.scalar(QStringLiteral("SELECT Nome FROM t_banche")).toString(), QStringLiteral("BANCA NUOVA 2"));
        auto* save = f->findChild<QToolButton*>(QStringLiteral("nbPost"));
        QCOMPARE(save->toolTip(), QStringLiteral("Salva (Ctrl+S)"));
        // Ctrl+F puts the cursor in the search box.
        QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(f->findChild<QLineEdit*>(QStringLiteral("EditFiltro"))->hasFocus());
        // Menus open with Alt and their letter.
        QCOMPARE(w.menus().first()->title(), QStringLiteral("&Anagrafiche"));
    }

    void guideLinksOpenTheCommandsTheyName()
    {
        TestEnv env;
        env.installDatabase();
        // The real modules, laid beside the test as the program folder holds them, and
        // taken away afterwards so that the other tests meet only the modules they lay.
        RealModules modules;
        QVERIFY(modules.laid);
        setCompany(QStringLiteral("01234567890"), QStringLiteral("FERRAMENTA ROSSI SNC"));
        sz::ui::MessageRecorder rec;
        TFormMain w;
        w.resize(1180, 760);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // What answered a command: the frame shown, or the loader's message.
        auto outcome = [&]() -> QString {
            if (QWidget* f = w.currentFrame()) return QString::fromLatin1(f->metaObject()->className());
            return rec.messages.isEmpty() ? QString() : rec.messages.takeFirst();
        };
        // Between two choices of the user the event loop runs: what a frame posted while
        // it was built reaches it before the next command unloads its module.
        auto settle = [] { QApplication::processEvents(); };
        auto openGuide = [&]() -> QTextBrowser* {
            settle();
            w.LoadPack(QStringLiteral("Linee Guida"));
            QWidget* f = w.currentFrame();
            return f ? f->findChild<QTextBrowser*>(QStringLiteral("TestoLineeGuida")) : nullptr;
        };
        QTextBrowser* page = openGuide();
        QVERIFY(page);
        const auto all = links(page);
        QCOMPARE(all.size(), 13);
        QStringList seen;
        for (const auto& [position, path] : all) {
            // The menu item the link names ...
            QAction* item = menuItem(w, path);
            QVERIFY2(item, qPrintable(path));
            settle();
            item->trigger();
            const QString chosen = outcome();
            QVERIFY2(!chosen.isEmpty() && chosen != QLatin1String("TFrameLineeGuida"), qPrintable(path));
            QVERIFY(rec.messages.isEmpty());

            // ... and its link do the same, once the click on the page is over.
            QPointer<QTextBrowser> guide = openGuide();
            QVERIFY(guide);
            clickAt(guide, position);
            QVERIFY2(guide, "the guide went while its own click was being handled");
            QTRY_VERIFY2(guide.isNull(), qPrintable(path));
            QCOMPARE(outcome(), chosen);
            QVERIFY(!mapped(QStringLiteral("pkgguide.so")));
            seen << path + QStringLiteral(" = ") + chosen;
        }
        QVERIFY2(seen.contains(QStringLiteral("Anagrafiche › Clienti = TFrameAnagraficaClienti")),
                 qPrintable(seen.join(QLatin1Char('\n'))));
        QVERIFY2(seen.contains(QStringLiteral("Crediti › Registrazione = TFrameCrediti")),
                 qPrintable(seen.join(QLatin1Char('\n'))));
    }

    // The dunning module carries the report engine inside it, the mail settings the mail
    // transport: leaving either must unload it whole, and loading it again must give a
    // working frame.
    void modulesWithAnEngineUnloadWhole()
    {
        TestEnv env;
        env.installDatabase();
        const QString bpl = sz::paths::programFolder() + QStringLiteral("Bpl/");
        const QList<std::tuple<const char*, const char*, const char*>> modules = {
            {"pkgdunning.so", "Crediti - Solleciti", "TFrameSolleciti"},
            {"pkgmailserver.so", "Impostazioni - Email e Connessione", "TFrameISP"}};
        for (const char* m : {"pkgdunning.so", "pkgmailserver.so", "pkgguide.so"}) {
            QFile::remove(bpl + QLatin1String(m));
            QVERIFY(QFile::copy(QStringLiteral(SZ_PROGRAM_DIR "/Bpl/") + QLatin1String(m), bpl + QLatin1String(m)));
        }
        QFile::copy(QStringLiteral(SZ_PROGRAM_DIR "/Config/PackToLoad.ini"), sz::paths::packToLoadIniPath());
        setCompany(QStringLiteral("01234567890"), QStringLiteral("FERRAMENTA ROSSI SNC"));
        // The other tests expect these modules to be missing from this folder.
        const auto tidy = qScopeGuard([&] {
            QFile::remove(bpl + QStringLiteral("pkgdunning.so"));
            QFile::remove(bpl + QStringLiteral("pkgmailserver.so"));
        });
        sz::ui::MessageRecorder rec;
        TFormMain w;
        for (const auto& [file, command, frame] : modules) {
            for (int volta = 0; volta < 2; ++volta) {
                w.LoadPack(QString::fromLatin1(command));
                QCOMPARE(shownClass(w), QString::fromLatin1(frame));
                QVERIFY(mapped(QString::fromLatin1(file)));
                w.LoadPack(QStringLiteral("Linee Guida"));
                QApplication::processEvents();
                QVERIFY2(!mapped(QString::fromLatin1(file)), file);
            }
        }
        QVERIFY2(rec.messages.isEmpty(), qPrintable(rec.messages.join(QLatin1Char('\n'))));
    }

    void mainWindowScreenshotWithTheGuide()
    {
        TestEnv env;
        env.installDatabase();
        // The real guidelines module, laid beside the test as the program folder holds it.
        const QString bpl = sz::paths::programFolder() + QStringLiteral("Bpl/");
        QFile::remove(bpl + QStringLiteral("pkgguide.so"));
        QVERIFY(QFile::copy(QStringLiteral(SZ_PROGRAM_DIR "/Bpl/pkgguide.so"), bpl + QStringLiteral("pkgguide.so")));
        QFile::copy(QStringLiteral(SZ_PROGRAM_DIR "/Config/PackToLoad.ini"), sz::paths::packToLoadIniPath());
        setCompany(QStringLiteral("01234567890"), QStringLiteral("FERRAMENTA ROSSI SNC"));
        sz::ui::MessageRecorder rec;
        TFormMain w;
        w.resize(1180, 760);
        w.show(); // the start flow runs once the window is shown
        QTRY_COMPARE(frameClass(w), QStringLiteral("FrameLineeGuida"));
        QCOMPARE(w.minimumSize(), QSize(1024, 660));
        QTest::qWait(50);
        TestEnv::saveScreenshot(&w, QStringLiteral("finestra_principale"));
        w.LoadPack(QStringLiteral("Crediti - Solleciti"));
        QCOMPARE(rec.messages, QStringList({"Impossibile caricare il modulo \"pkgdunning.so\"."}));
    }

    // What the start tells of the unattended daily run since the user's previous start:
    // the last run's errors, a run stopped halfway, working days without a run; each once.
    void runNoticeSinceThePreviousStart()
    {
        TestEnv env;
        env.installDatabase();
        Connection c(sz::paths::LoadConnection());
        c.exec(QStringLiteral("UPDATE t_ISP SET InvioAutomaticoAttivo = 1, OraInvioAutomatico = '08:00'"));
        const auto guard = qScopeGuard([] { sz::impostaOrologio(QDateTime()); });
        auto alle = [](int giorno, int ora, int minuti = 0) {
            return QDateTime(QDate(2026, 12, giorno), QTime(ora, minuti));
        };
        // A run of the given kind that began at the moment given and ended a few minutes on.
        auto corsa = [&](const QString& avvio, const QDateTime& quando, const QStringList& errori,
                         const QString& esito = QString()) {
            sz::impostaOrologio(quando);
            const qint64 id = sz::esecuzioni::apri(c, avvio, QStringLiteral("DOCUMENTO"), QStringLiteral("MAIL"));
            sz::impostaOrologio(quando.addSecs(240));
            sz::esecuzioni::chiudi(c, id, 12, 11, int(errori.size()), errori, esito);
            return id;
        };
        auto avvio = [&](const QDateTime& quando) {
            sz::impostaOrologio(quando);
            return sz::avvisoinvio::allAvvio(c);
        };
        const QString timer = sz::esecuzioni::AvvioTimer;

        // The first start of the user: nothing to compare with, the start is recorded.
        QVERIFY(!QFileInfo::exists(sz::avvisoinvio::fileAvvii()));
        QVERIFY(avvio(alle(1, 7, 30)).vuoto()); // Tuesday
        QCOMPARE(sz::avvisoinvio::avvioPrecedente().quando, alle(1, 7, 30));
        QCOMPARE(QFileInfo(sz::avvisoinvio::fileAvvii()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFileDevice::Permissions());

        // Tuesday's run went well, Wednesday's had one letter not sent: the last one is told.
        corsa(timer, alle(1, 8, 2), {});
        const qint64 mercoledi =
            corsa(timer, alle(2, 8, 1), {QStringLiteral("ROSSI SRL - fattura 12: il server di posta non risponde")});
        // A window's run with errors is the clerk's own business: never told at the start.
        corsa(sz::esecuzioni::AvvioFinestra, alle(2, 9, 0), {QStringLiteral("riga della finestra")});
        sz::avvisoinvio::Avviso a = avvio(alle(2, 10, 0));
        QCOMPARE(a.testo, QStringLiteral("L'invio automatico del 02/12/2026 ha avuto 1 errore."));
        QCOMPARE(a.esecuzione, mercoledi);
        QVERIFY(a.dettagli.contains(QStringLiteral("ROSSI SRL - fattura 12: il server di posta non risponde")));
        QVERIFY(a.dettagli.contains(QStringLiteral("Lettere create: 12, inviate: 11, non inviate: 1")));
        QVERIFY(!a.dettagli.contains(QStringLiteral("riga della finestra")));
        QVERIFY(a.giorniMancati.isEmpty());
        // Once: the next start, on the same day or later, says nothing more of it.
        QVERIFY(avvio(alle(2, 10, 5)).vuoto());

        // Thursday ran; Friday did not; nobody expects a run on Saturday or Sunday; Monday
        // did not either. Tuesday is today: its run may still come.
        corsa(timer, alle(3, 8, 0), {});
        a = avvio(alle(8, 7, 45));
        QCOMPARE(a.testo, QStringLiteral("L'invio automatico non è stato eseguito il 04/12/2026 e il 07/12/2026."));
        QCOMPARE(a.giorniMancati, QList<QDate>({QDate(2026, 12, 4), QDate(2026, 12, 7)}));
        QVERIFY(a.dettagli.contains(QStringLiteral("venerdì 04/12/2026")));
        QVERIFY(!a.dettagli.contains(QStringLiteral("05/12/2026")));
        QVERIFY(avvio(alle(8, 9, 0)).vuoto());

        // Tuesday, not judged at its own starts, is at the next one; with the errors of
        // Wednesday's run, in one notice.
        corsa(timer, alle(9, 8, 0), {QStringLiteral("a"), QStringLiteral("b")});
        a = avvio(alle(10, 12, 0));
        QCOMPARE(a.testo, QStringLiteral("L'invio automatico del 09/12/2026 ha avuto 2 errori. "
                                         "L'invio automatico non è stato eseguito il 08/12/2026."));
        QVERIFY(a.dettagli.contains(QStringLiteral("\na\nb")));
        // A catch-up later in the day counts for the day; a good run after one with
        // errors clears them.
        corsa(timer, alle(10, 13, 0), {});
        corsa(timer, alle(11, 8, 0), {QStringLiteral("a")});
        corsa(timer, alle(11, 8, 30), {});
        QVERIFY(avvio(alle(11, 9, 0)).vuoto());

        // A run stopped halfway (killed, the computer switched off) never wrote its end.
        corsa(timer, alle(14, 8, 0), {});
        sz::impostaOrologio(alle(15, 8, 0));
        const qint64 fermata = sz::esecuzioni::apri(c, timer, QStringLiteral("CLIENTE"), QStringLiteral("PDF"));
        a = avvio(alle(15, 11, 0));
        QCOMPARE(a.testo, QStringLiteral("L'invio automatico del 15/12/2026 si è interrotto prima della fine."));
        QCOMPARE(a.esecuzione, fermata);
        QVERIFY(a.dettagli.contains(QStringLiteral("Esito: INTERROTTA")));
        // One still running, its lock held, is not told; the end it comes to is, at the
        // next start.
        sz::impostaOrologio(alle(16, 8, 0));
        {
            sz::esecuzioni::Blocco blocco(c);
            QVERIFY(blocco.prendi());
            const qint64 lunga = sz::esecuzioni::apri(c, timer, QStringLiteral("CLIENTE"), QStringLiteral("PDF"));
            QVERIFY(avvio(alle(16, 8, 10)).vuoto());
            sz::impostaOrologio(alle(16, 8, 20));
            sz::esecuzioni::chiudi(c, lunga, 40, 0, 0, {QStringLiteral("x")});
        }

        // Weeks with the computer off: how many working days, and the last.
        a = avvio(alle(30, 9, 0));
        QCOMPARE(a.testo, QStringLiteral("L'invio automatico del 16/12/2026 ha avuto 1 errore. L'invio automatico non "
                                         "è stato eseguito in 9 giorni lavorativi, l'ultimo il 29/12/2026."));
        QCOMPARE(a.giorniMancati.size(), 9); // 17, 18, 21 to 25, 28, 29

        // The schedule off: missing runs are what the firm chose.
        c.exec(QStringLiteral("UPDATE t_ISP SET InvioAutomaticoAttivo = 0"));
        QVERIFY(avvio(QDateTime(QDate(2027, 1, 8), QTime(9, 0))).vuoto());
        // Turned on after that start, maybe after that day's hour: that day is not judged,
        // the next working day is.
        c.exec(QStringLiteral("UPDATE t_ISP SET InvioAutomaticoAttivo = 1"));
        QCOMPARE(avvio(QDateTime(QDate(2027, 1, 12), QTime(9, 0))).testo,
                 QStringLiteral("L'invio automatico non è stato eseguito il 11/01/2027."));

        // A record of the start that cannot be read counts as none; a clock put back
        // before the recorded start tells nothing.
        writeFile(sz::avvisoinvio::fileAvvii(), "[Avvio]\nUltimoAvvio=ieri\n");
        QVERIFY(avvio(QDateTime(QDate(2027, 1, 20), QTime(9, 0))).vuoto());
        QVERIFY(avvio(QDateTime(QDate(2027, 1, 10), QTime(9, 0))).vuoto());
        QCOMPARE(sz::avvisoinvio::avvioPrecedente().quando, QDateTime(QDate(2027, 1, 10), QTime(9, 0)));
        QVERIFY(sz::avvisoinvio::avvioPrecedente().invioAttivo);
    }

    // The notice as the main window shows it: a bar above the page, its details in a
    // read-only window; the next start of the same user shows no bar.
    void runNoticeInTheMainWindow()
    {
        TestEnv env;
        env.installDatabase();
        writeFile(sz::paths::packToLoadIniPath(), kPackToLoad);
        setCompany(QStringLiteral("01234567890"), QStringLiteral("FERRAMENTA ROSSI SNC"));
        const auto guard = qScopeGuard([] { sz::impostaOrologio(QDateTime()); });
        {
            Connection c(sz::paths::LoadConnection());
            c.exec(QStringLiteral("UPDATE t_ISP SET InvioAutomaticoAttivo = 1, OraInvioAutomatico = '08:00'"));
            sz::impostaOrologio(QDateTime(QDate(2026, 12, 7), QTime(8, 0, 4)));
            const qint64 id =
                sz::esecuzioni::apri(c, sz::esecuzioni::AvvioTimer, QStringLiteral("DOCUMENTO"), QStringLiteral("MAIL"));
            sz::esecuzioni::chiudi(c, id, 3, 2, 1, {QStringLiteral("BIANCHI SPA - fattura 7/2026: nessun indirizzo mail")});
        }
        QVERIFY(sz::avvisoinvio::registraAvvio({QDateTime(QDate(2026, 12, 7), QTime(7, 0)), true}));
        sz::impostaOrologio(QDateTime(QDate(2026, 12, 8), QTime(8, 30)));
        sz::ui::MessageRecorder rec;
        {
            TFormMain w;
            w.resize(1180, 760);
            w.show();
            QTRY_COMPARE(frameClass(w), QStringLiteral("TFrameUno"));
            auto* barra = qobject_cast<TBarraAvvisoInvio*>(w.invioAutomaticoNotice());
            QVERIFY(barra);
            QVERIFY(barra->isVisible());
            QCOMPARE(barra->testo()->text(), QStringLiteral("L'invio automatico del 07/12/2026 ha avuto 1 errore."));
            // The bar stays while the user moves between commands.
            w.LoadPack(QStringLiteral("Crediti - Statistiche"));
            QVERIFY(barra->isVisible());
            QCOMPARE(frameClass(w), QStringLiteral("TFrameDue"));
            QTest::qWait(50);
            TestEnv::saveScreenshot(&w, QStringLiteral("avviso_invio_automatico"));

            QString righe;
            bool solaLettura = false;
            rec.onDialog = [&](QDialog* d) {
                auto* testo = d->findChild<QPlainTextEdit*>(QStringLiteral("RigheInvioAutomatico"));
                if (!testo) return;
                righe = testo->toPlainText();
                solaLettura = testo->isReadOnly();
                d->show();
                QTest::qWait(20);
                TestEnv::saveScreenshot(d, QStringLiteral("avviso_invio_automatico_dettagli"));
            };
            barra->findChild<QPushButton*>(QStringLiteral("BottoneDettagliInvio"))->click();
            QVERIFY(solaLettura);
            QVERIFY(righe.contains(QStringLiteral("BIANCHI SPA - fattura 7/2026: nessun indirizzo mail")));
            QVERIFY(righe.contains(QStringLiteral("Invio automatico del 07/12/2026 alle 08:00")));
            barra->findChild<QToolButton*>(QStringLiteral("BottoneChiudiAvvisoInvio"))->click();
            QVERIFY(!barra->isVisible());
        }
        sz::impostaOrologio(QDateTime(QDate(2026, 12, 8), QTime(14, 0)));
        TFormMain w;
        w.startFlow();
        QVERIFY(!w.invioAutomaticoNotice());
        QCOMPARE(rec.messages, QStringList());
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
