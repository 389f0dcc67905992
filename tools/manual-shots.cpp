// Pictures of the program's pages for the user manual, taken from the real main window
// at build time, so the manual never shows a page that no longer looks like that.
//
//   scadenzio-manual-shots CLI OUTPUT_FOLDER
//
// Runs offscreen in a temporary home of its own: the command-line tool given as CLI
// prepares the database there and fills it with the demo data, then each menu command is
// chosen as a user would and the window is written to OUTPUT_FOLDER/<name>.png.
// The executable must lie in a program folder (Bpl/, Config/, RaveReport/, Logo/ beside
// it), as the program itself does.
#include "MainWindow.h"
#include "scadenzio/Database.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <functional>

namespace {

QTextStream err(stderr);

// A page of the window is ready once queued work (lists read on a timer, charts laid out)
// has run.
void settle(int ms = 150)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Runs the command-line tool; an exit code outside accepted fails the pictures.
bool runCli(const QString& cli, const QStringList& args, const QList<int>& accepted = {0})
{
    QProcess p;
    // What it says is only of interest when it fails.
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(cli, args);
    const bool finished = p.waitForFinished(300000);
    if (!finished || p.exitStatus() != QProcess::NormalExit || !accepted.contains(p.exitCode())) {
        err << QString::fromUtf8(p.readAll());
        err << "scadenzio-manual-shots: scadenzio-cli " << args.join(QLatin1Char(' ')) << " non riuscito\n";
        err.flush();
        return false;
    }
    return true;
}

template <typename T>
T* child(QWidget* root, const char* name)
{
    return root ? root->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

// The column of a list by its title, -1 when absent.
int column(QTableView* grid, const QString& title)
{
    QAbstractItemModel* m = grid->model();
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal).toString() == title)
            return c;
    return -1;
}

// Opens the first row for which accept is true with a double click, as the user opens a
// row for editing; false when no row qualifies.
bool openRow(QTableView* grid, const std::function<bool(QAbstractItemModel*, int)>& accept)
{
    if (!grid)
        return false;
    QAbstractItemModel* m = grid->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        if (!accept(m, r))
            continue;
        const QModelIndex i = m->index(r, 0);
        grid->scrollTo(i);
        grid->setCurrentIndex(i);
        settle(50);
        const QPoint at = grid->visualRect(i).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        settle();
        return true;
    }
    return false;
}

QString cell(QAbstractItemModel* m, int row, int col)
{
    return col < 0 ? QString() : m->index(row, col).data().toString();
}

