#pragma once

#include "VxFramework/Application/WindowOSServices.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/Renderer/MeasurementRenderer.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"

#include <cstdint>

namespace Vx
{
class LControl;
class LRenderer;

// The host of one control tree inside one OS window: a distributor that the
// window's controls register with, and a queue of notifications posted to the
// window and delivered through it on the main thread.
class LRootWindow : public LNotificationDistributor, public LNotificationQueue
{
public:
    // The window's OS window; null when it has none.
    virtual IWindowOSServices* GetOSWindow() const = 0;
    // The renderer that paints the window, for measuring text.
    virtual RCPtr<LMeasurementRenderer> GetMeasurementRenderer() const = 0;
    // The same renderer for painting: controls make their offscreen surfaces
    // with it.  Null when the window has none.
    virtual RCPtr<LRenderer> GetRenderer() const = 0;

    // One idle pass: queued keys, the window's own queue (with the idle
    // notification when sendIdle), then a pending close.  True when work
    // remains.
    virtual bool ProcessIdle(bool sendIdle) = 0;
    // The next idle pass closes the OS window with the code; 0x80000008
    // without an OS window.
    virtual VxRESULT RequestClose(std::int32_t closeCode) = 0;

    // Width and height of the client area.
    virtual PointT<int> GetClientSize() = 0;
    // The client area: its origin in screen coordinates, its width and height.
    virtual RectT<int> GetClientRect() = 0;
    // Moves the OS window so that its client area becomes the rectangle
    // (screen coordinates) and repaints the top control; nothing without an OS
    // window or when the rectangle is the client area already.
    virtual void SetWindowRect(const RectT<int>& rectangle) = 0;
    // Adds the rectangle (client coordinates) to the area to repaint.
    virtual void Invalidate(const RectT<int>& rectangle) = 0;
    void InvalidateAll()
    {
        const PointT<int> size = GetClientSize();
        Invalidate(RectT<int>{0, 0, size.x, size.y});
    }

    // Window coordinates; (0, 0) without an OS window.
    virtual PointT<int> GetPointerPosition() = 0;
    // 1 left, 2 middle, 4 right.
    virtual int GetHeldButtons() = 0;
    // Shows the cursor (the arrow for null) and returns the one it replaced;
    // null without an OS window.
    virtual juce::MouseCursor* SetCursor(juce::MouseCursor* cursor) = 0;

    // The root of the window's control tree; null when there is none.
    virtual RCPtr<LControl> GetTopControl() const = 0;
    // The control with the keyboard focus; null when none has it.
    virtual RCPtr<LControl> GetFocusControl() const = 0;
    // The control that takes the focus reports itself; one that gives it up
    // reports that, and the window forgets its focus control.
    virtual void SetFocusControl(const RCPtr<LControl>& control) = 0;
    virtual void OnControlUnfocused(const RCPtr<LControl>& control) = 0;
    // The control under the pointer that last got its pointer-enter call.
    virtual RCPtr<LControl> GetHoverControl() const = 0;
    // The deepest control under the point (window coordinates) with the point
    // in its own frame; null when none.  With updateHover the hover moves to
    // it.
    virtual RCPtr<LControl> HitTest(RCPtr<LControl>& found, const PointT<int>& point, PointT<int>& pointInControl,
                                    bool updateHover) = 0;
    // The control's capture ends (an assertion when it did not hold it).
    virtual VxRESULT ReleaseCapture(const RCPtr<LControl>& control) = 0;

    VxRESULT RemoveContainedReferences() override = 0;
};
} // namespace Vx
