#pragma once

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Storage/ArrayBuffer.h"
#include "VxFramework/Utilities/Storage/FastLock.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace Vx
{
// A pool of fixed-size blocks for one class.  The class routes its own
// allocation and deallocation functions here; a block given back is kept on a
// free list and handed out again (last freed, first reused) instead of going
// back to the heap.  Other sizes (a derived class) come from the heap.
//
// Every pointer handed out, pooled or not, sits behind a small header of the
// pool's own: the block's index in the 4 bytes just before the object, and
// before that the block's state.  The header keeps the object aligned for any
// type, so it is as long as that alignment (8 bytes on the device, 16 here).
// Free and GetIndex read only that header, so they take what Allocate handed
// out: objects made by a new-expression of the pooled class or of a class
// derived from it.
template <class T, int N>
class ReuseAllocator
{
public:
    static_assert(N > 0, "the growth step is at least one entry");
    static_assert(alignof(T) <= alignof(std::max_align_t), "over-aligned classes cannot be pooled");

    explicit ReuseAllocator(bool threadSafe) : mLock(threadSafe ? new FastLock : nullptr)
    {
        // Room for N entries from the start.
        mBlocks.SetCount(1);
        mBlocks.SetCount(0);
        mFreeIndices.SetCount(1);
        mFreeIndices.SetCount(0);
    }

    virtual ~ReuseAllocator()
    {
        // Every block goes, handed out or not; no destructor of T runs.
        for (std::uint32_t i = mBlocks.GetCount(); i-- > 0;)
            ::operator delete(mBlocks[i]);
        mBlocks.SetCount(0);
        mFreeIndices.SetCount(0);
        delete mLock;
    }

    ReuseAllocator(const ReuseAllocator&) = delete;
    ReuseAllocator& operator=(const ReuseAllocator&) = delete;

    // Storage for one object of `size` bytes; null when memory ran out.
    void* Allocate(std::size_t size) noexcept
    {
        if (size != sizeof(T))
        {
            // The header on top must not wrap the size around to a few bytes.
            if (size > SIZE_MAX - kHeaderSize)
                return nullptr;
            auto* block = static_cast<unsigned char*>(GetSystemAllocator().Malloc(kHeaderSize + size));
            if (block == nullptr)
                return nullptr;
            WriteHeader(block, kHeapState, kNoIndex);
            return block + kHeaderSize;
        }

        FastLockScope scope(mLock);
        std::uint32_t index = 0;
        const std::uint32_t freeCount = mFreeIndices.GetCount();
        if (freeCount > 0)
        {
            index = mFreeIndices[freeCount - 1];
            mFreeIndices.SetCount(freeCount - 1);
        }
        else
        {
            // The block first: when it cannot be made, nothing has changed.
            auto* block = static_cast<unsigned char*>(::operator new(kBlockSize, std::nothrow));
            if (block == nullptr)
                return nullptr;
            index = mBlocks.GetCount();
            if (mBlocks.SetCount(index + 1) != static_cast<VxRESULT>(index + 1))
            {
                ::operator delete(block);
                return nullptr;
            }
            mBlocks[index] = block;
        }
        if (index >= mBlocks.GetCount())
        {
            VX_ASSERT_FALSE();
            return nullptr;
        }
        unsigned char* block = mBlocks[index];
        WriteHeader(block, kHandedOutState, index);
        return block + kHeaderSize;
    }

    // Like Allocate, for a class-level allocation function, which must not
    // return null.
    void* AllocateOrThrow(std::size_t size)
    {
        void* storage = Allocate(size);
        if (storage == nullptr)
            throw std::bad_alloc();
        return storage;
    }

    // Gives back storage from Allocate, pooled or not.
    void Free(void* pointer) noexcept
    {
        if (pointer == nullptr)
            return;
        unsigned char* block = static_cast<unsigned char*>(pointer) - kHeaderSize;
        if (ReadState(block) == kHeapState)
        {
            GetSystemAllocator().Free(block);
            return;
        }

        FastLockScope scope(mLock);
        const std::uint32_t index = ReadIndex(block);
        if (!IsBlock(block, index))
        {
            // Not storage of this pool: nothing here can safely give it back.
            VX_ASSERT_FALSE();
            return;
        }
        if (ReadState(block) != kHandedOutState)
        {
            // Given back twice: recording it again would hand one block to two
            // owners.
            VX_ASSERT_FALSE();
            return;
        }
        const std::uint32_t freeCount = mFreeIndices.GetCount();
        if (freeCount >= mBlocks.GetCount())
        {
            VX_ASSERT_FALSE();
            return;
        }
        if (mFreeIndices.SetCount(freeCount + 1) != static_cast<VxRESULT>(freeCount + 1))
        {
            // Out of memory for the free list: the block stays unused until
            // the pool goes, and the pool stays consistent.
            return;
        }
        mFreeIndices[freeCount] = index;
        WriteHeader(block, kFreeState, index);
    }

    // The block index of a pooled object; all bits set, after an assertion,
    // for anything else.
    std::uint32_t GetIndex(const T* object)
    {
        if (object == nullptr)
        {
            VX_ASSERT_FALSE();
            return kNoIndex;
        }
        const unsigned char* block = reinterpret_cast<const unsigned char*>(object) - kHeaderSize;
        FastLockScope scope(mLock);
        const std::uint32_t index = ReadIndex(block);
        if (ReadState(block) == kHeapState || !IsBlock(block, index))
        {
            VX_ASSERT_FALSE();
            return kNoIndex;
        }
        return index;
    }

    // Blocks made so far, handed out or free: the table only grows.
    std::uint32_t GetBlockCount()
    {
        FastLockScope scope(mLock);
        return mBlocks.GetCount();
    }

private:
    static constexpr std::size_t kHeaderSize = alignof(std::max_align_t) < 8 ? 8 : alignof(std::max_align_t);
    static constexpr std::size_t kBlockSize = kHeaderSize + sizeof(T);
    static constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;
    // Block states, unlikely values so that a stray pointer rarely passes.
    static constexpr std::uint32_t kHandedOutState = 0x5EED0A11u;
    static constexpr std::uint32_t kFreeState = 0xF4EEB10Cu;
    static constexpr std::uint32_t kHeapState = 0x4EA90B1Du;

    static void WriteHeader(unsigned char* block, std::uint32_t state, std::uint32_t index) noexcept
    {
        std::memcpy(block + kHeaderSize - 8, &state, 4);
        std::memcpy(block + kHeaderSize - 4, &index, 4);
    }
    static std::uint32_t ReadState(const unsigned char* block) noexcept
    {
        std::uint32_t state;
        std::memcpy(&state, block + kHeaderSize - 8, 4);
        return state;
    }
    static std::uint32_t ReadIndex(const unsigned char* block) noexcept
    {
        std::uint32_t index;
        std::memcpy(&index, block + kHeaderSize - 4, 4);
        return index;
    }
    // Call with the lock held.
    bool IsBlock(const unsigned char* block, std::uint32_t index) const noexcept
    {
        return index < mBlocks.GetCount() && mBlocks.GetDataConst()[index] == block;
    }

    ArrayBuffer<unsigned char*, N, 1600, true, 8, GetSystemAllocator> mBlocks;
    ArrayBuffer<std::uint32_t, N, 1600, true, 8, GetSystemAllocator> mFreeIndices;
    FastLock* mLock;
};
} // namespace Vx
