#include "Anagraficaclienti.h"

#include "ClientiLogic.h"
#include "FiltroClienti.h"
#include "GraficoCliente.h"
#include "StatisticheCliente.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Ui.h"
#include "scadenzio/mail/Address.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QToolTip>
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
    // In the order the clients were entered until the user sorts it.
    m_clienti->setSql(clienti::sqlClienti, clienti::parametriClienti(sz::oggi()));
    m_clienti->open();

    Pages pages;
    pages.pagesName = QStringLiteral("sPageControl1");
    QWidget* content = buildPages(m_clienti,
                                  {{"RagioneSociale", "Ragione Sociale"},
                                   {"Sospensione", "Sospensione"},
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
    const int larghezze[] = {240, 190, 200, 64, 150, 76, 110, 110, 110, 120, 190, 190, 190, 170};
    for (int c = 0; c < int(std::size(larghezze)); ++c)
        grid()->setColumnWidth(c, larghezze[c]);
    grid()->viewport()->installEventFilter(this);
    // A held-back client must catch the eye in a list of two hundred.
    grid()->setColourRule([](int, const QString& campo, bool selezionata) {
        sz::ui::CellColours c;
        if (campo == QLatin1String("Sospensione") && !selezionata)
            c.text = QColor(0xb0, 0x5a, 0x00);
        return c;
    });
    creaFiltroSospesi();
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
    QLineEdit* iva = aggiungiCampo(form, "DBEditIVA", "P. IVA:", "IVA", "Inserire la partita iva", 11, true);
    // The column is 50 wide; the box stops there instead of letting the database refuse.
    QLineEdit* cf = aggiungiCampo(form, "DBEditCF", "C. F.:", "CF", "Inserire il codice fiscale", 50, true);
    creaTipoCliente(form, cf, iva);
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
    statLay->addWidget(creaSospensione(stat));
    statLay->addSpacing(6);
    m_grafico = new GraficoCliente(stat);
    statLay->addWidget(m_grafico, 1);
    connect(m_comboAnno, &QComboBox::currentIndexChanged, this, &TFrameAnagraficaClienti::ComboAnnoChange);
    // clicked covers the mouse and the space bar alike.
    connect(m_tutti, &QCheckBox::clicked, this, &TFrameAnagraficaClienti::CheckTuttiGliAnniClick);
    contentLay->addWidget(stat, 4);
}

// The kind decides how late-payment interest is counted (the legal rate for consumers,
// the reference rate plus the statutory points for businesses and public bodies), so it
// is a closed choice, stored by its code.
void TFrameAnagraficaClienti::creaTipoCliente(QFormLayout* form, QLineEdit* cf, QLineEdit* iva)
{
    m_tipoCliente = new QComboBox(form->parentWidget());
    m_tipoCliente->setObjectName(QStringLiteral("DBComboTipoCliente"));
    m_tipoCliente->setAccessibleName(QStringLiteral("Tipo cliente"));
    m_tipoCliente->addItem(QStringLiteral("Impresa"), QStringLiteral("IMPRESA"));
    m_tipoCliente->addItem(QStringLiteral("Pubblica amministrazione"), QStringLiteral("PA"));
    m_tipoCliente->addItem(QStringLiteral("Consumatore"), QStringLiteral("CONSUMATORE"));
    m_tipoCliente->setMaximumWidth(260);
    const QString hint = QStringLiteral(
        "Impresa e Pubblica amministrazione: interessi di mora al tasso di riferimento BCE più 8 punti e "
        "indennizzo di € 40,00 per fattura; Consumatore: interessi al tasso legale, senza indennizzo");
    m_tipoCliente->setToolTip(hint);
    auto* label = new QLabel(QStringLiteral("&Tipo cliente:"), form->parentWidget());
    label->setToolTip(hint);
    label->setBuddy(m_tipoCliente);
    form->addRow(label, m_tipoCliente);
    connect(m_tipoCliente, &QComboBox::activated, this, &TFrameAnagraficaClienti::tipoScelto);
    connect(m_clienti, &sz::db::Dataset::currentChanged, this, [this] { mostraTipoCliente(); });
    connect(m_clienti, &sz::db::Dataset::rowsReset, this, [this] { mostraTipoCliente(); });
    connect(m_clienti, &sz::db::Dataset::stateChanged, this, [this] { mostraTipoCliente(); });
    // After the binder's own handlers: the row already holds the typed codes.
    for (QLineEdit* e : {cf, iva})
        connect(e, &QLineEdit::textEdited, this, [this] { proponiConsumatore(); });
}

void TFrameAnagraficaClienti::mostraTipoCliente()
{
    if (!m_tipoCliente)
        return;
    if (m_clienti->state() == sz::db::Dataset::State::Browse || m_clienti->state() == sz::db::Dataset::State::Inactive) {
        m_tipoSceltoQui = false;
        m_tipoProposto = false;
    }
    const bool riga = m_clienti->isOpen() &&
                      (m_clienti->recNo() >= 0 || m_clienti->state() != sz::db::Dataset::State::Browse);
    const QString tipo = riga ? m_clienti->value(QStringLiteral("TipoCliente")).toString().trimmed().toUpper() : QString();
    const QSignalBlocker blocca(m_tipoCliente);
    // Empty, or anything the register does not know, reads as a business.
    m_tipoCliente->setCurrentIndex(std::max(0, m_tipoCliente->findData(tipo)));
}

void TFrameAnagraficaClienti::tipoScelto(int indice)
{
    sz::ui::guarded(this, [this, indice] {
        if (m_clienti->state() == sz::db::Dataset::State::Browse) {
            if (m_clienti->isEmpty())
                m_clienti->insert();
            else
                m_clienti->edit();
        }
        m_clienti->setValue(QStringLiteral("TipoCliente"), m_tipoCliente->itemData(indice).toString());
        m_tipoSceltoQui = true;
        const QSignalBlocker blocca(m_tipoCliente);
        m_tipoCliente->setCurrentIndex(indice);
    });
}

void TFrameAnagraficaClienti::proponiConsumatore()
{
    const auto stato = m_clienti->state();
    if (m_tipoSceltoQui || (stato != sz::db::Dataset::State::Edit && stato != sz::db::Dataset::State::Insert))
        return;
    // Only a kind nobody chose yet: a new client, or one saved without it (read as a business).
    if (stato == sz::db::Dataset::State::Edit &&
        !m_clienti->valueAt(m_clienti->recNo(), m_clienti->fieldIndex(QStringLiteral("TipoCliente")))
             .toString()
             .trimmed()
             .isEmpty())
        return;
    const bool consumatore = clienti::sembraConsumatore(m_clienti->value(QStringLiteral("CF")).toString(),
                                                        m_clienti->value(QStringLiteral("IVA")).toString());
    const QString ora = m_clienti->value(QStringLiteral("TipoCliente")).toString();
    QVariant nuovo;
    if (consumatore && ora.isEmpty())
        nuovo = QStringLiteral("CONSUMATORE");
    else if (!consumatore && m_tipoProposto && ora == QLatin1String("CONSUMATORE"))
        nuovo = QVariant(); // the program's own proposal, taken back once a VAT number shows a business
    else
        return;
    m_tipoProposto = consumatore;
    m_clienti->setValue(QStringLiteral("TipoCliente"), nuovo);
    const QSignalBlocker blocca(m_tipoCliente);
    m_tipoCliente->setCurrentIndex(std::max(0, m_tipoCliente->findData(nuovo.toString())));
}

QWidget* TFrameAnagraficaClienti::creaSospensione(QWidget* parent)
{
    auto* box = new QGroupBox(QStringLiteral("Solleciti"), parent);
    box->setObjectName(QStringLiteral("GroupSospensione"));
    auto* form = new QFormLayout(box);
    form->setContentsMargins(12, 12, 12, 10);
    form->setHorizontalSpacing(10);
    form->setVerticalSpacing(7);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);

    const QString hint = QStringLiteral(
        "Finché la sospensione è in vigore nessun documento del Cliente viene proposto per i solleciti; "
        "senza data vale fino a quando non si toglie la spunta, con la data fino a quel giorno compreso");
    m_sospendi = new QCheckBox(QStringLiteral("Sospendi i solleciti"), box);
    m_sospendi->setObjectName(QStringLiteral("CheckSospendiSolleciti"));
    m_sospendi->setToolTip(hint);
    binder()->bind(m_sospendi, QStringLiteral("SospendiSolleciti"));
    m_sospesoFino = new sz::ui::DateBox(box);
    m_sospesoFino->setObjectName(QStringLiteral("EditSospesoFino"));
    // Messages about the box name it as the page does, not by its column.
    m_sospesoFino->setAccessibleName(QStringLiteral("fino al"));
    m_sospesoFino->setFixedWidth(110);
    m_sospesoFino->setToolTip(QStringLiteral("Ultimo giorno della sospensione (vuoto: fino a nuovo ordine)"));
    binder()->bind(m_sospesoFino, QStringLiteral("SospesoFino"));
    auto* fino = new QLabel(QStringLiteral("fino al"), box);
    fino->setBuddy(m_sospesoFino);
    auto* riga = new QHBoxLayout();
    riga->setSpacing(10);
    riga->addWidget(m_sospendi);
    riga->addSpacing(6);
    riga->addWidget(fino);
    riga->addWidget(m_sospesoFino);
    riga->addStretch(1);
    form->addRow(riga);

    m_motivo = new QLineEdit(box);
    m_motivo->setObjectName(QStringLiteral("EditMotivoSospensione"));
    // The binder holds it to the column's 255 characters.
    m_motivo->setToolTip(QStringLiteral("Perché i solleciti sono sospesi (trattativa in corso, contestazione, "
                                        "piano di rientro...)"));
    m_motivo->setAccessibleName(QStringLiteral("Motivo"));
    binder()->bind(m_motivo, QStringLiteral("MotivoSospensione"));
    auto* motivo = new QLabel(QStringLiteral("Motivo"), box);
    motivo->setBuddy(m_motivo);
    form->addRow(motivo, m_motivo);

    // The end and the reason belong to a suspension: without the tick they mean nothing.
    const auto segui = [this](bool on) {
        m_sospesoFino->setEnabled(on);
        m_motivo->setEnabled(on);
    };
    connect(m_sospendi, &QCheckBox::toggled, this, segui);
    segui(false);
    return box;
}

