#include "CliImport.h"

#include "FattureElettroniche.h"
#include "ImportazioneLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"

#include <QFileInfo>

#include <exception>
#include <new>

namespace sz::cli {

using namespace sz::importazione;

namespace {

const QString uso = QStringLiteral("Uso:\n"
                                   "  scadenzio-cli import clients|invoices FILE [--delimiter "
                                   "';'|','|tab|CARATTERE] [--map CAMPO=INTESTAZIONE ...]\n"
                                   "  scadenzio-cli import invoices FATTURA.xml|.p7m|.zip ...\n"
                                   "  scadenzio-cli import restore");

// The delimiter as the settings save it.
QString delimitatoreSalvato(const QString& arg)
{
    if (arg == QLatin1String(";")) return QStringLiteral("Punto e virgola");
    if (arg == QLatin1String(",")) return QStringLiteral("Virgola");
    if (arg == QLatin1String("tab") || arg == QLatin1String("\t")) return QStringLiteral("Tabulazione");
    return arg;
}

// The lines of one run: the files and documents left out at loading, then the rows the
// rules refused; the count line and what the run added to the registers; the exit code
// (0 all written, 1 some left out, 2 stopped).
int esci(Tipo tipo, const Griglia& griglia, const QStringList& scartati, const Esito& esito, const Output& io)
{
    for (const QString& riga : scartati)
        io.err(riga);
    for (const QString& riga : esito.errori)
        io.err(riga);
    const int scartate = std::max(0, griglia.righe() - 1) - esito.scritte;
    io.out(QStringLiteral("Importazione %1: %2 righe importate, %3 scartate.\n")
               .arg(tipo == Tipo::Clienti ? QStringLiteral("Clienti") : QStringLiteral("Documenti"))
               .arg(esito.scritte)
               .arg((esito.guasto.isEmpty() ? scartate : int(esito.errori.size())) + int(scartati.size())));
    for (const QString& riga : esito.avvisi)
        io.out(riga + QLatin1Char('\n'));
    if (!esito.guasto.isEmpty()) {
        io.err(commonErrorMessage(esito.guasto));
        return 2;
    }
    return esito.errori.isEmpty() && scartati.isEmpty() ? 0 : 1;
}

// Electronic invoices need no mapping: the grid's header is fixed. The saved mapping of
// the other document files is left as it is, and so is their delimiter.
int importaFatture(const QStringList& file, const Output& io)
{
    db::Connection conn(paths::LoadConnection());
    const Caricamento caricato = caricaFattureElettroniche(conn, file);
    const Griglia& griglia = caricato.griglia;
    copiaDiSicurezza(conn, paths::dataRoot());
    const Impostazione salvata = CaricaImpostazione(conn, Tipo::Fatture);
    SalvaImpostazione(conn, Tipo::Fatture, didascalia(TipoFile::Fattura),
                      salvata.trovata ? salvata.delimitatore : QStringLiteral("Punto e virgola"));
    Colonne colonne = risolviColonne(griglia, Tipo::Fatture, scelteFatturaElettronica());
    aggiungiAnagrafica(colonne, griglia);
    const std::atomic<bool> annulla{false};
    const Esito esito = importa(conn, Tipo::Fatture, griglia, colonne, annulla);
    return esci(Tipo::Fatture, griglia, caricato.scartati, esito, io);
}

int importaFile(Tipo tipo, const QStringList& args, const Output& io)
{
    QStringList file;
    QString delimitatore;
    bool conMappa = false;
    Scelte mappa;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--delimiter") && i + 1 < args.size()) {
            delimitatore = delimitatoreSalvato(args[++i]);
            if (delimitatore.size() != 1 && carattereDelimitatore(delimitatore).isNull()) {
                io.err(QStringLiteral("ATTENZIONE: il delimitatore deve essere un solo carattere."));
                return 2;
            }
        } else if (a == QLatin1String("--map") && i + 1 < args.size()) {
            const QString m = args[++i];
            const qsizetype uguale = m.indexOf(QLatin1Char('='));
            bool noto = false;
            for (const Campo& c : campi(tipo))
                noto = noto || (uguale > 0 && c.mappatura == m.left(uguale));
            if (!noto) {
                QStringList nomi;
                for (const Campo& c : campi(tipo))
                    nomi << c.mappatura;
                io.err(QStringLiteral("ATTENZIONE: \"%1\" non è CAMPO=INTESTAZIONE con CAMPO tra: %2.")
                           .arg(m, nomi.join(QStringLiteral(", "))));
                return 2;
            }
            mappa.insert(m.left(uguale), m.mid(uguale + 1).toUpper().trimmed());
            conMappa = true;
        } else if (!a.startsWith(QLatin1String("--"))) {
            file << a;
        } else {
            io.err(uso);
            return 2;
        }
    }
    if (file.isEmpty()) {
        io.err(uso);
        return 2;
    }
    for (const QString& f : file)
        if (!QFileInfo(f).isFile()) {
            io.err(QStringLiteral("ATTENZIONE: il file da importare risulta mancante."));
            return 2;
        }
    QList<TipoFile> tipi;
    for (const QString& f : file) {
        const std::optional<TipoFile> t = tipoFileDi(f);
        if (!t || (*t == TipoFile::Fattura && tipo == Tipo::Clienti)) {
            io.err(tipo == Tipo::Clienti
                       ? QStringLiteral("ATTENZIONE: si importano file .csv, .txt, .xls, .xlsx e .ods.")
                       : QStringLiteral("ATTENZIONE: si importano file .csv, .txt, .xls, .xlsx, .ods e fatture "
                                        "elettroniche .xml, .p7m e .zip."));
            return 2;
        }
        tipi << *t;
    }
    if (tipi.contains(TipoFile::Fattura)) {
        if (tipi.count(TipoFile::Fattura) != tipi.size() || conMappa || !delimitatore.isEmpty()) {
            io.err(QStringLiteral("ATTENZIONE: le fatture elettroniche si importano da sole, senza --map né "
                                  "--delimiter."));
            return 2;
        }
        return importaFatture(file, io);
    }
    if (file.size() > 1) {
        io.err(uso);
        return 2;
    }
    const std::optional<TipoFile> tipoFile = tipi.first();

