#include "Panel/Engine/VB05Common/Platform/VB05USBHub.h"

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"
#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr std::uint16_t kResultSize = 16;
// The status bytes of ports 0 to 7 in the result.
constexpr std::uint32_t kFirstPortByte = 4;
// Ports whose USB 3 bits are cleared: only their USB 2 state is kept.
constexpr std::int32_t kUSB2OnlyPorts[] = {5, 6, 7};

struct StatusBit
{
    std::uint32_t bit;
    const char* name;
};

constexpr StatusBit kStatusBits[] = {
    {kUSBPortUSB3Connected, "USB3Connected "},
    {kUSBPortUSB2Connected, "USB2Connected "},
    {kUSBPortUSB3Suspended, "USB3Suspended "},
    {kUSBPortUSB2Suspended, "USB2Suspended "},
};

void Trace(const char* text)
{
    DebugTracer::Get().Trace(-1, "%s", text);
}

// One write to the hub as a transfer of its own.
int Write(DeviceCalls& calls, int fd, std::uint8_t* bytes, std::uint16_t count)
{
    i2c_msg message{kUSBHubAddress, 0, count, bytes};
    return calls.TransferI2c(fd, &message, 1);
}
} // namespace

USBHubStatus& USBHubStatus::GetInstance()
{
    static NoDestructor<USBHubStatus> instance;
    return *instance;
}

bool USBHubStatus::Query()
{
    const std::lock_guard<std::mutex> lock(mMutex);
    mValid = QueryLocked();
    return mValid;
}

bool USBHubStatus::QueryLocked()
{
    Trace("Loading i2c-dev module");
    const int status = std::system("modprobe i2c-dev");
    if (status < 0)
    {
        DebugTracer::Get().Trace(-1, "Failed to load i2c-dev module: errno=%d", errno);
        return false;
    }
    // A tool that ran and reported failure is a failure too.
    if (status != 0)
    {
        DebugTracer::Get().Trace(-1, "Failed to load i2c-dev module: status=%d", status);
        return false;
    }

    // The hub's commands, sent exactly as it expects them (the transfer
    // record wants writable buffers).
    std::uint8_t getPortDeviceStatus[] = {0x00, 0x00, 0x03, 0x80, 0x00, 0xFF};
    std::uint8_t extendedStatus[] = {0x99, 0x3E, 0x00};
    std::uint8_t resultAddress[] = {0x00, 0x00};

    DeviceCalls& calls = DeviceCalls::Get();
    Trace("Opening i2c-1 device");
    const int opened = calls.Open(kUSBHubBusPath, O_RDWR);
    if (opened < 0)
    {
        DebugTracer::Get().Trace(-1, "Failed to open i2c device: errno=%d", -opened);
        return false;
    }
    // Closed on every way out.
    const UniqueDeviceDescriptor bus(calls, opened);

    Trace("Writing \"Get Port Device Status\" command");
    if (const int result = Write(calls, bus.Get(), getPortDeviceStatus, sizeof getPortDeviceStatus); result < 0)
    {
        DebugTracer::Get().Trace(-1, "I2C_RDWR failed: errno=%d", -result);
        return false;
    }

    Trace("Executing \"Extended Status\" Commands");
    if (const int result = Write(calls, bus.Get(), extendedStatus, sizeof extendedStatus); result < 0)
    {
        DebugTracer::Get().Trace(-1, "I2C_RDWR failed: errno=%d", -result);
        return false;
    }

    Trace("Reading \"Get Port Device Status\" command result");
    std::uint8_t received[kResultSize] = {};
    i2c_msg messages[] = {
        {kUSBHubAddress, 0, sizeof resultAddress, resultAddress},
        {kUSBHubAddress, I2C_M_RD, kResultSize, received},
    };
    if (const int result = calls.TransferI2c(bus.Get(), messages, 2); result < 0)
    {
        DebugTracer::Get().Trace(-1, "I2C_RDWR failed: errno=%d", -result);
        return false;
    }

    for (std::uint32_t index = 0; index < kResultSize; ++index)
        DebugTracer::Get().Trace(-1, "Received byte #%02X: 0x%02x", index, received[index]);

    for (std::int32_t port = 0; port < kUSBHubPortCount; ++port)
        mPorts[port] = received[kFirstPortByte + static_cast<std::uint32_t>(port)];
    for (const std::int32_t port : kUSB2OnlyPorts)
        mPorts[port] &= ~(kUSBPortUSB3Connected | kUSBPortUSB3Suspended);
    return true;
}

bool USBHubStatus::GetPortStatus(std::int32_t port, std::uint32_t& status)
{
    const std::lock_guard<std::mutex> lock(mMutex);
    if (!mValid || port < 0 || port >= kUSBHubPortCount)
        return false;
    status = mPorts[port];
    return true;
}

String GetUSBPortDirectionName(std::int32_t port)
{
    if (port == 0)
        return String("upstream");
    if (port > 0 && port < kUSBHubPortCount)
        return String("downstream");
    return String("UNKNOWN");
}

String FormatUSBPortStatus(std::uint32_t status)
{
    if (status == 0)
        return String("Disconnected");
    String text;
    for (const StatusBit& entry : kStatusBits)
    {
        if ((status & entry.bit) != 0)
            text.Append(String(entry.name));
    }
    return text;
}
} // namespace Vx::VB05
