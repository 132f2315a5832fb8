// The flicker pacer: on every pass of the main loop it works out from the
// performance counter how many colour toggles fell due, paints them, and stops
// a run that falls behind.
#pragma once

#include <cstdint>

#include "core/platform.h"
#include "core/settings.h"

struct PacerState {
  uint32_t drawing;           // 1 while a run is active
  int64_t startTicks;         // counter reading taken at Start
  int64_t prevElapsedTicks;   // elapsed ticks seen by the previous pass
  int64_t tickFrequency;      // counter ticks per second
  uint32_t consecutiveDrops;  // consecutive passes with more than one toggle due
  uint32_t toggleCount;       // toggles due since Start, painted or skipped
};

extern PacerState pacerState;

// Number of toggles scheduled in the first `elapsed` ticks of the run.
int64_t toggleIndex(int64_t elapsed);

// Divides `client` into `n` vertical strips (1 <= n <= 1024) tiling it from
// left to right.
void layoutStrips(const PlatformRect& client, uint32_t n, PlatformRect* strips);

// The flicker window's strips as a pass lays them out: its client rectangle
// divided into the settings' strip count, clamped to 1..1024. Returns the
// count.
inline uint32_t layoutFlickerStrips(PlatformRect* strips) {
  PlatformRect client;
  platformClientRect(&client);
  const uint32_t n = clampStripCount(pacerSettings.stripCount);
  layoutStrips(client, n, strips);
  return n;
}

// Paints one toggle: each of the `n` strips in the colour the toggle count
// calls for (white after an even count), then hands the fills to the
// display and counts the toggle.
inline void paintToggle(void* surface, const PlatformRect* strips, uint32_t n) {
  const bool white = (pacerState.toggleCount & 1) == 0;
  for (uint32_t k = 0; k < n; ++k) platformFill(surface, strips[k], white);
  platformFlush();
  ++pacerState.toggleCount;
}

// Starts a run (the pacer's share of Start): clears the counters, applies
// the Start settings and takes the counter reading the schedule counts from.
void beginRun();

// One pass of the main loop during a run: paints every toggle that fell due
// since the previous pass, or stops the run when a drop limit is exceeded.
// The flicker window's surface is taken and released within the pass.
void runPass();

// Ends a run: clears `drawing`, destroys the flicker window and shows the
// frame-drop notice. The notice is modal: its message loop runs inside this
// call (and so inside runPass) until the user dismisses it, and no pass
// runs meanwhile.
void stopDrawing();
