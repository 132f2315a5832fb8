#include "bench/flush_recorder.h"

#include "frontend/win32.h"

FlushLog flushLog;

void startFlushLog(const uint32_t* toggle) {
  flushLog.count = 0;
  flushLog.lost = 0;
  flushLog.toggle = toggle;
}

void stopFlushLog() { flushLog.toggle = nullptr; }

// The linker sends every reference to platformFlush() (mangled
// _Z13platformFlushv) here and makes __real_ the platform layer's own one.
// The names are C names; on i686 the compiler adds the leading underscore
// that the linker's --wrap expects there.
extern "C" void __real__Z13platformFlushv();

extern "C" void __wrap__Z13platformFlushv() {
  __real__Z13platformFlushv();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  if (flushLog.toggle == nullptr) return;
  if (flushLog.count < flushLog.capacity) {
    flushLog.records[flushLog.count++] = FlushRecord{now.QuadPart, *flushLog.toggle};
  } else {
    ++flushLog.lost;
  }
}
