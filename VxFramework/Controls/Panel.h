#pragma once

#include "VxFramework/Controls/ScrollView.h"
#include "VxFramework/Notification/NotificationHandler.h"
#include "VxFramework/ObjectBase/Result.h"

namespace Vx
{
// The general container: a scroll view that takes part in keyboard
// navigation between nested containers.  Tab and Shift+Tab move through its
// children and then out to the enclosing panel (only a top panel wraps);
// keys no child used go to its sibling-key clients and up the tree to the
// hot keys; a key its parent offers its sibling-key clients goes on to this
// panel's own.  Created for "Framework.Panel" and a few other type names,
// and for every class nobody registered; the base of every view.
class LPanel : public LScrollView
{
public:
    // Type names that create a plain panel.
    static constexpr const char* kTypeNames[] = {"Framework.Panel", "Framework.ScrollChannel",
                                                 "Framework.ComboSlider.DropDownPanel",
                                                 "Framework.CenteredSliderBounds"};

    LPanel(const RCPtr<LControl>& parent, const Text& name);
    ~LPanel() override;

    // With a parent, the wrap-around of the search is null.
    RCPtr<LControl> GetNextTabChild(const RCPtr<LControl>& from, bool backward) override;
    // 1 for every key, Tab included.
    VxRESULT ProcessKey(const RCPtr<LKeyParam>& key) override;
    VxRESULT OnUnhandledChildKey(const RCPtr<LKeyParam>& key) override;
    VxRESULT OnTabKey(const RCPtr<LKeyParam>& key) override;
    // A panel without a parent registers nothing.  0x80000008 when the
    // sibling-key subscription on the parent fails.
    VxRESULT Initialize() override;
    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;

private:
    NotificationHandlerResultCode OnSiblingKey(const RCPtr<LNotificationDistributor>& from,
                                               const ConstRCPtr<LNotification>& notification);

    RCPtr<LNotificationHandler<LPanel>> m_panelHandler;
};
} // namespace Vx
