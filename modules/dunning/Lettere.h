#pragma once

#include "SollecitiLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Interessi.h"
#include "scadenzio/Money.h"
#include "scadenzio/report/Letterhead.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Producing the letters: the letter parameters, the dated archive and its file names,
// the runs per document and per client, and the stage write-back. No widgets: the
// frame shows progress and messages around a run, the command-line tool prints them.
namespace sz::dunning {

// ---- error list of a run ---------------------------------------------------------------

// The lines of the problems met, in the order they occurred; emptied when shown.
extern QStringList GListaErrori;
void GestisciErrore(const QString& riga);

// ---- texts of the letters --------------------------------------------------------------

// "€ 1.334,50": an amount for letters and mails, whatever the machine's locale. An
// empty text is zero; a text that is not an amount is written as it came.
QString FormattaValuta(const QString& importo);
QString FormattaValuta(const Money& importo);

using Valori = sz::report::Values; // a row by column name

// The client's address and contact lines for the letter, separated by a single CR.
QString IntestazioneCliente(const Valori& cliente);

// ---- late-payment interest in a letter ------------------------------------------------

// What a letter says of late-payment interest: each credit's interest to the day of the
// letter, the € 40 per late document, the total due and the date to pay it by.
struct BloccoInteressi
{
    struct Riga
    {
        QString numeroFattura, dataFattura, scadenza;
        Money residuo, interessi;
        QString tassi; // the rates applied, with their periods
    };
    bool mostrato = false; // the firm counts interest, every rate was there and a credit is overdue
    QString mancante;      // the missing rate's message: then nothing is shown
    QList<Riga> righe;
    Money interessi, indennizzo, totale;
    int documentiIndennizzo = 0;
    QString dataTermine;   // dd/mm/yyyy
    QString clausola;      // the law the amounts rest on
};
// crediti are t_crediti rows (Residuo, Scadenza, DataFattura, NumeroFattura). The € 40
// comes once per document (number and date), for a business or public administration,
// when the firm asks for it and the document has an instalment past due.
BloccoInteressi bloccoInteressi(const QList<sz::interessi::Tasso>& tassi, const sz::interessi::Impostazioni& imp,
                                sz::interessi::TipoCliente tipo, const QList<Valori>& crediti, const QDate& oggi);

// ---- archive ---------------------------------------------------------------------------

// Drops the characters a file name cannot hold on the systems the archive is copied to,
// every control character (NUL and line breaks included), the bidirectional embeddings,
// overrides and isolates, and any half of a surrogate pair.
QString pulisciNomeFile(const QString& nome);
// The longest name of a letter file, in UTF-8 bytes: the file system allows 255, and a
// letter is written beside its place under the name + ".XXXXXX" before it replaces it.
constexpr int limiteNomeFile = 248;
// name + extension as it is when it fits limiteNomeFile; otherwise the name's start, "~"
// and 12 hex digits of the SHA-256 of the whole name, then the extension. Whole
// characters only; the same name always gives the same file.
QString limitaNomeFile(const QString& nome, const QString& estensione);

QString cartellaPerDocumento(const QString& dataRoot, Fase fase, const QDate& oggi);
QString cartellaPerCliente(const QString& dataRoot, const QDate& oggi);
QString nomeFilePerDocumento(const QDate& oggi, Fase fase, const QString& numeroFattura, const QDate& scadenza);
QString nomeFilePerCliente(const QDate& oggi, const QString& cliente);

// ---- the runs --------------------------------------------------------------------------

// What the mail step receives for one letter (mailed by the transport of the program).
struct Invio
{
    QString colonna; // the stage column the letter fills
    QString oggetto, introduzione, finale;
    QString mail1, mail2, mail3;
    QString pdf;
    QString mittente;            // the company's mail address
    QList<Valori> crediti;       // the credits the letter is about
    bool perCliente = false;
    QList<Valori> banche;        // nome, agenzia, IBAN: the credit's bank, or all for a client
    Valori societa;              // the firm's own row, for the signature
    BloccoInteressi interessi;   // shown when interessi.mostrato
};
// A recipient the server would not take, with its reply.
struct Rifiuto
{
    QString indirizzo, risposta;
};
// What became of one letter's mail. A text converts to it: empty for sent, otherwise the
// reason it was not.
struct EsitoSpedizione
{
    EsitoSpedizione() = default;
    EsitoSpedizione(const QString& motivo) : inviata(motivo.isEmpty()), motivo(motivo) {}
    bool inviata = true;
    QString motivo;          // why it was not sent
    bool incerta = false;    // the server took the message and never confirmed it
    bool annullata = false;  // stopped by the user's "Annulla"
    QList<Rifiuto> rifiutati; // sent, but not to these
    QString messageId;        // the message's Message-ID when it went out (or may have)
};
// Sends one letter. canale names the way it goes in the letter log: "MAIL" when empty,
// "PEC" for a certified mailbox.
struct Spedizione : std::function<EsitoSpedizione(const Invio&)>
{
    using std::function<EsitoSpedizione(const Invio&)>::function;
    QString canale;
};

// Called before each letter with the number done so far and the total; false stops the
// run before that letter.
using Avanzamento = std::function<bool(int fatti, int totale)>;

// What the letter log records of how one letter left: its channel, the addresses it was
// mailed to, the mail's Message-ID and the outcome ("CREATA", "INVIATA", "NON INVIATA: ...").
struct Consegna
{
    QString canale;
    QString destinatari;
    QString messageId;
    QString esito;
};

// One letter a run made and logged.
struct LetteraFatta
{
    QString pdf;     // full path
    QString cliente;
    QString fase;    // its credits' stage keywords, earliest stage first, "," between them
    QString esito;   // as the letter log's Esito: "CREATA", "INVIATA", "NON INVIATA: ..."
};
// Called after each letter, once its stage dates and log rows are written.
using DopoLettera = std::function<void(const LetteraFatta&)>;

struct EsitoRun
{
    QStringList pdf;     // full paths of the letters written, in order
    int righeErrore = 0; // lines this run added to GListaErrori
    bool interrotto = false;
    QString guasto;      // the failure that ended the run early, or empty
    QList<LetteraFatta> lettere; // the letters logged, in order
    bool conErrori() const { return righeErrore > 0; }
};

class Lettere
{
public:
    // programFolder and dataRoot end with "/".
    Lettere(sz::db::Connection& conn, const QDate& oggi, const QString& dataRoot, const QString& programFolder);
    ~Lettere();

