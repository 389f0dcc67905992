// Delimited text as other programs write it: the splitting of a line, the line endings,
// the encodings (made by Python's csv module), and a bounded random-mutation run that
// must never crash and keep the splitting's own invariants.
#include "TestEnv.h"

#include "scadenzio/Error.h"
#include "scadenzio/sheets/Delimited.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
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
};

QTEST_GUILESS_MAIN(TestSheets)
#include "tst_sheets.moc"
