// The server database: PostgreSQL through libpq, behind the same Connection and Statement.
//
// Statements are written once for both engines. What the server reads differently is
// rewritten here, token by token (never inside quoted text or comments): ":Name"
// parameters become $n, FORMAT the program's own formatter, LIKE a case-blind match the
// case-blind collation allows, "IS [NOT] :p" a null-safe comparison. Results come back as
// the file gives them: the program's type words live as domains (currency, yesno, datetime,
// varchar_N), read back per result column from the catalog.

#include "DatabaseBackend.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Modifiche.h"
#include "scadenzio/Money.h"
#include "scadenzio/Paths.h"

#include <libpq-fe.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QVarLengthArray>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace sz::db::detail {

namespace {

// A lock held by another connection is waited for as long as the file's busy timeout.
constexpr const char* LockTimeout = "10s";

constexpr Oid BoolOid = 16, ByteaOid = 17, Int8Oid = 20, Int2Oid = 21, Int4Oid = 23, TextOid = 25, Float4Oid = 700,
              Float8Oid = 701, DateOid = 1082, NumericOid = 1700;

int packState(const char* state)
{
    if (!state || std::strlen(state) != 5)
        return 0x40000000;
    int code = 0;
    for (int i = 0; i < 5; ++i)
        code = (code << 6) | ((state[i] - '0') & 0x3F);
    return 0x40000000 | code;
}

// Not a server's state: the program's name for a connection refused over the server's
// certificate, kept in the connection class so it reads as a failure to connect.
constexpr char CertificateRefused[] = "08SZ1";

// Texts every clerk reads, the same as for the file where the failure is the same.
QString clerkTextFor(const QString& state)
{
    if (state == QLatin1String(CertificateRefused))
        return QStringLiteral("il certificato del server del database non è stato accettato: controllare che "
                              "sslrootcert in strConn indichi il certificato dell'autorità che lo ha firmato e che "
                              "il nome del server nell'indirizzo sia quello scritto nel certificato");
    if (state == QLatin1String("23502"))
        return QStringLiteral("manca un dato obbligatorio: completarlo e salvare di nuovo");
    if (state == QLatin1String("23505"))
        return QStringLiteral("esiste già una riga con lo stesso valore: correggerlo e salvare di nuovo");
    if (state.startsWith(QLatin1String("23")))
        return QStringLiteral("il dato non è ammesso dal database: correggerlo e salvare di nuovo");
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03") ||
        state == QLatin1String("57014"))
        return QStringLiteral("il database è in uso da un'altra finestra, postazione o programma e non si è "
                              "liberato in tempo: riprovare tra qualche istante");
    if (state == QLatin1String("53100"))
        return QStringLiteral("il disco del server che contiene il database è pieno: avvisare chi gestisce il server");
    if (state.startsWith(QLatin1String("08")) || state == QLatin1String("57P01") || state == QLatin1String("57P02") ||
        state == QLatin1String("57P03"))
        return QStringLiteral("il server del database non si raggiunge o ha chiuso il collegamento: controllare la "
                              "rete e che il server sia acceso, poi riprovare");
    if (state.startsWith(QLatin1String("28")))
        return QStringLiteral("il server del database ha rifiutato l'utente o la password: controllare l'utente "
                              "indicato in strConn e la password (nel file ~/.pgpass o quella chiesta all'avvio)");
    if (state == QLatin1String("42501") || state == QLatin1String("25006"))
        return QStringLiteral("l'utente del database non ha il permesso di modificare questi dati: chiedere "
                              "all'amministratore del server");
    if (state == QLatin1String("XX001") || state == QLatin1String("XX002"))
        return QStringLiteral("il database sul server è danneggiato: avvisare chi gestisce il server e l'assistenza");
    return {};
}

DatabaseError::Fault faultFor(const QString& state)
{
    using F = DatabaseError::Fault;
    if (state.startsWith(QLatin1String("23")) || state == QLatin1String("SZ001"))
        return F::Constraint;
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03") ||
        state == QLatin1String("57014"))
        return F::Busy;
    if (state == QLatin1String("53100"))
        return F::Full;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")) ||
        state.startsWith(QLatin1String("28")))
        return F::Io;
    if (state == QLatin1String("42501") || state == QLatin1String("25006"))
        return F::ReadOnly;
    if (state == QLatin1String("XX001") || state == QLatin1String("XX002"))
        return F::Damaged;
    return F::Other;
}

DatabaseError stateError(const QString& state, const QString& engineText, const QString& context = QString())
{
    // The program's own refusals (a text past its width) are already the clerk's words.
    const QString clerk = state == QLatin1String("SZ001") ? QString() : clerkTextFor(state);
    QString msg = clerk.isEmpty() ? engineText : clerk + QStringLiteral(" (") + engineText + QLatin1Char(')');
    if (!context.isEmpty())
        msg = context + QStringLiteral(": ") + msg;
    return DatabaseError(msg, faultFor(state), packState(state.toLatin1().constData()));
}

DatabaseError resultError(PGconn* conn, const PGresult* r, const QString& context = QString())
{
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    QString text = QString::fromUtf8(primary ? primary : PQerrorMessage(conn)).trimmed();
    QString st = QString::fromLatin1(state ? state : "");
    // Without a state the server was not heard at all: the connection is gone.
    if (st.isEmpty() && PQstatus(conn) != CONNECTION_OK)
        st = QStringLiteral("08006");
    return stateError(st, text, context);
}

// ---- statement text ---------------------------------------------------------------

