#include "Anagraficaclienti.h"

#include "ClientiLogic.h"
#include "FiltroClienti.h"
#include "GraficoCliente.h"
#include "StatisticheCliente.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameAnagraficaClienti);

using sz::ui::Navigator;

namespace {

const QString messaggioNomeMancante =
    QStringLiteral("ATTENZIONE: la ragione sociale risulta mancante. Si prega di compilare il campo richiesto per "
                   "poter effettuare il salvataggio dei dati.");
const QString domandaElimina = QStringLiteral("Il Cliente selezionato sarà eliminato. Continuare?");


} // namespace

TFrameAnagraficaClienti::TFrameAnagraficaClienti(QWidget* parent) try
    : sz::ui::ModuleFrame(QStringLiteral("Anagrafica Clienti"),
                          QStringLiteral("Permette di gestire e registrare i dati societari dei Clienti al fine di "
                                         "essere utilizzati dove richiesto."),
                          parent)
{
    setObjectName(QStringLiteral("FrameAnagraficaClienti"));
    m_clienti = new sz::db::Dataset(connection(), QStringLiteral("t_clienti"), this);
    m_clienti->setObjectName(QStringLiteral("ADOQueryClienti"));
    // No ORDER BY: the list keeps the database's order until the user sorts it.
    m_clienti->setSql(QStringLiteral("SELECT * FROM t_clienti"));
    m_clienti->open();
    m_binder = new sz::ui::FieldBinder(m_clienti, this);

    m_pagine = new QStackedWidget(body());
    m_pagine->setObjectName(QStringLiteral("sPageControl1"));
    m_elenco = creaPaginaElenco();
    m_dettaglio = creaPaginaDettaglio();
    m_pagine->addWidget(m_elenco);
    m_pagine->addWidget(m_dettaglio);
    auto* lay = new QVBoxLayout(body());
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(m_pagine);

    {
        const QSignalBlocker block(m_comboAnno);
        for (int anno : clienti::anniFatture(connection()))
            m_comboAnno->addItem(QString::number(anno));
        m_comboAnno->setCurrentIndex(m_comboAnno->count() > 0 ? 0 : -1);
    }
    m_binder->load();
    MostraElenco();
} catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
    // The construction still fails: the main window then shows no frame.
}

TFrameAnagraficaClienti::~TFrameAnagraficaClienti()
{
    // The dataset refers to the connection, which the base class releases first.
    delete m_clienti;
}

QWidget* TFrameAnagraficaClienti::creaPaginaElenco()
{
    const auto elenco = sz::ui::barPage(m_pagine, QStringLiteral("TabElenco"),
                                        {Navigator::First, Navigator::Prior, Navigator::Next, Navigator::Last,
                                         Navigator::Insert, Navigator::Delete, Navigator::Edit},
                                        m_clienti, QStringLiteral("sDBNavigator1"), true);
    auto* page = elenco.page;
    auto* lay = elenco.layout;
    m_nav1 = elenco.navigator;
    m_nav1->beforeAction = [this](Navigator::Button b) { sDBNavigator1BeforeAction(b); };
    connect(m_nav1, &Navigator::actionDone, this, &TFrameAnagraficaClienti::sDBNavigator1Click);
    m_filtro = elenco.filter;
    m_filtro->setMinimumWidth(280);
    connect(m_filtro, &QLineEdit::textChanged, this, &TFrameAnagraficaClienti::EditFiltroChange);

    m_grid = new sz::ui::Grid(page);
    m_grid->setObjectName(QStringLiteral("sDBGrid1"));
    m_grid->setDataset(m_clienti, {{"RagioneSociale", "Ragione Sociale"},
                                   {"Indirizzo", "Indirizzo"},
                                   {"CAP", "CAP"},
                                   {"Localita", "Localita"},
                                   {"Provincia", "Provincia"},
                                   {"Telefono", "Telefono"},
                                   {"Cell", "Cell."},
                                   {"Fax", "Fax"},
                                   {"IVA", "IVA"},
                                   {"Mail1", "Mail #1"},
                                   {"Mail2", "Mail #2"},
                                   {"Mail3", "Mail #3"},
                                   {"Riferimento", "Riferimento"}});
    const int larghezze[] = {240, 200, 64, 150, 76, 110, 110, 110, 120, 190, 190, 190, 170};
    for (int c = 0; c < 13; ++c)
        m_grid->setColumnWidth(c, larghezze[c]);
    connect(m_grid, &sz::ui::Grid::rowDoubleClicked, this, &TFrameAnagraficaClienti::sDBGrid1DblClick);
    auto* gridBox = new QWidget(page);
    auto* gridLay = new QVBoxLayout(gridBox);
    gridLay->setContentsMargins(12, 10, 12, 12);
    gridLay->addWidget(m_grid);
    lay->addWidget(gridBox, 1);
    return page;
}

