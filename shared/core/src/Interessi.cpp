#include "scadenzio/Interessi.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"

#include <cmath>
#include <limits>

namespace sz::interessi {

namespace {

// Products of an amount, a rate and a day count need more than 64 bits.
__extension__ typedef __int128 Intero128;

const QString Mora = QStringLiteral("MORA");
const QString Legale = QStringLiteral("LEGALE");

// Statutory points over the ECB reference rate, in ten-thousandths of a point.
constexpr qint64 PuntiMora = 8 * 10000;
constexpr qint64 PuntiMoraAnte2013 = 7 * 10000;
// Documents before this day keep the older terms: seven points and no flat € 40.
const QDate InizioNuovaDisciplina(2013, 1, 1);

// A stored rate beyond a thousand percent either way is a typing slip, not a rate: the
// day it covers is treated as uncovered rather than charged at it.
constexpr qint64 TassoMassimo = 1000 * 10000;

// residuo (ten-thousandths of a euro) x rate (ten-thousandths of a point) x days gives
// 365 x 100 x 10000 times the interest in ten-thousandths of a euro; one more 100 turns
// it into cents, which is where each period is rounded.
constexpr Intero128 DivisoreCentesimi = Intero128(365) * 100 * 10000 * 100;

QDate fineSemestre(const QDate& d)
{
    return d.month() <= 6 ? QDate(d.year(), 6, 30) : QDate(d.year(), 12, 31);
}

QString messaggioMancante(const QString& tipo, const QDate& giorno)
{
    const QString dove = QStringLiteral(": inseriscilo in Impostazioni - Tassi di interesse.");
    if (tipo == Legale)
        return QStringLiteral("Manca il tasso legale del %1").arg(giorno.year()) + dove;
    return QStringLiteral("Manca il tasso di riferimento del %1 semestre %2")
               .arg(giorno.month() <= 6 ? QStringLiteral("1°") : QStringLiteral("2°"))
               .arg(giorno.year()) +
           dove;
}

// A row that cannot say which days it covers, or at what rate, covers none.
bool usabile(const Tasso& t, const QString& tipo)
{
    return t.tipo == tipo && t.dal.isValid() && t.al.isValid() && t.dal <= t.al && t.tasso <= TassoMassimo &&
           t.tasso >= -TassoMassimo;
}

// The row that covers the day; when rows overlap, the one that starts last, as the more
// recent entry.
const Tasso* rigaDelGiorno(const QList<Tasso>& tassi, const QString& tipo, const QDate& giorno)
{
    const Tasso* scelta = nullptr;
    for (const auto& t : tassi) {
        if (!usabile(t, tipo) || t.dal > giorno || t.al < giorno)
            continue;
        if (!scelta || t.dal > scelta->dal)
            scelta = &t;
    }
    return scelta;
}

// The day before the first row of the kind that starts after giorno and no later than
// fine: an overlapping later row takes over from its first day.
QDate finePrimaDelProssimo(const QList<Tasso>& tassi, const QString& tipo, const QDate& giorno, QDate fine)
{
    for (const auto& t : tassi) {
        if (usabile(t, tipo) && t.dal > giorno && t.dal <= fine)
            fine = t.dal.addDays(-1);
    }
    return fine;
}


bool leggiIntero(const QVariant& v, qint64& out)
{
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (ok) {
        out = n;
        return true;
    }
    const double d = v.toDouble(&ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) > 1e15)
        return false;
    out = std::llround(d);
    return true;
}

QDate leggiData(const QVariant& v)
{
    if (v.userType() == QMetaType::QDate)
        return v.toDate();
    return dates::fromIso(v.toString());
}

} // namespace

QString testoTasso(qint64 tasso)
{
    const bool negativo = tasso < 0;
    const quint64 a = negativo ? quint64(0) - quint64(tasso) : quint64(tasso);
    QString decimali = QStringLiteral("%1").arg(a % 10000, 4, 10, QLatin1Char('0'));
    while (decimali.size() > 2 && decimali.endsWith(QLatin1Char('0')))
        decimali.chop(1);
    return (negativo ? QStringLiteral("-") : QString()) + QString::number(a / 10000) + QLatin1Char(',') + decimali;
}

TipoCliente tipoCliente(const QString& testo)
{
    const QString t = testo.trimmed().toUpper();
    if (t == QLatin1String("PA"))
        return TipoCliente::PA;
    if (t == QLatin1String("CONSUMATORE"))
        return TipoCliente::Consumatore;
    return TipoCliente::Impresa;
}

QString testoTipo(TipoCliente tipo)
{
    switch (tipo) {
    case TipoCliente::PA:
        return QStringLiteral("PA");
    case TipoCliente::Consumatore:
        return QStringLiteral("CONSUMATORE");
    case TipoCliente::Impresa:
        break;
    }
    return QStringLiteral("IMPRESA");
}

QList<Tasso> leggiTassi(db::Connection& conn)
{
    QList<Tasso> tassi;
    if (!conn.tableNames().contains(QStringLiteral("t_tassi"), Qt::CaseInsensitive))
        return tassi;
    const auto r = conn.query(QStringLiteral("SELECT Tipo, Dal, Al, Tasso FROM t_tassi ORDER BY Dal, ID"));
    for (const auto& row : r.rows) {
        Tasso t;
        t.tipo = row[0].toString().trimmed().toUpper();
        t.dal = leggiData(row[1]);
        t.al = leggiData(row[2]);
        qint64 tasso = 0;
        // A row that cannot say which days it covers, or at what rate, covers none.
        if ((t.tipo != Mora && t.tipo != Legale) || !t.dal.isValid() || !t.al.isValid() || t.al < t.dal ||
            !leggiIntero(row[3], tasso) || tasso > TassoMassimo || tasso < -TassoMassimo)
            continue;
        t.tasso = int(tasso);
        tassi.append(t);
    }
    return tassi;
}

