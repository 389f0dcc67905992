// A frame module for the loader tests: each build of this file is its own module with
// its own class name and its own module-level counter.
#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace {
int GCostruzioni = 0; // module-level state: must start at 0 on every load
}

class SZ_TEST_CLASS : public QWidget
{
public:
    SZ_TEST_CLASS()
    {
#ifdef SZ_TEST_THROWS
        throw sz::Error(QStringLiteral("costruzione fallita"));
#endif
        ++GCostruzioni;
        setObjectName(QStringLiteral(SZ_TEST_CLASS_NAME));
        auto* lay = new QVBoxLayout(this);
        auto* label = new QLabel(QString::number(GCostruzioni), this);
        label->setObjectName(QStringLiteral("Costruzioni"));
        lay->addWidget(label);
        // A window of the module's own, which must go when the module is unloaded.
        auto* w = new QWidget;
        w->setObjectName(QStringLiteral("FinestraModulo"));
        w->setAttribute(Qt::WA_DontShowOnScreen);
        w->show();
    }
};

SZ_REGISTER_FRAME(SZ_TEST_CLASS);
