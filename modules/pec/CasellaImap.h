#pragma once

#include "ArchivioRicevute.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>

namespace sz::db {
class Connection;
}

// The certified mailbox read over IMAP (implicit TLS): the messages that arrived since the
// last reading, each once, the receipts filed with their letters and everything else left
// where it was, read or unread as it was.
namespace sz::pec {

struct CasellaImap
{
    QString host;
    int porta = 993;
    QString utente, password; // those of the outgoing server
    QString caFile;           // extra PEM CA file, the outgoing server's: the system store always counts
    QString cartella = QStringLiteral("INBOX");
    int connectTimeoutSeconds = 20;
    // No byte and no reply for this long ends the reading.
    int stallTimeoutSeconds = 60;
    // Looked at about once a second; true ends the reading where it is.
    const std::atomic_bool* annulla = nullptr;
};

// The incoming server of the stored mail settings (the first t_ISP row, Config.ini [Mail]
// CAFile). Throws sz::Error with an Italian "ATTENZIONE: ..." line when the mailbox is not
// certified mail, has no incoming server, or its port is not a number from 1 to 65535.
CasellaImap casellaMemorizzata(db::Connection& conn);

// One message of the mailbox.
struct MessaggioLetto
{
    qint64 uid = 0;
    // What became of it (NonRicevuta for any message that is not a receipt).
    Archiviazione archiviazione;
    // A receipt that cannot be read (damaged, hostile): why. It stays in the mailbox and is
    // not read again.
    QString errore;
};

struct LetturaCasella
{
    qint64 uidValidity = 0;
    // The provider renumbered the mailbox: it was read again from its first message (the
    // receipts already filed are recognised and not filed twice).
    bool uidValiditaCambiata = false;
    QList<MessaggioLetto> messaggi; // in the mailbox's order
    qint64 ultimoUid = 0;           // the last message handled, as now saved
    int restanti = 0;               // new messages left for the next reading (count per call)
    // What ended the reading before its end (connection, password, certificate, a file that
    // could not be written, the user's stop), as an Italian line; empty when it went through.
    // The messages handled before it are saved as read; the next reading begins after them.
    QString errore;
    bool annullata = false;
};

// The messages after the last one read (t_ISP IMAPUidValidity and IMAPUltimoUID), at most
// massimo of them, each fetched whole only when its headers say it is a receipt; where
// reading them was saved is advanced message by message, so a reading that stops halfway
// resumes at the first message not handled. ciascuno (optional) hears of each message as it
// is done. Throws sz::Error only for what casellaMemorizzata refuses or a database that
// cannot be read; everything met on the way is in LetturaCasella::errore.
LetturaCasella leggiCasella(db::Connection& conn, const QString& dataRoot, const CasellaImap& casella,
                            int massimo = 500,
                            const std::function<void(const MessaggioLetto&)>& ciascuno = {});

} // namespace sz::pec
