#pragma once

#include "scadenzio/Money.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

// The Italian electronic invoice (formats FPA12, FPR12 and the simplified FSM10) as the
// exchange system and the tax agency's portal deliver it: plain XML, signed .p7m, or a
// ZIP of them. Elements are matched by local name, whatever prefix the producer chose.
namespace sz::fatturapa {

// A party of the invoice: the supplier (CedentePrestatore) or the customer
// (CessionarioCommittente).
struct Soggetto
{
    QString idPaese, idCodice; // IdFiscaleIVA
    QString codiceFiscale;
    QString denominazione, nome, cognome;
    QString indirizzo, numeroCivico, cap, comune, provincia, nazione;

    // Denominazione, or Nome and Cognome separated by one blank.
    QString nominativo() const;
    // The VAT number as a registry keeps it: the code alone for Italy, the country code
    // and the code for a foreign party.
    QString partitaIva() const;
    // Indirizzo, then ", " and NumeroCivico when there is one.
    QString indirizzoCompleto() const;
};

// One DettaglioPagamento.
struct Rata
{
    QString modalita;    // MP01..MP23
    QString scadenza;    // DataScadenzaPagamento as written
    QString riferimento; // DataRiferimentoTerminiPagamento as written
    QString giorni;      // GiorniTerminiPagamento as written
    QString importo;     // ImportoPagamento as written
    QString iban;
    QString istituto; // IstitutoFinanziario

    // DataScadenzaPagamento; without it the reference date (else the document date)
    // plus GiorniTerminiPagamento. Invalid when a date or the day count cannot be read.
    QDate dataScadenza(const QDate& dataDocumento) const;
};

// One FatturaElettronicaBody.
struct Documento
{
    QString tipo;   // TipoDocumento: TD01..
    QString divisa; // Divisa, "EUR" for almost all
    QString numero;
    QString data;   // Data as written
    QString totale; // ImportoTotaleDocumento as written, empty when absent
    // The total of the lines with their VAT (DatiRiepilogo, or the lines themselves when
    // the summary is missing; the amounts of a simplified invoice, which carry their VAT).
    std::optional<Money> totaleRighe;
    QList<Rata> rate; // every DettaglioPagamento of every DatiPagamento, in file order

    QDate dataDocumento() const;
    // ImportoTotaleDocumento, else totaleRighe; nullopt when neither can be read.
    std::optional<Money> importoTotale() const;
};

struct Fattura
{
    QString formato; // the root's versione: FPA12, FPR12, FSM10
    Soggetto cedente, cessionario;
    QList<Documento> documenti;
};

// An xs:date ("2026-03-31", a time zone after it allowed); invalid otherwise.
QDate data(const QString& testo);
// An xs:decimal of the invoice ("1234.50", "-3", "0.12345678"), rounded half away from
// zero to the ten-thousandth; nullopt for anything else (a comma, a thousands separator,
// an exponent, more than 15 integer digits).
std::optional<Money> importo(const QString& testo);

// What a file of the exchange system holds besides invoices: receipts, notices and the
// metadata file that travels with every invoice.
struct NonFattura
{
    QString radice; // the root element's local name
};

// Reads one invoice file. Returns the invoice, or a NonFattura for a receipt or metadata
// file of the exchange system; throws sz::Error (naming the file) for text that is not
// XML, is truncated, or is XML of another kind.
std::variant<Fattura, NonFattura> leggiFattura(const QByteArray& xml, const QString& nome);

// The file starts like XML (a byte-order mark, blanks, then '<').
bool sembraXml(const QByteArray& dati);
// The file starts like a ZIP archive.
bool sembraZip(const QByteArray& dati);

// The content signed in a CMS (PKCS#7) file: DER or BER, also the base64 text that
// some providers deliver, encoded once or twice, with or without PEM armour. The
// signature is not judged. Throws sz::Error naming the file when there is no content
// to take out.
QByteArray estraiFirmato(const QByteArray& dati, const QString& nome);

// Goes through the entries of a ZIP held in memory, in directory order, skipping folders.
// file gets each entry with its name inside the archive; an entry that cannot be read
// (damaged, encrypted, too big for an invoice) goes to guasto with its message, and the
// walk goes on. Throws sz::Error when the archive itself cannot be opened.
void leggiZip(const QByteArray& zip, const QString& nome,
              const std::function<void(const QString& voce, const QByteArray& dati)>& file,
              const std::function<void(const QString& voce, const QString& errore)>& guasto);

// The largest invoice file taken, signed or not: the exchange system refuses files over
// 5 MB, so anything this big is not an invoice.
constexpr qint64 maxFileFattura = 64ll * 1024 * 1024;

} // namespace sz::fatturapa
