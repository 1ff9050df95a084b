#include "Panel/Engine/VB05Common/Platform/VB05BlockDevice.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <filesystem>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using String = Vx::StringT<char, unsigned short>;
using Strings = std::vector<std::string>;
using Calls = std::vector<std::vector<std::string>>;
using namespace Vx::VB05;

constexpr char kByPath[] = "/dev/disk/by-path/";
constexpr char kHubPort2Disk[] = "platform-ff500000.usb-usb-0:1.2:1.0-scsi-0:0:0:0";

Strings ToStrings(const Vx::StringArrayT<char, unsigned short>& list)
{
    Strings strings;
    for (std::uint32_t i = 0; i < list.GetCount(); ++i)
        strings.emplace_back(list[i].GetCString());
    return strings;
}

class BlockDeviceTest : public VxTest::PlatformTest
{
protected:
    // A by-path link to a device node of the tree (the node made as a file).
    void Attach(const std::string& name, const std::string& node)
    {
        WriteSystemFile("/dev/" + node, "");
        MakeSystemLink(kByPath + name, "../../" + node);
    }

    Strings Partitions(BlockDeviceConnector connector, bool expected = true)
    {
        Vx::StringArrayT<char, unsigned short> devices;
        devices.Add(String("stale"));
        EXPECT_EQ(GetPartitionDevices(connector, devices), expected);
        return ToStrings(devices);
    }

    // The by-path names in the order the directory yields them.
    Strings ListingOrder(const Strings& names)
    {
        Strings ordered;
        for (const fs::directory_entry& entry : fs::directory_iterator(TreePath("/dev/disk/by-path")))
        {
            const std::string name = entry.path().filename().string();
            for (const std::string& wanted : names)
            {
                if (name == wanted)
                    ordered.push_back(name);
            }
        }
        return ordered;
    }
};

TEST_F(BlockDeviceTest, EachConnectorSeesOnlyTheDevicesUnderItsOwnPrefix)
{
    struct Case
    {
        BlockDeviceConnector connector;
        const char* name;
        const char* byPath;
    };
    const Case cases[] = {
        {BLOCK_DEVICE_CONNECTOR_SD_CONTROLLER, "SDController", "platform-ff0c0000.dwmmc"},
        {BLOCK_DEVICE_CONNECTOR_EMMC, "EMMC", "platform-ff0f0000.dwmmc"},
        {BLOCK_DEVICE_CONNECTOR_USB_HOST0_DIRECTLY, "USBHost0Directly",
         "platform-ff500000.usb-usb-0:1:1.0-scsi-0:0:0:0"},
        {BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT0, "USBHost0HubPort0",
         "platform-ff500000.usb-usb-0:1.0:1.0-scsi-0:0:0:0"},
        {BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT1, "USBHost0HubPort1",
         "platform-ff500000.usb-usb-0:1.1:1.0-scsi-0:0:0:0"},
        {BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2, "USBHost0HubPort2",
         "platform-ff500000.usb-usb-0:1.2:1.0-scsi-0:0:0:0"},
        {BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT3, "USBHost0HubPort3",
         "platform-ff500000.usb-usb-0:1.3:1.0-scsi-0:0:0:0"},
        {BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT4, "USBHost0HubPort4",
         "platform-ff500000.usb-usb-0:1.4:1.0-scsi-0:0:0:0"},
        {BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT5, "USBHost0HubPort5",
         "platform-ff500000.usb-usb-0:1.5:1.0-scsi-0:0:0:0"},
        {BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT6, "USBHost0HubPort6",
         "platform-ff500000.usb-usb-0:1.6:1.0-scsi-0:0:0:0"},
        {BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT7, "USBHost0HubPort7",
         "platform-ff500000.usb-usb-0:1.7:1.0-scsi-0:0:0:0"},
    };
    // One device with one partition on every connector at once.
    for (std::size_t i = 0; i < std::size(cases); ++i)
        Attach(std::string(cases[i].byPath) + "-part1", "node" + std::to_string(i) + "p1");
    for (std::size_t i = 0; i < std::size(cases); ++i)
    {
        SCOPED_TRACE(cases[i].name);
        EXPECT_STREQ(GetBlockDeviceConnectorName(cases[i].connector).GetCString(), cases[i].name);
        EXPECT_EQ(Partitions(cases[i].connector), Strings{"/dev/node" + std::to_string(i) + "p1"});
    }
}

TEST_F(BlockDeviceTest, PartitionsComeInListingOrderWithoutTheWholeDisk)
{
    const std::string disk = kHubPort2Disk;
    Attach(disk, "sdb");
    Attach(disk + "-part2", "sdb2");
    Attach(disk + "-part1", "sdb1");
    Strings expected;
    for (const std::string& name : ListingOrder({disk + "-part1", disk + "-part2"}))
        expected.push_back(name.back() == '1' ? "/dev/sdb1" : "/dev/sdb2");
    EXPECT_EQ(Partitions(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2), expected);

    // Every partition is unmounted, in the same order.
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(UnmountAllPartitions(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2));
    capture.Finish();
    EXPECT_EQ(mTools.Calls(), (Calls{{"umount", expected[0]}, {"umount", expected[1]}}));
}

