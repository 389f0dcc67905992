// The engines link without widgets and work on a machine without a display.
#include "TestEnv.h"

#include "scadenzio/Error.h"
#include "scadenzio/mail/Transport.h"
#include "scadenzio/report/Pdf.h"
#include "scadenzio/sheets/Readers.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestPlatform : public QObject
{
    Q_OBJECT
private slots:
    void pdfIsWrittenWithItalianTextIntact()
    {
        QTemporaryDir dir;
        const QString pdf = dir.path() + QStringLiteral("/Archivio/2026-12-07/prova.pdf");
        sz::report::writePdf(QStringLiteral("<p>Spett.le ditta, l'importo di € 1.234,56 è scaduto.</p>"), pdf);
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(5) == "%PDF-");

        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        QVERIFY(QString::fromUtf8(text.readAllStandardOutput())
                    .contains(QStringLiteral("l'importo di € 1.234,56 è scaduto")));
    }

    void pdfIntoAnUnwritableFolderFailsWithoutAFile()
    {
        QVERIFY_THROWS_EXCEPTION(sz::Error, sz::report::writePdf(QStringLiteral("x"), QStringLiteral("/proc/x/y.pdf")));
    }

    void enginesAreThere()
    {
        QVERIFY(sz::mail::supportsSecureSmtp());
        QVERIFY(sz::mail::transportVersion().startsWith(QStringLiteral("libcurl/")));
        QVERIFY(sz::sheets::readerVersions().contains(QStringLiteral("libzip")));
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
