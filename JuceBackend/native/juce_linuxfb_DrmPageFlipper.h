#pragma once

#include "juce_linuxfb_DrmDumbBuffer.h"

namespace juce
{

class DrmScreen;
class DrmCursor;

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

    /** Requests a flip to the framebuffer on the CRTC whose completion comes
        back to this flipper; false (and a line on stderr) when it fails. */
    bool requestPageFlip (int drmDescriptor, uint32 crtcId, uint32 framebufferId);

    /** Shows the cursor buffer with this handle on the CRTC (0 hides the
        cursor) and remembers its hotspot, which every later move subtracts. */
    static bool setCursorPlane (int drmDescriptor, uint32 crtcId, uint32 handle, Point<int> hotspot, Point<int>& rememberedHotspot);
    static bool moveCursorPlane (int drmDescriptor, uint32 crtcId, Point<int> position);

    /** The cursor's buffer handle; 0 (nothing shown) without a cursor or buffer. */
    static uint32 handleOf (const DrmCursor* cursor);

private:
    uint64 completionTag;

    JUCE_DECLARE_NON_COPYABLE (DrmPageFlipper)
};

} // namespace juce
