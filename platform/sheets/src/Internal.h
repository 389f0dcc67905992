#pragma once

#include "scadenzio/Error.h"
#include "scadenzio/sheets/Readers.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>
#include <new>
#include <utility>
#include <vector>

struct zip;

// What the three spreadsheet readers share: the block of values being gathered, the
// limits that keep a hostile file from taking the machine, the zip archive of .xlsx and
// .ods, and the messages.
namespace sz::sheets::detail {

// The largest sheet the office programs themselves allow.
constexpr qint64 maxRows = limits::rows;
constexpr qint64 maxColumns = 16384;
// The dense block the preview holds, rows times columns.
constexpr qint64 maxCells = limits::cells;
// One part of an archive, once decompressed; also the largest spreadsheet file read.
constexpr qint64 maxPartBytes = 256ll * 1024 * 1024;

// Thrown when a read has used up its budget: the rest of that read (every other entry
// of a ZIP) is refused with it, not each entry on its own.
class BudgetEsaurito : public Error
{
public:
    using Error::Error;
};

// The budget of one read, kept per thread: the outermost reader call opens it and the
// readers called inside it (an invoice inside a ZIP inside a ZIP) draw on the same one.
class Lettura
{
public:
    // dimensione: the size of the file being read, which widens the decompression budget.
    explicit Lettura(qint64 dimensione);
    ~Lettura();
    Lettura(const Lettura&) = delete;
    Lettura& operator=(const Lettura&) = delete;

    // Counts bytes decompressed from an archive / characters of cell text; throws
    // BudgetEsaurito naming the file once past the budget.
    static void decompressi(qint64 byte, const QString& nome);
    static void testo(qint64 caratteri, const QString& nome);

private:
    Lettura* m_esterna = nullptr;
    qint64 m_limiteDecompressi = 0;
    qint64 m_decompressi = 0;
    qint64 m_testo = 0;
};

// "Impossibile leggere il file ...: il file è troppo grande o danneggiato: ...", for an
// allocation failure or another exception from inside a reader or a library under it.
[[noreturn]] void fuoriControllo(const QString& nome, const QString& causa);

// Runs one reader call within a budget, so that nothing it throws but sz::Error leaves it.
template <class F>
auto protetto(const QString& nome, qint64 dimensione, F&& f) -> decltype(f())
{
    Lettura lettura(dimensione);
    try {
        return f();
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        fuoriControllo(nome, QStringLiteral("la memoria non basta per leggerlo"));
    } catch (const std::exception& e) {
        fuoriControllo(nome, QStringLiteral("errore interno (%1)").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        fuoriControllo(nome, QStringLiteral("errore interno"));
    }
}

// The XML has a document type declaration (and so could declare entities that expand a
// few bytes into gigabytes). Reads only the prolog, up to the root element. None of the
// formats read here uses one, so such a file is refused before its content is parsed.
bool haDtd(const QByteArray& xml);

// Italian number with thousands separators, for the limits named in messages.
QString numero(qint64 n);
// The grid passed one of the limits: the columns, or the cells (rows times columns).
[[noreturn]] void troppeColonne(const QString& nome, qint64 riga, qint64 colonne);
[[noreturn]] void troppeCelle(const QString& nome, qint64 righe, qint64 colonne);
[[noreturn]] void cellaTroppoLunga(const QString& nome, qint64 riga, qint64 colonna);

[[noreturn]] void notASpreadsheet(const QString& nome);
[[noreturn]] void damaged(const QString& nome, const QString& dettaglio = QString());
[[noreturn]] void passwordProtected(const QString& nome);
[[noreturn]] void tooBig(const QString& nome, qint64 righe, qint64 colonne);

// The values of one sheet by position, gathered in any order and made into the dense
// block from A1 at the end.
class Blocco
{
public:
    explicit Blocco(QString nome) : m_nome(std::move(nome)) {}
    // row and column from 0; an empty text is not a value and widens nothing.
    void set(qint64 riga, qint64 colonna, const QString& testo);
    // Why a cell could not be read: a formula saved without its result, an error value
    // (#DIV/0!, #N/D), or anything else (a reference to a shared string that is not
    // there, a typed value without its value).
    enum Motivo { Formula, Errore, Mancante };
    // The cell stays empty and is named in avviso; the import refuses the rows that map it.
    void illeggibile(qint64 riga, qint64 colonna, Motivo motivo);
    void illeggibile(qint64 riga, qint64 colonna, bool formula = true)
    {
        illeggibile(riga, colonna, formula ? Formula : Mancante);
    }
    Foglio finish();
    const QString& nome() const { return m_nome; }

private:
    struct Cella
    {
        qint64 riga;
        qint64 colonna;
        QString testo;
    };
    struct Illeggibile
    {
        qint64 riga;
        qint64 colonna;
        Motivo motivo;
    };
    QString m_nome;
    std::vector<Cella> m_celle;
    std::vector<Illeggibile> m_illeggibili;
    void allarga(qint64 riga, qint64 colonna);
    qint64 m_righe = 0;
    qint64 m_colonne = 0;
};

// What a cell's number format makes of a number, as far as an import cares: a date, a
// whole number padded with zeros to a width (a CAP 184 in "00000" is "00184"), or a
// plain number.
struct FormatoNumero
{
    bool data = false;
    // A date format with a time in it; without one the office programs show the day
    // alone, whatever time the value holds.
    bool ora = false;
    int zeri = 0; // the width, when the format is a bare run of zeros
    // A yes/no result, as the office programs format a logical formula saved to a format
    // without a boolean type ("VERO";"VERO";"FALSO"): shown as the boolean.
    bool logico = false;
};
// From a format code as .xls and .xlsx store it ("dd/mm/yyyy", "00000", "#,##0.00").
FormatoNumero formatoNumero(QStringView codice);
// The formats built into .xls and .xlsx by number, which the file does not spell out.
FormatoNumero formatoPredefinito(int id);
// The text the office program shows for a number in that format: the date, the padded
// code, or numberText.
QString testoFormattato(double valore, const FormatoNumero& formato, bool date1904);

// A zip archive read from memory.
class Archivio
{
public:
    Archivio(const QByteArray& bytes, const QString& nome);
    ~Archivio();
    Archivio(const Archivio&) = delete;
    Archivio& operator=(const Archivio&) = delete;

    // Part names ignore letter case, as the office formats ask.
    bool has(const QString& parte) const;
    QByteArray read(const QString& parte) const;

    // The entries in directory order, for archives that are a plain collection of files.
    int count() const;
    QString name(int indice) const;
    // Reads one entry; over limite bytes it is too big to be what it claims.
    QByteArray readAt(int indice, qint64 limite = maxPartBytes) const;

private:
    void controllaVoci() const;
    QByteArray m_bytes; // libzip reads it in place
    zip* m_zip = nullptr;
    QString m_nome;
};

Foglio readXlsx(const Archivio& archivio, const QString& nome);
Foglio readOds(const Archivio& archivio, const QString& nome);
Foglio readXls(const QByteArray& bytes, const QString& nome);

} // namespace sz::sheets::detail
