#pragma once

#include "CliDunning.h"

#include <QStringList>

// "mail test": the test message of the mail settings, sent with the stored settings to
// the company's own address.
namespace sz::cli {

// args after "mail". Returns 0 when the server accepted the message, 1 when the test
// failed (the framed error on standard error), 2 for a wrong usage.
int runMail(const QStringList& args, const Output& io);

} // namespace sz::cli
