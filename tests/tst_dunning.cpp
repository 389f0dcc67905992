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
#include "scadenzio/Interessi.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Orologio.h"
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

void spaziatura(sz::db::Connection& c, const QVariant& giorni, const QString& modo = QStringLiteral("BONIFICO"))
{
    c.exec(QStringLiteral("UPDATE t_parametri SET GiorniTraSolleciti = :G WHERE Modalita = :M"),
           {{QStringLiteral("G"), giorni}, {QStringLiteral("M"), modo}});
}

// A suspension of a client (by name) or of a credit (by ID).
void sospendi(sz::db::Connection& c, const QVariant& chi, bool attiva, const QDate& fino = {})
{
    const bool credito = chi.typeId() != QMetaType::QString;
    c.exec(QStringLiteral("UPDATE %1 SET SospendiSolleciti = :S, SospesoFino = :F, MotivoSospensione = 'CONTESTAZIONE' "
                          "WHERE %2 = :K")
               .arg(credito ? QStringLiteral("t_crediti") : QStringLiteral("t_clienti"),
                    credito ? QStringLiteral("ID") : QStringLiteral("RagioneSociale")),
           {{QStringLiteral("S"), attiva}, {QStringLiteral("F"), fino.isValid() ? QVariant(fino) : QVariant()},
            {QStringLiteral("K"), chi}});
}

// Every letter of the log is a stage date of its credit and every stage date written by a
// letter is one row of the log: per credit, the logged stages (bad debts aside) and the
// filled columns of the given day agree, each logged once.
void logCoerente(sz::db::Connection& c, const QDate& giorno)
{
    const auto crediti = c.query(QStringLiteral("SELECT ID, Preavviso, Sollecito1, Sollecito2, Sollecito3 FROM t_crediti"));
    for (const auto& row : crediti.rows) {
        const qint64 id = row[0].toLongLong();
        QStringList colonne, registrate;
        for (int f = 1; f <= 4; ++f)
            if (row[f].toDate() == giorno)
                colonne << crediti.columns[f].name;
        for (const auto& v : sz::invii::elenco(c, {id, {}, giorno, giorno}))
            if (v.fase != QLatin1String("IN SOFFERENZA"))
                registrate << sz::invii::colonnaDiFase(v.fase);
        registrate.sort();
        colonne.sort();
        QVERIFY2(registrate == colonne, qPrintable(QStringLiteral("credito %1: log %2, colonne %3")
                                                       .arg(id)
                                                       .arg(registrate.join(','), colonne.join(','))));
    }
}

// The words of a letter in the order its PDF holds them: the same letter gives the same
// words whatever the layout moves, and a zero-width break point is no text.
QStringList paroleLettera(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    QString t = QString::fromUtf8(p.readAllStandardOutput());
    t.remove(QChar(0x200B));
    return t.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

// Both letters of a firm that has not turned interest on, with fixed data and no banks.
QStringList lettereSenzaInteressi(sz::db::Connection& c, const QString& root)
{
    c.exec(QStringLiteral("DELETE FROM t_societa"));
    c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, Indirizzo, CAP, Localita, Provincia, Riferimento, "
                          "Telefono, Mail, IVA, CF) VALUES ('ARTIGIANA VENETA SNC', 'VIA DELL''ARTIGIANATO 12', "
                          "'35100', 'PADOVA', 'PD', 'LUCIA FERRARI', '049 123456', 'amministrazione@artigiana.it', "
                          "'01987654321', '01987654321')"));
    dunningdata::cliente(c, QStringLiteral("ROSSI SRL"), QStringLiteral("VIA ROMA 1"),
                         QStringLiteral("ufficio.amministrazione@rossi-forniture-industriali.it"));
    Credito k;
    k.numero = QStringLiteral("12/A");
    k.scadenza = QDate(2026, 10, 15);
    k.dataFattura = QDate(2026, 9, 15);
    k.fasi = {QDate(2026, 10, 30)};
    k.importo = Money::fromCents(1000000);
    const qint64 a = dunningdata::aggiungi(c, k);
    k.numero = QStringLiteral("13");
    k.fasi = {};
    k.importo = Money::fromCents(50050);
    const qint64 b = dunningdata::aggiungi(c, k);
    Lettere lettere(c, oggi, root, programFolder());
    QStringList pdf = lettere.perDocumento({a}, false).pdf;
    pdf << lettere.perCliente({{QStringLiteral("ROSSI SRL"), {a, b}}}, false).pdf;
    return pdf;
}

// A PDF's text with every blank removed: where a line wraps is layout, not content.
QString compatto(const QString& pdf)
{
    QString t = TestEnv::pdfText(pdf);
    t.remove(QChar(0x200B));
    t.remove(QChar(0x2060));
    t.remove(QRegularExpression(QStringLiteral("\\s+")));
    return t;
}

QString titoloPdf(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(30000);
    static const QRegularExpression titolo(QStringLiteral("^Title:\\s*(.*)$"), QRegularExpression::MultilineOption);
    return titolo.match(QString::fromUtf8(p.readAllStandardOutput())).captured(1).trimmed();
}

QString senzaSpazi(QString t)
{
    return t.remove(QLatin1Char(' '));
}

// The top-left corner, in mm from the page's, of the first word equal to parola on page 1.
QPointF posizione(const QString& pdf, const QString& parola)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                                          QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        QString w = m.captured(3);
        w.remove(QChar(0x200B));
        w.remove(QChar(0x2060));
        if (w == parola)
            return {m.captured(1).toDouble() * 25.4 / 72, m.captured(2).toDouble() * 25.4 / 72};
    }
    return {-1, -1};
}

