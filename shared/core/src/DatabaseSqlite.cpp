#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include "scadenzio/Database.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"

#include <QByteArrayView>
#include <QDir>
#include <QHash>
#include <QVarLengthArray>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "DatabaseBackend.h"

#include <optional>

namespace sz::db::detail {

namespace {

// Several connections hold the file at once (main window, frame, import worker, other
// workstations, the command-line tool): a lock held by one of them is waited for.
constexpr int BusyTimeoutMs = 10000;

DatabaseError::Fault faultOf(int code)
{
    using F = DatabaseError::Fault;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return F::Busy;
    case SQLITE_FULL:
        return F::Full;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return F::ReadOnly;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return F::Damaged;
    case SQLITE_CONSTRAINT:
        return F::Constraint;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        return F::Io;
    default:
        return F::Other;
    }
}

// What the clerk reads for the engine's common failures: what happened and what to do.
QString clerkText(int code)
{
    switch (code) {
    case SQLITE_CONSTRAINT_NOTNULL:
        return QStringLiteral("manca un dato obbligatorio: completarlo e salvare di nuovo");
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        return QStringLiteral("esiste già una riga con lo stesso valore: correggerlo e salvare di nuovo");
    default:
        break;
    }
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("il database è in uso da un'altra finestra, postazione o programma e non si è "
                              "liberato in tempo: riprovare tra qualche istante");
    case SQLITE_FULL:
        return QStringLiteral("il disco che contiene il database è pieno: liberare spazio e riprovare");
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return QStringLiteral("il database non si può modificare perché il file o la sua cartella sono in sola "
                              "lettura: chiedere a chi gestisce il computer il permesso di scrittura");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("il file del database è danneggiato o incompleto: sostituirlo con la copia della "
                              "cartella Backup/DB e avvisare l'assistenza");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("il dato non è ammesso dal database: correggerlo e salvare di nuovo");
    case SQLITE_IOERR:
        return QStringLiteral("errore di lettura o scrittura sul disco del database: controllare il disco o il "
                              "collegamento alla cartella di rete e riprovare");
    case SQLITE_CANTOPEN:
        return QStringLiteral("il file del database non si può aprire: controllare che la sua cartella esista e "
                              "sia raggiungibile");
    default:
        return {};
    }
}

// The engine's text stays after the clerk's, in brackets, for whoever gives support.
DatabaseError engineError(int code, const QString& engineText, const QString& context = QString())
{
    const QString clerk = clerkText(code);
    QString msg = clerk.isEmpty() ? engineText : clerk + QStringLiteral(" (") + engineText + QLatin1Char(')');
    if (!context.isEmpty())
        msg = context + QStringLiteral(": ") + msg;
    return DatabaseError(msg, faultOf(code), code);
}

DatabaseError engineError(sqlite3* db, const QString& context = QString())
{
    if (!db)
        return engineError(SQLITE_NOMEM, QString::fromUtf8(sqlite3_errstr(SQLITE_NOMEM)), context);
    return engineError(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)), context);
}

// "" when the database passes PRAGMA quick_check, otherwise what the check found.
QString quickCheckProblems(Connection& conn)
{
    const Result r = conn.query(QStringLiteral("PRAGMA quick_check"));
    QStringList found;
    for (const auto& row : r.rows)
        if (!row.isEmpty())
            found << row[0].toString();
    if (found == QStringList{QStringLiteral("ok")})
        return {};
    if (found.size() > 3)
        found = found.mid(0, 3) << QStringLiteral("…");
    return found.isEmpty() ? QStringLiteral("nessuna risposta dalla verifica") : found.join(QStringLiteral("; "));
}

// What is wrong with a database that does not read whole, in the clerk's words with the
// engine's findings after them; "" when it is sound or cannot be checked now (busy).
QString damageOf(Connection& conn)
{
    QString found;
    try {
        found = quickCheckProblems(conn);
    } catch (const DatabaseError& e) {
        if (e.fault() == DatabaseError::Fault::Busy)
            return {};
        return e.fault() == DatabaseError::Fault::Damaged ? e.message() : QString();
    } catch (const Error&) {
        return {};
    }
    return found.isEmpty() ? QString() : clerkText(SQLITE_CORRUPT) + QStringLiteral(" (") + found + QLatin1Char(')');
}

enum class Kind { Plain, Date, Money, Bool };

Kind kindOf(const char* decl)
{
    if (!decl)
        return Kind::Plain;
    const auto startsWith = [decl](const char* prefix) {
        return qstrnicmp(decl, prefix, qsizetype(std::strlen(prefix))) == 0;
    };
    if (startsWith("DATETIME") || qstricmp(decl, "DATE") == 0)
        return Kind::Date;
    if (startsWith("CURRENCY"))
        return Kind::Money;
    if (startsWith("YESNO"))
        return Kind::Bool;
    return Kind::Plain;
}

