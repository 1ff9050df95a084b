#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/ControlFactory.h"
#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/LayoutDescriptor.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ObjectBase/Exception.h"

#include <climits>

namespace Vx
{
namespace
{
// The skin's descriptor of tool tips, and the class a tool tip is made of.
constexpr const char* kToolTipDescriptor = "toolTip";
constexpr const char* kToolTipClass = "Framework.ToolTip";

bool Clips(const LControl& control)
{
    return control.GetLayout().IsNull() || control.GetLayout()->ClipToParent;
}

// A child made from the tool-tip descriptor by the registered tool-tip class.
bool IsToolTip(const LControl& control)
{
    const RCPtr<LControlDescriptor>& descriptor = control.GetDescriptor();
    return !descriptor.IsNull() && descriptor->GetClassName() == kToolTipClass;
}
} // namespace

// ---- Hit testing ---------------------------------------------------------------

bool LControl::ContainsPoint(const PointT<int>& point)
{
    const PointT<int> p = point + m_bounds.GetOrigin().Round();
    return m_bounds.x <= p.x && p.x < m_bounds.x + m_bounds.width && m_bounds.y <= p.y &&
           p.y < m_bounds.y + m_bounds.height;
}

std::int32_t LControl::GetEffectiveZ() const
{
    std::int32_t z = INT_MIN;
    bool any = false;
    for (const LControl* control = this; control != nullptr; control = control->m_parent.Get())
    {
        if (Clips(*control))
            continue;
        const std::int32_t own = control->m_layout->Z_Order;
        if (!any || own > z)
            z = own;
        any = true;
    }
    return z;
}

RCPtr<LControl> LControl::ChildAtPoint(const PointT<int>& point) const
{
    for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
    {
        const RCPtr<LControl>& child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
        if (!child->IsTransparentAt(point - child->GetBounds().GetOrigin().Round()))
            return child;
    }
    return nullptr;
}

RCPtr<LControl> LControl::HitTest(const PointT<int>& point, bool flag, PointT<int>& hitPoint, std::int32_t& z)
{
    if (!IsVisible(false))
        return nullptr;
    const bool inside = ContainsPoint(point);
    const std::int32_t ownZ = GetEffectiveZ();

    RCPtr<LControl> result;
    PointT<int> resultPoint{0, 0};
    std::int32_t resultZ = z;
    if (inside || m_nonClippingDescendants > 0)
    {
        const PointT<int> scroll = m_scrollOffset.Round();
        for (std::uint32_t look = 0; look < m_looks.GetCount(); ++look)
        {
            if (!(GetLookWeight(static_cast<std::int32_t>(look)) > 0.0f))
                continue;
            const RectT<int> lookRect = GetLookBounds(static_cast<std::int32_t>(look)).Round();
            const PointT<int> content = point - lookRect.GetOrigin() + scroll;
            // From the top of the z-order down.
            for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
            {
                const RCPtr<LControl> child = m_children.GetAt(i, ChildControlList::kZOrder);
                const bool loose = !Clips(*child) || child->m_nonClippingDescendants > 0;
                const bool tried =
                    (result.IsNull() &&
                     ((inside && flag && (lookRect.Contains(point) || child->IsDocked(3))) || ownZ != INT_MIN)) ||
                    loose;
                if (!tried)
                    continue;
                PointT<int> childPoint{0, 0};
                std::int32_t childZ = z;
                const RCPtr<LControl> found = child->HitTest(content - child->GetBounds().GetOrigin().Round(),
                                                             inside && flag, childPoint, childZ);
                if (found.IsNull())
                    continue;
                if (result.IsNull() || childZ > resultZ)
                {
                    result = found;
                    resultPoint = childPoint;
                    resultZ = childZ;
                }
            }
        }
    }
    if (!result.IsNull())
    {
        hitPoint = resultPoint;
        z = resultZ;
        return result;
    }

    if (IsTransparentAt(point) || m_hitTestExcluded != 0 || !inside)
        return nullptr;
    if (!m_parent.IsNull() && Clips(*this) && !IsDocked(3))
    {
        // The point in the parent's frame must lie in its current look.
        const RectT<int> parentLook = m_parent->GetLookBounds(-1).Round();
        const PointT<int> inParent =
            point + m_bounds.GetOrigin().Round() - m_parent->GetScrollOffset().Round() + parentLook.GetOrigin();
        if (!parentLook.Contains(inParent))
            return nullptr;
    }
    if (!((ownZ == INT_MIN && flag) || z < ownZ))
        return nullptr;
    hitPoint = point;
    z = ownZ;
    return RCPtr<LControl>(this);
}

// ---- Tool tips -----------------------------------------------------------------------

RCPtr<LControl> LControl::GetToolTipSource()
{
    LControl* control = this;
    while (control->m_toolTipText.IsEmpty() && control->m_useParentToolTip != 0)
    {
        if (control->m_parent.IsNull())
        {
            VX_ASSERT_FALSE();
            break;
        }
        control = control->m_parent.Get();
    }
    return RCPtr<LControl>(control);
}

VxRESULT LControl::ShowToolTip(bool show, std::int32_t argument)
{
    const RCPtr<LControl> existing = FindChild(kToolTipDescriptor);
    if (!show)
    {
        if (existing.IsNull() || !IsToolTip(*existing))
            return VXR_OK;
        existing->SetVisible(false);
        return RemoveChildDeferred(existing);
    }

    const Text text = GetToolTipText(argument);
    if (text.IsEmpty())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    RCPtr<LControl> tip = existing;
    if (tip.IsNull() || !tip->IsVisible(false))
    {
        if (!tip.IsNull())
        {
            // A tip hidden a moment ago still waits for its removal.
            ProcessDeferredRemovals();
            tip = nullptr;
        }
        IControlHost* const host = GetControlHost();
        if (host == nullptr || host->GetControlFactory().IsNull())
            return VXR_E_FAIL;
        const RCPtr<LControlFactory>& factory = host->GetControlFactory();
        const RCPtr<LControlDescriptor>& descriptor = factory->FindControlDescriptor(kToolTipDescriptor);
        if (descriptor.IsNull())
            return VXR_NOTHING_DONE;
        // Anything but the tool-tip class would stay as a stray child.
        ControlCreator creator = nullptr;
        if (descriptor->GetClassName() != kToolTipClass || factory->FindCreator(kToolTipClass, creator) != VXR_OK)
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
        tip = factory->CreateControl(descriptor, RCPtr<LControl>(this));
        if (tip.IsNull())
            return VXR_E_FAIL;
    }
    tip->SetText(text);
    tip->SetVisible(true);
    return VXR_OK;
}
} // namespace Vx
