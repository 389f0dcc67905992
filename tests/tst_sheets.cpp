// Delimited text as other programs write it: the splitting of a line, the line endings,
// the encodings (made by Python's csv module), and a bounded random-mutation run that
// must never crash and keep the splitting's own invariants. And what an OpenDocument
// sheet's number styles make of its numbers, on hand-written files.
#include "FatturaGen.h"
#include "TestEnv.h"

#include "scadenzio/Error.h"
#include "scadenzio/sheets/Delimited.h"
#include "scadenzio/sheets/Readers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace sz::sheets;

namespace {

// Runs a Python script that writes the file at argv[1].
bool python(const QString& script, const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    p.waitForFinished(30000);
    if (p.exitCode() != 0) qWarning("%s", p.readAllStandardError().constData());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

const char* const odsTesta =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" office:version=\"1.3\">";

// A spreadsheet of the given automatic styles and first table, with styles.xml holding
// the given common styles, as the bytes of the .ods.
QByteArray ods(const QByteArray& automatici, const QByteArray& tabella, const QByteArray& comuni = {})
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("foglio.ods"));
    const QByteArray content = QByteArray(odsTesta) + "<office:automatic-styles>" + automatici +
                               "</office:automatic-styles><office:body><office:spreadsheet>"
                               "<table:table table:name=\"Foglio1\">" +
                               tabella +
                               "</table:table></office:spreadsheet></office:body></office:document-content>";
    QByteArray styles = QByteArray(odsTesta).replace("document-content", "document-styles") +
                        "<office:styles>" + comuni + "</office:styles></office:document-styles>";
    if (!fatturagen::zip(path,
                         {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet"},
                          {QStringLiteral("content.xml"), content},
                          {QStringLiteral("styles.xml"), styles}}))
        return {};
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray cellaNumero(const char* valore, const char* stile = nullptr)
{
    QByteArray c =
        "<table:table-cell office:value-type=\"float\" office:value=\"" + QByteArray(valore) + "\"";
    if (stile) c += " table:style-name=\"" + QByteArray(stile) + "\"";
    return c + "><text:p>" + valore + "</text:p></table:table-cell>";
}

QByteArray stileCella(const char* nome, const char* dati, const char* padre = nullptr)
{
    QByteArray s = "<style:style style:name=\"" + QByteArray(nome) + "\" style:family=\"table-cell\"";
    if (dati) s += " style:data-style-name=\"" + QByteArray(dati) + "\"";
    if (padre) s += " style:parent-style-name=\"" + QByteArray(padre) + "\"";
    return s + "/>";
}

QByteArray stileNumero(const char* nome, const QByteArray& parti)
{
    return "<number:number-style style:name=\"" + QByteArray(nome) + "\">" + parti + "</number:number-style>";
}

const QByteArray zeri5 = "<number:number number:decimal-places=\"0\" number:min-decimal-places=\"0\" "
                         "number:min-integer-digits=\"5\"/>";

} // namespace

