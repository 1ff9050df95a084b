#include "VxFramework/Notification/NotificationClient.h"

#include "VxFramework/Notification/NotificationCenter.h"

namespace Vx
{
LNotificationClient::~LNotificationClient() = default;

NotificationHandlerResultCode LNotificationClient::Receive(const RCPtr<LNotificationDistributor>& /*from*/,
                                                           const ConstRCPtr<LNotification>& /*notification*/)
{
    return 0;
}

const char* LNotificationClient::Register(const RCPtr<LNotificationDistributor>& distributor, const char* id,
                                          std::uint32_t flags)
{
    if (distributor.IsNull())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    const char* const interned = InternNotificationId(id);
    if (interned == nullptr)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    const VxRESULT added = distributor->AddClient(RCPtr<LNotificationReceiver>(this), interned, flags);
    if (Failed(added))
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    if (added == VXR_OK)
    {
        // The record's reference to this client is one of its own parts.
        AdjustContainedRefCount(1);
        ++mRegistrationCount;
    }
    LNotificationDistributor* const raw = distributor.Get();
    for (std::uint32_t i = 0; i < mDistributors.GetCount(); ++i)
    {
        if (mDistributors[i] == raw)
            return interned;
    }
    mDistributors.Add(raw);
    return interned;
}

const char* LNotificationClient::Register(const StringT<char, unsigned short>& centerName, const char* id,
                                          std::uint32_t flags)
{
    const RCPtr<LNotificationCenter> center = LNotificationCenterManager::GetInstance()->GetCenter(centerName);
    return Register(RCPtr<LNotificationDistributor>(center), id, flags);
}

VxRESULT LNotificationClient::Unregister(const RCPtr<LNotificationDistributor>& from, const char* id)
{
    if (mRegistrationCount == 0)
        return VXR_NOTHING_DONE;
    if (from.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (id == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    // The record's reference goes before the contained count is lowered; this
    // one keeps that release from looking like the last outside one.
    const RCPtr<LNotificationClient> self(this);
    const RCPtr<LNotificationReceiver> receiver(self);
    const VxRESULT result = from->RemoveClient(receiver, id);
    if (result == VXR_OK)
    {
        AdjustContainedRefCount(-1);
        --mRegistrationCount;
        if (!from->HasClient(receiver))
        {
            for (std::uint32_t i = mDistributors.GetCount(); i-- > 0;)
            {
                if (mDistributors[i] == from.Get())
                {
                    mDistributors.RemoveSpace(i, 1);
                    break;
                }
            }
        }
    }
    return result;
}

VxRESULT LNotificationClient::Unregister(const StringT<char, unsigned short>& centerName, const char* id)
{
    const RCPtr<LNotificationCenter>& center = LNotificationCenterManager::GetInstance()->FindCenter(centerName);
    return Unregister(RCPtr<LNotificationDistributor>(center), id);
}

std::int32_t LNotificationClient::UnregisterAll()
{
    if (mRegistrationCount <= 0)
        return 0;
    const std::int32_t expected = mRegistrationCount;
    AdjustContainedRefCount(-expected);
    const RCPtr<LNotificationClient> self(this);
    const RCPtr<LNotificationReceiver> receiver(self);
    std::int32_t removed = 0;
    for (std::uint32_t i = mDistributors.GetCount(); i-- > 0;)
    {
        const RCPtr<LNotificationDistributor> distributor(mDistributors[i]);
        mDistributors.RemoveSpace(i, 1);
        const VxRESULT count = distributor->RemoveClientFromAll(receiver);
        if (Succeeded(count))
            removed += count;
    }
    if (removed != expected)
        VX_ASSERT_FALSE();
    mRegistrationCount = 0;
    return removed;
}

VxRESULT LNotificationClient::RemoveContainedReferences()
{
    UnregisterAll();
    return LRefCountedObject::RemoveContainedReferences();
}
} // namespace Vx
