#pragma once

#include <QtCore/qglobal.h>

#if defined(SZ_UI_LIBRARY)
#define SZ_UI_EXPORT Q_DECL_EXPORT
#else
#define SZ_UI_EXPORT Q_DECL_IMPORT
#endif
