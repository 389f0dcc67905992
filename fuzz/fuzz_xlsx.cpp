// Excel 2007 and later. An input that starts like a ZIP is taken as the whole file; any
// other is the sheet, shared strings, styles, workbook and workbook relations, separated
// by NUL bytes, stored into a workbook here.
#include "FuzzSupport.h"

#include "scadenzio/sheets/Readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray in = fuzz::bytes(data, size);
    QByteArray file = in;
    if (!in.startsWith("PK")) {
        const QList<QByteArray> p = fuzz::pieces(in, 5);
        QList<QPair<QByteArray, QByteArray>> parts{
            {"xl/workbook.xml",
             p.size() > 3 ? p[3] : QByteArray(R"(<workbook><sheets><sheet name="a"/></sheets></workbook>)")},
            {"xl/worksheets/sheet1.xml", p[0]}};
        if (p.size() > 1) parts.append({"xl/sharedStrings.xml", p[1]});
        if (p.size() > 2) parts.append({"xl/styles.xml", p[2]});
        if (p.size() > 4) parts.append({"xl/_rels/workbook.xml.rels", p[4]});
        file = fuzz::storedZip(parts);
    }
    try {
        const sz::sheets::Foglio f = sz::sheets::parseSpreadsheet(file, QStringLiteral("fuzz.xlsx"));
        for (const QStringList& r : f.righe)
            if (r.size() != f.righe.first().size()) abort();
    } catch (const sz::Error&) {
    }
    return 0;
}
