#pragma once

#include "scadenzio/UiExport.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QVector>

namespace sz::db {

class Dataset;

// A table view over the visible rows of a Dataset, following its resets and edits.
// DisplayRole gives the text of the lists (dd/MM/yyyy, "€ 1.234,56", SI/NO),
// Qt::UserRole the value as read.
class SZ_UI_EXPORT DatasetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit DatasetModel(Dataset* dataset, QObject* parent = nullptr);

    // The fields shown, in order, with their column titles; empty shows every field
    // under its own name. A field the result does not have shows as an empty column.
    void setColumns(const QList<QPair<QString, QString>>& fieldsAndTitles);
    // The dataset field of a model column, -1 when absent.
    int fieldOf(int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // A header click: sorts the dataset on the column's field.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    static QString displayText(const QVariant& value);

private:
    void resolveColumns();

    QPointer<Dataset> m_dataset;
    QList<QPair<QString, QString>> m_chosen;
    QVector<int> m_fields;
    QStringList m_titles;
};

} // namespace sz::db
