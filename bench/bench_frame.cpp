// The credit register as the program opens it: frame construction to the first paint of
// its list, and the memory the process holds then, with 100,000 credits. The frame runs
// in a child process of its own so that its peak memory is not mixed with the data set-up
// or with the other cases.
#include "Bench.h"
#include "BenchData.h"

#include "Gestionecrediti.h"
#include "Startup.h"
#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Widgets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const char* const ChildVariable = "SZ_BENCH_FRAME_CHILD";

long statusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    return -1;
}

class FirstPaint : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            QObject::eventFilter(o, e);
            static_cast<QWidget*>(o)->removeEventFilter(this);
            painted = true;
        }
        return false;
    }
};

// In the child: one open of the frame, timed from construction to the end of the first
// paint of the list (the paint event is delivered, then the loop returns).
void openFrameOnce()
{
    QElapsedTimer t;
    t.start();
    TFrameCrediti frame;
    const double built = double(t.nsecsElapsed()) / 1e6;
    frame.resize(1280, 800);
    FirstPaint watch;
    frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"))->viewport()->installEventFilter(&watch);
    frame.show();
    while (!watch.painted)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    const double shown = double(t.nsecsElapsed()) / 1e6;
    std::printf("%-60s %9.1f ms\n", "frame: construction (queries read, grid bound)", built);
    std::printf("%-60s %9.1f ms\n", "frame: construction to first paint of the list", shown);
    std::printf("%-60s %9ld kB (VmRSS %ld kB)\n", "frame: peak resident memory, VmHWM", statusKb("VmHWM:"),
                statusKb("VmRSS:"));
}

} // namespace

SZ_BENCH(frame)
{
    if (qEnvironmentVariableIsSet(ChildVariable)) {
        openFrameOnce();
        return;
    }
    // SZ_BENCH_HOME keeps the home (and its database) for a profiler to run the child in.
    QTemporaryDir temporary;
    const QString home = qEnvironmentVariable("SZ_BENCH_HOME", temporary.path());
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
    const bool fresh = !QFile::exists(sz::paths::defaultDatabasePath());
    sz::startup::installDefaults();
    const int n = qEnvironmentVariableIntValue("SZ_BENCH_ROWS") > 0 ? qEnvironmentVariableIntValue("SZ_BENCH_ROWS")
                                                                   : 100000;
    if (fresh) {
        sz::db::Connection conn(sz::paths::LoadConnection());
        riempiCrediti(conn, n);
    }
    std::printf("(%d credit rows in the installed database; three runs in fresh processes)\n", n);
    std::fflush(stdout);
    for (int run = 0; run < 3; ++run) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(ChildVariable), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("frame")});
        child.waitForFinished(120000);
    }
}
