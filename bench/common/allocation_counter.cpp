#include "bench/common/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {
size_t g_allocations = 0;
}

namespace qf {
size_t AllocationCount() { return g_allocations; }
}  // namespace qf

void* operator new(size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
