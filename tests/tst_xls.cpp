// The .xls reader on workbooks built here record by record, in a compound file written by
// libgsf: the cases producers rarely write but the format allows (strings split over
// CONTINUE records, packed numbers, BIFF5 code pages) and files that lie about their sizes.
#include "TestEnv.h"

#include "scadenzio/Error.h"
#include "scadenzio/sheets/Readers.h"

#include <QtTest>

#include <QCryptographicHash>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <cstring>

#include <sys/resource.h>

using sz::sheets::Foglio;
using sz::sheets::parseSpreadsheet;
using sz::sheets::Rows;

namespace {

QByteArray u16(quint32 v)
{
    return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF);
}

QByteArray u32(quint32 v)
{
    return u16(v & 0xFFFF) + u16(v >> 16);
}

QByteArray f64(double d)
{
    quint64 b;
    std::memcpy(&b, &d, 8);
    return u32(quint32(b)) + u32(quint32(b >> 32));
}

QByteArray record(quint16 tipo, const QByteArray& dati)
{
    return u16(tipo) + u16(quint32(dati.size())) + dati;
}

QByteArray cella(quint16 riga, quint16 colonna, quint16 xf = 0)
{
    return u16(riga) + u16(colonna) + u16(xf);
}

// BIFF8 text: 16-bit count, option byte, Latin-1 characters.
QByteArray testo8(const QByteArray& latin1)
{
    return u16(quint32(latin1.size())) + '\0' + latin1;
}

QByteArray utf16(const QString& s)
{
    QByteArray b;
    for (const QChar c : s)
        b += u16(c.unicode());
    return b;
}

QByteArray formula(quint16 riga, quint16 colonna, const QByteArray& risultato, quint16 opzioni = 0, quint16 xf = 0)
{
    // The expression: a single integer constant; only the stored result counts here.
    return record(0x0006, cella(riga, colonna, xf) + risultato + u16(opzioni) + u32(0) + u16(3) + QByteArray("\x1E\x01\x00", 3));
}

QByteArray speciale(quint8 tipo, quint8 valore = 0)
{
    return QByteArray(1, char(tipo)) + '\0' + char(valore) + QByteArray(3, '\0') + "\xFF\xFF";
}

// A workbook stream: globals, one sheet entry per sheet, the sheets.
struct Libro
{
    bool biff8 = true;
    QByteArray globali;
    struct Foglio
    {
        quint8 tipo = 0; // 0 worksheet, 2 chart
        QByteArray record;
        qint64 posizione = -1; // where the sheet entry says it starts; -1: where it does
    };
    QList<Foglio> fogli;

    QByteArray bof(quint16 tipo) const
    {
        return record(0x0809, biff8 ? u16(0x0600) + u16(tipo) + u16(0x0DBB) + u16(0x07CC) + u32(0) + u32(6)
                                    : u16(0x0500) + u16(tipo) + u16(0x096C) + u16(0x07C9));
    }

    QByteArray stream() const
    {
        const auto voce = [&](qint64 posizione, quint8 tipo) {
            return record(0x0085, u32(quint32(posizione)) + '\0' + char(tipo) +
                                      (biff8 ? QByteArray("\x01\x00" "F", 3) : QByteArray("\x01" "F", 2)));
        };
        QByteArray testa = bof(0x0005) + globali;
        const qint64 vociDimensione = voce(0, 0).size() * fogli.size();
        qint64 posizione = testa.size() + vociDimensione + 4;
        QByteArray corpo;
        for (const auto& f : fogli) {
            testa += voce(f.posizione >= 0 ? f.posizione : posizione, f.tipo);
            const QByteArray s = bof(f.tipo == 2 ? 0x0020 : 0x0010) + f.record + record(0x000A, {});
            corpo += s;
            posizione += s.size();
        }
        return testa + record(0x000A, {}) + corpo;
    }
};

// A compound file holding the given streams, as libgsf writes one.
QByteArray composto(const QList<QPair<const char*, QByteArray>>& flussi)
{
    GsfOutput* memoria = gsf_output_memory_new();
    GsfOutfile* ole = gsf_outfile_msole_new(memoria);
    for (const auto& [nome, dati] : flussi) {
        GsfOutput* figlio = gsf_outfile_new_child(ole, nome, FALSE);
        gsf_output_write(figlio, size_t(dati.size()), reinterpret_cast<const guint8*>(dati.constData()));
        gsf_output_close(figlio);
        g_object_unref(figlio);
    }
    gsf_output_close(GSF_OUTPUT(ole));
    g_object_unref(ole);
    const QByteArray out(reinterpret_cast<const char*>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memoria))),
                         qsizetype(gsf_output_size(memoria)));
    g_object_unref(memoria);
    return out;
}

