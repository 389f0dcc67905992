#include "Importazione.h"

#include "FattureElettroniche.h"

#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>

SZ_REGISTER_FRAME(TFrameImportazione);

using namespace sz::importazione;

// ---- the preview grid --------------------------------------------------------------------

void GrigliaModel::setGriglia(std::shared_ptr<const Griglia> griglia)
{
    beginResetModel();
    m_griglia = std::move(griglia);
    endResetModel();
}

int GrigliaModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_griglia ? 0 : std::max(0, m_griglia->righe() - 1);
}

int GrigliaModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_griglia ? 0 : std::max(0, m_griglia->colonne - 1);
}

namespace {

// A cell may hold 32,767 characters: a view that measures and elides every visible one
// on each paint would take seconds a page. The grid shows the start of a long text, and
// its tooltip a longer part of it.
QString accorciato(const QString& testo, qsizetype massimo)
{
    return testo.size() <= massimo ? testo : testo.left(massimo) + QChar(0x2026);
}

constexpr qsizetype mostrati = 256;
constexpr qsizetype suggeriti = 2000;

} // namespace

QVariant GrigliaModel::data(const QModelIndex& index, int role) const
{
    if (!m_griglia) return {};
    if (role == Qt::DisplayRole)
        return accorciato(m_griglia->cella(index.row() + 1, index.column() + 1), mostrati);
    if (role == Qt::ToolTipRole) {
        const QString testo = m_griglia->cella(index.row() + 1, index.column() + 1);
        if (testo.size() > mostrati) return accorciato(testo, suggeriti);
    }
    return {};
}

QVariant GrigliaModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!m_griglia) return {};
    if (role == Qt::TextAlignmentRole && orientation == Qt::Vertical)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    return orientation == Qt::Horizontal ? accorciato(m_griglia->cella(0, section + 1), mostrati)
                                         : m_griglia->cella(section + 1, 0);
}

// ---- the run ---------------------------------------------------------------------------------

// One import on the worker thread. The worker owns nothing of the frame: it reads the
// shared immutable grid and the resolved columns, writes through a connection of its own,
// and leaves its progress and outcome here for the frame to read.
struct TFrameImportazione::Corsa
{
    Tipo tipo = Tipo::Clienti;
    std::atomic<bool> annulla{false};
    std::atomic<int> fatte{0};
    int totale = 0;
    bool lasciata = false; // the clerk pressed Annulla: the end shows nothing
    std::atomic<bool> senzaCopia{false}; // the safety copy failed: nothing was written
    Esito esito;           // written by the worker, read after it ended
    QThread* thread = nullptr;
};

// One file (or several electronic invoices) read for the preview on a thread of its own:
// a reader may take seconds on a large file, and the window must stay alive meanwhile.
// The thread reads nothing of the frame; its result is taken on the frame's thread.
struct TFrameImportazione::Lettura
{
    Tipo tipo = Tipo::Clienti;
    TipoFile tipoFile = TipoFile::Csv;
    QStringList file;
    QChar delimitatore;
    int minimo = 0;
    QString database; // electronic invoices read the company and the banks
    Caricamento esito;
    QString errore;
    QThread* thread = nullptr;
};

