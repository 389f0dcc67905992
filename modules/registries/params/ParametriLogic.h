#pragma once

#include <QString>

// The rules of the payment-mode thresholds that need no window.
namespace sz::params {

// What a new mode starts from: a notice five days before the due date, then reminders.
constexpr int PropostaPreavviso = -5;
constexpr int PropostaSollecito1 = 5;
constexpr int PropostaSollecito2 = 15;
constexpr int PropostaSollecito3 = 30;
// No spacing between letters unless the firm asks for it: the thresholds alone decide.
constexpr int PropostaGiorniTraSolleciti = 0;
constexpr int MassimoGiorniTraSolleciti = 365;

// The list statement: every column of the table, and the spacing as the list shows it, an
// empty one (rows written before it existed) as 0. It is a column of its own so that a
// save compares the stored value, not the one shown, with what another window wrote.
extern const QString sqlParametri;
constexpr const char* campoGiorniMostrati = "GiorniTraSollecitiMostrati";

// The record filter for a text typed in "Filtra:"; empty text means no filter.
QString filtroModalita(const QString& testo);

} // namespace sz::params
