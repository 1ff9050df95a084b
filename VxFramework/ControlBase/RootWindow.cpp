#include "VxFramework/ControlBase/RootWindow.h"

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/ControlFactory.h"
#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/LayoutDescriptor.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/Renderer.h"
#include "VxFramework/System/KeyUtils.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <algorithm>
#include <new>

namespace Vx
{
namespace
{
const char* NameOrNull(const RCPtr<LControl>& control)
{
    return control.IsNull() ? "Null" : control->GetName().GetCString();
}

bool SameRect(const RectT<int>& a, const RectT<int>& b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
} // namespace

LRootWindow::LRootWindow() : m_keyQueue(&m_keyQueueMutex)
{
    CreateHotKeys();
}

LRootWindow::LRootWindow(const RCPtr<LRenderer>& renderer, IWindowOSServices* osWindow)
    : m_renderer(renderer), m_osWindow(osWindow), m_keyQueue(&m_keyQueueMutex)
{
    CreateHotKeys();
}

void LRootWindow::CreateHotKeys()
{
    try
    {
        m_hotKeys = MakeRCPtr<LGlobalHotKeyManager>(RCPtr<LNotificationReceiver>(GetPostingReceiver()));
    }
    catch (const std::bad_alloc&)
    {
        // The window works without hot keys of its own.
        VX_ASSERT_FALSE();
    }
}

LRootWindow::~LRootWindow()
{
    m_hotKeys = nullptr;
    m_focusControl = nullptr;
    m_previousFocusControl = nullptr;
    m_hoverControl = nullptr;
    m_toolTipOwner = nullptr;
    m_captureControl = nullptr;
    m_topControl = nullptr;
    m_renderer = nullptr;
}

RCPtr<LRootWindow> LRootWindow::Create(const RCPtr<LRenderer>& renderer, IWindowOSServices* osWindow)
{
    RCPtr<LRootWindow> window(new LRootWindow(renderer, osWindow));
    // The queue counts this reference to its own object as contained.
    window->SetDistributor(RCPtr<LNotificationDistributor>(window));
    return window;
}

VxRESULT LRootWindow::RemoveContainedReferences()
{
    RemoveAllClients();
    m_osWindow = nullptr;
    CreateTopControl(StringT<char, unsigned short>());
    LNotificationQueue::Detach();
    return LRefCountedObject::RemoveContainedReferences();
}

// ---- Ownership ----------------------------------------------------------------

VxRESULT LRootWindow::SetTopControl(const RCPtr<LControl>& control)
{
    m_focusControl = nullptr;
    m_previousFocusControl = nullptr;
    m_hoverControl = nullptr;
    m_captureControl = nullptr;

    if (!m_topControl.IsNull())
    {
        AdjustContainedRefCount(-1);
        const RCPtr<LControl> old = m_topControl;
        m_topControl = nullptr;
        old->Detach();
        if (!m_hotKeys.IsNull())
            m_hotKeys->RemoveAll();
    }
    if (control.IsNull())
        return VXR_OK;

    m_topControl = control;
    const RCPtr<LStringTable> createParams = control->GetCreateParams();
    if (!createParams.IsNull() && !m_hotKeys.IsNull())
        m_hotKeys->LoadFromCreateParams(createParams, "GHK");
    if (control->GetRootWindow().IsNull())
        control->SetRootWindow(RCPtr<LRootWindow>(this));

    // The top control fills the client area, whatever its skin says.
    LLayoutDescriptor::PositionSpec position[2];
    LLayoutDescriptor::SizeSpec size[2];
    if (control->GetAxisPlacement(0, position[0], size[0]) == VXR_OK &&
        control->GetAxisPlacement(1, position[1], size[1]) == VXR_OK)
    {
        for (int axis = 0; axis < 2; ++axis)
        {
            position[axis].anchor = 0.0f;
            position[axis].reference = PositionReference::Client;
            position[axis].rel = 0.0f;
            position[axis].abs = 0.0;
            size[axis].reference = SizeReference::Client;
            size[axis].rel = 1.0f;
            size[axis].abs = 0.0;
        }
        control->SetPlacement(position[0], size[0], position[1], size[1]);
    }

    if (m_focusControl.IsNull())
    {
        IWindowOSServices* const window = m_osWindow.load();
        if (window == nullptr)
            VX_ASSERT_FALSE();
        else if (window->HasKeyboardFocus())
            control->SetFocus(true);
        else
            window->GrabKeyboardFocus();
    }

    AdjustContainedRefCount(1);
    InvalidateAll();
    return VXR_OK;
}

VxRESULT LRootWindow::CreateTopControl(const StringT<char, unsigned short>& name)
{
    if (name.IsEmpty())
        return SetTopControl(nullptr);
    RCPtr<LControl> control;
    IControlHost* const host = GetControlHost();
    if (host != nullptr && !host->GetControlFactory().IsNull())
        control = host->GetControlFactory()->CreateTopLevelControl(name, RCPtr<LRootWindow>(this));
    else
        VX_ASSERT_FALSE();
    return SetTopControl(control);
}

// ---- Focus --------------------------------------------------------------------

void LRootWindow::SetFocusControl(const RCPtr<LControl>& control)
{
    if (control.IsNull())
        VX_ASSERT_FALSE();
    m_focusControl = control;
}

void LRootWindow::OnControlUnfocused(const RCPtr<LControl>& control)
{
    if (control != m_focusControl)
        DebugTracer::Get().Trace(1, "LRootWindow::OnControlUnfocused: passed control: %s  mCurFocusedControlRCPtr: %s",
                                 NameOrNull(control), NameOrNull(m_focusControl));
    m_previousFocusControl = m_focusControl;
    m_focusControl = nullptr;
}

void LRootWindow::MoveFocusToNextWindow(const RCPtr<LKeyParam>& key)
{
    if (!IsWindowActive())
    {
        VX_ASSERT_FALSE();
        return;
    }
    IWindowOSServices* const window = m_osWindow.load();
    if (window->IsInModalLoop())
        return;
    const bool backward = !key.IsNull() && (key->key.code & KeyCode::kShift) != 0;

    IControlHost* const host = GetControlHost();
    std::int32_t count = 0;
    if (host != nullptr)
        while (!host->GetRootWindow(static_cast<std::uint32_t>(count)).IsNull())
            ++count;
    if (count <= 1)
    {
        if (m_topControl.IsNull())
            return;
        const RCPtr<LControl> top = m_topControl;
        top->OnFocusLost();
        top->SetFocus(!backward);
        return;
    }
    std::int32_t index = count - 1;
    while (index >= 0 && host->GetRootWindow(static_cast<std::uint32_t>(index)).Get() != this)
        --index;
    index += backward ? -1 : 1;
    if (index < 0)
        index = count - 1;
    else if (index >= count)
        index = 0;
    const RCPtr<LRootWindow> next = host->GetRootWindow(static_cast<std::uint32_t>(index));
    next->Activate();
}

VxRESULT LRootWindow::Activate()
{
    if (IsWindowActive())
        return 1;
    IWindowOSServices* const window = m_osWindow.load();
    if (window == nullptr)
        return VXR_E_FAIL;
    window->GrabKeyboardFocus();
    return VXR_OK;
}

void LRootWindow::DropHoverAndFocus()
{
    UpdateHover(nullptr);
    if (m_topControl.IsNull())
        return;
    const RCPtr<LControl> top = m_topControl;
    top->SetFocus(true);
    top->OnFocusLost();
}

void LRootWindow::RestoreFocus()
{
    if (m_focusControl.IsNull() && !m_previousFocusControl.IsNull())
    {
        const RCPtr<LControl> previous = m_previousFocusControl;
        const RCPtr<LControl> top = previous->GetTopLevelControl();
        if (!top.IsNull() && top->GetRootWindow().Get() == this)
        {
            previous->SetFocus(true);
            return;
        }
    }
    if (!m_topControl.IsNull())
    {
        const RCPtr<LControl> top = m_topControl;
        top->SetFocus(true);
    }
}

VxRESULT LRootWindow::ProcessHotKey(const KeyCode& key)
{
    return m_hotKeys.IsNull() ? VXR_NOTHING_DONE : m_hotKeys->ProcessKey(key);
}

bool LRootWindow::IsWindowActive()
{
    IWindowOSServices* const window = m_osWindow.load();
    return window != nullptr && window->IsActive();
}

// ---- Window geometry ------------------------------------------------------------

RectT<int> LRootWindow::RefreshClientRect()
{
    IWindowOSServices* const window = m_osWindow.load();
    RectT<int> client{0, 0, 0, 0};
    PointT<int> origin{0, 0};
    if (window != nullptr)
    {
        // Asked outside the lock: the OS window may take locks of its own.
        window->GetClientRect(client);
        origin = window->ClientToScreen(PointT<int>{0, 0});
    }
    const ScopedLock lock(m_mutex);
    if (window != nullptr)
        m_clientRect = RectT<int>{origin.x, origin.y, client.width, client.height};
    return m_clientRect;
}

RectT<int> LRootWindow::GetClientRect()
{
    return RefreshClientRect();
}

PointT<int> LRootWindow::GetClientSize()
{
    const RectT<int> client = RefreshClientRect();
    return PointT<int>{client.width, client.height};
}

void LRootWindow::SetWindowRect(const RectT<int>& rectangle)
{
    IWindowOSServices* const window = m_osWindow.load();
    if (window == nullptr || SameRect(rectangle, GetClientRect()))
        return;
    window->SetBounds(rectangle);
    if (m_topControl.IsNull())
        return;
    const RCPtr<LControl> top = m_topControl;
    const bool clip = top->GetLayout().IsNull() || top->GetLayout()->ClipToParent;
    top->InvalidateRect(RectT<double>{0.0, 0.0, top->GetBounds().width, top->GetBounds().height}, clip);
}

bool LRootWindow::ConstrainWindowSize(PointT<int>& size)
{
    PointT<int> result = size;
    if (!m_topControl.IsNull())
    {
        IControlHost* const host = GetControlHost();
        IWindowOSServices* const window = m_osWindow.load();
        RectT<int> display = host != nullptr ? host->GetDisplayArea() : RectT<int>{0, 0, 0, 0};
        const PointT<int> origin =
            window != nullptr ? window->ClientToScreen(PointT<int>{0, 0}) : PointT<int>{m_clientRect.x, m_clientRect.y};
        display.x = -origin.x;
        display.y = -origin.y;
        const PointT<int> pointer = host != nullptr ? host->GetMousePosition() : PointT<int>{0, 0};

        const RCPtr<LControl> top = m_topControl;
        RectT<double> rect{0.0, 0.0, static_cast<double>(size.x), static_cast<double>(size.y)};
        if (CalcRectangle(top->GetLayout(), nullptr, static_cast<RectT<double>>(display),
                          PointT<double>{static_cast<double>(size.x), static_cast<double>(size.y)},
                          PointT<double>{static_cast<double>(pointer.x), static_cast<double>(pointer.y)},
                          rect) != VXR_OK)
            VX_ASSERT_FALSE();
        PointT<double> position = rect.GetOrigin();
        PointT<double> extent = rect.GetSize();
        if (top->ApplyMinimumSize(position, extent) < 0)
            VX_ASSERT_FALSE();
        if (top->ApplyMaximumSize(position, extent) < 0)
            VX_ASSERT_FALSE();
        result = PointT<int>{static_cast<int>(extent.x), static_cast<int>(extent.y)};
    }
    result.x = std::max(result.x, 1);
    result.y = std::max(result.y, 1);
    const bool changed = result != size;
    size = result;
    return changed;
}

void LRootWindow::OnWindowResized(const PointT<int>& /*size*/)
{
    if (m_topControl.IsNull())
        return;
    const RCPtr<LControl> top = m_topControl;
    top->OnWindowResized();
}

juce::MouseCursor* LRootWindow::SetCursor(juce::MouseCursor* cursor)
{
    IWindowOSServices* const window = m_osWindow.load();
    if (window == nullptr)
        return nullptr;
    if (cursor == nullptr)
    {
        IControlHost* const host = GetControlHost();
        if (host != nullptr)
            cursor = host->LoadCursor(StringT<char, unsigned short>("UI_CURSOR_ARROW"));
    }
    return window->SetCursor(cursor);
}

// ---- Close and the idle pass ----------------------------------------------------

VxRESULT LRootWindow::RequestClose(std::int32_t closeCode)
{
    if (m_osWindow.load() == nullptr)
        return VXR_E_FAIL;
    m_closeCode = closeCode;
    m_closePending = true;
    return VXR_OK;
}

void LRootWindow::OnCloseButton()
{
    // A dialog top control would end itself with code 2; no dialog class
    // exists in this build, so every top control closes with 0.
    RequestClose(0);
}

bool LRootWindow::ProcessIdle(bool sendIdle)
{
    // Closing the OS window releases this window: keep it for the call.
    const RCPtr<LRootWindow> self(this);
    for (;;)
    {
        const RCPtr<LKeyParam> key = m_keyQueue.GetCount() == 0 ? RCPtr<LKeyParam>() : m_keyQueue.Pop();
        if (key.IsNull())
            break;
        DispatchKey(key);
    }
    const bool pending = ProcessPending(sendIdle);
    IWindowOSServices* const window = m_osWindow.load();
    if (m_closePending && window != nullptr)
    {
        m_closePending = false;
        // The OS window deletes itself: its pointer must not be used again.
        m_osWindow = nullptr;
        window->Close(m_closeCode);
    }
    return pending;
}

// ---- State ----------------------------------------------------------------------

IWindowOSServices* LRootWindow::GetOSWindow() const
{
    return m_osWindow.load();
}
RCPtr<LMeasurementRenderer> LRootWindow::GetMeasurementRenderer() const
{
    return RCPtr<LMeasurementRenderer>(m_renderer);
}
RCPtr<LRenderer> LRootWindow::GetRenderer() const
{
    return m_renderer;
}
RCPtr<LControl> LRootWindow::GetTopControl() const
{
    return m_topControl;
}
RCPtr<LControl> LRootWindow::GetFocusControl() const
{
    return m_focusControl;
}
RCPtr<LControl> LRootWindow::GetHoverControl() const
{
    return m_hoverControl;
}
} // namespace Vx