TEST_F(BlockDeviceTest, WhatIsNotAPartitionOrDoesNotResolveIsLeftOut)
{
    const std::string disk = kHubPort2Disk;
    // A disk without a partition table: attached, no partitions.
    Attach(disk, "sdb");
    EXPECT_EQ(Partitions(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2), Strings{});
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(UnmountAllPartitions(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2));
    capture.Finish();
    EXPECT_TRUE(mTools.Calls().empty());

    // A dangling link, and one that leads out of the system's files.
    MakeSystemLink(std::string(kByPath) + disk + "-part1", "../../sdb1");
    MakeSystemLink(std::string(kByPath) + disk + "-part2", "/usr/share");
    Attach(disk + "-part3", "sdb3");
    EXPECT_EQ(Partitions(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2), Strings{"/dev/sdb3"});

    // Nothing attached at all.
    EXPECT_EQ(Partitions(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT5, false), Strings{});
    EXPECT_FALSE(UnmountAllPartitions(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT5));
    fs::remove_all(TreePath("/dev/disk"));
    EXPECT_EQ(Partitions(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2, false), Strings{});
}

TEST_F(BlockDeviceTest, AnUnknownConnectorHasNothingAttachedAndNoName)
{
    Attach(std::string(kHubPort2Disk) + "-part1", "sdb1");
    for (const std::int32_t value : {11, -1})
    {
        SCOPED_TRACE(value);
        const auto connector = static_cast<BlockDeviceConnector>(value);
        VxTest::CaptureStderr capture;
        EXPECT_STREQ(GetBlockDeviceConnectorName(connector).GetCString(), "UNKNOWN");
        const std::string err = capture.Finish();
        EXPECT_EQ(VxTest::CountAssertions(err, "VB05BlockDevice.cpp"), 1) << err;

        EXPECT_EQ(Partitions(connector, false), Strings{});
        String path("stale");
        EXPECT_FALSE(GetBlockDevicePath(connector, path));
        EXPECT_TRUE(path.IsEmpty());
        EXPECT_FALSE(UnmountAllPartitions(connector));
        String mountPoint;
        VxTest::CaptureStderr mountCapture;
        EXPECT_FALSE(MountFirstPartition(connector, mountPoint));
        mountCapture.Finish();
    }
    EXPECT_TRUE(mTools.Calls().empty());
}

TEST_F(BlockDeviceTest, TheWholeDeviceIsTheLinkOfThePrefixItself)
{
    Attach("platform-ff0f0000.dwmmc", "mmcblk1");
    Attach("platform-ff0f0000.dwmmc-part1", "mmcblk1p1");
    String path;
    EXPECT_TRUE(GetBlockDevicePath(BLOCK_DEVICE_CONNECTOR_EMMC, path));
    EXPECT_STREQ(path.GetCString(), "/dev/mmcblk1");
    path = "stale";
    EXPECT_FALSE(GetBlockDevicePath(BLOCK_DEVICE_CONNECTOR_SD_CONTROLLER, path));
    EXPECT_TRUE(path.IsEmpty());
}

//==============================================================================
TEST_F(BlockDeviceTest, MountAndUnmountReportTheToolsVerdicts)
{
    mTools.SetScript("mount", "[ \"$2\" = ext4 ] && exit 0\nexit 32\n");
    mTools.SetScript("umount", "[ \"$1\" = /dev/sdb1 ] && exit 0\nexit 1\n");
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(MountDevice(String("/dev/sdb1"), String("ext4"), String("/media/it's here")));
    EXPECT_FALSE(MountDevice(String("/dev/sdb1"), String("vfat"), String("/media/x")));
    EXPECT_TRUE(UnmountDevice(String("/dev/sdb1")));
    EXPECT_FALSE(UnmountDevice(String("/dev/sdc1")));
    EXPECT_FALSE(UnmountPath(String("/media/x")));
    const std::string err = capture.Finish();

    const Strings lines{"Device mounted: device=/dev/sdb1, mountPoint=/media/it's here, fsType=ext4",
                        "Failed to mount device: device=/dev/sdb1, mountPoinrt=/media/x, fsType=vfat, ret=8192",
                        "Unmounting device /dev/sdb1",
                        "Device unmounted: /dev/sdb1",
                        "Unmounting device /dev/sdc1",
                        "Failed to unmount device: 256",
                        "Unmounting path /media/x",
                        "Failed to unmount path: 256"};
    EXPECT_EQ(VxTest::LinesAmong(err, lines), lines);
    // Each path reaches the tool as one word, whatever it holds.
    EXPECT_EQ(mTools.Calls(), (Calls{{"mount", "-t", "ext4", "/dev/sdb1", "/media/it's here"},
                                     {"mount", "-t", "vfat", "/dev/sdb1", "/media/x"},
                                     {"umount", "/dev/sdb1"},
                                     {"umount", "/dev/sdc1"},
                                     {"umount", "/media/x"}}));
}

