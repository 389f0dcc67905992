#include "Gestionecrediti.h"

#include "CreditiLogic.h"
#include "EvidenzeElenco.h"
#include "SospensioneCredito.h"
#include "StoricoComunicazioni.h"
#include "scadenzio/Database.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Interessi.h"
#include "scadenzio/InteressiElenco.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHelpEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameCrediti);

using sz::Money;
using sz::db::Dataset;
using sz::ui::Navigator;
using namespace sz::credits;

namespace {

const QString Trattino = QStringLiteral("-");

QString F(const char* name)
{
    return QString::fromLatin1(name);
}

// Handlers run from signals, where an exception must not reach Qt: a failure is shown
// in the common frame instead.
template <typename Fn> void protetto(QWidget* owner, Fn&& fn)
{
    try {
        fn();
    } catch (const sz::Error& e) {
        sz::ui::showError(owner, e.message());
    }
}

std::optional<Money> importoDi(const QVariant& v)
{
    if (v.userType() == qMetaTypeId<Money>()) return v.value<Money>();
    return std::nullopt;
}

QVariant testoOppureNulla(const QString& text)
{
    const QString t = text.trimmed();
    return t.isEmpty() ? QVariant() : QVariant(t);
}

// A value of the client box. Its width is the layout's, never its text's: a long address
// or mail would otherwise widen the box and shift every field of the page while the clerk
// types. What does not fit ends in "…" and the whole text shows as a tooltip; the label
// still holds the whole text, so selecting and copying it gives all of it.
class TestoCliente : public QLabel
{
public:
    TestoCliente(const QString& text, QWidget* parent) : QLabel(text, parent)
    {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setTextFormat(Qt::PlainText);
    }

    QSize sizeHint() const override { return {0, unaRiga()}; }
    QSize minimumSizeHint() const override { return {0, unaRiga()}; }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        if (intero()) {
            QLabel::paintEvent(e);
            return;
        }
        QPainter p(this);
        const QRect r = contentsRect();
        style()->drawItemText(&p, r, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text().simplified(), Qt::ElideRight, r.width()),
                              foregroundRole());
    }

    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::ToolTip) {
            if (!intero())
                QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), text(), this);
            else
                QToolTip::hideText();
            return true;
        }
        return QLabel::event(e);
    }

private:
    // Shown as it is: on one line, and within the width the layout gave.
    bool intero() const
    {
        return !text().contains(QLatin1Char('\n')) && !text().contains(QLatin1Char('\r')) &&
               fontMetrics().horizontalAdvance(text()) <= contentsRect().width();
    }
    int unaRiga() const
    {
        const QMargins m = contentsMargins();
        return fontMetrics().height() + m.top() + m.bottom();
    }
};

QLabel* etichetta(const QString& text, QWidget* parent, const QString& hint = QString())
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("Etichetta"));
    if (!hint.isEmpty()) l->setToolTip(hint);
    return l;
}

// Column widths that never clip the bold titles.
void adattaColonne(sz::ui::Grid* grid, const int* widths, int count)
{
    QFont bold = grid->horizontalHeader()->font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    for (int c = 0; c < count && c < grid->model()->columnCount(); ++c) {
        const QString title = grid->model()->headerData(c, Qt::Horizontal).toString();
        grid->horizontalHeader()->resizeSection(c, std::max(widths[c], fm.horizontalAdvance(title) + 30));
    }
}

void conSuggerimento(QWidget* w, const char* name, const QString& hint)
{
    w->setObjectName(F(name));
    w->setToolTip(hint);
}

} // namespace

// ---- construction ----------------------------------------------------------------------

TFrameCrediti::TFrameCrediti(QWidget* parent)
try : sz
    ::ui::ModuleFrame(
        QStringLiteral("Registrazione"),
        QStringLiteral("Permette di gestire e registrare i dati relativi ai documenti emessi al "
                       "fine di avere la situazione contabile sotto controllo e procedere con i "
                       "dovuti solleciti in caso di mancata riscossione del credito."),
        parent)
    {
        setObjectName(QStringLiteral("FrameCrediti"));
        // The module is loaded afresh for every frame; a frame built again in the same
        // process (tests) starts unfiltered as well.
        azzeraFiltri();

        ADOQueryCrediti = new Dataset(connection(), QStringLiteral("t_crediti"), this);
        ADOQueryCrediti->setObjectName(QStringLiteral("ADOQueryCrediti"));
        ADOQueryClienti = new Dataset(connection(), QString(), this);
        ADOQueryClienti->setObjectName(QStringLiteral("ADOQueryClienti"));
        ADOQueryBanche = new Dataset(connection(), QString(), this);
        ADOQueryBanche->setObjectName(QStringLiteral("ADOQueryBanche"));
        ADOQueryParametri = new Dataset(connection(), QString(), this);
        ADOQueryParametri->setObjectName(QStringLiteral("ADOQueryParametri"));
        ADOQueryScadenze = new Dataset(connection(), QString(), this);
        ADOQueryScadenze->setObjectName(QStringLiteral("ADOQueryScadenze"));
        ADOQueryCrediti->setSql(SqlCrediti, parametriElenco(sz::oggi()));
        GConInteressi = sz::interessi::leggiImpostazioni(connection()).interessi;
        if (GConInteressi)
            ADOQueryCrediti->afterRead = [this](sz::db::Result& r) {
                m_interessiMancanti = sz::interessi::aggiungiColonne(connection(), r, sz::oggi()).messaggio;
            };
        ADOQueryClienti->setSql(SqlClienti);
        ADOQueryBanche->setSql(SqlBanche);
        ADOQueryParametri->setSql(SqlParametri);
        ADOQueryScadenze->setSql(SqlScadenze, parametriDocumento(QString(), QDate()));

        auto* lay = new QVBoxLayout(body());
        lay->setContentsMargins(0, 0, 0, 0);
        PageControl = new QStackedWidget(body());
        PageControl->setObjectName(QStringLiteral("PageControl"));
        TabElenco = new QWidget(PageControl);
        TabElenco->setObjectName(QStringLiteral("TabElenco"));
        TabDettaglio = new QWidget(PageControl);
        TabDettaglio->setObjectName(QStringLiteral("TabDettaglio"));
        PageControl->addWidget(TabElenco);
        PageControl->addWidget(TabDettaglio);
        lay->addWidget(PageControl);

        m_binder = new sz::ui::FieldBinder(ADOQueryCrediti, this);
        costruisciElenco(TabElenco);
        costruisciDettaglio(TabDettaglio);
        // The captions the save's messages name a box by.
        EditDataFattura->setAccessibleName(QStringLiteral("Data Doc."));
        EditScadenza->setAccessibleName(QStringLiteral("Scadenza"));
        EditImporto->setAccessibleName(QStringLiteral("Importo"));
        EditIncassato->setAccessibleName(QStringLiteral("Incassato"));
        EditNumeroFattura->setAccessibleName(QStringLiteral("N° Doc."));
        EditNote->setAccessibleName(QStringLiteral("Note"));

        ADOQueryCrediti->afterScroll = [this](Dataset& ds) {
            const QString cliente = ds.value(QStringLiteral("Cliente")).toString();
            if (!cliente.isEmpty()) {
                const int i = ComboCliente->findText(cliente, Qt::MatchFixedString);
                if (i >= 0) ComboCliente->setCurrentIndex(i);
            }
        };
        connect(ADOQueryScadenze, &Dataset::currentChanged, this, [this] { MostraTotaleDocumento(); });
        // The other rows of the document lose this instalment from their total in the
        // same transaction as the delete; the list then shows what the database holds.
        ADOQueryCrediti->withinDelete = [this](Dataset& ds, const QVector<QVariant>& riga) {
            auto campo = [&](const char* nome) { return riga.value(ds.fieldIndex(QLatin1String(nome))); };
            const QString numero = campo("NumeroFattura").toString();
            const QDate data = campo("DataFattura").toDate();
            if (!numero.isEmpty() && data.isValid())
                aggiornaDocumento(connection(), numero, data, campo("Stato").toString());
        };
        ADOQueryCrediti->afterDelete = [this](Dataset&) { RileggiCrediti(); };

        ADOQueryCrediti->open();
        aggiornaInteressi();
        ADOQueryClienti->open();
        riempiScelte(ComboCliente, ADOQueryClienti, QStringLiteral("RagioneSociale"));
        riempiScelte(ComboDestinatario, ADOQueryClienti, QStringLiteral("RagioneSociale"));
        ADOQueryBanche->open();
        riempiScelte(ComboBanca, ADOQueryBanche, QStringLiteral("Nome"));
        ADOQueryParametri->open();
        riempiScelte(ComboModalitaPagamento, ADOQueryParametri, QStringLiteral("Modalita"));
        ComboCliente->setCurrentIndex(-1);
        ComboBanca->setCurrentIndex(-1);
        ComboModalitaPagamento->setCurrentIndex(-1);
        ComboDestinatario->setEditText(QString());
        CaricaAnagraficaCliente();
        MostraElenco();
    }
