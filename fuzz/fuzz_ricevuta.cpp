// A certified-mail receipt (.eml): headers, nested MIME parts and daticert.xml; the same
// bytes also read as daticert.xml alone, so the XML gets mutated without the MIME around it.
#include "FuzzSupport.h"

#include "Ricevuta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray in = fuzz::bytes(data, size);
    try {
        const sz::pec::Ricevuta r = sz::pec::leggiRicevuta(in);
        sz::pec::normalizzaMessageId(r.riferimento);
    } catch (const sz::Error&) {
    }
    try {
        sz::pec::Ricevuta r;
        sz::pec::leggiDaticert(in, r);
    } catch (const sz::Error&) {
    }
    return 0;
}
