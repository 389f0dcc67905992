#include "scadenzio/Esporta.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QSaveFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace sz::esporta {

namespace {

// Excel's limits: the last row of a sheet holds row 1,048,575 after the title row, and
// a cell holds at most 32,767 characters.
constexpr int MaxRighe = LXW_ROW_MAX - 1;
constexpr int MaxColonne = LXW_COL_MAX;
constexpr int MaxTestoCella = 32767;

QString impossibile(const QString& file, const QString& motivo)
{
    return QStringLiteral("Impossibile scrivere il file \"%1\": %2")
        .arg(QDir::toNativeSeparators(file), motivo);
}

QString motivoDiSistema(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return QStringLiteral("permesso negato");
    case ENOENT:
        return QStringLiteral("la cartella non esiste");
    case ENOTDIR:
        return QStringLiteral("il percorso non è una cartella");
    case EISDIR:
        return QStringLiteral("il nome è quello di una cartella");
    case ENOSPC:
        return QStringLiteral("spazio su disco esaurito");
    case EDQUOT:
        return QStringLiteral("quota disco superata");
    case EFBIG:
        return QStringLiteral("il file supera la dimensione massima consentita");
    case EROFS:
        return QStringLiteral("il disco è in sola lettura");
    case ENAMETOOLONG:
        return QStringLiteral("nome troppo lungo");
    case EIO:
        return QStringLiteral("errore di lettura o scrittura del disco");
    default:
        return QStringLiteral("errore di sistema %1 (%2)")
            .arg(err)
            .arg(QString::fromLocal8Bit(std::strerror(err)));
    }
}

bool controllo(char32_t c)
{
    return (c < 0x20 && c != '\t' && c != '\n') || (c >= 0x7F && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF;
}

// A text as a cell can hold it. Control characters are not allowed in an XML file and
// break the rows of a CSV for some readers: they are dropped, except the tab and the line
// break (a CR LF or a lone CR becomes a line feed). A lone surrogate half is dropped too.
QString pulito(const QString& s)
{
    bool daPulire = false;
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        if (controllo(u) || c.isSurrogate()) {
            daPulire = true;
            break;
        }
    }
    if (!daPulire) return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out += c;
            out += s[++i];
            continue;
        }
        if (c.isSurrogate()) continue;
        if (c == QLatin1Char('\r')) {
            if (i + 1 < s.size() && s[i + 1] == QLatin1Char('\n')) continue;
            out += QLatin1Char('\n');
            continue;
        }
        if (controllo(c.unicode())) continue;
        out += c;
    }
    return out;
}

QString tagliato(QString s)
{
    if (s.size() <= MaxTestoCella) return s;
    qsizetype n = MaxTestoCella;
    if (s[n - 1].isHighSurrogate()) --n;
    s.truncate(n);
    return s;
}

// A cell as it goes into a file: empty, a text, an amount, a number, a date, a date and time.
struct Cella
{
    enum Genere { Vuota, Testo, Importo, Numero, Data, DataOra } genere = Vuota;
    QString testo;
    Money importo;
    double numero = 0;
    QDateTime quando; // date (midnight) or date and time
};

std::optional<Money> importoDi(const QVariant& v)
{
    const int t = v.userType();
    if (t == qMetaTypeId<Money>()) return v.value<Money>();
    if (t == qMetaTypeId<FormattedAmount>()) return v.value<FormattedAmount>().amount;
    switch (t) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long: {
        const qlonglong n = v.toLongLong();
        if (n > std::numeric_limits<std::int64_t>::max() / Money::Scale ||
            n < std::numeric_limits<std::int64_t>::min() / Money::Scale)
            return std::nullopt;
        return Money::fromRaw(n * Money::Scale);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (!std::isfinite(d) || std::fabs(d) > 9e14) return std::nullopt;
        return Money::fromDouble(d);
    }
    case QMetaType::QString: {
        QString s = v.toString().trimmed();
        // Only what a list shows as an amount: a bare "12" in a text could be anything.
        const bool negativo = s.startsWith(QLatin1Char('-'));
        if (!s.mid(negativo ? 1 : 0).startsWith(QChar(0x20AC))) return std::nullopt;
        return Money::parse(s);
    }
    default:
        return std::nullopt;
    }
}

