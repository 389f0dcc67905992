#include "Solleciti.h"

#include "ErroriForm.h"
#include "VerificaRicevutePec.h"

#include "scadenzio/DatasetModel.h"
#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Interessi.h"
#include "scadenzio/InteressiElenco.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QThread>
#include <QToolButton>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>

SZ_REGISTER_FRAME(TFrameSolleciti);

using sz::db::Dataset;
using sz::ui::Navigator;
using namespace sz::dunning;

namespace {

const QString TabFatture = QStringLiteral("TabFatture");
const QString TabClienti = QStringLiteral("TabClienti");

const int larghezze[] = {110, 115, 90, 90, 95, 95, 95, 210, 190, 160, 100, 100, 100, 115, 110, 130};

int larghezza(const QString& campo)
{
    if (campo == sz::interessi::ColonnaInteressi)
        return 100;
    if (campo == sz::interessi::ColonnaTotaleDovuto)
        return 115;
    const auto& base = colonneLista();
    for (int c = 0; c < base.size() && c < int(std::size(larghezze)); ++c)
        if (base[c].first == campo)
            return larghezze[c];
    return 100;
}

bool colonnaImporto(const QString& campo)
{
    static const QStringList importi = {QStringLiteral("ImportoParziale"), QStringLiteral("ImportoIncassato"),
                                        QStringLiteral("ImportoResiduo"), QStringLiteral("TotaleFattura"),
                                        sz::interessi::ColonnaInteressi, sz::interessi::ColonnaTotaleDovuto};
    return importi.contains(campo);
}

} // namespace

// One run of letters on a worker thread: its own connection, no widget touched. The
// frame reads its progress while it runs and its outcome once it ended. The letters are
// painted there too: text documents are reentrant, a painter may draw on a PDF writer in
// any thread and fonts render outside the window's thread; the report engine holds its
// pictures as QImage (never QPixmap) and guards its caches.
struct TFrameSolleciti::Corsa
{
    std::atomic_bool annulla{false}; // Annulla: no next letter, and the mail on its way stops
    std::atomic<int> fatti{0};
    EsitoRun esito;
    QThread* thread = nullptr;
};

// ---- construction ----------------------------------------------------------------------

TFrameSolleciti::TFrameSolleciti(QWidget* parent)
try : sz
    ::ui::ModuleFrame(
        QStringLiteral("Solleciti"),
        QStringLiteral("Permette di visualizzare i solleciti da effettuare fornendo la possibilità di inviare "
                       "direttamente le comunicazioni via mail ai Clienti oppure di stamparli per spedirli a mezzo "
                       "posta o fax.\n"
                       "Selezionare le righe interessate riportate nella tabella sottostante e cliccare il bottone "
                       "\"Stampa\" o \"Invia\".\n\n"
                       "Suggerimenti di selezione:\n"
                       "- Tenere premuto il tasto [Ctrl] della tastiera e cliccare sulla riga interessata per "
                       "effettuare selezioni multiple.\n"
                       "- Cliccare col tasto destro del mouse sulla tabella sottostante per aprire il menu e "
                       "selezionare tutte le righe in modo automatico."),
        parent),
    m_oggi(sz::oggi())
    {
        setObjectName(QStringLiteral("FrameSolleciti"));
        // The module is loaded afresh for every frame; one built again in the same process
        // (tests) starts unfiltered and with an empty error list as well.
        GFiltroStato.clear();
        GFiltroScadenza.clear();
        GFiltroEdit.clear();
        GListaErrori.clear();
        GConInteressi = sz::interessi::leggiImpostazioni(connection()).interessi;

        ADOQueryCrediti = new Dataset(connection(), QString(), this);
        ADOQueryCrediti->setObjectName(QStringLiteral("ADOQueryCrediti"));
        ADOQueryCreditiPerCliente = new Dataset(connection(), QString(), this);
        ADOQueryCreditiPerCliente->setObjectName(QStringLiteral("ADOQueryCreditiPerCliente"));
        if (GConInteressi) {
            // Interest to today, counted on every read of either list.
            auto conInteressi = [this](sz::db::Result& r) {
                m_interessiMancanti = sz::interessi::aggiungiColonne(connection(), r, m_oggi).messaggio;
            };
            ADOQueryCrediti->afterRead = conInteressi;
            ADOQueryCreditiPerCliente->afterRead = conInteressi;
        }

        auto* lay = new QVBoxLayout(body());
        lay->setContentsMargins(12, 6, 12, 10);
        sPageControl1 = new QTabWidget(body());
        sPageControl1->setObjectName(QStringLiteral("sPageControl1"));
        TabCliente = costruisciPerCliente();
        TabFattura = costruisciPerDocumento();
        sPageControl1->addTab(TabCliente, QStringLiteral("Solleciti per Cliente"));
        sPageControl1->addTab(TabFattura, QStringLiteral("Solleciti per Documento"));
        sPageControl1->setCurrentWidget(TabCliente);
        // Both pages' letters: beside the tabs, not in either page.
        BottoneVerificaRicevutePEC = new QPushButton(QStringLiteral("Verifica ricevute PEC"), sPageControl1);
        BottoneVerificaRicevutePEC->setObjectName(QStringLiteral("BottoneVerificaRicevutePEC"));
        BottoneVerificaRicevutePEC->setToolTip(
            QStringLiteral("Legge le ricevute di accettazione e di consegna dalla casella PEC, o da file .eml salvati, "
                           "e le archivia con le comunicazioni"));
        sPageControl1->setCornerWidget(BottoneVerificaRicevutePEC, Qt::TopRightCorner);
        connect(BottoneVerificaRicevutePEC, &QPushButton::clicked, this, [this] {
            if (m_corsa)
                return;
            const QStringList errori = sz::pec::verificaRicevutePec(this, connection());
            if (!errori.isEmpty()) {
                GListaErrori << errori;
                mostraErrori();
            }
        });
        lay->addWidget(sPageControl1);
        LabelSospesi = new QLabel(body());
        LabelSospesi->setObjectName(QStringLiteral("LabelSospesi"));
        LabelSospesi->setStyleSheet(QStringLiteral("color: #8a5a00; font-weight: bold;"));
        LabelSospesi->setToolTip(QStringLiteral("I solleciti sono sospesi dal Cliente o dal singolo documento "
                                                "(Sospendi i solleciti) fino alla data indicata."));
        LabelSospesi->hide();
        lay->addWidget(LabelSospesi);
        LabelInteressi = new QLabel(body());
        LabelInteressi->setObjectName(QStringLiteral("LabelInteressi"));
        LabelInteressi->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
        LabelInteressi->setWordWrap(true);
        LabelInteressi->hide();
        lay->addWidget(LabelInteressi);
        connect(sPageControl1, &QTabWidget::currentChanged, this, [this] { sPageControl1Change(); });

        try {
            m_server = sz::mail::storedServer(connection());
        } catch (const sz::Error& e) {
            // Said on every letter's line if the clerk sends: the letters are still made.
            m_serverNonValido = e.message();
        }
        GestionePagina();

        // A window left open past midnight lists the new day's credits by itself.
        auto* giorno = new QTimer(this);
        giorno->setInterval(60 * 1000);
        connect(giorno, &QTimer::timeout, this, [this] { sz::ui::guarded(this, [this] { controllaGiorno(); }); });
        giorno->start();
    }
catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
}

TFrameSolleciti::~TFrameSolleciti()
{
    // The search of the rules without a window is the plain one again.
    GConInteressi = false;
    // A run still under way stops at once (its current mail too) before the lists and
    // the connection go.
    if (m_corsa) {
        m_corsa->annulla.store(true);
        m_corsa->thread->wait();
    }
    // The lists refer to the connection the base class closes first.
    delete ADOQueryCreditiPerCliente;
    delete ADOQueryCrediti;
}

sz::ui::Grid* TFrameSolleciti::griglia(QWidget* parent, const QString& nome, Dataset* lista)
{
    auto* g = new sz::ui::Grid(parent);
    g->setObjectName(nome);
    const auto colonne = colonneGriglia();
    g->setDataset(lista, colonne);
    g->setMultiSelect(true);
    for (int c = 0; c < colonne.size(); ++c) {
        g->setColumnWidth(c, larghezza(colonne[c].first));
        if (colonnaImporto(colonne[c].first))
            g->setRightAligned(c);
    }
    g->setColourRule([lista](int row, const QString& field, bool selected) {
        auto v = [&](const char* name) { return lista->valueAt(row, lista->fieldIndex(QLatin1String(name))); };
        const Evidenza e = evidenzaCella(field, v("Importo"), v("Incassato"), v("Residuo"), v("Sollecito3"));
        using sz::ui::CellMark;
        return sz::ui::markColours(e == Evidenza::Allarme     ? CellMark::Alarm
                                   : e == Evidenza::Incassato ? CellMark::Success
                                                              : CellMark::None,
                                   selected);
    });
    if (GConInteressi) {
        // Over an interest cell left empty, which rate is missing and where to enter it.
        g->setTooltipRule([lista](int row, const QString& field) {
            if (field != sz::interessi::ColonnaInteressi && field != sz::interessi::ColonnaTotaleDovuto)
                return QString();
            return lista->valueAt(row, lista->fieldIndex(sz::interessi::ColonnaMancante)).toString();
        });
    }
    return g;
}

