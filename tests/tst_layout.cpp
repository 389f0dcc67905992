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
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
