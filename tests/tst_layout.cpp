// How letters look once laid out: the document's title, and pictures that carry nothing.

#include "TestEnv.h"

#include "scadenzio/report/Letterhead.h"
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

struct Word
{
    QString text;
    QRectF mm; // from the paper's top-left corner
};

// The words of one page in the order the PDF holds them, each with its box.
QList<Word> pageWords(const QString& pdf, int page)
{
    static const QRegularExpression word(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    const QString n = QString::number(page);
    const double mm = 25.4 / 72;
    QList<Word> words;
    for (auto it = word.globalMatch(run("pdftotext", {"-bbox", "-f", n, "-l", n, pdf, "-"})); it.hasNext();) {
        const auto m = it.next();
        QString text = m.captured(5);
        text.replace("&amp;", "&").replace("&apos;", "'").replace("&quot;", "\"").replace("&lt;", "<").replace("&gt;", ">");
        words.append({text.remove(QChar(0x200B)).remove(QChar(0x2060)),
                      QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()) * mm,
                             QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()) * mm)});
    }
    return words;
}

// The sender, the addressee and the texts of a letter from both shipped templates.
void setLetter(Project& p)
{
    const char* values[][2] = {
        {"RagioneSocialeUtente", "ARTIGIANA VENETA DI FERRARI & FIGLI SNC"},
        {"IndirizzoUtente", "VIA DELL'ARTIGIANATO 12"},
        {"CapUtente", "35100"},
        {"LocalitaUtente", "PADOVA"},
        {"ProvinciaUtente", "PD"},
        {"ReferenteUtente", "Rag. Lucia Ferrari"},
        {"TelefonoUtente", "049 123456"},
        {"MailUtente", "amministrazione@artigianaveneta.it"},
        {"IvaUtente", "01987654321"},
        {"RagioneSociale", "ROSSI SRL"},
        {"Referente", "Alla c.a.: Mario Bianchi"},
        {"IndirizzoCliente", "VIA ROMA 1\r20100 MILANO (MI)"},
        {"ContattiCliente", "C.F.: 01234567890   P.IVA: 01234567890\rTel.: 049 9999999   Fax: 049 8888888\r"
                            "Mail #1: info@rossi.it"},
        {"LuogoData", "PADOVA, lì 08/12/2026"},
        {"Oggetto", "CREDITO IN SOFFERENZA"},
        {"Introduzione", "Gentile Cliente,\r\nmalgrado le nostre precedenti comunicazioni, a oggi, la fattura "
                         "sottoindicata non risulta saldata:"},
        // The longest closing the firm ships.
        {"Finale", "Vi preghiamo di procedere, entro massimo 3 giorni, al pagamento della fattura. Nel caso abbiate "
                   "già provveduto al saldo di quanto dovuto, vi preghiamo di inviarci copia della contabile di "
                   "pagamento per poter effettuare le opportune verifiche.\r\nEssendo già state inviate svariate "
                   "comunicazioni, in caso di ulteriore mancato pagamento, avvieremo immediatamente la procedura di "
                   "MESSA IN MORA, con aggravio di spese per interessi e onorari a Vs. carico come previsto dalle "
                   "vigenti normative.\r\nRestiamo a Vs. disposizione per qualsiasi chiarimento, certi della "
                   "migliore attenzione che vorrete riservare alla presente.\r\nDistinti saluti ULTIMERIGHE"},
        {"NumeroFattura", "2025/88"},
        {"DataFattura", "15/05/2025"},
        {"ScadenzaFattura", "15/06/2025"},
        {"DestinatarioFattura", "ROSSI SRL"},
        {"ImportoFattura", "€ 10.000,00"},
        {"Residuo", "€ 10.000,00"},
        {"TotaleImporto", "€ 10.000,00"}};
    for (const auto& v : values)
        p.setParameter(v[0], v[1]);
    p.setDataView("RvDataSetConnection1",
                  {{{"nome", "BANCA DI CREDITO COOPERATIVO DI PADOVA E ROVIGO"},
                    {"agenzia", "AGENZIA 3 - PADOVA CENTRO"},
                    {"IBAN", "IT60 X054 2811 1010 0000 0123 456"}}});
}

