#pragma once

#include "FirmaRicevuta.h"
#include "Ricevuta.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace sz::db {
class Connection;
}

// Certified-mail receipts put with the letters they prove: a receipt is matched to its
// letter in the letter log by the Message-ID it speaks of, kept whole as an .eml beside the
// letter's PDF (that file is what a lawyer is handed) and recorded in t_ricevute; and each
// letter's state is read from its receipts.
namespace sz::pec {

// One letter of the log that went out with a Message-ID: the log's rows of that
// Message-ID (one per credit of a per-client letter) taken together.
struct Lettera
{
    QString messageId;     // as the log keeps it
    QList<qint64> idInvii; // the log's rows, lowest first
    QString cliente;
    QStringList documenti; // the documents' numbers, in log order, once each
    QString file;          // the PDF, relative to the data root
    QString canale;        // "MAIL", "PEC"
    QStringList destinatari; // lower case
    QDateTime dataOra;
    QString esito;

    bool valida() const { return !messageId.isEmpty(); }
    // "ROSSI SRL, doc. 12/A, 13/A": what the clerk knows the letter by.
    QString descrizione() const;
};

// The letters of the log with a Message-ID, oldest first; only those with one of the given
// log rows when ids is not empty.
QList<Lettera> lettere(db::Connection& conn, const QList<qint64>& ids = {});

// The letter a receipt speaks of: the same Message-ID (angle brackets and the domain's
// case aside); failing that, the same local part, when exactly one letter has it (some
// providers rewrite the domain). An invalid Lettera when none.
Lettera letteraDi(const QList<Lettera>& lettere, const QString& riferimento);

struct Archiviazione
{
    enum class Esito {
        Registrata,    // filed and recorded now
        GiaRegistrata, // the same receipt was read before: nothing written
        NonRicevuta,   // not a receipt: left alone
        Estranea,      // a receipt for a message this program never sent: not stored
    };
    Esito esito = Esito::NonRicevuta;
    Ricevuta ricevuta;
    Lettera lettera;
    QString file; // the .eml, relative to the data root (Registrata and GiaRegistrata)
    // The provider's signature of a receipt of a letter: a receipt whose signature no
    // longer matches is still kept (it is what arrived) and the clerk is told.
    Firma firma = Firma::Assente;
    QString dettaglioFirma;
    qint64 id = 0; // the t_ricevute row
};

// Reads, matches and files one receipt given as the bytes of its message. dataRoot ends
// with "/". Throws sz::Error (an Italian line) for a damaged receipt or a file that cannot
// be written; nothing is left half written. registro: the letters as lettere(conn) gives
// them, read once for many receipts; read afresh when null.
Archiviazione archivia(db::Connection& conn, const QString& dataRoot, const QByteArray& eml,
                       const QList<Lettera>* registro = nullptr);

// The name of a receipt's file beside its letter: "<PDF name> - CONSEGNA rossi@pec.it.eml",
// cleaned and limited as the archive's letters are.
QString nomeFileRicevuta(const QString& pdf, const Ricevuta& r);

// A receipt as t_ricevute keeps it.
struct RicevutaRegistrata
{
    qint64 id = 0;
    Tipo tipo = Tipo::Nessuna;
    QString destinatario;
    QDateTime dataOra;
    QString gestore, errore, erroreEsteso, identificativo, file;
};
QList<RicevutaRegistrata> ricevuteDi(db::Connection& conn, const QString& messageId);

// What a letter's receipts say.
struct StatoLettera
{
    // "In attesa", "Accettata", "Consegnata", "Consegna parziale", "Non accettata",
    // "Non consegnata".
    QString stato;
    QString motivo; // the provider's reason of a refusal or failed delivery
    // Accepted more than 24 hours ago and some recipient still without a delivery receipt.
    bool senzaConsegna24h = false;
    QStringList consegnati, nonConsegnati, senzaEsito;
    // The state, its reason and the flag on one line.
    QString testo() const;
    // Refused, undelivered (wholly or in part), or not delivered a day after acceptance:
    // the clerk has to act.
    bool daControllare() const;
};
StatoLettera statoLettera(const Lettera& lettera, const QList<RicevutaRegistrata>& ricevute, const QDateTime& adesso);
// The same from the receipts recorded for the letter.
StatoLettera statoDi(db::Connection& conn, const Lettera& lettera, const QDateTime& adesso);

// The receipt of a letter that tells the most, to hand to the desktop: the latest delivery
// or failure receipt, else the latest other one. Only a .eml file inside the data root,
// also where a link leads: the path comes from the database, and a row must never make the
// desktop run a program. Empty, with the Italian reason in *errore, when the letter has no
// receipt yet or its file is gone.
QString ricevutaDaAprire(const QList<RicevutaRegistrata>& ricevute, const QString& dataRoot, QString* errore);

} // namespace sz::pec
