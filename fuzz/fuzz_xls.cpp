// Excel 97-2003: freexl reads from a file, so each input is written to one first.
#include "FuzzSupport.h"

#include "scadenzio/sheets/Readers.h"

#include <QFile>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QStringLiteral("/dev/shm/sz-fuzz-%1.xls").arg(getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        sz::sheets::readSpreadsheet(path);
    } catch (const sz::Error&) {
    }
    return 0;
}
