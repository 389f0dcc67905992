#include "MainWindow.h"
#include "StartupWindow.h"

#include "Startup.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QIcon>

int main(int argc, char** argv)
{
    sz::ui::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Scadenzio"));
    QApplication::setApplicationDisplayName(QStringLiteral("Scadenzio"));
    QApplication::setWindowIcon(QIcon(sz::paths::programFolder() + QStringLiteral("scadenzio.png")));
    sz::ui::loadItalianTranslations();
    sz::ui::applyLook();

    {
        TfmToolsAutoSplash splash;
        try {
            sz::startup::installDefaults();
            splash.Execute();
        } catch (const sz::Error& e) {
            splash.hide();
            sz::ui::showMessage(nullptr, e.message());
            return 1;
        }
    }

    TFormMain window;
    window.show();
    return QApplication::exec();
}
