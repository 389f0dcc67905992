#include "InstanceMarkers.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int holdSharedLock(const QString& path)
{
    const QByteArray p = QFile::encodeName(path);
    const int fd = ::open(p.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    ::fchmod(fd, 0666); // any user's process may open it, as the marker is meant for everybody
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

InstanceMarkers::InstanceMarkers(const QString& name)
{
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    m_local = holdSharedLock(runtime + QLatin1Char('/') + name + QStringLiteral(".lock"));
    m_global = holdSharedLock(QStringLiteral("/tmp/Global-") + name + QStringLiteral(".lock"));
}

InstanceMarkers::~InstanceMarkers()
{
    if (m_local >= 0)
        ::close(m_local);
    if (m_global >= 0)
        ::close(m_global);
}
