#include "MainWindow.h"

#include "InstanceMarkers.h"
#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Ui.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FormMain"));
    setMinimumSize(1024, 660);
    resize(1024, 660);
    setWindowTitle(QFileInfo(QApplication::applicationFilePath()).baseName());
    try {
        m_conn = sz::db::Connection::openDefault();
    } catch (const sz::Error& e) {
        sz::ui::showError(this, e.message());
    }
    m_markers = std::make_unique<InstanceMarkers>(QStringLiteral("Scadenzio"));
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

TFormMain::~TFormMain() = default;