QByteArray xls(const Libro& l)
{
    return composto({{l.biff8 ? "Workbook" : "Book", l.stream()}});
}

// A compound file written here sector by sector (512 bytes): its directory holds voci
// entries, each the right sibling of the one before, and the workbook stream last.
QByteArray catenaDiVoci(int voci, const QByteArray& cartella)
{
    QByteArray libro = cartella;
    libro.append(QByteArray(4096 - libro.size() % 4096, '\0')); // past the size of the mini stream
    const qint64 settoriLibro = libro.size() / 512, settoriDirectory = (voci + 3) / 4;
    qint64 settoriTabella = 1;
    while (settoriTabella * 128 < settoriTabella + settoriDirectory + settoriLibro)
        ++settoriTabella;
    QByteArray tabella;
    for (qint64 i = 0; i < settoriTabella; ++i)
        tabella += u32(0xFFFFFFFD);
    const qint64 directory = settoriTabella, dati = directory + settoriDirectory;
    for (qint64 i = 0; i < settoriDirectory; ++i)
        tabella += u32(i + 1 < settoriDirectory ? quint32(directory + i + 1) : 0xFFFFFFFE);
    for (qint64 i = 0; i < settoriLibro; ++i)
        tabella += u32(i + 1 < settoriLibro ? quint32(dati + i + 1) : 0xFFFFFFFE);
    tabella.append(QByteArray(settoriTabella * 512 - tabella.size(), '\xFF'));
    const auto voce = [](const QString& nome, quint8 tipo, quint32 destra, quint32 figlio, quint32 inizio,
                         quint32 dimensione) {
        QByteArray n = utf16(nome) + u16(0);
        const int lunghezza = int(n.size());
        n.append(QByteArray(64 - n.size(), '\0'));
        return n + u16(quint32(lunghezza)) + char(tipo) + '\x01' + u32(0xFFFFFFFF) + u32(destra) + u32(figlio) +
               QByteArray(36, '\0') + u32(inizio) + u32(dimensione) + u32(0);
    };
    QByteArray voce0 = voce(QStringLiteral("Root Entry"), 5, 0xFFFFFFFF, 1, 0xFFFFFFFE, 0), elenco = voce0;
    for (int i = 1; i < voci; ++i) {
        const bool ultima = i + 1 == voci;
        elenco += voce(ultima ? QStringLiteral("Workbook") : QStringLiteral("S%1").arg(i), 2,
                       ultima ? 0xFFFFFFFF : quint32(i + 1), 0xFFFFFFFF, ultima ? quint32(dati) : 0xFFFFFFFE,
                       ultima ? quint32(libro.size()) : 0);
    }
    elenco.append(QByteArray(settoriDirectory * 512 - elenco.size(), '\0'));
    QByteArray testa = QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(16, '\0') + u16(0x3E) +
                       u16(3) + u16(0xFFFE) + u16(9) + u16(6) + QByteArray(10, '\0') + u32(quint32(settoriTabella)) +
                       u32(quint32(directory)) + u32(0) + u32(4096) + u32(0xFFFFFFFE) + u32(0) + u32(0xFFFFFFFE) +
                       u32(0);
    for (int i = 0; i < 109; ++i)
        testa += u32(i < settoriTabella ? quint32(i) : 0xFFFFFFFF);
    return testa + tabella + elenco + libro;
}

QString rifiuto(const QByteArray& file)
{
    try {
        parseSpreadsheet(file, QStringLiteral("prova.xls"));
    } catch (const sz::Error& e) {
        return e.message();
    }
    return QStringLiteral("(letto)");
}

} // namespace

class TestXls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { gsf_init(); }
    void sharedStringsOverContinueRecords();
    void biff5TextsInTheirCodePage();
    void numbersFormatsAndFormulaResults();
    void formulasWithoutResults();
    void sheetFoundWhereTheWorkbookLies();
    void damagedAndForeignFiles();
    void hostileStreamsCostNeitherMemoryNorTime();
    void defaultPasswordReadUserPasswordRefused();
    void defaultPasswordOfLaterExcels();
};

