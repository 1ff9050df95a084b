// The maker's System Exclusive framing, the identity request and reply, and
// the manufacturing-data message: bytes only, no ports.

#include "Panel/Engine/TestAppCommon/MidiProtocol.h"
#include "Panel/Engine/TestAppCommon/MidiInquirerAndSerialProgrammer.h"

#include "tests/Panel/Engine/TestAppCommon/MidiProtocolTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>

using namespace VxTest;
using Vx::VxRESULT;

namespace
{
constexpr VxRESULT kInvalid = static_cast<VxRESULT>(0x80000003);

Vx::MidiDeviceDescription Description(const Bytes& manufacturer, int deviceId, int productId)
{
    Vx::MidiDeviceDescription description;
    for (const int byte : manufacturer)
        description.manufacturerID.Add(static_cast<signed char>(byte));
    description.deviceID = static_cast<signed char>(deviceId);
    description.productID = static_cast<signed char>(productId);
    return description;
}

Bytes Built(const Vx::CommonMIDIHeader& header)
{
    return BytesOf(Vx::CommonMIDIHeader::BuildMessage(header));
}

// A whole reply of the maker's layout: 3-byte id 00 3A 51, product 0E, channel
// 01, firmware 01 02 03 04, device 05, reserved 00.., manufacturing data 41..50.
Bytes Reply(const Bytes& additional = {}, int lengthDelta = 0)
{
    Sim::SimControllerBoard::Identity identity;
    identity.sysExChannel = 0x01;
    identity.firmwareVersion = {1, 2, 3, 4};
    identity.deviceId = 0x05;
    for (size_t i = 0; i < identity.manufacturingData.size(); ++i)
        identity.manufacturingData[i] = static_cast<uint8_t>(0x41 + i);
    identity.additionalData.assign(additional.begin(), additional.end());
    Bytes reply = BytesOf(Sim::SimControllerBoard::makeIdentityReply(identity));
    reply[10] += lengthDelta;
    return reply;
}
} // namespace

TEST(MakerSysEx, HeaderAndLengthEncoding)
{
    const auto description = Description({0x00, 0x3A, 0x51}, 0x7F, 0x0E);
    struct Case
    {
        std::uint32_t length;
        int high, low;
    };
    for (const Case c : {Case{0, 0x00, 0x00}, Case{16, 0x00, 0x10}, Case{128, 0x01, 0x00}, Case{0x3FFF, 0x7F, 0x7F}})
    {
        Vx::CommonMIDIHeader header(description);
        header.SetCommand(0x60);
        header.SetLength(c.length);
        // An empty payload: 10 bytes from F0 to F7.
        EXPECT_EQ(Built(header), (Bytes{0xF0, 0x00, 0x3A, 0x51, 0x7F, 0x0E, 0x60, c.high, c.low, 0xF7})) << c.length;
    }

    // A 1-byte manufacturer id moves every later field two bytes down.
    Vx::CommonMIDIHeader shortId(Description({0x41}, 0x10, 0x22));
    shortId.SetCommand(0x7C);
    EXPECT_EQ(Built(shortId), (Bytes{0xF0, 0x41, 0x10, 0x22, 0x7C, 0x00, 0x00, 0xF7}));

    // SerializeTo empties first; no framing bytes.
    Vx::MidiMessage out = Message({0x99, 0x99});
    shortId.SerializeTo(out);
    EXPECT_EQ(BytesOf(out), (Bytes{0x41, 0x10, 0x22, 0x7C, 0x00, 0x00}));
}

TEST(MakerSysEx, ALengthBeyondFourteenBitsIsAssertedAndCut)
{
    Vx::CommonMIDIHeader header(Description({0x00, 0x3A, 0x51}, 0x00, 0x0E));
    CaptureStderr capture;
    header.SetLength(0x4000 + 0x85);
    header.SetLength(0xFFFFFFFFu);
    const std::string text = capture.Finish();
    EXPECT_EQ(CountOf(text, "JUCE Assertion failure in MidiProtocol.cpp:"), 2) << text;
    EXPECT_EQ(Built(header), (Bytes{0xF0, 0x00, 0x3A, 0x51, 0x00, 0x0E, 0x00, 0x7F, 0x7F, 0xF7}));
    header.SetLength(0x4000 + 0x85);
    EXPECT_EQ(Built(header), (Bytes{0xF0, 0x00, 0x3A, 0x51, 0x00, 0x0E, 0x00, 0x01, 0x05, 0xF7}));
}

