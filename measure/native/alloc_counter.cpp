#include "measure/native/alloc_counter.h"

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

namespace {

void* allocate(size_t size, size_t alignment) {
  if (countAllocations) ++allocationCount;
  if (size == 0) size = 1;
  void* block = alignment <= alignof(std::max_align_t) ? __libc_malloc(size)
                                                       : __libc_memalign(alignment, size);
  if (block == nullptr) std::abort();  // the benchmark has no use for bad_alloc
  return block;
}

}  // namespace

void* operator new(size_t size) { return allocate(size, 0); }
void* operator new[](size_t size) { return allocate(size, 0); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new(size_t size, std::align_val_t a) {
  return allocate(size, static_cast<size_t>(a));
}
void* operator new[](size_t size, std::align_val_t a) {
  return allocate(size, static_cast<size_t>(a));
}
void operator delete(void* block) noexcept { __libc_free(block); }
void operator delete[](void* block) noexcept { __libc_free(block); }
void operator delete(void* block, size_t) noexcept { __libc_free(block); }
void operator delete[](void* block, size_t) noexcept { __libc_free(block); }
void operator delete(void* block, std::align_val_t) noexcept { __libc_free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { __libc_free(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { __libc_free(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { __libc_free(block); }
