#include "VxFramework/Controls/ScrollView.h"

#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/System/KeyUtils.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <algorithm>
#include <cmath>

namespace Vx
{
namespace
{
constexpr const char* kValueChangeId = "NID_VALUE_CHANGE";
constexpr double kExtentTolerance = 2.220446049250313e-15;
constexpr double kUnbounded = 4503599627370496.0;

double& On(PointT<double>& point, int axis)
{
    return axis == 0 ? point.x : point.y;
}

double On(const PointT<double>& point, int axis)
{
    return axis == 0 ? point.x : point.y;
}

double SizeOn(const RectT<double>& rect, int axis)
{
    return axis == 0 ? rect.width : rect.height;
}

bool IsTrueParam(const RCPtr<LStringTable>& parameters, const char* key)
{
    StringT<char, unsigned short> value;
    return !parameters.IsNull() && parameters->Lookup(key, value) && value.Trim().ToLower() == "true";
}
} // namespace

LScrollView::LScrollView(const RCPtr<LControl>& parent, const Text& name) : LControl(parent, name) {}

LScrollView::~LScrollView()
{
    m_corner = nullptr;
    m_vBar = nullptr;
    m_hBar = nullptr;
    m_viewHandler = nullptr;
}

VxRESULT LScrollView::Initialize()
{
    const VxRESULT result = LControl::Initialize();
    if (result < 0)
    {
        VX_ASSERT_FALSE();
        return result;
    }
    m_viewHandler = new LNotificationHandler<LScrollView>(this);
    m_corner = FindChild("corner");
    m_hBar = RCPtr<LScrollbar>(dynamic_cast<LScrollbar*>(FindChild("hBar").Get()));
    m_vBar = RCPtr<LScrollbar>(dynamic_cast<LScrollbar*>(FindChild("vBar").Get()));
    return BindParts();
}

VxRESULT LScrollView::BindParts()
{
    m_verticalBarThickness = 0.0;
    m_horizontalBarThickness = 0.0;
    if (!m_corner.IsNull())
    {
        // The skin's sizes, not the current ones: a hidden bar has none.
        const RCPtr<LControlDescriptor>& descriptor = m_corner->GetDescriptor();
        if (!descriptor.IsNull() && !descriptor->GetLayout().IsNull())
        {
            m_verticalBarThickness = descriptor->GetLayout()->XSizeAbs;
            m_horizontalBarThickness = descriptor->GetLayout()->YSizeAbs;
        }
    }
    for (int axis = 0; axis < 2; ++axis)
    {
        const RCPtr<LScrollbar>& bar = axis == 0 ? m_hBar : m_vBar;
        if (bar.IsNull())
            continue;
        // A skin applied again keeps the one subscription.
        if (!IsCreated() && m_viewHandler->Register(&LScrollView::OnScrollBarValueChange,
                                                    RCPtr<LNotificationDistributor>(bar), kValueChangeId, 0) < 0)
            VX_ASSERT_FALSE();
        double& thickness = axis == 0 ? m_horizontalBarThickness : m_verticalBarThickness;
        if (thickness == 0.0)
            thickness = axis == 0 ? bar->GetBounds().height : bar->GetBounds().width;
    }
    UpdateLayout();
    return VXR_OK;
}

// ---- Extent ------------------------------------------------------------------------

VxRESULT LScrollView::SetClientExtent(const PointT<double>& extent)
{
    PointT<double> checked = extent;
    for (int axis = 0; axis < 2; ++axis)
    {
        if (!(On(checked, axis) >= 0.0) || std::isinf(On(checked, axis)))
        {
            // Content of a negative or endless size would wreck every range.
            VX_ASSERT_FALSE();
            On(checked, axis) = 0.0;
        }
    }
    if (std::fabs(checked.x - m_clientExtent.x) < kExtentTolerance &&
        std::fabs(checked.y - m_clientExtent.y) < kExtentTolerance)
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);
    m_clientExtent = checked;
    OnClientExtentChanged();
    RCPtr<LNotification> notification;
    LNotification::Create(notification, "NID_CLIENT_EXTENT_CHANGE", nullptr);
    if (!notification.IsNull())
        Notify(notification);
    return VXR_OK;
}

VxRESULT LScrollView::OnClientExtentChanged()
{
    UpdateLayout();
    if (IsOffscreenRendering())
        UpdateOffscreenSurface();
    return VXR_OK;
}

