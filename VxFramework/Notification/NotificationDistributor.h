#pragma once

#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"

#include <cstdint>

namespace Vx
{
class LNotificationDistributor;

// Registration flag: the client receives only notifications that arrive
// through a queue, and of several queued before a delivery only the newest.
constexpr std::uint32_t kNotificationPostedOnly = 1;

// What a distributor calls.
class LNotificationReceiver : public virtual LRefCountedObject
{
public:
    // Distributors ignore the result.
    virtual NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                                  const ConstRCPtr<LNotification>& notification) = 0;
    // Asks the receiver to give up its registration for id with that distributor.
    virtual VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) = 0;
    ~LNotificationReceiver() override = default;
};

// Keeps, per notification id, the receivers registered for it and delivers a
// notification synchronously to every receiver of its id, newest first.
class LNotificationDistributor : public virtual LRefCountedObject
{
public:
    // One registration: a receiver for one id.
    class LNotificationRegisteredClientInfo : public LRefCountedObject
    {
    public:
        LNotificationRegisteredClientInfo(const RCPtr<LNotificationReceiver>& receiver, std::uint32_t flags)
            : mReceiver(receiver), mFlags(flags)
        {
        }

        RCPtr<LNotificationReceiver> mReceiver;
        // Posted-only records: the newest posted notification still to be received.
        RCPtr<LNotification> mLatestPosted;
        std::uint32_t mFlags;
    };

    // The records of one id.  Its lock guards the records and the walks.
    class LNotificationClientPool : public LRefCountedObject
    {
    public:
        explicit LNotificationClientPool(const char* id) : mId(id) {}
        ~LNotificationClientPool() override;

        const char* GetId() const noexcept { return mId; }
        // Union of the records' flags; not narrowed when a record goes.
        std::uint32_t GetFlags() const;
        std::uint32_t GetClientCount() const;
        // Take it while reading the records; never while calling a receiver.
        Mutex& GetLock() const noexcept { return mLock; }
        const RCPtrArray<LNotificationRegisteredClientInfo>& GetClients() const noexcept { return mClients; }

        // Index of the receiver's record, searched from the newest; -1 when none.
        std::int32_t FindClient(const RCPtr<LNotificationReceiver>& client) const;
        VxRESULT AddOrUpdateClient(const RCPtr<LNotificationReceiver>& client, std::uint32_t flags);
        // 0 removed, 1 not found.
        VxRESULT RemoveClient(const RCPtr<LNotificationReceiver>& client);
        // Calls the receiver at index (unless it is a posted-only record this
        // notification is not for) and returns the index from which a walk
        // towards older records continues.
        std::int32_t NotifyClientAt(const RCPtr<LNotificationDistributor>& distributor, std::int32_t index,
                                    const ConstRCPtr<LNotification>& notification);
        // 0, or 1 when the pool has no record.
        VxRESULT NotifyAll(const RCPtr<LNotificationDistributor>& distributor,
                           const ConstRCPtr<LNotification>& notification);

    private:
        friend class LNotificationDistributor;
        friend class LNotificationQueue;

        // The position of one running call of a receiver.  Each walk has its
        // own, so nested and concurrent deliveries of one pool each visit every
        // remaining older record once.
        struct Walk
        {
            std::int32_t index;
            Walk* next;
        };
        class WalkScope;

        // Calls the receiver of the record at the walk's index; false (and the
        // index set to the count) when there is no record there.
        bool CallAt(const RCPtr<LNotificationDistributor>& distributor, Walk& walk,
                    const ConstRCPtr<LNotification>& notification);

        // Removes the receiver's record and hands it to out, so that the
        // caller drops it once no lock is held.
        VxRESULT TakeClient(const RCPtr<LNotificationReceiver>& client, RCPtr<LNotificationRegisteredClientInfo>& out);
        // Marks this notification as the one every posted-only record waits for.
        void StampPosted(const RCPtr<LNotification>& notification, RCPtrArray<LNotification>& replaced);

        std::uint32_t mFlags = 0;
        const char* const mId;
        RCPtrArray<LNotificationRegisteredClientInfo> mClients;
        Walk* mWalks = nullptr;
        mutable Mutex mLock;
    };

    LNotificationDistributor();
    LNotificationDistributor(const LNotificationDistributor&) = delete;
    LNotificationDistributor& operator=(const LNotificationDistributor&) = delete;
    ~LNotificationDistributor() override;

    // 0 new record; 1 the record existed (flags updated) or the id does not
    // intern; VXR_E_INVALIDARG null client.
    VxRESULT AddClient(const RCPtr<LNotificationReceiver>& client, const char* id, std::uint32_t flags);
    // 0 removed; 1 not registered; VXR_E_INVALIDARG null client or bad id.
    VxRESULT RemoveClient(const RCPtr<LNotificationReceiver>& client, const char* id);
    // Number of records removed.
    VxRESULT RemoveClientFromAll(const RCPtr<LNotificationReceiver>& client);
    // Asks every registered receiver to unregister.
    VxRESULT RemoveAllClients();
    // The pool of an interned id, or null.
    RCPtr<LNotificationClientPool> FindClientPool(const char* id);
    VxRESULT GetClientFlags(const RCPtr<LNotificationReceiver>& client, const char* id, std::uint32_t& flags);
    bool HasClient(const RCPtr<LNotificationReceiver>& client);
    // 0 delivered, 1 nobody registered, VXR_E_INVALIDARG null notification.
    VxRESULT Notify(const ConstRCPtr<LNotification>& notification);

    std::int32_t GetClientCount();
    // Whether the process-wide registry holds this distributor (it does while
    // it has a client).
    bool IsInRegistry() const;

    // The distributor's clients would keep it alive: a distributor whose last
    // outside reference goes lets them all go.  A class that is also a client
    // or a queue overrides this and lets both parts go.
    VxRESULT RemoveContainedReferences() override;

private:
    Mutex mLock;
    RCPtrArray<LNotificationClientPool> mPools;
    std::int32_t mClientCount = 0;
};
} // namespace Vx
