#pragma once

#include "VxFramework/Utilities/Threading/EventData.h"

#include <cstdint>

namespace Vx
{
// Up to 64 auto-reset events on one flag word, so that one thread can wait
// for whichever of them is set first.  Event i owns bit i; events from 64 on
// have no bits and are never seen as set.
class EventPool
{
public:
    explicit EventPool(unsigned int count);
    virtual ~EventPool();
    EventPool(const EventPool&) = delete;
    EventPool& operator=(const EventPool&) = delete;

    // The lowest set event's index, which the wait resets; WAIT_TIMEOUT when
    // the time ran out; -1 for a pool without events.  Meant for one waiter.
    std::int32_t WaitForAny(std::uint32_t milliseconds);
    // The index of the event a WaitForAny result names, or -1 when it names
    // none: a time-out (whatever the pool's size, for only events below 64
    // can be set) or an empty pool's -1.
    std::int32_t EventIndex(std::int32_t waitResult) const;
    // A null pointer, after an assertion, for an index beyond the pool.
    const RCPtr<LEvent>& GetEvent(unsigned int index) const;
    unsigned int GetCount() const;

private:
    struct Private;
    Private* mPrivate;
};
} // namespace Vx
