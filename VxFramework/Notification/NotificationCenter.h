#pragma once

#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/RCPtrQueue.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
// The one lock of the rings of every notification queue.
Mutex& GetNotificationQueueLock();

// Notifications posted from any thread, delivered in posting order through
// one distributor when the main thread processes the queue.
class LNotificationQueue : public virtual LRefCountedObject
{
public:
    // Turns the synchronous deliveries of any distributor it is registered
    // with into posts to its queue.
    class LPostingReceiver : public LNotificationReceiver
    {
    public:
        NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                              const ConstRCPtr<LNotification>& notification) override;
        // Removes its own record, so that a distributor being torn down is not
        // kept alive by it.
        VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;
        ~LPostingReceiver() override;

        // Null once the queue is detached.
        RCPtr<LNotificationQueue> GetQueue() const;

    private:
        friend class LNotificationQueue;
        explicit LPostingReceiver(LNotificationQueue* queue);

        RCPtr<LNotificationQueue> mQueue;
    };

    LNotificationQueue();
    LNotificationQueue(const LNotificationQueue&) = delete;
    LNotificationQueue& operator=(const LNotificationQueue&) = delete;
    ~LNotificationQueue() override;

    // Once; VXR_E_FAIL when set already or detached.  When the distributor is
    // the queue's own object (a centre, a root window), the queue counts that
    // reference as contained itself and gives it up in Detach: the owner adds
    // nothing for it.
    VxRESULT SetDistributor(const RCPtr<LNotificationDistributor>& distributor);
    // Any thread.  VXR_E_INVALIDARG null or still pending, VXR_E_FAIL no distributor.
    VxRESULT Post(const RCPtr<LNotification>& notification);
    // Creates the notification and posts it here.
    VxRESULT PostNotification(const char* id, const RCPtr<LRefCountedObject>& param);
    // Delivers what was pending on entry, then the idle notification when
    // asked; true when notifications are pending afterwards.
    bool ProcessPending(bool sendIdle);
    // Drops what is pending without delivery; true when some are pending afterwards.
    bool Clear();
    // Teardown: drops what is pending, the distributor and the posting receiver.
    void Detach();

    std::uint32_t GetPendingCount() const;
    RCPtr<LNotificationDistributor> GetDistributor() const;
    RCPtr<LPostingReceiver> GetPostingReceiver() const;

    // The posting receiver would keep the queue alive: a queue whose last
    // outside reference goes detaches.
    VxRESULT RemoveContainedReferences() override;

private:
    // Takes the oldest pending notification under the queue lock; false
    // when none is left.
    bool PopPending(RCPtr<LNotification>& notification);

    bool IsOwnObject(const RCPtr<LNotificationDistributor>& distributor) const noexcept;

    bool mProcessing = false;
    RCPtrQueue<LNotification> mRing;
    RCPtr<LNotificationDistributor> mDistributor;
    RCPtr<LPostingReceiver> mPostingReceiver;
    RCPtr<LNotification> mIdleNotification;
};

// A named distributor with its own queue, which delivers through it.
class LNotificationCenter : public LNotificationDistributor, public LNotificationQueue
{
public:
    explicit LNotificationCenter(const StringT<char, unsigned short>& name);
    ~LNotificationCenter() override;

    const StringT<char, unsigned short>& GetName() const noexcept { return mName; }

    VxRESULT RemoveContainedReferences() override;

private:
    StringT<char, unsigned short> mName;
};

// The process-wide list of centres, found by name.  No lock: centres are
// created, processed and released on the main thread; other threads only look
// up centres that exist.
class LNotificationCenterManager : public virtual LRefCountedObject
{
public:
    LNotificationCenterManager();
    ~LNotificationCenterManager() override;

    // Created on first call.
    static RCPtr<LNotificationCenterManager> GetInstance();
    // Takes the manager out of the process-wide pointer and releases it, which
    // destroys the centres nobody else holds.
    static void ReleaseInstance();
    // "application", the default centre's name.
    static const StringT<char, unsigned short>& GetDefaultCenterName();

    // Null when there is no centre of that name (names are case-sensitive).
    RCPtr<LNotificationCenter> FindCenter(const StringT<char, unsigned short>& name) const;
    // Created when missing; null for an empty name.
    RCPtr<LNotificationCenter> GetCenter(const StringT<char, unsigned short>& name);
    static void CreateCenter(RCPtr<LNotificationCenter>& result, const StringT<char, unsigned short>& name);
    // True when any centre still has pending notifications.
    bool ProcessPending(bool sendIdle);

    std::uint32_t GetCenterCount() const { return mCenters.GetCount(); }

private:
    RCPtrArray<LNotificationCenter> mCenters;
};

VxRESULT PostNotification(const RCPtr<LNotification>& notification, const RCPtr<LNotificationCenter>& center);
VxRESULT PostNotification(const char* id, const RCPtr<LRefCountedObject>& param,
                          const RCPtr<LNotificationCenter>& center);
// An empty name means the default centre; the centre is created when missing.
VxRESULT PostNotification(const RCPtr<LNotification>& notification, const StringT<char, unsigned short>& centerName);
VxRESULT PostNotification(const char* id, const RCPtr<LRefCountedObject>& param,
                          const StringT<char, unsigned short>& centerName);
} // namespace Vx
