#pragma once

#include <QString>

// The rules of the payment-mode thresholds that need no window.
namespace sz::params {

// What a new mode starts from: a notice five days before the due date, then reminders.
constexpr int PropostaPreavviso = -5;
constexpr int PropostaSollecito1 = 5;
constexpr int PropostaSollecito2 = 15;
constexpr int PropostaSollecito3 = 30;

// The record filter for a text typed in "Filtra:"; empty text means no filter.
QString filtroModalita(const QString& testo);

} // namespace sz::params
