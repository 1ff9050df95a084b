#pragma once

// An in-memory DRM device with its raster accelerator and console, behind the
// display backend's DRM seam.  Descriptors are real (a timer for page-flip
// events, eventfds for the rest), so the backend polls them as on the device;
// everything behind them lives in this object and can be told to fail.

#include "JuceBackend/juce_linuxfb_SystemCalls.h"

#include <juce_graphics/juce_graphics.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
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
    bool hasDrmDevice = true;
    bool hasAccelerator = false;
    bool hasConsole = true;
    uint64_t dumbBufferCapability = 1;
    bool failSetMaster = false;
    bool failResources = false;
    bool failPlaneResources = false;
    bool failConsoleSetMode = false;
    int failCreateDumb = 0;         // how many of the next allocations fail
    int failAddFramebuffer = 0;     // errno returned, 0 for none
    int failPageFlip = 0;           // errno returned, 0 for none
    int failSetCrtc = 0;            // errno returned, 0 for none
    int failSetCursor = 0;          // errno returned, 0 for none
    int failMoveCursor = 0;         // errno returned, 0 for none
    int failMapDumb = 0;            // how many of the next buffer mappings fail
    bool failPrimeExport = false;
    bool failImport = false;
    bool failJobSubmit = false;
    uint32_t jobStatus = 0;         // status of the completion records
    bool autoCompleteJobs = true;   // false: jobs run, their records are left to the test
    int failNextAcceleratorRead = 0; // errno of the next read, 0 for none

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
    int getNumPendingFlips() const;

    struct Job
    {
        uint64_t userData = 0;
        uint32_t sourceHandle = 0;
        uint32_t destinationHandle = 0;
        uint32_t rotation = 0;
    };

    std::vector<Job> getJobs() const;
    int getNumAcceleratorHandles() const;

    /** Bytes the accelerator's descriptor will give to the next reads. */
    void queueAcceleratorBytes (const std::vector<uint8_t>& bytes);

    /** Completion record as the accelerator writes it (24 bytes: 20 used, 4 padding). */
    static std::vector<uint8_t> makeCompletionRecord (uint64_t userData, uint32_t status,
                                                      uint32_t type = 0, uint32_t length = 24);

    /** The console, kept in memory that forked test processes share. */
    int getConsoleMode() const;
    void setConsoleMode (int mode);
    int getNumConsoleModeChanges() const;
    int getNumOpenConsoles() const;

    /** Calls made on a descriptor that is not open (closed, or never ours). */
    int getNumMisusedDescriptors() const;
    int getNumOpenDescriptors() const;
    bool isMaster() const;

    //==========================================================================
    int openDevice (const char* path, int flags) override;
    int closeDevice (int fd) override;
    ssize_t readDevice (int fd, void* buffer, size_t size) override;
    int deviceIoctl (int fd, unsigned long request, void* argument) override;
    void* mapMemory (size_t length, int protection, int flags, int fd, uint64_t offset) override;
    int unmapMemory (void* address, size_t length) override;
    int drmIoctl (int fd, unsigned long request, void* argument) override;
    int getCap (int fd, uint64_t capability, uint64_t* value) override;
    int setMaster (int fd) override;
    int dropMaster (int fd) override;
    drmModeResPtr modeGetResources (int fd) override;
    void modeFreeResources (drmModeResPtr) override;
    drmModePlaneResPtr modeGetPlaneResources (int fd) override;
    void modeFreePlaneResources (drmModePlaneResPtr) override;
    drmModeConnectorPtr modeGetConnector (int fd, uint32_t connectorId) override;
    void modeFreeConnector (drmModeConnectorPtr) override;
    drmModeEncoderPtr modeGetEncoder (int fd, uint32_t encoderId) override;
    void modeFreeEncoder (drmModeEncoderPtr) override;
    int modeAddFB (int fd, uint32_t width, uint32_t height, uint8_t depth, uint8_t bitsPerPixel,
                   uint32_t pitch, uint32_t handle, uint32_t* framebufferId) override;
    int modeRmFB (int fd, uint32_t framebufferId) override;
    int modeSetCrtc (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t x, uint32_t y,
                     uint32_t* connectors, int count, drmModeModeInfoPtr mode) override;
    int modePageFlip (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t flags, void* userData) override;
    int handleEvent (int fd, drmEventContextPtr context) override;
    int modeSetCursor2 (int fd, uint32_t crtcId, uint32_t handle, uint32_t width, uint32_t height,
                        int32_t hotX, int32_t hotY) override;
    int modeMoveCursor (int fd, uint32_t crtcId, int x, int y) override;

private:
    enum class Kind { drm, accelerator, console, dmaBuffer };

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

    struct DumbBuffer
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

    struct SharedConsole
    {
        std::atomic<int> mode;
        std::atomic<int> numModeChanges;
        std::atomic<int> numOpen;
    };

    bool isOpen (int fd, Kind kind) const;
    bool checkDescriptor (int fd, Kind kind);
    DumbBuffer* findBuffer (uint32_t handle);
    const DumbBuffer* findBuffer (uint32_t handle) const;
    void releaseBufferIfUnused (uint32_t handle);
    void armFlipTimer();
    int acceleratorIoctl (unsigned long request, void* argument);
    uint32_t runJob (const Job& job);
    juce::Image imageOf (const DumbBuffer& buffer, uint32_t width, uint32_t height) const;
    void signalAccelerator();

    mutable std::recursive_mutex lock;
    std::map<int, Descriptor> descriptors;
    std::vector<uint32_t> crtcs;
    std::map<uint32_t, CrtcState> crtcStates;
    std::map<uint32_t, uint32_t> encoders;     // id -> possible CRTCs
    std::vector<Connector> connectors;
    std::map<uint32_t, DumbBuffer> buffers;
    std::map<uint32_t, Framebuffer> framebuffers;
    std::map<uint32_t, uint32_t> acceleratorHandles;   // accelerator handle -> dumb buffer handle
    std::deque<PendingFlip> pendingFlips;
    std::vector<Job> jobs;
    std::deque<uint8_t> acceleratorBytes;
    SharedConsole* console;
    uint32_t nextId = 100;
    int drmFd = -1;
    int acceleratorFd = -1;
    int numMisused = 0;
    bool master = false;
};

} // namespace Sim
