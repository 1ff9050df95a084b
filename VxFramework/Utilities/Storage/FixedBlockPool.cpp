#include "VxFramework/Utilities/Storage/FixedBlockPool.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <cstring>
#include <new>

namespace Vx
{
FixedBlockPool::~FixedBlockPool()
{
    Release();
}

std::size_t FixedBlockPool::GetSlotSize() const noexcept
{
    constexpr std::size_t alignment = alignof(std::max_align_t);
    const std::size_t raw = static_cast<std::size_t>(mElementSize) + sizeof(std::uint32_t);
    return (raw + alignment - 1) / alignment * alignment;
}

std::uint32_t& FixedBlockPool::RingAt(std::uint32_t position) noexcept
{
    return *reinterpret_cast<std::uint32_t*>(mData + position * GetSlotSize() + mElementSize);
}

void FixedBlockPool::Release() noexcept
{
    ::operator delete(mData);
    mData = nullptr;
    mCapacity = 0;
    mFreeCount = 0;
    mHead = 0;
}

bool FixedBlockPool::Setup(std::uint32_t capacity) noexcept
{
    Release();
    if (capacity == 0)
        return true;
    mData = static_cast<unsigned char*>(::operator new(capacity * GetSlotSize(), std::nothrow));
    if (mData == nullptr)
        return false;
    mCapacity = capacity;
    for (std::uint32_t position = 0; position < capacity; ++position)
        RingAt(position) = position;
    mFreeCount = capacity;
    mHead = 0;
    return true;
}

bool FixedBlockPool::Contains(const void* block) const noexcept
{
    if (mData == nullptr)
        return false;
    // Unsigned address arithmetic: a block below the data wraps to a huge index.
    const std::uintptr_t offset =
        reinterpret_cast<std::uintptr_t>(block) - reinterpret_cast<std::uintptr_t>(mData);
    return offset / GetSlotSize() < mCapacity;
}

void* FixedBlockPool::Allocate() noexcept
{
    if (mFreeCount == 0)
        return ::operator new(mElementSize, std::nothrow);
    const std::uint32_t slot = RingAt(mHead);
    --mFreeCount;
    mHead = (mHead + 1) % mCapacity;
    return mData + slot * GetSlotSize();
}

void FixedBlockPool::Free(void* block) noexcept
{
    if (block == nullptr)
        return;
    if (!Contains(block))
    {
        ::operator delete(block);
        return;
    }
    // A pool block must never reach the heap's delete, even when freed twice.
    if (mFreeCount >= mCapacity)
    {
        VX_ASSERT_FALSE();
        return;
    }
    const std::uint32_t slot =
        static_cast<std::uint32_t>((static_cast<unsigned char*>(block) - mData) / GetSlotSize());
    RingAt((mHead + mFreeCount) % mCapacity) = slot;
    ++mFreeCount;
}
} // namespace Vx
