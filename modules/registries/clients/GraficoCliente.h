#pragma once

#include "StatisticheCliente.h"

#include <QChartView>
#include <QList>

class QBarSet;
class QCategoryAxis;
class QChart;
class QGraphicsSimpleTextItem;
class QStackedBarSeries;

// The four-bar chart of the client page. Qt Charts formats bar labels and axis values
// in the C locale and without the euro sign, so both are drawn from Money instead.
class GraficoCliente : public QChartView
{
    Q_OBJECT
public:
    explicit GraficoCliente(QWidget* parent = nullptr);

    void mostra(const clienti::FigureCliente& figure);
    const clienti::FigureCliente& figure() const { return m_figure; }
    // The value label of each bar as shown ("" for a bar without amount), legend order.
    QStringList etichette() const;

private:
    void posizionaEtichette();
    void impostaAsse(double minimo, double massimo);

    QChart* m_chart;
    QStackedBarSeries* m_series;
    QCategoryAxis* m_asseY;
    QList<QBarSet*> m_sets;
    QList<QGraphicsSimpleTextItem*> m_etichette;
    clienti::FigureCliente m_figure;
};
