#include "scadenzio/Error.h"

namespace sz {

Error::Error(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}

QString commonErrorMessage(const QString& message)
{
    // A message that is a sentence already ends with its own full stop.
    return QStringLiteral("ATTENZIONE: si è verificato il seguente errore ") + message +
           (message.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral("."));
}

} // namespace sz
