// The import frame as a clerk meets it, offscreen: the settings panel and its checks,
// the preview with sorted mapping lists and the saved mapping coming back, a file read
// off the window's thread and left with Annulla, a run on the worker thread to its
// result (success, the error page), a cancel, a damaged spreadsheet, a spreadsheet with
// unreadable cells, and the restore with its question. A file of 100,000 rows and one of
// very long cells are timed: preview, scrolling, error page, start and stop of a run.
#include "FatturaGen.h"
#include "Importazione.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableView>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include <xlsxwriter.h>

using sz::importazione::Tipo;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList items(QComboBox* c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

// Chooses an item as the user does, so the frame hears of it.
void choose(sz::ui::RadioGroup* g, int index)
{
    g->button(index)->click();
}

void waitForRun(TFrameImportazione& f)
{
    QTRY_VERIFY_WITH_TIMEOUT(!f.inCorso(), 60000);
}

// "Carica", then the reading on its own thread to its end.
void carica(TFrameImportazione& f)
{
    f.ButtonCarica->click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.caricamentoInCorso(), 60000);
}

qint64 count(const QString& sql)
{
    sz::db::Connection c(sz::paths::LoadConnection());
    return c.scalar(sql).toLongLong();
}

// Tells when a widget has been painted.
class PaintWatch : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Processes events until the watched widget has been painted once more; the time taken.
qint64 untilPainted(PaintWatch& w)
{
    QElapsedTimer t;
    t.start();
    const int before = w.paints;
    while (w.paints == before && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return t.elapsed();
}

// An accounting export of instalments, as the import bench reads it.
QByteArray rateCsv(int righe)
{
    QByteArray csv =
        "NUMERO;DATA;SCADENZA;IMPORTO;INCASSATO;DATA INCASSO;MODALITA;DESTINATARIO;CLIENTE;BANCA;"
        "NOTE\r\n";
    csv.reserve(righe * 90);
    for (int i = 0; i < righe; ++i) {
        const int fattura = i / 2, giorno = 1 + fattura % 28, mese = 1 + fattura / 28 % 12;
        csv += QStringLiteral("%1/2025;%2/%3/2025;%2/%4/2025;%5,00;;;BONIFICO;;CLIENTE %6 SRL;;rata %7\r\n")
                   .arg(fattura)
                   .arg(giorno, 2, 10, QLatin1Char('0'))
                   .arg(mese, 2, 10, QLatin1Char('0'))
                   .arg(std::min(12, mese + 1 + i % 2), 2, 10, QLatin1Char('0'))
                   .arg(100 + fattura % 900)
                   .arg(fattura % 600)
                   .arg(i % 2 + 1)
                   .toUtf8();
    }
    return csv;
}

const QByteArray clientiCsv = "Ragione Sociale;Località;CAP;Mail\r\n"
                              "Rossi srl; Padova ;35100;Info@Rossi.IT\r\n"
                              "Bianchi spa;Venezia;30100;\r\n";

} // namespace

class TestImportFrame : public QObject
{
    Q_OBJECT

    TestEnv* env = nullptr;
    sz::ui::MessageRecorder* rec = nullptr;

    QString file(const QString& name) const { return env->home() + QLatin1Char('/') + name; }

private slots:
    void init()
    {
        env = new TestEnv;
        sz::db::Connection c(env->installDatabase());
        rec = new sz::ui::MessageRecorder;
    }
    void cleanup()
    {
        delete rec;
        delete env;
    }

    // Captions and first state; the two load checks keep the frame in Settings.
    void settingsPanelAndChecks()
    {
        QVERIFY(TestEnv::fontsAvailable());
        TFrameImportazione f;
        f.resize(1200, 760);
        f.show();
        QCOMPARE(f.heading()->titleLabel()->text(), QStringLiteral("Importazione dati"));
        QCOMPARE(f.RadioGroupTipologia->itemIndex(), 0);
        QCOMPARE(f.RadioGroupEstensione->itemCaption(2), QStringLiteral(".xls .xlsx"));
        QCOMPARE(f.ButtonCarica->text(), QStringLiteral("Carica le Anagrafiche Cliente"));
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
        QVERIFY(!f.ButtonRipristina->isEnabled()); // no copy yet
        QCOMPARE(f.filtroFile(), QStringLiteral("File csv (*.csv)"));
        TestEnv::saveScreenshot(&f, QStringLiteral("importazione"));

        choose(f.RadioGroupTipologia, 1);
        QCOMPARE(f.ButtonCarica->text(), QStringLiteral("Carica i Documenti emessi"));
        f.EditFileName->setText(QStringLiteral("x"));
        choose(f.RadioGroupEstensione, 2);
        QVERIFY(f.EditFileName->text().isEmpty());
        QVERIFY(!f.RadioGroupDelimitatore->isEnabled() && !f.EditDelimitatore->isEnabled());
        QVERIFY(f.filtroFile().contains(QLatin1String("*.xlsx")) &&
                f.filtroFile().contains(QLatin1String("*.ods")));
        choose(f.RadioGroupEstensione, 0);
        QVERIFY(f.RadioGroupDelimitatore->isEnabled());

        // "Altro:" with a blank counts as missing; typing selects "Altro:" by itself.
        QTest::keyClicks(f.EditDelimitatore, QStringLiteral(" "));
        QCOMPARE(f.RadioGroupDelimitatore->itemIndex(), 3);
        carica(f);
        QCOMPARE(rec->messages.value(0),
                 QStringLiteral("ATTENZIONE: il carattare delimitatore risulta mancante. Si "
                                "prega di compilare il campo richiesto per poter proseguire."));
        choose(f.RadioGroupDelimitatore, 0);
        f.EditFileName->setText(file(QStringLiteral("manca.csv")));
        carica(f);
        QCOMPARE(rec->messages.value(1),
                 QStringLiteral("ATTENZIONE: il file da importare risulta mancante. Si prega "
                                "di compilare il campo richiesto per poter proseguire."));
        QVERIFY(f.PanelImpostazioni->isVisible());
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
    }