void TFrameAnagraficaClienti::creaFiltroSospesi()
{
    QWidget* barra = filterEdit()->parentWidget();
    auto* lay = qobject_cast<QHBoxLayout*>(barra->layout());
    m_soloSospesi = new QCheckBox(QStringLiteral("Solo sospesi"), barra);
    m_soloSospesi->setObjectName(QStringLiteral("CheckSoloSospesi"));
    m_soloSospesi->setToolTip(QStringLiteral("Mostra solo i Clienti con i solleciti sospesi oggi"));
    const int dove = lay ? lay->indexOf(barra->findChild<QLabel*>(QStringLiteral("LabelFiltra"))) : -1;
    if (lay && dove >= 0) {
        lay->insertWidget(dove, m_soloSospesi);
        lay->insertSpacing(dove + 1, 16);
    } else if (lay) {
        lay->addWidget(m_soloSospesi);
    }
    connect(m_soloSospesi, &QCheckBox::toggled, this, [this] {
        sz::ui::guarded(this, [this] {
            // The column says what is in force today: a list opened yesterday is read again.
            if (m_clienti->state() == sz::db::Dataset::State::Browse &&
                m_clientiLetti != sz::oggi()) {
                m_clientiLetti = sz::oggi();
                m_clienti->setParams(clienti::parametriClienti(m_clientiLetti));
                m_clienti->requery();
            }
            m_clienti->setFilter(filterFor(filterEdit()->text()));
        });
    });
    m_clientiLetti = sz::oggi();
}