// Column names and declared types come back on every run of a statement, and an import
// runs its statements once per row: each thread keeps the strings it made last in a small
// table by the engine's pointer, and reuses one when the pointer and the text both match
// (a pointer alone may have been freed and reused by another statement).
QString columnMeta(const char* p, bool upper)
{
    if (!p)
        return {};
    struct Slot
    {
        const char* p = nullptr;
        bool upper = false;
        QByteArray bytes;
        QString text;
    };
    thread_local std::array<Slot, 256> recenti;
    Slot& slot = recenti[((reinterpret_cast<quintptr>(p) >> 3) * 2654435761u + (upper ? 1 : 0)) % recenti.size()];
    if (slot.p == p && slot.upper == upper && std::strcmp(slot.bytes.constData(), p) == 0)
        return slot.text;
    QString s = QString::fromUtf8(p);
    if (upper)
        s = std::move(s).toUpper();
    slot.p = p;
    slot.upper = upper;
    slot.bytes = QByteArray(p);
    slot.text = s;
    return s;
}

QString textOf(sqlite3_value* v)
{
    const auto* p = reinterpret_cast<const char16_t*>(sqlite3_value_text16(v));
    const int bytes = sqlite3_value_bytes16(v);
    return p ? QString::fromUtf16(p, bytes / 2) : QString();
}

// Stored text is UTF-8: read as such, so SQLite does not convert it to UTF-16 first.
QString columnText(sqlite3_stmt* st, int i)
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
    const int bytes = sqlite3_column_bytes(st, i);
    return p ? QString::fromUtf8(p, bytes) : QString();
}

// "yyyy-mm-dd" straight from the stored bytes; anything else is not a date.
QDate isoDate(const char* p, int n)
{
    if (n < 10 || p[4] != '-' || p[7] != '-')
        return {};
    int v[3] = {0, 0, 0};
    const int from[3] = {0, 5, 8}, count[3] = {4, 2, 2};
    for (int k = 0; k < 3; ++k)
        for (int j = from[k]; j < from[k] + count[k]; ++j) {
            if (p[j] < '0' || p[j] > '9')
                return {};
            v[k] = v[k] * 10 + (p[j] - '0');
        }
    return QDate(v[0], v[1], v[2]);
}

// Lists repeat the same texts on many rows (client, payment mode, bank, state): a
// column's repeated values share one string instead of one allocation each. A column
// whose values are mostly different (document numbers, notes) stops being pooled.
class TextPool
{
public:
    QString text(const char* p, int n)
    {
        if (m_off)
            return QString::fromUtf8(p, n);
        const QByteArrayView key(p, n);
        const auto it = m_map.constFind(key);
        if (it != m_map.cend())
            return *it;
        QString s = QString::fromUtf8(p, n);
        if (++m_seen >= 1024 && m_map.size() * 2 > m_seen) {
            m_off = true;
            m_map.clear();
            m_keys.clear();
            return s;
        }
        if (m_map.size() < 65536) {
            m_keys.emplace_back(p, n);
            m_map.insert(QByteArrayView(m_keys.back()), s);
        }
        return s;
    }

private:
    QHash<QByteArrayView, QString> m_map;
    // The map's keys point into these arrays' data, which stays put when the vector
    // moves them; unlike a deque, an empty vector costs no allocation (one pool per
    // column of every statement run).
    std::vector<QByteArray> m_keys;
    int m_seen = 0;
    bool m_off = false;
};

void resultText(sqlite3_context* ctx, const QString& s)
{
    const QByteArray utf8 = s.toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void resultError(sqlite3_context* ctx, const QString& s)
{
    const QByteArray utf8 = s.toUtf8();
    sqlite3_result_error(ctx, utf8.constData(), int(utf8.size()));
}

QVariant readColumn(sqlite3_stmt* st, int i, Kind kind, bool computed, TextPool* pool)
{
    const int type = sqlite3_column_type(st, i);
    if (type == SQLITE_NULL)
        return {};
    auto bytes = [st, i](int& n) {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        n = sqlite3_column_bytes(st, i);
        return p ? p : "";
    };
    switch (kind) {
    case Kind::Date: {
        int n = 0;
        const char* p = bytes(n);
        const QDate d = isoDate(p, n);
        return d.isValid() ? QVariant(d) : QVariant(QString::fromUtf8(p, n));
    }
    case Kind::Money:
        if (type == SQLITE_INTEGER)
            return QVariant::fromValue(Money::fromRaw(sqlite3_column_int64(st, i)));
        if (type == SQLITE_FLOAT)
            return QVariant::fromValue(Money::fromRaw(std::llround(sqlite3_column_double(st, i))));
        if (auto m = Money::parse(columnText(st, i)))
            return QVariant::fromValue(*m);
        return columnText(st, i);
    case Kind::Bool:
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
            return QVariant(sqlite3_column_int64(st, i) != 0);
        return columnText(st, i);
    case Kind::Plain:
        break;
    }
    switch (type) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(st, i));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i));
    default: {
        int n = 0;
        const char* p = bytes(n);
        // Only a computed column can be a formatted amount; a stored text never changes type.
        if (computed && n > 4 && (p[0] == '\xE2' || p[0] == '-'))
            if (const auto f = FormattedAmount::fromDisplay(p, n))
                return QVariant::fromValue(*f);
        // An expression over date columns (the latest of several stages, say) is a date,
        // as it would be in the columns it came from, so lists show and sort it as one.
        if (computed && n == 10)
            if (const QDate d = isoDate(p, n); d.isValid())
                return QVariant(d);
        return pool ? pool->text(p, n) : QString::fromUtf8(p, n);
    }
    }
}

