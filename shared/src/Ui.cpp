#include "scadenzio/Ui.h"

#include "scadenzio/Error.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace sz::ui {

namespace {
MessageRecorder* g_recorder = nullptr;
} // namespace

struct Access
{
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

} // namespace sz::ui
