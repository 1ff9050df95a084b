#include "VxFramework/Utilities/Storage/FastLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

TEST(FastLock, ExcludesUnderContention)
{
    Vx::FastLock lock;
    long counter = 0; // plain on purpose: the lock alone orders the accesses
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50000; ++i)
            {
                lock.Lock();
                ++counter;
                lock.Unlock();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 200000);
}

TEST(FastLock, WaiterProceedsWhenTheHolderUnlocks)
{
    Vx::FastLock lock;
    std::atomic<bool> taken{false};
    lock.Lock();
    std::thread other([&] {
        lock.Lock();
        taken = true;
        lock.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(taken);
    lock.Unlock();
    other.join();
    EXPECT_TRUE(taken);
    // Free again, also after the contended round left its event set.
    lock.Lock();
    lock.Unlock();
}
