#include "scadenzio/DatasetModel.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Money.h"

namespace sz::db {

DatasetModel::DatasetModel(Dataset* dataset, QObject* parent) : QAbstractTableModel(parent), m_dataset(dataset)
{
    resolveColumns();
    connect(dataset, &Dataset::rowsReset, this, [this] {
        beginResetModel();
        resolveColumns();
        endResetModel();
    });
    connect(dataset, &Dataset::rowChanged, this, [this](int row) {
        if (row >= 0 && !m_fields.isEmpty())
            emit dataChanged(index(row, 0), index(row, int(m_fields.size()) - 1));
    });
}

void DatasetModel::setColumns(const QList<QPair<QString, QString>>& fieldsAndTitles)
{
    beginResetModel();
    m_chosen = fieldsAndTitles;
    resolveColumns();
    endResetModel();
}

// Field numbers change with every open, so names are resolved again at each reset.
void DatasetModel::resolveColumns()
{
    m_fields.clear();
    m_titles.clear();
    if (!m_dataset)
        return;
    if (m_chosen.isEmpty()) {
        for (int f = 0; f < m_dataset->fieldCount(); ++f) {
            m_fields << f;
            m_titles << m_dataset->fieldName(f);
        }
        return;
    }
    for (const auto& [field, title] : m_chosen) {
        m_fields << m_dataset->fieldIndex(field);
        m_titles << title;
    }
}

int DatasetModel::fieldOf(int column) const
{
    return column >= 0 && column < m_fields.size() ? m_fields[column] : -1;
}

int DatasetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_dataset ? 0 : m_dataset->recordCount();
}

int DatasetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_fields.size());
}

QString DatasetModel::displayText(const QVariant& value)
{
    if (!value.isValid())
        return {};
    switch (value.userType()) {
    case QMetaType::QDate:
        return dates::toDisplay(value.toDate());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("SI") : QStringLiteral("NO");
    default:
        if (value.userType() == qMetaTypeId<Money>())
            return value.value<Money>().toDisplay();
        return value.toString();
    }
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const
{
    if (!m_dataset || !index.isValid())
        return {};
    const int field = fieldOf(index.column());
    if (field < 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return displayText(m_dataset->valueAt(index.row(), field));
    case Qt::UserRole:
        return m_dataset->valueAt(index.row(), field);
    case Qt::TextAlignmentRole: {
        const QVariant v = m_dataset->valueAt(index.row(), field);
        const int t = v.userType();
        const bool number = t == qMetaTypeId<Money>() || t == QMetaType::LongLong || t == QMetaType::Int ||
                            t == QMetaType::Double;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    default:
        return {};
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_titles.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_titles[section];
}

void DatasetModel::sort(int column, Qt::SortOrder order)
{
    const int field = fieldOf(column);
    if (!m_dataset || field < 0)
        return;
    m_dataset->setSort(QStringLiteral("[%1] %2").arg(m_dataset->fieldName(field),
                                                     order == Qt::AscendingOrder ? QStringLiteral("ASC")
                                                                                 : QStringLiteral("DESC")));
}

} // namespace sz::db
