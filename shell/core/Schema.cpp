#include "Schema.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"

#include <QHash>
#include <QRegularExpression>
#include <cmath>
#include <functional>

namespace sz::schema {

namespace {

TFieldTable id()
{
    return {QStringLiteral("ID"), QStringLiteral("AUTOINCREMENT"), QStringLiteral("PRIMARY KEY")};
}

TFieldTable col(const char* name, const char* type, const char* settings = "")
{
    return {QString::fromLatin1(name), QString::fromLatin1(type), QString::fromLatin1(settings)};
}

QVector<TFieldTable> textColumns(std::initializer_list<const char*> names)
{
    QVector<TFieldTable> out{id()};
    for (const char* n : names)
        out.push_back(col(n, "VARCHAR(255)"));
    return out;
}

QString quoted(const QString& identifier)
{
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

int textWidth(const QString& type)
{
    static const QRegularExpression re(QStringLiteral("^VARCHAR\\((\\d+)\\)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(type.trimmed());
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

const QVector<TableDef>& tables()
{
    static const QVector<TableDef> defs = {
        {QStringLiteral("t_banche"),
         {id(), col("Nome", "VARCHAR(255)", "NOT NULL"), col("Agenzia", "VARCHAR(255)"),
          col("IBAN", "VARCHAR(255)")}},
        {QStringLiteral("t_clienti"),
         {id(), col("RagioneSociale", "VARCHAR(255)", "NOT NULL"), col("Indirizzo", "VARCHAR(255)"),
          col("Localita", "VARCHAR(255)"), col("CAP", "VARCHAR(5)"), col("Provincia", "VARCHAR(2)"),
          col("Riferimento", "VARCHAR(255)"), col("IVA", "VARCHAR(50)"), col("CF", "VARCHAR(50)"),
          col("Telefono", "VARCHAR(255)"), col("Cell", "VARCHAR(255)"), col("Fax", "VARCHAR(255)"),
          col("Mail1", "VARCHAR(255)"), col("Mail2", "VARCHAR(255)"), col("Mail3", "VARCHAR(255)"),
          col("SospendiSolleciti", "YESNO"), col("SospesoFino", "DATETIME"),
          col("MotivoSospensione", "VARCHAR(255)"),
          // "IMPRESA", "PA" or "CONSUMATORE"; empty reads as "IMPRESA".
          col("TipoCliente", "VARCHAR(20)")}},
        {QStringLiteral("t_comunicazioni"),
         {id(), col("Tipologia", "VARCHAR(255)", "NOT NULL"), col("Oggetto", "VARCHAR(255)"),
          col("Introduzione", "MEMO"), col("Finale", "MEMO")}},
        {QStringLiteral("t_crediti"),
         {id(),
          col("NumeroFattura", "VARCHAR(255)"),
          col("DataFattura", "DATETIME"),
          col("Scadenza", "DATETIME"),
          col("Importo", "CURRENCY"),
          col("Incassato", "CURRENCY"),
          col("Residuo", "CURRENCY"),
          col("DataIncasso", "VARCHAR(255)"),
          col("Note", "VARCHAR(255)"),
          col("Pagato", "VARCHAR(5)"),
          col("ModalitaPagamento", "VARCHAR(255)"),
          col("Banca", "VARCHAR(255)"),
          col("Preavviso", "DATETIME"),
          col("Sollecito1", "DATETIME"),
          col("Sollecito2", "DATETIME"),
          col("Sollecito3", "DATETIME"),
          col("DestinatarioFattura", "VARCHAR(255)"),
          col("Cliente", "VARCHAR(255)"),
          col("Stato", "VARCHAR(6)"),
          col("ImportoTotale", "CURRENCY"),
          col("SospendiSolleciti", "YESNO"),
          col("SospesoFino", "DATETIME"),
          col("MotivoSospensione", "VARCHAR(255)")}},
        // InvioMailAutomatico is read by the mail settings; defining it here gives
        // files that lack it the column instead of a failing query. SSL asks for TLS from
        // the first byte (port 465), which certified-mail providers require; TLS alone
        // means STARTTLS.
        {QStringLiteral("t_ISP"),
         {id(), col("SMTP", "VARCHAR(255)"), col("User", "VARCHAR(255)"), col("Pass", "VARCHAR(255)"),
          col("Port", "VARCHAR(255)"), col("TLS", "YESNO"), col("InvioMailAutomatico", "YESNO"),
          col("SSL", "YESNO"),
          // The unattended daily run: its time "HH:MM", one statement per client or one
          // letter per document, and whether the schedule is on. InvioMailAutomatico says
          // whether it mails the letters or only makes the PDFs.
          col("OraInvioAutomatico", "VARCHAR(5)"), col("InvioAutomaticoPerCliente", "YESNO"),
          col("InvioAutomaticoAttivo", "YESNO"),
          // A certified-mail (PEC) mailbox: its incoming IMAP server (implicit TLS, 993 by
          // default) with the same user and password, the pace of sending, whether the
          // provider's contract allows the unattended run to send, and where reading the
          // mailbox got to (its UIDVALIDITY and the last UID read).
          col("PEC", "YESNO"), col("IMAP", "VARCHAR(255)"), col("PortaIMAP", "VARCHAR(255)"),
          col("PECMessaggiMinuto", "INT"), col("PECInvioAutomatico", "YESNO"),
          col("IMAPUidValidity", "VARCHAR(20)"), col("IMAPUltimoUID", "VARCHAR(20)")}},
        {QStringLiteral("t_parametri"),
         {id(), col("Modalita", "VARCHAR(255)", "NOT NULL"), col("Preavviso", "INT", "NOT NULL"),
          col("Sollecito1", "INT", "NOT NULL"), col("Sollecito2", "INT", "NOT NULL"),
          col("Sollecito3", "INT", "NOT NULL"),
          // Empty in rows written before it existed, and read as 0: no spacing.
          col("GiorniTraSolleciti", "INT")}},
        {QStringLiteral("t_societa"),
         {id(), col("Logo", "YESNO"), col("RagioneSociale", "VARCHAR(255)"), col("Indirizzo", "VARCHAR(255)"),
          col("Localita", "VARCHAR(255)"), col("CAP", "VARCHAR(5)"), col("Provincia", "VARCHAR(2)"),
          col("Riferimento", "VARCHAR(255)"), col("IVA", "VARCHAR(50)"), col("CF", "VARCHAR(50)"),
          col("Telefono", "VARCHAR(255)"), col("Cell", "VARCHAR(255)"), col("Fax", "VARCHAR(255)"),
          col("Mail", "VARCHAR(255)"),
          // Empty reads as no, no and 15 days: letters stay as they were until the firm asks.
          col("InteressiMora", "YESNO"), col("Indennizzo40", "YESNO"), col("GiorniTermine", "INT")}},
        {QStringLiteral("t_parametriImportazioni"),
         textColumns({"Estensione", "Delimitatore", "TipologiaImportazione"})},
        {QStringLiteral("t_mappaturaImportazioniFatture"),
         textColumns({"IDParametriImportazioni", "NumeroFattura", "DataFattura", "Scadenza", "Importo",
                      "ImportoIncassato", "DataIncasso", "Note", "ModalitaPagamento", "Banca",
                      "DestinatarioFattura", "Cliente"})},
        {QStringLiteral("t_mappaturaImportazioniClienti"),
         textColumns({"IDParametriImportazioni", "RagioneSociale", "Indirizzo", "Localita", "CAP",
                      "Provincia", "Telefono", "Cell", "Fax", "PartitaIVA", "CF", "Mail1", "Mail2", "Mail3",
                      "Referente"})},
        // One row per credit per letter made. DataOra is text "yyyy-MM-dd HH:mm:ss": the
        // date columns keep the day only, and a log must say when in the day.
        {QStringLiteral("t_invii"),
         {id(), col("IDCredito", "INT"), col("Cliente", "VARCHAR(255)"), col("NumeroFattura", "VARCHAR(255)"),
          col("DataFattura", "DATETIME"), col("Fase", "VARCHAR(255)"), col("Modo", "VARCHAR(255)"),
          col("DataOra", "VARCHAR(19)"), col("File", "MEMO"), col("Canale", "VARCHAR(255)"),
          col("Destinatari", "MEMO"), col("MessageID", "MEMO"), col("Esito", "MEMO"),
          col("Postazione", "VARCHAR(255)")}},
        // Interest rates as data. "MORA": the ECB reference rate of a half-year, to which the
        // statutory points are added; "LEGALE": the legal rate of a year. Tasso in percent,
        // held in ten-thousandths of a point (2,15 % is 21500).
        {QStringLiteral("t_tassi"),
         {id(), col("Tipo", "VARCHAR(10)", "NOT NULL"), col("Dal", "DATETIME", "NOT NULL"),
          col("Al", "DATETIME", "NOT NULL"), col("Tasso", "INT", "NOT NULL"), col("Fonte", "VARCHAR(255)")}},
        // One row per letter run: when, where, how it was started ("TIMER", "COMANDO",
        // "FINESTRA"), what it made and the lines of its errors. Times are text
        // "yyyy-MM-dd HH:mm:ss" as in t_invii; Fine stays empty while the run is going or
        // when it was stopped before it could write it.
        {QStringLiteral("t_esecuzioni"),
         {id(), col("Inizio", "VARCHAR(19)"), col("Fine", "VARCHAR(19)"), col("Postazione", "VARCHAR(255)"),
          col("Avvio", "VARCHAR(20)"), col("Modo", "VARCHAR(20)"), col("Canale", "VARCHAR(20)"),
          col("Create", "INT"), col("Inviate", "INT"), col("NonInviate", "INT"), col("Errori", "MEMO"),
          col("Esito", "VARCHAR(255)")}},
        // Certified-mail receipts, one row per receipt read: the letter it proves (its
        // Message-ID, as t_invii keeps it), the kind ("accettazione", "avvenuta-consegna",
        // "errore-consegna", ...), the recipient, when the provider says it happened, the
        // provider, the error and its text, the provider's own identifier (a receipt read
        // twice is one row) and the .eml kept in the archive as the legal proof.
        {QStringLiteral("t_ricevute"),
         {id(), col("MessageID", "MEMO"), col("Tipo", "VARCHAR(50)"), col("Destinatario", "VARCHAR(255)"),
          col("DataOra", "VARCHAR(19)"), col("Gestore", "VARCHAR(255)"), col("Errore", "VARCHAR(50)"),
          col("ErroreEsteso", "MEMO"), col("Identificativo", "VARCHAR(255)"), col("File", "MEMO"),
          col("Letta", "VARCHAR(19)")}},
        // The lock of letter runs, one row per lock name while it is held: whoever holds it,
        // from which process, since when, and when it last said it was alive.
        {QStringLiteral("t_blocchi"),
         {id(), col("Nome", "VARCHAR(50)", "NOT NULL"), col("Postazione", "VARCHAR(255)"),
          col("Host", "VARCHAR(255)"), col("Utente", "VARCHAR(255)"), col("Processo", "INT"),
          col("Inizio", "VARCHAR(19)"), col("Aggiornato", "VARCHAR(19)")}},
    };
    return defs;
}

QString joinLines(const QStringList& lines)
{
    return lines.join(QStringLiteral("\r\n"));
}

QString declaredTypeFor(const QString& fieldType)
{
    const QString t = fieldType.trimmed().toUpper();
    if (t == QLatin1String("AUTOINCREMENT")) return QStringLiteral("INTEGER");
    if (t == QLatin1String("MEMO"))
        return QStringLiteral("TEXT"); // a MEMO declaration would make numbers of numeric texts
    return t;
}

QString columnDefinition(const db::Dialect& dialect, const TFieldTable& f)
{
    const QString name = dialect.quoteName(f.FieldName);
    if (f.FieldType.compare(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive) == 0)
        return dialect.autoIncrementKey(name);
    const QString declared = dialect.declaredType(f.FieldType);
    QString def = name + QLatin1Char(' ') + dialect.columnType(f.FieldType);
    const bool text = declared.startsWith(QLatin1String("VARCHAR")) || declared == QLatin1String("TEXT");
    if (text) def += dialect.textCollation();
    if (f.FieldSettings.contains(QLatin1String("NOT NULL"), Qt::CaseInsensitive))
        def += QStringLiteral(" NOT NULL");
    const int width = textWidth(declared);
    if (width > 0) {
        QString shown = f.FieldName;
        shown.replace(QLatin1Char('\''), QStringLiteral("''"));
        def += QStringLiteral(" CHECK (sz_width(%1, %2, '%3'))").arg(name).arg(width).arg(shown);
    }
    return def;
}

QString columnDefinition(const TFieldTable& f)
{
    const QString type = declaredTypeFor(f.FieldType);
    if (f.FieldType.compare(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive) == 0)
        return quoted(f.FieldName) + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT");
    QString def = quoted(f.FieldName) + QLatin1Char(' ') + type;
    const bool text = type.startsWith(QLatin1String("VARCHAR")) || type == QLatin1String("TEXT");
    if (text) def += QStringLiteral(" COLLATE NOCASEU");
    if (f.FieldSettings.contains(QLatin1String("NOT NULL"), Qt::CaseInsensitive))
        def += QStringLiteral(" NOT NULL");
    const int width = textWidth(type);
    if (width > 0) {
        QString name = f.FieldName;
        name.replace(QLatin1Char('\''), QStringLiteral("''"));
        def +=
            QStringLiteral(" CHECK (sz_width(%1, %2, '%3'))").arg(quoted(f.FieldName)).arg(width).arg(name);
    }
    return def;
}

namespace {

using ExistingColumn = db::ColumnInfo;

QVector<ExistingColumn> existingColumns(db::Connection& conn, const QString& table)
{
    return conn.dialect().columns(conn, table);
}

const TFieldTable* findField(const TableDef& def, const QString& name)
{
    for (const auto& f : def.fields)
        if (f.FieldName.compare(name, Qt::CaseInsensitive) == 0) return &f;
    return nullptr;
}

// A type read from the file goes back into a definition as a quoted name: the engine
// stores it unquoted and derives the column's affinity from it as before.
QString quotedType(const QString& type)
{
    return type.isEmpty() ? QString() : QLatin1Char(' ') + quoted(type);
}

// A default read from the file becomes a literal: numbers, well-formed strings and blobs,
// NULL and the three clock keywords stay as they are, anything else is kept as its text.
QString defaultLiteral(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$"));
    static const QRegularExpression string(QStringLiteral("^'([^']|'')*'$"));
    static const QRegularExpression blob(QStringLiteral("^[xX]'[0-9A-Fa-f]*'$"));
    static const QRegularExpression keyword(
        QStringLiteral("^(NULL|CURRENT_TIME|CURRENT_DATE|CURRENT_TIMESTAMP)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString t = text.trimmed();
    if (number.match(t).hasMatch() || string.match(t).hasMatch() || blob.match(t).hasMatch() ||
        keyword.match(t).hasMatch())
        return t;
    return QLatin1Char('\'') + QString(t).replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}

// What a NOT NULL column that a table lacks holds in its existing rows: the seed value
// where the row is a seeded payment mode, else the type's own empty value.
QVariant typeDefault(const QString& fieldType)
{
    const QString t = fieldType.trimmed().toUpper();
    if (t.startsWith(QLatin1String("VARCHAR")) || t == QLatin1String("MEMO") || t == QLatin1String("TEXT"))
        return QString(QLatin1String(""));
    return 0;
}

QString missingValue(const db::Dialect& dialect, const QString& table, const TFieldTable& f, const QVector<ExistingColumn>& existing,
                     db::Params& params)
{
    const QString def = QStringLiteral(":d%1").arg(params.size());
    params.push_back({def, typeDefault(f.FieldType)});
    const QStringList thresholds{QStringLiteral("Preavviso"), QStringLiteral("Sollecito1"),
                                 QStringLiteral("Sollecito2"), QStringLiteral("Sollecito3")};
    const int which = int(thresholds.indexOf(f.FieldName));
    const ExistingColumn* key = nullptr;
    for (const auto& c : existing)
        if (c.name.compare(QLatin1String("Modalita"), Qt::CaseInsensitive) == 0) key = &c;
    if (table != QLatin1String("t_parametri") || which < 0 || !key) return def;
    QString expr = QStringLiteral("CASE");
    for (const auto& seed : parameterSeeds()) {
        const int values[] = {seed.preavviso, seed.sollecito1, seed.sollecito2, seed.sollecito3};
        const QString k = QStringLiteral(":k%1").arg(params.size());
        params.push_back({k, seed.modalita});
        const QString v = QStringLiteral(":v%1").arg(params.size());
        params.push_back({v, values[which]});
        expr += QStringLiteral(" WHEN %1 = %2 THEN %3").arg(dialect.quoteName(key->name), k, v);
    }
    // Values of parameters alone give the choice no type of its own: a server then takes it
    // for text, which a number column refuses.
    return QStringLiteral("CAST(%1 ELSE %2 END AS %3)").arg(expr, def, dialect.columnType(f.FieldType));
}

// SQLite cannot change a column's type in place: the table is made again with the
// defined types and its rows copied across, converting each value or failing. Only the
// types are brought back: a column keeps whether it accepts empty values, as an ALTER
// COLUMN would leave it. Nothing read from the file is pasted into the statements: names
// and types go in quoted, defaults as literals, values as parameters.
void rebuildTable(db::Connection& conn, const QString& table, const TableDef& def,
                  const QVector<ExistingColumn>& existing)
{
    QStringList defs, targetCols, sourceExprs;
    db::Params params;
    auto param = [&params](const QVariant& v) {
        const QString name = QStringLiteral(":p%1").arg(params.size());
        params.push_back({name, v});
        return name;
    };
    bool haveId = false;
    for (const auto& c : existing) {
        const TFieldTable* f = findField(def, c.name);
        if (f) {
            TFieldTable kept = *f;
            kept.FieldName = c.name; // the file's own spelling of the name stays
            if (!c.notNull) kept.FieldSettings.remove(QLatin1String("NOT NULL"), Qt::CaseInsensitive);
            defs << columnDefinition(kept);
            if (f->FieldName == QLatin1String("ID")) {
                haveId = true;
                sourceExprs << quoted(c.name);
            } else if (c.type == declaredTypeFor(f->FieldType)) {
                sourceExprs << quoted(c.name);
            } else {
                sourceExprs << QStringLiteral("sz_convert(%1, %2, %3, %4)")
                                   .arg(quoted(c.name), param(c.rawType),
                                        param(declaredTypeFor(f->FieldType)), param(c.name));
            }
        } else {
            QString d = quoted(c.name) + quotedType(c.rawType);
            if (c.notNull) d += QStringLiteral(" NOT NULL");
            if (!c.defaultValue.isEmpty()) d += QStringLiteral(" DEFAULT ") + defaultLiteral(c.defaultValue);
            defs << d;
            sourceExprs << quoted(c.name);
        }
        targetCols << quoted(c.name);
    }
    if (!haveId) defs.prepend(columnDefinition(def.fields.first()));
    for (const auto& f : def.fields) {
        bool present = f.FieldName == QLatin1String("ID") && haveId;
        for (const auto& c : existing)
            present = present || c.name.compare(f.FieldName, Qt::CaseInsensitive) == 0;
        if (present || f.FieldName == QLatin1String("ID")) continue;
        defs << columnDefinition(f);
        // The rows already there need a value in a column that must have one.
        if (f.FieldSettings.contains(QLatin1String("NOT NULL"), Qt::CaseInsensitive)) {
            targetCols << quoted(f.FieldName);
            sourceExprs << missingValue(conn.dialect(), table, f, existing, params);
        }
    }

    const QStringList indexes = conn.dialect().indexDefinitions(conn, table);

    const QString tmp = table + QStringLiteral("__nuova");
    try {
        conn.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(tmp), defs.join(QStringLiteral(", "))));
        conn.exec(QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4")
                      .arg(quoted(tmp), targetCols.join(QStringLiteral(", ")),
                           sourceExprs.join(QStringLiteral(", ")), quoted(table)),
                  params);
        conn.exec(QStringLiteral("DROP TABLE %1").arg(quoted(table)));
        conn.exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(quoted(tmp), quoted(table)));
        for (const auto& sql : indexes)
            conn.exec(sql);
    } catch (const db::DatabaseError& e) {
        // The working table is ours, not the user's: messages name the table being upgraded.
        throw db::DatabaseError(QString(e.message()).replace(tmp, table), e.fault(), e.engineCode());
    } catch (const Error& e) {
        throw Error(QString(e.message()).replace(tmp, table));
    }
}

// A column changed in place takes the values the file's rebuild would give it: amounts and
// dates as the office writes them ("1.234,50", "05/03/2026") and numbers of euros, which the
// engine's own conversion reads as something else or refuses. They are first written in the
// engine's plain form, in the column made text, then converted; a value that is no amount or
// date stops the upgrade. A text column keeps its width as every column made does.
void changeColumnInPlace(db::Connection& conn, const QString& table, const ExistingColumn& c, const TFieldTable& f)
{
    const db::Dialect& dialect = conn.dialect();
    const QString to = dialect.declaredType(f.FieldType);
    const bool money = to.startsWith(QLatin1String("CURRENCY")), date = to.startsWith(QLatin1String("DATETIME"));
    const QString column = dialect.quoteName(c.name), quotedTable = dialect.quoteName(table);
    if (money || date) {
        QVector<QPair<QString, QString>> plain;
        const db::Result r =
            conn.query(QStringLiteral("SELECT DISTINCT %1 FROM %2 WHERE %1 IS NOT NULL").arg(column, quotedTable));
        for (const auto& row : r.rows) {
            const QVariant& v = row.first();
            const bool number = v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
                                v.typeId() == QMetaType::Double;
            QString value;
            if (money && number) {
                value = QString::number(std::llround(v.toDouble() * double(Money::Scale)));
            } else if (money) {
                if (const auto m = Money::parse(v.toString()))
                    value = QString::number(m->raw());
            } else {
                QDate d = v.typeId() == QMetaType::QDate ? v.toDate() : dates::fromIso(v.toString());
                if (!d.isValid() && !number)
                    d = dates::fromDisplay(v.toString());
                if (d.isValid())
                    value = dates::toIso(d);
            }
            if (value.isEmpty())
                throw Error(QStringLiteral("impossibile convertire il valore \"%1\" della colonna %2 nel tipo %3")
                                .arg(v.toString(), f.FieldName, to));
            plain.push_back({v.toString(), value});
        }
        // The plain forms go to a column of their own, matched against the column still of its
        // old type: a value converted never meets the match of another ("1" becoming "10000"
        // while 10000 waits its turn), and the engine reads each old value back as it stored it.
        const QString work = dialect.quoteName(QStringLiteral("sz_conversione"));
        conn.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 TEXT").arg(quotedTable, work));
        for (const auto& [was, value] : plain)
            conn.exec(QStringLiteral("UPDATE %1 SET %2 = :Valore WHERE %3 = :Era").arg(quotedTable, work, column),
                      {{QStringLiteral("Valore"), value}, {QStringLiteral("Era"), was}});
        // A value no match found would be lost: the upgrade stops on it instead.
        const db::Result perso = conn.query(
            QStringLiteral("SELECT %1 FROM %2 WHERE %1 IS NOT NULL AND %3 IS NULL LIMIT 1").arg(column, quotedTable, work));
        if (!perso.isEmpty())
            throw Error(QStringLiteral("impossibile convertire il valore \"%1\" della colonna %2 nel tipo %3")
                            .arg(perso.rows[0].first().toString(), f.FieldName, to));
        dialect.changeColumnType(conn, table, c.name, QStringLiteral("TEXT"));
        conn.exec(QStringLiteral("UPDATE %1 SET %2 = %3").arg(quotedTable, column, work));
        conn.exec(QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(quotedTable, work));
    }
    dialect.changeColumnType(conn, table, c.name, f.FieldType);
    if (const int width = textWidth(to); width > 0) {
        QString shown = f.FieldName;
        shown.replace(QLatin1Char('\''), QStringLiteral("''"));
        conn.exec(QStringLiteral("ALTER TABLE %1 ADD CHECK (sz_width(%2, %3, '%4'))")
                      .arg(quotedTable, column)
                      .arg(width)
                      .arg(shown));
    }
}

// The server changes a column in place; a NOT NULL column it lacks is added empty, given
// its value in the rows already there, and only then made required.
void alterTable(db::Connection& conn, const QString& table, const TableDef& def,
                const QVector<ExistingColumn>& existing)
{
    const db::Dialect& dialect = conn.dialect();
    for (const auto& f : def.fields) {
        const ExistingColumn* c = nullptr;
        for (const auto& e : existing)
            if (e.name.compare(f.FieldName, Qt::CaseInsensitive) == 0) c = &e;
        if (c) {
            if (f.FieldName != QLatin1String("ID") && c->type != dialect.declaredType(f.FieldType))
                changeColumnInPlace(conn, table, *c, f);
            continue;
        }
        const bool required = f.FieldSettings.contains(QLatin1String("NOT NULL"), Qt::CaseInsensitive);
        TFieldTable added = f;
        added.FieldSettings.remove(QLatin1String("NOT NULL"), Qt::CaseInsensitive);
        conn.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                      .arg(dialect.quoteName(table), columnDefinition(dialect, added)));
        if (required && f.FieldName != QLatin1String("ID")) {
            db::Params params;
            const QString value = missingValue(dialect, table, f, existing, params);
            conn.exec(QStringLiteral("UPDATE %1 SET %2 = %3")
                          .arg(dialect.quoteName(table), dialect.quoteName(f.FieldName), value),
                      params);
            conn.exec(QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 SET NOT NULL")
                          .arg(dialect.quoteName(table), dialect.quoteName(f.FieldName)));
        }
    }
}

void checkTable(db::Connection& conn, const QString& table, const TableDef& def)
{
    const QVector<ExistingColumn> existing = existingColumns(conn, table);
    if (!conn.dialect().rebuildsTables()) {
        alterTable(conn, table, def, existing);
        return;
    }
    auto findExisting = [&](const QString& name) -> const ExistingColumn* {
        for (const auto& c : existing)
            if (c.name.compare(name, Qt::CaseInsensitive) == 0) return &c;
        return nullptr;
    };

    bool rebuild = false;
    QVector<TFieldTable> toAdd;
    for (const auto& f : def.fields) {
        const ExistingColumn* c = findExisting(f.FieldName);
        if (!c) {
            // Columns that must hold a value, and the key itself, cannot be added in place.
            if (f.FieldName == QLatin1String("ID") || f.FieldSettings.contains(QLatin1String("NOT NULL")))
                rebuild = true;
            else
                toAdd.push_back(f);
        } else if (f.FieldName != QLatin1String("ID") && c->type != declaredTypeFor(f.FieldType)) {
            rebuild = true;
        }
    }
    if (rebuild) {
        rebuildTable(conn, table, def, existing);
        return;
    }
    for (const auto& f : toAdd)
        conn.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(quoted(table), columnDefinition(f)));
}

bool isEmptyValue(const QVariant& v)
{
    return !v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
}

void seedTemplates(db::Connection& conn)
{
    const auto& seeds = templateSeeds();
    const QString key = QStringLiteral("Tipologia");
    // Rows first, then subjects, introductions and closings, each in the order of kinds.
    for (const auto& s : seeds) {
        const db::Params p{{key, s.tipologia}};
        if (conn.query(QStringLiteral("SELECT Tipologia FROM t_comunicazioni WHERE Tipologia = :Tipologia"),
                       p)
                .isEmpty())
            conn.exec(QStringLiteral("INSERT INTO t_comunicazioni (Tipologia) VALUES (:Tipologia)"), p);
    }
    struct Field
    {
        const char* column;
        std::function<QString(const TemplateSeed&)> text;
    };
    const Field fields[] = {
        {"Oggetto", [](const TemplateSeed& s) { return s.oggetto; }},
        {"Introduzione", [](const TemplateSeed& s) { return joinLines(s.introduzione); }},
        {"Finale", [](const TemplateSeed& s) { return joinLines(s.finale); }},
    };
    for (const auto& f : fields) {
        const QString column = QString::fromLatin1(f.column);
        for (const auto& s : seeds) {
            const db::Result r = conn.query(
                QStringLiteral("SELECT %1 FROM t_comunicazioni WHERE Tipologia = :Tipologia ORDER BY ID").arg(column),
                {{key, s.tipologia}});
            if (r.isEmpty() || isEmptyValue(r.rows.first().first()))
                conn.exec(
                    QStringLiteral("UPDATE t_comunicazioni SET %1 = :Valore WHERE Tipologia = :Tipologia")
                        .arg(column),
                    {{QStringLiteral("Valore"), f.text(s)}, {key, s.tipologia}});
        }
    }
}

void seedParameters(db::Connection& conn)
{
    for (const auto& s : parameterSeeds()) {
        const db::Params key{{QStringLiteral("Modalita"), s.modalita}};
        const db::Result r = conn.query(
            QStringLiteral(
                "SELECT Preavviso, Sollecito1, Sollecito2, Sollecito3 FROM t_parametri WHERE Modalita = "
                ":Modalita ORDER BY ID"),
            key);
        if (r.isEmpty()) {
            conn.exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, "
                                     "Sollecito3) VALUES (:Modalita, :P, :S1, :S2, :S3)"),
                      {{QStringLiteral("Modalita"), s.modalita},
                       {QStringLiteral("P"), s.preavviso},
                       {QStringLiteral("S1"), s.sollecito1},
                       {QStringLiteral("S2"), s.sollecito2},
                       {QStringLiteral("S3"), s.sollecito3}});
            continue;
        }
        const QStringList columns{QStringLiteral("Preavviso"), QStringLiteral("Sollecito1"),
                                  QStringLiteral("Sollecito2"), QStringLiteral("Sollecito3")};
        const int values[] = {s.preavviso, s.sollecito1, s.sollecito2, s.sollecito3};
        for (int i = 0; i < 4; ++i) {
            if (isEmptyValue(r.rows.first()[i]))
                conn.exec(QStringLiteral("UPDATE t_parametri SET %1 = :V WHERE Modalita = :Modalita")
                              .arg(columns[i]),
                          {{QStringLiteral("V"), values[i]}, {QStringLiteral("Modalita"), s.modalita}});
        }
    }
}

// A rate row of the seeds comes back when no row of its kind starts on its day; a row the
// user edited (its rate, its end, its source) is never written over.
void seedRates(db::Connection& conn)
{
    if (!conn.tableNames().contains(QStringLiteral("t_tassi")))
        return;
    for (const auto& s : rateSeeds()) {
        const db::Params key{{QStringLiteral("Tipo"), s.tipo}, {QStringLiteral("Dal"), s.dal}};
        if (!conn.query(QStringLiteral("SELECT ID FROM t_tassi WHERE Tipo = :Tipo AND Dal = :Dal"), key).isEmpty())
            continue;
        conn.exec(QStringLiteral("INSERT INTO t_tassi (Tipo, Dal, Al, Tasso, Fonte) VALUES (:Tipo, :Dal, :Al, :Tasso, "
                                 ":Fonte)"),
                  {{QStringLiteral("Tipo"), s.tipo},
                   {QStringLiteral("Dal"), s.dal},
                   {QStringLiteral("Al"), s.al},
                   {QStringLiteral("Tasso"), s.tasso},
                   {QStringLiteral("Fonte"), s.fonte}});
    }
}

} // namespace

void upgrade(db::Connection& conn)
{
    db::Transaction tx(conn);
    const db::Dialect& dialect = conn.dialect();

    QStringList typeWords;
    for (const auto& def : tables())
        for (const auto& f : def.fields)
            typeWords << f.FieldType;
    dialect.prepareSchema(conn, typeWords);

    QStringList names = conn.tableNames();
    for (const auto& def : tables()) {
        if (names.contains(def.name, Qt::CaseInsensitive)) continue;
        // Made whole at once: the same table as creating it with its key and adding
        // the columns one by one, without rebuilding it for its NOT NULL columns.
        QStringList columns;
        for (const auto& f : def.fields)
            columns << columnDefinition(dialect, f);
        conn.exec(QStringLiteral("CREATE TABLE %1 (%2)")
                      .arg(dialect.quoteName(def.name), columns.join(QStringLiteral(", "))));
        QStringList spelled;
        for (const auto& f : def.fields)
            spelled << f.FieldName;
        dialect.describeTable(conn, def.name, spelled);
    }

    // Only a table spelled exactly as defined is checked; one that differs in case
    // alone is left as the user has it. An engine that folds names has no other spelling:
    // there the table made by hand with the name unquoted is the one defined.
    names = conn.tableNames();
    for (const auto& name : names) {
        for (const auto& def : tables()) {
            if (dialect.quoteName(def.name) == dialect.quoteName(name)) {
                checkTable(conn, name, def);
                QStringList spelled;
                for (const auto& f : def.fields)
                    spelled << f.FieldName;
                dialect.describeTable(conn, def.name, spelled);
                break;
            }
        }
    }

    // Imports look every row up by these: without them each row reads the whole table,
    // and 100,000 rows take hours instead of seconds. A table rebuilt above lost its own.
    // Only on tables as defined: one the user keeps spelled otherwise may lack the
    // columns, and an index is speed, never a reason to refuse a start.
    const QList<QPair<const char*, const char*>> indici = {
        {"t_crediti", "CREATE INDEX IF NOT EXISTS ix_crediti_rata ON t_crediti (NumeroFattura, DataFattura, Scadenza)"},
        {"t_clienti", "CREATE INDEX IF NOT EXISTS ix_clienti_nome ON t_clienti (RagioneSociale)"},
        {"t_parametri", "CREATE INDEX IF NOT EXISTS ix_parametri_modalita ON t_parametri (Modalita)"},
        {"t_banche", "CREATE INDEX IF NOT EXISTS ix_banche_nome ON t_banche (Nome)"},
        {"t_invii", "CREATE INDEX IF NOT EXISTS ix_invii_credito ON t_invii (IDCredito, DataOra)"},
        {"t_invii", "CREATE INDEX IF NOT EXISTS ix_invii_dataora ON t_invii (DataOra)"},
        {"t_esecuzioni", "CREATE INDEX IF NOT EXISTS ix_esecuzioni_inizio ON t_esecuzioni (Inizio)"},
        {"t_ricevute", "CREATE INDEX IF NOT EXISTS ix_ricevute_messaggio ON t_ricevute (MessageID)"}};
    for (const auto& [tabella, sql] : indici)
        if (names.contains(QLatin1String(tabella)))
            conn.exec(QString::fromLatin1(sql));

    seedTemplates(conn);
    seedParameters(conn);
    seedRates(conn);
    tx.commit();
}

} // namespace sz::schema