catch (const sz::Error& e) {
    // The frame is not shown; the main window's loader swallows the failure.
    sz::ui::showError(nullptr, e.message());
}

TFrameCrediti::~TFrameCrediti()
{
    // The search of the rules without a window is the plain one again.
    GConInteressi = false;
    // The datasets refer to the connection the base class closes first.
    delete ADOQueryScadenze;
    delete ADOQueryParametri;
    delete ADOQueryBanche;
    delete ADOQueryClienti;
    delete ADOQueryCrediti;
}

void TFrameCrediti::riempiScelte(QComboBox* box, Dataset* list, const QString& field)
{
    const int f = list->fieldIndex(field);
    QStringList names;
    for (int i = 0; i < list->recordCount(); ++i)
        names << list->valueAt(i, f).toString();
    box->addItems(names);
}

void TFrameCrediti::costruisciElenco(QWidget* page)
{
    // The kit's bar: navigator at the left, "Filtra:" at the right, as in every list; the
    // register's own filters (state, due date) on the row below.
    const sz::ui::BarPage elenco =
        sz::ui::barOnPage(page,
                          {Navigator::First, Navigator::Prior, Navigator::Next, Navigator::Last, Navigator::Insert,
                           Navigator::Delete, Navigator::Edit},
                          ADOQueryCrediti, QStringLiteral("sDBNavigator1"), true);
    QVBoxLayout* lay = elenco.layout;
    sDBNavigator1 = elenco.navigator;
    sDBNavigator1->beforeAction = [this](Navigator::Button b) { sDBNavigator1BeforeAction(b); };
    EditFiltro = elenco.filter;
    EditFiltro->setPlaceholderText(QStringLiteral("numero, cliente, destinatario, note o modalità"));
    EditFiltro->setMinimumWidth(200);

    auto* barra = new QWidget(page);
    barra->setObjectName(QStringLiteral("BarraFiltri"));
    barra->setAttribute(Qt::WA_StyledBackground, true);
    barra->setStyleSheet(
        QStringLiteral("QWidget#BarraFiltri { background: #ffffff; border-bottom: 1px solid #d3dce6; }"));
    auto* fl = new QHBoxLayout(barra);
    fl->setContentsMargins(18, 8, 18, 8);
    fl->setSpacing(8);
    fl->addWidget(etichetta(QStringLiteral("Stato:"), barra));
    auto* stati = new QWidget(barra);
    auto* sl = new QHBoxLayout(stati);
    sl->setContentsMargins(0, 0, 0, 0);
    sl->setSpacing(10);
    FiltroAperti = new QRadioButton(QStringLiteral("Aperti"), stati);
    FiltroAperti->setObjectName(QStringLiteral("FiltroAperti"));
    FiltroChiusi = new QRadioButton(QStringLiteral("Chiusi"), stati);
    FiltroChiusi->setObjectName(QStringLiteral("FiltroChiusi"));
    FiltroTutti = new QRadioButton(QStringLiteral("Tutti"), stati);
    FiltroTutti->setObjectName(QStringLiteral("FiltroTutti"));
    FiltroTutti->setChecked(true);
    sl->addWidget(FiltroAperti);
    sl->addWidget(FiltroChiusi);
    sl->addWidget(FiltroTutti);
    fl->addWidget(stati);
    fl->addSpacing(18);
    fl->addWidget(etichetta(QStringLiteral("Scadenza:"), barra));
    EditFiltroScadenza = new sz::ui::DateBox(barra);
    EditFiltroScadenza->setObjectName(QStringLiteral("EditFiltroScadenza"));
    EditFiltroScadenza->setFixedWidth(110);
    fl->addWidget(EditFiltroScadenza);
    fl->addSpacing(18);
    CheckSoloSospesi = new QCheckBox(QStringLiteral("Solo sospesi"), barra);
    CheckSoloSospesi->setObjectName(QStringLiteral("CheckSoloSospesi"));
    CheckSoloSospesi->setToolTip(
        QStringLiteral("Mostra solo i documenti con i solleciti sospesi oggi, per sé o per il Cliente"));
    fl->addWidget(CheckSoloSospesi);
    fl->addStretch(1);
    lay->addWidget(barra);

    for (QRadioButton* r : {FiltroAperti, FiltroChiusi, FiltroTutti})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on) FiltroStatoClick();
        });
    connect(EditFiltro, &QLineEdit::textChanged, this, [this] { EditFiltroChange(); });
    connect(EditFiltroScadenza, &QLineEdit::textChanged, this, [this] { EditFiltroScadenzaChange(); });
    connect(CheckSoloSospesi, &QCheckBox::toggled, this, [this] { CheckSoloSospesiClick(); });

    auto* area = new QWidget(page);
    auto* al = new QVBoxLayout(area);
    al->setContentsMargins(18, 10, 18, 14);
    sDBGrid1 = new sz::ui::Grid(area);
    sDBGrid1->setObjectName(QStringLiteral("sDBGrid1"));
    QList<QPair<QString, QString>> colonne = {{F("NumeroFattura"), QStringLiteral("Documento N°")},
                                              {F("DataFattura"), QStringLiteral("Data Documento")},
                                              {F("Scadenza"), QStringLiteral("Scadenza")},
                                              {F("ImportoParziale"), QStringLiteral("Importo")},
                                              {F("ImportoIncassato"), QStringLiteral("Incassato")},
                                              {F("ImportoResiduo"), QStringLiteral("Residuo")},
                                              {F("Sospensione"), QStringLiteral("Sospensione")},
                                              {F("DataIncasso"), QStringLiteral("Data Incasso")},
                                              {F("TotaleFattura"), QStringLiteral("Tot. Documento")},
                                              {F("ModalitaPagamento"), QStringLiteral("Mod. Pag.")},
                                              {F("Banca"), QStringLiteral("Banca")},
                                              {F("Cliente"), QStringLiteral("Cliente")},
                                              {F("DestinatarioFattura"), QStringLiteral("Destinatario Documento")},
                                              {F("Note"), QStringLiteral("Note")}};
    QList<int> larghezze = {115, 120, 90, 105, 100, 100, 185, 165, 120, 95, 140, 210, 210, 200};
    QList<int> importi = {3, 4, 5, 8};
    if (GConInteressi) {
        // Beside the residual they grow from.
        colonne.insert(6, {sz::interessi::ColonnaInteressi, QStringLiteral("Interessi")});
        colonne.insert(7, {sz::interessi::ColonnaTotaleDovuto, QStringLiteral("Totale dovuto")});
        larghezze.insert(6, 100);
        larghezze.insert(7, 115);
        importi = {3, 4, 5, 6, 7, 10};
    }
    sDBGrid1->setDataset(ADOQueryCrediti, colonne);
    adattaColonne(sDBGrid1, larghezze.constData(), int(larghezze.size()));
    for (int c : std::as_const(importi))
        sDBGrid1->setRightAligned(c);
    m_evidenze = new EvidenzeElenco(sDBGrid1, ADOQueryCrediti);
    if (GConInteressi) {
        // Over an interest cell left empty, which rate is missing and where to enter it.
        // Set after the marks of the list, whose tooltips it comes before.
        sDBGrid1->setTooltipRule([lista = ADOQueryCrediti](int row, const QString& field) {
            if (field != sz::interessi::ColonnaInteressi && field != sz::interessi::ColonnaTotaleDovuto)
                return QString();
            return lista->valueAt(row, lista->fieldIndex(sz::interessi::ColonnaMancante)).toString();
        });
    }
    // "Esporta…" beside the navigator, as in every list of the program: the rows shown,
    // with the filters and the order in force. The search box gives up some of its width
    // for it at the smallest window, and shares what a larger one adds.
    if (auto* barra = qobject_cast<QHBoxLayout*>(sDBNavigator1->parentWidget()->layout())) {
        barra->insertWidget(1, sz::ui::pulsanteEsporta(sDBGrid1, sDBNavigator1->parentWidget()));
        EditFiltro->setMinimumWidth(150);
        barra->setStretchFactor(EditFiltro, 1);
    }
    sz::ui::impostaNomeEsportazione(sDBGrid1, QStringLiteral("Registro crediti"));
    connect(sDBGrid1, &sz::ui::Grid::rowDoubleClicked, this,
            [this] { sDBNavigator1->click(Navigator::Edit); });
    al->addWidget(sDBGrid1);
    LabelInteressi = new QLabel(area);
    LabelInteressi->setObjectName(QStringLiteral("LabelInteressi"));
    LabelInteressi->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
    LabelInteressi->setWordWrap(true);
    LabelInteressi->hide();
    al->addWidget(LabelInteressi);
    lay->addWidget(area, 1);
}