// ---- functions registered on every connection -------------------------------

QDate argDate(sqlite3_value* v)
{
    if (sqlite3_value_type(v) == SQLITE_NULL)
        return {};
    const QString s = textOf(v);
    QDate d = dates::fromIso(s);
    if (!d.isValid())
        d = dates::fromDisplay(s);
    return d;
}

void fnDateDiff(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    const QString interval = textOf(argv[0]).toLower();
    const QDate a = argDate(argv[1]);
    const QDate b = argDate(argv[2]);
    if (!a.isValid() || !b.isValid()) {
        sqlite3_result_null(ctx);
        return;
    }
    if (interval == QLatin1String("d") || interval == QLatin1String("y") || interval == QLatin1String("w") ||
        interval == QLatin1String("ww")) {
        qint64 days = a.daysTo(b);
        if (interval.startsWith(QLatin1Char('w')))
            days /= 7;
        sqlite3_result_int64(ctx, days);
    } else if (interval == QLatin1String("m")) {
        sqlite3_result_int64(ctx, (b.year() - a.year()) * 12 + (b.month() - a.month()));
    } else if (interval == QLatin1String("yyyy")) {
        sqlite3_result_int64(ctx, b.year() - a.year());
    } else {
        resultError(ctx, QStringLiteral("DATEDIFF: intervallo \"%1\" non gestito").arg(interval));
    }
}

// "€ 1.234,56" of a stored amount (ten-thousandths), written as Money::toDisplay() does,
// straight into UTF-8: list queries call this for four columns of every row.
int euroText(std::int64_t raw, char* out)
{
    const std::uint64_t absRaw = raw < 0 ? std::uint64_t(0) - std::uint64_t(raw) : std::uint64_t(raw);
    const std::uint64_t cents = (absRaw + 50) / 100; // half away from zero
    std::uint64_t units = cents / 100;
    char digits[24];
    int nd = 0;
    do {
        digits[nd++] = char('0' + units % 10);
        units /= 10;
    } while (units);
    int k = 0;
    if (raw < 0 && cents != 0)
        out[k++] = '-';
    std::memcpy(out + k, "\xE2\x82\xAC ", 4);
    k += 4;
    for (int i = nd - 1; i >= 0; --i) {
        out[k++] = digits[i];
        if (i > 0 && i % 3 == 0)
            out[k++] = '.';
    }
    out[k++] = ',';
    out[k++] = char('0' + (cents % 100) / 10);
    out[k++] = char('0' + cents % 10);
    return k;
}

void fnFormat(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    static constexpr char euroPattern[] = "\xE2\x82\xAC #,##0.00";
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && sqlite3_value_type(argv[1]) == SQLITE_TEXT &&
        sqlite3_value_bytes(argv[1]) == int(sizeof euroPattern - 1) &&
        std::memcmp(sqlite3_value_text(argv[1]), euroPattern, sizeof euroPattern - 1) == 0) {
        char buf[48];
        const int n = euroText(sqlite3_value_int64(argv[0]), buf);
        sqlite3_result_text(ctx, buf, n, SQLITE_TRANSIENT);
        return;
    }
    const QString pattern = textOf(argv[1]);
    QVariant v;
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER:
        v = qlonglong(sqlite3_value_int64(argv[0]));
        break;
    case SQLITE_FLOAT:
        v = sqlite3_value_double(argv[0]);
        break;
    default:
        v = textOf(argv[0]);
    }
    resultText(ctx, formatValue(v, pattern));
}

void fnYear(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    const QDate d = argDate(argv[0]);
    if (!d.isValid())
        sqlite3_result_null(ctx);
    else
        sqlite3_result_int(ctx, d.year());
}

void fnIif(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    const bool cond = sqlite3_value_type(argv[0]) != SQLITE_NULL && sqlite3_value_double(argv[0]) != 0.0;
    sqlite3_result_value(ctx, cond ? argv[1] : argv[2]);
}

void fnDate(sqlite3_context* ctx, int, sqlite3_value**)
{
    resultText(ctx, dates::toIso(QDate::currentDate()));
}

void fnLike(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    // SQLite calls like(pattern, value[, escape]) for "value LIKE pattern".
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    QString pattern = textOf(argv[0]);
    const QString value = textOf(argv[1]);
    if (argc == 3) {
        // An escaped wildcard becomes a character class of its own: not needed by the
        // program, so refuse rather than silently match differently.
        resultError(ctx, QStringLiteral("LIKE con ESCAPE non gestito"));
        return;
    }
    sqlite3_result_int(ctx, likeMatch(pattern, value) ? 1 : 0);
}

// CHECK constraint of text columns: the declared width is a limit, as the user expects.
void fnWidth(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_int(ctx, 1);
        return;
    }
    // Characters, as the user counts them: an emoji is one, not two UTF-16 units.
    const auto* p = reinterpret_cast<const unsigned char*>(sqlite3_value_text(argv[0]));
    const int bytes = sqlite3_value_bytes(argv[0]);
    qsizetype len = 0;
    for (int i = 0; i < bytes; ++i)
        if ((p[i] & 0xC0) != 0x80)
            ++len;
    const int max = sqlite3_value_int(argv[1]);
    if (len <= max) {
        sqlite3_result_int(ctx, 1);
        return;
    }
    resultError(ctx, QStringLiteral("il campo %1 accetta al massimo %2 caratteri (ne sono stati dati %3)")
                         .arg(textOf(argv[2]))
                         .arg(max)
                         .arg(len));
}

