// The templates frame and the issued-documents frame as a clerk meets them: captions,
// the kind list and its texts, the unsaved-changes question, the preview; the filters,
// the sort that survives a re-read, and "Stampa" into the print preview.
#include "Comunicazioni.h"
#include "DunningData.h"
#include "Reportdocumentiemessi.h"
#include "VerificaRicevutePec.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"
#include "scadenzio/report/Letterhead.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QScrollBar>
#include <QtTest>

using dunningdata::Credito;
using sz::ui::Choice;

namespace {

QStringList numeri(sz::db::Dataset* ds)
{
    QStringList out;
    for (int i = 0; i < ds->recordCount(); ++i)
        out << ds->valueAt(i, ds->fieldIndex(QStringLiteral("NumeroFattura"))).toString();
    return out;
}

qint64 credito(sz::db::Connection& c, const char* numero, const QDate& scadenza, QList<QDate> fasi,
               const char* cliente = "ROSSI SRL")
{
    Credito k;
    k.numero = QLatin1String(numero);
    k.scadenza = scadenza;
    k.fasi = fasi;
    k.cliente = QLatin1String(cliente);
    return dunningdata::aggiungi(c, k);
}

void lettera(sz::db::Connection& c, qint64 credito, const char* numero, const char* fase, const QDateTime& quando,
             const char* cliente = "ROSSI SRL")
{
    sz::invii::Invio v;
    v.idCredito = credito;
    v.numeroFattura = QLatin1String(numero);
    v.cliente = QLatin1String(cliente);
    v.fase = QLatin1String(fase);
    v.modo = QStringLiteral("DOCUMENTO");
    v.dataOra = quando;
    v.canale = QStringLiteral("MAIL");
    v.destinatari = QStringLiteral("amministrazione@esempio.it");
    v.esito = sz::invii::Inviata;
    sz::invii::registra(c, v);
}

// "number stage" of each row of the log list, in the grid's order.
QStringList invii(sz::ui::Grid* g)
{
    QStringList out;
    for (int r = 0; r < g->model()->rowCount(); ++r)
        out << g->model()->index(r, 1).data().toString() + QLatin1Char(' ') + g->model()->index(r, 6).data().toString();
    return out;
}

// Pictures the preview dialog as the user sees it, pages painted.
void fotografa(QDialog* d, const QString& nome)
{
    d->resize(1000, 760);
    d->show();
    if (auto* w = d->findChild<QPrintPreviewWidget*>()) w->updatePreview();
    QCoreApplication::processEvents();
    TestEnv::saveScreenshot(d, nome);
}

// Replaces the box's text as typing does.
void scrivi(QLineEdit* e, const QString& testo)
{
    e->selectAll();
    QTest::keyClicks(e, testo);
}

} // namespace

class TestIssuedLettersFrame : public QObject
{
    Q_OBJECT

    TestEnv* env = nullptr;

private slots:
    void init()
    {
        env = new TestEnv;
        sz::db::Connection c(env->installDatabase());
        dunningdata::societa(c);
    }
    void cleanup()
    {
        sz::impostaOrologio({});
        delete env;
        env = nullptr;
    }

