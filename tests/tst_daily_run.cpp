#include "DunningData.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Esecuzioni.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using dunningdata::Credito;
using sz::Money;

namespace {

const QString programma = QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli");
const QString serverSmtp = QStringLiteral(SZ_TEST_SOURCE_DIR "/smtp/smtp_server.py");

// What a unit of the user's systemd has: no display of any kind, and a session bus only
// when one is given.
QProcessEnvironment ambiente(const QString& bus = QString())
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
        e.remove(QLatin1String(v));
    if (!bus.isEmpty())
        e.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
    return e;
}

struct Esito
{
    int codice = -1;
    QString out, err;
    // The lines of one letter each: everything before the totals line.
    QStringList lettere() const
    {
        QStringList r = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (!r.isEmpty())
            r.removeLast();
        return r;
    }
    QStringList righeErrore() const { return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

void avvia(QProcess& p, const QStringList& args, const QString& bus = QString())
{
    p.setProcessEnvironment(ambiente(bus));
    p.start(programma, args);
    QVERIFY(p.waitForStarted(10000));
}

// This process keeps answering on the bus meanwhile: the notification service lives here.
Esito attendi(QProcess& p, int ms = 120000)
{
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < ms) {
        p.waitForFinished(20);
        QCoreApplication::processEvents();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

Esito esegui(const QStringList& args, const QString& bus = QString())
{
    QProcess p;
    avvia(p, args, bus);
    return attendi(p);
}

QString totale(int create, int errori)
{
    return QStringLiteral("Totale: %1 %2, %3 %4.\n")
        .arg(create)
        .arg(create == 1 ? QStringLiteral("lettera creata") : QStringLiteral("lettere create"))
        .arg(errori)
        .arg(errori == 1 ? QStringLiteral("errore") : QStringLiteral("errori"));
}

// The register of the current test's home: on the server run, the database its settings name.
QString registroServer;

// A private home with the database a first start makes. On the server run the tool's first
// start fills an empty server database that the home's settings name.
QString installa(const TestEnv& env)
{
    registroServer.clear();
    if (TestEnv::onServer()) {
        registroServer = env.createDefaultDatabase();
        const QString ini = env.configHome() + QStringLiteral("/Scadenzio/Config/Config.ini");
        QDir().mkpath(QFileInfo(ini).absolutePath());
        QFile f(ini);
        if (!f.open(QIODevice::WriteOnly) || f.write("[ConnectionString]\nstrConn=" + registroServer.toUtf8() + "\n") <= 0)
            return {};
    }
    QProcess upgrade;
    upgrade.setProcessEnvironment(ambiente());
    upgrade.start(programma, {QStringLiteral("upgrade")});
    if (!upgrade.waitForFinished(60000) || upgrade.exitCode() != 0)
        return {};
    return env.documents() + QStringLiteral("/Scadenzio/");
}

QString database(const QString& radice)
{
    if (TestEnv::onServer())
        return registroServer;
    return radice + QStringLiteral("DB/gestionale.mdb");
}

// A firm's register on a morning: letters of every stage due, a paid credit, a suspended
// credit and a suspended client, a client without a mail address, and the template of the
// second reminder left empty.
void prepara(sz::db::Connection& c, const QDate& oggi)
{
    dunningdata::societa(c);
    dunningdata::cliente(c, QStringLiteral("ROSSI SRL"), QStringLiteral("VIA ROMA 1"), QStringLiteral("r@rossi.it"));
    dunningdata::cliente(c, QStringLiteral("BIANCHI SPA"), QStringLiteral("VIA MILANO 2"), QStringLiteral("b@bianchi.it"));
    dunningdata::cliente(c, QStringLiteral("VERDI SNC"), QStringLiteral("VIA TORINO 3"));
    dunningdata::cliente(c, QStringLiteral("NERI SAS"), QStringLiteral("VIA NAPOLI 4"), QStringLiteral("n@neri.it"));
    c.exec(QStringLiteral("UPDATE t_clienti SET SospendiSolleciti = 1 WHERE RagioneSociale = 'NERI SAS'"));
    const auto credito = [&](const char* numero, const char* cliente, int giorni, QList<int> fasi) {
        Credito k;
        k.numero = QLatin1String(numero);
        k.cliente = QLatin1String(cliente);
        k.scadenza = oggi.addDays(-giorni);
        for (int f : fasi)
            k.fasi << oggi.addDays(-f);
        return dunningdata::aggiungi(c, k);
    };
    credito("101", "ROSSI SRL", 3, {});
    credito("102", "ROSSI SRL", 40, {45});
    credito("103", "ROSSI SRL", 200, {210, 180, 150});
    credito("201", "BIANCHI SPA", 90, {95, 60});
    const qint64 sospeso = credito("202", "BIANCHI SPA", 30, {});
    c.exec(QStringLiteral("UPDATE t_crediti SET SospendiSolleciti = 1 WHERE ID = :I"), {{QStringLiteral("I"), sospeso}});
    const qint64 pagato = credito("203", "BIANCHI SPA", 30, {});
    c.exec(QStringLiteral("UPDATE t_crediti SET Pagato = 'SI' WHERE ID = :I"), {{QStringLiteral("I"), pagato}});
    credito("301", "VERDI SNC", 10, {});
    credito("401", "NERI SAS", 10, {});
    c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = '', Introduzione = '', Finale = '' "
                          "WHERE Tipologia = 'SOLLECITO2'"));
}

// n credits of one client, each due for its advance notice.
void preavvisi(sz::db::Connection& c, int n, const QDate& oggi, const QString& mail = QStringLiteral("r@rossi.it"))
{
    dunningdata::societa(c);
    dunningdata::cliente(c, QStringLiteral("ROSSI SRL"), QStringLiteral("VIA ROMA 1"), mail);
    for (int i = 0; i < n; ++i) {
        Credito k;
        k.numero = QString::number(1000 + i);
        k.scadenza = oggi.addDays(-2);
        dunningdata::aggiungi(c, k);
    }
}

// What the letters left behind: the log, the stage dates and the archive.
struct Stato
{
    QStringList log, colonne, file;
};

Stato stato(const QString& radice)
{
    Stato s;
    sz::db::Connection c(database(radice));
    for (const auto& r : c.query(QStringLiteral("SELECT IDCredito, Fase, Modo, File, Canale, Esito FROM t_invii "
                                                "ORDER BY IDCredito, Fase"))
                             .rows) {
        QStringList campi;
        for (const QVariant& v : r)
            campi << v.toString();
        s.log << campi.join(QLatin1Char('|'));
    }
    for (const auto& r : c.query(QStringLiteral("SELECT ID, Preavviso, Sollecito1, Sollecito2, Sollecito3 FROM "
                                                "t_crediti ORDER BY ID"))
                             .rows) {
        QStringList campi;
        for (const QVariant& v : r)
            campi << v.toString();
        s.colonne << campi.join(QLatin1Char('|'));
    }
    QDirIterator it(radice + QStringLiteral("Archivio"), {QStringLiteral("*.pdf")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        s.file << it.next().mid(radice.size());
    s.file.sort();
    return s;
}

int conta(const QString& radice, const QString& sql)
{
    sz::db::Connection c(database(radice));
    return c.scalar(sql).toInt();
}

// The IDs a list shows.
QStringList idInLista(bool perCliente)
{
    QStringList args{QStringLiteral("dunning"), QStringLiteral("list")};
    if (perCliente)
        args << QStringLiteral("--per-client");
    QStringList ids;
    const QStringList righe = esegui(args).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 1; i < righe.size(); ++i)
        ids << righe[i].section(QLatin1Char('\t'), 0, 0);
    return ids;
}

// "dunning runs": each run's fields, its error lines (those beginning with a tab) beneath.
struct Giro
{
    QStringList campi, errori;
};

QList<Giro> giri()
{
    const Esito r = esegui({QStringLiteral("dunning"), QStringLiteral("runs")});
    QList<Giro> out;
    const QStringList righe = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (righe.isEmpty() || !righe[0].startsWith(QStringLiteral("ID\tInizio\tFine\tPostazione\tAvvio\tModo\tCanale\t"
                                                                "Create\tInviate\tNonInviate\tEsito")))
        return out;
    for (int i = 1; i < righe.size(); ++i) {
        if (righe[i].startsWith(QLatin1Char('\t')) && !out.isEmpty())
            out.last().errori << righe[i].mid(1);
        else
            out << Giro{righe[i].split(QLatin1Char('\t')), {}};
    }
    return out;
}

class ServerSmtp
{
public:
    explicit ServerSmtp(const QString& modo) : porta(TestEnv::freeLocalPort())
    {
        proc.start(QStringLiteral("/usr/bin/python3"), {serverSmtp, QStringLiteral("--port"), QString::number(porta),
                                                       QStringLiteral("--mode"), modo, QStringLiteral("--out"),
                                                       out.path()});
        proc.waitForReadyRead(15000);
        pronto = proc.readAllStandardOutput().startsWith("READY");
    }
    ~ServerSmtp()
    {
        proc.kill();
        proc.waitForFinished(5000);
    }
    int ricevuti() const { return int(QDir(out.path()).entryList({QStringLiteral("*.eml")}).size()); }
    void usaDa(const QString& radice) const
    {
        sz::db::Connection c(database(radice));
        c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = '127.0.0.1', Port = :P, TLS = 0, SSL = 0"),
               {{QStringLiteral("P"), QString::number(porta)}});
    }

    int porta;
    bool pronto = false;

private:
    QTemporaryDir out;
    QProcess proc;
};

} // namespace

