#include "CopiaServer.h"

#include "scadenzio/Ini.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <QVersionNumber>

#include <cstdio>

namespace sz::startup {

namespace {

const QString sezione = QStringLiteral("CopiaServer");
const QString chiave = QStringLiteral("AvvisoDato");

QString fileImpostazioni()
{
    return paths::settingsRoot() + QStringLiteral("Config/CopiaServer.ini");
}

// The database's name as a file name: ASCII letters, digits, '-' and '_', never a path.
QString nomeCopia(const QString& uri)
{
    QString nome = QUrl(uri).path().section(QLatin1Char('/'), -1);
    QString pulito;
    for (const QChar c : nome)
        pulito += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-') || c == QLatin1Char('_')
                      ? c
                      : QLatin1Char('_');
    if (pulito.isEmpty() || pulito.startsWith(QLatin1Char('.')))
        pulito = QStringLiteral("database");
    return pulito.left(80) + QStringLiteral(".dump");
}

struct Esecuzione
{
    bool avviato = false;
    bool finito = false;
    int codice = -1;
    QByteArray uscita, errori;
};

Esecuzione esegui(const QString& programma, const QStringList& argomenti, const QProcessEnvironment& env, int secondi)
{
    Esecuzione e;
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(programma, argomenti);
    e.avviato = p.waitForStarted(10000);
    if (!e.avviato)
        return e;
    e.finito = p.waitForFinished(secondi * 1000);
    if (!e.finito) {
        p.kill();
        p.waitForFinished(5000);
    }
    e.codice = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    e.uscita = p.readAllStandardOutput();
    e.errori = p.readAllStandardError();
    return e;
}

QString primaRiga(const QByteArray& testo)
{
    const QString t = QString::fromLocal8Bit(testo).trimmed();
    QString riga = t.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (riga.startsWith(QLatin1String("pg_dump: error: ")))
        riga = riga.mid(16);
    return riga.left(300);
}

} // namespace

QStringList cartelleStrumentiServer()
{
    QStringList cartelle;
    const QString env = qEnvironmentVariable("SZ_PG_BIN");
    if (!env.isEmpty())
        return env.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    cartelle << qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QList<QPair<QVersionNumber, QString>> versioni;
    for (const QString& v : QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        versioni << qMakePair(QVersionNumber::fromString(v), QStringLiteral("/usr/lib/postgresql/%1/bin").arg(v));
    std::sort(versioni.begin(), versioni.end(), [](const auto& a, const auto& b) { return b.first < a.first; });
    for (const auto& v : versioni)
        cartelle << v.second;
    return cartelle;
}

CopiaServer copiaDatabaseServer(const QString& uri, const QString& backupFolder, const QString& password,
                                int secondiMassimi)
{
    CopiaServer c;
    const QStringList cartelle = cartelleStrumentiServer();
    // The newest pg_dump first: it dumps every older server; one older than the server
    // refuses, and the next folder is tried.
    // The folder is kept as found: its pg_restore goes with its pg_dump (a link to a
    // version chooser would lead elsewhere).
    QStringList dump, visti;
    for (const QString& d : cartelle) {
        const QString p = QDir(d).absoluteFilePath(QStringLiteral("pg_dump"));
        const QString vero = QFileInfo(p).canonicalFilePath();
        if (QFileInfo(p).isExecutable() && !visti.contains(vero)) {
            visti << vero;
            dump << p;
        }
    }
    if (dump.isEmpty()) {
        c.esito = CopiaServer::Esito::NonDisponibile;
        c.messaggio = QStringLiteral("Lo strumento di copia del database server (pg_dump) non è installato su questo "
                                     "computer: valgono le copie di sicurezza del server.");
        return c;
    }
    const QString cartella = QDir(backupFolder).filePath(QStringLiteral("DB"));
    if (!paths::makePrivateFolder(cartella)) {
        c.messaggio = QStringLiteral("Impossibile creare la cartella delle copie \"%1\".").arg(QDir::toNativeSeparators(cartella));
        return c;
    }
    const QString dest = QDir(cartella).filePath(nomeCopia(uri));
    const QString tmp = dest + QStringLiteral(".tmp");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!password.isEmpty())
        env.insert(QStringLiteral("PGPASSWORD"), password);
    if (!env.contains(QStringLiteral("PGCONNECT_TIMEOUT")))
        env.insert(QStringLiteral("PGCONNECT_TIMEOUT"), QStringLiteral("15"));

    bool versioneDiversa = false;
    QString ultimoErrore;
    for (const QString& programma : dump) {
        QFile::remove(tmp);
        if (!paths::createPrivateFile(tmp)) {
            c.messaggio = QStringLiteral("Impossibile scrivere la copia del database in \"%1\".")
                              .arg(QDir::toNativeSeparators(tmp));
            return c;
        }
        // The address after "--dbname=" can never be read as an option.
        const Esecuzione e = esegui(programma,
                                    {QStringLiteral("--format=custom"), QStringLiteral("--no-password"),
                                     QStringLiteral("--file=") + tmp, QStringLiteral("--dbname=") + uri},
                                    env, secondiMassimi);
        if (e.avviato && e.finito && e.codice == 0) {
            const QString restore = QFileInfo(programma).dir().filePath(QStringLiteral("pg_restore"));
            const Esecuzione l = esegui(restore, {QStringLiteral("--list"), tmp}, env, 300);
            if (!(l.avviato && l.finito && l.codice == 0 && !l.uscita.trimmed().isEmpty())) {
                QFile::remove(tmp);
                c.messaggio = QStringLiteral("La copia del database server non è leggibile (%1): resta la copia "
                                             "precedente.")
                                  .arg(primaRiga(l.errori.isEmpty() ? QByteArray("pg_restore --list") : l.errori));
                return c;
            }
            if (std::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(dest).constData()) != 0) {
                QFile::remove(tmp);
                c.messaggio = QStringLiteral("Impossibile mettere al suo posto la copia \"%1\": resta la copia "
                                             "precedente.")
                                  .arg(QDir::toNativeSeparators(dest));
                return c;
            }
            c.esito = CopiaServer::Esito::Fatta;
            c.file = dest;
            return c;
        }
        QFile::remove(tmp);
        const QByteArray err = e.errori;
        if (err.contains("server version mismatch") || err.contains("aborting because of server version mismatch")) {
            versioneDiversa = true;
            continue;
        }
        ultimoErrore = !e.avviato  ? QStringLiteral("pg_dump non si avvia")
                       : !e.finito ? QStringLiteral("pg_dump non ha finito in %1 minuti").arg(secondiMassimi / 60)
                                   : primaRiga(err);
        break;
    }
    if (versioneDiversa && ultimoErrore.isEmpty()) {
        c.esito = CopiaServer::Esito::NonDisponibile;
        c.messaggio = QStringLiteral("Lo strumento di copia del database server (pg_dump) installato è di una versione "
                                     "più vecchia del server: valgono le copie di sicurezza del server.");
        return c;
    }
    c.messaggio = QStringLiteral("Copia del database server non riuscita (%1): resta la copia precedente.").arg(ultimoErrore);
    return c;
}

bool avvisoServerDato()
{
    return readIniValue(fileImpostazioni(), sezione, chiave) == QLatin1String("1");
}

void segnaAvvisoServer()
{
    const QString file = fileImpostazioni();
    if (!paths::makePrivateFolder(QFileInfo(file).absolutePath()))
        return;
    const QByteArray testo = QStringLiteral("[%1]\n%2=1\n").arg(sezione, chiave).toUtf8();
    QSaveFile f(file);
    if (f.open(QIODevice::WriteOnly) && f.write(testo) == testo.size() && f.commit())
        paths::makePrivateFile(file);
}

} // namespace sz::startup
