#pragma once

#include "VxFramework/Utilities/Threading/EventData.h"

#include <atomic>
#include <cstdint>

namespace Vx
{
// A light, non-recursive lock: one atomic exchange to take and one to give
// back when nobody competes; contended lockers sleep on an auto-reset event.
// It records no owner and is not fair.
class FastLock
{
public:
    FastLock() : mEvent(Event::kAutoReset) { mState.store(0); }
    FastLock(const FastLock&) = delete;
    FastLock& operator=(const FastLock&) = delete;

    void Lock()
    {
        if (mState.exchange(1) == 0)
            return;
        // Whoever takes the lock from here leaves 2 behind, so its Unlock wakes
        // the next sleeper even when nobody is left; that one just tries again.
        while (mState.exchange(2) != 0)
            mEvent.Wait(Event::WAIT_FOREVER);
    }

    void Unlock()
    {
        if (mState.exchange(0) == 2)
            mEvent.Set();
    }

private:
    // 0 free, 1 taken, 2 taken and a thread may be waiting.
    std::atomic<std::int32_t> mState;
    Event mEvent;
};

// Holds a FastLock for a scope; a null lock is no lock.
class FastLockScope
{
public:
    explicit FastLockScope(FastLock* lock) : mLock(lock)
    {
        if (mLock != nullptr)
            mLock->Lock();
    }
    ~FastLockScope()
    {
        if (mLock != nullptr)
            mLock->Unlock();
    }
    FastLockScope(const FastLockScope&) = delete;
    FastLockScope& operator=(const FastLockScope&) = delete;

private:
    FastLock* mLock;
};
} // namespace Vx
