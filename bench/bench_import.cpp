// The monthly import as a clerk runs it: 100,000 invoice rows (600 clients, 5 payment
// modes, two instalments per invoice) from CSV, and 20,000 from .xlsx, loaded into the
// preview grid and imported with the safety copy; against the floor of the sqlite3
// shell's .import of the same CSV into a plain table, measured in the same run.
#include "Bench.h"

#include "ImportazioneLogic.h"
#include "Startup.h"

#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <cstdio>

using namespace sz;
using namespace sz::importazione;

namespace {

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

void importaUna(const QString& titolo, const QString& file, TipoFile tipoFile, const QString& dataRoot)
{
    db::Connection c(paths::defaultDatabasePath());
    c.exec(QStringLiteral("DELETE FROM t_crediti"));
    c.exec(QStringLiteral("DELETE FROM t_clienti"));
    QElapsedTimer t;
    t.start();
    const Caricamento car = caricaFile(file, tipoFile, QLatin1Char(';'));
    const double carica = ms(t);
    t.restart();
    copiaDiSicurezza(c, dataRoot);
    const double copia = ms(t);
    t.restart();
    const std::atomic<bool> annulla{false};
    const Esito e =
        importa(c, Tipo::Fatture, car.griglia, risolviColonne(car.griglia, Tipo::Fatture, mappa()), annulla);
    const double importo = ms(t);
    std::printf("%s: load %.0f ms, safety copy %.0f ms, import %.0f ms, total %.0f ms (%d rows written, %lld "
                "rejected%s)\n",
                qPrintable(titolo), carica, copia, importo, carica + copia + importo, e.scritte,
                qlonglong(e.errori.size()), e.guasto.isEmpty() ? "" : ", FAILED");
}

} // namespace

SZ_BENCH(import)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    startup::installDefaults();

    const QString csv = home.filePath(QStringLiteral("fatture.csv"));
    const QByteArray testo = righeCsv(100000);
    {
        QFile f(csv);
        f.open(QIODevice::WriteOnly);
        f.write(testo);
    }
    // The floor: the sqlite3 shell's own CSV import into a plain table of text columns.
    {
        QElapsedTimer t;
        t.start();
        QProcess p;
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty()
                                  ? QStringLiteral("sqlcipher")
                                  : QStringLiteral("sqlite3");
        p.start(shell, {home.filePath(QStringLiteral("nudo.db")), QStringLiteral(".mode csv"),
                        QStringLiteral(".separator ;"), QStringLiteral(".import %1 fatture").arg(csv)});
        p.waitForFinished(-1);
        std::printf("floor: sqlite3 .import of the same 100,000-row CSV: %.0f ms (exit %d)\n", ms(t),
                    p.exitCode());
    }
    importaUna(QStringLiteral("100,000 invoice rows from CSV"), csv, TipoFile::Csv, paths::dataRoot());
    // The same file again: every instalment is found and updated, nothing new.
    {
        db::Connection c(paths::defaultDatabasePath());
        QElapsedTimer t;
        t.start();
        const Caricamento car = caricaFile(csv, TipoFile::Csv, QLatin1Char(';'));
        const std::atomic<bool> annulla{false};
        const Esito e = importa(c, Tipo::Fatture, car.griglia,
                                risolviColonne(car.griglia, Tipo::Fatture, mappa()), annulla);
        std::printf("the same CSV again: %.0f ms (%d rows updated, %lld instalments in the register)\n",
                    ms(t), e.scritte,
                    c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_crediti")).toLongLong());
    }

    const QString xlsx = home.filePath(QStringLiteral("fatture.xlsx"));
    {
        QElapsedTimer t;
        t.start();
        scriviXlsx(xlsx, righeCsv(20000));
        std::printf("(20,000-row .xlsx written by libxlsxwriter in %.0f ms)\n", ms(t));
    }
    importaUna(QStringLiteral("20,000 invoice rows from .xlsx"), xlsx, TipoFile::Foglio, paths::dataRoot());
}
