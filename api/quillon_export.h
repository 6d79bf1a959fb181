#pragma once

#include <QtCore/qglobal.h>

#if defined(QUILLON_BUILDING)
#define QUILLON_EXPORT Q_DECL_EXPORT
#else
#define QUILLON_EXPORT Q_DECL_IMPORT
#endif
