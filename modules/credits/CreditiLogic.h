#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Sospensione.h"
#include "scadenzio/Money.h"

#include <QDate>
#include <QVariant>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The rules of the credit register that do not need a window: the list filter,
// the paid flag, the residual, the collection history, the document-wide state and
// total, and which issued stage may be taken back. The frame only wires them to its
// controls; tests and the benchmark call them directly.
namespace sz::credits {

// The clauses of the list filter, each empty while its control filters nothing.
extern QString GFiltroStato;
extern QString GFiltroScadenza;
extern QString GFiltroEdit;
extern QString GFiltroSospesi;
void azzeraFiltri();
// The firm counts late-payment interest: the list carries "Interessi" and "Totale dovuto",
// and the search box looks in them too.
extern bool GConInteressi;

inline const QString StatoAperta = QStringLiteral("APERTA");
inline const QString StatoChiusa = QStringLiteral("CHIUSA");

enum class SceltaStato { Aperti, Chiusi, Tutti };

// '%text%' as a quoted literal of the record filter, inner quotes doubled.
QString testoLike(const QString& text);
QString clausolaStato(SceltaStato scelta);
// The due-date clause from the date box as shown; a date not fully typed gives none.
QString clausolaScadenza(const QString& maskedText);
QString clausolaTesto(const QString& text);
// "Solo sospesi": the rows whose "Sospensione" column says anything.
QString clausolaSospesi(bool soloSospesi);
// The record filter of the list from its clauses; boxText is the search box's text,
// whose like alternatives are distributed over the other clauses because the record
// filter cannot AND an OR group.
QString componiFiltro(const QString& stato, const QString& scadenza, const QString& testo,
                      const QString& boxText, const QString& sospesi = QString());

// An empty amount counts as zero.
Money residuo(const std::optional<Money>& importo, const std::optional<Money>& incassato);
// "SI", "NO" or "PARZ."; attuale is kept when none of the rules applies.
QString statoPagamento(const std::optional<Money>& importo, const std::optional<Money>& incassato,
                       const QString& attuale);
// The text of the "Incassato il:" box while the collected amount is being typed.
QString storicoIncassi(const QString& storicoSalvato, const std::optional<Money>& incassatoSalvato,
                       const std::optional<Money>& incassatoOra, const QString& testoIncassato,
                       const QDate& oggi);

// CAP + " " + Localita + " (" + Provincia + ")"; empty when all three are.
QString localitaProv(const QString& cap, const QString& localita, const QString& provincia);

// What the two painted columns of the list point out: an amount still due, or a row
// collected in full. The frame chooses the colours.
enum class Evidenza { Nessuna, ResiduoAperto, Incassato, Incoerente };
Evidenza evidenzaCella(const QString& field, const QVariant& importo, const QVariant& incassato,
                       const QVariant& residuo);
// The same, and a residual of zero or less on a row not marked paid is pointed out as
// inconsistent before anything else.
Evidenza evidenzaCella(const QString& field, const QVariant& importo, const QVariant& incassato,
                       const QVariant& residuo, const QVariant& pagato);

// Nothing left to collect and yet not paid: the dunning never takes such a row, and the
// clerk is the one who can say which of the two is wrong. An empty residual counts as zero.
bool residuoIncoerente(const QVariant& residuo, const QVariant& pagato);
extern const QString AvvisoIncoerente;

using sz::sospensione::sospensioneInVigore;
// What the "Sospensione" column shows for a suspension in force, the client's or the
// row's own: "SOSPESO", "SOSPESO fino al dd/mm/yyyy", "SOSPESO (cliente) ...".
QString testoSospensione(const QDate& fino, bool delCliente);
// The label of a dunning stage keyword ("SOLLECITO1" is "1° SOLLECITO").
QString etichettaFase(const QString& fase);

// Dunning stages as the edit page shows them, first to last.
inline const std::array<QString, 4> ColonneFasi = {QStringLiteral("Preavviso"), QStringLiteral("Sollecito1"),
                                                   QStringLiteral("Sollecito2"),
                                                   QStringLiteral("Sollecito3")};
// A stage field holds a date when its text reads as dd/mm/yyyy.
bool contieneData(const QString& maskedText);
// The only stage whose issue may be taken back: the latest that holds a date; -1 for none.
int faseAnnullabile(const std::array<bool, 4>& conData);

// Statements of the register. A document is selected by number and date, both bound.
// The register, with the two columns of its suspension in force (the row's own, else its
// client's), judged on the day given by parametriElenco().
extern const QString SqlCrediti;
sz::db::Params parametriElenco(const QDate& oggi);
extern const QString SqlClienti;
extern const QString SqlBanche;
extern const QString SqlParametri;
extern const QString SqlScadenze;
sz::db::Params parametriDocumento(const QString& numero, const QDate& data);

// Writes the state to every row of the document and the sum of their amounts as
// their total. Runs inside the caller's transaction, so that the row just written,
// the state and the total are kept or lost together.
void aggiornaDocumento(sz::db::Connection& conn, const QString& numero, const QDate& data,
                       const QString& stato);

} // namespace sz::credits
