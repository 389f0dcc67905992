#include "Pages.h"

#include "scadenzio/Error.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <QMutexLocker>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextTable>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace sz::report::detail {

namespace {

// QTextDocument measures HTML lengths in pixels of a 96 dpi screen, whatever the device.
constexpr double cssPxPerMm = 96.0 / 25.4;
// Pictures are kept at the resolution a printer can show, not at what a scanner gave.
constexpr double pictureDpi = 300.0;

QString unescapeAttribute(QString v)
{
    v.replace(QLatin1String("&lt;"), QLatin1String("<"));
    v.replace(QLatin1String("&gt;"), QLatin1String(">"));
    v.replace(QLatin1String("&quot;"), QLatin1String("\""));
    v.replace(QLatin1String("&#39;"), QLatin1String("'"));
    v.replace(QLatin1String("&apos;"), QLatin1String("'"));
    v.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return v;
}

// "50mm", "189px" or "189" as CSS pixels; 0 for anything else (a percentage, nothing).
double boxLength(const QString& value)
{
    QString v = value.trimmed().toLower();
    double factor = 1;
    if (v.endsWith(QLatin1String("mm"))) {
        factor = cssPxPerMm;
        v.chop(2);
    } else if (v.endsWith(QLatin1String("px"))) {
        v.chop(2);
    }
    bool ok = false;
    const double n = v.trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && n > 0 ? n * factor : 0;
}

// A picture with nothing on it (all white or all transparent, as the logo a firm gets
// before it chooses its own) is no picture: it would only push the text down.
bool isBlank(const QImage& source)
{
    // Huge pictures are judged on a reduced copy: a mark thinner than the reduction would
    // not show on paper either.
    const QImage image = (source.width() > 1024 || source.height() > 1024
                              ? source.scaled(1024, 1024, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              : source)
                             .convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 0 && (line[x] & 0x00ffffffu) != 0x00ffffffu) return false;
    }
    return true;
}

struct CachedPicture
{
    QString name;
    QImage image;     // null: the file is no readable picture
    QSizeF displayPx; // size on paper in CSS pixels
};

// A letter run shows the same logo hundreds of times: it is read and scaled once.
CachedPicture cachedPicture(const QString& path, double boxW, double boxH)
{
    static QMutex mutex;
    static QHash<QString, CachedPicture> cache;
    static int serial = 0;

    const QFileInfo info(path);
    if (!info.isFile()) return {};
    const QString key = QStringLiteral("%1\n%2\n%3\n%4x%5")
                            .arg(info.absoluteFilePath())
                            .arg(info.lastModified().toMSecsSinceEpoch())
                            .arg(info.size())
                            .arg(boxW)
                            .arg(boxH);
    QMutexLocker lock(&mutex);
    if (const auto it = cache.constFind(key); it != cache.constEnd()) return *it;

    CachedPicture pic;
    QImageReader reader(info.absoluteFilePath());
    const QImage source = reader.read();
    if (!source.isNull() && source.width() > 0 && source.height() > 0 && !isBlank(source)) {
        const QSizeF natural(source.width(), source.height());
        double scale = 1;
        if (boxW > 0) scale = std::min(scale, boxW / natural.width());
        if (boxH > 0) scale = std::min(scale, boxH / natural.height());
        pic.displayPx = natural * scale;
        const QSize stored = (pic.displayPx * (pictureDpi / 96.0)).toSize().expandedTo(QSize(1, 1));
        pic.image = stored.width() < source.width()
                        ? source.scaled(stored, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        : source;
        pic.name = QStringLiteral("szimg:%1").arg(++serial);
    }
    if (cache.size() >= 64) cache.clear();
    cache.insert(key, pic);
    return pic;
}

QString writeReason(int err, const QString& systemText)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return QStringLiteral("accesso negato");
    case EROFS:
        return QStringLiteral("il disco è in sola lettura");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("spazio su disco esaurito");
    case ENOENT:
        return QStringLiteral("la cartella non esiste");
    case ENOTDIR:
        return QStringLiteral("una parte del percorso non è una cartella");
    case EISDIR:
        return QStringLiteral("il percorso indica una cartella");
    case ENAMETOOLONG:
        return QStringLiteral("il nome è troppo lungo");
    default:
        return QStringLiteral("errore di sistema (%1)").arg(systemText);
    }
}

