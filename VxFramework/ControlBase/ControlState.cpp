// A control's state as the tree and its layout need it: conditions, the
// enabled and visible flags, the keyboard focus, looks, text, font and value.

#include "VxFramework/Application/WindowOSServices.h"
#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Vx
{
// ---- Conditions -------------------------------------------------------------------

std::uint32_t LControl::ComputeConditions() const
{
    std::uint32_t mask = 0;
    const std::pair<std::uint8_t, std::uint32_t> flags[] = {{m_hasFocus, kHasFocus},
                                                            {m_containsFocus, kContainsFocus},
                                                            {m_hover, kHover},
                                                            {m_capture, kCapture},
                                                            {m_leftPressed, kLeftPressed},
                                                            {m_middlePressed, kMiddlePressed},
                                                            {m_rightPressed, kRightPressed},
                                                            {m_leftDragging, kLeftDragging},
                                                            {m_middleDragging, kMiddleDragging},
                                                            {m_rightDragging, kRightDragging}};
    for (const auto& [flag, bit] : flags)
    {
        if (flag != 0)
            mask |= bit;
    }
    if (IsEnabled(true))
        mask |= kEnabled;
    if (IsVisible(true))
        mask |= kVisible;
    if (m_hover != 0 || m_hoverHighlight != 0)
        mask |= kHoverOrHighlight;
    return mask;
}

void LControl::UpdateConditions()
{
    const std::uint32_t next = ComputeConditions();
    const std::uint32_t old = m_conditionsParam->current;
    if (next == old)
        return;
    const RCPtr<LControl> self(this);
    m_conditionsParam->previous = old;
    m_conditionsParam->current = next;
    m_conditionsParam->point = m_pressPoint;
    const std::uint32_t changed = old ^ next;

    // The control's cursor while the pointer is over it; the capture keeps
    // it until the capture ends.
    if (m_cursor != nullptr)
    {
        const bool hoverGained = (changed & kHover) != 0 && (next & kHover) != 0;
        const bool hoverLost = (changed & kHover) != 0 && (next & kHover) == 0;
        const bool captureLost = (changed & kCapture) != 0 && (next & kCapture) == 0;
        const bool captured = (next & kCapture) != 0;
        const bool hovered = (next & kHover) != 0;
        const RCPtr<LRootWindow> rootWindow = FindRootWindow();
        if (!rootWindow.IsNull())
        {
            if (hoverGained && !captured)
                m_previousCursor = rootWindow->SetCursor(m_cursor);
            else if ((hoverLost && !captured) || (captureLost && !hovered))
                rootWindow->SetCursor(m_previousCursor);
        }
    }

    if (m_dragMode != 0 && (old & kLeftDragging) != 0 && (next & kLeftDragging) == 0)
        OnDragEnd();

    OnActivate(m_conditionsParam);
    Send("NID_CONDITION_CHANGE", m_conditionsParam);

    // One notification per kind of change, in this order; hover alone has
    // none of its own.
    static constexpr std::pair<std::uint32_t, const char*> kKinds[] = {
        {kHasFocus, "NID_HAS_FOCUS_CONDITION_CHANGE"},
        {kContainsFocus, "NID_CONTAINS_FOCUS_CONDITION_CHANGE"},
        {kHoverOrHighlight, "NID_HOVER_CONDITION_CHANGE"},
        {kCapture, "NID_CAPTURE_CONDITION_CHANGE"},
        {kLeftPressed | kLeftDragging, "NID_LEFT_DRAG_CONDITION_CHANGE"},
        {kMiddlePressed | kMiddleDragging, "NID_MIDDLE_DRAG_CONDITION_CHANGE"},
        {kRightPressed | kRightDragging, "NID_RIGHT_DRAG_CONDITION_CHANGE"},
        {kEnabled, "NID_ENABLED_CONDITION_CHANGE"},
        {kVisible, "NID_VISIBLITY_CONDITION_CHANGE"},
    };
    for (const auto& [bits, id] : kKinds)
    {
        if ((changed & bits) != 0)
            Send(id, m_conditionsParam);
    }

    if (m_dragMode != 0 && (old & kLeftDragging) == 0 && (next & kLeftDragging) != 0)
        OnDragStart();

    // The pointer may now be over another control.
    const bool hiddenUnderPointer =
        m_hover != 0 && (changed & kVisible) != 0 && (next & kVisible) == 0 && m_capture == 0;
    const bool captureGoneElsewhere = (changed & kCapture) != 0 && (next & kCapture) == 0 && m_hover == 0;
    if (hiddenUnderPointer || captureGoneElsewhere)
    {
        const RCPtr<LRootWindow> rootWindow = FindRootWindow();
        if (!rootWindow.IsNull())
        {
            RCPtr<LControl> found;
            PointT<int> inControl{0, 0};
            rootWindow->HitTest(found, rootWindow->GetPointerPosition(), inControl, true);
        }
    }

    if ((changed & (kEnabled | kVisible)) != 0)
    {
        for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
        {
            if (i < m_children.GetCount())
                m_children.GetAt(i, ChildControlList::kInsertionOrder)->UpdateConditions();
        }
    }
}

void LControl::SetHoverHighlight(bool highlight)
{
    const std::uint8_t flag = highlight ? 1 : 0;
    if (m_hoverHighlight == flag)
        return;
    const RCPtr<LControl> self(this);
    m_hoverHighlight = flag;
    UpdateConditions();
}

VxRESULT LControl::OnCaptureLost()
{
    if (m_capture == 0)
    {
        VX_ASSERT_FALSE();
        return VXR_NOTHING_DONE;
    }
    const RCPtr<LControl> self(this);
    m_capture = 0;
    m_leftPressed = m_middlePressed = m_rightPressed = 0;
    m_leftDragging = m_middleDragging = m_rightDragging = 0;
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (!rootWindow.IsNull())
        rootWindow->ReleaseCapture(self);
    UpdateConditions();
    m_pressParam = nullptr;
    return VXR_OK;
}

// ---- Enabled and visible ----------------------------------------------------------

bool LControl::IsEnabled(bool withAncestors) const
{
    for (const LControl* control = this; control != nullptr; control = control->m_parent.Get())
    {
        if (!control->m_layout.IsNull() && !control->m_layout->IsEnabled)
            return false;
        if (!withAncestors)
            break;
    }
    return true;
}

bool LControl::IsVisible(bool withAncestors) const
{
    for (const LControl* control = this; control != nullptr; control = control->m_parent.Get())
    {
        if (!control->m_layout.IsNull() && !control->m_layout->IsVisible)
            return false;
        if (!(control->m_bounds.width > 0.0) || !(control->m_bounds.height > 0.0))
            return false;
        if (!withAncestors)
            break;
    }
    return true;
}

bool LControl::CanReceiveInput() const
{
    return IsVisible(true) && IsEnabled(true);
}

bool LControl::SetVisible(bool visible)
{
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return false;
    }
    if (m_layout->IsVisible == visible)
        return IsVisible(true);
    const RCPtr<LControl> self(this);
    if (!visible)
    {
        Invalidate();
        InvalidateNonClipping();
    }
    m_layout->IsVisible = visible;
    if (visible)
    {
        if (!m_parent.IsNull() && m_parent->m_hasFocus != 0 && CanTakeFocus())
            SetFocus(true);
        Invalidate();
        InvalidateNonClipping();
    }
    else if (HasFocus())
    {
        PassFocusUp();
    }
    UpdateConditions();
    return IsVisible(true);
}

