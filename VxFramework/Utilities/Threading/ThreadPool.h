#pragma once

#include "VxFramework/ObjectBase/AtomicCounter.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/ReuseAllocator.h"
#include "VxFramework/Utilities/Threading/EventData.h"
#include "VxFramework/Utilities/Threading/EventPool.h"
#include "VxFramework/Utilities/Threading/Threader.h"

#include <cstddef>
#include <cstdint>

namespace Vx
{
// Runs work items on a fixed set of re-runnable worker threads.  An item
// starts at once on an idle worker, or waits in a queue ordered by priority
// until the dispatcher, which runs only while items wait, hands it to the
// next worker that finishes.  Hold it through RCPtr.
class LThreadPool : public LThreadWorker
{
public:
    // One queued work item.
    class LWorkerParams : public LRefCountedObject
    {
    public:
        LWorkerParams(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& parameter,
                      std::int32_t priority)
            : mWorker(worker), mParameter(parameter), mPriority(priority)
        {
        }
        ~LWorkerParams() override;

        // Items come and go at a high rate: their storage is pooled.
        static void* operator new(std::size_t size);
        static void operator delete(void* storage) noexcept;
        static ReuseAllocator<LWorkerParams, 1>& GetPool();

        RCPtr<LThreadWorker> mWorker;
        RCPtr<LRefCountedObject> mParameter;
        std::int32_t mPriority; // larger runs earlier
    };

    LThreadPool(std::int32_t workerCount, std::int32_t dispatcherPriority);
    ~LThreadPool() override;

    // Starts the item on an idle worker or queues it; after Shutdown it is
    // dropped.
    void QueueWork(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& parameter,
                   std::int32_t priority);
    // The index of the idle worker that took the item, or -1.
    std::int32_t TryStartOnIdleWorker(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& parameter,
                                      std::int32_t priority);
    // Accepts no more work, drops the queue and stops every thread.
    void Shutdown();

    // The dispatcher's job; run by the pool itself.
    std::int32_t ThreadMain(RCPtr<LRefCountedObject>& parameter) override;

private:
    AtomicCounter mWorkerCount;
    RetriggerableThreader mQueueThreader;
    RetriggerableThreader* mWorkers = nullptr;
    EventPool* mEvents = nullptr;
    RCPtr<LEvent> mIdleEvent;
    RCPtrArray<LWorkerParams, 16, 16> mQueue;
    Mutex mLock;
    std::int32_t mDispatcherPriority = 0;
    std::int32_t mWorkerSlots = 0; // workers allocated; the count drops to 0 at shutdown
};
} // namespace Vx
