#pragma once

#include "scadenzio/Export.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace sz::db {

class Connection;

// A column as the engine describes it, for the schema upgrade.
struct SZ_CORE_EXPORT ColumnInfo
{
    QString name;     // as the program spells it
    QString type;     // upper case, in the words of declaredType() ("VARCHAR(255)", "CURRENCY", "TEXT")
    QString rawType;  // as the engine declares it
    bool notNull = false;
    QString defaultValue; // the default's SQL text, or empty
    bool primaryKey = false;
};

// Everything the two database engines do differently, in one place: the modules and the
// schema upgrade write their statements once and ask this object for the rest. Nothing
// outside the data layer tells the engines apart.
class SZ_CORE_EXPORT Dialect
{
public:
    virtual ~Dialect();

    // A table or column name, quoted as this engine needs it to match the unquoted
    // spelling the statements use.
    virtual QString quoteName(const QString& name) const = 0;

    // The column type declared for one of the program's type words (VARCHAR(n), MEMO,
    // DATETIME, CURRENCY, INT, YESNO), without collation or checks.
    virtual QString columnType(const QString& typeWord) const = 0;
    // What tableColumns() reports back for a column made with that type word: equal when
    // the column has the type the program defines.
    virtual QString declaredType(const QString& typeWord) const = 0;
    // The whole definition of the ID column (the key, numbered by the engine).
    virtual QString autoIncrementKey(const QString& quotedName) const = 0;
    // Appended to every text column: comparison and ordering without letter case.
    virtual QString textCollation() const = 0;
    // Whether the engine's text comparison finds this text equal to exactly the texts
    // compareText() finds equal to it, so a program may keep such texts in a folded set
    // instead of asking the engine. An engine with a linguistic comparison also finds equal
    // what only looks alike (a letter and its accent written apart, an invisible character,
    // a ligature); such texts must be looked up in the database.
    virtual bool foldsAsCompareText(const QString& text) const = 0;
    // The collation name that compares texts byte for byte ("COLLATE <this>").
    virtual QString binaryCollation() const = 0;
    // The statement that opens a transaction meant to write.
    virtual QString beginWrite() const = 0;
    // Appended to a SELECT that reads rows about to be changed in the same transaction,
    // so no other connection changes them in between.
    virtual QString lockRows() const = 0;

    // A named lock for a long run (the letters of the day), held by this connection until
    // released or the connection ends, so a crashed holder never keeps it. Taken: this
    // connection holds it now (again, when it already did); Busy: another connection does;
    // NotNeeded: the engine serialises writers by itself and the lock table alone decides.
    enum class LockResult { Taken, Busy, NotNeeded };
    virtual LockResult tryNamedLock(Connection& conn, const QString& name) const = 0;
    // Gives back one taking of the lock; never throws.
    virtual void releaseNamedLock(Connection& conn, const QString& name) const noexcept = 0;
    // After rows were written with the IDs of another database: the next ID the engine gives
    // follows the highest in the table.
    virtual void continueIds(Connection& conn, const QString& table) const = 0;
    // Whether a column of another type is brought back to its type by rebuilding the
    // table (true) or changed in place (false).
    virtual bool rebuildsTables() const = 0;

    virtual QStringList tableNames(Connection& conn) const = 0;
    virtual QVector<ColumnInfo> columns(Connection& conn, const QString& table) const = 0;
    // The statements that make the table's indexes again (after a rebuild).
    virtual QStringList indexDefinitions(Connection& conn, const QString& table) const = 0;

    // Runs inside the upgrade's transaction before the tables are made: what the engine
    // needs to hold the program's types (the type words the tables use), functions and
    // collations.
    virtual void prepareSchema(Connection& conn, const QStringList& typeWords) const = 0;
    // Runs inside the upgrade's transaction after a table was made or changed: how the
    // program spells its names, for engines that fold them.
    virtual void describeTable(Connection& conn, const QString& table, const QStringList& columnNames) const = 0;
    // Changes a column to the type definition given (rebuildsTables() false only).
    virtual void changeColumnType(Connection& conn, const QString& table, const QString& column,
                                  const QString& typeWord) const = 0;
};

} // namespace sz::db