    // A larger desktop font widens the settings panel instead of cutting a caption.
    void captionsShownWhole()
    {
        TFrameImportazione f;
        QFont grande = f.font();
        grande.setPointSize(16);
        f.setFont(grande);
        f.resize(1200, 760);
        f.show();
        QCoreApplication::processEvents();
        const auto gruppi = f.PanelImpostazioni->findChildren<QGroupBox*>();
        QVERIFY(gruppi.size() >= 4);
        for (QGroupBox* g : gruppi) {
            const int titolo = QFontMetrics(g->font()).horizontalAdvance(g->title());
            QVERIFY2(g->width() >= titolo, qPrintable(g->title()));
            QVERIFY2(g->width() >= g->minimumSizeHint().width(), qPrintable(g->title()));
        }
    }

    // Load, map, import, back to Settings; the next load brings the mapping back.
    void clientsRoundTrip()
    {
        writeFile(file(QStringLiteral("clienti.csv")), clientiCsv);
        {
            TFrameImportazione f;
            f.resize(1200, 760);
            f.show();
            f.EditFileName->setText(file(QStringLiteral("clienti.csv")));
            carica(f);
            QVERIFY2(rec->messages.isEmpty(), qPrintable(rec->messages.join('\n')));
            QCOMPARE(f.PageControl->currentWidget(), f.TabPreviewClienti);
            QVERIFY(!f.PanelImpostazioni->isVisible());
            auto* m = f.StringGridClienti->model();
            QCOMPARE(m->rowCount(), 2);
            QCOMPARE(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("LOCALITÀ"));
            QCOMPARE(m->headerData(1, Qt::Vertical).toString(), QStringLiteral("2"));
            QCOMPARE(m->index(0, 1).data().toString(), QStringLiteral("PADOVA"));
            QCOMPARE(m->index(0, 3).data().toString(), QStringLiteral("INFO@ROSSI.IT"));
            QComboBox* nome = f.lista(QStringLiteral("ComboRagioneSocialeCliente"));
            QCOMPARE(items(nome), (QStringList{"", "CAP", "LOCALITÀ", "MAIL", "RAGIONE SOCIALE"}));
            QCOMPARE(nome->currentIndex(), -1);
            QVERIFY(!nome->isEditable());
            QVERIFY(f.StringGridClienti->columnWidth(0) >
                    f.fontMetrics().horizontalAdvance(QStringLiteral("BIANCHI SPA")));

            nome->setCurrentIndex(nome->findText(QStringLiteral("RAGIONE SOCIALE")));
            f.lista(QStringLiteral("ComboLocalitaCliente"))->setCurrentText(QStringLiteral("LOCALITÀ"));
            f.lista(QStringLiteral("ComboCAPCliente"))->setCurrentText(QStringLiteral("CAP"));
            f.lista(QStringLiteral("ComboMail1Cliente"))->setCurrentText(QStringLiteral("MAIL"));
            QCoreApplication::processEvents();
            TestEnv::saveScreenshot(&f, QStringLiteral("importazione_anteprima"));
            f.ButtonImportaClienti->click();
            waitForRun(f);
            QCOMPARE(rec->messages.value(0),
                     QStringLiteral("Importazione Clienti effettuata correttamente."));
            QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
            QVERIFY(f.PanelImpostazioni->isVisible());
            QVERIFY(f.ButtonRipristina->isEnabled());
            QCOMPARE(f.GaugeClienti->value(), 2);
        }
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE Mail1 = 'info@rossi.it' AND "
                                      "Localita = 'PADOVA' AND CAP = '35100'")),
                 1);

        // Another file with the titles in another order and case: the mapping follows.
        writeFile(file(QStringLiteral("clienti2.csv")),
                  "mail;cap;località;ragione sociale;note\nx@y.it;;;VERDI;\n");
        TFrameImportazione f;
        f.EditFileName->setText(file(QStringLiteral("clienti2.csv")));
        carica(f);
        QCOMPARE(f.lista(QStringLiteral("ComboRagioneSocialeCliente"))->currentText(),
                 QStringLiteral("RAGIONE SOCIALE"));
        QCOMPARE(f.lista(QStringLiteral("ComboMail1Cliente"))->currentText(), QStringLiteral("MAIL"));
        QVERIFY(f.lista(QStringLiteral("ComboIndirizzoCliente"))->currentText().isEmpty());
        // A narrower text file keeps the wider grid's columns, empty.
        QCOMPARE(f.StringGridClienti->model()->columnCount(), 5);
        f.ButtonAnnullaClienti->click();
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
    }

    // Rejected rows: the message, the error page with the lines and a copy of the grid.
    void invoiceErrorsPage()
    {
        writeFile(file(QStringLiteral("fatture.csv")), "NUMERO;DATA;SCADENZA;IMPORTO;CLIENTE\n"
                                                       "1;01/03/2013;31/03/2013;100,00;ROSSI\n"
                                                       "2;31/02/2013;31/03/2013;100,00;ROSSI\n"
                                                       "3;01/03/2013;;1,00;\n");
        TFrameImportazione f;
        f.resize(1200, 760);
        f.show();
        choose(f.RadioGroupTipologia, 1);
        f.EditFileName->setText(file(QStringLiteral("fatture.csv")));
        carica(f);
        QCOMPARE(f.PageControl->currentWidget(), f.TabPreviewFatture);
        const QList<std::pair<const char*, const char*>> mappa{{"ComboNumeroFattura", "NUMERO"},
                                                               {"ComboDataFattura", "DATA"},
                                                               {"ComboScadenzaFattura", "SCADENZA"},
                                                               {"ComboImportoFattura", "IMPORTO"},
                                                               {"ComboClienteFattura", "CLIENTE"}};
        for (const auto& [lista, titolo] : mappa)
            f.lista(QLatin1String(lista))->setCurrentText(QLatin1String(titolo));
        f.ButtonImportaFatture->click();
        QVERIFY(!f.ButtonImportaFatture->isEnabled());
        waitForRun(f);
        QCOMPARE(rec->messages.value(0),
                 QStringLiteral("La procedura è stata terminata ma sono stati riscontrati alcuni errori."));
        QCOMPARE(f.PageControl->currentWidget(), f.TabErrori);
        const QString memo = f.MemoErrori->toPlainText();
        QVERIFY2(memo.startsWith(QLatin1String("RIGA 2: ")) && memo.contains(QLatin1String("RIGA 3: ")),
                 qPrintable(memo));
        QCOMPARE(memo, memo.toUpper());
        QCOMPARE(f.StringGridErrori->model()->rowCount(), 3);
        QCOMPARE(f.StringGridErrori->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("NUMERO"));
        QCoreApplication::processEvents();
        TestEnv::saveScreenshot(&f, QStringLiteral("importazione_errori"));
        // A line longer than the page reads without scrolling sideways.
        f.MemoErrori->appendPlainText(QStringLiteral("RIGA 4: ") +
                                      QStringLiteral("CLIENTE NON PRESENTE IN ANAGRAFICA. ").repeated(12));
        QCoreApplication::processEvents();
        QCOMPARE(f.MemoErrori->horizontalScrollBar()->maximum(), 0);
        QVERIFY(f.MemoErrori->document()->lastBlock().layout()->lineCount() > 1);
        f.ButtonOK->click();
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_crediti")), 1);
    }

    // 100,000 rows: the preview is on screen within a second of the file being read, a
    // page anywhere in it paints at once, the columns are wide enough for the last rows
    // too, the mapping lists answer at once, the error page with a line for every row
    // opens within a second or so, and "Importa" and "Annulla" give the window back at once.
    void largeFile()
    {
        const int n = 100000;
        const QString csv = file(QStringLiteral("rate.csv"));
        writeFile(csv, rateCsv(n));
        QElapsedTimer t;
        t.start();
        sz::importazione::Caricamento c =
            sz::importazione::caricaFile(csv, sz::importazione::TipoFile::Csv, QLatin1Char(';'));
        const qint64 lettura = t.elapsed();
        QCOMPARE(c.griglia.righe(), n + 1);

        TFrameImportazione f;
        f.resize(1200, 760);
        f.show();
        choose(f.RadioGroupTipologia, 1);
        QCoreApplication::processEvents();
        PaintWatch vista;
        f.StringGridFatture->viewport()->installEventFilter(&vista);
        t.restart();
        f.mostraAnteprima(Tipo::Fatture, std::move(c));
        const qint64 mostrata = t.elapsed();
        const qint64 dipinta = mostrata + untilPainted(vista);
        qInfo("read %lld ms; preview built %lld ms, painted %lld ms after the reading", lettura, mostrata,
              dipinta);
        QVERIFY2(dipinta < 1000, qPrintable(QString::number(dipinta)));
        QCOMPARE(f.PageControl->currentWidget(), f.TabPreviewFatture);
        auto* m = f.StringGridFatture->model();
        QCOMPARE(m->rowCount(), n);
        QCOMPARE(m->headerData(n - 1, Qt::Vertical).toString(), QString::number(n));
        QCOMPARE(m->index(n - 1, 8).data().toString(), QStringLiteral("CLIENTE 199 SRL"));
        // The numbers grow along the file: the last one fits its column as the first does.
        QVERIFY(f.StringGridFatture->columnWidth(0) >
                f.StringGridFatture->fontMetrics().horizontalAdvance(m->index(n - 1, 0).data().toString()));
        TestEnv::saveScreenshot(&f, QStringLiteral("importazione_100000"));

        // Scrolling: to the end and page by page back, then jumps along the file, each
        // page painted at once.
        QScrollBar* barra = f.StringGridFatture->verticalScrollBar();
        t.restart();
        barra->setValue(barra->maximum());
        qint64 peggiore = untilPainted(vista);
        for (int i = 0; i < 40; ++i) {
            barra->triggerAction(QAbstractSlider::SliderPageStepSub);
            peggiore = std::max(peggiore, untilPainted(vista));
        }
        for (int i = 0; i < 40; ++i) {
            barra->setValue(barra->maximum() / 40 * i);
            peggiore = std::max(peggiore, untilPainted(vista));
        }
        qInfo("scrolling: 81 pages in %lld ms, the slowest %lld ms", t.elapsed(), peggiore);
        QVERIFY2(peggiore < 100, qPrintable(QString::number(peggiore)));
        barra->setValue(barra->maximum());
        untilPainted(vista);
        TestEnv::saveScreenshot(&f, QStringLiteral("importazione_100000_fine"));

        // A mapping list: opening it and choosing a column.
        QComboBox* cliente = f.lista(QStringLiteral("ComboClienteFattura"));
        t.restart();
        cliente->showPopup();
        QCoreApplication::processEvents();
        cliente->hidePopup();
        cliente->setCurrentText(QStringLiteral("CLIENTE"));
        const qint64 lista = t.elapsed();
        qInfo("mapping list: %lld ms", lista);
        QVERIFY2(lista < 200, qPrintable(QString::number(lista)));

        // The error page with a line for every row. Its memo holds them all, so that the
        // clerk can copy them; that costs a few hundred milliseconds.
        sz::importazione::Esito esito;
        for (int r = 2; r <= n + 1; ++r)
            esito.errori << QStringLiteral("RIGA %1: la data di scadenza non è valida.").arg(r);
        PaintWatch errori;
        f.StringGridErrori->viewport()->installEventFilter(&errori);
        t.restart();
        f.mostraRisultato(Tipo::Fatture, esito);
        const qint64 pagina = t.elapsed() + untilPainted(errori);
        qInfo("error page with %d lines: %lld ms", n, pagina);
        QCOMPARE(f.PageControl->currentWidget(), f.TabErrori);
        QVERIFY2(pagina < 1500, qPrintable(QString::number(pagina)));
        QCOMPARE(f.StringGridErrori->model()->rowCount(), n);
        QCOMPARE(f.MemoErrori->blockCount(), n);
        TestEnv::saveScreenshot(&f, QStringLiteral("importazione_100000_errori"));
        f.ButtonOK->click();
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);

        // The same file through "Carica": read on its thread, shown at its end. The rows
        // shown before are let go as the reading starts, not held beside the new ones.
        f.EditFileName->setText(csv);
        t.restart();
        f.ButtonCarica->click();
        QCOMPARE(f.StringGridFatture->model()->rowCount(), 0);
        QCOMPARE(f.StringGridErrori->model()->rowCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!f.caricamentoInCorso(), 60000);
        qInfo("Carica to preview: %lld ms", t.elapsed());
        QCOMPARE(f.PageControl->currentWidget(), f.TabPreviewFatture);
        QCOMPARE(f.StringGridFatture->model()->rowCount(), n);
        QCOMPARE(f.StringGridFatture->verticalScrollBar()->value(), 0);

        // "Importa": the copy and the column search run behind the window with the rows;
        // "Annulla" stops the run at its next row.
        const QList<std::pair<const char*, const char*>> mappa{{"ComboNumeroFattura", "NUMERO"},
                                                               {"ComboDataFattura", "DATA"},
                                                               {"ComboScadenzaFattura", "SCADENZA"},
                                                               {"ComboImportoFattura", "IMPORTO"},
                                                               {"ComboClienteFattura", "CLIENTE"}};
        for (const auto& [lista, titolo] : mappa)
            f.lista(QLatin1String(lista))->setCurrentText(QLatin1String(titolo));
        t.restart();
        f.ButtonImportaFatture->click();
        const qint64 avvio = t.elapsed();
        QVERIFY(f.inCorso());
        QTRY_VERIFY_WITH_TIMEOUT(f.GaugeFatture->value() > 0, 30000);
        t.restart();
        f.ButtonAnnullaFatture->click();
        const qint64 fermata = t.elapsed();
        qInfo("run started in %lld ms, stopped in %lld ms", avvio, fermata);
        QVERIFY(!f.inCorso());
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
        QVERIFY(f.ButtonRipristina->isEnabled());
        QVERIFY2(avvio < 200, qPrintable(QString::number(avvio)));
        QVERIFY2(fermata < 1000, qPrintable(QString::number(fermata)));
        QVERIFY2(rec->messages.size() == 1, qPrintable(rec->messages.join('\n'))); // the error page's
        // The mapping was saved by the run, as before.
        TFrameImportazione g;
        choose(g.RadioGroupTipologia, 1);
        g.EditFileName->setText(csv);
        carica(g);
        QCOMPARE(g.lista(QStringLiteral("ComboScadenzaFattura"))->currentText(), QStringLiteral("SCADENZA"));
    }

    // Cells of 30,000 characters: the grid shows their start and paints a page at once
    // (measuring the whole texts took seconds a page); the tooltip shows more, and the run
    // reads the whole text.
    void longCellsScrollSmoothly()
    {
        QByteArray csv = "A;B;C;D;E\n";
        const QByteArray lungo = QByteArray(29999, 'X') + 'Y';
        for (int i = 0; i < 200; ++i)
            csv += lungo + ";" + lungo + ";" + lungo + ";" + lungo + ";" + lungo + "\n";
        const QString path = file(QStringLiteral("lunghi.csv"));
        writeFile(path, csv);
        sz::importazione::Caricamento c =
            sz::importazione::caricaFile(path, sz::importazione::TipoFile::Csv, QLatin1Char(';'));
        TFrameImportazione f;
        f.resize(1200, 760);
        f.show();
        QCoreApplication::processEvents();
        PaintWatch vista;
        f.StringGridClienti->viewport()->installEventFilter(&vista);
        QElapsedTimer t;
        t.start();
        f.mostraAnteprima(Tipo::Clienti, std::move(c));
        const qint64 mostrata = t.elapsed() + untilPainted(vista);
        QScrollBar* barra = f.StringGridClienti->verticalScrollBar();
        qint64 peggiore = 0;
        for (int i = 0; i < 5; ++i) {
            barra->triggerAction(QAbstractSlider::SliderPageStepAdd);
            peggiore = std::max(peggiore, untilPainted(vista));
        }
        qInfo("long cells: shown in %lld ms, the slowest page %lld ms", mostrata, peggiore);
        QVERIFY2(mostrata < 1000, qPrintable(QString::number(mostrata)));
        QVERIFY2(peggiore < 200, qPrintable(QString::number(peggiore)));
        auto* m = f.StringGridClienti->model();
        const QString mostrato = m->index(0, 0).data().toString();
        QVERIFY(mostrato.size() < 300 && mostrato.startsWith(QLatin1String("XXX")) &&
                mostrato.endsWith(QChar(0x2026)));
        QVERIFY(m->index(0, 0).data(Qt::ToolTipRole).toString().size() > mostrato.size());
        QCOMPARE(m->index(0, 0).data(Qt::ToolTipRole).toString().size(), 2001);
        QCOMPARE(f.m_modelloClienti->griglia()->cella(1, 1).size(), 30000);
        QVERIFY(f.m_modelloClienti->griglia()->cella(1, 1).endsWith(QLatin1Char('Y')));
    }

    // A spreadsheet: the delimiter saved empty; a damaged one keeps the frame in Settings.
    void spreadsheetsAndDamage()
    {
        const QString xlsx = file(QStringLiteral("clienti.xlsx"));
        lxw_workbook* wb = workbook_new(xlsx.toUtf8().constData());
        lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
        worksheet_write_string(ws, 0, 0, "Ragione Sociale", nullptr);
        worksheet_write_string(ws, 1, 0, "Società Nuova", nullptr);
        QCOMPARE(workbook_close(wb), LXW_NO_ERROR);
        {
            TFrameImportazione f;
            choose(f.RadioGroupEstensione, 2);
            f.EditFileName->setText(xlsx);
            carica(f);
            QCOMPARE(f.StringGridClienti->model()->index(0, 0).data().toString(),
                     QStringLiteral("SOCIETÀ NUOVA"));
            f.lista(QStringLiteral("ComboRagioneSocialeCliente"))
                ->setCurrentText(QStringLiteral("RAGIONE SOCIALE"));
            f.ButtonImportaClienti->click();
            waitForRun(f);
        }
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_parametriImportazioni WHERE "
                                      "TipologiaImportazione = 'Clienti' AND Estensione = '.xls .xlsx' AND "
                                      "COALESCE(Delimitatore, '') = ''")),
                 1);
        TFrameImportazione f;
        QCOMPARE(f.RadioGroupEstensione->itemIndex(), 2);
        QVERIFY(!f.RadioGroupDelimitatore->isEnabled());
        writeFile(file(QStringLiteral("rotto.xlsx")), QByteArray("PK\x03\x04rotto"));
        rec->messages.clear();
        f.EditFileName->setText(file(QStringLiteral("rotto.xlsx")));
        carica(f);
        QCOMPARE(rec->messages.size(), 1);
        QVERIFY2(rec->messages.first().startsWith(
                     QStringLiteral("ATTENZIONE: si è verificato il seguente errore Il file")) &&
                     rec->messages.first().endsWith(QLatin1String("(archivio non leggibile).")),
                 qPrintable(rec->messages.first()));
        QVERIFY(!f.PanelImpostazioni->isHidden());
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
    }

    // A CAP kept as the number 184 in a column formatted "00000", as LibreOffice saves it
    // (the number style in styles.xml, the cell style in content.xml): the preview shows
    // "00184" and the client is imported with it; the same number without the format is
    // the CAP the register refuses.
    void odsPaddedCapImported()
    {
        const QByteArray ns = " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
                              " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
                              " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
                              " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
                              " xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\"";
        auto riga = [](const char* nome, const char* cap, bool formato) {
            return QByteArray("<table:table-row><table:table-cell office:value-type=\"string\"><text:p>") +
                   nome +
                   "</text:p></table:table-cell><table:table-cell office:value-type=\"float\" "
                   "office:value=\"" +
                   cap + "\"" + (formato ? " table:style-name=\"ce1\"" : "") + "><text:p>" + cap +
                   "</text:p></table:table-cell></table:table-row>";
        };
        const QByteArray content =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content" + ns +
            "><office:automatic-styles><style:style style:name=\"ce1\" style:family=\"table-cell\" "
            "style:parent-style-name=\"Default\" style:data-style-name=\"N144\"/></office:automatic-styles>"
            "<office:body><office:spreadsheet><table:table table:name=\"Foglio1\"><table:table-row>"
            "<table:table-cell office:value-type=\"string\"><text:p>Ragione "
            "Sociale</text:p></table:table-cell>"
            "<table:table-cell office:value-type=\"string\"><text:p>CAP</text:p></table:table-cell>"
            "</table:table-row>" +
            riga("Roma Servizi srl", "184", true) + riga("Senza Formato srl", "184", false) +
            riga("Padova srl", "35100", true) +
            "</table:table></office:spreadsheet></office:body></office:document-content>";
        const QByteArray styles =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-styles" + ns +
            "><office:styles><number:number-style style:name=\"N144\"><number:number "
            "number:decimal-places=\"0\" "
            "number:min-decimal-places=\"0\" number:min-integer-digits=\"5\"/></number:number-style>"
            "<style:style style:name=\"Default\" style:family=\"table-cell\"/></office:styles>"
            "</office:document-styles>";
        const QString ods = file(QStringLiteral("clienti.ods"));
        QVERIFY(fatturagen::zip(
            ods, {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet"},
                  {QStringLiteral("content.xml"), content},
                  {QStringLiteral("styles.xml"), styles}}));
        TFrameImportazione f;
        choose(f.RadioGroupEstensione, 2);
        f.EditFileName->setText(ods);
        carica(f);
        QCOMPARE(f.PageControl->currentWidget(), f.TabPreviewClienti);
        auto* m = f.StringGridClienti->model();
        QCOMPARE(m->index(0, 1).data().toString(), QStringLiteral("00184"));
        QCOMPARE(m->index(1, 1).data().toString(), QStringLiteral("184"));
        QCOMPARE(m->index(2, 1).data().toString(), QStringLiteral("35100"));
        f.lista(QStringLiteral("ComboRagioneSocialeCliente"))
            ->setCurrentText(QStringLiteral("RAGIONE SOCIALE"));
        f.lista(QStringLiteral("ComboCAPCliente"))->setCurrentText(QStringLiteral("CAP"));
        f.ButtonImportaClienti->click();
        waitForRun(f);
        QCOMPARE(f.PageControl->currentWidget(), f.TabErrori);
        QCOMPARE(f.MemoErrori->toPlainText(), QStringLiteral("RIGA 2: CAP NON VALIDO."));
        QCOMPARE(
            count(QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE RagioneSociale = 'ROMA SERVIZI SRL' "
                                 "AND CAP = '00184'")),
            1);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE CAP = '35100'")), 1);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_clienti")), 2);
    }

    // A file is read off the window's thread: the settings lock, the gauge runs and
    // "Annulla" gives the window back at once; the reading left behind never shows up,
    // and the next file loads.
    void loadingOffTheWindowThread()
    {
        QByteArray csv = "RAGIONE SOCIALE;INDIRIZZO;LOCALITA\n";
        for (int i = 0; i < 150000; ++i)
            csv += "CLIENTE " + QByteArray::number(i) + ";VIA ROMA " + QByteArray::number(i) + ";PADOVA\n";
        writeFile(file(QStringLiteral("grande.csv")), csv);
        writeFile(file(QStringLiteral("clienti.csv")), clientiCsv);
        TFrameImportazione f;
        f.resize(1200, 760);
        f.show();
        f.EditFileName->setText(file(QStringLiteral("grande.csv")));
        f.ButtonCarica->click();
        QVERIFY(f.caricamentoInCorso());
        QVERIFY(f.ButtonAnnullaCaricamento->isVisible() && f.ButtonAnnullaCaricamento->isEnabled());
        QVERIFY(!f.ButtonCarica->isEnabled() && !f.RadioGroupTipologia->isEnabled() &&
                !f.EditFileName->isEnabled());
        QCOMPARE(f.Gauge->maximum(), 0); // running, no count to show
        QCoreApplication::processEvents();
        TestEnv::saveScreenshot(&f, QStringLiteral("importazione_caricamento"));
        f.ButtonAnnullaCaricamento->click();
        QVERIFY(!f.caricamentoInCorso());
        QVERIFY(!f.ButtonAnnullaCaricamento->isVisible());
        QVERIFY(f.ButtonCarica->isEnabled() && f.RadioGroupTipologia->isEnabled() &&
                f.EditFileName->isEnabled());
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);

        // While the reading left behind still runs, another waits for it.
        f.EditFileName->setText(file(QStringLiteral("clienti.csv")));
        for (int i = 0; i < 600 && f.PageControl->currentWidget() == f.TabImpostazioni; ++i) {
            carica(f);
            if (f.PageControl->currentWidget() == f.TabImpostazioni) QTest::qWait(100);
        }
        QCOMPARE(f.PageControl->currentWidget(), f.TabPreviewClienti);
        for (const QString& m : rec->messages)
            QVERIFY2(
                m.startsWith(QStringLiteral("ATTENZIONE: il caricamento annullato non è ancora terminato.")),
                qPrintable(m));
        QCOMPARE(f.StringGridClienti->model()->rowCount(), 2);
        QTest::qWait(300);
        QCOMPARE(f.StringGridClienti->model()->rowCount(), 2);
        QCOMPARE(f.Gauge->maximum(), 3);
    }

    // A hostile file (20,000 delimiters on one line, then 20,000 empty lines) is a message
    // in the window, and the window stays as it was.
    void hostileFileIsAMessage()
    {
        writeFile(file(QStringLiteral("ostile.csv")), QByteArray(20000, ';') + QByteArray(20000, '\n'));
        TFrameImportazione f;
        f.EditFileName->setText(file(QStringLiteral("ostile.csv")));
        QElapsedTimer t;
        t.start();
        carica(f);
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(rec->messages.size(), 1);
        QVERIFY2(rec->messages.first().startsWith(QStringLiteral("ATTENZIONE: si è verificato il seguente errore ")),
                 qPrintable(rec->messages.first()));
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
        QVERIFY(f.ButtonCarica->isEnabled() && f.PanelImpostazioni->isVisibleTo(&f));
    }

    // An .xls whose amount is a formula without its value: the question, then the run
    // refuses that row with its own line; the register gets no credit of € 0,00.
    void unreadableAmountIsRefused()
    {
        const QString xls = file(QStringLiteral("fatture.xls"));
        QProcess p;
        p.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys, xlwt\n"
                            "b = xlwt.Workbook(); s = b.add_sheet('a')\n"
                            "for j, t in enumerate(['NUMERO', 'DATA', 'SCADENZA', 'IMPORTO', 'CLIENTE']): "
                            "s.write(0, j, t)\n"
                            "for j, t in enumerate(['1', '01/03/2013', '31/03/2013', xlwt.Formula('60+40'), "
                            "'ROSSI']): s.write(1, j, t)\n"
                            "for j, t in enumerate(['2', '01/03/2013', '31/03/2013', '50,00', 'ROSSI']): "
                            "s.write(2, j, t)\n"
                            "b.save(sys.argv[1])\n"),
             xls});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        TFrameImportazione f;
        choose(f.RadioGroupTipologia, 1);
        choose(f.RadioGroupEstensione, 2);
        f.EditFileName->setText(xls);
        rec->answerNext(true);
        carica(f);
        QVERIFY2(rec->messages.value(0).startsWith(QStringLiteral("ATTENZIONE: 1 cella con una formula")) &&
                     rec->messages.value(0).endsWith(QStringLiteral("Caricare comunque il file?")),
                 qPrintable(rec->messages.value(0)));
        QCOMPARE(f.PageControl->currentWidget(), f.TabPreviewFatture);
        const QList<std::pair<const char*, const char*>> mappa{{"ComboNumeroFattura", "NUMERO"},
                                                               {"ComboDataFattura", "DATA"},
                                                               {"ComboScadenzaFattura", "SCADENZA"},
                                                               {"ComboImportoFattura", "IMPORTO"},
                                                               {"ComboClienteFattura", "CLIENTE"}};
        for (const auto& [lista, titolo] : mappa)
            f.lista(QLatin1String(lista))->setCurrentText(QLatin1String(titolo));
        f.ButtonImportaFatture->click();
        waitForRun(f);
        QCOMPARE(rec->messages.value(1),
                 QStringLiteral("La procedura è stata terminata ma sono stati riscontrati alcuni errori."));
        QCOMPARE(f.MemoErrori->toPlainText(),
                 QStringLiteral(
                     "RIGA 1: IMPORTO (CELLA D2): IL VALORE NON SI È POTUTO LEGGERE DAL FILE, LA RIGA NON "
                     "È STATA IMPORTATA."));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_crediti")), 1);
        QCOMPARE(
            count(QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE NumeroFattura = '1' OR Importo = 0")),
            0);
    }

    // Annulla during a long run: back to Settings at once, the rows written so far stay,
    // no result message. Then the restore, asked first, brings the empty register back.
    void cancelThenRestore()
    {
        QByteArray csv = "RAGIONE SOCIALE\n";
        for (int i = 0; i < 30000; ++i)
            csv += "CLIENTE " + QByteArray::number(i) + "\n";
        writeFile(file(QStringLiteral("molti.csv")), csv);
        TFrameImportazione f;
        f.EditFileName->setText(file(QStringLiteral("molti.csv")));
        carica(f);
        f.lista(QStringLiteral("ComboRagioneSocialeCliente"))
            ->setCurrentText(QStringLiteral("RAGIONE SOCIALE"));
        f.ButtonImportaClienti->click();
        QVERIFY(f.inCorso());
        QTRY_VERIFY(f.GaugeClienti->value() > 0);
        f.ButtonAnnullaClienti->click();
        QVERIFY(!f.inCorso());
        QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
        QVERIFY(f.ButtonImportaClienti->isEnabled());
        QTest::qWait(200);
        QVERIFY2(rec->messages.isEmpty(), qPrintable(rec->messages.join('\n')));
        const qint64 scritti = count(QStringLiteral("SELECT COUNT(*) FROM t_clienti"));
        QVERIFY2(scritti < 30000, qPrintable(QString::number(scritti)));
        qInfo("cancelled after %lld of 30000 rows", scritti);

        QVERIFY(f.ButtonRipristina->isEnabled());
        rec->answerNext(false);
        f.ButtonRipristina->click();
        QVERIFY(
            rec->messages.value(0).startsWith(QStringLiteral("ATTENZIONE\n\r\n\rLa procedura ripristinerà")));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_clienti")), scritti);
        f.ButtonRipristina->click();
        QCOMPARE(rec->messages.value(2), QStringLiteral("Ripristino del sistema effettuato correttamente."));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_clienti")), 0);
        QVERIFY(f.ButtonRipristina->isEnabled());
    }

    // The safety copy cannot be written: the error is shown, nothing is imported, and
    // "Importa" can be pressed again once the cause is gone.
    void noCopyNoImport()
    {
        writeFile(file(QStringLiteral("clienti.csv")), clientiCsv);
        const QString copia = sz::importazione::percorsoCopia(sz::paths::dataRoot());
        QVERIFY(QDir().mkpath(copia)); // a folder where the copy's file should go
        TFrameImportazione f;
        f.EditFileName->setText(file(QStringLiteral("clienti.csv")));
        carica(f);
        f.lista(QStringLiteral("ComboRagioneSocialeCliente"))
            ->setCurrentText(QStringLiteral("RAGIONE SOCIALE"));
        f.ButtonImportaClienti->click();
        waitForRun(f);
        QCOMPARE(rec->messages.size(), 1);
        QVERIFY2(rec->messages.first().startsWith(
                     QStringLiteral("ATTENZIONE: si è verificato il seguente errore ")),
                 qPrintable(rec->messages.first()));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_clienti")), 0);
        QVERIFY(f.ButtonImportaClienti->isEnabled());
        QVERIFY(!f.ButtonRipristina->isEnabled());
        QCOMPARE(f.PageControl->currentWidget(), f.TabPreviewClienti);

        QVERIFY(QDir(copia).removeRecursively());
        f.ButtonImportaClienti->click();
        waitForRun(f);
        QCOMPARE(rec->messages.value(1), QStringLiteral("Importazione Clienti effettuata correttamente."));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_clienti")), 2);
        QVERIFY(f.ButtonRipristina->isEnabled());
    }

    // Electronic invoices: offered for documents only, several files at once, the fixed
    // header with the mapping chosen on it, the documents left out on the error page
    // with the run's own lines, and the file type coming back with the next frame.
    void electronicInvoices()
    {
        {
            sz::db::Connection c(sz::paths::LoadConnection());
            c.exec(QStringLiteral(
                "INSERT INTO t_societa (RagioneSociale, IVA) VALUES ('ALFA SRL', '01234567890')"));
        }
        fatturagen::Fattura treRate;
        treRate.corpi[0].numero = QStringLiteral("FT/1");
        treRate.corpi[0].condizioni = QStringLiteral("TP01");
        for (const char* s : {"2026-04-30", "2026-05-31", "2026-06-30"})
            treRate.corpi[0].rate << fatturagen::Rata{
                QStringLiteral("MP12"), QLatin1String(s), {}, {}, QStringLiteral("1234.50"), {}};
        treRate.corpi[0].rate[2].modalita = QStringLiteral("MP05");
        treRate.corpi[0].rate[2].iban = QStringLiteral("IT60X0542811101000000123456");
        treRate.corpi[0].rate[2].istituto = QStringLiteral("Banca di Prova");
        fatturagen::Fattura privato;
        privato.denominazione.clear();
        privato.nome = QStringLiteral("Lucia");
        privato.cognome = QStringLiteral("Zanetti");
        privato.corpi[0].numero = QStringLiteral("FT/2");
        fatturagen::Fattura nota;
        nota.corpi[0].tipo = QStringLiteral("TD04");
        nota.corpi[0].numero = QStringLiteral("NC/9");
        QVERIFY(fatturagen::zip(file(QStringLiteral("fatture.zip")),
                                {{QStringLiteral("IT01234567890_1.xml"), fatturagen::xml(treRate)},
                                 {QStringLiteral("IT01234567890_2.xml"), fatturagen::xml(privato)}}));
        writeFile(file(QStringLiteral("nota.xml")), fatturagen::xml(nota));

        {
            TFrameImportazione f;
            f.resize(1200, 760);
            f.show();
            QCOMPARE(f.RadioGroupEstensione->itemCaption(3),
                     QStringLiteral("Fattura elettronica (.xml .p7m .zip)"));
            QVERIFY(!f.RadioGroupEstensione->button(3)->isEnabled());
            choose(f.RadioGroupTipologia, 1);
            QVERIFY(f.RadioGroupEstensione->button(3)->isEnabled());
            choose(f.RadioGroupEstensione, 3);
            QVERIFY(!f.RadioGroupDelimitatore->isEnabled());
            QVERIFY(f.filtroFile().contains(QLatin1String("*.p7m")));

            // Only a credit note: nothing to preview, and the reason.
            f.EditFileName->setText(file(QStringLiteral("nota.xml")));
            carica(f);
            QCOMPARE(f.PageControl->currentWidget(), f.TabImpostazioni);
            QVERIFY2(
                rec->messages.value(0).startsWith(QStringLiteral(
                    "ATTENZIONE: nei file scelti non ci sono documenti emessi da importare.\n\nnota.xml: "
                    "documento N° NC/9")),
                qPrintable(rec->messages.value(0)));

            f.EditFileName->setText(QLatin1Char('"') + file(QStringLiteral("fatture.zip")) +
                                    QStringLiteral("\" \"") + file(QStringLiteral("nota.xml")) +
                                    QLatin1Char('"'));
            carica(f);
            QCOMPARE(f.PageControl->currentWidget(), f.TabPreviewFatture);
            QCOMPARE(f.StringGridFatture->model()->rowCount(), 4);
            QCOMPARE(f.StringGridFatture->model()->headerData(0, Qt::Horizontal).toString(),
                     QStringLiteral("NUMERO DOCUMENTO"));
            QCOMPARE(f.StringGridFatture->model()->index(0, 3).data().toString(), QStringLiteral("1234,50"));
            QCOMPARE(f.StringGridFatture->model()->index(3, 8).data().toString(),
                     QStringLiteral("LUCIA ZANETTI"));
            QCOMPARE(f.lista(QStringLiteral("ComboNumeroFattura"))->currentText(),
                     QStringLiteral("NUMERO DOCUMENTO"));
            QCOMPARE(f.lista(QStringLiteral("ComboModalitaPagamento"))->currentText(),
                     QStringLiteral("MODALITA PAGAMENTO"));
            QCOMPARE(f.lista(QStringLiteral("ComboNote"))->currentText(), QStringLiteral("NOTE"));
            QCoreApplication::processEvents();
            TestEnv::saveScreenshot(&f, QStringLiteral("importazione_fatture_elettroniche"));

            f.ButtonImportaFatture->click();
            waitForRun(f);
            // The bank the register lacked is added, and the summary says so.
            QCOMPARE(
                rec->messages.value(1),
                QStringLiteral("La procedura è stata terminata ma sono stati riscontrati alcuni errori.\n\n"
                               "Aggiunta all'anagrafica banche la banca BANCA DI PROVA (IBAN "
                               "IT60X0542811101000000123456) del documento N° FT/1."));
            QCOMPARE(f.PageControl->currentWidget(), f.TabErrori);
            QCOMPARE(f.MemoErrori->toPlainText(),
                     QStringLiteral("NOTA.XML: DOCUMENTO N° NC/9 DEL 31/03/2026 NON "
                                    "IMPORTATO: È UNA NOTA DI CREDITO (TD04)."));
            QCoreApplication::processEvents();
            TestEnv::saveScreenshot(&f, QStringLiteral("importazione_fatture_elettroniche_errori"));
            f.ButtonOK->click();
        }
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM t_crediti")), 4);
        QCOMPARE(
            count(QStringLiteral("SELECT COUNT(*) FROM t_crediti c JOIN t_banche b ON b.Nome = c.Banca WHERE "
                                 "b.IBAN = 'IT60X0542811101000000123456' AND c.Scadenza = '2026-06-30'")),
            1);
        QCOMPARE(
            count(QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE RagioneSociale = 'LUCIA ZANETTI' AND "
                                 "Localita = 'MILANO'")),
            1);

        TFrameImportazione g;
        choose(g.RadioGroupTipologia, 1);
        QCOMPARE(g.RadioGroupEstensione->itemIndex(), 3);
        QVERIFY(!g.RadioGroupDelimitatore->isEnabled());
        choose(g.RadioGroupTipologia, 0);
        QVERIFY(g.RadioGroupEstensione->itemIndex() != 3);
    }
};

QTEST_MAIN(TestImportFrame)
#include "tst_import_frame.moc"