// A firm that counts interest and asks for the € 40, its banks, and a client of the kind.
void conInteressi(sz::db::Connection& c, const QString& tipo, bool indennizzo = true)
{
    dunningdata::societa(c);
    c.exec(QStringLiteral("UPDATE t_societa SET InteressiMora = 1, Indennizzo40 = :I, GiorniTermine = 15"),
           {{QStringLiteral("I"), indennizzo}});
    c.exec(QStringLiteral("INSERT INTO t_banche (Nome, Agenzia, IBAN) VALUES ('CASSA RURALE', '', "
                          "'IT02L1234512345123456789012')"));
    dunningdata::cliente(c, QStringLiteral("ROSSI SRL"), QStringLiteral("VIA ROMA 1"), QStringLiteral("a@rossi.it"));
    c.exec(QStringLiteral("UPDATE t_clienti SET TipoCliente = :T"), {{QStringLiteral("T"), tipo}});
}

} // namespace

class TestDunning : public QObject
{
    Q_OBJECT

private slots:
    void init() { GListaErrori.clear(); }
    void cleanup() { sz::impostaOrologio({}); }

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
    // A firm that has not turned interest on gets the very letters it got before: the
    // text of both kinds is that of the letters kept from then.
    void lettersWithoutInterestUnchanged()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        const QStringList pdf = lettereSenzaInteressi(c, sz::paths::dataRoot());
        QCOMPARE(pdf.size(), 2);
        QVERIFY(GListaErrori.isEmpty());
        const QStringList nomi{QStringLiteral("per_documento.txt"), QStringLiteral("per_cliente.txt")};
        for (int i = 0; i < 2; ++i) {
            QFile f(QStringLiteral(SZ_TEST_DATA_DIR "/lettere/") + nomi[i]);
            const QStringList parole = paroleLettera(pdf[i]);
            if (qEnvironmentVariableIsSet("SZ_SCRIVI_ATTESI")) {
                QDir().mkpath(QFileInfo(f).absolutePath());
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(parole.join(QLatin1Char('\n')).toUtf8() + "\n");
                continue;
            }
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QStringList attese =
                QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            // Where a line wraps is layout; the text is every character but the blanks.
            QCOMPARE(parole.join(QString()), attese.join(QString()));
        }
    }

    // The reference's example in a letter: € 10.000,00 due 15/06/2025, written on
    // 20/08/2025. The letter and its mail carry the interest with its rates, the € 40, the
    // total, the date to pay by and the law; a consumer gets the legal rate's clause and
    // no € 40. The credit names a bank no longer in the register: every bank of the firm
    // is given, IBANs in groups of four.
    void interestInALetter()
    {
        for (const QString& tipo : {QStringLiteral("IMPRESA"), QStringLiteral("CONSUMATORE")}) {
            TestEnv env;
            sz::db::Connection c(env.installDatabase());
            conInteressi(c, tipo);
            Credito k;
            k.numero = QStringLiteral("12/A");
            k.scadenza = QDate(2025, 6, 15);
            k.dataFattura = QDate(2025, 5, 15);
            k.importo = Money::fromCents(1000000);
            k.banca = QStringLiteral("BANCA CHIUSA");
            const qint64 id = dunningdata::aggiungi(c, k);
            // The firm's own words may name the figures; an unknown tag stays as written.
            // The firm's subject may name the document: the PDF's title says it filled in.
            c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = 'AVVISO DI SCADENZA {{NumeroFattura}}' WHERE "
                                  "Tipologia = 'PREAVVISO'"));
            c.exec(QStringLiteral("UPDATE t_comunicazioni SET Finale = :F WHERE Tipologia = 'PREAVVISO'"),
                   {{QStringLiteral("F"), QStringLiteral("Per il documento {{NumeroFattura}} sono maturati {{ Interessi }} "
                                                         "di interessi; totale {{TotaleDovuto}} entro il {{DataTermine}}. "
                                                         "{{Sconosciuto}}")}});
            Lettere lettere(c, QDate(2025, 8, 20), sz::paths::dataRoot(), programFolder());
            QList<Invio> inviati;
            lettere.setSpedizione([&](const Invio& i) {
                inviati << i;
                return EsitoSpedizione();
            });
            const EsitoRun esito = lettere.perDocumento({id}, true);
            QVERIFY2(esito.guasto.isEmpty() && GListaErrori.isEmpty(), qPrintable(GListaErrori.join('\n')));
            const QString t = compatto(esito.pdf.value(0));
            QString corpo = inviati.isEmpty() ? QString() : corpoMail(inviati.first());
            corpo.remove(QStringLiteral("<strong>")).remove(QStringLiteral("</strong>"));
            QVERIFY(t.contains(senzaSpazi(QStringLiteral("IT60 X054 2811 1010 0000 0123 456"))));
            QVERIFY(t.contains(senzaSpazi(QStringLiteral("IT02 L123 4512 3451 2345 6789 012"))));
            QVERIFY(corpo.contains(QStringLiteral("IT60 X054 2811 1010 0000 0123 456")));
            QCOMPARE(titoloPdf(esito.pdf.value(0)), QStringLiteral("AVVISO DI SCADENZA 12/A – Documento N° 12/A"));
            if (tipo == QLatin1String("IMPRESA")) {
                for (const QString& atteso :
                     {QStringLiteral("€ 187,64"),
                      QStringLiteral("11,15 % dal 16/06/2025 al 30/06/2025; 10,15 % dal 01/07/2025 al 20/08/2025"),
                      QStringLiteral("€ 40,00"), QStringLiteral("€ 10.227,64"), QStringLiteral("entro il 04/09/2025"),
                      QStringLiteral("artt. 4 e 5 del D.Lgs. 9 ottobre 2002 n. 231, come modificato dal D.Lgs. 9 "
                                     "novembre 2012 n. 192"),
                      QStringLiteral("ai sensi dell'art. 6, comma 2")}) {
                    QVERIFY2(t.contains(senzaSpazi(atteso)), qPrintable(atteso + QStringLiteral("\n") + t));
                    QVERIFY2(corpo.contains(atteso.toHtmlEscaped()), qPrintable(atteso));
                }
                const QString finale = QStringLiteral("Per il documento 12/A sono maturati € 187,64 di interessi; "
                                                      "totale € 10.227,64 entro il 04/09/2025. {{Sconosciuto}}");
                QVERIFY2(t.contains(senzaSpazi(finale)), qPrintable(t));
                QCOMPARE(inviati.value(0).finale, finale);
                // The block comes after the document table and before the closing text.
                QVERIFY(t.indexOf(QStringLiteral("€187,64")) > t.indexOf(QStringLiteral("Residuo")));
            } else {
                QVERIFY2(t.contains(QStringLiteral("art.1284c.c.")), qPrintable(t));
                QVERIFY(!t.contains(QStringLiteral("€40,00")));
                QVERIFY(!t.contains(QStringLiteral("D.Lgs.")));
                QVERIFY(corpo.contains(QStringLiteral("art. 1284 c.c.")));
                QVERIFY(corpo.contains(QStringLiteral("entro il 04/09/2025")));
            }
        }
    }

    // A notice before the due date claims no interest, no € 40 and no deadline of its own.
    void noInterestBeforeTheDueDate()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        conInteressi(c, QStringLiteral("IMPRESA"));
        Credito k;
        k.scadenza = QDate(2026, 12, 13);
        const qint64 id = dunningdata::aggiungi(c, k);
        Lettere lettere(c, QDate(2026, 12, 8), sz::paths::dataRoot(), programFolder());
        const EsitoRun esito = lettere.perDocumento({id}, false);
        QVERIFY(GListaErrori.isEmpty());
        const QString t = compatto(esito.pdf.value(0));
        QVERIFY2(t.contains(QStringLiteral("AVVISODISCADENZA")), qPrintable(t));
        for (const char* assente : {"Interessidimora", "TOTALEDOVUTO", "€40,00", "D.Lgs.", "entroil"})
            QVERIFY2(!t.contains(QLatin1String(assente)), assente);
    }

    // The statement totals its credits' interest and asks € 40 once per document, however
    // many of its instalments are late; a missing rate leaves the block out and says so.
    void interestInAStatement()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        conInteressi(c, QStringLiteral("PA"));
        const QDate giorno(2025, 8, 20);
        Credito k;
        k.numero = QStringLiteral("7");
        k.dataFattura = QDate(2025, 3, 1);
        k.importo = Money::fromCents(100000);
        QList<qint64> ids;
        Money atteso;
        const auto tassi = sz::interessi::leggiTassi(c);
        for (const QDate& s : {QDate(2025, 4, 1), QDate(2025, 5, 1), QDate(2025, 6, 1)}) {
            k.scadenza = s;
            ids << dunningdata::aggiungi(c, k);
            atteso += k.importo + sz::interessi::calcola(tassi, sz::interessi::TipoCliente::PA, k.importo, s,
                                                         k.dataFattura, giorno).interessi;
        }
        k.numero = QStringLiteral("8");
        k.scadenza = QDate(2025, 7, 1);
        k.incassato = Money::fromCents(40000);
        ids << dunningdata::aggiungi(c, k);
        const Money residuo = k.importo - k.incassato;
        atteso += residuo + sz::interessi::calcola(tassi, sz::interessi::TipoCliente::PA, residuo, k.scadenza,
                                                   k.dataFattura, giorno).interessi;
        atteso += Money::fromCents(8000);
        {
            Lettere lettere(c, giorno, sz::paths::dataRoot(), programFolder());
            const EsitoRun esito = lettere.perCliente({{QStringLiteral("ROSSI SRL"), ids}}, false);
            QVERIFY(GListaErrori.isEmpty());
            const QString t = compatto(esito.pdf.value(0));
            QVERIFY2(t.contains(QStringLiteral("(2documenti)€80,00")), qPrintable(t));
            QVERIFY2(t.contains(senzaSpazi(QStringLiteral("TOTALE DOVUTO") + FormattaValuta(atteso))), qPrintable(t));
            QCOMPARE(t.count(QStringLiteral("Interessidimora")), 4 + 1);
            QCOMPARE(titoloPdf(esito.pdf.value(0)), QStringLiteral("SITUAZIONE CONTABILE – ROSSI SRL"));
        }

        // The half-year after the last rate: no amount, the message, the letter still made.
        c.exec(QStringLiteral("UPDATE t_crediti SET Preavviso = NULL, Sollecito1 = NULL"));
        Lettere dopo(c, QDate(2026, 8, 20), sz::paths::dataRoot(), programFolder());
        const EsitoRun esito = dopo.perCliente({{QStringLiteral("ROSSI SRL"), ids}}, false);
        QCOMPARE(esito.pdf.size(), 1);
        QCOMPARE(GListaErrori.size(), 1);
        QVERIFY2(GListaErrori.first().startsWith(QStringLiteral(
                     "Manca il tasso di riferimento del 2° semestre 2026: inseriscilo in Impostazioni - Tassi di "
                     "interesse.")),
                 qPrintable(GListaErrori.first()));
        const QString t = compatto(esito.pdf.first());
        QVERIFY(!t.contains(QStringLiteral("TOTALEDOVUTO")));
        QVERIFY(!t.contains(QStringLiteral("Interessidimora")));
    }

    // The addressee sits in the window of a DL envelope (from 110 mm across, 50 to 95 mm
    // down): name and address inside, tax code, phones and mails below it, the letter's
    // text after it; a long mail address wraps at its dots, never inside a word.
    void addresseeInTheWindow()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        const QString root = sz::paths::dataRoot();
        const QStringList pdf = lettereSenzaInteressi(c, root);
        for (const QString& f : pdf) {
            const QPointF spett = posizione(f, QStringLiteral("Spett.le"));
            const QPointF cap = posizione(f, QStringLiteral("20100"));
            const QPointF iva = posizione(f, QStringLiteral("P.IVA:"));
            const QPointF data = posizione(f, QStringLiteral("lì"));
            QVERIFY2(spett.x() >= 110 && spett.y() >= 50, qPrintable(f));
            QVERIFY(cap.x() >= 110 && cap.y() > spett.y() && cap.y() + 4 <= 95);
            QVERIFY2(iva.y() >= 95, qPrintable(QString::number(iva.y())));
            QVERIFY(data.y() >= 95);
            const QString t = TestEnv::pdfText(f).remove(QChar(0x200B)).remove(QChar(0x2060));
            QVERIFY2(!t.contains(QStringLiteral("forniture-\n")) && !t.contains(QStringLiteral("forniture- ")),
                     qPrintable(t));
        }
    }

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
        QVERIFY(testo.contains(QStringLiteral("IT60 X054 2811 1010 0000 0123 456")));

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

    // Days between letters: a long overdue credit gets its advance notice today and its
    // first reminder only when the days of its payment mode have passed since, whichever
    // letter came last (a bad debt's letter is only in the log). No days, or a null or
    // negative number, lists as always.
    void spacingBetweenLetters()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("ROSSI SRL"));
        Credito k;
        k.numero = QStringLiteral("VECCHIO");
        k.scadenza = oggi.addDays(-60);
        const qint64 id = dunningdata::aggiungi(c, k);
        const QDate d = oggi.addDays(-100);
        k.numero = QStringLiteral("SOFF");
        k.fasi = {d, d, d, d};
        const qint64 soff = dunningdata::aggiungi(c, k);
        k.numero = QStringLiteral("CARTA");
        k.fasi = {};
        k.modalita = QStringLiteral("CARTA DI CREDITO");
        dunningdata::aggiungi(c, k);
        c.exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3, "
                              "GiorniTraSolleciti) VALUES ('CARTA DI CREDITO', -5, 5, 15, 30, NULL)"));

        spaziatura(c, 10);
        const QStringList primo = {"VECCHIO:PREAVVISO", "SOFF:IN SOFFERENZA", "CARTA:PREAVVISO"};
        QCOMPARE(dovuti(c), primo);
        sz::impostaOrologio(QDateTime(oggi, QTime(9, 30)));
        Lettere lettere(c, oggi, sz::paths::dataRoot(), programFolder());
        QVERIFY(lettere.perDocumento({id, soff}, false).guasto.isEmpty());
        QCOMPARE(colonna(c, id, QStringLiteral("Preavviso")).toDate(), oggi);
        QCOMPARE(dovuti(c), QStringList{"CARTA:PREAVVISO"});
        QCOMPARE(dovuti(c, oggi.addDays(9)), QStringList{"CARTA:PREAVVISO"});
        QCOMPARE(dovuti(c, oggi.addDays(10)), (QStringList{"VECCHIO:SOLLECITO1", "SOFF:IN SOFFERENZA",
                                                           "CARTA:PREAVVISO"}));
        QCOMPARE(LoadComboClienti(c, oggi), QStringList{"ROSSI SRL"});

        // Zero, negative and empty days: the list of before, the letter of today at once.
        for (const QVariant& g : {QVariant(0), QVariant(-3), QVariant()}) {
            spaziatura(c, g);
            QCOMPARE(dovuti(c), (QStringList{"VECCHIO:SOLLECITO1", "SOFF:IN SOFFERENZA", "CARTA:PREAVVISO"}));
        }

        // The latest letter counts, from the columns or from the log: a stage date
        // written later by hand holds the credit back from its own day.
        spaziatura(c, 10);
        c.exec(QStringLiteral("UPDATE t_crediti SET Preavviso = :D WHERE ID = :I"),
               {{QStringLiteral("D"), oggi.addDays(3)}, {QStringLiteral("I"), id}});
        QVERIFY(!dovuti(c, oggi.addDays(12)).contains(QStringLiteral("VECCHIO:SOLLECITO1")));
        QVERIFY(dovuti(c, oggi.addDays(13)).contains(QStringLiteral("VECCHIO:SOLLECITO1")));
        // A stage taken back in the register is not a letter to wait after, though the
        // log still tells that it was made.
        c.exec(QStringLiteral("UPDATE t_crediti SET Preavviso = NULL WHERE ID = :I"), {{QStringLiteral("I"), id}});
        QVERIFY(dovuti(c).contains(QStringLiteral("VECCHIO:PREAVVISO")));
        // Another mode's days do not count for this one.
        spaziatura(c, 0);
        spaziatura(c, 400, QStringLiteral("CARTA DI CREDITO"));
        QVERIFY(dovuti(c).contains(QStringLiteral("SOFF:IN SOFFERENZA")));
    }

    // A suspension of the client (whatever case its name is written in) or of the credit
    // holds while it has no end or its end is today or later; the day after, the credit is
    // listed again though the flag stays. The held-back credits are counted, those not
    // otherwise due are not.
    void suspensions()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::cliente(c, QStringLiteral("ROSSI SRL"));
        dunningdata::cliente(c, QStringLiteral("VERDI SPA"));
        auto add = [&](const char* n, const char* cliente, int giorni = -20) {
            Credito k;
            k.numero = QLatin1String(n);
            k.cliente = QLatin1String(cliente);
            k.scadenza = oggi.addDays(giorni);
            return dunningdata::aggiungi(c, k);
        };
        add("R1", "rossi srl");
        add("R2", "ROSSI SRL");
        add("RF", "ROSSI SRL", 30); // not due anyway
        const qint64 v1 = add("V1", "VERDI SPA"), v2 = add("V2", "VERDI SPA");
        add("N1", "NERI SNC"); // no client row: never suspended
        QCOMPARE(dovuti(c).size(), 5);
        QCOMPARE(contaSospesi(c, oggi), 0);

        sospendi(c, QStringLiteral("Rossi Srl"), true);
        sospendi(c, v1, true, oggi);
        QCOMPARE(dovuti(c), (QStringList{"V2:PREAVVISO", "N1:PREAVVISO"}));
        QCOMPARE(contaSospesi(c, oggi), 3);
        QCOMPARE(LoadComboClienti(c, oggi), (QStringList{"NERI SNC", "VERDI SPA"}));
        QCOMPARE(c.query(sqlCreditiPerCliente(true), parametriLista(oggi, QStringLiteral("ROSSI SRL"))).rows.size(), 0);
        // The credit's end was today: from tomorrow it is due again, its flag still set.
        QCOMPARE(dovuti(c, oggi.addDays(1)), (QStringList{"V1:PREAVVISO", "V2:PREAVVISO", "N1:PREAVVISO"}));
        QCOMPARE(contaSospesi(c, oggi.addDays(1)), 2);
        QCOMPARE(colonna(c, v1, QStringLiteral("SospendiSolleciti")).toBool(), true);

        // A client suspended until a day, a credit whose date is set without the flag.
        sospendi(c, QStringLiteral("ROSSI SRL"), true, oggi.addDays(5));
        sospendi(c, v2, false, oggi.addDays(50));
        QCOMPARE(dovuti(c, oggi.addDays(5)), (QStringList{"V1:PREAVVISO", "V2:PREAVVISO", "N1:PREAVVISO"}));
        QCOMPARE(dovuti(c, oggi.addDays(6)), (QStringList{"R1:PREAVVISO", "R2:PREAVVISO", "V1:PREAVVISO",
                                                          "V2:PREAVVISO", "N1:PREAVVISO"}));
        sospendi(c, QStringLiteral("ROSSI SRL"), false);
        QCOMPARE(contaSospesi(c, oggi), 1);
    }

    // Nothing left to pay, nothing to ask: a zero or negative residual is never listed,
    // whatever Pagato says.
    void nothingLeftToPay()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        auto add = [&](const char* n, qint64 importo, qint64 incassato) {
            Credito k;
            k.numero = QLatin1String(n);
            k.scadenza = oggi.addDays(-20);
            k.fasi = {oggi.addDays(-30)};
            k.importo = Money::fromCents(importo);
            k.incassato = Money::fromCents(incassato);
            return dunningdata::aggiungi(c, k);
        };
        add("ZERO", 10000, 10000);
        add("NEG", 10000, 12000);
        add("UNCENT", 10000, 9999);
        const qint64 nullo = add("NULLO", 10000, 0);
        c.exec(QStringLiteral("UPDATE t_crediti SET Residuo = NULL WHERE ID = :I"), {{QStringLiteral("I"), nullo}});
        QCOMPARE(dovuti(c), QStringList{"UNCENT:SOLLECITO1"});
        QCOMPARE(contaSospesi(c, oggi), 0);
    }

    // The log after runs of both kinds: one row per credit per letter, in the transaction
    // of its stage date, with what the letter was; a letter never made leaves no row, and
    // a cancelled run logs what it made. Letters from before the log show in a credit's
    // history from its columns.
    void letterLog()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("ROSSI SRL"));
        const QDate d = oggi.addDays(-40);
        Credito k;
        k.numero = QStringLiteral("A");
        k.scadenza = oggi.addDays(-10);
        k.fasi = {d};
        k.dataFattura = QDate(2026, 9, 30);
        const qint64 a = dunningdata::aggiungi(c, k);
        k.numero = QStringLiteral("B");
        k.fasi = {d, d, d, d};
        const qint64 b = dunningdata::aggiungi(c, k);
        k.numero = QStringLiteral("C");
        k.fasi = {};
        const qint64 cc = dunningdata::aggiungi(c, k);
        k.cliente = QStringLiteral("ORFANO");
        k.numero = QStringLiteral("O");
        const qint64 o = dunningdata::aggiungi(c, k);

        sz::impostaOrologio(QDateTime(oggi, QTime(10, 15, 30)));
        const QString root = sz::paths::dataRoot();
        Lettere lettere(c, oggi, root, programFolder());
        const EsitoRun doc = lettere.perDocumento({a, b, o}, false);
        QCOMPARE(doc.pdf.size(), 2);
        auto log = sz::invii::elenco(c, {});
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0].idCredito, a);
        QCOMPARE(log[0].cliente, QStringLiteral("ROSSI SRL"));
        QCOMPARE(log[0].numeroFattura, QStringLiteral("A"));
        QCOMPARE(log[0].dataFattura, QDate(2026, 9, 30));
        QCOMPARE(log[0].fase, QStringLiteral("SOLLECITO1"));
        QCOMPARE(log[0].modo, QStringLiteral("DOCUMENTO"));
        QCOMPARE(log[0].dataOra.date(), oggi);
        QCOMPARE(log[0].file, sz::invii::percorsoRelativo(root, doc.pdf[0]));
        QVERIFY(log[0].file.startsWith(QStringLiteral("Archivio/Solleciti per Fattura/Solleciti/2026-12-07/")));
        QCOMPARE(log[0].canale, QStringLiteral("PDF"));
        QCOMPARE(log[0].esito, QStringLiteral("CREATA"));
        QVERIFY(log[0].destinatari.isEmpty() && log[0].messageId.isEmpty());
        QCOMPARE(log[0].postazione, sz::invii::postazione());
        QCOMPARE(log[1].fase, QStringLiteral("IN SOFFERENZA"));
        logCoerente(c, oggi);

        // Per client: one letter, a row for each of its credits at its own stage.
        c.exec(QStringLiteral("UPDATE t_crediti SET Sollecito1 = NULL WHERE ID = :I"), {{QStringLiteral("I"), a}});
        c.exec(QStringLiteral("DELETE FROM t_invii"));
        const EsitoRun cli = lettere.perCliente({{QStringLiteral("ROSSI SRL"), {a, cc, b}}}, false);
        QCOMPARE(cli.pdf.size(), 1);
        log = sz::invii::elenco(c, {});
        QCOMPARE(log.size(), 3);
        QStringList fasi;
        for (const auto& v : log) {
            fasi << v.fase;
            QCOMPARE(v.modo, QStringLiteral("CLIENTE"));
            QCOMPARE(v.file, QStringLiteral("Archivio/Solleciti per Cliente/2026-12-07/20261207_ROSSI SRL.pdf"));
        }
        fasi.sort();
        QCOMPARE(fasi, (QStringList{"IN SOFFERENZA", "PREAVVISO", "SOLLECITO1"}));
        logCoerente(c, oggi);

        // Cancelled after the first letter: the second is neither made nor logged.
        c.exec(QStringLiteral("UPDATE t_crediti SET Preavviso = NULL, Sollecito1 = NULL WHERE ID IN (:A, :C)"),
               {{QStringLiteral("A"), a}, {QStringLiteral("C"), cc}});
        c.exec(QStringLiteral("UPDATE t_crediti SET Preavviso = :D WHERE ID = :A"), {{QStringLiteral("D"), d}, {QStringLiteral("A"), a}});
        c.exec(QStringLiteral("DELETE FROM t_invii"));
        const EsitoRun fermato = lettere.perDocumento({cc, a}, false, [](int fatti, int) { return fatti < 1; });
        QVERIFY(fermato.interrotto);
        QCOMPARE(sz::invii::elenco(c, {}).size(), 1);
        QVERIFY(colonna(c, a, QStringLiteral("Sollecito1")).isNull());
        logCoerente(c, oggi);

        // The history: the logged letter, and the older stage date from before the log.
        const auto storia = sz::invii::storico(c, a);
        QCOMPARE(storia.size(), 1);
        QVERIFY(storia[0].daColonne);
        QCOMPARE(storia[0].dataOra.date(), d);
        const auto storiaC = sz::invii::storico(c, cc);
        QCOMPARE(storiaC.size(), 1);
        QVERIFY(!storiaC[0].daColonne);
        QCOMPARE(storiaC[0].fase, QStringLiteral("PREAVVISO"));

        // A run begun before midnight and still going after it: its letter is logged on
        // the day of its stage date, and the history shows it once.
        sz::impostaOrologio(QDateTime(oggi.addDays(1), QTime(0, 5)));
        QCOMPARE(lettere.perDocumento({cc}, false).pdf.size(), 1);
        const auto dopo = sz::invii::storico(c, cc);
        QCOMPARE(dopo.size(), 2);
        QCOMPARE(dopo[0].fase, QStringLiteral("SOLLECITO1"));
        QCOMPARE(dopo[0].dataOra, QDateTime(oggi, QTime(23, 59, 59)));
        logCoerente(c, oggi);
    }

    // Templates with nothing to say: missing, or blank in subject and both texts. Per
    // document each credit's stage template, per client the generic one.
    void emptyTemplates()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        const QDate d = oggi.addDays(-40);
        auto add = [&](const char* n, QList<QDate> fasi) {
            Credito k;
            k.numero = QLatin1String(n);
            k.scadenza = oggi.addDays(-20);
            k.fasi = fasi;
            return dunningdata::aggiungi(c, k);
        };
        const qint64 p = add("P", {}), s2 = add("S2", {d, d}), s2b = add("S2B", {d, d}), soff = add("SOFF", {d, d, d, d});
        QVERIFY(modelliVuoti(c, {p, s2, soff}, false).isEmpty());
        c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = ' ', Introduzione = :A, Finale = NULL "
                              "WHERE Tipologia = 'SOLLECITO2'"),
               {{QStringLiteral("A"), QStringLiteral("\r\n \t")}});
        c.exec(QStringLiteral("DELETE FROM t_comunicazioni WHERE Tipologia = 'IN SOFFERENZA'"));
        const auto vuoti = modelliVuoti(c, {soff, p, s2b, s2}, false);
        QCOMPARE(vuoti.size(), 2);
        QCOMPARE(vuoti[0].tipologia, QStringLiteral("SOLLECITO2"));
        QCOMPARE(vuoti[0].ids, (QList<qint64>{s2b, s2}));
        QCOMPARE(etichettaModello(vuoti[0].tipologia), QStringLiteral("2° SOLLECITO"));
        QCOMPARE(vuoti[1].ids, QList<qint64>{soff});
        QVERIFY(modelliVuoti(c, {p, s2}, true).isEmpty());
        // A closing alone is words enough.
        c.exec(QStringLiteral("UPDATE t_comunicazioni SET Finale = 'Saluti' WHERE Tipologia = 'SOLLECITO2'"));
        QCOMPARE(modelliVuoti(c, {s2}, false).size(), 0);
        c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = '', Introduzione = '', Finale = '' "
                              "WHERE Tipologia = 'GENERICA'"));
        const auto generica = modelliVuoti(c, {p, s2}, true);
        QCOMPARE(generica.size(), 1);
        QCOMPARE(etichettaModello(generica[0].tipologia), QStringLiteral("GENERICA"));
        QCOMPARE(generica[0].ids, (QList<qint64>{p, s2}));
    }

    // The lists' rows for a spreadsheet: the grid's titles, amounts as amounts.
    void listAsTable()
    {
        TestEnv env;
        sz::db::Connection c(env.installDatabase());
        Credito k;
        k.scadenza = oggi;
        k.importo = Money::fromCents(123456);
        k.incassato = Money::fromCents(456);
        dunningdata::aggiungi(c, k);
        const auto t = tabellaLista(c.query(sqlCreditiPerDocumento(), parametriLista(oggi)));
        QCOMPARE(t.titoli.size(), 16);
        QCOMPARE(t.titoli.first(), QStringLiteral("Documento N°"));
        QCOMPARE(t.titoli[12], QStringLiteral("Residuo"));
        QCOMPARE(t.tipi[12], sz::esporta::Tipo::Importo);
        QCOMPARE(t.tipi[2], sz::esporta::Tipo::Data);
        QCOMPARE(t.righe.size(), 1);
        QCOMPARE(t.righe[0][12].value<Money>(), Money::fromCents(123000));
        QCOMPARE(t.righe[0][2].toDate(), oggi);
        QVERIFY(t.righe[0][3].isNull());
    }

    // suspend, resume and letters log as a script runs them: checked input (exit 2 and
    // nothing written), one confirmation line, the log tab-separated with every stored
    // line break kept inside its field, and a spreadsheet of it.
    void commandLineSuspendAndLog()
    {
        TestEnv env;
        const QString radice = env.documents() + QStringLiteral("/Scadenzio/");
        const QDate adesso = QDate::currentDate();
        qint64 id;
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
            id = dunningdata::aggiungi(c, k);
            k.numero = QStringLiteral("8");
            dunningdata::aggiungi(c, k);
        }
        auto cli = [](const QStringList& a) { return TestEnv::runCli(a); };
        auto righeLista = [&] {
            return cli({QStringLiteral("dunning"), QStringLiteral("list")}).out.count(QLatin1Char('\n')) - 1;
        };
        QCOMPARE(righeLista(), 2);
        // The list in a spreadsheet: the grid's titles, the residual as a number in euros.
        const QString xlsx = env.home() + QStringLiteral("/dovuti.xlsx");
        QCOMPARE(cli({"dunning", "list", "--xlsx", xlsx}).code, 0);
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import openpyxl,sys\n"
                                 "ws=openpyxl.load_workbook(sys.argv[1]).active\n"
                                 "print(ws.max_row, ws['A1'].value, ws['M1'].value, repr(ws['M2'].value), "
                                 "ws['C2'].value.strftime('%d/%m/%Y'))"),
                  xlsx});
        QVERIFY(py.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(py.readAllStandardOutput()).trimmed(),
                 QStringLiteral("3 Documento N° Residuo 1000 %1").arg(sz::dates::toDisplay(adesso.addDays(-1))));
        QCOMPARE(cli({"dunning", "list", "--xlsx"}).code, 2);
        const QString lungo(256, QLatin1Char('x'));
        const QString fino = sz::dates::toDisplay(adesso.addDays(30));
        const struct
        {
            QStringList args;
            QString errore;
        } sbagliati[] = {
            {{"--client", "NESSUNO", "--motivo", "x"}, "non risulta in anagrafica"},
            {{"--credit", "999", "--motivo", "x"}, "non è presente in archivio"},
            {{"--credit", "abc", "--motivo", "x"}, "non è un ID di credito"},
            {{"--client", "ROSSI SRL", "--credit", QString::number(id), "--motivo", "x"}, "uno solo"},
            {{"--motivo", "x"}, "uno solo"},
            {{"--client", "ROSSI SRL", "--fino", "31/02/2027", "--motivo", "x"}, "non è una data valida"},
            {{"--client", "ROSSI SRL", "--fino", "01/01/2000", "--motivo", "x"}, "è già passata"},
            {{"--client", "ROSSI SRL"}, "indicare il motivo"},
            {{"--client", "ROSSI SRL", "--motivo", "  "}, "indicare il motivo"},
            {{"--client", "ROSSI SRL", "--motivo", lungo}, "255 caratteri"},
            {{"--client", "ROSSI SRL", "--motivo", "due\nrighe"}, "una riga"},
        };
        for (const auto& caso : sbagliati) {
            const auto r = cli(QStringList{"dunning", "suspend"} + caso.args);
            QVERIFY2(r.code == 2 && r.err.contains(caso.errore), qPrintable(caso.args.join(' ') + " -> " + r.err));
            QVERIFY(r.out.isEmpty());
        }
        QCOMPARE(righeLista(), 2);

        auto r = cli({"dunning", "suspend", "--client", "rossi srl", "--fino", fino, "--motivo", "Piano di rientro"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.out, QStringLiteral("Solleciti sospesi per il Cliente ROSSI SRL fino al %1: Piano di rientro\n").arg(fino));
        QCOMPARE(righeLista(), 0);
        r = cli({"dunning", "resume", "--client", "ROSSI SRL"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Solleciti ripresi per il Cliente ROSSI SRL.\n"));
        QCOMPARE(righeLista(), 2);
        r = cli({"dunning", "suspend", "--credit", QString::number(id), "--motivo", "Contestazione"});
        QCOMPARE(r.out, QStringLiteral("Solleciti sospesi per il credito %1 (Documento N°7/B, ROSSI SRL): Contestazione\n")
                            .arg(id));
        QCOMPARE(righeLista(), 1);
        QCOMPARE(cli({"dunning", "resume", "--credit", QString::number(id), "--motivo", "x"}).code, 2);
        QCOMPARE(cli({"dunning", "resume", "--credit", QString::number(id)}).code, 0);
        QCOMPARE(righeLista(), 2);

        // A letter, then the log; a name stored with a tab and a line break stays in its field.
        {
            sz::db::Connection c(radice + QStringLiteral("DB/gestionale.mdb"));
            c.exec(QStringLiteral("UPDATE t_crediti SET NumeroFattura = :N WHERE ID <> :I"),
                   {{QStringLiteral("N"), QStringLiteral("8\t\r\nX")}, {QStringLiteral("I"), id}});
        }
        r = cli({"dunning", "pdf", QString::number(id), QString::number(id + 1)});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QString csv = env.home() + QStringLiteral("/log.csv");
        r = cli({"letters", "log", "--csv", csv});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QStringList righe = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(righe.size(), 3);
        QCOMPARE(righe[0], QStringLiteral("ID\tIDCredito\tCliente\tNumeroFattura\tDataFattura\tFase\tModo\tDataOra\tFile\t"
                                          "Canale\tDestinatari\tMessageID\tEsito\tPostazione\tStato PEC"));
        QStringList campi = righe[1].split(QLatin1Char('\t'));
        QCOMPARE(campi.size(), 15);
        QCOMPARE(campi[1], QString::number(id));
        QCOMPARE(campi[3], QStringLiteral("7/B"));
        QCOMPARE(campi[4], sz::dates::toDisplay(adesso.addDays(-31)));
        QCOMPARE(campi[5], QStringLiteral("PREAVVISO"));
        QCOMPARE(campi[6], QStringLiteral("DOCUMENTO"));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$")).match(campi[7]).hasMatch(),
                 qPrintable(campi[7]));
        QVERIFY(campi[8].startsWith(QStringLiteral("Archivio/Solleciti per Fattura/Preavvisi/")));
        QCOMPARE(campi[9], QStringLiteral("PDF"));
        QCOMPARE(campi[12], QStringLiteral("CREATA"));
        QCOMPARE(righe[2].split(QLatin1Char('\t')).size(), 15);
        QVERIFY(QFileInfo(csv).size() > 0);

        QCOMPARE(cli({"letters", "log", "--credit", QString::number(id)}).out.count(QLatin1Char('\n')), 2);
        QCOMPARE(cli({"letters", "log", "--client", "nessuno"}).out.count(QLatin1Char('\n')), 1);
        const QString domani = sz::dates::toDisplay(adesso.addDays(1));
        QCOMPARE(cli({"letters", "log", "--dal", domani}).out.count(QLatin1Char('\n')), 1);
        QCOMPARE(cli({"letters", "log", "--dal", sz::dates::toDisplay(adesso), "--al", sz::dates::toDisplay(adesso)})
                     .out.count(QLatin1Char('\n')),
                 3);
        QCOMPARE(cli({"letters", "log", "--dal", domani, "--al", sz::dates::toDisplay(adesso)}).code, 2);
        QCOMPARE(cli({"letters", "log", "--dal", "32/01/2026"}).code, 2);
        QCOMPARE(cli({"letters", "log", "--credit", "0"}).code, 2);
        QCOMPARE(cli({"letters", "log", "--boh"}).code, 2);
    }

    // The command line makes no letter from an empty template: one line per credit that
    // names the document and the template, exit 1, the other letters made.
    void commandLineEmptyTemplate()
    {
        TestEnv env;
        const QString radice = env.documents() + QStringLiteral("/Scadenzio/");
        const QDate adesso = QDate::currentDate();
        qint64 p, s;
        {
            QProcess upgrade;
            upgrade.start(QStringLiteral(SZ_PROGRAM_DIR "/scadenzio-cli"), {QStringLiteral("upgrade")});
            QVERIFY(upgrade.waitForFinished(60000) && upgrade.exitCode() == 0);
            sz::db::Connection c(radice + QStringLiteral("DB/gestionale.mdb"));
            dunningdata::societa(c);
            dunningdata::cliente(c, QStringLiteral("ROSSI SRL"));
            Credito k;
            k.numero = QStringLiteral("P1");
            k.scadenza = adesso;
            p = dunningdata::aggiungi(c, k);
            k.numero = QStringLiteral("S1");
            k.scadenza = adesso.addDays(-20);
            k.fasi = {adesso.addDays(-30), adesso.addDays(-10)};
            s = dunningdata::aggiungi(c, k);
            c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = '', Introduzione = '', Finale = '' "
                                  "WHERE Tipologia = 'SOLLECITO2'"));
        }
        auto r = TestEnv::runCli({"dunning", "pdf", QString::number(p), QString::number(s)});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err.trimmed(), QStringLiteral("Comunicazione non creata per il Documento N°S1 (credito %1): il modello "
                                                 "della comunicazione \"2° SOLLECITO\" è vuoto.")
                                      .arg(s));
        QCOMPARE(r.out.count(QLatin1Char('\n')), 1);
        QVERIFY(r.out.contains(QStringLiteral("_PREAVVISO_FATTP1_")));
        sz::db::Connection c(radice + QStringLiteral("DB/gestionale.mdb"));
        QVERIFY(colonna(c, s, QStringLiteral("Sollecito2")).isNull());
        QCOMPARE(sz::invii::elenco(c, {}).size(), 1);

        // Per client the generic template.
        c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = NULL, Introduzione = NULL, Finale = '  ' "
                              "WHERE Tipologia = 'GENERICA'"));
        r = TestEnv::runCli({"dunning", "pdf", "--per-client", QString::number(s)});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("il modello della comunicazione \"GENERICA\" è vuoto")), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }
};

QTEST_MAIN(TestDunning)
#include "tst_dunning.moc"
