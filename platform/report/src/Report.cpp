#include "scadenzio/report/Report.h"

#include "Pages.h"
#include "scadenzio/Error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QPagedPaintDevice>
#include <QRegularExpression>
#include <QStringDecoder>

#include <kainjow/mustache.hpp>

#include <algorithm>

namespace sz::report {

namespace {

namespace mu = kainjow::mustache;

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

struct Compiled
{
    QString folder; // where relative picture paths start
    detail::PageSetup setup;
    std::unique_ptr<mu::mustache> body;
    std::unique_ptr<mu::mustache> footer; // null: no footer
};

class ProjectReader
{
public:
    ProjectReader(const QString& path) : m_path(path) {}

    std::shared_ptr<Compiled> read(const QString& text)
    {
        auto compiled = std::make_shared<Compiled>();
        compiled->folder = QFileInfo(m_path).absolutePath();

        qsizetype start = 0;
        while (start < text.size() && (text.at(start).isSpace() || text.at(start) == QChar(0xFEFF)))
            ++start;
        QString body = text.mid(start);
        int bodyLine = lineOf(text, start);
        if (text.mid(start, 4) == QLatin1String("<!--")) {
            const qsizetype end = text.indexOf(QLatin1String("-->"), start + 4);
            if (end < 0)
                invalid(lineOf(text, start),
                        QStringLiteral("manca la chiusura \"-->\" dell'impostazione di pagina"));
            readSetup(text.mid(start + 4, end - start - 4), lineOf(text, start), *compiled);
            body = text.mid(end + 3);
            bodyLine = lineOf(text, end + 3);
        }
        compiled->body = compile(body, bodyLine);
        if (!m_footer.isEmpty()) compiled->footer = compile(m_footer, m_footerLine);
        return compiled;
    }

private:
    static int lineOf(const QString& text, qsizetype pos)
    {
        return 1 + int(QStringView(text).left(pos).count(QLatin1Char('\n')));
    }

    [[noreturn]] void invalid(int line, const QString& what) const
    {
        throw Error(QStringLiteral("Il modello di stampa \"%1\" non è valido: riga %2: %3.")
                        .arg(shown(m_path))
                        .arg(line)
                        .arg(what));
    }

    static bool number(QString text, double& out)
    {
        bool ok = false;
        out = text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        return ok && out >= 0;
    }

    void readSetup(const QString& header, int firstLine, Compiled& c)
    {
        const QStringList lines = header.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            const int lineNo = firstLine + i;
            const QString line = lines.at(i).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
            const qsizetype colon = line.indexOf(QLatin1Char(':'));
            if (colon <= 0)
                invalid(lineNo, QStringLiteral("\"%1\" non è nella forma \"chiave: valore\"").arg(line));
            const QString key = line.left(colon).trimmed().toLower();
            const QString value = line.mid(colon + 1).trimmed();
            if (key == QLatin1String("page"))
                readPage(value, lineNo, c.setup);
            else if (key == QLatin1String("orientation"))
                readOrientation(value, lineNo, c.setup);
            else if (key == QLatin1String("margins"))
                readMargins(value, lineNo, c.setup);
            else if (key == QLatin1String("font"))
                readFont(value, lineNo, c.setup);
            else if (key == QLatin1String("footer")) {
                if (m_footer.isEmpty()) m_footerLine = lineNo;
                m_footer += value + QLatin1Char('\n');
            } else
                invalid(lineNo,
                        QStringLiteral("la voce \"%1\" non esiste (page, orientation, margins, font, footer)")
                            .arg(line.left(colon).trimmed()));
        }
        // Checked once all is read: orientation may come after the margins.
        QSizeF paper = QPageSize(c.setup.pageSize).size(QPageSize::Millimeter);
        if (c.setup.orientation == QPageLayout::Landscape) paper.transpose();
        const QMarginsF& m = c.setup.marginsMm;
        if (paper.width() - m.left() - m.right() < 10 || paper.height() - m.top() - m.bottom() < 10)
            invalid(m_marginsLine ? m_marginsLine : firstLine,
                    QStringLiteral("i margini non lasciano spazio al testo"));
    }