// Strings split where the records end: the characters go on in the next record after an
// option byte of their own (here switching from 8 to 16 bits), rich text runs and the
// phonetic block go on without one, a string's header may end one record and its
// characters start the next.
void TestXls::sharedStringsOverContinueRecords()
{
    QByteArray sst = u32(7) + u32(6) + testo8("Numero") + u16(10) + '\0' + "Socie";
    QByteArray c1 = "\x01" + utf16(QStringLiteral("tà €x")) + u16(3) + '\x08' + u16(2) + "Ros" + QByteArray("\x00\x00\x01", 3);
    QByteArray c2 = QByteArray("\x00\x04\x00\x02\x00", 5) + u16(4) + '\x04' + u32(6) + "Nota" + "FONETI" + u16(3) + '\x01';
    QByteArray c3 = QByteArray("\x00", 1) + "abc" + testo8("Ultima");
    Libro l;
    l.globali = record(0x00FC, sst) + record(0x003C, c1) + record(0x003C, c2) + record(0x003C, c3) +
                record(0x00FF, u16(8) + QByteArray(8, '\0'));
    QByteArray celle;
    for (quint16 i = 0; i < 6; ++i)
        celle += record(0x00FD, cella(0, i) + u32(i));
    celle += record(0x00FD, cella(1, 0) + u32(6)); // past the last string
    l.fogli = {{0, celle}};
    const Foglio f = parseSpreadsheet(xls(l), QStringLiteral("sst.xls"));
    QCOMPARE(f.righe, (Rows{{"Numero", "Società €x", "Ros", "Nota", "abc", "Ultima"}, {"", "", "", "", "", ""}}));
    QCOMPARE(f.illeggibili, (QList<QPair<int, int>>{{1, 0}}));
    QVERIFY2(f.avviso.startsWith(QStringLiteral("1 cella non può essere letta (colonna A)")), qPrintable(f.avviso));

    // A string whose characters outrun every record: damage, not a shorter string.
    l.globali = record(0x00FC, u32(1) + u32(1) + u16(200) + '\0' + "abc");
    const QString m = rifiuto(xls(l));
    QVERIFY2(m.contains(QLatin1String("\"prova.xls\"")) && m.contains(QLatin1String("record del foglio non validi")),
             qPrintable(m));
}

// Excel 5/95: texts are bytes in the workbook's code page, a formula's text may go on in a
// CONTINUE record with no option byte, number formats are 8-bit counted.
void TestXls::biff5TextsInTheirCodePage()
{
    Libro l;
    l.biff8 = false;
    const QByteArray xf = u16(0) + u16(164) + QByteArray(12, '\0');
    l.globali = record(0x0042, u16(1252)) + record(0x041E, u16(164) + '\x05' + "00000") + record(0x00E0, u16(0) + u16(0) + QByteArray(12, '\0')) +
                record(0x00E0, xf);
    l.fogli = {{0, record(0x0204, cella(0, 0) + u16(9) + "Societ\xE0 \x80") +
                       record(0x0203, cella(0, 1, 1) + f64(184)) + formula(0, 2, speciale(0)) +
                       record(0x0207, u16(9) + "Caff\xE8 ") + record(0x003C, "\x80 1")}};
    Foglio f = parseSpreadsheet(xls(l), QStringLiteral("biff5.xls"));
    QCOMPARE(f.righe, (Rows{{QStringLiteral("Società €"), "00184", QStringLiteral("Caffè € 1")}}));
    QVERIFY(f.avviso.isEmpty());

    // Central European: the same bytes are other letters.
    l.globali = record(0x0042, u16(1250));
    l.fogli = {{0, record(0x0204, cella(0, 0) + u16(4) + "\xA3\xF3" "d\x9F")}};
    QCOMPARE(parseSpreadsheet(xls(l), QStringLiteral("cp1250.xls")).righe, (Rows{{QStringLiteral("Łódź")}}));

    // Windows code pages that share a number with an IBM one: Thai, Chinese.
    l.globali = record(0x0042, u16(874));
    l.fogli = {{0, record(0x0204, cella(0, 0) + u16(3) + "\x80 \xE0")}};
    QCOMPARE(parseSpreadsheet(xls(l), QStringLiteral("cp874.xls")).righe, (Rows{{QStringLiteral("€ เ")}}));
    l.globali = record(0x0042, u16(936));
    l.fogli = {{0, record(0x0204, cella(0, 0) + u16(4) + "\xD6\xD0\xCE\xC4")}};
    QCOMPARE(parseSpreadsheet(xls(l), QStringLiteral("cp936.xls")).righe, (Rows{{QStringLiteral("中文")}}));

    // Marked UTF-16, as some writers do: plain ASCII in 8 bits, the rest in 16.
    l.globali = record(0x0042, u16(1200));
    l.fogli = {{0, record(0x0204, cella(0, 0) + u16(2) + "NO") +
                       record(0x0204, cella(0, 1) + u16(8) + utf16(QStringLiteral("Però")))}};
    QCOMPARE(parseSpreadsheet(xls(l), QStringLiteral("utf16.xls")).righe, (Rows{{"NO", QStringLiteral("Però")}}));
}

