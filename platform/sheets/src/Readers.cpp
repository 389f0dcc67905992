#include "scadenzio/sheets/Readers.h"

#include <freexl.h>
#include <zip.h>

namespace sz::sheets {

QString readerVersions()
{
    return QStringLiteral("freexl %1, libzip %2")
        .arg(QString::fromLatin1(freexl_version()), QString::fromLatin1(zip_libzip_version()));
}

} // namespace sz::sheets
