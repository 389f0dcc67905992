#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Esporta.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// Which credits are due for a letter today, and at which stage; the statements of the
// lists, their record filter and their colours. No widgets: the frame, the command-line
// tool and the tests use the same rules.
namespace sz::dunning {

// The stage of a credit is decided by its first empty stage date.
enum class Fase { Preavviso, Sollecito1, Sollecito2, Sollecito3, InSofferenza };

// The letter kind, also the template's Tipologia: "PREAVVISO" ... "IN SOFFERENZA".
QString parolaChiave(Fase fase);
// As the per-client list labels it: "PREAVVISO", "1° SOLLECITO", ... "IN SOFFERENZA".
QString etichetta(Fase fase);
// The stage column a letter of this stage fills; empty for a bad debt, which fills none.
QString colonnaDaScrivere(Fase fase);
// A stage date counts as empty when it is null or shows no text.
Fase faseDi(const QVariant& preavviso, const QVariant& sollecito1, const QVariant& sollecito2,
            const QVariant& sollecito3);

// The stage of one row of a result, or of the current row of a list.
Fase faseRiga(const sz::db::Result& rows, int row);
Fase faseCorrente(const sz::db::Dataset& list);

// The stage column to write for a row, empty once all four are filled.
QString CheckComunicazione(Fase fase);
// The letter kind of a row.
QString CheckTipologia(Fase fase);

// Statements of the lists. Every one binds :Oggi (today's date); the per-client list of
// one client binds :Cliente too. A credit is due when it is open, not paid, has a
// residual above zero, its payment mode has a threshold row whose value for the credit's
// stage is reached and whose days between letters have passed since its latest letter,
// and neither it nor its client is suspended on that day.
extern const QString SqlParametri;
QString sqlCreditiPerDocumento();
QString sqlCreditiPerCliente(bool unCliente);
QString sqlListaClienti();
// The credits of one letter, by ID, in due-date then document-number order.
QString sqlLettera(const QList<qint64>& ids);
sz::db::Params parametriLista(const QDate& oggi, const QString& cliente = QString());

// The columns both lists show, in order: field and title.
const QList<QPair<QString, QString>>& colonneLista();
// The firm counts late-payment interest: the lists carry "Interessi" and "Totale dovuto"
// beside the other amounts, and the search box looks in them too.
extern bool GConInteressi;
// colonneLista(), with the two interest columns while GConInteressi.
QList<QPair<QString, QString>> colonneGriglia();
// A list's rows as a table to export: the columns and titles of colonneLista, amounts as
// amounts and dates as dates.
sz::esporta::Tabella tabellaLista(const sz::db::Result& lista);

// The names of the clients with at least one credit due, alphabetical.
QStringList LoadComboClienti(sz::db::Connection& conn, const QDate& oggi);

// The credits that would be due today but for a suspension of their own or their client's.
int contaSospesi(sz::db::Connection& conn, const QDate& oggi);

// ---- templates of a run ----------------------------------------------------------------

// A template with nothing to say: missing, or subject, introduction and closing all blank.
bool modelloVuoto(sz::db::Connection& conn, const QString& tipologia);
// The label a clerk knows a template by: "2° SOLLECITO" for "SOLLECITO2", "GENERICA" as it is.
QString etichettaModello(const QString& tipologia);
struct ModelloVuoto
{
    QString tipologia;  // "PREAVVISO" ... "IN SOFFERENZA", or "GENERICA"
    QList<qint64> ids;  // the credits of the run whose letter would use it, in run order
};
// The empty templates the letters of these credits would be printed with, in stage order:
// per document each credit's stage template, per client the generic one for all.
QList<ModelloVuoto> modelliVuoti(sz::db::Connection& conn, const QList<qint64>& ids, bool perCliente);

// ---- record filter of the per-document list ----------------------------------------

// The three clauses, each empty while its control filters nothing.
extern QString GFiltroStato;
extern QString GFiltroScadenza;
extern QString GFiltroEdit;

// The stage radio items, in the order of the bar.
enum class FiltroFase { Preavviso, Sollecito1, Sollecito2, Sollecito3, Tutti };
QString clausolaFase(FiltroFase filtro);
QString clausolaScadenza(const QString& maskedText);
QString clausolaTesto(const QString& text);
QString GestisciFiltro(const QString& boxText);

// ---- colours -------------------------------------------------------------------------

enum class Evidenza { Nessuna, Allarme, Incassato };
// A bad debt (Sollecito3 filled) is alarm red in every column; otherwise the residual
// column is red while something is due and the collected column green when all came in.
Evidenza evidenzaCella(const QString& field, const QVariant& importo, const QVariant& incassato,
                       const QVariant& residuo, const QVariant& sollecito3);

// ---- grouping of a per-client selection ----------------------------------------------

struct Selezionato
{
    qint64 id = 0;
    QString cliente;
};
struct GruppoCliente
{
    QString cliente; // trimmed
    QList<qint64> ids; // in selection order
};
// One letter per client of the selection, clients in alphabetical order (the database's
// text order, case ignored). Every selected row belongs to exactly one group.
QList<GruppoCliente> raggruppaPerCliente(const QList<Selezionato>& selezione);
// One client chosen: every selected row, under the client of the last one.
GruppoCliente gruppoUnico(const QList<Selezionato>& selezione);

// IDs as given on a command line: separate arguments and/or joined by commas. Throws
// sz::Error naming the first text that is not an ID.
QList<qint64> leggiId(const QStringList& arguments);

} // namespace sz::dunning
