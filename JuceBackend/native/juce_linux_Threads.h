#pragma once

#include <juce_core/juce_core.h>

namespace juce
{

/** How the device schedules a JUCE priority (0 to 10, clamped): 0 to 6 keep the
    time-sharing policy with a nice value, 7 to 10 run round-robin real-time. */
struct ThreadScheduling
{
    int policy = 0; // SCHED_OTHER or SCHED_RR
    int realtimePriority = 0; // 0 for SCHED_OTHER
    int niceValue = 0; // SCHED_OTHER only: SCHED_RR keeps the nice value it has
};

ThreadScheduling getThreadSchedulingForPriority (int priority);

/** Gives the calling thread the scheduling of the priority; false when the
    system refuses it, and the thread's scheduling is then unchanged. */
bool setCurrentThreadPriority (int priority);

//==============================================================================
/** A JUCE thread with the device's 0 to 10 priorities.

    A nice value belongs to one kernel thread and can only be set through its
    kernel id, so the thread records that id when it starts and applies its
    own priority before its body runs.  JUCE's own priority handling (which
    knows no nice values) is not used.
*/
class PriorityThread : public Thread
{
public:
    explicit PriorityThread (const String& threadName, size_t threadStackSize = 0);
    ~PriorityThread() override;

    /** Starts the thread with the priority; a thread that already runs only
        has its priority changed.  False when the thread could not be created
        or its priority could not be changed. */
    bool startThread (int priority);

    /** Changes the priority from any thread.  A running thread is rescheduled
        at once (false, and the priority kept, when the system refuses); a
        thread that does not run yet applies it when it starts. */
    bool setPriority (int priority);

    /** The priority the thread runs with, or will start with (0 to 10). */
    int getPriority() const;

    /** The running thread's kernel id; 0 when it does not run. */
    int getKernelThreadId() const;

protected:
    /** The thread's body, run with its priority applied. */
    virtual void runThread() = 0;

private:
    void run() final;

    // Guards the priority and the kernel id, which another thread needs to
    // reschedule this one.
    CriticalSection priorityLock;
    int priority = 5;
    int kernelThreadId = 0;

    JUCE_DECLARE_NON_COPYABLE (PriorityThread)
};

} // namespace juce
