#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Esporta.h"
#include "scadenzio/Money.h"
#include "scadenzio/report/Letterhead.h"

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>

namespace sz::db {
class Dataset;
}

// The list of the credits a letter was issued for, each by its latest letter, or of every
// letter the log holds, and its printed report. Reads only.
namespace sz::issued {

// The latest letter of a row and its date, made by the database in the list statement.
extern QString GExprDocumentoEmesso;
extern QString GExprDataEmissione;
// The same without their aliases, for the order clause.
extern QString GExprDocumentoEmessoORDER;
extern QString GExprDataEmissioneORDER;
// The order clause of the list statement: kept from one re-read to the next.
extern QString GORDER;
// The same for the list of every letter.
extern QString GORDERComunicazioni;
// Sets the four expressions and the first order, as a newly opened list has them.
void inizializza();

// The "Tipo:" choices, in the order they are shown.
enum class Tipo { Preavviso, Sollecito1, Sollecito2, Sollecito3, Tutte };
struct VoceTipo
{
    Tipo tipo;
    QString voce; // caption of the choice
    QString nome; // the word the command line takes
};
const QList<VoceTipo>& tipi();

// Which list: each credit by its latest letter, or every letter of the log.
enum class Elenco { Ultime, Tutte };

struct Filtro
{
    Elenco elenco = Elenco::Ultime;
    QString cliente; // the client box's text, as typed
    Tipo tipo = Tipo::Tutte;
    QDate dal, al; // null when the box holds no real date
    // Both dates readable: only then does the range count.
    bool rangeCompleto() const { return dal.isValid() && al.isValid(); }
};

// The type condition, with :Dal and :Al for the bounds of a complete range.
QString condizioneTipo(Tipo tipo, bool conRange);

struct Istruzione
{
    QString sql;
    sz::db::Params params;
};
// The list statement for a filter, ordered by ordine (GORDER).
Istruzione sqlDocumentiEmessi(const Filtro& filtro, const QString& ordine);

// The order clause that keeps the grid's in-memory sort ("Campo ASC"/"Campo DESC") in
// the next re-read: the latest letter and its date by their expressions, the formatted
// amounts by the amounts they show, so the database orders them by value.
QString ordineDaSort(const QString& sort);

// Every letter of the log whose day is in the range (no complete range: all), of the
// chosen kind ("Tutte": every kind, "IN SOFFERENZA" too) and for a client whose name holds
// the text. Each row carries the credit's current amount and residual, empty when the
// credit was deleted since. Ordered by ordine (GORDERComunicazioni).
Istruzione sqlComunicazioni(const Filtro& filtro, const QString& ordine);
// What the receipts say of each certified letter of a list of every letter, appended as
// the column StatoPEC ("Accettata", "Consegnata", ...; empty for letters not sent by PEC).
// The list's afterRead hook: the state is never stored, always read from the receipts.
// Returns how many of the list's certified letters the clerk must look at: refused,
// undelivered (wholly or in part), or with no delivery receipt a day after acceptance.
int aggiungiStatoPec(sz::db::Connection& conn, sz::db::Result& lista, const QDateTime& adesso);
// As ordineDaSort, for the list of every letter.
QString ordineDaSortComunicazioni(const QString& sort);
// The field the list of every letter sorts "Data e ora" by: the stored text, which orders
// as time does (the shown "dd/mm/yyyy HH:mm" would not). Its name begins with the shown
// field's, so a second click on the title still turns the order round.
QString campoOrdineDataOra();

// The grid's fields and titles, in order.
const QList<QPair<QString, QString>>& colonne();
const QList<QPair<QString, QString>>& colonneComunicazioni();
const QList<QPair<QString, QString>>& colonne(Elenco elenco);
// The kind of each column, for a spreadsheet.
QVector<sz::esporta::Tipo> tipiColonne(Elenco elenco);

// The subject of the printed list: the list, the range as typed, and every other filter
// in force ("Elenco documenti emessi dal 01/03/2013 al 31/03/2013 – Tipo: 1° Sollecito –
// Cliente: rossi").
QString oggetto(const Filtro& filtro);

// The rows as shown (filter and order of the dataset), each field as the grid shows it.
sz::report::DataView righeMostrate(const sz::db::Dataset& lista, Elenco elenco = Elenco::Ultime);
sz::report::DataView righe(const sz::db::Result& lista, Elenco elenco = Elenco::Ultime);

// What the foot of the printed list sums up over the rows listed.
struct Riepilogo
{
    int righe = 0;
    sz::Money importo, residuo; // exact sums of the stored amounts, each credit once; a deleted credit adds nothing
    QList<QPair<QString, int>> perTipo; // the kinds met, in stage order, with their rows
    // "Preavvisi: 2 – 1° Solleciti: 3 – ..." (the kinds that have rows).
    QString testoTipi() const;
};
Riepilogo riepilogo(const sz::db::Dataset& lista, Elenco elenco);
Riepilogo riepilogo(const sz::db::Result& lista, Elenco elenco);

// The printed report of the rows as shown, the firm as sender, printed on oggi.
sz::report::Filling stampa(const sz::report::DataView& righe, const Riepilogo& totali,
                           const sz::report::Values& societa, const Filtro& filtro, const QDate& oggi,
                           const QString& dataRoot, const QString& programFolder);


// The rows as a spreadsheet table, under the grid's titles.
sz::esporta::Tabella tabella(const sz::db::Result& lista, Elenco elenco);

} // namespace sz::issued
