#include "Panel/Engine/TestAppCommon/ThreadedTest.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"
#include "VxFramework/Utilities/Threading/Thread.h"

#include <chrono>
#include <exception>
#include <thread>

namespace Vx
{
LThreadedTest::LThreadedTest() : mWorker(StringT<char, unsigned short>::GetEmptyString()) {}

LThreadedTest::~LThreadedTest()
{
    // The worker (destroyed first) waits for a body that is still running.
    mAbortRequested.store(true);
}

void LThreadedTest::SetCallbacks(IThreadedTestCallbacks* callbacks)
{
    VX_ASSERT(!IsRunning());
    const ScopedLock lock(mCallbacksLock);
    mCallbacks.store(callbacks);
}

bool LThreadedTest::Start()
{
    if (IsRunning())
        return false;
    // Set before the trigger: the run may be over before Trigger returns.
    const std::int32_t previous = mResult.exchange(kResultInProgress);
    if (Succeeded(
            mWorker.Trigger(RCPtr<LThreadWorker>(static_cast<LThreadWorker*>(this)), nullptr, kThreadPriorityNormal)))
        return true;
    // Refused: the worker was stopped by Abort and nothing will run, so the
    // word keeps what it said instead of claiming a run in progress.
    mResult.store(previous);
    return false;
}

std::int32_t LThreadedTest::Abort()
{
    if (!IsRunning())
        return 0;
    mAbortRequested.store(true);
    const bool ended = mWorker.Kill();
    mResult.store(kResultAborted);
    return ended ? 1 : VXR_E_FAIL;
}

bool LThreadedTest::IsRunning()
{
    return mWorker.IsRunning();
}

std::int32_t LThreadedTest::ThreadMain(RCPtr<LRefCountedObject>& /*parameter*/)
{
    NotifyStarted();
    mResult.store(kResultInProgress);
    std::int32_t result = kResultFailed;
    // An exception must not end the process from a worker thread: the run
    // fails, and what the exception said is the run's last log line.
    try
    {
        result = Run();
    }
    catch (const std::exception& error)
    {
        VX_ASSERT_FALSE();
        Log(String(error.what()));
        result = kResultFailed;
    }
    catch (...)
    {
        VX_ASSERT_FALSE();
        result = kResultFailed;
    }
    mResult.store(result);
    NotifyCompleted();
    return 0;
}

void LThreadedTest::NotifyStarted()
{
    const ScopedLock lock(mCallbacksLock);
    if (IThreadedTestCallbacks* const callbacks = mCallbacks.load())
        callbacks->OnTestStarted();
}

void LThreadedTest::NotifyCompleted()
{
    const ScopedLock lock(mCallbacksLock);
    if (IThreadedTestCallbacks* const callbacks = mCallbacks.load())
        callbacks->OnTestCompleted();
}

void LThreadedTest::Log(const String& text)
{
    const ScopedLock lock(mCallbacksLock);
    if (IThreadedTestCallbacks* const callbacks = mCallbacks.load())
        callbacks->OnTestLog(text);
    else
        DebugTracer::Get().Trace(1, "%s", text.GetCString());
}

std::int32_t LThreadedTest::Sleep(std::uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return 0;
}

LThreadedTest::String LThreadedTest::GetResultName(std::int32_t result)
{
    switch (result)
    {
    case kResultSucceeded:
        return String("Succeeded");
    case kResultFailed:
        return String("Failed");
    case kResultAborted:
        return String("Aborted");
    case kResultNotRun:
        return String("NotRun");
    case kResultInProgress:
        return String("InProgress");
    case kResultInconclusive:
        return String("Inconclusive");
    default:
        return String("<Unknown>");
    }
}

LDummyTest::LDummyTest(std::int32_t sleepMilliseconds, std::int32_t result)
    : mSleepTime(sleepMilliseconds), mTestResult(result)
{
}

std::int32_t LDummyTest::Run()
{
    Log(String("This is dummy test message from dummy test"));
    Log(String::Format("Now I'm gonna sleep for %d milliseconds", mSleepTime));
    for (std::int32_t i = 0; i < 64; ++i)
    {
        Log(String::Format("Dummy log message #%d", i));
        Sleep(1);
    }
    Sleep(mSleepTime > 0 ? static_cast<std::uint32_t>(mSleepTime) : 0u);
    Log(String::Format("I'm returning the test result %d", mTestResult));
    return mTestResult;
}
} // namespace Vx
