#include "scadenzio/FrameRegistry.h"

#include <QFileInfo>
#include <QHash>

#include <dlfcn.h>

namespace sz::frames {

namespace {

QHash<QString, Factory>& registry()
{
    static QHash<QString, Factory> r;
    return r;
}

QString fileOfAddress(const void* address)
{
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalFilePath();
}

} // namespace

void registerClass(const QString& className, Factory factory)
{
    registry().insert(className, factory);
}

void unregisterClass(const QString& className)
{
    registry().remove(className);
}

Factory find(const QString& className)
{
    return registry().value(className, nullptr);
}

QStringList registeredClasses()
{
    return registry().keys();
}

QString moduleOf(Factory factory)
{
    return fileOfAddress(reinterpret_cast<const void*>(factory));
}

QString moduleOfObject(const void* metaObject)
{
    return fileOfAddress(metaObject);
}

} // namespace sz::frames
