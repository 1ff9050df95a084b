#pragma once

#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
// The receiver most classes derive from: it registers with distributors,
// remembers them, and leaves all of them when its last outside reference goes.
// A client registers and unregisters on one thread at a time.
class LNotificationClient : public LNotificationReceiver, public virtual LRefCountedObject
{
public:
    LNotificationClient() = default;
    LNotificationClient(const LNotificationClient&) = delete;
    LNotificationClient& operator=(const LNotificationClient&) = delete;
    ~LNotificationClient() override;

    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    // 0 removed, 1 nothing to do, VXR_E_INVALIDARG null distributor or id.
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;
    VxRESULT RemoveContainedReferences() override;

    // The interned id, or null on failure.
    const char* Register(const RCPtr<LNotificationDistributor>& distributor, const char* id, std::uint32_t flags);
    // With the notification centre of that name, created when missing.
    const char* Register(const StringT<char, unsigned short>& centerName, const char* id, std::uint32_t flags);
    // With the existing centre of that name.
    VxRESULT Unregister(const StringT<char, unsigned short>& centerName, const char* id);
    // Number of registrations removed.
    std::int32_t UnregisterAll();

    std::int32_t GetRegistrationCount() const noexcept { return mRegistrationCount; }
    std::uint32_t GetDistributorCount() const noexcept { return mDistributors.GetCount(); }

private:
    std::int32_t mRegistrationCount = 0;
    // Without references: each registration keeps its distributor alive.
    Array<LNotificationDistributor*> mDistributors;
};
} // namespace Vx