void TFrameCrediti::aggiornaInteressi()
{
    // One line for the whole list: the clerk enters the rate once and every credit gets it.
    LabelInteressi->setText(m_interessiMancanti);
    LabelInteressi->setVisible(GConInteressi && !m_interessiMancanti.isEmpty());
}

QString TFrameCrediti::suggerimento(const sz::ui::Grid* grid, const QModelIndex& cella)
{
    return grid->tooltip(cella);
}

void TFrameCrediti::costruisciDettaglio(QWidget* page)
{
    // Salva and Annulla at the top, in the same bar as on every edit page.
    const sz::ui::BarPage dettaglio =
        sz::ui::barOnPage(page, {Navigator::Post, Navigator::Cancel}, ADOQueryCrediti,
                          QStringLiteral("sDBNavigator3"), false);
    QVBoxLayout* lay = dettaglio.layout;
    sDBNavigator3 = dettaglio.navigator;
    sDBNavigator3->beforeAction = [this](Navigator::Button b) { sDBNavigator3BeforeAction(b); };

    auto* area = new QWidget(page);
    auto* al = new QVBoxLayout(area);
    al->setContentsMargins(18, 6, 18, 10);
    al->setSpacing(8);
    auto* top = new QHBoxLayout();
    top->setSpacing(12);

    // Document data, in the order the user fills them in.
    auto* doc = new QGroupBox(QStringLiteral("Documento"), area);
    auto* g = new QGridLayout(doc);
    g->setContentsMargins(12, 14, 12, 10);
    g->setHorizontalSpacing(8);
    g->setVerticalSpacing(7);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(3, 1);
    g->setColumnStretch(5, 1);

    const QString hNumero = QStringLiteral("Inserire il numero del documento");
    const QString hData = QStringLiteral("Inserire la data di emissione del documento");
    const QString hModalita = QStringLiteral("Inserire la modalità di pagamento");
    const QString hBanca = QStringLiteral("Inserire la banca d'appoggio");
    const QString hCliente =
        QStringLiteral("Selezionare il Cliente (comparirà nell'intestazione delle comunicazioni)");
    const QString hScadenza = QStringLiteral(
        "Indicare la scadenza del documento (o della singola rata se il documento è rateizzato)");
    const QString hImporto =
        QStringLiteral("Inserire l'importo del documento (o della singola scadenza se rateizzato)");
    const QString hIncassato = QStringLiteral("Inserire l'importo incassato");
    const QString hResiduo =
        QStringLiteral("Definisce l'importo residuo ancora da incassare (nessuna interazione da "
                       "parte dell'utente, viene calcolato in automatico dal sistema)");
    const QString hStorico = QStringLiteral("Inserire la data di incasso e relativo storico");
    const QString hNote = QStringLiteral("Inserire eventuali note");
    const QString hDestinatario = QStringLiteral(
        "Selezionare il destinatario del documento (utile nel caso in cui il Cliente gestisce la parte "
        "amministrativa per conto terzi, come ad esempio gli amministratori condominiali)");
    const QString hStato = QStringLiteral("Selezionare lo stato del documento (Aperto=ancora da incassare; "
                                          "Chiuso= incassato.) In caso di documenti "
                                          "rateizzati, lo stato dovrà essere indicato come \"Chiuso\" solo "
                                          "se tutte le scadenze risultano pagate.");

    EditNumeroFattura = new QLineEdit(doc);
    conSuggerimento(EditNumeroFattura, "EditNumeroFattura", hNumero);
    sz::ui::makeUpperCase(EditNumeroFattura);
    EditDataFattura = new sz::ui::DateBox(doc);
    conSuggerimento(EditDataFattura, "EditDataFattura", hData);
    ComboModalitaPagamento = new QComboBox(doc);
    conSuggerimento(ComboModalitaPagamento, "ComboModalitaPagamento", hModalita);
    ComboBanca = new QComboBox(doc);
    conSuggerimento(ComboBanca, "ComboBanca", hBanca);
    ComboCliente = new QComboBox(doc);
    conSuggerimento(ComboCliente, "ComboCliente", hCliente);
    ComboCliente->setMaxVisibleItems(20);
    EditScadenza = new sz::ui::DateBox(doc);
    conSuggerimento(EditScadenza, "EditScadenza", hScadenza);
    EditImporto = new sz::ui::MoneyBox(doc);
    conSuggerimento(EditImporto, "EditImporto", hImporto);
    EditIncassato = new sz::ui::MoneyBox(doc);
    conSuggerimento(EditIncassato, "EditIncassato", hIncassato);
    EditResiduo = new sz::ui::MoneyBox(doc);
    conSuggerimento(EditResiduo, "EditResiduo", hResiduo);
    EditResiduo->setReadOnly(true);
    EditResiduo->setFocusPolicy(Qt::NoFocus);
    EditResiduo->setStyleSheet(QStringLiteral("background: #eef1f4; color: #1f2d3d;"));
    EditDataIncasso = new QLineEdit(doc);
    conSuggerimento(EditDataIncasso, "EditDataIncasso", hStorico);
    EditNote = new QLineEdit(doc);
    conSuggerimento(EditNote, "EditNote", hNote);
    sz::ui::makeUpperCase(EditNote);
    ComboDestinatario = new QComboBox(doc);
    conSuggerimento(ComboDestinatario, "ComboDestinatario", hDestinatario);
    ComboDestinatario->setEditable(true);
    ComboDestinatario->setInsertPolicy(QComboBox::NoInsert);
    ComboDestinatario->setMaxVisibleItems(20);
    sz::ui::makeUpperCase(ComboDestinatario->lineEdit());
    // The choices take the width of their column, not of their longest name: a long
    // client name would otherwise widen the page past the window.
    for (QComboBox* c : {ComboModalitaPagamento, ComboBanca, ComboCliente, ComboDestinatario}) {
        c->setSizePolicy(QSizePolicy::Ignored, c->sizePolicy().verticalPolicy());
        c->setMinimumWidth(c->fontMetrics().averageCharWidth() * 14);
    }
    auto* stato = new QWidget(doc);
    stato->setToolTip(hStato);
    auto* stl = new QHBoxLayout(stato);
    stl->setContentsMargins(0, 0, 0, 0);
    stl->setSpacing(14);
    RadioAperto = new QRadioButton(QStringLiteral("Aperto"), stato);
    conSuggerimento(RadioAperto, "RadioAperto", hStato);
    RadioChiuso = new QRadioButton(QStringLiteral("Chiuso"), stato);
    conSuggerimento(RadioChiuso, "RadioChiuso", hStato);
    RadioAperto->setChecked(true);
    stl->addWidget(RadioAperto);
    stl->addWidget(RadioChiuso);
    stl->addStretch(1);

    int r = 0;
    g->addWidget(etichetta(QStringLiteral("N° Doc.:"), doc, hNumero), r, 0);
    g->addWidget(EditNumeroFattura, r, 1);
    g->addWidget(etichetta(QStringLiteral("Data Doc.:"), doc, hData), r, 2);
    g->addWidget(EditDataFattura, r, 3);
    ++r;
    g->addWidget(etichetta(QStringLiteral("Mod. Pag.:"), doc, hModalita), r, 0);
    g->addWidget(ComboModalitaPagamento, r, 1);
    g->addWidget(etichetta(QStringLiteral("Banca:"), doc, hBanca), r, 2);
    g->addWidget(ComboBanca, r, 3, 1, 3);
    ++r;
    g->addWidget(etichetta(QStringLiteral("Cliente:"), doc, hCliente), r, 0);
    g->addWidget(ComboCliente, r, 1, 1, 5);
    ++r;
    g->addWidget(etichetta(QStringLiteral("Scadenza:"), doc, hScadenza), r, 0);
    g->addWidget(EditScadenza, r, 1);
    ++r;
    g->addWidget(etichetta(QStringLiteral("Importo:"), doc, hImporto), r, 0);
    g->addWidget(EditImporto, r, 1);
    g->addWidget(etichetta(QStringLiteral("Incassato:"), doc, hIncassato), r, 2);
    g->addWidget(EditIncassato, r, 3);
    g->addWidget(etichetta(QStringLiteral("Residuo:"), doc, hResiduo), r, 4);
    g->addWidget(EditResiduo, r, 5);
    ++r;
    g->addWidget(etichetta(QStringLiteral("Incassato il:"), doc, hStorico), r, 0);
    g->addWidget(EditDataIncasso, r, 1, 1, 5);
    ++r;
    g->addWidget(etichetta(QStringLiteral("Note:"), doc, hNote), r, 0);
    g->addWidget(EditNote, r, 1, 1, 5);
    ++r;
    g->addWidget(etichetta(QStringLiteral("Dest. Doc.:"), doc, hDestinatario), r, 0);
    g->addWidget(ComboDestinatario, r, 1, 1, 5);
    ++r;
    g->addWidget(etichetta(QStringLiteral("Stato:"), doc, hStato), r, 0);
    g->addWidget(stato, r, 1, 1, 5);
    ++r;
    m_sospensione = new SospensioneCredito(doc, g, r);
    g->setRowStretch(r, 1);
    top->addWidget(doc, 3);

    auto* destra = new QVBoxLayout();
    destra->setSpacing(8);
    destra->addWidget(costruisciDettagliCliente());
    destra->addWidget(costruisciFasi());
    destra->addStretch(1);
    top->addLayout(destra, 2);
    al->addLayout(top);

    // The instalments and the letters share the bottom of the page as two tabs: both lists
    // keep a useful height at the window's usual size.
    TabDocumento = new QTabWidget(area);
    TabDocumento->setObjectName(QStringLiteral("TabDocumento"));
    auto* rate = new QWidget(TabDocumento);
    rate->setObjectName(QStringLiteral("TabRate"));
    auto* rl = new QVBoxLayout(rate);
    rl->setContentsMargins(10, 10, 10, 8);
    rl->setSpacing(6);
    sDBGrid2 = new sz::ui::Grid(rate);
    sDBGrid2->setObjectName(QStringLiteral("sDBGrid2"));
    sDBGrid2->setDataset(ADOQueryScadenze, {{F("Scadenza"), QStringLiteral("Scadenza")},
                                            {F("ImportoParziale"), QStringLiteral("Importo")},
                                            {F("Note"), QStringLiteral("Note")},
                                            {F("Pagato"), QStringLiteral("Pagato")}});
    const int larghezzeRate[] = {110, 130, 460};
    adattaColonne(sDBGrid2, larghezzeRate, int(std::size(larghezzeRate)));
    sDBGrid2->setRightAligned(1);
    sDBGrid2->setMinimumHeight(110);
    rl->addWidget(sDBGrid2, 1);
    auto* tot = new QHBoxLayout();
    tot->addStretch(1);
    tot->addWidget(etichetta(QStringLiteral("Importo Totale Documento:"), rate));
    LabelImportoTotale = new QLabel(Trattino, rate);
    LabelImportoTotale->setObjectName(QStringLiteral("LabelImportoTotale"));
    LabelImportoTotale->setMinimumWidth(110);
    LabelImportoTotale->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelImportoTotale->setStyleSheet(QStringLiteral("font-weight: 600; font-size: 11pt; color: #1f4e79;"));
    tot->addWidget(LabelImportoTotale);
    rl->addLayout(tot);
    TabDocumento->addTab(rate, QStringLiteral("Elenco scadenze relative al documento selezionato (rate)"));
    m_storico = new StoricoComunicazioni(TabDocumento);
    TabDocumento->addTab(m_storico, QString());
    connect(m_storico, &StoricoComunicazioni::righeCambiate, this, [this] { MostraStorico(); });
    MostraStorico();
    al->addWidget(TabDocumento, 1);
    lay->addWidget(area, 1);

    m_binder->bind(EditNumeroFattura, F("NumeroFattura"));
    m_binder->bind(EditDataFattura, F("DataFattura"));
    m_binder->bind(EditScadenza, F("Scadenza"));
    m_binder->bind(EditImporto, F("Importo"));
    m_binder->bind(EditIncassato, F("Incassato"));
    m_binder->bind(EditResiduo, F("Residuo"));
    m_binder->bind(EditNote, F("Note"));
    m_sospensione->lega(m_binder);

    connect(EditImporto, &QLineEdit::textEdited, this, [this] { EditImportoChange(); });
    connect(EditIncassato, &QLineEdit::textEdited, this, [this] { EditIncassatoChange(); });
    connect(ComboCliente, &QComboBox::activated, this, [this] { CaricaAnagraficaCliente(); });
    EditNumeroFattura->installEventFilter(this);
    EditDataFattura->installEventFilter(this);
    ComboCliente->installEventFilter(this);
    // The combo box, not its line edit: the line edit hands its focus to the box and
    // only hears of it by direct calls, which no event filter sees.
    ComboDestinatario->installEventFilter(this);

    QWidget* ordine[] = {EditNumeroFattura, EditDataFattura,   ComboModalitaPagamento,
                         ComboBanca,        ComboCliente,      EditScadenza,
                         EditImporto,       EditIncassato,     EditDataIncasso,
                         EditNote,          ComboDestinatario, RadioAperto,
                         RadioChiuso,       m_sospensione->CheckSospendiSolleciti,
                         m_sospensione->EditSospesoFino, m_sospensione->EditMotivoSospensione};
    for (size_t i = 1; i < std::size(ordine); ++i)
        QWidget::setTabOrder(ordine[i - 1], ordine[i]);
}

