#include "measure/arithmetic/alloc_counter.h"

#include <cstddef>
#include <cstdlib>
#include <new>

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
