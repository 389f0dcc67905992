#include "CliMigrate.h"

#include "Schema.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Error.h"
#include "scadenzio/Ini.h"
#include "scadenzio/Money.h"
#include "scadenzio/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>

namespace sz::cli {

namespace {

const QString uso = QStringLiteral(
    "Uso:\n"
    "  scadenzio-cli migrate --to postgresql://UTENTE@SERVER:5432/DATABASE\n"
    "  scadenzio-cli migrate --from postgresql://UTENTE@SERVER:5432/DATABASE [--file PERCORSO]");

// Rows read and written per statement: a register of any size holds one slice in memory.
constexpr int fetta = 2000;

QString nome(db::Connection& c, const QString& name)
{
    return c.dialect().quoteName(name);
}

// One of the program's tables that the source holds, with the columns both the program and the
// source have (ID first).
struct Tabella
{
    QString nome; // as the program spells it
    QStringList colonne;
    QStringList importi; // the CURRENCY columns among them
};

QVector<Tabella> tabelleDaCopiare(db::Connection& sorgente, const Output& io)
{
    QVector<Tabella> out;
    QStringList presenti = sorgente.tableNames();
    for (const schema::TableDef& def : schema::tables()) {
        const auto trovata = std::find_if(presenti.begin(), presenti.end(), [&](const QString& n) {
            return n.compare(def.name, Qt::CaseInsensitive) == 0;
        });
        if (trovata == presenti.end())
            continue; // the upgrade made it in the target as a new installation has it
        const QString comeSorgente = *trovata;
        presenti.erase(trovata);
        QStringList colonneSorgente;
        for (const db::Column& c : sorgente.tableColumns(comeSorgente))
            colonneSorgente << c.name;
        Tabella t{def.name, {}, {}};
        for (const schema::TFieldTable& f : def.fields) {
            const auto c = std::find_if(colonneSorgente.begin(), colonneSorgente.end(), [&](const QString& n) {
                return n.compare(f.FieldName, Qt::CaseInsensitive) == 0;
            });
            if (c == colonneSorgente.end())
                continue; // the target's column stays empty, as the upgrade leaves a new column
            colonneSorgente.erase(c);
            t.colonne << f.FieldName;
            if (f.FieldType.compare(QLatin1String("CURRENCY"), Qt::CaseInsensitive) == 0)
                t.importi << f.FieldName;
        }
        for (const QString& c : std::as_const(colonneSorgente))
            io.err(QStringLiteral("ATTENZIONE: la colonna %1 della tabella %2 non appartiene al programma e non viene copiata")
                       .arg(c, def.name));
        if (t.colonne.isEmpty() || t.colonne.first().compare(QLatin1String("ID"), Qt::CaseInsensitive) != 0)
            throw Error(QStringLiteral("la tabella %1 non ha la colonna ID: impossibile copiarla").arg(def.name));
        out.push_back(t);
    }
    for (const QString& n : std::as_const(presenti))
        io.err(QStringLiteral("ATTENZIONE: la tabella %1 non appartiene al programma e non viene copiata").arg(n));
    return out;
}

// The rows of the table in ID order, one slice at a time; colonne starts with ID.
void perRiga(db::Connection& c, const QString& tabella, const QStringList& colonne,
             const std::function<void(const QVector<QVariant>&)>& fn)
{
    QStringList scelte;
    for (const QString& col : colonne)
        scelte << nome(c, col);
    const QString id = nome(c, QStringLiteral("ID"));
    const QString base = QStringLiteral("SELECT %1 FROM %2").arg(scelte.join(QStringLiteral(", ")), nome(c, tabella));
    const QString coda = QStringLiteral(" ORDER BY %1 LIMIT %2").arg(id).arg(fetta);
    db::Statement prima(c, base + coda);
    db::Statement seguenti(c, base + QStringLiteral(" WHERE %1 > :ultimo").arg(id) + coda);
    db::Result r = prima.run();
    for (;;) {
        for (const auto& riga : std::as_const(r.rows))
            fn(riga);
        if (r.rows.size() < fetta)
            return;
        const QVariant ultimo = r.rows.last().first();
        r = seguenti.run({{QStringLiteral("ultimo"), ultimo}});
    }
}

// An amount with as many decimals as it has, two at least: a difference in the ten-thousandths
// must show.
QString importo(qint64 raw)
{
    QString s = Money::fromRaw(raw).toPlain(4);
    while (s.endsWith(QLatin1Char('0')) && s.size() - s.lastIndexOf(QLatin1Char(',')) > 3)
        s.chop(1);
    return QStringLiteral("€ ") + s;
}

struct Totali
{
    qint64 righe = 0;
    QVector<qint64> somme;   // one per amount column
    QVector<qint64> testi;   // values of an amount column that are not amounts
};

Totali totali(db::Connection& c, const Tabella& t)
{
    Totali out;
    out.somme.fill(0, t.importi.size());
    out.testi.fill(0, t.importi.size());
    out.righe = c.scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(nome(c, t.nome))).toLongLong();
    if (t.importi.isEmpty())
        return out;
    perRiga(c, t.nome, QStringList{QStringLiteral("ID")} + t.importi, [&](const QVector<QVariant>& riga) {
        for (int i = 0; i < t.importi.size(); ++i) {
            const QVariant& v = riga[i + 1];
            if (v.isNull())
                continue;
            if (v.userType() != qMetaTypeId<Money>()) {
                ++out.testi[i];
                continue;
            }
            if (__builtin_add_overflow(out.somme[i], v.value<Money>().raw(), &out.somme[i]))
                throw Error(QStringLiteral("la somma della colonna %1 della tabella %2 è fuori scala").arg(t.importi[i], t.nome));
        }
    });
    return out;
}

// What differs between the two sides of one table, one line each.
QStringList differenze(const Tabella& t, const Totali& file, const Totali& server)
{
    QStringList out;
    if (file.righe != server.righe)
        out << QStringLiteral("tabella %1, righe: file %2, server %3").arg(t.nome).arg(file.righe).arg(server.righe);
    for (int i = 0; i < t.importi.size(); ++i) {
        if (file.somme[i] != server.somme[i])
            out << QStringLiteral("tabella %1, colonna %2: file %3, server %4")
                       .arg(t.nome, t.importi[i], importo(file.somme[i]), importo(server.somme[i]));
        if (file.testi[i] != server.testi[i])
            out << QStringLiteral("tabella %1, colonna %2, valori che non sono importi: file %3, server %4")
                       .arg(t.nome, t.importi[i])
                       .arg(file.testi[i])
                       .arg(server.testi[i]);
    }
    return out;
}

// Both sides compared table by table; sorgenteFile says whether the source is the file.
QStringList confronta(const QVector<Tabella>& tabelle, db::Connection& sorgente, db::Connection& destinazione,
                      bool sorgenteFile)
{
    QStringList out;
    for (const Tabella& t : tabelle) {
        const Totali a = totali(sorgente, t);
        const Totali b = totali(destinazione, t);
        out << (sorgenteFile ? differenze(t, a, b) : differenze(t, b, a));
    }
    return out;
}

// Rows per INSERT: a statement per row would make a register of 100,000 credits wait on as many
// round trips to the server. The file's engine takes at most 999 values in one statement.
constexpr int valoriPerIstruzione = 900;
constexpr int righePerIstruzione = 20;

qint64 copiaTabella(db::Connection& sorgente, db::Connection& destinazione, const Tabella& t)
{
    // The upgrade wrote the seeds of a new installation; the source's rows take their place.
    destinazione.exec(QStringLiteral("DELETE FROM %1").arg(nome(destinazione, t.nome)));
    const int k = int(t.colonne.size());
    const int lotto = std::clamp(valoriPerIstruzione / std::max(k, 1), 1, righePerIstruzione);
    QStringList colonne;
    for (const QString& c : t.colonne)
        colonne << nome(destinazione, c);
    const QString testa = QStringLiteral("INSERT INTO %1 (%2) VALUES ")
                              .arg(nome(destinazione, t.nome), colonne.join(QStringLiteral(", ")));
    const auto istruzione = [&](int righe) {
        QStringList tuple;
        for (int r = 0; r < righe; ++r) {
            QStringList valori;
            for (int i = 0; i < k; ++i)
                valori << QStringLiteral(":v%1_%2").arg(r).arg(i);
            tuple << QLatin1Char('(') + valori.join(QStringLiteral(", ")) + QLatin1Char(')');
        }
        return testa + tuple.join(QStringLiteral(", "));
    };
    std::unique_ptr<db::Statement> pieno;
    db::Params p;
    QVector<QVector<QVariant>> attesa;
    qint64 n = 0;
    const auto scrivi = [&] {
        if (attesa.isEmpty())
            return;
        const int righe = int(attesa.size());
        p.clear();
        for (int r = 0; r < righe; ++r)
            for (int i = 0; i < k; ++i)
                p.push_back({QStringLiteral("v%1_%2").arg(r).arg(i), attesa[r][i]});
        try {
            if (righe == lotto) {
                if (!pieno)
                    pieno = std::make_unique<db::Statement>(destinazione, istruzione(lotto));
                pieno->run(p);
            } else {
                db::Statement(destinazione, istruzione(righe)).run(p);
            }
        } catch (const Error& e) {
            throw Error(QStringLiteral("tabella %1, righe con ID da %2 a %3: %4")
                            .arg(t.nome, attesa.first()[0].toString(), attesa.last()[0].toString(), e.message()));
        }
        n += righe;
        attesa.clear();
    };
    perRiga(sorgente, t.nome, t.colonne, [&](const QVector<QVariant>& riga) {
        attesa.push_back(riga);
        if (attesa.size() == lotto)
            scrivi();
    });
    scrivi();
    // Rows came with their IDs: the next one the database gives must follow the highest.
    destinazione.dialect().continueIds(destinazione, t.nome);
    return n;
}

struct Esito
{
    qint64 righe = 0;
    QStringList differenze;
};

// Every table copied in one transaction of the target, which is committed only when counts and
// sums match; then read again through a new connection, as a workstation will see it.
Esito copiaTutto(db::Connection& sorgente, db::Connection& destinazione, const QVector<Tabella>& tabelle,
                 bool sorgenteFile, const std::function<std::unique_ptr<db::Connection>()>& riapri,
                 const Output& io)
{
    Esito e;
    {
        // No other workstation writes into the source while it is read.
        db::Transaction lettura(sorgente);
        db::Transaction scrittura(destinazione);
        for (const Tabella& t : tabelle) {
            const qint64 n = copiaTabella(sorgente, destinazione, t);
            e.righe += n;
            io.err(n == 1 ? QStringLiteral("%1: 1 riga copiata").arg(t.nome)
                          : QStringLiteral("%1: %2 righe copiate").arg(t.nome).arg(n));
        }
        e.differenze = confronta(tabelle, sorgente, destinazione, sorgenteFile);
        if (!e.differenze.isEmpty())
            return e; // both transactions roll back
        scrittura.commit();
        std::unique_ptr<db::Connection> nuova = riapri();
        e.differenze = confronta(tabelle, sorgente, *nuova, sorgenteFile);
    }
    return e;
}

bool contieneTabelleProgramma(db::Connection& c, QStringList* quali = nullptr)
{
    const QStringList presenti = c.tableNames();
    bool trovate = false;
    for (const schema::TableDef& def : schema::tables())
        if (presenti.contains(def.name, Qt::CaseInsensitive)) {
            trovate = true;
            if (quali)
                *quali << def.name;
        }
    return trovate;
}

// A failed copy leaves the server database as it was found: the tables the upgrade made go.
void togliTabelle(const QString& uri, const Output& io)
{
    try {
        db::Connection c(uri);
        db::Transaction t(c);
        const QStringList presenti = c.tableNames();
        for (const schema::TableDef& def : schema::tables())
            if (presenti.contains(def.name, Qt::CaseInsensitive))
                c.exec(QStringLiteral("DROP TABLE %1").arg(nome(c, def.name)));
        t.commit();
    } catch (const Error& e) {
        io.err(QStringLiteral("ATTENZIONE: le tabelle create nel database del server non sono state tolte (%1): "
                              "eliminare il database e crearlo di nuovo prima di riprovare")
                   .arg(e.message()));
    }
}

void togliFile(const QString& path)
{
    for (const char* suffisso : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffisso));
}

