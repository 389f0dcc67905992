// Spreadsheets made at test time by the producers offices use: LibreOffice (every format,
// from flat OpenDocument files written here) and xlwt for .xls, openpyxl and libxlsxwriter
// for .xlsx, and hand-built archives for what those never write
// (absolute part names, missing cell references, rich text, 1904 dates, .ods repeats).
// Damaged, foreign and locked files must give an Italian message, never a crash.
#include "ImportazioneLogic.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"
#include "scadenzio/sheets/FatturaPA.h"
#include "scadenzio/sheets/Readers.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <array>

#include <xlsxwriter.h>
#include <zip.h>

using namespace sz::sheets;

// Declared before the sample data: the raw strings below confuse moc.
class TestSpreadsheets : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The workbooks LibreOffice saved, once for every test that reads them.
    bool m_convertiti = false;
    bool m_gnumeric = false;

private slots:
    void initTestCase();
    void valueTexts();
    void xlsxFromOpenpyxl();
    void xlsxFromLibxlsxwriter();
    void xlsxOddStructure();
    void xlsFromXlwtWithFormulas();
    void odsRepeatsAndTexts();
    void odsFormulaWithoutResult();
    void odsDurations();
    void badFilesSayWhy_data();
    void badFilesSayWhy();
    void boundedMutations();
    void xlsxRowNumbersWithoutCellReferences();
    void hostileFilesRefusedQuickly_data();
    void hostileFilesRefusedQuickly();
    void hostileArchivesAndInvoices();
    void xlsWithLyingDirectoryEntry();
    void xlsSharedStringsOverManyRecords();
    void xlsFromLibreOffice();
    void xlsFromGnumeric_data();
    void xlsFromGnumeric();
    void xls1904FromLibreOffice();
    void sameWorkbookInEveryFormat();
    void zeroPaddedNumbersFromOpenpyxl();
    void xlsTruncatedAnywhere();
    void xlsWithPassword();
    void xlsBoundedMutations();
    void xlsFormulasImported();
};

namespace {

bool python(const QString& script, const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + args);
    p.waitForFinished(60000);
    if (p.exitCode() != 0) qWarning("%s", p.readAllStandardError().constData());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// An archive of the given parts, stored or deflated, optionally with one part encrypted.
QByteArray zipOf(const QList<std::pair<QString, QByteArray>>& parts, const QString& encrypted = {})
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.zip"));
    int err = 0;
    zip_t* z = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) return {};
    for (const auto& [name, bytes] : parts) {
        auto* copy = static_cast<char*>(malloc(size_t(std::max<qsizetype>(1, bytes.size()))));
        memcpy(copy, bytes.constData(), size_t(bytes.size()));
        zip_source_t* src = zip_source_buffer(z, copy, zip_uint64_t(bytes.size()), 1);
        const zip_int64_t i = zip_file_add(z, name.toUtf8().constData(), src, ZIP_FL_OVERWRITE);
        if (name == encrypted) zip_file_set_encryption(z, zip_uint64_t(i), ZIP_EM_AES_256, "segreta");
    }
    if (zip_close(z) != 0) return {};
    return readAll(path);
}

QString failure(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const sz::Error& e) {
        return e.message();
    }
    return {};
}

const QByteArray odsHead = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"><office:body><office:spreadsheet>)";

QByteArray odsOf(const QByteArray& tables)
{
    return zipOf({{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet"},
                  {QStringLiteral("content.xml"),
                   odsHead + tables + "</office:spreadsheet></office:body></office:document-content>"}});
}

// A minimal workbook whose parts sit where a producer other than Excel may put them.
QByteArray xlsxOf(const QByteArray& sheet, const QByteArray& shared = {}, const QByteArray& styles = {},
                  bool date1904 = false)
{
    const QByteArray ns =
        R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
    QList<std::pair<QString, QByteArray>> parts{
        {QStringLiteral("_rels/.rels"),
         R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="/libro/cartella.xml"/></Relationships>)"},
        {QStringLiteral("libro/cartella.xml"),
         "<workbook" + ns + (date1904 ? "><workbookPr date1904=\"1\"/>" : QByteArray(">")) +
             R"(<sheets><sheet name="Primo" sheetId="2" r:id="rB"/><sheet name="Secondo" sheetId="1" r:id="rA"/></sheets></workbook>)"},
        {QStringLiteral("libro/_rels/cartella.xml.rels"),
         R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rA" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="fogli/a.xml"/>
<Relationship Id="rB" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="/libro/fogli/b.xml"/>
<Relationship Id="rS" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="testi.xml"/>
<Relationship Id="rT" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="../libro/stili.xml"/>
</Relationships>)"},
        {QStringLiteral("libro/fogli/a.xml"),
         "<worksheet" + ns +
             R"(><sheetData><row><c t="inlineStr"><is><t>SBAGLIATO</t></is></c></row></sheetData></worksheet>)"},
        {QStringLiteral("libro/fogli/b.xml"),
         "<worksheet" + ns + "><sheetData>" + sheet + "</sheetData></worksheet>"},
    };
    if (!shared.isEmpty())
        parts.append({QStringLiteral("libro/testi.xml"), "<sst" + ns + ">" + shared + "</sst>"});
    if (!styles.isEmpty())
        parts.append(
            {QStringLiteral("libro/stili.xml"), "<styleSheet" + ns + ">" + styles + "</styleSheet>"});
    return zipOf(parts);
}

// ---- hostile files, built byte by byte ---------------------------------------------------

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

// A ZIP whose central directory names `entries` files, all of them the one deflated
// stream of `plain` at the start of the archive (the overlapping form of a ZIP bomb).
// With one entry it is an ordinary archive of a very compressible file.
QByteArray sharedStreamZip(int entries, const QByteArray& plain, quint64 declaredSize = 0,
                           const QByteArray& first = "a0.xml")
{
    const QByteArray z = qCompress(plain, 9);
    const QByteArray deflated = z.mid(6, z.size() - 10); // zlib header and checksum off
    const quint32 crc = crc32Of(plain);
    const quint64 size = declaredSize ? declaredSize : quint64(plain.size());
    QByteArray out;
    put(out, 0x04034b50, 4);
    put(out, 20, 2), put(out, 0, 2), put(out, 8, 2), put(out, 0, 2), put(out, 0x21, 2);
    put(out, crc, 4), put(out, quint64(deflated.size()), 4), put(out, size, 4);
    put(out, quint64(first.size()), 2), put(out, 0, 2);
    out += first + deflated;
    const qint64 directory = out.size();
    for (int i = 0; i < entries; ++i) {
        const QByteArray name = i == 0 ? first : "a" + QByteArray::number(i) + ".xml";
        put(out, 0x02014b50, 4);
        put(out, 20, 2), put(out, 20, 2), put(out, 0, 2), put(out, 8, 2), put(out, 0, 2), put(out, 0x21, 2);
        put(out, crc, 4), put(out, quint64(deflated.size()), 4), put(out, size, 4);
        put(out, quint64(name.size()), 2), put(out, 0, 2), put(out, 0, 2), put(out, 0, 2), put(out, 0, 2);
        put(out, 0, 4), put(out, 0, 4);
        out += name;
    }
    const qint64 directorySize = out.size() - directory;
    put(out, 0x06054b50, 4);
    put(out, 0, 2), put(out, 0, 2), put(out, quint64(entries), 2), put(out, quint64(entries), 2);
    put(out, quint64(directorySize), 4), put(out, quint64(directory), 4), put(out, 0, 2);
    return out;
}

// Nested internal entities: ten levels of ten references are 10^10 copies.
QByteArray laughs(const QByteArray& root, const QByteArray& before, const QByteArray& after)
{
    QByteArray dtd = "<!DOCTYPE " + root + " [<!ENTITY l0 \"ha\">";
    for (int i = 1; i <= 10; ++i) {
        dtd += "<!ENTITY l" + QByteArray::number(i) + " \"";
        for (int k = 0; k < 10; ++k)
            dtd += "&l" + QByteArray::number(i - 1) + ";";
        dtd += "\">";
    }
    dtd += "]>";
    return "<?xml version=\"1.0\"?>" + dtd + before + "&l10;" + after;
}

// Runs fn, which must throw sz::Error, within the time every hostile file is held to.
QString refusedQuickly(const std::function<void()>& fn)
{
    QElapsedTimer t;
    t.start();
    const QString message = failure(fn);
    if (t.elapsed() > 10000) qWarning("refused only after %lld ms", t.elapsed());
    return t.elapsed() > 10000 ? QString() : message;
}

// ---- workbooks saved by LibreOffice --------------------------------------------------------

QString soffice()
{
    return QStandardPaths::findExecutable(QStringLiteral("soffice"));
}

// Saves each file in the given filter ("xls", "xls:MS Excel 95", "ods") into outdir with
// LibreOffice, headless, on the profile given: a profile of its own per run, so that runs
// side by side, or a LibreOffice the user has open, never share one. soffice exits 0 even
// when it could not convert, so success is the files being there.
bool libreOffice(const QString& profile, const QString& filter, const QString& outdir, const QStringList& files)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(soffice(), QStringList{QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                                   QStringLiteral("--headless"), QStringLiteral("--norestore"),
                                   QStringLiteral("--convert-to"), filter, QStringLiteral("--outdir"), outdir} +
                           files);
    // The first start builds the profile, which takes a while on a slow machine.
    if (!p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished();
        qWarning("soffice did not finish converting to %s", qPrintable(filter));
        return false;
    }
    const QString extension = filter.section(QLatin1Char(':'), 0, 0);
    for (const QString& f : files) {
        const QString out = outdir + QLatin1Char('/') + QFileInfo(f).completeBaseName() + QLatin1Char('.') + extension;
        if (!QFileInfo(out).isFile() || QFileInfo(out).size() == 0) {
            qWarning("soffice made no %s: %s", qPrintable(out), p.readAll().constData());
            return false;
        }
    }
    return true;
}

