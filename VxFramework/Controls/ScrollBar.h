#pragma once

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/Notification/NotificationHandler.h"
#include "VxFramework/ObjectBase/Result.h"

#include <cstdint>

namespace Vx
{
// A value 0..1 shown as a thumb sliding in a channel ("channel" with its
// child "thumb"), moved by dragging the thumb, pressing the channel (one page
// at once, then repeated while held), the step buttons "dec" and "inc" and
// the arrow, page, Home and End keys that reach it from its parent.  Created
// for "Framework.ScrollBar"; scroll views own two as "hBar" and "vBar".
class LScrollbar : public LControl
{
public:
    // Key mask bits.
    static constexpr std::uint32_t kKeyUp = 0x01;
    static constexpr std::uint32_t kKeyDown = 0x02;
    static constexpr std::uint32_t kKeyLeft = 0x04;
    static constexpr std::uint32_t kKeyRight = 0x08;
    static constexpr std::uint32_t kKeyPageUp = 0x10;
    static constexpr std::uint32_t kKeyPageDown = 0x20;
    static constexpr std::uint32_t kKeyHome = 0x40;
    static constexpr std::uint32_t kKeyEnd = 0x80;

    // Value range 0..100, linear.
    LScrollbar(const RCPtr<LControl>& parent, const Text& name);
    ~LScrollbar() override;

    // While the thumb is dragged the value only waits (pendingValue) and the
    // current one is returned; otherwise clamped, stored and shown.
    double SetValue(double normalized) override;
    // Keeps the scaled value where the new range allows.
    VxRESULT SetValueRange(std::int32_t scale, double minimum, double maximum) override;
    VxRESULT OnBoundsChanged() override;
    // The channel's auto-repeat while pressed.
    VxRESULT ProcessIdle() override;
    VxRESULT Initialize() override;
    VxRESULT OnCreated() override;
    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;

    // A fraction of the channel outside 0..1 is an assertion (and clamped).
    void SetThumbSize(double fraction);
    double GetThumbSize() const noexcept { return m_thumbSize; }
    // Value +/- the step; 0.
    VxRESULT LineStep(bool forward);
    VxRESULT PageStep(bool forward);
    // 0, or 0x80000003 (after an assertion, the step kept) for a negative
    // step or one that is no number.  A step beyond the range is kept: the
    // value stops at the end.
    VxRESULT SetLineStep(double step);
    VxRESULT SetPageStep(double step);
    double GetLineStep() const noexcept { return m_lineStep; }
    double GetPageStep() const noexcept { return m_pageStep; }
    // 0, or 0x80000003 for a mask outside 0..255 (its low byte is used).
    VxRESULT SetKeyMask(std::int32_t mask);
    std::int32_t GetKeyMask() const noexcept { return m_keyMask; }
    // 1 vertical, 0 horizontal.
    std::int32_t GetOrientation() const noexcept { return m_orientation; }
    double GetThumbLength() const noexcept { return m_thumbLength; }
    bool IsDragging() const noexcept { return m_dragging; }
    // 0 no channel press, 1 before the thumb, 2 after it.
    std::int32_t GetPressRegion() const noexcept { return m_pressRegion; }
    const RCPtr<LControl>& GetThumb() const noexcept { return m_thumb; }

private:
    // Stores without the drag's hold and positions the thumb.
    double SetValueNow(double normalized);
    int Axis() const noexcept { return m_orientation == 1 ? 1 : 0; }
    void UpdateThumbLength();
    void UpdateThumbPosition();
    // Where a point (channel's own frame) lies on the axis: 1 before the
    // thumb, 2 after it, 0 on it or outside the travel.
    std::int32_t ClassifyChannelPoint(double along) const;
    // The pointer in the channel's own frame; false without a root window.
    bool PointerInChannel(PointT<double>& point) const;
    // Look 1 over the pressed side while the pointer (or the point given,
    // channel's own frame) is there; else look 0 alone.
    void ShowPressedLook(const PointT<double>* at = nullptr);

    NotificationHandlerResultCode OnChannelLeftDrag(const RCPtr<LNotificationDistributor>& from,
                                                    const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnChannelHover(const RCPtr<LNotificationDistributor>& from,
                                                 const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnThumbMove(const RCPtr<LNotificationDistributor>& from,
                                              const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnThumbLeftDrag(const RCPtr<LNotificationDistributor>& from,
                                                  const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnStepButton(const RCPtr<LNotificationDistributor>& from,
                                               const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnSiblingKey(const RCPtr<LNotificationDistributor>& from,
                                               const ConstRCPtr<LNotification>& notification);

    RCPtr<LNotificationHandler<LScrollbar>> m_barHandler;
    std::int32_t m_orientation = 1;
    RCPtr<LControl> m_channel;
    RCPtr<LControl> m_thumb;
    RCPtr<LControl> m_dec;
    RCPtr<LControl> m_inc;
    double m_lineStep = 0.02;
    double m_pageStep = 0.2;
    double m_thumbSize = 0.1;
    double m_minThumbLength = 10.0;
    double m_thumbLength = 0.0;
    double m_channelStart = 0.0;
    double m_channelLength = 0.0;
    double m_channelOrigin = 0.0;
    bool m_dragging = false;
    std::int32_t m_grabOffsetX = 0;
    std::int32_t m_grabOffsetY = 0;
    std::int32_t m_pressRegion = 0;
    double m_repeatInterval = 0.2;
    double m_repeatDelay = 0.4;
    double m_lastRepeatTime = 0.0;
    double m_repeatRemaining = 0.0;
    double m_pendingValue = -1.0;
    std::int32_t m_keyMask = 0;
};
} // namespace Vx
