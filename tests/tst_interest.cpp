// Late-payment interest: the day count, the rate of each half-year or year, rounding to the
// cent, rates missing from the table, and the command-line report built on it.
#include "DunningData.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Interessi.h"
#include "scadenzio/Money.h"

#include <QtTest>

using sz::Money;
using sz::db::Connection;
namespace in = sz::interessi;
using in::TipoCliente;

namespace {

QDate d(const char* ddmmyyyy)
{
    return QDate::fromString(QString::fromLatin1(ddmmyyyy), QStringLiteral("dd/MM/yyyy"));
}

Money euro(const char* testo)
{
    return *Money::parse(QString::fromLatin1(testo));
}

in::Tasso tasso(const char* tipo, const char* dal, const char* al, int t)
{
    return in::Tasso{QString::fromLatin1(tipo), d(dal), d(al), t};
}

// The reference rates of 2024 to H1 2026 and the legal rates of 2024 to 2026, as seeded.
QList<in::Tasso> tabella()
{
    return {tasso("MORA", "01/01/2024", "30/06/2024", 45000), tasso("MORA", "01/07/2024", "31/12/2024", 42500),
            tasso("MORA", "01/01/2025", "30/06/2025", 31500), tasso("MORA", "01/07/2025", "31/12/2025", 21500),
            tasso("MORA", "01/01/2026", "30/06/2026", 21500), tasso("LEGALE", "01/01/2024", "31/12/2024", 25000),
            tasso("LEGALE", "01/01/2025", "31/12/2025", 20000), tasso("LEGALE", "01/01/2026", "31/12/2026", 16000)};
}

const QString dove = QStringLiteral(": inseriscilo in Impostazioni - Tassi di interesse.");

} // namespace

class TestInterest : public QObject
{
    Q_OBJECT

private slots:
    void workedExample()
    {
        const auto c =
            in::calcola(tabella(), TipoCliente::Impresa, euro("10.000,00"), d("15/06/2025"), d("01/03/2025"), d("20/08/2025"));
        QVERIFY(c.calcolato);
        QVERIFY(c.mancante.isEmpty());
        QCOMPARE(c.periodi.size(), 2);
        QCOMPARE(c.periodi[0].dal, d("16/06/2025"));
        QCOMPARE(c.periodi[0].al, d("30/06/2025"));
        QCOMPARE(c.periodi[0].giorni, 15);
        QCOMPARE(c.periodi[0].tasso, 111500);
        QCOMPARE(c.periodi[0].interessi, euro("45,82"));
        QCOMPARE(c.periodi[1].dal, d("01/07/2025"));
        QCOMPARE(c.periodi[1].giorni, 51);
        QCOMPARE(c.periodi[1].tasso, 101500);
        QCOMPARE(c.periodi[1].interessi, euro("141,82"));
        QCOMPARE(c.interessi, euro("187,64"));
        QCOMPARE(c.tassiApplicati(),
                 QStringLiteral("11,15 % dal 16/06/2025 al 30/06/2025; 10,15 % dal 01/07/2025 al 20/08/2025"));
        // A public administration owes the same; a consumer owes no compensation.
        const auto pa =
            in::calcola(tabella(), TipoCliente::PA, euro("10.000,00"), d("15/06/2025"), QDate(), d("20/08/2025"));
        QCOMPARE(pa.interessi, euro("187,64"));
        QCOMPARE(in::indennizzo(TipoCliente::Impresa), euro("40"));
        QCOMPARE(in::indennizzo(TipoCliente::PA), euro("40"));
        QCOMPARE(in::indennizzo(TipoCliente::Consumatore), Money());
        // The flat sum came with the terms of 2013: none for a document of 2012.
        QCOMPARE(in::indennizzo(TipoCliente::Impresa, d("31/12/2012")), Money());
        QCOMPARE(in::indennizzo(TipoCliente::PA, d("01/01/2013")), euro("40"));
    }

