// The recording in memory: every fill and flush, and the pass statistics
// and the two histograms, kept as the readings come.
#include <algorithm>
#include <cstring>

#include "core/pacer.h"
#include "core/settings.h"
#include "measure/pacing/recording.h"

Recording recording;

namespace {

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

Reading previous;  // settled
Reading pending;   // the latest reading, not yet settled
bool firstPassSeen;
uint16_t fillsSinceFlush;
uint16_t lastWhite;

uint32_t bucket(int64_t ticks) {
  return static_cast<uint32_t>(std::clamp<int64_t>(ticks, 0, recordingTurnBuckets - 1));
}

// Settles the pending reading, now that the start it was taken under is
// known to have stayed or changed, and counts it and the turn it ends.
void settle() {
  Reading& p = pending;
  RecordingPasses& passes = recording.passes;
  p.pass = p.drawing && p.startTicks == pacerState.startTicks;
  if (p.pass) {
    ++passes.passes;
    if (p.due > 1) ++passes.dropping;
    passes.maxDue = std::max(passes.maxDue, p.due);
    if (p.due > 0) ++recording.toggleCosts[bucket(p.firstFlush - p.ticks)];
    if (previous.pass && previous.startTicks == p.startTicks) {
      if (previous.due == 0) ++recording.idleTurns[bucket(p.ticks - previous.ticks)];
      const int64_t gap = p.ticks - previous.paintEnd;
      if (gap > recording.header.tickFrequency / 1000) {
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

// A new start reading means a new run: its entry opens here.
void add(int64_t ticks, uint16_t kind) {
  RecordingHeader& header = recording.header;
  if (header.runCount == 0 ||
      recording.runs[header.runCount - 1].startTicks != pacerState.startTicks) {
    if (header.runCount == recording.runCapacity) {
      ++header.lostRecords;
      return;
    }
    recording.runs[header.runCount++] =
        RecordingRun{pacerState.startTicks, pacerSettings.toggleRate, pacerSettings.rateScale,
                     header.recordCount, pacerSettings.stripCount};
  }
  if (header.recordCount == recording.recordCapacity) {
    ++header.lostRecords;
    return;
  }
  recording.records[header.recordCount++] =
      RecordingRecord{ticks, pacerState.toggleCount, kind, lastWhite};
}

}  // namespace

void startRecording(int64_t tickFrequency, RecordingRun* runs, uint32_t runCapacity,
                    RecordingRecord* records, uint32_t recordCapacity) {
  memcpy(recording.header.magic, "LKREC2\0\0", 8);
  recording.header.tickFrequency = tickFrequency;
  recording.header.turnBuckets = recordingTurnBuckets;
  recording.runs = runs;
  recording.runCapacity = runCapacity;
  recording.records = records;
  recording.recordCapacity = recordCapacity;
  // Written once now, the histograms' pages do not join the working set
  // while recording.
  memset(recording.idleTurns, 0, sizeof recording.idleTurns);
  memset(recording.toggleCosts, 0, sizeof recording.toggleCosts);
}

void recordReading(int64_t ticks) {
  if (recording.runs == nullptr) return;
  // While the pending pass paints what it found due (toggleIndex of its
  // elapsed ticks, which runPass stores after reading), the pacer reads the
  // counter after each toggle: those readings are part of the pass.
  if (pending.due > 0 && pacerState.toggleCount == pending.toggles + pending.due &&
      toggleIndex(pacerState.prevElapsedTicks) > pacerState.toggleCount) {
    return;
  }
  settle();
  pending = Reading{ticks, pacerState.startTicks, 0, ticks, pacerState.toggleCount, 0,
                    pacerState.drawing != 0, false};
}

void recordFill(int64_t ticks, bool white) {
  if (recording.runs == nullptr) return;
  lastWhite = white ? 1 : 0;
  add(ticks, fillsSinceFlush++);
}

void recordFlush(int64_t ticks) {
  if (recording.runs == nullptr) return;
  add(ticks, recordingFlushKind);
  fillsSinceFlush = 0;
  if (pending.due == 0) pending.firstFlush = ticks;
  pending.paintEnd = ticks;
  pending.due = pacerState.toggleCount + 1 - pending.toggles;
}

void finishRecording() {
  if (recording.runs != nullptr) settle();
}
