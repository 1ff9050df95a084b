#include "tests/support/CountAllocations.h"

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VX_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VX_SANITIZER_ALLOCATOR 1
#endif
#endif

namespace
{
thread_local std::uint64_t tAllocations = 0;
} // namespace

#ifdef VX_SANITIZER_ALLOCATOR
// Declared here: g++ ships the sanitizers without their interface headers.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onAllocate)(const volatile void*, std::size_t),
                                                         void (*onFree)(const volatile void*));

namespace
{
// The sanitizers own malloc; they report every allocation to these hooks.
void OnAllocate(const volatile void*, std::size_t)
{
    ++tAllocations;
}

void OnFree(const volatile void*) {}

const int kHooksInstalled = __sanitizer_install_malloc_and_free_hooks(&OnAllocate, &OnFree);
} // namespace
#else
// glibc lets a program replace malloc by defining these four; they forward
// to glibc's own allocator, so memory from either side may go to either.
extern "C"
{
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);

void* malloc(std::size_t size)
{
    ++tAllocations;
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    ++tAllocations;
    return __libc_calloc(count, size);
}

void* realloc(void* block, std::size_t size)
{
    ++tAllocations;
    return __libc_realloc(block, size);
}

void free(void* block)
{
    __libc_free(block);
}
}
#endif

namespace VxTest
{
std::uint64_t ThreadAllocationCount()
{
    return tAllocations;
}
} // namespace VxTest
