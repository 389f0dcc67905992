#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/report/Letterhead.h"

#include <QDate>
#include <QList>
#include <QString>

// The letter templates, one per kind of letter, and the test letter that previews one.
namespace sz::letters {

struct VoceTipologia
{
    QString voce;      // as the kind list shows it
    QString tipologia; // the key the letters find their template by
};
// The kinds in the order of the list.
const QList<VoceTipologia>& tipologie();
// The key of a kind as the list shows it; empty for a text that is none.
QString tipologiaDi(const QString& voce);

// The text with every line break (CR LF, a lone CR or LF, U+2028, U+2029) as CR LF, the
// form the seeded templates have.
QString acapoCrLf(const QString& testo);

// The tags a user may write in subject, introduction and closing ("{{Interessi}}"), each
// with the line that explains it, in the order the templates frame lists them.
struct CampoTesto
{
    QString tag;         // as written in a text, braces included
    QString spiegazione; // one Italian line
};
const QList<CampoTesto>& campiDisponibili();

// The template of one kind: the statement and its parameter.
QString sqlComunicazione();
sz::db::Params parametriComunicazione(const QString& tipologia);

// The test letter of a kind: the firm writes to itself about a "TEST" document, with
// the texts of the template as last saved. Nothing is written anywhere.
sz::report::Filling anteprima(sz::db::Connection& conn, const QString& tipologia, const QDate& oggi,
                              const QString& dataRoot, const QString& programFolder);
// The same from rows already read: the company (empty when there is none), the saved
// template, the banks (nome, agenzia, IBAN).
sz::report::Filling anteprima(const sz::report::Values& societa, const sz::report::Values& modello,
                              const sz::db::Result& banche, const QDate& oggi, const QString& dataRoot,
                              const QString& programFolder);

} // namespace sz::letters
