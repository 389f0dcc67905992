// How letters look once laid out: the document's title, and pictures that carry nothing.

#include "TestEnv.h"

#include "scadenzio/report/Report.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using sz::report::Project;

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return "<" + program + " failed: " + QString::fromUtf8(p.readAllStandardError()) + ">";
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pdfTitle(const QString& pdf)
{
    return QRegularExpression("(?m)^Title:\\s*(.*)$").match(run("pdfinfo", {pdf})).captured(1).trimmed();
}

QString pdfText(const QString& pdf, int page = 0)
{
    const QString n = QString::number(page);
    return run("pdftotext", (page ? QStringList{"-f", n, "-l", n} : QStringList{}) << pdf << "-");
}

int pdfPages(const QString& pdf)
{
    return QRegularExpression("Pages:\\s+(\\d+)").match(run("pdfinfo", {pdf})).captured(1).toInt();
}

// The page (1-based) each word is on; 0 when no page has it, -1 when several do.
int pageOf(const QList<QString>& pages, const QString& word)
{
    int found = 0;
    for (int i = 0; i < pages.size(); ++i)
        if (pages.at(i).contains(word)) found = found ? -1 : i + 1;
    return found;
}

QList<QString> pageTexts(const QString& pdf)
{
    QList<QString> pages;
    for (int p = 1, n = pdfPages(pdf); p <= n; ++p)
        pages.append(pdfText(pdf, p));
    return pages;
}

