// The report engine and the letters it ships, read back from the PDF as a person's
// viewer (or a copy and paste) would read them.
#include "TestEnv.h"

#include "scadenzio/Error.h"
#include "scadenzio/report/Report.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

#include <algorithm>
#include <functional>

using sz::report::DataView;
using sz::report::Project;

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>").arg(program, QString::fromUtf8(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Text of the PDF, of one page when page > 0.
QString pdfText(const QString& pdf, int page = 0)
{
    QStringList args;
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l")
             << QString::number(page);
    return run(QStringLiteral("pdftotext"), args << pdf << QStringLiteral("-"));
}

int pdfPages(const QString& pdf)
{
    const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    return pages.match(run(QStringLiteral("pdfinfo"), {pdf})).captured(1).toInt();
}

// Rows of "pdfimages -list" after its two heading lines.
QStringList pdfImages(const QString& pdf)
{
    QStringList lines = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf})
                            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.mid(2);
}

// Top-left corner, in mm from the paper's corner, of the first word equal to word.
QPointF wordPosition(const QString& pdf, const QString& word)
{
    const QString xml = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    const QRegularExpression w(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\"[^>]*>%1</word>")
                                   .arg(QRegularExpression::escape(word)));
    const QRegularExpressionMatch m = w.match(xml);
    if (!m.hasMatch()) return QPointF(-1, -1);
    return QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()) * (25.4 / 72.0);
}

QString writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    f.write(content);
    return path;
}

QString programProject(const QString& name)
{
    return QStringLiteral(SZ_PROGRAM_DIR "/RaveReport/") + name;
}

QString errorOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const sz::Error& e) {
        return e.message();
    }
    return QString();
}

// The sender, addressee and texts both shipped letters take.
void setLetterParameters(Project& p, const QString& logo)
{
    p.setParameter(QStringLiteral("Logo"), logo);
    p.setParameter(QStringLiteral("RagioneSocialeUtente"), QStringLiteral("Ferramenta Colombo & C. S.n.c."));
    p.setParameter(QStringLiteral("IndirizzoUtente"), QStringLiteral("Via Garibaldi, 12"));
    p.setParameter(QStringLiteral("CapUtente"), QStringLiteral("20121"));
    p.setParameter(QStringLiteral("LocalitaUtente"), QStringLiteral("Milano"));
    p.setParameter(QStringLiteral("ProvinciaUtente"), QStringLiteral("MI"));
    p.setParameter(QStringLiteral("ReferenteUtente"), QStringLiteral("Rag. Lucia Bernasconi"));
    p.setParameter(QStringLiteral("TelefonoUtente"), QStringLiteral("02 8765432"));
    p.setParameter(QStringLiteral("CellUtente"), QStringLiteral(" - Cell.: 333 1234567"));
    p.setParameter(QStringLiteral("FaxUtente"), QStringLiteral(" - Fax: 02 8765433"));
    p.setParameter(QStringLiteral("MailUtente"), QStringLiteral("amministrazione@colombo.it"));
    p.setParameter(QStringLiteral("IvaUtente"), QStringLiteral("01234567890"));
    p.setParameter(QStringLiteral("CFUtente"), QStringLiteral("CLMLCU70A41F205X"));
    p.setParameter(QStringLiteral("RagioneSociale"), QStringLiteral("Bianchi & Figli <Srl>"));
    p.setParameter(QStringLiteral("Referente"), QStringLiteral("Alla c.a.: Mario Rossi"));
    p.setParameter(QStringLiteral("IntestazioneCliente"),
                   QStringLiteral("Ufficio amministrazione\rVia dell'Artigianato, 4/B\r24020 Gorle (BG)"));
    p.setParameter(QStringLiteral("LuogoData"), QStringLiteral("Milano, lì 07/12/2026"));
    p.setParameter(QStringLiteral("Oggetto"), QStringLiteral("1° sollecito di pagamento"));
    p.setParameter(QStringLiteral("Introduzione"),
                   QStringLiteral("Spettabile cliente,\r\nla fattura sotto indicata non è ancora saldata."));
    p.setParameter(QStringLiteral("Finale"),
                   QStringLiteral("Così à è ì ò ù: l'ufficio è a disposizione.\r\nGrazie."));
}

