#include "scadenzio/mail/Transport.h"

#include "scadenzio/mail/Address.h"

#include "scadenzio/Ini.h"
#include "scadenzio/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QUuid>

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

namespace sz::mail {

MailError::MailError(const QString& message, const QString& serverReply, Kind kind, QList<Refusal> refused)
    : Error(message), m_reply(serverReply), m_kind(kind), m_refused(std::move(refused))
{
}

QString uncertainText()
{
    return QStringLiteral("il server non ha confermato la ricezione: la comunicazione potrebbe essere stata recapitata");
}

namespace {

bool isPlainAscii(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

// The address without the spaces around it; a MailError for anything that is not one
// plain address, before it can reach a header or the envelope.
QString checked(const QString& address, bool sender)
{
    qsizetype b = 0, e = address.size();
    while (b < e && address[b] == QLatin1Char(' ')) ++b;
    while (e > b && address[e - 1] == QLatin1Char(' ')) --e;
    const QString a = address.mid(b, e - b);
    if (sender && a.isEmpty())
        throw MailError(QStringLiteral("l'indirizzo del mittente non è indicato"), {});
    if (!indirizzoValido(a))
        throw MailError(QStringLiteral("%1 \"%2\" non è un indirizzo mail valido")
                            .arg(sender ? QStringLiteral("il mittente") : QStringLiteral("il destinatario"),
                                 caratteriVisibili(a)),
                        {});
    return a;
}

// Recipients as given, checked, without the empty ones.
QStringList checkedList(const QStringList& list)
{
    QStringList out;
    for (const QString& a : list)
        if (!a.trimmed().isEmpty() || haCaratteriControllo(a))
            out << checked(a, false);
    return out;
}

QByteArray angle(const QString& address)
{
    return '<' + address.toUtf8() + '>';
}

// "Mon, 07 Dec 2026 15:25:35 +0100": always English names, whatever the machine's locale.
QByteArray dateHeader()
{
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
    return QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() + zone.toLatin1();
}

// A given Message-ID goes into the header only as "<left@right>" of printable ASCII
// without blanks or angle brackets inside: anything else could end the header line.
bool messageIdValido(const QString& id)
{
    static const QRegularExpression re(QStringLiteral("^<[\\x21-\\x3B\\x3D\\x3F-\\x7E]+@[\\x21-\\x3B\\x3D\\x3F-\\x7E]+>$"));
    return id.size() <= 250 && re.match(id).hasMatch();
}

QString messageIdDi(const Message& m, const QString& from)
{
    return messageIdValido(m.messageId) ? m.messageId : newMessageId(from);
}

// A plain name as a quoted string; any other in its exact form (RFC 2231), because a
// reader that finds both takes the plain one, and that would be a mangled copy.
QByteArray disposition(const QString& name)
{
    const bool plain = isPlainAscii(name) && !name.contains(QLatin1Char('"')) && !name.contains(QLatin1Char('\\'));
    if (plain)
        return "Content-Disposition: attachment; filename=\"" + name.toLatin1() + '"';
    return "Content-Disposition: attachment; filename*=UTF-8''" + name.toUtf8().toPercentEncoding();
}

using Clock = std::chrono::steady_clock;

enum class Stop { None, Stalled, Unconfirmed, Cancelled };

struct Session
{
    CURL* curl = curl_easy_init();
    curl_slist* recipients = nullptr;
    QByteArray caBundle;
    QByteArray lastReply;
    char error[CURL_ERROR_SIZE] = {};
    // The conversation as far as the timeouts and the refusals need it.
    Clock::time_point activity = Clock::now(); // last byte either way
    curl_off_t uploaded = 0;
    // The envelope's recipients as the caller gave them, in the order curl says RCPT TO:
    // a refusal is told by its place, since curl may have rewritten the domain (IDN) and a
    // quoted local part may hold a ">".
    QStringList envelope;
    int rcptSent = 0;
    QString pendingRecipient; // RCPT TO sent, its reply not yet read
    QList<Refusal> refused;
    bool dataSent = false;    // DATA said
    bool dataGo = false;      // and "354" came back: the next reply is the verdict
    bool bodyDone = false;    // the whole message handed to curl: the long wait begins
    Clock::time_point bodyDoneAt;
    QByteArray finalReply;    // the server's word on the message, once it came
    Stop stop = Stop::None;
    const Server* server = nullptr;
    ~Session()
    {
        curl_slist_free_all(recipients);
        curl_easy_cleanup(curl);
    }
};

// Keeps the server's last refusal, for the clerk to tell a wrong password from a full
// box, the recipients it refused, and whether it answered the message. Nothing else of
// the conversation is kept: it would hold the credentials.
int listen(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    auto* s = static_cast<Session*>(user);
    s->activity = Clock::now();
    if (type == CURLINFO_HEADER_OUT) {
        const QByteArray command(data, qsizetype(size));
        if (command.startsWith("RCPT TO:")) {
            if (s->rcptSent < s->envelope.size()) {
                s->pendingRecipient = s->envelope[s->rcptSent];
            } else {
                const qsizetype end = command.lastIndexOf('>');
                s->pendingRecipient = QString::fromUtf8(command.mid(9, end > 9 ? end - 9 : 0));
            }
            ++s->rcptSent;
        } else if (command.startsWith("DATA")) {
            s->dataSent = true;
        }
        return 0;
    }
    if (type != CURLINFO_HEADER_IN)
        return 0;
    for (const QByteArray& raw : QByteArray(data, qsizetype(size)).split('\n')) {
        const QByteArray line = raw.trimmed();
        // Only the last line of a reply ("250 OK", not "250-SIZE") ends it.
        if (line.size() < 3 || (line.size() > 3 && line[3] != ' '))
            continue;
        const bool refusal = line.startsWith('4') || line.startsWith('5');
        // After a refusal curl says QUIT, and the "221" goodbye would hide it.
        if (refusal)
            s->lastReply = line;
        if (!s->pendingRecipient.isNull()) {
            if (refusal)
                s->refused << Refusal{s->pendingRecipient, QString::fromUtf8(line)};
            s->pendingRecipient = QString();
        } else if (s->dataGo && s->finalReply.isEmpty()) {
            s->finalReply = line;
        } else if (s->dataSent && !s->dataGo && line.startsWith("354")) {
            s->dataGo = true;
        }
    }
    return 0;
}

// Called by curl about once a second, whatever happens on the line: the place for the
// timeouts of each phase and for the user's "Annulla".
int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow)
{
    auto* s = static_cast<Session*>(user);
    const Clock::time_point now = Clock::now();
    if (ulnow != s->uploaded) {
        s->uploaded = ulnow;
        s->activity = now;
    }
    if (s->server->cancel && s->server->cancel->load()) {
        s->stop = Stop::Cancelled;
        return 1;
    }
    if (s->bodyDone && s->finalReply.isEmpty()) {
        if (now - s->bodyDoneAt > std::chrono::seconds(s->server->finalReplyTimeoutSeconds)) {
            s->stop = Stop::Unconfirmed;
            return 1;
        }
    } else if (now - s->activity > std::chrono::seconds(s->server->stallTimeoutSeconds)) {
        s->stop = Stop::Stalled;
        return 1;
    }
    return 0;
}

QByteArray readFile(const QString& path, const QString& what)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw MailError(QStringLiteral("impossibile leggere %1 \"%2\": %3").arg(what, path, f.errorString()), {});
    return f.readAll();
}

QByteArray base64Lines(const QByteArray& data)
{
    const QByteArray b = data.toBase64();
    QByteArray out;
    out.reserve(b.size() + b.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < b.size(); i += 76)
        out += b.mid(i, 76) + "\r\n";
    return out;
}

struct Upload
{
    const QByteArray* data;
    Session* session;
    qsizetype pos = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user)
{
    auto* u = static_cast<Upload*>(user);
    const size_t take = std::min(size_t(u->data->size() - u->pos), size * count);
    std::memcpy(buffer, u->data->constData() + u->pos, take);
    u->pos += qsizetype(take);
    if (u->pos == u->data->size() && !u->session->bodyDone) {
        // curl now ends the data with "." and waits for the server's verdict.
        u->session->bodyDone = true;
        u->session->bodyDoneAt = Clock::now();
    }
    return take;
}

void check(Session& s, CURLcode code, const char* step)
{
    if (code != CURLE_OK)
        throw MailError(QStringLiteral("impostazione della posta non riuscita (%1): %2")
                            .arg(QLatin1String(step), QString::fromUtf8(curl_easy_strerror(code))),
                        {});
    (void)s;
}

} // namespace

