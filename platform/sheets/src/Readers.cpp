#include "Internal.h"

#include "scadenzio/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QXmlStreamReader>

#include <gsf/gsf-utils.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

namespace sz::sheets {

namespace detail {

namespace {

QString shown(const QString& nome)
{
    return QDir::toNativeSeparators(nome);
}

} // namespace

void notASpreadsheet(const QString& nome)
{
    throw Error(QStringLiteral("Il file \"%1\" non è un foglio di calcolo leggibile: si accettano file "
                               "Excel (.xls, .xlsx) e OpenDocument (.ods).")
                    .arg(shown(nome)));
}

void damaged(const QString& nome, const QString& dettaglio)
{
    throw Error(
        dettaglio.isEmpty()
            ? QStringLiteral("Il file \"%1\" è danneggiato o incompleto.").arg(shown(nome))
            : QStringLiteral("Il file \"%1\" è danneggiato o incompleto (%2).").arg(shown(nome), dettaglio));
}

void passwordProtected(const QString& nome)
{
    throw Error(QStringLiteral("Il file \"%1\" è protetto da password: aprirlo con il programma che lo ha "
                               "creato, salvarlo senza password e ripetere il caricamento.")
                    .arg(shown(nome)));
}

void tooBig(const QString& nome, qint64 righe, qint64 colonne)
{
    if (righe <= 0)
        throw Error(
            QStringLiteral("Il file \"%1\" è troppo grande per essere caricato: salvare solo i dati da "
                           "importare e ripetere il caricamento.")
                .arg(shown(nome)));
    troppeCelle(nome, righe, colonne);
}

QString numero(qint64 n)
{
    return QLocale(QLocale::Italian).toString(n);
}

void troppeColonne(const QString& nome, qint64 riga, qint64 colonne)
{
    throw Error(QStringLiteral("Il file \"%1\" è troppo grande per essere caricato (%2 colonne nella riga %3; il "
                               "massimo è %4): salvare solo i dati da importare e ripetere il caricamento.")
                    .arg(shown(nome), numero(colonne), numero(riga + 1), numero(limits::columns)));
}

void troppeCelle(const QString& nome, qint64 righe, qint64 colonne)
{
    if (colonne > limits::columns) troppeColonne(nome, righe - 1, colonne);
    throw Error(
        QStringLiteral("Il foglio del file \"%1\" è troppo grande per essere caricato (%2 righe per %3 "
                       "colonne; il massimo è %4 celle): salvare solo i dati da importare e ripetere il "
                       "caricamento.")
            .arg(shown(nome), numero(righe), numero(colonne), numero(limits::cells)));
}

void cellaTroppoLunga(const QString& nome, qint64 riga, qint64 colonna)
{
    throw Error(QStringLiteral("Il file \"%1\" ha una cella troppo lunga per essere caricata (riga %2, colonna "
                               "%3: più di %4 caratteri).")
                    .arg(shown(nome), numero(riga + 1), columnName(int(std::min<qint64>(colonna, 1 << 20))),
                         numero(limits::cellChars)));
}

void fuoriControllo(const QString& nome, const QString& causa)
{
    throw Error(QStringLiteral("Impossibile leggere il file \"%1\": il file è troppo grande o danneggiato: %2.")
                    .arg(shown(nome), causa));
}

namespace {
thread_local Lettura* letturaCorrente = nullptr;
} // namespace

Lettura::Lettura(qint64 dimensione)
{
    if (letturaCorrente) return; // a reader inside a read: the outer budget holds
    m_limiteDecompressi = std::max(limits::decompressedBytes, 16 * std::max<qint64>(dimensione, 0));
    letturaCorrente = this;
    m_esterna = this;
}

Lettura::~Lettura()
{
    if (m_esterna == this) letturaCorrente = nullptr;
}

void Lettura::decompressi(qint64 byte, const QString& nome)
{
    Lettura* l = letturaCorrente;
    if (!l) return;
    l->m_decompressi += byte;
    if (l->m_decompressi > l->m_limiteDecompressi)
        throw BudgetEsaurito(
            QStringLiteral("Il file \"%1\" è troppo grande per essere caricato: decompresso supera %2 MB, più "
                           "di quanto un file ordinario contenga.")
                .arg(shown(nome), numero(l->m_limiteDecompressi / (1024 * 1024))));
}

void Lettura::testo(qint64 caratteri, const QString& nome)
{
    Lettura* l = letturaCorrente;
    if (!l) return;
    l->m_testo += caratteri;
    if (l->m_testo > limits::textChars)
        throw BudgetEsaurito(
            QStringLiteral("Il file \"%1\" contiene troppo testo per essere caricato (più di %2 caratteri, "
                           "contando le celle ripetute): salvare solo i dati da importare e ripetere il "
                           "caricamento.")
                .arg(shown(nome), numero(limits::textChars)));
}

bool haDtd(const QByteArray& xml)
{
    QXmlStreamReader x(xml);
    while (!x.atEnd()) {
        switch (x.readNext()) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference: return true;
        case QXmlStreamReader::StartElement: return false;
        default: break;
        }
    }
    return false;
}

void Blocco::allarga(qint64 riga, qint64 colonna)
{
    if (colonna >= limits::columns) troppeColonne(m_nome, riga, colonna + 1);
    if (riga >= maxRows) tooBig(m_nome, riga + 1, std::max(m_colonne, colonna + 1));
    const qint64 righe = std::max(m_righe, riga + 1), colonne = std::max(m_colonne, colonna + 1);
    if (righe * colonne > limits::cells) troppeCelle(m_nome, righe, colonne);
    m_righe = righe;
    m_colonne = colonne;
}

void Blocco::set(qint64 riga, qint64 colonna, const QString& testo)
{
    if (testo.isEmpty()) return;
    if (riga < 0 || colonna < 0) return;
    allarga(riga, colonna);
    if (testo.size() > limits::cellChars) cellaTroppoLunga(m_nome, riga, colonna);
    Lettura::testo(testo.size(), m_nome);
    m_celle.push_back({riga, colonna, testo});
}

void Blocco::illeggibile(qint64 riga, qint64 colonna, Motivo motivo)
{
    if (riga < 0 || colonna < 0) return;
    allarga(riga, colonna);
    m_illeggibili.push_back({riga, colonna, motivo});
}

Foglio Blocco::finish()
{
    Foglio f;
    f.righe.reserve(m_righe);
    QStringList vuota;
    vuota.resize(m_colonne);
    for (qint64 r = 0; r < m_righe; ++r)
        f.righe << vuota;
    for (auto& c : m_celle)
        f.righe[c.riga][c.colonna] = std::move(c.testo);
    m_celle.clear();

    if (!m_illeggibili.empty()) {
        const auto prima = [](const Illeggibile& a, const Illeggibile& b) {
            return std::pair(a.riga, a.colonna) < std::pair(b.riga, b.colonna);
        };
        const auto stessa = [](const Illeggibile& a, const Illeggibile& b) {
            return a.riga == b.riga && a.colonna == b.colonna;
        };
        std::stable_sort(m_illeggibili.begin(), m_illeggibili.end(), prima);
        m_illeggibili.erase(std::unique(m_illeggibili.begin(), m_illeggibili.end(), stessa), m_illeggibili.end());
        std::set<qint64> colonne;
        qsizetype formule = 0, errori = 0;
        for (const auto& i : m_illeggibili) {
            colonne.insert(i.colonna);
            f.illeggibili << qMakePair(int(i.riga), int(i.colonna));
            formule += i.motivo == Formula;
            errori += i.motivo == Errore;
        }
        QStringList nomi;
        for (qint64 c : colonne)
            nomi << columnName(int(c));
        const qsizetype n = qsizetype(m_illeggibili.size());
        // Said by what the cells hold when they all hold the same: what to do differs.
        QString quante;
        if (formule == n)
            quante = n == 1 ? QStringLiteral("1 cella con una formula senza risultato salvato non può essere letta")
                            : QStringLiteral("%1 celle con formule senza risultato salvato non possono essere lette")
                                  .arg(n);
        else if (errori == n)
            quante = n == 1 ? QStringLiteral("1 cella con un errore (come #DIV/0! o #N/D) non può essere letta")
                            : QStringLiteral("%1 celle con un errore (come #DIV/0! o #N/D) non possono essere lette")
                                  .arg(n);
        else
            quante = n == 1 ? QStringLiteral("1 cella non può essere letta")
                            : QStringLiteral("%1 celle non possono essere lette").arg(n);
        f.avviso = quante +
                   (nomi.size() == 1 ? QStringLiteral(" (colonna %1)").arg(nomi.first())
                                     : QStringLiteral(" (colonne %1)").arg(nomi.join(QStringLiteral(", ")))) +
                   (errori == n ? QStringLiteral(". Per importarne i valori correggere le formule nel programma che "
                                                 "ha creato il file, salvarlo e ripetere il caricamento.")
                    : errori > 0
                        ? QStringLiteral(". Per importarne i valori aprire il file con il programma che lo ha "
                                         "creato, correggere le celle con un errore, salvarlo come .xlsx o .csv e "
                                         "ripetere il caricamento.")
                        : QStringLiteral(". Per importarne i valori aprire il file con il programma che lo ha "
                                         "creato, salvarlo come .xlsx o .csv e ripetere il caricamento."));
    }
    m_illeggibili.clear();
    return f;
}

// A number format shows a date or time when, outside quoted text, escapes and bracketed
// colours or conditions, it has a day, month, year, hour or second code. It pads with
// zeros when its first section is nothing but zeros ("00000" for a CAP, the special
// format the office programs offer for postcodes).
namespace {

// Three sections that are each one quoted text, the first two alike and the third not:
// how a logical result is kept in a file format whose numbers have no boolean type.
bool formatoLogico(QStringView codice)
{
    QList<QStringView> sezioni;
    qsizetype inizio = 0;
    bool virgolette = false;
    for (qsizetype i = 0; i < codice.size(); ++i) {
        if (codice[i] == QLatin1Char('"'))
            virgolette = !virgolette;
        else if (codice[i] == QLatin1Char(';') && !virgolette) {
            sezioni << codice.mid(inizio, i - inizio).trimmed();
            inizio = i + 1;
        }
    }
    sezioni << codice.mid(inizio).trimmed();
    if (sezioni.size() != 3) return false;
    for (const QStringView t : sezioni)
        if (t.size() < 3 || !t.startsWith(QLatin1Char('"')) || !t.endsWith(QLatin1Char('"')) ||
            t.mid(1, t.size() - 2).contains(QLatin1Char('"')))
            return false;
    return sezioni[0] == sezioni[1] && sezioni[0] != sezioni[2];
}

} // namespace

FormatoNumero formatoNumero(QStringView codice)
{
    if (formatoLogico(codice)) {
        FormatoNumero f;
        f.logico = true;
        return f;
    }
    QString s;
    bool virgolette = false, altro = false;
    for (qsizetype i = 0; i < codice.size(); ++i) {
        const QChar c = codice[i];
        if (virgolette) {
            if (c == QLatin1Char('"')) virgolette = false;
            continue;
        }
        if (c == QLatin1Char(';')) {
            // Only the section for positive numbers decides padding; any section can
            // still make it a date.
            altro = true;
            s += c;
        } else if (c == QLatin1Char('"')) {
            virgolette = true;
            if (!altro) s += QLatin1Char('"');
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('_') || c == QLatin1Char('*')) {
            if (!altro) s += QLatin1Char('"');
            ++i;
        } else if (c == QLatin1Char('[')) {
            const qsizetype j = codice.indexOf(QLatin1Char(']'), i);
            const QString dentro = codice.mid(i + 1, j < 0 ? -1 : j - i - 1).toString().toLower();
            // [h], [mm], [ss]: elapsed time.
            if (!dentro.isEmpty() && dentro.count(dentro[0]) == dentro.size() &&
                (dentro[0] == QLatin1Char('h') || dentro[0] == QLatin1Char('m') ||
                 dentro[0] == QLatin1Char('s')))
                s += dentro[0];
            if (j < 0) break;
            i = j;
        } else
            s += c.toLower();
    }
    FormatoNumero f;
    // "General" holds an e, but no code letter.
    if (s.contains(QLatin1String("general"))) return f;
    for (const QChar c : s)
        if (c == QLatin1Char('d') || c == QLatin1Char('m') || c == QLatin1Char('y') ||
            c == QLatin1Char('h') || c == QLatin1Char('s')) {
            f.data = true;
            f.ora = s.contains(QLatin1Char('h')) || s.contains(QLatin1Char('s'));
            return f;
        }
    const QString primo = s.section(QLatin1Char(';'), 0, 0);
    if (primo.size() >= 2 && primo.size() <= 15 && primo.count(QLatin1Char('0')) == primo.size())
        f.zeri = int(primo.size());
    return f;
}

FormatoNumero formatoPredefinito(int id)
{
    FormatoNumero f;
    f.data = (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
             (id >= 50 && id <= 58);
    // The times, and the date with a time; the others show days.
    f.ora = (id >= 18 && id <= 22) || (id >= 45 && id <= 47) || id == 32 || id == 33 || id == 55 || id == 56;
    return f;
}

QString testoFormattato(double valore, const FormatoNumero& formato, bool date1904)
{
    if (formato.logico && !std::isnan(valore)) return boolText(valore != 0);
    if (formato.data) {
        const QDateTime dt = serialDateTime(formato.ora ? valore : std::floor(valore), date1904);
        return dt.isValid() ? dateTimeText(dt) : numberText(valore);
    }
    // A whole number the width can hold; a fraction or a negative is shown as it is, as
    // no code is either.
    if (formato.zeri > 0 && valore >= 0 && valore < 1e15 && valore == std::floor(valore)) {
        const QString cifre = QString::number(qint64(valore));
        return cifre.size() >= formato.zeri ? cifre : QString(formato.zeri - cifre.size(), QLatin1Char('0')) + cifre;
    }
    return numberText(valore);
}

namespace {

quint64 le(const QByteArray& b, qint64 o, int n)
{
    if (o < 0 || o + n > b.size()) return ~quint64(0);
    quint64 v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | quint8(b[o + i]);
    return v;
}

} // namespace

// The central directory as written, before libzip sees it: a ZIP whose entries share or
// overlap their data (one small deflated stream named a thousand times) or claim to
// expand far beyond any document is a bomb, not an archive.
void Archivio::controllaVoci() const
{
    const QByteArray& b = m_bytes;
    qint64 fine = -1;
    for (qint64 i = b.size() - 22; i >= 0 && i >= b.size() - 22 - 65535; --i)
        if (b[i] == 'P' && le(b, i, 4) == 0x06054b50) {
            fine = i;
            break;
        }
    if (fine < 0) return; // not an archive libzip will open either
    quint64 voci = le(b, fine + 10, 2), inizio = le(b, fine + 16, 4);
    if (voci == 0xFFFF || inizio == 0xFFFFFFFF) {
        const qint64 localizzatore = fine - 20;
        if (le(b, localizzatore, 4) != 0x07064b50) damaged(m_nome, QStringLiteral("archivio non leggibile"));
        const quint64 fine64 = le(b, localizzatore + 8, 8);
        if (fine64 > quint64(b.size()) || le(b, qint64(fine64), 4) != 0x06064b50)
            damaged(m_nome, QStringLiteral("archivio non leggibile"));
        voci = le(b, qint64(fine64) + 32, 8);
        inizio = le(b, qint64(fine64) + 48, 8);
    }
    if (inizio > quint64(b.size()) || voci > quint64(b.size()) / 46)
        damaged(m_nome, QStringLiteral("archivio non leggibile"));
    std::vector<std::pair<quint64, quint64>> spazi;
    spazi.reserve(size_t(voci));
    bool esagerata = false;
    qint64 p = qint64(inizio);
    for (quint64 v = 0; v < voci; ++v) {
        if (le(b, p, 4) != 0x02014b50) damaged(m_nome, QStringLiteral("archivio non leggibile"));
        quint64 compressi = le(b, p + 20, 4), espansi = le(b, p + 24, 4), locale = le(b, p + 42, 4);
        const qint64 lNome = qint64(le(b, p + 28, 2)), lExtra = qint64(le(b, p + 30, 2)),
                     lCommento = qint64(le(b, p + 32, 2));
        // ZIP64: the sizes and the offset that do not fit 32 bits follow in the extra field.
        for (qint64 e = p + 46 + lNome; e + 4 <= p + 46 + lNome + lExtra;) {
            const quint64 id = le(b, e, 2), lunghezza = le(b, e + 2, 2);
            if (id == 0x0001) {
                qint64 q = e + 4;
                if (espansi == 0xFFFFFFFF) espansi = le(b, q, 8), q += 8;
                if (compressi == 0xFFFFFFFF) compressi = le(b, q, 8), q += 8;
                if (locale == 0xFFFFFFFF) locale = le(b, q, 8);
                break;
            }
            e += 4 + qint64(lunghezza);
        }
        const quint64 dati = locale + 30 + le(b, qint64(locale) + 26, 2) + le(b, qint64(locale) + 28, 2);
        if (locale >= quint64(b.size()) || le(b, qint64(locale), 4) != 0x04034b50 ||
            compressi > quint64(b.size()) || dati + compressi > quint64(b.size()))
            damaged(m_nome, QStringLiteral("archivio non leggibile"));
        if (espansi > 1024 * 1024 && espansi / limits::zipRatio > std::max<quint64>(compressi, 1))
            esagerata = true;
        spazi.emplace_back(locale, dati + compressi);
        p += 46 + lNome + lExtra + lCommento;
    }
    std::sort(spazi.begin(), spazi.end());
    for (size_t i = 1; i < spazi.size(); ++i)
        if (spazi[i].first < spazi[i - 1].second)
            damaged(m_nome, QStringLiteral("parti dell'archivio che condividono gli stessi dati"));
    if (esagerata)
        damaged(m_nome, QStringLiteral("una parte dichiara di espandersi oltre %1 volte la sua dimensione compressa")
                            .arg(limits::zipRatio));
}

Archivio::Archivio(const QByteArray& bytes, const QString& nome) : m_bytes(bytes), m_nome(nome)
{
    controllaVoci();
    zip_error_t errore;
    zip_error_init(&errore);
    zip_source_t* src =
        zip_source_buffer_create(m_bytes.constData(), zip_uint64_t(m_bytes.size()), 0, &errore);
    if (!src) {
        zip_error_fini(&errore);
        damaged(nome);
    }
    m_zip = zip_open_from_source(src, ZIP_RDONLY, &errore);
    if (!m_zip) {
        zip_source_free(src);
        zip_error_fini(&errore);
        damaged(nome, QStringLiteral("archivio non leggibile"));
    }
    zip_error_fini(&errore);
}

Archivio::~Archivio()
{
    if (m_zip) zip_discard(m_zip);
}

bool Archivio::has(const QString& parte) const
{
    return zip_name_locate(m_zip, parte.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

QByteArray Archivio::read(const QString& parte) const
{
    const zip_int64_t indice = zip_name_locate(m_zip, parte.toUtf8().constData(), ZIP_FL_NOCASE);
    if (indice < 0) damaged(m_nome, QStringLiteral("manca la parte %1").arg(parte));
    return readAt(int(indice));
}

int Archivio::count() const
{
    const zip_int64_t n = zip_get_num_entries(m_zip, 0);
    return n < 0 ? 0 : int(std::min<zip_int64_t>(n, std::numeric_limits<int>::max()));
}

QString Archivio::name(int indice) const
{
    const char* n = zip_get_name(m_zip, zip_uint64_t(indice), ZIP_FL_ENC_GUESS);
    return n ? QString::fromUtf8(n) : QString();
}

QByteArray Archivio::readAt(int indice, qint64 limite) const
{
    const QString parte = name(indice);
    zip_file_t* f = zip_fopen_index(m_zip, zip_uint64_t(indice), 0);
    if (!f) {
        const int codice = zip_error_code_zip(zip_get_error(m_zip));
        if (codice == ZIP_ER_NOPASSWD || codice == ZIP_ER_WRONGPASSWD || codice == ZIP_ER_ENCRNOTSUPP)
            passwordProtected(m_nome);
        damaged(m_nome, QStringLiteral("parte %1 non leggibile").arg(parte));
    }
    // The size the directory declares may lie: read until the data ends, within a bound,
    // the read's budget and the ratio to the compressed size.
    zip_stat_t stat;
    zip_stat_init(&stat);
    const qint64 compressi = zip_stat_index(m_zip, zip_uint64_t(indice), 0, &stat) == 0 &&
                                     (stat.valid & ZIP_STAT_COMP_SIZE)
                                 ? qint64(stat.comp_size)
                                 : qint64(m_bytes.size());
    struct Chiudi
    {
        zip_file_t* f;
        ~Chiudi() { zip_fclose(f); }
    } chiudi{f};
    QByteArray out;
    std::vector<char> buffer(65536);
    for (;;) {
        const zip_int64_t letti = zip_fread(f, buffer.data(), buffer.size());
        if (letti < 0) damaged(m_nome, QStringLiteral("parte %1 non leggibile").arg(parte));
        if (letti == 0) break;
        const qint64 totale = out.size() + letti;
        if (totale > limite) tooBig(m_nome, 0, 0);
        if (totale > 1024 * 1024 && totale / limits::zipRatio > std::max<qint64>(compressi, 1))
            damaged(m_nome, QStringLiteral("la parte %1 si espande oltre %2 volte la sua dimensione compressa")
                                .arg(parte)
                                .arg(limits::zipRatio));
        Lettura::decompressi(letti, m_nome);
        out.append(buffer.data(), qsizetype(letti));
    }
    return out;
}

} // namespace detail

QString numberText(double value)
{
    if (std::isnan(value) || std::isinf(value)) return QStringLiteral("#NUM!");
    if (value == 0) return QStringLiteral("0");
    // Fifteen significant digits, as the office programs show a value, so 0.1 + 0.2 is
    // 0,3; never an exponent, which no amount or code in a register carries.
    QString s = QString::number(value, 'g', 15);
    if (s.contains(QLatin1Char('e'))) s = QString::number(value, 'f', QLocale::FloatingPointShortest);
    s.replace(QLatin1Char('.'), QLatin1Char(','));
    return s;
}

QString dateTimeText(const QDateTime& value)
{
    if (!value.isValid()) return QString();
    const QTime t = value.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return value.date().toString(QStringLiteral("dd/MM/yyyy"));
    return value.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
}

QDateTime serialDateTime(double serial, bool date1904)
{
    if (std::isnan(serial) || serial < 0 || serial >= 2958466) return {};
    double giorni = std::floor(serial);
    // Seconds rounded as the office programs round them when they show a time.
    qint64 secondi = qint64(std::llround((serial - giorni) * 86400.0));
    if (secondi >= 86400) {
        secondi -= 86400;
        giorni += 1;
    }
    QDate base;
    if (date1904) {
        base = QDate(1904, 1, 1);
    } else {
        // The 1900 system counts a 29 February 1900 that never was: serials from 61 on
        // are one day ahead of the calendar, serial 60 is that phantom day.
        if (giorni >= 61)
            base = QDate(1899, 12, 30);
        else if (giorni == 60)
            return QDateTime(QDate(1900, 2, 28), QTime(0, 0).addSecs(int(secondi)));
        else
            base = QDate(1899, 12, 31);
    }
    return QDateTime(base.addDays(qint64(giorni)), QTime(0, 0).addSecs(int(secondi)));
}

QString boolText(bool value)
{
    return value ? QStringLiteral("VERO") : QStringLiteral("FALSO");
}

QString columnName(int column)
{
    QString s;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        s.prepend(QChar(u'A' + (c - 1) % 26));
    return s;
}

namespace {

bool startsWith(const QByteArray& b, const char* firma, int n)
{
    return b.size() >= n && memcmp(b.constData(), firma, size_t(n)) == 0;
}

constexpr char cfbf[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

Foglio fromZip(const QByteArray& bytes, const QString& nome)
{
    detail::Archivio archivio(bytes, nome);
    if (archivio.has(QStringLiteral("content.xml"))) {
        if (archivio.has(QStringLiteral("mimetype"))) {
            const QByteArray tipo = archivio.read(QStringLiteral("mimetype")).trimmed();
            if (!tipo.startsWith("application/vnd.oasis.opendocument.spreadsheet"))
                detail::notASpreadsheet(nome);
        }
        return detail::readOds(archivio, nome);
    }
    if (archivio.has(QStringLiteral("_rels/.rels")) || archivio.has(QStringLiteral("xl/workbook.xml")))
        return detail::readXlsx(archivio, nome);
    detail::notASpreadsheet(nome);
}

} // namespace

Foglio parseSpreadsheet(const QByteArray& bytes, const QString& nome)
{
    return detail::protetto(nome, bytes.size(), [&]() -> Foglio {
        if (startsWith(bytes, "PK", 2)) return fromZip(bytes, nome);
        if (startsWith(bytes, cfbf, 8)) return detail::readXls(bytes, nome);
        detail::notASpreadsheet(nome);
    });
}

Foglio readSpreadsheet(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                        .arg(QDir::toNativeSeparators(path), f.errorString()));
    return detail::protetto(path, f.size(), [&]() -> Foglio {
        if (f.size() > detail::maxPartBytes) detail::tooBig(path, 0, 0);
        const QByteArray bytes = f.readAll();
        if (f.error() != QFileDevice::NoError)
            throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                            .arg(QDir::toNativeSeparators(path), f.errorString()));
        return parseSpreadsheet(bytes, path);
    });
}

QString readerVersions()
{
    return QStringLiteral("libgsf %1.%2.%3, libzip %4")
        .arg(libgsf_major_version)
        .arg(libgsf_minor_version)
        .arg(libgsf_micro_version)
        .arg(QString::fromLatin1(zip_libzip_version()));
}

} // namespace sz::sheets
