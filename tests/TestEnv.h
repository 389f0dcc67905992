#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QWidget;
class QRandomGenerator;

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
    // On the server run of a test (SZ_TEST_DB=server), a new empty database on the test
    // server instead, named by Config.ini's strConn: the address is returned.
    QString createDefaultDatabase() const;
    // The database a first start makes: every table, the seeds, the mail-settings row.
    QString installDatabase() const;
    // The database scadenzio-cli works on in this home, ready for the tool's first start
    // (`upgrade`): its default file, or on the server run a new empty database on the test
    // server named by the tool's own Config.ini (whose folder takes the tool's name).
    QString commandDatabase() const;
    // Whether this run keeps its data on the test server rather than in a file.
    static bool onServer();

    // The text of a PDF as pdftotext lays it out; one page (from 1) or all of them (0).
    static QString pdfText(const QString& pdf, int page = 0);
    static int pdfPages(const QString& pdf);

    // The bytes with 1 to mostEdits random edits: a byte replaced or inserted (from
    // alphabet), a run removed, or (copySpans) a run of the bytes themselves inserted
    // elsewhere. For the bounded mutation runs of the file readers.
    static QByteArray mutate(QByteArray bytes, QRandomGenerator& rng, const QByteArray& alphabet,
                             int mostEdits, bool copySpans);

    // A TCP port on 127.0.0.1 that nothing listens on, for a local test server.
    static int freeLocalPort();

    // scadenzio-cli run as a script runs it: no display at all, in the given folder.
    struct CliRun
    {
        int code = -1;
        QString out, err;
    };
    static CliRun runCli(const QStringList& args, const QString& workingDirectory = QString());

    // Widget tests only (sz-testsupport):
    // Writes a PNG of the widget to build/screenshots/<name>.png for a person to look at.
    static void saveScreenshot(QWidget* widget, const QString& name);
    // Fails the test when no font is available: every picture would be empty boxes.
    static bool fontsAvailable();

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome, m_oldConfig, m_oldData;
    mutable QStringList m_serverDatabases; // dropped at the end
};