VxRESULT LControl::SetEnabled(bool enabled)
{
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    if (m_layout->IsEnabled == enabled)
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);
    m_layout->IsEnabled = enabled;
    if (!enabled && HasFocus())
        PassFocusUp();
    if (!m_parent.IsNull() && m_parent->m_hasFocus != 0 && CanTakeFocus())
        SetFocus(true);
    UpdateConditions();
    Invalidate();
    InvalidateNonClipping();
    return VXR_OK;
}

// ---- Focus --------------------------------------------------------------------------

void LControl::PassFocusUp()
{
    if (!m_parent.IsNull())
    {
        m_parent->SetFocus(true);
        return;
    }
    // A top control has nobody to hand the focus to: it is dropped.
    OnFocusLost();
}

bool LControl::IsNotFocusable(bool inherited) const
{
    if (!inherited)
        return m_notFocusable != 0;
    for (const LControl* control = this; control != nullptr; control = control->m_parent.Get())
    {
        if (control->m_notFocusable != 0)
            return true;
        if (control->m_focusBoundary != 0)
            break;
    }
    return false;
}

bool LControl::FocusFirstFocusable()
{
    if (!CanReceiveInput() || m_notFocusable != 0)
        return false;
    for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
    {
        if (m_children.GetAt(i, ChildControlList::kInsertionOrder)->CanTakeFocus())
            return true;
    }
    return false;
}

