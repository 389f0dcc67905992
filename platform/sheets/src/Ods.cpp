// OpenDocument spreadsheets: the first table of content.xml. Runs of equal rows and cells
// are stored once with a repeat count; office programs end every sheet with such a run
// up to the last row the format allows, so empty runs only move the position and never
// become cells. A number whose cell style pads it with zeros (a CAP 184 shown as "00184")
// reads as the text shown; the styles come from styles.xml and the automatic styles of
// content.xml, which precede the tables.
#include "Internal.h"

#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <vector>

namespace sz::sheets::detail {

namespace {

const QString nsOffice = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString nsTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString nsText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString nsStyle = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString nsNumber = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0");

// The cell styles as far as an import cares: the width a style pads whole numbers to
// with zeros, when its number style is a bare run of zeros ("00000"), else 0.
class Stili
{
public:
    // Reads the children of <office:styles> or <office:automatic-styles>; the reader is on
    // its start and is left on its end. Later definitions replace earlier ones of the
    // same name, as content.xml's own styles come after those of styles.xml.
    void leggi(QXmlStreamReader& x)
    {
        while (!x.atEnd()) {
            const auto t = x.readNext();
            if (t == QXmlStreamReader::EndElement) return;
            if (t != QXmlStreamReader::StartElement) continue;
            const auto at = x.attributes();
            const QString nome = at.value(nsStyle, QLatin1String("name")).toString();
            if (x.namespaceUri() == nsNumber && x.name() == QLatin1String("number-style")) {
                const int z = zeri(x);
                if (z > 0)
                    m_numeri.insert(nome, z);
                else
                    m_numeri.remove(nome);
            } else if (x.namespaceUri() == nsStyle && x.name() == QLatin1String("style") &&
                       at.value(nsStyle, QLatin1String("family")) == QLatin1String("table-cell")) {
                m_celle.insert(nome, {at.value(nsStyle, QLatin1String("data-style-name")).toString(),
                                      at.value(nsStyle, QLatin1String("parent-style-name")).toString()});
                x.skipCurrentElement();
            } else {
                x.skipCurrentElement();
            }
        }
    }

    // No style pads: the cells need not be looked at.
    bool nessuno() const { return m_numeri.isEmpty(); }

    // The width of a cell style, through the styles it inherits from.
    int larghezza(const QString& stile)
    {
        const auto trovato = m_risolti.constFind(stile);
        if (trovato != m_risolti.constEnd()) return *trovato;
        if (!m_celle.contains(stile)) return 0;
        int z = 0;
        QString s = stile;
        // A chain that loops, or runs longer than any office program writes, pads nothing.
        for (int passi = 0; passi < 32 && !s.isEmpty(); ++passi) {
            const auto c = m_celle.constFind(s);
            if (c == m_celle.constEnd()) break;
            if (!c->dati.isEmpty()) {
                z = m_numeri.value(c->dati);
                break;
            }
            s = c->padre;
        }
        m_risolti.insert(stile, z);
        return z;
    }

private:
    // <number:number-style> whose only part is one <number:number> with at least two
    // integer digits, no decimals, no grouping, no scaling and no embedded text: what the
    // code "00000" becomes. A <style:map> (another style for negative numbers) leaves the
    // positive part deciding; text, a fraction or anything else pads nothing.
    static int zeri(QXmlStreamReader& x)
    {
        int numeri = 0, z = 0;
        bool altro = false;
        while (!x.atEnd()) {
            const auto t = x.readNext();
            if (t == QXmlStreamReader::EndElement) break;
            if (t != QXmlStreamReader::StartElement) continue;
            const bool numero = x.namespaceUri() == nsNumber && x.name() == QLatin1String("number");
            if (numero) {
                ++numeri;
                const auto at = x.attributes();
                bool ok = false;
                const int cifre = at.value(nsNumber, QLatin1String("min-integer-digits")).toInt(&ok);
                const auto decimali = at.value(nsNumber, QLatin1String("decimal-places"));
                const auto minimi = at.value(nsNumber, QLatin1String("min-decimal-places"));
                const auto gruppi = at.value(nsNumber, QLatin1String("grouping"));
                if (ok && cifre >= 2 && cifre <= 15 && decimali == QLatin1String("0") &&
                    (minimi.isEmpty() || minimi == QLatin1String("0")) &&
                    (gruppi.isEmpty() || gruppi == QLatin1String("false")) &&
                    !at.hasAttribute(nsNumber, QLatin1String("display-factor")) &&
                    !at.hasAttribute(nsNumber, QLatin1String("decimal-replacement")))
                    z = cifre;
                else
                    altro = true;
                // <number:embedded-text> puts text among the digits.
                while (!x.atEnd()) {
                    const auto u = x.readNext();
                    if (u == QXmlStreamReader::EndElement) break;
                    if (u == QXmlStreamReader::StartElement) {
                        altro = true;
                        x.skipCurrentElement();
                    }
                }
            } else {
                if (!(x.namespaceUri() == nsStyle &&
                      (x.name() == QLatin1String("map") || x.name() == QLatin1String("text-properties"))))
                    altro = true;
                x.skipCurrentElement();
            }
        }
        return numeri == 1 && !altro ? z : 0;
    }

