#include "VxFramework/Notification/NotificationCenter.h"

#include "VxFramework/ObjectBase/NoDestructor.h"
#include <utility>

namespace Vx
{
Mutex& GetNotificationQueueLock()
{
    static NoDestructor<Mutex> lock;
    return *lock;
}

// --- LPostingReceiver --------------------------------------------------------

LNotificationQueue::LPostingReceiver::LPostingReceiver(LNotificationQueue* queue) : mQueue(queue) {}

LNotificationQueue::LPostingReceiver::~LPostingReceiver() = default;

RCPtr<LNotificationQueue> LNotificationQueue::LPostingReceiver::GetQueue() const
{
    // Deliveries reach it on any thread while the main thread may detach.
    const ScopedLock lock(GetNotificationQueueLock());
    return mQueue;
}

NotificationHandlerResultCode LNotificationQueue::LPostingReceiver::Receive(
    const RCPtr<LNotificationDistributor>& /*from*/, const ConstRCPtr<LNotification>& notification)
{
    const RCPtr<LNotificationQueue> queue = GetQueue();
    if (queue.IsNull())
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    if (notification.IsNull())
        return 0;
    // A copy is queued: the one received may be posted elsewhere at the same time.
    RCPtr<LNotification> copy;
    LNotification::Create(copy, notification->GetId(), notification->GetParam());
    if (copy.IsNull())
        return 0;
    return queue->Post(copy) == VXR_OK ? 1 : 0;
}

VxRESULT LNotificationQueue::LPostingReceiver::Unregister(const RCPtr<LNotificationDistributor>& from,
                                                          const char* id)
{
    if (from.IsNull())
        return VXR_E_FAIL;
    return from->RemoveClient(RCPtr<LNotificationReceiver>(this), id);
}

// --- LNotificationQueue ------------------------------------------------------

namespace
{
// Resets the processing flag on every way out, so that a receiver that throws
// does not leave the queue frozen.
class ProcessingScope
{
public:
    explicit ProcessingScope(bool& processing) noexcept : mProcessing(processing) { mProcessing = true; }
    ~ProcessingScope() { mProcessing = false; }
    ProcessingScope(const ProcessingScope&) = delete;
    ProcessingScope& operator=(const ProcessingScope&) = delete;

private:
    bool& mProcessing;
};
} // namespace

bool LNotificationQueue::IsOwnObject(const RCPtr<LNotificationDistributor>& distributor) const noexcept
{
    return !distributor.IsNull() &&
           static_cast<const LRefCountedObject*>(distributor.Get()) == static_cast<const LRefCountedObject*>(this);
}

LNotificationQueue::LNotificationQueue() : mRing(&GetNotificationQueueLock())
{
    LNotification::Create(mIdleNotification, "NID_IDLE", nullptr);
    // From a raw pointer: a temporary smart pointer released here would take
    // the count back to 0 and free the queue under construction.
    mPostingReceiver = new LPostingReceiver(this);
    AdjustContainedRefCount(1);
}

LNotificationQueue::~LNotificationQueue()
{
    Clear();
}

VxRESULT LNotificationQueue::SetDistributor(const RCPtr<LNotificationDistributor>& distributor)
{
    const ScopedLock lock(GetNotificationQueueLock());
    if (!mDistributor.IsNull() || mPostingReceiver.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    mDistributor = distributor;
    // The queue's own object as its distributor (a centre, a root window):
    // that reference is one of its own parts.
    if (IsOwnObject(distributor))
        AdjustContainedRefCount(1);
    return VXR_OK;
}

RCPtr<LNotificationDistributor> LNotificationQueue::GetDistributor() const
{
    const ScopedLock lock(GetNotificationQueueLock());
    return mDistributor;
}

RCPtr<LNotificationQueue::LPostingReceiver> LNotificationQueue::GetPostingReceiver() const
{
    const ScopedLock lock(GetNotificationQueueLock());
    return mPostingReceiver;
}

std::uint32_t LNotificationQueue::GetPendingCount() const
{
    return mRing.GetCount();
}

VxRESULT LNotificationQueue::Post(const RCPtr<LNotification>& notification)
{
    if (notification.IsNull() || notification->IsPosted())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LNotificationDistributor> distributor = GetDistributor();
    if (distributor.IsNull())
        return VXR_E_FAIL;
    // Looked up before the queue lock: nothing may take a distributor's lock
    // while holding the queue lock.
    const RCPtr<LNotificationDistributor::LNotificationClientPool> pool =
        distributor->FindClientPool(notification->GetId());
    // Released once the queue lock is given back.
    RCPtrArray<LNotification> replaced;
    {
        const ScopedLock lock(GetNotificationQueueLock());
        if (mDistributor.IsNull())
            return VXR_E_FAIL;
        if (!notification->TryMarkPosted())
        {
            // Another thread posted the same notification just now.
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        const VxRESULT pushed = mRing.Push(notification);
        if (Failed(pushed))
        {
            notification->SetPosted(false);
            return pushed;
        }
        // Stamped in ring order under the same lock, so the newest in the ring
        // is the one posted-only clients wait for.
        if (!pool.IsNull())
            pool->StampPosted(notification, replaced);
    }
    return VXR_OK;
}

VxRESULT LNotificationQueue::PostNotification(const char* id, const RCPtr<LRefCountedObject>& param)
{
    RCPtr<LNotification> notification;
    LNotification::Create(notification, id, param);
    if (notification.IsNull())
        return VXR_E_INVALIDARG;
    return Post(notification);
}

bool LNotificationQueue::ProcessPending(bool sendIdle)
{
    const RCPtr<LNotificationDistributor> distributor = GetDistributor();
    // Never set, or detached: nothing can be delivered.
    if (distributor.IsNull())
        return GetPendingCount() > 0;
    if (!mProcessing)
    {
        const ProcessingScope processing(mProcessing);
        // Only what is pending now; later posts wait for the next call.
        const std::uint32_t count = mRing.GetCount();
        for (std::uint32_t i = 0; i < count; ++i)
        {
            RCPtr<LNotification> notification;
            // A receiver may have cleared the queue meanwhile.
            if (!PopPending(notification))
                break;
            if (notification.IsNull())
                continue;
            // Pending until delivered, also when a receiver throws.
            struct PostedScope
            {
                LNotification& notification;
                ~PostedScope() { notification.SetPosted(false); }
            } posted{*notification};
            distributor->Notify(notification);
        }
    }
    if (sendIdle && !mIdleNotification.IsNull())
        distributor->Notify(mIdleNotification);
    return GetPendingCount() > 0;
}

bool LNotificationQueue::PopPending(RCPtr<LNotification>& notification)
{
    {
        const ScopedLock lock(GetNotificationQueueLock());
        if (mRing.GetCount() == 0)
            return false;
        notification = mRing.Pop();
    }
    // The ring never holds null: one there is reported and skipped.
    if (notification.IsNull())
        VX_ASSERT_FALSE();
    return true;
}

bool LNotificationQueue::Clear()
{
    const std::uint32_t count = mRing.GetCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        RCPtr<LNotification> notification;
        if (!PopPending(notification))
            break;
        if (notification.IsNull())
            continue;
        notification->SetPosted(false);
    }
    return GetPendingCount() > 0;
}

void LNotificationQueue::Detach()
{
    RCPtr<LNotificationDistributor> distributor;
    RCPtr<LPostingReceiver> receiver;
    RCPtr<LNotificationQueue> receiverQueue;
    {
        const ScopedLock lock(GetNotificationQueueLock());
        // No post is accepted from here on.
        distributor = std::move(mDistributor);
        receiver = std::move(mPostingReceiver);
        if (!receiver.IsNull())
            receiverQueue = std::move(receiver->mQueue);
    }
    Clear();
    // Each contained count is lowered before its reference goes, so that the
    // release is never taken for the last outside one.
    if (IsOwnObject(distributor))
        AdjustContainedRefCount(-1);
    distributor = nullptr;
    if (!receiverQueue.IsNull())
    {
        AdjustContainedRefCount(-1);
        receiverQueue = nullptr;
    }
    receiver = nullptr;
}

VxRESULT LNotificationQueue::RemoveContainedReferences()
{
    Detach();
    return LRefCountedObject::RemoveContainedReferences();
}

// --- LNotificationCenter -----------------------------------------------------

LNotificationCenter::LNotificationCenter(const StringT<char, unsigned short>& name) : mName(name) {}

LNotificationCenter::~LNotificationCenter() = default;

VxRESULT LNotificationCenter::RemoveContainedReferences()
{
    RemoveAllClients();
    Detach();
    return LRefCountedObject::RemoveContainedReferences();
}

// --- LNotificationCenterManager ----------------------------------------------

namespace
{
// The manager's process-wide pointer; only the pointer object lives forever.
RCPtr<LNotificationCenterManager>& GetInstancePointer()
{
    static NoDestructor<RCPtr<LNotificationCenterManager>> instance;
    return *instance;
}
} // namespace

LNotificationCenterManager::LNotificationCenterManager() = default;

LNotificationCenterManager::~LNotificationCenterManager() = default;

RCPtr<LNotificationCenterManager> LNotificationCenterManager::GetInstance()
{
    RCPtr<LNotificationCenterManager>& instance = GetInstancePointer();
    if (instance.IsNull())
        instance = MakeRCPtr<LNotificationCenterManager>();
    return instance;
}

void LNotificationCenterManager::ReleaseInstance()
{
    RCPtr<LNotificationCenterManager> instance = std::move(GetInstancePointer());
    instance = nullptr;
}

const StringT<char, unsigned short>& LNotificationCenterManager::GetDefaultCenterName()
{
    static const NoDestructor<StringT<char, unsigned short>> name("application");
    return *name;
}

RCPtr<LNotificationCenter> LNotificationCenterManager::FindCenter(const StringT<char, unsigned short>& name) const
{
    for (std::uint32_t i = 0; i < mCenters.GetCount(); ++i)
    {
        if (mCenters[i]->GetName() == name)
            return mCenters[i];
    }
    return nullptr;
}

RCPtr<LNotificationCenter> LNotificationCenterManager::GetCenter(const StringT<char, unsigned short>& name)
{
    if (name.IsEmpty())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    RCPtr<LNotificationCenter> center = FindCenter(name);
    if (!center.IsNull())
        return center;
    CreateCenter(center, name);
    if (Failed(mCenters.Add(center)))
        return nullptr;
    return center;
}

void LNotificationCenterManager::CreateCenter(RCPtr<LNotificationCenter>& result,
                                              const StringT<char, unsigned short>& name)
{
    result = MakeRCPtr<LNotificationCenter>(name);
    // The centre delivers its own queue.
    result->SetDistributor(RCPtr<LNotificationDistributor>(result));
}

bool LNotificationCenterManager::ProcessPending(bool sendIdle)
{
    bool pending = false;
    for (std::uint32_t i = mCenters.GetCount(); i-- > 0;)
    {
        // A receiver may add centres meanwhile.
        if (i >= mCenters.GetCount())
            continue;
        const RCPtr<LNotificationCenter> center = mCenters[i];
        pending = center->ProcessPending(sendIdle) || pending;
    }
    return pending;
}

// --- Posting functions -------------------------------------------------------

VxRESULT PostNotification(const RCPtr<LNotification>& notification, const RCPtr<LNotificationCenter>& center)
{
    if (center.IsNull())
        return VXR_E_INVALIDARG;
    return center->Post(notification);
}

VxRESULT PostNotification(const char* id, const RCPtr<LRefCountedObject>& param,
                          const RCPtr<LNotificationCenter>& center)
{
    if (center.IsNull())
        return VXR_E_INVALIDARG;
    return center->PostNotification(id, param);
}

namespace
{
RCPtr<LNotificationCenter> CenterOfName(const StringT<char, unsigned short>& name)
{
    const StringT<char, unsigned short>& actual =
        name.IsEmpty() ? LNotificationCenterManager::GetDefaultCenterName() : name;
    return LNotificationCenterManager::GetInstance()->GetCenter(actual);
}
} // namespace

VxRESULT PostNotification(const RCPtr<LNotification>& notification, const StringT<char, unsigned short>& centerName)
{
    return PostNotification(notification, CenterOfName(centerName));
}

VxRESULT PostNotification(const char* id, const RCPtr<LRefCountedObject>& param,
                          const StringT<char, unsigned short>& centerName)
{
    return PostNotification(id, param, CenterOfName(centerName));
}
} // namespace Vx
