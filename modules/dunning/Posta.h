#pragma once

#include "Lettere.h"

#include "scadenzio/mail/Transport.h"

#include <QtGlobal>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// The mail that carries a letter: its HTML body, which repeats the letter's text and
// credits with the firm's bank details, and the message around it with the PDF.
namespace sz::dunning {

// The HTML body, its lines joined by CR LF. Every value taken from the registry or the
// templates is HTML-escaped; the line breaks of the introduction and the closing are kept.
QString corpoMail(const Invio& invio);

// From the firm's address to the client's non-empty addresses, the firm blind-copied,
// the letter's PDF attached. A certified message has no blind copy: the provider's
// receipts are the firm's copy, and certified mail knows no Bcc.
sz::mail::Message InviaMail(const Invio& invio, bool certificata = false);

// The pace of a mailbox: at most perMinuto messages handed to the server in any 60
// seconds, so a provider's cap never refuses a run halfway. Shared by the runs of one
// process; the clock and the sleep can be replaced.
class Cadenza
{
public:
    using Orologio = std::function<qint64()>;  // milliseconds, never going back
    using Pausa = std::function<void(qint64)>; // sleeps about that many milliseconds
    explicit Cadenza(int perMinuto, Orologio orologio = {}, Pausa pausa = {});

    // Waits until one more message fits, looking at fermato a few times a second; false
    // when it said stop first.
    bool attendiTurno(const std::function<bool()>& fermato);
    // A message went to the server now (or was tried: a refused one may have counted).
    void registra();
    // A message that went msFa milliseconds ago, from another run or program.
    void ricorda(qint64 msFa);
    void impostaPerMinuto(int perMinuto);

private:
    std::mutex m_mutex;
    int m_perMinuto;
    Orologio m_orologio;
    Pausa m_pausa;
    std::deque<qint64> m_invii;
};

// The one pace of a mailbox (server and user) in this process; a new one starts from
// the messages of the last minute that the letter log knows (msFa each).
std::shared_ptr<Cadenza> cadenzaCasella(const sz::mail::Server& server, int perMinuto,
                                        const QList<qint64>& inviatiMsFa = {});

// How a run mails: a certified mailbox (PEC) and its pace.
struct RegolePosta
{
    bool certificata = false;
    int messaggiMinuto = 6;
    // How long ago (ms) each certified letter of the last minute went out, by the letter
    // log: another run, program or workstation counts against the same cap.
    QList<qint64> inviatiMsFa;
    // Stops a wait for the pace (the command line's signals); the server's cancel does too.
    std::function<bool()> fermato;
    // The pace to keep; the mailbox's own when none is given.
    std::shared_ptr<Cadenza> cadenza;
};

// The rules of the stored mailbox (the first row of t_ISP).
RegolePosta regolePosta(sz::db::Connection& conn);

// Mails through the given server; the transport's reason when it failed. A certified
// mailbox sends without blind copy, at its pace, logged as "PEC".
Spedizione spedizioneSmtp(const sz::mail::Server& server, RegolePosta regole = {});

} // namespace sz::dunning
