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

    // Forgets parameters, data views and output file; the project file stays cached.
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sz::report