QString ssconvert()
{
    return QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
}

// Gnumeric's converter, to the given exporter.
bool gnumeric(const QString& exporter, const QString& from, const QString& to)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ssconvert(), {QStringLiteral("--export-type=") + exporter, from, to});
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    }
    const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 && QFileInfo(to).size() > 0;
    if (!ok) qWarning("ssconvert made no %s: %s", qPrintable(to), p.readAll().constData());
    return ok;
}

// A workbook as a clerk types it into LibreOffice, written as a flat OpenDocument file
// for LibreOffice to save in the other formats, with the text each cell must read as
// (in any format) and the cells that must be named as unreadable.
class Cartella
{
public:
    void riga()
    {
        m_corpo += m_attese.isEmpty() ? "<table:table-row>" : "</table:table-row>\n<table:table-row>";
        m_attese.append(QStringList());
    }
    void testo(const QString& t)
    {
        QByteArray paragrafi;
        for (const QString& p : t.split(QLatin1Char('\n')))
            paragrafi += "<text:p>" + p.toHtmlEscaped().toUtf8() + "</text:p>";
        cella(R"(office:value-type="string")", paragrafi, t);
    }
    // stile: "" (General), "euro", "cap"; amounts keep reading as plain numbers.
    void numero(double v, const char* stile, const QString& atteso)
    {
        const QByteArray valore = QByteArray::number(v, 'g', 17);
        cella(qstrcmp(stile, "euro") == 0
                  ? R"(table:style-name="euro" office:value-type="currency" office:currency="EUR" office:value=")" + valore + '"'
                  : stileDi(stile) + R"(office:value-type="float" office:value=")" + valore + '"',
              {}, atteso);
    }
    // stile: "data" (dd/mm/yyyy) or "dataora" (with the time).
    void data(const char* iso, const char* stile, const QString& atteso)
    {
        cella(stileDi(stile) + R"(office:value-type="date" office:date-value=")" + iso + '"', {}, atteso);
    }
    void vero(bool v)
    {
        cella(QByteArray(R"(table:style-name="vero" office:value-type="boolean" office:boolean-value=")") +
                  (v ? "true" : "false") + '"',
              {}, boolText(v));
    }
    // A formula without a result: LibreOffice computes it on loading, as it had when the
    // clerk typed it, and saves the result with it.
    void formula(const QString& f, const char* stile, const QString& atteso)
    {
        cella(stileDi(stile) + "table:formula=\"of:=" + f.toHtmlEscaped().toUtf8() + '"', {}, atteso);
    }
    // A formula whose result is an error value (#DIV/0!): no value to import.
    void errore(const QString& f)
    {
        m_illeggibili.append({int(m_attese.size() - 1), int(m_attese.last().size())});
        formula(f, "", QString());
    }
    void vuota() { cella({}, {}, QString()); }

    Rows attese() const
    {
        Rows r = m_attese;
        qsizetype larghezza = 0;
        for (const auto& riga : r)
            larghezza = std::max(larghezza, riga.size());
        for (auto& riga : r)
            while (riga.size() < larghezza)
                riga << QString();
        return r;
    }
    QList<QPair<int, int>> illeggibili() const { return m_illeggibili; }

    QByteArray fods(bool date1904 = false) const
    {
        const QByteArray data = R"(<number:day number:style="long"/><number:text>/</number:text><number:month number:style="long"/><number:text>/</number:text><number:year number:style="long"/>)";
        return R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:date-style style:name="N1">)" +
               data + R"(</number:date-style>
 <number:date-style style:name="N2">)" +
               data +
               R"(<number:text> </number:text><number:hours number:style="long"/><number:text>:</number:text><number:minutes number:style="long"/><number:text>:</number:text><number:seconds number:style="long"/></number:date-style>
 <number:number-style style:name="N3"><number:number number:decimal-places="0" number:min-integer-digits="5"/></number:number-style>
 <number:boolean-style style:name="N4"><number:boolean/></number:boolean-style>
 <number:currency-style style:name="N5"><number:number number:decimal-places="2" number:min-integer-digits="1" number:grouping="true"/><number:text> </number:text><number:currency-symbol number:language="it" number:country="IT">€</number:currency-symbol></number:currency-style>
 <style:style style:name="data" style:family="table-cell" style:data-style-name="N1"/>
 <style:style style:name="dataora" style:family="table-cell" style:data-style-name="N2"/>
 <style:style style:name="cap" style:family="table-cell" style:data-style-name="N3"/>
 <style:style style:name="vero" style:family="table-cell" style:data-style-name="N4"/>
 <style:style style:name="euro" style:family="table-cell" style:data-style-name="N5"/>
</office:automatic-styles>
<office:body><office:spreadsheet>
)" + (date1904 ? R"(<table:calculation-settings><table:null-date table:date-value="1904-01-01"/></table:calculation-settings>)"
                : QByteArray()) +
               "\n<table:table table:name=\"Fatture\">\n" + m_corpo +
               "</table:table-row>\n</table:table>\n<table:table table:name=\"Altro\"><table:table-row>"
               "<table:table-cell office:value-type=\"string\"><text:p>NON QUESTO</text:p></table:table-cell>"
               "</table:table-row></table:table>\n</office:spreadsheet></office:body></office:document>\n";
    }

private:
    static QByteArray stileDi(const char* stile)
    {
        return *stile ? QByteArray("table:style-name=\"") + stile + "\" " : QByteArray();
    }
    void cella(const QByteArray& attributi, const QByteArray& contenuto, const QString& atteso)
    {
        m_corpo += "<table:table-cell " + attributi + (contenuto.isEmpty() ? QByteArray("/>")
                                                                           : '>' + contenuto + "</table:table-cell>");
        m_attese.last() << atteso;
    }
    QByteArray m_corpo;
    Rows m_attese;
    QList<QPair<int, int>> m_illeggibili;
};

QString data(const QDate& d)
{
    return d.toString(QStringLiteral("dd/MM/yyyy"));
}

// The invoices of a year as a clerk keeps them: numbers, dates, amounts in euro, names
// with accents and the euro sign, CAPs in the "00000" format, computed instalments, names
// and due dates, booleans; and after them the odd cells: times, amounts past a 32-bit
// integer, a formula giving an empty text or an error, texts over two lines. The names
// are distinct enough to take the shared strings over several CONTINUE records.
Cartella fattureDaLibreOffice(int righe)
{
    Cartella c;
    c.riga();
    for (const char* t : {"Numero", "Data", "Importo €", "Cliente", "CAP", "Rata", "Intestazione", "Scadenza", "Pagata"})
        c.testo(QString::fromUtf8(t));
    const QDate inizio(2013, 3, 1);
    for (int i = 0; i < righe; ++i) {
        c.riga();
        c.numero(i + 1, "", QString::number(i + 1));
        const QDate giorno = inizio.addDays(i);
        c.data(giorno.toString(Qt::ISODate).toLatin1().constData(), "data", data(giorno));
        // (4i+1)/4: a third of it never falls halfway between two cents.
        c.numero(i + 0.25, "euro", numberText(i + 0.25));
        const QString cliente = i % 3 == 0   ? QStringLiteral("Società %1 àèéìòù €").arg(i)
                                : i % 3 == 1 ? QStringLiteral("Cliente %1 srl").arg(i)
                                             : QStringLiteral("Müller & Söhne %1 <ß>").arg(i);
        c.testo(cliente);
        const int cap = (184 + i * 37) % 100000;
        c.numero(cap, "cap", QStringLiteral("%1").arg(cap, 5, 10, QLatin1Char('0')));
        const int r = i + 2;
        const qint64 centesimi = ((4ll * i + 1) * 200 + 12) / 24; // ROUND((4i+1)/12; 2)
        c.formula(QStringLiteral("ROUND([.C%1]/3;2)").arg(r), "",
                  numberText(double(centesimi) / 100));
        c.formula(QStringLiteral("CONCATENATE(\"N. \";[.A%1];\" \";[.D%1])").arg(r), "",
                  QStringLiteral("N. %1 %2").arg(i + 1).arg(cliente));
        c.formula(QStringLiteral("[.B%1]+30").arg(r), "data", data(giorno.addDays(30)));
        c.vero(i % 2 == 1);
    }
    // Each odd cell in a column whose other cells have the same kind of format: Gnumeric
    // gives a cell without a style of its own the column's (a 0 under dates is a date).
    c.riga();
    c.numero(-100, "", QStringLiteral("-100"));
    c.data("2013-03-01T10:30:00", "dataora", QStringLiteral("01/03/2013 10:30:00"));
    c.numero(21474836.47, "euro", QStringLiteral("21474836,47"));
    c.testo(QStringLiteral("Riga uno\nRiga \"due\""));
    c.numero(12345678901.0, "cap", QStringLiteral("12345678901"));
    c.formula(QStringLiteral("ROUND(10/3;2)"), "", QStringLiteral("3,33"));
    c.formula(QStringLiteral("0*1"), "", QStringLiteral("0"));
    c.formula(QStringLiteral("DATE(2026;12;31)"), "data", QStringLiteral("31/12/2026"));
    c.errore(QStringLiteral("1/0"));
    c.riga();
    c.numero(0.1 + 0.2, "", QStringLiteral("0,3"));
    c.vuota();
    c.formula(QStringLiteral("UPPER(\"perché\")"), "", QStringLiteral("PERCHÉ"));
    c.numero(35100, "cap", QStringLiteral("35100"));
    c.numero(7, "cap", QStringLiteral("00007"));
    c.formula(QStringLiteral("\"\""), "", QString());
    return c;
}

