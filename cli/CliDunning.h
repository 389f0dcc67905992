#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// "dunning list", "pdf", "send" and "run": the dunning frame's lists and letter runs without
// a window; "dunning runs": the record of the runs. out receives standard output text, err
// one line of standard error each.
namespace sz::cli {

struct Output
{
    std::function<void(const QString&)> out;
    std::function<void(const QString&)> err;
};

// args after "dunning". Returns the exit code: 0 clean, 1 done with error lines,
// 2 failed (or wrong usage), 3 another letter run holds the lock.
int runDunning(const QStringList& args, const Output& io);

// "letters log": the letter log, tab-separated with a header line. args after "log".
int runLettersLog(const QStringList& args, const Output& io);

// "interest": late-payment interest of the credits, period by period, with the € 40 per
// document and the totals, tab-separated with a header line. args after "interest".
// 0 clean, 1 a rate is missing (the message on standard error), 2 wrong usage or unknown ID.
int runInterest(const QStringList& args, const Output& io);

} // namespace sz::cli
