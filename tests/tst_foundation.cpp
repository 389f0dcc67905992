// Money, dates, INI reading, folders and the encrypted database layer.
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Error.h"
#include "scadenzio/Ini.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Money.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QtTest>

#include <sys/stat.h>
#include <thread>

using sz::Money;
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

int modeOf(const QString& path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A test table made as the schema upgrade makes the program's: the key numbered by the
// engine, each column of a type word (with its width and, for texts, the collation that
// ignores letter case) and what follows it (NOT NULL, UNIQUE, a CHECK).
struct Colonna
{
    const char* nome;
    const char* tipo;
    const char* resto = "";
};

void tabella(Connection& c, const QString& nome, const QList<Colonna>& colonne)
{
    const sz::db::Dialect& d = c.dialect();
    QStringList tipi, definizioni{d.autoIncrementKey(d.quoteName(QStringLiteral("ID")))};
    for (const Colonna& col : colonne) {
        const QString tipo = QLatin1String(col.tipo);
        tipi << tipo;
        QString def = QLatin1String(col.nome) + QLatin1Char(' ') + d.columnType(tipo);
        if (tipo.startsWith(QLatin1String("VARCHAR")) || tipo == QLatin1String("TEXT"))
            def += QLatin1Char(' ') + d.textCollation();
        definizioni << (def.trimmed() + QLatin1Char(' ') + QLatin1String(col.resto)).trimmed();
    }
    sz::db::Transaction tx(c);
    d.prepareSchema(c, tipi);
    c.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(nome, definizioni.join(QStringLiteral(", "))));
    tx.commit();
}

// A file with enough rows to span many pages, so that damage can hit one in the middle.
void fillWithRows(Connection& c)
{
    c.exec(QStringLiteral("CREATE TABLE t (ID INTEGER PRIMARY KEY, Nome TEXT)"));
    c.exec(QStringLiteral("CREATE INDEX ix_nome ON t (Nome)"));
    sz::db::Transaction tx(c);
    for (int i = 0; i < 3000; ++i)
        c.exec(QStringLiteral("INSERT INTO t (Nome) VALUES (:n)"),
               {{QStringLiteral("n"), QStringLiteral("CLIENTE %1 ").arg(i).repeated(6)}});
    tx.commit();
}

// The index's root made to point at the table: every page still decrypts, only a check
// of the structure finds the fault.
void breakIndex(Connection& c)
{
    c.exec(QStringLiteral("PRAGMA writable_schema = ON"));
    c.exec(QStringLiteral("UPDATE sqlite_master SET rootpage = (SELECT rootpage FROM sqlite_master WHERE name = 't') "
                          "WHERE name = 'ix_nome'"));
    c.exec(QStringLiteral("PRAGMA writable_schema = OFF"));
}

void overwriteMiddle(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(f.size() / 2));
    f.write(QByteArray(64, 'X'));
}

// The engine's failure, in the clerk's words first and its own text after, for support.
void expectExplained(const std::function<void()>& action, sz::db::DatabaseError::Fault fault, const QString& clerk,
                     const QString& engine)
{
    try {
        action();
        QFAIL("the statement must fail");
    } catch (const sz::db::DatabaseError& e) {
        QVERIFY2(e.fault() == fault, qPrintable(e.message()));
        QVERIFY2(e.message().startsWith(clerk), qPrintable(e.message()));
        QVERIFY2(e.message().endsWith(QStringLiteral("(") + engine + QLatin1Char(')')), qPrintable(e.message()));
    }
}

} // namespace

class TestFoundation : public QObject
{
    Q_OBJECT
private slots:
    void moneyParsesItalianAndMachineText()
    {
        QCOMPARE(Money::parse(QStringLiteral("1.234,56"))->raw(), 12345600);
        QCOMPARE(Money::parse(QStringLiteral("€ 1.234,56"))->raw(), 12345600);
        QCOMPARE(Money::parse(QStringLiteral("1234.5"))->raw(), 12345000);
        QCOMPARE(Money::parse(QStringLiteral("1.234"))->raw(), 12340000); // thousands, not decimals
        // A lone full stop before four decimals is the decimal mark: 1.234,5678.
        QCOMPARE(Money::parse(QStringLiteral("1234.5678"))->raw(), 12345678);
        // Sums that do not fit are refused, not wrapped round to a negative total.
        const Money top = *Money::parse(QStringLiteral("99.999.999.999.999,99"));
        Money sum;
        for (int i = 0; i < 9; ++i)
            sum += top;
        QVERIFY(sum > top);
        QVERIFY_THROWS_EXCEPTION(sz::Error, sum += top);
        QVERIFY_THROWS_EXCEPTION(sz::Error, -sum - top - top);
        QCOMPARE(Money::parse(QStringLiteral("-0,5"))->raw(), -5000);
        QCOMPARE(Money::parse(QStringLiteral("0,123456"))->raw(), 1235); // fifth decimal rounds
        QVERIFY(!Money::parse(QStringLiteral("")));
        QVERIFY(!Money::parse(QStringLiteral("12,3,4")));
        QVERIFY(!Money::parse(QStringLiteral("dodici")));
    }

