// The credit register's list with a realistic book of 100,000 due dates: opening it,
// one keystroke in the search box with a state chosen (the filter as the frame
// composes it), and one click on a column title.
#include "Bench.h"
#include "BenchData.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Money.h"
#include "scadenzio/Widgets.h"

#include "CreditiLogic.h"

#include <QTemporaryDir>
#include <cstdio>

using namespace sz;
using namespace sz::db;

namespace {

} // namespace

SZ_BENCH(credits)
{
    QTemporaryDir dir;
    const int n = 100000;
    QElapsedTimer t;
    t.start();
    const QString path = dir.path() + QStringLiteral("/crediti.mdb");
    Connection::createDatabase(path);
    {
        Connection conn(path);
        conn.exec(QString::fromUtf8(creaCrediti));
        riempiCrediti(conn, n);
    }
    std::printf("(%d credit rows written in %.0f ms)\n", n, double(t.elapsed()));
    Connection conn(path);

    Dataset ds(conn, QStringLiteral("t_crediti"));
    ds.setSql(credits::SqlCrediti);
    DatasetModel model(&ds); // resets are paid for as the list's grid pays them
    benchReport(
        QStringLiteral("credits: open the register, 100k rows"), [&] { ds.open(); }, 3);

    const QString stato = credits::clausolaStato(credits::SceltaStato::Aperti);
    ds.setFilter(credits::componiFiltro(stato, {}, {}, {}));
    std::printf("(%d open rows)\n", ds.recordCount());
    const QStringList digitato = {"r", "ro", "ros", "ross", "ros"};
    int k = 0;
    benchReport(
        QStringLiteral("credits: one keystroke, state + five-column like"),
        [&] {
            const QString testo = digitato[k++ % digitato.size()];
            ds.setFilter(credits::componiFiltro(stato, {}, credits::clausolaTesto(testo), testo));
        },
        5);
    std::printf("(%d rows match state APERTA and the last text)\n", ds.recordCount());

    ds.setFilter(QString());
    benchReport(
        QStringLiteral("credits: title click on Cliente (first: ranks the column)"),
        [&] { ds.setSort(ui::Grid::nextSort(ds.sort(), QStringLiteral("Cliente"))); }, 1);
    benchReport(
        QStringLiteral("credits: title click on Cliente again"),
        [&] { ds.setSort(ui::Grid::nextSort(ds.sort(), QStringLiteral("Cliente"))); }, 5);
    benchReport(
        QStringLiteral("credits: title click on Importo (formatted text)"),
        [&] { ds.setSort(ui::Grid::nextSort(ds.sort(), QStringLiteral("ImportoParziale"))); }, 1);
}
