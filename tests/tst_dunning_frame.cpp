// The dunning frame as a clerk meets it: the two tabs, the client box, the filters, the
// colours, and "Crea PDF" with its messages, error window and archive.
#include "DunningData.h"
#include "ErroriForm.h"
#include "Lettere.h"
#include "Solleciti.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

using dunningdata::Credito;
using sz::Money;

namespace {

QStringList titoli(QTableView* grid)
{
    QStringList out;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        out << grid->model()->headerData(c, Qt::Horizontal).toString();
    return out;
}

QStringList colonna(sz::db::Dataset* ds, const char* field)
{
    QStringList out;
    for (int i = 0; i < ds->recordCount(); ++i)
        out << ds->valueAt(i, ds->fieldIndex(QLatin1String(field))).toString();
    return out;
}

} // namespace

class TestDunningFrame : public QObject
{
    Q_OBJECT

    TestEnv* env = nullptr;
    QDate oggi = QDate::currentDate();

private slots:
    void init()
    {
        env = new TestEnv;
        sz::db::Connection c(env->installDatabase());
        dunningdata::societa(c);
        dunningdata::cliente(c, QStringLiteral("ROSSI SRL"));
        dunningdata::cliente(c, QStringLiteral("VERDI SPA"));
        const QDate d = oggi.addDays(-60);
        auto add = [&](const char* n, const char* cliente, int giorni, QList<QDate> fasi, qint64 centesimi,
                       qint64 incassati = 0) {
            Credito k;
            k.numero = QLatin1String(n);
            k.cliente = QLatin1String(cliente);
            k.scadenza = oggi.addDays(giorni);
            k.fasi = fasi;
            k.importo = Money::fromCents(centesimi);
            k.incassato = Money::fromCents(incassati);
            k.banca = QStringLiteral("BANCA DI PADOVA");
            dunningdata::aggiungi(c, k);
        };
        add("101", "ROSSI SRL", 3, {}, 90000);
        add("102", "ROSSI SRL", -8, {d}, 1050);
        add("201", "VERDI SPA", -40, {d, d, d, d}, 250000);
        add("202", "VERDI SPA", -2, {}, 30000, 10000);
        add("301", "NERI SNC", -1, {}, 5000); // not in the registry
    }
    void cleanup()
    {
        delete env;
        env = nullptr;
    }

    void layoutAtStart()
    {
        QVERIFY(TestEnv::fontsAvailable());
        TFrameSolleciti frame;
        frame.resize(1200, 760);
        auto* tabs = frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"));
        QCOMPARE(tabs->tabText(0), QStringLiteral("Solleciti per Cliente"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Solleciti per Documento"));
        QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("TabCliente"));
        QVERIFY(frame.findChild<QCheckBox*>(QStringLiteral("CheckClienti"))->isChecked());
        auto* combo = frame.findChild<QComboBox*>(QStringLiteral("ComboClienti"));
        QVERIFY(!combo->isEnabled());
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(0), QStringLiteral("NERI SNC"));
        QCOMPARE(colonna(frame.queryCreditiPerCliente(), "NumeroFattura"),
                 (QStringList{"201", "102", "202", "301", "101"}));
        const QStringList attesi = {"Documento N°", "Data Documento", "Scadenza", "Preavviso", "1° Sollecito",
                                    "2° Sollecito", "3° Sollecito", "Cliente", "Destinatario Documento", "Note",
                                    "Importo", "Incassato", "Residuo", "Tot. Documento", "Mod. Pag.", "Banca"};
        QCOMPARE(titoli(frame.findChild<QTableView*>(QStringLiteral("sDBGrid2"))), attesi);
        QCOMPARE(titoli(frame.findChild<QTableView*>(QStringLiteral("sDBGrid1"))), attesi);
        auto* invia = frame.findChild<QPushButton*>(QStringLiteral("BottoneInviaPerCliente"));
        QVERIFY(invia->isEnabled());
        QCOMPARE(frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerFattura"))->toolTip(),
                 QStringLiteral("Crea documenti PDF (utile in caso di gestione manuale delle comunicazioni a mezzo fax)"));
        frame.show();
        TestEnv::saveScreenshot(&frame, QStringLiteral("solleciti_per_cliente"));

        // One client chosen: only that client's credits.
        frame.findChild<QCheckBox*>(QStringLiteral("CheckClienti"))->click();
        QVERIFY(combo->isEnabled());
        combo->setCurrentText(QStringLiteral("VERDI SPA"));
        QCOMPARE(colonna(frame.queryCreditiPerCliente(), "NumeroFattura"), (QStringList{"201", "202"}));

        tabs->setCurrentIndex(1);
        QCOMPARE(colonna(frame.queryCrediti(), "NumeroFattura"), (QStringList{"201", "102", "202", "301", "101"}));
        TestEnv::saveScreenshot(&frame, QStringLiteral("solleciti_per_documento"));
    }

