#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

// Outgoing mail over SMTP.
namespace sz::mail {

// The transport's library and version, for the support lines of the mail settings.
QString transportVersion();
// True when the transport can speak SMTP with STARTTLS and implicit TLS (smtps).
bool supportsSecureSmtp();

enum class Security {
    None,     // plain SMTP
    StartTls, // STARTTLS after connecting, required: never a fall-back to plain text
    Implicit, // TLS from the first byte (smtps, port 465)
};

struct Server
{
    QString host;
    int port = 25;
    Security security = Security::None;
    QString user, password; // authentication only when both are non-empty
    QString caFile;         // extra PEM CA file for a private server; the system store always counts
    int connectTimeoutSeconds = 20;
    // No byte and no reply for this long, from the greeting to the end of the message,
    // ends the attempt.
    int stallTimeoutSeconds = 60;
    // Once the message is through, the wait for the server's acceptance: RFC 5321 advises
    // 10 minutes, since the server may be scanning or delivering it meanwhile.
    int finalReplyTimeoutSeconds = 600;
    // Looked at about once a second during a transfer; true ends it (a MailError whose
    // cancelled() is true).
    const std::atomic_bool* cancel = nullptr;
};

struct Attachment
{
    QString path;        // the file sent; its name (non-ASCII encoded) names the part
    QString contentType; // "application/pdf"
};

// One message. Addresses are plain "user@host" texts (see Address.h); anything else is
// refused before a connection is opened.
struct Message
{
    QString from;
    QStringList to;         // one To: header listing them all; each an envelope recipient
    QStringList blindCopy;  // envelope recipients only: never a Bcc: header
    QString subject;        // encoded (RFC 2047) when not plain ASCII
    QString agent;          // X-Mailer, or none when empty
    QString html;           // text/html; charset=utf-8 part; empty: no HTML part
    QString text;           // text/plain; charset=utf-8 part, used when html is empty
    QList<Attachment> attachments;
    // multipart/related with the HTML first (the letters); otherwise multipart/mixed
    bool related = true;
    // The Message-ID header, "<unique@domain>"; empty (or not of that form) and the
    // transport makes one. Given by a caller that records which message a letter went in.
    QString messageId;
    // Date is added by the transport.
};

// A fresh Message-ID for a message from this sender: "<uuid@sender's domain>".
QString newMessageId(const QString& from);

// A failure of the transport: curl's message and, when the server said something, its
// last reply ("535 5.7.8 Authentication credentials invalid").
// A recipient the server would not take, and its reply ("550 5.1.1 User unknown").
struct Refusal
{
    QString address;
    QString reply;
};

class MailError : public Error
{
public:
    enum class Kind {
        Failed,    // not sent
        Uncertain, // the message went through but the server never confirmed it: it may
                   // well have been delivered
        Cancelled, // ended by Server::cancel
    };
    MailError(const QString& message, const QString& serverReply, Kind kind = Kind::Failed,
              QList<Refusal> refused = {});
    const QString& serverReply() const noexcept { return m_reply; }
    Kind kind() const noexcept { return m_kind; }
    bool uncertain() const noexcept { return m_kind == Kind::Uncertain; }
    bool cancelled() const noexcept { return m_kind == Kind::Cancelled; }
    // When every recipient was refused: each of them with its reply.
    const QList<Refusal>& refused() const noexcept { return m_refused; }

private:
    QString m_reply;
    Kind m_kind;
    QList<Refusal> m_refused;
};

// What a send that went out met on its way.
struct SendResult
{
    // Recipients the server refused while it took the message for the others.
    QList<Refusal> refused;
    // The Message-ID header the message went out with.
    QString messageId;
};

// The text of MailError::uncertain(), for the error lines.
QString uncertainText();

// Sends one message: connect, (STARTTLS,) authenticate, send, disconnect. Throws
// MailError on every failure, and when every recipient was refused; a normal return is
// the server's acceptance for the recipients not listed as refused.
SendResult send(const Server& server, const Message& message);

// The stored settings: the first row of t_ISP (SMTP host; Port, 25 when empty; User and
// Pass; security: SSL yes or port 465 -> Implicit, else TLS yes -> StartTls, else None)
// and Config.ini [Mail] CAFile. Throws sz::Error (Italian) for a port that is not a
// number from 1 to 65535, or when no settings row exists.
Server storedServer(sz::db::Connection& conn);

// The message as it goes on the wire: headers (Date and Message-ID added, never Bcc)
// and its parts in base64 lines, CR LF throughout.
QByteArray composeMessage(const Message& message);

// RFC 2047 encoded-word form of a header text ("=?UTF-8?B?...?=", one word to a folded
// line), the text itself when plain ASCII; control characters (a line break) as blanks.
QByteArray encodeHeader(const QString& text);

} // namespace sz::mail