QDateTime dataOraDiTesto(const QString& s)
{
    const QString t = s.trimmed();
    for (const char* formato : {"dd/MM/yyyy HH:mm:ss", "dd/MM/yyyy HH:mm", "yyyy-MM-dd HH:mm:ss",
                                "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm"}) {
        const QDateTime d = QDateTime::fromString(t, QLatin1String(formato));
        if (d.isValid()) return d;
    }
    return {};
}

QDate dataDiTesto(const QString& s)
{
    const QString t = s.trimmed();
    const QDate d = dates::fromDisplay(t);
    if (d.isValid()) return d;
    // An ISO date alone, as the database keeps it.
    if (t.size() == 10 && t[4] == QLatin1Char('-')) return dates::fromIso(t);
    return {};
}

std::optional<double> numeroDi(const QVariant& v)
{
    switch (v.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (!std::isfinite(d)) return std::nullopt;
        return d;
    }
    case QMetaType::QString: {
        const QString s = v.toString().trimmed();
        bool ok = false;
        double d = QLocale(QLocale::Italian, QLocale::Italy).toDouble(s, &ok);
        if (!ok) d = QLocale::c().toDouble(s, &ok);
        if (!ok || !std::isfinite(d)) return std::nullopt;
        return d;
    }
    default:
        if (v.userType() == qMetaTypeId<Money>() || v.userType() == qMetaTypeId<FormattedAmount>())
            return importoDi(v)->toDouble();
        return std::nullopt;
    }
}

// Excel counts days from 1900; earlier dates, and the years after 9999, exist only as text.
bool dataScrivibile(const QDate& d)
{
    return d.isValid() && d.year() >= 1900 && d.year() <= 9999;
}

Cella cellaDi(const QVariant& v, Tipo tipo)
{
    Cella c;
    if (!v.isValid() || v.isNull()) return c;
    switch (tipo) {
    case Tipo::Importo:
        if (const auto m = importoDi(v)) {
            c.genere = Cella::Importo;
            c.importo = *m;
            return c;
        }
        break;
    case Tipo::Data: {
        QDate d;
        if (v.userType() == QMetaType::QDate)
            d = v.toDate();
        else if (v.userType() == QMetaType::QDateTime)
            d = v.toDateTime().date();
        else if (v.userType() == QMetaType::QString)
            d = dataDiTesto(v.toString());
        if (dataScrivibile(d)) {
            c.genere = Cella::Data;
            c.quando = QDateTime(d, QTime(0, 0));
            return c;
        }
        break;
    }
    case Tipo::DataOra: {
        QDateTime d;
        if (v.userType() == QMetaType::QDateTime)
            d = v.toDateTime();
        else if (v.userType() == QMetaType::QDate)
            d = QDateTime(v.toDate(), QTime(0, 0));
        else if (v.userType() == QMetaType::QString) {
            d = dataOraDiTesto(v.toString());
            if (!d.isValid()) d = QDateTime(dataDiTesto(v.toString()), QTime(0, 0));
        }
        if (d.isValid() && dataScrivibile(d.date())) {
            c.genere = Cella::DataOra;
            c.quando = d;
            return c;
        }
        break;
    }
    case Tipo::Numero:
        if (const auto n = numeroDi(v)) {
            c.genere = Cella::Numero;
            c.numero = *n;
            return c;
        }
        break;
    case Tipo::Testo:
        break;
    }
    c.testo = tagliato(pulito(testoDi(v)));
    c.genere = c.testo.isEmpty() ? Cella::Vuota : Cella::Testo;
    return c;
}

Tipo tipoColonna(const Tabella& t, int colonna)
{
    return colonna < t.tipi.size() ? t.tipi[colonna] : Tipo::Testo;
}

void controllaDimensioni(const QString& file, const Tabella& t)
{
    if (t.righe.size() > MaxRighe)
        throw Error(
            impossibile(file, QStringLiteral("l'elenco ha %1 righe, più di quante un foglio ne contenga (%2)")
                                  .arg(t.righe.size())
                                  .arg(MaxRighe)));
    if (t.titoli.size() > MaxColonne)
        throw Error(
            impossibile(file, QStringLiteral("l'elenco ha troppe colonne (%1)").arg(t.titoli.size())));
}

