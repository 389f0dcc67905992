#include "DbProva.h"
#include "TestEnv.h"

#include "CliExport.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Error.h"
#include "scadenzio/Esporta.h"
#include "scadenzio/Money.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QSortFilterProxyModel>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLayout>
#include <QMenu>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <csignal>
#include <memory>
#include <sys/resource.h>

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
    if (p.exitCode() != 0) qWarning("%s", p.readAllStandardError().constData());
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
                QStringLiteral("Rata"),    QStringLiteral("Note"),    QStringLiteral("Inviata il")};
    t.tipi = {Tipo::Testo, Tipo::Importo, Tipo::Data, Tipo::Numero, Tipo::Testo, Tipo::DataOra};
    auto riga = [&t](QVariant a, QVariant b, QVariant c, QVariant d, QVariant e, QVariant f) {
        t.righe.append({a, b, c, d, e, f});
    };
    riga(QStringLiteral("Àrea Verde S.r.l."), m("1.234,5"), QDate(2026, 3, 5), 1,
         QStringLiteral("€ 10 \"sconto\"; ok"), QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7)));
    riga(QStringLiteral("=HYPERLINK(\"http://x\")"), m("-12"), QStringLiteral("31/12/2026"), 2.5,
         QStringLiteral("riga 1\r\nriga 2\rriga 3\nriga 4"), QStringLiteral("2026-12-08 10:11:12"));
    riga(QStringLiteral("+39 02 1234"), m("0"), QDate(1899, 12, 31), QVariant(),
         QStringLiteral("a\x01"
                        "b\x1f"
                        "c\tt\x7f"),
         QVariant());
    riga(QStringLiteral("-Rossi"), QVariant::fromValue(Money::fromRaw(1)), QVariant(), -3,
         QStringLiteral("_x0041_ resta così"), QVariant());
    riga(QStringLiteral("@Bianchi"), QStringLiteral("€ 9.876.543.210,12"), QStringLiteral("non è una data"),
         QStringLiteral("12,5"), QString(), QVariant());
    riga(QVariant(), QStringLiteral("n.d."), QVariant(), QVariant(),
         QString(QChar(0xD800)) + QStringLiteral("x"), QVariant());
    riga(QStringLiteral("Neri"), QVariant::fromValue(FormattedAmount{euro("-1.234,5678")}), QVariant(),
         QVariant(), QVariant(), QVariant());
    t.righe.append({QStringLiteral("Corta")}); // fewer values than titles: the rest is empty
    return t;
}

