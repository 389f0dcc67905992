#include "Bench.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

std::vector<BenchCase>& benchRegistry()
{
    static std::vector<BenchCase> r;
    return r;
}

double benchReport(const QString& what, const std::function<void()>& fn, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("%-60s %9.1f ms (median of %d)\n", qPrintable(what), median, runs);
    std::fflush(stdout);
    return median;
}

int main(int argc, char** argv)
{
    // A case that measures a frame runs itself again as a child with widgets; every
    // other case needs no display.
    std::unique_ptr<QCoreApplication> app;
    if (qEnvironmentVariableIsSet("SZ_BENCH_FRAME_CHILD"))
        app = std::make_unique<QApplication>(argc, argv);
    else {
        // Letters are painted on the offscreen platform, as the command-line tool does.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    // Benchmarks write only below a temporary home (a child keeps its parent's).
    QTemporaryDir home;
    if (!qEnvironmentVariableIsSet("SZ_BENCH_FRAME_CHILD")) {
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    }
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    for (const auto& c : benchRegistry()) {
        if (!only.isEmpty() && !QString::fromLatin1(c.name).contains(only))
            continue;
        std::printf("== %s\n", c.name);
        c.run();
    }
    return 0;
}
