// The recording programs' own platformCounter, platformFill and
// platformFlush. Defined here, they are linked in place of the front end's
// (each lives alone in the replaceable platform library): they do what
// those do, then report the call to the recording (recording.cpp) with a
// reading of the counter taken directly, which is no pass.
#include "core/platform.h"
#include "frontend/win32.h"
#include "measure/recorder/recording.h"

static int64_t counterNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

int64_t platformCounter() {
  const int64_t now = counterNow();
  recordReading(now);
  return now;
}

void platformFill(void* surface, const PlatformRect& rect, bool white) {
  FillRect(static_cast<HDC>(surface), reinterpret_cast<const RECT*>(&rect),
           static_cast<HBRUSH>(GetStockObject(white ? WHITE_BRUSH : BLACK_BRUSH)));
  recordFill(counterNow(), white);
}

void platformFlush() {
  GdiFlush();
  recordFlush(counterNow());
}