// Packed numbers (integers, hundredths, the top of a double), one record for many cells,
// dates and zero-padded codes by the cell's style, both date systems; formulas by the
// result stored with them.
void TestXls::numbersFormatsAndFormulaResults()
{
    const auto stile = [](quint16 formato) { return record(0x00E0, u16(0) + u16(formato) + QByteArray(16, '\0')); };
    Libro l;
    l.globali = record(0x041E, u16(164) + testo8("00000")) + record(0x041E, u16(165) + testo8("dd/mm/yyyy hh:mm")) +
                stile(0) + stile(14) + stile(164) + stile(165);
    const quint32 settanta = 7 << 2 | 2, centesimi = quint32(-3) << 2 | 3, doppio = 0x40934A00;
    QByteArray celle = record(0x027E, cella(0, 0) + u32(settanta)) + record(0x027E, cella(0, 1) + u32(centesimi)) +
                       record(0x027E, cella(0, 2) + u32(doppio)) +
                       record(0x027E, cella(0, 3) + u32(quint32(123450) << 2 | 3));
    celle += record(0x00BD, u16(1) + u16(0) + u16(1) + u32(41334u << 2 | 2) + u16(2) + u32(184u << 2 | 2) + u16(0) +
                                u32(0x3FE00000) + u16(2));
    celle += record(0x0203, cella(2, 0, 3) + f64(41334.4375)) + record(0x0205, cella(2, 1) + QByteArray("\x01\x00", 2)) +
             record(0x0205, cella(2, 2) + "\x07\x01");
    celle += formula(3, 0, f64(2469)) + formula(3, 1, speciale(1, 1)) + formula(3, 2, speciale(0)) +
             record(0x04BC, QByteArray(10, '\0')) + record(0x0207, u16(7) + '\0' + "Soci") +
             record(0x003C, "\x01" + utf16(QStringLiteral("età"))) + formula(3, 3, speciale(2, 0x2A)) +
             formula(3, 4, speciale(3)) + formula(3, 5, f64(0), 0x0003) + formula(3, 6, f64(0)) +
             formula(3, 7, speciale(0)) + formula(3, 8, f64(41334), 0, 1);
    l.fogli = {{0, celle}};
    const Foglio f = parseSpreadsheet(xls(l), QStringLiteral("numeri.xls"));
    QCOMPARE(f.righe, (Rows{{"7", "-0,03", "1234,5", "1234,5", "", "", "", "", ""},
                            {"01/03/2013", "00184", "0,5", "", "", "", "", "", ""},
                            {"01/03/2013 10:30:00", "VERO", "", "", "", "", "", "", ""},
                            {"2469", "VERO", QStringLiteral("Società"), "", "", "", "0", "", "01/03/2013"}}));
    // An error value, a result of 0 its writer asked to compute on opening, a text that
    // never came: named. The empty text is empty: the other formulas carry results.
    QCOMPARE(f.illeggibili, (QList<QPair<int, int>>{{2, 2}, {3, 3}, {3, 5}, {3, 7}}));
    QVERIFY2(f.avviso.startsWith(QStringLiteral("4 celle non possono essere lette (colonne C, D, F, H)")) &&
                 f.avviso.contains(QLatin1String("correggere le celle con un errore")),
             qPrintable(f.avviso));

    // The 1904 system: serial 0 is its first day.
    l.globali += record(0x0022, u16(1));
    l.fogli = {{0, record(0x0203, cella(0, 0, 1) + f64(0)) + record(0x0203, cella(0, 1, 1) + f64(39872))}};
    QCOMPARE(parseSpreadsheet(xls(l), QStringLiteral("1904.xls")).righe, (Rows{{"01/01/1904", "01/03/2013"}}));
}

// A writer that stores no result with any formula (only the empty-text marker) computed
// none: every formula is named, never read as empty.
void TestXls::formulasWithoutResults()
{
    Libro l;
    l.fogli = {{0, record(0x0204, cella(0, 0) + testo8("Totale")) + formula(1, 0, speciale(3)) +
                       formula(2, 0, speciale(0)) + record(0x0207, testo8(""))}};
    const Foglio f = parseSpreadsheet(xls(l), QStringLiteral("senza.xls"));
    QCOMPARE(f.righe, (Rows{{"Totale"}, {""}, {""}}));
    QCOMPARE(f.illeggibili, (QList<QPair<int, int>>{{1, 0}, {2, 0}}));
    QVERIFY2(f.avviso.startsWith(QStringLiteral("2 celle con formule senza risultato salvato non possono essere lette "
                                                "(colonna A)")),
             qPrintable(f.avviso));
}

