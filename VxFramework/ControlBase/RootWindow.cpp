#include "VxFramework/ControlBase/RootWindow.h"

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/Renderer/Renderer.h"

namespace Vx
{
LRootWindow::LRootWindow() : m_keyQueue(&m_keyQueueMutex) {}

LRootWindow::LRootWindow(const RCPtr<LRenderer>& renderer, IWindowOSServices* osWindow)
    : m_renderer(renderer), m_osWindow(osWindow), m_keyQueue(&m_keyQueueMutex)
{
}

LRootWindow::~LRootWindow() = default;

RCPtr<LRootWindow> LRootWindow::Create(const RCPtr<LRenderer>& renderer, IWindowOSServices* osWindow)
{
    RCPtr<LRootWindow> window(new LRootWindow(renderer, osWindow));
    window->SetDistributor(RCPtr<LNotificationDistributor>(window));
    return window;
}

RCPtr<LControl> LRootWindow::HitTest(RCPtr<LControl>& found, const PointT<int>&, PointT<int>& pointInControl, bool)
{
    found = nullptr;
    pointInControl = PointT<int>{0, 0};
    return nullptr;
}

VxRESULT LRootWindow::RemoveContainedReferences()
{
    return LNotificationQueue::RemoveContainedReferences();
}
VxRESULT LRootWindow::SetTopControl(const RCPtr<LControl>&)
{
    return VXR_OK;
}
VxRESULT LRootWindow::CreateTopControl(const StringT<char, unsigned short>&)
{
    return VXR_OK;
}
void LRootWindow::SetFocusControl(const RCPtr<LControl>& control)
{
    m_focusControl = control;
}
void LRootWindow::OnControlUnfocused(const RCPtr<LControl>&)
{
    m_focusControl = nullptr;
}
void LRootWindow::MoveFocusToNextWindow(const RCPtr<LKeyParam>&) {}
VxRESULT LRootWindow::Activate()
{
    return VXR_OK;
}
void LRootWindow::DropHoverAndFocus() {}
void LRootWindow::RestoreFocus() {}
bool LRootWindow::IsWindowActive()
{
    return false;
}
RectT<int> LRootWindow::GetClientRect()
{
    return m_clientRect;
}
PointT<int> LRootWindow::GetClientSize()
{
    return PointT<int>{m_clientRect.width, m_clientRect.height};
}
void LRootWindow::SetWindowRect(const RectT<int>&) {}
bool LRootWindow::ConstrainWindowSize(PointT<int>&)
{
    return false;
}
void LRootWindow::OnWindowResized(const PointT<int>&) {}
juce::MouseCursor* LRootWindow::SetCursor(juce::MouseCursor*)
{
    return nullptr;
}
VxRESULT LRootWindow::RequestClose(std::int32_t)
{
    return VXR_OK;
}
void LRootWindow::OnCloseButton() {}
bool LRootWindow::ProcessIdle(bool sendIdle)
{
    return ProcessPending(sendIdle);
}
void LRootWindow::PointerButton(int, int, int, const PointT<int>&, unsigned int) {}
void LRootWindow::PointerMove(const PointT<int>&, int, unsigned int) {}
void LRootWindow::MouseWheel(const PointT<int>&, int, unsigned int) {}
void LRootWindow::DispatchKey(const RCPtr<LKeyParam>&) {}
VxRESULT LRootWindow::PostKey(const RCPtr<LKeyParam>&)
{
    return VXR_OK;
}
VxRESULT LRootWindow::UpdateHover(const RCPtr<LControl>&)
{
    return VXR_OK;
}
VxRESULT LRootWindow::SetCapture(const RCPtr<LControl>&)
{
    return VXR_OK;
}
VxRESULT LRootWindow::ReleaseCapture(const RCPtr<LControl>&)
{
    return VXR_OK;
}
void LRootWindow::NotifyCaptureLost() {}
PointT<int> LRootWindow::GetPointerPosition()
{
    return PointT<int>{0, 0};
}
int LRootWindow::GetHeldButtons()
{
    return 0;
}
int LRootWindow::GetModifierKeys()
{
    return 0;
}
int LRootWindow::CountSourcesHolding(int)
{
    return 0;
}
void LRootWindow::SetTextInputActive(bool, const RCPtr<LControl>&, int) {}
void LRootWindow::Invalidate(const RectT<int>&) {}
void LRootWindow::InvalidateAll()
{
    const PointT<int> size = GetClientSize();
    Invalidate(RectT<int>{0, 0, size.x, size.y});
}
void LRootWindow::InvalidateRegion(const RgnLight&) {}
void LRootWindow::TakeDirtyRegion(RgnLight& region)
{
    region.Clear();
}
void LRootWindow::Paint(const RgnLight&) {}
void LRootWindow::PaintControls(const RCPtr<LControl>&, const RgnLight&, bool) {}
IWindowOSServices* LRootWindow::GetOSWindow() const
{
    return m_osWindow;
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
