#include "CliPec.h"

#include "ArchivioRicevute.h"
#include "CasellaImap.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

namespace sz::cli {

namespace {

const QString usoPec = QStringLiteral(
    "Uso:\n"
    "  scadenzio-cli pec receipts [FILE.eml ...]\n"
    "  scadenzio-cli pec status [ID ...]");

QString campo(const QString& t)
{
    return invii::unaRiga(t);
}

// Where a message ends a sentence with its own full stop, none is added.
QString frase(const QString& t)
{
    return t.endsWith(QLatin1Char('.')) ? t : t + QLatin1Char('.');
}

using E = pec::Archiviazione::Esito;

// One line of the table, the same for a saved file and a message of the mailbox; an
// altered signature is told on standard error through errore.
QString riga(const QString& fonte, const pec::Archiviazione& a, const std::function<void(const QString&)>& errore)
{
    QString esito;
    switch (a.esito) {
    case E::Registrata: esito = QStringLiteral("registrata in ") + a.file; break;
    case E::GiaRegistrata: esito = QStringLiteral("già registrata in ") + a.file; break;
    case E::NonRicevuta: esito = QStringLiteral("non è una ricevuta PEC: lasciato com'è"); break;
    case E::Estranea:
        esito = QStringLiteral("non riguarda una comunicazione di %1: non registrata").arg(paths::programName());
        break;
    }
    if (a.firma == pec::Firma::Alterata && (a.esito == E::Registrata || a.esito == E::GiaRegistrata))
        errore(QStringLiteral("la firma del gestore non corrisponde al contenuto della ricevuta, che potrebbe "
                              "essere stata alterata; il file è conservato com'è arrivato"));
    return QStringList{fonte, pec::tipoTesto(a.ricevuta.tipo), campo(a.ricevuta.destinatario()),
                       campo(a.lettera.descrizione()), campo(esito)}
               .join(QLatin1Char('\t')) +
           QLatin1Char('\n');
}

const QString intestazioneTabella = QStringLiteral("File\tTipo\tDestinatario\tComunicazione\tEsito\n");

// The new messages of the certified mailbox. 2 when the mailbox is not set up or the
// reading stopped before its end (what was handled is printed and kept all the same).
int ricevuteCasella(const Output& io)
{
    db::Connection conn(paths::LoadConnection());
    const pec::CasellaImap casella = pec::casellaMemorizzata(conn);
    QString testo = intestazioneTabella;
    bool errori = false;
    int registrate = 0, gia = 0, estranee = 0, altri = 0, danneggiate = 0;
    const pec::LetturaCasella l = pec::leggiCasella(conn, paths::dataRoot(), casella, 500, [&](const pec::MessaggioLetto& m) {
        const QString fonte = QStringLiteral("IMAP UID %1").arg(m.uid);
        const auto errore = [&](const QString& perche) {
            io.err(QStringLiteral("ATTENZIONE: %1: %2").arg(fonte, frase(campo(perche))));
            errori = true;
        };
        if (!m.errore.isEmpty()) {
            errore(m.errore);
            ++danneggiate;
            return;
        }
        switch (m.archiviazione.esito) {
        case E::Registrata: ++registrate; break;
        case E::GiaRegistrata: ++gia; break;
        case E::Estranea: ++estranee; break;
        case E::NonRicevuta: ++altri; break;
        }
        testo += riga(fonte, m.archiviazione, errore);
    });
    if (l.uidValiditaCambiata)
        io.err(QStringLiteral("NOTA: il gestore ha rinumerato i messaggi della casella PEC (UIDVALIDITY cambiato): la "
                              "casella è stata riletta dal primo messaggio; le ricevute già registrate non sono state "
                              "registrate di nuovo."));
    testo += QStringLiteral("Messaggi letti: %1; ricevute registrate: %2; già registrate: %3; non di %4: %5; altri "
                            "messaggi lasciati com'erano: %6; ricevute illeggibili: %7")
                 .arg(l.messaggi.size())
                 .arg(registrate)
                 .arg(gia)
                 .arg(paths::programName())
                 .arg(estranee)
                 .arg(altri)
                 .arg(danneggiate);
    if (l.restanti > 0)
        testo += QStringLiteral("; ancora da leggere: %1 (ripetere il comando)").arg(l.restanti);
    io.out(testo + QLatin1Char('\n'));
    if (!l.errore.isEmpty()) {
        io.err(QStringLiteral("ATTENZIONE: ") + frase(campo(l.errore)));
        return 2;
    }
    return errori ? 1 : 0;
}

int ricevute(const QStringList& files, const Output& io)
{
    if (files.isEmpty())
        return ricevuteCasella(io);
    db::Connection conn(paths::LoadConnection());
    const QString dataRoot = paths::dataRoot();
    const QList<pec::Lettera> registro = pec::lettere(conn);
    QString testo = intestazioneTabella;
    bool errori = false;
    for (const QString& file : files) {
        const QString mostrato = campo(QDir::toNativeSeparators(file));
        const auto errore = [&](const QString& perche) {
            io.err(QStringLiteral("ATTENZIONE: %1: %2").arg(mostrato, frase(campo(perche))));
            errori = true;
        };
        QFile f(file);
        const QFileInfo info(file);
        if (!info.isFile() || !f.open(QIODevice::ReadOnly)) {
            errore(QStringLiteral("il file non esiste o non si può leggere"));
            continue;
        }
        if (f.size() > pec::limiteEml) {
            errore(QStringLiteral("il file supera %1 MB e non è una ricevuta PEC").arg(pec::limiteEml / (1024 * 1024)));
            continue;
        }
        try {
            testo += riga(mostrato, pec::archivia(conn, dataRoot, f.read(pec::limiteEml + 1), &registro), errore);
        } catch (const Error& e) {
            errore(e.message());
        }
    }
    io.out(testo);
    return errori ? 1 : 0;
}

int stato(const QStringList& args, const Output& io)
{
    QList<qint64> ids;
    for (const QString& a : args) {
        for (const QString& t : a.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const qint64 id = t.trimmed().toLongLong(&ok);
            if (!ok || id <= 0) {
                io.err(QStringLiteral("ATTENZIONE: \"%1\" non è un ID di comunicazione.").arg(campo(t)));
                return 2;
            }
            ids << id;
        }
    }
    db::Connection conn(paths::LoadConnection());
    const QList<pec::Lettera> lettere = pec::lettere(conn, ids);
    bool errori = false;
    for (const qint64 id : ids) {
        bool trovata = false;
        for (const pec::Lettera& l : lettere)
            trovata = trovata || l.idInvii.contains(id);
        if (!trovata) {
            io.err(QStringLiteral("ATTENZIONE: la comunicazione %1 non è registrata o non è stata inviata per posta.")
                       .arg(id));
            errori = true;
        }
    }
    const QDateTime ora = adesso();
    QString testo = QStringLiteral("ID\tDataOra\tComunicazione\tCanale\tDestinatari\tStato\tMotivo\tSenzaConsegna24h\n");
    for (const pec::Lettera& l : lettere) {
        const pec::StatoLettera s = pec::statoDi(conn, l, ora);
        testo += QStringList{QString::number(l.idInvii.value(0)),
                             l.dataOra.isValid() ? l.dataOra.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QString(),
                             campo(l.descrizione()), campo(l.canale), campo(l.destinatari.join(QStringLiteral(", "))),
                             s.stato, campo(s.motivo), s.senzaConsegna24h ? QStringLiteral("SI") : QString()}
                     .join(QLatin1Char('\t')) +
                 QLatin1Char('\n');
    }
    io.out(testo);
    return errori ? 1 : 0;
}

} // namespace

int runPec(const QStringList& args, const Output& io)
{
    try {
        if (!args.isEmpty() && args.first() == QLatin1String("receipts"))
            return ricevute(args.mid(1), io);
        if (!args.isEmpty() && args.first() == QLatin1String("status"))
            return stato(args.mid(1), io);
        io.err(usoPec);
        return 2;
    } catch (const Error& e) {
        io.err(e.message());
        return 2;
    }
}

} // namespace sz::cli