namespace {

// What a reader that failed in an unforeseen way says: never the end of the program.
QString troppoGrande(const QStringList& file, const QString& dettaglio)
{
    const QString nome = file.size() == 1 ? QFileInfo(file.first()).fileName() : QString();
    return nome.isEmpty()
               ? QStringLiteral("il file è troppo grande o danneggiato: %1").arg(dettaglio)
               : QStringLiteral("il file \"%1\" è troppo grande o danneggiato: %2").arg(nome, dettaglio);
}

const QString avvisoRipristino = QStringLiteral(
    "ATTENZIONE\n\nDopo aver effettuato l'importazione dei dati, si consiglia sempre di verificarne la "
    "correttezza e, solamente in caso di problemi, sarà possibile effettuare il ripristino del sistema "
    "riportandolo alla situazione in cui era prima di aver eseguito l'ultima importazione.\n\nSi consiglia "
    "quindi di rieseguire una seconda importazione solamente dopo aver ripristinato il sistema in modo da "
    "non "
    "perdere l'integrità dei dati.");

QLabel* titoletto(const QString& testo, QWidget* parent)
{
    auto* l = new QLabel(testo, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QTableView* griglia(const QString& nome, QAbstractItemModel* modello, QWidget* parent)
{
    auto* v = new QTableView(parent);
    v->setObjectName(nome);
    v->setModel(modello);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setSelectionMode(QAbstractItemView::SingleSelection);
    v->setWordWrap(false);
    v->horizontalHeader()->setHighlightSections(false);
    v->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Fixed row heights: a preview of 100,000 rows must not measure every row.
    v->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    v->verticalHeader()->setDefaultSectionSize(v->fontMetrics().height() + 6);
    return v;
}

QProgressBar* barra(const QString& nome, QWidget* parent)
{
    auto* g = new QProgressBar(parent);
    g->setObjectName(nome);
    g->setRange(0, 100);
    g->setValue(0);
    g->setFormat(QStringLiteral("%p%"));
    g->setTextVisible(true);
    return g;
}

} // namespace

TFrameImportazione::TFrameImportazione(QWidget* parent)
try : sz
    ::ui::ModuleFrame(
        QStringLiteral("Importazione dati"),
        QStringLiteral("Permette di selezionare la tipologia, gestire i parametri da impostare ed "
                       "effettuare l'importazione dei dati partendo da sorgenti differenti."),
        parent)
    {
        setObjectName(QStringLiteral("FrameImportazione"));

        // ---- settings panel
        PanelImpostazioni = new QWidget(body());
        PanelImpostazioni->setObjectName(QStringLiteral("PanelImpostazioni"));
        // As wide as its widest caption needs, never narrower than the usual 320 pixels: a
        // larger desktop font must not cut a group's caption.
        // The layout's own minimum, not a fixed one, keeps a caption whole when space is short.
        PanelImpostazioni->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        auto* sinistra = new QVBoxLayout(PanelImpostazioni);
        sinistra->setContentsMargins(12, 12, 6, 12);
        sinistra->addSpacerItem(new QSpacerItem(320 - 12 - 6, 0, QSizePolicy::Fixed, QSizePolicy::Fixed));
        sinistra->setSpacing(10);

        Gauge = barra(QStringLiteral("Gauge"), PanelImpostazioni);
        sinistra->addWidget(Gauge);

        RadioGroupTipologia = new sz::ui::RadioGroup(
            QStringLiteral("Selezionare la tipologia di dati da importare"),
            {QStringLiteral("Anagrafiche Cliente"), QStringLiteral("Documenti emessi")}, PanelImpostazioni);
        RadioGroupTipologia->setObjectName(QStringLiteral("RadioGroupTipologia"));
        RadioGroupTipologia->setToolTip(
            QStringLiteral("Selezionare il tipo di dati che si desidera importare"));
        RadioGroupTipologia->setItemIndex(0);
        sinistra->addWidget(RadioGroupTipologia);

        RadioGroupEstensione = new sz::ui::RadioGroup(
            QStringLiteral("Selezionare il tipo di file da importare"),
            {didascalia(TipoFile::Csv), didascalia(TipoFile::Txt), didascalia(TipoFile::Foglio),
             didascalia(TipoFile::Fattura)},
            PanelImpostazioni);
        RadioGroupEstensione->setObjectName(QStringLiteral("RadioGroupEstensione"));
        RadioGroupEstensione->setToolTip(
            QStringLiteral("Selezionare l'estensione del file che contiene i dati da importare"));
        RadioGroupEstensione->setItemIndex(0);
        sinistra->addWidget(RadioGroupEstensione);

        RadioGroupDelimitatore =
            new sz::ui::RadioGroup(QStringLiteral("Selezionare il delimitatore"),
                                   {QStringLiteral("Punto e virgola"), QStringLiteral("Virgola"),
                                    QStringLiteral("Tabulazione"), QStringLiteral("Altro:")},
                                   PanelImpostazioni);
        RadioGroupDelimitatore->setObjectName(QStringLiteral("RadioGroupDelimitatore"));
        RadioGroupDelimitatore->setToolTip(
            QStringLiteral("Selezionare il carattere che separa i dati tra una colonna e l'altra"));
        RadioGroupDelimitatore->setItemIndex(0);
        EditDelimitatore = new QLineEdit(RadioGroupDelimitatore);
        EditDelimitatore->setObjectName(QStringLiteral("EditDelimitatore"));
        EditDelimitatore->setMaxLength(1);
        EditDelimitatore->setFixedWidth(
            EditDelimitatore->fontMetrics().horizontalAdvance(QStringLiteral("MM")) + 16);
        EditDelimitatore->setToolTip(RadioGroupDelimitatore->toolTip());
        RadioGroupDelimitatore->addBeside(3, EditDelimitatore);
        sinistra->addWidget(RadioGroupDelimitatore);

        GroupBoxFile = new QGroupBox(QStringLiteral("Selezionare il file da importare"), PanelImpostazioni);
        GroupBoxFile->setObjectName(QStringLiteral("GroupBoxFile"));
        auto* rigaFile = new QHBoxLayout(GroupBoxFile);
        EditFileName = new QLineEdit(GroupBoxFile);
        EditFileName->setObjectName(QStringLiteral("EditFileName"));
        EditFileName->setMaxLength(255);
        EditFileName->setClearButtonEnabled(true);
        ButtonSfoglia = new QToolButton(GroupBoxFile);
        ButtonSfoglia->setObjectName(QStringLiteral("ButtonSfoglia"));
        ButtonSfoglia->setText(QStringLiteral("..."));
        ButtonSfoglia->setIcon(QIcon::fromTheme(QStringLiteral("document-open")));
        ButtonSfoglia->setToolTip(QStringLiteral("Sfoglia le cartelle per scegliere il file"));
        rigaFile->addWidget(EditFileName, 1);
        rigaFile->addWidget(ButtonSfoglia);
        sinistra->addWidget(GroupBoxFile);

        ButtonCarica = new QPushButton(PanelImpostazioni);
        ButtonCarica->setObjectName(QStringLiteral("ButtonCarica"));
        ButtonCarica->setIcon(QIcon::fromTheme(QStringLiteral("document-import")));
        ButtonCarica->setToolTip(QStringLiteral("Esegue il caricamento dei dati selezionati per renderli "
                                                "disponibilii alla procedura di importazione"));
        sinistra->addWidget(ButtonCarica);
        ButtonAnnullaCaricamento = new QPushButton(QStringLiteral("Annulla"), PanelImpostazioni);
        ButtonAnnullaCaricamento->setObjectName(QStringLiteral("ButtonAnnullaCaricamento"));
        ButtonAnnullaCaricamento->setIcon(QIcon::fromTheme(QStringLiteral("dialog-cancel")));
        ButtonAnnullaCaricamento->setToolTip(
            QStringLiteral("Interrompe il caricamento del file e torna alle impostazioni"));
        ButtonAnnullaCaricamento->setVisible(false);
        sinistra->addWidget(ButtonAnnullaCaricamento);
        sinistra->addStretch(1);

        // ---- the pages, whose tabs are never shown
        PageControl = new QStackedWidget(body());
        PageControl->setObjectName(QStringLiteral("PageControl"));

        TabImpostazioni = new QWidget(PageControl);
        TabImpostazioni->setObjectName(QStringLiteral("TabImpostazioni"));
        {
            auto* l = new QVBoxLayout(TabImpostazioni);
            l->setContentsMargins(24, 18, 24, 18);
            auto* avviso = new QLabel(avvisoRipristino, TabImpostazioni);
            avviso->setObjectName(QStringLiteral("LabelAvviso"));
            avviso->setWordWrap(true);
            avviso->setMaximumWidth(640);
            l->addWidget(avviso);
            ButtonRipristina =
                new QPushButton(QStringLiteral("Esegui il ripristino del sistema"), TabImpostazioni);
            ButtonRipristina->setObjectName(QStringLiteral("ButtonRipristina"));
            ButtonRipristina->setIcon(QIcon::fromTheme(QStringLiteral("edit-undo")));
            ButtonRipristina->setToolTip(QStringLiteral(
                "Esegue il ripristino dei dati nel sistema (eseguire solo se strettamente necessario)"));
            auto* r = new QHBoxLayout;
            r->addWidget(ButtonRipristina);
            r->addStretch(1);
            l->addSpacing(12);
            l->addLayout(r);
            l->addStretch(1);
        }
        PageControl->addWidget(TabImpostazioni);

        m_modelloClienti = new GrigliaModel(this);
        m_modelloFatture = new GrigliaModel(this);
        m_modelloErrori = new GrigliaModel(this);

        auto paginaAnteprima = [this](Tipo tipo) {
            const bool clienti = tipo == Tipo::Clienti;
            auto* pagina = new QWidget(PageControl);
            pagina->setObjectName(clienti ? QStringLiteral("TabPreviewClienti")
                                          : QStringLiteral("TabPreviewFatture"));
            auto* l = new QVBoxLayout(pagina);
            l->setContentsMargins(12, 10, 12, 10);
            l->addWidget(titoletto(QStringLiteral("Eseguire la mappatura delle colonne"), pagina));
            auto* campiLay = new QGridLayout;
            campiLay->setHorizontalSpacing(10);
            campiLay->setVerticalSpacing(6);
            const auto& lista = campi(tipo);
            for (int i = 0; i < lista.size(); ++i) {
                const Campo& c = lista[i];
                auto* combo = new QComboBox(pagina);
                combo->setObjectName(c.lista);
                combo->setEditable(false);
                combo->setMinimumContentsLength(14);
                combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
                combo->setToolTip(suggerimento(c));
                auto* etichetta = sz::ui::caption(c.didascalia, pagina, combo);
                etichetta->setToolTip(suggerimento(c));
                if (c.obbligatorio) {
                    QFont f = etichetta->font();
                    f.setBold(true);
                    etichetta->setFont(f);
                }
                m_liste.insert(c.lista, combo);
                campiLay->addWidget(etichetta, i / 3, (i % 3) * 2, Qt::AlignRight);
                campiLay->addWidget(combo, i / 3, (i % 3) * 2 + 1);
            }
            for (int k = 0; k < 3; ++k)
                campiLay->setColumnStretch(k * 2 + 1, 1);
            l->addLayout(campiLay);
            l->addSpacing(6);
            l->addWidget(titoletto(QStringLiteral("Anteprima"), pagina));
            auto* vista =
                griglia(clienti ? QStringLiteral("StringGridClienti") : QStringLiteral("StringGridFatture"),
                        clienti ? m_modelloClienti : m_modelloFatture, pagina);
            l->addWidget(vista, 1);
            auto* piede = new QHBoxLayout;
            auto* gauge =
                barra(clienti ? QStringLiteral("GaugeClienti") : QStringLiteral("GaugeFatture"), pagina);
            auto* importa = new QPushButton(QStringLiteral("Importa"), pagina);
            importa->setObjectName(clienti ? QStringLiteral("ButtonImportaClienti")
                                           : QStringLiteral("ButtonImportaFatture"));
            importa->setIcon(QIcon::fromTheme(QStringLiteral("document-save")));
            importa->setToolTip(QStringLiteral("Avvia l'importazione delle righe dell'anteprima"));
            auto* annulla = new QPushButton(QStringLiteral("Annulla"), pagina);
            annulla->setObjectName(clienti ? QStringLiteral("ButtonAnnullaClienti")
                                           : QStringLiteral("ButtonAnnullaFatture"));
            annulla->setIcon(QIcon::fromTheme(QStringLiteral("dialog-cancel")));
            annulla->setToolTip(QStringLiteral("Interrompe l'importazione e torna alle impostazioni"));
            piede->addWidget(gauge, 1);
            piede->addSpacing(12);
            piede->addWidget(importa);
            piede->addWidget(annulla);
            l->addLayout(piede);
            if (clienti) {
                TabPreviewClienti = pagina;
                StringGridClienti = vista;
                GaugeClienti = gauge;
                ButtonImportaClienti = importa;
                ButtonAnnullaClienti = annulla;
            } else {
                TabPreviewFatture = pagina;
                StringGridFatture = vista;
                GaugeFatture = gauge;
                ButtonImportaFatture = importa;
                ButtonAnnullaFatture = annulla;
            }
            PageControl->addWidget(pagina);
            connect(importa, &QPushButton::clicked, this,
                    [this, tipo] { sz::ui::guarded(this, [this, tipo] { ButtonImportaClick(tipo); }); });
            connect(annulla, &QPushButton::clicked, this,
                    [this, tipo] { sz::ui::guarded(this, [this, tipo] { Annulla(tipo); }); });
        };
        paginaAnteprima(Tipo::Clienti);
        paginaAnteprima(Tipo::Fatture);

        TabErrori = new QWidget(PageControl);
        TabErrori->setObjectName(QStringLiteral("TabErrori"));
        {
            auto* l = new QVBoxLayout(TabErrori);
            l->setContentsMargins(12, 10, 12, 10);
            l->addWidget(titoletto(QStringLiteral("Errori riscontrati:"), TabErrori));
            MemoErrori = new QPlainTextEdit(TabErrori);
            MemoErrori->setObjectName(QStringLiteral("MemoErrori"));
            MemoErrori->setReadOnly(true);
            // A line names the row and the whole fault; the clerk reads it without scrolling.
            MemoErrori->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            MemoErrori->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            MemoErrori->setMaximumHeight(180);
            l->addWidget(MemoErrori);
            ButtonOK = new QPushButton(QStringLiteral("OK"), TabErrori);
            ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
            ButtonOK->setToolTip(QStringLiteral("Torna alle impostazioni"));
            auto* r = new QHBoxLayout;
            r->addStretch(1);
            r->addWidget(ButtonOK);
            l->addLayout(r);
            l->addWidget(titoletto(QStringLiteral("Anteprima"), TabErrori));
            StringGridErrori = griglia(QStringLiteral("StringGridErrori"), m_modelloErrori, TabErrori);
            l->addWidget(StringGridErrori, 1);
        }
        PageControl->addWidget(TabErrori);

        auto* lay = new QHBoxLayout(body());
        lay->setContentsMargins(0, 0, 0, 0);
        lay->setSpacing(0);
        lay->addWidget(PanelImpostazioni);
        lay->addWidget(PageControl, 1);

        m_avanzamento = new QTimer(this);
        m_avanzamento->setInterval(100);
        connect(m_avanzamento, &QTimer::timeout, this, [this] {
            if (!m_corsa) return;
            (m_corsa->tipo == Tipo::Clienti ? GaugeClienti : GaugeFatture)->setValue(m_corsa->fatte.load());
        });

        connect(RadioGroupTipologia, &sz::ui::RadioGroup::itemChosen, this, [this](int indice) {
            sz::ui::guarded(this, [this, indice] {
                CaricaImpostazione(indice == 0 ? QStringLiteral("Clienti") : QStringLiteral("Fatture"));
            });
        });
        connect(RadioGroupEstensione, &sz::ui::RadioGroup::itemChosen, this, [this] {
            RadioGroupEstensioneChange();
            EditFileName->clear();
        });
        connect(EditDelimitatore, &QLineEdit::textEdited, this,
                [this] { RadioGroupDelimitatore->setItemIndex(3); });
        connect(ButtonSfoglia, &QToolButton::clicked, this,
                [this] { sz::ui::guarded(this, [this] { sfoglia(); }); });
        connect(EditFileName, &QLineEdit::returnPressed, ButtonCarica, &QPushButton::click);
        connect(ButtonCarica, &QPushButton::clicked, this,
                [this] { sz::ui::guarded(this, [this] { ButtonCaricaClick(); }); });
        connect(ButtonAnnullaCaricamento, &QPushButton::clicked, this,
                [this] { sz::ui::guarded(this, [this] { AnnullaCaricamento(); }); });
        connect(ButtonOK, &QPushButton::clicked, this,
                [this] { sz::ui::guarded(this, [this] { ButtonOKClick(); }); });
        connect(ButtonRipristina, &QPushButton::clicked, this,
                [this] { sz::ui::guarded(this, [this] { ButtonRipristinaClick(); }); });

        aggiornaRipristina();
        RadioGroupEstensioneChange();
        CaricaImpostazione(QString());
        AbilitaImpostazioni();
    }
catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
}

TFrameImportazione::~TFrameImportazione()
{
    // A run still going stops at its next row; what it wrote so far stays written.
    fermaCorsa();
    // A reading runs this module's code: it must end before the module can be unloaded.
    attendi(m_lettura);
    attendi(m_lasciata);
}

void TFrameImportazione::attendi(const std::shared_ptr<Lettura>& lettura)
{
    if (!lettura || !lettura->thread) return;
    lettura->thread->wait();
    delete lettura->thread;
    lettura->thread = nullptr;
}

QComboBox* TFrameImportazione::lista(const QString& nome) const
{
    return m_liste.value(nome);
}

Tipo TFrameImportazione::tipoScelto() const
{
    return RadioGroupTipologia->itemIndex() == 0 ? Tipo::Clienti : Tipo::Fatture;
}

TipoFile TFrameImportazione::tipoFileScelto() const
{
    switch (RadioGroupEstensione->itemIndex()) {
    case 1:
        return TipoFile::Txt;
    case 2:
        return TipoFile::Foglio;
    case 3:
        return TipoFile::Fattura;
    default:
        return TipoFile::Csv;
    }
}

QString TFrameImportazione::filtroFile() const
{
    switch (tipoFileScelto()) {
    case TipoFile::Csv:
        return QStringLiteral("File csv (*.csv)");
    case TipoFile::Txt:
        return QStringLiteral("File txt (*.txt)");
    case TipoFile::Foglio:
        return QStringLiteral("File excel (*.xls *.xlsx);;File OpenDocument (*.ods)");
    case TipoFile::Fattura:
        break;
    }
    // The portal's downloads keep the extensions as the exchange system wrote them, in
    // either case.
    return QStringLiteral("Fatture elettroniche (*.xml *.p7m *.zip *.XML *.P7M *.ZIP)");
}

bool TFrameImportazione::inCorso() const
{
    return m_corsa && m_corsa->thread;
}

bool TFrameImportazione::caricamentoInCorso() const
{
    return m_lettura && m_lettura->thread;
}

QString TFrameImportazione::delimitatoreSalvato() const
{
    if (tipoFileScelto() == TipoFile::Foglio) return QString();
    const int i = RadioGroupDelimitatore->itemIndex();
    if (i >= 0 && i < 3) return RadioGroupDelimitatore->itemCaption(i);
    return EditDelimitatore->text();
}

QChar TFrameImportazione::delimitatore() const
{
    return carattereDelimitatore(delimitatoreSalvato());
}

void TFrameImportazione::RadioGroupEstensioneChange()
{
    const TipoFile t = tipoFileScelto();
    const bool testo = t == TipoFile::Csv || t == TipoFile::Txt;
    RadioGroupDelimitatore->setEnabled(testo);
    EditDelimitatore->setEnabled(testo);
    // Several invoices are chosen at once; their quoted names do not fit a path's length.
    EditFileName->setMaxLength(t == TipoFile::Fattura ? 32767 : 255);
}

QStringList TFrameImportazione::fileScelti() const
{
    const QString testo = EditFileName->text().trimmed();
    if (tipoFileScelto() != TipoFile::Fattura || !testo.startsWith(QLatin1Char('"')))
        return testo.isEmpty() ? QStringList() : QStringList{testo};
    QStringList out;
    const QStringList parti = testo.split(QLatin1Char('"'));
    for (int i = 1; i < parti.size(); i += 2)
        if (!parti[i].trimmed().isEmpty()) out << parti[i].trimmed();
    return out;
}

void TFrameImportazione::sfoglia()
{
    QFileDialog dialogo(this, QStringLiteral("Selezionare il file da importare"));
    dialogo.setObjectName(QStringLiteral("OpenDialog"));
    const bool fatture = tipoFileScelto() == TipoFile::Fattura;
    dialogo.setFileMode(fatture ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialogo.setNameFilter(filtroFile());
    const QStringList scelti = fileScelti();
    const QFileInfo attuale(scelti.isEmpty() ? QString() : scelti.first());
    if (!scelti.isEmpty() && attuale.dir().exists()) dialogo.setDirectory(attuale.dir());
    if (sz::ui::showModal(&dialogo) != QDialog::Accepted || dialogo.selectedFiles().isEmpty()) return;
    const QStringList nuovi = dialogo.selectedFiles();
    if (nuovi.size() == 1) {
        EditFileName->setText(QDir::toNativeSeparators(nuovi.first()));
        return;
    }
    QStringList citati;
    for (const QString& f : nuovi)
        citati << QLatin1Char('"') + QDir::toNativeSeparators(f) + QLatin1Char('"');
    EditFileName->setText(citati.join(QLatin1Char(' ')));
}

void TFrameImportazione::AbilitaImpostazioni()
{
    RadioGroupTipologia->setEnabled(true);
    RadioGroupEstensione->setEnabled(true);
    RadioGroupEstensioneChange();
    GroupBoxFile->setEnabled(true);
    EditFileName->setEnabled(true);
    ButtonCarica->setEnabled(true);
    Gauge->setValue(0);
    PanelImpostazioni->setVisible(true);
    PageControl->setCurrentWidget(TabImpostazioni);
}

void TFrameImportazione::DisabilitaImpostazioni()
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{RadioGroupTipologia, RadioGroupEstensione, RadioGroupDelimitatore,
                                         EditDelimitatore, GroupBoxFile, EditFileName, ButtonCarica})
        w->setEnabled(false);
    PanelImpostazioni->setVisible(false);
}

