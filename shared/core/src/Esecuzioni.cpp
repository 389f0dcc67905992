#include "scadenzio/Esecuzioni.h"

#include "scadenzio/Dialect.h"

#include "scadenzio/Database.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Orologio.h"

#include <QSysInfo>

#include <cerrno>
#include <limits>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace sz::esecuzioni {

const QString BloccoSolleciti = QStringLiteral("SOLLECITI");
const QString AvvioTimer = QStringLiteral("TIMER");
const QString AvvioComando = QStringLiteral("COMANDO");
const QString AvvioFinestra = QStringLiteral("FINESTRA");

namespace {

const QString formatoDataOra = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString InCorso = QStringLiteral("IN CORSO");
const QString Completata = QStringLiteral("COMPLETATA");
const QString ConErrori = QStringLiteral("CON ERRORI");
const QString Interrotta = QStringLiteral("INTERROTTA");

QString testoOra(const QDateTime& t)
{
    return t.toString(formatoDataOra);
}

QDateTime leggiOra(const QVariant& v)
{
    return QDateTime::fromString(v.toString(), formatoDataOra);
}

QString questoHost()
{
    const QString h = QSysInfo::machineHostName();
    return h.isEmpty() ? QStringLiteral("localhost") : h;
}

QString questoUtente()
{
    if (const passwd* pw = getpwuid(getuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

bool leggiTitolare(db::Connection& conn, const QString& nome, Titolare* t)
{
    const db::Result r = conn.query(QStringLiteral("SELECT Postazione, Host, Utente, Processo, Inizio, Aggiornato "
                                                   "FROM t_blocchi WHERE Nome = :Nome ORDER BY ID"),
                                    {{QStringLiteral("Nome"), nome}});
    if (r.isEmpty())
        return false;
    const auto& row = r.rows[0];
    t->postazione = row[0].toString();
    t->host = row[1].toString();
    t->utente = row[2].toString();
    t->processo = row[3].toLongLong();
    t->inizio = leggiOra(row[4]);
    t->aggiornato = leggiOra(row[5]);
    return true;
}

bool nostro(const Titolare& t)
{
    return t.host == questoHost() && t.processo == qint64(getpid());
}

// A holder that can no longer be running a letter: on this computer its process is gone,
// anywhere it has not said it was alive for minutiBloccoScaduto minutes (a row whose time
// cannot be read says nothing either).
bool scaduto(const Titolare& t)
{
    if (t.host == questoHost() && t.processo > 0 && t.processo <= std::numeric_limits<pid_t>::max() &&
        ::kill(pid_t(t.processo), 0) != 0 && errno == ESRCH)
        return true;
    if (t.processo <= 0 && t.host == questoHost())
        return true;
    if (!t.aggiornato.isValid())
        return true;
    return t.aggiornato.addSecs(qint64(minutiBloccoScaduto) * 60) < sz::adesso();
}

} // namespace

QString messaggioOccupato(const Titolare& titolare)
{
    QString dove = invii::unaRiga(titolare.postazione).trimmed();
    if (dove.isEmpty())
        dove = QStringLiteral("un'altra postazione");
    if (!titolare.inizio.isValid())
        return QStringLiteral("Invio già in corso su %1.").arg(dove);
    return QStringLiteral("Invio già in corso su %1 dal %2 alle %3.")
        .arg(dove, titolare.inizio.toString(QStringLiteral("dd/MM/yyyy")),
             titolare.inizio.toString(QStringLiteral("HH:mm")));
}

Blocco::Blocco(db::Connection& conn, const QString& nome) : m_conn(conn), m_nome(nome) {}

Blocco::~Blocco()
{
    rilascia();
}

bool Blocco::prendi(Titolare* occupato)
{
    // A server database gives a lock of the connection: only one workstation gets past it,
    // and it goes with its holder's connection. Its row below says who holds it.
    using Lock = db::Dialect::LockResult;
    const Lock server = m_preso && m_serverLock ? Lock::Taken : m_conn.dialect().tryNamedLock(m_conn, m_nome);
    if (server == Lock::Busy) {
        Titolare attuale;
        const bool letto = leggiTitolare(m_conn, m_nome, &attuale);
        if (letto && nostro(attuale)) // another connection of this process
            return true;
        if (occupato)
            *occupato = letto ? attuale : Titolare{};
        return false;
    }
    if (server == Lock::Taken)
        m_serverLock = true;
    // Read and write in one write transaction: a second process waits for the first to
    // commit its row and then finds it.
    db::Transaction t(m_conn);
    Titolare attuale;
    // Holding the server's lock, a row of another holder is what a holder that ended left.
    if (server != Lock::Taken && leggiTitolare(m_conn, m_nome, &attuale) && !nostro(attuale) && !scaduto(attuale)) {
        if (occupato)
            *occupato = attuale;
        return false;
    }
    const QString ora = testoOra(sz::adesso());
    m_conn.exec(QStringLiteral("DELETE FROM t_blocchi WHERE Nome = :Nome"), {{QStringLiteral("Nome"), m_nome}});
    m_conn.exec(QStringLiteral("INSERT INTO t_blocchi (Nome, Postazione, Host, Utente, Processo, Inizio, Aggiornato) "
                               "VALUES (:Nome, :Postazione, :Host, :Utente, :Processo, :Inizio, :Aggiornato)"),
                {{QStringLiteral("Nome"), m_nome},
                 {QStringLiteral("Postazione"), invii::postazione()},
                 {QStringLiteral("Host"), invii::unaRiga(questoHost()).left(255)},
                 {QStringLiteral("Utente"), invii::unaRiga(questoUtente()).left(255)},
                 {QStringLiteral("Processo"), qint64(getpid())},
                 {QStringLiteral("Inizio"), ora},
                 {QStringLiteral("Aggiornato"), ora}});
    t.commit();
    m_preso = true;
    return true;
}

void Blocco::rinnova()
{
    if (!m_preso)
        return;
    // A refresh that finds the database busy is only late: the next one, or the letter's
    // own write, meets whatever is wrong.
    try {
        m_conn.exec(QStringLiteral("UPDATE t_blocchi SET Aggiornato = :Ora WHERE Nome = :Nome AND Host = :Host AND "
                                   "Processo = :Processo"),
                    {{QStringLiteral("Ora"), testoOra(sz::adesso())},
                     {QStringLiteral("Nome"), m_nome},
                     {QStringLiteral("Host"), invii::unaRiga(questoHost()).left(255)},
                     {QStringLiteral("Processo"), qint64(getpid())}});
    } catch (const Error&) {
    }
}

void Blocco::rilascia() noexcept
{
    if (m_serverLock) {
        m_serverLock = false;
        m_conn.dialect().releaseNamedLock(m_conn, m_nome);
    }
    if (!m_preso)
        return;
    m_preso = false;
    try {
        // Only our own row: one taken over meanwhile belongs to its new holder.
        m_conn.exec(QStringLiteral("DELETE FROM t_blocchi WHERE Nome = :Nome AND Host = :Host AND Processo = :Processo"),
                    {{QStringLiteral("Nome"), m_nome},
                     {QStringLiteral("Host"), invii::unaRiga(questoHost()).left(255)},
                     {QStringLiteral("Processo"), qint64(getpid())}});
    } catch (...) {
        // Left behind, the row is stale as soon as this process ends.
    }
}

bool occupato(db::Connection& conn, Titolare* titolare, const QString& nome)
{
    Titolare t;
    if (!leggiTitolare(conn, nome, &t) || scaduto(t))
        return false;
    if (titolare)
        *titolare = t;
    return true;
}

// ---- the record of the runs -------------------------------------------------------------

namespace {

// A run still "IN CORSO" is going only while the lock it took is held, from its own
// workstation, since before it started. Anything else was stopped before it could write
// its end (killed, the computer switched off).
bool inCorsoDavvero(const Esecuzione& e, bool bloccato, const Titolare& titolare)
{
    return bloccato && titolare.postazione == e.postazione && titolare.inizio.isValid() && e.inizio.isValid() &&
           titolare.inizio <= e.inizio;
}

QString errori(const QStringList& righe)
{
    QStringList out;
    for (const QString& r : righe) {
        const QString t = invii::unaRiga(r).trimmed();
        if (!t.isEmpty())
            out << t;
    }
    return out.join(QLatin1Char('\n'));
}

const QString colonne = QStringLiteral(
    "ID, Inizio, Fine, Postazione, Avvio, Modo, Canale, \"Create\", Inviate, NonInviate, Errori, Esito");

Esecuzione daRiga(const QVector<QVariant>& row)
{
    Esecuzione e;
    e.id = row[0].toLongLong();
    e.inizio = leggiOra(row[1]);
    e.fine = leggiOra(row[2]);
    e.postazione = row[3].toString();
    e.avvio = row[4].toString();
    e.modo = row[5].toString();
    e.canale = row[6].toString();
    e.create = row[7].toInt();
    e.inviate = row[8].toInt();
    e.nonInviate = row[9].toInt();
    const QString testo = row[10].toString();
    if (!testo.isEmpty())
        e.errori = testo.split(QLatin1Char('\n'));
    e.esito = row[11].toString();
    return e;
}

} // namespace

int segnaInterrotte(db::Connection& conn)
{
    Titolare titolare;
    const bool bloccato = occupato(conn, &titolare);
    const db::Result r = conn.query(QStringLiteral("SELECT ") + colonne +
                                        QStringLiteral(" FROM t_esecuzioni WHERE Esito = :E"),
                                    {{QStringLiteral("E"), InCorso}});
    int n = 0;
    for (const auto& row : r.rows) {
        const Esecuzione e = daRiga(row);
        if (inCorsoDavvero(e, bloccato, titolare))
            continue;
        conn.exec(QStringLiteral("UPDATE t_esecuzioni SET Esito = :E WHERE ID = :ID AND Fine IS NULL AND Esito = :C"),
                  {{QStringLiteral("E"), Interrotta}, {QStringLiteral("ID"), e.id}, {QStringLiteral("C"), InCorso}});
        n += conn.changes();
    }
    return n;
}

qint64 apri(db::Connection& conn, const QString& avvio, const QString& modo, const QString& canale)
{
    segnaInterrotte(conn);
    conn.exec(QStringLiteral("INSERT INTO t_esecuzioni (Inizio, Postazione, Avvio, Modo, Canale, \"Create\", Inviate, "
                             "NonInviate, Errori, Esito) VALUES (:Inizio, :Postazione, :Avvio, :Modo, :Canale, 0, 0, "
                             "0, NULL, :Esito)"),
              {{QStringLiteral("Inizio"), testoOra(sz::adesso())},
               {QStringLiteral("Postazione"), invii::postazione()},
               {QStringLiteral("Avvio"), invii::unaRiga(avvio).left(20)},
               {QStringLiteral("Modo"), invii::unaRiga(modo).left(20)},
               {QStringLiteral("Canale"), invii::unaRiga(canale).left(20)},
               {QStringLiteral("Esito"), InCorso}});
    return conn.lastInsertId();
}

void avanza(db::Connection& conn, qint64 id, int create, int inviate, int nonInviate, const QStringList& righe)
{
    conn.exec(QStringLiteral("UPDATE t_esecuzioni SET \"Create\" = :C, Inviate = :I, NonInviate = :N, Errori = :Err "
                             "WHERE ID = :ID AND Fine IS NULL"),
              {{QStringLiteral("C"), create},
               {QStringLiteral("I"), inviate},
               {QStringLiteral("N"), nonInviate},
               {QStringLiteral("Err"), righe.isEmpty() ? QVariant() : QVariant(errori(righe))},
               {QStringLiteral("ID"), id}});
}

void chiudi(db::Connection& conn, qint64 id, int create, int inviate, int nonInviate, const QStringList& righe,
            const QString& esito)
{
    const QString testo = errori(righe);
    const QString fine = esito.trimmed().isEmpty() ? (testo.isEmpty() ? Completata : ConErrori)
                                                   : invii::unaRiga(esito).trimmed().left(255);
    conn.exec(QStringLiteral("UPDATE t_esecuzioni SET Fine = :Fine, \"Create\" = :C, Inviate = :I, NonInviate = :N, "
                             "Errori = :Err, Esito = :Esito WHERE ID = :ID"),
              {{QStringLiteral("Fine"), testoOra(sz::adesso())},
               {QStringLiteral("C"), create},
               {QStringLiteral("I"), inviate},
               {QStringLiteral("N"), nonInviate},
               {QStringLiteral("Err"), testo.isEmpty() ? QVariant() : QVariant(testo)},
               {QStringLiteral("Esito"), fine},
               {QStringLiteral("ID"), id}});
}

QList<Esecuzione> ultime(db::Connection& conn, int n)
{
    QString sql = QStringLiteral("SELECT ") + colonne + QStringLiteral(" FROM t_esecuzioni ORDER BY ID DESC");
    if (n > 0)
        sql += QStringLiteral(" LIMIT %1").arg(n);
    const db::Result r = conn.query(sql);
    Titolare titolare;
    const bool bloccato = occupato(conn, &titolare);
    QList<Esecuzione> out;
    out.reserve(r.rows.size());
    for (const auto& row : r.rows) {
        Esecuzione e = daRiga(row);
        if (e.esito == InCorso && !inCorsoDavvero(e, bloccato, titolare))
            e.esito = Interrotta;
        out << e;
    }
    return out;
}

} // namespace sz::esecuzioni