// ---- .csv ----------------------------------------------------------------------------------

// Amounts and numbers as an Italian spreadsheet reads them: a decimal comma and nothing
// else, at least two decimals for an amount and all four of an amount that has them.
QString importoCsv(Money m)
{
    const std::int64_t raw = m.raw();
    const bool negativo = raw < 0;
    // The magnitude without overflow for the smallest amount.
    const std::uint64_t abs = negativo ? std::uint64_t(0) - std::uint64_t(raw) : std::uint64_t(raw);
    const std::uint64_t interi = abs / Money::Scale;
    std::uint64_t frazione = abs % Money::Scale;
    QString decimali = QString::number(frazione).rightJustified(4, QLatin1Char('0'));
    while (decimali.size() > 2 && decimali.endsWith(QLatin1Char('0')))
        decimali.chop(1);
    return (negativo ? QStringLiteral("-") : QString()) + QString::number(interi) + QLatin1Char(',') +
           decimali;
}

QString numeroCsv(double d)
{
    QString s = QLocale::c().toString(d, 'g', 15);
    if (s.contains(QLatin1Char('e'))) // very large or small: written out in full
        s = QLocale::c().toString(d, 'f', 10);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.'))) s.chop(1);
    }
    s.replace(QLatin1Char('.'), QLatin1Char(','));
    return s;
}

// A spreadsheet opening a CSV by a double click reads a field that starts with = + - or @
// as a formula, and runs it. Client names, notes and references come from outside (imports,
// mail addresses typed by others), so such a text is written with a leading apostrophe and
// stays a text; amounts and numbers are never texts here and keep their sign. The same
// guard covers a leading tab or CR, which some programs skip before looking for "=".
QString testoCsv(const QString& s)
{
    if (s.isEmpty()) return s;
    const QChar c = s[0];
    if (c == QLatin1Char('=') || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('@') ||
        c == QLatin1Char('\t') || c == QLatin1Char('\r'))
        return QLatin1Char('\'') + s;
    return s;
}

