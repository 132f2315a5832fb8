// Pacing benchmark under Wine. Drives the real pacer (beginRun through the
// settings dialog's Start, then runPass) in the real flicker window with the
// main loop's message handling, and two naive designs on the same window:
// a loop paced by Sleep(1) and a 1 ms SetTimer. Every toggle's flush is
// timestamped (flush_recorder.cpp); every pass is timed around its call.
//
// Usage: pacing_bench OUTDIR [SECONDS]
// Writes OUTDIR/summary.tsv and OUTDIR/lateness-<design>-<rate>.txt (one
// lateness in microseconds per line). Exits non-zero when a check fails.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "measure/recorder/flush_recorder.h"
#include "core/pacer.h"
#include "core/settings.h"
#include "frontend/flicker_window.h"
#include "frontend/main.h"
#include "frontend/settings_dialog.h"
#include "resources/resource.h"

namespace {

constexpr uint32_t flashRates[] = {60, 144, 240, 1000};

// One pass of a design: when it started, how long its painting call took,
// and the elapsed ticks its toggle index was taken at.
struct PassRecord {
  int64_t start;
  int64_t elapsedAfter;
  uint32_t ticks;
};

std::vector<FlushRecord> flushStorage;
std::vector<PassRecord> passes;
uint32_t passCount;
uint32_t passesLost;

uint32_t noticesClosed;  // frame-drop notices closed by the hook in this run
int64_t noticeTicks;     // counter reading at the first of them

FILE* summary;
const char* outDir;
int failedChecks;

int64_t counterNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// A stop rule shows the frame-drop notice, a message box owned by the
// dialog, and waits for the user. The hook answers it with OK as soon as it
// is created, so a stop is counted and the run ends without hanging.
LRESULT CALLBACK closeNotices(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = {};
    if (window != dialogWindow() && GetClassNameW(window, name, 16) > 0 &&
        wcscmp(name, L"#32770") == 0) {
      if (noticesClosed == 0) noticeTicks = counterNow();
      ++noticesClosed;
      PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void drainMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) routeMessage(&message);
}

void recordPass(int64_t start, int64_t end, int64_t elapsedAfter) {
  if (passCount < passes.size()) {
    passes[passCount++] = PassRecord{start, elapsedAfter, static_cast<uint32_t>(end - start)};
  } else {
    ++passesLost;
  }
}

// Types the run's settings into the dialog; each write raises the field's
// change notification, as typing does.
void typeSettings(uint32_t flashRate) {
  SetDlgItemInt(dialogWindow(), IDC_FLASH_RATE, flashRate, FALSE);
  SetDlgItemInt(dialogWindow(), IDC_MAX_DROP_FRAMES, defaultMaxDropFrames, FALSE);
  SetDlgItemInt(dialogWindow(), IDC_MAX_CONSECUTIVE_DROPS, defaultMaxConsecutiveDrops, FALSE);
  SetDlgItemInt(dialogWindow(), IDC_STRIP_COUNT, defaultStripCount, FALSE);
}

void destroyFlickerWindow() {
  if (IsWindow(flickerWindow())) DestroyWindow(flickerWindow());
  drainMessages();
}

struct Run {
  const char* design;
  uint32_t flashRate;
  int64_t startTicks;
  uint32_t toggleRate;
  uint32_t rateScale;
  bool flickerActive;  // the flicker window was the active window during the run
};

// The real program: Start through the dialog, then the main loop, timing
// each runPass. Ends after `seconds` or when a stop rule ends the run.
// The loop is the program's own turn (routeMessage, then a pass when the
// queue is empty) written out here rather than called, because the
// benchmark reads the counter around each pass and must end the run itself.
Run runOurs(uint32_t flashRate, double seconds) {
  typeSettings(flashRate);
  SetActiveWindow(dialogWindow());
  drainMessages();
  passCount = 0;
  passesLost = 0;
  noticesClosed = 0;
  startFlushLog(&pacerState.toggleCount);

  const int64_t oldStart = pacerState.startTicks;
  PostMessageW(dialogWindow(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialogWindow(), IDOK)));

