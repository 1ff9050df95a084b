#include "juce_linuxfb_DrmScreen.h"
#include "juce_linuxfb_Log.h"
#include "juce_linuxfb_SoftwareRenderer.h"

#include <cstring>

namespace juce
{

//==============================================================================
/** A flipper's buffer as a JUCE image: JUCE's software renderer draws straight
    into the memory the display scans out (or the accelerator copies from).
    The buffer belongs to the flipper. */
class DrmScreen::DrmImage  : public ImagePixelData
{
public:
    DrmImage (DrmDumbBuffer& bufferToUse, int width, int height)
        : ImagePixelData (Image::ARGB, width, height), buffer (bufferToUse)
    {
    }

    std::unique_ptr<LowLevelGraphicsContext> createLowLevelContext() override
    {
        return std::make_unique<LinuxFbSoftwareRenderer> (Image (this));
    }

    ImagePixelData::Ptr clone() override
    {
        jassertfalse;
        return {};
    }

    std::unique_ptr<ImageType> createType() const override
    {
        return std::make_unique<NativeImageType>();
    }

    void initialiseBitmapData (Image::BitmapData& bitmap, int x, int y, Image::BitmapData::ReadWriteMode mode) override
    {
        const auto offset = (size_t) y * buffer.getPitch() + (size_t) x * (size_t) buffer.getBytesPerPixel();
        bitmap.data = buffer.getData() + offset;
        bitmap.size = (size_t) buffer.getSize() - offset;
        bitmap.pixelFormat = Image::ARGB;
        bitmap.lineStride = (int) buffer.getPitch();
        bitmap.pixelStride = buffer.getBytesPerPixel();

        if (mode != Image::BitmapData::readOnly)
            sendDataChangeMessage();
    }

private:
    DrmDumbBuffer& buffer;
};

//==============================================================================
namespace
{
    // A JUCE pixel is one native 32-bit ARGB value.
    constexpr uint32 opaqueBlack = 0xff000000;

    void clearToBlack (Image& image, const RectangleList<int>& globalRegion, Point<int> screenOrigin)
    {
        if (globalRegion.isEmpty())
            return;

        const Image::BitmapData pixels (image, Image::BitmapData::writeOnly);

        for (const auto& rectangle : globalRegion)
            LinuxFbSoftwareRenderer::fillPixels (pixels, rectangle - screenOrigin, opaqueBlack);
    }
}

//==============================================================================
DrmScreen::DrmScreen (int drmDescriptor, std::unique_ptr<DrmPageFlipper> pageFlipper, UniqueDrmConnector connectorObject, uint32 crtc, const drmModeModeInfo& modeInfo, Rectangle<int> screenArea, int touchRotation, DrmCursor::Ptr cursor)
    : fd (drmDescriptor),
      flipper (std::move (pageFlipper)),
      connector (std::move (connectorObject)),
      crtcId (crtc),
      mode (modeInfo),
      defaultCursor (std::move (cursor)),
      cursorX (screenArea.getWidth() / 2),
      cursorY (screenArea.getHeight() / 2),
      area (screenArea),
      touchRotationIndex (touchRotation)
{
}

DrmScreen::~DrmScreen()
{
    stopTimer();
    currentCursor = nullptr;
    defaultCursor = nullptr;

    // The images draw into the flipper's buffers, and the buffers go before
    // the connector they were shown on.
    imageSlots.clear();
    flipper.reset();
    connector.reset();
}

void DrmScreen::createImages()
{
    for (int i = 0; i < flipper->getNumBuffers(); ++i)
    {
        auto* buffer = flipper->getBuffer (i);

        // Every buffer a flipper hands out is mapped and as large as the area.
        if (buffer == nullptr || buffer->getData() == nullptr
             || buffer->getWidth() < area.getWidth() || buffer->getHeight() < area.getHeight())
        {
            jassertfalse;
            break;
        }

        imageSlots.add (new ImageSlot { *this, Image (new DrmImage (*buffer, area.getWidth(), area.getHeight())), {} });
    }

    setCursor (nullptr);
}

//==============================================================================
void DrmScreen::repaint (Rectangle<int> globalArea)
{
    const auto onScreen = globalArea.getIntersection (area);

    if (onScreen.isEmpty())
        return;

    // Without JUCE's message loop no timer would ever fire: the rectangle
    // waits for the next paint.
    if (! busy && ! isTimerRunning() && MessageManager::getInstanceWithoutCreating() != nullptr)
        startTimer (1);

    for (auto* slot : imageSlots)
        slot->dirtyRegion.add (onScreen);
}

void DrmScreen::timerCallback()
{
    stopTimer();
    paintAndFlip();
}

bool DrmScreen::paintAndFlip()
{
    if (busy)
        return false;

    const auto index = flipper->getBackBufferIndex();
    auto* slot = imageSlots[index];

    if (slot == nullptr || ! paintSlot (*slot))
        return false;

    busy = flipper->flip (index, *this);
    return busy;
}

bool DrmScreen::paintSlot (ImageSlot& slot)
{
    RectangleList<int> region;
    region.swapWith (slot.dirtyRegion);

    if (region.getBounds().isEmpty())
        return false;

    region.clipTo (area);
    const auto screenOrigin = area.getPosition();

    // Without JUCE's message loop there are no windows (and no desktop to ask).
    if (MessageManager::getInstanceWithoutCreating() == nullptr)
    {
        clearToBlack (slot.image, region, screenOrigin);
        return true;
    }

    auto& desktop = Desktop::getInstance();

    // What no opaque window covers would keep whatever was drawn there before
    // (a window since moved or closed): it starts black.
    RectangleList<int> uncovered (region);

    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* component = desktop.getComponent (i); component != nullptr && component->isShowing() && component->isOpaque())
            if (auto* peer = component->getPeer())
                uncovered.subtract (peer->getBounds());

