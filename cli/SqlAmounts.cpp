#include "SqlAmounts.h"

#include "scadenzio/Error.h"
#include "scadenzio/Money.h"

#include <QHash>
#include <QSet>
#include <cmath>

namespace sz::cli {

namespace {

using Unit = SqlAmounts::Unit;

// ---- tokens ---------------------------------------------------------------------

struct Token
{
    enum Kind { Word, QuotedName, Number, String, Param, Symbol, End } kind = End;
    QString text;  // as written; quoted names without their quotes, strings without theirs
    QString word;  // a bare word in upper case, for keywords; else empty
    int begin = 0; // span in the statement text
    int end = 0;
};

QVector<Token> tokenize(const QString& sql)
{
    QVector<Token> out;
    const int n = int(sql.size());
    int i = 0;
    auto isWordChar = [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$'); };
    while (i < n) {
        const QChar c = sql[i];
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            while (i < n && sql[i] != QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            const int close = int(sql.indexOf(QStringLiteral("*/"), i + 2));
            i = close < 0 ? n : close + 2;
            continue;
        }
        Token t;
        t.begin = i;
        if (c == QLatin1Char('\'') || ((c == QLatin1Char('x') || c == QLatin1Char('X')) && i + 1 < n &&
                                        sql[i + 1] == QLatin1Char('\''))) {
            int j = c == QLatin1Char('\'') ? i + 1 : i + 2;
            QString text;
            while (j < n) {
                if (sql[j] == QLatin1Char('\'')) {
                    if (j + 1 < n && sql[j + 1] == QLatin1Char('\'')) {
                        text += QLatin1Char('\'');
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += sql[j++];
            }
            t.kind = Token::String;
            t.text = text;
            i = std::min(j + 1, n);
        } else if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            int j = i + 1;
            QString text;
            while (j < n) {
                if (sql[j] == close) {
                    if (close != QLatin1Char(']') && j + 1 < n && sql[j + 1] == close) {
                        text += close;
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += sql[j++];
            }
            t.kind = Token::QuotedName;
            t.text = text;
            i = std::min(j + 1, n);
        } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && sql[i + 1].isDigit())) {
            int j = i;
            if (c == QLatin1Char('0') && j + 1 < n && (sql[j + 1] == QLatin1Char('x') || sql[j + 1] == QLatin1Char('X'))) {
                j += 2;
                while (j < n && isWordChar(sql[j]))
                    ++j;
            } else {
                while (j < n && (sql[j].isDigit() || sql[j] == QLatin1Char('.')))
                    ++j;
                if (j < n && (sql[j] == QLatin1Char('e') || sql[j] == QLatin1Char('E'))) {
                    ++j;
                    if (j < n && (sql[j] == QLatin1Char('+') || sql[j] == QLatin1Char('-')))
                        ++j;
                    while (j < n && sql[j].isDigit())
                        ++j;
                }
            }
            t.kind = Token::Number;
            t.text = sql.mid(i, j - i);
            i = j;
        } else if (c == QLatin1Char(':') || c == QLatin1Char('@') || c == QLatin1Char('$') || c == QLatin1Char('?')) {
            int j = i + 1;
            while (j < n && isWordChar(sql[j]))
                ++j;
            t.kind = Token::Param;
            t.text = sql.mid(i + 1, j - i - 1);
            i = j;
        } else if (isWordChar(c)) {
            int j = i;
            while (j < n && isWordChar(sql[j]))
                ++j;
            t.kind = Token::Word;
            t.text = sql.mid(i, j - i);
            t.word = t.text.toUpper();
            i = j;
        } else {
            static const char* const twoChar[] = {"||", "<=", ">=", "<>", "!=", "==", "<<", ">>"};
            t.kind = Token::Symbol;
            t.text = QString(c);
            for (const char* op : twoChar)
                if (i + 1 < n && sql[i] == QLatin1Char(op[0]) && sql[i + 1] == QLatin1Char(op[1]))
                    t.text = QString::fromLatin1(op);
            i += int(t.text.size());
        }
        t.end = i;
        out.push_back(t);
    }
    Token end;
    end.begin = end.end = n;
    out.push_back(end);
    return out;
}

// Words that end an expression or a list: never taken as a column's alias.
bool isClauseWord(const QString& w)
{
    static const QSet<QString> words = {
        QStringLiteral("FROM"),    QStringLiteral("WHERE"),   QStringLiteral("GROUP"),     QStringLiteral("HAVING"),
        QStringLiteral("ORDER"),   QStringLiteral("LIMIT"),   QStringLiteral("OFFSET"),    QStringLiteral("UNION"),
        QStringLiteral("INTERSECT"), QStringLiteral("EXCEPT"), QStringLiteral("ON"),       QStringLiteral("USING"),
        QStringLiteral("JOIN"),    QStringLiteral("LEFT"),    QStringLiteral("INNER"),     QStringLiteral("CROSS"),
        QStringLiteral("NATURAL"), QStringLiteral("OUTER"),   QStringLiteral("SET"),       QStringLiteral("VALUES"),
        QStringLiteral("AS"),      QStringLiteral("AND"),     QStringLiteral("OR"),        QStringLiteral("NOT"),
        QStringLiteral("WHEN"),    QStringLiteral("THEN"),    QStringLiteral("ELSE"),      QStringLiteral("END"),
        QStringLiteral("ASC"),     QStringLiteral("DESC"),    QStringLiteral("INDEXED"),   QStringLiteral("SELECT"),
        QStringLiteral("COLLATE"), QStringLiteral("ESCAPE"),  QStringLiteral("IS"),        QStringLiteral("IN"),
        QStringLiteral("LIKE"),    QStringLiteral("GLOB"),    QStringLiteral("MATCH"),     QStringLiteral("REGEXP"),
        QStringLiteral("BETWEEN"), QStringLiteral("ISNULL"),  QStringLiteral("NOTNULL"),   QStringLiteral("DEFAULT"),
    };
    return words.contains(w);
}

// ---- values and their units ------------------------------------------------------

struct Value
{
    Unit unit = Unit::Plain;
    enum Source { Other, Literal, Parameter } source = Other;
    bool zero = false;
    QString text;  // as written in the statement
    QString param; // the parameter's name
    QVariant bound;
};

struct ParseFailure
{
};

class Reader
{
public:
    Reader(const QString& sql, const QVector<Token>& tokens, const QSet<QString>& amounts,
           const QHash<QString, QVariant>& params, std::function<QStringList(const QString&)> columnsOf,
           QHash<QString, Unit>& aliases)
        : m_sql(sql), m_t(tokens), m_amounts(amounts), m_params(params), m_columnsOf(std::move(columnsOf)),
          m_aliases(aliases)
    {
    }

    struct Column
    {
        QString name;
        Unit unit;
    };
    struct Outcome
    {
        QVector<Column> columns;
        bool star = false;
        bool understood = true;
        QString error;
    };

    Outcome read()
    {
        Outcome o;
        try {
            const auto cols = statement(&o.star);
            if (peekSymbol(QStringLiteral(";")))
                ++m_p;
            if (m_t[m_p].kind != Token::End)
                throw ParseFailure{};
            o.columns = cols;
        } catch (const ParseFailure&) {
            o.understood = false;
        }
        o.error = m_error;
        return o;
    }

private:
    // ---- token helpers
    const Token& peek(int ahead = 0) const { return m_t[std::min(m_p + ahead, int(m_t.size()) - 1)]; }
    bool peekWord(const char* w, int ahead = 0) const { return peek(ahead).word == QLatin1String(w); }
    bool peekSymbol(const QString& s, int ahead = 0) const
    {
        return peek(ahead).kind == Token::Symbol && peek(ahead).text == s;
    }
    bool takeWord(const char* w)
    {
        if (!peekWord(w))
            return false;
        ++m_p;
        return true;
    }
    bool takeSymbol(const char* s)
    {
        if (!peekSymbol(QLatin1String(s)))
            return false;
        ++m_p;
        return true;
    }
    void expectWord(const char* w)
    {
        if (!takeWord(w))
            throw ParseFailure{};
    }
    void expectSymbol(const char* s)
    {
        if (!takeSymbol(s))
            throw ParseFailure{};
    }
    bool isName(const Token& t) const
    {
        return t.kind == Token::QuotedName || (t.kind == Token::Word && !isClauseWord(t.word));
    }
    QString name()
    {
        if (!isName(peek()))
            throw ParseFailure{};
        return m_t[m_p++].text;
    }
    // name, or name.name, or name.name.name
    bool isColumnReference(int from, int to) const
    {
        if ((to - from) % 2 == 0 || to - from > 5)
            return false;
        for (int i = from; i < to; ++i)
            if ((i - from) % 2 == 0 ? !isName(m_t[i]) : m_t[i].text != QLatin1String("."))
                return false;
        return true;
    }
    QString span(int from, int to) const { return m_sql.mid(m_t[from].begin, m_t[to - 1].end - m_t[from].begin); }
    void skipBalanced()
    {
        expectSymbol("(");
        for (int depth = 1; depth > 0; ++m_p) {
            if (peek().kind == Token::End)
                throw ParseFailure{};
            if (peekSymbol(QStringLiteral("(")))
                ++depth;
            else if (peekSymbol(QStringLiteral(")")))
                --depth;
        }
    }

    // ---- units
    void complain(const QString& text)
    {
        if (m_error.isEmpty())
            m_error = text;
    }

    static QString example(const Value& v)
    {
        const QString shown = v.source == Value::Parameter ? v.bound.toString() : v.text;
        const auto m = Money::parse(shown);
        return m ? m->toPlain(2).remove(QLatin1Char('.')) : QStringLiteral("100,00");
    }

    void refusePlain(const Value& amount, const Value& plain)
    {
        if (plain.source == Value::Parameter)
            complain(QStringLiteral("ATTENZIONE: il parametro %1 è usato con l'importo %2 ma non è dato come importo: "
                                    "scriverlo %1:money=%3 (un numero semplice sarebbe letto in decimillesimi di "
                                    "euro)")
                         .arg(plain.param, amount.text, example(plain)));
        else if (plain.source == Value::Literal)
            complain(QStringLiteral("ATTENZIONE: il valore %1 è scritto nell'istruzione accanto all'importo %2: gli "
                                    "importi si passano come parametri, per esempio :importo con importo:money=%3 (un "
                                    "numero scritto nell'istruzione sarebbe letto in decimillesimi di euro)")
                         .arg(plain.text, amount.text, example(plain)));
        else
            complain(QStringLiteral("ATTENZIONE: %1 e %2 non sono entrambi importi: un importo si confronta, si somma "
                                    "o si assegna solo con un altro importo o con un parametro :money")
                         .arg(amount.text, plain.text));
    }

    // Both sides must be amounts, or neither (zero and NULL go with either).
    Unit same(const Value& a, const Value& b)
    {
        if (a.unit == Unit::None)
            return b.unit;
        if (b.unit == Unit::None)
            return a.unit;
        if (a.unit == Unit::Mixed || b.unit == Unit::Mixed)
            return Unit::Mixed;
        if (a.unit == b.unit)
            return a.unit;
        const Value& amount = a.unit == Unit::Amount ? a : b;
        const Value& plain = a.unit == Unit::Amount ? b : a;
        if (plain.zero)
            return Unit::Amount;
        refusePlain(amount, plain);
        return Unit::Mixed;
    }

    static bool involvesAmount(Unit u) { return u == Unit::Amount || u == Unit::Mixed; }

    Value made(Unit unit, int from)
    {
        Value v;
        v.unit = unit;
        v.text = span(from, m_p);
        return v;
    }

    // ---- statements
    QVector<Column> statement(bool* star = nullptr)
    {
        if (takeWord("WITH")) {
            takeWord("RECURSIVE");
            do {
                name(); // the table it defines
                QStringList names;
                if (takeSymbol("(")) {
                    do
                        names << name();
                    while (takeSymbol(","));
                    expectSymbol(")");
                }
                expectWord("AS");
                expectSymbol("(");
                const auto cols = statement();
                expectSymbol(")");
                for (int i = 0; i < cols.size(); ++i)
                    alias(i < names.size() ? names[i] : cols[i].name, cols[i].unit);
            } while (takeSymbol(","));
        }
        if (peekWord("SELECT") || peekWord("VALUES"))
            return select(star);
        if (peekWord("INSERT") || peekWord("REPLACE")) {
            insert();
            return {};
        }
        if (takeWord("UPDATE")) {
            update();
            return {};
        }
        if (takeWord("DELETE")) {
            expectWord("FROM");
            qualifiedName();
            if (takeWord("WHERE"))
                expr();
            return {};
        }
        throw ParseFailure{}; // not a statement on rows: nothing here about amounts
    }

    void alias(const QString& name, Unit unit)
    {
        const QString key = name.toLower();
        if (!m_amounts.contains(key))
            m_aliases.insert(key, unit);
    }

    QString qualifiedName()
    {
        QString n = name();
        while (takeSymbol("."))
            n = name();
        return n;
    }

    QVector<Column> select(bool* star)
    {
        auto cols = selectCore(star);
        while (peekWord("UNION") || peekWord("INTERSECT") || peekWord("EXCEPT")) {
            ++m_p;
            takeWord("ALL");
            const auto more = selectCore(nullptr);
            for (int i = 0; i < cols.size() && i < more.size(); ++i)
                if (cols[i].unit != more[i].unit)
                    cols[i].unit = cols[i].unit == Unit::None ? more[i].unit
                                   : more[i].unit == Unit::None ? cols[i].unit
                                                                : Unit::Mixed;
        }
        if (takeWord("ORDER")) {
            expectWord("BY");
            orderingList();
        }
        if (takeWord("LIMIT")) {
            expr();
            if (takeWord("OFFSET") || takeSymbol(","))
                expr();
        }
        return cols;
    }

    void orderingList()
    {
        do {
            expr();
            if (!takeWord("ASC"))
                takeWord("DESC");
        } while (takeSymbol(","));
    }

    QVector<Column> selectCore(bool* star)
    {
        QVector<Column> cols;
        if (takeWord("VALUES")) {
            int row = 0;
            do {
                expectSymbol("(");
                int i = 0;
                do {
                    const Value v = expr();
                    if (row == 0)
                        cols.push_back({QStringLiteral("column%1").arg(++i), v.unit});
                } while (takeSymbol(","));
                expectSymbol(")");
                ++row;
            } while (takeSymbol(","));
            return cols;
        }
        expectWord("SELECT");
        if (!takeWord("DISTINCT"))
            takeWord("ALL");
        do {
            if (takeSymbol("*")) {
                if (star)
                    *star = true;
                continue;
            }
            if (isName(peek()) && peekSymbol(QStringLiteral("."), 1) && peekSymbol(QStringLiteral("*"), 2)) {
                m_p += 3;
                if (star)
                    *star = true;
                continue;
            }
            const int from = m_p;
            const Value v = expr();
            // The engine names a column read as it stands after the column, anything else
            // after the text of its expression.
            QString label = span(from, m_p);
            if (isColumnReference(from, m_p))
                label = m_t[m_p - 1].text;
            if (takeWord("AS") || isName(peek()))
                label = name();
            alias(label, v.unit);
            cols.push_back({label, v.unit});
        } while (takeSymbol(","));
        if (takeWord("FROM"))
            fromClause();
        if (takeWord("WHERE"))
            expr();
        if (takeWord("GROUP")) {
            expectWord("BY");
            do
                expr();
            while (takeSymbol(","));
            if (takeWord("HAVING"))
                expr();
        }
        return cols;
    }

    void fromClause()
    {
        for (;;) {
            tableOrSubquery();
            if (takeWord("ON"))
                expr();
            else if (takeWord("USING"))
                skipBalanced();
            if (takeSymbol(","))
                continue;
            bool join = false;
            while (peekWord("NATURAL") || peekWord("LEFT") || peekWord("OUTER") || peekWord("INNER") ||
                   peekWord("CROSS") || peekWord("JOIN")) {
                join = join || peekWord("JOIN");
                ++m_p;
            }
            if (!join)
                return;
        }
    }

    void tableOrSubquery()
    {
        if (takeSymbol("(")) {
            if (peekWord("SELECT") || peekWord("WITH") || peekWord("VALUES")) {
                statement();
            } else {
                fromClause();
            }
            expectSymbol(")");
        } else {
            qualifiedName();
            if (peekSymbol(QStringLiteral("(")))
                skipBalanced(); // a table-valued function's arguments
        }
        if (takeWord("AS") || isName(peek()))
            name();
        if (takeWord("INDEXED")) {
            expectWord("BY");
            name();
        } else if (peekWord("NOT") && peekWord("INDEXED", 1)) {
            m_p += 2;
        }
    }

    void insert()
    {
        if (takeWord("INSERT")) {
            if (takeWord("OR"))
                name();
        } else {
            expectWord("REPLACE");
        }
        expectWord("INTO");
        const QString table = qualifiedName();
        if (takeWord("AS"))
            name();
        QStringList columns;
        if (takeSymbol("(")) {
            do
                columns << name();
            while (takeSymbol(","));
            expectSymbol(")");
        } else {
            columns = m_columnsOf(table);
        }
        auto check = [&](int i, const Value& v) {
            if (i < columns.size() && m_amounts.contains(columns[i].toLower())) {
                Value target;
                target.unit = Unit::Amount;
                target.text = columns[i];
                same(target, v);
            }
        };
        if (takeWord("DEFAULT")) {
            expectWord("VALUES");
        } else if (takeWord("VALUES")) {
            do {
                expectSymbol("(");
                int i = 0;
                do
                    check(i++, expr());
                while (takeSymbol(","));
                expectSymbol(")");
            } while (takeSymbol(","));
        } else {
            const int from = m_p;
            const auto cols = statement();
            if (from == m_p)
                throw ParseFailure{};
            for (int i = 0; i < cols.size(); ++i) {
                Value v;
                v.unit = cols[i].unit;
                v.text = cols[i].name;
                check(i, v);
            }
        }
    }

    void update()
    {
        if (takeWord("OR"))
            name();
        qualifiedName();
        expectWord("SET");
        do {
            const int from = m_p;
            const QString column = name();
            Value target = identifier(column, from);
            expectSymbol("=");
            same(target, expr());
        } while (takeSymbol(","));
        if (takeWord("WHERE"))
            expr();
    }

    // ---- expressions, lowest precedence first
    Value expr() { return orExpr(); }

    Value logical(Value (Reader::*next)(), const char* op)
    {
        const int from = m_p;
        Value v = (this->*next)();
        bool any = false;
        while (takeWord(op)) {
            (this->*next)();
            any = true;
        }
        return any ? made(Unit::Plain, from) : v;
    }
    Value orExpr() { return logical(&Reader::andExpr, "OR"); }
    Value andExpr() { return logical(&Reader::notExpr, "AND"); }
    Value notExpr()
    {
        const int from = m_p;
        if (takeWord("NOT")) {
            notExpr();
            return made(Unit::Plain, from);
        }
        return equality();
    }

    Value equality()
    {
        const int from = m_p;
        Value left = relation();
        for (;;) {
            const bool negated = peekWord("NOT") && (peekWord("IN", 1) || peekWord("LIKE", 1) || peekWord("GLOB", 1) ||
                                                     peekWord("MATCH", 1) || peekWord("REGEXP", 1) ||
                                                     peekWord("BETWEEN", 1) || peekWord("NULL", 1));
            if (negated)
                ++m_p;
            if (peekSymbol(QStringLiteral("=")) || peekSymbol(QStringLiteral("==")) ||
                peekSymbol(QStringLiteral("!=")) || peekSymbol(QStringLiteral("<>"))) {
                ++m_p;
                same(left, relation());
            } else if (takeWord("IS")) {
                takeWord("NOT");
                same(left, relation());
            } else if (takeWord("IN")) {
                if (takeSymbol("(")) {
                    if (peekWord("SELECT") || peekWord("WITH") || peekWord("VALUES")) {
                        const int at = m_p;
                        const auto cols = statement();
                        Value v;
                        v.unit = cols.isEmpty() ? Unit::Plain : cols.first().unit;
                        v.text = span(at, m_p);
                        same(left, v);
                    } else if (!peekSymbol(QStringLiteral(")"))) {
                        do
                            same(left, expr());
                        while (takeSymbol(","));
                    }
                    expectSymbol(")");
                } else {
                    qualifiedName();
                }
            } else if (peekWord("LIKE") || peekWord("GLOB") || peekWord("MATCH") || peekWord("REGEXP")) {
                ++m_p;
                relation();
                if (takeWord("ESCAPE"))
                    relation();
            } else if (takeWord("BETWEEN")) {
                same(left, relation());
                expectWord("AND");
                same(left, relation());
            } else if (takeWord("ISNULL") || takeWord("NOTNULL") || (negated && takeWord("NULL"))) {
            } else {
                if (negated)
                    throw ParseFailure{};
                return left;
            }
            left = made(Unit::Plain, from);
        }
    }

    Value relation()
    {
        const int from = m_p;
        Value left = bitwise();
        while (peekSymbol(QStringLiteral("<")) || peekSymbol(QStringLiteral("<=")) ||
               peekSymbol(QStringLiteral(">")) || peekSymbol(QStringLiteral(">="))) {
            ++m_p;
            same(left, bitwise());
            left = made(Unit::Plain, from);
        }
        return left;
    }

    Value bitwise()
    {
        const int from = m_p;
        Value left = additive();
        while (peekSymbol(QStringLiteral("&")) || peekSymbol(QStringLiteral("|")) ||
               peekSymbol(QStringLiteral("<<")) || peekSymbol(QStringLiteral(">>"))) {
            ++m_p;
            const Value right = additive();
            left = made(involvesAmount(left.unit) || involvesAmount(right.unit) ? Unit::Mixed : Unit::Plain, from);
        }
        return left;
    }

    Value additive()
    {
        const int from = m_p;
        Value left = multiplicative();
        while (peekSymbol(QStringLiteral("+")) || peekSymbol(QStringLiteral("-"))) {
            ++m_p;
            const Unit u = same(left, multiplicative());
            left = made(u, from);
        }
        return left;
    }

    Value multiplicative()
    {
        const int from = m_p;
        Value left = concatenation();
        while (peekSymbol(QStringLiteral("*")) || peekSymbol(QStringLiteral("/")) || peekSymbol(QStringLiteral("%"))) {
            const QString op = m_t[m_p++].text;
            const Value right = concatenation();
            Unit u = Unit::Plain;
            const Unit a = left.unit, b = right.unit;
            if (a == Unit::Mixed || b == Unit::Mixed)
                u = Unit::Mixed;
            else if (a == Unit::None || b == Unit::None)
                u = Unit::None;
            else if (op == QLatin1String("*"))
                u = a == Unit::Amount && b == Unit::Amount ? Unit::Mixed
                    : a == Unit::Amount || b == Unit::Amount ? Unit::Amount
                                                             : Unit::Plain;
            else if (op == QLatin1String("/"))
                u = a == Unit::Amount ? (b == Unit::Amount ? Unit::Plain : Unit::Amount)
                                      : (b == Unit::Amount ? Unit::Mixed : Unit::Plain);
            else
                u = a == Unit::Amount || b == Unit::Amount ? Unit::Mixed : Unit::Plain;
            left = made(u, from);
        }
        return left;
    }

    Value concatenation()
    {
        const int from = m_p;
        Value left = unary();
        bool any = false, amount = involvesAmount(left.unit);
        while (takeSymbol("||")) {
            amount = involvesAmount(unary().unit) || amount;
            any = true;
        }
        // An amount pasted into a text shows its ten-thousandths.
        return any ? made(amount ? Unit::Mixed : Unit::Plain, from) : left;
    }

    Value unary()
    {
        const int from = m_p;
        if (peekSymbol(QStringLiteral("-")) || peekSymbol(QStringLiteral("+"))) {
            ++m_p;
            Value v = unary();
            v.text = span(from, m_p);
            return v;
        }
        if (takeSymbol("~")) {
            const Value v = unary();
            return made(involvesAmount(v.unit) ? Unit::Mixed : Unit::Plain, from);
        }
        Value v = primary();
        while (takeWord("COLLATE")) {
            name();
            v.text = span(from, m_p);
        }
        return v;
    }

    Value identifier(const QString& column, int from)
    {
        const QString key = column.toLower();
        Unit u = Unit::Plain;
        if (m_amounts.contains(key))
            u = Unit::Amount;
        else if (m_aliases.contains(key))
            u = m_aliases.value(key);
        return made(u, from);
    }

    Value primary()
    {
        const int from = m_p;
        const Token& t = peek();
        switch (t.kind) {
        case Token::Number: {
            ++m_p;
            Value v = made(Unit::Plain, from);
            v.source = Value::Literal;
            bool ok = false;
            const double d = t.text.toDouble(&ok);
            v.zero = ok && d == 0.0;
            return v;
        }
        case Token::String: {
            ++m_p;
            Value v = made(Unit::Plain, from);
            v.source = Value::Literal;
            return v;
        }
        case Token::Param: {
            ++m_p;
            const QVariant b = m_params.value(t.text.toLower());
            Value v = made(b.isNull() ? Unit::None
                           : b.userType() == qMetaTypeId<Money>() ? Unit::Amount
                                                                  : Unit::Plain,
                           from);
            v.source = Value::Parameter;
            v.param = t.text;
            v.bound = b;
            return v;
        }
        case Token::Symbol:
            if (takeSymbol("(")) {
                Value v;
                if (peekWord("SELECT") || peekWord("WITH") || peekWord("VALUES")) {
                    const auto cols = statement();
                    v.unit = cols.isEmpty() ? Unit::Plain : cols.first().unit;
                } else {
                    v = expr();
                    while (takeSymbol(","))
                        expr();
                }
                expectSymbol(")");
                const Unit u = v.unit;
                v = made(u, from);
                return v;
            }
            throw ParseFailure{};
        case Token::QuotedName:
        case Token::Word:
            break;
        case Token::End:
            throw ParseFailure{};
        }
        if (t.kind == Token::Word) {
            if (takeWord("NULL"))
                return made(Unit::None, from);
            if (takeWord("CURRENT_DATE") || takeWord("CURRENT_TIME") || takeWord("CURRENT_TIMESTAMP"))
                return made(Unit::Plain, from);
            if (takeWord("CASE"))
                return caseExpr(from);
            if (takeWord("EXISTS")) {
                expectSymbol("(");
                statement();
                expectSymbol(")");
                return made(Unit::Plain, from);
            }
            if (peekWord("CAST") && peekSymbol(QStringLiteral("("), 1)) {
                m_p += 2;
                const Value v = expr();
                expectWord("AS");
                QString type;
                while (peek().kind == Token::Word)
                    type += m_t[m_p++].word;
                if (peekSymbol(QStringLiteral("(")))
                    skipBalanced();
                expectSymbol(")");
                const bool text = type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("TEXT")) ||
                                  type.contains(QLatin1String("CLOB"));
                return made(text && involvesAmount(v.unit) ? Unit::Mixed : v.unit, from);
            }
            if (peekWord("RAISE") && peekSymbol(QStringLiteral("("), 1)) {
                ++m_p;
                skipBalanced();
                return made(Unit::Plain, from);
            }
            if (peekSymbol(QStringLiteral("("), 1))
                return function(from);
        }
        if (!isName(t))
            throw ParseFailure{};
        QString column = name();
        while (takeSymbol("."))
            column = name();
        return identifier(column, from);
    }

    Value caseExpr(int from)
    {
        Value base;
        const bool hasBase = !peekWord("WHEN");
        if (hasBase)
            base = expr();
        Value result;
        result.unit = Unit::None;
        bool first = true;
        auto branch = [&](const Value& v) {
            if (first) {
                result = v;
                first = false;
            } else {
                result.unit = same(result, v);
            }
        };
        while (takeWord("WHEN")) {
            const Value w = expr();
            if (hasBase)
                same(base, w);
            expectWord("THEN");
            branch(expr());
        }
        if (takeWord("ELSE"))
            branch(expr());
        expectWord("END");
        return made(result.unit, from);
    }

    Value function(int from)
    {
        const QString fn = m_t[m_p].word;
        m_p += 2;
        takeWord("DISTINCT");
        QVector<Value> args;
        if (takeSymbol("*")) {
        } else if (!peekSymbol(QStringLiteral(")"))) {
            do
                args.push_back(expr());
            while (takeSymbol(","));
        }
        expectSymbol(")");
        // The arguments that become the result must agree with one another.
        auto agreeing = [&](int start) {
            Value acc;
            acc.unit = Unit::None;
            for (int i = start; i < args.size(); ++i) {
                const Unit u = same(acc, args[i]);
                if (acc.unit == Unit::None)
                    acc = args[i];
                acc.unit = u;
            }
            return acc.unit;
        };
        Unit u = Unit::Plain;
        static const QSet<QString> sameAsArgs = {QStringLiteral("SUM"),      QStringLiteral("TOTAL"),
                                                 QStringLiteral("AVG"),      QStringLiteral("MIN"),
                                                 QStringLiteral("MAX"),      QStringLiteral("ABS"),
                                                 QStringLiteral("COALESCE"), QStringLiteral("IFNULL")};
        if (fn == QLatin1String("COUNT") || fn == QLatin1String("FORMAT") || fn == QLatin1String("TYPEOF")) {
            u = Unit::Plain;
        } else if (sameAsArgs.contains(fn)) {
            u = agreeing(0);
        } else if (fn == QLatin1String("ROUND") || fn == QLatin1String("NULLIF")) {
            u = args.isEmpty() ? Unit::Plain : args.first().unit;
            if (fn == QLatin1String("NULLIF") && args.size() == 2)
                same(args[0], args[1]);
        } else if (fn == QLatin1String("IIF") && args.size() == 3) {
            u = agreeing(1);
        } else {
            for (const auto& a : args)
                if (involvesAmount(a.unit))
                    u = Unit::Mixed;
        }
        return made(u, from);
    }

    const QString& m_sql;
    const QVector<Token>& m_t;
    const QSet<QString>& m_amounts;
    const QHash<QString, QVariant>& m_params;
    std::function<QStringList(const QString&)> m_columnsOf;
    QHash<QString, Unit>& m_aliases;
    QString m_error;
    int m_p = 0;
};

} // namespace

SqlAmounts::SqlAmounts(db::Connection& conn, const QString& sql, const db::Params& params)
{
    const QVector<Token> tokens = tokenize(sql);

    // Amount columns are those of the tables the statement names: a column of the same
    // name elsewhere (the mapping of an import) may be text.
    QHash<QString, QString> tables;
    for (const QString& t : conn.tableNames())
        tables.insert(t.toLower(), t);
    QSet<QString> amounts;
    QStringList mentioned;
    for (const Token& t : tokens) {
        if (t.kind != Token::Word && t.kind != Token::QuotedName)
            continue;
        const auto it = tables.constFind(t.text.toLower());
        if (it == tables.cend())
            continue;
        for (const auto& c : conn.tableColumns(*it))
            if (c.declaredType.startsWith(QLatin1String("CURRENCY")))
                amounts.insert(c.name.toLower());
    }
    for (const Token& t : tokens)
        if ((t.kind == Token::Word || t.kind == Token::QuotedName) && amounts.contains(t.text.toLower()) &&
            !mentioned.contains(t.text, Qt::CaseInsensitive))
            mentioned << t.text;

    QHash<QString, QVariant> bound;
    for (const auto& [rawName, value] : params)
        bound.insert((rawName.startsWith(QLatin1Char(':')) ? rawName.mid(1) : rawName).toLower(), value);
    auto columnsOf = [&conn, &tables](const QString& table) {
        QStringList out;
        const auto it = tables.constFind(table.toLower());
        if (it != tables.cend())
            for (const auto& c : conn.tableColumns(*it))
                out << c.name;
        return out;
    };

    // Twice: the first reading learns the units of aliases defined after their use
    // (a subquery in FROM comes after the result list that reads it).
    QHash<QString, Unit> aliases;
    Reader(sql, tokens, amounts, bound, columnsOf, aliases).read();
    const Reader::Outcome o = Reader(sql, tokens, amounts, bound, columnsOf, aliases).read();

    if (!o.understood) {
        // Statements on the schema (PRAGMA, CREATE INDEX) may name amounts harmlessly; a
        // number or a plain value beside them, or rows read or written in a form not
        // understood here, may not.
        bool plainValues = false;
        for (const Token& t : tokens)
            if ((t.kind == Token::Number && t.text.toDouble() != 0.0) ||
                (t.kind == Token::Param && !bound.value(t.text.toLower()).isNull() &&
                 bound.value(t.text.toLower()).userType() != qMetaTypeId<Money>()))
                plainValues = true;
        static const QSet<QString> onRows = {QStringLiteral("SELECT"), QStringLiteral("WITH"),
                                             QStringLiteral("VALUES"), QStringLiteral("INSERT"),
                                             QStringLiteral("REPLACE"), QStringLiteral("UPDATE"),
                                             QStringLiteral("DELETE")};
        if (!mentioned.isEmpty() && (plainValues || onRows.contains(tokens.first().word)))
            throw Error(QStringLiteral("ATTENZIONE: l'istruzione usa gli importi %1 in una forma che lo strumento non "
                                       "sa controllare, e un importo scritto come numero semplice sarebbe letto in "
                                       "decimillesimi di euro: riscriverla come SELECT, INSERT, UPDATE o DELETE "
                                       "semplice, con gli importi dati come parametri :money")
                            .arg(mentioned.join(QStringLiteral(", "))));
        return;
    }
    if (!o.error.isEmpty())
        throw Error(o.error);
    for (const auto& c : o.columns)
        if (c.unit == Unit::Mixed)
            throw Error(QStringLiteral("ATTENZIONE: la colonna %1 è calcolata da un importo in un modo che non dà né "
                                       "euro né un numero semplice: riscriverla, per esempio con SUM, MIN, MAX o AVG "
                                       "dell'importo, o con FORMAT(..., '€ #,##0.00')")
                            .arg(c.name));
    if (!o.star)
        for (const auto& c : o.columns)
            m_units.push_back(c.unit);
    for (const auto& c : o.columns)
        m_names.insert(c.name.toLower(), c.unit);
}

void SqlAmounts::toEuros(db::Result& result) const
{
    const bool byIndex = m_units.size() == result.columns.size();
    for (int i = 0; i < result.columns.size(); ++i) {
        if (!result.columns[i].declaredType.isEmpty())
            continue; // a stored column reads as its declared type already
        const Unit u = byIndex ? m_units[i] : m_names.value(result.columns[i].name.toLower(), Unit::Plain);
        if (u != Unit::Amount)
            continue;
        for (auto& row : result.rows) {
            QVariant& v = row[i];
            if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
                v = QVariant::fromValue(Money::fromRaw(v.toLongLong()));
            else if (v.typeId() == QMetaType::Double)
                v = QVariant::fromValue(Money::fromRaw(std::llround(v.toDouble())));
        }
    }
}

} // namespace sz::cli
