// Excel 2007 and later: a zip of XML parts. The workbook part is found through the
// package relationships, its first sheet through the workbook's own, so files written by
// any producer (absolute or relative part names, parts not where Excel puts them) open.
#include "Internal.h"

#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <optional>

namespace sz::sheets::detail {

namespace {

struct Relazione
{
    QString tipo;
    QString destinazione; // part name, resolved from the source part's folder
};

QString cartella(const QString& parte)
{
    const qsizetype i = parte.lastIndexOf(QLatin1Char('/'));
    return i < 0 ? QString() : parte.left(i);
}

QString risolvi(const QString& base, QString destinazione)
{
    if (destinazione.startsWith(QLatin1Char('/'))) return destinazione.mid(1);
    QStringList pezzi = base.isEmpty() ? QStringList() : base.split(QLatin1Char('/'));
    for (const QString& p : destinazione.split(QLatin1Char('/'))) {
        if (p == QLatin1String("..")) {
            if (!pezzi.isEmpty()) pezzi.removeLast();
        } else if (!p.isEmpty() && p != QLatin1String(".")) {
            pezzi << p;
        }
    }
    return pezzi.join(QLatin1Char('/'));
}

[[noreturn]] void xmlGuasto(const QXmlStreamReader& x, const QString& nome, const QString& parte)
{
    damaged(nome, QStringLiteral("parte %1, riga %2").arg(parte).arg(x.lineNumber()));
}

// A part's XML, refused when it declares a document type: no part of the format has one.
QByteArray parteXml(const Archivio& a, const QString& nome, const QString& parte)
{
    QByteArray xml = a.read(parte);
    if (haDtd(xml)) damaged(nome, QStringLiteral("parte %1: dichiarazione DTD non ammessa").arg(parte));
    return xml;
}

QHash<QString, Relazione> relazioni(const Archivio& a, const QString& nome, const QString& parte)
{
    const QString relsParte = (cartella(parte).isEmpty() ? QString() : cartella(parte) + QLatin1Char('/')) +
                              QStringLiteral("_rels/") + parte.mid(parte.lastIndexOf(QLatin1Char('/')) + 1) +
                              QStringLiteral(".rels");
    QHash<QString, Relazione> out;
    if (!a.has(relsParte)) return out;
    const QByteArray xml = parteXml(a, nome, relsParte);
    QXmlStreamReader x(xml);
    while (!x.atEnd()) {
        if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("Relationship")) {
            const auto at = x.attributes();
            if (at.value(QLatin1String("TargetMode")) == QLatin1String("External")) continue;
            out.insert(at.value(QLatin1String("Id")).toString(),
                       {at.value(QLatin1String("Type")).toString(),
                        risolvi(cartella(parte), at.value(QLatin1String("Target")).toString())});
        }
    }
    if (x.hasError()) xmlGuasto(x, nome, relsParte);
    return out;
}

std::optional<QString> perTipo(const QHash<QString, Relazione>& rels, QLatin1String fine)
{
    for (const auto& r : rels)
        if (r.tipo.endsWith(fine)) return r.destinazione;
    return std::nullopt;
}

// The text of an <si> or <is>: its <t>, or the <t> of every run, leaving out the
// phonetic readings (<rPh>) East Asian files add.
QString testoRicco(QXmlStreamReader& x)
{
    QString out;
    int fonetica = 0;
    const auto fine = x.name().toString();
    while (!x.atEnd()) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::StartElement) {
            if (x.name() == QLatin1String("rPh"))
                ++fonetica;
            else if (x.name() == QLatin1String("t") && fonetica == 0)
                out += x.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (t == QXmlStreamReader::EndElement) {
            if (x.name() == QLatin1String("rPh"))
                --fonetica;
            else if (x.name() == fine)
                break;
        }
    }
    return out;
}

QStringList stringheCondivise(const Archivio& a, const QString& nome, const QString& parte)
{
    QStringList out;
    if (!a.has(parte)) return out;
    const QByteArray xml = parteXml(a, nome, parte);
    QXmlStreamReader x(xml);
    while (!x.atEnd()) {
        if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("si")) {
            out << testoRicco(x);
            if (qint64(out.size()) > maxCells) tooBig(nome, 0, 0);
        }
    }
    if (x.hasError()) xmlGuasto(x, nome, parte);
    return out;
}