    void filtersSortAndColours()
    {
        TFrameSolleciti frame;
        frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"))->setCurrentIndex(1);
        auto* list = frame.queryCrediti();
        frame.findChild<QRadioButton*>(QStringLiteral("FiltroPreavviso"))->click();
        QCOMPARE(colonna(list, "NumeroFattura"), (QStringList{"202", "301", "101"}));
        frame.findChild<QLineEdit*>(QStringLiteral("EditFiltro"))->setText(QStringLiteral("verdi"));
        QCOMPARE(colonna(list, "NumeroFattura"), QStringList{"202"});
        frame.findChild<QRadioButton*>(QStringLiteral("FiltroTutti"))->click();
        QCOMPARE(colonna(list, "NumeroFattura"), (QStringList{"201", "202"}));
        frame.findChild<QLineEdit*>(QStringLiteral("EditFiltro"))->clear();

        // Residuo sorts by amount, not by its text: 10,50 before 200,00 before 900,00.
        auto* grid = frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"));
        grid->titleClick(12);
        QCOMPARE(colonna(list, "NumeroFattura"), (QStringList{"102", "301", "202", "101", "201"}));
        grid->titleClick(12);
        QCOMPARE(colonna(list, "NumeroFattura").first(), QStringLiteral("201"));

        // The bad debt is red in every column; a selected residual is white on alarm red.
        const int soff = colonna(list, "NumeroFattura").indexOf(QStringLiteral("201"));
        QCOMPARE(grid->colourRule()(soff, QStringLiteral("Cliente"), false).text, QColor(255, 0, 0));
        const int r101 = colonna(list, "NumeroFattura").indexOf(QStringLiteral("101"));
        const auto sel = grid->colourRule()(r101, QStringLiteral("ImportoResiduo"), true);
        QCOMPARE(sel.background, QColor(232, 28, 33));
        QCOMPARE(sel.text, QColor(255, 255, 255));
        QVERIFY(!grid->colourRule()(r101, QStringLiteral("Cliente"), false).text.has_value());

        // Select all on an empty list selects nothing and keeps the list usable.
        frame.findChild<QLineEdit*>(QStringLiteral("EditFiltro"))->setText(QStringLiteral("nessuno"));
        frame.Selezionatutto1Click();
        QVERIFY(grid->selectedRows().isEmpty());
    }

    // "Crea PDF" on the per-document tab with every row selected: the letters, the
    // summary, one upper-case line for the client missing from the registry, the archive
    // shown, and the list re-read.
    void createPdfPerDocument()
    {
        TFrameSolleciti frame;
        frame.resize(1200, 760);
        frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"))->setCurrentIndex(1);
        sz::ui::MessageRecorder rec;
        QString righe;
        QSize misura;
        rec.onDialog = [&](QDialog* d) {
            auto* form = qobject_cast<TErroriForm*>(d);
            QVERIFY(form);
            QCOMPARE(form->windowTitle(), QStringLiteral("Errori riscontrati"));
            righe = form->memo()->toPlainText();
            misura = form->size();
            form->show();
            TestEnv::saveScreenshot(form, QStringLiteral("solleciti_errori"));
        };
        frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerFattura"))->click();
        QCOMPARE(rec.messages, QStringList{QStringLiteral(
                                   "Selezionare almeno una riga della tabella per creare la relativa comunicazione.")});
        rec.messages.clear();

        frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"))->selectAll();
        frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerFattura"))->click();
        QCOMPARE(rec.messages, QStringList{QStringLiteral(
                                   "La procedura è stata terminata ma sono stati riscontrati alcuni errori.")});
        QCOMPARE(righe, QStringLiteral("IL CLIENTE NERI SNC NON RISULTA IN ANAGRAFICA."));
        QCOMPARE(misura, QSize(457, 212));
        QVERIFY(sz::dunning::GListaErrori.isEmpty());
        QCOMPARE(rec.opened, QStringList{sz::paths::dataRoot() + QStringLiteral("Archivio/")});
        const QDir giorno(sz::paths::dataRoot() + QStringLiteral("Archivio/Solleciti per Fattura/Preavvisi/") +
                          oggi.toString(QStringLiteral("yyyy-MM-dd")));
        QCOMPARE(giorno.entryList(QDir::Files).size(), 2);
        // Advance notices issued today are not yet due for the first reminder; the bad
        // debt and the client missing from the registry stay listed.
        QCOMPARE(colonna(frame.queryCrediti(), "NumeroFattura"), (QStringList{"201", "301"}));

        // A second run without errors says so and shows no window.
        rec.messages.clear();
        righe.clear();
        auto* grid = frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"));
        grid->selectRow(0);
        frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerFattura"))->click();
        QCOMPARE(rec.messages, QStringList{QStringLiteral("Tutte le comunicazione sono state create correttamente.")});
        QVERIFY(righe.isEmpty());
    }

    void createPdfPerClient()
    {
        TFrameSolleciti frame;
        sz::ui::MessageRecorder rec;
        frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid2"))->selectAll();
        frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerCliente"))->click();
        QCOMPARE(rec.messages, QStringList{QStringLiteral(
                                   "La procedura è stata terminata ma sono stati riscontrati alcuni errori.")});
        const QDir giorno(sz::paths::dataRoot() + QStringLiteral("Archivio/Solleciti per Cliente/") +
                          oggi.toString(QStringLiteral("yyyy-MM-dd")));
        QCOMPARE(giorno.entryList(QDir::Files),
                 (QStringList{oggi.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("_ROSSI SRL.pdf"),
                              oggi.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("_VERDI SPA.pdf")}));
        QCOMPARE(colonna(frame.queryCreditiPerCliente(), "NumeroFattura"), (QStringList{"201", "301"}));
    }
};

QTEST_MAIN(TestDunningFrame)
#include "tst_dunning_frame.moc"
