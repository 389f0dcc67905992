#pragma once

#include <QDate>
#include <QString>

namespace sz::db {
class Connection;
}

// A made-up firm to try the program with: its company profile, clients, banks and a year
// and a half of credits with the letters they got, so that every list, chart, letter and
// report has something to show on the first day. No widgets: the command-line tool and
// the first-run setup both call it.
namespace sz::demo {

struct Riepilogo
{
    int clienti = 0;
    int crediti = 0;
    int lettere = 0; // rows of the letter log
};

// The refusals, as the user reads them.
extern const QString RifiutoCrediti;
extern const QString RifiutoDati;
extern const QString RifiutoInCorso;
// Whether the message is one of the refusals above, which the user reads as it stands.
bool rifiuto(const QString& message);

// Fills an empty register: the company, 25 clients, the firm's banks, about 300 credits
// dated from oggi back over the last 18 months, in every state and dunning stage, with a
// letter log that matches the stages reached, one client and one credit suspended. The
// same oggi always gives the same data. Thresholds and templates are the register's own
// (the upgrade seeds them). One transaction: on any failure nothing is written.
// Throws sz::Error: RifiutoCrediti when the register holds credits, RifiutoDati when it
// holds clients or a company profile, RifiutoInCorso while another workstation fills the
// same server database, or the database's own failure.
Riepilogo crea(db::Connection& conn, const QDate& oggi = QDate::currentDate());

// "Dati dimostrativi creati: 25 clienti, 300 crediti."
QString testoRiepilogo(const Riepilogo& r);

} // namespace sz::demo