  Run run{"ours", flashRate, 0, 0, 0, false};
  bool started = false;
  int64_t endTicks = 0;
  MSG message;
  for (;;) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
      if (GetMessageW(&message, nullptr, 0, 0) == 0) {
        stopFlushLog();
        return run;
      }
      routeMessage(&message);
    }
    if (!started) {
      if (pacerState.startTicks == oldStart) {
        WaitMessage();
        continue;
      }
      started = true;
      run.startTicks = pacerState.startTicks;
      run.toggleRate = pacerSettings.toggleRate;
      run.rateScale = pacerSettings.rateScale;
      run.flickerActive = GetActiveWindow() == flickerWindow();
      endTicks = run.startTicks +
                 static_cast<int64_t>(seconds * static_cast<double>(pacerState.tickFrequency));
    }
    if (!pacerState.drawing || !IsWindow(flickerWindow())) break;
    const int64_t start = counterNow();
    if (start >= endTicks) break;
    runPass();
    const int64_t end = counterNow();
    recordPass(start, end, pacerState.prevElapsedTicks);
  }
  stopFlushLog();
  destroyFlickerWindow();
  return run;
}

// Paints every toggle that fell due since `startTicks`, as a naive design
// does on each wake-up, with the same platform calls as the pacer.
void paintDue(int64_t startTicks, uint32_t* painted) {
  const int64_t start = counterNow();
  const int64_t elapsed = start - startTicks;
  const int64_t target = toggleIndex(elapsed);
  if (target > static_cast<int64_t>(*painted)) {
    void* surface = platformAcquireSurface();
    PlatformRect client;
    platformClientRect(&client);
    PlatformRect strips[maxStripCount];
    const uint32_t n = clampStripCount(pacerSettings.stripCount);
    layoutStrips(client, n, strips);
    while (static_cast<int64_t>(*painted) < target) {
      const bool white = (*painted & 1) == 0;
      for (uint32_t k = 0; k < n; ++k) platformFill(surface, strips[k], white);
      platformFlush();
      ++*painted;
    }
    platformReleaseSurface(surface);
  }
  recordPass(start, counterNow(), elapsed);
}

Run beginNaive(const char* design, uint32_t flashRate, uint32_t* painted) {
  typeSettings(flashRate);
  createFlickerWindow();
  drainMessages();
  passCount = 0;
  passesLost = 0;
  noticesClosed = 0;
  *painted = 0;
  startFlushLog(painted);
  Run run{design, flashRate, counterNow(), pacerSettings.toggleRate, pacerSettings.rateScale,
          false};
  run.flickerActive = GetActiveWindow() == flickerWindow();
  return run;
}

// Naive design 1: wake up every millisecond or so with Sleep(1).
Run runSleepLoop(uint32_t flashRate, double seconds) {
  uint32_t painted = 0;
  Run run = beginNaive("sleep1", flashRate, &painted);
  const int64_t endTicks =
      run.startTicks +
      static_cast<int64_t>(seconds * static_cast<double>(pacerState.tickFrequency));
  for (;;) {
    drainMessages();
    if (counterNow() >= endTicks) break;
    paintDue(run.startTicks, &painted);
    Sleep(1);
  }
  stopFlushLog();
  destroyFlickerWindow();
  return run;
}

// Naive design 2: a 1 ms window timer; each WM_TIMER paints what is due.
Run runTimer(uint32_t flashRate, double seconds) {
  uint32_t painted = 0;
  Run run = beginNaive("timer1", flashRate, &painted);
  const int64_t endTicks =
      run.startTicks +
      static_cast<int64_t>(seconds * static_cast<double>(pacerState.tickFrequency));
  const UINT_PTR timer = SetTimer(flickerWindow(), 1, 1, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == flickerWindow()) {
      if (counterNow() >= endTicks) break;
      paintDue(run.startTicks, &painted);
      continue;
    }
    routeMessage(&message);
  }
  KillTimer(flickerWindow(), timer);
  stopFlushLog();
  destroyFlickerWindow();
  return run;
}