void TFrameImportazione::CaricaImpostazione(const QString& tipologia)
{
    const Tipo tipo = tipologia.isEmpty()                     ? tipoScelto()
                      : tipologia == QLatin1String("Clienti") ? Tipo::Clienti
                                                              : Tipo::Fatture;
    ButtonCarica->setText(tipo == Tipo::Clienti ? QStringLiteral("Carica le Anagrafiche Cliente")
                                                : QStringLiteral("Carica i Documenti emessi"));
    EditDelimitatore->clear();
    // Electronic invoices are issued documents only.
    RadioGroupEstensione->button(3)->setEnabled(tipo == Tipo::Fatture);
    if (tipo == Tipo::Clienti && tipoFileScelto() == TipoFile::Fattura) RadioGroupEstensione->setItemIndex(0);
    const Impostazione imp = sz::importazione::CaricaImpostazione(connection(), tipo);
    if (imp.trovata) {
        for (int i = 0; i < RadioGroupEstensione->count(); ++i)
            if (RadioGroupEstensione->itemCaption(i) == imp.estensione &&
                RadioGroupEstensione->button(i)->isEnabled())
                RadioGroupEstensione->setItemIndex(i);
        if (tipoFileScelto() != TipoFile::Foglio) {
            int voce = 3;
            for (int i = 0; i < 3; ++i)
                if (RadioGroupDelimitatore->itemCaption(i) == imp.delimitatore) voce = i;
            RadioGroupDelimitatore->setItemIndex(voce);
            if (voce == 3) EditDelimitatore->setText(imp.delimitatore);
        }
        RadioGroupEstensioneChange();
    }
    EditFileName->clear();
}

