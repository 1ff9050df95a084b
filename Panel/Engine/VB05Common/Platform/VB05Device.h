#pragma once

// The board's identity: the device model read from the device tree, the
// circuit board's revision, and the serial number kept in the boot loader's
// environment.  Free functions without state beyond read-only tables; any
// thread may call them, and each blocks for its file read or tool run.

#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx::VB05
{
// The device model, by the first entry of the device tree's compatible list.
enum DeviceModel : std::int32_t
{
    DEVICE_MODEL_KS52 = 0,
    DEVICE_MODEL_KS56 = 1,
    DEVICE_MODEL_KS5E = 2,
    DEVICE_MODEL_KS5M = 3,
    DEVICE_MODEL_WD83 = 4,
    DEVICE_MODEL_TL40 = 5,
    DEVICE_MODEL_TL45 = 6,
    DEVICE_MODEL_RN12 = 7,
    DEVICE_MODEL_RN15 = 8,
    DEVICE_MODEL_RN19 = 9,
    DEVICE_MODEL_RN22 = 10,
    DEVICE_MODEL_FE66 = 11,
    DEVICE_MODEL_GU72 = 12,
    DEVICE_MODEL_GU74 = 13,
    // Any other board.
    DEVICE_MODEL_UNKNOWN = 14,
};

// The circuit board's revision letter.
enum PCBRevision : std::int32_t
{
    PCB_REVISION_B = 0,
    PCB_REVISION_C = 1,
    // Read as "D"; named "D/E/G".
    PCB_REVISION_D = 2,
    PCB_REVISION_F = 3,
    PCB_REVISION_H = 4,
    // Anything else, including "E", "G", nothing and a failed read.
    PCB_REVISION_ABOVE_H = 5,
};

DeviceModel GetDeviceModel();
// "KS52" ... "GU74", "UNKNOWN" for 14; a value outside the table logs an
// assertion and gives "UNKNOWN".
StringT<char, unsigned short> GetDeviceModelName(DeviceModel model);

PCBRevision GetPCBRevision();
// "B", "C", "D/E/G", "F", "H"; ">H" for every other value.
StringT<char, unsigned short> GetPCBRevisionName(PCBRevision revision);

// Sets the boot loader's "serial#" with its tool.  The number reaches the tool
// as one literal argument; an empty number or one with control characters is
// refused (the tool would delete the variable, or its line-based output would
// no longer give the number back).  True only when the tool ran and exited 0.
bool SetSerialNumber(const StringT<char, unsigned short>& serialNumber);
// The boot loader's "serial#", trimmed.  False (and an empty number) when the
// tool cannot run or exits non-zero, or its output names no "serial#=".
bool GetSerialNumber(StringT<char, unsigned short>& serialNumber);
} // namespace Vx::VB05
