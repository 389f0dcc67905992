#pragma once

#include <QString>
#include <functional>
#include <optional>

// The password of a server database, asked at start when libpq's ~/.pgpass (or PGPASSWORD)
// does not give one the server accepts. It stays in this process's memory only.
namespace sz::startup {

// Asks the clerk: the question and, after a refusal, the server's reason. Nothing: the
// clerk gave up.
using ChiediPassword = std::function<std::optional<QString>(const QString& domanda, const QString& errore)>;

// For a server strConn, tries to connect; on a refused user or password asks (up to three
// times) and keeps the accepted password for every connection of the process. True when
// the start may go on: connected, a file database, or a failure that is not about the
// password (the start's own steps then report it). False when the clerk gave up or three
// passwords were refused.
bool accediServer(const QString& strConn, const ChiediPassword& chiedi);

// "Password dell'utente scadenzio sul server db.ditta.lan:", the address never with a password.
QString domandaPassword(const QString& strConn);

} // namespace sz::startup
