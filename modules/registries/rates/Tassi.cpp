#include "Tassi.h"

#include "TassiLogic.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/RecordFilter.h"
#include "scadenzio/Ui.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameTassi);

namespace {

const QString kSql = QStringLiteral(
    "SELECT t_tassi.*, Tasso / 10000.0 AS TassoPercento, "
    "CASE Tipo WHEN 'MORA' THEN 'Riferimento BCE (semestre)' WHEN 'LEGALE' THEN 'Legale (anno)' ELSE Tipo END "
    "AS Descrizione FROM t_tassi ORDER BY Tipo DESC, Dal DESC, ID");

// The rate column holds a number, so it sorts and exports as one; shown with the decimal
// comma and no more decimals than it has.
class TassoDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok || value.isNull())
            return QStyledItemDelegate::displayText(value, locale);
        return tassi::testoTasso(int(qRound64(v * 10000.0)));
    }
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
    }
};

} // namespace

TFrameTassi::TFrameTassi(QWidget* parent) try
    : sz::ui::ListEditFrame(QStringLiteral("Tassi di interesse"),
                            QStringLiteral("Permette di consultare e aggiornare i tassi con cui si calcolano gli "
                                           "interessi di mora: il tasso di riferimento BCE di ogni semestre e il "
                                           "tasso legale di ogni anno."),
                            parent)
{
    setObjectName(QStringLiteral("FrameTassi"));
    m_tassi = new sz::db::Dataset(connection(), QStringLiteral("t_tassi"), this);
    m_tassi->setObjectName(QStringLiteral("ADOQueryTassi"));
    m_tassi->setSql(kSql);
    m_tassi->open();

    Pages pages;
    pages.pagesName = QStringLiteral("PageControlTassi");
    pages.filterHint = QStringLiteral("Cerca il testo nel tipo e nella fonte");
    QWidget* content = buildPages(m_tassi,
                                  {{QStringLiteral("Descrizione"), QStringLiteral("Tipo")},
                                   {QStringLiteral("Dal"), QStringLiteral("Dal")},
                                   {QStringLiteral("Al"), QStringLiteral("Al")},
                                   {QStringLiteral("TassoPercento"), QStringLiteral("Tasso %")},
                                   {QStringLiteral("Fonte"), QStringLiteral("Fonte")}},
                                  pages);
    grid()->setItemDelegateForColumn(3, new TassoDelegate(grid()));
    const int larghezze[] = {230, 100, 100, 90};
    for (int c = 0; c < int(std::size(larghezze)); ++c)
        grid()->horizontalHeader()->resizeSection(c, larghezze[c]);
    buildFields(content);
    connect(m_tassi, &sz::db::Dataset::currentChanged, this, [this] { showRow(); });
    connect(m_tassi, &sz::db::Dataset::stateChanged, this, [this] { showRow(); });
    connect(m_tassi, &sz::db::Dataset::rowsReset, this, [this] { showRow(); });
    showRow();
    showList();
} catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
}

TFrameTassi::~TFrameTassi()
{
    // The dataset refers to the connection, which the base class releases first.
    delete m_tassi;
}

void TFrameTassi::buildFields(QWidget* content)
{
    auto* cl = new QVBoxLayout(content);
    cl->setContentsMargins(18, 12, 18, 18);
    auto* box = new QGroupBox(QStringLiteral("Tasso"), content);
    box->setObjectName(QStringLiteral("GroupTasso"));
    box->setMaximumWidth(720);
    auto* form = new QFormLayout(box);
    form->setContentsMargins(16, 16, 16, 16);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(10);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    m_tipo = new QComboBox(box);
    m_tipo->setObjectName(QStringLiteral("ComboTipo"));
    m_tipo->addItem(tassi::nomeTipo(QStringLiteral("MORA")), QStringLiteral("MORA"));
    m_tipo->addItem(tassi::nomeTipo(QStringLiteral("LEGALE")), QStringLiteral("LEGALE"));
    m_tipo->setMaximumWidth(260);
    connect(m_tipo, &QComboBox::activated, this, [this](int i) {
        sz::ui::guarded(this, [this, i] {
            startEditing();
            m_tassi->setValue(QStringLiteral("Tipo"), m_tipo->itemData(i));
            const QSignalBlocker block(m_tipo);
            m_tipo->setCurrentIndex(i);
        });
    });

    auto* dal = new sz::ui::DateBox(box);
    dal->setObjectName(QStringLiteral("EditDal"));
    dal->setAccessibleName(QStringLiteral("Dal"));
    dal->setFixedWidth(110);
    auto* al = new sz::ui::DateBox(box);
    al->setObjectName(QStringLiteral("EditAl"));
    al->setAccessibleName(QStringLiteral("Al"));
    al->setFixedWidth(110);
    binder()->bind(dal, QStringLiteral("Dal"));
    binder()->bind(al, QStringLiteral("Al"));

    m_tasso = new QLineEdit(box);
    m_tasso->setObjectName(QStringLiteral("EditTasso"));
    m_tasso->setMaxLength(12);
    m_tasso->setFixedWidth(110);
    m_tasso->setAlignment(Qt::AlignRight);
    m_tasso->setToolTip(QStringLiteral("Tasso in percentuale, con la virgola e al massimo quattro decimali (es. 2,15)"));
    connect(m_tasso, &QLineEdit::textEdited, this, [this](const QString& testo) {
        if (m_showing)
            return;
        sz::ui::guarded(this, [this, testo] {
            startEditing();
            const auto letto = tassi::leggiTasso(testo);
            m_tassi->setValue(QStringLiteral("Tasso"), letto ? QVariant(*letto) : QVariant());
            if (!letto && !testo.trimmed().isEmpty())
                m_tassi->setInputError(
                    QStringLiteral("Tasso"),
                    QStringLiteral("ATTENZIONE: il tasso inserito (%1) non è valido: scrivere la percentuale con la "
                                   "virgola e al massimo quattro decimali, ad esempio 2,15.")
                        .arg(testo));
        });
    });

    auto* fonte = new QLineEdit(box);
    fonte->setObjectName(QStringLiteral("EditFonte"));
    fonte->setToolTip(QStringLiteral("Dove è stato pubblicato il tasso (es. Gazzetta Ufficiale n. 15 del 20/01/2026)"));
    binder()->bind(fonte, QStringLiteral("Fonte"));

    form->addRow(QStringLiteral("Tipo:"), m_tipo);
    form->addRow(QStringLiteral("Dal:"), dal);
    form->addRow(QStringLiteral("Al:"), al);
    auto* riga = new QHBoxLayout;
    riga->addWidget(m_tasso);
    riga->addWidget(new QLabel(QStringLiteral("%"), box));
    riga->addStretch(1);
    form->addRow(QStringLiteral("Tasso:"), riga);
    form->addRow(QStringLiteral("Fonte:"), fonte);
    auto* nota = new QLabel(
        QStringLiteral("Per il tasso di riferimento BCE indicare il tasso del semestre così come pubblicato: per "
                       "imprese e pubblica amministrazione il programma aggiunge 8 punti (7 punti per i documenti "
                       "datati prima del 2013). Per i consumatori si applica il tasso legale dell'anno, senza "
                       "maggiorazioni."),
        box);
    nota->setObjectName(QStringLiteral("LabelNotaTassi"));
    nota->setWordWrap(true);
    nota->setStyleSheet(QStringLiteral("color: #4a5a6a;"));
    form->addRow(QString(), nota);
    cl->addWidget(box);
    cl->addStretch(1);
}

