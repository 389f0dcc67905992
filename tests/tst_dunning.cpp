// The dunning rules without a window: which credits are due at which stage, the list
// filter, the archive, and the letter runs with their write-back, on a real database and
// real PDF files.
#include "DunningData.h"
#include "Lettere.h"
#include "Posta.h"
#include "SollecitiLogic.h"
#include "TestEnv.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace sz::dunning;
using dunningdata::Credito;
using sz::Money;

namespace {

const QDate oggi(2026, 12, 7);

QString programFolder()
{
    return QStringLiteral(SZ_PROGRAM_DIR "/");
}

// IDs and stage keywords of the per-document list, in its order.
QStringList dovuti(sz::db::Connection& c, const QDate& giorno = oggi)
{
    const auto r = c.query(sqlCreditiPerDocumento(), parametriLista(giorno));
    QStringList out;
    for (int i = 0; i < r.rows.size(); ++i)
        out << r.value(i, QStringLiteral("NumeroFattura")).toString() + QLatin1Char(':') + parolaChiave(faseRiga(r, i));
    return out;
}

QVariant colonna(sz::db::Connection& c, qint64 id, const QString& col)
{
    return c.scalar(QStringLiteral("SELECT %1 FROM t_crediti WHERE ID = :ID").arg(col), {{QStringLiteral("ID"), id}});
}

} // namespace

class TestDunning : public QObject
{
    Q_OBJECT

private slots:
    void init() { GListaErrori.clear(); }

    // The thresholds of the seeded payment modes, at each boundary.
    void stageThresholds()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        auto add = [&](const char* n, int giorni, QList<QDate> fasi = {}, const char* modo = "BONIFICO") {
            Credito k;
            k.numero = QLatin1String(n);
            k.scadenza = oggi.addDays(giorni);
            k.fasi = fasi;
            k.modalita = QLatin1String(modo);
            return dunningdata::aggiungi(c, k);
        };
        const QDate d = oggi.addDays(-60);
        add("IN5", 5);                        // advance notice from five days before
        add("IN6", 6);                        // not yet
        add("P4", -4, {d});                   // first reminder from five days after
        add("P5", -5, {d});
        add("S2", -15, {d, d});               // second at fifteen
        add("S2NO", -14, {d, d});
        add("S3", -30, {d, d, d});
        add("SOFF", -30, {d, d, d, d});       // bad debt keeps the third reminder's threshold
        add("SOFFNO", -29, {d, d, d, d});
        add("LOWER", 0, {}, "bonifico");      // the mode is matched without regard to case
        add("NOMODE", -90, {}, "CARTA DI CREDITO");
        QCOMPARE(dovuti(c), (QStringList{"S3:SOLLECITO3", "SOFF:IN SOFFERENZA", "S2:SOLLECITO2", "P5:SOLLECITO1",
                                         "LOWER:PREAVVISO", "IN5:PREAVVISO"}));

