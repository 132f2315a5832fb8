// Reading the high-resolution performance counter, which the pacer does on
// every pass. In a file of its own, with no state, so that a program may
// link its own instead (see the README's house rules).
#include "core/platform.h"
#include "frontend/win32_platform.h"

int64_t platformCounter() { return readCounter(); }
