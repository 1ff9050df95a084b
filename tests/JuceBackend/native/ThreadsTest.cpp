#include "JuceBackend/native/juce_linux_Threads.h"

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
// What the scheduler reports for a kernel thread.
struct Scheduling
{
    int policy = -1;
    int realtimePriority = -1;
    int nice = 99;
};

Scheduling ReadScheduling(int kernelThreadId)
{
    Scheduling read;
    sched_param parameters{};
    read.policy = sched_getscheduler(kernelThreadId);
    if (sched_getparam(kernelThreadId, &parameters) == 0)
        read.realtimePriority = parameters.sched_priority;
    errno = 0;
    read.nice = getpriority(PRIO_PROCESS, static_cast<id_t>(kernelThreadId));
    return read;
}

// Runs until asked to stop, counting its rounds, so that a test can see it still runs.
class CountingThread : public juce::PriorityThread
{
public:
    CountingThread() : PriorityThread("Priority Test") {}
    ~CountingThread() override { stopThread(2000); }

    // The kernel id, once the thread has applied its priority.
    int WaitUntilRunning()
    {
        started.wait(5000);
        return getKernelThreadId();
    }

    bool KeepsRunning()
    {
        const int before = rounds.load();
        for (int i = 0; i < 500 && rounds.load() == before; ++i)
            juce::Thread::sleep(2);
        return rounds.load() != before;
    }

private:
    void runThread() override
    {
        started.signal();
        while (!threadShouldExit())
        {
            ++rounds;
            wait(1);
        }
    }

    juce::WaitableEvent started;
    std::atomic<int> rounds{0};
};

// The priorities used here run real-time or below nice 0: only for root,
// which CI is.
bool MayRaisePriorities()
{
    return geteuid() == 0;
}

int RealtimePriority(int juce)
{
    const int minimum = sched_get_priority_min(SCHED_RR);
    const int maximum = sched_get_priority_max(SCHED_RR);
    return minimum + (juce - 7) * (maximum - minimum) / 10;
}
} // namespace

TEST(ThreadPriorities, MapToNiceValuesAndRoundRobinPriorities)
{
    // Linux's round-robin range is 1 to 99: 7 to 10 give 1, 10, 20, 30.
    ASSERT_EQ(sched_get_priority_min(SCHED_RR), 1);
    ASSERT_EQ(sched_get_priority_max(SCHED_RR), 99);

    struct Case
    {
        int priority, policy, realtimePriority, nice;
    };
    const Case cases[] = {
        {-5, SCHED_OTHER, 0, 19}, {0, SCHED_OTHER, 0, 19}, {1, SCHED_OTHER, 0, 15}, {2, SCHED_OTHER, 0, 11},
        {3, SCHED_OTHER, 0, 7},   {4, SCHED_OTHER, 0, 3},  {5, SCHED_OTHER, 0, 0},  {6, SCHED_OTHER, 0, -10},
        {7, SCHED_RR, 1, 0},      {8, SCHED_RR, 10, 0},    {9, SCHED_RR, 20, 0},    {10, SCHED_RR, 30, 0},
        {42, SCHED_RR, 30, 0},
    };
    for (const auto& c : cases)
    {
        const auto scheduling = juce::getThreadSchedulingForPriority(c.priority);
        EXPECT_EQ(scheduling.policy, c.policy) << c.priority;
        EXPECT_EQ(scheduling.realtimePriority, c.realtimePriority) << c.priority;
        if (c.policy == SCHED_OTHER)
        {
            EXPECT_EQ(scheduling.niceValue, c.nice) << c.priority;
        }
    }
}

TEST(ThreadPriorities, AStartedThreadRunsWithItsPriority)
{
    if (!MayRaisePriorities())
        GTEST_SKIP() << "needs the privilege to raise priorities";

    struct Case
    {
        int priority, policy, realtimePriority, nice;
    };
    // A real-time thread keeps the nice value it was created with: its
    // creator's, whatever the test run was started with.
    errno = 0;
    const int kCreatorsNice = getpriority(PRIO_PROCESS, 0);
    ASSERT_EQ(errno, 0);
    // Out-of-range priorities act as the nearest end.
    const Case cases[] = {
        {0, SCHED_OTHER, 0, 19},
        {5, SCHED_OTHER, 0, 0},
        {6, SCHED_OTHER, 0, -10},
        {9, SCHED_RR, RealtimePriority(9), kCreatorsNice},
        {42, SCHED_RR, RealtimePriority(10), kCreatorsNice},
        {-5, SCHED_OTHER, 0, 19},
    };
    for (const auto& c : cases)
    {
        CountingThread thread;
        ASSERT_TRUE(thread.startThread(c.priority)) << c.priority;
        const int id = thread.WaitUntilRunning();
        ASSERT_NE(id, 0);
        const Scheduling read = ReadScheduling(id);
        EXPECT_EQ(read.policy, c.policy) << c.priority;
        EXPECT_EQ(read.realtimePriority, c.realtimePriority) << c.priority;
        EXPECT_EQ(read.nice, c.nice) << c.priority;
        EXPECT_EQ(thread.getPriority(), juce::jlimit(0, 10, c.priority));
    }
}

