#include "scadenzio/Dataset.h"
#include "scadenzio/Dialect.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"
#include "scadenzio/RecordFilter.h"

#include <QMap>
#include <QSet>
#include <algorithm>
#include <optional>
#include <string_view>

namespace sz::db {

namespace {

const int moneyType = qMetaTypeId<Money>();
const int formattedType = qMetaTypeId<FormattedAmount>();

struct SortKey
{
    int field = -1;
    bool desc = false;
};

QString quoteName(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

int indexIn(const QVector<Column>& cols, const QString& name)
{
    for (int i = 0; i < cols.size(); ++i)
        if (cols[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QStringList namesOf(const QVector<Column>& cols)
{
    QStringList out;
    out.reserve(cols.size());
    for (const auto& c : cols)
        out << c.name;
    return out;
}

// "Cliente ASC, [Scadenza] DESC" resolved against the columns of a result.
QVector<SortKey> parseSort(const QString& text, const QVector<Column>& cols)
{
    QVector<SortKey> keys;
    const auto parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString part : parts) {
        part = part.trimmed();
        if (part.isEmpty())
            continue;
        SortKey k;
        const QString upper = part.toUpper();
        if (upper.endsWith(QLatin1String(" DESC"))) {
            k.desc = true;
            part.chop(5);
        } else if (upper.endsWith(QLatin1String(" ASC"))) {
            part.chop(4);
        }
        part = part.trimmed();
        if (part.startsWith(QLatin1Char('[')) && part.endsWith(QLatin1Char(']')))
            part = part.mid(1, part.size() - 2).trimmed();
        k.field = indexIn(cols, part);
        if (k.field < 0)
            throw Error(QStringLiteral("Ordinamento non valido: colonna \"%1\" sconosciuta").arg(part));
        keys << k;
    }
    return keys;
}

// Case folding per UTF-16 unit, the same folding compareText and likeMatch apply,
// so that a plain comparison of folded texts orders as compareText does.
inline char16_t foldUnit(char16_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c;
    return QChar(c).toCaseFolded().unicode();
}

enum class KeyKind { None, Integer, Real, Text };

// How a column sorts, from the values it holds: one type throughout (dates, amounts,
// integers, numbers) sorts by value; anything mixed falls back to text.
KeyKind kindOfColumn(const QVector<QVector<QVariant>>& rows, int f)
{
    enum Cat { Unset, Date, Amount, Int, Real, Other };
    Cat seen = Unset;
    for (const auto& row : rows) {
        const QVariant& v = row[f];
        if (!v.isValid())
            continue;
        Cat c = Other;
        switch (v.userType()) {
        case QMetaType::QDate:
            c = Date;
            break;
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            c = Int;
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            c = Real;
            break;
        default:
            // A formatted amount column sorts by the amount, never by its characters
            // ("€ 500,00" after "€ 2.000,00").
            c = v.userType() == moneyType || v.userType() == formattedType ? Amount : Other;
        }
        if (seen == Unset)
            seen = c;
        else if (seen != c) {
            if ((seen == Int && c == Real) || (seen == Real && c == Int))
                seen = Real;
            else
                return KeyKind::Text;
        }
        if (seen == Other)
            return KeyKind::Text;
    }
    switch (seen) {
    case Unset:
        return KeyKind::None;
    case Real:
        return KeyKind::Real;
    case Other:
        return KeyKind::Text;
    default:
        return KeyKind::Integer;
    }
}

qint64 integerKey(const QVariant& v)
{
    switch (v.userType()) {
    case QMetaType::QDate:
        return v.toDate().toJulianDay();
    case QMetaType::Bool:
        return v.toBool() ? 1 : 0;
    default:
        if (v.userType() == moneyType)
            return v.value<Money>().raw();
        if (v.userType() == formattedType)
            return v.value<FormattedAmount>().amount.raw();
        return v.toLongLong();
    }
}

// Ranks of one column's values: 0 for null, then 1.. in ascending order, equal values
// sharing a rank. Sorting then compares small integers, whatever the column type.
QVector<int> rankColumn(const QVector<QVector<QVariant>>& rows, int f)
{
    const int n = int(rows.size());
    QVector<int> rank(n, 0);
    const KeyKind kind = kindOfColumn(rows, f);
    if (kind == KeyKind::None)
        return rank;
    if (kind == KeyKind::Integer || kind == KeyKind::Real) {
        std::vector<std::pair<double, int>> realKeys;
        std::vector<std::pair<qint64, int>> intKeys;
        for (int r = 0; r < n; ++r) {
            const QVariant& v = rows[r][f];
            if (!v.isValid())
                continue;
            if (kind == KeyKind::Integer)
                intKeys.emplace_back(integerKey(v), r);
            else
                realKeys.emplace_back(v.toDouble(), r);
        }
        auto assign = [&rank](auto& keys) {
            std::sort(keys.begin(), keys.end());
            int next = 0;
            for (size_t i = 0; i < keys.size(); ++i) {
                if (i == 0 || keys[i - 1].first < keys[i].first)
                    ++next;
                rank[keys[i].second] = next;
            }
        };
        if (kind == KeyKind::Integer)
            assign(intKeys);
        else
            assign(realKeys);
        return rank;
    }

    // Text: all folded keys in one buffer (no allocation per row); the first eight
    // characters, packed in two integers, decide most comparisons without touching it.
    struct TextKey
    {
        quint64 head0;
        quint64 head1;
        int row;
        int offset;
        int length;
    };
    std::u16string buffer;
    std::vector<TextKey> order;
    order.reserve(size_t(n));
    QString converted;
    for (int r = 0; r < n; ++r) {
        const QVariant& v = rows[r][f];
        if (!v.isValid())
            continue;
        QStringView text;
        if (v.userType() == QMetaType::QString) {
            text = *static_cast<const QString*>(v.constData());
        } else {
            converted = v.toString(); // dates as ISO text still sort as dates
            text = converted;
        }
        TextKey k{0, 0, r, int(buffer.size()), int(text.size())};
        for (qsizetype i = 0; i < text.size(); ++i)
            buffer.push_back(foldUnit(text[i].unicode()));
        for (int i = 0; i < 8; ++i) {
            const quint64 c = i < k.length ? buffer[size_t(k.offset + i)] : 0u;
            (i < 4 ? k.head0 : k.head1) = ((i < 4 ? k.head0 : k.head1) << 16) | c;
        }
        order.push_back(k);
    }
    const std::u16string_view all(buffer);
    auto cmp = [&all](const TextKey& a, const TextKey& b) {
        if (a.head0 != b.head0)
            return a.head0 < b.head0 ? -1 : 1;
        if (a.head1 != b.head1)
            return a.head1 < b.head1 ? -1 : 1;
        if (a.length <= 8 && b.length <= 8)
            return a.length - b.length;
        return all.substr(size_t(a.offset), size_t(a.length)).compare(all.substr(size_t(b.offset), size_t(b.length)));
    };
    std::sort(order.begin(), order.end(), [&cmp](const TextKey& a, const TextKey& b) { return cmp(a, b) < 0; });
    int next = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i == 0 || cmp(order[i - 1], order[i]) != 0)
            ++next;
        rank[order[i].row] = next;
    }
    return rank;
}

bool locateEquals(const QVariant& cell, const QVariant& wanted)
{
    if (!cell.isValid() || !wanted.isValid())
        return cell.isValid() == wanted.isValid();
    const int type = cell.userType();
    if (type == QMetaType::QString)
        return compareText(*static_cast<const QString*>(cell.constData()), wanted.toString()) == 0;
    if (type == qMetaTypeId<FormattedAmount>())
        return compareText(cell.toString(), wanted.toString()) == 0;
    if (type == QMetaType::QDate) {
        if (wanted.userType() == QMetaType::QDate)
            return cell.toDate() == wanted.toDate();
        const QString s = wanted.toString();
        const QDate d = dates::fromDisplay(s).isValid() ? dates::fromDisplay(s) : dates::fromIso(s);
        return d.isValid() && d == cell.toDate();
    }
    if (type == moneyType) {
        const Money m = cell.value<Money>();
        if (wanted.userType() == moneyType)
            return m == wanted.value<Money>();
        if (wanted.userType() == QMetaType::QString) {
            const auto p = Money::parse(wanted.toString());
            return p && *p == m;
        }
        return m == Money::fromDouble(wanted.toDouble());
    }
    if (type == QMetaType::Bool)
        return cell.toBool() == wanted.toBool();
    if (wanted.userType() == QMetaType::QString) {
        bool ok = false;
        const double n = wanted.toString().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        return ok && n == cell.toDouble();
    }
    return cell == wanted || cell.toDouble() == wanted.toDouble();
}

} // namespace

// A value as the list holds it against the same column read again: the reader gives
// both the same type, except for a row this list inserted, whose values came from the
// editors (an integer typed as text, say).
bool sameStoredValue(const QVariant& held, const QVariant& stored)
{
    if (!held.isValid() || !stored.isValid())
        return held.isValid() == stored.isValid();
    if (held.userType() == stored.userType())
        return held == stored;
    return held.toString() == stored.toString();
}

struct Dataset::Impl
{
    explicit Impl(Connection& c) : conn(c) {}