void TFrameImportazione::ButtonCaricaClick()
{
    if (caricamentoInCorso()) return;
    if (RadioGroupDelimitatore->isEnabled() && RadioGroupDelimitatore->itemIndex() == 3 &&
        EditDelimitatore->text().trimmed().isEmpty()) {
        sz::ui::showMessage(
            this, QStringLiteral("ATTENZIONE: il carattare delimitatore risulta mancante. Si prega di "
                                 "compilare il campo richiesto per poter proseguire."));
        return;
    }
    const QStringList file = fileScelti();
    if (file.isEmpty() ||
        std::any_of(file.begin(), file.end(), [](const QString& f) { return !QFileInfo(f).isFile(); })) {
        sz::ui::showMessage(this,
                            QStringLiteral("ATTENZIONE: il file da importare risulta mancante. Si prega di "
                                           "compilare il campo richiesto per poter proseguire."));
        return;
    }
    // One reading at a time: a reading left with Annulla still holds its memory until
    // it ends.
    if (m_lasciata && m_lasciata->thread && !m_lasciata->thread->isFinished()) {
        sz::ui::showMessage(this,
                            QStringLiteral("ATTENZIONE: il caricamento annullato non è ancora terminato. "
                                           "Attendere qualche istante e ripetere il caricamento."));
        return;
    }
    attendi(m_lasciata);
    m_lasciata.reset();

    auto lettura = std::make_shared<Lettura>();
    lettura->tipo = tipoScelto();
    lettura->tipoFile = tipoFileScelto();
    lettura->file = file;
    lettura->delimitatore = delimitatore();
    GrigliaModel* modello = lettura->tipo == Tipo::Clienti ? m_modelloClienti : m_modelloFatture;
    // A text file never narrows a grid this frame already shows wider.
    lettura->minimo = modello->griglia() ? modello->griglia()->colonne : 0;
    // The grid the new file replaces is out of sight from here on: letting it go now
    // keeps two large files from being held at once (a run still going keeps its own).
    if (m_modelloErrori->griglia() == modello->griglia()) m_modelloErrori->setGriglia(nullptr);
    modello->setGriglia(nullptr);
    lettura->database = connection().path();
    lettura->thread = QThread::create([l = lettura.get()] {
        try {
            if (l->tipoFile == TipoFile::Fattura) {
                sz::db::Connection propria(l->database);
                l->esito = caricaFattureElettroniche(propria, l->file);
            } else {
                l->esito = caricaFile(l->file.first(), l->tipoFile, l->delimitatore, l->minimo);
            }
        } catch (const sz::Error& e) {
            l->errore = e.message();
        } catch (const std::bad_alloc&) {
            l->esito = {};
            l->errore = troppoGrande(l->file, QStringLiteral("la memoria non basta per leggerlo"));
        } catch (const std::exception& e) {
            l->esito = {};
            l->errore = troppoGrande(l->file, QString::fromLocal8Bit(e.what()));
        } catch (...) {
            l->esito = {};
            l->errore = troppoGrande(l->file, QStringLiteral("lettura interrotta da un errore imprevisto"));
        }
    });
    connect(lettura->thread, &QThread::finished, this, [this, lettura] { fineLettura(lettura); });
    m_lettura = lettura;
    inCaricamento(true);
    lettura->thread->start();
}

