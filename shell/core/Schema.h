#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

namespace sz::db {
class Connection;
class Dialect;
}

namespace sz::schema {

// One column of a table as the program defines it, in the database's own type words
// (VARCHAR(255), MEMO, DATETIME, CURRENCY, INT, YESNO, AUTOINCREMENT).
struct TFieldTable
{
    QString FieldName;
    QString FieldType;
    QString FieldSettings; // "PRIMARY KEY", "NOT NULL" or empty
};

struct TableDef
{
    QString name;
    QVector<TFieldTable> fields; // ID first
};

// The tables, in the order of creation.
const QVector<TableDef>& tables();

struct TemplateSeed
{
    QString tipologia;
    QString oggetto;
    QStringList introduzione; // lines
    QStringList finale;       // lines
};
const QVector<TemplateSeed>& templateSeeds();

struct ParameterSeed
{
    QString modalita;
    int preavviso, sollecito1, sollecito2, sollecito3;
};
const QVector<ParameterSeed>& parameterSeeds();

struct RateSeed
{
    QString tipo; // "MORA" or "LEGALE"
    QDate dal, al;
    int tasso;    // ten-thousandths of a point
    QString fonte;
};
const QVector<RateSeed>& rateSeeds();

// Lines of a seed text joined as stored: CR LF between lines, none after the last.
QString joinLines(const QStringList& lines);

// The column type as it is declared in the file for a defined type ("MEMO" -> "TEXT").
QString declaredTypeFor(const QString& fieldType);
// The whole column definition for CREATE TABLE / ADD COLUMN, in the file's words.
QString columnDefinition(const TFieldTable& f);
// The same in the words of the connection's engine.
QString columnDefinition(const db::Dialect& dialect, const TFieldTable& f);

// Creates missing tables, adds missing columns, brings columns of another type back
// to their defined type, writes the seed rows. One transaction: when any statement
// fails nothing of this run is kept, and the sz::Error carries the database message.
// Running it on an up-to-date file writes nothing.
void upgrade(db::Connection& conn);

} // namespace sz::schema
