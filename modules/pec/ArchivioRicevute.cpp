#include "ArchivioRicevute.h"

#include "Lettere.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sz::pec {

namespace {

const QString formatoDataOra = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// One line, at most n characters: t_ricevute's declared widths refuse longer texts.
QString campo(const QString& t, int n = -1)
{
    const QString r = invii::unaRiga(t).trimmed();
    return n < 0 ? r : r.left(n);
}

QStringList indirizzi(const QString& elenco)
{
    QStringList out;
    for (const QString& a : elenco.split(QRegularExpression(QStringLiteral("[,;]")), Qt::SkipEmptyParts)) {
        QString s = a.trimmed().toLower();
        // "Nome <a@b.it>" as well as a bare address.
        const qsizetype l = s.lastIndexOf(QLatin1Char('<'));
        const qsizetype r = s.lastIndexOf(QLatin1Char('>'));
        if (l >= 0 && r > l)
            s = s.mid(l + 1, r - l - 1).trimmed();
        if (!s.isEmpty() && !out.contains(s))
            out << s;
    }
    return out;
}

QByteArray leggiFile(const QString& percorso, qsizetype limite)
{
    QFile f(percorso);
    if (!f.open(QIODevice::ReadOnly) || f.size() > limite)
        return {};
    return f.readAll();
}

bool stessiByte(const QString& percorso, const QByteArray& eml)
{
    const QFileInfo i(percorso);
    return i.isFile() && i.size() == eml.size() && leggiFile(percorso, eml.size()) == eml;
}

QString assoluto(const QString& dataRoot, const QString& file)
{
    return QDir::isAbsolutePath(file) ? file : dataRoot + file;
}

// The bytes as a new file in the folder, written whole and synced under a temporary name;
// its path, or empty (errno set).
QString scriviTemporaneo(const QString& cartella, const QByteArray& eml)
{
    QByteArray modello = QFile::encodeName(cartella + QStringLiteral(".ricevuta.XXXXXX"));
    const int fd = ::mkstemp(modello.data());
    if (fd < 0)
        return {};
    qsizetype scritti = 0;
    while (scritti < eml.size()) {
        const ssize_t n = ::write(fd, eml.constData() + scritti, size_t(eml.size() - scritti));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int e = errno;
            ::close(fd);
            ::unlink(modello.constData());
            errno = e;
            return {};
        }
        scritti += n;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int e = errno;
        ::unlink(modello.constData());
        errno = e;
        return {};
    }
    return QFile::decodeName(modello);
}

// The bytes as a new file of that name, never over an existing one: 0, or -1 with errno.
int scriviEsclusivo(const QString& percorso, const QByteArray& eml)
{
    const QByteArray nome = QFile::encodeName(percorso);
    const int fd = ::open(nome.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return -1;
    qsizetype scritti = 0;
    while (scritti < eml.size()) {
        const ssize_t n = ::write(fd, eml.constData() + scritti, size_t(eml.size() - scritti));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        scritti += n;
    }
    if (scritti != eml.size() || ::fsync(fd) != 0) {
        const int e = errno ? errno : EIO;
        ::close(fd);
        ::unlink(nome.constData());
        errno = e == EEXIST ? EIO : e;
        return -1;
    }
    if (::close(fd) != 0) {
        const int e = errno == EEXIST ? EIO : errno;
        ::unlink(nome.constData());
        errno = e;
        return -1;
    }
    return 0;
}

} // namespace

QString Lettera::descrizione() const
{
    QString d = cliente;
    if (!documenti.isEmpty())
        d += QStringLiteral(", doc. ") + documenti.join(QStringLiteral(", "));
    return d;
}