        // The per-client list labels the stage; the client box names the due clients once.
        const auto r = c.query(sqlCreditiPerCliente(false), parametriLista(oggi));
        QCOMPARE(r.value(0, QStringLiteral("Comunicazione")).toString(), QStringLiteral("3° SOLLECITO"));
        QCOMPARE(r.value(1, QStringLiteral("Comunicazione")).toString(), QStringLiteral("IN SOFFERENZA"));
        QCOMPARE(r.value(3, QStringLiteral("Comunicazione")).toString(), QStringLiteral("1° SOLLECITO"));
        QCOMPARE(r.value(3, QStringLiteral("ImportoResiduo")).value<sz::FormattedAmount>().text(),
                 QStringLiteral("€ 1.000,00"));
        QCOMPARE(LoadComboClienti(c, oggi), QStringList{QStringLiteral("ROSSI SRL")});
    }

    // Only open, unpaid credits are ever listed; values that used to be pasted into the
    // statement now travel as values.
    void openCreditsAndUnsafeValues()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        auto add = [&](const char* n, const QString& modo, QVariant pagato, const char* stato = "APERTA") {
            Credito k;
            k.numero = QLatin1String(n);
            k.scadenza = oggi;
            k.modalita = modo;
            k.pagato = pagato;
            k.stato = QLatin1String(stato);
            dunningdata::aggiungi(c, k);
        };
        add("PAGATO", QStringLiteral("BONIFICO"), QStringLiteral("SI"));
        add("NULLO", QStringLiteral("BONIFICO"), QVariant());
        add("CHIUSA", QStringLiteral("BONIFICO"), QStringLiteral("NO"), "CHIUSA");
        add("PARZ", QStringLiteral("BONIFICO"), QStringLiteral("PARZ."));
        add("APOS", QStringLiteral("CONTRASSEGNO D'ORO"), QStringLiteral("NO"));
        c.exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3) "
                              "VALUES (:M, 0, 5, 15, 30)"),
               {{QStringLiteral("M"), QStringLiteral("contrassegno d'oro")}});
        QCOMPARE(dovuti(c), (QStringList{"PARZ:PREAVVISO", "APOS:PREAVVISO"}));

        c.exec(QStringLiteral("DELETE FROM t_parametri"));
        QCOMPARE(dovuti(c), QStringList());
        QCOMPARE(LoadComboClienti(c, oggi), QStringList());
    }

    // The record filter of the per-document list: a row matches when any of the five text
    // columns holds the text and the stage and date clauses hold too.
    void filterComposition()
    {
        GFiltroStato = clausolaFase(FiltroFase::Sollecito1);
        GFiltroScadenza.clear();
        GFiltroEdit = clausolaTesto(QStringLiteral("ros"));
        const QString f = GestisciFiltro(QStringLiteral("ros"));
        QVERIFY(f.startsWith(QStringLiteral("([NumeroFattura] like '%ros%' AND ([Preavviso] <> null AND "
                                            "[Sollecito1] = null)) OR ([Cliente] like '%ros%'")));
        QCOMPARE(f.count(QStringLiteral(" AND ([Preavviso] <> null")), 5);

        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        const QDate d = oggi.addDays(-40);
        auto add = [&](const char* n, const char* cliente, QList<QDate> fasi, QDate scad) {
            Credito k;
            k.numero = QLatin1String(n);
            k.cliente = QLatin1String(cliente);
            k.fasi = fasi;
            k.scadenza = scad;
            dunningdata::aggiungi(c, k);
        };
        add("A", "ROSSI SRL", {d}, oggi.addDays(-10));
        add("B", "ROSSI SRL", {}, oggi.addDays(-10));
        add("C", "VERDI SPA", {d}, oggi.addDays(-10));
        add("D", "PROSPERO SNC", {d}, oggi.addDays(-20));
        sz::db::Dataset list(c);
        list.setSql(sqlCreditiPerDocumento(), parametriLista(oggi));
        list.open();
        auto visibili = [&] {
            QStringList out;
            for (int i = 0; i < list.recordCount(); ++i)
                out << list.valueAt(i, list.fieldIndex(QStringLiteral("NumeroFattura"))).toString();
            return out;
        };
        list.setFilter(f);
        QCOMPARE(visibili(), (QStringList{"D", "A"}));
        GFiltroScadenza = clausolaScadenza(sz::dates::toDisplay(oggi.addDays(-10)));
        list.setFilter(GestisciFiltro(QStringLiteral("ros")));
        QCOMPARE(visibili(), QStringList{"A"});
        // A date typed halfway removes the date clause; "Tutti" and an empty box show all.
        GFiltroScadenza = clausolaScadenza(QStringLiteral("27/11/20  "));
        GFiltroStato = clausolaFase(FiltroFase::Tutti);
        GFiltroEdit = clausolaTesto(QString());
        QVERIFY(GestisciFiltro(QString()).isEmpty());
        list.setFilter(GestisciFiltro(QString()));
        QCOMPARE(list.recordCount(), 4);
    }

    void colours()
    {
        const QVariant mille = QVariant::fromValue(Money::fromCents(100000));
        const QVariant zero = QVariant::fromValue(Money());
        const QVariant data(oggi);
        QCOMPARE(evidenzaCella(QStringLiteral("ImportoResiduo"), mille, zero, mille, {}), Evidenza::Allarme);
        QCOMPARE(evidenzaCella(QStringLiteral("ImportoResiduo"), mille, mille, zero, {}), Evidenza::Nessuna);
        QCOMPARE(evidenzaCella(QStringLiteral("ImportoIncassato"), mille, mille, zero, {}), Evidenza::Incassato);
        QCOMPARE(evidenzaCella(QStringLiteral("ImportoIncassato"), mille, zero, mille, {}), Evidenza::Nessuna);
        // A bad debt is red in every column, the collected one too.
        QCOMPARE(evidenzaCella(QStringLiteral("Cliente"), mille, mille, zero, data), Evidenza::Allarme);
        QCOMPARE(evidenzaCella(QStringLiteral("ImportoIncassato"), mille, mille, zero, data), Evidenza::Allarme);
    }

    void archiveNamesAndTexts()
    {
        const QDate giorno(2013, 6, 27);
        QCOMPARE(nomeFilePerDocumento(giorno, Fase::Sollecito1, QStringLiteral(" 12/A "), QDate(2013, 6, 20)),
                 QStringLiteral("20130627_SOLLECITO1_FATT12A_SCAD20130620.pdf"));
        QCOMPARE(cartellaPerDocumento(QStringLiteral("/d/"), Fase::Preavviso, giorno),
                 QStringLiteral("/d/Archivio/Solleciti per Fattura/Preavvisi/2013-06-27/"));
        QCOMPARE(cartellaPerDocumento(QStringLiteral("/d/"), Fase::InSofferenza, giorno),
                 QStringLiteral("/d/Archivio/Solleciti per Fattura/Solleciti/2013-06-27/"));
        QCOMPARE(nomeFilePerCliente(giorno, QStringLiteral("A\"*/:<>?\\|B & C ")),
                 QStringLiteral("20130627_AB & C.pdf"));
        // A name past the file system's limit is shortened, never the extension, never
        // in the middle of a character.
        const QString lungo = nomeFilePerCliente(giorno, QString(250, QChar(0x00C8)));
        QVERIFY(lungo.toUtf8().size() <= 255);
        QVERIFY(lungo.endsWith(QStringLiteral(".pdf")));
        QVERIFY(lungo.startsWith(QStringLiteral("20130627_ÈÈ")));
        QVERIFY(!lungo.contains(QChar::ReplacementCharacter));

        QCOMPARE(FormattaValuta(*Money::parse(QStringLiteral("100,50")) + *Money::parse(QStringLiteral("1.234,00"))),
                 QStringLiteral("€ 1.334,50"));
        QCOMPARE(FormattaValuta(QString()), QStringLiteral("€ 0,00"));
        QCOMPARE(FormattaValuta(QStringLiteral("1234567,5")), QStringLiteral("€ 1.234.567,50"));

        Valori cliente{{QStringLiteral("Indirizzo"), QStringLiteral(" VIA ROMA 1 ")},
                       {QStringLiteral("CAP"), QStringLiteral("20100")},
                       {QStringLiteral("Localita"), QStringLiteral("MILANO")},
                       {QStringLiteral("Provincia"), QStringLiteral("MI")},
                       {QStringLiteral("IVA"), QStringLiteral("01234567890")},
                       {QStringLiteral("Mail2"), QStringLiteral("b@x.it")}};
        QCOMPARE(IntestazioneCliente(cliente),
                 QStringLiteral("VIA ROMA 1\r20100 MILANO (MI)\rP.IVA: 01234567890\rMail #2: b@x.it"));
        cliente.remove(QStringLiteral("Provincia"));
        QCOMPARE(IntestazioneCliente(cliente), QStringLiteral("P.IVA: 01234567890\rMail #2: b@x.it"));
        QCOMPARE(IntestazioneCliente({}), QString());
    }

    // Text from the register never shapes a file name: control characters (a NUL would
    // cut the name where the system reads it) and the bidirectional controls are dropped.
    void fileNamesWithoutControls()
    {
        const QDate giorno(2013, 6, 27);
        const QString sporco = QStringLiteral("12") + QChar(0) + QStringLiteral("A\r\n\t") + QChar(0x7F) +
                               QChar(0x85) + QChar(0x1B) + QStringLiteral("B") + QChar(0x2028) + QChar(0x2029);
        QCOMPARE(pulisciNomeFile(sporco), QStringLiteral("12AB"));
        QCOMPARE(nomeFilePerDocumento(giorno, Fase::Preavviso, sporco, QDate(2013, 6, 20)),
                 QStringLiteral("20130627_PREAVVISO_FATT12AB_SCAD20130620.pdf"));
        // "ROSSI<RLO>fdp.exe" would show as "ROSSIexe.pdf"; every override, embedding and
        // isolate goes, the letters and the other scripts stay.
        QString bidi = QStringLiteral("ROSSI");
        for (char16_t c : {0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069})
            bidi += QChar(c);
        bidi += QStringLiteral("fdp.exe È ") + QString::fromUcs4(U"\U0001F600") + QStringLiteral(" \u05D0");
        QCOMPARE(pulisciNomeFile(bidi), QStringLiteral("ROSSIfdp.exe È ") + QString::fromUcs4(U"\U0001F600") +
                                            QStringLiteral(" \u05D0"));
        // Half a surrogate pair cannot be written in a name.
        QCOMPARE(pulisciNomeFile(QStringLiteral("A") + QChar(0xD83D) + QStringLiteral("B") + QChar(0xDE00)),
                 QStringLiteral("AB"));

        // End to end: a NUL imported into a document number, then the next letter.
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("ROSSI SRL"));
        Credito k;
        k.numero = QStringLiteral("77") + QChar(0) + QStringLiteral("X");
        k.scadenza = oggi;
        const qint64 nul = dunningdata::aggiungi(c, k);
        k.numero = QStringLiteral("78");
        const qint64 dopo = dunningdata::aggiungi(c, k);
        Lettere lettere(c, oggi, sz::paths::dataRoot(), programFolder());
        const EsitoRun esito = lettere.perDocumento({nul, dopo}, false);
        QVERIFY2(esito.guasto.isEmpty(), qPrintable(esito.guasto));
        QVERIFY2(GListaErrori.isEmpty(), qPrintable(GListaErrori.join('\n')));
        QCOMPARE(esito.pdf.size(), 2);
        QVERIFY(esito.pdf[0].endsWith(QStringLiteral("/20261207_PREAVVISO_FATT77X_SCAD20261207.pdf")));
        for (const QString& pdf : esito.pdf)
            QVERIFY2(QFileInfo(pdf).isFile() && TestEnv::pdfPages(pdf) == 1, qPrintable(pdf));
        QCOMPARE(QDir(QFileInfo(esito.pdf[0]).absolutePath()).entryList(QDir::Files).size(), 2);
    }

    // A name past the limit keeps its start and a hash of the whole: two long names never
    // share a file, the same name on the same day always finds its own.
    void longNamesNeverCollide()
    {
        const QDate giorno(2026, 12, 7);
        // The longest name kept as it is, and one byte more.
        const QString alLimite = QString(limiteNomeFile - 13, QLatin1Char('R'));
        QCOMPARE(nomeFilePerCliente(giorno, alLimite), QStringLiteral("20261207_") + alLimite + QStringLiteral(".pdf"));
        QCOMPARE(nomeFilePerCliente(giorno, alLimite).toUtf8().size(), limiteNomeFile);
        const QString oltre = nomeFilePerCliente(giorno, alLimite + QLatin1Char('R'));
        QVERIFY(oltre.toUtf8().size() <= limiteNomeFile);
        QVERIFY(QRegularExpression(QStringLiteral("^20261207_R+~[0-9a-f]{12}\\.pdf$")).match(oltre).hasMatch());

        // Accents count double and a four-byte character is never cut in half.
        const QString base = QString(120, QChar(0x00C8));
        const QString uno = base + QStringLiteral(" SRL UNO"), due = base + QStringLiteral(" SRL DUE");
        const QString emoji = QString(55, QLatin1Char('E')) + QString::fromUcs4(U"\U0001F600").repeated(60);
        for (const QString& n : {uno, due, emoji}) {
            const QString f = nomeFilePerCliente(giorno, n);
            QVERIFY(f.toUtf8().size() <= limiteNomeFile);
            QCOMPARE(QString::fromUtf8(f.toUtf8()), f);
            QVERIFY(!f.contains(QChar::ReplacementCharacter));
            QCOMPARE(nomeFilePerCliente(giorno, n), f);
        }
        QVERIFY(nomeFilePerCliente(giorno, uno) != nomeFilePerCliente(giorno, due));
        QVERIFY(nomeFilePerCliente(giorno, uno).startsWith(QStringLiteral("20261207_ÈÈÈ")));

        // Real letters: two clients apart, and each one's second letter of the day
        // replaces its first, the longest name kept whole too.
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        QList<qint64> ids;
        for (const QString& n : {uno, due, alLimite}) {
            dunningdata::cliente(c, n);
            Credito k;
            k.cliente = n;
            k.scadenza = oggi;
            ids << dunningdata::aggiungi(c, k);
        }
        const QString cartella = cartellaPerCliente(sz::paths::dataRoot(), oggi);
        Lettere lettere(c, oggi, sz::paths::dataRoot(), programFolder());
        const EsitoRun prima = lettere.perCliente(
            {{uno, {ids[0]}}, {due, {ids[1]}}, {alLimite, {ids[2]}}}, false);
        QVERIFY2(prima.guasto.isEmpty() && GListaErrori.isEmpty(), qPrintable(prima.guasto + GListaErrori.join('\n')));
        QCOMPARE(QDir(cartella).entryList(QDir::Files).size(), 3);
        QVERIFY(TestEnv::pdfText(prima.pdf[1]).contains(QStringLiteral("SRL DUE")));
        const EsitoRun seconda = lettere.perCliente(
            {{uno, {ids[0]}}, {due, {ids[1]}}, {alLimite, {ids[2]}}}, false);
        QVERIFY2(seconda.guasto.isEmpty() && GListaErrori.isEmpty(),
                 qPrintable(seconda.guasto + GListaErrori.join('\n')));
        QCOMPARE(seconda.pdf, prima.pdf);
        QCOMPARE(QDir(cartella).entryList(QDir::Files).size(), 3);
        QVERIFY(TestEnv::pdfText(seconda.pdf[0]).contains(QStringLiteral("SRL UNO")));
    }

    // "Crea PDF" per document: a letter per credit in its stage's folder, the stage written
    // back, a missing client one error line and no letter.
    void perDocumentRun()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("BIANCHI & FIGLI <SRL>"));
        const QDate d = oggi.addDays(-40);
        Credito a;
        a.numero = QStringLiteral("12/A");
        a.scadenza = oggi.addDays(-6);
        a.cliente = QStringLiteral("BIANCHI & FIGLI <SRL>");
        a.fasi = {d};
        a.importo = Money::fromCents(123456);
        a.banca = QStringLiteral("BANCA DI PADOVA");
        Credito b = a;
        b.numero = QStringLiteral("13");
        b.fasi = {};
        b.scadenza = oggi.addDays(3);
        Credito orfano = a;
        orfano.numero = QStringLiteral("14");
        // A name stored with a line break stays on its one line of the error list.
        orfano.cliente = QStringLiteral("SCONOSCIUTA\r\nSRL");
        Credito soff = a;
        soff.numero = QStringLiteral("15");
        soff.fasi = {d, d, d, d};
        soff.scadenza = oggi.addDays(-45);
        const qint64 ia = dunningdata::aggiungi(c, a), ib = dunningdata::aggiungi(c, b),
                     io = dunningdata::aggiungi(c, orfano), is = dunningdata::aggiungi(c, soff);

        const QString root = sz::paths::dataRoot();
        Lettere lettere(c, oggi, root, programFolder());
        QList<int> avanzamento;
        const EsitoRun esito = lettere.perDocumento({ia, ib, io, is}, false, [&](int fatti, int) {
            avanzamento << fatti;
            return true;
        });
        QVERIFY2(esito.guasto.isEmpty(), qPrintable(esito.guasto));
        QCOMPARE(avanzamento, (QList<int>{0, 1, 2, 3, 4}));
        QCOMPARE(esito.pdf.size(), 3);
        QCOMPARE(esito.pdf[0], root + QStringLiteral("Archivio/Solleciti per Fattura/Solleciti/2026-12-07/"
                                                     "20261207_SOLLECITO1_FATT12A_SCAD20261201.pdf"));
        QCOMPARE(esito.pdf[1], root + QStringLiteral("Archivio/Solleciti per Fattura/Preavvisi/2026-12-07/"
                                                     "20261207_PREAVVISO_FATT13_SCAD20261210.pdf"));
        QCOMPARE(GListaErrori,
                 QStringList{QStringLiteral("Il Cliente SCONOSCIUTA\u240D\u240ASRL non risulta in anagrafica.")});
        QCOMPARE(esito.righeErrore, 1);

        QCOMPARE(colonna(c, ia, QStringLiteral("Sollecito1")).toString(), QStringLiteral("2026-12-07"));
        QCOMPARE(colonna(c, ib, QStringLiteral("Preavviso")).toString(), QStringLiteral("2026-12-07"));
        QVERIFY(colonna(c, io, QStringLiteral("Sollecito1")).isNull());
        QCOMPARE(colonna(c, is, QStringLiteral("Sollecito3")).toString(), d.toString(Qt::ISODate));

        const QString testo = TestEnv::pdfText(esito.pdf[0]);
        QVERIFY2(testo.contains(QStringLiteral("BIANCHI & FIGLI <SRL>")), qPrintable(testo));
        QVERIFY(testo.contains(QStringLiteral("€ 1.234,56")));
        QVERIFY(testo.contains(QStringLiteral("PADOVA, lì 07/12/2026")));
        QVERIFY(testo.contains(QStringLiteral("IT60X0542811101000000123456")));

        // A bad debt can be written again on the same day: the file is replaced and the
        // credit stays where it was, still listed.
        const QByteArray prima = QFile(esito.pdf[2]).exists() ? QByteArray("x") : QByteArray();
        QVERIFY(!prima.isEmpty());
        const EsitoRun ancora = lettere.perDocumento({is}, false);
        QCOMPARE(ancora.pdf, QStringList{esito.pdf[2]});
        QVERIFY(ancora.pdf[0].contains(QStringLiteral("/Solleciti/2026-12-07/20261207_IN SOFFERENZA_FATT15_")));
        QCOMPARE(colonna(c, is, QStringLiteral("Sollecito3")).toString(), d.toString(Qt::ISODate));
        QVERIFY(dovuti(c).contains(QStringLiteral("15:IN SOFFERENZA")));
        QVERIFY(!dovuti(c).contains(QStringLiteral("12/A:SOLLECITO2")));
    }

    // One statement per client: its own credits only, in due-date order, each written to
    // its own next stage, the total of the residuals at the foot.
    void perClientRun()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("ROSSI SRL"));
        dunningdata::cliente(c, QStringLiteral("ALFA/BETA: SRL"));
        const QDate d = oggi.addDays(-40);
        Credito k;
        k.cliente = QStringLiteral("ROSSI SRL");
        k.numero = QStringLiteral("R2");
        k.scadenza = oggi.addDays(-20);
        k.fasi = {d, d};
        k.importo = Money::fromCents(10050);
        const qint64 r2 = dunningdata::aggiungi(c, k);
        k.numero = QStringLiteral("R1");
        k.scadenza = oggi.addDays(2);
        k.fasi = {};
        k.importo = Money::fromCents(123400);
        const qint64 r1 = dunningdata::aggiungi(c, k);
        k.numero = QStringLiteral("R3");
        k.scadenza = oggi.addDays(-40);
        k.fasi = {d, d, d, d};
        k.importo = Money::fromCents(0);
        const qint64 r3 = dunningdata::aggiungi(c, k);
        k.cliente = QStringLiteral("ALFA/BETA: SRL");
        k.numero = QStringLiteral("A1");
        k.fasi = {};
        k.scadenza = oggi;
        const qint64 a1 = dunningdata::aggiungi(c, k);

        const auto gruppi = raggruppaPerCliente({{r1, QStringLiteral("ROSSI SRL ")},
                                                 {a1, QStringLiteral("ALFA/BETA: SRL")},
                                                 {r2, QStringLiteral("rossi srl")},
                                                 {r3, QStringLiteral("ROSSI SRL")}});
        QCOMPARE(gruppi.size(), 2);
        QCOMPARE(gruppi[0].cliente, QStringLiteral("ALFA/BETA: SRL"));
        QCOMPARE(gruppi[1].ids, (QList<qint64>{r1, r2, r3}));
        QCOMPARE(gruppoUnico({{r1, QStringLiteral("X")}, {r2, QStringLiteral(" ROSSI SRL ")}}).cliente,
                 QStringLiteral("ROSSI SRL"));

        const QString root = sz::paths::dataRoot();
        Lettere lettere(c, oggi, root, programFolder());
        const EsitoRun esito = lettere.perCliente(gruppi, false);
        QVERIFY2(esito.guasto.isEmpty(), qPrintable(esito.guasto));
        QCOMPARE(esito.pdf, (QStringList{root + QStringLiteral("Archivio/Solleciti per Cliente/2026-12-07/"
                                                               "20261207_ALFABETA SRL.pdf"),
                                         root + QStringLiteral("Archivio/Solleciti per Cliente/2026-12-07/"
                                                               "20261207_ROSSI SRL.pdf")}));
        QVERIFY(GListaErrori.isEmpty());
        QCOMPARE(colonna(c, r1, QStringLiteral("Preavviso")).toString(), QStringLiteral("2026-12-07"));
        QCOMPARE(colonna(c, r2, QStringLiteral("Sollecito2")).toString(), QStringLiteral("2026-12-07"));
        QVERIFY(colonna(c, r2, QStringLiteral("Sollecito3")).isNull());
        QCOMPARE(colonna(c, r3, QStringLiteral("Sollecito3")).toString(), d.toString(Qt::ISODate));
        QCOMPARE(colonna(c, a1, QStringLiteral("Preavviso")).toString(), QStringLiteral("2026-12-07"));

        const QString testo = TestEnv::pdfText(esito.pdf[1]);
        QVERIFY2(testo.contains(QStringLiteral("€ 1.334,50")), qPrintable(testo));
        QVERIFY(testo.indexOf(QStringLiteral("R3")) < testo.indexOf(QStringLiteral("R2")));
        QVERIFY(testo.indexOf(QStringLiteral("R2")) < testo.indexOf(QStringLiteral("R1")));
        QVERIFY(testo.contains(QStringLiteral("IN SOFFERENZA")));
        QVERIFY(testo.contains(QStringLiteral("2° SOLLECITO")));
        QVERIFY(!testo.contains(QStringLiteral("A1")));

        // A client missing from the registry: one line, no letter, nothing written.
        const EsitoRun manca = lettere.perCliente({{QStringLiteral("NESSUNO SPA"), {a1}}}, false);
        QVERIFY(manca.pdf.isEmpty());
        QCOMPARE(GListaErrori.last(), QStringLiteral("Il Cliente NESSUNO SPA non risulta in anagrafica."));
    }

    // A failure in the middle of a run keeps what was done before it; a cancel stops
    // before the next letter.
    void failureAndCancel()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("ROSSI SRL"));
        Credito k;
        k.numero = QStringLiteral("P");
        k.scadenza = oggi;
        const qint64 p = dunningdata::aggiungi(c, k);
        k.numero = QStringLiteral("S");
        k.fasi = {oggi.addDays(-30)};
        k.scadenza = oggi.addDays(-10);
        const qint64 s = dunningdata::aggiungi(c, k);
        k.numero = QStringLiteral("Q");
        k.fasi = {};
        const qint64 q = dunningdata::aggiungi(c, k);
        k.cliente = QStringLiteral("ORFANO");
        const qint64 o = dunningdata::aggiungi(c, k);

        const QString root = sz::paths::dataRoot();
        // The reminders' folder cannot be made: a file stands where it should be.
        QDir().mkpath(root + QStringLiteral("Archivio/Solleciti per Fattura"));
        QFile blocco(root + QStringLiteral("Archivio/Solleciti per Fattura/Solleciti"));
        QVERIFY(blocco.open(QIODevice::WriteOnly));
        blocco.close();
        Lettere lettere(c, oggi, root, programFolder());
        const EsitoRun esito = lettere.perDocumento({o, p, s, q}, false);
        QVERIFY(esito.guasto.contains(QStringLiteral("Solleciti")));
        QCOMPARE(esito.pdf.size(), 1);
        QCOMPARE(colonna(c, p, QStringLiteral("Preavviso")).toString(), QStringLiteral("2026-12-07"));
        QVERIFY(colonna(c, s, QStringLiteral("Sollecito1")).isNull());
        QVERIFY(colonna(c, q, QStringLiteral("Preavviso")).isNull());
        QCOMPARE(GListaErrori.size(), 1); // the line met before the failure is still there

        QFile::remove(blocco.fileName());
        c.exec(QStringLiteral("UPDATE t_crediti SET Preavviso = NULL"));
        const EsitoRun fermato = lettere.perDocumento({p, q}, false, [](int fatti, int) { return fatti < 1; });
        QVERIFY(fermato.interrotto);
        QCOMPARE(fermato.pdf.size(), 1);
        QVERIFY(!colonna(c, p, QStringLiteral("Preavviso")).isNull());
        QVERIFY(colonna(c, q, QStringLiteral("Preavviso")).isNull());
    }

    // The command-line tool lists and writes exactly what the frame would, without a
    // display, and says by its exit code how the run went.
    void commandLine()
    {
        TestEnv env;
        const QDate adesso = QDate::currentDate();
        qint64 dovuto, pagato, orfano;
        // The tool keeps its data under its own program folder's name.
        const QString radice = env.documents() + QStringLiteral("/Scadenzio/");
        {
            QProcess upgrade;
            upgrade.start(QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli"), {QStringLiteral("upgrade")});
            QVERIFY(upgrade.waitForFinished(60000) && upgrade.exitCode() == 0);
            sz::db::Connection c(radice + QStringLiteral("DB/gestionale.mdb"));
            dunningdata::societa(c);
            dunningdata::cliente(c, QStringLiteral("ROSSI SRL"));
            Credito k;
            k.numero = QStringLiteral("7/B");
            k.scadenza = adesso.addDays(-1);
            k.importo = Money::fromCents(123450);
            dovuto = dunningdata::aggiungi(c, k);
            k.pagato = QStringLiteral("SI");
            pagato = dunningdata::aggiungi(c, k);
            k.pagato = QStringLiteral("NO");
            k.cliente = QStringLiteral("ORFANO SNC");
            k.numero = QStringLiteral("8");
            orfano = dunningdata::aggiungi(c, k);
        }
        auto run = [&](const QStringList& args) {
            const auto r = TestEnv::runCli(args);
            return std::tuple{r.code, r.out, r.err};
        };
        const QString giorno = sz::dates::toDisplay(adesso.addDays(-1));
        auto [code, out, err] = run({QStringLiteral("dunning"), QStringLiteral("list")});
        QVERIFY2(code == 0, qPrintable(err));
        QCOMPARE(out, QStringLiteral("ID\tNumeroFattura\tDataFattura\tScadenza\tCliente\tModalitaPagamento\tResiduo\tFase\n"
                                     "%1\t7/B\t%2\t%3\tROSSI SRL\tBONIFICO\t1234,50\tPREAVVISO\n"
                                     "%4\t8\t%2\t%3\tORFANO SNC\tBONIFICO\t1234,50\tPREAVVISO\n")
                          .arg(dovuto)
                          .arg(sz::dates::toDisplay(adesso.addDays(-31)), giorno)
                          .arg(orfano));
        std::tie(code, out, err) = run({QStringLiteral("dunning"), QStringLiteral("list"), QStringLiteral("--per-client"),
                                        QStringLiteral("--client"), QStringLiteral("rossi srl")});
        QCOMPARE(code, 0);
        QCOMPARE(out.count(QLatin1Char('\n')), 2);

        std::tie(code, out, err) = run({QStringLiteral("dunning"), QStringLiteral("pdf"),
                                        QStringLiteral("%1,%2").arg(dovuto).arg(pagato), QString::number(orfano)});
        QCOMPARE(code, 1);
        QCOMPARE(out, radice + QStringLiteral("Archivio/Solleciti per Fattura/Preavvisi/") +
                          adesso.toString(QStringLiteral("yyyy-MM-dd/yyyyMMdd")) + QStringLiteral("_PREAVVISO_FATT7B_SCAD") +
                          adesso.addDays(-1).toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".pdf\n"));
        QVERIFY2(err.contains(QStringLiteral("Il credito con ID %1 non è tra i solleciti da effettuare oggi.").arg(pagato)),
                 qPrintable(err));
        QVERIFY(err.contains(QStringLiteral("Il Cliente ORFANO SNC non risulta in anagrafica.")));
        QVERIFY(TestEnv::pdfText(out.trimmed()).contains(QStringLiteral("€ 1.234,50")));

        // Nothing due any more for that credit; a clean run exits 0, a wrong one 2.
        std::tie(code, out, err) = run({QStringLiteral("dunning"), QStringLiteral("pdf"), QStringLiteral("--per-client"),
                                        QString::number(dovuto)});
        QCOMPARE(code, 1);
        QVERIFY(out.isEmpty());
        std::tie(code, out, err) = run({QStringLiteral("dunning"), QStringLiteral("pdf"), QStringLiteral("x")});
        QCOMPARE(code, 2);
    }

    // The mail repeats the letter line by line; what came from the registry or the
    // templates arrives as typed, markup characters included.
    void mailBody()
    {
        Valori credito{{QStringLiteral("NumeroFattura"), QStringLiteral("12/A")},
                       {QStringLiteral("DataFattura"), QDate(2026, 10, 1)},
                       {QStringLiteral("Scadenza"), QDate(2026, 11, 30)},
                       {QStringLiteral("DestinatarioFattura"), QStringLiteral("BIANCHI & FIGLI <SRL>")},
                       {QStringLiteral("ImportoParziale"), QVariant::fromValue(sz::FormattedAmount{Money::fromCents(123456)})},
                       {QStringLiteral("ImportoResiduo"), QVariant::fromValue(sz::FormattedAmount{Money::fromCents(10050)})},
                       {QStringLiteral("Residuo"), QVariant::fromValue(Money::fromCents(10050))},
                       {QStringLiteral("Comunicazione"), QStringLiteral("1° SOLLECITO")}};
        Invio invio;
        invio.oggetto = QStringLiteral("1° SOLLECITO DI PAGAMENTO");
        invio.introduzione = QStringLiteral("Gentile Cliente,\r\nle ricordiamo <che>");
        invio.finale = QStringLiteral("Distinti saluti.");
        invio.mail1 = QStringLiteral(" a@bianchi.it ");
        invio.mail3 = QStringLiteral("c@bianchi.it");
        invio.pdf = QStringLiteral("/tmp/x.pdf");
        invio.mittente = QStringLiteral("amministrazione@artigiana.it");
        invio.crediti = {credito};
        invio.banche = {{{QStringLiteral("nome"), QStringLiteral("BANCA DI PADOVA")},
                         {QStringLiteral("agenzia"), QStringLiteral("AGENZIA 3")},
                         {QStringLiteral("IBAN"), QStringLiteral("IT60X0542811101000000123456")}}};
        invio.societa = {{QStringLiteral("RagioneSociale"), QStringLiteral("ARTIGIANA VENETA SNC")},
                         {QStringLiteral("Indirizzo"), QStringLiteral("VIA ROMA 1")},
                         {QStringLiteral("CAP"), QStringLiteral("35100")},
                         {QStringLiteral("Localita"), QStringLiteral("PADOVA")},
                         {QStringLiteral("Provincia"), QStringLiteral("PD")},
                         {QStringLiteral("Telefono"), QStringLiteral("049 123456")},
                         {QStringLiteral("Mail"), QStringLiteral("amministrazione@artigiana.it")}};
        const QStringList righe = corpoMail(invio).split(QStringLiteral("\r\n"));
        const QString C = QStringLiteral("<td style=\"border-bottom: 1px solid #333;\"");
        QVERIFY(righe[0].contains(QStringLiteral("<title>1° SOLLECITO DI PAGAMENTO</title>")));
        QCOMPARE(righe[1], QStringLiteral("<p>Gentile Cliente,<br />le ricordiamo &lt;che&gt;</p>"));
        const int doc = int(righe.indexOf(C + QStringLiteral(" align=\"center\">12/A</td>")));
        QVERIFY(doc > 0);
        QCOMPARE(righe.mid(doc + 1, 5),
                 (QStringList{C + QStringLiteral(" align=\"center\">01/10/2026</td>"),
                              C + QStringLiteral(" align=\"center\">30/11/2026</td>"),
                              C + QStringLiteral(" align=\"left\">BIANCHI &amp; FIGLI &lt;SRL&gt;</td>"),
                              C + QStringLiteral(" align=\"right\">€ 1.234,56</td>"),
                              C + QStringLiteral(" align=\"right\">€ 100,50</td>")}));
        QVERIFY(!righe.contains(QStringLiteral("<td style=\"border-bottom: 1px solid #333; font-weight: bold;\" "
                                               "align=\"center\">COMUNICAZIONE</td>")));
        QVERIFY(righe.contains(C + QStringLiteral(">IT60X0542811101000000123456</td>")));
        QVERIFY(righe.contains(QStringLiteral("35100PADOVA(PD)<br />")));
        QVERIFY(righe.contains(QStringLiteral("Tel.:049 123456<br />")));
        QVERIFY(righe.contains(QStringLiteral(
            " è assolutamente vietata nonché perseguita ai sensi della legge ed è pregato  di rinviarlo "
            "immediatamente al mittente distruggendone l’originale.<p>")));
        QCOMPARE(righe.last(), QStringLiteral("</body></html>"));

        // Per client: a seventh column and the total of the residuals.
        invio.perCliente = true;
        Valori secondo = credito;
        secondo.insert(QStringLiteral("Residuo"), QVariant::fromValue(Money::fromCents(123400)));
        secondo.insert(QStringLiteral("Comunicazione"), QStringLiteral("IN SOFFERENZA"));
        invio.crediti = {credito, secondo};
        const QStringList cliente = corpoMail(invio).split(QStringLiteral("\r\n"));
        QVERIFY(cliente.contains(QStringLiteral("<td style=\"border-bottom: 1px solid #333; font-weight: bold;\" "
                                                "align=\"center\">COMUNICAZIONE</td>")));
        QVERIFY(cliente.contains(C + QStringLiteral(" align=\"center\">IN SOFFERENZA</td>")));
        QVERIFY(cliente.contains(C + QStringLiteral(" align=\"right\"><strong>€ 1.334,50</strong></td>")));

        const auto m = InviaMail(invio);
        QCOMPARE(m.to, (QStringList{"a@bianchi.it", "c@bianchi.it"}));
        QCOMPARE(m.blindCopy, QStringList{QStringLiteral("amministrazione@artigiana.it")});
        QCOMPARE(m.attachments.size(), 1);
        QCOMPARE(m.attachments[0].contentType, QStringLiteral("application/pdf"));
    }

    void idsFromACommandLine()
    {
        QCOMPARE(leggiId({QStringLiteral("3,5"), QStringLiteral("7"), QStringLiteral("5")}),
                 (QList<qint64>{3, 5, 7}));
        QVERIFY_THROWS_EXCEPTION(sz::Error, leggiId({QStringLiteral("3;5")}));
        QVERIFY_THROWS_EXCEPTION(sz::Error, leggiId({QStringLiteral("-2")}));
    }
};

QTEST_MAIN(TestDunning)
#include "tst_dunning.moc"
