#include "CliDunning.h"

#include "CliSql.h"
#include "Lettere.h"
#include "Posta.h"
#include "SollecitiLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"

#include <QDate>

namespace sz::cli {

using namespace sz::dunning;

namespace {

const QString usoDunning = QStringLiteral(
    "Uso:\n"
    "  scadenzio-cli dunning list [--per-client [--client NOME]]\n"
    "  scadenzio-cli dunning pdf [--per-client] ID...\n"
    "  scadenzio-cli dunning send [--per-client] ID...");

// The due list as the frame's tab shows it.
db::Result listaDovuti(db::Connection& conn, bool perCliente, const QString& cliente, const QDate& oggi)
{
    if (!perCliente)
        return conn.query(sqlCreditiPerDocumento(), parametriLista(oggi));
    return conn.query(sqlCreditiPerCliente(!cliente.isNull()), parametriLista(oggi, cliente));
}

int elenca(const QStringList& args, const Output& io)
{
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
    QHash<qint64, QString> clienti;
    const int colId = dovuti.columnIndex(QStringLiteral("ID"));
    const int colCliente = dovuti.columnIndex(QStringLiteral("Cliente"));
    for (const auto& row : dovuti.rows)
        clienti.insert(row[colId].toLongLong(), row[colCliente].toString());
    QList<Selezionato> scelti;
    bool fuoriLista = false;
    for (qint64 id : richiesti) {
        if (clienti.contains(id)) {
            scelti.append({id, clienti.value(id)});
        } else {
            io.err(QStringLiteral("Il credito con ID %1 non è tra i solleciti da effettuare oggi.").arg(id));
            fuoriLista = true;
        }
    }

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
    return esito.conErrori() || fuoriLista ? 1 : 0;
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
        io.err(usoDunning);
        return 2;
    } catch (const Error& e) {
        io.err(e.message());
        return 2;
    }
}

} // namespace sz::cli
