#include "VxFramework/Utilities/Threading/ThreadPool.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr std::uint32_t kLongWait = 10000;

// Records the order in which jobs ran.
struct Journal
{
    std::mutex lock;
    std::vector<std::string> entries;
    Vx::Event entry{Vx::Event::kAutoReset};

    void Add(const std::string& name)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            entries.push_back(name);
        }
        entry.Set();
    }
    std::vector<std::string> Get()
    {
        std::lock_guard<std::mutex> guard(lock);
        return entries;
    }
    // Waits until `count` entries are there.
    bool WaitFor(std::size_t count)
    {
        while (Get().size() < count)
            if (entry.Wait(kLongWait) != 0)
                return false;
        return true;
    }
};

class Job : public Vx::LThreadWorker
{
public:
    Job(Journal& journal, std::string name, bool held = false, Vx::TrafficLight* gone = nullptr)
        : mJournal(journal), mName(std::move(name)), mGone(gone)
    {
        if (!held)
            open.Set();
    }
    ~Job() override
    {
        if (mGone != nullptr)
            mGone->Set();
    }
    std::int32_t ThreadMain(Vx::RCPtr<Vx::LRefCountedObject>&) override
    {
        started.Set();
        open.Wait(Vx::Event::WAIT_FOREVER);
        mJournal.Add(mName);
        return 0;
    }

    Vx::TrafficLight open;
    Vx::TrafficLight started;

private:
    Journal& mJournal;
    std::string mName;
    Vx::TrafficLight* mGone;
};

Vx::RCPtr<Job> MakeJob(Journal& journal, const char* name, bool held = false)
{
    return Vx::RCPtr<Job>(new Job(journal, name, held));
}
} // namespace

TEST(LThreadPool, IdleWorkerStartsTheItemAtOnce)
{
    Journal journal;
    const auto pool = Vx::MakeRCPtr<Vx::LThreadPool>(1, 7);
    const auto job = MakeJob(journal, "direct");
    EXPECT_EQ(pool->TryStartOnIdleWorker(job, nullptr, 5), 0);
    ASSERT_TRUE(journal.WaitFor(1));
    pool->QueueWork(MakeJob(journal, "queued"), nullptr, 5);
    ASSERT_TRUE(journal.WaitFor(2));
    EXPECT_EQ(journal.Get(), (std::vector<std::string>{"direct", "queued"}));
}

TEST(LThreadPool, QueuedItemsRunByPriorityThenAge)
{
    Journal journal;
    const auto pool = Vx::MakeRCPtr<Vx::LThreadPool>(1, 7);
    const auto busy = MakeJob(journal, "busy", true);
    pool->QueueWork(busy, nullptr, 5);
    ASSERT_EQ(busy->started.Wait(kLongWait), 0);
    pool->QueueWork(MakeJob(journal, "first 5"), nullptr, 5);
    pool->QueueWork(MakeJob(journal, "7"), nullptr, 7);
    pool->QueueWork(MakeJob(journal, "second 5"), nullptr, 5);
    busy->open.Set();
    ASSERT_TRUE(journal.WaitFor(4));
    EXPECT_EQ(journal.Get(), (std::vector<std::string>{"busy", "7", "first 5", "second 5"}));
}

TEST(LThreadPool, SeveralWorkersShareTheLoad)
{
    Journal journal;
    const auto pool = Vx::MakeRCPtr<Vx::LThreadPool>(3, 7);
    std::vector<Vx::RCPtr<Job>> held;
    for (int i = 0; i < 3; ++i)
    {
        held.push_back(MakeJob(journal, "held", true));
        pool->QueueWork(held.back(), nullptr, 5);
    }
    for (const auto& job : held)
        ASSERT_EQ(job->started.Wait(kLongWait), 0) << "each item found its own idle worker";
    for (int i = 0; i < 20; ++i)
        pool->QueueWork(MakeJob(journal, "queued"), nullptr, i % 3);
    for (const auto& job : held)
        job->open.Set();
    ASSERT_TRUE(journal.WaitFor(23));
}

