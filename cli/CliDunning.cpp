#include "CliDunning.h"

#include "CliExport.h"
#include "CliSql.h"
#include "Lettere.h"
#include "Posta.h"
#include "SollecitiLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"

#include <QDate>
#include <QSet>

namespace sz::cli {

using namespace sz::dunning;

namespace {

const QString usoDunning = QStringLiteral(
    "Uso:\n"
    "  scadenzio-cli dunning list [--per-client [--client NOME]] [--xlsx FILE] [--csv FILE]\n"
    "  scadenzio-cli dunning pdf [--per-client] ID...\n"
    "  scadenzio-cli dunning send [--per-client] ID...\n"
    "  scadenzio-cli dunning suspend (--client NOME | --credit ID) [--fino gg/mm/aaaa] --motivo TESTO\n"
    "  scadenzio-cli dunning resume (--client NOME | --credit ID)");

// A text from the register or the command line on one line of output: control
// characters as blanks.

// The due list as the frame's tab shows it.
db::Result listaDovuti(db::Connection& conn, bool perCliente, const QString& cliente, const QDate& oggi)
{
    if (!perCliente)
        return conn.query(sqlCreditiPerDocumento(), parametriLista(oggi));
    return conn.query(sqlCreditiPerCliente(!cliente.isNull()), parametriLista(oggi, cliente));
}

int elenca(QStringList args, const Output& io)
{
    const Esportazione file = leggiEsportazione(args);
    bool perCliente = false;
    QString cliente;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--per-client")) {
            perCliente = true;
        } else if (args[i] == QLatin1String("--client") && i + 1 < args.size()) {
            cliente = args[++i];
        } else {
            io.err(usoDunning);
            return 2;
        }
    }
    if (!cliente.isNull() && !perCliente) {
        io.err(QStringLiteral("--client vale solo con --per-client"));
        return 2;
    }
    db::Connection conn(paths::LoadConnection());
    const db::Result r = listaDovuti(conn, perCliente, cliente, sz::oggi());
    static const char* campi[] = {"ID", "NumeroFattura", "DataFattura", "Scadenza", "Cliente", "ModalitaPagamento",
                                  "Residuo"};
    QStringList header;
    for (const char* c : campi)
        header << QLatin1String(c);
    header << QStringLiteral("Fase");
    QString text = header.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int row = 0; row < r.rows.size(); ++row) {
        QStringList fields;
        for (const char* c : campi)
            fields << formatField(r.value(row, QLatin1String(c)));
        fields << parolaChiave(faseRiga(r, row));
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    io.out(text);
    if (!file.vuota() && !esporta(file, tabellaLista(r), io))
        return 2;
    return 0;
}

