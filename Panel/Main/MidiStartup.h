#pragma once

#include "VxFramework/ObjectBase/Result.h"

namespace Vx
{
// What start-up sends the control surface (device id 7F, product 0E, command
// 60, payload 04 01 01 00).
inline constexpr const char* kControlSurfaceInitMessage = "F0003A517F0E60000404010100F7";

// Start-up's greeting of the control surface: a client on function (0, 0)
// without a receiver, opened, and when it opened the message traced and sent
// (a failed send is asserted).  The open's result, else the send's.
VxRESULT SendControlSurfaceInitMessage();
} // namespace Vx
