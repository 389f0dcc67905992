#pragma once

#include <QtCore/qglobal.h>

#if defined(SZ_SHARED_LIBRARY)
#define SZ_SHARED_EXPORT Q_DECL_EXPORT
#else
#define SZ_SHARED_EXPORT Q_DECL_IMPORT
#endif
