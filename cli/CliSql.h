#pragma once

#include "scadenzio/Database.h"

#include <QString>
#include <QStringList>

namespace sz::cli {

// "Name=value" binds text; "Name:int=5", "Name:money=12,50", "Name:date=31/12/2026",
// "Name:null=" bind typed values. Throws sz::Error on a malformed argument.
db::Params parseParams(const QStringList& args);

// One result as text: a header of column names, then one line per row, fields
// separated by a tab; NULL empty, dates dd/mm/yyyy, amounts in euros with a decimal
// comma (computed amounts too, once SqlAmounts::toEuros has typed them).
QString formatResult(const db::Result& r);

QString formatField(const QVariant& v);

} // namespace sz::cli