// Converts a stored value to another declared column type when a table is rebuilt
// with its defined types; a value that cannot be converted stops the rebuild.
void fnConvert(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    sqlite3_value* v = argv[0];
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const QString from = textOf(argv[1]).toUpper();
    const QString to = textOf(argv[2]).toUpper();
    const QString column = textOf(argv[3]);
    const QString shown = textOf(v);
    auto refuse = [&] {
        resultError(ctx, QStringLiteral("impossibile convertire il valore \"%1\" della colonna %2 nel tipo %3")
                             .arg(shown, column, to));
    };
    const bool fromMoney = from.startsWith(QLatin1String("CURRENCY"));

    if (to.startsWith(QLatin1String("CURRENCY"))) {
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
            sqlite3_result_int64(ctx, std::llround(sqlite3_value_double(v) * double(Money::Scale)));
        } else if (auto m = Money::parse(shown)) {
            sqlite3_result_int64(ctx, m->raw());
        } else {
            refuse();
        }
    } else if (to.startsWith(QLatin1String("DATETIME"))) {
        QDate d = dates::fromIso(shown);
        if (!d.isValid())
            d = dates::fromDisplay(shown);
        if (d.isValid() && type == SQLITE_TEXT)
            resultText(ctx, dates::toIso(d));
        else
            refuse();
    } else if (to == QLatin1String("INT") || to == QLatin1String("INTEGER")) {
        if (type == SQLITE_INTEGER && !fromMoney) {
            sqlite3_result_int64(ctx, sqlite3_value_int64(v));
        } else if (type == SQLITE_FLOAT && !fromMoney) {
            sqlite3_result_int64(ctx, std::llround(sqlite3_value_double(v)));
        } else if (fromMoney && type == SQLITE_INTEGER) {
            sqlite3_result_int64(ctx, sqlite3_value_int64(v) / Money::Scale);
        } else {
            bool ok = false;
            const qlonglong n = shown.trimmed().toLongLong(&ok);
            if (ok)
                sqlite3_result_int64(ctx, n);
            else
                refuse();
        }
    } else if (to == QLatin1String("YESNO")) {
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
            sqlite3_result_int(ctx, sqlite3_value_double(v) != 0.0 ? 1 : 0);
        else
            refuse();
    } else {
        // Text types: every value has a text form; widths are checked by the new table.
        if (fromMoney && type == SQLITE_INTEGER)
            resultText(ctx, Money::fromRaw(sqlite3_value_int64(v)).toPlain(2).remove(QLatin1Char('.')));
        else
            resultText(ctx, shown);
    }
}

int collateNoCase(void*, int lenA, const void* a, int lenB, const void* b)
{
    // Every index search on a text column compares here many times: while both texts are
    // ASCII the answer is compareText's without building two strings (an ASCII letter folds
    // to an ASCII letter, byte for UTF-16 unit); the first other byte hands over to it.
    const auto* pa = static_cast<const unsigned char*>(a);
    const auto* pb = static_cast<const unsigned char*>(b);
    const int n = std::min(lenA, lenB);
    int i = 0;
    for (; i < n; ++i) {
        const unsigned char ca = pa[i], cb = pb[i];
        if ((ca | cb) & 0x80)
            break;
        if (ca == cb)
            continue;
        const int fa = ca >= 'A' && ca <= 'Z' ? ca + 32 : ca;
        const int fb = cb >= 'A' && cb <= 'Z' ? cb + 32 : cb;
        if (fa != fb)
            return fa < fb ? -1 : 1;
    }
    if (i == n)
        return lenA == lenB ? 0 : (lenA < lenB ? -1 : 1);
    const QString sa = QString::fromUtf8(static_cast<const char*>(a), lenA);
    const QString sb = QString::fromUtf8(static_cast<const char*>(b), lenB);
    return compareText(sa, sb);
}

void registerFunctions(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "DATEDIFF", 3, flags, nullptr, fnDateDiff, nullptr, nullptr);
    sqlite3_create_function(db, "FORMAT", 2, flags, nullptr, fnFormat, nullptr, nullptr);
    sqlite3_create_function(db, "YEAR", 1, flags, nullptr, fnYear, nullptr, nullptr);
    // ISNULL(x) cannot be a function here (ISNULL is an operator keyword): statements
    // write "x IS NULL", which means the same.
    sqlite3_create_function(db, "IIF", 3, flags, nullptr, fnIif, nullptr, nullptr);
    // Today in local time: SQLite's own date('now') is UTC and turns at 01:00 in Italy.
    sqlite3_create_function(db, "DATE", 0, SQLITE_UTF8, nullptr, fnDate, nullptr, nullptr);
    sqlite3_create_function(db, "like", 2, flags, nullptr, fnLike, nullptr, nullptr);
    sqlite3_create_function(db, "like", 3, flags, nullptr, fnLike, nullptr, nullptr);
    sqlite3_create_function(db, "sz_width", 3, flags, nullptr, fnWidth, nullptr, nullptr);
    sqlite3_create_function(db, "sz_convert", 4, flags, nullptr, fnConvert, nullptr, nullptr);
    sqlite3_create_collation(db, "NOCASEU", SQLITE_UTF8, nullptr, collateNoCase);
}

