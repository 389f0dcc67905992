#include "SospensioneCredito.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>

namespace {

const QString hSospendi = QStringLiteral(
    "Finché la sospensione è in vigore il documento non viene proposto per preavvisi e solleciti "
    "(ad esempio durante una contestazione o un accordo di pagamento)");
const QString hFino = QStringLiteral(
    "Ultimo giorno della sospensione: dal giorno dopo il documento torna a essere sollecitato (vuoto: fino a "
    "nuovo ordine)");
const QString hMotivo = QStringLiteral("Perché i solleciti sono sospesi (contestazione, trattativa in corso, "
                                       "accordo di pagamento...)");

// A label of one line that ends in "…" when its text does not fit.
class RigaAvviso : public QLabel
{
public:
    explicit RigaAvviso(QWidget* parent) : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    QSize minimumSizeHint() const override { return {0, fontMetrics().height()}; }
    QSize sizeHint() const override { return {0, fontMetrics().height()}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRect r = contentsRect();
        style()->drawItemText(&p, r, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideRight, r.width()), foregroundRole());
    }
};

} // namespace

SospensioneCredito::SospensioneCredito(QWidget* parent, QGridLayout* g, int& r)
    : QObject(parent), m_parent(parent)
{
    CheckSospendiSolleciti = new QCheckBox(QStringLiteral("Sospendi i solleciti"), parent);
    CheckSospendiSolleciti->setObjectName(QStringLiteral("CheckSospendiSolleciti"));
    CheckSospendiSolleciti->setToolTip(hSospendi);
    CheckSospendiSolleciti->setStyleSheet(QStringLiteral("font-weight: normal;"));
    EditSospesoFino = new sz::ui::DateBox(parent);
    EditSospesoFino->setObjectName(QStringLiteral("EditSospesoFino"));
    EditSospesoFino->setToolTip(hFino);
    EditSospesoFino->setAccessibleName(QStringLiteral("fino al"));
    EditMotivoSospensione = new QLineEdit(parent);
    EditMotivoSospensione->setObjectName(QStringLiteral("EditMotivoSospensione"));
    EditMotivoSospensione->setToolTip(hMotivo);
    EditMotivoSospensione->setAccessibleName(QStringLiteral("Motivo"));
    EditMotivoSospensione->setPlaceholderText(QStringLiteral("motivo della sospensione"));

    auto* riga = new QWidget(parent);
    auto* rl = new QHBoxLayout(riga);
    rl->setContentsMargins(0, 0, 0, 0);
    rl->setSpacing(8);
    rl->addWidget(CheckSospendiSolleciti);
    rl->addSpacing(10);
    auto* fino = new QLabel(QStringLiteral("fino al"), riga);
    fino->setObjectName(QStringLiteral("Etichetta"));
    fino->setToolTip(hFino);
    fino->setBuddy(EditSospesoFino);
    rl->addWidget(fino);
    EditSospesoFino->setFixedWidth(110);
    rl->addWidget(EditSospesoFino);
    rl->addStretch(1);

    auto* titolo = new QLabel(QStringLiteral("Solleciti:"), parent);
    titolo->setObjectName(QStringLiteral("Etichetta"));
    titolo->setToolTip(hSospendi);
    g->addWidget(titolo, r, 0);
    g->addWidget(riga, r, 1, 1, 5);
    ++r;
    auto* motivo = new QLabel(QStringLiteral("Motivo"), parent);
    motivo->setObjectName(QStringLiteral("Etichetta"));
    motivo->setToolTip(hMotivo);
    motivo->setBuddy(EditMotivoSospensione);
    g->addWidget(motivo, r, 0);
    g->addWidget(EditMotivoSospensione, r, 1, 1, 5);
    ++r;

    // One line whatever the reason's length, its place kept while it is empty: the page must
    // not move when a credit of a suspended client is shown. The whole text is the tooltip.
    LabelSospensioneCliente = new RigaAvviso(parent);
    LabelSospensioneCliente->setObjectName(QStringLiteral("LabelSospensioneCliente"));
    LabelSospensioneCliente->setStyleSheet(QStringLiteral("color: #b35900; font-weight: normal;"));
    g->addWidget(LabelSospensioneCliente, r, 1, 1, 5);
    ++r;

    connect(CheckSospendiSolleciti, &QCheckBox::toggled, this, &SospensioneCredito::seguiCasella);
    seguiCasella(false);
}

void SospensioneCredito::lega(sz::ui::FieldBinder* binder)
{
    binder->bind(CheckSospendiSolleciti, QStringLiteral("SospendiSolleciti"));
    binder->bind(EditSospesoFino, QStringLiteral("SospesoFino"));
    binder->bind(EditMotivoSospensione, QStringLiteral("MotivoSospensione"));
}

void SospensioneCredito::seguiCasella(bool on)
{
    // What was typed stays in the boxes while the box is unticked, so that ticking it again
    // before saving brings it back; the save then drops it.
    EditSospesoFino->setEnabled(on);
    EditMotivoSospensione->setEnabled(on);
}

void SospensioneCredito::ricorda(const sz::db::Dataset& ds)
{
    m_sospesoSalvato = ds.value(QStringLiteral("SospendiSolleciti")).toBool();
    m_finoSalvato = ds.value(QStringLiteral("SospesoFino")).toDate();
}

void SospensioneCredito::dimentica()
{
    m_sospesoSalvato = false;
    m_finoSalvato = QDate();
}

void SospensioneCredito::mostraCliente(bool sospeso, const QDate& fino, const QString& motivo)
{
    if (!sospeso) {
        LabelSospensioneCliente->clear();
        LabelSospensioneCliente->setToolTip(QString());
        return;
    }
    QString t = QStringLiteral("Solleciti sospesi per il Cliente");
    t += fino.isValid() ? QStringLiteral(" fino al ") + sz::dates::toDisplay(fino)
                        : QStringLiteral(" fino a nuovo ordine");
    const QString m = motivo.simplified();
    if (!m.isEmpty()) t += QStringLiteral(": ") + m;
    LabelSospensioneCliente->setText(t);
    LabelSospensioneCliente->setToolTip(t + QStringLiteral(". Il documento non viene sollecitato finché la "
                                                           "sospensione del Cliente è in vigore."));
}

void SospensioneCredito::preparaSalvataggio(sz::db::Dataset& ds, const QDate& oggi)
{
    if (!CheckSospendiSolleciti->isChecked()) {
        // Setting the fields also drops an unreadable day typed before the box was unticked.
        if (!ds.value(QStringLiteral("SospesoFino")).isNull() || !EditSospesoFino->isBlank())
            ds.setValue(QStringLiteral("SospesoFino"), QVariant());
        if (!ds.value(QStringLiteral("MotivoSospensione")).isNull())
            ds.setValue(QStringLiteral("MotivoSospensione"), QVariant());
        return;
    }
    const QDate fino = EditSospesoFino->date();
    const bool giaSalvata = m_sospesoSalvato && fino == m_finoSalvato;
    if (fino.isValid() && fino < oggi && !giaSalvata) {
        sz::ui::showMessage(
            m_parent, QStringLiteral("ATTENZIONE: il giorno del campo \"fino al\" (%1) è già passato e la "
                                     "sospensione non avrebbe effetto. Indicare l'ultimo giorno della "
                                     "sospensione, da oggi in poi, o lasciare il campo vuoto.")
                          .arg(sz::dates::toDisplay(fino)));
        EditSospesoFino->setFocus();
        throw sz::db::Abort{};
    }
}