    void threeHalfYearsAndThePointsBefore2013()
    {
        // 16/05/2024-20/02/2025: 46 days at 12,50, 184 at 12,25, 51 at 11,15 on € 1.234,56.
        const auto c = in::calcola(tabella(), TipoCliente::Impresa, euro("1.234,56"), d("15/05/2024"),
                                   d("15/04/2024"), d("20/02/2025"));
        QVERIFY(c.calcolato);
        QCOMPARE(c.periodi.size(), 3);
        QCOMPARE(c.periodi[0].giorni, 46);
        QCOMPARE(c.periodi[1].giorni, 184);
        QCOMPARE(c.periodi[2].giorni, 51);
        // 1234.56*12.5*46/36500 = 19.4486; *12.25*184/36500 = 76.2404; *11.15*51/36500 = 19.2335
        QCOMPARE(c.periodi[0].interessi, euro("19,45"));
        QCOMPARE(c.periodi[1].interessi, euro("76,24"));
        QCOMPARE(c.periodi[2].interessi, euro("19,23"));
        QCOMPARE(c.interessi, euro("114,92"));

        // A document of 2012: seven points, not eight.
        const auto vecchio = in::calcola(tabella(), TipoCliente::Impresa, euro("10.000,00"), d("15/06/2025"),
                                         d("31/12/2012"), d("20/08/2025"));
        QCOMPARE(vecchio.periodi[0].tasso, 101500);
        QCOMPARE(vecchio.periodi[1].tasso, 91500);
        // 10000*10.15*15/36500 = 41.7123; 10000*9.15*51/36500 = 127.8493
        QCOMPARE(vecchio.interessi, euro("169,56"));
        const auto primo2013 = in::calcola(tabella(), TipoCliente::Impresa, euro("10.000,00"), d("15/06/2025"),
                                           d("01/01/2013"), d("20/08/2025"));
        QCOMPARE(primo2013.interessi, euro("187,64"));
    }

    void consumerAcrossAYear()
    {
        // 01/12/2025-31/01/2026: 31 days at 2 %, 31 at 1,6 %, no points added.
        const auto c = in::calcola(tabella(), TipoCliente::Consumatore, euro("5.000,00"), d("30/11/2025"),
                                   d("01/10/2025"), d("31/01/2026"));
        QVERIFY(c.calcolato);
        QCOMPARE(c.periodi.size(), 2);
        QCOMPARE(c.periodi[0].tasso, 20000);
        QCOMPARE(c.periodi[0].al, d("31/12/2025"));
        QCOMPARE(c.periodi[1].tasso, 16000);
        // 5000*2*31/36500 = 8.4932; 5000*1.6*31/36500 = 6.7945
        QCOMPARE(c.periodi[0].interessi, euro("8,49"));
        QCOMPARE(c.periodi[1].interessi, euro("6,79"));
        QCOMPARE(c.interessi, euro("15,28"));
        QCOMPARE(c.tassiApplicati(),
                 QStringLiteral("2,00 % dal 01/12/2025 al 31/12/2025; 1,60 % dal 01/01/2026 al 31/01/2026"));
        // The legal rate runs by calendar year: a July change of half-year makes no period.
        const auto estate = in::calcola(tabella(), TipoCliente::Consumatore, euro("100"), d("01/06/2025"),
                                        QDate(), d("31/07/2025"));
        QCOMPARE(estate.periodi.size(), 1);
    }

