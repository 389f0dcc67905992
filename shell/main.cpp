#include "MainWindow.h"
#include "StartupWindow.h"

#include "AccessoServer.h"
#include "Startup.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QIcon>
#include <QInputDialog>
#include <QLineEdit>

int main(int argc, char** argv)
{
    sz::ui::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Scadenzio"));
    QApplication::setApplicationDisplayName(QStringLiteral("Scadenzio"));
    QApplication::setWindowIcon(QIcon(sz::paths::programFolder() + QStringLiteral("scadenzio.png")));
    sz::ui::loadItalianTranslations();
    sz::ui::applyLook();

    // A server database whose password ~/.pgpass does not give: asked once, here.
    const bool accesso = sz::startup::accediServer(
        sz::paths::LoadConnection(), [](const QString& domanda, const QString& errore) -> std::optional<QString> {
            bool ok = false;
            const QString testo = errore.isEmpty() ? domanda : errore + QStringLiteral("\n\n") + domanda;
            const QString parola = QInputDialog::getText(nullptr, QStringLiteral("Database server"), testo,
                                                         QLineEdit::Password, QString(), &ok);
            if (!ok)
                return std::nullopt;
            return parola;
        });
    if (!accesso)
        return 1;

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
