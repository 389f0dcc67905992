#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;

// The problems of a letter run, one per line, in capitals, in a small read-only window.
class TErroriForm : public QDialog
{
    Q_OBJECT
public:
    explicit TErroriForm(QWidget* parent = nullptr);
    void mostra(const QStringList& righe);
    QPlainTextEdit* memo() const { return MemoErrori; }

private:
    QPlainTextEdit* MemoErrori = nullptr;
};
