#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Export.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

namespace sz::db {

// Thrown by a before-hook to cancel the action silently (after showing its own message).
struct SZ_CORE_EXPORT Abort
{
};

// Thrown by post() when an editor holds text its field cannot take (an amount or a
// date that does not read, a text longer than the column): the message begins with
// "ATTENZIONE: ", names the field, and is shown as it stands; the typing stays.
class SZ_CORE_EXPORT InvalidInput : public Error
{
public:
    using Error::Error;
};

class RecordFilter;

// An opened result held in memory with a current row, editing states and write-back
// by ID, the record filter and the in-memory sort of the lists. Filtering and sorting
// never query the database again; requery() re-reads and keeps both.
class SZ_CORE_EXPORT Dataset : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    // table: where post() and remove() write back, by the ID column. Empty: read-only.
    explicit Dataset(Connection& conn, const QString& table = QString(), QObject* parent = nullptr);
    ~Dataset() override;

    void setSql(const QString& sql, const Params& params = {});
    QString sql() const;
    void setParams(const Params& params);

    void open();    // reads all rows; keeps the filter and the sort
    void close();
    void requery(); // re-reads, keeps filter, sort and (when still visible) the current row by ID
    bool isOpen() const;
    State state() const;

    // Shape of the result.
    int fieldCount() const;
    QString fieldName(int field) const;
    int fieldIndex(const QString& name) const; // case-insensitive, -1 when absent
    QString declaredType(int field) const;

    // Visible rows: those passing the filter, in sort order.
    int recordCount() const;
    bool isEmpty() const;
    int recNo() const; // index of the current visible row, -1 when none
    void moveTo(int visibleRow);
    void first();
    void last();
    void next();
    void prior();
    bool bof() const; // before the first row or empty
    bool eof() const; // after the last row or empty
    // Moves to the first visible row whose field equals value (text compared without case).
    bool locate(const QString& field, const QVariant& value);

    // The current row's value; while editing, the edit buffer's.
    QVariant value(const QString& field) const;
    QVariant value(int field) const;
    QVariant valueAt(int visibleRow, int field) const;
    // The underlying (unfiltered) row number of a visible row, stable until requery.
    int sourceRow(int visibleRow) const;

    // Editing. setValue is allowed in Edit and Insert.
    void edit();
    void insert(); // a new empty row; becomes visible and current when posted
    void setValue(const QString& field, const QVariant& value);
    // An editor's text the field cannot take: post() refuses with the message until the
    // field is set again or the edit is cancelled. An empty message clears it.
    void setInputError(const QString& field, const QString& message);
    bool isModified() const; // editing, with at least one field set since the edit began
    void post();   // writes the changed fields (UPDATE/INSERT by ID); Edit/Insert -> Browse
    void cancel(); // drops the edit buffer
    void remove(); // deletes the current row from the table and from the list

    // Record filter in the list syntax: [Col] like '%x%', [Col] = null, [Col] <> null,
    // [Col] = 'dd/mm/yyyy', =, <>, <, >, <=, >=, AND, OR, parentheses.
    // Empty text switches filtering off. Throws sz::Error on a syntax error.
    void setFilter(const QString& filter);
    QString filter() const;
    // "Field ASC" or "Field DESC", several separated by commas; empty keeps read order.
    void setSort(const QString& sort);
    QString sort() const;

    // Hooks: a before-hook may throw Abort to cancel the action.
    std::function<void(Dataset&)> beforePost, afterPost, beforeDelete, afterDelete, beforeInsert, afterInsert,
        beforeEdit, beforeCancel, afterScroll;
    // Runs right after the row's UPDATE or INSERT, inside the same transaction (the
    // caller's, or one of the dataset's own): what it writes is kept or lost with the row.
    std::function<void(Dataset&)> withinPost;
    // Runs right after the row's DELETE, inside the same transaction, with the row as it
    // was: what it writes (totals of the other rows, say) is kept or lost with the delete.
    std::function<void(Dataset&, const QVector<QVariant>& deletedRow)> withinDelete;
    // Runs on every read (open, requery) before the filter and the sort see the rows: it may
    // append calculated columns, each row given a value for each. Columns it appends are
    // never written back.
    std::function<void(Result&)> afterRead;

signals:
    void rowsReset();            // rows re-read, filter or sort changed: views reload
    void rowChanged(int visibleRow); // values of one visible row changed
    void currentChanged(int visibleRow);
    void stateChanged();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sz::db