bool wordIs(const QString& sql, const Token& t, const char* word)
{
    return t.kind == Token::Word && QStringView(sql).mid(t.from, t.length).compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

struct Rewritten
{
    QString text;
    QStringList params;               // by position ($1 first), as the statement names them, colon included
    QHash<QString, QString> spelling; // lower case -> as the statement writes it
    QString insertTable;              // the table of an INSERT, lower case, or empty
    bool hasReturning = false;
    // Result columns (by alias, lower case) the statement asked FORMAT for, with the pattern:
    // the server sends the value and it is formatted here, as the file's function does.
    QHash<QString, QString> formatHere;
    // The outermost select list's items as written, where the file names a column by its
    // text (an expression without alias); empty for the others. Empty when a * is listed.
    QStringList itemNames;
};

Rewritten rewrite(const QString& sql)
{
    Rewritten out;
    const QVector<Token> tokens = tokenize(sql);
    const auto text = [&](const Token& t) { return sql.mid(t.from, t.length); };
    const auto nextSolid = [&](qsizetype i) {
        for (++i; i < tokens.size(); ++i)
            if (tokens[i].kind != Token::Space && tokens[i].kind != Token::Comment)
                return i;
        return qsizetype(-1);
    };
    qsizetype firstWord = nextSolid(-1);
    QHash<QString, int> paramIndex;
    QString& o = out.text;
    o.reserve(sql.size() + 16);
    qsizetype lastSolid = -1;
    // Text put before or after a token by a rewrite that spans several.
    QHash<qsizetype, QString> before, after;
    // Whether the parenthesis at open holds more than one argument.
    const auto severalArguments = [&](qsizetype open) {
        int depth = 0;
        for (qsizetype k = open; k < tokens.size(); ++k) {
            if (tokens[k].kind != Token::Other)
                continue;
            const QString x = text(tokens[k]);
            if (x == QLatin1String("("))
                ++depth;
            else if (x == QLatin1String(")") && --depth == 0)
                return false;
            else if (x == QLatin1String(",") && depth == 1)
                return true;
        }
        return false;
    };
    // "UPDATE OR FAIL" and its like: what the file does on a conflict unless told otherwise
    // (stop the statement, keep the transaction's earlier work for the caller to undo) is
    // what the server always does.
    qsizetype skipFrom = -1, skipTo = -1;
    if (firstWord >= 0 && (wordIs(sql, tokens[firstWord], "UPDATE") || wordIs(sql, tokens[firstWord], "INSERT"))) {
        const qsizetype orWord = nextSolid(firstWord);
        const qsizetype how = orWord >= 0 ? nextSolid(orWord) : -1;
        if (how >= 0 && wordIs(sql, tokens[orWord], "OR") &&
            (wordIs(sql, tokens[how], "FAIL") || wordIs(sql, tokens[how], "ABORT") ||
             wordIs(sql, tokens[how], "ROLLBACK"))) {
            skipFrom = orWord;
            skipTo = how;
        }
    }
    // The depth of parentheses at each token, for what must stand in the outermost select list.
    QVector<int> depth(tokens.size(), 0);
    for (qsizetype k = 0, d = 0; k < tokens.size(); ++k) {
        const QString x = tokens[k].kind == Token::Other ? text(tokens[k]) : QString();
        if (x == QLatin1String(")"))
            --d;
        depth[k] = int(d);
        if (x == QLatin1String("("))
            ++d;
    }
    QSet<qsizetype> skip;
    // FORMAT(value, 'pattern') AS Name as a whole item of the outermost select list: the value
    // alone is asked for and formatted on arrival. A formatting function on the server costs
    // more than reading the whole list.
    const auto formatItem = [&](qsizetype word, qsizetype open) {
        if (depth[word] != 0)
            return false;
        const qsizetype prev = [&] {
            for (qsizetype k = word - 1; k >= 0; --k)
                if (tokens[k].kind != Token::Space && tokens[k].kind != Token::Comment)
                    return k;
            return qsizetype(-1);
        }();
        if (prev < 0 || !(wordIs(sql, tokens[prev], "SELECT") || text(tokens[prev]) == QLatin1String(",")))
            return false;
        qsizetype close = -1, comma = -1;
        for (qsizetype k = open + 1; k < tokens.size(); ++k) {
            if (depth[k] == 0 && tokens[k].kind == Token::Other && text(tokens[k]) == QLatin1String(")")) {
                close = k;
                break;
            }
            if (depth[k] == 1 && tokens[k].kind == Token::Other && text(tokens[k]) == QLatin1String(","))
                comma = k;
        }
        if (close < 0 || comma < 0)
            return false;
        const qsizetype pattern = nextSolid(comma);
        if (pattern < 0 || tokens[pattern].kind != Token::String || nextSolid(pattern) != close)
            return false;
        const qsizetype as = nextSolid(close);
        const qsizetype alias = as >= 0 ? nextSolid(as) : -1;
        if (alias < 0 || !wordIs(sql, tokens[as], "AS") ||
            (tokens[alias].kind != Token::Word && tokens[alias].kind != Token::Quoted))
            return false;
        const qsizetype then = nextSolid(alias);
        if (then >= 0 && !wordIs(sql, tokens[then], "FROM") && text(tokens[then]) != QLatin1String(","))
            return false;
        QString name = text(tokens[alias]);
        if (tokens[alias].kind == Token::Quoted)
            name = name.mid(1, name.size() - 2);
        QString p = text(tokens[pattern]);
        p = p.mid(1, p.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
        out.formatHere.insert(name.toLower(), p);
        skip.insert(word);
        for (qsizetype k = comma; k <= pattern; ++k)
            skip.insert(k);
        return true;
    };
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if ((i >= skipFrom && i <= skipTo) || skip.contains(i))
            continue;
        const Token& t = tokens[i];
        const QString s = text(t);
        if (auto b = before.constFind(i); b != before.cend())
            o += *b;
        switch (t.kind) {
        case Token::Param: {
            auto it = paramIndex.constFind(s);
            int n;
            if (it == paramIndex.cend()) {
                out.params << s;
                n = int(out.params.size());
                paramIndex.insert(s, n);
            } else {
                n = *it;
            }
            o += QLatin1Char('$') + QString::number(n);
            break;
        }
        case Token::Quoted: {
            // Names live in lower case on the server, as the unquoted names of the statements fold.
            QString inner = s.mid(1, s.size() - 2);
            if (s.startsWith(QLatin1Char('"')))
                inner.replace(QStringLiteral("\"\""), QStringLiteral("\""));
            if ((lastSolid >= 0 && wordIs(sql, tokens[lastSolid], "AS")) || !out.spelling.contains(inner.toLower()))
                out.spelling.insert(inner.toLower(), inner);
            o += QLatin1Char('"') + inner.toLower().replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
            break;
        }
        case Token::Word: {
            const qsizetype next = nextSolid(i);
            const bool call = next >= 0 && text(tokens[next]) == QLatin1String("(");
            if (wordIs(sql, t, "FORMAT") && call) {
                if (!formatItem(i, next))
                    o += QStringLiteral("sz_format");
            } else if ((wordIs(sql, t, "MAX") || wordIs(sql, t, "MIN")) && call && severalArguments(next)) {
                // The file's MAX(a, b, ...) of several values. Unlike it, the server's
                // GREATEST skips empty values instead of answering empty.
                o += wordIs(sql, t, "MAX") ? QStringLiteral("GREATEST") : QStringLiteral("LEAST");
            } else if (wordIs(sql, t, "COALESCE") && call) {
                // COALESCE(column, ''): the file compares the stored text of any column with
                // an empty text; the server needs the column as text first (a date as ISO text).
                qsizetype k = nextSolid(next);
                const qsizetype first = k;
                qsizetype last = -1;
                while (k >= 0 && (tokens[k].kind == Token::Word || tokens[k].kind == Token::Quoted)) {
                    last = k;
                    k = nextSolid(k);
                    if (k < 0 || text(tokens[k]) != QLatin1String("."))
                        break;
                    k = nextSolid(k);
                }
                const qsizetype empty = k >= 0 && text(tokens[k]) == QLatin1String(",") ? nextSolid(k) : -1;
                if (last >= 0 && empty >= 0 && text(tokens[empty]) == QLatin1String("''")) {
                    before[first] += QStringLiteral("CAST(");
                    after[last] += QStringLiteral(" AS text)");
                }
                o += s;
            } else if (wordIs(sql, t, "LIKE")) {
                // A case-blind collation cannot LIKE: the left side takes a plain one and the
                // match ignores case, as the file's like does.
                if (lastSolid >= 0 && wordIs(sql, tokens[lastSolid], "NOT")) {
                    const qsizetype at = o.lastIndexOf(QLatin1String("NOT"), -1, Qt::CaseInsensitive);
                    o.insert(at, QStringLiteral("COLLATE sz_lettere "));
                    o += QStringLiteral("ILIKE");
                } else {
                    o += QStringLiteral("COLLATE sz_lettere ILIKE");
                }
                // The file's like has no escape character; the server's takes a backslash
                // unless told otherwise, which a lone pattern can be.
                const qsizetype rhs = nextSolid(i);
                const qsizetype beyond = rhs >= 0 ? nextSolid(rhs) : -1;
                if (rhs >= 0 && (tokens[rhs].kind == Token::Param || tokens[rhs].kind == Token::String) &&
                    (beyond < 0 || text(tokens[beyond]) == QLatin1String(")") ||
                     text(tokens[beyond]) == QLatin1String(",") || wordIs(sql, tokens[beyond], "AND") ||
                     wordIs(sql, tokens[beyond], "OR") || wordIs(sql, tokens[beyond], "ORDER") ||
                     wordIs(sql, tokens[beyond], "GROUP") || wordIs(sql, tokens[beyond], "LIMIT") ||
                     wordIs(sql, tokens[beyond], "THEN") || wordIs(sql, tokens[beyond], "AS")))
                    after[rhs] += QStringLiteral(" ESCAPE ''");
            } else if (wordIs(sql, t, "IS") && next >= 0) {
                static const char* const keep[] = {"NULL", "TRUE", "FALSE", "UNKNOWN", "DISTINCT"};
                const auto kept = [&](qsizetype k) {
                    for (const char* w : keep)
                        if (wordIs(sql, tokens[k], w))
                            return true;
                    return false;
                };
                if (wordIs(sql, tokens[next], "NOT")) {
                    const qsizetype after = nextSolid(next);
                    if (after >= 0 && !kept(after)) {
                        o += QStringLiteral("IS DISTINCT FROM");
                        i = next;
                    } else {
                        o += s;
                    }
                } else if (!kept(next)) {
                    o += QStringLiteral("IS NOT DISTINCT FROM");
                } else {
                    o += s;
                }
            } else if (wordIs(sql, t, "COLLATE") && next >= 0 &&
                       (wordIs(sql, tokens[next], "BINARY") || wordIs(sql, tokens[next], "NOCASE") ||
                        wordIs(sql, tokens[next], "NOCASEU"))) {
                o += wordIs(sql, tokens[next], "BINARY") ? QStringLiteral("COLLATE \"C\"") : QStringLiteral("COLLATE sz_testo");
                i = next;
            } else {
                // A name's first spelling in the statement, unless it is given as an alias
                // ("Nome AS nome"), which is the name the column comes back with.
                const bool alias = lastSolid >= 0 && wordIs(sql, tokens[lastSolid], "AS");
                if (alias || !out.spelling.contains(s.toLower()))
                    out.spelling.insert(s.toLower(), s);
                if (wordIs(sql, t, "RETURNING"))
                    out.hasReturning = true;
                o += s;
            }
            break;
        }
        case Token::Other:
            if (s == QLatin1String(";")) {
                if (nextSolid(i) >= 0)
                    throw Error(QStringLiteral("è consentita una sola istruzione SQL per volta"));
                break; // a closing semicolon is dropped: RETURNING may follow
            }
            o += s;
            break;
        default:
            o += s;
        }
        if (auto a = after.constFind(i); a != after.cend())
            o += *a;
        if (t.kind != Token::Space && t.kind != Token::Comment)
            lastSolid = i;
    }
    if (firstWord >= 0 && wordIs(sql, tokens[firstWord], "SELECT")) {
        // Items from after SELECT (and DISTINCT) to FROM, split at the commas of depth 0.
        qsizetype k = nextSolid(firstWord);
        if (k >= 0 && (wordIs(sql, tokens[k], "DISTINCT") || wordIs(sql, tokens[k], "ALL")))
            k = nextSolid(k);
        QStringList names;
        bool star = false;
        qsizetype from = k;
        const auto item = [&](qsizetype a, qsizetype b) { // tokens a..b-1
            QVector<qsizetype> solid;
            for (qsizetype j = a; j < b; ++j)
                if (tokens[j].kind != Token::Space && tokens[j].kind != Token::Comment)
                    solid << j;
            if (solid.isEmpty())
                return;
            if (text(tokens[solid.last()]) == QLatin1String("*"))
                star = true;
            bool aliased = false, plain = true;
            for (qsizetype j : solid) {
                if (depth[j] == 0 && wordIs(sql, tokens[j], "AS"))
                    aliased = true;
                const bool name = tokens[j].kind == Token::Word || tokens[j].kind == Token::Quoted ||
                                  text(tokens[j]) == QLatin1String(".");
                plain = plain && name;
            }
            // A bare trailing name after an expression is an alias too ("SUM(x) totale").
            if (!aliased && solid.size() > 1 && tokens[solid.last()].kind == Token::Word &&
                text(tokens[solid[solid.size() - 2]]) != QLatin1String("."))
                aliased = true;
            names << (aliased || plain ? QString()
                                       : sql.mid(tokens[solid.first()].from,
                                                 tokens[solid.last()].from + tokens[solid.last()].length -
                                                     tokens[solid.first()].from));
        };
        for (; k >= 0 && k < tokens.size(); ++k) {
            if (depth[k] != 0)
                continue;
            if (wordIs(sql, tokens[k], "FROM") || wordIs(sql, tokens[k], "WHERE") || wordIs(sql, tokens[k], "ORDER") ||
                wordIs(sql, tokens[k], "GROUP") || wordIs(sql, tokens[k], "LIMIT") || wordIs(sql, tokens[k], "UNION") ||
                text(tokens[k]) == QLatin1String(";"))
                break;
            if (tokens[k].kind == Token::Other && text(tokens[k]) == QLatin1String(",")) {
                item(from, k);
                from = k + 1;
            }
        }
        if (from >= 0)
            item(from, k < 0 ? tokens.size() : k);
        if (!star)
            out.itemNames = names;
    }
    if (firstWord >= 0 && wordIs(sql, tokens[firstWord], "INSERT")) {
        qsizetype k = nextSolid(skipTo >= 0 ? skipTo : firstWord);
        if (k >= 0 && wordIs(sql, tokens[k], "INTO")) {
            k = nextSolid(k);
            if (k >= 0 && (tokens[k].kind == Token::Word || tokens[k].kind == Token::Quoted)) {
                QString name = text(tokens[k]);
                if (tokens[k].kind == Token::Quoted)
                    name = name.mid(1, name.size() - 2);
                out.insertTable = name.toLower();
            }
        }
    }
    return out;
}

// The program's type words as the server keeps them, and back.
QString declaredFromType(const QString& typname, bool identity)
{
    if (typname == QLatin1String("currency"))
        return QStringLiteral("CURRENCY");
    if (typname == QLatin1String("yesno"))
        return QStringLiteral("YESNO");
    if (typname == QLatin1String("datetime"))
        return QStringLiteral("DATETIME");
    if (typname == QLatin1String("memo") || typname == QLatin1String("text"))
        return QStringLiteral("TEXT");
    if (typname.startsWith(QLatin1String("varchar_")))
        return QStringLiteral("VARCHAR(%1)").arg(typname.mid(8));
    if (typname == QLatin1String("int8") || typname == QLatin1String("int4") || typname == QLatin1String("int2"))
        return identity ? QStringLiteral("INTEGER") : QStringLiteral("INT");
    if (typname == QLatin1String("date"))
        return QStringLiteral("DATE");
    return typname.toUpper();
}

enum class Kind { Plain, Date, Money, Bool };

Kind kindOfDeclared(const QString& decl)
{
    if (decl.startsWith(QLatin1String("DATETIME")) || decl == QLatin1String("DATE"))
        return Kind::Date;
    if (decl.startsWith(QLatin1String("CURRENCY")))
        return Kind::Money;
    if (decl.startsWith(QLatin1String("YESNO")) || decl == QLatin1String("BOOL"))
        return Kind::Bool;
    return Kind::Plain;
}

QDate isoDate(const char* p, int n)
{
    if (n < 10 || p[4] != '-' || p[7] != '-')
        return {};
    int v[3] = {0, 0, 0};
    const int from[3] = {0, 5, 8}, count[3] = {4, 2, 2};
    for (int k = 0; k < 3; ++k)
        for (int j = from[k]; j < from[k] + count[k]; ++j) {
            if (p[j] < '0' || p[j] > '9')
                return {};
            v[k] = v[k] * 10 + (p[j] - '0');
        }
    return QDate(v[0], v[1], v[2]);
}

class TextPool
{
public:
    QString text(const char* p, int n)
    {
        if (m_off)
            return QString::fromUtf8(p, n);
        const QByteArray key = QByteArray::fromRawData(p, n);
        const auto it = m_map.constFind(key);
        if (it != m_map.cend())
            return *it;
        QString s = QString::fromUtf8(p, n);
        if (++m_seen >= 1024 && m_map.size() * 2 > m_seen) {
            m_off = true;
            m_map.clear();
            return s;
        }
        if (m_map.size() < 65536)
            m_map.insert(QByteArray(p, n), s);
        return s;
    }

private:
    QHash<QByteArray, QString> m_map;
    int m_seen = 0;
    bool m_off = false;
};

struct Attribute
{
    QString declared; // upper case type word
    QString spelling; // the program's spelling of the name, or empty
};

class PgConnection;

class PgDialect final : public Dialect
{
public:
    QString quoteName(const QString& name) const override
    {
        return QLatin1Char('"') + name.toLower().replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    }
    QString columnType(const QString& typeWord) const override
    {
        const QString t = typeWord.trimmed().toUpper();
        static const QRegularExpression varchar(QStringLiteral("^VARCHAR\\((\\d+)\\)$"));
        if (const auto m = varchar.match(t); m.hasMatch())
            return QStringLiteral("varchar_") + m.captured(1);
        if (t == QLatin1String("MEMO") || t == QLatin1String("TEXT"))
            return QStringLiteral("memo");
        if (t == QLatin1String("CURRENCY"))
            return QStringLiteral("currency");
        if (t == QLatin1String("YESNO"))
            return QStringLiteral("yesno");
        if (t == QLatin1String("DATETIME"))
            return QStringLiteral("datetime");
        if (t == QLatin1String("INT") || t == QLatin1String("INTEGER") || t == QLatin1String("AUTOINCREMENT"))
            return QStringLiteral("bigint");
        return t.toLower();
    }
    QString declaredType(const QString& typeWord) const override
    {
        const QString t = typeWord.trimmed().toUpper();
        if (t == QLatin1String("AUTOINCREMENT"))
            return QStringLiteral("INTEGER");
        if (t == QLatin1String("INTEGER"))
            return QStringLiteral("INT");
        if (t == QLatin1String("MEMO"))
            return QStringLiteral("TEXT");
        return t;
    }
    QString autoIncrementKey(const QString& quotedName) const override
    {
        return quotedName + QStringLiteral(" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
    }
    // The text domains carry the collation themselves.
    QString textCollation() const override { return {}; }
    // The ICU collation gives every printable ASCII character a weight of its own that only
    // letter case shares, so there it agrees with compareText. Beyond ASCII it finds equal
    // what compareText keeps apart ("e" with a combining accent and "é", "ß" and "ss", a
    // zero-width space and nothing), and control characters it ignores.
    bool foldsAsCompareText(const QString& text) const override
    {
        return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
    }
    QString binaryCollation() const override { return QStringLiteral("\"C\""); }
    QString beginWrite() const override { return QStringLiteral("BEGIN"); }
    QString lockRows() const override { return QStringLiteral(" FOR UPDATE"); }
    // An advisory lock of the session: the server frees it when the holder's connection
    // ends, however the holder ended.
    LockResult tryNamedLock(Connection& conn, const QString& name) const override
    {
        return conn.scalar(QStringLiteral("SELECT CASE WHEN pg_try_advisory_lock(hashtext(:Nome)) THEN 1 ELSE 0 END"),
                           {{QStringLiteral("Nome"), name}})
                       .toLongLong() == 1
                   ? LockResult::Taken
                   : LockResult::Busy;
    }
    void releaseNamedLock(Connection& conn, const QString& name) const noexcept override
    {
        try {
            conn.scalar(QStringLiteral("SELECT pg_advisory_unlock(hashtext(:Nome))"), {{QStringLiteral("Nome"), name}});
        } catch (...) {
            // Gone with the connection anyway.
        }
    }
    // The identity's sequence knows nothing of IDs written by hand.
    void continueIds(Connection& conn, const QString& table) const override
    {
        conn.query(QStringLiteral("SELECT setval(pg_get_serial_sequence(:t, 'id'), COALESCE(MAX(\"id\"), 0) + 1, false) "
                                  "FROM %1")
                       .arg(quoteName(table)),
                   {{QStringLiteral("t"), quoteName(table)}});
    }
    bool rebuildsTables() const override { return false; }

    QStringList tableNames(Connection& conn) const override
    {
        QStringList out;
        const Result r = conn.query(QStringLiteral(
            "SELECT c.relname, obj_description(c.oid, 'pg_class') FROM pg_class c JOIN pg_namespace n ON n.oid = "
            "c.relnamespace WHERE c.relkind IN ('r', 'p') AND n.nspname = current_schema() ORDER BY c.oid"));
        for (const auto& row : r.rows) {
            const QString name = row[0].toString(), said = row[1].toString();
            out << (said.toLower() == name ? said : name);
        }
        return out;
    }
    QVector<ColumnInfo> columns(Connection& conn, const QString& table) const override
    {
        QVector<ColumnInfo> out;
        const Result r = conn.query(
            QStringLiteral("SELECT a.attname, t.typname, a.attnotnull, pg_get_expr(d.adbin, d.adrelid), "
                           "a.attidentity <> '', col_description(a.attrelid, a.attnum) FROM pg_attribute a "
                           "JOIN pg_type t ON t.oid = a.atttypid LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid "
                           "AND d.adnum = a.attnum WHERE a.attrelid = to_regclass(quote_ident(lower(:t))) "
                           "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"),
            {{QStringLiteral("t"), table}});
        for (const auto& row : r.rows) {
            const QString name = row[0].toString(), said = row[5].toString();
            const bool identity = row[4].toBool();
            const QString type = declaredFromType(row[1].toString(), identity);
            out.push_back({said.toLower() == name ? said : name, type, row[1].toString(), row[2].toBool(),
                           row[3].toString(), identity});
        }
        return out;
    }
    QStringList indexDefinitions(Connection& conn, const QString& table) const override
    {
        QStringList out;
        const Result r = conn.query(QStringLiteral("SELECT indexdef FROM pg_indexes WHERE schemaname = current_schema() "
                                                   "AND tablename = lower(:t)"),
                                    {{QStringLiteral("t"), table}});
        for (const auto& row : r.rows)
            out << row[0].toString();
        return out;
    }
    void prepareSchema(Connection& conn, const QStringList& typeWords) const override;
    void describeTable(Connection& conn, const QString& table, const QStringList& columnNames) const override;
    void changeColumnType(Connection& conn, const QString& table, const QString& column,
                          const QString& typeWord) const override
    {
        const QString type = columnType(typeWord);
        conn.exec(QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 TYPE %3 USING %2::text::%3")
                      .arg(quoteName(table), quoteName(column), type));
    }
};

// The server runs these in the upgrade's transaction: the program's type words, its
// collations and the functions its statements call. Each is made again on every
// upgrade, so a newer program replaces what an older one made.
const char* const SchemaStatements[] = {
    // Equal when they differ only in letter case, accented letters included, as the file's
    // collation compares. A plain collation of the same language serves LIKE, which a
    // case-blind collation cannot do.
    "CREATE COLLATION IF NOT EXISTS sz_testo (provider = icu, locale = 'und-u-ks-level2', deterministic = false)",
    "CREATE COLLATION IF NOT EXISTS sz_lettere (provider = icu, locale = 'und')",
    "DO $sz$ BEGIN "
    "IF to_regtype('currency') IS NULL THEN CREATE DOMAIN currency AS bigint; END IF; "
    "IF to_regtype('yesno') IS NULL THEN CREATE DOMAIN yesno AS smallint; END IF; "
    "IF to_regtype('datetime') IS NULL THEN CREATE DOMAIN datetime AS date; END IF; "
    "IF to_regtype('memo') IS NULL THEN CREATE DOMAIN memo AS text COLLATE sz_testo; END IF; "
    "END $sz$",
    // Another workstation's open lists hear of a change to the tables they show; the writer
    // names itself so that it is not told of its own change.
    "CREATE OR REPLACE FUNCTION sz_notifica() RETURNS trigger LANGUAGE plpgsql AS $sz$ BEGIN "
    "PERFORM pg_notify('sz_modifiche', TG_TABLE_NAME || '|' || current_setting('application_name')); "
    "RETURN NULL; END $sz$",
    "CREATE OR REPLACE FUNCTION sz_errore(messaggio text) RETURNS bigint LANGUAGE plpgsql IMMUTABLE AS "
    "$sz$ BEGIN RAISE EXCEPTION '%', messaggio; END $sz$",
    // The declared width of a text column is a limit, counted in characters as the user counts them.
    "CREATE OR REPLACE FUNCTION sz_width(valore text, massimo integer, campo text) RETURNS boolean "
    "LANGUAGE plpgsql IMMUTABLE AS $sz$ BEGIN "
    "IF valore IS NULL OR char_length(valore) <= massimo THEN RETURN true; END IF; "
    "RAISE EXCEPTION USING ERRCODE = 'SZ001', MESSAGE = format('il campo %s accetta al massimo %s caratteri "
    "(ne sono stati dati %s)', campo, massimo, char_length(valore)); END $sz$",
    "CREATE OR REPLACE FUNCTION datediff(intervallo text, a date, b date) RETURNS bigint LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT CASE WHEN a IS NULL OR b IS NULL THEN NULL "
    "WHEN lower(intervallo) IN ('d', 'y') THEN (b - a)::bigint "
    "WHEN lower(intervallo) IN ('w', 'ww') THEN ((b - a) / 7)::bigint "
    "WHEN lower(intervallo) = 'm' THEN ((extract(year FROM b) - extract(year FROM a)) * 12 + extract(month FROM b) - "
    "extract(month FROM a))::bigint "
    "WHEN lower(intervallo) = 'yyyy' THEN (extract(year FROM b) - extract(year FROM a))::bigint "
    "ELSE sz_errore('DATEDIFF: intervallo \"' || lower(intervallo) || '\" non gestito') END $sz$",
    // Dates held as text (the log's times, a COALESCE of dates): read as the file's
    // function reads them, ISO or dd/mm/yyyy, and anything else as no date.
    "CREATE OR REPLACE FUNCTION sz_data(t text) RETURNS date LANGUAGE sql IMMUTABLE AS $sz$ "
    "SELECT CASE WHEN t COLLATE \"C\" ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}' THEN "
    "make_date(substr(t, 1, 4)::int, substr(t, 6, 2)::int, substr(t, 9, 2)::int) "
    "WHEN t COLLATE \"C\" ~ '^[0-9]{2}/[0-9]{2}/[0-9]{4}$' THEN "
    "make_date(substr(t, 7, 4)::int, substr(t, 4, 2)::int, substr(t, 1, 2)::int) END $sz$",
    "CREATE OR REPLACE FUNCTION datediff(intervallo text, a text, b text) RETURNS bigint LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT datediff(intervallo, sz_data(a), sz_data(b)) $sz$",
    "CREATE OR REPLACE FUNCTION datediff(intervallo text, a text, b date) RETURNS bigint LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT datediff(intervallo, sz_data(a), b) $sz$",
    "CREATE OR REPLACE FUNCTION datediff(intervallo text, a date, b text) RETURNS bigint LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT datediff(intervallo, a, sz_data(b)) $sz$",
    // The file keeps a date as its ISO text, and statements take pieces of it.
    "CREATE OR REPLACE FUNCTION substr(d date, da integer, quanti integer) RETURNS text LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT substr(to_char(d, 'YYYY-MM-DD'), da, quanti) $sz$",
    "CREATE OR REPLACE FUNCTION substr(d date, da integer) RETURNS text LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT substr(to_char(d, 'YYYY-MM-DD'), da) $sz$",
    "CREATE OR REPLACE FUNCTION year(d date) RETURNS integer LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT extract(year FROM d)::integer $sz$",
    "CREATE OR REPLACE FUNCTION iif(c boolean, a anycompatible, b anycompatible) RETURNS anycompatible "
    "LANGUAGE sql IMMUTABLE AS $sz$ SELECT CASE WHEN c THEN a ELSE b END $sz$",
    "CREATE OR REPLACE FUNCTION iif(c bigint, a anycompatible, b anycompatible) RETURNS anycompatible "
    "LANGUAGE sql IMMUTABLE AS $sz$ SELECT CASE WHEN c <> 0 THEN a ELSE b END $sz$",
    "CREATE OR REPLACE FUNCTION ifnull(a anycompatible, b anycompatible) RETURNS anycompatible "
    "LANGUAGE sql IMMUTABLE AS $sz$ SELECT coalesce(a, b) $sz$",
    // typeof() as the file answers it for the values the server holds.
    "CREATE OR REPLACE FUNCTION typeof(v bigint) RETURNS text LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT CASE WHEN v IS NULL THEN 'null' ELSE 'integer' END $sz$",
    "CREATE OR REPLACE FUNCTION typeof(v integer) RETURNS text LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT CASE WHEN v IS NULL THEN 'null' ELSE 'integer' END $sz$",
    "CREATE OR REPLACE FUNCTION typeof(v numeric) RETURNS text LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT CASE WHEN v IS NULL THEN 'null' WHEN v = trunc(v) THEN 'integer' ELSE 'real' END $sz$",
    "CREATE OR REPLACE FUNCTION typeof(v double precision) RETURNS text LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT CASE WHEN v IS NULL THEN 'null' ELSE 'real' END $sz$",
    "CREATE OR REPLACE FUNCTION typeof(v text) RETURNS text LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT CASE WHEN v IS NULL THEN 'null' ELSE 'text' END $sz$",
    "CREATE OR REPLACE FUNCTION typeof(v date) RETURNS text LANGUAGE sql IMMUTABLE AS "
    "$sz$ SELECT CASE WHEN v IS NULL THEN 'null' ELSE 'text' END $sz$",
    // "1.234,56" of ten-thousandths, rounded half away from zero; "€ 1.234,56" and "-€ 1.234,56".
    "CREATE OR REPLACE FUNCTION sz_importo(v bigint) RETURNS text LANGUAGE sql IMMUTABLE AS $sz$ "
    "SELECT CASE WHEN v IS NULL THEN NULL ELSE "
    "(CASE WHEN v < 0 AND div(abs(v::numeric) + 50, 100) <> 0 THEN '-' ELSE '' END) || "
    "replace(to_char(div(div(abs(v::numeric) + 50, 100), 100), 'FM999,999,999,999,999,990'), ',', '.') || "
    "',' || lpad(mod(div(abs(v::numeric) + 50, 100), 100)::text, 2, '0') END $sz$",
    "CREATE OR REPLACE FUNCTION sz_euro(v bigint) RETURNS text LANGUAGE sql IMMUTABLE AS $sz$ "
    "SELECT CASE WHEN left(sz_importo(v), 1) = '-' THEN '-€ ' || substr(sz_importo(v), 2) "
    "ELSE '€ ' || sz_importo(v) END $sz$",
    "CREATE OR REPLACE FUNCTION sz_format(v bigint, p text) RETURNS text LANGUAGE sql IMMUTABLE AS $sz$ "
    "SELECT CASE WHEN v IS NULL THEN NULL "
    "WHEN strpos(p COLLATE \"C\", '#') > 0 OR strpos(p COLLATE \"C\", '0.00') > 0 THEN "
    "CASE WHEN left(btrim(p), 1) = '€' THEN sz_euro(v) ELSE sz_importo(v) END "
    "ELSE v::text END $sz$",
    // Integers are ten-thousandths, as the file reads a stored amount.
    "CREATE OR REPLACE FUNCTION sz_format(v integer, p text) RETURNS text LANGUAGE sql IMMUTABLE AS $sz$ "
    "SELECT sz_format(v::bigint, p) $sz$",
    "CREATE OR REPLACE FUNCTION sz_format(v numeric, p text) RETURNS text LANGUAGE sql IMMUTABLE AS $sz$ "
    "SELECT CASE WHEN v IS NULL THEN NULL WHEN v = trunc(v) THEN sz_format(v::bigint, p) "
    "ELSE sz_format((v * 10000)::bigint, p) END $sz$",
    "CREATE OR REPLACE FUNCTION sz_format(v double precision, p text) RETURNS text LANGUAGE sql IMMUTABLE AS $sz$ "
    "SELECT CASE WHEN v IS NULL THEN NULL WHEN strpos(p COLLATE \"C\", '#') > 0 OR strpos(p COLLATE \"C\", '0.00') > 0 THEN "
    "sz_format(round(v * 10000)::bigint, p) ELSE v::text END $sz$",
    "CREATE OR REPLACE FUNCTION sz_format(v date, p text) RETURNS text LANGUAGE sql IMMUTABLE AS $sz$ "
    "SELECT CASE WHEN v IS NULL THEN NULL WHEN lower(p) = 'dd/mm/yyyy' THEN to_char(v, 'DD/MM/YYYY') "
    "ELSE to_char(v, 'YYYY-MM-DD') END $sz$",
    "CREATE OR REPLACE FUNCTION sz_format(v text, p text) RETURNS text LANGUAGE sql IMMUTABLE AS $sz$ "
    "SELECT CASE WHEN v IS NULL THEN NULL "
    "WHEN lower(p) = 'dd/mm/yyyy' AND v COLLATE \"C\" ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' "
    "THEN substr(v, 9, 2) || '/' || substr(v, 6, 2) || '/' || substr(v, 1, 4) "
    "WHEN (strpos(p COLLATE \"C\", '#') > 0 OR strpos(p COLLATE \"C\", '0.00') > 0) AND v COLLATE \"C\" ~ '^-?[0-9]+$' "
    "THEN sz_format((v::numeric * 10000)::bigint, p) "
    "ELSE v END $sz$",
};

// ---- statements ---------------------------------------------------------------------

class PgConnection final : public ConnectionBackend
{
public:
    PgConnection(const QString& uri, const QString& password) : m_uri(uri), m_password(password) {}
    ~PgConnection() override
    {
        if (m_conn)
            PQfinish(m_conn);
    }

    void open(Connection& conn) override;
    const Dialect& dialect() const override
    {
        static const PgDialect d;
        return d;
    }
    std::unique_ptr<StatementBackend> prepare(Connection& conn, const QString& sql) override;
    qint64 lastInsertId() override { return m_lastId; }
    int changes() const override { return m_changes; }
    bool inTransaction() const override { return PQtransactionStatus(m_conn) != PQTRANS_IDLE; }
    QVector<Column> tableColumns(Connection& conn, const QString& table) override
    {
        QVector<Column> out;
        for (const auto& c : dialect().columns(conn, table))
            out.push_back({c.name, c.type});
        return out;
    }
    void backupTo(Connection& conn, const QString& destPath) override;
    void restoreFrom(Connection& conn, const QString& sourcePath) override;
    // The server keeps its own cache.
    std::optional<qlonglong> enlargeCache(Connection&, int) override { return std::nullopt; }
    void restoreCache(Connection&, qlonglong) override {}
    // Another workstation may have written at any moment: every call is a new version.
    qint64 dataVersion(Connection&) override { return ++m_version; }

    PGconn* raw() const { return m_conn; }
    void ensureConnected();
    // Changes each time the connection is made again: what was prepared on the old one is gone.
    quint64 generation() const { return m_generation; }
    void noteRun(const PGresult* r, qint64 insertedId)
    {
        const char* n = PQcmdTuples(const_cast<PGresult*>(r));
        m_changes = n && *n ? std::atoi(n) : 0;
        if (insertedId != 0)
            m_lastId = insertedId;
    }
    // The type word and the program's spelling of a table's column.
    const Attribute* attribute(Oid table, int column);
    bool hasIdColumn(const QString& table);
    void schemaChanged()
    {
        m_attributes.clear();
        m_hasId.clear();
    }
    QString nextName() { return QStringLiteral("sz_%1").arg(++m_statements); }
    void runSchema(const QStringList& widths);
    void setUpSession(const QString& context);
    void rawExec(const QByteArray& sql);
    bool changedSince(const QString& part, const QList<QByteArray>& statements);
    void remember(const QString& part, const QList<QByteArray>& statements);

private:
    PGconn* m_conn = nullptr;
    QString m_uri;
    QString m_password;
    qint64 m_lastId = 0;
    int m_changes = 0;
    qint64 m_version = 0;
    quint64 m_generation = 0;
    quint64 m_statements = 0;
    QHash<Oid, QVector<Attribute>> m_attributes;
    QHash<QString, bool> m_hasId;
};

const Attribute* PgConnection::attribute(Oid table, int column)
{
    auto it = m_attributes.find(table);
    if (it == m_attributes.end()) {
        const QByteArray oid = QByteArray::number(table);
        const char* values[] = {oid.constData()};
        PGresult* r = PQexecParams(m_conn,
                                   "SELECT a.attnum, t.typname, a.attidentity <> '', col_description(a.attrelid, "
                                   "a.attnum) FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid "
                                   "WHERE a.attrelid = $1::oid AND a.attnum > 0",
                                   1, nullptr, values, nullptr, nullptr, 0);
        QVector<Attribute> atts;
        const bool read = PQresultStatus(r) == PGRES_TUPLES_OK;
        if (read) {
            for (int i = 0; i < PQntuples(r); ++i) {
                const int num = std::atoi(PQgetvalue(r, i, 0));
                if (num <= 0 || num > 4096)
                    continue;
                if (atts.size() <= num)
                    atts.resize(num + 1);
                atts[num].declared = declaredFromType(QString::fromUtf8(PQgetvalue(r, i, 1)),
                                                      PQgetvalue(r, i, 2)[0] == 't');
                atts[num].spelling = QString::fromUtf8(PQgetvalue(r, i, 3));
            }
        }
        PQclear(r);
        // Unread (a transaction already failed, a broken connection): asked again next time.
        if (!read)
            return nullptr;
        it = m_attributes.insert(table, atts);
    }
    return column > 0 && column < it->size() ? &(*it)[column] : nullptr;
}

bool PgConnection::hasIdColumn(const QString& table)
{
    auto it = m_hasId.constFind(table);
    if (it != m_hasId.cend())
        return *it;
    const QByteArray name = table.toUtf8();
    const char* values[] = {name.constData()};
    PGresult* r = PQexecParams(m_conn,
                               "SELECT 1 FROM pg_attribute WHERE attrelid = to_regclass(quote_ident($1)) "
                               "AND attname = 'id' AND NOT attisdropped",
                               1, nullptr, values, nullptr, nullptr, 0);
    const bool read = PQresultStatus(r) == PGRES_TUPLES_OK;
    const bool has = read && PQntuples(r) > 0;
    PQclear(r);
    if (read)
        m_hasId.insert(table, has);
    return has;
}

class PgStatement final : public StatementBackend
{
public:
    PgStatement(PgConnection& owner, const QString& sql) : m_owner(owner)
    {
        m_rw = rewrite(sql);
        QString text = m_rw.text;
        // The key of a new row comes back with the insert, as the file's last rowid does.
        if (!m_rw.insertTable.isEmpty() && !m_rw.hasReturning && owner.hasIdColumn(m_rw.insertTable)) {
            text += QStringLiteral(" RETURNING id");
            m_returnsId = true;
        }
        m_utf8 = text.toUtf8();
        const QString head = sql.trimmed().left(8).toUpper();
        m_changesSchema = head.startsWith(QLatin1String("CREATE")) || head.startsWith(QLatin1String("ALTER")) ||
                          head.startsWith(QLatin1String("DROP")) || head.startsWith(QLatin1String("COMMENT"));
        m_values.resize(m_rw.params.size());
        m_null.resize(m_rw.params.size());
        m_types.fill(0, m_rw.params.size());
    }
    ~PgStatement() override
    {
        // Only on the connection it was prepared on: a name unknown to the server would
        // fail the transaction in progress.
        if (!m_name.isEmpty() && PQstatus(m_owner.raw()) == CONNECTION_OK && m_generation == m_owner.generation()) {
            // Outside a failed transaction only: there the server refuses every command.
            if (PQtransactionStatus(m_owner.raw()) != PQTRANS_INERROR) {
                const QByteArray q = "DEALLOCATE " + m_name.toLatin1();
                PQclear(PQexec(m_owner.raw(), q.constData()));
            }
        }
    }

    void bind(const Params& params) override;
    Result run(const Params& params) override;

private:
    void prepareNamed();
    QVariant read(const PGresult* r, int row, int col, Kind kind, bool computed, Oid type) const;

    PgConnection& m_owner;
    Rewritten m_rw;
    QByteArray m_utf8;
    QString m_name;
    QVector<Oid> m_types; // of the parameters; 0 leaves each to the server
    quint64 m_generation = 0;
    int m_runs = 0;
    bool m_returnsId = false;
    bool m_changesSchema = false;
    QVector<QByteArray> m_values;
    QVector<bool> m_null;
    QHash<QString, qsizetype> m_places; // parameter name without its colon -> place, made at the first miss
};

// Types are left to the server, which reads each parameter as its place needs; one it
// cannot place (":p IS NULL" alone) is text. Answers whether the types changed.
bool placeUntypedParameter(const PGresult* r, QVector<Oid>& types)
{
    static const QRegularExpression which(QStringLiteral("\\$(\\d+)"));
    const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    if (!state || (std::strcmp(state, "42P18") != 0 && std::strcmp(state, "42P08") != 0))
        return false;
    const auto m = which.match(QString::fromUtf8(PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)));
    const int n = m.hasMatch() ? m.captured(1).toInt() : 0;
    if (n < 1 || n > types.size() || types[n - 1] != 0)
        return false;
    types[n - 1] = TextOid;
    return true;
}

// A statement run once (most of them) costs one exchange with the server; one run again
// (an import's, once per row) is prepared on its second run and reused.
void PgStatement::prepareNamed()
{
    m_name = m_owner.nextName();
    m_generation = m_owner.generation();
    for (;;) {
        PGresult* r = PQprepare(m_owner.raw(), m_name.toLatin1().constData(), m_utf8.constData(),
                                int(m_types.size()), m_types.constData());
        if (PQresultStatus(r) == PGRES_COMMAND_OK) {
            PQclear(r);
            return;
        }
        if (placeUntypedParameter(r, m_types)) {
            PQclear(r);
            continue;
        }
        const DatabaseError e = resultError(m_owner.raw(), r);
        PQclear(r);
        m_name.clear();
        throw e;
    }
}

QByteArray textOfValue(const QVariant& v)
{
    if (v.userType() == qMetaTypeId<Money>())
        return QByteArray::number(qlonglong(v.value<Money>().raw()));
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? "1" : "0";
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
        return QByteArray::number(v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QByteArray::number(v.toDouble(), 'g', 17);
    case QMetaType::QDate:
        return dates::toIso(v.toDate()).toUtf8();
    case QMetaType::QDateTime:
        return dates::toIso(v.toDateTime().date()).toUtf8();
    case QMetaType::QByteArray:
        return "\\x" + v.toByteArray().toHex();
    default:
        return v.toString().toUtf8();
    }
}

void PgStatement::bind(const Params& params)
{
    const qsizetype count = m_rw.params.size();
    QVarLengthArray<bool, 32> bound(count);
    std::fill(bound.begin(), bound.end(), false);
    // ":Name" as the statement spells it, the caller's with or without its colon.
    const auto sameName = [](const QString& p, const QString& rawName) {
        return p == rawName || (p.size() == rawName.size() + 1 && QStringView(p).mid(1) == rawName);
    };
    qsizetype last = -1;
    for (const auto& [rawName, value] : params) {
        // Callers pass the values mostly in the statement's own order (a many-row INSERT
        // has hundreds): the parameter after the last one is tried before the names' index.
        qsizetype i = last + 1;
        if (i >= count || !sameName(m_rw.params[i], rawName)) {
            if (m_places.isEmpty())
                for (qsizetype k = 0; k < count; ++k)
                    m_places.insert(m_rw.params[k].mid(1), k);
            i = m_places.value(rawName.startsWith(QLatin1Char(':')) ? rawName.mid(1) : rawName, -1);
        }
        if (i < 0)
            continue; // a parameter the statement does not use
        const bool isNull = !value.isValid() || value.isNull() ||
                            (value.typeId() == QMetaType::QDate && !value.toDate().isValid());
        m_null[i] = isNull;
        m_values[i] = isNull ? QByteArray() : textOfValue(value);
        // Text on the server holds no NUL character (the file kept it): it is left out,
        // the rest of the text kept.
        if (!isNull && m_values[i].contains('\0'))
            m_values[i].replace(QByteArrayView("\0", 1), QByteArrayView());
        bound[i] = true;
        last = i;
    }
    for (qsizetype i = 0; i < count; ++i)
        if (!bound[i])
            throw Error(QStringLiteral("parametro %1 mancante").arg(m_rw.params[i]));
}

// A text the statement computed, read as the file reads one: a formatted amount, or a
// date when it has the ISO form, or the text.
QVariant computedText(const char* p, int n)
{
    if (n > 4 && (p[0] == '\xE2' || p[0] == '-'))
        if (const auto f = FormattedAmount::fromDisplay(p, n))
            return QVariant::fromValue(*f);
    if (n == 10)
        if (const QDate d = isoDate(p, n); d.isValid())
            return QVariant(d);
    return QString::fromUtf8(p, n);
}

QVariant PgStatement::read(const PGresult* r, int row, int col, Kind kind, bool computed, Oid type) const
{
    if (PQgetisnull(r, row, col))
        return {};
    const char* p = PQgetvalue(r, row, col);
    const int n = PQgetlength(r, row, col);
    switch (kind) {
    case Kind::Date: {
        const QDate d = isoDate(p, n);
        return d.isValid() ? QVariant(d) : QVariant(QString::fromUtf8(p, n));
    }
    case Kind::Money: {
        bool ok = false;
        const qlonglong raw = QByteArray::fromRawData(p, n).toLongLong(&ok);
        if (ok)
            return QVariant::fromValue(Money::fromRaw(raw));
        return QString::fromUtf8(p, n);
    }
    case Kind::Bool:
        if (type == BoolOid)
            return QVariant(p[0] == 't');
        return QVariant(QByteArray::fromRawData(p, n).toLongLong() != 0);
    case Kind::Plain:
        break;
    }
    switch (type) {
    case Int2Oid:
    case Int4Oid:
    case Int8Oid:
        return QVariant(QByteArray::fromRawData(p, n).toLongLong());
    case NumericOid: {
        // Sums of integers come back as numeric: whole numbers stay integers, as in the file.
        bool ok = false;
        const qlonglong whole = QByteArray::fromRawData(p, n).toLongLong(&ok);
        if (ok)
            return QVariant(whole);
        return QVariant(QByteArray::fromRawData(p, n).toDouble());
    }
    case Float4Oid:
    case Float8Oid:
        return QVariant(QByteArray::fromRawData(p, n).toDouble());
    case BoolOid:
        // The file has no truth values: a comparison reads as 1 or 0.
        return QVariant(qlonglong(p[0] == 't' ? 1 : 0));
    case DateOid: {
        const QDate d = isoDate(p, n);
        return d.isValid() ? QVariant(d) : QVariant(QString::fromUtf8(p, n));
    }
    case ByteaOid: {
        size_t len = 0;
        unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(p), &len);
        QByteArray out(reinterpret_cast<const char*>(bytes), qsizetype(len));
        PQfreemem(bytes);
        return out;
    }
    default:
        break;
    }
    if (computed)
        return computedText(p, n);
    return QString::fromUtf8(p, n);
}

