#include "scadenzio/Database.h"

#include "DatabaseBackend.h"
#include "scadenzio/Dialect.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"

#include <QByteArrayView>
#include <QDir>
#include <QHash>
#include <QVarLengthArray>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

namespace sz::db {

QString databasePassword()
{
    return QStringLiteral("kzmqrvt");
}

DatabaseError::DatabaseError(const QString& message, Fault fault, int engineCode)
    : Error(message), m_fault(fault), m_engineCode(engineCode)
{
}


// ---- Result ----------------------------------------------------------------

int Result::columnIndex(const QString& name) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant Result::value(int row, const QString& column) const
{
    const int c = columnIndex(column);
    if (row < 0 || row >= rows.size() || c < 0)
        return {};
    return rows[row][c];
}


// ---- Statement --------------------------------------------------------------

Statement::Statement(Connection& conn, const QString& sql) : m_conn(conn), m_impl(conn.m_impl->prepare(conn, sql))
{
}

Statement::~Statement() = default;

void Statement::bind(const Params& params)
{
    m_impl->bind(params);
}

Result Statement::run(const Params& params)
{
    return m_impl->run(params);
}

// ---- Connection ---------------------------------------------------------------

bool Connection::isServerAddress(const QString& value)
{
    const QString v = value.trimmed();
    return v.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           v.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

namespace {
QString& sessionPassword()
{
    static QString p;
    return p;
}
} // namespace

Connection::Connection(const QString& rawPath, const QString& password, const QString& serverPassword)
{
    if (isServerAddress(rawPath)) {
        m_path = rawPath.trimmed();
        m_impl = detail::makePostgres(m_path, serverPassword.isEmpty() ? sessionPassword() : serverPassword);
    } else {
        m_path = rawPath;
        m_path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        m_impl = detail::makeSqlite(m_path, password);
    }
    m_impl->open(*this);
}

Connection::~Connection() = default;

void Connection::setSessionServerPassword(const QString& password)
{
    sessionPassword() = password;
}

QString Connection::sessionServerPassword()
{
    return sessionPassword();
}

bool DatabaseError::isAuthentication() const noexcept
{
    // A server's five-character state packed six bits a character: class 28 is the
    // server refusing the user or the password.
    if (!(m_engineCode & 0x40000000))
        return false;
    return ((m_engineCode >> 24) & 0x3F) == 2 && ((m_engineCode >> 18) & 0x3F) == 8;
}

std::unique_ptr<Connection> Connection::openDefault(const QString& serverPassword)
{
    return std::make_unique<Connection>(paths::LoadConnection(), databasePassword(), serverPassword);
}

void Connection::createDatabase(const QString& path, const QString& password)
{
    detail::createSqliteDatabase(path, password);
}

void Connection::exec(const QString& sql, const Params& params)
{
    Statement st(*this, sql);
    st.run(params);
}

Result Connection::query(const QString& sql, const Params& params)
{
    Statement st(*this, sql);
    return st.run(params);
}

QVariant Connection::scalar(const QString& sql, const Params& params)
{
    const Result r = query(sql, params);
    if (r.rows.isEmpty() || r.columns.isEmpty())
        return {};
    return r.rows.first().first();
}

qint64 Connection::lastInsertId() const
{
    return m_impl->lastInsertId();
}

int Connection::changes() const
{
    return m_impl->changes();
}

bool Connection::inTransaction() const
{
    return m_impl->inTransaction();
}

const Dialect& Connection::dialect() const
{
    return m_impl->dialect();
}

std::optional<qlonglong> Connection::enlargeCache(int kib)
{
    return m_impl->enlargeCache(*this, kib);
}

void Connection::restoreCache(qlonglong previous)
{
    m_impl->restoreCache(*this, previous);
}

qint64 Connection::dataVersion()
{
    return m_impl->dataVersion(*this);
}

QStringList Connection::tableNames()
{
    return dialect().tableNames(*this);
}

QVector<Column> Connection::tableColumns(const QString& table)
{
    return m_impl->tableColumns(*this, table);
}

void Connection::backupTo(const QString& destPath)
{
    m_impl->backupTo(*this, destPath);
}

void Connection::restoreFrom(const QString& sourcePath)
{
    m_impl->restoreFrom(*this, sourcePath);
}

// ---- Transaction ------------------------------------------------------------------

Transaction::Transaction(Connection& conn) : m_conn(conn)
{
    m_conn.exec(m_conn.dialect().beginWrite());
}

Transaction::~Transaction()
{
    if (!m_done) {
        try {
            m_conn.exec(QStringLiteral("ROLLBACK"));
        } catch (...) {
        }
    }
}

void Transaction::commit()
{
    m_conn.exec(QStringLiteral("COMMIT"));
    m_done = true;
}

Dialect::~Dialect() = default;

namespace detail {

ConnectionBackend* backendOf(Connection& conn)
{
    return conn.m_impl.get();
}

namespace {
// "$tag$" or "$$" starting at i, or empty.
QString dollarTag(const QString& sql, qsizetype i)
{
    qsizetype j = i + 1;
    while (j < sql.size() && (sql[j].isLetterOrNumber() || sql[j] == QLatin1Char('_')))
        ++j;
    if (j < sql.size() && sql[j] == QLatin1Char('$') && (j == i + 1 || !sql[i + 1].isDigit()))
        return sql.mid(i, j - i + 1);
    return {};
}
} // namespace

QVector<Token> tokenize(const QString& sql)
{
    QVector<Token> out;
    const qsizetype n = sql.size();
    const auto isWordStart = [](QChar c) { return c.isLetter() || c == QLatin1Char('_'); };
    const auto isWord = [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$'); };
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        const qsizetype from = i;
        Token::Kind kind = Token::Other;
        if (c.isSpace()) {
            while (i < n && sql[i].isSpace())
                ++i;
            kind = Token::Space;
        } else if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            while (i < n && sql[i] != QLatin1Char('\n'))
                ++i;
            kind = Token::Comment;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            kind = Token::Comment;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
            // A doubled quote stays inside the text; an unclosed one runs to the end.
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            ++i;
            while (i < n) {
                if (sql[i] == close) {
                    if (close != QLatin1Char(']') && i + 1 < n && sql[i + 1] == close) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            kind = c == QLatin1Char('\'') ? Token::String : Token::Quoted;
        } else if (c == QLatin1Char('$') && sql.indexOf(QLatin1Char('$'), i + 1) > i &&
                   dollarTag(sql, i).size() > 0) {
            // A dollar-quoted text of the server's language: $tag$ ... $tag$.
            const QString tag = dollarTag(sql, i);
            const qsizetype end = sql.indexOf(tag, i + tag.size());
            i = end < 0 ? n : end + tag.size();
            kind = Token::String;
        } else if (c == QLatin1Char(':') && i + 1 < n && sql[i + 1] == QLatin1Char(':')) {
            i += 2; // a cast, never a parameter
        } else if ((c == QLatin1Char(':') || c == QLatin1Char('@') || c == QLatin1Char('$')) && i + 1 < n &&
                   isWordStart(sql[i + 1])) {
            ++i;
            while (i < n && isWord(sql[i]) && sql[i] != QLatin1Char('$'))
                ++i;
            kind = Token::Param;
        } else if (isWordStart(c)) {
            while (i < n && isWord(sql[i]))
                ++i;
            kind = Token::Word;
        } else if (c.isDigit()) {
            while (i < n && (sql[i].isLetterOrNumber() || sql[i] == QLatin1Char('.')))
                ++i;
        } else {
            ++i;
        }
        out.push_back({kind, from, i - from});
    }
    return out;
}

} // namespace detail

// ---- text helpers ------------------------------------------------------------------

int compareText(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool likeMatch(const QString& pattern, const QString& value, bool underscoreIsWildcard)
{
    // Iterative matcher with one backtrack point: linear enough for list filters.
    qsizetype p = 0, v = 0, starP = -1, starV = 0;
    const qsizetype np = pattern.size(), nv = value.size();
    auto same = [](QChar a, QChar b) { return a == b || a.toCaseFolded() == b.toCaseFolded(); };
    while (v < nv) {
        if (p < np && pattern[p] == QLatin1Char('%')) {
            starP = ++p;
            starV = v;
        } else if (p < np && ((underscoreIsWildcard && pattern[p] == QLatin1Char('_')) || same(pattern[p], value[v]))) {
            ++p;
            ++v;
        } else if (starP >= 0) {
            p = starP;
            v = ++starV;
        } else {
            return false;
        }
    }
    while (p < np && pattern[p] == QLatin1Char('%'))
        ++p;
    return p == np;
}

QString formatValue(const QVariant& value, const QString& pattern)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (pattern.contains(QLatin1Char('#')) || pattern.contains(QLatin1String("0.00"))) {
        Money m;
        if (value.userType() == qMetaTypeId<Money>())
            m = value.value<Money>();
        else if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
            m = Money::fromRaw(value.toLongLong()); // amounts are stored in ten-thousandths
        else if (value.typeId() == QMetaType::Double)
            m = Money::fromDouble(value.toDouble());
        else if (auto parsed = Money::parse(value.toString()))
            m = *parsed;
        else
            return value.toString();
        // Written here in unsigned arithmetic, rounded half away from zero to the cent as
        // Money does: any stored amount, the largest and the smallest included, has a text.
        const std::int64_t raw = m.raw();
        const std::uint64_t absRaw = raw < 0 ? std::uint64_t(0) - std::uint64_t(raw) : std::uint64_t(raw);
        const std::uint64_t cents = absRaw / 100 + (absRaw % 100 >= 50 ? 1 : 0);
        QString digits = QString::number(cents / 100);
        for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
            digits.insert(at, QLatin1Char('.'));
        QString plain = digits + QLatin1Char(',') + QString::number(cents % 100).rightJustified(2, QLatin1Char('0'));
        const bool negative = raw < 0 && cents != 0;
        if (!pattern.trimmed().startsWith(QChar(0x20AC)))
            return negative ? QLatin1Char('-') + plain : plain;
        return (negative ? QStringLiteral("-€ ") : QStringLiteral("€ ")) + plain;
    }
    if (pattern.compare(QLatin1String("dd/mm/yyyy"), Qt::CaseInsensitive) == 0) {
        const QDate d = value.typeId() == QMetaType::QDate ? value.toDate() : dates::fromIso(value.toString());
        return d.isValid() ? dates::toDisplay(d) : value.toString();
    }
    return value.toString();
}

} // namespace sz::db