    void moneyDisplaysWithItalianSeparators()
    {
        QCOMPARE(Money::fromRaw(12345600).toDisplay(), QStringLiteral("€ 1.234,56"));
        QCOMPARE(Money::fromRaw(12345678901234).toDisplay(), QStringLiteral("€ 1.234.567.890,12"));
        QCOMPARE(Money::fromRaw(-15000).toDisplay(), QStringLiteral("-€ 1,50"));
        QCOMPARE(Money::fromRaw(50).toDisplay(), QStringLiteral("€ 0,01")); // half a cent rounds up
        QCOMPARE(Money::fromRaw(-49).toDisplay(), QStringLiteral("€ 0,00")); // no "-0,00"
        QCOMPARE(Money().toDisplay(), QStringLiteral("€ 0,00"));
    }

    // Lists keep formatted amount columns as amounts; they must read back as the very text
    // the database wrote, and anything that is not exactly that text must stay text.
    void formattedAmountsReadBackAsTheirText()
    {
        TestEnv env;
        sz::db::Connection conn(env.createDefaultDatabase());
        tabella(conn, QStringLiteral("t"), {{"Importo", "CURRENCY"}, {"Note", "VARCHAR(50)"}});
        const QList<qint64> raws = {0, 49, 50, -49, -50, 12345600, -15000, 9999999999, 12345678901234, 10000000,
                                    999999, 1000000, 99999999999999999};
        for (qint64 r : raws)
            conn.exec(QStringLiteral("INSERT INTO t (Importo, Note) VALUES (:i, :n)"),
                      {{QStringLiteral("i"), QVariant::fromValue(Money::fromRaw(r))},
                       {QStringLiteral("n"), Money::fromRaw(r).toDisplay()}});
        const auto res = conn.query(
            QStringLiteral("SELECT FORMAT(Importo, '€ #,##0.00') AS F, Note, '€ ' || '01,00' AS Z FROM t ORDER BY ID"));
        for (int i = 0; i < raws.size(); ++i) {
            const QVariant f = res.rows[i][0];
            QCOMPARE(f.userType(), qMetaTypeId<sz::FormattedAmount>());
            QCOMPARE(f.toString(), Money::fromRaw(raws[i]).toDisplay());
            // A stored text that happens to look like an amount stays text.
            QCOMPARE(res.rows[i][1].userType(), int(QMetaType::QString));
            // Not how the formatter writes it (leading zero): text, unchanged.
            QCOMPARE(res.rows[i][2], QVariant(QStringLiteral("€ 01,00")));
        }
        for (const char* bad : {"€ 1.23,45", "€ 1234,56", "€ ,50", "€ 1.234,5", "-€ 0,00", "€ 1.234,567", "€1,00",
                                "€ 0.123,00", "€ 12.345.678.901.234.567,00"}) {
            const QByteArray b(bad);
            QVERIFY2(!sz::FormattedAmount::fromDisplay(b.constData(), int(b.size())), bad);
        }
    }

