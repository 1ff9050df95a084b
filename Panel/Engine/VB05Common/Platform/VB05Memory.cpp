#include "Panel/Engine/VB05Common/Platform/VB05Memory.h"

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"
#include "Panel/Engine/VB05Common/Platform/VB05BlockDevice.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <fcntl.h>
#include <unistd.h>

namespace Vx::VB05
{
bool GetMemorySize(MemoryKind kind, std::uint64_t& size)
{
    switch (kind)
    {
    case MEMORY_KIND_RAM:
        return GetRAMSize(size);
    case MEMORY_KIND_EMMC:
        return GetEMMCSize(size);
    default:
        VX_ASSERT_FALSE();
        return false;
    }
}

bool GetRAMSize(std::uint64_t& size)
{
    DeviceCalls& calls = DeviceCalls::Get();
    long pages = 0;
    long pageSize = 0;
    if (calls.GetSystemConfiguration(_SC_PHYS_PAGES, pages) != 0 ||
        calls.GetSystemConfiguration(_SC_PAGESIZE, pageSize) != 0 || pages < 0 || pageSize < 0)
        return false;
    // A long is 32 bits on the device: 4 GiB and more only fit the product in 64.
    size = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    return true;
}

bool GetEMMCSize(std::uint64_t& size)
{
    StringT<char, unsigned short> path;
    if (!GetBlockDevicePath(BLOCK_DEVICE_CONNECTOR_EMMC, path))
        return false;
    DeviceCalls& calls = DeviceCalls::Get();
    const UniqueDeviceDescriptor device(calls, calls.Open(path.GetCString(), O_RDONLY));
    if (!device.IsValid())
    {
        DebugTracer::Get().Trace(-1, "Failed to open EMMC block device %s", path.GetCString());
        return false;
    }
    if (const int result = calls.GetBlockDeviceSize(device.Get(), size); result != 0)
    {
        DebugTracer::Get().Trace(-1, "Failed to do BLKGETSIZE64 ioctl on EMMC block device: errno=%d", -result);
        return false;
    }
    return true;
}
} // namespace Vx::VB05
