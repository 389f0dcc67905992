// Hostile files against the readers: each is made here, then read by a fresh run of this
// program, whose time and peak resident memory (VmHWM) are the read's alone.
// Every file must be read or refused within 10 s and under 500 MB. Cases that go through
// the import's loading (caricaFile) include the preview grid it builds.
#include "Bench.h"

#include "ImportazioneLogic.h"

#include "scadenzio/Error.h"
#include "scadenzio/sheets/Delimited.h"
#include "scadenzio/sheets/FatturaPA.h"
#include "scadenzio/sheets/Readers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fpa = sz::fatturapa;

quint32 crc32Of(const QByteArray& b)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (const char ch : b)
        c = table[(c ^ quint8(ch)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void put(QByteArray& b, quint64 v, int n)
{
    for (int i = 0; i < n; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

QByteArray rawDeflate(const QByteArray& plain)
{
    const QByteArray z = qCompress(plain, 9);
    return z.mid(6, z.size() - 10);
}

// A ZIP of deflated parts; with `names` more than the parts, every further name points at
// the data of the first part (the overlapping form of a ZIP bomb).
QByteArray zipOf(const QList<std::pair<QByteArray, QByteArray>>& parts, int extraNames = 0)
{
    QByteArray out, directory;
    int count = 0;
    auto entry = [&](const QByteArray& name, quint32 crc, qint64 packed, qint64 size, qint64 offset) {
        put(directory, 0x02014b50, 4);
        put(directory, 20, 2), put(directory, 20, 2), put(directory, 0, 2), put(directory, 8, 2);
        put(directory, 0, 2), put(directory, 0x21, 2), put(directory, crc, 4);
        put(directory, quint64(packed), 4), put(directory, quint64(size), 4);
        put(directory, quint64(name.size()), 2), put(directory, 0, 2), put(directory, 0, 2), put(directory, 0, 2);
        put(directory, 0, 2), put(directory, 0, 4), put(directory, quint64(offset), 4);
        directory += name;
        ++count;
    };
    for (const auto& [name, plain] : parts) {
        const QByteArray packed = rawDeflate(plain);
        const quint32 crc = crc32Of(plain);
        const qint64 offset = out.size();
        put(out, 0x04034b50, 4);
        put(out, 20, 2), put(out, 0, 2), put(out, 8, 2), put(out, 0, 2), put(out, 0x21, 2), put(out, crc, 4);
        put(out, quint64(packed.size()), 4), put(out, quint64(plain.size()), 4);
        put(out, quint64(name.size()), 2), put(out, 0, 2);
        out += name + packed;
        entry(name, crc, packed.size(), plain.size(), offset);
        if (offset == 0)
            for (int i = 1; i <= extraNames; ++i)
                entry("copia" + QByteArray::number(i) + ".xml", crc, packed.size(), plain.size(), 0);
    }
    const qint64 start = out.size();
    out += directory;
    put(out, 0x06054b50, 4);
    put(out, 0, 2), put(out, 0, 2), put(out, quint64(count), 2), put(out, quint64(count), 2);
    put(out, quint64(directory.size()), 4), put(out, quint64(start), 4), put(out, 0, 2);
    return out;
}

QByteArray laughs(const QByteArray& root, const QByteArray& before, const QByteArray& after)
{
    QByteArray dtd = "<!DOCTYPE " + root + " [<!ENTITY l0 \"ha\">";
    for (int i = 1; i <= 10; ++i) {
        dtd += "<!ENTITY l" + QByteArray::number(i) + " \"";
        for (int k = 0; k < 10; ++k)
            dtd += "&l" + QByteArray::number(i - 1) + ";";
        dtd += "\">";
    }
    return "<?xml version=\"1.0\"?>" + dtd + "]>" + before + "&l10;" + after;
}

const QByteArray odsHead = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"><office:body><office:spreadsheet>)";
const QByteArray odsTail = "</office:spreadsheet></office:body></office:document-content>";

QByteArray ods(const QByteArray& tables)
{
    return zipOf({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                  {"content.xml", odsHead + tables + odsTail}});
}

const QByteArray xlsxNs = R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";

QByteArray xlsx(const QByteArray& sheetXml)
{
    return zipOf({{"xl/workbook.xml", "<workbook" + xlsxNs + R"(><sheets><sheet name="a"/></sheets></workbook>)"},
                  {"xl/worksheets/sheet1.xml", sheetXml}});
}

// How a file is read: the import's loading (csv, spreadsheet, with its grid), the invoice
// reader, or the ZIP walk of electronic invoices.
enum Via { Csv, Foglio, Fattura, Zip };

struct Caso
{
    QString nome;
    QByteArray dati;
    QString estensione;
    Via via;
};

// The outcome of one read, in the child.
QString leggi(Via via, const QString& file)
{
    using namespace sz::importazione;
    QByteArray dati;
    if (via == Fattura || via == Zip) {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly)) dati = f.readAll();
    }
    const QString nome = file.section(QLatin1Char('/'), -1);
    try {
        switch (via) {
        case Csv: {
            const Caricamento k = caricaFile(file, TipoFile::Csv, QLatin1Char(';'));
            return QStringLiteral("letto: %1 righe x %2 colonne").arg(k.griglia.righe()).arg(k.griglia.colonne);
        }
        case Foglio: {
            const Caricamento k = caricaFile(file, TipoFile::Foglio, QLatin1Char(';'));
            return QStringLiteral("letto: %1 righe x %2 colonne").arg(k.griglia.righe()).arg(k.griglia.colonne);
        }
        case Fattura:
            fpa::leggiFattura(dati, nome);
            return QStringLiteral("letto");
        case Zip: {
            int voci = 0;
            fpa::leggiZip(dati, nome, [&](const QString&, const QByteArray&) { ++voci; },
                          [&](const QString&, const QString&) {});
            return QStringLiteral("letto: %1 voci").arg(voci);
        }
        }
    } catch (const sz::Error& e) {
        return QStringLiteral("rifiutato: ") + e.message();
    }
    return {};
}

// Runs this program again on the one file: a fresh process, so that its peak resident
// size is the read's alone (plus the program's own few MB), not this parent's. The time
// includes that start.
void misura(const Caso& c, const QString& cartella)
{
    const QString file = cartella + QLatin1Char('/') + c.nome + c.estensione;
    qint64 dimensione = 0;
    {
        const QByteArray& dati = c.dati;
        dimensione = dati.size();
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
        f.write(dati);
    }
    int tubo[2];
    if (pipe(tubo) != 0) return;
    const QByteArray programma = QCoreApplication::applicationFilePath().toLocal8Bit();
    const QByteArray ambiente = "SZ_BENCH_HOSTILE=" + QByteArray::number(int(c.via)) + ":" + file.toLocal8Bit();
    QElapsedTimer t;
    t.start();
    const pid_t figlio = fork();
    if (figlio == 0) {
        dup2(tubo[1], 1);
        close(tubo[0]);
        const int nulla = open("/dev/null", O_WRONLY);
        if (nulla >= 0) dup2(nulla, 2);
        putenv(const_cast<char*>(ambiente.constData()));
        execl(programma.constData(), programma.constData(), "hostile", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(tubo[1]);
    QByteArray esito;
    char buffer[4096];
    for (ssize_t n; (n = read(tubo[0], buffer, sizeof buffer)) > 0;)
        esito.append(buffer, n);
    close(tubo[0]);
    int stato = 0;
    waitpid(figlio, &stato, 0);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    qint64 picco = -1;
    const qsizetype i = esito.indexOf("ESITO ");
    if (!WIFEXITED(stato) || WEXITSTATUS(stato) != 0 || i < 0) {
        esito = "il processo è terminato in modo anomalo";
    } else {
        esito = esito.mid(i + 6).trimmed();
        picco = esito.left(esito.indexOf(' ')).toLongLong();
        esito = esito.mid(esito.indexOf(' ') + 1);
    }
    QFile::remove(file);
    const bool entro = ms <= 10000 && picco >= 0 && picco <= 500 * 1024;
    std::printf("%-44s %9.1f KB %8.0f ms %6lld MB  %s  %s\n", qPrintable(c.nome), double(dimensione) / 1024, ms,
                picco / 1024, entro ? "ok   " : "OLTRE", esito.left(120).constData());
    std::fflush(stdout);
}

} // namespace

SZ_BENCH(hostile)
{
    const QByteArray figlio = qgetenv("SZ_BENCH_HOSTILE");
    if (!figlio.isEmpty()) {
        const qsizetype due = figlio.indexOf(':');
        const QString esito = leggi(Via(figlio.left(due).toInt()), QString::fromLocal8Bit(figlio.mid(due + 1)));
        // The peak of this process's own memory since the program started (a fresh exec:
        // nothing of the parent's).
        QFile stato(QStringLiteral("/proc/self/status"));
        qint64 picco = -1;
        if (stato.open(QIODevice::ReadOnly))
            for (const QByteArray& riga : stato.readAll().split('\n'))
                if (riga.startsWith("VmHWM:")) picco = riga.mid(6).trimmed().split(' ').first().toLongLong();
        std::printf("ESITO %lld %s\n", picco, esito.toUtf8().constData());
        std::fflush(stdout);
        _exit(0);
    }
    QTemporaryDir cartella;
    QList<Caso> casi;

    casi << Caso{QStringLiteral("csv-20000-delimitatori-20000-righe-vuote"),
                 QByteArray(20000, ';') + "\n" + QByteArray(20000, '\n'), QStringLiteral(".csv"), Csv};
    QByteArray larga;
    for (int i = 0; i < 100000; ++i)
        larga += "\"a\";";
    casi << Caso{QStringLiteral("csv-100000-colonne"), larga, QStringLiteral(".csv"), Csv};
    casi << Caso{QStringLiteral("csv-999-colonne-su-20000-righe"), QByteArray(999, ';') + QByteArray(20000, '\n'),
                 QStringLiteral(".csv"), Csv};
    casi << Caso{QStringLiteral("csv-10-milioni-di-righe-vuote"), QByteArray(10 * 1000 * 1000, '\n'),
                 QStringLiteral(".csv"), Csv};
    casi << Caso{QStringLiteral("csv-virgolette-mai-chiuse-10MB"), QByteArray(10 * 1000 * 1000, '"'),
                 QStringLiteral(".csv"), Csv};
    QByteArray ordinario;
    for (int i = 0; ordinario.size() < 10 * 1000 * 1000; ++i)
        ordinario += QStringLiteral("%1;FT/%1;01/03/2013;1.234,50;ROSSI SRL;VIA ROMA 10;20121;MILANO;MI;a@b.it\r\n")
                         .arg(i)
                         .toUtf8();
    casi << Caso{QStringLiteral("csv-ordinario-10MB"), ordinario, QStringLiteral(".csv"), Csv};
    // The most a file may hold: what the limits let through must itself fit the bounds.
    QByteArray pieno;
    for (int r = 0; r < 2000; ++r)
        pieno += QByteArray(999, ';').replace(";", "x;") + "x\n";
    casi << Caso{QStringLiteral("csv-2-milioni-di-celle-accettato"), pieno, QStringLiteral(".csv"), Csv};

    casi << Caso{QStringLiteral("fatturapa-entita-annidate"),
                 laughs("FatturaElettronica", "<FatturaElettronica><FatturaElettronicaHeader>",
                        "</FatturaElettronicaHeader></FatturaElettronica>"),
                 QStringLiteral(".xml"), Fattura};
    casi << Caso{QStringLiteral("xlsx-entita-annidate"),
                 xlsx(laughs("worksheet", "<worksheet" + xlsxNs + "><sheetData><row><c t=\"inlineStr\"><is><t>",
                             "</t></is></c></row></sheetData></worksheet>")),
                 QStringLiteral(".xlsx"), Foglio};
    casi << Caso{QStringLiteral("ods-entita-annidate"),
                 zipOf({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                        {"content.xml", laughs("office:document-content",
                                               odsHead + "<table:table><table:table-row><table:table-cell><text:p>",
                                               "</text:p></table:table-cell></table:table-row></table:table>" +
                                                   odsTail)}}),
                 QStringLiteral(".ods"), Foglio};
    QByteArray spazi;
    for (int i = 0; i < 100; ++i)
        spazi += R"(<text:s text:c="1024"/>)";
    casi << Caso{QStringLiteral("ods-text:s-su-celle-ripetute"),
                 ods(R"(<table:table><table:table-row table:number-rows-repeated="1048576"><table:table-cell table:number-columns-repeated="16384" office:value-type="string"><text:p>)" +
                     spazi + "</text:p></table:table-cell></table:table-row></table:table>"),
                 QStringLiteral(".ods"), Foglio};
    QByteArray spaziCorti;
    for (int i = 0; i < 30; ++i)
        spaziCorti += R"(<text:s text:c="1024"/>)";
    casi << Caso{QStringLiteral("ods-testo-ripetuto-oltre-il-budget"),
                 ods(R"(<table:table><table:table-row table:number-rows-repeated="1000"><table:table-cell table:number-columns-repeated="1000" office:value-type="string"><text:p>)" +
                     spaziCorti + "</text:p></table:table-cell></table:table-row></table:table>"),
                 QStringLiteral(".ods"), Foglio};
    casi << Caso{QStringLiteral("ods-29-milioni-di-caratteri-accettato"),
                 ods(R"(<table:table><table:table-row table:number-rows-repeated="940"><table:table-cell office:value-type="string"><text:p>a)" +
                     spaziCorti + "b</text:p></table:table-cell></table:table-row></table:table>"),
                 QStringLiteral(".ods"), Foglio};
    casi << Caso{QStringLiteral("ods-celle-ripetute-oltre-il-limite"),
                 ods(R"(<table:table><table:table-row table:number-rows-repeated="1048576"><table:table-cell table:number-columns-repeated="1000" office:value-type="float" office:value="1"/></table:table-row></table:table>)"),
                 QStringLiteral(".ods"), Foglio};
    casi << Caso{QStringLiteral("ods-2-milioni-di-celle-accettato"),
                 ods(R"(<table:table><table:table-row table:number-rows-repeated="2000"><table:table-cell table:number-columns-repeated="999" office:value-type="string"><text:p>Società Rossi</text:p></table:table-cell></table:table-row></table:table>)"),
                 QStringLiteral(".ods"), Foglio};
    QByteArray grande = "<worksheet" + xlsxNs + "><sheetData>";
    for (int r = 0; r < 100000; ++r) {
        grande += "<row>";
        for (int c = 0; c < 10; ++c)
            grande += "<c><v>" + QByteArray::number(r * 10 + c) + "</v></c>";
        grande += "</row>";
    }
    grande += "</sheetData></worksheet>";
    casi << Caso{QStringLiteral("xlsx-ordinario-1-milione-di-celle"), xlsx(grande), QStringLiteral(".xlsx"),
                 Foglio};

    const QByteArray flusso(63 * 1024 * 1024, '<');
    casi << Caso{QStringLiteral("zip-100-voci-su-un-flusso-di-63MB"), zipOf({{"a.xml", flusso}}, 99),
                 QStringLiteral(".zip"), Zip};
    casi << Caso{QStringLiteral("zip-1000-voci-su-un-flusso-di-63MB"), zipOf({{"a.xml", flusso}}, 999),
                 QStringLiteral(".zip"), Zip};
    casi << Caso{QStringLiteral("ods-1000-voci-su-un-flusso-di-63MB"),
                 zipOf({{"content.xml", flusso}, {"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}}, 999),
                 QStringLiteral(".ods"), Foglio};
    casi << Caso{QStringLiteral("zip-una-voce-di-63MB"), zipOf({{"a.xml", flusso}}), QStringLiteral(".zip"),
                 Zip};
    QList<std::pair<QByteArray, QByteArray>> tante;
    for (int i = 0; i < 40; ++i) {
        QByteArray parte(8 * 1024 * 1024, 'x');
        for (qsizetype k = 0; k < parte.size(); k += 97)
            parte[k] = char('a' + (k * 7 + i) % 26);
        tante.append({"f" + QByteArray::number(i) + ".xml", parte});
    }
    casi << Caso{QStringLiteral("zip-40-voci-da-8MB-oltre-il-budget"), zipOf(tante), QStringLiteral(".zip"),
                 Zip};

    // A one-byte change of an xlwt workbook: a directory entry whose name length lies.
    const QString xls = cartella.filePath(QStringLiteral("origine.xls"));
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys, xlwt\nwb = xlwt.Workbook()\nwb.add_sheet('A').write(0, 0, 'Numero')\n"
                            "wb.save(sys.argv[1])\n"),
             xls});
    p.waitForFinished(30000);
    QFile f(xls);
    if (f.open(QIODevice::ReadOnly)) {
        QByteArray b = f.readAll();
        const qint64 radice = (qint64(quint8(b[0x30]) | quint8(b[0x31]) << 8) + 1) * 512;
        if (radice + 128 <= b.size()) {
            b[radice + 0x40] = char(0xF0);
            casi << Caso{QStringLiteral("xls-nome-di-voce-bugiardo"), b, QStringLiteral(".xls"), Foglio};
        }
    }

    std::printf("%-44s %11s %12s %10s\n", "file", "dimensione", "tempo", "picco");
    for (const Caso& c : casi)
        misura(c, cartella.path());
}
