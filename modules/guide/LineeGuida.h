#pragma once

#include "scadenzio/Widgets.h"

class QTextBrowser;

// The getting-started page shown on an empty register; the menu paths it names are links
// that run their commands.
class TFrameLineeGuida : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameLineeGuida(QWidget* parent = nullptr);
    static QString guideHtml();

private:
    QTextBrowser* m_text = nullptr;
};
