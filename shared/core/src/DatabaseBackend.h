#pragma once

// The engines behind Connection and Statement. Private to the core library.

#include "scadenzio/Database.h"
#include "scadenzio/Dialect.h"

#include <memory>
#include <optional>

namespace sz::db::detail {

class StatementBackend
{
public:
    virtual ~StatementBackend() = default;
    virtual void bind(const Params& params) = 0;
    virtual Result run(const Params& params) = 0;
};

class ConnectionBackend
{
public:
    virtual ~ConnectionBackend() = default;
    // Second step of opening, once the Connection can run statements through this backend.
    virtual void open(Connection& conn) = 0;
    virtual const Dialect& dialect() const = 0;
    virtual std::unique_ptr<StatementBackend> prepare(Connection& conn, const QString& sql) = 0;
    virtual qint64 lastInsertId() = 0;
    virtual int changes() const = 0;
    virtual bool inTransaction() const = 0;
    virtual QVector<Column> tableColumns(Connection& conn, const QString& table) = 0;
    virtual void backupTo(Connection& conn, const QString& destPath) = 0;
    virtual void restoreFrom(Connection& conn, const QString& sourcePath) = 0;
    virtual std::optional<qlonglong> enlargeCache(Connection& conn, int kib) = 0;
    virtual void restoreCache(Connection& conn, qlonglong previous) = 0;
    virtual qint64 dataVersion(Connection& conn) = 0;
};

// The encrypted file. Throws as Connection's constructor documents.
std::unique_ptr<ConnectionBackend> makeSqlite(const QString& path, const QString& password);
void createSqliteDatabase(const QString& path, const QString& password);
// The server database at a postgresql:// address.
std::unique_ptr<ConnectionBackend> makePostgres(const QString& uri, const QString& password);

// A SQL text split into what the rewriting of statements needs to see.
struct Token
{
    enum Kind { Word, Quoted, Param, Space, Comment, String, Other } kind;
    qsizetype from, length;
};
QVector<Token> tokenize(const QString& sql);

} // namespace sz::db::detail