// The sheet entries may point wrong: the first worksheet is still the one read, charts
// before it and charts embedded in it are passed over.
void TestXls::sheetFoundWhereTheWorkbookLies()
{
    Libro l;
    const QByteArray grafico = record(0x0204, cella(0, 0) + testo8("GRAFICO"));
    const QByteArray foglio = record(0x0204, cella(0, 0) + testo8("Numero")) + l.bof(0x0020) + grafico +
                              record(0x000A, {}) + record(0x0204, cella(1, 0) + testo8("7"));
    l.fogli = {{2, grafico}, {0, foglio, 3}, {0, record(0x0204, cella(0, 0) + testo8("NON QUESTO"))}};
    QCOMPARE(parseSpreadsheet(xls(l), QStringLiteral("offset.xls")).righe, (Rows{{"Numero"}, {"7"}}));

    // No worksheet at all.
    l.fogli = {{2, grafico}};
    QVERIFY2(rifiuto(xls(l)).contains(QLatin1String("nessun foglio")), qPrintable(rifiuto(xls(l))));
}

void TestXls::damagedAndForeignFiles()
{
    Libro l;
    l.fogli = {{0, record(0x0204, cella(0, 0) + testo8("Numero"))}};
    QCOMPARE(parseSpreadsheet(xls(l), QStringLiteral("buono.xls")).righe, (Rows{{"Numero"}}));

    const auto contiene = [](const QString& messaggio, const char* testo) {
        return messaggio.contains(QLatin1String("\"prova.xls\"")) && messaggio.contains(QString::fromUtf8(testo));
    };
    // A record that runs past the end of the stream; a text longer than its record; a
    // number record too short for its number.
    Libro corto = l;
    corto.fogli = {{0, record(0x0204, cella(0, 0) + testo8("Numero")) + u16(0x0203) + u16(400) + "abc"}};
    QString m = rifiuto(xls(corto));
    QVERIFY2(contiene(m, "record del foglio non validi"), qPrintable(m));
    corto.fogli = {{0, record(0x0204, cella(0, 0) + u16(200) + '\0' + "abc")}};
    m = rifiuto(xls(corto));
    QVERIFY2(contiene(m, "record del foglio non validi"), qPrintable(m));
    corto.fogli = {{0, record(0x0203, cella(0, 0) + "\x01\x02")}};
    m = rifiuto(xls(corto));
    QVERIFY2(contiene(m, "record del foglio non validi"), qPrintable(m));
    // A cell past the columns any grid here has.
    corto.fogli = {{0, record(0x0204, cella(0, 5000) + testo8("x"))}};
    m = rifiuto(xls(corto));
    QVERIFY2(contiene(m, "troppo grande"), qPrintable(m));

    // Encrypted: the Excel 97 way (a FILEPASS record) and the Office 2007 way (a package).
    Libro cifrato = l;
    cifrato.globali = record(0x002F, u16(1) + u16(1) + u16(1) + QByteArray(48, 'x'));
    QVERIFY2(contiene(rifiuto(xls(cifrato)), "protetto da password"), qPrintable(rifiuto(xls(cifrato))));
    m = rifiuto(composto({{"EncryptionInfo", QByteArray(200, 'i')}, {"EncryptedPackage", QByteArray(5000, 'p')}}));
    QVERIFY2(contiene(m, "protetto da password"), qPrintable(m));

    // A compound file that is no workbook; one older than Excel 5; one that is not a
    // compound file past its signature.
    m = rifiuto(composto({{"WordDocument", QByteArray(5000, 'w')}}));
    QVERIFY2(contiene(m, "non è un foglio di calcolo"), qPrintable(m));
    m = rifiuto(composto({{"Workbook", record(0x0409, u16(0) + u16(0x10) + u16(0))}}));
    QVERIFY2(contiene(m, "anteriore a Excel 5"), qPrintable(m));
    m = rifiuto(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(3000, '\xFF'));
    QVERIFY2(contiene(m, "danneggiato"), qPrintable(m));

    // A directory of 40,000 entries chained as siblings, which the compound-file library
    // would follow one call deeper each until the stack ran out; a few are read.
    QCOMPARE(parseSpreadsheet(catenaDiVoci(20, l.stream()), QStringLiteral("catena.xls")).righe, (Rows{{"Numero"}}));
    m = rifiuto(catenaDiVoci(40000, l.stream()));
    QVERIFY2(contiene(m, "danneggiato"), qPrintable(m));
    // A root entry that claims a sibling: the sibling is passed over, the workbook read.
    QByteArray radice = xls(l);
    const qint64 directory = (qint64(quint8(radice[0x30]) | quint8(radice[0x31]) << 8) + 1) * 512;
    radice.replace(directory + 0x44, 4, u32(1));
    QCOMPARE(parseSpreadsheet(radice, QStringLiteral("radice.xls")).righe, (Rows{{"Numero"}}));

    // Cut short at every 64 bytes: refused, or (when only what nothing reads was cut)
    // the same sheet; never another one.
    Libro grande = l;
    QByteArray celle;
    for (quint16 r = 0; r < 600; ++r)
        celle += record(0x0203, cella(r, 0) + f64(r + 0.5));
    grande.fogli = {{0, celle}};
    const QByteArray intero = xls(grande);
    const Foglio atteso = parseSpreadsheet(intero, QStringLiteral("intero.xls"));
    QCOMPARE(atteso.righe.size(), 600);
    for (qsizetype n = 0; n < intero.size(); n += 64) {
        try {
            QCOMPARE(parseSpreadsheet(intero.left(n), QStringLiteral("prova.xls")).righe, atteso.righe);
        } catch (const sz::Error& e) {
            QVERIFY2(e.message().contains(QLatin1String("\"prova.xls\"")), qPrintable(e.message()));
        }
    }
}


