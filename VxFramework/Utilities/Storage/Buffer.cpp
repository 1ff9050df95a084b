#include "VxFramework/Utilities/Storage/Buffer.h"

#include <cstdlib>

namespace Vx
{
namespace
{
void* SystemMalloc(std::size_t size) { return std::malloc(size); }
void* SystemCalloc(std::size_t count, std::size_t size) { return std::calloc(count, size); }
void* SystemRealloc(void* block, std::size_t size) { return std::realloc(block, size); }
void SystemFree(void* block) { std::free(block); }
} // namespace

const Allocator& GetSystemAllocator() noexcept
{
    static constexpr Allocator kSystem{&SystemMalloc, &SystemCalloc, &SystemRealloc, &SystemFree};
    return kSystem;
}

RCPtr<LIBuffer> LIBuffer::Create(std::uint32_t size, std::uint32_t reserve, std::uint32_t flags)
{
    return LStringBuffer::Create(size, reserve, flags);
}

template class BufferT<1, 128, 8, char*>;
template class BufferT<1, 0, 8, char*>;
template class LBufferT<1, 128, 8, char*>;
template class LBufferT<1, 0, 8, char*>;
} // namespace Vx
