#include "scadenzio/Pianificazione.h"

#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <iterator>

namespace sz::pianificazione {

const QString NomeServizio = QStringLiteral("scadenzio-giornaliero.service");
const QString NomeTimer = QStringLiteral("scadenzio-giornaliero.timer");

namespace {

// A systemctl that does not answer (a hung user manager) must not freeze the window.
constexpr int attesaSystemctlMs = 30000;

// Certified-mail providers whose contract forbids automated sending, by mail domain:
// any of their servers is meant.
struct FornitoreVietato
{
    const char* dominio;
    const char* nome;
};
constexpr FornitoreVietato fornitoriVietati[] = {
    {"legalmail.it", "Legalmail (InfoCert)"},
};

// Servers of certified-mail providers, by domain: a mailbox on them is PEC even when an
// older provider list never ticked it.
constexpr const char* dominiPec[] = {"pec.aruba.it", "legalmail.it", "postecert.it", "sicurezzapostale.it"};

QString nomeHost(const QString& host)
{
    QString h = host.trimmed().toLower();
    while (h.endsWith(QLatin1Char('.')))
        h.chop(1);
    return h;
}

bool nelDominio(const QString& host, const QString& dominio)
{
    return host == dominio || host.endsWith(QLatin1Char('.') + dominio);
}

QString hhmm(QTime ora)
{
    return ora.toString(QStringLiteral("HH:mm"));
}

// systemd runs no executable whose name holds control characters, quotes or backslashes,
// however they are escaped.
bool accettatoDaSystemd(const QString& path)
{
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('"') || c == QLatin1Char('\'') ||
            c == QLatin1Char('\\'))
            return false;
    }
    return QDir::isAbsolutePath(path);
}

// Quoted for the executable of ExecStart: blanks kept by the quotes, % by doubling it
// (specifiers). A $ in the executable name is taken as it is.
QString virgoletteSystemd(const QString& path)
{
    QString out = path;
    out.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

// The user manager does not see a settings folder moved elsewhere for the desktop session;
// the run must read the same Config.ini (and so the same database) as the program that
// scheduled it.
QString ambiente()
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        return {};
    QString v;
    for (const QChar c : config) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return {};
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            v += QLatin1Char('\\');
        v += c == QLatin1Char('%') ? QStringLiteral("%%") : QString(c);
    }
    return QStringLiteral("Environment=\"XDG_CONFIG_HOME=") + v + QStringLiteral("\"\n");
}

struct Risposta
{
    bool avviato = false;
    int codice = -1;
    QString out, err;
    bool ok() const { return avviato && codice == 0; }
    QString motivo() const
    {
        const QString t = err.trimmed().isEmpty() ? out.trimmed() : err.trimmed();
        return t.isEmpty() ? QStringLiteral("codice di uscita %1").arg(codice) : t.section(QLatin1Char('\n'), 0, 0);
    }
};

