#include "MainWindow.h"
#include "StartupWindow.h"

#include "AccessoServer.h"
#include "Startup.h"
#include "ScadenzioVersion.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QDialog>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

// Checking an installation (or a desktop without anyone at it) needs a start that ends by
// itself. Any message box the start shows is a report: its text goes to standard error and
// it is dismissed as Esc would, so the start goes on as far as it can. Once the main window
// stands idle the program leaves, with 0 when nothing was reported and 1 otherwise.
bool g_reported = false;

void dismissMessageBoxes(QApplication* app)
{
    auto* timer = new QTimer(app);
    QObject::connect(timer, &QTimer::timeout, app, [] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        QStringList texts;
        for (const QLabel* l : box->findChildren<QLabel*>())
            if (!l->text().isEmpty())
                texts << l->text();
        std::fprintf(stderr, "Scadenzio: all'avvio è comparsa la finestra \"%s\": %s\n",
                     qUtf8Printable(box->windowTitle()), qUtf8Printable(texts.join(QLatin1Char(' '))));
        g_reported = true;
        if (auto* dialog = qobject_cast<QDialog*>(box))
            dialog->reject();
        else
            box->close();
    });
    timer->start(200);
}

void quitWhenIdle(QWidget* window)
{
    QTimer::singleShot(0, window, [window] {
        QTimer::singleShot(500, window, [window] {
            if (!window->isVisible()) {
                std::fprintf(stderr, "Scadenzio: la finestra principale non è visibile\n");
                g_reported = true;
            }
            if (!g_reported)
                std::printf("Scadenzio: finestra principale pronta\n");
            std::fflush(stdout);
            QApplication::exit(g_reported ? 1 : 0);
        });
    });
}

} // namespace

int main(int argc, char** argv)
{
    bool closeWhenReady = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Uso: scadenzio [OPZIONE]\n"
                        "  --version                mostra la versione del programma\n"
                        "  --chiudi-quando-pronto   esegue l'avvio completo e chiude il programma appena la finestra\n"
                        "                           principale è pronta: uscita 0, oppure 1 se l'avvio ha mostrato\n"
                        "                           un messaggio (per verificare un'installazione)\n"
                        "Il comando scadenzio-cli lavora sugli stessi dati senza finestre.\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Scadenzio " SZ_VERSION "\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--chiudi-quando-pronto") == 0)
            closeWhenReady = true;
    }
    sz::ui::Application app(argc, argv);
    if (closeWhenReady)
        dismissMessageBoxes(&app);
    QApplication::setApplicationName(QStringLiteral("Scadenzio"));
    QApplication::setApplicationDisplayName(QStringLiteral("Scadenzio"));
    // The desktop matches the window to the menu entry (and its icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("scadenzio"));
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
    if (closeWhenReady)
        quitWhenIdle(&window);
    return QApplication::exec();
}
