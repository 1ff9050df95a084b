#pragma once

// The board's USB hub, asked over I2C what is attached to each of its eight
// ports.  One status object serves the whole process; its lock serialises
// queries and port reads, and a query holds it for its whole run.

#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>
#include <mutex>

namespace Vx::VB05
{
// Bits of a port's status word.
inline constexpr std::uint32_t kUSBPortUSB3Connected = 0x01;
inline constexpr std::uint32_t kUSBPortUSB2Connected = 0x02;
inline constexpr std::uint32_t kUSBPortUSB3Suspended = 0x10;
inline constexpr std::uint32_t kUSBPortUSB2Suspended = 0x20;

inline constexpr std::int32_t kUSBHubPortCount = 8;
// The hub on its bus, by its 7-bit address.
inline constexpr char kUSBHubBusPath[] = "/dev/i2c-1";
inline constexpr std::uint16_t kUSBHubAddress = 0x2D;

class USBHubStatus
{
public:
    // The process-wide object, made on first use and never destroyed.
    static USBHubStatus& GetInstance();

    // Reads every port's state from the hub.  The object is valid exactly
    // when this succeeded; after a failure the ports keep their old words
    // but cannot be read until a query succeeds.
    bool Query();
    // The port's word from the last successful query; false (and the word
    // untouched) while invalid or for a port outside 0 to 7.
    bool GetPortStatus(std::int32_t port, std::uint32_t& status);

    USBHubStatus() = default;
    USBHubStatus(const USBHubStatus&) = delete;
    USBHubStatus& operator=(const USBHubStatus&) = delete;

private:
    bool QueryLocked();

    std::mutex mMutex;
    bool mValid = false;
    std::uint32_t mPorts[kUSBHubPortCount] = {};
};

// "upstream" for port 0, "downstream" for 1 to 7, "UNKNOWN" otherwise.
StringT<char, unsigned short> GetUSBPortDirectionName(std::int32_t port);
// "Disconnected" for 0; otherwise the names of the set bits run together
// ("USB3Connected ", "USB2Connected ", "USB3Suspended ", "USB2Suspended ").
StringT<char, unsigned short> FormatUSBPortStatus(std::uint32_t status);
} // namespace Vx::VB05
