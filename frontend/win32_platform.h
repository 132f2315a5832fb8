// What the replaceable platform operations do with Win32, and the counter's
// frequency, written once: the library platform_replaceable's platformCounter
// and platformFill are these, and a program that replaces an operation (to
// time it) calls them to do the same.
#pragma once

#include <cstdint>

#include "core/platform.h"
#include "frontend/win32.h"

// The performance counter, in ticks.
inline int64_t readCounter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// The performance counter's ticks per second.
inline int64_t readCounterFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

// Fills `rect` on the device context `surface` with pure white or pure black.
inline void fillWhiteOrBlack(void* surface, const PlatformRect& rect, bool white) {
  FillRect(static_cast<HDC>(surface), reinterpret_cast<const RECT*>(&rect),
           static_cast<HBRUSH>(GetStockObject(white ? WHITE_BRUSH : BLACK_BRUSH)));
}
