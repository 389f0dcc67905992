// The interest rate table: what a rate may be typed as, which periods a row may cover,
// and the frame that lists and edits the rows.
#include "FormTest.h"
#include "TestEnv.h"

#include "Tassi.h"
#include "TassiLogic.h"
#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Ui.h"

#include <QComboBox>
#include <QStyledItemDelegate>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

using sz::db::Connection;
using sz::ui::Navigator;

namespace {

using namespace formtest;

// The texts of a column as the grid paints them (the rate column's delegate included).
QStringList column(sz::ui::Grid* grid, int col)
{
    QStringList out;
    auto* d = qobject_cast<QStyledItemDelegate*>(grid->itemDelegateForColumn(col));
    for (int r = 0; r < grid->model()->rowCount(); ++r) {
        const QVariant v = grid->model()->index(r, col).data();
        out << (d ? d->displayText(v, QLocale()) : v.toString());
    }
    return out;
}

} // namespace

class TestRates : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::fontsAvailable());
        sz::ui::applyLook();
        sz::ui::loadItalianTranslations();
    }

    // Rates in ten-thousandths of a point, shown with the comma and read back exactly;
    // anything else typed is refused, never rounded.
    void rateTextBothWays()
    {
        QCOMPARE(tassi::testoTasso(21500), QStringLiteral("2,15"));
        QCOMPARE(tassi::testoTasso(0), QStringLiteral("0,00"));
        QCOMPARE(tassi::testoTasso(31250), QStringLiteral("3,125"));
        QCOMPARE(tassi::testoTasso(1), QStringLiteral("0,0001"));
        QCOMPARE(tassi::testoTasso(100000), QStringLiteral("10,00"));
        for (int v : {0, 1, 500, 21500, 31250, 45001, 999999})
            QCOMPARE(tassi::leggiTasso(tassi::testoTasso(v)), std::optional<int>(v));
        QCOMPARE(tassi::leggiTasso(QStringLiteral(" 4,5 % ")), std::optional<int>(45000));
        QCOMPARE(tassi::leggiTasso(QStringLiteral("4.25")), std::optional<int>(42500));
        QCOMPARE(tassi::leggiTasso(QStringLiteral("4")), std::optional<int>(40000));
        for (const char* no : {"", "2,15001", "-1", "2,", ",5", "1.000,00", "abc", "2,1a", "100", "1e3", "٣,٥"})
            QVERIFY2(!tassi::leggiTasso(QString::fromUtf8(no)), no);
    }

    // A reference rate covers one half-year, a legal rate one year, and no two rows of one
    // kind cover the same day; a row edited keeps its own period.
    void periodsAllowed()
    {
        const QList<tassi::Riga> altre = {{1, "MORA", QDate(2026, 1, 1), QDate(2026, 6, 30)},
                                          {2, "LEGALE", QDate(2026, 1, 1), QDate(2026, 12, 31)}};
        QVERIFY(tassi::controlla({0, "MORA", QDate(2026, 7, 1), QDate(2026, 12, 31)}, altre).isEmpty());
        QVERIFY(tassi::controlla({0, "LEGALE", QDate(2027, 1, 1), QDate(2027, 12, 31)}, altre).isEmpty());
        QVERIFY(tassi::controlla({1, "MORA", QDate(2026, 1, 1), QDate(2026, 6, 30)}, altre).isEmpty());
        QVERIFY(tassi::controlla({0, "MORA", QDate(2026, 1, 1), QDate(2026, 6, 30)}, altre).contains("sovrappone"));
        QVERIFY(tassi::controlla({0, "LEGALE", QDate(2026, 1, 1), QDate(2026, 12, 31)}, altre).contains("sovrappone"));
        QVERIFY(tassi::controlla({0, "MORA", QDate(2026, 7, 1), QDate(2027, 6, 30)}, altre).contains("semestre"));
        QVERIFY(tassi::controlla({0, "MORA", QDate(2026, 7, 2), QDate(2026, 12, 31)}, altre).contains("semestre"));
        QVERIFY(tassi::controlla({0, "LEGALE", QDate(2027, 1, 1), QDate(2027, 6, 30)}, altre).contains("anno"));
        QCOMPARE(tassi::controlla({0, "MORA", QDate(2026, 12, 31), QDate(2026, 7, 1)}, altre),
                 QStringLiteral("ATTENZIONE: la data \"Dal\" (31/12/2026) è successiva alla data \"Al\" (01/07/2026)."));
        QVERIFY(tassi::controlla({0, "MORA", QDate(), QDate(2026, 12, 31)}, altre).contains("obbligatorie"));
    }

    // The seeded rows listed with their words and rates; the missing half-year added from
    // the frame; a bad rate, a wrong period and an overlap refused with nothing written.
    void frameListsAndEditsRates()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        const int seeded = count(c, "SELECT COUNT(*) FROM t_tassi");
        QVERIFY(seeded > 40);
        sz::ui::MessageRecorder rec;
        TFrameTassi f;
        f.resize(1100, 700);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto* grid = f.grid();
        QCOMPARE(grid->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Tasso %"));
        QCOMPARE(column(grid, 0).first(), QStringLiteral("Riferimento BCE (semestre)"));
        QCOMPARE(column(grid, 0).last(), QStringLiteral("Legale (anno)"));
        QCOMPARE(column(grid, 1).first(), QStringLiteral("01/01/2026"));
        QCOMPARE(column(grid, 3).first(), QStringLiteral("2,15"));
        TestEnv::saveScreenshot(&f, QStringLiteral("tassi_elenco"));

        // The second half of 2026, typed with too many decimals first.
        press(&f, "sDBNavigator1", Navigator::Insert);
        QVERIFY(f.editVisible());
        QCOMPARE(f.tipoCombo()->currentData().toString(), QStringLiteral("MORA"));
        typeInto(&f, "EditDal", QStringLiteral("01072026"));
        typeInto(&f, "EditAl", QStringLiteral("31122026"));
        typeInto(&f, "EditTasso", QStringLiteral("2,12345"));
        typeInto(&f, "EditFonte", QStringLiteral("GU n. 160 del 13/07/2026"));
        TestEnv::saveScreenshot(&f, QStringLiteral("tassi_modifica"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY(rec.messages.last().contains(QStringLiteral("2,12345")));
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_tassi"), seeded);
        typeInto(&f, "EditTasso", QStringLiteral("2,1"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY(!f.editVisible());
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_tassi WHERE Tipo = 'MORA' AND Dal = '2026-07-01' AND "
                          "Al = '2026-12-31' AND Tasso = 21000 AND Fonte = 'GU n. 160 del 13/07/2026'"),
                 1);
        QCOMPARE(column(grid, 3).at(f.tassi()->recNo()), QStringLiteral("2,10"));

        // The same half-year again overlaps; a legal rate for half a year is not one.
        press(&f, "sDBNavigator1", Navigator::Insert);
        typeInto(&f, "EditDal", QStringLiteral("01072026"));
        typeInto(&f, "EditAl", QStringLiteral("31122026"));
        typeInto(&f, "EditTasso", QStringLiteral("2"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 2);
        QVERIFY(rec.messages.last().contains(QStringLiteral("si sovrappone")));
        f.tipoCombo()->setCurrentIndex(1);
        emit f.tipoCombo()->activated(1);
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 3);
        QVERIFY(rec.messages.last().contains(QStringLiteral("anno intero")));
        press(&f, "sDBNavigator3", Navigator::Cancel);
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_tassi"), seeded + 1);

        // Correcting a seeded rate keeps its period (no overlap with itself).
        QVERIFY(f.tassi()->locate("Fonte", "GU n. 15 del 20/01/2026"));
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(f.tassoEdit()->text(), QStringLiteral("2,15"));
        typeInto(&f, "EditTasso", QStringLiteral("2,4"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 3);
        QCOMPARE(c.scalar("SELECT Tasso FROM t_tassi WHERE Tipo = 'MORA' AND Dal = '2026-01-01'").toInt(), 24000);

        // The search finds the rows by their source.
        f.filterEdit()->setText(QStringLiteral("160 del"));
        QCOMPARE(grid->model()->rowCount(), 1);
    }
};

QTEST_MAIN(TestRates)
#include "tst_rates.moc"
