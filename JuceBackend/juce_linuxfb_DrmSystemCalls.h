#pragma once

// The display backend's way to the DRM device ("/dev/dri/card0"): one named
// call per libdrm or system call the backend makes, with the same arguments,
// so that everything above it is the backend's real code.  The device runs
// the implementation over libdrm; the simulator's stand-in (sim/SimDrmDevice)
// takes its place inside a DrmSystemCalls::Scoped.

#include "JuceBackend/juce_linuxfb_ScopedSystemCalls.h"

#include <cstddef>
#include <cstdint>
#include <memory>

#include <xf86drm.h>
#include <xf86drmMode.h>

namespace juce
{

/** The calls on the DRM device.  Calls that answer an int give 0 (or the
    descriptor asked for) on success and a negative error number on failure,
    never -1 with errno; calls that answer an object give null on failure. */
class DrmSystemCalls
{
public:
    virtual ~DrmSystemCalls() = default;

    /** The calls in use: a scope's stand-in, else the device's own. */
    static DrmSystemCalls& get() { return getSystemCalls<DrmSystemCalls>(); }

    /** The device's own calls, over libdrm. */
    static DrmSystemCalls& getDeviceCalls();

    using Scoped = ScopedSystemCalls<DrmSystemCalls>;

    //==========================================================================
    /** The device node; close takes its descriptor and the DMA buffers exported from it. */
    virtual int open (const char* path, int flags) = 0;
    virtual int close (int fd) = 0;

    virtual int getCap (int fd, uint64_t capability, uint64_t& value) = 0;
    virtual int setMaster (int fd) = 0;
    virtual int dropMaster (int fd) = 0;

    //==========================================================================
    // Mode-setting objects, each freed by its own call.
    virtual drmModeResPtr getResources (int fd) = 0;
    virtual void freeResources (drmModeResPtr) = 0;
    virtual drmModePlaneResPtr getPlaneResources (int fd) = 0;
    virtual void freePlaneResources (drmModePlaneResPtr) = 0;
    virtual drmModeConnectorPtr getConnector (int fd, uint32_t connectorId) = 0;
    virtual void freeConnector (drmModeConnectorPtr) = 0;
    virtual drmModeEncoderPtr getEncoder (int fd, uint32_t encoderId) = 0;
    virtual void freeEncoder (drmModeEncoderPtr) = 0;

    //==========================================================================
    // Dumb buffers: memory the CPU draws into and the display controller scans out.
    struct DumbBuffer
    {
        uint32_t handle = 0;
        uint32_t pitch = 0;
        uint64_t size = 0;
    };

    virtual int createDumbBuffer (int fd, uint32_t width, uint32_t height, uint32_t bitsPerPixel, DumbBuffer& created) = 0;

    /** The offset at which mapMemory maps the buffer. */
    virtual int mapDumbBuffer (int fd, uint32_t handle, uint64_t& offset) = 0;
    virtual int destroyDumbBuffer (int fd, uint32_t handle) = 0;

    /** Exports the buffer as a DMA buffer (prime): a descriptor of its own, closed with close. */
    virtual int exportDumbBuffer (int fd, uint32_t handle, int& dmaBufferFd) = 0;

    /** mmap and munmap of the device's memory, shared and readable and writable. */
    virtual int mapMemory (int fd, uint64_t offset, size_t length, void*& address) = 0;
    virtual int unmapMemory (void* address, size_t length) = 0;

    //==========================================================================
    virtual int addFramebuffer (int fd, uint32_t width, uint32_t height, uint8_t depth, uint8_t bitsPerPixel, uint32_t pitch, uint32_t handle, uint32_t& framebufferId) = 0;
    virtual int removeFramebuffer (int fd, uint32_t framebufferId) = 0;
    virtual int setCrtc (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t x, uint32_t y, uint32_t* connectors, int count, drmModeModeInfoPtr mode) = 0;
    virtual int pageFlip (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t flags, void* userData) = 0;

    /** Reads the events that are ready and hands each to the context's handlers. */
    virtual int handleEvent (int fd, drmEventContext& context) = 0;

    /** Handle 0 hides the cursor. */
    virtual int setCursor (int fd, uint32_t crtcId, uint32_t handle, uint32_t width, uint32_t height, int32_t hotX, int32_t hotY) = 0;
    virtual int moveCursor (int fd, uint32_t crtcId, int x, int y) = 0;
};

//==============================================================================
/** Frees a mode-setting object through the calls that made it. */
struct DrmObjectDeleter
{
    DrmSystemCalls* calls = nullptr;

    void operator() (drmModeRes* object) const { calls->freeResources (object); }
    void operator() (drmModePlaneRes* object) const { calls->freePlaneResources (object); }
    void operator() (drmModeConnector* object) const { calls->freeConnector (object); }
    void operator() (drmModeEncoder* object) const { calls->freeEncoder (object); }
};

template <typename Object>
using UniqueDrmObject = std::unique_ptr<Object, DrmObjectDeleter>;

using UniqueDrmResources = UniqueDrmObject<drmModeRes>;
using UniqueDrmPlaneResources = UniqueDrmObject<drmModePlaneRes>;
using UniqueDrmConnector = UniqueDrmObject<drmModeConnector>;
using UniqueDrmEncoder = UniqueDrmObject<drmModeEncoder>;

/** Takes an object the calls made (or null). */
template <typename Object>
UniqueDrmObject<Object> ownDrmObject (DrmSystemCalls& calls, Object* object) noexcept
{
    return UniqueDrmObject<Object> (object, DrmObjectDeleter { &calls });
}

//==============================================================================
/** Owns memory mapped from the DRM device and unmaps it through the calls that mapped it. */
class UniqueDrmMapping
{
public:
    UniqueDrmMapping() noexcept = default;

    UniqueDrmMapping (DrmSystemCalls& callsThatMapped, void* mappedAddress, size_t mappedLength) noexcept
        : calls (&callsThatMapped), address (mappedAddress), length (mappedLength) {}

    ~UniqueDrmMapping() { reset(); }

    UniqueDrmMapping (UniqueDrmMapping&& other) noexcept
        : calls (other.calls), address (std::exchange (other.address, nullptr)), length (other.length) {}

    UniqueDrmMapping& operator= (UniqueDrmMapping&& other) noexcept
    {
        if (this != &other)
        {
            reset();
            calls = other.calls;
            address = std::exchange (other.address, nullptr);
            length = other.length;
        }

        return *this;
    }

    uint8_t* get() const noexcept { return static_cast<uint8_t*> (address); }

    void reset() noexcept
    {
        if (auto* mapped = std::exchange (address, nullptr))
            calls->unmapMemory (mapped, length);
    }

private:
    DrmSystemCalls* calls = nullptr;
    void* address = nullptr;
    size_t length = 0;

    JUCE_DECLARE_NON_COPYABLE (UniqueDrmMapping)
};

} // namespace juce
