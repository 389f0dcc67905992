#pragma once

// What the report engine and the plain HTML-to-PDF writer share: laying a document out
// on a paged device with its own margins and footer, fitting pictures into the HTML,
// and writing a PDF that appears only when it is complete.

#include <QImage>
#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

#include <functional>

class QPagedPaintDevice;

namespace sz::report::detail {

struct PageSetup
{
    QPageSize::PageSizeId pageSize = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF marginsMm{20, 20, 20, 20}; // left, top, right, bottom as QMarginsF has them
    QString fontFamily = QStringLiteral("DejaVu Sans");
    double fontPointSize = 10;
};

// Millimetres the footer keeps from the bottom of the text.
inline constexpr double footerGapMm = 4;

// A picture the document refers to by a name the engine chose, so that no file name
// (spaces, #, %) has to survive URL parsing.
struct Picture
{
    QString name;
    QImage image;
};

// Loads every <img> whose src names a readable picture (relative to baseFolder) and
// rewrites the tag to use it, fitted into the box its width and height give; tags of
// pictures that cannot be read are removed. Pictures are cached by path and mtime.
QString preparePictures(const QString& html, const QString& baseFolder, QList<Picture>& pictures);

// Footer HTML for page n (1-based) of pages, empty for none; pictures it shows are added
// to the list it is given.
using FooterFn = std::function<QString(int page, int pages, QList<Picture>& pictures)>;

// Sets the device's paper, lays the HTML out in the text area the margins leave and
// paints every page, with the footer below the text. Returns the number of pages.
int paintPages(QPagedPaintDevice& device, const PageSetup& setup, const QString& html,
               const QList<Picture>& pictures, const FooterFn& footer);

// Writes the PDF beside its final place and renames it in when painting succeeded; on
// any failure nothing is left at pdfPath but what was there before.
void savePdf(const QString& pdfPath, const QString& title,
             const std::function<void(QPagedPaintDevice&)>& paint);

} // namespace sz::report::detail
