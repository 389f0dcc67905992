// The start-up copy of a server database: made with the server's own dump tool, proved
// readable before it replaces the last one, and honest about what it could not do.
#include "CopiaServer.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <sys/stat.h>

using namespace sz::startup;

namespace {

void scrivi(const QString& path, const QByteArray& testo, bool eseguibile = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(testo);
    f.close();
    if (eseguibile)
        QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
}

QByteArray leggi(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TstServerBackup : public QObject
{
    Q_OBJECT

private slots:
    // Tools that refuse, fail or write something unreadable never replace the last good
    // copy, and each case reads as what the clerk can do about it.
    void strumentiCheNonRiescono()
    {
        TestEnv env;
        const QString bin = env.home() + QStringLiteral("/bin");
        const QString backup = env.home() + QStringLiteral("/Backup");
        const QString uri = QStringLiteral("postgresql://ufficio@db.ditta.lan:5432/scadenzio");
        const QString copia = backup + QStringLiteral("/DB/scadenzio.dump");
        QDir().mkpath(bin);
        qputenv("SZ_PG_BIN", bin.toUtf8());

        CopiaServer c = copiaDatabaseServer(uri, backup);
        QCOMPARE(c.esito, CopiaServer::Esito::NonDisponibile);
        QVERIFY(c.messaggio.contains(QStringLiteral("non è installato")));

        scrivi(copia, "copia precedente");
        scrivi(bin + QStringLiteral("/pg_dump"),
               "#!/bin/sh\necho 'pg_dump: error: aborting because of server version mismatch' >&2\nexit 1\n", true);
        c = copiaDatabaseServer(uri, backup);
        QCOMPARE(c.esito, CopiaServer::Esito::NonDisponibile);
        QVERIFY(c.messaggio.contains(QStringLiteral("più vecchia del server")));
        QCOMPARE(leggi(copia), QByteArray("copia precedente"));

        scrivi(bin + QStringLiteral("/pg_dump"),
               "#!/bin/sh\necho 'pg_dump: error: connection to server failed: Connection refused' >&2\nexit 1\n", true);
        c = copiaDatabaseServer(uri, backup);
        QCOMPARE(c.esito, CopiaServer::Esito::Fallita);
        QVERIFY2(c.messaggio.contains(QStringLiteral("Connection refused")), qPrintable(c.messaggio));
        QVERIFY(c.messaggio.contains(QStringLiteral("resta la copia precedente")));
        QCOMPARE(leggi(copia), QByteArray("copia precedente"));

        // A dump that claims success but cannot be listed back is not a copy.
        scrivi(bin + QStringLiteral("/pg_dump"),
               "#!/bin/sh\nfor a; do case \"$a\" in --file=*) echo rotto > \"${a#--file=}\";; esac; done\nexit 0\n", true);
        scrivi(bin + QStringLiteral("/pg_restore"), "#!/bin/sh\necho 'pg_restore: error: input file is too short' >&2\nexit 1\n",
               true);
        c = copiaDatabaseServer(uri, backup);
        QCOMPARE(c.esito, CopiaServer::Esito::Fallita);
        QVERIFY2(c.messaggio.contains(QStringLiteral("non è leggibile")), qPrintable(c.messaggio));
        QCOMPARE(leggi(copia), QByteArray("copia precedente"));
        QVERIFY(!QFile::exists(copia + QStringLiteral(".tmp")));

        // A dump that hangs is stopped.
        scrivi(bin + QStringLiteral("/pg_dump"), "#!/bin/sh\nexec sleep 30\n", true);
        QElapsedTimer t;
        t.start();
        c = copiaDatabaseServer(uri, backup, {}, 1);
        QVERIFY(t.elapsed() < 15000);
        QCOMPARE(c.esito, CopiaServer::Esito::Fallita);
        QCOMPARE(leggi(copia), QByteArray("copia precedente"));

        // The password reaches the tool through its environment, never its arguments; the
        // database's name becomes the file's name, never a path.
        scrivi(bin + QStringLiteral("/pg_dump"),
               "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$HOME/argomenti\"\necho \"$PGPASSWORD\" > \"$HOME/parola\"\n"
               "for a; do case \"$a\" in --file=*) echo buona > \"${a#--file=}\";; esac; done\n",
               true);
        scrivi(bin + QStringLiteral("/pg_restore"), "#!/bin/sh\necho '; Archive created at 2026-12-08'\n", true);
        c = copiaDatabaseServer(QStringLiteral("postgresql://u@h/..%2F..%2Fetc"), backup, QStringLiteral("segreta"));
        QCOMPARE(c.esito, CopiaServer::Esito::Fatta);
        QCOMPARE(QFileInfo(c.file).absolutePath(), QFileInfo(copia).absolutePath());
        QCOMPARE(leggi(c.file), QByteArray("buona\n"));
        QCOMPARE(QFileInfo(c.file).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
        QVERIFY(!leggi(env.home() + QStringLiteral("/argomenti")).contains("segreta"));
        QCOMPARE(leggi(env.home() + QStringLiteral("/parola")), QByteArray("segreta\n"));
        qunsetenv("SZ_PG_BIN");

        QVERIFY(!avvisoServerDato());
        segnaAvvisoServer();
        QVERIFY(avvisoServerDato());
    }

    // The real tool against a real server: the copy lists back, and a second copy replaces it.
    void copiaVera()
    {
        const QString uri = qEnvironmentVariable("SZ_TEST_PG_URI");
        if (uri.isEmpty())
            QSKIP("SZ_TEST_PG_URI non impostato: nessun server di prova");
        TestEnv env;
        const QString tabella = QStringLiteral("szt_copia_%1").arg(QRandomGenerator::global()->bounded(1000000));
        const auto psql = [&](const QString& sql) {
            QProcess p;
            p.start(QStringLiteral("psql"), {QStringLiteral("--no-psqlrc"), QStringLiteral("-v"),
                                             QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), uri,
                                             QStringLiteral("-c"), sql});
            return p.waitForFinished(30000) && p.exitCode() == 0;
        };
        QVERIFY(psql(QStringLiteral("CREATE TABLE %1 (ID integer, Cliente text); INSERT INTO %1 VALUES (1, 'Società Rossi')")
                         .arg(tabella)));
        const QString backup = env.home() + QStringLiteral("/Backup");
        const CopiaServer c = copiaDatabaseServer(uri, backup);
        psql(QStringLiteral("DROP TABLE %1").arg(tabella));
        QVERIFY2(c.esito == CopiaServer::Esito::Fatta, qPrintable(c.messaggio));
        QProcess lista;
        lista.start(QFileInfo(c.file).exists() ? QStringLiteral("pg_restore") : QString(), {QStringLiteral("--list"), c.file});
        QVERIFY(lista.waitForFinished(30000));
        QVERIFY(lista.readAllStandardOutput().contains(tabella.toUtf8()));
        QVERIFY(!QFile::exists(c.file + QStringLiteral(".tmp")));
    }
};

QTEST_GUILESS_MAIN(TstServerBackup)
#include "tst_server_backup.moc"