QWidget* TFrameCrediti::costruisciDettagliCliente()
{
    auto* box = new QGroupBox(QStringLiteral("Dettagli Cliente"));
    box->setObjectName(QStringLiteral("GroupDettagliCliente"));
    auto* g = new QGridLayout(box);
    g->setContentsMargins(12, 14, 12, 10);
    g->setHorizontalSpacing(8);
    g->setVerticalSpacing(5);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(3, 1);
    auto valore = [box](const char* name) {
        auto* l = new TestoCliente(Trattino, box);
        l->setObjectName(F(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setStyleSheet(QStringLiteral("color: #1f2d3d; font-weight: normal;"));
        return l;
    };
    auto nome = [box](const QString& t) {
        auto* l = new QLabel(t, box);
        l->setStyleSheet(QStringLiteral("color: #5a6a7a; font-weight: normal;"));
        return l;
    };
    LabelIndirizzo = valore("LabelIndirizzo");
    LabelLocalitaProv = valore("LabelLocalitaProv");
    LabelIndirizzo->setStyleSheet(QStringLiteral("color: #1f2d3d; font-weight: 600;"));
    g->addWidget(LabelIndirizzo, 0, 0, 1, 4);
    g->addWidget(LabelLocalitaProv, 1, 0, 1, 4);

    static const char* nomi[] = {"LabelIVA",   "LabelCF",    "LabelTelefono", "LabelCell",     "LabelFax",
                                 "LabelMail1", "LabelMail2", "LabelMail3",    "LabelReferente"};
    static const char* titoli[] = {"P.IVA",   "C.F.",    "Tel.",    "Cell.",     "Fax",
                                   "Mail #1", "Mail #2", "Mail #3", "Referente:"};
    for (size_t i = 0; i < m_dettagli.size(); ++i)
        m_dettagli[i] = valore(nomi[i]);
    // Two short values a line, the mail addresses and the contact on lines of their own.
    const int pairs[][2] = {{0, 1}, {2, 3}, {4, -1}};
    int row = 2;
    for (const auto& p : pairs) {
        g->addWidget(nome(QString::fromUtf8(titoli[p[0]])), row, 0);
        g->addWidget(m_dettagli[size_t(p[0])], row, 1);
        if (p[1] >= 0) {
            g->addWidget(nome(QString::fromUtf8(titoli[p[1]])), row, 2);
            g->addWidget(m_dettagli[size_t(p[1])], row, 3);
        }
        ++row;
    }
    for (int i : {5, 6, 7, 8}) {
        g->addWidget(nome(QString::fromUtf8(titoli[i])), row, 0);
        g->addWidget(m_dettagli[size_t(i)], row, 1, 1, 3);
        ++row;
    }
    return box;
}

QWidget* TFrameCrediti::costruisciFasi()
{
    auto* box = new QGroupBox(QStringLiteral("Preavviso e solleciti emessi"));
    box->setObjectName(QStringLiteral("GroupSolleciti"));
    auto* g = new QGridLayout(box);
    g->setContentsMargins(12, 14, 12, 10);
    g->setHorizontalSpacing(8);
    g->setVerticalSpacing(6);
    static const char* didascalie[] = {"Preavviso:", "1° Sollecito:", "2° Sollecito:", "3° Sollecito:"};
    static const char* campi[] = {"DataPreavviso", "DataSollecito1", "DataSollecito2", "DataSollecito3"};
    static const char* bottoni[] = {"ButtonAnnullaPreavviso", "ButtonAnnullaSollecito1",
                                    "ButtonAnnullaSollecito2", "ButtonAnnullaSollecito3"};
    const QString hints[] = {
        QStringLiteral("Se presente, indica la data di creazione del preavviso (situazione contabile)"),
        QStringLiteral("Se presente, indica la data di creazione del 1° sollecito"),
        QStringLiteral("Se presente, indica la data di creazione del 2° sollecito"),
        QStringLiteral("Se presente, indica la data di creazione del 3° sollecito")};
    for (int i = 0; i < 4; ++i) {
        auto* l = new QLabel(QString::fromUtf8(didascalie[i]), box);
        l->setStyleSheet(QStringLiteral("font-weight: normal; color: #1f2d3d;"));
        l->setToolTip(hints[i]);
        g->addWidget(l, i, 0);
        auto* d = new sz::ui::DateBox(box);
        conSuggerimento(d, campi[i], hints[i]);
        d->setReadOnly(true);
        d->setFocusPolicy(Qt::NoFocus);
        d->setFixedWidth(110);
        d->setStyleSheet(QStringLiteral("background: #eef1f4; color: #1f2d3d; font-weight: normal;"));
        g->addWidget(d, i, 1);
        auto* b = new QPushButton(QStringLiteral("Annulla emissione"), box);
        b->setObjectName(F(bottoni[i]));
        b->setEnabled(false);
        b->setCursor(Qt::PointingHandCursor);
        b->setStyleSheet(QStringLiteral("font-weight: normal;"));
        g->addWidget(b, i, 2);
        m_dateFasi[size_t(i)] = d;
        m_annullaFasi[size_t(i)] = b;
    }
    g->setColumnStretch(3, 1);
    connect(m_annullaFasi[0], &QPushButton::clicked, this, [this] { ButtonAnnullaPreavvisoClick(); });
    connect(m_annullaFasi[1], &QPushButton::clicked, this, [this] { ButtonAnnullaSollecito1Click(); });
    connect(m_annullaFasi[2], &QPushButton::clicked, this, [this] { ButtonAnnullaSollecito2Click(); });
    connect(m_annullaFasi[3], &QPushButton::clicked, this, [this] { ButtonAnnullaSollecito3Click(); });
    return box;
}

// ---- pages -------------------------------------------------------------------------------

bool TFrameCrediti::paginaDettaglio() const
{
    return PageControl->currentWidget() == TabDettaglio;
}

void TFrameCrediti::MostraElenco()
{
    PageControl->setCurrentWidget(TabElenco);
}

void TFrameCrediti::MostraDettaglio()
{
    PageControl->setCurrentWidget(TabDettaglio);
    EditNumeroFattura->setFocus();
}

bool TFrameCrediti::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && paginaDettaglio()) {
        if (watched == EditNumeroFattura)
            EditNumeroFatturaExit();
        else if (watched == EditDataFattura)
            EditDataFatturaExit();
    } else if (event->type() == QEvent::FocusIn && watched == ComboDestinatario) {
        CaricaDestinatarioFattura();
    } else if (event->type() == QEvent::KeyRelease && watched == ComboCliente) {
        CaricaAnagraficaCliente();
    }
    return sz::ui::ModuleFrame::eventFilter(watched, event);
}

