// The client registry with its chart, and the payment modes with their thresholds:
// what the user types, what reaches the database, and what must stay untouched.
#include "FormTest.h"
#include "DbProva.h"
#include "TestEnv.h"

#include "Anagraficaclienti.h"
#include "GraficoCliente.h"
#include "Parametri.h"
#include "StatisticheCliente.h"
#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolTip>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>
#include <memory>

using sz::Money;
using sz::db::Connection;
using sz::ui::Navigator;

namespace {

using namespace formtest;

const QString nomeMancante =
    QStringLiteral("ATTENZIONE: la ragione sociale risulta mancante. Si prega di compilare il campo richiesto per "
                   "poter effettuare il salvataggio dei dati.");
const QString modalitaMancante =
    QStringLiteral("ATTENZIONE: la modalità di pagamento risulta mancante. Si prega di compilare il campo richiesto "
                   "per poter effettuare il salvataggio dei dati.");

std::optional<Money> euro(int e)
{
    return Money::fromCents(qint64(e) * 100);
}

void addClient(Connection& c, const QString& nome, const QString& localita = {}, const QString& extra = {},
               const QString& cf = {})
{
    c.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale, Localita, Mail3, CF) VALUES (:n, :l, :m, :cf)"),
           {{"n", nome}, {"l", localita}, {"m", extra}, {"cf", cf}});
}

void addCredit(Connection& c, const QString& cliente, int importo, int incassato, const char* stato, QDate data)
{
    c.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Importo, Incassato, Residuo, "
                          "Cliente, Stato, ImportoTotale) VALUES (:nf, :df, :sc, :imp, :inc, :res, :cli, :st, :imp)"),
           {{"nf", QStringLiteral("F%1").arg(importo)},
            {"df", data},
            {"sc", data.addDays(30)},
            {"imp", QVariant::fromValue(*euro(importo))},
            {"inc", QVariant::fromValue(*euro(incassato))},
            {"res", QVariant::fromValue(*euro(importo - incassato))},
            {"cli", cliente},
            {"st", QString::fromLatin1(stato)}});
}

// The example the chart must reproduce: open 100 of which 40 collected, closed 50.
void addExample(Connection& c, const QString& cliente, int anno)
{
    addCredit(c, cliente, 100, 40, "APERTA", QDate(anno, 3, 10));
    addCredit(c, cliente, 50, 50, "CHIUSA", QDate(anno, 6, 1));
}

QStringList visibleValues(sz::db::Dataset* ds, const QString& field)
{
    QStringList out;
    const int f = ds->fieldIndex(field);
    for (int r = 0; r < ds->recordCount(); ++r)
        out << ds->valueAt(r, f).toString();
    return out;
}

// The texts of one grid column, by its title, as the rows are shown.
QStringList columnTexts(sz::ui::Grid* grid, const QString& title)
{
    auto* m = grid->model();
    int col = -1;
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal).toString() == title)
            col = c;
    if (col < 0)
        qFatal("column %s missing", qPrintable(title));
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, col).data().toString();
    return out;
}

void addSuspendedClient(Connection& c, const QString& nome, bool sospendi, const QDate& fino, const QString& motivo)
{
    c.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale, SospendiSolleciti, SospesoFino, MotivoSospensione) "
                          "VALUES (:n, :s, :f, :m)"),
           {{"n", nome}, {"s", sospendi}, {"f", fino.isValid() ? QVariant(fino) : QVariant()}, {"m", motivo}});
}

void showForPicture(QWidget* w)
{
    w->resize(1100, 700);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCoreApplication::processEvents();
}

} // namespace

