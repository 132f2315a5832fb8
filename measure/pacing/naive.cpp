#include "measure/pacing/naive.h"

#include <cstdio>
#include <cstdlib>

#include "core/pacer.h"
#include "core/settings.h"
#include "frontend/flicker_window.h"
#include "frontend/win32_platform.h"

namespace {

int64_t endTicks;  // the counter reading at which a naive run ends

}  // namespace

bool openFlickerWindow(double flashRate) {
  frontEndState.instance = GetModuleHandleW(nullptr);
  if (!registerFlickerWindowClass()) return false;
  pacerState.tickFrequency = readCounterFrequency();
  toggleRateFor(flashRate);
  pacerSettings.stripCount = defaultStripCount;
  createFlickerWindow();
  drainMessages();
  return true;
}

void drainMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

void closeFlickerWindow() {
  if (IsWindow(flickerWindow())) DestroyWindow(flickerWindow());
  drainMessages();
}

bool beginNaive(int argc, char** argv) {
  const double flashRate = argc == 3 ? atof(argv[1]) : 0;
  const double seconds = argc == 3 ? atof(argv[2]) : 0;
  if (!(flashRate > 0 && seconds > 0)) {
    fprintf(stderr, "usage: %s FLASH_RATE SECONDS\n", argv[0]);
    return false;
  }
  if (!openFlickerWindow(flashRate)) {
    fprintf(stderr, "%s: class registration failed\n", argv[0]);
    return false;
  }
  pacerState.drawing = 1;
  pacerState.startTicks = platformCounter();
  endTicks = pacerState.startTicks +
             static_cast<int64_t>(seconds * static_cast<double>(pacerState.tickFrequency));
  return true;
}

bool naiveTimeUp() { return readCounter() >= endTicks; }

void paintDue() {
  const int64_t target = toggleIndex(platformCounter() - pacerState.startTicks);
  if (target <= static_cast<int64_t>(pacerState.toggleCount)) return;
  void* surface = platformAcquireSurface();
  PlatformRect strips[maxStripCount];
  const uint32_t n = layoutFlickerStrips(strips);
  while (static_cast<int64_t>(pacerState.toggleCount) < target) paintToggle(surface, strips, n);
  platformReleaseSurface(surface);
}