VxRESULT LScrollView::SetAutoClientExtent(std::int32_t mode, std::int32_t extraX, std::int32_t extraY)
{
    m_autoExtentMode = mode;
    m_autoExtentExtraX = extraX;
    m_autoExtentExtraY = extraY;
    UpdateClientExtent();
    return VXR_OK;
}

PointT<double> LScrollView::GetChildrenExtent() const
{
    PointT<double> extent{0.0, 0.0};
    for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
    {
        const RCPtr<LControl>& child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
        const RectT<double>& bounds = child->GetBounds();
        const double x = RoundHalfAwayFromZero<double>(bounds.x);
        const double y = RoundHalfAwayFromZero<double>(bounds.y);
        const double width = RoundHalfAwayFromZero<double>(bounds.width);
        const double height = RoundHalfAwayFromZero<double>(bounds.height);
        if (!child->IsDocked(0))
            extent.x = std::max(extent.x, x + width);
        if (!child->IsDocked(1))
            extent.y = std::max(extent.y, y + height);
    }
    return extent;
}

VxRESULT LScrollView::UpdateClientExtent()
{
    if (m_autoExtentMode == 0)
        return VXR_NOTHING_DONE;
    PointT<double> computed = GetChildrenExtent();
    computed.x += m_autoExtentExtraX;
    computed.y += m_autoExtentExtraY;
    PointT<double> extent = m_clientExtent;
    switch (m_autoExtentMode)
    {
    case 1:
        extent.x = computed.x;
        break;
    case 2:
        extent.y = computed.y;
        break;
    case 3:
        extent = computed;
        break;
    default:
        VX_ASSERT_FALSE();
        return VXR_OK;
    }
    return SetClientExtent(extent);
}

// ---- Bars ------------------------------------------------------------------------------

PointT<double> LScrollView::GetScrollBarThickness() const
{
    if (!m_corner.IsNull())
        return PointT<double>{m_corner->GetBounds().width, m_corner->GetBounds().height};
    return PointT<double>{m_vBar.IsNull() ? 0.0 : m_vBar->GetBounds().width,
                          m_hBar.IsNull() ? 0.0 : m_hBar->GetBounds().height};
}

RectT<double> LScrollView::GetDragBounds(const RCPtr<LControl>& /*child*/)
{
    RectT<double> viewport = GetLookBounds(-1);
    const PointT<double> thickness = GetScrollBarThickness();
    if (!m_vBar.IsNull() && m_vBar->IsVisible(false))
        viewport.width -= thickness.x;
    if (!m_hBar.IsNull() && m_hBar->IsVisible(false))
        viewport.height -= thickness.y;
    viewport.width = std::max(0.0, viewport.width);
    viewport.height = std::max(0.0, viewport.height);
    return viewport;
}

PointT<double> LScrollView::GetScrollRange()
{
    const RectT<double> viewport = GetDragBounds(nullptr);
    return PointT<double>{std::max(0.0, m_clientExtent.x - viewport.width),
                          std::max(0.0, m_clientExtent.y - viewport.height)};
}

RectT<double> LScrollView::GetScrollBounds()
{
    const PointT<double> range = GetScrollRange();
    return RectT<double>{0.0, 0.0, m_clientExtent.x > 0.0 ? range.x : kUnbounded,
                         m_clientExtent.y > 0.0 ? range.y : kUnbounded};
}

VxRESULT LScrollView::UpdateLayout()
{
    if (m_viewInLayout)
        return VXR_NOTHING_DONE;
    m_viewInLayout = true;
    const RCPtr<LControl> self(this);

    const PointT<double> thickness = GetScrollBarThickness();
    const bool hadWidth = thickness.x > 0.0;
    const bool hadHeight = thickness.y > 0.0;
    const RectT<double> viewport = GetDragBounds(nullptr);
    const double fullWidth = viewport.width + (hadWidth ? m_verticalBarThickness : 0.0);
    const double fullHeight = viewport.height + (hadHeight ? m_horizontalBarThickness : 0.0);

    UpdateClientExtent();

    bool needV = m_clientExtent.y > fullHeight;
    const double availableWidth = needV ? fullWidth - m_verticalBarThickness : fullWidth;
    const bool needH = m_clientExtent.x > availableWidth;
    if (needH && !needV)
        needV = m_clientExtent.y > fullHeight - m_horizontalBarThickness;
    SetScrollBarVisible(1, needV);
    SetScrollBarVisible(0, needH);

    UpdateScrollBarRanges();

    if (hadWidth != (!m_vBar.IsNull() && m_vBar->IsVisible(false)))
        OnScrollBarVisibilityChanged(1);
    if (hadHeight != (!m_hBar.IsNull() && m_hBar->IsVisible(false)))
        OnScrollBarVisibilityChanged(0);

    const RectT<double> after = GetDragBounds(nullptr);
    if (after.x != viewport.x || after.y != viewport.y || after.width != viewport.width ||
        after.height != viewport.height)
        OnClientAreaChanged();

    UpdateClientExtent();
    m_viewInLayout = false;
    return VXR_OK;
}

