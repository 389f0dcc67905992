#include "TestEnv.h"

#include <QRandomGenerator>

#include "Startup.h"
#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString serverAdmin()
{
    const QString admin = qEnvironmentVariable("SZ_TEST_PG_URI");
    if (admin.isEmpty())
        qFatal("SZ_TEST_DB=server needs SZ_TEST_PG_URI (make test starts a test server)");
    return admin;
}

} // namespace

TestEnv::TestEnv()
{
    m_oldHome = qgetenv("HOME");
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_oldData = qgetenv("XDG_DATA_HOME");
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/.local/share")));
    QDir().mkpath(documents());
    QDir().mkpath(configHome());
}

TestEnv::~TestEnv()
{
    for (const QString& name : std::as_const(m_serverDatabases)) {
        try {
            sz::db::Connection(serverAdmin()).exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
        } catch (const std::exception&) {
        }
    }
    qputenv("HOME", m_oldHome);
    if (m_oldConfig.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
    if (m_oldData.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", m_oldData);
}

QString TestEnv::documents() const
{
    return m_dir.path() + QStringLiteral("/Documents");
}

QString TestEnv::configHome() const
{
    return m_dir.path() + QStringLiteral("/.config");
}

bool TestEnv::onServer()
{
    return qEnvironmentVariable("SZ_TEST_DB") == QLatin1String("server");
}

QString TestEnv::createDefaultDatabase() const
{
    if (!onServer()) {
        const QString path = sz::paths::defaultDatabasePath();
        sz::db::Connection::createDatabase(path);
        return path;
    }
    const QString admin = serverAdmin();
    const QString name =
        QStringLiteral("szt_%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    sz::db::Connection(admin).exec(QStringLiteral("CREATE DATABASE %1").arg(name));
    m_serverDatabases << name;
    QUrl url(admin);
    url.setPath(QLatin1Char('/') + name);
    const QString uri = url.toString();
    QDir().mkpath(QFileInfo(sz::paths::configIniPath()).absolutePath());
    QFile ini(sz::paths::configIniPath());
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        ini.write("[ConnectionString]\nstrConn=" + uri.toUtf8() + "\n") <= 0)
        qFatal("Config.ini not written");
    ini.close();
    const QString root = sz::paths::dataRoot();
    for (const char* sub : {"DB", "Archivio", "Logo"})
        QDir().mkpath(root + QString::fromLatin1(sub));
    return uri;
}

QString TestEnv::installDatabase() const
{
    if (!onServer()) {
        sz::startup::installDefaults();
        return sz::paths::defaultDatabasePath();
    }
    // As with the file: a database already installed in this home is kept as it is.
    const QString configured = sz::paths::LoadConnection();
    if (!m_serverDatabases.isEmpty() && sz::db::Connection::isServerAddress(configured))
        return configured;
    const QString uri = createDefaultDatabase();
    sz::startup::installDefaults(); // the program's settings files; strConn is kept
    sz::startup::createInstalledDatabase(uri);
    return uri;
}

QString TestEnv::commandDatabase() const
{
    const QString tool = QStringLiteral("/Scadenzio");
    if (!onServer())
        return documents() + tool + QStringLiteral("/DB/gestionale.mdb");
    const QString uri = createDefaultDatabase();
    const QString ini = configHome() + tool + QStringLiteral("/Config/Config.ini");
    QDir().mkpath(QFileInfo(ini).absolutePath());
    QFile f(ini);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write("[ConnectionString]\nstrConn=" + uri.toUtf8() + "\n") <= 0)
        qFatal("the tool's Config.ini not written");
    return uri;
}

QString TestEnv::pdfText(const QString& pdf, int page)
{
    QStringList args{QStringLiteral("-layout")};
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l")
             << QString::number(page);
    args << pdf << QStringLiteral("-");
    QProcess p;
    p.start(QStringLiteral("pdftotext"), args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int TestEnv::pdfPages(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(30000);
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                       .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

TestEnv::CliRun TestEnv::runCli(const QStringList& args, const QString& workingDirectory)
{
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        bare.remove(QLatin1String(v));
    QProcess p;
    p.setProcessEnvironment(bare);
    if (!workingDirectory.isEmpty()) p.setWorkingDirectory(workingDirectory);
    p.start(QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli"), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray TestEnv::mutate(QByteArray b, QRandomGenerator& rng, const QByteArray& alphabet, int mostEdits,
                           bool copySpans)
{
    const int edits = 1 + int(rng.bounded(mostEdits));
    for (int e = 0; e < edits && !b.isEmpty(); ++e) {
        const int at = int(rng.bounded(b.size()));
        switch (rng.bounded(copySpans ? 4 : 3)) {
        case 0:
            b[at] = alphabet[rng.bounded(int(alphabet.size()))];
            break;
        case 1:
            b.insert(at, alphabet[rng.bounded(int(alphabet.size()))]);
            break;
        case 2:
            b.remove(at, 1 + int(rng.bounded(8)));
            break;
        default:
            b.insert(at, b.mid(int(rng.bounded(b.size())), 1 + int(rng.bounded(20))));
        }
    }
    return b;
}

int TestEnv::freeLocalPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}
