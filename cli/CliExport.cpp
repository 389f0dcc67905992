#include "CliExport.h"

#include "scadenzio/Error.h"

#include <QFileInfo>

namespace sz::cli {

namespace {

// "--xlsx FILE" or "--xlsx=FILE" at position i; the file, or nothing when args[i] is
// another option.
bool leggiOpzione(QStringList& args, int& i, const QString& nome, QString& file)
{
    const QString& a = args[i];
    QString valore;
    if (a == nome) {
        if (i + 1 >= args.size() || args[i + 1].isEmpty() || args[i + 1].startsWith(QLatin1String("--")))
            throw Error(QStringLiteral("L'opzione %1 richiede il nome del file da scrivere.").arg(nome));
        valore = args[i + 1];
        args.removeAt(i + 1);
        args.removeAt(i);
    } else if (a.startsWith(nome + QLatin1Char('='))) {
        valore = a.mid(nome.size() + 1);
        if (valore.isEmpty())
            throw Error(QStringLiteral("L'opzione %1 richiede il nome del file da scrivere.").arg(nome));
        args.removeAt(i);
    } else {
        return false;
    }
    if (!file.isEmpty()) throw Error(QStringLiteral("L'opzione %1 è data più di una volta.").arg(nome));
    file = valore;
    return true;
}

} // namespace

Esportazione leggiEsportazione(QStringList& args)
{
    Esportazione e;
    for (int i = 0; i < args.size();) {
        // Past "--" everything is an argument, even a name that looks like an option.
        if (args[i] == QLatin1String("--")) break;
        if (leggiOpzione(args, i, QStringLiteral("--xlsx"), e.xlsx) ||
            leggiOpzione(args, i, QStringLiteral("--csv"), e.csv))
            continue;
        ++i;
    }
    if (!e.xlsx.isEmpty() && !e.csv.isEmpty() &&
        QFileInfo(e.xlsx).absoluteFilePath() == QFileInfo(e.csv).absoluteFilePath())
        throw Error(QStringLiteral("Le opzioni --xlsx e --csv indicano lo stesso file \"%1\".").arg(e.xlsx));
    return e;
}

bool esporta(const Esportazione& dove, const sz::esporta::Tabella& tabella, const Output& io)
{
    bool ok = true;
    // The option names the kind of file, whatever its name ends with.
    if (!dove.xlsx.isEmpty()) {
        try {
            sz::esporta::scriviXlsx(dove.xlsx, tabella);
        } catch (const Error& e) {
            io.err(e.message());
            ok = false;
        }
    }
    if (!dove.csv.isEmpty()) {
        try {
            sz::esporta::scriviCsv(dove.csv, tabella);
        } catch (const Error& e) {
            io.err(e.message());
            ok = false;
        }
    }
    return ok;
}

} // namespace sz::cli