// The lines of a CSV the program wrote, without the BOM and the CR LF ends.
QStringList csvLines(const QString& file)
{
    QByteArray b = readAll(file);
    if (!b.startsWith("\xEF\xBB\xBF")) return {QStringLiteral("(no BOM)")};
    QString text = QString::fromUtf8(b.mid(3));
    if (text.endsWith(QStringLiteral("\r\n"))) text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

// A small register of credits, as the lists read it.
std::unique_ptr<db::Connection> registro(TestEnv& env)
{
    auto conn = std::make_unique<db::Connection>(env.createDefaultDatabase());
    creaTabella(*conn, QStringLiteral("t_crediti"),
                {"NumeroFattura VARCHAR(255)", "Cliente VARCHAR(255)", "Scadenza DATETIME", "Residuo CURRENCY",
                 "Pagato YESNO"});
    const struct
    {
        const char *nf, *cliente, *scadenza, *residuo;
        bool pagato;
    } rows[] = {
        {"1/2026", "Rossi S.r.l.", "2026-03-05", "100", false},
        {"2/2026", "Éclair; \"Pasticceria\"", "2026-01-10", "1.234,5", false},
        {"3/2026", "=Bianchi", nullptr, "-20", false},
        {"4/2026", "Verdi", "2026-02-01", "7", true},
        {"00184", "Neri", "2025-12-31", "0", false},
    };
    for (const auto& r : rows)
        conn->exec(
            QStringLiteral("INSERT INTO t_crediti (NumeroFattura, Cliente, Scadenza, Residuo, Pagato) "
                           "VALUES (:nf, :c, :s, :r, :p)"),
            {{"nf", QString::fromUtf8(r.nf)},
             {"c", QString::fromUtf8(r.cliente)},
             {"s", r.scadenza ? QVariant(QDate::fromString(QString::fromLatin1(r.scadenza), Qt::ISODate))
                              : QVariant()},
             {"r", QVariant::fromValue(euro(r.residuo))},
             {"p", r.pagato}});
    return conn;
}

const QString listQuery =
    QStringLiteral("SELECT *, FORMAT(Residuo, '€ #,##0.00') AS ImportoResiduo FROM t_crediti");

const QList<QPair<QString, QString>> listColumns = {
    {QStringLiteral("NumeroFattura"), QStringLiteral("Numero")},
    {QStringLiteral("Cliente"), QStringLiteral("Cliente")},
    {QStringLiteral("Scadenza"), QStringLiteral("Scadenza")},
    {QStringLiteral("ImportoResiduo"), QStringLiteral("Residuo")},
    {QStringLiteral("Pagato"), QStringLiteral("Pagato")},
    {QStringLiteral("ID"), QStringLiteral("ID")},
};

// A registry as the modules build one, over the same register.
class Registro : public ui::ListEditFrame
{
public:
    Registro() : ListEditFrame(QStringLiteral("Crediti: elenco/prova"), QStringLiteral("Prova"))
    {
        m_ds = new db::Dataset(connection(), QStringLiteral("t_crediti"), this);
        m_ds->setSql(listQuery);
        m_ds->open();
        buildPages(m_ds, listColumns, Pages{});
    }

private:
    db::Dataset* m_ds;
};

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
    void gridExportsWhatIsShown();
    void anyTableView();
    void gridMenuAndRegistryButton();
    void hostileTexts();
    void bigList();
    void commandLineOptions();
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
    t.righe.append({QStringLiteral("_x0041_").repeated(4680)}); // 32,760 characters, longer escaped
    esporta::scrivi(file, t);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no scratch file left

    const QJsonObject d = openpyxlDump(file);
    QVERIFY(!d.isEmpty());
    QCOMPARE(d[QStringLiteral("sheets")].toInt(), 1);
    QCOMPARE(d[QStringLiteral("freeze")].toString(), QStringLiteral("A2"));
    QCOMPARE(d[QStringLiteral("filter")].toString(), QStringLiteral("A1:F11"));
    const QJsonArray rows = d[QStringLiteral("rows")].toArray();
    QCOMPARE(rows.size(), 11);
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
    QVERIFY(value(10, 0).toString().startsWith(QStringLiteral("_x005F_x0041__x005F_x0041_")));
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
    const QByteArray expected = "\xEF\xBB\xBF"
                                "Cliente;Importo;Scadenza;Rata;Note;Inviata il\r\n"
                                "\xC3\x80rea Verde S.r.l.;1234,50;05/03/2026;1;\"\xE2\x82\xAC 10 "
                                "\"\"sconto\"\"; ok\";08/12/2026 09:05:07\r\n"
                                "\"'=HYPERLINK(\"\"http://x\"\")\";-12,00;31/12/2026;2,5;\"riga 1\nriga "
                                "2\nriga 3\nriga 4\";08/12/2026 10:11:12\r\n"
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
    QCOMPARE(readAll(file), QByteArray("\xEF\xBB\xBF"
                                       "A\r\n"));
}