QWidget* TFrameSolleciti::barraPulsanti(QWidget* parent, sz::ui::Grid* griglia, QPushButton*& archivio,
                                        QPushButton*& stampa, QPushButton*& invia, const QString& suffisso)
{
    auto* barra = new QWidget(parent);
    auto* bl = new QHBoxLayout(barra);
    bl->setContentsMargins(0, 6, 0, 0);
    archivio = new QPushButton(QStringLiteral("Visualizza PDF Archiviati"), barra);
    archivio->setObjectName(QStringLiteral("BottoneArchivio") + suffisso);
    archivio->setToolTip(QStringLiteral("Apre la cartella relativa alle comunicazioni create e archiviate"));
    stampa = new QPushButton(QStringLiteral("Crea PDF"), barra);
    stampa->setObjectName(QStringLiteral("BottoneStampa") + suffisso);
    stampa->setToolTip(
        QStringLiteral("Crea documenti PDF (utile in caso di gestione manuale delle comunicazioni a mezzo fax)"));
    invia = new QPushButton(QStringLiteral("Invia"), barra);
    invia->setObjectName(QStringLiteral("BottoneInvia") + suffisso);
    invia->setToolTip(QStringLiteral("Invia le comunicazioni a mezzo mail"));
    bl->addWidget(archivio);
    bl->addWidget(sz::ui::pulsanteEsporta(griglia, barra));
    bl->addStretch(1);
    bl->addWidget(stampa);
    bl->addWidget(invia);
    connect(archivio, &QPushButton::clicked, this, [this] { BottoneArchivioClick(); });
    return barra;
}

QWidget* TFrameSolleciti::costruisciPerCliente()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabCliente"));
    const sz::ui::BarPage bar = sz::ui::barOnPage(
        page, {Navigator::First, Navigator::Prior, Navigator::Next, Navigator::Last}, ADOQueryCreditiPerCliente,
        QStringLiteral("sDBNavigator2"), false);

    auto* filtri = new QWidget(page);
    auto* fl = new QHBoxLayout(filtri);
    fl->setContentsMargins(12, 8, 12, 4);
    fl->addWidget(sz::ui::caption(QStringLiteral("Cliente:"), filtri));
    ComboClienti = new QComboBox(filtri);
    ComboClienti->setObjectName(QStringLiteral("ComboClienti"));
    ComboClienti->setMinimumWidth(320);
    ComboClienti->setEnabled(false);
    fl->addWidget(ComboClienti);
    fl->addSpacing(12);
    CheckClienti = new QCheckBox(QStringLiteral("Visualizza tutti i Clienti"), filtri);
    CheckClienti->setObjectName(QStringLiteral("CheckClienti"));
    CheckClienti->setChecked(true);
    fl->addWidget(CheckClienti);
    fl->addStretch(1);
    bar.layout->addWidget(filtri);

    auto* area = new QWidget(page);
    auto* al = new QVBoxLayout(area);
    al->setContentsMargins(12, 4, 12, 8);
    sDBGrid2 = griglia(area, QStringLiteral("sDBGrid2"), ADOQueryCreditiPerCliente);
    sz::ui::impostaNomeEsportazione(sDBGrid2, QStringLiteral("Solleciti per Cliente"));
    al->addWidget(sDBGrid2, 1);
    al->addWidget(barraPulsanti(area, sDBGrid2, BottoneArchivioPerCliente, BottoneStampaPerCliente, BottoneInviaPerCliente,
                                QStringLiteral("PerCliente")));
    bar.layout->addWidget(area, 1);

    connect(CheckClienti, &QCheckBox::clicked, this, [this] { CheckClientiClick(); });
    connect(ComboClienti, &QComboBox::currentTextChanged, this, [this] { ComboClientiChange(); });
    connect(BottoneStampaPerCliente, &QPushButton::clicked, this, [this] { BottoneStampaPerClienteClick(); });
    connect(BottoneInviaPerCliente, &QPushButton::clicked, this, [this] { BottoneInviaPerClienteClick(); });
    return page;
}