    void readPage(const QString& value, int lineNo, detail::PageSetup& s) const
    {
        static const QHash<QString, QPageSize::PageSizeId> sizes{
            {QStringLiteral("a3"), QPageSize::A3},       {QStringLiteral("a4"), QPageSize::A4},
            {QStringLiteral("a5"), QPageSize::A5},       {QStringLiteral("letter"), QPageSize::Letter},
            {QStringLiteral("legal"), QPageSize::Legal},
        };
        const auto it = sizes.constFind(value.toLower());
        if (it == sizes.constEnd())
            invalid(
                lineNo,
                QStringLiteral("il formato \"%1\" non è previsto (A3, A4, A5, Letter, Legal)").arg(value));
        s.pageSize = *it;
    }

    void readOrientation(const QString& value, int lineNo, detail::PageSetup& s) const
    {
        const QString v = value.toLower();
        if (v == QLatin1String("portrait") || v == QLatin1String("verticale"))
            s.orientation = QPageLayout::Portrait;
        else if (v == QLatin1String("landscape") || v == QLatin1String("orizzontale"))
            s.orientation = QPageLayout::Landscape;
        else
            invalid(lineNo,
                    QStringLiteral("l'orientamento \"%1\" non è previsto (portrait o landscape)").arg(value));
    }

    void readMargins(const QString& value, int lineNo, detail::PageSetup& s)
    {
        const QStringList parts = value.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        QList<double> mm;
        for (const QString& p : parts) {
            double v = 0;
            mm.append(number(p, v) ? v : -1);
        }
        const bool bad = std::any_of(mm.cbegin(), mm.cend(), [](double v) { return v < 0; });
        if (bad || (mm.size() != 1 && mm.size() != 4))
            invalid(lineNo, QStringLiteral("i margini \"%1\" non sono validi: servono 1 o 4 misure in mm "
                                           "(sopra destra sotto sinistra)")
                                .arg(value));
        if (mm.size() == 1)
            s.marginsMm = QMarginsF(mm[0], mm[0], mm[0], mm[0]);
        else
            s.marginsMm = QMarginsF(mm[3], mm[0], mm[1], mm[2]);
        m_marginsLine = lineNo;
    }

    void readFont(const QString& value, int lineNo, detail::PageSetup& s) const
    {
        QStringList parts = value.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        double size = 0;
        if (!parts.isEmpty() && number(parts.last(), size)) {
            if (size < 4 || size > 72)
                invalid(lineNo,
                        QStringLiteral("la dimensione del carattere \"%1\" non è valida (da 4 a 72 punti)")
                            .arg(parts.last()));
            s.fontPointSize = size;
            parts.removeLast();
        }
        if (!parts.isEmpty()) s.fontFamily = parts.join(QLatin1Char(' '));
    }

    // The tag library reports a byte offset in English; the author needs a line.
    std::unique_ptr<mu::mustache> compile(const QString& text, int firstLine) const
    {
        const std::string utf8 = text.toStdString();
        auto t = std::make_unique<mu::mustache>(utf8);
        if (!t->is_valid()) {
            static const QRegularExpression error(QStringLiteral("^(.*?)(?: \"(.*)\")? at (\\d+)$"));
            const QString message = QString::fromStdString(t->error_message());
            const QRegularExpressionMatch m = error.match(message);
            int line = firstLine;
            QString what = QStringLiteral("tag non valido (%1)").arg(message);
            if (m.hasMatch()) {
                const auto offset = std::min<size_t>(m.captured(3).toULongLong(), utf8.size());
                line += int(std::count(utf8.begin(), utf8.begin() + qsizetype(offset), '\n'));
                const QString kind = m.captured(1), name = m.captured(2);
                if (kind == QLatin1String("Unclosed tag"))
                    what = QStringLiteral("un tag aperto con \"{{\" non è chiuso");
                else if (kind == QLatin1String("Unclosed section"))
                    what = QStringLiteral("la sezione \"%1\" non è chiusa").arg(name);
                else if (kind == QLatin1String("Unopened section"))
                    what = QStringLiteral("la sezione \"%1\" è chiusa senza essere stata aperta").arg(name);
                else if (kind == QLatin1String("Invalid set delimiter tag"))
                    what = QStringLiteral("il cambio di delimitatori non è valido");
            }
            invalid(line, what);
        }
        // Values arrive already escaped (with their line breaks as <br />), so {{x}} and
        // {{{x}}} print the same and no template can let markup through.
        t->set_custom_escape([](const std::string& s) { return s; });
        return t;
    }

