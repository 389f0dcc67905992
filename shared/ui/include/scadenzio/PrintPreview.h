#pragma once

#include "scadenzio/UiExport.h"

#include <QString>
#include <functional>
#include <memory>

class QPagedPaintDevice;
class QWidget;

namespace sz::ui {

// The print preview of a letter or report, in Italian, from which the user prints or
// saves a PDF. paint lays the pages onto the device it is given (the printer) (it sets the paper
// itself) and is called again whenever the preview or the printer needs the pages;
// savePdf writes the same pages to the file the user chose. Runs through showModal, so
// tests see the dialog instead of waiting on it. Errors of paint or savePdf are shown
// in the common frame and leave the preview open.
SZ_UI_EXPORT void showPrintPreview(QWidget* parent, const QString& title, const QString& suggestedPdfName,
                                   const std::function<void(QPagedPaintDevice*)>& paint,
                                   const std::function<void(const QString& pdfPath)>& savePdf);

// The same for a report project (print(device), setOutputFile, execute), already filled.
template <typename ReportProject>
void showReportPreview(QWidget* parent, const QString& title, const QString& suggestedPdfName,
                       const std::shared_ptr<ReportProject>& project)
{
    showPrintPreview(
        parent, title, suggestedPdfName, [project](QPagedPaintDevice* d) { project->print(d); },
        [project](const QString& pdf) {
            project->setOutputFile(pdf);
            project->execute();
        });
}

} // namespace sz::ui
