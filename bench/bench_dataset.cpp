#include "Bench.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Money.h"

#include <QDate>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>

using namespace sz;
using namespace sz::db;

namespace {

const char* const createCredits = R"(CREATE TABLE t_crediti (
    ID INTEGER PRIMARY KEY AUTOINCREMENT, NumeroFattura VARCHAR(255), DataFattura DATETIME,
    Scadenza DATETIME, Importo CURRENCY, Incassato CURRENCY, Residuo CURRENCY, DataIncasso DATETIME,
    Note VARCHAR(255), Pagato YESNO, ModalitaPagamento VARCHAR(255), Banca VARCHAR(255),
    Preavviso DATETIME, Sollecito1 DATETIME, Sollecito2 DATETIME, Sollecito3 DATETIME,
    DestinatarioFattura VARCHAR(255), Cliente VARCHAR(255), Stato VARCHAR(50), ImportoTotale CURRENCY))";

// Names of a plausible customer book: a few hundred firms, many invoices each.
QString firmName(QRandomGenerator& rng)
{
    static const QStringList first = {"Rossi", "Bianchi", "Ferrari", "Esposito", "Romano", "Colombo", "Ricci",
                                      "Marino", "Greco", "Bruno", "Gallo", "Conti", "De Luca", "Mancini",
                                      "Costa", "Giordano", "Rizzo", "Lombardi", "Moretti", "Barbieri",
                                      "Fontana", "Santoro", "Mariani", "Rinaldi", "Caruso", "Ferrara",
                                      "Galli", "Martini", "Leone", "Longo", "Gentile", "Martinelli", "Vitale",
                                      "Lombardo", "Serra", "Coppola", "De Santis", "D'Angelo", "Marchetti",
                                      "Parisi", "Villa", "Conte", "Ferraro", "Ferri", "Fabbri", "Bianco",
                                      "Marini", "Grasso", "Valentini", "Messina"};
    static const QStringList kind = {"S.r.l.", "S.p.A.", "& Figli S.n.c.", "Costruzioni S.r.l.",
                                     "Impianti S.a.s.", "Trasporti S.r.l.", "Edilizia S.p.A.", "Studio Associato",
                                     "Arredamenti", "Officina Meccanica"};
    return first[rng.bounded(first.size())] + QLatin1Char(' ') + kind[rng.bounded(kind.size())];
}

QString makeDatabase(const QTemporaryDir& dir, int rows)
{
    const QString path = dir.path() + QStringLiteral("/bench.mdb");
    Connection::createDatabase(path);
    Connection conn(path);
    conn.exec(QString::fromUtf8(createCredits));
    QRandomGenerator rng(20260305);
    QStringList firms;
    for (int i = 0; i < 600; ++i)
        firms << firmName(rng);
    static const QStringList modes = {"Bonifico bancario 30 gg", "Ri.Ba. 60 gg d.f.f.m.", "Rimessa diretta",
                                      "Bonifico 90 gg", "Contanti"};
    static const QStringList banks = {"Banca Popolare di Sondrio", "Intesa Sanpaolo", "UniCredit",
                                      "Credito Emiliano", "BPER Banca"};
    static const QStringList notes = {"", "Sollecitato telefonicamente", "Contestazione in corso",
                                      "Promessa di pagamento a fine mese", "Rateizzato in tre rate", ""};

    Transaction tr(conn);
    Statement ins(conn, QStringLiteral(
        "INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Importo, Incassato, Residuo, DataIncasso, "
        "Note, Pagato, ModalitaPagamento, Banca, Preavviso, Sollecito1, Sollecito2, Sollecito3, "
        "DestinatarioFattura, Cliente, Stato, ImportoTotale) VALUES (:nf, :df, :sc, :imp, :inc, :res, :di, "
        ":note, :pag, :mod, :banca, :pre, :s1, :s2, :s3, :dest, :cli, :stato, :tot)"));
    const QDate base(2019, 1, 1);
    for (int i = 0; i < rows; ++i) {
        const QDate invoice = base.addDays(rng.bounded(2600));
        const QDate due = invoice.addDays(30 * (1 + rng.bounded(4)));
        const Money amount = Money::fromCents(qint64(rng.bounded(5000, 2500000)));
        const bool paid = rng.bounded(100) < 55;
        const Money cashed = paid ? amount : Money::fromCents(amount.raw() / 100 * rng.bounded(50) / 100);
        const int dunning = paid ? 0 : rng.bounded(5);
        const QString firm = firms[rng.bounded(firms.size())];
        auto maybe = [](bool on, const QDate& d) { return on ? QVariant(d) : QVariant(); };
        ins.run({{"nf", QStringLiteral("%1/%2").arg(i % 9000 + 1).arg(invoice.year())},
                 {"df", invoice},
                 {"sc", due},
                 {"imp", QVariant::fromValue(amount)},
                 {"inc", QVariant::fromValue(cashed)},
                 {"res", QVariant::fromValue(amount - cashed)},
                 {"di", maybe(paid, due.addDays(rng.bounded(40)))},
                 {"note", notes[rng.bounded(notes.size())]},
                 {"pag", paid},
                 {"mod", modes[rng.bounded(modes.size())]},
                 {"banca", banks[rng.bounded(banks.size())]},
                 {"pre", maybe(dunning >= 1, due.addDays(10))},
                 {"s1", maybe(dunning >= 2, due.addDays(30))},
                 {"s2", maybe(dunning >= 3, due.addDays(60))},
                 {"s3", maybe(dunning >= 4, due.addDays(90))},
                 {"dest", rng.bounded(4) == 0 ? firms[rng.bounded(firms.size())] : firm},
                 {"cli", firm},
                 {"stato", paid ? QStringLiteral("CHIUSA") : QStringLiteral("APERTA")},
                 {"tot", QVariant::fromValue(amount)}});
    }
    tr.commit();
    return path;
}

