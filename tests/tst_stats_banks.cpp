// The statistics of the open credit and the bank registry: the sums behind the
// chart, what the chart writes, the IBAN check and the registry's list and edit pages.
#include "TestEnv.h"

#include "Anagraficabanche.h"
#include "CreditTotals.h"
#include "Iban.h"
#include "Statistiche.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Money.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsSimpleTextItem>
#include <QStackedWidget>
#include <QtTest>

using sz::Money;
using sz::db::Connection;
using sz::ui::Navigator;

namespace {

Money euro(double v)
{
    return Money::fromDouble(v);
}

void addCredit(Connection& c, const QString& number, double importo, double incassato, const QString& stato)
{
    c.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Importo, Incassato, Residuo, "
                          "Cliente, Stato, ImportoTotale) VALUES (:n, :d, :s, :i, :inc, :r, :c, :st, :i)"),
           {{QStringLiteral(":n"), number},
            {QStringLiteral(":d"), QDate(2024, 3, 1)},
            {QStringLiteral(":s"), QDate(2024, 4, 30)},
            {QStringLiteral(":i"), QVariant::fromValue(euro(importo))},
            {QStringLiteral(":inc"), QVariant::fromValue(euro(incassato))},
            {QStringLiteral(":r"), QVariant::fromValue(euro(importo - incassato))},
            {QStringLiteral(":c"), QStringLiteral("ROSSI SRL")},
            {QStringLiteral(":st"), stato}});
}

void addBank(Connection& c, const QString& nome, const QString& agenzia, const QString& iban)
{
    c.exec(QStringLiteral("INSERT INTO t_banche (Nome, Agenzia, IBAN) VALUES (:n, :a, :i)"),
           {{QStringLiteral(":n"), nome}, {QStringLiteral(":a"), agenzia}, {QStringLiteral(":i"), iban}});
}

int bankCount(Connection& c)
{
    return c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_banche")).toInt();
}

// Typing, not setText: the editors start editing on user input only.
void type(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    QTest::keyClicks(edit, text);
}

void settle(QWidget* w)
{
    w->resize(1100, 700);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCoreApplication::processEvents();
}

} // namespace

