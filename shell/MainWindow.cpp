#include "MainWindow.h"

#include <QCloseEvent>
#include <QKeySequence>

#include "BarraAvvisoInvio.h"
#include "InformazioniForm.h"
#include "InstanceMarkers.h"
#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Ini.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FormMain"));
    setMinimumSize(1024, 660);
    resize(1180, 760);

    // The page panel holds the frame and nothing else (unloading a module empties it);
    // a notice for the whole session sits above it.
    auto* centre = new QWidget(this);
    centre->setObjectName(QStringLiteral("AreaCentrale"));
    m_centreLayout = new QVBoxLayout(centre);
    m_centreLayout->setContentsMargins(0, 0, 0, 0);
    m_centreLayout->setSpacing(0);
    m_panel = new QWidget(centre);
    m_panel->setObjectName(QStringLiteral("PanelPagina"));
    m_panelLayout = new QVBoxLayout(m_panel);
    m_panelLayout->setContentsMargins(0, 0, 0, 0);
    m_centreLayout->addWidget(m_panel, 1);
    setCentralWidget(centre);
    buildMenu();

    QApplication::processEvents();
    try {
        m_conn = sz::db::Connection::openDefault();
    } catch (const sz::Error& e) {
        m_connectionReported = true;
        sz::ui::showError(this, e.message());
    }
    m_markers = std::make_unique<InstanceMarkers>(QStringLiteral("Scadenzio"));
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

TFormMain::~TFormMain()
{
    unloadCurrentModule();
}

void TFormMain::closeEvent(QCloseEvent* e)
{
    if (auto* frame = qobject_cast<sz::ui::ModuleFrame*>(currentFrame()); frame && !frame->confirmLeave()) {
        e->ignore();
        return;
    }
    QMainWindow::closeEvent(e);
}

void TFormMain::buildMenu()
{
    struct Item
    {
        const char* caption;
        const char* name;
        const char* command; // empty: handled below
    };
    struct Menu
    {
        const char* caption;
        const char* name;
        QList<Item> items;
    };
    const QList<Menu> menus = {
        {"&Anagrafiche", "MenuAnagrafiche",
         {{"&Utente", "ActionUtente", "Anagrafiche - Utente"},
          {"&Banche", "ActionBanche", "Anagrafiche - Banche"},
          {"&Clienti", "ActionClienti", "Anagrafiche - Clienti"}}},
        {"&Crediti", "MenuCrediti",
         {{"&Registrazione", "ActionRegistrazione", "Crediti - Registrazione"},
          {"&Solleciti", "ActionSolleciti", "Crediti - Solleciti"},
          {"S&tatistiche", "ActionStatistiche", "Crediti - Statistiche"}}},
        {"S&trumenti", "MenuStrumenti", {{"&Importazione dati", "ActionImportazione", "Strumenti - Importazione dati"}}},
        {"&Impostazioni", "MenuImpostazioni",
         {{"&Parametri globali", "ActionParametri", "Impostazioni - Parametri globali"},
          {"&Email e connessione", "ActionEmail", "Impostazioni - Email e Connessione"},
          {"C&omunicazioni", "ActionComunicazioni", "Impostazioni - Comunicazioni"},
          {"&Tassi di interesse", "ActionTassi", "Impostazioni - Tassi di interesse"}}},
        {"R&eport", "MenuReport", {{"&Documenti emessi", "ActionDocumentiEmessi", "Report - Documenti emessi"}}},
        {"&?", "MenuAiuto",
         {{"&Linee guida", "ActionLineeGuida", "Linee Guida"},
          {"&Guida di Scadenzio", "ActionGuida", ""},
          {"&Informazioni su Scadenzio", "ActionInformazioni", ""}}},
    };
    for (const auto& m : menus) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(m.caption));
        menu->setObjectName(QString::fromLatin1(m.name));
        m_menus << menu;
        for (const auto& it : m.items) {
            QAction* a = menu->addAction(QString::fromUtf8(it.caption));
            a->setObjectName(QString::fromLatin1(it.name));
            const QString command = QString::fromUtf8(it.command);
            a->setData(command);
            if (!command.isEmpty())
                connect(a, &QAction::triggered, this, [this, command] { LoadPack(command); });
            else if (QLatin1String(it.name) == QLatin1String("ActionGuida")) {
                a->setShortcut(QKeySequence::HelpContents);
                connect(a, &QAction::triggered, this, &TFormMain::openManual);
            }
            else
                connect(a, &QAction::triggered, this, &TFormMain::showInformation);
        }
    }
}

