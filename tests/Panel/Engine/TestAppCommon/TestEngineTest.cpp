#include "Panel/Engine/TestAppCommon/TestEngine.h"

#include "Panel/Engine/TestAppCommon/TestFactory.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace VxTest;

namespace
{
using Vx::LTestEngine;
using Vx::LThreadedTest;

constexpr const char* kLogChanged = "NID_TEST_LOG_CHANGED";
constexpr const char* kStarted = "NID_TEST_STARTED";
constexpr const char* kCompleted = "NID_TEST_COMPLETED";

class TestEngineTest : public EngineTestBase
{
protected:
    Vx::RCPtr<LTestEngine> MakeEngine(const char* testId) { return sEngineFactory->Create(String(testId)); }
};

TEST_F(TestEngineTest, AbortWithoutATestReportsNothingToAbort)
{
    AddScriptedTest("TID_A", std::make_shared<Script>());
    const Vx::RCPtr<LTestEngine> engine = MakeEngine("TID_A");
    EXPECT_EQ(std::string(engine->GetName().GetCString()), "TID_A");
    EXPECT_EQ(engine->Abort(), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(engine->GetLog().GetCount(), 0u);
}

// Each result word of a body becomes the engine result of the completion, its
// name ends the log, and the notifications come in the one order, posted and
// delivered only by the idle processing.
TEST_F(TestEngineTest, ARunPostsItsReportsInOrderForEveryResultWord)
{
    const struct
    {
        std::int32_t word;
        std::int32_t engineResult;
        const char* name;
        int assertions;
    } cases[] = {{0, 0, "succeeded", 0}, {-1, 1, "failed", 0}, {-2, 2, "aborted", 0}, {-5, 3, "inconclusive", 0},
                 {-3, 1, "failed", 1},   {-4, 1, "failed", 1}, {9, 1, "failed", 1}};
    int index = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.word);
        const std::string id = "TID_WORD_" + std::to_string(index++);
        const auto script = std::make_shared<Script>();
        script->lines = {"measured %s%n"};
        script->result = c.word;
        AddScriptedTest(id.c_str(), script);
        const Vx::RCPtr<LTestEngine> engine = MakeEngine(id.c_str());
        mRecorder->mReceived.clear();

        CaptureStderr capture;
        ASSERT_EQ(engine->Start(), Vx::VXR_OK);
        // Nothing reaches a receiver before the idle processing delivers it.
        ASSERT_TRUE(WaitFor([&] { return ApplicationCenter()->GetPendingCount() == 5; }));
        EXPECT_TRUE(mRecorder->mReceived.empty());
        ASSERT_TRUE(PumpUntil([&] { return mRecorder->mReceived.size() == 5; }));
        const std::string err = capture.Finish();

        const std::string completion = "Completed " + id + ": " + c.name;
        EXPECT_EQ(Lines(engine->GetLog()), (std::vector<std::string>{"Started " + id, "measured %s%n", completion}));
        EXPECT_EQ(mRecorder->mReceived, (std::vector<Received>{{kLogChanged, id, -100},
                                                               {kStarted, id, -100},
                                                               {kLogChanged, id, -100},
                                                               {kLogChanged, id, -100},
                                                               {kCompleted, id, c.engineResult}}));
        EXPECT_EQ(CountAssertions(err, "TestEngine.cpp"), c.assertions) << err;
        // The lines reach the trace as text.
        EXPECT_NE(err.find("measured %s%n\n"), std::string::npos);
        EXPECT_NE(err.find(completion + "\n"), std::string::npos);
    }
}

TEST_F(TestEngineTest, ResultNamesOutsideTheTableAreUnknown)
{
    CaptureStderr capture;
    EXPECT_EQ(std::string(LTestEngine::GetResultName(4).GetCString()), "unknown");
    EXPECT_EQ(std::string(LTestEngine::GetResultName(-1).GetCString()), "unknown");
    EXPECT_EQ(CountAssertions(capture.Finish(), "TestEngine.cpp"), 2);
}

