#include "scadenzio/report/Pdf.h"

#include "scadenzio/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

namespace sz::report {

void writePdf(const QString& html, const QString& pdfPath, double marginMm)
{
    const QString folder = QFileInfo(pdfPath).absolutePath();
    if (!QDir().mkpath(folder))
        throw Error(QStringLiteral("impossibile creare la cartella \"%1\"").arg(QDir::toNativeSeparators(folder)));
    QSaveFile out(pdfPath);
    if (!out.open(QIODevice::WriteOnly))
        throw Error(QStringLiteral("impossibile scrivere il file \"%1\": %2")
                        .arg(QDir::toNativeSeparators(pdfPath), out.errorString()));
    {
        QPdfWriter writer(&out);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(marginMm, marginMm, marginMm, marginMm), QPageLayout::Millimeter);
        writer.setResolution(300);

        QTextDocument doc;
        // Without shaping, text extracted from the PDF reads as typed (no ligatures).
        QFont font(QStringLiteral("DejaVu Sans"), 10);
        font.setStyleStrategy(QFont::PreferNoShaping);
        doc.setDefaultFont(font);
        doc.setDocumentMargin(0);
        doc.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
        doc.setHtml(html);

        QPainter painter(&writer);
        if (!painter.isActive())
            throw Error(QStringLiteral("impossibile creare il PDF \"%1\"").arg(QDir::toNativeSeparators(pdfPath)));
        const QSizeF page = doc.pageSize();
        for (int p = 0; p < doc.pageCount(); ++p) {
            if (p > 0)
                writer.newPage();
            painter.save();
            painter.translate(0, -p * page.height());
            doc.drawContents(&painter, QRectF(0, p * page.height(), page.width(), page.height()));
            painter.restore();
        }
    }
    if (!out.commit())
        throw Error(QStringLiteral("impossibile scrivere il file \"%1\": %2")
                        .arg(QDir::toNativeSeparators(pdfPath), out.errorString()));
}

} // namespace sz::report
