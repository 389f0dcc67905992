// The daily run's schedule: the unit files as systemd itself reads them, install, change,
// remove and status through a recording systemctl, the crontab line where the user's
// systemd is out of reach, and the command line. Nothing reaches the machine's own user
// manager: systemctl is a stand-in and the unit folder is the test's own.
#include "SystemctlFinto.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Pianificazione.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace sz::pianificazione;

namespace {

const QString Cli = QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli");

QString leggi(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void scrivi(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
}

struct Verifica
{
    int codice = -1;
    QString uscita;
};

// systemd-analyze verify on unit files, as a user manager would load them.
Verifica verifica(const QStringList& files, const QString& runtime)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("systemd-analyze"), QStringList{QStringLiteral("verify"), QStringLiteral("--user")} + files);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAll())};
}

QString unita(const QString& nome)
{
    return cartellaUnita() + nome;
}

} // namespace

class TestSchedule : public QObject
{
    Q_OBJECT
private slots:
    void orariERigheDiTesto()
    {
        for (const auto& [testo, atteso] : {std::pair{"08:30", QTime(8, 30)}, {"8:30", QTime(8, 30)},
                                            {"00:00", QTime(0, 0)}, {" 23:59 ", QTime(23, 59)}})
            QCOMPARE(leggiOra(QString::fromLatin1(testo)), std::optional(atteso));
        for (const char* cattivo : {"24:00", "12:60", "830", "8.30", "ab:cd", "", "12:3", "-1:30", "123:00", "12:30x",
                                    "１２:３０"})
            QVERIFY2(!leggiOra(QString::fromUtf8(cattivo)), cattivo);
        QCOMPARE(messaggioOraNonValida(QStringLiteral("25:00")),
                 QStringLiteral("ATTENZIONE: l'orario \"25:00\" non è valido: indicare ore e minuti come HH:MM, da "
                                "00:00 a 23:59."));

        const QString timer = testoTimer(QTime(7, 5));
        QVERIFY(timer.contains(QStringLiteral("\nOnCalendar=Mon..Fri *-*-* 07:05:00\n")));
        QVERIFY(timer.contains(QStringLiteral("\nPersistent=true\n")) &&
                timer.contains(QStringLiteral("\nWantedBy=timers.target\n")) &&
                timer.contains(QStringLiteral("\nRandomizedDelaySec=")));
        QCOMPARE(oraDelTimer(timer), std::optional(QTime(7, 5)));
        QCOMPARE(oraDelTimer(QStringLiteral("[Timer]\nOnCalendar=daily\n")), std::nullopt);

        const QString servizio = testoServizio(QStringLiteral("/opt/Crediti 100%/scadenzio-cli"));
        QVERIFY(servizio.contains(QStringLiteral("\nType=oneshot\n")));
        QVERIFY(servizio.contains(QStringLiteral("\nExecStart=\"/opt/Crediti 100%%/scadenzio-cli\" dunning run --timer\n")));

        // For the shell and for cron, which reads % as a line break; the session's settings
        // folder goes with the program.
        const QByteArray configPrima = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "/home/u/L'ufficio 100%");
        QCOMPARE(rigaCrontab(QTime(7, 5), QStringLiteral("/opt/scadenzio-cli")),
                 QStringLiteral("05 07 * * 1-5 XDG_CONFIG_HOME='/home/u/L'\\''ufficio 100\\%' '/opt/scadenzio-cli' dunning "
                                "run --timer"));
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(rigaCrontab(QTime(7, 5), QStringLiteral("/opt/L'ufficio 100%/scadenzio-cli")),
                 QStringLiteral("05 07 * * 1-5 '/opt/L'\\''ufficio 100\\%/scadenzio-cli' dunning run --timer"));
        QCOMPARE(rigaCrontab(QTime(8, 30), QStringLiteral("/opt/a\nb/scadenzio-cli")), QString());
        if (configPrima.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", configPrima);

        QCOMPARE(fornitoreSenzaInvioAutomatico(QStringLiteral(" SENDM.CERT.LEGALMAIL.IT. ")),
                 QStringLiteral("Legalmail (InfoCert)"));
        QVERIFY(avvisoInvioAutomatico(QStringLiteral("sendm.cert.legalmail.it")).contains(QStringLiteral("vieta")));
        for (const char* altro : {"smtps.pec.aruba.it", "legalmail.it.example.com", "notlegalmail.it", ""})
            QVERIFY2(avvisoInvioAutomatico(QString::fromLatin1(altro)).isEmpty(), altro);
    }