bool LControl::IsFocusable()
{
    return CanReceiveInput() && !FocusFirstFocusable() && !IsNotFocusable(true);
}

bool LControl::CanTakeFocus()
{
    // IsFocusable() || FocusFirstFocusable(), asking the children once.
    if (FocusFirstFocusable())
        return true;
    return CanReceiveInput() && !IsNotFocusable(true);
}

VxRESULT LControl::SetNotFocusable(bool notFocusable)
{
    const bool tabStopNegative = !m_layout.IsNull() && m_layout->TabStop < 0;
    if ((m_notFocusable != 0) == notFocusable && (m_layout.IsNull() || tabStopNegative == notFocusable))
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);
    m_notFocusable = notFocusable ? 1 : 0;
    if (!m_layout.IsNull() && tabStopNegative != notFocusable)
    {
        std::int32_t& tabStop = m_layout->TabStop;
        if (tabStop == 0)
            tabStop = -1;
        else if (tabStop == std::numeric_limits<std::int32_t>::min())
            tabStop = std::numeric_limits<std::int32_t>::max();
        else
            tabStop = -tabStop;
    }
    if (!m_parent.IsNull())
    {
        m_parent->m_children.Invalidate();
        if (m_parent->m_hasFocus != 0 && CanTakeFocus())
            SetFocus(true);
    }
    if (m_notFocusable != 0 && m_hasFocus != 0)
        PassFocusUp();
    return VXR_OK;
}

VxRESULT LControl::RequestFocus(const RCPtr<LControl>& /*requester*/)
{
    const RCPtr<LControl> self(this);
    if (IsNotFocusable(true))
    {
        if (!m_parent.IsNull())
            m_parent->RequestFocus(self);
        return VXR_OK;
    }
    SetFocus(true);
    return VXR_OK;
}

bool LControl::Validate(bool /*forward*/)
{
    return true;
}

VxRESULT LControl::SetFocus(bool forward)
{
    const RCPtr<LControl> self(this);
    if (m_hasFocus != 0 && IsFocusable())
        return VXR_OK;
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (m_hasFocus == 0)
    {
        if (rootWindow.IsNull())
        {
            VX_ASSERT_FALSE();
        }
        else
        {
            const RCPtr<LControl> focused = rootWindow->GetFocusControl();
            if (!focused.IsNull() && !focused->Validate(forward))
                return VXR_E_FAIL;
        }
    }

    if (FocusFirstFocusable())
    {
        if (m_containsFocus != 0)
        {
            const RCPtr<LControl> child = FindFocusedChild();
            if (child.IsNull())
            {
                VX_ASSERT_FALSE();
                return VXR_E_FAIL;
            }
            if (child->CanTakeFocus())
                return child->SetFocus(forward);
        }
        const RCPtr<LControl> target = forward ? GetFirstFocusableTabChild() : GetLastFocusableTabChild();
        if (target.IsNull())
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
        return target->SetFocus(forward);
    }

    if (IsFocusable())
    {
        VxRESULT result = VXR_OK;
        if (m_containsFocus != 0)
        {
            m_hasFocus = 1;
            m_containsFocus = 0;
            const RCPtr<LControl> child = FindFocusedChild();
            if (child.IsNull())
            {
                VX_ASSERT_FALSE();
                result = VXR_E_FAIL;
            }
            else
            {
                child->OnFocusLost();
            }
        }
        else
        {
            m_hasFocus = 1;
            if (!m_parent.IsNull())
                m_parent->SetFocusWithin(self);
        }
        if (!rootWindow.IsNull())
            rootWindow->SetFocusControl(self);
        UpdateConditions();
        return result;
    }

    if (m_hasFocus != 0)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const RCPtr<LControl> top = GetTopLevelControl();
    // A top control that cannot take the focus would only ask itself again.
    if (top == self)
        return VXR_NOTHING_DONE;
    if (top->HasFocus())
        return top->SetFocus(true);
    return VXR_NOTHING_DONE;
}

