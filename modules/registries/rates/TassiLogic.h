#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

// Rules of the rate table the interest is computed from: what a row may hold.
namespace tassi {

// "2,15" from 21500 (ten-thousandths of a point): two decimals at least, four at most.
QString testoTasso(int decimillesimi);
// The rate as typed: digits with at most four decimals after a comma (a full stop is taken
// as the comma), not negative, below 100. Nothing when it does not read.
std::optional<int> leggiTasso(const QString& testo);

// How the list names a kind of rate.
QString nomeTipo(const QString& tipo);

struct Riga
{
    int id = 0; // 0 for a row not yet written
    QString tipo;
    QDate dal, al;
};
// The message that refuses a row, or empty when it may be saved: dates present and in
// order, a MORA row exactly one half-year, a LEGALE row one calendar year, no overlap with
// another row of the same kind.
QString controlla(const Riga& riga, const QList<Riga>& altre);

} // namespace tassi
