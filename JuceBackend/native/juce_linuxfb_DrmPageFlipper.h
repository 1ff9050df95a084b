#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

namespace juce
{

class DrmScreen;
class DrmCursor;

//==============================================================================
/** A DRM dumb buffer: memory the CPU draws into and the display controller can
    scan out.  Owned by a page flipper. */
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

    int getWidth() const noexcept                { return width; }
    int getHeight() const noexcept               { return height; }
    uint32 getPitch() const noexcept             { return pitch; }
    int getBytesPerPixel() const noexcept        { return bytesPerPixel; }
    uint32 getHandle() const noexcept            { return handle; }
    uint32 getFramebufferId() const noexcept     { return framebufferId; }
    uint64 getSize() const noexcept              { return size; }
    uint8* getData() const noexcept              { return data; }

private:
    int fd;
    int width = 0;
    int height = 0;
    uint32 pitch = 0;
    int bytesPerPixel = 4;
    uint32 handle = 0;
    uint32 framebufferId = 0;
    uint64 size = 0;
    uint8* data = nullptr;

    JUCE_DECLARE_NON_COPYABLE (DrmDumbBuffer)
};

//==============================================================================
/** Brings the buffers a screen draws into onto its CRTC. */
class DrmPageFlipper
{
public:
    /** DRM reported that a flip requested by this flipper has completed. */
    virtual void pageFlipped() = 0;

    virtual ~DrmPageFlipper();

    /** Allocates the buffers for a mode of this size. */
    virtual bool init (int width, int height) = 0;

    virtual int getNumBuffers() const = 0;
    virtual DrmDumbBuffer* getBuffer (int index) const = 0;
    virtual int getFrontBufferIndex() const = 0;

    /** The buffer the screen should draw into next. */
    virtual int getBackBufferIndex() const = 0;

    /** Shows that buffer on the screen's CRTC.  True means a completion follows
        later, and the screen must count as busy until then. */
    virtual bool flip (int index, DrmScreen& screen) = 0;

    virtual bool setCursor (uint32 crtcId, DrmCursor* cursor) = 0;
    virtual bool moveCursor (uint32 crtcId, int x, int y) = 0;

    /** False until the first frame has been put on the CRTC. */
    virtual bool isReady() const = 0;

    /** The message loop's page-flip class: reads the DRM events that are ready
        and hands each flip completion to the flipper that asked for it.  True if
        the descriptor had anything to read. */
    static bool handleDrmEvents (int drmDescriptor);

protected:
    DrmPageFlipper();

    /** What the kernel hands back with this flipper's flips and jobs: a number,
        never the flipper's address, so that a completion arriving after the
        flipper was deleted finds nothing instead of freed memory. */
    uint64 getCompletionTag() const noexcept     { return completionTag; }

    /** The live flipper with that tag, or null. */
    static DrmPageFlipper* findByCompletionTag (uint64 tag);

private:
    uint64 completionTag;

    JUCE_DECLARE_NON_COPYABLE (DrmPageFlipper)
};

//==============================================================================
/** Double-buffers two dumb buffers with page flips; used without an accelerator. */
class DrmDirectPageFlipper final  : public DrmPageFlipper
{
public:
    explicit DrmDirectPageFlipper (int drmDescriptor);
    ~DrmDirectPageFlipper() override;

    void pageFlipped() override;
    bool init (int width, int height) override;
    int getNumBuffers() const override                  { return 2; }
    DrmDumbBuffer* getBuffer (int index) const override;
    int getFrontBufferIndex() const override            { return frontIndex; }
    int getBackBufferIndex() const override             { return frontIndex ^ 1; }
    bool flip (int index, DrmScreen& screen) override;
    bool setCursor (uint32 crtcId, DrmCursor* cursor) override;
    bool moveCursor (uint32 crtcId, int x, int y) override;
    bool isReady() const override                       { return ! isFirstFrame; }

private:
    int fd;
    DrmScreen* screen = nullptr;
    OwnedArray<DrmDumbBuffer> buffers;
    int frontIndex = 0;
    Point<int> cursorHotspot;
    bool isFirstFrame = true;
};

//==============================================================================
/** The 2-D raster accelerator's requests and records, as its driver defines them. */
namespace Rga2
{
    static constexpr const char* devicePath = "/dev/rga2";

    // "XR24": 32-bit pixels, blue in the lowest byte, the top byte unused.
    static constexpr uint32 formatXRGB8888 = 0x34325258;

