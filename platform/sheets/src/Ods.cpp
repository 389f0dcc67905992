// OpenDocument spreadsheets: the first table of content.xml. Runs of equal rows and cells
// are stored once with a repeat count; office programs end every sheet with such a run
// up to the last row the format allows, so empty runs only move the position and never
// become cells.
#include "Internal.h"

#include <QXmlStreamReader>

#include <cmath>

namespace sz::sheets::detail {

namespace {

const QString nsOffice = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString nsTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString nsText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");

qint64 ripetizioni(const QXmlStreamAttributes& at, QLatin1String nome)
{
    bool ok = false;
    const qint64 n = at.value(nsTable, nome).toLongLong(&ok);
    return ok && n >= 1 ? std::min(n, maxRows * maxColumns) : 1;
}

// Where a cell's text is gathered, for the message when it grows past the limit.
struct Posizione
{
    const QString& nome;
    qint64 riga;
    qint64 colonna;
};

// The text of a paragraph, with its spaces (<text:s text:c="n"/>), tabs and line breaks,
// through spans and links; notes and comments are not the cell's text.
void testoParagrafo(QXmlStreamReader& x, QString& out, const Posizione& dove)
{
    int profondita = 1;
    while (!x.atEnd() && profondita > 0) {
        // Spaces expand: a few bytes of <text:s text:c="1024"/> are a kilobyte of text.
        if (out.size() > limits::cellChars) cellaTroppoLunga(dove.nome, dove.riga, dove.colonna);
        const auto t = x.readNext();
        if (t == QXmlStreamReader::Characters) {
            out += x.text();
        } else if (t == QXmlStreamReader::StartElement) {
            const auto n = x.name();
            if (n == QLatin1String("s")) {
                bool ok = false;
                const int c = x.attributes().value(nsText, QLatin1String("c")).toInt(&ok);
                out += QString(ok && c > 0 ? std::min(c, 1024) : 1, QLatin1Char(' '));
                x.skipCurrentElement();
            } else if (n == QLatin1String("tab")) {
                out += QLatin1Char('\t');
                x.skipCurrentElement();
            } else if (n == QLatin1String("line-break")) {
                out += QLatin1Char('\n');
                x.skipCurrentElement();
            } else if (n == QLatin1String("note") || n == QLatin1String("annotation") ||
                       n == QLatin1String("ruby-text")) {
                x.skipCurrentElement();
            } else {
                ++profondita;
            }
        } else if (t == QXmlStreamReader::EndElement) {
            --profondita;
        }
    }
}

QString testoTempo(QStringView durata)
{
    // PT12H30M05S, as a time of day. Summed as seconds in a double: a duration's numbers
    // come from the file and may be beyond any integer.
    double secondi = 0;
    QString numero;
    bool tempo = false;
    for (const QChar c : durata) {
        if (c == QLatin1Char('T'))
            tempo = true;
        else if (c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char(','))
            numero += c;
        else {
            const double v = numero.replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
            if (c == QLatin1Char('D'))
                secondi += std::trunc(v) * 86400;
            else if (tempo && c == QLatin1Char('H'))
                secondi += std::trunc(v) * 3600;
            else if (tempo && c == QLatin1Char('M'))
                secondi += std::trunc(v) * 60;
            else if (tempo && c == QLatin1Char('S'))
                secondi += v;
            numero.clear();
        }
    }
    if (!(secondi >= 0 && secondi < 9999.0 * 3600 + 1)) return durata.toString();
    const qint64 totale = qint64(secondi + 0.5);
    if (totale > 9999ll * 3600) return durata.toString();
    return QStringLiteral("%1:%2:%3")
        .arg(totale / 3600, 2, 10, QLatin1Char('0'))
        .arg(totale / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(totale % 60, 2, 10, QLatin1Char('0'));
}

QString testoData(const QString& iso)
{
    QDateTime dt = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!dt.isValid()) dt = QDateTime(QDate::fromString(iso.left(10), Qt::ISODate), QTime(0, 0));
    return dt.isValid() ? dateTimeText(dt) : iso;
}

// One cell: its value as text, empty when it holds none. A formula or a typed value
// whose stored result is missing sets illeggibile: read as empty, it would import a
// € 0,00 credit as paid.
QString cella(QXmlStreamReader& x, const Posizione& dove, bool& illeggibile)
{
    const auto at = x.attributes();
    const QString tipo = at.value(nsOffice, QLatin1String("value-type")).toString();
    const bool formula = at.hasAttribute(nsTable, QLatin1String("formula"));
    illeggibile = false;
    QString testo;
    bool paragrafi = false;
    while (!x.atEnd()) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::StartElement) {
            if (x.name() == QLatin1String("p") || x.name() == QLatin1String("h")) {
                if (paragrafi) testo += QLatin1Char('\n');
                paragrafi = true;
                testoParagrafo(x, testo, dove);
                if (testo.size() > limits::cellChars) cellaTroppoLunga(dove.nome, dove.riga, dove.colonna);
            } else {
                x.skipCurrentElement(); // annotations, drawings, a sub-table
            }
        } else if (t == QXmlStreamReader::EndElement) {
            break;
        }
    }
    if (tipo == QLatin1String("float") || tipo == QLatin1String("percentage") ||
        tipo == QLatin1String("currency")) {
        bool ok = false;
        const double v = at.value(nsOffice, QLatin1String("value")).toDouble(&ok);
        if (!ok && testo.trimmed().isEmpty()) illeggibile = true;
        return ok ? numberText(v) : testo;
    }
    if (tipo == QLatin1String("date")) {
        const QString v = at.value(nsOffice, QLatin1String("date-value")).toString();
        if (v.isEmpty() && testo.trimmed().isEmpty()) illeggibile = true;
        return v.isEmpty() ? testo : testoData(v);
    }
    if (tipo == QLatin1String("time")) return testoTempo(at.value(nsOffice, QLatin1String("time-value")));
    if (tipo == QLatin1String("boolean")) {
        const auto v = at.value(nsOffice, QLatin1String("boolean-value"));
        return boolText(v == QLatin1String("true") || v == QLatin1String("1"));
    }
    if (formula && tipo.isEmpty() && testo.isEmpty()) illeggibile = true;
    return testo;
}

} // namespace

