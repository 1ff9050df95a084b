#include "Panel/Engine/VB05Common/Platform/VB05SystemInfo.h"

#include "JuceBackend/SystemPath.h"
#include "Panel/Engine/VB05Common/ExternalCommand.h"
#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr char kUnknown[] = "UNKNOWN";

constexpr char kSoCVariantScript[] =
    "\n\t\t#!/bin/sh\n\t\tcat /sys/devices/platform/*gpu/gpuinfo | sed -n -e '/r0p0/s/.*/not W/p' -e "
    "'/r1p0/s/.*/W/p'\n\t\t";
constexpr char kModuleScript[] =
    "\n\t\t#!/bin/sh\n\t\tID=$(cat "
    "/sys/devices/platform/ff0d0000.dwmmc/mmc_host/mmc*/mmc*\\:000*/mmc*\\:000*\\:1/device)\n\t\tMODULE=\"\"\n\t\tif "
    "[ \"$ID\" = \"0x4335\" ] ; then\n\t\t\tMODULE=\"AP6335\"\n\t\telif [ \"$ID\" = \"0xa9bf\" ] ; then\n\t\t\t# "
    "Can be AP6255 or AP6256\n\t\t\tMODULE=$(dmesg | sed -n -e \"/brcmfmac43455/s/.*/AP6255/p\" -e "
    "\"/brcmfmac43456/s/.*/AP6256/p\" | head -n 1)\n\t\tfi\n\t\tif [ \"$MODULE\" = \"\" ] ; "
    "then\n\t\t\tMODULE=\"AP6255 "
    "or AP6256\"\n\t\tfi\n\t\techo \"$MODULE\"\n \t\t";
constexpr char kTouchFirmwareScript[] =
    "\n\t\t#!/bin/sh\n\t\tif [ -f /sys/bus/i2c/devices/4-0026/fw_version ] ; then\n\t\t\tcat "
    "/sys/bus/i2c/devices/4-0026/fw_version\n\t\telse\n\t\t\tcat /sys/bus/i2c/devices/4-0041/fw_version\n\t\tfi\n\t\t";
constexpr char kBoardRevisionScript[] =
    "\n\t\t#!/bin/sh\n\t\tcat /sys/firmware/devicetree/base/korvatek,vb05-pcb-rev\n\t\t";
constexpr char kKernelVersionScript[] = "\n\t\t#!/bin/sh\n\t\tuname -r\n\t\t";
constexpr char kTouchChipScript[] =
    "\n\t\t#!/bin/sh\n\t\tif [ -f /sys/bus/i2c/devices/4-0026/name ] ; then\n\t\t\tcat "
    "/sys/bus/i2c/devices/4-0026/name\n\t\telse\n\t\t\tcat /sys/bus/i2c/devices/4-0041/name\n\t\tfi\n\t\t";
constexpr char kSoftwareVersionScript[] =
    "\n\t\t#!/bin/sh\n\t\tZYQ_VERSION_FILE=com.quiltek.zyq.version\n\t\tZYQ_REVISION_FILE=com.quiltek.zyq.vcs-"
    "version\n\t\tVERSION=\"\"\n\t\tif [ -f /tmp/$ZYQ_VERSION_FILE ] ; then\n\t\t\tVERSION=$(cat "
    "/tmp/$ZYQ_VERSION_FILE)\n\t\telif [ -f /var/tmp/$ZYQ_VERSION_FILE ] ; then\n\t\t\tVERSION=$(cat "
    "/var/tmp/$ZYQ_VERSION_FILE)\n\t\tfi\n\t\tif [ -f /tmp/$ZYQ_REVISION_FILE ] ; then\n\t\t\tVERSION=\"$VERSION (VCS "
    "$(cat /tmp/$ZYQ_REVISION_FILE))\"\n\t\telif [ -f /var/tmp/$ZYQ_REVISION_FILE ] ; then\n\t\t\tVERSION=\"$VERSION "
    "(VCS $(cat /var/tmp/$ZYQ_REVISION_FILE))\"\n\t\tfi\n\t\techo $VERSION\n\t\t";

struct TouchPanel
{
    const char* chip;
    const char* panel;
};

constexpr TouchPanel kTouchPanels[] = {
    {"ili2116", "#UMO-9135MD-1T"},
    {"ili2117", "#UMOH9344MD-T"},
};

constexpr const char* kUSBBusDirectories[] = {"/dev/bus/usb/001", "/dev/bus/usb/002", "/dev/bus/usb/003"};

// The standard USB device descriptor's size and the offsets of its ids and
// release number (little-endian words).
constexpr std::size_t kDeviceDescriptorSize = 18;
constexpr std::size_t kVendorIdOffset = 8;
constexpr std::size_t kProductIdOffset = 10;
constexpr std::size_t kReleaseOffset = 12;

