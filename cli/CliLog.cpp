#include "CliDunning.h"
#include "CliExport.h"

#include "ArchivioRicevute.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"

#include <QHash>

namespace sz::cli {

namespace {

const QString usoLog = QStringLiteral(
    "Uso:\n"
    "  scadenzio-cli letters log [--credit ID] [--client NOME] [--dal gg/mm/aaaa] [--al gg/mm/aaaa]\n"
    "                            [--xlsx FILE] [--csv FILE]");

const QStringList titoli = {
    QStringLiteral("ID"),         QStringLiteral("IDCredito"),   QStringLiteral("Cliente"),
    QStringLiteral("NumeroFattura"), QStringLiteral("DataFattura"), QStringLiteral("Fase"),
    QStringLiteral("Modo"),       QStringLiteral("DataOra"),     QStringLiteral("File"),
    QStringLiteral("Canale"),     QStringLiteral("Destinatari"), QStringLiteral("MessageID"),
    QStringLiteral("Esito"),      QStringLiteral("Postazione"),  QStringLiteral("Stato PEC")};

// One field of a tab-separated line: a tab or a line break inside a stored text would
// make a field or a row of its own.
QString campo(const QString& t)
{
    return invii::unaRiga(t);
}

QDate leggiData(const QString& opzione, const QString& testo, const Output& io, bool& ok)
{
    const QDate d = dates::fromDisplay(testo.trimmed());
    if (!d.isValid()) {
        io.err(QStringLiteral("ATTENZIONE: la data \"%1\" di %2 non è una data valida (gg/mm/aaaa).")
                   .arg(campo(testo), opzione));
        ok = false;
    }
    return d;
}

// What the receipts say of each certified-mail row of the log, by the row's ID: every row of
// a letter shares its letter's state.
QHash<qint64, QString> statiPec(db::Connection& conn, const QList<invii::Invio>& righe)
{
    QList<qint64> ids;
    for (const invii::Invio& v : righe)
        if (v.canale == QLatin1String("PEC") && !v.messageId.isEmpty())
            ids << v.id;
    QHash<qint64, QString> stati;
    if (ids.isEmpty())
        return stati;
    const QDateTime ora = adesso();
    for (const pec::Lettera& l : pec::lettere(conn, ids)) {
        const QString testo = pec::statoDi(conn, l, ora).testo();
        for (const qint64 id : l.idInvii)
            stati.insert(id, testo);
    }
    return stati;
}

} // namespace

int runLettersLog(const QStringList& argomenti, const Output& io)
{
    try {
        QStringList args = argomenti;
        const Esportazione file = leggiEsportazione(args);
        invii::Filtro filtro;
        bool ok = true, conCredito = false, conCliente = false, conDal = false, conAl = false;
        for (int i = 0; i < args.size() && ok; ++i) {
            const QString& a = args[i];
            const bool conValore = i + 1 < args.size();
            if (a == QLatin1String("--credit") && conValore && !conCredito) {
                conCredito = true;
                const QString t = args[++i].trimmed();
                filtro.credito = t.toLongLong(&ok);
                if (!ok || filtro.credito <= 0) {
                    io.err(QStringLiteral("ATTENZIONE: \"%1\" non è un ID di credito.").arg(campo(t)));
                    return 2;
                }
            } else if (a == QLatin1String("--client") && conValore && !conCliente) {
                conCliente = true;
                filtro.cliente = args[++i];
                if (filtro.cliente.trimmed().isEmpty()) {
                    io.err(QStringLiteral("ATTENZIONE: indicare il nome del Cliente dopo --client."));
                    return 2;
                }
            } else if (a == QLatin1String("--dal") && conValore && !conDal) {
                conDal = true;
                filtro.dal = leggiData(a, args[++i], io, ok);
            } else if (a == QLatin1String("--al") && conValore && !conAl) {
                conAl = true;
                filtro.al = leggiData(a, args[++i], io, ok);
            } else {
                io.err(usoLog);
                return 2;
            }
        }
        if (!ok)
            return 2;
        if (filtro.dal.isValid() && filtro.al.isValid() && filtro.dal > filtro.al) {
            io.err(QStringLiteral("ATTENZIONE: la data di --dal (%1) è successiva a quella di --al (%2).")
                       .arg(dates::toDisplay(filtro.dal), dates::toDisplay(filtro.al)));
            return 2;
        }

        db::Connection conn(paths::LoadConnection());
        const QList<invii::Invio> righe = invii::elenco(conn, filtro);
        const QHash<qint64, QString> stati = statiPec(conn, righe);

        esporta::Tabella tabella;
        tabella.titoli = titoli;
        using esporta::Tipo;
        tabella.tipi = {Tipo::Numero, Tipo::Numero, Tipo::Testo, Tipo::Testo, Tipo::Data,  Tipo::Testo, Tipo::Testo,
                        Tipo::DataOra, Tipo::Testo, Tipo::Testo, Tipo::Testo, Tipo::Testo, Tipo::Testo, Tipo::Testo,
                        Tipo::Testo};
        QString testo = titoli.join(QLatin1Char('\t')) + QLatin1Char('\n');
        for (const invii::Invio& v : righe) {
            const QVector<QVariant> valori = {
                v.id,
                v.idCredito,
                v.cliente,
                v.numeroFattura,
                v.dataFattura.isValid() ? QVariant(v.dataFattura) : QVariant(),
                v.fase,
                v.modo,
                v.dataOra.isValid() ? QVariant(v.dataOra) : QVariant(),
                v.file,
                v.canale,
                v.destinatari,
                v.messageId,
                v.esito,
                v.postazione,
                stati.value(v.id)};
            tabella.righe << valori;
            QStringList campi = {
                QString::number(v.id),
                QString::number(v.idCredito),
                campo(v.cliente),
                campo(v.numeroFattura),
                v.dataFattura.isValid() ? dates::toDisplay(v.dataFattura) : QString(),
                campo(v.fase),
                campo(v.modo),
                v.dataOra.isValid() ? v.dataOra.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QString(),
                campo(v.file),
                campo(v.canale),
                campo(v.destinatari),
                campo(v.messageId),
                campo(v.esito),
                campo(v.postazione),
                campo(stati.value(v.id))};
            testo += campi.join(QLatin1Char('\t')) + QLatin1Char('\n');
        }
        io.out(testo);
        if (!file.vuota() && !esporta(file, tabella, io))
            return 2;
        return 0;
    } catch (const Error& e) {
        io.err(e.message());
        return 2;
    }
}

} // namespace sz::cli
