#pragma once

#include <QString>

// Renders documents to PDF files without a window. A QGuiApplication must exist; on a
// machine without a display it runs on the offscreen platform.
namespace sz::report {

// Writes the HTML as an A4 PDF at pdfPath, margins in millimetres. The file is written
// aside and renamed into place, so a failed run never leaves half a letter. Throws
// sz::Error when the file cannot be written.
void writePdf(const QString& html, const QString& pdfPath, double marginMm = 20.0);

} // namespace sz::report