QString campoCsv(const QString& s)
{
    if (!s.contains(QLatin1Char(';')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n')) &&
        !s.contains(QLatin1Char('\r')))
        return s;
    QString q = s;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString testoCellaCsv(const Cella& c)
{
    switch (c.genere) {
    case Cella::Vuota:
        return {};
    case Cella::Testo:
        return campoCsv(testoCsv(c.testo));
    case Cella::Importo:
        return importoCsv(c.importo);
    case Cella::Numero:
        return numeroCsv(c.numero);
    case Cella::Data:
        return dates::toDisplay(c.quando.date());
    case Cella::DataOra:
        return c.quando.toString(c.quando.time().second() == 0 ? QStringLiteral("dd/MM/yyyy HH:mm")
                                                               : QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    }
    return {};
}

// ---- .xlsx ---------------------------------------------------------------------------------

// A text that looks like "_x0041_" is read by Excel as the character it encodes; its
// underscore is written escaped so that the text comes back as it was.
QString senzaEscapeXlsx(const QString& s)
{
    if (!s.contains(QLatin1String("_x"), Qt::CaseInsensitive)) return s;
    QString out;
    out.reserve(s.size() + 8);
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('_') && i + 6 < s.size() &&
            (s[i + 1] == QLatin1Char('x') || s[i + 1] == QLatin1Char('X')) && s[i + 6] == QLatin1Char('_')) {
            bool esadecimale = true;
            for (int k = 2; k < 6; ++k)
                esadecimale = esadecimale && isxdigit(s[i + k].unicode() < 128 ? s[i + k].toLatin1() : 'z');
            if (esadecimale) {
                out += QLatin1String("_x005F_");
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// The UTF-8 a string cell is given: escaped, then within the cell's limit again (the
// escapes lengthen it).
QByteArray testoXlsx(const QString& s)
{
    return tagliato(senzaEscapeXlsx(s)).toUtf8();
}

// The width of a column in characters, from its longest line.
int larghezza(const QString& s)
{
    int massimo = 0, corrente = 0;
    for (const QChar c : s) {
        if (c == QLatin1Char('\n')) {
            massimo = std::max(massimo, corrente);
            corrente = 0;
        } else if (!c.isLowSurrogate()) {
            ++corrente;
        }
    }
    return std::max(massimo, corrente);
}

QString testoMostrato(const Cella& c)
{
    switch (c.genere) {
    case Cella::Vuota:
        return {};
    case Cella::Testo:
        return c.testo;
    case Cella::Importo:
        return c.importo.toDisplay();
    case Cella::Numero:
        return numeroCsv(c.numero);
    case Cella::Data:
        return QStringLiteral("00/00/0000");
    case Cella::DataOra:
        return QStringLiteral("00/00/0000 00:00:00");
    }
    return {};
}

lxw_datetime datetimeDi(const QDateTime& d)
{
    lxw_datetime dt{};
    dt.year = d.date().year();
    dt.month = d.date().month();
    dt.day = d.date().day();
    dt.hour = d.time().hour();
    dt.min = d.time().minute();
    dt.sec = d.time().second();
    return dt;
}

// A name beside the target that nobody else uses, created empty with the permissions a
// new file gets (the umask applies) or those of the file it will replace.
QString fileTemporaneo(const QString& destinazione, const QString& file)
{
    const QFileInfo fi(destinazione);
    const QString cartella = fi.absolutePath();
    struct stat st
    {
    };
    const bool esiste = ::stat(QFile::encodeName(fi.absoluteFilePath()).constData(), &st) == 0;
    if (esiste && S_ISDIR(st.st_mode)) throw Error(impossibile(file, motivoDiSistema(EISDIR)));
    for (int tentativo = 0; tentativo < 100; ++tentativo) {
        const QString nome =
            cartella + QStringLiteral("/.") + fi.fileName().left(100) +
            QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const QByteArray n = QFile::encodeName(nome);
        const int fd = ::open(n.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            throw Error(impossibile(file, motivoDiSistema(errno)));
        }
        if (esiste) ::fchmod(fd, st.st_mode & 07777);
        ::close(fd);
        return nome;
    }
    throw Error(impossibile(file, motivoDiSistema(EEXIST)));
}

struct Rimuovi
{
    QString nome;
    ~Rimuovi()
    {
        if (!nome.isEmpty()) ::unlink(QFile::encodeName(nome).constData());
    }
};

struct ChiudiWorkbook
{
    lxw_workbook* wb = nullptr;
    ~ChiudiWorkbook()
    {
        // Closing is the only way to free it; what it writes goes to the temporary file,
        // which is removed.
        if (wb) workbook_close(wb);
    }
};

} // namespace

QString testoDi(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) return {};
    const int t = v.userType();
    if (t == QMetaType::QDate) return dates::toDisplay(v.toDate());
    if (t == QMetaType::QDateTime) return v.toDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    if (t == QMetaType::Bool) return v.toBool() ? QStringLiteral("SI") : QStringLiteral("NO");
    if (t == qMetaTypeId<Money>()) return v.value<Money>().toDisplay();
    if (t == qMetaTypeId<FormattedAmount>()) return v.value<FormattedAmount>().text();
    if (t == QMetaType::Double || t == QMetaType::Float) return numeroCsv(v.toDouble());
    return v.toString();
}

Tipo tipoDi(const QList<QVariant>& valori)
{
    bool importi = true, date = true, dateOre = true, numeri = true, qualcosa = false;
    for (const QVariant& v : valori) {
        if (!v.isValid() || v.isNull() ||
            (v.userType() == QMetaType::QString && v.toString().trimmed().isEmpty()))
            continue;
        qualcosa = true;
        const int t = v.userType();
        const bool importo = t == qMetaTypeId<Money>() || t == qMetaTypeId<FormattedAmount>() ||
                             (t == QMetaType::QString && importoDi(v).has_value());
        const bool data =
            t == QMetaType::QDate || (t == QMetaType::QString && dataScrivibile(dataDiTesto(v.toString())));
        const bool dataOra = t == QMetaType::QDateTime;
        const bool numero = t == QMetaType::Int || t == QMetaType::UInt || t == QMetaType::LongLong ||
                            t == QMetaType::ULongLong || t == QMetaType::Double || t == QMetaType::Float;
        importi = importi && importo;
        date = date && data;
        dateOre = dateOre && dataOra;
        numeri = numeri && numero;
        if (!importi && !date && !dateOre && !numeri) return Tipo::Testo;
    }
    if (!qualcosa) return Tipo::Testo;
    if (importi) return Tipo::Importo;
    if (date) return Tipo::Data;
    if (dateOre) return Tipo::DataOra;
    if (numeri) return Tipo::Numero;
    return Tipo::Testo;
}

void scrivi(const QString& file, const Tabella& tabella)
{
    if (file.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        scriviXlsx(file, tabella);
    else
        scriviCsv(file, tabella);
}

void scriviCsv(const QString& file, const Tabella& tabella)
{
    const int colonne = int(tabella.titoli.size());
    QByteArray out;
    out.reserve(64 + tabella.righe.size() * colonne * 12);
    out += "\xEF\xBB\xBF";
    QString riga;
    auto chiudiRiga = [&] {
        out += riga.toUtf8();
        out += "\r\n";
        riga.clear();
    };
    for (int c = 0; c < colonne; ++c) {
        if (c) riga += QLatin1Char(';');
        riga += campoCsv(testoCsv(pulito(tabella.titoli[c])));
    }
    chiudiRiga();
    for (const auto& r : tabella.righe) {
        for (int c = 0; c < colonne; ++c) {
            if (c) riga += QLatin1Char(';');
            if (c < r.size()) riga += testoCellaCsv(cellaDi(r[c], tipoColonna(tabella, c)));
        }
        chiudiRiga();
    }

    if (QFileInfo(file).isDir()) throw Error(impossibile(file, motivoDiSistema(EISDIR)));
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly)) {
        const int err = errno;
        throw Error(impossibile(file, err ? motivoDiSistema(err) : f.errorString()));
    }
    errno = 0;
    if (f.write(out) != out.size() || !f.commit()) {
        const int err = errno;
        throw Error(impossibile(file, err ? motivoDiSistema(err) : f.errorString()));
    }
}

void scriviXlsx(const QString& file, const Tabella& tabella)
{
    controllaDimensioni(file, tabella);
    const int colonne = int(tabella.titoli.size());
    const int righe = int(tabella.righe.size());

    // Every cell is converted once; the widths need the whole column before the first row.
    QVector<QVector<Cella>> celle(righe);
    QVector<int> larghezze(colonne, 0);
    QVector<QString> titoli(colonne);
    for (int c = 0; c < colonne; ++c) {
        titoli[c] = tagliato(pulito(tabella.titoli[c]));
        larghezze[c] = larghezza(titoli[c]) + 2; // bold, and the autofilter's arrow
    }
    for (int r = 0; r < righe; ++r) {
        const auto& riga = tabella.righe[r];
        QVector<Cella>& out = celle[r];
        out.resize(colonne);
        for (int c = 0; c < colonne && c < riga.size(); ++c) {
            out[c] = cellaDi(riga[c], tipoColonna(tabella, c));
            if (out[c].genere != Cella::Vuota)
                larghezze[c] = std::max(larghezze[c], larghezza(testoMostrato(out[c])));
        }
    }

    // A link is followed, as a save does: the file it points to is the one replaced.
    const QString destinazione = QFileInfo(file).isSymLink() && QFileInfo(file).exists()
                                     ? QFileInfo(file).canonicalFilePath()
                                     : QFileInfo(file).absoluteFilePath();
    Rimuovi temporaneo{fileTemporaneo(destinazione, file)};
    const QByteArray nomeTemporaneo = QFile::encodeName(temporaneo.nome);

    // Rows go straight to a scratch file as they are written instead of staying in memory:
    // a register of a hundred thousand credits is a million cells.
    QByteArray cartellaLavoro = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options opzioni{};
    opzioni.constant_memory = LXW_TRUE;
    opzioni.tmpdir = cartellaLavoro.data();
    opzioni.use_zip64 = LXW_TRUE;
    ChiudiWorkbook wb{workbook_new_opt(nomeTemporaneo.constData(), &opzioni)};
    if (!wb.wb) throw Error(impossibile(file, QStringLiteral("memoria insufficiente")));
    lxw_worksheet* ws = workbook_add_worksheet(wb.wb, "Elenco");
    lxw_format* grassetto = workbook_add_format(wb.wb);
    lxw_format* euro = workbook_add_format(wb.wb);
    lxw_format* giorno = workbook_add_format(wb.wb);
    lxw_format* giornoOra = workbook_add_format(wb.wb);
    lxw_format* aCapo = workbook_add_format(wb.wb);
    if (!ws || !grassetto || !euro || !giorno || !giornoOra || !aCapo)
        throw Error(
            impossibile(file, QStringLiteral("impossibile preparare il foglio nella cartella temporanea")));
    format_set_bold(grassetto);
    format_set_num_format(euro, "\xE2\x82\xAC #,##0.00");
    format_set_num_format(giorno, "dd/mm/yyyy");
    format_set_num_format(giornoOra, "dd/mm/yyyy hh:mm:ss");
    format_set_text_wrap(aCapo);

    lxw_error errore = LXW_NO_ERROR;
    auto annota = [&errore](lxw_error e) {
        if (e != LXW_NO_ERROR && errore == LXW_NO_ERROR) errore = e;
    };
    for (int c = 0; c < colonne; ++c)
        annota(worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), std::clamp(larghezze[c], 6, 60) + 1,
                                    nullptr));
    if (colonne > 0) {
        worksheet_freeze_panes(ws, 1, 0);
        annota(worksheet_autofilter(ws, 0, 0, lxw_row_t(righe), lxw_col_t(colonne - 1)));
    }
    for (int c = 0; c < colonne; ++c)
        annota(worksheet_write_string(ws, 0, lxw_col_t(c), testoXlsx(titoli[c]).constData(), grassetto));
    for (int r = 0; r < righe && errore == LXW_NO_ERROR; ++r) {
        const lxw_row_t riga = lxw_row_t(r + 1);
        for (int c = 0; c < colonne; ++c) {
            const Cella& x = celle[r][c];
            const lxw_col_t col = lxw_col_t(c);
            switch (x.genere) {
            case Cella::Vuota:
                break;
            case Cella::Testo:
                annota(worksheet_write_string(ws, riga, col, testoXlsx(x.testo).constData(),
                                              x.testo.contains(QLatin1Char('\n')) ? aCapo : nullptr));
                break;
            case Cella::Importo:
                annota(worksheet_write_number(ws, riga, col, double(x.importo.raw()) / double(Money::Scale),
                                              euro));
                break;
            case Cella::Numero:
                annota(worksheet_write_number(ws, riga, col, x.numero, nullptr));
                break;
            case Cella::Data:
            case Cella::DataOra: {
                lxw_datetime dt = datetimeDi(x.quando);
                annota(worksheet_write_datetime(ws, riga, col, &dt,
                                                x.genere == Cella::Data ? giorno : giornoOra));
                break;
            }
            }
        }
    }
    // Celle no longer needed: the scratch file holds the rows.
    celle.clear();
    celle.squeeze();

    if (errore != LXW_NO_ERROR) throw Error(impossibile(file, QString::fromUtf8(lxw_strerror(errore))));
    errno = 0;
    const lxw_error chiusura = workbook_close(wb.wb);
    const int err = errno;
    wb.wb = nullptr;
    if (chiusura != LXW_NO_ERROR)
        throw Error(impossibile(file, err == ENOSPC || err == EDQUOT || err == EACCES || err == EROFS ||
                                              err == EIO || err == EFBIG
                                          ? motivoDiSistema(err)
                                          : QString::fromUtf8(lxw_strerror(chiusura))));
    // On the disk before it takes the place of the old file: a crash then leaves one or the other.
    if (const int fd = ::open(nomeTemporaneo.constData(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    if (::rename(nomeTemporaneo.constData(), QFile::encodeName(destinazione).constData()) != 0)
        throw Error(impossibile(file, motivoDiSistema(errno)));
    temporaneo.nome.clear();
}

} // namespace sz::esporta
