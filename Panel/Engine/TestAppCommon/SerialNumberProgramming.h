#pragma once

#include "Panel/Engine/TestAppCommon/MidiInquirerAndSerialProgrammer.h"
#include "VxFramework/MidiAndAudio/Midi/MidiPortProperties.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
// The boot loader's "serial#" through the platform's tools: set it (true when
// the tool took it), read it back (true with the value).
struct BootloaderSerialNumberCalls
{
    bool (*setSerialNumber)(const StringT<char, unsigned short>& serialNumber) = nullptr;
    bool (*getSerialNumber)(StringT<char, unsigned short>& serialNumber) = nullptr;
};

// Writes the unit's serial number into the control surface's manufacturing
// data (function 0, index 0) and into the boot loader's environment, and reads
// each back.  A serial number is 15 printable characters; anything else is
// refused before a byte goes anywhere, since a board or a boot loader keeps
// whatever it is given.  Runs on the caller's thread, which waits for the
// board's reply (up to 1000 ms) and for the tools.
class SerialNumberProgramming
{
public:
    using Bytes = MidiPortProperties::Bytes;
    using String = StringT<char, unsigned short>;

    // Sub-statuses of the serial test.
    static constexpr signed char kStatusFailed = 1;
    static constexpr signed char kStatusPassed = 2;

    static constexpr std::int32_t kFunctionID = 0;
    static constexpr std::int32_t kFunctionIndex = 0;
    static constexpr std::uint32_t kReadBackTimeoutMs = 1000;

    // Without the set call the boot loader's copy fails; without the get
    // call its read-back does.
    explicit SerialNumberProgramming(const BootloaderSerialNumberCalls& bootloader);

    // 15 bytes, each a printable character of the C locale.
    static bool IsProgrammableSerialNumber(const IArray<signed char>& serial);
    // The bytes up to, not including, the first that is not printable.
    static String TextOf(const IArray<signed char>& bytes);

    // 0; 0x80000003 for a serial number that is not programmable; the
    // programmer's failure code.
    VxRESULT ProgramMidiDeviceSerialNumber(const IArray<signed char>& serial);
    // The inquiry's code; the serial bytes of a reply with 16 bytes of
    // manufacturing data, none otherwise.
    VxRESULT ReadMidiDeviceSerialNumber(Bytes& serial);
    // 0; 0x80000003 for a serial number that is not programmable;
    // 0x80000008 when the tool fails.
    VxRESULT ProgramBootloaderSerialNumber(const IArray<signed char>& serial);
    // 0 with the value's characters; 0x80000008 (no bytes) when it cannot
    // be read.
    VxRESULT ReadBootloaderSerialNumber(Bytes& serial);

    // Programs, reads back and compares: kStatusPassed when what came back
    // equals the serial number, else kStatusFailed (also without a read-back
    // after a failed programming).  readBack holds what was read.
    signed char ProgramAndVerifyMidiDeviceSerialNumber(const IArray<signed char>& serial, Bytes& readBack);
    signed char ProgramAndVerifyBootloaderSerialNumber(const IArray<signed char>& serial, Bytes& readBack);

    const RCPtr<LMidiInquirer>& GetInquirer() const { return mInquirer; }

private:
    BootloaderSerialNumberCalls mBootloader;
    RCPtr<LMidiInquirer> mInquirer;
    MidiManufacturingDataProgrammer mProgrammer;
};
} // namespace Vx
