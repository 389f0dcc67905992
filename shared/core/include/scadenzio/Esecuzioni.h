#pragma once

#include "scadenzio/Export.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace sz::db {
class Connection;
}

// Letter runs: the lock that lets one run at a time make letters, on every workstation
// that shares the database, and the record of each run (t_esecuzioni).
namespace sz::esecuzioni {

// ---- the lock --------------------------------------------------------------------------

// Who holds a lock, as its row in t_blocchi says.
struct SZ_CORE_EXPORT Titolare
{
    QString postazione; // "host (user)"
    QString host;
    QString utente;
    qint64 processo = 0;
    QDateTime inizio;
    QDateTime aggiornato; // the last time the holder said it was alive
};

// A lock not refreshed for this long is taken over whatever its process: a run refreshes
// it after each letter, and no letter takes this long. On the same host a lock whose
// process is gone is taken over at once.
constexpr int minutiBloccoScaduto = 30;

// The name of the lock every letter run takes.
SZ_CORE_EXPORT extern const QString BloccoSolleciti; // "SOLLECITI"

// "Invio già in corso su POSTAZIONE dal dd/mm/yyyy alle HH:mm."
SZ_CORE_EXPORT QString messaggioOccupato(const Titolare& titolare);

// A held lock, released when destroyed (or by rilascia). Taking and taking over happen in
// one write transaction, so two processes never both believe they hold it.
class SZ_CORE_EXPORT Blocco
{
public:
    Blocco(db::Connection& conn, const QString& nome = BloccoSolleciti);
    ~Blocco();
    Blocco(const Blocco&) = delete;
    Blocco& operator=(const Blocco&) = delete;

    // True when this process now holds the lock (free, stale, or already ours). False with
    // the holder in *occupato when someone else holds it.
    bool prendi(Titolare* occupato = nullptr);
    // Says the holder is still alive; nothing when not held.
    void rinnova();
    // Frees the lock when held by this object; never throws.
    void rilascia() noexcept;
    bool preso() const { return m_preso; }

private:
    db::Connection& m_conn;
    QString m_nome;
    bool m_preso = false;
    bool m_serverLock = false; // the server's lock of the connection is held
};

// The holder of a lock, when one holds it and it is not stale.
SZ_CORE_EXPORT bool occupato(db::Connection& conn, Titolare* titolare, const QString& nome = BloccoSolleciti);

// ---- the record of the runs -------------------------------------------------------------

// How a run was started.
SZ_CORE_EXPORT extern const QString AvvioTimer;    // "TIMER"
SZ_CORE_EXPORT extern const QString AvvioComando;  // "COMANDO"
SZ_CORE_EXPORT extern const QString AvvioFinestra; // "FINESTRA"

struct SZ_CORE_EXPORT Esecuzione
{
    qint64 id = 0;
    QDateTime inizio, fine; // fine is null while running or when the run was stopped
    QString postazione;
    QString avvio;  // AvvioTimer, AvvioComando, AvvioFinestra
    QString modo;   // "DOCUMENTO" or "CLIENTE"
    QString canale; // "MAIL" or "PDF"
    int create = 0, inviate = 0, nonInviate = 0;
    QStringList errori;
    // "COMPLETATA", "CON ERRORI", "INTERROTTA"; "IN CORSO" until it ends.
    QString esito;
};

// Writes the row of a run that starts now ("IN CORSO") and returns its ID.
SZ_CORE_EXPORT qint64 apri(db::Connection& conn, const QString& avvio, const QString& modo, const QString& canale);
// What the run did so far, while it goes on: a run stopped halfway keeps these figures.
SZ_CORE_EXPORT void avanza(db::Connection& conn, qint64 id, int create, int inviate, int nonInviate,
                           const QStringList& errori);
// Writes what the run did and its end. esito empty: "COMPLETATA" without errors,
// "CON ERRORI" with.
SZ_CORE_EXPORT void chiudi(db::Connection& conn, qint64 id, int create, int inviate, int nonInviate,
                           const QStringList& errori, const QString& esito = QString());
// Marks "INTERROTTA" every run still "IN CORSO" that no held lock accounts for (its
// process was killed, the computer switched off); apri does it first. Returns how many.
SZ_CORE_EXPORT int segnaInterrotte(db::Connection& conn);
// The last n runs, newest first (n <= 0: all); a run "IN CORSO" that no held lock accounts
// for reads "INTERROTTA".
SZ_CORE_EXPORT QList<Esecuzione> ultime(db::Connection& conn, int n);

} // namespace sz::esecuzioni
