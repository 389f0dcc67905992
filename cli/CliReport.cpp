#include "CliReport.h"

#include "CliExport.h"
#include "CliSql.h"
#include "ComunicazioniLogic.h"
#include "DocumentiEmessiLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"
#include "scadenzio/report/Report.h"

#include <QDir>
#include <QFileInfo>

namespace sz::cli {

namespace {

const QString usoReport =
    QStringLiteral("Uso:\n"
                   "  scadenzio-cli report issued [--elenco ultime|tutte] [--dal gg/mm/aaaa] [--al gg/mm/aaaa]\n"
                   "                              [--tipo Tutte|Preavviso|Sollecito1|Sollecito2|Sollecito3]\n"
                   "                              [--cliente TESTO] [--pdf FILE] [--xlsx FILE] [--csv FILE]\n"
                   "      --elenco ultime: ogni documento con l'ultima comunicazione (predefinito);\n"
                   "      --elenco tutte: ogni comunicazione registrata, \"IN SOFFERENZA\" compresa");
const QString usoLetters = QStringLiteral(
    "Uso:\n"
    "  scadenzio-cli letters preview TIPOLOGIA --pdf FILE\n"
    "      TIPOLOGIA: PREAVVISO, SOLLECITO1, SOLLECITO2, SOLLECITO3, \"IN SOFFERENZA\" o GENERICA");

// The PDF goes where asked; a relative name is taken from the current folder.
QString percorsoPdf(const QString& file)
{
    return QFileInfo(file).absoluteFilePath();
}

void scriviPdf(const report::Filling& f, const QString& pdf)
{
    report::Project p;
    f.applyTo(p);
    p.setOutputFile(percorsoPdf(pdf));
    p.execute();
    p.close();
}

int documentiEmessi(const QStringList& argomenti, const Output& io)
{
    QStringList args = argomenti;
    const Esportazione file = leggiEsportazione(args);
    issued::Filtro filtro;
    QString pdf;
    bool conElenco = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool conValore = i + 1 < args.size();
        if (a == QLatin1String("--dal") && conValore) {
            filtro.dal = dates::fromDisplay(args[++i]);
            if (!filtro.dal.isValid()) {
                io.err(
                    QStringLiteral("ATTENZIONE: la data \"%1\" di --dal non è una data valida (gg/mm/aaaa).")
                        .arg(args[i]));
                return 2;
            }
        } else if (a == QLatin1String("--al") && conValore) {
            filtro.al = dates::fromDisplay(args[++i]);
            if (!filtro.al.isValid()) {
                io.err(
                    QStringLiteral("ATTENZIONE: la data \"%1\" di --al non è una data valida (gg/mm/aaaa).")
                        .arg(args[i]));
                return 2;
            }
        } else if (a == QLatin1String("--tipo") && conValore) {
            const QString nome = args[++i];
            bool trovato = false;
            for (const auto& t : issued::tipi())
                if (t.nome.compare(nome, Qt::CaseInsensitive) == 0) {
                    filtro.tipo = t.tipo;
                    trovato = true;
                }
            if (!trovato) {
                io.err(usoReport);
                return 2;
            }
        } else if (a == QLatin1String("--cliente") && conValore) {
            filtro.cliente = args[++i];
        } else if (a == QLatin1String("--pdf") && conValore) {
            pdf = args[++i];
        } else if (a == QLatin1String("--elenco") && conValore && !conElenco) {
            conElenco = true;
            const QString nome = args[++i];
            if (nome.compare(QLatin1String("ultime"), Qt::CaseInsensitive) == 0)
                filtro.elenco = issued::Elenco::Ultime;
            else if (nome.compare(QLatin1String("tutte"), Qt::CaseInsensitive) == 0)
                filtro.elenco = issued::Elenco::Tutte;
            else {
                io.err(usoReport);
                return 2;
            }
        } else {
            io.err(usoReport);
            return 2;
        }
    }
    if (filtro.dal.isValid() != filtro.al.isValid())
        io.err(QStringLiteral("Nota: senza --dal e --al insieme l'intervallo di date non si applica."));

    db::Connection conn(paths::LoadConnection());
    issued::inizializza();
    const bool tutte = filtro.elenco == issued::Elenco::Tutte;
    const issued::Istruzione istruzione = tutte ? issued::sqlComunicazioni(filtro, issued::GORDERComunicazioni)
                                                : issued::sqlDocumentiEmessi(filtro, issued::GORDER);
    db::Result lista = conn.query(istruzione.sql, istruzione.params);
    if (tutte)
        issued::aggiungiStatoPec(conn, lista, adesso());
    const report::DataView righe = issued::righe(lista, filtro.elenco);
    const auto& colonne = issued::colonne(filtro.elenco);

    QStringList intestazione;
    for (const auto& [campo, titolo] : colonne)
        intestazione << campo;
    QString testo = intestazione.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const report::Row& r : righe) {
        QStringList campi;
        for (const auto& [campo, titolo] : colonne)
            campi << formatField(r.value(campo));
        testo += campi.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    io.out(testo);

    int esito = 0;
    if (!file.vuota() && !esporta(file, issued::tabella(lista, filtro.elenco), io))
        esito = 2;
    if (!pdf.isEmpty()) {
        const db::Result societa = conn.query(QStringLiteral("SELECT * FROM t_societa ORDER BY ID"));
        scriviPdf(issued::stampa(righe, issued::riepilogo(lista, filtro.elenco),
                                 societa.isEmpty() ? report::Values() : report::rowValues(societa, 0), filtro,
                                 sz::oggi(), paths::dataRoot(), paths::programFolder()),
                  pdf);
    }
    return esito;
}

int anteprima(const QStringList& args, const Output& io)
{
    QString tipologia, pdf;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--pdf") && i + 1 < args.size())
            pdf = args[++i];
        else if (tipologia.isNull() && !args[i].startsWith(QLatin1String("--")))
            tipologia = args[i];
        else {
            io.err(usoLetters);
            return 2;
        }
    }
    bool nota = false;
    for (const auto& v : letters::tipologie())
        if (v.tipologia.compare(tipologia, Qt::CaseInsensitive) == 0 ||
            v.voce.compare(tipologia, Qt::CaseInsensitive) == 0) {
            tipologia = v.tipologia;
            nota = true;
        }
    if (!nota || pdf.isEmpty()) {
        io.err(usoLetters);
        return 2;
    }
    db::Connection conn(paths::LoadConnection());
    scriviPdf(
        letters::anteprima(conn, tipologia, sz::oggi(), paths::dataRoot(), paths::programFolder()),
        pdf);
    io.out(percorsoPdf(pdf) + QLatin1Char('\n'));
    return 0;
}

} // namespace

int runReport(const QStringList& args, const Output& io)
{
    try {
        if (!args.isEmpty() && args.first() == QLatin1String("issued"))
            return documentiEmessi(args.mid(1), io);
        io.err(usoReport);
        return 2;
    } catch (const Error& e) {
        io.err(e.message());
        return 2;
    }
}

int runLetters(const QStringList& args, const Output& io)
{
    try {
        if (!args.isEmpty() && args.first() == QLatin1String("preview")) return anteprima(args.mid(1), io);
        if (!args.isEmpty() && args.first() == QLatin1String("log")) return runLettersLog(args.mid(1), io);
        io.err(usoLetters);
        return 2;
    } catch (const Error& e) {
        io.err(e.message());
        return 2;
    }
}

} // namespace sz::cli
