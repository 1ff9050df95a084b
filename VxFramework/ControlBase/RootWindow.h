#pragma once

#include "VxFramework/Application/WindowOSServices.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/Renderer/MeasurementRenderer.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"

#include <cstdint>

namespace Vx
{
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

    // One idle pass: queued keys, the window's own queue (with the idle
    // notification when sendIdle), then a pending close.  True when work
    // remains.
    virtual bool ProcessIdle(bool sendIdle) = 0;
    // The next idle pass closes the OS window with the code; 0x80000008
    // without an OS window.
    virtual VxRESULT RequestClose(std::int32_t closeCode) = 0;

    // Width and height of the client area.
    virtual PointT<int> GetClientSize() = 0;
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

    VxRESULT RemoveContainedReferences() override = 0;
};
} // namespace Vx
