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
    bool ok() const { return true; } // a database that cannot be made throws

    static bool available() { return qEnvironmentVariableIsSet("SZ_TEST_PG_URI"); }

private:
    QString m_admin, m_name, m_uri;
};

// CI runs make test, which always starts the cluster: there a missing server is a failure.
#define NEED_SERVER()                                                                                              \
    if (!ServerDatabase::available()) {                                                                            \
        if (qEnvironmentVariableIsSet("CI"))                                                                       \
            QFAIL("SZ_TEST_PG_URI non impostato in CI: il server di prova non è arrivato ai test");              \
        QSKIP("SZ_TEST_PG_URI non impostato: nessun server PostgreSQL di prova (make test ne avvia uno)");        \
    }
