#include "core.h"

Core::Core() = default;
Core::~Core() = default;
Core::Core(const Core &) = default;
Core &Core::operator=(const Core &) = default;
