// A control's geometry: the size-limit passes of its layout (minimums with
// the text fit and the room its children need, maximums), its frames, the
// layout run and its ripple, scrolling and the animations.

#include "VxFramework/ControlBase/Control.h"

#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Vx
{
namespace
{
using LimitSpec = LLayoutDescriptor::LimitSpec;

// Sizes below this count as empty.
constexpr double kTinyExtent = 1.0 / 4503599627370496.0; // 2^-52

double Round(double value)
{
    return RoundHalfAwayFromZero<double>(value);
}

double& On(PointT<double>& point, int axis)
{
    return axis == 0 ? point.x : point.y;
}

double On(const PointT<double>& point, int axis)
{
    return axis == 0 ? point.x : point.y;
}

double PositionOn(const RectT<double>& rect, int axis)
{
    return axis == 0 ? rect.x : rect.y;
}

double ExtentOn(const RectT<double>& rect, int axis)
{
    return axis == 0 ? rect.width : rect.height;
}

void SetOn(RectT<double>& rect, int axis, double position, double extent)
{
    (axis == 0 ? rect.x : rect.y) = position;
    (axis == 0 ? rect.width : rect.height) = extent;
}

bool IsChildren(const LimitSpec& spec)
{
    return spec.reference == LimitReference::NamedControl && spec.controlName == "Children";
}

// The growth that makes a text of the excess more pixels fit an area whose
// edges move by span times the growth.  A span of zero or less would divide
// by zero or shrink the control: no growth then.
double TextGrowth(float excess, float span)
{
    if (!(span > 0.0f))
    {
        VX_ASSERT_FALSE();
        return 0.0;
    }
    return static_cast<double>(
        RangeCheckedCast<std::int32_t>(std::ceil(static_cast<double>(excess) / static_cast<double>(span))));
}
} // namespace

double LControl::FitText(int axis, double minimum, const PointT<double>& size)
{
    const RCPtr<LLook> look = FindCurrentLook();
    if (look.IsNull() || look->GetText().IsNull() || look->GetDescriptor().IsNull())
        return minimum;
    const LLookDescriptor::TextArea& area = look->GetDescriptor()->GetTextArea();
    LFontText& text = *look->GetText();
    const double w = size.x;
    const double h = size.y;

    if (axis == 0)
    {
        const std::int32_t type = m_layout->TextOverflowXType;
        if (type == TextOverflowType::Wrap)
            return minimum;
        if (type != TextOverflowType::Expand)
        {
            VX_ASSERT_FALSE();
            return minimum;
        }
        const float areaWidth =
            RangeCheckedCast<float>((w * area.rightRel + area.rightAbs) - (w * area.leftRel + area.leftAbs));
        // Measured unwrapped: the control grows to the widest line.
        if (text.GetWordWrap())
            text.SetWordWrap(false);
        const float excess = std::ceil(static_cast<float>(text.GetMaxLineWidth()) - areaWidth);
        if (excess > 0.0f)
        {
            minimum = std::max(minimum, TextGrowth(excess, area.rightRel - area.leftRel) + w);
            // A maximum below that wraps the text instead.
            if (m_layout->XMaxSizeReference == LimitReference::Self && m_layout->XMaxSizeAbs > 0.0 &&
                m_layout->XMaxSizeAbs < minimum)
            {
                minimum = m_layout->XMaxSizeAbs;
                text.SetWordWrap(true);
            }
        }
        return minimum;
    }

    const float areaHeight =
        RangeCheckedCast<float>((h * area.bottomRel + area.bottomAbs) - (h * area.topRel + area.topAbs));
    // At the width the X pass left.
    const std::int32_t wrapWidth = RangeCheckedCast<std::int32_t>(std::trunc(w));
    const float excess = std::ceil(static_cast<float>(text.GetWrappedHeight(wrapWidth)) - areaHeight);
    if (excess > 0.0f)
        minimum = std::max(minimum, TextGrowth(excess, area.bottomRel - area.topRel) + h);
    return minimum;
}

RectT<double> LControl::GetLimitRectangle(const LimitSpec& spec, int axis, const PointT<double>& position,
                                          bool maximumPass) const
{
    const double anchor = axis == 0 ? m_layout->XPlacementAnchor : m_layout->YPlacementAnchor;
    // A child's rectangle in this control's parent's coordinates, at the new
    // position.
    const auto placed = [&](const RCPtr<LControl>& child, bool docking) {
        RectT<double> rect = child->GetClippedBoundsInParent() + position;
        if (docking && child->IsDocked(axis))
            SetOn(rect, axis, PositionOn(rect, axis) - On(m_scrollOffset, axis), ExtentOn(rect, axis));
        return rect;
    };

    const RCPtr<LControl> named = FindChild(spec.controlName);
    if (!named.IsNull())
        return placed(named, true);
    if (!(spec.controlName == "Children"))
    {
        VX_ASSERT_FALSE();
        return RectT<double>::Empty;
    }

    const RCPtr<LControl>& first = m_children.GetAt(0, ChildControlList::kInsertionOrder);
    if (maximumPass && first->IsDocked(3))
        return RectT<double>::Empty;
    RectT<double> rect = placed(first, false);
    // Only the axis in hand is widened; the rest stays the first child's.
    for (std::uint32_t i = m_children.GetCount(); i-- > 1;)
    {
        const RCPtr<LControl>& child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
        if (!maximumPass && !child->GetLayout().IsNull() && !child->GetLayout()->ClipToParent)
            continue;
        const RectT<double> other = placed(child, true);
        const double nearEdge = std::min(PositionOn(rect, axis), PositionOn(other, axis));
        const double farEdge =
            std::max(PositionOn(rect, axis) + ExtentOn(rect, axis), PositionOn(other, axis) + ExtentOn(other, axis));
        SetOn(rect, axis, nearEdge, farEdge - nearEdge);
    }
    // The union keeps only its extent; it is placed at the control's anchor.
    const double extent = ExtentOn(rect, axis);
    SetOn(rect, axis, On(position, axis) - anchor * extent, extent);
    return rect;
}

double LControl::GetChildrenMargin(const LimitSpec& spec, int axis) const
{
    if (!IsChildren(spec))
        return 0.0;
    const RCPtr<LLook> look = FindCurrentLook();
    if (look.IsNull())
    {
        VX_ASSERT_FALSE();
        return 0.0;
    }
    const RectT<std::int32_t>& client = look->GetClientRect();
    const double margin = axis == 0 ? m_bounds.width - client.width : m_bounds.height - client.height;
    return Round(margin);
}

VxRESULT LControl::ApplyMinimumSize(PointT<double>& position, PointT<double>& size)
{
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    VxRESULT result = VXR_OK;
    for (int axis = 0; axis < 2; ++axis)
    {
        const LimitSpec spec = m_layout->GetMinimumSpec(axis);
        const float anchor = axis == 0 ? m_layout->XPlacementAnchor : m_layout->YPlacementAnchor;
        double& pos = On(position, axis);
        double& extent = On(size, axis);

        if (spec.reference == LimitReference::Self)
        {
            double minimum = spec.abs;
            if (m_layout->GetTextOverflowType(axis) != TextOverflowType::Clip)
                minimum = FitText(axis, minimum, size);
            if (minimum > extent)
            {
                // The anchor's point stays where it was.
                pos -= Round(anchor * (minimum - extent));
                extent = minimum;
                result = VXR_NOTHING_DONE;
            }
            continue;
        }

        if (m_children.GetCount() == 0)
            continue;
        const RectT<double> reference = GetLimitRectangle(spec, axis, position, false);
        const double referenceExtent = ExtentOn(reference, axis);
        if (!(referenceExtent > 0.0))
            continue;
        const double q = PositionOn(reference, axis) + referenceExtent * spec.rel + spec.abs;
        if (q < pos)
        {
            // The near edge moves out to q: only an anchor that lets the
            // control grow towards it can.
            if (!(anchor > 0.0f && anchor <= 1.0f))
            {
                VX_ASSERT_FALSE();
                result = VXR_E_FAIL;
                continue;
            }
            const double oldPosition = pos;
            pos = q;
            extent += Round((oldPosition - q) / anchor);
            result = VXR_NOTHING_DONE;
        }
        else if (q > pos + extent)
        {
            if (!(anchor >= 0.0f && anchor < 1.0f))
            {
                VX_ASSERT_FALSE();
                result = VXR_E_FAIL;
                continue;
            }
            const double k = Round((q - (pos + extent)) * anchor / (1.0 - anchor));
            pos -= k;
            extent = Round(q) - pos;
            result = VXR_NOTHING_DONE;
        }
        const double margin = GetChildrenMargin(spec, axis);
        if (margin != 0.0)
        {
            extent += margin;
            result = VXR_NOTHING_DONE;
        }
    }
    return result;
}

VxRESULT LControl::ApplyMaximumSize(PointT<double>& position, PointT<double>& size)
{
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_OK;
    }
    VxRESULT result = VXR_OK;
    for (int axis = 0; axis < 2; ++axis)
    {
        const LimitSpec spec = m_layout->GetMaximumSpec(axis);
        const float anchor = axis == 0 ? m_layout->XPlacementAnchor : m_layout->YPlacementAnchor;
        double& pos = On(position, axis);
        double& extent = On(size, axis);

        if (spec.reference == LimitReference::Self)
        {
            // Any value but 0 is a maximum, a negative one too.
            if (spec.abs != 0.0 && extent > spec.abs)
            {
                pos -= Round(anchor * (spec.abs - extent));
                extent = spec.abs;
                result = VXR_NOTHING_DONE;
            }
            continue;
        }

        if (m_children.GetCount() == 0)
            continue;
        const RectT<double> reference = GetLimitRectangle(spec, axis, position, true);
        if (reference.width <= kTinyExtent || reference.height <= kTinyExtent)
            continue;
        const double q = PositionOn(reference, axis) + ExtentOn(reference, axis) * spec.rel + spec.abs;
        if (pos < q && q < pos + extent)
        {
            // Whichever edge lies on q's side of the anchor's point moves to
            // q, so that the anchor's point stays.
            const double anchorPoint = pos + anchor * extent;
            if (q < anchorPoint)
            {
                const double oldPosition = pos;
                pos = Round(q);
                extent += Round(static_cast<double>(1.0f / anchor) * (oldPosition - q));
            }
            else if (q > anchorPoint)
            {
                pos -= Round((q - (pos + extent)) * anchor);
                extent = Round(q) - pos;
            }
            else
            {
                VX_ASSERT_FALSE();
                pos = Round(q);
                extent = 0.0;
            }
            result = VXR_NOTHING_DONE;
        }
        const double margin = GetChildrenMargin(spec, axis);
        if (margin != 0.0)
        {
            extent += margin;
            result = VXR_NOTHING_DONE;
        }
    }
    return result;
}
} // namespace Vx

