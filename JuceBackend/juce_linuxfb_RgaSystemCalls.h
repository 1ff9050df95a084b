#pragma once

// The display backend's way to the 2-D raster accelerator ("/dev/rga2"), which
// copies and turns rendered frames into the buffers the display scans out.
// One named call per request of its driver (juce_linuxfb_Rga2Abi.h); the
// device runs the implementation over open, ioctl and read, the simulator's
// stand-in (sim/SimRga) takes its place inside an RgaSystemCalls::Scoped.

#include "JuceBackend/juce_linuxfb_Rga2Abi.h"
#include "JuceBackend/juce_linuxfb_ScopedSystemCalls.h"

#include <sys/types.h>

namespace juce
{

/** The calls on the raster accelerator.  Each gives 0 (or the descriptor or
    count asked for) on success and a negative error number on failure, never
    -1 with errno. */
class RgaSystemCalls
{
public:
    virtual ~RgaSystemCalls() = default;

    /** The calls in use: a scope's stand-in, else the device's own. */
    static RgaSystemCalls& get() { return getSystemCalls<RgaSystemCalls>(); }

    /** The device's own calls, over open, ioctl and read. */
    static RgaSystemCalls& getDeviceCalls();

    using Scoped = ScopedSystemCalls<RgaSystemCalls>;

    virtual int open (const char* path, int flags) = 0;
    virtual int close (int fd) = 0;

    /** Makes a DMA buffer known to the accelerator; the request's handle names it in jobs. */
    virtual int importBuffer (int fd, Rga2::ImportRequest& request) = 0;
    virtual int releaseBuffer (int fd, const Rga2::ReleaseRequest& request) = 0;

    /** Queues a copy; its completion record arrives later through readCompletions. */
    virtual int submitJob (int fd, const Rga2::JobRequest& request) = 0;

    /** The completion records ready: the number of bytes read, -EAGAIN when
        there are none. */
    virtual ssize_t readCompletions (int fd, void* buffer, size_t size) = 0;
};

} // namespace juce
