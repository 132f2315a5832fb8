#include "measure/recorder/flush_recorder.h"

#include "core/platform.h"
#include "frontend/win32.h"

FlushLog flushLog;

void startFlushLog(const uint32_t* toggle) {
  flushLog.count = 0;
  flushLog.lost = 0;
  flushLog.toggle = toggle;
}

void stopFlushLog() { flushLog.toggle = nullptr; }

// The benchmark's own platformFlush: defined here, it is linked in place of
// the front end's (which lives alone in the platform library's
// platform_flush.cpp). It flushes as that one does, then takes the time.
void platformFlush() {
  GdiFlush();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  if (flushLog.toggle == nullptr) return;
  if (flushLog.count < flushLog.capacity) {
    flushLog.records[flushLog.count++] = FlushRecord{now.QuadPart, *flushLog.toggle};
  } else {
    ++flushLog.lost;
  }
}
