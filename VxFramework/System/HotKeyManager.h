#pragma once

#include "VxFramework/ControlBase/StringTable.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/System/KeyUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <functional>
#include <map>

namespace Vx
{
// Binds keys to notification ids: a key that nothing else took raises the id
// bound to it.  Bindings come from string tables whose entry names are a
// prefix, a point and the id, with the key text as value.  One key belongs to
// at most one id (a character with and without Ctrl or Shift counts as one
// key); an id may have several keys.  Main thread only, no lock.
class HotKeyManager
{
public:
    using String = StringT<char, unsigned short>;

    // Binds every entry named "<prefix>.<...>.<id>" to the id after the last
    // point.  A key text that names no key, or a key bound already, is skipped
    // after an assertion.  0; 0x80000003 for a null source.
    VxRESULT LoadFromCreateParams(const RCPtr<LStringTable>& source, const String& prefix);
    // 0x80000003 when any id has an equal key already, or for an empty name.
    VxRESULT AddHotKey(const KeyCode& key, const String& notification);
    // The id bound to the key; empty when none.
    String FindNotificationForKey(const KeyCode& key) const;
    // False for an empty name.
    bool HasHotKey(const String& notification) const;
    // A copy of the id's keys; empty for an empty name or an id without keys.
    Array<KeyCode> GetHotKeys(const String& notification) const;
    // 0 removed, 1 bound to nothing.  An id that loses its last key keeps its
    // (empty) entry.
    VxRESULT RemoveHotKey(const KeyCode& key);
    // 0 removed, 1 no entry, 0x80000003 for an empty name.
    VxRESULT RemoveNotification(const String& notification);
    // Forgets every binding (a root window whose top control is replaced).
    void RemoveAll() noexcept { mTable.clear(); }
    // Whether no key is bound to any id.
    bool IsEmpty() const noexcept;

    // Whether a parsed key text can be bound: not the "no key" code, and not
    // the virtual key 0 that a text naming no key reads as.
    static bool IsBindable(const KeyCode& key) noexcept;

private:
    // Keyed by the interned id text, so that an id compares by pointer.
    using Table = std::map<const char*, Array<KeyCode>, std::less<const char*>>;

    // The entry and the index of the key in it, searched in map order and
    // each id's keys from last to first; end() when none.
    Table::const_iterator Find(const KeyCode& key, std::uint32_t& index) const;

    Table mTable;
};

// A hot-key table that raises the bound id itself: the notification, with the
// key as a key parameter of value 1, goes to the target receiver (a posting
// receiver, so it is delivered at the next idle pass).  The application and
// every root window own one.
class LGlobalHotKeyManager : public virtual LRefCountedObject
{
public:
    using String = HotKeyManager::String;

    explicit LGlobalHotKeyManager(const RCPtr<LNotificationReceiver>& target);
    ~LGlobalHotKeyManager() override;

    // 1 when the key is bound to nothing; otherwise the bound id is raised
    // and the result is 0, even when there is no target (an assertion).
    VxRESULT ProcessKey(const KeyCode& key);

    VxRESULT LoadFromCreateParams(const RCPtr<LStringTable>& source, const String& prefix)
    {
        return mHotKeys.LoadFromCreateParams(source, prefix);
    }
    VxRESULT AddHotKey(const KeyCode& key, const String& notification) { return mHotKeys.AddHotKey(key, notification); }
    String FindNotificationForKey(const KeyCode& key) const { return mHotKeys.FindNotificationForKey(key); }
    bool HasHotKey(const String& notification) const { return mHotKeys.HasHotKey(notification); }
    Array<KeyCode> GetHotKeys(const String& notification) const { return mHotKeys.GetHotKeys(notification); }
    VxRESULT RemoveHotKey(const KeyCode& key) { return mHotKeys.RemoveHotKey(key); }
    VxRESULT RemoveNotification(const String& notification) { return mHotKeys.RemoveNotification(notification); }
    void RemoveAll() noexcept { mHotKeys.RemoveAll(); }

    const HotKeyManager& GetTable() const noexcept { return mHotKeys; }
    const RCPtr<LNotificationReceiver>& GetTarget() const noexcept { return mTarget; }

private:
    HotKeyManager mHotKeys;
    RCPtr<LNotificationReceiver> mTarget;
};
} // namespace Vx