    db::Connection conn(paths::LoadConnection());
    const Impostazione salvata = CaricaImpostazione(conn, tipo);
    if (*tipoFile == TipoFile::Foglio)
        delimitatore.clear();
    else if (delimitatore.isEmpty())
        delimitatore = salvata.trovata && !salvata.delimitatore.isEmpty() ? salvata.delimitatore
                                                                          : QStringLiteral("Punto e virgola");
    if (!conMappa) mappa = CaricaMappatura(conn, tipo);

    const Caricamento caricato = caricaFile(file.first(), *tipoFile, carattereDelimitatore(delimitatore));
    // Cells the reader cannot read: said first, and every row that maps one is refused
    // with its own line, so a script never takes the run for a complete import.
    if (!caricato.avviso.isEmpty()) io.err(QStringLiteral("ATTENZIONE: ") + caricato.avviso);
    const Griglia& griglia = caricato.griglia;
    // The copy first: without it the clerk could not go back, so no copy, no import.
    copiaDiSicurezza(conn, paths::dataRoot());
    SalvaImpostazione(conn, tipo, didascalia(*tipoFile), delimitatore);
    SalvaMappatura(conn, tipo, mappa);
    const std::atomic<bool> annulla{false};
    const Esito esito = importa(conn, tipo, griglia, risolviColonne(griglia, tipo, mappa), annulla);
    const int codice = esci(tipo, griglia, {}, esito, io);
    return codice == 0 && !caricato.avviso.isEmpty() ? 1 : codice;
}

} // namespace

int runImport(const QStringList& args, const Output& io)
{
    try {
        if (args.size() >= 2 && args.first() == QLatin1String("clients"))
            return importaFile(Tipo::Clienti, args.mid(1), io);
        if (args.size() >= 2 && args.first() == QLatin1String("invoices"))
            return importaFile(Tipo::Fatture, args.mid(1), io);
        if (args.size() == 1 && args.first() == QLatin1String("restore")) {
            db::Connection conn(paths::LoadConnection());
            ripristina(conn, paths::dataRoot());
            io.out(QStringLiteral("Ripristino del sistema effettuato correttamente.\n"));
            return 0;
        }
        io.err(uso);
        return 2;
    } catch (const Error& e) {
        io.err(commonErrorMessage(e.message()));
        return 2;
    } catch (const std::bad_alloc&) {
        io.err(commonErrorMessage(
            QStringLiteral("il file è troppo grande o danneggiato: la memoria non basta per leggerlo")));
        return 2;
    } catch (const std::exception& e) {
        io.err(commonErrorMessage(QStringLiteral("il file è troppo grande o danneggiato: ") +
                                  QString::fromLocal8Bit(e.what())));
        return 2;
    }
}

} // namespace sz::cli
