#pragma once

#include "JuceBackend/juce_linuxfb_DrmSystemCalls.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace juce
{

//==============================================================================
/** A DRM dumb buffer: memory the CPU draws into and the display controller can
    scan out.  Owned by a page flipper or a cursor; everything it made on the
    device goes with it, through the calls in use when it was made. */
class DrmDumbBuffer
{
public:
    explicit DrmDumbBuffer (int drmDescriptor) noexcept;
    ~DrmDumbBuffer();

    /** Allocates width x height pixels of 32 bits; when the kernel is short of
        memory it is asked once to drop its caches and the allocation retried. */
    bool create (int width, int height);
    bool addFramebuffer();
    bool map();
    void destroy();

    /** The error number of the last call above that failed; 0 while none did. */
    int getError() const noexcept { return error; }

    int getWidth() const noexcept { return width; }
    int getHeight() const noexcept { return height; }
    uint32 getPitch() const noexcept { return pitch; }
    int getBytesPerPixel() const noexcept { return bytesPerPixel; }
    uint32 getHandle() const noexcept { return handle; }
    uint32 getFramebufferId() const noexcept { return framebufferId; }
    uint64 getSize() const noexcept { return size; }
    uint8* getData() const noexcept { return mapping.get(); }

private:
    bool failed (int errorNumber) noexcept;

    DrmSystemCalls& calls;
    int fd;
    int width = 0;
    int height = 0;
    uint32 pitch = 0;
    int bytesPerPixel = 4;
    uint32 handle = 0;
    uint32 framebufferId = 0;
    uint64 size = 0;
    UniqueDrmMapping mapping;
    int error = 0;

    JUCE_DECLARE_NON_COPYABLE (DrmDumbBuffer)
};

} // namespace juce