QLineEdit* TFrameAnagraficaClienti::aggiungiCampo(QFormLayout* form, const QString& nome, const QString& didascalia,
                                                  const QString& campo, const QString& suggerimento, int lunghezza,
                                                  bool maiuscolo)
{
    auto* edit = new QLineEdit(form->parentWidget());
    edit->setObjectName(nome);
    edit->setMaxLength(lunghezza);
    edit->setToolTip(suggerimento);
    if (maiuscolo)
        sz::ui::makeUpperCase(edit);
    // Short codes get short boxes: a five-digit CAP in a full-width box looks like a mistake.
    if (lunghezza <= 5)
        edit->setMaximumWidth(lunghezza <= 2 ? 56 : 90);
    else if (lunghezza <= 11)
        edit->setMaximumWidth(170);
    m_binder->bind(edit, campo);
    auto* label = new QLabel(didascalia, form->parentWidget());
    label->setToolTip(suggerimento);
    label->setBuddy(edit);
    form->addRow(label, edit);
    return edit;
}

QWidget* TFrameAnagraficaClienti::creaPaginaDettaglio()
{
    const auto dettaglio = sz::ui::barPage(m_pagine, QStringLiteral("TabDettaglio"),
                                           {Navigator::Post, Navigator::Cancel}, m_clienti,
                                           QStringLiteral("sDBNavigator3"), false);
    auto* page = dettaglio.page;
    auto* lay = dettaglio.layout;
    m_nav3 = dettaglio.navigator;
    m_nav3->beforeAction = [this](Navigator::Button b) { sDBNavigator3BeforeAction(b); };

    auto* content = new QWidget(page);
    auto* contentLay = new QHBoxLayout(content);
    contentLay->setContentsMargins(12, 10, 12, 12);
    contentLay->setSpacing(12);

    auto* dati = new QGroupBox(QStringLiteral("Dati del cliente"), content);
    dati->setObjectName(QStringLiteral("GroupDatiCliente"));
    auto* form = new QFormLayout(dati);
    form->setContentsMargins(14, 14, 14, 12);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(7);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    m_ragioneSociale = aggiungiCampo(form, "DBEditRagioneSociale", "Ragione Sociale:", "RagioneSociale",
                                     "Inserire la ragione sociale (campo obbligatorio)", 255, true);
    aggiungiCampo(form, "DBEditIndirizzo", "Indirizzo:", "Indirizzo", "Inserire l'indirizzo", 255, true);
    aggiungiCampo(form, "DBEditCAP", "CAP:", "CAP", "Inserire il CAP", 5, true);
    aggiungiCampo(form, "DBEditLocalita", "Località:", "Localita", "Inserire la località", 255, true);
    aggiungiCampo(form, "DBEditProvincia", "Provincia:", "Provincia", "Inserire la provincia", 2, true);
    aggiungiCampo(form, "DBEditTelefono", "Telefono:", "Telefono", "Inserire il telefono", 255, true);
    aggiungiCampo(form, "DBEditCell", "Cell.:", "Cell", "Inserire il cellulare", 255, true);
    aggiungiCampo(form, "DBEditFax", "Fax:", "Fax", "Inserire il fax", 255, true);
    aggiungiCampo(form, "DBEditIVA", "P. IVA:", "IVA", "Inserire la partita iva", 11, true);
    // The column is 50 wide; the box stops there instead of letting the database refuse.
    aggiungiCampo(form, "DBEditCF", "C. F.:", "CF", "Inserire il codice fiscale", 50, true);
    aggiungiCampo(form, "DBEditMail1", "Mail #1:", "Mail1", "Inserire un indirizzo mail valido", 255, false);
    aggiungiCampo(form, "DBEditMail2", "Mail #2:", "Mail2", "Inserire un indirizzo mail valido", 255, false);
    aggiungiCampo(form, "DBEditMail3", "Mail #3:", "Mail3", "Inserire un indirizzo mail valido", 255, false);
    aggiungiCampo(form, "DBEditRiferimento", "Referente:", "Riferimento",
                  "Inserire la persona di riferimento per la situazione amministrativa (comparirà all'interno "
                  "delle stampe sotto la voce \"Alla c.a.\")",
                  255, true);
    contentLay->addWidget(dati, 5);

    auto* stat = new QGroupBox(QStringLiteral("Situazione del cliente"), content);
    stat->setObjectName(QStringLiteral("GroupStatistiche"));
    auto* statLay = new QVBoxLayout(stat);
    statLay->setContentsMargins(12, 14, 12, 10);
    auto* annoRiga = new QHBoxLayout();
    const QString hintAnno =
        QStringLiteral("\"Spunta\" la voce \"Tutti\" per visualizzare le statistiche complete oppure seleziona dal "
                       "menu a discesa l'anno di interesse per visualizzare le statistiche relative all'anno "
                       "selezionato");
    auto* labelAnno = new QLabel(QStringLiteral("Filtra statistiche per anno:"), stat);
    labelAnno->setObjectName(QStringLiteral("LabelFiltraAnno"));
    labelAnno->setToolTip(hintAnno);
    m_comboAnno = new QComboBox(stat);
    m_comboAnno->setObjectName(QStringLiteral("ComboAnno"));
    m_comboAnno->setEditable(false);
    m_comboAnno->setMinimumWidth(90);
    m_comboAnno->setToolTip(hintAnno);
    labelAnno->setBuddy(m_comboAnno);
    m_tutti = new QCheckBox(QStringLiteral("Tutti"), stat);
    m_tutti->setObjectName(QStringLiteral("CheckTuttiGliAnni"));
    m_tutti->setChecked(false);
    m_tutti->setToolTip(hintAnno);
    annoRiga->addWidget(labelAnno);
    annoRiga->addWidget(m_comboAnno);
    annoRiga->addSpacing(8);
    annoRiga->addWidget(m_tutti);
    annoRiga->addStretch(1);
    statLay->addLayout(annoRiga);
    m_grafico = new GraficoCliente(stat);
    statLay->addWidget(m_grafico, 1);
    connect(m_comboAnno, &QComboBox::currentIndexChanged, this, &TFrameAnagraficaClienti::ComboAnnoChange);
    // clicked covers the mouse and the space bar alike.
    connect(m_tutti, &QCheckBox::clicked, this, &TFrameAnagraficaClienti::CheckTuttiGliAnniClick);
    contentLay->addWidget(stat, 4);

    lay->addWidget(content, 1);
    return page;
}