// ---- filters -------------------------------------------------------------------------------

void TFrameCrediti::FiltroStatoClick()
{
    if (FiltroAperti->isChecked())
        GFiltroStato = clausolaStato(SceltaStato::Aperti);
    else if (FiltroChiusi->isChecked())
        GFiltroStato = clausolaStato(SceltaStato::Chiusi);
    else
        GFiltroStato = clausolaStato(SceltaStato::Tutti);
    GestisciFiltro();
}

void TFrameCrediti::EditFiltroScadenzaChange()
{
    GFiltroScadenza = clausolaScadenza(EditFiltroScadenza->maskedText());
    GestisciFiltro();
}

void TFrameCrediti::EditFiltroChange()
{
    GFiltroEdit = clausolaTesto(EditFiltro->text());
    GestisciFiltro();
}

void TFrameCrediti::CheckSoloSospesiClick()
{
    GFiltroSospesi = clausolaSospesi(CheckSoloSospesi->isChecked());
    GestisciFiltro();
}

void TFrameCrediti::GestisciFiltro()
{
    sz::ui::WaitCursor attesa;
    protetto(this, [this] {
        ADOQueryCrediti->setFilter(
            componiFiltro(GFiltroStato, GFiltroScadenza, GFiltroEdit, EditFiltro->text(), GFiltroSospesi));
    });
}