Risposta systemctl(const QStringList& args)
{
    Risposta r;
    const QString program = programmaSystemctl();
    if (program.isEmpty()) {
        r.err = QStringLiteral("il comando systemctl non è installato");
        return r;
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SYSTEMD_PAGER"), QString());
    env.insert(QStringLiteral("SYSTEMD_COLORS"), QStringLiteral("0"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(env);
    p.setProgram(program);
    p.setArguments(QStringList{QStringLiteral("--user")} + args);
    p.start(QIODevice::ReadOnly);
    if (!p.waitForStarted(10000)) {
        r.err = QStringLiteral("systemctl non si avvia (%1)").arg(p.errorString());
        return r;
    }
    r.avviato = true;
    p.closeWriteChannel();
    if (!p.waitForFinished(attesaSystemctlMs)) {
        p.kill();
        p.waitForFinished(3000);
        r.err = QStringLiteral("systemctl non ha risposto entro %1 secondi").arg(attesaSystemctlMs / 1000);
        return r;
    }
    r.codice = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Whether the user's service manager answers at all: without it nothing can be enabled.
bool raggiungibile(QString* dettaglio)
{
    const Risposta r = systemctl({QStringLiteral("show"), QStringLiteral("--property=Version")});
    if (r.ok())
        return true;
    if (dettaglio)
        *dettaglio = r.motivo();
    return false;
}

QString messaggioAssente(const QString& dettaglio)
{
    return QStringLiteral("Il gestore dei servizi dell'utente (systemd) non è raggiungibile (%1): l'invio automatico "
                          "non è stato programmato da Scadenzio. Per eseguirlo con cron, aggiungere la riga seguente "
                          "con il comando «crontab -e».")
        .arg(dettaglio);
}

QString percorsoTimer()
{
    return cartellaUnita() + NomeTimer;
}

QString percorsoServizio()
{
    return cartellaUnita() + NomeServizio;
}

// What enable leaves behind, removed by hand when systemctl cannot do it.
QString percorsoCollegamento()
{
    return cartellaUnita() + QStringLiteral("timers.target.wants/") + NomeTimer;
}

std::optional<QByteArray> leggiFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.read(1 << 20);
}

// Replaces the file whole or leaves it as it was: the manager never reads half a unit.
bool scriviFile(const QString& path, const QByteArray& bytes, QString* errore)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *errore = QStringLiteral("la cartella %1 non si può creare").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        *errore = QStringLiteral("il file %1 non si può scrivere (%2)").arg(path, f.errorString());
        return false;
    }
    return true;
}

// Puts a unit file back as it was before: its old text, or no file.
void ripristina(const QString& path, const std::optional<QByteArray>& prima)
{
    QString ignorato;
    if (prima)
        scriviFile(path, *prima, &ignorato);
    else
        QFile::remove(path);
}

QDateTime leggiIstante(const QString& valore)
{
    const QString v = valore.trimmed();
    if (v.isEmpty() || v == QLatin1String("n/a") || v == QLatin1String("0"))
        return {};
    if (v.startsWith(QLatin1Char('@'))) {
        bool ok = false;
        const qint64 s = v.mid(1).toLongLong(&ok);
        return ok && s > 0 ? QDateTime::fromSecsSinceEpoch(s) : QDateTime();
    }
    static const QRegularExpression re(QStringLiteral("(\\d{4}-\\d{2}-\\d{2}) (\\d{2}:\\d{2}:\\d{2})(?: (\\S+))?"));
    const auto m = re.match(v);
    if (!m.hasMatch())
        return {};
    QDateTime t = QDateTime::fromString(m.captured(1) + QLatin1Char(' ') + m.captured(2),
                                        QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (m.captured(3) == QLatin1String("UTC"))
        t = QDateTime(t.date(), t.time(), Qt::UTC).toLocalTime();
    return t;
}

QString quando(const QDateTime& t)
{
    return QLocale(QLocale::Italian, QLocale::Italy).toString(t, QStringLiteral("dddd dd/MM/yyyy 'alle' HH:mm"));
}

} // namespace

std::optional<QTime> leggiOra(const QString& testo)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,2}):(\\d{2})\\s*$"));
    const auto m = re.match(testo);
    if (!m.hasMatch())
        return std::nullopt;
    const int h = m.captured(1).toInt();
    const int min = m.captured(2).toInt();
    if (h > 23 || min > 59)
        return std::nullopt;
    return QTime(h, min);
}

QString messaggioOraNonValida(const QString& testo)
{
    return QStringLiteral("ATTENZIONE: l'orario \"%1\" non è valido: indicare ore e minuti come HH:MM, da 00:00 a "
                          "23:59.")
        .arg(testo);
}

QString cartellaUnita()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("systemd/user/");
}

QString percorsoCli()
{
    const QString override = qEnvironmentVariable("SZ_CLI");
    if (!override.isEmpty())
        return override;
    return paths::programFolder() + QStringLiteral("scadenzio-cli");
}

QString programmaSystemctl()
{
    const QString override = qEnvironmentVariable("SZ_SYSTEMCTL");
    if (!override.isEmpty())
        return override;
    QString found = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(QStringLiteral("systemctl"), {QStringLiteral("/usr/bin"),
                                                                              QStringLiteral("/bin")});
    return found;
}

QString testoServizio(const QString& cli)
{
    return QStringLiteral("# Scritto da Scadenzio (Impostazioni - Email e Connessione): le modifiche fatte a mano\n"
                          "# vanno perse al prossimo salvataggio.\n"
                          "[Unit]\n"
                          "Description=Scadenzio: invio automatico dei solleciti del giorno\n"
                          "\n"
                          "[Service]\n"
                          "Type=oneshot\n") +
           ambiente() + QStringLiteral("ExecStart=") + virgoletteSystemd(cli) +
           QStringLiteral(" dunning run --timer\n");
}

