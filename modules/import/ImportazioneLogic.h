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
// numbers (empty in row 0), every other cell upper case and trimmed; all rows as wide
// as the widest.
struct Griglia
{
    QList<QStringList> celle;
    int colonne = 0;
    int righe() const { return int(celle.size()); }
    QString cella(int riga, int colonna) const;
};
// minimoColonne: a text file never narrows a grid the frame already shows wider.
Griglia grigliaDa(const sheets::Rows& righe, int minimoColonne = 0);

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

// ---- the run ---------------------------------------------------------------------------

// The text checks of documents: dates dd/mm/yyyy; amounts whose digits, once full stops
// and commas are out, are a signed 32-bit integer.
bool dataValida(const QString& testo);
bool importoValido(const QString& testo);

struct Esito
{
    QStringList errori; // "RIGA n: …", in row order
    int scritte = 0;    // rows written
    bool annullata = false;
    QString guasto; // the failure that ended the run early, or empty
};

// Called after each row with the rows done so far and the total (rows after the header).
using Avanzamento = std::function<void(int fatte, int totale)>;

// Imports every row after the header. Rows are written in transactions of many rows,
// each row in a savepoint of its own: a failure at row n keeps rows 1 to n-1. annulla is
// read before each row.
Esito importa(sz::db::Connection& conn, Tipo tipo, const Griglia& griglia, const Colonne& colonne,
              const std::atomic<bool>& annulla, const Avanzamento& avanzamento = {});

// The safety copy of the database in use, taken before every import, and its restore
// into the database in use (every open connection sees the restored data).
QString percorsoCopia(const QString& dataRoot);
void copiaDiSicurezza(sz::db::Connection& conn, const QString& dataRoot);
void ripristina(sz::db::Connection& conn, const QString& dataRoot);

} // namespace sz::importazione