void LControl::SetFocusWithin(const RCPtr<LControl>& child)
{
    const RCPtr<LControl> self(this);
    if (m_containsFocus != 0)
    {
        // The focus moves between two children: the one that had it lets go.
        for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
        {
            const RCPtr<LControl> other = m_children.GetAt(i, ChildControlList::kInsertionOrder);
            if (other != child && other->HasFocus())
            {
                other->OnFocusLost();
                return;
            }
        }
        VX_ASSERT_FALSE();
        return;
    }
    m_containsFocus = 1;
    if (m_hasFocus != 0)
        m_hasFocus = 0;
    else if (!m_parent.IsNull())
        m_parent->SetFocusWithin(self);
    UpdateConditions();
}

VxRESULT LControl::OnFocusLost()
{
    const RCPtr<LControl> self(this);
    if (m_hasFocus != 0)
    {
        m_hasFocus = 0;
        UpdateConditions();
        const RCPtr<LRootWindow> rootWindow = FindRootWindow();
        if (!rootWindow.IsNull())
            rootWindow->OnControlUnfocused(self);
        return VXR_NOTHING_DONE;
    }
    if (m_containsFocus == 0)
    {
        VX_ASSERT_FALSE();
        return VXR_NOTHING_DONE;
    }
    m_containsFocus = 0;
    const RCPtr<LControl> child = FindFocusedChild();
    if (child.IsNull())
        VX_ASSERT_FALSE();
    else if (Failed(child->OnFocusLost()))
        VX_ASSERT_FALSE();
    UpdateConditions();
    return VXR_NOTHING_DONE;
}

RCPtr<LControl> LControl::FindFocusedChild() const
{
    for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
    {
        const RCPtr<LControl>& child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
        if (child->HasFocus())
            return child;
    }
    return nullptr;
}

RCPtr<LControl> LControl::GetNextTabChild(const RCPtr<LControl>& from, bool backward)
{
    const std::int32_t start = m_children.IndexOf(from, ChildControlList::kTabOrder);
    if (start < 0)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    const std::uint32_t count = m_children.GetCount();
    if (count == 1)
        return from->CanReceiveInput() ? from : RCPtr<LControl>();
    for (std::uint32_t step = 1; step < count; ++step)
    {
        const std::uint32_t index = (static_cast<std::uint32_t>(start) + (backward ? count - step : step)) % count;
        const RCPtr<LControl>& child = m_children.GetAt(index, ChildControlList::kTabOrder);
        if (child->CanReceiveInput())
            return child;
    }
    return nullptr;
}

RCPtr<LControl> LControl::GetFirstFocusableTabChild()
{
    const std::uint32_t count = m_children.GetCount();
    if (count == 0)
        return nullptr;
    const RCPtr<LControl> first = m_children.GetAt(0, ChildControlList::kTabOrder);
    if (first->CanTakeFocus())
        return first;
    // At most one round: a first child that cannot receive input is never
    // met again, so the walk would otherwise go round for ever.
    RCPtr<LControl> next = GetNextTabChild(first, false);
    for (std::uint32_t steps = 1; steps < count && !next.IsNull() && next != first; ++steps)
    {
        if (next->CanTakeFocus())
            return next;
        next = GetNextTabChild(next, false);
    }
    return nullptr;
}

RCPtr<LControl> LControl::GetLastFocusableTabChild()
{
    const std::uint32_t count = m_children.GetCount();
    if (count == 0)
        return nullptr;
    const RCPtr<LControl> last = m_children.GetAt(count - 1, ChildControlList::kTabOrder);
    if (last->CanTakeFocus())
        return last;
    RCPtr<LControl> previous = GetNextTabChild(last, true);
    for (std::uint32_t steps = 1; steps < count && !previous.IsNull() && previous != last; ++steps)
    {
        if (previous->CanTakeFocus())
            return previous;
        previous = GetNextTabChild(previous, true);
    }
    return nullptr;
}

// ---- Looks ------------------------------------------------------------------------------

RCPtr<LLook> LControl::FindCurrentLook() const
{
    const std::uint32_t count = m_looks.GetCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (!m_looks[i].IsNull() && i < m_lookWeights.GetCount() && m_lookWeights[i] > 0.0f)
            return m_looks[i];
    }
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (!m_looks[i].IsNull())
            return m_looks[i];
    }
    return nullptr;
}

