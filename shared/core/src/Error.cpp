#include "scadenzio/Error.h"

namespace sz {

Error::Error(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}

QString commonErrorMessage(const QString& message)
{
    return QStringLiteral("ATTENZIONE: si è verificato il seguente errore ") + message + QStringLiteral(".");
}

} // namespace sz
