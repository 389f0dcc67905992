#pragma once

#include "scadenzio/Export.h"
#include "scadenzio/Money.h"

#include <QDate>
#include <QList>
#include <QString>

namespace sz::db {
class Connection;
}

// Late-payment interest as the law counts it: simple interest, day by day, each day at
// the rate of its half-year (businesses and public administration: the ECB reference rate
// plus 8 points, plus 7 for documents dated before 2013) or of its year (consumers: the
// legal rate), divisor 365, no compounding; and the € 40 due per late document. Exact to
// the cent with integer arithmetic. Rates are data (t_tassi): a day without one is never
// given an invented rate.
namespace sz::interessi {

enum class TipoCliente { Impresa, PA, Consumatore };
// "PA" and "CONSUMATORE" (any case, blanks around) as such; anything else, empty
// included, is a business.
SZ_CORE_EXPORT TipoCliente tipoCliente(const QString& testo);
SZ_CORE_EXPORT QString testoTipo(TipoCliente tipo); // "IMPRESA", "PA", "CONSUMATORE"

// One row of t_tassi. tasso in ten-thousandths of a point: 2,15 % is 21500.
struct SZ_CORE_EXPORT Tasso
{
    QString tipo; // "MORA" (ECB reference rate of a half-year) or "LEGALE" (legal rate of a year)
    QDate dal, al;
    int tasso = 0;
};
// Every rate of t_tassi, read once for a whole list or run.
SZ_CORE_EXPORT QList<Tasso> leggiTassi(db::Connection& conn);

// "11,15", "1,00", "11,1525": a rate in ten-thousandths of a point, with as many decimals
// as it needs and at least two.
SZ_CORE_EXPORT QString testoTasso(qint64 tasso);

// A stretch of days at one rate.
struct SZ_CORE_EXPORT Periodo
{
    QDate dal, al;     // both included
    int giorni = 0;
    int tasso = 0;     // the rate applied, ten-thousandths of a point (reference + 8 for businesses)
    Money interessi;   // rounded to the cent
};

struct SZ_CORE_EXPORT Calcolo
{
    bool calcolato = true;  // false: a rate is missing (or the sum exceeds any amount), and no amount is given
    QString mancante;       // then the Italian message naming the half-year (or year) and where to enter it
    QList<Periodo> periodi;
    Money interessi;        // the sum of the periods
    // "11,15 % dal 16/06/2025 al 30/06/2025; 10,15 % dal 01/07/2025 al 20/08/2025"; consecutive
    // periods at the same rate read as one stretch.
    QString tassiApplicati() const;
};

// Interest on residuo from the day after scadenza to al, both included. Nothing when the
// residual is not above zero or al is not after the due date.
SZ_CORE_EXPORT Calcolo calcola(const QList<Tasso>& tassi, TipoCliente tipo, const Money& residuo,
                               const QDate& scadenza, const QDate& dataFattura, const QDate& al);

// € 40,00 per document for businesses and public administration, once the document has an
// overdue instalment; nothing for consumers, nor for a document dated before 2013 (the flat
// sum exists only for transactions concluded from 1 January 2013).
SZ_CORE_EXPORT Money indennizzo(TipoCliente tipo, const QDate& dataFattura = QDate());

// The firm's choices (t_societa): off, off and 15 days when not set.
struct SZ_CORE_EXPORT Impostazioni
{
    bool interessi = false;
    bool indennizzo40 = false;
    int giorniTermine = 15;
};
SZ_CORE_EXPORT Impostazioni leggiImpostazioni(db::Connection& conn);

} // namespace sz::interessi