    Connection& conn;
    QString table;
    QString sql;
    Params params;

    State state = State::Inactive;
    QVector<Column> columns;
    QVector<QVector<QVariant>> rows; // as read, plus posted inserts at the end
    // Deleted rows stay as tombstones so that source row numbers hold until requery.
    QVector<char> alive;
    QVector<char> pass;   // passes the filter
    QVector<int> order;   // living source rows in sort order
    QVector<int> visible; // order, filtered
    QVector<QVector<int>> ranks; // per field; empty until a sort needs it
    std::vector<FoldedColumn> folded; // per field; empty until a like needs it
    int idField = -1;
    int cur = -1;
    bool bof = true;
    bool eof = true;

    QString filterText;
    std::optional<RecordFilter> filter;
    QString sortText;
    QVector<SortKey> sortKeys;

    QVector<QVariant> buffer;
    QVector<char> touched;
    QMap<int, QString> inputErrors; // field -> message, while editing
    int editSrc = -1;
    QSet<QString> tableColumns; // lower case; read on the first write
    bool tableColumnsRead = false;

    int curSrc() const { return cur >= 0 && cur < visible.size() ? visible[cur] : -1; }

    void evaluateFilter()
    {
        const int n = int(rows.size());
        pass.resize(n);
        if (!filter) {
            pass = alive;
            return;
        }
        QList<int> stale;
        for (int c : filter->likeColumns()) {
            if (folded[size_t(c)].size() != n) {
                folded[size_t(c)] = FoldedColumn();
                folded[size_t(c)].reserve(n);
                stale << c;
            }
        }
        if (!stale.isEmpty()) {
            for (const auto& row : std::as_const(rows))
                for (int c : std::as_const(stale))
                    folded[size_t(c)].append(row[c]);
        }
        for (int r = 0; r < n; ++r)
            pass[r] = alive[r] && filter->matches(rows[r], r, folded);
    }