void TFrameImportazione::AnnullaCaricamento()
{
    if (!caricamentoInCorso()) return;
    // A reader cannot be stopped halfway: the reading ends on its own and is thrown away.
    m_lasciata = m_lettura;
    m_lettura.reset();
    inCaricamento(false);
}

void TFrameImportazione::inCaricamento(bool si)
{
    for (QWidget* w : std::initializer_list<QWidget*>{RadioGroupTipologia, RadioGroupEstensione, GroupBoxFile,
                                                      ButtonCarica})
        w->setEnabled(!si);
    if (si) {
        RadioGroupDelimitatore->setEnabled(false);
        EditDelimitatore->setEnabled(false);
    } else {
        RadioGroupEstensioneChange();
        // Electronic invoices are offered for documents only.
        RadioGroupEstensione->button(3)->setEnabled(tipoScelto() == Tipo::Fatture);
    }
    ButtonAnnullaCaricamento->setVisible(si);
    ButtonAnnullaCaricamento->setEnabled(si);
    // A reader tells no progress: the gauge runs while it reads.
    Gauge->setRange(0, si ? 0 : 100);
    Gauge->setValue(0);
}

void TFrameImportazione::fineLettura(std::shared_ptr<Lettura> lettura)
{
    attendi(lettura);
    if (lettura == m_lasciata) {
        m_lasciata.reset();
        return;
    }
    if (lettura != m_lettura) return;
    m_lettura.reset();
    inCaricamento(false);
    if (!lettura->errore.isEmpty()) {
        sz::ui::showError(this, lettura->errore);
        return;
    }
    mostraAnteprima(lettura->tipo, std::move(lettura->esito));
}

