#pragma once

#include <QtCore/qglobal.h>

#if defined(SZ_CORE_LIBRARY)
#define SZ_CORE_EXPORT Q_DECL_EXPORT
#else
#define SZ_CORE_EXPORT Q_DECL_IMPORT
#endif
