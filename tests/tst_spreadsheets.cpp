// Spreadsheets made at test time by the producers offices use: xlwt for .xls, openpyxl
// and libxlsxwriter for .xlsx, and hand-built archives for what those never write
// (absolute part names, missing cell references, rich text, 1904 dates, .ods repeats).
// Damaged, foreign and locked files must give an Italian message, never a crash.
#include "TestEnv.h"

#include "scadenzio/Error.h"
#include "scadenzio/sheets/FatturaPA.h"
#include "scadenzio/sheets/Readers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
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

private slots:
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
    QVERIFY2(
        f.avviso.startsWith(QLatin1String("3 celle con formule non possono essere lette (colonne E, F)")),
        qPrintable(f.avviso));
    QVERIFY(f.avviso.contains(QLatin1String(".xlsx o .csv")));
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

// One- and two-byte changes of an xlwt workbook that freexl would answer by reading past
// its buffers: refused as damaged before it sees them.
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
    QByteArray bytes = readAll(file);
    QCOMPARE(readSpreadsheet(file).righe, (Rows{{QStringLiteral("Numero")}}));
    const quint32 directorySector = quint8(bytes[0x30]) | quint8(bytes[0x31]) << 8 | quint8(bytes[0x32]) << 16;
    const qint64 root = (qint64(directorySector) + 1) * 512;
    QVERIFY(root + 128 <= bytes.size());
    const QByteArray original = bytes;
    bytes[root + 0x40] = char(0xF0);
    writeAll(file, bytes);
    QString message = refusedQuickly([&] { readSpreadsheet(file); });
    QVERIFY2(message.contains(QLatin1String("danneggiato")) && message.contains(QLatin1String("bugiardo.xls")),
             qPrintable(message));

    // A record that claims to run past the end of the workbook stream (the end of the
    // workbook globals made 65,535 bytes long): freexl would copy past its buffer.
    bytes = original;
    const qsizetype eof = bytes.indexOf(QByteArray("\x0A\x00\x00\x00\x09\x08", 6));
    QVERIFY(eof > 0);
    bytes[eof + 2] = char(0xFF);
    bytes[eof + 3] = char(0xFF);
    writeAll(file, bytes);
    message = refusedQuickly([&] { readSpreadsheet(file); });
    QVERIFY2(message.contains(QLatin1String("record del foglio non validi")), qPrintable(message));

    // A shared string that claims 65,535 two-byte characters in a record of a few bytes.
    bytes = original;
    const qsizetype shared = bytes.indexOf(QByteArray("\x06\x00\x00Numero", 9));
    QVERIFY(shared > 0);
    bytes[shared] = char(0xFF);
    bytes[shared + 1] = char(0xFF);
    bytes[shared + 2] = char(0x01);
    writeAll(file, bytes);
    message = refusedQuickly([&] { readSpreadsheet(file); });
    QVERIFY2(message.contains(QLatin1String("record del foglio non validi")), qPrintable(message));

    // A used range the format allows but no grid here holds (65,536 rows by 256 columns):
    // freexl would allocate it whole.
    bytes = original;
    const qsizetype range = bytes.indexOf(QByteArray("\x00\x02\x0E\x00", 4));
    QVERIFY(range > 0);
    bytes.replace(range + 4, 14, QByteArray("\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x01\x00\x00", 14));
    writeAll(file, bytes);
    message = refusedQuickly([&] { readSpreadsheet(file); });
    QVERIFY2(message.contains(QLatin1String("65.536 righe per 256 colonne")), qPrintable(message));

    // A used range of 19,280 columns, which freexl would allocate and lose.
    bytes = original;
    const qsizetype dimensions = bytes.indexOf(QByteArray("\x00\x02\x0E\x00", 4));
    QVERIFY(dimensions > 0);
    bytes[dimensions + 4 + 10] = char(0x50);
    bytes[dimensions + 4 + 11] = char(0x4B);
    writeAll(file, bytes);
    message = refusedQuickly([&] { readSpreadsheet(file); });
    QVERIFY2(message.contains(QLatin1String("record del foglio non validi")), qPrintable(message));
}

// The checks made before freexl must pass what a producer writes: shared strings that run
// over many CONTINUE records, some strings split between two of them, in 8 and 16 bits.
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

QTEST_GUILESS_MAIN(TestSpreadsheets)
#include "tst_spreadsheets.moc"
