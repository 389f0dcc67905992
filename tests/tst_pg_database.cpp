// The data layer on a PostgreSQL server, held against the encrypted file: the same
// statements must give the same values, of the same kinds, and the same refusals.
// Needs SZ_TEST_PG_URI (a throwaway cluster; make test starts one); each test makes a
// database of its own and drops it at the end.
#include "ServerDatabase.h"
#include "TestEnv.h"

#include "Schema.h"
#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QUrl>
#include <QtTest>

#include <thread>

using sz::Money;
using sz::db::Connection;
using sz::db::DatabaseError;
using sz::db::Params;

namespace {

// The same upgraded database on both engines, for statements run on each.
struct Both
{
    TestEnv env;
    ServerDatabase server;
    std::unique_ptr<Connection> file, pg;
    Both()
    {
        file = std::make_unique<Connection>(env.createDefaultDatabase());
        sz::schema::upgrade(*file);
        pg = std::make_unique<Connection>(server.uri());
        sz::schema::upgrade(*pg);
    }
    void exec(const QString& sql, const Params& p = {})
    {
        file->exec(sql, p);
        pg->exec(sql, p);
    }
};

// A value with its kind, as a caller sees it.
QString shown(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    if (v.userType() == qMetaTypeId<Money>())
        return QStringLiteral("Money:") + v.value<Money>().toMachine();
    if (v.userType() == qMetaTypeId<sz::FormattedAmount>())
        return QStringLiteral("FormattedAmount:") + v.value<sz::FormattedAmount>().amount.toMachine();
    return QString::fromLatin1(v.metaType().name()) + QLatin1Char(':') + v.toString();
}

QStringList shownRows(const sz::db::Result& r)
{
    QStringList out;
    for (const auto& row : r.rows) {
        QStringList cells;
        for (const auto& v : row)
            cells << shown(v);
        out << cells.join(QStringLiteral(" | "));
    }
    return out;
}

DatabaseError refusal(Connection& c, const QString& sql, const Params& p = {})
{
    try {
        c.exec(sql, p);
    } catch (const DatabaseError& e) {
        return e;
    }
    return DatabaseError(QStringLiteral("nessun errore"), DatabaseError::Fault::Other, -1);
}

} // namespace

class TestPgDatabase : public QObject
{
    Q_OBJECT
private slots:
    void upgradeMakesTheSameTablesAndSeeds()
    {
        NEED_SERVER();
        Both b;
        QCOMPARE(b.pg->tableNames(), b.file->tableNames());
        for (const auto& t : b.file->tableNames()) {
            QStringList f, p;
            for (const auto& c : b.file->tableColumns(t))
                f << c.name + QLatin1Char(' ') + c.declaredType;
            for (const auto& c : b.pg->tableColumns(t))
                p << c.name + QLatin1Char(' ') + c.declaredType;
            QCOMPARE(p, f);
        }
        for (const char* table : {"t_comunicazioni", "t_parametri", "t_tassi"}) {
            const QString sql = QStringLiteral("SELECT * FROM %1 ORDER BY ID").arg(QLatin1String(table));
            const auto fr = b.file->query(sql), pr = b.pg->query(sql);
            QVERIFY2(!fr.rows.isEmpty(), table);
            QCOMPARE(shownRows(pr), shownRows(fr));
            QStringList fn, pn;
            for (const auto& c : fr.columns)
                fn << c.name;
            for (const auto& c : pr.columns)
                pn << c.name;
            QCOMPARE(pn, fn);
        }
        // A second run finds everything in place and changes nothing.
        const QString versions = QStringLiteral(
            "SELECT string_agg(xmin::text, ',' ORDER BY oid) FROM pg_proc WHERE proname IN ('sz_format', 'datediff')");
        const QString comments = QStringLiteral("SELECT string_agg(xmin::text, ',' ORDER BY objoid, objsubid) FROM "
                                                "pg_description WHERE classoid = 'pg_class'::regclass");
        const QVariant before = b.pg->scalar(versions), commentsBefore = b.pg->scalar(comments);
        sz::schema::upgrade(*b.pg);
        QCOMPARE(b.pg->scalar(versions), before);
        QCOMPARE(b.pg->scalar(comments), commentsBefore);
        QCOMPARE(b.pg->scalar(QStringLiteral("SELECT COUNT(*) FROM t_parametri")),
                 b.file->scalar(QStringLiteral("SELECT COUNT(*) FROM t_parametri")));
    }