    void aMissingRateGivesNoFigure()
    {
        const auto c = in::calcola(tabella(), TipoCliente::Impresa, euro("10.000,00"), d("15/06/2026"),
                                   d("01/03/2026"), d("20/08/2026"));
        QVERIFY(!c.calcolato);
        QCOMPARE(c.interessi, Money());
        QVERIFY(c.periodi.isEmpty());
        QVERIFY(c.tassiApplicati().isEmpty());
        QCOMPARE(c.mancante, QStringLiteral("Manca il tasso di riferimento del 2° semestre 2026") + dove);

        // The first hole is named, even with rates after it.
        auto buco = tabella();
        buco.removeAt(1); // H2 2024
        const auto b = in::calcola(buco, TipoCliente::PA, euro("100"), d("01/03/2024"), QDate(), d("01/03/2025"));
        QCOMPARE(b.mancante, QStringLiteral("Manca il tasso di riferimento del 2° semestre 2024") + dove);
        const auto h1 = in::calcola(tabella(), TipoCliente::Impresa, euro("100"), d("20/12/2023"), QDate(),
                                    d("10/01/2024"));
        QCOMPARE(h1.mancante, QStringLiteral("Manca il tasso di riferimento del 2° semestre 2023") + dove);

        const auto legale = in::calcola(tabella(), TipoCliente::Consumatore, euro("100"), d("15/12/2026"),
                                        QDate(), d("15/01/2027"));
        QVERIFY(!legale.calcolato);
        QCOMPARE(legale.mancante, QStringLiteral("Manca il tasso legale del 2027") + dove);

        // A rate row of the other kind does not stand in for the missing one.
        const auto soloLegale = in::calcola({tasso("LEGALE", "01/01/2025", "31/12/2025", 20000)},
                                            TipoCliente::Impresa, euro("100"), d("01/03/2025"), QDate(),
                                            d("01/04/2025"));
        QCOMPARE(soloLegale.mancante, QStringLiteral("Manca il tasso di riferimento del 1° semestre 2025") + dove);
    }

    void whatTheResidualAndTheDatesAllow()
    {
        // Partly collected: interest runs on what is still owed.
        const auto parte = in::calcola(tabella(), TipoCliente::Impresa, euro("2.500,00"), d("15/06/2025"),
                                       QDate(), d("20/08/2025"));
        // 2500*11.15*15/36500 = 11.4555; 2500*10.15*51/36500 = 35.4555
        QCOMPARE(parte.interessi, euro("46,92"));

        for (const Money residuo : {Money(), euro("-100")}) {
            const auto c =
                in::calcola(tabella(), TipoCliente::Impresa, residuo, d("15/06/2025"), QDate(), d("20/08/2025"));
            QVERIFY(c.calcolato);
            QCOMPARE(c.interessi, Money());
            QVERIFY(c.periodi.isEmpty());
        }
        // On the due date itself, before it, or with no date: nothing, and nothing missing
        // either, even where the table has no rate.
        for (const QDate& al : {d("15/06/2025"), d("01/01/2025"), QDate()}) {
            const auto c = in::calcola(tabella(), TipoCliente::Impresa, euro("100"), d("15/06/2025"), QDate(), al);
            QVERIFY(c.calcolato);
            QVERIFY(c.periodi.isEmpty());
        }
        const auto fra = in::calcola({}, TipoCliente::Impresa, euro("100"), d("15/06/2030"), QDate(), d("01/01/2030"));
        QVERIFY(fra.calcolato);
        QVERIFY(in::calcola(tabella(), TipoCliente::Impresa, euro("100"), QDate(), QDate(), d("01/01/2025"))
                    .periodi.isEmpty());

        // The day after the due date is the first day: one day's interest.
        const auto giorno = in::calcola(tabella(), TipoCliente::Impresa, euro("36.500,00"), d("15/06/2025"),
                                        QDate(), d("16/06/2025"));
        QCOMPARE(giorno.periodi.size(), 1);
        QCOMPARE(giorno.periodi[0].giorni, 1);
        QCOMPARE(giorno.interessi, euro("11,15"));
    }

