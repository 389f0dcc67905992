#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/report/Report.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// What every letter and report of the firm prints the same way: database values as
// text, the firm's letterhead (sender block and logo), the addressee block, and the
// parameters and data views of one rendering gathered before they go to a project.
namespace sz::report {

using Values = QHash<QString, QVariant>; // a row by column name

// The text of a value as letters and reports print it: dates dd/mm/yyyy, amounts
// "1234,50", formatted amounts as they came ("€ 1.234,50"), yes/no "SI"/"NO".
QString valueText(const QVariant& v);
// A column's text, trimmed; empty for a column the row does not have.
QString fieldText(const Values& row, const QString& column);
Values rowValues(const sz::db::Result& r, int row);
QList<Values> rowsValues(const sz::db::Result& r);
// The rows as a data view, every field by its column name as text.
DataView dataView(const sz::db::Result& r);

// The firm's own logo in the data folder, else the one the program ships.
// Both folders end with "/".
QString logoPath(const QString& dataRoot, const QString& programFolder);

// The address and contact lines of an addressee (Indirizzo, CAP, Localita, Provincia,
// CF, IVA, Telefono, Cell, Fax, Mail1-3), separated by a single CR. The address lines
// come only when the address is complete; each contact only when it has a value.
QString addresseeBlock(const Values& addressee);
// The same block split for a window envelope: the postal lines only (street, then CAP, town
// and province), and the contact lines below the window: tax code and VAT number on one
// line, telephone, mobile and fax on the next, each mail address on its own, the items of a
// line apart by a wide gap of blanks, each label bound to its value by no-break spaces. A mail
// address may wrap after its "@" or a ".", never inside a word.
QString addresseeAddress(const Values& addressee);
QString addresseeContacts(const Values& addressee);
// A mail address with a zero-width break point after each "@" and "." and its hyphens
// joined to what follows.
QString breakableMail(const QString& mail);

// An IBAN as it is printed, in groups of four ("IT60 X054 2811 …"); a text that is not
// letters and digits (blanks aside) comes back as it was.
QString ibanInGroups(const QString& iban);
// The rows with their "IBAN" field in groups of four.
DataView withIbanGroups(DataView rows);

// One rendering's input: the project, its parameters in the order they are set, its
// data views by name.
struct Filling
{
    QString projectFile;
    QList<QPair<QString, QString>> parameters;
    QHash<QString, DataView> views;

    void set(const QString& name, const QString& value);
    // The value last set under name; a null text when it was never set.
    QString value(const QString& name) const;
    bool has(const QString& name) const;
    // Sets project, views and parameters on p (after closing what p held).
    void applyTo(Project& p) const;
};

// The sender block of the firm's letters and reports, from its t_societa row: Logo,
// RagioneSocialeUtente, IndirizzoUtente, CapUtente, LocalitaUtente, ProvinciaUtente,
// ReferenteUtente, TelefonoUtente, CellUtente (" - Cell.: …" or empty), FaxUtente
// (" - Fax: …" or empty), MailUtente, IvaUtente, CFUtente; values trimmed.
QList<QPair<QString, QString>> senderParameters(const Values& company, const QString& logo);

} // namespace sz::report
