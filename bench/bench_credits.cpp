// The credit register's list with a realistic book of 100,000 due dates: opening it,
// one keystroke in the search box with a state chosen (the filter as the frame
// composes it), and one click on a column title.
#include "Bench.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Money.h"
#include "scadenzio/Widgets.h"

#include "CreditiLogic.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

using namespace sz;
using namespace sz::db;

namespace {

const char* const creaCrediti = R"(CREATE TABLE t_crediti (
    ID INTEGER PRIMARY KEY AUTOINCREMENT, NumeroFattura VARCHAR(255), DataFattura DATETIME,
    Scadenza DATETIME, Importo CURRENCY, Incassato CURRENCY, Residuo CURRENCY, DataIncasso VARCHAR(255),
    Note VARCHAR(255), Pagato VARCHAR(5), ModalitaPagamento VARCHAR(255), Banca VARCHAR(255),
    Preavviso DATETIME, Sollecito1 DATETIME, Sollecito2 DATETIME, Sollecito3 DATETIME,
    DestinatarioFattura VARCHAR(255), Cliente VARCHAR(255), Stato VARCHAR(6), ImportoTotale CURRENCY))";

QString registro(const QTemporaryDir& dir, int righe)
{
    const QString path = dir.path() + QStringLiteral("/crediti.mdb");
    Connection::createDatabase(path);
    Connection conn(path);
    conn.exec(QString::fromUtf8(creaCrediti));
    QRandomGenerator rng(20260307);
    static const QStringList cognomi = {"ROSSI",   "BIANCHI",  "FERRARI", "ESPOSITO", "ROMANO", "COLOMBO",
                                        "RICCI",   "MARINO",   "GRECO",   "BRUNO",    "GALLO",  "CONTI",
                                        "DE LUCA", "MANCINI",  "COSTA",   "GIORDANO", "RIZZO",  "LOMBARDI",
                                        "MORETTI", "D'ANGELO", "FONTANA", "SANTORO"};
    static const QStringList forme = {
        "S.R.L.",          "S.P.A.",           "& FIGLI S.N.C.",   "COSTRUZIONI S.R.L.",
        "IMPIANTI S.A.S.", "TRASPORTI S.R.L.", "STUDIO ASSOCIATO", "CONDOMINIO VIA VERDI"};
    static const QStringList modi = {"BONIFICO", "RI.BA.", "R.D."};
    static const QStringList banche = {"INTESA SANPAOLO", "UNICREDIT", "BPER BANCA", "CREDEM"};
    static const QStringList note = {
        "", "", "RATEIZZATO", "SOLLECITATO AL TELEFONO", "CONTESTAZIONE IN CORSO", "PROMESSA DI PAGAMENTO"};
    QStringList clienti;
    for (int i = 0; i < 700; ++i)
        clienti << cognomi[rng.bounded(cognomi.size())] + QLatin1Char(' ') + forme[rng.bounded(forme.size())];

    Transaction tx(conn);
    Statement ins(
        conn,
        QStringLiteral(
            "INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Importo, Incassato, Residuo, "
            "DataIncasso, Note, "
            "Pagato, ModalitaPagamento, Banca, Preavviso, Sollecito1, DestinatarioFattura, Cliente, Stato, "
            "ImportoTotale) "
            "VALUES (:n, :d, :s, :i, :inc, :r, :di, :note, :p, :m, :b, :pre, :s1, :dest, :c, :st, :t)"));
    const QDate base(2019, 1, 1);
    int riga = 0;
    for (int doc = 0; riga < righe; ++doc) {
        const QDate data = base.addDays(rng.bounded(2600));
        const int rate = rng.bounded(10) < 8 ? 1 : 3;
        const Money importo = Money::fromCents(qint64(rng.bounded(5000, 1500000)));
        const QString cliente = clienti[rng.bounded(clienti.size())];
        const bool chiuso = rng.bounded(100) < 55;
        for (int r = 0; r < rate && riga < righe; ++r, ++riga) {
            const QDate scad = data.addMonths(r + 1);
            const Money incassato = chiuso ? importo : Money();
            const bool sollecitato = !chiuso && rng.bounded(3) == 0;
            ins.run(
                {{"n",
                  QStringLiteral("FT %1/%2").arg(doc % 9000 + 1, 4, 10, QLatin1Char('0')).arg(data.year())},
                 {"d", data},
                 {"s", scad},
                 {"i", QVariant::fromValue(importo)},
                 {"inc", QVariant::fromValue(incassato)},
                 {"r", QVariant::fromValue(importo - incassato)},
                 {"di", chiuso ? QVariant(scad.toString("dd/MM/yyyy") + " (" + importo.toPlain() + " €)")
                               : QVariant()},
                 {"note", note[rng.bounded(note.size())]},
                 {"p", chiuso ? "SI" : "NO"},
                 {"m", modi[rng.bounded(modi.size())]},
                 {"b", banche[rng.bounded(banche.size())]},
                 {"pre", sollecitato ? QVariant(scad.addDays(5)) : QVariant()},
                 {"s1", sollecitato ? QVariant(scad.addDays(20)) : QVariant()},
                 {"dest", cliente},
                 {"c", cliente},
                 {"st", chiuso ? "CHIUSA" : "APERTA"},
                 {"t", QVariant::fromValue(Money::fromRaw(importo.raw() * rate))}});
        }
    }
    tx.commit();
    return path;
}

} // namespace

SZ_BENCH(credits)
{
    QTemporaryDir dir;
    const int n = 100000;
    QElapsedTimer t;
    t.start();
    const QString path = registro(dir, n);
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
