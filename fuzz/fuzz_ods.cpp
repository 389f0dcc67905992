// OpenDocument spreadsheets. An input that starts like a ZIP is taken as the whole file;
// any other is content.xml, stored into a document here.
#include "FuzzSupport.h"

#include "scadenzio/sheets/Readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray in = fuzz::bytes(data, size);
    const QByteArray file =
        in.startsWith("PK")
            ? in
            : fuzz::storedZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", in}});
    try {
        const sz::sheets::Foglio f = sz::sheets::parseSpreadsheet(file, QStringLiteral("fuzz.ods"));
        for (const QStringList& r : f.righe)
            if (r.size() != f.righe.first().size()) abort();
    } catch (const sz::Error&) {
    }
    return 0;
}
