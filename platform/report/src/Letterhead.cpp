#include "scadenzio/report/Letterhead.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Money.h"

#include <QFileInfo>

namespace sz::report {

QString valueText(const QVariant& v)
{
    if (v.isNull() || !v.isValid()) return {};
    const int type = v.userType();
    if (type == QMetaType::QDate) return dates::toDisplay(v.toDate());
    if (type == qMetaTypeId<Money>()) return v.value<Money>().toPlain(2);
    if (type == qMetaTypeId<FormattedAmount>()) return v.value<FormattedAmount>().text();
    if (type == QMetaType::Bool) return v.toBool() ? QStringLiteral("SI") : QStringLiteral("NO");
    return v.toString();
}

QString fieldText(const Values& row, const QString& column)
{
    return valueText(row.value(column)).trimmed();
}

Values rowValues(const sz::db::Result& r, int row)
{
    Values v;
    for (int c = 0; c < r.columns.size(); ++c)
        v.insert(r.columns[c].name, r.rows[row][c]);
    return v;
}

QList<Values> rowsValues(const sz::db::Result& r)
{
    QList<Values> out;
    out.reserve(r.rows.size());
    for (int i = 0; i < r.rows.size(); ++i)
        out << rowValues(r, i);
    return out;
}

DataView dataView(const sz::db::Result& r)
{
    DataView rows;
    rows.reserve(r.rows.size());
    for (const auto& row : r.rows) {
        Row out;
        for (int c = 0; c < r.columns.size(); ++c)
            out.insert(r.columns[c].name, valueText(row[c]));
        rows.append(out);
    }
    return rows;
}

QString logoPath(const QString& dataRoot, const QString& programFolder)
{
    const QString own = dataRoot + QStringLiteral("Logo/logo.bmp");
    return QFileInfo::exists(own) ? own : programFolder + QStringLiteral("Logo/logo.bmp");
}

namespace {

QStringList postalLines(const Values& addressee)
{
    const QString address = fieldText(addressee, QStringLiteral("Indirizzo")),
                  cap = fieldText(addressee, QStringLiteral("CAP")),
                  town = fieldText(addressee, QStringLiteral("Localita")),
                  province = fieldText(addressee, QStringLiteral("Provincia"));
    if (address.isEmpty() || cap.isEmpty() || town.isEmpty() || province.isEmpty()) return {};
    return {address, cap + QLatin1Char(' ') + town + QStringLiteral(" (") + province + QLatin1Char(')')};
}

// The contacts of an addressee in print order, each column with its label and the line it
// shares under an envelope's window: tax codes, telephones, then one line per mail address.
struct Contact
{
    const char* column;
    const char* label;
    int line;
};
constexpr Contact contacts[] = {
    {"CF", "C.F.: ", 0},   {"IVA", "P.IVA: ", 0},       {"Telefono", "Tel.: ", 1},   {"Cell", "Cell.: ", 1},
    {"Fax", "Fax: ", 1},   {"Mail1", "Mail #1: ", 2},   {"Mail2", "Mail #2: ", 3},   {"Mail3", "Mail #3: ", 4}};

QStringList contactLines(const Values& addressee)
{
    QStringList lines;
    for (const auto& [column, prefix, line] : contacts) {
        const QString value = fieldText(addressee, QLatin1String(column));
        if (!value.isEmpty()) lines << QLatin1String(prefix) + value;
    }
    return lines;
}

} // namespace

QString addresseeBlock(const Values& addressee)
{
    return (postalLines(addressee) + contactLines(addressee)).join(QChar(13));
}

QString addresseeAddress(const Values& addressee)
{
    return postalLines(addressee).join(QChar(13));
}

QString addresseeContacts(const Values& addressee)
{
    // Under the window the contacts take as few lines as they can, for the letter's text to
    // start high enough: tax code and VAT number on one line, the telephones on the next,
    // each mail address on its own. A label never parts from its value; the items of a line
    // are set apart by blanks alone (the letter's text copied from the PDF reads as before).
    const QChar noBreak(0x00A0);
    // Three no-break spaces and a plain one: a wide gap that may end a line, never start one.
    const QString gap = QString(3, noBreak) + QLatin1Char(' ');
    QStringList lines;
    QString line;
    int group = -1;
    for (const Contact& c : contacts) {
        const QString value = fieldText(addressee, QLatin1String(c.column));
        if (value.isEmpty()) continue;
        const bool mail = QLatin1String(c.column).startsWith(QLatin1String("Mail"));
        QString item = QLatin1String(c.label) + (mail ? breakableMail(value) : value);
        item.replace(QLatin1Char(' '), noBreak);
        if (c.line != group && !line.isEmpty()) {
            lines << line;
            line.clear();
        }
        group = c.line;
        line += (line.isEmpty() ? QString() : gap) + item;
    }
    if (!line.isEmpty()) lines << line;
    return lines.join(QChar(13));
}

QString breakableMail(const QString& mail)
{
    QString out;
    out.reserve(mail.size() + 8);
    for (const QChar c : mail) {
        out += c;
        if (c == QLatin1Char('@') || c == QLatin1Char('.'))
            out += QChar(0x200B); // zero-width space: a break point that prints nothing
        else if (c == QLatin1Char('-'))
            out += QChar(0x2060); // word joiner: a hyphen inside a name is no place to wrap
    }
    return out;
}

QString ibanInGroups(const QString& iban)
{
    QString compact;
    for (const QChar c : iban) {
        if (c.isSpace()) continue;
        if (!(c.isLetterOrNumber() && c.unicode() < 128)) return iban;
        compact += c.toUpper();
    }
    QString out;
    for (qsizetype i = 0; i < compact.size(); i += 4) {
        if (i > 0) out += QLatin1Char(' ');
        out += compact.mid(i, 4);
    }
    return out;
}

DataView withIbanGroups(DataView rows)
{
    for (Row& r : rows) {
        const auto it = r.find(QStringLiteral("IBAN"));
        if (it != r.end()) *it = ibanInGroups(*it);
    }
    return rows;
}

void Filling::set(const QString& name, const QString& value)
{
    for (auto& p : parameters)
        if (p.first == name) {
            p.second = value;
            return;
        }
    parameters.append({name, value});
}

QString Filling::value(const QString& name) const
{
    for (const auto& p : parameters)
        if (p.first == name) return p.second.isNull() ? QStringLiteral("") : p.second;
    return {};
}

bool Filling::has(const QString& name) const
{
    for (const auto& p : parameters)
        if (p.first == name) return true;
    return false;
}

void Filling::applyTo(Project& p) const
{
    p.close();
    p.setProjectFile(projectFile);
    for (auto it = views.begin(); it != views.end(); ++it)
        p.setDataView(it.key(), it.value());
    for (const auto& [name, value] : parameters)
        p.setParameter(name, value);
}

QList<QPair<QString, QString>> senderParameters(const Values& company, const QString& logo)
{
    auto t = [&company](const char* column) { return fieldText(company, QLatin1String(column)); };
    const QString cell = t("Cell"), fax = t("Fax");
    return {{QStringLiteral("Logo"), logo},
            {QStringLiteral("RagioneSocialeUtente"), t("RagioneSociale")},
            {QStringLiteral("IndirizzoUtente"), t("Indirizzo")},
            {QStringLiteral("CapUtente"), t("CAP")},
            {QStringLiteral("LocalitaUtente"), t("Localita")},
            {QStringLiteral("ProvinciaUtente"), t("Provincia")},
            {QStringLiteral("ReferenteUtente"), t("Riferimento")},
            {QStringLiteral("TelefonoUtente"), t("Telefono")},
            {QStringLiteral("CellUtente"), cell.isEmpty() ? QString() : QStringLiteral(" - Cell.: ") + cell},
            {QStringLiteral("FaxUtente"), fax.isEmpty() ? QString() : QStringLiteral(" - Fax: ") + fax},
            {QStringLiteral("MailUtente"), t("Mail")},
            {QStringLiteral("IvaUtente"), t("IVA")},
            {QStringLiteral("CFUtente"), t("CF")}};
}

} // namespace sz::report