namespace {

qint64 piccoMemoriaMb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

} // namespace

// Streams no writer makes but anyone can: a shared string whose phonetic block goes on
// over eight million one-byte CONTINUE records (a 40 MB workbook), millions of code-page records changing
// back and forth. Each is read in a moment and in the memory of the file itself.
void TestXls::hostileStreamsCostNeitherMemoryNorTime()
{
    Libro l;
    // The phonetic block of the one string runs on over every record.
    l.globali = record(0x00FC, u32(1) + u32(1) + u16(3) + '\x04' + u32(8'000'000) + "aaa") +
                record(0x003C, "a").repeated(8'000'000);
    l.fogli = {{0, record(0x00FD, cella(0, 0) + u32(0))}};
    QByteArray file = xls(l);
    l.globali.clear();
    const qint64 prima = piccoMemoriaMb();
    QCOMPARE(parseSpreadsheet(file, QStringLiteral("continue.xls")).righe, (Rows{{"aaa"}}));
    // The file and its workbook stream are already held twice over before the read.
    QVERIFY2(piccoMemoriaMb() - prima < 64, qPrintable(QStringLiteral("%1 MB -> %2 MB").arg(prima).arg(piccoMemoriaMb())));

    l.biff8 = false;
    l.globali = (record(0x0042, u16(1250)) + record(0x0042, u16(1251))).repeated(2'000'000);
    l.fogli = {{0, record(0x0204, cella(0, 0) + u16(4) + "\xA3\xF3" "d\x9F")}};
    file = xls(l);
    l.globali.clear();
    QElapsedTimer tempo;
    tempo.start();
    QCOMPARE(parseSpreadsheet(file, QStringLiteral("codepage.xls")).righe, (Rows{{QStringLiteral("Łódź")}}));
    QVERIFY2(tempo.elapsed() < 1000, qPrintable(QString::number(tempo.elapsed())));
}

// Saves the workbook twice through LibreOffice's own interface, encrypted with each
// password (the command line cannot give one).
static const char salvaCifrato[] = R"(
import subprocess, sys, time, uno
from com.sun.star.beans import PropertyValue
def pv(n, v):
    p = PropertyValue(); p.Name = n; p.Value = v; return p
cartella, tubo = sys.argv[1], sys.argv[2]
lo = subprocess.Popen(['soffice', '-env:UserInstallation=file://' + cartella + '/profilo', '--headless',
    '--invisible', '--norestore', '--accept=pipe,name=' + tubo + ';urp;'],
    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
locale = uno.getComponentContext()
risolutore = locale.ServiceManager.createInstanceWithContext('com.sun.star.bridge.UnoUrlResolver', locale)
for i in range(240):
    try:
        ctx = risolutore.resolve('uno:pipe,name=' + tubo + ';urp;StarOffice.ComponentContext')
        break
    except Exception:
        time.sleep(0.25)
desk = ctx.ServiceManager.createInstanceWithContext('com.sun.star.frame.Desktop', ctx)
doc = desk.loadComponentFromURL('file://' + cartella + '/libro.fods', '_blank', 0, (pv('Hidden', True),))
for nome, password in (('predefinita', 'VelvetSweatshop'), ('utente', 'segreto')):
    doc.storeToURL('file://' + cartella + '/' + nome + '.xls', (pv('FilterName', 'MS Excel 97'), pv('Password', password)))
doc.close(True)
try:
    desk.terminate()
except Exception:
    pass
lo.wait(timeout=60)
)";

