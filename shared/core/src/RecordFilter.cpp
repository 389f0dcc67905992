#include "scadenzio/RecordFilter.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"

#include <QDate>
#include <algorithm>
#include <optional>

namespace sz::db {

namespace {

[[noreturn]] void invalid(const QString& why)
{
    throw Error(QStringLiteral("Filtro non valido: %1").arg(why));
}

// ---- tokens ---------------------------------------------------------------------

enum class Tok { End, LParen, RParen, Column, Text, Number, Op, Word };

struct Token
{
    Tok kind = Tok::End;
    QString text; // column name, literal text, operator or upper-cased keyword
    qsizetype pos = 0;
};

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

class Lexer
{
public:
    explicit Lexer(const QString& s) : m_s(s) {}

    Token next()
    {
        while (m_i < m_s.size() && m_s[m_i].isSpace())
            ++m_i;
        Token t;
        t.pos = m_i;
        if (m_i >= m_s.size())
            return t;
        const QChar c = m_s[m_i];
        if (c == QLatin1Char('(')) {
            ++m_i;
            t.kind = Tok::LParen;
        } else if (c == QLatin1Char(')')) {
            ++m_i;
            t.kind = Tok::RParen;
        } else if (c == QLatin1Char('[')) {
            const qsizetype end = m_s.indexOf(QLatin1Char(']'), m_i + 1);
            if (end < 0)
                invalid(QStringLiteral("manca \"]\" dopo \"%1\"").arg(m_s.mid(m_i)));
            t.kind = Tok::Column;
            t.text = m_s.mid(m_i + 1, end - m_i - 1).trimmed();
            if (t.text.isEmpty())
                invalid(QStringLiteral("nome di colonna vuoto"));
            m_i = end + 1;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            t.kind = Tok::Text;
            t.text = quoted(c);
        } else if (c.isDigit() ||
                   ((c == QLatin1Char('-') || c == QLatin1Char('.')) && m_i + 1 < m_s.size() &&
                    m_s[m_i + 1].isDigit())) {
            t.kind = Tok::Number;
            const qsizetype start = m_i++;
            while (m_i < m_s.size() && (m_s[m_i].isDigit() || m_s[m_i] == QLatin1Char('.')))
                ++m_i;
            t.text = m_s.mid(start, m_i - start);
        } else if (c == QLatin1Char('=') || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('!')) {
            t.kind = Tok::Op;
            const QString two = m_s.mid(m_i, 2);
            if (two == QLatin1String("<>") || two == QLatin1String("<=") || two == QLatin1String(">=") ||
                two == QLatin1String("!=")) {
                t.text = two == QLatin1String("!=") ? QStringLiteral("<>") : two;
                m_i += 2;
            } else if (c == QLatin1Char('!')) {
                invalid(QStringLiteral("carattere \"!\" inatteso"));
            } else {
                t.text = c;
                ++m_i;
            }
        } else if (isWordChar(c)) {
            const qsizetype start = m_i;
            while (m_i < m_s.size() && isWordChar(m_s[m_i]))
                ++m_i;
            t.text = m_s.mid(start, m_i - start);
            static const QStringList keywords = {QStringLiteral("AND"), QStringLiteral("OR"), QStringLiteral("NOT"),
                                                 QStringLiteral("LIKE"), QStringLiteral("NULL"), QStringLiteral("IS")};
            const QString upper = t.text.toUpper();
            if (keywords.contains(upper)) {
                t.kind = Tok::Word;
                t.text = upper;
            } else {
                t.kind = Tok::Column;
            }
        } else {
            invalid(QStringLiteral("carattere \"%1\" inatteso").arg(c));
        }
        return t;
    }

private:
    // A doubled quote inside is the quote itself: 'l''arte'.
    QString quoted(QChar q)
    {
        QString out;
        ++m_i;
        for (;;) {
            if (m_i >= m_s.size())
                invalid(QStringLiteral("testo tra apici non chiuso"));
            const QChar c = m_s[m_i++];
            if (c == q) {
                if (m_i < m_s.size() && m_s[m_i] == q) {
                    out += q;
                    ++m_i;
                    continue;
                }
                return out;
            }
            out += c;
        }
    }

