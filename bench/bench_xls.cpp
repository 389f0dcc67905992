// The .xls reader against LibreOffice's own reading of the same workbook: 60,000 invoice
// rows of eight columns (numbers, dates, amounts in euro, client names, CAPs in the
// "00000" format, a computed VAT), saved as .xls by LibreOffice from a flat OpenDocument
// file made here. Ours reads the first sheet into the block the import previews;
// LibreOffice converts the workbook to CSV (its start-up shown apart, from a one-row
// workbook). Skipped when LibreOffice is not installed.
#include "Bench.h"

#include "scadenzio/Error.h"
#include "scadenzio/sheets/Readers.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>

namespace {

constexpr int righe = 60000;

QByteArray fods(int n)
{
    QByteArray x = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:date-style style:name="N1"><number:day number:style="long"/><number:text>/</number:text><number:month number:style="long"/><number:text>/</number:text><number:year number:style="long"/></number:date-style>
 <number:number-style style:name="N2"><number:number number:decimal-places="0" number:min-integer-digits="5"/></number:number-style>
 <number:currency-style style:name="N3"><number:number number:decimal-places="2" number:min-integer-digits="1" number:grouping="true"/><number:text> </number:text><number:currency-symbol number:language="it" number:country="IT">€</number:currency-symbol></number:currency-style>
 <style:style style:name="data" style:family="table-cell" style:data-style-name="N1"/>
 <style:style style:name="cap" style:family="table-cell" style:data-style-name="N2"/>
 <style:style style:name="euro" style:family="table-cell" style:data-style-name="N3"/>
</office:automatic-styles>
<office:body><office:spreadsheet><table:table table:name="Fatture">
<table:table-row>)";
    for (const char* t : {"NUMERO", "DATA", "IMPORTO", "CLIENTE", "CAP", "IVA", "MODALITA", "SCADENZA"})
        x += QByteArray(R"(<table:table-cell office:value-type="string"><text:p>)") + t + "</text:p></table:table-cell>";
    x += "</table:table-row>\n";
    const char* modalita[] = {"BONIFICO", "RI.BA.", "RIMESSA DIRETTA", "CONTANTI", "ASSEGNO"};
    const QDate inizio(2025, 1, 1);
    for (int i = 0; i < n; ++i) {
        const int r = i + 2;
        const QByteArray giorno = inizio.addDays(i % 365).toString(Qt::ISODate).toLatin1();
        x += "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"" + QByteArray::number(i + 1) +
             "\"/><table:table-cell table:style-name=\"data\" office:value-type=\"date\" office:date-value=\"" + giorno +
             "\"/><table:table-cell table:style-name=\"euro\" office:value-type=\"currency\" office:currency=\"EUR\" "
             "office:value=\"" +
             QByteArray::number(100 + (i * 7919) % 500000 / 100.0, 'f', 2) +
             "\"/><table:table-cell office:value-type=\"string\"><text:p>Società Cliente " +
             QByteArray::number(i % 600) +
             " srl</text:p></table:table-cell><table:table-cell table:style-name=\"cap\" office:value-type=\"float\" "
             "office:value=\"" +
             QByteArray::number(184 + (i * 37) % 99000) +
             "\"/><table:table-cell table:formula=\"of:=ROUND([.C" + QByteArray::number(r) +
             "]*0.22;2)\"/><table:table-cell office:value-type=\"string\"><text:p>" + modalita[i % 5] +
             "</text:p></table:table-cell><table:table-cell table:style-name=\"data\" table:formula=\"of:=[.B" +
             QByteArray::number(r) + "]+30\"/></table:table-row>\n";
    }
    return x + "</table:table></office:spreadsheet></office:body></office:document>\n";
}

// soffice --convert-to, on the bench's own profile; the time it took in ms, or -1.
double converti(const QString& soffice, const QString& profilo, const QString& filtro, const QString& file,
                const QString& uscita)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(soffice, {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profilo).toString(),
                      QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
                      filtro, QStringLiteral("--outdir"), uscita, file});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    const QString fatto = uscita + QLatin1Char('/') + QFileInfo(file).completeBaseName() + QLatin1Char('.') +
                          filtro.section(QLatin1Char(':'), 0, 0);
    return QFileInfo(fatto).size() > 0 ? double(t.nsecsElapsed()) / 1e6 : -1;
}

} // namespace

SZ_BENCH(xls)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        std::printf("skipped: LibreOffice (soffice) is not installed\n");
        return;
    }
    QTemporaryDir dir;
    const QString profilo = dir.filePath(QStringLiteral("profilo")), sorgente = dir.filePath(QStringLiteral("fatture.fods"));
    {
        QFile f(sorgente);
        if (!f.open(QIODevice::WriteOnly)) return;
        f.write(fods(righe));
    }
    const double scritto = converti(soffice, profilo, QStringLiteral("xls"), sorgente, dir.path());
    const QString xls = dir.filePath(QStringLiteral("fatture.xls"));
    if (scritto < 0) {
        std::printf("failed: LibreOffice could not save the workbook as .xls\n");
        return;
    }
    std::printf("(%d rows x 8 columns saved as .xls by LibreOffice in %.0f ms, %lld bytes)\n", righe, scritto,
                qlonglong(QFileInfo(xls).size()));

    sz::sheets::Foglio foglio;
    const double nostro = benchReport(QStringLiteral("our reader, readSpreadsheet of the .xls"), [&] {
        try {
            foglio = sz::sheets::readSpreadsheet(xls);
        } catch (const sz::Error& e) {
            std::printf("refused: %s\n", qPrintable(e.message()));
        }
    }, 3);
    const bool completo = foglio.righe.size() == righe + 1 && foglio.righe.last().size() == 8 &&
                          foglio.illeggibili.isEmpty();
    std::printf("(%lld rows read%s; last row: %s)\n", qlonglong(foglio.righe.size()),
                completo ? "" : ", NOT the whole sheet",
                qPrintable(foglio.righe.isEmpty() ? QString() : foglio.righe.last().join(QLatin1Char('|'))));

    // LibreOffice's start-up and shut-down alone: the same conversion of a one-row workbook.
    const QString piccolo = dir.filePath(QStringLiteral("piccolo.fods"));
    {
        QFile f(piccolo);
        if (!f.open(QIODevice::WriteOnly)) return;
        f.write(fods(1));
    }
    const QString csv = dir.filePath(QStringLiteral("csv"));
    const double avvio = benchReport(QStringLiteral("LibreOffice start-up: a one-row workbook to CSV"),
                                     [&] { converti(soffice, profilo, QStringLiteral("csv"), piccolo, csv); }, 3);
    double loro = -1;
    const double mediana = benchReport(QStringLiteral("LibreOffice, soffice --convert-to csv of the .xls"),
                                       [&] { loro = converti(soffice, profilo, QStringLiteral("csv"), xls, csv); }, 3);
    if (loro < 0) {
        std::printf("failed: LibreOffice could not convert the .xls to CSV\n");
        return;
    }
    QFile uscita(csv + QStringLiteral("/fatture.csv"));
    qint64 linee = 0;
    if (uscita.open(QIODevice::ReadOnly))
        while (!uscita.atEnd()) {
            uscita.readLine();
            ++linee;
        }
    std::printf("(LibreOffice's CSV: %lld lines)\n", linee);
    std::printf("ratio: LibreOffice's conversion takes %.1f times our read (%.1f times without its start-up)\n",
                mediana / nostro, (mediana - avvio) / nostro);
}
