#pragma once

#include "scadenzio/UiExport.h"

#include <QString>
#include <QStringList>

class QWidget;

// The process-wide registry of frame classes by name. A module registers its one
// frame class when it is loaded and removes it when it is unloaded; the main window
// looks classes up by the name PackToLoad.ini gives.
namespace sz::frames {

using Factory = QWidget* (*)();

SZ_UI_EXPORT void registerClass(const QString& className, Factory factory);
SZ_UI_EXPORT void unregisterClass(const QString& className);
// nullptr when no module has registered that name.
SZ_UI_EXPORT Factory find(const QString& className);
SZ_UI_EXPORT QStringList registeredClasses();
// The file (canonical path) of the module whose code holds the factory.
SZ_UI_EXPORT QString moduleOf(Factory factory);
// The file (canonical path) of the module that defines the object's class.
SZ_UI_EXPORT QString moduleOfObject(const void* metaObject);

template <typename T>
struct Registration
{
    explicit Registration(const char* name) : m_name(QString::fromLatin1(name))
    {
        registerClass(m_name, [] { return static_cast<QWidget*>(new T()); });
    }
    ~Registration() { unregisterClass(m_name); }
    QString m_name;
};

} // namespace sz::frames

// In a module's source: registers the frame class under its own name for as long as
// the module is loaded.
#define SZ_REGISTER_FRAME(Class) SZ_REGISTER_FRAME_EXPANDED(Class)
#define SZ_REGISTER_FRAME_EXPANDED(Class)                                                                      \
    static const sz::frames::Registration<Class> sz_frame_registration_##Class(#Class)
