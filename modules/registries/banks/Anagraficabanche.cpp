#include "Anagraficabanche.h"

#include "scadenzio/RecordFilter.h"

#include "Iban.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Ui.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameAnagraficaBanche);

using sz::ui::Navigator;

namespace {

const QString kNomeMancante = QStringLiteral(
    "ATTENZIONE: il nome della banca risulta mancante. Si prega di compilare il campo richiesto per poter "
    "effettuare il salvataggio dei dati.");
const QString kIbanNonValido =
    QStringLiteral("ATTENZIONE: l'IBAN inserito non è valido. Controllare il codice e riprovare.");
const QString kConfermaEliminazione = QStringLiteral("La Banca selezionata sarà eliminata. Continuare?");

QLineEdit* field(QWidget* parent, const QString& name, const QString& hint)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setToolTip(hint);
    e->setMaxLength(255);
    return e;
}

} // namespace

// The base opens the frame's connection; when that fails the frame must say why
// before the construction fails.
TFrameAnagraficaBanche::TFrameAnagraficaBanche(QWidget* parent) try
    : sz::ui::ModuleFrame(QStringLiteral("Anagrafica Banche"),
                          QStringLiteral("Permette di inserire e gestire le banche d'appoggio dell'azienda, con "
                                         "agenzia e IBAN, da indicare ai clienti per i pagamenti."),
                          parent)
{
    setObjectName(QStringLiteral("FrameAnagraficaBanche"));
    m_banche = new sz::db::Dataset(connection(), QStringLiteral("t_banche"), this);
    m_banche->setObjectName(QStringLiteral("ADOQueryBanche"));
    m_banche->setSql(QStringLiteral("SELECT * FROM t_banche"));
    m_banche->open();

    auto* lay = new QVBoxLayout(body());
    lay->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget(body());
    m_pages->setObjectName(QStringLiteral("PageControl1"));
    m_listPage = buildListPage();
    m_editPage = buildEditPage();
    m_pages->addWidget(m_listPage);
    m_pages->addWidget(m_editPage);
    lay->addWidget(m_pages);
    showList();
} catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
}

QWidget* TFrameAnagraficaBanche::buildListPage()
{
    auto* page = new QWidget(m_pages);
    page->setObjectName(QStringLiteral("TabElenco"));
    auto* lay = new QVBoxLayout(page);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);

    m_navList = new Navigator({Navigator::First, Navigator::Prior, Navigator::Next, Navigator::Last,
                               Navigator::Insert, Navigator::Delete, Navigator::Edit},
                              page);
    m_navList->setObjectName(QStringLiteral("sDBNavigator1"));
    m_navList->setDataset(m_banche);
    m_navList->beforeAction = [this](Navigator::Button b) { beforeListAction(b); };
    lay->addWidget(m_navList);

    auto* content = new QWidget(page);
    auto* cl = new QVBoxLayout(content);
    cl->setContentsMargins(18, 12, 18, 18);
    cl->setSpacing(10);
    auto* filterRow = new QHBoxLayout();
    auto* filterLabel = new QLabel(QStringLiteral("Filtra:"), content);
    m_filter = new QLineEdit(content);
    m_filter->setObjectName(QStringLiteral("EditFiltro"));
    m_filter->setToolTip(QStringLiteral("Cerca il testo nel nome, nell'agenzia e nell'IBAN"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setMaximumWidth(420);
    filterLabel->setBuddy(m_filter);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(m_filter, 1);
    filterRow->addStretch(1);
    cl->addLayout(filterRow);
    connect(m_filter, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_banche->setFilter(filterFor(t)); });

    m_grid = new sz::ui::Grid(content);
    m_grid->setObjectName(QStringLiteral("sDBGrid1"));
    m_grid->setDataset(m_banche, {{QStringLiteral("Nome"), QStringLiteral("Nome")},
                                  {QStringLiteral("Agenzia"), QStringLiteral("Agenzia")},
                                  {QStringLiteral("IBAN"), QStringLiteral("IBAN")}});
    m_grid->horizontalHeader()->resizeSection(0, 340);
    m_grid->horizontalHeader()->resizeSection(1, 300);
    connect(m_grid, &sz::ui::Grid::rowDoubleClicked, this, [this] { m_navList->click(Navigator::Edit); });
    cl->addWidget(m_grid, 1);
    lay->addWidget(content, 1);
    return page;
}

