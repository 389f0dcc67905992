#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// A certified-mail receipt read from the raw bytes of its message (.eml): what kind it is,
// which message it speaks of, and the certified data of its daticert.xml. Qt Core only and
// no database, so that it can be read anywhere the bytes arrive (a saved file, a mailbox)
// and fuzzed on its own. Every byte is hostile: sizes, nesting and header counts are
// bounded, the XML is read without a DTD and without entities.
namespace sz::pec {

enum class Tipo {
    Nessuna, // not a receipt (an ordinary mail, a transport envelope): left alone
    Accettazione,
    NonAccettazione,
    PresaInCarico,
    AvvenutaConsegna,
    ErroreConsegna,
    PreavvisoErroreConsegna,
    RilevazioneVirus,
};

// "accettazione", "avvenuta-consegna", ...: the word of X-Ricevuta and of t_ricevute.Tipo;
// empty for Nessuna.
QString tipoTesto(Tipo tipo);
// The inverse; "mancata-consegna", which some software writes, is errore-consegna.
Tipo tipoDaTesto(const QString& testo);
// The word a clerk reads in a file name: "ACCETTAZIONE", "CONSEGNA", "MANCATA CONSEGNA" ...
QString etichettaTipo(Tipo tipo);

struct Ricevuta
{
    Tipo tipo = Tipo::Nessuna;
    QString trasporto;     // X-Trasporto of a message that is not a receipt ("posta-certificata", "errore")
    QString riferimento;   // the Message-ID of the message the receipt is about, "<...>" as found
    QString oggetto;       // the original subject (daticert), or the receipt's decoded Subject
    QString mittente;
    QStringList destinatari;
    QString gestore;       // gestore-emittente
    QDateTime data;        // when the provider says it happened, in this machine's local time
    QString identificativo; // the provider's identifier of the message
    QString ricevutaTipo;  // completa, breve, sintetica
    QString consegna;      // the mailbox delivered to (or not), lower case
    QString errore;        // nessuno, no-dest, no-dominio, virus, altro
    QString erroreEsteso;  // the provider's text, NOTA 12 code included
    bool conDaticert = false; // the certified data were found and read
    bool firmata = false;     // a multipart/signed receipt (the signature itself is not checked here)

    // The recipient the receipt speaks of: consegna, or the only recipient.
    QString destinatario() const;
};

// The most a receipt may weigh: a message of at most 30 MB (the legal limit) travels inside
// a complete receipt, base64 adds a third.
constexpr qsizetype limiteEml = 48 * 1024 * 1024;

// Reads the message. A message that is not a receipt comes back with tipo Nessuna. A
// damaged or hostile receipt throws sz::Error with one Italian line saying why.
Ricevuta leggiRicevuta(const QByteArray& eml);

// What a daticert.xml says, alone (the parser's second half, for tests and the fuzzer).
// Throws sz::Error for a DTD, an entity, XML that is not well formed or too large.
void leggiDaticert(const QByteArray& xml, Ricevuta& r);

// A Message-ID as matching compares it: without angle brackets and blanks, the domain in
// lower case (the local part is kept: it is the sender's and case may matter).
QString normalizzaMessageId(const QString& id);
// The part before the last '@' of a normalised Message-ID.
QString parteLocale(const QString& idNormalizzato);

// RFC 2047 encoded words of a header decoded; an unknown charset is left as it came.
QString decodificaIntestazione(const QByteArray& valore);

} // namespace sz::pec
