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
    QDBusMessage m = QDBusMessage::createMethodCall(servizio, oggetto, servizio, QStringLiteral("Notify"));
    QVariantMap suggerimenti;
    // 2 = critical: a run with errors stays on screen until the user sees it.
    suggerimenti.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(urgente ? 2 : 1)));
    suggerimenti.insert(QStringLiteral("desktop-entry"), QStringLiteral("scadenzio"));
    m << QStringLiteral("Scadenzio") << uint(0) << QStringLiteral("mail-send") << titolo << testo << QStringList()
      << suggerimenti << int(-1);
    const QDBusMessage risposta = bus.call(m, QDBus::Block, attesaMs);
    return risposta.type() == QDBusMessage::ReplyMessage;
}

} // namespace sz::cli