    const QVector<int>& rankOf(int f)
    {
        if (ranks[f].size() != rows.size())
            ranks[f] = rankColumn(rows, f);
        return ranks[f];
    }

    void sortOrder()
    {
        order.clear();
        order.reserve(rows.size());
        for (int r = 0; r < rows.size(); ++r)
            if (alive[r])
                order.push_back(r);
        if (sortKeys.isEmpty())
            return;
        std::vector<std::pair<const int*, bool>> keys;
        for (const auto& k : sortKeys)
            keys.emplace_back(rankOf(k.field).constData(), k.desc);
        // Ties fall back to the read order, which keeps the sort stable.
        std::sort(order.begin(), order.end(), [&keys](int a, int b) {
            for (const auto& [rank, desc] : keys) {
                if (rank[a] != rank[b])
                    return desc ? rank[a] > rank[b] : rank[a] < rank[b];
            }
            return a < b;
        });
    }

    void rebuildVisible()
    {
        visible.clear();
        visible.reserve(order.size());
        for (int r : order)
            if (pass[r])
                visible.push_back(r);
    }

    int visibleIndexOf(int src) const
    {
        if (src < 0)
            return -1;
        const auto it = std::find(visible.cbegin(), visible.cend(), src);
        return it == visible.cend() ? -1 : int(it - visible.cbegin());
    }

    // Reads the rows again. Filter and sort are resolved against the new columns
    // before anything is replaced, so a failure leaves the dataset as it was.
    void load(const std::function<void(Result&)>& afterRead)
    {
        if (sql.trimmed().isEmpty())
            throw Error(QStringLiteral("Nessuna istruzione SQL da eseguire"));
        Result r = Statement(conn, sql).run(params);
        if (afterRead)
            afterRead(r);
        std::optional<RecordFilter> compiled;
        if (!filterText.trimmed().isEmpty())
            compiled.emplace(filterText, namesOf(r.columns));
        QVector<SortKey> keys = parseSort(sortText, r.columns);

        buffer.clear();
        touched.clear();
        editSrc = -1;
        columns = std::move(r.columns);
        rows = std::move(r.rows);
        alive = QVector<char>(rows.size(), char(1));
        ranks = QVector<QVector<int>>(columns.size());
        folded = std::vector<FoldedColumn>(size_t(columns.size()));
        idField = indexIn(columns, QStringLiteral("ID"));
        filter = std::move(compiled);
        sortKeys = std::move(keys);
        tableColumnsRead = false;
        evaluateFilter();
        sortOrder();
        rebuildVisible();
        cur = -1;
        bof = eof = visible.isEmpty();
        state = State::Browse;
    }