    clearToBlack (slot.image, uncovered, screenOrigin);

    // Bottom to top, each window over what it covers.
    for (int i = 0; i < desktop.getNumComponents(); ++i)
    {
        auto* component = desktop.getComponent (i);

        if (component == nullptr || ! component->isShowing())
            continue;

        auto* peer = component->getPeer();

        if (peer == nullptr)
            continue;

        const auto peerBounds = peer->getBounds();
        RectangleList<int> clip (region);
        clip.clipTo (peerBounds);

        if (clip.isEmpty())
            continue;

        clip.offsetAll (-screenOrigin);

        // The backend's renderer rather than the look-and-feel's: JUCE's, with
        // its solid fills (most of a full repaint) written a row at a time.
        LinuxFbSoftwareRenderer context (slot.image, peerBounds.getPosition() - screenOrigin, clip);
        peer->handlePaint (context);
    }

    return true;
}

void DrmScreen::pageFlipDone()
{
    busy = false;
    paintAndFlip();
}

void DrmScreen::setCrtc (uint32 framebufferId)
{
    uint32 connectorId = connector->connector_id;

    const auto result = DrmSystemCalls::get().setCrtc (fd, crtcId, framebufferId, 0, 0, &connectorId, 1, &mode);

    if (result != 0)
        logBackendFailure ("drmModeSetCrtc failed: " + String (result), -result);
}

bool DrmScreen::flipBackBuffer()
{
    if (busy)
        return false;

    busy = flipper->flip (flipper->getBackBufferIndex(), *this);
    return busy;
}

Image DrmScreen::getImage (int bufferIndex) const
{
    if (auto* slot = imageSlots[bufferIndex])
        return slot->image;

    return {};
}

RectangleList<int> DrmScreen::getDirtyRegion (int bufferIndex) const
{
    if (auto* slot = imageSlots[bufferIndex])
        return slot->dirtyRegion;

    return {};
}

//==============================================================================
bool DrmScreen::setCursor (DrmCursor* cursor)
{
    currentCursor = cursor;

    auto* effective = cursorVisible ? (cursor != nullptr ? cursor : defaultCursor.get()) : nullptr;

    if (! flipper->setCursor (crtcId, effective))
        return false;

    setCursorPosition (cursorX, cursorY);
    return true;
}

void DrmScreen::showCursor (bool shouldBeShown)
{
    if (shouldBeShown == cursorVisible)
        return;

    cursorVisible = shouldBeShown;
    setCursor (currentCursor.get());
}

void DrmScreen::setCursorPosition (int x, int y)
{
    cursorX = x;
    cursorY = y;

    if (cursorVisible)
        flipper->moveCursor (crtcId, x, y);
}

} // namespace juce