// ---- Frames, layout, scrolling and animations -------------------------------

namespace Vx
{
namespace
{
bool IsAxis(int axis)
{
    if (axis == 0 || axis == 1)
        return true;
    VX_ASSERT_FALSE();
    return false;
}

std::uint32_t Now()
{
    IControlHost* const host = GetControlHost();
    return host == nullptr ? 0 : host->GetTickCount();
}
} // namespace

bool LControl::IsDocked(int kind) const
{
    if (kind < 0 || kind > 4)
    {
        VX_ASSERT_FALSE();
        return false;
    }
    if (m_layout.IsNull())
        return false;
    const bool x = m_layout->XIsDocked;
    const bool y = m_layout->YIsDocked;
    switch (kind)
    {
    case 0:
        return x;
    case 1:
        return y;
    case 2:
        return x != y;
    case 3:
        return x && y;
    default:
        return x || y;
    }
}

RectT<double> LControl::GetLookBounds(std::int32_t index) const
{
    const RCPtr<LLook> look = m_looks.GetCount() == 0 ? RCPtr<LLook>() : GetLook(index);
    if (look.IsNull())
        return RectT<double>{0.0, 0.0, m_bounds.width, m_bounds.height};
    return static_cast<RectT<double>>(look->GetClientRect());
}

RectT<double> LControl::GetClippedBoundsInParent() const
{
    if (m_parent.IsNull())
        return m_bounds;
    const RectT<double> client = m_parent->GetLookBounds(-1);
    const PointT<double>& scroll = m_parent->GetScrollOffset();
    return RectT<double>{m_bounds.x - scroll.x + client.x, m_bounds.y - scroll.y + client.y, m_bounds.width,
                         m_bounds.height};
}

RectT<double> LControl::GetRectInRootWindow() const
{
    RectT<double> rect = m_bounds;
    for (const LControl* ancestor = m_parent.Get(); ancestor != nullptr; ancestor = ancestor->m_parent.Get())
    {
        rect -= ancestor->m_scrollOffset;
        rect += ancestor->GetLookBounds(-1).GetOrigin();
        rect += ancestor->m_bounds.GetOrigin();
    }
    return rect;
}

PointT<double> LControl::ConvertPointFromControl(const RCPtr<LControl>& from, const PointT<double>& point) const
{
    const auto wholeOrigin = [](const RectT<double>& rect) { return PointT<double>{Round(rect.x), Round(rect.y)}; };
    const PointT<double> fromOrigin =
        from.IsNull() ? wholeOrigin(GetRectInRootWindow()) : wholeOrigin(from->GetRectInRootWindow());
    return point + fromOrigin - wholeOrigin(GetRectInRootWindow());
}

RectT<double> LControl::LocalRectToRoot(const RectT<double>& rectangle) const
{
    return rectangle + GetRectInRootWindow().GetOrigin();
}

RectT<double> LControl::RootRectToLocal(const RectT<double>& rectangle) const
{
    return rectangle - GetRectInRootWindow().GetOrigin();
}

RectT<double> LControl::GetVisibleContentRect()
{
    const RectT<double> client = GetLookBounds(-1);
    return RectT<double>{m_scrollOffset.x, m_scrollOffset.y, client.width, client.height};
}

PointT<double> LControl::GetContentOriginInRoot() const
{
    return GetRectInRootWindow().GetOrigin() + GetLookBounds(-1).GetOrigin() - m_scrollOffset;
}

RgnLight::Rect LControl::GetChildrenBounds() const
{
    RgnLight::Rect bounds{std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max(),
                          std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::min()};
    for (std::uint32_t i = 0; i < m_children.GetCount(); ++i)
    {
        const RCPtr<LControl>& child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
        if (child->IsDocked(4))
            continue;
        const RectT<std::int32_t> rect = child->m_bounds.Round();
        bounds.left = std::min(bounds.left, rect.x);
        bounds.top = std::min(bounds.top, rect.y);
        bounds.right = std::max(bounds.right, rect.x + rect.width);
        bounds.bottom = std::max(bounds.bottom, rect.y + rect.height);
    }
    return bounds;
}

// ---- Layout -------------------------------------------------------------------

VxRESULT LControl::RecalcLayout()
{
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    RectT<double> rect = RectT<double>::Empty;
    if (!m_parent.IsNull())
    {
        if (Failed(CalcRectangle(m_layout, m_parent, RectT<double>::Empty, PointT<double>::Zero, PointT<double>::Zero,
                                 rect)))
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
    }
    else
    {
        // A top control measures against the screen, its window and the
        // pointer; one being created may borrow the application's window.
        if (m_created != 0 && m_rootWindow.IsNull())
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
        IControlHost* const host = GetControlHost();
        RCPtr<LRootWindow> rootWindow = m_rootWindow;
        if (rootWindow.IsNull() && host != nullptr)
            rootWindow = host->GetActiveRootWindow();
        if (rootWindow.IsNull() && host != nullptr)
            rootWindow = host->GetRootWindow(0);
        if (rootWindow.IsNull())
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
        const RectT<int> client = rootWindow->GetClientRect();
        const RectT<int> desktop = host == nullptr ? client : host->GetDisplayArea();
        const PointT<int> pointer = host == nullptr ? PointT<int>{client.x, client.y} : host->GetMousePosition();
        const RectT<double> outer{static_cast<double>(desktop.x) - client.x, static_cast<double>(desktop.y) - client.y,
                                  static_cast<double>(desktop.width), static_cast<double>(desktop.height)};
        const PointT<double> extent{static_cast<double>(client.width), static_cast<double>(client.height)};
        const PointT<double> freeOrigin{static_cast<double>(pointer.x) - client.x,
                                        static_cast<double>(pointer.y) - client.y};
        if (Failed(CalcRectangle(m_layout, nullptr, outer, extent, freeOrigin, rect)))
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
    }
    PointT<double> position{rect.x, rect.y};
    PointT<double> size{rect.width, rect.height};
    if (Failed(ApplyMinimumSize(position, size)))
        VX_ASSERT_FALSE();
    if (Failed(ApplyMaximumSize(position, size)))
        VX_ASSERT_FALSE();
    RectT<double> bounds{position.x, position.y, size.x, size.y};
    bounds.NormalizeAndSnap();
    return SetBounds(bounds);
}

VxRESULT LControl::SetBounds(const RectT<double>& bounds)
{
    if (bounds.x == m_bounds.x && bounds.y == m_bounds.y && bounds.width == m_bounds.width &&
        bounds.height == m_bounds.height)
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);
    OnBoundsChanging();
    const bool sizeChanged = bounds.width != m_bounds.width || bounds.height != m_bounds.height;
    Invalidate();
    if (m_nonClippingDescendants > 0)
        InvalidateNonClipping();

