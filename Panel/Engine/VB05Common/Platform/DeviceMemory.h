#pragma once

#include "VxFramework/Utilities/Storage/Buffer.h"

namespace Vx::VB05
{
// The allocator of the memory the RAM test checks: the allocation calls of
// the device-calls seam, so that a simulated device can hand out memory with
// faults.  Each call goes to the calls in use at that moment.
const Allocator& GetDeviceMemoryAllocator() noexcept;
} // namespace Vx::VB05