void TFrameTassi::startEditing()
{
    if (m_tassi->state() == sz::db::Dataset::State::Browse) {
        if (m_tassi->isEmpty())
            m_tassi->insert();
        else
            m_tassi->edit();
    }
}

void TFrameTassi::showRow()
{
    if (!m_tipo)
        return;
    m_showing = true;
    const QString tipo = m_tassi->isOpen() ? m_tassi->value(QStringLiteral("Tipo")).toString() : QString();
    {
        const QSignalBlocker block(m_tipo);
        m_tipo->setCurrentIndex(std::max(0, m_tipo->findData(tipo)));
    }
    const QVariant tasso = m_tassi->isOpen() ? m_tassi->value(QStringLiteral("Tasso")) : QVariant();
    // Text typed but not readable stays in the box, so the user sees what to correct.
    if (!(m_tasso->hasFocus() && m_tassi->state() != sz::db::Dataset::State::Browse))
        m_tasso->setText(tasso.isNull() || !tasso.isValid() ? QString() : tassi::testoTasso(tasso.toInt()));
    m_showing = false;
}

QString TFrameTassi::filterFor(const QString& typed) const
{
    if (typed.isEmpty())
        return {};
    return sz::db::containsInAny({QStringLiteral("Descrizione"), QStringLiteral("Tipo"), QStringLiteral("Fonte")},
                                 typed);
}

QString TFrameTassi::deleteQuestion() const
{
    return QStringLiteral("Il tasso selezionato sarà eliminato: gli interessi dei giorni che copriva non saranno "
                          "più calcolati. Continuare?");
}

void TFrameTassi::checkSave()
{
    if (m_tassi->value(QStringLiteral("Tipo")).toString().isEmpty())
        m_tassi->setValue(QStringLiteral("Tipo"), m_tipo->currentData());
    tassi::Riga riga;
    riga.id = m_tassi->state() == sz::db::Dataset::State::Insert ? 0 : m_tassi->value(QStringLiteral("ID")).toInt();
    riga.tipo = m_tassi->value(QStringLiteral("Tipo")).toString();
    riga.dal = m_tassi->value(QStringLiteral("Dal")).toDate();
    riga.al = m_tassi->value(QStringLiteral("Al")).toDate();
    QList<tassi::Riga> altre;
    for (const auto& r : connection().query(QStringLiteral("SELECT ID, Tipo, Dal, Al FROM t_tassi ORDER BY ID")).rows)
        altre << tassi::Riga{r[0].toInt(), r[1].toString(), r[2].toDate(), r[3].toDate()};
    QString rifiuto = tassi::controlla(riga, altre);
    if (rifiuto.isEmpty() && m_tassi->value(QStringLiteral("Tasso")).isNull() && m_tasso->text().trimmed().isEmpty())
        rifiuto = QStringLiteral("ATTENZIONE: il tasso risulta mancante. Si prega di compilare il campo richiesto per "
                                 "poter effettuare il salvataggio dei dati.");
    if (!rifiuto.isEmpty()) {
        sz::ui::showMessage(this, rifiuto);
        throw sz::db::Abort{};
    }
    // The list shows the saved row at once, without reading the table again.
    const QVariant tasso = m_tassi->value(QStringLiteral("Tasso"));
    if (!tasso.isNull())
        m_tassi->setValue(QStringLiteral("TassoPercento"), tasso.toInt() / 10000.0);
    m_tassi->setValue(QStringLiteral("Descrizione"), tassi::nomeTipo(riga.tipo));
}

QWidget* TFrameTassi::firstField() const
{
    return m_tipo;
}
