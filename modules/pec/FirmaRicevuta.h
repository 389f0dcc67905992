#pragma once

#include <QByteArray>
#include <QString>

// Whether a receipt's S/MIME signature still matches what it signs. Only the integrity is
// checked (the bytes signed are the bytes kept, signed by the certificate the receipt
// carries); whose certificate it is, is for whoever needs the proof to check against the
// list of certified-mail providers, from the .eml kept whole.
namespace sz::pec {

enum class Firma {
    Assente,   // not a multipart/signed message
    Integra,   // the signature matches the content
    Alterata,  // the content or the signature was changed, or cannot be read
};

// For a multipart/signed message (Ricevuta::firmata); *dettaglio receives OpenSSL's reason
// for Alterata.
Firma verificaFirma(const QByteArray& eml, QString* dettaglio = nullptr);

} // namespace sz::pec
