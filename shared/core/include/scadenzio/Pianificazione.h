#pragma once

#include "scadenzio/Export.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace sz::db {
class Connection;
}

// The daily unattended run, scheduled on the user's own systemd: a timer that starts a
// oneshot service every working day at the chosen time. Where the user's systemd cannot
// be reached, the equivalent crontab line is given to the user, never written for them.
namespace sz::pianificazione {

SZ_CORE_EXPORT extern const QString NomeServizio; // "scadenzio-giornaliero.service"
SZ_CORE_EXPORT extern const QString NomeTimer;    // "scadenzio-giornaliero.timer"

// "HH:MM" from 00:00 to 23:59 (one hour digit is accepted); nullopt for anything else.
SZ_CORE_EXPORT std::optional<QTime> leggiOra(const QString& testo);
// "ATTENZIONE: l'orario "…" non è valido: indicare ore e minuti come HH:MM, da 00:00 a 23:59."
SZ_CORE_EXPORT QString messaggioOraNonValida(const QString& testo);

// $XDG_CONFIG_HOME/systemd/user/ (or ~/.config/systemd/user/), ending with "/".
SZ_CORE_EXPORT QString cartellaUnita();
// The program folder's scadenzio-cli, which the service starts ($SZ_CLI in tests).
SZ_CORE_EXPORT QString percorsoCli();
// The systemctl that is run ($SZ_SYSTEMCTL in tests; else systemctl from PATH).
SZ_CORE_EXPORT QString programmaSystemctl();

// The texts of the two unit files. The program path is quoted for systemd, so blanks, %
// and $ in it reach the program as they are (quotes and backslashes systemd refuses in a
// program's path: installa says so). A $XDG_CONFIG_HOME of this session is handed to
// the run, so it reads the same settings and database.
SZ_CORE_EXPORT QString testoServizio(const QString& cli);
SZ_CORE_EXPORT QString testoTimer(QTime ora);
// "MM HH * * 1-5 '/path/scadenzio-cli' dunning run --timer", quoted for the shell and
// with cron's % escaped.
SZ_CORE_EXPORT QString rigaCrontab(QTime ora, const QString& cli);
// The time an installed timer's OnCalendar names; nullopt when the text holds none.
SZ_CORE_EXPORT std::optional<QTime> oraDelTimer(const QString& testoTimer);

// What an action on the schedule came to.
struct SZ_CORE_EXPORT Esito
{
    bool ok = false;
    // The user's systemd could not be reached: nothing was installed; crontab holds the
    // line that does the same, messaggio says so.
    bool systemdAssente = false;
    QString messaggio; // Italian, for the user: what was done, or what went wrong
    QString crontab;
};

// Writes both unit files (each atomically), reloads the user manager and enables and
// starts the timer; a timer already there is rewritten and restarted, so a new time
// takes effect at once. When systemctl refuses, the files are put back as they were.
SZ_CORE_EXPORT Esito installa(QTime ora);
// Disables and stops the timer, deletes both files, reloads. Nothing installed: ok.
SZ_CORE_EXPORT Esito rimuovi();
// installa when wanted and the installed timer is not exactly the one wanted (missing,
// another time, another program path, not enabled or not active); rimuovi when not
// wanted and installed; otherwise nothing, and no systemctl at all when not wanted.
SZ_CORE_EXPORT Esito allinea(bool attivo, QTime ora);

struct SZ_CORE_EXPORT Stato
{
    bool installato = false; // the timer file is there
    std::optional<QTime> ora; // from the timer file
    bool raggiungibile = false; // the user's systemd answered
    bool abilitato = false;    // enabled: started with the session
    bool attivo = false;       // the timer is running
    QDateTime prossimo, ultimo; // next and last trigger, null when unknown or never
    QString dettaglio;          // why systemd was not reachable, in its own words
};
SZ_CORE_EXPORT Stato stato();
// One Italian sentence about the state, for the page and the command line.
SZ_CORE_EXPORT QString descrizione(const Stato& s);

// The settings of the daily run in t_ISP.
struct SZ_CORE_EXPORT Impostazioni
{
    QTime ora = QTime(8, 30);
    bool perCliente = false;
    bool mail = true; // InvioMailAutomatico: mail the letters, or PDF only
    bool attivo = false;
};
// The stored settings; defaults where the row or a value is missing or unreadable.
SZ_CORE_EXPORT Impostazioni leggiImpostazioni(db::Connection& conn);
// Writes the four columns into the settings row (made when there is none).
SZ_CORE_EXPORT void salvaImpostazioni(db::Connection& conn, const Impostazioni& imp);

// Certified-mail providers whose contract forbids sending by a program without the
// user's direct action. The provider's name when the host is one of theirs, else empty.
SZ_CORE_EXPORT QString fornitoreSenzaInvioAutomatico(const QString& smtpHost);
// The warning for such a host, or empty.
SZ_CORE_EXPORT QString avvisoInvioAutomatico(const QString& smtpHost);
// True for a certified mailbox: ticked as such, or a server of a known PEC provider.
SZ_CORE_EXPORT bool casellaCertificata(const QString& smtpHost, bool spuntataPec);
// The warning for the unattended run of a mailbox: any certified mailbox whose contract
// the user has not confirmed allows automated sending (Legalmail's named), or empty.
SZ_CORE_EXPORT QString avvisoInvioAutomatico(const QString& smtpHost, bool spuntataPec, bool invioAutomaticoConsentito);

// The certified-mail settings of the first t_ISP row (defaults without one).
struct SZ_CORE_EXPORT ImpostazioniPec
{
    bool pec = false;           // ticked, or a known PEC server
    int messaggiMinuto = 6;     // the pace; 6 when empty or out of 1..60
    bool invioAutomatico = false; // the contract allows automated sending
    QString smtp;
};
SZ_CORE_EXPORT ImpostazioniPec leggiImpostazioniPec(db::Connection& conn);

} // namespace sz::pianificazione
