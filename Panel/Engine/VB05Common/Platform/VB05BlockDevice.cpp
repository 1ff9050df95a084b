#include "Panel/Engine/VB05Common/Platform/VB05BlockDevice.h"

#include "JuceBackend/SystemPath.h"
#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr char kByPathDirectory[] = "/dev/disk/by-path";
constexpr char kByPathPrefix[] = "/dev/disk/by-path/";

struct ConnectorEntry
{
    const char* name;
    const char* byPathPrefix;
};

constexpr ConnectorEntry kConnectors[] = {
    {"SDController", "platform-ff0c0000.dwmmc"},
    {"EMMC", "platform-ff0f0000.dwmmc"},
    {"USBHost0Directly", "platform-ff500000.usb-usb-0:1:1"},
    {"USBHost0HubPort0", "platform-ff500000.usb-usb-0:1.0"},
    {"USBHost0HubPort1", "platform-ff500000.usb-usb-0:1.1"},
    {"USBHost0HubPort2", "platform-ff500000.usb-usb-0:1.2"},
    {"USBHost0HubPort3", "platform-ff500000.usb-usb-0:1.3"},
    {"USBHost0HubPort4", "platform-ff500000.usb-usb-0:1.4"},
    {"USBHost0HubPort5", "platform-ff500000.usb-usb-0:1.5"},
    {"USBHost0HubPort6", "platform-ff500000.usb-usb-0:1.6"},
    {"USBHost0HubPort7", "platform-ff500000.usb-usb-0:1.7"},
};

constexpr const char* kFirstPartitionFileSystems[] = {"exfat", "ntfs", "ext4"};

bool IsKnown(BlockDeviceConnector connector)
{
    return connector >= BLOCK_DEVICE_CONNECTOR_SD_CONTROLLER && connector <= BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT7;
}

void Trace(const String& line)
{
    DebugTracer::Get().Trace(-1, "%s", line.GetCString());
}

// The wait status of the command line run through the shell.
int RunCommand(const String& command)
{
    return std::system(command.GetCString());
}

// realpath of a system path, given back as a system path.  Where the system's
// files are a directory tree (the simulator's), a path that leads out of the
// tree names nothing on the system and does not resolve.
bool ResolveSystemPath(const String& path, String& resolved)
{
    char buffer[PATH_MAX];
    if (::realpath(MapSystemPath(path.GetCString()).c_str(), buffer) == nullptr)
        return false;
    const std::string root = GetSystemPathRoot();
    if (root.empty())
    {
        resolved = buffer;
        return true;
    }
    char rootBuffer[PATH_MAX];
    if (::realpath(root.c_str(), rootBuffer) == nullptr)
        return false;
    const std::string rootPath(rootBuffer);
    const std::string full(buffer);
    if (full.compare(0, rootPath.size(), rootPath) != 0 || full.size() <= rootPath.size() ||
        full[rootPath.size()] != '/')
        return false;
    resolved = full.substr(rootPath.size()).c_str();
    return true;
}
} // namespace

String GetBlockDeviceConnectorName(BlockDeviceConnector connector)
{
    if (!IsKnown(connector))
    {
        VX_ASSERT_FALSE();
        return String("UNKNOWN");
    }
    return String(kConnectors[connector].name);
}

bool GetPartitionDevices(BlockDeviceConnector connector, StringArrayT<char, unsigned short>& devices)
{
    devices.RemoveAll();
    if (!IsKnown(connector))
        return false;
    StringArrayT<char, unsigned short> links;
    if (!ListDirectory(String(kByPathDirectory), true, false, String(kConnectors[connector].byPathPrefix), links) ||
        links.GetCount() == 0)
        return false;
    for (std::uint32_t i = 0; i < links.GetCount(); ++i)
    {
        if (links[i].Find("part") < 0)
            continue;
        String device;
        if (ResolveSystemPath(links[i], device))
            devices.Add(device);
    }
    return true;
}

bool GetBlockDevicePath(BlockDeviceConnector connector, String& path)
{
    path.Empty();
    if (!IsKnown(connector))
        return false;
    return ResolveSystemPath(String(kByPathPrefix) + String(kConnectors[connector].byPathPrefix), path);
}

