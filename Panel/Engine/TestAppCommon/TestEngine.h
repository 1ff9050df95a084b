#pragma once

#include "Panel/Engine/TestAppCommon/ThreadedTest.h"
#include "VxFramework/Notification/Holder.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
// Parameters of the three test notifications (each in an LWrapper).  The
// log-changed payload carries no text: receivers read the log with GetLog.
struct TestStartedPayload
{
    StringT<char, unsigned short> name;
    std::int32_t reserved = 0;
};

struct TestCompletedPayload
{
    StringT<char, unsigned short> name;
    std::int32_t reserved = 0;
    // An engine result (LTestEngine::kResult...).
    std::int32_t result = 0;
};

struct TestLogChangedPayload
{
    StringT<char, unsigned short> name;
};

// The ids the engines post on the "application" centre.
inline constexpr const char* kTestStartedId = "NID_TEST_STARTED";
inline constexpr const char* kTestCompletedId = "NID_TEST_COMPLETED";
inline constexpr const char* kTestLogChangedId = "NID_TEST_LOG_CHANGED";

class ITestEngine
{
public:
    virtual StringT<char, unsigned short> GetName() const = 0;
    virtual VxRESULT Start() = 0;
    virtual VxRESULT Abort() = 0;
    virtual StringArrayT<char, unsigned short> GetLog() = 0;

protected:
    ~ITestEngine() = default;
};

class LITestEngine : public ITestEngine, public virtual LRefCountedObject
{
public:
    ~LITestEngine() override = default;
};

// Runs the test of one test id, one run at a time, each run with a new test
// object from the application's test factory.  It keeps the run's log and
// turns the test's reports, which arrive on the test's worker thread, into
// notifications posted to the application's "application" centre:
// NID_TEST_LOG_CHANGED ("Started %s"), NID_TEST_STARTED, one
// NID_TEST_LOG_CHANGED per log line, NID_TEST_LOG_CHANGED ("Completed %s: %s")
// and NID_TEST_COMPLETED.  It never calls a receiver itself.
//
// Start, Abort and ClearLog on the main thread; GetLog on any.
class LTestEngine : public LITestEngine, public LIThreadedTestCallbacks
{
public:
    using String = StringT<char, unsigned short>;
    using LogLines = StringArrayT<char, unsigned short>;

    // Engine results, as the completed payload carries them.
    static constexpr std::int32_t kResultSucceeded = 0;
    static constexpr std::int32_t kResultFailed = 1;
    static constexpr std::int32_t kResultAborted = 2;
    static constexpr std::int32_t kResultInconclusive = 3;

    explicit LTestEngine(const String& testId);
    // A test still running reports to this engine: it is aborted first.
    ~LTestEngine() override;

    String GetName() const override { return mName; }
    // Stops and releases the previous test, empties the log, makes a new test
    // and starts it: 0, or 0x80000008 when no test could be made or started.
    VxRESULT Start() override;
    // 0 when a test was stopped (waiting for its end) and released, 1 when
    // there was none.  The log stays.
    VxRESULT Abort() override;
    LogLines GetLog() override;

    void OnTestStarted() override;
    void OnTestCompleted() override;
    void OnTestLog(const String& text) override;

    virtual RCPtr<LWrapper<TestStartedPayload>> CreateTestStartedPayload();
    virtual RCPtr<LWrapper<TestCompletedPayload>> CreateTestCompletedPayload();
    virtual RCPtr<LWrapper<TestLogChangedPayload>> CreateTestLogChangedPayload();
    virtual void FillTestStartedPayload(const RCPtr<LWrapper<TestStartedPayload>>& payload);
    virtual void FillTestCompletedPayload(const RCPtr<LWrapper<TestCompletedPayload>>& payload);
    virtual void FillTestLogChangedPayload(const RCPtr<LWrapper<TestLogChangedPayload>>& payload);
    // A new test from the application's test factory; null (after an
    // assertion) when none can be made.
    virtual RCPtr<LThreadedTest> CreateTest(const String& testId);

    // The test's result word as an engine result; a word that names no
    // finished run is reported (after an assertion) as failed.
    static std::int32_t ConvertTestResult(std::int32_t testResult);
    // "succeeded", "failed", "aborted", "inconclusive"; "unknown" (after an
    // assertion) for any other code.
    static String GetResultName(std::int32_t engineResult);

    void ClearLog();
    const RCPtr<LNotificationCenter>& GetNotificationCenter() const noexcept { return mCenter; }

private:
    void Post(const char* id, const RCPtr<LRefCountedObject>& payload);

    const String mName;
    // Written on the main thread only while no run is in progress; read by
    // the completion report on the worker.
    RCPtr<LThreadedTest> mTest;
    Mutex mLogLock;
    LogLines mLog;
    RCPtr<LNotificationCenter> mCenter;
};
} // namespace Vx