RCPtr<LLook> LControl::GetLook(std::int32_t index) const
{
    const std::uint32_t count = m_looks.GetCount();
    if (count == 0)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    if (index < 0 || static_cast<std::uint32_t>(index) >= count)
        return FindCurrentLook();
    return m_looks[static_cast<std::uint32_t>(index)];
}

float LControl::GetLookWeight(std::int32_t index) const
{
    if (index < 0 || static_cast<std::uint32_t>(index) >= m_lookWeights.GetCount())
    {
        VX_ASSERT_FALSE();
        return 0.0f;
    }
    return m_lookWeights[static_cast<std::uint32_t>(index)];
}

VxRESULT LControl::SetLookWeight(std::int32_t index, bool exclusive, float weight)
{
    const std::uint32_t count = std::min(m_looks.GetCount(), m_lookWeights.GetCount());
    if (index < 0 || static_cast<std::uint32_t>(index) >= count)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    bool changed = false;
    float& own = m_lookWeights[static_cast<std::uint32_t>(index)];
    if (weight >= 0.0f && weight <= 1.0f)
    {
        changed = own != weight;
        own = weight;
    }
    else
    {
        VX_ASSERT_FALSE();
    }
    if (exclusive)
    {
        for (std::uint32_t i = count; i-- > 0;)
        {
            if (i != static_cast<std::uint32_t>(index) && m_lookWeights[i] != 0.0f)
            {
                m_lookWeights[i] = 0.0f;
                changed = true;
            }
        }
    }
    if (changed)
        Invalidate();
    bool anyShown = false;
    for (std::uint32_t i = 0; i < count; ++i)
        anyShown = anyShown || m_lookWeights[i] > 0.0f;
    if (!anyShown)
        VX_ASSERT_FALSE();
    return VXR_OK;
}

bool LControl::HasLook(std::int32_t index) const
{
    return index >= 0 && static_cast<std::uint32_t>(index) < m_looks.GetCount() &&
           !m_looks[static_cast<std::uint32_t>(index)].IsNull();
}

std::int32_t LControl::GetFirstVisibleLookIndex() const
{
    const std::uint32_t count = std::min(m_looks.GetCount(), m_lookWeights.GetCount());
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (!m_looks[i].IsNull() && m_lookWeights[i] > 0.0f)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

bool LControl::IsTransparentAt(const PointT<std::int32_t>& point)
{
    const std::uint32_t count = std::min(m_looks.GetCount(), m_lookWeights.GetCount());
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const float weight = m_lookWeights[i];
        if (m_looks[i].IsNull() || !(weight > 0.0f))
            continue;
        if (GetLookPixel(point, static_cast<std::int32_t>(i), weight) >= 0x1000000u)
            return false;
    }
    return true;
}

std::uint32_t LControl::GetLookPixel(const PointT<std::int32_t>& point, std::int32_t index, float /*weight*/)
{
    const RCPtr<LLook> look = m_looks.GetCount() == 0 ? RCPtr<LLook>() : GetLook(index);
    if (look.IsNull())
        return LVisualPart::kNothing;
    return look->GetPixel(point);
}

bool LControl::IsTextClipped()
{
    const RCPtr<LLook> look = FindCurrentLook();
    if (look.IsNull() || look->GetDescriptor().IsNull())
    {
        VX_ASSERT_FALSE();
        return false;
    }
    const LLookDescriptor::TextArea& area = look->GetDescriptor()->GetTextArea();
    const double width = m_bounds.width;
    const double areaWidth = (width * area.rightRel + area.rightAbs) - (width * area.leftRel + area.leftAbs);
    const RCPtr<LFontText>& text = look->GetText();
    if (text.IsNull())
        return !m_text.IsEmpty() || areaWidth < 0.0;
    if (text->GetLineCount() == 0)
        return false;
    return areaWidth < static_cast<double>(text->GetLineRect(0).width);
}

VxRESULT LControl::SetLookClientBitmap(const RCPtr<LBitmap>& bitmap, std::int32_t resizeType, std::int32_t index,
                                       bool replacesClientPart)
{
    if (!HasLook(index))
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const VxRESULT result =
        m_looks[static_cast<std::uint32_t>(index)]->SetClientBitmap(bitmap, resizeType, replacesClientPart);
    if (result != VXR_NOTHING_DONE && index == GetFirstVisibleLookIndex())
        Invalidate();
    return result;
}