void TstExport::xlsxOpenedByLibreOffice()
{
    if (soffice().isEmpty()) QSKIP("LibreOffice (soffice) is not installed");
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
    p.start(soffice(),
            {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
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
        "\"=HYPERLINK(\"\"http://x\"\")\";-€ 12,00;31/12/2026;2,5;\"riga 1\nriga 2\nriga 3\nriga "
        "4\";08/12/2026 10:11:12\n"
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
    QTemporaryDir dir;
    const Tabella t = campione();
    for (const QString& ext : {QStringLiteral("xlsx"), QStringLiteral("csv")}) {
        // A folder that is not there, and a name that is a folder: the message names the file.
        const QString missing = dir.filePath(QStringLiteral("manca/elenco.") + ext);
        try {
            esporta::scrivi(missing, t);
            QFAIL("written into a folder that does not exist");
        } catch (const Error& e) {
            QCOMPARE(
                e.message(),
                QStringLiteral("Impossibile scrivere il file \"%1\": la cartella non esiste").arg(missing));
        }
        const QString folder = dir.filePath(QStringLiteral("cartella.") + ext);
        QVERIFY(QDir().mkpath(folder));
        try {
            esporta::scrivi(folder, t);
            QFAIL("written over a folder");
        } catch (const Error& e) {
            QVERIFY2(
                e.message().startsWith(QStringLiteral("Impossibile scrivere il file \"%1\": ").arg(folder)),
                qPrintable(e.message()));
        }
        QVERIFY(QFileInfo(folder).isDir());
    }

    // The disk refuses the bytes halfway (a file size limit, as a full disk would): the file
    // that was there is untouched and nothing is left beside it.
    const QString file = dir.filePath(QStringLiteral("vecchio.xlsx"));
    const QString csv = dir.filePath(QStringLiteral("vecchio.csv"));
    for (const QString& f : {file, csv}) {
        QFile out(f);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("contenuto di prima");
    }
    Tabella grande = t;
    for (int i = 0; i < 2000; ++i)
        grande.righe.append(
            {QStringLiteral("Cliente %1").arg(i), m("12,5"), QDate(2026, 1, 1).addDays(i % 300)});
    {
        struct rlimit before
        {
        };
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = before;
        small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        QStringList messages;
        for (const QString& f : {file, csv}) {
            try {
                esporta::scrivi(f, grande);
            } catch (const Error& e) {
                messages << e.message();
            }
        }
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldSignal);
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages[1],
                 QStringLiteral("Impossibile scrivere il file \"%1\": il file supera la dimensione "
                                "massima consentita")
                     .arg(csv));
        QVERIFY2(messages[0].startsWith(QStringLiteral("Impossibile scrivere il file \"%1\": ").arg(file)),
                 qPrintable(messages[0]));
    }
    QCOMPARE(readAll(file), QByteArray("contenuto di prima"));
    QCOMPARE(readAll(csv), QByteArray("contenuto di prima"));
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left, (QStringList{QStringLiteral("vecchio.csv"), QStringLiteral("vecchio.xlsx")}));

    // Through a link the file it points to is replaced, the link stays.
    const QString link = dir.filePath(QStringLiteral("collegamento.csv"));
    QVERIFY(QFile::link(csv, link));
    esporta::scrivi(link, t);
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(readAll(csv).startsWith("\xEF\xBB\xBF"
                                    "Cliente;"));
    const QString linkX = dir.filePath(QStringLiteral("collegamento.xlsx"));
    QVERIFY(QFile::link(file, linkX));
    esporta::scrivi(linkX, t);
    QVERIFY(QFileInfo(linkX).isSymLink());
    QVERIFY(readAll(file).startsWith("PK"));

    // Written over an old file: the new one takes its place, with its permissions.
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    esporta::scriviXlsx(file, t);
    QVERIFY(readAll(file).startsWith("PK"));
    QCOMPARE(QFile::permissions(file), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ReadUser | QFileDevice::WriteUser);
}

void TstExport::columnKindsFromValues()
{
    using L = QList<QVariant>;
    QCOMPARE(esporta::tipoDi(L{m("1"), QVariant(), m("-2,5")}), Tipo::Importo);
    QCOMPARE(esporta::tipoDi(L{QVariant::fromValue(FormattedAmount{euro("3")}), QStringLiteral("-€ 1.234,50"),
                               QStringLiteral("")}),
             Tipo::Importo);
    QCOMPARE(esporta::tipoDi(L{QDate(2026, 1, 2), QVariant()}), Tipo::Data);
    QCOMPARE(esporta::tipoDi(L{QStringLiteral("02/01/2026"), QStringLiteral("31/12/2026")}), Tipo::Data);
    QCOMPARE(esporta::tipoDi(L{QDateTime(QDate(2026, 1, 2), QTime(8, 0))}), Tipo::DataOra);
    QCOMPARE(esporta::tipoDi(L{1, 2.5, qlonglong(3)}), Tipo::Numero);
    // Codes that look like numbers stay texts: a CAP "00184" or an invoice "12" must not
    // lose a zero or become a sum.
    QCOMPARE(esporta::tipoDi(L{QStringLiteral("00184"), QStringLiteral("12")}), Tipo::Testo);
    QCOMPARE(esporta::tipoDi(L{QStringLiteral("12/2026")}), Tipo::Testo);
    QCOMPARE(esporta::tipoDi(L{m("1"), QStringLiteral("n.d.")}), Tipo::Testo);
    QCOMPARE(esporta::tipoDi(L{QDate(2026, 1, 2), 3}), Tipo::Testo);
    QCOMPARE(esporta::tipoDi(L{true, false}), Tipo::Testo);
    QCOMPARE(esporta::tipoDi(L{QVariant(), QVariant()}), Tipo::Testo);
    QCOMPARE(esporta::testoDi(true), QStringLiteral("SI"));
    QCOMPARE(esporta::testoDi(QDate(2026, 3, 5)), QStringLiteral("05/03/2026"));
    QCOMPARE(esporta::testoDi(m("-1234,5")), QStringLiteral("-€ 1.234,50"));
}

