#include "Panel/Engine/TestAppCommon/SerialNumberProgramming.h"

#include "Panel/Engine/TestAppCommon/MidiManager.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <cstring>

namespace Vx
{
namespace
{
// isprint of the C locale, whatever locale the process runs in.
bool IsPrintable(signed char byte)
{
    const auto value = static_cast<unsigned char>(byte);
    return value >= 0x20 && value < 0x7F;
}

bool SameBytes(const IArray<signed char>& a, const IArray<signed char>& b)
{
    return MidiMessage(a).IsEqual(b);
}

void TraceRefusal(const char* what)
{
    DebugTracer::Get().Trace(1, "%s serial number refused: it must be %u printable characters", what,
                             MidiManufacturingDataProtocol::kSerialNumberLength);
}
} // namespace

SerialNumberProgramming::SerialNumberProgramming(const BootloaderSerialNumberCalls& bootloader)
    : mBootloader(bootloader), mInquirer(LMidiInquirer::Create())
{
}

bool SerialNumberProgramming::IsProgrammableSerialNumber(const IArray<signed char>& serial)
{
    if (serial.GetCount() != MidiManufacturingDataProtocol::kSerialNumberLength)
        return false;
    for (std::uint32_t i = 0; i < serial.GetCount(); ++i)
    {
        if (!IsPrintable(serial[i]))
            return false;
    }
    return true;
}

SerialNumberProgramming::String SerialNumberProgramming::TextOf(const IArray<signed char>& bytes)
{
    std::uint32_t count = 0;
    while (count < bytes.GetCount() && IsPrintable(bytes[count]))
        ++count;
    return String(reinterpret_cast<const char*>(bytes.GetDataConst()), static_cast<std::int32_t>(count));
}

VxRESULT SerialNumberProgramming::ProgramMidiDeviceSerialNumber(const IArray<signed char>& serial)
{
    if (!IsProgrammableSerialNumber(serial))
    {
        TraceRefusal("MIDI");
        return VXR_E_INVALIDARG;
    }
    // Without a known port the properties stay default and opening fails.
    mProgrammer.SetPortProperties(GetMidiPortPropertiesByFunction(kFunctionID, kFunctionIndex));
    return mProgrammer.Program(mProgrammer.EncodeSerialNumber(serial));
}

VxRESULT SerialNumberProgramming::ReadMidiDeviceSerialNumber(Bytes& serial)
{
    serial.RemoveAll();
    const MidiPortProperties properties = GetMidiPortPropertiesByFunction(kFunctionID, kFunctionIndex);
    const VxRESULT result = mInquirer->Inquire(properties.inputPortName, properties.outputPortName,
                                               properties.inquiryDeviceID, 1, kReadBackTimeoutMs);
    if (Failed(result))
        return result;
    MidiInquiryResult reply;
    mInquirer->GetResult(reply);
    serial = mProgrammer.DecodeSerialNumber(reply.manufacturingData);
    return result;
}

VxRESULT SerialNumberProgramming::ProgramBootloaderSerialNumber(const IArray<signed char>& serial)
{
    if (!IsProgrammableSerialNumber(serial))
    {
        TraceRefusal("Bootloader");
        return VXR_E_INVALIDARG;
    }
    if (mBootloader.setSerialNumber == nullptr || !mBootloader.setSerialNumber(TextOf(serial)))
        return VXR_E_FAIL;
    return VXR_OK;
}

VxRESULT SerialNumberProgramming::ReadBootloaderSerialNumber(Bytes& serial)
{
    serial.RemoveAll();
    String value;
    if (mBootloader.getSerialNumber == nullptr || !mBootloader.getSerialNumber(value))
        return VXR_E_FAIL;
    const auto count = static_cast<std::uint32_t>(value.GetLength());
    serial.SetCount(count);
    if (count > 0)
        std::memcpy(serial.GetData(), value.GetCString(), count);
    return VXR_OK;
}

signed char SerialNumberProgramming::ProgramAndVerifyMidiDeviceSerialNumber(const IArray<signed char>& serial,
                                                                            Bytes& readBack)
{
    DebugTracer& tracer = DebugTracer::Get();
    readBack.RemoveAll();
    tracer.Trace(-1, "Programming MIDI serial number");
    if (Failed(ProgramMidiDeviceSerialNumber(serial)))
        return kStatusFailed;
    tracer.Trace(-1, "Reading back MIDI serial number");
    const VxRESULT read = ReadMidiDeviceSerialNumber(readBack);
    tracer.Trace(-1, "MIDI Serial: %s", TextOf(readBack).GetCString());
    return Succeeded(read) && SameBytes(readBack, serial) ? kStatusPassed : kStatusFailed;
}

signed char SerialNumberProgramming::ProgramAndVerifyBootloaderSerialNumber(const IArray<signed char>& serial,
                                                                            Bytes& readBack)
{
    DebugTracer& tracer = DebugTracer::Get();
    readBack.RemoveAll();
    tracer.Trace(-1, "Programming bootloader serial number");
    if (Failed(ProgramBootloaderSerialNumber(serial)))
        return kStatusFailed;
    tracer.Trace(-1, "Reading back bootloader serial number");
    const VxRESULT read = ReadBootloaderSerialNumber(readBack);
    tracer.Trace(-1, "Bootloader Serial: %s", TextOf(readBack).GetCString());
    return Succeeded(read) && SameBytes(readBack, serial) ? kStatusPassed : kStatusFailed;
}
} // namespace Vx
