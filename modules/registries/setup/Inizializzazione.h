#pragma once

#include "scadenzio/Widgets.h"

class QPushButton;
class QTabWidget;

namespace sz::company {
class CompanyForm;
}

// The first-run setup: shown while the company profile is incomplete; a successful save
// starts the program again, which then opens normally. So does loading the demo firm.
class TFrameInizializzazione : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameInizializzazione(QWidget* parent = nullptr);
    ~TFrameInizializzazione() override;

    sz::company::CompanyForm* form() const { return m_form; }

    // Fills the empty register with the demo firm, after asking, and starts the program
    // again on it.
    void BottoneDatiDimostrativiClick();

private:
    QTabWidget* m_pages = nullptr;
    sz::company::CompanyForm* m_form = nullptr;
    QPushButton* m_demo = nullptr;
};
