#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"

#include <QDebug>
#include <QRandomGenerator>
#include <QUrl>
#include <QtTest>

// A database of its own on the test server (SZ_TEST_PG_URI, a throwaway cluster that
// make test starts), dropped when the test ends.
class ServerDatabase
{
public:
    ServerDatabase()
    {
        m_admin = qEnvironmentVariable("SZ_TEST_PG_URI");
        m_name = QStringLiteral("szt_%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        QUrl url(m_admin);
        url.setPath(QLatin1Char('/') + m_name);
        m_uri = url.toString();
        sz::db::Connection admin(m_admin);
        admin.exec(QStringLiteral("CREATE DATABASE %1").arg(m_name));
    }
    ~ServerDatabase()
    {
        try {
            sz::db::Connection admin(m_admin);
            admin.exec(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(m_name));
        } catch (const sz::Error& e) {
            qWarning().noquote() << "DROP DATABASE" << m_name << e.message();
        }
    }
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    const QString& uri() const { return m_uri; }
    const QString& admin() const { return m_admin; }

    static bool available() { return qEnvironmentVariableIsSet("SZ_TEST_PG_URI"); }

private:
    QString m_admin, m_name, m_uri;
};

#define NEED_SERVER()                                                                                              \
    if (!ServerDatabase::available())                                                                              \
        QSKIP("SZ_TEST_PG_URI non impostato: nessun server PostgreSQL di prova (make test ne avvia uno)");
