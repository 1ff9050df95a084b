#pragma once

#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationDistributor.h"

namespace Vx
{
// The base of every control and view: a distributor its children and owners
// register with, and a client of the distributors it listens to.
class LControl : public LNotificationDistributor, public LNotificationClient
{
public:
    VxRESULT RemoveContainedReferences() override = 0;
};
} // namespace Vx