    // Another window, workstation or the command-line tool may have written the row since
    // it was read. Writing the edit buffer over it would keep some of their values and
    // undo others, so the save is refused and the typing kept for the user to redo.
    void refuseIfChangedElsewhere(int src)
    {
        loadTableColumns();
        QStringList read;
        QVector<int> fields;
        for (int f = 0; f < columns.size(); ++f) {
            if (tableColumns.contains(columns[f].name.toLower())) {
                read << quoteName(columns[f].name);
                fields << f;
            }
        }
        // Read with the row's write lock where the engine locks rows, not the whole
        // database: nobody else can change it between this check and the write.
        const Result now = conn.query(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = :ID")
                                              .arg(read.join(QStringLiteral(", ")), quoteName(table),
                                                   quoteName(columns[idField].name)) +
                                          conn.dialect().lockRows(),
                                      {{QStringLiteral(":ID"), rows[src][idField]}});
        if (now.rows.isEmpty())
            throw Error(QStringLiteral("Il record da salvare non esiste più: forse è stato eliminato da un'altra "
                                       "finestra o postazione. Premere Annulla e poi Aggiorna"));
        for (int i = 0; i < fields.size(); ++i) {
            if (!sameStoredValue(rows[src][fields[i]], now.rows[0][i]))
                throw Error(QStringLiteral(
                    "il record è stato modificato da un'altra finestra o postazione dopo che è stato letto; le "
                    "modifiche non sono state salvate e restano sullo schermo. Annotarle, premere Annulla e poi "
                    "Aggiorna per leggere i dati attuali"));
        }
    }

