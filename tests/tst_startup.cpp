// What every start does before the main window: installer duties, backup, upgrade,
// and the command-line tool that runs the same sequence.
#include "TestEnv.h"

#include "Startup.h"
#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

using sz::db::Connection;

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Run
{
    int code = -1;
    QString out, err;
};

Run runCli(const QString& exe, const QStringList& args,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(exe, args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

const QString cli = QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli");

sz::startup::Progress recorder(QStringList& steps, QStringList& errors)
{
    sz::startup::Progress p;
    p.step = [&steps](const QString& t, int) { steps << t; };
    p.error = [&errors](const QString& m) { errors << m; };
    return p;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void firstStartMakesAWorkingDatabase()
    {
        TestEnv env;
        sz::startup::installDefaults();
        const QString db = sz::paths::defaultDatabasePath();
        QVERIFY(QFileInfo::exists(db));
        Connection c(db);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_ISP")).toInt(), 1);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_comunicazioni")).toInt(), 6);
        QVERIFY(QFileInfo(sz::paths::dataRoot() + QStringLiteral("Archivio")).isDir());

        // A second start changes nothing of an existing database.
        c.exec(QStringLiteral("DELETE FROM t_ISP"));
        sz::startup::installDefaults();
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_ISP")).toInt(), 0);
    }

    void configuredPathThatDoesNotExistIsAnErrorNotANewFile()
    {
        TestEnv env;
        const QString elsewhere = env.home() + QStringLiteral("/server/gestionale.mdb");
        writeFile(sz::paths::configIniPath(), "[ConnectionString]\nstrConn=" + elsewhere.toUtf8() + "\n");
        sz::startup::installDefaults();
        QVERIFY(!QFileInfo::exists(elsewhere));
        QVERIFY(!QFileInfo::exists(sz::paths::defaultDatabasePath()));

        QStringList steps, errors;
        QVERIFY(!sz::startup::Execute(recorder(steps, errors)));
        QCOMPARE(steps.size(), sz::startup::StepCount);
        QCOMPARE(steps.last(), QStringLiteral("Finalizzazione..."));
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].startsWith(QStringLiteral("ATTENZIONE: si è verificato il seguente errore ")));
        QVERIFY(errors[0].endsWith(QLatin1Char('.')));
        QVERIFY(!QFileInfo::exists(elsewhere));
    }

    void configuredPathOfAnotherFileIsTheOneUsed()
    {
        TestEnv env;
        const QString elsewhere = env.home() + QStringLiteral("/server/gestionale.mdb");
        Connection::createDatabase(elsewhere);
        writeFile(sz::paths::configIniPath(), "[ConnectionString]\nstrConn=" + elsewhere.toUtf8() + "\n");
        sz::startup::installDefaults();
        QStringList steps, errors;
        QVERIFY(sz::startup::Execute(recorder(steps, errors)));
        QVERIFY(errors.isEmpty());
        QCOMPARE(Connection(elsewhere).scalar(QStringLiteral("SELECT count(*) FROM t_parametri")).toInt(), 3);
        QVERIFY(!QFileInfo::exists(sz::paths::defaultDatabasePath()));
    }

    void backupAddsAndOverwritesButNeverDeletes()
    {
        TestEnv env;
        sz::startup::installDefaults();
        writeFile(sz::paths::configIniPath(), "[ConnectionString]\nstrConn=\n");
        const QString root = sz::paths::dataRoot();
        writeFile(root + QStringLiteral("Archivio/2026-12-01/lettera.pdf"), "prima");
        writeFile(root + QStringLiteral("Archivio/2026-12-01/vecchia.pdf"), "vecchia");
        writeFile(root + QStringLiteral("Logo/logo.bmp"), "BM");
        QStringList steps, errors;
        QVERIFY(sz::startup::Execute(recorder(steps, errors)));
        QCOMPARE(steps, QStringList({"Inizializzazione...", "Creazione copie di backup [Archivio]",
                                     "Creazione copie di backup [DataBase]", "Creazione copie di backup [Logo]",
                                     "Creazione copie di backup [Config]", "Verifica struttura DataBase...",
                                     "Finalizzazione..."}));

        QFile::remove(root + QStringLiteral("Archivio/2026-12-01/vecchia.pdf"));
        writeFile(root + QStringLiteral("Archivio/2026-12-01/lettera.pdf"), "dopo");
        writeFile(root + QStringLiteral("Archivio/2026-12-02/nuova.pdf"), "nuova");
        QVERIFY(sz::startup::Execute(recorder(steps, errors)));

        const QString b = root + QStringLiteral("Backup/");
        QCOMPARE(readFile(b + QStringLiteral("Archivio/2026-12-01/vecchia.pdf")), QByteArray("vecchia"));
        QCOMPARE(readFile(b + QStringLiteral("Archivio/2026-12-01/lettera.pdf")), QByteArray("dopo"));
        QCOMPARE(readFile(b + QStringLiteral("Archivio/2026-12-02/nuova.pdf")), QByteArray("nuova"));
        QCOMPARE(readFile(b + QStringLiteral("Logo/logo.bmp")), QByteArray("BM"));
        QVERIFY(QFileInfo::exists(b + QStringLiteral("Config/Config.ini")));
        // The database copy is a consistent, still encrypted database.
        const QString copy = b + QStringLiteral("DB/gestionale.mdb");
        QVERIFY(!readFile(copy).contains("Gentile Cliente"));
        QCOMPARE(Connection(copy).scalar(QStringLiteral("SELECT count(*) FROM t_comunicazioni")).toInt(), 6);
    }

    void backupThatCannotBeWrittenIsSilent()
    {
        TestEnv env;
        sz::startup::installDefaults();
        // A file where the backup folder should be: every copy fails, the start goes on.
        writeFile(sz::paths::dataRoot() + QStringLiteral("Backup"), "occupato");
        QStringList steps, errors;
        QVERIFY(sz::startup::Execute(recorder(steps, errors)));
        QVERIFY(errors.isEmpty());
        QCOMPARE(steps.size(), sz::startup::StepCount);
        QCOMPARE(readFile(sz::paths::dataRoot() + QStringLiteral("Backup")), QByteArray("occupato"));
    }

    void corruptDatabaseIsReportedAndKept()
    {
        TestEnv env;
        // The tool's own folders are named after its program folder.
        const QString db = env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb");
        writeFile(db, QByteArray(8192, 'x'));
        const Run r = runCli(cli, {QStringLiteral("upgrade")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("ATTENZIONE: si è verificato il seguente errore ")), qPrintable(r.err));
        QVERIFY(r.out.contains(QStringLiteral("Verifica struttura DataBase...\nFinalizzazione...\n")));
        QCOMPARE(readFile(db), QByteArray(8192, 'x'));
    }

    void cliRunsStatementsWithBoundValues()
    {
        TestEnv env;
        Run r = runCli(cli, {QStringLiteral("upgrade")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.count(QLatin1Char('\n')), sz::startup::StepCount);

        r = runCli(cli, {QStringLiteral("sql"),
                         QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Scadenza, Importo, Note) VALUES "
                                        "(:n, :s, :i, :note)"),
                         QStringLiteral("n=12'A"), QStringLiteral("s:date=05/03/2026"),
                         QStringLiteral("i:money=1.234,5"), QStringLiteral("note:null=")});
        QCOMPARE(r.code, 0);
        r = runCli(cli, {QStringLiteral("sql"),
                         QStringLiteral("SELECT NumeroFattura, Scadenza, Importo, Note, Stato FROM t_crediti WHERE "
                                        "NumeroFattura = :n"),
                         QStringLiteral("n=12'A")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("NumeroFattura\tScadenza\tImporto\tNote\tStato\n12'A\t05/03/2026\t1234,50\t\t\n"));

        r = runCli(cli, {QStringLiteral("sql"), QStringLiteral("SELECT * FROM t_inesistente")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("t_inesistente")));
        QVERIFY(r.out.isEmpty());
    }

    // Scripts and the daily run start the tool where no display exists: it must not even
    // load the window libraries.
    void cliRunsWithoutADisplay()
    {
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {cli});
        QVERIFY(ldd.waitForFinished(30000));
        const QString libs = QString::fromLocal8Bit(ldd.readAllStandardOutput());
        QVERIFY2(libs.contains(QStringLiteral("libscadenzio-core.so")), qPrintable(libs));
        for (const char* forbidden : {"libQt6Widgets", "libQt6Gui", "libscadenzio-ui"})
            QVERIFY2(!libs.contains(QLatin1String(forbidden)), forbidden);

        TestEnv env;
        QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
            bare.remove(QLatin1String(v));
        const Run r = runCli(cli, {QStringLiteral("upgrade")}, bare);
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    }

    void anotherProgramFolderNameGivesOtherUserFolders()
    {
        TestEnv env;
        // An installation in a folder of another name: the tool, its library and defaults.
        const QString other = env.home() + QStringLiteral("/opt/Crediti Nord");
        QDir().mkpath(other + QStringLiteral("/Config"));
        for (const char* f : {"scadenzio-cli", "libscadenzio-core.so"})
            QVERIFY(QFile::copy(QStringLiteral(SZ_PROGRAM_DIR "/") + QLatin1String(f),
                                other + QLatin1Char('/') + QLatin1String(f)));
        QVERIFY(QFile::copy(QStringLiteral(SZ_PROGRAM_DIR "/Config/Config.ini"), other + QStringLiteral("/Config/Config.ini")));
        // Started through a link: the real folder's name counts.
        QVERIFY(QFile::link(other + QStringLiteral("/scadenzio-cli"), env.home() + QStringLiteral("/link-cli")));
        const Run r = runCli(env.home() + QStringLiteral("/link-cli"), {QStringLiteral("upgrade")});
        QCOMPARE(r.code, 0);
        QVERIFY(QFileInfo::exists(env.documents() + QStringLiteral("/Crediti Nord/DB/gestionale.mdb")));
        QVERIFY(QFileInfo::exists(env.configHome() + QStringLiteral("/Crediti Nord/Config/Config.ini")));
        QVERIFY(QFileInfo::exists(env.documents() + QStringLiteral("/Crediti Nord/Backup/DB/gestionale.mdb")));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