// For each cell style (the s of a cell), what its number format makes of a number.
QList<FormatoNumero> stiliNumero(const Archivio& a, const QString& nome, const QString& parte)
{
    QList<FormatoNumero> out;
    if (!a.has(parte)) return out;
    const QByteArray xml = parteXml(a, nome, parte);
    QXmlStreamReader x(xml);
    QHash<int, FormatoNumero> personalizzati;
    bool inXfs = false;
    while (!x.atEnd()) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::StartElement) {
            if (x.name() == QLatin1String("numFmt")) {
                const auto at = x.attributes();
                personalizzati.insert(at.value(QLatin1String("numFmtId")).toInt(),
                                      formatoNumero(at.value(QLatin1String("formatCode")).toString()));
            } else if (x.name() == QLatin1String("cellXfs")) {
                inXfs = true;
            } else if (inXfs && x.name() == QLatin1String("xf")) {
                const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
                out << personalizzati.value(id, formatoPredefinito(id));
                if (out.size() > 1000000) damaged(nome, QStringLiteral("parte %1").arg(parte));
            }
        } else if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("cellXfs")) {
            inXfs = false;
        }
    }
    if (x.hasError()) xmlGuasto(x, nome, parte);
    return out;
}

// "BC12" -> column 54, row 11 (both from 0). False when it is not a cell reference.
bool riferimento(QStringView r, qint64& riga, qint64& colonna)
{
    qsizetype i = 0;
    qint64 c = 0;
    while (i < r.size() && r[i].isLetter() && r[i].unicode() < 128) {
        c = c * 26 + (r[i].toUpper().unicode() - u'A' + 1);
        if (c > maxColumns) return false;
        ++i;
    }
    if (i == 0 || i == r.size()) return false;
    qint64 n = 0;
    for (; i < r.size(); ++i) {
        if (!r[i].isDigit() || r[i].unicode() >= 128) return false;
        n = n * 10 + (r[i].unicode() - u'0');
        if (n > maxRows) return false;
    }
    if (n == 0) return false;
    riga = n - 1;
    colonna = c - 1;
    return true;
}

QString erroreItaliano(const QString& e)
{
    static const QHash<QString, QString> nomi = {
        {QStringLiteral("#N/A"), QStringLiteral("#N/D")},
        {QStringLiteral("#NAME?"), QStringLiteral("#NOME?")},
        {QStringLiteral("#REF!"), QStringLiteral("#RIF!")},
        {QStringLiteral("#VALUE!"), QStringLiteral("#VALORE!")},
        {QStringLiteral("#NULL!"), QStringLiteral("#NULLO!")},
    };
    return nomi.value(e, e);
}

QString dataIso(const QString& testo)
{
    QDateTime dt = QDateTime::fromString(testo, Qt::ISODateWithMs);
    if (!dt.isValid()) dt = QDateTime(QDate::fromString(testo.left(10), Qt::ISODate), QTime(0, 0));
    return dt.isValid() ? dateTimeText(dt) : testo;
}

} // namespace

