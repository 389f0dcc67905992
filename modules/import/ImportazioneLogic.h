#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/sheets/Delimited.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

// Importing clients and issued documents from files other programs wrote.
namespace sz::importazione {

enum class Tipo { Clienti, Fatture };
// The word the saved settings name a kind by: "Clienti", "Fatture".
QString letterale(Tipo tipo);

// One target field of a kind.
struct Campo
{
    QString didascalia; // caption on the preview page
    QString lista;      // objectName of its drop-down list
    QString mappatura;  // column of the saved mapping
    QString oggetto;    // the object phrase of its hint
    bool obbligatorio = false;
};
const QList<Campo>& campi(Tipo tipo);
QString suggerimento(const Campo& campo);

// The preview grid as every later step reads it: row 0 the header, column 0 the row
// numbers (empty in row 0), every other cell upper case and trimmed. Rows keep the width
// the file gave them (a file of one wide row and many short ones must not cost rows
// times columns); colonne is the widest, and a cell past a row's end is empty.
struct Griglia
{
    QList<QStringList> celle;
    int colonne = 0;
    // Cells the reader could not read (an .xls formula without its value): grid row ->
    // grid columns. Shown empty, never imported as empty.
    QHash<int, QList<int>> illeggibili;
    int righe() const { return int(celle.size()); }
    QString cella(int riga, int colonna) const;
    bool leggibile(int riga, int colonna) const;
};
// minimoColonne: a text file never narrows a grid the frame already shows wider.
Griglia grigliaDa(const sheets::Rows& righe, int minimoColonne = 0);
// The same, taking the reader's rows over instead of copying them.
Griglia grigliaDa(sheets::Rows&& righe, int minimoColonne = 0);

// The file types of the settings, by their saved captions.
enum class TipoFile { Csv, Txt, Foglio, Fattura };
// ".csv", ".txt", ".xls .xlsx", "Fattura elettronica (.xml .p7m .zip)"
QString didascalia(TipoFile tipo);
// The file type a file's name asks for, or nullopt for an extension no reader takes.
std::optional<TipoFile> tipoFileDi(const QString& file);

struct Caricamento
{
    Griglia griglia;
    QString avviso; // cells the reader could not read (see sheets::Foglio)
    // Electronic invoices: the files and documents left out, one line each, shown with
    // the errors of the run; and whether the grid is one of electronic invoices.
    QStringList scartati;
    bool elettronica = false;
};
// Reads a file into the preview grid: delimited text split by delimitatore, or the first
// sheet of a spreadsheet. A text file never narrows the grid below minimoColonne; a
// spreadsheet sets the width exactly. Throws sz::Error with the reader's message.
// Electronic invoices are read by caricaFattureElettroniche (FattureElettroniche.h).
Caricamento caricaFile(const QString& file, TipoFile tipo, QChar delimitatore, int minimoColonne = 0);

// ---- saved settings and mapping --------------------------------------------------------

// "Punto e virgola", "Virgola", "Tabulazione" or the character itself.
QChar carattereDelimitatore(const QString& testo);

struct Impostazione
{
    bool trovata = false;
    QString estensione;   // ".csv", ".txt", ".xls .xlsx"
    QString delimitatore; // as saved: empty for spreadsheets
};
Impostazione CaricaImpostazione(sz::db::Connection& conn, Tipo tipo);
void SalvaImpostazione(sz::db::Connection& conn, Tipo tipo, const QString& estensione,
                       const QString& delimitatore);

// Field (mapping column) -> the header text chosen for it.
using Scelte = QHash<QString, QString>;
Scelte CaricaMappatura(sz::db::Connection& conn, Tipo tipo);
void SalvaMappatura(sz::db::Connection& conn, Tipo tipo, const Scelte& scelte);

// Field -> grid column (1 or more), or -1 when not mapped: the last column that has a
// cell equal to the chosen text (letter case ignored), in any row.
using Colonne = QHash<QString, int>;
Colonne risolviColonne(const Griglia& griglia, Tipo tipo, const Scelte& scelte);

// ---- control characters ----------------------------------------------------------------

// A control character (C0, DEL, C1) or a bidirectional embedding, override or isolate
// (U+202A-U+202E, U+2066-U+2069).
bool controllo(QChar c);
bool haControlli(const QString& testo);
// The text without control characters. A line break (CR, LF, CR LF, U+2028, U+2029)
// stays as LF in a multi-line field (multiriga) and becomes a blank elsewhere, as does a
// tab; every other control character is dropped.
QString senzaControlli(const QString& testo, bool multiriga);
// The text with its control characters made visible for messages: CR, LF, tab, NUL and
// DEL as their control pictures (U+240D…), any other as "<U+001B>".
QString visibile(const QString& testo);

// An IBAN as the register compares it: blanks, dots and dashes out, upper case.
QString ibanNormalizzato(const QString& iban);
// The shape of an IBAN: two letters, two digits, 11 to 30 letters or digits.
bool ibanPlausibile(const QString& iban);

// ---- the run ---------------------------------------------------------------------------

// The text checks of documents: dates dd/mm/yyyy; amounts whose digits, once full stops
// and commas are out, are a signed 32-bit integer.
bool dataValida(const QString& testo);
bool importoValido(const QString& testo);

struct Esito
{
    QStringList errori; // "RIGA n: …", in row order
    int scritte = 0;    // rows written (kept in the database)
    bool annullata = false;
    QString guasto; // the failure that ended the run early, or empty
    // What the run added besides its rows (banks of electronic invoices), one line each,
    // for its summary.
    QStringList avvisi;
};

// Called after each row with the rows done so far and the total (rows after the header).
using Avanzamento = std::function<void(int fatte, int totale)>;

// Imports every row after the header. Rows are written in transactions of many rows; a
// value the database refuses (a text too long for its column, a missing required value)
// undoes that row whole (its batch is rolled back and run again row by row, each row in a
// savepoint of its own) and is its "RIGA n:" line;
// any other failure at row n stops the run and keeps rows 1 to n-1 where the disk allows
// (a full disk loses the batch it could not write; guasto says how many rows were
// written). A row whose mapped cell could not be read is refused. annulla is read before
// each row.
Esito importa(sz::db::Connection& conn, Tipo tipo, const Griglia& griglia, const Colonne& colonne,
              const std::atomic<bool>& annulla, const Avanzamento& avanzamento = {});

// The safety copy of the database in use, taken before every import, and its restore
// into the database in use (every open connection sees the restored data).
QString percorsoCopia(const QString& dataRoot);
void copiaDiSicurezza(sz::db::Connection& conn, const QString& dataRoot);
void ripristina(sz::db::Connection& conn, const QString& dataRoot);

} // namespace sz::importazione