[[noreturn]] void cannotWrite(const QString& path, const QString& reason)
{
    throw Error(QStringLiteral("Impossibile scrivere il file \"%1\": %2.")
                    .arg(QDir::toNativeSeparators(path), reason));
}

QFont textFont(const PageSetup& setup)
{
    QFont font(setup.fontFamily);
    font.setPointSizeF(setup.fontPointSize);
    // Without shaping no ligatures are drawn, so text copied from the PDF reads as typed.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

void prepareDocument(QTextDocument& doc, QPagedPaintDevice& device, const QFont& font,
                     const QList<Picture>& pictures)
{
    // Point sizes and HTML pixels are measured on the device, not on the (absent) screen.
    doc.documentLayout()->setPaintDevice(&device);
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    // Pictures must be there before the HTML: a missing one is laid out with a negative
    // height and leaves blank pages.
    for (const Picture& p : pictures)
        doc.addResource(QTextDocument::ImageResource, QUrl(p.name), p.image);
}


// Which tables, in the order their <table> tags open, ask to be kept on one page
// (class "intero").
QList<bool> keptTables(const QString& html)
{
    static const QRegularExpression tableTag(QStringLiteral("<table\\b([^>]*)>"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression keepClass(
        QStringLiteral("\\bclass\\s*=\\s*(?:\"[^\"]*\\bintero\\b[^\"]*\"|'[^']*\\bintero\\b[^']*'|intero\\b)"),
        QRegularExpression::CaseInsensitiveOption);
    QList<bool> kept;
    for (auto it = tableTag.globalMatch(html); it.hasNext();)
        kept.append(keepClass.match(it.next().captured(1)).hasMatch());
    return kept;
}

// The line break that closes a paragraph in the template before a table becomes a blank at
// the end of that paragraph, in the document's default type: a paragraph in smaller type
// would get a taller last line, set apart from the lines above it. The blank takes the type
// of the text before it.
void matchTrailingBlanks(QTextDocument& doc)
{
    QTextCursor cursor(&doc);
    bool editing = false;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextCharFormat before;
        bool hasText = false;
        for (auto f = block.begin(); !f.atEnd(); ++f) {
            const QTextFragment fragment = f.fragment();
            if (!fragment.isValid()) continue;
            auto next = f;
            ++next;
            if (!(hasText && next.atEnd() && fragment.text().trimmed().isEmpty())) {
                before = fragment.charFormat();
                hasText = true;
                continue;
            }
            const QTextCharFormat blank = fragment.charFormat();
            QTextCharFormat size;
            if (before.hasProperty(QTextFormat::FontPointSize) && blank.fontPointSize() != before.fontPointSize())
                size.setFontPointSize(before.fontPointSize());
            else if (before.hasProperty(QTextFormat::FontPixelSize) &&
                     blank.intProperty(QTextFormat::FontPixelSize) != before.intProperty(QTextFormat::FontPixelSize))
                size.setProperty(QTextFormat::FontPixelSize, before.intProperty(QTextFormat::FontPixelSize));
            else
                continue;
            if (!editing) {
                cursor.beginEditBlock();
                editing = true;
            }
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(size);
            break; // the change may join fragments: this block's iterator is spent
        }
    }
    if (editing) cursor.endEditBlock();
}

// The height each table, in the order their <table> tags open, must keep within (class
// "adatta" with altezza="…mm"), in millimetres; 0 for a table free to grow.
QList<double> fittedTables(const QString& html)
{
    static const QRegularExpression tableTag(QStringLiteral("<table\\b([^>]*)>"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression fitClass(
        QStringLiteral("\\bclass\\s*=\\s*(?:\"[^\"]*\\badatta\\b[^\"]*\"|'[^']*\\badatta\\b[^']*'|adatta\\b)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression height(
        QStringLiteral("\\baltezza\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"),
        QRegularExpression::CaseInsensitiveOption);
    QList<double> limits;
    for (auto it = tableTag.globalMatch(html); it.hasNext();) {
        const QString attributes = it.next().captured(1);
        double mm = 0;
        if (fitClass.match(attributes).hasMatch()) {
            const QRegularExpressionMatch h = height.match(attributes);
            if (h.hasMatch())
                mm = boxLength(unescapeAttribute(h.hasCaptured(1)   ? h.captured(1)
                                                 : h.hasCaptured(2) ? h.captured(2)
                                                                    : h.captured(3))) /
                     cssPxPerMm;
        }
        limits.append(mm);
    }
    return limits;
}

// Every table of the document, in the order their tags came (outer before inner).
void collectTables(QTextFrame* frame, QList<QTextTable*>& tables)
{
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child)) tables.append(table);
        collectTables(child, tables);
    }
}

struct Span
{
    double top = 0;
    double bottom = -1;
    bool isValid() const { return bottom >= top; }
    void add(const QRectF& r)
    {
        if (r.isNull()) return;
        if (!isValid()) {
            top = r.top();
            bottom = r.bottom();
        } else {
            top = std::min(top, r.top());
            bottom = std::max(bottom, r.bottom());
        }
    }
};

Span rowSpan(QTextDocument& doc, QTextTable* table, int row)
{
    Span span;
    for (int c = 0; c < table->columns(); ++c) {
        const QTextTableCell cell = table->cellAt(row, c);
        if (cell.row() != row || cell.column() != c) continue;
        for (auto b = cell.begin(); !b.atEnd(); ++b)
            if (b.currentBlock().isValid()) span.add(doc.documentLayout()->blockBoundingRect(b.currentBlock()));
    }
    return span;
}

bool hasRowSpans(QTextTable* table)
{
    for (int r = 0; r < table->rows(); ++r)
        for (int c = 0; c < table->columns(); ++c)
            if (table->cellAt(r, c).rowSpan() > 1) return true;
    return false;
}

void copyCell(const QTextTableCell& from, QTextTableCell to)
{
    to.setFormat(from.format());
    QTextCursor source = from.firstCursorPosition();
    source.setPosition(from.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    QTextCursor target = to.firstCursorPosition();
    target.setBlockFormat(from.firstCursorPosition().blockFormat());
    target.insertFragment(source.selection());
}

// Moves the rows from `row` on into a table of their own that starts a new page and
// repeats the heading rows, so that a row never begins on one page and ends on the next.
void breakTableBefore(QTextTable* table, int row)
{
    const QTextTableFormat format = table->format();
    const int headers = std::clamp(format.headerRowCount(), 0, row);
    const int moved = table->rows() - row;
    const int columns = table->columns();

    QTextCursor after(table->document());
    // One change for the layout to follow, not one per cell.
    after.beginEditBlock();
    after.setPosition(table->lastPosition() + 1);
    // The new table must not be joined to the old one: a block between them keeps them
    // apart and is hidden by the layout next to the table.
    after.insertBlock();
    after.insertBlock();
    after.movePosition(QTextCursor::PreviousBlock);
    QTextTableFormat next = format;
    next.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextTable* rest = after.insertTable(headers + moved, columns, next);
    const auto copyRow = [&](int from, int to) {
        for (int c = 0; c < columns; ++c) {
            const QTextTableCell cell = table->cellAt(from, c);
            if (cell.column() != c) continue;
            if (cell.columnSpan() > 1) rest->mergeCells(to, c, 1, cell.columnSpan());
            copyCell(cell, rest->cellAt(to, c));
        }
    };
    for (int r = 0; r < headers; ++r)
        copyRow(r, r);
    for (int r = 0; r < moved; ++r)
        copyRow(row + r, headers + r);
    table->removeRows(row, moved);
    after.endEditBlock();
}

// Type of a table's text made smaller, step by step and all of it alike, until the table
// is no taller than maxHeight (device pixels): an addressee with a long name and address
// stays inside the window of the envelope. Below two thirds of its size text is no longer
// read comfortably, and the table is left at that.
void shrinkToFit(QTextDocument& doc, QTextTable* table, double maxHeight)
{
    const auto height = [&] { return doc.documentLayout()->frameBoundingRect(table).height(); };
    if (maxHeight <= 0 || height() <= maxHeight) return;

    struct Run
    {
        int position = 0, length = 0;
        double size = 0;
        bool pixels = false;
    };
    QList<Run> runs;
    const double defaultSize = doc.defaultFont().pointSizeF();
    for (int r = 0; r < table->rows(); ++r)
        for (int c = 0; c < table->columns(); ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() != r || cell.column() != c) continue;
            for (auto b = cell.begin(); !b.atEnd(); ++b) {
                const QTextBlock block = b.currentBlock();
                if (!block.isValid()) continue;
                for (auto f = block.begin(); !f.atEnd(); ++f) {
                    const QTextFragment fragment = f.fragment();
                    if (!fragment.isValid()) continue;
                    const QTextCharFormat format = fragment.charFormat();
                    Run run{fragment.position(), fragment.length(), format.fontPointSize(), false};
                    if (run.size <= 0 && format.hasProperty(QTextFormat::FontPixelSize)) {
                        run.size = format.intProperty(QTextFormat::FontPixelSize);
                        run.pixels = true;
                    }
                    if (run.size <= 0) run.size = defaultSize;
                    if (run.size > 0) runs.append(run);
                }
            }
        }
    if (runs.isEmpty()) return;

    for (int step = 1; step <= 7 && height() > maxHeight; ++step) {
        const double scale = 1 - 0.05 * step;
        QTextCursor cursor(&doc);
        cursor.beginEditBlock();
        for (const Run& run : runs) {
            cursor.setPosition(run.position);
            cursor.setPosition(run.position + run.length, QTextCursor::KeepAnchor);
            QTextCharFormat f;
            if (run.pixels)
                f.setProperty(QTextFormat::FontPixelSize, std::max(1, int(std::lround(run.size * scale))));
            else
                f.setFontPointSize(run.size * scale);
            cursor.mergeCharFormat(f);
        }
        cursor.endEditBlock();
    }
}

void fitTables(QTextDocument& doc, const QString& html, double pxPerMm)
{
    const QList<double> limits = fittedTables(html);
    if (std::none_of(limits.cbegin(), limits.cend(), [](double mm) { return mm > 0; })) return;
    QList<QTextTable*> tables;
    collectTables(doc.rootFrame(), tables);
    for (int t = 0; t < tables.size() && t < limits.size(); ++t)
        if (limits.at(t) > 0) shrinkToFit(doc, tables.at(t), limits.at(t) * pxPerMm);
}

// Nothing a reader wants whole straddles a page turn when it fits on one page: a table
// row (the table goes on over the next page from that row, with its heading repeated)
// and a table marked "intero" (it moves to the next page whole). A table's last row does
// not start a page alone.
void keepTogether(QTextDocument& doc, const QString& html)
{
    const double pageHeight = doc.pageSize().height();
    if (pageHeight <= 0) return;
    const QList<bool> kept = keptTables(html);
    const auto page = [&](double y) { return int(std::floor(y / pageHeight)); };
    const auto straddles = [&](const Span& s) {
        return s.isValid() && page(s.top) != page(std::max(s.top, s.bottom - 0.5));
    };
    // Every change settles at least one table or row for good; the cap only guards against
    // a layout that keeps moving under us.
    for (int pass = 0; pass < 10000; ++pass) {
        QList<QTextTable*> tables;
        collectTables(doc.rootFrame(), tables);
        bool changed = false;
        for (int t = 0; t < tables.size() && !changed; ++t) {
            QTextTable* table = tables.at(t);
            if (table->parentFrame() != doc.rootFrame()) continue;
            const bool keepWhole = t < kept.size() && kept.at(t);
            if (keepWhole) {
                const QRectF box = doc.documentLayout()->frameBoundingRect(table);
                Span whole;
                whole.add(box);
                if (straddles(whole) && box.height() <= pageHeight &&
                    !(table->format().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)) {
                    QTextTableFormat f = table->format();
                    f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                    table->setFormat(f);
                    changed = true;
                }
                continue;
            }
            if (hasRowSpans(table)) continue;
            const int headers = std::max(0, table->format().headerRowCount());
            Span heading;
            for (int r = 0; r < headers && r < table->rows(); ++r)
                if (const Span s = rowSpan(doc, table, r); s.isValid())
                    heading.add(QRectF(0, s.top, 1, s.bottom - s.top));
            const double headingHeight = heading.isValid() ? heading.bottom - heading.top : 0;
            for (int r = headers; r < table->rows(); ++r) {
                const Span s = rowSpan(doc, table, r);
                if (!straddles(s) || s.bottom - s.top + headingHeight > pageHeight * 0.9) continue;
                // A row that is the first of its table on the page cannot move anywhere better.
                if (r == headers) {
                    if (!(table->format().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)) {
                        QTextTableFormat f = table->format();
                        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                        table->setFormat(f);
                        changed = true;
                    }
                    break;
                }
                breakTableBefore(table, r);
                changed = true;
                break;
            }
            // The last row (a total) never starts a page by itself under the repeated
            // heading: the row before it goes along.
            const int last = table->rows() - 1;
            if (!changed && last - 1 > headers) {
                const Span before = rowSpan(doc, table, last - 1), closing = rowSpan(doc, table, last);
                if (before.isValid() && closing.isValid() &&
                    page(closing.top) > page(std::max(before.top, before.bottom - 0.5))) {
                    breakTableBefore(table, last - 1);
                    changed = true;
                }
            }
        }
        if (!changed) return;
    }
}

} // namespace

QString preparePictures(const QString& html, const QString& baseFolder, QList<Picture>& pictures)
{
    static const QRegularExpression imgTag(QStringLiteral("<img\\b([^>]*)>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attribute(
        QStringLiteral("([A-Za-z_:][-A-Za-z0-9_:.]*)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"));

    if (!html.contains(QLatin1String("<img"), Qt::CaseInsensitive)) return html;

    QString out;
    out.reserve(html.size());
    qsizetype done = 0;
    for (auto tags = imgTag.globalMatch(html); tags.hasNext();) {
        const QRegularExpressionMatch tag = tags.next();
        out += QStringView(html).mid(done, tag.capturedStart() - done);
        done = tag.capturedEnd();

        QString src;
        double boxW = 0, boxH = 0;
        QString kept;
        for (auto attrs = attribute.globalMatch(tag.captured(1)); attrs.hasNext();) {
            const QRegularExpressionMatch a = attrs.next();
            const QString name = a.captured(1).toLower();
            const QString value = unescapeAttribute(a.hasCaptured(2)   ? a.captured(2)
                                                    : a.hasCaptured(3) ? a.captured(3)
                                                                       : a.captured(4));
            if (name == QLatin1String("src"))
                src = value.trimmed();
            else if (name == QLatin1String("width"))
                boxW = boxLength(value);
            else if (name == QLatin1String("height"))
                boxH = boxLength(value);
            else
                kept += QLatin1Char(' ') + a.captured(0);
        }
        if (src.isEmpty()) continue;
        QString path =
            src.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) ? QUrl(src).toLocalFile() : src;
        if (QFileInfo(path).isRelative())
            path = QDir(baseFolder.isEmpty() ? QDir::currentPath() : baseFolder).filePath(path);
        const CachedPicture pic = cachedPicture(path, boxW, boxH);
        if (pic.image.isNull()) continue;
        if (std::none_of(pictures.cbegin(), pictures.cend(),
                         [&](const Picture& p) { return p.name == pic.name; }))
            pictures.append({pic.name, pic.image});
        out += QStringLiteral("<img src=\"%1\" width=\"%2\" height=\"%3\"%4>")
                   .arg(pic.name)
                   .arg(pic.displayPx.width(), 0, 'f', 2)
                   .arg(pic.displayPx.height(), 0, 'f', 2)
                   .arg(kept);
    }
    out += QStringView(html).mid(done);
    return out;
}

int paintPages(QPagedPaintDevice& device, const PageSetup& setup, const QString& html,
               const QList<Picture>& pictures, const FooterFn& footer)
{
    device.setPageSize(QPageSize(setup.pageSize));
    device.setPageOrientation(setup.orientation);
    // The margins are the engine's own, so the footer can be drawn inside them; a printer
    // that cannot print to the edge keeps its minimum and the offsets below follow it.
    device.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    const QPageLayout layout = device.pageLayout();
    const int dpi = device.logicalDpiY();
    const QRectF paper = layout.fullRectPixels(dpi);
    const QRectF printable = layout.paintRectPixels(dpi);
    const double px = dpi / 25.4;
    const QMarginsF& m = setup.marginsMm;
    const QRectF text(m.left() * px, m.top() * px, paper.width() - (m.left() + m.right()) * px,
                      paper.height() - (m.top() + m.bottom()) * px);
    if (text.width() < 10 * px || text.height() < 10 * px)
        throw Error(QStringLiteral("I margini della pagina non lasciano spazio al testo."));

    const QFont font = textFont(setup);
    QTextDocument doc;
    prepareDocument(doc, device, font, pictures);
    doc.setPageSize(text.size());
    doc.setHtml(html);
    matchTrailingBlanks(doc);
    fitTables(doc, html, px);
    keepTogether(doc, html);
    const int pages = doc.pageCount();

    QPainter painter;
    if (!painter.begin(&device))
        throw Error(QStringLiteral("Impossibile avviare la stampa sul dispositivo scelto."));
    // From here on coordinates are the paper's, whatever the device keeps as margins.
    painter.translate(-printable.topLeft());
    for (int p = 0; p < pages; ++p) {
        if (p > 0) device.newPage();
        painter.save();
        painter.translate(text.left(), text.top() - p * text.height());
        // A line that starts exactly where the page ends belongs to the next page; the
        // clip alone would hide it here but leave its text in the file, read twice by a
        // search or a copy. Half a device pixel off each edge keeps it out.
        doc.drawContents(&painter,
                         QRectF(0, p * text.height(), text.width(), text.height()).adjusted(0, 0.5, 0, -0.5));
        painter.restore();

        if (!footer) continue;
        QList<Picture> footerPictures = pictures;
        const QString footerHtml = footer(p + 1, pages, footerPictures);
        if (footerHtml.trimmed().isEmpty()) continue;
        QTextDocument foot;
        prepareDocument(foot, device, font, footerPictures);
        foot.setTextWidth(text.width());
        foot.setHtml(footerHtml);
        painter.save();
        painter.translate(text.left(), text.bottom() + footerGapMm * px);
        foot.drawContents(&painter);
        painter.restore();
    }
    painter.end();
    return pages;
}

void savePdf(const QString& pdfPath, const QString& title,
             const std::function<void(QPagedPaintDevice&)>& paint)
{
    if (pdfPath.trimmed().isEmpty())
        throw Error(QStringLiteral("Nessun file indicato per il PDF da creare."));
    const QFileInfo info(pdfPath);
    if (info.isDir()) cannotWrite(pdfPath, QStringLiteral("il percorso indica una cartella"));
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder))
        cannotWrite(
            pdfPath,
            QStringLiteral("impossibile creare la cartella \"%1\"").arg(QDir::toNativeSeparators(folder)));

    QSaveFile out(pdfPath);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly)) cannotWrite(pdfPath, writeReason(errno, out.errorString()));
    {
        QPdfWriter writer(&out);
        writer.setResolution(300);
        writer.setCreator(QStringLiteral("Scadenzio"));
        writer.setTitle(title);
        paint(writer);
    }
    errno = 0;
    if (!out.commit()) cannotWrite(pdfPath, writeReason(errno, out.errorString()));
}

} // namespace sz::report::detail
