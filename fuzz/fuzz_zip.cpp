// The walk through a ZIP of invoices as the import makes it: ZIPs inside (two levels),
// signed files and XML read from each entry.
#include "FuzzSupport.h"

#include "scadenzio/sheets/FatturaPA.h"

namespace fpa = sz::fatturapa;

namespace {

void contenuto(const QString& nome, const QByteArray& dati, int profondita)
{
    try {
        if (fpa::sembraZip(dati)) {
            if (profondita >= 2) return;
            fpa::leggiZip(
                dati, nome,
                [&](const QString& voce, const QByteArray& d) { contenuto(nome + QLatin1Char('/') + voce, d, profondita + 1); },
                [](const QString&, const QString&) {});
            return;
        }
        fpa::leggiFattura(fpa::sembraXml(dati) ? dati : fpa::estraiFirmato(dati, nome), nome);
    } catch (const sz::Error&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray in = fuzz::bytes(data, size);
    try {
        fpa::leggiZip(
            in, QStringLiteral("fuzz.zip"),
            [](const QString& voce, const QByteArray& d) { contenuto(voce, d, 1); },
            [](const QString&, const QString&) {});
    } catch (const sz::Error&) {
    }
    return 0;
}
