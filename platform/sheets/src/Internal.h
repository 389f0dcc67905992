#pragma once

#include "scadenzio/sheets/Readers.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

struct zip;

// What the three spreadsheet readers share: the block of values being gathered, the
// limits that keep a hostile file from taking the machine, the zip archive of .xlsx and
// .ods, and the messages.
namespace sz::sheets::detail {

// The largest sheet the office programs themselves allow.
constexpr qint64 maxRows = 1048576;
constexpr qint64 maxColumns = 16384;
// The dense block the preview holds, rows times columns.
constexpr qint64 maxCells = 12'000'000;
// One part of an archive, once decompressed.
constexpr qint64 maxPartBytes = 512ll * 1024 * 1024;

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
    // A cell that holds something the reader cannot read.
    void illeggibile(qint64 riga, qint64 colonna);
    Foglio finish();
    const QString& nome() const { return m_nome; }

private:
    struct Cella
    {
        qint64 riga;
        qint64 colonna;
        QString testo;
    };
    QString m_nome;
    std::vector<Cella> m_celle;
    std::vector<std::pair<qint64, qint64>> m_illeggibili;
    qint64 m_righe = 0;
    qint64 m_colonne = 0;
};

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
    QByteArray m_bytes; // libzip reads it in place
    zip* m_zip = nullptr;
    QString m_nome;
};

Foglio readXlsx(const Archivio& archivio, const QString& nome);
Foglio readOds(const Archivio& archivio, const QString& nome);
Foglio readXls(const QString& path, const QString& nome);

} // namespace sz::sheets::detail
