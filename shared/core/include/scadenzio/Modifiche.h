#pragma once

#include "scadenzio/Export.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace sz::db {

// The channel the server's triggers speak on, and the tables whose changes an open list of
// another workstation wants to hear of: credits, clients, the dunning thresholds and the
// letter templates.
SZ_CORE_EXPORT extern const char* const CanaleModifiche;
SZ_CORE_EXPORT const QStringList& tabelleOsservate();

// How this process names itself to the server: the workstation and the process, so that a
// change it made itself is not announced back to it (and so the server's administrator
// sees who is connected). At most 63 bytes, as the server keeps it.
SZ_CORE_EXPORT QString nomeApplicazione();

// Hears the changes other workstations make to the watched tables of a server database,
// on a connection of its own (the frames' connections are busy with statements). A file
// database has no other workstation: the watcher stays silent. The server sends nothing
// twice and keeps nothing for a listener that was away: after a lost connection it listens
// again, and says once that something may have changed meanwhile.
class SZ_CORE_EXPORT OsservatoreModifiche : public QObject
{
    Q_OBJECT
public:
    // The one watcher of this process for the database of strConn (LoadConnection() when
    // empty); created on first use, lives as long as the application.
    static OsservatoreModifiche* perDatabase(const QString& strConn = QString(), const QString& password = QString());

    OsservatoreModifiche(const QString& strConn, const QString& password, QObject* parent = nullptr);
    ~OsservatoreModifiche() override;

    bool inAscolto() const;

signals:
    // The tables changed elsewhere since the last signal, each once, as the program spells them.
    void modificate(const QStringList& tabelle);

private:
    struct Dati;
    std::unique_ptr<Dati> d;
    void collega();
    void leggi();
};

} // namespace sz::db