    m_bounds = bounds;
    const PointT<std::int32_t> pixels{RoundHalfAwayFromZero(bounds.width), RoundHalfAwayFromZero(bounds.height)};
    for (std::uint32_t i = 0; i < m_looks.GetCount(); ++i)
    {
        if (!m_looks[i].IsNull())
            m_looks[i]->SetSize(pixels);
    }

    if (sizeChanged && m_inLayout == 0)
    {
        m_inLayout = 1;
        for (std::uint32_t i = 0; i < m_children.GetCount(); ++i)
        {
            const RCPtr<LControl> child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
            child->OnWindowResized();
        }
        // Limits measured on the children may have moved.
        RecalcLayout();
        m_inLayout = 0;
    }

    if (!m_parent.IsNull())
    {
        const RCPtr<LControl> parent = m_parent;
        const std::int32_t index = parent->m_children.IndexOf(self, ChildControlList::kInsertionOrder);
        if (index < 0)
        {
            VX_ASSERT_FALSE();
        }
        else
        {
            // Later siblings may be placed against this one.  The first that
            // moves carries the change on through its own bounds.
            for (std::uint32_t i = static_cast<std::uint32_t>(index) + 1; i < parent->m_children.GetCount(); ++i)
            {
                const RCPtr<LControl> sibling = parent->m_children.GetAt(i, ChildControlList::kInsertionOrder);
                if (sibling->RecalcLayout() == VXR_OK)
                    break;
            }
        }
        parent->OnChildChanged(self);
    }
    else if (!m_rootWindow.IsNull())
    {
        const RectT<int> client = m_rootWindow->GetClientRect();
        m_rootWindow->SetWindowRect(
            RectT<int>{RoundHalfAwayFromZero(m_bounds.x + client.x), RoundHalfAwayFromZero(m_bounds.y + client.y),
                       RoundHalfAwayFromZero(m_bounds.width), RoundHalfAwayFromZero(m_bounds.height)});
    }

