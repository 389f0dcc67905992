// Excel 97-2003 (BIFF8) and Excel 5/95 (BIFF5) workbooks: libgsf opens the compound file,
// the records of its workbook stream are read here. Only what the first worksheet needs is
// kept: the shared strings, the number formats of the cell styles, the date system and, for
// BIFF5, the code page of its texts. Every length is checked against the record and the
// stream before it is used; nothing is allocated by a count the file gives without a bound.
#include "Internal.h"

#include <QCryptographicHash>
#include <QHash>
#include <QStringDecoder>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

namespace sz::sheets::detail {

namespace {

// Record types.
constexpr quint16 rBof = 0x0809, rEof = 0x000A, rContinue = 0x003C, rFilepass = 0x002F, rCodepage = 0x0042,
                  rDatemode = 0x0022, rFormat = 0x041E, rXf = 0x00E0, rSst = 0x00FC, rBoundsheet = 0x0085,
                  rNumber = 0x0203, rRk = 0x027E, rMulrk = 0x00BD, rLabel = 0x0204, rRstring = 0x00D6,
                  rLabelsst = 0x00FD, rBoolerr = 0x0205, rFormula = 0x0006, rString = 0x0207;
// Substream types of a BOF.
constexpr quint16 bofFoglio = 0x0010, bofGlobali = 0x0005, bofModulo = 0x0006, bofGrafico = 0x0020,
                  bofMacro = 0x0040, bofArea = 0x0100;

[[noreturn]] void recordGuasti(const QString& nome)
{
    damaged(nome, QStringLiteral("record del foglio non validi"));
}

quint16 u16(QByteArrayView b, qint64 o)
{
    return quint16(quint8(b[o]) | quint8(b[o + 1]) << 8);
}

quint32 u32(QByteArrayView b, qint64 o)
{
    return quint32(u16(b, o)) | quint32(u16(b, o + 2)) << 16;
}

double f64(QByteArrayView b, qint64 o)
{
    const quint64 bits = quint64(u32(b, o)) | quint64(u32(b, o + 4)) << 32;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// A number packed in 30 bits: an integer or the top of a double, either one possibly
// a hundredth of what it says.
double rk(quint32 v)
{
    double d;
    if (v & 2) {
        d = double(qint32(v) >> 2);
    } else {
        const quint64 bits = quint64(v & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, sizeof d);
    }
    return (v & 1) ? d / 100 : d;
}

// One record: where its data starts and how long it is.
struct Record
{
    quint16 tipo = 0;
    qint64 dati = 0;
    qint64 lunghezza = 0;
    qint64 fine() const { return dati + lunghezza; }
};

// The records of a stream, in order. A record that claims more than the stream holds is
// damage, not the end.
class Records
{
public:
    Records(const QByteArray& b, const QString& nome) : m_b(b), m_nome(nome) {}

    std::optional<Record> at(qint64 o) const
    {
        if (o < 0 || o + 4 > m_b.size()) return std::nullopt;
        Record r{u16(m_b, o), o + 4, u16(m_b, o + 2)};
        if (r.fine() > m_b.size()) recordGuasti(m_nome);
        return r;
    }

    // Where the record after r and its CONTINUE records starts.
    qint64 dopoSeguito(const Record& r) const
    {
        qint64 dopo = r.fine();
        while (const auto c = at(dopo)) {
            if (c->tipo != rContinue) break;
            dopo = c->fine();
        }
        return dopo;
    }

    QByteArrayView dati(const Record& r) const { return QByteArrayView(m_b).sliced(r.dati, r.lunghezza); }
    qint64 size() const { return m_b.size(); }

private:
    const QByteArray& m_b;
    const QString& m_nome;
};

// The texts of a BIFF5 workbook, 8 bits in its code page.
class CodePage
{
public:
    void imposta(int codice)
    {
        m_codice = codice;
        m_decoder.reset();
        QByteArray nome;
        switch (codice) {
        case 1200:
        case 1252:
        case 0x8001: return; // UTF-16 by guess; cp1252 by the table below
        case 367: nome = "US-ASCII"; break;
        case 10000:
        case 0x8000: nome = "macintosh"; break;
        case 65001: nome = "UTF-8"; break;
        // Windows' own code pages for Asian scripts, which share their numbers with IBM's
        // but not their letters.
        case 874: nome = "windows-874"; break;
        case 932: nome = "windows-31j"; break;
        case 936: nome = "GBK"; break;
        case 949: nome = "windows-949"; break;
        case 950: nome = "Big5"; break;
        default:
            if (codice >= 1250 && codice <= 1258)
                nome = "windows-" + QByteArray::number(codice);
            else if (codice > 0 && codice < 1000)
                nome = "IBM" + QByteArray::number(codice);
        }
        if (nome.isEmpty()) return;
        m_decoder.emplace(nome.constData());
        if (!m_decoder->isValid()) m_decoder.reset();
    }

    QString testo(QByteArrayView b)
    {
        // Some writers mark a BIFF5 workbook UTF-16 and write each text in 16 bits only
        // when it is not plain ASCII: a NUL or a byte past ASCII tells the two apart.
        if (m_codice == 1200 && b.size() % 2 == 0) {
            for (const char c : b)
                if (c == 0 || quint8(c) >= 0x80)
                    return QString::fromUtf16(reinterpret_cast<const char16_t*>(b.data()), b.size() / 2);
        }
        if (m_decoder) {
            m_decoder->resetState();
            return m_decoder->decode(b);
        }
        static constexpr char16_t alti[32] = {
            0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
            0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
        QString s(b.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < b.size(); ++i) {
            const quint8 c = quint8(b[i]);
            s[i] = QChar(c >= 0x80 && c < 0xA0 ? alti[c - 0x80] : char16_t(c));
        }
        return s;
    }

private:
    int m_codice = 1252;
    std::optional<QStringDecoder> m_decoder;
};

// A run of bytes split over a record and its CONTINUE records. Headers and skipped runs
// flow from one part into the next; the characters of a BIFF8 string that run on start
// the next part with a byte of their own saying whether they are 8 or 16 bits wide.
// The parts are walked in the stream as they are reached, never gathered: a chain of
// millions of one-byte CONTINUE records costs no memory.
class Parti
{
public:
    // A record and the CONTINUE records after it, from inizio bytes into the record.
    Parti(const Records& rec, const Record& r, qint64 inizio = 0)
        : m_rec(&rec), m_parte(rec.dati(r)), m_prossimo(r.fine()), m_pos(inizio)
    {
    }
    // Bytes that go on nowhere.
    explicit Parti(QByteArrayView dati, qint64 inizio = 0) : m_parte(dati), m_pos(inizio) {}

    bool byte(quint8& v)
    {
        if (!avanti()) return false;
        v = quint8(m_parte[m_pos++]);
        return true;
    }

    bool u16(quint16& v)
    {
        quint8 a, b;
        if (!byte(a) || !byte(b)) return false;
        v = quint16(a | b << 8);
        return true;
    }

    bool u32(quint32& v)
    {
        quint16 a, b;
        if (!u16(a) || !u16(b)) return false;
        v = quint32(a) | quint32(b) << 16;
        return true;
    }

    bool salta(qint64 n)
    {
        while (n > 0) {
            if (!avanti()) return false;
            const qint64 qui = std::min<qint64>(n, m_parte.size() - m_pos);
            m_pos += qui;
            n -= qui;
        }
        return true;
    }

    // n characters of a BIFF8 string whose option byte said larghi (16 bits).
    bool caratteri(qint64 n, bool larghi, QString& out)
    {
        out.reserve(n);
        for (bool primo = true; n > 0; primo = false) {
            if (!primo || m_pos >= m_parte.size()) {
                // The characters go on in the next part, after an option byte.
                if (!prossima() || m_parte.isEmpty()) return false;
                larghi = quint8(m_parte[0]) & 1;
                m_pos = 1;
            }
            const qint64 qui = std::min<qint64>(n, (m_parte.size() - m_pos) / (larghi ? 2 : 1));
            if (larghi) {
                for (qint64 i = 0; i < qui; ++i)
                    out += QChar(char16_t(::sz::sheets::detail::u16(m_parte, m_pos + 2 * i)));
            } else {
                out += QString::fromLatin1(m_parte.sliced(m_pos, qui));
            }
            m_pos += qui * (larghi ? 2 : 1);
            n -= qui;
        }
        return true;
    }

    // n raw bytes (a BIFF5 text), across parts without option bytes.
    bool byteGrezzi(qint64 n, QByteArray& out)
    {
        while (n > 0) {
            if (!avanti()) return false;
            const qint64 qui = std::min<qint64>(n, m_parte.size() - m_pos);
            out.append(m_parte.sliced(m_pos, qui));
            m_pos += qui;
            n -= qui;
        }
        return true;
    }

    bool resta() { return avanti(); }

private:
    // The next CONTINUE record, when there is one.
    bool prossima()
    {
        if (!m_rec) return false;
        const auto c = m_rec->at(m_prossimo);
        if (!c || c->tipo != rContinue) return false;
        m_parte = m_rec->dati(*c);
        m_prossimo = c->fine();
        m_pos = 0;
        return true;
    }

    bool avanti()
    {
        while (m_pos >= m_parte.size())
            if (!prossima()) return false;
        return true;
    }

    const Records* m_rec = nullptr;
    QByteArrayView m_parte;
    qint64 m_prossimo = -1;
    qint64 m_pos = 0;
};

// A BIFF8 string: its count, its option byte, the rich text runs and the phonetic block
// the option byte announces (both skipped), then its characters. False when the data
// ends first.
bool stringa8(Parti& p, bool conteggioLargo, QString& out)
{
    quint16 n16 = 0;
    quint8 n8 = 0, opzioni = 0;
    if (conteggioLargo ? !p.u16(n16) : !p.byte(n8)) return false;
    if (!p.byte(opzioni)) return false;
    quint16 corse = 0;
    quint32 fonetica = 0;
    if ((opzioni & 0x08) && !p.u16(corse)) return false;
    if ((opzioni & 0x04) && !p.u32(fonetica)) return false;
    out.clear();
    if (!p.caratteri(conteggioLargo ? n16 : n8, opzioni & 1, out)) return false;
    return p.salta(4 * qint64(corse)) && p.salta(fonetica);
}

// A BIFF5 string: a count (8 or 16 bits) and that many bytes.
bool stringa5(Parti& p, bool conteggioLargo, CodePage& cp, QString& out)
{
    quint16 n16 = 0;
    quint8 n8 = 0;
    if (conteggioLargo ? !p.u16(n16) : !p.byte(n8)) return false;
    QByteArray b;
    if (!p.byteGrezzi(conteggioLargo ? n16 : n8, b)) return false;
    out = cp.testo(b);
    return true;
}

struct Cartella
{
    bool biff8 = true;
    bool date1904 = false;
    mutable CodePage codepage; // decoding keeps state between texts
    QHash<int, FormatoNumero> formati;
    std::vector<quint16> formatoXf; // number format of each cell style, by index
    QStringList sst;
    qint64 primo = -1; // where the workbook says its first worksheet starts
    qint64 fineGlobali = 0;
    bool decifrata = false; // saved under the default password, decrypted before the read

    FormatoNumero formato(quint16 xf) const
    {
        if (xf >= formatoXf.size()) return {};
        const int id = formatoXf[xf];
        return formati.value(id, formatoPredefinito(id));
    }
};

void leggiSst(Cartella& c, const Records& rec, const Record& r, const QString& nome)
{
    if (r.lunghezza < 8) recordGuasti(nome);
    Parti p(rec, r, 8);
    const quint32 dichiarate = u32(rec.dati(r), 4);
    // Each string takes at least three bytes: the count cannot outrun the data.
    c.sst.reserve(qsizetype(std::min<qint64>({dichiarate, (rec.dopoSeguito(r) - r.dati) / 3 + 1, maxCells})));
    QString s;
    for (quint32 i = 0; i < dichiarate; ++i) {
        if (!p.resta()) break; // fewer strings than said: the cells that name the rest are unread
        if (!stringa8(p, true, s)) recordGuasti(nome);
        // Past the cells a grid holds, the strings are not a register's but a bomb's.
        if (c.sst.size() >= maxCells) tooBig(nome, 0, 0);
        Lettura::testo(s.size(), nome);
        c.sst << s;
    }
}

// Workbooks Excel saves with a protection that asks for no password (a workbook whose
// structure is protected, one shared with a password only to modify it) are encrypted all
// the same, with the password every copy of Excel knows. Both of Excel 97's ciphers for
// it are undone here; a workbook under a password of its user's stays refused.
namespace cifratura {

constexpr char predefinita[] = "VelvetSweatshop";
constexpr qint64 blocco = 1024; // the key changes every so many bytes of the stream

class Rc4
{
public:
    explicit Rc4(QByteArrayView chiave)
    {
        for (int k = 0; k < 256; ++k)
            m_s[k] = quint8(k);
        for (int k = 0, j = 0; k < 256; ++k) {
            j = (j + m_s[k] + quint8(chiave[k % chiave.size()])) & 0xFF;
            std::swap(m_s[k], m_s[j]);
        }
    }

    quint8 prossimo()
    {
        m_i = quint8(m_i + 1);
        m_j = quint8(m_j + m_s[m_i]);
        std::swap(m_s[m_i], m_s[m_j]);
        return m_s[quint8(m_s[m_i] + m_s[m_j])];
    }

private:
    quint8 m_s[256];
    quint8 m_i = 0, m_j = 0;
};

QByteArray le32(quint32 v)
{
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}

QByteArray password16()
{
    QByteArray b;
    for (const char* c = predefinita; *c; ++c)
        b += *c, b += '\0';
    return b;
}

using Chiave = std::function<QByteArray(quint32)>;

// The key of each block, when the verifier of the record proves the default password.
std::optional<Chiave> chiave(QByteArrayView d)
{
    if (d.size() < 6 || u16(d, 0) != 1) return std::nullopt; // 0: the obfuscation of Excel 95
    const quint16 maggiore = u16(d, 2), minore = u16(d, 4);
    QCryptographicHash::Algorithm hash;
    QByteArrayView sale, verificatore, impronta;
    Chiave k;
    if (maggiore == 1 && minore == 1) {
        if (d.size() < 54) return std::nullopt;
        sale = d.sliced(6, 16);
        verificatore = d.sliced(22, 16);
        impronta = d.sliced(38, 16);
        hash = QCryptographicHash::Md5;
        const QByteArray h0 = QCryptographicHash::hash(password16(), hash).left(5);
        QByteArray giri;
        for (int i = 0; i < 16; ++i)
            giri += h0 + sale.toByteArray();
        const QByteArray h1 = QCryptographicHash::hash(giri, hash).left(5);
        k = [h1](quint32 b) { return QCryptographicHash::hash(h1 + le32(b), QCryptographicHash::Md5); };
    } else if (minore == 2 && maggiore >= 2 && maggiore <= 4) {
        if (d.size() < 14) return std::nullopt;
        const qint64 testa = u32(d, 10), v = 14 + testa;
        if (testa < 20 || v + 60 > d.size() || u32(d, v) != 16 || u32(d, v + 36) != 20) return std::nullopt;
        quint32 bit = u32(d, 14 + 16);
        if (bit == 0) bit = 40;
        if (bit < 40 || bit > 128 || bit % 8) return std::nullopt;
        sale = d.sliced(v + 4, 16);
        verificatore = d.sliced(v + 20, 16);
        impronta = d.sliced(v + 40, 20);
        hash = QCryptographicHash::Sha1;
        const QByteArray h0 = QCryptographicHash::hash(sale.toByteArray() + password16(), hash);
        k = [h0, bit](quint32 b) {
            QByteArray c = QCryptographicHash::hash(h0 + le32(b), QCryptographicHash::Sha1).left(bit / 8);
            // A 40-bit key is padded to 128 bits with zeros.
            if (bit == 40) c.append(QByteArray(11, '\0'));
            return c;
        };
    } else {
        return std::nullopt;
    }
    Rc4 rc4(k(0));
    QByteArray chiaro, atteso;
    for (const char c : verificatore)
        chiaro += char(c ^ rc4.prossimo());
    for (const char c : impronta)
        atteso += char(c ^ rc4.prossimo());
    if (QCryptographicHash::hash(chiaro, hash) != atteso) return std::nullopt;
    return k;
}

// Records whose data is never encrypted.
bool inChiaro(quint16 tipo)
{
    switch (tipo) {
    case rBof:
    case rFilepass:
    case 0x00E1: // INTERFACEHDR
    case 0x0138: // RRDHEAD
    case 0x0194: // USREXCL
    case 0x0195: // FILELOCK
    case 0x0196: // RRDINFO
        return true;
    default: return false;
    }
}

// The record data of the whole stream, each byte with the key stream at its own offset;
// record headers and the sheet entries' offsets are left as they are, as they were written.
void decifra(QByteArray& b, const Chiave& k)
{
    std::optional<Rc4> rc4;
    qint64 numero = -1, pos = 0;
    char* dati = b.data();
    for (qint64 o = 0; o + 4 <= b.size();) {
        const quint16 tipo = u16(b, o);
        const qint64 inizio = o + 4, fine = std::min<qint64>(inizio + u16(b, o + 2), b.size());
        const qint64 da = inChiaro(tipo) ? fine : tipo == rBoundsheet ? std::min(inizio + 4, fine) : inizio;
        for (qint64 p = da; p < fine; ++p) {
            if (p / blocco != numero) {
                numero = p / blocco;
                rc4.emplace(k(quint32(numero)));
                pos = numero * blocco;
            }
            for (; pos < p; ++pos)
                rc4->prossimo();
            dati[p] = char(dati[p] ^ rc4->prossimo());
            ++pos;
        }
        o = inizio + u16(b, o + 2);
    }
}

} // namespace cifratura

// A workbook saved under the default password is decrypted in place and read as any other;
// false when it has no encryption. One under a password of its own is refused.
bool togliCifraturaPredefinita(QByteArray& b, const QString& nome)
{
    for (qint64 o = 0; o + 4 <= b.size();) {
        const quint16 tipo = u16(b, o);
        const qint64 lunghezza = u16(b, o + 2);
        if (o + 4 + lunghezza > b.size() || tipo == rEof) return false;
        if (tipo == rFilepass) {
            const auto k = cifratura::chiave(QByteArrayView(b).sliced(o + 4, lunghezza));
            if (!k) passwordProtected(nome);
            cifratura::decifra(b, *k);
            return true;
        }
        o += 4 + lunghezza;
    }
    return false;
}

void leggiGlobali(Cartella& c, const Records& rec, const QString& nome)
{
    qint64 o = 0;
    const auto bof = rec.at(0);
    if (!bof || bof->tipo != rBof || bof->lunghezza < 4) {
        // BIFF2 to BIFF4 start with a BOF of another number: a format older than Excel 5.
        if (bof && (bof->tipo == 0x0009 || bof->tipo == 0x0209 || bof->tipo == 0x0409))
            throw Error(QStringLiteral("Il file \"%1\" è in un formato Excel anteriore a Excel 5, che non si legge: "
                                       "aprirlo con il programma che lo ha creato, salvarlo come .xlsx e ripetere il "
                                       "caricamento.")
                            .arg(nome));
        recordGuasti(nome);
    }
    // The version the BOF says; failing that, the stream's name (Excel 5/95 calls it Book).
    const quint16 versione = u16(rec.dati(*bof), 0);
    if (versione == 0x0500) c.biff8 = false;
    else if (versione == 0x0600) c.biff8 = true;
    c.codepage.imposta(c.biff8 ? 1200 : 1252);
    o = bof->fine();
    bool codepageLetta = false;
    while (const auto r = rec.at(o)) {
        const QByteArrayView d = rec.dati(*r);
        qint64 dopo = r->fine();
        switch (r->tipo) {
        case rFilepass:
            if (!c.decifrata) passwordProtected(nome);
            break;
        case rCodepage:
            // A workbook names its code page once; the first is kept, as each change of it
            // opens a converter, and a stream of them would take minutes.
            if (d.size() >= 2 && !c.biff8 && !codepageLetta) c.codepage.imposta(u16(d, 0));
            codepageLetta = true;
            break;
        case rDatemode:
            if (d.size() >= 2) c.date1904 = u16(d, 0) == 1;
            break;
        case rFormat: {
            if (d.size() < 3) break;
            Parti p(d, 2);
            QString codice;
            const bool letto = c.biff8 ? stringa8(p, true, codice) : stringa5(p, false, c.codepage, codice);
            if (letto) c.formati.insert(u16(d, 0), formatoNumero(codice));
            break;
        }
        case rXf:
            // Cells name a style by 16 bits: more styles than that are not anyone's.
            if (d.size() >= 4 && c.formatoXf.size() < 65536) c.formatoXf.push_back(u16(d, 2));
            break;
        case rSst:
            leggiSst(c, rec, *r, nome);
            dopo = rec.dopoSeguito(*r);
            break;
        case rBoundsheet:
            // Worksheets only: charts, macro sheets and modules have nothing to import.
            if (d.size() >= 6 && quint8(d[5]) == 0 && c.primo < 0) c.primo = u32(d, 0);
            break;
        default: break;
        }
        o = dopo;
        if (r->tipo == rEof) break;
    }
    c.fineGlobali = o;
}

// Whether a worksheet's records start at o: probed without trusting o, which may come
// from a sheet entry that points anywhere.
bool bofDiFoglio(const QByteArray& b, qint64 o, bool stretto)
{
    if (o < 0 || o + 8 > b.size() || u16(b, o) != rBof) return false;
    const qint64 lunghezza = u16(b, o + 2);
    if (lunghezza < 4 || o + 4 + lunghezza > b.size()) return false;
    const quint16 tipo = u16(b, o + 6);
    if (stretto) return tipo == bofFoglio;
    return tipo != bofGlobali && tipo != bofModulo && tipo != bofGrafico && tipo != bofMacro && tipo != bofArea;
}

// Where the first worksheet's records start: where the workbook says, or, when that is not
// a worksheet's beginning, the first worksheet after the workbook's own records.
qint64 primoFoglio(const Cartella& c, const QByteArray& b, const Records& rec)
{
    if (bofDiFoglio(b, c.primo, false)) return c.primo;
    for (qint64 o = c.fineGlobali; o + 4 <= rec.size();) {
        if (bofDiFoglio(b, o, true)) return o;
        const auto r = rec.at(o);
        if (!r) break;
        o = r->fine();
    }
    return -1;
}

class Celle
{
public:
    Celle(const Cartella& c, const Records& rec, const QString& nome)
        : m_c(c), m_rec(rec), m_nome(nome), m_blocco(nome)
    {
    }

    Foglio leggi(qint64 inizio)
    {
        int annidati = 0; // a chart embedded in the sheet has its own BOF and EOF
        qint64 o = rec().at(inizio)->fine();
        while (const auto r = rec().at(o)) {
            qint64 dopo = r->fine();
            if (r->tipo == rBof) {
                ++annidati;
            } else if (r->tipo == rEof) {
                if (annidati == 0) break;
                --annidati;
            } else if (annidati == 0) {
                cella(*r, dopo);
            }
            o = dopo;
        }
        senzaStringa();
        // An empty text is what a formula saved without its result holds too (xlwt writes
        // nothing else). A writer that stored the result of any other formula computed
        // them all, and the empty ones are empty; one that stored none computed nothing.
        if (!m_risultati)
            for (const auto& [riga, colonna] : m_vuote)
                m_blocco.illeggibile(riga, colonna, Blocco::Formula);
        return m_blocco.finish();
    }

private:
    const Records& rec() const { return m_rec; }

    void conta()
    {
        // The grid holds at most this many cells: more values than that repeat the same
        // cells over and over.
        if (++m_valori > maxCells) tooBig(m_nome, 0, 0);
    }

    void valore(quint16 riga, quint16 colonna, const QString& testo)
    {
        conta();
        m_blocco.set(riga, colonna, testo);
    }

    void numero(quint16 riga, quint16 colonna, quint16 xf, double v)
    {
        if (std::isnan(v) || std::isinf(v)) return illeggibile(riga, colonna, Blocco::Errore);
        valore(riga, colonna, testoFormattato(v, m_c.formato(xf), m_c.date1904));
    }

    void illeggibile(quint16 riga, quint16 colonna, Blocco::Motivo motivo)
    {
        conta();
        m_blocco.illeggibile(riga, colonna, motivo);
    }

    void vuota(quint16 riga, quint16 colonna)
    {
        conta();
        m_vuote.emplace_back(riga, colonna);
    }

    // A formula whose text result was to follow in a STRING record that never came.
    void senzaStringa()
    {
        if (m_attesa) illeggibile(m_attesa->first, m_attesa->second, Blocco::Formula);
        m_attesa.reset();
    }

    void richiedi(const QByteArrayView& d, qint64 minimo)
    {
        if (d.size() < minimo) recordGuasti(m_nome);
    }

    void cella(const Record& r, qint64& dopo)
    {
        const QByteArrayView d = rec().dati(r);
        switch (r.tipo) {
        case rNumber:
            richiedi(d, 14);
            senzaStringa();
            numero(u16(d, 0), u16(d, 2), u16(d, 4), f64(d, 6));
            break;
        case rRk:
            richiedi(d, 10);
            senzaStringa();
            numero(u16(d, 0), u16(d, 2), u16(d, 4), rk(u32(d, 6)));
            break;
        case rMulrk: {
            richiedi(d, 6);
            senzaStringa();
            const quint16 riga = u16(d, 0), prima = u16(d, 2);
            const qint64 n = (d.size() - 6) / 6;
            for (qint64 i = 0; i < n; ++i)
                numero(riga, quint16(std::min<qint64>(prima + i, 0xFFFF)), u16(d, 4 + 6 * i), rk(u32(d, 6 + 6 * i)));
            break;
        }
        case rLabel:
        case rRstring: {
            richiedi(d, 8);
            senzaStringa();
            Parti p(rec(), r, 6);
            dopo = rec().dopoSeguito(r);
            QString s;
            if (!(m_c.biff8 ? stringa8(p, true, s) : stringa5(p, true, m_c.codepage, s)))
                recordGuasti(m_nome);
            valore(u16(d, 0), u16(d, 2), s);
            break;
        }
        case rLabelsst: {
            richiedi(d, 10);
            senzaStringa();
            const quint32 i = u32(d, 6);
            if (i < quint32(m_c.sst.size()))
                valore(u16(d, 0), u16(d, 2), m_c.sst.at(i));
            else
                illeggibile(u16(d, 0), u16(d, 2), Blocco::Mancante);
            break;
        }
        case rBoolerr:
            richiedi(d, 8);
            senzaStringa();
            if (quint8(d[7]) != 0)
                illeggibile(u16(d, 0), u16(d, 2), Blocco::Errore);
            else
                valore(u16(d, 0), u16(d, 2), boolText(quint8(d[6]) != 0));
            break;
        case rFormula: formula(d); break;
        case rString: stringa(r, dopo); break;
        default: break;
        }
    }

    // The result the formula had when the file was saved.
    void formula(QByteArrayView d)
    {
        richiedi(d, 20);
        senzaStringa();
        const quint16 riga = u16(d, 0), colonna = u16(d, 2), xf = u16(d, 4), opzioni = u16(d, 14);
        if (u16(d, 12) != 0xFFFF) {
            const double v = f64(d, 6);
            // Writers that leave the computing to the office program store 0 and ask for
            // a computation on opening: that 0 is no result.
            if (v == 0 && (opzioni & 0x0002)) return illeggibile(riga, colonna, Blocco::Formula);
            m_risultati = true;
            return numero(riga, colonna, xf, v);
        }
        switch (quint8(d[6])) {
        case 0: m_attesa = {riga, colonna}; break; // the text is in the STRING record after
        case 1:
            m_risultati = true;
            valore(riga, colonna, boolText(quint8(d[8]) != 0));
            break;
        case 2:
            m_risultati = true;
            illeggibile(riga, colonna, Blocco::Errore);
            break;
        case 3: vuota(riga, colonna); break;
        default: illeggibile(riga, colonna, Blocco::Formula); break;
        }
    }

    void stringa(const Record& r, qint64& dopo)
    {
        if (!m_attesa) return;
        const auto [riga, colonna] = *m_attesa;
        m_attesa.reset();
        Parti p(rec(), r);
        dopo = rec().dopoSeguito(r);
        QString s;
        if (!(m_c.biff8 ? stringa8(p, true, s) : stringa5(p, true, m_c.codepage, s)))
            recordGuasti(m_nome);
        if (s.isEmpty()) return vuota(riga, colonna);
        m_risultati = true;
        valore(riga, colonna, s);
    }

    const Cartella& m_c;
    const Records& m_rec;
    const QString& m_nome;
    Blocco m_blocco;
    qint64 m_valori = 0;
    std::optional<std::pair<quint16, quint16>> m_attesa;
    std::vector<std::pair<quint16, quint16>> m_vuote; // formulas whose result is an empty text
    bool m_risultati = false; // some formula has a result other than an empty text
};

template <class T>
struct Rif
{
    T* p = nullptr;
    Rif() = default;
    explicit Rif(T* q) : p(q) {}
    Rif(const Rif&) = delete;
    Rif& operator=(const Rif&) = delete;
    ~Rif()
    {
        if (p) g_object_unref(p);
    }
};

void inizializzaGsf()
{
    static const bool fatto = [] {
        gsf_init();
        // The library reports on stderr the damage it stops at (a sector past the end of a
        // cut file, as a failed check); the reader says what matters, in Italian.
        g_log_set_handler("libgsf:msole",
                          GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
                          [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        return true;
    }();
    (void)fatto;
}

// libgsf reads the directory of a compound file recursively, one call deeper for each entry
// along a chain of siblings, and loses the entries the root claims as its siblings. A
// directory far larger than any workbook's (40,000 entries in a file of 5 MB) would take
// the whole stack, so it is refused here, walked on the same allocation table libgsf
// follows; a root with siblings has them dropped from a copy, as nothing hangs from them.
QByteArray direttorioControllato(const QByteArray& f, const QString& nome)
{
    constexpr qint64 maxVoci = 2048; // a workbook has a handful; with macros and objects, hundreds
    constexpr quint32 fine = 0xFFFFFFFAu;
    if (f.size() < 512) return f; // too short for a header: libgsf refuses it
    const quint16 spostamento = u16(f, 0x1E);
    if (spostamento < 7 || spostamento > 30) return f;
    const qint64 settore = qint64(1) << spostamento;
    const auto posizione = [&](quint32 s) { return (qint64(s) + 1) * settore; };
    const qint64 settori = (f.size() - 512) / settore;

    // The sectors of the allocation table: in the header, then in the chain of extensions.
    const quint32 dichiarati = u32(f, 0x2C);
    if (dichiarati >= settori) return f;
    std::vector<quint32> tabella;
    for (quint32 i = 0; i < std::min<quint32>(dichiarati, 109); ++i)
        tabella.push_back(u32(f, 0x4C + 4 * i));
    quint32 estensione = u32(f, 0x44);
    for (quint32 n = u32(f, 0x48); n > 0 && tabella.size() < dichiarati && estensione < fine; --n) {
        if (posizione(estensione) + settore > f.size()) break;
        for (qint64 i = 0; i + 1 < settore / 4 && tabella.size() < dichiarati; ++i)
            tabella.push_back(u32(f, posizione(estensione) + 4 * i));
        estensione = u32(f, posizione(estensione) + settore - 4);
    }
    const auto successivo = [&](quint32 s) -> quint32 {
        const qint64 perSettore = settore / 4, indice = qint64(s) / perSettore;
        if (indice >= qint64(tabella.size())) return 0xFFFFFFFEu;
        const qint64 o = posizione(tabella[size_t(indice)]) + 4 * (qint64(s) % perSettore);
        return o + 4 <= f.size() ? u32(f, o) : 0xFFFFFFFEu;
    };

    const quint32 inizio = u32(f, 0x30);
    qint64 voci = 0;
    for (quint32 s = inizio; s < fine; s = successivo(s)) {
        voci += settore / 128;
        if (voci > maxVoci) damaged(nome, QStringLiteral("struttura del file non valida"));
    }
    if (inizio >= fine || posizione(inizio) + 128 > f.size()) return f;
    const qint64 radice = posizione(inizio);
    if (u32(f, radice + 0x44) == 0xFFFFFFFFu && u32(f, radice + 0x48) == 0xFFFFFFFFu) return f;
    QByteArray copia = f;
    std::memset(copia.data() + radice + 0x44, 0xFF, 8);
    return copia;
}

// The workbook stream of the compound file.
QByteArray flussoCartella(const QByteArray& file, const QString& nome, bool& biff5)
{
    inizializzaGsf();
    const QByteArray bytes = direttorioControllato(file, nome);
    Rif<GsfInput> ingresso(
        gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.constData()), bytes.size(), FALSE));
    if (!ingresso.p) damaged(nome);
    GError* errore = nullptr;
    Rif<GsfInfile> ole(gsf_infile_msole_new(ingresso.p, &errore));
    if (errore) g_error_free(errore);
    if (!ole.p) damaged(nome, QStringLiteral("struttura del file non valida"));

    int scelto = -1;
    bool cifrato = false;
    const int figli = gsf_infile_num_children(ole.p);
    for (int i = 0; i < figli; ++i) {
        const char* n = gsf_infile_name_by_index(ole.p, i);
        if (!n) continue;
        const QString s = QString::fromUtf8(n);
        if (s.compare(QLatin1String("Workbook"), Qt::CaseInsensitive) == 0)
            scelto = i;
        else if (s.compare(QLatin1String("Book"), Qt::CaseInsensitive) == 0 && scelto < 0)
            scelto = i;
        else if (s == QLatin1String("EncryptedPackage"))
            cifrato = true;
    }
    // An Office file saved with a password is a compound file around an encrypted package.
    if (scelto < 0 && cifrato) passwordProtected(nome);
    if (scelto < 0) notASpreadsheet(nome);
    biff5 = QString::fromUtf8(gsf_infile_name_by_index(ole.p, scelto)).compare(QLatin1String("Book"),
                                                                                  Qt::CaseInsensitive) == 0;
    Rif<GsfInput> flusso(gsf_infile_child_by_index(ole.p, scelto));
    if (!flusso.p) damaged(nome, QStringLiteral("struttura del file non valida"));
    const gsf_off_t dimensione = gsf_input_size(flusso.p);
    // A stream is made of the file's own sectors: it cannot be longer than the file.
    if (dimensione < 0 || dimensione > bytes.size()) damaged(nome, QStringLiteral("struttura del file non valida"));
    QByteArray out(qsizetype(dimensione), Qt::Uninitialized);
    for (gsf_off_t letti = 0; letti < dimensione;) {
        const gsf_off_t qui = std::min<gsf_off_t>(dimensione - letti, 1 << 16);
        if (!gsf_input_read(flusso.p, size_t(qui), reinterpret_cast<guint8*>(out.data() + letti)))
            damaged(nome);
        letti += qui;
    }
    return out;
}

} // namespace

Foglio readXls(const QByteArray& bytes, const QString& nome)
{
    if (bytes.size() < 8 || std::memcmp(bytes.constData(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0)
        notASpreadsheet(nome);
    if (bytes.size() > maxPartBytes) tooBig(nome, 0, 0);
    bool biff5 = false;
    QByteArray biff = flussoCartella(bytes, nome, biff5);
    Cartella c;
    c.decifrata = togliCifraturaPredefinita(biff, nome);
    const Records rec(biff, nome);
    c.biff8 = !biff5;
    leggiGlobali(c, rec, nome);
    const qint64 inizio = primoFoglio(c, biff, rec);
    if (inizio < 0) damaged(nome, QStringLiteral("nessun foglio"));
    return Celle(c, rec, nome).leggi(inizio);
}

} // namespace sz::sheets::detail
