// Filling one strip, the platform operation that the pacer calls for every
// strip of every toggle. In a file of its own, with no state, so that a
// program may link its own instead (see the README's house rules).
#include "core/platform.h"
#include "frontend/win32_platform.h"

void platformFill(void* surface, const PlatformRect& rect, bool white) {
  fillWhiteOrBlack(surface, rect, white);
}
