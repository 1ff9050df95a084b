#pragma once

// The board's network facts: interface names, link state, speed and duplex
// from sysfs, IPv4 addresses from the system's interface list, the default
// gateway from the kernel's routing table, and the MAC address on the running
// interface and in the boot loader's environment ("ethaddr").  No state: any
// thread may call them; those that run tools block for the tool's run.

#include "VxFramework/Utilities/Storage/Iterable.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx::VB05
{
enum NetworkInterface : std::int32_t
{
    NETWORK_INTERFACE_ETHERNET = 0, // "eth0"
    NETWORK_INTERFACE_WIFI = 1,     // "wlan0"
};

enum LinkState : std::int32_t
{
    LINK_STATE_UP = 0,
    LINK_STATE_DOWN = 1,
};

enum Duplex : std::int32_t
{
    DUPLEX_HALF = 0,
    DUPLEX_FULL = 1,
};

enum MACAddressSource : std::int32_t
{
    MAC_ADDRESS_SOURCE_INTERFACE = 0,
    MAC_ADDRESS_SOURCE_BOOT_ENVIRONMENT = 1,
};

// "eth0", "wlan0"; empty for any other value.
StringT<char, unsigned short> GetInterfaceName(std::int32_t networkInterface);

// The first word of /sys/class/net/<interface>/<attribute>.
bool ReadInterfaceAttribute(const StringT<char, unsigned short>& interfaceName,
                            const StringT<char, unsigned short>& attributeName, StringT<char, unsigned short>& value);

// "up" or "down"; any other operstate gives false and leaves the state alone.
bool GetLinkState(const StringT<char, unsigned short>& interfaceName, LinkState& state);
StringT<char, unsigned short> GetLinkStateName(std::int32_t state);
// Megabits per second.
bool GetLinkSpeed(const StringT<char, unsigned short>& interfaceName, std::int32_t& speed);
bool GetDuplex(const StringT<char, unsigned short>& interfaceName, Duplex& duplex);
StringT<char, unsigned short> GetDuplexName(std::int32_t duplex);

// The interface's IPv4 addresses (network byte order as stored), in the order
// of the system's list; none gives true and an empty list.
bool GetIPv4Addresses(const StringT<char, unsigned short>& interfaceName, IArray<unsigned int>& addresses);

// The gateway of the first default route in /proc/net/route.  False when the
// table cannot be read or has no default route.  A gateway field that is not
// hexadecimal throws std::invalid_argument("stoul"), one beyond 32 bits
// std::out_of_range("stoul").
bool GetDefaultGateway(std::uint32_t& address);

// "%d.%d.%d.%d" from the least significant byte up.
StringT<char, unsigned short> FormatIPv4Address(std::uint32_t address);

// "%02X" per byte joined by ":"; empty for no bytes.
StringT<char, unsigned short> FormatMACAddress(const IArray<unsigned char>& bytes);
// Six fields of one or two hexadecimal digits separated by ":".  The array
// always ends with 6 bytes (unmatched ones 0); true only when all six matched.
bool ParseMACAddress(const StringT<char, unsigned short>& text, IArray<unsigned char>& bytes);

bool GetMACAddress(const StringT<char, unsigned short>& interfaceName, std::int32_t source,
                   IArray<unsigned char>& bytes);
bool GetInterfaceMACAddress(const StringT<char, unsigned short>& interfaceName, IArray<unsigned char>& bytes);
// From "fw_printenv ethaddr"; false when the tool cannot run or fails.
bool GetBootEnvironmentMACAddress(IArray<unsigned char>& bytes);

// The interface name is not used: both setters work on "eth0" and the boot
// loader's environment.  Only six bytes are taken.
bool SetMACAddress(const StringT<char, unsigned short>& interfaceName, std::int32_t source,
                   const IArray<unsigned char>& bytes);
// Takes eth0 down, sets the address, and always brings it up again; the
// result reflects the address change alone.
bool SetInterfaceMACAddress(const IArray<unsigned char>& bytes);
bool SetBootEnvironmentMACAddress(const IArray<unsigned char>& bytes);

// True when no byte is set (also for no bytes).
bool IsAllZero(const IArray<unsigned char>& bytes);
// Equal counts and equal bytes.
bool AreEqual(const IArray<unsigned char>& left, const IArray<unsigned char>& right);
} // namespace Vx::VB05
