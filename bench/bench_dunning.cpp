// The dunning lists over a book of 100,000 due dates, 700 clients of which a few are
// suspended, and a letter log of the credits already reminded: what the frame runs each
// time a tab is shown, with and without a spacing between letters.
#include "Bench.h"
#include "BenchData.h"

#include "Startup.h"

#include "scadenzio/Database.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Paths.h"

#include "SollecitiLogic.h"

#include <QDate>
#include <QTemporaryDir>
#include <cstdio>

using namespace sz;
using namespace sz::db;

SZ_BENCH(dunning)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    startup::installDefaults();
    const QString path = paths::defaultDatabasePath();
    Connection conn(path);
    const int n = 100000;
    riempiCrediti(conn, n);

    // Every client in the registry, one in twenty suspended; two logged letters for each
    // credit that was reminded.
    {
        Transaction tx(conn);
        const Result clienti = conn.query(QStringLiteral("SELECT DISTINCT Cliente FROM t_crediti"));
        Statement ins(conn, QStringLiteral("INSERT INTO t_clienti (RagioneSociale, SospendiSolleciti) VALUES (:c, :s)"));
        for (int i = 0; i < clienti.rows.size(); ++i)
            ins.run({{"c", clienti.rows[i][0]}, {"s", i % 20 == 0}});
        const Result sollecitati = conn.query(QStringLiteral(
            "SELECT ID, Cliente, NumeroFattura, DataFattura, Preavviso, Sollecito1 FROM t_crediti WHERE Preavviso IS NOT NULL"));
        for (const auto& r : sollecitati.rows) {
            invii::Invio v;
            v.idCredito = r[0].toLongLong();
            v.cliente = r[1].toString();
            v.numeroFattura = r[2].toString();
            v.dataFattura = r[3].toDate();
            v.modo = QStringLiteral("DOCUMENTO");
            v.canale = QStringLiteral("PDF");
            v.esito = invii::Creata;
            v.fase = QStringLiteral("PREAVVISO");
            v.dataOra = QDateTime(r[4].toDate(), QTime(9, 0));
            invii::registra(conn, v);
            v.fase = QStringLiteral("SOLLECITO1");
            v.dataOra = QDateTime(r[5].toDate(), QTime(9, 0));
            invii::registra(conn, v);
        }
        tx.commit();
        std::printf("(%d credits, %lld clients, %lld logged letters)\n", n, qlonglong(clienti.rows.size()),
                    qlonglong(sollecitati.rows.size() * 2));
    }

    const QDate oggi(2026, 6, 30);
    for (int giorni : {0, 10}) {
        conn.exec(QStringLiteral("UPDATE t_parametri SET GiorniTraSolleciti = :g"), {{"g", giorni}});
        qlonglong righe = 0;
        benchReport(QStringLiteral("dunning: per-document list, spacing %1 days").arg(giorni), [&] {
            righe = conn.query(dunning::sqlCreditiPerDocumento(), dunning::parametriLista(oggi)).rows.size();
        }, 3);
        std::printf("(%lld credits listed)\n", righe);
        benchReport(QStringLiteral("dunning: client box, spacing %1 days").arg(giorni),
                    [&] { dunning::LoadComboClienti(conn, oggi); }, 3);
    }
}