    // Repeated texts share storage when a list is read; each row must still hold its own
    // value, and a column of mostly distinct values must read as it is stored.
    void listTextsReadAsStored()
    {
        TestEnv env;
        sz::db::Connection conn(env.createDefaultDatabase());
        tabella(conn, QStringLiteral("t"), {{"Cliente", "VARCHAR(50)"}, {"Numero", "VARCHAR(50)"}});
        sz::db::Transaction tx(conn);
        for (int i = 0; i < 5000; ++i)
            conn.exec(QStringLiteral("INSERT INTO t (Cliente, Numero) VALUES (:c, :n)"),
                      {{QStringLiteral("c"), i % 7 == 0 ? QStringLiteral("CAFFÈ ROSSI") : QStringLiteral("BIANCHI")},
                       {QStringLiteral("n"), QStringLiteral("FT %1/2026").arg(i)}});
        tx.commit();
        auto res = conn.query(QStringLiteral("SELECT Cliente, Numero FROM t ORDER BY ID"));
        QCOMPARE(res.rows.size(), 5000);
        for (int i = 0; i < 5000; ++i) {
            QCOMPARE(res.rows[i][0].toString(), i % 7 == 0 ? QStringLiteral("CAFFÈ ROSSI") : QStringLiteral("BIANCHI"));
            QCOMPARE(res.rows[i][1].toString(), QStringLiteral("FT %1/2026").arg(i));
        }
        // Changing one row's text leaves the rows that shared it alone.
        QString& first = *static_cast<QString*>(res.rows[0][0].data());
        first += QStringLiteral(" S.R.L.");
        QCOMPARE(res.rows[7][0].toString(), QStringLiteral("CAFFÈ ROSSI"));
    }

    void datesRoundTripAndRejectImpossibleDays()
    {
        QCOMPARE(sz::dates::fromDisplay(QStringLiteral("05/03/2026")), QDate(2026, 3, 5));
        QVERIFY(!sz::dates::fromDisplay(QStringLiteral("31/02/2026")).isValid());
        QVERIFY(!sz::dates::fromDisplay(sz::dates::EmptyMask).isValid());
        QVERIFY(!sz::dates::fromDisplay(QStringLiteral("05/03/26")).isValid());
        QCOMPARE(sz::dates::fromIso(QStringLiteral("2026-03-05 00:00:00")), QDate(2026, 3, 5));
    }

    void iniReadsLikeTheProfileApi()
    {
        TestEnv env;
        const QString ini = env.home() + QStringLiteral("/a.ini");
        writeFile(ini, "; commento\r\n[Altro]\r\nstrConn=no\r\n[ connectionstring ]\r\n  STRCONN =  /srv/dati/g.mdb  \r\n");
        QCOMPARE(sz::readIniValue(ini, QStringLiteral("ConnectionString"), QStringLiteral("strConn")),
                 QStringLiteral("/srv/dati/g.mdb"));
        QCOMPARE(sz::readIniValue(ini, QStringLiteral("Manca"), QStringLiteral("strConn"), QStringLiteral("x")),
                 QStringLiteral("x"));
        QCOMPARE(sz::readIniValue(env.home() + QStringLiteral("/nessuno.ini"), QStringLiteral("A"),
                                  QStringLiteral("B")),
                 QString());
        writeFile(ini, "[Crediti - Registrazione]\nPackToLoad=pkgcredits.so\n[Città]\nK=\xe8\n"); // Latin-1 è
        QCOMPARE(sz::readIniValue(ini, QStringLiteral("Crediti - Registrazione"), QStringLiteral("PackToLoad")),
                 QStringLiteral("pkgcredits.so"));
    }

    void foldersFollowTheEnvironmentAndTheProgramName()
    {
        TestEnv env;
        const QString n = sz::paths::programName();
        QVERIFY(!n.isEmpty());
        QCOMPARE(sz::paths::settingsRoot(), env.configHome() + QLatin1Char('/') + n + QLatin1Char('/'));
        QCOMPARE(sz::paths::dataRoot(), env.documents() + QLatin1Char('/') + n + QLatin1Char('/'));
        QCOMPARE(sz::paths::LoadConnection(), sz::paths::dataRoot() + QStringLiteral("DB/gestionale.mdb"));

        // Config.ini: empty value and absent key mean the default; a value is used unchanged.
        writeFile(sz::paths::configIniPath(), "[ConnectionString]\nstrConn=\n");
        QCOMPARE(sz::paths::LoadConnection(), sz::paths::defaultDatabasePath());
        writeFile(sz::paths::configIniPath(), "[ConnectionString]\nstrConn=\\\\server\\dati\\gestionale.mdb\n");
        QCOMPARE(sz::paths::LoadConnection(), QStringLiteral("\\\\server\\dati\\gestionale.mdb"));
        QVERIFY(sz::paths::isNetworkPath(sz::paths::LoadConnection()));
        QVERIFY(!sz::paths::isNetworkPath(QStringLiteral("/home/a/gestionale.mdb")));
    }