    const QString& m_s;
    qsizetype m_i = 0;
};

// ---- literals -------------------------------------------------------------------

enum class Op { Eq, Ne, Lt, Gt, Le, Ge };

bool apply(Op op, int cmp)
{
    switch (op) {
    case Op::Eq:
        return cmp == 0;
    case Op::Ne:
        return cmp != 0;
    case Op::Lt:
        return cmp < 0;
    case Op::Gt:
        return cmp > 0;
    case Op::Le:
        return cmp <= 0;
    case Op::Ge:
        return cmp >= 0;
    }
    return false;
}

template <typename T> int threeWay(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// The literal read once in every form a value may ask for; a form that does not
// exist (an impossible date, a word compared to an amount) matches no row.
struct Literal
{
    QString text;
    QDate date;
    std::optional<Money> money;
    std::optional<double> number;
    std::optional<bool> boolean;

    Literal(const QString& t, bool isNumber) : text(t)
    {
        if (isNumber) {
            QString comma = t;
            comma.replace(QLatin1Char('.'), QLatin1Char(','));
            money = Money::parse(comma);
            bool ok = false;
            const double n = t.toDouble(&ok);
            if (ok) {
                number = n;
                boolean = n != 0.0;
            }
            return;
        }
        date = dates::fromDisplay(t);
        if (!date.isValid())
            date = dates::fromIso(t.trimmed());
        money = Money::parse(t);
        QString dot = t.trimmed();
        dot.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double n = dot.toDouble(&ok);
        if (ok)
            number = n;
        const QString w = t.trimmed().toLower();
        if (w == QLatin1String("si") || w == QLatin1String("sì") || w == QLatin1String("vero") ||
            w == QLatin1String("true") || w == QLatin1String("yes"))
            boolean = true;
        else if (w == QLatin1String("no") || w == QLatin1String("falso") || w == QLatin1String("false"))
            boolean = false;
        else if (number)
            boolean = *number != 0.0;
    }
};

const int moneyType = qMetaTypeId<Money>();

// The folding of likeMatch, one UTF-16 unit at a time, with plain ASCII kept cheap.
inline char16_t foldUnit(char16_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c;
    return QChar(c).toCaseFolded().unicode();
}

// needle is already folded. The haystack is folded as it is read, never copied.
bool containsFolded(QStringView hay, const std::u16string& needle)
{
    const qsizetype nl = qsizetype(needle.size());
    const qsizetype last = hay.size() - nl;
    if (nl == 0)
        return true;
    const char16_t* h = hay.utf16();
    const char16_t* n = needle.data();
    for (qsizetype i = 0; i <= last; ++i) {
        if (foldUnit(h[i]) != n[0])
            continue;
        qsizetype j = 1;
        while (j < nl && foldUnit(h[i + j]) == n[j])
            ++j;
        if (j == nl)
            return true;
    }
    return false;
}

} // namespace

// ---- tree -------------------------------------------------------------------------

struct RecordFilter::Node
{
    virtual ~Node() = default;
    virtual bool eval(const QVector<QVariant>& row, int index, const std::vector<FoldedColumn>* folded) const = 0;
    virtual void likeColumns(QList<int>&) const {}
};

namespace {

using Node = RecordFilter::Node;
using NodePtr = std::unique_ptr<Node>;

struct AndNode final : Node
{
    std::vector<NodePtr> kids;
    void likeColumns(QList<int>& out) const override
    {
        for (const auto& k : kids)
            k->likeColumns(out);
    }
    bool eval(const QVector<QVariant>& row, int index, const std::vector<FoldedColumn>* folded) const override
    {
        for (const auto& k : kids)
            if (!k->eval(row, index, folded))
                return false;
        return true;
    }
};

struct OrNode final : Node
{
    std::vector<NodePtr> kids;
    void likeColumns(QList<int>& out) const override
    {
        for (const auto& k : kids)
            k->likeColumns(out);
    }
    bool eval(const QVector<QVariant>& row, int index, const std::vector<FoldedColumn>* folded) const override
    {
        for (const auto& k : kids)
            if (k->eval(row, index, folded))
                return true;
        return false;
    }
};

struct NotNode final : Node
{
    NodePtr kid;
    void likeColumns(QList<int>& out) const override { kid->likeColumns(out); }
    bool eval(const QVector<QVariant>& row, int index, const std::vector<FoldedColumn>* folded) const override { return !kid->eval(row, index, folded); }
};

struct NullNode final : Node
{
    int col = 0;
    bool wantNull = true;
    bool eval(const QVector<QVariant>& row, int, const std::vector<FoldedColumn>*) const override
    {
        return !row[col].isValid() == wantNull;
    }
};

struct CompareNode final : Node
{
    int col = 0;
    Op op = Op::Eq;
    Literal lit;

