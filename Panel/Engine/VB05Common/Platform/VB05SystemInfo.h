#pragma once

// Facts only the system itself can tell, for the version pages: each getter
// runs a short shell script and hands back what it printed, trimmed, or
// "UNKNOWN"; the USB devices' release numbers come from the device
// descriptors of the USB device nodes.  No state: any thread may call them,
// and each blocks for its shell run or node reads.

#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx::VB05
{
// Runs the script text through the shell.  "UNKNOWN" and false when the shell
// could not be run or read, or its last command was not found (0x7F00);
// otherwise the whole output trimmed, whatever the exit status.
bool GetScriptOutput(const StringT<char, unsigned short>& script, StringT<char, unsigned short>& output);

bool GetSoCVariant(StringT<char, unsigned short>& text);
bool GetWiFiBluetoothModule(StringT<char, unsigned short>& text);
bool GetTouchPanelFirmwareVersion(StringT<char, unsigned short>& text);
bool GetBoardHardwareRevision(StringT<char, unsigned short>& text);
bool GetKernelVersion(StringT<char, unsigned short>& text);
bool GetTouchPanelChipName(StringT<char, unsigned short>& text);
bool GetSoftwareVersion(StringT<char, unsigned short>& text);

// The panel's name by its controller chip; "UNKNOWN" or "UNKNOWN (touch panel
// chip %s)" and false otherwise.
bool GetTouchPanelName(StringT<char, unsigned short>& text);

// Release number layouts.
enum USBVersionFormat : std::int32_t
{
    USB_VERSION_FORMAT_MAJOR_MINOR = 0, // "%d%d.%d%d (%04hX)"
    USB_VERSION_FORMAT_DOTTED = 1,      // "%d.%d.%d.%d (%04hX)"
};

// The release number of the first attached device with these ids, in bus
// order ("/dev/bus/usb/001" to "003"); "UNKNOWN" and false when none matches.
// Nodes that cannot be opened, or that hold less than a device descriptor,
// are passed over.
bool GetUSBDeviceVersion(std::uint16_t vendorId, std::uint16_t productId, StringT<char, unsigned short>& text);
bool FindUSBDeviceVersion(std::uint16_t vendorId, std::uint16_t productId, std::int32_t format,
                          StringT<char, unsigned short>& text);
// The nodes of one bus directory (no directories, no hidden names), in the
// order the directory yields them; none for a missing directory.
StringArrayT<char, unsigned short> ListUSBDeviceNodes(const StringT<char, unsigned short>& busDirectory);
} // namespace Vx::VB05
