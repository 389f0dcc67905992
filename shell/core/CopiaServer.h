#pragma once

#include <QString>
#include <QStringList>

// The start-up copy of a server database: the file database is copied whole at every
// start; a server database is dumped with the server's own tool when a matching one is
// installed, and the last good dump is kept until a new one proves readable.
namespace sz::startup {

struct CopiaServer
{
    enum class Esito {
        Fatta,          // a new dump is in place
        NonDisponibile, // no dump tool, or none of the server's version: the server's own backups apply
        Fallita,        // the dump or its check failed: the previous dump stays
    };
    Esito esito = Esito::Fallita;
    QString file;      // the dump, when Fatta
    QString messaggio; // Italian, one line: why not (NonDisponibile, Fallita)
};

// The folders the tools are looked for in: PATH, then the version folders of
// /usr/lib/postgresql, newest first; only those of SZ_PG_BIN when it is set.
QStringList cartelleStrumentiServer();

// Dumps the database of uri (custom format) to backupFolder/DB/<database>.dump. The dump is
// written beside it, checked with pg_restore --list, and only then renamed over the last
// one. password, when not empty, goes to the tool through its environment, never its
// command line; otherwise ~/.pgpass applies. Never asks for anything (no terminal).
CopiaServer copiaDatabaseServer(const QString& uri, const QString& backupFolder, const QString& password = {},
                                int secondiMassimi = 1800);

// Whether the notice that the server's own backups apply was already given on this
// computer; segnaAvvisoServer() records that it was.
bool avvisoServerDato();
void segnaAvvisoServer();

} // namespace sz::startup
