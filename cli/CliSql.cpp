#include "CliSql.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"

namespace sz::cli {

db::Params parseParams(const QStringList& args)
{
    db::Params out;
    for (const QString& arg : args) {
        const int eq = int(arg.indexOf(QLatin1Char('=')));
        if (eq <= 0)
            throw Error(QStringLiteral("parametro \"%1\" non valido: usare NOME=VALORE").arg(arg));
        QString name = arg.left(eq);
        const QString value = arg.mid(eq + 1);
        QString type;
        const int colon = int(name.indexOf(QLatin1Char(':'), 1));
        if (colon > 0) {
            type = name.mid(colon + 1).toLower();
            name = name.left(colon);
        }
        QVariant v;
        if (type.isEmpty() || type == QLatin1String("text")) {
            v = value;
        } else if (type == QLatin1String("int")) {
            bool ok = false;
            v = value.toLongLong(&ok);
            if (!ok)
                throw Error(QStringLiteral("il parametro %1 non è un numero intero").arg(name));
        } else if (type == QLatin1String("money")) {
            const auto m = Money::parse(value);
            if (!m)
                throw Error(QStringLiteral("il parametro %1 non è un importo").arg(name));
            v = QVariant::fromValue(*m);
        } else if (type == QLatin1String("date")) {
            QDate d = dates::fromDisplay(value);
            if (!d.isValid())
                d = dates::fromIso(value);
            if (!d.isValid())
                throw Error(QStringLiteral("il parametro %1 non è una data gg/mm/aaaa").arg(name));
            v = d;
        } else if (type == QLatin1String("null")) {
            v = QVariant();
        } else {
            throw Error(QStringLiteral("tipo \"%1\" sconosciuto (text, int, money, date, null)").arg(type));
        }
        out.push_back({name, v});
    }
    return out;
}

QString formatField(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return {};
    if (v.userType() == qMetaTypeId<Money>()) {
        // Two decimals at least, more only when the amount has them.
        QString s = v.value<Money>().toMachine();
        while (s.endsWith(QLatin1Char('0')) && s.size() - s.indexOf(QLatin1Char('.')) > 3)
            s.chop(1);
        s.replace(QLatin1Char('.'), QLatin1Char(','));
        return s;
    }
    if (v.typeId() == QMetaType::QDate)
        return dates::toDisplay(v.toDate());
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', 15).replace(QLatin1Char('.'), QLatin1Char(','));
    QString s = v.toString();
    // One row per line: breaks and tabs inside a value are shown escaped.
    s.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    s.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    s.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    s.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return s;
}

QString formatResult(const db::Result& r)
{
    QString out;
    if (r.columns.isEmpty())
        return out;
    QStringList header;
    for (const auto& c : r.columns)
        header << c.name;
    out += header.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const auto& row : r.rows) {
        QStringList fields;
        fields.reserve(row.size());
        for (const auto& v : row)
            fields << formatField(v);
        out += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out;
}

} // namespace sz::cli