    void roundingAndTheLeapYear()
    {
        // Half a cent rounds away from zero: 3650 * 10 % * 1 day = 1,00 exactly; 18,25 a day
        // at 10 % gives 0,005 -> 0,01 per period, and each period is rounded on its own.
        const QList<in::Tasso> dieci{tasso("MORA", "01/01/2025", "30/06/2025", 20000),
                                     tasso("MORA", "01/07/2025", "31/12/2025", 20000)};
        const auto mezzo = in::calcola(dieci, TipoCliente::Impresa, euro("18,25"), d("29/06/2025"), QDate(),
                                       d("01/07/2025"));
        QCOMPARE(mezzo.periodi.size(), 2);
        QCOMPARE(mezzo.periodi[0].interessi, euro("0,01"));
        QCOMPARE(mezzo.periodi[1].interessi, euro("0,01"));
        QCOMPARE(mezzo.interessi, euro("0,02"));
        QCOMPARE(mezzo.tassiApplicati(), QStringLiteral("10,00 % dal 30/06/2025 al 01/07/2025"));
        const auto sotto = in::calcola(dieci, TipoCliente::Impresa, euro("18,24"), d("29/06/2025"), QDate(),
                                       d("30/06/2025"));
        QCOMPARE(sotto.interessi, Money());

        // 2024 has 366 days, and the year is still 365: the whole year is 366/365 of the rate.
        const auto bisestile = in::calcola(tabella(), TipoCliente::Consumatore, euro("36.500,00"),
                                           d("31/12/2023"), QDate(), d("31/12/2024"));
        QCOMPARE(bisestile.periodi.size(), 1);
        QCOMPARE(bisestile.periodi[0].giorni, 366);
        QCOMPARE(bisestile.interessi, euro("915,00")); // 36500 * 2,5 % * 366 / 365
    }

    void ratesOfAnyPrecisionAndShape()
    {
        // A rate with four decimals is shown with all of them; a row ending mid-half-year
        // splits the period where the next one starts.
        const QList<in::Tasso> t{tasso("MORA", "01/01/2025", "15/03/2025", 31525),
                                 tasso("MORA", "16/03/2025", "30/06/2025", 30000)};
        const auto c = in::calcola(t, TipoCliente::Impresa, euro("1.000"), d("28/02/2025"), QDate(), d("31/03/2025"));
        QVERIFY(c.calcolato);
        QCOMPARE(c.periodi.size(), 2);
        QCOMPARE(c.periodi[0].al, d("15/03/2025"));
        QCOMPARE(c.periodi[0].giorni, 15);
        QCOMPARE(c.periodi[1].giorni, 16);
        QCOMPARE(c.tassiApplicati(),
                 QStringLiteral("11,1525 % dal 01/03/2025 al 15/03/2025; 11,00 % dal 16/03/2025 al 31/03/2025"));
        // Overlapping rows: the later start takes over from its first day.
        const QList<in::Tasso> sovrapposti{tasso("MORA", "01/01/2025", "30/06/2025", 31500),
                                           tasso("MORA", "01/04/2025", "30/06/2025", 25000)};
        const auto s = in::calcola(sovrapposti, TipoCliente::Impresa, euro("1.000"), d("30/03/2025"), QDate(),
                                   d("02/04/2025"));
        QCOMPARE(s.periodi.size(), 2);
        QCOMPARE(s.periodi[0].tasso, 111500);
        QCOMPARE(s.periodi[1].tasso, 105000);
        QCOMPARE(s.periodi[1].giorni, 2);
        // A row given backwards or with an absurd rate neither covers a day nor cuts a period.
        const QList<in::Tasso> storti{tasso("MORA", "01/01/2025", "30/06/2025", 31500),
                                      tasso("MORA", "10/04/2025", "01/04/2025", 25000),
                                      tasso("MORA", "05/04/2025", "30/06/2025", 2000000000)};
        const auto st = in::calcola(storti, TipoCliente::Impresa, euro("1.000"), d("30/03/2025"), QDate(),
                                    d("20/04/2025"));
        QCOMPARE(st.periodi.size(), 1);
        QCOMPARE(st.periodi[0].tasso, 111500);
        QVERIFY(!in::calcola({tasso("MORA", "01/01/2025", "30/06/2025", -2000000000)}, TipoCliente::Impresa,
                             euro("1"), d("01/01/2025"), QDate(), d("02/01/2025"))
                     .calcolato);
    }

