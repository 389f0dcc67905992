#pragma once

#include <QString>
#include <QStringList>

// Mail addresses as the firm's records hold them: one plain "local@domain" each, several in
// one field separated by ";" or ",". Every address bound for the SMTP envelope passes here
// first, because a line break in one of them would become a command of its own.
namespace sz::mail {

// True for a plain "local@domain": no display name, no control character (C0, DEL, C1,
// U+2028/U+2029), no blank, none of <>",;()[]\ outside a quoted local part, and within
// the lengths SMTP allows (64 for the local part, 254 in all).
bool indirizzoValido(const QString& indirizzo);

// The addresses of one field, split on ";" and ",", each stripped of surrounding spaces
// (only U+0020: a line break stays, to be refused), empty ones dropped.
QStringList dividiIndirizzi(const QString& campo);

// True when the text holds a control character (C0, DEL, C1, U+2028/U+2029).
bool haCaratteriControllo(const QString& testo);

// The text with every control character made visible: C0 and DEL as their control pictures
// (CR "␍", LF "␊", TAB "␉", NUL "␀", DEL "␡"), any other as "<U+0085>".
QString caratteriVisibili(const QString& testo);

// The firm's own address as the sender of its mails: empty when it can be, otherwise
// why not, as a clause for a message ("la mail della società non è impostata (…)").
// Only the spaces around it are forgiven: never a null sender, never an empty From:.
QString problemaMittente(const QString& mailSocieta);

// The refusal of a form's mail field that holds a control character (a line break pasted
// with it, say), naming the field and showing the text; empty when it holds none.
QString campoMailNonAmmesso(const QString& campo, const QString& valore);

} // namespace sz::mail
