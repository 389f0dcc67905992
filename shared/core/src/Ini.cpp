#include "scadenzio/Ini.h"

#include <QFile>
#include <QStringDecoder>

namespace sz {

QString readIniValue(const QString& path, const QString& section, const QString& key,
                     const QString& defaultValue)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return defaultValue;
    const QByteArray bytes = f.readAll();

    // Files written on Windows may be Latin-1; anything that is not valid UTF-8 is read as such.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    const QString wantSection = section.trimmed();
    const QString wantKey = key.trimmed();
    bool inSection = false;
    const auto lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const int close = int(line.indexOf(QLatin1Char(']')));
            const QString name = (close > 0 ? line.mid(1, close - 1) : line.mid(1)).trimmed();
            inSection = name.compare(wantSection, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const int eq = int(line.indexOf(QLatin1Char('=')));
        if (eq < 0)
            continue;
        if (line.left(eq).trimmed().compare(wantKey, Qt::CaseInsensitive) != 0)
            continue;
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return defaultValue;
}

} // namespace sz
