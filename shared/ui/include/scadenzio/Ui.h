#pragma once

#include "scadenzio/Error.h"
#include "scadenzio/UiExport.h"

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

// Message boxes with Italian buttons, and one seam through which tests see every
// message and give the next answer instead of a person.
namespace sz::ui {

// A plain message box with "OK".
SZ_UI_EXPORT void showMessage(QWidget* parent, const QString& text);
// An error box with "OK" and the text as it stands (no common frame around it).
SZ_UI_EXPORT void showErrorText(QWidget* parent, const QString& text);
// A warning box with "OK".
SZ_UI_EXPORT void showWarning(QWidget* parent, const QString& text);
// "OK" / "Annulla"; true for OK.
SZ_UI_EXPORT bool confirm(QWidget* parent, const QString& text);
// "Sì" / "No"; true for Sì.
SZ_UI_EXPORT bool askYesNo(QWidget* parent, const QString& text);
// The common frame around a caught failure, shown in a plain message box.
SZ_UI_EXPORT void showError(QWidget* parent, const QString& errorMessage);

enum class Choice { Yes, No, Cancel };
// "Sì" / "No" / "Annulla".
SZ_UI_EXPORT Choice askYesNoCancel(QWidget* parent, const QString& text);

// Shows a file or folder in the desktop's own program (the file manager for a folder).
SZ_UI_EXPORT void openLocation(const QString& path);
// Runs a handler of a signal: a failure is shown in the common frame, never thrown
// through Qt's signal code.
template <typename F>
void guarded(QWidget* parent, F&& handler)
{
    try {
        handler();
    } catch (const sz::Error& e) {
        showError(parent, e.message());
    }
}

// Runs a modal dialog of the program (exec); returns its result.
SZ_UI_EXPORT int showModal(QDialog* dialog);

// Test seam: while set, no box is shown; every message is recorded and questions are
// answered from the queue (OK/Sì when it is empty).
class SZ_UI_EXPORT MessageRecorder
{
public:
    MessageRecorder();
    ~MessageRecorder();
    void answerNext(bool answer);
    // The answer to the next three-way question (Sì when none is queued).
    void answerNextChoice(Choice choice);
    QStringList messages;
    // Locations openLocation() would have shown.
    QStringList opened;
    // Called instead of exec for a dialog showModal() would have run; the dialog is
    // complete and can be looked at (and pictured) before it is dropped.
    std::function<void(QDialog*)> onDialog;

private:
    friend struct Access;
    QList<bool> m_answers;
    QList<Choice> m_choices;
};

} // namespace sz::ui

#include <QApplication>

namespace sz::ui {

// The application object: shows, in the common frame, any error that no window caught,
// so that a failure never ends the program unseen.
class SZ_UI_EXPORT Application : public QApplication
{
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Starts the program file again and ends this process (end of the first-run setup).
SZ_UI_EXPORT void restartProgram();
// Test seam: while set, restartProgram() calls this instead.
SZ_UI_EXPORT void setRestartHook(std::function<void()> hook);

} // namespace sz::ui
