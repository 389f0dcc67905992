// The credit register's list with a realistic book of 100,000 due dates, some of them
// suspended by themselves or by their client: opening it,
// one keystroke in the search box with a state chosen (the filter as the frame
// composes it), and one click on a column title.
#include "Bench.h"
#include "BenchData.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Money.h"
#include "scadenzio/Widgets.h"

#include "Startup.h"

#include "scadenzio/Paths.h"

#include "CreditiLogic.h"

#include <QTemporaryDir>
#include <cstdio>

using namespace sz;
using namespace sz::db;

namespace {

} // namespace

SZ_BENCH(credits)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    startup::installDefaults();
    const QString path = paths::defaultDatabasePath();
    const int n = 100000;
    QElapsedTimer t;
    t.start();
    {
        Connection conn(path);
        riempiCrediti(conn, n);
        // Every client in the registry, one in twenty suspended; one credit in fifty
        // suspended by itself.
        Transaction tx(conn);
        const Result clienti = conn.query(QStringLiteral("SELECT DISTINCT Cliente FROM t_crediti"));
        Statement ins(conn, QStringLiteral("INSERT INTO t_clienti (RagioneSociale, SospendiSolleciti, "
                                           "MotivoSospensione) VALUES (:c, :s, 'TRATTATIVA')"));
        for (int i = 0; i < clienti.rows.size(); ++i)
            ins.run({{"c", clienti.rows[i][0]}, {"s", i % 20 == 0}});
        conn.exec(QStringLiteral("UPDATE t_crediti SET SospendiSolleciti = 1, SospesoFino = '2099-12-31' "
                                 "WHERE ID % 50 = 0"));
        tx.commit();
    }
    std::printf("(%d credit rows written in %.0f ms)\n", n, double(t.elapsed()));
    Connection conn(path);

    Dataset ds(conn, QStringLiteral("t_crediti"));
    ds.setSql(credits::SqlCrediti, credits::parametriElenco(QDate::currentDate()));
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

    ds.setFilter(credits::componiFiltro(stato, {}, {}, {}, credits::clausolaSospesi(true)));
    std::printf("(%d open rows suspended, by themselves or by their client)\n", ds.recordCount());

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