void LScrollView::SetScrollBarVisible(int axis, bool show)
{
    const RCPtr<LScrollbar>& bar = axis == 0 ? m_hBar : m_vBar;
    if (bar.IsNull() || bar->IsVisible(false) == show)
        return;
    const RCPtr<LControl> target = m_corner.IsNull() ? RCPtr<LControl>(bar) : m_corner;
    // The cross axis: the horizontal bar's height, the vertical bar's width.
    const int cross = axis == 0 ? 1 : 0;
    const double thickness = axis == 0 ? m_horizontalBarThickness : m_verticalBarThickness;
    LLayoutDescriptor::PositionSpec position;
    LLayoutDescriptor::SizeSpec size;
    if (target->GetAxisPlacement(cross, position, size) < 0)
    {
        VX_ASSERT_FALSE();
        return;
    }
    size.reference = SizeReference::Self;
    size.controlName = Text();
    size.abs = show ? std::trunc(thickness) : 0.0;
    target->SetAxisPlacement(cross, position, size);
    if (bar->IsVisible(false) != show && !(show && thickness == 0.0))
        VX_ASSERT_FALSE();
}

void LScrollView::UpdateScrollBarRanges()
{
    UpdateBarRange(0);
    UpdateBarRange(1);
}

void LScrollView::UpdateBarRange(int axis)
{
    const RCPtr<LScrollbar> bar = axis == 0 ? m_hBar : m_vBar;
    if (bar.IsNull() || bar->GetParent().IsNull())
        return;
    const RectT<double> viewport = GetDragBounds(nullptr);
    if (axis == 1 && m_verticalItemMode != 0)
    {
        if (m_verticalItemMode != 1)
            VX_ASSERT_FALSE();
        // Rows of no height would make every count endless.
        if (m_itemHeight <= 0)
        {
            VX_ASSERT_FALSE();
            return;
        }
        const std::int64_t items = static_cast<std::int64_t>(m_clientExtent.y / m_itemHeight);
        const std::int64_t visible = static_cast<std::int64_t>(viewport.height / m_itemHeight);
        const double line = items > visible ? 1.0 / static_cast<double>(items - visible) : 1.0;
        bar->SetLineStep(line);
        bar->SetPageStep(std::min(1.0, static_cast<double>(visible) * line));
        bar->SetThumbSize(items > visible ? static_cast<double>(visible) / static_cast<double>(items) : 1.0);
        const double maxItem = items > visible ? static_cast<double>(items - visible) : 0.0;
        const double current = bar->NormalizedToValue(bar->GetValue());
        bar->LControl::SetValueRange(0, 0.0, maxItem);
        bar->SetValue(bar->ValueToNormalized(std::min(maxItem, current)));
        return;
    }

    const double size = SizeOn(viewport, axis);
    const double extent = On(m_clientExtent, axis);
    const double range = extent - size;
    float thumb = 1.0f;
    float page = 1.0f;
    if (extent > size)
    {
        thumb = static_cast<float>(size / extent);
        page = std::clamp(static_cast<float>(size / (extent - size)), 0.0f, 1.0f);
    }
    bar->SetValueRange(0, 0.0, range);
    bar->SetThumbSize(thumb);
    bar->SetPageStep(page);
    bar->SetLineStep(static_cast<double>(page / 10.0f));
    const double offset = std::max(0.0, RoundHalfAwayFromZero<double>(On(GetScrollRange(), axis) * bar->GetValue()));
    if (offset != On(m_scrollOffset, axis))
        SetScrollOffsetAxis(axis, offset);
}

