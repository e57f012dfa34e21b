#include "support/AllocationCount.h"

#include <atomic>
#include <cstddef>

// Sanitizers replace the allocator themselves; the count stays off there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MORVALETH_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define MORVALETH_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef MORVALETH_COUNT_ALLOCATIONS
#define MORVALETH_COUNT_ALLOCATIONS 1
#endif

namespace {

std::atomic<std::uint64_t> allocations{0};

} // namespace

#if MORVALETH_COUNT_ALLOCATIONS

// The program's own malloc, calloc and realloc take the place of the C
// library's for every shared library too, and hand the work on to the C
// library's allocator; free stays the C library's, which owns every block.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);

void* malloc(std::size_t size) noexcept
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* block, std::size_t size) noexcept
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}
}

#endif

namespace morvaleth::testing {

std::uint64_t AllocationCount()
{
    return allocations.load(std::memory_order_relaxed);
}

bool AllocationCountWorks()
{
    return MORVALETH_COUNT_ALLOCATIONS != 0;
}

} // namespace morvaleth::testing