    if ((!(m_bounds.width > 0.0) || !(m_bounds.height > 0.0)) && HasFocus())
        PassFocusUp();

    Invalidate();
    if (m_nonClippingDescendants > 0)
        InvalidateNonClipping();
    OnBoundsChanged();
    return VXR_OK;
}

VxRESULT LControl::RecalcLayoutFrom(std::uint32_t index)
{
    VxRESULT result = static_cast<VxRESULT>(m_children.GetCount());
    for (std::uint32_t i = index; i < m_children.GetCount(); ++i)
    {
        const RCPtr<LControl> child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
        result = child->RecalcLayout();
    }
    return result;
}

VxRESULT LControl::OnWindowResized()
{
    RecalcLayout();
    return VXR_OK;
}

VxRESULT LControl::OnChildChanged(const RCPtr<LControl>& child)
{
    if (m_inLayout != 0)
        return InvalidateChild(child);
    return RecalcLayout();
}

VxRESULT LControl::OnParentScrolled(const PointT<double>& /*oldOffset*/, const PointT<double>& /*newOffset*/)
{
    if (IsDocked(4))
        return RecalcLayout();
    return VXR_OK;
}

VxRESULT LControl::GetAxisPlacement(int axis, LLayoutDescriptor::PositionSpec& position,
                                    LLayoutDescriptor::SizeSpec& size) const
{
    if (!IsAxis(axis))
        return VXR_E_INVALIDARG;
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    position = m_layout->GetPositionSpec(axis);
    size = m_layout->GetSizeSpec(axis);
    return VXR_OK;
}