Foglio readOds(const Archivio& a, const QString& nome)
{
    const QByteArray xml = a.read(QStringLiteral("content.xml"));
    // No OpenDocument part declares a document type; one that does may declare entities.
    if (haDtd(xml)) damaged(nome, QStringLiteral("parte content.xml: dichiarazione DTD non ammessa"));
    QXmlStreamReader x(xml);
    Blocco blocco(nome);
    bool inTabella = false, trovata = false;
    int profonditaTabella = 0;
    qint64 riga = 0;
    while (!x.atEnd()) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::StartElement) {
            const auto n = x.name();
            if (n == QLatin1String("table") && x.namespaceUri() == nsTable) {
                if (trovata && !inTabella) break; // only the first sheet
                trovata = inTabella = true;
                ++profonditaTabella;
                continue;
            }
            if (!inTabella) continue;
            if (n == QLatin1String("table-row")) {
                const qint64 volte = ripetizioni(x.attributes(), QLatin1String("number-rows-repeated"));
                QList<std::pair<qint64, QString>> valori;
                QList<qint64> illeggibili;
                qint64 colonna = 0;
                while (!x.atEnd()) {
                    const auto u = x.readNext();
                    if (u == QXmlStreamReader::StartElement) {
                        if (x.name() == QLatin1String("table-cell") ||
                            x.name() == QLatin1String("covered-table-cell")) {
                            const qint64 c =
                                ripetizioni(x.attributes(), QLatin1String("number-columns-repeated"));
                            bool illeggibile = false;
                            const QString v = cella(x, {nome, riga, colonna}, illeggibile);
                            if (illeggibile) {
                                if (colonna + c > limits::columns) troppeColonne(nome, riga, colonna + c);
                                for (qint64 k = 0; k < c; ++k)
                                    illeggibili.append(colonna + k);
                            } else if (!v.isEmpty()) {
                                if (colonna + c > limits::columns) troppeColonne(nome, riga, colonna + c);
                                for (qint64 k = 0; k < c; ++k)
                                    valori.append({colonna + k, v});
                            }
                            colonna += c;
                        } else {
                            x.skipCurrentElement();
                        }
                    } else if (u == QXmlStreamReader::EndElement) {
                        break; // the row
                    }
                }
                if (!valori.isEmpty() || !illeggibili.isEmpty()) {
                    if (riga + volte > maxRows) tooBig(nome, riga + volte, colonna);
                    for (qint64 k = 0; k < volte; ++k) {
                        for (const auto& [c, v] : valori)
                            blocco.set(riga + k, c, v);
                        for (qint64 c : illeggibili)
                            blocco.illeggibile(riga + k, c, false);
                    }
                }
                riga += volte;
                if (riga > maxRows * 2) break; // only empty runs are left
            }
            // Row groups, header rows and the like only wrap rows.
        } else if (t == QXmlStreamReader::EndElement && inTabella && x.name() == QLatin1String("table")) {
            if (--profonditaTabella == 0) {
                inTabella = false;
                break;
            }
        }
    }
    if (x.hasError()) damaged(nome, QStringLiteral("parte content.xml, riga %1").arg(x.lineNumber()));
    if (!trovata) damaged(nome, QStringLiteral("nessun foglio"));
    return blocco.finish();
}

} // namespace sz::sheets::detail
