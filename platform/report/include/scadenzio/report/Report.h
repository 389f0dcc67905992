#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QPagedPaintDevice;
class QTextDocument;

// The report engine: a project (an HTML template with mustache tags and its page set-up)
// filled with named parameters and data views, rendered to a PDF file or to any paged
// device (a printer behind a print preview). A QGuiApplication must exist; without a
// display it runs on the offscreen platform.
//
// A project file (.rav, UTF-8) opens with its page set-up in an HTML comment, one
// "key: value" a line (lines starting with # are notes); the template follows it:
//
//   <!--
//   page: A4                      A4, A5, A3, Letter or Legal
//   orientation: portrait         portrait or landscape
//   margins: 12 15 25 20          top right bottom left in mm (one value: all four)
//   font: DejaVu Sans 10          family and point size of the running text
//   footer: <p align="center">{{RagioneSocialeUtente}}</p>
//   footer: {{#PiuPagine}}<p align="right">Pagina {{Pagina}} di {{Pagine}}</p>{{/PiuPagine}}
//   -->
//   <html>...{{Oggetto}}...{{#Banche}}<p>{{nome}}</p>{{/Banche}}...</html>
//
// Every key may be left out (A4, portrait, 20 mm, DejaVu Sans 10, no footer). The footer
// lines, joined, are an HTML template of their own, drawn on every page in the bottom
// margin 4 mm below the text; besides the parameters it knows {{Pagina}} (this page),
// {{Pagine}} (how many) and {{#PiuPagine}} (true when there is more than one).
//
// Tags: {{Name}} prints a parameter, or a field of the current row inside a data view;
// {{{Name}}} prints the same, since values are escaped before the template sees them.
// An empty or unset value is false, so {{#Name}}...{{/Name}} shows a part only when
// Name has text and {{^Name}}...{{/Name}} only when it has none. {{#View}}...{{/View}}
// repeats once per row; {{#ConRighe.View}}...{{/ConRighe.View}} shows a part once when
// the view has rows (a heading above them), {{^ConRighe.View}} when it has none.
//
// Pictures: an <img> whose src is a file path (relative paths start at the project's
// folder) is loaded by the engine; width and height, in px or with an "mm" suffix, are
// the box the picture is fitted into keeping its proportions (never enlarged). A path
// that names no readable picture, or a blank one (all white or all transparent), leaves
// no picture and no gap.
//
// Page turns: a table row is never split over two pages when it fits on one; the table
// goes on over the next page from that row, its <thead> rows repeated. A part that must
// stay whole (a signature with the company name, a heading with its table) goes in a
// table of the body (not inside another table) with class="intero": when it would
// straddle a page turn it starts the next page, unless it is taller than a page.
//
// Fitting: a table with class="adatta" and altezza="40mm" (or px) keeps within that height
// by setting all its text smaller alike, step by step down to two thirds of its size: an
// addressee with a very long name and address stays inside an envelope's window.
//
// Amounts: in every value the blank of "€ 12,00" and of "10,15 %" is a no-break space, so
// that no line ends at the "€" or starts with the "%".
//
// The PDF's title is the parameter Titolo, else Oggetto, else the project's file name.
namespace sz::report {

// One row of a data view: field name -> text as it should be printed.
using Row = QHash<QString, QString>;
// The rows of a data view in print order.
using DataView = QList<Row>;

class Project {
public:
    Project();
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    // Reads the project file. Throws sz::Error (Italian message naming the file) when it
    // is missing or unreadable. Parsed projects are cached by path and modification time,
    // so a run of many letters reads and parses the template once.
    void setProjectFile(const QString& path);
    QString projectFile() const;

    // Where execute() writes the PDF. The folder must exist or be creatable.
    void setOutputFile(const QString& pdfPath);

    // Binds a data view by name ({{#Name}}...{{/Name}} in the template).
    void setDataView(const QString& name, DataView rows);

    // Sets a parameter by name ({{Name}}). A name the project does not use is ignored.
    // Values are HTML-escaped; line breaks (CR LF, CR or LF) are kept as <br />.
    void setParameter(const QString& name, const QString& value);

    // Renders into the output file (written aside, then renamed into place). Throws
    // sz::Error when no project is set, the template is malformed or the file cannot be
    // written.
    void execute();

    // Renders the pages onto a paged device (a QPrinter for the print preview), with the
    // same page set-up, header repetition and page numbers as the PDF.
    void print(QPagedPaintDevice* device);

    // The HTML the template yields for the current parameters and data views, before
    // pictures are loaded and pages are laid out.
    QString renderHtml() const;

    // Forgets parameters, data views and output file; the project stays set (and cached),
    // ready for the next letter.
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sz::report