// A second start stops the first run (whose completion is posted during the
// stop), empties the log and runs anew.
TEST_F(TestEngineTest, StartDuringARunStopsItFirst)
{
    const auto script = std::make_shared<Script>();
    script->lines = {"waiting"};
    script->gate = std::make_shared<Gate>();
    AddScriptedTest("TID_A", script);
    const Vx::RCPtr<LTestEngine> engine = MakeEngine("TID_A");
    ASSERT_EQ(engine->Start(), Vx::VXR_OK);
    ASSERT_TRUE(WaitFor([&] { return script->runs == 1; }));

    ASSERT_EQ(engine->Start(), Vx::VXR_OK);
    EXPECT_TRUE(script->abortSeen);
    EXPECT_EQ(script->destroyed, 1) << "the first test was released";
    script->gate->Open();
    ASSERT_TRUE(PumpUntil([&] { return mRecorder->Count(kCompleted) == 2; }));

    EXPECT_EQ(Milestones(), (std::vector<Received>{{kStarted, "TID_A", -100},
                                                   {kCompleted, "TID_A", LTestEngine::kResultAborted},
                                                   {kStarted, "TID_A", -100},
                                                   {kCompleted, "TID_A", LTestEngine::kResultSucceeded}}));
    EXPECT_EQ(Lines(engine->GetLog()),
              (std::vector<std::string>{"Started TID_A", "waiting", "Completed TID_A: succeeded"}));
}

TEST_F(TestEngineTest, TheLogOfAnAbortedRunStays)
{
    const auto script = std::make_shared<Script>();
    script->gate = std::make_shared<Gate>();
    AddScriptedTest("TID_A", script);
    const Vx::RCPtr<LTestEngine> engine = MakeEngine("TID_A");
    ASSERT_EQ(engine->Start(), Vx::VXR_OK);
    ASSERT_TRUE(WaitFor([&] { return script->runs == 1; }));

    EXPECT_EQ(engine->Abort(), Vx::VXR_OK);
    EXPECT_EQ(script->destroyed, 1);
    EXPECT_EQ(Lines(engine->GetLog()),
              (std::vector<std::string>{"Started TID_A", "Test was aborted", "Completed TID_A: aborted"}));
    EXPECT_EQ(engine->Abort(), Vx::VXR_NOTHING_DONE);
}

// Without a test to run, Start fails after stopping the previous test and
// emptying the log, and posts nothing.
TEST_F(TestEngineTest, StartWithoutATestFailsAndPostsNothing)
{
    AddScriptedTest("TID_A", std::make_shared<Script>());
    const Vx::RCPtr<LTestEngine> engine = MakeEngine("TID_A");
    ASSERT_EQ(engine->Start(), Vx::VXR_OK);
    ASSERT_TRUE(PumpUntil([&] { return mRecorder->Count(kCompleted) == 1; }));
    ASSERT_EQ(engine->GetLog().GetCount(), 2u);
    mRecorder->mReceived.clear();

    // The application's test factory no longer knows the id.
    sTestFactory = Vx::MakeRCPtr<Vx::LTestFactory>();
    CaptureStderr capture;
    EXPECT_EQ(engine->Start(), Vx::VXR_E_FAIL);
    const std::string err = capture.Finish();
    EXPECT_EQ(CountAssertions(err, "TestFactory.cpp"), 1) << err;
    EXPECT_EQ(CountAssertions(err, "TestEngine.cpp"), 2) << err;
    EXPECT_EQ(engine->GetLog().GetCount(), 0u);
    EXPECT_EQ(ApplicationCenter()->GetPendingCount(), 0u);

    // No factory at all (before start-up) is the same failure.
    sTestFactory = nullptr;
    CaptureStderr again;
    EXPECT_EQ(engine->Start(), Vx::VXR_E_FAIL);
    EXPECT_EQ(CountAssertions(again.Finish(), "TestEngine.cpp"), 2);
}

