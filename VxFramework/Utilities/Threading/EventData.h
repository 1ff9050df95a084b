#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"

#include <pthread.h>

#include <cstdint>

namespace Vx
{
// A 64-bit flag word with the lock and condition that waiters sleep on.
// Several events may share one word, each with its own bits, so that one
// thread can wait for whichever of them is set first.
class LEventData : public virtual LRefCountedObject
{
public:
    // Modes of WaitBits.
    static constexpr std::int32_t kManualReset = 0; // all bits, left set
    static constexpr std::int32_t kAutoReset = 1;   // all bits, cleared
    static constexpr std::int32_t kAny = 2;         // one bit, cleared; result is its index

    LEventData();
    ~LEventData() override;
    LEventData(const LEventData&) = delete;
    LEventData& operator=(const LEventData&) = delete;

    // Both return 0 for an empty mask, else 1.
    std::int32_t SetBits(std::uint64_t mask);
    std::int32_t ClearBits(std::uint64_t mask);
    // Call with the lock held.
    bool TestBits(std::uint64_t mask, bool any) const noexcept;
    // 0 (or the bit index in kAny mode) when the bits were set, 258 on
    // time-out or a failed wait, -1 for an empty mask.
    std::int32_t WaitBits(std::uint64_t mask, std::int32_t mode, std::uint32_t milliseconds);

    void Lock() noexcept { pthread_mutex_lock(&mMutex); }
    void Unlock() noexcept { pthread_mutex_unlock(&mMutex); }

private:
    pthread_mutex_t mMutex;
    pthread_cond_t mCondition;
    std::uint64_t mFlags = 0;
};

class LEvent;

// A wait-and-wake primitive: one or more bits of a shared flag word.
class Event
{
public:
    static constexpr std::uint32_t WAIT_FOREVER = 0xFFFFFFFFu; // about 49.7 days, not infinite
    static constexpr std::int32_t WAIT_TIMEOUT = 258;

    static constexpr std::int32_t kManualReset = LEventData::kManualReset;
    static constexpr std::int32_t kAutoReset = LEventData::kAutoReset;

    explicit Event(std::int32_t mode);
    virtual ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Both return 1, or 0 when the event has no bits.
    std::int32_t Set();
    std::int32_t Reset();
    // 0 when set, WAIT_TIMEOUT when the time ran out, -1 without bits.
    std::int32_t Wait(std::uint32_t milliseconds);
    // The threads inside Wait at this moment, as the destructor counts them:
    // a thread that has started to wait is counted, and is let out by a Set
    // or by the destructor.
    std::int32_t GetWaiterCount() const noexcept;

private:
    friend class LEvent;
    struct Private;

    // Moves the event onto a flag word shared with other events.
    void ShareData(const RCPtr<LEventData>& data, std::uint64_t mask);

    Private* mPrivate;
};

// The reference-counted event that owners hand around.
class LEvent : public virtual LRefCountedObject
{
public:
    explicit LEvent(bool autoReset);
    // An auto-reset event on bit `bitIndex` of shared data; no bits from 64 on.
    LEvent(const RCPtr<LEventData>& data, unsigned int bitIndex);
    ~LEvent() override;
    LEvent(const LEvent&) = delete;
    LEvent& operator=(const LEvent&) = delete;

    std::int32_t Set() { return mEvent->Set(); }
    std::int32_t Reset() { return mEvent->Reset(); }
    std::int32_t Wait(std::uint32_t milliseconds) { return mEvent->Wait(milliseconds); }
    std::int32_t GetWaiterCount() const noexcept { return mEvent->GetWaiterCount(); }

private:
    Event* mEvent;
};

// A manual-reset event: green once set, until reset.
class TrafficLight : private Event
{
public:
    TrafficLight() : Event(kManualReset) {}
    ~TrafficLight() override = default;

    void Set() { Event::Set(); }
    void Reset() { Event::Reset(); }
    std::int32_t Wait(std::uint32_t milliseconds) { return Event::Wait(milliseconds); }
    bool IsSet() { return Event::Wait(0) != WAIT_TIMEOUT; }
};
} // namespace Vx