    void hugeAmountsAndSpans()
    {
        // € 900 billion over twelve years: far beyond 64 bits in the product, exact in the result.
        QList<in::Tasso> t;
        for (int anno = 2013; anno <= 2026; ++anno)
            t << in::Tasso{QStringLiteral("LEGALE"), QDate(anno, 1, 1), QDate(anno, 12, 31), 10000};
        const auto c = in::calcola(t, TipoCliente::Consumatore, euro("900.000.000.000"), d("31/12/2013"),
                                   QDate(), d("31/12/2025"));
        QVERIFY(c.calcolato);
        QCOMPARE(c.periodi.size(), 12);
        // 4383 days at 1 % on 9e11: 9e9 * 4383 / 365 = 108073972602,739... each year on its own
        Money atteso;
        for (const auto& p : c.periodi)
            atteso += p.interessi;
        QCOMPARE(c.interessi, atteso);
        QCOMPARE(c.periodi[0].interessi, euro("9.000.000.000,00"));
        QCOMPARE(c.periodi[2].interessi, euro("9.024.657.534,25")); // 2016: 366 days

        // Interest beyond what an amount holds is refused, not wrapped round.
        const QList<in::Tasso> enorme{in::Tasso{QStringLiteral("MORA"), QDate(1, 1, 1), QDate(9999, 12, 31), 9000000}};
        const auto troppo = in::calcola(enorme, TipoCliente::Impresa, Money::fromRaw(std::numeric_limits<qint64>::max()),
                                        QDate(1900, 1, 1), QDate(), QDate(2025, 1, 1));
        QVERIFY(!troppo.calcolato);
        QCOMPARE(troppo.interessi, Money());
        QCOMPARE(troppo.mancante, Money::overflowMessage());
        // Centuries of half-years still come back promptly.
        const auto lungo = in::calcola(enorme, TipoCliente::Impresa, euro("1"), QDate(1, 1, 1), QDate(),
                                       QDate(9999, 12, 31));
        QVERIFY(lungo.calcolato);
        QCOMPARE(lungo.periodi.size(), 9999 * 2);
    }

    // The table as the upgrade seeds it covers every day from 2013 to June 2026; rows that
    // cannot be read cover nothing; the firm's settings with their defaults.
    void ratesAndSettingsFromTheDatabase()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        const auto tassi = in::leggiTassi(c);
        const auto tutto = in::calcola(tassi, TipoCliente::Impresa, euro("1.000"), d("31/12/2012"), d("01/06/2012"),
                                       d("30/06/2026"));
        QVERIFY2(tutto.calcolato, qPrintable(tutto.mancante));
        QCOMPARE(tutto.periodi.size(), 27);
        QCOMPARE(tutto.periodi.first().tasso, 77500); // 0,75 + 7
        QCOMPARE(tutto.periodi.last().tasso, 91500);  // 2,15 + 7
        const auto legale = in::calcola(tassi, TipoCliente::Consumatore, euro("1.000"), d("31/12/2012"), QDate(),
                                        d("31/12/2026"));
        QVERIFY2(legale.calcolato, qPrintable(legale.mancante));
        QCOMPARE(legale.periodi.size(), 14);
        QCOMPARE(legale.periodi[8].tasso, 100); // 2021: 0,01 %
        QCOMPARE(in::calcola(tassi, TipoCliente::Impresa, euro("10.000"), d("15/06/2025"), QDate(), d("20/08/2025"))
                     .interessi,
                 euro("187,64"));
        QCOMPARE(in::calcola(tassi, TipoCliente::Impresa, euro("1"), d("30/06/2026"), QDate(), d("01/07/2026")).mancante,
                 QStringLiteral("Manca il tasso di riferimento del 2° semestre 2026") + dove);

