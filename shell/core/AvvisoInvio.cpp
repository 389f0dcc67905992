#include "AvvisoInvio.h"

#include "scadenzio/Database.h"
#include "scadenzio/Esecuzioni.h"
#include "scadenzio/Ini.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QTime>

#include <algorithm>

namespace sz::avvisoinvio {

namespace {

const QString formatoDataOra = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString sezione = QStringLiteral("Avvio");
const QString chiave = QStringLiteral("UltimoAvvio");
const QString chiaveAttivo = QStringLiteral("InvioAutomaticoAttivo");

// A computer left off for months is told of the last year of missed days at most.
constexpr int giorniMassimi = 366;

QString data(const QDate& d)
{
    return d.toString(QStringLiteral("dd/MM/yyyy"));
}

QString errori(int n)
{
    return n == 1 ? QStringLiteral("1 errore") : QStringLiteral("%1 errori").arg(n);
}

struct Pianificazione
{
    bool attiva = false;
    QTime ora = QTime(8, 0);
};

Pianificazione leggiPianificazione(db::Connection& conn)
{
    Pianificazione p;
    const db::Result r =
        conn.query(QStringLiteral("SELECT InvioAutomaticoAttivo, OraInvioAutomatico FROM t_ISP ORDER BY ID LIMIT 1"));
    if (r.isEmpty())
        return p;
    p.attiva = r.rows[0][0].toBool();
    // "H:MM" or "HH:MM"; anything else leaves the hour the page proposes.
    const QString testo = r.rows[0][1].toString().trimmed();
    for (const char* formato : {"HH:mm", "H:mm"}) {
        const QTime t = QTime::fromString(testo, QString::fromLatin1(formato));
        if (t.isValid()) {
            p.ora = t;
            break;
        }
    }
    return p;
}

esecuzioni::Esecuzione daRiga(const QVector<QVariant>& row)
{
    esecuzioni::Esecuzione e;
    e.id = row[0].toLongLong();
    e.inizio = QDateTime::fromString(row[1].toString(), formatoDataOra);
    e.fine = QDateTime::fromString(row[2].toString(), formatoDataOra);
    e.postazione = row[3].toString();
    e.create = row[4].toInt();
    e.inviate = row[5].toInt();
    e.nonInviate = row[6].toInt();
    const QString testo = row[7].toString();
    for (const QString& riga : testo.split(QLatin1Char('\n')))
        if (!riga.trimmed().isEmpty())
            e.errori << riga.trimmed();
    e.esito = row[8].toString().trimmed();
    return e;
}

QString righeEsecuzione(const esecuzioni::Esecuzione& e)
{
    QStringList out;
    out << QStringLiteral("Invio automatico del %1 alle %2%3")
               .arg(data(e.inizio.date()), e.inizio.toString(QStringLiteral("HH:mm")),
                    e.postazione.trimmed().isEmpty() ? QString()
                                                     : QStringLiteral(" su ") + e.postazione.trimmed());
    out << QStringLiteral("Esito: %1").arg(e.esito);
    out << QStringLiteral("Lettere create: %1, inviate: %2, non inviate: %3").arg(e.create).arg(e.inviate).arg(e.nonInviate);
    if (e.fine.isValid())
        out << QStringLiteral("Terminato alle %1").arg(e.fine.toString(QStringLiteral("HH:mm")));
    if (!e.errori.isEmpty()) {
        out << QString() << QStringLiteral("Errori:");
        out << e.errori;
    }
    return out.join(QLatin1Char('\n'));
}

} // namespace

Avviso valuta(db::Connection& conn, const Avvio& precedente, const QDateTime& adesso)
{
    Avviso a;
    // Without a previous start, or with one the clock has gone back past, there is no
    // "since" to speak of.
    if (!precedente.quando.isValid() || !adesso.isValid() || precedente.quando > adesso)
        return a;
    const QDate primoGiorno = precedente.quando.date();

    // Every unattended run since the day of the previous start, oldest first: those of
    // that day before it count for the day, not for the notice of errors.
    const db::Result r = conn.query(
        QStringLiteral("SELECT ID, Inizio, Fine, Postazione, \"Create\", Inviate, NonInviate, Errori, Esito "
                       "FROM t_esecuzioni WHERE Avvio = :Avvio AND Inizio >= :Da AND Inizio <= :A "
                       "ORDER BY Inizio, ID"),
        {{QStringLiteral("Avvio"), esecuzioni::AvvioTimer},
         {QStringLiteral("Da"), QDateTime(primoGiorno, QTime(0, 0)).toString(formatoDataOra)},
         {QStringLiteral("A"), adesso.toString(formatoDataOra)}});
    QList<esecuzioni::Esecuzione> corse, nuove;
    for (const auto& row : r.rows) {
        esecuzioni::Esecuzione e = daRiga(row);
        if (!e.inizio.isValid())
            continue;
        corse << e;
        // A run still going at the previous start is told by the end it came to later.
        if (e.inizio > precedente.quando || (e.fine.isValid() && e.fine > precedente.quando))
            nuove << e;
    }

    QStringList frasi, dettagli;
    if (!nuove.isEmpty()) {
        esecuzioni::Esecuzione ultima = nuove.last();
        if (ultima.esito == QLatin1String("IN CORSO")) {
            // Still going only while its lock is held from its workstation since before it
            // began; otherwise it was stopped before it could write its end.
            esecuzioni::Titolare t;
            const bool viva = esecuzioni::occupato(conn, &t) && t.postazione == ultima.postazione &&
                              t.inizio.isValid() && t.inizio <= ultima.inizio;
            if (!viva)
                ultima.esito = QStringLiteral("INTERROTTA");
        }
        const QString giorno = data(ultima.inizio.date());
        if (ultima.esito == QLatin1String("CON ERRORI")) {
            const int n = int(ultima.errori.size());
            frasi << (n > 0 ? QStringLiteral("L'invio automatico del %1 ha avuto %2.").arg(giorno, errori(n))
                            : QStringLiteral("L'invio automatico del %1 ha avuto errori.").arg(giorno));
        } else if (ultima.esito == QLatin1String("INTERROTTA")) {
            const int n = int(ultima.errori.size());
            frasi << (n > 0 ? QStringLiteral("L'invio automatico del %1 si è interrotto prima della fine (%2).")
                                  .arg(giorno, errori(n))
                            : QStringLiteral("L'invio automatico del %1 si è interrotto prima della fine.").arg(giorno));
        }
        if (!frasi.isEmpty()) {
            a.esecuzione = ultima.id;
            dettagli << righeEsecuzione(ultima);
        }
    }

    // Working days with the schedule on and no unattended run begun that day, judged once:
    // from the day of the previous start (the day after it, when the schedule was off then
    // and so may have been turned on later that day) to yesterday. Today is not judged:
    // its run may be waiting for its hour, its random delay, or the catch-up after the
    // computer came on.
    const Pianificazione p = leggiPianificazione(conn);
    if (p.attiva) {
        QDate d = precedente.invioAttivo ? primoGiorno : primoGiorno.addDays(1);
        const QDate oggi = adesso.date();
        if (d.daysTo(oggi) > giorniMassimi)
            d = oggi.addDays(-giorniMassimi);
        for (; d < oggi; d = d.addDays(1)) {
            if (d.dayOfWeek() > 5)
                continue;
            const bool eseguito = std::any_of(corse.cbegin(), corse.cend(), [&](const esecuzioni::Esecuzione& e) {
                return e.inizio.date() == d;
            });
            if (!eseguito)
                a.giorniMancati << d;
        }
    }
    if (!a.giorniMancati.isEmpty()) {
        const QList<QDate>& g = a.giorniMancati;
        if (g.size() == 1)
            frasi << QStringLiteral("L'invio automatico non è stato eseguito il %1.").arg(data(g.first()));
        else if (g.size() == 2)
            frasi << QStringLiteral("L'invio automatico non è stato eseguito il %1 e il %2.")
                         .arg(data(g.first()), data(g.last()));
        else
            frasi << QStringLiteral("L'invio automatico non è stato eseguito in %1 giorni lavorativi, l'ultimo il %2.")
                         .arg(g.size())
                         .arg(data(g.last()));
        QStringList righe;
        righe << QStringLiteral("Giorni lavorativi senza invio automatico (previsto alle %1):")
                     .arg(p.ora.toString(QStringLiteral("HH:mm")));
        for (const QDate& d : g)
            righe << QStringLiteral("- %1 %2").arg(QLocale(QLocale::Italian).dayName(d.dayOfWeek()), data(d));
        righe << QString()
              << QStringLiteral("L'invio parte solo se a quell'ora il computer è acceso e l'utente che l'ha attivato "
                                "ha una sessione aperta; un giorno perso si recupera alla successiva accensione. "
                                "Lo stato dell'invio automatico è in Impostazioni - Email e connessione.");
        dettagli << righe.join(QLatin1Char('\n'));
    }

    a.testo = frasi.join(QLatin1Char(' '));
    a.dettagli = dettagli.join(QStringLiteral("\n\n"));
    return a;
}

QString fileAvvii()
{
    return paths::settingsRoot() + QStringLiteral("Config/Avvio.ini");
}

Avvio avvioPrecedente()
{
    Avvio a;
    a.quando = QDateTime::fromString(readIniValue(fileAvvii(), sezione, chiave), formatoDataOra);
    a.invioAttivo = readIniValue(fileAvvii(), sezione, chiaveAttivo) == QLatin1String("1");
    return a;
}

bool registraAvvio(const Avvio& avvio)
{
    const QString file = fileAvvii();
    if (!paths::makePrivateFolder(QFileInfo(file).absolutePath()))
        return false;
    // Written whole and renamed into place: a start cut short never leaves half a file.
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray testo = QStringLiteral("[%1]\n%2=%3\n%4=%5\n")
                                 .arg(sezione, chiave, avvio.quando.toString(formatoDataOra), chiaveAttivo,
                                      avvio.invioAttivo ? QStringLiteral("1") : QStringLiteral("0"))
                                 .toUtf8();
    if (f.write(testo) != testo.size() || !f.commit())
        return false;
    paths::makePrivateFile(file);
    return true;
}

Avviso allAvvio(db::Connection& conn)
{
    const QDateTime ora = sz::adesso();
    const Avviso a = valuta(conn, avvioPrecedente(), ora);
    registraAvvio({ora, leggiPianificazione(conn).attiva});
    return a;
}

} // namespace sz::avvisoinvio