void TFormMain::setMenusEnabled(bool on)
{
    for (QMenu* m : m_menus)
        m->menuAction()->setEnabled(on);
}

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    QMetaObject::invokeMethod(this, &TFormMain::startFlow, Qt::QueuedConnection);
}

void TFormMain::startFlow()
{
    // On Linux the program file has no extension to cut: the caption is its base name.
    setWindowTitle(QFileInfo(QApplication::applicationFilePath()).completeBaseName());
    setMenusEnabled(false);
    bool complete = false;
    bool noCredits = true;
    QString failure;
    try {
        // Tried again quietly: a lock held at construction may be gone by now, and the
        // constructor has already said why it failed.
        if (!m_conn)
            m_conn = sz::db::Connection::openDefault();
        const auto company = m_conn->query(QStringLiteral("SELECT * FROM t_societa ORDER BY ID"));
        if (!company.isEmpty()) {
            const QString iva = company.value(0, QStringLiteral("IVA")).toString().trimmed();
            const QString name = company.value(0, QStringLiteral("RagioneSociale")).toString().trimmed();
            complete = iva.size() == 11 && !name.isEmpty();
        }
        noCredits = m_conn->query(QStringLiteral("SELECT ID FROM t_crediti LIMIT 1")).isEmpty();
    } catch (const sz::Error& e) {
        failure = e.message();
        if (!m_connectionReported)
            sz::ui::showError(this, failure);
    }
    if (failure.isEmpty())
        showRunNotice();
    m_conn.reset();
    if (!failure.isEmpty()) {
        // Nothing can work without the database; the first-run setup would only fail
        // again. The page says what to put right, and the "?" menu stays usable.
        showDatabaseNotice(failure);
        return;
    }
    if (complete) {
        setMenusEnabled(true);
        LoadPack(noCredits ? QStringLiteral("Linee Guida") : QStringLiteral("Crediti - Statistiche"));
    } else {
        LoadPack(QStringLiteral("Inizializzazione"));
    }
}

void TFormMain::showDatabaseNotice(const QString& failure)
{
    for (QMenu* m : m_menus)
        if (m->objectName() == QLatin1String("MenuAiuto"))
            m->menuAction()->setEnabled(true);

    const QString path = sz::paths::LoadConnection();
    QString defaultPath, backup;
    try {
        defaultPath = sz::paths::defaultDatabasePath();
        backup = sz::paths::dataRoot() + QStringLiteral("Backup/DB/gestionale.mdb");
    } catch (const sz::Error&) {
    }
    QStringList checks;
    checks << QStringLiteral("il percorso del database, ora \"%1\": si imposta nel file \"%2\", sezione "
                             "[ConnectionString], chiave strConn%3;")
                  .arg(path, sz::paths::configIniPath(),
                       defaultPath.isEmpty() ? QString()
                                             : QStringLiteral(" (se è vuota si usa \"%1\")").arg(defaultPath));
    checks << QStringLiteral("se il database è su un'altra postazione o in una cartella di rete, che sia accesa e "
                             "raggiungibile;");
    if (!backup.isEmpty() && path == defaultPath && QFileInfo(backup).isFile())
        checks << QStringLiteral("se il file è danneggiato, la copia di backup \"%1\": chiudere Scadenzio e "
                                 "copiarla al posto del file danneggiato.")
                      .arg(backup);
    else
        checks << QStringLiteral("se il file è danneggiato, una sua copia di sicurezza da rimettere al suo posto.");
    QString text = QStringLiteral("Il database non si può aprire, quindi i comandi del menu sono disattivati.\n\n") +
                   failure + (failure.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")) +
                   QStringLiteral("\n\nCosa controllare:\n");
    for (const QString& c : checks)
        text += QStringLiteral("\u2022 ") + c + QLatin1Char('\n');
    text += QStringLiteral("\nPoi chiudere e riavviare Scadenzio. Il menu \"?\" resta disponibile per la guida.");

    delete m_notice;
    m_notice = new QLabel(text, m_panel);
    m_notice->setObjectName(QStringLiteral("MessaggioAvvio"));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setWordWrap(true);
    m_notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse); // paths can be copied
    m_notice->setMargin(32);
    m_panelLayout->addWidget(m_notice);
    m_notice->show();
}

void TFormMain::showRunNotice()
{
    sz::avvisoinvio::Avviso avviso;
    try {
        avviso = sz::avvisoinvio::allAvvio(*m_conn);
    } catch (const sz::Error&) {
        // Not worth a message of its own at the start: the notice comes at the next one.
        return;
    }
    if (avviso.vuoto())
        return;
    delete m_avvisoInvio;
    auto* barra = new TBarraAvvisoInvio(avviso, centralWidget());
    m_avvisoInvio = barra;
    m_centreLayout->insertWidget(0, barra);
    barra->show();
}

