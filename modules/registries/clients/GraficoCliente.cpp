#include "GraficoCliente.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QFont>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QStackedBarSeries>
#include <cmath>

namespace {

struct Barra
{
    const char* legenda;
    QColor barra;
    QColor etichetta;
};

// Legend order is the order users read the figures in: invoiced, open, to collect, collected.
const Barra barre[] = {
    {"Totale Fatture", QColor(150, 156, 163), QColor(70, 76, 83)},
    {"Totale Crediti", QColor(0, 128, 192), QColor(0, 96, 150)},
    {"Da Incassare", QColor(232, 120, 110), QColor(200, 30, 30)},
    {"Incassati", QColor(110, 190, 120), QColor(20, 130, 40)},
};

std::optional<sz::Money> figura(const clienti::FigureCliente& f, int i)
{
    switch (i) {
    case 0: return f.totaleFatture;
    case 1: return f.totaleCrediti;
    case 2: return f.daIncassare;
    default: return f.incassati;
    }
}

// A step of 1, 2, 2.5 or 5 times a power of ten giving about five grid lines.
double passoAsse(double ampiezza)
{
    const double grezzo = ampiezza / 5.0;
    const double potenza = std::pow(10.0, std::floor(std::log10(grezzo)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * potenza >= grezzo)
            return m * potenza;
    return 10.0 * potenza;
}

} // namespace

GraficoCliente::GraficoCliente(QWidget* parent) : QChartView(parent)
{
    setObjectName(QStringLiteral("DBChart1"));
    setRenderHint(QPainter::Antialiasing);
    // The chart sits in a white panel: no frame or window-coloured border around it.
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(Qt::white);
    setMinimumSize(320, 260);

    m_chart = new QChart();
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setBackgroundRoundness(0);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->legend()->setAlignment(Qt::AlignTop);
    m_chart->legend()->setLabelColor(QColor(40, 48, 58));

    // One category per figure, each set filled only in its own category: every bar
    // stands alone at full width and still gets its own legend entry and colour.
    m_series = new QStackedBarSeries();
    m_series->setBarWidth(0.62);
    m_series->setLabelsVisible(false);
    for (int i = 0; i < 4; ++i) {
        auto* set = new QBarSet(QString::fromUtf8(barre[i].legenda));
        set->setColor(barre[i].barra);
        set->setBorderColor(barre[i].barra.darker(115));
        set->setLabelColor(barre[i].etichetta);
        for (int c = 0; c < 4; ++c)
            set->append(0.0);
        m_series->append(set);
        m_sets << set;
    }
    m_chart->addSeries(m_series);

    auto* asseX = new QBarCategoryAxis();
    asseX->append({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    m_chart->addAxis(asseX, Qt::AlignBottom);
    m_series->attachAxis(asseX);
    asseX->setVisible(false);

    m_asseY = new QCategoryAxis();
    m_asseY->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_asseY->setLabelsColor(QColor(60, 68, 78));
    m_asseY->setGridLineColor(QColor(225, 230, 236));
    m_asseY->setLinePenColor(QColor(190, 198, 208));
    m_chart->addAxis(m_asseY, Qt::AlignLeft);
    m_series->attachAxis(m_asseY);

    QFont fontEtichetta = font();
    fontEtichetta.setBold(true);
    for (int i = 0; i < 4; ++i) {
        auto* t = new QGraphicsSimpleTextItem(m_chart);
        t->setBrush(barre[i].etichetta);
        t->setFont(fontEtichetta);
        t->setZValue(20);
        m_etichette << t;
    }
    // The view's own empty chart is handed back, not deleted: left alive it outlives the
    // module's unload with events still queued for it.
    QChart* predefinito = chart();
    setChart(m_chart);
    delete predefinito;
    connect(m_chart, &QChart::plotAreaChanged, this, &GraficoCliente::posizionaEtichette);
    mostra({});
}

void GraficoCliente::impostaAsse(double minimo, double massimo)
{
    for (const QString& l : m_asseY->categoriesLabels())
        m_asseY->remove(l);
    if (massimo - minimo <= 0.0)
        massimo = minimo + 100.0;
    // Room above the tallest bar for its label.
    const double passo = passoAsse((massimo - minimo) * 1.15);
    const double basso = std::floor(minimo / passo) * passo;
    const double alto = std::ceil(massimo * 1.15 / passo) * passo;
    m_asseY->setStartValue(basso);
    for (double v = basso; v <= alto + passo / 2; v += passo)
        m_asseY->append(sz::Money::fromDouble(v).toDisplay(), v);
    m_asseY->setRange(basso, alto);
}

void GraficoCliente::mostra(const clienti::FigureCliente& figure)
{
    m_figure = figure;
    double minimo = 0.0, massimo = 0.0;
    for (int i = 0; i < 4; ++i) {
        const auto m = figura(figure, i);
        const double v = m ? m->toDouble() : 0.0;
        m_sets[i]->replace(i, v);
        minimo = std::min(minimo, v);
        massimo = std::max(massimo, v);
        m_etichette[i]->setText(m ? m->toDisplay() : QString());
    }
    impostaAsse(minimo, massimo);
    posizionaEtichette();
}

QStringList GraficoCliente::etichette() const
{
    QStringList out;
    for (const auto* t : m_etichette)
        out << t->text();
    return out;
}

void GraficoCliente::posizionaEtichette()
{
    for (int i = 0; i < 4; ++i) {
        auto* t = m_etichette[i];
        const auto m = figura(m_figure, i);
        if (!m) {
            t->setVisible(false);
            continue;
        }
        const double v = m->toDouble();
        const QPointF cima = m_chart->mapToPosition(QPointF(i, v), m_series);
        const QRectF r = t->boundingRect();
        const double y = v >= 0 ? cima.y() - r.height() - 3 : cima.y() + 3;
        t->setPos(cima.x() - r.width() / 2, y);
        t->setVisible(true);
    }
}