// How much of the processor the machine leaves to a loop that does nothing
// but read the counter: every gap between two readings longer than 100 us
// is time the thread was not running (other work, the host). It bounds what
// any design can do while the benchmark runs.
void measureBaseline(double seconds) {
  std::vector<uint32_t> gaps(1u << 20);
  uint32_t count = 0;
  uint64_t readings = 0;
  const int64_t threshold = pacerState.tickFrequency / 10000;
  const int64_t start = counterNow();
  const int64_t end =
      start + static_cast<int64_t>(seconds * static_cast<double>(pacerState.tickFrequency));
  int64_t previous = start;
  for (int64_t now = start; now < end; now = counterNow()) {
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
  fprintf(summary,
          "baseline\treadingsPerSecond=%.0f\tgaps=%u\tover1ms=%u\tover10ms=%u\tmaxUs=%.1f\t"
          "lostPercent=%.3f\n",
          static_cast<double>(readings) / seconds, count, over1ms, over10ms, longest,
          lost / (seconds * 1e4));
  printf("baseline: %u gaps > 0.1 ms, %u > 1 ms, %u > 10 ms, longest %.1f us, %.3f %% lost\n",
         count, over1ms, over10ms, longest, lost / (seconds * 1e4));
  fflush(stdout);
}

double percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return NAN;
  size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size())));
  rank = std::min(std::max<size_t>(rank, 1), sorted.size());
  return sorted[rank - 1];
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return percentile(values, 0.5);
}

