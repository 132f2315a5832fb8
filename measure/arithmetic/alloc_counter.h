// Counts the program's heap allocations while counting is on: the C
// allocation functions, and with them every form of operator new, count.
#pragma once

#include <cstdint>

extern bool countAllocations;
extern uint64_t allocationCount;