class TestStatsBanks : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::fontsAvailable());
        sz::ui::applyLook();
        sz::ui::loadItalianTranslations();
    }

    // ---- sums -----------------------------------------------------------------------

    void sumsCountOnlyOpenDocuments()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addCredit(c, "1", 100, 30, "APERTA");
        addCredit(c, "2", 50, 0, "APERTA");
        addCredit(c, "3", 80, 80, "CHIUSA");

        const auto t = sz::stats::readCreditTotals(c);
        QCOMPARE(t.totaleCrediti, std::optional<Money>(euro(150)));
        QCOMPARE(t.incassati, std::optional<Money>(euro(30)));
        QCOMPARE(t.daIncassare, std::optional<Money>(euro(120)));

        c.exec(QStringLiteral("DELETE FROM t_crediti WHERE Stato = 'APERTA'"));
        const auto none = sz::stats::readCreditTotals(c);
        QVERIFY(!none.totaleCrediti && !none.incassati && !none.daIncassare);
    }

    // ---- chart ------------------------------------------------------------------------

    void chartShowsTheAmountsInLegendOrderAndItalianFormat()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addCredit(c, "1", 12000, 4500.50, "APERTA");
        addCredit(c, "2", 3250.75, 0, "APERTA");
        addCredit(c, "3", 800, 800, "CHIUSA");

        TFrameStatistiche f;
        settle(&f);

        QStringList names, amounts;
        for (QBarSet* set : f.series()->barSets())
            names << set->label();
        for (auto* label : f.valueLabels())
            amounts << label->text();
        QCOMPARE(names, QStringList({"Totale Crediti", "Da Incassare", "Incassati"}));
        QCOMPARE(amounts, QStringList({"€ 15.250,75", "€ 10.750,25", "€ 4.500,50"}));
        QCOMPARE(f.series()->barSets()[1]->at(0), 10750.25);

        // Each amount sits over its own bar, inside the plot, left to right.
        const auto& labels = f.valueLabels();
        const QRectF plot = f.chartView()->chart()->plotArea();
        qreal lastX = -1;
        for (int i = 0; i < 3; ++i) {
            const QRectF r = labels[i]->mapRectToParent(labels[i]->boundingRect());
            QVERIFY2(plot.contains(r), qPrintable(QStringLiteral("label %1 outside the plot").arg(i)));
            QVERIFY(r.center().x() > lastX);
            lastX = r.center().x();
        }
        const QRectF tallest = labels[0]->mapRectToParent(labels[0]->boundingRect());
        const QRectF lowest = labels[2]->mapRectToParent(labels[2]->boundingRect());
        QVERIFY(tallest.bottom() < lowest.top());

        TestEnv::saveScreenshot(&f, QStringLiteral("statistiche"));
    }

    void chartWithoutOpenRowsShowsNoAmount()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addCredit(c, "3", 80, 80, "CHIUSA");
        TFrameStatistiche f;
        settle(&f);
        QCOMPARE(f.series()->count(), 3); // the legend stays complete
        for (auto* label : f.valueLabels())
            QVERIFY(!label->isVisible());
        for (QBarSet* set : f.series()->barSets())
            QCOMPARE(set->at(0), 0.0);
    }

    // ---- IBAN -------------------------------------------------------------------------

    void iban_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("valid");
        QTest::newRow("printed form, lower case") << "it60 x054 2811 1010 0000 0123 456" << true;
        QTest::newRow("electronic form") << "IT60X0542811101000000123456" << true;
        QTest::newRow("other country") << "DE89 3704 0044 0532 0130 00" << true;
        QTest::newRow("one digit wrong") << "IT60X0542811101000000123457" << false;
        QTest::newRow("too short") << "IT60X05428" << false;
        QTest::newRow("digit missing") << "IT60X054281110100000012345" << false;
        // Passes the mod-97 check, but an Italian IBAN has 27 characters, not 28.
        QTest::newRow("right check, wrong length for the country") << "IT19X05428111018063513966937" << false;
        QTest::newRow("punctuation") << "IT60-X054-2811-1010-0000-0123-456" << false;
        QTest::newRow("accented letter") << "IT60È0542811101000000123456" << false;
    }

    void iban()
    {
        QFETCH(QString, typed);
        QFETCH(bool, valid);
        QCOMPARE(sz::banks::isValidIban(typed), valid);
    }

    // ---- bank registry -------------------------------------------------------------------------

    void newBankIsWrittenNormalised()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaBanche f;
        settle(&f);
        QCOMPARE(f.pages()->currentWidget()->objectName(), QStringLiteral("TabElenco"));

        QVERIFY(f.listNavigator()->click(Navigator::Insert));
        QCOMPARE(f.pages()->currentWidget()->objectName(), QStringLiteral("TabDettaglio"));
        type(f.nameEdit(), QStringLiteral("banca di prova"));
        QCOMPARE(f.nameEdit()->text(), QStringLiteral("BANCA DI PROVA"));
        type(f.branchEdit(), QStringLiteral("filiale di milano"));
        type(f.ibanEdit(), QStringLiteral("it60 x054 2811 1010 0000 0123 456"));
        QVERIFY(f.editNavigator()->click(Navigator::Post));
        QVERIFY(rec.messages.isEmpty());
        QCOMPARE(f.pages()->currentWidget()->objectName(), QStringLiteral("TabElenco"));

        const auto r = c.query(QStringLiteral("SELECT Nome, Agenzia, IBAN FROM t_banche"));
        QCOMPARE(r.rows.size(), 1);
        QCOMPARE(r.value(0, "Nome").toString(), QStringLiteral("BANCA DI PROVA"));
        QCOMPARE(r.value(0, "Agenzia").toString(), QStringLiteral("FILIALE DI MILANO"));
        QCOMPARE(r.value(0, "IBAN").toString(), QStringLiteral("IT60X0542811101000000123456"));

        // An empty IBAN is allowed.
        QVERIFY(f.listNavigator()->click(Navigator::Edit));
        f.ibanEdit()->selectAll();
        QTest::keyClick(f.ibanEdit(), Qt::Key_Delete);
        QVERIFY(f.editNavigator()->click(Navigator::Post));
        QVERIFY(c.scalar(QStringLiteral("SELECT IBAN FROM t_banche")).isNull());
    }

    void bankWithoutNameOrWithWrongIbanIsRefused()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaBanche f;
        settle(&f);

        QVERIFY(f.listNavigator()->click(Navigator::Insert));
        type(f.nameEdit(), QStringLiteral("   "));
        type(f.ibanEdit(), QStringLiteral("IT60X0542811101000000123456"));
        QVERIFY(!f.editNavigator()->click(Navigator::Post));
        QCOMPARE(rec.messages,
                 QStringList({"ATTENZIONE: il nome della banca risulta mancante. Si prega di compilare il campo "
                              "richiesto per poter effettuare il salvataggio dei dati."}));
        QCOMPARE(bankCount(c), 0);
        QCOMPARE(f.banche()->state(), sz::db::Dataset::State::Insert);
        QCOMPARE(f.pages()->currentWidget()->objectName(), QStringLiteral("TabDettaglio"));

        rec.messages.clear();
        type(f.nameEdit(), QStringLiteral("UNICREDIT"));
        f.ibanEdit()->selectAll();
        type(f.ibanEdit(), QStringLiteral("IT60X0542811101000000123457"));
        QVERIFY(!f.editNavigator()->click(Navigator::Post));
        QCOMPARE(rec.messages,
                 QStringList({"ATTENZIONE: l'IBAN inserito non è valido. Controllare il codice e riprovare."}));
        QCOMPARE(bankCount(c), 0);
        QCOMPARE(f.pages()->currentWidget()->objectName(), QStringLiteral("TabDettaglio"));

        // "Annulla" drops the new row and returns to the list.
        QVERIFY(f.editNavigator()->click(Navigator::Cancel));
        QCOMPARE(f.pages()->currentWidget()->objectName(), QStringLiteral("TabElenco"));
        QCOMPARE(f.banche()->recordCount(), 0);
        QCOMPARE(bankCount(c), 0);
    }

    void filterAndSortTheList()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addBank(c, "CREDITO EMILIANO", "FILIALE DI REGGIO EMILIA CENTRO", "IT64X0306909606100000063119");
        addBank(c, "BANCA DELL'ARTIGIANATO", "SEDE DI BERGAMO", "IT60X0542811101000000123456");
        addBank(c, "CREDITO COOPERATIVO", "AGENZIA 3 - L'AQUILA", "");
        addBank(c, "BANCA POPOLARE", "FILIALE CENTRO", "DE89370400440532013000");
        TFrameAnagraficaBanche f;
        settle(&f);

        f.filterEdit()->setText(QStringLiteral("l'a"));
        QCOMPARE(f.banche()->recordCount(), 2); // in a name and in a branch
        f.filterEdit()->setText(QStringLiteral("'"));
        QCOMPARE(f.banche()->recordCount(), 2);
        f.filterEdit()->setText(QStringLiteral("de89 3704"));
        QCOMPARE(f.banche()->recordCount(), 1);
        QCOMPARE(f.banche()->value(QStringLiteral("Nome")).toString(), QStringLiteral("BANCA POPOLARE"));
        f.filterEdit()->clear();
        QCOMPARE(f.banche()->recordCount(), 4);

        f.grid()->titleClick(0);
        QCOMPARE(f.banche()->valueAt(0, f.banche()->fieldIndex(QStringLiteral("Nome"))).toString(),
                 QStringLiteral("BANCA DELL'ARTIGIANATO"));
        TestEnv::saveScreenshot(&f, QStringLiteral("banche_elenco"));
        f.banche()->locate(QStringLiteral("Nome"), QStringLiteral("CREDITO EMILIANO"));
        emit f.grid()->rowDoubleClicked(f.banche()->recNo());
        QCOMPARE(f.banche()->state(), sz::db::Dataset::State::Edit);
        QCOMPARE(f.nameEdit()->text(), QStringLiteral("CREDITO EMILIANO"));
        TestEnv::saveScreenshot(&f, QStringLiteral("banche_dettaglio"));
    }

    void deleteAsksFirst()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addBank(c, "BANCA UNO", "", "");
        addBank(c, "BANCA DUE", "", "");
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaBanche f;
        settle(&f);
        f.banche()->locate(QStringLiteral("Nome"), QStringLiteral("BANCA DUE"));

        rec.answerNext(false);
        QVERIFY(!f.listNavigator()->click(Navigator::Delete));
        QCOMPARE(rec.messages, QStringList({"La Banca selezionata sarà eliminata. Continuare?"}));
        QCOMPARE(bankCount(c), 2);
        QCOMPARE(f.banche()->recordCount(), 2);

        rec.answerNext(true);
        QVERIFY(f.listNavigator()->click(Navigator::Delete));
        QCOMPARE(rec.messages.size(), 2);
        QCOMPARE(c.scalar(QStringLiteral("SELECT Nome FROM t_banche")).toString(), QStringLiteral("BANCA UNO"));
    }
};

QTEST_MAIN(TestStatsBanks)
#include "tst_stats_banks.moc"
