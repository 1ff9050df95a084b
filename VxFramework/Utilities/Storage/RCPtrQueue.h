#pragma once

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"

#include <cstdint>
#include <stdexcept>
#include <utility>

namespace Vx
{
// A first-in first-out ring of smart pointers.  One slot always stays free;
// when the ring is full it grows by one slot placed just before the oldest
// item, so the order is kept.  The owner supplies the lock (or none).
template <class T>
class RCPtrQueue
{
public:
    explicit RCPtrQueue(Mutex* lock) : mStorage(kInitialSlots, kInitialSlots), mLock(lock) {}
    RCPtrQueue(const RCPtrQueue&) = delete;
    RCPtrQueue& operator=(const RCPtrQueue&) = delete;

    // 0, or a failure code when the ring could not grow (nothing queued then).
    VxRESULT Push(const RCPtr<T>& item)
    {
        const Guard guard(mLock);
        // The reference is taken before the ring changes: taking it may throw.
        RCPtr<T> held(item);
        std::uint32_t slots = mStorage.GetCount();
        if (slots == 0)
        {
            const VxRESULT made = mStorage.SetCount(2);
            if (Failed(made))
                return made;
            mWrite = mRead = 0;
            slots = 2;
        }
        if (IsFull())
        {
            VX_ASSERT((mWrite + 1) % slots == mRead);
            const VxRESULT grown = mStorage.Insert(mRead, RCPtr<T>());
            if (Failed(grown))
                return grown;
            if (mWrite > mRead)
            {
                VX_ASSERT(mWrite == slots - 1);
                ++mWrite;
            }
            slots = mStorage.GetCount();
            mRead = (mRead + 1) % slots;
        }
        VX_ASSERT(!IsFull());
        mStorage[mWrite] = std::move(held);
        mWrite = (mWrite + 1) % slots;
        return VXR_OK;
    }

    // The oldest item; an empty queue throws a runtime error and stays as it is.
    RCPtr<T> Pop()
    {
        const Guard guard(mLock);
        // Tested under the same lock as the removal, so that two consumers
        // can never both take the last item.
        if (GetCount() == 0)
            VX_THROW(std::runtime_error, "");
        RCPtr<T> item(std::move(mStorage[mRead]));
        mRead = (mRead + 1) % mStorage.GetCount();
        return item;
    }

    // The slot count is read under the lock as well: a Push may be growing the ring.
    std::uint32_t GetCount() const
    {
        const Guard guard(mLock);
        const std::uint32_t slots = mStorage.GetCount();
        if (slots == 0)
            return 0;
        return mWrite >= mRead ? mWrite - mRead : mWrite + slots - mRead;
    }

    bool IsFull() const
    {
        const Guard guard(mLock);
        return GetCount() == mStorage.GetCount() - 1;
    }

private:
    static constexpr std::uint32_t kInitialSlots = 256;

    // Takes the owner's recursive lock, when there is one, for a scope.
    class Guard
    {
    public:
        explicit Guard(Mutex* lock) noexcept : mLock(lock)
        {
            if (mLock != nullptr)
                mLock->Lock();
        }
        ~Guard()
        {
            if (mLock != nullptr)
                mLock->Unlock();
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        Mutex* mLock;
    };

    RCPtrArray<T, kInitialSlots, kInitialSlots> mStorage;
    std::uint32_t mWrite = 0;
    std::uint32_t mRead = 0;
    Mutex* mLock;
};
} // namespace Vx