    CompareNode(int c, Op o, Literal l) : col(c), op(o), lit(std::move(l)) {}

    bool eval(const QVector<QVariant>& row, int, const std::vector<FoldedColumn>*) const override
    {
        const QVariant& v = row[col];
        if (!v.isValid())
            return false; // as in SQL, a missing value is neither equal nor different
        const int type = v.userType();
        switch (type) {
        case QMetaType::QString:
            return apply(op, compareText(*static_cast<const QString*>(v.constData()), lit.text));
        case QMetaType::QDate:
            return lit.date.isValid() && apply(op, threeWay(v.toDate().toJulianDay(), lit.date.toJulianDay()));
        case QMetaType::Bool:
            return lit.boolean && apply(op, threeWay(int(v.toBool()), int(*lit.boolean)));
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
            return lit.number && apply(op, threeWay(v.toDouble(), *lit.number));
        default:
            if (type == moneyType)
                return lit.money && apply(op, threeWay(v.value<Money>().raw(), lit.money->raw()));
            return apply(op, compareText(v.toString(), lit.text));
        }
    }
};

// The list's search box asks for '%text%' on several columns at every keystroke, so
// the shapes without inner wildcards avoid the general matcher.
struct LikeNode final : Node
{
    enum class Shape { Contains, Starts, Ends, Exact, General };
    int col = 0;
    Shape shape = Shape::General;
    QString needle;       // the pattern without its outer wildcards, or whole when General
    std::u16string fold; // the same, folded

    LikeNode(int c, const QString& rawPattern) : col(c)
    {
        // In the lists' filters only % and * are wildcards: "_" is typed as itself
        // ("FT 1_2" is a document number, not "FT 1" + any character + "2").
        QString p = rawPattern;
        p.replace(QLatin1Char('*'), QLatin1Char('%'));
        needle = p;
        qsizetype lead = 0, trail = 0;
        while (lead < p.size() && p[lead] == QLatin1Char('%'))
            ++lead;
        while (trail < p.size() - lead && p[p.size() - 1 - trail] == QLatin1Char('%'))
            ++trail;
        const QString core = p.mid(lead, p.size() - lead - trail);
        if (!core.contains(QLatin1Char('%'))) {
            needle = core;
            shape = lead && trail ? Shape::Contains : lead ? Shape::Ends : trail ? Shape::Starts : Shape::Exact;
        }
        fold.reserve(size_t(needle.size()));
        for (QChar ch : std::as_const(needle))
            fold.push_back(foldUnit(ch.unicode()));
    }

    void likeColumns(QList<int>& out) const override
    {
        if (!out.contains(col))
            out << col;
    }

    bool test(QStringView s) const
    {
        switch (shape) {
        case Shape::Contains:
            return containsFolded(s, fold);
        case Shape::Starts:
            return s.startsWith(needle, Qt::CaseInsensitive);
        case Shape::Ends:
            return s.endsWith(needle, Qt::CaseInsensitive);
        case Shape::Exact:
            return s.compare(needle, Qt::CaseInsensitive) == 0;
        case Shape::General:
            break;
        }
        return likeMatch(needle, s.toString(), false);
    }

    bool testFolded(std::u16string_view s) const
    {
        switch (shape) {
        case Shape::Contains:
            return s.find(fold) != std::u16string_view::npos;
        case Shape::Starts:
            return s.substr(0, fold.size()) == fold;
        case Shape::Ends:
            return s.size() >= fold.size() && s.substr(s.size() - fold.size()) == fold;
        case Shape::Exact:
            return s == fold;
        case Shape::General:
            break;
        }
        return likeMatch(needle, QString::fromUtf16(s.data(), qsizetype(s.size())), false);
    }

    bool eval(const QVector<QVariant>& row, int index, const std::vector<FoldedColumn>* folded) const override
    {
        if (folded && size_t(col) < folded->size()) {
            const FoldedColumn& fc = (*folded)[size_t(col)];
            if (index >= 0 && index < fc.size())
                return !fc.isNull(index) && testFolded(fc.text(index));
        }
        const QVariant& v = row[col];
        if (!v.isValid())
            return false;
        if (v.userType() == QMetaType::QString)
            return test(*static_cast<const QString*>(v.constData()));
        return test(RecordFilter::likeText(v));
    }
};

// or  := and (OR and)*
// and := not (AND not)*
// not := NOT not | '(' or ')' | column IS [NOT] NULL | column [NOT] LIKE literal | column op (literal | NULL)
class Parser
{
public:
    Parser(const QString& text, const QStringList& columns) : m_lex(text), m_text(text), m_columns(columns)
    {
        advance();
    }

