#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VxTest
{
// A hand-shake with the end of a thread the test cannot join: a detached one,
// such as a threader's thread that its owner's last release ended on.  Armed
// on that thread, the signal is set by the thread's exit, after its thread
// function has returned; Wait then also waits for the system to remove the
// thread, whose last steps (the C library's and a sanitizer's) follow the
// signal.  Once Wait succeeds the thread is gone, so the test may check what
// it left, fork, or end.
class ThreadEndSignal
{
public:
    ThreadEndSignal() : mState(std::make_shared<State>()) {}
    ThreadEndSignal(const ThreadEndSignal&) = delete;
    ThreadEndSignal& operator=(const ThreadEndSignal&) = delete;

    // On the thread to watch.
    void ArmOnThisThread() const
    {
        {
            const std::lock_guard<std::mutex> guard(mState->lock);
            mState->thread = static_cast<pid_t>(syscall(SYS_gettid));
        }
        Watchers().push_back(mState);
    }
    // For work that ended on a thread that outlives the test (its own).
    void Set() const { mState->Set(); }
    bool IsSet() const
    {
        const std::lock_guard<std::mutex> guard(mState->lock);
        return mState->set;
    }
    // False when the limit passed first.
    bool Wait(std::chrono::milliseconds limit) const
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::unique_lock<std::mutex> guard(mState->lock);
        if (!mState->changed.wait_until(guard, deadline, [this] { return mState->set; }))
            return false;
        if (mState->thread == 0)
            return true;
        // Nothing signals this last step: its window is a few system calls.
        const std::string task = "/proc/self/task/" + std::to_string(mState->thread);
        guard.unlock();
        while (access(task.c_str(), F_OK) == 0)
        {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::yield();
        }
        return true;
    }

private:
    // Shared with the watching thread, so that a set still in progress never
    // touches a signal the test has already let go.
    struct State
    {
        void Set()
        {
            const std::lock_guard<std::mutex> guard(lock);
            set = true;
            changed.notify_all();
        }

        std::mutex lock;
        std::condition_variable changed;
        bool set = false;
        // The armed thread's system id, 0 when set by the test itself.
        pid_t thread = 0;
    };

    // The signals armed on the calling thread, set when it exits.
    struct ArmedOnThread
    {
        ~ArmedOnThread()
        {
            for (const std::shared_ptr<State>& state : states)
                state->Set();
        }
        std::vector<std::shared_ptr<State>> states;
    };

    static std::vector<std::shared_ptr<State>>& Watchers()
    {
        thread_local ArmedOnThread armed;
        return armed.states;
    }

    const std::shared_ptr<State> mState;
};
} // namespace VxTest
