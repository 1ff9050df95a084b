#include "juce_linuxfb_DrmPageFlipper.h"
#include "juce_linuxfb_DrmCursor.h"
#include "juce_linuxfb_Log.h"

#include <poll.h>
#include <unordered_map>

namespace juce
{

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

//==============================================================================
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

    // drmHandleEvent answers every failure with -1, which the line keeps.
    if (const auto result = DrmSystemCalls::get().handleEvent (drmDescriptor, context); result != 0)
        logBackendFailure ("drmHandleEvent failed: -1", -result);

    return true;
}

bool DrmPageFlipper::requestPageFlip (int drmDescriptor, uint32 crtcId, uint32 framebufferId)
{
    const auto result = DrmSystemCalls::get().pageFlip (drmDescriptor, crtcId, framebufferId, DRM_MODE_PAGE_FLIP_EVENT, reinterpret_cast<void*> ((uintptr_t) completionTag));
    if (result != 0)
    {
        logBackendFailure ("drmModePageFlip failed: " + String (result), -result);
        return false;
    }

    return true;
}

//==============================================================================
bool DrmPageFlipper::setCursorPlane (int drmDescriptor, uint32 crtcId, uint32 handle, Point<int> hotspot, Point<int>& rememberedHotspot)
{
    const auto size = handle != 0 ? (uint32) DrmCursor::size : 0u;

    if (handle == 0)
        hotspot = {};

    const auto result = DrmSystemCalls::get().setCursor (drmDescriptor, crtcId, handle, size, size, hotspot.x, hotspot.y);

    if (result != 0)
    {
        logBackendFailure ("drmModeSetCursor2 failed: " + String (result), -result);
        return false;
    }

    rememberedHotspot = hotspot;
    return true;
}

bool DrmPageFlipper::moveCursorPlane (int drmDescriptor, uint32 crtcId, Point<int> position)
{
    const auto result = DrmSystemCalls::get().moveCursor (drmDescriptor, crtcId, position.x, position.y);

    if (result != 0)
    {
        logBackendFailure ("drmModeMoveCursor failed: " + String (result), -result);
        return false;
    }

    return true;
}

uint32 DrmPageFlipper::handleOf (const DrmCursor* cursor)
{
    // A cursor whose buffer is gone shows nothing.
    return cursor != nullptr && cursor->getHandle() > 0 ? (uint32) cursor->getHandle() : 0u;
}

} // namespace juce