int creaPdf(const QStringList& args, const Output& io, bool invia)
{
    bool perCliente = false;
    QStringList testiId;
    for (const QString& a : args) {
        if (a == QLatin1String("--per-client"))
            perCliente = true;
        else if (a.startsWith(QLatin1String("--"))) {
            io.err(usoDunning);
            return 2;
        } else
            testiId << a;
    }
    const QList<qint64> richiesti = leggiId(testiId);
    if (richiesti.isEmpty()) {
        io.err(usoDunning);
        return 2;
    }
    db::Connection conn(paths::LoadConnection());
    // Only what the frame would list can be chosen: the rest is named and left alone.
    // One day for the whole command, even when it runs past midnight.
    const QDate oggi = sz::oggi();
    const db::Result dovuti = listaDovuti(conn, perCliente, QString(), oggi);
    QHash<qint64, QString> clienti, documenti;
    const int colId = dovuti.columnIndex(QStringLiteral("ID"));
    const int colCliente = dovuti.columnIndex(QStringLiteral("Cliente"));
    const int colNumero = dovuti.columnIndex(QStringLiteral("NumeroFattura"));
    for (const auto& row : dovuti.rows) {
        clienti.insert(row[colId].toLongLong(), row[colCliente].toString());
        documenti.insert(row[colId].toLongLong(), row[colNumero].toString());
    }
    QList<qint64> inLista;
    bool fuoriLista = false;
    for (qint64 id : richiesti) {
        if (clienti.contains(id)) {
            inLista.append(id);
        } else {
            io.err(QStringLiteral("Il credito con ID %1 non è tra i solleciti da effettuare oggi.").arg(id));
            fuoriLista = true;
        }
    }
    // A letter whose template says nothing would reach the client as a blank page with
    // a figure: none is made, each credit is named instead.
    QSet<qint64> senzaParole;
    for (const ModelloVuoto& m : modelliVuoti(conn, inLista, perCliente))
        for (qint64 id : m.ids) {
            senzaParole.insert(id);
            io.err(QStringLiteral("Comunicazione non creata per il Documento N°%1 (credito %2): il modello della "
                                  "comunicazione \"%3\" è vuoto.")
                       .arg(invii::unaRiga(documenti.value(id)))
                       .arg(id)
                       .arg(etichettaModello(m.tipologia)));
        }
    QList<Selezionato> scelti;
    for (qint64 id : inLista)
        if (!senzaParole.contains(id))
            scelti.append({id, clienti.value(id)});

    GListaErrori.clear();
    Lettere lettere(conn, oggi, paths::dataRoot(), paths::programFolder());
    if (invia) {
        // A setting that cannot be used is every letter's reason, as in the frame.
        try {
            lettere.setSpedizione(spedizioneSmtp(mail::storedServer(conn)));
        } catch (const Error& e) {
            lettere.setSpedizione([motivo = e.message()](const Invio&) { return motivo; });
        }
    }
    EsitoRun esito;
    if (perCliente) {
        esito = lettere.perCliente(raggruppaPerCliente(scelti), invia);
    } else {
        QList<qint64> ids;
        for (const Selezionato& s : scelti)
            ids << s.id;
        esito = lettere.perDocumento(ids, invia);
    }
    for (const QString& pdf : esito.pdf)
        io.out(pdf + QLatin1Char('\n'));
    for (const QString& riga : GListaErrori)
        io.err(riga);
    GListaErrori.clear();
    if (!esito.guasto.isEmpty()) {
        io.err(commonErrorMessage(esito.guasto));
        return 2;
    }
    return esito.conErrori() || fuoriLista || !senzaParole.isEmpty() ? 1 : 0;
}

// ---- suspensions ---------------------------------------------------------------------

struct Bersaglio
{
    QString cliente; // as the register spells it
    qint64 credito = 0;
    QString descrizione; // "il Cliente ROSSI SRL", "il credito 12 (Documento N°7/B, ROSSI SRL)"
};

// Exactly one of --client NAME and --credit ID, found in the register; empty descrizione
// after an error line.
Bersaglio trovaBersaglio(db::Connection& conn, const QString& cliente, const QString& credito, const Output& io)
{
    Bersaglio b;
    if (cliente.isNull() == credito.isNull()) {
        io.err(QStringLiteral("ATTENZIONE: indicare un Cliente (--client) oppure un credito (--credit), uno solo."));
        return b;
    }
    if (!cliente.isNull()) {
        const auto r = conn.query(QStringLiteral("SELECT RagioneSociale FROM t_clienti WHERE RagioneSociale = :C "
                                                 "ORDER BY ID"),
                                  {{QStringLiteral("C"), cliente.trimmed()}});
        if (cliente.trimmed().isEmpty() || r.isEmpty()) {
            io.err(QStringLiteral("ATTENZIONE: il Cliente \"%1\" non risulta in anagrafica.").arg(invii::unaRiga(cliente)));
            return b;
        }
        b.cliente = r.rows[0][0].toString();
        b.descrizione = QStringLiteral("il Cliente ") + invii::unaRiga(b.cliente);
        return b;
    }
    bool ok = false;
    const qint64 id = credito.trimmed().toLongLong(&ok);
    if (!ok || id <= 0) {
        io.err(QStringLiteral("ATTENZIONE: \"%1\" non è un ID di credito.").arg(invii::unaRiga(credito)));
        return b;
    }
    const auto r = conn.query(QStringLiteral("SELECT NumeroFattura, Cliente FROM t_crediti WHERE ID = :ID"),
                              {{QStringLiteral("ID"), id}});
    if (r.isEmpty()) {
        io.err(QStringLiteral("ATTENZIONE: il credito con ID %1 non è presente in archivio.").arg(id));
        return b;
    }
    b.credito = id;
    b.descrizione = QStringLiteral("il credito %1 (Documento N°%2, %3)")
                        .arg(id)
                        .arg(invii::unaRiga(r.rows[0][0].toString()), invii::unaRiga(r.rows[0][1].toString()));
    return b;
}

