#include "VxFramework/Notification/NotificationDistributor.h"

#include "VxFramework/ObjectBase/NoDestructor.h"
namespace Vx
{
namespace
{
// Every distributor that has a client.  Its reference keeps such a distributor
// alive (clients point to their distributors without a reference); the
// distributor counts it as contained.  Distributors on different threads may
// gain their first or lose their last client at once, so it has its own lock.
struct DistributorRegistry
{
    Mutex lock;
    RCPtrArray<LNotificationDistributor> distributors;

    std::int32_t IndexOf(const LNotificationDistributor* distributor) const
    {
        for (std::uint32_t i = distributors.GetCount(); i-- > 0;)
        {
            if (distributors[i].Get() == distributor)
                return static_cast<std::int32_t>(i);
        }
        return -1;
    }
};

DistributorRegistry& GetRegistry()
{
    static NoDestructor<DistributorRegistry> registry;
    return *registry;
}
} // namespace

// --- LNotificationClientPool -------------------------------------------------

LNotificationDistributor::LNotificationClientPool::~LNotificationClientPool() = default;

std::uint32_t LNotificationDistributor::LNotificationClientPool::GetFlags() const
{
    const ScopedLock lock(mLock);
    return mFlags;
}

std::uint32_t LNotificationDistributor::LNotificationClientPool::GetClientCount() const
{
    const ScopedLock lock(mLock);
    return mClients.GetCount();
}

std::int32_t LNotificationDistributor::LNotificationClientPool::FindClient(
    const RCPtr<LNotificationReceiver>& client) const
{
    const ScopedLock lock(mLock);
    for (std::uint32_t i = mClients.GetCount(); i-- > 0;)
    {
        if (mClients[i]->mReceiver == client)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

VxRESULT LNotificationDistributor::LNotificationClientPool::AddOrUpdateClient(
    const RCPtr<LNotificationReceiver>& client, std::uint32_t flags)
{
    if (client.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const ScopedLock lock(mLock);
    std::uint32_t all = 0;
    bool found = false;
    for (std::uint32_t i = mClients.GetCount(); i-- > 0;)
    {
        LNotificationRegisteredClientInfo& record = *mClients[i];
        if (!found && record.mReceiver == client)
        {
            if (record.mFlags == flags)
                return VXR_OK;
            record.mFlags = flags;
            found = true;
        }
        all |= record.mFlags;
    }
    if (found)
    {
        mFlags = all;
        return VXR_OK;
    }
    const VxRESULT added = mClients.Add(MakeRCPtr<LNotificationRegisteredClientInfo>(client, flags));
    if (Failed(added))
        return added;
    mFlags |= flags;
    return VXR_OK;
}

VxRESULT LNotificationDistributor::LNotificationClientPool::TakeClient(const RCPtr<LNotificationReceiver>& client,
                                                                       RCPtr<LNotificationRegisteredClientInfo>& out)
{
    const ScopedLock lock(mLock);
    for (std::uint32_t i = mClients.GetCount(); i-- > 0;)
    {
        if (mClients[i]->mReceiver != client)
            continue;
        mClients.RemoveAt(i, out);
        // Records below a running call move down by one; every walk keeps
        // pointing at the record it was at.
        for (Walk* walk = mWalks; walk != nullptr; walk = walk->next)
        {
            if (static_cast<std::int32_t>(i) < walk->index)
                --walk->index;
        }
        return VXR_OK;
    }
    return VXR_NOTHING_DONE;
}

VxRESULT LNotificationDistributor::LNotificationClientPool::RemoveClient(const RCPtr<LNotificationReceiver>& client)
{
    RCPtr<LNotificationRegisteredClientInfo> removed;
    return TakeClient(client, removed);
}

void LNotificationDistributor::LNotificationClientPool::StampPosted(const RCPtr<LNotification>& notification,
                                                                    RCPtrArray<LNotification>& replaced)
{
    const ScopedLock lock(mLock);
    if ((mFlags & kNotificationPostedOnly) == 0)
        return;
    for (std::uint32_t i = mClients.GetCount(); i-- > 0;)
    {
        LNotificationRegisteredClientInfo& record = *mClients[i];
        if ((record.mFlags & kNotificationPostedOnly) == 0)
            continue;
        // The one replaced is released by the caller, once no lock is held.
        if (!record.mLatestPosted.IsNull())
            replaced.Add(record.mLatestPosted);
        record.mLatestPosted = notification;
    }
}

// Links a walk into its pool for the walk's lifetime, whatever way it ends.
class LNotificationDistributor::LNotificationClientPool::WalkScope
{
public:
    WalkScope(LNotificationClientPool& pool, Walk& walk) : mPool(pool), mWalk(walk)
    {
        const ScopedLock lock(mPool.mLock);
        mWalk.next = mPool.mWalks;
        mPool.mWalks = &mWalk;
    }
    ~WalkScope()
    {
        const ScopedLock lock(mPool.mLock);
        for (Walk** link = &mPool.mWalks; *link != nullptr; link = &(*link)->next)
        {
            if (*link == &mWalk)
            {
                *link = mWalk.next;
                break;
            }
        }
    }
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;

private:
    LNotificationClientPool& mPool;
    Walk& mWalk;
};

bool LNotificationDistributor::LNotificationClientPool::CallAt(const RCPtr<LNotificationDistributor>& distributor,
                                                               Walk& walk,
                                                               const ConstRCPtr<LNotification>& notification)
{
    RCPtr<LNotificationReceiver> receiver;
    RCPtr<LNotification> consumed;
    {
        const ScopedLock lock(mLock);
        const std::uint32_t count = mClients.GetCount();
        if (walk.index < 0 || static_cast<std::uint32_t>(walk.index) >= count)
        {
            walk.index = static_cast<std::int32_t>(count);
            return false;
        }
        LNotificationRegisteredClientInfo& record = *mClients[static_cast<std::uint32_t>(walk.index)];
        if ((record.mFlags & kNotificationPostedOnly) == 0)
        {
            receiver = record.mReceiver;
        }
        else if (!record.mLatestPosted.IsNull() && record.mLatestPosted.Get() == notification.Get())
        {
            // Delivered once: a later delivery of the same object is not for it.
            consumed = std::move(record.mLatestPosted);
            receiver = record.mReceiver;
        }
    }
    if (!receiver.IsNull())
        receiver->Receive(distributor, notification);
    return true;
}

std::int32_t LNotificationDistributor::LNotificationClientPool::NotifyClientAt(
    const RCPtr<LNotificationDistributor>& distributor, std::int32_t index,
    const ConstRCPtr<LNotification>& notification)
{
    Walk walk{index, nullptr};
    const WalkScope scope(*this, walk);
    CallAt(distributor, walk, notification);
    const ScopedLock lock(mLock);
    return walk.index;
}

VxRESULT LNotificationDistributor::LNotificationClientPool::NotifyAll(
    const RCPtr<LNotificationDistributor>& distributor, const ConstRCPtr<LNotification>& notification)
{
    // One walk for the whole delivery, so that removals between two calls
    // (from other threads too) keep its position right.
    Walk walk{0, nullptr};
    const WalkScope scope(*this, walk);
    {
        const ScopedLock lock(mLock);
        walk.index = static_cast<std::int32_t>(mClients.GetCount());
        if (walk.index == 0)
            return VXR_NOTHING_DONE;
    }
    // Newest first.
    for (;;)
    {
        {
            const ScopedLock lock(mLock);
            if (walk.index - 1 < 0)
                break;
            --walk.index;
        }
        CallAt(distributor, walk, notification);
    }
    return VXR_OK;
}

// --- LNotificationDistributor ------------------------------------------------

LNotificationDistributor::LNotificationDistributor() = default;

LNotificationDistributor::~LNotificationDistributor() = default;

RCPtr<LNotificationDistributor::LNotificationClientPool> LNotificationDistributor::FindClientPool(const char* id)
{
    const ScopedLock lock(mLock);
    for (std::uint32_t i = mPools.GetCount(); i-- > 0;)
    {
        if (mPools[i]->GetId() == id)
            return mPools[i];
    }
    return nullptr;
}

VxRESULT LNotificationDistributor::AddClient(const RCPtr<LNotificationReceiver>& client, const char* id,
                                             std::uint32_t flags)
{
    if (client.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const char* const interned = InternNotificationId(id);
    if (interned == nullptr)
        return VXR_NOTHING_DONE;

    const ScopedLock lock(mLock);
    RCPtr<LNotificationClientPool> pool = FindClientPool(interned);
    if (pool.IsNull())
    {
        pool = MakeRCPtr<LNotificationClientPool>(interned);
        const VxRESULT added = mPools.Add(pool);
        if (Failed(added))
            return added;
    }
    if (pool->FindClient(client) >= 0)
    {
        pool->AddOrUpdateClient(client, flags);
        return VXR_NOTHING_DONE;
    }
    const VxRESULT added = pool->AddOrUpdateClient(client, flags);
    if (Failed(added))
        return added;

    // The record holds this distributor too; the reference is its own part's.
    AddRef();
    AdjustContainedRefCount(1);
    if (++mClientCount == 1)
    {
        DistributorRegistry& registry = GetRegistry();
        const ScopedLock registryLock(registry.lock);
        if (registry.IndexOf(this) >= 0)
        {
            VX_ASSERT_FALSE();
        }
        else if (Succeeded(registry.distributors.Add(RCPtr<LNotificationDistributor>(this))))
        {
            AdjustContainedRefCount(1);
        }
    }
    return VXR_OK;
}

VxRESULT LNotificationDistributor::RemoveClient(const RCPtr<LNotificationReceiver>& client, const char* id)
{
    if (client.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const char* const interned = InternNotificationId(id);
    if (interned == nullptr)
        return VXR_E_INVALIDARG;

    // Dropped once no lock is held: the record's receiver and the registry's
    // reference may run destructors, and the self-reference may be the last.
    RCPtr<LNotificationRegisteredClientInfo> removed;
    RCPtr<LNotificationDistributor> registryReference;
    {
        const ScopedLock lock(mLock);
        const RCPtr<LNotificationClientPool> pool = FindClientPool(interned);
        if (pool.IsNull() || pool->TakeClient(client, removed) != VXR_OK)
            return VXR_NOTHING_DONE;
        if (--mClientCount == 0)
        {
            DistributorRegistry& registry = GetRegistry();
            const ScopedLock registryLock(registry.lock);
            const std::int32_t index = registry.IndexOf(this);
            if (index < 0)
            {
                VX_ASSERT_FALSE();
            }
            else
            {
                AdjustContainedRefCount(-1);
                registry.distributors.RemoveAt(static_cast<std::uint32_t>(index), registryReference);
            }
        }
        AdjustContainedRefCount(-1);
    }
    removed = nullptr;
    registryReference = nullptr;
    // The reference the record held; this object may be gone afterwards.
    Release();
    return VXR_OK;
}

VxRESULT LNotificationDistributor::RemoveClientFromAll(const RCPtr<LNotificationReceiver>& client)
{
    if (client.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    // Declared before the lock, so that it is released after it.
    const RCPtr<LNotificationDistributor> keepAlive(this);
    const ScopedLock lock(mLock);
    std::int32_t removed = 0;
    for (std::uint32_t i = mPools.GetCount(); i-- > 0;)
    {
        const char* const id = mPools[i]->GetId();
        if (id == nullptr)
        {
            VX_ASSERT_FALSE();
            continue;
        }
        if (RemoveClient(client, id) == VXR_OK)
            ++removed;
    }
    return removed;
}

VxRESULT LNotificationDistributor::RemoveAllClients()
{
    const RCPtr<LNotificationDistributor> keepAlive(this);
    const ScopedLock lock(mLock);
    for (std::uint32_t p = mPools.GetCount(); p-- > 0;)
    {
        const RCPtr<LNotificationClientPool> pool = mPools[p];
        std::uint32_t next = pool->GetClientCount();
        for (;;)
        {
            RCPtr<LNotificationReceiver> receiver;
            {
                const ScopedLock poolLock(pool->mLock);
                // Receivers normally remove their own record; the walk goes on
                // below it whatever they did.
                next = std::min(next, pool->mClients.GetCount());
                if (next == 0)
                    break;
                --next;
                receiver = pool->mClients[next]->mReceiver;
            }
            receiver->Unregister(keepAlive, pool->GetId());
        }
    }
    return VXR_OK;
}

VxRESULT LNotificationDistributor::GetClientFlags(const RCPtr<LNotificationReceiver>& client, const char* id,
                                                  std::uint32_t& flags)
{
    const char* const interned = InternNotificationId(id);
    if (interned == nullptr)
        return VXR_E_FAIL;
    const ScopedLock lock(mLock);
    const RCPtr<LNotificationClientPool> pool = FindClientPool(interned);
    if (pool.IsNull())
        return VXR_E_FAIL;
    const ScopedLock poolLock(pool->mLock);
    const std::int32_t index = pool->FindClient(client);
    if (index < 0)
        return VXR_E_FAIL;
    flags = pool->mClients[static_cast<std::uint32_t>(index)]->mFlags;
    return VXR_OK;
}

bool LNotificationDistributor::HasClient(const RCPtr<LNotificationReceiver>& client)
{
    const ScopedLock lock(mLock);
    for (std::uint32_t i = mPools.GetCount(); i-- > 0;)
    {
        if (mPools[i]->FindClient(client) >= 0)
            return true;
    }
    return false;
}

VxRESULT LNotificationDistributor::Notify(const ConstRCPtr<LNotification>& notification)
{
    if (notification.IsNull())
        return VXR_E_INVALIDARG;
    const RCPtr<LNotificationClientPool> pool = FindClientPool(notification->GetId());
    if (pool.IsNull())
        return VXR_NOTHING_DONE;
    // Receivers run with no lock of this distributor or the pool held.
    return pool->NotifyAll(RCPtr<LNotificationDistributor>(this), notification);
}

std::int32_t LNotificationDistributor::GetClientCount()
{
    const ScopedLock lock(mLock);
    return mClientCount;
}

bool LNotificationDistributor::IsInRegistry() const
{
    DistributorRegistry& registry = GetRegistry();
    const ScopedLock registryLock(registry.lock);
    return registry.IndexOf(this) >= 0;
}

VxRESULT LNotificationDistributor::RemoveContainedReferences()
{
    RemoveAllClients();
    return LRefCountedObject::RemoveContainedReferences();
}
} // namespace Vx
