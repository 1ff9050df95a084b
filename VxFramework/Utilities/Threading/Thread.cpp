#include "VxFramework/Utilities/Threading/Thread.h"

#include "VxFramework/ObjectBase/AtomicCounter.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/Utilities/DebugTracer.h"
#include "VxFramework/Utilities/Threading/EventData.h"
#include "VxFramework/Utilities/Threading/MonotonicDeadline.h"

#include <juce_core/juce_core.h>

#include <execinfo.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace Vx
{
std::uint32_t GetMilliseconds()
{
    return juce::Time::getMillisecondCounter();
}

std::int64_t GetMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + static_cast<std::int64_t>(now.tv_nsec) / 1000;
}

void Stopwatch::Start()
{
    mStartTime = GetMicroseconds();
    mRunning = true;
}

void Stopwatch::Stop()
{
    mStopTime = GetMicroseconds();
    mRunning = false;
}

std::int64_t Stopwatch::GetElapsedMicroseconds() const
{
    return (mRunning ? GetMicroseconds() : mStopTime) - mStartTime;
}

// Shared by the Thread object and its running thread, and freed by whichever
// lets go last: an owner destroyed on its own thread, or one that gave up
// waiting, must not pull the record away from the thread still running.
struct Thread::State
{
    pthread_t id{};
    std::int32_t exitValue = -2;
    StartRoutine routine = nullptr;
    void* argument = nullptr;
    AtomicCounter started;
    std::atomic<bool> joined{false};
    Mutex lock;

    AtomicCounter holders;
    std::atomic<bool> exited{false};
    // Set when the thread waited for itself: it can never be joined then, so it
    // was detached and its end is seen through `ended` instead.
    bool detached = false;
    Event ended{Event::kManualReset};

    static void Release(State* state)
    {
        if (state->holders.Decrement() == 0)
            delete state;
    }

    static void* Run(void* argument)
    {
        State* state = static_cast<State*>(argument);
        void* result = state->routine(state->argument);
        state->exited.store(true);
        state->ended.Set();
        Release(state);
        return result;
    }
};

#if defined(__SANITIZE_THREAD__)
#define VX_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VX_THREAD_SANITIZER 1
#endif
#endif

namespace
{
unsigned long ThreadIdText(pthread_t id)
{
    return static_cast<unsigned long>(id);
}

void WriteStackTrace()
{
    void* frames[64];
    const int count = backtrace(frames, 64);
    std::fputs("stack trace:", stderr);
    if (count <= 0)
    {
        std::fputs(" not available\n", stderr);
        return;
    }
    std::fprintf(stderr, " (%d frames)\n", count);
    char** symbols = backtrace_symbols(frames, count);
    if (symbols == nullptr)
        return;
    for (int i = 0; i < count; ++i)
        std::fprintf(stderr, "%s\n", symbols[i]);
    std::free(symbols);
}
} // namespace

Thread::Thread(StartRoutine routine, void* argument) : mState(new State)
{
    mState->routine = routine;
    mState->argument = argument;
    mState->holders.Increment();
}

Thread::~Thread()
{
    if (!WaitForDeath(60000))
    {
        VX_ASSERT_FALSE();
        // Still running: let it free its own resources when it ends.
        mState->lock.Lock();
        if (!mState->detached && !mState->joined.load())
        {
            pthread_detach(mState->id);
            mState->detached = true;
        }
        mState->lock.Unlock();
    }
    State::Release(mState);
}

std::int32_t Thread::SetPriority(std::int32_t)
{
    return 0;
}

bool Thread::Start()
{
    if (mState->started.Exchange(1) != 0)
        return true;
    mState->exitValue = 0;
    mState->holders.Increment();
    if (pthread_create(&mState->id, nullptr, &State::Run, mState) == 0)
        return true;

    VX_ASSERT_FALSE();
    mState->holders.Decrement();
    mState->id = pthread_t{};
    mState->exitValue = -1;
    mState->exited.store(true);
    mState->joined.store(true);
    return false;
}

bool Thread::HasExited() const
{
    return mState->started.GetValue() != 0 && mState->exited.load();
}

bool Thread::IsCurrentThread() const
{
    return mState->started.GetValue() != 0 && !mState->exited.load() && pthread_equal(mState->id, pthread_self());
}

bool Thread::WaitForDeath(std::uint32_t milliseconds)
{
    if (mState->started.GetValue() == 0)
    {
        DebugTracer::Get().Trace(1, "WaitForDeath called on Thread that never executed.");
        WriteStackTrace();
        return true;
    }
    if (mState->joined.load())
        return true;

    ScopedLock scope(mState->lock);
    if (mState->joined.load())
        return true;

    if (pthread_equal(mState->id, pthread_self()))
    {
        // The thread waits for itself (its owner is being destroyed on it).
        // A join is never tried: it would be the platform's deadlock error at
        // best and undefined at worst.  The deadlock error is reported as a
        // join reports it, once, and the thread, which nobody can join now,
        // frees itself when it ends.
        if (!mState->detached)
        {
            DebugTracer::Get().Trace(1, "Thread 0x%lx : pthread_timedjoin_np Exited with unexpected error code = %d",
                                     ThreadIdText(mState->id), EDEADLK);
            pthread_detach(mState->id);
            mState->detached = true;
        }
        return true;
    }

    if (mState->detached)
    {
        // Detached: anyone else sees the end through the end event.
        if (mState->ended.Wait(milliseconds) == 0)
        {
            mState->joined.store(true);
            return true;
        }
        if (milliseconds != 0)
            DebugTracer::Get().Trace(1, "Thread 0x%lx : pthread_timedjoin_np timed out after %u milliseconds",
                                     ThreadIdText(mState->id), milliseconds);
        return false;
    }

    void* exitValue = nullptr;
#ifdef VX_THREAD_SANITIZER
    // ThreadSanitizer's runtime does not know pthread_clockjoin_np and would
    // report every joined thread as leaked: wait for the end on the same
    // monotonic deadline, then join the thread that is ending anyway.
    int error = 0;
    if (mState->ended.Wait(milliseconds) != 0)
        error = ETIMEDOUT;
    else
        error = pthread_join(mState->id, &exitValue);
#else
    // On the monotonic clock, so that setting the system clock never stretches
    // or cuts the wait.
    const timespec deadline = MonotonicDeadline(milliseconds);

    const int error = pthread_clockjoin_np(mState->id, &exitValue, CLOCK_MONOTONIC, &deadline);
#endif
    if (error == 0)
    {
        mState->exitValue = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(exitValue));
        mState->joined.store(true);
        return true;
    }
    if (error == ETIMEDOUT)
    {
        if (milliseconds != 0)
            DebugTracer::Get().Trace(1, "Thread 0x%lx : pthread_timedjoin_np timed out after %u milliseconds",
                                     ThreadIdText(mState->id), milliseconds);
        return false;
    }
    DebugTracer::Get().Trace(1, "Thread 0x%lx : pthread_timedjoin_np Exited with unexpected error code = %d",
                             ThreadIdText(mState->id), error);
    if (error == EDEADLK)
    {
        // The thread is waiting for the caller: it cannot be joined now, so
        // it frees itself when it ends.
        pthread_detach(mState->id);
        mState->detached = true;
        return true;
    }
    mState->joined.store(true);
    return true;
}
} // namespace Vx
