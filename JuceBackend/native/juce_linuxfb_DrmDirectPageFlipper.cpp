#include "juce_linuxfb_DrmDirectPageFlipper.h"
#include "juce_linuxfb_DrmCursor.h"
#include "juce_linuxfb_DrmScreen.h"

namespace juce
{

DrmDirectPageFlipper::DrmDirectPageFlipper (int drmDescriptor) : fd (drmDescriptor) {}

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

    if (isFirstFrame)
    {
        frontIndex = index;
        targetScreen.setCrtc (buffer->getFramebufferId());
        isFirstFrame = false;
        return false;
    }

    screen = &targetScreen;

    // The front buffer is the one the display shows or is about to show: after
    // a failed flip that is still the old one, which must not be drawn into.
    if (! requestPageFlip (fd, targetScreen.getCrtcId(), buffer->getFramebufferId()))
        return false;

    frontIndex = index;
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

} // namespace juce