void TstExport::gridExportsWhatIsShown()
{
    TestEnv env;
    auto conn = registro(env);
    db::Dataset ds(*conn, QStringLiteral("t_crediti"));
    ds.setSql(listQuery);
    ds.open();
    ui::Grid grid;
    grid.setDataset(&ds, listColumns);
    // As the clerk left it: unpaid only, by residual descending, the ID column hidden and
    // the client moved to the front.
    ds.setFilter(QStringLiteral("[Pagato] = 'NO'"));
    grid.titleClick(3);
    grid.titleClick(3);
    QCOMPARE(ds.sort(), QStringLiteral("ImportoResiduo DESC"));
    grid.setColumnHidden(5, true);
    grid.horizontalHeader()->moveSection(1, 0);

    const Tabella t = ui::tabellaDaGriglia(&grid);
    QCOMPARE(t.titoli, (QStringList{"Cliente", "Numero", "Scadenza", "Residuo", "Pagato"}));
    QCOMPARE(t.tipi, (QVector<Tipo>{Tipo::Testo, Tipo::Testo, Tipo::Data, Tipo::Importo, Tipo::Testo}));
    QCOMPARE(t.righe.size(), 4);

    QTemporaryDir dir;
    ui::MessageRecorder rec;
    QString proposed;
    // No extension typed: the kind chosen in the dialog gives it.
    ui::impostaSceltaFileEsportazione([&](const QString& p, QString* filter) {
        proposed = p;
        *filter = QStringLiteral("CSV per Excel/LibreOffice (*.csv)");
        return dir.filePath(QStringLiteral("crediti"));
    });
    QCOMPARE(ui::esportaGriglia(&grid, &grid), 4);
    QVERIFY2(proposed.endsWith(QStringLiteral("/Elenco.xlsx")), qPrintable(proposed));
    const QString csv = dir.filePath(QStringLiteral("crediti.csv"));
    QCOMPARE(rec.messages, QStringList{QStringLiteral("Esportate 4 righe in %1.").arg(csv)});
    QCOMPARE(csvLines(csv), (QStringList{
                                "Cliente;Numero;Scadenza;Residuo;Pagato",
                                "\"\u00C9clair; \"\"Pasticceria\"\"\";2/2026;10/01/2026;1234,50;NO",
                                "Rossi S.r.l.;1/2026;05/03/2026;100,00;NO",
                                "Neri;00184;31/12/2025;0,00;NO",
                                "'=Bianchi;3/2026;;-20,00;NO",
                            }));

    // The next export proposes the kind and the folder just used; an existing file is not
    // replaced without asking.
    rec.messages.clear();
    rec.answerNext(false);
    ui::impostaSceltaFileEsportazione([&](const QString& p, QString*) {
        proposed = p;
        return dir.filePath(QStringLiteral("crediti"));
    });
    QCOMPARE(ui::esportaGriglia(&grid, &grid), -1);
    QCOMPARE(proposed, dir.filePath(QStringLiteral("Elenco.csv")));
    QCOMPARE(rec.messages.size(), 1);
    QVERIFY(rec.messages[0].startsWith(QStringLiteral("Il file \"%1\" esiste già").arg(csv)));
    QCOMPARE(csvLines(csv).size(), 5);

    // An extension of another kind gets the chosen one after it; a failure is a warning.
    rec.messages.clear();
    ui::impostaSceltaFileEsportazione([&](const QString&, QString* filter) {
        *filter = QStringLiteral("Cartella di lavoro Excel (*.xlsx)");
        return dir.filePath(QStringLiteral("crediti.txt"));
    });
    ds.setFilter(QString());
    QCOMPARE(ui::esportaGriglia(&grid, &grid), 5);
    QVERIFY(readAll(dir.filePath(QStringLiteral("crediti.txt.xlsx"))).startsWith("PK"));
    const QJsonArray rows =
        openpyxlDump(dir.filePath(QStringLiteral("crediti.txt.xlsx")))[QStringLiteral("rows")].toArray();
    QCOMPARE(rows.size(), 6);
    QCOMPARE(rows[1].toArray()[3].toObject()[QStringLiteral("v")].toDouble(), 1234.5);
    QCOMPARE(rows[1].toArray()[3].toObject()[QStringLiteral("f")].toString(), QStringLiteral("€ #,##0.00"));
    QCOMPARE(rows[1].toArray()[2].toObject()[QStringLiteral("v")].toString(),
             QStringLiteral("2026-01-10 00:00:00"));
    QCOMPARE(rows[4].toArray()[1].toObject()[QStringLiteral("v")].toString(), QStringLiteral("00184"));

    rec.messages.clear();
    ui::impostaSceltaFileEsportazione(
        [&](const QString&, QString*) { return dir.filePath(QStringLiteral("manca/crediti.csv")); });
    QCOMPARE(ui::esportaGriglia(&grid, &grid), -1);
    QCOMPARE(rec.messages,
             QStringList{QStringLiteral("Impossibile scrivere il file \"%1\": la cartella non esiste")
                             .arg(dir.filePath(QStringLiteral("manca/crediti.csv")))});

    // A view that shows a column in words of its own (through a proxy) exports those words;
    // the other columns keep their values as read.
    struct Segni : QIdentityProxyModel
    {
        QVariant data(const QModelIndex& i, int role) const override
        {
            if (i.column() == 4 && role == Qt::DisplayRole)
                return QIdentityProxyModel::data(i, Qt::UserRole).toBool() ? QStringLiteral("PAGATA")
                                                                           : QString();
            return QIdentityProxyModel::data(i, role);
        }
    } segni;
    segni.setSourceModel(grid.model());
    QTableView view;
    view.setModel(&segni);
    const Tabella shown = ui::tabellaDaGriglia(&view);
    QCOMPARE(shown.tipi[3], Tipo::Importo);
    QCOMPARE(shown.tipi[4], Tipo::Testo);
    QCOMPARE(shown.righe.size(), 5);
    QStringList marks;
    for (const auto& r : shown.righe)
        marks << r[4].toString();
    QCOMPARE(marks, (QStringList{"", "", "PAGATA", "", ""}));
    QCOMPARE(shown.righe[0][3].value<FormattedAmount>().amount, euro("1.234,5"));

    // Cancelled: nothing written, nothing said.
    rec.messages.clear();
    ui::impostaSceltaFileEsportazione([](const QString&, QString*) { return QString(); });
    QCOMPARE(ui::esportaGriglia(&grid, &grid), -1);
    QVERIFY(rec.messages.isEmpty());
    ui::impostaSceltaFileEsportazione({});
}

