#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <vector>

// A tiny registry: each bench_*.cpp adds its cases with SZ_BENCH; main runs them all
// (or those whose name contains the first argument) and prints the timings.
struct BenchCase
{
    const char* name;
    std::function<void()> run;
};
std::vector<BenchCase>& benchRegistry();

struct BenchRegistrar
{
    BenchRegistrar(const char* name, std::function<void()> fn) { benchRegistry().push_back({name, std::move(fn)}); }
};

#define SZ_BENCH_CAT2(a, b) a##b
#define SZ_BENCH_CAT(a, b) SZ_BENCH_CAT2(a, b)
#define SZ_BENCH(name)                                                                                       \
    static void SZ_BENCH_CAT(bench_, name)();                                                                \
    static BenchRegistrar SZ_BENCH_CAT(reg_, name)(#name, SZ_BENCH_CAT(bench_, name));                        \
    static void SZ_BENCH_CAT(bench_, name)()

// Prints "name: N ms" (median of the given runs) and returns the median in ms.
double benchReport(const QString& what, const std::function<void()>& fn, int runs = 5);
