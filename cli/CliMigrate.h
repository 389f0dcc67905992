#pragma once

#include "CliDunning.h"

// "migrate --to URI": the encrypted file in use copied into an empty PostgreSQL database, checked
// table by table and only then made the database of Config.ini. "migrate --from URI": the server's
// data back into a new encrypted file, with the same checks.
namespace sz::cli {

// args after "migrate". 0 copied, checked and Config.ini changed; 1 the copy did not match (the
// differences on standard error, Config.ini as it was); 2 refused, failed or wrong usage.
int runMigrate(const QStringList& args, const Output& io);

// Why the tool will not store this server address, or empty when it will: only postgresql:// and
// postgres:// addresses, never one holding a password.
QString serverUriProblem(const QString& uri);

// Sets strConn of section ConnectionString in the INI file, every other line kept as it was
// (a missing section or key is added). The new file is written beside the old one and renamed
// over it, keeping its permissions. Throws sz::Error.
void writeConnectionString(const QString& iniPath, const QString& value);

} // namespace sz::cli