QList<Lettera> lettere(db::Connection& conn, const QList<qint64>& ids)
{
    const db::Result r = conn.query(QStringLiteral(
        "SELECT ID, Cliente, NumeroFattura, DataOra, File, Canale, Destinatari, MessageID, Esito FROM t_invii "
        "WHERE MessageID IS NOT NULL AND MessageID <> '' ORDER BY ID"));
    const QSet<qint64> scelti(ids.cbegin(), ids.cend());
    QList<Lettera> out;
    QHash<QString, qsizetype> indice;
    QSet<QString> volute;
    for (const auto& row : r.rows) {
        const QString mid = row[7].toString();
        const QString chiave = normalizzaMessageId(mid);
        if (chiave.isEmpty())
            continue;
        if (scelti.contains(row[0].toLongLong()))
            volute.insert(chiave);
        auto it = indice.find(chiave);
        if (it == indice.end()) {
            Lettera l;
            l.messageId = mid.trimmed();
            l.cliente = row[1].toString();
            l.dataOra = QDateTime::fromString(row[3].toString(), formatoDataOra);
            l.file = row[4].toString();
            l.canale = row[5].toString();
            l.destinatari = indirizzi(row[6].toString());
            l.esito = row[8].toString();
            it = indice.insert(chiave, out.size());
            out << l;
        }
        Lettera& l = out[*it];
        l.idInvii << row[0].toLongLong();
        const QString doc = row[2].toString().trimmed();
        if (!doc.isEmpty() && !l.documenti.contains(doc))
            l.documenti << doc;
    }
    if (ids.isEmpty())
        return out;
    QList<Lettera> filtrate;
    for (const Lettera& l : out)
        if (volute.contains(normalizzaMessageId(l.messageId)))
            filtrate << l;
    return filtrate;
}

Lettera letteraDi(const QList<Lettera>& lettere, const QString& riferimento)
{
    const QString id = normalizzaMessageId(riferimento);
    if (id.isEmpty())
        return {};
    for (const Lettera& l : lettere)
        if (normalizzaMessageId(l.messageId) == id)
            return l;
    // The local part alone only names a letter when no other letter shares it.
    const QString locale = parteLocale(id);
    if (locale.isEmpty())
        return {};
    const Lettera* trovata = nullptr;
    for (const Lettera& l : lettere) {
        if (parteLocale(normalizzaMessageId(l.messageId)) != locale)
            continue;
        if (trovata)
            return {};
        trovata = &l;
    }
    return trovata ? *trovata : Lettera();
}

QString nomeFileRicevuta(const QString& pdf, const Ricevuta& r)
{
    QString base = QFileInfo(pdf).completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("Ricevuta PEC");
    QString nome = base + QStringLiteral(" - ") + etichettaTipo(r.tipo);
    const QString dest = r.destinatario();
    if (!dest.isEmpty() && r.tipo != Tipo::Accettazione && r.tipo != Tipo::NonAccettazione)
        nome += QLatin1Char(' ') + dest;
    return dunning::limitaNomeFile(dunning::pulisciNomeFile(nome), QStringLiteral(".eml"));
}