VxRESULT LControl::SetAxisPlacement(int axis, const LLayoutDescriptor::PositionSpec& position,
                                    const LLayoutDescriptor::SizeSpec& size)
{
    if (!IsAxis(axis))
        return VXR_E_INVALIDARG;
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    // Docking moves the control between the paint groups of its siblings.
    if (position.docked != m_layout->IsDockedOn(axis) && !m_parent.IsNull())
        m_parent->m_children.Invalidate();
    m_layout->SetPositionSpec(axis, position);
    m_layout->SetSizeSpec(axis, size);
    RecalcLayout();
    return m_layout->GetPositionSpec(axis) == position && m_layout->GetSizeSpec(axis) == size ? VXR_OK
                                                                                              : VXR_NOTHING_DONE;
}

VxRESULT LControl::SetPlacement(const LLayoutDescriptor::PositionSpec& xPosition,
                                const LLayoutDescriptor::SizeSpec& xSize,
                                const LLayoutDescriptor::PositionSpec& yPosition,
                                const LLayoutDescriptor::SizeSpec& ySize)
{
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    if ((xPosition.docked != m_layout->XIsDocked || yPosition.docked != m_layout->YIsDocked) && !m_parent.IsNull())
        m_parent->m_children.Invalidate();
    m_layout->SetPositionSpec(0, xPosition);
    m_layout->SetSizeSpec(0, xSize);
    m_layout->SetPositionSpec(1, yPosition);
    m_layout->SetSizeSpec(1, ySize);
    RecalcLayout();
    const bool equal = m_layout->GetPositionSpec(0) == xPosition && m_layout->GetSizeSpec(0) == xSize &&
                       m_layout->GetPositionSpec(1) == yPosition && m_layout->GetSizeSpec(1) == ySize;
    return equal ? VXR_OK : VXR_NOTHING_DONE;
}

