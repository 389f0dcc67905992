#include "scadenzio/sheets/FatturaPA.h"

#include "Internal.h"

#include "scadenzio/Error.h"

#include <QDir>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include <vector>

namespace sz::fatturapa {

namespace {

QString mostrato(const QString& nome)
{
    return QDir::toNativeSeparators(nome);
}

// The element tree of one invoice, by local names. Invoices are small (the exchange
// system takes at most 5 MB), so a tree is simpler than following paths while streaming.
struct Nodo
{
    QString nome;
    QString testo;
    std::vector<Nodo> figli;

    const Nodo* figlio(QLatin1StringView n) const
    {
        for (const Nodo& f : figli)
            if (f.nome == n) return &f;
        return nullptr;
    }
    std::vector<const Nodo*> tutti(QLatin1StringView n) const
    {
        std::vector<const Nodo*> out;
        for (const Nodo& f : figli)
            if (f.nome == n) out.push_back(&f);
        return out;
    }
    // The trimmed text at a path of local names below this element, empty when absent.
    QString valore(std::initializer_list<const char*> percorso) const
    {
        const Nodo* n = this;
        for (const char* passo : percorso) {
            n = n->figlio(QLatin1StringView(passo));
            if (!n) return {};
        }
        return n->testo.trimmed();
    }
};

// Deeper than any invoice nests, and few enough elements that a hostile file cannot take
// the machine's memory through the tree.
constexpr int maxProfondita = 64;
constexpr qint64 maxElementi = 1'000'000;

[[noreturn]] void malformato(const QXmlStreamReader& x, const QString& nome)
{
    const bool troncato = x.error() == QXmlStreamReader::PrematureEndOfDocumentError;
    throw Error(QStringLiteral("Il file \"%1\" non è un XML leggibile: %2 (riga %3, colonna %4).")
                    .arg(mostrato(nome), troncato
                                             ? QStringLiteral("il contenuto si interrompe prima della fine")
                                             : QStringLiteral("il testo non è XML ben formato"))
                    .arg(x.lineNumber())
                    .arg(x.columnNumber()));
}

void leggiFigli(QXmlStreamReader& x, Nodo& n, int profondita, qint64& elementi, const QString& nome)
{
    while (!x.atEnd()) {
        switch (x.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (profondita >= maxProfondita || ++elementi > maxElementi)
                throw Error(QStringLiteral("Il file \"%1\" non è una fattura elettronica: la struttura è "
                                           "troppo profonda o troppo grande.")
                                .arg(mostrato(nome)));
            n.figli.emplace_back();
            Nodo& f = n.figli.back();
            f.nome = x.name().toString();
            leggiFigli(x, f, profondita + 1, elementi, nome);
            break;
        }
        case QXmlStreamReader::Characters:
            // Attachments are base64 documents of their own: nothing here reads them.
            if (n.nome != QLatin1String("Attachment")) n.testo += x.text();
            break;
        case QXmlStreamReader::EndElement:
            return;
        default:
            break;
        }
    }
    if (x.hasError()) malformato(x, nome);
}

bool radiceDiServizio(const QString& radice)
{
    static const QStringList nomi = {QStringLiteral("FileMetadati"),
                                     QStringLiteral("MetadatiInvioFile"),
                                     QStringLiteral("RicevutaConsegna"),
                                     QStringLiteral("NotificaMancataConsegna"),
                                     QStringLiteral("NotificaScarto"),
                                     QStringLiteral("NotificaEsito"),
                                     QStringLiteral("NotificaEsitoCommittente"),
                                     QStringLiteral("NotificaDecorrenzaTermini"),
                                     QStringLiteral("ScartoEsitoCommittente"),
                                     QStringLiteral("AttestazioneTrasmissioneFattura"),
                                     QStringLiteral("RicevutaImpossibilitaRecapito")};
    return nomi.contains(radice);
}

// The full and the simplified formats place the same data differently: the full one
// under DatiAnagrafici/Anagrafica, the simplified supplier directly, the simplified
// customer under IdentificativiFiscali and AltriDatiIdentificativi.
Soggetto leggiSoggetto(const Nodo* s)
{
    Soggetto out;
    if (!s) return out;
    const Nodo* anagrafici = s->figlio(QLatin1StringView("DatiAnagrafici"));
    const Nodo* identificativi = s->figlio(QLatin1StringView("IdentificativiFiscali"));
    const Nodo* altri = s->figlio(QLatin1StringView("AltriDatiIdentificativi"));
    const Nodo* ids = anagrafici ? anagrafici : identificativi ? identificativi : s;
    const Nodo* nomi = anagrafici ? anagrafici->figlio(QLatin1StringView("Anagrafica")) : altri ? altri : s;
    const Nodo* sede = s->figlio(QLatin1StringView("Sede"));
    if (!sede && altri) sede = altri->figlio(QLatin1StringView("Sede"));
    out.idPaese = ids->valore({"IdFiscaleIVA", "IdPaese"});
    out.idCodice = ids->valore({"IdFiscaleIVA", "IdCodice"});
    out.codiceFiscale = ids->valore({"CodiceFiscale"});
    if (nomi) {
        out.denominazione = nomi->valore({"Denominazione"});
        out.nome = nomi->valore({"Nome"});
        out.cognome = nomi->valore({"Cognome"});
    }
    if (sede) {
        out.indirizzo = sede->valore({"Indirizzo"});
        out.numeroCivico = sede->valore({"NumeroCivico"});
        out.cap = sede->valore({"CAP"});
        out.comune = sede->valore({"Comune"});
        out.provincia = sede->valore({"Provincia"});
        out.nazione = sede->valore({"Nazione"});
    }
    return out;
}

// The amount times (1 + rate/100), both in ten-thousandths, rounded half away from zero.
Money conIva(Money imponibile, Money aliquota)
{
    __extension__ typedef __int128 Largo; // a line of 10^13 euros at 100% does not fit 64 bits
    const Largo prodotto = Largo(imponibile.raw()) * aliquota.raw();
    const Largo diviso = (prodotto + (prodotto < 0 ? -500000 : 500000)) / 1000000;
    return imponibile + Money::fromRaw(std::int64_t(diviso));
}

std::optional<Money> totaleRighe(const Nodo& body, bool semplificata)
{
    Money somma;
    bool trovato = false;
    const auto aggiungi = [&](const QString& testo) {
        const auto v = importo(testo);
        if (v) somma += *v;
        trovato = true;
        return v.has_value();
    };
    const auto beni = body.tutti(QLatin1StringView("DatiBeniServizi"));
    if (semplificata) {
        for (const Nodo* b : beni)
            if (!aggiungi(b->valore({"Importo"}))) return std::nullopt;
        return trovato ? std::optional<Money>(somma) : std::nullopt;
    }
    for (const Nodo* b : beni)
        for (const Nodo* r : b->tutti(QLatin1StringView("DatiRiepilogo")))
            if (!aggiungi(r->valore({"ImponibileImporto"})) || !aggiungi(r->valore({"Imposta"})))
                return std::nullopt;
    if (trovato) return somma;
    for (const Nodo* b : beni)
        for (const Nodo* l : b->tutti(QLatin1StringView("DettaglioLinee"))) {
            const auto prezzo = importo(l->valore({"PrezzoTotale"}));
            const QString testoAliquota = l->valore({"AliquotaIVA"});
            const auto aliquota =
                testoAliquota.isEmpty() ? std::optional<Money>(Money()) : importo(testoAliquota);
            if (!prezzo || !aliquota) return std::nullopt;
            somma += conIva(*prezzo, *aliquota);
            trovato = true;
        }
    return trovato ? std::optional<Money>(somma) : std::nullopt;
}

} // namespace

