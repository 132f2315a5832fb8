// What the machine leaves to a busy loop and what each platform call of the
// loop and of a pass costs, under Wine, on a live flicker window.
//
// usage: platform_costs SECONDS
// Prints tab-separated lines: "info" (tickFrequency, seconds, pointerBits),
// "baseline" (the counter-only loop over SECONDS) and one "call" per call
// (its cost in microseconds).
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/pacer.h"
#include "core/settings.h"
#include "frontend/win32_platform.h"
#include "measure/pacing/naive.h"

namespace {

// How much of the processor the machine leaves to a loop that does nothing
// but read the counter: every gap between two readings longer than 100 us
// is time the thread was not running (other work, the host). It bounds what
// any design can do while the benchmark runs.
void measureBaseline(double seconds) {
  std::vector<uint32_t> gaps(1u << 20);
  uint32_t count = 0;
  uint64_t readings = 0;
  const int64_t threshold = pacerState.tickFrequency / 10000;
  const int64_t start = readCounter();
  const int64_t end =
      start + static_cast<int64_t>(seconds * static_cast<double>(pacerState.tickFrequency));
  int64_t previous = start;
  for (int64_t now = start; now < end; now = readCounter()) {
    ++readings;
    if (now - previous > threshold && count < gaps.size()) {
      gaps[count++] = static_cast<uint32_t>(now - previous);
    }
    previous = now;
  }
  const double microsPerTick = 1e6 / static_cast<double>(pacerState.tickFrequency);
  uint32_t over1ms = 0, over10ms = 0;
  double lost = 0, longest = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const double micros = gaps[i] * microsPerTick;
    if (micros > 1000) ++over1ms;
    if (micros > 10000) ++over10ms;
    lost += micros;
    longest = std::max(longest, micros);
  }
  printf(
      "baseline\treadingsPerSecond=%.0f\tgaps=%u\tover1ms=%u\tover10ms=%u\tmaxUs=%.1f\t"
      "lostPercent=%.3f\n",
      static_cast<double>(readings) / seconds, count, over1ms, over10ms, longest,
      lost / (seconds * 1e4));
}

// Prints the cost of one call, in microseconds: the median over batches of
// `perBatch` calls, less the cost of reading the counter.
template <typename Call>
void reportCall(const char* name, int perBatch, Call call) {
  std::vector<double> batches(301);
  for (double& b : batches) {
    const int64_t a = readCounter();
    for (int i = 0; i < perBatch; ++i) call();
    b = static_cast<double>(readCounter() - a);
  }
  std::sort(batches.begin(), batches.end());
  printf(
      "call\t%s\t%.4f\n", name,
      batches[batches.size() / 2] * 1e6 / static_cast<double>(pacerState.tickFrequency) / perBatch);
}

// Where a pass spends its time: each platform call of the loop and of a
// pass, timed alone on the flicker window.
void measureCalls() {
  HWND window = flickerWindow();
  MSG message;
  reportCall("PeekMessageW(PM_NOREMOVE), empty queue", 20,
             [&] { PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); });
  reportCall("GetActiveWindow", 100, [] { GetActiveWindow(); });
  reportCall("IsWindow", 100, [&] { IsWindow(window); });
  reportCall("QueryPerformanceCounter", 100, [] { readCounter(); });
  reportCall("GetDC + ReleaseDC", 20, [&] { ReleaseDC(window, GetDC(window)); });
  RECT client;
  reportCall("GetClientRect", 100, [&] { GetClientRect(window, &client); });
  reportCall("GetStockObject", 100, [] { GetStockObject(WHITE_BRUSH); });
  HDC dc = GetDC(window);
  const PlatformRect strip{0, 0, 8, client.bottom};
  bool white = false;
  reportCall("FillRect (8 px x screen height)", 20, [&] {
    white = !white;
    fillWhiteOrBlack(dc, strip, white);
  });
  reportCall("GdiFlush", 20, [] { GdiFlush(); });
  const PlatformRect rect{client.left, client.top, client.right, client.bottom};
  PlatformRect strips[maxStripCount];
  layoutStrips(rect, 4, strips);
  reportCall("one toggle: 4 fills + flush", 20, [&] { paintToggle(dc, strips, 4); });
  ReleaseDC(window, dc);
  int64_t elapsed = 12345;
  volatile int64_t sink = 0;
  reportCall("core arithmetic: layoutStrips(n = 4) + 2 toggleIndex", 1000, [&] {
    layoutStrips(rect, 4, strips);
    sink = sink + toggleIndex(elapsed) + toggleIndex(elapsed + 997) + strips[3].left;
    elapsed += 1013;
  });
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  const double seconds = argc == 2 ? atof(argv[1]) : 0;
  if (!(seconds > 0)) {
    fprintf(stderr, "usage: platform_costs SECONDS\n");
    return 2;
  }
  // toggleIndex is timed at the rate the calls were always timed at.
  if (!openFlickerWindow(1000)) {
    fprintf(stderr, "platform_costs: class registration failed\n");
    return 2;
  }
  printf("info\ttickFrequency\t%lld\n", static_cast<long long>(pacerState.tickFrequency));
  printf("info\tseconds\t%.3f\n", seconds);
  printf("info\tpointerBits\t%u\n", static_cast<unsigned>(sizeof(void*) * 8));
  measureBaseline(seconds);
  measureCalls();
  closeFlickerWindow();
  return 0;
}
