#include "scadenzio/report/Pdf.h"

#include "Pages.h"

namespace sz::report {

void writePdf(const QString& html, const QString& pdfPath, double marginMm)
{
    detail::PageSetup setup;
    setup.marginsMm = QMarginsF(marginMm, marginMm, marginMm, marginMm);
    detail::savePdf(pdfPath, QString(), [&](QPagedPaintDevice& device) {
        QList<detail::Picture> pictures;
        const QString prepared = detail::preparePictures(html, QString(), pictures);
        detail::paintPages(device, setup, prepared, pictures, {});
    });
}

} // namespace sz::report
