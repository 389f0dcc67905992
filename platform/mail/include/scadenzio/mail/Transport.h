#pragma once

#include <QString>

// Outgoing mail over SMTP.
namespace sz::mail {

// The transport's library and version, for the support lines of the mail settings.
QString transportVersion();
// True when the transport can speak SMTP with STARTTLS and implicit TLS (smtps).
bool supportsSecureSmtp();

} // namespace sz::mail