QString testoTimer(QTime ora)
{
    return QStringLiteral("# Scritto da Scadenzio (Impostazioni - Email e Connessione): le modifiche fatte a mano\n"
                          "# vanno perse al prossimo salvataggio.\n"
                          "[Unit]\n"
                          "Description=Scadenzio: solleciti ogni giorno lavorativo alle ") +
           hhmm(ora) +
           QStringLiteral("\n"
                          "\n"
                          "[Timer]\n"
                          "OnCalendar=Mon..Fri *-*-* ") +
           hhmm(ora) +
           QStringLiteral(":00\n"
                          // A day missed while the computer was off runs at the next start.
                          "Persistent=true\n"
                          // Several workstations of one firm do not all hit the server at once.
                          "RandomizedDelaySec=5min\n"
                          "AccuracySec=1min\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=timers.target\n");
}

QString rigaCrontab(QTime ora, const QString& cli)
{
    // Single quotes for the shell; cron turns an unescaped % into a line break before the
    // shell sees the command. Empty when no single crontab line can hold the text.
    const auto quota = [](const QString& testo) -> std::optional<QString> {
        for (const QChar c : testo) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                return std::nullopt;
        }
        QString q = testo;
        q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
        q.replace(QLatin1Char('%'), QStringLiteral("\\%"));
        return QLatin1Char('\'') + q + QLatin1Char('\'');
    };
    const std::optional<QString> programma = quota(cli);
    if (!programma)
        return {};
    // The settings folder of this session, as the service gets it: without it cron's run
    // would read another Config.ini, and so perhaps another database.
    QString prima;
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!config.isEmpty() && QDir::isAbsolutePath(config)) {
        const std::optional<QString> c = quota(config);
        if (!c)
            return {};
        prima = QStringLiteral("XDG_CONFIG_HOME=") + *c + QLatin1Char(' ');
    }
    return QStringLiteral("%1 %2 * * 1-5 %3%4 dunning run --timer")
        .arg(ora.minute(), 2, 10, QLatin1Char('0'))
        .arg(ora.hour(), 2, 10, QLatin1Char('0'))
        .arg(prima, *programma);
}

std::optional<QTime> oraDelTimer(const QString& testo)
{
    static const QRegularExpression re(QStringLiteral("^OnCalendar=.*\\s(\\d{2}):(\\d{2})(?::00)?\\s*$"),
                                       QRegularExpression::MultilineOption);
    const auto m = re.match(testo);
    if (!m.hasMatch())
        return std::nullopt;
    return leggiOra(m.captured(1) + QLatin1Char(':') + m.captured(2));
}

