#include "Panel/Engine/TestAppCommon/TestEngine.h"

#include "Panel/Engine/TestAppCommon/TestFactory.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

namespace Vx
{
LTestEngine::LTestEngine(const String& testId)
    : mName(testId),
      // The application's default centre; the views and executers register there.
      mCenter(LNotificationCenterManager::GetInstance()->GetCenter(LNotificationCenterManager::GetDefaultCenterName()))
{
}

LTestEngine::~LTestEngine()
{
    // The test reports to this engine through a plain pointer: stop it (and
    // wait for its end) before the engine goes.
    Abort();
}

VxRESULT LTestEngine::Start()
{
    Abort();
    ClearLog();
    const RCPtr<LThreadedTest> test = CreateTest(mName);
    if (test.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    mTest = test;
    test->SetCallbacks(this);
    return test->Start() ? VXR_OK : VXR_E_FAIL;
}

VxRESULT LTestEngine::Abort()
{
    if (mTest.IsNull())
        return VXR_NOTHING_DONE;
    // The run's completion is reported while this waits.
    mTest->Abort();
    mTest->SetCallbacks(nullptr);
    mTest = nullptr;
    return VXR_OK;
}

LTestEngine::LogLines LTestEngine::GetLog()
{
    const ScopedLock lock(mLogLock);
    return mLog;
}

void LTestEngine::ClearLog()
{
    const ScopedLock lock(mLogLock);
    mLog.RemoveAll();
}

void LTestEngine::OnTestStarted()
{
    const String text = String::Format("Started %s", mName.GetCString());
    DebugTracer::Get().Trace(-1, "%s", text.GetCString());
    OnTestLog(text);
    const RCPtr<LWrapper<TestStartedPayload>> payload = CreateTestStartedPayload();
    FillTestStartedPayload(payload);
    Post(kTestStartedId, payload);
}

void LTestEngine::OnTestCompleted()
{
    const RCPtr<LWrapper<TestCompletedPayload>> payload = CreateTestCompletedPayload();
    FillTestCompletedPayload(payload);
    const String text =
        String::Format("Completed %s: %s", mName.GetCString(), GetResultName(payload->result).GetCString());
    DebugTracer::Get().Trace(-1, "%s", text.GetCString());
    OnTestLog(text);
    Post(kTestCompletedId, payload);
}

void LTestEngine::OnTestLog(const String& text)
{
    {
        const ScopedLock lock(mLogLock);
        mLog.Add(text);
    }
    // A test's text is never a format.
    DebugTracer::Get().Trace(1, "%s", text.GetCString());
    const RCPtr<LWrapper<TestLogChangedPayload>> payload = CreateTestLogChangedPayload();
    FillTestLogChangedPayload(payload);
    Post(kTestLogChangedId, payload);
}

RCPtr<LWrapper<TestStartedPayload>> LTestEngine::CreateTestStartedPayload()
{
    return MakeRCPtr<LWrapper<TestStartedPayload>>();
}

RCPtr<LWrapper<TestCompletedPayload>> LTestEngine::CreateTestCompletedPayload()
{
    return MakeRCPtr<LWrapper<TestCompletedPayload>>();
}

RCPtr<LWrapper<TestLogChangedPayload>> LTestEngine::CreateTestLogChangedPayload()
{
    return MakeRCPtr<LWrapper<TestLogChangedPayload>>();
}

void LTestEngine::FillTestStartedPayload(const RCPtr<LWrapper<TestStartedPayload>>& payload)
{
    payload->name = mName;
    payload->reserved = 0;
}

void LTestEngine::FillTestCompletedPayload(const RCPtr<LWrapper<TestCompletedPayload>>& payload)
{
    payload->name = mName;
    payload->reserved = 0;
    // Called by the running test, so the field holds it.
    payload->result = ConvertTestResult(mTest.IsNull() ? LThreadedTest::kResultNotRun : mTest->GetResult());
}

void LTestEngine::FillTestLogChangedPayload(const RCPtr<LWrapper<TestLogChangedPayload>>& payload)
{
    payload->name = mName;
}

RCPtr<LThreadedTest> LTestEngine::CreateTest(const String& testId)
{
    const RCPtr<LTestFactory> factory = GetApplicationTestFactory();
    RCPtr<LThreadedTest> test = factory.IsNull() ? nullptr : factory->Create(testId);
    if (test.IsNull())
        VX_ASSERT_FALSE();
    return test;
}

std::int32_t LTestEngine::ConvertTestResult(std::int32_t testResult)
{
    switch (testResult)
    {
    case LThreadedTest::kResultSucceeded:
        return kResultSucceeded;
    case LThreadedTest::kResultFailed:
        return kResultFailed;
    case LThreadedTest::kResultAborted:
        return kResultAborted;
    case LThreadedTest::kResultInconclusive:
        return kResultInconclusive;
    default:
        // Not run, still in progress, or a word of no meaning: no pass.
        VX_ASSERT_FALSE();
        return kResultFailed;
    }
}

LTestEngine::String LTestEngine::GetResultName(std::int32_t engineResult)
{
    switch (engineResult)
    {
    case kResultSucceeded:
        return String("succeeded");
    case kResultFailed:
        return String("failed");
    case kResultAborted:
        return String("aborted");
    case kResultInconclusive:
        return String("inconclusive");
    default:
        VX_ASSERT_FALSE();
        return String("unknown");
    }
}

void LTestEngine::Post(const char* id, const RCPtr<LRefCountedObject>& payload)
{
    const VxRESULT posted = mCenter->PostNotification(id, payload);
    VX_ASSERT(Succeeded(posted));
}
} // namespace Vx
