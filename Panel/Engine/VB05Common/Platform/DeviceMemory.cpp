#include "Panel/Engine/VB05Common/Platform/DeviceMemory.h"

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"

#include <cstring>
#include <limits>

namespace Vx::VB05
{
namespace
{
void* Allocate(std::size_t size)
{
    return DeviceCalls::Get().AllocateMemory(size);
}

void* AllocateZeroed(std::size_t count, std::size_t size)
{
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size)
        return nullptr;
    void* const block = DeviceCalls::Get().AllocateMemory(count * size);
    if (block != nullptr)
        std::memset(block, 0, count * size);
    return block;
}

void* Reallocate(void* block, std::size_t size)
{
    return DeviceCalls::Get().ReallocateMemory(block, size);
}

void Free(void* block)
{
    DeviceCalls::Get().FreeMemory(block);
}

constexpr Allocator kDeviceMemoryAllocator{Allocate, AllocateZeroed, Reallocate, Free};
} // namespace

const Allocator& GetDeviceMemoryAllocator() noexcept
{
    return kDeviceMemoryAllocator;
}
} // namespace Vx::VB05
