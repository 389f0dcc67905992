#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Money.h"

#include <QList>
#include <QVariant>
#include <optional>

// What the client's chart shows, computed without any widget so it can be checked
// against the database directly.
namespace clienti {

// A sum over no rows stays empty: the chart then shows no amount rather than 0.
struct FigureCliente
{
    std::optional<sz::Money> totaleFatture; // every row of the client
    std::optional<sz::Money> totaleCrediti; // open rows: Importo
    std::optional<sz::Money> daIncassare;   // open rows: Residuo
    std::optional<sz::Money> incassati;     // open rows: Incassato

    bool vuota() const { return !totaleFatture && !totaleCrediti && !daIncassare && !incassati; }
};

// ragioneSociale null (a row not yet saved) matches nothing. anno empty: all years.
FigureCliente calcolaFigure(sz::db::Connection& conn, const QVariant& ragioneSociale, std::optional<int> anno);

// Years that have at least one invoice, most recent first.
QList<int> anniFatture(sz::db::Connection& conn);

} // namespace clienti
