#pragma once

#include "scadenzio/Export.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sz::db {

// Every value of one column of loaded rows, case-folded once into a single block.
// A dataset keeps these across filters, so typing in a search box folds each value
// once rather than at every keystroke, and the search reads memory in order.
class SZ_CORE_EXPORT FoldedColumn
{
public:
    // Built a row at a time: a dataset folds all the columns a filter needs in one
    // pass over its rows, which costs far less than a pass per column.
    void reserve(int rows);
    void append(const QVariant& value);
    int size() const { return int(m_null.size()); }
    bool isNull(int row) const { return m_null[size_t(row)]; }
    std::u16string_view text(int row) const
    {
        return std::u16string_view(m_text).substr(size_t(m_start[size_t(row)]),
                                                  size_t(m_start[size_t(row) + 1] - m_start[size_t(row)]));
    }

private:
    std::u16string m_text;
    std::vector<int> m_start;
    std::vector<char> m_null;
};

// The filter of the lists, compiled once against the column names of a result and
// then tested on every loaded row. Syntax:
//   [Col] like '%x%'   [Col] = null   [Col] <> null   [Col] = 'dd/mm/yyyy'
//   =, <>, <, >, <=, >=, AND, OR, NOT, parentheses; columns in brackets or bare.
// A literal takes the type of the value it meets: a date for date values, an amount
// for money, a number for numbers, otherwise text compared without case.
class SZ_CORE_EXPORT RecordFilter
{
public:
    // Throws sz::Error ("Filtro non valido: ...") on a syntax error or an unknown column.
    RecordFilter(const QString& text, const QStringList& columnNames);
    ~RecordFilter();
    RecordFilter(RecordFilter&&) noexcept;
    RecordFilter& operator=(RecordFilter&&) noexcept;
    RecordFilter(const RecordFilter&) = delete;
    RecordFilter& operator=(const RecordFilter&) = delete;

    const QString& text() const { return m_text; }
    // A blank text filters nothing out.
    bool matches(const QVector<QVariant>& row) const;
    // The same test, reading like operands from folded columns where one of the
    // right length is given (folded[column], rowIndex being the row's place in it).
    bool matches(const QVector<QVariant>& row, int rowIndex, const std::vector<FoldedColumn>& folded) const;
    // The columns like operators look at: those worth folding before matches().
    QList<int> likeColumns() const;

    // The text a non-text value is matched against by like ("05/03/2026", "1.234,56").
    static QString likeText(const QVariant& value);

    struct Node;

private:
    QString m_text;
    std::unique_ptr<Node> m_root;
};

// A search text as the literal of a "contains" like: "'%" + text + "%'", with every
// quote of the text doubled, so that what the user typed is searched for and can never
// end the literal or change the filter.
SZ_CORE_EXPORT QString containsLiteral(const QString& text);
// "[A] like '%t%' OR [B] like '%t%' ...": empty when the text is empty.
SZ_CORE_EXPORT QString containsInAny(const QStringList& columns, const QString& text);
// "[Scadenza] = 'dd/mm/yyyy'" from a date box as shown; empty while the date is not
// fully typed (the mask keeps the text ten characters long, blanks included).
SZ_CORE_EXPORT QString dateEqualsClause(const QString& column, const QString& maskedText);
// The record filter of a list from its clauses (each empty when its control filters
// nothing): the first two joined by AND; the search clause, an OR group over
// textColumns, is distributed over the others, because the record filter cannot AND an
// OR group. searchText is the search box's text.
SZ_CORE_EXPORT QString composeListFilter(const QString& first, const QString& second, const QString& search,
                                         const QStringList& textColumns, const QString& searchText);

} // namespace sz::db
