// Every list reads in the same order from the encrypted file and from the server. A register full
// of ties (the same days, the same amounts, names that differ only in letter case, a client, a
// bank and a saved import entered twice) is entered out of order, moved to the server with
// scadenzio-cli migrate and then edited on both sides alike, as a firm goes on working after the
// move. The server keeps edited rows elsewhere and sorts equal keys as it likes, so only a complete
// order gives the same rows: every listing of the command-line tool, the letters it makes, and the
// lists of the modules' rules are compared between the two.
//
// Names here are plain letters, digits and blanks: accented letters and punctuation sort
// differently on the server on purpose ("à" beside "a"), which is not what this test is about.
#include "ServerDatabase.h"
#include "TestEnv.h"

#include "ClientiLogic.h"
#include "ComunicazioniLogic.h"
#include "CreditiLogic.h"
#include "DocumentiEmessiLogic.h"
#include "ImportazioneLogic.h"
#include "ParametriLogic.h"
#include "SollecitiLogic.h"
#include "scadenzio/Database.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Esecuzioni.h"
#include "scadenzio/InteressiElenco.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Money.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

using sz::Money;
using sz::db::Connection;

namespace {

const QDate inizio(2026, 1, 31); // the first due day; every credit is long overdue
const QDate alInteressi(2026, 6, 30); // a half-year whose rates the upgrade enters

// One value as text with its kind, so that a number and the same digits as text differ.
QString valore(const QVariant& v)
{
    if (v.isNull())
        return QStringLiteral("NULL");
    if (v.userType() == qMetaTypeId<Money>())
        return QStringLiteral("money:%1").arg(v.value<Money>().raw());
    if (v.userType() == qMetaTypeId<sz::FormattedAmount>())
        return QStringLiteral("fmt:") + v.value<sz::FormattedAmount>().text();
    if (v.typeId() == QMetaType::QDate)
        return QStringLiteral("date:") + v.toDate().toString(Qt::ISODate);
    if (v.typeId() == QMetaType::Bool)
        return QStringLiteral("bool:%1").arg(v.toBool());
    if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
        return QStringLiteral("int:%1").arg(v.toLongLong());
    return QStringLiteral("text:") + v.toString();
}

QStringList righe(const sz::db::Result& r)
{
    QStringList out;
    QStringList nomi;
    for (const auto& c : r.columns)
        nomi << c.name.toLower();
    out << nomi.join(QLatin1Char('|'));
    for (const auto& row : r.rows) {
        QStringList campi;
        for (const QVariant& v : row)
            campi << valore(v);
        out << campi.join(QLatin1Char('|'));
    }
    return out;
}

QStringList righe(Connection& c, const QString& sql, const sz::db::Params& p = {})
{
    return righe(c.query(sql, p));
}

QStringList lettere(const QList<sz::invii::Invio>& elenco)
{
    QStringList out;
    for (const auto& v : elenco)
        out << QStringList{QString::number(v.id), QString::number(v.idCredito), v.cliente, v.numeroFattura,
                           v.fase, v.dataOra.toString(Qt::ISODate), v.canale, v.messageId, v.esito}
                   .join(QLatin1Char('|'));
    return out;
}

// The lines where two listings part, to read in the failure.
QString differenza(const QStringList& file, const QStringList& server)
{
    QStringList out;
    for (qsizetype i = 0; i < std::max(file.size(), server.size()); ++i) {
        const QString a = file.value(i), b = server.value(i);
        if (a != b)
            out << QStringLiteral("riga %1\n  file:   %2\n  server: %3").arg(i).arg(a, b);
    }
    return out.join(QLatin1Char('\n'));
}

#define COMPARE_LISTS(file, server, what)                                                                          \
    do {                                                                                                           \
        const QStringList a_ = (file), b_ = (server);                                                              \
        QVERIFY2(a_.size() > 1, qPrintable(QStringLiteral("%1: elenco vuoto").arg(what)));                         \
        QVERIFY2(a_ == b_, qPrintable(QStringLiteral("%1\n%2").arg(what, differenza(a_, b_))));                    \
    } while (false)

// The register as the firm enters it: names in several spellings, many credits on the same
// days for the same amounts, letters logged at the same second, in an order that is not the
// order of any list.
void riempi(Connection& c)
{
    const QString clienti = QStringLiteral(
        "INSERT INTO t_clienti (RagioneSociale, Indirizzo, CAP, Localita, Provincia, IVA, Mail1, TipoCliente) "
        "VALUES (:r, :i, '40100', 'BOLOGNA', 'BO', :iva, :m, :t)");
    // The first of a name entered twice is the one the letters and the interest read.
    const QList<QStringList> nomi = {{"VERDI SNC", "VIA LARGA 3", "IMPRESA"},
                                     {"Rossi Srl", "VIA GARIBALDI 5", "CONSUMATORE"},
                                     {"BIANCHI SPA", "VIA EMILIA 7", "IMPRESA"},
                                     {"ALFA 10 SRL", "VIA DEI MILLE 1", "PA"},
                                     {"ROSSI SRL", "CORSO ITALIA 9", "IMPRESA"},
                                     {"bianchi spa", "PIAZZA MAGGIORE 2", "CONSUMATORE"},
                                     {"ALFA 2 SRL", "VIA DEI MILLE 1", ""},
                                     {"rossi srl", "VIA INDIPENDENZA 11", "PA"}};
    for (int k = 0; k < nomi.size(); ++k)
        c.exec(clienti, {{"r", nomi[k][0]}, {"i", nomi[k][1]}, {"iva", QStringLiteral("0123456789%1").arg(k)},
                         {"m", QStringLiteral("cliente%1@esempio.it").arg(k)},
                         {"t", nomi[k][2].isEmpty() ? QVariant() : QVariant(nomi[k][2])}});

    const QString banche = QStringLiteral("INSERT INTO t_banche (Nome, Agenzia, IBAN) VALUES (:n, :a, :i)");
    c.exec(banche, {{"n", "BANCA UNO"}, {"a", "FILIALE CENTRO"}, {"i", "IT60X0542811101000000123456"}});
    c.exec(banche, {{"n", "BANCA DUE"}, {"a", "FILIALE NORD"}, {"i", "IT60X0542811101000000654321"}});
    c.exec(banche, {{"n", "banca uno"}, {"a", "FILIALE SUD"}, {"i", "IT60X0542811101000000111111"}});
    c.exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3) "
                          "VALUES ('bonifico', 0, 5, 15, 30)"));

    // 48 instalments of 12 documents, four each, two by two on the same day; entered in a
    // scrambled order (29 and 48 are coprime, so each index comes once).
    const QStringList spellings = {"ROSSI SRL", "Rossi Srl", "rossi srl", "BIANCHI SPA", "bianchi spa", "VERDI SNC"};
    const QString crediti = QStringLiteral(
        "INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Cliente, DestinatarioFattura, "
        "ModalitaPagamento, Banca, Importo, Incassato, Residuo, ImportoTotale, Pagato, Stato, Preavviso, Sollecito1) "
        "VALUES (:n, :df, :s, :c, :c, :m, :b, :i, :inc, :r, :t, 'NO', 'APERTA', :p, :s1)");
    for (int k = 0; k < 48; ++k) {
        const int j = (k * 29) % 48;
        const int doc = j / 4;
        const Money importo = Money::fromCents(j % 3 ? 100000 : 50000);
        const Money incassato = Money::fromCents(j % 5 == 0 ? 20000 : 0);
        c.exec(crediti, {{"n", QStringLiteral("FT %1").arg(doc + 1)},
                         {"df", QDate(2025, 12, 1).addDays(doc % 3)},
                         {"s", j % 4 < 2 ? inizio : inizio.addDays(28)},
                         {"c", spellings[doc % spellings.size()]},
                         {"m", j % 2 ? "BONIFICO" : "bonifico"},
                         {"b", j % 2 ? "BANCA UNO" : "banca uno"},
                         {"i", QVariant::fromValue(importo)},
                         {"inc", QVariant::fromValue(incassato)},
                         {"r", QVariant::fromValue(importo - incassato)},
                         {"t", QVariant::fromValue(Money::fromCents(400000))},
                         {"p", j % 3 ? QVariant(QDate(2026, 3, 2)) : QVariant()},
                         {"s1", j % 3 == 2 ? QVariant(QDate(2026, 3, 20)) : QVariant()}});
    }

    // The letter log: letters of one run share their second, some of them one certified mail.
    const QString invii = QStringLiteral(
        "INSERT INTO t_invii (IDCredito, Cliente, NumeroFattura, DataFattura, Fase, Modo, DataOra, File, Canale, "
        "Destinatari, MessageID, Esito, Postazione) VALUES (:id, :c, :n, :df, :f, :modo, :d, :file, :canale, "
        "'cliente1@esempio.it', :mid, :e, 'UFFICIO (mario)')");
    for (int k = 0; k < 24; ++k) {
        const int j = (k * 7) % 24;
        const bool pec = j % 3 == 0;
        c.exec(invii, {{"id", 1 + (j * 5) % 48},
                       {"c", spellings[j % spellings.size()]},
                       {"n", QStringLiteral("FT %1").arg(1 + j % 12)},
                       {"df", QDate(2025, 12, 1)},
                       {"f", j % 2 ? "PREAVVISO" : "SOLLECITO1"},
                       {"modo", j % 4 < 2 ? "DOCUMENTO" : "CLIENTE"},
                       {"d", j < 12 ? "2026-03-02 09:00:00" : "2026-03-20 09:00:00"},
                       {"file", QStringLiteral("Archivio/2026/Lettera %1.pdf").arg(j % 6)},
                       {"canale", pec ? "PEC" : "EMAIL"},
                       {"mid", pec ? QVariant(QStringLiteral("<lettera%1@pec.esempio.it>").arg(j % 2)) : QVariant()},
                       {"e", j % 5 == 0 ? "NON INVIATA: 550 casella piena" : "INVIATA"}});
    }
    const QString ricevute = QStringLiteral("INSERT INTO t_ricevute (MessageID, Tipo, Destinatario, DataOra, Gestore, "
                                            "Identificativo) VALUES (:mid, :t, :d, '2026-03-02 09:00:05', 'GESTORE', :i)");
    for (int k = 0; k < 6; ++k)
        c.exec(ricevute, {{"mid", QStringLiteral("<lettera%1@pec.esempio.it>").arg(k % 2)},
                          {"t", k < 2 ? "accettazione" : "avvenuta-consegna"},
                          {"d", QStringLiteral("cliente%1@esempio.it").arg(k % 3)},
                          {"i", QStringLiteral("opec.%1").arg(k)}});

    const QString esecuzioni = QStringLiteral(
        "INSERT INTO t_esecuzioni (Inizio, Fine, Postazione, Avvio, Modo, Canale, %1, Inviate, NonInviate, Errori, "
        "Esito) VALUES ('2026-03-02 09:00:00', :fine, 'UFFICIO', 'TIMER', 'DOCUMENTO', 'MAIL', 3, 2, 1, :err, :e)")
                                   .arg(c.dialect().quoteName(QStringLiteral("Create")));
    for (int k = 0; k < 5; ++k)
        c.exec(esecuzioni, {{"fine", k % 2 ? QVariant() : QVariant("2026-03-02 09:01:00")},
                            {"err", k % 2 ? QVariant("Documento N°FT 1: 550 casella piena") : QVariant()},
                            {"e", k % 2 ? "INTERROTTA" : "COMPLETATA"}});

    // A template kind and an import setting saved twice: the first row is the one in use.
    c.exec(QStringLiteral("INSERT INTO t_comunicazioni (Tipologia, Oggetto, Introduzione, Finale) VALUES "
                          "('GENERICA', 'Copia', 'Testo della copia', 'Saluti dalla copia')"));
    const QString parametri = QStringLiteral("INSERT INTO t_parametriImportazioni (Estensione, Delimitatore, "
                                             "TipologiaImportazione) VALUES (:e, :d, 'Fatture')");
    const QString mappatura = QStringLiteral("INSERT INTO t_mappaturaImportazioniFatture (IDParametriImportazioni, "
                                             "NumeroFattura, Cliente) VALUES (:id, :n, :c)");
    for (const char* d : {";", ","}) {
        c.exec(parametri, {{"e", ".csv"}, {"d", d}});
        const QString id = QString::number(c.lastInsertId());
        c.exec(mappatura, {{"id", id}, {"n", QStringLiteral("NUMERO%1").arg(d)}, {"c", "CLIENTE"}});
        c.exec(mappatura, {{"id", id}, {"n", QStringLiteral("DOC%1").arg(d)}, {"c", "RAGIONE SOCIALE"}});
    }
}