// An electronic invoice of the demo firm to a new customer, with three instalments, as an
// invoicing program writes it.
QByteArray fatturaDemo(const QString& iva, const QString& ditta, const QString& iban, const QDate& data)
{
    auto e = [](const QString& t) { return t.toHtmlEscaped(); };
    QString rate;
    const char* importi[] = {"1403.00", "1403.00", "1403.40"};
    for (int i = 0; i < 3; ++i)
        rate += QStringLiteral("<DettaglioPagamento><ModalitaPagamento>MP12</ModalitaPagamento>"
                               "<DataScadenzaPagamento>%1</DataScadenzaPagamento><ImportoPagamento>%2</ImportoPagamento>"
                               "<IBAN>%3</IBAN></DettaglioPagamento>")
                    .arg(data.addDays(30 * (i + 1)).toString(Qt::ISODate), QString::fromLatin1(importi[i]), e(iban));
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<p:FatturaElettronica versione=\"FPR12\" "
               "xmlns:p=\"http://ivaservizi.agenziaentrate.gov.it/docs/xsd/fatture/v1.2\">"
               "<FatturaElettronicaHeader><DatiTrasmissione><IdTrasmittente><IdPaese>IT</IdPaese>"
               "<IdCodice>%1</IdCodice></IdTrasmittente><ProgressivoInvio>00042</ProgressivoInvio>"
               "<FormatoTrasmissione>FPR12</FormatoTrasmissione><CodiceDestinatario>M5UXCR1</CodiceDestinatario>"
               "</DatiTrasmissione><CedentePrestatore><DatiAnagrafici><IdFiscaleIVA><IdPaese>IT</IdPaese>"
               "<IdCodice>%1</IdCodice></IdFiscaleIVA><Anagrafica><Denominazione>%2</Denominazione></Anagrafica>"
               "<RegimeFiscale>RF01</RegimeFiscale></DatiAnagrafici><Sede><Indirizzo>Via dell'Industria 12</Indirizzo>"
               "<CAP>40138</CAP><Comune>Bologna</Comune><Provincia>BO</Provincia><Nazione>IT</Nazione></Sede>"
               "</CedentePrestatore><CessionarioCommittente><DatiAnagrafici><IdFiscaleIVA><IdPaese>IT</IdPaese>"
               "<IdCodice>02468135790</IdCodice></IdFiscaleIVA><Anagrafica><Denominazione>Albergo Belvedere S.r.l."
               "</Denominazione></Anagrafica></DatiAnagrafici><Sede><Indirizzo>Viale Ceccarini</Indirizzo>"
               "<NumeroCivico>88</NumeroCivico><CAP>47838</CAP><Comune>Riccione</Comune><Provincia>RN</Provincia>"
               "<Nazione>IT</Nazione></Sede></CessionarioCommittente></FatturaElettronicaHeader>"
               "<FatturaElettronicaBody><DatiGenerali><DatiGeneraliDocumento><TipoDocumento>TD01</TipoDocumento>"
               "<Divisa>EUR</Divisa><Data>%3</Data><Numero>%4</Numero>"
               "<ImportoTotaleDocumento>4209.40</ImportoTotaleDocumento></DatiGeneraliDocumento></DatiGenerali>"
               "<DatiBeniServizi><DettaglioLinee><NumeroLinea>1</NumeroLinea><Descrizione>Arredi per sala "
               "colazioni</Descrizione><PrezzoUnitario>3450.33</PrezzoUnitario><PrezzoTotale>3450.33</PrezzoTotale>"
               "<AliquotaIVA>22.00</AliquotaIVA></DettaglioLinee><DatiRiepilogo><AliquotaIVA>22.00</AliquotaIVA>"
               "<ImponibileImporto>3450.33</ImponibileImporto><Imposta>759.07</Imposta>"
               "<EsigibilitaIVA>I</EsigibilitaIVA></DatiRiepilogo></DatiBeniServizi><DatiPagamento>"
               "<CondizioniPagamento>TP01</CondizioniPagamento>%5</DatiPagamento></FatturaElettronicaBody>"
               "</p:FatturaElettronica>\n")
        .arg(e(iva), e(ditta), data.toString(Qt::ISODate), QStringLiteral("FE/%1/0042").arg(data.year()), rate)
        .toUtf8();
}

class Shots
{
public:
    explicit Shots(QString folder) : m_folder(std::move(folder)) {}

    // The widget whole, or the part of it in area.
    void save(QWidget* w, const QString& name, const QRect& area = QRect(QPoint(0, 0), QSize(-1, -1)))
    {
        settle();
        const QString file = m_folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!w->grab(area).save(file, "PNG")) {
            err << "scadenzio-manual-shots: impossibile scrivere " << file << '\n';
            m_failed = true;
        }
    }
    void fail(const QString& what)
    {
        err << "scadenzio-manual-shots: " << what << '\n';
        m_failed = true;
    }
    bool failed() const { return m_failed; }

private:
    QString m_folder;
    bool m_failed = false;
};

const QSize kWindow(1200, 840);

} // namespace

