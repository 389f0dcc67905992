#include "AccessoServer.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"

#include <QUrl>

namespace sz::startup {

QString domandaPassword(const QString& strConn)
{
    const QUrl url(strConn.trimmed());
    QString utente = url.userName();
    if (utente.isEmpty())
        utente = qEnvironmentVariable("PGUSER", qEnvironmentVariable("USER"));
    QString server = url.host();
    if (server.isEmpty())
        server = QStringLiteral("localhost");
    return QStringLiteral("Password dell'utente %1 sul server del database %2:").arg(utente, server);
}

bool accediServer(const QString& strConn, const ChiediPassword& chiedi)
{
    if (!db::Connection::isServerAddress(strConn))
        return true;
    QString errore;
    for (int tentativo = 0; tentativo <= 3; ++tentativo) {
        if (tentativo > 0) {
            const std::optional<QString> parola = chiedi(domandaPassword(strConn), errore);
            if (!parola)
                return false;
            db::Connection::setSessionServerPassword(*parola);
        }
        try {
            db::Connection prova(strConn);
            return true;
        } catch (const db::DatabaseError& e) {
            if (!e.isAuthentication())
                return true;
            errore = e.message();
        } catch (const Error&) {
            return true;
        }
    }
    db::Connection::setSessionServerPassword({});
    return false;
}

} // namespace sz::startup