    void loadTableColumns()
    {
        if (tableColumnsRead)
            return;
        tableColumns.clear();
        for (const auto& c : conn.tableColumns(table))
            tableColumns.insert(c.name.toLower());
        tableColumnsRead = true;
    }
};

Dataset::Dataset(Connection& conn, const QString& table, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>(conn))
{
    d->table = table;
}

Dataset::~Dataset() = default;

void Dataset::setSql(const QString& sql, const Params& params)
{
    d->sql = sql;
    d->params = params;
}

QString Dataset::sql() const
{
    return d->sql;
}

void Dataset::setParams(const Params& params)
{
    d->params = params;
}

bool Dataset::isOpen() const
{
    return d->state != State::Inactive;
}

Dataset::State Dataset::state() const
{
    return d->state;
}

// ---- reading ----------------------------------------------------------------------

void Dataset::open()
{
    const State oldState = d->state;
    d->load(afterRead);
    d->cur = d->visible.isEmpty() ? -1 : 0;
    emit rowsReset();
    if (oldState != State::Browse)
        emit stateChanged();
    emit currentChanged(d->cur);
    if (afterScroll)
        afterScroll(*this);
}

void Dataset::close()
{
    if (d->state == State::Inactive)
        return;
    d->state = State::Inactive;
    d->columns.clear();
    d->rows.clear();
    d->alive.clear();
    d->pass.clear();
    d->order.clear();
    d->visible.clear();
    d->ranks.clear();
    d->folded.clear();
    d->buffer.clear();
    d->touched.clear();
    d->editSrc = -1;
    d->idField = -1;
    d->cur = -1;
    d->bof = d->eof = true;
    emit rowsReset();
    emit stateChanged();
    emit currentChanged(-1);
}

void Dataset::requery()
{
    if (d->state == State::Inactive) {
        open();
        return;
    }
    post();
    const int oldRec = d->cur;
    const int src = d->curSrc();
    const QVariant id = d->idField >= 0 && src >= 0 ? d->rows[src][d->idField] : QVariant();

    d->load(afterRead);
    int rec = -1;
    if (id.isValid() && d->idField >= 0) {
        for (int i = 0; i < d->visible.size(); ++i) {
            if (d->rows[d->visible[i]][d->idField] == id) {
                rec = i;
                break;
            }
        }
    }
    if (rec < 0 && !d->visible.isEmpty())
        rec = std::clamp(oldRec, 0, int(d->visible.size()) - 1);
    d->cur = rec;
    emit rowsReset();
    emit currentChanged(d->cur);
    if (afterScroll)
        afterScroll(*this);
}

int Dataset::fieldCount() const
{
    return int(d->columns.size());
}

QString Dataset::fieldName(int field) const
{
    return field >= 0 && field < d->columns.size() ? d->columns[field].name : QString();
}

int Dataset::fieldIndex(const QString& name) const
{
    return indexIn(d->columns, name);
}

QString Dataset::declaredType(int field) const
{
    return field >= 0 && field < d->columns.size() ? d->columns[field].declaredType : QString();
}

// ---- moving -------------------------------------------------------------------------

int Dataset::recordCount() const
{
    return int(d->visible.size());
}

bool Dataset::isEmpty() const
{
    return d->visible.isEmpty();
}

int Dataset::recNo() const
{
    return d->cur;
}

void Dataset::moveTo(int visibleRow)
{
    if (d->state == State::Inactive)
        return;
    post(); // leaving a row saves it, as the navigator expects
    if (d->visible.isEmpty()) {
        d->bof = d->eof = true;
        return;
    }
    const int target = std::clamp(visibleRow, 0, int(d->visible.size()) - 1);
    d->bof = d->eof = false;
    if (target == d->cur)
        return;
    d->cur = target;
    emit currentChanged(d->cur);
    if (afterScroll)
        afterScroll(*this);
}

void Dataset::first()
{
    moveTo(0);
}

void Dataset::last()
{
    moveTo(int(d->visible.size()) - 1);
}

void Dataset::next()
{
    if (d->state != State::Inactive && !d->visible.isEmpty() && d->cur >= int(d->visible.size()) - 1) {
        post();
        d->eof = true;
        return;
    }
    moveTo(d->cur + 1);
}

void Dataset::prior()
{
    if (d->state != State::Inactive && !d->visible.isEmpty() && d->cur <= 0) {
        post();
        d->bof = true;
        return;
    }
    moveTo(d->cur - 1);
}

bool Dataset::bof() const
{
    return d->bof || d->visible.isEmpty();
}

bool Dataset::eof() const
{
    return d->eof || d->visible.isEmpty();
}

bool Dataset::locate(const QString& field, const QVariant& value)
{
    const int f = fieldIndex(field);
    if (f < 0)
        throw Error(QStringLiteral("Campo \"%1\" sconosciuto").arg(field));
    post();
    for (int i = 0; i < d->visible.size(); ++i) {
        if (locateEquals(d->rows[d->visible[i]][f], value)) {
            moveTo(i);
            return true;
        }
    }
    return false;
}

// ---- values -------------------------------------------------------------------------

QVariant Dataset::value(const QString& field) const
{
    const int f = fieldIndex(field);
    if (f < 0)
        throw Error(QStringLiteral("Campo \"%1\" sconosciuto").arg(field));
    return value(f);
}

QVariant Dataset::value(int field) const
{
    if (field < 0 || field >= d->columns.size())
        return {};
    if (d->state == State::Edit || d->state == State::Insert)
        return d->buffer[field];
    const int src = d->curSrc();
    return src >= 0 ? d->rows[src][field] : QVariant();
}

QVariant Dataset::valueAt(int visibleRow, int field) const
{
    if (visibleRow < 0 || visibleRow >= d->visible.size() || field < 0 || field >= d->columns.size())
        return {};
    return d->rows[d->visible[visibleRow]][field];
}

int Dataset::sourceRow(int visibleRow) const
{
    return visibleRow >= 0 && visibleRow < d->visible.size() ? d->visible[visibleRow] : -1;
}

// ---- editing ------------------------------------------------------------------------

namespace {

// Values typed in boxes arrive as text; the buffer holds them as the column reads
// back from the database, so that filter and sort treat a posted row like the others.
QVariant normalised(const QVariant& v, const Column& col)
{
    if (!v.isValid() || v.isNull())
        return {};
    const QString& type = col.declaredType;
    const bool isText = v.userType() == QMetaType::QString;
    const QString text = isText ? v.toString().trimmed() : QString();
    auto refuse = [&](const char* what) -> QVariant {
        throw Error(QStringLiteral("Il valore \"%1\" non è %2 per il campo %3")
                        .arg(v.toString(), QString::fromUtf8(what), col.name));
    };
    if (type.startsWith(QLatin1String("DATETIME")) || type == QLatin1String("DATE")) {
        if (v.userType() == QMetaType::QDate)
            return v.toDate().isValid() ? v : QVariant();
        if (v.userType() == QMetaType::QDateTime)
            return v.toDateTime().date();
        if (isText) {
            if (text.isEmpty() || v.toString() == dates::EmptyMask)
                return {};
            QDate d = dates::fromDisplay(text);
            if (!d.isValid())
                d = dates::fromIso(text);
            return d.isValid() ? QVariant(d) : refuse("una data valida");
        }
        return v;
    }
    if (type.startsWith(QLatin1String("CURRENCY"))) {
        if (v.userType() == moneyType)
            return v;
        if (isText) {
            if (text.isEmpty())
                return {};
            const auto m = Money::parse(text);
            return m ? QVariant::fromValue(*m) : refuse("un importo valido");
        }
        switch (v.userType()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return QVariant::fromValue(Money::fromRaw(v.toLongLong() * Money::Scale));
        case QMetaType::Double:
        case QMetaType::Float:
            return QVariant::fromValue(Money::fromDouble(v.toDouble()));
        default:
            return v;
        }
    }
    if (type.startsWith(QLatin1String("YESNO"))) {
        if (v.userType() == QMetaType::Bool)
            return v;
        if (isText) {
            const QString w = text.toLower();
            if (w == QLatin1String("si") || w == QLatin1String("sì") || w == QLatin1String("true") || w == QLatin1String("1") ||
                w == QLatin1String("-1"))
                return true;
            if (w == QLatin1String("no") || w == QLatin1String("false") || w == QLatin1String("0"))
                return false;
            return refuse("un valore SI/NO");
        }
        return v.toDouble() != 0.0;
    }
    if (v.userType() == QMetaType::Int || v.userType() == QMetaType::UInt)
        return qlonglong(v.toLongLong());
    return v;
}

} // namespace

void Dataset::edit()
{
    if (d->state == State::Edit || d->state == State::Insert)
        return;
    if (d->state != State::Browse)
        throw Error(QStringLiteral("L'elenco non è aperto"));
    if (d->table.isEmpty())
        throw Error(QStringLiteral("L'elenco è in sola lettura"));
    if (d->curSrc() < 0)
        throw Error(QStringLiteral("Nessun record da modificare"));
    if (beforeEdit)
        beforeEdit(*this);
    d->editSrc = d->curSrc();
    d->buffer = d->rows[d->editSrc];
    d->touched = QVector<char>(d->columns.size(), char(0));
    d->inputErrors.clear();
    d->state = State::Edit;
    emit stateChanged();
}

void Dataset::insert()
{
    if (d->state == State::Inactive)
        throw Error(QStringLiteral("L'elenco non è aperto"));
    if (d->table.isEmpty())
        throw Error(QStringLiteral("L'elenco è in sola lettura"));
    post();
    if (beforeInsert)
        beforeInsert(*this);
    d->editSrc = -1;
    d->buffer = QVector<QVariant>(d->columns.size());
    d->touched = QVector<char>(d->columns.size(), char(0));
    d->inputErrors.clear();
    d->state = State::Insert;
    emit stateChanged();
    if (afterInsert)
        afterInsert(*this);
}

void Dataset::setValue(const QString& field, const QVariant& value)
{
    if (d->state != State::Edit && d->state != State::Insert)
        throw Error(QStringLiteral("Il record non è in modifica: impossibile impostare il campo %1").arg(field));
    const int f = fieldIndex(field);
    if (f < 0)
        throw Error(QStringLiteral("Campo \"%1\" sconosciuto").arg(field));
    d->buffer[f] = normalised(value, d->columns[f]);
    d->touched[f] = 1;
    d->inputErrors.remove(f);
}

bool Dataset::isModified() const
{
    if (d->state != State::Edit && d->state != State::Insert)
        return false;
    return std::any_of(d->touched.cbegin(), d->touched.cend(), [](char t) { return t != 0; }) ||
           !d->inputErrors.isEmpty();
}

void Dataset::setInputError(const QString& field, const QString& message)
{
    if (d->state != State::Edit && d->state != State::Insert)
        return;
    const int f = fieldIndex(field);
    if (f < 0)
        throw Error(QStringLiteral("Campo \"%1\" sconosciuto").arg(field));
    if (message.isEmpty())
        d->inputErrors.remove(f);
    else
        d->inputErrors.insert(f, message);
}

void Dataset::post()
{
    if (d->state != State::Edit && d->state != State::Insert)
        return;
    // What an editor could not read must not be saved as empty, or as anything else.
    if (!d->inputErrors.isEmpty())
        throw InvalidInput(d->inputErrors.first());
    if (beforePost)
        beforePost(*this);
    d->loadTableColumns();

    // Only columns of the table are written: computed ones (formatted amounts,
    // joined names) exist in the result alone.
    QStringList names;
    Params params;
    for (int f = 0; f < d->columns.size(); ++f) {
        if (!d->touched[f] || !d->tableColumns.contains(d->columns[f].name.toLower()))
            continue;
        params << qMakePair(QStringLiteral(":v%1").arg(names.size()), d->buffer[f]);
        names << d->columns[f].name;
    }

    if (d->state == State::Edit) {
        const int src = d->editSrc;
        if (!names.isEmpty()) {
            if (d->idField < 0)
                throw Error(QStringLiteral("Impossibile salvare: l'elenco non contiene la colonna ID"));
            // The check and the write must see the same row: inside the caller's
            // transaction, or one of our own that takes the write lock first.
            std::optional<Transaction> own;
            if (!d->conn.inTransaction())
                own.emplace(d->conn);
            d->refuseIfChangedElsewhere(src);
            QStringList sets;
            for (int i = 0; i < names.size(); ++i)
                sets << QStringLiteral("%1 = :v%2").arg(quoteName(names[i])).arg(i);
            params << qMakePair(QStringLiteral(":ID"), d->rows[src][d->idField]);
            d->conn.exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = :ID")
                             .arg(quoteName(d->table), sets.join(QStringLiteral(", ")),
                                  quoteName(d->columns[d->idField].name)),
                         params);
            if (d->conn.changes() == 0)
                throw Error(QStringLiteral("Il record da salvare non esiste più: forse è stato eliminato"));
            if (withinPost)
                withinPost(*this);
            if (own)
                own->commit();
        }
        for (int f = 0; f < d->columns.size(); ++f) {
            if (d->touched[f]) {
                d->ranks[f].clear();
                d->folded[size_t(f)] = {};
            }
        }
        d->rows[src] = std::move(d->buffer);
        d->buffer.clear();
        d->touched.clear();
        d->editSrc = -1;
        d->state = State::Browse;
        emit stateChanged();
        const int rec = d->visibleIndexOf(src);
        if (rec >= 0)
            emit rowChanged(rec);
        if (afterPost)
            afterPost(*this);
        return;
    }