// A test that refuses to start (one already stopped) fails the engine's Start.
TEST_F(TestEngineTest, ATestThatRefusesToStartFailsTheStart)
{
    const auto script = std::make_shared<Script>();
    script->gate = std::make_shared<Gate>();
    const Vx::RCPtr<LThreadedTest> stopped(new ScriptedTest(script));
    ASSERT_TRUE(stopped->Start());
    ASSERT_TRUE(WaitFor([&] { return script->runs == 1; }));
    ASSERT_EQ(stopped->Abort(), 1);
    sEngineFactory->Register(String("TID_A"), [] { return Vx::MakeRCPtr<LTestEngine>(String("TID_A")); });
    sTestFactory->Register(String("TID_A"), [stopped] { return stopped; });

    const Vx::RCPtr<LTestEngine> engine = MakeEngine("TID_A");
    EXPECT_EQ(engine->Start(), Vx::VXR_E_FAIL);
    EXPECT_EQ(ApplicationCenter()->GetPendingCount(), 0u);
    EXPECT_EQ(engine->Abort(), Vx::VXR_OK) << "the refused test stays until the next Abort";
}

// The test reports through a plain pointer: releasing its engine stops it
// first, waiting for its end, so that it never reports to a freed engine.
TEST_F(TestEngineTest, ReleasingAnEngineStopsItsRunningTest)
{
    const auto script = std::make_shared<Script>();
    script->gate = std::make_shared<Gate>();
    AddScriptedTest("TID_A", script);
    Vx::RCPtr<LTestEngine> engine = MakeEngine("TID_A");
    ASSERT_EQ(engine->Start(), Vx::VXR_OK);
    ASSERT_TRUE(WaitFor([&] { return script->runs == 1; }));

    engine = nullptr;
    EXPECT_TRUE(script->abortSeen);
    EXPECT_EQ(script->destroyed, 1);
    ASSERT_TRUE(PumpUntil([&] { return mRecorder->Count(kCompleted) == 1; }));
    EXPECT_EQ(Milestones().back(), (Received{kCompleted, "TID_A", LTestEngine::kResultAborted}));
}

TEST(TestFactories, RegistrationKeepsTheFirstCreatorAndCreateMakesNewObjects)
{
    const auto engines = Vx::MakeRCPtr<Vx::LTestEngineFactory>();
    const String id("TID_A");
    EXPECT_EQ(engines->Register(id, [] { return Vx::MakeRCPtr<LTestEngine>(String("first")); }), Vx::VXR_OK);
    EXPECT_EQ(engines->Register(id, [] { return Vx::MakeRCPtr<LTestEngine>(String("second")); }), Vx::VXR_E_FAIL);
    const Vx::RCPtr<LTestEngine> one = engines->Create(id);
    const Vx::RCPtr<LTestEngine> two = engines->Create(id);
    ASSERT_FALSE(one.IsNull());
    ASSERT_FALSE(two.IsNull());
    EXPECT_NE(one.Get(), two.Get());
    EXPECT_EQ(std::string(one->GetName().GetCString()), "first");

    const auto tests = Vx::MakeRCPtr<Vx::LTestFactory>();
    const auto first = std::make_shared<Script>();
    const auto second = std::make_shared<Script>();
    EXPECT_EQ(tests->Register(id, [first] { return Vx::RCPtr<LThreadedTest>(new ScriptedTest(first)); }), Vx::VXR_OK);
    EXPECT_EQ(tests->Register(id, [second] { return Vx::RCPtr<LThreadedTest>(new ScriptedTest(second)); }), Vx::VXR_OK);
    const Vx::RCPtr<LThreadedTest> a = tests->Create(id);
    const Vx::RCPtr<LThreadedTest> b = tests->Create(id);
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(first->created, 2);
    EXPECT_EQ(second->created, 0);
}

TEST(TestFactories, UnknownIdsAndEmptyCreatorsAreRefused)
{
    const auto engines = Vx::MakeRCPtr<Vx::LTestEngineFactory>();
    const auto tests = Vx::MakeRCPtr<Vx::LTestFactory>();
    CaptureStderr capture;
    EXPECT_TRUE(engines->Create(String("TID_NONE")).IsNull());
    EXPECT_TRUE(tests->Create(String("TID_NONE")).IsNull());
    EXPECT_EQ(engines->Register(String("TID_A"), nullptr), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(tests->Register(String("TID_A"), nullptr), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(CountAssertions(capture.Finish(), "TestFactory.cpp"), 4);
    // The refused creator left no entry behind.
    EXPECT_EQ(engines->Register(String("TID_A"), [] { return Vx::MakeRCPtr<LTestEngine>(String("TID_A")); }),
              Vx::VXR_OK);
}
} // namespace