VxRESULT LControl::SetAllLookClientBitmaps(const RCPtr<LBitmap>& bitmap, std::int32_t resizeType,
                                           bool replacesClientPart)
{
    const std::int32_t shown = GetFirstVisibleLookIndex();
    bool shownChanged = false;
    VxRESULT result = VXR_NOTHING_DONE;
    for (std::uint32_t i = m_looks.GetCount(); i-- > 0;)
    {
        if (m_looks[i].IsNull())
            continue;
        result = m_looks[i]->SetClientBitmap(bitmap, resizeType, replacesClientPart);
        if (Failed(result))
            break;
        if (result != VXR_NOTHING_DONE && static_cast<std::int32_t>(i) == shown)
            shownChanged = true;
    }
    if (shownChanged)
        Invalidate();
    return result;
}

VxRESULT LControl::SetLookTextForegroundPart(const RCPtr<LVisualPart>& part, std::int32_t index)
{
    if (part.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (!HasLook(index))
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const VxRESULT result = m_looks[static_cast<std::uint32_t>(index)]->SetTextForegroundPart(part);
    // The text shows in the new colour at once.
    if (Succeeded(result) && index == GetFirstVisibleLookIndex())
        Invalidate();
    return result;
}

VxRESULT LControl::SetLookRegion(std::int32_t index, const RgnLight& region)
{
    if (!HasLook(index))
        return VXR_E_INVALIDARG;
    RgnLight& lookRegion = m_looks[static_cast<std::uint32_t>(index)]->GetRegion();
    lookRegion.Clear();
    lookRegion.Append(region);
    Invalidate();
    return VXR_OK;
}

VxRESULT LControl::SetLookRegionExcluding(std::int32_t index, std::int32_t otherIndex)
{
    if (!HasLook(index) || !HasLook(otherIndex))
        return VXR_E_INVALIDARG;
    RgnLight region;
    region.AddRect(RgnLight::Rect{0, 0, RoundHalfAwayFromZero(m_bounds.width), RoundHalfAwayFromZero(m_bounds.height)});
    region.Subtract(m_looks[static_cast<std::uint32_t>(otherIndex)]->GetRegion(), nullptr);
    return SetLookRegion(index, region);
}

VxRESULT LControl::ClearLookRegions()
{
    bool cleared = false;
    for (std::uint32_t i = 0; i < m_looks.GetCount(); ++i)
    {
        if (m_looks[i].IsNull() || m_looks[i]->GetRegion().IsEmpty())
            continue;
        m_looks[i]->GetRegion().Clear();
        cleared = true;
    }
    if (cleared)
        Invalidate();
    return VXR_OK;
}

VxRESULT LControl::SetLook(std::int32_t index)
{
    return SetLookWeight(index, true, 1.0f);
}

std::int32_t LControl::AddLook(const RCPtr<LLook>& look)
{
    // Laid out for the size the control has now; later sizes reach it from
    // the bounds.
    if (!look.IsNull())
        look->SetSize(
            PointT<std::int32_t>{RoundHalfAwayFromZero(m_bounds.width), RoundHalfAwayFromZero(m_bounds.height)});
    const VxRESULT index = m_looks.Add(look);
    if (Failed(index))
        return index;
    if (Failed(m_lookWeights.Add(0.0f)))
    {
        RCPtr<LLook> removed;
        m_looks.RemoveLast(removed);
        return VXR_E_OUTOFMEMORY;
    }
    return index;
}

// ---- Text and font -------------------------------------------------------------------

VxRESULT LControl::SetTextAndLayout(const Text& text, bool relayout)
{
    if (m_text == text)
        return 0;
    if (m_parent.IsNull() && !m_rootWindow.IsNull())
    {
        if (IWindowOSServices* const window = m_rootWindow->GetOSWindow())
            window->SetTitle(text);
    }
    m_text = text;
    for (std::uint32_t i = m_looks.GetCount(); i-- > 0;)
    {
        if (!m_looks[i].IsNull())
            m_looks[i]->SetText(text);
    }
    if (relayout && !m_layout.IsNull())
    {
        const LLayoutDescriptor& layout = *m_layout;
        const bool fitsWidth =
            layout.XMinSizeReference == LimitReference::Self && layout.TextOverflowXType != TextOverflowType::Clip;
        const bool fitsHeight =
            layout.YMinSizeReference == LimitReference::Self && layout.TextOverflowYType != TextOverflowType::Clip;
        if (fitsWidth || fitsHeight)
            RecalcLayout();
    }
    Invalidate();
    return 1;
}

VxRESULT LControl::SetText(const Text& text)
{
    return SetTextAndLayout(text, true) != 0 ? VXR_OK : VXR_NOTHING_DONE;
}

RCPtr<LFont> LControl::GetBaseFont() const
{
    if (m_inheritFont != 0 && !m_parent.IsNull() && !m_parent->m_font.IsNull())
        return m_parent->m_font;
    IControlHost* const host = GetControlHost();
    if (host == nullptr)
        return nullptr;
    Text name;
    float size = 0.0f;
    int style = 0;
    if (Failed(host->GetDefaultFont(name, size, style)))
        return nullptr;
    return LFont::GetFont(name, style, size);
}

VxRESULT LControl::SetFontObject(const RCPtr<LFont>& font)
{
    if (font.IsNull())
        return VXR_E_INVALIDARG;
    for (std::uint32_t i = m_looks.GetCount(); i-- > 0;)
    {
        if (!m_looks[i].IsNull())
            m_looks[i]->SetFont(font);
    }
    if (!m_font.IsNull() && m_font->GetName() == font->GetName() && m_font->GetSize() == font->GetSize() &&
        m_font->GetStyle() == font->GetStyle())
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);
    m_font = font;
    m_fontNameInherited = m_fontSizeRelative = m_fontStyleInherited = 0;
    OnFontChanged();
    for (std::uint32_t i = 0; i < m_children.GetCount(); ++i)
        m_children.GetAt(i, ChildControlList::kInsertionOrder)->UpdateFont();
    if (!m_layout.IsNull())
        RecalcLayout();
    Invalidate();
    return VXR_OK;
}