NotificationHandlerResultCode LScrollView::OnScrollBarValueChange(const RCPtr<LNotificationDistributor>& from,
                                                                  const ConstRCPtr<LNotification>& /*notification*/)
{
    const int axis = from.Get() == static_cast<LNotificationDistributor*>(m_hBar.Get())   ? 0
                     : from.Get() == static_cast<LNotificationDistributor*>(m_vBar.Get()) ? 1
                                                                                          : -1;
    if (axis < 0)
        return 1;
    const RCPtr<LScrollbar>& bar = axis == 0 ? m_hBar : m_vBar;
    const double value = bar->NormalizedToValue(bar->GetValue());
    const double offset =
        axis == 1 && m_verticalItemMode != 0 ? std::trunc(value) * m_itemHeight : RoundHalfAwayFromZero<double>(value);
    SetScrollOffsetAxis(axis, offset);
    return 1;
}

VxRESULT LScrollView::OnScrollOffsetChanged(const PointT<double>& oldOffset, const PointT<double>& newOffset)
{
    for (int axis = 0; axis < 2; ++axis)
    {
        const RCPtr<LScrollbar> bar = axis == 0 ? m_hBar : m_vBar;
        if (bar.IsNull() || m_viewHandler.IsNull())
            continue;
        // The bar's change must not come back as a scroll.
        const LNotificationHandler<LScrollView>::SuspendRegistration suspended(
            m_viewHandler, RCPtr<LNotificationDistributor>(bar), kValueChangeId);
        const double range = On(GetScrollRange(), axis);
        const double offset = On(newOffset, axis);
        if (range > 0.0)
            bar->SetValue(offset / range);
        else
        {
            if (offset != 0.0)
                VX_ASSERT_FALSE();
            bar->SetValue(0.0);
        }
    }
    return LControl::OnScrollOffsetChanged(oldOffset, newOffset);
}

// ---- Wheel -------------------------------------------------------------------------------

VxRESULT LScrollView::ProcessMouseWheel(const RCPtr<LMouseWheelParam>& param)
{
    const bool h = !m_hBar.IsNull() && m_hBar->IsVisible(false);
    const bool v = !m_vBar.IsNull() && m_vBar->IsVisible(false);
    if ((!h && !v) || param.IsNull() || param->direction > 1)
        return VXR_NOTHING_DONE;
    const RCPtr<LScrollbar>& bar = !h ? m_vBar : !v ? m_hBar : (param->modifiers & kModifierAlt) != 0 ? m_hBar : m_vBar;
    const bool forward = param->direction == 0;
    if ((param->modifiers & kModifierShift) != 0)
        bar->PageStep(forward);
    else
        bar->LineStep(forward);
    return VXR_OK;
}

VxRESULT LScrollView::ProcessHorizontalMouseWheel(const RCPtr<LMouseWheelParam>& param)
{
    const bool h = !m_hBar.IsNull() && m_hBar->IsVisible(false);
    const bool v = !m_vBar.IsNull() && m_vBar->IsVisible(false);
    if ((!h && !v) || param.IsNull() || (param->direction != 2 && param->direction != 3))
        return VXR_NOTHING_DONE;
    const RCPtr<LScrollbar>& bar = h ? m_hBar : m_vBar;
    const bool forward = param->direction == 2;
    if ((param->modifiers & kModifierShift) != 0)
        bar->PageStep(forward);
    else
        bar->LineStep(forward);
    return VXR_OK;
}

// ---- Geometry ------------------------------------------------------------------------------

RectT<double> LScrollView::GetVisibleContentRect()
{
    const RectT<double> look = GetLookBounds(-1);
    const RgnLight::Rect children = GetChildrenBounds();
    const bool any = children.right >= children.left && children.bottom >= children.top;
    const double width = any ? std::min(look.width, static_cast<double>(children.right)) : 1.0;
    const double height = any ? std::min(look.height, static_cast<double>(children.bottom)) : 1.0;
    return RectT<double>{std::max(0.0, m_scrollOffset.x), std::max(0.0, m_scrollOffset.y), std::max(1.0, width),
                         std::max(1.0, height)};
}

PointT<double> LScrollView::GetMinimumSize()
{
    PointT<double> minimum{0.0, 0.0};
    if (m_layout.IsNull())
        return minimum;
    for (int axis = 0; axis < 2; ++axis)
    {
        const LLayoutDescriptor::LimitSpec maximum = m_layout->GetMaximumSpec(axis);
        if (maximum.reference == LimitReference::NamedControl && maximum.controlName != "Self")
            On(minimum, axis) = On(GetChildrenExtent(), axis);
        else
            On(minimum, axis) = maximum.abs;
    }
    return minimum;
}

