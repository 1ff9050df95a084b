#include "Panel/Engine/TestAppCommon/ThreadedTest.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace VxTest;

namespace
{
using Vx::LThreadedTest;

std::shared_ptr<Script> GatedScript(bool pollsAbort = true)
{
    auto script = std::make_shared<Script>();
    script->gate = std::make_shared<Gate>();
    script->pollsAbort = pollsAbort;
    return script;
}

TEST(ThreadedTest, ResultWordFromConstructionThroughOneRun)
{
    const auto script = GatedScript();
    script->result = LThreadedTest::kResultInconclusive;
    const Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));
    RecordingCallbacks callbacks(test.Get());
    test->SetCallbacks(&callbacks);
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultNotRun);
    EXPECT_FALSE(test->IsRunning());

    ASSERT_TRUE(test->Start());
    // The body waits at the gate, so the run is still in progress.
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultInProgress);
    EXPECT_TRUE(test->IsRunning());
    EXPECT_FALSE(test->Start()) << "a second start while running";

    script->gate->Open();
    ASSERT_TRUE(WaitFor([&] { return !test->IsRunning(); }));
    EXPECT_EQ(script->runs, 1);
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultInconclusive);
    EXPECT_EQ(callbacks.What(), (std::vector<std::string>{"started", "completed:-5"}));
}

// Every word a body can return reaches the completion report and stays.
TEST(ThreadedTest, EveryResultWordIsReportedAsTheBodyReturnedIt)
{
    const struct
    {
        std::int32_t word;
        const char* name;
    } cases[] = {{0, "Succeeded"},   {-1, "Failed"},       {-2, "Aborted"},  {-3, "NotRun"},
                 {-4, "InProgress"}, {-5, "Inconclusive"}, {7, "<Unknown>"}, {1, "<Unknown>"}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(std::string(LThreadedTest::GetResultName(c.word).GetCString()), c.name);

        const auto script = std::make_shared<Script>();
        script->lines = {"one", "two"};
        script->result = c.word;
        const Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));
        RecordingCallbacks callbacks(test.Get());
        test->SetCallbacks(&callbacks);
        ASSERT_TRUE(test->Start());
        ASSERT_TRUE(WaitFor([&] { return !test->IsRunning(); }));

        EXPECT_EQ(test->GetResult(), c.word);
        const std::vector<Report> reports = callbacks.Reports();
        ASSERT_EQ(reports.size(), 4u);
        EXPECT_EQ(callbacks.What(),
                  (std::vector<std::string>{"started", "log:one", "log:two", "completed:" + std::to_string(c.word)}));
        // All on the test's own worker, none on the owner's thread.
        for (const Report& report : reports)
        {
            EXPECT_NE(report.thread, std::this_thread::get_id());
            EXPECT_EQ(report.thread, reports.front().thread);
        }
    }
}

TEST(ThreadedTest, AbortWithoutARunChangesNothing)
{
    const auto script = std::make_shared<Script>();
    script->result = LThreadedTest::kResultFailed;
    const Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));

    EXPECT_EQ(test->Abort(), 0) << "never started";
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultNotRun);

    // Nothing was stopped: the test still runs once.
    ASSERT_TRUE(test->Start());
    ASSERT_TRUE(WaitFor([&] { return !test->IsRunning(); }));
    EXPECT_EQ(test->Abort(), 0) << "run already over";
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultFailed);
    EXPECT_EQ(script->runs, 1);
}

// A body that polls ends early; its completion arrives while Abort waits, and
// the word is "Aborted" whatever the body returned.
TEST(ThreadedTest, AbortStopsAPollingBodyAndWaitsForItsCompletion)
{
    const auto script = GatedScript();
    script->abortedResult = LThreadedTest::kResultFailed;
    const Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));
    RecordingCallbacks callbacks(test.Get());
    test->SetCallbacks(&callbacks);
    ASSERT_TRUE(test->Start());
    ASSERT_TRUE(WaitFor([&] { return script->runs == 1; }));
    EXPECT_FALSE(test->IsAbortRequested());

    EXPECT_EQ(test->Abort(), 1);
    EXPECT_TRUE(callbacks.IsCompleted()) << "the completion came before Abort returned";
    EXPECT_TRUE(script->abortSeen);
    EXPECT_TRUE(test->IsAbortRequested());
    EXPECT_EQ(callbacks.What(), (std::vector<std::string>{"started", "log:Test was aborted", "completed:-1"}));
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultAborted);
    EXPECT_FALSE(test->IsRunning());
}

// A body that never looks is waited for to its end.
TEST(ThreadedTest, AbortWaitsForABodyThatDoesNotPoll)
{
    const auto script = GatedScript(false);
    const Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));
    RecordingCallbacks callbacks(test.Get());
    test->SetCallbacks(&callbacks);
    ASSERT_TRUE(test->Start());
    ASSERT_TRUE(WaitFor([&] { return script->runs == 1; }));

    std::thread opener([&] {
        std::this_thread::sleep_for(50ms);
        script->gate->Open();
    });
    EXPECT_EQ(test->Abort(), 1);
    opener.join();
    EXPECT_FALSE(script->abortSeen);
    EXPECT_EQ(callbacks.What(), (std::vector<std::string>{"started", "completed:0"}))
        << "the body's own result is reported";
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultAborted);
}

