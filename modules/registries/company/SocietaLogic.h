#pragma once

#include <QString>

// The rules of the company profile that need no window: where the logo lives, when it
// may be changed, and what a profile needs before it can be saved.
namespace sz::company {

// The company logo the letters and reports print, and the one delivered with the program.
QString companyLogoPath();
QString defaultLogoPath();

// The logo lives on the machine holding the database: a workstation reaching the
// database through a network share must not replace it.
bool logoChangeAllowed(const QString& databasePath);

// The "ATTENZIONE: " message for the first missing field of a profile, empty when the
// profile can be saved.
QString campoMancante(const QString& iva, const QString& ragioneSociale);

} // namespace sz::company
