#include "VxFramework/Utilities/Threading/EventData.h"

#include "VxFramework/ObjectBase/AtomicCounter.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Threading/MonotonicDeadline.h"

#include <cerrno>
#include <ctime>
#include <thread>

namespace Vx
{
LEventData::LEventData()
{
    pthread_mutexattr_t mutexAttributes;
    pthread_mutexattr_init(&mutexAttributes);
    pthread_mutexattr_settype(&mutexAttributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mMutex, &mutexAttributes);
    pthread_mutexattr_destroy(&mutexAttributes);

    pthread_condattr_t conditionAttributes;
    pthread_condattr_init(&conditionAttributes);
    pthread_condattr_setclock(&conditionAttributes, CLOCK_MONOTONIC);
    pthread_cond_init(&mCondition, &conditionAttributes);
    pthread_condattr_destroy(&conditionAttributes);
}

LEventData::~LEventData()
{
    pthread_cond_destroy(&mCondition);
    pthread_mutex_destroy(&mMutex);
}

// Every change wakes all waiters of the word, and each retests its own bits.
// Waking just one could hand the wake-up to a waiter of another bit (or, for a
// manual-reset event, leave all but one waiter asleep although the event is
// set); an auto-reset event still lets exactly one waiter through per set,
// because the first one to retest clears the bits.
std::int32_t LEventData::SetBits(std::uint64_t mask)
{
    if (mask == 0)
        return 0;
    Lock();
    mFlags |= mask;
    pthread_cond_broadcast(&mCondition);
    Unlock();
    return 1;
}

std::int32_t LEventData::ClearBits(std::uint64_t mask)
{
    if (mask == 0)
        return 0;
    Lock();
    mFlags &= ~mask;
    pthread_cond_broadcast(&mCondition);
    Unlock();
    return 1;
}

bool LEventData::TestBits(std::uint64_t mask, bool any) const noexcept
{
    return any ? (mFlags & mask) != 0 : (mFlags & mask) == mask;
}

std::int32_t LEventData::WaitBits(std::uint64_t mask, std::int32_t mode, std::uint32_t milliseconds)
{
    if (mask == 0)
        return -1;
    Lock();
    const bool any = mode == kAny;
    if (!TestBits(mask, any))
    {
        const timespec deadline = MonotonicDeadline(milliseconds);
        int error = 0;
        for (;;)
        {
            // A wait that ran out reports the time-out even if the bits came
            // at that moment; they stay set for the next wait.
            if (error != 0)
            {
                if (error == EINVAL)
                    VX_ASSERT_FALSE();
                Unlock();
                return Event::WAIT_TIMEOUT;
            }
            if (TestBits(mask, any))
                break;
            error = pthread_cond_timedwait(&mCondition, &mMutex, &deadline);
        }
    }

    std::int32_t result = 0;
    if (mode == kAutoReset)
    {
        mFlags &= ~mask;
    }
    else if (mode == kAny)
    {
        const std::uint64_t ready = mFlags & mask;
        result = __builtin_ctzll(ready);
        mFlags &= ~(std::uint64_t{1} << result);
    }
    Unlock();
    return result;
}

struct Event::Private
{
    void* handle = nullptr;
    AtomicCounter waiters;
    RCPtr<LEventData> data;
    std::uint64_t mask = 1;
    std::int32_t mode = kAutoReset;
};

Event::Event(std::int32_t mode) : mPrivate(new Private)
{
    mPrivate->handle = mPrivate;
    mPrivate->data = new LEventData;
    mPrivate->mode = mode;
}

Event::~Event()
{
    // Let every thread still inside Wait out before the data goes.
    while (mPrivate->waiters.GetValue() != 0)
    {
        Set();
        std::this_thread::yield();
    }
    delete mPrivate;
}

std::int32_t Event::Set()
{
    return mPrivate->data->SetBits(mPrivate->mask);
}

std::int32_t Event::Reset()
{
    return mPrivate->data->ClearBits(mPrivate->mask);
}

std::int32_t Event::Wait(std::uint32_t milliseconds)
{
    mPrivate->waiters.Increment();
    const std::int32_t result = mPrivate->data->WaitBits(mPrivate->mask, mPrivate->mode, milliseconds);
    mPrivate->waiters.Decrement();
    return result;
}

std::int32_t Event::GetWaiterCount() const noexcept
{
    return mPrivate->waiters.GetValue();
}

void Event::ShareData(const RCPtr<LEventData>& data, std::uint64_t mask)
{
    mPrivate->data = data;
    mPrivate->mask = mask;
}

LEvent::LEvent(bool autoReset) : mEvent(new Event(autoReset ? Event::kAutoReset : Event::kManualReset)) {}

LEvent::LEvent(const RCPtr<LEventData>& data, unsigned int bitIndex) : mEvent(new Event(Event::kAutoReset))
{
    mEvent->ShareData(data, bitIndex < 64 ? std::uint64_t{1} << bitIndex : 0);
}

LEvent::~LEvent()
{
    delete mEvent;
}
} // namespace Vx