DataView banks(int count)
{
    DataView rows;
    for (int i = 1; i <= count; ++i)
        rows.append({{QStringLiteral("nome"), QStringLiteral("Banca %1").arg(i)},
                     {QStringLiteral("agenzia"), QStringLiteral("Filiale %1").arg(i)},
                     {QStringLiteral("IBAN"),
                      QStringLiteral("IT60X05428111010000000%1").arg(i, 5, 10, QLatin1Char('0'))}});
    return rows;
}

DataView credits(int count)
{
    DataView rows;
    for (int i = 1; i <= count; ++i)
        rows.append({{QStringLiteral("NumeroFattura"), QStringLiteral("F%1").arg(i, 3, 10, QLatin1Char('0'))},
                     {QStringLiteral("DataFattura"), QStringLiteral("15/09/2026")},
                     {QStringLiteral("Scadenza"), QStringLiteral("15/10/2026")},
                     {QStringLiteral("DestinatarioFattura"), QStringLiteral("Bianchi & Figli <Srl>")},
                     {QStringLiteral("ImportoParziale"), QStringLiteral("€ 1.234,56")},
                     {QStringLiteral("ImportoResiduo"), QStringLiteral("€ 22,24")},
                     {QStringLiteral("Comunicazione"),
                      i % 2 ? QStringLiteral("1° SOLLECITO") : QStringLiteral("IN SOFFERENZA")},
                     {QStringLiteral("IDCliente"), QStringLiteral("7")}});
    return rows;
}

