// Excel 97-2003 workbooks through freexl. freexl does not read formula cells: it returns
// them empty. To say so instead of importing silent blanks, the first sheet's records are
// scanned here for formulas (a compound file holding a BIFF stream).
#include "Internal.h"

#include <QFile>

#include <freexl.h>

#include <cstring>

namespace sz::sheets::detail {

namespace {

quint16 u16(const QByteArray& b, qint64 o)
{
    if (o < 0 || o + 2 > b.size()) return 0;
    return quint16(quint8(b[o]) | quint8(b[o + 1]) << 8);
}

quint32 u32(const QByteArray& b, qint64 o)
{
    if (o < 0 || o + 4 > b.size()) return 0xFFFFFFFFu;
    return quint32(u16(b, o)) | quint32(u16(b, o + 2)) << 16;
}

// The bytes of one stream of a compound file, or empty when the file is not one or the
// stream is missing. Every chain is bounded by the file's size, so a looping or broken
// table ends the walk instead of the program.
QByteArray flusso(const QByteArray& f, const QStringList& nomi, bool* sana = nullptr)
{
    if (f.size() < 512 || std::memcmp(f.constData(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0) return {};
    const int spostamento = u16(f, 0x1E);
    const int spostamentoMini = u16(f, 0x20);
    if (spostamento < 7 || spostamento > 16 || spostamentoMini < 1 || spostamentoMini > spostamento)
        return {};
    const qint64 settore = qint64(1) << spostamento;
    const qint64 mini = qint64(1) << spostamentoMini;
    const qint64 limite = f.size() / settore + 2;
    auto posizione = [&](quint32 s) { return (qint64(s) + 1) * settore; };

    // The allocation table, through the header's list of its sectors and any extension.
    QList<quint32> settoriFat;
    for (int i = 0; i < 109; ++i)
        settoriFat << u32(f, 0x4C + i * 4);
    quint32 difat = u32(f, 0x44);
    for (qint64 giri = 0; difat < 0xFFFFFFFAu && giri < limite; ++giri) {
        const qint64 p = posizione(difat);
        for (qint64 i = 0; i + 1 < settore / 4; ++i)
            settoriFat << u32(f, p + i * 4);
        difat = u32(f, p + settore - 4);
    }
    QList<quint32> fat;
    for (const quint32 s : settoriFat) {
        if (s >= 0xFFFFFFFAu) continue;
        if (posizione(s) + settore > f.size()) continue;
        for (qint64 i = 0; i < settore / 4; ++i)
            fat << u32(f, posizione(s) + i * 4);
        if (fat.size() > limite * 2 + settore) break;
    }
    auto catena = [&](quint32 inizio, qint64 dimensione) {
        QByteArray out;
        for (qint64 giri = 0; inizio < 0xFFFFFFFAu && giri < limite && out.size() < dimensione; ++giri) {
            const qint64 p = posizione(inizio);
            if (p + settore > f.size()) break;
            out.append(f.constData() + p, settore);
            inizio = inizio < quint32(fat.size()) ? fat[inizio] : 0xFFFFFFFEu;
        }
        out.truncate(dimensione);
        return out;
    };

    const QByteArray directory = catena(u32(f, 0x30), f.size());
    if (sana) {
        // Every directory entry as the format allows it: a name of at most 32 UTF-16 units
        // ending in a NUL, a known type and colour, siblings and child within the directory.
        const qint64 voci = directory.size() / 128;
        *sana = voci > 0 && quint8(directory[0x42]) == 5;
        for (qint64 v = 0; *sana && v < voci; ++v) {
            const qint64 o = v * 128;
            const int lunghezza = u16(directory, o + 0x40);
            const int tipo = quint8(directory[o + 0x42]), colore = quint8(directory[o + 0x43]);
            if (lunghezza > 64 || lunghezza % 2 != 0 || (tipo != 0 && tipo != 1 && tipo != 2 && tipo != 5) ||
                colore > 1)
                *sana = false;
            else if (tipo != 0 && (lunghezza < 2 || u16(directory, o + lunghezza - 2) != 0))
                *sana = false;
            for (const int campo : {0x44, 0x48, 0x4C}) {
                const quint32 id = u32(directory, o + campo);
                if (tipo != 0 && id != 0xFFFFFFFFu && qint64(id) >= voci) *sana = false;
            }
        }
        return {};
    }
    const quint32 cutoff = u32(f, 0x38);
    QByteArray streamMini;
    for (qint64 o = 0; o + 128 <= directory.size(); o += 128) {
        const int lunghezza = std::min<int>(u16(directory, o + 0x40), 64);
        const QString nome =
            lunghezza >= 2 ? QString::fromUtf16(reinterpret_cast<const char16_t*>(directory.constData() + o),
                                                lunghezza / 2 - 1)
                           : QString();
        const int tipo = quint8(directory[o + 0x42]);
        const quint32 inizio = u32(directory, o + 0x74);
        const qint64 dimensione = std::min<qint64>(u32(directory, o + 0x78), f.size() * 64);
        if (tipo == 5) streamMini = catena(inizio, dimensione);
        if (tipo != 2 || !nomi.contains(nome, Qt::CaseInsensitive)) continue;
        if (dimensione >= cutoff) return catena(inizio, dimensione);
        // A small stream lives in the mini stream, chained through the mini table.
        const QByteArray miniFat = catena(u32(f, 0x3C), f.size());
        QByteArray out;
        quint32 s = inizio;
        for (qint64 giri = 0; s < 0xFFFFFFFAu && giri < f.size() / mini + 1 && out.size() < dimensione;
             ++giri) {
            if ((qint64(s) + 1) * mini > streamMini.size()) break;
            out.append(streamMini.constData() + qint64(s) * mini, mini);
            s = u32(miniFat, qint64(s) * 4);
        }
        out.truncate(dimensione);
        return out;
    }
    return {};
}

// Positions (row, column) of the formula cells of the first sheet of a BIFF stream.
QList<std::pair<quint32, quint32>> formule(const QByteArray& biff)
{
    QList<std::pair<quint32, quint32>> out;
    // The first sheet's records start where the first sheet entry says (BIFF5 and 8).
    qint64 inizioFoglio = -1;
    for (qint64 o = 0; o + 4 <= biff.size();) {
        const quint16 tipo = u16(biff, o), lunghezza = u16(biff, o + 2);
        if (tipo == 0x0085) {
            inizioFoglio = u32(biff, o + 4);
            break;
        }
        if (tipo == 0x000A && o > 0) break; // end of the workbook globals
        o += 4 + lunghezza;
    }
    if (inizioFoglio < 0) inizioFoglio = 0; // BIFF2-4: one sheet, one stream
    bool bof = false;
    for (qint64 o = inizioFoglio; o + 4 <= biff.size();) {
        const quint16 tipo = u16(biff, o), lunghezza = u16(biff, o + 2);
        if ((tipo & 0xFF) == 0x09 && (tipo >> 8) <= 8) {
            if (bof) break; // an embedded chart or the next sheet
            bof = true;
        } else if (tipo == 0x000A) {
            break;
        } else if (tipo == 0x0006 || tipo == 0x0206 || tipo == 0x0406) {
            out.append({u16(biff, o + 4), u16(biff, o + 6)});
        }
        o += 4 + lunghezza;
    }
    return out;
}

QString testoData(const char* testo, int tipo)
{
    const QString s = QString::fromLatin1(testo);
    if (tipo == FREEXL_CELL_TIME) return s;
    const QDate d = QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime t = tipo == FREEXL_CELL_DATETIME ? QTime::fromString(s.mid(11, 8), QStringLiteral("HH:mm:ss"))
                                                 : QTime(0, 0);
    return d.isValid() ? dateTimeText(QDateTime(d, t.isValid() ? t : QTime(0, 0))) : s;
}

// The header and directory of a compound file hold nothing a reader could be misled by:
// freexl trusts a directory entry's name length and reads past its own buffers when the
// length lies, so a file that fails here never reaches it.
bool compostoSano(const QByteArray& f)
{
    if (f.size() < 512 || std::memcmp(f.constData(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0) return false;
    const int versione = u16(f, 0x1A), ordine = u16(f, 0x1C), spostamento = u16(f, 0x1E),
              spostamentoMini = u16(f, 0x20);
    if (ordine != 0xFFFE || spostamentoMini != 6) return false;
    if (!((versione == 3 && spostamento == 9) || (versione == 4 && spostamento == 12))) return false;
    bool sana = false;
    flusso(f, {}, &sana);
    return sana;
}

// The records of a BIFF stream each lie within the stream and within the size the format
// allows, the strings of the records freexl copies by their own count (sheet names,
// labels, number formats, shared strings) fit their data, and each sheet's used range is one the format
// can hold. freexl trusts all three: it reads past its buffer, or allocates and loses the
// range, when they lie.
// The shared strings (SST and the CONTINUE records after it) hold as many strings as they
// say, each within the data there is: freexl copies each string by its own count.
bool sstSano(const QByteArray& b, qint64 o)
{
    QList<QByteArrayView> parti;
    parti << QByteArrayView(b).sliced(o + 4 + 8, u16(b, o + 2) - 8);
    for (qint64 c = o + 4 + u16(b, o + 2); c + 4 <= b.size() && u16(b, c) == 0x003C; c += 4 + u16(b, c + 2))
        parti << QByteArrayView(b).sliced(c + 4, u16(b, c + 2));
    qsizetype parte = 0, pos = 0;
    const auto avanti = [&]() {
        while (parte < parti.size() && pos >= parti[parte].size()) {
            ++parte;
            pos = 0;
        }
        return parte < parti.size();
    };
    const auto byte = [&](qsizetype i) { return quint8(parti[parte][pos + i]); };
    // Bytes that may run on into the next records without a flags byte of their own.
    const auto salta = [&](qint64 n) {
        while (n > 0) {
            if (!avanti()) return false;
            const qint64 qui = std::min<qint64>(n, parti[parte].size() - pos);
            pos += qui;
            n -= qui;
        }
        return true;
    };
    const quint32 stringhe = u32(b, o + 8);
    for (quint32 n = 0; n < stringhe; ++n) {
        if (!avanti() || pos + 3 > parti[parte].size()) return false;
        qint64 caratteri = byte(0) | byte(1) << 8;
        int opzioni = byte(2);
        pos += 3;
        qint64 extra = 0;
        if (opzioni & 0x08) {
            if (pos + 2 > parti[parte].size()) return false;
            extra += 4 * qint64(byte(0) | byte(1) << 8);
            pos += 2;
        }
        if (opzioni & 0x04) {
            if (pos + 4 > parti[parte].size()) return false;
            extra += qint64(byte(0) | byte(1) << 8 | byte(2) << 16) | qint64(byte(3)) << 24;
            pos += 4;
        }
        // The characters; where they run on into the next record, that record starts
        // with a flags byte of its own saying their width there.
        while (caratteri > 0) {
            const int larghezza = (opzioni & 1) ? 2 : 1;
            const qint64 qui = std::min<qint64>(caratteri, (parti[parte].size() - pos) / larghezza);
            pos += qui * larghezza;
            caratteri -= qui;
            if (caratteri == 0) break;
            if (++parte >= parti.size()) return false;
            pos = 0;
            if (parti[parte].isEmpty()) return false;
            opzioni = byte(0);
            pos = 1;
        }
        if (!salta(extra)) return false;
    }
    return true;
}

bool biffSano(const QByteArray& b, qint64& righe, qint64& colonne)
{
    const bool biff8 = u16(b, 0) == 0x0809 && u16(b, 4) == 0x0600;
    const bool biff5 = u16(b, 0) == 0x0809 && u16(b, 4) == 0x0500;
    for (qint64 o = 0; o + 4 <= b.size();) {
        const quint16 tipo = u16(b, o), lunghezza = u16(b, o + 2);
        if (lunghezza > 8224 || o + 4 + lunghezza > b.size()) return false;
        const qint64 d = o + 4;
        const auto byte = [&](qint64 i) { return quint8(b[d + i]); };
        const auto larghezza = [&](qint64 i) { return (byte(i) & 1) ? 2 : 1; };
        if (biff8) {
            if (tipo == 0x0085 && (lunghezza < 8 || 8 + byte(6) * larghezza(7) > lunghezza)) return false;
            if (tipo == 0x0204 && (lunghezza < 9 || 9 + u16(b, d + 6) * larghezza(8) > lunghezza)) return false;
            if (tipo == 0x041E && (lunghezza < 5 || 5 + u16(b, d + 2) * larghezza(4) > lunghezza)) return false;
            if (tipo == 0x00FC && (lunghezza < 8 || !sstSano(b, o))) return false;
            // The used range, which freexl allocates as rows times columns and loses when
            // it finds it wrong: at most 65,536 rows and 256 columns.
            if (tipo == 0x0200 && (lunghezza != 14 || u32(b, d) > u32(b, d + 4) || u32(b, d + 4) > 65536 ||
                                   u16(b, d + 8) > u16(b, d + 10) || u16(b, d + 10) > 256))
                return false;
            if (tipo == 0x0200 && qint64(u32(b, d + 4)) * u16(b, d + 10) > righe * colonne) {
                righe = u32(b, d + 4);
                colonne = u16(b, d + 10);
            }
        } else if (biff5) {
            if (tipo == 0x0085 && (lunghezza < 7 || 7 + byte(6) > lunghezza)) return false;
            if (tipo == 0x0204 && (lunghezza < 8 || 8 + u16(b, d + 6) > lunghezza)) return false;
            if (tipo == 0x001E && (lunghezza < 3 || 3 + byte(2) > lunghezza)) return false;
            if (tipo == 0x0200 && (lunghezza != 10 || u16(b, d) > u16(b, d + 2) || u16(b, d + 4) > u16(b, d + 6) ||
                                   u16(b, d + 6) > 256))
                return false;
            if (tipo == 0x0200 && qint64(u16(b, d + 2)) * u16(b, d + 6) > righe * colonne) {
                righe = u16(b, d + 2);
                colonne = u16(b, d + 6);
            }
        }
        o = d + lunghezza;
    }
    return true;
}

} // namespace

Foglio readXls(const QString& path, const QString& nome)
{
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) damaged(nome);
        if (f.size() > maxPartBytes) tooBig(nome, 0, 0);
        const QByteArray tutto = f.readAll();
        if (!compostoSano(tutto)) {
            if (!flusso(tutto, {QStringLiteral("EncryptedPackage")}).isEmpty()) passwordProtected(nome);
            damaged(nome, QStringLiteral("struttura del file non valida"));
        }
        // Without a workbook stream this reader can follow, freexl is not asked to find one.
        const QByteArray biff = flusso(tutto, {QStringLiteral("Workbook"), QStringLiteral("Book")});
        if (biff.isEmpty()) {
            if (!flusso(tutto, {QStringLiteral("EncryptedPackage")}).isEmpty()) passwordProtected(nome);
            damaged(nome, QStringLiteral("nessun foglio"));
        }
        qint64 righe = 0, colonne = 0;
        if (!biffSano(biff, righe, colonne)) damaged(nome, QStringLiteral("record del foglio non validi"));
        // freexl allocates a sheet's whole used range at once (and on some damaged files
        // never frees it): a range past the grid's limit is refused before.
        if (righe * colonne > limits::cells) troppeCelle(nome, righe, colonne);
    }
    const void* h = nullptr;
    const int aperto = freexl_open(path.toLocal8Bit().constData(), &h);
    struct Chiudi
    {
        const void* h;
        ~Chiudi()
        {
            if (h) freexl_close(h);
        }
    } chiudi{h};
    if (aperto != FREEXL_OK) {
        chiudi.h = nullptr;
        QFile f(path);
        QByteArray testa;
        if (f.open(QIODevice::ReadOnly)) testa = f.readAll();
        // An Office file saved with a password is a compound file around an encrypted
        // package, not a workbook.
        if (!flusso(testa, {QStringLiteral("EncryptedPackage")}).isEmpty()) passwordProtected(nome);
        if (!flusso(testa, {QStringLiteral("Workbook"), QStringLiteral("Book")}).isEmpty() ||
            testa.size() >= 512)
            damaged(nome);
        notASpreadsheet(nome);
    }
    unsigned int info = 0;
    if (freexl_get_info(h, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
        passwordProtected(nome);
    unsigned int fogli = 0;
    if (freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &fogli) != FREEXL_OK || fogli == 0)
        damaged(nome, QStringLiteral("nessun foglio"));
    if (freexl_select_active_worksheet(h, 0) != FREEXL_OK) damaged(nome, QStringLiteral("nessun foglio"));
    unsigned int righe = 0;
    unsigned short colonne = 0;
    if (freexl_worksheet_dimensions(h, &righe, &colonne) != FREEXL_OK) damaged(nome);
    if (qint64(righe) > maxRows || qint64(colonne) > maxColumns) tooBig(nome, righe, colonne);

    Blocco blocco(nome);
    for (unsigned int r = 0; r < righe; ++r) {
        for (unsigned short c = 0; c < colonne; ++c) {
            FreeXL_CellValue v;
            if (freexl_get_cell_value(h, r, c, &v) != FREEXL_OK) continue;
            switch (v.type) {
            case FREEXL_CELL_INT:
                blocco.set(r, c, QString::number(v.value.int_value));
                break;
            case FREEXL_CELL_DOUBLE:
                blocco.set(r, c, numberText(v.value.double_value));
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
                blocco.set(r, c, QString::fromUtf8(v.value.text_value));
                break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                blocco.set(r, c, testoData(v.value.text_value, v.type));
                break;
            default:
                break;
            }
        }
    }

    QFile f(path);
    if (f.open(QIODevice::ReadOnly) && f.size() <= maxPartBytes) {
        const QByteArray biff = flusso(f.readAll(), {QStringLiteral("Workbook"), QStringLiteral("Book")});
        for (const auto& [r, c] : formule(biff)) {
            FreeXL_CellValue v;
            if (freexl_get_cell_value(h, r, c, &v) != FREEXL_OK || v.type == FREEXL_CELL_NULL)
                blocco.illeggibile(r, c);
        }
    }
    return blocco.finish();
}

} // namespace sz::sheets::detail
