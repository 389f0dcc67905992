// Excel 97-2003 and 5/95: a compound file around BIFF records, read from memory.
#include "FuzzSupport.h"

#include "scadenzio/sheets/Readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        sz::sheets::parseSpreadsheet(fuzz::bytes(data, size), QStringLiteral("fuzz.xls"));
    } catch (const sz::Error&) {
    }
    return 0;
}
