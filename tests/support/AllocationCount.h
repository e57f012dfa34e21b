#pragma once

#include <cstdint>

namespace morvaleth::testing {

// How many blocks the program has asked the C allocator for so far: every
// malloc, calloc and realloc, and so every operator new, whoever calls it -
// the engine, the standard library, FreeType, Fontconfig or iconv. Counts only
// in a program linked with AllocationCount.cpp; aligned allocations
// (aligned_alloc, posix_memalign) are not counted.
std::uint64_t AllocationCount();

// False where the count cannot work (a build with a sanitizer, which brings
// its own allocator).
bool AllocationCountWorks();

} // namespace morvaleth::testing