Esito installa(QTime ora)
{
    Esito e;
    const QString cli = percorsoCli();
    e.crontab = rigaCrontab(ora, cli);
    if (!ora.isValid()) {
        e.messaggio = messaggioOraNonValida(ora.toString());
        return e;
    }
    if (!QFileInfo(cli).isFile() || !QFileInfo(cli).isExecutable()) {
        e.messaggio = QStringLiteral("Il programma %1 non esiste o non è eseguibile: l'invio automatico non è stato "
                                     "programmato.")
                          .arg(cli);
        e.crontab.clear();
        return e;
    }
    if (!accettatoDaSystemd(cli)) {
        e.messaggio = QStringLiteral("Il percorso del programma (%1) contiene virgolette, apostrofi o barre "
                                     "rovesciate, che systemd non accetta: l'invio automatico non è stato "
                                     "programmato. Spostare il programma in una cartella senza questi caratteri, "
                                     "oppure aggiungere la riga seguente con il comando «crontab -e».")
                          .arg(cli);
        return e;
    }
    QString dettaglio;
    if (!raggiungibile(&dettaglio)) {
        e.systemdAssente = true;
        e.messaggio = messaggioAssente(dettaglio);
        return e;
    }

    const auto timerPrima = leggiFile(percorsoTimer());
    const auto servizioPrima = leggiFile(percorsoServizio());
    QString errore;
    auto annulla = [&](const QString& perche) {
        if (!timerPrima)
            systemctl({QStringLiteral("disable"), QStringLiteral("--now"), NomeTimer});
        ripristina(percorsoTimer(), timerPrima);
        ripristina(percorsoServizio(), servizioPrima);
        systemctl({QStringLiteral("daemon-reload")});
        if (timerPrima)
            systemctl({QStringLiteral("restart"), NomeTimer});
        e.messaggio = QStringLiteral("L'invio automatico non è stato programmato: %1.").arg(perche);
        return e;
    };
    // The service first: a timer never points to a service that is not there.
    if (!scriviFile(percorsoServizio(), testoServizio(cli).toUtf8(), &errore) ||
        !scriviFile(percorsoTimer(), testoTimer(ora).toUtf8(), &errore))
        return annulla(errore);
    Risposta r = systemctl({QStringLiteral("daemon-reload")});
    if (!r.ok())
        return annulla(QStringLiteral("systemctl daemon-reload: ") + r.motivo());
    if (timerPrima) {
        // restart, not start: a running timer keeps its old time until restarted.
        r = systemctl({QStringLiteral("enable"), NomeTimer});
        if (r.ok())
            r = systemctl({QStringLiteral("restart"), NomeTimer});
    } else {
        r = systemctl({QStringLiteral("enable"), QStringLiteral("--now"), NomeTimer});
    }
    if (!r.ok())
        return annulla(QStringLiteral("systemctl: ") + r.motivo());
    e.ok = true;
    e.crontab.clear();
    e.messaggio =
        QStringLiteral("Invio automatico programmato su questo computer dal lunedì al venerdì alle %1.").arg(hhmm(ora));
    return e;
}

Esito rimuovi()
{
    Esito e;
    const auto timer = leggiFile(percorsoTimer());
    const bool c_era = timer || QFileInfo::exists(percorsoServizio()) ||
                       QFileInfo(percorsoCollegamento()).isSymLink();
    if (!c_era) {
        e.ok = true;
        e.messaggio = QStringLiteral("L'invio automatico non è programmato su questo computer.");
        return e;
    }
    QString dettaglio;
    const bool vivo = raggiungibile(&dettaglio);
    QString problema;
    if (vivo) {
        const Risposta r = systemctl({QStringLiteral("disable"), QStringLiteral("--now"), NomeTimer});
        if (!r.ok())
            problema = QStringLiteral("systemctl disable: ") + r.motivo();
    }
    // Whatever systemctl said: the files go, so no later start of the session runs it.
    QFile::remove(percorsoCollegamento());
    const bool tolti = (!QFileInfo::exists(percorsoTimer()) || QFile::remove(percorsoTimer())) &&
                       (!QFileInfo::exists(percorsoServizio()) || QFile::remove(percorsoServizio()));
    if (!tolti) {
        e.messaggio = QStringLiteral("I file del timer in %1 non si possono eliminare: l'invio automatico resta "
                                     "programmato.")
                          .arg(cartellaUnita());
        return e;
    }
    if (!vivo) {
        e.ok = true;
        e.systemdAssente = true;
        e.crontab = rigaCrontab(timer ? oraDelTimer(QString::fromUtf8(*timer)).value_or(QTime(8, 30)) : QTime(8, 30),
                                percorsoCli());
        e.messaggio = QStringLiteral("I file del timer sono stati eliminati, ma il gestore dei servizi dell'utente "
                                     "(systemd) non è raggiungibile (%1): un timer già caricato si ferma al prossimo "
                                     "accesso. Se l'invio era stato programmato con cron, togliere con il comando "
                                     "«crontab -e» la riga che esegue dunning run --timer.")
                          .arg(dettaglio);
        return e;
    }
    const Risposta r = systemctl({QStringLiteral("daemon-reload")});
    if (problema.isEmpty() && !r.ok())
        problema = QStringLiteral("systemctl daemon-reload: ") + r.motivo();
    e.ok = problema.isEmpty();
    e.messaggio = e.ok ? QStringLiteral("Invio automatico tolto da questo computer.")
                       : QStringLiteral("I file del timer sono stati eliminati, ma %1.").arg(problema);
    return e;
}