void TFrameCrediti::RileggiCrediti()
{
    ADOQueryCrediti->setParams(parametriElenco(sz::oggi()));
    ADOQueryCrediti->requery();
    aggiornaInteressi();
}

void TFrameCrediti::MostraStorico()
{
    const int n = m_storico->righe();
    TabDocumento->setTabText(TabDocumento->indexOf(m_storico), n > 0 ? QStringLiteral("Storico comunicazioni (%1)").arg(n)
                                                                     : QStringLiteral("Storico comunicazioni"));
}

// ---- navigator actions ----------------------------------------------------------------------

void TFrameCrediti::sDBNavigator1BeforeAction(Navigator::Button button)
{
    switch (button) {
    case Navigator::Insert:
        Nuovo();
        break;
    case Navigator::Edit:
        Modifica();
        break;
    case Navigator::Delete:
        Elimina();
        break;
    default:
        break;
    }
}

void TFrameCrediti::sDBNavigator3BeforeAction(Navigator::Button button)
{
    if (button == Navigator::Cancel) {
        MostraElenco();
        return;
    }
    if (button == Navigator::Post) {
        // The frame writes the row itself, in one transaction with the state and the
        // total of its document; the navigator's own post is then not needed.
        Salva();
        throw sz::db::Abort{};
    }
}