Result PgStatement::run(const Params& params)
{
    bind(params);
    QVarLengthArray<const char*, 32> values(m_values.size());
    for (qsizetype i = 0; i < m_values.size(); ++i)
        values[i] = m_null[i] ? nullptr : m_values[i].constData();
    m_owner.ensureConnected();
    if (!m_name.isEmpty() && m_generation != m_owner.generation())
        prepareNamed();
    if (++m_runs == 2 && m_name.isEmpty() && !values.isEmpty())
        prepareNamed();
    PGresult* r = nullptr;
    if (!m_name.isEmpty()) {
        r = PQexecPrepared(m_owner.raw(), m_name.toLatin1().constData(), int(values.size()), values.constData(),
                           nullptr, nullptr, 0);
    } else {
        for (;;) {
            r = PQexecParams(m_owner.raw(), m_utf8.constData(), int(values.size()), m_types.constData(),
                             values.constData(), nullptr, nullptr, 0);
            if (PQresultStatus(r) == PGRES_FATAL_ERROR && placeUntypedParameter(r, m_types)) {
                PQclear(r);
                continue;
            }
            break;
        }
    }
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const DatabaseError e = resultError(m_owner.raw(), r);
        PQclear(r);
        throw e;
    }
    if (m_changesSchema)
        m_owner.schemaChanged();
    Result out;
    if (m_returnsId) {
        const int rows = PQntuples(r);
        m_owner.noteRun(r, rows > 0 ? QByteArray(PQgetvalue(r, rows - 1, 0)).toLongLong() : 0);
        PQclear(r);
        return out;
    }
    m_owner.noteRun(r, 0);
    if (status == PGRES_TUPLES_OK) {
        const int nc = PQnfields(r), nr = PQntuples(r);
        out.columns.resize(nc);
        QVarLengthArray<Kind, 32> kinds(nc);
        QVarLengthArray<char, 32> computed(nc);
        QVarLengthArray<Oid, 32> types(nc);
        QVector<QString> patterns(nc);
        for (int c = 0; c < nc; ++c) {
            const QString name = QString::fromUtf8(PQfname(r, c));
            const Oid table = PQftable(r, c);
            const int column = PQftablecol(r, c);
            const Attribute* a = table != 0 && column > 0 ? m_owner.attribute(table, column) : nullptr;
            // The name as the statement wrote it, else as the program spells the column.
            QString shown = m_rw.spelling.value(name);
            if (shown.isEmpty() && a && a->spelling.toLower() == name)
                shown = a->spelling;
            if (m_rw.itemNames.size() == nc && !m_rw.itemNames[c].isEmpty())
                shown = m_rw.itemNames[c];
            out.columns[c].name = shown.isEmpty() ? name : shown;
            out.columns[c].declaredType = a ? a->declared : QString();
            types[c] = PQftype(r, c);
            kinds[c] = a ? kindOfDeclared(a->declared) : Kind::Plain;
            computed[c] = a == nullptr;
            patterns[c] = m_rw.formatHere.value(name);
            if (!patterns[c].isEmpty()) {
                // What the file's function gives: a value of no declared type, of the
                // value's own kind before it is formatted.
                out.columns[c].declaredType.clear();
                computed[c] = false;
            }
        }
        out.rows.reserve(nr);
        // Lists repeat the same texts on many rows (client, payment mode, state): a column's
        // repeated stored texts share one string, until its values prove mostly different.
        std::vector<TextPool> pools(nr > 1 ? size_t(nc) : 0);
        for (int row = 0; row < nr; ++row) {
            QVector<QVariant> values(nc);
            for (int c = 0; c < nc; ++c) {
                if (!pools.empty() && kinds[c] == Kind::Plain && !computed[c] && patterns[c].isEmpty() &&
                    !PQgetisnull(r, row, c) &&
                    (types[c] == TextOid || types[c] == 1043))
                    values[c] = pools[size_t(c)].text(PQgetvalue(r, row, c), PQgetlength(r, row, c));
                else
                    values[c] = read(r, row, c, kinds[c], computed[c], types[c]);
                if (!patterns[c].isEmpty() && !values[c].isNull()) {
                    const QByteArray shown = formatValue(values[c], patterns[c]).toUtf8();
                    values[c] = computedText(shown.constData(), int(shown.size()));
                }
            }
            out.rows.push_back(std::move(values));
        }
    }
    PQclear(r);
    return out;
}