void TFrameImportazione::mostraAnteprima(Tipo tipo, Caricamento c)
{
    GrigliaModel* modello = tipo == Tipo::Clienti ? m_modelloClienti : m_modelloFatture;
    if (c.elettronica && c.griglia.righe() <= 1) {
        // Nothing to preview: say why, file by file, and stay on the settings.
        QStringList righe = c.scartati.mid(0, 15);
        if (c.scartati.size() > 15)
            righe << QStringLiteral("… e altri %1 file o documenti.").arg(c.scartati.size() - 15);
        sz::ui::showMessage(this, QStringLiteral("ATTENZIONE: nei file scelti non ci sono documenti emessi da "
                                                 "importare.\n\n") +
                                      righe.join(QLatin1Char('\n')));
        return;
    }
    if (!c.avviso.isEmpty() &&
        !sz::ui::askYesNo(this,
                          QStringLiteral("ATTENZIONE: ") + c.avviso +
                              QStringLiteral("\n\nLe righe in cui una di queste celle è tra i dati da "
                                             "importare saranno scartate.\n\nCaricare comunque il file?")))
        return;
    sz::ui::WaitCursor attesa;
    if (tipo == Tipo::Fatture) {
        m_elettronica = c.elettronica;
        m_scartati = c.scartati;
    }
    modello->setGriglia(std::make_shared<const Griglia>(std::move(c.griglia)));
    QTableView* vista = tipo == Tipo::Clienti ? StringGridClienti : StringGridFatture;
    GridColAutoSize(vista);
    vista->scrollToTop();
    riempiListe(tipo);
    QProgressBar* gauge = tipo == Tipo::Clienti ? GaugeClienti : GaugeFatture;
    gauge->setRange(0, std::max(1, modello->griglia()->righe() - 1));
    gauge->setValue(0);
    (tipo == Tipo::Clienti ? ButtonImportaClienti : ButtonImportaFatture)->setEnabled(true);
    Gauge->setRange(0, std::max(1, modello->griglia()->righe()));
    Gauge->setValue(Gauge->maximum());
    PageControl->setCurrentWidget(tipo == Tipo::Clienti ? TabPreviewClienti : TabPreviewFatture);
    if (tipo == Tipo::Fatture && m_elettronica)
        scegli(scelteFatturaElettronica());
    else
        CaricaMappatura();
    DisabilitaImpostazioni();
}

