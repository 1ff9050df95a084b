#pragma once

// The storage connectors of the board and the block devices attached to them,
// found through the persistent names udev keeps in "/dev/disk/by-path", and
// mounting and unmounting with the system's mount tools.  Nothing is
// remembered between calls: each reads the by-path directory afresh.  Every
// call blocks its caller; callers that mount and unmount the same connector
// from several threads order their calls themselves.

#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx::VB05
{
// The connectors; each has a name and the beginning of the by-path names of
// the devices attached to it.
enum BlockDeviceConnector : std::int32_t
{
    BLOCK_DEVICE_CONNECTOR_SD_CONTROLLER = 0,
    BLOCK_DEVICE_CONNECTOR_EMMC = 1,
    // A device on the host's own port, not behind the hub.
    BLOCK_DEVICE_CONNECTOR_USB_HOST0_DIRECTLY = 2,
    BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT0 = 3,
    BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT1 = 4,
    BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2 = 5,
    BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT3 = 6,
    BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT4 = 7,
    BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT5 = 8,
    BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT6 = 9,
    BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT7 = 10,
};

// Where MountFirstPartition mounts.
inline constexpr char kFirstPartitionMountPoint[] = "/media/vb05-internal/mountpoint";

// "SDController", "EMMC", "USBHost0Directly", "USBHost0HubPort0" ...; another
// value logs an assertion and gives "UNKNOWN".
StringT<char, unsigned short> GetBlockDeviceConnectorName(BlockDeviceConnector connector);

// The device nodes of the partitions on the connector, in by-path listing
// order (the whole disk's own link is left out, and so are links that do not
// resolve).  False when nothing is attached; true with an empty list for a
// disk without partitions.
bool GetPartitionDevices(BlockDeviceConnector connector, StringArrayT<char, unsigned short>& devices);
// The device node of the whole device on the connector.
bool GetBlockDevicePath(BlockDeviceConnector connector, StringT<char, unsigned short>& path);

// "mount -t <type> <device> <mountPoint>"; true when it exits 0.
bool MountDevice(const StringT<char, unsigned short>& devicePath, const StringT<char, unsigned short>& fileSystemType,
                 const StringT<char, unsigned short>& mountPoint);
// "umount <device>"; true when it exits 0.
bool UnmountDevice(const StringT<char, unsigned short>& devicePath);
// Unmounts every partition of the connector, going on after a failure; true
// when each unmount succeeded (also for none), false when nothing is attached.
bool UnmountAllPartitions(BlockDeviceConnector connector);
// Mounts the connector's first partition on kFirstPartitionMountPoint (made
// when missing), trying exfat, ntfs and ext4 in turn.
bool MountFirstPartition(BlockDeviceConnector connector, StringT<char, unsigned short>& mountPoint);
// "umount <mountPoint>"; true when it exits 0.
bool UnmountPath(const StringT<char, unsigned short>& mountPoint);
} // namespace Vx::VB05