QString Soggetto::nominativo() const
{
    if (!denominazione.isEmpty()) return denominazione;
    return (nome + QLatin1Char(' ') + cognome).trimmed();
}

QString Soggetto::partitaIva() const
{
    if (idCodice.isEmpty()) return {};
    if (idPaese.isEmpty() || idPaese.compare(QLatin1String("IT"), Qt::CaseInsensitive) == 0) return idCodice;
    return idPaese + idCodice;
}

QString Soggetto::indirizzoCompleto() const
{
    if (numeroCivico.isEmpty()) return indirizzo;
    if (indirizzo.isEmpty()) return numeroCivico;
    return indirizzo + QStringLiteral(", ") + numeroCivico;
}

QDate data(const QString& testo)
{
    const QString t = testo.trimmed();
    if (t.size() < 10) return {};
    const QString resto = t.mid(10);
    static const QRegularExpression fuso(QStringLiteral("^(Z|[+-]\\d\\d:\\d\\d)?$"));
    if (!fuso.match(resto).hasMatch()) return {};
    return QDate::fromString(t.left(10), QStringLiteral("yyyy-MM-dd"));
}

std::optional<Money> importo(const QString& testo)
{
    static const QRegularExpression forma(QStringLiteral("^\\s*([-+]?)(\\d{1,13})(?:\\.(\\d{1,8}))?\\s*$"));
    const auto m = forma.match(testo);
    if (!m.hasMatch()) return std::nullopt;
    const std::int64_t interi = m.captured(2).toLongLong();
    QString decimali = m.captured(3);
    // Four decimals kept, the fifth rounds.
    const bool arrotonda = decimali.size() > 4 && decimali.at(4) >= QLatin1Char('5');
    decimali = decimali.left(4).leftJustified(4, QLatin1Char('0'));
    std::int64_t raw = interi * 10000 + decimali.toLongLong() + (arrotonda ? 1 : 0);
    if (m.captured(1) == QLatin1String("-")) raw = -raw;
    return Money::fromRaw(raw);
}

