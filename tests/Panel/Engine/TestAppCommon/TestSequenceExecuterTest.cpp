#include "Panel/Engine/TestAppCommon/TestSequenceExecuter.h"

#include "Panel/Main/TestIdentifiers.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace VxTest;

namespace
{
using Vx::LTestEngine;
using Vx::LTestSequenceExecuter;
using Vx::TestBinding;
using Vx::TestGroup;

constexpr const char* kSequenceStarted = "NID_TEST_SEQUENCE_STARTED";
constexpr const char* kSequenceCompleted = "NID_TEST_SEQUENCE_COMPLETED";
constexpr const char* kCompleted = "NID_TEST_COMPLETED";
constexpr const char* kStarted = "NID_TEST_STARTED";

TestBinding Bind(const char* id)
{
    return TestBinding{1, 2, String(id), String((std::string(id) + "Label").c_str()), String()};
}

// A sequence built from a list of groups of ids.
struct Table
{
    explicit Table(std::initializer_list<std::initializer_list<const char*>> ids)
    {
        for (const auto& group : ids)
        {
            bindings.emplace_back();
            for (const char* id : group)
                bindings.back().push_back(Bind(id));
        }
        for (const auto& group : bindings)
            groups.push_back(TestGroup{group.data(), static_cast<std::uint32_t>(group.size())});
    }

    std::vector<std::vector<TestBinding>> bindings;
    std::vector<TestGroup> groups;
};

class ExecuterTest : public EngineTestBase
{
protected:
    void SetUp() override
    {
        EngineTestBase::SetUp();
        mExecuter = Vx::MakeRCPtr<LTestSequenceExecuter>();
        // The view: its clients hear the sequence notifications.
        mRecorder->Listen(Vx::RCPtr<Vx::LNotificationDistributor>(mExecuter), {kSequenceStarted, kSequenceCompleted});
    }

    void TearDown() override
    {
        for (auto& entry : mScripts)
        {
            if (entry.second->gate != nullptr)
                entry.second->gate->Open();
        }
        mRecorder->UnregisterAll();
        mExecuter = nullptr;
        EngineTestBase::TearDown();
    }

    // Scripted tests that wait at their gate until Finish.
    void AddTests(const std::vector<const char*>& ids)
    {
        for (const char* id : ids)
        {
            auto script = std::make_shared<Script>();
            script->gate = std::make_shared<Gate>();
            mScripts[id] = script;
            AddScriptedTest(id, script);
        }
    }

    Script& Of(const char* id) { return *mScripts.at(id); }

    // Lets the test's current run end with the result, and delivers its
    // completion.
    void Finish(const char* id, std::int32_t result = Vx::LThreadedTest::kResultSucceeded)
    {
        Script& script = Of(id);
        const int finished = mFinished[id]++;
        ASSERT_TRUE(WaitFor([&] { return script.runs > finished; })) << id << " never ran";
        const std::size_t completions = mRecorder->Count(kCompleted, id);
        script.result = result;
        script.gate->OpenUpTo(script.runs);
        ASSERT_TRUE(PumpUntil([&] { return mRecorder->Count(kCompleted, id) == completions + 1; })) << id;
    }

    // Delivers what is pending now.
    void Deliver()
    {
        while (Vx::LFrameworkApp::ProcessNotificationCenters(false))
        {
        }
    }

    // The ids whose tests have run (or are running), in first-run order.
    std::vector<std::string> Runs(const std::vector<const char*>& ids)
    {
        std::vector<std::string> running;
        for (const char* id : ids)
        {
            if (WaitFor([&] { return Of(id).runs > 0; }, 0ms))
                running.push_back(id);
        }
        return running;
    }

    std::vector<std::string> SequenceEvents() const
    {
        std::vector<std::string> events;
        for (const Received& received : mRecorder->mReceived)
        {
            if (received.id == kSequenceStarted || received.id == kSequenceCompleted)
                events.push_back(received.id);
        }
        return events;
    }