int sospendi(const QStringList& args, const Output& io, bool sospendere)
{
    QString cliente, credito, fino, motivo;
    bool conFino = false, conMotivo = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool conValore = i + 1 < args.size();
        if (a == QLatin1String("--client") && conValore && cliente.isNull())
            cliente = args[++i];
        else if (a == QLatin1String("--credit") && conValore && credito.isNull())
            credito = args[++i];
        else if (sospendere && a == QLatin1String("--fino") && conValore && !conFino) {
            fino = args[++i];
            conFino = true;
        } else if (sospendere && a == QLatin1String("--motivo") && conValore && !conMotivo) {
            motivo = args[++i];
            conMotivo = true;
        } else {
            io.err(usoDunning);
            return 2;
        }
    }
    QDate finoAl;
    if (sospendere) {
        if (conFino) {
            finoAl = dates::fromDisplay(fino.trimmed());
            if (!finoAl.isValid()) {
                io.err(QStringLiteral("ATTENZIONE: la data \"%1\" di --fino non è una data valida (gg/mm/aaaa).")
                           .arg(invii::unaRiga(fino)));
                return 2;
            }
            if (finoAl < sz::oggi()) {
                io.err(QStringLiteral("ATTENZIONE: la data di --fino (%1) è già passata: la sospensione non avrebbe "
                                      "effetto.")
                           .arg(dates::toDisplay(finoAl)));
                return 2;
            }
        }
        motivo = motivo.trimmed();
        if (motivo.isEmpty()) {
            io.err(QStringLiteral("ATTENZIONE: indicare il motivo della sospensione (--motivo)."));
            return 2;
        }
        if (motivo.size() > 255) {
            io.err(QStringLiteral("ATTENZIONE: il motivo della sospensione supera i 255 caratteri (%1).")
                       .arg(motivo.size()));
            return 2;
        }
        if (invii::unaRiga(motivo) != motivo) {
            io.err(QStringLiteral("ATTENZIONE: il motivo della sospensione deve stare su una riga, senza caratteri di "
                                  "controllo."));
            return 2;
        }
    }
    db::Connection conn(paths::LoadConnection());
    const Bersaglio b = trovaBersaglio(conn, cliente, credito, io);
    if (b.descrizione.isEmpty())
        return 2;
    const QString tabella = b.credito ? QStringLiteral("t_crediti") : QStringLiteral("t_clienti");
    const QString dove = b.credito ? QStringLiteral("ID = :K") : QStringLiteral("RagioneSociale = :K");
    const QVariant chiave = b.credito ? QVariant(b.credito) : QVariant(b.cliente);
    if (!sospendere) {
        conn.exec(QStringLiteral("UPDATE ") + tabella +
                      QStringLiteral(" SET SospendiSolleciti = 0, SospesoFino = NULL, MotivoSospensione = NULL WHERE ") +
                      dove,
                  {{QStringLiteral("K"), chiave}});
        io.out(QStringLiteral("Solleciti ripresi per ") + b.descrizione + QStringLiteral(".\n"));
        return 0;
    }
    conn.exec(QStringLiteral("UPDATE ") + tabella +
                  QStringLiteral(" SET SospendiSolleciti = 1, SospesoFino = :F, MotivoSospensione = :M WHERE ") + dove,
              {{QStringLiteral("F"), finoAl.isValid() ? QVariant(finoAl) : QVariant()},
               {QStringLiteral("M"), motivo},
               {QStringLiteral("K"), chiave}});
    io.out(QStringLiteral("Solleciti sospesi per ") + b.descrizione +
           (finoAl.isValid() ? QStringLiteral(" fino al ") + dates::toDisplay(finoAl) : QString()) +
           QStringLiteral(": ") + motivo + QLatin1Char('\n'));
    return 0;
}

} // namespace

int runDunning(const QStringList& args, const Output& io)
{
    try {
        if (!args.isEmpty() && args.first() == QLatin1String("list"))
            return elenca(args.mid(1), io);
        if (!args.isEmpty() && args.first() == QLatin1String("pdf"))
            return creaPdf(args.mid(1), io, false);
        if (!args.isEmpty() && args.first() == QLatin1String("send"))
            return creaPdf(args.mid(1), io, true);
        if (!args.isEmpty() && args.first() == QLatin1String("suspend"))
            return sospendi(args.mid(1), io, true);
        if (!args.isEmpty() && args.first() == QLatin1String("resume"))
            return sospendi(args.mid(1), io, false);
        io.err(usoDunning);
        return 2;
    } catch (const Error& e) {
        io.err(e.message());
        return 2;
    }
}

} // namespace sz::cli
