#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Threading/EventData.h"
#include "VxFramework/Utilities/Threading/Thread.h"

#include <atomic>
#include <cstdint>

namespace Vx
{
// One job to run on a worker thread.
class LThreadWorker : public virtual LRefCountedObject
{
public:
    // Runs on the calling thread; `parameter` is what the job was triggered
    // with and may be null.
    virtual std::int32_t ThreadMain(RCPtr<LRefCountedObject>& parameter) = 0;
};

// A thread that sleeps until its owner triggers it, runs one job and sleeps
// again.  The owner triggers, asks and kills from one thread at a time.
class RetriggerableThreader : public IStringable
{
public:
    explicit RetriggerableThreader(const StringT<char, unsigned short>& name = StringT<char, unsigned short>());
    // Kills the thread; safe also on the threader's own thread, when a job's
    // last reference to the owner goes there.
    ~RetriggerableThreader() override;
    RetriggerableThreader(const RetriggerableThreader&) = delete;
    RetriggerableThreader& operator=(const RetriggerableThreader&) = delete;

    StringT<char, unsigned short> ToString() const override;

    // 0 when the job was started, VXR_E_FAIL while busy or after Kill.
    VxRESULT Trigger(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& parameter,
                     std::int32_t priority);
    // As Trigger; the event is reset now and set when the job has finished.
    VxRESULT TriggerWithEvent(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& parameter,
                              const RCPtr<LEvent>& completionEvent, std::int32_t priority);
    bool IsRunning();
    // Stops the thread after the current job; true when it ended in 60000 ms.
    bool Kill();

    // Only while idle: the loop reads the name in its traces.
    void SetName(const StringT<char, unsigned short>& name) { mName = name; }
    std::int32_t GetLastResult() const { return mLastResult.load(); }

private:
    static void* ThreadFunction(void* argument);
    VxRESULT Start(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& parameter,
                   const RCPtr<LEvent>* completionEvent, std::int32_t priority);

    Event mTriggerEvent;
    RCPtr<LEvent> mCompletionEvent;
    std::atomic<bool> mBusy{false};
    std::atomic<bool> mKilled{false};
    RCPtr<LThreadWorker> mThreadWorkerRCPtr;
    RCPtr<LRefCountedObject> mParamRCPtr;
    std::atomic<std::int32_t> mLastResult{0};
    StringT<char, unsigned short> mName;
    // Points at a flag of the running loop; a destructor that runs on the
    // loop's own thread sets it, so that the loop never touches this object
    // again.  Read and written on that thread only.
    bool* mDestroyedFlag = nullptr;
    // Last, so that it is destroyed first: a second wait for the end happens
    // while the members the loop uses still exist.
    Thread mThread;
};

// A thread that runs its worker once each time the gate event is set.
class LEventGatedThreader : public virtual LRefCountedObject
{
public:
    LEventGatedThreader(const RCPtr<LEvent>& gate, const RCPtr<LThreadWorker>& worker,
                        const RCPtr<LRefCountedObject>& parameter, std::int32_t priority);
    ~LEventGatedThreader() override;
    LEventGatedThreader(const LEventGatedThreader&) = delete;
    LEventGatedThreader& operator=(const LEventGatedThreader&) = delete;

    void Kill();

private:
    static void* ThreadFunction(void* argument);

    RCPtr<LEvent> mGate;
    std::atomic<bool> mKilled{false};
    RCPtr<LThreadWorker> mThreadWorkerRCPtr;
    RCPtr<LRefCountedObject> mParam;
    std::uint32_t mWaitTime = Event::WAIT_FOREVER;
    std::atomic<std::int32_t> mLastWaitResult{0};
    std::atomic<bool> mRunning{false};
    bool* mDestroyedFlag = nullptr;
    Thread mThread;
};
} // namespace Vx
