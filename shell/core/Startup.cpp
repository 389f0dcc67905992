#include "Startup.h"

#include "CopiaServer.h"
#include "Schema.h"
#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Ini.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

namespace sz::startup {

namespace {

// A copy written beside its target, private from the start, and put in place in one step.
bool copyFile(const QString& from, const QString& to)
{
    const QString tmp = to + QStringLiteral(".tmp");
    QFile::remove(tmp);
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly) || !paths::createPrivateFile(tmp))
        return false;
    QFile out(tmp);
    bool ok = out.open(QIODevice::WriteOnly);
    while (ok && !in.atEnd()) {
        const QByteArray chunk = in.read(1 << 16);
        ok = in.error() == QFileDevice::NoError && out.write(chunk) == chunk.size();
    }
    ok = out.flush() && ok;
    out.close();
    if (!ok || std::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(to).constData()) != 0) {
        QFile::remove(tmp);
        return false;
    }
    return true;
}

bool looksLikeDatabase(const QString& path)
{
    return path.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive);
}

// What the engine keeps beside a database while it writes (rollback journal, write-ahead
// log and its index, super-journal) and the half-written copies of an interrupted backup.
// None of them is data of its own, and a journal lying beside a copy would be played
// into that copy when it is opened, leaving it "malformed".
bool isCompanionFile(const QString& fileName)
{
    static const QRegularExpression re(QStringLiteral("(-journal|-wal|-shm|-mj[0-9a-f]+|\\.tmp)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(fileName).hasMatch();
}

void removeCompanionFiles(const QString& folder)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (isCompanionFile(it.fileName()))
            QFile::remove(path);
    }
}

// A database that cannot be read is never copied over its last good backup: that backup
// stays, and the damaged file is kept beside it under another name for whoever can
// still recover something from it.
QString keepDamaged(const QString& source, const QString& backup, const QString& reason)
{
    const QString damaged = backup + QStringLiteral(".danneggiato");
    const bool previous = QFileInfo(backup).isFile();
    const bool copied = copyFile(source, damaged);
    QString text = QStringLiteral("ATTENZIONE: il database \"%1\" non si può leggere per intero, quindi non ne è "
                                  "stata fatta la copia di backup. ")
                       .arg(source);
    if (previous)
        text += QStringLiteral("La copia precedente \"%1\" è stata conservata").arg(backup);
    else
        text += QStringLiteral("Non esiste una copia precedente");
    if (copied)
        text += QStringLiteral("; il file danneggiato è stato copiato accanto come \"%1\".").arg(damaged);
    else
        text += QStringLiteral("; non è stato possibile copiare il file danneggiato in \"%1\".").arg(damaged);
    return text + QStringLiteral(" Dettagli: ") + reason + QLatin1Char('.');
}

} // namespace

namespace {

// Every window reads and writes the one row of the mail settings: a database without it
// (a new server database, say) gets an empty one.
void ensureMailSettingsRow(db::Connection& conn)
{
    if (conn.scalar(QStringLiteral("SELECT COUNT(*) FROM t_ISP")).toLongLong() == 0)
        conn.exec(QStringLiteral("INSERT INTO t_ISP (SMTP, \"User\", Pass, Port, TLS, SSL, InvioMailAutomatico) "
                                 "VALUES (NULL, NULL, NULL, NULL, 0, 0, 0)"));
}

} // namespace

void createInstalledDatabase(const QString& path)
{
    // A server database is made by its administrator; only a file is made here.
    const bool server = db::Connection::isServerAddress(path);
    if (!server)
        db::Connection::createDatabase(path);
    try {
        db::Connection conn(path);
        schema::upgrade(conn);
        ensureMailSettingsRow(conn);
    } catch (...) {
        if (!server)
            QFile::remove(path);
        throw;
    }
}

