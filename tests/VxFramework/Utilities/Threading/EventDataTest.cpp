#include "VxFramework/Utilities/Threading/EventData.h"
#include "VxFramework/Utilities/Threading/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace
{
constexpr std::int32_t kTimeout = Vx::Event::WAIT_TIMEOUT;
constexpr std::uint32_t kLongWait = 10000;

// Hand-shakes instead of pauses: true once the condition holds, false after
// the long wait.
bool Eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongWait);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// True once `count` threads are inside the event's Wait.
template <class E>
bool WaitersArrive(const E& event, std::int32_t count)
{
    return Eventually([&] { return event.GetWaiterCount() == count; });
}
} // namespace

TEST(Event, WaitSemantics)
{
    struct Case
    {
        const char* name;
        std::int32_t mode;
        bool setFirst;
        std::int32_t firstWait;
        std::int32_t secondWait; // tells whether the wait left the event set
    };
    const Case cases[] = {
        {"auto, not set", Vx::Event::kAutoReset, false, kTimeout, kTimeout},
        {"auto, set", Vx::Event::kAutoReset, true, 0, kTimeout},
        {"manual, not set", Vx::Event::kManualReset, false, kTimeout, kTimeout},
        {"manual, set", Vx::Event::kManualReset, true, 0, 0},
    };
    for (const Case& c : cases)
    {
        Vx::Event event(c.mode);
        if (c.setFirst)
        {
            EXPECT_EQ(event.Set(), 1) << c.name;
        }
        EXPECT_EQ(event.Wait(0), c.firstWait) << c.name;
        EXPECT_EQ(event.Wait(0), c.secondWait) << c.name;
    }
}

TEST(Event, ResetClearsAManualEvent)
{
    Vx::Event event(Vx::Event::kManualReset);
    event.Set();
    EXPECT_EQ(event.Reset(), 1);
    EXPECT_EQ(event.Wait(0), kTimeout);
}

TEST(Event, TimeOutIsMeasuredOnTheMonotonicClock)
{
    Vx::Event event(Vx::Event::kAutoReset);
    Vx::Stopwatch stopwatch;
    stopwatch.Start();
    EXPECT_EQ(event.Wait(100), kTimeout);
    stopwatch.Stop();
    // Never early; late only by scheduling, with a generous bound.
    EXPECT_GE(stopwatch.GetElapsedMicroseconds(), 100000);
    EXPECT_LT(stopwatch.GetElapsedMicroseconds(), 10000000);
}

TEST(Event, SetWakesAThreadThatWaits)
{
    Vx::Event event(Vx::Event::kAutoReset);
    std::atomic<std::int32_t> result{-5};
    std::thread waiter([&] { result = event.Wait(kLongWait); });
    EXPECT_TRUE(WaitersArrive(event, 1));
    event.Set();
    waiter.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(event.Wait(0), kTimeout) << "the released waiter resets an auto event";
}

TEST(Event, OneSetOfAManualEventReleasesEveryWaiter)
{
    Vx::Event event(Vx::Event::kManualReset);
    std::atomic<std::int32_t> first{-5};
    std::atomic<std::int32_t> second{-5};
    std::thread a([&] { first = event.Wait(kLongWait); });
    std::thread b([&] { second = event.Wait(kLongWait); });
    EXPECT_TRUE(WaitersArrive(event, 2));
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
}

TEST(Event, OneSetOfAnAutoEventReleasesOneWaiter)
{
    Vx::Event event(Vx::Event::kAutoReset);
    std::atomic<int> released{0};
    auto wait = [&] { released += event.Wait(kLongWait) == 0; };
    std::thread a(wait);
    std::thread b(wait);
    EXPECT_TRUE(WaitersArrive(event, 2));
    event.Set();
    EXPECT_TRUE(Eventually([&] { return released == 1; }));
    // The one set was used up: the other thread still waits, and so would a
    // third.
    EXPECT_EQ(event.GetWaiterCount(), 1);
    EXPECT_EQ(event.Wait(0), kTimeout);
    EXPECT_EQ(released, 1);
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(released, 2);
}