// Text as the database stores it (UTF-8): an ASCII text of an imported cell is narrowed on
// the stack instead of the engine converting UTF-16 in a buffer of its own.
void bindText(sqlite3_stmt* st, int idx, const QString& s)
{
    const qsizetype n = s.size();
    if (n <= 256) {
        char ascii[256];
        const char16_t* u = reinterpret_cast<const char16_t*>(s.utf16());
        qsizetype i = 0;
        for (; i < n && u[i] < 0x80; ++i)
            ascii[i] = char(u[i]);
        if (i == n) {
            sqlite3_bind_text(st, idx, ascii, int(n), SQLITE_TRANSIENT);
            return;
        }
    }
    sqlite3_bind_text16(st, idx, s.utf16(), int(n * 2), SQLITE_TRANSIENT);
}

void bindValue(sqlite3_stmt* st, int idx, const QVariant& v)
{
    if (!v.isValid() || v.isNull()) {
        sqlite3_bind_null(st, idx);
        return;
    }
    if (v.userType() == qMetaTypeId<Money>()) {
        sqlite3_bind_int64(st, idx, v.value<Money>().raw());
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        sqlite3_bind_int(st, idx, v.toBool() ? 1 : 0);
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
        sqlite3_bind_int64(st, idx, v.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(st, idx, v.toDouble());
        return;
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        int y = 0, m = 0, g = 0;
        d.getDate(&y, &m, &g);
        // The ISO text of a date of four-digit year, written without the format parser.
        if (d.isValid() && y >= 1000 && y <= 9999) {
            char iso[11];
            iso[0] = char('0' + y / 1000);
            iso[1] = char('0' + y / 100 % 10);
            iso[2] = char('0' + y / 10 % 10);
            iso[3] = char('0' + y % 10);
            iso[4] = '-';
            iso[5] = char('0' + m / 10);
            iso[6] = char('0' + m % 10);
            iso[7] = '-';
            iso[8] = char('0' + g / 10);
            iso[9] = char('0' + g % 10);
            iso[10] = 0;
            sqlite3_bind_text(st, idx, iso, 10, SQLITE_TRANSIENT);
            return;
        }
        const QByteArray s = dates::toIso(d).toUtf8();
        if (s.isEmpty())
            sqlite3_bind_null(st, idx);
        else
            sqlite3_bind_text(st, idx, s.constData(), int(s.size()), SQLITE_TRANSIENT);
        return;
    }
    case QMetaType::QDateTime: {
        const QByteArray s = dates::toIso(v.toDateTime().date()).toUtf8();
        sqlite3_bind_text(st, idx, s.constData(), int(s.size()), SQLITE_TRANSIENT);
        return;
    }
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        sqlite3_bind_blob(st, idx, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        return;
    }
    case QMetaType::QString:
        bindText(st, idx, *static_cast<const QString*>(v.constData()));
        return;
    default:
        bindText(st, idx, v.toString());
        return;
    }
}

} // namespace

namespace {

QString quotedSqlite(const QString& name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

class SqliteDialect final : public Dialect
{
public:
    QString quoteName(const QString& name) const override { return quotedSqlite(name); }
    QString columnType(const QString& typeWord) const override
    {
        const QString t = typeWord.trimmed().toUpper();
        if (t == QLatin1String("AUTOINCREMENT"))
            return QStringLiteral("INTEGER");
        if (t == QLatin1String("MEMO"))
            return QStringLiteral("TEXT"); // a MEMO declaration would make numbers of numeric texts
        return t;
    }
    QString declaredType(const QString& typeWord) const override { return columnType(typeWord); }
    QString autoIncrementKey(const QString& quotedName) const override
    {
        return quotedName + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT");
    }
    QString textCollation() const override { return QStringLiteral(" COLLATE NOCASEU"); }
    // NOCASEU is compareText, except that it pairs the surrogates of a character beyond the
    // Basic Multilingual Plane where compareText folds each unit alone.
    bool foldsAsCompareText(const QString& text) const override
    {
        return std::none_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
    }
    QString binaryCollation() const override { return QStringLiteral("BINARY"); }
    // The write lock at the start: a transaction that read first and then wants to write
    // would fail at once when another connection wrote in between.
    QString beginWrite() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    QString lockRows() const override { return {}; } // the whole file is already locked
    LockResult tryNamedLock(Connection&, const QString&) const override { return LockResult::NotNeeded; }
    void releaseNamedLock(Connection&, const QString&) const noexcept override {}
    // AUTOINCREMENT already counts from the highest ID written, given or not.
    void continueIds(Connection&, const QString&) const override {}
    bool rebuildsTables() const override { return true; }

    QStringList tableNames(Connection& conn) const override
    {
        QStringList out;
        const Result r = conn.query(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                                   "AND substr(name, 1, 7) <> 'sqlite_' ORDER BY rowid"));
        for (const auto& row : r.rows)
            out << row[0].toString();
        return out;
    }
    QVector<ColumnInfo> columns(Connection& conn, const QString& table) const override
    {
        QVector<ColumnInfo> out;
        // This SQLite has no pragma table functions, so the name goes quoted into the pragma.
        // Columns: cid, name, type, notnull, dflt_value, pk.
        const Result r = conn.query(QStringLiteral("PRAGMA table_info(%1)").arg(quotedSqlite(table)));
        for (const auto& row : r.rows)
            out.push_back({row[1].toString(), row[2].toString().toUpper(), row[2].toString(),
                           row[3].toLongLong() != 0, row[4].toString(), row[5].toLongLong() != 0});
        return out;
    }
    QStringList indexDefinitions(Connection& conn, const QString& table) const override
    {
        QStringList out;
        const Result r = conn.query(
            QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = :t AND sql IS NOT NULL"),
            {{QStringLiteral("t"), table}});
        for (const auto& row : r.rows)
            out << row[0].toString();
        return out;
    }
    // Functions and the collation are registered on every connection as it opens.
    void prepareSchema(Connection&, const QStringList&) const override {}
    void describeTable(Connection&, const QString&, const QStringList&) const override {}
    void changeColumnType(Connection&, const QString&, const QString&, const QString&) const override
    {
        throw Error(QStringLiteral("il tipo di una colonna si cambia ricostruendo la tabella"));
    }
};

class SqliteStatement final : public StatementBackend
{
public:
    SqliteStatement(sqlite3* db, const QString& sql) : m_db(db)
    {
        const QByteArray utf8 = sql.toUtf8();
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, &tail) != SQLITE_OK)
            throw engineError(db);
        if (tail && QByteArray(tail).trimmed().size() > 0 && QByteArray(tail).trimmed() != ";") {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            throw Error(QStringLiteral("è consentita una sola istruzione SQL per volta"));
        }
    }
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }

    void bind(const Params& params) override;
    Result run(const Params& params) override;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

