#pragma once

#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Threading/Threader.h"

#include <atomic>
#include <cstdint>

namespace Vx
{
// What a running test reports to its owner, on the test's worker thread.
class IThreadedTestCallbacks
{
public:
    virtual void OnTestStarted() = 0;
    // The receiver asks the test for its result.
    virtual void OnTestCompleted() = 0;
    virtual void OnTestLog(const StringT<char, unsigned short>& text) = 0;

protected:
    ~IThreadedTestCallbacks() = default;
};

class LIThreadedTestCallbacks : public IThreadedTestCallbacks, public virtual LRefCountedObject
{
public:
    ~LIThreadedTestCallbacks() override = default;
};

class IThreadedTest
{
public:
    virtual void SetCallbacks(IThreadedTestCallbacks* callbacks) = 0;
    virtual bool Start() = 0;
    virtual std::int32_t Abort() = 0;
    virtual std::int32_t GetResult() = 0;

protected:
    ~IThreadedTest() = default;
};

class LIThreadedTest : public IThreadedTest, public virtual LRefCountedObject
{
public:
    ~LIThreadedTest() override = default;
};

// Base of every device test: the body (Run) runs once per Start on the test's
// own worker thread, which reports the start, each log line and the end to
// the callbacks.  A test object runs at most until it is aborted; its owner
// makes a new one for every run.
//
// The owner's thread calls SetCallbacks, Start, Abort and GetResult; the
// worker thread runs Run and the callbacks.
class LThreadedTest : public LIThreadedTest, public LThreadWorker
{
public:
    using String = StringT<char, unsigned short>;

    // Result words.
    static constexpr std::int32_t kResultSucceeded = 0;
    static constexpr std::int32_t kResultFailed = -1;
    static constexpr std::int32_t kResultAborted = -2;
    static constexpr std::int32_t kResultNotRun = -3;
    static constexpr std::int32_t kResultInProgress = -4;
    static constexpr std::int32_t kResultInconclusive = -5;

    // Null allowed.  Not while running (logged assertion; stored all the same).
    void SetCallbacks(IThreadedTestCallbacks* callbacks) override;
    // False while running, and for good once aborted.
    bool Start() override;
    // 0 when not running; otherwise stops the worker, waiting up to 60000 ms
    // for the body to end (its completion is reported meanwhile), sets the
    // result word to -2 and returns 1 when the worker ended in time.
    std::int32_t Abort() override;
    std::int32_t GetResult() override { return mResult.load(); }

    // The worker's job: reports the start, runs the body, reports the end.
    std::int32_t ThreadMain(RCPtr<LRefCountedObject>& parameter) override;

    bool IsRunning();
    IThreadedTestCallbacks* GetCallbacks() const { return mCallbacks.load(); }

    // "Succeeded", "Failed", ...; "<Unknown>" outside the table.
    static String GetResultName(std::int32_t result);

    // Stops the worker: a body still running is asked to end and waited for.
    ~LThreadedTest() override;

protected:
    LThreadedTest();

    // The body, on the worker thread; returns a result word.
    virtual std::int32_t Run() = 0;

    // One log line: to the callbacks, or to the trace when there are none.
    void Log(const String& text);
    // Sleeps on the calling thread without looking at abort requests; 0.
    std::int32_t Sleep(std::uint32_t milliseconds);
    // True once Abort (or the destructor) has begun stopping the worker;
    // long bodies poll it and end early.
    bool IsAbortRequested() const { return mAbortRequested.load(); }

private:
    void NotifyStarted();
    void NotifyCompleted();

    std::atomic<IThreadedTestCallbacks*> mCallbacks{nullptr};
    // Held while a callback runs and while the callbacks change, so that an
    // owner that clears them after a stop that timed out is never called
    // again, nor while it clears them.
    Mutex mCallbacksLock;
    std::atomic<std::int32_t> mResult{kResultNotRun};
    std::atomic<bool> mAbortRequested{false};
    // Last, so that it is stopped first: its thread never outlives the rest.
    RetriggerableThreader mWorker;
};

// The built-in test that only logs, sleeps and returns a set result.
class LDummyTest : public LThreadedTest
{
public:
    LDummyTest(std::int32_t sleepMilliseconds, std::int32_t result);

    std::int32_t GetSleepTime() const noexcept { return mSleepTime; }
    std::int32_t GetConfiguredResult() const noexcept { return mTestResult; }

protected:
    std::int32_t Run() override;

private:
    const std::int32_t mSleepTime;
    const std::int32_t mTestResult;
};
} // namespace Vx
