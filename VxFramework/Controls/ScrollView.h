#pragma once

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/Controls/ScrollBar.h"
#include "VxFramework/Notification/NotificationHandler.h"
#include "VxFramework/ObjectBase/Result.h"

#include <cstdint>

namespace Vx
{
// A control with a scrolled client area: it keeps a client extent (the size
// of the content), shows its scroll-bar parts "hBar" and "vBar" (with the
// "corner" carrying their thickness) when the content does not fit, keeps
// their ranges and thumbs in step with the extent and the viewport, turns bar
// movements into scroll offsets and back, and scrolls with the wheel.  Only a
// base: panels, list boxes, text boxes and dialogs derive from it.
class LScrollView : public LControl
{
public:
    LScrollView(const RCPtr<LControl>& parent, const Text& name);
    ~LScrollView() override;

    VxRESULT OnBoundsChanging() override;
    VxRESULT OnBoundsChanged() override;
    VxRESULT OnScrollOffsetChanged(const PointT<double>& oldOffset, const PointT<double>& newOffset) override;
    VxRESULT InvalidateChild(const RCPtr<LControl>& child) override;
    VxRESULT OnChildChanged(const RCPtr<LControl>& child) override;
    PointT<double> GetMinimumSize() override;
    PointT<double> SetScrollOffset(const PointT<double>& offset) override;
    RectT<double> GetScrollBounds() override;
    // The viewport: the current look's rectangle less the shown bars.
    RectT<double> GetDragBounds(const RCPtr<LControl>& child) override;
    VxRESULT OnChildRemoved(const RCPtr<LControl>& child, std::int32_t formerIndex) override;
    VxRESULT ApplyDescriptor(const RCPtr<LControlDescriptor>& descriptor) override;
    VxRESULT ProcessMouseWheel(const RCPtr<LMouseWheelParam>& param) override;
    VxRESULT ProcessHorizontalMouseWheel(const RCPtr<LMouseWheelParam>& param) override;
    VxRESULT Initialize() override;
    // AUTO_CLIENT_EXTENT_X and AUTO_CLIENT_EXTENT_Y.
    VxRESULT ApplyCreateParams() override;
    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;
    RectT<double> GetVisibleContentRect() override;

    // After a new extent is stored: the layout, and the offscreen surface
    // follows the content.
    virtual VxRESULT OnClientExtentChanged();
    // The viewport changed.
    virtual VxRESULT OnClientAreaChanged() { return VXR_OK; }
    // Axis 0: the horizontal bar appeared or went, 1: the vertical one.
    virtual VxRESULT OnScrollBarVisibilityChanged(int /*axis*/) { return VXR_OK; }

    // 1 (nothing sent) when neither dimension changed by 2.220446049250313e-15
    // or more; else 0 after NID_CLIENT_EXTENT_CHANGE.  A dimension that is
    // negative or no number is an assertion and taken as 0.
    VxRESULT SetClientExtent(const PointT<double>& extent);
    const PointT<double>& GetClientExtent() const noexcept { return m_clientExtent; }
    // Mode 0 off, 1 width from the children, 2 height, 3 both; 0.
    VxRESULT SetAutoClientExtent(std::int32_t mode, std::int32_t extraX, std::int32_t extraY);
    std::int32_t GetAutoClientExtentMode() const noexcept { return m_autoExtentMode; }
    // 1 when the mode is off, else SetClientExtent's result.
    VxRESULT UpdateClientExtent();
    // Which bars show; 1 on re-entry.
    VxRESULT UpdateLayout();
    void UpdateScrollBarRanges();
    // Per axis the extent less the viewport, not below 0.
    PointT<double> GetScrollRange();
    // The corner's size, else the vertical bar's width and the horizontal
    // bar's height.
    PointT<double> GetScrollBarThickness() const;

    const RCPtr<LScrollbar>& GetHorizontalBar() const noexcept { return m_hBar; }
    const RCPtr<LScrollbar>& GetVerticalBar() const noexcept { return m_vBar; }

protected:
    // Set directly by derived classes (1 and the row height: the vertical bar
    // counts whole items), which then call UpdateScrollBarRanges.
    std::int32_t m_verticalItemMode = 0;
    std::int32_t m_itemHeight = 0;

private:
    VxRESULT BindParts();
    // A child moved or changed size: the layout for the bars and the
    // corner, the extent for the content (not while the view itself lays
    // out, scrolls or changes size).
    void OnChildGeometryChanged(const RCPtr<LControl>& child);
    void SetScrollBarVisible(int axis, bool show);
    void UpdateBarRange(int axis);
    // The children's bounding extent, hidden ones too.
    PointT<double> GetChildrenExtent() const;
    NotificationHandlerResultCode OnScrollBarValueChange(const RCPtr<LNotificationDistributor>& from,
                                                         const ConstRCPtr<LNotification>& notification);

    RCPtr<LNotificationHandler<LScrollView>> m_viewHandler;
    bool m_viewInLayout = false;
    bool m_inSetScrollOffset = false;
    bool m_viewBoundsChanging = false;
    RCPtr<LScrollbar> m_hBar;
    RCPtr<LScrollbar> m_vBar;
    RCPtr<LControl> m_corner;
    PointT<double> m_clientExtent{0.0, 0.0};
    double m_verticalBarThickness = 0.0;
    double m_horizontalBarThickness = 0.0;
    std::int32_t m_autoExtentMode = 0;
    std::int32_t m_autoExtentExtraX = 0;
    std::int32_t m_autoExtentExtraY = 0;
};
} // namespace Vx