VxRESULT LControl::SetFont(const Text& name, std::int32_t style, bool relative, float size)
{
    const RCPtr<LFont> base = GetBaseFont();
    const Text baseName = base.IsNull() ? Text() : base->GetName();
    const float baseSize = base.IsNull() ? 0.0f : base->GetSize();
    const std::int32_t baseStyle = base.IsNull() ? 0 : base->GetStyle();

    const bool nameInherited = name.IsEmpty();
    const Text fontName = nameInherited ? baseName : name;
    bool sizeRelative = false;
    float factor = 1.0f;
    float fontSize = size;
    if (!(size > 0.0f) || m_fontRelativeFlag != 0)
    {
        sizeRelative = true;
        factor = relative && size > 0.0f ? size : 1.0f;
        fontSize = factor * baseSize;
    }
    const bool styleInherited = style == -1;
    const std::int32_t fontStyle = styleInherited ? baseStyle : style;

    RCPtr<LFont> font;
    if (!base.IsNull() && fontName == baseName && fontStyle == baseStyle && fontSize == baseSize)
        font = base;
    else
        font = LFont::GetFont(fontName, fontStyle, fontSize);
    if (font.IsNull())
        return VXR_E_FAIL;
    const VxRESULT result = SetFontObject(font);
    if (Succeeded(result))
    {
        m_fontNameInherited = nameInherited ? 1 : 0;
        m_fontSizeRelative = sizeRelative ? 1 : 0;
        m_fontStyleInherited = styleInherited ? 1 : 0;
        m_fontRelativeFlag = relative ? 1 : 0;
        m_fontSizeFactor = factor;
    }
    return result;
}

VxRESULT LControl::UpdateFont()
{
    if (m_inheritFont == 0 || (m_fontNameInherited == 0 && m_fontSizeRelative == 0 && m_fontStyleInherited == 0))
        return VXR_NOTHING_DONE;
    const Text name = m_fontNameInherited != 0 || m_font.IsNull() ? Text() : m_font->GetName();
    const std::int32_t style = m_fontStyleInherited != 0 || m_font.IsNull() ? -1 : m_font->GetStyle();
    float size = 0.0f;
    if (m_fontSizeRelative != 0)
        size = m_fontRelativeFlag != 0 ? m_fontSizeFactor : 0.0f;
    else if (!m_font.IsNull())
        size = m_font->GetSize();
    return SetFont(name, style, m_fontRelativeFlag != 0, size);
}

