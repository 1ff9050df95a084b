#include "VxFramework/Utilities/Threading/Threader.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/ThreadEnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace
{
using Text = Vx::StringT<char, unsigned short>;
constexpr std::uint32_t kLongWait = 10000;

// A job that can be held at its start and reports its end.
class GateWorker : public Vx::LThreadWorker
{
public:
    explicit GateWorker(std::string name = "gate worker") : mName(std::move(name)) {}

    std::int32_t ThreadMain(Vx::RCPtr<Vx::LRefCountedObject>& parameter) override
    {
        started.Set();
        open.Wait(Vx::Event::WAIT_FOREVER);
        sawParameter = parameter.Get();
        ++runs;
        finished.Set();
        return 42;
    }
    Text ToString() const override { return Text(mName.c_str()); }

    Vx::TrafficLight open;
    Vx::TrafficLight started;
    Vx::Event finished{Vx::Event::kAutoReset};
    std::atomic<int> runs{0};
    std::atomic<Vx::LRefCountedObject*> sawParameter{nullptr};

private:
    std::string mName;
};

class Parameter : public virtual Vx::LRefCountedObject
{
};
} // namespace

TEST(RetriggerableThreader, RefusesATriggerWhileBusy)
{
    Vx::RetriggerableThreader threader("busy");
    const auto worker = Vx::MakeRCPtr<GateWorker>();
    const Vx::RCPtr<Vx::LRefCountedObject> parameter(new Parameter);
    ASSERT_EQ(threader.Trigger(worker, parameter, Vx::kThreadPriorityNormal), Vx::VXR_OK);
    EXPECT_TRUE(threader.IsRunning());
    EXPECT_EQ(threader.Trigger(worker, nullptr, Vx::kThreadPriorityNormal), Vx::VXR_E_FAIL);

    worker->open.Set();
    ASSERT_EQ(worker->finished.Wait(kLongWait), 0);
    while (threader.IsRunning())
        std::this_thread::yield();
    EXPECT_EQ(worker->sawParameter.load(), parameter.Get()) << "the refused trigger changed nothing";
    EXPECT_EQ(threader.GetLastResult(), 42);
    EXPECT_EQ(threader.Trigger(worker, nullptr, Vx::kThreadPriorityNormal), Vx::VXR_OK);
    ASSERT_EQ(worker->finished.Wait(kLongWait), 0);
    EXPECT_EQ(worker->runs, 2);
}

TEST(RetriggerableThreader, CompletionEventIsSetWhenTheJobHasFinished)
{
    Vx::RetriggerableThreader threader("completion");
    const auto worker = Vx::MakeRCPtr<GateWorker>();
    const Vx::RCPtr<Vx::LEvent> done(new Vx::LEvent(false));
    done->Set(); // reset by the trigger
    worker->open.Set();
    ASSERT_EQ(threader.TriggerWithEvent(worker, nullptr, done, Vx::kThreadPriorityNormal), Vx::VXR_OK);
    ASSERT_EQ(done->Wait(kLongWait), 0);
    EXPECT_EQ(worker->runs, 1);
    EXPECT_FALSE(threader.IsRunning()) << "busy is cleared before the event is set";
    EXPECT_EQ(worker->GetRefCount(), 1u) << "the threader let go of the worker";
}

TEST(RetriggerableThreader, KillWaitsForTheRunningJob)
{
    Vx::RetriggerableThreader threader("kill");
    const auto worker = Vx::MakeRCPtr<GateWorker>();
    ASSERT_EQ(threader.Trigger(worker, nullptr, Vx::kThreadPriorityNormal), Vx::VXR_OK);
    ASSERT_EQ(worker->started.Wait(kLongWait), 0);
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        worker->open.Set();
    });
    EXPECT_TRUE(threader.Kill());
    EXPECT_EQ(worker->runs, 1);
    opener.join();
    EXPECT_EQ(threader.Trigger(worker, nullptr, Vx::kThreadPriorityNormal), Vx::VXR_E_FAIL);
    EXPECT_FALSE(threader.IsRunning());
}

namespace
{
// Runs twelve jobs and ends the process: 0 when exactly the first eleven were
// traced, each entered and completed, else 1 with both texts.
[[noreturn]] void RunTwelveJobsAndCheckTheTrace()
{
    std::string expected;
    for (int job = 0; job < 11; ++job)
    {
        const std::string name = "job " + std::to_string(job);
        expected += "Entering: " + name + "\nCompleted: " + name + "\n";
    }
    std::string text;
    bool ran = true;
    {
        Vx::RetriggerableThreader threader("traced");
        VxTest::CaptureStderr capture;
        for (int job = 0; job < 12 && ran; ++job)
        {
            const auto worker = Vx::MakeRCPtr<GateWorker>("job " + std::to_string(job));
            worker->open.Set();
            const Vx::RCPtr<Vx::LEvent> done(new Vx::LEvent(false));
            ran = threader.TriggerWithEvent(worker, nullptr, done, Vx::kThreadPriorityNormal) == Vx::VXR_OK &&
                  done->Wait(kLongWait) == 0;
        }
        text = capture.Finish();
    }
    if (!ran || text != expected)
    {
        std::fprintf(stderr, "all jobs ran: %d\ntraced:\n%s\nexpected:\n%s", ran ? 1 : 0, text.c_str(),
                     expected.c_str());
        std::fflush(stderr);
        std::_Exit(1);
    }
    std::_Exit(0);
}
} // namespace

