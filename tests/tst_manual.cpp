// The user manual the build renders: its chapters, its version, its pictures, and the
// renderer's refusal to leave a hole where a picture is missing.
#include "TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Manuale = QStringLiteral(SZ_PROGRAM_DIR "/Help/manuale.pdf");

struct Immagine
{
    int pagina = 0;
    int oggetto = 0;
    int larghezza = 0;
    int ppi = 0;
};

// The pictures as pdfimages lists them, one per drawing on a page.
QList<Immagine> immagini(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    QList<Immagine> out;
    const QStringList righe = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString& riga : righe.mid(2)) {
        const QStringList c = riga.simplified().split(QLatin1Char(' '));
        if (c.size() < 14 || c[2] != QLatin1String("image"))
            continue;
        out << Immagine{c[0].toInt(), c[10].toInt(), c[3].toInt(), c[12].toInt()};
    }
    return out;
}

int pictureTags(const QString& html)
{
    return int(html.count(QRegularExpression(QStringLiteral("<img\\s"))));
}

} // namespace

class TestManual : public QObject
{
    Q_OBJECT

private slots:
    // What the program does beyond its first release has a chapter each, and the version
    // on the title page is the build's.
    void chaptersAndVersion()
    {
        QVERIFY2(QFileInfo::exists(Manuale), qPrintable(Manuale));
        const QString testo = TestEnv::pdfText(Manuale).simplified();
        for (const char* titolo : {"2. Installazione", "3.1 Prova con dati dimostrativi", "8. Fatture elettroniche",
                                   "9. Sospendere i solleciti", "10. Interessi di mora",
                                   "11. Il registro delle comunicazioni", "12. Invio automatico giornaliero",
                                   "13. Posta certificata (PEC) e ricevute", "14. Database su server (PostgreSQL)",
                                   "16. Dove sono i file"})
            QVERIFY2(testo.contains(QString::fromUtf8(titolo)), titolo);
        QVERIFY(testo.contains(QStringLiteral("Manuale d'uso — versione " SZ_VERSION_BUILT)));
        QVERIFY(!testo.contains(QStringLiteral("@VERSIONE@")));
        QVERIFY(testo.contains(QStringLiteral("sudo apt install ./scadenzio_" SZ_PACKAGE_BUILT "_amd64.deb")));
        // Accents and the euro sign come through as text, not as boxes or lookalikes.
        QVERIFY(testo.contains(QStringLiteral("Richiedi l'indennizzo di € 40,00 per fattura")));
        QVERIFY(testo.contains(QStringLiteral("più postazioni")));
    }

    // A paragraph cut by a page break would leave its neighbouring line on the other page
    // too, out of sight but in what a reader searches or copies: no line is on two pages.
    void noLineOnTwoPages()
    {
        const int pagine = TestEnv::pdfPages(Manuale);
        QVERIFY(pagine > 10);
        QStringList prima;
        for (int p = 1; p <= pagine; ++p) {
            QStringList righe;
            for (const QString& r : TestEnv::pdfText(Manuale, p).split(QLatin1Char('\n')))
                if (!r.simplified().isEmpty())
                    righe << r.simplified();
            if (!prima.isEmpty() && !righe.isEmpty()) {
                for (const QString& r : righe.mid(0, 3))
                    QVERIFY2(!prima.mid(prima.size() - 3).contains(r), qPrintable(QStringLiteral("pagina %1: %2").arg(p).arg(r)));
            }
            prima = righe;
        }
    }

    // Every picture of the source is in the PDF, whole on one page and drawn at a size
    // that fits the page (not blown up across several), and the file stays small.
    void picturesFitThePage()
    {
        QFile sorgente(QStringLiteral(SZ_MANUAL_SOURCE));
        QVERIFY(sorgente.open(QIODevice::ReadOnly));
        const int attese = pictureTags(QString::fromUtf8(sorgente.readAll()));
        QVERIFY(attese >= 10);

        const QList<Immagine> lista = immagini(Manuale);
        QCOMPARE(lista.size(), attese);
        QSet<int> oggetti;
        for (const Immagine& i : lista) {
            QVERIFY2(!oggetti.contains(i.oggetto), "a picture is cut across two pages");
            oggetti.insert(i.oggetto);
            // A window of 1200 pixels across 17 cm of page is about 180 per inch.
            QVERIFY2(i.ppi >= 120, qPrintable(QString::number(i.ppi)));
            QVERIFY(i.larghezza >= 800);
        }
        QVERIFY2(QFileInfo(Manuale).size() < 5 * 1024 * 1024, qPrintable(QString::number(QFileInfo(Manuale).size())));
    }

    // A picture that cannot be read stops the build instead of leaving a hole; one that
    // can is scaled to the page whatever its size.
    void missingPictureFailsTheBuild()
    {
        QTemporaryDir dir;
        QImage piccola(300, 200, QImage::Format_RGB32);
        piccola.fill(Qt::darkCyan);
        QVERIFY(piccola.save(dir.filePath(QStringLiteral("piccola.png"))));
        auto scrivi = [&](const QString& nome, const QByteArray& html) {
            QFile f(dir.filePath(nome));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(html);
        };
        scrivi(QStringLiteral("buono.html"), "<h1>Prova</h1><p>versione @VERSIONE@</p><p><img src=\"piccola.png\"></p>");
        scrivi(QStringLiteral("rotto.html"), "<h1>Prova</h1><p><img src=\"manca.png\"></p>");
        auto rendi = [&](const QString& html, const QString& pdf) {
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedChannels);
            p.start(QStringLiteral(SZ_MAKE_MANUAL),
                    {dir.filePath(html), dir.filePath(pdf), QStringLiteral("9.8.7"), dir.path()});
            p.waitForFinished(60000);
            return p.exitCode();
        };
        QCOMPARE(rendi(QStringLiteral("buono.html"), QStringLiteral("buono.pdf")), 0);
        QVERIFY(TestEnv::pdfText(dir.filePath(QStringLiteral("buono.pdf"))).contains(QStringLiteral("versione 9.8.7")));
        const QList<Immagine> una = immagini(dir.filePath(QStringLiteral("buono.pdf")));
        QCOMPARE(una.size(), 1);
        // 300 pixels stretched across the page's 17 cm: well under the screen's 96 per inch.
        QVERIFY2(una.first().ppi < 60, qPrintable(QString::number(una.first().ppi)));

        QVERIFY(rendi(QStringLiteral("rotto.html"), QStringLiteral("rotto.pdf")) != 0);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("rotto.pdf"))));
    }
};

QTEST_GUILESS_MAIN(TestManual)
#include "tst_manual.moc"