    QString m_path;
    QString m_footer;
    int m_footerLine = 0;
    int m_marginsLine = 0;
};

struct CacheEntry
{
    qint64 modified = 0;
    qint64 size = 0;
    std::shared_ptr<Compiled> compiled;
};

QMutex cacheMutex;
QHash<QString, CacheEntry> projectCache;

// A run of letters reads and parses its template once; an edited file is read again.
std::shared_ptr<Compiled> compiledProject(const QString& path)
{
    if (path.trimmed().isEmpty()) throw Error(QStringLiteral("Nessun modello di stampa indicato."));
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("Il modello di stampa \"%1\" non esiste.").arg(shown(path)));
    if (!info.isFile())
        throw Error(QStringLiteral("Il modello di stampa \"%1\" non è un file.").arg(shown(path)));
    const QString key = info.absoluteFilePath();
    const qint64 modified = info.lastModified().toMSecsSinceEpoch();
    {
        QMutexLocker lock(&cacheMutex);
        const auto it = projectCache.constFind(key);
        if (it != projectCache.constEnd() && it->modified == modified && it->size == info.size())
            return it->compiled;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Impossibile leggere il modello di stampa \"%1\": %2.")
                        .arg(shown(path), file.error() == QFileDevice::PermissionsError
                                              ? QStringLiteral("accesso negato")
                                              : file.errorString()));
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (utf8.hasError())
        throw Error(QStringLiteral("Il modello di stampa \"%1\" non è un testo UTF-8.").arg(shown(path)));
    auto compiled = ProjectReader(path).read(text);

    QMutexLocker lock(&cacheMutex);
    projectCache.insert(key, {modified, info.size(), compiled});
    return compiled;
}

void forgetProject(const QString& path)
{
    QMutexLocker lock(&cacheMutex);
    projectCache.remove(QFileInfo(path).absoluteFilePath());
}

// HTML-escaped, with every kind of line break (CR LF, lone CR, lone LF) as <br />, and the
// blank inside "€ 12,00" and "10,15 %" a no-break space.
std::string escaped(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\r':
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
            out += QLatin1String("<br />");
            break;
        case '\n':
            out += QLatin1String("<br />");
            break;
        case ' ': {
            // An amount is read as one word: "€" never ends a line whose number starts the
            // next, nor does a rate part from its "%".
            const QChar before = i > 0 ? text.at(i - 1) : QChar();
            const QChar after = i + 1 < text.size() ? text.at(i + 1) : QChar();
            const bool glued = (before == QChar(0x20AC) &&
                                (after.isDigit() || after == QLatin1Char('-') || after == QLatin1Char('+'))) ||
                               (before.isDigit() && after == QLatin1Char('%'));
            out += glued ? QChar(0x00A0) : c;
            break;
        }
        default:
            out += c;
        }
    }
    return out.toStdString();
}

// An empty text is false, so that {{#Name}} shows a part only when Name has something.
mu::data value(const QString& text)
{
    if (text.isEmpty()) return mu::data(false);
    return mu::data(escaped(text));
}

} // namespace

struct Project::Impl
{
    QString projectPath;
    std::shared_ptr<Compiled> compiled;
    QString outputPath;
    QHash<QString, QString> parameters;
    QHash<QString, DataView> views;

    const Compiled& project() const
    {
        if (!compiled)
            throw Error(
                QStringLiteral("Nessun modello di stampa impostato: impossibile preparare la stampa."));
        return *compiled;
    }

