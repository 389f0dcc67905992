#include "DbProva.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"
#include "scadenzio/RecordFilter.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace sz;
using namespace sz::db;

namespace {

Money euro(const char* text)
{
    return *Money::parse(QString::fromUtf8(text));
}

// In the order of the IDs: a server gives rows it changed back last otherwise.
const QString listQuery =
    QStringLiteral("SELECT *, FORMAT(Residuo, '€ #,##0.00') AS ImportoResiduo FROM t_crediti ORDER BY ID");

} // namespace

class TstDataset : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<Connection> conn;

    QStringList column(Dataset& ds, const QString& field)
    {
        QStringList out;
        const int f = ds.fieldIndex(field);
        for (int r = 0; r < ds.recordCount(); ++r)
            out << DatasetModel::displayText(ds.valueAt(r, f));
        return out;
    }

    std::unique_ptr<Dataset> openList()
    {
        auto ds = std::make_unique<Dataset>(*conn, QStringLiteral("t_crediti"));
        ds->setSql(listQuery);
        ds->open();
        return ds;
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        conn = std::make_unique<Connection>(env->createDefaultDatabase());
        creaTabella(*conn, QStringLiteral("t_crediti"),
                    {"NumeroFattura VARCHAR(255)", "Cliente VARCHAR(255)", "Scadenza DATETIME", "Residuo CURRENCY",
                     "Note VARCHAR(255)", "Pagato YESNO", "Stato VARCHAR(20) DEFAULT 'APERTA'"});
        const struct
        {
            const char *nf, *cliente, *scadenza, *residuo, *note;
            bool pagato;
        } rows[] = {
            {"1/2026", "Rossi S.r.l.", "2026-03-05", "100", nullptr, false},
            {"2/2026", "Éclair Pasticceria", "2026-01-10", "20", "", true},
            {"3/2026", "bianchi snc", nullptr, "1.234,56", "l'arte del pagare", false},
            {"4/2026", "Àrea Verde", "2026-03-05", nullptr, "nota ROSSA", false},
            {"5/2026", "rossi s.r.l.", "2025-12-31", "20", nullptr, true},
        };
        for (const auto& r : rows) {
            conn->exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Cliente, Scadenza, Residuo, Note, "
                                      "Pagato, Stato) VALUES (:nf, :c, :s, :r, :n, :p, :st)"),
                       {{"nf", QString::fromUtf8(r.nf)},
                        {"c", QString::fromUtf8(r.cliente)},
                        {"s", r.scadenza ? QVariant(QDate::fromString(QString::fromLatin1(r.scadenza), Qt::ISODate))
                                         : QVariant()},
                        {"r", r.residuo ? QVariant::fromValue(euro(r.residuo)) : QVariant()},
                        {"n", r.note ? QVariant(QString::fromUtf8(r.note)) : QVariant()},
                        {"p", r.pagato},
                        {"st", r.pagato ? QStringLiteral("CHIUSA") : QStringLiteral("APERTA")}});
        }
    }

    void cleanup()
    {
        conn.reset();
        env.reset();
    }

    void openReadsRowsWithTypes()
    {
        auto ds = openList();
        QCOMPARE(ds->recordCount(), 5);
        QCOMPARE(ds->recNo(), 0);
        QCOMPARE(ds->declaredType(ds->fieldIndex("scadenza")), QStringLiteral("DATETIME"));
        QCOMPARE(ds->value("Scadenza").toDate(), QDate(2026, 3, 5));
        QCOMPARE(ds->value("Residuo").value<Money>(), euro("100"));
        QCOMPARE(ds->value("ImportoResiduo").toString(), QStringLiteral("€ 100,00"));
        QVERIFY_THROWS_EXCEPTION(Error, ds->value("Inesistente"));
    }

    void filterSyntax_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("invoices");
        const QString open = QStringLiteral("'APERTA'");
        QStringList fiveColumns;
        for (const char* c : {"NumeroFattura", "Cliente", "Note"})
            fiveColumns << QStringLiteral("([%1] like '%ros%' AND ([Stato] = 'APERTA'))").arg(QLatin1String(c));
        QTest::newRow("list search with state, trailing blank")
            << fiveColumns.join(QStringLiteral(" OR ")) + QLatin1Char(' ') << QStringList{"1/2026", "4/2026"};
        QTest::newRow("quote inside text") << "[Note] like '%l''arte%'" << QStringList{"3/2026"};
        QTest::newRow("like ignores case of accented letters") << "Cliente like 'é%'" << QStringList{"2/2026"};
        QTest::newRow("star as wildcard, keywords in lower case")
            << "[Cliente] like 'ROSSI*' or [Cliente] like '*VERDE'" << QStringList{"1/2026", "4/2026", "5/2026"};
        QTest::newRow("inner wildcard") << "[NumeroFattura] like '%/20*6'"
                                        << QStringList{"1/2026", "2/2026", "3/2026", "4/2026", "5/2026"};
        // In the lists' filters "_" is a character like any other, not a wildcard.
        QTest::newRow("underscore is itself") << "[NumeroFattura] like '%/20_6%'" << QStringList{};
        QTest::newRow("underscore inside a pattern") << "[NumeroFattura] like '%/*_6'" << QStringList{};
        QTest::newRow("empty text is not null") << "[Note] = null" << QStringList{"1/2026", "5/2026"};
        QTest::newRow("not null") << "[Note] <> null AND [Residuo] <> null" << QStringList{"2/2026", "3/2026"};
        QTest::newRow("like on a date reads it as shown") << "[Scadenza] like '%/03/2026'"
                                                          << QStringList{"1/2026", "4/2026"};
        QTest::newRow("date as dd/mm/yyyy") << "[Scadenza] = '05/03/2026'" << QStringList{"1/2026", "4/2026"};
        QTest::newRow("date as ISO, ordered") << "[Scadenza] < '2026-01-10'" << QStringList{"5/2026"};
        QTest::newRow("impossible date matches nothing") << "[Scadenza] = '31/02/2026'" << QStringList{};
        QTest::newRow("amount against text and number")
            << "[Residuo] >= '100' OR [Residuo] = 20" << QStringList{"1/2026", "2/2026", "3/2026", "5/2026"};
        QTest::newRow("amount compares by value, not text") << "[Residuo] > 99.5" << QStringList{"1/2026", "3/2026"};
        QTest::newRow("text equality ignores case") << "[Cliente] = 'ROSSI S.R.L.'" << QStringList{"1/2026", "5/2026"};
        QTest::newRow("null never compares") << "[Residuo] <> 20" << QStringList{"1/2026", "3/2026"};
        QTest::newRow("yes/no column") << "[Pagato] = 'SI'" << QStringList{"2/2026", "5/2026"};
        QTest::newRow("precedence: AND binds before OR")
            << "[Stato] = 'CHIUSA' OR [Cliente] like 'r%' AND [Stato] = " + open
            << QStringList{"1/2026", "2/2026", "5/2026"};
    }

    void filterSyntax()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, invoices);
        auto ds = openList();
        ds->setFilter(filter);
        QCOMPARE(column(*ds, "NumeroFattura"), invoices);
    }

    void badFilterKeepsPrevious_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown column") << "[Cliënte] like '%x%'" << "colonna \"Cliënte\" sconosciuta";
        QTest::newRow("unclosed quote") << "[Cliente] = 'abc" << "apici";
        QTest::newRow("unclosed parenthesis") << "([Cliente] = 'a'" << ")";
        QTest::newRow("dangling AND") << "[Cliente] = 'a' AND" << "colonna";
        QTest::newRow("null with less than") << "[Scadenza] < null" << "NULL";
        QTest::newRow("trailing junk") << "[Cliente] = 'a' 'b'" << "'b'";
    }

    void badFilterKeepsPrevious()
    {
        QFETCH(QString, filter);
        QFETCH(QString, message);
        auto ds = openList();
        ds->setFilter("[Stato] = 'CHIUSA'");
        QSignalSpy resets(ds.get(), &Dataset::rowsReset);
        try {
            ds->setFilter(filter);
            QFAIL("no error");
        } catch (const Error& e) {
            QVERIFY2(e.message().startsWith("Filtro non valido: "), qPrintable(e.message()));
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
        QCOMPARE(ds->filter(), QStringLiteral("[Stato] = 'CHIUSA'"));
        QCOMPARE(ds->recordCount(), 2);
        QCOMPARE(resets.count(), 0);
    }

    void sortOrders_data()
    {
        QTest::addColumn<QString>("sort");
        QTest::addColumn<QStringList>("invoices");
        // As compareText: case ignored, accented letters after the plain ones.
        QTest::newRow("text ignores case, stable")
            << "Cliente" << QStringList{"3/2026", "1/2026", "5/2026", "4/2026", "2/2026"};
        QTest::newRow("text descending keeps read order of equals")
            << "[Cliente] DESC" << QStringList{"2/2026", "4/2026", "1/2026", "5/2026", "3/2026"};
        QTest::newRow("dates as dates, null first")
            << "Scadenza ASC" << QStringList{"3/2026", "5/2026", "2/2026", "1/2026", "4/2026"};
        QTest::newRow("amounts by value, null last when descending")
            << "Residuo DESC" << QStringList{"3/2026", "1/2026", "2/2026", "5/2026", "4/2026"};
        // Formatted amounts sort by their value, never by their characters.
        QTest::newRow("formatted amounts sort by value")
            << "ImportoResiduo ASC" << QStringList{"4/2026", "2/2026", "5/2026", "1/2026", "3/2026"};
        QTest::newRow("two keys") << "Residuo ASC, Scadenza DESC"
                                  << QStringList{"4/2026", "2/2026", "5/2026", "1/2026", "3/2026"};
    }

    void sortOrders()
    {
        QFETCH(QString, sort);
        QFETCH(QStringList, invoices);
        auto ds = openList();
        ds->setSort(sort);
        QCOMPARE(column(*ds, "NumeroFattura"), invoices);
        QVERIFY_THROWS_EXCEPTION(Error, ds->setSort("Nessuno ASC"));
        QCOMPARE(ds->sort(), sort);
    }

    void filterAndSortSurviveRequery()
    {
        auto ds = openList();
        ds->setFilter("[Stato] = 'APERTA'");
        ds->setSort("Scadenza DESC");
        ds->locate("NumeroFattura", "4/2026");
        QCOMPARE(ds->recNo(), 1); // 1/2026 and 4/2026 share the date: read order
        conn->exec("INSERT INTO t_crediti (NumeroFattura, Scadenza, Stato) VALUES ('6/2026', '2027-01-01', 'APERTA')");
        conn->exec("UPDATE t_crediti SET Stato = 'CHIUSA' WHERE NumeroFattura = '1/2026'");
        ds->requery();
        QCOMPARE(column(*ds, "NumeroFattura"), (QStringList{"6/2026", "4/2026", "3/2026"}));
        QCOMPARE(ds->value("NumeroFattura").toString(), QStringLiteral("4/2026"));

        // The current row left the list: the position is kept as near as possible.
        conn->exec("UPDATE t_crediti SET Stato = 'CHIUSA' WHERE NumeroFattura = '4/2026'");
        ds->requery();
        QCOMPARE(ds->recNo(), 1);
        QCOMPARE(ds->value("NumeroFattura").toString(), QStringLiteral("3/2026"));

        ds->close();
        ds->open();
        QCOMPARE(column(*ds, "NumeroFattura"), (QStringList{"6/2026", "3/2026"}));
    }

    void navigation()
    {
        auto ds = openList();
        QSignalSpy moves(ds.get(), &Dataset::currentChanged);
        int scrolls = 0;
        ds->afterScroll = [&](Dataset&) { ++scrolls; };
        QStringList seen;
        for (ds->first(); !ds->eof(); ds->next())
            seen << ds->value("NumeroFattura").toString();
        QCOMPARE(seen.size(), 5);
        QCOMPARE(ds->recNo(), 4);
        QCOMPARE(moves.count(), 4);
        QCOMPARE(scrolls, 4);
        ds->prior();
        QVERIFY(!ds->eof());
        QVERIFY(ds->locate("Cliente", "ÀREA VERDE"));
        QCOMPARE(ds->recNo(), 3);
        QVERIFY(ds->locate("Scadenza", "31/12/2025"));
        QVERIFY(ds->locate("Residuo", "1.234,56"));
        QCOMPARE(ds->recNo(), 2);
        QVERIFY(!ds->locate("Cliente", "Nessuno"));
        QCOMPARE(ds->recNo(), 2);
        ds->setFilter("[Cliente] = 'nessuno'");
        QVERIFY(ds->bof() && ds->eof());
        QCOMPARE(ds->recNo(), -1);
        QVERIFY(!ds->value("Cliente").isValid());
    }

    // A row saved under a text search stays in the list when its text still matches,
    // wherever in the text the word stands (here at the very end), and a posted row is
    // searched by its new text.
    void savedRowStaysUnderTheSearch()
    {
        conn->exec("UPDATE t_crediti SET Cliente = 'BIANCHI E ROSSI' WHERE NumeroFattura = '3/2026'");
        auto ds = openList();
        ds->setFilter("[Cliente] like '%rossi%' OR [Note] like '%rossi%'");
        QCOMPARE(column(*ds, "NumeroFattura"), (QStringList{"1/2026", "3/2026", "5/2026"}));
        QVERIFY(ds->locate("NumeroFattura", "3/2026"));
        ds->edit();
        ds->setValue("Note", "sollecitato");
        ds->post();
        QCOMPARE(column(*ds, "NumeroFattura"), (QStringList{"1/2026", "3/2026", "5/2026"}));
        ds->setFilter("[Cliente] like '%rossi%' OR [Note] like '%rossi%'");
        QCOMPARE(column(*ds, "NumeroFattura"), (QStringList{"1/2026", "3/2026", "5/2026"}));
        ds->setFilter("[Note] like '%citato'");
        QCOMPARE(column(*ds, "NumeroFattura"), QStringList{"3/2026"});
        // Widths are counted in characters: 128 emoji fit a 128-character column.
        QString emoji;
        for (int i = 0; i < 128; ++i)
            emoji += QString::fromUcs4(U"\U0001F600", 1);
        QCOMPARE(conn->scalar("SELECT sz_width(:t, 128, 'Note')", {{"t", emoji}}).toInt(), 1);
        QVERIFY_THROWS_EXCEPTION(Error, conn->scalar("SELECT sz_width(:t, 127, 'Note')", {{"t", emoji}}));
    }

    void editWritesOnlyChangedTableColumns()
    {
        auto ds = openList();
        ds->setSort("Cliente");
        QVERIFY(ds->locate("NumeroFattura", "1/2026"));
        const int rec = ds->recNo();
        QSignalSpy changed(ds.get(), &Dataset::rowChanged);
        ds->edit();
        QCOMPARE(ds->state(), Dataset::State::Edit);
        ds->setValue("Residuo", "50,25");
        ds->setValue("Scadenza", "01/04/2026");
        ds->setValue("ImportoResiduo", "computed, never written");
        QCOMPARE(ds->value("Residuo").value<Money>(), euro("50,25"));
        QCOMPARE(ds->valueAt(rec, ds->fieldIndex("Residuo")).value<Money>(), euro("100")); // until posted
        // Another user changed the note meanwhile: writing the edit over it would mix their
        // row with ours, so the save is refused and the typing kept.
        conn->exec("UPDATE t_crediti SET Note = 'altrove' WHERE NumeroFattura = '1/2026'");
        QVERIFY_THROWS_EXCEPTION(Error, ds->post());
        QCOMPARE(ds->state(), Dataset::State::Edit);
        QCOMPARE(ds->value("Residuo").value<Money>(), euro("50,25"));
        QCOMPARE(conn->scalar("SELECT Residuo FROM t_crediti WHERE NumeroFattura = '1/2026'").value<Money>(),
                 euro("100"));
        // Read again, the same edit goes through and keeps their note.
        ds->cancel();
        ds->requery();
        QVERIFY(ds->locate("NumeroFattura", "1/2026"));
        QCOMPARE(ds->recNo(), rec);
        ds->edit();
        ds->setValue("Residuo", "50,25");
        ds->setValue("Scadenza", "01/04/2026");
        changed.clear();
        ds->post();
        QCOMPARE(ds->state(), Dataset::State::Browse);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), rec);
        const Result r = conn->query("SELECT Residuo, Scadenza, Note FROM t_crediti WHERE NumeroFattura = '1/2026'");
        QCOMPARE(r.rows[0][0].value<Money>(), euro("50,25"));
        QCOMPARE(r.rows[0][1].toDate(), QDate(2026, 4, 1));
        QCOMPARE(r.rows[0][2].toString(), QStringLiteral("altrove"));
        QCOMPARE(ds->value("Residuo").value<Money>(), euro("50,25"));

        // Filter and sort see the posted values, not those they saw before.
        ds->setFilter("[Cliente] like '%rossi%'");
        ds->edit();
        ds->setValue("Cliente", "Rosso S.p.A.");
        ds->post();
        ds->setFilter("[Cliente] like '%rosso%'");
        QCOMPARE(column(*ds, "NumeroFattura"), QStringList{"1/2026"});
        ds->setFilter(QString());
        ds->setSort("Residuo");
        QCOMPARE(column(*ds, "NumeroFattura"), (QStringList{"4/2026", "2/2026", "5/2026", "1/2026", "3/2026"}));
        ds->locate("NumeroFattura", "1/2026");

        ds->edit();
        QVERIFY_THROWS_EXCEPTION(Error, ds->setValue("Scadenza", "31/02/2026"));
        ds->setValue("Cliente", "Zeta");
        ds->cancel();
        QCOMPARE(ds->value("Cliente").toString(), QStringLiteral("Rosso S.p.A."));
        QVERIFY_THROWS_EXCEPTION(Error, ds->setValue("Cliente", "Zeta"));
    }

    void failedWriteKeepsBuffer()
    {
        auto ds = openList();
        ds->edit();
        ds->setValue("Cliente", "Verdi");
        conn->exec("DELETE FROM t_crediti WHERE NumeroFattura = '1/2026'");
        QVERIFY_THROWS_EXCEPTION(Error, ds->post());
        QCOMPARE(ds->state(), Dataset::State::Edit);
        QCOMPARE(ds->value("Cliente").toString(), QStringLiteral("Verdi"));
        ds->cancel();

        blocca(*conn, QStringLiteral("no_insert"), QStringLiteral("BEFORE INSERT ON t_crediti"), QStringLiteral("bloccato"));
        ds->insert();
        ds->setValue("NumeroFattura", "7/2026");
        QVERIFY_THROWS_EXCEPTION(Error, ds->post());
        QCOMPARE(ds->state(), Dataset::State::Insert);
        QCOMPARE(ds->value("NumeroFattura").toString(), QStringLiteral("7/2026"));
        sblocca(*conn, QStringLiteral("no_insert"), QStringLiteral("t_crediti"));
        ds->post();
        QCOMPARE(ds->state(), Dataset::State::Browse);
        QCOMPARE(conn->scalar("SELECT count(*) FROM t_crediti WHERE NumeroFattura = '7/2026'").toInt(), 1);
    }

    void insertTakesItsPlace()
    {
        auto ds = openList();
        ds->setSort("Residuo ASC");
        ds->setFilter("[Stato] = 'APERTA'");
        QSignalSpy resets(ds.get(), &Dataset::rowsReset);
        ds->insert();
        ds->setValue("NumeroFattura", "8/2026");
        ds->setValue("Residuo", 150.0);
        ds->post();
        QCOMPARE(resets.count(), 1);
        QCOMPARE(column(*ds, "NumeroFattura"), (QStringList{"4/2026", "1/2026", "8/2026", "3/2026"}));
        QCOMPARE(ds->recNo(), 2);
        const qlonglong id = ds->value("ID").toLongLong();
        QCOMPARE(id, conn->scalar("SELECT ID FROM t_crediti WHERE NumeroFattura = '8/2026'").toLongLong());
        QCOMPARE(ds->value("Stato").toString(), QStringLiteral("APERTA")); // the table's default

        // A new row outside the filter is written but stays out of sight.
        ds->insert();
        ds->setValue("NumeroFattura", "9/2026");
        ds->setValue("Stato", "CHIUSA");
        ds->post();
        QCOMPARE(ds->recordCount(), 4);
        QCOMPARE(ds->value("NumeroFattura").toString(), QStringLiteral("8/2026"));
        ds->setFilter("[NumeroFattura] like '%9/%'");
        QCOMPARE(column(*ds, "NumeroFattura"), QStringList{"9/2026"});
    }

    void removeDeletesByIdAndKeepsSourceRows()
    {
        auto ds = openList();
        QVERIFY(ds->locate("NumeroFattura", "2/2026"));
        const int src = ds->sourceRow(ds->recNo());
        ds->remove();
        QCOMPARE(conn->scalar("SELECT count(*) FROM t_crediti").toInt(), 4);
        QCOMPARE(ds->recordCount(), 4);
        QCOMPARE(ds->recNo(), 1);
        QCOMPARE(ds->value("NumeroFattura").toString(), QStringLiteral("3/2026"));
        QCOMPARE(ds->sourceRow(1), src + 1);
        ds->setSort("NumeroFattura DESC"); // a tombstone must not come back
        QCOMPARE(column(*ds, "NumeroFattura"), (QStringList{"5/2026", "4/2026", "3/2026", "1/2026"}));
        ds->last();
        ds->remove();
        QCOMPARE(ds->recNo(), 2);
    }

    void hooksAbortAndOrder()
    {
        auto ds = openList();
        QStringList calls;
        ds->beforePost = [&](Dataset& d) {
            calls << "beforePost";
            if (d.value("Cliente").toString().isEmpty())
                throw Abort{};
        };
        ds->afterPost = [&](Dataset&) { calls << "afterPost"; };
        ds->beforeDelete = [&](Dataset&) {
            calls << "beforeDelete";
            throw Abort{};
        };
        ds->afterInsert = [&](Dataset& d) {
            calls << "afterInsert";
            d.setValue("Note", "predefinita");
        };
        ds->insert();
        QVERIFY_THROWS_EXCEPTION(Abort, ds->post());
        QCOMPARE(ds->state(), Dataset::State::Insert);
        ds->setValue("Cliente", "Nuovo");
        ds->post();
        QCOMPARE(calls, (QStringList{"afterInsert", "beforePost", "beforePost", "afterPost"}));
        QCOMPARE(conn->scalar("SELECT Note FROM t_crediti WHERE Cliente = 'Nuovo'").toString(),
                 QStringLiteral("predefinita"));
        QVERIFY_THROWS_EXCEPTION(Abort, ds->remove());
        QCOMPARE(conn->scalar("SELECT count(*) FROM t_crediti").toInt(), 6);
    }

    void readOnlyWithoutTable()
    {
        Dataset ds(*conn);
        ds.setSql("SELECT * FROM t_crediti");
        ds.open();
        QVERIFY_THROWS_EXCEPTION(Error, ds.edit());
        QVERIFY_THROWS_EXCEPTION(Error, ds.remove());
        QCOMPARE(ds.state(), Dataset::State::Browse);
    }

    void modelFollowsDataset()
    {
        auto ds = openList();
        DatasetModel model(ds.get());
        model.setColumns({{"Scadenza", "Scadenza"}, {"Residuo", "Importo residuo"}, {"Pagato", "Pagato"}});
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Importo residuo"));
        QCOMPARE(model.index(2, 1).data().toString(), QStringLiteral("€ 1.234,56"));
        QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("05/03/2026"));
        QCOMPARE(model.index(1, 2).data().toString(), QStringLiteral("SI"));
        QCOMPARE(model.index(2, 0).data().toString(), QString());
        QCOMPARE(model.index(0, 1).data(Qt::UserRole).value<Money>(), euro("100"));

        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        ds->setFilter("[Pagato] = 'NO'");
        QCOMPARE(resets.count(), 1);
        QCOMPARE(model.rowCount(), 3);
        model.sort(0, Qt::DescendingOrder);
        QCOMPARE(ds->sort(), QStringLiteral("[Scadenza] DESC"));
        QCOMPARE(model.index(2, 0).data().toString(), QString());
        ds->first();
        ds->edit();
        ds->setValue("Residuo", "7");
        ds->post();
        QCOMPARE(changes.count(), 1);
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("€ 7,00"));
    }

    void filterAlone()
    {
        // Outside a dataset: for callers that test rows of their own.
        const QStringList cols = {"A", "B"};
        RecordFilter f("NOT (A like '%x%') AND B IS NOT NULL", cols);
        QVERIFY(f.matches({QString("abc"), 1}));
        QVERIFY(!f.matches({QString("aXc"), 1}));
        QVERIFY(!f.matches({QString("abc"), QVariant()}));
        QVERIFY(RecordFilter("   ", cols).matches({QVariant(), QVariant()}));
    }
};

QTEST_GUILESS_MAIN(TstDataset)
#include "tst_dataset.moc"