// The 1904 date system, as LibreOffice saves it for a workbook made on an old Mac.
Cartella anni1904()
{
    Cartella c;
    c.riga();
    c.testo(QStringLiteral("Data"));
    c.testo(QStringLiteral("Scadenza"));
    c.testo(QStringLiteral("Numero"));
    c.riga();
    c.data("2013-03-01", "data", QStringLiteral("01/03/2013"));
    c.formula(QStringLiteral("[.A2]+30"), "data", QStringLiteral("31/03/2013"));
    c.numero(39872, "", QStringLiteral("39872"));
    c.riga();
    c.data("1904-01-01", "data", QStringLiteral("01/01/1904"));
    c.formula(QStringLiteral("[.A3]+1"), "data", QStringLiteral("02/01/1904"));
    c.data("2026-12-31T23:59:59", "dataora", QStringLiteral("31/12/2026 23:59:59"));
    return c;
}

// Invoices and clients to import, their amounts, due dates and names computed by formulas.
Cartella fattureDaImportare()
{
    Cartella c;
    c.riga();
    for (const char* t : {"NUMEROFATTURA", "DATAFATTURA", "SCADENZA", "IMPORTO", "CLIENTE"})
        c.testo(QString::fromLatin1(t));
    const char* date[] = {"2026-02-01", "2026-02-02", "2026-02-03", "2026-02-04"};
    for (int i = 0; i < 4; ++i) {
        const int r = i + 2;
        c.riga();
        c.numero(i + 1, "", QString::number(i + 1));
        c.data(date[i], "data", {});
        c.formula(QStringLiteral("[.B%1]+27").arg(r), "data", {});
        if (i == 2)
            c.errore(QStringLiteral("1/0"));
        else
            c.formula(QStringLiteral("ROUND(100/3*%1;2)").arg(i + 1), "euro", {});
        c.formula(QStringLiteral("CONCATENATE(\"Società \";\"%1\")").arg(QChar(u'A' + i)), "", {});
    }
    return c;
}

Cartella clientiDaImportare()
{
    Cartella c;
    c.riga();
    for (const char* t : {"RAGIONE SOCIALE", "CAP", "CITTA"})
        c.testo(QString::fromLatin1(t));
    c.riga();
    c.formula(QStringLiteral("UPPER(\"Comune di Roma\")"), "", {});
    c.numero(184, "cap", {});
    c.testo(QStringLiteral("Roma"));
    c.riga();
    c.testo(QStringLiteral("Città di Padova"));
    c.numero(35100, "cap", {});
    c.testo(QStringLiteral("Padova"));
    return c;
}

} // namespace

void TestSpreadsheets::valueTexts()
{
    QCOMPARE(numberText(1234.5), QStringLiteral("1234,5"));
    QCOMPARE(numberText(0.1 + 0.2), QStringLiteral("0,3"));
    QCOMPARE(numberText(-100), QStringLiteral("-100"));
    QCOMPARE(numberText(21474836.47), QStringLiteral("21474836,47"));
    QCOMPARE(numberText(1e15), QStringLiteral("1000000000000000"));
    QCOMPARE(numberText(12345678901.0), QStringLiteral("12345678901"));
    // The 1900 system's phantom 29 February shifts every later serial by one day.
    QCOMPARE(dateTimeText(serialDateTime(41334, false)), QStringLiteral("01/03/2013"));
    QCOMPARE(dateTimeText(serialDateTime(1, false)), QStringLiteral("01/01/1900"));
    QCOMPARE(dateTimeText(serialDateTime(59, false)), QStringLiteral("28/02/1900"));
    QCOMPARE(dateTimeText(serialDateTime(61, false)), QStringLiteral("01/03/1900"));
    QCOMPARE(dateTimeText(serialDateTime(39872, true)), QStringLiteral("01/03/2013"));
    QCOMPARE(dateTimeText(serialDateTime(41334.4375, false)), QStringLiteral("01/03/2013 10:30:00"));
    QCOMPARE(dateTimeText(serialDateTime(41334.99999999, false)), QStringLiteral("02/03/2013"));
    QCOMPARE(columnName(0), QStringLiteral("A"));
    QCOMPARE(columnName(27), QStringLiteral("AB"));
    QCOMPARE(columnName(16383), QStringLiteral("XFD"));
}

void TestSpreadsheets::xlsxFromOpenpyxl()
{
    const QString file = path(QStringLiteral("openpyxl.xlsx"));
    QVERIFY(python(QStringLiteral(R"(
import sys, datetime, openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Fatture'
ws.append(['Numero Fattura', 'Data', 'Importo', 'Cliente', 'Pagata'])
ws.append([1, datetime.datetime(2013, 3, 1), 1234.5, 'Società Rossi €', True])
ws.append(['2/A', datetime.datetime(2013, 3, 1, 10, 30), -100, '  Bianchi ', False])
ws['F3'] = '=C3*2'
ws.cell(row=3, column=3).number_format = '#,##0.00 [$€-410]'
wb.create_sheet('Altro')['A1'] = 'NON QUESTO'
wb.save(sys.argv[1])
)"),
                   {file}));
    const Foglio f = readSpreadsheet(file);
    QCOMPARE(f.righe.size(), 3);
    QCOMPARE(f.righe[0], (QStringList{"Numero Fattura", "Data", "Importo", "Cliente", "Pagata", ""}));
    QCOMPARE(f.righe[1], (QStringList{"1", "01/03/2013", "1234,5", "Società Rossi €", "VERO", ""}));
    QCOMPARE(f.righe[2], (QStringList{"2/A", "01/03/2013 10:30:00", "-100", "  Bianchi ", "FALSO", ""}));
    // openpyxl saves a formula without its result: the cell is named, not left blank.
    QVERIFY2(f.avviso.contains(QLatin1String("1 cella")) && f.avviso.contains(QLatin1String("colonna F")),
             qPrintable(f.avviso));
}

void TestSpreadsheets::xlsxFromLibxlsxwriter()
{
    const QString file = path(QStringLiteral("xlsxwriter.xlsx"));
    lxw_workbook* wb = workbook_new(file.toUtf8().constData());
    lxw_worksheet* ws = workbook_add_worksheet(wb, "Clienti");
    lxw_format* data = workbook_add_format(wb);
    format_set_num_format(data, "dd/mm/yyyy");
    lxw_format* euro = workbook_add_format(wb);
    format_set_num_format(euro, "#,##0.00 \"€\"");
    // The used area starts at C3: the reading still starts at A1.
    worksheet_write_string(ws, 2, 2, "Ragione Sociale", nullptr);
    worksheet_write_string(ws, 2, 3, "Scadenza", nullptr);
    worksheet_write_string(ws, 2, 4, "Importo", nullptr);
    worksheet_write_string(ws, 3, 2, "Caffè Ω", nullptr);
    lxw_datetime d{2026, 12, 31, 0, 0, 0};
    worksheet_write_datetime(ws, 3, 3, &d, data);
    worksheet_write_number(ws, 3, 4, 21474836.47, euro);
    worksheet_write_number(ws, 5, 4, 0.1, nullptr);
    QCOMPARE(workbook_close(wb), LXW_NO_ERROR);

    const Foglio f = readSpreadsheet(file);
    QCOMPARE(f.righe.size(), 6);
    for (const auto& r : f.righe)
        QCOMPARE(r.size(), 5);
    QCOMPARE(f.righe[0], QStringList(5));
    QCOMPARE(f.righe[2], (QStringList{"", "", "Ragione Sociale", "Scadenza", "Importo"}));
    QCOMPARE(f.righe[3], (QStringList{"", "", "Caffè Ω", "31/12/2026", "21474836,47"}));
    QCOMPARE(f.righe[5][4], QStringLiteral("0,1"));
    QVERIFY(f.avviso.isEmpty());
}

