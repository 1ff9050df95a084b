#include "VxFramework/ObjectBase/AtomicCounter.h"
#include "VxFramework/ObjectBase/Mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

TEST(Mutex, IsRecursiveAndReleasedAfterTheLastUnlock)
{
    Vx::Mutex mutex;
    std::atomic<bool> otherHasIt{false};
    mutex.Lock();
    mutex.Lock();
    std::thread other([&] {
        mutex.Lock();
        otherHasIt = true;
        mutex.Unlock();
    });
    mutex.Unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(otherHasIt) << "one unlock of two released the lock";
    mutex.Unlock();
    other.join();
    EXPECT_TRUE(otherHasIt);
}

TEST(Mutex, UnlockerReleasesWhenAnExceptionLeavesTheScope)
{
    Vx::Mutex mutex;
    try
    {
        mutex.Lock();
        Vx::Mutex::Unlocker unlocker(mutex);
        throw std::runtime_error("leave");
    }
    catch (const std::runtime_error&)
    {
    }
    bool taken = false;
    std::thread other([&] {
        Vx::ScopedLock lock(mutex);
        taken = true;
    });
    other.join();
    EXPECT_TRUE(taken);
}

TEST(AtomicCounter, OperationsReturnWhatTheyPromise)
{
    Vx::AtomicCounter counter;
    EXPECT_EQ(counter.GetValue(), 0);
    EXPECT_EQ(counter.Increment(), 1);
    EXPECT_EQ(counter.Decrement(), 0);
    EXPECT_EQ(counter.Add(5), 0);
    EXPECT_EQ(counter.GetValue(), 5);
    EXPECT_EQ(counter.Add(-7), 5);
    EXPECT_EQ(counter.Exchange(0), -2);
    EXPECT_EQ(counter.GetValue(), 0);
}

TEST(AtomicCounter, ExactUnderContention)
{
    Vx::AtomicCounter counter;
    Vx::AtomicCounter starts;
    constexpr int kThreads = 4;
    constexpr int kEach = 250000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
            {
                if (t % 2 == 0)
                    counter.Add(1);
                else
                    counter.Increment();
            }
            // Exactly one thread wins the exchange from 0.
            if (starts.Exchange(1) == 0)
                counter.Add(1000000000);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter.GetValue(), kThreads * kEach + 1000000000);
}
