#include "VxFramework/Utilities/Threading/ThreadPool.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"

namespace Vx
{
LThreadPool::LWorkerParams::~LWorkerParams() = default;

ReuseAllocator<LThreadPool::LWorkerParams, 1>& LThreadPool::LWorkerParams::GetPool()
{
    // Process-wide and never destroyed: items may be released by threads
    // still running at exit.
    static NoDestructor<ReuseAllocator<LWorkerParams, 1>> pool(true);
    return *pool;
}

void* LThreadPool::LWorkerParams::operator new(std::size_t size)
{
    return GetPool().AllocateOrThrow(size);
}

void LThreadPool::LWorkerParams::operator delete(void* storage) noexcept
{
    GetPool().Free(storage);
}

LThreadPool::LThreadPool(std::int32_t workerCount, std::int32_t dispatcherPriority)
{
    VX_ASSERT(workerCount > 0);
    const std::int32_t count = workerCount > 0 ? workerCount : 0;
    mWorkerCount.Exchange(count);
    mEvents = new EventPool(static_cast<unsigned int>(count));
    mWorkerSlots = count;
    mWorkers = new RetriggerableThreader[static_cast<std::size_t>(count)];
    mIdleEvent = new LEvent(true);
    mIdleEvent->Set();
    mDispatcherPriority = dispatcherPriority;
    mQueueThreader.SetName("LThreadPool::mQueueThreader");
}

LThreadPool::~LThreadPool()
{
    Shutdown();
    delete[] mWorkers; // last to first
    delete mEvents;
}

void LThreadPool::Shutdown()
{
    mWorkerCount.Exchange(0);
    {
        ScopedLock lock(mLock);
        mQueue.RemoveAll();
    }
    mQueueThreader.Kill();
    for (std::int32_t i = mWorkerSlots; i-- > 0;)
        mWorkers[i].Kill();
}

std::int32_t LThreadPool::TryStartOnIdleWorker(const RCPtr<LThreadWorker>& worker,
                                               const RCPtr<LRefCountedObject>& parameter, std::int32_t priority)
{
    if (worker == nullptr)
    {
        VX_ASSERT_FALSE();
        return -1;
    }
    for (std::int32_t i = 0; i < mWorkerCount.GetValue(); ++i)
    {
        ScopedLock lock(mLock);
        // A single worker takes new work only after what already waits.
        if (mQueue.GetCount() != 0 && mWorkerCount.GetValue() == 1)
            return -1;
        RetriggerableThreader& candidate = mWorkers[i];
        if (candidate.IsRunning())
            continue;
        candidate.SetName(worker->ToString());
        if (Succeeded(candidate.TriggerWithEvent(worker, parameter, mEvents->GetEvent(static_cast<unsigned int>(i)),
                                                 priority)))
            return i;
        VX_ASSERT_FALSE();
    }
    return -1;
}

void LThreadPool::QueueWork(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& parameter,
                            std::int32_t priority)
{
    // Nothing could run a null worker.
    if (worker == nullptr)
    {
        VX_ASSERT_FALSE();
        return;
    }
    if (TryStartOnIdleWorker(worker, parameter, priority) >= 0)
        return;
    if (mWorkerCount.GetValue() <= 0)
        return;

    const RCPtr<LWorkerParams> item(new LWorkerParams(worker, parameter, priority));
    ScopedLock lock(mLock);
    // Shutdown may have emptied the queue since the test above; what came
    // after it must not restart the dispatcher.
    if (mWorkerCount.GetValue() <= 0)
        return;
    const std::uint32_t count = mQueue.GetCount();
    std::uint32_t position = 0;
    while (position < count && (*mQueue.GetAt(position))->mPriority < priority)
        ++position;
    mQueue.Insert(position, item);
    if (mQueue.GetCount() == 0)
        VX_ASSERT_FALSE();

    if (count == 0)
    {
        // The dispatcher is idle or just ending; its end sets the idle event.
        mIdleEvent->Wait(Event::WAIT_FOREVER);
        const RCPtr<LThreadWorker> self(this);
        if (Failed(mQueueThreader.TriggerWithEvent(self, RCPtr<LRefCountedObject>(this), mIdleEvent,
                                                   mDispatcherPriority)))
            VX_ASSERT_FALSE();
    }
    else if (!mQueueThreader.IsRunning())
    {
        VX_ASSERT_FALSE();
    }
}

std::int32_t LThreadPool::ThreadMain(RCPtr<LRefCountedObject>& parameter)
{
    if (parameter.Get() != static_cast<LRefCountedObject*>(this))
        VX_ASSERT_FALSE();

    const std::int32_t slots = mWorkerSlots;
    for (;;)
    {
        const std::int32_t result = mEvents->WaitForAny(Event::WAIT_FOREVER);
        if (result < 0)
        {
            // No events to wait for: waiting again would spin.
            VX_ASSERT_FALSE();
            return 0;
        }
        // A time-out (the wait-forever time is finite) names no worker, also
        // in a pool of more workers than the time-out's value.
        const std::int32_t index = mEvents->EventIndex(result);
        if (index < 0 || index >= slots)
            continue;

        ScopedLock lock(mLock);
        if (mQueue.GetCount() == 0)
            return 0;
        RetriggerableThreader& worker = mWorkers[index];
        if (worker.IsRunning())
            continue;

        RCPtr<LWorkerParams> item;
        mQueue.RemoveLast(item);
        worker.SetName(item->mWorker->ToString());
        if (Failed(worker.TriggerWithEvent(item->mWorker, item->mParameter,
                                           mEvents->GetEvent(static_cast<unsigned int>(index)), item->mPriority)))
            VX_ASSERT_FALSE();
        item = nullptr;
        if (mQueue.GetCount() == 0)
            return 0;
    }
}
} // namespace Vx
