#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Error.h"
#include "scadenzio/Esporta.h"
#include "scadenzio/Money.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <memory>

using namespace sz;
using sz::esporta::Tabella;
using sz::esporta::Tipo;

namespace {

Money euro(const char* text)
{
    return *Money::parse(QString::fromUtf8(text));
}

QVariant m(const char* text)
{
    return QVariant::fromValue(euro(text));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every cell of the first sheet as openpyxl reads it, with the sheet's set-up.
const char* const dumpScript = R"PY(
import json, sys, datetime, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
out = {"sheets": len(wb.worksheets), "title": ws.title, "freeze": ws.freeze_panes,
       "filter": ws.auto_filter.ref, "rows": [], "widths": {}}
for k, d in ws.column_dimensions.items():
    out["widths"][k] = d.width
for row in ws.iter_rows():
    r = []
    for c in row:
        v = c.value
        if isinstance(v, datetime.datetime):
            v = v.strftime("%Y-%m-%d %H:%M:%S")
        r.append({"v": v, "t": type(c.value).__name__, "f": c.number_format, "b": bool(c.font.b)})
    out["rows"].append(r)
sys.stdout.write(json.dumps(out))
)PY";

QJsonObject openpyxlDump(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(dumpScript), file});
    p.waitForFinished(60000);
    if (p.exitCode() != 0)
        qWarning("%s", p.readAllStandardError().constData());
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QString soffice()
{
    return QStandardPaths::findExecutable(QStringLiteral("soffice"));
}

// The table every file test writes: what the lists hold, and what a hostile import may
// have put in a client's name or notes.
Tabella campione()
{
    Tabella t;
    t.titoli = {QStringLiteral("Cliente"), QStringLiteral("Importo"), QStringLiteral("Scadenza"),
                QStringLiteral("Rata"), QStringLiteral("Note"), QStringLiteral("Inviata il")};
    t.tipi = {Tipo::Testo, Tipo::Importo, Tipo::Data, Tipo::Numero, Tipo::Testo, Tipo::DataOra};
    auto riga = [&t](QVariant a, QVariant b, QVariant c, QVariant d, QVariant e, QVariant f) {
        t.righe.append({a, b, c, d, e, f});
    };
    riga(QStringLiteral("Àrea Verde S.r.l."), m("1.234,5"), QDate(2026, 3, 5), 1, QStringLiteral("€ 10 \"sconto\"; ok"),
         QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7)));
    riga(QStringLiteral("=HYPERLINK(\"http://x\")"), m("-12"), QStringLiteral("31/12/2026"), 2.5,
         QStringLiteral("riga 1\r\nriga 2\rriga 3\nriga 4"), QStringLiteral("2026-12-08 10:11:12"));
    riga(QStringLiteral("+39 02 1234"), m("0"), QDate(1899, 12, 31), QVariant(), QStringLiteral("a\x01" "b\x1f" "c\tt\x7f"),
         QVariant());
    riga(QStringLiteral("-Rossi"), QVariant::fromValue(Money::fromRaw(1)), QVariant(), -3,
         QStringLiteral("_x0041_ resta così"), QVariant());
    riga(QStringLiteral("@Bianchi"), QStringLiteral("€ 9.876.543.210,12"), QStringLiteral("non è una data"),
         QStringLiteral("12,5"), QString(), QVariant());
    riga(QVariant(), QStringLiteral("n.d."), QVariant(), QVariant(), QString(QChar(0xD800)) + QStringLiteral("x"),
         QVariant());
    riga(QStringLiteral("Neri"), QVariant::fromValue(FormattedAmount{euro("-1.234,5678")}), QVariant(), QVariant(),
         QVariant(), QVariant());
    t.righe.append({QStringLiteral("Corta")}); // fewer values than titles: the rest is empty
    return t;
}

} // namespace

class TstExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void xlsxReadBackByOpenpyxl();
    void csvBytes();
    void xlsxOpenedByLibreOffice();
    void failuresLeaveTheOldFile();
    void columnKindsFromValues();
};

void TstExport::initTestCase()
{
    QVERIFY2(QFileInfo::exists(QStringLiteral("/usr/bin/python3")), "python3 is needed");
}

