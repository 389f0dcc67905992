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
    : sz::ui::ListEditFrame(QStringLiteral("Anagrafica Banche"),
                            QStringLiteral("Permette di inserire e gestire le banche d'appoggio dell'azienda, con "
                                           "agenzia e IBAN, da indicare ai clienti per i pagamenti."),
                            parent)
{
    setObjectName(QStringLiteral("FrameAnagraficaBanche"));
    auto* banche = new sz::db::Dataset(connection(), QStringLiteral("t_banche"), this);
    banche->setObjectName(QStringLiteral("ADOQueryBanche"));
    banche->setSql(QStringLiteral("SELECT * FROM t_banche ORDER BY ID"));
    banche->open();

    Pages pages;
    pages.pagesName = QStringLiteral("PageControl1");
    pages.filterHint = QStringLiteral("Cerca il testo nel nome, nell'agenzia e nell'IBAN");
    QWidget* content = buildPages(banche,
                                  {{QStringLiteral("Nome"), QStringLiteral("Nome")},
                                   {QStringLiteral("Agenzia"), QStringLiteral("Agenzia")},
                                   {QStringLiteral("IBAN"), QStringLiteral("IBAN")}},
                                  pages);
    grid()->horizontalHeader()->resizeSection(0, 340);
    grid()->horizontalHeader()->resizeSection(1, 300);
    buildFields(content);
    showList();
} catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
}

void TFrameAnagraficaBanche::buildFields(QWidget* content)
{
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

    binder()->bind(m_nome, QStringLiteral("Nome"));
    binder()->bind(m_agenzia, QStringLiteral("Agenzia"));
    binder()->bind(m_iban, QStringLiteral("IBAN"));
}

QString TFrameAnagraficaBanche::filterFor(const QString& typed) const
{
    if (typed.isEmpty())
        return {};
    // IBANs are stored without blanks, so one pasted in its printed form still matches.
    QString iban = typed;
    iban.remove(QLatin1Char(' '));
    return sz::db::containsInAny({QStringLiteral("Nome"), QStringLiteral("Agenzia")}, typed) +
           QStringLiteral(" OR [IBAN] like ") + sz::db::containsLiteral(iban);
}

QString TFrameAnagraficaBanche::deleteQuestion() const
{
    return kConfermaEliminazione;
}

void TFrameAnagraficaBanche::checkSave()
{
    sz::db::Dataset* banche = dataset();
    if (banche->value(QStringLiteral("Nome")).toString().trimmed().isEmpty()) {
        sz::ui::showMessage(this, kNomeMancante);
        m_nome->setFocus();
        throw sz::db::Abort{};
    }
    const QString iban = sz::banks::normalizeIban(banche->value(QStringLiteral("IBAN")).toString());
    if (!iban.isEmpty() && !sz::banks::isValidIban(iban)) {
        sz::ui::showMessage(this, kIbanNonValido);
        m_iban->setFocus();
        throw sz::db::Abort{};
    }
    banche->setValue(QStringLiteral("IBAN"), iban.isEmpty() ? QVariant() : QVariant(iban));
}
