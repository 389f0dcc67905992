#pragma once

#include "CreditTotals.h"

#include "scadenzio/Widgets.h"

#include <QList>

class QBarSeries;
class QBarSet;
class QChart;
class QChartView;
class QGraphicsSimpleTextItem;
class QValueAxis;

// How much of the open credit has been collected and how much is still to collect,
// read once when the frame is made.
class TFrameStatistiche : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameStatistiche(QWidget* parent = nullptr);

    const sz::stats::CreditTotals& totals() const { return m_totals; }
    QChartView* chartView() const { return m_view; }
    QBarSeries* series() const { return m_series; }
    QValueAxis* valueAxis() const { return m_axis; }
    // The amount written over each bar, in legend order; hidden for an empty sum.
    const QList<QGraphicsSimpleTextItem*>& valueLabels() const { return m_labels; }

private:
    void buildChart();
    void placeValueLabels();

    sz::stats::CreditTotals m_totals;
    QChartView* m_view = nullptr;
    QChart* m_chart = nullptr;
    QBarSeries* m_series = nullptr;
    QValueAxis* m_axis = nullptr;
    QList<QBarSet*> m_sets;
    QList<std::optional<sz::Money>> m_values;
    QList<QGraphicsSimpleTextItem*> m_labels;
};
