#pragma once

#include "VxFramework/Notification/Holder.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/TaggableObject.h"
#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace Vx
{
class LNotificationQueue;

// Result of a handler and of a receiver: 0 not handled, anything else handled.
using NotificationHandlerResultCode = std::int32_t;

// The one recursive lock of the interned-name table and the notification pool.
Mutex& GetNotificationLock();

// Every interned id text, in order of first interning.  Read it only while
// holding GetNotificationLock().
StringArrayT<char, unsigned short>& GetNotificationNameTable();

// The table's copy of the text: the same pointer for every equal text, so ids
// compare by pointer.  Null (after an assertion) for a null or empty text.
inline const char* InternNotificationId(const char* name)
{
    if (name == nullptr || name[0] == '\0')
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    const ScopedLock lock(GetNotificationLock());
    StringArrayT<char, unsigned short>& table = GetNotificationNameTable();
    // An id the caller already holds is found without comparing any text.
    if (table.FindByDataPointer(name) >= 0)
        return name;
    const std::uint32_t count = table.GetCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (std::strcmp(table[i].GetCString(), name) == 0)
            return table[i].GetCString();
    }
    // The text lives in the string's own buffer, which the table's growth
    // never moves, so the pointer handed out stays valid.
    table.Add(StringT<char, unsigned short>(name));
    return table[table.GetCount() - 1].GetCString();
}

// The table's text of an interned id; empty, after an assertion, for a
// pointer the table did not hand out.
inline StringT<char, unsigned short> NotificationIdText(const char* id)
{
    const ScopedLock lock(GetNotificationLock());
    StringArrayT<char, unsigned short>& table = GetNotificationNameTable();
    const std::int32_t index = table.FindByDataPointer(id);
    if (index < 0)
    {
        VX_ASSERT_FALSE();
        return StringT<char, unsigned short>();
    }
    return table[static_cast<std::uint32_t>(index)];
}

// A named event with one optional parameter object.  Created through Create,
// which recycles released notifications while pooling is enabled.
class LNotification : public virtual LRefCountedObject
{
public:
    LNotification(const LNotification&) = delete;
    LNotification& operator=(const LNotification&) = delete;
    ~LNotification() override;

    // Null result for a null or empty name; the pool is not touched then.
    static void Create(RCPtr<LNotification>& result, const char* name, const RCPtr<LRefCountedObject>& param);
    static void CreateNew(RCPtr<LNotification>& result, const char* name, const RCPtr<LRefCountedObject>& param);

    const char* GetId() const noexcept { return mId; }
    const RCPtr<LRefCountedObject>& GetParam() const noexcept { return mParam; }
    bool IsPosted() const noexcept { return mPosted.load(); }

    // Both refuse with VXR_E_FAIL while the notification is posted.
    VxRESULT SetId(const char* name);
    VxRESULT SetParam(const RCPtr<LRefCountedObject>& param);

    // Gives the last reference back to the pool instead of freeing it.
    std::uint32_t Release() override;

    static void SetPoolingEnabled(bool enabled);
    static bool IsPoolingEnabled() noexcept;
    // Notifications waiting in the pool.
    static std::uint32_t GetPoolCount();

private:
    friend class LNotificationQueue;

    LNotification(const char* id, const RCPtr<LRefCountedObject>& param);
    void Recycle();
    void SetPosted(bool posted) noexcept { mPosted.store(posted); }
    // Sets the flag unless it is set already; false when it was.
    bool TryMarkPosted() noexcept { return !mPosted.exchange(true); }

    const char* mId;
    RCPtr<LRefCountedObject> mParam;
    // Posting threads set it, the delivering thread clears it.
    std::atomic<bool> mPosted{false};
    std::atomic<bool> mRecycling{false};
};

// A copy of the string, as the text form of a string wrapper.
inline StringT<char, unsigned short> StringToString(const StringT<char, unsigned short>& text)
{
    return text;
}

// Carries a value as a reference-counted object whose text form is
// ToString applied to the value.
template <class T, StringT<char, unsigned short> (*ToStringFunction)(const T&), class Base = LTaggableObject>
class LWrapperStringable : public T, public virtual Base
{
public:
    explicit LWrapperStringable(const T& value) : T(value) {}
    ~LWrapperStringable() override = default;

    StringT<char, unsigned short> ToString() const override { return ToStringFunction(*this); }
};
} // namespace Vx
