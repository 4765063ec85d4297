#ifndef LABCORE_GLOBAL_H
#define LABCORE_GLOBAL_H

#include <QtCore/qglobal.h>

#if defined(LABCORE_BUILD_CORE)
#  define LABCORE_EXPORT Q_DECL_EXPORT
#else
#  define LABCORE_EXPORT Q_DECL_IMPORT
#endif

#endif // LABCORE_GLOBAL_H
