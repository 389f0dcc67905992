// A signed invoice (.p7m): the content taken out of the CMS, then read as an invoice.
#include "FuzzSupport.h"

#include "scadenzio/sheets/FatturaPA.h"

namespace fpa = sz::fatturapa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const QByteArray xml = fpa::estraiFirmato(fuzz::bytes(data, size), QStringLiteral("fuzz.xml.p7m"));
        fpa::leggiFattura(xml, QStringLiteral("fuzz.xml.p7m"));
    } catch (const sz::Error&) {
    }
    return 0;
}