TEST_F(BlockDeviceTest, UnmountingAllGoesOnAfterAFailure)
{
    const std::string disk = kHubPort2Disk;
    Attach(disk + "-part1", "sdb1");
    Attach(disk + "-part2", "sdb2");
    mTools.SetAnswer("umount", "", 32);
    VxTest::CaptureStderr capture;
    EXPECT_FALSE(UnmountAllPartitions(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2));
    capture.Finish();
    EXPECT_EQ(mTools.Calls().size(), 2u);
}

class MountFirstPartitionTest : public BlockDeviceTest
{
protected:
    MountFirstPartitionTest()
    {
        Attach(std::string(kHubPort2Disk) + "-part1", "sdb1");
        MakeSystemDirectory("/media/vb05-internal");
    }

    // The result, the mount point handed back and the trace.
    bool Mount(String& mountPoint, std::string& err)
    {
        VxTest::CaptureStderr capture;
        const bool mounted = MountFirstPartition(BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2, mountPoint);
        err = capture.Finish();
        return mounted;
    }
};

TEST_F(MountFirstPartitionTest, AnExt4PartitionIsTriedAsExfatAndNtfsFirst)
{
    mTools.SetScript("mount", "[ \"$2\" = ext4 ] && exit 0\nexit 32\n");
    String mountPoint;
    std::string err;
    EXPECT_TRUE(Mount(mountPoint, err));
    EXPECT_STREQ(mountPoint.GetCString(), "/media/vb05-internal/mountpoint");
    EXPECT_TRUE(fs::is_directory(TreePath("/media/vb05-internal/mountpoint")));

    const Strings lines{
        "Unmounting device /dev/sdb1",
        "Device unmounted: /dev/sdb1",
        "Trying to mount first partition \"/dev/sdb1\"",
        "Failed to mount device: device=/dev/sdb1, mountPoinrt=/media/vb05-internal/mountpoint, fsType=exfat, ret=8192",
        "Failed to mount device: device=/dev/sdb1, mountPoinrt=/media/vb05-internal/mountpoint, fsType=ntfs, ret=8192",
        "Device mounted: device=/dev/sdb1, mountPoint=/media/vb05-internal/mountpoint, fsType=ext4",
        "Partition mounted: mountPoint=\"/media/vb05-internal/mountpoint\", fsType=\"ext4\""};
    EXPECT_EQ(VxTest::LinesAmong(err, lines), lines);
    const std::string target = "/media/vb05-internal/mountpoint";
    EXPECT_EQ(mTools.Calls(), (Calls{{"umount", "/dev/sdb1"},
                                     {"mount", "-t", "exfat", "/dev/sdb1", target},
                                     {"mount", "-t", "ntfs", "/dev/sdb1", target},
                                     {"mount", "-t", "ext4", "/dev/sdb1", target}}));
}

TEST_F(MountFirstPartitionTest, EveryWayToFailMountsNothingMore)
{
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        std::string line;
        std::size_t mounts;
    };
    const Case cases[] = {
        {"no partition", [&] { fs::remove_all(TreePath("/dev/disk")); },
         "ERROR: No partitions on block device connected to USBHost0HubPort2", 0},
        {"the mount point is a file", [&] { WriteSystemFile("/media/vb05-internal/mountpoint", "x"); },
         "ERROR: Mount point /media/vb05-internal/mountpoint is a file", 0},
        {"the mount point cannot be made", [&] { fs::remove_all(TreePath("/media")); },
         "ERROR: Failed to create mount point /media/vb05-internal/mountpoint", 0},
        {"no file system fits", [&] { mTools.SetAnswer("mount", "", 32); },
         "ERROR: Failed to mount partition: mountPoint=\"/media/vb05-internal/mountpoint\"", 3},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        test.arrange();
        const std::size_t before = mTools.Calls().size();
        String mountPoint("untouched");
        std::string err;
        EXPECT_FALSE(Mount(mountPoint, err));
        EXPECT_STREQ(mountPoint.GetCString(), "untouched");
        EXPECT_EQ(VxTest::LinesAmong(err, {test.line}), Strings{test.line}) << err;
        std::size_t mounts = 0;
        const Calls calls = mTools.Calls();
        for (std::size_t i = before; i < calls.size(); ++i)
            mounts += calls[i][0] == "mount" ? 1 : 0;
        EXPECT_EQ(mounts, test.mounts);
        // The next case starts from the fixture's state again.
        fs::remove_all(TreePath("/media"));
        MakeSystemDirectory("/media/vb05-internal");
        Attach(std::string(kHubPort2Disk) + "-part1", "sdb1");
    }
}
} // namespace