        // Rows the user left half-written or mistyped: never a rate for any day.
        // The file takes a word where a number or a date belongs; the server's typed columns
        // refuse it, so there such a row cannot be in the table at all.
        for (const char* riga : {"('MORA', '2026-07-01', '2026-12-31', 'due')", "('MORA', 'ieri', '2026-12-31', 20000)"}) {
            try {
                c.exec(QStringLiteral("INSERT INTO t_tassi (Tipo, Dal, Al, Tasso) VALUES ") + QLatin1String(riga));
            } catch (const sz::db::DatabaseError&) {
                QVERIFY2(TestEnv::onServer(), riga);
            }
        }
        c.exec(QStringLiteral(
            "INSERT INTO t_tassi (Tipo, Dal, Al, Tasso) VALUES "
            "('ALTRO', '2026-07-01', '2026-12-31', 20000), ('MORA', '2026-12-31', '2026-07-01', 20000), "
            "('MORA', '2026-07-01', '2026-12-31', 99999999999)"));
        const auto conErrori = in::leggiTassi(c);
        QCOMPARE(conErrori.size(), tassi.size());
        // A rate typed with a fraction of a ten-thousandth, and in lower case, is read.
        c.exec(QStringLiteral("INSERT INTO t_tassi (Tipo, Dal, Al, Tasso) VALUES ('mora', '2026-07-01 00:00:00', "
                              "'2026-12-31', 20000.4)"));
        const auto h2 = in::calcola(in::leggiTassi(c), TipoCliente::Impresa, euro("36.500"), d("30/06/2026"), QDate(),
                                    d("01/07/2026"));
        QVERIFY(h2.calcolato);
        QCOMPARE(h2.periodi.first().tasso, 100000);
        QCOMPARE(h2.interessi, euro("10"));

