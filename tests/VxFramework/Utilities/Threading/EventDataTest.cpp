#include "VxFramework/Utilities/Threading/EventData.h"
#include "VxFramework/Utilities/Threading/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{
constexpr std::int32_t kTimeout = Vx::Event::WAIT_TIMEOUT;

void Pause()
{
    // Long enough for a started thread to be asleep inside its wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
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
    std::thread waiter([&] { result = event.Wait(10000); });
    Pause();
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
    std::thread a([&] { first = event.Wait(10000); });
    std::thread b([&] { second = event.Wait(10000); });
    Pause();
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
    std::thread a([&] { released += event.Wait(500) == 0; });
    std::thread b([&] { released += event.Wait(500) == 0; });
    Pause();
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(released, 1);
}

TEST(Event, DestroyingAnEventReleasesItsWaiter)
{
    auto* event = new Vx::Event(Vx::Event::kAutoReset);
    std::atomic<std::int32_t> result{-5};
    std::thread waiter([&] { result = event->Wait(Vx::Event::WAIT_FOREVER); });
    Pause();
    delete event;
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
    std::thread a([&] { zeroResult = zero->Wait(1000); });
    std::thread b([&] { oneResult = one->Wait(10000); });
    Pause();
    one->Set();
    b.join();
    a.join();
    EXPECT_EQ(oneResult, 0);
    EXPECT_EQ(zeroResult, kTimeout);
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