// The safety copy of a server database (before an import) stays on the server, beside the
// tables: every table copied in one snapshot into a schema of its own, so the copy is
// whole and no other workstation's data is read half-written. The file at destPath only
// records that the copy exists and when it was taken, as a copy file would.
constexpr const char* CopySchema = "sz_copia";

void PgConnection::backupTo(Connection& conn, const QString& destPath)
{
    const QString context = QStringLiteral("Copia del database non riuscita");
    const QFileInfo target(destPath);
    if (!paths::makePrivateFolder(target.absolutePath()))
        throw Error(QStringLiteral("Impossibile creare la cartella \"%1\"").arg(target.absolutePath()));
    const bool own = !inTransaction();
    try {
        if (own)
            conn.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ"));
        const QStringList tables = dialect().tableNames(conn);
        conn.exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(QLatin1String(CopySchema)));
        conn.exec(QStringLiteral("CREATE SCHEMA %1").arg(QLatin1String(CopySchema)));
        for (const auto& t : tables)
            conn.exec(QStringLiteral("CREATE TABLE %1.%2 AS TABLE %2")
                          .arg(QLatin1String(CopySchema), dialect().quoteName(t)));
        if (own)
            conn.exec(QStringLiteral("COMMIT"));
    } catch (const DatabaseError& e) {
        if (own && inTransaction())
            PQclear(PQexec(m_conn, "ROLLBACK"));
        throw DatabaseError(context + QStringLiteral(": ") + e.message(), e.fault(), e.engineCode());
    }
    QFile note(destPath);
    if (!paths::createPrivateFile(destPath) && !note.exists())
        throw Error(QStringLiteral("Impossibile scrivere la copia \"%1\"").arg(destPath));
    if (!note.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Error(QStringLiteral("Impossibile scrivere la copia \"%1\"").arg(destPath));
    note.write(QStringLiteral("Copia sul server, schema %1, del %2\n")
                   .arg(QLatin1String(CopySchema), QDateTime::currentDateTime().toString(Qt::ISODate))
                   .toUtf8());
}