int pdfImageCount(const QString& pdf)
{
    return int(run("pdfimages", {"-list", pdf}).split('\n', Qt::SkipEmptyParts).mid(2).size());
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString& name) const { return m_dir.filePath(name); }

    QString project(const QString& name, const QByteArray& text) const
    {
        QFile f(file(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) return {};
        return f.fileName();
    }

    QString execute(Project& p, const QString& pdfName) const
    {
        p.setOutputFile(file(pdfName));
        p.execute();
        return file(pdfName);
    }

private slots:
    // A reader's window, its tab and its list of open files name the letter, not the template.
    void titleIsTheLettersOwn()
    {
        Project p;
        p.setProjectFile(project("Sollecito.rav", "<p>{{Oggetto}}</p>"));

        p.setParameter("Oggetto", "1° sollecito di pagamento");
        p.setParameter("Titolo", "1° sollecito di pagamento – Documento N° 12/A");
        QCOMPARE(pdfTitle(execute(p, "a.pdf")), QString("1° sollecito di pagamento – Documento N° 12/A"));

        // Without a title of its own the subject names it; a line break in it is a blank.
        p.close();
        p.setParameter("Oggetto", "Situazione contabile\r\nROSSI SRL");
        QCOMPARE(pdfTitle(execute(p, "b.pdf")), QString("Situazione contabile ROSSI SRL"));

        // A title of blanks is none.
        p.setParameter("Titolo", "   ");
        QCOMPARE(pdfTitle(execute(p, "c.pdf")), QString("Situazione contabile ROSSI SRL"));

        p.close();
        QCOMPARE(pdfTitle(execute(p, "d.pdf")), QString("Sollecito"));

        // The print of the issued-documents list is named by its subject too.
        Project report;
        report.setProjectFile(SZ_PROGRAM_DIR "/RaveReport/Report_documenti_emessi.rav");
        report.setParameter("Oggetto", "Documenti emessi dal 01/03/2026 al 31/03/2026");
        QCOMPARE(pdfTitle(execute(report, "e.pdf")), QString("Documenti emessi dal 01/03/2026 al 31/03/2026"));
    }

    // A firm that chose no logo keeps the blank one the program ships: nothing is printed,
    // and nothing is kept in the file either.
    void blankPictureIsNoPicture()
    {
        const QString html = "<p>prima</p><p><img src=\"{{Logo}}\" width=\"40mm\" height=\"15mm\"></p><p>dopo</p>";
        Project p;
        p.setProjectFile(project("logo.rav", html.toUtf8()));

        p.setParameter("Logo", SZ_PROGRAM_DIR "/Logo/logo.bmp");
        QCOMPARE(pdfImageCount(execute(p, "default.pdf")), 0);

        QImage transparent(300, 100, QImage::Format_ARGB32);
        transparent.fill(Qt::transparent);
        QVERIFY(transparent.save(file("trasparente.png")));
        p.setParameter("Logo", file("trasparente.png"));
        QCOMPARE(pdfImageCount(execute(p, "transparent.pdf")), 0);

        // One dark dot is a picture: a logo is never dropped for being mostly white.
        QImage dot(300, 100, QImage::Format_RGB32);
        dot.fill(Qt::white);
        dot.setPixelColor(150, 50, QColor(200, 200, 200));
        QVERIFY(dot.save(file("punto.png")));
        p.setParameter("Logo", file("punto.png"));
        QCOMPARE(pdfImageCount(execute(p, "dot.pdf")), 1);

        // White drawn half-transparent over nothing is still white on paper.
        QImage veil(300, 100, QImage::Format_ARGB32);
        veil.fill(QColor(255, 255, 255, 128));
        QVERIFY(veil.save(file("velo.png")));
        p.setParameter("Logo", file("velo.png"));
        QCOMPARE(pdfImageCount(execute(p, "veil.pdf")), 0);

        p.setParameter("Logo", "/non/esiste/logo.bmp");
        QCOMPARE(pdfImageCount(execute(p, "missing.pdf")), 0);
    }

    // The printed list of issued documents with rows that wrap over many lines: each row
    // is read whole on one page, the heading is on every page, no row is lost or doubled.
    void tableRowsAreNeverSplit()
    {
        Project p;
        p.setProjectFile(SZ_PROGRAM_DIR "/RaveReport/Report_documenti_emessi.rav");
        p.setParameter("Oggetto", "Documenti emessi");
        p.setParameter("TotaleDocumenti", "90");
        sz::report::DataView rows;
        for (int i = 1; i <= 90; ++i) {
            const QString n = QString::number(i);
            sz::report::Row row{{"NumeroFattura", "DOC" + n + "X"},
                                {"DataFattura", "01/03/2026"},
                                {"ImportoParziale", "€ 1.000,00"},
                                {"Cliente", "CLIENTE" + n + "X"},
                                {"Note", "ALFA" + n + "X"}};
            if (i % 4 == 0)
                row["Note"] = "ALFA" + n + "X " + QString("parola lunga del promemoria ").repeated(5) + "OMEGA" + n + "X";
            rows.append(row);
        }
        p.setDataView("RvDataSetConnection1", rows);
        const QString pdf = execute(p, "elenco.pdf");
        const QList<QString> pages = pageTexts(pdf);
        QVERIFY(pages.size() >= 3);
        for (int i = 1; i <= 90; ++i) {
            const QString n = QString::number(i);
            const int at = pageOf(pages, "DOC" + n + "X");
            QVERIFY2(at > 0, qPrintable(n));
            QCOMPARE(pageOf(pages, "CLIENTE" + n + "X"), at);
            QCOMPARE(pageOf(pages, "ALFA" + n + "X"), at);
            if (i % 4 == 0) QCOMPARE(pageOf(pages, "OMEGA" + n + "X"), at);
        }
        for (const QString& page : pages)
            if (page.contains("DOC")) QVERIFY(page.contains("Tot.") && page.contains("Destinatario"));
        QVERIFY(pages.last().contains("Totale documenti: 90"));
    }

    // A part marked "intero" that would straddle the page turn starts the next page whole;
    // one that fits stays where it is, and one taller than a page is laid out as it comes.
    void keptTableMovesWhole()
    {
        const QByteArray filler = "<p>" + QByteArray("riga di testo<br>").repeated(52) + "</p>";
        const QByteArray kept = "<table class=\"intero\" width=\"100%\"><tr><td><p><b>PRIMA</b><br>" +
                                QByteArray("IBAN IT60X0542811101000000000001<br>").repeated(8) +
                                "ULTIMA</p></td></tr></table>";
        Project p;
        p.setProjectFile(project("intero.rav", "<!--\nfont: DejaVu Sans 10\n-->\n" + filler + kept));
        QList<QString> pages = pageTexts(execute(p, "intero.pdf"));
        QCOMPARE(pages.size(), 2);
        QCOMPARE(pageOf(pages, "PRIMA"), 2);
        QCOMPARE(pageOf(pages, "ULTIMA"), 2);

        // The same without the mark is split: the test would see a move that did not happen.
        QByteArray plain = kept;
        plain.replace("<table class=\"intero\" width=\"100%\"><tr><td>", "").replace("</td></tr></table>", "");
        p.setProjectFile(project("diviso.rav", "<!--\nfont: DejaVu Sans 10\n-->\n" + filler + plain));
        pages = pageTexts(execute(p, "diviso.pdf"));
        QCOMPARE(pageOf(pages, "PRIMA"), 1);
        QCOMPARE(pageOf(pages, "ULTIMA"), 2);

        p.setProjectFile(project("breve.rav", "<p>inizio</p>" + kept));
        QCOMPARE(pdfPages(execute(p, "breve.pdf")), 1);

        const QByteArray tall = "<p>inizio</p><table class=\"intero\"><tr><td>" +
                                QByteArray("<p>riga</p>").repeated(200) + "<p>FINE</p></td></tr></table>";
        p.setProjectFile(project("lungo.rav", tall));
        pages = pageTexts(execute(p, "lungo.pdf"));
        QVERIFY(pages.size() >= 3);
        QVERIFY(pages.first().contains("inizio") && pages.first().contains("riga"));
        QCOMPARE(pageOf(pages, "FINE"), int(pages.size()));
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