    void databaseIsEncryptedAndRefusesTheWrongKey()
    {
        if (TestEnv::onServer())
            QSKIP("the file's encryption and key: a server database is no file of ours");
        TestEnv env;
        const QString path = env.createDefaultDatabase();
        {
            Connection c(path);
            c.exec(QStringLiteral("CREATE TABLE t (ID INTEGER PRIMARY KEY, Nome TEXT)"));
            c.exec(QStringLiteral("INSERT INTO t (Nome) VALUES (:n)"),
                   {{QStringLiteral("n"), QStringLiteral("ROSSI SEGRETISSIMO SRL")}});
        }
        const QByteArray raw = readFile(path);
        QVERIFY(!raw.isEmpty());
        QVERIFY(!raw.contains("SEGRETISSIMO"));
        QVERIFY(!raw.startsWith("SQLite format 3"));

        try {
            Connection wrong(path, QStringLiteral("altra"));
            QFAIL("a wrong key must not open the file");
        } catch (const sz::Error& e) {
            QVERIFY2(e.message().contains(QStringLiteral("non è un database di Scadenzio")), qPrintable(e.message()));
        }
        const QString foreign = env.home() + QStringLiteral("/lettera.mdb");
        writeFile(foreign, QByteArray("Questo non è un database, ma una lettera.\n").repeated(200));
        QVERIFY_THROWS_EXCEPTION(sz::Error, Connection{foreign});
        QCOMPARE(readFile(foreign), QByteArray("Questo non è un database, ma una lettera.\n").repeated(200));
        QVERIFY_THROWS_EXCEPTION(sz::Error, Connection{env.home() + QStringLiteral("/manca.mdb")});
        QVERIFY(!QFileInfo::exists(env.home() + QStringLiteral("/manca.mdb")));
    }

    void backupCopyIsEncryptedCompleteAndPrivate()
    {
        if (TestEnv::onServer())
            QSKIP("a copy of the database file: the server's dump has a test of its own");
        TestEnv env;
        const QString path = env.createDefaultDatabase();
        // Other users of the computer cannot read the register or its copies, whatever the umask.
        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(modeOf(QFileInfo(path).absolutePath()), 0700);
        QCOMPARE(modeOf(sz::paths::dataRoot()), 0700);
        Connection c(path);
        c.exec(QStringLiteral("CREATE TABLE t (ID INTEGER PRIMARY KEY, Nome TEXT)"));
        c.exec(QStringLiteral("INSERT INTO t (Nome) VALUES ('COPIA RISERVATA')"));
        const QString copy = env.home() + QStringLiteral("/copia/gestionale.mdb");
        c.backupTo(copy);
        QVERIFY(!readFile(copy).contains("RISERVATA"));
        QCOMPARE(modeOf(copy), 0600);
        QCOMPARE(modeOf(env.home() + QStringLiteral("/copia")), 0700);
        Connection back(copy);
        QCOMPARE(back.scalar(QStringLiteral("SELECT Nome FROM t")).toString(), QStringLiteral("COPIA RISERVATA"));
        QVERIFY(!QFileInfo::exists(copy + QStringLiteral(".tmp")));
    }

    // A copy of a damaged file must never take the place of the last good one, whether the
    // engine trips over a page while copying or only the check of the copy finds the fault.
    void backupOfADamagedDatabaseKeepsTheLastGoodCopy_data()
    {
        QTest::addColumn<bool>("pageDamage");
        QTest::newRow("pagina illeggibile") << true;
        QTest::newRow("struttura incoerente") << false;
    }

