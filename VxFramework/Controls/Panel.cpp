#include "VxFramework/Controls/Panel.h"

#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/System/KeyUtils.h"
#include "VxFramework/Utilities/DebugTracer.h"

namespace Vx
{
namespace
{
constexpr const char* kSiblingKeyId = "NID_SIBLING_KEY";
constexpr int kVirtualKeyTab = 9;
} // namespace

LPanel::LPanel(const RCPtr<LControl>& parent, const Text& name) : LScrollView(parent, name) {}

LPanel::~LPanel()
{
    m_panelHandler = nullptr;
}

VxRESULT LPanel::Initialize()
{
    const VxRESULT result = LScrollView::Initialize();
    if (result < 0)
    {
        VX_ASSERT_FALSE();
        return result;
    }
    if (m_parent.IsNull())
        return result;
    m_panelHandler = new LNotificationHandler<LPanel>(this);
    try
    {
        m_panelHandler->RegisterOrThrow(&LPanel::OnSiblingKey, RCPtr<LNotificationDistributor>(m_parent), kSiblingKeyId,
                                        0);
    }
    catch (const std::exception& exception)
    {
        DebugTracer::Get().Trace(1, "%s", exception.what());
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    return VXR_OK;
}

RCPtr<LControl> LPanel::GetNextTabChild(const RCPtr<LControl>& from, bool backward)
{
    const RCPtr<LControl> next = LScrollView::GetNextTabChild(from, backward);
    if (m_parent.IsNull() || next.IsNull())
        return next;
    const std::int32_t fromIndex = m_children.IndexOf(from, ChildControlList::kTabOrder);
    const std::int32_t nextIndex = m_children.IndexOf(next, ChildControlList::kTabOrder);
    // Behind from (or from itself): the search went round.
    if (backward ? nextIndex >= fromIndex : nextIndex <= fromIndex)
        return nullptr;
    return next;
}

VxRESULT LPanel::ProcessKey(const RCPtr<LKeyParam>& /*key*/)
{
    return VXR_NOTHING_DONE;
}

VxRESULT LPanel::OnTabKey(const RCPtr<LKeyParam>& key)
{
    if (key.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LControl> self(this);
    const bool ctrl = (key->key.code & KeyCode::kCtrl) != 0;
    RCPtr<LKeyParam> up = key;
    if (ctrl)
    {
        // Ctrl+Tab leaves this panel and goes on in the parent as a plain Tab
        // (Shift kept), as it leaves any container.
        up =
            LKeyParam::Create(KeyCode(kVirtualKeyTab, (key->key.code & KeyCode::kShift) != 0 ? kModifierShift : 0u), 0);
    }
    else
    {
        const std::uint32_t count = key->visited.GetCount();
        RCPtr<LControl> start = count == 0 ? RCPtr<LControl>() : key->visited[count - 1];
        const bool backward = (key->key.code & KeyCode::kShift) != 0;
        // A start that is not one of the children has nothing to search from.
        RCPtr<LControl> next = m_children.IndexOf(start, ChildControlList::kTabOrder) < 0
                                   ? RCPtr<LControl>()
                                   : GetNextTabChild(start, backward);
        // Each child is met at most once a round; the bound guards against a
        // tree that changes under the walk.
        for (std::uint32_t steps = 0; !next.IsNull() && next != start && steps <= m_children.GetCount(); ++steps)
        {
            if (next->CanTakeFocus())
            {
                next->SetFocus(!backward);
                return VXR_OK;
            }
            if (!start->CanReceiveInput())
            {
                VX_ASSERT_FALSE();
                start = next;
            }
            next = GetNextTabChild(next, backward);
        }
    }
    up->visited.Add(self);
    if (!m_parent.IsNull())
        return m_parent->OnTabKey(up);
    // A top panel hands the Tab to its root window, which may move on to
    // another window, as any top control does.
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (rootWindow.IsNull())
        return VXR_NOTHING_DONE;
    rootWindow->MoveFocusToNextWindow(up);
    return VXR_OK;
}

VxRESULT LPanel::OnUnhandledChildKey(const RCPtr<LKeyParam>& key)
{
    if (key.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (DispatchSiblingKey(key) != VXR_NOTHING_DONE)
        return VXR_OK;
    const RCPtr<LControl> self(this);
    if (!m_parent.IsNull())
    {
        key->visited.Add(self);
        return m_parent->OnUnhandledChildKey(key);
    }
    IControlHost* const host = GetControlHost();
    if (host == nullptr)
        return VXR_NOTHING_DONE;
    // The window's own hot keys answer before the application's, as for any
    // top control.
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (!rootWindow.IsNull())
    {
        const VxRESULT result = rootWindow->ProcessHotKey(key->key);
        if (result != VXR_NOTHING_DONE)
            return result;
    }
    return host->ProcessGlobalHotKey(key->key);
}

NotificationHandlerResultCode LPanel::OnSiblingKey(const RCPtr<LNotificationDistributor>& /*from*/,
                                                   const ConstRCPtr<LNotification>& notification)
{
    LSiblingKeyParam* const sibling =
        notification.IsNull() ? nullptr : dynamic_cast<LSiblingKeyParam*>(notification->GetParam().Get());
    if (sibling == nullptr)
        return 1;
    const RCPtr<LKeyParam> key = LKeyParam::Create(sibling->key, 1);
    sibling->unhandled = DispatchSiblingKey(key);
    return 1;
}

NotificationHandlerResultCode LPanel::Receive(const RCPtr<LNotificationDistributor>& from,
                                              const ConstRCPtr<LNotification>& notification)
{
    if (!m_panelHandler.IsNull() && IsCreated())
    {
        const NotificationHandlerResultCode result = m_panelHandler->Receive(from, notification);
        if (result != 0)
            return result;
    }
    return LScrollView::Receive(from, notification);
}

VxRESULT LPanel::Unregister(const RCPtr<LNotificationDistributor>& from, const char* id)
{
    if (!m_panelHandler.IsNull())
        m_panelHandler->RemoveEntry(from, id);
    return LScrollView::Unregister(from, id);
}
} // namespace Vx
