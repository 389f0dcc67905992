#pragma once

#include "scadenzio/Database.h"

#include <QHash>
#include <QString>
#include <QVector>

// Amount columns hold ten-thousandths of a euro. A plain number written where an amount
// is meant (a literal, a parameter bound as text or :int) is taken as ten-thousandths
// and a computed amount (SUM(Importo)) comes back in them: both are off by 10,000 with
// no sign of it. The command-line tool reads each statement before running it, refuses
// the first kind and prints the second in euros.
namespace sz::cli {

class SqlAmounts
{
public:
    // Reads the statement against the amount columns of the tables it names. Throws
    // sz::Error with an "ATTENZIONE: " message when a plain number is assigned to,
    // compared with, added to or inserted into an amount, or when a result column mixes
    // an amount with something else so that neither euros nor a plain number is right.
    SqlAmounts(db::Connection& conn, const QString& sql, const db::Params& params);

    // Computed result columns that hold an amount become sz::Money, so that they print
    // in euros like the amount columns themselves.
    void toEuros(db::Result& result) const;

    enum class Unit { None, Plain, Amount, Mixed };
    // What each result column of the statement holds, in order; empty for statements
    // without a result and for result lists with a star.
    const QVector<Unit>& resultUnits() const { return m_units; }

private:
    QVector<Unit> m_units;
    QHash<QString, Unit> m_names; // by result column name, lower case
};

} // namespace sz::cli