    struct Cella
    {
        QString dati;  // the number style
        QString padre; // the style it inherits from
    };
    QHash<QString, int> m_numeri; // number styles that pad, by name
    QHash<QString, Cella> m_celle;
    QHash<QString, int> m_risolti;
};

// Columns whose default cell style pads numbers: [da, a) and the width, in column order.
struct ColonnePadded
{
    qint64 da;
    qint64 a;
    int zeri;
};

int zeriColonna(const std::vector<ColonnePadded>& colonne, qint64 colonna)
{
    auto it = std::upper_bound(colonne.begin(), colonne.end(), colonna,
                               [](qint64 c, const ColonnePadded& p) { return c < p.da; });
    if (it == colonne.begin()) return 0;
    --it;
    return colonna < it->a ? it->zeri : 0;
}

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
QString cella(QXmlStreamReader& x, const Posizione& dove, int zeri, bool& illeggibile)
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
        if (ok && zeri > 0 && tipo == QLatin1String("float")) {
            FormatoNumero f;
            f.zeri = zeri;
            return testoFormattato(v, f, false);
        }
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
    Stili stili;
    // The common styles a cell style may inherit its number format from. Only formats
    // come from here: a damaged styles.xml costs them, not the data.
    if (a.has(QStringLiteral("styles.xml"))) {
        const QByteArray xml = a.read(QStringLiteral("styles.xml"));
        if (haDtd(xml)) damaged(nome, QStringLiteral("parte styles.xml: dichiarazione DTD non ammessa"));
        QXmlStreamReader x(xml);
        while (!x.atEnd())
            if (x.readNext() == QXmlStreamReader::StartElement && x.namespaceUri() == nsOffice &&
                (x.name() == QLatin1String("styles") || x.name() == QLatin1String("automatic-styles")))
                stili.leggi(x);
    }
    const QByteArray xml = a.read(QStringLiteral("content.xml"));
    // No OpenDocument part declares a document type; one that does may declare entities.
    if (haDtd(xml)) damaged(nome, QStringLiteral("parte content.xml: dichiarazione DTD non ammessa"));
    QXmlStreamReader x(xml);
    Blocco blocco(nome);
    bool inTabella = false, trovata = false;
    int profonditaTabella = 0;
    qint64 riga = 0;
    // The columns of the first table whose default cell style pads, and where the next
    // column declared begins.
    std::vector<ColonnePadded> colonnePadded;
    qint64 colonneDichiarate = 0;
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
            if (!inTabella) {
                if (!trovata && n == QLatin1String("automatic-styles") && x.namespaceUri() == nsOffice)
                    stili.leggi(x);
                continue;
            }
            if (n == QLatin1String("table-column")) {
                const auto at = x.attributes();
                const qint64 volte = ripetizioni(at, QLatin1String("number-columns-repeated"));
                if (!stili.nessuno() && colonneDichiarate < maxColumns) {
                    const int z = stili.larghezza(
                        at.value(nsTable, QLatin1String("default-cell-style-name")).toString());
                    if (z > 0) colonnePadded.push_back({colonneDichiarate, colonneDichiarate + volte, z});
                }
                colonneDichiarate += volte;
                continue;
            }
            if (n == QLatin1String("table-row")) {
                const auto atRiga = x.attributes();
                const qint64 volte = ripetizioni(atRiga, QLatin1String("number-rows-repeated"));
                // A cell without a style of its own takes the row's default, then the column's.
                const bool rigaConStile =
                    atRiga.hasAttribute(nsTable, QLatin1String("default-cell-style-name"));
                const int zeriRiga =
                    rigaConStile && !stili.nessuno()
                        ? stili.larghezza(
                              atRiga.value(nsTable, QLatin1String("default-cell-style-name")).toString())
                        : 0;
                QList<std::pair<qint64, QString>> valori;
                QList<qint64> illeggibili;
                qint64 colonna = 0;
                while (!x.atEnd()) {
                    const auto u = x.readNext();
                    if (u == QXmlStreamReader::StartElement) {
                        if (x.name() == QLatin1String("table-cell") ||
                            x.name() == QLatin1String("covered-table-cell")) {
                            const auto atCella = x.attributes();
                            const qint64 c = ripetizioni(atCella, QLatin1String("number-columns-repeated"));
                            int zeri = 0;
                            if (!stili.nessuno()) {
                                if (atCella.hasAttribute(nsTable, QLatin1String("style-name")))
                                    zeri = stili.larghezza(
                                        atCella.value(nsTable, QLatin1String("style-name")).toString());
                                else if (rigaConStile)
                                    zeri = zeriRiga;
                                else
                                    zeri = zeriColonna(colonnePadded, colonna);
                            }
                            bool illeggibile = false;
                            const QString v = cella(x, {nome, riga, colonna}, zeri, illeggibile);
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
