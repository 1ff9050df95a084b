#include "VxFramework/MidiAndAudio/Midi/MidiMessage.h"

#include <cstring>

namespace Vx
{
namespace
{
bool SameBytes(const signed char* a, const signed char* b, std::uint32_t count)
{
    // An empty array may have no storage at all.
    return count == 0 || std::memcmp(a, b, count) == 0;
}

std::uint8_t Byte(const MidiMessage& message, std::uint32_t index)
{
    return static_cast<std::uint8_t>(message.GetDataConst()[index]);
}

bool IsThreeByte(const MidiMessage& message, std::uint8_t statusNibble)
{
    return message.GetCount() == 3 && (Byte(message, 0) >> 4) == statusNibble;
}
} // namespace

MidiMessage::MidiMessage(const MidiMessage& other) : ArrayBufferM()
{
    AppendAllDirect(other);
}

MidiMessage::MidiMessage(const IArray<signed char>& other)
{
    AppendAllDirect(other);
}

MidiMessage::MidiMessage(signed char b0)
{
    Add(b0);
}

MidiMessage::MidiMessage(signed char b0, signed char b1)
{
    Add(b0);
    Add(b1);
}

MidiMessage::MidiMessage(signed char b0, signed char b1, signed char b2)
{
    Add(b0);
    Add(b1);
    Add(b2);
}

MidiMessage& MidiMessage::operator=(const MidiMessage& other)
{
    CopyFrom(other);
    return *this;
}

bool MidiMessage::IsEqual(const IArray<signed char>& other) const
{
    const std::uint32_t count = GetCount();
    return other.GetCount() == count && SameBytes(GetDataConst(), other.GetDataConst(), count);
}

MidiMessage MidiMessage::FromHexString(const String& text)
{
    MidiMessage message;
    RCPtr<LIBuffer> bytes;
    // A malformed text is traced by the decoder and gives no message: half a
    // message with zeros in place of the bad digits would still be sent.
    if (Failed(text.DecodeBinaryData(0, bytes, 0)) || bytes == nullptr)
        return message;
    const std::uint32_t count = bytes->GetSize();
    if (Succeeded(message.SetCount(count)) && count > 0)
        std::memcpy(message.GetData(), bytes->GetData(), count);
    return message;
}

MidiMessage::String MidiMessage::ToHexString(const MidiMessage& message, std::int32_t count)
{
    const std::uint32_t size = message.GetCount();
    const std::uint32_t used =
        count < 0 || static_cast<std::uint32_t>(count) > size ? size : static_cast<std::uint32_t>(count);
    return String::EncodeBinaryData(0, message.GetDataConst(), used);
}

bool MidiMessage::StartsWith(const MidiMessage& message, const MidiMessage& prefix)
{
    const std::uint32_t count = prefix.GetCount();
    return message.GetCount() >= count && SameBytes(message.GetDataConst(), prefix.GetDataConst(), count);
}

bool MidiMessage::IsNoteOffEquivalent(const MidiMessage& a, const MidiMessage& b)
{
    return IsThreeByte(a, 0x8) && IsThreeByte(b, 0x9) && Byte(b, 2) == 0 &&
           (Byte(a, 0) & 0x0F) == (Byte(b, 0) & 0x0F) && Byte(a, 1) == Byte(b, 1);
}

bool MidiMessage::AreNoteOffEquivalent(const MidiMessage& a, const MidiMessage& b)
{
    return IsNoteOffEquivalent(a, b) || IsNoteOffEquivalent(b, a);
}

MidiMessage MidiMessage::Make1(std::uint8_t status)
{
    return MidiMessage(static_cast<signed char>(status));
}

MidiMessage MidiMessage::Make2(std::uint8_t status, std::uint8_t data1)
{
    return MidiMessage(static_cast<signed char>(status), static_cast<signed char>(data1));
}

MidiMessage MidiMessage::Make3(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    return MidiMessage(static_cast<signed char>(status), static_cast<signed char>(data1),
                       static_cast<signed char>(data2));
}
} // namespace Vx