    void templatesLayoutAndKinds()
    {
        QVERIFY(TestEnv::fontsAvailable());
        {
            sz::db::Connection c(env->installDatabase());
            c.exec(QStringLiteral(
                "UPDATE t_comunicazioni SET Oggetto = 'SECONDO' WHERE Tipologia = 'SOLLECITO2'"));
        }
        TFrameComunicazioni f;
        f.resize(1100, 720);
        QCOMPARE(f.heading()->titleLabel()->text(), QStringLiteral("Comunicazioni"));
        QStringList voci;
        for (int i = 0; i < f.sComboBox1->count(); ++i)
            voci << f.sComboBox1->itemText(i);
        QCOMPARE(voci, (QStringList{"PREAVVISO", "1° SOLLECITO", "2° SOLLECITO", "3° SOLLECITO",
                                    "IN SOFFERENZA", "GENERICA"}));
        QVERIFY(!f.sComboBox1->isEditable());
        QCOMPARE(f.ADOQueryComunicazioni->value(QStringLiteral("Tipologia")).toString(),
                 QStringLiteral("PREAVVISO"));
        QVERIFY(!f.MemoIntroduzione->toPlainText().isEmpty());
        QCOMPARE(f.sButton1->text().remove(QLatin1Char('&')), QStringLiteral("Visualizza Anteprima"));
        QCOMPARE(f.EditOggetto->toolTip(),
                 QStringLiteral("Inserire l'oggetto della comunicazione selezionata"));
        // The tags a text may hold are listed, read-only, each with its explanation.
        QVERIFY(!(f.MemoCampi->textInteractionFlags() & Qt::TextEditable));
        const QStringList campi = f.MemoCampi->text().split(QLatin1Char('\n'));
        for (const char* tag : {"{{Interessi}}", "{{Indennizzo}}", "{{TotaleDovuto}}", "{{TassiApplicati}}",
                                "{{DataTermine}}", "{{NumeroFattura}}"}) {
            const auto riga = std::find_if(campi.cbegin(), campi.cend(),
                                           [&](const QString& r) { return r.startsWith(QLatin1String(tag)); });
            QVERIFY2(riga != campi.cend(), tag);
            QVERIFY(riga->section(QStringLiteral("  –  "), 1).size() > 10);
        }
        f.show();
        QVERIFY(f.MemoCampi->isVisible());
        // Every line shows, none cut off at the bottom of the box.
        QTest::qWait(20);
        QVERIFY2(f.MemoCampi->height() + 4 >= f.MemoCampi->heightForWidth(f.MemoCampi->width()),
                 qPrintable(QStringLiteral("%1 < %2").arg(f.MemoCampi->height())
                                .arg(f.MemoCampi->heightForWidth(f.MemoCampi->width()))));
        TestEnv::saveScreenshot(&f, QStringLiteral("comunicazioni"));

        f.sComboBox1->setCurrentIndex(2);
        QCOMPARE(f.ADOQueryComunicazioni->value(QStringLiteral("Tipologia")).toString(),
                 QStringLiteral("SOLLECITO2"));
        QCOMPARE(f.EditOggetto->text(), QStringLiteral("SECONDO"));
    }

    // Typing, then another kind: Annulla keeps kind and typing, No drops it, Sì saves it.
    void switchingKindAsks()
    {
        TFrameComunicazioni f;
        sz::ui::MessageRecorder rec;
        scrivi(f.EditOggetto, QStringLiteral("NUOVO OGGETTO"));
        QVERIFY(f.hasUnsavedChanges());

        rec.answerNextChoice(Choice::Cancel);
        f.sComboBox1->setCurrentIndex(1);
        QCOMPARE(rec.messages, QStringList{QStringLiteral("Salvare le modifiche?")});
        QCOMPARE(f.sComboBox1->currentIndex(), 0);
        QCOMPARE(f.EditOggetto->text(), QStringLiteral("NUOVO OGGETTO"));

        rec.answerNextChoice(Choice::No);
        f.sComboBox1->setCurrentIndex(1);
        QCOMPARE(f.ADOQueryComunicazioni->value(QStringLiteral("Tipologia")).toString(),
                 QStringLiteral("SOLLECITO1"));
        f.sComboBox1->setCurrentIndex(0);
        QVERIFY(f.EditOggetto->text() != QStringLiteral("NUOVO OGGETTO"));

        scrivi(f.EditOggetto, QStringLiteral("SALVATO"));
        rec.answerNextChoice(Choice::Yes);
        f.sComboBox1->setCurrentIndex(5);
        QCOMPARE(f.EditOggetto->text(), f.ADOQueryComunicazioni->value(QStringLiteral("Oggetto")).toString());
        f.sComboBox1->setCurrentIndex(0);
        QCOMPARE(f.EditOggetto->text(), QStringLiteral("SALVATO"));
        QVERIFY(!f.hasUnsavedChanges());
    }