// Excel encrypts a workbook it protects without asking for a password under one every
// copy of it knows: such a file opens without questions, and is read here too, over
// many blocks of its key. A password of the user's is still refused.
void TestXls::defaultPasswordReadUserPasswordRefused()
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty() ||
        QProcess::execute(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0)
        QSKIP("LibreOffice with its Python interface is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Rows attese{{"Numero", "Data", "Cliente"}};
    QString righe;
    for (int i = 1; i <= 300; ++i) {
        attese.append({QString::number(i), QStringLiteral("%1/03/2013").arg(i % 28 + 1, 2, 10, QLatin1Char('0')),
                       QStringLiteral("Società %1 €").arg(i)});
        righe += QStringLiteral("<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"%1\"/>"
                                "<table:table-cell table:style-name=\"d\" office:value-type=\"date\" "
                                "office:date-value=\"2013-03-%2\"/><table:table-cell office:value-type=\"string\">"
                                "<text:p>Società %1 €</text:p></table:table-cell></table:table-row>")
                     .arg(i)
                     .arg(i % 28 + 1, 2, 10, QLatin1Char('0'));
    }
    QFile fods(dir.filePath(QStringLiteral("libro.fods")));
    QVERIFY(fods.open(QIODevice::WriteOnly));
    fods.write(QStringLiteral(
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document "
                   "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                   "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
                   "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
                   "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
                   "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" office:version=\"1.2\" "
                   "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:automatic-styles>"
                   "<number:date-style style:name=\"N1\"><number:day number:style=\"long\"/><number:text>/</number:text>"
                   "<number:month number:style=\"long\"/><number:text>/</number:text><number:year number:style=\"long\"/>"
                   "</number:date-style><style:style style:name=\"d\" style:family=\"table-cell\" "
                   "style:data-style-name=\"N1\"/></office:automatic-styles><office:body><office:spreadsheet>"
                   "<table:table table:name=\"Primo\"><table:table-row><table:table-cell office:value-type=\"string\">"
                   "<text:p>Numero</text:p></table:table-cell><table:table-cell office:value-type=\"string\">"
                   "<text:p>Data</text:p></table:table-cell><table:table-cell office:value-type=\"string\">"
                   "<text:p>Cliente</text:p></table:table-cell></table:table-row>%1</table:table></office:spreadsheet>"
                   "</office:body></office:document>")
                   .arg(righe)
                   .toUtf8());
    fods.close();
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"), QString::fromUtf8(salvaCifrato), dir.path(),
              QStringLiteral("tst_xls_%1").arg(QCoreApplication::applicationPid())});
    QVERIFY(py.waitForFinished(180000));
    QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
    const auto leggi = [&](const char* nome) {
        QFile f(dir.filePath(QString::fromLatin1(nome)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray predefinita = leggi("predefinita.xls"), utente = leggi("utente.xls");
    QVERIFY(!predefinita.isEmpty() && !utente.isEmpty());
    // Both really are encrypted: the text is nowhere in the files as written.
    QVERIFY(!predefinita.contains("Numero") && !utente.contains("Numero"));
    const Foglio f = parseSpreadsheet(predefinita, QStringLiteral("protetto.xls"));
    QCOMPARE(f.righe, attese);
    QVERIFY(f.avviso.isEmpty());
    const QString m = rifiuto(utente);
    QVERIFY2(m.contains(QStringLiteral("\"prova.xls\" è protetto da password")), qPrintable(m));
}

namespace {

// RC4 as the encrypting program applies it.
class Rc4
{
public:
    explicit Rc4(const QByteArray& chiave)
    {
        for (int k = 0; k < 256; ++k)
            s[k] = quint8(k);
        for (int k = 0, j = 0; k < 256; ++k) {
            j = (j + s[k] + quint8(chiave[k % chiave.size()])) & 0xFF;
            std::swap(s[k], s[j]);
        }
    }
    quint8 operator()()
    {
        i = quint8(i + 1);
        j = quint8(j + s[i]);
        std::swap(s[i], s[j]);
        return s[quint8(s[i] + s[j])];
    }

private:
    quint8 s[256];
    quint8 i = 0, j = 0;
};

// A workbook stream encrypted as Excel 2002 and later do (RC4 through the Windows crypto
// interface, SHA-1), under the given password and key length.
QByteArray cifraCryptoApi(const QByteArray& flusso, const QString& password, int bit)
{
    QByteArray pw;
    for (const QChar c : password)
        pw += u16(c.unicode());
    const QByteArray sale = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10");
    const QByteArray h0 = QCryptographicHash::hash(sale + pw, QCryptographicHash::Sha1);
    const auto chiave = [&](quint32 blocco) {
        QByteArray k = QCryptographicHash::hash(h0 + u32(blocco), QCryptographicHash::Sha1).left(bit / 8);
        if (bit == 40) k += QByteArray(11, '\0');
        return k;
    };
    const QByteArray verificatore = "sedici byte casu";
    QByteArray cifrato = verificatore + QCryptographicHash::hash(verificatore, QCryptographicHash::Sha1);
    Rc4 v(chiave(0));
    for (auto& c : cifrato)
        c = char(c ^ v());
    const QByteArray testa = u32(0) + u32(0) + u32(0x6801) + u32(0x8004) + u32(quint32(bit)) + u32(1) + u32(0) +
                             u32(0) + utf16(QStringLiteral("Microsoft Enhanced Cryptographic Provider v1.0")) + u16(0);
    const QByteArray filepass = record(0x002F, u16(1) + u16(4) + u16(2) + u32(4) + u32(quint32(testa.size())) + testa +
                                                   u32(16) + sale + cifrato.left(16) + u32(20) + cifrato.mid(16));
    // After the first BOF; every record's data but the BOF's, the FILEPASS's and the
    // sheet entries' offsets, each byte with the key stream at its offset in the stream.
    const qint64 primo = 4 + (quint8(flusso[2]) | quint8(flusso[3]) << 8);
    QByteArray b = flusso.left(primo) + filepass + flusso.mid(primo);
    // The sheet entries count from the start of the stream: they move with the FILEPASS.
    for (qint64 o = 0; o + 4 <= b.size();) {
        const quint16 tipo = quint16(quint8(b[o]) | quint8(b[o + 1]) << 8);
        const qint64 n = quint8(b[o + 2]) | quint8(b[o + 3]) << 8;
        if (tipo == 0x0085) {
            const quint32 v0 = quint32(quint8(b[o + 4]) | quint8(b[o + 5]) << 8 | quint8(b[o + 6]) << 16);
            b.replace(o + 4, 4, u32(v0 + quint32(filepass.size())));
        }
        if (tipo != 0x0809 && tipo != 0x002F) {
            for (qint64 p = o + 4 + (tipo == 0x0085 ? 4 : 0); p < o + 4 + n; ++p) {
                Rc4 k(chiave(quint32(p / 1024)));
                for (qint64 salto = 0; salto < p % 1024; ++salto)
                    k();
                b[p] = char(b[p] ^ k());
            }
        }
        o += 4 + n;
    }
    return b;
}

} // namespace

// Excel 2002 and later encrypt with SHA-1 and a key of 40 or 128 bits: under the default
// password the workbook is read, under another refused.
void TestXls::defaultPasswordOfLaterExcels()
{
    Libro l;
    l.globali = record(0x00FC, u32(2) + u32(2) + testo8("Numero") + testo8(QByteArray(1500, 'x')));
    QByteArray celle = record(0x00FD, cella(0, 0) + u32(0)) + record(0x00FD, cella(0, 1) + u32(1));
    Rows attese{{"Numero", QString(1500, QLatin1Char('x'))}};
    for (quint16 r = 1; r < 150; ++r) {
        celle += record(0x0203, cella(r, 0, 0) + f64(41334 + r));
        attese.append({QString::number(41334 + r), ""});
    }
    l.fogli = {{0, celle}};
    for (const int bit : {40, 128}) {
        const QByteArray flusso = cifraCryptoApi(l.stream(), QStringLiteral("VelvetSweatshop"), bit);
        QVERIFY(!flusso.contains("Numero"));
        QCOMPARE(parseSpreadsheet(composto({{"Workbook", flusso}}), QStringLiteral("protetto.xls")).righe, attese);
        const QString m = rifiuto(composto({{"Workbook", cifraCryptoApi(l.stream(), QStringLiteral("altra"), bit)}}));
        QVERIFY2(m.contains(QStringLiteral("è protetto da password")), qPrintable(m));
    }
}

QTEST_GUILESS_MAIN(TestXls)
#include "tst_xls.moc"