    // systemd's own reading of the files: the program path quoted right, with blanks, a
    // % and a $ in the folder's name, and the calendar firing on working days only.
    void systemdLeggeLeUnita()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("systemd-analyze")).isEmpty())
            QSKIP("systemd-analyze non è installato");
        QVERIFY(QFileInfo(Cli).isExecutable());
        QTemporaryDir dir;
        const QString runtime = dir.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString strana = dir.filePath(QStringLiteral("Programmi di prova 100% $HOME àè"));
        QVERIFY(QDir().mkpath(strana));
        QVERIFY(QFile::link(Cli, strana + QStringLiteral("/scadenzio-cli")));

        const QByteArray config = qgetenv("XDG_CONFIG_HOME");
        for (const QString& cli : {Cli, strana + QStringLiteral("/scadenzio-cli")}) {
            const QString unitDir = dir.filePath(QStringLiteral("unita"));
            if (cli != Cli) // a settings folder of the session, as odd as the program's
                qputenv("XDG_CONFIG_HOME", "/home/u/Impostazioni 100% \"x\" \\y");
            const QString servizio = testoServizio(cli);
            qputenv("XDG_CONFIG_HOME", config);
            QCOMPARE(servizio.contains(QStringLiteral("Environment=\"XDG_CONFIG_HOME=/home/u/Impostazioni 100%% \\\"x\\\" "
                                                      "\\\\y\"\n")),
                     cli != Cli);
            scrivi(unitDir + "/" + NomeServizio, servizio);
            scrivi(unitDir + "/" + NomeTimer, testoTimer(QTime(8, 30)));
            const Verifica v = verifica({unitDir + "/" + NomeServizio, unitDir + "/" + NomeTimer}, runtime);
            QVERIFY2(v.codice == 0 && v.uscita.trimmed().isEmpty(), qPrintable(cli + ": " + v.uscita));
        }
        // The check is real: a program that is not there is found out.
        const QString unitDir = dir.filePath(QStringLiteral("unita"));
        scrivi(unitDir + "/" + NomeServizio, testoServizio(dir.filePath(QStringLiteral("manca/scadenzio-cli"))));
        const Verifica v = verifica({unitDir + "/" + NomeServizio}, runtime);
        QVERIFY2(v.codice != 0 && v.uscita.contains(QStringLiteral("manca")), qPrintable(v.uscita));

        QProcess p;
        p.start(QStringLiteral("systemd-analyze"),
                {QStringLiteral("calendar"), QStringLiteral("--iterations=7"), QStringLiteral("Mon..Fri *-*-* 08:30:00")});
        QVERIFY(p.waitForFinished(30000) && p.exitCode() == 0);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(out.count(QStringLiteral("08:30:00")), 7 + 1); // the normalized form, then 7 elapses
        QVERIFY2(!out.contains(QStringLiteral("Sat ")) && !out.contains(QStringLiteral("Sun ")), qPrintable(out));
    }

    void installaCambiaTogli()
    {
        TestEnv env;
        SystemctlFinto sc;
        const QString timer = unita(NomeTimer), servizio = unita(NomeServizio);
        QCOMPARE(cartellaUnita(), env.configHome() + "/systemd/user/");

        Esito e = installa(QTime(8, 30));
        QVERIFY2(e.ok && !e.systemdAssente && e.crontab.isEmpty(), qPrintable(e.messaggio));
        QCOMPARE(e.messaggio, QStringLiteral("Invio automatico programmato su questo computer dal lunedì al venerdì alle "
                                             "08:30."));
        QCOMPARE(sc.chiamate(), QStringList({"--user daemon-reload", "--user enable --now " + NomeTimer}));
        QCOMPARE(leggi(timer), testoTimer(QTime(8, 30)));
        QCOMPARE(leggi(servizio), testoServizio(Cli));

        // Another time: rewritten, reloaded, restarted so the new time counts at once.
        QVERIFY(installa(QTime(17, 45)).ok);
        QCOMPARE(sc.chiamate(), QStringList({"--user daemon-reload", "--user enable " + NomeTimer,
                                             "--user restart " + NomeTimer}));
        QCOMPARE(oraDelTimer(leggi(timer)), std::optional(QTime(17, 45)));

        sc.show("UnitFileState=enabled\nActiveState=active\nNextElapseUSecRealtime=Wed 2026-12-09 17:45:00 UTC\n"
                "LastTriggerUSec=n/a\n");
        Stato s = stato();
        QVERIFY(s.installato && s.raggiungibile && s.abilitato && s.attivo && !s.ultimo.isValid());
        QCOMPARE(s.ora, std::optional(QTime(17, 45)));
        QCOMPARE(s.prossimo, QDateTime(QDate(2026, 12, 9), QTime(17, 45), Qt::UTC));
        QVERIFY(descrizione(s).contains(QStringLiteral("alle 17:45. Prossimo avvio: ")));
        QVERIFY(descrizione(s).endsWith(QStringLiteral("Non è ancora mai partito.")));
        sc.chiamate();

        // Nothing to change: systemctl is only asked.
        QVERIFY(allinea(true, QTime(17, 45)).ok);
        const QStringList chieste = sc.chiamate();
        QVERIFY2(chieste.size() == 1 && chieste[0].startsWith(QStringLiteral("--user show ")), qPrintable(chieste.join('|')));
        // Stopped by hand: put back.
        sc.show("UnitFileState=disabled\nActiveState=inactive\nLastTriggerUSec=@1765180800\n");
        s = stato();
        QVERIFY(!s.abilitato && s.ultimo == QDateTime::fromSecsSinceEpoch(1765180800));
        QVERIFY(descrizione(s).contains(QStringLiteral("disabilitato")));
        sc.chiamate();
        QVERIFY(allinea(true, QTime(17, 45)).ok);
        QVERIFY(sc.chiamate().contains("--user restart " + NomeTimer));

        // systemctl refuses a change: the old timer stays as it was.
        sc.rifiuta("enable");
        e = installa(QTime(6, 0));
        QVERIFY(!e.ok && e.messaggio.contains(QStringLiteral("Access denied")));
        QCOMPARE(oraDelTimer(leggi(timer)), std::optional(QTime(17, 45)));
        sc.rifiuta({});

        e = rimuovi();
        QVERIFY2(e.ok, qPrintable(e.messaggio));
        QCOMPARE(sc.chiamate().filter(QStringLiteral("able")),
                 QStringList({"--user enable " + NomeTimer, "--user disable --now " + NomeTimer}));
        QVERIFY(!QFileInfo::exists(timer) && !QFileInfo::exists(servizio));
        // Not installed, not wanted: systemctl is not even run.
        QVERIFY(rimuovi().ok && allinea(false, QTime(8, 30)).ok);
        QCOMPARE(sc.chiamate(), QStringList());

        // A first install refused leaves nothing behind.
        sc.rifiuta("enable");
        e = installa(QTime(8, 30));
        QVERIFY(!e.ok && !QFileInfo::exists(timer) && !QFileInfo::exists(servizio));
    }

    // Without the user's systemd: nothing half-installed, and the crontab line to use.
    void senzaSystemd()
    {
        TestEnv env;
        SystemctlFinto sc;
        sc.assente();
        Esito e = installa(QTime(7, 5));
        QVERIFY(!e.ok && e.systemdAssente);
        QVERIFY(e.messaggio.contains(QStringLiteral("non è raggiungibile (Failed to connect to bus: No medium found)")));
        QCOMPARE(e.crontab, conConfig("05 07 * * 1-5 '" + Cli + "' dunning run --timer"));
        QVERIFY(!QFileInfo::exists(unita(NomeTimer)) && !QDir(cartellaUnita()).exists());
        const Stato s = stato();
        QVERIFY(!s.installato && !s.raggiungibile);

        // Units left from before go all the same, the enable link too.
        scrivi(unita(NomeTimer), testoTimer(QTime(9, 0)));
        scrivi(unita(NomeServizio), testoServizio(Cli));
        QDir().mkpath(cartellaUnita() + "timers.target.wants");
        QVERIFY(QFile::link(unita(NomeTimer), cartellaUnita() + "timers.target.wants/" + NomeTimer));
        QVERIFY(descrizione(stato()).contains(QStringLiteral("alle 09:00, ma il gestore")));
        e = rimuovi();
        QVERIFY(e.ok && e.systemdAssente && e.crontab.startsWith(QStringLiteral("00 09 * * 1-5 ")));
        QVERIFY(QDir(cartellaUnita()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size() == 1);
        QVERIFY(QDir(cartellaUnita() + "timers.target.wants").isEmpty());

        // A program folder whose name systemd cannot run: cron can.
        const QString ufficio = env.home() + QStringLiteral("/L'ufficio");
        QVERIFY(QDir().mkpath(ufficio) && QFile::link(Cli, ufficio + "/scadenzio-cli"));
        qputenv("SZ_CLI", QFile::encodeName(ufficio + "/scadenzio-cli"));
        sc.assente(false);
        e = installa(QTime(7, 5));
        QVERIFY(!e.ok && !e.systemdAssente && e.messaggio.contains(QStringLiteral("systemd non accetta")));
        QCOMPARE(e.crontab, conConfig("05 07 * * 1-5 '" + env.home() + "/L'\\''ufficio/scadenzio-cli' dunning run --timer"));
        QVERIFY(!QFileInfo::exists(unita(NomeTimer)) && sc.chiamate().isEmpty());
        qputenv("SZ_CLI", QFile::encodeName(Cli));

        // No systemctl at all, and a program that is not there.
        qputenv("SZ_SYSTEMCTL", "/nonesiste/systemctl");
        e = installa(QTime(7, 5));
        QVERIFY(e.systemdAssente && e.messaggio.contains(QStringLiteral("systemctl non si avvia")));
        qputenv("SZ_CLI", "/nonesiste/scadenzio-cli");
        e = installa(QTime(7, 5));
        QVERIFY(!e.ok && !e.systemdAssente && e.messaggio.contains(QStringLiteral("non esiste")));
    }

    void impostazioniNelDatabase()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        Impostazioni imp = leggiImpostazioni(c);
        QVERIFY(!imp.attivo && !imp.mail && !imp.perCliente && imp.ora == QTime(8, 30)); // the seed row
        salvaImpostazioni(c, {QTime(7, 5), true, true, true});
        const auto riga = c.query(QStringLiteral("SELECT OraInvioAutomatico, InvioAutomaticoPerCliente, "
                                                 "InvioMailAutomatico, InvioAutomaticoAttivo FROM t_ISP"))
                              .rows;
        QCOMPARE(riga, QVector<QVector<QVariant>>({{"07:05", true, true, true}}));
        c.exec(QStringLiteral("UPDATE t_ISP SET OraInvioAutomatico = '99:99'"));
        QCOMPARE(leggiImpostazioni(c).ora, QTime(8, 30));
        c.exec(QStringLiteral("DELETE FROM t_ISP"));
        salvaImpostazioni(c, {QTime(6, 0), false, false, true});
        QCOMPARE(c.scalar(QStringLiteral("SELECT OraInvioAutomatico FROM t_ISP WHERE InvioAutomaticoAttivo = 1")),
                 QVariant("06:00"));
    }

    void rigaDiComando()
    {
        TestEnv env;
        SystemctlFinto sc;
        qunsetenv("SZ_CLI"); // the tool names itself
        QCOMPARE(TestEnv::runCli({"upgrade"}).code, 0);
        // The tool keeps its files under its own program folder's name.
        sz::db::Connection c(env.documents() + "/Scadenzio/DB/gestionale.mdb");
        auto impostazioni = [&c] {
            return c.query(QStringLiteral("SELECT OraInvioAutomatico, InvioAutomaticoPerCliente, InvioMailAutomatico, "
                                          "InvioAutomaticoAttivo FROM t_ISP"))
                .rows[0];
        };

        for (const QStringList& sbagliato : {QStringList{"schedule"}, {"schedule", "install"},
                                             {"schedule", "install", "--at"}, {"schedule", "status", "x"},
                                             {"schedule", "install", "--at", "8:00", "--tutti"}}) {
            const auto r = TestEnv::runCli(sbagliato);
            QVERIFY2(r.code == 2 && r.err.startsWith(QStringLiteral("Uso:")), qPrintable(sbagliato.join(' ')));
        }
        auto r = TestEnv::runCli({"schedule", "install", "--at", "24:00"});
        QCOMPARE(r.code, 2);
        QCOMPARE(r.err.trimmed(), messaggioOraNonValida(QStringLiteral("24:00")));
        QVERIFY(sc.chiamate().isEmpty() && !impostazioni()[3].toBool());

        r = TestEnv::runCli({"schedule", "install", "--at", "7:05", "--per-client", "--pdf-only"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.out.trimmed(), QStringLiteral("Invio automatico programmato su questo computer dal lunedì al "
                                                 "venerdì alle 07:05."));
        QCOMPARE(impostazioni(), QVector<QVariant>({"07:05", true, false, true}));
        QCOMPARE(leggi(unita(NomeServizio)), testoServizio(Cli));
        QCOMPARE(sc.chiamate(), QStringList({"--user daemon-reload", "--user enable --now " + NomeTimer}));

        sc.show("UnitFileState=enabled\nActiveState=active\nNextElapseUSecRealtime=Wed 2026-12-09 07:05:00 UTC\n"
                "LastTriggerUSec=Tue 2026-12-08 07:06:10 UTC\n");
        r = TestEnv::runCli({"schedule", "status"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(r.out.startsWith(QStringLiteral("Voce\tValore\nProgrammato su questo computer\tsì\nOrario\t07:05\n")));
        QVERIFY(r.out.contains(QStringLiteral("\nLettere\tper cliente\nCanale\tsolo PDF\n")));
        QVERIFY(r.out.contains(QStringLiteral("Ultimo avvio\t") +
                               QDateTime(QDate(2026, 12, 8), QTime(7, 6, 10), Qt::UTC).toLocalTime().toString("dd/MM/yyyy HH:mm")));

        // Mail through a certified-mail box whose contract forbids it: said, not refused.
        c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = 'SENDM.CERT.LEGALMAIL.IT'"));
        r = TestEnv::runCli({"schedule", "install", "--at=18:00"});
        QVERIFY(r.code == 0 && r.err.contains(QStringLiteral("Legalmail (InfoCert)")));
        QCOMPARE(impostazioni(), QVector<QVariant>({"18:00", false, true, true}));

        // The user's systemd out of reach: exit 1, the crontab line, the settings saved
        // so that the line's run finds them on.
        sc.assente();
        r = TestEnv::runCli({"schedule", "install", "--at", "06:30", "--pdf-only"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, conConfig("30 06 * * 1-5 '" + Cli + "' dunning run --timer\n"));
        QVERIFY(r.err.contains(QStringLiteral("crontab -e")));
        QCOMPARE(impostazioni(), QVector<QVariant>({"06:30", false, false, true}));
        r = TestEnv::runCli({"schedule", "status"});
        QVERIFY(r.code == 1 && r.out.endsWith(conConfig("30 06 * * 1-5 '" + Cli + "' dunning run --timer\n")));
        sc.assente(false);
        sc.chiamate();

        r = TestEnv::runCli({"schedule", "remove"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(sc.chiamate().contains("--user disable --now " + NomeTimer));
        QVERIFY(!QFileInfo::exists(unita(NomeTimer)) && impostazioni()[3] == false);
        QCOMPARE(impostazioni()[0], QVariant("06:30")); // the time is kept for the next time

        // systemd there and refusing: the settings stay as they were, so no workstation
        // believes in a schedule that does not exist.
        sc.rifiuta("enable");
        r = TestEnv::runCli({"schedule", "install", "--at", "09:15", "--per-client"});
        QCOMPARE(r.code, 1);
        QVERIFY(!QFileInfo::exists(unita(NomeTimer)));
        QVERIFY(impostazioni()[3] == false);
        QCOMPARE(impostazioni()[0], QVariant("06:30"));
    }
};

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