bool MountDevice(const String& devicePath, const String& fileSystemType, const String& mountPoint)
{
    // The paths reach mount as one word each whatever they hold.
    const int status = RunCommand(String::Format("mount -t %s %s %s", fileSystemType.GetCString(),
                                                 QuoteShellArgument(devicePath).GetCString(),
                                                 QuoteShellArgument(mountPoint).GetCString()));
    if (status == 0)
    {
        DebugTracer::Get().Trace(-1, "Device mounted: device=%s, mountPoint=%s, fsType=%s", devicePath.GetCString(),
                                 mountPoint.GetCString(), fileSystemType.GetCString());
        return true;
    }
    DebugTracer::Get().Trace(-1, "Failed to mount device: device=%s, mountPoinrt=%s, fsType=%s, ret=%d",
                             devicePath.GetCString(), mountPoint.GetCString(), fileSystemType.GetCString(), status);
    return false;
}

bool UnmountDevice(const String& devicePath)
{
    DebugTracer::Get().Trace(-1, "Unmounting device %s", devicePath.GetCString());
    const int status = RunCommand(String("umount ") + QuoteShellArgument(devicePath));
    if (status == 0)
    {
        DebugTracer::Get().Trace(-1, "Device unmounted: %s", devicePath.GetCString());
        return true;
    }
    DebugTracer::Get().Trace(-1, "Failed to unmount device: %d", status);
    return false;
}

bool UnmountPath(const String& mountPoint)
{
    DebugTracer::Get().Trace(-1, "Unmounting path %s", mountPoint.GetCString());
    const int status = RunCommand(String("umount ") + QuoteShellArgument(mountPoint));
    if (status == 0)
    {
        DebugTracer::Get().Trace(-1, "Path unmounted: %s", mountPoint.GetCString());
        return true;
    }
    DebugTracer::Get().Trace(-1, "Failed to unmount path: %d", status);
    return false;
}

bool UnmountAllPartitions(BlockDeviceConnector connector)
{
    StringArrayT<char, unsigned short> devices;
    if (!GetPartitionDevices(connector, devices))
        return false;
    bool allUnmounted = true;
    for (std::uint32_t i = 0; i < devices.GetCount(); ++i)
        allUnmounted = UnmountDevice(devices[i]) && allUnmounted;
    return allUnmounted;
}

bool MountFirstPartition(BlockDeviceConnector connector, String& mountPoint)
{
    StringArrayT<char, unsigned short> devices;
    GetPartitionDevices(connector, devices);
    if (devices.GetCount() == 0)
    {
        Trace(String::Format("ERROR: No partitions on block device connected to %s",
                             GetBlockDeviceConnectorName(connector).GetCString()));
        return false;
    }
    const String partition = devices[0];
    // It may not have been mounted.
    UnmountDevice(partition);

    const String target(kFirstPartitionMountPoint);
    const std::string mappedTarget = MapSystemPath(kFirstPartitionMountPoint);
    struct stat status
    {
    };
    if (::stat(mappedTarget.c_str(), &status) != 0)
    {
        if (::mkdir(mappedTarget.c_str(), 0777) != 0 && errno != EEXIST)
        {
            Trace(String::Format("ERROR: Failed to create mount point %s", target.GetCString()));
            return false;
        }
    }
    else if (!S_ISDIR(status.st_mode))
    {
        Trace(String::Format("ERROR: Mount point %s is a file", target.GetCString()));
        return false;
    }

    Trace(String::Format("Trying to mount first partition \"%s\"", partition.GetCString()));
    for (const char* type : kFirstPartitionFileSystems)
    {
        if (MountDevice(partition, String(type), target))
        {
            Trace(String::Format("Partition mounted: mountPoint=\"%s\", fsType=\"%s\"", target.GetCString(), type));
            mountPoint = target;
            return true;
        }
    }
    Trace(String::Format("ERROR: Failed to mount partition: mountPoint=\"%s\"", target.GetCString()));
    return false;
}
} // namespace Vx::VB05