QByteArray encodeHeader(const QString& raw)
{
    // A header is one line: a break in a template's subject or a client's name would
    // otherwise end it and start a header of the sender's choosing. Every control
    // character becomes a blank, so what is left is text whichever form it takes.
    QString text = raw;
    for (QChar& c : text)
        if (haCaratteriControllo(QString(c)))
            c = QLatin1Char(' ');
    if (isPlainAscii(text))
        return text.toUtf8();
    // Encoded words of at most 45 bytes of UTF-8 each (60 characters once in base64),
    // never splitting a character, one to a folded line so no line grows past the limit.
    QByteArray out;
    QByteArray chunk;
    auto flush = [&] {
        if (chunk.isEmpty()) return;
        if (!out.isEmpty()) out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString one(text[i]);
        if (text[i].isHighSurrogate() && i + 1 < text.size())
            one += text[++i];
        const QByteArray bytes = one.toUtf8();
        if (chunk.size() + bytes.size() > 45)
            flush();
        chunk += bytes;
    }
    flush();
    return out;
}

QByteArray composeMessage(const Message& message)
{
    // The message is built here, whole, and handed to curl as it is: every header as
    // written (no Bcc: among them), every part in base64 lines, so nothing is re-encoded
    // on the way and the letters' long HTML lines arrive intact.
    const QString from = checked(message.from, true);
    const QStringList to = checkedList(message.to);
    QByteArray mail;
    mail.reserve(4096);
    auto header = [&](const QByteArray& h) { mail += h + "\r\n"; };
    header("Date: " + dateHeader());
    header("From: " + from.toUtf8());
    header("To: " + to.join(QStringLiteral(", ")).toUtf8());
    header("Message-ID: " + messageIdDi(message, from).toLatin1());
    header("Subject: " + encodeHeader(message.subject));
    if (!message.agent.isEmpty())
        header("X-Mailer: " + encodeHeader(message.agent));
    header("MIME-Version: 1.0");
    const bool html = !message.html.isEmpty();
    const QByteArray text = (html ? message.html : message.text).toUtf8();
    const QByteArray textType = html ? "text/html; charset=utf-8" : "text/plain; charset=utf-8";
    if (message.attachments.isEmpty() && !(html && message.related)) {
        header("Content-Type: " + textType);
        header("Content-Transfer-Encoding: base64");
        mail += "\r\n" + base64Lines(text);
    } else {
        const QByteArray boundary = "=_sz_" + QUuid::createUuid().toString(QUuid::Id128).toLatin1();
        header(QByteArray(html && message.related ? "Content-Type: multipart/related; type=\"text/html\"; "
                                                  : "Content-Type: multipart/mixed; ") +
               "boundary=\"" + boundary + '"');
        mail += "\r\n";
        mail += "--" + boundary + "\r\nContent-Type: " + textType +
                "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64Lines(text);
        for (const Attachment& a : message.attachments) {
            const QByteArray data = readFile(a.path, QStringLiteral("l'allegato"));
            // Only a plain type/subtype reaches the header.
            static const QRegularExpression mime(QStringLiteral("^[A-Za-z0-9!#$&^_.+-]+/[A-Za-z0-9!#$&^_.+-]+$"));
            const QByteArray type = mime.match(a.contentType).hasMatch() ? a.contentType.toLatin1()
                                                                         : QByteArray("application/octet-stream");
            mail += "--" + boundary + "\r\nContent-Type: " + type + "\r\n" +
                    disposition(QFileInfo(a.path).fileName()) + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                    base64Lines(data);
        }
        mail += "--" + boundary + "--\r\n";
    }
    return mail;
}