Foglio readXlsx(const Archivio& a, const QString& nome)
{
    QString workbook = QStringLiteral("xl/workbook.xml");
    if (const auto p = perTipo(relazioni(a, nome, QString()), QLatin1String("/officeDocument")))
        workbook = *p;
    if (!a.has(workbook)) notASpreadsheet(nome);
    const auto relsWb = relazioni(a, nome, workbook);

    // The first sheet in the workbook's order, which need not be sheet1.xml.
    bool date1904 = false;
    QString primo;
    {
        const QByteArray xml = parteXml(a, nome, workbook);
        QXmlStreamReader x(xml);
        while (!x.atEnd()) {
            if (x.readNext() != QXmlStreamReader::StartElement) continue;
            if (x.name() == QLatin1String("workbookPr")) {
                const auto v = x.attributes().value(QLatin1String("date1904"));
                date1904 = v == QLatin1String("1") || v == QLatin1String("true");
            } else if (x.name() == QLatin1String("sheet") && primo.isEmpty()) {
                for (const auto& at : x.attributes())
                    if (at.name() == QLatin1String("id") &&
                        at.namespaceUri().contains(QLatin1String("relationships")))
                        primo = at.value().toString();
                if (primo.isEmpty()) primo = x.attributes().value(QLatin1String("r:id")).toString();
                if (primo.isEmpty()) primo = QStringLiteral("\x01");
            }
        }
        if (x.hasError()) xmlGuasto(x, nome, workbook);
    }
    QString foglio;
    if (relsWb.contains(primo))
        foglio = relsWb.value(primo).destinazione;
    else if (a.has(QStringLiteral("xl/worksheets/sheet1.xml")))
        foglio = QStringLiteral("xl/worksheets/sheet1.xml");
    if (foglio.isEmpty() || !a.has(foglio)) damaged(nome, QStringLiteral("nessun foglio"));

    const QStringList sst = stringheCondivise(
        a, nome,
        perTipo(relsWb, QLatin1String("/sharedStrings")).value_or(QStringLiteral("xl/sharedStrings.xml")));
    const QList<FormatoNumero> formati = stiliNumero(
        a, nome, perTipo(relsWb, QLatin1String("/styles")).value_or(QStringLiteral("xl/styles.xml")));

    Blocco blocco(nome);
    const QByteArray xml = parteXml(a, nome, foglio);
    QXmlStreamReader x(xml);
    qint64 riga = -1, colonna = -1;
    bool inDati = false;
    while (!x.atEnd()) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("sheetData")) inDati = false;
        if (t != QXmlStreamReader::StartElement) continue;
        if (x.name() == QLatin1String("sheetData")) {
            inDati = true;
            continue;
        }
        if (!inDati) continue;
        if (x.name() == QLatin1String("row")) {
            bool ok = false;
            const qint64 r = x.attributes().value(QLatin1String("r")).toLongLong(&ok);
            // Past the last row a sheet can have, every row is refused alike: keep counting there.
            riga = ok && r >= 1 ? std::min(r, maxRows + 1) - 1 : std::min(riga + 1, maxRows);
            colonna = -1;
            continue;
        }
        if (x.name() != QLatin1String("c")) continue;
        const auto at = x.attributes();
        qint64 rr = 0, cc = 0;
        if (riferimento(at.value(QLatin1String("r")), rr, cc)) {
            riga = rr;
            colonna = cc;
        } else {
            if (riga < 0) riga = 0;
            ++colonna;
        }
        const QString tipo = at.value(QLatin1String("t")).toString();
        const int stile = at.value(QLatin1String("s")).toInt();
        QString valore;
        bool haValore = false, formula = false;
        while (!x.atEnd()) {
            const auto u = x.readNext();
            if (u == QXmlStreamReader::StartElement) {
                if (x.name() == QLatin1String("v")) {
                    valore = x.readElementText(QXmlStreamReader::IncludeChildElements);
                    haValore = true;
                } else if (x.name() == QLatin1String("is")) {
                    valore = testoRicco(x);
                    haValore = true;
                } else {
                    formula = formula || x.name() == QLatin1String("f");
                    x.skipCurrentElement();
                }
            } else if (u == QXmlStreamReader::EndElement && x.name() == QLatin1String("c")) {
                break;
            }
        }
        // A formula saved without its result (some generators write only the formula).
        if (formula && valore.isEmpty()) {
            blocco.illeggibile(riga, colonna);
            continue;
        }
        if (!haValore) continue;
        QString testo;
        if (tipo == QLatin1String("s")) {
            bool ok = false;
            const int i = valore.trimmed().toInt(&ok);
            // A reference to a string that is not there is a cell that could not be read,
            // not an empty one.
            if (!ok || i < 0 || i >= sst.size()) {
                blocco.illeggibile(riga, colonna, false);
                continue;
            }
            testo = sst.at(i);
        } else if (tipo == QLatin1String("str") || tipo == QLatin1String("inlineStr")) {
            testo = valore;
        } else if (tipo == QLatin1String("b")) {
            testo =
                boolText(valore.trimmed() == QLatin1String("1") || valore.trimmed() == QLatin1String("true"));
        } else if (tipo == QLatin1String("e")) {
            testo = erroreItaliano(valore.trimmed());
        } else if (tipo == QLatin1String("d")) {
            testo = dataIso(valore.trimmed());
        } else {
            bool ok = false;
            const double d = valore.trimmed().toDouble(&ok);
            if (!ok)
                testo = valore;
            else
                testo = testoFormattato(d, stile >= 0 && stile < formati.size() ? formati.at(stile) : FormatoNumero{},
                                        date1904);
        }
        blocco.set(riga, colonna, testo);
    }
    if (x.hasError()) xmlGuasto(x, nome, foglio);
    return blocco.finish();
}

} // namespace sz::sheets::detail