VxRESULT LControl::GetAxisSizeLimits(int axis, LLayoutDescriptor::LimitSpec& minimum,
                                     LLayoutDescriptor::LimitSpec& maximum) const
{
    if (!IsAxis(axis))
        return VXR_E_INVALIDARG;
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    minimum = m_layout->GetMinimumSpec(axis);
    maximum = m_layout->GetMaximumSpec(axis);
    return VXR_OK;
}

VxRESULT LControl::SetAxisSizeLimits(int axis, const LLayoutDescriptor::LimitSpec& minimum,
                                     const LLayoutDescriptor::LimitSpec& maximum)
{
    if (!IsAxis(axis))
        return VXR_E_INVALIDARG;
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    m_layout->SetMinimumSpec(axis, minimum);
    m_layout->SetMaximumSpec(axis, maximum);
    RecalcLayout();
    return m_layout->GetMinimumSpec(axis) == minimum && m_layout->GetMaximumSpec(axis) == maximum ? VXR_OK
                                                                                                  : VXR_NOTHING_DONE;
}

PointT<double> LControl::GetAutoSize()
{
    PointT<double> result{0.0, 0.0};
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return result;
    }
    for (int axis = 0; axis < 2; ++axis)
    {
        LLayoutDescriptor::PositionSpec position;
        LLayoutDescriptor::SizeSpec size;
        GetAxisPlacement(axis, position, size);
        // Nothing but the minimum limits (text, children) sizes the axis.
        LLayoutDescriptor::SizeSpec automatic = size;
        automatic.reference = SizeReference::Self;
        automatic.rel = 0.0f;
        automatic.abs = 0.0;
        SetAxisPlacement(axis, position, automatic);
        (axis == 0 ? result.x : result.y) = axis == 0 ? m_bounds.width : m_bounds.height;
        SetAxisPlacement(axis, position, size);
    }
    return result;
}

