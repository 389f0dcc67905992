// The report engine and the letters it ships, read back from the PDF as a viewer (or a
// copy and paste) reads them.
#include "TestEnv.h"

#include "scadenzio/Error.h"
#include "scadenzio/report/Letterhead.h"
#include "scadenzio/report/Report.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
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
        return "<" + program + " failed: " + QString::fromUtf8(p.readAllStandardError()) + ">";
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Text of the PDF, or of one page of it.
QString pdfText(const QString& pdf, int page = 0)
{
    const QString n = QString::number(page);
    return run("pdftotext", (page ? QStringList{"-f", n, "-l", n} : QStringList{}) << pdf << "-");
}

int pdfPages(const QString& pdf)
{
    return QRegularExpression("Pages:\\s+(\\d+)").match(run("pdfinfo", {pdf})).captured(1).toInt();
}

// Rows of "pdfimages -list": page num type width height color comp bpc enc interp object ID x-ppi y-ppi ...
QList<QStringList> pdfImages(const QString& pdf)
{
    QList<QStringList> rows;
    for (const QString& line : run("pdfimages", {"-list", pdf}).split('\n', Qt::SkipEmptyParts).mid(2))
        rows.append(line.split(' ', Qt::SkipEmptyParts));
    return rows;
}

// Top-left corner of the first such word, in mm from the paper's corner.
QPointF wordAt(const QString& pdf, const QString& word)
{
    const QRegularExpressionMatch m = QRegularExpression("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\"[^>]*>" +
                                                         QRegularExpression::escape(word) + "</word>")
                                          .match(run("pdftotext", {"-bbox", pdf, "-"}));
    return m.hasMatch() ? QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()) * (25.4 / 72)
                        : QPointF(-1, -1);
}

// The box of the first such word on a page, in mm from the paper's top-left corner.
QRectF wordBox(const QString& pdf, int page, const QString& word)
{
    const QString n = QString::number(page);
    const QRegularExpressionMatch m =
        QRegularExpression("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">" +
                           QRegularExpression::escape(word) + "</word>")
            .match(run("pdftotext", {"-bbox", "-f", n, "-l", n, pdf, "-"}));
    if (!m.hasMatch()) return {};
    const double mm = 25.4 / 72;
    return QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()) * mm,
                  QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()) * mm);
}

QString writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
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
    const char* values[][2] = {
        {"RagioneSocialeUtente", "Ferramenta Colombo & C. S.n.c."},
        {"IndirizzoUtente", "Via Garibaldi, 12"},
        {"CapUtente", "20121"},
        {"LocalitaUtente", "Milano"},
        {"ProvinciaUtente", "MI"},
        {"ReferenteUtente", "Rag. Lucia Bernasconi"},
        {"TelefonoUtente", "02 8765432"},
        {"CellUtente", " - Cell.: 333 1234567"},
        {"FaxUtente", " - Fax: 02 8765433"},
        {"MailUtente", "amministrazione@colombo.it"},
        {"IvaUtente", "01234567890"},
        {"CFUtente", "CLMLCU70A41F205X"},
        {"RagioneSociale", "Bianchi & Figli <Srl>"},
        {"Referente", "Alla c.a.: Mario Rossi"},
        {"IntestazioneCliente", "Ufficio amministrazione\rVia dell'Artigianato, 4/B\r24020 Gorle (BG)"},
        {"IndirizzoCliente", "Ufficio amministrazione\rVia dell'Artigianato, 4/B\r24020 Gorle (BG)"},
        {"ContattiCliente", "P.IVA: 09876543210"},
        {"LuogoData", "Milano, lì 07/12/2026"},
        {"Oggetto", "1° sollecito di pagamento"},
        {"Introduzione", "Spettabile cliente,\r\nla fattura sotto indicata non è ancora saldata."},
        {"Finale", "Così à è ì ò ù: l'ufficio è a disposizione.\r\nGrazie."}};
    for (const auto& v : values)
        p.setParameter(v[0], v[1]);
    p.setParameter("Logo", logo);
}

