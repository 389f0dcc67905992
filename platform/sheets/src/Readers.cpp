#include "Internal.h"

#include "scadenzio/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <freexl.h>
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
    throw Error(
        QStringLiteral("Il foglio del file \"%1\" è troppo grande per essere caricato (%2 righe per %3 "
                       "colonne): salvare solo i dati da importare e ripetere il caricamento.")
            .arg(shown(nome))
            .arg(righe)
            .arg(colonne));
}

void Blocco::set(qint64 riga, qint64 colonna, const QString& testo)
{
    if (testo.isEmpty()) return;
    if (riga < 0 || colonna < 0) return;
    if (riga >= maxRows || colonna >= maxColumns) tooBig(m_nome, riga + 1, colonna + 1);
    if (qint64(m_celle.size()) >= maxCells)
        tooBig(m_nome, std::max(m_righe, riga + 1), std::max(m_colonne, colonna + 1));
    m_celle.push_back({riga, colonna, testo});
    m_righe = std::max(m_righe, riga + 1);
    m_colonne = std::max(m_colonne, colonna + 1);
}

void Blocco::illeggibile(qint64 riga, qint64 colonna)
{
    if (riga < 0 || colonna < 0 || riga >= maxRows || colonna >= maxColumns) return;
    if (qint64(m_illeggibili.size()) >= maxCells) return;
    m_illeggibili.emplace_back(riga, colonna);
    m_righe = std::max(m_righe, riga + 1);
    m_colonne = std::max(m_colonne, colonna + 1);
}

Foglio Blocco::finish()
{
    if (m_righe * m_colonne > maxCells) tooBig(m_nome, m_righe, m_colonne);
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
        std::sort(m_illeggibili.begin(), m_illeggibili.end());
        m_illeggibili.erase(std::unique(m_illeggibili.begin(), m_illeggibili.end()), m_illeggibili.end());
        std::set<qint64> colonne;
        for (const auto& [r, c] : m_illeggibili)
            colonne.insert(c);
        QStringList nomi;
        for (qint64 c : colonne)
            nomi << columnName(int(c));
        const qsizetype n = qsizetype(m_illeggibili.size());
        f.avviso = (n == 1 ? QStringLiteral("1 cella con una formula non può essere letta")
                           : QStringLiteral("%1 celle con formule non possono essere lette").arg(n)) +
                   (nomi.size() == 1 ? QStringLiteral(" (colonna %1)").arg(nomi.first())
                                     : QStringLiteral(" (colonne %1)").arg(nomi.join(QStringLiteral(", ")))) +
                   QStringLiteral(" e resterebbero vuote. Per importarne i valori aprire il file con il "
                                  "programma che lo ha creato, salvarlo come .xlsx o .csv e ripetere il "
                                  "caricamento.");
    }
    m_illeggibili.clear();
    return f;
}

Archivio::Archivio(const QByteArray& bytes, const QString& nome) : m_bytes(bytes), m_nome(nome)
{
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
    // The size the directory declares may lie: read until the data ends, within a bound.
    QByteArray out;
    char buffer[65536];
    for (;;) {
        const zip_int64_t letti = zip_fread(f, buffer, sizeof buffer);
        if (letti < 0) {
            zip_fclose(f);
            damaged(m_nome, QStringLiteral("parte %1 non leggibile").arg(parte));
        }
        if (letti == 0) break;
        if (out.size() + letti > limite) {
            zip_fclose(f);
            tooBig(m_nome, 0, 0);
        }
        out.append(buffer, qsizetype(letti));
    }
    zip_fclose(f);
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
    if (startsWith(bytes, "PK", 2)) return fromZip(bytes, nome);
    if (startsWith(bytes, cfbf, 8)) detail::damaged(nome, QStringLiteral("un file .xls va letto dal disco"));
    detail::notASpreadsheet(nome);
}

Foglio readSpreadsheet(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                        .arg(QDir::toNativeSeparators(path), f.errorString()));
    const QByteArray inizio = f.peek(8);
    if (startsWith(inizio, cfbf, 8)) {
        f.close();
        return detail::readXls(path, path);
    }
    if (f.size() > detail::maxPartBytes) detail::tooBig(path, 0, 0);
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw Error(QStringLiteral("Impossibile leggere il file \"%1\": %2.")
                        .arg(QDir::toNativeSeparators(path), f.errorString()));
    return parseSpreadsheet(bytes, path);
}

QString readerVersions()
{
    return QStringLiteral("freexl %1, libzip %2")
        .arg(QString::fromLatin1(freexl_version()), QString::fromLatin1(zip_libzip_version()));
}

} // namespace sz::sheets