QString newMessageId(const QString& from)
{
    const qsizetype at = from.lastIndexOf(QLatin1Char('@'));
    QString domain = at >= 0 ? from.mid(at + 1).trimmed() : QString();
    // Only a plain domain becomes the right-hand side; anything else names no one.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9.-]+$"));
    if (!plain.match(domain).hasMatch())
        domain = QStringLiteral("localhost");
    return QLatin1Char('<') + QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('@') + domain +
           QLatin1Char('>');
}

SendResult send(const Server& server, const Message& message)
{
    // Every address is checked before anything else: a line break in one would be a
    // command of its own inside the firm's authenticated session.
    const QString sender = checked(message.from, true);
    const QStringList recipients = checkedList(message.to) + checkedList(message.blindCopy);
    if (recipients.isEmpty())
        throw MailError(QStringLiteral("nessun destinatario per il messaggio"), {});
    Message conId = message;
    conId.messageId = messageIdDi(message, sender);
    const QByteArray mail = composeMessage(conId);

    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Session s;
    s.server = &server;
    s.envelope = recipients;
    if (!initialised || !s.curl)
        throw MailError(QStringLiteral("la libreria di posta non è disponibile"), {});
    if (server.host.trimmed().isEmpty())
        throw MailError(QStringLiteral("il server della posta in uscita (SMTP) non è indicato"), {});
    CURL* c = s.curl;
    const QByteArray url = (server.security == Security::Implicit ? "smtps://" : "smtp://") +
                           server.host.trimmed().toLower().toUtf8() + ':' + QByteArray::number(server.port);
    check(s, curl_easy_setopt(c, CURLOPT_URL, url.constData()), "server");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, s.error);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(server.connectTimeoutSeconds));
    // curl has one reply timeout for every command; the short one for the greeting and
    // the commands, and the long one for the reply to the message, are kept by progress().
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     long(std::max(server.stallTimeoutSeconds, server.finalReplyTimeoutSeconds) + 5));
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &s);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, listen);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &s);

    // Asked for TLS, TLS it is: the certificate and the name are always checked, and a
    // server that will not switch ends the attempt before anything is sent.
    if (server.security == Security::StartTls)
        check(s, curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL)), "TLS");
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!server.caFile.trimmed().isEmpty()) {
        // The private server's authority joins the system's, it does not replace it.
        QByteArray bundle;
        for (const char* system : {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt"})
            if (QFileInfo::exists(QLatin1String(system))) {
                bundle = readFile(QLatin1String(system), QStringLiteral("i certificati di sistema")) + '\n';
                break;
            }
        s.caBundle = bundle + readFile(server.caFile.trimmed(), QStringLiteral("il file dei certificati (CAFile)"));
        curl_blob blob{s.caBundle.data(), size_t(s.caBundle.size()), CURL_BLOB_NOCOPY};
        check(s, curl_easy_setopt(c, CURLOPT_CAINFO_BLOB, &blob), "CAFile");
    }
    if (!server.user.isEmpty() && !server.password.isEmpty()) {
        const QByteArray user = server.user.toUtf8(), pass = server.password.toUtf8();
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, pass.constData());
    }

    const QByteArray from = angle(sender);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    QList<QByteArray> keep;
    for (const QString& a : recipients) {
        keep << angle(a);
        s.recipients = curl_slist_append(s.recipients, keep.last().constData());
    }
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, s.recipients);
    // One unknown user among a client's addresses must not keep the letter from the others.