    struct ImportRequest
    {
        int32 dmaBufferFd;
        uint32 width;
        uint32 height;
        uint32 pitch;
        uint32 reserved;
        uint32 format;
        uint32 handle;      // returned
    };

    struct ReleaseRequest
    {
        uint32 handle;
        uint32 reserved;
    };

    struct JobRequest
    {
        uint64 userData;
        uint32 sourceHandle;
        uint32 reserved1;
        uint32 destinationHandle;
        uint32 reserved2;
        uint32 rotation;    // degrees
        uint32 reserved3;
    };

    static_assert (sizeof (ImportRequest) == 28);
    static_assert (sizeof (ReleaseRequest) == 8);
    static_assert (sizeof (JobRequest) == 32);

    // _IOWR ('R', 0x82, 28), _IOW ('R', 0x81, 8), _IOW ('R', 0x83, 32)
    static constexpr unsigned long importRequest  = 0xC01C5282;
    static constexpr unsigned long releaseRequest = 0x40085281;
    static constexpr unsigned long jobRequest     = 0x40205283;

    /** A completion record as read from the device; several may come in one read. */
    struct Completion
    {
        uint32 type;        // 0: a job completed
        uint32 length;      // of the whole record, in bytes
        uint64 userData;    // as given with the job
        uint32 status;      // 0: success
    };

    static constexpr uint32 jobCompletedType = 0;
    static constexpr size_t completionHeaderSize = 8;    // type and length
    static constexpr size_t jobCompletionSize = 20;      // up to and with the status

    /** Walks the records in bytes read from the device, never past numBytes,
        calling onRecord for each.  Stops at a record whose length is shorter than
        its own fields or longer than what is left, and returns false then. */
    bool parseCompletions (const uint8* bytes, size_t numBytes,
                           const std::function<void (const Completion&)>& onRecord);
}

//==============================================================================
/** Renders into one off-screen buffer that the accelerator copies, rotated by the
    panel's rotation, into one of two scan-out buffers, which are then flipped. */
class DrmRgaPageFlipper final  : public DrmPageFlipper
{
public:
    DrmRgaPageFlipper (int drmDescriptor, int acceleratorDescriptor, int rotationDegrees);
    ~DrmRgaPageFlipper() override;

    void pageFlipped() override;
    bool init (int width, int height) override;
    int getNumBuffers() const override                  { return 1; }
    DrmDumbBuffer* getBuffer (int index) const override;
    int getFrontBufferIndex() const override            { return 0; }
    int getBackBufferIndex() const override             { return 0; }
    bool flip (int index, DrmScreen& screen) override;
    bool setCursor (uint32 crtcId, DrmCursor* cursor) override;
    bool moveCursor (uint32 crtcId, int x, int y) override;
    bool isReady() const override                       { return ! isFirstFrame; }

    /** The accelerator finished the copy this flipper submitted last. */
    void jobCompleted();

    int getRotation() const noexcept                    { return rotation; }
    DrmDumbBuffer* getScanoutBuffer (int index) const   { return scanoutBuffers[index]; }
    int getScanoutIndex() const noexcept                { return scanoutIndex; }

    /** Maps render coordinates to scan-out coordinates. */
    const AffineTransform& getRenderToScanoutTransform() const noexcept  { return renderToScanout; }

    /** Where cursors turned with the panel are drawn. */
    DrmCursor& getOwnCursor() const noexcept            { return *ownCursor; }

    /** The message loop's accelerator class: reads the completion records that
        are ready.  True if anything was read. */
    static bool handleCompletions (int acceleratorDescriptor);

private:
    bool importBuffer (const DrmDumbBuffer& buffer, uint32& acceleratorHandle);
    void releaseHandle (uint32 acceleratorHandle);

    int fd;
    int rgaFd;
    int rotation;
    DrmScreen* screen = nullptr;
    std::unique_ptr<DrmDumbBuffer> renderBuffer;
    OwnedArray<DrmDumbBuffer> scanoutBuffers;
    int scanoutIndex = 0;
    uint32 renderHandle = 0;
    uint32 scanoutHandles[2] = { 0, 0 };
    AffineTransform renderToScanout;
    ReferenceCountedObjectPtr<DrmCursor> ownCursor;
    Point<int> cursorHotspot;
    bool isFirstFrame = true;
};

} // namespace juce
