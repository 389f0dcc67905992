#include "Ricevuta.h"

#include "scadenzio/Error.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimeZone>
#include <QXmlStreamReader>

namespace sz::pec {

namespace {

// Bounds on what a receipt may hold. A real one is a signed envelope, a mixed part with a
// text, daticert.xml and the original message: three levels and a handful of parts.
constexpr int maxProfondita = 12;
constexpr int maxParti = 500;
constexpr int maxIntestazioni = 1000;
constexpr qsizetype maxDaticert = 1024 * 1024;
constexpr int maxProfonditaXml = 16;
constexpr int maxDestinatari = 1000;

[[noreturn]] void guasto(const QString& perche)
{
    throw Error(QStringLiteral("ricevuta PEC danneggiata o non valida: ") + perche);
}

struct Intestazioni
{
    QList<QPair<QByteArray, QByteArray>> campi; // name in lower case, value unfolded

    // The first field of that (lower-case) name, trimmed; null when absent.
    QByteArray valore(const char* nome) const
    {
        for (const auto& [n, v] : campi)
            if (n == nome)
                return v.trimmed();
        return {};
    }
};

struct Parte
{
    Intestazioni h;
    // Still in its transfer encoding; a view into the message, which outlives the reading:
    // nested parts never copy the bytes they share with their parents.
    QByteArrayView corpo;
};

// The header block up to the first empty line, the rest as the body. Lines may end in
// CRLF or LF alone; a line that begins with a blank continues the field before it.
Parte separa(QByteArrayView testo)
{
    Parte p;
    qsizetype i = 0;
    const qsizetype n = testo.size();
    while (i < n) {
        qsizetype fine = testo.indexOf('\n', i);
        const qsizetype dopo = fine < 0 ? n : fine + 1;
        if (fine < 0)
            fine = n;
        qsizetype len = fine - i;
        if (len > 0 && testo.at(i + len - 1) == '\r')
            --len;
        const QByteArrayView riga(testo.constData() + i, len);
        i = dopo;
        if (riga.isEmpty()) {
            p.corpo = testo.sliced(i);
            return p;
        }
        if (riga.at(0) == ' ' || riga.at(0) == '\t') {
            if (!p.h.campi.isEmpty()) {
                p.h.campi.last().second += ' ';
                p.h.campi.last().second += riga.trimmed();
            }
            continue;
        }
        const qsizetype dp = riga.indexOf(':');
        // The "From " line a mailbox file begins with, or junk, is not a field.
        if (dp <= 0)
            continue;
        if (p.h.campi.size() >= maxIntestazioni)
            guasto(QStringLiteral("troppe intestazioni"));
        p.h.campi.append({riga.first(dp).trimmed().toByteArray().toLower(), riga.sliced(dp + 1).toByteArray()});
    }
    return p;
}

// "type/subtype; a=b; c=\"d\"": the type in lower case and the parameters by lower-case
// name (RFC 2231's name*=charset''value undone, continuations name*0 ... joined).
struct TipoContenuto
{
    QByteArray tipo;
    QHash<QByteArray, QByteArray> par;
};

TipoContenuto leggiTipo(const QByteArray& v)
{
    TipoContenuto t;
    qsizetype i = v.indexOf(';');
    t.tipo = (i < 0 ? v : v.left(i)).trimmed().toLower();
    QHash<QByteArray, QMap<int, QByteArray>> pezzi;
    while (i >= 0 && i < v.size()) {
        ++i; // past ';'
        const qsizetype uguale = v.indexOf('=', i);
        if (uguale < 0)
            break;
        QByteArray nome = v.mid(i, uguale - i).trimmed().toLower();
        i = uguale + 1;
        while (i < v.size() && (v.at(i) == ' ' || v.at(i) == '\t'))
            ++i;
        QByteArray valore;
        if (i < v.size() && v.at(i) == '"') {
            ++i;
            while (i < v.size() && v.at(i) != '"') {
                if (v.at(i) == '\\' && i + 1 < v.size())
                    ++i;
                valore += v.at(i++);
            }
            if (i < v.size())
                ++i;
            const qsizetype pv = v.indexOf(';', i);
            i = pv;
        } else {
            const qsizetype pv = v.indexOf(';', i);
            valore = v.mid(i, pv < 0 ? -1 : pv - i).trimmed();
            i = pv;
        }
        // RFC 2231: name*0*, name*1 ... and an encoded value name*.
        bool codificato = nome.endsWith('*');
        if (codificato)
            nome.chop(1);
        int indice = 0;
        const qsizetype stella = nome.indexOf('*');
        if (stella > 0) {
            bool ok = false;
            indice = nome.mid(stella + 1).toInt(&ok);
            if (!ok || indice < 0 || indice > 100)
                continue;
            nome = nome.left(stella);
        }
        if (codificato) {
            if (indice == 0) {
                const qsizetype a = valore.indexOf('\'');
                const qsizetype b = a < 0 ? -1 : valore.indexOf('\'', a + 1);
                if (b > 0)
                    valore = valore.mid(b + 1);
            }
            valore = QByteArray::fromPercentEncoding(valore);
        }
        if (pezzi.size() < 64)
            pezzi[nome][indice] = valore;
    }
    for (auto it = pezzi.cbegin(); it != pezzi.cend(); ++it) {
        QByteArray tutto;
        for (const QByteArray& p : it.value())
            tutto += p;
        t.par.insert(it.key(), tutto);
    }
    return t;
}

QByteArray decodificaQP(const QByteArray& in)
{
    QByteArray out;
    out.reserve(in.size());
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c != '=') {
            out += c;
            continue;
        }
        // A soft line break: "=" at the end of a line (blanks before the break allowed).
        qsizetype j = i + 1;
        while (j < in.size() && (in.at(j) == ' ' || in.at(j) == '\t'))
            ++j;
        if (j < in.size() && (in.at(j) == '\n' || in.at(j) == '\r')) {
            if (in.at(j) == '\r' && j + 1 < in.size() && in.at(j + 1) == '\n')
                ++j;
            i = j;
            continue;
        }
        if (j >= in.size()) {
            i = j;
            continue;
        }
        if (i + 2 < in.size() && hex(in.at(i + 1)) >= 0 && hex(in.at(i + 2)) >= 0) {
            out += char(hex(in.at(i + 1)) * 16 + hex(in.at(i + 2)));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray decodifica(const Parte& p)
{
    const QByteArray cte = p.h.valore("content-transfer-encoding").toLower();
    if (cte == "base64")
        return QByteArray::fromBase64(p.corpo.toByteArray());
    if (cte == "quoted-printable")
        return decodificaQP(p.corpo.toByteArray());
    return p.corpo.toByteArray();
}

// Where a delimiter line "--boundary" begins at or after from (at a line's start), or -1.
// What follows the boundary on that line may only be "--" or blanks: a longer boundary
// that begins with this one is not this one's delimiter.
qsizetype delimitatore(QByteArrayView corpo, QByteArrayView delim, qsizetype from)
{
    while (from <= corpo.size()) {
        qsizetype pos = corpo.sliced(from).indexOf(delim);
        if (pos < 0)
            return -1;
        pos += from;
        const bool inizioRiga = pos == 0 || corpo.at(pos - 1) == '\n';
        qsizetype dopo = pos + delim.size();
        if (dopo + 1 < corpo.size() && corpo.at(dopo) == '-' && corpo.at(dopo + 1) == '-')
            dopo += 2;
        while (dopo < corpo.size() && (corpo.at(dopo) == ' ' || corpo.at(dopo) == '\t'))
            ++dopo;
        if (inizioRiga && (dopo == corpo.size() || corpo.at(dopo) == '\r' || corpo.at(dopo) == '\n'))
            return pos;
        from = pos + 1;
    }
    return -1;
}

// The parts of a multipart body, between the lines "--boundary", up to "--boundary--".
QList<QByteArrayView> dividi(QByteArrayView corpo, const QByteArray& boundary)
{
    if (boundary.isEmpty() || boundary.size() > 200)
        guasto(QStringLiteral("una parte multipart è senza separatore valido"));
    const QByteArray delim = "--" + boundary;
    QList<QByteArrayView> parti;
    qsizetype pos = delimitatore(corpo, delim, 0);
    while (pos >= 0) {
        const qsizetype dopo = pos + delim.size();
        if (corpo.sliced(dopo).startsWith("--"))
            break;
        const qsizetype fineRiga = corpo.indexOf('\n', dopo);
        if (fineRiga < 0)
            break;
        const qsizetype inizio = fineRiga + 1;
        const qsizetype prossimo = delimitatore(corpo, delim, inizio);
        // The line break before the delimiter belongs to the delimiter.
        qsizetype fine = prossimo < 0 ? corpo.size() : prossimo;
        if (prossimo >= 0 && fine > inizio && corpo.at(fine - 1) == '\n')
            --fine;
        if (prossimo >= 0 && fine > inizio && corpo.at(fine - 1) == '\r')
            --fine;
        if (parti.size() >= maxParti)
            guasto(QStringLiteral("troppe parti"));
        parti.append(fine > inizio ? corpo.sliced(inizio, fine - inizio) : QByteArrayView());
        pos = prossimo;
    }
    return parti;
}

struct Contesto
{
    int parti = 0;
    bool firmata = false;
    bool trovato = false;
    QByteArray daticert;
};

QByteArray nomeFile(const Parte& p)
{
    QByteArray nome = leggiTipo(p.h.valore("content-disposition")).par.value("filename");
    if (nome.isEmpty())
        nome = leggiTipo(p.h.valore("content-type")).par.value("name");
    return decodificaIntestazione(nome).trimmed().toLower().toUtf8();
}

void visita(const Parte& p, int profondita, Contesto& c)
{
    if (profondita > maxProfondita)
        guasto(QStringLiteral("troppi livelli di parti annidate"));
    if (++c.parti > maxParti)
        guasto(QStringLiteral("troppe parti"));
    const TipoContenuto t = leggiTipo(p.h.valore("content-type"));
    if (t.tipo.startsWith("multipart/")) {
        if (t.tipo == "multipart/signed")
            c.firmata = true;
        for (const QByteArrayView sotto : dividi(p.corpo, t.par.value("boundary"))) {
            visita(separa(sotto), profondita + 1, c);
            if (c.trovato)
                return;
        }
        return;
    }
    // The original message (postacert.eml) is the sender's: whatever it carries, even a
    // file named daticert.xml, is not the provider's certified data.
    if (t.tipo == "message/rfc822")
        return;
    if (nomeFile(p) == "daticert.xml") {
        if (p.corpo.size() > maxDaticert * 2)
            guasto(QStringLiteral("daticert.xml è troppo grande"));
        c.daticert = decodifica(p);
        c.trovato = true;
    }
}

QString decodificaCharset(const QByteArray& charset, const QByteArray& byte, bool* ok)
{
    QStringDecoder d(charset.constData());
    if (!d.isValid()) {
        *ok = false;
        return {};
    }
    *ok = true;
    return d.decode(byte);
}

QString testoElemento(QXmlStreamReader& x)
{
    const QString t = x.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
    if (x.hasError())
        return {};
    return t.left(4096);
}

} // namespace

QString tipoTesto(Tipo tipo)
{
    switch (tipo) {
    case Tipo::Nessuna: return {};
    case Tipo::Accettazione: return QStringLiteral("accettazione");
    case Tipo::NonAccettazione: return QStringLiteral("non-accettazione");
    case Tipo::PresaInCarico: return QStringLiteral("presa-in-carico");
    case Tipo::AvvenutaConsegna: return QStringLiteral("avvenuta-consegna");
    case Tipo::ErroreConsegna: return QStringLiteral("errore-consegna");
    case Tipo::PreavvisoErroreConsegna: return QStringLiteral("preavviso-errore-consegna");
    case Tipo::RilevazioneVirus: return QStringLiteral("rilevazione-virus");
    }
    return {};
}

Tipo tipoDaTesto(const QString& testo)
{
    const QString t = testo.trimmed().toLower();
    for (Tipo k : {Tipo::Accettazione, Tipo::NonAccettazione, Tipo::PresaInCarico, Tipo::AvvenutaConsegna,
                   Tipo::ErroreConsegna, Tipo::PreavvisoErroreConsegna, Tipo::RilevazioneVirus})
        if (t == tipoTesto(k))
            return k;
    if (t == QLatin1String("mancata-consegna"))
        return Tipo::ErroreConsegna;
    return Tipo::Nessuna;
}

QString etichettaTipo(Tipo tipo)
{
    switch (tipo) {
    case Tipo::Nessuna: return {};
    case Tipo::Accettazione: return QStringLiteral("ACCETTAZIONE");
    case Tipo::NonAccettazione: return QStringLiteral("NON ACCETTAZIONE");
    case Tipo::PresaInCarico: return QStringLiteral("PRESA IN CARICO");
    case Tipo::AvvenutaConsegna: return QStringLiteral("CONSEGNA");
    case Tipo::ErroreConsegna: return QStringLiteral("MANCATA CONSEGNA");
    case Tipo::PreavvisoErroreConsegna: return QStringLiteral("PREAVVISO MANCATA CONSEGNA");
    case Tipo::RilevazioneVirus: return QStringLiteral("RILEVAZIONE VIRUS");
    }
    return {};
}

QString Ricevuta::destinatario() const
{
    if (!consegna.isEmpty())
        return consegna;
    return destinatari.size() == 1 ? destinatari.first() : QString();
}

QString normalizzaMessageId(const QString& id)
{
    QString t = id.trimmed();
    const qsizetype a = t.indexOf(QLatin1Char('<'));
    const qsizetype b = t.lastIndexOf(QLatin1Char('>'));
    if (a >= 0 && b > a)
        t = t.mid(a + 1, b - a - 1);
    t.remove(QRegularExpression(QStringLiteral("\\s")));
    const qsizetype at = t.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return t;
    return t.left(at) + QLatin1Char('@') + t.mid(at + 1).toLower();
}

QString parteLocale(const QString& idNormalizzato)
{
    const qsizetype at = idNormalizzato.lastIndexOf(QLatin1Char('@'));
    return at < 0 ? idNormalizzato : idNormalizzato.left(at);
}

QString decodificaIntestazione(const QByteArray& valore)
{
    const auto grezzo = [](const QByteArray& b) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString s = utf8.decode(b);
        return utf8.hasError() ? QString::fromLatin1(b) : s;
    };
    static const QRegularExpression parola(QStringLiteral("=\\?([^?\\s]{1,40})\\?([BbQq])\\?([^?\\s]*)\\?="));
    const QString in = QString::fromLatin1(valore);
    QString out;
    qsizetype ultimo = 0;
    bool precedenteCodificata = false;
    auto it = parola.globalMatch(in);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString tra = in.mid(ultimo, m.capturedStart() - ultimo);
        QByteArray charset = m.captured(1).toLatin1();
        if (const qsizetype stella = charset.indexOf('*'); stella >= 0)
            charset.truncate(stella); // RFC 2231 language
        const QByteArray dati = m.captured(3).toLatin1();
        QByteArray byte;
        if (m.captured(2).compare(QLatin1String("B"), Qt::CaseInsensitive) == 0) {
            byte = QByteArray::fromBase64(dati);
        } else {
            QByteArray d = dati;
            d.replace('_', ' ');
            byte = decodificaQP(d);
        }
        bool ok = false;
        const QString testo = decodificaCharset(charset, byte, &ok);
        // Blanks between two encoded words are not part of the text; a word that cannot be
        // decoded stays as it came, with the blanks before it.
        if (!(precedenteCodificata && ok && tra.trimmed().isEmpty()))
            out += grezzo(tra.toLatin1());
        out += ok ? testo : m.captured(0);
        precedenteCodificata = ok;
        ultimo = m.capturedEnd();
    }
    out += grezzo(in.mid(ultimo).toLatin1());
    return out;
}

