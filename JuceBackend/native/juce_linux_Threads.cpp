/*
    The device's thread priorities: JUCE's 0 to 10 scale as nice values and
    round-robin real-time priorities, applied by each thread to itself.
*/

#include "JuceBackend/native/juce_linux_Threads.h"

#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace juce
{

ThreadScheduling getThreadSchedulingForPriority (int priority)
{
    priority = jlimit (0, 10, priority);

    if (priority >= 7)
    {
        const auto minimum = sched_get_priority_min (SCHED_RR);
        const auto maximum = sched_get_priority_max (SCHED_RR);
        return { SCHED_RR, minimum + (priority - 7) * (maximum - minimum) / 10, 0 };
    }

    // 6 is meant to stand well above the default, not where (5 - 6) x 19 / 5 would put it.
    return { SCHED_OTHER, 0, priority == 6 ? -10 : (5 - priority) * 19 / 5 };
}

// The scheduling of the priority for the thread with this POSIX handle and
// kernel id (0: the calling thread, as setpriority reads it).
static bool applyThreadPriority (pthread_t handle, int kernelThreadId, int priority)
{
    int policy = 0;
    sched_param parameters {};

    if (pthread_getschedparam (handle, &policy, &parameters) != 0)
        return false;

    const auto scheduling = getThreadSchedulingForPriority (priority);
    parameters.sched_priority = scheduling.realtimePriority;

    if (scheduling.policy == SCHED_RR)
        return pthread_setschedparam (handle, SCHED_RR, &parameters) == 0;

    // The nice value before the policy: it is what an unprivileged process is
    // refused, and a refusal must leave a real-time thread real-time.  A nice
    // value set on a real-time thread waits there until it returns to time-sharing.
    const auto who = (id_t) kernelThreadId;
    errno = 0;
    const auto previousNice = getpriority (PRIO_PROCESS, who);
    errno = 0;

    if (setpriority (PRIO_PROCESS, who, scheduling.niceValue) == -1 && errno != 0)
        return false;

    if (pthread_setschedparam (handle, SCHED_OTHER, &parameters) != 0)
    {
        setpriority (PRIO_PROCESS, who, previousNice);
        return false;
    }

    return true;
}

bool setCurrentThreadPriority (int priority)
{
    return applyThreadPriority (pthread_self(), 0, priority);
}

//==============================================================================
PriorityThread::PriorityThread (const String& threadName, size_t threadStackSize)
    : Thread (threadName, threadStackSize)
{
}

PriorityThread::~PriorityThread() = default;

bool PriorityThread::startThread (int newPriority)
{
    {
        const ScopedLock sl (priorityLock);

        if (! isThreadRunning())
        {
            // The new thread applies it itself, once it knows its kernel id.
            priority = jlimit (0, 10, newPriority);
            return Thread::startThread();
        }
    }

    return setPriority (newPriority);
}

bool PriorityThread::setPriority (int newPriority)
{
    newPriority = jlimit (0, 10, newPriority);
    const ScopedLock sl (priorityLock);

    if (getThreadId() == getCurrentThreadId())
    {
        if (! setCurrentThreadPriority (newPriority))
            return false;
    }
    else if (kernelThreadId != 0)
    {
        if (! applyThreadPriority ((pthread_t) getThreadId(), kernelThreadId, newPriority))
            return false;
    }

    priority = newPriority;
    return true;
}

int PriorityThread::getPriority() const
{
    const ScopedLock sl (priorityLock);
    return priority;
}

int PriorityThread::getKernelThreadId() const
{
    const ScopedLock sl (priorityLock);
    return kernelThreadId;
}

void PriorityThread::run()
{
    {
        const ScopedLock sl (priorityLock);
        kernelThreadId = (int) ::syscall (SYS_gettid);

        // Refused without the privilege: the thread then runs as it was created.
        setCurrentThreadPriority (priority);
    }

    runThread();

    const ScopedLock sl (priorityLock);
    kernelThreadId = 0;
}

} // namespace juce