    // What a PDF reader shows as the document's name: the letter's own title, else its
    // subject; the template's file name only when the letter has neither.
    QString title() const
    {
        for (const char* name : {"Titolo", "Oggetto"}) {
            QString t = parameters.value(QLatin1String(name)).simplified();
            if (!t.isEmpty()) return t;
        }
        return QFileInfo(projectPath).completeBaseName();
    }

    mu::data data() const
    {
        mu::data root;
        for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
            root.set(it.key().toStdString(), value(it.value()));
        mu::data withRows;
        for (auto it = views.cbegin(); it != views.cend(); ++it) {
            mu::data rows(mu::data::type::list);
            for (const Row& r : it.value()) {
                mu::data row;
                for (auto f = r.cbegin(); f != r.cend(); ++f)
                    row.set(f.key().toStdString(), value(f.value()));
                rows.push_back(row);
            }
            root.set(it.key().toStdString(), rows);
            withRows.set(it.key().toStdString(), mu::data(!it.value().isEmpty()));
        }
        root.set("ConRighe", withRows);
        return root;
    }

    QString render(mu::mustache& tmpl, const std::string& result) const
    {
        if (!tmpl.is_valid()) {
            // A failed render leaves its message in the parsed template: parse it afresh.
            const QString message = QString::fromStdString(tmpl.error_message());
            forgetProject(projectPath);
            throw Error(QStringLiteral("Il modello di stampa \"%1\" non è valido: %2.")
                            .arg(shown(projectPath), message));
        }
        return QString::fromStdString(result);
    }

    QString body(const mu::data& root) const
    {
        mu::mustache& tmpl = *project().body;
        const std::string out = tmpl.render(root);
        return render(tmpl, out);
    }

    int paint(QPagedPaintDevice& device) const
    {
        const Compiled& c = project();
        const mu::data root = data();
        QList<detail::Picture> pictures;
        const QString html = detail::preparePictures(body(root), c.folder, pictures);
        detail::FooterFn footer;
        if (c.footer) {
            footer = [&](int page, int pages, QList<detail::Picture>& footerPictures) {
                mu::data numbers;
                numbers.set("Pagina", std::to_string(page));
                numbers.set("Pagine", std::to_string(pages));
                numbers.set("PiuPagine", mu::data(pages > 1));
                mu::context<std::string> ctx(&root);
                ctx.push(&numbers);
                const std::string out = c.footer->render(ctx);
                return detail::preparePictures(render(*c.footer, out), c.folder, footerPictures);
            };
        }
        return detail::paintPages(device, c.setup, html, pictures, footer);
    }
};

Project::Project() : d(std::make_unique<Impl>()) {}

Project::~Project() = default;

void Project::setProjectFile(const QString& path)
{
    d->compiled.reset();
    d->projectPath = path;
    d->compiled = compiledProject(path);
}

QString Project::projectFile() const
{
    return d->projectPath;
}

void Project::setOutputFile(const QString& pdfPath)
{
    d->outputPath = pdfPath;
}

void Project::setDataView(const QString& name, DataView rows)
{
    d->views.insert(name, std::move(rows));
}

void Project::setParameter(const QString& name, const QString& value)
{
    d->parameters.insert(name, value);
}

void Project::execute()
{
    d->project();
    if (d->outputPath.trimmed().isEmpty())
        throw Error(
            QStringLiteral("Nessun file indicato per la stampa di \"%1\".").arg(shown(d->projectPath)));
    detail::savePdf(d->outputPath, d->title(), [this](QPagedPaintDevice& device) { d->paint(device); });
}

void Project::print(QPagedPaintDevice* device)
{
    if (!device) throw Error(QStringLiteral("Nessuna stampante su cui stampare."));
    d->paint(*device);
}

QString Project::renderHtml() const
{
    return d->body(d->data());
}

void Project::close()
{
    d->parameters.clear();
    d->views.clear();
    d->outputPath.clear();
}

} // namespace sz::report