QWidget* TFrameAnagraficaBanche::buildEditPage()
{
    auto* page = new QWidget(m_pages);
    page->setObjectName(QStringLiteral("TabDettaglio"));
    auto* lay = new QVBoxLayout(page);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);

    m_navEdit = new Navigator({Navigator::Post, Navigator::Cancel}, page);
    m_navEdit->setObjectName(QStringLiteral("sDBNavigator3"));
    m_navEdit->setDataset(m_banche);
    m_navEdit->beforeAction = [this](Navigator::Button b) { beforeEditAction(b); };
    // Back to the list only once the row is written or dropped: a refused write
    // leaves the user on the fields to correct.
    connect(m_navEdit, &Navigator::actionDone, this, [this](Navigator::Button) { showList(); });
    lay->addWidget(m_navEdit);

    auto* content = new QWidget(page);
    auto* cl = new QVBoxLayout(content);
    cl->setContentsMargins(18, 12, 18, 18);
    auto* box = new QGroupBox(QStringLiteral("Dati della banca"), content);
    box->setMaximumWidth(720);
    auto* form = new QFormLayout(box);
    form->setContentsMargins(16, 16, 16, 16);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(10);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_nome = field(box, QStringLiteral("EditNome"), QStringLiteral("Inserire il nome della banca (campo obbligatorio)"));
    m_agenzia = field(box, QStringLiteral("EditAgenzia"), QStringLiteral("Inserire l'agenzia"));
    m_iban = field(box, QStringLiteral("EditIBAN"), QStringLiteral("Inserire il codice IBAN"));
    m_iban->setMaxLength(60); // room for the printed form with its blanks
    for (QLineEdit* e : {m_nome, m_agenzia, m_iban})
        sz::ui::makeUpperCase(e);
    form->addRow(QStringLiteral("Nome:"), m_nome);
    form->addRow(QStringLiteral("Agenzia:"), m_agenzia);
    form->addRow(QStringLiteral("IBAN:"), m_iban);
    auto* note = new QLabel(QStringLiteral("L'IBAN viene controllato e salvato in maiuscolo, senza spazi."), box);
    note->setObjectName(QStringLiteral("LabelNotaIBAN"));
    note->setStyleSheet(QStringLiteral("color: #4a5a6a;"));
    form->addRow(QString(), note);
    cl->addWidget(box);
    cl->addStretch(1);
    lay->addWidget(content, 1);

    m_binder = new sz::ui::FieldBinder(m_banche, this);
    m_binder->bind(m_nome, QStringLiteral("Nome"));
    m_binder->bind(m_agenzia, QStringLiteral("Agenzia"));
    m_binder->bind(m_iban, QStringLiteral("IBAN"));
    return page;
}

QString TFrameAnagraficaBanche::filterFor(const QString& typed)
{
    if (typed.isEmpty())
        return {};
    // IBANs are stored without blanks, so one pasted in its printed form still matches.
    QString iban = typed;
    iban.remove(QLatin1Char(' '));
    return sz::db::containsInAny({QStringLiteral("Nome"), QStringLiteral("Agenzia")}, typed) +
           QStringLiteral(" OR [IBAN] like ") + sz::db::containsLiteral(iban);
}

void TFrameAnagraficaBanche::beforeListAction(Navigator::Button b)
{
    switch (b) {
    case Navigator::Insert:
        showEdit();
        m_nome->setFocus();
        break;
    case Navigator::Edit:
        showEdit();
        m_nome->setFocus();
        break;
    case Navigator::Delete:
        if (!sz::ui::confirm(this, kConfermaEliminazione))
            throw sz::db::Abort{};
        break;
    default:
        break;
    }
}

void TFrameAnagraficaBanche::beforeEditAction(Navigator::Button b)
{
    if (b != Navigator::Post)
        return;
    if (m_banche->value(QStringLiteral("Nome")).toString().trimmed().isEmpty()) {
        sz::ui::showMessage(this, kNomeMancante);
        m_nome->setFocus();
        throw sz::db::Abort{};
    }
    const QString iban = sz::banks::normalizeIban(m_banche->value(QStringLiteral("IBAN")).toString());
    if (!iban.isEmpty() && !sz::banks::isValidIban(iban)) {
        sz::ui::showMessage(this, kIbanNonValido);
        m_iban->setFocus();
        throw sz::db::Abort{};
    }
    m_banche->setValue(QStringLiteral("IBAN"), iban.isEmpty() ? QVariant() : QVariant(iban));
}

void TFrameAnagraficaBanche::showList()
{
    m_pages->setCurrentWidget(m_listPage);
}

void TFrameAnagraficaBanche::showEdit()
{
    m_pages->setCurrentWidget(m_editPage);
}
