#include "VxFramework/Utilities/Threading/Threader.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <utility>

namespace Vx
{
namespace
{
// Only the first jobs of the process are traced.
constexpr std::int32_t kTracedJobs = 11;
std::atomic<std::int32_t> gStartedJobs{0};

constexpr std::uint32_t kKillWait = 60000;
} // namespace

RetriggerableThreader::RetriggerableThreader(const StringT<char, unsigned short>& name)
    : mTriggerEvent(Event::kAutoReset), mName(name), mThread(&RetriggerableThreader::ThreadFunction, this)
{
    mThread.Start();
}

RetriggerableThreader::~RetriggerableThreader()
{
    // The loop's flag is read on the loop's own thread only.
    if (mThread.IsCurrentThread() && mDestroyedFlag != nullptr)
        *mDestroyedFlag = true;
    Kill();
}

StringT<char, unsigned short> RetriggerableThreader::ToString() const
{
    return mName;
}

VxRESULT RetriggerableThreader::Trigger(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& parameter,
                                        std::int32_t priority)
{
    return Start(worker, parameter, nullptr, priority);
}

VxRESULT RetriggerableThreader::TriggerWithEvent(const RCPtr<LThreadWorker>& worker,
                                                 const RCPtr<LRefCountedObject>& parameter,
                                                 const RCPtr<LEvent>& completionEvent, std::int32_t priority)
{
    return Start(worker, parameter, &completionEvent, priority);
}

VxRESULT RetriggerableThreader::Start(const RCPtr<LThreadWorker>& worker, const RCPtr<LRefCountedObject>& parameter,
                                      const RCPtr<LEvent>* completionEvent, std::int32_t priority)
{
    if (mKilled.load() || IsRunning())
        return VXR_E_FAIL;
    mThread.SetPriority(priority);
    mThreadWorkerRCPtr = worker;
    mParamRCPtr = parameter;
    if (completionEvent == nullptr)
    {
        if (mCompletionEvent != nullptr)
        {
            VX_ASSERT_FALSE();
            mCompletionEvent = nullptr;
        }
    }
    else
    {
        mCompletionEvent = *completionEvent;
        if (mCompletionEvent != nullptr)
            mCompletionEvent->Reset();
    }
    mBusy.store(true);
    mTriggerEvent.Set();
    return VXR_OK;
}

bool RetriggerableThreader::IsRunning()
{
    if (mBusy.load() && mThread.HasExited())
        mBusy.store(false);
    return mBusy.load();
}

bool RetriggerableThreader::Kill()
{
    mKilled.store(true);
    mTriggerEvent.Set();
    if (mThread.WaitForDeath(kKillWait))
        return true;
    DebugTracer::Get().Trace(1, "RetriggerableThreader::Kill() WaitForDeath failed (name = %s)", mName.GetCString());
    VX_ASSERT_FALSE();
    return false;
}

void* RetriggerableThreader::ThreadFunction(void* argument)
{
    auto* self = static_cast<RetriggerableThreader*>(argument);
    // Set when the threader is destroyed on this thread (a job's last
    // reference to its owner went here): from then on `self` is gone.
    bool destroyed = false;
    self->mDestroyedFlag = &destroyed;

    while (!self->mKilled.load())
    {
        // The wait-forever time is finite: a wait that ran out was no trigger.
        if (self->mTriggerEvent.Wait(Event::WAIT_FOREVER) == Event::WAIT_TIMEOUT)
            continue;

        // The job's references live on this stack while it runs, so that the
        // job cannot lose its own worker however the threader ends.
        RCPtr<LThreadWorker> worker = std::move(self->mThreadWorkerRCPtr);
        RCPtr<LRefCountedObject> parameter = std::move(self->mParamRCPtr);
        if (!self->mKilled.load())
        {
            if (worker != nullptr)
            {
                if (gStartedJobs.fetch_add(1) + 1 <= kTracedJobs)
                    DebugTracer::Get().TraceNoNewline(1, "Entering: %s\n", worker->ToString().GetCString());
                const std::int32_t result = worker->ThreadMain(parameter);
                if (destroyed)
                    return nullptr;
                self->mLastResult.store(result);
                if (gStartedJobs.load() <= kTracedJobs)
                    DebugTracer::Get().TraceNoNewline(1, "Completed: %s\n", worker->ToString().GetCString());
            }
            else
            {
                DebugTracer::Get().TraceNoNewline(1, "RetriggerableThreader (%s) Missing mThreadWorkerRCPtr!!!!\n",
                                                  self->ToString().GetCString());
                if (parameter != nullptr)
                    DebugTracer::Get().TraceNoNewline(1, "  mParamRCPtr->ToString = %s\n",
                                                      parameter->ToString().GetCString());
                VX_ASSERT_FALSE();
            }
        }

        // Releasing may destroy the owner, and with it this threader.
        parameter = nullptr;
        worker = nullptr;
        if (destroyed)
            return nullptr;

        RCPtr<LEvent> completion = std::move(self->mCompletionEvent);
        self->mBusy.store(false);
        if (completion != nullptr)
            completion->Set();
    }
    self->mDestroyedFlag = nullptr;
    return nullptr;
}

LEventGatedThreader::LEventGatedThreader(const RCPtr<LEvent>& gate, const RCPtr<LThreadWorker>& worker,
                                         const RCPtr<LRefCountedObject>& parameter, std::int32_t priority)
    : mGate(gate), mThreadWorkerRCPtr(worker), mParam(parameter),
      mThread(&LEventGatedThreader::ThreadFunction, this)
{
    // Without a gate nothing could release or stop the loop.
    VX_ASSERT(mGate != nullptr);
    mThread.SetPriority(priority);
    if (mGate != nullptr)
        mThread.Start();
}

LEventGatedThreader::~LEventGatedThreader()
{
    if (mThread.IsCurrentThread() && mDestroyedFlag != nullptr)
        *mDestroyedFlag = true;
    Kill();
    mParam = nullptr;
    mThreadWorkerRCPtr = nullptr;
    mGate = nullptr;
}

void LEventGatedThreader::Kill()
{
    mKilled.store(true);
    if (mGate != nullptr)
        mGate->Set();
    if (mGate != nullptr && !mThread.WaitForDeath(kKillWait))
    {
        VX_ASSERT_FALSE();
        DebugTracer::Get().Trace(1, "LEventGatedThreader::Kill() WaitForDeath failed (mThreadWorkerRCPtr = %s)",
                                 mThreadWorkerRCPtr != nullptr ? mThreadWorkerRCPtr->ToString().GetCString() : "");
    }
    mThreadWorkerRCPtr = nullptr;
}

void* LEventGatedThreader::ThreadFunction(void* argument)
{
    auto* self = static_cast<LEventGatedThreader*>(argument);
    bool destroyed = false;
    self->mDestroyedFlag = &destroyed;
    while (!self->mKilled.load())
    {
        self->mLastWaitResult.store(self->mGate->Wait(self->mWaitTime));
        if (self->mKilled.load())
            break;
        RCPtr<LThreadWorker> worker = self->mThreadWorkerRCPtr;
        if (worker == nullptr)
        {
            VX_ASSERT_FALSE();
            continue;
        }
        RCPtr<LRefCountedObject> parameter = self->mParam;
        self->mRunning.store(true);
        worker->ThreadMain(parameter);
        if (destroyed)
            return nullptr;
        self->mRunning.store(false);
        // Releasing may destroy the owner (the parameter often is it), and
        // with it this threader.
        parameter = nullptr;
        worker = nullptr;
        if (destroyed)
            return nullptr;
    }
    self->mDestroyedFlag = nullptr;
    return nullptr;
}
} // namespace Vx
