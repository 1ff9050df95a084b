#pragma once

#include "VxFramework/MidiAndAudio/Midi/MidiMessage.h"
#include "VxFramework/MidiAndAudio/Midi/MidiPortProperties.h"
#include "VxFramework/Utilities/Storage/Iterable.h"

#include <cstdint>

namespace Vx
{
// The controller board a maker System Exclusive message is addressed to.
struct MidiDeviceDescription
{
    using Bytes = MidiPortProperties::Bytes;

    MidiDeviceDescription() = default;
    // The port's ids and RGB LED options; its 8-bit RGB LED command is
    // sign-extended, so 0xFF gives -1.
    explicit MidiDeviceDescription(const MidiPortProperties& properties);

    // 1 byte, or 00 and two bytes.
    Bytes manufacturerID;
    // Wire order: the device id comes first.
    signed char deviceID = 0;
    signed char productID = 0;
    // -1 means 0x03.
    std::int32_t rgbLedCommand = -1;
    bool rgbLedIndexed = false;
    bool rn19Variant = false;
};

// The header every maker message shares: manufacturer id, device id, product
// id, command and the payload's length in two 7-bit bytes, high first.
// Subclasses add their payload in Serialize.
class CommonMIDIHeader
{
public:
    // Payload lengths are below this: two 7-bit bytes carry them.
    static constexpr std::uint32_t kMaxLength = 0x4000;

    explicit CommonMIDIHeader(const MidiDeviceDescription& description);
    CommonMIDIHeader(const CommonMIDIHeader&) = default;
    CommonMIDIHeader& operator=(const CommonMIDIHeader&) = default;
    virtual ~CommonMIDIHeader() = default;

    // Appends the header's bytes (and a subclass's payload), no framing bytes.
    virtual void Serialize(IArray<signed char>& out) const;
    // Serialize into an emptied array.
    void SerializeTo(IArray<signed char>& out) const;

    void SetCommand(signed char command) { mCommand = command; }
    // A length of kMaxLength or more is asserted and only its low 14 bits
    // are kept.
    void SetLength(std::uint32_t length);

    // F0, the header's Serialize (its class's payload included), F7.
    static MidiMessage BuildMessage(const CommonMIDIHeader& header);

private:
    MidiDeviceDescription::Bytes mManufacturerID;
    signed char mDeviceID;
    signed char mProductID;
    signed char mCommand = 0;
    signed char mLengthHigh = 0;
    signed char mLengthLow = 0;
};
} // namespace Vx