TEST(MakerSysEx, ADescriptionComesFromPortPropertiesInWireOrder)
{
    Vx::MidiPortProperties properties;
    properties.manufacturerID = ByteArray(std::string("\0\x3A\x51", 3));
    properties.productID = 0x0E;
    properties.deviceID = 0x03;
    properties.rgbLedIndexed = true;
    const Vx::MidiDeviceDescription description(properties);
    EXPECT_EQ(description.rgbLedCommand, -1) << "0xFF is sign-extended";
    EXPECT_TRUE(description.rgbLedIndexed);
    EXPECT_FALSE(description.rn19Variant);
    Vx::CommonMIDIHeader header(description);
    EXPECT_EQ(Built(header), (Bytes{0xF0, 0x00, 0x3A, 0x51, 0x03, 0x0E, 0x00, 0x00, 0x00, 0xF7}));
}

TEST(ManufacturingData, TheSerialNumberMessageAndItsConversions)
{
    Vx::MidiPortProperties properties;
    properties.manufacturerID = ByteArray(std::string("\0\x3A\x51", 3));
    properties.productID = 0x0E;
    properties.deviceID = 0x00;
    Vx::MidiManufacturingDataProgrammer programmer;
    programmer.SetPortProperties(properties);
    Vx::MidiManufacturingDataProtocol protocol;
    protocol.SetDescription(Vx::MidiDeviceDescription(properties));

    const auto block = programmer.EncodeSerialNumber(ByteArray("ABCDEFGHIJKLMNO"));
    EXPECT_EQ(BytesOf(protocol.CreateSetManufacturingDataMessage(block)),
              (Bytes{0xF0, 0x00, 0x3A, 0x51, 0x00, 0x0E, 0x79, 0x00, 0x10, 0x41, 0x42, 0x43, 0x44,
                     0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x00, 0xF7}));
    EXPECT_EQ(BytesOf(programmer.DecodeSerialNumber(block)), BytesOf(ByteArray("ABCDEFGHIJKLMNO")));

    // Only exactly 15 characters encode, only exactly 16 bytes decode or build.
    for (const char* serial : {"", "ABCDEFGHIJKLMN", "ABCDEFGHIJKLMNOP"})
        EXPECT_EQ(protocol.EncodeSerialNumber(ByteArray(serial)).GetCount(), 0u) << serial;
    EXPECT_EQ(protocol.DecodeSerialNumber(ByteArray("")).GetCount(), 0u);
    EXPECT_EQ(protocol.DecodeSerialNumber(ByteArray("ABCDEFGHIJKLMNO")).GetCount(), 0u);
    EXPECT_EQ(protocol.CreateSetManufacturingDataMessage(ByteArray("ABCDEFGHIJKLMNO")).GetCount(), 0u);

    const auto padded = protocol.DecodeSerialNumber(ByteArray(std::string("ABC\0\0\0\0\0\0\0\0\0\0\0\0\0", 16)));
    EXPECT_STREQ(protocol.FormatSerialNumber(padded).GetCString(), "ABC");
    EXPECT_STREQ(protocol.FormatSerialNumber(ByteArray("ABCDEFGHIJKLMNO")).GetCString(), "ABCDEFGHIJKLMNO");
    EXPECT_STREQ(protocol.FormatSerialNumber(ByteArray("")).GetCString(), "N/A");
    EXPECT_STREQ(protocol.FormatSerialNumber(ByteArray("AB")).GetCString(), "UNKNOWN FORMAT");
}