    NodePtr parse()
    {
        NodePtr n = parseOr();
        if (m_tok.kind != Tok::End)
            invalid(QStringLiteral("\"%1\" inatteso").arg(m_text.mid(m_tok.pos).trimmed()));
        return n;
    }

private:
    void advance() { m_tok = m_lex.next(); }
    bool isWord(const char* w) const { return m_tok.kind == Tok::Word && m_tok.text == QLatin1String(w); }

    NodePtr parseOr()
    {
        NodePtr first = parseAnd();
        if (!isWord("OR"))
            return first;
        auto n = std::make_unique<OrNode>();
        n->kids.push_back(std::move(first));
        while (isWord("OR")) {
            advance();
            n->kids.push_back(parseAnd());
        }
        return n;
    }

    NodePtr parseAnd()
    {
        NodePtr first = parseNot();
        if (!isWord("AND"))
            return first;
        auto n = std::make_unique<AndNode>();
        n->kids.push_back(std::move(first));
        while (isWord("AND")) {
            advance();
            n->kids.push_back(parseNot());
        }
        return n;
    }

    NodePtr parseNot()
    {
        if (isWord("NOT")) {
            advance();
            auto n = std::make_unique<NotNode>();
            n->kid = parseNot();
            return n;
        }
        if (m_tok.kind == Tok::LParen) {
            advance();
            NodePtr inner = parseOr();
            if (m_tok.kind != Tok::RParen)
                invalid(QStringLiteral("manca \")\""));
            advance();
            return inner;
        }
        return parseComparison();
    }

    int column()
    {
        if (m_tok.kind != Tok::Column) {
            if (m_tok.kind == Tok::End)
                invalid(QStringLiteral("il filtro termina dove era atteso un nome di colonna"));
            invalid(QStringLiteral("atteso un nome di colonna invece di \"%1\"").arg(m_text.mid(m_tok.pos).trimmed()));
        }
        for (int i = 0; i < m_columns.size(); ++i)
            if (m_columns[i].compare(m_tok.text, Qt::CaseInsensitive) == 0) {
                advance();
                return i;
            }
        invalid(QStringLiteral("colonna \"%1\" sconosciuta").arg(m_tok.text));
    }

    Literal literal(const QString& after)
    {
        if (m_tok.kind != Tok::Text && m_tok.kind != Tok::Number)
            invalid(QStringLiteral("atteso un valore dopo \"%1\"").arg(after));
        Literal l(m_tok.text, m_tok.kind == Tok::Number);
        advance();
        return l;
    }

    NodePtr parseComparison()
    {
        const QString name = m_tok.text;
        const int col = column();
        if (isWord("IS")) {
            advance();
            bool negate = false;
            if (isWord("NOT")) {
                negate = true;
                advance();
            }
            if (!isWord("NULL"))
                invalid(QStringLiteral("atteso NULL dopo IS"));
            advance();
            auto n = std::make_unique<NullNode>();
            n->col = col;
            n->wantNull = !negate;
            return n;
        }
        bool negate = false;
        if (isWord("NOT")) {
            negate = true;
            advance();
            if (!isWord("LIKE"))
                invalid(QStringLiteral("atteso LIKE dopo NOT"));
        }
        if (isWord("LIKE")) {
            advance();
            if (m_tok.kind != Tok::Text && m_tok.kind != Tok::Number)
                invalid(QStringLiteral("atteso un modello tra apici dopo LIKE"));
            NodePtr n = std::make_unique<LikeNode>(col, m_tok.text);
            advance();
            if (negate) {
                auto nn = std::make_unique<NotNode>();
                nn->kid = std::move(n);
                return nn;
            }
            return n;
        }
        if (m_tok.kind != Tok::Op)
            invalid(QStringLiteral("atteso un confronto dopo la colonna \"%1\"").arg(name));
        const QString opText = m_tok.text;
        advance();
        Op op = Op::Eq;
        if (opText == QLatin1String("<>"))
            op = Op::Ne;
        else if (opText == QLatin1String("<"))
            op = Op::Lt;
        else if (opText == QLatin1String(">"))
            op = Op::Gt;
        else if (opText == QLatin1String("<="))
            op = Op::Le;
        else if (opText == QLatin1String(">="))
            op = Op::Ge;
        if (isWord("NULL")) {
            if (op != Op::Eq && op != Op::Ne)
                invalid(QStringLiteral("NULL si confronta solo con = o <>"));
            advance();
            auto n = std::make_unique<NullNode>();
            n->col = col;
            n->wantNull = op == Op::Eq;
            return n;
        }
        return std::make_unique<CompareNode>(col, op, literal(opText));
    }

