#pragma once

// Doubles and helpers of the test-engine tests: a scripted test body the test
// steers from outside, a recorder of the callbacks and of the notifications,
// the application with its two factories installed, and an idle pump.

#include "Panel/Engine/TestAppCommon/TestEngine.h"
#include "Panel/Engine/TestAppCommon/TestFactory.h"
#include "Panel/Engine/TestAppCommon/ThreadedTest.h"
#include "VxFramework/Application/FrameworkApp.h"
#include "VxFramework/Notification/NotificationClient.h"

#include "tests/VxFramework/Application/ApplicationDoubles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace VxTest
{
using namespace std::chrono_literals;

inline int CountAssertions(const std::string& err, const std::string& file)
{
    const std::string marker = "JUCE Assertion failure in " + file + ":";
    int count = 0;
    for (std::size_t at = err.find(marker); at != std::string::npos; at = err.find(marker, at + 1))
        ++count;
    return count;
}

inline std::vector<std::string> Lines(const Vx::StringArrayT<char, unsigned short>& log)
{
    std::vector<std::string> lines;
    for (std::uint32_t i = 0; i < log.GetCount(); ++i)
        lines.emplace_back(log[i].GetCString());
    return lines;
}

// Polls until done() holds, at most limit; true when it does.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return done();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Delivers what the engines posted, as the idle tick does on the main thread,
// until done() holds; true when it does.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s)
{
    return WaitFor(
        [&] {
            Vx::LFrameworkApp::ProcessNotificationCenters(false);
            return done();
        },
        limit);
}

// A door the runs of a scripted test wait at, numbered from 1: a run passes
// once the door is open up to its number.
class Gate
{
public:
    // Lets every run through, later ones too.
    void Open() { OpenUpTo(std::numeric_limits<int>::max()); }
    // Lets the runs up to that number through.
    void OpenUpTo(int run)
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        mOpenUpTo = std::max(mOpenUpTo, run);
        mChanged.notify_all();
    }
    // True once open for the run; false when the time ran out.
    bool WaitOpen(int run, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        return mChanged.wait_for(lock, limit, [&] { return mOpenUpTo >= run; });
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    int mOpenUpTo = 0;
};

// What a scripted body does, and what the test learns of it.
struct Script
{
    std::vector<std::string> lines;
    std::atomic<std::int32_t> result{Vx::LThreadedTest::kResultSucceeded};
    // When set, the body waits at the gate after its lines.
    std::shared_ptr<Gate> gate;
    // Whether the waiting body looks at abort requests (and then returns
    // abortedResult); otherwise it waits for the gate alone.
    bool pollsAbort = true;
    std::int32_t abortedResult = Vx::LThreadedTest::kResultAborted;
    // Thrown instead of returning, when set.
    std::string throwText;

    std::atomic<int> runs{0};
    std::atomic<int> created{0};
    std::atomic<int> destroyed{0};
    std::atomic<bool> abortSeen{false};
};

class ScriptedTest : public Vx::LThreadedTest
{
public:
    explicit ScriptedTest(std::shared_ptr<Script> script) : mScript(std::move(script)) { ++mScript->created; }
    ~ScriptedTest() override { ++mScript->destroyed; }

    // The protected operations, for tests that drive them from a body.
    using LThreadedTest::IsAbortRequested;
    using LThreadedTest::Log;

protected:
    std::int32_t Run() override
    {
        const int run = ++mScript->runs;
        for (const std::string& line : mScript->lines)
            Log(String(line.c_str()));
        if (mScript->gate != nullptr)
        {
            while (!mScript->gate->WaitOpen(run, 2ms))
            {
                if (mScript->pollsAbort && IsAbortRequested())
                {
                    mScript->abortSeen = true;
                    Log(String("Test was aborted"));
                    return mScript->abortedResult;
                }
            }
        }
        if (!mScript->throwText.empty())
            throw std::runtime_error(mScript->throwText);
        return mScript->result.load();
    }

private:
    std::shared_ptr<Script> mScript;
};

// One report of a test to its callbacks, in arrival order.
struct Report
{
    std::string what;
    std::thread::id thread;
};

class RecordingCallbacks : public Vx::IThreadedTestCallbacks
{
public:
    explicit RecordingCallbacks(Vx::LThreadedTest* test = nullptr) : mTest(test) {}
    virtual ~RecordingCallbacks() = default;

    void OnTestStarted() override { Add("started"); }
    void OnTestCompleted() override { Add("completed:" + std::to_string(mTest != nullptr ? mTest->GetResult() : 0)); }
    void OnTestLog(const Vx::StringT<char, unsigned short>& text) override
    {
        Add(std::string("log:") + text.GetCString());
    }

    std::vector<Report> Reports()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return mReports;
    }
    std::vector<std::string> What()
    {
        std::vector<std::string> what;
        for (const Report& report : Reports())
            what.push_back(report.what);
        return what;
    }
    bool IsCompleted()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return !mReports.empty() && mReports.back().what.rfind("completed:", 0) == 0;
    }

    Vx::LThreadedTest* mTest;