void leggiDaticert(const QByteArray& xml, Ricevuta& r)
{
    if (xml.size() > maxDaticert)
        guasto(QStringLiteral("daticert.xml è troppo grande"));
    // A declaration of a document type is where entities live (external files, the
    // billion laughs): such a file is refused before the parser sees it.
    if (xml.contains("<!DOCTYPE") || xml.contains("<!doctype") || xml.contains("<!ENTITY"))
        guasto(QStringLiteral("daticert.xml contiene una dichiarazione DTD o di entità, che non viene letta"));
    QXmlStreamReader x(xml);
    QString zona, giorno, ora;
    QStringList percorso;
    bool radice = false;
    while (!x.atEnd()) {
        const auto token = x.readNext();
        if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference)
            guasto(QStringLiteral("daticert.xml contiene una dichiarazione DTD o di entità, che non viene letta"));
        if (token == QXmlStreamReader::EndElement) {
            if (!percorso.isEmpty())
                percorso.removeLast();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QString nome = x.name().toString();
        if (percorso.isEmpty()) {
            if (radice || nome != QLatin1String("postacert"))
                guasto(QStringLiteral("daticert.xml non è un documento postacert"));
            radice = true;
            r.errore = x.attributes().value(QLatin1String("errore")).toString().trimmed();
            const QString tipo = x.attributes().value(QLatin1String("tipo")).toString().trimmed();
            const Tipo t = tipoDaTesto(tipo);
            if (t == Tipo::Nessuna)
                guasto(QStringLiteral("daticert.xml indica il tipo \"%1\", che non è una ricevuta").arg(tipo.left(60)));
            // The certified data are inside the provider's signature, the headers of the
            // receipt outside it: where the two disagree, the signed kind stands.
            r.tipo = t;
            percorso << nome;
            continue;
        }
        if (percorso.size() >= maxProfonditaXml)
            guasto(QStringLiteral("daticert.xml ha troppi livelli"));
        const QString padre = percorso.last();
        if (padre == QLatin1String("intestazione")) {
            if (nome == QLatin1String("mittente")) {
                r.mittente = testoElemento(x);
            } else if (nome == QLatin1String("destinatari")) {
                const QString d = testoElemento(x);
                if (r.destinatari.size() >= maxDestinatari)
                    guasto(QStringLiteral("daticert.xml elenca troppi destinatari"));
                if (!d.isEmpty())
                    r.destinatari << d.toLower();
            } else if (nome == QLatin1String("oggetto")) {
                r.oggetto = testoElemento(x);
            } else {
                x.skipCurrentElement();
            }
            continue;
        }
        if (padre == QLatin1String("dati")) {
            if (nome == QLatin1String("gestore-emittente")) {
                r.gestore = testoElemento(x);
            } else if (nome == QLatin1String("data")) {
                zona = x.attributes().value(QLatin1String("zona")).toString().trimmed();
                percorso << nome;
            } else if (nome == QLatin1String("identificativo")) {
                r.identificativo = testoElemento(x);
            } else if (nome == QLatin1String("msgid")) {
                r.riferimento = testoElemento(x);
            } else if (nome == QLatin1String("ricevuta")) {
                r.ricevutaTipo = x.attributes().value(QLatin1String("tipo")).toString().trimmed();
                x.skipCurrentElement();
            } else if (nome == QLatin1String("consegna")) {
                r.consegna = testoElemento(x).toLower();
            } else if (nome == QLatin1String("errore-esteso")) {
                r.erroreEsteso = testoElemento(x);
            } else {
                x.skipCurrentElement();
            }
            continue;
        }
        if (padre == QLatin1String("data")) {
            if (nome == QLatin1String("giorno"))
                giorno = testoElemento(x);
            else if (nome == QLatin1String("ora"))
                ora = testoElemento(x);
            else
                x.skipCurrentElement();
            continue;
        }
        // The two sections are read where the format puts them, nowhere deeper; an element
        // of a later version is passed over whole.
        if (padre == QLatin1String("postacert") &&
            (nome == QLatin1String("intestazione") || nome == QLatin1String("dati")))
            percorso << nome;
        else
            x.skipCurrentElement();
    }
    if (x.hasError())
        guasto(QStringLiteral("daticert.xml non è un XML valido (%1)").arg(x.errorString().left(120)));
    if (!radice)
        guasto(QStringLiteral("daticert.xml è vuoto"));
    r.conDaticert = true;
    if (!giorno.isEmpty()) {
        const QDate d = QDate::fromString(giorno, QStringLiteral("dd/MM/yyyy"));
        QTime t = QTime::fromString(ora, QStringLiteral("HH:mm:ss"));
        if (!t.isValid())
            t = QTime::fromString(ora, QStringLiteral("HH:mm"));
        static const QRegularExpression formaZona(QStringLiteral("^([+-])(\\d{2}):?(\\d{2})$"));
        const auto m = formaZona.match(zona);
        if (d.isValid() && t.isValid()) {
            if (m.hasMatch()) {
                const int segno = m.captured(1) == QLatin1String("-") ? -1 : 1;
                const int sec = segno * (m.captured(2).toInt() * 3600 + m.captured(3).toInt() * 60);
                if (qAbs(sec) <= 14 * 3600)
                    r.data = QDateTime(d, t, Qt::OffsetFromUTC, sec).toLocalTime();
            } else if (zona.isEmpty()) {
                // Without a zone the time is the provider's, an Italian one.
                r.data = QDateTime(d, t, QTimeZone("Europe/Rome")).toLocalTime();
            }
        }
    }
}

