#include "VxFramework/Controls/ScrollBar.h"

#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/System/KeyUtils.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <algorithm>
#include <cmath>

namespace Vx
{
namespace
{
constexpr const char* kLeftDragId = "NID_LEFT_DRAG_CONDITION_CHANGE";
constexpr const char* kHoverId = "NID_HOVER_CONDITION_CHANGE";
constexpr const char* kMouseMoveId = "NID_MOUSE_MOVE";
constexpr const char* kAutoRepeatId = "NID_BUTTON_AUTOREPEAT";
constexpr const char* kSiblingKeyId = "NID_SIBLING_KEY";

// The notification's parameter as T; null for another kind.
template <class T>
RCPtr<T> ParamOf(const ConstRCPtr<LNotification>& notification)
{
    return RCPtr<T>(notification.IsNull() ? nullptr : dynamic_cast<T*>(notification->GetParam().Get()));
}

double Now()
{
    IControlHost* const host = GetControlHost();
    return host == nullptr ? 0.0 : host->GetElapsedSeconds();
}

double Along(const PointT<double>& point, int axis)
{
    return axis == 0 ? point.x : point.y;
}

double Along(const RectT<double>& rect, int axis)
{
    return axis == 0 ? rect.x : rect.y;
}

double Extent(const RectT<double>& rect, int axis)
{
    return axis == 0 ? rect.width : rect.height;
}

// Registers the handler, or asserts: a missing registration only switches
// that behaviour off.
template <class T>
void RegisterOrAssert(const RCPtr<LNotificationHandler<T>>& table, typename LNotificationHandler<T>::Handler handler,
                      const RCPtr<LControl>& from, const char* id)
{
    if (table->Register(handler, RCPtr<LNotificationDistributor>(from), id, 0) < 0)
        VX_ASSERT_FALSE();
}
} // namespace

LScrollbar::LScrollbar(const RCPtr<LControl>& parent, const Text& name) : LControl(parent, name)
{
    LControl::SetValueRange(0, 0.0, 100.0);
}

LScrollbar::~LScrollbar()
{
    m_thumb = nullptr;
    m_barHandler = nullptr;
}

double LScrollbar::SetValue(double normalized)
{
    if (m_dragging)
    {
        m_pendingValue = normalized;
        return m_value;
    }
    return SetValueNow(normalized);
}

double LScrollbar::SetValueNow(double normalized)
{
    // A step that is no number would lose the position: refused.
    if (std::isnan(normalized))
    {
        VX_ASSERT_FALSE();
        return m_value;
    }
    const double clamped = std::max(0.0, std::min(normalized, 1.0));
    const double stored = LControl::SetValue(clamped);
    UpdateThumbPosition();
    return stored;
}

VxRESULT LScrollbar::SetValueRange(std::int32_t scale, double minimum, double maximum)
{
    const double scaled = NormalizedToValue(m_value);
    const VxRESULT result = LControl::SetValueRange(scale, minimum, maximum);
    SetValue(ValueToNormalized(scaled));
    UpdateThumbPosition();
    return result;
}

VxRESULT LScrollbar::Initialize()
{
    if (LControl::Initialize() < 0)
        return VXR_E_FAIL;
    m_barHandler = new LNotificationHandler<LScrollbar>(this);

    // The thumb and the step buttons are buttons in the skin; the scroll bar
    // needs of them only what every control sends (conditions, moves) and
    // the step buttons' auto-repeat notification, so any control serves.
    m_channel = FindChild("channel");
    if (m_channel.IsNull())
        VX_ASSERT_FALSE();
    else
    {
        RegisterOrAssert(m_barHandler, &LScrollbar::OnChannelLeftDrag, m_channel, kLeftDragId);
        RegisterOrAssert(m_barHandler, &LScrollbar::OnChannelHover, m_channel, kHoverId);
        m_thumb = m_channel->FindChild("thumb");
        if (m_thumb.IsNull())
            VX_ASSERT_FALSE();
        else
        {
            RegisterOrAssert(m_barHandler, &LScrollbar::OnThumbMove, m_thumb, kMouseMoveId);
            RegisterOrAssert(m_barHandler, &LScrollbar::OnThumbLeftDrag, m_thumb, kLeftDragId);
        }
    }

    m_dec = FindChild("dec");
    m_inc = FindChild("inc");
    for (const RCPtr<LControl>& step : {m_dec, m_inc})
    {
        if (step.IsNull())
            VX_ASSERT_FALSE();
        else
            RegisterOrAssert(m_barHandler, &LScrollbar::OnStepButton, step, kAutoRepeatId);
    }

    if (!m_dec.IsNull() && !m_inc.IsNull())
    {
        const RectT<double>& dec = m_dec->GetBounds();
        const RectT<double>& inc = m_inc->GetBounds();
        m_orientation = inc.x - dec.x > inc.y - dec.y ? 0 : 1;
    }

    OnBoundsChanged();
    SetKeyMask(255);
    return VXR_OK;
}

VxRESULT LScrollbar::OnCreated()
{
    const VxRESULT result = LControl::OnCreated();
    if (result < 0)
    {
        VX_ASSERT_FALSE();
        return result;
    }
    const RCPtr<LControl> self(this);
    for (const RCPtr<LControl>& part : {self, m_dec, m_inc, m_channel, m_thumb})
    {
        if (part.IsNull())
            VX_ASSERT_FALSE();
        else
            part->SetNotFocusable(true);
    }
    if (!m_thumb.IsNull())
        m_minThumbLength = Extent(m_thumb->GetBounds(), 1 - Axis());
    OnBoundsChanged();
    return VXR_OK;
}

VxRESULT LScrollbar::OnBoundsChanged()
{
    const VxRESULT result = LControl::OnBoundsChanged();
    if (m_thumb.IsNull() || m_channel.IsNull())
        return result;
    const int axis = Axis();
    const RectT<double> look = m_channel->GetLookBounds(-1);
    m_channelStart = 0.0;
    m_channelOrigin = Along(m_channel->GetBounds(), axis) + Along(look, axis);
    m_channelLength = Extent(look, axis);
    UpdateThumbLength();
    return result;
}

void LScrollbar::SetThumbSize(double fraction)
{
    if (!(fraction >= 0.0 && fraction <= 1.0))
    {
        VX_ASSERT_FALSE();
        fraction = fraction > 1.0 ? 1.0 : 0.0;
    }
    m_thumbSize = fraction;
    UpdateThumbLength();
}

void LScrollbar::UpdateThumbLength()
{
    if (m_thumb.IsNull() || m_channel.IsNull())
        return;
    const int axis = Axis();
    m_thumbLength = std::floor(std::max(m_minThumbLength, (m_channelLength - m_channelStart) * m_thumbSize) + 0.5);
    LLayoutDescriptor::PositionSpec position;
    LLayoutDescriptor::SizeSpec size;
    if (m_thumb->GetAxisPlacement(axis, position, size) >= 0 && size.abs != m_thumbLength)
    {
        size.abs = m_thumbLength;
        m_thumb->SetAxisPlacement(axis, position, size);
    }
    UpdateThumbPosition();
}

void LScrollbar::UpdateThumbPosition()
{
    if (m_dragging || m_thumb.IsNull() || m_channel.IsNull())
        return;
    const int axis = Axis();
    const double travel = m_channelLength - m_channelStart - m_thumbLength;
    const double position = RoundHalfAwayFromZero<double>(m_channelStart + travel * m_value);
    if (position == Along(m_thumb->GetBounds(), axis))
        return;
    LLayoutDescriptor::PositionSpec spec;
    LLayoutDescriptor::SizeSpec size;
    if (m_thumb->GetAxisPlacement(axis, spec, size) < 0)
        return;
    spec.abs = position;
    m_thumb->SetAxisPlacement(axis, spec, size);
}

namespace
{
VxRESULT SetStep(double& stored, double step)
{
    if (!(step >= 0.0))
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    stored = step;
    return VXR_OK;
}
} // namespace

VxRESULT LScrollbar::SetLineStep(double step)
{
    return SetStep(m_lineStep, step);
}

VxRESULT LScrollbar::SetPageStep(double step)
{
    return SetStep(m_pageStep, step);
}

VxRESULT LScrollbar::LineStep(bool forward)
{
    SetValue(m_value + (forward ? m_lineStep : -m_lineStep));
    return VXR_OK;
}

VxRESULT LScrollbar::PageStep(bool forward)
{
    SetValue(m_value + (forward ? m_pageStep : -m_pageStep));
    return VXR_OK;
}

VxRESULT LScrollbar::SetKeyMask(std::int32_t mask)
{
    const bool valid = mask >= 0 && mask <= 255;
    if (!valid)
        VX_ASSERT_FALSE();
    const std::int32_t bits = mask & 0xFF;
    if (bits != 0 && m_keyMask == 0 && !m_parent.IsNull() && !m_barHandler.IsNull())
    {
        RegisterOrAssert(m_barHandler, &LScrollbar::OnSiblingKey, m_parent, kSiblingKeyId);
        // The keys the bar is handed itself come without a distributor.
        if (m_barHandler->RegisterLocal(&LScrollbar::OnSiblingKey, kSiblingKeyId) < 0)
            VX_ASSERT_FALSE();
    }
    m_keyMask = bits;
    return valid ? VXR_OK : VXR_E_INVALIDARG;
}

// ---- The thumb ------------------------------------------------------------------

NotificationHandlerResultCode LScrollbar::OnThumbLeftDrag(const RCPtr<LNotificationDistributor>& /*from*/,
                                                          const ConstRCPtr<LNotification>& notification)
{
    const RCPtr<LConditionsParam> conditions = ParamOf<LConditionsParam>(notification);
    if (conditions.IsNull() || m_thumb.IsNull())
        return 1;
    const bool was = (conditions->previous & kLeftDragging) != 0;
    const bool is = (conditions->current & kLeftDragging) != 0;
    if (!was && is)
    {
        // The press point is in the channel's content, where the thumb lies.
        const RectT<double>& thumb = m_thumb->GetBounds();
        m_dragging = true;
        m_grabOffsetX = RoundHalfAwayFromZero(conditions->point.x - thumb.x);
        m_grabOffsetY = RoundHalfAwayFromZero(conditions->point.y - thumb.y);
        m_pendingValue = -1.0;
    }
    else if (was && !is)
    {
        m_dragging = false;
        const double pending = m_pendingValue;
        m_pendingValue = -1.0;
        if (pending >= 0.0 && pending <= 1.0)
            SetValue(pending);
    }
    return 1;
}

NotificationHandlerResultCode LScrollbar::OnThumbMove(const RCPtr<LNotificationDistributor>& /*from*/,
                                                      const ConstRCPtr<LNotification>& notification)
{
    if (!m_dragging || m_thumb.IsNull() || m_channel.IsNull())
        return 1;
    const RCPtr<LPointWithModifiersParam> move = ParamOf<LPointWithModifiersParam>(notification);
    if (move.IsNull())
        return 1;
    const int axis = Axis();
    const PointT<double> inBar = ConvertPointFromControl(
        m_thumb, PointT<double>{static_cast<double>(move->point.x), static_cast<double>(move->point.y)});
    const double grab = axis == 0 ? m_grabOffsetX : m_grabOffsetY;
    const double travelEnd = m_channelLength - m_thumbLength;
    double position =
        Along(inBar, axis) - RoundHalfAwayFromZero<double>(m_channelOrigin) - Along(GetLookBounds(-1), axis) - grab;
    position = std::max(m_channelStart, std::min(position, travelEnd));
    if (position == Along(m_thumb->GetBounds(), axis))
        return 1;
    LLayoutDescriptor::PositionSpec spec;
    LLayoutDescriptor::SizeSpec size;
    if (m_thumb->GetAxisPlacement(axis, spec, size) >= 0)
    {
        spec.abs = position;
        m_thumb->SetAxisPlacement(axis, spec, size);
    }
    // A thumb as long as the channel has no travel: the value stays.
    const double travel = m_channelLength - m_channelStart - m_thumbLength;
    if (travel > 0.0)
        LControl::SetValue(std::max(0.0, std::min(1.0, (position - m_channelStart) / travel)));
    return 1;
}

// ---- The channel ------------------------------------------------------------------

std::int32_t LScrollbar::ClassifyChannelPoint(double along) const
{
    if (m_thumb.IsNull())
        return 0;
    const double thumbStart = Along(m_thumb->GetBounds(), Axis());
    const double thumbEnd = thumbStart + m_thumbLength;
    if (m_channelStart <= along && along <= thumbStart)
        return 1;
    if (thumbEnd <= along && along <= m_channelLength)
        return 2;
    return 0;
}

bool LScrollbar::PointerInChannel(PointT<double>& point) const
{
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (rootWindow.IsNull() || m_channel.IsNull())
        return false;
    const PointT<int> pointer = rootWindow->GetPointerPosition();
    const RectT<double> inRoot = m_channel->GetRectInRootWindow();
    point = PointT<double>{pointer.x - inRoot.x, pointer.y - inRoot.y};
    return true;
}

void LScrollbar::ShowPressedLook(const PointT<double>* at)
{
    if (m_channel.IsNull() || m_thumb.IsNull())
        return;
    const int axis = Axis();
    const RectT<double> look = m_channel->GetLookBounds(-1);
    PointT<double> pointer = at != nullptr ? *at : PointT<double>{0.0, 0.0};
    bool onPressedSide = false;
    if (m_pressRegion != 0 && (at != nullptr || PointerInChannel(pointer)))
    {
        const RectT<double> whole{0.0, 0.0, m_channel->GetBounds().width, m_channel->GetBounds().height};
        onPressedSide =
            whole.Contains(pointer) && ClassifyChannelPoint(Along(pointer, axis) - Along(look, axis)) == m_pressRegion;
    }
    if (!onPressedSide || !m_channel->HasLook(1) || !m_channel->HasLook(0))
    {
        m_channel->ClearLookRegions();
        if (m_channel->HasLook(0))
            m_channel->SetLook(0);
        return;
    }
    // Look 1 between the thumb and the channel's end on the pressed side,
    // look 0 on the rest.
    const double thumbStart = Along(m_thumb->GetBounds(), axis) + Along(look, axis);
    const double thumbEnd = thumbStart + m_thumbLength;
    const double from = m_pressRegion == 1 ? Along(look, axis) : thumbEnd;
    const double to = m_pressRegion == 1 ? thumbStart : Along(look, axis) + Extent(look, axis);
    RectT<double> pressed = look;
    (axis == 0 ? pressed.x : pressed.y) = from;
    (axis == 0 ? pressed.width : pressed.height) = std::max(0.0, to - from);
    RgnLight region;
    region.AddRect(pressed.Round());
    m_channel->SetLookWeight(0, false, 1.0f);
    m_channel->SetLookWeight(1, false, 1.0f);
    m_channel->SetLookRegion(1, region);
    m_channel->SetLookRegionExcluding(0, 1);
}

NotificationHandlerResultCode LScrollbar::OnChannelLeftDrag(const RCPtr<LNotificationDistributor>& /*from*/,
                                                            const ConstRCPtr<LNotification>& notification)
{
    const RCPtr<LConditionsParam> conditions = ParamOf<LConditionsParam>(notification);
    if (conditions.IsNull() || m_channel.IsNull())
        return 1;
    const std::uint32_t previous = conditions->previous;
    const std::uint32_t current = conditions->current;
    if ((previous & kLeftPressed) == 0 && (current & kLeftPressed) != 0 && m_pressRegion == 0)
    {
        const int axis = Axis();
        // The press point is in the bar's content, where the channel lies;
        // the pointer the window reports may not have reached it yet.
        const PointT<double> press{conditions->point.x - m_channel->GetBounds().x,
                                   conditions->point.y - m_channel->GetBounds().y};
        m_pressRegion = ClassifyChannelPoint(Along(press, axis) - Along(m_channel->GetLookBounds(-1), axis));
        if (m_pressRegion == 0)
            return 1;
        PageStep(m_pressRegion == 2);
        ShowPressedLook(&press);
        m_lastRepeatTime = Now();
        m_repeatRemaining = m_repeatDelay;
        RequestIdle();
        return 1;
    }
    // The press ends with the capture (or with the button, should the
    // capture go with it in the same change).
    const bool captureLost = (previous & kCapture) != 0 && (current & kCapture) == 0;
    const bool released = (current & (kLeftPressed | kLeftDragging)) == 0;
    if (m_pressRegion != 0 && (captureLost || released))
    {
        m_pressRegion = 0;
        ShowPressedLook();
        ReleaseIdle();
    }
    return 1;
}

NotificationHandlerResultCode LScrollbar::OnChannelHover(const RCPtr<LNotificationDistributor>& /*from*/,
                                                         const ConstRCPtr<LNotification>& notification)
{
    const RCPtr<LConditionsParam> conditions = ParamOf<LConditionsParam>(notification);
    if (conditions.IsNull())
        return 1;
    if ((conditions->previous & kHoverOrHighlight) == 0 && (conditions->current & kHoverOrHighlight) != 0)
    {
        // Time spent off the channel does not count towards the repeat.
        m_lastRepeatTime = Now();
        if (m_pressRegion != 0)
            ShowPressedLook();
    }
    return 1;
}

VxRESULT LScrollbar::ProcessIdle()
{
    const VxRESULT result = LControl::ProcessIdle();
    if (m_pressRegion == 0 || m_channel.IsNull())
        return result;
    PointT<double> pointer{0.0, 0.0};
    if (!PointerInChannel(pointer))
        return result;
    const int axis = Axis();
    const RectT<double> whole{0.0, 0.0, m_channel->GetBounds().width, m_channel->GetBounds().height};
    const double along = Along(pointer, axis) - Along(m_channel->GetLookBounds(-1), axis);
    if (!whole.Contains(pointer) || ClassifyChannelPoint(along) != m_pressRegion)
        return result;
    const double now = Now();
    m_repeatRemaining -= now - m_lastRepeatTime;
    m_lastRepeatTime = now;
    if (m_repeatRemaining <= 0.0)
    {
        m_repeatRemaining = m_repeatInterval;
        PageStep(m_pressRegion == 2);
        ShowPressedLook();
    }
    return result;
}

// ---- Step buttons and keys ------------------------------------------------------------

NotificationHandlerResultCode LScrollbar::OnStepButton(const RCPtr<LNotificationDistributor>& from,
                                                       const ConstRCPtr<LNotification>& /*notification*/)
{
    const LControl* const sender = dynamic_cast<const LControl*>(from.Get());
    if (sender == nullptr)
    {
        VX_ASSERT_FALSE();
        return 1;
    }
    if (sender->GetName() == "dec")
        LineStep(false);
    else if (sender->GetName() == "inc")
        LineStep(true);
    return 1;
}

NotificationHandlerResultCode LScrollbar::OnSiblingKey(const RCPtr<LNotificationDistributor>& /*from*/,
                                                       const ConstRCPtr<LNotification>& notification)
{
    const RCPtr<LSiblingKeyParam> sibling = ParamOf<LSiblingKeyParam>(notification);
    if (sibling.IsNull() || !IsVisible(true))
        return 0;
    struct Binding
    {
        int virtualKey;
        std::uint32_t bit;
        int orientation; // -1 both
        int action;      // 0 line back, 1 line forward, 2 page back, 3 page forward, 4 start, 5 end
    };
    static constexpr Binding kBindings[] = {
        {38, kKeyUp, 1, 0},     {40, kKeyDown, 1, 1},     {37, kKeyLeft, 0, 0},  {39, kKeyRight, 0, 1},
        {33, kKeyPageUp, 1, 2}, {34, kKeyPageDown, 1, 3}, {36, kKeyHome, -1, 4}, {35, kKeyEnd, -1, 5},
    };
    for (const Binding& binding : kBindings)
    {
        if (sibling->key.code != KeyCode(binding.virtualKey, 0u).code)
            continue;
        if ((static_cast<std::uint32_t>(m_keyMask) & binding.bit) == 0 ||
            (binding.orientation >= 0 && binding.orientation != m_orientation))
            return 0;
        switch (binding.action)
        {
        case 0:
        case 1:
            LineStep(binding.action == 1);
            break;
        case 2:
            SetValue(m_value - m_pageStep);
            break;
        case 3:
            SetValue(m_value + m_pageStep);
            break;
        case 4:
            SetValue(0.0);
            break;
        default:
            SetValue(1.0);
            break;
        }
        sibling->unhandled = 0;
        return 0;
    }
    return 0;
}

NotificationHandlerResultCode LScrollbar::Receive(const RCPtr<LNotificationDistributor>& from,
                                                  const ConstRCPtr<LNotification>& notification)
{
    if (!m_barHandler.IsNull() && IsCreated())
    {
        const NotificationHandlerResultCode result = m_barHandler->Receive(from, notification);
        if (result != 0)
            return result;
    }
    return LControl::Receive(from, notification);
}

VxRESULT LScrollbar::Unregister(const RCPtr<LNotificationDistributor>& from, const char* id)
{
    if (!m_barHandler.IsNull())
        m_barHandler->RemoveEntry(from, id);
    return LControl::Unregister(from, id);
}
} // namespace Vx
