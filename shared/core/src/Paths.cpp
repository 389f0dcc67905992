#include "scadenzio/Paths.h"

#include "scadenzio/Error.h"
#include "scadenzio/Ini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sz::paths {

namespace {

QString withSlash(QString p)
{
    if (!p.endsWith(QLatin1Char('/')))
        p += QLatin1Char('/');
    return p;
}

} // namespace

QString programFolder()
{
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    return withSlash(QFileInfo(exe.canonicalFilePath()).absolutePath());
}

QString programName()
{
    QString folder = programFolder();
    folder.chop(1);
    return QFileInfo(folder).fileName();
}

QString settingsRoot()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return withSlash(base) + programName() + QLatin1Char('/');
}

QString dataRoot()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty() || !QDir::isAbsolutePath(docs))
        throw Error(QStringLiteral("Could not find MyDocuments folder location."));
    return withSlash(docs) + programName() + QLatin1Char('/');
}

QString configIniPath()
{
    return settingsRoot() + QStringLiteral("Config/Config.ini");
}

QString packToLoadIniPath()
{
    return settingsRoot() + QStringLiteral("Config/PackToLoad.ini");
}

QString defaultDatabasePath()
{
    return dataRoot() + QStringLiteral("DB/gestionale.mdb");
}

QString LoadConnection()
{
    const QString value = readIniValue(configIniPath(), QStringLiteral("ConnectionString"), QStringLiteral("strConn"));
    if (value.isEmpty())
        return defaultDatabasePath();
    return value;
}

bool makePrivateFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).absolutePath();
    if (parent != clean && !makePrivateFolder(parent))
        return false;
    if (::mkdir(QFile::encodeName(clean).constData(), S_IRWXU) == 0)
        return true;
    return errno == EEXIST && QFileInfo(clean).isDir();
}

bool createPrivateFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool makePrivateFile(const QString& path)
{
    return ::chmod(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR) == 0;
}

bool isNetworkPath(const QString& path)
{
    return path.startsWith(QStringLiteral("//")) || path.startsWith(QStringLiteral("\\\\"));
}

} // namespace sz::paths
