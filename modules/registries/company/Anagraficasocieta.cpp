#include "Anagraficasocieta.h"

#include "CompanyForm.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Paths.h"

#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameAnagraficaSocieta);

TFrameAnagraficaSocieta::TFrameAnagraficaSocieta(QWidget* parent)
    : sz::ui::ModuleFrame(QStringLiteral("Anagrafica Utente"),
                          QStringLiteral("Permette di inserire e registrare i dati societari dell'utente al fine di "
                                         "essere utilizzati dove richiesto. I dati immessi nei relativi campi "
                                         "vengono registrati con \"Salva\" (Ctrl+S)."),
                          parent)
{
    setObjectName(QStringLiteral("FrameAnagraficaSocieta"));
    auto* lay = new QVBoxLayout(body());
    lay->setContentsMargins(0, 0, 0, 0);
    m_form = new sz::company::CompanyForm(connection(), body());
    m_form->addServerNotice();
    lay->addWidget(m_form);
    applyServerRule(sz::paths::LoadConnection());
}

TFrameAnagraficaSocieta::~TFrameAnagraficaSocieta()
{
    // The form's dataset works on our connection, which the base class closes first.
    delete m_form;
}

bool TFrameAnagraficaSocieta::hasUnsavedChanges() const
{
    return m_form->dataset()->isModified();
}

bool TFrameAnagraficaSocieta::saveChanges()
{
    return m_form->navigator()->click(sz::ui::Navigator::Post);
}

void TFrameAnagraficaSocieta::discardChanges()
{
    m_form->navigator()->click(sz::ui::Navigator::Cancel);
}

void TFrameAnagraficaSocieta::applyServerRule(const QString& databasePath)
{
    m_form->setLogoLocked(!sz::company::logoChangeAllowed(databasePath));
}
