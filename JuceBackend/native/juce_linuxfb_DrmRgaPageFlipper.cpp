#include "juce_linuxfb_DrmRgaPageFlipper.h"
#include "juce_linuxfb_DrmCursor.h"
#include "juce_linuxfb_DrmScreen.h"
#include "juce_linuxfb_Log.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace juce
{

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
    const int renderWidth = rotated ? height : width;
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
    int exported = -1;

    if (const auto result = calls.exportDumbBuffer (fd, buffer.getHandle(), exported); result != 0)
    {
        logBackendFailure ("Failed to export DRM buffer as FD", -result);
        return false;
    }

    // The accelerator keeps its own reference to the buffer: the descriptor
    // goes once the import is done, whatever its outcome.
    const UniqueDescriptor<DrmSystemCalls> dmaBuffer (calls, exported);

    Rga2::ImportRequest request {};
    request.dmaBufferFd = dmaBuffer.get();
    request.width = (uint32) buffer.getWidth();
    request.height = (uint32) buffer.getHeight();
    request.pitch = buffer.getPitch();
    request.format = Rga2::formatXRGB8888;

    if (const auto result = RgaSystemCalls::get().importBuffer (rgaFd, request); result != 0)
    {
        logBackendFailure ("Failed to import DMA buffer to RGA", -result);
        return false;
    }

    acceleratorHandle = request.handle;
    return true;
}

void DrmRgaPageFlipper::releaseHandle (uint32 acceleratorHandle)
{
    Rga2::ReleaseRequest request {};
    request.handle = acceleratorHandle;
    RgaSystemCalls::get().releaseBuffer (rgaFd, request);
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

    if (const auto result = RgaSystemCalls::get().submitJob (rgaFd, job); result != 0)
    {
        logBackendFailure ("Failed to submit RGA2 job", -result);
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

    // A flip that fails still ends the frame, so that the screen draws on.
    if (! requestPageFlip (fd, screen->getCrtcId(), buffer->getFramebufferId()))
        screen->pageFlipDone();
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

        if (ownCursor->getHandle() < 0)
        {
            if (int error = 0; ! ownCursor->createBuffer (error))
            {
                logBackendFailure ("Failed to initialize cursor", error);
                return false;
            }
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
    const auto numRead = RgaSystemCalls::get().readCompletions (acceleratorDescriptor, bytes, sizeof (bytes));

    if (numRead < 0)
    {
        if (numRead != -EAGAIN)
            logBackendFailure ("Failed to read from RGA FD: " + String ((int) -numRead), (int) -numRead);

        return false;
    }

    if (numRead == 0)
        return false;

    const auto wellFormed = Rga2::parseCompletions (bytes, (size_t) numRead, [] (const Rga2::Completion& record)
                                                    {
        if (record.type != Rga2::jobCompletedType)
            return;

        if (record.status != 0)
            logBackendFailure ("Bad status from RGA2: " + String (record.status));

        if (auto* flipper = dynamic_cast<DrmRgaPageFlipper*> (findByCompletionTag (record.userData)))
            flipper->jobCompleted(); });

    if (! wellFormed)
        logBackendFailure ("Bad RGA2 completion record in a read of " + String ((int64) numRead));

    return true;
}

} // namespace juce