QWidget* TFormMain::currentFrame() const
{
    for (QObject* o : m_panel->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && w != m_notice)
            return w;
    return nullptr;
}

QString TFormMain::currentModuleFile() const
{
    return m_module ? m_module->fileName() : QString();
}

void TFormMain::unloadCurrentModule()
{
    if (!m_module)
        return;
    const QString file = QFileInfo(m_module->fileName()).canonicalFilePath();
    // Everything the module made goes with it: the frame, every window of a class of
    // its own, and every parentless window opened while it was loaded (a plain Qt
    // widget made by module code would otherwise outlive the code that drives it).
    QList<QPointer<QWidget>> doomed;
    for (QObject* o : m_panel->children())
        if (auto* w = qobject_cast<QWidget*>(o))
            doomed << w;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this)
            continue;
        const bool ownClass = sz::frames::moduleOfObject(w->metaObject()) == file;
        const bool madeMeanwhile = !w->parentWidget() && !m_windowsBeforeModule.contains(w);
        if (ownClass || madeMeanwhile)
            doomed << w;
    }
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it)
        delete it->data();
    m_module->unload();
    m_module.reset();
}

void TFormMain::LoadPack(const QString& command)
{
    if (m_loading) {
        // Unloading a module while its frame is being built would pull the code from
        // under it: the command waits until the current load is over.
        QMetaObject::invokeMethod(this, [this, command] { LoadPack(command); }, Qt::QueuedConnection);
        return;
    }
    // Typing not yet saved is never thrown away without a question; Annulla (or a save
    // that is refused) keeps the frame as it is.
    if (auto* frame = qobject_cast<sz::ui::ModuleFrame*>(currentFrame()); frame && !frame->confirmLeave())
        return;
    m_loading = true;
    struct Done
    {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_loading};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        const QString ini = sz::paths::packToLoadIniPath();
        const QString pack = sz::readIniValue(ini, command, QStringLiteral("PackToLoad"));
        const QString className = sz::readIniValue(ini, command, QStringLiteral("ClassToLoad"));

        unloadCurrentModule();
        delete m_notice;

        m_windowsBeforeModule.clear();
        for (QWidget* w : QApplication::topLevelWidgets())
            m_windowsBeforeModule.insert(w);
        // A module is a plain file name inside Bpl/: a value that climbs out of it would
        // run code from anywhere inside the program.
        const bool plainName = !pack.contains(QLatin1Char('/')) && !pack.contains(QLatin1Char('\\')) &&
                               !pack.contains(QLatin1String(".."));
        const QString file = sz::paths::programFolder() + QStringLiteral("Bpl/") + pack;
        auto lib = std::make_unique<QLibrary>();
        if (plainName)
            lib->setFileName(file);
        if (pack.isEmpty() || !plainName || !QFileInfo(file).isFile() || !lib->load()) {
            QApplication::restoreOverrideCursor();
            sz::ui::showMessage(this, QStringLiteral("Impossibile caricare il modulo \"%1\".").arg(pack));
            return;
        }
        m_module = std::move(lib);

        const sz::frames::Factory factory = sz::frames::find(className);
        if (!factory) {
            QApplication::restoreOverrideCursor();
            sz::ui::showMessage(this, QStringLiteral("Impossibile caricare la classe \"%1\".").arg(className));
            return;
        }
        QWidget* frame = nullptr;
        try {
            frame = factory();
            if (auto* mf = qobject_cast<sz::ui::ModuleFrame*>(frame))
                connect(mf, &sz::ui::ModuleFrame::commandRequested, this, &TFormMain::runCommand,
                        Qt::QueuedConnection);
            frame->setParent(m_panel);
            m_panelLayout->addWidget(frame);
            frame->show();
        } catch (...) {
            // The frame may already have said why; the module goes without a word.
            delete frame;
            unloadCurrentModule();
        }
    } catch (...) {
    }
    QApplication::restoreOverrideCursor();
}

void TFormMain::runCommand(const QString& command)
{
    // Through the menu item, so that it runs exactly as a choice of the user would, and
    // only while the menu offers it. The text may belong to the module about to be
    // unloaded: it is not read after the trigger.
    for (QMenu* m : m_menus)
        for (QAction* a : m->actions())
            if (!command.isEmpty() && a->data().toString() == command) {
                if (m->menuAction()->isEnabled() && a->isEnabled()) a->trigger();
                return;
            }
}

void TFormMain::showInformation()
{
    TInformazioniForm dialog(this);
    dialog.exec();
}

void TFormMain::openManual()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(sz::paths::programFolder() + QStringLiteral("Help/manuale.pdf")));
}
