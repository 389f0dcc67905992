#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/report/Letterhead.h"

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>

namespace sz::db {
class Dataset;
}

// The list of the credits a letter was issued for, each by its latest letter, and its
// printed report. Reads only.
namespace sz::issued {

// The latest letter of a row and its date, made by the database in the list statement.
extern QString GExprDocumentoEmesso;
extern QString GExprDataEmissione;
// The same without their aliases, for the order clause.
extern QString GExprDocumentoEmessoORDER;
extern QString GExprDataEmissioneORDER;
// The order clause of the list statement: kept from one re-read to the next.
extern QString GORDER;
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

struct Filtro
{
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

// The grid's fields and titles, in order.
const QList<QPair<QString, QString>>& colonne();

// The subject of the printed list.
QString oggetto(const Filtro& filtro);

// The rows as shown (filter and order of the dataset), each field as the grid shows it.
sz::report::DataView righeMostrate(const sz::db::Dataset& lista);
sz::report::DataView righe(const sz::db::Result& lista);

// The printed report of the rows as shown, the firm as sender, printed on oggi.
sz::report::Filling stampa(const sz::report::DataView& righe, const sz::report::Values& societa,
                           const Filtro& filtro, const QDate& oggi, const QString& dataRoot,
                           const QString& programFolder);

} // namespace sz::issued