Esito allinea(bool attivo, QTime ora)
{
    if (!attivo)
        return rimuovi();
    const Stato s = stato();
    const auto timer = leggiFile(percorsoTimer());
    const auto servizio = leggiFile(percorsoServizio());
    if (s.raggiungibile && s.abilitato && s.attivo && timer && servizio &&
        QString::fromUtf8(*timer) == testoTimer(ora) && QString::fromUtf8(*servizio) == testoServizio(percorsoCli())) {
        Esito e;
        e.ok = true;
        e.messaggio =
            QStringLiteral("Invio automatico programmato su questo computer dal lunedì al venerdì alle %1.").arg(hhmm(ora));
        return e;
    }
    return installa(ora);
}

Stato stato()
{
    Stato s;
    if (const auto timer = leggiFile(percorsoTimer())) {
        s.installato = true;
        s.ora = oraDelTimer(QString::fromUtf8(*timer));
    }
    s.raggiungibile = raggiungibile(&s.dettaglio);
    if (!s.raggiungibile)
        return s;
    const Risposta r = systemctl({QStringLiteral("show"),
                                  QStringLiteral("--property=UnitFileState,ActiveState,NextElapseUSecRealtime,"
                                                 "LastTriggerUSec"),
                                  NomeTimer});
    if (!r.ok())
        return s;
    for (const QString& line : r.out.split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = line.section(QLatin1Char('='), 1).trimmed();
        if (key == QLatin1String("UnitFileState"))
            s.abilitato = value == QLatin1String("enabled");
        else if (key == QLatin1String("ActiveState"))
            s.attivo = value == QLatin1String("active");
        else if (key == QLatin1String("NextElapseUSecRealtime"))
            s.prossimo = leggiIstante(value);
        else if (key == QLatin1String("LastTriggerUSec"))
            s.ultimo = leggiIstante(value);
    }
    return s;
}

QString descrizione(const Stato& s)
{
    if (!s.installato && !s.raggiungibile)
        return QStringLiteral("Su questo computer l'invio automatico non è programmato, e il gestore dei servizi "
                              "dell'utente (systemd) non è raggiungibile (%1).")
            .arg(s.dettaglio);
    if (!s.installato)
        return QStringLiteral("Su questo computer l'invio automatico non è programmato.");
    const QString ora = s.ora ? hhmm(*s.ora) : QStringLiteral("un orario non leggibile");
    QString t = QStringLiteral("Su questo computer l'invio automatico è programmato dal lunedì al venerdì alle %1")
                    .arg(ora);
    if (!s.raggiungibile)
        return t + QStringLiteral(", ma il gestore dei servizi dell'utente (systemd) non è raggiungibile (%1): non si "
                                  "può sapere se è attivo.")
                       .arg(s.dettaglio);
    if (!s.abilitato || !s.attivo)
        return t + QStringLiteral(", ma il timer è %1: salvare di nuovo le impostazioni per riattivarlo.")
                       .arg(!s.abilitato ? QStringLiteral("disabilitato") : QStringLiteral("fermo"));
    t += QLatin1Char('.');
    if (s.prossimo.isValid())
        t += QStringLiteral(" Prossimo avvio: %1.").arg(quando(s.prossimo));
    t += s.ultimo.isValid() ? QStringLiteral(" Ultimo avvio: %1.").arg(quando(s.ultimo))
                            : QStringLiteral(" Non è ancora mai partito.");
    return t;
}

Impostazioni leggiImpostazioni(db::Connection& conn)
{
    Impostazioni imp;
    const db::Result r = conn.query(QStringLiteral(
        "SELECT OraInvioAutomatico, InvioAutomaticoPerCliente, InvioMailAutomatico, InvioAutomaticoAttivo "
        "FROM t_ISP ORDER BY ID"));
    if (r.isEmpty())
        return imp;
    if (const auto ora = leggiOra(r.rows[0][0].toString()))
        imp.ora = *ora;
    imp.perCliente = r.rows[0][1].toBool();
    imp.mail = r.rows[0][2].toBool();
    imp.attivo = r.rows[0][3].toBool();
    return imp;
}

