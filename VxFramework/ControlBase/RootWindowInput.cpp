#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <climits>

namespace Vx
{
namespace
{
constexpr int kVirtualKeyShift = 16;
constexpr int kVirtualKeyControl = 17;
constexpr int kVirtualKeyAlt = 18;

bool IsDeliveredButton(int button)
{
    return button == 1 || button == 2 || button == 4;
}

bool IsAttached(const LControl& control)
{
    return !control.GetParent().IsNull() || !control.GetRootWindow().IsNull();
}
} // namespace

// ---- Pointer position, buttons and modifiers ------------------------------------

PointT<int> LRootWindow::GetPointerPosition()
{
    IWindowOSServices* const window = m_osWindow.load();
    if (window == nullptr)
        return PointT<int>{0, 0};
    if (IsWindowActive())
        return window->GetMousePosition();
    IControlHost* const host = GetControlHost();
    return window->ScreenToClient(host != nullptr ? host->GetMousePosition() : PointT<int>{0, 0});
}

int LRootWindow::GetHeldButtons()
{
    IWindowOSServices* const window = m_osWindow.load();
    if (window == nullptr)
        return 0;
    if (IsWindowActive())
        return window->GetMouseButtons();
    IControlHost* const host = GetControlHost();
    return host != nullptr ? host->GetMouseButtons() : 0;
}

int LRootWindow::GetModifierKeys()
{
    IControlHost* const host = GetControlHost();
    if (host == nullptr)
        return 0;
    int modifiers = 0;
    bool down = false;
    host->GetKeyState(kVirtualKeyControl, down);
    modifiers |= down ? 0x01 : 0;
    down = false;
    host->GetKeyState(kVirtualKeyShift, down);
    modifiers |= down ? 0x08 : 0;
    down = false;
    host->GetKeyState(kVirtualKeyAlt, down);
    modifiers |= down ? 0x40 : 0;
    return modifiers;
}

int LRootWindow::CountSourcesHolding(int buttonMask)
{
    int count = 0;
    for (const std::int32_t held : m_heldButtons)
        if ((buttonMask & ~held) == 0)
            ++count;
    return count;
}

// ---- Hit test and hover ------------------------------------------------------------

RCPtr<LControl> LRootWindow::HitTest(RCPtr<LControl>& found, const PointT<int>& point, PointT<int>& pointInControl,
                                     bool updateHover)
{
    pointInControl = PointT<int>{0, 0};
    found = nullptr;
    if (m_topControl.IsNull())
        return nullptr;
    const RCPtr<LControl> top = m_topControl;
    const PointT<int> inTop = point - top->GetBounds().GetOrigin().Round();
    PointT<int> hitPoint{0, 0};
    std::int32_t z = INT_MIN;
    found = top->HitTest(inTop, true, hitPoint, z);
    if (updateHover)
        UpdateHover(found);
    pointInControl = hitPoint;
    return found;
}

VxRESULT LRootWindow::UpdateHover(const RCPtr<LControl>& control)
{
    RCPtr<LControl> next = control;
    if (!m_captureControl.IsNull() && next != m_captureControl)
        next = nullptr;
    if (next == m_hoverControl)
        return VXR_OK;

    RCPtr<LControl> source;
    if (!next.IsNull() && next != m_captureControl)
    {
        source = next->GetToolTipSource();
        if (!source.IsNull() && source->GetToolTipText(0).IsEmpty())
            source = nullptr;
    }
    if (source != m_toolTipOwner)
    {
        const RCPtr<LControl> old = m_toolTipOwner;
        if (!old.IsNull())
            old->ShowToolTip(false, 0);
        m_toolTipOwner = source;
        if (!source.IsNull())
            source->ShowToolTip(true, 0);
    }

    const RCPtr<LControl> old = m_hoverControl;
    if (!old.IsNull() && IsAttached(*old))
        old->OnPointerLeave();
    m_hoverControl = next;
    if (!next.IsNull())
        next->OnPointerEnter();
    return VXR_OK;
}

void LRootWindow::HideToolTip()
{
    if (m_toolTipOwner.IsNull())
        return;
    const RCPtr<LControl> owner = m_toolTipOwner;
    owner->ShowToolTip(false, 0);
}

PointT<int> LRootWindow::RelativeToControl(const RCPtr<LControl>& control, const PointT<int>& point) const
{
    return point - control->GetRectInRootWindow().GetOrigin().Round();
}

// ---- Pointer events --------------------------------------------------------------------

void LRootWindow::PointerButton(int type, int button, int modifiers, const PointT<int>& point, unsigned int source)
{
    if (!IsWindowActive())
        return;
    if (point != GetPointerPosition())
        PointerMove(point, modifiers, source);
    HideToolTip();

    if (type == 1)
    {
        if (source < kPointerSources)
            m_heldButtons[source] &= ~button;
        else
            VX_ASSERT_FALSE();
        if (m_captureControl.IsNull())
            return;
        const RCPtr<LControl> target = m_captureControl;
        DeliverButton(target, button, RelativeToControl(target, point), modifiers, source, false, false);
        return;
    }

    if (type == 0)
    {
        if (source < kPointerSources)
            m_heldButtons[source] |= button;
        else
            VX_ASSERT_FALSE();
    }
    else if (type != 2)
    {
        // Anything else counts as a double click.
        VX_ASSERT_FALSE();
    }

    RCPtr<LControl> target = m_captureControl;
    PointT<int> relative{0, 0};
    if (!target.IsNull())
        relative = RelativeToControl(target, point);
    else
        HitTest(target, point, relative, true);
    if (target.IsNull())
        return;
    DeliverButton(target, button, relative, modifiers, source, type != 0, true);
}

void LRootWindow::DeliverButton(const RCPtr<LControl>& target, int button, const PointT<int>& point, int modifiers,
                                unsigned int source, bool doubleClick, bool down)
{
    if (!IsDeliveredButton(button))
        return;
    const int held = GetHeldButtons();
    bool flag = doubleClick;
    if (!down)
        flag = (m_doubleClickBits & button) != 0;
    const RCPtr<LMouseButtonParam> param(new LMouseButtonParam(button, point, static_cast<std::uint32_t>(modifiers),
                                                               flag, static_cast<std::uint32_t>(held),
                                                               static_cast<std::int32_t>(source)));
    if (down && doubleClick)
        m_doubleClickBits |= button;
    else
        m_doubleClickBits &= ~button;
    if (down)
        target->OnPointerDown(param);
    else
        target->OnPointerUp(param);
}

void LRootWindow::PointerMove(const PointT<int>& point, int modifiers, unsigned int source)
{
    if (!IsWindowActive())
        return;
    DebugTracer::Get().TraceNoNewline(6, "location - %d, %d - ", point.x, point.y);
    RCPtr<LControl> target;
    PointT<int> relative{0, 0};
    if (!m_captureControl.IsNull())
    {
        RCPtr<LControl> ignored;
        PointT<int> ignoredPoint{0, 0};
        HitTest(ignored, point, ignoredPoint, true);
        target = m_captureControl;
        if (target.IsNull())
            return;
        relative = RelativeToControl(target, point);
    }
    else
    {
        HitTest(target, point, relative, true);
        if (target.IsNull())
            return;
    }
    const RCPtr<LPointWithModifiersParam> param = LPointWithModifiersParam::Create(
        relative, static_cast<std::uint32_t>(modifiers), static_cast<std::int32_t>(source));
    target->OnPointerMove(param);
}

void LRootWindow::MouseWheel(const PointT<int>& point, int modifiers, unsigned int direction)
{
    if (!IsWindowActive())
        return;
    HideToolTip();
    RCPtr<LControl> target = m_captureControl;
    if (target.IsNull())
    {
        PointT<int> relative{0, 0};
        HitTest(target, point, relative, true);
    }
    if (target.IsNull())
        return;
    if (direction > 3)
        VX_ASSERT_FALSE();
    const RCPtr<LMouseWheelParam> param(
        new LMouseWheelParam(point, static_cast<std::uint32_t>(modifiers), static_cast<std::int32_t>(direction)));
    const bool vertical = direction <= 1;
    const VxRESULT result = vertical ? target->OnMouseWheel(param) : target->OnMouseWheelHorizontal(param);
    if (result != VXR_NOTHING_DONE || m_focusControl.IsNull())
        return;
    const RCPtr<LControl> focus = m_focusControl;
    if (vertical)
        focus->OnMouseWheel(param);
    else
        focus->OnMouseWheelHorizontal(param);
}

// ---- Keys --------------------------------------------------------------------------------

void LRootWindow::DispatchKey(const RCPtr<LKeyParam>& key)
{
    HideToolTip();
    if (m_focusControl.IsNull())
        return;
    const RCPtr<LControl> focus = m_focusControl;
    focus->OnKey(key);
}

VxRESULT LRootWindow::PostKey(const RCPtr<LKeyParam>& key)
{
    const ScopedLock lock(m_keyQueueMutex);
    m_keyQueue.Push(key);
    return VXR_OK;
}

// ---- Capture ---------------------------------------------------------------------------

VxRESULT LRootWindow::SetCapture(const RCPtr<LControl>& control)
{
    if (control.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (!m_captureControl.IsNull())
    {
        const RCPtr<LControl> old = m_captureControl;
        old->OnCaptureLost();
    }
    m_captureControl = control;
    return VXR_OK;
}

VxRESULT LRootWindow::ReleaseCapture(const RCPtr<LControl>& control)
{
    if (control != m_captureControl)
        VX_ASSERT_FALSE();
    m_captureControl = nullptr;
    return VXR_OK;
}

void LRootWindow::NotifyCaptureLost()
{
    if (m_captureControl.IsNull())
        return;
    const RCPtr<LControl> holder = m_captureControl;
    holder->OnCaptureLost();
}

void LRootWindow::SetTextInputActive(bool on, const RCPtr<LControl>& control, int argument)
{
    if (on && control != m_focusControl)
        return;
    if (IWindowOSServices* const window = m_osWindow.load())
        window->SetTextEntryMode(on, argument);
}
} // namespace Vx
