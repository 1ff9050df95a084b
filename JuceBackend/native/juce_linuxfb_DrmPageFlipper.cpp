#include "juce_linuxfb_DrmPageFlipper.h"
#include "juce_linuxfb_DrmCursor.h"
#include "juce_linuxfb_DrmScreen.h"
#include "JuceBackend/juce_linuxfb_SystemCalls.h"
#include "JuceBackend/SystemPath.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <unordered_map>

namespace juce
{

namespace
{
    void writeError (const char* text)
    {
        std::fprintf (stderr, "%s\n", text);
    }

    void writeError (const char* text, long long code)
    {
        std::fprintf (stderr, "%s%lld\n", text, code);
    }

    // The kernel frees page cache on request; a dumb buffer needs physically
    // contiguous memory that the cache may hold.
    bool dropKernelCaches()
    {
        const auto path = Vx::MapSystemPath ("/proc/sys/vm/drop_caches");
        const auto fd = ::open (path.c_str(), O_WRONLY | O_CLOEXEC);

        if (fd < 0)
            return false;

        const auto written = ::write (fd, "3\n", 2);
        ::close (fd);
        return written == 2;
    }

    // Shows the cursor buffer with this handle on the CRTC (0 hides the cursor)
    // and remembers its hotspot, which every later move subtracts.
    bool setCursorPlane (int fd, uint32 crtcId, uint32 handle, Point<int> hotspot, Point<int>& rememberedHotspot)
    {
        const auto size = handle != 0 ? (uint32) DrmCursor::size : 0u;

        if (handle == 0)
            hotspot = {};

        const auto result = DrmSystemCalls::get().modeSetCursor2 (fd, crtcId, handle, size, size, hotspot.x, hotspot.y);

        if (result != 0)
        {
            writeError ("drmModeSetCursor2 failed: ", result);
            return false;
        }

        rememberedHotspot = hotspot;
        return true;
    }

    bool moveCursorPlane (int fd, uint32 crtcId, Point<int> position)
    {
        const auto result = DrmSystemCalls::get().modeMoveCursor (fd, crtcId, position.x, position.y);

        if (result != 0)
        {
            writeError ("drmModeMoveCursor failed: ", result);
            return false;
        }

        return true;
    }

    uint32 handleOf (const DrmCursor* cursor)
    {
        // A cursor whose buffer is gone shows nothing.
        return cursor != nullptr && cursor->getHandle() > 0 ? (uint32) cursor->getHandle() : 0u;
    }
}

//==============================================================================
DrmDumbBuffer::DrmDumbBuffer (int drmDescriptor) noexcept  : fd (drmDescriptor) {}

DrmDumbBuffer::~DrmDumbBuffer()
{
    destroy();
}

bool DrmDumbBuffer::create (int newWidth, int newHeight)
{
    auto& calls = DrmSystemCalls::get();

    drm_mode_create_dumb request {};
    request.height = (uint32) newHeight;
    request.width = (uint32) newWidth;
    request.bpp = 32;
    request.flags = 0;

    if (calls.drmIoctl (fd, DRM_IOCTL_MODE_CREATE_DUMB, &request) != 0)
    {
        if (! dropKernelCaches())
            return false;

        request = {};
        request.height = (uint32) newHeight;
        request.width = (uint32) newWidth;
        request.bpp = 32;

        if (calls.drmIoctl (fd, DRM_IOCTL_MODE_CREATE_DUMB, &request) != 0)
            return false;
    }

    width = newWidth;
    height = newHeight;
    handle = request.handle;
    pitch = request.pitch;
    size = request.size;
    bytesPerPixel = 4;
    return true;
}

bool DrmDumbBuffer::addFramebuffer()
{
    jassert (handle != 0);

    const auto result = DrmSystemCalls::get().modeAddFB (fd, (uint32) width, (uint32) height, 24, 32,
                                                         pitch, handle, &framebufferId);
    if (result != 0)
    {
        framebufferId = 0;
        writeError ("drmModeAddFB error: ", result);
        return false;
    }

    return true;
}

bool DrmDumbBuffer::map()
{
    auto& calls = DrmSystemCalls::get();

    drm_mode_map_dumb request {};
    request.handle = handle;

    if (calls.drmIoctl (fd, DRM_IOCTL_MODE_MAP_DUMB, &request) != 0)
        return false;

    // The whole buffer must be addressable here, also on a 32-bit target.
    if (size == 0 || size > (uint64) std::numeric_limits<size_t>::max())
        return false;

    auto* address = calls.mapMemory ((size_t) size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, request.offset);

    if (address == MAP_FAILED || address == nullptr)
        return false;

    data = static_cast<uint8*> (address);
    std::memset (data, 0, (size_t) size);
    return true;
}

void DrmDumbBuffer::destroy()
{
    auto& calls = DrmSystemCalls::get();

    if (data != nullptr)
    {
        calls.unmapMemory (data, (size_t) size);
        data = nullptr;
    }

    if (framebufferId != 0)
    {
        calls.modeRmFB (fd, framebufferId);
        framebufferId = 0;
    }

    if (size != 0)
    {
        drm_mode_destroy_dumb request {};
        request.handle = handle;
        calls.drmIoctl (fd, DRM_IOCTL_MODE_DESTROY_DUMB, &request);
        size = 0;
        handle = 0;
    }
}

//==============================================================================
namespace
{
    // Live flippers by completion tag; message thread only.
    std::unordered_map<uint64, DrmPageFlipper*>& liveFlippers()
    {
        static auto* flippers = new std::unordered_map<uint64, DrmPageFlipper*>();
        return *flippers;
    }

