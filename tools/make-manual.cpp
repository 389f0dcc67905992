// Renders the user manual (HTML) into the PDF the help menu opens. Run at build time.
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3)
        return 2;
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    const QString body = QString::fromUtf8(in.readAll());

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
        "td { padding: 4px; border-bottom: 1px solid #d3dce6; }"));
    doc.setHtml(body);
    const QRectF page = pdf.pageLayout().paintRectPixels(pdf.resolution());
    doc.setPageSize(page.size());
    QPainter painter(&pdf);
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            pdf.newPage();
        painter.save();
        painter.translate(0, -page.height() * i);
        doc.drawContents(&painter, QRectF(0, page.height() * i, page.width(), page.height()));
        painter.restore();
    }
    return 0;
}