QDate Rata::dataScadenza(const QDate& dataDocumento) const
{
    if (!scadenza.isEmpty()) return data(scadenza);
    const QDate base = riferimento.isEmpty() ? dataDocumento : data(riferimento);
    if (!base.isValid()) return {};
    if (giorni.isEmpty()) return base;
    bool ok = false;
    const int g = giorni.toInt(&ok);
    if (!ok || g < 0 || g > 999) return {};
    return base.addDays(g);
}

QDate Documento::dataDocumento() const
{
    return fatturapa::data(data);
}

std::optional<Money> Documento::importoTotale() const
{
    if (!totale.isEmpty()) {
        if (const auto t = importo(totale)) return t;
    }
    return totaleRighe;
}

namespace {

std::variant<Fattura, NonFattura> leggiFatturaXml(const QByteArray& xml, const QString& nome)
{
    // An invoice never declares a document type; one that does may declare entities that
    // expand a few kilobytes into gigabytes.
    if (sheets::detail::haDtd(xml))
        throw Error(QStringLiteral("Il file \"%1\" non è una fattura elettronica leggibile: contiene una "
                                   "dichiarazione di tipo documento (DTD), che le fatture non usano.")
                        .arg(mostrato(nome)));
    QXmlStreamReader x(xml);
    Nodo radice;
    while (!x.atEnd() && radice.nome.isEmpty()) {
        if (x.readNext() == QXmlStreamReader::StartElement) {
            radice.nome = x.name().toString();
            Fattura f;
            f.formato = x.attributes().value(QLatin1String("versione")).toString().trimmed();
            qint64 elementi = 1;
            leggiFigli(x, radice, 1, elementi, nome);
            // What follows the root must still be well formed (a second root is not).
            while (!x.atEnd())
                x.readNext();
            if (x.hasError()) malformato(x, nome);
            if (radiceDiServizio(radice.nome)) return NonFattura{radice.nome};
            const bool semplificata = radice.nome == QLatin1String("FatturaElettronicaSemplificata");
            if (!semplificata && radice.nome != QLatin1String("FatturaElettronica"))
                throw Error(QStringLiteral(
                                "Il file \"%1\" non è una fattura elettronica: il suo elemento principale è "
                                "\"%2\".")
                                .arg(mostrato(nome), radice.nome));
            if (f.formato.isEmpty() && semplificata) f.formato = QStringLiteral("FSM10");
            const Nodo* testata = radice.figlio(QLatin1StringView("FatturaElettronicaHeader"));
            const auto corpi = radice.tutti(QLatin1StringView("FatturaElettronicaBody"));
            if (!testata || corpi.empty())
                throw Error(QStringLiteral("Il file \"%1\" non è una fattura elettronica completa: manca %2.")
                                .arg(mostrato(nome), testata ? QStringLiteral("il corpo del documento")
                                                             : QStringLiteral("l'intestazione")));
            f.cedente = leggiSoggetto(testata->figlio(QLatin1StringView("CedentePrestatore")));
            f.cessionario = leggiSoggetto(testata->figlio(QLatin1StringView("CessionarioCommittente")));
            for (const Nodo* corpo : corpi) {
                Documento d;
                const Nodo* generali = corpo->figlio(QLatin1StringView("DatiGenerali"));
                const Nodo* dgd =
                    generali ? generali->figlio(QLatin1StringView("DatiGeneraliDocumento")) : nullptr;
                if (dgd) {
                    d.tipo = dgd->valore({"TipoDocumento"});
                    d.divisa = dgd->valore({"Divisa"});
                    d.numero = dgd->valore({"Numero"});
                    d.data = dgd->valore({"Data"});
                    d.totale = dgd->valore({"ImportoTotaleDocumento"});
                }
                d.totaleRighe = totaleRighe(*corpo, semplificata);
                for (const Nodo* pagamento : corpo->tutti(QLatin1StringView("DatiPagamento")))
                    for (const Nodo* dettaglio : pagamento->tutti(QLatin1StringView("DettaglioPagamento"))) {
                        Rata r;
                        r.modalita = dettaglio->valore({"ModalitaPagamento"});
                        r.scadenza = dettaglio->valore({"DataScadenzaPagamento"});
                        r.riferimento = dettaglio->valore({"DataRiferimentoTerminiPagamento"});
                        r.giorni = dettaglio->valore({"GiorniTerminiPagamento"});
                        r.importo = dettaglio->valore({"ImportoPagamento"});
                        r.iban = dettaglio->valore({"IBAN"});
                        r.istituto = dettaglio->valore({"IstitutoFinanziario"});
                        d.rate << r;
                    }
                f.documenti << d;
            }
            return f;
        }
    }
    if (x.hasError()) malformato(x, nome);
    throw Error(
        QStringLiteral("Il file \"%1\" è vuoto: non contiene una fattura elettronica.").arg(mostrato(nome)));
}

} // namespace

