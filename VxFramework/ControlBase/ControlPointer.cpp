#include "VxFramework/ControlBase/Control.h"

#include "VxFramework/ControlBase/ContextMenuPopup.h"
#include "VxFramework/ControlBase/ControlFactory.h"
#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <algorithm>
#include <cmath>

namespace Vx
{
// Pointer, click and drag handling, and the inertial scrolling that drags
// and flings start.

namespace
{
// Content pixels a second of auto-scroll per pixel the pointer is inside the
// edge margin (plus one, so the edge itself already scrolls).
constexpr double kAutoScrollSpeed = 15.0;
constexpr double kAutoScrollMargin = 30.0;
// A release later than this after the last move does not fling.
constexpr std::uint32_t kFlingMaxPauseMs = 99;
constexpr double kFlingMinSpeed = 1000.0;
// A flung content coasts this long before it slows down.
constexpr std::uint32_t kFlingCoastMs = 1000;

bool IsButton(std::int32_t button)
{
    return button == 1 || button == 2 || button == 4;
}

std::uint32_t Now()
{
    IControlHost* const host = GetControlHost();
    return host == nullptr ? 0 : host->GetTickCount();
}

double ElapsedSeconds()
{
    IControlHost* const host = GetControlHost();
    return host == nullptr ? 0.0 : host->GetElapsedSeconds();
}

double Axis(const PointT<double>& point, int axis)
{
    return axis == 0 ? point.x : point.y;
}

double& Axis(PointT<double>& point, int axis)
{
    return axis == 0 ? point.x : point.y;
}

// The depth of the coordinate inside the margin of the far edge (positive)
// or of the near edge (negative) of [start, start + extent); 0 outside both.
// The far edge counts when the coordinate lies beyond the middle.
double EdgeOvershoot(double coordinate, double start, double extent, double nearMargin, double farMargin)
{
    if (coordinate > start + extent / 2.0)
    {
        const double inner = start + extent - farMargin;
        return coordinate > inner ? coordinate - inner : 0.0;
    }
    const double inner = start + nearMargin;
    return coordinate < inner ? -(inner - coordinate) : 0.0;
}

} // namespace

// ---- Hover -------------------------------------------------------------------------

VxRESULT LControl::OnPointerEnter()
{
    if (m_hover != 0)
        VX_ASSERT_FALSE();
    const RCPtr<LControl> self(this);
    m_hover = 1;
    UpdateConditions();
    return VXR_OK;
}

VxRESULT LControl::OnPointerLeave()
{
    if (m_hover == 0)
        VX_ASSERT_FALSE();
    const RCPtr<LControl> self(this);
    m_hover = 0;
    UpdateConditions();
    return VXR_OK;
}

// ---- Buttons and capture -------------------------------------------------------------

VxRESULT LControl::OnPointerDown(const RCPtr<LMouseButtonParam>& param)
{
    if (param.IsNull() || !IsButton(param->button))
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LControl> self(this);
    if (m_capture == 0)
    {
        if (!CanReceiveInput())
            return VXR_NOTHING_DONE;
        if (IsNotFocusable(true))
        {
            if (m_parent.IsNull())
                VX_ASSERT_FALSE();
            else
                m_parent->RequestFocus(self);
        }
        else
        {
            SetFocus(true);
        }
    }
    switch (param->button)
    {
    case 2:
        OnMiddleButtonDown(param);
        break;
    case 4:
        OnRightButtonDown(param);
        break;
    default:
        m_pressParam = param;
        OnLeftButtonDown(param);
        break;
    }
    Send("NID_MOUSE_DOWN", param);
    if (m_capture != 0)
        return VXR_OK;
    BeginCapture(param->button, param->point);
    return VXR_OK;
}

VxRESULT LControl::BeginCapture(std::int32_t button, const PointT<int>& point)
{
    if (!CanReceiveInput() || m_capture != 0)
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (button != 0)
    {
        if (!IsButton(button))
        {
            VX_ASSERT_FALSE();
            return VXR_NOTHING_DONE;
        }
        const int held = rootWindow.IsNull() ? 0 : rootWindow->GetHeldButtons();
        if ((held & button) == 0)
            return VXR_NOTHING_DONE;
    }
    for (const std::uint8_t flag :
         {m_leftPressed, m_middlePressed, m_rightPressed, m_leftDragging, m_middleDragging, m_rightDragging})
    {
        if (flag != 0)
            VX_ASSERT_FALSE();
    }
    if (button != 0)
    {
        m_pressPoint = PointT<double>{m_bounds.x + point.x, m_bounds.y + point.y};
        m_dragOffset = PointT<double>::Zero;
    }
    // A press catches a flung content.
    for (int axis = 0; axis < 2; ++axis)
    {
        if (m_decelerating[axis] != 0)
            StopInertialScroll(axis);
    }
    m_capture = 1;
    m_previousMoveTimeMs = m_pressTimeMs = Now();
    m_flingVelocity = PointT<double>::Zero;
    if (!rootWindow.IsNull())
        rootWindow->SetCapture(self);
    switch (button)
    {
    case 1:
        m_leftPressed = 1;
        m_dragMode = 0;
        break;
    case 2:
        m_middlePressed = 1;
        break;
    case 4:
        m_rightPressed = 1;
        break;
    default:
        break;
    }
    UpdateConditions();
    if (m_dragThreshold == 0 && button != 0 && m_capture != 0)
    {
        m_leftDragging = std::exchange(m_leftPressed, 0);
        m_middleDragging = std::exchange(m_middlePressed, 0);
        m_rightDragging = std::exchange(m_rightPressed, 0);
        UpdateConditions();
        if (m_leftDragging != 0 && m_dragMode != 0)
        {
            const std::uint32_t modifiers =
                rootWindow.IsNull() ? 0 : static_cast<std::uint32_t>(rootWindow->GetModifierKeys());
            OnDragMove(LPointWithModifiersParam::Create(point, modifiers, 0));
        }
    }
    return VXR_OK;
}

VxRESULT LControl::OnPointerMove(const RCPtr<LPointWithModifiersParam>& param)
{
    if (param.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LControl> self(this);
    m_lastMoveTimeMs = Now();
    if (m_leftPressed != 0 || m_middlePressed != 0 || m_rightPressed != 0)
    {
        const PointT<std::int32_t> press =
            PointT<double>{m_pressPoint.x - m_bounds.x, m_pressPoint.y - m_bounds.y}.Round();
        const std::int64_t distance = std::max(std::llabs(std::int64_t{param->point.x} - press.x),
                                               std::llabs(std::int64_t{param->point.y} - press.y));
        if (distance >= m_dragThreshold)
        {
            // Listeners see the pointer at the press first, so that a drag
            // starts from where the button went down.
            OnPointerMove(LPointWithModifiersParam::Create(press, param->modifiers, param->source));
            if (m_leftPressed != 0)
                m_leftDragging = 1;
            else if (m_middlePressed != 0)
                m_middleDragging = 1;
            else if (m_rightPressed != 0)
                m_rightDragging = 1;
            m_leftPressed = m_middlePressed = m_rightPressed = 0;
            UpdateConditions();
        }
    }
    OnPointerMoved(param);
    Send("NID_MOUSE_MOVE", param);
    if (m_leftDragging != 0 && m_dragMode != 0)
        OnDragMove(param);
    m_previousMoveTimeMs = m_lastMoveTimeMs;
    return VXR_OK;
}

VxRESULT LControl::OnPointerUp(const RCPtr<LMouseButtonParam>& param)
{
    if (param.IsNull() || !IsButton(param->button))
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (!CanReceiveInput() && m_capture == 0)
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);
    bool pressed = false;
    bool dragging = false;
    switch (param->button)
    {
    case 2:
        OnMiddleButtonUp(param);
        pressed = m_middlePressed != 0;
        dragging = m_middleDragging != 0;
        break;
    case 4:
        OnRightButtonUp(param);
        pressed = m_rightPressed != 0;
        dragging = m_rightDragging != 0;
        break;
    default:
        OnLeftButtonUp(param);
        pressed = m_leftPressed != 0;
        dragging = m_leftDragging != 0;
        break;
    }
    const bool click = m_hover != 0 && (pressed || (dragging && m_dragMode == 0));

    if (param->button == 1 && m_leftDragging != 0 && m_dragMode == 6)
    {
        m_releaseTimeMs = Now();
        if (m_releaseTimeMs - m_previousMoveTimeMs <= kFlingMaxPauseMs)
        {
            const RectT<double> bounds = GetScrollBounds();
            if ((m_dragAxes & 0x1) != 0 && std::fabs(m_flingVelocity.x) >= kFlingMinSpeed)
            {
                StartInertialScroll(0, nullptr, m_flingVelocity.x, bounds.width, 0.0);
                m_decelerating[0] = 1;
            }
            if ((m_dragAxes & 0x2) != 0 && std::fabs(m_flingVelocity.y) >= kFlingMinSpeed)
            {
                StartInertialScroll(1, nullptr, m_flingVelocity.y, bounds.height, 0.0);
                m_decelerating[1] = 1;
            }
        }
    }
    Send("NID_MOUSE_UP", param);
    if (m_capture != 0 && param->heldButtons == 0)
        OnCaptureLost();
    if (click && IsEnabled(true))
        OnClick(param);
    return VXR_OK;
}

// ---- Clicks ----------------------------------------------------------------------------

VxRESULT LControl::OnClick(const RCPtr<LMouseButtonParam>& param)
{
    if (param.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    switch (param->button)
    {
    case 1:
        return OnLeftClick(param);
    case 2:
        return OnMiddleClick(param);
    case 4:
        return OnRightClick(param);
    default:
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
}

VxRESULT LControl::OnLeftClick(const RCPtr<LMouseButtonParam>& param)
{
    if (param.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LControl> self(this);
    LeftClicked(param);
    Send("NID_LEFT_CLICK", param);
    return VXR_OK;
}

VxRESULT LControl::OnMiddleClick(const RCPtr<LMouseButtonParam>& param)
{
    if (param.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LControl> self(this);
    MiddleClicked(param);
    Send("NID_MIDDLE_CLICK", param);
    return VXR_OK;
}

VxRESULT LControl::OnRightClick(const RCPtr<LMouseButtonParam>& param)
{
    if (param.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LControl> self(this);
    RightClicked(param);
    Send("NID_RIGHT_CLICK", param);
    const RCPtr<LMenuDescriptor> menu = GetContextMenu();
    if (!menu.IsNull())
        ShowContextMenu(menu);
    return VXR_OK;
}

// ---- Dragging ---------------------------------------------------------------------------

VxRESULT LControl::SetDragMode(std::int32_t mode, std::uint32_t axes)
{
    m_dragMode = mode;
    m_dragAxes = axes;
    return VXR_OK;
}

VxRESULT LControl::SetDragThreshold(std::int32_t pixels)
{
    if (pixels < 0)
        return VXR_E_INVALIDARG;
    m_dragThreshold = pixels;
    return VXR_OK;
}

VxRESULT LControl::SaveDragStartState()
{
    m_dragStartSize = PointT<double>{m_bounds.width, m_bounds.height};
    m_dragStartParentScroll = m_parent.IsNull() ? PointT<double>::Zero : m_parent->GetScrollOffset();
    for (int axis = 0; axis < 2; ++axis)
    {
        LLayoutDescriptor::PositionSpec position;
        LLayoutDescriptor::SizeSpec size;
        if (Succeeded(GetAxisPlacement(axis, position, size)))
        {
            m_dragStartPlacement[axis] = position.abs;
            m_dragStartPlacement[2 + axis] = size.abs;
        }
    }
    return VXR_OK;
}

VxRESULT LControl::OnDragStart()
{
    if (m_leftDragging == 0)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const RCPtr<LControl> self(this);
    if (m_dragMode == 1 && !m_layout.IsNull())
    {
        m_dropTarget = nullptr;
        m_dragWasUnclipped = m_layout->ClipToParent ? 0 : 1;
        SetClipToParent(false);
        // Docked while dragged, so that a parent scrolling under the pointer
        // does not carry the control away.
        const PointT<double> parentScroll = m_parent.IsNull() ? PointT<double>::Zero : m_parent->GetScrollOffset();
        for (int axis = 0; axis < 2; ++axis)
        {
            const bool docked = IsDocked(axis);
            (axis == 0 ? m_dragXWasDocked : m_dragYWasDocked) = docked ? 1 : 0;
            if (docked)
                continue;
            LLayoutDescriptor::PositionSpec position;
            LLayoutDescriptor::SizeSpec size;
            if (Failed(GetAxisPlacement(axis, position, size)))
                continue;
            position.docked = true;
            position.abs = Axis(m_bounds.GetOrigin(), axis) - Axis(parentScroll, axis);
            SetAxisPlacement(axis, position, size);
        }
    }
    return SaveDragStartState();
}

RectT<double> LControl::GetDragBounds(const RCPtr<LControl>& /*child*/)
{
    return GetLookBounds(-1);
}

VxRESULT LControl::OnDragMove(const RCPtr<LPointWithModifiersParam>& param)
{
    if (param.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (m_leftDragging == 0 || m_dragMode == 0)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const RCPtr<LControl> self(this);
    const RCPtr<LControl> parent = m_parent;
    m_inDragMove = 1;
    const std::int32_t mode = m_dragMode;
    const std::uint32_t axes = m_dragAxes;

    const PointT<double> rootPointer =
        GetRectInRootWindow().GetOrigin() + PointT<double>{double(param->point.x), double(param->point.y)};
    PointT<double> d{m_bounds.x + param->point.x - m_pressPoint.x, m_bounds.y + param->point.y - m_pressPoint.y};
    // Signed depth into an edge margin per axis; 0 none.
    double overshoot[2] = {0.0, 0.0};

    if (mode >= 2 && mode <= 5 && !parent.IsNull())
    {
        // The drag bounds in the parent's content coordinates.
        const RectT<double> a = parent->LocalRectToContent(parent->GetDragBounds(self));
        RectT<double> c = a;
        ConstrainDrag(c);
        PointT<double> low{c.x - m_pressPoint.x, c.y - m_pressPoint.y};
        PointT<double> high{c.x + c.width - m_pressPoint.x, c.y + c.height - m_pressPoint.y};
        if (mode >= 4)
        {
            // The control keeps at least one pixel.
            if ((axes & 0x8) != 0)
                high.x = std::min(high.x, m_dragStartSize.x - 1.0);
            if ((axes & 0x4) != 0)
                low.x = std::max(low.x, 1.0 - m_dragStartSize.x);
            if ((axes & 0x10) != 0)
                high.y = std::min(high.y, m_dragStartSize.y - 1.0);
            if ((axes & 0x20) != 0)
                low.y = std::max(low.y, 1.0 - m_dragStartSize.y);
        }
        if (mode == 3 || mode == 5)
        {
            const PointT<double> inParent = rootPointer - parent->GetContentOriginInRoot();
            const bool scrolls[2] = {(axes & (0x1 | 0x4 | 0x8)) != 0, (axes & (0x2 | 0x10 | 0x20)) != 0};
            for (int axis = 0; axis < 2; ++axis)
            {
                if (!scrolls[axis])
                    continue;
                const double start = axis == 0 ? a.x : a.y;
                const double extent = axis == 0 ? a.width : a.height;
                const double cStart = axis == 0 ? c.x : c.y;
                const double cExtent = axis == 0 ? c.width : c.height;
                // Where the constraint reaches beyond the bounds, the margin
                // shrinks by as much.
                const double nearMargin = std::max(0.0, kAutoScrollMargin - std::max(0.0, start - cStart));
                const double farMargin =
                    std::max(0.0, kAutoScrollMargin - std::max(0.0, (cStart + cExtent) - (start + extent)));
                overshoot[axis] = EdgeOvershoot(Axis(inParent, axis), start, extent, nearMargin, farMargin);
            }
        }
        for (int axis = 0; axis < 2; ++axis)
        {
            double& value = Axis(d, axis);
            const double clamped = std::min(std::max(value, Axis(low, axis)), Axis(high, axis));
            if (clamped != value)
            {
                value = clamped;
                overshoot[axis] = 0.0;
            }
        }
        m_dragOffset = d;
    }

    if (mode >= 1 && mode <= 3)
    {
        const PointT<double> parentScroll = parent.IsNull() ? PointT<double>::Zero : parent->GetScrollOffset();
        for (int axis = 0; axis < 2; ++axis)
        {
            if ((axes & (axis == 0 ? 0x1u : 0x2u)) == 0)
                continue;
            LLayoutDescriptor::PositionSpec position;
            LLayoutDescriptor::SizeSpec size;
            if (Failed(GetAxisPlacement(axis, position, size)))
                continue;
            position.abs = m_dragStartPlacement[axis] + Axis(d, axis);
            if (IsDocked(axis))
                position.abs -= Axis(parentScroll, axis) - Axis(m_dragStartParentScroll, axis);
            SetAxisPlacement(axis, position, size);
        }
    }
    else if (mode == 4 || mode == 5)
    {
        static constexpr std::uint32_t kFarEdge[2] = {0x4, 0x20};
        static constexpr std::uint32_t kNearEdge[2] = {0x8, 0x10};
        for (int axis = 0; axis < 2; ++axis)
        {
            if ((axes & (kFarEdge[axis] | kNearEdge[axis])) == 0)
                continue;
            LLayoutDescriptor::PositionSpec position;
            LLayoutDescriptor::SizeSpec size;
            if (Failed(GetAxisPlacement(axis, position, size)))
                continue;
            if ((axes & kFarEdge[axis]) != 0)
                size.abs = m_dragStartPlacement[2 + axis] + Axis(d, axis);
            if ((axes & kNearEdge[axis]) != 0)
            {
                position.abs = m_dragStartPlacement[axis] + Axis(d, axis);
                size.abs = m_dragStartPlacement[2 + axis] - Axis(d, axis);
            }
            if (size.abs <= 0.0)
                VX_ASSERT_FALSE();
            SetAxisPlacement(axis, position, size);
        }
    }
    else if (mode >= 6)
    {
        const double seconds = static_cast<double>(m_lastMoveTimeMs - m_previousMoveTimeMs) / 1000.0;
        if (seconds > 0.0)
        {
            const RectT<double> bounds = GetScrollBounds();
            for (int axis = 0; axis < 2; ++axis)
            {
                const double delta = Axis(m_dragOffset, axis) - Axis(d, axis);
                double velocity = delta / seconds;
                const double old = Axis(m_flingVelocity, axis);
                if (old != 0.0 && seconds < 0.2)
                    velocity = 0.5 * velocity + 0.5 * old;
                Axis(m_flingVelocity, axis) = velocity;
                if ((axes & (axis == 0 ? 0x1u : 0x2u)) != 0 && delta != 0.0)
                {
                    const double start = axis == 0 ? bounds.x : bounds.y;
                    const double extent = axis == 0 ? bounds.width : bounds.height;
                    const double offset = std::min(std::max(Axis(m_scrollOffset, axis) + delta, start), start + extent);
                    SetScrollOffsetAxis(axis, offset);
                }
            }
            m_dragOffset = d;
        }
    }

    if (mode == 1)
    {
        const RCPtr<LRootWindow> rootWindow = FindRootWindow();
        const PointT<int> pointer = rootPointer.Round();
        RCPtr<LControl> target;
        if (!rootWindow.IsNull())
        {
            RCPtr<LControl> found;
            PointT<int> inFound{0, 0};
            m_hitTestExcluded = 1;
            rootWindow->HitTest(found, pointer, inFound, false);
            m_hitTestExcluded = 0;
            if (!found.IsNull())
                target = found->FindDropTarget(self, pointer);
        }
        if (target != m_dropTarget)
        {
            const RCPtr<LControl> old = m_dropTarget;
            if (!old.IsNull())
            {
                old->StopInertialScroll(0);
                old->StopInertialScroll(1);
                old->OnDragLeave(self);
            }
            m_dropTarget = target;
            if (!target.IsNull())
            {
                ShowNamedCursor("UI_CURSOR_DROP_MOVE");
                target->OnDragEnter(self);
            }
        }
        if (target.IsNull())
        {
            ShowNamedCursor("UI_CURSOR_NO_DROP");
        }
        else
        {
            const PointT<double> inTarget = rootPointer - target->GetRectInRootWindow().GetOrigin();
            target->OnDragOver(self, inTarget.Round());
            const std::uint32_t flags = target->WantsDragAutoScroll(self);
            const RectT<double> visible = target->GetVisibleContentRect();
            const PointT<double> inContent = rootPointer - target->GetContentOriginInRoot();
            static constexpr std::uint32_t kFarFlag[2] = {0x4, 0x20};
            static constexpr std::uint32_t kNearFlag[2] = {0x8, 0x10};
            for (int axis = 0; axis < 2; ++axis)
            {
                const double start = axis == 0 ? visible.x : visible.y;
                const double extent = axis == 0 ? visible.width : visible.height;
                const double coordinate = Axis(inContent, axis);
                if ((flags & kFarFlag[axis]) != 0 && coordinate > start + extent - kAutoScrollMargin)
                    overshoot[axis] = coordinate - (start + extent - kAutoScrollMargin);
                else if ((flags & kNearFlag[axis]) != 0 && coordinate < start + kAutoScrollMargin)
                    overshoot[axis] = -(start + kAutoScrollMargin - coordinate);
            }
        }
    }

    if (mode == 1 || mode == 3 || mode == 5)
    {
        const RCPtr<LControl> scroller = mode == 1 ? m_dropTarget : parent;
        if (!scroller.IsNull())
        {
            const RectT<double> bounds = scroller->GetScrollBounds();
            for (int axis = 0; axis < 2; ++axis)
            {
                const double o = overshoot[axis];
                if (o == 0.0)
                {
                    scroller->StopInertialScroll(axis);
                    continue;
                }
                const double start = axis == 0 ? bounds.x : bounds.y;
                const double extent = axis == 0 ? bounds.width : bounds.height;
                const double speed = (std::fabs(o) + 1.0) * kAutoScrollSpeed;
                scroller->StartInertialScroll(axis, self, o > 0.0 ? speed : -speed, start + extent, start);
            }
        }
    }

    OnDragMoved(param);
    m_inDragMove = 0;
    return VXR_OK;
}

VxRESULT LControl::OnDragEnd()
{
    const RCPtr<LControl> self(this);
    if (m_dragMode == 1)
    {
        ShowNamedCursor("UI_CURSOR_ARROW");
        if (m_dragWasUnclipped == 0)
            SetClipToParent(true);
        const PointT<double> parentScroll = m_parent.IsNull() ? PointT<double>::Zero : m_parent->GetScrollOffset();
        for (int axis = 0; axis < 2; ++axis)
        {
            if ((axis == 0 ? m_dragXWasDocked : m_dragYWasDocked) != 0)
                continue;
            LLayoutDescriptor::PositionSpec position;
            LLayoutDescriptor::SizeSpec size;
            if (Failed(GetAxisPlacement(axis, position, size)))
                continue;
            position.docked = false;
            position.abs += Axis(parentScroll, axis);
            SetAxisPlacement(axis, position, size);
        }
        const RCPtr<LControl> target = m_dropTarget;
        if (!target.IsNull())
        {
            target->StopInertialScroll(0);
            target->StopInertialScroll(1);
            target->OnDrop(self);
            target->OnDragLeave(self);
            m_dropTarget = nullptr;
        }
    }
    else if (!m_parent.IsNull())
    {
        const RCPtr<LControl> parent = m_parent;
        parent->StopInertialScroll(0);
        parent->StopInertialScroll(1);
    }
    return VXR_OK;
}

VxRESULT LControl::OnDrop(const RCPtr<LControl>& /*dragged*/)
{
    VX_ASSERT_FALSE();
    return VXR_E_FAIL;
}

RCPtr<LControl> LControl::FindDropTarget(const RCPtr<LControl>& dragged, const PointT<int>& point)
{
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    RCPtrArray<LControl> excluded;
    if (!dragged.IsNull())
        excluded.Add(dragged);
    RCPtr<LControl> control(this);
    while (!control.IsNull())
    {
        if (control->AcceptsDrop(dragged))
            return control;
        if (control->m_layout.IsNull() || control->m_layout->ClipToParent)
        {
            control = control->m_parent;
            continue;
        }
        // A control that does not clip may lie over anything: look through it
        // and what it holds at the point.
        if (rootWindow.IsNull())
            return nullptr;
        excluded.Add(control);
        control->CollectDescendants(excluded);
        for (std::uint32_t i = 0; i < excluded.GetCount(); ++i)
            excluded[i]->m_hitTestExcluded = 1;
        RCPtr<LControl> found;
        PointT<int> inFound{0, 0};
        rootWindow->HitTest(found, point, inFound, false);
        for (std::uint32_t i = 0; i < excluded.GetCount(); ++i)
            excluded[i]->m_hitTestExcluded = 0;
        for (std::uint32_t i = 0; !found.IsNull() && i < excluded.GetCount(); ++i)
        {
            if (excluded[i] == found)
            {
                VX_ASSERT_FALSE();
                return nullptr;
            }
        }
        control = found;
    }
    return nullptr;
}

// ---- Inertial scrolling ----------------------------------------------------------------

VxRESULT LControl::StartInertialScroll(int axis, const RCPtr<LControl>& feedback, double velocity, double maximum,
                                       double minimum)
{
    if (axis < 0 || axis > 1)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    InertialAxis& state = m_inertial[axis];
    state.velocity = velocity;
    state.maximum = maximum;
    state.minimum = minimum;
    state.feedback = feedback;
    if (state.running == 0)
    {
        state.running = 1;
        state.lastTick = ElapsedSeconds();
        RequestIdle();
    }
    return VXR_OK;
}

VxRESULT LControl::StopInertialScroll(int axis)
{
    if (axis < 0 || axis > 1)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    InertialAxis& state = m_inertial[axis];
    state.feedback = nullptr;
    if (state.running == 0)
        return VXR_NOTHING_DONE;
    state.running = 0;
    m_decelerating[axis] = 0;
    ReleaseIdle();
    return VXR_OK;
}

bool LControl::IsInertialScrolling(int axis) const noexcept
{
    return axis >= 0 && axis <= 1 && m_inertial[axis].running != 0;
}

double LControl::GetInertialVelocity(int axis) const noexcept
{
    return axis >= 0 && axis <= 1 ? m_inertial[axis].velocity : 0.0;
}

void LControl::StepInertialScrolls()
{
    const RCPtr<LControl> self(this);
    for (int axis = 0; axis < 2; ++axis)
    {
        InertialAxis& state = m_inertial[axis];
        if (state.running == 0)
            continue;
        const double now = ElapsedSeconds();
        const double seconds = now - state.lastTick;
        const std::int32_t step = RoundHalfAwayFromZero(seconds * state.velocity);
        state.lastTick = now;
        if (step != 0)
        {
            const double offset = std::min(std::max(Axis(m_scrollOffset, axis) + step, state.minimum), state.maximum);
            SetScrollOffsetAxis(axis, offset);
            const RCPtr<LControl> feedback = state.feedback;
            const RCPtr<LRootWindow> rootWindow = FindRootWindow();
            if (!feedback.IsNull() && !rootWindow.IsNull())
            {
                // The dragged control keeps following the pointer over the
                // content that moves under it.
                const PointT<int> pointer = rootWindow->GetPointerPosition();
                const PointT<double> inFeedback =
                    PointT<double>{double(pointer.x), double(pointer.y)} - feedback->GetRectInRootWindow().GetOrigin();
                feedback->OnDragMove(LPointWithModifiersParam::Create(
                    inFeedback.Round(), static_cast<std::uint32_t>(rootWindow->GetModifierKeys()), 0));
            }
        }
        if (state.running != 0 && m_decelerating[axis] != 0 && Now() - m_releaseTimeMs > kFlingCoastMs)
        {
            const double reduction = RoundHalfAwayFromZero(seconds * m_deceleration);
            const double speed = std::fabs(state.velocity) - reduction;
            if (speed <= 0.0)
                StopInertialScroll(axis);
            else
                state.velocity = state.velocity < 0.0 ? -speed : speed;
        }
    }
}

// ---- Wheel -----------------------------------------------------------------------------

RCPtr<LControl> LControl::NextWheelTarget(const PointT<int>& rootPoint, RCPtrArray<LControl>& excluded)
{
    bool allClip = true;
    for (const LControl* control = this; control != nullptr && allClip; control = control->m_parent.Get())
        allClip = control->m_layout.IsNull() || control->m_layout->ClipToParent;
    if (allClip)
        return m_parent;
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (rootWindow.IsNull())
        return nullptr;
    // A control met a second time would send the wheel round for ever.
    for (std::uint32_t i = 0; i < excluded.GetCount(); ++i)
    {
        if (excluded[i].Get() == this)
            return nullptr;
    }
    excluded.Add(RCPtr<LControl>(this));
    for (std::uint32_t i = 0; i < excluded.GetCount(); ++i)
        excluded[i]->m_hitTestExcluded = 1;
    RCPtr<LControl> found;
    PointT<int> inFound{0, 0};
    rootWindow->HitTest(found, rootPoint, inFound, false);
    for (std::uint32_t i = 0; i < excluded.GetCount(); ++i)
        excluded[i]->m_hitTestExcluded = 0;
    return found;
}

namespace
{
VxRESULT WalkWheel(const RCPtr<LControl>& start, const RCPtr<LMouseWheelParam>& param, bool vertical,
                   const PointT<int>& rootPoint,
                   RCPtr<LControl> (LControl::*next)(const PointT<int>&, RCPtrArray<LControl>&))
{
    RCPtrArray<LControl> excluded;
    for (RCPtr<LControl> control = start; !control.IsNull();)
    {
        const VxRESULT result =
            vertical ? control->ProcessMouseWheel(param) : control->ProcessHorizontalMouseWheel(param);
        if (result != VXR_NOTHING_DONE)
            return result;
        control = (control.Get()->*next)(rootPoint, excluded);
    }
    return VXR_NOTHING_DONE;
}
} // namespace

VxRESULT LControl::OnMouseWheel(const RCPtr<LMouseWheelParam>& param)
{
    if (param.IsNull())
    {
        VX_ASSERT_FALSE();
        return -1;
    }
    const PointT<int> rootPoint =
        (GetRectInRootWindow().GetOrigin() + PointT<double>{double(param->point.x), double(param->point.y)}).Round();
    return WalkWheel(RCPtr<LControl>(this), param, true, rootPoint, &LControl::NextWheelTarget);
}

VxRESULT LControl::OnMouseWheelHorizontal(const RCPtr<LMouseWheelParam>& param)
{
    if (param.IsNull())
    {
        VX_ASSERT_FALSE();
        return -1;
    }
    const PointT<int> rootPoint =
        (GetRectInRootWindow().GetOrigin() + PointT<double>{double(param->point.x), double(param->point.y)}).Round();
    return WalkWheel(RCPtr<LControl>(this), param, false, rootPoint, &LControl::NextWheelTarget);
}

// ---- Cursor and context menu -------------------------------------------------------------

void LControl::ShowNamedCursor(const char* name)
{
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    IControlHost* const host = GetControlHost();
    if (rootWindow.IsNull() || host == nullptr)
        return;
    rootWindow->SetCursor(host->LoadCursor(Text(name)));
}

VxRESULT LControl::ShowContextMenu(const RCPtr<LMenuDescriptor>& menu)
{
    static const char* const kPopupName = "contextMenu";
    if (menu.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    IControlHost* const host = GetControlHost();
    if (host == nullptr || host->GetControlFactory().IsNull())
        return VXR_E_FAIL;
    const RCPtr<LControlFactory> factory = host->GetControlFactory();
    const RCPtr<LControlDescriptor> descriptor = factory->FindControlDescriptor(Text(kPopupName));
    if (descriptor.IsNull())
        return VXR_E_FAIL;
    if (!FindChild(Text(kPopupName)).IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const RCPtr<LControl> self(this);
    const RCPtr<LControl> popup = factory->CreateControl(descriptor, self);
    if (popup.IsNull())
        return VXR_E_FAIL;
    IContextMenuPopup* const menuPopup = dynamic_cast<IContextMenuPopup*>(popup.Get());
    if (menuPopup == nullptr)
    {
        // Not a pop-up menu: it goes again, so that the name stays free.
        VX_ASSERT_FALSE();
        RemoveChildDeferred(popup);
        return VXR_E_FAIL;
    }
    popup->SetVisible(false);
    menuPopup->SetMenu(menu);
    OnContextMenuOpening(popup);
    popup->SetVisible(true);
    return VXR_OK;
}
} // namespace Vx
