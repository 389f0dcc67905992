#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

namespace sz::db {
class Connection;
}

// What the main window tells the user at a start about the unattended daily run since
// the user's previous start of the program: a last run that went wrong, or working days
// on which it should have run and did not. Each user of each workstation is told once,
// at the first start after it happened.
namespace sz::avvisoinvio {

struct Avviso
{
    QString testo;    // one or two sentences for the bar; empty: nothing to tell
    QString dettagli; // what "Mostra dettagli" shows: the run's lines, or the days missed
    qint64 esecuzione = 0;     // the run told of, 0 for none
    QList<QDate> giorniMancati; // working days without a run, oldest first
    bool vuoto() const { return testo.isEmpty(); }
};

// A start of the program as the user's settings keep it.
struct Avvio
{
    QDateTime quando;          // null: none recorded, or unreadable
    bool invioAttivo = false;  // the schedule was on at that start
};

// The notice for a start at adesso after the user's previous start (none: nothing to
// compare with, nothing to tell). Reads the runs and the schedule; writes nothing.
Avviso valuta(db::Connection& conn, const Avvio& precedente, const QDateTime& adesso);

// The user's own record of the starts: settings root + Config/Avvio.ini.
QString fileAvvii();
Avvio avvioPrecedente();
// Records a start; false when the file could not be written.
bool registraAvvio(const Avvio& avvio);

// The whole step of a start: the notice since the recorded start, then this start
// recorded (only once the notice could be worked out, so that one that failed to read
// the database is given at the next start instead). Throws sz::Error from the database.
Avviso allAvvio(db::Connection& conn);

} // namespace sz::avvisoinvio
