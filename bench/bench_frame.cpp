// The credit register as the program opens it: frame construction to the first paint of
// its list, and the memory the process holds then, with 100,000 credits; and the import
// window with a file of 100,000 rows: "Carica" to the first paint of its preview, the
// reading alone, and the slowest page of a scroll through it. Each frame runs in a child
// process of its own so that its peak memory is not mixed with the data set-up or with
// the other cases.
#include "Bench.h"
#include "BenchData.h"

#include "Gestionecrediti.h"
#include "Importazione.h"
#include "Startup.h"
#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Widgets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
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

// Counts the paints of a widget.
class Paints : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) ++count;
        return false;
    }
};

double untilPainted(Paints& p)
{
    QElapsedTimer t;
    t.start();
    const int before = p.count;
    while (p.count == before && t.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(t.nsecsElapsed()) / 1e6;
}

// In the child: "Carica" of the file to the first paint of its preview, then 200 pages
// of scrolling through it.
void previewOnce(const QString& csv)
{
    using namespace sz::importazione;
    QElapsedTimer t;
    TFrameImportazione frame;
    frame.resize(1280, 800);
    frame.show();
    frame.RadioGroupTipologia->button(1)->click();
    QApplication::processEvents();
    Paints paints;
    frame.StringGridFatture->viewport()->installEventFilter(&paints);
    frame.EditFileName->setText(csv);
    // The grid takes the rows read when its model is reset: from there on the time is
    // the window's.
    double reset = 0;
    QObject::connect(frame.StringGridFatture->model(), &QAbstractItemModel::modelAboutToBeReset,
                     [&] { reset = double(t.nsecsElapsed()) / 1e6; });
    t.restart();
    frame.ButtonCarica->click();
    // Waiting as the window's own loop does, not spinning beside the reading thread.
    while (frame.caricamentoInCorso())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double loaded = double(t.nsecsElapsed()) / 1e6;
    const double shown = loaded + untilPainted(paints);

    QScrollBar* bar = frame.StringGridFatture->verticalScrollBar();
    double slowest = 0;
    t.restart();
    for (int i = 1; i <= 200; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * i / 200));
        slowest = std::max(slowest, untilPainted(paints));
    }
    const double scroll = double(t.nsecsElapsed()) / 1e6;
    const long peak = statusKb("VmHWM:"), resident = statusKb("VmRSS:");
    const int rows = frame.StringGridFatture->model()->rowCount();
    // The reading alone, for comparison, after the peak was taken (its memory would come
    // on top of the preview's).
    t.restart();
    caricaFile(csv, TipoFile::Csv, QLatin1Char(';'));
    const double read = double(t.nsecsElapsed()) / 1e6;
    std::printf("%-60s %9.1f ms (%d rows)\n", "preview: the reading alone (caricaFile)", read, rows);
    std::printf("%-60s %9.1f ms\n", "preview: Carica to the first paint of the preview", shown);
    std::printf("%-60s %9.1f ms\n", "preview: the rows in the grid to its first paint", shown - reset);
    std::printf("%-60s %9.1f ms (slowest %.1f ms)\n", "preview: 200 pages scrolled through the file", scroll,
                slowest);
    std::printf("%-60s %9ld kB (VmRSS %ld kB)\n", "preview: peak resident memory, VmHWM", peak, resident);
}

} // namespace

SZ_BENCH(preview)
{
    if (qEnvironmentVariableIsSet(ChildVariable)) {
        previewOnce(qEnvironmentVariable("SZ_BENCH_PREVIEW_FILE"));
        return;
    }
    QTemporaryDir temporary;
    const QString home = temporary.path();
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
    sz::startup::installDefaults();
    const int n = qEnvironmentVariableIntValue("SZ_BENCH_ROWS") > 0
                      ? qEnvironmentVariableIntValue("SZ_BENCH_ROWS")
                      : 100000;
    const QString csv = home + QStringLiteral("/rate.csv");
    {
        QFile f(csv);
        if (!f.open(QIODevice::WriteOnly)) return;
        f.write("NUMERO;DATA;SCADENZA;IMPORTO;INCASSATO;DATA "
                "INCASSO;MODALITA;DESTINATARIO;CLIENTE;BANCA;NOTE\r\n");
        for (int i = 0; i < n; ++i) {
            const int doc = i / 2, day = 1 + doc % 28, month = 1 + doc / 28 % 12;
            f.write(
                QStringLiteral("%1/2025;%2/%3/2025;%2/%4/2025;%5,00;;;BONIFICO;;CLIENTE %6 SRL;;rata %7\r\n")
                    .arg(doc)
                    .arg(day, 2, 10, QLatin1Char('0'))
                    .arg(month, 2, 10, QLatin1Char('0'))
                    .arg(std::min(12, month + 1 + i % 2), 2, 10, QLatin1Char('0'))
                    .arg(100 + doc % 900)
                    .arg(doc % 600)
                    .arg(i % 2 + 1)
                    .toUtf8());
        }
    }
    std::printf("(%d invoice rows in a CSV file; three runs in fresh processes)\n", n);
    std::fflush(stdout);
    for (int run = 0; run < 3; ++run) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(ChildVariable), QStringLiteral("1"));
        env.insert(QStringLiteral("SZ_BENCH_PREVIEW_FILE"), csv);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("preview")});
        child.waitForFinished(120000);
    }
}

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
