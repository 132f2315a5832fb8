// Counts the program's heap allocations while counting is on: every form of
// global operator new and the C allocation functions are replaced.
#pragma once

#include <cstdint>

extern bool countAllocations;
extern uint64_t allocationCount;