void TestSpreadsheets::xlsxOddStructure()
{
    const QByteArray shared =
        R"(<si><t>Numero</t></si><si><r><t>Ra</t></r><r><rPr><b/></rPr><t xml:space="preserve">gione </t></r><r><t>Sociale</t></r><rPh><t>FONETICA</t></rPh></si>)";
    const QByteArray styles =
        R"(<numFmts count="1"><numFmt numFmtId="170" formatCode="[$-410]d\ mmmm\ yyyy;@"/><numFmt numFmtId="171" formatCode="&quot;giorni&quot; 0"/></numFmts>
<cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="170"/><xf numFmtId="14"/><xf numFmtId="171"/></cellXfs>)";
    // No r on rows or cells; a cell with r jumps; an inline rich string; errors and booleans.
    const QByteArray sheet = R"(<row><c t="s"><v>0</v></c><c t="s"><v>1</v></c><c t="s"><v>99</v></c></row>
<row><c s="1"><v>39872</v></c><c t="inlineStr"><is><r><t>Caf</t></r><r><t>fè</t></r></is></c><c r="E2" t="e"><v>#DIV/0!</v></c><c t="e"><v>#N/A</v></c></row>
<row r="5"><c r="B5" s="2"><v>0</v></c><c s="3"><v>30</v></c><c t="b"><v>1</v></c><c t="d"><v>2013-03-01T00:00:00</v></c></row>)";
    const QString file = path(QStringLiteral("strano.xlsx"));
    writeAll(file, xlsxOf(sheet, shared, styles, true));
    const Foglio f = readSpreadsheet(file);
    QCOMPARE(f.righe.size(), 5);
    QCOMPARE(f.righe[0], (QStringList{"Numero", "Ragione Sociale", "", "", "", ""}));
    // 1904 system: serial 39872 is 1 March 2013; serial 0 is 1 January 1904.
    QCOMPARE(f.righe[1], (QStringList{"01/03/2013", "Caffè", "", "", "#DIV/0!", "#N/D"}));
    QCOMPARE(f.righe[4], (QStringList{"", "01/01/1904", "30", "VERO", "01/03/2013", ""}));
    // The third header cell names a shared string the workbook does not have: a cell that
    // could not be read, never a value that happens to be empty.
    QCOMPARE(f.illeggibili, (QList<QPair<int, int>>{{0, 2}}));
    QVERIFY2(f.avviso.startsWith(QStringLiteral("1 cella non può essere letta (colonna C)")), qPrintable(f.avviso));
}

void TestSpreadsheets::xlsFromXlwtWithFormulas()
{
    const QString file = path(QStringLiteral("xlwt.xls"));
    QVERIFY(python(QStringLiteral(R"(
import sys, datetime, xlwt
wb = xlwt.Workbook(encoding='utf-8')
ws = wb.add_sheet('Fatture')
data = xlwt.easyxf(num_format_str='DD/MM/YYYY')
ws.write(1, 1, 'Numero'); ws.write(1, 2, 'Data'); ws.write(1, 3, 'Importo'); ws.write(1, 4, 'Totale')
ws.write(2, 1, 7); ws.write(2, 2, datetime.date(2013, 3, 1), data); ws.write(2, 3, 1234.5)
ws.write(2, 4, xlwt.Formula('D3*2'))
ws.write(3, 1, 'Società'); ws.write(3, 3, -100)
ws.write(3, 4, xlwt.Formula('D4*2')); ws.write(3, 5, xlwt.Formula('"x"'))
wb.add_sheet('Secondo').write(0, 0, 'NO')
wb.save(sys.argv[1])
)"),
                   {file}));
    const Foglio f = readSpreadsheet(file);
    QCOMPARE(f.righe.size(), 4);
    QCOMPARE(f.righe[0], QStringList(6));
    QCOMPARE(f.righe[1], (QStringList{"", "Numero", "Data", "Importo", "Totale", ""}));
    QCOMPARE(f.righe[2], (QStringList{"", "7", "01/03/2013", "1234,5", "", ""}));
    QCOMPARE(f.righe[3], (QStringList{"", "Società", "", "-100", "", ""}));
    // xlwt stores no result with a formula: those cells are named, never read as empty.
    QCOMPARE(f.illeggibili, (QList<QPair<int, int>>{{2, 4}, {3, 4}, {3, 5}}));
    QVERIFY2(f.avviso.startsWith(QLatin1String("3 celle")) && f.avviso.contains(QLatin1String("(colonne E, F)")),
             qPrintable(f.avviso));
}

void TestSpreadsheets::odsRepeatsAndTexts()
{
    const QByteArray tables = R"(<table:table table:name="Primo">
<table:table-column table:number-columns-repeated="1024"/>
<table:table-row><table:table-cell office:value-type="string"><text:p>Ragione Sociale</text:p></table:table-cell>
 <table:table-cell table:number-columns-repeated="2"/><table:table-cell office:value-type="string"><text:p>Importo</text:p></table:table-cell>
 <table:table-cell table:number-columns-repeated="16380"/></table:table-row>
<table:table-row table:number-rows-repeated="2"><table:table-cell office:value-type="string"><text:p>Uno<text:s text:c="3"/>due</text:p><text:p>tre</text:p>
  <office:annotation><text:p>commento</text:p></office:annotation></table:table-cell>
 <table:table-cell office:value-type="date" office:date-value="2013-03-01"/><table:table-cell office:value-type="date" office:date-value="2013-03-01T10:30:00"/>
 <table:table-cell office:value-type="float" office:value="1234.5"><text:p>1.234,50</text:p></table:table-cell></table:table-row>
<table:table-row><table:table-cell table:number-columns-repeated="4"/><table:table-cell office:value-type="boolean" office:boolean-value="false"/></table:table-row>
<table:table-row table:number-rows-repeated="1048571"><table:table-cell table:number-columns-repeated="16384"/></table:table-row>
</table:table><table:table table:name="Secondo"><table:table-row><table:table-cell office:value-type="string"><text:p>NO</text:p></table:table-cell></table:table-row></table:table>)";
    const QString file = path(QStringLiteral("calc.ods"));
    writeAll(file, odsOf(tables));
    const Foglio f = readSpreadsheet(file);
    QCOMPARE(f.righe.size(), 4);
    QCOMPARE(f.righe[0], (QStringList{"Ragione Sociale", "", "", "Importo", ""}));
    QCOMPARE(f.righe[1], (QStringList{"Uno   due\ntre", "01/03/2013", "01/03/2013 10:30:00", "1234,5", ""}));
    QCOMPARE(f.righe[2], f.righe[1]);
    QCOMPARE(f.righe[3], (QStringList{"", "", "", "", "FALSO"}));
}

// A formula whose result the producer did not store is a cell that could not be read:
// read as empty, its row would import as a paid € 0,00 credit.
void TestSpreadsheets::odsFormulaWithoutResult()
{
    const QByteArray table = R"(<table:table table:name="Foglio1">
<table:table-row><table:table-cell office:value-type="string"><text:p>Numero</text:p></table:table-cell>
 <table:table-cell office:value-type="string"><text:p>Importo</text:p></table:table-cell>
 <table:table-cell office:value-type="string"><text:p>Scadenza</text:p></table:table-cell></table:table-row>
<table:table-row table:number-rows-repeated="2"><table:table-cell office:value-type="string"><text:p>7</text:p></table:table-cell>
 <table:table-cell table:formula="of:=[.X1]*2" office:value-type="float"/>
 <table:table-cell office:value-type="date"/></table:table-row>
<table:table-row><table:table-cell office:value-type="string"><text:p>8</text:p></table:table-cell>
 <table:table-cell table:formula="of:=1+1" office:value-type="float" office:value="2"><text:p>2</text:p></table:table-cell>
 <table:table-cell table:formula="of:=&quot;&quot;" office:value-type="string"/></table:table-row>
</table:table>)";
    const QString file = path(QStringLiteral("formule.ods"));
    writeAll(file, odsOf(table));
    const Foglio f = readSpreadsheet(file);
    QCOMPARE(f.righe.size(), 4);
    QCOMPARE(f.righe[3], (QStringList{"8", "2", ""}));
    QCOMPARE(f.illeggibili, (QList<QPair<int, int>>{{1, 1}, {1, 2}, {2, 1}, {2, 2}}));
    QVERIFY2(f.avviso.startsWith(QLatin1String("4 celle non possono essere lette (colonne B, C)")),
             qPrintable(f.avviso));
}

// Durations are a cell's text; numbers past any integer (a fuzzer's find) stay as written.
void TestSpreadsheets::odsDurations()
{
    QByteArray row = "<table:table-row>";
    for (const char* d : {"PT10H30M00S", "P1DT2H", "PT1,5S", "PT555555555555555555555H", "P99999D"})
        row += QByteArray(R"(<table:table-cell office:value-type="time" office:time-value=")") + d + "\"/>";
    row += "</table:table-row>";
    const QString file = path(QStringLiteral("durate.ods"));
    writeAll(file, odsOf("<table:table>" + row + "</table:table>"));
    const Foglio f = readSpreadsheet(file);
    QCOMPARE(f.righe.size(), 1);
    QCOMPARE(f.righe[0], (QStringList{"10:30:00", "26:00:00", "00:00:02", "PT555555555555555555555H",
                                      "P99999D"}));
}