void TstExport::xlsxReadBackByOpenpyxl()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("elenco.xlsx"));
    Tabella t = campione();
    // A text longer than a cell holds is cut at Excel's limit, not a broken file.
    t.righe.append({QString(40000, QLatin1Char('x'))});
    esporta::scrivi(file, t);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no scratch file left

    const QJsonObject d = openpyxlDump(file);
    QVERIFY(!d.isEmpty());
    QCOMPARE(d[QStringLiteral("sheets")].toInt(), 1);
    QCOMPARE(d[QStringLiteral("freeze")].toString(), QStringLiteral("A2"));
    QCOMPARE(d[QStringLiteral("filter")].toString(), QStringLiteral("A1:F10"));
    const QJsonArray rows = d[QStringLiteral("rows")].toArray();
    QCOMPARE(rows.size(), 10);
    auto cell = [&rows](int r, int c) { return rows[r].toArray()[c].toObject(); };
    auto value = [&](int r, int c) { return cell(r, c)[QStringLiteral("v")].toVariant(); };
    auto format = [&](int r, int c) { return cell(r, c)[QStringLiteral("f")].toString(); };

    for (int c = 0; c < 6; ++c) {
        QCOMPARE(value(0, c).toString(), t.titoli[c]);
        QVERIFY(cell(0, c)[QStringLiteral("b")].toBool());
        QVERIFY(!cell(1, c)[QStringLiteral("b")].toBool());
    }
    const QString euroFormat = QStringLiteral("€ #,##0.00");
    // Amounts: numbers in the euro format, exact to the ten-thousandth.
    const double amounts[] = {1234.5, -12, 0, 0.0001, 9876543210.12};
    for (int r = 0; r < 5; ++r) {
        QVERIFY(cell(r + 1, 1)[QStringLiteral("v")].isDouble());
        QCOMPARE(value(r + 1, 1).toDouble(), amounts[r]);
        QCOMPARE(format(r + 1, 1), euroFormat);
    }
    QCOMPARE(value(6, 1).toString(), QStringLiteral("n.d.")); // not an amount: kept as the text it is
    QCOMPARE(value(7, 1).toDouble(), -1234.5678);
    QCOMPARE(format(7, 1), euroFormat);
    // Dates as dates; one Excel cannot hold stays the text a list shows.
    QCOMPARE(value(1, 2).toString(), QStringLiteral("2026-03-05 00:00:00"));
    QCOMPARE(format(1, 2), QStringLiteral("dd/mm/yyyy"));
    QCOMPARE(value(2, 2).toString(), QStringLiteral("2026-12-31 00:00:00"));
    QCOMPARE(value(3, 2).toString(), QStringLiteral("31/12/1899"));
    QCOMPARE(cell(3, 2)[QStringLiteral("t")].toString(), QStringLiteral("str"));
    QCOMPARE(value(5, 2).toString(), QStringLiteral("non è una data"));
    QCOMPARE(value(1, 5).toString(), QStringLiteral("2026-12-08 09:05:07"));
    QCOMPARE(value(2, 5).toString(), QStringLiteral("2026-12-08 10:11:12"));
    QCOMPARE(format(2, 5), QStringLiteral("dd/mm/yyyy hh:mm:ss"));
    // Numbers.
    QCOMPARE(value(1, 3).toInt(), 1);
    QCOMPARE(value(2, 3).toDouble(), 2.5);
    QCOMPARE(value(4, 3).toInt(), -3);
    QCOMPARE(value(5, 3).toDouble(), 12.5);
    // Texts as they were, formula-like ones included (a string cell is never run), without
    // control characters, with their line breaks.
    QCOMPARE(value(2, 0).toString(), QStringLiteral("=HYPERLINK(\"http://x\")"));
    QCOMPARE(cell(2, 0)[QStringLiteral("t")].toString(), QStringLiteral("str"));
    QCOMPARE(value(3, 0).toString(), QStringLiteral("+39 02 1234"));
    QCOMPARE(value(1, 0).toString(), QStringLiteral("Àrea Verde S.r.l."));
    QCOMPARE(value(1, 4).toString(), QStringLiteral("€ 10 \"sconto\"; ok"));
    QCOMPARE(value(2, 4).toString(), QStringLiteral("riga 1\nriga 2\nriga 3\nriga 4"));
    QCOMPARE(value(3, 4).toString(), QStringLiteral("abc\tt"));
    QCOMPARE(value(6, 4).toString(), QStringLiteral("x"));
    // openpyxl shows a text written inline as it is stored; Excel and LibreOffice read the
    // escaped underscore back (see the LibreOffice test).
    QCOMPARE(value(4, 4).toString(), QStringLiteral("_x005F_x0041_ resta così"));
    // Empty cells stay empty.
    QVERIFY(value(3, 3).isNull());
    QVERIFY(value(6, 0).isNull());
    QVERIFY(value(5, 4).isNull());
    QCOMPARE(value(8, 0).toString(), QStringLiteral("Corta"));
    QVERIFY(value(8, 1).isNull());
    QCOMPARE(value(9, 0).toString().size(), 32767);
    // Widths follow the content, within bounds.
    const QJsonObject widths = d[QStringLiteral("widths")].toObject();
    QVERIFY(widths[QStringLiteral("A")].toDouble() >= 60);
    QVERIFY(widths[QStringLiteral("A")].toDouble() <= 62);
    QVERIFY(widths[QStringLiteral("D")].toDouble() < widths[QStringLiteral("E")].toDouble());
}

