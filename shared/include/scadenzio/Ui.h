#pragma once

#include "scadenzio/Export.h"

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Message boxes with Italian buttons, and one seam through which tests see every
// message and give the next answer instead of a person.
namespace sz::ui {

// A plain message box with "OK".
SZ_SHARED_EXPORT void showMessage(QWidget* parent, const QString& text);
// "OK" / "Annulla"; true for OK.
SZ_SHARED_EXPORT bool confirm(QWidget* parent, const QString& text);
// "Sì" / "No"; true for Sì.
SZ_SHARED_EXPORT bool askYesNo(QWidget* parent, const QString& text);
// The common frame around a caught failure, shown in a plain message box.
SZ_SHARED_EXPORT void showError(QWidget* parent, const QString& errorMessage);

// Test seam: while set, no box is shown; every message is recorded and questions are
// answered from the queue (OK/Sì when it is empty).
class SZ_SHARED_EXPORT MessageRecorder
{
public:
    MessageRecorder();
    ~MessageRecorder();
    void answerNext(bool answer);
    QStringList messages;

private:
    friend struct Access;
    QList<bool> m_answers;
};

} // namespace sz::ui