// A 60-row table that needs more than one page, its header in <thead>.
const QByteArray longTable = R"(<!--
margins: 20 20 25 20
font: DejaVu Sans 10
footer: <p align="right">Pagina {{Pagina}} di {{Pagine}}</p>
-->
<table width="100%" cellpadding="2">
<thead><tr><td><b>Documento N°</b></td><td><b>Residuo</b></td></tr></thead>
{{#Righe}}<tr><td>{{NumeroFattura}}</td><td align="right">{{ImportoResiduo}}</td></tr>
{{/Righe}}</table>
)";

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString project(const QString& name, const QByteArray& content)
    {
        return writeFile(m_dir.filePath(name), content);
    }
    QString output(const QString& name) const { return m_dir.filePath(QStringLiteral("out/") + name); }

private slots:
    void valuesPrintAsTypedWithTheirLineBreaks()
    {
        Project p;
        p.setProjectFile(project(QStringLiteral("escape.rav"),
                                 "<p>A: {{Cliente}}</p><p>B: {{{Cliente}}}</p><p>{{Righe}}</p>"
                                 "{{#Vista}}<p>Riga: {{campo}}</p>{{/Vista}}"));
        p.setParameter(QStringLiteral("Cliente"), QStringLiteral("Bianchi & Figli <Srl> \"quotati\""));
        p.setParameter(QStringLiteral("Righe"), QStringLiteral("uno\r\ndue\rtre\nquattro\r\n\r\nsei"));
        p.setDataView(QStringLiteral("Vista"),
                      {{{QStringLiteral("campo"), QStringLiteral("<b>non grassetto</b>")}}});

        const QString html = p.renderHtml();
        QCOMPARE(html.count(QStringLiteral("Bianchi &amp; Figli &lt;Srl&gt; &quot;quotati&quot;")), 2);
        QVERIFY(html.contains(QStringLiteral("uno<br />due<br />tre<br />quattro<br /><br />sei")));
        QVERIFY(html.contains(QStringLiteral("&lt;b&gt;non grassetto&lt;/b&gt;")));

        p.setOutputFile(output(QStringLiteral("escape.pdf")));
        p.execute();
        const QString text = pdfText(output(QStringLiteral("escape.pdf")));
        QVERIFY2(text.contains(QStringLiteral("A: Bianchi & Figli <Srl> \"quotati\"")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("B: Bianchi & Figli <Srl>")));
        QVERIFY(text.contains(QStringLiteral("uno\ndue\ntre\nquattro\n")));
        QVERIFY(text.contains(QStringLiteral("Riga: <b>non grassetto</b>")));
    }

    void missingUnusedAndEmptyValues()
    {
        Project p;
        p.setProjectFile(project(QStringLiteral("values.rav"),
                                 "<p>[{{NonImpostato}}]</p>"
                                 "{{#Vuoto}}<p>NASCOSTO</p>{{/Vuoto}}{{^Vuoto}}<p>senza valore</p>{{/Vuoto}}"
                                 "{{#Pieno}}<p>con {{Pieno}}</p>{{/Pieno}}"));
        p.setParameter(QStringLiteral("NonUsato"), QStringLiteral("qualcosa"));
        p.setParameter(QStringLiteral("Vuoto"), QString());
        p.setParameter(QStringLiteral("Pieno"), QStringLiteral("testo"));
        const QString html = p.renderHtml();
        QVERIFY(html.contains(QStringLiteral("<p>[]</p>")));
        QVERIFY(!html.contains(QStringLiteral("NASCOSTO")));
        QVERIFY(html.contains(QStringLiteral("senza valore")));
        QVERIFY(html.contains(QStringLiteral("con testo")));
        QVERIFY(!html.contains(QStringLiteral("qualcosa")));

        // close() forgets the values but keeps the project.
        p.close();
        QVERIFY(!p.renderHtml().contains(QStringLiteral("con testo")));
        QVERIFY(p.renderHtml().contains(QStringLiteral("senza valore")));
    }

    void dataViewsRepeatInOrder()
    {
        Project p;
        p.setProjectFile(project(
            QStringLiteral("views.rav"),
            "{{#ConRighe.Banche}}<h3>Banche</h3>{{/ConRighe.Banche}}"
            "{{#Banche}}<p>{{nome}} per {{Cliente}}{{#agenzia}} ({{agenzia}}){{/agenzia}}</p>{{/Banche}}"
            "{{#ConRighe.Vuota}}<h3>MAI</h3>{{/ConRighe.Vuota}}"
            "{{^ConRighe.Vuota}}<p>nessun credito</p>{{/ConRighe.Vuota}}"
            "{{^ConRighe.MaiImpostata}}<p>nessuna vista</p>{{/ConRighe.MaiImpostata}}"));
        p.setParameter(QStringLiteral("Cliente"), QStringLiteral("Rossi"));
        p.setDataView(QStringLiteral("Banche"), {{{QStringLiteral("nome"), QStringLiteral("Zeta")},
                                                  {QStringLiteral("agenzia"), QStringLiteral("Ag. 1")}},
                                                 {{QStringLiteral("nome"), QStringLiteral("Alfa")}},
                                                 {{QStringLiteral("nome"), QStringLiteral("Mu")},
                                                  {QStringLiteral("agenzia"), QString()}}});
        p.setDataView(QStringLiteral("Vuota"), {});
        const QString html = p.renderHtml();
        QCOMPARE(html.count(QStringLiteral("<h3>Banche</h3>")), 1);
        const qsizetype z = html.indexOf(QStringLiteral("Zeta per Rossi (Ag. 1)"));
        const qsizetype a = html.indexOf(QStringLiteral("Alfa per Rossi</p>"));
        const qsizetype m = html.indexOf(QStringLiteral("Mu per Rossi</p>"));
        QVERIFY(z >= 0 && a > z && m > a);
        QVERIFY(!html.contains(QStringLiteral("MAI")));
        QVERIFY(html.contains(QStringLiteral("nessun credito")));
        QVERIFY(html.contains(QStringLiteral("nessuna vista")));
    }

    void projectErrorsNameTheFileAndTheLine()
    {
        const QString missing = m_dir.filePath(QStringLiteral("RaveReport/Sollecito.rav"));
        Project p;
        QCOMPARE(
            errorOf([&] { p.setProjectFile(missing); }),
            QStringLiteral("Il modello di stampa \"%1\" non esiste.").arg(QDir::toNativeSeparators(missing)));
        QCOMPARE(errorOf([&] { p.execute(); }),
                 QStringLiteral("Nessun modello di stampa impostato: impossibile preparare la stampa."));

        const QString unclosed = project(QStringLiteral("unclosed.rav"),
                                         "<!--\nfont: DejaVu Sans 9\n-->\n<p>a</p>\n{{#Banche}}\n<p>b</p>\n");
        QVERIFY(errorOf([&] { p.setProjectFile(unclosed); })
                    .startsWith(QStringLiteral("Il modello di stampa \"%1\" non è valido: riga 5: la sezione "
                                               "\"Banche\" non è chiusa")
                                    .arg(QDir::toNativeSeparators(unclosed))));
        const QString badKey =
            project(QStringLiteral("badkey.rav"), "<!--\npage: A4\nmargini: 10\n-->\n<p>x</p>");
        QVERIFY(errorOf([&] {
                    p.setProjectFile(badKey);
                }).contains(QStringLiteral("riga 3: la voce \"margini\" non esiste")));
        const QString badMargins =
            project(QStringLiteral("badmargins.rav"), "<!--\nmargins: 10 10\n-->\n<p>x</p>");
        QVERIFY(errorOf([&] {
                    p.setProjectFile(badMargins);
                }).contains(QStringLiteral("riga 2: i margini \"10 10\"")));
        const QString hugeMargins =
            project(QStringLiteral("huge.rav"), "<!--\nmargins: 150 10 150 10\n-->\n<p>x</p>");
        QVERIFY(errorOf([&] {
                    p.setProjectFile(hugeMargins);
                }).contains(QStringLiteral("non lasciano spazio al testo")));
        const QString open = project(QStringLiteral("open.rav"), "<!--\npage: A4\n<p>x</p>");
        QVERIFY(errorOf([&] {
                    p.setProjectFile(open);
                }).contains(QStringLiteral("riga 1: manca la chiusura \"-->\"")));
        // A failed set-up leaves no project behind to print by mistake.
        QVERIFY(
            errorOf([&] { p.execute(); }).startsWith(QStringLiteral("Nessun modello di stampa impostato")));
    }

    void unwritableOutputLeavesNothing()
    {
        QTemporaryDir dir;
        const QString good = project(QStringLiteral("plain.rav"), "<p>Lettera</p>");
        writeFile(dir.filePath(QStringLiteral("file.txt")), "x");
        QDir().mkpath(dir.filePath(QStringLiteral("cartella.pdf")));
        const QStringList before =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

        Project p;
        p.setProjectFile(good);
        const QString underFile = dir.filePath(QStringLiteral("file.txt/lettera.pdf"));
        p.setOutputFile(underFile);
        QCOMPARE(errorOf([&] { p.execute(); }),
                 QStringLiteral("Impossibile scrivere il file \"%1\": impossibile creare la cartella \"%2\".")
                     .arg(QDir::toNativeSeparators(underFile),
                          QDir::toNativeSeparators(dir.filePath(QStringLiteral("file.txt")))));
        const QString onFolder = dir.filePath(QStringLiteral("cartella.pdf"));
        p.setOutputFile(onFolder);
        QCOMPARE(errorOf([&] { p.execute(); }),
                 QStringLiteral("Impossibile scrivere il file \"%1\": il percorso indica una cartella.")
                     .arg(QDir::toNativeSeparators(onFolder)));
        p.setOutputFile(QStringLiteral("/proc/scadenzio/lettera.pdf"));
        QVERIFY(
            errorOf([&] {
                p.execute();
            }).startsWith(QStringLiteral("Impossibile scrivere il file \"/proc/scadenzio/lettera.pdf\": ")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
        QVERIFY(QDir(onFolder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

        // A good run into a folder not there yet makes it.
        p.setOutputFile(dir.filePath(QStringLiteral("Archivio/2026/lettera.pdf")));
        p.execute();
        QVERIFY(pdfText(dir.filePath(QStringLiteral("Archivio/2026/lettera.pdf")))
                    .contains(QStringLiteral("Lettera")));
    }

    void pictures()
    {
        const QByteArray tmpl =
            "<p><img src=\"{{Logo}}\" width=\"50mm\" height=\"22mm\"></p><p>Dopo il logo</p>";
        const QString wide = m_dir.filePath(QStringLiteral("immagini/logo largo & stretto.bmp"));
        QDir().mkpath(QFileInfo(wide).absolutePath());
        QImage img(1000, 200, QImage::Format_RGB32);
        img.fill(Qt::darkBlue);
        QVERIFY(img.save(wide, "BMP"));
        const QString small = m_dir.filePath(QStringLiteral("immagini/piccolo.bmp"));
        QImage(40, 20, QImage::Format_RGB32).save(small, "BMP");
        const QString notAPicture =
            writeFile(m_dir.filePath(QStringLiteral("immagini/finto.bmp")), "non sono un'immagine");

        Project p;
        p.setProjectFile(project(QStringLiteral("logo.rav"), tmpl));
        struct Case
        {
            QString logo;
            int images;
            double widthMm;
        };
        const QList<Case> cases{
            {wide, 1, 50.0},            // shrunk into the box, proportions kept
            {small, 1, 40 * 25.4 / 96}, // never enlarged
            {m_dir.filePath(QStringLiteral("immagini/assente.bmp")), 0, 0},
            {notAPicture, 0, 0},
            {m_dir.path(), 0, 0}, // a folder
            {QString(), 0, 0},
        };
        for (const Case& c : cases) {
            p.setParameter(QStringLiteral("Logo"), c.logo);
            const QString pdf = output(QStringLiteral("logo.pdf"));
            p.setOutputFile(pdf);
            p.execute();
            QVERIFY2(pdfText(pdf).contains(QStringLiteral("Dopo il logo")), qPrintable(c.logo));
            const QStringList images = pdfImages(pdf);
            QCOMPARE(images.size(), c.images);
            if (c.images) {
                // page num type width height color comp bpc enc interp object ID x-ppi y-ppi
                const QStringList f = images.first().split(QLatin1Char(' '), Qt::SkipEmptyParts);
                const double widthMm = f.at(3).toDouble() / f.at(12).toDouble() * 25.4;
                const double heightMm = f.at(4).toDouble() / f.at(13).toDouble() * 25.4;
                QVERIFY2(qAbs(widthMm - c.widthMm) < 1, qPrintable(QString::number(widthMm)));
                QVERIFY(qAbs(widthMm / heightMm - 1.0 * (c.logo == wide ? 5 : 2)) < 0.2);
                QVERIFY(f.at(3).toInt() <= 620); // kept at print resolution, not as scanned
            }
        }
    }

    void longTableRepeatsItsHeaderAndNumbersPages()
    {
        Project p;
        p.setProjectFile(project(QStringLiteral("long.rav"), longTable));
        p.setDataView(QStringLiteral("Righe"), credits(60));
        const QString pdf = output(QStringLiteral("long.pdf"));
        p.setOutputFile(pdf);
        p.execute();
        const int pages = pdfPages(pdf);
        QVERIFY(pages >= 2);
        qsizetype seen = 0;
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(pdf, page);
            QVERIFY2(text.contains(QStringLiteral("Pagina %1 di %2").arg(page).arg(pages)), qPrintable(text));
            QCOMPARE(text.count(QStringLiteral("Documento N°")), 1);
            seen += text.count(QStringLiteral("€ 22,24"));
        }
        QCOMPARE(seen, 60);
        const QString all = pdfText(pdf);
        for (int i = 2; i <= 60; ++i)
            QVERIFY(all.indexOf(QStringLiteral("F%1").arg(i, 3, 10, QLatin1Char('0'))) >
                    all.indexOf(QStringLiteral("F%1").arg(i - 1, 3, 10, QLatin1Char('0'))));

        // The same pages on any paged device, whatever margins it came with.
        QPdfWriter device(output(QStringLiteral("device.pdf")));
        device.setPageMargins(QMarginsF(30, 30, 30, 30), QPageLayout::Millimeter);
        p.print(&device);
        QCOMPARE(pdfPages(output(QStringLiteral("device.pdf"))), pages);
        const QPointF onDevice = wordPosition(output(QStringLiteral("device.pdf")), QStringLiteral("F001"));
        const QPointF inPdf = wordPosition(pdf, QStringLiteral("F001"));
        QVERIFY2((onDevice - inPdf).manhattanLength() < 0.2,
                 qPrintable(QStringLiteral("%1,%2").arg(onDevice.x()).arg(onDevice.y())));
    }

    void editedProjectIsReadAgain()
    {
        const QString path = project(QStringLiteral("edit.rav"), "<p>prima versione</p>");
        Project p;
        p.setProjectFile(path);
        QVERIFY(p.renderHtml().contains(QStringLiteral("prima")));
        writeFile(path, "<p>seconda versione</p>");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        f.close();
        Project q;
        q.setProjectFile(path);
        QVERIFY(q.renderHtml().contains(QStringLiteral("seconda")));
    }

    void letterForOneDocument()
    {
        Project p;
        p.setProjectFile(programProject(QStringLiteral("Sollecito.rav")));
        setLetterParameters(p, QStringLiteral(SZ_PROGRAM_DIR "/Logo/logo.bmp"));
        p.setParameter(QStringLiteral("NumeroFattura"), QStringLiteral("2026/118"));
        p.setParameter(QStringLiteral("DataFattura"), QStringLiteral("15/09/2026"));
        p.setParameter(QStringLiteral("ScadenzaFattura"), QStringLiteral("15/10/2026"));
        p.setParameter(QStringLiteral("DestinatarioFattura"), QStringLiteral("Bianchi & Figli <Srl>"));
        p.setParameter(QStringLiteral("ImportoFattura"), QStringLiteral("€ 1.334,50"));
        p.setParameter(QStringLiteral("Residuo"), QStringLiteral("€ 1.234,56"));
        p.setDataView(QStringLiteral("RvDataSetConnection1"), banks(1));
        const QString pdf = output(QStringLiteral("sollecito.pdf"));
        p.setOutputFile(pdf);
        p.execute();

        QCOMPARE(pdfPages(pdf), 1);
        QCOMPARE(pdfImages(pdf).size(), 1);
        const QString text = pdfText(pdf);
        for (const QString& s :
             {QStringLiteral("Ferramenta Colombo & C. S.n.c."), QStringLiteral("20121 Milano (MI)"),
              QStringLiteral("Tel. 02 8765432 - Cell.: 333 1234567 - Fax: 02 8765433"),
              QStringLiteral("Bianchi & Figli <Srl>"), QStringLiteral("Alla c.a.: Mario Rossi"),
              QStringLiteral("Ufficio amministrazione\nVia dell'Artigianato, 4/B\n24020 Gorle (BG)"),
              QStringLiteral("Milano, lì 07/12/2026"), QStringLiteral("Oggetto: 1° sollecito di pagamento"),
              QStringLiteral("Documento N°"), QStringLiteral("€ 1.334,50"), QStringLiteral("€ 1.234,56"),
              QStringLiteral("Così à è ì ò ù: l'ufficio è a disposizione."),
              QStringLiteral("Coordinate bancarie per il pagamento"), QStringLiteral("Filiale 1"),
              QStringLiteral("IT60X0542811101000000000001"), QStringLiteral("Distinti saluti"),
              QStringLiteral("Rag. Lucia Bernasconi"), QStringLiteral("P.IVA 01234567890"),
              QStringLiteral("C.F. CLMLCU70A41F205X")})
            QVERIFY2(text.contains(s), qPrintable(s + QStringLiteral(" in:\n") + text));
        QVERIFY(!text.contains(QStringLiteral("Pagina")));

        // The addressee shows through the window of a DL envelope (window on the right).
        const QPointF addressee = wordPosition(pdf, QStringLiteral("Spett.le"));
        const QPointF lastLine = wordPosition(pdf, QStringLiteral("Gorle"));
        QVERIFY2(addressee.x() >= 100 && addressee.x() <= 120 && addressee.y() >= 50,
                 qPrintable(QString::number(addressee.y())));
        QVERIFY2(lastLine.y() <= 90, qPrintable(QString::number(lastLine.y())));
        // The footer sits below the text, near the bottom edge.
        QVERIFY(wordPosition(pdf, QStringLiteral("P.IVA")).y() > 270);

        // No bank on file: no bank block at all.
        p.setDataView(QStringLiteral("RvDataSetConnection1"), {});
        p.execute();
        QVERIFY(!pdfText(pdf).contains(QStringLiteral("Coordinate bancarie")));
    }

    void statementOfAccountOverSeveralPages()
    {
        Project p;
        p.setProjectFile(programProject(QStringLiteral("Sollecito_generico.rav")));
        setLetterParameters(p, QStringLiteral("/non/esiste/logo.bmp"));
        p.setParameter(QStringLiteral("Oggetto"), QStringLiteral("Estratto conto"));
        p.setParameter(QStringLiteral("TotaleImporto"), QStringLiteral("€ 1.334,40"));
        p.setDataView(QStringLiteral("RvDataSetConnection1"), banks(3));
        p.setDataView(QStringLiteral("RvDataSetConnection2"), credits(60));
        const QString pdf = output(QStringLiteral("estratto.pdf"));
        p.setOutputFile(pdf);
        p.execute();

        const int pages = pdfPages(pdf);
        QVERIFY(pages >= 2);
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(pdf, page);
            QVERIFY2(text.contains(QStringLiteral("Pagina %1 di %2").arg(page).arg(pages)), qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("P.IVA 01234567890")));
        }
        const QString second = pdfText(pdf, 2);
        // Headings may wrap inside their column: looked for word by word.
        for (const QString& heading :
             {QStringLiteral("Documento"), QStringLiteral("N°"), QStringLiteral("Scadenza"),
              QStringLiteral("Destinatario"), QStringLiteral("Importo"), QStringLiteral("Residuo"),
              QStringLiteral("Comunicazione")})
            QVERIFY2(second.contains(heading), qPrintable(heading + QStringLiteral(" in:\n") + second));
        const QString text = pdfText(pdf);
        QCOMPARE(text.count(QStringLiteral("€ 22,24")), 60);
        QCOMPARE(text.count(QStringLiteral("IN SOFFERENZA")), 30);
        QVERIFY(text.contains(QStringLiteral("TOTALE DA PAGARE")));
        QVERIFY(text.contains(QStringLiteral("€ 1.334,40")));
        QVERIFY(text.indexOf(QStringLiteral("Banca 1")) < text.indexOf(QStringLiteral("Banca 3")));
        QVERIFY(text.contains(QStringLiteral("IT60X0542811101000000000003")));
        QVERIFY(text.indexOf(QStringLiteral("F059")) < text.indexOf(QStringLiteral("F060")));
        QVERIFY(pdfImages(pdf).isEmpty());
    }

    // A run prints hundreds of letters: the engine may cost little beyond Qt's own work.
    void engineCostsLittleMoreThanABareRender()
    {
        Project p;
        p.setProjectFile(programProject(QStringLiteral("Sollecito.rav")));
        setLetterParameters(p, QStringLiteral(SZ_PROGRAM_DIR "/Logo/logo.bmp"));
        p.setDataView(QStringLiteral("RvDataSetConnection1"), banks(1));
        const QString html = p.renderHtml();
        const QString pdf = output(QStringLiteral("tempo.pdf"));
        p.setOutputFile(pdf);

        auto bare = [&] {
            QPdfWriter writer(pdf);
            writer.setResolution(300);
            writer.setPageSize(QPageSize(QPageSize::A4));
            QTextDocument doc;
            doc.documentLayout()->setPaintDevice(&writer);
            doc.setDocumentMargin(0);
            doc.setPageSize(writer.pageLayout().paintRectPixels(300).size());
            doc.setHtml(html);
            QPainter painter(&writer);
            doc.drawContents(&painter);
        };
        auto median = [](const std::function<void()>& fn) {
            QList<qint64> times;
            for (int i = 0; i < 9; ++i) {
                QElapsedTimer t;
                t.start();
                fn();
                times.append(t.nsecsElapsed());
            }
            std::sort(times.begin(), times.end());
            return double(times.at(times.size() / 2));
        };
        bare();
        p.execute();
        const double bareNs = median(bare);
        const double engineNs = median([&] { p.execute(); });
        qInfo("per letter: bare render %.1f ms, engine %.1f ms", bareNs / 1e6, engineNs / 1e6);
        QVERIFY2(engineNs <= 2 * bareNs, qPrintable(QString::number(engineNs / bareNs)));
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