QWidget* TFrameSolleciti::costruisciPerDocumento()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabFattura"));
    const sz::ui::BarPage bar = sz::ui::barOnPage(
        page, {Navigator::First, Navigator::Prior, Navigator::Next, Navigator::Last}, ADOQueryCrediti,
        QStringLiteral("sDBNavigator1"), true);
    EditFiltro = bar.filter;
    EditFiltro->setPlaceholderText(QStringLiteral("numero, cliente, destinatario, note o modalità"));
    EditFiltro->setMinimumWidth(220);

    auto* filtri = new QWidget(page);
    auto* fl = new QHBoxLayout(filtri);
    fl->setContentsMargins(12, 8, 12, 4);
    fl->setSpacing(10);
    auto radio = [&](const char* nome, const QString& testo) {
        auto* r = new QRadioButton(testo, filtri);
        r->setObjectName(QLatin1String(nome));
        fl->addWidget(r);
        return r;
    };
    fl->addWidget(sz::ui::caption(QStringLiteral("Fase:"), filtri));
    FiltroPreavviso = radio("FiltroPreavviso", QStringLiteral("Preavviso"));
    FiltroSollecito1 = radio("FiltroSollecito1", QStringLiteral("1° Sollecito"));
    FiltroSollecito2 = radio("FiltroSollecito2", QStringLiteral("2° Sollecito"));
    FiltroSollecito3 = radio("FiltroSollecito3", QStringLiteral("3° Sollecito"));
    FiltroTutti = radio("FiltroTutti", QStringLiteral("Tutti"));
    FiltroTutti->setChecked(true);
    fl->addSpacing(18);
    fl->addWidget(sz::ui::caption(QStringLiteral("Scadenza:"), filtri));
    EditFiltroScadenza = new sz::ui::DateBox(filtri);
    EditFiltroScadenza->setObjectName(QStringLiteral("EditFiltroScadenza"));
    EditFiltroScadenza->setFixedWidth(110);
    fl->addWidget(EditFiltroScadenza);
    fl->addStretch(1);
    bar.layout->addWidget(filtri);

    auto* area = new QWidget(page);
    auto* al = new QVBoxLayout(area);
    al->setContentsMargins(12, 4, 12, 8);
    sDBGrid1 = griglia(area, QStringLiteral("sDBGrid1"), ADOQueryCrediti);
    sz::ui::impostaNomeEsportazione(sDBGrid1, QStringLiteral("Solleciti per Documento"));
    al->addWidget(sDBGrid1, 1);
    al->addWidget(barraPulsanti(area, sDBGrid1, BottoneArchivioPerFattura, BottoneStampaPerFattura, BottoneInviaPerFattura,
                                QStringLiteral("PerFattura")));
    bar.layout->addWidget(area, 1);

    const std::pair<QRadioButton*, FiltroFase> voci[] = {{FiltroPreavviso, FiltroFase::Preavviso},
                                                         {FiltroSollecito1, FiltroFase::Sollecito1},
                                                         {FiltroSollecito2, FiltroFase::Sollecito2},
                                                         {FiltroSollecito3, FiltroFase::Sollecito3},
                                                         {FiltroTutti, FiltroFase::Tutti}};
    for (const auto& [r, f] : voci)
        connect(r, &QRadioButton::toggled, this, [this, f = f](bool on) {
            if (on) FiltroClick(f);
        });
    connect(EditFiltro, &QLineEdit::textChanged, this, [this] { EditFiltroChange(); });
    connect(EditFiltroScadenza, &QLineEdit::textChanged, this, [this] { EditFiltroScadenzaChange(); });
    connect(BottoneStampaPerFattura, &QPushButton::clicked, this, [this] { BottoneStampaPerFatturaClick(); });
    connect(BottoneInviaPerFattura, &QPushButton::clicked, this, [this] { BottoneInviaPerFatturaClick(); });
    return page;
}

// ---- lists -----------------------------------------------------------------------------

void TFrameSolleciti::aggiornaSospesi()
{
    const int n = contaSospesi(connection(), m_oggi);
    LabelSospesi->setText(n == 0 ? QString()
                          : n == 1 ? QStringLiteral("1 credito scaduto non è elencato perché sospeso.")
                                   : QStringLiteral("%1 crediti scaduti non sono elencati perché sospesi.").arg(n));
    LabelSospesi->setVisible(n > 0);
}

void TFrameSolleciti::LoadData(const QString& tab)
{
    m_oggi = sz::oggi();
    if (tab == TabFatture || tab == TabClienti)
        aggiornaSospesi();
    if (tab == TabFatture) {
        ADOQueryCreditiPerCliente->close();
        ADOQueryCrediti->setSql(sqlCreditiPerDocumento(), parametriLista(m_oggi));
        ADOQueryCrediti->open();
    } else if (tab == TabClienti) {
        ADOQueryCrediti->close();
        const bool unCliente = ComboClienti->isEnabled();
        ADOQueryCreditiPerCliente->setSql(sqlCreditiPerCliente(unCliente),
                                          parametriLista(m_oggi, unCliente ? ComboClienti->currentText() : QString()));
        ADOQueryCreditiPerCliente->open();
    }
    aggiornaInteressi();
}

void TFrameSolleciti::aggiornaInteressi()
{
    // One line for the whole list: the clerk enters the rate once and every credit gets it.
    LabelInteressi->setText(m_interessiMancanti);
    LabelInteressi->setVisible(GConInteressi && !m_interessiMancanti.isEmpty());
}

QString TFrameSolleciti::suggerimento(const sz::ui::Grid* grid, const QModelIndex& cella)
{
    return grid->tooltip(cella);
}

void TFrameSolleciti::LoadComboClienti()
{
    const QStringList nomi = sz::dunning::LoadComboClienti(connection(), sz::oggi());
    // The client chosen stays chosen while it still has something due.
    const QString scelto = ComboClienti->currentText();
    const QSignalBlocker quiet(ComboClienti);
    ComboClienti->clear();
    ComboClienti->addItems(nomi);
    const int i = scelto.isEmpty() ? -1 : int(nomi.indexOf(scelto));
    ComboClienti->setCurrentIndex(i >= 0 ? i : (nomi.isEmpty() ? -1 : 0));
}

void TFrameSolleciti::GestionePagina()
{
    if (sPageControl1->currentWidget() == TabFattura) {
        LoadData(TabFatture);
    } else {
        // Read even when no client is left: the list must not keep credits just done.
        LoadComboClienti();
        LoadData(TabClienti);
    }
}

void TFrameSolleciti::sPageControl1Change()
{
    sz::ui::WaitCursor attesa;
    GestionePagina();
}

void TFrameSolleciti::CheckClientiClick()
{
    ComboClienti->setEnabled(!CheckClienti->isChecked());
    LoadData(TabClienti);
}

void TFrameSolleciti::ComboClientiChange()
{
    LoadData(TabClienti);
}

// ---- filters ---------------------------------------------------------------------------