void PgConnection::restoreFrom(Connection& conn, const QString&)
{
    const QString context = QStringLiteral("Ripristino del database non riuscito");
    const Result copied = conn.query(QStringLiteral(
        "SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = "
        "'sz_copia' AND c.relkind = 'r' ORDER BY c.oid"));
    if (copied.rows.isEmpty())
        throw Error(context + QStringLiteral(": sul server non c'è una copia di ripristino"));
    // One transaction: the other workstations see the data before or after, never between.
    const bool own = !inTransaction();
    try {
        if (own)
            conn.exec(QStringLiteral("BEGIN"));
        for (const auto& row : copied.rows) {
            const QString table = dialect().quoteName(row[0].toString());
            QStringList columns;
            for (const auto& c : conn.query(QStringLiteral("SELECT a.attname FROM pg_attribute a WHERE a.attrelid = "
                                                           "to_regclass('sz_copia.' || quote_ident(:t)) AND a.attnum > 0 "
                                                           "AND NOT a.attisdropped AND EXISTS (SELECT 1 FROM "
                                                           "pg_attribute b WHERE b.attrelid = to_regclass(quote_ident(:t)) "
                                                           "AND b.attname = a.attname AND NOT b.attisdropped) ORDER BY "
                                                           "a.attnum"),
                                            {{QStringLiteral("t"), row[0].toString()}})
                                     .rows)
                columns << dialect().quoteName(c[0].toString());
            conn.exec(QStringLiteral("DELETE FROM %1").arg(table));
            if (!columns.isEmpty())
                conn.exec(QStringLiteral("INSERT INTO %1 (%2) OVERRIDING SYSTEM VALUE SELECT %2 FROM sz_copia.%1")
                              .arg(table, columns.join(QStringLiteral(", "))));
            if (columns.contains(QStringLiteral("\"id\"")))
                conn.query(QStringLiteral("SELECT setval(pg_get_serial_sequence(:t, 'id'), COALESCE(MAX(id), 0) + 1, "
                                          "false) FROM %1")
                               .arg(table),
                           {{QStringLiteral("t"), table}});
        }
        if (own)
            conn.exec(QStringLiteral("COMMIT"));
    } catch (const DatabaseError& e) {
        if (own && inTransaction())
            PQclear(PQexec(m_conn, "ROLLBACK"));
        throw DatabaseError(context + QStringLiteral(": ") + e.message(), e.fault(), e.engineCode());
    }
}