int riportaDifferenze(const QStringList& d, const Output& io)
{
    for (const QString& riga : d)
        io.err(QStringLiteral("DIFFERENZA: ") + riga);
    io.err(QStringLiteral("La copia non corrisponde all'originale: Config.ini non è stato modificato."));
    return 1;
}

int versoServer(const QString& uri, const Output& io)
{
    const QString file = paths::LoadConnection();
    if (db::Connection::isServerAddress(file)) {
        io.err(QStringLiteral("Il database in uso è già sul server: migrate --to copia il file cifrato in uso "
                              "in un database del server."));
        return 2;
    }
    db::Connection sorgente(file);
    std::unique_ptr<db::Connection> destinazione = std::make_unique<db::Connection>(uri);
    QStringList gia;
    if (contieneTabelleProgramma(*destinazione, &gia)) {
        io.err(QStringLiteral("Il database del server contiene già le tabelle del programma (%1): la copia si fa "
                              "solo in un database vuoto. Config.ini non è stato modificato.")
                   .arg(gia.join(QStringLiteral(", "))));
        return 2;
    }
    const QVector<Tabella> tabelle = tabelleDaCopiare(sorgente, io);
    Esito e;
    try {
        schema::upgrade(*destinazione);
        e = copiaTutto(sorgente, *destinazione, tabelle, true, [&] { return std::make_unique<db::Connection>(uri); },
                       io);
    } catch (...) {
        destinazione.reset();
        togliTabelle(uri, io);
        throw;
    }
    if (!e.differenze.isEmpty()) {
        destinazione.reset();
        togliTabelle(uri, io);
        return riportaDifferenze(e.differenze, io);
    }
    try {
        writeConnectionString(paths::configIniPath(), uri);
    } catch (...) {
        togliTabelle(uri, io);
        throw;
    }
    io.out(QStringLiteral("Copiate %1 righe di %2 tabelle nel database del server; righe e importi coincidono "
                          "tabella per tabella.\nConfig.ini usa ora %3\n")
               .arg(e.righe)
               .arg(tabelle.size())
               .arg(uri));
    return 0;
}