    // Tags travel through the kernel as pointer-sized user data, so they must
    // fit a pointer on the 32-bit target; 0 never names a flipper.
    uint64 nextCompletionTag()
    {
        static uintptr_t lastTag = 0;

        do
            ++lastTag;
        while (lastTag == 0 || liveFlippers().count (lastTag) != 0);

        return lastTag;
    }
}

DrmPageFlipper::DrmPageFlipper()  : completionTag (nextCompletionTag())
{
    liveFlippers()[completionTag] = this;
}

DrmPageFlipper::~DrmPageFlipper()
{
    liveFlippers().erase (completionTag);
}

DrmPageFlipper* DrmPageFlipper::findByCompletionTag (uint64 tag)
{
    const auto& flippers = liveFlippers();
    const auto found = flippers.find (tag);
    return found != flippers.end() ? found->second : nullptr;
}

bool DrmPageFlipper::handleDrmEvents (int drmDescriptor)
{
    pollfd entry { drmDescriptor, POLLIN, 0 };

    if (::poll (&entry, 1, 0) <= 0 || (entry.revents & POLLIN) == 0)
        return false;

    struct Handler
    {
        static void pageFlipped (int, unsigned int, unsigned int, unsigned int, void* userData)
        {
            if (auto* flipper = findByCompletionTag ((uint64) reinterpret_cast<uintptr_t> (userData)))
                flipper->pageFlipped();
        }
    };

    drmEventContext context {};
    context.version = 4;
    context.page_flip_handler = Handler::pageFlipped;

    const auto result = DrmSystemCalls::get().handleEvent (drmDescriptor, &context);

    if (result != 0)
        writeError ("drmHandleEvent failed: ", result);

    return true;
}

//==============================================================================
DrmDirectPageFlipper::DrmDirectPageFlipper (int drmDescriptor)  : fd (drmDescriptor) {}

DrmDirectPageFlipper::~DrmDirectPageFlipper() = default;

void DrmDirectPageFlipper::pageFlipped()
{
    if (screen != nullptr)
        screen->pageFlipDone();
}

bool DrmDirectPageFlipper::init (int width, int height)
{
    for (int i = 0; i < 2; ++i)
    {
        auto* buffer = buffers.add (new DrmDumbBuffer (fd));

        if (! (buffer->create (width, height) && buffer->addFramebuffer() && buffer->map()))
            return false;
    }

    return true;
}

DrmDumbBuffer* DrmDirectPageFlipper::getBuffer (int index) const
{
    return buffers[index];
}

bool DrmDirectPageFlipper::flip (int index, DrmScreen& targetScreen)
{
    auto* buffer = buffers[index];

    if (buffer == nullptr)
    {
        jassertfalse;
        return false;
    }

    frontIndex = index;

    if (isFirstFrame)
    {
        targetScreen.setCrtc (buffer->getFramebufferId());
        isFirstFrame = false;
        return false;
    }

    screen = &targetScreen;

    const auto result = DrmSystemCalls::get().modePageFlip (fd, targetScreen.getCrtcId(), buffer->getFramebufferId(),
                                                            DRM_MODE_PAGE_FLIP_EVENT,
                                                            reinterpret_cast<void*> ((uintptr_t) getCompletionTag()));
    if (result != 0)
    {
        writeError ("drmModePageFlip failed: ", result);
        return false;
    }

    return true;
}

bool DrmDirectPageFlipper::setCursor (uint32 crtcId, DrmCursor* cursor)
{
    const auto handle = handleOf (cursor);
    return setCursorPlane (fd, crtcId, handle, handle != 0 ? cursor->getHotspot() : Point<int>(), cursorHotspot);
}

bool DrmDirectPageFlipper::moveCursor (uint32 crtcId, int x, int y)
{
    return moveCursorPlane (fd, crtcId, Point<int> (x, y) - cursorHotspot);
}

//==============================================================================
bool Rga2::parseCompletions (const uint8* bytes, size_t numBytes,
                             const std::function<void (const Completion&)>& onRecord)
{
    size_t offset = 0;

    while (numBytes - offset >= completionHeaderSize)
    {
        Completion record {};
        record.type   = ByteOrder::littleEndianInt (bytes + offset);
        record.length = ByteOrder::littleEndianInt (bytes + offset + 4);

        const auto remaining = numBytes - offset;
        const size_t minimumLength = record.type == jobCompletedType ? jobCompletionSize : completionHeaderSize;

        if (record.length < minimumLength || record.length > remaining)
            return false;

        if (record.type == jobCompletedType)
        {
            record.userData = ByteOrder::littleEndianInt64 (bytes + offset + 8);
            record.status   = ByteOrder::littleEndianInt (bytes + offset + 16);
        }

        onRecord (record);
        offset += record.length;
    }

    return offset == numBytes;
}

DrmRgaPageFlipper::DrmRgaPageFlipper (int drmDescriptor, int acceleratorDescriptor, int rotationDegrees)
    : fd (drmDescriptor), rgaFd (acceleratorDescriptor), rotation (rotationDegrees),
      ownCursor (new DrmCursor (drmDescriptor))
{
}

DrmRgaPageFlipper::~DrmRgaPageFlipper()
{
    for (auto acceleratorHandle : { renderHandle, scanoutHandles[0], scanoutHandles[1] })
        if (acceleratorHandle != 0)
            releaseHandle (acceleratorHandle);

    ownCursor = nullptr;
    scanoutBuffers.clear();
    renderBuffer.reset();
}

void DrmRgaPageFlipper::pageFlipped()
{
    if (screen != nullptr)
        screen->pageFlipDone();
}

bool DrmRgaPageFlipper::init (int width, int height)
{
    const bool rotated = rotation == 90 || rotation == 270;
    const int renderWidth  = rotated ? height : width;
    const int renderHeight = rotated ? width : height;

    renderToScanout = AffineTransform::rotation ((float) rotation * 6.2831855f / 360.0f);

    auto corner = Point<float> ((float) renderWidth, (float) renderHeight).transformedBy (renderToScanout);
    // Rounded: the float turn leaves noise that truncation would make a
    // pixel's error (a half turn put everything one column left).
    const auto cornerX = roundToInt (corner.x);
    const auto cornerY = roundToInt (corner.y);
    renderToScanout = renderToScanout.translated ((float) (cornerX < 0 ? -cornerX : 0),
                                                  (float) (cornerY < 0 ? -cornerY : 0));

    renderBuffer = std::make_unique<DrmDumbBuffer> (fd);

    if (! (renderBuffer->create (renderWidth, renderHeight) && renderBuffer->map()
             && importBuffer (*renderBuffer, renderHandle)))
        return false;

    for (int i = 0; i < 2; ++i)
    {
        auto* buffer = scanoutBuffers.add (new DrmDumbBuffer (fd));

        if (! (buffer->create (width, height) && buffer->addFramebuffer()
                 && importBuffer (*buffer, scanoutHandles[i])))
            return false;
    }

    return true;
}

bool DrmRgaPageFlipper::importBuffer (const DrmDumbBuffer& buffer, uint32& acceleratorHandle)
{
    auto& calls = DrmSystemCalls::get();

    drm_prime_handle prime {};
    prime.handle = buffer.getHandle();
    prime.flags = 0;

    if (calls.drmIoctl (fd, DRM_IOCTL_PRIME_HANDLE_TO_FD, &prime) != 0)
    {
        writeError ("Failed to export DRM buffer as FD");
        return false;
    }

    Rga2::ImportRequest request {};
    request.dmaBufferFd = prime.fd;
    request.width = (uint32) buffer.getWidth();
    request.height = (uint32) buffer.getHeight();
    request.pitch = buffer.getPitch();
    request.format = Rga2::formatXRGB8888;

    const auto result = calls.deviceIoctl (rgaFd, Rga2::importRequest, &request);
    calls.closeDevice (prime.fd);

    if (result != 0)
    {
        writeError ("Failed to import DMA buffer to RGA");
        return false;
    }

    acceleratorHandle = request.handle;
    return true;
}

void DrmRgaPageFlipper::releaseHandle (uint32 acceleratorHandle)
{
    Rga2::ReleaseRequest request {};
    request.handle = acceleratorHandle;
    DrmSystemCalls::get().deviceIoctl (rgaFd, Rga2::releaseRequest, &request);
}

DrmDumbBuffer* DrmRgaPageFlipper::getBuffer (int index) const
{
    jassert (index == 0);
    return renderBuffer.get();
}

bool DrmRgaPageFlipper::flip (int index, DrmScreen& targetScreen)
{
    jassert (index == 0);

    screen = &targetScreen;
    scanoutIndex ^= 1;

    Rga2::JobRequest job {};
    job.userData = getCompletionTag();
    job.sourceHandle = renderHandle;
    job.destinationHandle = scanoutHandles[scanoutIndex];
    job.rotation = (uint32) rotation;

    if (DrmSystemCalls::get().deviceIoctl (rgaFd, Rga2::jobRequest, &job) != 0)
    {
        writeError ("Failed to submit RGA2 job");
        return false;
    }

    return true;
}

void DrmRgaPageFlipper::jobCompleted()
{
    if (screen == nullptr)
        return;

    auto* buffer = scanoutBuffers[scanoutIndex];

    if (buffer == nullptr)
        return;

    if (isFirstFrame)
    {
        screen->setCrtc (buffer->getFramebufferId());
        isFirstFrame = false;
        screen->pageFlipDone();
        return;
    }

    const auto result = DrmSystemCalls::get().modePageFlip (fd, screen->getCrtcId(), buffer->getFramebufferId(),
                                                            DRM_MODE_PAGE_FLIP_EVENT,
                                                            reinterpret_cast<void*> ((uintptr_t) getCompletionTag()));
    if (result != 0)
    {
        writeError ("drmModePageFlip failed: ", result);
        screen->pageFlipDone();
    }
}

bool DrmRgaPageFlipper::setCursor (uint32 crtcId, DrmCursor* cursor)
{
    auto handle = handleOf (cursor);

    if (handle == 0)
        return setCursorPlane (fd, crtcId, 0, {}, cursorHotspot);

    // The cursor plane is not turned by the accelerator: a turned panel needs
    // the cursor's image turned the same way, about the middle of the plane.
    const auto half = (float) DrmCursor::size / 2.0f;
    const auto turn = AffineTransform::rotation ((float) rotation * 6.2831855f / 360.0f, half, half);
    auto hotspot = cursor->getHotspot();

    if (! turn.isIdentity())
    {
        // Whole pixels: the float rotation leaves noise that truncation would
        // turn into a pixel's error.
        const auto turnedHotspot = hotspot.toFloat().transformedBy (turn);
        hotspot = { roundToInt (turnedHotspot.x), roundToInt (turnedHotspot.y) };

        if (ownCursor->getHandle() < 0 && ! ownCursor->createBuffer())
        {
            writeError ("Failed to initialize cursor");
            return false;
        }

        auto* ownPixels = new DrmMappedCursor (*ownCursor);
        Image ownImage (ownPixels);
        auto* cursorPixels = new DrmMappedCursor (*cursor);
        Image cursorImage (cursorPixels);

        if (! ownPixels->hasData() || ! cursorPixels->hasData())
            return false;

        {
            const Image::BitmapData pixels (ownImage, Image::BitmapData::writeOnly);
            std::memset (pixels.data, 0, pixels.size);
        }

        if (rotation % 90 == 0)
        {
            // Right angles move whole pixels: each goes where its centre turns to.
            const Image::BitmapData from (cursorImage, Image::BitmapData::readOnly);
            const Image::BitmapData to (ownImage, Image::BitmapData::writeOnly);

            for (int y = 0; y < DrmCursor::size; ++y)
            {
                for (int x = 0; x < DrmCursor::size; ++x)
                {
                    const auto centre = Point<float> ((float) x + 0.5f, (float) y + 0.5f).transformedBy (turn);
                    const auto toX = (int) std::floor (centre.x);
                    const auto toY = (int) std::floor (centre.y);

                    if (isPositiveAndBelow (toX, DrmCursor::size) && isPositiveAndBelow (toY, DrmCursor::size))
                        std::memcpy (to.getPixelPointer (toX, toY), from.getPixelPointer (x, y), 4);
                }
            }
        }
        else
        {
            Graphics g (ownImage);
            g.drawImageTransformed (cursorImage, turn);
        }

        handle = (uint32) ownCursor->getHandle();
    }

    return setCursorPlane (fd, crtcId, handle, hotspot, cursorHotspot);
}

bool DrmRgaPageFlipper::moveCursor (uint32 crtcId, int x, int y)
{
    const auto onScanout = Point<float> ((float) x, (float) y).transformedBy (renderToScanout);
    return moveCursorPlane (fd, crtcId, onScanout.roundToInt() - cursorHotspot);
}

bool DrmRgaPageFlipper::handleCompletions (int acceleratorDescriptor)
{
    if (acceleratorDescriptor < 0)
        return false;

    uint8 bytes[1024];
    const auto numRead = DrmSystemCalls::get().readDevice (acceleratorDescriptor, bytes, sizeof (bytes));

    if (numRead < 0)
    {
        if (errno != EAGAIN)
            writeError ("Failed to read from RGA FD: ", errno);

        return false;
    }

    if (numRead == 0)
        return false;

    const auto wellFormed = Rga2::parseCompletions (bytes, (size_t) numRead, [] (const Rga2::Completion& record)
    {
        if (record.type != Rga2::jobCompletedType)
            return;

        if (record.status != 0)
            writeError ("Bad status from RGA2: ", record.status);

        if (auto* flipper = dynamic_cast<DrmRgaPageFlipper*> (findByCompletionTag (record.userData)))
            flipper->jobCompleted();
    });

    if (! wellFormed)
        writeError ("Bad RGA2 completion record in a read of ", numRead);

    return true;
}

} // namespace juce