QString TFrameAnagraficaClienti::suggerimentoSospensione(int riga) const
{
    if (riga < 0 || riga >= m_clienti->recordCount())
        return {};
    const int colonna = m_clienti->fieldIndex(QStringLiteral("Sospensione"));
    if (m_clienti->valueAt(riga, colonna).isNull())
        return {};
    return m_clienti->valueAt(riga, m_clienti->fieldIndex(QStringLiteral("MotivoSospensione"))).toString().trimmed();
}

bool TFrameAnagraficaClienti::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip && watched == grid()->viewport()) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex cella = grid()->indexAt(help->pos());
        if (cella.isValid() &&
            grid()->datasetModel()->fieldOf(cella.column()) == m_clienti->fieldIndex(QStringLiteral("Sospensione"))) {
            const QString motivo = suggerimentoSospensione(cella.row());
            if (motivo.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), motivo, grid()->viewport(), grid()->visualRect(cella));
            return true;
        }
    }
    return sz::ui::ListEditFrame::eventFilter(watched, event);
}

bool TFrameAnagraficaClienti::dettaglioVisibile() const
{
    return editVisible();
}

QString TFrameAnagraficaClienti::filterFor(const QString& typed) const
{
    return clienti::filtroElenco(typed, m_soloSospesi && m_soloSospesi->isChecked());
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
    const bool sospendi = m_clienti->value(QStringLiteral("SospendiSolleciti")).toBool();
    const QDate fino = m_clienti->value(QStringLiteral("SospesoFino")).toDate();
    if (sospendi && fino.isValid() && fino < sz::oggi() && fino != sospesoFinoLetto()) {
        // A suspension typed to end in the past would hold nothing back: most likely a
        // mistyped year. One saved long ago and now expired is left as it is.
        sz::ui::showMessage(this, QStringLiteral("ATTENZIONE: la data \"fino al\" della sospensione (%1) è già "
                                                 "passata: i solleciti non sarebbero sospesi. Correggere la data o "
                                                 "lasciarla vuota.")
                                      .arg(sz::dates::toDisplay(fino)));
        throw sz::db::Abort();
    }
    if (!sospendi) {
        // Taking the tick off ends the suspension whole: no stale end or reason stays behind
        // to make the row look suspended to whoever reads it later.
        if (!m_clienti->value(QStringLiteral("SospesoFino")).isNull() || !m_sospesoFino->isBlank())
            m_clienti->setValue(QStringLiteral("SospesoFino"), QVariant());
        if (!m_clienti->value(QStringLiteral("MotivoSospensione")).toString().isEmpty())
            m_clienti->setValue(QStringLiteral("MotivoSospensione"), QVariant());
    }
    // The list shows the saved row at once, without reading the registry again.
    m_clienti->setValue(QStringLiteral("Sospensione"),
                        clienti::testoSospensione(sospendi, m_clienti->value(QStringLiteral("SospesoFino")).toDate(),
                                                  sz::oggi()));
    const QString rinominaDa = nomeDaRinominare();
    if (!rinominaDa.isEmpty()) {
        const QString nuovo = m_clienti->value(QStringLiteral("RagioneSociale")).toString();
        // With the client's row, in its transaction: both renamed, or neither.
        m_clienti->withinPost = [this, rinominaDa, nuovo](sz::db::Dataset&) {
            clienti::rinominaCrediti(connection(), rinominaDa, nuovo);
        };
    }
}

QDate TFrameAnagraficaClienti::sospesoFinoLetto() const
{
    if (m_clienti->state() != sz::db::Dataset::State::Edit)
        return {};
    return m_clienti->valueAt(m_clienti->recNo(), m_clienti->fieldIndex(QStringLiteral("SospesoFino"))).toDate();
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
