#pragma once

#include "scadenzio/Money.h"

#include <optional>

namespace sz::db {
class Connection;
}

namespace sz::stats {

// The open credit of the whole register. A figure is empty when no open row holds
// an amount for it: the chart then shows nothing rather than a misleading zero.
struct CreditTotals
{
    std::optional<Money> totaleCrediti; // SUM(Importo) of the open rows
    std::optional<Money> incassati;     // SUM(Incassato) of the open rows
    std::optional<Money> daIncassare;   // SUM(Residuo) of the open rows
};

// Closed documents count in none of the three.
CreditTotals readCreditTotals(db::Connection& conn);

} // namespace sz::stats
