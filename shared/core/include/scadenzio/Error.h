#pragma once

#include "scadenzio/Export.h"

#include <QString>
#include <stdexcept>

namespace sz {

// Every failure the program reports to a user travels as this exception; the
// message is already in the words the user should read.
class SZ_CORE_EXPORT Error : public std::runtime_error
{
public:
    explicit Error(const QString& message);
    const QString& message() const noexcept { return m_message; }

private:
    QString m_message;
};

// "ATTENZIONE: si è verificato il seguente errore " + message + "."
SZ_CORE_EXPORT QString commonErrorMessage(const QString& message);

} // namespace sz
