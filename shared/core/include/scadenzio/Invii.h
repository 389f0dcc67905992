#pragma once

#include "scadenzio/Export.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

namespace sz::db {
class Connection;
}

// The letter log (t_invii): one row per credit per letter made, written by whoever makes
// letters in the same transaction as the stage date, read by the credit's history, the
// issued-documents report and the command line.
namespace sz::invii {

// Esito of a letter that was only made, and of one that went out.
SZ_CORE_EXPORT extern const QString Creata;  // "CREATA"
SZ_CORE_EXPORT extern const QString Inviata; // "INVIATA"
// "NON INVIATA: " + the reason, on one line.
SZ_CORE_EXPORT QString nonInviata(const QString& motivo);

struct SZ_CORE_EXPORT Invio
{
    qint64 id = 0;
    qint64 idCredito = 0;
    QString cliente;
    QString numeroFattura;
    QDate dataFattura;
    QString fase;        // stage keyword: "PREAVVISO" ... "IN SOFFERENZA"
    QString modo;        // "DOCUMENTO" or "CLIENTE"
    QDateTime dataOra;   // local time, to the second
    QString file;        // the PDF, relative to the data root ("Archivio/...")
    QString canale;      // "PDF" or "MAIL"
    QString destinatari; // the addresses the letter was mailed to, ", " between them
    QString messageId;
    QString esito;
    QString postazione;  // "host (user)"
    // A letter from before the log existed, known only by its stage column's date: it
    // has a date and a stage and nothing else.
    bool daColonne = false;
};

// The text with every control character (line breaks included) as a blank: a log row,
// and an output line made of its fields, stay one line whatever a field holds.
SZ_CORE_EXPORT QString unaRiga(const QString& testo);

// This computer and its user, as Postazione records them: "host (user)".
SZ_CORE_EXPORT QString postazione();

// A path under the data root as the log keeps it: relative, "/" between folders. A path
// outside the data root is kept whole.
SZ_CORE_EXPORT QString percorsoRelativo(const QString& dataRoot, const QString& percorso);

// The letter's PDF to hand to the desktop: data root + file (or the file, when absolute),
// only when it is a PDF, also where a link leads. The path comes from the database, and a
// row must never make the desktop run a program. Empty, with the Italian reason in
// *errore, for no file, a file that is gone, or one that is not a PDF.
SZ_CORE_EXPORT QString pdfDaAprire(const QString& dataRoot, const QString& file, QString* errore);

// Writes one row (its id is ignored) and returns the new ID. Texts are made single-line
// and cut to their column's width; no transaction of its own: the caller's keeps the row
// and the stage date together.
SZ_CORE_EXPORT qint64 registra(db::Connection& conn, const Invio& invio);

// A credit's letters, newest first: its log rows, and for each stage column whose date no
// log row of that stage accounts for, a row made from the column (daColonne).
SZ_CORE_EXPORT QList<Invio> storico(db::Connection& conn, qint64 idCredito);

struct SZ_CORE_EXPORT Filtro
{
    qint64 credito = 0; // 0: every credit
    QString cliente;    // the client's name, compared as the database compares names; empty: all
    QDate dal, al;      // the day of DataOra, both included; a null bound is open
};
// Log rows, oldest first (DataOra, then ID).
SZ_CORE_EXPORT QList<Invio> elenco(db::Connection& conn, const Filtro& filtro);

// The credits that got a letter on that day, whoever made it: a log row of the day, or a
// stage date of the day with no row (a letter from before the log, a date set by hand).
SZ_CORE_EXPORT QSet<qint64> creditiConLettera(db::Connection& conn, const QDate& giorno);

// The stage columns written back by a letter of that stage keyword ("Preavviso" for
// "PREAVVISO" ...), empty for "IN SOFFERENZA".
SZ_CORE_EXPORT QString colonnaDiFase(const QString& fase);

} // namespace sz::invii
