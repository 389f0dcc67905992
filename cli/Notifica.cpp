#include "Notifica.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace sz::cli {

namespace {

const QString servizio = QStringLiteral("org.freedesktop.Notifications");
const QString oggetto = QStringLiteral("/org/freedesktop/Notifications");
// The service may be slow to start (it is often activated by this very call), never
// long: a run must end.
constexpr int attesaMs = 5000;

} // namespace

bool notifica(const QString& titolo, const QString& testo, bool urgente)
{
    // Without an address there is no session; connecting would only print Qt's warning.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // A server that reads markup in the body would hide a line holding "<" or mangle
    // "ROSSI & C.": then the three characters are written as entities. One that does not
    // shows the text as it is, so it gets it untouched.
    QString corpo = testo;
    const QDBusMessage capacita = bus.call(
        QDBusMessage::createMethodCall(servizio, oggetto, servizio, QStringLiteral("GetCapabilities")), QDBus::Block,
        attesaMs);
    if (capacita.type() == QDBusMessage::ReplyMessage && !capacita.arguments().isEmpty() &&
        capacita.arguments().first().toStringList().contains(QStringLiteral("body-markup")))
        corpo.replace(QLatin1Char('&'), QStringLiteral("&amp;"))
            .replace(QLatin1Char('<'), QStringLiteral("&lt;"))
            .replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    QDBusMessage m = QDBusMessage::createMethodCall(servizio, oggetto, servizio, QStringLiteral("Notify"));
    QVariantMap suggerimenti;
    // 2 = critical: a run with errors stays on screen until the user sees it.
    suggerimenti.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(urgente ? 2 : 1)));
    suggerimenti.insert(QStringLiteral("desktop-entry"), QStringLiteral("scadenzio"));
    m << QStringLiteral("Scadenzio") << uint(0) << QStringLiteral("mail-send") << titolo << corpo << QStringList()
      << suggerimenti << int(-1);
    const QDBusMessage risposta = bus.call(m, QDBus::Block, attesaMs);
    return risposta.type() == QDBusMessage::ReplyMessage;
}

} // namespace sz::cli
