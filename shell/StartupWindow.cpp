#include "StartupWindow.h"

#include "Startup.h"
#include "ScadenzioVersion.h"
#include "scadenzio/Ui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QThread>

namespace {

// The picture of the window: the program's mark and name on the brand colours.
class SplashPicture : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace

TfmToolsAutoSplash::TfmToolsAutoSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("TfmToolsAutoSplash"));
    setFixedSize(492, 307);
    auto* picture = new SplashPicture(this);
    picture->setObjectName(QStringLiteral("ImageSplash"));
    picture->setGeometry(rect());

    m_version = new QLabel(QStringLiteral("Ver. " SZ_VERSION), this);
    m_version->setObjectName(QStringLiteral("LabelVersione"));
    m_version->setGeometry(24, 16, 444, 20);
    m_version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_version->setStyleSheet(QStringLiteral("color: rgba(255,255,255,200); font-size: 9pt;"));

    m_status = new QLabel(QStringLiteral("Stato..."), this);
    m_status->setObjectName(QStringLiteral("LabelStato"));
    m_status->setGeometry(24, 246, 444, 20);
    m_status->setStyleSheet(QStringLiteral("color: white; font-size: 9pt;"));

    m_gauge = new QProgressBar(this);
    m_gauge->setObjectName(QStringLiteral("Gauge"));
    m_gauge->setGeometry(24, 270, 444, 12);
    m_gauge->setTextVisible(false);
    m_gauge->setRange(0, sz::startup::StepCount);
    m_gauge->setValue(0);
    m_gauge->setStyleSheet(QStringLiteral(
        "QProgressBar { border: none; border-radius: 6px; background: rgba(255,255,255,60); }"
        "QProgressBar::chunk { border-radius: 6px; background: #f2b134; }"));

    // The window's shape is the union of its visible parts.
    QRegion shape;
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        shape += child->geometry();
    setMask(shape);

    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void SplashPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width(), height());
    g.setColorAt(0, QColor(0x1f, 0x4e, 0x79));
    g.setColorAt(1, QColor(0x12, 0x2f, 0x4a));
    p.fillRect(rect(), g);

    // The picture: a calendar sheet with a euro sign, the program's mark.
    const QRect sheet(40, 78, 110, 120);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawRoundedRect(sheet, 12, 12);
    p.setBrush(QColor(0xf2, 0xb1, 0x34));
    p.drawRoundedRect(QRect(sheet.left(), sheet.top(), sheet.width(), 30), 12, 12);
    p.drawRect(QRect(sheet.left(), sheet.top() + 18, sheet.width(), 12));
    QFont euro = font();
    euro.setPointSize(40);
    euro.setBold(true);
    p.setFont(euro);
    p.setPen(QColor(0x1f, 0x4e, 0x79));
    p.drawText(QRect(sheet.left(), sheet.top() + 30, sheet.width(), sheet.height() - 30), Qt::AlignCenter,
               QStringLiteral("€"));

    QFont title = font();
    title.setPointSize(28);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(176, 92, 300, 50), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Scadenzio"));
    QFont sub = font();
    sub.setPointSize(11);
    p.setFont(sub);
    p.setPen(QColor(255, 255, 255, 210));
    p.drawText(QRect(178, 142, 300, 48), Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("Scadenzario crediti e solleciti di pagamento"));
}

void TfmToolsAutoSplash::progressStep(const QString& text, int ms)
{
    m_gauge->setValue(m_gauge->value() + 1);
    m_status->setText(text);
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (ms > 0)
        QThread::msleep(ulong(ms));
}

void TfmToolsAutoSplash::Execute()
{
    m_gauge->setMaximum(sz::startup::StepCount);
    show();
    QApplication::processEvents();
    sz::startup::Progress progress;
    progress.step = [this](const QString& text, int ms) { progressStep(text, ms); };
    progress.processEvents = [] { QApplication::processEvents(); };
    progress.error = [this](const QString& message) { sz::ui::showMessage(this, message); };
    sz::startup::Execute(progress);
}