void TFrameCrediti::Nuovo()
{
    ComboModalitaPagamento->setCurrentIndex(-1);
    ComboCliente->setCurrentIndex(-1);
    ComboBanca->setCurrentIndex(-1);
    ComboDestinatario->setEditText(QString());
    EditDataIncasso->clear();
    m_storicoSalvato.clear();
    m_incassatoSalvato.reset();
    CaricaAnagraficaCliente();
    ADOQueryScadenze->close();
    LabelImportoTotale->setText(Trattino);
    RadioAperto->setChecked(true);
    for (size_t i = 0; i < 4; ++i) {
        m_dateFasi[i]->clear();
        m_annullaFasi[i]->setEnabled(false);
    }
    m_sospensione->dimentica();
    m_storico->svuota();
    TabDocumento->setCurrentIndex(0);
    MostraDettaglio();
}

void TFrameCrediti::Modifica()
{
    Dataset* ds = ADOQueryCrediti;
    if (ds->value(QStringLiteral("ID")).isValid())
        CaricaScadenze(ds->value(QStringLiteral("NumeroFattura")).toString(),
                       ds->value(QStringLiteral("DataFattura")).toDate());
    ScegliVoce(ComboModalitaPagamento, ds->value(QStringLiteral("ModalitaPagamento")).toString());
    ScegliVoce(ComboBanca, ds->value(QStringLiteral("Banca")).toString());
    const QString cliente = ds->value(QStringLiteral("Cliente")).toString();
    ScegliVoce(ComboCliente, cliente);
    CaricaAnagraficaCliente();

    m_storicoSalvato = ds->value(QStringLiteral("DataIncasso")).toString();
    m_incassatoSalvato = importoDi(ds->value(QStringLiteral("Incassato")));
    EditDataIncasso->setText(m_storicoSalvato.trimmed());

    const QString stato = ds->value(QStringLiteral("Stato")).toString();
    if (stato == StatoAperta)
        RadioAperto->setChecked(true);
    else if (stato == StatoChiusa)
        RadioChiuso->setChecked(true);

    for (size_t i = 0; i < 4; ++i)
        m_dateFasi[i]->setDate(ds->value(ColonneFasi[i]).toDate());

    const QString destinatario = ds->value(QStringLiteral("DestinatarioFattura")).toString();
    ComboDestinatario->setEditText(destinatario.isEmpty() ? cliente : destinatario);

    GestisciAnnullamentoEmissioni();
    m_sospensione->ricorda(*ds);
    const qint64 id = ds->value(QStringLiteral("ID")).toLongLong();
    m_storico->svuota();
    protetto(this, [&] { m_storico->carica(connection(), id); });
    MostraDettaglio();
}

void TFrameCrediti::Elimina()
{
    if (!sz::ui::confirm(this, QStringLiteral("Il credito selezionato sarà eliminato. Continuare?")))
        throw sz::db::Abort{};
}

void TFrameCrediti::Salva()
{
    Dataset* ds = ADOQueryCrediti;
    const QDate oggi = sz::oggi();
    m_sospensione->preparaSalvataggio(*ds, oggi);
    auto scelta = [](QComboBox* box) { return box->currentIndex() >= 0 ? box->currentText() : QString(); };
    ds->setValue(QStringLiteral("Cliente"), testoOppureNulla(scelta(ComboCliente)));
    ds->setValue(QStringLiteral("ModalitaPagamento"), testoOppureNulla(scelta(ComboModalitaPagamento)));
    ds->setValue(QStringLiteral("Banca"), testoOppureNulla(scelta(ComboBanca)));
    ds->setValue(QStringLiteral("DestinatarioFattura"), testoOppureNulla(ComboDestinatario->currentText()));
    ds->setValue(QStringLiteral("DataIncasso"), testoOppureNulla(EditDataIncasso->text()));

    // From the row rather than the boxes: the boxes round to cents, an imported amount
    // may not be.
    const auto importo = importoDi(ds->value(QStringLiteral("Importo")));
    const auto incassato = importoDi(ds->value(QStringLiteral("Incassato")));
    ds->setValue(QStringLiteral("Pagato"),
                 statoPagamento(importo, incassato, ds->value(QStringLiteral("Pagato")).toString()));
    ds->setValue(QStringLiteral("Residuo"), QVariant::fromValue(residuo(importo, incassato)));

    // Only a box left empty takes today; a date that does not read stops the save.
    if (EditDataFattura->isBlank()) ds->setValue(QStringLiteral("DataFattura"), oggi);
    if (EditScadenza->isBlank()) ds->setValue(QStringLiteral("Scadenza"), oggi);
    for (size_t i = 0; i < 4; ++i)
        if (!contieneData(m_dateFasi[i]->maskedText())) ds->setValue(ColonneFasi[i], QVariant());

    // The document is the one the row is written with: its number and its date as
    // saved (today's date when the box was left empty).
    const QString numero = ds->value(QStringLiteral("NumeroFattura")).toString();
    const QDate data = ds->value(QStringLiteral("DataFattura")).toDate();
    const QString stato = RadioChiuso->isChecked() ? StatoChiusa : StatoAperta;
    // The row carries its own state and total too: a row without a number belongs to
    // no document the update below can find, and must not stay without either.
    ds->setValue(QStringLiteral("Stato"), stato);
    if (ds->value(QStringLiteral("ImportoTotale")).isNull() || numero.isEmpty())
        ds->setValue(QStringLiteral("ImportoTotale"), QVariant::fromValue(importo.value_or(Money())));

    MostraElenco();
    try {
        sz::db::Transaction tx(connection());
        ds->post();
        ADOQueryCreditiAfterPost(numero, data, stato);
        tx.commit();
    } catch (const sz::Error&) {
        if (ds->state() == Dataset::State::Edit || ds->state() == Dataset::State::Insert) {
            // The row was not written: the user's typing is still there to correct.
            MostraDettaglio();
        } else {
            // The row reached the list but the transaction was undone: show what the
            // database holds.
            try {
                RileggiCrediti();
            } catch (const sz::Error&) {
            }
        }
        throw;
    }
    RileggiCrediti();
}

bool TFrameCrediti::hasUnsavedChanges() const
{
    return ADOQueryCrediti && ADOQueryCrediti->isModified();
}

bool TFrameCrediti::saveChanges()
{
    return !hasUnsavedChanges() || sDBNavigator3->click(Navigator::Post);
}

void TFrameCrediti::discardChanges()
{
    if (hasUnsavedChanges())
        sDBNavigator3->click(Navigator::Cancel);
}