QString fileBeside()
{
    const QString inUso = paths::LoadConnection();
    const QString cartella = db::Connection::isServerAddress(inUso) ? QFileInfo(paths::defaultDatabasePath()).absolutePath()
                                                    : QFileInfo(inUso).absolutePath();
    return cartella + QStringLiteral("/gestionale-dal-server-%1.mdb")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm")));
}

int dalServer(const QString& uri, QString path, const Output& io)
{
    if (path.isEmpty())
        path = fileBeside();
    path = QFileInfo(path).absoluteFilePath();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        io.err(QStringLiteral("Il file %1 esiste già: non viene sovrascritto. Indicarne un altro con --file.").arg(path));
        return 2;
    }
    db::Connection sorgente(uri);
    if (!contieneTabelleProgramma(sorgente)) {
        io.err(QStringLiteral("Il database del server non contiene le tabelle del programma: nulla da copiare."));
        return 2;
    }
    const QVector<Tabella> tabelle = tabelleDaCopiare(sorgente, io);
    db::Connection::createDatabase(path);
    Esito e;
    try {
        db::Connection destinazione(path);
        schema::upgrade(destinazione);
        e = copiaTutto(sorgente, destinazione, tabelle, false, [&] { return std::make_unique<db::Connection>(path); },
                       io);
    } catch (...) {
        togliFile(path);
        throw;
    }
    if (!e.differenze.isEmpty()) {
        togliFile(path);
        return riportaDifferenze(e.differenze, io);
    }
    try {
        writeConnectionString(paths::configIniPath(), path);
    } catch (...) {
        togliFile(path);
        throw;
    }
    io.out(QStringLiteral("Copiate %1 righe di %2 tabelle nel file %3; righe e importi coincidono tabella per "
                          "tabella.\nConfig.ini usa ora %3\n")
               .arg(e.righe)
               .arg(tabelle.size())
               .arg(path));
    return 0;
}

} // namespace

