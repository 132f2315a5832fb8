// Native microbenchmark of a pass's own arithmetic (the strip layout and the
// two toggle indices) and of a whole pass on a platform that does nothing,
// preceded by a check that a pass allocates no memory.
//
// Prints "allocations during passes: N" and exits with status 1 when N is not
// 0; otherwise runs the Google Benchmark cases with the given flags.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/pacer.h"
#include "core/settings.h"
#include "measure/arithmetic/native_platform.h"

// The program's heap allocations, counted while counting is on: the C
// allocation functions, and with them every form of operator new, count.
bool countAllocations;
uint64_t allocationCount;

// glibc's own allocator under its internal names; replacing malloc, calloc,
// realloc and free together is supported by glibc.
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
extern "C" void* __libc_memalign(size_t alignment, size_t size);
extern "C" void __libc_free(void* block);

extern "C" void* malloc(size_t size) noexcept {
  if (countAllocations) ++allocationCount;
  return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) noexcept {
  if (countAllocations) ++allocationCount;
  return __libc_calloc(count, size);
}

extern "C" void* realloc(void* block, size_t size) noexcept {
  if (countAllocations) ++allocationCount;
  return __libc_realloc(block, size);
}

extern "C" void free(void* block) noexcept { __libc_free(block); }

// The library's operator new takes its memory from malloc, and so is counted
// there, except the aligned one, replaced here (the library's other aligned
// forms call it, and its deletes call free).
void* operator new(size_t size, std::align_val_t alignment) {
  if (countAllocations) ++allocationCount;
  void* block = __libc_memalign(static_cast<size_t>(alignment), size == 0 ? 1 : size);
  if (block == nullptr) std::abort();  // the benchmark has no use for bad_alloc
  return block;
}

namespace {

constexpr int64_t counterFrequency = 10000000;  // Wine's counter runs at 10 MHz

// Settings and state of a run at 60 flashes per second, started at tick 0;
// what beginRun allocates is not counted.
void startRun(const char16_t* stripCount) {
  const bool counting = countAllocations;
  countAllocations = false;
  pacerState.tickFrequency = counterFrequency;
  benchStripCountText = stripCount;
  benchCounter = 0;
  benchCounterStep = 0;
  beginRun();
  countAllocations = counting;
}

// Passes with nothing due, one due, several due (a dropping series), one
// with more due than allowed after a drop (a stop), and a pass so late that
// it paints for longer than a pass may, with `n` strips.
uint64_t allocationsOverPasses(const char16_t* stripCount) {
  startRun(stripCount);
  const int64_t period = counterFrequency / 120;
  // Nothing, one, a series of four drops (the consecutive rule stops), then
  // in a fresh run a drop followed by 40 due (the drop-size rule stops).
  const int64_t steps[] = {period / 7, period / 7, period,     period / 3, 2 * period, 2 * period,
                           2 * period, 2 * period, period / 2, 3 * period, 40 * period};
  countAllocations = true;
  const uint64_t before = allocationCount;
  for (int round = 0; round < 200; ++round) {
    for (int64_t step : steps) {
      benchCounter += step;
      runPass();
      if (!pacerState.drawing) startRun(stripCount);  // a stop rule ended the run
    }
  }
  // A pass with a huge due count whose painting runs past its deadline: the
  // counter moves on by a millisecond at every reading.
  startRun(stripCount);
  benchCounter += 1000 * period;
  benchCounterStep = counterFrequency / 1000;
  runPass();
  benchCounterStep = 0;
  countAllocations = false;
  return allocationCount - before;
}

// Strip layout for n strips and the previous and current toggle indices, as
// a pass computes them.
void passArithmetic(benchmark::State& state) {
  startRun(u"4");
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  const PlatformRect client{0, 0, 32, 1080};
  PlatformRect strips[maxStripCount];
  int64_t elapsed = 123456789;
  for (auto _ : state) {
    benchmark::DoNotOptimize(elapsed);
    layoutStrips(client, n, strips);
    const int64_t previous = toggleIndex(elapsed);
    elapsed += 1013;
    const int64_t current = toggleIndex(elapsed);
    benchmark::DoNotOptimize(strips);
    benchmark::DoNotOptimize(previous);
    benchmark::DoNotOptimize(current);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(passArithmetic)->Arg(4)->Arg(1024);

// A whole pass with nothing due on a platform whose calls cost nothing.
void idlePass(benchmark::State& state) {
  startRun(state.range(0) == 4 ? u"4" : u"1024");
  for (auto _ : state) {
    benchCounter += 1;
    runPass();
  }
}
BENCHMARK(idlePass)->Arg(4)->Arg(1024);

// The counter must see an allocation for its zero to mean anything.
bool counterSeesAllocations() {
  countAllocations = true;
  const uint64_t before = allocationCount;
  int* block = new int(7);
  benchmark::DoNotOptimize(block);
  delete block;
  void* raw = malloc(24);
  benchmark::DoNotOptimize(raw);
  free(raw);
  countAllocations = false;
  return allocationCount - before == 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (!counterSeesAllocations()) {
    printf("allocation counter does not see allocations\n");
    return 1;
  }
  const uint64_t allocations = allocationsOverPasses(u"4") + allocationsOverPasses(u"1024");
  printf("allocations during passes: %llu (flushes %llu, notices %u)\n",
         static_cast<unsigned long long>(allocations),
         static_cast<unsigned long long>(benchFlushes), benchNotices);
  fflush(stdout);
  if (allocations != 0) return 1;

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