void TFrameImportazione::GridColAutoSize(QTableView* grid)
{
    auto* modello = static_cast<GrigliaModel*>(grid->model());
    const auto& g = modello->griglia();
    if (!g) return;
    const QFontMetrics fm(grid->font());
    const QFontMetrics fmTitoli(grid->horizontalHeader()->font());
    // The widest text of a column, over the header and a sample of rows: the first and
    // the last few hundred and some spread between them, as numbers and names grow along
    // an export. Measuring every cell of a 100,000-row file would hold the window for
    // seconds; only the cells the rows have are measured, and no more than a fixed number.
    QList<int> larghezze(std::max(0, g->colonne - 1), 0);
    const QStringList& titoli = g->celle.isEmpty() ? QStringList() : g->celle.first();
    for (int c = 1; c < titoli.size() && c - 1 < larghezze.size(); ++c)
        larghezze[c - 1] = std::max(larghezze[c - 1], fmTitoli.horizontalAdvance(titoli[c]) + 12);
    const int righe = g->righe() - 1; // after the header
    constexpr int capo = 300, coda = 300, sparse = 400;
    QList<int> campione;
    if (righe <= capo + coda + sparse) {
        for (int r = 1; r <= righe; ++r)
            campione << r;
    } else {
        for (int r = 1; r <= capo; ++r)
            campione << r;
        for (int i = 1; i <= sparse; ++i)
            campione << capo + int(qint64(righe - capo - coda) * i / (sparse + 1));
        for (int r = righe - coda + 1; r <= righe; ++r)
            campione << r;
    }
    qsizetype misurate = 0;
    for (int r : campione) {
        if (misurate >= 50000) break;
        const QStringList& riga = g->celle[r];
        for (int c = 1; c < riga.size() && c - 1 < larghezze.size(); ++c, ++misurate)
            if (!riga[c].isEmpty())
                larghezze[c - 1] = std::max(larghezze[c - 1], fm.horizontalAdvance(riga[c].left(200)));
    }
    for (int c = 0; c < larghezze.size(); ++c)
        grid->setColumnWidth(c, std::clamp(larghezze[c] + 7 + 6, 40, 600));
}

void TFrameImportazione::riempiListe(Tipo tipo)
{
    const auto& g = (tipo == Tipo::Clienti ? m_modelloClienti : m_modelloFatture)->griglia();
    QStringList voci = g && g->righe() > 0 ? g->celle.first() : QStringList{QString()};
    // One entry per title: the mapping finds a column by its text, so twins are one choice.
    voci.removeDuplicates();
    std::sort(voci.begin(), voci.end(),
              [](const QString& a, const QString& b) { return a.localeAwareCompare(b) < 0; });
    for (const Campo& c : campi(tipo)) {
        QComboBox* combo = m_liste.value(c.lista);
        combo->clear();
        combo->addItems(voci);
        combo->setCurrentIndex(-1);
    }
}

void TFrameImportazione::CaricaMappatura()
{
    scegli(sz::importazione::CaricaMappatura(connection(), tipoScelto()));
}

void TFrameImportazione::scegli(const Scelte& salvate)
{
    const Tipo tipo = tipoScelto();
    if (salvate.isEmpty()) return;
    for (const Campo& c : campi(tipo)) {
        QComboBox* combo = m_liste.value(c.lista);
        if (!salvate.contains(c.mappatura)) continue;
        const QString testo = salvate.value(c.mappatura);
        int trovato = -1;
        for (int i = 0; i < combo->count() && trovato < 0; ++i)
            if (combo->itemText(i).compare(testo, Qt::CaseInsensitive) == 0) trovato = i;
        combo->setCurrentIndex(trovato);
    }
}

Scelte TFrameImportazione::scelte(Tipo tipo) const
{
    Scelte s;
    for (const Campo& c : campi(tipo))
        s.insert(c.mappatura, m_liste.value(c.lista)->currentText());
    return s;
}

void TFrameImportazione::aggiornaRipristina()
{
    ButtonRipristina->setEnabled(QFileInfo(percorsoCopia(sz::paths::dataRoot())).isFile());
}

