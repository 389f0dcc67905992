// The electronic invoice as XML, and everything the import asks of what it read.
#include "FuzzSupport.h"

#include "scadenzio/sheets/FatturaPA.h"

namespace fpa = sz::fatturapa;

void usa(const fpa::Fattura& f)
{
    (void)f.cedente.nominativo();
    (void)f.cedente.partitaIva();
    (void)f.cessionario.indirizzoCompleto();
    for (const fpa::Documento& d : f.documenti) {
        const QDate data = d.dataDocumento();
        (void)d.importoTotale();
        for (const fpa::Rata& r : d.rate) {
            (void)r.dataScadenza(data);
            (void)fpa::importo(r.importo);
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const auto letto = fpa::leggiFattura(fuzz::bytes(data, size), QStringLiteral("fuzz.xml"));
        if (const auto* f = std::get_if<fpa::Fattura>(&letto)) usa(*f);
    } catch (const sz::Error&) {
    }
    return 0;
}
