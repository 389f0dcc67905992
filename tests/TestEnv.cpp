#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"
#include "Startup.h"

#include <QDir>
#include <QFile>

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

QString TestEnv::createDefaultDatabase() const
{
    const QString path = sz::paths::defaultDatabasePath();
    sz::db::Connection::createDatabase(path);
    return path;
}

QString TestEnv::installDatabase() const
{
    sz::startup::installDefaults();
    return sz::paths::defaultDatabasePath();
}

