#include "VxFramework/Utilities/Threading/EventData.h"
#include "VxFramework/Utilities/Threading/Thread.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace
{
const char* const kAssertion = "JUCE Assertion failure";

// Holds its thread until released.
struct Gate
{
    Vx::TrafficLight open;
    std::atomic<int> runs{0};
};

void* WaitAtGate(void* argument)
{
    auto* gate = static_cast<Gate*>(argument);
    ++gate->runs;
    gate->open.Wait(Vx::Event::WAIT_FOREVER);
    return nullptr;
}
} // namespace

TEST(Stopwatch, MeasuresBetweenStartAndStop)
{
    Vx::Stopwatch never;
    EXPECT_EQ(never.GetElapsedMicroseconds(), 0);

    Vx::Stopwatch stopwatch;
    stopwatch.Start();
    EXPECT_GE(stopwatch.GetElapsedMicroseconds(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    stopwatch.Stop();
    const std::int64_t elapsed = stopwatch.GetElapsedMicroseconds();
    EXPECT_GE(elapsed, 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(stopwatch.GetElapsedMicroseconds(), elapsed) << "a stopped watch stands still";
}

TEST(Thread, StartTwiceRunsOneThread)
{
    Gate gate;
    Vx::Thread thread(&WaitAtGate, &gate);
    EXPECT_FALSE(thread.HasExited());
    EXPECT_TRUE(thread.Start());
    EXPECT_TRUE(thread.Start());
    gate.open.Set();
    EXPECT_TRUE(thread.WaitForDeath(10000));
    EXPECT_TRUE(thread.HasExited());
    EXPECT_EQ(gate.runs, 1);
}

TEST(Thread, ZeroWaitOnARunningThreadFailsQuietly)
{
    Gate gate;
    Vx::Thread thread(&WaitAtGate, &gate);
    thread.Start();
    VxTest::CaptureStderr capture;
    EXPECT_FALSE(thread.WaitForDeath(0));
    EXPECT_FALSE(thread.HasExited());
    EXPECT_EQ(capture.Finish(), "");
    gate.open.Set();
    EXPECT_TRUE(thread.WaitForDeath(10000));
    EXPECT_TRUE(thread.WaitForDeath(0)) << "a joined thread stays joined";
}

TEST(Thread, TimedOutWaitIsTraced)
{
    Gate gate;
    Vx::Thread thread(&WaitAtGate, &gate);
    thread.Start();
    VxTest::CaptureStderr capture;
    EXPECT_FALSE(thread.WaitForDeath(20));
    const std::string text = capture.Finish();
    EXPECT_NE(text.find("Thread 0x"), std::string::npos) << text;
    EXPECT_NE(text.find(" : pthread_timedjoin_np timed out after 20 milliseconds\n"), std::string::npos) << text;
    gate.open.Set();
    EXPECT_TRUE(thread.WaitForDeath(10000));
}

TEST(Thread, NeverStartedThreadTracesAStackAndNoAssertion)
{
    VxTest::CaptureStderr capture;
    {
        Vx::Thread thread(&WaitAtGate, nullptr);
    }
    const std::string text = capture.Finish();
    EXPECT_EQ(text.rfind("WaitForDeath called on Thread that never executed.\nstack trace:", 0), 0u) << text;
    EXPECT_EQ(text.find(kAssertion), std::string::npos) << text;
}

namespace
{
struct SelfWait
{
    Vx::Thread* thread = nullptr;
    Vx::TrafficLight waited;
    Vx::TrafficLight release;
    std::atomic<bool> result{false};
};

void* WaitForItself(void* argument)
{
    auto* self = static_cast<SelfWait*>(argument);
    // Twice, as a threader's Kill and then its thread's destructor do.
    self->result = self->thread->WaitForDeath(60000) && self->thread->WaitForDeath(60000);
    self->waited.Set();
    self->release.Wait(Vx::Event::WAIT_FOREVER);
    return nullptr;
}
} // namespace

// A thread that waits for its own end (its owner destroyed on it) gets the
// deadlock error at once; it cannot be joined any more, so others still see
// its real end instead of a join that never happened.
TEST(Thread, WaitingForItselfReturnsAtOnceAndOthersStillWaitForTheEnd)
{
    SelfWait self;
    Vx::Thread thread(&WaitForItself, &self);
    self.thread = &thread;
    VxTest::CaptureStderr capture;
    thread.Start();
    ASSERT_EQ(self.waited.Wait(10000), 0);
    EXPECT_TRUE(self.result);
    const std::string text = capture.Finish();
    const std::string line = " : pthread_timedjoin_np Exited with unexpected error code = " + std::to_string(EDEADLK);
    const std::size_t first = text.find(line);
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find(line, first + 1), std::string::npos) << "traced once: " << text;

    EXPECT_FALSE(thread.WaitForDeath(0)) << "the thread is still running";
    EXPECT_FALSE(thread.HasExited());
    self.release.Set();
    EXPECT_TRUE(thread.WaitForDeath(10000));
    EXPECT_TRUE(thread.HasExited());
}

TEST(Thread, SetPriorityDoesNothing)
{
    Vx::Thread thread(&WaitAtGate, nullptr);
    EXPECT_EQ(thread.SetPriority(Vx::kThreadPriorityHighest), 0);
    VxTest::CaptureStderr capture; // the never-started trace of the destructor
}