    Lexer m_lex;
    const QString& m_text;
    const QStringList& m_columns;
    Token m_tok;
};

} // namespace

RecordFilter::RecordFilter(const QString& text, const QStringList& columnNames) : m_text(text)
{
    if (!text.trimmed().isEmpty())
        m_root = Parser(text, columnNames).parse();
}

RecordFilter::~RecordFilter() = default;
RecordFilter::RecordFilter(RecordFilter&&) noexcept = default;
RecordFilter& RecordFilter::operator=(RecordFilter&&) noexcept = default;

bool RecordFilter::matches(const QVector<QVariant>& row) const
{
    return !m_root || m_root->eval(row, -1, nullptr);
}

bool RecordFilter::matches(const QVector<QVariant>& row, int rowIndex, const std::vector<FoldedColumn>& folded) const
{
    return !m_root || m_root->eval(row, rowIndex, &folded);
}

QList<int> RecordFilter::likeColumns() const
{
    QList<int> out;
    if (m_root)
        m_root->likeColumns(out);
    return out;
}

void FoldedColumn::reserve(int rows)
{
    m_start.reserve(size_t(rows) + 1);
    m_null.reserve(size_t(rows));
    m_text.reserve(size_t(rows) * 24);
}

void FoldedColumn::append(const QVariant& v)
{
    if (m_start.empty())
        m_start.push_back(0);
    QStringView s;
    QString converted;
    if (v.userType() == QMetaType::QString) {
        s = *static_cast<const QString*>(v.constData());
    } else if (v.isValid()) {
        converted = RecordFilter::likeText(v);
        s = converted;
    }
    const size_t pos = m_text.size();
    const size_t len = size_t(s.size());
    if (pos + len > m_text.capacity())
        m_text.reserve(std::max(m_text.capacity() * 2, pos + len));
    m_text.resize(pos + len);
    char16_t* out = m_text.data() + pos;
    const char16_t* in = s.utf16();
    for (size_t i = 0; i < len; ++i)
        out[i] = foldUnit(in[i]);
    m_start.push_back(int(pos + len));
    m_null.push_back(!v.isValid());
}

QString RecordFilter::likeText(const QVariant& value)
{
    if (!value.isValid())
        return {};
    if (value.userType() == QMetaType::QDate)
        return dates::toDisplay(value.toDate());
    if (value.userType() == moneyType)
        return value.value<Money>().toPlain(2);
    if (value.userType() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("SI") : QStringLiteral("NO");
    return value.toString();
}

QString containsLiteral(const QString& text)
{
    QString inner = text;
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1String("'%") + inner + QLatin1String("%'");
}

QString containsInAny(const QStringList& columns, const QString& text)
{
    if (text.isEmpty())
        return {};
    const QString literal = containsLiteral(text);
    QStringList terms;
    for (const QString& c : columns)
        terms << QLatin1Char('[') + c + QStringLiteral("] like ") + literal;
    return terms.join(QStringLiteral(" OR "));
}

QString dateEqualsClause(const QString& column, const QString& maskedText)
{
    if (maskedText.size() != 10 || maskedText.contains(QLatin1Char(' ')))
        return {};
    return QLatin1Char('[') + column + QStringLiteral("] = '") + maskedText + QLatin1Char('\'');
}

QString composeListFilter(const QString& first, const QString& second, const QString& search,
                          const QStringList& textColumns, const QString& searchText)
{
    QString f;
    if (!first.isEmpty())
        f = QLatin1Char('(') + first + QLatin1Char(')');
    if (!second.isEmpty())
        f = f.isEmpty() ? QLatin1Char('(') + second + QLatin1Char(')')
                        : f + QStringLiteral(" AND (") + second + QLatin1Char(')');
    if (search.isEmpty())
        return f;
    if (f.isEmpty())
        return QLatin1Char('(') + search + QLatin1Char(')');
    const QString literal = containsLiteral(searchText);
    QStringList terms;
    for (const QString& c : textColumns)
        terms << QStringLiteral("([") + c + QStringLiteral("] like ") + literal + QStringLiteral(" AND ") + f +
                     QLatin1Char(')');
    return terms.join(QStringLiteral(" OR "));
}

} // namespace sz::db
