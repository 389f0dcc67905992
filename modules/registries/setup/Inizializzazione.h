#pragma once

#include "scadenzio/Widgets.h"

class QTabWidget;

namespace sz::company {
class CompanyForm;
}

// The first-run setup: shown while the company profile is incomplete; a successful save
// starts the program again, which then opens normally.
class TFrameInizializzazione : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameInizializzazione(QWidget* parent = nullptr);
    ~TFrameInizializzazione() override;

    sz::company::CompanyForm* form() const { return m_form; }

private:
    QTabWidget* m_pages = nullptr;
    sz::company::CompanyForm* m_form = nullptr;
};