DataView banks(int count)
{
    DataView rows;
    for (int i = 1; i <= count; ++i)
        rows.append({{"nome", QString("Banca %1").arg(i)},
                     {"agenzia", QString("Filiale %1").arg(i)},
                     {"IBAN", QString("IT60X05428111010000000%1").arg(i, 5, 10, QChar('0'))}});
    return rows;
}

DataView credits(int count)
{
    DataView rows;
    for (int i = 1; i <= count; ++i)
        rows.append({{"NumeroFattura", QString("F%1").arg(i, 3, 10, QChar('0'))},
                     {"DataFattura", "15/09/2026"},
                     {"Scadenza", "15/10/2026"},
                     {"DestinatarioFattura", "Bianchi & Figli <Srl>"},
                     {"ImportoParziale", "€ 1.234,56"},
                     {"ImportoResiduo", "€ 22,24"},
                     {"Comunicazione", i % 2 ? "1° SOLLECITO" : "IN SOFFERENZA"},
                     {"IDCliente", "7"}});
    return rows;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString project(const QString& name, const QByteArray& content)
    {
        return writeFile(m_dir.filePath(name), content);
    }
    QString output(const QString& name) const { return m_dir.filePath("out/" + name); }
    QString execute(Project& p, const QString& name)
    {
        p.setOutputFile(output(name));
        p.execute();
        return output(name);
    }

private slots:
    void valuesPrintAsTyped()
    {
        Project p;
        p.setProjectFile(project("escape.rav", "<p>A: {{Cliente}}</p><p>B: {{{Cliente}}}</p><p>{{Righe}}</p>"
                                               "{{#Vista}}<p>Riga: {{campo}}</p>{{/Vista}}"));
        p.setParameter("Cliente", "Bianchi & Figli <Srl> \"quotati\"");
        p.setParameter("Righe", "uno\r\ndue\rtre\nquattro\r\n\r\nsei");
        p.setDataView("Vista", {{{"campo", "<b>non grassetto</b>"}}});
        const QString html = p.renderHtml();
        QCOMPARE(html.count("Bianchi &amp; Figli &lt;Srl&gt; &quot;quotati&quot;"), 2);
        QVERIFY(html.contains("uno<br />due<br />tre<br />quattro<br /><br />sei"));

        const QString text = pdfText(execute(p, "escape.pdf"));
        QVERIFY2(text.contains("A: Bianchi & Figli <Srl> \"quotati\""), qPrintable(text));
        QVERIFY(text.contains("B: Bianchi & Figli <Srl>"));
        QVERIFY(text.contains("uno\ndue\ntre\nquattro\n"));
        QVERIFY(text.contains("Riga: <b>non grassetto</b>"));
    }

    void tagsAndDataViews()
    {
        Project p;
        p.setProjectFile(project(
            "tags.rav",
            "<p>[{{NonImpostato}}]</p>{{#Vuoto}}NASCOSTO{{/Vuoto}}{{^Vuoto}}senza{{/Vuoto}}"
            "{{#ConRighe.Banche}}<h3>Banche</h3>{{/ConRighe.Banche}}"
            "{{#Banche}}<p>{{nome}} per {{Cliente}}{{#agenzia}} ({{agenzia}}){{/agenzia}}</p>{{/Banche}}"
            "{{#ConRighe.Vuota}}MAI{{/ConRighe.Vuota}}{{^ConRighe.Vuota}}nessun credito{{/ConRighe.Vuota}}"
            "{{^ConRighe.Assente}}nessuna vista{{/ConRighe.Assente}}"));
        p.setParameter("NonUsato", "qualcosa");
        p.setParameter("Vuoto", "");
        p.setParameter("Cliente", "Rossi");
        p.setDataView("Banche", {{{"nome", "Zeta"}, {"agenzia", "Ag. 1"}},
                                 {{"nome", "Alfa"}},
                                 {{"nome", "Mu"}, {"agenzia", ""}}});
        p.setDataView("Vuota", {});
        const QString html = p.renderHtml();
        QVERIFY(html.contains("<p>[]</p>"));
        QVERIFY(!html.contains("NASCOSTO") && html.contains("senza"));
        QVERIFY(!html.contains("qualcosa"));
        QCOMPARE(html.count("<h3>Banche</h3>"), 1);
        const qsizetype z = html.indexOf("Zeta per Rossi (Ag. 1)"), a = html.indexOf("Alfa per Rossi</p>"),
                        m = html.indexOf("Mu per Rossi</p>");
        QVERIFY(z >= 0 && a > z && m > a);
        QVERIFY(!html.contains("MAI") && html.contains("nessun credito") && html.contains("nessuna vista"));

        // close() forgets the values, not the project.
        p.close();
        QVERIFY(!p.renderHtml().contains("Zeta") && p.renderHtml().contains("nessuna vista"));
    }

    void projectErrorsNameTheFileAndTheLine()
    {
        const QString missing = m_dir.filePath("RaveReport/Sollecito.rav");
        Project p;
        QCOMPARE(errorOf([&] { p.setProjectFile(missing); }),
                 QString("Il modello di stampa \"%1\" non esiste.").arg(QDir::toNativeSeparators(missing)));
        QCOMPARE(errorOf([&] { p.execute(); }),
                 "Nessun modello di stampa impostato: impossibile preparare la stampa.");

        const QString unclosed =
            project("unclosed.rav", "<!--\nfont: DejaVu Sans 9\n-->\n<p>a</p>\n{{#Banche}}\n<p>b</p>\n");
        QCOMPARE(
            errorOf([&] { p.setProjectFile(unclosed); }),
            QString("Il modello di stampa \"%1\" non è valido: riga 5: la sezione \"Banche\" non è chiusa.")
                .arg(unclosed));
        QVERIFY(errorOf([&] {
                    p.setProjectFile(project("key.rav", "<!--\npage: A4\nmargini: 10\n-->\n"));
                }).contains("riga 3: la voce \"margini\" non esiste"));
        // A failed set-up leaves no earlier project behind to print by mistake.
        QVERIFY(errorOf([&] { p.execute(); }).startsWith("Nessun modello di stampa impostato"));
    }

    void unwritableOutputLeavesNothing()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("file.txt"), "x");
        QDir().mkpath(dir.filePath("cartella.pdf"));
        const auto entries = [&] {
            return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        };
        const QStringList before = entries();

        Project p;
        p.setProjectFile(project("plain.rav", "<p>Lettera</p>"));
        p.setOutputFile(dir.filePath("file.txt/lettera.pdf"));
        QCOMPARE(errorOf([&] { p.execute(); }),
                 QString("Impossibile scrivere il file \"%1\": impossibile creare la cartella \"%2\".")
                     .arg(dir.filePath("file.txt/lettera.pdf"), dir.filePath("file.txt")));
        p.setOutputFile(dir.filePath("cartella.pdf"));
        QCOMPARE(errorOf([&] { p.execute(); }),
                 QString("Impossibile scrivere il file \"%1\": il percorso indica una cartella.")
                     .arg(dir.filePath("cartella.pdf")));
        QCOMPARE(entries(), before);
        QVERIFY(QDir(dir.filePath("cartella.pdf"))
                    .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    void picturesFitTheirBoxOrAreLeftOut()
    {
        const QString wide = m_dir.filePath("immagini/logo largo & stretto.bmp");
        const QString small = m_dir.filePath("immagini/piccolo.bmp");
        QDir().mkpath(m_dir.filePath("immagini"));
        QImage img(1000, 200, QImage::Format_RGB32);
        img.fill(Qt::darkBlue);
        QVERIFY(img.save(wide, "BMP") && img.scaled(40, 20).save(small, "BMP"));

        Project p;
        p.setProjectFile(project(
            "logo.rav", "<p><img src=\"{{Logo}}\" width=\"50mm\" height=\"22mm\"></p><p>Dopo il logo</p>"));
        const struct
        {
            QString logo;
            double widthMm, ratio;
        } cases[] = {
            {wide, 50.0, 5},            // shrunk into the box, proportions kept
            {small, 40 * 25.4 / 96, 2}, // never enlarged
            {m_dir.filePath("immagini/assente.bmp"), 0, 0},
            {writeFile(m_dir.filePath("immagini/finto.bmp"), "non sono un'immagine"), 0, 0},
            {QString(), 0, 0},
        };
        for (const auto& c : cases) {
            p.setParameter("Logo", c.logo);
            const QString pdf = execute(p, "logo.pdf");
            QVERIFY2(pdfText(pdf).contains("Dopo il logo"), qPrintable(c.logo));
            const QList<QStringList> images = pdfImages(pdf);
            QCOMPARE(images.size(), c.widthMm > 0 ? 1 : 0);
            if (images.isEmpty()) continue;
            const QStringList& f = images.first();
            const double widthMm = f[3].toDouble() / f[12].toDouble() * 25.4,
                         heightMm = f[4].toDouble() / f[13].toDouble() * 25.4;
            QVERIFY2(qAbs(widthMm - c.widthMm) < 1, qPrintable(QString::number(widthMm)));
            QVERIFY(qAbs(widthMm / heightMm - c.ratio) < 0.2);
            QVERIFY(f[3].toInt() <= 620); // kept at print resolution, not as scanned
        }
    }

    void longTableRepeatsItsHeaderOnNumberedPages()
    {
        Project p;
        p.setProjectFile(project("long.rav", R"(<!--
margins: 20 20 25 20
footer: <p align="right">Pagina {{Pagina}} di {{Pagine}}</p>
-->
<table width="100%"><thead><tr><td><b>Documento N°</b></td><td><b>Residuo</b></td></tr></thead>
{{#Righe}}<tr><td>{{NumeroFattura}}</td><td align="right">{{ImportoResiduo}}</td></tr>
{{/Righe}}</table>)"));
        p.setDataView("Righe", credits(60));
        const QString pdf = execute(p, "long.pdf");
        const int pages = pdfPages(pdf);
        QVERIFY(pages >= 2);
        qsizetype rows = 0;
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(pdf, page);
            QVERIFY2(text.contains(QString("Pagina %1 di %2").arg(page).arg(pages)), qPrintable(text));
            QCOMPARE(text.count("Documento N°"), 1);
            rows += text.count("€ 22,24");
        }
        QCOMPARE(rows, 60);

        // Any paged device gets the same pages, whatever margins it came with.
        QPdfWriter device(output("device.pdf"));
        device.setPageMargins(QMarginsF(30, 30, 30, 30), QPageLayout::Millimeter);
        p.print(&device);
        QCOMPARE(pdfPages(output("device.pdf")), pages);
        QVERIFY((wordAt(output("device.pdf"), "F001") - wordAt(pdf, "F001")).manhattanLength() < 0.2);
    }

    // Four different margins, each where it says: the first line under the top one, every
    // line from the left one, a right-aligned line up to the right one, and the text
    // turning the page at the bottom one, its footer 4 mm below.
    void fourMarginsEachInItsPlace()
    {
        const double alto = 11, destra = 23, basso = 37, sinistra = 51; // A4: 210 x 297 mm
        Project p;
        p.setProjectFile(project("margini.rav", R"(<!--
page: A4
margins: 11 23 37 51
font: DejaVu Sans 10
footer: <p>PIEDE</p>
-->
<p style="margin: 0">PRIMA linea</p>
<p align="right" style="margin: 0">DESTRA</p>
{{#Righe}}<p style="margin: 0">riga {{n}}</p>
{{/Righe}})"));
        DataView righe;
        for (int i = 1; i <= 120; ++i)
            righe.append({{"n", QString("N%1").arg(i, 3, 10, QChar('0'))}});
        p.setDataView("Righe", righe);
        const QString pdf = execute(p, "margini.pdf");
        QVERIFY(pdfPages(pdf) >= 2);

        const QRectF prima = wordBox(pdf, 1, "PRIMA");
        QVERIFY2(qAbs(prima.left() - sinistra) < 1.0, qPrintable(QString::number(prima.left())));
        QVERIFY2(qAbs(prima.top() - alto) < 1.5, qPrintable(QString::number(prima.top())));
        const QRectF dx = wordBox(pdf, 1, "DESTRA");
        QVERIFY2(qAbs(dx.right() - (210 - destra)) < 1.0, qPrintable(QString::number(dx.right())));
        QVERIFY2(qAbs(wordBox(pdf, 1, "riga").left() - sinistra) < 1.0,
                 qPrintable(QString::number(wordBox(pdf, 1, "riga").left())));

        // The last line of page 1 ends above the bottom margin, within a line of it; the
        // footer's top is 4 mm below the text area.
        QRectF ultima;
        for (int i = 1; i <= 120; ++i) {
            const QRectF b = wordBox(pdf, 1, QString("N%1").arg(i, 3, 10, QChar('0')));
            if (b.isNull()) break;
            ultima = b;
        }
        QVERIFY(!ultima.isNull());
        QVERIFY2(ultima.bottom() <= 297 - basso + 0.2, qPrintable(QString::number(ultima.bottom())));
        QVERIFY2(ultima.bottom() > 297 - basso - 6, qPrintable(QString::number(ultima.bottom())));
        const QRectF piede = wordBox(pdf, 1, "PIEDE");
        QVERIFY2(qAbs(piede.top() - (297 - basso + 4)) < 1.5, qPrintable(QString::number(piede.top())));
        QVERIFY2(qAbs(piede.left() - sinistra) < 1.0, qPrintable(QString::number(piede.left())));
        // A line at the turn of the page is on one page only, as a copy of the text reads it.
        const QString tutto = pdfText(pdf);
        for (int i = 1; i <= 120; ++i)
            QCOMPARE(tutto.count(QString("N%1").arg(i, 3, 10, QChar('0'))), 1);
        // The next page starts under the same top margin.
        const QRectF seconda = wordBox(pdf, 2, "riga");
        QVERIFY2(qAbs(seconda.top() - alto) < 1.5, qPrintable(QString::number(seconda.top())));
    }

    void editedProjectIsReadAgain()
    {
        const QString path = project("edit.rav", "<p>prima versione</p>");
        Project p;
        p.setProjectFile(path);
        QVERIFY(p.renderHtml().contains("prima"));
        writeFile(path, "<p>seconda versione</p>");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite) &&
                f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        f.close();
        p.setProjectFile(path);
        QVERIFY(p.renderHtml().contains("seconda"));
    }

    // The addressee split for a window envelope: postal lines in it, contacts below, a mail
    // address wrapping only after "@" or "."; IBANs in groups of four, anything else as it came.
    void addresseeAndIban()
    {
        using namespace sz::report;
        const Values cliente{{QStringLiteral("Indirizzo"), QStringLiteral("VIA ROMA 1")},
                             {QStringLiteral("CAP"), QStringLiteral("20100")},
                             {QStringLiteral("Localita"), QStringLiteral("MILANO")},
                             {QStringLiteral("Provincia"), QStringLiteral("MI")},
                             {QStringLiteral("IVA"), QStringLiteral("01234567890")},
                             {QStringLiteral("Mail1"), QStringLiteral("a.b@x-y.it")}};
        QCOMPARE(addresseeAddress(cliente), QStringLiteral("VIA ROMA 1\r20100 MILANO (MI)"));
        QCOMPARE(addresseeContacts(cliente),
                 QStringLiteral("P.IVA:\u00A001234567890\rMail\u00A0#1:\u00A0a.\u200Bb@\u200Bx-\u2060y.\u200Bit"));
        // Below the window in as few lines as they go: tax codes, telephones, each mail.
        Values tutti = cliente;
        tutti.insert(QStringLiteral("CF"), QStringLiteral("RSSMRA80A01F205X"));
        tutti.insert(QStringLiteral("Telefono"), QStringLiteral("02 1234"));
        tutti.insert(QStringLiteral("Fax"), QStringLiteral("02 5678"));
        tutti.insert(QStringLiteral("Mail3"), QStringLiteral("c@d.it"));
        const QString gap = QStringLiteral("\u00A0\u00A0\u00A0 ");
        QCOMPARE(addresseeContacts(tutti).split(QChar(13)),
                 QStringList({QStringLiteral("C.F.:\u00A0RSSMRA80A01F205X") + gap + QStringLiteral("P.IVA:\u00A001234567890"),
                              QStringLiteral("Tel.:\u00A002\u00A01234") + gap + QStringLiteral("Fax:\u00A002\u00A05678"),
                              QStringLiteral("Mail\u00A0#1:\u00A0a.\u200Bb@\u200Bx-\u2060y.\u200Bit"),
                              QStringLiteral("Mail\u00A0#3:\u00A0c@\u200Bd.\u200Bit")}));
        // Without a whole address no postal line at all, as the full block has it.
        Values senza = cliente;
        senza.remove(QStringLiteral("CAP"));
        QVERIFY(addresseeAddress(senza).isEmpty());
        QCOMPARE(addresseeBlock(cliente), QStringLiteral("VIA ROMA 1\r20100 MILANO (MI)\rP.IVA: 01234567890\r"
                                                         "Mail #1: a.b@x-y.it"));

        QCOMPARE(ibanInGroups(QStringLiteral("IT60X0542811101000000123456")),
                 QStringLiteral("IT60 X054 2811 1010 0000 0123 456"));
        QCOMPARE(ibanInGroups(QStringLiteral(" it60 x054 28111010000 00123456 ")),
                 QStringLiteral("IT60 X054 2811 1010 0000 0123 456"));
        QCOMPARE(ibanInGroups(QStringLiteral("vedi contratto n. 4")), QStringLiteral("vedi contratto n. 4"));
        QCOMPARE(ibanInGroups(QString()), QString());
        const DataView banche = withIbanGroups({{{QStringLiteral("nome"), QStringLiteral("B")},
                                                 {QStringLiteral("IBAN"), QStringLiteral("DE89370400440532013000")}}});
        QCOMPARE(banche[0].value(QStringLiteral("IBAN")), QStringLiteral("DE89 3704 0044 0532 0130 00"));
    }

    void letterForOneDocument()
    {
        Project p;
        p.setProjectFile(SZ_PROGRAM_DIR "/RaveReport/Sollecito.rav");
        setLetterParameters(p, SZ_PROGRAM_DIR "/Logo/logo.bmp");
        const char* document[][2] = {
            {"NumeroFattura", "2026/118"},     {"DataFattura", "15/09/2026"},
            {"ScadenzaFattura", "15/10/2026"}, {"DestinatarioFattura", "Bianchi & Figli <Srl>"},
            {"ImportoFattura", "€ 1.334,50"},  {"Residuo", "€ 1.234,56"}};
        for (const auto& v : document)
            p.setParameter(v[0], v[1]);
        p.setDataView("RvDataSetConnection1", banks(1));
        const QString pdf = execute(p, "sollecito.pdf");

        QCOMPARE(pdfPages(pdf), 1);
        // The logo the program ships is blank: a firm that chose none prints none.
        QCOMPARE(pdfImages(pdf).size(), 0);
        const QString text = pdfText(pdf);
        for (const char* s :
             {"Tel. 02 8765432 - Cell.: 333 1234567 - Fax: 02 8765433", "Bianchi & Figli <Srl>",
              "Ufficio amministrazione\nVia dell'Artigianato, 4/B\n24020 Gorle (BG)", "Milano, lì 07/12/2026",
              "Oggetto: 1° sollecito di pagamento", "€ 1.334,50",
              "Così à è ì ò ù: l'ufficio è a disposizione.", "Coordinate bancarie per il pagamento",
              "IT60X0542811101000000000001", "Rag. Lucia Bernasconi", "P.IVA 01234567890",
              "C.F. CLMLCU70A41F205X"})
            QVERIFY2(text.contains(s), qPrintable(QString(s) + " in:\n" + text));
        QVERIFY(!text.contains("Pagina"));

        // The addressee shows through the window of a DL envelope with its window on the right.
        QVERIFY(wordAt(pdf, "Spett.le").x() > 100 && wordAt(pdf, "Spett.le").y() > 50 &&
                wordAt(pdf, "Gorle").y() < 90);
        QVERIFY(wordAt(pdf, "P.IVA").y() > 270);

        p.setDataView("RvDataSetConnection1", {});
        QVERIFY(!pdfText(execute(p, "sollecito.pdf")).contains("Coordinate bancarie"));
    }

    void statementOfAccountOverSeveralPages()
    {
        Project p;
        p.setProjectFile(SZ_PROGRAM_DIR "/RaveReport/Sollecito_generico.rav");
        setLetterParameters(p, "/non/esiste/logo.bmp");
        p.setParameter("TotaleImporto", "€ 1.334,40");
        p.setDataView("RvDataSetConnection1", banks(3));
        p.setDataView("RvDataSetConnection2", credits(60));
        const QString pdf = execute(p, "estratto.pdf");

        const int pages = pdfPages(pdf);
        QVERIFY(pages >= 2);
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(pdf, page);
            QVERIFY(text.contains("P.IVA 01234567890") &&
                    text.contains(QString("Pagina %1 di %2").arg(page).arg(pages)));
        }
        // Headings may wrap inside their column: looked for word by word.
        const QString second = pdfText(pdf, 2);
        for (const char* heading :
             {"Documento", "N°", "Scadenza", "Destinatario", "Importo", "Residuo", "Comunicazione"})
            QVERIFY2(second.contains(heading), heading);
        const QString text = pdfText(pdf);
        QCOMPARE(text.count("€ 22,24"), 60);
        for (int i = 2; i <= 60; ++i)
            QVERIFY(text.indexOf(QString("F%1").arg(i, 3, 10, QChar('0'))) >
                    text.indexOf(QString("F%1").arg(i - 1, 3, 10, QChar('0'))));
        QVERIFY(text.contains("TOTALE DA PAGARE") && text.contains("€ 1.334,40"));
        QVERIFY(text.indexOf("Banca 1") < text.indexOf("Banca 3") &&
                text.contains("IT60X0542811101000000000003"));
        QVERIFY(pdfImages(pdf).isEmpty());
    }

    // A run prints hundreds of letters: the engine may add little to Qt's own work.
    void engineCostsLittleMoreThanABareRender()
    {
        Project p;
        p.setProjectFile(SZ_PROGRAM_DIR "/RaveReport/Sollecito.rav");
        setLetterParameters(p, SZ_PROGRAM_DIR "/Logo/logo.bmp");
        p.setDataView("RvDataSetConnection1", banks(1));
        const QString html = p.renderHtml();
        const auto bare = [&] {
            QPdfWriter writer(output("tempo.pdf"));
            writer.setResolution(300);
            QTextDocument doc;
            doc.documentLayout()->setPaintDevice(&writer);
            doc.setDocumentMargin(0);
            doc.setPageSize(writer.pageLayout().paintRectPixels(300).size());
            doc.setHtml(html);
            QPainter painter(&writer);
            doc.drawContents(&painter);
        };
        // Taken in turns, so that the load of a busy machine weighs on both alike.
        QList<qint64> bareTimes, engineTimes;
        for (int i = 0; i < 9; ++i) {
            QElapsedTimer t;
            t.start();
            bare();
            bareTimes.append(t.nsecsElapsed());
            t.start();
            execute(p, "tempo.pdf");
            engineTimes.append(t.nsecsElapsed());
        }
        const auto median = [](QList<qint64> times) {
            std::sort(times.begin(), times.end());
            return double(times[4]) / 1e6;
        };
        const double bareMs = median(bareTimes), engineMs = median(engineTimes);
        qInfo("per letter: bare render %.1f ms, engine %.1f ms", bareMs, engineMs);
        QVERIFY(engineMs <= 2 * bareMs);
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
