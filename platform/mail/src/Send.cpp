#include "scadenzio/mail/Transport.h"

#include "scadenzio/Ini.h"
#include "scadenzio/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QUuid>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace sz::mail {

MailError::MailError(const QString& message, const QString& serverReply) : Error(message), m_reply(serverReply) {}

namespace {

bool isPlainAscii(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

QByteArray angle(const QString& address)
{
    return '<' + address.trimmed().toUtf8() + '>';
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

QByteArray messageId(const QString& from)
{
    const qsizetype at = from.lastIndexOf(QLatin1Char('@'));
    const QString domain = at >= 0 ? from.mid(at + 1).trimmed() : QStringLiteral("localhost");
    return '<' + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + '@' + domain.toUtf8() + '>';
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

struct Session
{
    CURL* curl = curl_easy_init();
    curl_slist* recipients = nullptr;
    QByteArray caBundle;
    QByteArray lastReply;
    char error[CURL_ERROR_SIZE] = {};
    ~Session()
    {
        curl_slist_free_all(recipients);
        curl_easy_cleanup(curl);
    }
};

// Keeps the server's last reply, for the clerk to tell a wrong password from a full box.
// Nothing else of the conversation is kept: it would hold the credentials.
int listen(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    if (type == CURLINFO_HEADER_IN) {
        // Refusals only: after one, curl says QUIT and the "221" goodbye would hide it.
        const QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
        if (line.startsWith('4') || line.startsWith('5'))
            static_cast<Session*>(user)->lastReply = line;
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
    qsizetype pos = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user)
{
    auto* u = static_cast<Upload*>(user);
    const size_t take = std::min(size_t(u->data->size() - u->pos), size * count);
    std::memcpy(buffer, u->data->constData() + u->pos, take);
    u->pos += qsizetype(take);
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

QByteArray encodeHeader(const QString& text)
{
    if (isPlainAscii(text))
        return text.toUtf8();
    // Encoded words of at most 45 bytes of UTF-8 each (60 characters once in base64),
    // never splitting a character.
    QByteArray out;
    QByteArray chunk;
    auto flush = [&] {
        if (chunk.isEmpty()) return;
        if (!out.isEmpty()) out += ' ';
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
    QStringList to;
    for (const QString& a : message.to)
        if (!a.trimmed().isEmpty()) to << a.trimmed();
    QByteArray mail;
    mail.reserve(4096);
    auto header = [&](const QByteArray& h) { mail += h + "\r\n"; };
    header("Date: " + dateHeader());
    header("From: " + message.from.trimmed().toUtf8());
    header("To: " + to.join(QStringLiteral(", ")).toUtf8());
    header("Message-ID: " + messageId(message.from));
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
            const QByteArray type =
                a.contentType.isEmpty() ? QByteArray("application/octet-stream") : a.contentType.toUtf8();
            mail += "--" + boundary + "\r\nContent-Type: " + type + "\r\n" +
                    disposition(QFileInfo(a.path).fileName()) + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                    base64Lines(data);
        }
        mail += "--" + boundary + "--\r\n";
    }
    return mail;
}

void send(const Server& server, const Message& message)
{
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Session s;
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
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(server.stallTimeoutSeconds));
    // A server that takes the message and then never answers is a stall too.
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(server.stallTimeoutSeconds));
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

    const QByteArray from = angle(message.from);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    QList<QByteArray> keep;
    for (const QString& a : message.to + message.blindCopy) {
        if (a.trimmed().isEmpty()) continue;
        keep << angle(a);
        s.recipients = curl_slist_append(s.recipients, keep.last().constData());
    }
    if (!s.recipients)
        throw MailError(QStringLiteral("nessun destinatario per il messaggio"), {});
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, s.recipients);

    const QByteArray mail = composeMessage(message);
    Upload up{&mail};
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &up);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(mail.size()));

    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK) {
        const QString reason = s.error[0] ? QString::fromUtf8(s.error) : QString::fromUtf8(curl_easy_strerror(rc));
        const QString reply = QString::fromUtf8(s.lastReply);
        QString msg = QStringLiteral("invio della mail non riuscito: ") + reason;
        if (!reply.isEmpty() && !reason.contains(reply))
            msg += QStringLiteral(" (risposta del server: ") + reply + QLatin1Char(')');
        throw MailError(msg, reply);
    }
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