    Vx::RCPtr<LTestSequenceExecuter> mExecuter;
    std::map<std::string, std::shared_ptr<Script>> mScripts;
    std::map<std::string, int> mFinished;
};

TEST_F(ExecuterTest, TwoGroupsRunOneAfterTheOther)
{
    AddTests({"TID_A", "TID_B"});
    const Table table({{"TID_A"}, {"TID_B"}});
    ASSERT_EQ(mExecuter->Init(table.groups.data(), 2), Vx::VXR_OK);
    // As a view does: registered on the centre after the executer.
    mRecorder->UnregisterAll();
    mRecorder->Listen(Vx::RCPtr<Vx::LNotificationDistributor>(ApplicationCenter()), {kStarted, kCompleted});
    mRecorder->Listen(Vx::RCPtr<Vx::LNotificationDistributor>(mExecuter), {kSequenceStarted, kSequenceCompleted});
    EXPECT_FALSE(mExecuter->IsRunning());

    ASSERT_EQ(mExecuter->Start(), Vx::VXR_OK);
    // Sent before Start returned.
    EXPECT_EQ(SequenceEvents(), (std::vector<std::string>{kSequenceStarted}));
    EXPECT_TRUE(mExecuter->IsRunning());
    EXPECT_EQ(mExecuter->GetCurrentGroup(), 0);
    ASSERT_TRUE(WaitFor([&] { return Of("TID_A").runs == 1; }));
    EXPECT_EQ(Of("TID_B").created, 0);

    Finish("TID_A");
    EXPECT_EQ(mExecuter->GetCurrentGroup(), 1);
    ASSERT_TRUE(WaitFor([&] { return Of("TID_B").runs == 1; }));
    EXPECT_EQ(SequenceEvents(), (std::vector<std::string>{kSequenceStarted}));

    Finish("TID_B");
    EXPECT_FALSE(mExecuter->IsRunning());
    EXPECT_EQ(SequenceEvents(), (std::vector<std::string>{kSequenceStarted, kSequenceCompleted}));
    // The view, registered after the executer, heard the last completion first.
    EXPECT_EQ(mRecorder->mReceived.back().id, kSequenceCompleted);
    EXPECT_EQ(mRecorder->mReceived[mRecorder->mReceived.size() - 2], (Received{kCompleted, "TID_B", 0}));
}

// The next group starts with the last completion of a group, whatever the
// order and whatever the results.
TEST_F(ExecuterTest, AGroupCompletesOnlyWithItsLastTest)
{
    const std::vector<std::vector<const char*>> orders = {
        {"TID_A", "TID_B", "TID_C"}, {"TID_C", "TID_A", "TID_B"}, {"TID_B", "TID_C", "TID_A"}};
    AddTests({"TID_A", "TID_B", "TID_C", "TID_D"});
    const Table table({{"TID_A", "TID_B", "TID_C"}, {"TID_D"}});
    ASSERT_EQ(mExecuter->Init(table.groups.data(), 2), Vx::VXR_OK);
    int run = 0;
    for (const auto& order : orders)
    {
        SCOPED_TRACE(order.front());
        ASSERT_EQ(mExecuter->Start(), Vx::VXR_OK);
        ++run;
        ASSERT_TRUE(
            WaitFor([&] { return Of("TID_A").runs == run && Of("TID_B").runs == run && Of("TID_C").runs == run; }));
        // A failed, an aborted and a passed test.
        Finish(order[0], Vx::LThreadedTest::kResultFailed);
        Finish(order[1], Vx::LThreadedTest::kResultAborted);
        EXPECT_EQ(mExecuter->GetCurrentGroup(), 0);
        EXPECT_EQ(Of("TID_D").runs, run - 1);
        Finish(order[2]);
        EXPECT_EQ(mExecuter->GetCurrentGroup(), 1);
        ASSERT_TRUE(WaitFor([&] { return Of("TID_D").runs == run; }));
        Finish("TID_D");
        EXPECT_FALSE(mExecuter->IsRunning());
    }
    // Every Start ran the sequence with new test objects.
    EXPECT_EQ(Of("TID_A").created, 3);
    EXPECT_EQ(mRecorder->Count(kSequenceCompleted), 3u);
}

TEST_F(ExecuterTest, StartWhileRunningOrWithoutGroupsDoesNothing)
{
    EXPECT_EQ(mExecuter->Start(), Vx::VXR_NOTHING_DONE) << "no groups";
    EXPECT_TRUE(SequenceEvents().empty());

    AddTests({"TID_A"});
    const Table table({{"TID_A"}});
    ASSERT_EQ(mExecuter->Init(table.groups.data(), 1), Vx::VXR_OK);
    ASSERT_EQ(mExecuter->Start(), Vx::VXR_OK);
    EXPECT_EQ(mExecuter->Start(), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(SequenceEvents(), (std::vector<std::string>{kSequenceStarted}));
    ASSERT_TRUE(WaitFor([&] { return Of("TID_A").runs == 1; }));
    EXPECT_EQ(Of("TID_A").created, 1);
    Finish("TID_A");
}

// A client may start the sequence again from its completion handler.
TEST_F(ExecuterTest, ACompletedSequenceCanBeStartedFromItsCompletion)
{
    AddTests({"TID_A"});
    const Table table({{"TID_A"}});
    ASSERT_EQ(mExecuter->Init(table.groups.data(), 1), Vx::VXR_OK);
    int restarts = 0;
    mRecorder->mOnReceive = [&](const Received& received) {
        if (received.id == kSequenceCompleted && restarts++ == 0)
        {
            EXPECT_EQ(mExecuter->Start(), Vx::VXR_OK);
        }
    };
    ASSERT_EQ(mExecuter->Start(), Vx::VXR_OK);
    ASSERT_TRUE(WaitFor([&] { return Of("TID_A").runs == 1; }));
    Finish("TID_A");
    EXPECT_TRUE(mExecuter->IsRunning());
    ASSERT_TRUE(WaitFor([&] { return Of("TID_A").runs == 2; }));
    Finish("TID_A");
    EXPECT_FALSE(mExecuter->IsRunning());
    EXPECT_EQ(SequenceEvents(),
              (std::vector<std::string>{kSequenceStarted, kSequenceCompleted, kSequenceStarted, kSequenceCompleted}));
}

// Test notifications for ids outside the current group, or while idle, are
// someone else's: they change nothing.
TEST_F(ExecuterTest, NotificationsOutsideTheCurrentGroupChangeNothing)
{
    AddTests({"TID_A", "TID_B"});
    const Table table({{"TID_A"}, {"TID_B"}});
    ASSERT_EQ(mExecuter->Init(table.groups.data(), 2), Vx::VXR_OK);
    const Vx::RCPtr<Vx::LNotificationCenter> center = ApplicationCenter();
    const auto post = [&](const char* id, const char* name) {
        if (std::string(id) == kCompleted)
        {
            const auto payload = Vx::MakeRCPtr<Vx::LWrapper<Vx::TestCompletedPayload>>();
            payload->name = String(name);
            center->PostNotification(id, payload);
        }
        else
        {
            const auto payload = Vx::MakeRCPtr<Vx::LWrapper<Vx::TestStartedPayload>>();
            payload->name = String(name);
            center->PostNotification(id, payload);
        }
        Deliver();
    };

    // Idle.
    post(kCompleted, "TID_A");
    EXPECT_FALSE(mExecuter->IsRunning());
    EXPECT_TRUE(SequenceEvents().empty());
    EXPECT_EQ(mExecuter->SetEntryState(mExecuter->GetCurrentGroup(), String("TID_A"), 2), Vx::VXR_E_INVALIDARG);

    ASSERT_EQ(mExecuter->Start(), Vx::VXR_OK);
    ASSERT_TRUE(WaitFor([&] { return Of("TID_A").runs == 1; }));
    // The second group's test, and one of no group.
    post(kStarted, "TID_B");
    post(kCompleted, "TID_B");
    post(kCompleted, "TID_OTHER");
    EXPECT_EQ(mExecuter->GetCurrentGroup(), 0);
    EXPECT_EQ(Of("TID_B").created, 0);
    EXPECT_EQ(mExecuter->GetGroup(1)[0].state, LTestSequenceExecuter::kEntryPending);
    EXPECT_EQ(mExecuter->SetEntryState(0, String("TID_OTHER"), 2), Vx::VXR_E_FAIL);
    EXPECT_EQ(mExecuter->SetEntryState(2, String("TID_A"), 2), Vx::VXR_E_INVALIDARG);

    // A parameter of another type is refused.
    CaptureStderr capture;
    center->PostNotification(kCompleted, Vx::MakeRCPtr<Vx::LWrapper<Vx::TestStartedPayload>>());
    center->PostNotification(kStarted, nullptr);
    Deliver();
    EXPECT_EQ(CountAssertions(capture.Finish(), "TestSequenceExecuter.cpp"), 2);
    EXPECT_EQ(mExecuter->GetCurrentGroup(), 0);

    Finish("TID_A");
    ASSERT_TRUE(WaitFor([&] { return Of("TID_B").runs == 1; }));
    Finish("TID_B");
    EXPECT_FALSE(mExecuter->IsRunning());
}

TEST_F(ExecuterTest, EntryStatesFollowTheNotifications)
{
    AddTests({"TID_A", "TID_B"});
    const Table table({{"TID_A", "TID_B"}});
    ASSERT_EQ(mExecuter->Init(table.groups.data(), 1), Vx::VXR_OK);
    ASSERT_EQ(mExecuter->Start(), Vx::VXR_OK);
    const Vx::Array<LTestSequenceExecuter::TestEntry>& entries = mExecuter->GetGroup(0);
    EXPECT_EQ(entries[0].state, LTestSequenceExecuter::kEntryPending);
    ASSERT_TRUE(PumpUntil([&] { return mRecorder->Count(kStarted) == 2; }));
    EXPECT_EQ(entries[0].state, LTestSequenceExecuter::kEntryStarted);
    EXPECT_EQ(entries[1].state, LTestSequenceExecuter::kEntryStarted);
    Finish("TID_B");
    EXPECT_EQ(entries[0].state, LTestSequenceExecuter::kEntryStarted);
    EXPECT_EQ(entries[1].state, LTestSequenceExecuter::kEntryCompleted);
    EXPECT_FALSE(mExecuter->IsGroupCompleted(0));
    EXPECT_FALSE(mExecuter->IsGroupCompleted(1));
    EXPECT_FALSE(mExecuter->IsGroupCompleted(-1));
    Finish("TID_A");
    EXPECT_TRUE(mExecuter->IsGroupCompleted(0));
    // The bindings reached the entries; the button name stays empty.
    EXPECT_EQ(std::string(entries[1].statusLabelName.GetCString()), "TID_BLabel");
    EXPECT_EQ(entries[1].resultParameterOffset, 1);
    EXPECT_EQ(entries[1].logParameterOffset, 2);
    EXPECT_TRUE(entries[1].buttonName.IsEmpty());
}

TEST_F(ExecuterTest, FindEngineTakesTheFirstEntryOfAnId)
{
    AddTests({"TID_A", "TID_B"});
    const Table table({{"TID_A"}, {"TID_B", "TID_A"}});
    ASSERT_EQ(mExecuter->Init(table.groups.data(), 2), Vx::VXR_OK);
    const Vx::RCPtr<LTestEngine> first = mExecuter->FindEngine(String("TID_A"));
    ASSERT_FALSE(first.IsNull());
    EXPECT_EQ(first.Get(), mExecuter->GetGroup(0)[0].engine.Get());
    EXPECT_NE(first.Get(), mExecuter->GetGroup(1)[1].engine.Get()) << "an engine of its own per entry";
    EXPECT_TRUE(mExecuter->FindEngine(String("TID_NONE")).IsNull());
}

// An engine that cannot start its test would never report: its entry
// completes as failed, seen by the views like any completion, and the
// sequence goes on.
TEST_F(ExecuterTest, ATestThatCannotStartFailsAndTheSequenceGoesOn)
{
    AddTests({"TID_A", "TID_C"});
    // An engine for the id, but no test.
    sEngineFactory->Register(String("TID_NO_TEST"), [] { return Vx::MakeRCPtr<LTestEngine>(String("TID_NO_TEST")); });
    const Table table({{"TID_A", "TID_NO_TEST"}, {"TID_C"}});
    ASSERT_EQ(mExecuter->Init(table.groups.data(), 2), Vx::VXR_OK);

    CaptureStderr capture;
    ASSERT_EQ(mExecuter->Start(), Vx::VXR_OK);
    capture.Finish();
    Finish("TID_A");
    EXPECT_EQ(mRecorder->Count(kCompleted, "TID_NO_TEST"), 1u);
    EXPECT_EQ(mRecorder->Count(kStarted, "TID_NO_TEST"), 0u);
    for (const Received& received : mRecorder->mReceived)
    {
        if (received.name == "TID_NO_TEST")
        {
            EXPECT_EQ(received, (Received{kCompleted, "TID_NO_TEST", LTestEngine::kResultFailed}));
        }
    }
    ASSERT_TRUE(WaitFor([&] { return Of("TID_C").runs == 1; }));
    Finish("TID_C");
    EXPECT_EQ(SequenceEvents(), (std::vector<std::string>{kSequenceStarted, kSequenceCompleted}));
}

TEST_F(ExecuterTest, InitFailsForAMissingEngineAndKeepsWhatItBuilt)
{
    AddTests({"TID_A", "TID_B"});
    const Table table({{"TID_A"}, {"TID_B", "TID_NONE"}, {"TID_B"}});
    CaptureStderr capture;
    EXPECT_EQ(mExecuter->Init(table.groups.data(), 3), Vx::VXR_E_FAIL);
    const std::string err = capture.Finish();
    EXPECT_EQ(CountAssertions(err, "TestSequenceExecuter.cpp"), 1) << err;
    EXPECT_EQ(CountAssertions(err, "TestFactory.cpp"), 1) << err;
    EXPECT_EQ(mExecuter->GetGroupCount(), 1u);
    EXPECT_TRUE(mExecuter->FindEngine(String("TID_B")).IsNull());
}

// Tables whose sequence could never complete are refused whole.
TEST_F(ExecuterTest, InitRefusesTablesThatCouldNeverComplete)
{
    AddTests({"TID_A", "TID_B"});
    const Table repeated({{"TID_A"}, {"TID_B", "TID_B"}});
    const Table empty({{"TID_A"}, {}});
    const TestGroup missing[] = {TestGroup{nullptr, 1}};
    CaptureStderr capture;
    EXPECT_EQ(mExecuter->Init(repeated.groups.data(), 2), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(mExecuter->Init(empty.groups.data(), 2), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(mExecuter->Init(missing, 1), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(mExecuter->Init(nullptr, 2), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(CountAssertions(capture.Finish(), "TestSequenceExecuter.cpp"), 4);
    EXPECT_EQ(mExecuter->GetGroupCount(), 0u);
    EXPECT_EQ(Of("TID_A").created, 0);
}

// The I/O page's table: three tests together, then Wi-Fi alone.
TEST_F(ExecuterTest, TheIOSequenceRunsWifiAfterTheOtherThree)
{
    AddTests({Vx::TID_IO_ETHERNET, Vx::TID_IO_BLUETOOTH, Vx::TID_IO_USBB, Vx::TID_IO_WIFI});
    ASSERT_EQ(mExecuter->Init(Vx::GetIOTestSequence()), Vx::VXR_OK);
    ASSERT_EQ(mExecuter->Start(), Vx::VXR_OK);
    const std::vector<const char*> all = {Vx::TID_IO_ETHERNET, Vx::TID_IO_BLUETOOTH, Vx::TID_IO_USBB, Vx::TID_IO_WIFI};
    ASSERT_TRUE(WaitFor([&] { return Runs(all).size() == 3; }));
    EXPECT_EQ(Runs(all), (std::vector<std::string>{Vx::TID_IO_ETHERNET, Vx::TID_IO_BLUETOOTH, Vx::TID_IO_USBB}));
    Finish(Vx::TID_IO_USBB);
    Finish(Vx::TID_IO_ETHERNET);
    EXPECT_EQ(Of(Vx::TID_IO_WIFI).created, 0);
    Finish(Vx::TID_IO_BLUETOOTH);
    ASSERT_TRUE(WaitFor([&] { return Of(Vx::TID_IO_WIFI).runs == 1; }));
    Finish(Vx::TID_IO_WIFI);
    EXPECT_FALSE(mExecuter->IsRunning());
}

// Releasing the executer (its view going) stops the tests it still runs,
// waiting for them, even where the view still holds their engines.
TEST_F(ExecuterTest, ReleasingTheExecuterAbortsItsRunningTests)
{
    AddTests({"TID_A", "TID_B"});
    const Table table({{"TID_A", "TID_B"}});
    ASSERT_EQ(mExecuter->Init(table.groups.data(), 1), Vx::VXR_OK);
    const Vx::RCPtr<LTestEngine> held = mExecuter->FindEngine(String("TID_A"));
    ASSERT_EQ(mExecuter->Start(), Vx::VXR_OK);
    ASSERT_TRUE(WaitFor([&] { return Of("TID_A").runs == 1 && Of("TID_B").runs == 1; }));

    mExecuter = nullptr;
    EXPECT_TRUE(Of("TID_A").abortSeen);
    EXPECT_TRUE(Of("TID_B").abortSeen);
    EXPECT_EQ(Of("TID_A").destroyed, 1);
    EXPECT_EQ(Lines(held->GetLog()).back(), "Completed TID_A: aborted");
}
} // namespace
