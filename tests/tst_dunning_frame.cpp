// The dunning frame as a clerk meets it: the two tabs, the client box, the filters, the
// colours, and "Crea PDF" with its messages, error window and archive.
#include "DunningData.h"
#include "ErroriForm.h"
#include "Lettere.h"
#include "Solleciti.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSysInfo>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

#include <memory>

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

// An SMTP server on 127.0.0.1 that takes the message and then never confirms it: a mail
// that stays on its way until someone stops it.
class ServerMuto
{
public:
    ServerMuto() : port(TestEnv::freeLocalPort())
    {
        proc.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(SZ_TEST_SOURCE_DIR "/smtp/smtp_server.py"), QStringLiteral("--port"),
                    QString::number(port), QStringLiteral("--mode"), QStringLiteral("mute"), QStringLiteral("--out"),
                    out.path()});
        proc.waitForReadyRead(15000);
        ready = proc.readAllStandardOutput().startsWith("READY");
    }
    ~ServerMuto()
    {
        proc.kill();
        proc.waitForFinished(5000);
    }
    int port;
    bool ready = false;

private:
    QTemporaryDir out;
    QProcess proc;
};

// The tooltip a person resting the pointer on a cell would read.
QString suggerimentoCella(QTableView* grid, int row, int column)
{
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); })) return QStringLiteral("(tooltip fermo)");
    grid->scrollTo(grid->model()->index(row, column));
    const QPoint p = grid->visualRect(grid->model()->index(row, column)).center();
    QHelpEvent e(QEvent::ToolTip, p, grid->viewport()->mapToGlobal(p));
    QApplication::sendEvent(grid->viewport(), &e);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
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
        sz::impostaOrologio({});
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

    // With late-payment interest on, both lists carry "Interessi" and "Totale dovuto" to
    // today, amounts that sort by value and that the search box finds; off, nothing changes.
    void interestColumns()
    {
        {
            TFrameSolleciti spento;
            QVERIFY(!titoli(spento.findChild<QTableView*>(QStringLiteral("sDBGrid2"))).contains("Interessi"));
            QVERIFY(spento.queryCreditiPerCliente()->fieldIndex(QStringLiteral("Interessi")) < 0);
        }
        {
            sz::db::Connection c(env->installDatabase());
            c.exec(QStringLiteral("UPDATE t_societa SET InteressiMora = 1"));
            auto add = [&](const char* n, const char* cliente, QDate scadenza, qint64 centesimi, qint64 incassati = 0) {
                Credito k;
                k.numero = QLatin1String(n);
                k.cliente = QLatin1String(cliente);
                k.scadenza = scadenza;
                k.dataFattura = QDate(2025, 5, 15);
                k.importo = Money::fromCents(centesimi);
                k.incassato = Money::fromCents(incassati);
                dunningdata::aggiungi(c, k);
            };
            add("900", "ROSSI SRL", QDate(2025, 6, 15), 1000000);
            add("901", "VERDI SPA", QDate(2025, 7, 31), 250000, 50000);
        }
        sz::impostaOrologio(QDateTime(QDate(2025, 8, 20), QTime(9, 0)));
        TFrameSolleciti frame;
        frame.resize(1400, 760);
        auto* tabs = frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"));
        tabs->setCurrentIndex(1);
        auto* list = frame.queryCrediti();
        auto* grid = frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"));
        const QStringList tit = titoli(grid);
        QCOMPARE(tit.mid(13, 4), (QStringList{"Tot. Documento", "Interessi", "Totale dovuto", "Mod. Pag."}));
        QCOMPARE(titoli(frame.findChild<QTableView*>(QStringLiteral("sDBGrid2"))), tit);
        QVERIFY(grid->isRightAligned(14) && grid->isRightAligned(15));
        QCOMPARE(colonna(list, "NumeroFattura"), (QStringList{"900", "901"}));
        // € 10.000,00 from 16/06 to 20/08/2025: 15 days at 11,15 % and 51 at 10,15 %.
        QCOMPARE(grid->model()->index(0, 14).data().toString(), QStringLiteral("€ 187,64"));
        QCOMPARE(grid->model()->index(0, 15).data().toString(), QStringLiteral("€ 10.187,64"));
        // € 2.000,00 still due, 20 days at 10,15 %: 2000 × 10,15 % × 20 / 365 = 11,123…
        QCOMPARE(grid->model()->index(1, 14).data().toString(), QStringLiteral("€ 11,12"));
        QCOMPARE(grid->model()->index(1, 15).data().toString(), QStringLiteral("€ 2.011,12"));
        QVERIFY(frame.findChild<QLabel*>(QStringLiteral("LabelInteressi"))->isHidden());

        // By value: € 11,12 before € 187,64 (as text "€ 187,64" would come first).
        grid->titleClick(14);
        QCOMPARE(colonna(list, "NumeroFattura"), (QStringList{"901", "900"}));
        grid->titleClick(15);
        QCOMPARE(colonna(list, "NumeroFattura"), (QStringList{"901", "900"}));
        grid->titleClick(15);
        QCOMPARE(colonna(list, "NumeroFattura"), (QStringList{"900", "901"}));

        auto* filtro = frame.findChild<QLineEdit*>(QStringLiteral("EditFiltro"));
        filtro->setText(QStringLiteral("187,64"));
        QCOMPARE(colonna(list, "NumeroFattura"), QStringList{"900"});
        filtro->setText(QStringLiteral("2.011"));
        QCOMPARE(colonna(list, "NumeroFattura"), QStringList{"901"});
        // The text search still ANDs with the stage filter.
        frame.findChild<QRadioButton*>(QStringLiteral("FiltroSollecito1"))->click();
        QVERIFY(colonna(list, "NumeroFattura").isEmpty());
        frame.findChild<QRadioButton*>(QStringLiteral("FiltroTutti"))->click();
        filtro->clear();
        frame.show();
        TestEnv::saveScreenshot(&frame, QStringLiteral("solleciti_interessi"));

        // The per-client list and a list read again give the same figures.
        tabs->setCurrentIndex(0);
        auto* perCliente = frame.queryCreditiPerCliente();
        QCOMPARE(perCliente->valueAt(0, perCliente->fieldIndex(QStringLiteral("NumeroFattura"))).toString(),
                 QStringLiteral("900"));
        QCOMPARE(sz::db::DatasetModel::displayText(
                     perCliente->valueAt(0, perCliente->fieldIndex(QStringLiteral("TotaleDovuto")))),
                 QStringLiteral("€ 10.187,64"));
    }

    // A rate not yet entered: no invented figure, the message in the cell's tooltip and once
    // beside the list.
    void interestMissingRate()
    {
        {
            sz::db::Connection c(env->installDatabase());
            c.exec(QStringLiteral("UPDATE t_societa SET InteressiMora = 1"));
        }
        sz::impostaOrologio(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
        TFrameSolleciti frame;
        frame.resize(1400, 760);
        frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"))->setCurrentIndex(1);
        auto* list = frame.queryCrediti();
        auto* grid = frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"));
        const QString messaggio = QStringLiteral("Manca il tasso di riferimento del 2° semestre 2026: inseriscilo in "
                                                 "Impostazioni - Tassi di interesse.");
        const int riga = colonna(list, "NumeroFattura").indexOf(QStringLiteral("102"));
        QVERIFY(riga >= 0);
        QVERIFY(grid->model()->index(riga, 14).data().toString().isEmpty());
        QVERIFY(grid->model()->index(riga, 15).data().toString().isEmpty());
        QCOMPARE(TFrameSolleciti::suggerimento(grid, grid->model()->index(riga, 14)), messaggio);
        QCOMPARE(TFrameSolleciti::suggerimento(grid, grid->model()->index(riga, 15)), messaggio);
        QVERIFY(TFrameSolleciti::suggerimento(grid, grid->model()->index(riga, 12)).isEmpty());
        frame.show();
        auto* label = frame.findChild<QLabel*>(QStringLiteral("LabelInteressi"));
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), messaggio);
        // What the pointer resting on the cells shows.
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(suggerimentoCella(grid, riga, 14), messaggio);
        QCOMPARE(suggerimentoCella(grid, riga, 12), QString());
        // Sorting a column whose cells are partly empty keeps every row.
        grid->titleClick(14);
        QCOMPARE(list->recordCount(), 5);
        TestEnv::saveScreenshot(&frame, QStringLiteral("solleciti_interessi_tasso_mancante"));
    }

    // The grid's tooltip rule is asked before a frame's own watcher of the tooltips that
    // was set up first, and leaves it the cells where the rule says nothing.
    void tooltipRuleBeforeOtherWatchers()
    {
        sz::db::Connection c(env->installDatabase());
        sz::db::Dataset lista(c);
        lista.setSql(QStringLiteral("SELECT ID, Cliente, NumeroFattura FROM t_crediti ORDER BY ID"));
        lista.open();
        QVERIFY(lista.recordCount() > 1);
        sz::ui::Grid grid;
        grid.setDataset(&lista, {{QStringLiteral("Cliente"), QStringLiteral("Cliente")},
                                 {QStringLiteral("NumeroFattura"), QStringLiteral("Documento")}});
        grid.resize(500, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCOMPARE(suggerimentoCella(&grid, 0, 0), QString());
        struct Altro : QObject
        {
            QWidget* vista = nullptr;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                if (e->type() != QEvent::ToolTip || o != vista) return false;
                QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), QStringLiteral("altro"), vista);
                return true;
            }
        } altro;
        altro.vista = grid.viewport();
        grid.viewport()->installEventFilter(&altro);
        grid.setTooltipRule([&lista](int row, const QString& field) {
            return field == QLatin1String("Cliente") ? QStringLiteral("di ") + lista.valueAt(row, 1).toString()
                                                     : QString();
        });
        QCOMPARE(suggerimentoCella(&grid, 1, 0), QStringLiteral("di ") + lista.valueAt(1, 1).toString());
        QCOMPARE(grid.tooltip(grid.model()->index(1, 0)), QStringLiteral("di ") + lista.valueAt(1, 1).toString());
        QCOMPARE(suggerimentoCella(&grid, 1, 1), QStringLiteral("altro"));
        QCOMPARE(grid.tooltip(QModelIndex()), QString());
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

    // A window left open past midnight: the run and the lists after it are of the new
    // day, and so are the letter's folder, file name, date line and stage column.
    void dayChangesWhileOpen()
    {
        const QDate ieri = oggi.addDays(-200), dopo = ieri.addDays(1);
        {
            sz::db::Connection c(sz::paths::LoadConnection());
            Credito k;
            k.banca = QStringLiteral("BANCA DI PADOVA");
            k.numero = QStringLiteral("VECCHIO");
            k.scadenza = ieri;
            dunningdata::aggiungi(c, k);
            k.numero = QStringLiteral("NUOVO"); // its advance notice is due from the day after
            k.scadenza = dopo.addDays(5);
            dunningdata::aggiungi(c, k);
        }
        sz::impostaOrologio(QDateTime(ieri, QTime(23, 59, 0)));
        TFrameSolleciti frame;
        auto* tabs = frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"));
        tabs->setCurrentIndex(1);
        QCOMPARE(colonna(frame.queryCrediti(), "NumeroFattura"), QStringList{"VECCHIO"});

        sz::impostaOrologio(QDateTime(dopo, QTime(0, 0, 30)));
        sz::ui::MessageRecorder rec;
        frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"))->selectAll();
        frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerFattura"))->click();
        QCOMPARE(rec.messages, QStringList{QStringLiteral("Tutte le comunicazione sono state create correttamente.")});
        const QString pdf = sz::paths::dataRoot() + QStringLiteral("Archivio/Solleciti per Fattura/Preavvisi/") +
                            dopo.toString(QStringLiteral("yyyy-MM-dd/yyyyMMdd")) + QStringLiteral("_PREAVVISO_FATTVECCHIO_SCAD") +
                            ieri.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".pdf");
        QVERIFY2(QFileInfo::exists(pdf), qPrintable(pdf));
        QVERIFY(TestEnv::pdfText(pdf).contains(QStringLiteral("PADOVA, lì ") + sz::dates::toDisplay(dopo)));
        sz::db::Connection c(sz::paths::LoadConnection());
        QCOMPARE(c.scalar(QStringLiteral("SELECT Preavviso FROM t_crediti WHERE NumeroFattura = 'VECCHIO'")).toDate(),
                 dopo);
        // Re-read for the new day: the credit due from today is there.
        QCOMPARE(colonna(frame.queryCrediti(), "NumeroFattura"), QStringList{"NUOVO"});
        QCOMPARE(frame.oggi(), dopo);

        // Left open for days, the list follows the day by itself.
        sz::impostaOrologio(QDateTime(dopo.addDays(5), QTime(9, 0)));
        frame.controllaGiorno();
        QCOMPARE(frame.oggi(), dopo.addDays(5));
        QCOMPARE(colonna(frame.queryCrediti(), "NumeroFattura").size(), 2);
        QVERIFY(colonna(frame.queryCrediti(), "NumeroFattura").contains(QStringLiteral("VECCHIO")));
        // The other tab and its client box count the day they are shown.
        sz::impostaOrologio(QDateTime(dopo.addDays(6), QTime(9, 0)));
        tabs->setCurrentIndex(0);
        QVERIFY(colonna(frame.queryCreditiPerCliente(), "NumeroFattura").contains(QStringLiteral("NUOVO")));
        QCOMPARE(frame.oggi(), dopo.addDays(6));
    }

    // After a run for one chosen client the box keeps that client while it still has
    // something due, and moves on once it has nothing left.
    void chosenClientStays()
    {
        TFrameSolleciti frame;
        sz::ui::MessageRecorder rec;
        auto* combo = frame.findChild<QComboBox*>(QStringLiteral("ComboClienti"));
        auto* grid = frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid2"));
        auto* crea = frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerCliente"));
        frame.findChild<QCheckBox*>(QStringLiteral("CheckClienti"))->click();
        combo->setCurrentText(QStringLiteral("VERDI SPA"));
        QCOMPARE(combo->currentIndex(), 2);
        grid->selectRow(int(colonna(frame.queryCreditiPerCliente(), "NumeroFattura").indexOf(QStringLiteral("202"))));
        crea->click();
        QCOMPARE(rec.messages, QStringList{QStringLiteral("Tutte le comunicazione sono state create correttamente.")});
        QCOMPARE(combo->currentText(), QStringLiteral("VERDI SPA")); // the bad debt is still due
        QVERIFY(combo->isEnabled());
        QCOMPARE(colonna(frame.queryCreditiPerCliente(), "NumeroFattura"), QStringList{"201"});

        combo->setCurrentText(QStringLiteral("ROSSI SRL"));
        grid->selectAll();
        crea->click();
        // Nothing of ROSSI SRL is due any more: the box shows the first client left.
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentText(), QStringLiteral("NERI SNC"));
        QCOMPARE(colonna(frame.queryCreditiPerCliente(), "NumeroFattura"), QStringList{"301"});
        // Each run recorded as the window's, per client, without a lock left behind.
        sz::db::Connection c(sz::paths::LoadConnection());
        const auto registro =
            c.query(QStringLiteral("SELECT Avvio, Modo, Canale, \"Create\", Esito FROM t_esecuzioni ORDER BY ID"));
        QCOMPARE(registro.rows.size(), 2);
        for (const auto& riga : registro.rows) {
            QCOMPARE(riga[0].toString(), QStringLiteral("FINESTRA"));
            QCOMPARE(riga[1].toString(), QStringLiteral("CLIENTE"));
            QCOMPARE(riga[2].toString(), QStringLiteral("PDF"));
            QCOMPARE(riga[3].toInt(), 1);
            QCOMPARE(riga[4].toString(), QStringLiteral("COMPLETATA"));
        }
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_blocchi")).toInt(), 0);
    }

    // "Invia": the mail travels off the window's thread, so the window keeps painting and
    // the progress moves; "Annulla" stops the mail on its way within a second. That letter
    // is not sent, its PDF stays and its stage is written; the next one is not made.
    void sendRunsOffTheWindowAndCancels()
    {
        ServerMuto server;
        QVERIFY(server.ready);
        {
            sz::db::Connection c(sz::paths::LoadConnection());
            c.exec(QStringLiteral("UPDATE t_ISP SET SMTP = '127.0.0.1', Port = :P, TLS = 0"),
                   {{QStringLiteral("P"), QString::number(server.port)}});
            c.exec(QStringLiteral("UPDATE t_clienti SET Mail1 = 'r@rossi.it' WHERE RagioneSociale = 'ROSSI SRL'"));
        }
        TFrameSolleciti frame;
        frame.resize(1200, 760);
        frame.show();
        frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"))->setCurrentIndex(1);
        frame.findChild<QLineEdit*>(QStringLiteral("EditFiltro"))->setText(QStringLiteral("rossi"));
        QCOMPARE(colonna(frame.queryCrediti(), "NumeroFattura"), (QStringList{"102", "101"}));
        frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"))->selectAll();

        sz::ui::MessageRecorder rec;
        QString righe;
        rec.onDialog = [&](QDialog* d) {
            if (auto* form = qobject_cast<TErroriForm*>(d))
                righe = form->memo()->toPlainText();
        };
        int battiti = 0;
        QTimer battito;
        battito.setInterval(50);
        QObject::connect(&battito, &QTimer::timeout, [&] { ++battiti; });
        QString etichetta;
        bool visibile = false, ancoraVisibile = false;
        QElapsedTimer dallAnnullo;
        QTimer::singleShot(1500, &frame, [&] {
            auto* p = frame.findChild<QProgressDialog*>(QStringLiteral("ProgressoComunicazioni"));
            QVERIFY(p);
            visibile = p->isVisible();
            etichetta = p->labelText();
            TestEnv::saveScreenshot(p, QStringLiteral("solleciti_invio_in_corso"));
            TestEnv::saveScreenshot(&frame, QStringLiteral("solleciti_invio_finestra"));
            dallAnnullo.start();
            p->findChild<QPushButton*>()->click();
            // Up until the worker has really ended, the window stays out of reach.
            QTimer::singleShot(200, p, [&, p] { ancoraVisibile = p->isVisible(); });
        });
        battito.start();
        frame.findChild<QPushButton*>(QStringLiteral("BottoneInviaPerFattura"))->click();
        const qint64 attesa = dallAnnullo.elapsed();
        battito.stop();
        QVERIFY(dallAnnullo.isValid());
        qInfo("run ended %lld ms after Annulla; the window's timer ticked %d times", attesa, battiti);
        QVERIFY2(attesa < 1500, qPrintable(QString::number(attesa)));
        QVERIFY2(battiti >= 20, qPrintable(QString::number(battiti)));
        QVERIFY(visibile);
        QVERIFY(ancoraVisibile);
        QCOMPARE(etichetta, QStringLiteral("Creazione comunicazioni... 1 di 2"));
        QCOMPARE(rec.messages, QStringList{QStringLiteral(
                                   "La procedura è stata terminata ma sono stati riscontrati alcuni errori.")});
        QVERIFY2(righe.startsWith(QStringLiteral("SI È VERIFICATO UN ERRORE DURANTE LA PROCEDURA DI INVIO MAIL PER IL "
                                                 "DOCUMENTO N°102.")),
                 qPrintable(righe));
        QVERIFY2(righe.contains(QStringLiteral("ANNULLAT")), qPrintable(righe));
        QVERIFY(!righe.contains(QLatin1Char('\n')));

        const QDir sollecito(sz::paths::dataRoot() + QStringLiteral("Archivio/Solleciti per Fattura/Solleciti/") +
                             oggi.toString(QStringLiteral("yyyy-MM-dd")));
        QCOMPARE(sollecito.entryList(QDir::Files).size(), 1);
        QVERIFY(!QDir(sz::paths::dataRoot() + QStringLiteral("Archivio/Solleciti per Fattura/Preavvisi")).exists());
        sz::db::Connection c(sz::paths::LoadConnection());
        QCOMPARE(c.scalar(QStringLiteral("SELECT Sollecito1 FROM t_crediti WHERE NumeroFattura = '102'")).toDate(),
                 oggi);
        QVERIFY(c.scalar(QStringLiteral("SELECT Preavviso FROM t_crediti WHERE NumeroFattura = '101'")).isNull());
        // The log says the same: the stopped letter made and not sent, the next one absent.
        const auto log = c.query(QStringLiteral("SELECT NumeroFattura, Fase, Canale, Destinatari, Esito FROM t_invii"));
        QCOMPARE(log.rows.size(), 1);
        QCOMPARE(log.rows[0][0].toString(), QStringLiteral("102"));
        QCOMPARE(log.rows[0][1].toString(), QStringLiteral("SOLLECITO1"));
        QCOMPARE(log.rows[0][2].toString(), QStringLiteral("MAIL"));
        QCOMPARE(log.rows[0][3].toString(), QStringLiteral("r@rossi.it"));
        QVERIFY2(log.rows[0][4].toString().startsWith(QStringLiteral("NON INVIATA: invio annullato dall'utente")),
                 qPrintable(log.rows[0][4].toString()));
        QVERIFY(!frame.inCorso());
        QCOMPARE(colonna(frame.queryCrediti(), "NumeroFattura"), QStringList{"101"});
        TestEnv::saveScreenshot(&frame, QStringLiteral("solleciti_invio_annullato"));
        // The record: stopped by the clerk, the letter made and not sent, its line; the lock freed.
        const auto registro = c.query(QStringLiteral("SELECT Avvio, Canale, \"Create\", Inviate, NonInviate, Errori, "
                                                     "Esito FROM t_esecuzioni"));
        QCOMPARE(registro.rows.size(), 1);
        QCOMPARE(registro.rows[0][0].toString(), QStringLiteral("FINESTRA"));
        QCOMPARE(registro.rows[0][1].toString(), QStringLiteral("MAIL"));
        QCOMPARE(registro.rows[0][2].toInt(), 1);
        QCOMPARE(registro.rows[0][3].toInt(), 0);
        QCOMPARE(registro.rows[0][4].toInt(), 1);
        QVERIFY2(registro.rows[0][5].toString().startsWith(QStringLiteral("Si è verificato un errore durante la procedura di invio mail per il Documento N°102.")),
                 qPrintable(registro.rows[0][5].toString()));
        QCOMPARE(registro.rows[0][6].toString(), QStringLiteral("INTERROTTA"));
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_blocchi")).toInt(), 0);
    }

    // A letter run of the window takes the lock every run respects: another live holder
    // is named and the clerk may wait for it or not; a run waited for that made the letters
    // of the selection leaves them alone; no lock row is left behind, and each run of the
    // window is recorded.
    void windowRunRespectsTheLock()
    {
        sz::db::Connection c(sz::paths::LoadConnection());
        const QDateTime ora = QDateTime::currentDateTime();
        // The other workstation also holds the engine's own lock, where there is one, through
        // its own connection for as long as its row is there.
        std::unique_ptr<sz::db::Connection> altraPostazione;
        auto altroInvio = [&] {
            altraPostazione = std::make_unique<sz::db::Connection>(sz::paths::LoadConnection());
            altraPostazione->dialect().tryNamedLock(*altraPostazione, QStringLiteral("SOLLECITI"));
            c.exec(QStringLiteral("INSERT INTO t_blocchi (Nome, Postazione, Host, Utente, Processo, Inizio, Aggiornato) "
                                  "VALUES ('SOLLECITI', 'magazzino (anna)', 'magazzino', 'anna', 4242, :I, :A)"),
                   {{QStringLiteral("I"), ora.addSecs(-120).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
                    {QStringLiteral("A"), ora.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        };
        auto altroFinito = [&] {
            c.exec(QStringLiteral("DELETE FROM t_blocchi WHERE Host = 'magazzino'"));
            altraPostazione.reset();
        };
        auto conta = [&](const char* sql) { return c.scalar(QLatin1String(sql)).toInt(); };
        const QString occupato = QStringLiteral("Invio già in corso su magazzino (anna) dal %1 alle %2.")
                                     .arg(ora.addSecs(-120).toString(QStringLiteral("dd/MM/yyyy")),
                                          ora.addSecs(-120).toString(QStringLiteral("HH:mm")));

        TFrameSolleciti frame;
        frame.resize(1200, 760);
        frame.show();
        frame.setIntervalloAttesa(100);
        frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"))->setCurrentIndex(1);
        auto* grid = frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"));
        auto* crea = frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerFattura"));
        auto seleziona = [&](const char* numero) {
            grid->selectRow(int(colonna(frame.queryCrediti(), "NumeroFattura").indexOf(QLatin1String(numero))));
        };
        const QDir preavvisi(sz::paths::dataRoot() + QStringLiteral("Archivio/Solleciti per Fattura/Preavvisi/") +
                             oggi.toString(QStringLiteral("yyyy-MM-dd")));

        sz::ui::MessageRecorder rec;
        QString domanda, risposta = QStringLiteral("Annulla");
        QStringList pulsanti;
        rec.onDialog = [&](QDialog* d) {
            auto* box = qobject_cast<QMessageBox*>(d);
            if (!box || box->objectName() != QLatin1String("MessaggioInvioInCorso")) return;
            domanda = box->text();
            pulsanti.clear();
            for (QAbstractButton* b : box->buttons()) pulsanti << b->text();
            box->show();
            TestEnv::saveScreenshot(box, QStringLiteral("solleciti_invio_occupato"));
            for (QAbstractButton* b : box->buttons())
                if (b->text() == risposta) b->click();
        };

        // Annulla: nothing made, the other holder's row untouched, nothing recorded.
        altroInvio();
        seleziona("101");
        crea->click();
        QVERIFY2(domanda.startsWith(occupato), qPrintable(domanda));
        QCOMPARE(pulsanti, (QStringList{"Attendi", "Annulla"}));
        QVERIFY(rec.messages.isEmpty());
        QVERIFY(!preavvisi.exists());
        QCOMPARE(conta("SELECT COUNT(*) FROM t_blocchi WHERE Host = 'magazzino'"), 1);
        QCOMPARE(conta("SELECT COUNT(*) FROM t_blocchi"), 1);
        QCOMPARE(conta("SELECT COUNT(*) FROM t_esecuzioni"), 0);

        // Attendi, then Annulla while waiting: the same.
        risposta = QStringLiteral("Attendi");
        bool attesaVista = false;
        QTimer::singleShot(400, &frame, [&] {
            auto* attesa = frame.findChild<QProgressDialog*>(QStringLiteral("AttesaInvioInCorso"));
            QVERIFY(attesa);
            attesaVista = attesa->isVisible() && attesa->labelText().startsWith(occupato) &&
                          attesa->labelText().endsWith(QStringLiteral("In attesa che finisca…"));
            attesa->findChild<QPushButton*>()->click();
        });
        crea->click();
        QVERIFY(attesaVista);
        QVERIFY(rec.messages.isEmpty());
        QVERIFY(!preavvisi.exists());
        QCOMPARE(conta("SELECT COUNT(*) FROM t_blocchi WHERE Host = 'magazzino'"), 1);
        QCOMPARE(conta("SELECT COUNT(*) FROM t_esecuzioni"), 0);

        // Attendi until the other run ends: this one runs then, and leaves no lock.
        int controlli = 0;
        QTimer::singleShot(500, &frame, [&] {
            auto* attesa = frame.findChild<QProgressDialog*>(QStringLiteral("AttesaInvioInCorso"));
            QVERIFY(attesa);
            TestEnv::saveScreenshot(attesa, QStringLiteral("solleciti_invio_attesa"));
            // Still waiting: nothing made yet.
            controlli += preavvisi.exists() ? 100 : 1;
            altroFinito();
        });
        crea->click();
        QCOMPARE(controlli, 1);
        QCOMPARE(rec.messages, QStringList{QStringLiteral("Tutte le comunicazione sono state create correttamente.")});
        QCOMPARE(preavvisi.entryList(QDir::Files).size(), 1);
        QCOMPARE(conta("SELECT COUNT(*) FROM t_blocchi"), 0);
        auto registro = c.query(QStringLiteral("SELECT Avvio, Modo, Canale, \"Create\", Inviate, NonInviate, Errori, "
                                               "Esito, Fine FROM t_esecuzioni"));
        QCOMPARE(registro.rows.size(), 1);
        QCOMPARE(registro.rows[0][0].toString(), QStringLiteral("FINESTRA"));
        QCOMPARE(registro.rows[0][1].toString(), QStringLiteral("DOCUMENTO"));
        QCOMPARE(registro.rows[0][2].toString(), QStringLiteral("PDF"));
        QCOMPARE(registro.rows[0][3].toInt(), 1);
        QCOMPARE(registro.rows[0][4].toInt(), 0);
        QCOMPARE(registro.rows[0][5].toInt(), 0);
        QVERIFY(registro.rows[0][6].toString().isEmpty());
        QCOMPARE(registro.rows[0][7].toString(), QStringLiteral("COMPLETATA"));
        QVERIFY(!registro.rows[0][8].toString().isEmpty());

        // The run waited for made the letter of the credit selected: the window makes no
        // second letter of the next stage for it, says why and lists again.
        rec.messages.clear();
        altroInvio();
        seleziona("102");
        QTimer::singleShot(300, &frame, [&] {
            c.exec(QStringLiteral("UPDATE t_crediti SET Sollecito1 = :O WHERE NumeroFattura = '102'"),
                   {{QStringLiteral("O"), oggi}});
            altroFinito();
        });
        crea->click();
        QCOMPARE(rec.messages, QStringList{QStringLiteral(
                                   "Le comunicazioni dei crediti selezionati sono state create da un altro invio mentre "
                                   "l'elenco era aperto: l'elenco viene aggiornato.")});
        QVERIFY(!QDir(sz::paths::dataRoot() + QStringLiteral("Archivio/Solleciti per Fattura/Solleciti")).exists());
        QVERIFY(c.scalar(QStringLiteral("SELECT Sollecito2 FROM t_crediti WHERE NumeroFattura = '102'")).isNull());
        QVERIFY(!colonna(frame.queryCrediti(), "NumeroFattura").contains(QStringLiteral("102")));
        QCOMPARE(conta("SELECT COUNT(*) FROM t_blocchi"), 0);
        QCOMPARE(conta("SELECT COUNT(*) FROM t_esecuzioni"), 1);

        // A lock whose holder is gone (its process on this computer has ended) is no reason
        // to ask: the run takes it over.
        rec.messages.clear();
        domanda.clear();
        c.exec(QStringLiteral("INSERT INTO t_blocchi (Nome, Postazione, Host, Utente, Processo, Inizio, Aggiornato) "
                              "VALUES ('SOLLECITI', 'qui', :H, 'io', 999999999, :I, :I)"),
               {{QStringLiteral("H"), QSysInfo::machineHostName()},
                {QStringLiteral("I"), ora.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerFattura"))->setFocus();
        seleziona("201");
        crea->click();
        QVERIFY(domanda.isEmpty());
        QCOMPARE(rec.messages, QStringList{QStringLiteral("Tutte le comunicazione sono state create correttamente.")});
        QCOMPARE(conta("SELECT COUNT(*) FROM t_blocchi"), 0);
        QCOMPARE(conta("SELECT COUNT(*) FROM t_esecuzioni"), 2);
    }

    // A suspended client's credits and a suspended credit leave the lists, and the frame
    // says how many are held back; an expired suspension counts no more.
    // "Verifica ricevute PEC": the question, the mailbox read off the window's thread, the
    // totals in the command line's words and what went wrong in the frame's error list; a
    // mailbox without its incoming server is said at once.
    void certifiedReceiptsButton()
    {
        TFrameSolleciti frame;
        frame.resize(1200, 760);
        frame.show();
        auto* bottone = frame.findChild<QPushButton*>(QStringLiteral("BottoneVerificaRicevutePEC"));
        QVERIFY(bottone);
        QCOMPARE(bottone->text(), QStringLiteral("Verifica ricevute PEC"));
        TestEnv::saveScreenshot(&frame, QStringLiteral("solleciti_verifica_ricevute_pec"));

        sz::ui::MessageRecorder rec;
        QString domanda, totali, dettagli, elenco;
        rec.onDialog = [&](QDialog* d) {
            if (auto* box = qobject_cast<QMessageBox*>(d)) {
                box->show();
                if (box->objectName() == QLatin1String("DomandaRicevutePEC")) {
                    domanda = box->text();
                    TestEnv::saveScreenshot(box, QStringLiteral("solleciti_ricevute_pec_domanda"));
                    box->findChild<QPushButton*>(QStringLiteral("BottoneLeggiCasellaPEC"))->click();
                } else if (box->objectName() == QLatin1String("EsitoRicevutePEC")) {
                    totali = box->text();
                    dettagli = box->detailedText();
                    TestEnv::saveScreenshot(box, QStringLiteral("solleciti_ricevute_pec_esito"));
                }
            } else if (auto* memo = d->findChild<QPlainTextEdit*>()) {
                elenco = memo->toPlainText();
            }
        };
        bottone->click();
        QCOMPARE(domanda, QStringLiteral("Leggere la casella PEC o aprire ricevute salvate (.eml)?"));
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY2(rec.messages[0].contains(QStringLiteral("non è configurato")), qPrintable(rec.messages[0]));
        QVERIFY(totali.isEmpty());

        {
            sz::db::Connection c(sz::paths::LoadConnection());
            c.exec(QStringLiteral("UPDATE t_ISP SET PEC = 1, IMAP = '127.0.0.1', PortaIMAP = :P"),
                   {{QStringLiteral("P"), QString::number(TestEnv::freeLocalPort())}});
        }
        rec.messages.clear();
        bottone->click();
        QVERIFY(rec.messages.isEmpty());
        QVERIFY2(totali.startsWith(QStringLiteral("Messaggi letti: 0; ricevute registrate: 0; già registrate: 0; ")),
                 qPrintable(totali));
        QVERIFY2(dettagli.startsWith(QStringLiteral("ATTENZIONE: ")), qPrintable(dettagli));
        QCOMPARE(elenco.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 1);
    }

    void suspendedCreditsCounted()
    {
        {
            sz::db::Connection c(sz::paths::LoadConnection());
            c.exec(QStringLiteral("UPDATE t_clienti SET SospendiSolleciti = 1, MotivoSospensione = 'PIANO DI RIENTRO' "
                                  "WHERE RagioneSociale = 'verdi spa'"));
            c.exec(QStringLiteral("UPDATE t_crediti SET SospendiSolleciti = 1, SospesoFino = :F WHERE NumeroFattura = '101'"),
                   {{QStringLiteral("F"), oggi}});
        }
        TFrameSolleciti frame;
        frame.resize(1200, 760);
        auto* label = frame.findChild<QLabel*>(QStringLiteral("LabelSospesi"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("3 crediti scaduti non sono elencati perché sospesi."));
        QVERIFY(!label->isHidden());
        QCOMPARE(colonna(frame.queryCreditiPerCliente(), "NumeroFattura"), (QStringList{"102", "301"}));
        auto* combo = frame.findChild<QComboBox*>(QStringLiteral("ComboClienti"));
        QCOMPARE(combo->count(), 2);
        frame.show();
        TestEnv::saveScreenshot(&frame, QStringLiteral("solleciti_sospesi"));

        // The next day the credit's suspension is over; the client's has no end.
        sz::impostaOrologio(QDateTime(oggi.addDays(1), QTime(8, 0)));
        frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"))->setCurrentIndex(1);
        QCOMPARE(label->text(), QStringLiteral("2 crediti scaduti non sono elencati perché sospesi."));
        QVERIFY(colonna(frame.queryCrediti(), "NumeroFattura").contains(QStringLiteral("101")));
        {
            sz::db::Connection c(sz::paths::LoadConnection());
            c.exec(QStringLiteral("UPDATE t_clienti SET SospendiSolleciti = 0"));
        }
        frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"))->setCurrentIndex(0);
        QVERIFY(label->isHidden());
        QVERIFY(label->text().isEmpty());
    }

    // A template with nothing to say is asked about before the run; No leaves its letters
    // out and the others are made, Sì makes them all.
    void emptyTemplateAsked()
    {
        {
            sz::db::Connection c(sz::paths::LoadConnection());
            c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = '', Introduzione = ' ', Finale = NULL "
                                  "WHERE Tipologia = 'PREAVVISO'"));
            c.exec(QStringLiteral("DELETE FROM t_comunicazioni WHERE Tipologia = 'SOLLECITO1'"));
        }
        TFrameSolleciti frame;
        frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"))->setCurrentIndex(1);
        sz::ui::MessageRecorder rec;
        rec.answerNext(false);
        rec.answerNext(true);
        frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid1"))->selectAll();
        frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerFattura"))->click();
        QCOMPARE(rec.messages.mid(0, 2),
                 (QStringList{QStringLiteral("Il modello della comunicazione \"PREAVVISO\" è vuoto: creare comunque le "
                                             "lettere?"),
                              QStringLiteral("Il modello della comunicazione \"1° SOLLECITO\" è vuoto: creare comunque "
                                             "le lettere?")}));
        // The advance notices were left out; the reminder and the bad debt were made.
        QCOMPARE(colonna(frame.queryCrediti(), "NumeroFattura"), (QStringList{"201", "202", "301", "101"}));
        sz::db::Connection c(sz::paths::LoadConnection());
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_invii")).toInt(), 2);

        // Per client, the generic template: No makes nothing at all.
        c.exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = '', Introduzione = '', Finale = '' "
                              "WHERE Tipologia = 'GENERICA'"));
        frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"))->setCurrentIndex(0);
        rec.messages.clear();
        rec.answerNext(false);
        frame.findChild<sz::ui::Grid*>(QStringLiteral("sDBGrid2"))->selectAll();
        frame.findChild<QPushButton*>(QStringLiteral("BottoneStampaPerCliente"))->click();
        QCOMPARE(rec.messages, QStringList{QStringLiteral("Il modello della comunicazione \"GENERICA\" è vuoto: creare "
                                                          "comunque le lettere?")});
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_invii")).toInt(), 2);
    }

    // "Esporta…" in each tab's button bar writes the rows that tab shows, filter applied,
    // under the grid's titles.
    void exportButtons()
    {
        TFrameSolleciti frame;
        auto* tabs = frame.findChild<QTabWidget*>(QStringLiteral("sPageControl1"));
        tabs->setCurrentIndex(1);
        const auto pulsanti = frame.findChildren<QToolButton*>(QStringLiteral("BottoneEsporta"));
        QCOMPARE(pulsanti.size(), 2);
        QToolButton* perDocumento = nullptr;
        for (QToolButton* b : pulsanti)
            if (tabs->widget(1)->isAncestorOf(b))
                perDocumento = b;
        QVERIFY(perDocumento);
        QCOMPARE(perDocumento->text(), QStringLiteral("Esporta…"));
        frame.findChild<QLineEdit*>(QStringLiteral("EditFiltro"))->setText(QStringLiteral("rossi"));

        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/solleciti.csv");
        QString proposto;
        sz::ui::impostaSceltaFileEsportazione([&](const QString& p, QString*) {
            proposto = p;
            return file;
        });
        sz::ui::MessageRecorder rec;
        perDocumento->click();
        sz::ui::impostaSceltaFileEsportazione({});
        QVERIFY2(proposto.contains(QStringLiteral("Solleciti per Documento")), qPrintable(proposto));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList righe = QString::fromUtf8(f.readAll()).remove(QChar(0xFEFF)).split(QStringLiteral("\r\n"),
                                                                                            Qt::SkipEmptyParts);
        QCOMPARE(righe.size(), 3);
        QVERIFY2(righe[0].startsWith(QStringLiteral("Documento N°;Data Documento;Scadenza;")), qPrintable(righe[0]));
        QVERIFY(righe[1].startsWith(QStringLiteral("102;")));
        QVERIFY(righe[2].startsWith(QStringLiteral("101;")));
        QVERIFY2(righe[2].contains(QStringLiteral(";900,00;")), qPrintable(righe[2]));
    }
};

QTEST_MAIN(TestDunningFrame)
#include "tst_dunning_frame.moc"
