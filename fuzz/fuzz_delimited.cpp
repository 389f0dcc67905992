// Delimited text: the first byte picks the delimiter, the rest is the file.
#include "FuzzSupport.h"

#include "scadenzio/sheets/Delimited.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    static const char delimiters[] = {';', ',', '\t', '|'};
    const QChar delimiter = QLatin1Char(delimiters[data[0] % 4]);
    try {
        const sz::sheets::Rows rows = sz::sheets::parseDelimited(fuzz::bytes(data + 1, size - 1), delimiter,
                                                                 QStringLiteral("fuzz.csv"));
        qint64 widest = 0;
        for (const QStringList& r : rows) {
            widest = std::max<qint64>(widest, r.size());
            for (const QString& f : r)
                if (f.size() > sz::sheets::limits::cellChars) std::abort();
        }
        if (widest > sz::sheets::limits::columns || widest * rows.size() > sz::sheets::limits::cells)
            std::abort();
    } catch (const sz::Error&) {
    }
    return 0;
}
