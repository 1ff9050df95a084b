#pragma once

// The application's test ids and the tables that bind each sequence page's
// tests to their stages, parameters and status labels.  Data only: the engine
// layer reads it too (the layer table maps this file and its .cpp there).

#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
inline constexpr char TID_DUMMY[] = "TID_DUMMY";
inline constexpr char TID_RAM[] = "TID_RAM";
inline constexpr char TID_MEDIA_EMMC[] = "TID_MEDIA_EMMC";
inline constexpr char TID_MEDIA_USB_FRONT_1[] = "TID_MEDIA_USB_FRONT_1";
inline constexpr char TID_MEDIA_USB_BACK_2[] = "TID_MEDIA_USB_BACK_2";
inline constexpr char TID_MEDIA_USB_BACK_3[] = "TID_MEDIA_USB_BACK_3";
inline constexpr char TID_MEDIA_SATA[] = "TID_MEDIA_SATA";
inline constexpr char TID_MEDIA_EXTERNAL_SD[] = "TID_MEDIA_EXTERNAL_SD";
inline constexpr char TID_IO_ETHERNET[] = "TID_IO_ETHERNET";
inline constexpr char TID_IO_WIFI[] = "TID_IO_WIFI";
inline constexpr char TID_IO_BLUETOOTH[] = "TID_IO_BLUETOOTH";
inline constexpr char TID_IO_USBB[] = "TID_IO_USBB";
inline constexpr char TID_MIDI_LOOPBACK[] = "TID_MIDI_LOOPBACK";
inline constexpr char TID_MOTOR_FORWARD_33_RPM[] = "TID_MOTOR_FORWARD_33_RPM";
inline constexpr char TID_MOTOR_FORWARD_45_RPM[] = "TID_MOTOR_FORWARD_45_RPM";
inline constexpr char TID_MOTOR_BACKWARD_33_RPM[] = "TID_MOTOR_BACKWARD_33_RPM";
inline constexpr char TID_MOTOR_BACKWARD_45_RPM[] = "TID_MOTOR_BACKWARD_45_RPM";
inline constexpr char TID_FAN_FULL_SPEED[] = "TID_FAN_FULL_SPEED";

// Every test id, in the order start-up registers their engines.
inline constexpr const char* kTestIds[] = {
    TID_DUMMY,
    TID_RAM,
    TID_MEDIA_EMMC,
    TID_MEDIA_USB_FRONT_1,
    TID_MEDIA_USB_BACK_2,
    TID_MEDIA_USB_BACK_3,
    TID_MEDIA_SATA,
    TID_MEDIA_EXTERNAL_SD,
    TID_IO_ETHERNET,
    TID_IO_WIFI,
    TID_IO_BLUETOOTH,
    TID_IO_USBB,
    TID_MIDI_LOOPBACK,
    TID_MOTOR_FORWARD_33_RPM,
    TID_MOTOR_FORWARD_45_RPM,
    TID_MOTOR_BACKWARD_33_RPM,
    TID_MOTOR_BACKWARD_45_RPM,
    TID_FAN_FULL_SPEED,
};

// One test on a sequence page.  The offsets count from the page's first
// parameter id: offset 0 is the page's overall result.
struct TestBinding
{
    std::int32_t resultParameterOffset = 0;
    std::int32_t logParameterOffset = 0;
    StringT<char, unsigned short> testId;
    // The page's child label that shows the test's status.
    StringT<char, unsigned short> statusLabelName;
    // An optional child that selects the test; empty in every table.
    StringT<char, unsigned short> buttonName;
};

// One stage of a sequence: its tests run at the same time.
struct TestGroup
{
    const TestBinding* bindings;
    std::uint32_t count;
};

// A page's sequence: its stages run one after another.  The page's parameter
// interface has parameterCount parameters (1 + 2 per test).
struct TestSequence
{
    const TestGroup* groups;
    std::uint32_t count;
    std::uint32_t parameterCount;
};

// The five sequence pages' tables, built on first use and kept to the end of
// the process.
const TestSequence& GetMemoryTestSequence();
const TestSequence& GetMediaTestSequence();
const TestSequence& GetMotorTestSequence();
const TestSequence& GetFanTestSequence();
const TestSequence& GetIOTestSequence();

// States of a test's status label, as its result parameter holds them.
inline constexpr std::int8_t kTestStatusUntested = 0;
inline constexpr std::int8_t kTestStatusFailed = 1;
inline constexpr std::int8_t kTestStatusPassed = 2;
inline constexpr std::int8_t kTestStatusTesting = 3;
inline constexpr std::int8_t kTestStatusInconclusive = 4;

// A finished test's status from its engine result (0 succeeded, 1 failed,
// 2 aborted, 3 inconclusive): passed, inconclusive, and failed for anything
// else, an aborted test included.
constexpr std::int8_t GetTestStatusForEngineResult(std::int32_t engineResult) noexcept
{
    switch (engineResult)
    {
    case 0:
        return kTestStatusPassed;
    case 3:
        return kTestStatusInconclusive;
    default:
        return kTestStatusFailed;
    }
}
} // namespace Vx