// Writes the measures of a finished run: one summary line and the lateness
// of every flushed toggle.
void report(const Run& run) {
  const double frequency = static_cast<double>(pacerState.tickFrequency);
  const double microsPerTick = 1e6 / frequency;
  // Toggle k (1-based) is scheduled k * rateScale * tickFrequency / toggleRate
  // ticks after the start; a flush record carries k - 1.
  const double period = static_cast<double>(run.rateScale) * frequency / run.toggleRate;

  std::vector<double> lateness(flushLog.count);
  for (uint32_t i = 0; i < flushLog.count; ++i) {
    const FlushRecord& r = flushLog.records[i];
    const double k = static_cast<double>(r.toggle) + 1;
    lateness[i] = (static_cast<double>(r.ticks - run.startTicks) - k * period) * microsPerTick;
  }
  // Achieved average rate: how far the typical lateness drifts from the
  // first half of the run to the second, per toggle in between, added to the
  // scheduled period. Medians keep single late toggles (a preempted loop)
  // from tilting the estimate as they would a least-squares line.
  double ppm = NAN;
  const uint32_t half = flushLog.count / 2;
  if (half > 0) {
    const std::vector<double> first(lateness.begin(), lateness.begin() + half);
    const std::vector<double> second(lateness.begin() + half, lateness.begin() + 2 * half);
    const double firstK = 0.5 * (flushLog.records[0].toggle + flushLog.records[half - 1].toggle);
    const double secondK =
        0.5 * (flushLog.records[half].toggle + flushLog.records[2 * half - 1].toggle);
    const double drift = (median(second) - median(first)) / microsPerTick;
    ppm = (period / (period + drift / (secondK - firstK)) - 1) * 1e6;
  }

  char path[512];
  snprintf(path, sizeof path, "%s/lateness-%s-%u.txt", outDir, run.design, run.flashRate);
  if (FILE* file = fopen(path, "w")) {
    for (double v : lateness) fprintf(file, "%.2f\n", v);
    fclose(file);
  }
  std::vector<double> sorted = lateness;
  std::sort(sorted.begin(), sorted.end());

  // Passes: due count from the toggle index before and after each pass.
  std::vector<double> idle, one, turn;
  uint32_t dropping = 0;
  int64_t maxDue = 0;
  int64_t previous = 0;
  // Time between the end of one pass and the start of the next: the loop's
  // own message check, plus whatever time the thread was not running.
  uint32_t stalls = 0;
  double stalledMicros = 0, longestStall = 0;
  for (uint32_t i = 0; i < passCount; ++i) {
    if (i + 1 < passCount) {
      const double between =
          static_cast<double>(passes[i + 1].start - passes[i].start - passes[i].ticks) *
          microsPerTick;
      if (between > 1000) {
        ++stalls;
        stalledMicros += between;
      }
      longestStall = std::max(longestStall, between);
    }
    const int64_t current = toggleIndex(passes[i].elapsedAfter);
    const int64_t due = current - previous;
    previous = current;
    if (due > 1) ++dropping;
    maxDue = std::max(maxDue, due);
    const double micros = passes[i].ticks * microsPerTick;
    if (due == 0) {
      idle.push_back(micros);
      if (i + 1 < passCount) {
        turn.push_back(static_cast<double>(passes[i + 1].start - passes[i].start) * microsPerTick);
      }
    } else if (due == 1) {
      one.push_back(micros);
    }
  }
  const double seconds =
      passCount > 1 ? static_cast<double>(passes[passCount - 1].start - passes[0].start) / frequency
                    : 0;
  // The first pass comes only after Start has created and shown the flicker
  // window, so the first toggles are caught up late by that much.
  const double firstPassMs =
      passCount > 0 ? static_cast<double>(passes[0].start - run.startTicks) * 1e3 / frequency : NAN;
  const double idleMedian = median(idle);
  const double oneMedian = median(one);

  fprintf(summary,
          "result\t%s\t%u\tseconds=%.3f\tpasses=%u\tpassesPerSecond=%.0f\tpassIdleUs=%.2f\t"
          "passOneUs=%.2f\ttoggleUs=%.2f\tturnIdleUs=%.2f\ttoggles=%u\tlost=%u\t"
          "p50=%.2f\tp90=%.2f\tp99=%.2f\tp999=%.2f\tmax=%.2f\tdropping=%u\tmaxDue=%lld\t"
          "stops=%u\tstopAfterS=%.3f\tppm=%.3f\tflickerActive=%d\tfirstPassMs=%.3f\t"
          "stalls=%u\tstalledPercent=%.3f\tlongestStallUs=%.1f\n",
          run.design, run.flashRate, seconds, passCount, passCount / seconds, idleMedian, oneMedian,
          oneMedian - idleMedian, median(turn), flushLog.count, flushLog.lost + passesLost,
          percentile(sorted, 0.5), percentile(sorted, 0.9), percentile(sorted, 0.99),
          percentile(sorted, 0.999), sorted.empty() ? NAN : sorted.back(), dropping,
          static_cast<long long>(maxDue), noticesClosed,
          noticesClosed ? static_cast<double>(noticeTicks - run.startTicks) / frequency : 0.0, ppm,
          run.flickerActive ? 1 : 0, firstPassMs, stalls, stalledMicros / (seconds * 1e4),
          longestStall);
  fflush(summary);
  printf(
      "%-6s %4u/s: %7.0f passes/s, pass %6.2f us, toggle %6.2f us, lateness p50 %8.2f "
      "p99 %9.2f max %9.2f us, drops %u, max due %lld, stops %u, %+.2f ppm\n",
      run.design, run.flashRate, passCount / seconds, idleMedian, oneMedian - idleMedian,
      percentile(sorted, 0.5), percentile(sorted, 0.99), sorted.empty() ? NAN : sorted.back(),
      dropping, static_cast<long long>(maxDue), noticesClosed, ppm);
  fflush(stdout);
}