void TFrameSolleciti::FiltroClick(FiltroFase filtro)
{
    GFiltroStato = clausolaFase(filtro);
    GestisciFiltro();
}

void TFrameSolleciti::EditFiltroChange()
{
    GFiltroEdit = clausolaTesto(EditFiltro->text());
    GestisciFiltro();
}

void TFrameSolleciti::EditFiltroScadenzaChange()
{
    GFiltroScadenza = clausolaScadenza(EditFiltroScadenza->maskedText());
    GestisciFiltro();
}

void TFrameSolleciti::GestisciFiltro()
{
    sz::ui::WaitCursor attesa;
    ADOQueryCrediti->setFilter(sz::dunning::GestisciFiltro(EditFiltro->text()));
}

void TFrameSolleciti::Selezionatutto1Click()
{
    (sPageControl1->currentWidget() == TabFattura ? sDBGrid1 : sDBGrid2)->selectAll();
}

// ---- letters ---------------------------------------------------------------------------

QList<Selezionato> TFrameSolleciti::selezione(sz::ui::Grid* grid) const
{
    Dataset* lista = grid->dataset();
    const int id = lista->fieldIndex(QStringLiteral("ID"));
    const int cliente = lista->fieldIndex(QStringLiteral("Cliente"));
    QList<Selezionato> out;
    for (int row : grid->selectedRows())
        out.append({lista->valueAt(row, id).toLongLong(), lista->valueAt(row, cliente).toString()});
    return out;
}

EsitoRun TFrameSolleciti::esegui(const std::function<EsitoRun(Lettere&, const Avanzamento&)>& run, int totale,
                                 bool invia, sz::esecuzioni::Blocco& blocco, bool perCliente)
{
    // The record of the run, beside those of the daily run and the command line.
    const qint64 registro =
        sz::esecuzioni::apri(connection(), sz::esecuzioni::AvvioFinestra,
                             perCliente ? QStringLiteral("CLIENTE") : QStringLiteral("DOCUMENTO"),
                             invia ? QStringLiteral("MAIL") : QStringLiteral("PDF"));

    QProgressDialog progresso(QStringLiteral("Creazione comunicazioni..."), QStringLiteral("Annulla"), 0, totale,
                              this);
    progresso.setObjectName(QStringLiteral("ProgressoComunicazioni"));
    progresso.setWindowTitle(QStringLiteral("Crediti - Solleciti"));
    progresso.setWindowModality(Qt::WindowModal);
    progresso.setMinimumDuration(0);
    progresso.setAutoReset(false);
    progresso.setAutoClose(false);

    // The day of a run is the day it starts: its folders, file names and stage dates
    // agree even when it goes on past midnight.
    const QDate giorno = sz::oggi();
    const QString percorso = connection().path();
    const QString dataRoot = sz::paths::dataRoot();
    const QString programma = sz::paths::programFolder();
    auto corsa = std::make_shared<Corsa>();
    Spedizione spedizione;
    if (invia) {
        if (m_server) {
            sz::mail::Server server = *m_server;
            server.cancel = &corsa->annulla;
            spedizione = spedizioneSmtp(server, regolePosta(connection()));
        } else {
            spedizione = [motivo = m_serverNonValido](const Invio&) { return motivo; };
        }
    }
    corsa->thread = QThread::create([corsa, run, giorno, percorso, dataRoot, programma, spedizione, registro] {
        try {
            sz::db::Connection propria(percorso);
            Lettere lettere(propria, giorno, dataRoot, programma);
            if (spedizione)
                lettere.setSpedizione(spedizione);
            // The figures so far in the record after each letter: a window closed by force
            // halfway still says what it did.
            int create = 0, inviate = 0, nonInviate = 0;
            lettere.setDopoLettera([&](const LetteraFatta& l) {
                ++create;
                if (l.esito == sz::invii::Inviata)
                    ++inviate;
                else if (l.esito.startsWith(sz::invii::nonInviata(QString()).trimmed()))
                    ++nonInviate;
                try {
                    sz::esecuzioni::avanza(propria, registro, create, inviate, nonInviate, {});
                } catch (const sz::Error&) {
                }
            });
            corsa->esito = run(lettere, [&corsa](int fatti, int) {
                corsa->fatti.store(fatti);
                return !corsa->annulla.load();
            });
        } catch (const sz::Error& e) {
            corsa->esito.guasto = e.message();
        } catch (const std::exception& e) {
            corsa->esito.guasto = QString::fromLocal8Bit(e.what());
        }
    });

    auto mostra = [&] {
        if (corsa->annulla.load())
            return;
        const int fatti = corsa->fatti.load();
        progresso.setValue(fatti);
        progresso.setLabelText(
            QStringLiteral("Creazione comunicazioni... %1 di %2").arg(qMin(fatti + 1, totale)).arg(totale));
    };
    // Annulla stops the letter under way, not just the next one; the window stays up,
    // and the frame out of reach, until the worker has really ended.
    auto annulla = [&] {
        if (!corsa->annulla.exchange(true)) {
            progresso.setLabelText(QStringLiteral("Annullamento in corso..."));
            for (auto* b : progresso.findChildren<QPushButton*>())
                b->setEnabled(false);
        }
        QTimer::singleShot(0, &progresso, [&progresso] {
            if (!progresso.isVisible())
                progresso.show();
        });
    };
    connect(&progresso, &QProgressDialog::canceled, &progresso, annulla);
    connect(&progresso, &QDialog::rejected, &progresso, annulla);
    QTimer lancetta;
    lancetta.setInterval(100);
    QEventLoop attesa;
    // The lock says it is alive after every letter, and once a minute during a long one.
    int fattiRinnovo = 0;
    QElapsedTimer ultimoRinnovo;
    ultimoRinnovo.start();
    connect(&lancetta, &QTimer::timeout, &progresso, [&] {
        mostra();
        const int fatti = corsa->fatti.load();
        if (fatti != fattiRinnovo || ultimoRinnovo.elapsed() > 60 * 1000) {
            fattiRinnovo = fatti;
            ultimoRinnovo.restart();
            blocco.rinnova();
        }
        // Also seen here, should the end of the worker reach a loop nested in this one.
        if (corsa->thread->isFinished())
            attesa.quit();
    });
    connect(corsa->thread, &QThread::finished, &attesa, &QEventLoop::quit);
    m_corsa = corsa;
    mostra();
    lancetta.start();
    corsa->thread->start();
    attesa.exec();
    // The loop ends early only when the program is closing: the run stops with it.
    if (!corsa->thread->isFinished())
        corsa->annulla.store(true);
    corsa->thread->wait();
    lancetta.stop();
    m_corsa.reset();
    delete corsa->thread;
    corsa->thread = nullptr;
    if (corsa->annulla.load())
        corsa->esito.interrotto = true;
    progresso.hide();

    const EsitoRun& esito = corsa->esito;
    int inviate = 0, nonInviate = 0;
    for (const LetteraFatta& l : esito.lettere) {
        if (l.esito == sz::invii::Inviata)
            ++inviate;
        else if (l.esito.startsWith(sz::invii::nonInviata(QString()).trimmed()))
            ++nonInviate;
    }
    QStringList righe = GListaErrori.mid(qMax<qsizetype>(0, GListaErrori.size() - esito.righeErrore));
    if (!esito.guasto.isEmpty())
        righe << esito.guasto;
    try {
        sz::esecuzioni::chiudi(connection(), registro, int(esito.lettere.size()), inviate, nonInviate, righe,
                               esito.interrotto ? QStringLiteral("INTERROTTA") : QString());
    } catch (const sz::Error&) {
        // The letters and their log are written; a record left "IN CORSO" reads as
        // interrupted once the lock is gone.
    }
    blocco.rilascia();
    return esito;
}