TEST(ThreadedTest, AnAbortedTestNeverRunsAgain)
{
    const auto script = GatedScript();
    const Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));
    ASSERT_TRUE(test->Start());
    ASSERT_TRUE(WaitFor([&] { return script->runs == 1; }));
    ASSERT_EQ(test->Abort(), 1);

    EXPECT_FALSE(test->Start());
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(script->runs, 1);
    // The refused start leaves the word as it was: nothing is in progress.
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultAborted);
    EXPECT_FALSE(test->IsRunning());
}

TEST(ThreadedTest, CallbacksChangedDuringARunAreLoggedAndTaken)
{
    const auto script = GatedScript();
    script->lines = {"first"};
    const Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));
    RecordingCallbacks before(test.Get());
    RecordingCallbacks after(test.Get());
    test->SetCallbacks(&before);
    ASSERT_TRUE(test->Start());
    ASSERT_TRUE(WaitFor([&] { return before.What().size() == 2; }));

    CaptureStderr capture;
    test->SetCallbacks(&after);
    EXPECT_EQ(CountAssertions(capture.Finish(), "ThreadedTest.cpp"), 1);
    EXPECT_EQ(test->GetCallbacks(), &after);
    script->gate->Open();
    ASSERT_TRUE(WaitFor([&] { return !test->IsRunning(); }));
    EXPECT_EQ(before.What(), (std::vector<std::string>{"started", "log:first"}));
    EXPECT_EQ(after.What(), (std::vector<std::string>{"completed:0"}));
}

// Without callbacks a line goes to the trace as text, never as a format.
TEST(ThreadedTest, LogWithoutCallbacksIsTracedVerbatim)
{
    const auto script = std::make_shared<Script>();
    script->lines = {"100%s%n done %d"};
    const Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));
    CaptureStderr capture;
    ASSERT_TRUE(test->Start());
    ASSERT_TRUE(WaitFor([&] { return !test->IsRunning(); }));
    const std::string err = capture.Finish();
    EXPECT_NE(err.find("100%s%n done %d\n"), std::string::npos) << err;
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultSucceeded);
}

// An exception thrown by a body fails the run instead of ending the process.
TEST(ThreadedTest, ABodyThatThrowsFailsItsRun)
{
    const auto script = std::make_shared<Script>();
    script->throwText = "device went away";
    const Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));
    RecordingCallbacks callbacks(test.Get());
    test->SetCallbacks(&callbacks);
    CaptureStderr capture;
    ASSERT_TRUE(test->Start());
    ASSERT_TRUE(WaitFor([&] { return !test->IsRunning(); }));
    EXPECT_EQ(CountAssertions(capture.Finish(), "ThreadedTest.cpp"), 1);
    EXPECT_EQ(callbacks.What(), (std::vector<std::string>{"started", "log:device went away", "completed:-1"}));
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultFailed);
}

// The owner may let go while the body runs: the worker then drops the last
// reference on its own thread, and the test is destroyed there without
// waiting for itself.
TEST(ThreadedTest, ReleasedWhileRunningIsDestroyedByItsWorker)
{
    const auto script = GatedScript(false);
    Vx::RCPtr<ScriptedTest> test(new ScriptedTest(script));
    ASSERT_TRUE(test->Start());
    ASSERT_TRUE(WaitFor([&] { return script->runs == 1; }));
    test = nullptr;
    EXPECT_EQ(script->destroyed, 0);

    CaptureStderr capture;
    script->gate->Open();
    EXPECT_TRUE(WaitFor([&] { return script->destroyed == 1; }));
    capture.Finish();
}

TEST(DummyTest, LogsSleepsAndReturnsItsResult)
{
    const Vx::RCPtr<Vx::LDummyTest> test = Vx::MakeRCPtr<Vx::LDummyTest>(40, -5);
    RecordingCallbacks callbacks(test.Get());
    test->SetCallbacks(&callbacks);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(test->Start());
    ASSERT_TRUE(WaitFor([&] { return callbacks.IsCompleted(); }));
    const auto elapsed = std::chrono::steady_clock::now() - start;

    std::vector<std::string> expected{"started", "log:This is dummy test message from dummy test",
                                      "log:Now I'm gonna sleep for 40 milliseconds"};
    for (int i = 0; i < 64; ++i)
        expected.push_back("log:Dummy log message #" + std::to_string(i));
    expected.push_back("log:I'm returning the test result -5");
    expected.push_back("completed:-5");
    EXPECT_EQ(callbacks.What(), expected);
    // 64 pauses of 1 ms, then the configured sleep.
    EXPECT_GE(elapsed, 104ms);
    ASSERT_TRUE(WaitFor([&] { return !test->IsRunning(); }));
    EXPECT_EQ(test->GetResult(), LThreadedTest::kResultInconclusive);
}
} // namespace
