// The monthly import as a clerk runs it: 100,000 invoice rows (600 clients, 5 payment
// modes, two instalments per invoice) from CSV, the same file again (every row an
// update), and 100,000 rows from .xlsx, each loaded into the preview grid and imported
// (with the safety copy the first time a file is imported); against the floor of the
// sqlite3 shell's .import of the same CSV into a plain table, measured in the same run.
// Each case runs in a process of its own, so its peak memory is its own.
#include "Bench.h"

#include "ImportazioneLogic.h"
#include "Startup.h"

#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <sys/resource.h>

#include <cstdio>

using namespace sz;
using namespace sz::importazione;

namespace {

const char* const CaseVariable = "SZ_BENCH_IMPORT_CASE";
const char* const HomeVariable = "SZ_BENCH_IMPORT_HOME";
constexpr int Righe = 100000;

// The bounds the import is held to on this machine, idle.
constexpr double LimiteCsvMs = 2000, LimiteVolteFloor = 10, LimiteAncoraMs = 2000, LimiteXlsxMs = 4000,
                 LimiteMemoriaMb = 200;

const char* modalita[] = {"BONIFICO", "RI.BA.", "RIMESSA DIRETTA", "CONTANTI", "ASSEGNO"};

QByteArray righeCsv(int righe)
{
    QByteArray csv =
        "NUMERO;DATA;SCADENZA;IMPORTO;INCASSATO;DATA INCASSO;MODALITA;DESTINATARIO;CLIENTE;BANCA;NOTE\r\n";
    for (int i = 0; i < righe; ++i) {
        const int fattura = i / 2;
        const int giorno = 1 + fattura % 28, mese = 1 + fattura / 28 % 12;
        csv += QStringLiteral("%1/2025;%2/%3/2025;%4/%5/2025;%6,%7;%8;;%9;;CLIENTE %10 SRL;;rata %11\r\n")
                   .arg(fattura)
                   .arg(giorno, 2, 10, QLatin1Char('0'))
                   .arg(mese, 2, 10, QLatin1Char('0'))
                   .arg(giorno, 2, 10, QLatin1Char('0'))
                   .arg(std::min(12, mese + 1 + i % 2), 2, 10, QLatin1Char('0'))
                   .arg(100 + fattura % 900)
                   .arg(fattura % 100, 2, 10, QLatin1Char('0'))
                   .arg(i % 7 == 0 ? QStringLiteral("50,00") : QString())
                   .arg(QLatin1String(modalita[fattura % 5]))
                   .arg(fattura % 600)
                   .arg(i % 2 + 1)
                   .toUtf8();
    }
    return csv;
}

Scelte mappa()
{
    return {{QStringLiteral("NumeroFattura"), QStringLiteral("NUMERO")},
            {QStringLiteral("DataFattura"), QStringLiteral("DATA")},
            {QStringLiteral("Scadenza"), QStringLiteral("SCADENZA")},
            {QStringLiteral("Importo"), QStringLiteral("IMPORTO")},
            {QStringLiteral("ImportoIncassato"), QStringLiteral("INCASSATO")},
            {QStringLiteral("DataIncasso"), QStringLiteral("DATA INCASSO")},
            {QStringLiteral("ModalitaPagamento"), QStringLiteral("MODALITA")},
            {QStringLiteral("Cliente"), QStringLiteral("CLIENTE")},
            {QStringLiteral("Note"), QStringLiteral("NOTE")}};
}

void scriviXlsx(const QString& path, const QByteArray& csv)
{
    lxw_workbook* wb = workbook_new(path.toUtf8().constData());
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    const QList<QByteArray> righe = csv.split('\n');
    for (int r = 0; r < righe.size(); ++r) {
        const QList<QByteArray> campi = righe[r].trimmed().split(';');
        if (righe[r].trimmed().isEmpty()) continue;
        for (int c = 0; c < campi.size(); ++c)
            if (!campi[c].isEmpty())
                worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), campi[c].constData(), nullptr);
    }
    workbook_close(wb);
}