// ---- Value --------------------------------------------------------------------------------

double LControl::SetValue(double normalized)
{
    if (!(normalized >= 0.0 && normalized <= 1.0))
    {
        VX_ASSERT_FALSE();
        normalized = normalized > 1.0 ? 1.0 : 0.0;
    }
    if (normalized != m_value)
    {
        const RCPtr<LControl> self(this);
        m_value = normalized;
        OnValueChanged();
        Send("NID_VALUE_CHANGE", RCPtr<LValueParam>(new LValueParam(m_value, NormalizedToValue(m_value))));
    }
    return m_value;
}

VxRESULT LControl::SetValueRange(std::int32_t scale, double minimum, double maximum)
{
    // Ends that are not numbers would turn every value into one.
    const bool finite = std::isfinite(minimum) && std::isfinite(maximum);
    if (finite && (scale == 0 || (scale == 1 && minimum > 0.0 && maximum > 0.0)))
    {
        m_valueScale = scale;
        m_rangeMin = minimum;
        m_rangeMax = maximum;
        return VXR_OK;
    }
    VX_ASSERT_FALSE();
    return VXR_E_INVALIDARG;
}

double LControl::NormalizedToValue(double normalized) const
{
    if (m_valueScale == 1)
        return m_rangeMin * std::pow(m_rangeMax / m_rangeMin, normalized);
    if (m_valueScale != 0)
        VX_ASSERT_FALSE();
    return std::fma(m_rangeMax - m_rangeMin, normalized, m_rangeMin);
}

double LControl::ValueToNormalized(double value) const
{
    const double low = std::min(m_rangeMin, m_rangeMax);
    const double high = std::max(m_rangeMin, m_rangeMax);
    // Written so that a value that is no number lands on the low end.
    if (!(value >= low))
        value = low;
    else if (value > high)
        value = high;
    if (m_rangeMin == m_rangeMax)
        return 0.0;
    if (m_valueScale == 1)
        return std::log(value / m_rangeMin) / std::log(m_rangeMax / m_rangeMin);
    if (m_valueScale != 0)
        VX_ASSERT_FALSE();
    return (value - m_rangeMin) / (m_rangeMax - m_rangeMin);
}

VxRESULT LControl::BindValue(const RCPtr<LNotificationDistributor>& distributor, const char* id)
{
    if (distributor.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (m_handler.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const VxRESULT result = m_handler->Register(&LControl::OnBoundValue, distributor, id, 0);
    if (Failed(result))
        VX_ASSERT_FALSE();
    return result;
}

VxRESULT LControl::UnbindValue(const RCPtr<LNotificationDistributor>& distributor, const char* id)
{
    if (distributor.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (m_handler.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const VxRESULT result = m_handler->Unregister(distributor, id);
    if (Failed(result))
        VX_ASSERT_FALSE();
    return result;
}

NotificationHandlerResultCode LControl::OnBoundValue(const RCPtr<LNotificationDistributor>& /*from*/,
                                                     const ConstRCPtr<LNotification>& notification)
{
    const RCPtr<LValueParam> value(notification.IsNull() ? RCPtr<LRefCountedObject>() : notification->GetParam());
    if (value.IsNull())
    {
        VX_ASSERT_FALSE();
        return 1;
    }
    SetValue(value->normalized);
    return 1;
}

// ---- Cursor and menus ------------------------------------------------------------------

void LControl::SetCursor(juce::MouseCursor* cursor)
{
    if (cursor == m_cursor)
        return;
    juce::MouseCursor* const before = m_cursor;
    m_cursor = cursor;
    if (m_hover == 0)
        return;
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (rootWindow.IsNull())
        return;
    if (before != nullptr)
        rootWindow->SetCursor(cursor);
    else
        m_previousCursor = rootWindow->SetCursor(cursor);
}

const RCPtr<LMenuItemUpdater>& LControl::GetMenuItemUpdater()
{
    if (m_menuItemUpdater.IsNull())
    {
        m_menuItemUpdater = new LMenuItemUpdater(RCPtr<LControl>(this));
        AdjustContainedRefCount(1);
    }
    return m_menuItemUpdater;
}
} // namespace Vx