QString Calcolo::tassiApplicati() const
{
    // Half-years at the same rate read as one stretch: that is how a letter states it.
    QStringList parti;
    for (qsizetype i = 0; i < periodi.size();) {
        qsizetype j = i;
        while (j + 1 < periodi.size() && periodi[j + 1].tasso == periodi[i].tasso &&
               periodi[j].al.addDays(1) == periodi[j + 1].dal)
            ++j;
        parti << QStringLiteral("%1 % dal %2 al %3")
                     .arg(testoTasso(periodi[i].tasso), dates::toDisplay(periodi[i].dal),
                          dates::toDisplay(periodi[j].al));
        i = j + 1;
    }
    return parti.join(QStringLiteral("; "));
}

Calcolo calcola(const QList<Tasso>& tassi, TipoCliente tipo, const Money& residuo, const QDate& scadenza,
                const QDate& dataFattura, const QDate& al)
{
    Calcolo c;
    if (residuo.raw() <= 0 || !scadenza.isValid() || !al.isValid() || al <= scadenza)
        return c;

    const bool consumatore = tipo == TipoCliente::Consumatore;
    const QString tipoTasso = consumatore ? Legale : Mora;
    const qint64 punti = consumatore                                                  ? 0
                         : dataFattura.isValid() && dataFattura < InizioNuovaDisciplina ? PuntiMoraAnte2013
                                                                                      : PuntiMora;
    const auto nonCalcolato = [](const QString& perche) {
        Calcolo n;
        n.calcolato = false;
        n.mancante = perche;
        return n;
    };

    Intero128 totale = 0;
    for (QDate giorno = scadenza.addDays(1); giorno <= al;) {
        const Tasso* riga = rigaDelGiorno(tassi, tipoTasso, giorno);
        if (!riga)
            return nonCalcolato(messaggioMancante(tipoTasso, giorno));
        QDate fine = consumatore ? QDate(giorno.year(), 12, 31) : fineSemestre(giorno);
        fine = std::min({fine, al, riga->al});
        fine = finePrimaDelProssimo(tassi, tipoTasso, giorno, fine);

        Periodo p;
        p.dal = giorno;
        p.al = fine;
        p.giorni = int(giorno.daysTo(fine) + 1);
        const qint64 tasso = qint64(riga->tasso) + punti;
        p.tasso = int(tasso);

        const Intero128 prodotto = Intero128(residuo.raw()) * tasso * p.giorni;
        const Intero128 assoluto = prodotto < 0 ? -prodotto : prodotto;
        Intero128 centesimi = (assoluto + DivisoreCentesimi / 2) / DivisoreCentesimi;
        if (prodotto < 0)
            centesimi = -centesimi;
        const Intero128 grezzo = centesimi * 100;
        totale += grezzo;
        constexpr Intero128 limite = std::numeric_limits<qint64>::max();
        // Interest beyond what an amount holds is no figure to print on a letter.
        if (grezzo > limite || grezzo < -limite || totale > limite || totale < -limite)
            return nonCalcolato(Money::overflowMessage());
        p.interessi = Money::fromRaw(qint64(grezzo));
        c.periodi.append(p);
        giorno = fine.addDays(1);
    }
    c.interessi = Money::fromRaw(qint64(totale));
    return c;
}

Money indennizzo(TipoCliente tipo, const QDate& dataFattura)
{
    if (tipo == TipoCliente::Consumatore || (dataFattura.isValid() && dataFattura < InizioNuovaDisciplina))
        return Money();
    return Money::fromCents(4000);
}

Impostazioni leggiImpostazioni(db::Connection& conn)
{
    Impostazioni imp;
    if (!conn.tableNames().contains(QStringLiteral("t_societa"), Qt::CaseInsensitive))
        return imp;
    QStringList presenti;
    for (const auto& col : conn.tableColumns(QStringLiteral("t_societa")))
        presenti << col.name.toLower();
    const auto colonna = [&](const char* nome) {
        return presenti.contains(QString::fromLatin1(nome).toLower()) ? QString::fromLatin1(nome)
                                                                      : QStringLiteral("NULL");
    };
    const auto r = conn.query(QStringLiteral("SELECT %1, %2, %3 FROM t_societa ORDER BY ID LIMIT 1")
                                  .arg(colonna("InteressiMora"), colonna("Indennizzo40"), colonna("GiorniTermine")));
    if (r.isEmpty())
        return imp;
    const auto& row = r.rows.first();
    const auto si = [](const QVariant& v) {
        if (v.userType() == QMetaType::Bool)
            return v.toBool();
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        return ok && n != 0;
    };
    imp.interessi = si(row[0]);
    imp.indennizzo40 = si(row[1]);
    qint64 giorni = 0;
    // An empty or impossible term falls back to the usual fifteen days.
    if (!row[2].isNull() && leggiIntero(row[2], giorni) && giorni >= 0 && giorni <= 3650)
        imp.giorniTermine = int(giorni);
    return imp;
}

} // namespace sz::interessi
