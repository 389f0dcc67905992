#include "Inizializzazione.h"

#include "CompanyForm.h"

#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Ui.h"

#include <QTabWidget>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameInizializzazione);

TFrameInizializzazione::TFrameInizializzazione(QWidget* parent)
    : sz::ui::ModuleFrame(QStringLiteral("Anagrafica Utente"), QString(), parent)
{
    setObjectName(QStringLiteral("FrameInizializzazione"));
    setMinimumSize(1000, 600);
    auto* lay = new QVBoxLayout(body());
    lay->setContentsMargins(12, 10, 12, 12);
    m_pages = new QTabWidget(body());
    m_pages->setObjectName(QStringLiteral("PageControl"));
    m_pages->setDocumentMode(true);
    m_form = new sz::company::CompanyForm(connection(), m_pages);
    m_form->setObjectName(QStringLiteral("TabAnagrafica"));
    m_pages->addTab(m_form, QStringLiteral("Inserisci l'anagrafica utente"));
    lay->addWidget(m_pages);
    // Whatever the database path, the setup may set the logo: no server check here.
    connect(m_form, &sz::company::CompanyForm::saved, this, [] { sz::ui::restartProgram(); });
}

TFrameInizializzazione::~TFrameInizializzazione()
{
    // The form's dataset works on our connection, which the base class closes first.
    delete m_form;
}