// The waiter is inside Wait when the event goes: the destructor lets it out
// before the data goes, and nothing touches freed memory.
TEST(Event, DestroyingAnEventReleasesItsWaiter)
{
    auto* event = new Vx::Event(Vx::Event::kAutoReset);
    std::atomic<std::int32_t> result{-5};
    std::thread waiter([&] { result = event->Wait(Vx::Event::WAIT_FOREVER); });
    if (!WaitersArrive(*event, 1))
    {
        ADD_FAILURE() << "the waiter never started to wait";
        event->Set();
        waiter.join();
    }
    delete event;
    if (waiter.joinable())
        waiter.join();
    EXPECT_EQ(result, 0);
}

TEST(LEvent, SharedBitsWakeTheRightWaiter)
{
    // Two events on one flag word: setting one must reach its own waiter even
    // though a waiter of the other bit sleeps on the same condition.
    const Vx::RCPtr<Vx::LEventData> data(new Vx::LEventData);
    const Vx::RCPtr<Vx::LEvent> zero(new Vx::LEvent(data, 0));
    const Vx::RCPtr<Vx::LEvent> one(new Vx::LEvent(data, 1));
    std::atomic<std::int32_t> zeroResult{-5};
    std::atomic<std::int32_t> oneResult{-5};
    std::thread a([&] { zeroResult = zero->Wait(kLongWait); });
    std::thread b([&] { oneResult = one->Wait(kLongWait); });
    EXPECT_TRUE(WaitersArrive(*zero, 1));
    EXPECT_TRUE(WaitersArrive(*one, 1));
    one->Set();
    b.join();
    EXPECT_EQ(oneResult, 0);
    EXPECT_EQ(zero->GetWaiterCount(), 1) << "the other bit's waiter still waits";
    EXPECT_EQ(zeroResult, -5);
    zero->Set();
    a.join();
    EXPECT_EQ(zeroResult, 0);
}

TEST(LEvent, BitIndexBeyond63HasNoBits)
{
    const Vx::RCPtr<Vx::LEventData> data(new Vx::LEventData);
    Vx::LEvent event(data, 64);
    EXPECT_EQ(event.Set(), 0);
    EXPECT_EQ(event.Reset(), 0);
    EXPECT_EQ(event.Wait(Vx::Event::WAIT_FOREVER), -1);
}

TEST(LEvent, ManualAndAutoConstruction)
{
    Vx::LEvent manual(false);
    manual.Set();
    EXPECT_EQ(manual.Wait(0), 0);
    EXPECT_EQ(manual.Wait(0), 0);
    Vx::LEvent automatic(true);
    automatic.Set();
    EXPECT_EQ(automatic.Wait(0), 0);
    EXPECT_EQ(automatic.Wait(0), kTimeout);
}

TEST(LEventData, AnyModeTakesTheLowestSetBit)
{
    Vx::LEventData data;
    data.SetBits(0b10100);
    EXPECT_EQ(data.WaitBits(0b11100, Vx::LEventData::kAny, 0), 2);
    EXPECT_EQ(data.WaitBits(0b11100, Vx::LEventData::kAny, 0), 4);
    EXPECT_EQ(data.WaitBits(0b11100, Vx::LEventData::kAny, 0), kTimeout);
    EXPECT_EQ(data.WaitBits(0, Vx::LEventData::kAny, 0), -1);
    EXPECT_EQ(data.SetBits(0), 0);
}

TEST(TrafficLight, IsSetFollowsSetAndReset)
{
    Vx::TrafficLight light;
    EXPECT_FALSE(light.IsSet());
    light.Set();
    EXPECT_TRUE(light.IsSet());
    EXPECT_TRUE(light.IsSet()) << "a traffic light stays green";
    light.Reset();
    EXPECT_FALSE(light.IsSet());
}
