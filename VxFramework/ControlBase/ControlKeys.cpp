#include "VxFramework/ControlBase/Control.h"

#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace Vx
{
// Key handling: a key goes from the focused control to its own hot keys, its
// ProcessKey, Tab traversal or the parent, the parent's other children that
// declared hot keys, the root window's hot keys and the application's.

namespace
{
constexpr int kVirtualKeyTab = 9;
constexpr const char* kSiblingKeyId = "NID_SIBLING_KEY";
constexpr const char* kHotKeyPrefix = "LHK";

// Tab with any modifiers, as a virtual key.
bool IsTab(const KeyCode& key)
{
    return (key.code & KeyCode::kNoKey) == 0 && (key.code & KeyCode::kVirtualKeyFlag) != 0 &&
           key.GetVirtualKey() == kVirtualKeyTab;
}

// The control the key came from last; null when none passed it on yet.
RCPtr<LControl> SourceOf(const LKeyParam& key)
{
    const std::uint32_t count = key.visited.GetCount();
    return count == 0 ? RCPtr<LControl>() : key.visited[count - 1];
}

LControl* AsControl(const RCPtr<LNotificationReceiver>& receiver)
{
    return dynamic_cast<LControl*>(receiver.Get());
}
} // namespace

VxRESULT LControl::OnKey(const RCPtr<LKeyParam>& key)
{
    if (key.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (!CanReceiveInput())
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);

    // The control's own hot keys, through the same handler its siblings'
    // keys reach it by.
    const RCPtr<LSiblingKeyParam> own = LSiblingKeyParam::Create(key->key, self);
    RCPtr<LNotification> notification;
    LNotification::Create(notification, kSiblingKeyId, own);
    if (!notification.IsNull())
        Receive(nullptr, notification);
    if (own->unhandled == 0)
        return VXR_OK;

    if (ProcessKey(key) != VXR_NOTHING_DONE)
        return VXR_OK;
    key->visited.Add(self);
    if (IsTab(key->key))
    {
        if (m_wantsTab != 0)
            return VXR_OK;
        return m_parent.IsNull() ? PassTabUp(key) : m_parent->OnTabKey(key);
    }
    if (!m_parent.IsNull())
        return m_parent->OnUnhandledChildKey(key);
    return OfferToGlobalHotKeys(key);
}

VxRESULT LControl::OnUnhandledChildKey(const RCPtr<LKeyParam>& key)
{
    if (key.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LControl> self(this);
    if (DispatchSiblingKey(key) != VXR_NOTHING_DONE)
        return VXR_OK;
    return OfferToGlobalHotKeys(key);
}

VxRESULT LControl::OfferToGlobalHotKeys(const RCPtr<LKeyParam>& key)
{
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (!rootWindow.IsNull())
    {
        const VxRESULT result = rootWindow->ProcessHotKey(key->key);
        if (result != VXR_NOTHING_DONE)
            return result;
    }
    IControlHost* const host = GetControlHost();
    return host == nullptr ? VXR_NOTHING_DONE : host->ProcessGlobalHotKey(key->key);
}

VxRESULT LControl::PassTabUp(const RCPtr<LKeyParam>& key)
{
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (rootWindow.IsNull())
        return VXR_NOTHING_DONE;
    rootWindow->MoveFocusToNextWindow(key);
    return VXR_OK;
}

// ---- Sibling keys -----------------------------------------------------------------

VxRESULT LControl::DispatchSiblingKey(const RCPtr<LKeyParam>& key)
{
    if (key.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LNotificationClientPool> pool = FindClientPool(InternNotificationId(kSiblingKeyId));
    if (pool.IsNull() || pool->GetClientCount() == 0)
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);
    ArrayBuffer<std::int32_t> order;
    if (SortSiblingKeyClients(key, pool, order) < 0)
    {
        // The key is dropped.
        VX_ASSERT_FALSE();
        return VXR_OK;
    }
    const RCPtr<LControl> source = SourceOf(*key);
    const RCPtr<LSiblingKeyParam> parameter = LSiblingKeyParam::Create(key->key, source);
    RCPtr<LNotification> notification;
    LNotification::Create(notification, kSiblingKeyId, parameter);
    if (notification.IsNull())
        return VXR_NOTHING_DONE;
    for (std::uint32_t i = order.GetCount(); i-- > 0;)
    {
        const std::int32_t index = order[i];
        RCPtr<LNotificationReceiver> client;
        {
            const ScopedLock lock(pool->GetLock());
            if (index >= 0 && static_cast<std::uint32_t>(index) < pool->GetClients().GetCount())
                client = pool->GetClients()[static_cast<std::uint32_t>(index)]->mReceiver;
        }
        if (client.IsNull())
        {
            VX_ASSERT_FALSE();
            continue;
        }
        if (!source.IsNull() && AsControl(client) == source.Get())
            continue;
        if (pool->NotifyClientAt(self, index, notification) != index)
            VX_ASSERT_FALSE();
        if (parameter->unhandled == 0)
            return VXR_OK;
    }
    return VXR_NOTHING_DONE;
}

VxRESULT LControl::SortSiblingKeyClients(const RCPtr<LKeyParam>& key, const RCPtr<LNotificationClientPool>& pool,
                                         ArrayBuffer<std::int32_t>& order)
{
    if (key.IsNull() || pool.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    struct Entry
    {
        std::int32_t index;
        std::int32_t tabKey;
        bool focusable;
    };
    std::vector<Entry> entries;
    {
        const ScopedLock lock(pool->GetLock());
        const RCPtrArray<LNotificationRegisteredClientInfo>& clients = pool->GetClients();
        std::int32_t outsider = std::numeric_limits<std::int32_t>::min();
        for (std::uint32_t i = 0; i < clients.GetCount(); ++i)
        {
            const LControl* const control = AsControl(clients[i]->mReceiver);
            const std::int32_t tab =
                control != nullptr && control->m_parent.Get() == this
                    ? m_children.IndexOf(RCPtr<LControl>(const_cast<LControl*>(control)), ChildControlList::kTabOrder)
                    : -1;
            if (tab >= 0)
                entries.push_back(Entry{static_cast<std::int32_t>(i), tab, control->m_notFocusable == 0});
            else
                entries.push_back(Entry{static_cast<std::int32_t>(i), outsider++, false});
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.tabKey < b.tabKey; });

    // The clients that cannot hold the focus come first, so the walk from
    // the end offers them the key last.
    std::size_t first = 0;
    while (first < entries.size() && !entries[first].focusable)
        order.Add(entries[first++].index);
    // The rest rotated so that the source comes last: the walk from the end
    // then starts with the source's neighbours in tab order.
    const RCPtr<LControl> source = SourceOf(*key);
    const std::int32_t sourceTab = source.IsNull() ? -1 : m_children.IndexOf(source, ChildControlList::kTabOrder);
    std::size_t split = first;
    if (sourceTab >= 0)
    {
        while (split < entries.size() && entries[split].tabKey <= sourceTab)
            ++split;
    }
    for (std::size_t i = split; i < entries.size(); ++i)
        order.Add(entries[i].index);
    for (std::size_t i = first; i < split; ++i)
        order.Add(entries[i].index);

    if (order.GetCount() != entries.size())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    return VXR_OK;
}

// ---- Hot keys ---------------------------------------------------------------------

void LControl::LoadHotKeys()
{
    m_hotKeys.RemoveAll();
    if (m_createParams.IsNull())
        return;
    m_hotKeys.LoadFromCreateParams(m_createParams, kHotKeyPrefix);
    if (m_hotKeys.IsEmpty() || m_handler.IsNull())
        return;
    m_handler->RegisterLocal(&LControl::OnSiblingKey, kSiblingKeyId);
    if (!m_parent.IsNull() && Failed(m_handler->Register(&LControl::OnSiblingKey, m_parent, kSiblingKeyId, 0)))
        VX_ASSERT_FALSE();
}

NotificationHandlerResultCode LControl::OnSiblingKey(const RCPtr<LNotificationDistributor>& /*from*/,
                                                     const ConstRCPtr<LNotification>& notification)
{
    LSiblingKeyParam* const parameter =
        notification.IsNull() ? nullptr : dynamic_cast<LSiblingKeyParam*>(notification->GetParam().Get());
    if (parameter == nullptr)
    {
        VX_ASSERT_FALSE();
        return 1;
    }
    if (!CanReceiveInput())
        return 1;
    const HotKeyManager::String id = m_hotKeys.FindNotificationForKey(parameter->key);
    if (id.IsEmpty())
        return 1;
    const RCPtr<LControl> self(this);
    parameter->unhandled = 0;
    RCPtr<LNotification> fired;
    LNotification::Create(fired, id.GetCString(), RCPtr<LRefCountedObject>(parameter));
    if (!fired.IsNull())
        Receive(nullptr, fired);
    return 1;
}

bool LControl::HasHotKey(const char* id) const
{
    return id != nullptr && m_hotKeys.HasHotKey(HotKeyManager::String(id));
}

ArrayBuffer<KeyCode> LControl::GetHotKeys(const char* id) const
{
    ArrayBuffer<KeyCode> keys;
    if (id == nullptr)
        return keys;
    const Array<KeyCode> bound = m_hotKeys.GetHotKeys(HotKeyManager::String(id));
    for (std::uint32_t i = 0; i < bound.GetCount(); ++i)
        keys.Add(bound[i]);
    return keys;
}

KeyCode LControl::GetFirstHotKey(const char* id) const
{
    const ArrayBuffer<KeyCode> keys = GetHotKeys(id);
    return keys.GetCount() == 0 ? KeyCode() : keys[0];
}

// ---- Tab traversal ----------------------------------------------------------------

VxRESULT LControl::OnTabKey(const RCPtr<LKeyParam>& key)
{
    if (key.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LControl> self(this);
    const auto passUp = [&](const RCPtr<LKeyParam>& up) {
        up->visited.Add(self);
        return m_parent.IsNull() ? PassTabUp(up) : m_parent->OnTabKey(up);
    };

    const bool backward = (key->key.code & KeyCode::kShift) != 0;
    if ((key->key.code & KeyCode::kCtrl) != 0)
    {
        // Ctrl+Tab leaves this container as a plain Tab (Shift kept).
        return passUp(LKeyParam::Create(KeyCode(kVirtualKeyTab, backward ? kModifierShift : 0u), 0));
    }

    RCPtr<LControl> from = SourceOf(*key);
    const std::int32_t fromIndex = m_children.IndexOf(from, ChildControlList::kTabOrder);
    if (fromIndex < 0)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    RCPtr<LControl> next = GetNextTabChild(from, backward);
    // Every child is met at most once a round; the bound only guards against
    // a tree that changes under the walk.
    for (std::uint32_t steps = 0; steps <= 2 * m_children.GetCount(); ++steps)
    {
        if (next.IsNull() || next == from)
        {
            if (key->value != 0)
                return VXR_OK;
            return passUp(key);
        }
        if (key->value == 0)
        {
            const std::int32_t at = m_children.IndexOf(from, ChildControlList::kTabOrder);
            const std::int32_t nextAt = m_children.IndexOf(next, ChildControlList::kTabOrder);
            if (backward ? nextAt >= at : nextAt <= at)
                return passUp(key);
        }
        if (next->CanTakeFocus())
        {
            next->SetFocus(!backward);
            return VXR_OK;
        }
        if (!from->CanReceiveInput())
        {
            VX_ASSERT_FALSE();
            from = next;
        }
        next = GetNextTabChild(next, backward);
    }
    return VXR_OK;
}
} // namespace Vx