void salvaImpostazioni(db::Connection& conn, const Impostazioni& imp)
{
    const db::Params p = {{QStringLiteral("ora"), hhmm(imp.ora)},
                          {QStringLiteral("cliente"), imp.perCliente},
                          {QStringLiteral("mail"), imp.mail},
                          {QStringLiteral("attivo"), imp.attivo}};
    db::Transaction t(conn);
    const QVariant id = conn.scalar(QStringLiteral("SELECT MIN(ID) FROM t_ISP"));
    if (id.isNull())
        conn.exec(QStringLiteral("INSERT INTO t_ISP (TLS, SSL, OraInvioAutomatico, InvioAutomaticoPerCliente, "
                                 "InvioMailAutomatico, InvioAutomaticoAttivo) VALUES (0, 0, :ora, :cliente, :mail, "
                                 ":attivo)"),
                  p);
    else
        conn.exec(QStringLiteral("UPDATE t_ISP SET OraInvioAutomatico = :ora, InvioAutomaticoPerCliente = :cliente, "
                                 "InvioMailAutomatico = :mail, InvioAutomaticoAttivo = :attivo WHERE ID = :id"),
                  p + db::Params{{QStringLiteral("id"), id}});
    t.commit();
}

QString fornitoreSenzaInvioAutomatico(const QString& smtpHost)
{
    const QString host = nomeHost(smtpHost);
    for (const auto& f : fornitoriVietati) {
        if (nelDominio(host, QString::fromLatin1(f.dominio)))
            return QString::fromLatin1(f.nome);
    }
    return {};
}

bool casellaCertificata(const QString& smtpHost, bool spuntataPec)
{
    if (spuntataPec)
        return true;
    const QString host = nomeHost(smtpHost);
    if (host.isEmpty())
        return false;
    return std::any_of(std::begin(dominiPec), std::end(dominiPec),
                       [&](const char* d) { return nelDominio(host, QString::fromLatin1(d)); });
}

QString avvisoInvioAutomatico(const QString& smtpHost, bool spuntataPec, bool invioAutomaticoConsentito)
{
    if (invioAutomaticoConsentito || !casellaCertificata(smtpHost, spuntataPec))
        return {};
    const QString fornitore = fornitoreSenzaInvioAutomatico(smtpHost);
    if (!fornitore.isEmpty())
        return QStringLiteral("ATTENZIONE: la casella è di posta certificata %1, il cui contratto vieta l'invio da "
                              "parte di programmi senza intervento diretto dell'utilizzatore, salvo accordi con il "
                              "fornitore. L'invio automatico crea quindi solo i PDF, senza inviarli; se il gestore "
                              "lo ha consentito per iscritto, spuntare «Il contratto del gestore consente l'invio "
                              "automatico».")
            .arg(fornitore);
    return QStringLiteral("ATTENZIONE: la casella è di posta certificata (PEC) e non è indicato che il contratto del "
                          "gestore consenta l'invio da parte di programmi senza intervento diretto dell'utente. "
                          "L'invio automatico crea quindi solo i PDF, senza inviarli; se il contratto lo consente, "
                          "spuntare «Il contratto del gestore consente l'invio automatico».");
}

ImpostazioniPec leggiImpostazioniPec(db::Connection& conn)
{
    ImpostazioniPec imp;
    const db::Result r = conn.query(
        QStringLiteral("SELECT SMTP, PEC, PECMessaggiMinuto, PECInvioAutomatico FROM t_ISP ORDER BY ID"));
    if (r.isEmpty())
        return imp;
    imp.smtp = r.rows[0][0].toString();
    imp.pec = casellaCertificata(imp.smtp, r.rows[0][1].toBool());
    bool ok = false;
    const int n = r.rows[0][2].toInt(&ok);
    if (ok && n >= 1 && n <= 60)
        imp.messaggiMinuto = n;
    imp.invioAutomatico = r.rows[0][3].toBool();
    return imp;
}

QString avvisoInvioAutomatico(const QString& smtpHost)
{
    const QString fornitore = fornitoreSenzaInvioAutomatico(smtpHost);
    if (fornitore.isEmpty())
        return {};
    return QStringLiteral("ATTENZIONE: il server della posta in uscita è della posta certificata %1, il cui contratto "
                          "vieta l'invio da parte di programmi senza intervento diretto dell'utilizzatore, salvo "
                          "accordi con il fornitore, e limita l'invio a 6 messaggi al minuto. Per l'invio "
                          "automatico scegliere «Solo PDF» o una casella di un altro fornitore.")
        .arg(fornitore);
}

} // namespace sz::pianificazione
