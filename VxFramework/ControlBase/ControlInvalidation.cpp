// How a control reports the areas that need repainting up its tree to the
// root window's dirty region.

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
// Empty when the two do not overlap.
RectT<double> Intersect(const RectT<double>& a, const RectT<double>& b)
{
    const double left = std::max(a.x, b.x);
    const double top = std::max(a.y, b.y);
    const double right = std::min(a.GetRight(), b.GetRight());
    const double bottom = std::min(a.GetBottom(), b.GetBottom());
    if (!(right > left) || !(bottom > top))
        return RectT<double>::Empty;
    return RectT<double>{left, top, right - left, bottom - top};
}

bool ClipsToParent(const LControl& control)
{
    return control.GetLayout().IsNull() || control.GetLayout()->ClipToParent;
}

// Another thread would walk the tree while the main thread changes it.
bool OnControlThread()
{
    if (IsControlThread())
        return true;
    VX_ASSERT_FALSE();
    return false;
}

// Half up, kept in the int range.
std::int32_t RoundHalfUp(double value)
{
    const double rounded = std::floor(value + 0.5);
    if (!(rounded > std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (!(rounded < std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(rounded);
}

// Every visible control of the subtree that its parent does not cover.
void CollectNonClipping(const RCPtr<LControl>& control, RCPtrArray<LControl>& out)
{
    if (!control->IsVisible(false))
        return;
    if (!ClipsToParent(*control))
        out.Add(control);
    const LControl::ChildControlList& children = control->GetChildren();
    for (std::uint32_t i = 0; i < children.GetCount(); ++i)
        CollectNonClipping(children.GetAt(i, LControl::ChildControlList::kInsertionOrder), out);
}
} // namespace

VxRESULT LControl::Invalidate()
{
    return InvalidateRect(RectT<double>{0.0, 0.0, m_bounds.width, m_bounds.height}, ClipsToParent(*this));
}

VxRESULT LControl::InvalidateRect(const RectT<double>& rectangle, bool clip)
{
    if (!OnControlThread())
        return VXR_E_FAIL;
    return InvalidateInParent(LocalRectToRoot(rectangle), clip, rectangle);
}

VxRESULT LControl::InvalidateInParent(const RectT<double>& rootRectangle, bool clip, const RectT<double>& rectangle)
{
    if (!OnControlThread())
        return VXR_E_FAIL;
    // The surface keeps what lies under the rectangle; scrolling and size
    // changes take care of the surface themselves.
    if (m_offscreen != 0 && !m_surface.IsNull() && m_boundsChanging == 0 && m_scrolling == 0)
        InvalidateSurface(LocalRectToContent(RootRectToLocal(rootRectangle)), false);
    if (!IsVisible(false))
        return VXR_NOTHING_DONE;
    RectT<double> rect = rectangle;
    const bool clips = ClipsToParent(*this);
    if (clip && clips)
    {
        // The part of the rectangle inside the parent, in this control's frame.
        PointT<double> position{m_bounds.x, m_bounds.y};
        PointT<double> parentSize{m_bounds.width, m_bounds.height};
        if (!m_parent.IsNull())
        {
            position = GetClippedBoundsInParent().GetOrigin();
            parentSize = PointT<double>{m_parent->m_bounds.width, m_parent->m_bounds.height};
        }
        else if (!m_rootWindow.IsNull())
        {
            const PointT<int> client = m_rootWindow->GetClientSize();
            parentSize = PointT<double>{static_cast<double>(client.x), static_cast<double>(client.y)};
        }
        rect = Intersect(rect, RectT<double>{-position.x, -position.y, parentSize.x, parentSize.y});
        if (rect.IsEmpty())
            return VXR_NOTHING_DONE;
    }
    // Parents do not clip what does not clip to them.
    if (!clips)
        clip = false;
    if (!m_parent.IsNull())
        return m_parent->InvalidateInParent(rootRectangle, clip, rect + GetClippedBoundsInParent().GetOrigin());
    if (m_rootWindow.IsNull())
        return VXR_OK;
    // The top control's own frame sits at its position in the window.
    const RectT<double> area = clip ? Intersect(rootRectangle, rect + m_bounds.GetOrigin()) : rootRectangle;
    if (area.IsEmpty())
        return VXR_NOTHING_DONE;
    const std::int32_t left = RoundHalfAwayFromZero(area.x);
    const std::int32_t top = RoundHalfAwayFromZero(area.y);
    const std::int32_t right = RoundHalfAwayFromZero(area.GetRight());
    const std::int32_t bottom = RoundHalfAwayFromZero(area.GetBottom());
    m_rootWindow->Invalidate(RectT<int>{left, top, right - left, bottom - top});
    return VXR_OK;
}

void LControl::InvalidateNonClipping()
{
    if (!OnControlThread())
        return;
    if (m_nonClippingDescendants == 0)
    {
        if (!ClipsToParent(*this))
            Invalidate();
        return;
    }
    RCPtrArray<LControl> controls;
    CollectNonClipping(RCPtr<LControl>(this), controls);
    for (const RCPtr<LControl>& control : controls)
        control->Invalidate();
}

VxRESULT LControl::InvalidateChild(const RCPtr<LControl>& child)
{
    if (m_offscreen == 0 || m_surface.IsNull() || child.IsNull())
        return VXR_OK;
    // During a scroll or a size change the surface is renewed as a whole,
    // except where docked children sit.
    const bool docked = child->IsDocked(4);
    if ((m_scrolling != 0 || m_boundsChanging != 0) && !docked)
        return VXR_OK;
    // The bounds are content coordinates already.
    InvalidateSurface(static_cast<RectT<double>>(child->GetBounds().Round()), false);
    return VXR_OK;
}

VxRESULT LControl::OnBoundsChanging()
{
    m_boundsBeforeChange = GetLookBounds(-1);
    m_boundsChanging = 1;
    return VXR_OK;
}

void LControl::InvalidateSurface(const RectT<double>& contentRectangle, bool alsoOnScreen)
{
    if (!OnControlThread())
        return;
    const RgnLight::Rect rect{RoundHalfUp(contentRectangle.x), RoundHalfUp(contentRectangle.y),
                              RoundHalfUp(contentRectangle.GetRight()), RoundHalfUp(contentRectangle.GetBottom())};
    if (!rect.IsEmpty() && m_surfaceArea.IntersectsRect(rect))
        m_surfaceDirty.UnionRect(rect);
    if (!alsoOnScreen)
        return;
    const RectT<double> shown = Intersect(ContentRectToLocal(contentRectangle), GetLookBounds(-1));
    if (!shown.IsEmpty())
        InvalidateRect(shown, true);
}

RectT<double> LControl::LocalRectToContent(const RectT<double>& rectangle) const
{
    return rectangle - GetLookBounds(-1).GetOrigin() + m_scrollOffset;
}

RectT<double> LControl::ContentRectToLocal(const RectT<double>& rectangle) const
{
    return rectangle - m_scrollOffset + GetLookBounds(-1).GetOrigin();
}
} // namespace Vx