std::variant<Fattura, NonFattura> leggiFattura(const QByteArray& xml, const QString& nome)
{
    return sheets::detail::protetto(nome, xml.size(), [&] { return leggiFatturaXml(xml, nome); });
}

bool sembraXml(const QByteArray& dati)
{
    qsizetype i = 0;
    if (dati.startsWith("\xEF\xBB\xBF"))
        i = 3;
    else if (dati.startsWith("\xFF\xFE") || dati.startsWith("\xFE\xFF"))
        return true; // UTF-16 with its mark: only text starts so
    while (i < dati.size() && (dati[i] == ' ' || dati[i] == '\t' || dati[i] == '\r' || dati[i] == '\n'))
        ++i;
    return i < dati.size() && dati[i] == '<';
}

bool sembraZip(const QByteArray& dati)
{
    return dati.startsWith("PK\x03\x04") || dati.startsWith("PK\x05\x06");
}

namespace {

// The content of a CMS SignedData, or nullopt when the bytes are not one.
std::optional<QByteArray> contenutoCms(const QByteArray& dati)
{
    BIO* bio = BIO_new_mem_buf(dati.constData(), int(std::min<qsizetype>(dati.size(), INT_MAX)));
    if (!bio) return std::nullopt;
    CMS_ContentInfo* cms = d2i_CMS_bio(bio, nullptr);
    BIO_free(bio);
    std::optional<QByteArray> out;
    if (cms && OBJ_obj2nid(CMS_get0_type(cms)) == NID_pkcs7_signed) {
        ASN1_OCTET_STRING** contenuto = CMS_get0_content(cms);
        if (contenuto && *contenuto)
            out = QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(*contenuto)),
                             ASN1_STRING_length(*contenuto));
    }
    CMS_ContentInfo_free(cms);
    // The error queue belongs to this thread: leave it clean for the next caller.
    ERR_clear_error();
    return out;
}