void TstExport::anyTableView()
{
    // A frame's own small grid on a plain model, sorted through a proxy, a row hidden.
    QStandardItemModel model(0, 3);
    model.setHorizontalHeaderLabels(
        {QStringLiteral("Fase"), QStringLiteral("Data"), QStringLiteral("Quante")});
    const struct
    {
        const char* fase;
        QDate data;
        int quante;
    } rows[] = {{"PREAVVISO", {2026, 1, 5}, 3}, {"1° SOLLECITO", {2026, 2, 1}, 1}, {"IN SOFFERENZA", {}, 7}};
    for (const auto& r : rows) {
        QList<QStandardItem*> items;
        items << new QStandardItem(QString::fromUtf8(r.fase));
        auto* data = new QStandardItem;
        if (r.data.isValid()) data->setData(r.data, Qt::DisplayRole);
        items << data;
        auto* quante = new QStandardItem;
        quante->setData(r.quante, Qt::DisplayRole);
        items << quante;
        model.appendRow(items);
    }
    model.item(0, 0)->setData(99, Qt::UserRole); // not what is shown: not exported
    for (int r = 0; r < 3; ++r) {                // a check box and nothing else shown
        auto* sent = new QStandardItem;
        sent->setCheckable(true);
        sent->setCheckState(r == 1 ? Qt::Checked : Qt::Unchecked);
        model.setItem(r, 3, sent);
    }
    model.setHorizontalHeaderItem(3, new QStandardItem(QStringLiteral("Inviata")));
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    QTableView view;
    view.setModel(&proxy);
    view.sortByColumn(2, Qt::DescendingOrder);
    view.setSortingEnabled(true);
    view.sortByColumn(2, Qt::DescendingOrder);
    view.setRowHidden(1, true); // PREAVVISO, second once sorted

    const Tabella t = ui::tabellaDaGriglia(&view);
    QCOMPARE(t.titoli, (QStringList{"Fase", "Data", "Quante", "Inviata"}));
    QCOMPARE(t.tipi, (QVector<Tipo>{Tipo::Testo, Tipo::Data, Tipo::Numero, Tipo::Testo}));
    QCOMPARE(t.righe.size(), 2);
    QCOMPARE(t.righe[0][0].toString(), QStringLiteral("IN SOFFERENZA"));
    QCOMPARE(t.righe[1][0].toString(), QStringLiteral("1° SOLLECITO"));
    QCOMPARE(t.righe[1][1].toDate(), QDate(2026, 2, 1));
    QCOMPARE(t.righe[1][3].toString(), QStringLiteral("SI"));

    QTemporaryDir dir;
    esporta::scriviCsv(dir.filePath(QStringLiteral("f.csv")), t);
    QCOMPARE(
        csvLines(dir.filePath(QStringLiteral("f.csv"))),
        (QStringList{"Fase;Data;Quante;Inviata", "IN SOFFERENZA;;7;NO", "1° SOLLECITO;01/02/2026;1;SI"}));
    // Nothing to show: the titles alone.
    QTableView empty;
    QCOMPARE(ui::tabellaDaGriglia(&empty).titoli.size(), 0);
}