class TestSheets : public QObject
{
    Q_OBJECT

private slots:
    void splittingRules_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("quoted delimiter and doubled quote") << "a;\"b;c\";\"d\"\"e\""
                                                            << ";" << QStringList{"a", "b;c", "d\"e"};
        QTest::newRow("empty fields and trailing delimiter") << "a;;b;"
                                                             << ";" << QStringList{"a", "", "b", ""};
        QTest::newRow("text after the closing quote") << "\"ab\"cd;e"
                                                      << ";" << QStringList{"ab", "cd", "e"};
        QTest::newRow("quote inside a field is ordinary") << "ab\"c;d"
                                                          << ";" << QStringList{"ab\"c", "d"};
        QTest::newRow("unclosed quote runs to the end") << "\"ab;cd"
                                                        << ";" << QStringList{"ab;cd"};
        QTest::newRow("blanks and tabs are content") << " a ; b\t"
                                                     << ";" << QStringList{" a ", " b\t"};
        QTest::newRow("empty line") << ""
                                    << ";" << QStringList{};
        QTest::newRow("lone delimiter") << ";"
                                        << ";" << QStringList{"", ""};
        QTest::newRow("empty quoted field") << "\"\";x"
                                            << ";" << QStringList{"", "x"};
        QTest::newRow("tab delimiter") << "a\t\"b\tc\"\t"
                                       << "\t" << QStringList{"a", "b\tc", ""};
        QTest::newRow("other delimiter keeps semicolons") << "a;b|c"
                                                          << "|" << QStringList{"a;b", "c"};
    }
    void splittingRules()
    {
        QFETCH(QString, line);
        QFETCH(QString, delimiter);
        QFETCH(QStringList, fields);
        QCOMPARE(splitLine(line, delimiter.at(0)), fields);
    }

    // CR, LF and CR LF all end a line; a final break adds no row, an inner empty line is
    // a row without fields.
    void lineEndings()
    {
        QCOMPARE(splitLines(QStringLiteral("a\rb\nc\r\nd\r\n")), (QStringList{"a", "b", "c", "d"}));
        QCOMPARE(splitLines(QStringLiteral("a\n\nb")), (QStringList{"a", "", "b"}));
        QCOMPARE(splitLines(QStringLiteral("a\r\rb\n")), (QStringList{"a", "", "b"}));
        QCOMPARE(splitLines(QString()), QStringList());
        const Rows rows = parseDelimited("H1;H2\r\n\r\n1;2\r\n", QLatin1Char(';'));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1], QStringList());
        QCOMPARE(rows[2], (QStringList{"1", "2"}));
    }

    // The same rows written by Python's csv module in the encodings Italian offices meet:
    // "Società" and "€" arrive right from each.
    void encodingsFromRealProducer_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("UTF-8") << "utf-8" << QByteArray("Ragione");
        QTest::newRow("UTF-8 with BOM") << "utf-8-sig" << QByteArray("\xEF\xBB\xBF");
        QTest::newRow("UTF-16 LE with BOM") << "utf-16-le-bom" << QByteArray("\xFF\xFE");
        QTest::newRow("UTF-16 BE with BOM") << "utf-16-be-bom" << QByteArray("\xFE\xFF");
        QTest::newRow("Windows-1252") << "cp1252" << QByteArray("Ragione");
    }
    void encodingsFromRealProducer()
    {
        QFETCH(QString, encoding);
        QFETCH(QByteArray, start);
        TestEnv env;
        const QString path = env.home() + QStringLiteral("/clienti.csv");
        const QString script = QStringLiteral(R"(
import csv, io, sys
enc = '%1'
buf = io.StringIO()
w = csv.writer(buf, delimiter=';', lineterminator='\r\n')
w.writerow(['Ragione Sociale', 'Località', 'Note'])
w.writerow(['Società Rossi; & C.', 'Forlì', 'dice "ok" per € 10'])
w.writerow(['Bianchi', '', ''])
text = buf.getvalue()
if enc == 'utf-16-le-bom':
    data = b'\xff\xfe' + text.encode('utf-16-le')
elif enc == 'utf-16-be-bom':
    data = b'\xfe\xff' + text.encode('utf-16-be')
else:
    data = text.encode(enc)
open(sys.argv[1], 'wb').write(data)
)")
                                   .arg(encoding);
        QVERIFY2(python(script, path), "python3 could not write the file");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().startsWith(start));
        const Rows rows = readDelimited(path, QLatin1Char(';'));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], (QStringList{"Ragione Sociale", "Località", "Note"}));
        QCOMPARE(rows[1], (QStringList{"Società Rossi; & C.", "Forlì", "dice \"ok\" per € 10"}));
        QCOMPARE(rows[2], (QStringList{"Bianchi", "", ""}));
    }

    void unreadableFileSaysWhich()
    {
        TestEnv env;
        try {
            readDelimited(env.home() + QStringLiteral("/manca.csv"), QLatin1Char(';'));
            QFAIL("no error");
        } catch (const sz::Error& e) {
            QVERIFY2(e.message().contains(QStringLiteral("manca.csv")), qPrintable(e.message()));
        }
    }

    // Random mutations of a real file: never a crash, and the splitting keeps its own
    // invariants: a line without quotes is its fields joined by the delimiter, and no
    // field of any line holds a line break.
    void boundedMutations()
    {
        const QByteArray seed =
            "NUMERO;DATA;\"IMPORTO;EURO\";NOTE\r\n1;01/02/2013;\"1.234,50\";\"a \"\"b\"\" c\"\r\n"
            "2;'03/04/2013;100;Società\r\n\r\n;;;\n\"x\"y;\xE2\x82\xAC;\xFF\xFE;\"";
        QRandomGenerator rng(20261207);
        const QByteArray alphabet(";\"\r\n,\ta\0\xFF\xFE\xEF\xC3\x80", 13);
        int runs = 0;
        for (; runs < 20000; ++runs) {
            const QByteArray b = TestEnv::mutate(seed, rng, alphabet, 8, false);
            const QChar delimiter = QLatin1Char(rng.bounded(2) ? ';' : ',');
            const QStringList lines = splitLines(decodeText(b));
            for (const QString& line : lines) {
                const QStringList fields = splitLine(line, delimiter);
                for (const QString& f : fields)
                    QVERIFY(!f.contains(QLatin1Char('\n')) && !f.contains(QLatin1Char('\r')));
                if (!line.contains(QLatin1Char('"'))) QCOMPARE(fields.join(delimiter), line);
                QCOMPARE(fields.isEmpty(), line.isEmpty());
            }
        }
        qInfo("%d mutated files split without a fault", runs);
    }

    // A quoted field runs over line breaks, as Python's csv module and office programs
    // write a multi-line cell; the rows after it keep their own numbering.
    void quotedLineBreaks()
    {
        TestEnv env;
        const QString path = env.home() + QStringLiteral("/note.csv");
        QVERIFY2(python(QStringLiteral(R"(
import csv, sys
with open(sys.argv[1], 'w', newline='', encoding='utf-8') as f:
    w = csv.writer(f, delimiter=';', lineterminator='\r\n')
    w.writerow(['Cliente', 'Note', 'Mail'])
    w.writerow(['Rossi', 'prima riga\nseconda; "citata"\r\nterza', 'a@b.it'])
    w.writerow(['Bianchi', '', 'c@d.it'])
)"),
                        path),
                 "python3 could not write the file");
        const Rows rows = readDelimited(path, QLatin1Char(';'));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1], (QStringList{"Rossi", "prima riga\nseconda; \"citata\"\r\nterza", "a@b.it"}));
        QCOMPARE(rows[2], (QStringList{"Bianchi", "", "c@d.it"}));
        // A quote that never closes takes only the rest of its line, not the file.
        const Rows open = parseDelimited("a;\"b;c\nd;e\n", QLatin1Char(';'));
        QCOMPARE(open, (Rows{{"a", "b;c"}, {"d", "e"}}));
        // An empty line inside quotes is text; outside it is a row without fields.
        QCOMPARE(parseDelimited("\"x\n\ny\";1\n\n2", QLatin1Char(';')),
                 (Rows{{"x\n\ny", "1"}, {}, {"2"}}));
    }

    // Files of a few KB that once padded to gigabytes, and files past the stated limits:
    // refused within seconds, the message naming the limit; short rows stay short.
    void hostileTextRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("words");
        QTest::newRow("20,000 delimiters then 20,000 empty lines")
            << QByteArray(20000, ';') + "\n" + QByteArray(20000, '\n') << "il massimo è 1.000";
        QByteArray wide;
        for (int i = 0; i < 5000; ++i)
            wide += "\"a\",";
        QTest::newRow("very wide") << wide << "il massimo è 1.000";
        QTest::newRow("wide header over many short rows")
            << QByteArray(999, ';') + "\n" + QByteArray(3000, '\n') << "il massimo è 2.000.000 celle";
        QTest::newRow("a million empty lines") << QByteArray(1100000, '\n') << "il massimo è 1.048.576";
        QTest::newRow("one endless field") << "a;\"" + QByteArray(40000, 'x') + "\"\n" << "più di 32.767 caratteri";
    }
    void hostileTextRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, words);
        TestEnv env;
        const QString path = env.home() + QStringLiteral("/ostile.csv");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QElapsedTimer t;
        t.start();
        try {
            readDelimited(path, QLatin1Char(','));
            readDelimited(path, QLatin1Char(';'));
            QFAIL("read");
        } catch (const sz::Error& e) {
            QVERIFY2(e.message().contains(words) && e.message().contains(QLatin1String("ostile.csv")),
                     qPrintable(e.message()));
        }
        QVERIFY(t.elapsed() < 10000);
    }
    void raggedRowsStayShort()
    {
        const Rows rows = parseDelimited(QByteArray(999, ';') + "\n1\n\n", QLatin1Char(';'));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].size(), 1000);
        QCOMPARE(rows[1], QStringList{"1"});
        QCOMPARE(rows[2], QStringList());
    }

    // A number whose style is a bare run of zeros reads as the office program shows it,
    // wherever the style comes from: the cell's automatic style, a common style of
    // styles.xml it inherits from, the row's or the column's default. Every other number
    // format, a fraction, a negative number and a date keep their value.
    void odsZeroPaddedNumbers()
    {
        const QByteArray automatici =
            stileNumero("N1", zeri5) + stileCella("ce1", "N1") + stileCella("ce2", nullptr, "Cap") +
            stileNumero("N2", "<number:number number:decimal-places=\"0\" number:min-integer-digits=\"5\" "
                              "number:grouping=\"true\"/>") +
            stileCella("ce3", "N2") +
            stileNumero("N3",
                        "<number:number number:decimal-places=\"2\" number:min-integer-digits=\"5\"/>") +
            stileCella("ce4", "N3") + stileNumero("N4", "<number:text>IT-</number:text>" + zeri5) +
            stileCella("ce5", "N4") +
            stileNumero("N5", "<number:number number:decimal-places=\"0\" number:min-integer-digits=\"5\">"
                              "<number:embedded-text number:position=\"2\">-</number:embedded-text>"
                              "</number:number>") +
            stileCella("ce6", "N5") + stileCella("giro1", nullptr, "giro2") +
            stileCella("giro2", nullptr, "giro1") +
            stileNumero(
                "N6", zeri5 + "<style:map style:condition=\"value()&lt;0\" style:apply-style-name=\"N1\"/>") +
            stileCella("ce7", "N6") + stileNumero("N7", "<number:number number:min-integer-digits=\"1\"/>") +
            stileCella("ce8", "N7");
        const QByteArray comuni = stileNumero("NCap", zeri5) + stileCella("Cap", "NCap");
        const QByteArray tabella =
            "<table:table-column table:number-columns-repeated=\"2\"/>"
            "<table:table-column table:default-cell-style-name=\"ce1\"/>"
            "<table:table-column table:number-columns-repeated=\"1021\"/>"
            "<table:table-row>" +
            cellaNumero("184", "ce1") + cellaNumero("184", "ce2") + cellaNumero("184") +
            cellaNumero("184", "Default") + "</table:table-row><table:table-row>" +
            cellaNumero("1234", "ce3") + cellaNumero("184", "ce4") + cellaNumero("184", "ce5") +
            cellaNumero("184", "ce6") + "</table:table-row><table:table-row>" + cellaNumero("184.5", "ce1") +
            cellaNumero("-184", "ce1") + cellaNumero("123456", "ce1") + cellaNumero("184", "giro1") +
            "</table:table-row><table:table-row>" +
            "<table:table-cell office:value-type=\"date\" office:date-value=\"2026-03-31\" "
            "table:style-name=\"ce1\"><text:p>31/03/26</text:p></table:table-cell>"
            "<table:table-cell office:value-type=\"currency\" office:currency=\"EUR\" office:value=\"184\" "
            "table:style-name=\"ce1\"><text:p>184,00 €</text:p></table:table-cell>"
            "<table:table-cell office:value-type=\"string\" table:style-name=\"ce1\"><text:p>184</text:p>"
            "</table:table-cell>" +
            cellaNumero("184", "ce7") +
            "</table:table-row>"
            "<table:table-row table:default-cell-style-name=\"ce1\">" +
            cellaNumero("184") + "<table:table-cell table:number-columns-repeated=\"2\"/>" +
            cellaNumero("184", "ce8") + "</table:table-row>";
        const QByteArray bytes = ods(automatici, tabella, comuni);
        QVERIFY(!bytes.isEmpty());
        const Foglio f = parseSpreadsheet(bytes, QStringLiteral("foglio.ods"));
        QCOMPARE(f.righe.size(), 5);
        // The cell's own style; one inherited from styles.xml; the column's default (C);
        // a style named but not defined.
        QCOMPARE(f.righe[0], (QStringList{"00184", "00184", "00184", "184"}));
        // Grouping, decimals, text before the digits, text among them: the value.
        QCOMPARE(f.righe[1], (QStringList{"1234", "184", "184", "184"}));
        // A fraction and a negative number as they are; a wider number whole; a style
        // whose parents loop.
        QCOMPARE(f.righe[2], (QStringList{"184,5", "-184", "123456", "184"}));
        // A date, an amount in euro and a text in the padded style keep their own; a map
        // for negative numbers leaves the positive part padding.
        QCOMPARE(f.righe[3], (QStringList{"31/03/2026", "184", "184", "00184"}));
        // The row's default; a single zero pads nothing.
        QCOMPARE(f.righe[4], (QStringList{"00184", "", "", "184"}));

        // styles.xml broken halfway costs its formats, never the data.
        const QByteArray rotto = ods(stileCella("ce2", nullptr, "Cap"),
                                     "<table:table-row>" + cellaNumero("184", "ce2") + "</table:table-row>",
                                     comuni + "<office:font");
        QCOMPARE(parseSpreadsheet(rotto, QStringLiteral("rotto.ods")).righe.value(0).value(0),
                 QStringLiteral("00184"));
    }
};

QTEST_GUILESS_MAIN(TestSheets)
#include "tst_sheets.moc"