QString serverUriProblem(const QString& uri)
{
    if (!db::Connection::isServerAddress(uri))
        return QStringLiteral("l'indirizzo del server deve cominciare con postgresql://");
    for (const QChar c : uri)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("l'indirizzo del server contiene un carattere di controllo");
    const int inizio = int(uri.indexOf(QLatin1String("://"))) + 3;
    int fine = int(uri.size());
    for (const QChar c : {QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#')}) {
        const int i = int(uri.indexOf(c, inizio));
        if (i >= 0 && i < fine)
            fine = i;
    }
    const QString autorita = uri.mid(inizio, fine - inizio);
    const int chiocciola = int(autorita.lastIndexOf(QLatin1Char('@')));
    bool password = chiocciola >= 0 && autorita.left(chiocciola).contains(QLatin1Char(':'));
    const int domanda = int(uri.indexOf(QLatin1Char('?')));
    if (domanda >= 0) {
        const QStringList parametri = uri.mid(domanda + 1).split(QLatin1Char('&'));
        for (const QString& p : parametri) {
            // The passphrase of a client key is as secret as a password.
            const QString chiave =
                QUrl::fromPercentEncoding(p.section(QLatin1Char('='), 0, 0).toUtf8()).trimmed().toLower();
            password = password || chiave == QLatin1String("password") || chiave == QLatin1String("sslpassword");
        }
    }
    if (password)
        return QStringLiteral("l'indirizzo del server contiene una password: la password va nel file ~/.pgpass "
                              "(o si digita all'avvio del programma), mai nell'indirizzo né in Config.ini");
    return {};
}

void writeConnectionString(const QString& iniPath, const QString& value)
{
    for (const QChar c : value)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            throw Error(QStringLiteral("il valore di strConn contiene un carattere di controllo: Config.ini non è stato modificato"));

    QByteArray bytes;
    QFile::Permissions permessi = QFile::ReadOwner | QFile::WriteOwner;
    if (QFileInfo::exists(iniPath)) {
        QFile f(iniPath);
        if (!f.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("impossibile leggere %1: %2").arg(iniPath, f.errorString()));
        bytes = f.readAll();
        permessi = f.permissions();
    }
    // Read as the settings are read: UTF-8, or Latin-1 when it is not; written back as UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString testo = utf8.decode(bytes);
    if (utf8.hasError())
        testo = QString::fromLatin1(bytes);
    // The decoder drops a byte-order mark; the file keeps it.
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    if (testo.startsWith(QChar(0xFEFF)))
        testo.remove(0, 1);
    const QString fineRiga = testo.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");

    // Spaces around it or quotes at both ends would be taken off when it is read: quoted, it reads back whole.
    QString scritto = value;
    if (value != value.trimmed() || (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))))
        scritto = QLatin1Char('"') + value + QLatin1Char('"');

    QStringList righe = testo.split(QLatin1Char('\n'));
    int sezione = -1, chiave = -1;
    bool dentro = false;
    for (int i = 0; i < righe.size() && chiave < 0; ++i) {
        const QString t = righe[i].trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char(';')))
            continue;
        if (t.startsWith(QLatin1Char('['))) {
            const int chiusa = int(t.indexOf(QLatin1Char(']')));
            const QString n = (chiusa > 0 ? t.mid(1, chiusa - 1) : t.mid(1)).trimmed();
            dentro = n.compare(QLatin1String("ConnectionString"), Qt::CaseInsensitive) == 0;
            if (dentro && sezione < 0)
                sezione = i;
            continue;
        }
        const int uguale = int(t.indexOf(QLatin1Char('=')));
        if (dentro && uguale > 0 && t.left(uguale).trimmed().compare(QLatin1String("strConn"), Qt::CaseInsensitive) == 0)
            chiave = i;
    }
    if (chiave >= 0) {
        const QString& riga = righe[chiave];
        const QString cr = riga.endsWith(QLatin1Char('\r')) ? QStringLiteral("\r") : QString();
        righe[chiave] = riga.left(riga.indexOf(QLatin1Char('='))) + QLatin1Char('=') + scritto + cr;
        testo = righe.join(QLatin1Char('\n'));
    } else if (sezione >= 0) {
        const QString cr = righe[sezione].endsWith(QLatin1Char('\r')) ? QStringLiteral("\r") : QString();
        righe.insert(sezione + 1, QStringLiteral("strConn=") + scritto + cr);
        testo = righe.join(QLatin1Char('\n'));
    } else {
        if (!testo.isEmpty() && !testo.endsWith(QLatin1Char('\n')))
            testo += fineRiga;
        testo += QStringLiteral("[ConnectionString]") + fineRiga + QStringLiteral("strConn=") + scritto + fineRiga;
    }

    if (!paths::makePrivateFolder(QFileInfo(iniPath).absolutePath()))
        throw Error(QStringLiteral("impossibile creare la cartella di %1").arg(iniPath));
    QSaveFile f(iniPath);
    QByteArray out = testo.toUtf8();
    if (bom)
        out.prepend("\xEF\xBB\xBF");
    if (!f.open(QIODevice::WriteOnly) || !f.setPermissions(permessi) || f.write(out) != out.size() || !f.commit())
        throw Error(QStringLiteral("impossibile scrivere %1: %2. Config.ini non è stato modificato")
                        .arg(iniPath, f.errorString()));
    if (readIniValue(iniPath, QStringLiteral("ConnectionString"), QStringLiteral("strConn")) != value) {
        QSaveFile indietro(iniPath);
        if (indietro.open(QIODevice::WriteOnly) && indietro.setPermissions(permessi) &&
            indietro.write(bytes) == bytes.size())
            indietro.commit();
        throw Error(QStringLiteral("%1 non riporta il nuovo valore di strConn dopo la scrittura: rimesso com'era")
                        .arg(iniPath));
    }
}