void TstExport::gridMenuAndRegistryButton()
{
    QVERIFY(TestEnv::fontsAvailable());
    TestEnv env;
    registro(env).reset();
    ui::applyLook();
    Registro frame;
    frame.resize(900, 420);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));

    // The registry's list bar holds the button, right after the navigator.
    auto* button = frame.listPage()->findChild<QToolButton*>(QStringLiteral("BottoneEsporta"));
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("Esporta…"));
    QVERIFY(button->isVisible());
    QCOMPARE(button->parentWidget(), frame.listNavigator()->parentWidget());
    TestEnv::saveScreenshot(&frame, QStringLiteral("esporta_barra_elenco"));

    QTemporaryDir dir;
    ui::MessageRecorder rec;
    QString proposed;
    ui::impostaSceltaFileEsportazione([&](const QString& p, QString* filter) {
        proposed = p;
        *filter = QStringLiteral("Cartella di lavoro Excel (*.xlsx)");
        return dir.filePath(QStringLiteral("registro.xlsx"));
    });
    frame.filterEdit(); // the list as first shown
    button->click();
    // The name proposed is the frame's title, made fit for a file name (the extension is
    // that of the kind last chosen).
    QCOMPARE(QFileInfo(proposed).completeBaseName(), QStringLiteral("Crediti elenco prova"));
    QCOMPARE(
        rec.messages,
        QStringList{
            QStringLiteral("Esportate 5 righe in %1.").arg(dir.filePath(QStringLiteral("registro.xlsx")))});

    // The grid's pop-up menu has "Esporta…" though this grid selects one row at a time.
    ui::Grid* grid = frame.grid();
    QCOMPARE(grid->selectionMode(), QAbstractItemView::SingleSelection);
    QStringList seen;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* a : menu->actions())
            seen << a->text();
        for (QAction* a : menu->actions())
            if (a->objectName() == QLatin1String("Esporta1")) a->trigger();
        menu->close();
    });
    rec.messages.clear();
    ui::impostaSceltaFileEsportazione(
        [&](const QString&, QString*) { return dir.filePath(QStringLiteral("menu.csv")); });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                            grid->viewport()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(grid->viewport(), &event);
    QCOMPARE(seen, QStringList{QStringLiteral("Esporta…")});
    QCOMPARE(csvLines(dir.filePath(QStringLiteral("menu.csv"))).size(), 6);

    // With multi-selection both, "Seleziona tutto" first.
    grid->setMultiSelect(true);
    seen.clear();
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* a : menu->actions())
                seen << a->text();
            menu->close();
        }
    });
    QApplication::sendEvent(grid->viewport(), &event);
    QCOMPARE(seen, (QStringList{QStringLiteral("Seleziona tutto"), QStringLiteral("Esporta…")}));
    ui::impostaSceltaFileEsportazione({});
}