void TFrameImportazione::ButtonImportaClick(Tipo tipo)
{
    if (inCorso()) return;
    QPushButton* pulsante = tipo == Tipo::Clienti ? ButtonImportaClienti : ButtonImportaFatture;
    const auto griglia = (tipo == Tipo::Clienti ? m_modelloClienti : m_modelloFatture)->griglia();
    if (!griglia) return;
    pulsante->setEnabled(false);

    auto corsa = std::make_shared<Corsa>();
    corsa->tipo = tipo;
    corsa->totale = std::max(0, griglia->righe() - 1);
    QProgressBar* gauge = tipo == Tipo::Clienti ? GaugeClienti : GaugeFatture;
    gauge->setRange(0, std::max(1, corsa->totale));
    gauge->setValue(0);
    const Scelte s = scelte(tipo);
    const QString estensione = RadioGroupEstensione->itemCaption(RadioGroupEstensione->itemIndex());
    const QString delim = delimitatoreSalvato();
    // The fixed titles of electronic invoices would replace the mapping the clerk saved
    // for the other document files.
    const bool elettronica = tipo == Tipo::Fatture && m_elettronica;
    const QString percorso = connection().path();
    const QString dati = sz::paths::dataRoot();
    // Everything that grows with the database or the file runs off the window's thread:
    // the copy of a year's register, and the columns looked for in every row.
    corsa->thread = QThread::create([corsa, griglia, s, estensione, delim, elettronica, percorso, dati] {
        try {
            sz::db::Connection propria(percorso);
            // Without a copy the clerk could not go back: no copy, no import.
            try {
                copiaDiSicurezza(propria, dati);
            } catch (...) {
                corsa->senzaCopia = true;
                throw;
            }
            SalvaImpostazione(propria, corsa->tipo, estensione, delim);
            if (!elettronica) SalvaMappatura(propria, corsa->tipo, s);
            Colonne colonne = risolviColonne(*griglia, corsa->tipo, s);
            if (elettronica) aggiungiAnagrafica(colonne, *griglia);
            corsa->esito = importa(propria, corsa->tipo, *griglia, colonne, corsa->annulla,
                                   [&corsa](int fatte, int) { corsa->fatte.store(fatte); });
        } catch (const sz::Error& e) {
            corsa->esito.guasto = e.message();
        } catch (const std::bad_alloc&) {
            corsa->esito.guasto = QStringLiteral("la memoria non basta per l'importazione");
        } catch (const std::exception& e) {
            corsa->esito.guasto = QString::fromLocal8Bit(e.what());
        } catch (...) {
            corsa->esito.guasto = QStringLiteral("l'importazione si è interrotta per un errore imprevisto");
        }
    });
    m_corsa = corsa;
    connect(corsa->thread, &QThread::finished, this, [this, corsa] {
        if (m_corsa == corsa) fineCorsa();
    });
    m_avanzamento->start();
    corsa->thread->start();
}

void TFrameImportazione::fermaCorsa()
{
    if (!m_corsa || !m_corsa->thread) return;
    m_corsa->annulla.store(true);
    m_corsa->lasciata = true;
    m_corsa->thread->wait();
    delete m_corsa->thread;
    m_corsa->thread = nullptr;
    m_avanzamento->stop();
    aggiornaRipristina();
}

void TFrameImportazione::fineCorsa()
{
    auto corsa = m_corsa;
    if (!corsa || !corsa->thread) return;
    corsa->thread->wait();
    delete corsa->thread;
    corsa->thread = nullptr;
    m_avanzamento->stop();
    aggiornaRipristina();
    (corsa->tipo == Tipo::Clienti ? GaugeClienti : GaugeFatture)->setValue(corsa->fatte.load());
    if (corsa->lasciata) return;
    if (!corsa->esito.guasto.isEmpty()) {
        // Without its copy the run never began, and may be tried again; otherwise the rows
        // before the failure are written and the clerk leaves with Annulla.
        if (corsa->senzaCopia)
            (corsa->tipo == Tipo::Clienti ? ButtonImportaClienti : ButtonImportaFatture)->setEnabled(true);
        sz::ui::showError(this, corsa->esito.guasto);
        return;
    }
    mostraRisultato(corsa->tipo, corsa->esito);
}

void TFrameImportazione::mostraRisultato(Tipo tipo, const Esito& esito)
{
    // What loading left out comes first: those files never reached a row.
    const QStringList errori = (tipo == Tipo::Fatture && m_elettronica ? m_scartati : QStringList()) + esito.errori;
    // What the run added to the registers besides the rows (banks named by electronic
    // invoices) follows the outcome.
    const QString aggiunte =
        esito.avvisi.isEmpty() ? QString() : QStringLiteral("\n\n") + esito.avvisi.join(QLatin1Char('\n'));
    if (!errori.isEmpty()) {
        sz::ui::showMessage(
            this, QStringLiteral("La procedura è stata terminata ma sono stati riscontrati alcuni errori.") +
                      aggiunte);
        MemoErrori->setPlainText(errori.join(QLatin1Char('\n')).toUpper());
        m_modelloErrori->setGriglia((tipo == Tipo::Clienti ? m_modelloClienti : m_modelloFatture)->griglia());
        GridColAutoSize(StringGridErrori);
        PageControl->setCurrentWidget(TabErrori);
    } else {
        sz::ui::showMessage(this, (tipo == Tipo::Clienti
                                       ? QStringLiteral("Importazione Clienti effettuata correttamente.")
                                       : QStringLiteral("Importazione Documenti effettuata correttamente.")) +
                                      aggiunte);
        Annulla(tipo);
    }
    aggiornaRipristina();
}

void TFrameImportazione::Annulla(Tipo tipo)
{
    {
        // The row in progress is finished; the ones after it are not read.
        sz::ui::WaitCursor attesa;
        fermaCorsa();
    }
    (tipo == Tipo::Clienti ? ButtonImportaClienti : ButtonImportaFatture)->setEnabled(true);
    AbilitaImpostazioni();
}

void TFrameImportazione::ButtonOKClick()
{
    Annulla(tipoScelto());
}

void TFrameImportazione::ButtonRipristinaClick()
{
    if (!sz::ui::confirm(
            this, QStringLiteral("ATTENZIONE\n\r\n\rLa procedura ripristinerà il sistema alla situazione in "
                                 "cui era prima dell'ultima importazione effettuata perdendo "
                                 "definitivamente tutto il lavoro fatto in seguito. Continuare?")))
        return;
    if (!QFileInfo(percorsoCopia(sz::paths::dataRoot())).isFile()) return;
    {
        sz::ui::WaitCursor attesa;
        ripristina(connection(), sz::paths::dataRoot());
    }
    sz::ui::showMessage(this, QStringLiteral("Ripristino del sistema effettuato correttamente."));
}