// After the move the firm goes on: a telephone number here, a note there, a name written
// again with other capitals. The server keeps an edited row apart from where it was, and a
// renamed one apart in the index of names too; the file keeps its place.
void modifica(Connection& c)
{
    c.exec(QStringLiteral("UPDATE t_clienti SET Telefono = '051 123456' WHERE ID IN (1, 2, 3)"));
    c.exec(QStringLiteral("UPDATE t_clienti SET RagioneSociale = 'Rossi srl' WHERE ID = 2"));
    c.exec(QStringLiteral("UPDATE t_banche SET Nome = 'Banca Uno', Agenzia = 'FILIALE CENTRO STORICO' WHERE ID = 1"));
    c.exec(QStringLiteral("UPDATE t_parametri SET Modalita = 'Bonifico', GiorniTraSolleciti = 0 WHERE ID = 1"));
    c.exec(QStringLiteral("UPDATE t_crediti SET Note = 'sollecitato al telefono' WHERE ID < 20"));
    c.exec(QStringLiteral("UPDATE t_invii SET Postazione = 'UFFICIO 2 (anna)' WHERE ID < 8"));
    c.exec(QStringLiteral("UPDATE t_comunicazioni SET Finale = Finale WHERE ID < 4"));
    c.exec(QStringLiteral("UPDATE t_parametriImportazioni SET Estensione = '.txt' WHERE ID = 1"));
    c.exec(QStringLiteral("UPDATE t_mappaturaImportazioniFatture SET Cliente = 'CLIENTE' WHERE ID = 1"));
}