Archiviazione archivia(db::Connection& conn, const QString& dataRoot, const QByteArray& eml,
                       const QList<Lettera>* registro)
{
    Archiviazione a;
    a.ricevuta = leggiRicevuta(eml);
    const Ricevuta& r = a.ricevuta;
    if (r.tipo == Tipo::Nessuna)
        return a;
    a.lettera = letteraDi(registro ? *registro : lettere(conn), r.riferimento);
    if (!a.lettera.valida()) {
        a.esito = Archiviazione::Esito::Estranea;
        return a;
    }
    if (r.firmata)
        a.firma = verificaFirma(eml, &a.dettaglioFirma);
    const QString tipo = tipoTesto(r.tipo);
    const QString destinatario = campo(r.destinatario(), 255);

    // A receipt read again (from the mailbox and from a saved file, twice from a file) is
    // one receipt: the provider's identifier of the message with the kind and recipient,
    // or the very same bytes.
    const auto giaRegistrata = [&]() -> bool {
        if (!r.identificativo.isEmpty()) {
            const db::Result gia = conn.query(
                QStringLiteral("SELECT ID, File FROM t_ricevute WHERE Identificativo = :I AND Tipo = :T AND "
                               "COALESCE(Destinatario, '') = :D ORDER BY ID"),
                {{QStringLiteral("I"), campo(r.identificativo, 255)},
                 {QStringLiteral("T"), tipo},
                 {QStringLiteral("D"), destinatario}});
            if (!gia.isEmpty()) {
                a.id = gia.rows[0][0].toLongLong();
                a.file = gia.rows[0][1].toString();
                return true;
            }
        }
        const db::Result stessa = conn.query(
            QStringLiteral("SELECT ID, File FROM t_ricevute WHERE MessageID = :M ORDER BY ID"),
            {{QStringLiteral("M"), a.lettera.messageId}});
        for (const auto& row : stessa.rows) {
            if (stessiByte(assoluto(dataRoot, row[1].toString()), eml)) {
                a.id = row[0].toLongLong();
                a.file = row[1].toString();
                return true;
            }
        }
        return false;
    };
    if (giaRegistrata()) {
        a.esito = Archiviazione::Esito::GiaRegistrata;
        return a;
    }

    // Beside the letter's PDF; where the letter has none, in a folder of their own.
    QString cartella;
    QString pdf = a.lettera.file.trimmed();
    if (!pdf.isEmpty())
        cartella = QFileInfo(assoluto(dataRoot, pdf)).absolutePath() + QLatin1Char('/');
    else
        cartella = dataRoot + QStringLiteral("Archivio/Ricevute PEC/");
    if (!paths::makePrivateFolder(cartella))
        throw Error(QStringLiteral("impossibile creare la cartella \"%1\" per la ricevuta PEC")
                        .arg(QDir::toNativeSeparators(cartella)));
    const QString temporaneo = scriviTemporaneo(cartella, eml);
    if (temporaneo.isEmpty())
        throw Error(QStringLiteral("impossibile scrivere la ricevuta PEC nella cartella \"%1\": %2")
                        .arg(QDir::toNativeSeparators(cartella), QString::fromLocal8Bit(strerror(errno))));
    const QString nome = nomeFileRicevuta(pdf, r);
    const QString base = nome.chopped(4);
    QString destinazione;
    bool creato = false;
    // A link takes the name only when it is free: a receipt never replaces another file,
    // and the name appears with its whole content or not at all.
    for (int n = 1; n <= 100 && destinazione.isEmpty(); ++n) {
        const QString candidato =
            cartella + (n == 1 ? nome
                               : dunning::limitaNomeFile(base + QStringLiteral(" (%1)").arg(n), QStringLiteral(".eml")));
        int esito = ::link(QFile::encodeName(temporaneo).constData(), QFile::encodeName(candidato).constData());
        // A file system without hard links (a share of another system): the name is
        // created exclusively and written in place, removed again if the write fails.
        if (esito != 0 && (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS || errno == EXDEV))
            esito = scriviEsclusivo(candidato, eml);
        if (esito == 0) {
            destinazione = candidato;
            creato = true;
        } else if (errno == EEXIST) {
            if (stessiByte(candidato, eml))
                destinazione = candidato; // left by a read that stopped before its row
        } else {
            const int e = errno;
            ::unlink(QFile::encodeName(temporaneo).constData());
            throw Error(QStringLiteral("impossibile salvare la ricevuta PEC come \"%1\": %2")
                            .arg(QDir::toNativeSeparators(candidato), QString::fromLocal8Bit(strerror(e))));
        }
    }
    ::unlink(QFile::encodeName(temporaneo).constData());
    if (destinazione.isEmpty())
        throw Error(QStringLiteral("troppe ricevute PEC con il nome \"%1\" nella cartella \"%2\"")
                        .arg(nome, QDir::toNativeSeparators(cartella)));

    const QString nuovo = invii::percorsoRelativo(dataRoot, destinazione);
    try {
        db::Transaction t(conn);
        // Another workstation may have filed the same receipt meanwhile: asked again
        // under the write lock.
        if (giaRegistrata()) {
            t.commit();
            // Unless the other reader recorded the very file this one made.
            if (creato && a.file != nuovo)
                QFile::remove(destinazione);
            a.esito = Archiviazione::Esito::GiaRegistrata;
            return a;
        }
        a.file = nuovo;
        conn.exec(QStringLiteral("INSERT INTO t_ricevute (MessageID, Tipo, Destinatario, DataOra, Gestore, Errore, "
                                 "ErroreEsteso, Identificativo, File, Letta) VALUES (:MessageID, :Tipo, "
                                 ":Destinatario, :DataOra, :Gestore, :Errore, :ErroreEsteso, :Identificativo, "
                                 ":File, :Letta)"),
                  {{QStringLiteral("MessageID"), a.lettera.messageId},
                   {QStringLiteral("Tipo"), tipo},
                   {QStringLiteral("Destinatario"), destinatario},
                   {QStringLiteral("DataOra"), r.data.isValid() ? QVariant(r.data.toString(formatoDataOra)) : QVariant()},
                   {QStringLiteral("Gestore"), campo(r.gestore, 255)},
                   {QStringLiteral("Errore"), campo(r.errore, 50)},
                   {QStringLiteral("ErroreEsteso"), campo(r.erroreEsteso)},
                   {QStringLiteral("Identificativo"), campo(r.identificativo, 255)},
                   {QStringLiteral("File"), a.file},
                   {QStringLiteral("Letta"), adesso().toString(formatoDataOra)}});
        a.id = conn.lastInsertId();
        t.commit();
    } catch (...) {
        if (creato)
            QFile::remove(destinazione);
        throw;
    }
    a.esito = Archiviazione::Esito::Registrata;
    return a;
}

