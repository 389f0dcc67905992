#include "Bench.h"

#include <QCoreApplication>
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
    QCoreApplication app(argc, argv);
    // Benchmarks write only below a temporary home.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    for (const auto& c : benchRegistry()) {
        if (!only.isEmpty() && !QString::fromLatin1(c.name).contains(only))
            continue;
        std::printf("== %s\n", c.name);
        c.run();
    }
    return 0;
}
