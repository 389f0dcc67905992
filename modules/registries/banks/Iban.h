#pragma once

#include <QString>

namespace sz::banks {

// The IBAN as stored: capitals, no blanks (the printed form groups it by four).
QString normalizeIban(const QString& text);

// ISO 13616: two-letter country, two check digits, letters and digits only, the
// country's length where we know it (15 to 34 otherwise) and the mod-97 check.
// Blanks and lower case are accepted: the text is normalised first.
bool isValidIban(const QString& text);

} // namespace sz::banks