TEST(LThreadPool, WorkAfterShutdownIsDropped)
{
    Journal journal;
    const auto pool = Vx::MakeRCPtr<Vx::LThreadPool>(2, 7);
    pool->Shutdown();
    const auto job = MakeJob(journal, "late");
    pool->QueueWork(job, nullptr, 5);
    EXPECT_EQ(job->started.Wait(50), Vx::Event::WAIT_TIMEOUT);
    EXPECT_EQ(job->GetRefCount(), 1u) << "the pool kept nothing";
}

TEST(LThreadPool, DestroyingThePoolWaitsForTheRunningItem)
{
    Journal journal;
    auto pool = Vx::MakeRCPtr<Vx::LThreadPool>(1, 7);
    const auto job = MakeJob(journal, "running", true);
    pool->QueueWork(job, nullptr, 5);
    ASSERT_EQ(job->started.Wait(kLongWait), 0);
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        job->open.Set();
    });
    pool = nullptr;
    EXPECT_EQ(journal.Get(), std::vector<std::string>{"running"});
    opener.join();
}

namespace
{
class WatchedPool : public Vx::LThreadPool
{
public:
    WatchedPool(Vx::TrafficLight& destroyed, std::atomic<bool>& onTestThread, std::thread::id testThread)
        : LThreadPool(1, 7), mDestroyed(destroyed), mOnTestThread(onTestThread), mTestThread(testThread)
    {
    }
    ~WatchedPool() override
    {
        mOnTestThread = std::this_thread::get_id() == mTestThread;
        mDestroyed.Set();
    }

private:
    Vx::TrafficLight& mDestroyed;
    std::atomic<bool>& mOnTestThread;
    std::thread::id mTestThread;
};
} // namespace

// The dispatcher holds the pool while items wait; when the owner lets go
// first, the pool ends on the dispatcher's own thread.
TEST(LThreadPool, PoolReleasedLastByItsDispatcherEndsSafely)
{
    Journal journal;
    Vx::TrafficLight destroyed;
    Vx::TrafficLight queuedGone;
    std::atomic<bool> onTestThread{true};
    const auto busy = MakeJob(journal, "busy", true);
    {
        VxTest::CaptureStderr capture;
        {
            Vx::RCPtr<Vx::LThreadPool> pool(new WatchedPool(destroyed, onTestThread, std::this_thread::get_id()));
            pool->QueueWork(busy, nullptr, 5);
            ASSERT_EQ(busy->started.Wait(kLongWait), 0);
            // Starts the dispatcher, which now holds the pool.
            pool->QueueWork(Vx::RCPtr<Job>(new Job(journal, "queued", false, &queuedGone)), nullptr, 5);
        }
        busy->open.Set();
        ASSERT_EQ(destroyed.Wait(kLongWait), 0);
        // The shutdown lets go of the queued job, run or not, before the pool
        // is gone; after that nothing touches the journal.
        ASSERT_EQ(queuedGone.Wait(kLongWait), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const std::string text = capture.Finish();
        EXPECT_EQ(text.find("JUCE Assertion failure"), std::string::npos) << text;
    }
    EXPECT_FALSE(onTestThread);
    // The queued item ran, unless the shutdown came before its worker woke.
    EXPECT_EQ(journal.Get().front(), "busy");
}

TEST(LThreadPool, NullWorkerIsRefused)
{
    const auto pool = Vx::MakeRCPtr<Vx::LThreadPool>(1, 7);
    VxTest::CaptureStderr capture;
    pool->QueueWork(nullptr, nullptr, 5);
    EXPECT_EQ(pool->TryStartOnIdleWorker(nullptr, nullptr, 5), -1);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in ThreadPool.cpp:"), std::string::npos);
    Journal journal;
    pool->QueueWork(MakeJob(journal, "after"), nullptr, 5);
    EXPECT_TRUE(journal.WaitFor(1));
}