void TestSpreadsheets::badFilesSayWhy_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("words");
    const QByteArray good = xlsxOf(R"(<row><c t="inlineStr"><is><t>A</t></is></c></row>)");
    QTest::newRow("truncated xlsx") << good.left(good.size() / 2) << "danneggiato o incompleto";
    QTest::newRow("text renamed") << QByteArray("NUMERO;DATA\n1;2\n") << "non è un foglio di calcolo";
    QTest::newRow("empty") << QByteArray() << "non è un foglio di calcolo";
    QTest::newRow("other zip") << zipOf({{QStringLiteral("leggimi.txt"), "ciao"}})
                               << "non è un foglio di calcolo";
    QTest::newRow("text document") << zipOf({{QStringLiteral("mimetype"),
                                              "application/vnd.oasis.opendocument.text"},
                                             {QStringLiteral("content.xml"), "<a/>"}})
                                   << "non è un foglio di calcolo";
    QTest::newRow("broken xml") << xlsxOf("<row><c><v>1</v></row>") << "danneggiato o incompleto";
    QTest::newRow("encrypted part") << zipOf({{QStringLiteral("mimetype"),
                                               "application/vnd.oasis.opendocument.spreadsheet"},
                                              {QStringLiteral("content.xml"), odsHead}},
                                             QStringLiteral("content.xml"))
                                    << "protetto da password";
    QTest::newRow("cell far away") << xlsxOf(R"(<row r="1048576"><c r="XFD1048576"><v>1</v></c></row>)")
                                   << "troppo grande";
    QTest::newRow("compound file not a workbook")
        << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(600, 'x')
        << "danneggiato o incompleto";
}

void TestSpreadsheets::badFilesSayWhy()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, words);
    const QString file = path(QStringLiteral("cattivo.xlsx"));
    writeAll(file, bytes);
    const QString message = failure([&] { readSpreadsheet(file); });
    QVERIFY2(message.contains(words), qPrintable(message));
    QVERIFY(message.contains(QStringLiteral("cattivo.xlsx")));
}

void TestSpreadsheets::boundedMutations()
{
    const QByteArray xlsxSheet =
        R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" s="1"><v>41334.5</v></c><c t="inlineStr"><is><r><t>x</t></r></is></c></row><row><c t="b"><v>1</v></c><c t="e"><v>#REF!</v></c><c><f>A1</f></c></row>)";
    const QByteArray shared = R"(<si><t>Società</t></si>)";
    const QByteArray styles =
        R"(<numFmts><numFmt numFmtId="170" formatCode="dd/mm/yy"/></numFmts><cellXfs><xf numFmtId="0"/><xf numFmtId="170"/></cellXfs>)";
    const QByteArray odsTable =
        R"(<table:table><table:table-row table:number-rows-repeated="3"><table:table-cell office:value-type="float" office:value="1.5" table:number-columns-repeated="2"/><table:table-cell office:value-type="string"><text:p>a<text:s text:c="2"/>b</text:p></table:table-cell></table:table-row><table:table-row><table:table-cell office:value-type="time" office:time-value="PT10H30M00S"/></table:table-row></table:table>)";
    QRandomGenerator rng(7122026);
    const QByteArray alphabet("<>/\"= rct9-&\0\xFF", 14);
    auto mutate = [&](const QByteArray& b, int most = 6) {
        return TestEnv::mutate(b, rng, alphabet, most, true);
    };
    int runs = 0, sheets = 0;
    const QByteArray xlsx = xlsxOf(xlsxSheet, shared, styles), ods = odsOf(odsTable);
    for (int i = 0; i < 6000; ++i, ++runs) {
        QByteArray bytes;
        switch (i % 4) {
        case 0:
            bytes = xlsxOf(mutate(xlsxSheet, 2), mutate(shared, 1), mutate(styles, 1), i % 3 == 0);
            break;
        case 1:
            bytes = odsOf(mutate(odsTable, 2));
            break;
        case 2:
            bytes = mutate(xlsx);
            break;
        default:
            bytes = mutate(ods);
        }
        try {
            const Foglio f = parseSpreadsheet(bytes, QStringLiteral("mutato"));
            for (const auto& r : f.righe)
                QCOMPARE(r.size(), f.righe.first().size());
            ++sheets;
        } catch (const sz::Error& e) {
            QVERIFY(e.message().contains(QLatin1String("mutato")));
        }
    }
    qInfo("%d mutated workbooks read without a fault (%d still a sheet)", runs, sheets);
}

// Rows numbered by r whose cells carry no reference: each row's cells land on its own
// row, the row the file skips stays empty and the first row stays the header.
void TestSpreadsheets::xlsxRowNumbersWithoutCellReferences()
{
    const QByteArray sheet = R"(<row r="1"><c t="inlineStr"><is><t>Numero</t></is></c><c t="inlineStr"><is><t>Importo</t></is></c></row>
<row r="2"><c><v>1</v></c><c><v>10.5</v></c></row>
<row r="4"><c><v>3</v></c><c><v>30</v></c></row>)";
    const Foglio f = parseSpreadsheet(xlsxOf(sheet), QStringLiteral("righe.xlsx"));
    QCOMPARE(f.righe.size(), 4);
    QCOMPARE(f.righe[0], (QStringList{"Numero", "Importo"}));
    QCOMPARE(f.righe[1], (QStringList{"1", "10,5"}));
    QCOMPARE(f.righe[2], (QStringList{"", ""}));
    QCOMPARE(f.righe[3], (QStringList{"3", "30"}));
    QVERIFY(f.illeggibili.isEmpty());
}

// Each file is a few KB; unguarded, each took gigabytes or minutes. Refused at once, with
// a message that says why.
void TestSpreadsheets::hostileFilesRefusedQuickly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("words");
    const QByteArray ns =
        R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
    QTest::newRow("xlsx sheet with nested entities")
        << zipOf({{QStringLiteral("xl/workbook.xml"), "<workbook" + ns + "><sheets><sheet name=\"a\"/></sheets></workbook>"},
                  {QStringLiteral("xl/worksheets/sheet1.xml"),
                   laughs("worksheet", "<worksheet" + ns + "><sheetData><row><c t=\"inlineStr\"><is><t>",
                          "</t></is></c></row></sheetData></worksheet>")}})
        << "DTD";
    QTest::newRow("xlsx shared strings with nested entities")
        << zipOf({{QStringLiteral("xl/workbook.xml"), "<workbook" + ns + "><sheets><sheet name=\"a\"/></sheets></workbook>"},
                  {QStringLiteral("xl/worksheets/sheet1.xml"),
                   "<worksheet" + ns + R"(><sheetData><row><c t="s"><v>0</v></c></row></sheetData></worksheet>)"},
                  {QStringLiteral("xl/sharedStrings.xml"), laughs("sst", "<sst" + ns + "><si><t>", "</t></si></sst>")}})
        << "DTD";
    QTest::newRow("ods content with nested entities")
        << zipOf({{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet"},
                  {QStringLiteral("content.xml"),
                   laughs("office:document-content", odsHead + "<table:table><table:table-row><table:table-cell><text:p>",
                          "</text:p></table:table-cell></table:table-row></table:table></office:spreadsheet></office:body></office:document-content>")}})
        << "DTD";
    QByteArray spazi;
    for (int i = 0; i < 100; ++i)
        spazi += R"(<text:s text:c="1024"/>)";
    QTest::newRow("ods spaces over repeated cells")
        << odsOf(R"(<table:table><table:table-row table:number-rows-repeated="1048576"><table:table-cell table:number-columns-repeated="1000" office:value-type="string"><text:p>)" +
                 spazi + "</text:p></table:table-cell></table:table-row></table:table>")
        << "più di 32.767 caratteri";
    QByteArray spaziCorti;
    for (int i = 0; i < 30; ++i)
        spaziCorti += R"(<text:s text:c="1024"/>)";
    QTest::newRow("ods text repeated past the budget")
        << odsOf(R"(<table:table><table:table-row table:number-rows-repeated="1000"><table:table-cell table:number-columns-repeated="1000" office:value-type="string"><text:p>)" +
                 spaziCorti + "</text:p></table:table-cell></table:table-row></table:table>")
        << "30.000.000 caratteri";
    QTest::newRow("ods repeated past the cells")
        << odsOf(R"(<table:table><table:table-row table:number-rows-repeated="1048576"><table:table-cell table:number-columns-repeated="1000" office:value-type="float" office:value="1"/></table:table-row></table:table>)")
        << "il massimo è 2.000.000 celle";
    QTest::newRow("xlsx too wide")
        << xlsxOf(R"(<row><c r="A1"><v>1</v></c><c r="ALN1"><v>1</v></c></row>)") << "il massimo è 1.000";
    QTest::newRow("zip of 100 entries over one stream")
        << sharedStreamZip(100, QByteArray(63 * 1024 * 1024, '<')) << "condividono gli stessi dati";
    QTest::newRow("zip of 1000 entries over one stream")
        << sharedStreamZip(1000, QByteArray(63 * 1024 * 1024, '<')) << "condividono gli stessi dati";
    QTest::newRow("entry expanding past the ratio")
        << sharedStreamZip(1, QByteArray(63 * 1024 * 1024, '<'), 0, "content.xml") << "oltre 200 volte";
    QTest::newRow("entry lying about its size")
        << sharedStreamZip(1, QByteArray(63 * 1024 * 1024, '<'), 1000, "content.xml") << "danneggiato";
}

