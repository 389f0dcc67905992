#pragma once

#include "scadenzio/Export.h"

#include <QString>

// The three folders of the program. Each is resolved afresh on every call, so a
// change of environment (a test's temporary HOME) is seen at once. Every folder
// returned ends with "/".
namespace sz::paths {

// The folder of the running executable, symlinks resolved.
SZ_CORE_EXPORT QString programFolder();
// The bare name of the program folder: per-user folders are named after it.
SZ_CORE_EXPORT QString programName();
// $XDG_CONFIG_HOME (or ~/.config) + N: holds Config/.
SZ_CORE_EXPORT QString settingsRoot();
// The documents folder + N: holds DB/, Archivio/, Logo/, Backup/.
// Throws sz::Error("Could not find MyDocuments folder location.") when there is none.
SZ_CORE_EXPORT QString dataRoot();

SZ_CORE_EXPORT QString configIniPath();     // settings root + Config/Config.ini
SZ_CORE_EXPORT QString packToLoadIniPath(); // settings root + Config/PackToLoad.ini
SZ_CORE_EXPORT QString defaultDatabasePath(); // data root + DB/gestionale.mdb

// The database path: strConn of section ConnectionString of Config.ini, or the
// default path when that is empty or absent.
SZ_CORE_EXPORT QString LoadConnection();

// The register's folders and files are their owner's alone (0700 and 0600): the other
// users of the computer must not read them.
// Like QDir::mkpath, but every folder it has to create is made 0700.
SZ_CORE_EXPORT bool makePrivateFolder(const QString& path);
// A new, empty file made 0600; false when it exists already or cannot be made.
SZ_CORE_EXPORT bool createPrivateFile(const QString& path);
// Makes an existing file 0600 (a copied settings file takes its source's permissions).
SZ_CORE_EXPORT bool makePrivateFile(const QString& path);

// A path on a file server (two leading slashes or backslashes): the logo cannot be
// changed from such a workstation.
SZ_CORE_EXPORT bool isNetworkPath(const QString& path);

} // namespace sz::paths