PointT<double> LControl::GetMinimumSize()
{
    PointT<double> result{0.0, 0.0};
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return result;
    }
    for (int axis = 0; axis < 2; ++axis)
    {
        const LimitSpec spec = m_layout->GetMinimumSpec(axis);
        if (spec.reference == LimitReference::Self)
            (axis == 0 ? result.x : result.y) = spec.abs;
        else
            VX_ASSERT_FALSE();
    }
    return result;
}

bool LControl::SetClipToParent(bool clip)
{
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return true;
    }
    if (m_layout->ClipToParent == clip)
        return clip;
    // Turning clipping on: what showed outside the parent must go.
    if (clip)
        Invalidate();
    m_layout->ClipToParent = clip;
    if (!m_parent.IsNull())
    {
        m_parent->m_children.Invalidate();
        AdjustAncestorsNonClipping(clip ? -1 : 1);
    }
    if (!clip)
        Invalidate();
    return clip;
}

// ---- Scrolling --------------------------------------------------------------------

PointT<double> LControl::SetScrollOffset(const PointT<double>& offset)
{
    m_scrolling = 1;
    const PointT<double> rounded{Round(offset.x), Round(offset.y)};
    if (rounded != m_scrollOffset)
    {
        const RCPtr<LControl> self(this);
        InvalidateNonClipping();
        const PointT<double> old = m_scrollOffset;
        m_scrollOffset = rounded;
        for (std::uint32_t i = 0; i < m_children.GetCount(); ++i)
        {
            const RCPtr<LControl> child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
            m_childDocked = child->IsDocked(4) ? 1 : 0;
            child->OnParentScrolled(old, rounded);
            m_childDocked = 0;
        }
        Invalidate();
        OnScrollOffsetChanged(old, rounded);
        Send("NID_SCROLL_OFFSET_CHANGE", nullptr);

        // Content moved under a resting pointer: the hover may change hands.
        const RCPtr<LRootWindow> rootWindow = FindRootWindow();
        if (!rootWindow.IsNull() && !rootWindow->GetHoverControl().IsNull())
        {
            const PointT<int> pointer = rootWindow->GetPointerPosition();
            const RectT<double> inRoot = GetRectInRootWindow();
            const PointT<double> local{pointer.x - inRoot.x, pointer.y - inRoot.y};
            if (RectT<double>{0.0, 0.0, m_bounds.width, m_bounds.height}.Contains(local))
            {
                RCPtr<LControl> found;
                PointT<int> inControl{0, 0};
                rootWindow->HitTest(found, pointer, inControl, true);
            }
        }
    }
    m_scrolling = 0;
    return m_scrollOffset;
}

PointT<double> LControl::SetScrollOffsetAxis(int axis, double value)
{
    if (!IsAxis(axis))
        return m_scrollOffset;
    PointT<double> offset = m_scrollOffset;
    (axis == 0 ? offset.x : offset.y) = value;
    return SetScrollOffset(offset);
}

// ---- Animations ---------------------------------------------------------------------
//
// One step per idle pass, by the milliseconds since the last step: 1 pixel
// per millisecond.  A pass in the same millisecond as the last step moves
// nothing and ends nothing.