    // Without one, a run asked to send mails reports every letter as not sent.
    void setSpedizione(Spedizione spedizione);
    void setDopoLettera(DopoLettera dopo);

    // One letter per credit, in the order given.
    EsitoRun perDocumento(const QList<qint64>& ids, bool invia, const Avanzamento& avanzamento = {});
    // One letter per group.
    EsitoRun perCliente(const QList<GruppoCliente>& gruppi, bool invia, const Avanzamento& avanzamento = {});

    // One per-client letter; true when it went through without an error line.
    bool ElaboraAzionePerCliente(const QList<qint64>& ids, bool invia, const QString& cliente, EsitoRun& esito);

    // Today's date into the given stage column of the credit; nothing for an empty column.
    void AggiornaStato(const QString& colonna, qint64 id);

    QString logo() const;

private:
    bool elaboraDocumento(qint64 id, bool invia, EsitoRun& esito);
    void impostaMittente() const;
    Valori cliente(const QString& nome) const;
    Valori modello(const QString& tipologia) const;
    // The interest parameters of the project (all empty when not shown); a missing rate
    // is a line of the run's errors.
    BloccoInteressi impostaInteressi(const Valori& cliente, const QList<Valori>& crediti, const QString& documento,
                                     EsitoRun& esito);
    QString renderizza(const QString& cartella, const QString& file);
    void aggiungiErrore(const QString& riga, EsitoRun& esito);
    EsitoSpedizione spedisci(const Invio& invio);
    // Empty when the company's address can send the run's mails, the run's stop otherwise.
    QString mittenteNonValido() const;
    // The mail step of a letter: false when it added an error line. consegna receives what
    // the log keeps of it.
    bool posta(const Invio& invio, const QString& ragioneSociale, const std::function<QString()>& documento,
               EsitoRun& esito, Consegna& consegna);
    // The stage dates of a letter's credits and its log rows, together or not at all.
    void registraLettera(const sz::db::Result& crediti, const QString& modo, const QString& pdf,
                         const Consegna& consegna, EsitoRun& esito);
    EsitoRun esegui(int totale, const Avanzamento& avanzamento, const std::function<void(int, EsitoRun&)>& passo);

    sz::db::Connection& m_conn;
    QDate m_oggi;
    QString m_dataRoot;
    QString m_programFolder;
    Valori m_societa;
    sz::interessi::Impostazioni m_impostazioni;
    QList<sz::interessi::Tasso> m_tassi;
    Spedizione m_spedizione;
    DopoLettera m_dopoLettera;
    struct Motore;
    std::unique_ptr<Motore> m_motore;
};

// Values of a result row by column name, and its text as a letter prints it: dates
// dd/mm/yyyy, amounts "1234,50", formatted amounts "€ 1.234,50".
Valori valoriRiga(const sz::db::Result& r, int row);
QString testoValore(const QVariant& v);

} // namespace sz::dunning
