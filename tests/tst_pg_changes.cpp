// Workstations sharing a server database hear of each other's changes: another
// workstation's save shows a notice over the open list, never a reload under the clerk's
// typing; the workstation's own save is not announced back to it.
#include "ServerDatabase.h"
#include "TestEnv.h"

#include "AccessoServer.h"
#include "Schema.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Esecuzioni.h"
#include "scadenzio/Modifiche.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Widgets.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using sz::db::Connection;
using sz::db::OsservatoreModifiche;

namespace {

// Another workstation: a separate program with its own name on the server.
bool altraPostazione(const QString& uri, const QString& sql)
{
    QProcess p;
    p.start(QStringLiteral("psql"), {QStringLiteral("--no-psqlrc"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                                     QStringLiteral("-d"), uri, QStringLiteral("-c"), sql});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning().noquote() << p.readAllStandardError();
        return false;
    }
    return true;
}

void usaServer(const QString& uri)
{
    QDir().mkpath(QFileInfo(sz::paths::configIniPath()).absolutePath());
    QFile f(sz::paths::configIniPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[ConnectionString]\nstrConn=" + uri.toUtf8() + "\n");
}

class FrameCrediti : public sz::ui::ModuleFrame
{
public:
    FrameCrediti() : ModuleFrame(QStringLiteral("Crediti"), QStringLiteral("prova"))
    {
        crediti = new sz::db::Dataset(connection(), QStringLiteral("t_crediti"), this);
        crediti->setSql(QStringLiteral("SELECT * FROM t_crediti ORDER BY ID"));
        crediti->open();
    }
    sz::db::Dataset* crediti;
};

} // namespace

class TstPgChanges : public QObject
{
    Q_OBJECT

private slots:
    void avvisiTraPostazioni()
    {
        NEED_SERVER();
        TestEnv env;
        ServerDatabase server;
        {
            Connection c(server.uri());
            sz::schema::upgrade(c);
            c.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Cliente, Importo, Residuo) VALUES ('1/A', 'ROSSI SRL', 1000000, 1000000)"));
        }
        usaServer(server.uri());

        OsservatoreModifiche* o = OsservatoreModifiche::perDatabase(server.uri());
        QVERIFY(o->inAscolto());
        QSignalSpy spia(o, &OsservatoreModifiche::modificate);

        // This workstation's own save: nothing to announce.
        {
            Connection c(server.uri());
            c.exec(QStringLiteral("UPDATE t_crediti SET Note = 'nostra'"));
        }
        QTest::qWait(400);
        QCOMPARE(spia.count(), 0);

        // Another's: the table is named once, whatever the number of rows or statements.
        QVERIFY(altraPostazione(server.uri(), QStringLiteral("UPDATE t_crediti SET Note = 'loro'; UPDATE t_crediti SET Note = 'ancora'")));
        QTRY_VERIFY(spia.count() >= 1);
        QCOMPARE(spia.first().first().toStringList(), QStringList{QStringLiteral("t_crediti")});
        spia.clear();
        // A table no list hears of stays quiet.
        QVERIFY(altraPostazione(server.uri(), QStringLiteral("UPDATE t_invii SET Esito = Esito")));
        QTest::qWait(400);
        QCOMPARE(spia.count(), 0);

        // The frame: a notice, no reload; "Aggiorna" reads again.
        FrameCrediti f;
        f.resize(900, 500);
        f.show();
        QVERIFY(!f.avvisoModifiche()->isVisible());
        QVERIFY(altraPostazione(server.uri(), QStringLiteral("UPDATE t_crediti SET Residuo = 400000")));
        QTRY_VERIFY(f.avvisoModifiche()->isVisible());
        QCOMPARE(f.avvisoModifiche()->findChild<QLabel*>(QStringLiteral("LabelAvvisoModifiche"))->text(),
                 QStringLiteral("Dati modificati da un'altra postazione"));
        QCOMPARE(f.crediti->value(QStringLiteral("Residuo")).value<sz::Money>(), sz::Money::fromRaw(1000000));
        TestEnv::saveScreenshot(&f, QStringLiteral("avviso_modifiche_altra_postazione"));

        // Typing in progress is never thrown away: the list stays, the notice says why.
        f.crediti->edit();
        f.crediti->setValue(QStringLiteral("Note"), QStringLiteral("sto scrivendo"));
        auto* aggiorna = f.avvisoModifiche()->findChild<QPushButton*>(QStringLiteral("BottoneAggiorna"));
        aggiorna->click();
        QVERIFY(f.avvisoModifiche()->isVisible());
        QVERIFY(f.avvisoModifiche()->findChild<QLabel*>(QStringLiteral("LabelAvvisoModifiche"))->text().contains(
            QStringLiteral("salvare o annullare")));
        QCOMPARE(f.crediti->value(QStringLiteral("Note")).toString(), QStringLiteral("sto scrivendo"));
        f.crediti->cancel();
        aggiorna->click();
        QVERIFY(!f.avvisoModifiche()->isVisible());
        QCOMPARE(f.crediti->value(QStringLiteral("Residuo")).value<sz::Money>(), sz::Money::fromRaw(400000));

