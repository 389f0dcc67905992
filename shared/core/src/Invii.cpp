#include "scadenzio/Invii.h"

#include "scadenzio/Database.h"
#include "scadenzio/Orologio.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <pwd.h>
#include <unistd.h>

namespace sz::invii {

const QString Creata = QStringLiteral("CREATA");
const QString Inviata = QStringLiteral("INVIATA");

namespace {

const QString formatoDataOra = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// A log row is read one line per letter: a reason or a name with a line break must not
// make two.
QString riga(const QString& t)
{
    return unaRiga(t).trimmed();
}

// At most n characters, whole characters only (a surrogate pair stays together).
QString taglia(const QString& t, int n)
{
    int contati = 0;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (contati == n)
            return t.left(i);
        if (t.at(i).isHighSurrogate() && i + 1 < t.size() && t.at(i + 1).isLowSurrogate())
            ++i;
        ++contati;
    }
    return t;
}

QString breve(const QString& t)
{
    return taglia(riga(t), 255);
}

const QString colonne = QStringLiteral(
    "ID, IDCredito, Cliente, NumeroFattura, DataFattura, Fase, Modo, DataOra, File, Canale, Destinatari, "
    "MessageID, Esito, Postazione");

Invio daRiga(const db::Result& r, int i)
{
    const auto& row = r.rows[i];
    Invio v;
    v.id = row[0].toLongLong();
    v.idCredito = row[1].toLongLong();
    v.cliente = row[2].toString();
    v.numeroFattura = row[3].toString();
    v.dataFattura = row[4].toDate();
    v.fase = row[5].toString();
    v.modo = row[6].toString();
    v.dataOra = QDateTime::fromString(row[7].toString(), formatoDataOra);
    v.file = row[8].toString();
    v.canale = row[9].toString();
    v.destinatari = row[10].toString();
    v.messageId = row[11].toString();
    v.esito = row[12].toString();
    v.postazione = row[13].toString();
    return v;
}

const QStringList fasi = {QStringLiteral("PREAVVISO"), QStringLiteral("SOLLECITO1"), QStringLiteral("SOLLECITO2"),
                          QStringLiteral("SOLLECITO3")};
const QStringList colonneFase = {QStringLiteral("Preavviso"), QStringLiteral("Sollecito1"),
                                 QStringLiteral("Sollecito2"), QStringLiteral("Sollecito3")};

} // namespace

QString unaRiga(const QString& testo)
{
    QString out = testo;
    for (QChar& c : out)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return out;
}

QString nonInviata(const QString& motivo)
{
    return QStringLiteral("NON INVIATA: ") + riga(motivo);
}

QString postazione()
{
    QString utente;
    if (const passwd* pw = getpwuid(getuid()))
        utente = QString::fromLocal8Bit(pw->pw_name);
    if (utente.isEmpty())
        utente = qEnvironmentVariable("USER");
    QString host = QSysInfo::machineHostName();
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    return breve(host + QStringLiteral(" (") + utente + QLatin1Char(')'));
}

QString percorsoRelativo(const QString& dataRoot, const QString& percorso)
{
    const QString radice = QDir::cleanPath(dataRoot) + QLatin1Char('/');
    const QString p = QDir::cleanPath(percorso);
    return p.startsWith(radice) ? p.mid(radice.size()) : p;
}

