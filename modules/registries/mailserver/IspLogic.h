#pragma once

#include "scadenzio/mail/Transport.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

namespace sz::db {
class Connection;
}

// The rules of the outgoing-mail settings that need no window: the provider files, the
// server a set of fields stands for, the test message, and the company's sender address.
namespace sz::mailserver {

// The two provider files, in the settings root beside the other settings.
QString providerListPath(); // SezioneRegistrazione_ListaISP.txt
QString providerIniPath();  // ListaISP.ini

// A known connectivity provider. Port and security come from keys that older files lack.
struct Provider
{
    QString name; // in capitals, as the list shows it
    QString smtp; // empty when its section has no SMTP
    std::optional<int> port;
    std::optional<mail::Security> security;
    // A certified-mail (PEC) provider, with its incoming server for the receipts.
    bool pec = false;
    QString imap;
    std::optional<int> imapPort;
};

// The provider names of the list file, in file order, blank lines left out; empty when
// the file is missing.
QStringList readProviderNames(const QString& listPath);
// One provider's section of the ini file; a value that does not read is left unset.
Provider readProvider(const QString& iniPath, const QString& name);
// The providers of both files in the settings root.
QList<Provider> loadProviders();
QList<Provider> loadProviders(const QString& listPath, const QString& iniPath);
// The same, with the PEC keys an older copy of the ini file lacks taken from the
// program's own (predefinito) for a section of the same name and server.
QList<Provider> loadProviders(const QString& listPath, const QString& iniPath, const QString& predefinito);

// The provider shown for a stored server: the first whose server equals it, letter case
// aside; the first provider when none does; -1 without providers.
int matchProvider(const QList<Provider>& providers, const QString& smtp);

// The fields of the settings as the user sees them.
struct Fields
{
    QString smtp;
    QString port; // as typed; empty means 25
    QString user;
    QString password;
    mail::Security security = mail::Security::None;
};

// The server the fields stand for, the way the letters will reach it: credentials only
// with both user and password, implicit TLS on port 465 whatever the choice, the CA
// file of Config.ini. Throws sz::Error (Italian, to follow a colon) for a port that is
// not a number from 1 to 65535.
mail::Server serverFromFields(const Fields& fields);

// The message of the test: from and to the sender's own address.
mail::Message testMessage(const QString& mail, const QString& smtp);

QString testSuccessText();
// The framed text of a failed test; a server reply the message lacks is added to it.
QString testFailureText(const Error& error);

// The two stored switches and the security they mean (implicit TLS wins over STARTTLS,
// as in the stored server).
struct SecurityFlags
{
    bool tls = false;
    bool ssl = false;
};
SecurityFlags flagsFor(mail::Security security);
mail::Security securityOf(bool tls, bool ssl);

// The port proposed when a security is chosen: only into an empty port field.
std::optional<QString> proposedPort(mail::Security chosen, const QString& currentPort);

// ---- certified mail (PEC) ---------------------------------------------------------------

// The pace of a PEC mailbox: the strictest provider's cap when nothing is set.
constexpr int MessaggiMinutoPredefiniti = 6;
constexpr int PortaImapPredefinita = 993;

// The incoming server and port a provider choice proposes; nullopt for a provider
// that is not certified mail.
struct ProposteImap
{
    QString host;
    QString porta;
};
std::optional<ProposteImap> proposteImap(const Provider& provider);

// The PEC fields as typed. Empty pace means the default; empty port means 993.
struct CampiPec
{
    bool pec = false;
    QString imap;
    QString portaImap;
    QString messaggiMinuto;
    mail::Security sicurezza = mail::Security::None;
    QString portaSmtp;
};
// The first problem of the PEC fields, as a message for the user ("ATTENZIONE: ..."),
// or empty: an incoming server that is not a host name, a port or a pace out of range.
// Nothing is asked of a mailbox that is not PEC.
QString problemaPec(const CampiPec& campi);
// The note shown under the security choice of a PEC mailbox that does not use implicit
// TLS, or empty.
QString avvisoSicurezzaPec(const CampiPec& campi);

// Writes the company's sender address when it differs from the one read. Refuses
// (sz::Error) when another window changed it since then, so neither typing is lost
// silently. A null company row writes nothing.
void writeCompanyMail(db::Connection& conn, const QVariant& companyId, const QString& readMail,
                      const QString& newMail);

} // namespace sz::mailserver