// The desktop's notification service, on a private session bus.
class Notifiche : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Avviso
    {
        QString app, titolo, testo;
        int urgenza = -1;
    };
    QList<Avviso> ricevuti;

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& titolo, const QString& testo,
                const QStringList&, const QVariantMap& suggerimenti, int)
    {
        ricevuti << Avviso{app, titolo, testo, suggerimenti.value(QStringLiteral("urgency")).toInt()};
        return uint(ricevuti.size());
    }
};

class TestDailyRun : public QObject
{
    Q_OBJECT

private slots:
    // The run makes exactly the letters "Crea PDF" makes of every row of the list, per
    // document and per client, with the same error lines; the dry run lists them first and
    // writes nothing; a second run the same day, or one after the letters were made by
    // hand, makes none; the run's record says what its lines said.
    void sameLettersAsTheListOnceADay()
    {
        const QDate oggi = QDate::currentDate();
        for (const bool perCliente : {false, true}) {
            const QString modo = perCliente ? QStringLiteral("--per-client") : QStringLiteral("--per-document");
            Stato atteso;
            Esito aMano;
            {
                TestEnv env;
                const QString radice = installa(env);
                QVERIFY(!radice.isEmpty());
                {
                    sz::db::Connection c(database(radice));
                    prepara(c, oggi);
                }
                const QStringList ids = idInLista(perCliente);
                QCOMPARE(ids.size(), 5);
                QStringList args{QStringLiteral("dunning"), QStringLiteral("pdf")};
                if (perCliente)
                    args << modo;
                aMano = esegui(args + ids);
                atteso = stato(radice);
                QCOMPARE(atteso.file.size(), perCliente ? 3 : 4);
                // Letters made by hand this morning are today's letters.
                const Esito dopo = esegui({QStringLiteral("dunning"), QStringLiteral("run"), modo,
                                           QStringLiteral("--pdf-only")});
                QCOMPARE(dopo.codice, aMano.codice);
                QCOMPARE(dopo.out, totale(0, int(aMano.righeErrore().size())));
                QCOMPARE(stato(radice).log, atteso.log);
            }
            QCOMPARE(aMano.codice, perCliente ? 0 : 1);

            TestEnv env;
            const QString radice = installa(env);
            {
                sz::db::Connection c(database(radice));
                prepara(c, oggi);
            }
            const Esito prova = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--dry-run"),
                                        modo, QStringLiteral("--pdf-only")});
            QCOMPARE(prova.codice, aMano.codice);
            QCOMPARE(prova.err, aMano.err);
            QCOMPARE(prova.lettere().size(), atteso.file.size());
            QVERIFY(stato(radice).file.isEmpty());
            QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii")), 0);
            QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_esecuzioni")), 0);
            QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_blocchi")), 0);

