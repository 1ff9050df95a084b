#pragma once

#include "VxFramework/Utilities/Storage/ArrayBuffer.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
// The bytes of one MIDI message, as signed values (status bytes are negative):
// up to three kept in the object, more in a heap buffer.  No framing is
// enforced: a message may be empty, a running-status fragment or a whole
// System Exclusive message.  Bytes are compared for equality only, never by
// signed order.  Copies never share storage.
class MidiMessage : public ArrayBufferM<signed char, 3, 1, 0, true, 8, GetSystemAllocator>
{
public:
    using String = StringT<char, unsigned short>;

    MidiMessage() = default;
    MidiMessage(const MidiMessage& other);
    // A copy of any signed-byte array (a capture payload's bytes too).
    MidiMessage(const IArray<signed char>& other);
    explicit MidiMessage(signed char b0);
    MidiMessage(signed char b0, signed char b1);
    MidiMessage(signed char b0, signed char b1, signed char b2);
    ~MidiMessage() override = default;

    MidiMessage& operator=(const MidiMessage& other);

    // Same count and the same bytes; two empty sequences are equal.
    bool IsEqual(const IArray<signed char>& other) const;

    // Two hexadecimal digits per byte, upper or lower case ("B011" gives B0 11).
    // A text of odd length or with a character that is no hexadecimal digit
    // gives an empty message (traced), which no port sends.
    static MidiMessage FromHexString(const String& text);

    // Upper-case digits, two per byte, of the first count bytes (all of them
    // for a negative count; at most the whole message).
    static String ToHexString(const MidiMessage& message, std::int32_t count = -1);

    // The message is at least as long as the prefix and begins with its bytes.
    static bool StartsWith(const MidiMessage& message, const MidiMessage& prefix);

    // a is a 3-byte note-off and b a 3-byte note-on with velocity 0, on the
    // same channel and key; the note-off's velocity is not compared.
    static bool IsNoteOffEquivalent(const MidiMessage& a, const MidiMessage& b);
    // Either way round.
    static bool AreNoteOffEquivalent(const MidiMessage& a, const MidiMessage& b);

    static MidiMessage Make1(std::uint8_t status);
    static MidiMessage Make2(std::uint8_t status, std::uint8_t data1);
    static MidiMessage Make3(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
};
} // namespace Vx
