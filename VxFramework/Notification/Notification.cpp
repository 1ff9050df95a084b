#include "VxFramework/Notification/Notification.h"

#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"

namespace Vx
{
namespace
{
// Slack keeps the steady create-release flow from reallocating the pool's
// storage on every notification.
using NotificationPool = RCPtrArray<LNotification, 64, 64>;

// Process-wide objects are built on first use and never destroyed: threads
// still running at exit may create and release notifications.
NotificationPool& GetPool()
{
    static NoDestructor<NotificationPool> pool;
    return *pool;
}

std::atomic<bool> gPoolingEnabled{false};
} // namespace

Mutex& GetNotificationLock()
{
    static NoDestructor<Mutex> lock;
    return *lock;
}

StringArrayT<char, unsigned short>& GetNotificationNameTable()
{
    static NoDestructor<StringArrayT<char, unsigned short>> table;
    return *table;
}

LNotification::LNotification(const char* id, const RCPtr<LRefCountedObject>& param) : mId(id), mParam(param) {}

LNotification::~LNotification() = default;

void LNotification::CreateNew(RCPtr<LNotification>& result, const char* name, const RCPtr<LRefCountedObject>& param)
{
    result = new LNotification(InternNotificationId(name), param);
}

void LNotification::Create(RCPtr<LNotification>& result, const char* name, const RCPtr<LRefCountedObject>& param)
{
    const char* const id = InternNotificationId(name);
    if (id == nullptr)
    {
        result = nullptr;
        return;
    }
    if (gPoolingEnabled.load())
    {
        RCPtr<LNotification> reused;
        {
            const ScopedLock lock(GetNotificationLock());
            NotificationPool& pool = GetPool();
            if (pool.GetCount() > 0)
                pool.RemoveLast(reused);
        }
        if (!reused.IsNull())
        {
            // A pooled notification is referenced by nobody else and not posted.
            reused->mId = id;
            reused->mParam = param;
            result = std::move(reused);
            return;
        }
    }
    CreateNew(result, id, param);
}

VxRESULT LNotification::SetId(const char* name)
{
    if (IsPosted())
        return VXR_E_FAIL;
    const char* const id = InternNotificationId(name);
    if (id == nullptr)
        return VXR_E_INVALIDARG;
    mId = id;
    return VXR_OK;
}

VxRESULT LNotification::SetParam(const RCPtr<LRefCountedObject>& param)
{
    if (IsPosted())
        return VXR_E_FAIL;
    mParam = param;
    return VXR_OK;
}

std::uint32_t LNotification::Release()
{
    // The holder of the only reference may hand it to the pool; the pool's
    // reference then survives the base release below.
    if (!mRecycling.load() && GetRefCount() == 1)
    {
        mRecycling.store(true);
        Recycle();
        mRecycling.store(false);
    }
    return LRefCountedObject::Release();
}

void LNotification::Recycle()
{
    // The parameter goes now, not when the notification is reused.
    SetParam(nullptr);
    if (!gPoolingEnabled.load())
        return;
    const ScopedLock lock(GetNotificationLock());
    // A pool that cannot grow just lets this notification be freed.
    GetPool().Add(RCPtr<LNotification>(this));
}

void LNotification::SetPoolingEnabled(bool enabled)
{
    gPoolingEnabled.store(enabled);
    if (enabled)
        return;
    const ScopedLock lock(GetNotificationLock());
    // Each one reaches Release with pooling off and is freed.
    GetPool().SetCount(0);
}

bool LNotification::IsPoolingEnabled() noexcept
{
    return gPoolingEnabled.load();
}

std::uint32_t LNotification::GetPoolCount()
{
    const ScopedLock lock(GetNotificationLock());
    return GetPool().GetCount();
}
} // namespace Vx
