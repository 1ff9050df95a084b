#pragma once

#include <cstdint>

namespace Vx
{
// Priority levels.  They order the thread pool's queue and otherwise have no
// effect: framework threads run at the platform's default scheduling.
inline constexpr std::int32_t kThreadPriorityHighest = 10;
inline constexpr std::int32_t kThreadPriorityHigher = 7;
inline constexpr std::int32_t kThreadPriorityHigh = 6;
inline constexpr std::int32_t kThreadPriorityNormal = 5;
inline constexpr std::int32_t kThreadPriorityLow = 3;
inline constexpr std::int32_t kThreadPriorityLower = 2;
inline constexpr std::int32_t kThreadPriorityIdle = 0;

// JUCE's millisecond counter.
std::uint32_t GetMilliseconds();
// The monotonic clock in microseconds.
std::int64_t GetMicroseconds();

// Measures intervals on the monotonic clock.
class Stopwatch
{
public:
    Stopwatch() = default;

    void Start();
    void Stop();
    // Up to now while running, else up to the stop.
    std::int64_t GetElapsedMicroseconds() const;

private:
    std::int64_t mStartTime = 0;
    std::int64_t mStopTime = 0;
    bool mRunning = false;
};

// A plain platform thread with a bounded wait for its end.
class Thread
{
public:
    using StartRoutine = void* (*)(void*);

    Thread(StartRoutine routine, void* argument);
    // Waits up to 60000 ms for the end.
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    std::int32_t SetPriority(std::int32_t priority);
    // Starts the thread once; later calls return true and do nothing.
    bool Start();
    // True once the thread function has returned.
    bool HasExited() const;
    // True when the thread has ended and been joined, or cannot be waited for.
    bool WaitForDeath(std::uint32_t milliseconds);
    // Whether the caller runs on this thread.
    bool IsCurrentThread() const;

private:
    struct State;
    State* mState;
};
} // namespace Vx
