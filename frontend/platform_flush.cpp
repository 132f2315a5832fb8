// Handing a toggle's fills to the display, the platform operation that the
// pacer calls once per toggle. In a file of its own, with no state, so that
// a program may link its own instead (see the README's house rules).
#include "core/platform.h"
#include "frontend/win32.h"

void platformFlush() { GdiFlush(); }