std::unique_ptr<StatementBackend> PgConnection::prepare(Connection&, const QString& sql)
{
    return std::make_unique<PgStatement>(*this, sql);
}

void PgConnection::open(Connection&)
{
    // Only the address is shown: a password written in it never reaches a message.
    QString shown = m_uri;
    shown.replace(QRegularExpression(QStringLiteral("(://[^:@/]*):[^@/]*@")), QStringLiteral("\\1@"));
    const QString context = QStringLiteral("Impossibile collegarsi al database \"%1\"").arg(shown);
    const QByteArray uri = m_uri.toUtf8();
    const QByteArray password = m_password.toUtf8();
    // A timeout of its own unless the address gives one: a server that does not answer
    // stops the start within seconds, not minutes.
    QVarLengthArray<const char*, 8> keys, values;
    // The name tells the workstation's own changes apart in the server's notices.
    const QByteArray nome = nomeApplicazione().toUtf8();
    keys << "connect_timeout" << "dbname" << "client_encoding" << "application_name";
    values << "10" << uri.constData() << "UTF8" << nome.constData();
    if (!password.isEmpty()) {
        keys << "password";
        values << password.constData();
    }
    keys << nullptr;
    values << nullptr;
    m_conn = PQconnectdbParams(keys.constData(), values.constData(), 1);
    // libpq keeps what it needs to connect again; this object forgets the password.
    m_password.fill(QLatin1Char(' '));
    m_password.clear();
    if (!m_conn)
        throw DatabaseError(context, DatabaseError::Fault::Other, 0);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString engine = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
        const QString lower = engine.toLower();
        QString state = QStringLiteral("08001");
        // libpq's own words for a server whose certificate the firm's authority did not sign,
        // or that names another host; it gives them no state of their own.
        if (lower.contains(QLatin1String("certificate")) || lower.contains(QLatin1String("certificato")))
            state = QString::fromLatin1(CertificateRefused);
        else if (PQconnectionNeedsPassword(m_conn) || lower.contains(QLatin1String("password")) ||
            lower.contains(QLatin1String("authentication")) || lower.contains(QLatin1String("autenticazione")))
            state = QStringLiteral("28P01");
        else if (lower.contains(QLatin1String("does not exist")) || lower.contains(QLatin1String("non esiste")))
            state = QStringLiteral("3D000");
        PQfinish(m_conn);
        m_conn = nullptr;
        if (state == QLatin1String("3D000"))
            throw DatabaseError(context + QStringLiteral(": il database o l'utente indicato in strConn non esiste sul "
                                                         "server (") + engine + QLatin1Char(')'),
                                DatabaseError::Fault::Other, packState("3D000"));
        throw stateError(state, engine, context);
    }
    setUpSession(context);
}

