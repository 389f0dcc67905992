#include "Statistiche.h"

#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Ui.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>

SZ_REGISTER_FRAME(TFrameStatistiche);

namespace {

const QColor kTotaleCrediti(0, 128, 192);
const QColor kDaIncassareBar(232, 112, 104);
const QColor kDaIncassareLabel(255, 0, 0);
const QColor kIncassatiBar(96, 178, 104);
const QColor kIncassatiLabel(0, 128, 0);

// Bars share one category; Qt Charts centres the group on 0 and gives each set an
// equal slice of the bar width. The value labels are placed by the same rule.
constexpr qreal kBarWidth = 0.75;

qreal barCentre(int set, int setCount)
{
    return -kBarWidth / 2 + (set + 0.5) * kBarWidth / setCount;
}

// Qt Charts formats bar labels with significant digits in the C locale: amounts
// would read "150" or "1234.56". The register's own format is drawn instead.
QGraphicsSimpleTextItem* valueLabel(QChart* chart, const QColor& colour)
{
    auto* item = new QGraphicsSimpleTextItem(chart);
    QFont f = item->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.15);
    item->setFont(f);
    item->setBrush(colour);
    item->setZValue(10);
    return item;
}

} // namespace

// The base opens the frame's connection; when that fails the frame must say why
// before the construction fails.
TFrameStatistiche::TFrameStatistiche(QWidget* parent) try
    : sz::ui::ModuleFrame(QStringLiteral("Statistiche"),
                          QStringLiteral("Permette di visualizzare le statistiche dei crediti registrati, fornendo "
                                         "graficamente la situazione degli importi incassati e quelli ancora da "
                                         "incassare."),
                          parent)
{
    setObjectName(QStringLiteral("FrameStatistiche"));
    m_totals = sz::stats::readCreditTotals(connection());
    buildChart();
} catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
}

void TFrameStatistiche::buildChart()
{
    auto* lay = new QVBoxLayout(body());
    lay->setContentsMargins(18, 12, 18, 18);

    m_chart = new QChart();
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setBackgroundRoundness(0);
    m_chart->setLocalizeNumbers(true);
    m_chart->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    m_chart->legend()->setAlignment(Qt::AlignTop);
    QFont legendFont = m_chart->legend()->font();
    legendFont.setPointSizeF(legendFont.pointSizeF() * 1.1);
    m_chart->legend()->setFont(legendFont);

    struct Bar
    {
        QString legend;
        std::optional<sz::Money> value;
        QColor bar, label;
    };
    const QList<Bar> bars = {
        {QStringLiteral("Totale Crediti"), m_totals.totaleCrediti, kTotaleCrediti, kTotaleCrediti},
        {QStringLiteral("Da Incassare"), m_totals.daIncassare, kDaIncassareBar, kDaIncassareLabel},
        {QStringLiteral("Incassati"), m_totals.incassati, kIncassatiBar, kIncassatiLabel},
    };

    m_series = new QBarSeries();
    m_series->setBarWidth(kBarWidth);
    m_series->setLabelsVisible(false);
    qreal lo = 0, hi = 0;
    for (const Bar& b : bars) {
        auto* set = new QBarSet(b.legend);
        set->setColor(b.bar);
        set->setBorderColor(b.bar.darker(115));
        // An empty sum still keeps its place in the legend, with no bar.
        const qreal v = b.value ? b.value->toDouble() : 0.0;
        set->append(v);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        m_series->append(set);
        m_sets << set;
        m_values << b.value;

        auto* label = valueLabel(m_chart, b.label);
        if (b.value)
            label->setText(b.value->toDisplay());
        label->setVisible(b.value.has_value());
        m_labels << label;
    }
    m_chart->addSeries(m_series);

    m_axis = new QValueAxis();
    m_axis->setLabelFormat(QStringLiteral("€ %.2f"));
    // Headroom above the tallest bar for its amount.
    if (hi <= 0 && lo >= 0)
        hi = 100;
    m_axis->setRange(lo < 0 ? lo * 1.15 : 0, hi * 1.12);
    m_axis->applyNiceNumbers();
    if (m_axis->min() < 0 && lo >= 0)
        m_axis->setMin(0);
    m_axis->setGridLineColor(QColor(0xe1, 0xe7, 0xee));
    m_chart->addAxis(m_axis, Qt::AlignLeft);
    m_series->attachAxis(m_axis);

    m_view = new QChartView(m_chart, body());
    m_view->setObjectName(QStringLiteral("GraficoStatistiche"));
    m_view->setRenderHint(QPainter::Antialiasing, true);
    m_view->setRubberBand(QChartView::NoRubberBand);
    m_view->setDragMode(QGraphicsView::NoDrag);
    m_view->setInteractive(false);
    m_view->setFrameShape(QFrame::NoFrame);
    lay->addWidget(m_view);

    connect(m_chart, &QChart::plotAreaChanged, this, &TFrameStatistiche::placeValueLabels);
    placeValueLabels();
}

void TFrameStatistiche::placeValueLabels()
{
    const int count = int(m_sets.size());
    for (int i = 0; i < count; ++i) {
        QGraphicsSimpleTextItem* label = m_labels[i];
        if (!m_values[i])
            continue;
        const qreal v = m_values[i]->toDouble();
        const QPointF top = m_chart->mapToPosition(QPointF(barCentre(i, count), v), m_series);
        const QRectF r = label->boundingRect();
        const qreal y = v >= 0 ? top.y() - r.height() - 4 : top.y() + 4;
        label->setPos(top.x() - r.width() / 2, y);
    }
}