void SqliteStatement::bind(const Params& params)
{
    sqlite3_reset(m_stmt);
    // Every parameter is bound below or the statement does not run: no clearing first.
    const int count = sqlite3_bind_parameter_count(m_stmt);
    int last = 0;
    QVarLengthArray<bool, 32> bound(count + 1);
    std::fill(bound.begin(), bound.end(), false);
    // Statements run once per imported row: the ":Name" looked up is written on the stack.
    QVarLengthArray<char, 64> name;
    // ":Name" as the engine spells it is rawName, with or without its colon.
    const auto sameName = [](const char* engine, const QString& rawName) {
        if (!engine || engine[0] != ':')
            return false;
        qsizetype i = rawName.startsWith(QLatin1Char(':')) ? 1 : 0, j = 1;
        for (; i < rawName.size(); ++i, ++j) {
            const char16_t u = rawName[i].unicode();
            if (u == 0 || u >= 0x80 || engine[j] != char(u))
                return false;
        }
        return engine[j] == 0;
    };
    for (const auto& [rawName, value] : params) {
        // Callers pass the values mostly in the statement's own order: the parameter after
        // the last one is tried before the engine's search by name.
        const int guess = last < count ? last + 1 : 1;
        int idx = count > 0 && sameName(sqlite3_bind_parameter_name(m_stmt, guess), rawName) ? guess : 0;
        if (idx == 0) {
            name.clear();
            if (!rawName.startsWith(QLatin1Char(':')))
                name.append(':');
            const QByteArray utf8 = rawName.toUtf8();
            name.append(utf8.constData(), utf8.size());
            name.append('\0');
            idx = sqlite3_bind_parameter_index(m_stmt, name.constData());
        }
        if (idx == 0)
            continue; // a parameter the statement does not use
        bindValue(m_stmt, idx, value);
        bound[idx] = true;
        last = idx;
    }
    for (int i = 1; i <= count; ++i) {
        if (!bound[i]) {
            const char* n = sqlite3_bind_parameter_name(m_stmt, i);
            throw Error(QStringLiteral("parametro %1 mancante").arg(n ? QString::fromUtf8(n) : QString::number(i)));
        }
    }
}

Result SqliteStatement::run(const Params& params)
{
    bind(params);
    Result r;
    const int n = sqlite3_column_count(m_stmt);
    QVarLengthArray<Kind, 32> kinds(n);
    QVarLengthArray<char, 32> computed(n);
    // A result of one row (a lookup by key, once per imported row) shares nothing: the
    // pools start with the second row.
    std::vector<TextPool> pools;
    r.columns.resize(n);
    for (int i = 0; i < n; ++i) {
        r.columns[i].name = columnMeta(sqlite3_column_name(m_stmt, i), false);
        const char* decl = sqlite3_column_decltype(m_stmt, i);
        r.columns[i].declaredType = columnMeta(decl, true);
        kinds[i] = kindOf(decl);
        computed[i] = decl == nullptr;
    }
    for (;;) {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW) {
            sqlite3_reset(m_stmt);
            throw engineError(m_db);
        }
        if (r.rows.size() == 1)
            pools.resize(size_t(std::max(n, 0)));
        QVector<QVariant> row(n);
        for (int i = 0; i < n; ++i)
            row[i] = readColumn(m_stmt, i, kinds[i], computed[i], pools.empty() ? nullptr : &pools[size_t(i)]);
        r.rows.push_back(std::move(row));
    }
    sqlite3_reset(m_stmt);
    return r;
}