void PgConnection::setUpSession(const QString& context)
{
    const QByteArray setup = "SET DateStyle = ISO, YMD; SET IntervalStyle = postgres; SET client_min_messages = "
                             "warning; SET extra_float_digits = 3; SET lock_timeout = '" +
                             QByteArray(LockTimeout) + "'";
    PGresult* r = PQexec(m_conn, setup.constData());
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
        const DatabaseError e = resultError(m_conn, r, context);
        PQclear(r);
        throw e;
    }
    PQclear(r);
}

// A window stays open for days; the server may restart meanwhile (an update at night).
// The statement that met the broken connection has failed and said so; the next one
// connects again, as the program did at its start. A transaction open at the break is
// lost with it on the server, so nothing half-done is carried over.
void PgConnection::ensureConnected()
{
    if (PQstatus(m_conn) == CONNECTION_OK)
        return;
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw stateError(QStringLiteral("08006"), QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
    setUpSession(QString());
    ++m_generation;
    schemaChanged();
}

void PgConnection::runSchema(const QStringList& widths)
{
    QList<QByteArray> all;
    for (const char* sql : SchemaStatements)
        all << QByteArray(sql);
    // One text domain per declared width: the column's type then says its width, as the
    // file's declared type does.
    for (const auto& w : widths)
        all << QStringLiteral("DO $sz$ BEGIN IF to_regtype('varchar_%1') IS NULL THEN CREATE DOMAIN varchar_%1 AS "
                              "text COLLATE sz_testo; END IF; END $sz$")
                   .arg(w.toInt())
                   .toUtf8();
    // Workstations starting together upgrade one after the other: replacing the same
    // function from two transactions at once fails on the server.
    rawExec("SELECT pg_advisory_xact_lock(hashtext('scadenzio: struttura'))");
    if (!changedSince("struttura", all))
        return;
    for (const QByteArray& sql : all)
        rawExec(sql);
    remember("struttura", all);
    schemaChanged();
}

// The server's own statements, run as written.
void PgConnection::rawExec(const QByteArray& sql)
{
    PGresult* r = PQexec(m_conn, sql.constData());
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const DatabaseError e = resultError(m_conn, r);
        PQclear(r);
        throw e;
    }
    PQclear(r);
}

