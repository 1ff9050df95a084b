// The identity reply parser on any bytes a port may deliver: it reads only
// the bytes it is given, and a reply it accepts has the layout's field sizes.

#include "Panel/Engine/TestAppCommon/MidiInquirerAndSerialProgrammer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Vx::MidiMessage message;
    for (size_t i = 0; i < size; ++i)
        message.Add(static_cast<signed char>(data[i]));

    const Vx::MidiInquiryProtocol protocol;
    Vx::MidiInquiryResult result;
    if (Vx::Failed(protocol.ParseIdentityReply(message, result)))
        return 0;

    const std::uint32_t id = result.manufacturerID.GetCount();
    const std::uint32_t fixed = 5 + id + 3 + 4 + 1 + 4 + 16 + 1;
    if ((id != 1 && id != 3) || result.firmwareVersion.GetCount() != 4 || result.reserved.GetCount() != 4 ||
        result.manufacturingData.GetCount() != 16 || fixed + result.additionalData.GetCount() != size)
        std::abort();

    // What the views and the serial page make of it.
    protocol.FormatFirmwareVersion(result.firmwareVersion);
    protocol.FormatManufacturingData(result.manufacturingData);
    const Vx::MidiManufacturingDataProtocol serials;
    serials.FormatSerialNumber(serials.DecodeSerialNumber(result.manufacturingData));
    return 0;
}
