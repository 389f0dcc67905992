#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <memory>

class QLibrary;
class QMenu;
class QVBoxLayout;
class InstanceMarkers;

namespace sz::db {
class Connection;
}

// The one window the user works in: the menu and the page panel that shows the
// frame of the module loaded last.
class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // Loads the module PackToLoad.ini names for the command and shows its frame.
    void LoadPack(const QString& command);
    // Runs the menu item of the command as if the user had chosen it; a command the menu
    // does not offer, or offers disabled, does nothing.
    void runCommand(const QString& command);
    // What the window does when first shown: caption, menu state, first frame.
    void startFlow();

    QWidget* pagePanel() const { return m_panel; }
    // The text the empty page shows when the database cannot be used, or null.
    QLabel* startNotice() const { return m_notice; }
    QWidget* currentFrame() const;
    QString currentModuleFile() const;
    QList<QMenu*> menus() const { return m_menus; }
    // The bar about the unattended daily run shown at this start, or null.
    QWidget* invioAutomaticoNotice() const { return m_avvisoInvio; }
    void showInformation();
    void openManual();

protected:
    void showEvent(QShowEvent* event) override;
    // The program closes only once unsaved typing is saved or dropped.
    void closeEvent(QCloseEvent* e) override;

private:
    void buildMenu();
    void unloadCurrentModule();
    void setMenusEnabled(bool on);
    void showDatabaseNotice(const QString& failure);
    void showRunNotice();

    std::unique_ptr<sz::db::Connection> m_conn;
    std::unique_ptr<InstanceMarkers> m_markers;
    std::unique_ptr<QLibrary> m_module;
    QSet<QWidget*> m_windowsBeforeModule; // parentless windows that existed before the module came
    QWidget* m_panel = nullptr;
    QVBoxLayout* m_panelLayout = nullptr;
    QList<QMenu*> m_menus;
    QPointer<QLabel> m_notice;
    QVBoxLayout* m_centreLayout = nullptr; // the run notice above the page panel
    QPointer<QWidget> m_avvisoInvio;
    bool m_connectionReported = false; // the constructor has shown why the database did not open
    bool m_started = false;
    bool m_loading = false; // a frame under construction may let queued events run
};