// Base64 text, once PEM armour lines and blanks are out; nullopt when it is not.
std::optional<QByteArray> daBase64(const QByteArray& dati)
{
    QByteArray testo;
    testo.reserve(dati.size());
    for (const QByteArray& riga : dati.split('\n')) {
        const QByteArray r = riga.trimmed();
        if (r.startsWith("-----")) continue;
        testo += r;
    }
    testo.replace(' ', QByteArray()).replace('\t', QByteArray());
    if (testo.isEmpty()) return std::nullopt;
    auto r = QByteArray::fromBase64Encoding(testo, QByteArray::AbortOnBase64DecodingErrors);
    if (!r || r.decoded.isEmpty()) return std::nullopt;
    return r.decoded;
}

QByteArray estraiFirmatoDa(const QByteArray& dati, const QString& nome)
{
    // Base64 of base64 happens; a signed file inside a signed file (a second signature)
    // too. Four layers are more than any producer makes.
    QByteArray corrente = dati;
    for (int strato = 0; strato < 4; ++strato) {
        if (auto contenuto = contenutoCms(corrente)) {
            if (sembraXml(*contenuto)) return *contenuto;
            corrente = *contenuto;
            continue;
        }
        if (auto decodificato = daBase64(corrente)) {
            corrente = *decodificato;
            continue;
        }
        break;
    }
    throw Error(
        QStringLiteral("Il file \"%1\" non è un file firmato leggibile (.p7m): impossibile estrarne la "
                       "fattura.")
            .arg(mostrato(nome)));
}

} // namespace

QByteArray estraiFirmato(const QByteArray& dati, const QString& nome)
{
    return sheets::detail::protetto(nome, dati.size(), [&] { return estraiFirmatoDa(dati, nome); });
}

void leggiZip(const QByteArray& zip, const QString& nome,
              const std::function<void(const QString& voce, const QByteArray& dati)>& file,
              const std::function<void(const QString& voce, const QString& errore)>& guasto)
{
    // The budget is the whole walk's, ZIPs inside it and the invoices read from it included.
    sheets::detail::protetto(nome, zip.size(), [&] {
        const sheets::detail::Archivio archivio(zip, nome);
        const int n = archivio.count();
        for (int i = 0; i < n; ++i) {
            const QString voce = archivio.name(i);
            if (voce.isEmpty() || voce.endsWith(QLatin1Char('/'))) continue;
            QByteArray dati;
            try {
                dati = archivio.readAt(i, maxFileFattura);
            } catch (const sheets::detail::BudgetEsaurito&) {
                throw; // the rest of the archive would only say the same
            } catch (const Error& e) {
                guasto(voce, e.message());
                continue;
            }
            file(voce, dati);
        }
    });
}

} // namespace sz::fatturapa