void TFrameCrediti::ADOQueryCreditiAfterPost(const QString& numero, const QDate& data, const QString& stato)
{
    aggiornaDocumento(connection(), numero, data, stato);
}

// ---- edit page ---------------------------------------------------------------------------------

void TFrameCrediti::ScegliVoce(QComboBox* box, const QString& text)
{
    if (text.isEmpty()) {
        box->setCurrentIndex(-1);
        return;
    }
    int i = box->findText(text, Qt::MatchFixedString);
    if (i < 0) {
        // A name no longer in its registry stays on the row: saving it would
        // otherwise write an empty value over it.
        box->addItem(text);
        i = box->count() - 1;
    }
    box->setCurrentIndex(i);
}

void TFrameCrediti::CaricaScadenze(const QString& numero, const QDate& data)
{
    ADOQueryScadenze->close();
    ADOQueryScadenze->setParams(parametriDocumento(numero, data));
    if (!numero.isEmpty() && data.isValid()) ADOQueryScadenze->open();
    MostraTotaleDocumento();
}

void TFrameCrediti::MostraTotaleDocumento()
{
    QString totale;
    if (ADOQueryScadenze->isOpen() && ADOQueryScadenze->recNo() >= 0)
        totale = ADOQueryScadenze->value(QStringLiteral("TotaleFattura")).toString();
    LabelImportoTotale->setText(totale.isEmpty() ? Trattino : totale);
}

void TFrameCrediti::EditNumeroFatturaExit()
{
    LeggiDocumentoDigitato();
}

void TFrameCrediti::EditDataFatturaExit()
{
    LeggiDocumentoDigitato();
}

void TFrameCrediti::LeggiDocumentoDigitato()
{
    const QString numero = EditNumeroFattura->text();
    if (numero.isEmpty() || EditDataFattura->maskedText() == sz::dates::EmptyMask) return;
    sz::ui::WaitCursor attesa;
    protetto(this, [&] {
        CaricaScadenze(numero, EditDataFattura->date());
        if (ADOQueryScadenze->isOpen() && !ADOQueryScadenze->isEmpty()) {
            const int f = 0;
            auto primo = [&](const char* field) {
                return ADOQueryScadenze->valueAt(f, ADOQueryScadenze->fieldIndex(F(field))).toString();
            };
            ScegliVoce(ComboModalitaPagamento, primo("ModalitaPagamento"));
            ScegliVoce(ComboBanca, primo("Banca"));
            ScegliVoce(ComboCliente, primo("Cliente"));
            CaricaAnagraficaCliente();
        } else {
            LabelImportoTotale->setText(Trattino);
        }
    });
}

void TFrameCrediti::AggiornaResiduo()
{
    const Money r = residuo(EditImporto->money(), EditIncassato->money());
    EditResiduo->setMoney(r);
    const auto st = ADOQueryCrediti->state();
    if (st == Dataset::State::Edit || st == Dataset::State::Insert)
        ADOQueryCrediti->setValue(QStringLiteral("Residuo"), QVariant::fromValue(r));
}

void TFrameCrediti::EditImportoChange()
{
    protetto(this, [this] { AggiornaResiduo(); });
}

void TFrameCrediti::EditIncassatoChange()
{
    protetto(this, [this] { AggiornaResiduo(); });
    EditDataIncasso->setText(storicoIncassi(m_storicoSalvato, m_incassatoSalvato, EditIncassato->money(),
                                            EditIncassato->text(), sz::oggi()));
}

void TFrameCrediti::CaricaAnagraficaCliente()
{
    const QString nome = ComboCliente->currentIndex() >= 0 ? ComboCliente->currentText() : QString();
    bool trovato = false;
    if (!nome.trimmed().isEmpty()) {
        protetto(this, [&] {
            trovato =
                ADOQueryClienti->isOpen() && ADOQueryClienti->locate(QStringLiteral("RagioneSociale"), nome);
        });
    } else {
        ComboDestinatario->setEditText(QString());
    }
    auto campo = [&](const char* field) {
        const QString v = trovato ? ADOQueryClienti->value(F(field)).toString().trimmed() : QString();
        return v.isEmpty() ? Trattino : v;
    };
    LabelIndirizzo->setText(campo("Indirizzo"));
    const QString lp = trovato ? localitaProv(ADOQueryClienti->value(F("CAP")).toString(),
                                              ADOQueryClienti->value(F("Localita")).toString(),
                                              ADOQueryClienti->value(F("Provincia")).toString())
                               : QString();
    LabelLocalitaProv->setText(lp.trimmed().isEmpty() ? Trattino : lp);
    static const char* campi[] = {"IVA",   "CF",    "Telefono", "Cell",       "Fax",
                                  "Mail1", "Mail2", "Mail3",    "Riferimento"};
    for (size_t i = 0; i < m_dettagli.size(); ++i)
        m_dettagli[i]->setText(campo(campi[i]));
    const QDate fino = trovato ? ADOQueryClienti->value(F("SospesoFino")).toDate() : QDate();
    m_sospensione->mostraCliente(
        trovato && sospensioneInVigore(ADOQueryClienti->value(F("SospendiSolleciti")).toBool(), fino, sz::oggi()), fino,
        trovato ? ADOQueryClienti->value(F("MotivoSospensione")).toString() : QString());
}

void TFrameCrediti::CaricaDestinatarioFattura()
{
    // The chosen client, not whichever row the client list happened to stand on.
    if (ComboDestinatario->currentText().trimmed().isEmpty() && ComboCliente->currentIndex() >= 0)
        ComboDestinatario->setEditText(ComboCliente->currentText());
}

// ---- issued stages ----------------------------------------------------------------------------

void TFrameCrediti::GestisciAnnullamentoEmissioni()
{
    std::array<bool, 4> conData{};
    for (size_t i = 0; i < 4; ++i)
        conData[i] = contieneData(m_dateFasi[i]->maskedText());
    const int attiva = faseAnnullabile(conData);
    for (int i = 0; i < 4; ++i)
        m_annullaFasi[size_t(i)]->setEnabled(i == attiva);
}

void TFrameCrediti::AnnullaFase(int fase)
{
    m_dateFasi[size_t(fase)]->clear();
    GestisciAnnullamentoEmissioni();
}

void TFrameCrediti::ButtonAnnullaPreavvisoClick()
{
    AnnullaFase(0);
}

void TFrameCrediti::ButtonAnnullaSollecito1Click()
{
    AnnullaFase(1);
}

void TFrameCrediti::ButtonAnnullaSollecito2Click()
{
    AnnullaFase(2);
}

void TFrameCrediti::ButtonAnnullaSollecito3Click()
{
    AnnullaFase(3);
}