TEST(ThreadPriorities, ARunningThreadIsRescheduledFromAnotherThread)
{
    if (!MayRaisePriorities())
        GTEST_SKIP() << "needs the privilege to raise priorities";

    CountingThread thread;
    ASSERT_TRUE(thread.startThread(8));
    const int id = thread.WaitUntilRunning();
    EXPECT_EQ(ReadScheduling(id).policy, SCHED_RR);
    EXPECT_EQ(ReadScheduling(id).realtimePriority, RealtimePriority(8));

    // Back to time-sharing at nice 0.
    EXPECT_TRUE(thread.setPriority(5));
    EXPECT_EQ(ReadScheduling(id).policy, SCHED_OTHER);
    EXPECT_EQ(ReadScheduling(id).nice, 0);

    EXPECT_TRUE(thread.setPriority(2));
    EXPECT_EQ(ReadScheduling(id).nice, 11);

    // Starting a running thread only changes its priority.
    EXPECT_TRUE(thread.startThread(9));
    EXPECT_EQ(thread.getKernelThreadId(), id);
    EXPECT_EQ(ReadScheduling(id).policy, SCHED_RR);
    EXPECT_EQ(ReadScheduling(id).realtimePriority, RealtimePriority(9));
    EXPECT_EQ(thread.getPriority(), 9);
}

TEST(ThreadPriorities, AThreadNotRunningKeepsThePriorityForItsStart)
{
    CountingThread thread;
    EXPECT_TRUE(thread.setPriority(3));
    EXPECT_EQ(thread.getPriority(), 3);
    EXPECT_EQ(thread.getKernelThreadId(), 0);

    ASSERT_TRUE(thread.startThread(3));
    const int id = thread.WaitUntilRunning();
    EXPECT_EQ(ReadScheduling(id).nice, 7);
    thread.stopThread(2000);
    EXPECT_EQ(thread.getKernelThreadId(), 0);
}

TEST(ThreadPriorities, TheCallingThreadSetsItsOwn)
{
    // On a thread of its own, so that the test's thread keeps its scheduling.
    Scheduling read;
    bool set = false;
    std::thread([&] {
        set = juce::setCurrentThreadPriority(1);
        read = ReadScheduling(static_cast<int>(syscall(SYS_gettid)));
    }).join();
    EXPECT_TRUE(set);
    EXPECT_EQ(read.policy, SCHED_OTHER);
    EXPECT_EQ(read.nice, 15);
}

TEST(ThreadPriorities, WithoutThePrivilegeARaiseIsRefusedAndTheThreadRunsOn)
{
    if (!MayRaisePriorities())
        GTEST_SKIP() << "the child drops a privilege it must first have";

    // Exit codes name the check that failed.
    const VxTest::ChildResult child = VxTest::RunInChild(
        [] {
            CountingThread timeSharing;
            CountingThread realtime;
            if (!timeSharing.startThread(5) || !realtime.startThread(9))
                return 10;
            const int timeSharingId = timeSharing.WaitUntilRunning();
            const int realtimeId = realtime.WaitUntilRunning();

            // No real-time priority and no nice value below the current one from here on.
            const rlimit none{0, 0};
            if (setrlimit(RLIMIT_RTPRIO, &none) != 0 || setrlimit(RLIMIT_NICE, &none) != 0 || setuid(65534) != 0)
                return 11;

            if (timeSharing.setPriority(8) || timeSharing.setPriority(6))
                return 12;
            const Scheduling kept = ReadScheduling(timeSharingId);
            if (kept.policy != SCHED_OTHER || kept.nice != 0 || timeSharing.getPriority() != 5)
                return 13;
            if (!timeSharing.KeepsRunning())
                return 14;

            // Refused after the policy would have changed: it stays real-time.
            if (realtime.setPriority(6))
                return 15;
            const Scheduling stillRealtime = ReadScheduling(realtimeId);
            if (stillRealtime.policy != SCHED_RR || stillRealtime.realtimePriority != RealtimePriority(9))
                return 16;
            if (!realtime.KeepsRunning())
                return 17;

            // Lowering a priority needs no privilege.
            if (!timeSharing.setPriority(2) || ReadScheduling(timeSharingId).nice != 11)
                return 18;
            return 0;
        },
        std::chrono::seconds(30));
    ASSERT_FALSE(child.timedOut);
    ASSERT_TRUE(WIFEXITED(child.status)) << child.status;
    EXPECT_EQ(WEXITSTATUS(child.status), 0);
}