void TstExport::hostileTexts()
{
    // Texts of any code units a file from outside may bring: the workbook opens and every
    // cell reads back as the text less what a cell cannot hold.
    QRandomGenerator rng(23);
    const char16_t pool[] = {0x0,  0x1,    0x8,    0x9,    0xA,    0xB,    0x1F,   ' ',   'a',  'Z',
                             '<',  '>',    '&',    '"',    '\'',   ';',    0x7F,   0x85,  0x9F, 0xA0,
                             0xE8, 0x20AC, 0xD800, 0xDC00, 0xFFFE, 0xFFFF, 0xFEFF, 0x2028};
    Tabella t;
    t.titoli = {QStringLiteral("Testo"), QStringLiteral("Importo")};
    t.tipi = {Tipo::Testo, Tipo::Importo};
    QStringList expected;
    for (int i = 0; i < 200; ++i) {
        QString text, kept;
        const int n = 1 + rng.bounded(30);
        for (int k = 0; k < n; ++k) {
            const char16_t u = pool[rng.bounded(int(std::size(pool)))];
            text += QChar(u);
            // A pair of halves could be formed by chance: keep the pool's halves apart.
            if (QChar(u).isSurrogate()) text += QLatin1Char('.');
            const bool dropped = (u < 0x20 && u != 0x9 && u != 0xA) || (u >= 0x7F && u <= 0x9F) ||
                                 u == 0xFFFE || u == 0xFFFF || QChar(u).isSurrogate();
            if (!dropped) kept += QChar(u);
            if (QChar(u).isSurrogate()) kept += QLatin1Char('.');
        }
        t.righe.append({text, text});
        expected << kept;
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ostile.xlsx"));
    esporta::scrivi(file, t);
    const QJsonArray rows = openpyxlDump(file)[QStringLiteral("rows")].toArray();
    QCOMPARE(rows.size(), 201);
    for (int i = 0; i < 200; ++i) {
        const QJsonArray r = rows[i + 1].toArray();
        const QString text = r[0].toObject()[QStringLiteral("v")].toString();
        QCOMPARE(text, expected[i]);
        QCOMPARE(r[1].toObject()[QStringLiteral("v")].toString(), text);
    }
    // The CSV holds the same texts, each row on its line unless quoted.
    esporta::scrivi(dir.filePath(QStringLiteral("ostile.csv")), t);
    const QByteArray csv = readAll(dir.filePath(QStringLiteral("ostile.csv")));
    QVERIFY(!csv.contains('\0'));
    QVERIFY(!csv.contains('\x01'));
    QCOMPARE(QString::fromUtf8(csv.mid(3)).toUtf8(), csv.mid(3)); // valid UTF-8 throughout
}

void TstExport::bigList()
{
    // A register of a hundred thousand credits as the list shows it.
    Tabella t;
    t.titoli = {"Cliente", "Numero", "Data", "Scadenza", "Importo", "Residuo", "Stato", "Note"};
    t.tipi = {Tipo::Testo,   Tipo::Testo,   Tipo::Data,  Tipo::Data,
              Tipo::Importo, Tipo::Importo, Tipo::Testo, Tipo::Testo};
    const int n = 100000;
    t.righe.reserve(n);
    for (int i = 0; i < n; ++i)
        t.righe.append({QStringLiteral("CLIENTE NUMERO %1 S.R.L.").arg(i % 2000),
                        QStringLiteral("%1/2026").arg(i), QDate(2026, 1, 1).addDays(i % 365),
                        QDate(2026, 2, 1).addDays(i % 365),
                        QVariant::fromValue(Money::fromRaw(qint64(i) * 12345)),
                        QVariant::fromValue(Money::fromRaw(qint64(i) * 345)), QStringLiteral("APERTA"),
                        i % 7 ? QVariant() : QVariant(QStringLiteral("nota della riga %1").arg(i))});
    QTemporaryDir dir;
    QElapsedTimer timer;
    timer.start();
    esporta::scriviXlsx(dir.filePath(QStringLiteral("grande.xlsx")), t);
    const qint64 xlsx = timer.restart();
    esporta::scriviCsv(dir.filePath(QStringLiteral("grande.csv")), t);
    const qint64 csv = timer.elapsed();
    qInfo("100000 rows: xlsx %lld ms (%lld KB), csv %lld ms (%lld KB)", xlsx,
          QFileInfo(dir.filePath(QStringLiteral("grande.xlsx"))).size() / 1024, csv,
          QFileInfo(dir.filePath(QStringLiteral("grande.csv"))).size() / 1024);
    QCOMPARE(csvLines(dir.filePath(QStringLiteral("grande.csv"))).size(), n + 1);
    // The sheet is well-formed XML with every row in it.
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys, zipfile, xml.parsers.expat\n"
                            "rows = 0\n"
                            "def start(name, attrs):\n"
                            "    global rows\n"
                            "    rows += name == 'row'\n"
                            "x = xml.parsers.expat.ParserCreate()\n"
                            "x.StartElementHandler = start\n"
                            "x.Parse(zipfile.ZipFile(sys.argv[1]).read('xl/worksheets/sheet1.xml'), True)\n"
                            "print(rows)\n"),
             dir.filePath(QStringLiteral("grande.xlsx"))});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.readAllStandardOutput().trimmed(), QByteArray::number(n + 1));
}