void TFrameSolleciti::GestisciAzionePerFattura(bool invia)
{
    if (m_corsa)
        return; // one run at a time
    const QList<Selezionato> scelti = selezione(sDBGrid1);
    if (scelti.isEmpty()) {
        sz::ui::showWarning(this, QStringLiteral("Selezionare almeno una riga della tabella per creare la relativa "
                                                 "comunicazione."));
        return;
    }
    QApplication::processEvents();
    QList<qint64> ids;
    for (const Selezionato& s : scelti)
        ids << s.id;
    const QList<qint64> fuori = senzaParole(ids, false);
    ids.removeIf([&](qint64 id) { return fuori.contains(id); });
    if (ids.isEmpty())
        return;
    const QHash<qint64, QString> mostrate = fasiMostrate(sDBGrid1);
    sz::ui::guarded(this, [&] {
        // Held until the run has written its record, and freed however this ends.
        sz::esecuzioni::Blocco blocco(connection());
        if (!prendiBlocco(blocco))
            return;
        if (!togliCambiati(ids, mostrate, blocco)) {
            blocco.rilascia();
            ricaricaLista(TabFatture);
            return;
        }
        EsitoRun esito;
        {
            sz::ui::WaitCursor attesa;
            esito = esegui([&](Lettere& l, const Avanzamento& a) { return l.perDocumento(ids, invia, a); },
                           int(ids.size()), invia, blocco, false);
        }
        fineRun(esito, invia, TabFatture);
    });
}

void TFrameSolleciti::GestisciAzionePerCliente(bool invia)
{
    if (m_corsa)
        return; // one run at a time
    const QList<Selezionato> scelti = selezione(sDBGrid2);
    if (scelti.isEmpty()) {
        sz::ui::showWarning(this, QStringLiteral("Selezionare almeno una riga della tabella per creare la relativa "
                                                 "comunicazione."));
        return;
    }
    QApplication::processEvents();
    QList<qint64> ids;
    for (const Selezionato& s : scelti)
        ids << s.id;
    if (!senzaParole(ids, true).isEmpty())
        return; // one template for every letter of the run: no means none
    const QHash<qint64, QString> mostrate = fasiMostrate(sDBGrid2);
    sz::ui::guarded(this, [&] {
        sz::esecuzioni::Blocco blocco(connection());
        if (!prendiBlocco(blocco))
            return;
        if (!togliCambiati(ids, mostrate, blocco)) {
            blocco.rilascia();
            ricaricaLista(TabClienti);
            return;
        }
        QList<Selezionato> restanti = scelti;
        restanti.removeIf([&](const Selezionato& s) { return !ids.contains(s.id); });
        const QList<GruppoCliente> gruppi = CheckClienti->isChecked() ? raggruppaPerCliente(restanti)
                                                                      : QList<GruppoCliente>{gruppoUnico(restanti)};
        EsitoRun esito;
        {
            sz::ui::WaitCursor attesa;
            esito = esegui([&](Lettere& l, const Avanzamento& a) { return l.perCliente(gruppi, invia, a); },
                           int(gruppi.size()), invia, blocco, true);
        }
        fineRun(esito, invia, TabClienti);
    });
}

