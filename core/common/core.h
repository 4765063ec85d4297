#ifndef CORE_H
#define CORE_H

#include "labcore_global.h"

// Carries no data; it exists so that the application can name the library.
class LABCORE_EXPORT Core
{
public:
    Core();
    ~Core();
    Core(const Core &other);
    Core &operator=(const Core &other);
};

#endif // CORE_H
