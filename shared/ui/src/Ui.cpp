#include "scadenzio/Ui.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/Error.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QUrl>
#include <QMessageBox>
#include <QPushButton>

namespace sz::ui {

namespace {
MessageRecorder* g_recorder = nullptr;
} // namespace

struct Access
{
    static Choice nextChoice()
    {
        return g_recorder->m_choices.isEmpty() ? Choice::Yes : g_recorder->m_choices.takeFirst();
    }
    static bool nextAnswer()
    {
        if (g_recorder->m_answers.isEmpty())
            return true;
        return g_recorder->m_answers.takeFirst();
    }
};

MessageRecorder::MessageRecorder()
{
    g_recorder = this;
}

MessageRecorder::~MessageRecorder()
{
    if (g_recorder == this)
        g_recorder = nullptr;
}

void MessageRecorder::answerNext(bool answer)
{
    m_answers.push_back(answer);
}

void MessageRecorder::answerNextChoice(Choice choice)
{
    m_choices.push_back(choice);
}

namespace {

bool ask(QWidget* parent, const QString& text, const QString& yes, const QString& no, QMessageBox::Icon icon)
{
    if (g_recorder) {
        g_recorder->messages << text;
        return Access::nextAnswer();
    }
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(yes, QMessageBox::AcceptRole);
    if (!no.isEmpty())
        box.addButton(no, QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.exec();
    return box.clickedButton() == ok;
}

} // namespace

void showMessage(QWidget* parent, const QString& text)
{
    ask(parent, text, QStringLiteral("OK"), QString(), QMessageBox::Information);
}

void showErrorText(QWidget* parent, const QString& text)
{
    ask(parent, text, QStringLiteral("OK"), QString(), QMessageBox::Critical);
}

void showWarning(QWidget* parent, const QString& text)
{
    ask(parent, text, QStringLiteral("OK"), QString(), QMessageBox::Warning);
}

void openLocation(const QString& path)
{
    if (g_recorder) {
        g_recorder->opened << path;
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

int showModal(QDialog* dialog)
{
    if (g_recorder) {
        if (g_recorder->onDialog)
            g_recorder->onDialog(dialog);
        return QDialog::Rejected;
    }
    return dialog->exec();
}

bool confirm(QWidget* parent, const QString& text)
{
    return ask(parent, text, QStringLiteral("OK"), QStringLiteral("Annulla"), QMessageBox::Question);
}

bool askYesNo(QWidget* parent, const QString& text)
{
    return ask(parent, text, QStringLiteral("Sì"), QStringLiteral("No"), QMessageBox::Question);
}

void showError(QWidget* parent, const QString& errorMessage)
{
    ask(parent, commonErrorMessage(errorMessage), QStringLiteral("OK"), QString(), QMessageBox::Warning);
}

Choice askYesNoCancel(QWidget* parent, const QString& text)
{
    if (g_recorder) {
        g_recorder->messages << text;
        return Access::nextChoice();
    }
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("Sì"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Annulla"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == yes)
        return Choice::Yes;
    return box.clickedButton() == no ? Choice::No : Choice::Cancel;
}

} // namespace sz::ui

#include <QProcess>

namespace sz::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const Error& e) {
        showError(activeWindow(), e.message());
    } catch (const db::Abort&) {
        // A check that already said why it stopped.
    } catch (const std::exception& e) {
        showError(activeWindow(), QString::fromLocal8Bit(e.what()));
    }
    return false;
}

namespace {
std::function<void()>& restartHook()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

void setRestartHook(std::function<void()> hook)
{
    restartHook() = std::move(hook);
}

void restartProgram()
{
    if (restartHook()) {
        restartHook()();
        return;
    }
    QProcess::startDetached(QApplication::applicationFilePath(), {});
    QApplication::quit();
}

} // namespace sz::ui