class SqliteConnection final : public ConnectionBackend
{
public:
    SqliteConnection(const QString& path, const QString& password) : m_path(path), m_password(password) {}
    ~SqliteConnection() override
    {
        if (m_db)
            sqlite3_close_v2(m_db);
    }

    void open(Connection& conn) override;
    const Dialect& dialect() const override
    {
        static const SqliteDialect d;
        return d;
    }
    std::unique_ptr<StatementBackend> prepare(Connection&, const QString& sql) override
    {
        return std::make_unique<SqliteStatement>(m_db, sql);
    }
    qint64 lastInsertId() override { return sqlite3_last_insert_rowid(m_db); }
    int changes() const override { return sqlite3_changes(m_db); }
    bool inTransaction() const override { return sqlite3_get_autocommit(m_db) == 0; }
    QVector<Column> tableColumns(Connection& conn, const QString& table) override
    {
        QVector<Column> out;
        for (const auto& c : dialect().columns(conn, table))
            out.push_back({c.name, c.type});
        return out;
    }
    void backupTo(Connection& conn, const QString& destPath) override;
    void restoreFrom(Connection& conn, const QString& sourcePath) override;
    std::optional<qlonglong> enlargeCache(Connection& conn, int kib) override
    {
        const qlonglong before = conn.scalar(QStringLiteral("PRAGMA cache_size")).toLongLong();
        conn.exec(QStringLiteral("PRAGMA cache_size = -%1").arg(kib));
        return before;
    }
    void restoreCache(Connection& conn, qlonglong previous) override
    {
        conn.exec(QStringLiteral("PRAGMA cache_size = %1").arg(previous));
    }
    qint64 dataVersion(Connection& conn) override
    {
        return conn.scalar(QStringLiteral("PRAGMA data_version")).toLongLong();
    }

    sqlite3* db() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
    QString m_path;
    QString m_password;
};

void SqliteConnection::open(Connection& conn)
{
    if (!QFileInfo::exists(m_path))
        throw Error(QStringLiteral("Il file di database \"%1\" non esiste").arg(m_path));
    if (QFileInfo(m_path).isDir())
        throw Error(QStringLiteral("\"%1\" è una cartella, non un file di database").arg(m_path));

    const QByteArray p = QFile::encodeName(m_path);
    const QString context = QStringLiteral("Impossibile aprire il database \"%1\"").arg(m_path);
    const int rc = sqlite3_open_v2(p.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const DatabaseError e = engineError(m_db, context);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw e;
    }
    // Before the first read: keying, the cipher check and the probe all read the file,
    // and a writer elsewhere must make them wait, not fail.
    sqlite3_busy_timeout(m_db, BusyTimeoutMs);
    try {
        const QByteArray key = m_password.toUtf8();
        sqlite3_key(m_db, key.constData(), int(key.size()));
        // A build of SQLite without the cipher would silently read and write plaintext.
        if (conn.query(QStringLiteral("PRAGMA cipher_version")).rows.isEmpty())
            throw Error(QStringLiteral("il motore di database non supporta la cifratura"));
        // Keying never fails by itself: the first read proves the key and the format.
        conn.query(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        registerFunctions(m_db);
        conn.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
    } catch (const DatabaseError& e) {
        sqlite3_close(m_db);
        m_db = nullptr;
        if (e.engineCode() == SQLITE_NOTADB)
            throw DatabaseError(QStringLiteral("Il file \"%1\" non è un database di Scadenzio o è protetto da "
                                               "un'altra password (%2)")
                                    .arg(m_path, QString::fromUtf8(sqlite3_errstr(SQLITE_NOTADB))),
                                e.fault(), e.engineCode());
        throw DatabaseError(context + QStringLiteral(": ") + e.message(), e.fault(), e.engineCode());
    } catch (const Error& e) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(context + QStringLiteral(": ") + e.message());
    }
}

