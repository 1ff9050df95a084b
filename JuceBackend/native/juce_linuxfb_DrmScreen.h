#pragma once

#include "juce_linuxfb_DrmCursor.h"
#include "juce_linuxfb_DrmPageFlipper.h"

namespace juce
{

/** One connected output: its connector, CRTC and mode, the page flipper that
    owns its buffers, and its place in the global layout of the screens.

    Repaints mark rectangles dirty; a 1 ms timer then paints the showing desktop
    windows over them into the back buffer and flips it.  While a flip is
    outstanding the screen is busy and only collects rectangles, and the flip's
    completion paints again at once.  Message thread only. */
class DrmScreen  : public Timer
{
public:
    /** Takes ownership of the flipper and of the connector object. */
    DrmScreen (int drmDescriptor, std::unique_ptr<DrmPageFlipper> flipper, UniqueDrmConnector connector, uint32 crtcId, const drmModeModeInfo& mode, Rectangle<int> area, int touchRotationIndex, DrmCursor::Ptr defaultCursor);
    ~DrmScreen() override;

    /** One image per flipper buffer to paint into; the cursor plane starts hidden. */
    void createImages();

    /** Marks the part of a global rectangle on this screen dirty and schedules a paint. */
    void repaint (Rectangle<int> globalArea);

    void timerCallback() override;

    /** Paints what is dirty in the back buffer and flips it; false when the
        screen is busy, nothing was dirty, or no completion will follow. */
    bool paintAndFlip();

    /** The flip-done handling that the flipper calls: paints what became dirty meanwhile. */
    void pageFlipDone();

    /** Puts the framebuffer on the CRTC with the screen's connector and mode. */
    void setCrtc (uint32 framebufferId);

    /** Hands the flipper's back buffer to it as it is; from a flip that promises
        a completion the screen is busy until pageFlipDone. */
    bool flipBackBuffer();

    bool isBusy() const noexcept                          { return busy; }

    /** The image of a flipper buffer, and what is still to be painted into it (global coordinates). */
    Image getImage (int bufferIndex) const;
    RectangleList<int> getDirtyRegion (int bufferIndex) const;

    //==========================================================================
    /** Makes the cursor the screen's current one and applies it: none while the
        cursor is hidden, else the cursor or, without one, the default cursor. */
    bool setCursor (DrmCursor* cursor);

    /** Shows or hides the cursor plane; the current cursor is applied again on a change. */
    void showCursor (bool shouldBeShown);
    bool isCursorShown() const noexcept                   { return cursorVisible; }

    DrmCursor* getCurrentCursor() const noexcept          { return currentCursor.get(); }
    DrmCursor* getDefaultCursor() const noexcept          { return defaultCursor.get(); }

    /** Stores the cursor position, in screen coordinates, and moves the
        hardware cursor there while it is shown. */
    void setCursorPosition (int x, int y);

    Point<int> getCursorPosition() const noexcept         { return { cursorX, cursorY }; }

    //==========================================================================
    DrmPageFlipper& getFlipper() const noexcept           { return *flipper; }
    const drmModeConnector& getConnector() const noexcept { return *connector; }
    uint32 getCrtcId() const noexcept                     { return crtcId; }
    const drmModeModeInfo& getMode() const noexcept       { return mode; }

    /** In global (layout) coordinates. */
    Rectangle<int> getArea() const noexcept               { return area; }
    void setArea (Rectangle<int> newArea) noexcept        { area = newArea; }

    /** 0 none, 1 = 90, 2 = 180, 3 = 270 degrees. */
    int getTouchRotationIndex() const noexcept            { return touchRotationIndex; }

private:
    class DrmImage;

    struct ImageSlot
    {
        DrmScreen& owner;
        Image image;
        RectangleList<int> dirtyRegion;
    };

    bool paintSlot (ImageSlot&);

    int fd;
    std::unique_ptr<DrmPageFlipper> flipper;
    UniqueDrmConnector connector;
    uint32 crtcId;
    drmModeModeInfo mode;
    bool busy = false;
    OwnedArray<ImageSlot> imageSlots;
    DrmCursor::Ptr defaultCursor;
    DrmCursor::Ptr currentCursor;
    int cursorX;
    int cursorY;
    bool cursorVisible = false;
    Rectangle<int> area;
    int touchRotationIndex;

    JUCE_DECLARE_NON_COPYABLE (DrmScreen)
};

} // namespace juce
