#include "Panel/Engine/VB05Common/Platform/VB05Network.h"

#include "JuceBackend/SystemPath.h"
#include "Panel/Engine/VB05Common/ExternalCommand.h"
#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/socket.h>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr char kRouteTable[] = "/proc/net/route";
constexpr char kBootEnvironmentKey[] = "ethaddr=";
constexpr std::uint32_t kMACAddressLength = 6;

// A tool that ran and said it succeeded; one that reported failure is a failure.
bool RunTool(const String& commandLine)
{
    ExternalCommand command(commandLine, true);
    return command.Execute() && command.GetExitStatus() == 0;
}

// The routing table writes addresses as up to 8 hexadecimal digits.  Anything
// else is refused as the standard conversion would name it, but stricter: no
// sign, prefix, blanks or trailing text, and nothing beyond 32 bits on any
// platform.
std::uint32_t ParseRouteAddress(const std::string& field)
{
    if (field.empty())
        throw std::invalid_argument("stoul");
    std::uint64_t value = 0;
    for (const char character : field)
    {
        const int digit = character >= '0' && character <= '9'   ? character - '0'
                          : character >= 'a' && character <= 'f' ? character - 'a' + 10
                          : character >= 'A' && character <= 'F' ? character - 'A' + 10
                                                                 : -1;
        if (digit < 0)
            throw std::invalid_argument("stoul");
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFu)
            throw std::out_of_range("stoul");
    }
    return static_cast<std::uint32_t>(value);
}
} // namespace

String GetInterfaceName(std::int32_t networkInterface)
{
    switch (networkInterface)
    {
    case NETWORK_INTERFACE_ETHERNET:
        return String("eth0");
    case NETWORK_INTERFACE_WIFI:
        return String("wlan0");
    default:
        return String();
    }
}

bool ReadInterfaceAttribute(const String& interfaceName, const String& attributeName, String& value)
{
    return ReadFirstToken(
        String::Format("%s/%s/%s", "/sys/class/net", interfaceName.GetCString(), attributeName.GetCString()), value);
}

bool GetLinkState(const String& interfaceName, LinkState& state)
{
    String text;
    if (!ReadInterfaceAttribute(interfaceName, String("operstate"), text))
        return false;
    if (text == "up")
        state = LINK_STATE_UP;
    else if (text == "down")
        state = LINK_STATE_DOWN;
    else
        return false;
    return true;
}

String GetLinkStateName(std::int32_t state)
{
    switch (state)
    {
    case LINK_STATE_UP:
        return String("up");
    case LINK_STATE_DOWN:
        return String("down");
    default:
        return String("<unknown>");
    }
}

bool GetLinkSpeed(const String& interfaceName, std::int32_t& speed)
{
    String text;
    if (!ReadInterfaceAttribute(interfaceName, String("speed"), text))
        return false;
    speed = std::atoi(text.GetCString());
    return true;
}

bool GetDuplex(const String& interfaceName, Duplex& duplex)
{
    String text;
    if (!ReadInterfaceAttribute(interfaceName, String("duplex"), text))
        return false;
    if (text == "full")
        duplex = DUPLEX_FULL;
    else if (text == "half")
        duplex = DUPLEX_HALF;
    else
        return false;
    return true;
}

String GetDuplexName(std::int32_t duplex)
{
    switch (duplex)
    {
    case DUPLEX_HALF:
        return String("half");
    case DUPLEX_FULL:
        return String("full");
    default:
        return String("<unknown>");
    }
}

bool GetIPv4Addresses(const String& interfaceName, IArray<unsigned int>& addresses)
{
    addresses.RemoveAll();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
    {
        DebugTracer::Get().Trace(-1, "getifaddrs() failed: errno=%d", errno);
        return false;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next)
    {
        if (entry->ifa_addr == nullptr || entry->ifa_name == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            std::strcmp(entry->ifa_name, interfaceName.GetCString()) != 0)
            continue;
        sockaddr_in address;
        std::memcpy(&address, entry->ifa_addr, sizeof address);
        addresses.Add(address.sin_addr.s_addr);
    }
    ::freeifaddrs(list);
    return true;
}

bool GetDefaultGateway(std::uint32_t& address)
{
    std::ifstream table(MapSystemPath(kRouteTable));
    std::string line;
    if (!table.is_open() || !std::getline(table, line))
        return false;
    while (std::getline(table, line))
    {
        std::istringstream fields(line);
        std::string name, destination, gateway;
        if (!(fields >> name >> destination >> gateway))
            return false;
        if (destination == "00000000")
        {
            address = ParseRouteAddress(gateway);
            return true;
        }
    }
    return false;
}