// The count of traced jobs is the process's own, so the check runs in a fresh
// process: earlier tests' jobs would otherwise have used it up, and an empty
// trace would pass.
TEST(RetriggerableThreader, OnlyTheFirstElevenJobsOfTheProcessAreTraced)
{
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunTwelveJobsAndCheckTheTrace(), ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

TEST(RetriggerableThreader, MissingWorkerIsReportedAndTheThreaderStaysUsable)
{
    Vx::RetriggerableThreader threader("empty");
    const Vx::RCPtr<Vx::LEvent> done(new Vx::LEvent(false));
    std::string text;
    {
        VxTest::CaptureStderr capture;
        ASSERT_EQ(threader.TriggerWithEvent(nullptr, nullptr, done, Vx::kThreadPriorityNormal), Vx::VXR_OK);
        ASSERT_EQ(done->Wait(kLongWait), 0);
        text = capture.Finish();
    }
    EXPECT_NE(text.find("RetriggerableThreader (empty) Missing mThreadWorkerRCPtr!!!!\n"), std::string::npos) << text;
    EXPECT_NE(text.find("JUCE Assertion failure in Threader.cpp:"), std::string::npos)
        << text;
    const auto worker = Vx::MakeRCPtr<GateWorker>();
    worker->open.Set();
    EXPECT_EQ(threader.TriggerWithEvent(worker, nullptr, done, Vx::kThreadPriorityNormal), Vx::VXR_OK);
    EXPECT_EQ(done->Wait(kLongWait), 0);
}

namespace
{
// A test-like owner: it holds its own threader and is that threader's worker,
// so the job's end may drop the owner's last reference on the threader's
// own thread.
class SelfOwningJob : public Vx::LThreadWorker
{
public:
    SelfOwningJob(Vx::TrafficLight& destroyed, std::atomic<bool>& onOwnThread,
                  const VxTest::ThreadEndSignal& threadEnded)
        : mDestroyed(destroyed), mOnOwnThread(onOwnThread), mThreadEnded(threadEnded), mThreader("self owning")
    {
    }
    ~SelfOwningJob() override
    {
        mOnOwnThread = std::this_thread::get_id() == mJobThread;
        mDestroyed.Set();
    }

    std::int32_t ThreadMain(Vx::RCPtr<Vx::LRefCountedObject>&) override
    {
        mJobThread = std::this_thread::get_id();
        mThreadEnded.ArmOnThisThread();
        release.Wait(Vx::Event::WAIT_FOREVER);
        return 0;
    }

    Vx::VxRESULT Start() { return mThreader.Trigger(Vx::RCPtr<Vx::LThreadWorker>(this), nullptr, 5); }

    Vx::TrafficLight release;

private:
    Vx::TrafficLight& mDestroyed;
    std::atomic<bool>& mOnOwnThread;
    const VxTest::ThreadEndSignal& mThreadEnded;
    std::thread::id mJobThread;
    Vx::RetriggerableThreader mThreader;
};
} // namespace

TEST(RetriggerableThreader, OwnerReleasedLastOnItsOwnThreadIsDestroyedSafely)
{
    Vx::TrafficLight destroyed;
    std::atomic<bool> onOwnThread{false};
    const VxTest::ThreadEndSignal threadEnded;
    {
        VxTest::CaptureStderr capture;
        Vx::RCPtr<SelfOwningJob> job(new SelfOwningJob(destroyed, onOwnThread, threadEnded));
        ASSERT_EQ(job->Start(), Vx::VXR_OK);
        SelfOwningJob* raw = job.Get();
        job = nullptr; // the running job now holds the last reference
        raw->release.Set();
        ASSERT_EQ(destroyed.Wait(kLongWait), 0);
        // The detached thread leaves while the sanitizers watch: a touch of
        // the freed threader on its way out would be reported.
        ASSERT_TRUE(threadEnded.Wait(std::chrono::milliseconds(kLongWait)));
        const std::string text = capture.Finish();
        EXPECT_EQ(text.find("JUCE Assertion failure"), std::string::npos) << text;
    }
    EXPECT_TRUE(onOwnThread);
}

namespace
{
class CountingWorker : public Vx::LThreadWorker
{
public:
    std::int32_t ThreadMain(Vx::RCPtr<Vx::LRefCountedObject>&) override
    {
        if (++runs == 1)
            open.Wait(Vx::Event::WAIT_FOREVER);
        ran.Set();
        return 0;
    }

    std::atomic<int> runs{0};
    Vx::TrafficLight open;
    Vx::Event ran{Vx::Event::kAutoReset};
};
} // namespace

TEST(LEventGatedThreader, SetsDuringARunCauseExactlyOneMoreRun)
{
    const Vx::RCPtr<Vx::LEvent> gate(new Vx::LEvent(true));
    const auto worker = Vx::MakeRCPtr<CountingWorker>();
    const auto threader = Vx::MakeRCPtr<Vx::LEventGatedThreader>(gate, worker, nullptr, 5);
    gate->Set();
    while (worker->runs == 0)
        std::this_thread::yield();
    gate->Set();
    gate->Set();
    gate->Set();
    worker->open.Set();
    while (worker->runs < 2)
        ASSERT_EQ(worker->ran.Wait(kLongWait), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(worker->runs, 2);
    threader->Kill();
    EXPECT_EQ(worker->GetRefCount(), 1u) << "Kill releases the worker";
}

namespace
{
// Like a transport that delivers on a gated thread: the owner is the
// thread's parameter, a reference it holds on itself, so a run's end may drop
// the owner's last reference on the threader's own thread.
class GatedOwner : public virtual Vx::LRefCountedObject
{
public:
    GatedOwner(Vx::TrafficLight& destroyed, std::atomic<bool>& onOwnThread, const VxTest::ThreadEndSignal& threadEnded)
        : worker(new Worker(threadEnded)), mDestroyed(destroyed), mOnOwnThread(onOwnThread)
    {
        {
            const Vx::RCPtr<Vx::LRefCountedObject> self(this);
            mThreader = Vx::MakeRCPtr<Vx::LEventGatedThreader>(gate, worker, self, 5);
        }
        AdjustContainedRefCount(1);
    }
    ~GatedOwner() override
    {
        mOnOwnThread = std::this_thread::get_id() == worker->thread.load();
        mDestroyed.Set();
    }

    Vx::VxRESULT RemoveContainedReferences() override
    {
        Vx::RCPtr<Vx::LEventGatedThreader> threader = std::move(mThreader);
        if (threader != nullptr)
        {
            AdjustContainedRefCount(-1);
            threader = nullptr;
        }
        return LRefCountedObject::RemoveContainedReferences();
    }

    class Worker : public Vx::LThreadWorker
    {
    public:
        explicit Worker(const VxTest::ThreadEndSignal& threadEnded) : mThreadEnded(threadEnded) {}

        std::int32_t ThreadMain(Vx::RCPtr<Vx::LRefCountedObject>&) override
        {
            thread = std::this_thread::get_id();
            mThreadEnded.ArmOnThisThread();
            started.Set();
            release.Wait(Vx::Event::WAIT_FOREVER);
            return 0;
        }

        std::atomic<std::thread::id> thread;
        Vx::TrafficLight started;
        Vx::TrafficLight release;

    private:
        const VxTest::ThreadEndSignal& mThreadEnded;
    };

    const Vx::RCPtr<Vx::LEvent> gate{new Vx::LEvent(true)};
    const Vx::RCPtr<Worker> worker;

private:
    Vx::TrafficLight& mDestroyed;
    std::atomic<bool>& mOnOwnThread;
    Vx::RCPtr<Vx::LEventGatedThreader> mThreader;
};
} // namespace

TEST(LEventGatedThreader, OwnerReleasedLastOnItsOwnThreadIsDestroyedSafely)
{
    Vx::TrafficLight destroyed;
    std::atomic<bool> onOwnThread{false};
    const VxTest::ThreadEndSignal threadEnded;
    {
        VxTest::CaptureStderr capture;
        Vx::RCPtr<GatedOwner> owner(new GatedOwner(destroyed, onOwnThread, threadEnded));
        const Vx::RCPtr<GatedOwner::Worker> worker = owner->worker;
        owner->gate->Set();
        ASSERT_EQ(worker->started.Wait(kLongWait), 0);
        owner = nullptr; // the running job's parameter now holds the last reference
        worker->release.Set();
        ASSERT_EQ(destroyed.Wait(kLongWait), 0);
        // The detached thread leaves while the sanitizers watch: a touch of
        // the freed threader on its way out would be reported.
        ASSERT_TRUE(threadEnded.Wait(std::chrono::milliseconds(kLongWait)));
        const std::string text = capture.Finish();
        EXPECT_EQ(text.find("JUCE Assertion failure"), std::string::npos) << text;
    }
    EXPECT_TRUE(onOwnThread);
}