Ricevuta leggiRicevuta(const QByteArray& eml)
{
    if (eml.size() > limiteEml)
        guasto(QStringLiteral("il messaggio supera %1 MB").arg(limiteEml / (1024 * 1024)));
    const Parte top = separa(QByteArrayView(eml));
    Ricevuta r;
    const QByteArray xRicevuta = top.h.valore("x-ricevuta");
    if (xRicevuta.isEmpty()) {
        // An incoming certified message, an anomaly, an ordinary mail: not ours to touch.
        r.trasporto = QString::fromLatin1(top.h.valore("x-trasporto")).left(100);
        return r;
    }
    r.tipo = tipoDaTesto(QString::fromLatin1(xRicevuta));
    if (r.tipo == Tipo::Nessuna)
        guasto(QStringLiteral("tipo di ricevuta \"%1\" sconosciuto").arg(QString::fromLatin1(xRicevuta).left(60)));
    r.riferimento = QString::fromLatin1(top.h.valore("x-riferimento-message-id").left(1000));
    r.oggetto = decodificaIntestazione(top.h.valore("subject").left(8192)).left(1000);
    QString data = QString::fromLatin1(top.h.valore("date").left(200));
    data.remove(QRegularExpression(QStringLiteral("\\([^)]*\\)")));
    r.data = QDateTime::fromString(data.trimmed(), Qt::RFC2822Date).toLocalTime();

    Contesto c;
    visita(top, 0, c);
    r.firmata = c.firmata;
    if (c.trovato) {
        const QString rifIntestazione = r.riferimento;
        const QDateTime dataIntestazione = r.data;
        const QString oggettoIntestazione = r.oggetto;
        r.riferimento.clear();
        r.oggetto.clear();
        leggiDaticert(c.daticert, r);
        // The certified data win over the headers (they are what the provider signed);
        // the headers fill what the data leave out.
        if (r.riferimento.isEmpty())
            r.riferimento = rifIntestazione;
        if (!r.data.isValid())
            r.data = dataIntestazione;
        if (r.oggetto.isEmpty())
            r.oggetto = oggettoIntestazione;
    }
    if (normalizzaMessageId(r.riferimento).isEmpty())
        guasto(QStringLiteral("non indica il Message-ID del messaggio a cui si riferisce"));
    return r;
}

} // namespace sz::pec