void TestSpreadsheets::hostileFilesRefusedQuickly()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, words);
    const QString file = path(QStringLiteral("ostile.xlsx"));
    writeAll(file, bytes);
    const QString message = refusedQuickly([&] { readSpreadsheet(file); });
    QVERIFY2(message.contains(words) && message.contains(QLatin1String("ostile.xlsx")), qPrintable(message));
}

// The electronic invoice: plain XML, and the ZIP walk, against the same tricks.
void TestSpreadsheets::hostileArchivesAndInvoices()
{
    const QByteArray fattura = laughs("FatturaElettronica", "<FatturaElettronica versione=\"FPR12\"><FatturaElettronicaHeader>",
                                      "</FatturaElettronicaHeader></FatturaElettronica>");
    QString message = refusedQuickly([&] { sz::fatturapa::leggiFattura(fattura, QStringLiteral("risate.xml")); });
    QVERIFY2(message.contains(QLatin1String("\"risate.xml\"")) && message.contains(QLatin1String("DTD")),
             qPrintable(message));

    const auto walk = [](const QByteArray& zip, int* files) {
        sz::fatturapa::leggiZip(
            zip, QStringLiteral("bomba.zip"), [&](const QString&, const QByteArray&) { ++*files; },
            [&](const QString&, const QString& e) { throw sz::Error(e); });
    };
    int files = 0;
    const QByteArray plain(63 * 1024 * 1024, '<');
    message = refusedQuickly([&] { walk(sharedStreamZip(1000, plain), &files); });
    QVERIFY2(message.contains(QLatin1String("condividono")), qPrintable(message));
    QCOMPARE(files, 0);
    message = refusedQuickly([&] { walk(sharedStreamZip(1, plain), &files); });
    QVERIFY2(message.contains(QLatin1String("oltre 200 volte")), qPrintable(message));
    // The directory says 1,000 bytes; the stream inflates to 63 MB.
    message = refusedQuickly([&] { walk(sharedStreamZip(1, plain, 1000), &files); });
    QVERIFY2(message.contains(QLatin1String("bomba.zip")), qPrintable(message));
    QCOMPARE(files, 0);
    // An ordinary archive still walks.
    walk(zipOf({{QStringLiteral("a.xml"), "<a/>"}, {QStringLiteral("b.xml"), "<b/>"}}), &files);
    QCOMPARE(files, 2);

    // An allocation that fails inside a read ends that read with a message, not the program.
    message = failure([&] {
        sz::fatturapa::leggiZip(
            zipOf({{QStringLiteral("a.xml"), "<a/>"}}), QStringLiteral("memoria.zip"),
            [](const QString&, const QByteArray&) { throw std::bad_alloc(); }, [](const QString&, const QString&) {});
    });
    QCOMPARE(message, QStringLiteral("Impossibile leggere il file \"memoria.zip\": il file è troppo grande o "
                                     "danneggiato: la memoria non basta per leggerlo."));
}

// One- and two-byte changes of an xlwt workbook, lengths and sizes that lie. Each is
// refused as damaged, within the time every hostile file is held to, or, where the lie
// touches nothing the sheet needs, read as before; never read past the data it describes
// (the sanitized suite runs this too).
void TestSpreadsheets::xlsWithLyingDirectoryEntry()
{
    const QString file = path(QStringLiteral("bugiardo.xls"));
    QVERIFY(python(QStringLiteral(R"(
import sys, xlwt
wb = xlwt.Workbook()
wb.add_sheet('Fatture').write(0, 0, 'Numero')
wb.save(sys.argv[1])
)"),
                   {file}));
    const QByteArray original = readAll(file);
    const Rows intero{{QStringLiteral("Numero")}};
    QCOMPARE(readSpreadsheet(file).righe, intero);
    // What became of the changed file: "" when it read as before, else the refusal.
    const auto esito = [&](const QByteArray& bytes) {
        writeAll(file, bytes);
        QElapsedTimer t;
        t.start();
        QString message;
        try {
            const Foglio f = readSpreadsheet(file);
            if (f.righe != intero) message = QStringLiteral("read as another sheet");
        } catch (const sz::Error& e) {
            message = e.message();
        }
        if (t.elapsed() > 10000) message = QStringLiteral("took %1 ms").arg(t.elapsed());
        return message;
    };
    const auto danneggiato = [](const QString& message) {
        return message.contains(QLatin1String("danneggiato")) && message.contains(QLatin1String("bugiardo.xls"));
    };

    // The name lengths of the root entry and of the workbook stream's entry: past the 64
    // bytes a name has, or short of its terminator.
    const quint32 directorySector = quint8(original[0x30]) | quint8(original[0x31]) << 8 | quint8(original[0x32]) << 16;
    const qint64 root = (qint64(directorySector) + 1) * 512;
    QVERIFY(root + 256 <= original.size());
    for (const qint64 entry : {root, root + 128})
        for (const char length : {char(0xF0), char(0x41), char(0x03)}) {
            QByteArray bytes = original;
            bytes[entry + 0x40] = length;
            // A workbook stream whose name no longer reads as one leaves a compound file
            // that holds no workbook.
            const QString message = esito(bytes);
            QVERIFY2(message.isEmpty() || danneggiato(message) ||
                         message.contains(QStringLiteral("non è un foglio di calcolo")),
                     qPrintable(message));
        }

    // A record that claims to run past the end of the workbook stream (the end of the
    // workbook globals made 65,535 bytes long).
    QByteArray bytes = original;
    const qsizetype eof = bytes.indexOf(QByteArray("\x0A\x00\x00\x00\x09\x08", 6));
    QVERIFY(eof > 0);
    bytes[eof + 2] = char(0xFF);
    bytes[eof + 3] = char(0xFF);
    QString message = esito(bytes);
    QVERIFY2(danneggiato(message), qPrintable(message));

    // A shared string that claims 65,535 two-byte characters in a record of a few bytes.
    bytes = original;
    const qsizetype shared = bytes.indexOf(QByteArray("\x06\x00\x00Numero", 9));
    QVERIFY(shared > 0);
    bytes[shared] = char(0xFF);
    bytes[shared + 1] = char(0xFF);
    bytes[shared + 2] = char(0x01);
    message = esito(bytes);
    QVERIFY2(danneggiato(message), qPrintable(message));

    // A used range the format allows but no grid here holds (65,536 rows by 256 columns),
    // and one of 19,280 columns: never allocated on the file's word.
    bytes = original;
    const qsizetype range = bytes.indexOf(QByteArray("\x00\x02\x0E\x00", 4));
    QVERIFY(range > 0);
    bytes.replace(range + 4, 14, QByteArray("\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x01\x00\x00", 14));
    message = esito(bytes);
    QVERIFY2(message.isEmpty() || danneggiato(message), qPrintable(message));
    bytes = original;
    bytes[range + 4 + 10] = char(0x50);
    bytes[range + 4 + 11] = char(0x4B);
    message = esito(bytes);
    QVERIFY2(message.isEmpty() || danneggiato(message), qPrintable(message));
}

// Shared strings as xlwt writes them: over many CONTINUE records, some strings split
// between two of them, in 8 and 16 bits.
void TestSpreadsheets::xlsSharedStringsOverManyRecords()
{
    const QString file = path(QStringLiteral("tanti.xls"));
    QVERIFY(python(QStringLiteral(R"(
import sys, xlwt
wb = xlwt.Workbook(encoding='utf-8')
ws = wb.add_sheet('Clienti')
for i in range(3000):
    ws.write(i, 0, ('Società %d ' % i) * (1 + i % 7))
    ws.write(i, 1, 'Cliente %d €' % i if i % 3 else 'Cliente %d' % i)
wb.save(sys.argv[1])
)"),
                   {file}));
    const Foglio f = readSpreadsheet(file);
    QCOMPARE(f.righe.size(), 3000);
    QCOMPARE(f.righe[2999][0], QStringLiteral("Società 2999 ").repeated(1 + 2999 % 7));
    QCOMPARE(f.righe[2998][1], QStringLiteral("Cliente 2998 €"));
    QCOMPARE(f.righe[2997][1], QStringLiteral("Cliente 2997"));
}

// ---- workbooks saved by LibreOffice ------------------------------------------------------

// Every test that reads one needs LibreOffice; without it installed they are skipped.
#define SERVE_LIBREOFFICE()                                                                          \
    do {                                                                                             \
        if (soffice().isEmpty()) QSKIP("LibreOffice (soffice) is not installed");                    \
        QVERIFY2(m_convertiti, "LibreOffice did not save the workbooks");                            \
    } while (false)

constexpr int righeFatture = 1500;

