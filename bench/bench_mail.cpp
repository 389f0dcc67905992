// "Invia" of 200 letters to a loopback SMTP server, against curl alone sending the same
// 200 messages already built, in the same run.
#include "Bench.h"
#include "TestEnv.h"

#include "scadenzio/mail/Address.h"
#include "scadenzio/mail/Transport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

struct Reader
{
    const QByteArray* data;
    qsizetype pos = 0;
};

size_t readRaw(char* buf, size_t size, size_t n, void* user)
{
    auto* r = static_cast<Reader*>(user);
    const size_t left = size_t(r->data->size() - r->pos);
    const size_t take = std::min(left, size * n);
    std::memcpy(buf, r->data->constData() + r->pos, take);
    r->pos += qsizetype(take);
    return take;
}

} // namespace

SZ_BENCH(mail)
{
    QTemporaryDir dir;
    const int port = TestEnv::freeLocalPort();
    QProcess server;
    server.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(SZ_SOURCE_DIR "/tests/smtp/smtp_server.py"), QStringLiteral("--port"),
                  QString::number(port), QStringLiteral("--out"), dir.path()});
    if (!server.waitForReadyRead(15000)) {
        std::printf("SMTP server did not start\n");
        return;
    }
    QByteArray pdf(30 * 1024, '\0');
    for (qsizetype i = 0; i < pdf.size(); ++i)
        pdf[i] = char((i * 7919) % 251);
    const QString pdfPath = dir.path() + QStringLiteral("/lettera.pdf");
    QFile f(pdfPath);
    f.open(QIODevice::WriteOnly);
    f.write(pdf);
    f.close();

    sz::mail::Server s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port;
    sz::mail::Message m;
    m.from = QStringLiteral("amministrazione@artigiana.it");
    m.to = {QStringLiteral("a@bianchi.it")};
    m.blindCopy = {m.from};
    m.subject = QStringLiteral("1° SOLLECITO DI PAGAMENTO");
    QString html;
    for (int i = 0; i < 60; ++i)
        html += QStringLiteral("<tr><td>Riga %1 della lettera con importo € 1.234,56 e testo accentato è</td></tr>\r\n").arg(i);
    m.html = html;
    m.attachments = {{pdfPath, QStringLiteral("application/pdf")}};
    const int n = 200;

    // The same bytes a send produces, built once for curl alone.
    const QByteArray raw = sz::mail::composeMessage(m);
    const double bare = benchReport(QStringLiteral("curl alone, %1 messages").arg(n), [&] {
        const QByteArray url = "smtp://127.0.0.1:" + QByteArray::number(port);
        for (int i = 0; i < n; ++i) {
            CURL* c = curl_easy_init();
            curl_slist* rcpt = curl_slist_append(nullptr, "<a@bianchi.it>");
            rcpt = curl_slist_append(rcpt, "<amministrazione@artigiana.it>");
            Reader r{&raw};
            curl_easy_setopt(c, CURLOPT_URL, url.constData());
            curl_easy_setopt(c, CURLOPT_MAIL_FROM, "<amministrazione@artigiana.it>");
            curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt);
            curl_easy_setopt(c, CURLOPT_READFUNCTION, readRaw);
            curl_easy_setopt(c, CURLOPT_READDATA, &r);
            curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
            curl_easy_perform(c);
            curl_slist_free_all(rcpt);
            curl_easy_cleanup(c);
        }
    }, 3);
    const double ours = benchReport(QStringLiteral("send(), %1 letters with their PDF").arg(n), [&] {
        for (int i = 0; i < n; ++i)
            sz::mail::send(s, m);
    }, 3);
    std::printf("per message: curl %.2f ms, send %.2f ms, ratio %.2f\n", bare / n, ours / n, ours / bare);

    // The check every letter's addresses pass before the transport, on fields as a
    // register holds them: three addresses, one of them hostile.
    const QString campo = QStringLiteral("amministrazione@bianchi-figli.it; ufficio.crediti@bianchi-figli.it, "
                                         "a@b.it>\r\nRCPT TO:<x@evil.test>");
    const int campi = 100000;
    int validi = 0;
    const double controllo = benchReport(QStringLiteral("address check, %1 fields of 3 addresses").arg(campi), [&] {
        validi = 0;
        for (int i = 0; i < campi; ++i)
            for (const QString& a : sz::mail::dividiIndirizzi(campo))
                validi += sz::mail::indirizzoValido(a) ? 1 : 0;
    }, 3);
    std::printf("per field: %.2f us (%d valid of %d)\n", controllo * 1000.0 / campi, validi, campi * 3);
    server.kill();
    server.waitForFinished(5000);
}
