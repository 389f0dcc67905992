// The schema upgrade run at every start: what it creates, what it restores, what it
// must never touch, and that a failure leaves the file as it was.
#include "DbProva.h"
#include "TestEnv.h"

#include "Schema.h"
#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtTest>

using sz::db::Connection;

namespace {

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QStringList columnNames(Connection& c, const QString& table)
{
    QStringList out;
    for (const auto& col : c.tableColumns(table))
        out << col.name;
    return out;
}

QString templateText(Connection& c, const QString& kind, const QString& column)
{
    return c.scalar(QStringLiteral("SELECT %1 FROM t_comunicazioni WHERE Tipologia = :k").arg(column),
                    {{QStringLiteral("k"), kind}})
        .toString();
}

// A table as an older version of the program left it: the key numbered by the engine, the
// columns in the program's type words, which the engine first learns to hold.
void tabellaVecchia(Connection& c, const QString& tabella, const QString& colonne)
{
    sz::db::Transaction tx(c);
    c.dialect().prepareSchema(c, {});
    c.exec(QStringLiteral("CREATE TABLE %1 (%2, %3)")
               .arg(tabella, c.dialect().autoIncrementKey(c.dialect().quoteName(QStringLiteral("ID"))), colonne));
    tx.commit();
}

// What identifies the table itself: another when it is made again.
QVariant doveStaLaTabella(Connection& c, const QString& tabella)
{
    if (TestEnv::onServer())
        return c.scalar(QStringLiteral("SELECT oid FROM pg_class WHERE relname = lower(:t)"),
                        {{QStringLiteral("t"), tabella}});
    return c.scalar(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = :t"), {{QStringLiteral("t"), tabella}});
}

// On the server, what the upgrade wrote: the row versions of every table and of the
// catalogue, which any change to a row or to the structure replaces.
QStringList versioniDelServer(Connection& c)
{
    QStringList out;
    for (const QString& t : c.tableNames())
        for (const auto& r : c.query(QStringLiteral("SELECT ID, xmin::text FROM %1 ORDER BY ID").arg(c.dialect().quoteName(t))).rows)
            out << t + QLatin1Char(' ') + r[0].toString() + QLatin1Char(' ') + r[1].toString();
    for (const char* catalogo : {"pg_class", "pg_attribute", "pg_type", "pg_proc", "pg_trigger", "pg_description"})
        out << QString::fromLatin1(catalogo) + QLatin1Char(' ') +
                   c.scalar(QStringLiteral("SELECT max(xmin::text::bigint) FROM %1").arg(QLatin1String(catalogo))).toString();
    return out;
}

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT
private slots:
    void emptyFileGetsTheWholeSchemaAndTheSeeds()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        sz::schema::upgrade(c);

        QCOMPARE(c.tableNames(),
                 QStringList({"t_banche", "t_clienti", "t_comunicazioni", "t_crediti", "t_ISP", "t_parametri",
                              "t_societa", "t_parametriImportazioni", "t_mappaturaImportazioniFatture",
                              "t_mappaturaImportazioniClienti", "t_invii", "t_tassi", "t_esecuzioni", "t_ricevute", "t_blocchi"}));
        QCOMPARE(columnNames(c, QStringLiteral("t_invii")),
                 QStringList({"ID", "IDCredito", "Cliente", "NumeroFattura", "DataFattura", "Fase", "Modo", "DataOra",
                              "File", "Canale", "Destinatari", "MessageID", "Esito", "Postazione"}));
        QCOMPARE(columnNames(c, QStringLiteral("t_crediti")),
                 QStringList({"ID", "NumeroFattura", "DataFattura", "Scadenza", "Importo", "Incassato", "Residuo",
                              "DataIncasso", "Note", "Pagato", "ModalitaPagamento", "Banca", "Preavviso",
                              "Sollecito1", "Sollecito2", "Sollecito3", "DestinatarioFattura", "Cliente", "Stato",
                              "ImportoTotale", "SospendiSolleciti", "SospesoFino", "MotivoSospensione"}));
        QVERIFY(columnNames(c, QStringLiteral("t_parametri")).contains(QStringLiteral("GiorniTraSolleciti")));
        // The rates of the seeds: every half-year from 2013 to the first of 2026, every
        // legal rate from 2013 to 2026; the second half of 2026 is not known yet.
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_tassi WHERE Tipo = 'MORA'")).toInt(), 27);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Tasso FROM t_tassi WHERE Tipo = 'MORA' AND Dal = '2025-07-01'")).toInt(),
                 21500);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Tasso FROM t_tassi WHERE Tipo = 'LEGALE' AND Dal = '2026-01-01'")).toInt(),
                 16000);
        QVERIFY(c.scalar(QStringLiteral("SELECT ID FROM t_tassi WHERE Dal = '2026-07-01'")).isNull());
        QCOMPARE(columnNames(c, QStringLiteral("t_mappaturaImportazioniClienti")).size(), 16);
        QCOMPARE(columnNames(c, QStringLiteral("t_mappaturaImportazioniFatture")).size(), 13);
        QVERIFY(columnNames(c, QStringLiteral("t_ISP")).contains(QStringLiteral("InvioMailAutomatico")));

        const auto kinds = c.query(QStringLiteral("SELECT Tipologia FROM t_comunicazioni ORDER BY ID"));
        QStringList kindNames;
        for (const auto& r : kinds.rows)
            kindNames << r[0].toString();
        QCOMPARE(kindNames, QStringList({"PREAVVISO", "SOLLECITO1", "SOLLECITO2", "SOLLECITO3", "GENERICA",
                                         "IN SOFFERENZA"}));

        QCOMPARE(templateText(c, "SOLLECITO1", "Oggetto"), QStringLiteral("1° SOLLECITO DI PAGAMENTO"));
        QCOMPARE(templateText(c, "SOLLECITO2", "Finale"),
                 QStringLiteral("Vi preghiamo di regolarizzare entro 3 giorni dalla presente la vostra posizione "
                                "contabile. Nel caso abbiate già provveduto al pagamento di quanto dovuto, vi "
                                "preghiamo di inviarci copia della contabile di pagamento per poter effettuare le "
                                "opportune verifiche.\r\nRestiamo a Vs disposizione per qualsiasi chiarimento.\r\n"
                                "Distinti saluti."));
        QCOMPARE(templateText(c, "PREAVVISO", "Introduzione"),
                 QStringLiteral("Gentile Cliente,\r\nal fine di snellire le procedure di incasso delle fatture, si "
                                "invia la presente quale promemoria delle partite di prossima scadenza, al fine da "
                                "poter gestire in tempi rapidi eventuali errori ed anomalie."));
        // Lines per text: CR LF between them, never a bare LF, never one at the end.
        const QList<std::tuple<const char*, int, int>> lines = {
            {"PREAVVISO", 2, 1}, {"SOLLECITO1", 2, 2}, {"SOLLECITO2", 2, 3},
            {"SOLLECITO3", 2, 2}, {"GENERICA", 2, 6}, {"IN SOFFERENZA", 2, 4}};
        for (const auto& [kind, intro, finale] : lines) {
            const QString i = templateText(c, kind, "Introduzione");
            const QString f = templateText(c, kind, "Finale");
            QCOMPARE(i.count(QStringLiteral("\r\n")) + 1, intro);
            QCOMPARE(f.count(QStringLiteral("\r\n")) + 1, finale);
            QCOMPARE(f.count(QLatin1Char('\n')), f.count(QStringLiteral("\r\n")));
            QVERIFY(!f.endsWith(QLatin1Char('\n')) && !i.endsWith(QLatin1Char('\n')));
        }
        QVERIFY(templateText(c, "GENERICA", "Finale").endsWith(QStringLiteral("\r\nDistinti saluti.")));

        const auto modes = c.query(QStringLiteral("SELECT Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3 "
                                                  "FROM t_parametri ORDER BY ID"));
        QStringList thresholds;
        for (const auto& r : modes.rows)
            thresholds << QStringLiteral("%1 %2 %3 %4 %5").arg(r[0].toString()).arg(r[1].toInt()).arg(r[2].toInt())
                              .arg(r[3].toInt()).arg(r[4].toInt());
        QCOMPARE(thresholds, QStringList({"BONIFICO -5 5 15 30", "RI.BA. -5 5 15 30", "R.D. 1 5 15 30"}));
    }

    void secondStartWritesNothing()
    {
        TestEnv env;
        const QString path = env.createDefaultDatabase();
        {
            Connection c(path);
            sz::schema::upgrade(c);
        }
        const QByteArray before = fileHash(path);
        QStringList versioni;
        if (TestEnv::onServer()) {
            Connection c(path);
            versioni = versioniDelServer(c);
        }
        {
            Connection c(path);
            sz::schema::upgrade(c);
            QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_comunicazioni")).toInt(), 6);
            QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_parametri")).toInt(), 3);
        }
        QCOMPARE(fileHash(path), before);
        if (TestEnv::onServer()) {
            QVERIFY(!versioni.isEmpty());
            Connection c(path);
            QCOMPARE(versioniDelServer(c), versioni);
        }
    }

    // A rate the user corrected stays as written; a seed row deleted comes back.
    void editedRatesStay()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        sz::schema::upgrade(c);
        c.exec(QStringLiteral("UPDATE t_tassi SET Tasso = 21600, Fonte = 'corretto' WHERE Tipo = 'MORA' AND Dal = '2026-01-01'"));
        c.exec(QStringLiteral("DELETE FROM t_tassi WHERE Tipo = 'LEGALE' AND Dal = '2013-01-01'"));
        sz::schema::upgrade(c);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Tasso FROM t_tassi WHERE Tipo = 'MORA' AND Dal = '2026-01-01'")).toInt(),
                 21600);
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_tassi WHERE Dal = '2026-01-01'")).toInt(), 2);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Tasso FROM t_tassi WHERE Tipo = 'LEGALE' AND Dal = '2013-01-01'")).toInt(),
                 25000);
    }

    void userTextsStayAndEmptiedOnesComeBack()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        sz::schema::upgrade(c);
        c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = 'PROMEMORIA' WHERE Tipologia = 'PREAVVISO'"));
        c.exec(QStringLiteral("UPDATE t_comunicazioni SET Finale = '' WHERE Tipologia = 'SOLLECITO3'"));
        c.exec(QStringLiteral("UPDATE t_comunicazioni SET Introduzione = NULL WHERE Tipologia = 'GENERICA'"));
        c.exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3) "
                              "VALUES ('CONTANTI', 0, 1, 2, 3)"));
        c.exec(QStringLiteral("UPDATE t_parametri SET Sollecito1 = 9 WHERE Modalita = 'BONIFICO'"));
        sz::schema::upgrade(c);
        QCOMPARE(templateText(c, "PREAVVISO", "Oggetto"), QStringLiteral("PROMEMORIA"));
        QVERIFY(templateText(c, "SOLLECITO3", "Finale").endsWith(QStringLiteral("\r\nDistinti saluti.")));
        QVERIFY(templateText(c, "GENERICA", "Introduzione").startsWith(QStringLiteral("Gentile Cliente,\r\n")));
        QCOMPARE(c.scalar(QStringLiteral("SELECT Sollecito3 FROM t_parametri WHERE Modalita = 'CONTANTI'")).toInt(), 3);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Sollecito1 FROM t_parametri WHERE Modalita = 'BONIFICO'")).toInt(), 9);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM t_parametri")).toInt(), 4);
    }

    void emptyThresholdIsRestoredAlone()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        // An older file whose thresholds were not yet obligatory.
        tabellaVecchia(c, QStringLiteral("t_parametri"),
                       QStringLiteral("Modalita VARCHAR(255) NOT NULL, Preavviso INT, Sollecito1 INT, Sollecito2 INT, "
                                      "Sollecito3 INT"));
        c.exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3) "
                              "VALUES ('R.D.', 2, 7, NULL, 40)"));
        sz::schema::upgrade(c);
        const auto r = c.query(QStringLiteral("SELECT Preavviso, Sollecito1, Sollecito2, Sollecito3 FROM t_parametri "
                                              "WHERE Modalita = 'R.D.'"));
        QCOMPARE(r.rows.size(), 1);
        QCOMPARE(r.rows[0][0].toInt(), 2);
        QCOMPARE(r.rows[0][1].toInt(), 7);
        QCOMPARE(r.rows[0][2].toInt(), 15);
        QCOMPARE(r.rows[0][3].toInt(), 40);
    }

    void namesDifferingOnlyInCase()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        tabellaVecchia(c, QStringLiteral("T_BANCHE"), QStringLiteral("Altro TEXT"));
        tabellaVecchia(c, QStringLiteral("t_clienti"), QStringLiteral("ragionesociale VARCHAR(100) NOT NULL, cap VARCHAR(5)"));
        c.exec(QStringLiteral("INSERT INTO t_clienti (ragionesociale, cap) VALUES ('BIANCHI SPA', '47121')"));
        sz::schema::upgrade(c);

        if (TestEnv::onServer()) {
            // The server folds unquoted names: T_BANCHE is the table t_banche, and is brought up
            // to date as such, keeping its own column as the server spells it.
            QCOMPARE(c.tableNames().filter(QStringLiteral("t_banche"), Qt::CaseInsensitive), QStringList({"t_banche"}));
            QCOMPARE(columnNames(c, QStringLiteral("t_banche")), QStringList({"ID", "altro", "Nome", "Agenzia", "IBAN"}));
        } else {
            // The table is not made again, and its columns are not checked.
            QCOMPARE(c.tableNames().filter(QStringLiteral("t_banche"), Qt::CaseInsensitive), QStringList({"T_BANCHE"}));
            QCOMPARE(columnNames(c, QStringLiteral("T_BANCHE")), QStringList({"ID", "Altro"}));
        }
        // The column keeps its spelling, is not added twice, and gets its defined type back.
        const QStringList cols = columnNames(c, QStringLiteral("t_clienti"));
        // (The server has one spelling of a name; the program's is kept beside it.)
        QCOMPARE(cols.filter(QStringLiteral("ragionesociale"), Qt::CaseInsensitive),
                 QStringList({TestEnv::onServer() ? "RagioneSociale" : "ragionesociale"}));
        QCOMPARE(cols.size(), 19);
        QCOMPARE(c.tableColumns(QStringLiteral("t_clienti"))[1].declaredType, QStringLiteral("VARCHAR(255)"));
        QCOMPARE(c.scalar(QStringLiteral("SELECT RagioneSociale FROM t_clienti WHERE CAP = '47121'")).toString(),
                 QStringLiteral("BIANCHI SPA"));
    }

    // A column that may stay empty is added in place: the table, its rows and what the
    // engine keeps of it (its own statement, its triggers) stay as they are.
    void missingNullableColumnIsAddedInPlace()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        tabellaVecchia(c, QStringLiteral("t_banche"),
                       QStringLiteral("Nome VARCHAR(255) %1 NOT NULL CHECK (sz_width(Nome, 255, 'Nome')), Agenzia VARCHAR(255)")
                           .arg(c.dialect().textCollation()));
        blocca(c, QStringLiteral("tr_banche"), QStringLiteral("BEFORE DELETE ON t_banche"),
               QStringLiteral("banche bloccate"));
        c.exec(QStringLiteral("INSERT INTO t_banche (Nome, Agenzia) VALUES ('BANCA ROMAGNOLA', 'CESENA')"));
        const QVariant root = doveStaLaTabella(c, QStringLiteral("t_banche"));
        sz::schema::upgrade(c);

        QCOMPARE(columnNames(c, QStringLiteral("t_banche")), QStringList({"ID", "Nome", "Agenzia", "IBAN"}));
        QCOMPARE(c.tableColumns(QStringLiteral("t_banche"))[3].declaredType, QStringLiteral("VARCHAR(255)"));
        QCOMPARE(doveStaLaTabella(c, QStringLiteral("t_banche")), root);
        QVERIFY_THROWS_EXCEPTION(sz::Error, c.exec(QStringLiteral("DELETE FROM t_banche")));
        if (!TestEnv::onServer())
            QVERIFY(c.scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 't_banche'"))
                        .toString()
                        .startsWith(QStringLiteral("CREATE TABLE t_banche (\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT,")));
        QVERIFY(c.scalar(QStringLiteral("SELECT IBAN FROM t_banche")).isNull());
        // The added column has its width like every text column.
        QVERIFY_THROWS_EXCEPTION(sz::Error, c.exec(QStringLiteral("UPDATE t_banche SET IBAN = :i"),
                                                   {{QStringLiteral("i"), QString(256, QLatin1Char('I'))}}));
    }

    // A settings row written before implicit TLS existed: it gains the column in place,
    // keeps its values, and reads as "no implicit TLS" until the user chooses it.
    void mailSettingsOfAnOldFileGainImplicitTls()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        tabellaVecchia(c, QStringLiteral("t_ISP"),
                       QStringLiteral("SMTP VARCHAR(255), \"User\" VARCHAR(255), Pass VARCHAR(255), Port VARCHAR(255), "
                                      "TLS YESNO, InvioMailAutomatico YESNO"));
        c.exec(QStringLiteral("INSERT INTO t_ISP (SMTP, \"User\", Pass, Port, TLS, InvioMailAutomatico) VALUES "
                              "('SMTP.TIM.IT', 'rossi', 'segreta', '587', 1, 0)"));
        sz::schema::upgrade(c);

        QVERIFY(columnNames(c, QStringLiteral("t_ISP")).contains(QStringLiteral("SSL")));
        const auto r = c.query(QStringLiteral("SELECT SMTP, \"User\", Pass, Port, TLS, SSL FROM t_ISP"));
        QCOMPARE(r.rows.size(), 1);
        QCOMPARE(r.rows[0].mid(0, 5), QVector<QVariant>({"SMTP.TIM.IT", "rossi", "segreta", "587", true}));
        QVERIFY(!r.rows[0][5].toBool());
        c.exec(QStringLiteral("UPDATE t_ISP SET SSL = :s"), {{QStringLiteral("s"), true}});
        QCOMPARE(c.scalar(QStringLiteral("SELECT SSL FROM t_ISP")), QVariant(true));
    }

    // A threshold column missing from a table that has rows: the rows take the seed value
    // of their payment mode, other modes the type's empty value, and the start goes on.
    void missingObligatoryColumnTakesItsSeedValue()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        tabellaVecchia(c, QStringLiteral("t_parametri"),
                       QStringLiteral("Modalita VARCHAR(255) NOT NULL, Preavviso INT NOT NULL, Sollecito1 INT NOT NULL, "
                                      "Sollecito2 INT NOT NULL"));
        c.exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2) VALUES "
                              "('R.D.', 2, 6, 16)"));
        c.exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2) VALUES "
                              "('CONTANTI', 0, 1, 2)"));
        sz::schema::upgrade(c);
        const auto r = c.query(QStringLiteral("SELECT Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3 FROM "
                                              "t_parametri ORDER BY ID"));
        QCOMPARE(r.rows.size(), 4);
        QCOMPARE(r.rows[0], QVector<QVariant>({"R.D.", 2, 6, 16, 30}));
        QCOMPARE(r.rows[1], QVector<QVariant>({"CONTANTI", 0, 1, 2, 0}));
        QCOMPARE(r.rows[2], QVector<QVariant>({"BONIFICO", -5, 5, 15, 30}));
        QVERIFY_THROWS_EXCEPTION(sz::Error, c.exec(QStringLiteral("UPDATE t_parametri SET Sollecito3 = NULL")));
    }

    // Types and defaults of a file made by someone else: kept, and never able to break
    // the statements of the upgrade.
    void typesAndDefaultsFromTheFileAreNeverPastedIntoStatements()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        if (TestEnv::onServer()) // a type of its own, as a database made by someone else may have
            c.exec(QStringLiteral("CREATE DOMAIN \"TESTO'X\" AS text"));
        tabellaVecchia(c, QStringLiteral("t_crediti"),
                       QStringLiteral("Importo \"TESTO'X\", Extra \"TESTO'X\" DEFAULT 'l''altro', Conto INT DEFAULT -5, "
                                      "Quando TEXT DEFAULT CURRENT_DATE, Strano TEXT DEFAULT (1 + 2)"));
        c.exec(QStringLiteral("INSERT INTO t_crediti (Importo, Extra) VALUES ('12,50', 'mio')"));
        sz::schema::upgrade(c);

        const auto cols = c.tableColumns(QStringLiteral("t_crediti"));
        QCOMPARE(cols[1].declaredType, QStringLiteral("CURRENCY"));
        QCOMPARE(cols[2].declaredType, QStringLiteral("TESTO'X"));
        const auto r = c.query(QStringLiteral("SELECT Importo, Extra FROM t_crediti"));
        QCOMPARE(r.rows[0][0].value<sz::Money>().raw(), 125000);
        QCOMPARE(r.rows[0][1].toString(), QStringLiteral("mio"));
        c.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura) VALUES ('2')"));
        const auto d = c.query(QStringLiteral("SELECT Extra, Conto, Quando, Strano FROM t_crediti WHERE "
                                              "NumeroFattura = '2'"));
        QCOMPARE(d.rows[0][0].toString(), QStringLiteral("l'altro"));
        QCOMPARE(d.rows[0][1].toInt(), -5);
        QCOMPARE(d.rows[0][2].toString(), sz::dates::toIso(QDateTime::currentDateTimeUtc().date()));
        // The file's rebuild keeps an expression as its text; the server changes the table in
        // place, and its own default stays as it was.
        QCOMPARE(d.rows[0][3].toString(), TestEnv::onServer() ? QStringLiteral("3") : QStringLiteral("1 + 2"));
        // A second start finds nothing to do.
        sz::schema::upgrade(c);
        QCOMPARE(c.tableColumns(QStringLiteral("t_crediti"))[2].declaredType, QStringLiteral("TESTO'X"));
    }

    void columnOfAnotherTypeIsBroughtBackWithItsData()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        tabellaVecchia(c, QStringLiteral("t_crediti"),
                       QStringLiteral("NumeroFattura VARCHAR(20), Scadenza VARCHAR(20), Importo VARCHAR(50), Extra TEXT"));
        c.exec(QStringLiteral("CREATE INDEX ix_numero ON t_crediti (NumeroFattura)"));
        c.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Scadenza, Importo, Extra) "
                              "VALUES ('12/A', '05/03/2026', '1.234,50', 'tengo')"));
        sz::schema::upgrade(c);

        const auto cols = c.tableColumns(QStringLiteral("t_crediti"));
        QCOMPARE(cols[2].declaredType, QStringLiteral("DATETIME"));
        QCOMPARE(cols[3].declaredType, QStringLiteral("CURRENCY"));
        // A column of its own stays untouched (the server spells a name made by hand as it folds it).
        QCOMPARE(cols[4].name, TestEnv::onServer() ? QStringLiteral("extra") : QStringLiteral("Extra"));
        const auto r = c.query(QStringLiteral("SELECT * FROM t_crediti"));
        QCOMPARE(r.value(0, QStringLiteral("Scadenza")).toDate(), QDate(2026, 3, 5));
        QCOMPARE(r.value(0, QStringLiteral("Importo")).value<sz::Money>().raw(), 12345000);
        QCOMPARE(r.value(0, QStringLiteral("Extra")).toString(), QStringLiteral("tengo"));
        const QString indice = TestEnv::onServer() ? QStringLiteral("SELECT count(*) FROM pg_indexes WHERE indexname = 'ix_numero'")
                                                   : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'ix_numero'");
        QCOMPARE(c.scalar(indice).toInt(), 1);
        // The key keeps counting after the rebuild.
        c.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura) VALUES ('13')"));
        QCOMPARE(c.lastInsertId(), 2);
    }

    // Numbers in a column that becomes an amount were euros; a text that is no amount stops
    // the upgrade with its value and column, and the register stays as it was.
    void numbersBecomeEurosAndOtherTextsStopTheUpgrade()
    {
        TestEnv env;
        Connection c(env.createDefaultDatabase());
        tabellaVecchia(c, QStringLiteral("t_crediti"), QStringLiteral("NumeroFattura VARCHAR(20), Importo INT, Note VARCHAR(20)"));
        c.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Importo, Note) VALUES ('1', 100, 'dodici')"));
        // Old values whose new form is another's old one, and a number with a fraction kept
        // as the engine keeps it: each row is converted once, from what it held.
        c.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Importo) VALUES ('2', 10000), ('3', 1)"));
        sz::schema::upgrade(c);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Importo FROM t_crediti WHERE NumeroFattura = '1'")).value<sz::Money>().raw(),
                 1000000);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Importo FROM t_crediti WHERE NumeroFattura = '2'")).value<sz::Money>().raw(),
                 100000000);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Importo FROM t_crediti WHERE NumeroFattura = '3'")).value<sz::Money>().raw(),
                 10000);

        TestEnv testi;
        Connection t(testi.createDefaultDatabase());
        tabellaVecchia(t, QStringLiteral("t_crediti"), QStringLiteral("NumeroFattura VARCHAR(20), Importo VARCHAR(20), Residuo FLOAT"));
        t.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Importo, Residuo) VALUES ('1', '12,50', 100000), "
                              "('2', '125000', 0.1), ('3', '1.234,50', 1234.5)"));
        sz::schema::upgrade(t);
        QCOMPARE(t.query(QStringLiteral("SELECT Importo, Residuo FROM t_crediti ORDER BY NumeroFattura")).rows.size(), 3);
        const QStringList attesi = {"125000|1000000000", "1250000000|1000", "12345000|12345000"};
        const auto righe = t.query(QStringLiteral("SELECT Importo, Residuo FROM t_crediti ORDER BY NumeroFattura")).rows;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(QString::number(righe[i][0].value<sz::Money>().raw()) + QLatin1Char('|') +
                         QString::number(righe[i][1].value<sz::Money>().raw()),
                     attesi[i]);

        TestEnv altro;
        Connection d(altro.createDefaultDatabase());
        tabellaVecchia(d, QStringLiteral("t_crediti"), QStringLiteral("NumeroFattura VARCHAR(20), Importo VARCHAR(20)"));
        d.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Importo) VALUES ('1', '12,50'), ('2', 'dodici')"));
        try {
            sz::schema::upgrade(d);
            QFAIL("a text that is no amount must stop the upgrade");
        } catch (const sz::Error& e) {
            QVERIFY2(e.message().contains(QStringLiteral("\"dodici\" della colonna Importo")), qPrintable(e.message()));
        }
        QVERIFY(!d.inTransaction());
        QCOMPARE(d.tableNames(), QStringList({"t_crediti"}));
        QCOMPARE(d.scalar(QStringLiteral("SELECT Importo FROM t_crediti WHERE NumeroFattura = '1'")).toString(),
                 QStringLiteral("12,50"));
    }

    void failingStatementLeavesTheFileAsItWas()
    {
        TestEnv env;
        const QString path = env.createDefaultDatabase();
        {
            Connection c(path);
            // CAP too wide for its defined width: bringing it back must fail.
            tabellaVecchia(c, QStringLiteral("t_clienti"), QStringLiteral("RagioneSociale VARCHAR(255) NOT NULL, CAP VARCHAR(10)"));
            c.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale, CAP) VALUES ('VERDI', '4712100')"));
        }
        const QByteArray before = fileHash(path);
        Connection c(path);
        try {
            sz::schema::upgrade(c);
            QFAIL("the upgrade must report the failing statement");
        } catch (const sz::Error& e) {
            QVERIFY2(e.message().contains(QStringLiteral("CAP")), qPrintable(e.message()));
            QVERIFY2(!e.message().contains(QStringLiteral("__nuova")), qPrintable(e.message()));
        }
        QVERIFY(!c.inTransaction());
        QCOMPARE(c.tableNames(), QStringList({"t_clienti"})); // t_banche, made before the failure, is gone too
        QCOMPARE(fileHash(path), before);
    }
};

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