    // Insert.
    QStringList marks;
    for (int i = 0; i < names.size(); ++i)
        marks << QStringLiteral(":v%1").arg(i);
    QStringList quoted;
    for (const auto& n : names)
        quoted << quoteName(n);
    qint64 newId = 0;
    {
        std::optional<Transaction> own;
        if (withinPost && !d->conn.inTransaction())
            own.emplace(d->conn);
        if (names.isEmpty())
            d->conn.exec(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoteName(d->table)));
        else
            d->conn.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(quoteName(d->table), quoted.join(QStringLiteral(", ")),
                                  marks.join(QStringLiteral(", "))),
                         params);
        newId = d->conn.lastInsertId();
        if (withinPost)
            withinPost(*this);
        if (own)
            own->commit();
    }

    QVector<QVariant> row = std::move(d->buffer);
    d->buffer.clear();
    if (d->idField >= 0)
        row[d->idField] = qlonglong(newId);
    // Defaults of the table (a state, a flag) belong in the list as well. The row is
    // already written, so a failure here must not turn into a second insert.
    try {
        const QString key = d->idField >= 0 ? d->columns[d->idField].name : QStringLiteral("ID");
        const Result back = d->conn.query(QStringLiteral("SELECT * FROM %1 WHERE %2 = :rid")
                                              .arg(quoteName(d->table), quoteName(key)),
                                          {{QStringLiteral(":rid"), qlonglong(newId)}});
        if (!back.rows.isEmpty()) {
            for (int f = 0; f < d->columns.size(); ++f) {
                if (d->touched[f] || row[f].isValid())
                    continue;
                const int c = back.columnIndex(d->columns[f].name);
                if (c >= 0)
                    row[f] = back.rows[0][c];
            }
        }
    } catch (const Error&) {
    }
    d->touched.clear();

    const int prevSrc = d->curSrc();
    const int src = int(d->rows.size());
    d->rows.push_back(std::move(row));
    d->alive.push_back(1);
    d->pass.push_back(!d->filter || d->filter->matches(d->rows.back()) ? 1 : 0);
    for (auto& r : d->ranks)
        r.clear();
    if (d->sortKeys.isEmpty())
        d->order.push_back(src);
    else
        d->sortOrder();
    d->rebuildVisible();
    int rec = d->visibleIndexOf(src);
    if (rec < 0)
        rec = d->visibleIndexOf(prevSrc);
    if (rec < 0 && !d->visible.isEmpty())
        rec = 0;
    d->cur = rec;
    d->bof = d->eof = d->visible.isEmpty();
    d->state = State::Browse;
    emit rowsReset();
    emit stateChanged();
    emit currentChanged(d->cur);
    if (afterScroll)
        afterScroll(*this);
    if (afterPost)
        afterPost(*this);
}