    void workstationsUpgradingTogetherBothStart()
    {
        NEED_SERVER();
        ServerDatabase server;
        // Two starts at the same moment on an empty database: one makes the structure, the
        // other waits for it and finds it made.
        QString errors[2];
        std::thread runs[2];
        for (int i = 0; i < 2; ++i)
            runs[i] = std::thread([&, i] {
                try {
                    Connection c(server.uri());
                    sz::schema::upgrade(c);
                } catch (const sz::Error& e) {
                    errors[i] = e.message();
                }
            });
        for (auto& t : runs)
            t.join();
        QVERIFY2(errors[0].isEmpty(), qPrintable(errors[0]));
        QVERIFY2(errors[1].isEmpty(), qPrintable(errors[1]));
        Connection c(server.uri());
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_parametri")).toLongLong(),
                 qlonglong(sz::schema::parameterSeeds().size()));
    }

    void valuesComeBackOfTheSameKinds()
    {
        NEED_SERVER();
        Both b;
        const QString insert = QStringLiteral(
            "INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Importo, Residuo, Cliente, Stato, "
            "SospendiSolleciti, Note) VALUES (:n, :d, :s, :i, :r, :c, :st, :sosp, :note)");
        b.exec(insert, {{"n", "1/2025"},
                        {"d", QDate(2025, 1, 31)},
                        {"s", QDate(2025, 3, 2)},
                        {"i", QVariant::fromValue(Money::fromRaw(12345678))},
                        {"r", QVariant::fromValue(Money::fromRaw(-5))},
                        {"c", QStringLiteral("Città di Prova S.r.l. — “Ω”")},
                        {"st", "APERTA"},
                        {"sosp", true},
                        {"note", QVariant()}});
        QCOMPARE(b.pg->lastInsertId(), b.file->lastInsertId());
        b.exec(insert, {{"n", "2/2025"},
                        {"d", QDate(2024, 12, 31)},
                        {"s", QVariant()},
                        {"i", QVariant::fromValue(Money::fromRaw(50))},
                        {"r", QVariant::fromValue(Money::fromRaw(0))},
                        {"c", "rossi"},
                        {"st", "CHIUSA"},
                        {"sosp", false},
                        {"note", ""}});
        QCOMPARE(b.pg->lastInsertId(), qint64(2));
        QCOMPARE(b.pg->changes(), 1);
        const QStringList statements = {
            "SELECT * FROM t_crediti ORDER BY ID",
            "SELECT ID, Importo, Scadenza, SospendiSolleciti, Cliente AS Chi FROM t_crediti ORDER BY Cliente",
            "SELECT SUM(Importo) AS Totale, COUNT(*) AS Righe, MAX(Scadenza) AS Ultima, MIN(DataFattura) AS Prima FROM "
            "t_crediti",
            "SELECT FORMAT(Importo, '€ #,##0.00') AS ImportoParziale, FORMAT(Residuo, '€ #,##0.00') AS R, "
            "FORMAT(DataFattura, 'dd/mm/yyyy') AS Data, FORMAT(SUM(Importo), '€ #,##0.00') AS S FROM t_crediti "
            "GROUP BY ID, Importo, Residuo, DataFattura ORDER BY ID",
            "SELECT COALESCE(Importo, 0) + 1 AS Piu, Importo > 100 AS Grande, 'x' || Stato AS T FROM t_crediti "
            "ORDER BY ID",
            "SELECT ID FROM t_crediti WHERE Scadenza IS NULL OR Scadenza <= :oggi ORDER BY ID",
        };
        const Params p{{"oggi", QDate(2025, 12, 31)}};
        for (const auto& sql : statements) {
            const auto fr = b.file->query(sql, p), pr = b.pg->query(sql, p);
            QCOMPARE(shownRows(pr), shownRows(fr));
            QStringList fn, pn, ft, pt;
            for (const auto& c : fr.columns)
                fn << c.name, ft << c.declaredType;
            for (const auto& c : pr.columns)
                pn << c.name, pt << c.declaredType;
            QCOMPARE(pn, fn);
            QCOMPARE(pt, ft);
        }
        // A column without alias is named by its text, as the file names it.
        {
            const QString sql = QStringLiteral("SELECT COUNT(*), MIN(DataFattura), t_crediti.Cliente, Stato AS s, "
                                               "SUM(Importo) tot, (SELECT MAX(ID) FROM t_banche) FROM t_crediti "
                                               "GROUP BY t_crediti.Cliente, Stato");
            QStringList fn, pn;
            for (const auto& c : b.file->query(sql).columns)
                fn << c.name;
            for (const auto& c : b.pg->query(sql).columns)
                pn << c.name;
            QCOMPARE(pn, fn);
        }
        // Parameters are never read inside quoted text, casts or comments.
        QCOMPARE(b.pg->scalar(QStringLiteral("SELECT ':x' || '::' || :y -- :z"), {{"y", "ok"}}).toString(),
                 QStringLiteral(":x::ok"));
        QCOMPARE(b.pg->scalar(QStringLiteral("SELECT '5'::integer + :n"), {{"n", 2}}).toLongLong(), qlonglong(7));
        QCOMPARE(b.pg->scalar(QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE :c IS NULL OR Cliente = :c"),
                              {{"c", QVariant()}})
                     .toLongLong(),
                 qlonglong(2));
    }

    // Named values reach their places however the caller orders and spells them: in the
    // statement's order or not, with or without the colon, one name used twice, a name the
    // statement does not use; a missing one is refused by name on both engines, and a
    // statement prepared once keeps its places over runs with the values in another order.
    void namedValuesFindTheirPlaces()
    {
        NEED_SERVER();
        Both b;
        for (Connection* c : {b.file.get(), b.pg.get()}) {
            const QString sql = QStringLiteral("SELECT :a || '-' || :b || '-' || :c || '-' || :a");
            QCOMPARE(c->scalar(sql, {{"a", "1"}, {"b", "2"}, {"c", "3"}}).toString(), QStringLiteral("1-2-3-1"));
            QCOMPARE(c->scalar(sql, {{":c", "3"}, {"nessuno", "x"}, {"a", "1"}, {":b", "2"}}).toString(),
                     QStringLiteral("1-2-3-1"));
            sz::db::Statement st(*c, sql);
            for (int giro = 0; giro < 3; ++giro) {
                const QString g = QString::number(giro);
                const Params p = giro % 2 ? Params{{"b", g}, {"a", "x"}, {"c", "z"}}
                                          : Params{{"c", "z"}, {"b", g}, {"a", "x"}};
                QCOMPARE(st.run(p).rows.value(0).value(0).toString(), QStringLiteral("x-%1-z-x").arg(g));
            }
            bool rifiutato = false;
            try {
                c->scalar(sql, {{"a", "1"}, {"c", "3"}});
            } catch (const sz::Error& e) {
                rifiutato = e.message().contains(QStringLiteral("parametro :b mancante"));
            }
            QVERIFY(rifiutato);
        }
    }

    void functionsGiveWhatTheFileGives()
    {
        NEED_SERVER();
        Both b;
        b.exec(QStringLiteral("INSERT INTO t_crediti (Importo, DataFattura, Scadenza, Stato) VALUES (:i, :d, :s, :t)"),
               {{"i", QVariant::fromValue(Money::fromRaw(-123456789))},
                {"d", QDate(2024, 2, 29)},
                {"s", QDate(2025, 3, 1)},
                {"t", "APERTA"}});
        const QStringList expressions = {
            "DATEDIFF('d', DataFattura, Scadenza)",
            "DATEDIFF('D', Scadenza, DataFattura)",
            "DATEDIFF('ww', DataFattura, Scadenza)",
            "DATEDIFF('w', Scadenza, DataFattura)",
            "DATEDIFF('m', DataFattura, Scadenza)",
            "DATEDIFF('yyyy', DataFattura, Scadenza)",
            "DATEDIFF('d', DataFattura, NULL)",
            "DATEDIFF('d', :oggi, Scadenza)",
            "FORMAT(Importo, '€ #,##0.00')",
            "FORMAT(Importo, '#,##0.00')",
            "FORMAT(-Importo, '€ #,##0.00')",
            "FORMAT(Importo / 1000000, '€ #,##0.00')",
            "FORMAT(-49, '€ #,##0.00')",
            "FORMAT(-50, '€ #,##0.00')",
            "FORMAT(49, '€ #,##0.00')",
            "FORMAT(150, '€ #,##0.00')",
            "FORMAT(0, '€ #,##0.00')",
            "FORMAT(9223372036854775807, '€ #,##0.00')",
            "FORMAT(SUM(Importo), '€ #,##0.00')",
            "FORMAT(NULL, '€ #,##0.00')",
            "FORMAT(Scadenza, 'dd/mm/yyyy')",
            "FORMAT(Stato, 'dd/mm/yyyy')",
            "YEAR(DataFattura)",
            "YEAR(:oggi)",
            "IIF(Importo < 0, 'meno', 'più')",
            "IIF(Importo > 0, 1, 2)",
            "IFNULL(NULL, 'vuoto')",
            "IFNULL(Stato, 'vuoto')",
            "typeof(Importo)",
            "typeof(Stato)",
            "Stato = 'aperta'",
            "Stato LIKE 'ap%'",
            "Stato LIKE '_PERT_'",
            "Stato NOT LIKE '%x%'",
            "Stato IS NOT :nulla",
            "Stato IS :nulla",
            "Stato IS NOT 'APERTA'",
            "Stato = 'aperta' COLLATE BINARY",
            "MAX(Scadenza, DataFattura)",
            "MIN(Scadenza, DataFattura, :oggi)",
            "COALESCE(Scadenza, '')",
            "COALESCE(t_crediti.Stato, '')",
            "DATEDIFF('d', NULLIF(SUBSTR(MAX(COALESCE(DataFattura, ''), COALESCE(Scadenza, '')), 1, 10), ''), :oggi)",
            "DATEDIFF('d', '31/12/2025', :oggi)",
            "SUBSTR(Scadenza, 1, 7) || '|' || SUBSTR(Scadenza, 9) || SUBSTR('abc', 2, 1)",
        };
        // FORMAT alone as a column is formatted as the values arrive; inside an expression the
        // server's own function does it: both must give the file's text.
        QStringList all = expressions;
        for (const auto& e : expressions)
            if (e.startsWith(QLatin1String("FORMAT(")))
                all << QStringLiteral("'' || ") + e;
        const Params p{{"oggi", QDate(2026, 1, 1)}, {"nulla", QVariant()}};
        for (const auto& e : std::as_const(all)) {
            const QString sql = QStringLiteral("SELECT %1 AS v FROM t_crediti GROUP BY Importo, DataFattura, Scadenza, "
                                               "Stato")
                                    .arg(e);
            QString f, g;
            try {
                f = shown(b.file->scalar(sql, p));
            } catch (const sz::Error& x) {
                f = QStringLiteral("errore: ") + x.message();
            }
            try {
                g = shown(b.pg->scalar(sql, p));
            } catch (const sz::Error& x) {
                g = QStringLiteral("errore: ") + x.message();
            }
            QVERIFY2(f == g, qPrintable(e + QStringLiteral(": file ") + f + QStringLiteral(", server ") + g));
        }
        // An interval the program does not know is refused on both.
        QVERIFY_THROWS_EXCEPTION(sz::Error, b.pg->scalar(QStringLiteral("SELECT DATEDIFF('q', Scadenza, Scadenza) FROM "
                                                                        "t_crediti")));
    }

    void textsCompareWithoutCase()
    {
        NEED_SERVER();
        Both b;
        for (const char* name : {"ROSSI SRL", "Città Bianchi", "abete", "Zeta", "rossi spa", "CITTÀ NERA", "A\\B_C"})
            b.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale) VALUES (:n)"), {{"n", name}});
        const QStringList statements = {
            "SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale = 'rossi srl'",
            "SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale = 'città bianchi'",
            "SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale = 'citta bianchi'",
            "SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale LIKE :p ORDER BY ID",
            "SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale NOT LIKE :p ORDER BY ID",
            "SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale LIKE '%' || :q || '%' ORDER BY ID",
            "SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale > 'm' ORDER BY RagioneSociale",
            "SELECT COUNT(DISTINCT RagioneSociale) FROM t_clienti",
        };
        for (const auto& sql : statements) {
            const Params p{{"p", "%ROSS%"}, {"q", "ittà"}};
            QCOMPARE(shownRows(b.pg->query(sql, p)), shownRows(b.file->query(sql, p)));
        }
        // A backslash in a pattern is a character like any other, as in the file.
        for (const char* pattern : {"a\\b%", "%\\B\\_C", "%\\%"}) {
            const QString sql = QStringLiteral("SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale LIKE :p");
            const Params p{{"p", pattern}};
            QCOMPARE(shownRows(b.pg->query(sql, p)), shownRows(b.file->query(sql, p)));
        }
        // A unique index refuses a name that differs only in letter case, with the clerk's text.
        b.exec(QStringLiteral("CREATE UNIQUE INDEX ix_prova ON t_banche (Nome)"));
        b.exec(QStringLiteral("INSERT INTO t_banche (Nome) VALUES ('Rossi')"));
        const auto f = refusal(*b.file, QStringLiteral("INSERT INTO t_banche (Nome) VALUES ('ROSSI')"));
        const auto g = refusal(*b.pg, QStringLiteral("INSERT INTO t_banche (Nome) VALUES ('ROSSI')"));
        QCOMPARE(g.fault(), DatabaseError::Fault::Constraint);
        QCOMPARE(f.fault(), DatabaseError::Fault::Constraint);
        QVERIFY2(g.message().startsWith(QStringLiteral("esiste già una riga con lo stesso valore")), qPrintable(g.message()));
    }

    void widthAndRequiredValuesRefusedInTheClerksWords()
    {
        NEED_SERVER();
        Both b;
        const QString sql = QStringLiteral("INSERT INTO t_clienti (RagioneSociale, Provincia) VALUES ('X', :p)");
        b.exec(sql, {{"p", "MI"}});
        const auto f = refusal(*b.file, sql, {{"p", "MIL"}});
        const auto g = refusal(*b.pg, sql, {{"p", "MIL"}});
        QCOMPARE(g.message(), f.message());
        QCOMPARE(g.message(), QStringLiteral("il campo Provincia accetta al massimo 2 caratteri (ne sono stati dati 3)"));
        QCOMPARE(g.fault(), DatabaseError::Fault::Constraint);
        // Characters, as the user counts them.
        b.exec(sql, {{"p", "ÀÈ"}});
        const auto n = refusal(*b.pg, QStringLiteral("INSERT INTO t_clienti (Indirizzo) VALUES ('via')"));
        QCOMPARE(n.fault(), DatabaseError::Fault::Constraint);
        QVERIFY2(n.message().startsWith(QStringLiteral("manca un dato obbligatorio")), qPrintable(n.message()));
        QVERIFY2(refusal(*b.file, QStringLiteral("INSERT INTO t_clienti (Indirizzo) VALUES ('via')"))
                     .message()
                     .startsWith(QStringLiteral("manca un dato obbligatorio")),
                 "file");
        // A failed statement leaves the connection usable.
        QCOMPARE(b.pg->scalar(QStringLiteral("SELECT COUNT(*) FROM t_clienti")).toLongLong(), qlonglong(2));
        // Only one statement at a time, as on the file.
        QVERIFY_THROWS_EXCEPTION(sz::Error, b.pg->exec(QStringLiteral("DELETE FROM t_clienti; DROP TABLE t_banche")));
        QCOMPARE(b.pg->scalar(QStringLiteral("SELECT COUNT(*) FROM t_clienti")).toLongLong(), qlonglong(2));
    }

    void saveOverAnotherWorkstationsChangeRefused()
    {
        NEED_SERVER();
        ServerDatabase server;
        Connection a(server.uri()), c(server.uri());
        sz::schema::upgrade(a);
        a.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale, Localita) VALUES ('ROSSI', 'Roma')"));
        sz::db::Dataset da(a, QStringLiteral("t_clienti")), dc(c, QStringLiteral("t_clienti"));
        da.setSql(QStringLiteral("SELECT * FROM t_clienti"));
        dc.setSql(QStringLiteral("SELECT * FROM t_clienti"));
        da.open();
        dc.open();
        QCOMPARE(da.value(QStringLiteral("RagioneSociale")).toString(), QStringLiteral("ROSSI"));
        da.edit();
        da.setValue(QStringLiteral("Localita"), QStringLiteral("Milano"));
        da.post();
        dc.edit();
        dc.setValue(QStringLiteral("Localita"), QStringLiteral("Napoli"));
        try {
            dc.post();
            QFAIL("il salvataggio sopra la modifica dell'altra postazione è passato");
        } catch (const sz::Error& e) {
            QVERIFY2(e.message().contains(QStringLiteral("modificato da un'altra finestra o postazione")),
                     qPrintable(e.message()));
        }
        QCOMPARE(a.scalar(QStringLiteral("SELECT Localita FROM t_clienti")).toString(), QStringLiteral("Milano"));
        QVERIFY(!c.inTransaction());
        dc.cancel();
        // A new row reads back its key and the table's own values.
        da.insert();
        da.setValue(QStringLiteral("RagioneSociale"), QStringLiteral("BIANCHI"));
        da.post();
        QCOMPARE(da.value(QStringLiteral("ID")).toLongLong(), qlonglong(2));
        dc.requery();
        QCOMPARE(dc.recordCount(), 2);
        QVERIFY(dc.locate(QStringLiteral("RagioneSociale"), QStringLiteral("bianchi")));
    }

    void safetyCopyComesBackWhole()
    {
        NEED_SERVER();
        TestEnv env;
        ServerDatabase server;
        Connection c(server.uri());
        sz::schema::upgrade(c);
        c.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale) VALUES ('ROSSI'), ('BIANCHI')"));
        const QString note = env.home() + QStringLiteral("/DB/Ripristino/gestionale.mdb");
        c.backupTo(note);
        QVERIFY(QFileInfo::exists(note));
        c.exec(QStringLiteral("UPDATE OR FAIL t_clienti SET RagioneSociale = 'VERDI' WHERE ID = 1"));
        c.exec(QStringLiteral("DELETE FROM t_clienti WHERE ID = 2"));
        c.exec(QStringLiteral("INSERT INTO t_banche (Nome) VALUES ('NUOVA')"));
        c.restoreFrom(note);
        QCOMPARE(shownRows(c.query(QStringLiteral("SELECT ID, RagioneSociale FROM t_clienti ORDER BY ID"))),
                 QStringList({"qlonglong:1 | QString:ROSSI", "qlonglong:2 | QString:BIANCHI"}));
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_banche")).toLongLong(), qlonglong(0));
        // New rows take keys after the restored ones.
        c.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale) VALUES ('NERI')"));
        QVERIFY(c.lastInsertId() > 2);
        QVERIFY(!c.inTransaction());
    }

    void busyServerAndUnreachableServerSaySo()
    {
        NEED_SERVER();
        ServerDatabase server;
        Connection a(server.uri()), c(server.uri());
        sz::schema::upgrade(a);
        a.exec(QStringLiteral("INSERT INTO t_banche (Nome) VALUES ('A')"));
        {
            sz::db::Transaction tx(a);
            a.exec(QStringLiteral("UPDATE t_banche SET Nome = 'B'"));
            c.exec(QStringLiteral("SET lock_timeout = '200ms'"));
            const auto e = refusal(c, QStringLiteral("UPDATE t_banche SET Nome = 'C'"));
            QCOMPARE(e.fault(), DatabaseError::Fault::Busy);
            QVERIFY2(e.message().startsWith(QStringLiteral("il database è in uso da un'altra finestra")),
                     qPrintable(e.message()));
        }
        QCOMPARE(c.scalar(QStringLiteral("SELECT Nome FROM t_banche")).toString(), QStringLiteral("A"));

        // The server ends the connection (a restart): that statement fails and says so, the
        // next connects again, and a statement prepared before runs on the new connection.
        sz::db::Statement reused(c, QStringLiteral("SELECT Nome FROM t_banche WHERE Nome = :n"));
        QCOMPARE(reused.run({{"n", "a"}}).rows.size(), 1);
        QCOMPARE(reused.run({{"n", "a"}}).rows.size(), 1);
        a.scalar(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE pid <> "
                                "pg_backend_pid() AND datname = current_database()"));
        const auto lost = refusal(c, QStringLiteral("SELECT 1"));
        QCOMPARE(lost.fault(), DatabaseError::Fault::Io);
        QVERIFY2(lost.message().contains(QStringLiteral("il server del database non si raggiunge")), qPrintable(lost.message()));
        QCOMPARE(reused.run({{"n", "A"}}).rows.size(), 1);
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_banche")).toLongLong(), qlonglong(1));

        // Nothing listens on the port: a quick, plain refusal.
        QUrl url(server.uri());
        url.setPort(TestEnv::freeLocalPort());
        QElapsedTimer t;
        t.start();
        try {
            Connection none(url.toString());
            QFAIL("collegato a una porta senza server");
        } catch (const DatabaseError& e) {
            QCOMPARE(e.fault(), DatabaseError::Fault::Io);
            QVERIFY2(e.message().contains(QStringLiteral("il server del database non si raggiunge")), qPrintable(e.message()));
        }
        QVERIFY(t.elapsed() < 5000);

        // A wrong password: the user, the password and .pgpass are named.
        qunsetenv("PGPASSWORD");
        const QByteArray passfile = qgetenv("PGPASSFILE");
        qputenv("PGPASSFILE", "/nonexistent");
        try {
            Connection wrong(server.uri(), sz::db::databasePassword(), QStringLiteral("sbagliata"));
            QFAIL("collegato con una password sbagliata");
        } catch (const DatabaseError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("ha rifiutato l'utente o la password")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral(".pgpass")), qPrintable(e.message()));
            QVERIFY(!e.message().contains(QStringLiteral("sbagliata")));
        }
        qputenv("PGPASSFILE", passfile);
    }
};

QTEST_GUILESS_MAIN(TestPgDatabase)
#include "tst_pg_database.moc"