int main(int argc, char** argv)
{
    // A window that waits for a person would hold the build for ever: after ten minutes
    // (a few seconds is usual, a sanitized build is slower) the build fails instead.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::minutes(10));
        std::fputs("scadenzio-manual-shots: nessuna risposta dopo 10 minuti (una finestra in attesa?)\n", stderr);
        std::_Exit(1);
    }).detach();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The pictures show an Italian desktop whatever the build machine's language.
    qputenv("LANG", "it_IT.UTF-8");
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/share")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path() + QStringLiteral("/run")));
    // No session bus: nothing done here may reach the build machine's desktop (the daily
    // run's notification) or its user manager.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    QDir().mkpath(home.path() + QStringLiteral("/Documenti"));
    QDir().mkpath(home.path() + QStringLiteral("/run"));
    QFile::setPermissions(home.path() + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile dirs(home.path() + QStringLiteral("/.config/user-dirs.dirs"));
    QDir().mkpath(home.path() + QStringLiteral("/.config"));
    if (dirs.open(QIODevice::WriteOnly)) {
        dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Documenti\"\n");
        dirs.close();
    }

    sz::ui::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Scadenzio"));
    if (argc != 3) {
        err << "uso: scadenzio-manual-shots SCADENZIO-CLI CARTELLA\n";
        return 2;
    }
    const QString cli = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    sz::ui::loadItalianTranslations();
    sz::ui::applyLook();
    sz::ui::MessageRecorder quiet; // no box may wait for a person
    quiet.onDialog = [](QDialog*) {};
    sz::ui::setRestartHook([] {});
    Shots shots(out);

    if (!runCli(cli, {QStringLiteral("upgrade")}))
        return 1;

    // The first start: the company is still to be entered.
    {
        TFormMain w;
        w.resize(kWindow);
        w.show();
        settle(400);
        shots.save(&w, QStringLiteral("inizializzazione"));
    }

    if (!runCli(cli, {QStringLiteral("demo")}))
        return 1;

    // The daily run scheduled as an office has it. The user manager is a stand-in that
    // answers as systemd does for a timer that is on, so the build machine's own is never
    // touched: next start tomorrow, last one this morning.
    {
        const QDate oggi = QDate::currentDate();
        const qint64 prossimo = QDateTime(oggi.addDays(1), QTime(8, 32, 41)).toSecsSinceEpoch();
        const qint64 ultimo = QDateTime(oggi, QTime(8, 33, 5)).toSecsSinceEpoch();
        const QString systemctl = home.path() + QStringLiteral("/systemctl");
        QFile f(systemctl);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(QStringLiteral("#!/bin/sh\n"
                               "case \"$*\" in\n"
                               "  *--property=Version*) echo Version=252;;\n"
                               "  *--property=UnitFileState*) printf 'UnitFileState=enabled\\nActiveState=active\\n"
                               "NextElapseUSecRealtime=@%1\\nLastTriggerUSec=@%2\\n';;\n"
                               "esac\n"
                               "exit 0\n")
                    .arg(prossimo)
                    .arg(ultimo)
                    .toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("SZ_SYSTEMCTL", QFile::encodeName(systemctl));
        qputenv("SZ_CLI", QFile::encodeName(cli));
        if (!runCli(cli, {QStringLiteral("schedule"), QStringLiteral("install"), QStringLiteral("--at"),
                          QStringLiteral("08:30")}))
            return 1;
    }

    {
    TFormMain w;
    w.resize(kWindow);
    w.show();
    settle(400);
    // A word about earlier daily runs belongs to a real office's morning, not to every picture.
    if (QWidget* bar = w.invioAutomaticoNotice())
        bar->hide();
    shots.save(&w, QStringLiteral("statistiche"));

    // The dunning lists, per document, where interest and spacing show.
    w.runCommand(QStringLiteral("Crediti - Solleciti"));
    settle(300);
    if (auto* tabs = child<QTabWidget>(w.currentFrame(), "sPageControl1")) {
        tabs->setCurrentIndex(1);
        settle(300);
    }
    shots.save(&w, QStringLiteral("solleciti"));

    // For the next picture the firm asks for late-payment interest, as its profile allows: the
    // lists gain their columns, and a half-year whose rate is not yet entered says so.
    if (!runCli(cli, {QStringLiteral("sql"), QStringLiteral("UPDATE t_societa SET InteressiMora = 1, Indennizzo40 = 1")}))
        return 1;
    w.runCommand(QStringLiteral("Crediti - Solleciti"));
    settle(300);
    if (auto* tabs = child<QTabWidget>(w.currentFrame(), "sPageControl1")) {
        tabs->setCurrentIndex(1);
        settle(300);
    }
    if (auto* grid = child<QTableView>(w.currentFrame(), "sDBGrid1")) {
        // The interest columns are at the end of the row: the list is shown scrolled to them.
        const int c = column(grid, QStringLiteral("Interessi"));
        if (c < 0)
            shots.fail(QStringLiteral("colonna Interessi assente con gli interessi di mora attivi"));
        else
            grid->scrollTo(grid->model()->index(0, grid->model()->columnCount() - 1));
    }
    shots.save(&w, QStringLiteral("solleciti_interessi"));
    // The other pictures show the firm as the demo made it, without the missing rate's line.
    if (!runCli(cli, {QStringLiteral("sql"), QStringLiteral("UPDATE t_societa SET InteressiMora = 0, Indennizzo40 = 0")}))
        return 1;

    // A credit that has had letters: its history of letters and its suspension.
    w.runCommand(QStringLiteral("Crediti - Registrazione"));
    settle(300);
    {
        QWidget* f = w.currentFrame();
        shots.save(&w, QStringLiteral("crediti_elenco"));
        // The credit with the longest history of letters, mailed ones first.
        QString numero, scadenza;
        try {
            const auto conn = sz::db::Connection::openDefault();
            const auto r = conn->query(QStringLiteral(
                "SELECT c.NumeroFattura, c.Scadenza FROM t_crediti c JOIN t_invii i ON i.IDCredito = c.ID "
                "GROUP BY c.ID, c.NumeroFattura, c.Scadenza "
                "ORDER BY COUNT(DISTINCT i.Canale) DESC, COUNT(*) DESC, c.ID LIMIT 1"));
            if (!r.isEmpty()) {
                numero = r.value(0, QStringLiteral("NumeroFattura")).toString();
                scadenza = QDate::fromString(r.value(0, QStringLiteral("Scadenza")).toString().left(10), Qt::ISODate)
                               .toString(QStringLiteral("dd/MM/yyyy"));
            }
        } catch (const sz::Error& e) {
            shots.fail(e.message());
        }
        auto* grid = child<QTableView>(f, "sDBGrid1");
        const int colNumero = grid ? column(grid, QStringLiteral("Documento N°")) : -1;
        const int colScadenza = grid ? column(grid, QStringLiteral("Scadenza")) : -1;
        const bool opened = !numero.isEmpty() && openRow(grid, [&](QAbstractItemModel* m, int r) {
            return cell(m, r, colNumero) == numero && cell(m, r, colScadenza) == scadenza;
        });
        if (!opened)
            shots.fail(QStringLiteral("nessun credito con lettere nei dati dimostrativi"));
        if (auto* tabs = child<QTabWidget>(f, "TabDocumento"))
            tabs->setCurrentIndex(1);
        shots.save(&w, QStringLiteral("crediti_storico"));
    }

    // A suspended client.
    w.runCommand(QStringLiteral("Anagrafiche - Clienti"));
    settle(300);
    {
        QWidget* f = w.currentFrame();
        if (auto* only = child<QCheckBox>(f, "CheckSoloSospesi"))
            only->click();
        settle();
        auto* grid = child<QTableView>(f, "sDBGrid1");
        if (!openRow(grid, [](QAbstractItemModel*, int) { return true; }))
            shots.fail(QStringLiteral("nessun cliente sospeso nei dati dimostrativi"));
        shots.save(&w, QStringLiteral("clienti_sospeso"));
    }

    w.runCommand(QStringLiteral("Impostazioni - Parametri globali"));
    settle(300);
    shots.save(&w, QStringLiteral("parametri"));

    w.runCommand(QStringLiteral("Anagrafiche - Utente"));
    settle(300);
    shots.save(&w, QStringLiteral("utente"));

    w.runCommand(QStringLiteral("Impostazioni - Tassi di interesse"));
    settle(300);
    shots.save(&w, QStringLiteral("tassi"));

    w.runCommand(QStringLiteral("Strumenti - Importazione dati"));
    settle(300);
    {
        QWidget* f = w.currentFrame();
        // Electronic invoices are documents: the kind of data first, then the kind of file.
        const QList<QRadioButton*> radios = f ? f->findChildren<QRadioButton*>() : QList<QRadioButton*>();
        for (const char* text : {"Documenti emessi", "Fattura elettronica"})
            for (QRadioButton* b : radios)
                if (b->text().startsWith(QString::fromUtf8(text)))
                    b->click();
        shots.save(&w, QStringLiteral("importazione"));

        // One invoice of the firm loaded into the preview, not imported.
        QString iva, ditta, iban;
        try {
            const auto conn = sz::db::Connection::openDefault();
            const auto societa = conn->query(QStringLiteral("SELECT IVA, RagioneSociale FROM t_societa ORDER BY ID"));
            const auto banca = conn->query(QStringLiteral("SELECT IBAN FROM t_banche WHERE IBAN <> '' ORDER BY ID"));
            if (!societa.isEmpty()) {
                iva = societa.value(0, QStringLiteral("IVA")).toString();
                ditta = societa.value(0, QStringLiteral("RagioneSociale")).toString();
            }
            if (!banca.isEmpty())
                iban = banca.value(0, QStringLiteral("IBAN")).toString();
        } catch (const sz::Error& e) {
            shots.fail(e.message());
        }
        const QString file = home.path() + QStringLiteral("/Documenti/IT") + iva + QStringLiteral("_00042.xml");
        QFile xml(file);
        if (xml.open(QIODevice::WriteOnly)) {
            xml.write(fatturaDemo(iva, ditta, iban, QDate::currentDate().addDays(-12)));
            xml.close();
        }
        auto* nome = child<QLineEdit>(f, "EditFileName");
        auto* carica = child<QPushButton>(f, "ButtonCarica");
        auto* anteprima = child<QWidget>(f, "TabPreviewFatture");
        if (!nome || !carica || !anteprima) {
            shots.fail(QStringLiteral("pagina dell'importazione cambiata"));
        } else {
            nome->setText(file);
            carica->click();
            // The file is read on a thread of its own; the preview page shows when it is done.
            QElapsedTimer attesa;
            attesa.start();
            while (!anteprima->isVisible() && attesa.elapsed() < 30000)
                settle(100);
            settle(300);
            if (!anteprima->isVisible())
                shots.fail(QStringLiteral("la fattura elettronica non è stata caricata: ") + quiet.messages.join(QLatin1Char(' ')));
            shots.save(&w, QStringLiteral("importazione_anteprima"));
        }
    }

    w.runCommand(QStringLiteral("Report - Documenti emessi"));
    settle(300);
    {
        QWidget* f = w.currentFrame();
        if (auto* all = child<QRadioButton>(f, "RadioTutte"))
            all->click();
        settle(300);
        shots.save(&w, QStringLiteral("documenti_emessi"));
    }

    // The mail settings last: the certified-mail box is ticked to show what it asks, and
    // nothing here is ever saved. The groups below the fold are pictured on their own.
    w.runCommand(QStringLiteral("Impostazioni - Email e Connessione"));
    settle(300);
    {
        QWidget* f = w.currentFrame();
        shots.save(&w, QStringLiteral("email"));
        if (auto* pec = child<QCheckBox>(f, "CheckBoxPEC"); pec && !pec->isChecked())
            pec->click();
        if (auto* group = child<QWidget>(f, "GroupPEC"))
            shots.save(group, QStringLiteral("email_pec"));
        else
            shots.fail(QStringLiteral("riquadro della posta certificata non trovato"));
        if (auto* group = child<QWidget>(f, "GroupInvioAutomatico"))
            shots.save(group, QStringLiteral("invio_automatico"));
        else
            shots.fail(QStringLiteral("riquadro dell'invio automatico non trovato"));
    }
    }

    // The next morning of an office whose daily run could not mail its letters (no outgoing
    // server yet): the main window says so once, above the first page.
    if (!runCli(cli, {QStringLiteral("dunning"), QStringLiteral("run"), QStringLiteral("--timer")}, {0, 1}))
        return 1;
    {
        TFormMain w;
        w.resize(kWindow);
        w.show();
        settle(400);
        if (!w.invioAutomaticoNotice())
            shots.fail(QStringLiteral("nessun avviso dell'invio automatico dopo un invio con errori"));
        // The bar and the page's title beneath it.
        QWidget* bar = w.invioAutomaticoNotice();
        const int foot = bar ? bar->mapTo(&w, QPoint(0, bar->height())).y() : 0;
        shots.save(&w, QStringLiteral("avviso_invio"), QRect(0, 0, w.width(), foot + 80));
    }

    return shots.failed() ? 1 : 0;
}
