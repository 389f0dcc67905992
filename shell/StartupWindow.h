#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

// The borderless window shown while the folders are backed up and the database is
// brought up to date.
class TfmToolsAutoSplash : public QWidget
{
    Q_OBJECT
public:
    explicit TfmToolsAutoSplash(QWidget* parent = nullptr);

    // Runs the start-up sequence with this window as its progress display. Errors of
    // the upgrade are shown in a message box; a data root that cannot be resolved
    // throws sz::Error to the caller, which ends the program.
    void Execute();

    // Progress step: one gauge position, the text, an immediate repaint, then a wait.
    void progressStep(const QString& text, int ms);

private:
    QLabel* m_version = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_gauge = nullptr;
};
