#include "Anagraficaclienti.h"

#include "ClientiLogic.h"
#include "FiltroClienti.h"
#include "GraficoCliente.h"
#include "StatisticheCliente.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Ui.h"
#include "scadenzio/mail/Address.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
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
    : sz::ui::ListEditFrame(QStringLiteral("Anagrafica Clienti"),
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

    Pages pages;
    pages.pagesName = QStringLiteral("sPageControl1");
    QWidget* content = buildPages(m_clienti,
                                  {{"RagioneSociale", "Ragione Sociale"},
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
                                   {"Riferimento", "Riferimento"}},
                                  pages);
    filterEdit()->setMinimumWidth(280);
    const int larghezze[] = {240, 200, 64, 150, 76, 110, 110, 110, 120, 190, 190, 190, 170};
    for (int c = 0; c < 13; ++c)
        grid()->setColumnWidth(c, larghezze[c]);
    creaCampi(content);
    {
        const QSignalBlocker block(m_comboAnno);
        for (int anno : clienti::anniFatture(connection()))
            m_comboAnno->addItem(QString::number(anno));
        m_comboAnno->setCurrentIndex(m_comboAnno->count() > 0 ? 0 : -1);
    }
    binder()->load();
    showList();
} catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
    // The construction still fails: the main window then shows no frame.
}

TFrameAnagraficaClienti::~TFrameAnagraficaClienti()
{
    // The dataset refers to the connection, which the base class releases first.
    delete m_clienti;
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
    binder()->bind(edit, campo);
    auto* label = new QLabel(didascalia, form->parentWidget());
    label->setToolTip(suggerimento);
    label->setBuddy(edit);
    form->addRow(label, edit);
    return edit;
}

void TFrameAnagraficaClienti::creaCampi(QWidget* content)
{
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
}

bool TFrameAnagraficaClienti::dettaglioVisibile() const
{
    return editVisible();
}

QString TFrameAnagraficaClienti::filterFor(const QString& typed) const
{
    return clienti::filtroClienti(typed);
}

QString TFrameAnagraficaClienti::deleteQuestion() const
{
    return domandaElimina;
}

void TFrameAnagraficaClienti::beforeListAction(Navigator::Button b)
{
    if (b == Navigator::Edit)
        CaricaStatistiche();
}

void TFrameAnagraficaClienti::afterListAction(Navigator::Button b)
{
    // The chart of a row not yet written: the empty name matches no credit.
    if (b == Navigator::Insert)
        CaricaStatistiche();
}

void TFrameAnagraficaClienti::checkSave()
{
    m_clienti->withinPost = nullptr;
    if (m_ragioneSociale->text().trimmed().isEmpty()) {
        sz::ui::showMessage(this, messaggioNomeMancante);
        throw sz::db::Abort();
    }
    for (const auto& [colonna, etichetta] : {std::pair{"Mail1", "Mail #1"}, {"Mail2", "Mail #2"}, {"Mail3", "Mail #3"}}) {
        const QString rifiuto = sz::mail::campoMailNonAmmesso(
            QLatin1String(etichetta), m_clienti->value(QLatin1String(colonna)).toString());
        if (!rifiuto.isEmpty()) {
            sz::ui::showMessage(this, rifiuto);
            throw sz::db::Abort();
        }
    }
    const QString rinominaDa = nomeDaRinominare();
    if (!rinominaDa.isEmpty()) {
        const QString nuovo = m_clienti->value(QStringLiteral("RagioneSociale")).toString();
        // With the client's row, in its transaction: both renamed, or neither.
        m_clienti->withinPost = [this, rinominaDa, nuovo](sz::db::Dataset&) {
            clienti::rinominaCrediti(connection(), rinominaDa, nuovo);
        };
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