void TstExport::commandLineOptions()
{
    QStringList args{"list", "--per-client", "--xlsx", "a.xlsx", "--client", "ROSSI", "--csv=b.csv"};
    cli::Esportazione e = cli::leggiEsportazione(args);
    QCOMPARE(args, (QStringList{"list", "--per-client", "--client", "ROSSI"}));
    QCOMPARE(e.xlsx, QStringLiteral("a.xlsx"));
    QCOMPARE(e.csv, QStringLiteral("b.csv"));
    QVERIFY(!e.vuota());

    args = QStringList{"list", "--", "--xlsx", "x"};
    QVERIFY(cli::leggiEsportazione(args).vuota());
    QCOMPARE(args.size(), 4);

    const struct
    {
        QStringList args;
        QString message;
    } wrong[] = {
        {{"list", "--xlsx"}, "L'opzione --xlsx richiede il nome del file da scrivere."},
        {{"list", "--csv", "--client", "x"}, "L'opzione --csv richiede il nome del file da scrivere."},
        {{"list", "--csv="}, "L'opzione --csv richiede il nome del file da scrivere."},
        {{"list", "--csv", "a.csv", "--csv", "b.csv"}, "L'opzione --csv è data più di una volta."},
        {{"list", "--xlsx", "a", "--csv", "./a"}, "Le opzioni --xlsx e --csv indicano lo stesso file \"a\"."},
    };
    for (const auto& w : wrong) {
        QStringList a = w.args;
        try {
            cli::leggiEsportazione(a);
            QFAIL(qPrintable(w.args.join(' ')));
        } catch (const Error& err) {
            QCOMPARE(err.message(), w.message);
        }
    }

    // Each option writes its kind whatever the name ends with; a file that cannot be written
    // is an error line, and the other is written all the same.
    QTemporaryDir dir;
    QStringList errors;
    const cli::Output io{[](const QString&) {}, [&errors](const QString& l) { errors << l; }};
    cli::Esportazione both{dir.filePath(QStringLiteral("elenco.dat")),
                           dir.filePath(QStringLiteral("elenco.txt"))};
    QVERIFY(cli::esporta(both, campione(), io));
    QVERIFY(errors.isEmpty());
    QVERIFY(readAll(both.xlsx).startsWith("PK"));
    QVERIFY(readAll(both.csv).startsWith("\xEF\xBB\xBF"
                                         "Cliente;Importo"));
    cli::Esportazione bad{dir.filePath(QStringLiteral("manca/e.xlsx")),
                          dir.filePath(QStringLiteral("e.csv"))};
    QVERIFY(!cli::esporta(bad, campione(), io));
    QCOMPARE(
        errors,
        QStringList{
            QStringLiteral("Impossibile scrivere il file \"%1\": la cartella non esiste").arg(bad.xlsx)});
    QVERIFY(QFileInfo::exists(bad.csv));
}

QTEST_MAIN(TstExport)
#include "tst_export.moc"