void SqliteConnection::backupTo(Connection& conn, const QString& destPath)
{
    const QFileInfo target(destPath);
    if (!paths::makePrivateFolder(target.absolutePath()))
        throw Error(QStringLiteral("Impossibile creare la cartella \"%1\"").arg(target.absolutePath()));
    const QString tmpPath = target.absoluteFilePath() + QStringLiteral(".tmp");
    const QString context = QStringLiteral("Copia del database non riuscita");
    QFile::remove(tmpPath);
    if (!paths::createPrivateFile(tmpPath))
        throw Error(QStringLiteral("Impossibile creare la copia \"%1\"").arg(tmpPath));

    sqlite3* dest = nullptr;
    const QByteArray p = QFile::encodeName(tmpPath);
    if (sqlite3_open_v2(p.constData(), &dest, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const DatabaseError e = engineError(dest, QStringLiteral("Impossibile creare la copia \"%1\"").arg(tmpPath));
        sqlite3_close(dest);
        QFile::remove(tmpPath);
        throw e;
    }
    sqlite3_busy_timeout(dest, BusyTimeoutMs);
    // Unkeyed, the backup API would write the copy in plaintext.
    const QByteArray key = m_password.toUtf8();
    sqlite3_key(dest, key.constData(), int(key.size()));
    sqlite3_backup* b = sqlite3_backup_init(dest, "main", m_db, "main");
    int rc = SQLITE_ERROR;
    if (b) {
        // A writer elsewhere may hold the file for a moment: wait for it as a statement would.
        for (int waited = 0;; waited += 100) {
            rc = sqlite3_backup_step(b, -1);
            if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || waited >= BusyTimeoutMs)
                break;
            sqlite3_sleep(100);
        }
        sqlite3_backup_finish(b);
    }
    const DatabaseError stepError = sqlite3_errcode(dest) != SQLITE_OK
                                        ? engineError(dest, context)
                                        : engineError(rc, QString::fromUtf8(sqlite3_errstr(rc)), context);
    sqlite3_close(dest);
    if (rc != SQLITE_DONE) {
        QFile::remove(tmpPath);
        // A page the cipher cannot read comes back as a plain error: unless the copy's
        // side is plainly at fault, ask this database whether it is whole.
        using F = DatabaseError::Fault;
        if (stepError.fault() != F::Busy && stepError.fault() != F::Full && stepError.fault() != F::ReadOnly) {
            const QString damage = damageOf(conn);
            if (!damage.isEmpty())
                throw DatabaseError(context + QStringLiteral(": ") + damage, F::Damaged, SQLITE_CORRUPT);
        }
        throw stepError;
    }

    QString problem;
    try {
        Connection copy(tmpPath, m_password);
        problem = quickCheckProblems(copy);
    } catch (const Error& e) {
        problem = e.message();
    }
    if (!problem.isEmpty()) {
        QFile::remove(tmpPath);
        // The copy is as sound as what it was read from: say which of the two is at fault.
        const QString damage = damageOf(conn);
        if (!damage.isEmpty())
            throw DatabaseError(context + QStringLiteral(": ") + damage, DatabaseError::Fault::Damaged, SQLITE_CORRUPT);
        throw Error(QStringLiteral("La copia \"%1\" non ha superato la verifica: %2").arg(tmpPath, problem));
    }
    // One step from the old copy to the new one: there is never a moment without a copy.
    if (std::rename(QFile::encodeName(tmpPath).constData(), QFile::encodeName(target.absoluteFilePath()).constData()) !=
        0) {
        QFile::remove(tmpPath);
        throw Error(QStringLiteral("Impossibile scrivere la copia \"%1\"").arg(target.absoluteFilePath()));
    }
}

void SqliteConnection::restoreFrom(Connection&, const QString& sourcePath)
{
    const QString context = QStringLiteral("Ripristino del database non riuscito");
    // Opening it first proves the copy is ours and whole: a damaged copy is never
    // written over the data in use.
    Connection source(sourcePath, m_password);
    const QString problem = quickCheckProblems(source);
    if (!problem.isEmpty())
        throw DatabaseError(context + QStringLiteral(": ") + problem, DatabaseError::Fault::Damaged, SQLITE_CORRUPT);
    // The backup writes every page of this file under its own lock, in one step: the
    // other connections see the old data or the restored one, never a mixture.
    sqlite3_backup* b = sqlite3_backup_init(m_db, "main", static_cast<SqliteConnection*>(backendOf(source))->db(), "main");
    if (!b)
        throw engineError(m_db, context);
    int rc = SQLITE_ERROR;
    for (int waited = 0;; waited += 100) {
        rc = sqlite3_backup_step(b, -1);
        if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || waited >= BusyTimeoutMs)
            break;
        sqlite3_sleep(100);
    }
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        throw engineError(rc, QString::fromUtf8(sqlite3_errstr(rc)), context);
}

} // namespace

std::unique_ptr<ConnectionBackend> makeSqlite(const QString& path, const QString& password)
{
    return std::make_unique<SqliteConnection>(path, password);
}

void createSqliteDatabase(const QString& rawPath, const QString& password)
{
    QString path = rawPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QFileInfo::exists(path))
        throw Error(QStringLiteral("Il file di database \"%1\" esiste già").arg(path));
    const QString context = QStringLiteral("Impossibile creare il database \"%1\"").arg(path);
    if (!paths::makePrivateFolder(QFileInfo(path).absolutePath()))
        throw Error(QStringLiteral("Impossibile creare la cartella \"%1\"").arg(QFileInfo(path).absolutePath()));
    // The file exists, empty and private, before the engine opens it: its journals take
    // the same permissions.
    if (!paths::createPrivateFile(path))
        throw Error(context);
    sqlite3* db = nullptr;
    const QByteArray p = QFile::encodeName(path);
    if (sqlite3_open_v2(p.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const DatabaseError e = engineError(db, context);
        sqlite3_close(db);
        QFile::remove(path);
        throw e;
    }
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    const QByteArray key = password.toUtf8();
    sqlite3_key(db, key.constData(), int(key.size()));
    // Writing the schema cookie makes the file a real, keyed database.
    const int rc = sqlite3_exec(db, "PRAGMA user_version = 1;", nullptr, nullptr, nullptr);
    const DatabaseError e = engineError(db, context);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        QFile::remove(path);
        throw e;
    }
}

} // namespace sz::db::detail