        // The frame's own save does not raise it.
        f.crediti->edit();
        f.crediti->setValue(QStringLiteral("Note"), QStringLiteral("salvata qui"));
        f.crediti->post();
        QTest::qWait(400);
        QVERIFY(!f.avvisoModifiche()->isVisible());
    }

    // Two workstations' letter runs: the one that holds the server's lock goes on, the other
    // is told who has it; a holder whose connection ended leaves it free at once, even with
    // its row still fresh.
    void bloccoTraPostazioni()
    {
        NEED_SERVER();
        TestEnv env;
        ServerDatabase server;
        Connection c(server.uri());
        sz::schema::upgrade(c);
        const QString ora = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(altraPostazione(server.uri(),
                                QStringLiteral("INSERT INTO t_blocchi (Nome, Postazione, Host, Utente, Processo, Inizio, "
                                               "Aggiornato) VALUES ('SOLLECITI', 'ufficio2 (marta)', 'ufficio2', 'marta', 4242, "
                                               "'%1', '%1')")
                                    .arg(ora)));
        // The other workstation's run: it holds the lock while its connection lives.
        QProcess altra;
        altra.start(QStringLiteral("psql"),
                    {QStringLiteral("--no-psqlrc"), QStringLiteral("-d"), server.uri(), QStringLiteral("-c"),
                     QStringLiteral("SELECT pg_advisory_lock(hashtext('SOLLECITI')), pg_sleep(4)")});
        QVERIFY(altra.waitForStarted());
        QTest::qWait(1200);
        {
            sz::esecuzioni::Blocco b(c);
            sz::esecuzioni::Titolare chi;
            QVERIFY(!b.prendi(&chi));
            QCOMPARE(chi.postazione, QStringLiteral("ufficio2 (marta)"));
            QVERIFY(sz::esecuzioni::messaggioOccupato(chi).startsWith(QStringLiteral("Invio già in corso su ufficio2 (marta) dal ")));
        }
        QVERIFY(altra.waitForFinished(20000));
        {
            sz::esecuzioni::Blocco b(c);
            QVERIFY(b.prendi());
            // While held here, another connection is refused.
            Connection altraConnessione(server.uri());
            QCOMPARE(altraConnessione.dialect().tryNamedLock(altraConnessione, QStringLiteral("SOLLECITI")),
                     sz::db::Dialect::LockResult::Busy);
        }
        // Released with the run: free for anyone.
        Connection dopo(server.uri());
        QCOMPARE(dopo.dialect().tryNamedLock(dopo, QStringLiteral("SOLLECITI")), sz::db::Dialect::LockResult::Taken);
        dopo.dialect().releaseNamedLock(dopo, QStringLiteral("SOLLECITI"));
    }

    // The window asks for the password ~/.pgpass does not give, says why a wrong one was
    // refused, and every connection of the process then uses the accepted one.
    void passwordChiestaAllAvvio()
    {
        NEED_SERVER();
        const QByteArray pgpass = qgetenv("PGPASSFILE");
        QFile f(QString::fromLocal8Bit(pgpass));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString giusta = QString::fromUtf8(f.readAll()).trimmed().section(QLatin1Char('\n'), 0, 0).section(QLatin1Char(':'), 4);
        QVERIFY(!giusta.isEmpty());
        const QString uri = qEnvironmentVariable("SZ_TEST_PG_URI");
        qputenv("PGPASSFILE", "/nonexistent/pgpass");
        QStringList domande, errori;
        QStringList risposte = {QStringLiteral("sbagliata"), giusta};
        const bool ok = sz::startup::accediServer(uri, [&](const QString& d, const QString& e) -> std::optional<QString> {
            domande << d;
            errori << e;
            return risposte.isEmpty() ? std::nullopt : std::optional<QString>(risposte.takeFirst());
        });
        QVERIFY(ok);
        QCOMPARE(domande.size(), 2);
        QVERIFY2(domande[0].startsWith(QStringLiteral("Password dell'utente sz_test sul server del database 127.0.0.1")),
                 qPrintable(domande[0]));
        QVERIFY(!errori[1].isEmpty());
        QVERIFY(!errori[1].contains(QStringLiteral("sbagliata")));
        Connection c(uri); // no password of its own: the session's
        QCOMPARE(c.scalar(QStringLiteral("SELECT 1")).toLongLong(), 1);

        // Giving up ends the start; a wrong password is forgotten.
        Connection::setSessionServerPassword({});
        QVERIFY(!sz::startup::accediServer(uri, [](const QString&, const QString&) { return std::nullopt; }));
        QVERIFY(Connection::sessionServerPassword().isEmpty());
        qputenv("PGPASSFILE", pgpass);
        // A file database asks nothing.
        QVERIFY(sz::startup::accediServer(QStringLiteral("/tmp/gestionale.mdb"), [](const QString&, const QString&) {
            return std::optional<QString>(QStringLiteral("mai"));
        }));
    }

    // A file database has no other workstation: no watcher connection, no notice.
    void fileSilenzioso()
    {
        TestEnv env;
        env.installDatabase();
        OsservatoreModifiche o(sz::paths::LoadConnection(), {});
        QVERIFY(!o.inAscolto());
    }
};

QTEST_MAIN(TstPgChanges)
#include "tst_pg_changes.moc"
