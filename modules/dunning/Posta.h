#pragma once

#include "Lettere.h"

#include "scadenzio/mail/Transport.h"

// The mail that carries a letter: its HTML body, which repeats the letter's text and
// credits with the firm's bank details, and the message around it with the PDF.
namespace sz::dunning {

// The HTML body, its lines joined by CR LF. Every value taken from the registry or the
// templates is HTML-escaped; the line breaks of the introduction and the closing are kept.
QString corpoMail(const Invio& invio);

// From the firm's address to the client's non-empty addresses, the firm blind-copied,
// the letter's PDF attached.
sz::mail::Message InviaMail(const Invio& invio);

// Mails through the given server; the transport's reason when it failed.
Spedizione spedizioneSmtp(const sz::mail::Server& server);

} // namespace sz::dunning
