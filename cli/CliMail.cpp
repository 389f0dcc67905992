#include "CliMail.h"

#include "IspLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"
#include "scadenzio/mail/Address.h"
#include "scadenzio/mail/Transport.h"

namespace sz::cli {

int runMail(const QStringList& args, const Output& io)
{
    if (args != QStringList{QStringLiteral("test")}) {
        io.err(QStringLiteral("Uso:\n  scadenzio-cli mail test"));
        return 2;
    }
    try {
        db::Connection conn(paths::LoadConnection());
        const mail::Server server = mail::storedServer(conn);
        const QString address =
            conn.scalar(QStringLiteral("SELECT Mail FROM t_societa ORDER BY ID")).toString();
        // Said in the settings' own words rather than as whatever the server makes of it.
        if (server.host.trimmed().isEmpty())
            throw Error(QStringLiteral("il server della posta in uscita (SMTP) non è impostato "
                                       "(Impostazioni - Email e Connessione)"));
        if (address.isEmpty())
            throw Error(QStringLiteral("la mail in uso non è impostata (Impostazioni - Email e Connessione)"));
        if (const QString problema = mail::problemaMittente(address); !problema.isEmpty())
            throw Error(problema + QStringLiteral(" (Impostazioni - Email e Connessione)"));
        mail::send(server, mailserver::testMessage(address, server.host));
    } catch (const Error& e) {
        io.err(mailserver::testFailureText(e));
        return 1;
    }
    io.out(mailserver::testSuccessText() + QLatin1Char('\n'));
    return 0;
}

} // namespace sz::cli