void check(bool passed, const char* name, const char* detail) {
  fprintf(summary, "check\t%s\t%s\t%s\n", name, passed ? "ok" : "FAILED", detail);
  printf("check %s: %s (%s)\n", name, passed ? "ok" : "FAILED", detail);
  if (!passed) ++failedChecks;
}

// A stop must be seen and must not hang the benchmark: at 10^6 flashes per
// second with both limits 0 the first pass drops and stops the run.
void checkStopDetection() {
  const int64_t before = counterNow();
  SetDlgItemTextW(dialogWindow(), IDC_FLASH_RATE, L"1000000");
  SetDlgItemTextW(dialogWindow(), IDC_MAX_DROP_FRAMES, L"0");
  SetDlgItemTextW(dialogWindow(), IDC_MAX_CONSECUTIVE_DROPS, L"0");
  SetActiveWindow(dialogWindow());
  noticesClosed = 0;
  const int64_t oldStart = pacerState.startTicks;
  PostMessageW(dialogWindow(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialogWindow(), IDOK)));
  const int64_t limit = before + 5 * pacerState.tickFrequency;
  MSG message;
  while (counterNow() < limit) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
      if (GetMessageW(&message, nullptr, 0, 0) == 0) break;
      routeMessage(&message);
    }
    if (pacerState.startTicks == oldStart) continue;
    if (!pacerState.drawing || !IsWindow(flickerWindow())) break;
    runPass();
  }
  char detail[128];
  snprintf(detail, sizeof detail, "notices %u, drawing %u, window %s", noticesClosed,
           pacerState.drawing, IsWindow(flickerWindow()) ? "open" : "gone");
  check(noticesClosed == 1 && pacerState.drawing == 0 && !IsWindow(flickerWindow()),
        "stop rule detected", detail);
  destroyFlickerWindow();
}

// The recording reaches the core's flushes: the warm-up run must leave
// records whose toggle numbers count up from 0 without a gap.
void checkFlushRecording() {
  bool counting = flushLog.count > 0;
  for (uint32_t i = 0; counting && i < flushLog.count; ++i) {
    counting = flushLog.records[i].toggle == i;
  }
  char detail[64];
  snprintf(detail, sizeof detail, "%u flushes recorded", flushLog.count);
  check(counting, "flushes of runPass recorded", detail);
}

// Cost of one call, in microseconds: the median over batches of `perBatch`
// calls, less the cost of reading the counter.
template <typename Call>
double callCost(Call call, int perBatch) {
  std::vector<double> batches(301);
  for (double& b : batches) {
    const int64_t a = counterNow();
    for (int i = 0; i < perBatch; ++i) call();
    b = static_cast<double>(counterNow() - a);
  }
  return median(batches) * 1e6 / static_cast<double>(pacerState.tickFrequency) / perBatch;
}

void reportCall(const char* name, double micros) {
  fprintf(summary, "call\t%s\t%.4f\n", name, micros);
  printf("call %-60s %9.4f us\n", name, micros);
}