class TestClientsParams : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::fontsAvailable());
        sz::ui::applyLook();
        sz::ui::loadItalianTranslations();
    }

    // ---- chart figures, without widgets ------------------------------------------------

    void figuresFollowTheChosenYearAndAllYears()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addExample(c, "ALFA SRL", 2024);
        addCredit(c, "ALFA SRL", 70, 10, "APERTA", QDate(2023, 12, 31));
        addCredit(c, "BETA SPA", 999, 0, "APERTA", QDate(2024, 5, 5)); // another client: never counted

        const auto anno = clienti::calcolaFigure(c, QStringLiteral("ALFA SRL"), 2024);
        QCOMPARE(anno.totaleFatture, euro(150));
        QCOMPARE(anno.totaleCrediti, euro(100));
        QCOMPARE(anno.incassati, euro(40));
        QCOMPARE(anno.daIncassare, euro(60));

        const auto tutti = clienti::calcolaFigure(c, QStringLiteral("ALFA SRL"), std::nullopt);
        QCOMPARE(tutti.totaleFatture, euro(220));
        QCOMPARE(tutti.totaleCrediti, euro(170));
        QCOMPARE(tutti.incassati, euro(50));
        QCOMPARE(tutti.daIncassare, euro(120));

        // Only closed rows in a year: the open figures are empty, not zero.
        const auto chiuso = clienti::calcolaFigure(c, QStringLiteral("BETA SPA"), 2023);
        QVERIFY(chiuso.vuota());
        addCredit(c, "GAMMA", 80, 80, "CHIUSA", QDate(2022, 1, 1));
        const auto soloChiuse = clienti::calcolaFigure(c, QStringLiteral("GAMMA"), 2022);
        QCOMPARE(soloChiuse.totaleFatture, euro(80));
        QCOMPARE(soloChiuse.totaleCrediti, std::optional<Money>());

        // A row not yet saved has no name and matches nothing, not the rows without a client.
        addCredit(c, QString(), 10, 0, "APERTA", QDate(2024, 1, 1));
        QVERIFY(clienti::calcolaFigure(c, QVariant(), std::nullopt).vuota());

        QCOMPARE(clienti::anniFatture(c), QList<int>({2024, 2023, 2022}));
    }

    // ---- client registry ---------------------------------------------------------------

    void noDatabaseShowsTheCommonErrorAndFailsTheFrame()
    {
        TestEnv env; // no database file at the default path
        sz::ui::MessageRecorder rec;
        QVERIFY_THROWS_EXCEPTION(sz::Error, TFrameAnagraficaClienti());
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY(rec.messages[0].startsWith("ATTENZIONE: si è verificato il seguente errore "));
    }

    void blankNameIsRefusedAndNothingWritten()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addClient(c, "ESISTENTE SRL");
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;

        press(&f, "sDBNavigator1", Navigator::Insert);
        QVERIFY(f.dettaglioVisibile());
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("   "));
        typeInto(&f, "DBEditLocalita", QStringLiteral("Milano"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages, QStringList{nomeMancante});
        QVERIFY(f.dettaglioVisibile());
        QCOMPARE(f.ADOQueryClienti()->state(), sz::db::Dataset::State::Insert);
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_clienti"), 1);

        // Blanking an existing name is refused just the same and leaves the row as it was.
        press(&f, "sDBNavigator3", Navigator::Cancel);
        QVERIFY(!f.dettaglioVisibile());
        press(&f, "sDBNavigator1", Navigator::Edit);
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("   "));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 2);
        QCOMPARE(c.scalar("SELECT RagioneSociale FROM t_clienti").toString(), QStringLiteral("ESISTENTE SRL"));
    }

    // A mail field holding a line break (as an older import could leave it) is refused
    // on save, shown with its breaks made visible, until it is corrected.
    void mailWithControlCharactersIsRefused()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        c.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale, Mail1, Mail2) VALUES ('BETA SRL', 'b@beta.it', "
                              ":m)"),
               {{QStringLiteral("m"), QStringLiteral("b@beta.it>\r\nRCPT TO:<x@evil.test>")}});
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;
        press(&f, "sDBNavigator1", Navigator::Edit);
        typeInto(&f, "DBEditLocalita", QStringLiteral("Padova"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages,
                 QStringList{QStringLiteral("ATTENZIONE: il campo \"Mail #2\" contiene caratteri di controllo, come un "
                                            "a capo (b@beta.it>␍␊RCPT TO:<x@evil.test>). Si prega di correggere il "
                                            "campo per poter effettuare il salvataggio dei dati.")});
        QCOMPARE(f.ADOQueryClienti()->state(), sz::db::Dataset::State::Edit);
        QVERIFY(c.scalar("SELECT Localita FROM t_clienti").isNull());

        typeInto(&f, "DBEditMail2", QStringLiteral("b2@beta.it"));
        f.ADOQueryClienti()->setValue(QStringLiteral("Mail3"), QStringLiteral("c@beta.it\t"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 2);
        QVERIFY2(rec.messages[1].contains(QStringLiteral("\"Mail #3\"")), qPrintable(rec.messages[1]));
        QVERIFY(rec.messages[1].contains(QStringLiteral("(c@beta.it␉)")));
        typeInto(&f, "DBEditMail3", QStringLiteral("c@beta.it"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 2);
        QCOMPARE(c.scalar("SELECT Mail2 || ' ' || Mail3 || ' ' || Localita FROM t_clienti").toString(),
                 QStringLiteral("b2@beta.it c@beta.it PADOVA"));
    }

    void newClientIsWrittenInCapitalsExceptMail()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;

        press(&f, "sDBNavigator1", Navigator::Insert);
        QVERIFY(f.grafico()->figure().vuota());
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("rossi & figli"));
        typeInto(&f, "DBEditCAP", QStringLiteral("2012345"));
        typeInto(&f, "DBEditProvincia", QStringLiteral("mil"));
        typeInto(&f, "DBEditMail1", QStringLiteral("Amministrazione@Rossi.it"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QVERIFY(rec.messages.isEmpty());
        QVERIFY(!f.dettaglioVisibile());

        const auto r = c.query("SELECT RagioneSociale, CAP, Provincia, Mail1 FROM t_clienti");
        QCOMPARE(r.rows.size(), 1);
        QCOMPARE(r.rows[0][0].toString(), QStringLiteral("ROSSI & FIGLI"));
        QCOMPARE(r.rows[0][1].toString(), QStringLiteral("20123"));
        QCOMPARE(r.rows[0][2].toString(), QStringLiteral("MI"));
        QCOMPARE(r.rows[0][3].toString(), QStringLiteral("Amministrazione@Rossi.it"));
        QCOMPARE(f.ADOQueryClienti()->recordCount(), 1);
    }

    // The kind: empty shows as a business; a personal tax code without a VAT number proposes
    // a consumer, which a VAT number typed later takes back and which never overrides a kind
    // chosen by the user or already saved; the choice is stored by its code.
    void clientKindChosenAndProposed()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        c.exec("INSERT INTO t_clienti (RagioneSociale, TipoCliente) VALUES ('COMUNE DI BARI', 'PA'), "
               "('VECCHIO CLIENTE', NULL)");
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;
        QComboBox* tipo = f.tipoCliente();
        QCOMPARE(tipo->count(), 3);
        QCOMPARE(tipo->itemText(1), QStringLiteral("Pubblica amministrazione"));
        const auto tipoDi = [&](const QString& nome) {
            return c.scalar("SELECT IFNULL(TipoCliente, '') FROM t_clienti WHERE RagioneSociale = :n", {{"n", nome}})
                .toString();
        };

        // A new client: the code of a person proposes a consumer; a VAT number takes it back.
        press(&f, "sDBNavigator1", Navigator::Insert);
        QCOMPARE(tipo->currentText(), QStringLiteral("Impresa"));
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("verdi anna"));
        typeInto(&f, "DBEditCF", QStringLiteral("vrdnna80a41h501x"));
        QCOMPARE(tipo->currentText(), QStringLiteral("Consumatore"));
        typeInto(&f, "DBEditIVA", QStringLiteral("01234567890"));
        QCOMPARE(tipo->currentText(), QStringLiteral("Impresa"));
        typeInto(&f, "DBEditIVA", QString());
        QCOMPARE(tipo->currentText(), QStringLiteral("Consumatore"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QVERIFY(rec.messages.isEmpty());
        QCOMPARE(tipoDi("VERDI ANNA"), QStringLiteral("CONSUMATORE"));

        // A business's eleven-digit code proposes nothing; the user's own choice is kept.
        press(&f, "sDBNavigator1", Navigator::Insert);
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("gamma srl"));
        typeInto(&f, "DBEditCF", QStringLiteral("01234567890"));
        QCOMPARE(tipo->currentText(), QStringLiteral("Impresa"));
        tipo->setCurrentIndex(1);
        emit tipo->activated(1);
        typeInto(&f, "DBEditCF", QStringLiteral("GMMSRL80A01H501U"));
        QCOMPARE(tipo->currentText(), QStringLiteral("Pubblica amministrazione"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(tipoDi("GAMMA SRL"), QStringLiteral("PA"));

        // Saved kinds show as saved; one never set shows as a business and is still open to the proposal.
        QVERIFY(f.ADOQueryClienti()->locate("RagioneSociale", "COMUNE DI BARI"));
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(tipo->currentText(), QStringLiteral("Pubblica amministrazione"));
        typeInto(&f, "DBEditCF", QStringLiteral("80015010723XXXXX"));
        QCOMPARE(tipo->currentText(), QStringLiteral("Pubblica amministrazione"));
        press(&f, "sDBNavigator3", Navigator::Cancel);
        QVERIFY(f.ADOQueryClienti()->locate("RagioneSociale", "VECCHIO CLIENTE"));
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(tipo->currentText(), QStringLiteral("Impresa"));
        typeInto(&f, "DBEditCF", QStringLiteral("BNCLRA75B42F205Z"));
        QCOMPARE(tipo->currentText(), QStringLiteral("Consumatore"));
        tipo->setCurrentIndex(0);
        emit tipo->activated(0);
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(tipoDi("VECCHIO CLIENTE"), QStringLiteral("IMPRESA"));
        QVERIFY(rec.messages.isEmpty());
    }

    void filterSearchesThirteenColumnsAndTakesQuotes()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addClient(c, "L'ARTE DEL FERRO SNC", "SAN DONA' DI PIAVE");
        addClient(c, "ROSSI SRL", "ROMA", "fatture@ferramenta.it");
        addClient(c, "BIANCHI SPA", "TORINO", {}, "FERXXX80A01H501U");
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;
        auto* ds = f.ADOQueryClienti();
        auto* filtro = child<QLineEdit>(&f, "EditFiltro");

        QTest::keyClicks(filtro, QStringLiteral("L'A"));
        QCOMPARE(visibleValues(ds, "RagioneSociale"), QStringList{"L'ARTE DEL FERRO SNC"});
        filtro->setText(QStringLiteral("'"));
        QCOMPARE(visibleValues(ds, "RagioneSociale"), QStringList{"L'ARTE DEL FERRO SNC"});
        filtro->setText(QStringLiteral("A' DI"));
        QCOMPARE(ds->recordCount(), 1);

        // Case ignored; a hit in Mail3 counts, one in CF does not.
        filtro->setText(QStringLiteral("fer"));
        QCOMPARE(visibleValues(ds, "RagioneSociale"), QStringList({"L'ARTE DEL FERRO SNC", "ROSSI SRL"}));
        filtro->clear();
        QCOMPARE(ds->recordCount(), 3);
        QVERIFY(rec.messages.isEmpty());
    }

    // Credits name their client: a rename asks whether they follow, and either way the
    // client's row and its credits never disagree halfway.
    void renamingAsksWhetherTheCreditsFollow()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addClient(c, "ALFA SRL");
        addExample(c, "ALFA SRL", 2025);
        c.exec("UPDATE t_crediti SET DestinatarioFattura = 'ALFA SRL' WHERE Importo = :i",
               {{"i", QVariant::fromValue(*euro(50))}});
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;

        // No: the credits keep the old name, and the chart of the renamed client is empty.
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(f.grafico()->figure().totaleFatture, euro(150));
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("ALFA NUOVA SRL"));
        rec.answerNext(false);
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY2(rec.messages[0].startsWith(QStringLiteral("Il cliente \"ALFA SRL\" compare in 2 crediti.")),
                 qPrintable(rec.messages[0]));
        QCOMPARE(c.scalar("SELECT RagioneSociale FROM t_clienti").toString(), QStringLiteral("ALFA NUOVA SRL"));
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_crediti WHERE Cliente = 'ALFA SRL'"), 2);
        press(&f, "sDBNavigator1", Navigator::Edit);
        QVERIFY(f.grafico()->figure().vuota());
        QCOMPARE(f.grafico()->etichette(), QStringList({"", "", "", ""}));
        press(&f, "sDBNavigator3", Navigator::Cancel);

        // Back to the old name: no credit names the new one, so nothing is asked.
        press(&f, "sDBNavigator1", Navigator::Edit);
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("ALFA SRL"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 1);

        // Yes, but the credits cannot be written: neither is renamed.
        blocca(c, QStringLiteral("blocca"), QStringLiteral("BEFORE UPDATE OF Cliente ON t_crediti"), QStringLiteral("bloccato"));
        press(&f, "sDBNavigator1", Navigator::Edit);
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("ALFA UNO SRL"));
        rec.answerNext(true);
        press(&f, "sDBNavigator3", Navigator::Post);
        QVERIFY(rec.messages.last().contains(QStringLiteral("bloccato")));
        QCOMPARE(c.scalar("SELECT RagioneSociale FROM t_clienti").toString(), QStringLiteral("ALFA SRL"));
        press(&f, "sDBNavigator3", Navigator::Cancel);
        sblocca(c, QStringLiteral("blocca"), QStringLiteral("t_crediti"));

        // Yes: client, client of both credits and recipient of one, in one go.
        press(&f, "sDBNavigator1", Navigator::Edit);
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("ALFA UNO SRL"));
        rec.answerNext(true);
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(c.scalar("SELECT RagioneSociale FROM t_clienti").toString(), QStringLiteral("ALFA UNO SRL"));
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_crediti WHERE Cliente = 'ALFA UNO SRL'"), 2);
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_crediti WHERE DestinatarioFattura = 'ALFA UNO SRL'"), 1);
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_crediti WHERE Cliente = 'ALFA SRL' OR DestinatarioFattura = "
                          "'ALFA SRL'"),
                 0);
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(f.grafico()->figure().totaleFatture, euro(150));
    }

    void deletingAClientKeepsItsCredits()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addClient(c, "ALFA SRL");
        addClient(c, "BETA SPA");
        addExample(c, "ALFA SRL", 2025);
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;
        QVERIFY(f.ADOQueryClienti()->locate("RagioneSociale", "ALFA SRL"));

        rec.answerNext(false);
        press(&f, "sDBNavigator1", Navigator::Delete);
        QCOMPARE(rec.messages, QStringList{"Il Cliente selezionato sarà eliminato. Continuare?"});
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_clienti"), 2);

        press(&f, "sDBNavigator1", Navigator::Delete);
        QCOMPARE(rec.messages.size(), 2);
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_clienti WHERE RagioneSociale = 'ALFA SRL'"), 0);
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_clienti"), 1);
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_crediti WHERE Cliente = 'ALFA SRL'"), 2);
        QCOMPARE(visibleValues(f.ADOQueryClienti(), "RagioneSociale"), QStringList{"BETA SPA"});
    }

    void chartShowsTheExampleForOneYearAndForAll()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        addClient(c, "ALFA SRL");
        addExample(c, "ALFA SRL", 2025);
        addCredit(c, "ALFA SRL", 1000, 250, "APERTA", QDate(2023, 2, 1));
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;
        auto* anno = child<QComboBox>(&f, "ComboAnno");
        auto* tutti = child<QCheckBox>(&f, "CheckTuttiGliAnni");
        QCOMPARE(anno->count(), 2);
        QCOMPARE(anno->currentText(), QStringLiteral("2025"));
        QVERIFY(!tutti->isChecked());

        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(f.grafico()->etichette(), QStringList({"€ 150,00", "€ 100,00", "€ 60,00", "€ 40,00"}));

        anno->setCurrentIndex(1); // 2023
        QCOMPARE(f.grafico()->etichette(), QStringList({"€ 1.000,00", "€ 1.000,00", "€ 750,00", "€ 250,00"}));

        tutti->click();
        QVERIFY(!anno->isEnabled());
        QCOMPARE(f.grafico()->etichette(), QStringList({"€ 1.150,00", "€ 1.100,00", "€ 810,00", "€ 290,00"}));

        tutti->click();
        QVERIFY(anno->isEnabled());
        QCOMPARE(f.grafico()->figure().totaleFatture, euro(1000));
        QVERIFY(rec.messages.isEmpty());
    }

    void clientPagesPictures()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        const char* const nomi[][4] = {{"ALFA COSTRUZIONI SRL", "VIA ROMA 12", "MILANO", "MI"},
                                       {"BIANCHI & FIGLI SNC", "CORSO VITTORIO EMANUELE 3", "TORINO", "TO"},
                                       {"L'ARTE DEL FERRO SNC", "VIA DEI FABBRI 7", "SAN DONA' DI PIAVE", "VE"},
                                       {"STUDIO ASSOCIATO RINALDI", "PIAZZA GARIBALDI 1", "NAPOLI", "NA"}};
        for (const auto& n : nomi)
            c.exec("INSERT INTO t_clienti (RagioneSociale, Indirizzo, CAP, Localita, Provincia, Telefono, IVA, Mail1, "
                   "Riferimento) VALUES (:n, :i, '20121', :l, :p, '02 4567890', '01234567890', "
                   "'amministrazione@esempio.it', 'SIG. MARIO ROSSI')",
                   {{"n", n[0]}, {"i", n[1]}, {"l", n[2]}, {"p", n[3]}});
        addCredit(c, "ALFA COSTRUZIONI SRL", 12500, 4000, "APERTA", QDate(2025, 2, 10));
        addCredit(c, "ALFA COSTRUZIONI SRL", 3200, 3200, "CHIUSA", QDate(2025, 5, 3));
        addCredit(c, "ALFA COSTRUZIONI SRL", 2100, 0, "APERTA", QDate(2024, 11, 20));
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;
        showForPicture(&f);
        TestEnv::saveScreenshot(&f, "clienti_elenco");
        // A double-click on a line is "Modifica": edit page, row in editing, chart loaded.
        auto* grid = child<sz::ui::Grid>(&f, "sDBGrid1");
        const QPoint riga = grid->visualRect(grid->model()->index(0, 0)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, riga);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, riga);
        QVERIFY(f.dettaglioVisibile());
        QCOMPARE(f.ADOQueryClienti()->state(), sz::db::Dataset::State::Edit);
        QCoreApplication::processEvents();
        TestEnv::saveScreenshot(&f, "clienti_dettaglio");
        QCOMPARE(f.grafico()->etichette().first(), QStringLiteral("€ 15.700,00"));
    }

    // ---- suspensions ---------------------------------------------------------------------

    // "Sospensione" says what is in force today, the reason as its tooltip; an end already
    // passed or no tick is no suspension. "Solo sospesi" keeps those rows, with the search.
    void suspensionColumnTooltipAndFilter()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        sz::impostaOrologio(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
        addSuspendedClient(c, "ALFA SRL", false, {}, {});
        addSuspendedClient(c, "BETA SPA", true, {}, QStringLiteral("Trattativa in corso"));
        addSuspendedClient(c, "GAMMA SNC", true, QDate(2026, 12, 8), QStringLiteral("Contestazione fattura 12"));
        addSuspendedClient(c, "DELTA SAS", true, QDate(2026, 12, 7), QStringLiteral("Piano di rientro"));
        addSuspendedClient(c, "EPSILON SRL", false, QDate(2027, 1, 1), {});
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;
        auto* ds = f.ADOQueryClienti();
        auto* grid = child<sz::ui::Grid>(&f, "sDBGrid1");
        QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Sospensione"));
        QCOMPARE(visibleValues(ds, "RagioneSociale"),
                 (QStringList{"ALFA SRL", "BETA SPA", "GAMMA SNC", "DELTA SAS", "EPSILON SRL"}));
        QCOMPARE(columnTexts(grid, "Sospensione"),
                 (QStringList{"", "SOSPESO", "SOSPESO fino al 08/12/2026", "", ""}));
        QCOMPARE(f.suggerimentoSospensione(1), QStringLiteral("Trattativa in corso"));
        QCOMPARE(f.suggerimentoSospensione(2), QStringLiteral("Contestazione fattura 12"));
        QCOMPARE(f.suggerimentoSospensione(3), QString()); // expired: its reason no longer applies
        QCOMPARE(f.suggerimentoSospensione(0), QString());

        // The tooltip as the pointer asks for it over the cell.
        showForPicture(&f);
        const QRect cella = grid->visualRect(grid->model()->index(1, 1));
        QHelpEvent help(QEvent::ToolTip, cella.center(), grid->viewport()->mapToGlobal(cella.center()));
        QApplication::sendEvent(grid->viewport(), &help);
        QCOMPARE(QToolTip::text(), QStringLiteral("Trattativa in corso"));
        QToolTip::hideText();

        auto* solo = child<QCheckBox>(&f, "CheckSoloSospesi");
        QCOMPARE(solo->text(), QStringLiteral("Solo sospesi"));
        solo->click();
        QCOMPARE(visibleValues(ds, "RagioneSociale"), (QStringList{"BETA SPA", "GAMMA SNC"}));
        TestEnv::saveScreenshot(&f, "clienti_solo_sospesi");
        auto* filtro = child<QLineEdit>(&f, "EditFiltro");
        QTest::keyClicks(filtro, QStringLiteral("gam"));
        QCOMPARE(visibleValues(ds, "RagioneSociale"), QStringList{"GAMMA SNC"});
        solo->click();
        QCOMPARE(visibleValues(ds, "RagioneSociale"), QStringList{"GAMMA SNC"});
        filtro->clear();
        QCOMPARE(ds->recordCount(), 5);

        // The frame left open into the next day: GAMMA's last day has passed.
        sz::impostaOrologio(QDateTime(QDate(2026, 12, 9), QTime(0, 5)));
        solo->click();
        QCOMPARE(visibleValues(ds, "RagioneSociale"), QStringList{"BETA SPA"});
        solo->click();
        QCOMPARE(columnTexts(grid, "Sospensione"), (QStringList{"", "SOSPESO", "", "", ""}));
        // A suspension that ran out long ago does not stop the client's row being saved.
        QVERIFY(ds->locate("RagioneSociale", "DELTA SAS"));
        press(&f, "sDBNavigator1", Navigator::Edit);
        typeInto(&f, "DBEditIndirizzo", QStringLiteral("via nuova 1"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QVERIFY2(rec.messages.isEmpty(), qPrintable(rec.messages.join('\n')));
        QCOMPARE(c.scalar("SELECT Indirizzo FROM t_clienti WHERE RagioneSociale = 'DELTA SAS'").toString(),
                 QStringLiteral("VIA NUOVA 1"));
        sz::impostaOrologio({});
    }

    // The three fields are saved with the row and the list shows the result at once, as
    // the database works it out when the list is read again; without the tick the end
    // and the reason go too. A date that is not one stops the save.
    void suspensionSavedAndCleared()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        sz::impostaOrologio(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
        addClient(c, "ALFA SRL");
        addExample(c, "ALFA SRL", 2026);
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaClienti f;
        auto* ds = f.ADOQueryClienti();
        auto* grid = child<sz::ui::Grid>(&f, "sDBGrid1");
        auto* spunta = child<QCheckBox>(&f, "CheckSospendiSolleciti");
        auto* fino = child<sz::ui::DateBox>(&f, "EditSospesoFino");
        auto* motivo = child<QLineEdit>(&f, "EditMotivoSospensione");
        QCOMPARE(spunta->text(), QStringLiteral("Sospendi i solleciti"));

        press(&f, "sDBNavigator1", Navigator::Edit);
        QVERIFY(!spunta->isChecked());
        QVERIFY(!fino->isEnabled() && !motivo->isEnabled());
        spunta->click();
        QVERIFY(fino->isEnabled() && motivo->isEnabled());
        // The reason's column holds 255 characters: the box takes no more.
        motivo->insert(QString(250, QLatin1Char('x')));
        QTest::keyClicks(motivo, QStringLiteral("abcdefghij"));
        QCOMPARE(motivo->text(), QString(250, QLatin1Char('x')) + QStringLiteral("abcde"));
        motivo->clear();
        QTest::keyClicks(fino, QStringLiteral("31022027"));
        QTest::keyClicks(motivo, QStringLiteral("Contestazione: merce difettosa"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 1); // not a date: refused, nothing written, the box named as shown
        QVERIFY2(rec.messages.last().contains(QStringLiteral("\"fino al\"")), qPrintable(rec.messages.last()));
        QVERIFY(f.dettaglioVisibile());
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM t_clienti WHERE SospendiSolleciti <> 0").toInt(), 0);

        // An end already passed would hold nothing back: refused with a word.
        fino->clear();
        QTest::keyClicks(fino, QStringLiteral("15012026"));
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 2);
        QVERIFY(rec.messages.last().contains(QStringLiteral("15/01/2026")));
        QVERIFY(f.dettaglioVisibile());
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM t_clienti WHERE SospendiSolleciti <> 0").toInt(), 0);
        fino->clear();
        QTest::keyClicks(fino, QStringLiteral("15012027"));
        TestEnv::saveScreenshot(&f, "clienti_sospensione");
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 2);
        QVERIFY(!f.dettaglioVisibile());
        auto r = c.query("SELECT SospendiSolleciti, SospesoFino, MotivoSospensione FROM t_clienti");
        QCOMPARE(r.rows[0][0].toBool(), true);
        QCOMPARE(r.rows[0][1].toDate(), QDate(2027, 1, 15));
        QCOMPARE(r.rows[0][2].toString(), QStringLiteral("Contestazione: merce difettosa"));
        QCOMPARE(columnTexts(grid, "Sospensione"), QStringList{"SOSPESO fino al 15/01/2027"});
        QCOMPARE(f.suggerimentoSospensione(0), QStringLiteral("Contestazione: merce difettosa"));
        // The same text as the database's, read afresh.
        {
            TFrameAnagraficaClienti g;
            QCOMPARE(columnTexts(child<sz::ui::Grid>(&g, "sDBGrid1"), "Sospensione"),
                     QStringList{"SOSPESO fino al 15/01/2027"});
        }
        // The client's figures are untouched by the suspension.
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(f.grafico()->figure().totaleCrediti, euro(100));
        QVERIFY(spunta->isChecked());
        QCOMPARE(fino->date(), QDate(2027, 1, 15));
        fino->selectAll();
        QTest::keyClick(fino, Qt::Key_Delete);
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(columnTexts(grid, "Sospensione"), QStringList{"SOSPESO"});
        QVERIFY(c.scalar("SELECT SospesoFino FROM t_clienti").isNull());

        // Unticked: the suspension ends whole.
        press(&f, "sDBNavigator1", Navigator::Edit);
        spunta->click();
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 2);
        r = c.query("SELECT SospendiSolleciti, SospesoFino, MotivoSospensione FROM t_clienti");
        QCOMPARE(r.rows[0][0].toBool(), false);
        QVERIFY(r.rows[0][1].isNull());
        QVERIFY(r.rows[0][2].isNull());
        QCOMPARE(columnTexts(grid, "Sospensione"), QStringList{""});
        QCOMPARE(ds->recordCount(), 1);

        // A new client suspended from the start.
        press(&f, "sDBNavigator1", Navigator::Insert);
        typeInto(&f, "DBEditRagioneSociale", QStringLiteral("beta spa"));
        spunta->click();
        press(&f, "sDBNavigator3", Navigator::Post);
        QCOMPARE(rec.messages.size(), 2);
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM t_clienti WHERE SospendiSolleciti <> 0 AND RagioneSociale = "
                          "'BETA SPA'").toInt(), 1);
        child<QCheckBox>(&f, "CheckSoloSospesi")->click();
        QCOMPARE(visibleValues(ds, "RagioneSociale"), QStringList{"BETA SPA"});
        sz::impostaOrologio({});
    }

    // ---- payment modes -----------------------------------------------------------------

    void newModeGetsTheProposedDays()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        sz::ui::MessageRecorder rec;
        TFrameParametri f;
        auto* pre = child<QSpinBox>(&f, "SpinPreavviso");
        QCOMPARE(pre->minimum(), -99);
        QCOMPARE(child<QSpinBox>(&f, "SpinSollecito3")->minimum(), 1);
        QCOMPARE(child<QSpinBox>(&f, "SpinSollecito3")->maximum(), 99);

        press(&f, "sDBNavigator1", Navigator::Insert);
        QVERIFY(f.dettaglioVisibile());
        QCOMPARE(pre->value(), -5);
        QCOMPARE(child<QSpinBox>(&f, "SpinSollecito1")->value(), 5);
        QCOMPARE(child<QSpinBox>(&f, "SpinSollecito2")->value(), 15);
        QCOMPARE(child<QSpinBox>(&f, "SpinSollecito3")->value(), 30);
        QCOMPARE(child<QSpinBox>(&f, "SpinGiorniTraSolleciti")->value(), 0);
        typeInto(&f, "DBEditModalita", QStringLiteral("contanti"));
        child<QSpinBox>(&f, "SpinSollecito2")->setValue(20);
        press(&f, "sDBNavigator2", Navigator::Post);
        QVERIFY(rec.messages.isEmpty());
        QVERIFY(!f.dettaglioVisibile());

        const auto r = c.query("SELECT Preavviso, Sollecito1, Sollecito2, Sollecito3 FROM t_parametri "
                               "WHERE Modalita = 'CONTANTI'");
        QCOMPARE(r.rows.size(), 1);
        QCOMPARE(r.rows[0], QVector<QVariant>({qlonglong(-5), qlonglong(5), qlonglong(20), qlonglong(30)}));
        // The spacing is written as a number, never left empty by a new row.
        QCOMPARE(c.scalar("SELECT GiorniTraSolleciti FROM t_parametri WHERE Modalita = 'CONTANTI'"),
                 QVariant(qlonglong(0)));
    }

    // The fifth column: an empty spacing (rows from before it existed) reads 0; the edit
    // page's box goes from 0 to 365 and its value reaches the row, the list at once, and
    // the unsaved-changes question.
    void spacingBetweenLetters()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        c.exec("UPDATE t_parametri SET GiorniTraSolleciti = NULL");
        c.exec("UPDATE t_parametri SET GiorniTraSolleciti = 7 WHERE Modalita = 'RI.BA.'");
        sz::ui::MessageRecorder rec;
        TFrameParametri f;
        auto* grid = child<sz::ui::Grid>(&f, "sDBGrid1");
        QCOMPARE(grid->model()->columnCount(), 6);
        QCOMPARE(grid->model()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Giorni tra solleciti"));
        auto* ds = f.ADOQueryParametri();
        QStringList attesi;
        for (const QString& m : visibleValues(ds, "Modalita"))
            attesi << (m == QLatin1String("RI.BA.") ? QStringLiteral("7") : QStringLiteral("0"));
        QCOMPARE(columnTexts(grid, QStringLiteral("Giorni tra solleciti")), attesi);

        auto* giorni = child<QSpinBox>(&f, "SpinGiorniTraSolleciti");
        QCOMPARE(giorni->minimum(), 0);
        QCOMPARE(giorni->maximum(), 365);
        QVERIFY(!giorni->toolTip().isEmpty());
        QCOMPARE(child<QLabel>(&f, "SpinGiorniTraSollecitiEsempio")->text(),
                 QStringLiteral("(Es.: GG. inseriti 10 | dopo un sollecito inviato il 10/05/2000 il successivo non "
                                "sarà inviato prima del 20/05/2000; 0 = nessun intervallo)"));

        // A row whose spacing is still empty saves without being taken for one changed
        // elsewhere (the list shows 0, the table holds nothing).
        QVERIFY(ds->locate("Modalita", "BONIFICO"));
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(giorni->value(), 0);
        QVERIFY(!f.hasUnsavedChanges());
        giorni->setValue(400);
        QCOMPARE(giorni->value(), 365);
        giorni->setValue(10);
        QVERIFY(f.hasUnsavedChanges());
        press(&f, "sDBNavigator2", Navigator::Post);
        QVERIFY2(rec.messages.isEmpty(), qPrintable(rec.messages.join('\n')));
        QCOMPARE(c.scalar("SELECT GiorniTraSolleciti FROM t_parametri WHERE Modalita = 'BONIFICO'").toInt(), 10);
        QCOMPARE(grid->model()->index(ds->recNo(), 5).data().toString(), QStringLiteral("10"));

        QVERIFY(ds->locate("Modalita", "RI.BA."));
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(giorni->value(), 7);
        giorni->setValue(0);
        press(&f, "sDBNavigator2", Navigator::Cancel);
        QCOMPARE(c.scalar("SELECT GiorniTraSolleciti FROM t_parametri WHERE Modalita = 'RI.BA.'").toInt(), 7);
        QCOMPARE(ds->recordCount(), 3);
    }

    void editingShowsTheSeededDaysAndSavesChanges()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        sz::ui::MessageRecorder rec;
        TFrameParametri f;
        QVERIFY(f.ADOQueryParametri()->locate("Modalita", "R.D."));
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCOMPARE(child<QSpinBox>(&f, "SpinPreavviso")->value(), 1);
        QCOMPARE(child<QSpinBox>(&f, "SpinSollecito1")->value(), 5);
        QCOMPARE(child<QSpinBox>(&f, "SpinSollecito2")->value(), 15);
        QCOMPARE(child<QSpinBox>(&f, "SpinSollecito3")->value(), 30);
        QCOMPARE(child<QLineEdit>(&f, "DBEditModalita")->text(), QStringLiteral("R.D."));

        child<QSpinBox>(&f, "SpinPreavviso")->setValue(2);
        press(&f, "sDBNavigator2", Navigator::Post);
        QCOMPARE(c.scalar("SELECT Preavviso FROM t_parametri WHERE Modalita = 'R.D.'").toInt(), 2);

        // Cancel drops the spin values too: they only reach the row on save.
        press(&f, "sDBNavigator1", Navigator::Edit);
        child<QSpinBox>(&f, "SpinSollecito3")->setValue(60);
        press(&f, "sDBNavigator2", Navigator::Cancel);
        QCOMPARE(c.scalar("SELECT Sollecito3 FROM t_parametri WHERE Modalita = 'R.D.'").toInt(), 30);
    }

    void filterOnModes()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        c.exec("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3) "
               "VALUES ('BONIFICO D''ANTICIPO', 1, 2, 3, 4)");
        sz::ui::MessageRecorder rec;
        TFrameParametri f;
        auto* ds = f.ADOQueryParametri();
        auto* filtro = child<QLineEdit>(&f, "EditFiltro");

        QTest::keyClicks(filtro, QStringLiteral("RI"));
        QCOMPARE(visibleValues(ds, "Modalita"), QStringList{"RI.BA."});
        filtro->clear();
        QCOMPARE(ds->recordCount(), 4);
        QTest::keyClicks(filtro, QStringLiteral("D'"));
        QCOMPARE(visibleValues(ds, "Modalita"), QStringList{"BONIFICO D'ANTICIPO"});
        filtro->setText(QStringLiteral("'"));
        QCOMPARE(ds->recordCount(), 1);
        QVERIFY(rec.messages.isEmpty());
    }

    void modeOfBlanksIsRefused()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        sz::ui::MessageRecorder rec;
        TFrameParametri f;
        const int prima = count(c, "SELECT COUNT(*) FROM t_parametri");

        press(&f, "sDBNavigator1", Navigator::Insert);
        typeInto(&f, "DBEditModalita", QStringLiteral("    "));
        press(&f, "sDBNavigator2", Navigator::Post);
        QCOMPARE(rec.messages, QStringList{modalitaMancante});
        QVERIFY(f.dettaglioVisibile());
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_parametri"), prima);

        // Without typing at all the mode is just as missing.
        press(&f, "sDBNavigator2", Navigator::Cancel);
        press(&f, "sDBNavigator1", Navigator::Insert);
        press(&f, "sDBNavigator2", Navigator::Post);
        QCOMPARE(rec.messages.size(), 2);
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_parametri"), prima);
    }

    void deletingAModeAsksFirst()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        sz::ui::MessageRecorder rec;
        TFrameParametri f;
        QVERIFY(f.ADOQueryParametri()->locate("Modalita", "BONIFICO"));
        rec.answerNext(false);
        press(&f, "sDBNavigator1", Navigator::Delete);
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_parametri"), 3);
        press(&f, "sDBNavigator1", Navigator::Delete);
        QCOMPARE(rec.messages, QStringList(2, "La modalità di pagamento selezionata sarà eliminata. Continuare?"));
        QCOMPARE(count(c, "SELECT COUNT(*) FROM t_parametri WHERE Modalita = 'BONIFICO'"), 0);
    }

    void paramsPagesPictures()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        c.exec("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3) "
               "VALUES ('RIMESSA DIRETTA 60 GG', -3, 10, 20, 45)");
        sz::ui::MessageRecorder rec;
        TFrameParametri f;
        showForPicture(&f);
        TestEnv::saveScreenshot(&f, "parametri_elenco");
        QVERIFY(f.ADOQueryParametri()->locate("Modalita", "BONIFICO"));
        press(&f, "sDBNavigator1", Navigator::Edit);
        QCoreApplication::processEvents();
        TestEnv::saveScreenshot(&f, "parametri_dettaglio");
        QVERIFY(f.dettaglioVisibile());
    }
};

QTEST_MAIN(TestClientsParams)
#include "tst_clients_params.moc"
