#include "ErroriForm.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TErroriForm::TErroriForm(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("ErroriForm"));
    setWindowTitle(QStringLiteral("Errori riscontrati"));
    setFixedSize(457, 212);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QFont font(QStringList{QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")}, 8);
    setFont(font);

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(3, 3, 3, 3);
    MemoErrori = new QPlainTextEdit(this);
    MemoErrori->setObjectName(QStringLiteral("MemoErrori"));
    MemoErrori->setReadOnly(true);
    // Long lines scroll sideways rather than wrap: one problem stays one line.
    MemoErrori->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoErrori->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoErrori->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoErrori->setFont(font);
    MemoErrori->setStyleSheet(QStringLiteral("QPlainTextEdit { background: rgb(208, 240, 255); color: black; }"));
    lay->addWidget(MemoErrori);
}

void TErroriForm::mostra(const QStringList& righe)
{
    MemoErrori->clear();
    for (const QString& r : righe)
        MemoErrori->appendPlainText(r.toUpper());
    MemoErrori->moveCursor(QTextCursor::Start);
}