#if LIBCURL_VERSION_NUM >= 0x080200
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLOWFAILS, 1L);
#else
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
#endif

    Upload up{&mail, &s};
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &up);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(mail.size()));

    const CURLcode rc = curl_easy_perform(c);
    if (s.stop != Stop::None) {
        // curl would still say QUIT on the way out and wait for the goodbye of a server
        // that has stopped answering: the line is cut instead.
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(c, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
            ::shutdown(socket, SHUT_RDWR);
    }
    // The server's "250" to the message is the acceptance, whatever came after it.
    if (rc == CURLE_OK || s.finalReply.startsWith('2'))
        return SendResult{s.refused, conId.messageId};
    const QString reply = QString::fromUtf8(s.lastReply);
    if (s.stop == Stop::Cancelled) {
        // Stopped while the server sat on a message it had whole: the clerk who sends it
        // again must know the client may get it twice.
        QString text = QStringLiteral("invio annullato dall'utente");
        if (s.dataGo && s.bodyDone && s.finalReply.isEmpty())
            text += QStringLiteral(" mentre il server non aveva ancora confermato la ricezione: la comunicazione "
                                   "potrebbe essere stata recapitata");
        throw MailError(text, reply, MailError::Kind::Cancelled);
    }
    // Everything went through and the answer never came: the server may well have
    // delivered it, and a second letter would be a duplicate.
    curl_off_t uploaded = 0;
    curl_easy_getinfo(c, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    if (s.dataGo && s.finalReply.isEmpty() && (s.stop == Stop::Unconfirmed || uploaded >= mail.size()))
        throw MailError(uncertainText(), reply, MailError::Kind::Uncertain);
    if (!s.refused.isEmpty() && s.refused.size() == recipients.size()) {
        QStringList each;
        for (const Refusal& r : s.refused)
            each << r.address + QStringLiteral(" (") + r.reply + QLatin1Char(')');
        throw MailError(QStringLiteral("il server ha rifiutato tutti i destinatari: ") + each.join(QStringLiteral("; ")),
                        reply, MailError::Kind::Failed, s.refused);
    }
    QString reason = s.error[0] ? QString::fromUtf8(s.error) : QString::fromUtf8(curl_easy_strerror(rc));
    if (s.stop == Stop::Stalled)
        reason = QStringLiteral("il server non risponde da %1 secondi").arg(server.stallTimeoutSeconds);
    else if (rc == CURLE_SSL_CACERT_BADFILE)
        reason += QStringLiteral(" - il file dei certificati indicato in Config.ini, sezione [Mail], voce CAFile, "
                                 "non è un file PEM valido");
    else if (rc == CURLE_PEER_FAILED_VERIFICATION &&
             (reason.contains(QLatin1String("issuer")) || reason.contains(QLatin1String("self signed")) ||
              reason.contains(QLatin1String("self-signed")) || reason.contains(QLatin1String("unknown ca"), Qt::CaseInsensitive)))
        // The usual cause is a server whose certificate comes from the firm's own
        // authority: the setting that fixes it is named.
        reason += QStringLiteral(" - il certificato del server non è firmato da un'autorità conosciuta: se il server "
                                 "usa un'autorità di certificazione privata, indicarne il file PEM in Config.ini, "
                                 "sezione [Mail], voce CAFile");
    QString msg = QStringLiteral("invio della mail non riuscito: ") + reason;
    if (!reply.isEmpty() && !reason.contains(reply))
        msg += QStringLiteral(" (risposta del server: ") + reply + QLatin1Char(')');
    throw MailError(msg, reply);
}

Server storedServer(sz::db::Connection& conn)
{
    const auto r = conn.query(QStringLiteral("SELECT * FROM t_ISP ORDER BY ID"));
    if (r.isEmpty())
        throw Error(QStringLiteral("ATTENZIONE: le impostazioni del server di posta non sono state trovate."));
    Server s;
    s.host = r.value(0, QStringLiteral("SMTP")).toString().trimmed();
    s.user = r.value(0, QStringLiteral("User")).toString();
    s.password = r.value(0, QStringLiteral("Pass")).toString();
    const QString port = r.value(0, QStringLiteral("Port")).toString().trimmed();
    if (!port.isEmpty()) {
        bool ok = false;
        s.port = port.toInt(&ok);
        if (!ok || s.port < 1 || s.port > 65535)
            throw Error(QStringLiteral("ATTENZIONE: la porta del server di posta \"%1\" non è un numero valido.").arg(port));
    }
    const bool ssl = r.columnIndex(QStringLiteral("SSL")) >= 0 && r.value(0, QStringLiteral("SSL")).toBool();
    const bool tls = r.value(0, QStringLiteral("TLS")).toBool();
    s.security = (ssl || s.port == 465) ? Security::Implicit : tls ? Security::StartTls : Security::None;
    s.caFile = readIniValue(paths::configIniPath(), QStringLiteral("Mail"), QStringLiteral("CAFile"));
    return s;
}

} // namespace sz::mail
