#pragma once

#include "CliDunning.h"

#include <QStringList>

// "schedule install|remove|status": the daily unattended run on the user's systemd timer,
// and the settings of that run in the database.
namespace sz::cli {

// args after "schedule". 0 done; 1 the timer could not be installed or removed (the user's
// systemd is not reachable, or refused): the reason on standard error, the equivalent
// crontab line on standard output; 2 wrong usage, a bad time or no database.
int runSchedule(const QStringList& args, const Output& io);

} // namespace sz::cli