void TestSpreadsheets::initTestCase()
{
    if (soffice().isEmpty()) return;
    writeAll(path(QStringLiteral("fatture.fods")), fattureDaLibreOffice(righeFatture).fods());
    writeAll(path(QStringLiteral("anni1904.fods")), anni1904().fods(true));
    writeAll(path(QStringLiteral("importare.fods")), fattureDaImportare().fods());
    writeAll(path(QStringLiteral("clienti.fods")), clientiDaImportare().fods());
    const QString profilo = path(QStringLiteral("profilo-libreoffice"));
    const QString lo = path(QStringLiteral("lo"));
    QVERIFY(QDir().mkpath(lo));
    QElapsedTimer t;
    t.start();
    m_convertiti =
        libreOffice(profilo, QStringLiteral("xls"), lo,
                    {path(QStringLiteral("fatture.fods")), path(QStringLiteral("anni1904.fods")),
                     path(QStringLiteral("importare.fods")), path(QStringLiteral("clienti.fods"))}) &&
        libreOffice(profilo, QStringLiteral("ods"), lo, {path(QStringLiteral("fatture.fods"))}) &&
        libreOffice(profilo, QStringLiteral("xlsx"), lo, {path(QStringLiteral("fatture.fods"))});
    qInfo("LibreOffice saved the workbooks in %lld ms", t.elapsed());
    // LibreOffice no longer writes Excel 95; Gnumeric does, from the .ods LibreOffice saved.
    if (m_convertiti && !ssconvert().isEmpty())
        m_gnumeric = gnumeric(QStringLiteral("Gnumeric_Excel:excel_biff7"), path(QStringLiteral("lo/fatture.ods")),
                              path(QStringLiteral("gnumeric95.xls"))) &&
                     gnumeric(QStringLiteral("Gnumeric_Excel:excel_biff8"), path(QStringLiteral("lo/fatture.ods")),
                              path(QStringLiteral("gnumeric97.xls"))) &&
                     gnumeric(QStringLiteral("Gnumeric_Excel:excel_biff7"), path(QStringLiteral("lo/fatture.xls")),
                              path(QStringLiteral("gnumeric95-utf16.xls")));
}

namespace {

// The first difference, row by row so that it names its row; empty when there is none.
QString differenza(const Foglio& f, const Rows& attese)
{
    if (f.righe.size() != attese.size())
        return QStringLiteral("%1 righe invece di %2").arg(f.righe.size()).arg(attese.size());
    for (qsizetype r = 0; r < attese.size(); ++r)
        if (f.righe[r] != attese[r])
            return QStringLiteral("riga %1: [%2] invece di [%3]")
                .arg(r + 1)
                .arg(f.righe[r].join(QLatin1Char('|')), attese[r].join(QLatin1Char('|')));
    return {};
}

} // namespace

// Excel 97 (BIFF8) as LibreOffice saves it: every cell reads as LibreOffice shows it, the
// formulas by the result stored with them; a formula whose result is an error has no
// value and is named, never read as empty.
void TestSpreadsheets::xlsFromLibreOffice()
{
    SERVE_LIBREOFFICE();
    const QString file = path(QStringLiteral("lo/fatture.xls"));
    // The shared strings fill a record of 8,224 bytes and go on in CONTINUE records.
    QVERIFY(readAll(file).contains(QByteArray("\xFC\x00\x20\x20", 4)));
    const Cartella c = fattureDaLibreOffice(righeFatture);
    const Foglio f = readSpreadsheet(file);
    const QString d = differenza(f, c.attese());
    QVERIFY2(d.isEmpty(), qPrintable(d));
    QCOMPARE(f.illeggibili, c.illeggibili());
    QVERIFY2(f.avviso.startsWith(QLatin1String("1 cella")) && f.avviso.contains(QLatin1String("(colonna I)")),
             qPrintable(f.avviso));
}

// The same workbook as Gnumeric saves it from the .ods: Excel 97 (BIFF8), and Excel 5/95
// (BIFF5: no shared strings, texts and the strings of formulas in the workbook's code
// page, where the euro sign is a byte of windows-1252). The same sheet.
void TestSpreadsheets::xlsFromGnumeric_data()
{
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QByteArrayList>("firme"); // bytes the file must hold, to be what it claims
    const QByteArray biff8("\x09\x08\x10\x00\x00\x06\x05\x00", 8), biff5("\x09\x08\x08\x00\x00\x05\x05\x00", 8);
    QTest::newRow("Excel 97") << QStringLiteral("gnumeric97.xls") << QByteArrayList{biff8};
    QTest::newRow("Excel 95") << QStringLiteral("gnumeric95.xls")
                              << QByteArrayList{biff5, QByteArray("Societ\xE0 0 \xE0\xE8\xE9\xEC\xF2\xF9 \x80", 18)};
    // From an Excel 97 file Gnumeric keeps its code page, 1200: the Excel 95 texts are UTF-16.
    QTest::newRow("Excel 95 in UTF-16") << QStringLiteral("gnumeric95-utf16.xls")
                                        << QByteArrayList{biff5, QByteArray("\x42\x00\x02\x00\xB0\x04", 6)};
}

void TestSpreadsheets::xlsFromGnumeric()
{
    QFETCH(QString, nome);
    QFETCH(QByteArrayList, firme);
    SERVE_LIBREOFFICE();
    if (ssconvert().isEmpty()) QSKIP("Gnumeric (ssconvert) is not installed");
    QVERIFY2(m_gnumeric, "Gnumeric did not save the workbooks");
    const QString file = path(nome);
    const QByteArray bytes = readAll(file);
    for (const QByteArray& firma : firme)
        QVERIFY(bytes.contains(firma));
    const Cartella c = fattureDaLibreOffice(righeFatture);
    const Foglio f = readSpreadsheet(file);
    const QString d = differenza(f, c.attese());
    QVERIFY2(d.isEmpty(), qPrintable(d));
    QCOMPARE(f.illeggibili, c.illeggibili());
}

void TestSpreadsheets::xls1904FromLibreOffice()
{
    SERVE_LIBREOFFICE();
    const QString file = path(QStringLiteral("lo/anni1904.xls"));
    QVERIFY(readAll(file).contains(QByteArray("\x22\x00\x02\x00\x01\x00", 6))); // DATEMODE 1
    const Foglio f = readSpreadsheet(file);
    const QString d = differenza(f, anni1904().attese());
    QVERIFY2(d.isEmpty(), qPrintable(d));
    QVERIFY(f.illeggibili.isEmpty());
}

// The same workbook saved as .ods and .xlsx reads as the same block: CAPs padded as
// LibreOffice shows them, amounts and dates as values, booleans in Italian. Only the error
// cell may differ: the text of the error, or a cell named as unreadable.
void TestSpreadsheets::sameWorkbookInEveryFormat()
{
    SERVE_LIBREOFFICE();
    const Cartella c = fattureDaLibreOffice(righeFatture);
    for (const char* nome : {"lo/fatture.ods", "lo/fatture.xlsx"}) {
        Foglio f = readSpreadsheet(path(QString::fromLatin1(nome)));
        for (const auto& [r, col] : c.illeggibili()) {
            QVERIFY(r < f.righe.size() && col < f.righe[r].size());
            QVERIFY2(f.illeggibili.contains(qMakePair(r, col)) || f.righe[r][col].startsWith(QLatin1Char('#')),
                     qPrintable(f.righe[r][col]));
            f.righe[r][col].clear();
        }
        const QString d = differenza(f, c.attese());
        QVERIFY2(d.isEmpty(), qPrintable(QString::fromLatin1(nome) + QStringLiteral(": ") + d));
    }
}

// The zero-padded format of postcodes in a workbook openpyxl writes: a CAP stored as 184
// is the "00184" Excel shows; a fraction or a negative number no code is stays a number;
// only the format's first section decides.
void TestSpreadsheets::zeroPaddedNumbersFromOpenpyxl()
{
    const QString file = path(QStringLiteral("cap.xlsx"));
    QVERIFY(python(QStringLiteral(R"(
import sys, datetime, openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.append(['CAP', 'Importo', 'Data', 'Codice', 'Pagato'])
ws.append([184, 1234.5, datetime.datetime(2013, 3, 1), 7, 1])
ws.append([35100, 21474836.47, datetime.datetime(2013, 3, 1, 10, 30), 123456, 0])
ws.append([184.5, -5, None, 0, -1])
# A day format on a value with a time: the office program shows the day, late as the time is.
ws.append([None, None, datetime.datetime(2013, 3, 2, 23, 59, 59), None, None])
ws['C5'].number_format = 'dd/mm/yyyy'
for r in range(2, 5):
    ws.cell(row=r, column=1).number_format = '00000'
    ws.cell(row=r, column=2).number_format = '#,##0.00 [$€-410]'
    ws.cell(row=r, column=4).number_format = '000;-000;"zero"'
    # How the office programs keep a logical formula's result in this format.
    ws.cell(row=r, column=5).number_format = '"VERO";"VERO";"FALSO"' if r < 4 else '"TRUE";"TRUE";"FALSE"'
ws['B4'].number_format = '00000'
wb.save(sys.argv[1])
)"),
                   {file}));
    const Foglio f = readSpreadsheet(file);
    QCOMPARE(f.righe, (Rows{{"CAP", "Importo", "Data", "Codice", "Pagato"},
                            {"00184", "1234,5", "01/03/2013", "007", "VERO"},
                            {"35100", "21474836,47", "01/03/2013 10:30:00", "123456", "FALSO"},
                            {"184,5", "-5", "", "000", "VERO"},
                            {"", "", "02/03/2013", "", ""}}));
}

