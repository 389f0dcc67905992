#include "BarraAvvisoInvio.h"

#include "scadenzio/Ui.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

TBarraAvvisoInvio::TBarraAvvisoInvio(const sz::avvisoinvio::Avviso& avviso, QWidget* parent)
    : QFrame(parent), m_avviso(avviso)
{
    setObjectName(QStringLiteral("BarraAvvisoInvio"));
    setFrameShape(QFrame::StyledPanel);
    setStyleSheet(QStringLiteral("#BarraAvvisoInvio { background: #fff4ce; border: 1px solid #e0c36c; }"
                                 "#BarraAvvisoInvio QLabel { color: #5c4300; }"));
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(12, 6, 6, 6);
    lay->setSpacing(10);
    auto* icona = new QLabel(this);
    icona->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(20, 20));
    lay->addWidget(icona);
    m_testo = new QLabel(avviso.testo, this);
    m_testo->setObjectName(QStringLiteral("TestoAvvisoInvio"));
    m_testo->setTextFormat(Qt::PlainText);
    m_testo->setWordWrap(true);
    QFont f = m_testo->font();
    f.setBold(true);
    m_testo->setFont(f);
    lay->addWidget(m_testo, 1);
    auto* dettagli = new QPushButton(QStringLiteral("Mostra dettagli"), this);
    dettagli->setObjectName(QStringLiteral("BottoneDettagliInvio"));
    dettagli->setEnabled(!avviso.dettagli.isEmpty());
    lay->addWidget(dettagli);
    auto* chiudi = new QToolButton(this);
    chiudi->setObjectName(QStringLiteral("BottoneChiudiAvvisoInvio"));
    chiudi->setText(QStringLiteral("\u2715"));
    chiudi->setToolTip(QStringLiteral("Chiudi l'avviso"));
    chiudi->setAutoRaise(true);
    lay->addWidget(chiudi);
    connect(dettagli, &QPushButton::clicked, this, &TBarraAvvisoInvio::mostraDettagli);
    connect(chiudi, &QToolButton::clicked, this, &QWidget::hide);
}

void TBarraAvvisoInvio::mostraDettagli()
{
    QDialog finestra(window());
    finestra.setObjectName(QStringLiteral("DettagliInvioAutomatico"));
    finestra.setWindowTitle(QStringLiteral("Invio automatico"));
    finestra.resize(640, 380);
    auto* lay = new QVBoxLayout(&finestra);
    auto* intro = new QLabel(m_avviso.testo, &finestra);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    lay->addWidget(intro);
    auto* righe = new QPlainTextEdit(&finestra);
    righe->setObjectName(QStringLiteral("RigheInvioAutomatico"));
    righe->setReadOnly(true);
    righe->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    righe->setPlainText(m_avviso.dettagli);
    lay->addWidget(righe, 1);
    auto* pulsanti = new QDialogButtonBox(&finestra);
    pulsanti->addButton(QStringLiteral("Chiudi"), QDialogButtonBox::RejectRole);
    connect(pulsanti, &QDialogButtonBox::rejected, &finestra, &QDialog::reject);
    lay->addWidget(pulsanti);
    sz::ui::showModal(&finestra);
}
