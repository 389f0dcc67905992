#include "CliSchedule.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Pianificazione.h"

#include <QLocale>

namespace sz::cli {

namespace {

namespace pf = sz::pianificazione;

const QString Uso = QStringLiteral("Uso:\n"
                                   "  scadenzio-cli schedule install --at HH:MM [--per-client] [--pdf-only]\n"
                                   "  scadenzio-cli schedule remove\n"
                                   "  scadenzio-cli schedule status");

int usage(const Output& io)
{
    io.err(Uso);
    return 2;
}

QString siNo(bool b)
{
    return b ? QStringLiteral("sì") : QStringLiteral("no");
}

QString data(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("dd/MM/yyyy HH:mm")) : QStringLiteral("mai");
}

// What an action came to: the message, and where the timer could not be set the crontab
// line on standard output, where a script picks it up.
int riporta(const pf::Esito& e, const Output& io)
{
    if (e.ok && !e.systemdAssente) {
        io.out(e.messaggio + QLatin1Char('\n'));
        return 0;
    }
    io.err(e.messaggio);
    if (!e.crontab.isEmpty())
        io.out(e.crontab + QLatin1Char('\n'));
    return 1;
}

int installa(const QStringList& args, const Output& io)
{
    std::optional<QTime> ora;
    bool perCliente = false, soloPdf = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--per-client")) {
            perCliente = true;
        } else if (a == QLatin1String("--pdf-only")) {
            soloPdf = true;
        } else if (a == QLatin1String("--at") || a.startsWith(QLatin1String("--at="))) {
            QString testo;
            if (a == QLatin1String("--at")) {
                if (++i >= args.size())
                    return usage(io);
                testo = args[i];
            } else {
                testo = a.mid(5);
            }
            ora = pf::leggiOra(testo);
            if (!ora) {
                io.err(pf::messaggioOraNonValida(testo));
                return 2;
            }
        } else {
            return usage(io);
        }
    }
    if (!ora)
        return usage(io);

    // The settings first: the run started by the timer, or by a crontab line when the
    // timer cannot be set, reads its mode and channel, and whether it is on, from them.
    // When systemd is there and refuses, they go back as they were: a schedule said to be
    // on that is not would have every workstation report days without a run.
    std::optional<pf::Impostazioni> prima;
    try {
        db::Connection conn(paths::LoadConnection());
        prima = pf::leggiImpostazioni(conn);
        pf::salvaImpostazioni(conn, {*ora, perCliente, !soloPdf, true});
        if (!soloPdf) {
            const pf::ImpostazioniPec pec = pf::leggiImpostazioniPec(conn);
            if (const QString avviso = pf::avvisoInvioAutomatico(pec.smtp, pec.pec, pec.invioAutomatico);
                !avviso.isEmpty())
                io.err(avviso);
        }
    } catch (const Error& e) {
        io.err(commonErrorMessage(e.message()));
        return 2;
    }
    const pf::Esito esito = pf::installa(*ora);
    if (!esito.ok && !esito.systemdAssente && prima) {
        try {
            db::Connection conn(paths::LoadConnection());
            pf::salvaImpostazioni(conn, *prima);
        } catch (const Error& e) {
            io.err(commonErrorMessage(e.message()));
        }
    }
    return riporta(esito, io);
}

int rimuovi(const Output& io)
{
    const int codice = riporta(pf::rimuovi(), io);
    try {
        db::Connection conn(paths::LoadConnection());
        pf::Impostazioni imp = pf::leggiImpostazioni(conn);
        imp.attivo = false;
        pf::salvaImpostazioni(conn, imp);
    } catch (const Error& e) {
        io.err(commonErrorMessage(e.message()));
        return 2;
    }
    return codice;
}

int stato(const Output& io)
{
    const pf::Stato s = pf::stato();
    QStringList righe{QStringLiteral("Voce\tValore")};
    auto riga = [&righe](const QString& voce, const QString& valore) { righe << voce + QLatin1Char('\t') + valore; };
    riga(QStringLiteral("Programmato su questo computer"), siNo(s.installato));
    if (s.installato)
        riga(QStringLiteral("Orario"), s.ora ? s.ora->toString(QStringLiteral("HH:mm")) : QStringLiteral("non leggibile"));
    riga(QStringLiteral("systemd dell'utente"), s.raggiungibile ? QStringLiteral("raggiungibile")
                                                                 : QStringLiteral("non raggiungibile (") + s.dettaglio +
                                                                       QLatin1Char(')'));
    if (s.raggiungibile && s.installato) {
        riga(QStringLiteral("Abilitato"), siNo(s.abilitato));
        riga(QStringLiteral("Attivo"), siNo(s.attivo));
        riga(QStringLiteral("Prossimo avvio"), s.prossimo.isValid() ? data(s.prossimo) : QStringLiteral("-"));
        riga(QStringLiteral("Ultimo avvio"), data(s.ultimo));
    }
    std::optional<pf::Impostazioni> imp;
    try {
        db::Connection conn(paths::LoadConnection());
        imp = pf::leggiImpostazioni(conn);
        riga(QStringLiteral("Invio automatico nelle impostazioni"), imp->attivo ? QStringLiteral("attivo")
                                                                               : QStringLiteral("non attivo"));
        riga(QStringLiteral("Orario nelle impostazioni"), imp->ora.toString(QStringLiteral("HH:mm")));
        riga(QStringLiteral("Lettere"), imp->perCliente ? QStringLiteral("per cliente") : QStringLiteral("per documento"));
        riga(QStringLiteral("Canale"), imp->mail ? QStringLiteral("mail") : QStringLiteral("solo PDF"));
    } catch (const Error& e) {
        io.err(commonErrorMessage(e.message()));
    }
    io.out(righe.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    io.err(pf::descrizione(s));
    // Settings on, timer missing: another workstation set it, or it was removed by hand.
    if (imp && imp->attivo && s.raggiungibile && !s.installato)
        io.err(QStringLiteral("L'invio automatico è attivo nelle impostazioni ma non è programmato su questo "
                              "computer: per programmarlo, scadenzio-cli schedule install --at %1")
                   .arg(imp->ora.toString(QStringLiteral("HH:mm"))));
    if (!s.raggiungibile) {
        if (imp && imp->attivo) {
            io.err(QStringLiteral("Per eseguire l'invio automatico con cron, aggiungere con «crontab -e» la riga:"));
            io.out(pf::rigaCrontab(imp->ora, pf::percorsoCli()) + QLatin1Char('\n'));
        }
        return 1;
    }
    return 0;
}

} // namespace

int runSchedule(const QStringList& args, const Output& io)
{
    if (args.isEmpty())
        return usage(io);
    const QString verbo = args.first();
    if (verbo == QLatin1String("install"))
        return installa(args.mid(1), io);
    if (verbo == QLatin1String("remove") && args.size() == 1)
        return rimuovi(io);
    if (verbo == QLatin1String("status") && args.size() == 1)
        return stato(io);
    return usage(io);
}

} // namespace sz::cli