private:
    void Add(std::string what)
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        mReports.push_back(Report{std::move(what), std::this_thread::get_id()});
    }

    std::mutex mMutex;
    std::vector<Report> mReports;
};

// One notification as a receiver saw it.
struct Received
{
    std::string id;
    std::string name;
    std::int32_t result = -100;

    bool operator==(const Received& other) const
    {
        return id == other.id && name == other.name && result == other.result;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Received& received)
{
    return out << received.id << "(" << received.name << "," << received.result << ")";
}

// Records the test notifications of a distributor (the centre, an executer).
class Recorder : public Vx::LNotificationClient
{
public:
    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        Received received{notification->GetId(), "", -100};
        const Vx::RCPtr<Vx::LRefCountedObject>& param = notification->GetParam();
        if (auto* started = dynamic_cast<Vx::LWrapper<Vx::TestStartedPayload>*>(param.Get()))
            received.name = started->name.GetCString();
        else if (auto* completed = dynamic_cast<Vx::LWrapper<Vx::TestCompletedPayload>*>(param.Get()))
        {
            received.name = completed->name.GetCString();
            received.result = completed->result;
        }
        else if (auto* log = dynamic_cast<Vx::LWrapper<Vx::TestLogChangedPayload>*>(param.Get()))
            received.name = log->name.GetCString();
        mReceived.push_back(received);
        if (mOnReceive)
            mOnReceive(received);
        return 0;
    }

    void Listen(const Vx::RCPtr<Vx::LNotificationDistributor>& distributor, const std::vector<const char*>& ids)
    {
        for (const char* id : ids)
            Register(distributor, id, 0);
    }

    std::size_t Count(const std::string& id, const std::string& name = "") const
    {
        std::size_t count = 0;
        for (const Received& received : mReceived)
        {
            if (received.id == id && (name.empty() || received.name == name))
                ++count;
        }
        return count;
    }

    std::vector<Received> mReceived;
    std::function<void(const Received&)> mOnReceive;
};

inline Vx::RCPtr<Vx::LNotificationCenter> ApplicationCenter()
{
    return Vx::LFrameworkApp::GetApplication()->GetDefaultNotificationCenter();
}

// The application with its two factories installed for the engines and
// executers, as start-up leaves them.
class EngineTestBase : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mApp = Vx::MakeRCPtr<TestApplication>(&mAppLog);
        sEngineFactory = Vx::MakeRCPtr<Vx::LTestEngineFactory>();
        sTestFactory = Vx::MakeRCPtr<Vx::LTestFactory>();
        Vx::SetTestFactoryProviders([] { return sEngineFactory; }, [] { return sTestFactory; });
        mRecorder = Vx::MakeRCPtr<Recorder>();
        mRecorder->Listen(Vx::RCPtr<Vx::LNotificationDistributor>(ApplicationCenter()),
                          {Vx::kTestStartedId, Vx::kTestCompletedId, Vx::kTestLogChangedId});
    }

    void TearDown() override
    {
        mRecorder->UnregisterAll();
        mRecorder = nullptr;
        Vx::SetTestFactoryProviders(nullptr, nullptr);
        sEngineFactory = nullptr;
        sTestFactory = nullptr;
        mApp = nullptr;
    }

    // A test id whose engine is a plain engine and whose tests follow the script.
    void AddScriptedTest(const char* testId, const std::shared_ptr<Script>& script)
    {
        const String id(testId);
        sEngineFactory->Register(id, [id] { return Vx::MakeRCPtr<Vx::LTestEngine>(id); });
        sTestFactory->Register(id, [script] { return Vx::RCPtr<Vx::LThreadedTest>(new ScriptedTest(script)); });
    }

    // The received notifications without the log-changed ones.
    std::vector<Received> Milestones() const
    {
        std::vector<Received> milestones;
        for (const Received& received : mRecorder->mReceived)
        {
            if (received.id != Vx::kTestLogChangedId)
                milestones.push_back(received);
        }
        return milestones;
    }

    static inline Vx::RCPtr<Vx::LTestEngineFactory> sEngineFactory;
    static inline Vx::RCPtr<Vx::LTestFactory> sTestFactory;

    Log mAppLog;
    Vx::RCPtr<TestApplication> mApp;
    Vx::RCPtr<Recorder> mRecorder;
};
} // namespace VxTest