double ms(QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// ---- the child: one case, its figures on one line --------------------------------------

void caso(const QString& quale, const QString& home)
{
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
    const bool foglio = quale == QLatin1String("xlsx");
    const QString file = home + (foglio ? QStringLiteral("/fatture.xlsx") : QStringLiteral("/fatture.csv"));
    const bool ancora = quale == QLatin1String("again");
    db::Connection c(paths::defaultDatabasePath());
    if (!ancora) {
        c.exec(QStringLiteral("DELETE FROM t_crediti"));
        c.exec(QStringLiteral("DELETE FROM t_clienti"));
    }
    QElapsedTimer t;
    t.start();
    const Caricamento car = caricaFile(file, foglio ? TipoFile::Foglio : TipoFile::Csv, QLatin1Char(';'));
    const double carica = ms(t);
    t.restart();
    // The same file again is the clerk's second run in the same session: no new copy.
    if (!ancora) copiaDiSicurezza(c, paths::dataRoot());
    const double copia = ms(t);
    t.restart();
    const std::atomic<bool> annulla{false};
    const Esito e =
        importa(c, Tipo::Fatture, car.griglia, risolviColonne(car.griglia, Tipo::Fatture, mappa()), annulla);
    const double importo = ms(t);
    const qlonglong rate = c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_crediti")).toLongLong();
    rusage uso{};
    getrusage(RUSAGE_SELF, &uso);
    std::printf("RISULTATO %.1f %.1f %.1f %d %lld %d %lld %ld\n", carica, copia, importo, e.scritte,
                qlonglong(e.errori.size()), e.guasto.isEmpty() ? 0 : 1, rate, long(uso.ru_maxrss));
    std::fflush(stdout);
}

// ---- the parent -----------------------------------------------------------------------

struct Misura
{
    bool riuscita = false;
    double carica = 0, copia = 0, importo = 0, memoriaMb = 0;
    int scritte = 0;
    qlonglong scartate = 0, rate = 0;
    bool guasto = false;
    double totale() const { return carica + copia + importo; }
};

Misura esegui(const QString& quale, const QString& home)
{
    QProcess figlio;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(CaseVariable), quale);
    env.insert(QLatin1String(HomeVariable), home);
    figlio.setProcessEnvironment(env);
    figlio.setProcessChannelMode(QProcess::SeparateChannels);
    figlio.start(QCoreApplication::applicationFilePath(), {QStringLiteral("import")});
    figlio.waitForFinished(600000);
    Misura m;
    const QString uscita = QString::fromLocal8Bit(figlio.readAllStandardOutput());
    static const QRegularExpression riga(QStringLiteral("^RISULTATO (.*)$"),
                                         QRegularExpression::MultilineOption);
    const auto trovata = riga.match(uscita);
    if (figlio.exitStatus() != QProcess::NormalExit || figlio.exitCode() != 0 || !trovata.hasMatch()) {
        std::printf("%s: the child process failed (exit %d)\n%s%s", qPrintable(quale), figlio.exitCode(),
                    qPrintable(uscita), figlio.readAllStandardError().constData());
        return m;
    }
    const QStringList v = trovata.captured(1).split(QLatin1Char(' '));
    if (v.size() != 8) return m;
    m.riuscita = true;
    m.carica = v[0].toDouble();
    m.copia = v[1].toDouble();
    m.importo = v[2].toDouble();
    m.scritte = v[3].toInt();
    m.scartate = v[4].toLongLong();
    m.guasto = v[5] != QLatin1String("0");
    m.rate = v[6].toLongLong();
    m.memoriaMb = v[7].toDouble() / 1024.0;
    return m;
}

bool riuscito = true;

void limite(const char* cosa, double valore, double massimo, const char* unita)
{
    const bool entro = valore <= massimo;
    riuscito = riuscito && entro;
    std::printf("  %-44s %8.1f %-5s limit %6.0f %-5s %s\n", cosa, valore, unita, massimo, unita,
                entro ? "ok" : "OLTRE IL LIMITE");
}