// Where a pass spends its time: each platform call of the loop and of a
// pass, timed alone on a live flicker window.
void measureCalls() {
  typeSettings(1000);
  createFlickerWindow();
  drainMessages();
  HWND window = flickerWindow();
  MSG message;
  reportCall("PeekMessageW(PM_NOREMOVE), empty queue",
             callCost([&] { PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); }, 20));
  reportCall("GetActiveWindow", callCost([] { GetActiveWindow(); }, 100));
  reportCall("IsWindow", callCost([&] { IsWindow(window); }, 100));
  reportCall("QueryPerformanceCounter", callCost([] { counterNow(); }, 100));
  reportCall("GetDC + ReleaseDC", callCost([&] { ReleaseDC(window, GetDC(window)); }, 20));
  RECT client;
  reportCall("GetClientRect", callCost([&] { GetClientRect(window, &client); }, 100));
  reportCall("GetStockObject", callCost([] { GetStockObject(WHITE_BRUSH); }, 100));
  HDC dc = GetDC(window);
  RECT strip{0, 0, 8, client.bottom};
  bool white = false;
  reportCall("FillRect (8 px x screen height)",
             callCost(
                 [&] {
                   white = !white;
                   FillRect(dc, &strip,
                            static_cast<HBRUSH>(GetStockObject(white ? WHITE_BRUSH : BLACK_BRUSH)));
                 },
                 20));
  reportCall("GdiFlush", callCost([] { GdiFlush(); }, 20));
  PlatformRect strips[maxStripCount];
  layoutStrips(PlatformRect{client.left, client.top, client.right, client.bottom}, 4, strips);
  reportCall("one toggle: 4 fills + flush", callCost(
                                                [&] {
                                                  white = !white;
                                                  for (int k = 0; k < 4; ++k)
                                                    platformFill(dc, strips[k], white);
                                                  GdiFlush();
                                                },
                                                20));
  ReleaseDC(window, dc);
  int64_t elapsed = 12345;
  volatile int64_t sink = 0;
  const PlatformRect rect{client.left, client.top, client.right, client.bottom};
  reportCall("core arithmetic: layoutStrips(n = 4) + 2 toggleIndex",
             callCost(
                 [&] {
                   layoutStrips(rect, 4, strips);
                   sink = sink + toggleIndex(elapsed) + toggleIndex(elapsed + 997) + strips[3].left;
                   elapsed += 1013;
                 },
                 1000));
  destroyFlickerWindow();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: pacing_bench OUTDIR [SECONDS]\n");
    return 2;
  }
  outDir = argv[1];
  const double seconds = argc > 2 ? atof(argv[2]) : 10.0;
  char path[512];
  snprintf(path, sizeof path, "%s/summary.tsv", outDir);
  summary = fopen(path, "w");
  if (summary == nullptr) {
    fprintf(stderr, "pacing_bench: cannot write %s\n", path);
    return 2;
  }

  // Start-up as the program does it.
  frontEndState.instance = GetModuleHandleW(nullptr);
  frontEndState.dialogWindow = CreateDialogParamW(programInstance(), MAKEINTRESOURCEW(IDD_SETTINGS),
                                                  nullptr, settingsDialogProc, 0);
  if (dialogWindow() == nullptr) {
    fprintf(stderr, "pacing_bench: no dialog (error %lu)\n", GetLastError());
    return 2;
  }
  writeStartupFields();
  ShowWindow(dialogWindow(), SW_SHOW);
  SetActiveWindow(dialogWindow());
  if (!registerFlickerWindowClass()) {
    fprintf(stderr, "pacing_bench: class registration failed\n");
    return 2;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  pacerState.tickFrequency = frequency.QuadPart;
  fprintf(summary, "info\ttickFrequency\t%lld\n", static_cast<long long>(frequency.QuadPart));
  fprintf(summary, "info\tseconds\t%.3f\n", seconds);
  fprintf(summary, "info\tpointerBits\t%u\n", static_cast<unsigned>(sizeof(void*) * 8));

  // Everything a run records is allocated here, before any run.
  flushStorage.resize(4u << 20);
  flushLog.records = flushStorage.data();
  flushLog.capacity = static_cast<uint32_t>(flushStorage.size());
  passes.resize(8u << 20);

  HHOOK hook = SetWindowsHookExW(WH_CBT, closeNotices, nullptr, GetCurrentThreadId());

  // Warm-up run, not reported; it also shows that the recording works.
  runOurs(1000, std::min(seconds, 1.0));
  checkFlushRecording();
  checkStopDetection();

  measureBaseline(seconds);
  for (uint32_t rate : flashRates) {
    report(runOurs(rate, seconds));
    report(runSleepLoop(rate, seconds));
    report(runTimer(rate, seconds));
  }
  measureCalls();

  UnhookWindowsHookEx(hook);
  DestroyWindow(dialogWindow());
  drainMessages();
  fclose(summary);
  return failedChecks == 0 ? 0 : 1;
}