    // The preview shows the saved texts, with test data, in the print preview; the
    // typing not yet saved stays in its box and out of the preview.
    void previewUsesSavedTexts()
    {
        // The frame opens on one day and previews on the next: the letter is dated the
        // day it is asked for.
        sz::impostaOrologio(QDateTime(QDate(2026, 12, 6), QTime(23, 59)));
        TFrameComunicazioni f;
        sz::impostaOrologio(QDateTime(QDate(2026, 12, 7), QTime(0, 1)));
        sz::ui::MessageRecorder rec;
        QDialog* visto = nullptr;
        rec.onDialog = [&](QDialog* d) {
            visto = d;
            QVERIFY(qobject_cast<QPrintPreviewDialog*>(d));
            fotografa(d, QStringLiteral("comunicazioni_anteprima"));
        };
        f.sComboBox1->setCurrentIndex(2);
        QString salvata = f.MemoIntroduzione->toPlainText().trimmed();
        f.MemoIntroduzione->selectAll();
        QTest::keyClicks(f.MemoIntroduzione, QStringLiteral("Testo non salvato"));
        f.sButton1->click();
        QVERIFY(visto);
        QVERIFY(rec.messages.isEmpty());
        const auto& a = f.ultimaAnteprima();
        QCOMPARE(QString(a.value(QStringLiteral("Introduzione"))).remove(QLatin1Char(13)),
                 salvata.remove(QLatin1Char(13)));
        QVERIFY(!a.value(QStringLiteral("Introduzione")).contains(QStringLiteral("non salvato")));
        QCOMPARE(a.value(QStringLiteral("NumeroFattura")), QStringLiteral("TEST"));
        QCOMPARE(a.value(QStringLiteral("LuogoData")), QStringLiteral("PADOVA, lì 07/12/2026"));
        QCOMPARE(f.MemoIntroduzione->toPlainText(), QStringLiteral("Testo non salvato"));
        QVERIFY(f.hasUnsavedChanges());
        // Nothing was written: no archive, no stage.
        QDirIterator pdf(env->home(), {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(!pdf.hasNext());

        sz::impostaOrologio(QDateTime(QDate(2027, 1, 1), QTime(8, 0)));
        f.sButton1->click();
        QCOMPARE(f.ultimaAnteprima().value(QStringLiteral("LuogoData")), QStringLiteral("PADOVA, lì 01/01/2027"));
    }

    // Lines typed in the editor are saved with the CR LF breaks the seeded texts have,
    // whatever break the editor hands over; a text not edited stays as it was.
    void editedTextsKeepCrLf()
    {
        TFrameComunicazioni f;
        sz::ui::MessageRecorder rec;
        f.sComboBox1->setCurrentIndex(1);
        const QString seme = f.ADOQueryComunicazioni->value(QStringLiteral("Finale")).toString();
        QVERIFY(seme.contains(QStringLiteral("\r\n")));
        f.MemoIntroduzione->selectAll();
        QTest::keyClicks(f.MemoIntroduzione, QStringLiteral("Gentile Cliente,"));
        QTest::keyClick(f.MemoIntroduzione, Qt::Key_Return);
        QTest::keyClicks(f.MemoIntroduzione, QStringLiteral("Le ricordiamo"));
        QTest::keyClick(f.MemoIntroduzione, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(f.MemoIntroduzione, QStringLiteral("il saldo."));
        QVERIFY(f.saveChanges());
        QVERIFY(rec.messages.isEmpty());

        sz::db::Connection c(sz::paths::LoadConnection());
        const auto r = c.query(QStringLiteral("SELECT Introduzione, Finale FROM t_comunicazioni WHERE Tipologia = "
                                              "'SOLLECITO1'"));
        QCOMPARE(r.rows[0][0].toString(), QStringLiteral("Gentile Cliente,\r\nLe ricordiamo\r\nil saldo."));
        QCOMPARE(r.rows[0][1].toString(), seme);

        // Back in the box the text reads as typed, and nothing is left to save.
        f.sComboBox1->setCurrentIndex(0);
        f.sComboBox1->setCurrentIndex(1);
        QCOMPARE(f.MemoIntroduzione->toPlainText(), QStringLiteral("Gentile Cliente,\nLe ricordiamo\nil saldo."));
        QVERIFY(!f.hasUnsavedChanges());
    }

    void issuedLayoutAndFilters()
    {
        QVERIFY(TestEnv::fontsAvailable());
        {
            sz::db::Connection c(env->installDatabase());
            credito(c, "A", QDate(2013, 2, 3), {QDate(2013, 3, 1)});
            credito(c, "B", QDate(2013, 2, 1), {QDate(2013, 3, 1), QDate(2013, 4, 1)}, "VERDI SPA");
            credito(c, "C", QDate(2013, 2, 2), {QDate(2013, 3, 10), QDate(2013, 3, 20)}, "VERDI SPA");
            credito(c, "NO", QDate(2013, 1, 1), {});
        }
        TFrameReportDocumentiEmessi f;
        f.resize(1300, 720);
        QCOMPARE(f.heading()->titleLabel()->text(), QStringLiteral("Documenti Emessi"));
        QStringList titoli;
        for (int c = 0; c < f.sDBGrid1->model()->columnCount(); ++c)
            titoli << f.sDBGrid1->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titoli, (QStringList{"Documento N°", "Data Documento", "Scadenza", "Importo", "Residuo",
                                      "Tot. Documento", "Documento Emesso", "Data Emissione", "Cliente",
                                      "Destinatario Documento", "Note"}));
        QVERIFY(f.FiltroTutte->isChecked());
        QCOMPARE(f.EditFiltroDal->maskedText(), QStringLiteral("  /  /    "));
        QCOMPARE(numeri(f.ADOQueryCrediti), (QStringList{"B", "C", "A"}));
        QCOMPARE(f.sDBGrid1->model()->index(0, 7).data().toString(), QStringLiteral("01/04/2013"));
        TestEnv::saveScreenshot(&f, QStringLiteral("documenti_emessi"));

        sz::ui::MessageRecorder rec;
        QTest::keyClicks(f.EditFiltroDal, QStringLiteral("01032013"));
        QCOMPARE(numeri(f.ADOQueryCrediti).size(), 3); // half a range
        QTest::keyClicks(f.EditFiltroAl, QStringLiteral("3103201"));
        QCOMPARE(numeri(f.ADOQueryCrediti).size(), 3); // still half-typed
        QTest::keyClicks(f.EditFiltroAl, QStringLiteral("3"));
        QCOMPARE(numeri(f.ADOQueryCrediti), (QStringList{"C", "A"}));
        f.FiltroSollecito1->click();
        QCOMPARE(numeri(f.ADOQueryCrediti), QStringList{"C"});
        f.FiltroTutte->click();
        f.EditFiltroAl->clear();
        QTest::keyClicks(f.EditFiltroAl, QStringLiteral("31022013")); // no such day
        QCOMPARE(numeri(f.ADOQueryCrediti).size(), 3);
        QVERIFY(rec.messages.isEmpty());
    }

    // "Data Emissione" twice sorts descending; a client typed afterwards re-reads in that
    // order. "Stampa" hands the rows as shown, the subject and the count to the preview.
    void sortSurvivesAndPrint()
    {
        {
            sz::db::Connection c(env->installDatabase());
            for (int i = 1; i <= 7; ++i)
                credito(c, QByteArray("R" + QByteArray::number(i)).constData(), QDate(2013, 2, 10 - i),
                        {QDate(2013, 3, i * 3)});
            credito(c, "V", QDate(2013, 2, 20), {QDate(2013, 3, 31)}, "VERDI SPA");
        }
        TFrameReportDocumentiEmessi f;
        f.resize(1300, 720);
        f.sDBGrid1->horizontalHeader()->sectionClicked(7);
        f.sDBGrid1->horizontalHeader()->sectionClicked(7);
        QCOMPARE(f.ADOQueryCrediti->sort(), QStringLiteral("DataEmissione DESC"));
        QCOMPARE(sz::issued::GORDER, sz::issued::GExprDataEmissioneORDER + QStringLiteral(" DESC"));
        QTest::keyClicks(f.EditFiltro, QStringLiteral("ross"));
        QCOMPARE(numeri(f.ADOQueryCrediti), (QStringList{"R7", "R6", "R5", "R4", "R3", "R2", "R1"}));
        QVERIFY(
            f.ADOQueryCrediti->sql().contains(sz::issued::GExprDataEmissioneORDER + QStringLiteral(" DESC")));

        QTest::keyClicks(f.EditFiltroDal, QStringLiteral("01032013"));
        QTest::keyClicks(f.EditFiltroAl, QStringLiteral("31032013"));
        sz::ui::MessageRecorder rec;
        bool mostrato = false;
        rec.onDialog = [&](QDialog* d) {
            mostrato = qobject_cast<QPrintPreviewDialog*>(d) != nullptr;
            fotografa(d, QStringLiteral("documenti_emessi_stampa"));
        };
        f.BottoneInviaPerCliente->click();
        QVERIFY(mostrato);
        const auto& s = f.ultimaStampa();
        QCOMPARE(s.value(QStringLiteral("TotaleDocumenti")), QStringLiteral("7"));
        QCOMPARE(s.value(QStringLiteral("Oggetto")),
                 QStringLiteral("Elenco documenti emessi dal 01/03/2013 al 31/03/2013 \u2013 Cliente: ross"));
        QCOMPARE(s.value(QStringLiteral("RagioneSocialeUtente")), QStringLiteral("ARTIGIANA VENETA SNC"));
        const auto righe = s.views.value(QStringLiteral("RvDataSetConnection1"));
        QCOMPARE(righe.size(), 7);
        QCOMPARE(righe.first().value(QStringLiteral("NumeroFattura")), QStringLiteral("R7"));
        QCOMPARE(righe.first().value(QStringLiteral("DataEmissione")), QStringLiteral("21/03/2013"));
        QCOMPARE(s.value(QStringLiteral("TotaleImporto")), QStringLiteral("€ 7.000,00"));
        QCOMPARE(s.value(QStringLiteral("ConteggioTipi")), QStringLiteral("Preavvisi: 7"));
        QVERIFY(rec.messages.isEmpty());
    }

    // "Apri PDF" (and a double click) on the log list opens the letter's file under the
    // data root; a file gone, one that is not a PDF, or a link to one that is not, is
    // named in a warning and not handed to the desktop.
    void openLetterPdf()
    {
        const QString radice = sz::paths::dataRoot();
        const QString cartella = QStringLiteral("Archivio/Solleciti per Fattura/Solleciti/2013-03-10");
        QVERIFY(QDir().mkpath(radice + QLatin1Char('/') + cartella));
        auto crea = [&](const QString& nome) {
            QFile f(radice + QLatin1Char('/') + nome);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("%PDF-1.4\n");
        };
        crea(cartella + QStringLiteral("/A.pdf"));
        crea(QStringLiteral("Archivio/avvia.desktop"));
        QVERIFY(QFile::link(radice + QStringLiteral("/Archivio/avvia.desktop"), radice + QStringLiteral("/Archivio/finto.pdf")));
        {
            sz::db::Connection c(env->installDatabase());
            const qint64 a = credito(c, "A", QDate(2013, 2, 3), {QDate(2013, 3, 10)});
            const QStringList files = {cartella + QStringLiteral("/A.pdf"), QStringLiteral("Archivio/manca.pdf"),
                                       QStringLiteral("Archivio/avvia.desktop"), QStringLiteral("Archivio/finto.pdf"),
                                       QString()};
            for (int i = 0; i < files.size(); ++i) {
                lettera(c, a, "A", "SOLLECITO1", QDateTime(QDate(2013, 3, 10), QTime(9, i)));
                c.exec(QStringLiteral("UPDATE t_invii SET File = :f WHERE ID = (SELECT MAX(ID) FROM t_invii)"),
                       {{QStringLiteral("f"), files[i].isEmpty() ? QVariant() : QVariant(files[i])}});
            }
        }
        TFrameReportDocumentiEmessi f;
        sz::ui::MessageRecorder rec;
        QVERIFY(!f.BottoneApriPDF->isVisibleTo(&f));
        f.RadioTutte->click();
        QVERIFY(f.BottoneApriPDF->isVisibleTo(&f));
        QCOMPARE(f.ADOQueryInvii->recordCount(), 5);

        f.ADOQueryInvii->moveTo(0);
        QVERIFY(f.BottoneApriPDF->isEnabled());
        f.BottoneApriPDF->click();
        QCOMPARE(rec.opened, QStringList{QFileInfo(radice + QLatin1Char('/') + cartella + QStringLiteral("/A.pdf"))
                                             .canonicalFilePath()});
        QVERIFY(rec.messages.isEmpty());
        emit f.GridComunicazioni->rowDoubleClicked(0);
        QCOMPARE(rec.opened.size(), 2);

        f.ADOQueryInvii->moveTo(1);
        f.BottoneApriPDF->click();
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY2(rec.messages.last().contains(QStringLiteral("non si trova più")) &&
                     rec.messages.last().contains(QStringLiteral("manca.pdf")),
                 qPrintable(rec.messages.last()));
        for (int riga : {2, 3}) {
            f.ADOQueryInvii->moveTo(riga);
            f.BottoneApriPDF->click();
            QVERIFY2(rec.messages.last().contains(QStringLiteral("non è un PDF")), qPrintable(rec.messages.last()));
        }
        QCOMPARE(rec.opened.size(), 2);
        f.ADOQueryInvii->moveTo(4);
        QVERIFY(!f.BottoneApriPDF->isEnabled());

        f.RadioUltima->click();
        QVERIFY(!f.BottoneApriPDF->isVisibleTo(&f));
    }

    // A certified letter's state in "Tutte le comunicazioni", and "Verifica ricevute PEC"
    // above the lists: what went wrong in the totals' details, and the list read again
    // afterwards, so that the receipts filed meanwhile show.
    void certifiedLetterStateAndReceiptsButton()
    {
        const QString mid = QStringLiteral("<uno@pec.ditta.it>");
        {
            sz::db::Connection c(env->installDatabase());
            const qint64 a = credito(c, "A", QDate(2013, 2, 3), {QDate(2013, 3, 1)});
            sz::invii::Invio v;
            v.idCredito = a;
            v.numeroFattura = QStringLiteral("A");
            v.cliente = QStringLiteral("ROSSI SRL");
            v.fase = QStringLiteral("PREAVVISO");
            v.modo = QStringLiteral("DOCUMENTO");
            v.dataOra = QDateTime::currentDateTime().addSecs(-600);
            v.canale = QStringLiteral("PEC");
            v.destinatari = QStringLiteral("rossi@pec.rossi.it");
            v.messageId = mid;
            v.esito = sz::invii::Inviata;
            sz::invii::registra(c, v);
            c.exec(QStringLiteral("UPDATE t_ISP SET PEC = 1, IMAP = '127.0.0.1', PortaIMAP = :P"),
                   {{QStringLiteral("P"), QString::number(TestEnv::freeLocalPort())}});
        }
        TFrameReportDocumentiEmessi f;
        f.resize(1300, 720);
        f.show();
        f.RadioTutte->click();
        const auto statoPec = [&] {
            QAbstractItemModel* m = f.GridComunicazioni->model();
            for (int col = 0; col < m->columnCount(); ++col)
                if (m->headerData(col, Qt::Horizontal).toString() == QLatin1String("Stato PEC"))
                    return m->index(0, col).data().toString();
            return QStringLiteral("(nessuna colonna)");
        };
        QCOMPARE(statoPec(), QStringLiteral("In attesa"));
        auto* bottone = f.findChild<QPushButton*>(QStringLiteral("BottoneVerificaRicevutePEC"));
        QVERIFY(bottone && bottone->isVisible());
        TestEnv::saveScreenshot(&f, QStringLiteral("documenti_emessi_stato_pec"));

        sz::ui::MessageRecorder rec;
        QString totali, dettagli;
        rec.onDialog = [&](QDialog* d) {
            auto* box = qobject_cast<QMessageBox*>(d);
            if (!box)
                return;
            if (box->objectName() == QLatin1String("DomandaRicevutePEC")) {
                // Meanwhile the acceptance receipt is filed (as by the command line).
                sz::db::Connection(sz::paths::LoadConnection())
                    .exec(QStringLiteral("INSERT INTO t_ricevute (MessageID, Tipo, Destinatario, DataOra, Gestore, "
                                         "Errore, ErroreEsteso, Identificativo, File, Letta) VALUES (:M, "
                                         "'accettazione', '', :D, 'GESTORE', 'nessuno', '', 'id1', 'x.eml', :D)"),
                          {{QStringLiteral("M"), mid},
                           {QStringLiteral("D"),
                            QDateTime::currentDateTime().addSecs(-590).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
                box->findChild<QPushButton*>(QStringLiteral("BottoneLeggiCasellaPEC"))->click();
            } else if (box->objectName() == QLatin1String("EsitoRicevutePEC")) {
                totali = box->text();
                dettagli = box->detailedText();
            }
        };
        bottone->click();
        QVERIFY2(totali.startsWith(QStringLiteral("Messaggi letti: 0;")), qPrintable(totali));
        QVERIFY2(dettagli.startsWith(QStringLiteral("ATTENZIONE: ")), qPrintable(dettagli));
        QCOMPARE(statoPec(), QStringLiteral("Accettata"));
        QCOMPARE(f.LabelTotale->text(), QStringLiteral("Righe: 1"));

        // The receipt's file is gone: the clerk is told where it was looked for, nothing opens.
        auto* apriRicevuta = f.findChild<QPushButton*>(QStringLiteral("BottoneApriRicevuta"));
        QVERIFY(apriRicevuta && apriRicevuta->isVisible() && apriRicevuta->isEnabled());
        rec.onDialog = {};
        rec.messages.clear();
        apriRicevuta->click();
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY2(rec.messages[0].contains(QStringLiteral("non si trova più")), qPrintable(rec.messages[0]));
        QVERIFY(rec.opened.isEmpty());

        // A day after the acceptance with no delivery receipt, the count under the list says so.
        sz::db::Connection(sz::paths::LoadConnection())
            .exec(QStringLiteral("UPDATE t_ricevute SET DataOra = :D"),
                  {{QStringLiteral("D"),
                    QDateTime::currentDateTime().addDays(-2).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        f.GestisciFiltro();
        QVERIFY2(f.LabelTotale->text().contains(QStringLiteral("PEC da controllare: 1")), qPrintable(f.LabelTotale->text()));
        QVERIFY(statoPec().contains(QStringLiteral("24 ore")));

        // Files chosen in the window: an ordinary mail is left alone, a missing file is a
        // line of its own; the totals count both.
        QFile posta(env->home() + QStringLiteral("/posta.eml"));
        QVERIFY(posta.open(QIODevice::WriteOnly));
        posta.write("From: a@b.it\r\nSubject: ciao\r\n\r\nciao\r\n");
        posta.close();
        sz::db::Connection c(sz::paths::LoadConnection());
        const sz::pec::TotaliRicevute t =
            sz::pec::ricevuteDaFile(c, {posta.fileName(), env->home() + QStringLiteral("/manca.eml")});
        QVERIFY2(t.testo().startsWith(QStringLiteral("Messaggi letti: 2; ricevute registrate: 0; già registrate: 0; ")),
                 qPrintable(t.testo()));
        QVERIFY(t.testo().endsWith(QStringLiteral("altri messaggi lasciati com'erano: 1; ricevute illeggibili: 1")));
        QCOMPARE(t.errori, QStringList{QStringLiteral("ATTENZIONE: manca.eml: il file non esiste o non si può leggere.")});
    }

    // "Tutte le comunicazioni": the log under the same filters, its own columns and order,
    // the count under the grid, the print and "Esporta…" of the list shown.
    void everyLetterList()
    {
        QVERIFY(TestEnv::fontsAvailable());
        {
            sz::db::Connection c(env->installDatabase());
            const qint64 a = credito(c, "A", QDate(2013, 2, 3), {QDate(2013, 3, 1), QDate(2013, 3, 10)});
            const qint64 b = credito(c, "B", QDate(2013, 1, 1), {QDate(2013, 2, 1), QDate(2013, 2, 10),
                                                                 QDate(2013, 2, 20), QDate(2013, 3, 1)},
                                     "VERDI SPA");
            const qint64 k = credito(c, "C", QDate(2013, 2, 2), {QDate(2013, 4, 2)});
            lettera(c, a, "A", "PREAVVISO", QDateTime(QDate(2013, 3, 1), QTime(9, 0)));
            lettera(c, a, "A", "SOLLECITO1", QDateTime(QDate(2013, 3, 10), QTime(15, 30)));
            lettera(c, b, "B", "IN SOFFERENZA", QDateTime(QDate(2013, 3, 20), QTime(11, 0)), "VERDI SPA");
            lettera(c, k, "C", "PREAVVISO", QDateTime(QDate(2013, 4, 2), QTime(8, 45)));
        }
        TFrameReportDocumentiEmessi f;
        f.resize(1300, 720);
        sz::ui::MessageRecorder rec;
        const auto scelte = f.RadioElenco->findChildren<QRadioButton*>();
        QCOMPARE(scelte.size(), 2);
        QCOMPARE(scelte[0]->text(), QStringLiteral("Ultima comunicazione"));
        QCOMPARE(scelte[1]->text(), QStringLiteral("Tutte le comunicazioni"));
        QVERIFY(f.RadioUltima->isChecked());
        QCOMPARE(f.LabelTotale->text(), QStringLiteral("Righe: 3"));
        QCOMPARE(f.grigliaMostrata(), f.sDBGrid1);

        f.RadioTutte->click();
        QCOMPARE(f.grigliaMostrata(), f.GridComunicazioni);
        QStringList titoli;
        for (int c = 0; c < f.GridComunicazioni->model()->columnCount(); ++c)
            titoli << f.GridComunicazioni->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titoli, (QStringList{"Data e ora", "Documento N°", "Data Documento", "Scadenza", "Importo", "Residuo",
                                      "Comunicazione", "Modo", "Canale", "Esito", "Stato PEC", "Cliente", "Destinatari"}));
        QCOMPARE(invii(f.GridComunicazioni),
                 (QStringList{"A PREAVVISO", "A 1° SOLLECITO", "B IN SOFFERENZA", "C PREAVVISO"}));
        QCOMPARE(f.LabelTotale->text(), QStringLiteral("Righe: 4"));
        QCOMPARE(f.GridComunicazioni->model()->index(1, 0).data().toString(), QStringLiteral("10/03/2013 15:30"));
        QCOMPARE(f.GridComunicazioni->model()->index(1, 4).data().toString(), QStringLiteral("€ 1.000,00"));
        QCOMPARE(f.GridComunicazioni->model()->index(1, 9).data().toString(), QStringLiteral("INVIATA"));

        // The filters of the row above apply to the log as they are.
        f.FiltroPreavviso->click();
        QCOMPARE(invii(f.GridComunicazioni), (QStringList{"A PREAVVISO", "C PREAVVISO"}));
        QCOMPARE(f.LabelTotale->text(), QStringLiteral("Righe: 2"));
        f.FiltroTutte->click();
        QTest::keyClicks(f.EditFiltroDal, QStringLiteral("01032013"));
        QTest::keyClicks(f.EditFiltroAl, QStringLiteral("31032013"));
        QCOMPARE(invii(f.GridComunicazioni), (QStringList{"A PREAVVISO", "A 1° SOLLECITO", "B IN SOFFERENZA"}));
        TestEnv::saveScreenshot(&f, QStringLiteral("documenti_emessi_comunicazioni"));

        // "Data e ora" twice: newest first by the time of day too, kept by the next re-read.
        f.GridComunicazioni->horizontalHeader()->sectionClicked(0);
        f.GridComunicazioni->horizontalHeader()->sectionClicked(0);
        QCOMPARE(f.ADOQueryInvii->sort(), QStringLiteral("DataOraOrdine DESC"));
        QCOMPARE(invii(f.GridComunicazioni), (QStringList{"B IN SOFFERENZA", "A 1° SOLLECITO", "A PREAVVISO"}));
        QTest::keyClicks(f.EditFiltro, QStringLiteral("ross"));
        QCOMPARE(invii(f.GridComunicazioni), (QStringList{"A 1° SOLLECITO", "A PREAVVISO"}));
        QVERIFY(f.ADOQueryInvii->sql().contains(QStringLiteral("ORDER BY i.DataOra DESC")));
        f.GridComunicazioni->horizontalHeader()->sectionClicked(0);
        QCOMPARE(invii(f.GridComunicazioni), (QStringList{"A PREAVVISO", "A 1° SOLLECITO"}));

        bool mostrato = false;
        rec.onDialog = [&](QDialog* d) {
            mostrato = qobject_cast<QPrintPreviewDialog*>(d) != nullptr;
            fotografa(d, QStringLiteral("documenti_emessi_comunicazioni_stampa"));
        };
        f.BottoneInviaPerCliente->click();
        QVERIFY(mostrato);
        const auto& s = f.ultimaStampa();
        QCOMPARE(s.value(QStringLiteral("Oggetto")),
                 QStringLiteral("Elenco comunicazioni dal 01/03/2013 al 31/03/2013 \u2013 Cliente: ross"));
        QCOMPARE(s.views.value(QStringLiteral("RvDataSetConnection2")).size(), 2);
        QCOMPARE(s.value(QStringLiteral("TotaleDocumenti")), QStringLiteral("2"));
        // Two letters to one credit: its amount once.
        QCOMPARE(s.value(QStringLiteral("TotaleImporto")), QStringLiteral("€ 1.000,00"));
        QCOMPARE(s.value(QStringLiteral("ConteggioTipi")), QStringLiteral("Preavvisi: 1 \u2013 1° Solleciti: 1"));

        // "Esporta…" writes the list shown, in its order.
        const QString file = env->home() + QStringLiteral("/comunicazioni.csv");
        sz::ui::impostaSceltaFileEsportazione([&](const QString&, QString*) { return file; });
        f.BottoneEsporta->click();
        QCOMPARE(f.BottoneEsporta->objectName(), QStringLiteral("BottoneEsporta"));
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList linee =
            QString::fromUtf8(csv.readAll().mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(linee.size(), 3);
        QVERIFY(linee[0].startsWith(QStringLiteral("Data e ora;Documento N°")));
        QVERIFY2(linee[1].startsWith(QStringLiteral("01/03/2013 09:00")), qPrintable(linee[1]));

        // Back to the latest letters: that list, read with the filters as they are now.
        f.RadioUltima->click();
        QCOMPARE(f.grigliaMostrata(), f.sDBGrid1);
        QCOMPARE(numeri(f.ADOQueryCrediti), QStringList{"A"});
        QCOMPARE(f.LabelTotale->text(), QStringLiteral("Righe: 1"));
        f.BottoneEsporta->click();
        csv.close();
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(csv.readAll()).contains(QStringLiteral("Documento N°;Data Documento")));
        sz::ui::impostaSceltaFileEsportazione({});
    }
};

QTEST_MAIN(TestIssuedLettersFrame)
#include "tst_issued_letters_frame.moc"