std::uint16_t ReadWord(const unsigned char* bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// A whole descriptor, or false: a short read is never taken for a match.
bool ReadDeviceDescriptor(const String& node, unsigned char (&descriptor)[kDeviceDescriptorSize])
{
    const int fd = ::open(MapSystemPath(node.GetCString()).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::size_t filled = 0;
    while (filled < kDeviceDescriptorSize)
    {
        const ssize_t got = ::read(fd, descriptor + filled, kDeviceDescriptorSize - filled);
        if (got <= 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return filled == kDeviceDescriptorSize;
}

bool FormatRelease(std::uint16_t release, std::int32_t format, String& text)
{
    const int nibbles[] = {(release >> 12) & 0xF, (release >> 8) & 0xF, (release >> 4) & 0xF, release & 0xF};
    switch (format)
    {
    case USB_VERSION_FORMAT_MAJOR_MINOR:
        text = String::Format("%d%d.%d%d (%04hX)", nibbles[0], nibbles[1], nibbles[2], nibbles[3], release);
        return true;
    case USB_VERSION_FORMAT_DOTTED:
        text = String::Format("%d.%d.%d.%d (%04hX)", nibbles[0], nibbles[1], nibbles[2], nibbles[3], release);
        return true;
    default:
        return false;
    }
}
} // namespace

bool GetScriptOutput(const String& script, String& output)
{
    ExternalCommand command(script, true);
    command.Execute();
    output = kUnknown;
    const std::int32_t status = command.GetExitStatus();
    if (status < 0 || status == ExternalCommand::kCommandNotFound)
        return false;
    output = command.GetOutput().Trim();
    return true;
}

bool GetSoCVariant(String& text)
{
    return GetScriptOutput(String(kSoCVariantScript), text);
}

bool GetWiFiBluetoothModule(String& text)
{
    return GetScriptOutput(String(kModuleScript), text);
}

bool GetTouchPanelFirmwareVersion(String& text)
{
    return GetScriptOutput(String(kTouchFirmwareScript), text);
}

bool GetBoardHardwareRevision(String& text)
{
    return GetScriptOutput(String(kBoardRevisionScript), text);
}

bool GetKernelVersion(String& text)
{
    return GetScriptOutput(String(kKernelVersionScript), text);
}

bool GetTouchPanelChipName(String& text)
{
    return GetScriptOutput(String(kTouchChipScript), text);
}

bool GetSoftwareVersion(String& text)
{
    return GetScriptOutput(String(kSoftwareVersionScript), text);
}

bool GetTouchPanelName(String& text)
{
    String chip;
    if (!GetTouchPanelChipName(chip))
    {
        text = kUnknown;
        return false;
    }
    for (const TouchPanel& panel : kTouchPanels)
    {
        if (chip == panel.chip)
        {
            text = panel.panel;
            return true;
        }
    }
    text = String::Format("UNKNOWN (touch panel chip %s)", chip.GetCString());
    return false;
}

StringArrayT<char, unsigned short> ListUSBDeviceNodes(const String& busDirectory)
{
    StringArrayT<char, unsigned short> all;
    StringArrayT<char, unsigned short> nodes;
    if (!ListDirectory(busDirectory, true, false, String(), all))
        return nodes;
    const std::int32_t nameStart = busDirectory.GetLength() + 1;
    for (std::uint32_t i = 0; i < all.GetCount(); ++i)
    {
        if (all[i].GetCString()[nameStart] != '.')
            nodes.Add(all[i]);
    }
    return nodes;
}

bool GetUSBDeviceVersion(std::uint16_t vendorId, std::uint16_t productId, String& text)
{
    return FindUSBDeviceVersion(vendorId, productId, USB_VERSION_FORMAT_MAJOR_MINOR, text);
}

bool FindUSBDeviceVersion(std::uint16_t vendorId, std::uint16_t productId, std::int32_t format, String& text)
{
    StringArrayT<char, unsigned short> nodes;
    for (const char* bus : kUSBBusDirectories)
        nodes.AppendAll(ListUSBDeviceNodes(String(bus)));
    text = kUnknown;
    for (std::uint32_t i = 0; i < nodes.GetCount(); ++i)
    {
        unsigned char descriptor[kDeviceDescriptorSize] = {};
        if (!ReadDeviceDescriptor(nodes[i], descriptor))
            continue;
        if (ReadWord(descriptor, kVendorIdOffset) == vendorId && ReadWord(descriptor, kProductIdOffset) == productId)
        {
            FormatRelease(ReadWord(descriptor, kReleaseOffset), format, text);
            return true;
        }
    }
    return false;
}
} // namespace Vx::VB05
