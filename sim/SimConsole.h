#pragma once

// The console behind the display backend's console seam: its mode (text or
// graphics) lives in memory that forked test processes share, so that a test
// sees the mode a child process left behind.  Its descriptors are eventfds
// that lead nowhere, never the machine's own console; every call can be told
// to fail (faults).

#include "JuceBackend/juce_linuxfb_ConsoleSystemCalls.h"
#include "sim/SimFaults.h"

#include <atomic>
#include <mutex>
#include <set>

namespace Sim
{

class SimConsole final : public juce::ConsoleSystemCalls
{
public:
    /** In text mode. */
    SimConsole();
    ~SimConsole() override;

    bool present = true;

    enum class Call
    {
        open,
        getMode,
        setMode
    };
    Faults<Call> faults;

    /** The mode as the backend left it (KD_TEXT, KD_GRAPHICS), also after a
        forked child ended. */
    int getCurrentMode() const;
    void setCurrentMode (int mode);
    int getNumModeChanges() const;

    /** Descriptors open, counted in all processes that share the console. */
    int getNumOpenDescriptors() const;
    int getNumMisusedDescriptors() const;

    //==========================================================================
    int open (const char* path, int flags) override;
    int getMode (int fd, int& mode) override;
    int setMode (int fd, int mode) override;
    int close (int fd) override;

private:
    struct Shared
    {
        std::atomic<int> mode;
        std::atomic<int> numModeChanges;
        std::atomic<int> numOpen;
    };

    /** 0 when the call on that descriptor goes on, else its negative error number. */
    int check (int fd, Call call);

    Shared* shared;
    mutable std::mutex lock;
    std::set<int> descriptors;
    int numMisused = 0;
};

} // namespace Sim