bool TFrameAnagraficaClienti::dettaglioVisibile() const
{
    return m_pagine->currentWidget() == m_dettaglio;
}

void TFrameAnagraficaClienti::MostraElenco()
{
    m_pagine->setCurrentWidget(m_elenco);
    m_grid->setFocus();
}

void TFrameAnagraficaClienti::MostraDettaglio(QWidget* fuoco)
{
    m_pagine->setCurrentWidget(m_dettaglio);
    if (fuoco)
        fuoco->setFocus();
}

void TFrameAnagraficaClienti::sDBNavigator1BeforeAction(Navigator::Button b)
{
    switch (b) {
    case Navigator::Insert:
        MostraDettaglio(m_ragioneSociale);
        break;
    case Navigator::Delete:
        if (!sz::ui::confirm(this, domandaElimina))
            throw sz::db::Abort();
        break;
    case Navigator::Edit:
        CaricaStatistiche();
        MostraDettaglio(m_ragioneSociale);
        break;
    default:
        break;
    }
}

void TFrameAnagraficaClienti::sDBNavigator1Click(Navigator::Button b)
{
    // The chart of a row not yet written: the empty name matches no credit.
    if (b == Navigator::Insert)
        CaricaStatistiche();
}

void TFrameAnagraficaClienti::sDBNavigator3BeforeAction(Navigator::Button b)
{
    if (b == Navigator::Post) {
        if (m_ragioneSociale->text().trimmed().isEmpty()) {
            sz::ui::showMessage(this, messaggioNomeMancante);
            throw sz::db::Abort();
        }
        const QString rinominaDa = nomeDaRinominare();
        MostraElenco();
        // Written here rather than by the navigator so that a row the database refuses
        // brings the edit page back with the user's typing still in it.
        try {
            const QString nuovo = m_clienti->value(QStringLiteral("RagioneSociale")).toString();
            if (!rinominaDa.isEmpty())
                m_clienti->withinPost = [this, rinominaDa, nuovo](sz::db::Dataset&) {
                    clienti::rinominaCrediti(connection(), rinominaDa, nuovo);
                };
            struct Reset
            {
                sz::db::Dataset* ds;
                ~Reset() { ds->withinPost = nullptr; }
            } reset{m_clienti};
            m_clienti->post();
        } catch (...) {
            MostraDettaglio(m_ragioneSociale);
            throw;
        }
    } else if (b == Navigator::Cancel) {
        MostraElenco();
    }
}