void installDefaults()
{
    const QString defaults = paths::programFolder() + QStringLiteral("Config/");
    const QString target = paths::settingsRoot() + QStringLiteral("Config/");
    paths::makePrivateFolder(target);
    const QDir dir(defaults);
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (!QFileInfo::exists(target + name))
            copyFile(defaults + name, target + name);
    }

    const QString configured =
        readIniValue(paths::configIniPath(), QStringLiteral("ConnectionString"), QStringLiteral("strConn"));
    if (!configured.isEmpty())
        return;
    const QString root = paths::dataRoot();
    for (const char* sub : {"DB", "Archivio", "Logo"})
        paths::makePrivateFolder(root + QString::fromLatin1(sub));
    const QString db = paths::defaultDatabasePath();
    if (!QFileInfo::exists(db))
        createInstalledDatabase(db);
}

bool copyFolder(const QString& source, const QString& backupFolder, QStringList* problems)
{
    const QFileInfo src(source);
    if (!src.isDir())
        return false;
    const QString destRoot = QDir(backupFolder).filePath(src.fileName());
    if (!paths::makePrivateFolder(destRoot))
        return false;
    removeCompanionFiles(destRoot);
    bool ok = true;
    const QDir srcDir(src.absoluteFilePath());
    QDirIterator it(src.absoluteFilePath(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString dest = destRoot + QLatin1Char('/') + srcDir.relativeFilePath(path);
        if (info.isDir()) {
            ok = paths::makePrivateFolder(dest) && ok;
            continue;
        }
        if (isCompanionFile(info.fileName()))
            continue;
        if (looksLikeDatabase(path)) {
            try {
                // Opening it first plays a journal left by a crashed writer back into it.
                db::Connection conn(path);
                conn.backupTo(dest);
            } catch (const db::DatabaseError& e) {
                ok = false;
                if (e.fault() == db::DatabaseError::Fault::Damaged && problems)
                    problems->push_back(keepDamaged(path, dest, e.message()));
            } catch (const Error&) {
                // Busy too long, or the backup side cannot be written: the last copy stays.
                ok = false;
            }
            continue;
        }
        ok = copyFile(path, dest) && ok;
    }
    return ok;
}

bool Execute(const Progress& progress)
{
    progress.step(QStringLiteral("Inizializzazione..."), 500);
    const QString backup = paths::dataRoot() + QStringLiteral("Backup");
    QDir().mkdir(backup, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    bool ok = true;
    QStringList problems;
    progress.step(QStringLiteral("Creazione copie di backup [Archivio]"), 0);
    copyFolder(paths::dataRoot() + QStringLiteral("Archivio"), backup, &problems);
    progress.step(QStringLiteral("Creazione copie di backup [DataBase]"), 0);
    copyFolder(paths::dataRoot() + QStringLiteral("DB"), backup, &problems);
    if (const QString strConn = paths::LoadConnection(); db::Connection::isServerAddress(strConn)) {
        const CopiaServer copia = copiaDatabaseServer(strConn, backup, db::Connection::sessionServerPassword());
        if (copia.esito == CopiaServer::Esito::Fallita) {
            problems << copia.messaggio;
        } else if (copia.esito == CopiaServer::Esito::NonDisponibile && !avvisoServerDato()) {
            // Said once: on a workstation without the tool it would otherwise greet every start.
            progress.error(copia.messaggio);
            segnaAvvisoServer();
        }
    }
    progress.step(QStringLiteral("Creazione copie di backup [Logo]"), 0);
    copyFolder(paths::dataRoot() + QStringLiteral("Logo"), backup, &problems);
    progress.step(QStringLiteral("Creazione copie di backup [Config]"), 0);
    copyFolder(paths::settingsRoot() + QStringLiteral("Config"), backup, &problems);
    for (const QString& p : problems) {
        ok = false;
        progress.error(p);
    }

    progress.step(QStringLiteral("Verifica struttura DataBase..."), 0);
    if (progress.processEvents)
        progress.processEvents();
    try {
        db::Connection conn(paths::LoadConnection());
        schema::upgrade(conn);
        ensureMailSettingsRow(conn);
    } catch (const Error& e) {
        ok = false;
        progress.error(commonErrorMessage(e.message()));
    } catch (const std::exception& e) {
        ok = false;
        progress.error(commonErrorMessage(QString::fromLocal8Bit(e.what())));
    }

    progress.step(QStringLiteral("Finalizzazione..."), 140);
    return ok;
}

} // namespace sz::startup