        auto imp = in::leggiImpostazioni(c);
        QCOMPARE(imp.interessi, false);
        QCOMPARE(imp.indennizzo40, false);
        QCOMPARE(imp.giorniTermine, 15);
        if (c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_societa")).toInt() == 0)
            c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale) VALUES ('DITTA')"));
        c.exec(QStringLiteral("UPDATE t_societa SET InteressiMora = 1, Indennizzo40 = 1, GiorniTermine = 7"));
        imp = in::leggiImpostazioni(c);
        QVERIFY(imp.interessi);
        QVERIFY(imp.indennizzo40);
        QCOMPARE(imp.giorniTermine, 7);
        for (const char* termine : {"-3", "'quindici'", "NULL"}) {
            try {
                c.exec(QStringLiteral("UPDATE t_societa SET GiorniTermine = %1").arg(QLatin1String(termine)));
            } catch (const sz::db::DatabaseError&) {
                QVERIFY2(TestEnv::onServer(), termine); // a word in a number column: only the file takes it
                continue;
            }
            QCOMPARE(in::leggiImpostazioni(c).giorniTermine, 15);
        }
        // A later row does not override the firm's own (the first).
        c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, InteressiMora) VALUES ('ALTRA', 0)"));
        QVERIFY(in::leggiImpostazioni(c).interessi);
    }

    // The report from the command line: the periods of each credit, the € 40 once per
    // document and only for businesses and administrations, the totals; the failures.
    void commandLine()
    {
        TestEnv env;
        auto run = [&](const QStringList& args) { return TestEnv::runCli(args, env.home()); };
        QCOMPARE(run({QStringLiteral("upgrade")}).code, 0);
        QList<qint64> id;
        {
            Connection c(env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb"));
            c.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale, TipoCliente) VALUES ('Comune di Prova', 'PA'), "
                                  "('BIANCHI MARIO', 'CONSUMATORE'), ('ROSSI SRL', NULL)"));
            const auto credito = [&](const char* numero, const char* cliente, const char* scadenza, const char* importo,
                                     const char* incassato) {
                dunningdata::Credito k;
                k.numero = QString::fromLatin1(numero);
                k.cliente = QString::fromLatin1(cliente);
                k.dataFattura = d("01/03/2025");
                k.scadenza = d(scadenza);
                k.importo = euro(importo);
                k.incassato = euro(incassato);
                id << dunningdata::aggiungi(c, k);
            };
            // Three instalments of one document, the second partly collected, the third not yet due.
            credito("12/A", "ROSSI SRL", "15/04/2025", "1.000", "0");
            credito("12/A", "ROSSI SRL", "15/05/2025", "1.000", "400");
            credito("12/A", "ROSSI SRL", "15/09/2025", "1.000", "0");
            credito("10/B", "comune di prova ", "15/06/2025", "10.000", "0");
            credito("5/C", "BIANCHI MARIO", "15/06/2025", "10.000", "0");
        }
        const QString ids = QStringLiteral("%1,%2 %3").arg(id[0]).arg(id[1]).arg(id[2]);
        const auto r = run({QStringLiteral("interest"), ids, QString::number(id[3]), QString::number(id[4]),
                            QString::number(id[0]), QStringLiteral("--al"), QStringLiteral("20/08/2025")});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        const QStringList righe = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(righe.value(0), QStringLiteral("ID\tCliente\tNumeroFattura\tDataFattura\tScadenza\tVoce\tDal\tAl\tGiorni\tTasso\tImporto"));
        const auto con = [&](qint64 credito, const QString& coda) {
            return righe.contains(QStringLiteral("%1\t").arg(credito) + coda);
        };
        const QString rossi = QStringLiteral("ROSSI SRL\t12/A\t01/03/2025\t");
        QVERIFY(con(id[0], rossi + QStringLiteral("15/04/2025\tResiduo\t\t\t\t\t1000,00")));
        QVERIFY(con(id[0], rossi + QStringLiteral("15/04/2025\tPeriodo\t16/04/2025\t30/06/2025\t76\t11,15\t23,22")));
        QVERIFY(con(id[0], rossi + QStringLiteral("15/04/2025\tPeriodo\t01/07/2025\t20/08/2025\t51\t10,15\t14,18")));
        QVERIFY(con(id[0], rossi + QStringLiteral("15/04/2025\tInteressi\t16/04/2025\t20/08/2025\t127\t\t37,40")));
        QVERIFY(con(id[0], rossi + QStringLiteral("15/04/2025\tIndennizzo\t\t\t\t\t40,00")));
        QVERIFY(con(id[1], rossi + QStringLiteral("15/05/2025\tResiduo\t\t\t\t\t600,00")));
        QVERIFY(con(id[1], rossi + QStringLiteral("15/05/2025\tInteressi\t16/05/2025\t20/08/2025\t97\t\t16,94")));
        QVERIFY(con(id[2], rossi + QStringLiteral("15/09/2025\tInteressi\t\t\t\t\t0,00")));
        QVERIFY(con(id[3], QStringLiteral("comune di prova \t10/B\t01/03/2025\t15/06/2025\tInteressi\t16/06/2025\t20/08/2025\t66\t\t187,64")));
        QVERIFY(con(id[3], QStringLiteral("comune di prova \t10/B\t01/03/2025\t15/06/2025\tIndennizzo\t\t\t\t\t40,00")));
        QVERIFY(con(id[4], QStringLiteral("BIANCHI MARIO\t5/C\t01/03/2025\t15/06/2025\tPeriodo\t16/06/2025\t20/08/2025\t66\t2,00\t36,16")));
        // One € 40 for the document of three instalments, none for the consumer; the
        // credit named twice counted once.
        QCOMPARE(righe.filter(QStringLiteral("\tIndennizzo\t")).size(), 2);
        QCOMPARE(righe.filter(QStringLiteral("\tResiduo\t")).size(), 5);
        QVERIFY(righe.contains(QStringLiteral("\t\t\t\t\tTotale residuo\t\t20/08/2025\t\t\t22600,00")));
        QVERIFY(righe.contains(QStringLiteral("\t\t\t\t\tTotale interessi\t\t20/08/2025\t\t\t278,14")));
        QVERIFY(righe.contains(QStringLiteral("\t\t\t\t\tTotale indennizzi\t\t20/08/2025\t\t\t80,00")));
        QCOMPARE(righe.last(), QStringLiteral("\t\t\t\t\tTotale dovuto\t\t20/08/2025\t\t\t22958,14"));
        for (const QString& riga : righe)
            QCOMPARE(riga.count(QLatin1Char('\t')), 10);

        // A half-year without a rate: the message, no totals, exit 1.
        const auto manca = run({QStringLiteral("interest"), QString::number(id[3]), QStringLiteral("--al"),
                                QStringLiteral("20/08/2026")});
        QCOMPARE(manca.code, 1);
        QCOMPARE(manca.err.trimmed(), QStringLiteral("Manca il tasso di riferimento del 2° semestre 2026") + dove);
        QVERIFY(!manca.out.contains(QStringLiteral("Totale")));
        QVERIFY(!manca.out.contains(QStringLiteral("\tPeriodo\t")));
        const auto legale = run({QStringLiteral("interest"), QString::number(id[4]), QStringLiteral("--al"),
                                 QStringLiteral("02/01/2027")});
        QCOMPARE(legale.code, 1);
        QCOMPARE(legale.err.trimmed(), QStringLiteral("Manca il tasso legale del 2027") + dove);

        // Without --al, to today.
        const auto oggi = run({QStringLiteral("interest"), QString::number(id[3])});
        const auto atteso = [&] {
            Connection c(env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb"));
            return in::calcola(in::leggiTassi(c), TipoCliente::PA, euro("10.000"), d("15/06/2025"), d("01/03/2025"),
                               QDate::currentDate());
        }();
        if (atteso.calcolato) {
            QCOMPARE(oggi.code, 0);
            QVERIFY(oggi.out.contains(QStringLiteral("\tInteressi\t16/06/2025\t") +
                                      QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"))));
        } else {
            QCOMPARE(oggi.code, 1);
            QCOMPARE(oggi.err.trimmed(), atteso.mancante);
        }

        // Unknown or malformed IDs and options: nothing printed, exit 2.
        for (const QStringList& args : {QStringList{QStringLiteral("interest"), QStringLiteral("999999")},
                                        QStringList{QStringLiteral("interest"), QStringLiteral("12abc")},
                                        QStringList{QStringLiteral("interest"), QStringLiteral("0")},
                                        QStringList{QStringLiteral("interest")},
                                        QStringList{QStringLiteral("interest"), QString::number(id[0]),
                                                    QStringLiteral("--al"), QStringLiteral("31/02/2025")},
                                        QStringList{QStringLiteral("interest"), QString::number(id[0]),
                                                    QStringLiteral("--al")},
                                        QStringList{QStringLiteral("interest"), QString::number(id[0]),
                                                    QStringLiteral("--dal"), QStringLiteral("01/01/2025")}}) {
            const auto e = run(args);
            QCOMPARE(e.code, 2);
            QVERIFY(e.out.isEmpty());
            QVERIFY(!e.err.isEmpty());
        }
        QVERIFY(run({QStringLiteral("interest"), QStringLiteral("999999")}).err.contains(QStringLiteral("999999")));
    }

    void clientKinds()
    {
        QCOMPARE(in::tipoCliente(QStringLiteral(" pa ")), TipoCliente::PA);
        QCOMPARE(in::tipoCliente(QStringLiteral("Consumatore")), TipoCliente::Consumatore);
        QCOMPARE(in::tipoCliente(QString()), TipoCliente::Impresa);
        QCOMPARE(in::tipoCliente(QStringLiteral("ALTRO")), TipoCliente::Impresa);
        for (auto t : {TipoCliente::Impresa, TipoCliente::PA, TipoCliente::Consumatore})
            QCOMPARE(in::tipoCliente(in::testoTipo(t)), t);
    }
};

QTEST_GUILESS_MAIN(TestInterest)
#include "tst_interest.moc"
