#include "VxFramework/Utilities/Threading/EventPool.h"

#include "VxFramework/ObjectBase/AtomicCounter.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"

namespace Vx
{
struct EventPool::Private
{
    RCPtrArray<LEvent, 1, 0> events;
    AtomicCounter waiters;
    RCPtr<LEventData> data;
    std::uint64_t mask = 0;
};

EventPool::EventPool(unsigned int count) : mPrivate(new Private)
{
    mPrivate->data = new LEventData;
    mPrivate->events.SetCount(count);
    for (unsigned int i = 0; i < count; ++i)
    {
        mPrivate->events[i] = new LEvent(mPrivate->data, i);
        if (i < 64)
            mPrivate->mask |= std::uint64_t{1} << i;
    }
}

EventPool::~EventPool()
{
    mPrivate->events.SetCount(0);
    mPrivate->data = nullptr;
    delete mPrivate;
}

std::int32_t EventPool::WaitForAny(std::uint32_t milliseconds)
{
    mPrivate->waiters.Increment();
    const std::int32_t result = mPrivate->data->WaitBits(mPrivate->mask, LEventData::kAny, milliseconds);
    mPrivate->waiters.Decrement();
    return result;
}

std::int32_t EventPool::EventIndex(std::int32_t waitResult) const
{
    const std::int64_t count = mPrivate->events.GetCount();
    const std::int64_t withBits = count < 64 ? count : 64;
    return waitResult >= 0 && waitResult < withBits ? waitResult : -1;
}

const RCPtr<LEvent>& EventPool::GetEvent(unsigned int index) const
{
    if (index >= mPrivate->events.GetCount())
    {
        VX_ASSERT_FALSE();
        static const RCPtr<LEvent> none;
        return none;
    }
    return *mPrivate->events.GetAtConst(index);
}

unsigned int EventPool::GetCount() const
{
    return mPrivate->events.GetCount();
}
} // namespace Vx
