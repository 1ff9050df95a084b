#pragma once

// The display backend's way to the console ("/dev/tty0"), which it switches to
// graphics while it shows the screens and gives back its mode afterwards.  The
// device runs the implementation over open and ioctl; the simulator's stand-in
// (sim/SimConsole) takes its place inside a ConsoleSystemCalls::Scoped.

#include "JuceBackend/juce_linuxfb_ScopedSystemCalls.h"

namespace juce
{

/** The calls on the console.  Each gives 0 (or the descriptor asked for) on
    success and a negative error number on failure, never -1 with errno. */
class ConsoleSystemCalls
{
public:
    virtual ~ConsoleSystemCalls() = default;

    /** The calls in use: a scope's stand-in, else the device's own. */
    static ConsoleSystemCalls& get() { return getSystemCalls<ConsoleSystemCalls>(); }

    /** The device's own calls, over open and ioctl. */
    static ConsoleSystemCalls& getDeviceCalls();

    using Scoped = ScopedSystemCalls<ConsoleSystemCalls>;

    virtual int open (const char* path, int flags) = 0;

    /** KDGETMODE and KDSETMODE: KD_TEXT or KD_GRAPHICS. */
    virtual int getMode (int fd, int& mode) = 0;
    virtual int setMode (int fd, int mode) = 0;

    virtual int close (int fd) = 0;
};

} // namespace juce