String FormatIPv4Address(std::uint32_t address)
{
    return String::Format("%d.%d.%d.%d", static_cast<int>(address & 0xFF), static_cast<int>((address >> 8) & 0xFF),
                          static_cast<int>((address >> 16) & 0xFF), static_cast<int>((address >> 24) & 0xFF));
}

String FormatMACAddress(const IArray<unsigned char>& bytes)
{
    String text;
    const unsigned char* data = bytes.GetDataConst();
    for (std::uint32_t i = 0; i < bytes.GetCount(); ++i)
    {
        if (i > 0)
            text.AppendChar(':');
        text.Append(String::Format("%02X", static_cast<unsigned int>(data[i])));
    }
    return text;
}

bool ParseMACAddress(const String& text, IArray<unsigned char>& bytes)
{
    bytes.RemoveAll();
    unsigned char scanned[kMACAddressLength] = {};
    const int matched = std::sscanf(text.GetCString(), "%02hhX:%02hhX:%02hhX:%02hhX:%02hhX:%02hhX", &scanned[0],
                                    &scanned[1], &scanned[2], &scanned[3], &scanned[4], &scanned[5]);
    for (const unsigned char byte : scanned)
        bytes.Add(byte);
    DebugTracer::Get().Trace(-1, "Parsed address string %s: matched=%d", text.GetCString(), matched);
    return matched == static_cast<int>(kMACAddressLength);
}

bool GetMACAddress(const String& interfaceName, std::int32_t source, IArray<unsigned char>& bytes)
{
    switch (source)
    {
    case MAC_ADDRESS_SOURCE_INTERFACE:
        return GetInterfaceMACAddress(interfaceName, bytes);
    case MAC_ADDRESS_SOURCE_BOOT_ENVIRONMENT:
        return GetBootEnvironmentMACAddress(bytes);
    default:
        return false;
    }
}

bool GetInterfaceMACAddress(const String& interfaceName, IArray<unsigned char>& bytes)
{
    String text;
    if (!ReadInterfaceAttribute(interfaceName, String("address"), text))
        return false;
    return ParseMACAddress(text, bytes);
}

bool GetBootEnvironmentMACAddress(IArray<unsigned char>& bytes)
{
    ExternalCommand command(String("fw_printenv ethaddr"), true);
    if (!command.Execute() || command.GetExitStatus() != 0)
        return false;
    const String output = command.GetOutput();
    const std::int32_t at = output.Find(kBootEnvironmentKey);
    if (at < 0)
        return false;
    return ParseMACAddress(output.Mid(at + static_cast<std::int32_t>(std::strlen(kBootEnvironmentKey))).Trim(), bytes);
}

bool SetMACAddress(const String& interfaceName, std::int32_t source, const IArray<unsigned char>& bytes)
{
    static_cast<void>(interfaceName);
    switch (source)
    {
    case MAC_ADDRESS_SOURCE_INTERFACE:
        return SetInterfaceMACAddress(bytes);
    case MAC_ADDRESS_SOURCE_BOOT_ENVIRONMENT:
        return SetBootEnvironmentMACAddress(bytes);
    default:
        return false;
    }
}

bool SetInterfaceMACAddress(const IArray<unsigned char>& bytes)
{
    // Anything but six bytes is no address: refused before the interface goes down.
    if (bytes.GetCount() != kMACAddressLength)
        return false;
    bool result = RunTool(String("ifconfig eth0 down"));
    if (result)
        result = RunTool(String::Format("ifconfig eth0 hw ether %s", FormatMACAddress(bytes).GetCString()));
    RunTool(String("ifconfig eth0 up"));
    return result;
}

bool SetBootEnvironmentMACAddress(const IArray<unsigned char>& bytes)
{
    // An empty value would delete the variable.
    if (bytes.GetCount() != kMACAddressLength)
        return false;
    return RunTool(String::Format("fw_setenv ethaddr %s", FormatMACAddress(bytes).GetCString()));
}

bool IsAllZero(const IArray<unsigned char>& bytes)
{
    const unsigned char* data = bytes.GetDataConst();
    for (std::uint32_t i = 0; i < bytes.GetCount(); ++i)
    {
        if (data[i] != 0)
            return false;
    }
    return true;
}

bool AreEqual(const IArray<unsigned char>& left, const IArray<unsigned char>& right)
{
    return left.GetCount() == right.GetCount() &&
           (left.GetCount() == 0 || std::memcmp(left.GetDataConst(), right.GetDataConst(), left.GetCount()) == 0);
}
} // namespace Vx::VB05
