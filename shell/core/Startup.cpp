#include "Startup.h"

#include "Schema.h"
#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Ini.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace sz::startup {

namespace {

bool copyFile(const QString& from, const QString& to)
{
    QFile::remove(to + QStringLiteral(".tmp"));
    if (!QFile::copy(from, to + QStringLiteral(".tmp")))
        return false;
    QFile::setPermissions(to + QStringLiteral(".tmp"), QFile::permissions(from) | QFileDevice::WriteOwner);
    QFile::remove(to);
    return QFile::rename(to + QStringLiteral(".tmp"), to);
}

bool looksLikeDatabase(const QString& path)
{
    return path.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive);
}

} // namespace

void createInstalledDatabase(const QString& path)
{
    db::Connection::createDatabase(path);
    try {
        db::Connection conn(path);
        schema::upgrade(conn);
        conn.exec(QStringLiteral("INSERT INTO t_ISP (SMTP, \"User\", Pass, Port, TLS, InvioMailAutomatico) "
                                 "VALUES (NULL, NULL, NULL, NULL, 0, 0)"));
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

void installDefaults()
{
    const QString defaults = paths::programFolder() + QStringLiteral("Config/");
    const QString target = paths::settingsRoot() + QStringLiteral("Config/");
    QDir().mkpath(target);
    const QDir dir(defaults);
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (!QFileInfo::exists(target + name))
            QFile::copy(defaults + name, target + name);
    }

    const QString configured =
        readIniValue(paths::configIniPath(), QStringLiteral("ConnectionString"), QStringLiteral("strConn"));
    if (!configured.isEmpty())
        return;
    const QString root = paths::dataRoot();
    for (const char* sub : {"DB", "Archivio", "Logo"})
        QDir().mkpath(root + QString::fromLatin1(sub));
    const QString db = paths::defaultDatabasePath();
    if (!QFileInfo::exists(db))
        createInstalledDatabase(db);
}

bool copyFolder(const QString& source, const QString& backupFolder)
{
    const QFileInfo src(source);
    if (!src.isDir())
        return false;
    const QString destRoot = QDir(backupFolder).filePath(src.fileName());
    bool ok = QDir().mkpath(destRoot);
    if (!ok)
        return false;
    const QDir srcDir(src.absoluteFilePath());
    QDirIterator it(src.absoluteFilePath(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString dest = destRoot + QLatin1Char('/') + srcDir.relativeFilePath(path);
        if (info.isDir()) {
            ok = QDir().mkpath(dest) && ok;
            continue;
        }
        if (looksLikeDatabase(path)) {
            try {
                db::Connection conn(path);
                conn.backupTo(dest);
                continue;
            } catch (const Error&) {
                // Not one of ours (or unreadable now): a plain copy is the best we can do.
            }
        }
        ok = copyFile(path, dest) && ok;
    }
    return ok;
}

bool Execute(const Progress& progress)
{
    progress.step(QStringLiteral("Inizializzazione..."), 500);
    const QString backup = paths::dataRoot() + QStringLiteral("Backup");
    QDir().mkdir(backup);

    progress.step(QStringLiteral("Creazione copie di backup [Archivio]"), 0);
    copyFolder(paths::dataRoot() + QStringLiteral("Archivio"), backup);
    progress.step(QStringLiteral("Creazione copie di backup [DataBase]"), 0);
    copyFolder(paths::dataRoot() + QStringLiteral("DB"), backup);
    progress.step(QStringLiteral("Creazione copie di backup [Logo]"), 0);
    copyFolder(paths::dataRoot() + QStringLiteral("Logo"), backup);
    progress.step(QStringLiteral("Creazione copie di backup [Config]"), 0);
    copyFolder(paths::settingsRoot() + QStringLiteral("Config"), backup);

    progress.step(QStringLiteral("Verifica struttura DataBase..."), 0);
    if (progress.processEvents)
        progress.processEvents();
    bool ok = true;
    try {
        db::Connection conn(paths::LoadConnection());
        schema::upgrade(conn);
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
