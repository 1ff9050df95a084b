#pragma once

#include "juce_linuxfb_DrmPageFlipper.h"

#include <xf86drmMode.h>

namespace juce
{

/** One connected output: its connector, CRTC and mode, the page flipper that
    owns its buffers, and its place in the global layout of the screens. */
class DrmScreen
{
public:
    /** Takes ownership of the flipper and of the connector object. */
    DrmScreen (int drmDescriptor, std::unique_ptr<DrmPageFlipper> flipper, drmModeConnectorPtr connector,
               uint32 crtcId, const drmModeModeInfo& mode, Rectangle<int> area, int touchRotationIndex);
    ~DrmScreen();

    /** Puts the framebuffer on the CRTC with the screen's connector and mode. */
    void setCrtc (uint32 framebufferId);

    /** Hands the flipper's back buffer to it; from a flip that promises a
        completion the screen is busy until pageFlipDone. */
    bool flipBackBuffer();

    /** The flip-done handling that the flipper calls. */
    void pageFlipDone();

    bool isBusy() const noexcept                          { return busy; }

    /** Stores the cursor position, in screen coordinates, and moves the
        hardware cursor there while it is shown. */
    void setCursorPosition (int x, int y);

    Point<int> getCursorPosition() const noexcept         { return { cursorX, cursorY }; }

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
    struct ConnectorDeleter
    {
        void operator() (drmModeConnectorPtr) const;
    };

    int fd;
    std::unique_ptr<DrmPageFlipper> flipper;
    std::unique_ptr<drmModeConnector, ConnectorDeleter> connector;
    uint32 crtcId;
    drmModeModeInfo mode;
    bool busy = false;
    int cursorX;
    int cursorY;
    bool cursorVisible = false;
    Rectangle<int> area;
    int touchRotationIndex;

    JUCE_DECLARE_NON_COPYABLE (DrmScreen)
};

} // namespace juce
