#include "VxFramework/ControlBase/LayoutDescriptor.h"

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

namespace Vx
{
using Text = LLayoutDescriptor::Text;

std::int32_t PositionReference::FromWord(const Text& word)
{
    if (word == "Parent" || word == "Screen")
        return Parent;
    if (word == "Client" || word == "Active Window")
        return Client;
    return NamedControl;
}

std::int32_t SizeReference::FromWord(const Text& word)
{
    if (word == "Parent" || word == "Screen")
        return Parent;
    if (word == "Client" || word == "Active Window")
        return Client;
    if (word == "Self")
        return Self;
    return NamedControl;
}

std::uint8_t LimitReference::FromWord(const Text& word)
{
    return word == "Self" ? Self : NamedControl;
}

std::int32_t TextOverflowType::FromWord(const Text& word)
{
    if (word == "Clip")
        return Clip;
    if (word == "Expand")
        return Expand;
    if (word == "Wrap")
        return Wrap;
    return -1;
}

bool LLayoutDescriptor::PositionSpec::operator==(const PositionSpec& other) const
{
    return anchor == other.anchor && reference == other.reference && rel == other.rel && abs == other.abs &&
           docked == other.docked && (reference != PositionReference::NamedControl || controlName == other.controlName);
}

bool LLayoutDescriptor::SizeSpec::operator==(const SizeSpec& other) const
{
    return reference == other.reference && rel == other.rel && abs == other.abs &&
           (reference != SizeReference::NamedControl || controlName == other.controlName);
}

bool LLayoutDescriptor::LimitSpec::operator==(const LimitSpec& other) const
{
    return reference == other.reference && rel == other.rel && abs == other.abs &&
           (reference != LimitReference::NamedControl || controlName == other.controlName);
}

LLayoutDescriptor::LLayoutDescriptor() = default;

LLayoutDescriptor::LLayoutDescriptor(const LLayoutDescriptor& other) = default;

LLayoutDescriptor::~LLayoutDescriptor() = default;

void LLayoutDescriptor::Clone(RCPtr<LLayoutDescriptor>& out) const
{
    out = new LLayoutDescriptor(*this);
}

namespace
{
// Axis 0 or 1; any other logs an assertion.
bool IsAxis(int axis)
{
    if (axis == 0 || axis == 1)
        return true;
    VX_ASSERT_FALSE();
    return false;
}
} // namespace

LLayoutDescriptor::PositionSpec LLayoutDescriptor::GetPositionSpec(int axis) const
{
    if (IsAxis(axis) && axis == 1)
        return PositionSpec{YPlacementAnchor, YPositionReference, YPositionControlName,
                            YPositionRel,     YPositionAbs,       YIsDocked};
    return PositionSpec{XPlacementAnchor, XPositionReference, XPositionControlName,
                        XPositionRel,     XPositionAbs,       XIsDocked};
}

LLayoutDescriptor::SizeSpec LLayoutDescriptor::GetSizeSpec(int axis) const
{
    if (IsAxis(axis) && axis == 1)
        return SizeSpec{YSizeReference, YSizeControlName, YSizeRel, YSizeAbs};
    return SizeSpec{XSizeReference, XSizeControlName, XSizeRel, XSizeAbs};
}

LLayoutDescriptor::LimitSpec LLayoutDescriptor::GetMinimumSpec(int axis) const
{
    if (IsAxis(axis) && axis == 1)
        return LimitSpec{YMinSizeReference, YMinSizeControlName, YMinSizeRel, YMinSizeAbs};
    return LimitSpec{XMinSizeReference, XMinSizeControlName, XMinSizeRel, XMinSizeAbs};
}

LLayoutDescriptor::LimitSpec LLayoutDescriptor::GetMaximumSpec(int axis) const
{
    if (IsAxis(axis) && axis == 1)
        return LimitSpec{YMaxSizeReference, YMaxSizeControlName, YMaxSizeRel, YMaxSizeAbs};
    return LimitSpec{XMaxSizeReference, XMaxSizeControlName, XMaxSizeRel, XMaxSizeAbs};
}

VxRESULT LLayoutDescriptor::SetPositionSpec(int axis, const PositionSpec& spec)
{
    if (!IsAxis(axis))
        return VXR_E_INVALIDARG;
    (axis == 0 ? XPlacementAnchor : YPlacementAnchor) = spec.anchor;
    (axis == 0 ? XPositionReference : YPositionReference) = spec.reference;
    (axis == 0 ? XPositionControlName : YPositionControlName) = spec.controlName;
    (axis == 0 ? XPositionRel : YPositionRel) = spec.rel;
    (axis == 0 ? XPositionAbs : YPositionAbs) = spec.abs;
    (axis == 0 ? XIsDocked : YIsDocked) = spec.docked;
    return VXR_OK;
}

VxRESULT LLayoutDescriptor::SetSizeSpec(int axis, const SizeSpec& spec)
{
    if (!IsAxis(axis))
        return VXR_E_INVALIDARG;
    (axis == 0 ? XSizeReference : YSizeReference) = spec.reference;
    (axis == 0 ? XSizeControlName : YSizeControlName) = spec.controlName;
    (axis == 0 ? XSizeRel : YSizeRel) = spec.rel;
    (axis == 0 ? XSizeAbs : YSizeAbs) = spec.abs;
    return VXR_OK;
}

VxRESULT LLayoutDescriptor::SetMinimumSpec(int axis, const LimitSpec& spec)
{
    if (!IsAxis(axis))
        return VXR_E_INVALIDARG;
    (axis == 0 ? XMinSizeReference : YMinSizeReference) = spec.reference;
    (axis == 0 ? XMinSizeControlName : YMinSizeControlName) = spec.controlName;
    (axis == 0 ? XMinSizeRel : YMinSizeRel) = spec.rel;
    (axis == 0 ? XMinSizeAbs : YMinSizeAbs) = spec.abs;
    return VXR_OK;
}

VxRESULT LLayoutDescriptor::SetMaximumSpec(int axis, const LimitSpec& spec)
{
    if (!IsAxis(axis))
        return VXR_E_INVALIDARG;
    (axis == 0 ? XMaxSizeReference : YMaxSizeReference) = spec.reference;
    (axis == 0 ? XMaxSizeControlName : YMaxSizeControlName) = spec.controlName;
    (axis == 0 ? XMaxSizeRel : YMaxSizeRel) = spec.rel;
    (axis == 0 ? XMaxSizeAbs : YMaxSizeAbs) = spec.abs;
    return VXR_OK;
}

bool LLayoutDescriptor::IsDockedOn(int axis) const
{
    return axis == 0 ? XIsDocked : YIsDocked;
}

std::int32_t LLayoutDescriptor::GetTextOverflowType(int axis) const
{
    return axis == 0 ? TextOverflowXType : TextOverflowYType;
}

void LLayoutDescriptor::SwapContents(LLayoutDescriptor& a, LLayoutDescriptor& b, bool keep)
{
    // Copies, since the descriptor has no assignment: the kept fields are
    // taken from them afterwards.
    const LLayoutDescriptor oldA(a);
    const LLayoutDescriptor oldB(b);
    const auto assign = [keep](LLayoutDescriptor& to, const LLayoutDescriptor& from, const LLayoutDescriptor& own) {
        const LLayoutDescriptor& kept = keep ? own : from;
        to.ClipToParent = from.ClipToParent;
        to.Z_Order = from.Z_Order;
        to.TabStop = from.TabStop;
        to.IsVisible = kept.IsVisible;
        to.IsEnabled = kept.IsEnabled;
        to.XIsDocked = from.XIsDocked;
        to.YIsDocked = from.YIsDocked;
        to.XPlacementAnchor = from.XPlacementAnchor;
        to.XPositionReference = from.XPositionReference;
        to.XPositionControlName = from.XPositionControlName;
        to.XPositionRel = from.XPositionRel;
        to.XPositionAbs = kept.XPositionAbs;
        to.YPlacementAnchor = from.YPlacementAnchor;
        to.YPositionReference = from.YPositionReference;
        to.YPositionControlName = from.YPositionControlName;
        to.YPositionRel = from.YPositionRel;
        to.YPositionAbs = kept.YPositionAbs;
        to.XSizeReference = from.XSizeReference;
        to.XSizeControlName = from.XSizeControlName;
        to.XSizeRel = from.XSizeRel;
        to.XSizeAbs = kept.XSizeAbs;
        to.YSizeReference = from.YSizeReference;
        to.YSizeControlName = from.YSizeControlName;
        to.YSizeRel = from.YSizeRel;
        to.YSizeAbs = kept.YSizeAbs;
        to.XMinSizeReference = from.XMinSizeReference;
        to.XMinSizeControlName = from.XMinSizeControlName;
        to.XMinSizeRel = from.XMinSizeRel;
        to.XMinSizeAbs = kept.XMinSizeAbs;
        to.YMinSizeReference = from.YMinSizeReference;
        to.YMinSizeControlName = from.YMinSizeControlName;
        to.YMinSizeRel = from.YMinSizeRel;
        to.YMinSizeAbs = kept.YMinSizeAbs;
        to.XMaxSizeReference = from.XMaxSizeReference;
        to.XMaxSizeControlName = from.XMaxSizeControlName;
        to.XMaxSizeRel = from.XMaxSizeRel;
        to.XMaxSizeAbs = kept.XMaxSizeAbs;
        to.YMaxSizeReference = from.YMaxSizeReference;
        to.YMaxSizeControlName = from.YMaxSizeControlName;
        to.YMaxSizeRel = from.YMaxSizeRel;
        to.YMaxSizeAbs = kept.YMaxSizeAbs;
        to.TextDecoration = kept.TextDecoration;
        to.TextOverflowXType = kept.TextOverflowXType;
        to.TextOverflowYType = kept.TextOverflowYType;
        to.LayoutOrder = from.LayoutOrder;
    };
    assign(a, oldB, oldA);
    assign(b, oldA, oldB);
}

void LLayoutDescriptor::RenameControlReferences(const Text& oldName, const Text& newName)
{
    for (Text* name : {&XPositionControlName, &YPositionControlName, &XSizeControlName, &YSizeControlName,
                       &XMinSizeControlName, &YMinSizeControlName, &XMaxSizeControlName, &YMaxSizeControlName})
    {
        if (*name == oldName)
            *name = newName;
    }
}

int LLayoutDescriptor::CompareTabOrder(const LLayoutDescriptor& a, const LLayoutDescriptor& b)
{
    return a.TabStop < b.TabStop ? -1 : (b.TabStop < a.TabStop ? 1 : 0);
}

int LLayoutDescriptor::CompareZOrder(const LLayoutDescriptor& a, const LLayoutDescriptor& b)
{
    if (a.ClipToParent != b.ClipToParent)
        return a.ClipToParent ? -1 : 1;
    const int dockedA = int(a.XIsDocked) + int(a.YIsDocked);
    const int dockedB = int(b.XIsDocked) + int(b.YIsDocked);
    if (dockedA != dockedB)
        return dockedA < dockedB ? -1 : 1;
    return a.Z_Order < b.Z_Order ? -1 : (b.Z_Order < a.Z_Order ? 1 : 0);
}

namespace
{
double Round(double value)
{
    return RoundHalfAwayFromZero<double>(value);
}

double OnAxis(const PointT<double>& point, int axis)
{
    return axis == 0 ? point.x : point.y;
}

// What the rectangle of one control is measured against.
struct ReferenceFrame
{
    RCPtr<LControl> control; // the parent; null for a top-level control
    PointT<double> outerOrigin;
    PointT<double> outerExtent;
    PointT<double> clientExtent;
    PointT<double> scroll;
    PointT<double> freeOrigin;
};

// The position and extent of a named sibling on the axis.  A sibling docked
// on the axis carries the parent's scroll in its position, which is taken
// out.  A missing sibling logs an assertion and counts as (0, 0); without a
// parent the free origin stands in with no extent.
void FindSibling(const ReferenceFrame& frame, const Text& name, int axis, double& position, double& extent)
{
    if (frame.control.IsNull())
    {
        position = OnAxis(frame.freeOrigin, axis);
        extent = 0.0;
        return;
    }
    const RCPtr<LControl> sibling = frame.control->FindChild(name);
    if (sibling.IsNull())
    {
        VX_ASSERT_FALSE();
        position = 0.0;
        extent = 0.0;
        return;
    }
    const RectT<double>& bounds = sibling->GetBounds();
    position = axis == 0 ? bounds.x : bounds.y;
    extent = axis == 0 ? bounds.width : bounds.height;
    if (sibling->IsDocked(axis))
        position -= OnAxis(frame.scroll, axis);
}

// The left (top) edge and the size of one axis, before rounding.
void CalcAxis(const LLayoutDescriptor& layout, const ReferenceFrame& frame, int axis, double& left, double& size)
{
    const LLayoutDescriptor::PositionSpec position = layout.GetPositionSpec(axis);
    const LLayoutDescriptor::SizeSpec sizeSpec = layout.GetSizeSpec(axis);
    const double anchor = position.anchor;

    double p = 0.0;
    std::int32_t positionReference = position.reference;
    if (positionReference != PositionReference::Parent && positionReference != PositionReference::Client &&
        positionReference != PositionReference::NamedControl)
    {
        VX_ASSERT_FALSE();
        positionReference = PositionReference::NamedControl;
    }
    if (positionReference == PositionReference::Parent)
        p = Round(position.rel * OnAxis(frame.outerExtent, axis)) + position.abs + OnAxis(frame.outerOrigin, axis);
    else if (positionReference == PositionReference::Client)
        p = Round(position.rel * OnAxis(frame.clientExtent, axis)) + position.abs;
    else
    {
        double siblingPosition = 0.0;
        double siblingExtent = 0.0;
        FindSibling(frame, position.controlName, axis, siblingPosition, siblingExtent);
        p = Round(position.rel * siblingExtent) + siblingPosition + position.abs;
    }

    if (sizeSpec.reference == SizeReference::Self)
    {
        size = sizeSpec.abs;
        if (size < 0.0)
        {
            VX_ASSERT_FALSE();
            size = 0.0;
        }
    }
    else
    {
        double origin = 0.0;
        double extent = 0.0;
        std::int32_t sizeReference = sizeSpec.reference;
        if (sizeReference != SizeReference::Parent && sizeReference != SizeReference::Client &&
            sizeReference != SizeReference::NamedControl)
        {
            VX_ASSERT_FALSE();
            sizeReference = SizeReference::NamedControl;
        }
        if (sizeReference == SizeReference::Parent)
        {
            origin = OnAxis(frame.outerOrigin, axis);
            extent = OnAxis(frame.outerExtent, axis);
        }
        else if (sizeReference == SizeReference::Client)
            extent = OnAxis(frame.clientExtent, axis);
        else
            FindSibling(frame, sizeSpec.controlName, axis, origin, extent);
        const double q = Round(sizeSpec.rel * extent) + origin + sizeSpec.abs;

        // The far edge lands on q on whichever side of the position point it
        // lies, as far as the anchor admits that side.
        const double d = q - p;
        const float anchorF = position.anchor;
        if (d > 0.0 && anchorF >= 0.0f && anchorF < 1.0f)
            size = static_cast<double>(1.0f / (1.0f - anchorF)) * d;
        else if (d < 0.0 && anchorF > 0.0f && anchorF <= 1.0f)
            size = static_cast<double>(-1.0f / anchorF) * d;
        else
            size = 0.0;
    }
    left = p - anchor * size;

    if (position.docked)
        left += OnAxis(frame.scroll, axis);
}
} // namespace

VxRESULT CalcRectangle(const RCPtr<LLayoutDescriptor>& descriptor, const RCPtr<LControl>& reference,
                       const RectT<double>& outerRectangle, const PointT<double>& clientExtent,
                       const PointT<double>& freeOrigin, RectT<double>& out)
{
    if (descriptor.IsNull())
        return VXR_E_INVALIDARG;

    ReferenceFrame frame;
    frame.control = reference;
    frame.freeOrigin = freeOrigin;
    if (!reference.IsNull())
    {
        // The parent's client coordinates: its client area starts at (0, 0)
        // and its whole rectangle at minus the client rectangle's offset.
        const RectT<double> client = reference->GetLookBounds(-1);
        const RectT<double>& bounds = reference->GetBounds();
        frame.outerOrigin = PointT<double>{-client.x, -client.y};
        frame.outerExtent = PointT<double>{bounds.width, bounds.height};
        frame.clientExtent = PointT<double>{client.width, client.height};
        frame.scroll = reference->GetScrollOffset();
    }
    else
    {
        frame.outerOrigin = outerRectangle.GetOrigin();
        frame.outerExtent = outerRectangle.GetSize();
        frame.clientExtent = clientExtent;
        frame.scroll = PointT<double>::Zero;
    }

    double x = 0.0;
    double width = 0.0;
    double y = 0.0;
    double height = 0.0;
    CalcAxis(*descriptor, frame, 0, x, width);
    CalcAxis(*descriptor, frame, 1, y, height);

    // Edges, not sizes, are rounded.
    out.x = Round(x);
    out.y = Round(y);
    out.width = Round(x + width) - Round(x);
    out.height = Round(y + height) - Round(y);
    return VXR_OK;
}
} // namespace Vx
