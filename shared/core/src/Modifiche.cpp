#include "scadenzio/Modifiche.h"

#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"

#include <QCoreApplication>
#include <QHash>
#include <QSysInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <libpq-fe.h>
#include <unistd.h>

namespace sz::db {

const char* const CanaleModifiche = "sz_modifiche";

const QStringList& tabelleOsservate()
{
    static const QStringList t = {QStringLiteral("t_crediti"), QStringLiteral("t_clienti"),
                                  QStringLiteral("t_parametri"), QStringLiteral("t_comunicazioni")};
    return t;
}

QString nomeApplicazione()
{
    static const QString nome = [] {
        const QString host = QSysInfo::machineHostName();
        QString n = QStringLiteral("Scadenzio %1@%2").arg(::getpid()).arg(host);
        QByteArray u = n.toUtf8();
        // Cut on a character, never inside one.
        while (u.size() > 63) {
            n.chop(1);
            u = n.toUtf8();
        }
        return n;
    }();
    return nome;
}

struct OsservatoreModifiche::Dati
{
    QString uri, password;
    PGconn* conn = nullptr;
    QSocketNotifier* notifier = nullptr;
    QTimer* riprova = nullptr;
    bool persa = false; // the connection was lost: changes may have gone unheard

    void chiudi()
    {
        delete notifier;
        notifier = nullptr;
        if (conn)
            PQfinish(conn);
        conn = nullptr;
    }
};

OsservatoreModifiche* OsservatoreModifiche::perDatabase(const QString& strConn, const QString& password)
{
    static QHash<QString, OsservatoreModifiche*> tutti;
    const QString chiave = strConn.isEmpty() ? paths::LoadConnection() : strConn;
    auto it = tutti.find(chiave);
    if (it == tutti.end())
        it = tutti.insert(chiave, new OsservatoreModifiche(
                                      chiave, password.isEmpty() ? Connection::sessionServerPassword() : password,
                                      QCoreApplication::instance()));
    return *it;
}

OsservatoreModifiche::OsservatoreModifiche(const QString& strConn, const QString& password, QObject* parent)
    : QObject(parent), d(std::make_unique<Dati>())
{
    if (!Connection::isServerAddress(strConn))
        return;
    d->uri = strConn;
    d->password = password;
    d->riprova = new QTimer(this);
    d->riprova->setInterval(30000);
    connect(d->riprova, &QTimer::timeout, this, [this] { collega(); });
    collega();
}

OsservatoreModifiche::~OsservatoreModifiche()
{
    d->chiudi();
}

bool OsservatoreModifiche::inAscolto() const
{
    return d->conn && PQstatus(d->conn) == CONNECTION_OK;
}

void OsservatoreModifiche::collega()
{
    d->chiudi();
    const QByteArray uri = d->uri.toUtf8(), password = d->password.toUtf8(),
                     nome = (nomeApplicazione() + QStringLiteral(" avvisi")).left(63).toUtf8();
    const char* keys[] = {"connect_timeout", "dbname", "client_encoding", "application_name",
                          password.isEmpty() ? nullptr : "password", nullptr};
    const char* values[] = {"10", uri.constData(), "UTF8", nome.constData(), password.constData(), nullptr};
    d->conn = PQconnectdbParams(keys, values, 1);
    bool ok = d->conn && PQstatus(d->conn) == CONNECTION_OK;
    if (ok) {
        PGresult* r = PQexec(d->conn, (QByteArray("LISTEN ") + CanaleModifiche).constData());
        ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
    }
    if (!ok) {
        // The lists work without the notices; the next attempt comes by itself.
        d->chiudi();
        d->persa = true;
        d->riprova->start();
        return;
    }
    d->riprova->stop();
    d->notifier = new QSocketNotifier(PQsocket(d->conn), QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] { leggi(); });
    if (d->persa) {
        d->persa = false;
        emit modificate(tabelleOsservate());
    }
}

void OsservatoreModifiche::leggi()
{
    if (!d->conn)
        return;
    if (!PQconsumeInput(d->conn) || PQstatus(d->conn) != CONNECTION_OK) {
        d->chiudi();
        d->persa = true;
        d->riprova->start();
        return;
    }
    const QString io = nomeApplicazione();
    QStringList tabelle;
    while (PGnotify* n = PQnotifies(d->conn)) {
        // "tabella|application_name of the writer"; anything else is not ours to read.
        const QString testo = QString::fromUtf8(n->extra);
        PQfreemem(n);
        const qsizetype bar = testo.indexOf(QLatin1Char('|'));
        if (bar <= 0)
            continue;
        const QString scrittore = testo.mid(bar + 1);
        if (scrittore == io)
            continue; // our own save: the list that made it already shows it
        for (const QString& t : tabelleOsservate())
            if (t.compare(testo.left(bar), Qt::CaseInsensitive) == 0 && !tabelle.contains(t))
                tabelle << t;
    }
    if (!tabelle.isEmpty())
        emit modificate(tabelle);
}

} // namespace sz::db
