#include "Panel/Main/TestIdentifiers.h"

#include "VxFramework/ObjectBase/NoDestructor.h"

#include <array>

namespace Vx
{
namespace
{
using String = StringT<char, unsigned short>;

TestBinding Bind(std::int32_t resultOffset, std::int32_t logOffset, const char* testId, const char* statusLabel)
{
    return TestBinding{resultOffset, logOffset, String(testId), String(statusLabel), String()};
}

template <std::size_t N>
using Bindings = NoDestructor<std::array<TestBinding, N>>;

template <std::size_t N>
TestGroup Group(const Bindings<N>& bindings)
{
    return TestGroup{bindings->data(), static_cast<std::uint32_t>(N)};
}

template <std::size_t N>
constexpr TestSequence Sequence(const TestGroup (&groups)[N], std::uint32_t parameterCount)
{
    return TestSequence{groups, static_cast<std::uint32_t>(N), parameterCount};
}
} // namespace

// Two groups, one after the other.
const TestSequence& GetMemoryTestSequence()
{
    static const Bindings<1> ram{std::array<TestBinding, 1>{Bind(1, 3, TID_RAM, "ramMultiTestLabel")}};
    static const Bindings<1> emmc{std::array<TestBinding, 1>{Bind(2, 4, TID_MEDIA_EMMC, "eMMCMultiTestLabel")}};
    static const TestGroup groups[] = {Group(ram), Group(emmc)};
    static const TestSequence sequence = Sequence(groups, 5);
    return sequence;
}

// One group of five.  SATA takes the last two parameters; the two back ports'
// labels count from 1.
const TestSequence& GetMediaTestSequence()
{
    static const Bindings<5> storage{std::array<TestBinding, 5>{
        Bind(1, 5, TID_MEDIA_USB_FRONT_1, "frontUSBPort1TestStatusLabel"),
        Bind(2, 6, TID_MEDIA_USB_BACK_2, "backUSBPort1TestStatusLabel"),
        Bind(3, 7, TID_MEDIA_USB_BACK_3, "backUSBPort2TestStatusLabel"),
        Bind(9, 10, TID_MEDIA_SATA, "sataTestStatusLabel"),
        Bind(4, 8, TID_MEDIA_EXTERNAL_SD, "externalSDDriveTestStatusLabel"),
    }};
    static const TestGroup groups[] = {Group(storage)};
    static const TestSequence sequence = Sequence(groups, 11);
    return sequence;
}

// Four groups of one.
const TestSequence& GetMotorTestSequence()
{
    static const Bindings<1> forward33{
        std::array<TestBinding, 1>{Bind(1, 5, TID_MOTOR_FORWARD_33_RPM, "motorForward33RpmTestStatusLabel")}};
    static const Bindings<1> forward45{
        std::array<TestBinding, 1>{Bind(2, 6, TID_MOTOR_FORWARD_45_RPM, "motorForward45RpmTestStatusLabel")}};
    static const Bindings<1> backward33{
        std::array<TestBinding, 1>{Bind(3, 7, TID_MOTOR_BACKWARD_33_RPM, "motorBackward33RpmTestStatusLabel")}};
    static const Bindings<1> backward45{
        std::array<TestBinding, 1>{Bind(4, 8, TID_MOTOR_BACKWARD_45_RPM, "motorBackward45RpmTestStatusLabel")}};
    static const TestGroup groups[] = {Group(forward33), Group(forward45), Group(backward33), Group(backward45)};
    static const TestSequence sequence = Sequence(groups, 9);
    return sequence;
}

const TestSequence& GetFanTestSequence()
{
    static const Bindings<1> fullSpeed{
        std::array<TestBinding, 1>{Bind(1, 2, TID_FAN_FULL_SPEED, "fullSpeedTestStatusLabel")}};
    static const TestGroup groups[] = {Group(fullSpeed)};
    static const TestSequence sequence = Sequence(groups, 3);
    return sequence;
}

// Ethernet, Bluetooth and USB-B together, then Wi-Fi alone.  The parameters
// follow another order (Bluetooth 1, Wi-Fi 2, Ethernet 3, USB-B 4).
const TestSequence& GetIOTestSequence()
{
    static const Bindings<3> wired{std::array<TestBinding, 3>{
        Bind(3, 7, TID_IO_ETHERNET, "ethernetTestStatusLabel"),
        Bind(1, 5, TID_IO_BLUETOOTH, "bluetoothTestStatusLabel"),
        Bind(4, 8, TID_IO_USBB, "usbBTestStatusLabel"),
    }};
    static const Bindings<1> wifi{std::array<TestBinding, 1>{Bind(2, 6, TID_IO_WIFI, "wifiTestStatusLabel")}};
    static const TestGroup groups[] = {Group(wired), Group(wifi)};
    static const TestSequence sequence = Sequence(groups, 9);
    return sequence;
}
} // namespace Vx
