#pragma once

#include <QString>

// A word to the user at the end of an unattended run: a desktop notification through the
// session bus, as every Linux desktop shows them.
namespace sz::cli {

// Shows the notification when a session bus and a notification service are there; false,
// and nothing else, when they are not (a run from cron, over ssh, before anyone logged in).
// Waits a few seconds at most for the service.
bool notifica(const QString& titolo, const QString& testo, bool urgente);

} // namespace sz::cli
