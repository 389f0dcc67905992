// What every start does before the main window: installer duties, backup, upgrade,
// and the command-line tool that runs the same sequence.
#include "ServerDatabase.h"
#include "TestEnv.h"

#include "CliSql.h"
#include "SqlAmounts.h"
#include "Startup.h"
#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <sys/stat.h>

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

// The register the tool works on in this home. On the server run, an empty server database
// named by the home's settings, which the tool's first start fills: nothing else is made.
QString registroDelComando(const TestEnv& env, std::unique_ptr<ServerDatabase>& server)
{
    if (!TestEnv::onServer())
        return env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb");
    server = std::make_unique<ServerDatabase>();
    // Private as the program would make them: the test checks what the start creates.
    for (const char* f : {"/Scadenzio", "/Scadenzio/Config"})
        sz::paths::makePrivateFolder(env.configHome() + QLatin1String(f));
    writeFile(env.configHome() + QStringLiteral("/Scadenzio/Config/Config.ini"),
              "[ConnectionString]\nstrConn=" + server->uri().toUtf8() + "\n");
    QFile::setPermissions(env.configHome() + QStringLiteral("/Scadenzio/Config/Config.ini"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return server->uri();
}

int modeOf(const QString& path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QStringList filesUnder(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

// Enough credits for the file to span hundreds of pages.
void fillRegister(const QString& db)
{
    Connection c(db);
    sz::db::Transaction tx(c);
    sz::db::Statement ins(c, QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Note) VALUES (:n, :note)"));
    for (int i = 0; i < 3000; ++i)
        ins.run({{QStringLiteral("n"), QStringLiteral("FT %1").arg(i)},
                 {QStringLiteral("note"), QStringLiteral("NOTA ORIGINALE %1 ").arg(i).repeated(8)}});
    tx.commit();
}

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
        if (TestEnv::onServer()) {
            firstStartFillsAnEmptyServerDatabase(env);
            return;
        }
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

    // The administrator made the database empty; the first start of a workstation makes
    // everything in it, and a later start keeps what the users changed.
    void firstStartFillsAnEmptyServerDatabase(const TestEnv& env)
    {
        const QString uri = env.createDefaultDatabase();
        sz::startup::installDefaults();
        QVERIFY(!QFileInfo::exists(sz::paths::defaultDatabasePath()));
        QStringList steps, errors;
        sz::startup::Execute(recorder(steps, errors));
        QCOMPARE(errors.filter(QStringLiteral("ATTENZIONE: si è verificato")), QStringList());
        QCOMPARE(steps.size(), sz::startup::StepCount);
        Connection c(uri);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_ISP")).toInt(), 1);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_comunicazioni")).toInt(), 6);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_parametri")).toInt(), 3);
        QVERIFY(!QFileInfo::exists(sz::paths::defaultDatabasePath()));

        c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = 'PROMEMORIA' WHERE Tipologia = 'PREAVVISO'"));
        c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = 'SMTP.DITTA.IT'"));
        c.exec(QStringLiteral("DELETE FROM t_parametri WHERE Modalita = 'R.D.'"));
        c.exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3) "
                              "VALUES ('CONTANTI', 0, 1, 2, 3)"));
        sz::startup::installDefaults();
        errors.clear();
        sz::startup::Execute(recorder(steps, errors));
        QCOMPARE(errors.filter(QStringLiteral("ATTENZIONE: si è verificato")), QStringList());
        QCOMPARE(c.scalar(QStringLiteral("SELECT Oggetto FROM t_comunicazioni WHERE Tipologia = 'PREAVVISO'")).toString(),
                 QStringLiteral("PROMEMORIA"));
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_ISP")).toInt(), 1);
        QCOMPARE(c.scalar(QStringLiteral("SELECT SMTP FROM t_ISP")).toString(), QStringLiteral("SMTP.DITTA.IT"));
        // A seed mode deleted comes back, a mode of the user's stays.
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_parametri")).toInt(), 4);
    }

    // A server database named in the settings that the server does not have is an error of
    // the start; it is never made on the fly.
    void configuredServerDatabaseThatDoesNotExistIsAnError()
    {
        if (!TestEnv::onServer())
            QSKIP("a server address in the settings: the run on the server has one");
        TestEnv env;
        QUrl manca(qEnvironmentVariable("SZ_TEST_PG_URI"));
        manca.setPath(QStringLiteral("/szt_manca_%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        writeFile(sz::paths::configIniPath(), "[ConnectionString]\nstrConn=" + manca.toString().toUtf8() + "\n");
        sz::startup::installDefaults();
        QStringList steps, errors;
        QVERIFY(!sz::startup::Execute(recorder(steps, errors)));
        QCOMPARE(steps.size(), sz::startup::StepCount);
        QVERIFY2(!errors.filter(QStringLiteral("ATTENZIONE: si è verificato il seguente errore ")).isEmpty(),
                 qPrintable(errors.join(QLatin1Char('\n'))));
        QVERIFY(!QFileInfo::exists(sz::paths::defaultDatabasePath()));
        const QString nome = manca.path().mid(1);
        QCOMPARE(Connection(qEnvironmentVariable("SZ_TEST_PG_URI"))
                     .scalar(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = :n"), {{QStringLiteral("n"), nome}})
                     .toInt(),
                 0);
    }

    void configuredPathThatDoesNotExistIsAnErrorNotANewFile()
    {
        if (TestEnv::onServer())
            QSKIP("a file path in the settings: the file run covers it");
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
        if (TestEnv::onServer())
            QSKIP("a file path in the settings: the file run covers it");
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
        if (TestEnv::onServer()) {
            env.installDatabase();
        } else {
            sz::startup::installDefaults();
            writeFile(sz::paths::configIniPath(), "[ConnectionString]\nstrConn=\n");
        }
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
        if (TestEnv::onServer())
            return; // the server's dump has a test of its own
        // The database copy is a consistent, still encrypted database.
        const QString copy = b + QStringLiteral("DB/gestionale.mdb");
        QVERIFY(!readFile(copy).contains("Gentile Cliente"));
        QCOMPARE(Connection(copy).scalar(QStringLiteral("SELECT count(*) FROM t_comunicazioni")).toInt(), 6);
    }

    void backupThatCannotBeWrittenIsSilent()
    {
        TestEnv env;
        env.installDatabase();
        // A file where the backup folder should be: every copy fails, the start goes on.
        writeFile(sz::paths::dataRoot() + QStringLiteral("Backup"), "occupato");
        QStringList steps, errors;
        const bool ok = sz::startup::Execute(recorder(steps, errors));
        QCOMPARE(steps.size(), sz::startup::StepCount);
        QCOMPARE(readFile(sz::paths::dataRoot() + QStringLiteral("Backup")), QByteArray("occupato"));
        if (TestEnv::onServer()) {
            // The server's dump is the one copy of the register this start takes: that it
            // failed is said, and the upgrade still runs.
            QCOMPARE(errors.filter(QStringLiteral("ATTENZIONE: si è verificato")), QStringList());
            return;
        }
        QVERIFY(ok);
        QVERIFY(errors.isEmpty());
    }

    void corruptDatabaseIsReportedAndKept()
    {
        if (TestEnv::onServer())
            QSKIP("a damaged database file: on the server there is no file to damage");
        TestEnv env;
        // The tool's own folders are named after its program folder.
        const QString db = env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb");
        writeFile(db, QByteArray(8192, 'x'));
        const Run r = runCli(cli, {QStringLiteral("upgrade")});
        QCOMPARE(r.code, 1);
        const QStringList lines = r.err.trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(QStringLiteral("ATTENZIONE: il database \"") + db +
                                     QStringLiteral("\" non si può leggere per intero")),
                 qPrintable(lines[0]));
        QVERIFY2(lines[0].contains(QStringLiteral("Non esiste una copia precedente")), qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(QStringLiteral("ATTENZIONE: si è verificato il seguente errore ")), qPrintable(r.err));
        QVERIFY(r.out.contains(QStringLiteral("Verifica struttura DataBase...\nFinalizzazione...\n")));
        QCOMPARE(readFile(db), QByteArray(8192, 'x'));
        const QString backup = env.documents() + QStringLiteral("/Scadenzio/Backup/DB/");
        QCOMPARE(filesUnder(backup), QStringList({"gestionale.mdb.danneggiato"}));
        QCOMPARE(readFile(backup + QStringLiteral("gestionale.mdb.danneggiato")), QByteArray(8192, 'x'));
    }

    // One copy per start: a live database that cannot be read must never take the place of
    // the last good copy.
    void damagedDatabaseNeverReplacesTheLastGoodBackup_data()
    {
        QTest::addColumn<bool>("truncated");
        QTest::newRow("troncato") << true;
        QTest::newRow("pagina rovinata") << false;
    }

    void damagedDatabaseNeverReplacesTheLastGoodBackup()
    {
        QFETCH(bool, truncated);
        if (TestEnv::onServer())
            QSKIP("a damaged database file: on the server there is no file to damage");
        TestEnv env;
        sz::startup::installDefaults();
        const QString live = sz::paths::defaultDatabasePath();
        fillRegister(live);
        QStringList steps, errors;
        QVERIFY(sz::startup::Execute(recorder(steps, errors)));
        const QString backup = sz::paths::dataRoot() + QStringLiteral("Backup/DB/gestionale.mdb");
        const QByteArray good = readFile(backup);

        QFile f(live);
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (truncated) {
            QVERIFY(f.resize(f.size() / 3));
        } else {
            QVERIFY(f.seek(f.size() / 2));
            f.write(QByteArray(64, 'X'));
        }
        f.close();
        const QByteArray damaged = readFile(live);

        steps.clear();
        QVERIFY(!sz::startup::Execute(recorder(steps, errors)));
        QCOMPARE(steps.size(), sz::startup::StepCount);
        QVERIFY(!errors.isEmpty());
        QVERIFY2(errors[0].startsWith(QStringLiteral("ATTENZIONE: il database \"") + live +
                                      QStringLiteral("\" non si può leggere per intero")),
                 qPrintable(errors[0]));
        QVERIFY2(errors[0].contains(QStringLiteral("La copia precedente \"") + backup +
                                    QStringLiteral("\" è stata conservata")),
                 qPrintable(errors[0]));
        if (truncated) // the upgrade cannot read it either, and says so in the common frame
            QVERIFY(errors.size() == 2 && errors[1].startsWith(QStringLiteral("ATTENZIONE: si è verificato")));

        QCOMPARE(readFile(backup), good);
        QCOMPARE(Connection(backup).scalar(QStringLiteral("SELECT count(*) FROM t_crediti")).toInt(), 3000);
        QCOMPARE(readFile(backup + QStringLiteral(".danneggiato")), damaged);
        QCOMPARE(readFile(live), damaged);
    }

    // A writer that crashed leaves its journal beside the database. The journal is played
    // back into the live file when it is opened; beside a copy it would be played into the
    // copy and ruin it.
    void backupLeavesJournalsAndTemporaryFilesBehind()
    {
        if (TestEnv::onServer())
            QSKIP("the journal of the database file: a server keeps none beside it");
        TestEnv env;
        sz::startup::installDefaults();
        const QString live = sz::paths::defaultDatabasePath();
        fillRegister(live);
        QStringList steps, errors;
        QVERIFY(sz::startup::Execute(recorder(steps, errors)));

        // The moment of a crash: a large update half written into the file, the journal
        // holding the pages as they were.
        const QString crash = env.home() + QStringLiteral("/crash/");
        QDir().mkpath(crash);
        {
            Connection c(live);
            c.exec(QStringLiteral("PRAGMA cache_size = 10"));
            c.exec(QStringLiteral("BEGIN IMMEDIATE"));
            c.exec(QStringLiteral("UPDATE t_crediti SET Note = 'NOTA CAMBIATA'"));
            QVERIFY(QFile::copy(live, crash + QStringLiteral("gestionale.mdb")));
            QVERIFY(QFile::copy(live + QStringLiteral("-journal"), crash + QStringLiteral("gestionale.mdb-journal")));
            c.exec(QStringLiteral("ROLLBACK"));
        }
        QFile::remove(live);
        QVERIFY(QFile::copy(crash + QStringLiteral("gestionale.mdb"), live));
        QVERIFY(QFile::copy(crash + QStringLiteral("gestionale.mdb-journal"), live + QStringLiteral("-journal")));
        const QString db = sz::paths::dataRoot() + QStringLiteral("DB/");
        for (const char* junk : {"gestionale.mdb.tmp", "gestionale.mdb-mj1A2B3C4D", "vecchio.mdb-wal", "vecchio.mdb-shm"})
            writeFile(db + QLatin1String(junk), "resti");
        // What earlier starts left in the backup: the journal, and a copy cut short.
        const QString backup = sz::paths::dataRoot() + QStringLiteral("Backup/DB/");
        QVERIFY(QFile::copy(crash + QStringLiteral("gestionale.mdb-journal"),
                            backup + QStringLiteral("gestionale.mdb-journal")));
        for (const char* junk : {"gestionale.mdb.tmp", "gestionale.mdb-wal", "gestionale.mdb-shm"})
            writeFile(backup + QLatin1String(junk), "resti");

        QVERIFY(sz::startup::Execute(recorder(steps, errors)));
        QCOMPARE(errors, QStringList());
        QCOMPARE(filesUnder(backup), QStringList({"gestionale.mdb"}));
        Connection copy(backup + QStringLiteral("gestionale.mdb"));
        QCOMPARE(copy.scalar(QStringLiteral("PRAGMA quick_check")).toString(), QStringLiteral("ok"));
        QCOMPARE(copy.scalar(QStringLiteral("SELECT count(*) FROM t_crediti WHERE Note LIKE 'NOTA ORIGINALE%'")).toInt(),
                 3000);
        QVERIFY(!QFileInfo::exists(live + QStringLiteral("-journal")));
        QCOMPARE(Connection(live).scalar(QStringLiteral("SELECT count(*) FROM t_crediti WHERE Note = 'NOTA CAMBIATA'")).toInt(),
                 0);
    }

    // Other users of the computer must not read the register, its copies or its settings.
    void everythingTheStartCreatesIsPrivate()
    {
        TestEnv env;
        std::unique_ptr<ServerDatabase> server;
        const QString db = registroDelComando(env, server);
        // The tool lays out the folders of a real installation, default settings included.
        const Run r = runCli(cli, {QStringLiteral("upgrade")});
        QCOMPARE(r.code, 0);
        const QString data = env.documents() + QStringLiteral("/Scadenzio/");
        const QString settings = env.configHome() + QStringLiteral("/Scadenzio/");
        QStringList folders{data, data + "Backup", data + "Backup/DB", data + "Backup/Config", settings, settings + "Config"};
        if (!server) // the server's register needs no folders of the installation's own
            folders << data + "DB" << data + "Archivio" << data + "Logo";
        for (const QString& folder : std::as_const(folders))
            QVERIFY2(modeOf(folder) == 0700, qPrintable(folder + QStringLiteral(": ") + QString::number(modeOf(folder), 8)));
        QStringList files;
        if (!server)
            files << db;
        for (const QString& f : filesUnder(settings))
            files << settings + f;
        if (!server)
            QVERIFY(modeOf(data + QStringLiteral("Backup/Archivio")) == 0700);
        for (const QString& f : filesUnder(data + "Backup"))
            files << data + "Backup/" + f;
        QVERIFY(files.contains(settings + QStringLiteral("Config/PackToLoad.ini")));
        QVERIFY(files.contains(data + QStringLiteral("Backup/Config/PackToLoad.ini")));
        if (!server)
            QVERIFY(files.contains(data + QStringLiteral("Backup/DB/gestionale.mdb")));
        for (const QString& f : files)
            QVERIFY2(modeOf(f) == 0600, qPrintable(f + QStringLiteral(": ") + QString::number(modeOf(f), 8)));
        if (server)
            return; // no journal beside a server database
        // The engine gives its journal the permissions of the database file.
        Connection c(db);
        c.exec(QStringLiteral("BEGIN IMMEDIATE"));
        c.exec(QStringLiteral("DELETE FROM t_parametri"));
        QCOMPARE(modeOf(db + QStringLiteral("-journal")), 0600);
        c.exec(QStringLiteral("ROLLBACK"));
    }

    // Two command-line writers at once: each waits for the other's lock instead of failing.
    void twoWritersInParallelNoStatementRefused()
    {
        TestEnv env;
        std::unique_ptr<ServerDatabase> server;
        const QString db = registroDelComando(env, server);
        QCOMPARE(runCli(cli, {QStringLiteral("upgrade")}).code, 0);
        const QStringList insert{QStringLiteral("sql"),
                                 QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Note) WITH RECURSIVE "
                                                "n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                                                "SELECT :w || '-' || i, 'NOTA DI PROVA' FROM n")};
        constexpr int perWriter = 12;
        int finished[2] = {0, 0};
        QStringList failures;
        QProcess writers[2];
        auto start = [&](int w) { writers[w].start(cli, insert + QStringList{QStringLiteral("w=%1").arg(w)}); };
        start(0);
        start(1);
        while (finished[0] < perWriter || finished[1] < perWriter) {
            for (int w = 0; w < 2; ++w) {
                if (finished[w] == perWriter)
                    continue;
                if (writers[w].state() != QProcess::NotRunning && !writers[w].waitForFinished(20))
                    continue;
                if (writers[w].exitStatus() != QProcess::NormalExit || writers[w].exitCode() != 0)
                    failures << QString::fromUtf8(writers[w].readAllStandardError());
                if (++finished[w] < perWriter)
                    start(w);
            }
        }
        QCOMPARE(failures, QStringList());
        QCOMPARE(Connection(db).scalar(QStringLiteral("SELECT count(*) FROM t_crediti")).toInt(), 2 * perWriter * 300);
    }

    // Three workstations started for the first time at once on the same new register (a
    // file on the shared folder, or the server's database): each start waits for the
    // others' upgrade, and the tables and seeds are there once.
    void threeWorkstationsUpgradeAtOnce()
    {
        TestEnv env;
        std::unique_ptr<ServerDatabase> server;
        QString db;
        if (TestEnv::onServer()) {
            server = std::make_unique<ServerDatabase>();
            db = server->uri();
        } else {
            db = env.home() + QStringLiteral("/condivisa/gestionale.mdb");
            QVERIFY(QDir().mkpath(QFileInfo(db).absolutePath()));
            Connection::createDatabase(db);
        }
        QProcess starts[3];
        for (int i = 0; i < 3; ++i) {
            const QString casa = env.home() + QStringLiteral("/postazione%1").arg(i);
            writeFile(casa + QStringLiteral("/.config/Scadenzio/Config/Config.ini"),
                      "[ConnectionString]\nstrConn=" + db.toUtf8() + "\n");
            QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
            e.insert(QStringLiteral("HOME"), casa);
            e.insert(QStringLiteral("XDG_CONFIG_HOME"), casa + QStringLiteral("/.config"));
            e.insert(QStringLiteral("XDG_DATA_HOME"), casa + QStringLiteral("/.local/share"));
            starts[i].setProcessEnvironment(e);
        }
        for (QProcess& p : starts)
            p.start(cli, {QStringLiteral("upgrade")});
        QStringList failures;
        for (QProcess& p : starts) {
            QVERIFY(p.waitForFinished(120000));
            if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
                failures << QString::fromUtf8(p.readAllStandardError());
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
        Connection c(db);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_ISP")).toInt(), 1);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_comunicazioni")).toInt(), 6);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_parametri")).toInt(), 3);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_tassi WHERE Tipo = 'MORA'")).toInt(), 27);
        QCOMPARE(c.tableNames().size(), 15);
    }

    void cliRunsStatementsWithBoundValues()
    {
        TestEnv env;
        std::unique_ptr<ServerDatabase> server;
        registroDelComando(env, server);
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

    // Amounts are stored in ten-thousandths of a euro: a plain number where an amount is
    // meant would be 10,000 times too small, and a computed amount would print so.
    void cliAmountsAreEurosBothWays()
    {
        TestEnv env;
        std::unique_ptr<ServerDatabase> server;
        registroDelComando(env, server);
        QCOMPARE(runCli(cli, {QStringLiteral("upgrade")}).code, 0);
        auto sql = [](const QString& statement, const QStringList& values = {}) {
            return runCli(cli, QStringList{QStringLiteral("sql"), statement} + values);
        };
        Run r = sql(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Importo, Incassato) VALUES ('1', :i, :p)"),
                    {QStringLiteral("i:money=1.234,5"), QStringLiteral("p:money=200")});
        QCOMPARE(r.code, 0);
        for (const QString& value : {QStringLiteral("i=100"), QStringLiteral("i:int=100")}) {
            r = sql(QStringLiteral("UPDATE t_crediti SET Importo = :i"), {value});
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.startsWith(QStringLiteral("ATTENZIONE: il parametro i ")), qPrintable(r.err));
            QVERIFY2(r.err.contains(QStringLiteral("i:money=100,00")), qPrintable(r.err));
        }
        r = sql(QStringLiteral("UPDATE t_crediti SET Importo = 100"));
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("ATTENZIONE: il valore 100 ")), qPrintable(r.err));

        r = sql(QStringLiteral("SELECT MAX(Importo) AS Importo, SUM(Importo) AS Totale, SUM(Importo - Incassato), "
                               "COUNT(*) FROM t_crediti"));
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Importo\tTotale\tSUM(Importo - Incassato)\tCOUNT(*)\n1234,50\t1234,50\t"
                                       "1034,50\t1\n"));
        r = sql(QStringLiteral("SELECT FORMAT(SUM(Importo), '€ #,##0.00') FROM t_crediti"));
        QCOMPARE(r.out, QStringLiteral("FORMAT(SUM(Importo), '€ #,##0.00')\n€ 1.234,50\n"));

        // Bytes that are not UTF-8 are refused, not stored as replacement characters.
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("exec \"$0\" sql \"UPDATE t_crediti SET Note = :n\" "
                                                          "\"n=caff$(printf '\\351')\""),
                     cli});
        QVERIFY(shell.waitForFinished(60000));
        QCOMPARE(shell.exitCode(), 1);
        QVERIFY2(QString::fromUtf8(shell.readAllStandardError())
                     .startsWith(QStringLiteral("ATTENZIONE: l'argomento 3 non è un testo UTF-8 valido")),
                 "invalid UTF-8 accepted");
        r = sql(QStringLiteral("SELECT Importo, Note FROM t_crediti"));
        QCOMPARE(r.out, QStringLiteral("Importo\tNote\n1234,50\t\n"));
    }

    void amountRulesReadTheStatement_data()
    {
        using U = sz::cli::SqlAmounts::Unit;
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("refusal"); // the start of the message, empty when it runs
        QTest::addColumn<QVector<U>>("units");
        const QVector<U> none;
        auto ok = [&](const char* name, const char* sql, const QVector<U>& units, const QStringList& values = {}) {
            QTest::newRow(name) << QString::fromUtf8(sql) << values << QString() << units;
        };
        auto refused = [&](const char* name, const char* sql, const char* message, const QStringList& values = {}) {
            QTest::newRow(name) << QString::fromUtf8(sql) << values << QString::fromUtf8(message) << none;
        };
        ok("somma per cliente", "SELECT Cliente, SUM(Residuo) r, COUNT(*) FROM t_crediti GROUP BY Cliente",
           {U::Plain, U::Amount, U::Plain});
        ok("differenza", "SELECT c.Importo - c.Incassato FROM t_crediti AS c", {U::Amount});
        ok("media", "SELECT SUM(Importo) / COUNT(*), AVG(Residuo), Incassato / Importo FROM t_crediti",
           {U::Amount, U::Amount, U::Plain});
        ok("conteggio con condizione", "SELECT SUM(CASE WHEN Importo > 0 THEN 1 ELSE 0 END) FROM t_crediti",
           {U::Plain});
        ok("da una sottoquery", "SELECT MAX(x) FROM (SELECT Importo * 2 AS x FROM t_crediti) AS s", {U::Amount});
        ok("COALESCE e FORMAT", "SELECT COALESCE(SUM(Importo), 0), FORMAT(SUM(Importo), '€ #,##0.00') FROM t_crediti",
           {U::Amount, U::Plain});
        ok("parametri :money", "UPDATE t_crediti SET Importo = :i, Residuo = :i - Incassato WHERE ID = :id",
           none, {"i:money=100", "id:int=1"});
        ok("tra due importi", "SELECT ID FROM t_crediti WHERE Importo BETWEEN :a AND :b OR Residuo IN (:a, NULL)",
           {U::Plain}, {"a:money=1", "b:money=2,5"});
        ok("zero", "UPDATE t_crediti SET Incassato = 0 WHERE Residuo <> 0 AND Importo > :v", none, {"v:null="});
        ok("stesso nome, colonna di testo", "SELECT Importo FROM t_mappaturaImportazioniFatture WHERE Importo = :c",
           {U::Plain}, {"c=Colonna C"});
        ok("inserimento", "INSERT INTO t_crediti (NumeroFattura, Importo) VALUES (:n, :i), ('2', NULL)", none,
           {"n=1", "i:money=3"});
        ok("struttura", "PRAGMA table_info(t_crediti)", none);
        refused("parametro di testo", "UPDATE t_crediti SET Importo = :i", "ATTENZIONE: il parametro i ", {"i=100"});
        refused("parametro intero", "SELECT * FROM t_crediti WHERE :x < Residuo", "ATTENZIONE: il parametro x ",
                {"x:int=5"});
        refused("sottratto", "UPDATE t_crediti SET Residuo = Residuo - :p WHERE ID = 1", "ATTENZIONE: il parametro p ",
                {"p=50"});
        refused("numero nell'istruzione", "SELECT * FROM t_crediti WHERE Importo > 1000", "ATTENZIONE: il valore 1000 ");
        refused("numero negativo", "UPDATE t_crediti SET Importo = -5", "ATTENZIONE: il valore -5 ");
        refused("numero sommato", "SELECT Importo + 100 FROM t_crediti", "ATTENZIONE: il valore 100 ");
        refused("numero in un elenco", "SELECT ID FROM t_crediti WHERE Importo IN (100, 200)",
                "ATTENZIONE: il valore 100 ");
        refused("numero inserito", "INSERT INTO t_crediti (NumeroFattura, Importo) VALUES ('1', 250)",
                "ATTENZIONE: il valore 250 ");
        refused("testo nell'istruzione", "UPDATE t_crediti SET Incassato = '12,50'", "ATTENZIONE: il valore '12,50' ");
        refused("giorni come importo", "INSERT INTO t_crediti (Importo) SELECT Sollecito1 FROM t_parametri",
                "ATTENZIONE: Importo e Sollecito1 non sono entrambi importi");
        refused("importo come giorni", "SELECT * FROM t_parametri, t_crediti WHERE Sollecito1 = :m",
                "ATTENZIONE: :m e Sollecito1 non sono entrambi importi", {"m:money=5"});
        refused("prodotto di importi", "SELECT Importo * Residuo FROM t_crediti",
                "ATTENZIONE: la colonna Importo * Residuo è calcolata da un importo");
        refused("importo nel testo", "SELECT 'EUR ' || Importo AS t FROM t_crediti",
                "ATTENZIONE: la colonna t è calcolata da un importo");
    }

    void amountRulesReadTheStatement()
    {
        using U = sz::cli::SqlAmounts::Unit;
        QFETCH(QString, sql);
        QFETCH(QStringList, values);
        QFETCH(QString, refusal);
        QFETCH(QVector<U>, units);
        TestEnv env;
        Connection c(env.installDatabase());
        try {
            const sz::cli::SqlAmounts amounts(c, sql, sz::cli::parseParams(values));
            QVERIFY2(refusal.isEmpty(), "the statement should have been refused");
            QCOMPARE(amounts.resultUnits(), units);
        } catch (const sz::Error& e) {
            QVERIFY2(!refusal.isEmpty() && e.message().startsWith(refusal), qPrintable(e.message()));
        }
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
        // Qt Gui paints letters on the offscreen platform; the window libraries stay out.
        for (const char* forbidden : {"libQt6Widgets", "libscadenzio-ui"})
            QVERIFY2(!libs.contains(QLatin1String(forbidden)), forbidden);

        TestEnv env;
        std::unique_ptr<ServerDatabase> server;
        registroDelComando(env, server);
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