QList<RicevutaRegistrata> ricevuteDi(db::Connection& conn, const QString& messageId)
{
    const db::Result r = conn.query(
        QStringLiteral("SELECT ID, Tipo, Destinatario, DataOra, Gestore, Errore, ErroreEsteso, Identificativo, File "
                       "FROM t_ricevute WHERE MessageID = :M ORDER BY DataOra, ID"),
        {{QStringLiteral("M"), messageId}});
    QList<RicevutaRegistrata> out;
    for (const auto& row : r.rows) {
        RicevutaRegistrata v;
        v.id = row[0].toLongLong();
        v.tipo = tipoDaTesto(row[1].toString());
        v.destinatario = row[2].toString().trimmed().toLower();
        v.dataOra = QDateTime::fromString(row[3].toString(), formatoDataOra);
        v.gestore = row[4].toString();
        v.errore = row[5].toString();
        v.erroreEsteso = row[6].toString();
        v.identificativo = row[7].toString();
        v.file = row[8].toString();
        out << v;
    }
    return out;
}

QString StatoLettera::testo() const
{
    QString t = stato;
    if (!motivo.isEmpty())
        t += QStringLiteral(": ") + motivo;
    if (senzaConsegna24h)
        t += QStringLiteral(" (nessuna ricevuta di consegna dopo 24 ore dall'accettazione)");
    return t;
}

bool StatoLettera::daControllare() const
{
    return senzaConsegna24h || stato == QLatin1String("Non accettata") || stato == QLatin1String("Non consegnata") ||
           stato == QLatin1String("Consegna parziale");
}