    void backupOfADamagedDatabaseKeepsTheLastGoodCopy()
    {
        QFETCH(bool, pageDamage);
        if (TestEnv::onServer())
            QSKIP("a damaged database file: on the server there is no file to damage");
        TestEnv env;
        const QString path = env.createDefaultDatabase();
        const QString copy = env.home() + QStringLiteral("/copia/gestionale.mdb");
        {
            Connection c(path);
            fillWithRows(c);
            c.backupTo(copy);
            if (!pageDamage)
                breakIndex(c);
        }
        if (pageDamage)
            overwriteMiddle(path);
        const QByteArray good = readFile(copy);

        Connection c(path); // the first page is sound: the file still opens
        try {
            c.backupTo(copy);
            QFAIL("a damaged database must not be copied");
        } catch (const sz::db::DatabaseError& e) {
            QVERIFY2(e.fault() == sz::db::DatabaseError::Fault::Damaged, qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("danneggiato")), qPrintable(e.message()));
        }
        QCOMPARE(readFile(copy), good);
        QVERIFY(!QFileInfo::exists(copy + QStringLiteral(".tmp")));
    }

    // Another connection holding the file (a writer on another workstation, the
    // command-line tool) makes opening wait, from keying and the first read on.
    void openingWaitsForAWriterElsewhere()
    {
        if (TestEnv::onServer())
            QSKIP("the lock of the database file: a server lets a connection open and read while another writes");
        TestEnv env;
        const QString path = env.createDefaultDatabase();
        Connection writer(path);
        writer.exec(QStringLiteral("CREATE TABLE t (X INT)"));
        writer.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        writer.exec(QStringLiteral("INSERT INTO t (X) VALUES (1)"));
        std::thread release([&writer] {
            QThread::msleep(600);
            try {
                writer.exec(QStringLiteral("COMMIT"));
            } catch (const sz::Error&) {
            }
        });
        QElapsedTimer timer;
        timer.start();
        QString failure;
        int rows = -1;
        try {
            Connection reader(path);
            rows = reader.scalar(QStringLiteral("SELECT count(*) FROM t")).toInt();
        } catch (const sz::Error& e) {
            failure = e.message();
        }
        release.join();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(rows, 1);
        QVERIFY(timer.elapsed() >= 400);
    }

    void engineFailuresAreExplainedInItalian()
    {
        using Fault = sz::db::DatabaseError::Fault;
        const bool server = TestEnv::onServer();
        TestEnv env;
        const QString path = env.createDefaultDatabase();
        Connection c(path);
        tabella(c, QStringLiteral("t"), {{"Nome", "TEXT", "NOT NULL"}, {"Codice", "VARCHAR(50)", "UNIQUE"}});
        c.exec(QStringLiteral("INSERT INTO t (Nome, Codice) VALUES ('ROSSI', 'A1')"));

        expectExplained([&] { c.exec(QStringLiteral("INSERT INTO t (Codice) VALUES ('B2')")); }, Fault::Constraint,
                        QStringLiteral("manca un dato obbligatorio"),
                        server ? QStringLiteral("null value in column \"nome\" of relation \"t\" violates not-null constraint")
                               : QStringLiteral("NOT NULL constraint failed: t.Nome"));
        expectExplained([&] { c.exec(QStringLiteral("INSERT INTO t (Nome, Codice) VALUES ('VERDI', 'A1')")); },
                        Fault::Constraint, QStringLiteral("esiste già una riga con lo stesso valore"),
                        server ? QStringLiteral("duplicate key value violates unique constraint \"t_codice_key\"")
                               : QStringLiteral("UNIQUE constraint failed: t.Codice"));

        // Another connection holds the data and this one is told not to wait.
        Connection other(path);
        if (server) {
            other.exec(QStringLiteral("SET lock_timeout = 1"));
            c.exec(QStringLiteral("BEGIN"));
            c.exec(QStringLiteral("LOCK TABLE t IN ACCESS EXCLUSIVE MODE"));
        } else {
            other.exec(QStringLiteral("PRAGMA busy_timeout = 0"));
            c.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        }
        expectExplained([&] { other.scalar(QStringLiteral("SELECT count(*) FROM t")); }, Fault::Busy,
                        QStringLiteral("il database è in uso da un'altra finestra, postazione o programma"),
                        server ? QStringLiteral("canceling statement due to lock timeout")
                               : QStringLiteral("database is locked"));
        c.exec(QStringLiteral("COMMIT"));

        other.exec(server ? QStringLiteral("SET default_transaction_read_only = on") : QStringLiteral("PRAGMA query_only = 1"));
        expectExplained([&] { other.exec(QStringLiteral("DELETE FROM t")); }, Fault::ReadOnly,
                        server ? QStringLiteral("l'utente del database non ha il permesso di modificare questi dati")
                               : QStringLiteral("il database non si può modificare"),
                        server ? QStringLiteral("cannot execute DELETE in a read-only transaction")
                               : QStringLiteral("attempt to write a readonly database"));

        // Errors of the statement itself stay as the engine words them.
        try {
            c.exec(QStringLiteral("SELECT * FROM t_inesistente"));
            QFAIL("a missing table must fail");
        } catch (const sz::db::DatabaseError& e) {
            QCOMPARE(e.message(), server ? QStringLiteral("relation \"t_inesistente\" does not exist")
                                         : QStringLiteral("no such table: t_inesistente"));
        }
        if (server)
            return; // a full disk and a damaged file: the file's own faults, below

        c.exec(QStringLiteral("PRAGMA max_page_count = ") + c.scalar(QStringLiteral("PRAGMA page_count")).toString());
        expectExplained([&] {
            c.exec(QStringLiteral("INSERT INTO t (Nome) VALUES (:n)"), {{QStringLiteral("n"), QString(100000, 'x')}});
        },
                        Fault::Full, QStringLiteral("il disco che contiene il database è pieno"),
                        QStringLiteral("database or disk is full"));

        const QString damaged = env.home() + QStringLiteral("/rovinato.mdb");
        Connection::createDatabase(damaged);
        {
            Connection d(damaged);
            fillWithRows(d);
        }
        overwriteMiddle(damaged);
        Connection d(damaged);
        expectExplained([&] { d.query(QStringLiteral("SELECT * FROM t")); }, Fault::Damaged,
                        QStringLiteral("il file del database è danneggiato o incompleto"),
                        QStringLiteral("database disk image is malformed"));
    }

    void valuesTravelAsNamedParametersWithTheirTypes()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        tabella(c, QStringLiteral("c"),
                {{"Numero", "VARCHAR(255)"}, {"Data", "DATETIME"}, {"Importo", "CURRENCY"}, {"Pagata", "YESNO"}});
        const QString hostile = QStringLiteral("12'A; DROP TABLE c; --");
        c.exec(QStringLiteral("INSERT INTO c (Numero, Data, Importo, Pagata) VALUES (:Numero, :Data, :Importo, :P)"),
               {{QStringLiteral(":Numero"), hostile},
                {QStringLiteral("Data"), QDate(2026, 12, 31)},
                {QStringLiteral("Importo"), QVariant::fromValue(Money::fromRaw(1234567))},
                {QStringLiteral("P"), true}});
        const auto r = c.query(QStringLiteral("SELECT * FROM c WHERE Numero = :n"), {{QStringLiteral("n"), hostile}});
        QCOMPARE(r.rows.size(), 1);
        QCOMPARE(r.value(0, QStringLiteral("Data")).toDate(), QDate(2026, 12, 31));
        QCOMPARE(r.value(0, QStringLiteral("Importo")).value<Money>().raw(), 1234567);
        QCOMPARE(r.value(0, QStringLiteral("Pagata")).toBool(), true);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Data FROM c")).toDate(), QDate(2026, 12, 31));
        // A statement missing one of its parameters is refused rather than run with NULL.
        QVERIFY_THROWS_EXCEPTION(sz::Error, c.exec(QStringLiteral("UPDATE c SET Numero = :x")));
        // Two statements in one text are refused: nothing after the first would run unseen.
        QVERIFY_THROWS_EXCEPTION(sz::Error, c.exec(QStringLiteral("SELECT 1; DELETE FROM c")));
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM c")).toLongLong(), 1);
    }

    void registeredFunctionsAndTextRules()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        // (Made first: the server learns the program's functions with its types.)
        tabella(c, QStringLiteral("n"), {{"Nome", "VARCHAR(255)"}, {"CAP", "VARCHAR(5)", "CHECK (sz_width(CAP, 5, 'CAP'))"}});
        auto s = [&](const char* sql) { return c.scalar(QString::fromUtf8(sql)); };
        QCOMPARE(s("SELECT DATEDIFF('d', '2026-01-31', '2026-03-01')").toLongLong(), 29);
        QCOMPARE(s("SELECT DATEDIFF('d', '2026-03-01', '2026-01-31')").toLongLong(), -29);
        QVERIFY(s("SELECT DATEDIFF('d', NULL, '2026-03-01')").isNull());
        QCOMPARE(s("SELECT FORMAT(12345678, '€ #,##0.00')").toString(), QStringLiteral("€ 1.234,57"));
        QCOMPARE(s("SELECT FORMAT('2026-03-05', 'dd/mm/yyyy')").toString(), QStringLiteral("05/03/2026"));
        QCOMPARE(s("SELECT YEAR('2026-03-05')").toLongLong(), 2026);
        QCOMPARE(s("SELECT IIF(1 > 2, 'si', 'no')").toString(), QStringLiteral("no"));
        if (TestEnv::onServer()) // the server's own words for today, in the session's zone
            QCOMPARE(s("SELECT CURRENT_DATE").toDate(), QDate::currentDate());
        else
            QCOMPARE(s("SELECT DATE()").toString(), sz::dates::toIso(QDate::currentDate()));
        QCOMPARE(s("SELECT 'CITTÀ di Forlì' LIKE '%città%'").toLongLong(), 1);
        QCOMPARE(s("SELECT 'ROSSI' LIKE 'ros_i'").toLongLong(), 1);
        QCOMPARE(s("SELECT 'ROSSI' LIKE 'ros'").toLongLong(), 0);

        for (const char* v : {"zeta", "Àrea", "alfa", "Beta"})
            c.exec(QStringLiteral("INSERT INTO n (Nome) VALUES (:v)"), {{QStringLiteral("v"), QString::fromUtf8(v)}});
        const auto r = c.query(QStringLiteral("SELECT Nome FROM n WHERE Nome = 'ÀREA' OR Nome = 'ALFA' ORDER BY Nome"));
        QCOMPARE(r.rows.size(), 2);
        try {
            c.exec(QStringLiteral("INSERT INTO n (Nome, CAP) VALUES ('x', '123456')"));
            QFAIL("a text wider than its column must be refused");
        } catch (const sz::Error& e) {
            QVERIFY2(e.message().contains(QStringLiteral("CAP accetta al massimo 5 caratteri")),
                     qPrintable(e.message()));
        }
    }

    void transactionRollsBackWhenLeftByAnException()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        tabella(c, QStringLiteral("t"), {{"X", "INT"}});
        try {
            sz::db::Transaction tx(c);
            c.exec(QStringLiteral("INSERT INTO t (X) VALUES (1)"));
            c.exec(QStringLiteral("INSERT INTO manca (X) VALUES (2)"));
            tx.commit();
        } catch (const sz::Error&) {
        }
        QVERIFY(!c.inTransaction());
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t")).toLongLong(), 0);
    }

    void sumOfManyAmountsIsExactToTheCent()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        tabella(c, QStringLiteral("t"), {{"Importo", "CURRENCY"}});
        sz::db::Transaction tx(c);
        sz::db::Statement ins(c, QStringLiteral("INSERT INTO t (Importo) VALUES (:i)"));
        Money expected;
        for (int i = 0; i < 100000; ++i) {
            // 0,10 is not exact in binary floating point: a double sum would drift.
            const Money m = Money::fromCents(10 + (i % 7) * 1001);
            expected += m;
            ins.run({{QStringLiteral("i"), QVariant::fromValue(m)}});
        }
        tx.commit();
        const qint64 raw = c.scalar(QStringLiteral("SELECT SUM(Importo) FROM t")).toLongLong();
        QCOMPARE(raw, expected.raw());
        QCOMPARE(c.scalar(QStringLiteral("SELECT FORMAT(SUM(Importo), '€ #,##0.00') FROM t")).toString(),
                 expected.toDisplay());
        Money sum;
        for (const auto& row : c.query(QStringLiteral("SELECT Importo FROM t")).rows)
            sum += row[0].value<Money>();
        QCOMPARE(sum, expected);
    }

    // The log is read one line per letter, by day ranges and by client: a reason with a
    // line break stays one line, the last day of a range counts whole, and a credit's
    // stage dates from before the log are still letters in its history.
    void letterLogRowsAndHistory()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        c.exec(QStringLiteral("INSERT INTO t_crediti (ID, NumeroFattura, DataFattura, Cliente, Preavviso, Sollecito1) "
                              "VALUES (7, 'FT 12', :df, 'Rossi S.r.l.', :p, :s1)"),
               {{QStringLiteral("df"), QDate(2026, 1, 10)},
                {QStringLiteral("p"), QDate(2026, 3, 1)},
                {QStringLiteral("s1"), QDate(2026, 3, 20)}});
        sz::invii::Invio v;
        v.idCredito = 7;
        v.cliente = QStringLiteral("Rossi S.r.l.");
        v.numeroFattura = QStringLiteral("FT 12");
        v.dataFattura = QDate(2026, 1, 10);
        v.fase = QStringLiteral("SOLLECITO1");
        v.modo = QStringLiteral("DOCUMENTO");
        v.canale = QStringLiteral("MAIL");
        v.dataOra = QDateTime(QDate(2026, 3, 20), QTime(23, 59, 30));
        v.esito = sz::invii::nonInviata(QStringLiteral("550 utente\r\nsconosciuto"));
        v.file = sz::invii::percorsoRelativo(env.documents() + QStringLiteral("/Scadenzio/"),
                                             env.documents() + QStringLiteral("/Scadenzio/Archivio/a.pdf"));
        v.postazione = QString(300, QLatin1Char('p'));
        const qint64 id = sz::invii::registra(c, v);
        QVERIFY(id > 0);
        v.fase = QStringLiteral("IN SOFFERENZA");
        v.dataOra = QDateTime(QDate(2026, 5, 2), QTime(8, 0));
        v.esito = sz::invii::Creata;
        sz::invii::registra(c, v);

        const auto tutti = sz::invii::elenco(c, {});
        QCOMPARE(tutti.size(), 2);
        QCOMPARE(tutti[0].esito, QStringLiteral("NON INVIATA: 550 utente  sconosciuto"));
        QCOMPARE(tutti[0].file, QStringLiteral("Archivio/a.pdf"));
        QCOMPARE(tutti[0].postazione.size(), 255);
        QCOMPARE(tutti[0].dataOra, QDateTime(QDate(2026, 3, 20), QTime(23, 59, 30)));
        QCOMPARE(tutti[0].dataFattura, QDate(2026, 1, 10));

        // A range ending on the day of a letter sent at 23:59 has it.
        QCOMPARE(sz::invii::elenco(c, {0, QString(), QDate(2026, 3, 1), QDate(2026, 3, 20)}).size(), 1);
        QCOMPARE(sz::invii::elenco(c, {0, QString(), QDate(2026, 3, 21), QDate(2026, 5, 1)}).size(), 0);
        QCOMPARE(sz::invii::elenco(c, {0, QStringLiteral("ROSSI S.R.L."), {}, {}}).size(), 2);
        QCOMPARE(sz::invii::elenco(c, {8, QString(), {}, {}}).size(), 0);

        // Newest first; the advance notice of 1 March was never logged and comes from its
        // column, while the logged first reminder is not shown twice.
        const auto storia = sz::invii::storico(c, 7);
        QCOMPARE(storia.size(), 3);
        QCOMPARE(storia[0].fase, QStringLiteral("IN SOFFERENZA"));
        QCOMPARE(storia[1].fase, QStringLiteral("SOLLECITO1"));
        QVERIFY(!storia[1].daColonne);
        QCOMPARE(storia[2].fase, QStringLiteral("PREAVVISO"));
        QVERIFY(storia[2].daColonne);
        QCOMPARE(storia[2].dataOra.date(), QDate(2026, 3, 1));
        QCOMPARE(storia[2].numeroFattura, QStringLiteral("FT 12"));
        QVERIFY(sz::invii::storico(c, 99).isEmpty());
    }

    // A logged path is handed to the desktop only when it is a PDF that is there, also
    // where a link leads: a row naming a script must never make the desktop run it.
    void onlyARealPdfIsOpened()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + QStringLiteral("/Scadenzio/");
        writeFile(root + QStringLiteral("Archivio/a.pdf"), "%PDF-1.4");
        writeFile(root + QStringLiteral("Archivio/x.sh"), "#!/bin/sh");
        QVERIFY(QFile::link(root + QStringLiteral("Archivio/x.sh"), root + QStringLiteral("Archivio/finto.pdf")));
        QString errore;
        QCOMPARE(sz::invii::pdfDaAprire(root, QStringLiteral("Archivio/../Archivio/a.pdf"), &errore),
                 root + QStringLiteral("Archivio/a.pdf"));
        QCOMPARE(sz::invii::pdfDaAprire(QStringLiteral("/altrove/"), root + QStringLiteral("Archivio/a.pdf"), &errore),
                 root + QStringLiteral("Archivio/a.pdf"));
        for (const char* f : {"Archivio/x.sh", "Archivio/finto.pdf"}) {
            QVERIFY(sz::invii::pdfDaAprire(root, QLatin1String(f), &errore).isEmpty());
            QVERIFY2(errore.contains(QStringLiteral("non è un PDF")), qPrintable(errore));
        }
        QVERIFY(sz::invii::pdfDaAprire(root, QStringLiteral("Archivio/b.pdf"), &errore).isEmpty());
        QVERIFY(errore.contains(QStringLiteral("non si trova più")));
        QVERIFY(sz::invii::pdfDaAprire(root, QStringLiteral("  "), &errore).isEmpty());
        QVERIFY(errore.contains(QStringLiteral("non è registrato alcun PDF")));
    }
};

QTEST_GUILESS_MAIN(TestFoundation)
#include "tst_foundation.moc"
