#include "VxFramework/Utilities/Threading/EventPool.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

TEST(EventPool, WaitForAnyTakesTheLowestSetEvent)
{
    Vx::EventPool pool(3);
    EXPECT_EQ(pool.GetCount(), 3u);
    pool.GetEvent(2)->Set();
    pool.GetEvent(0)->Set();
    EXPECT_EQ(pool.WaitForAny(0), 0);
    EXPECT_EQ(pool.WaitForAny(0), 2);
    EXPECT_EQ(pool.WaitForAny(0), Vx::Event::WAIT_TIMEOUT);
}

TEST(EventPool, WaitForAnyWakesWhenAWorkerSetsItsEvent)
{
    Vx::EventPool pool(4);
    std::atomic<std::int32_t> result{-5};
    std::thread waiter([&] { result = pool.WaitForAny(10000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pool.GetEvent(3)->Set();
    waiter.join();
    EXPECT_EQ(result, 3);
}

// The thread pool's dispatcher takes a wait's result as a worker index: a
// time-out must name no event, even in a pool larger than its value.
TEST(EventPool, OnlyASetEventIsNamedByAWait)
{
    Vx::EventPool pool(300);
    const std::int32_t timedOut = pool.WaitForAny(0);
    EXPECT_EQ(timedOut, Vx::Event::WAIT_TIMEOUT);
    EXPECT_EQ(pool.EventIndex(timedOut), -1);
    pool.GetEvent(63)->Set();
    EXPECT_EQ(pool.EventIndex(pool.WaitForAny(0)), 63);

    struct Case
    {
        unsigned int count;
        std::int32_t result;
        std::int32_t index;
    };
    const Case cases[] = {
        {3, 0, 0},     {3, 2, 2},      {3, 3, -1},  {3, -1, -1}, {3, Vx::Event::WAIT_TIMEOUT, -1},
        {300, 64, -1}, {300, 299, -1}, {0, -1, -1}, {0, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Vx::EventPool(c.count).EventIndex(c.result), c.index) << c.count << " " << c.result;
}

TEST(EventPool, PooledEventWaitsForItsOwnBitAlone)
{
    Vx::EventPool pool(2);
    pool.GetEvent(1)->Set();
    EXPECT_EQ(pool.GetEvent(0)->Wait(0), Vx::Event::WAIT_TIMEOUT);
    EXPECT_EQ(pool.GetEvent(1)->Wait(0), 0);
    EXPECT_EQ(pool.WaitForAny(0), Vx::Event::WAIT_TIMEOUT) << "the event's own wait reset it";
}

TEST(EventPool, EmptyPoolAndIndicesBeyondIt)
{
    Vx::EventPool empty(0);
    EXPECT_EQ(empty.WaitForAny(Vx::Event::WAIT_FOREVER), -1);

    Vx::EventPool pool(2);
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(pool.GetEvent(2).IsNull());
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in EventPool.cpp:"),
              std::string::npos);
}

TEST(EventPool, EventsFrom64OnHaveNoBits)
{
    Vx::EventPool pool(65);
    EXPECT_EQ(pool.GetEvent(64)->Set(), 0);
    EXPECT_EQ(pool.GetEvent(63)->Set(), 1);
    EXPECT_EQ(pool.WaitForAny(0), 63);
}