void stampa(const char* titolo, const Misura& m, bool conCopia)
{
    if (!m.riuscita) {
        riuscito = false;
        std::printf("%s: no figures (OLTRE IL LIMITE)\n", titolo);
        return;
    }
    std::printf("%s: load %.0f ms, %simport %.0f ms, total %.0f ms (%d rows written, %lld rejected%s; %lld "
                "instalments in the register)\n",
                titolo, m.carica, conCopia ? qPrintable(QStringLiteral("safety copy %1 ms, ").arg(m.copia, 0, 'f', 0)) : "",
                m.importo, m.totale(), m.scritte, m.scartate, m.guasto ? ", FAILED" : "", m.rate);
    if (m.guasto || m.scritte != Righe) riuscito = false;
}

} // namespace

SZ_BENCH(import)
{
    if (qEnvironmentVariableIsSet(CaseVariable)) {
        caso(qEnvironmentVariable(CaseVariable), qEnvironmentVariable(HomeVariable));
        return;
    }
    // SZ_BENCH_HOME keeps the home (its files and database) for a profiler to run a child
    // in: SZ_BENCH_IMPORT_CASE=csv|again|xlsx SZ_BENCH_IMPORT_HOME=that scadenzio-bench import
    QTemporaryDir temporanea;
    const QString home = qEnvironmentVariable("SZ_BENCH_HOME", temporanea.path());
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
    startup::installDefaults();

    const QString csv = home + QStringLiteral("/fatture.csv");
    {
        QFile f(csv);
        f.open(QIODevice::WriteOnly);
        f.write(righeCsv(Righe));
    }
    // The floor: the sqlite3 shell's own CSV import into a plain table of text columns.
    double floor = 0;
    {
        QElapsedTimer t;
        t.start();
        QProcess p;
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty()
                                  ? QStringLiteral("sqlcipher")
                                  : QStringLiteral("sqlite3");
        p.start(shell, {home + QStringLiteral("/nudo.db"), QStringLiteral(".mode csv"),
                        QStringLiteral(".separator ;"), QStringLiteral(".import %1 fatture").arg(csv)});
        p.waitForFinished(-1);
        floor = ms(t);
        std::printf("floor: sqlite3 .import of the same 100,000-row CSV: %.0f ms (exit %d)\n", floor,
                    p.exitCode());
        std::fflush(stdout);
    }

    const Misura primo = esegui(QStringLiteral("csv"), home);
    stampa("100,000 invoice rows from CSV", primo, true);
    const Misura ancora = esegui(QStringLiteral("again"), home);
    stampa("the same CSV again (every row an update)", ancora, false);

    const QString xlsx = home + QStringLiteral("/fatture.xlsx");
    {
        QElapsedTimer t;
        t.start();
        scriviXlsx(xlsx, righeCsv(Righe));
        std::printf("(100,000-row .xlsx written by libxlsxwriter in %.0f ms)\n", ms(t));
    }
    const Misura foglio = esegui(QStringLiteral("xlsx"), home);
    stampa("100,000 invoice rows from .xlsx", foglio, true);

    std::printf("bounds (this machine, idle):\n");
    limite("CSV: total", primo.totale(), LimiteCsvMs, "ms");
    limite("CSV: times the sqlite3 floor", floor > 0 ? primo.totale() / floor : 0, LimiteVolteFloor, "x");
    limite("CSV: peak memory", primo.memoriaMb, LimiteMemoriaMb, "MB");
    limite("same CSV again: total", ancora.totale(), LimiteAncoraMs, "ms");
    limite("same CSV again: peak memory", ancora.memoriaMb, LimiteMemoriaMb, "MB");
    limite(".xlsx: total (reading included)", foglio.totale(), LimiteXlsxMs, "ms");
    limite(".xlsx: peak memory", foglio.memoriaMb, LimiteMemoriaMb, "MB");
    std::printf("import: %s\n", riuscito ? "ok" : "OLTRE IL LIMITE");
    std::fflush(stdout);
}