void Dataset::cancel()
{
    if (d->state != State::Edit && d->state != State::Insert)
        return;
    if (beforeCancel)
        beforeCancel(*this);
    d->buffer.clear();
    d->touched.clear();
    d->inputErrors.clear();
    d->editSrc = -1;
    d->state = State::Browse;
    emit stateChanged();
}

void Dataset::remove()
{
    if (d->state == State::Inactive)
        throw Error(QStringLiteral("L'elenco non è aperto"));
    if (d->state == State::Insert) {
        cancel(); // the new row was never written
        return;
    }
    if (d->table.isEmpty())
        throw Error(QStringLiteral("L'elenco è in sola lettura"));
    const int src = d->curSrc();
    if (src < 0)
        throw Error(QStringLiteral("Nessun record da eliminare"));
    if (d->idField < 0)
        throw Error(QStringLiteral("Impossibile eliminare: l'elenco non contiene la colonna ID"));
    if (beforeDelete)
        beforeDelete(*this);
    if (d->state == State::Edit)
        cancel();
    {
        std::optional<Transaction> own;
        if (!d->conn.inTransaction())
            own.emplace(d->conn);
        d->conn.exec(QStringLiteral("DELETE FROM %1 WHERE %2 = :ID")
                         .arg(quoteName(d->table), quoteName(d->columns[d->idField].name)),
                     {{QStringLiteral(":ID"), d->rows[src][d->idField]}});
        if (withinDelete)
            withinDelete(*this, d->rows[src]);
        if (own)
            own->commit();
    }
    d->alive[src] = 0;
    d->pass[src] = 0;
    d->order.removeOne(src);
    d->visible.remove(d->cur);
    if (d->cur >= d->visible.size())
        d->cur = int(d->visible.size()) - 1;
    d->bof = d->eof = d->visible.isEmpty();
    emit rowsReset();
    emit currentChanged(d->cur);
    if (afterScroll)
        afterScroll(*this);
    if (afterDelete)
        afterDelete(*this);
}