int runMigrate(const QStringList& args, const Output& io)
{
    QString verso, da, file;
    bool conFile = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool valore = i + 1 < args.size();
        if (a == QLatin1String("--to") && valore && verso.isEmpty())
            verso = args[++i];
        else if (a == QLatin1String("--from") && valore && da.isEmpty())
            da = args[++i];
        else if (a == QLatin1String("--file") && valore && !conFile) {
            file = args[++i];
            conFile = true;
        } else {
            io.err(uso);
            return 2;
        }
    }
    if (verso.isEmpty() == da.isEmpty() || (conFile && da.isEmpty()) || (conFile && file.isEmpty())) {
        io.err(uso);
        return 2;
    }
    const QString uri = verso.isEmpty() ? da : verso;
    if (const QString problema = serverUriProblem(uri); !problema.isEmpty()) {
        io.err(QStringLiteral("Indirizzo non valido: ") + problema + QLatin1Char('.'));
        return 2;
    }
    for (const QChar c : file)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            io.err(QStringLiteral("Il percorso del file contiene un carattere di controllo: nulla è stato copiato."));
            return 2;
        }
    try {
        return verso.isEmpty() ? dalServer(uri, file, io) : versoServer(uri, io);
    } catch (const Error& e) {
        io.err(e.message());
        io.err(QStringLiteral("Config.ini non è stato modificato."));
        return 2;
    }
}

} // namespace sz::cli
