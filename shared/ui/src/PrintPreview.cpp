#include "scadenzio/PrintPreview.h"

#include "scadenzio/Error.h"
#include "scadenzio/Ui.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QToolBar>

namespace sz::ui {

void showPrintPreview(QWidget* parent, const QString& title, const QString& suggestedPdfName,
                      const std::function<void(QPagedPaintDevice*)>& paint,
                      const std::function<void(const QString& pdfPath)>& savePdf)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("AnteprimaStampa"));
    dialog.setWindowTitle(title);
    dialog.resize(1000, 760);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&dialog, &paint](QPrinter* p) {
        try {
            paint(p);
        } catch (const sz::Error& e) {
            showError(&dialog, e.message());
        }
    });

    // Printing to a file is hidden in the printer list on many desktops; a clerk who
    // wants the PDF for a mail finds it here.
    if (auto* bar = dialog.findChild<QToolBar*>()) {
        bar->addSeparator();
        auto* save = bar->addAction(QIcon::fromTheme(QStringLiteral("document-save-as")),
                                    QStringLiteral("Salva PDF..."));
        save->setObjectName(QStringLiteral("SalvaPdf"));
        save->setToolTip(QStringLiteral("Salva l'anteprima in un file PDF"));
        QObject::connect(save, &QAction::triggered, &dialog, [&dialog, &savePdf, suggestedPdfName] {
            const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
            QString path = QFileDialog::getSaveFileName(&dialog, QStringLiteral("Salva PDF"),
                                                        QDir(folder).filePath(suggestedPdfName),
                                                        QStringLiteral("Documenti PDF (*.pdf)"));
            if (path.isEmpty()) return;
            if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
            try {
                savePdf(path);
            } catch (const sz::Error& e) {
                showError(&dialog, e.message());
            }
        });
    }
    showModal(&dialog);
}

} // namespace sz::ui
