// The size-limit passes of a control's layout: minimums (with the text fit
// and the room its children need) and maximums.

#include "VxFramework/ControlBase/Control.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <algorithm>
#include <cmath>

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
