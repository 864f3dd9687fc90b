#pragma once
// Counts heap allocations of the whole program: the global allocation functions are replaced
// in allocation_counter.cpp (a separate file, so they are never inlined into callers).

#include <cstddef>

namespace qf {
size_t AllocationCount();
}
