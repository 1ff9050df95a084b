#pragma once

#include <cstddef>
#include <cstdint>

namespace Vx
{
// Fixed-size blocks carved from one heap block.  Each slot is the element
// followed by a 32-bit word; the words of all slots together form a ring of
// free slot indices.  When every slot is in use, blocks come from the heap and
// go back there when freed.  Not thread-safe: the owner locks.
class FixedBlockPool
{
public:
    explicit FixedBlockPool(std::uint32_t elementSize) noexcept : mElementSize(elementSize) {}
    ~FixedBlockPool();
    FixedBlockPool(const FixedBlockPool&) = delete;
    FixedBlockPool& operator=(const FixedBlockPool&) = delete;

    // Makes capacity slots, all free; an earlier block is released first.
    // False when the block cannot be had (the pool then serves from the heap).
    bool Setup(std::uint32_t capacity) noexcept;
    // Null only when the heap is exhausted too.
    void* Allocate() noexcept;
    void Free(void* block) noexcept;

    bool Contains(const void* block) const noexcept;
    std::uint32_t GetCapacity() const noexcept { return mCapacity; }
    std::uint32_t GetFreeCount() const noexcept { return mFreeCount; }
    std::uint32_t GetElementSize() const noexcept { return mElementSize; }

private:
    // Slots stay aligned for any object: the element plus its index word,
    // rounded up to the strictest fundamental alignment.
    std::size_t GetSlotSize() const noexcept;
    std::uint32_t& RingAt(std::uint32_t position) noexcept;
    void Release() noexcept;

    unsigned char* mData = nullptr;
    std::uint32_t mFreeCount = 0;
    std::uint32_t mHead = 0;
    std::uint32_t mCapacity = 0;
    std::uint32_t mElementSize;
};
} // namespace Vx
