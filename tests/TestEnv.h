#pragma once

#include <QString>
#include <QTemporaryDir>

// A private home for one test: HOME, XDG_CONFIG_HOME and the documents folder point
// into a temporary directory that is removed afterwards.
class TestEnv
{
public:
    TestEnv();
    ~TestEnv();
    QString home() const { return m_dir.path(); }
    QString documents() const;  // $HOME/Documents
    QString configHome() const; // $HOME/.config
    // A new, empty encrypted database at the default path (data root + DB/gestionale.mdb).
    QString createDefaultDatabase() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome, m_oldConfig, m_oldData;
};