TEST(IdentityInquiry, RequestBytes)
{
    const Vx::MidiInquiryProtocol protocol;
    EXPECT_EQ(BytesOf(protocol.CreateIdentityRequest(0x00)), (Bytes{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}));
    EXPECT_EQ(BytesOf(protocol.CreateIdentityRequest(0x7F)), (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
}

TEST(IdentityInquiry, AWholeReplyParsesIntoEveryField)
{
    const Vx::MidiInquiryProtocol protocol;
    Vx::MidiInquiryResult result;
    ASSERT_EQ(Reply().size(), 37u);
    ASSERT_EQ(protocol.ParseIdentityReply(Message(Reply()), result), 0);
    EXPECT_EQ(result.sysExChannel, 0x01);
    EXPECT_EQ(BytesOf(result.manufacturerID), (Bytes{0x00, 0x3A, 0x51}));
    EXPECT_EQ(result.productID, 0x0E);
    EXPECT_EQ(result.deviceID, 0x05);
    EXPECT_EQ(BytesOf(result.firmwareVersion), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(BytesOf(result.reserved), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(BytesOf(result.manufacturingData), BytesOf(ByteArray("ABCDEFGHIJKLMNOP")));
    EXPECT_TRUE(result.additionalData.IsEmpty());

    // Bytes before F7 beyond the fixed fields are additional data.
    ASSERT_EQ(protocol.ParseIdentityReply(Message(Reply({0x07, 0x08})), result), 0);
    EXPECT_EQ(BytesOf(result.additionalData), (Bytes{0x07, 0x08}));

    // A 1-byte manufacturer id: every later offset two lower.
    Bytes shortId = Reply({0x09});
    shortId.erase(shortId.begin() + 5, shortId.begin() + 8);
    shortId.insert(shortId.begin() + 5, 0x41);
    ASSERT_EQ(protocol.ParseIdentityReply(Message(shortId), result), 0);
    EXPECT_EQ(BytesOf(result.manufacturerID), (Bytes{0x41}));
    EXPECT_EQ(result.productID, 0x0E);
    EXPECT_EQ(result.deviceID, 0x05);
    EXPECT_EQ(BytesOf(result.manufacturingData), BytesOf(ByteArray("ABCDEFGHIJKLMNOP")));
    EXPECT_EQ(BytesOf(result.additionalData), (Bytes{0x09}));
}

TEST(IdentityInquiry, EveryTruncationAndMismatchFailsWithinTheBytesGiven)
{
    const Vx::MidiInquiryProtocol protocol;
    const Bytes whole = Reply({0x07});

    // Every shorter message is refused; ASan sees any read past its bytes.
    for (size_t size = 0; size < whole.size(); ++size)
    {
        Bytes cut(whole.begin(), whole.begin() + static_cast<long>(size));
        if (size > 0)
            cut.back() = 0xF7;
        Vx::MidiInquiryResult result;
        EXPECT_EQ(protocol.ParseIdentityReply(Message(cut), result), kInvalid) << size;
    }

    struct Case
    {
        const char* name;
        Bytes message;
    };
    Bytes notAReply = Reply();
    notAReply[4] = 0x01;
    Bytes notUniversal = Reply();
    notUniversal[1] = 0x7D;
    Bytes noStart = Reply();
    noStart[0] = 0x90;
    const Case cases[] = {
        {"length says one more", Reply({}, +1)},
        {"length says one less", Reply({0x07}, -1)},
        {"a request, as Midi Through echoes it", {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}},
        {"header only", {0xF0, 0x7E, 0x00, 0x06, 0x02, 0xF7}},
        {"not a reply", notAReply},
        {"not universal", notUniversal},
        {"no start byte", noStart},
    };
    for (const auto& c : cases)
    {
        Vx::MidiInquiryResult result;
        EXPECT_EQ(protocol.ParseIdentityReply(Message(c.message), result), kInvalid) << c.name;
    }

    // A length mismatch fails before a firmware byte is stored.
    Vx::MidiInquiryResult result;
    result.firmwareVersion.Add(9);
    ASSERT_EQ(protocol.ParseIdentityReply(Message(Reply({}, +1)), result), kInvalid);
    EXPECT_TRUE(result.firmwareVersion.IsEmpty());
    EXPECT_EQ(result.productID, 0x0E);
}

TEST(IdentityInquiry, TextForms)
{
    const Vx::MidiInquiryProtocol protocol;
    const auto bytes = [](const Bytes& values) {
        Vx::MidiInquiryResult::Bytes out;
        for (const int value : values)
            out.Add(static_cast<signed char>(value));
        return out;
    };
    struct Case
    {
        Bytes bytes;
        const char *compact, *dotted;
    };
    for (const Case& c : {Case{{1, 2, 3, 4}, "12.34", "1.2.3.4"}, Case{{1, 2, 0, 5}, "12.05", "1.2.0.5"},
                          Case{{}, "N/A", "N/A"}, Case{{1, 2, 3}, "UNKNOWN FORMAT", "UNKNOWN FORMAT"}})
    {
        EXPECT_STREQ(protocol.FormatFirmwareVersion(bytes(c.bytes)).GetCString(), c.compact);
        EXPECT_STREQ(protocol.FormatFirmwareVersionDotted(bytes(c.bytes)).GetCString(), c.dotted);
    }
    EXPECT_STREQ(protocol.FormatManufacturingData(bytes({0x41, 0x0A, 0xFF})).GetCString(), "410AFF");
    EXPECT_STREQ(protocol.FormatManufacturingData(bytes({})).GetCString(), "");
    EXPECT_STREQ(protocol.FormatByte(bytes({7})).GetCString(), "7");
    EXPECT_STREQ(protocol.FormatByte(bytes({})).GetCString(), "N/A");
    EXPECT_STREQ(protocol.FormatByte(bytes({7, 8})).GetCString(), "UNKNOWN FORMAT");
}
