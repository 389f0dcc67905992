#pragma once

#include <QObject>
#include <QString>

namespace sz::db {
class Dataset;
}
namespace sz::ui {
class Grid;
}

// What the register's list points out, cell by cell: an amount still due (red), a row
// collected in full (green), a residual of nothing on a row not paid (orange, with why),
// and a suspended dunning (with its reason as the tooltip).
class EvidenzeElenco : public QObject
{
    Q_OBJECT
public:
    EvidenzeElenco(sz::ui::Grid* grid, sz::db::Dataset* crediti);

    // The tooltip of a visible cell, empty for none.
    QString suggerimento(int riga, const QString& campo) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    sz::ui::Grid* m_grid;
    sz::db::Dataset* m_crediti;
};
