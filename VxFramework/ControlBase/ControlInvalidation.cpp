// How a control reports the areas that need repainting up its tree to the
// root window's dirty region.

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <algorithm>

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
    return InvalidateInParent(LocalRectToRoot(rectangle), clip, rectangle);
}

VxRESULT LControl::InvalidateInParent(const RectT<double>& rootRectangle, bool clip, const RectT<double>& rectangle)
{
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

VxRESULT LControl::InvalidateChild(const RCPtr<LControl>& /*child*/)
{
    // Only an offscreen surface keeps pixels of its children to mark.
    return VXR_OK;
}

VxRESULT LControl::OnBoundsChanging()
{
    m_boundsBeforeChange = GetLookBounds(-1);
    m_boundsChanging = 1;
    return VXR_OK;
}

VxRESULT LControl::OnBoundsChanged()
{
    m_boundsChanging = 0;
    return VXR_OK;
}

VxRESULT LControl::OnScrollOffsetChanged(const PointT<double>& /*oldOffset*/, const PointT<double>& /*newOffset*/)
{
    // Only an offscreen surface has pixels to move.
    return VXR_OK;
}
} // namespace Vx