// ---- one run at a time -----------------------------------------------------------------

bool TFrameSolleciti::prendiBlocco(sz::esecuzioni::Blocco& blocco)
{
    sz::esecuzioni::Titolare titolare;
    if (blocco.prendi(&titolare))
        return true;

    QMessageBox domanda(QMessageBox::Information, QStringLiteral("Crediti - Solleciti"),
                        sz::esecuzioni::messaggioOccupato(titolare) +
                            QStringLiteral("\n\nLe comunicazioni si possono creare quando quell'invio è finito: "
                                           "attendere che finisca?"),
                        QMessageBox::NoButton, this);
    domanda.setObjectName(QStringLiteral("MessaggioInvioInCorso"));
    QPushButton* attendi = domanda.addButton(QStringLiteral("Attendi"), QMessageBox::AcceptRole);
    attendi->setObjectName(QStringLiteral("BottoneAttendi"));
    QPushButton* annulla = domanda.addButton(QStringLiteral("Annulla"), QMessageBox::RejectRole);
    annulla->setObjectName(QStringLiteral("BottoneAnnullaAttesa"));
    domanda.setDefaultButton(attendi);
    domanda.setEscapeButton(annulla);
    sz::ui::showModal(&domanda);
    if (domanda.clickedButton() != attendi)
        return false;

    // Looks again every few seconds until the lock is ours or the clerk gives up.
    QProgressDialog attesa(QString(), QStringLiteral("Annulla"), 0, 0, this);
    attesa.setObjectName(QStringLiteral("AttesaInvioInCorso"));
    attesa.setWindowTitle(QStringLiteral("Crediti - Solleciti"));
    attesa.setWindowModality(Qt::WindowModal);
    attesa.setMinimumDuration(0);
    attesa.setAutoReset(false);
    attesa.setAutoClose(false);
    auto scrivi = [&] {
        attesa.setLabelText(sz::esecuzioni::messaggioOccupato(titolare) +
                            QStringLiteral("\nIn attesa che finisca…"));
    };
    scrivi();
    bool preso = false;
    QEventLoop ciclo;
    QTimer riprova;
    riprova.setInterval(m_intervalloAttesa);
    connect(&riprova, &QTimer::timeout, &ciclo, [&] {
        try {
            if (blocco.prendi(&titolare)) {
                preso = true;
                ciclo.quit();
                return;
            }
            scrivi();
        } catch (const sz::Error&) {
            // The database busy with the other run's letter: the next look will do.
        }
    });
    connect(&attesa, &QProgressDialog::canceled, &ciclo, &QEventLoop::quit);
    connect(&attesa, &QDialog::rejected, &ciclo, &QEventLoop::quit);
    attesa.show();
    riprova.start();
    ciclo.exec();
    riprova.stop();
    attesa.hide();
    return preso;
}

QHash<qint64, QString> TFrameSolleciti::fasiMostrate(sz::ui::Grid* grid) const
{
    Dataset* lista = grid->dataset();
    const int id = lista->fieldIndex(QStringLiteral("ID"));
    QList<int> colonne;
    for (const char* c : {"Preavviso", "Sollecito1", "Sollecito2", "Sollecito3"})
        colonne << lista->fieldIndex(QLatin1String(c));
    QHash<qint64, QString> out;
    for (int row : grid->selectedRows()) {
        QStringList date;
        for (int c : std::as_const(colonne))
            date << lista->valueAt(row, c).toString();
        out.insert(lista->valueAt(row, id).toLongLong(), date.join(QLatin1Char('|')));
    }
    return out;
}

QList<qint64> TFrameSolleciti::cambiatiNelFrattempo(const QHash<qint64, QString>& mostrate)
{
    QStringList elenco;
    for (auto it = mostrate.cbegin(); it != mostrate.cend(); ++it)
        elenco << QString::number(it.key());
    if (elenco.isEmpty())
        return {};
    const sz::db::Result r = connection().query(
        QStringLiteral("SELECT ID, Preavviso, Sollecito1, Sollecito2, Sollecito3 FROM t_crediti WHERE ID IN (%1)")
            .arg(elenco.join(QLatin1Char(','))));
    QSet<qint64> visti;
    QList<qint64> out;
    for (const auto& row : r.rows) {
        const qint64 id = row[0].toLongLong();
        visti.insert(id);
        const QString ora = QStringList{row[1].toString(), row[2].toString(), row[3].toString(), row[4].toString()}
                                .join(QLatin1Char('|'));
        if (ora != mostrate.value(id))
            out << id;
    }
    for (auto it = mostrate.cbegin(); it != mostrate.cend(); ++it)
        if (!visti.contains(it.key()))
            out << it.key(); // deleted meanwhile
    return out;
}