QString configIni(const TestEnv& env)
{
    return env.configHome() + QStringLiteral("/Scadenzio/Config/Config.ini");
}

// Points the command-line tool at the file or at the server.
void usa(const TestEnv& env, const QString& database)
{
    QFile f(configIni(env));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QString ini = QString::fromUtf8(f.readAll());
    f.close();
    ini.replace(QRegularExpression(QStringLiteral("^strConn=.*$"), QRegularExpression::MultilineOption),
                QStringLiteral("strConn=") + database);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(ini.toUtf8());
}

QByteArray contenuto(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPgLists : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commandLineListings();
    void moduleLists();
    // Last: the letters write their stages and the log.
    void lettersOfNamesEnteredTwice();

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<ServerDatabase> m_server;
    QString m_file;

    // The tool's output on one side: exit code, standard output, standard error, as lines.
    QStringList cli(const QString& database, const QStringList& args);
};

void TestPgLists::initTestCase()
{
    NEED_SERVER();
    m_env = std::make_unique<TestEnv>();
    const auto up = TestEnv::runCli({QStringLiteral("upgrade")}, m_env->home());
    QVERIFY2(up.code == 0, qPrintable(up.err));
    m_file = m_env->documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb");
    {
        Connection c(m_file);
        riempi(c);
    }
    m_server = std::make_unique<ServerDatabase>();
    const auto to = TestEnv::runCli({QStringLiteral("migrate"), QStringLiteral("--to"), m_server->uri()});
    QVERIFY2(to.code == 0, qPrintable(to.err + to.out));
    for (const QString& where : {m_file, m_server->uri()}) {
        Connection c(where);
        modifica(c);
    }
}

