// The recording: what every program of the measuring wing writes (the
// recorder, which is the shipped program with its own platformCounter,
// platformFill and platformFlush, and the naive designs, which link the
// same three), and what measure/analysis/recording.py reads for both
// analyses, the pacing figures and the display simulation. The programs
// write it at exit when LUKANEMI_RECORDING names the file (a Windows path);
// without the variable they record nothing.
//
// The file, little-endian and packed:
//   RecordingHeader
//   RecordingRun[runCount]       one per run, opened at its first fill
//   RecordingRecord[recordCount] every fill and every flush, in order
//   RecordingPasses              the passes of all runs
//   uint32 idleTurns[turnBuckets]   loop turns that painted nothing, by
//                                   length in ticks (the last bucket also
//                                   counts everything longer)
//   uint32 toggleCosts[turnBuckets] from a pass's counter reading to its
//                                   first flush, in ticks (same buckets)
//
// A pass is one counter reading by the design while a run is drawing: the
// pacer's reading in runPass, a naive design's once per wake-up. The
// readings a pass with more than two toggles due takes after each toggle
// (to keep its painting within 100 ms) belong to that pass. A loop turn is
// the time from one pass's reading to the next's. The first turn of a run starts at
// its first pass; the time between runs is no turn. beginRun's own reading
// (taken while pacerState.startTicks still holds the previous run's start)
// is no pass. A pass's due count is how far its painting advanced
// pacerState.toggleCount: for the pacer the toggles due, painted or skipped.
#pragma once

#include <cstdint>

struct RecordingHeader {
  char magic[8];          // "LKREC2\0\0"
  int64_t tickFrequency;  // counter ticks per second
  uint32_t runCount;
  uint32_t recordCount;
  uint32_t lostRecords;  // fills, flushes and runs past the storage, only counted
  uint32_t turnBuckets;  // length of each histogram
};

struct RecordingRun {
  int64_t startTicks;  // pacerState.startTicks: the counter reading at Start
  uint32_t toggleRate;
  uint32_t rateScale;
  uint32_t firstRecord;  // index of the run's first record
  uint32_t stripCount;
};

struct RecordingRecord {
  int64_t ticks;    // counter reading right after the fill or flush
  uint32_t toggle;  // pacerState.toggleCount at the time: the toggle's 0-based number
  uint16_t kind;    // a fill's strip index, or recordingFlushKind
  uint16_t white;   // the toggle's colour: 1 white, 0 black
};

constexpr uint16_t recordingFlushKind = 0xFFFF;

struct RecordingPasses {
  uint64_t passes;            // the passes (above) of all runs
  uint32_t dropping;          // passes that found more than one toggle due
  uint32_t maxDue;            // the most toggles one pass found due
  int64_t firstPassTicks;     // first run: from its start reading to its first pass
  uint32_t stalls;            // turns whose gap exceeded 1 ms (below)
  uint32_t reserved;          // 0
  int64_t stalledTicks;       // the sum of those gaps
  int64_t longestStallTicks;  // the longest gap of any length
};
// A turn's gap is the time from the end of the previous pass's painting (its
// last flush, or its reading when it painted nothing) to the next reading:
// time in which the loop did not run its own code.

// The histograms' buckets: one counter tick each, 26 ms at Wine's 10 MHz
// counter, which covers a busy loop's turns, a toggle's cost and the wake-ups
// of a 1 ms timer (about 10 ms apart under Wine).
constexpr uint32_t recordingTurnBuckets = 262144;

static_assert(sizeof(RecordingHeader) == 32 && sizeof(RecordingRun) == 24 &&
                  sizeof(RecordingRecord) == 16 && sizeof(RecordingPasses) == 48,
              "the file's layout is the structures' memory layout");

// The recording in memory (recording.cpp), the file's parts as they grow.
struct Recording {
  RecordingHeader header;
  RecordingRun* runs;  // null until recording starts
  uint32_t runCapacity;
  RecordingRecord* records;
  uint32_t recordCapacity;
  RecordingPasses passes;
  uint32_t idleTurns[recordingTurnBuckets];
  uint32_t toggleCosts[recordingTurnBuckets];
};

extern Recording recording;

// Starts recording into the storage given (fills, flushes and runs past it
// are only counted); until then the calls below do nothing.
void startRecording(int64_t tickFrequency, RecordingRun* runs, uint32_t runCapacity,
                    RecordingRecord* records, uint32_t recordCapacity);
// The recording programs' platformCounter, platformFill and platformFlush
// (recording_platform.cpp) report each call with the counter reading taken
// right after it.
void recordReading(int64_t ticks);
void recordFill(int64_t ticks, bool white);
void recordFlush(int64_t ticks);
// Counts the last reading; the recording is then complete.
void finishRecording();
