// The parts of the test environment that need widgets; tests of headless code link
// the environment without them.
#include "TestEnv.h"

#include <QDir>
#include <QFontDatabase>
#include <QWidget>

void TestEnv::saveScreenshot(QWidget* widget, const QString& name)
{
    QDir().mkpath(QStringLiteral(SZ_SCREENSHOT_DIR));
    widget->grab().save(QStringLiteral(SZ_SCREENSHOT_DIR "/") + name + QStringLiteral(".png"));
}

bool TestEnv::fontsAvailable()
{
    return !QFontDatabase::families().isEmpty();
}
