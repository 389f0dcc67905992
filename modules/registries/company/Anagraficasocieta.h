#pragma once

#include "scadenzio/Widgets.h"

namespace sz::company {
class CompanyForm;
}

// "Anagrafiche - Utente": the user's own company, printed on every letter and report.
class TFrameAnagraficaSocieta : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameAnagraficaSocieta(QWidget* parent = nullptr);
    ~TFrameAnagraficaSocieta() override;

    sz::company::CompanyForm* form() const { return m_form; }
    // Locks the logo controls when the database is reached through a file server.
    void applyServerRule(const QString& databasePath);

    bool hasUnsavedChanges() const override;
    bool saveChanges() override;
    void discardChanges() override;

private:
    sz::company::CompanyForm* m_form = nullptr;
};