StatoLettera statoLettera(const Lettera& lettera, const QList<RicevutaRegistrata>& ricevute, const QDateTime& adesso)
{
    StatoLettera s;
    QDateTime accettata;
    bool nonAccettata = false;
    QString motivoRifiuto;
    QSet<QString> consegnati, falliti;
    QStringList motivi;
    for (const RicevutaRegistrata& r : ricevute) {
        const QString perche = r.erroreEsteso.trimmed().isEmpty() ? r.errore.trimmed() : r.erroreEsteso.trimmed();
        switch (r.tipo) {
        case Tipo::Accettazione:
            if (!accettata.isValid() || (r.dataOra.isValid() && r.dataOra < accettata))
                accettata = r.dataOra.isValid() ? r.dataOra : lettera.dataOra;
            break;
        case Tipo::NonAccettazione:
            nonAccettata = true;
            if (motivoRifiuto.isEmpty())
                motivoRifiuto = perche;
            break;
        case Tipo::AvvenutaConsegna:
            // A receipt that names no mailbox speaks of the letter's only recipient.
            if (!r.destinatario.isEmpty())
                consegnati.insert(r.destinatario);
            else if (lettera.destinatari.size() == 1)
                consegnati.insert(lettera.destinatari.first());
            break;
        case Tipo::ErroreConsegna:
        case Tipo::RilevazioneVirus:
            // A failure that names no mailbox is a failure for whoever has no delivery.
            if (!r.destinatario.isEmpty())
                falliti.insert(r.destinatario);
            else
                for (const QString& d : lettera.destinatari)
                    falliti.insert(d);
            if (!perche.isEmpty() && !motivi.contains(perche))
                motivi << perche;
            break;
        default:
            break;
        }
    }
    // A recipient delivered counts as delivered, whatever an earlier warning said.
    for (const QString& c : consegnati)
        falliti.remove(c);
    QStringList destinatari = lettera.destinatari;
    for (const QString& d : consegnati + falliti)
        if (!d.isEmpty() && !destinatari.contains(d))
            destinatari << d;
    for (const QString& d : destinatari) {
        if (consegnati.contains(d))
            s.consegnati << d;
        else if (falliti.contains(d))
            s.nonConsegnati << d;
        else
            s.senzaEsito << d;
    }
    if (nonAccettata) {
        s.stato = QStringLiteral("Non accettata");
        s.motivo = motivoRifiuto;
        return s;
    }
    const bool ricevuteConsegna = !consegnati.isEmpty() || !falliti.isEmpty();
    if (!s.consegnati.isEmpty() && s.nonConsegnati.isEmpty() && s.senzaEsito.isEmpty())
        s.stato = QStringLiteral("Consegnata");
    else if (!s.consegnati.isEmpty())
        s.stato = QStringLiteral("Consegna parziale");
    else if (!s.nonConsegnati.isEmpty() && s.senzaEsito.isEmpty())
        s.stato = QStringLiteral("Non consegnata");
    else if (accettata.isValid() || ricevuteConsegna)
        s.stato = QStringLiteral("Accettata");
    else
        s.stato = QStringLiteral("In attesa");
    if (!s.nonConsegnati.isEmpty())
        s.motivo = motivi.join(QStringLiteral("; "));
    if (accettata.isValid() && adesso.isValid() && accettata.secsTo(adesso) > 24 * 3600 &&
        (!s.senzaEsito.isEmpty() || !ricevuteConsegna))
        s.senzaConsegna24h = true;
    return s;
}

StatoLettera statoDi(db::Connection& conn, const Lettera& lettera, const QDateTime& adesso)
{
    return statoLettera(lettera, ricevuteDi(conn, lettera.messageId), adesso);
}

QString ricevutaDaAprire(const QList<RicevutaRegistrata>& ricevute, const QString& dataRoot, QString* errore)
{
    const auto dice = [errore](const QString& t) {
        if (errore)
            *errore = t;
        return QString();
    };
    const auto esito = [](Tipo t) {
        return t == Tipo::AvvenutaConsegna || t == Tipo::ErroreConsegna || t == Tipo::NonAccettazione ||
               t == Tipo::PreavvisoErroreConsegna || t == Tipo::RilevazioneVirus;
    };
    const RicevutaRegistrata* scelta = nullptr;
    for (const RicevutaRegistrata& r : ricevute) { // oldest first: the last one wins
        if (r.file.trimmed().isEmpty())
            continue;
        if (!scelta || esito(r.tipo) || !esito(scelta->tipo))
            scelta = &r;
    }
    if (!scelta)
        return dice(QStringLiteral("ATTENZIONE: per questa comunicazione non è ancora arrivata alcuna ricevuta PEC."));
    const QString radice = QFileInfo(dataRoot).canonicalFilePath();
    const QString percorso = QDir::cleanPath(dataRoot + QLatin1Char('/') + scelta->file.trimmed());
    const QString mostrato = QDir::toNativeSeparators(percorso);
    const QFileInfo vero(QFileInfo(percorso).canonicalFilePath());
    const bool relativo = !QDir::isAbsolutePath(scelta->file.trimmed());
    if (relativo && !QFileInfo(percorso).exists())
        return dice(QStringLiteral("ATTENZIONE: la ricevuta PEC non si trova più in \"%1\": è stata spostata o eliminata.")
                        .arg(mostrato));
    if (!relativo || radice.isEmpty() || !vero.isFile() || vero.suffix().compare(QLatin1String("eml"), Qt::CaseInsensitive) != 0 ||
        !vero.absoluteFilePath().startsWith(radice + QLatin1Char('/')))
        return dice(QStringLiteral("ATTENZIONE: il file \"%1\" non è una ricevuta PEC dell'archivio e non viene aperto.")
                        .arg(mostrato));
    return vero.absoluteFilePath();
}

} // namespace sz::pec