bool TFrameSolleciti::togliCambiati(QList<qint64>& ids, const QHash<qint64, QString>& mostrate,
                                    sz::esecuzioni::Blocco& blocco)
{
    const QList<qint64> cambiati = cambiatiNelFrattempo(mostrate);
    const qsizetype prima = ids.size();
    ids.removeIf([&](qint64 id) { return cambiati.contains(id); });
    const qsizetype tolti = prima - ids.size();
    if (tolti == 0)
        return true;
    const QString testo =
        ids.isEmpty()
            ? QStringLiteral("Le comunicazioni dei crediti selezionati sono state create da un altro invio mentre "
                             "l'elenco era aperto: l'elenco viene aggiornato.")
        : tolti == 1
            ? QStringLiteral("La comunicazione di 1 credito selezionato è stata creata da un altro invio mentre "
                             "l'elenco era aperto: il credito è escluso, gli altri vengono elaborati.")
            : QStringLiteral("Le comunicazioni di %1 crediti selezionati sono state create da un altro invio mentre "
                             "l'elenco era aperto: i crediti sono esclusi, gli altri vengono elaborati.")
                  .arg(tolti);
    // Never held while a message waits for the clerk: the daily run would find the lock
    // taken by a window nobody is looking at. Taken again after, and whatever another run
    // made meanwhile is left out too.
    blocco.rilascia();
    sz::ui::showMessage(this, testo);
    if (ids.isEmpty() || !prendiBlocco(blocco))
        return false;
    return togliCambiati(ids, mostrate, blocco);
}

void TFrameSolleciti::fineRun(const EsitoRun& esito, bool invia, const QString& tab)
{
    // A failure ends the run but not the story: the credits done before it are at their
    // new stage, and the clerk sees the failure and then the lines collected so far.
    if (!esito.guasto.isEmpty()) {
        sz::ui::showError(this, esito.guasto);
        if (!GListaErrori.isEmpty())
            mostraErrori();
    } else if (GListaErrori.isEmpty()) {
        sz::ui::showMessage(this, QStringLiteral("Tutte le comunicazione sono state create correttamente."));
    } else {
        sz::ui::showMessage(this, QStringLiteral("La procedura è stata terminata ma sono stati riscontrati alcuni "
                                                 "errori."));
        mostraErrori();
    }
    try {
        ricaricaLista(tab);
    } catch (const sz::Error& e) {
        sz::ui::showError(this, e.message());
    }
    if (!invia && (esito.guasto.isEmpty() || !esito.pdf.isEmpty()))
        BottoneArchivioClick();
}

void TFrameSolleciti::controllaGiorno()
{
    if (m_corsa || sz::oggi() == m_oggi)
        return;
    ricaricaLista(sPageControl1->currentWidget() == TabFattura ? TabFatture : TabClienti);
}

void TFrameSolleciti::ricaricaLista(const QString& tab)
{
    if (tab == TabClienti) {
        GestionePagina();
        return;
    }
    // Read for the day of this moment, keeping the filter, the order and the row.
    m_oggi = sz::oggi();
    aggiornaSospesi();
    ADOQueryCrediti->setParams(parametriLista(m_oggi));
    ADOQueryCrediti->requery();
    aggiornaInteressi();
}

QList<qint64> TFrameSolleciti::senzaParole(const QList<qint64>& ids, bool perCliente)
{
    QList<qint64> fuori;
    for (const ModelloVuoto& m : modelliVuoti(connection(), ids, perCliente))
        if (!sz::ui::askYesNo(this, QStringLiteral("Il modello della comunicazione \"%1\" è vuoto: creare comunque "
                                                  "le lettere?")
                                        .arg(etichettaModello(m.tipologia))))
            fuori << m.ids;
    return fuori;
}

void TFrameSolleciti::mostraErrori()
{
    if (!ErroriForm)
        ErroriForm = new TErroriForm(window());
    ErroriForm->mostra(GListaErrori);
    GListaErrori.clear();
    sz::ui::showModal(ErroriForm);
    delete ErroriForm;
}

void TFrameSolleciti::BottoneStampaPerFatturaClick()
{
    GestisciAzionePerFattura(false);
}

void TFrameSolleciti::BottoneInviaPerFatturaClick()
{
    GestisciAzionePerFattura(true);
}

void TFrameSolleciti::BottoneStampaPerClienteClick()
{
    GestisciAzionePerCliente(false);
}

void TFrameSolleciti::BottoneInviaPerClienteClick()
{
    GestisciAzionePerCliente(true);
}

void TFrameSolleciti::BottoneArchivioClick()
{
    const QString archivio = sz::paths::dataRoot() + QStringLiteral("Archivio/");
    QDir().mkpath(archivio);
    sz::ui::openLocation(archivio);
}