VxRESULT LControl::StartGrow(int axis)
{
    if (!IsAxis(axis))
        return VXR_E_FAIL;
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const LLayoutDescriptor::SizeSpec size = m_layout->GetSizeSpec(axis);
    const LimitSpec maximum = m_layout->GetMaximumSpec(axis);
    if (size.reference != SizeReference::Self || maximum.reference != LimitReference::Self || maximum.abs == 0.0)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    if (m_growing[axis] != 0)
        return VXR_NOTHING_DONE;
    (axis == 0 ? m_layout->XSizeAbs : m_layout->YSizeAbs) = std::trunc(axis == 0 ? m_bounds.width : m_bounds.height);
    if (m_shrinking[axis] != 0)
        StopSizeAnimation(axis, false);
    m_growing[axis] = 1;
    m_sizeStepTimeMs[axis] = Now();
    RequestIdle();
    return VXR_OK;
}

VxRESULT LControl::StartShrink(int axis)
{
    if (!IsAxis(axis))
        return VXR_E_FAIL;
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const LLayoutDescriptor::SizeSpec size = m_layout->GetSizeSpec(axis);
    const LimitSpec minimum = m_layout->GetMinimumSpec(axis);
    if (size.reference != SizeReference::Self || minimum.reference != LimitReference::Self)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    if (m_shrinking[axis] != 0)
        return VXR_NOTHING_DONE;
    (axis == 0 ? m_layout->XSizeAbs : m_layout->YSizeAbs) = std::trunc(axis == 0 ? m_bounds.width : m_bounds.height);
    if (m_growing[axis] != 0)
        StopSizeAnimation(axis, true);
    m_shrinking[axis] = 1;
    m_sizeStepTimeMs[axis] = Now();
    RequestIdle();
    return VXR_OK;
}

VxRESULT LControl::MoveBy(const PointT<double>& offset)
{
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    if (m_moving != 0)
        return VXR_E_FAIL;
    m_moveTarget = PointT<double>{m_layout->XPositionAbs + offset.x, m_layout->YPositionAbs + offset.y};
    m_moving = 1;
    m_moveStepTimeMs = Now();
    RequestIdle();
    return VXR_OK;
}

void LControl::StopSizeAnimation(int axis, bool growing)
{
    (growing ? m_growing : m_shrinking)[axis] = 0;
    ReleaseIdle();
}

void LControl::StepSizeAnimation(int axis)
{
    const bool growing = m_growing[axis] != 0;
    if (!growing && m_shrinking[axis] == 0)
        return;
    if (m_layout.IsNull())
    {
        StopSizeAnimation(axis, growing);
        return;
    }
    const std::uint32_t now = Now();
    const std::uint32_t elapsed = now - m_sizeStepTimeMs[axis];
    if (elapsed == 0)
        return;
    m_sizeStepTimeMs[axis] = now;
    double& extent = axis == 0 ? m_layout->XSizeAbs : m_layout->YSizeAbs;
    extent = growing ? extent + elapsed : std::max(0.0, extent - elapsed);
    // The limit holds the size: a step that changes nothing is the last.
    if (RecalcLayout() != VXR_OK)
        StopSizeAnimation(axis, growing);
}

void LControl::StepMoveAnimation()
{
    if (m_moving == 0)
        return;
    const auto stop = [this] {
        m_moving = 0;
        ReleaseIdle();
    };
    if (m_layout.IsNull())
    {
        stop();
        return;
    }
    const std::uint32_t now = Now();
    const double elapsed = static_cast<double>(now - m_moveStepTimeMs);
    if (elapsed == 0.0)
        return;
    m_moveStepTimeMs = now;
    for (int axis = 0; axis < 2; ++axis)
    {
        double& position = axis == 0 ? m_layout->XPositionAbs : m_layout->YPositionAbs;
        const double remaining = (axis == 0 ? m_moveTarget.x : m_moveTarget.y) - position;
        position += std::copysign(std::min(elapsed, std::fabs(remaining)), remaining);
    }
    if (RecalcLayout() != VXR_OK)
        stop();
}
} // namespace Vx
