// The recording in memory: its storage, taken and touched before main or
// WinMain, so that the working set does not grow while recording; every fill
// and flush; the pass statistics and the two histograms, kept as the
// readings come; and the file in recording.h's layout, written at exit.
#include <algorithm>
#include <cstring>

#include "core/pacer.h"
#include "core/settings.h"
#include "frontend/win32.h"
#include "measure/recorder/recording.h"

namespace {

constexpr uint32_t recordCapacity = 4194304;  // 64 MB
constexpr uint32_t runCapacity = 65536;       // 1.5 MB

// A counter reading. Whether it was a pass is settled at the next reading:
// beginRun assigns its reading to pacerState.startTicks only after taking
// it, so a reading after which the start changed was a run's start.
struct Reading {
  int64_t ticks;
  int64_t startTicks;  // pacerState.startTicks at the reading
  int64_t firstFlush;  // its painting's first flush
  int64_t paintEnd;    // its painting's last flush, or the reading
  uint32_t toggles;    // pacerState.toggleCount at the reading
  uint32_t due;        // how far its painting advanced toggleCount
  bool drawing;        // pacerState.drawing at the reading
  bool pass;           // settled
};

struct Recording {
  wchar_t path[MAX_PATH];
  RecordingRecord* records = nullptr;  // null: not recording
  RecordingRun* runs = nullptr;
  RecordingHeader header = {};
  RecordingPasses passes = {};
  uint32_t idleTurns[recordingTurnBuckets] = {};
  uint32_t toggleCosts[recordingTurnBuckets] = {};
  Reading previous = {};  // settled
  Reading pending = {};   // the latest reading, not yet settled
  bool firstPassSeen = false;
  uint16_t fillsSinceFlush = 0;
  uint16_t lastWhite = 0;

  Recording() {
    const DWORD length = GetEnvironmentVariableW(L"LUKANEMI_RECORDING", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const size_t bytes =
        recordCapacity * sizeof(RecordingRecord) + runCapacity * sizeof(RecordingRun);
    char* block =
        static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (block == nullptr) return;
    for (size_t offset = 0; offset < bytes; offset += 4096) block[offset] = 0;
    runs = reinterpret_cast<RecordingRun*>(block + recordCapacity * sizeof(RecordingRecord));
    records = reinterpret_cast<RecordingRecord*>(block);
    memcpy(header.magic, "LKREC2\0\0", 8);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    header.tickFrequency = frequency.QuadPart;
    header.turnBuckets = recordingTurnBuckets;
  }

  ~Recording() {
    if (records == nullptr) return;
    settle();
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const struct {
      const void* data;
      size_t size;
    } parts[] = {{&header, sizeof header},
                 {runs, header.runCount * sizeof(RecordingRun)},
                 {records, header.recordCount * sizeof(RecordingRecord)},
                 {&passes, sizeof passes},
                 {idleTurns, sizeof idleTurns},
                 {toggleCosts, sizeof toggleCosts}};
    DWORD written;
    for (const auto& part : parts) {
      WriteFile(file, part.data, static_cast<DWORD>(part.size), &written, nullptr);
    }
    CloseHandle(file);
  }

  static uint32_t bucket(int64_t ticks) {
    return static_cast<uint32_t>(std::clamp<int64_t>(ticks, 0, recordingTurnBuckets - 1));
  }

  // Settles the pending reading, now that the start it was taken under is
  // known to have stayed or changed, and counts it and the turn it ends.
  void settle() {
    Reading& p = pending;
    p.pass = p.drawing && p.startTicks == pacerState.startTicks;
    if (p.pass) {
      ++passes.passes;
      if (p.due > 1) ++passes.dropping;
      passes.maxDue = std::max(passes.maxDue, p.due);
      if (p.due > 0) ++toggleCosts[bucket(p.firstFlush - p.ticks)];
      if (previous.pass && previous.startTicks == p.startTicks) {
        if (previous.due == 0) ++idleTurns[bucket(p.ticks - previous.ticks)];
        const int64_t gap = p.ticks - previous.paintEnd;
        if (gap > header.tickFrequency / 1000) {
          ++passes.stalls;
          passes.stalledTicks += gap;
        }
        passes.longestStallTicks = std::max(passes.longestStallTicks, gap);
      } else if (!firstPassSeen) {
        firstPassSeen = true;
        passes.firstPassTicks = p.ticks - p.startTicks;
      }
    }
    previous = p;
  }

  void read(int64_t ticks) {
    // While the pending pass paints what it found due (toggleIndex of its
    // elapsed ticks, which runPass stores after reading), the pacer reads
    // the counter after each toggle: those readings are part of the pass.
    if (pending.due > 0 && pacerState.toggleCount == pending.toggles + pending.due &&
        toggleIndex(pacerState.prevElapsedTicks) > pacerState.toggleCount) {
      return;
    }
    settle();
    pending = Reading{ticks,
                      pacerState.startTicks,
                      0,
                      ticks,
                      pacerState.toggleCount,
                      0,
                      pacerState.drawing != 0,
                      false};
  }

  // A new start reading means a new run: its entry opens here.
  void add(int64_t ticks, uint16_t kind, uint16_t white) {
    if (header.runCount == 0 || runs[header.runCount - 1].startTicks != pacerState.startTicks) {
      if (header.runCount == runCapacity) {
        ++header.lostRecords;
        return;
      }
      runs[header.runCount++] =
          RecordingRun{pacerState.startTicks, pacerSettings.toggleRate, pacerSettings.rateScale,
                       header.recordCount, pacerSettings.stripCount};
    }
    if (header.recordCount == recordCapacity) {
      ++header.lostRecords;
      return;
    }
    records[header.recordCount++] = RecordingRecord{ticks, pacerState.toggleCount, kind, white};
  }
};

Recording recording;

}  // namespace

void recordReading(int64_t ticks) {
  if (recording.records != nullptr) recording.read(ticks);
}

void recordFill(int64_t ticks, bool white) {
  if (recording.records == nullptr) return;
  recording.lastWhite = white ? 1 : 0;
  recording.add(ticks, recording.fillsSinceFlush++, recording.lastWhite);
}

void recordFlush(int64_t ticks) {
  if (recording.records == nullptr) return;
  recording.add(ticks, recordingFlushKind, recording.lastWhite);
  recording.fillsSinceFlush = 0;
  Reading& p = recording.pending;
  if (p.due == 0) p.firstFlush = ticks;
  p.paintEnd = ticks;
  p.due = pacerState.toggleCount + 1 - p.toggles;
}
