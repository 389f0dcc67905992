// The credit register of 100,000 due dates opened from a PostgreSQL server on 127.0.0.1 and
// from the encrypted file, in the same run: a firm that moves to the server must not wait
// much longer for its list. Floor: the server at most 1.5 times the file.
//
// The server is SZ_TEST_PG_URI when set, otherwise a throwaway cluster the bench starts and
// stops itself (scripts/pg-test-cluster).
#include "Bench.h"
#include "BenchData.h"

#include "CreditiLogic.h"
#include "Startup.h"
#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdio>

using namespace sz;
using namespace sz::db;

namespace {

constexpr double LimiteVolteFile = 1.5;

// Starts the throwaway cluster and takes its address into this process's environment.
bool avviaCluster(const QString& dir)
{
    QProcess p;
    p.start(QStringLiteral(SZ_SOURCE_DIR "/scripts/pg-test-cluster"), {QStringLiteral("start"), dir});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        std::printf("server: the test cluster did not start: %s\n", p.readAllStandardError().constData());
        return false;
    }
    static const QRegularExpression riga(QStringLiteral("^export (\\w+)=(.*)$"), QRegularExpression::MultilineOption);
    auto it = riga.globalMatch(QString::fromUtf8(p.readAllStandardOutput()));
    while (it.hasNext()) {
        const auto m = it.next();
        QString v = m.captured(2).trimmed();
        if (v.size() >= 2 && (v.startsWith(QLatin1Char('\'')) || v.startsWith(QLatin1Char('"'))))
            v = v.mid(1, v.size() - 2);
        qputenv(m.captured(1).toLatin1().constData(), v.toUtf8());
    }
    return qEnvironmentVariableIsSet("SZ_TEST_PG_URI");
}

void fermaCluster(const QString& dir)
{
    QProcess::execute(QStringLiteral(SZ_SOURCE_DIR "/scripts/pg-test-cluster"), {QStringLiteral("stop"), dir});
}

void riempi(Connection& conn, int n)
{
    riempiCrediti(conn, n);
    Transaction tx(conn);
    const Result clienti = conn.query(QStringLiteral("SELECT DISTINCT Cliente FROM t_crediti"));
    Statement ins(conn, QStringLiteral("INSERT INTO t_clienti (RagioneSociale) VALUES (:c)"));
    for (const auto& row : clienti.rows)
        ins.run({{QStringLiteral("c"), row[0]}});
    tx.commit();
}

double apri(Connection& conn, const QString& cosa)
{
    Dataset ds(conn, QStringLiteral("t_crediti"));
    ds.setSql(credits::SqlCrediti, credits::parametriElenco(QDate::currentDate()));
    const double ms = benchReport(cosa, [&] { ds.open(); }, 3);
    std::printf("(%d rows)\n", ds.recordCount());
    return ms;
}

} // namespace

SZ_BENCH(server)
{
    QTemporaryDir home, cluster;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    const bool nostro = !qEnvironmentVariableIsSet("SZ_TEST_PG_URI");
    const QString dirCluster = cluster.path() + QStringLiteral("/pg");
    if (nostro && !avviaCluster(dirCluster)) {
        std::printf("server: SKIPPED, no PostgreSQL server\n");
        return;
    }
    const int n = 100000;
    startup::installDefaults();
    double file = 0, server = 0;
    {
        Connection conn(paths::defaultDatabasePath());
        riempi(conn, n);
        file = apri(conn, QStringLiteral("server: open the register from the file, 100k rows"));
    }
    const QString admin = qEnvironmentVariable("SZ_TEST_PG_URI");
    const QString nome = QStringLiteral("szb_%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    try {
        Connection(admin).exec(QStringLiteral("CREATE DATABASE %1").arg(nome));
        QUrl url(admin);
        url.setPath(QLatin1Char('/') + nome);
        {
            startup::createInstalledDatabase(url.toString());
            Connection conn(url.toString());
            QElapsedTimer t;
            t.start();
            riempi(conn, n);
            std::printf("(%d credit rows written to the server in %.0f ms)\n", n, double(t.elapsed()));
            conn.exec(QStringLiteral("ANALYZE"));
            server = apri(conn, QStringLiteral("server: open the register from the server on 127.0.0.1, 100k rows"));
        }
        Connection(admin).exec(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(nome));
    } catch (const sz::Error& e) {
        std::printf("server: FAILED: %s\n", qPrintable(e.message()));
    }
    if (server > 0 && file > 0) {
        const double volte = server / file;
        std::printf("%-60s %9.2f x   (limit %.1f x) %s\n", "server: times the file", volte, LimiteVolteFile,
                    volte <= LimiteVolteFile ? "OK" : "OVER THE LIMIT");
    }
    if (nostro)
        fermaCluster(dirCluster);
}