// The block of late-payment interest on one document, with the € 40 and the date to pay by.
void setInterest(Project& p)
{
    const char* values[][2] = {
        {"ConInteressi", "SI"},
        {"DataInteressi", "08/12/2026"},
        {"Indennizzo", "€ 40,00"},
        {"TotaleDovuto", "€ 11.548,53"},
        {"DataTermine", "23/12/2026"},
        {"ClausolaInteressi",
         "Sull'importo scaduto decorrono, dal giorno successivo alla scadenza e senza necessità di costituzione in "
         "mora, gli interessi moratori ai sensi degli artt. 4 e 5 del D.Lgs. 9 ottobre 2002 n. 231, come modificato "
         "dal D.Lgs. 9 novembre 2012 n. 192, al tasso di riferimento della BCE maggiorato di 8 punti percentuali, "
         "oltre all'importo forfettario di € 40,00 per ciascuna fattura ai sensi dell'art. 6, comma 2, salvo il "
         "maggior danno."}};
    for (const auto& v : values)
        p.setParameter(v[0], v[1]);
    p.setDataView("RvInteressi",
                  {{{"NumeroFattura", "2025/88"},
                    {"DataFattura", "15/05/2025"},
                    {"Scadenza", "15/06/2025"},
                    {"Residuo", "€ 10.000,00"},
                    {"Interessi", "€ 1.508,53"},
                    {"TassiApplicati", "11,15 % dal 16/06/2025 al 30/06/2025; 10,15 % dal 01/07/2025 al 31/12/2025; "
                                       "10,00 % dal 01/01/2026 al 30/06/2026; 9,90 % dal 01/07/2026 al 08/12/2026"}}});
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

    // An amount is read whole: "€" never ends a line whose number starts the next one, in a
    // table cell as in running text, and neither does a rate part from its "%".
    void amountsAreNeverSplit()
    {
        Project letter;
        letter.setProjectFile(SZ_PROGRAM_DIR "/RaveReport/Sollecito.rav");
        setLetter(letter);
        setInterest(letter);
        letter.setParameter("ImportoFattura", "€ 1.234.567,89");
        letter.setParameter("Residuo", "€ 1.234.567,89");
        letter.setParameter("TotaleDovuto", "€ 1.247.310,41");
        const QString layout = run("pdftotext", {"-layout", execute(letter, "importi.pdf"), "-"});
        QRegularExpression documentRow("2025/88 .*€ 1\\.234\\.567,89 .*€ 1\\.234\\.567,89");
        QVERIFY2(documentRow.match(layout).hasMatch(), qPrintable(layout));
        QVERIFY(layout.contains(QRegularExpression("TOTALE DOVUTO .*€ 1\\.247\\.310,41")));

        // Every length of the words before the amount, so that one of them would end a line at "€".
        QByteArray html = "<table width=\"32mm\"><tr><td>";
        for (int i = 1; i <= 24; ++i)
            html += "<p>{{T" + QByteArray::number(i) + "}}</p>";
        html += "</td></tr></table>";
        Project p;
        p.setProjectFile(project("testo.rav", html));
        for (int i = 1; i <= 24; ++i)
            p.setParameter("T" + QString::number(i),
                           QString("x").repeated(i) + " € 1.234,56 Z" + QString::number(i) + " " +
                               QString("y").repeated(i) + " 10,15 % W" + QString::number(i));
        const QString text = run("pdftotext", {"-layout", execute(p, "testo.pdf"), "-"});
        QCOMPARE(text.count("€ 1.234,56"), 24);
        QCOMPARE(text.count("10,15 %"), 24);
    }

    // A paragraph in small type just before a table keeps its line spacing to the last line:
    // the template's line break before the table does not make that line taller.
    void smallParagraphBeforeATable()
    {
        Project p;
        p.setProjectFile(project("piccolo.rav", "<p style=\"font-size: 7pt;\">{{Testo}}</p>\n\n"
                                                "<table><tr><td>tabella</td></tr></table>"));
        QStringList words;
        for (int i = 1; i <= 60; ++i)
            words << QString("parola%1").arg(i, 2, 10, QChar('0'));
        p.setParameter("Testo", words.join(' '));
        QList<double> tops;
        for (const Word& w : pageWords(execute(p, "piccolo.pdf"), 1))
            if (w.text.startsWith("parola") && (tops.isEmpty() || w.mm.top() > tops.last() + 0.5)) tops << w.mm.top();
        QVERIFY(tops.size() >= 3);
        for (int i = 2; i < tops.size(); ++i)
            QVERIFY2(qAbs((tops[i] - tops[i - 1]) - (tops[1] - tops[0])) < 0.1, qPrintable(QString::number(i)));
    }

    // A letter on one document, with the interest over four half-years, the € 40, the date to
    // pay by, the clause of the law, the longest closing the firm ships and a bank, is one
    // page, signature included; the addressee keeps to the envelope's window.
    void oneDocumentLetterOnOnePage()
    {
        Project p;
        p.setProjectFile(SZ_PROGRAM_DIR "/RaveReport/Sollecito.rav");
        setLetter(p);
        setInterest(p);
        const QString pdf = execute(p, "una_pagina.pdf");
        QCOMPARE(pdfPages(pdf), 1);
        const QString text = pdfText(pdf);
        for (const char* s : {"TOTALE DOVUTO", "entro il 23/12/2026", "IT60 X054 2811 1010 0000 0123 456",
                              "ULTIMERIGHE", "Rag. Lucia Ferrari"})
            QVERIFY2(text.contains(s), s);
    }

    // Name, person and address of the addressee show through the window of a DL envelope
    // (from 110 mm across, 50 to 95 mm down), however long they are: a long block is set in
    // smaller type. Tax code, telephones and mail addresses come below the window, and the
    // text of the letter after them.
    void addresseeKeepsToTheWindow()
    {
        const QString name = "COOPERATIVA SOCIALE AGRICOLA E DI SERVIZI INTEGRATI PER LO SVILUPPO SOSTENIBILE DEL "
                             "TERRITORIO DELLA BASSA PADOVANA S.C.";
        QCOMPARE(name.size(), 120);
        const QString mail1 = "amministrazione.contabilita.fornitori.ufficio-pagamenti@cooperativasociale-bassa.it",
                      mail2 = "maria.giovanna.dellacqua-bonaventura.responsabile@cooperativasociale-bassa.it",
                      mail3 = "posta.certificata.amministrazione@pec.cooperativasocialebassapadovana.it";
        sz::report::Values cliente{
            {"Indirizzo", "VIA DELLA REPUBBLICA PARTIGIANA DELL'OSSOLA, 123/B - ZONA INDUSTRIALE NORD, "
                          "CAPANNONE 14, SCALA C, INTERNO 7"},
            {"CAP", "35010"}, {"Localita", "SAN PIETRO IN GU"}, {"Provincia", "PD"},
            {"CF", "01234567890"}, {"IVA", "01234567890"}, {"Telefono", "049 9999999"},
            {"Cell", "347 1234567"}, {"Fax", "049 8888888"}, {"Mail1", mail1}, {"Mail2", mail2}, {"Mail3", mail3}};
        for (const char* rav : {"Sollecito.rav", "Sollecito_generico.rav"}) {
            for (const bool lungo : {false, true}) {
                Project p;
                p.setProjectFile(QString(SZ_PROGRAM_DIR "/RaveReport/") + rav);
                setLetter(p);
                if (lungo) {
                    // A private person, greeted as one.
                    p.setParameter("Consumatore", "SI");
                    p.setParameter("RagioneSociale", name);
                    p.setParameter("Referente", "Alla c.a.: DOTT.SSA MARIA GIOVANNA DELL'ACQUA BONAVENTURA - "
                                                "UFFICIO AMMINISTRAZIONE E CONTABILITÀ FORNITORI");
                    p.setParameter("IndirizzoCliente", sz::report::addresseeAddress(cliente));
                    p.setParameter("ContattiCliente", sz::report::addresseeContacts(cliente));
                }
                const QString what = QString(rav) + (lungo ? " lungo" : " breve");
                const QList<Word> words = pageWords(execute(p, "finestra.pdf"), 1);
                qsizetype from = -1, to = -1, contacts = -1, date = -1;
                for (qsizetype i = 0; i < words.size(); ++i) {
                    const QString& w = words.at(i).text;
                    if (w == (lungo ? "Gent.le" : "Spett.le") && from < 0) from = i;
                    QVERIFY(w != (lungo ? "Spett.le" : "Gent.le"));
                    if (w == "(PD)" || w == "(MI)") to = to < 0 && from >= 0 ? i : to;
                    if (w == "C.F.:" || w == "Mail") contacts = contacts < 0 && to >= 0 ? i : contacts;
                    if (w == "lì") date = i - 1; // "PADOVA, lì 08/12/2026"
                }
                QVERIFY2(from >= 0 && to > from && date > to, qPrintable(what));
                for (qsizetype i = from; i <= to; ++i) {
                    const QRectF& b = words.at(i).mm;
                    QVERIFY2(b.left() >= 110 && b.top() >= 50 && b.bottom() <= 95 && b.right() <= 200,
                             qPrintable(what + ": " + words.at(i).text));
                }
                QVERIFY2(contacts > to && words.at(contacts).mm.top() >= 95, qPrintable(what));
                for (qsizetype i = contacts; i < date; ++i)
                    QVERIFY2(words.at(i).mm.top() >= 95 && words.at(i).mm.left() >= 110,
                             qPrintable(what + ": " + words.at(i).text));
                QVERIFY(words.at(date).mm.top() >= words.at(date - 1).mm.bottom());
                // Each mail address whole, wrapped only after one of its "." or "@".
                if (lungo) {
                    QStringList below;
                    for (qsizetype i = contacts; i < date; ++i)
                        below << words.at(i).text;
                    const QString joined = below.join('|');
                    for (const QString& m : {mail1, mail2, mail3}) {
                        QString pattern;
                        for (const QChar c : m)
                            pattern += QRegularExpression::escape(QString(c)) + (c == '.' || c == '@' ? "\\|?" : "");
                        QVERIFY2(QRegularExpression(pattern).match(joined).hasMatch(), qPrintable(m + "\n" + joined));
                    }
                }
            }
        }
    }

    // A statement of many pages: the signature is never on a page of its own, the closing
    // text and the bank details go with it; the total is never alone under a repeated heading.
    void signatureKeepsTheClosingText()
    {
        for (int count = 20; count <= 44; ++count) {
            Project p;
            p.setProjectFile(SZ_PROGRAM_DIR "/RaveReport/Sollecito_generico.rav");
            setLetter(p);
            setInterest(p);
            sz::report::DataView rows;
            for (int i = 1; i <= count; ++i)
                rows.append({{"NumeroFattura", QString("F%1").arg(i)}, {"DataFattura", "15/09/2026"},
                             {"Scadenza", "15/10/2026"}, {"DestinatarioFattura", "ROSSI SRL"},
                             {"ImportoParziale", "€ 1.234,56"}, {"ImportoResiduo", "€ 1.234,56"},
                             {"Comunicazione", "1° SOLLECITO"}});
            p.setDataView("RvDataSetConnection2", rows);
            const QList<QString> pages = pageTexts(execute(p, "estratto.pdf"));
            const QString n = QString::number(count);
            const int signature = pageOf(pages, "Rag. Lucia Ferrari");
            QVERIFY2(signature > 0, qPrintable(n));
            QVERIFY2(pageOf(pages, "Vi preghiamo di procedere") == signature, qPrintable(n));
            QVERIFY2(pageOf(pages, "ULTIMERIGHE") == signature, qPrintable(n));
            QVERIFY2(pageOf(pages, "IT60 X054 2811 1010 0000 0123 456") == signature, qPrintable(n));
            QVERIFY2(pageOf(pages, "TOTALE DA PAGARE") == pageOf(pages, "F" + n + "\n"), qPrintable(n));
        }
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
