#pragma once

// An in-memory DRM device behind the display backend's DRM seam: connectors,
// encoders and CRTCs, dumb buffers with their memory, framebuffers, page flips
// that complete at the next vertical blank, hardware cursors and DMA-buffer
// exports.  The device's descriptor is real (a timer that fires when a flip is
// due), so the backend polls it as on the device; every call can be told to
// fail (faults).

#include "JuceBackend/juce_linuxfb_DrmSystemCalls.h"
#include "sim/SimFaults.h"

#include <juce_graphics/juce_graphics.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Sim
{

struct DisplayMode
{
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t refresh = 60;
    bool preferred = false;
};

class SimDrmDevice final : public juce::DrmSystemCalls
{
public:
    SimDrmDevice();
    ~SimDrmDevice() override;

    //==========================================================================
    // The outputs.  Ids are the device's own; connectors are scanned in the
    // order they were added.
    uint32_t addCrtc();
    uint32_t addEncoder (uint32_t possibleCrtcs);
    uint32_t addConnector (uint32_t type, std::vector<DisplayMode> modes, std::vector<uint32_t> encoders,
                           bool connected = true);
    void setConnected (uint32_t connectorId, bool connected);
    void setModes (uint32_t connectorId, std::vector<DisplayMode> modes);

    //==========================================================================
    // What exists and what fails; set before the backend uses the device.
    bool present = true;
    uint64_t dumbBufferCapability = 1;

    /** The calls that faults can make fail, by name. */
    enum class Call
    {
        open,
        getCap,
        setMaster,
        dropMaster,
        getResources,
        getPlaneResources,
        getConnector,
        getEncoder,
        createDumbBuffer,
        mapDumbBuffer,
        destroyDumbBuffer,
        exportDumbBuffer,
        mapMemory,
        addFramebuffer,
        removeFramebuffer,
        setCrtc,
        pageFlip,
        handleEvent,
        setCursor,
        moveCursor
    };

    Faults<Call> faults;

    /** How long a page flip takes; negative: until the next vertical blank of
        the CRTC's mode (60 Hz unless the mode says otherwise). */
    std::chrono::microseconds flipLatency { -1 };

    //==========================================================================
    // What the device shows and what happened.
    struct CrtcState
    {
        bool active = false;
        uint32_t framebufferId = 0;
        uint32_t connectorId = 0;
        drmModeModeInfo mode {};
        int numSets = 0;
        int numFlips = 0;

        // The hardware cursor: handle 0 hides it; x and y are where its top-left goes.
        uint32_t cursorHandle = 0;
        uint32_t cursorWidth = 0;
        uint32_t cursorHeight = 0;
        int cursorHotX = 0;
        int cursorHotY = 0;
        int cursorX = 0;
        int cursorY = 0;
        int numCursorSets = 0;
        int numCursorMoves = 0;
    };

    CrtcState getCrtcState (uint32_t crtcId) const;

    /** The pixels of a framebuffer or of what a CRTC scans out, opaque ARGB. */
    juce::Image getFramebufferImage (uint32_t framebufferId) const;
    juce::Image getScanoutImage (uint32_t crtcId) const;

    /** Writes what the output shows (the scan-out of the CRTC that drives it)
        to a PNG file; false when the output shows nothing or the file cannot
        be written. */
    bool saveScreenAsPng (uint32_t connectorId, const juce::File& file) const;

    /** One 32-bit pixel of a dumb buffer as stored (a cursor's premultiplied ARGB). */
    uint32_t getBufferPixel (uint32_t handle, int x, int y) const;

    /** Writes a pixel into a framebuffer's memory, as a renderer would. */
    void setFramebufferPixel (uint32_t framebufferId, int x, int y, uint32_t xrgb);

    struct Buffer
    {
        uint32_t handle = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t pitch = 0;
        uint64_t size = 0;
    };

    std::vector<Buffer> getBuffers() const;
    int getNumFramebuffers() const;
    int getNumMappings() const;

    struct Flip
    {
        uint32_t crtcId = 0;
        uint32_t framebufferId = 0;
        uint64_t userData = 0;
    };

    /** The flips requested and not yet completed, oldest first. */
    std::vector<Flip> getPendingFlips() const;
    int getNumPendingFlips() const;

    /** Descriptors of the device and of exported DMA buffers still open, and
        calls made on one that is not open (closed, or never this device's). */
    int getNumOpenDescriptors() const;
    int getNumMisusedDescriptors() const;
    bool isMaster() const;

    //==========================================================================
    // What the accelerator's stand-in reaches through DMA buffers.

    /** The buffer a DMA-buffer descriptor of this device was exported from, while both live. */
    std::optional<Buffer> getExportedBuffer (int dmaBufferFd) const;

    /** A dumb buffer's memory, pitch bytes a line. */
    struct BufferMemory
    {
        Buffer info;
        uint8_t* data = nullptr;
    };

    /** Runs use with the memory of two live buffers, under the device's lock;
        false (without running it) when either is gone. */
    bool useBuffers (uint32_t sourceHandle, uint32_t destinationHandle, const std::function<void (const BufferMemory& source, const BufferMemory& destination)>& use);

    //==========================================================================
    int open (const char* path, int flags) override;
    int close (int fd) override;
    int getCap (int fd, uint64_t capability, uint64_t& value) override;
    int setMaster (int fd) override;
    int dropMaster (int fd) override;
    drmModeResPtr getResources (int fd) override;
    void freeResources (drmModeResPtr) override;
    drmModePlaneResPtr getPlaneResources (int fd) override;
    void freePlaneResources (drmModePlaneResPtr) override;
    drmModeConnectorPtr getConnector (int fd, uint32_t connectorId) override;
    void freeConnector (drmModeConnectorPtr) override;
    drmModeEncoderPtr getEncoder (int fd, uint32_t encoderId) override;
    void freeEncoder (drmModeEncoderPtr) override;
    int createDumbBuffer (int fd, uint32_t width, uint32_t height, uint32_t bitsPerPixel, DumbBuffer& created) override;
    int mapDumbBuffer (int fd, uint32_t handle, uint64_t& offset) override;
    int destroyDumbBuffer (int fd, uint32_t handle) override;
    int exportDumbBuffer (int fd, uint32_t handle, int& dmaBufferFd) override;
    int mapMemory (int fd, uint64_t offset, size_t length, void*& address) override;
    int unmapMemory (void* address, size_t length) override;
    int addFramebuffer (int fd, uint32_t width, uint32_t height, uint8_t depth, uint8_t bitsPerPixel, uint32_t pitch, uint32_t handle, uint32_t& framebufferId) override;
    int removeFramebuffer (int fd, uint32_t framebufferId) override;
    int setCrtc (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t x, uint32_t y, uint32_t* connectors, int count, drmModeModeInfoPtr mode) override;
    int pageFlip (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t flags, void* userData) override;
    int handleEvent (int fd, drmEventContext& context) override;
    int setCursor (int fd, uint32_t crtcId, uint32_t handle, uint32_t width, uint32_t height, int32_t hotX, int32_t hotY) override;
    int moveCursor (int fd, uint32_t crtcId, int x, int y) override;

private:
    enum class Kind
    {
        drm,
        dmaBuffer
    };

    struct Descriptor
    {
        Kind kind;
        uint32_t handle = 0;    // of the exported buffer
    };

    struct Connector
    {
        uint32_t id;
        uint32_t type;
        bool connected;
        std::vector<DisplayMode> modes;
        std::vector<uint32_t> encoders;
    };

    struct StoredBuffer
    {
        Buffer info;
        std::vector<uint8_t> memory;
        int numMappings = 0;
        bool destroyed = false;
    };

    struct Framebuffer
    {
        uint32_t handle;
        uint32_t width;
        uint32_t height;
    };

    struct PendingFlip
    {
        uint32_t crtcId;
        uint32_t framebufferId;
        void* userData;
        std::chrono::steady_clock::time_point due;
    };

    /** 0 when the call on that descriptor goes on, else its negative error number. */
    int check (int fd, Call call);
    StoredBuffer* findBuffer (uint32_t handle);
    const StoredBuffer* findBuffer (uint32_t handle) const;
    void releaseBufferIfUnused (uint32_t handle);
    void armFlipTimer();
    juce::Image imageOf (const StoredBuffer& buffer, uint32_t width, uint32_t height) const;

    mutable std::recursive_mutex lock;
    std::map<int, Descriptor> descriptors;
    std::vector<uint32_t> crtcs;
    std::map<uint32_t, CrtcState> crtcStates;
    std::map<uint32_t, uint32_t> encoders;     // id -> possible CRTCs
    std::vector<Connector> connectors;
    std::map<uint32_t, StoredBuffer> buffers;
    std::map<uint32_t, Framebuffer> framebuffers;
    std::deque<PendingFlip> pendingFlips;
    uint32_t nextId = 100;
    int drmFd = -1;
    int numMisused = 0;
    bool master = false;
};

} // namespace Sim
