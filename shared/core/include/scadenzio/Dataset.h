#pragma once

#include "scadenzio/Database.h"
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
