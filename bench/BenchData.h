#pragma once

#include "scadenzio/Database.h"

// A realistic book of credits: 700 clients, one to three due dates per document, a little
// over half of them collected, a third of the open ones already reminded.

// The t_crediti table as the installation creates it, for a bare database.
extern const char* const creaCrediti;
// Writes `righe` credit rows into t_crediti in one transaction; the same seed every time.
void riempiCrediti(sz::db::Connection& conn, int righe);