            const Esito giro =
                esegui({QStringLiteral("dunning"), QStringLiteral("run"), modo, QStringLiteral("--pdf-only")});
            QCOMPARE(giro.codice, aMano.codice);
            QCOMPARE(giro.err, aMano.err);
            const Stato fatto = stato(radice);
            QCOMPARE(fatto.log, atteso.log);
            QCOMPARE(fatto.colonne, atteso.colonne);
            QCOMPARE(fatto.file, atteso.file);
            const QStringList lettere = giro.lettere();
            QCOMPARE(lettere.size(), fatto.file.size());
            QCOMPARE(giro.out.section(QLatin1Char('\n'), -2, -2) + QLatin1Char('\n'),
                     totale(int(lettere.size()), int(aMano.righeErrore().size())));
            for (int i = 0; i < lettere.size(); ++i) {
                const QStringList campi = lettere[i].split(QLatin1Char('\t'));
                QCOMPARE(campi.size(), 4);
                QVERIFY2(QFileInfo(campi[0]).isFile(), qPrintable(campi[0]));
                QCOMPARE(campi[3], QStringLiteral("CREATA"));
                // What the dry run announced, line by line.
                QCOMPARE(prova.lettere()[i], campi.mid(0, 3).join(QLatin1Char('\t')) + QStringLiteral("\tDA CREARE"));
            }
            if (!perCliente) {
                QVERIFY(lettere.filter(QStringLiteral("\tROSSI SRL\tSOLLECITO3\tCREATA")).size() == 1);
                QVERIFY(lettere.filter(QStringLiteral("\tVERDI SNC\tPREAVVISO\tCREATA")).size() == 1);
            } else {
                QVERIFY(lettere.filter(QStringLiteral("\tROSSI SRL\tPREAVVISO,SOLLECITO1,SOLLECITO3\tCREATA")).size() == 1);
            }

            const Esito ancora =
                esegui({QStringLiteral("dunning"), QStringLiteral("run"), modo, QStringLiteral("--pdf-only")});
            QCOMPARE(ancora.codice, aMano.codice);
            QCOMPARE(ancora.out, totale(0, int(aMano.righeErrore().size())));
            QCOMPARE(stato(radice).log, atteso.log);

