// The platform of the native programs on the core (core_numbers, which
// never touches it, and the microbenchmark): a counter set by the benchmark
// and drawing calls that only count.
#pragma once

#include <cstdint>

#include "core/platform.h"

extern int64_t benchCounter;      // the next counter reading
extern int64_t benchCounterStep;  // added after every reading
extern uint64_t benchFills;
extern uint64_t benchFlushes;
extern uint32_t benchNotices;
extern const char16_t* benchStripCountText;  // strip-count field text; null: the default