const QString listQuery = QStringLiteral("SELECT *, FORMAT(Importo, '€ #,##0.00') AS ImportoParziale, "
                                         "FORMAT(Residuo, '€ #,##0.00') AS ImportoResiduo FROM t_crediti");

QString searchFilter(const QString& word)
{
    QStringList parts;
    for (const char* col : {"NumeroFattura", "Cliente", "DestinatarioFattura", "Note", "ModalitaPagamento"})
        parts << QStringLiteral("[%1] like '%%2%'").arg(QLatin1String(col), word);
    return parts.join(QStringLiteral(" OR "));
}

} // namespace

SZ_BENCH(dataset)
{
    QTemporaryDir dir;
    const int n = 100000;
    QElapsedTimer t;
    t.start();
    const QString path = makeDatabase(dir, n);
    std::printf("(%d credit rows written in %.0f ms)\n", n, double(t.elapsed()));
    Connection conn(path);

    Dataset ds(conn, QStringLiteral("t_crediti"));
    ds.setSql(listQuery);
    // A model attached as in the lists, so resets are paid for as the program pays them.
    DatasetModel model(&ds);
    benchReport(QStringLiteral("open list query, 100k rows"), [&] { ds.open(); }, 3);
    benchReport(QStringLiteral("  of which reading the rows (Statement::run)"),
                [&] { Statement(conn, listQuery).run(); }, 3);

    // The first keystroke after an open folds the searched columns once.
    benchReport(QStringLiteral("filter, first keystroke after open"), [&] { ds.setFilter(searchFilter("r")); }, 1);
    const QStringList typing = {"ro", "ros", "ross", "ros", "ro"};
    int k = 0;
    benchReport(QStringLiteral("filter keystroke, like on five columns"),
                [&] { ds.setFilter(searchFilter(typing[k++ % typing.size()])); }, 5);
    ds.setFilter(searchFilter("ros"));
    std::printf("(%d rows match '%%ros%%')\n", ds.recordCount());
    benchReport(QStringLiteral("filter keystroke with state, list form"), [&] {
        ds.setFilter(QStringLiteral("([NumeroFattura] like '%ros%' AND ([Stato] = 'APERTA')) OR ([Cliente] like "
                                    "'%ros%' AND ([Stato] = 'APERTA')) OR ([DestinatarioFattura] like '%ros%' AND "
                                    "([Stato] = 'APERTA')) OR ([Note] like '%ros%' AND ([Stato] = 'APERTA')) OR "
                                    "([ModalitaPagamento] like '%ros%' AND ([Stato] = 'APERTA')) "));
    });
    ds.setFilter(QString());

    // The first click on a column pays for its keys; later clicks on it reuse them.
    benchReport(QStringLiteral("sort Cliente, first click"), [&] { ds.setSort(QStringLiteral("Cliente ASC")); }, 1);
    benchReport(QStringLiteral("sort Scadenza, first click"), [&] { ds.setSort(QStringLiteral("Scadenza ASC")); }, 1);
    benchReport(QStringLiteral("sort ImportoResiduo (text), first click"),
                [&] { ds.setSort(QStringLiteral("ImportoResiduo ASC")); }, 1);
    bool desc = false;
    auto toggle = [&](const char* field) {
        return [&, field] {
            desc = !desc;
            ds.setSort(QStringLiteral("%1 %2").arg(QLatin1String(field), desc ? "DESC" : "ASC"));
        };
    };
    benchReport(QStringLiteral("sort Cliente, again"), toggle("Cliente"), 5);
    benchReport(QStringLiteral("sort Scadenza, again"), toggle("Scadenza"), 5);
    benchReport(QStringLiteral("sort ImportoResiduo, again"), toggle("ImportoResiduo"), 5);
    benchReport(QStringLiteral("filter keystroke on sorted list"),
                [&] { ds.setFilter(searchFilter(typing[k++ % typing.size()])); }, 5);
    benchReport(QStringLiteral("requery keeping filter and sort"), [&] { ds.requery(); }, 3);
}
