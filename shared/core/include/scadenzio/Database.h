#pragma once

#include "scadenzio/Error.h"
#include "scadenzio/Export.h"
#include "scadenzio/Money.h"

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>
#include <optional>

namespace sz::db {

class Dialect;
class Connection;
namespace detail {
class ConnectionBackend;
class StatementBackend;
ConnectionBackend* backendOf(Connection& conn);
}

// The password every window keys the database file with.
SZ_CORE_EXPORT QString databasePassword();

// Named parameters: ":Cliente" or "Cliente". QVariant values travel as their
// natural column type: Money as exact ten-thousandths, QDate as ISO text, bool as 0/1.
using Params = QList<QPair<QString, QVariant>>;

struct SZ_CORE_EXPORT Column
{
    QString name;
    QString declaredType; // upper case, as declared in the table ("DATETIME", "CURRENCY", "VARCHAR(255)"), or empty
};

// A fully read result: column descriptions and the rows as values converted by the
// declared column type (DATETIME -> QDate, CURRENCY -> sz::Money, YESNO -> bool).
struct SZ_CORE_EXPORT Result
{
    QVector<Column> columns;
    QVector<QVector<QVariant>> rows;

    int columnIndex(const QString& name) const; // case-insensitive, -1 when absent
    bool isEmpty() const { return rows.isEmpty(); }
    QVariant value(int row, const QString& column) const;
};

// A failure the database engine reported. The message says in the clerk's words what
// happened and what to do, and keeps the engine's own text after it for support.
class SZ_CORE_EXPORT DatabaseError : public Error
{
public:
    enum class Fault {
        Other,
        Busy,       // another connection holds the file longer than the busy timeout
        Full,       // the disk (or its quota) is full
        ReadOnly,   // no permission to write the file or its folder
        Damaged,    // the file is corrupt, truncated or not a database with our key
        Constraint, // a value the table does not accept
        Io,         // the disk or the network share failed
    };
    DatabaseError(const QString& message, Fault fault, int engineCode);
    Fault fault() const noexcept { return m_fault; }
    // The engine's extended result code; for a server database, its five-character error
    // code packed with bit 30 set.
    int engineCode() const noexcept { return m_engineCode; }
    // The server refused the user or the password: asking the clerk for it may help.
    bool isAuthentication() const noexcept;

private:
    Fault m_fault;
    int m_engineCode;
};

class Connection;

// A prepared statement that can be bound and run many times (imports reuse one per row).
class SZ_CORE_EXPORT Statement
{
public:
    Statement(Connection& conn, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(const Params& params);
    // Runs to completion, returns the rows (empty for statements without result).
    Result run(const Params& params = {});

private:
    Connection& m_conn;
    std::unique_ptr<detail::StatementBackend> m_impl;
};

class SZ_CORE_EXPORT Connection
{
public:
    // Opens an existing database file, keys it and proves the key with a first read.
    // Throws sz::Error with a message fit for the common error frame (a DatabaseError
    // when the engine refused, Fault::Damaged when the file cannot be read).
    // A value beginning with postgresql:// or postgres:// opens that server database
    // instead; its password comes from serverPassword, or libpq's ~/.pgpass or PGPASSWORD,
    // and is never kept.
    explicit Connection(const QString& path, const QString& password = databasePassword(),
                        const QString& serverPassword = QString());
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The connection every window opens: the path (or server address) from LoadConnection().
    static std::unique_ptr<Connection> openDefault(const QString& serverPassword = QString());
    // The server password the clerk typed at start, kept in this process's memory only and
    // used by every server connection opened afterwards without a password of its own
    // (and by the watchers and the dump tool).
    static void setSessionServerPassword(const QString& password);
    static QString sessionServerPassword();
    // Whether a connection value names a server database rather than a file.
    static bool isServerAddress(const QString& value);
    // Makes a new, empty encrypted database file, readable by its owner only (missing
    // folders included, private to the owner too).
    static void createDatabase(const QString& path, const QString& password = databasePassword());

    void exec(const QString& sql, const Params& params = {});
    Result query(const QString& sql, const Params& params = {});
    // The first column of the first row, or a null QVariant.
    QVariant scalar(const QString& sql, const Params& params = {});

    qint64 lastInsertId() const;
    int changes() const;
    bool inTransaction() const;

    // What differs between the engines: type words, collations, transactions, introspection.
    const Dialect& dialect() const;
    // A larger cache for a long run of scattered reads and writes (an import); returns the
    // setting to give back to restoreCache(), or nothing when the engine keeps its own.
    std::optional<qlonglong> enlargeCache(int kib);
    void restoreCache(qlonglong previous);
    // Changes when another connection may have written since the last call: equal values
    // mean nothing changed elsewhere.
    qint64 dataVersion();

    QStringList tableNames();                  // user tables, as the file spells them
    QVector<Column> tableColumns(const QString& table); // in table order

    // A consistent copy of the whole database into destPath, keyed with the same
    // password and readable by its owner only. Written beside the target, checked
    // (quick_check) and only then renamed over it, so a failed or damaged copy never
    // replaces a good one. Throws DatabaseError with Fault::Damaged when this database
    // itself cannot be read whole.
    void backupTo(const QString& destPath);
    // Writes a copy made by backupTo back into this database, whole, through the same
    // engine: every connection to the file sees the restored data. The copy is checked
    // first; a damaged or foreign copy changes nothing.
    void restoreFrom(const QString& sourcePath);

    const QString& path() const { return m_path; }

private:
    friend class Statement;
    friend detail::ConnectionBackend* detail::backendOf(Connection& conn);

    std::unique_ptr<detail::ConnectionBackend> m_impl;
    QString m_path;
};

// Rolls back when it goes out of scope without commit(), also when left by an exception.
class SZ_CORE_EXPORT Transaction
{
public:
    explicit Transaction(Connection& conn);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Connection& m_conn;
    bool m_done = false;
};

// Text comparison as the register expects it: letter case ignored, accented letters too.
SZ_CORE_EXPORT int compareText(const QString& a, const QString& b);
// The like operator of statements: % any run, _ one character, case ignored. The lists'
// record filters pass underscoreIsWildcard = false: there only % (and *) are wildcards.
SZ_CORE_EXPORT bool likeMatch(const QString& pattern, const QString& value, bool underscoreIsWildcard = true);

// "€ #,##0.00" and "dd/mm/yyyy" formatting of stored values, as the SQL FORMAT function does.
SZ_CORE_EXPORT QString formatValue(const QVariant& value, const QString& pattern);

} // namespace sz::db
