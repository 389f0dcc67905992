// Renders the user manual (HTML) into the PDF the help menu opens. Run at build time.
//
//   scadenzio-make-manual MANUAL.html MANUAL.pdf [VERSION PICTURES_BASE]
//
// @VERSIONE@ in the text becomes VERSION; each <img src="..."> is read relative to
// PICTURES_BASE, the widest drawn as wide as the page and the others at its scale. A picture that cannot be read fails the
// build rather than leaving a hole in the manual.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QUrl>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextTable>
#include <QTextDocument>

namespace {

// Where its lines are, in the document: from the top of the first to the foot of the last.
// (A cell's lines are placed within the cell; the block's bounding box says where that is.)
QPair<double, double> linesOf(const QTextDocument& doc, const QTextBlock& block)
{
    const QTextLayout* l = block.layout();
    if (!l || l->lineCount() == 0)
        return {0, 0};
    const double origin = doc.documentLayout()->blockBoundingRect(block).top();
    const QTextLine last = l->lineAt(l->lineCount() - 1);
    return {origin + l->lineAt(0).y(), origin + last.y() + last.height()};
}

// Qt cuts a picture at the foot of a page like a line of text, and on each page it also
// draws the last line of a paragraph begun on the page before: out of sight, but in the
// text a reader searches or copies. So no paragraph or picture is split: one that would
// straddle two pages starts the next one, with the heading right above it, and a heading
// left alone at the foot of a page goes over too. The layout is done again after each move.
void keepTogether(QTextDocument& doc, double pageHeight)
{
    auto page = [pageHeight](double y) { return int(y / pageHeight); };
    auto breakBefore = [](const QTextBlock& b) {
        QTextBlockFormat f = b.blockFormat();
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        QTextCursor(b).setBlockFormat(f);
    };
    for (int guard = 0; guard < doc.blockCount(); ++guard) {
        // The layout is lazy: a block's lines exist once the whole text has been laid out.
        doc.pageCount();
        bool moved = false;
        for (QTextBlock b = doc.begin(); b.isValid() && !moved; b = b.next()) {
            if (b.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
                continue;
            const auto [top, bottom] = linesOf(doc, b);
            if (QTextTable* table = QTextCursor(b).currentTable()) {
                // A cell cut in two takes its whole table over (the program's tables are short).
                QTextTableFormat f = table->format();
                if (page(top) == page(bottom - 1) || f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
                    continue;
                f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                table->setFormat(f);
                moved = true;
                continue;
            }
            if (b.blockFormat().headingLevel() > 0) {
                if (b.next().isValid() && page(top) != page(linesOf(doc, b.next()).first)) {
                    breakBefore(b);
                    moved = true;
                }
                continue;
            }
            if (bottom - top >= pageHeight || page(top) == page(bottom - 1))
                continue;
            const QTextBlock previous = b.previous();
            breakBefore(previous.isValid() && previous.blockFormat().headingLevel() > 0 ? previous : b);
            moved = true;
        }
        if (!moved)
            return;
        // The layout after a changed break is only right when done again from the top.
        doc.markContentsDirty(0, doc.characterCount());
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3 && argc != 5 && argc != 6)
        return 2;
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    QString body = QString::fromUtf8(in.readAll());
    if (argc >= 5)
        body.replace(QStringLiteral("@VERSIONE@"), QString::fromLocal8Bit(argv[3]));
    // The package's file name carries its own revision after the program's version.
    if (argc == 6)
        body.replace(QStringLiteral("@PACCHETTO@"), QString::fromLocal8Bit(argv[5]));

    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setTitle(QStringLiteral("Scadenzio - Manuale d'uso"));
    pdf.setCreator(QStringLiteral("Scadenzio"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
    pdf.setResolution(300);

    QTextDocument doc;
    // Point sizes must be measured on the PDF, not on the (absent) screen.
    doc.documentLayout()->setPaintDevice(&pdf);
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    font.setStyleStrategy(QFont::PreferNoShaping); // ligatures would break copied text
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    doc.setDefaultStyleSheet(QStringLiteral(
        "h1 { color: #1f4e79; font-size: 24pt; } p.sub { color: #4a5a6a; font-size: 12pt; }"
        "h2 { color: #1f4e79; font-size: 14pt; margin-top: 16px; }"
        "table { border-collapse: collapse; } th { background: #e9eef4; text-align: left; padding: 4px; }"
        "td { padding: 4px; border-bottom: 1px solid #d3dce6; }"
        "h3 { color: #1f4e79; font-size: 11pt; } h4 { font-size: 10pt; }"
        "pre { font-family: 'DejaVu Sans Mono'; font-size: 8pt; background: #f3f5f7; white-space: pre-wrap; }"
        "p.figura { color: #4a5a6a; font-size: 8.5pt; font-style: italic; margin-bottom: 12px; }"));
    const QRectF page = pdf.pageLayout().paintRectPixels(pdf.resolution());

    // Pictures go in as resources before the text is laid out (a picture loaded later is
    // laid out with no height). All are drawn at one scale, the one that gives the widest
    // the page's width, so a part of a window reads at the size of the whole window.
    static const QRegularExpression img(QStringLiteral("<img\\s+src=\"([^\"]+)\"\\s*/?>"));
    struct Picture
    {
        qsizetype start, end;
        QString src;
        QImage image;
    };
    QList<Picture> pictures;
    int widest = 0;
    for (auto it = img.globalMatch(body); it.hasNext();) {
        const auto m = it.next();
        const QString src = m.captured(1);
        if (argc < 5) {
            qWarning("%s: pictures need a base folder", qPrintable(src));
            return 1;
        }
        const QImage picture(QString::fromLocal8Bit(argv[4]) + QLatin1Char('/') + src);
        if (picture.isNull()) {
            qWarning("%s: picture missing or unreadable", qPrintable(src));
            return 1;
        }
        widest = qMax(widest, picture.width());
        pictures.append({m.capturedStart(), m.capturedEnd(), src, picture});
    }
    // Sizes in the text are at 96 dots per inch, whatever the PDF's resolution.
    const double scale = widest > 0 ? page.width() * 96.0 / pdf.resolution() / widest : 1.0;
    QString laidOut;
    qsizetype from = 0;
    for (const Picture& p : std::as_const(pictures)) {
        doc.addResource(QTextDocument::ImageResource, QUrl(p.src), p.image);
        laidOut += body.mid(from, p.start - from);
        laidOut += QStringLiteral("<img src=\"%1\" width=\"%2\" height=\"%3\">")
                       .arg(p.src.toHtmlEscaped())
                       .arg(qRound(p.image.width() * scale))
                       .arg(qRound(p.image.height() * scale));
        from = p.end;
    }
    laidOut += body.mid(from);

    doc.setHtml(laidOut);
    doc.setPageSize(page.size());
    keepTogether(doc, page.height());
    QPainter painter(&pdf);
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            pdf.newPage();
        painter.save();
        painter.translate(0, -page.height() * i);
        // A line that only touches the page's edge belongs to the page beside it: one device
        // pixel off each edge keeps it off this one.
        doc.drawContents(&painter, QRectF(0, page.height() * i + 1, page.width(), page.height() - 2));
        painter.restore();
    }
    return 0;
}