QString pdfDaAprire(const QString& dataRoot, const QString& file, QString* errore)
{
    const QString f = file.trimmed();
    if (f.isEmpty()) {
        if (errore)
            *errore = QStringLiteral("ATTENZIONE: per questa comunicazione non è registrato alcun PDF.");
        return {};
    }
    const QString percorso = QDir::cleanPath(QDir::isAbsolutePath(f) ? f : dataRoot + QLatin1Char('/') + f);
    const QString mostrato = QDir::toNativeSeparators(percorso);
    const QFileInfo info(percorso);
    const auto nonPdf = [&] {
        if (errore)
            *errore = QStringLiteral("ATTENZIONE: il file \"%1\" non è un PDF e non viene aperto.").arg(mostrato);
        return QString();
    };
    if (info.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        return nonPdf();
    if (!info.isFile()) {
        if (errore)
            *errore = QStringLiteral("ATTENZIONE: il PDF della comunicazione non si trova più in \"%1\": è stato "
                                     "spostato o eliminato.")
                          .arg(mostrato);
        return {};
    }
    // A link named .pdf that leads to something else is not a PDF either.
    const QFileInfo vero(info.canonicalFilePath());
    if (vero.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0 || !vero.isFile())
        return nonPdf();
    return vero.absoluteFilePath();
}

QSet<qint64> creditiConLettera(db::Connection& conn, const QDate& giorno)
{
    QSet<qint64> out;
    if (!giorno.isValid())
        return out;
    const db::Result r = conn.query(QStringLiteral("SELECT DISTINCT IDCredito FROM t_invii WHERE DataOra >= :Dal AND "
                                                   "DataOra < :Al"),
                                    {{QStringLiteral("Dal"), giorno.toString(QStringLiteral("yyyy-MM-dd"))},
                                     {QStringLiteral("Al"), giorno.addDays(1).toString(QStringLiteral("yyyy-MM-dd"))}});
    for (const auto& row : r.rows)
        out.insert(row[0].toLongLong());
    const db::Result c = conn.query(QStringLiteral("SELECT ID FROM t_crediti WHERE SUBSTR(Preavviso, 1, 10) = :G OR "
                                                   "SUBSTR(Sollecito1, 1, 10) = :G OR SUBSTR(Sollecito2, 1, 10) = :G "
                                                   "OR SUBSTR(Sollecito3, 1, 10) = :G"),
                                    {{QStringLiteral("G"), giorno}});
    for (const auto& row : c.rows)
        out.insert(row[0].toLongLong());
    return out;
}

QString colonnaDiFase(const QString& fase)
{
    const int i = int(fasi.indexOf(fase));
    return i < 0 ? QString() : colonneFase[i];
}

qint64 registra(db::Connection& conn, const Invio& v)
{
    const QDateTime quando = v.dataOra.isValid() ? v.dataOra : sz::adesso();
    conn.exec(QStringLiteral("INSERT INTO t_invii (IDCredito, Cliente, NumeroFattura, DataFattura, Fase, Modo, "
                             "DataOra, File, Canale, Destinatari, MessageID, Esito, Postazione) VALUES (:IDCredito, "
                             ":Cliente, :NumeroFattura, :DataFattura, :Fase, :Modo, :DataOra, :File, :Canale, "
                             ":Destinatari, :MessageID, :Esito, :Postazione)"),
              {{QStringLiteral("IDCredito"), v.idCredito},
               {QStringLiteral("Cliente"), breve(v.cliente)},
               {QStringLiteral("NumeroFattura"), breve(v.numeroFattura)},
               {QStringLiteral("DataFattura"), v.dataFattura.isValid() ? QVariant(v.dataFattura) : QVariant()},
               {QStringLiteral("Fase"), breve(v.fase)},
               {QStringLiteral("Modo"), breve(v.modo)},
               {QStringLiteral("DataOra"), quando.toString(formatoDataOra)},
               {QStringLiteral("File"), riga(v.file)},
               {QStringLiteral("Canale"), breve(v.canale)},
               {QStringLiteral("Destinatari"), riga(v.destinatari)},
               {QStringLiteral("MessageID"), riga(v.messageId)},
               {QStringLiteral("Esito"), riga(v.esito)},
               {QStringLiteral("Postazione"), breve(v.postazione.isEmpty() ? postazione() : v.postazione)}});
    return conn.lastInsertId();
}

QList<Invio> storico(db::Connection& conn, qint64 idCredito)
{
    const db::Result r = conn.query(QStringLiteral("SELECT ") + colonne +
                                        QStringLiteral(" FROM t_invii WHERE IDCredito = :ID ORDER BY DataOra DESC, ID DESC"),
                                    {{QStringLiteral("ID"), idCredito}});
    QList<Invio> out;
    for (int i = 0; i < r.rows.size(); ++i)
        out << daRiga(r, i);

    const db::Result c = conn.query(QStringLiteral("SELECT Cliente, NumeroFattura, DataFattura, Preavviso, Sollecito1, "
                                                   "Sollecito2, Sollecito3 FROM t_crediti WHERE ID = :ID"),
                                    {{QStringLiteral("ID"), idCredito}});
    if (c.isEmpty())
        return out;
    // A stage date with no logged letter of that stage on that day was written before the
    // log existed (or by hand): it is still a letter the client got.
    for (int f = 0; f < fasi.size(); ++f) {
        const QDate giorno = c.rows[0][3 + f].toDate();
        if (!giorno.isValid())
            continue;
        const bool registrata = std::any_of(out.begin(), out.end(), [&](const Invio& v) {
            return !v.daColonne && v.fase == fasi[f] && v.dataOra.date() == giorno;
        });
        if (registrata)
            continue;
        Invio v;
        v.idCredito = idCredito;
        v.cliente = c.rows[0][0].toString();
        v.numeroFattura = c.rows[0][1].toString();
        v.dataFattura = c.rows[0][2].toDate();
        v.fase = fasi[f];
        v.dataOra = QDateTime(giorno, QTime(0, 0));
        v.daColonne = true;
        out << v;
    }
    std::stable_sort(out.begin(), out.end(), [](const Invio& a, const Invio& b) {
        if (a.dataOra.date() != b.dataOra.date())
            return a.dataOra.date() > b.dataOra.date();
        // On one day, a column-made row belongs before (under) the logged ones: the logged
        // rows carry their time, the column only its day.
        if (a.daColonne != b.daColonne)
            return b.daColonne;
        if (a.dataOra != b.dataOra)
            return a.dataOra > b.dataOra;
        return a.id > b.id;
    });
    return out;
}

QList<Invio> elenco(db::Connection& conn, const Filtro& filtro)
{
    QStringList dove;
    db::Params p;
    if (filtro.credito > 0) {
        dove << QStringLiteral("IDCredito = :Credito");
        p << qMakePair(QStringLiteral("Credito"), QVariant(filtro.credito));
    }
    if (!filtro.cliente.trimmed().isEmpty()) {
        dove << QStringLiteral("Cliente = :Cliente");
        p << qMakePair(QStringLiteral("Cliente"), QVariant(filtro.cliente.trimmed()));
    }
    if (filtro.dal.isValid()) {
        dove << QStringLiteral("DataOra >= :Dal");
        p << qMakePair(QStringLiteral("Dal"), QVariant(filtro.dal.toString(QStringLiteral("yyyy-MM-dd"))));
    }
    if (filtro.al.isValid()) {
        // Every time of the last day is in: compare with the start of the next one.
        dove << QStringLiteral("DataOra < :Al");
        p << qMakePair(QStringLiteral("Al"), QVariant(filtro.al.addDays(1).toString(QStringLiteral("yyyy-MM-dd"))));
    }
    const QString sql = QStringLiteral("SELECT ") + colonne + QStringLiteral(" FROM t_invii") +
                        (dove.isEmpty() ? QString() : QStringLiteral(" WHERE ") + dove.join(QStringLiteral(" AND "))) +
                        QStringLiteral(" ORDER BY DataOra, ID");
    const db::Result r = conn.query(sql, p);
    QList<Invio> out;
    out.reserve(r.rows.size());
    for (int i = 0; i < r.rows.size(); ++i)
        out << daRiga(r, i);
    return out;
}

} // namespace sz::invii