void TestPgLists::cleanupTestCase()
{
    m_server.reset();
    m_env.reset();
}

QStringList TestPgLists::cli(const QString& database, const QStringList& args)
{
    usa(*m_env, database);
    const auto r = TestEnv::runCli(args, m_env->home());
    return QStringList{QStringLiteral("uscita %1").arg(r.code)} + r.out.split(QLatin1Char('\n')) +
           QStringList{QStringLiteral("--- errori")} + r.err.split(QLatin1Char('\n'));
}

// Each listing command prints the same lines, and writes the same spreadsheet, on both sides.
void TestPgLists::commandLineListings()
{
    const QString csv = m_env->home() + QStringLiteral("/elenco.csv");
    const QList<QStringList> comandi = {
        {"dunning", "list"},
        {"dunning", "list", "--per-client"},
        {"dunning", "list", "--per-client", "--client", "rossi srl"},
        {"dunning", "run", "--dry-run", "--pdf-only"},
        {"dunning", "run", "--dry-run", "--pdf-only", "--per-client"},
        {"dunning", "runs"},
        {"dunning", "runs", "--last", "3"},
        {"letters", "log"},
        {"letters", "log", "--client", "ROSSI SRL"},
        {"report", "issued"},
        {"report", "issued", "--tipo", "Sollecito1", "--cliente", "rossi"},
        {"report", "issued", "--elenco", "tutte"},
        {"report", "issued", "--elenco", "tutte", "--dal", "02/03/2026", "--al", "02/03/2026"},
        {"pec", "status", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24"},
        {"interest", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "--al", "30/06/2026"},
    };
    for (const QStringList& args : comandi) {
        const QStringList file = cli(m_file, args);
        const QStringList server = cli(m_server->uri(), args);
        COMPARE_LISTS(file, server, args.join(QLatin1Char(' ')));
    }
    // The spreadsheets of the lists, byte for byte.
    for (const QStringList& args : QList<QStringList>{{"dunning", "list", "--csv", csv},
                                                      {"dunning", "list", "--per-client", "--csv", csv},
                                                      {"report", "issued", "--csv", csv},
                                                      {"report", "issued", "--elenco", "tutte", "--csv", csv}}) {
        cli(m_file, args);
        const QByteArray file = contenuto(csv);
        QFile::remove(csv);
        cli(m_server->uri(), args);
        const QByteArray server = contenuto(csv);
        QFile::remove(csv);
        QVERIFY2(file.count('\n') > 2, qPrintable(args.join(QLatin1Char(' '))));
        QVERIFY2(file == server, qPrintable(args.join(QLatin1Char(' ')) + QStringLiteral("\n") +
                                            differenza(QString::fromUtf8(file).split(QLatin1Char('\n')),
                                                       QString::fromUtf8(server).split(QLatin1Char('\n')))));
    }
}

// A client whose name was entered twice gets its letters addressed as its first entry says,
// with the banks in the order they were entered, from either side. Made on the server first,
// then on the file, whose register the server's letters left untouched.
void TestPgLists::lettersOfNamesEnteredTwice()
{
    QStringList rossi;
    {
        Connection c(m_file);
        const auto r = c.query(QStringLiteral("SELECT ID FROM t_crediti WHERE Cliente = 'rossi srl' ORDER BY ID"));
        for (const auto& row : r.rows)
            rossi << row[0].toString();
    }
    QVERIFY(rossi.size() >= 4);
    const QList<QStringList> comandi = {{"dunning", "pdf", rossi.first()},
                                        {"dunning", "pdf", "--per-client", rossi.join(QLatin1Char(','))}};
    for (const QStringList& args : comandi) {
        QStringList testi[2];
        const QString dove[2] = {m_server->uri(), m_file};
        for (int i = 0; i < 2; ++i) {
            usa(*m_env, dove[i]);
            const auto r = TestEnv::runCli(args, m_env->home());
            QVERIFY2(r.code == 0, qPrintable(r.err + r.out));
            const QString pdf = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(0).section(QLatin1Char('\t'), 0, 0);
            QVERIFY2(QFileInfo::exists(pdf), qPrintable(r.out));
            testi[i] = TestEnv::pdfText(pdf).split(QLatin1Char('\n'));
            QFile::remove(pdf);
        }
        const QString testo = testi[1].join(QLatin1Char('\n'));
        QVERIFY2(testo.contains(QStringLiteral("VIA GARIBALDI 5")), qPrintable(testo));
        QVERIFY2(!testo.contains(QStringLiteral("CORSO ITALIA")), qPrintable(testo));
        COMPARE_LISTS(testi[1], testi[0], args.join(QLatin1Char(' ')));
    }
}

// The lists of the modules' rules, row by row and value by value.
void TestPgLists::moduleLists()
{
    Connection file(m_file);
    Connection server(m_server->uri());
    const QDate oggi = QDate::currentDate();
    Connection* lati[2] = {&file, &server};
    const auto ogniLato = [&](const std::function<QStringList(Connection&)>& leggi, const QString& cosa) {
        COMPARE_LISTS(leggi(file), leggi(server), cosa);
    };

    using namespace sz;
    ogniLato([&](Connection& c) { return righe(c, dunning::sqlCreditiPerDocumento(), dunning::parametriLista(oggi)); },
             QStringLiteral("solleciti per documento"));
    ogniLato([&](Connection& c) { return righe(c, dunning::sqlCreditiPerCliente(false), dunning::parametriLista(oggi)); },
             QStringLiteral("solleciti per cliente"));
    ogniLato([&](Connection& c) {
        return righe(c, dunning::sqlCreditiPerCliente(true), dunning::parametriLista(oggi, QStringLiteral("Rossi SRL")));
    }, QStringLiteral("solleciti di un cliente"));
    ogniLato([&](Connection& c) { return QStringList{QString()} + dunning::LoadComboClienti(c, oggi); },
             QStringLiteral("clienti da sollecitare"));
    // The combo names each client once, as its latest open credit spells it.
    QCOMPARE(dunning::LoadComboClienti(file, oggi),
             (QStringList{"bianchi spa", "rossi srl", "VERDI SNC"}));
    // Interest by the kind of client, which a name entered twice takes from its first entry.
    ogniLato([&](Connection& c) {
        auto r = c.query(dunning::sqlCreditiPerDocumento(), dunning::parametriLista(oggi));
        interessi::aggiungiColonne(c, r, alInteressi);
        return righe(r);
    }, QStringLiteral("solleciti con gli interessi"));

    ogniLato([&](Connection& c) { return righe(c, credits::SqlCrediti, credits::parametriElenco(oggi)); },
             QStringLiteral("registro dei crediti"));
    ogniLato([&](Connection& c) { return righe(c, credits::SqlClienti); }, QStringLiteral("clienti del registro"));
    ogniLato([&](Connection& c) { return righe(c, credits::SqlBanche); }, QStringLiteral("banche del registro"));
    ogniLato([&](Connection& c) { return righe(c, credits::SqlParametri); }, QStringLiteral("modalità del registro"));
    ogniLato([&](Connection& c) {
        return righe(c, credits::SqlScadenze, credits::parametriDocumento(QStringLiteral("ft 3"), QDate(2025, 12, 3)));
    }, QStringLiteral("rate di un documento"));

    ogniLato([&](Connection& c) { return righe(c, clienti::sqlClienti, clienti::parametriClienti(oggi)); },
             QStringLiteral("anagrafica clienti"));
    ogniLato([&](Connection& c) { return righe(c, params::sqlParametri); }, QStringLiteral("parametri globali"));
    ogniLato([&](Connection& c) {
        return righe(c, letters::sqlComunicazione(), letters::parametriComunicazione(QStringLiteral("GENERICA")));
    }, QStringLiteral("modello della comunicazione"));
    ogniLato([&](Connection& c) {
        const issued::Istruzione i = issued::sqlDocumentiEmessi(issued::Filtro(), issued::ordineDaSort(QStringLiteral("Cliente DESC")));
        return righe(c, i.sql, i.params);
    }, QStringLiteral("documenti emessi per cliente"));

    // Import settings saved twice are read from the row saved first.
    for (Connection* c : lati) {
        const auto imp = importazione::CaricaImpostazione(*c, importazione::Tipo::Fatture);
        QCOMPARE(imp.estensione, QStringLiteral(".txt"));
        QCOMPARE(imp.delimitatore, QStringLiteral(";"));
        const auto scelte = importazione::CaricaMappatura(*c, importazione::Tipo::Fatture);
        QCOMPARE(scelte.value(QStringLiteral("NumeroFattura")), QStringLiteral("NUMERO;"));
    }

    ogniLato([&](Connection& c) { return QStringList{QString()} + lettere(invii::elenco(c, {})); },
             QStringLiteral("registro delle comunicazioni"));
    ogniLato([&](Connection& c) {
        invii::Filtro f;
        f.cliente = QStringLiteral("ROSSI srl");
        return QStringList{QString()} + lettere(invii::elenco(c, f));
    }, QStringLiteral("comunicazioni di un cliente"));
    ogniLato([&](Connection& c) { return QStringList{QString()} + lettere(invii::storico(c, 6)); },
             QStringLiteral("storico di un credito"));
    ogniLato([&](Connection& c) {
        QStringList out{QString()};
        for (const auto& e : esecuzioni::ultime(c, 0))
            out << QStringLiteral("%1|%2|%3").arg(e.id).arg(e.esito, e.errori.join(QLatin1Char('/')));
        return out;
    }, QStringLiteral("esecuzioni"));
}

QTEST_GUILESS_MAIN(TestPgLists)
#include "tst_pg_lists.moc"
