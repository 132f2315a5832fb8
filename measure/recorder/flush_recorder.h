// Records the counter right after every flush of the flicker window's fills.
// The benchmark links the real platform layer but its own platformFlush
// (flush_recorder.cpp), so the shipped program carries none of this.
#pragma once

#include <cstdint>

struct FlushRecord {
  int64_t ticks;    // counter reading right after the flush
  uint32_t toggle;  // 0-based number of the toggle that was flushed
};

struct FlushLog {
  FlushRecord* records;  // preallocated; nothing is allocated while recording
  uint32_t capacity;
  uint32_t count;
  uint32_t lost;           // flushes past the capacity
  const uint32_t* toggle;  // toggle number of the flush in progress; null: no recording
};

extern FlushLog flushLog;

// Starts a new log whose toggle numbers are read from `toggle` at each flush.
void startFlushLog(const uint32_t* toggle);
void stopFlushLog();
