#pragma once

#include <cstdint>

namespace VxTest
{
// Heap allocations (malloc, calloc, realloc, operator new) the calling thread
// has made so far.  Link CountAllocations.cpp into the test executable that
// uses it: outside the sanitizer builds it replaces malloc for that program.
std::uint64_t ThreadAllocationCount();
} // namespace VxTest