void TstExport::csvBytes()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("elenco.csv"));
    esporta::scrivi(file, campione());
    const QByteArray bytes = readAll(file);
    // A BOM so that a double click reads UTF-8; ";" between fields, CR LF at every end;
    // decimal commas, no thousands separator and no €; dates dd/mm/yyyy; a text that a
    // spreadsheet would run as a formula behind an apostrophe; quoted where it must be.
    const QByteArray expected =
        "\xEF\xBB\xBF"
        "Cliente;Importo;Scadenza;Rata;Note;Inviata il\r\n"
        "\xC3\x80rea Verde S.r.l.;1234,50;05/03/2026;1;\"\xE2\x82\xAC 10 \"\"sconto\"\"; ok\";08/12/2026 09:05:07\r\n"
        "\"'=HYPERLINK(\"\"http://x\"\")\";-12,00;31/12/2026;2,5;\"riga 1\nriga 2\nriga 3\nriga 4\";08/12/2026 10:11:12\r\n"
        "'+39 02 1234;0,00;31/12/1899;;abc\tt;\r\n"
        "'-Rossi;0,0001;;-3;_x0041_ resta cos\xC3\xAC;\r\n"
        "'@Bianchi;9876543210,12;non \xC3\xA8 una data;12,5;;\r\n"
        ";n.d.;;;x;\r\n"
        "Neri;-1234,5678;;;;\r\n"
        "Corta;;;;;\r\n";
    QCOMPARE(bytes, expected);

    // Written again over itself: replaced whole.
    Tabella piccola;
    piccola.titoli = {QStringLiteral("A")};
    piccola.tipi = {Tipo::Testo};
    esporta::scriviCsv(file, piccola);
    QCOMPARE(readAll(file), QByteArray("\xEF\xBB\xBF" "A\r\n"));
}

void TstExport::xlsxOpenedByLibreOffice()
{
    if (soffice().isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("elenco.xlsx"));
    esporta::scrivi(file, campione());
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    // An Italian desktop, as the firm's.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("it_IT.UTF-8"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("it_IT.UTF-8"));
    p.setProcessEnvironment(env);
    const QString profile = dir.filePath(QStringLiteral("profilo"));
    const QString outdir = dir.filePath(QStringLiteral("out"));
    // UTF-8 (76), ";" (59) between fields, '"' (34) around texts; cells as they are shown.
    p.start(soffice(), {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                        QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
                        QStringLiteral("csv:Text - txt - csv (StarCalc):59,34,76"), QStringLiteral("--outdir"), outdir,
                        file});
    if (!p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished();
        QFAIL("soffice did not finish");
    }
    const QString csv = QString::fromUtf8(readAll(outdir + QStringLiteral("/elenco.csv")));
    QVERIFY2(!csv.isEmpty(), p.readAll().constData());
    // The amounts and dates in the formats the file gives them, in the desktop's language;
    // the texts exactly (a formula-like one is a text, never run).
    const QString expected = QStringLiteral(
        "Cliente;Importo;Scadenza;Rata;Note;Inviata il\n"
        "Àrea Verde S.r.l.;€ 1.234,50;05/03/2026;1;\"€ 10 \"\"sconto\"\"; ok\";08/12/2026 09:05:07\n"
        "\"=HYPERLINK(\"\"http://x\"\")\";-€ 12,00;31/12/2026;2,5;\"riga 1\nriga 2\nriga 3\nriga 4\";08/12/2026 10:11:12\n"
        "+39 02 1234;€ 0,00;31/12/1899;;abc\tt;\n"
        "-Rossi;€ 0,00;;-3;_x0041_ resta così;\n"
        "@Bianchi;€ 9.876.543.210,12;non è una data;12,5;;\n"
        ";n.d.;;;x;\n"
        "Neri;-€ 1.234,57;;;;\n"
        "Corta;;;;;\n");
    QCOMPARE(csv, expected);
}

void TstExport::failuresLeaveTheOldFile()
{
}

void TstExport::columnKindsFromValues()
{
}

QTEST_MAIN(TstExport)
#include "tst_export.moc"
