// The tax agency portal's download of a year of issued invoices: a ZIP of 5,000 files
// (600 customers, one to three instalments each, one in fifty signed .p7m, with the
// exchange system's metadata file beside each invoice), loaded into the preview grid and
// imported with the safety copy; against the floor of reading every entry with libzip and
// passing it through a bare QXmlStreamReader, measured in the same run.
#include "Bench.h"

#include "FatturaGen.h"
#include "FattureElettroniche.h"
#include "ImportazioneLogic.h"
#include "Startup.h"

#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"
#include "scadenzio/sheets/FatturaPA.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdio>

using namespace sz;
using namespace sz::importazione;

namespace {

double millisecondi(QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

QByteArray fattura(int i, const QString& cartella, bool firmata)
{
    fatturagen::Fattura f;
    f.prefisso = i % 3 == 0 ? QStringLiteral("p") : i % 3 == 1 ? QStringLiteral("ns0") : QString();
    f.denominazione = QStringLiteral("Cliente %1 S.r.l.").arg(i % 600);
    f.clienteIva = QStringLiteral("%1").arg(10000000000LL + i % 600);
    fatturagen::Corpo c;
    c.numero = QStringLiteral("%1/FE").arg(i + 1);
    c.data = QDate(2025, 1, 1).addDays(i % 365).toString(Qt::ISODate);
    const int rate = 1 + i % 3;
    c.condizioni = rate > 1 ? QStringLiteral("TP01") : QStringLiteral("TP02");
    for (int r = 0; r < rate; ++r)
        c.rate << fatturagen::Rata{i % 2 ? QStringLiteral("MP05") : QStringLiteral("MP12"),
                                   QDate(2025, 1, 1).addDays(i % 365 + 30 * (r + 1)).toString(Qt::ISODate),
                                   {},
                                   {},
                                   QStringLiteral("%1.%2").arg(100 + i % 900).arg(i % 100, 2, 10, QLatin1Char('0')),
                                   {}};
    f.corpi = {c};
    const QByteArray xml = fatturagen::xml(f);
    return firmata ? fatturagen::firma(xml, cartella) : xml;
}

} // namespace

SZ_BENCH(einvoices)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    startup::installDefaults();
    {
        db::Connection c(paths::defaultDatabasePath());
        c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, IVA) VALUES ('ALFA SRL', '01234567890')"));
    }

    const int quante = 5000;
    const QString zip = home.filePath(QStringLiteral("fatture.zip"));
    {
        QElapsedTimer t;
        t.start();
        QList<QPair<QString, QByteArray>> voci;
        for (int i = 0; i < quante; ++i) {
            const bool firmata = i % 50 == 0;
            const QString nome = QStringLiteral("IT01234567890_%1.xml%2")
                                     .arg(i + 1, 5, 36, QLatin1Char('0'))
                                     .arg(firmata ? QStringLiteral(".p7m") : QString());
            voci << qMakePair(nome, fattura(i, home.path(), firmata));
            voci << qMakePair(QStringLiteral("IT01234567890_%1_MT_001.xml").arg(i + 1, 5, 36, QLatin1Char('0')),
                              QByteArray("<?xml version=\"1.0\"?><ns3:FileMetadati xmlns:ns3=\"http://www.fatturapa.gov."
                                         "it/sdi/messaggi/v1.0\"><IdentificativoSdI>1</IdentificativoSdI>"
                                         "</ns3:FileMetadati>"));
        }
        fatturagen::zip(zip, voci);
        std::printf("(ZIP of %d invoices and their metadata written in %.0f ms)\n", quante, millisecondi(t));
    }

    // The floor: the archive's entries read and every XML parsed, with nothing built.
    {
        QElapsedTimer t;
        t.start();
        QFile f(zip);
        f.open(QIODevice::ReadOnly);
        const QByteArray dati = f.readAll();
        qint64 elementi = 0;
        fatturapa::leggiZip(
            dati, zip,
            [&](const QString&, const QByteArray& d) {
                QXmlStreamReader x(d);
                while (!x.atEnd())
                    if (x.readNext() == QXmlStreamReader::StartElement) ++elementi;
            },
            [](const QString&, const QString&) {});
        std::printf("floor: libzip reading and QXmlStreamReader parsing every entry: %.0f ms (%lld elements; the "
                    "signed ones unparsed)\n",
                    millisecondi(t), elementi);
    }

    db::Connection c(paths::defaultDatabasePath());
    QElapsedTimer t;
    t.start();
    const Caricamento car = caricaFattureElettroniche(c, {zip});
    const double carica = millisecondi(t);
    t.restart();
    copiaDiSicurezza(c, paths::dataRoot());
    const double copia = millisecondi(t);
    t.restart();
    Colonne colonne = risolviColonne(car.griglia, Tipo::Fatture, scelteFatturaElettronica());
    aggiungiAnagrafica(colonne, car.griglia);
    const std::atomic<bool> annulla{false};
    const Esito e = importa(c, Tipo::Fatture, car.griglia, colonne, annulla);
    const double importo = millisecondi(t);
    std::printf("%d invoices from a ZIP: load %.0f ms, safety copy %.0f ms, import %.0f ms, total %.0f ms (%d "
                "instalments written, %lld rejected, %lld left out at loading%s)\n",
                quante, carica, copia, importo, carica + copia + importo, e.scritte, qlonglong(e.errori.size()),
                qlonglong(car.scartati.size()), e.guasto.isEmpty() ? "" : ", FAILED");
    t.restart();
    const Caricamento ancora = caricaFattureElettroniche(c, {zip});
    const Esito e2 = importa(c, Tipo::Fatture, ancora.griglia, colonne, annulla);
    std::printf("the same ZIP again: %.0f ms (%d instalments found and left as they were)\n", millisecondi(t),
                e2.scritte);
}