QString TFrameAnagraficaClienti::nomeDaRinominare()
{
    if (m_clienti->state() != sz::db::Dataset::State::Edit)
        return {};
    const int rec = m_clienti->recNo();
    const QString prima = m_clienti->valueAt(rec, m_clienti->fieldIndex(QStringLiteral("RagioneSociale"))).toString();
    const QString dopo = m_clienti->value(QStringLiteral("RagioneSociale")).toString();
    if (prima.isEmpty() || prima == dopo)
        return {};
    const int crediti = clienti::creditiConNome(connection(), prima);
    if (crediti == 0)
        return {};
    const QString domanda =
        QStringLiteral("Il cliente \"%1\" compare in %2. Rinominare anche i crediti in \"%3\"?\n\n"
                       "Rispondendo No i crediti restano intestati al nome precedente e non risulteranno più "
                       "collegati al cliente.")
            .arg(prima, crediti == 1 ? QStringLiteral("1 credito") : QStringLiteral("%1 crediti").arg(crediti), dopo);
    return sz::ui::askYesNo(this, domanda) ? prima : QString();
}

void TFrameAnagraficaClienti::sDBGrid1DblClick()
{
    m_nav1->click(Navigator::Edit);
}

void TFrameAnagraficaClienti::EditFiltroChange(const QString& testo)
{
    m_clienti->setFilter(clienti::filtroClienti(testo));
}

void TFrameAnagraficaClienti::ComboAnnoChange()
{
    CaricaStatistiche();
}

void TFrameAnagraficaClienti::CheckTuttiGliAnniClick()
{
    m_comboAnno->setEnabled(!m_tutti->isChecked());
    CaricaStatistiche();
}

void TFrameAnagraficaClienti::CaricaStatistiche()
{
    std::optional<int> anno;
    if (!m_tutti->isChecked()) {
        bool ok = false;
        const int a = m_comboAnno->currentText().toInt(&ok);
        // No year to choose (no invoice at all): nothing can match.
        anno = ok ? a : 0;
    }
    m_grafico->mostra(clienti::calcolaFigure(connection(), m_clienti->value(QStringLiteral("RagioneSociale")), anno));
}
