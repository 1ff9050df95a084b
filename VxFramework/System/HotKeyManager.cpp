#include "VxFramework/System/HotKeyManager.h"

#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"

#include <cstring>

namespace Vx
{
VxRESULT HotKeyManager::LoadFromCreateParams(const RCPtr<LStringTable>& source, const String& prefix)
{
    if (source.IsNull())
        return VXR_E_INVALIDARG;
    const std::size_t prefixLength = std::strlen(prefix.GetCString());
    for (const auto& [name, value] : source->GetEntries())
    {
        const char* const text = name.GetCString();
        // The prefix must be followed by a point: "GHKX.NID_A" is not a "GHK" entry.
        if (std::strncmp(text, prefix.GetCString(), prefixLength) != 0 || text[prefixLength] != '.')
            continue;
        const char* const id = std::strrchr(text, '.') + 1;
        const KeyCode key = TextToKeyCode(value);
        if (!IsBindable(key))
        {
            VX_ASSERT_FALSE();
            continue;
        }
        if (AddHotKey(key, String(id)) < 0)
            VX_ASSERT_FALSE();
    }
    return VXR_OK;
}

VxRESULT HotKeyManager::AddHotKey(const KeyCode& key, const String& notification)
{
    if (notification.IsEmpty())
        return VXR_E_INVALIDARG;
    std::uint32_t index = 0;
    if (Find(key, index) != mTable.end())
        return VXR_E_INVALIDARG;
    const char* const id = InternNotificationId(notification.GetCString());
    if (id == nullptr)
        return VXR_E_INVALIDARG;
    if (mTable[id].Add(key) < 0)
        return VXR_E_FAIL;
    return VXR_OK;
}

HotKeyManager::String HotKeyManager::FindNotificationForKey(const KeyCode& key) const
{
    std::uint32_t index = 0;
    const Table::const_iterator found = Find(key, index);
    return found == mTable.end() ? String() : String(found->first);
}

bool HotKeyManager::HasHotKey(const String& notification) const
{
    if (notification.IsEmpty())
        return false;
    return mTable.count(InternNotificationId(notification.GetCString())) != 0;
}

Array<KeyCode> HotKeyManager::GetHotKeys(const String& notification) const
{
    if (notification.IsEmpty())
        return Array<KeyCode>();
    const Table::const_iterator found = mTable.find(InternNotificationId(notification.GetCString()));
    return found == mTable.end() ? Array<KeyCode>() : found->second;
}

VxRESULT HotKeyManager::RemoveHotKey(const KeyCode& key)
{
    std::uint32_t index = 0;
    const Table::const_iterator found = Find(key, index);
    if (found == mTable.end())
        return VXR_NOTHING_DONE;
    KeyCode removed;
    mTable[found->first].RemoveAt(index, removed);
    return VXR_OK;
}

VxRESULT HotKeyManager::RemoveNotification(const String& notification)
{
    if (notification.IsEmpty())
        return VXR_E_INVALIDARG;
    return mTable.erase(InternNotificationId(notification.GetCString())) != 0 ? VXR_OK : VXR_NOTHING_DONE;
}

bool HotKeyManager::IsEmpty() const noexcept
{
    for (const auto& entry : mTable)
    {
        if (entry.second.GetCount() != 0)
            return false;
    }
    return true;
}

bool HotKeyManager::IsBindable(const KeyCode& key) noexcept
{
    if ((key.code & KeyCode::kNoKey) != 0)
        return false;
    return (key.code & (KeyCode::kVirtualKeyFlag | KeyCode::kVirtualKeyMask)) != KeyCode::kVirtualKeyFlag;
}

HotKeyManager::Table::const_iterator HotKeyManager::Find(const KeyCode& key, std::uint32_t& index) const
{
    for (Table::const_iterator entry = mTable.begin(); entry != mTable.end(); ++entry)
    {
        for (std::uint32_t i = entry->second.GetCount(); i-- > 0;)
        {
            if (entry->second[i] == key)
            {
                index = i;
                return entry;
            }
        }
    }
    return mTable.end();
}

LGlobalHotKeyManager::LGlobalHotKeyManager(const RCPtr<LNotificationReceiver>& target) : mTarget(target) {}

LGlobalHotKeyManager::~LGlobalHotKeyManager() = default;

VxRESULT LGlobalHotKeyManager::ProcessKey(const KeyCode& key)
{
    const String id = mHotKeys.FindNotificationForKey(key);
    if (id.IsEmpty())
        return VXR_NOTHING_DONE;
    RCPtr<LNotification> notification;
    LNotification::Create(notification, id.GetCString(), RCPtr<LRefCountedObject>(LKeyParam::Create(key, 1)));
    if (notification.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_OK;
    }
    if (mTarget.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_OK;
    }
    mTarget->Receive(nullptr, notification);
    return VXR_OK;
}
} // namespace Vx