            const QList<Giro> record = giri();
            QCOMPARE(record.size(), 2);
            const QStringList& primo = record[1].campi;
            QCOMPARE(primo.size(), 11);
            QVERIFY(!primo[2].isEmpty());
            QCOMPARE(primo.mid(4, 6), (QStringList{QStringLiteral("COMANDO"),
                                                   perCliente ? QStringLiteral("CLIENTE") : QStringLiteral("DOCUMENTO"),
                                                   QStringLiteral("PDF"), QString::number(lettere.size()),
                                                   QStringLiteral("0"), QStringLiteral("0")}));
            QCOMPARE(primo[10], aMano.err.isEmpty() ? QStringLiteral("COMPLETATA") : QStringLiteral("CON ERRORI"));
            QCOMPARE(record[1].errori, giro.righeErrore());
            QCOMPARE(record[0].campi[7], QStringLiteral("0"));
            // As many letters as distinct files in today's log.
            QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(DISTINCT File) FROM t_invii")), lettere.size());
        }
    }

    // The timer's run: nothing when the firm has not turned it on; otherwise mode and
    // channel from the settings, each letter mailed, the one that could not be named with
    // the log's outcome, and a notification with the figures on the session bus, when
    // there is one (none otherwise, and no error for it).
    void timerMailsAndNotifies()
    {
        TestEnv env;
        const QDate oggi = QDate::currentDate();
        const QString radice = installa(env);
        QVERIFY(!radice.isEmpty());
        ServerSmtp smtp(QStringLiteral("plain"));
        QVERIFY(smtp.pronto);
        smtp.usaDa(radice);
        {
            sz::db::Connection c(database(radice));
            preavvisi(c, 2, oggi);
            dunningdata::cliente(c, QStringLiteral("VERDI SNC"), QStringLiteral("VIA TORINO 3"));
            Credito k;
            k.numero = QStringLiteral("V1");
            k.cliente = QStringLiteral("VERDI SNC");
            k.scadenza = oggi.addDays(-2);
            dunningdata::aggiungi(c, k);
            c.exec(QStringLiteral("UPDATE t_ISP SET InvioAutomaticoAttivo = 0, InvioMailAutomatico = 1, "
                                  "InvioAutomaticoPerCliente = 0"));
        }
        QTemporaryDir cartellaBus;
        QProcess demone;
        demone.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                      QStringLiteral("--address=unix:path=") + cartellaBus.path() + QStringLiteral("/bus")});
        QVERIFY(demone.waitForReadyRead(10000));
        const QString indirizzo = QString::fromUtf8(demone.readLine()).trimmed();
        Notifiche servizio;
        {
            QDBusConnection bus = QDBusConnection::connectToBus(indirizzo, QStringLiteral("tst_daily_run"));
            QVERIFY(bus.isConnected());
            QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
            QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &servizio,
                                       QDBusConnection::ExportAllSlots));
        }

        Esito r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")}, indirizzo);
        QCOMPARE(r.codice, 0);
        QCOMPARE(r.out, QStringLiteral("Invio automatico non attivo.\n"));
        QVERIFY(r.err.isEmpty());
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_esecuzioni")), 0);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii")), 0);
        QVERIFY(servizio.ricevuti.isEmpty());

        {
            sz::db::Connection c(database(radice));
            c.exec(QStringLiteral("UPDATE t_ISP SET InvioAutomaticoAttivo = 1"));
        }
        r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")}, indirizzo);
        QCOMPARE(r.codice, 1);
        const QStringList lettere = r.lettere();
        QCOMPARE(lettere.size(), 3);
        QCOMPARE(lettere.filter(QStringLiteral("\tROSSI SRL\tPREAVVISO\tINVIATA")).size(), 2);
        QCOMPARE(lettere.filter(QStringLiteral("\tVERDI SNC\tPREAVVISO\tNON INVIATA: nessun indirizzo mail in "
                                               "anagrafica"))
                     .size(),
                 1);
        QCOMPARE(r.out.section(QLatin1Char('\n'), -2, -2),
                 QStringLiteral("Totale: 3 lettere create, 2 inviate, 1 non inviata, 1 errore."));
        QCOMPARE(r.righeErrore(), QStringList{QStringLiteral("Il Cliente VERDI SNC non contiente alcun indirizzo mail in "
                                                             "anagrafica.")});
        QCOMPARE(smtp.ricevuti(), 2);
        QCOMPARE(servizio.ricevuti.size(), 1);
        QCOMPARE(servizio.ricevuti[0].app, QStringLiteral("Scadenzio"));
        QCOMPARE(servizio.ricevuti[0].titolo, QStringLiteral("Solleciti: 3 lettere create, 2 inviate, 1 errore"));
        QVERIFY(servizio.ricevuti[0].testo.contains(r.righeErrore()[0]));
        QCOMPARE(servizio.ricevuti[0].urgenza, 2);

        // The record and the letter log tell the same story.
        const QList<Giro> record = giri();
        QCOMPARE(record.size(), 1);
        QCOMPARE(record[0].campi.mid(4), (QStringList{QStringLiteral("TIMER"), QStringLiteral("DOCUMENTO"),
                                                      QStringLiteral("MAIL"), QStringLiteral("3"), QStringLiteral("2"),
                                                      QStringLiteral("1"), QStringLiteral("CON ERRORI")}));
        QCOMPARE(record[0].errori, r.righeErrore());
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii WHERE Esito = 'INVIATA' AND Canale = 'MAIL'")),
                 2);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii WHERE Esito LIKE 'NON INVIATA:%'")), 1);

        // Singular and plural, and a run with nothing left to do still says so.
        {
            sz::db::Connection c(database(radice));
            Credito k;
            k.numero = QStringLiteral("X1");
            k.scadenza = oggi.addDays(-2);
            dunningdata::aggiungi(c, k);
        }
        r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")}, indirizzo);
        QCOMPARE(r.codice, 0);
        QCOMPARE(servizio.ricevuti.size(), 2);
        QCOMPARE(servizio.ricevuti[1].titolo, QStringLiteral("Solleciti: 1 lettera creata, 1 inviata, 0 errori"));
        QCOMPARE(servizio.ricevuti[1].urgenza, 1);

        // Another workstation's run in progress past the timer's wait (shortened here): the
        // timer's run leaves the letters to it and says so, since nobody reads its output.
        // The other workstation also holds the engine's own lock, where there is one, through
        // its own connection for as long as its row is there.
        std::unique_ptr<sz::db::Connection> altraPostazione = std::make_unique<sz::db::Connection>(database(radice));
        altraPostazione->exec(
            QStringLiteral("INSERT INTO t_blocchi (Nome, Postazione, Host, Utente, Processo, Inizio, Aggiornato) "
                           "VALUES ('SOLLECITI', 'altro-pc (mario)', 'altro-pc', 'mario', 1, :A, :A)"),
            {{QStringLiteral("A"), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        altraPostazione->dialect().tryNamedLock(*altraPostazione, QStringLiteral("SOLLECITI"));
        qputenv("SZ_ATTESA_BLOCCO", "100,300");
        r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")}, indirizzo);
        qunsetenv("SZ_ATTESA_BLOCCO");
        altraPostazione.reset();
        QCOMPARE(r.codice, 3);
        QCOMPARE(servizio.ricevuti.size(), 3);
        QCOMPARE(servizio.ricevuti[2].titolo, QStringLiteral("Solleciti: invio automatico non eseguito"));
        QCOMPARE(servizio.ricevuti[2].testo + QLatin1Char('\n'), r.err);
        QCOMPARE(servizio.ricevuti[2].urgenza, 2);
        {
            sz::db::Connection c(database(radice));
            c.exec(QStringLiteral("DELETE FROM t_blocchi"));
        }

        // No session bus, or one that is gone: the run is the same, without a word about it.
        for (const QString& senza : {QString(), QStringLiteral("unix:path=") + cartellaBus.path() +
                                                    QStringLiteral("/nessuno")}) {
            r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")}, senza);
            QCOMPARE(r.codice, 0);
            QCOMPARE(r.out, QStringLiteral("Totale: 0 lettere create, 0 inviate, 0 non inviate, 0 errori.\n"));
            QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        }
        QCOMPARE(servizio.ricevuti.size(), 3);
        QDBusConnection::disconnectFromBus(QStringLiteral("tst_daily_run"));
        demone.kill();
        demone.waitForFinished(5000);
    }

    // A certified mailbox sends on the timer only when the user ticked that the provider's
    // contract allows it: otherwise the timer's run makes the PDFs, mails nothing, and says
    // so once, in its output, its record and the notification. A run the user starts sends.
    void timerLeavesACertifiedMailboxToTheUser()
    {
        TestEnv env;
        const QDate oggi = QDate::currentDate();
        const QString radice = installa(env);
        QVERIFY(!radice.isEmpty());
        ServerSmtp smtp(QStringLiteral("plain"));
        QVERIFY(smtp.pronto);
        smtp.usaDa(radice);
        const auto nuovoCredito = [&](const QString& numero) {
            sz::db::Connection c(database(radice));
            Credito k;
            k.numero = numero;
            k.scadenza = oggi.addDays(-2);
            dunningdata::aggiungi(c, k);
        };
        const auto imposta = [&](const QString& sql) { sz::db::Connection(database(radice)).exec(sql); };
        {
            sz::db::Connection c(database(radice));
            preavvisi(c, 2, oggi);
            c.exec(QStringLiteral("UPDATE t_ISP SET InvioAutomaticoAttivo = 1, InvioMailAutomatico = 1, "
                                  "InvioAutomaticoPerCliente = 0, PEC = 1, PECMessaggiMinuto = 60"));
        }
        QTemporaryDir cartellaBus;
        QProcess demone;
        demone.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                      QStringLiteral("--address=unix:path=") + cartellaBus.path() + QStringLiteral("/bus")});
        QVERIFY(demone.waitForReadyRead(10000));
        const QString indirizzo = QString::fromUtf8(demone.readLine()).trimmed();
        Notifiche servizio;
        {
            QDBusConnection bus = QDBusConnection::connectToBus(indirizzo, QStringLiteral("tst_daily_run_pec"));
            QVERIFY(bus.isConnected());
            QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
            QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &servizio,
                                       QDBusConnection::ExportAllSlots));
        }
        const QString motivo = QStringLiteral("ATTENZIONE: l'invio automatico ha creato le lettere solo in PDF");

        // The dry run already says what the run will do.
        Esito r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer"),
                          QStringLiteral("--dry-run")});
        QCOMPARE(r.codice, 0);
        QVERIFY(r.err.startsWith(motivo));
        QCOMPARE(r.lettere().filter(QStringLiteral("\tDA CREARE")).size(), 2);

        r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")}, indirizzo);
        QCOMPARE(r.codice, 1);
        QCOMPARE(r.lettere().filter(QStringLiteral("\tROSSI SRL\tPREAVVISO\tCREATA")).size(), 2);
        QCOMPARE(r.righeErrore().size(), 1);
        QVERIFY(r.righeErrore()[0].startsWith(motivo));
        QCOMPARE(smtp.ricevuti(), 0);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii WHERE Canale = 'PDF' AND Esito = 'CREATA'")),
                 2);
        QCOMPARE(servizio.ricevuti.size(), 1);
        QCOMPARE(servizio.ricevuti[0].titolo, QStringLiteral("Solleciti: 2 lettere create, 1 errore"));
        QVERIFY(servizio.ricevuti[0].testo.startsWith(motivo));
        const QList<Giro> record = giri();
        QCOMPARE(record[0].campi.mid(4, 3),
                 (QStringList{QStringLiteral("TIMER"), QStringLiteral("DOCUMENTO"), QStringLiteral("PDF")}));
        QCOMPARE(record[0].errori, r.righeErrore());

        // Started by the user, the same settings send, by PEC.
        nuovoCredito(QStringLiteral("2001"));
        r = esegui({QStringLiteral("dunning"), QStringLiteral("run")});
        QCOMPARE(r.codice, 0);
        QCOMPARE(smtp.ricevuti(), 1);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii WHERE Canale = 'PEC' AND Esito = 'INVIATA'")),
                 1);

        // The contract allows it: the timer sends too.
        imposta(QStringLiteral("UPDATE t_ISP SET PECInvioAutomatico = 1"));
        nuovoCredito(QStringLiteral("2002"));
        r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")}, indirizzo);
        QCOMPARE(r.codice, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QCOMPARE(smtp.ricevuti(), 2);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii WHERE Canale = 'PEC' AND Esito = 'INVIATA'")),
                 2);
        QCOMPARE(servizio.ricevuti.last().titolo, QStringLiteral("Solleciti: 1 lettera creata, 1 inviata, 0 errori"));

        // One message a minute, and the run just before sent one: this run's first letter
        // waits for its turn, whichever program sent the other; a stop of the service ends
        // the wait at once, the letter not sent and the run interrupted.
        imposta(QStringLiteral("UPDATE t_ISP SET PECMessaggiMinuto = 1"));
        for (const char* n : {"3001", "3002"})
            nuovoCredito(QLatin1String(n));
        {
            const int giriPrima = conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_esecuzioni"));
            QProcess p;
            avvia(p, {QStringLiteral("dunning"), QStringLiteral("run")});
            QElapsedTimer t;
            t.start();
            while (conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_esecuzioni")) == giriPrima &&
                   t.elapsed() < 30000)
                QTest::qWait(50);
            QTest::qWait(1500); // the letter made, into the wait for its turn
            QCOMPARE(p.state(), QProcess::Running);
            ::kill(pid_t(p.processId()), SIGTERM);
            t.restart();
            QVERIFY(p.waitForFinished(10000));
            QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
            const QString out = QString::fromUtf8(p.readAllStandardOutput());
            const QString err = QString::fromUtf8(p.readAllStandardError());
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 1);
            QVERIFY2(out.contains(QStringLiteral("\tNON INVIATA: invio annullato")), qPrintable(out));
            QVERIFY2(!out.contains(QStringLiteral("\tINVIATA")), qPrintable(out));
            QVERIFY2(err.contains(QStringLiteral("invio interrotto prima della fine")), qPrintable(err));
            QCOMPARE(smtp.ricevuti(), 2);
        }

        // A known PEC server counts even unticked.
        imposta(QStringLiteral("UPDATE t_ISP SET PEC = 0, PECInvioAutomatico = 0, SMTP = 'sendm.cert.legalmail.it'"));
        r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer"),
                    QStringLiteral("--dry-run")});
        QVERIFY(r.err.startsWith(motivo) && r.err.contains(QStringLiteral("Legalmail (InfoCert)")));
        QDBusConnection::disconnectFromBus(QStringLiteral("tst_daily_run_pec"));
        demone.kill();
        demone.waitForFinished(5000);
    }

    // The run reads the certified mailbox's receipts before it makes letters; a mailbox
    // that cannot be reached is one error line of the run, which makes its letters all
    // the same. The dry run reads nothing.
    void runReadsReceiptsFirstAndGoesOn()
    {
        TestEnv env;
        const QDate oggi = QDate::currentDate();
        const QString radice = installa(env);
        QVERIFY(!radice.isEmpty());
        {
            sz::db::Connection c(database(radice));
            preavvisi(c, 2, oggi);
            c.exec(QStringLiteral("UPDATE t_ISP SET PEC = 1, IMAP = '127.0.0.1', PortaIMAP = :P"),
                   {{QStringLiteral("P"), QString::number(TestEnv::freeLocalPort())}});
        }
        Esito r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--pdf-only"),
                          QStringLiteral("--dry-run")});
        QCOMPARE(r.codice, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));

        r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--pdf-only")});
        QCOMPARE(r.codice, 1);
        QCOMPARE(r.righeErrore().size(), 1);
        QVERIFY2(r.righeErrore()[0].startsWith(QStringLiteral("Ricevute PEC non lette: ")), qPrintable(r.err));
        QCOMPARE(r.lettere().filter(QStringLiteral("\tCREATA")).size(), 2);
        QCOMPARE(giri()[0].errori, r.righeErrore());

        // Without an incoming server there is nothing to read and nothing to say.
        sz::db::Connection(database(radice)).exec(QStringLiteral("UPDATE t_ISP SET IMAP = ''"));
        r = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--pdf-only")});
        QCOMPARE(r.codice, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    }

    // Two runs started together: one makes the letters, the other finds the lock and
    // says where and since when; a letter run by hand meanwhile is refused the same way,
    // the dry run is not. Every credit gets one letter.
    void oneRunAtATime()
    {
        TestEnv env;
        const QDate oggi = QDate::currentDate();
        const QString radice = installa(env);
        ServerSmtp lento(QStringLiteral("slow"));
        QVERIFY(lento.pronto);
        lento.usaDa(radice);
        qint64 primo;
        {
            sz::db::Connection c(database(radice));
            preavvisi(c, 3, oggi);
            primo = c.scalar(QStringLiteral("SELECT MIN(ID) FROM t_crediti")).toLongLong();
        }
        QProcess a, b;
        const QStringList args{QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--send")};
        avvia(a, args);
        avvia(b, args);
        QVERIFY(a.waitForReadyRead(30000) || b.waitForReadyRead(30000));
        const Esito mano = esegui({QStringLiteral("dunning"), QStringLiteral("send"), QString::number(primo)});
        const Esito prova = esegui(args + QStringList{QStringLiteral("--dry-run")});
        const Esito ea = attendi(a), eb = attendi(b);
        const Esito& vinto = ea.codice == 3 ? eb : ea;
        const Esito& perso = ea.codice == 3 ? ea : eb;
        QCOMPARE(vinto.codice, 0);
        QCOMPARE(vinto.lettere().size(), 3);
        QCOMPARE(perso.codice, 3);
        QVERIFY(perso.out.isEmpty());
        static const QRegularExpression messaggio(
            QStringLiteral("^Invio già in corso su %1 \\(.+\\) dal \\d\\d/\\d\\d/\\d{4} alle \\d\\d:\\d\\d\\.\\n$")
                .arg(QRegularExpression::escape(QSysInfo::machineHostName())));
        // On the server the engine's lock can be taken a moment before the winner's row is
        // there to name it: the loser then says only that another run holds it.
        const bool generico = TestEnv::onServer() && perso.err == QStringLiteral("Invio già in corso su un'altra postazione.\n");
        QVERIFY2(generico || messaggio.match(perso.err).hasMatch(), qPrintable(perso.err));
        QCOMPARE(mano.codice, 3);
        QVERIFY2(messaggio.match(mano.err).hasMatch(), qPrintable(mano.err));
        if (!generico)
            QCOMPARE(mano.err, perso.err);
        QCOMPARE(prova.codice, 0);
        QVERIFY(prova.out.endsWith(QStringLiteral("da creare e inviare; nulla è stato modificato.\n")));
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii")), 3);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(DISTINCT IDCredito) FROM t_invii")), 3);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_esecuzioni")), 1);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_blocchi")), 0);
    }

    // A run killed in the middle leaves a consistent register and a record that reads
    // "INTERROTTA"; the next run takes over its lock and makes the rest, each credit once.
    // A run asked to stop ends after the letter in hand and writes its end.
    void killedRunIsFinishedByTheNext()
    {
        TestEnv env;
        const QDate oggi = QDate::currentDate();
        const QString radice = installa(env);
        ServerSmtp lento(QStringLiteral("slow"));
        QVERIFY(lento.pronto);
        lento.usaDa(radice);
        {
            sz::db::Connection c(database(radice));
            preavvisi(c, 5, oggi);
        }
        const QStringList args{QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--send")};
        QProcess p;
        avvia(p, args);
        QString visto;
        QElapsedTimer t;
        t.start();
        while (visto.count(QLatin1Char('\n')) < 2 && t.elapsed() < 60000 && p.waitForReadyRead(60000))
            visto += QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(visto.count(QLatin1Char('\n')), 2);
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(10000));

        const auto unaLetteraPerCredito = [&] {
            return conta(radice, QStringLiteral("SELECT COUNT(*) FROM (SELECT IDCredito FROM t_invii GROUP BY "
                                                "IDCredito HAVING COUNT(*) > 1) AS doppi")) == 0;
        };
        QVERIFY(unaLetteraPerCredito());
        const int fatte = conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii"));
        QVERIFY(fatte == 2 || fatte == 3);
        // Every stage written has its log row, and no log row is without its stage.
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE Preavviso IS NOT NULL")), fatte);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_blocchi")), 1);
        QList<Giro> record = giri();
        QCOMPARE(record.size(), 1);
        QCOMPARE(record[0].campi[10], QStringLiteral("INTERROTTA"));
        QVERIFY(record[0].campi[2].isEmpty());
        QVERIFY(record[0].campi[7].toInt() >= 2);

        Esito r = esegui(args);
        QCOMPARE(r.codice, 0);
        QCOMPARE(r.lettere().size(), 5 - fatte);
        QVERIFY(unaLetteraPerCredito());
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii")), 5);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE Preavviso IS NOT NULL")), 5);
        record = giri();
        QCOMPARE(record.size(), 2);
        QCOMPARE(record[0].campi[10], QStringLiteral("COMPLETATA"));
        QCOMPARE(record[1].campi[10], QStringLiteral("INTERROTTA"));
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_esecuzioni WHERE Esito = 'INTERROTTA'")), 1);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_blocchi")), 0);

        // Stopped by the system: the letter in hand is finished, the rest left for later.
        {
            sz::db::Connection c(database(radice));
            for (int i = 0; i < 3; ++i) {
                Credito k;
                k.numero = QStringLiteral("T%1").arg(i);
                k.scadenza = oggi.addDays(-2);
                dunningdata::aggiungi(c, k);
            }
        }
        QProcess q;
        avvia(q, args);
        QVERIFY(q.waitForReadyRead(30000));
        q.terminate();
        r = attendi(q);
        QCOMPARE(r.codice, 1);
        QVERIFY2(r.err.contains(QStringLiteral("invio interrotto prima della fine")), qPrintable(r.err));
        const int interrotte = int(r.lettere().size());
        QVERIFY(interrotte >= 1 && interrotte < 3);
        record = giri();
        QCOMPARE(record[0].campi[10], QStringLiteral("INTERROTTA"));
        QVERIFY(!record[0].campi[2].isEmpty());
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_blocchi")), 0);
        r = esegui(args);
        QCOMPARE(r.lettere().size(), 3 - interrotte);
        QVERIFY(unaLetteraPerCredito());
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii")), 8);
    }

    // A run's record reads "IN CORSO" only while its lock is held; without it the run was
    // stopped, and the next run writes so. Error lines stay one line each.
    void recordReadsInterruptedWithoutItsLock()
    {
        TestEnv env;
        const QString radice = installa(env);
        sz::db::Connection c(database(radice));
        namespace es = sz::esecuzioni;
        qint64 id;
        {
            es::Blocco blocco(c);
            QVERIFY(blocco.prendi());
            // Taking it again in the same process is no conflict.
            QVERIFY(blocco.prendi());
            id = es::apri(c, es::AvvioFinestra, QStringLiteral("CLIENTE"), QStringLiteral("MAIL"));
            es::avanza(c, id, 2, 1, 1, {QStringLiteral("riga\nspezzata\tdue")});
            QList<es::Esecuzione> e = es::ultime(c, 0);
            QCOMPARE(e.size(), 1);
            QCOMPARE(e[0].esito, QStringLiteral("IN CORSO"));
            QCOMPARE(e[0].errori, QStringList{QStringLiteral("riga spezzata due")});
            es::Titolare t;
            QVERIFY(es::occupato(c, &t));
            QCOMPARE(t.processo, qint64(::getpid()));
        }
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_blocchi")).toInt(), 0);
        QList<es::Esecuzione> e = es::ultime(c, 1);
        QCOMPARE(e[0].esito, QStringLiteral("INTERROTTA"));
        QVERIFY(!e[0].fine.isValid());
        QCOMPARE(e[0].create, 2);
        QCOMPARE(es::segnaInterrotte(c), 1);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Esito FROM t_esecuzioni WHERE ID = :I"), {{QStringLiteral("I"), id}})
                     .toString(),
                 QStringLiteral("INTERROTTA"));

        const qint64 altro = es::apri(c, es::AvvioComando, QStringLiteral("DOCUMENTO"), QStringLiteral("PDF"));
        es::chiudi(c, altro, 1, 0, 0, {QStringLiteral("prima"), QString(), QStringLiteral("seconda\r\n")});
        e = es::ultime(c, 0);
        QCOMPARE(e.size(), 2);
        QCOMPARE(e[0].id, altro);
        QCOMPARE(e[0].esito, QStringLiteral("CON ERRORI"));
        QCOMPARE(e[0].errori, (QStringList{QStringLiteral("prima"), QStringLiteral("seconda")}));
        QVERIFY(e[0].fine.isValid());
        es::chiudi(c, altro, 1, 0, 0, {});
        QCOMPARE(es::ultime(c, 1)[0].esito, QStringLiteral("COMPLETATA"));
    }

    // The lock of a process that is gone, or silent for longer than a run could be, is
    // taken over; a live one, here or on another workstation, is respected.
    // A clerk's run at the scheduled hour: the timer's run waits for it and then makes
    // what is left, instead of giving the day up; it gives up only after its wait.
    void timerWaitsForARunInProgress()
    {
        TestEnv env;
        const QDate oggi = QDate::currentDate();
        const QString radice = installa(env);
        QVERIFY(!radice.isEmpty());
        // The holder also holds the engine's own lock, where there is one, while its row is there.
        std::unique_ptr<sz::db::Connection> titolare;
        const auto occupa = [&] {
            titolare = std::make_unique<sz::db::Connection>(database(radice));
            sz::db::Connection& c = *titolare;
            c.dialect().tryNamedLock(c, QStringLiteral("SOLLECITI"));
            c.exec(QStringLiteral("INSERT INTO t_blocchi (Nome, Postazione, Host, Utente, Processo, Inizio, Aggiornato) "
                                  "VALUES ('SOLLECITI', 'pc (mario)', :H, 'mario', :Pid, :A, :A)"),
                   {{QStringLiteral("H"), QSysInfo::machineHostName()},
                    {QStringLiteral("Pid"), qint64(::getpid())},
                    {QStringLiteral("A"), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        };
        {
            sz::db::Connection c(database(radice));
            preavvisi(c, 2, oggi);
            c.exec(QStringLiteral("UPDATE t_ISP SET InvioAutomaticoAttivo = 1, InvioMailAutomatico = 0"));
        }
        occupa();
        qputenv("SZ_ATTESA_BLOCCO", "100,60000");
        QProcess p;
        avvia(p, {QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")});
        QVERIFY(!p.waitForFinished(1500)); // waiting, not gone
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii")), 0);
        titolare->exec(QStringLiteral("DELETE FROM t_blocchi"));
        titolare.reset();
        const Esito r = attendi(p);
        QVERIFY2(r.codice == 0, qPrintable(r.err));
        QCOMPARE(r.lettere().size(), 2);

        occupa();
        qputenv("SZ_ATTESA_BLOCCO", "100,300");
        const Esito arreso = esegui({QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")});
        qunsetenv("SZ_ATTESA_BLOCCO");
        QCOMPARE(arreso.codice, 3);
        QVERIFY(arreso.err.startsWith(QStringLiteral("Invio già in corso su pc (mario) dal ")));
    }

    // A bad debt fills no stage column and is listed every day: unattended it is made
    // once, not mailed every working day; with days between letters set for its payment
    // mode it comes again when they have passed.
    void badDebtLetterOnce()
    {
        TestEnv env;
        const QDate oggi = QDate::currentDate();
        const QString radice = installa(env);
        QVERIFY(!radice.isEmpty());
        {
            sz::db::Connection c(database(radice));
            dunningdata::societa(c);
            dunningdata::cliente(c, QStringLiteral("ROSSI SRL"), QStringLiteral("VIA ROMA 1"), QStringLiteral("r@rossi.it"));
            Credito k;
            k.numero = QStringLiteral("S1");
            k.scadenza = oggi.addDays(-400);
            k.fasi = {oggi.addDays(-390), oggi.addDays(-360), oggi.addDays(-330), oggi.addDays(-300)};
            dunningdata::aggiungi(c, k);
        }
        const QStringList args{QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--pdf-only")};
        Esito r = esegui(args);
        QVERIFY2(r.codice == 0, qPrintable(r.err));
        QCOMPARE(r.lettere().size(), 1);
        QVERIFY(r.lettere().first().contains(QStringLiteral("\tIN SOFFERENZA\t")));
        const auto ieri = [&](int giorni) {
            sz::db::Connection c(database(radice));
            c.exec(QStringLiteral("UPDATE t_invii SET DataOra = :D"),
                   {{QStringLiteral("D"), QDateTime(oggi.addDays(-giorni), QTime(8, 30))
                                              .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        };
        ieri(1);
        r = esegui(args);
        QVERIFY2(r.codice == 0, qPrintable(r.err));
        QCOMPARE(r.lettere().size(), 0);
        QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_invii")), 1);

        {
            sz::db::Connection c(database(radice));
            c.exec(QStringLiteral("UPDATE t_parametri SET GiorniTraSolleciti = 30"));
        }
        ieri(31);
        r = esegui(args);
        QVERIFY2(r.codice == 0, qPrintable(r.err));
        QCOMPARE(r.lettere().size(), 1);
    }

    void staleLockIsTakenOver()
    {
        TestEnv env;
        const QString radice = installa(env);
        const QString host = QSysInfo::machineHostName();
        QProcess finito;
        finito.start(QStringLiteral("/bin/true"));
        QVERIFY(finito.waitForStarted());
        const qint64 morto = finito.processId();
        QVERIFY(finito.waitForFinished());
        const QDateTime ora = QDateTime::currentDateTime();
        const auto blocco = [&](const QString& h, qint64 pid, const QDateTime& aggiornato) {
            sz::db::Connection c(database(radice));
            c.exec(QStringLiteral("DELETE FROM t_blocchi"));
            c.exec(QStringLiteral("INSERT INTO t_blocchi (Nome, Postazione, Host, Utente, Processo, Inizio, Aggiornato) "
                                  "VALUES ('SOLLECITI', :P, :H, 'mario', :Pid, :I, :A)"),
                   {{QStringLiteral("P"), h + QStringLiteral(" (mario)")},
                    {QStringLiteral("H"), h},
                    {QStringLiteral("Pid"), pid},
                    {QStringLiteral("I"), QDateTime(ora.date(), QTime(7, 5)).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
                    {QStringLiteral("A"), aggiornato.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        };
        const QStringList args{QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--pdf-only")};
        const QString occupato = QStringLiteral("Invio già in corso su %1 (mario) dal %2 alle 07:05.\n");
        const struct
        {
            QString host;
            qint64 pid;
            int minutiFa;
            bool preso;
        } casi[] = {
            {host, morto, 0, true},
            {QStringLiteral("altro-pc"), morto, 1, false},
            {QStringLiteral("altro-pc"), 1, sz::esecuzioni::minutiBloccoScaduto + 1, true},
            {host, qint64(::getpid()), 0, false},
            {host, qint64(::getpid()), sz::esecuzioni::minutiBloccoScaduto + 1, true},
        };
        for (const auto& caso : casi) {
            blocco(caso.host, caso.pid, ora.addSecs(-60 * caso.minutiFa));
            // A live holder also holds the engine's own lock, where there is one.
            std::unique_ptr<sz::db::Connection> vivo;
            if (!caso.preso) {
                vivo = std::make_unique<sz::db::Connection>(database(radice));
                vivo->dialect().tryNamedLock(*vivo, QStringLiteral("SOLLECITI"));
            }
            const Esito r = esegui(args);
            if (caso.preso) {
                QVERIFY2(r.codice == 0, qPrintable(caso.host + QStringLiteral(": ") + r.err));
                QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_blocchi")), 0);
            } else {
                QCOMPARE(r.codice, 3);
                QCOMPARE(r.err, occupato.arg(caso.host, ora.date().toString(QStringLiteral("dd/MM/yyyy"))));
                QCOMPARE(conta(radice, QStringLiteral("SELECT COUNT(*) FROM t_blocchi")), 1);
            }
        }
        // A lock row whose start cannot be read still names its workstation.
        sz::esecuzioni::Titolare t;
        t.postazione = QStringLiteral("pc\nfalso");
        QCOMPARE(sz::esecuzioni::messaggioOccupato(t).count(QLatin1Char('\n')), 0);
    }
};

QTEST_GUILESS_MAIN(TestDailyRun)
#include "tst_daily_run.moc"