// ---- Other overrides -----------------------------------------------------------------------

VxRESULT LScrollView::OnBoundsChanging()
{
    m_viewBoundsChanging = true;
    return LControl::OnBoundsChanging();
}

VxRESULT LScrollView::OnBoundsChanged()
{
    const VxRESULT result = LControl::OnBoundsChanged();
    m_viewBoundsChanging = false;
    UpdateClientExtent();
    UpdateLayout();
    return result;
}

PointT<double> LScrollView::SetScrollOffset(const PointT<double>& offset)
{
    m_inSetScrollOffset = true;
    const PointT<double> result = LControl::SetScrollOffset(offset);
    m_inSetScrollOffset = false;
    return result;
}

void LScrollView::OnChildGeometryChanged(const RCPtr<LControl>& child)
{
    if (m_viewInLayout || m_inSetScrollOffset || m_viewBoundsChanging || child.IsNull())
        return;
    // The bars and the corner decide the viewport; the rest is content.
    if (child->IsDocked(3))
        UpdateLayout();
    else
        UpdateClientExtent();
}

VxRESULT LScrollView::InvalidateChild(const RCPtr<LControl>& child)
{
    OnChildGeometryChanged(child);
    return LControl::InvalidateChild(child);
}

VxRESULT LScrollView::OnChildChanged(const RCPtr<LControl>& child)
{
    // Outside its own layout the base re-lays out this control instead of
    // telling InvalidateChild; the view hears of the child all the same.
    const bool viaInvalidate = m_inLayout != 0;
    const VxRESULT result = LControl::OnChildChanged(child);
    if (!viaInvalidate)
        OnChildGeometryChanged(child);
    return result;
}

VxRESULT LScrollView::OnChildRemoved(const RCPtr<LControl>& child, std::int32_t formerIndex)
{
    const VxRESULT result = LControl::OnChildRemoved(child, formerIndex);
    if (!GetTopLevelControl()->GetRootWindow().IsNull())
        UpdateClientExtent();
    return result;
}

VxRESULT LScrollView::ApplyDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    if (!IsCreated())
        return LControl::ApplyDescriptor(descriptor);
    // A new skin: the parts are bound again with the extent held still.
    const std::int32_t mode = m_autoExtentMode;
    m_autoExtentMode = 0;
    const VxRESULT result = LControl::ApplyDescriptor(descriptor);
    m_corner = FindChild("corner");
    m_hBar = RCPtr<LScrollbar>(dynamic_cast<LScrollbar*>(FindChild("hBar").Get()));
    m_vBar = RCPtr<LScrollbar>(dynamic_cast<LScrollbar*>(FindChild("vBar").Get()));
    if (!m_viewHandler.IsNull())
        BindParts();
    m_autoExtentMode = mode;
    UpdateClientExtent();
    UpdateLayout();
    OnBoundsChanged();
    return result;
}

VxRESULT LScrollView::ApplyCreateParams()
{
    const VxRESULT result = LControl::ApplyCreateParams();
    const RCPtr<LStringTable> parameters =
        m_descriptor.IsNull() ? RCPtr<LStringTable>() : m_descriptor->GetCreateParams();
    if (parameters.IsNull())
        return result;
    m_autoExtentMode = (IsTrueParam(parameters, "AUTO_CLIENT_EXTENT_X") ? 1 : 0) +
                       (IsTrueParam(parameters, "AUTO_CLIENT_EXTENT_Y") ? 2 : 0);
    m_autoExtentExtraX = 0;
    m_autoExtentExtraY = 0;
    UpdateClientExtent();
    return result;
}

NotificationHandlerResultCode LScrollView::Receive(const RCPtr<LNotificationDistributor>& from,
                                                   const ConstRCPtr<LNotification>& notification)
{
    if (!m_viewHandler.IsNull() && IsCreated())
    {
        const NotificationHandlerResultCode result = m_viewHandler->Receive(from, notification);
        if (result != 0)
            return result;
    }
    return LControl::Receive(from, notification);
}

VxRESULT LScrollView::Unregister(const RCPtr<LNotificationDistributor>& from, const char* id)
{
    if (!m_viewHandler.IsNull())
        m_viewHandler->RemoveEntry(from, id);
    return LControl::Unregister(from, id);
}
} // namespace Vx