// What the upgrade last made of a part of the structure is kept as a fingerprint of its
// statements, outside the program's tables: a start that finds it unchanged writes nothing.
QByteArray fingerprint(const QList<QByteArray>& statements)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const auto& s : statements) {
        h.addData(s);
        h.addData(QByteArrayView("\0", 1));
    }
    return h.result().toHex();
}

bool PgConnection::changedSince(const QString& part, const QList<QByteArray>& statements)
{
    rawExec("CREATE SCHEMA IF NOT EXISTS sz_interno");
    rawExec("CREATE TABLE IF NOT EXISTS sz_interno.impronte (parte text PRIMARY KEY, impronta text NOT NULL)");
    const QByteArray key = part.toUtf8();
    const char* values[] = {key.constData()};
    PGresult* r = PQexecParams(m_conn, "SELECT impronta FROM sz_interno.impronte WHERE parte = $1", 1, nullptr,
                               values, nullptr, nullptr, 0);
    const bool same = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1 &&
                      fingerprint(statements) == QByteArray(PQgetvalue(r, 0, 0));
    PQclear(r);
    return !same;
}

void PgConnection::remember(const QString& part, const QList<QByteArray>& statements)
{
    const QByteArray key = part.toUtf8(), print = fingerprint(statements);
    const char* values[] = {key.constData(), print.constData()};
    PGresult* r = PQexecParams(m_conn,
                               "INSERT INTO sz_interno.impronte (parte, impronta) VALUES ($1, $2) ON CONFLICT "
                               "(parte) DO UPDATE SET impronta = excluded.impronta",
                               2, nullptr, values, nullptr, nullptr, 0);
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    const DatabaseError e = ok ? DatabaseError(QString(), DatabaseError::Fault::Other, 0) : resultError(m_conn, r);
    PQclear(r);
    if (!ok)
        throw e;
}

void PgDialect::prepareSchema(Connection& conn, const QStringList& typeWords) const
{
    // Statements of the engine's own language, not the program's: they go as written.
    QStringList widths;
    static const QRegularExpression varchar(QStringLiteral("^VARCHAR\\((\\d+)\\)$"));
    for (const auto& w : typeWords)
        if (const auto m = varchar.match(w.trimmed().toUpper()); m.hasMatch() && !widths.contains(m.captured(1)))
            widths << m.captured(1);
    static_cast<PgConnection*>(backendOf(conn))->runSchema(widths);
}

void PgDialect::describeTable(Connection& conn, const QString& table, const QStringList& columnNames) const
{
    // The server folds names to lower case: the program's spelling is kept beside each.
    PgConnection* pg = static_cast<PgConnection*>(backendOf(conn));
    const auto literal = [pg](const QString& s) {
        const QByteArray u = s.toUtf8();
        char* q = PQescapeLiteral(pg->raw(), u.constData(), size_t(u.size()));
        const QString out = QString::fromUtf8(q);
        PQfreemem(q);
        return out;
    };
    QStringList sql;
    sql << QStringLiteral("COMMENT ON TABLE %1 IS %2").arg(quoteName(table), literal(table));
    for (const auto& c : columnNames)
        sql << QStringLiteral("COMMENT ON COLUMN %1.%2 IS %3").arg(quoteName(table), quoteName(c), literal(c));
    if (tabelleOsservate().contains(table, Qt::CaseInsensitive))
        sql << QStringLiteral("CREATE OR REPLACE TRIGGER sz_modifiche AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON %1 "
                              "FOR EACH STATEMENT EXECUTE FUNCTION sz_notifica()")
                   .arg(quoteName(table));
    const QByteArray all = sql.join(QStringLiteral("; ")).toUtf8();
    const QString part = QStringLiteral("tabella ") + table.toLower();
    if (!pg->changedSince(part, {all}))
        return;
    pg->rawExec(all);
    pg->remember(part, {all});
    pg->schemaChanged();
}

} // namespace

std::unique_ptr<ConnectionBackend> makePostgres(const QString& uri, const QString& password)
{
    return std::make_unique<PgConnection>(uri, password);
}

} // namespace sz::db::detail