// ---- filter and sort ------------------------------------------------------------------

void Dataset::setFilter(const QString& filter)
{
    if (d->state == State::Inactive) {
        d->filterText = filter;
        return;
    }
    std::optional<RecordFilter> compiled;
    if (!filter.trimmed().isEmpty())
        compiled.emplace(filter, namesOf(d->columns));
    post();
    const int src = d->curSrc();
    d->filterText = filter;
    d->filter = std::move(compiled);
    d->evaluateFilter();
    d->rebuildVisible();
    int rec = d->visibleIndexOf(src);
    if (rec < 0 && !d->visible.isEmpty())
        rec = 0;
    const bool moved = (rec >= 0 ? d->visible[rec] : -1) != src;
    d->cur = rec;
    d->bof = d->eof = d->visible.isEmpty();
    emit rowsReset();
    emit currentChanged(d->cur);
    if (moved && afterScroll)
        afterScroll(*this);
}

QString Dataset::filter() const
{
    return d->filterText;
}

void Dataset::setSort(const QString& sort)
{
    if (d->state == State::Inactive) {
        d->sortText = sort;
        return;
    }
    QVector<SortKey> keys = parseSort(sort, d->columns);
    post();
    const int src = d->curSrc();
    d->sortText = sort;
    d->sortKeys = std::move(keys);
    d->sortOrder();
    d->rebuildVisible();
    int rec = d->visibleIndexOf(src);
    if (rec < 0 && !d->visible.isEmpty())
        rec = 0;
    d->cur = rec;
    emit rowsReset();
    emit currentChanged(d->cur);
}

QString Dataset::sort() const
{
    return d->sortText;
}

} // namespace sz::db