// A workbook cut short anywhere: refused with a message naming it, within the time every
// hostile file is held to, or (when only sectors nothing uses were cut) read whole. Never
// a crash, never part of the sheet taken for all of it.
void TestSpreadsheets::xlsTruncatedAnywhere()
{
    SERVE_LIBREOFFICE();
    for (const char* nome : {"lo/fatture.xls", "gnumeric95.xls"}) {
        if (!m_gnumeric && qstrcmp(nome, "gnumeric95.xls") == 0) continue;
        const QByteArray intero = readAll(path(QString::fromLatin1(nome)));
        const Foglio atteso = readSpreadsheet(path(QString::fromLatin1(nome)));
        const QString file = path(QStringLiteral("troncato.xls"));
        int rifiutati = 0, letti = 0;
        QList<qsizetype> tagli{8, 100};
        for (qsizetype n = 512; n < intero.size(); n += 512)
            tagli << n << n + 300;
        for (const qsizetype n : tagli) {
            if (n >= intero.size()) continue;
            writeAll(file, intero.left(n));
            QElapsedTimer t;
            t.start();
            try {
                const Foglio f = readSpreadsheet(file);
                QVERIFY2(f.righe == atteso.righe && f.illeggibili == atteso.illeggibili,
                         qPrintable(QStringLiteral("%1 cut at %2 bytes read as another sheet").arg(nome).arg(n)));
                ++letti;
            } catch (const sz::Error& e) {
                QVERIFY2(e.message().contains(QLatin1String("troncato.xls")), qPrintable(e.message()));
                ++rifiutati;
            }
            QVERIFY2(t.elapsed() < 10000, qPrintable(QStringLiteral("cut at %1: %2 ms").arg(n).arg(t.elapsed())));
        }
        qInfo("%s of %lld bytes: %d cuts refused, %d read whole", nome, qlonglong(intero.size()), rifiutati, letti);
        QVERIFY(rifiutati > tagli.size() / 2);
    }
}

// An encrypted workbook (RC4, as Excel 97 to 2003 encrypt; the older XOR obfuscation) is
// told as such, not as a damaged file or as garbled cells.
void TestSpreadsheets::xlsWithPassword()
{
    const QString rc4 = path(QStringLiteral("segreto.xls")), xor_ = path(QStringLiteral("offuscato.xls"));
    QVERIFY(python(QStringLiteral(R"(
import sys, struct, xlwt
bof = xlwt.Workbook._Workbook__bof_rec
def save(path, filepass):
    xlwt.Workbook._Workbook__bof_rec = lambda self: bof(self) + struct.pack('<HH', 0x2F, len(filepass)) + filepass
    wb = xlwt.Workbook()
    wb.add_sheet('Fatture').write(0, 0, 'Numero')
    wb.save(path)
save(sys.argv[1], struct.pack('<HHH', 1, 1, 1) + bytes(range(48)))
save(sys.argv[2], struct.pack('<HHH', 0, 0x1234, 0xCDEF))
)"),
                   {rc4, xor_}));
    for (const QString& file : {rc4, xor_}) {
        const QString message = refusedQuickly([&] { readSpreadsheet(file); });
        QVERIFY2(message.contains(QLatin1String("protetto da password")) &&
                     message.contains(QFileInfo(file).fileName()),
                 qPrintable(message));
    }
}

// Small LibreOffice workbooks with a few bytes changed in place (lengths, counts, types,
// indexes of BIFF records and of the compound file): each reads as a sheet whose rows are
// all as wide, with its unreadable cells inside it, or is refused naming the file.
void TestSpreadsheets::xlsBoundedMutations()
{
    SERVE_LIBREOFFICE();
    QRandomGenerator rng(8122026);
    const QByteArray valori("\x00\x01\x02\x05\x06\x08\x20\x3C\x7F\x80\xFD\xFE\xFF", 13);
    int runs = 0, sheets = 0;
    for (const char* nome : {"lo/anni1904.xls", "lo/importare.xls", "lo/clienti.xls"}) {
        const QByteArray originale = readAll(path(QString::fromLatin1(nome)));
        QVERIFY(originale.size() > 1024);
        for (int i = 0; i < 3000; ++i, ++runs) {
            QByteArray bytes = originale;
            // Past the header, mostly: a changed header is refused before anything is read.
            for (int k = 0, n = 1 + int(rng.bounded(4)); k < n; ++k) {
                const qsizetype at = i % 10 == 0 ? rng.bounded(512) : 512 + rng.bounded(int(bytes.size() - 512));
                bytes[at] = rng.bounded(3) == 0 ? char(rng.bounded(256)) : valori[rng.bounded(int(valori.size()))];
            }
            try {
                const Foglio f = parseSpreadsheet(bytes, QStringLiteral("mutato.xls"));
                for (const auto& r : f.righe)
                    QCOMPARE(r.size(), f.righe.first().size());
                for (const auto& [r, c] : f.illeggibili)
                    QVERIFY(r < f.righe.size() && c < f.righe[r].size());
                ++sheets;
            } catch (const sz::Error& e) {
                QVERIFY2(e.message().contains(QLatin1String("mutato.xls")), qPrintable(e.message()));
            }
        }
    }
    qInfo("%d mutated .xls read without a fault (%d still a sheet)", runs, sheets);
}

// Invoices whose amounts, due dates and clients are formulas, as LibreOffice saved them,
// import with the values it computed; the row whose amount is an error is refused with
// its line. A Rome CAP in the "00000" format imports as 00184, not as "CAP non valido".
void TestSpreadsheets::xlsFormulasImported()
{
    SERVE_LIBREOFFICE();
    using namespace sz::importazione;
    TestEnv env;
    sz::db::Connection db(env.installDatabase());
    std::atomic<bool> annulla{false};

    const Caricamento fatture = caricaFile(path(QStringLiteral("lo/importare.xls")), TipoFile::Foglio, QChar());
    Scelte mappa;
    for (const char* campo : {"NumeroFattura", "DataFattura", "Scadenza", "Importo", "Cliente"})
        mappa.insert(QString::fromLatin1(campo), QString::fromLatin1(campo).toUpper());
    Esito e = importa(db, Tipo::Fatture, fatture.griglia, risolviColonne(fatture.griglia, Tipo::Fatture, mappa),
                      annulla);
    QCOMPARE(e.errori, QStringList{QStringLiteral("RIGA 3: Importo (cella D4): il valore non si è potuto leggere "
                                                  "dal file, la riga non è stata importata.")});
    QCOMPARE(e.scritte, 3);
    const auto righe = db.query(QStringLiteral(
        "SELECT NumeroFattura, DataFattura, Scadenza, Importo, Cliente FROM t_crediti ORDER BY NumeroFattura"));
    QCOMPARE(righe.rows.size(), 3);
    const QStringList numeri{"1", "2", "4"}, emesse{"2026-02-01", "2026-02-02", "2026-02-04"},
        scadenze{"2026-02-28", "2026-03-01", "2026-03-03"}, clienti{"SOCIETÀ A", "SOCIETÀ B", "SOCIETÀ D"};
    const qint64 centesimi[] = {3333, 6667, 13333};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(righe.value(i, QStringLiteral("NumeroFattura")).toString(), numeri[i]);
        QVERIFY2(righe.value(i, QStringLiteral("DataFattura")).toString().startsWith(emesse[i]),
                 qPrintable(righe.value(i, QStringLiteral("DataFattura")).toString()));
        QVERIFY2(righe.value(i, QStringLiteral("Scadenza")).toString().startsWith(scadenze[i]),
                 qPrintable(righe.value(i, QStringLiteral("Scadenza")).toString()));
        QCOMPARE(righe.value(i, QStringLiteral("Importo")).value<sz::Money>(), sz::Money::fromCents(centesimi[i]));
        QCOMPARE(righe.value(i, QStringLiteral("Cliente")).toString(), clienti[i]);
    }

    const Caricamento clientiFile = caricaFile(path(QStringLiteral("lo/clienti.xls")), TipoFile::Foglio, QChar());
    e = importa(db, Tipo::Clienti, clientiFile.griglia,
                risolviColonne(clientiFile.griglia, Tipo::Clienti,
                               {{QStringLiteral("RagioneSociale"), QStringLiteral("RAGIONE SOCIALE")},
                                {QStringLiteral("CAP"), QStringLiteral("CAP")},
                                {QStringLiteral("Localita"), QStringLiteral("CITTA")}}),
                annulla);
    QVERIFY2(e.errori.isEmpty(), qPrintable(e.errori.join(QLatin1Char('\n'))));
    QStringList conCap;
    for (const auto& r : db.query(QStringLiteral("SELECT RagioneSociale || '|' || CAP || '|' || Localita "
                                                 "FROM t_clienti WHERE CAP <> '' ORDER BY CAP"))
                             .rows)
        conCap << r[0].toString();
    QCOMPARE(conCap, (QStringList{"COMUNE DI ROMA|00184|ROMA", "CITTÀ DI PADOVA|35100|PADOVA"}));
}

QTEST_GUILESS_MAIN(TestSpreadsheets)
#include "tst_spreadsheets.moc"
