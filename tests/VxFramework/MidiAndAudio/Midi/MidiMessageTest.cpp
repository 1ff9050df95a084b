#include "VxFramework/MidiAndAudio/Midi/MidiMessage.h"
#include "VxFramework/MidiAndAudio/Midi/MidiFilter.h"
#include "VxFramework/MidiAndAudio/Midi/MidiNotificationData.h"
#include "VxFramework/MidiAndAudio/Midi/MidiPortProperties.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/CountAllocations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Vx::MidiMessage;

namespace
{
using Bytes = std::vector<int>;

MidiMessage Message(const Bytes& bytes)
{
    MidiMessage message;
    for (const int byte : bytes)
        message.Add(static_cast<signed char>(byte));
    return message;
}

Bytes BytesOf(const Vx::IArray<signed char>& message)
{
    Bytes bytes;
    for (std::uint32_t i = 0; i < message.GetCount(); ++i)
        bytes.push_back(static_cast<unsigned char>(message.GetDataConst()[i]));
    return bytes;
}

Vx::Array<MidiMessage> List(const std::vector<Bytes>& entries)
{
    Vx::Array<MidiMessage> list;
    for (const auto& entry : entries)
        list.Add(Message(entry));
    return list;
}

bool Matches(Vx::LMidiFilterByDenyAllowPrefixLists& filter, const Bytes& bytes)
{
    const MidiMessage message = Message(bytes);
    return filter.Match(message.GetDataConst(), message.GetCount());
}
} // namespace

TEST(MidiMessage, MakersAndConstructorsHoldTheirBytesInOrder)
{
    EXPECT_EQ(BytesOf(MidiMessage()), Bytes{});
    EXPECT_EQ(BytesOf(MidiMessage(static_cast<signed char>(0xF8))), (Bytes{0xF8}));
    EXPECT_EQ(BytesOf(MidiMessage(static_cast<signed char>(0xC0), 5)), (Bytes{0xC0, 5}));
    EXPECT_EQ(BytesOf(MidiMessage::Make1(0xFA)), (Bytes{0xFA}));
    EXPECT_EQ(BytesOf(MidiMessage::Make2(0xD1, 0x40)), (Bytes{0xD1, 0x40}));
    EXPECT_EQ(BytesOf(MidiMessage::Make3(0xB0, 0x11, 0x7F)), (Bytes{0xB0, 0x11, 0x7F}));

    // From any signed-byte array, a capture payload's bytes included.
    Vx::LMidiCaptureNotificationData payload;
    for (const int byte : {0x90, 0x3C, 0x7F, 0x00})
        payload.message.Add(static_cast<signed char>(byte));
    EXPECT_EQ(BytesOf(MidiMessage(payload.message)), (Bytes{0x90, 0x3C, 0x7F, 0x00}));
}

TEST(MidiMessage, CopiesNeverShareAndSmallMessagesNeedNoHeap)
{
    const std::uint64_t before = VxTest::ThreadAllocationCount();
    MidiMessage note = MidiMessage::Make3(0x90, 0x3C, 0x7F);
    MidiMessage copy(note);
    MidiMessage assigned;
    assigned = copy;
    EXPECT_EQ(VxTest::ThreadAllocationCount(), before) << "up to three bytes stay in the object";

    copy.GetData()[2] = 0;
    EXPECT_EQ(BytesOf(note), (Bytes{0x90, 0x3C, 0x7F}));
    EXPECT_EQ(BytesOf(assigned), (Bytes{0x90, 0x3C, 0x7F}));

    // Growing past three moves the bytes to the heap, shrinking brings them back.
    note.Add(0x11);
    EXPECT_EQ(BytesOf(note), (Bytes{0x90, 0x3C, 0x7F, 0x11}));
    MidiMessage large(note);
    note.SetCount(2);
    EXPECT_EQ(BytesOf(note), (Bytes{0x90, 0x3C}));
    EXPECT_EQ(BytesOf(large), (Bytes{0x90, 0x3C, 0x7F, 0x11}));
}

TEST(MidiMessage, IsEqualComparesCountAndBytes)
{
    struct Case
    {
        Bytes a, b;
        bool equal;
    };
    const Case cases[] = {
        {{0xB0, 0x06, 0x01}, {0xB0, 0x06, 0x01}, true},
        {{0xB0, 0x06, 0x01}, {0xB0, 0x06, 0x01, 0x00}, false},
        {{0xB0, 0x06, 0x01}, {0xB0, 0x06, 0x02}, false},
        {{}, {}, true},
        {{}, {0x00}, false},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(Message(c.a).IsEqual(Message(c.b)), c.equal);
        EXPECT_EQ(Message(c.b).IsEqual(Message(c.a)), c.equal);
    }
}

TEST(MidiMessage, HexTextBothWays)
{
    EXPECT_EQ(BytesOf(MidiMessage::FromHexString("B011")), (Bytes{0xB0, 0x11}));
    EXPECT_EQ(BytesOf(MidiMessage::FromHexString("f0003a51F7")), (Bytes{0xF0, 0x00, 0x3A, 0x51, 0xF7}));

    const MidiMessage init = MidiMessage::FromHexString("F0003A517F0E60000404010100F7");
    EXPECT_EQ(BytesOf(init),
              (Bytes{0xF0, 0x00, 0x3A, 0x51, 0x7F, 0x0E, 0x60, 0x00, 0x04, 0x04, 0x01, 0x01, 0x00, 0xF7}));
    EXPECT_STREQ(MidiMessage::ToHexString(init).GetCString(), "F0003A517F0E60000404010100F7");

    struct Case
    {
        int count;
        const char* text;
    };
    const MidiMessage message = Message({0xF0, 0x7E, 0x01});
    for (const Case c : {Case{0, ""}, Case{2, "F07E"}, Case{-1, "F07E01"}, Case{99, "F07E01"}})
        EXPECT_STREQ(MidiMessage::ToHexString(message, c.count).GetCString(), c.text) << c.count;
    EXPECT_STREQ(MidiMessage::ToHexString(MidiMessage()).GetCString(), "");
}

TEST(MidiMessage, MalformedHexTextIsTracedAndGivesNoMessage)
{
    VxTest::CaptureStderr capture;
    const MidiMessage odd = MidiMessage::FromHexString("B01");
    const MidiMessage bad = MidiMessage::FromHexString("B0X17F");
    const MidiMessage badLast = MidiMessage::FromHexString("F0003A51F7G7");
    const std::string text = capture.Finish();

    // Zeros in place of the bad digits would make another message.
    EXPECT_EQ(BytesOf(odd), Bytes{});
    EXPECT_EQ(BytesOf(bad), Bytes{});
    EXPECT_EQ(BytesOf(badLast), Bytes{});
    EXPECT_NE(text.find("Invalid String passed to StringT::DecodeBinaryData"), std::string::npos) << text;
}

TEST(MidiMessage, PrefixesAndNoteOffEquivalence)
{
    const MidiMessage note = Message({0x90, 0x3C, 0x7F});
    EXPECT_TRUE(MidiMessage::StartsWith(note, MidiMessage()));
    EXPECT_TRUE(MidiMessage::StartsWith(note, Message({0x90, 0x3C})));
    EXPECT_TRUE(MidiMessage::StartsWith(note, note));
    EXPECT_FALSE(MidiMessage::StartsWith(note, Message({0x90, 0x3C, 0x7F, 0x00})));
    EXPECT_FALSE(MidiMessage::StartsWith(note, Message({0x91})));

    struct Case
    {
        Bytes a, b;
        bool equivalent;
    };
    const Case cases[] = {
        {{0x80, 0x3C, 0x40}, {0x90, 0x3C, 0x00}, true},  {{0x8F, 0x01, 0x00}, {0x9F, 0x01, 0x00}, true},
        {{0x80, 0x3C, 0x40}, {0x91, 0x3C, 0x00}, false}, // channel
        {{0x80, 0x3C, 0x40}, {0x90, 0x3D, 0x00}, false}, // key
        {{0x80, 0x3C, 0x40}, {0x90, 0x3C, 0x01}, false}, // a real note-on
        {{0x90, 0x3C, 0x00}, {0x80, 0x3C, 0x40}, false}, // order
        {{0x80, 0x3C, 0x40}, {0x3C, 0x00}, false},       // running status
    };
    for (const auto& c : cases)
        EXPECT_EQ(MidiMessage::IsNoteOffEquivalent(Message(c.a), Message(c.b)), c.equivalent);

    EXPECT_TRUE(MidiMessage::AreNoteOffEquivalent(Message({0x90, 0x3C, 0x00}), Message({0x80, 0x3C, 0x40})));
    EXPECT_FALSE(MidiMessage::AreNoteOffEquivalent(Message({0x90, 0x3C, 0x00}), Message({0x90, 0x3C, 0x00})));
}

TEST(MidiFilter, DenyListFirstThenAllowList)
{
    struct Case
    {
        const char* name;
        std::vector<Bytes> deny, allow;
        Bytes message;
        bool delivered;
    };
    const Case cases[] = {
        {"empty filter", {}, {}, {0x90, 0x3C, 0x7F}, true},
        {"empty filter, empty message", {}, {}, {}, true},
        {"empty deny entry", {{}}, {}, {0xF8}, false},
        {"empty deny entry, empty message", {{}}, {}, {}, false},
        {"empty allow entry", {}, {{}}, {0xF8}, true},
        {"deny wins", {{0xB0}}, {{0xB0, 0x06}}, {0xB0, 0x06, 0x7F}, false},
        {"deny only passes the rest", {{0xB0}}, {}, {0xB1, 0x06, 0x7F}, true},
        {"allow only, other status", {}, {{0x90}}, {0x80, 0x3C, 0x00}, false},
        {"allow only, its status", {}, {{0x90}}, {0x90, 0x3C, 0x7F}, true},
        {"allow entry longer than the message", {}, {{0xF0, 0x7E}}, {0xF0}, false},
        {"deny entry longer than the message", {{0xF0, 0x7E}}, {}, {0xF0}, true},
        {"second allow entry", {}, {{0x90}, {0xF0}}, {0xF0, 0x7E, 0xF7}, true},
    };
    for (const auto& c : cases)
    {
        const auto filter = Vx::LMidiFilterByDenyAllowPrefixLists::Create();
        filter->SetDenyList(List(c.deny));
        filter->SetAllowList(List(c.allow));
        EXPECT_EQ(Matches(*filter, c.message), c.delivered) << c.name;
    }
}

TEST(MidiFilter, ACopyKeepsItsOwnLists)
{
    const auto filter = Vx::LMidiFilterByDenyAllowPrefixLists::Create();
    filter->SetAllowList(List({{0xF0}}));

    const Vx::RCPtr<Vx::LMidiFilterByDenyAllowPrefixLists> copy(filter->CreateCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.Get(), filter.Get());

    filter->SetAllowList(List({{0x90}}));
    EXPECT_TRUE(Matches(*copy, {0xF0, 0xF7}));
    EXPECT_FALSE(Matches(*copy, {0x90, 1, 2}));
    EXPECT_TRUE(Matches(*filter, {0x90, 1, 2}));
}

TEST(MidiPortProperties, DefaultsAndFieldByFieldCopies)
{
    const Vx::MidiPortProperties defaults;
    EXPECT_EQ(defaults.functionID, -1);
    EXPECT_EQ(defaults.functionIndex, 0);
    EXPECT_EQ(static_cast<unsigned char>(defaults.productID), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(defaults.deviceID), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(defaults.inquiryDeviceID), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(defaults.rgbLedCommand), 0xFF);
    EXPECT_FALSE(defaults.rgbLedIndexed);
    EXPECT_FALSE(defaults.rn19Variant);
    EXPECT_EQ(defaults.manufacturerID.GetCount(), 0u);
    EXPECT_EQ(defaults.firmwareVersion.GetCount(), 0u);
    EXPECT_EQ(defaults.manufacturingData.GetCount(), 0u);
    EXPECT_TRUE(defaults.inputPortName.IsEmpty());
    EXPECT_TRUE(defaults.outputPortName.IsEmpty());

    Vx::MidiPortProperties filled;
    filled.functionID = 3;
    filled.functionIndex = 1;
    for (const int byte : {0x00, 0x3A, 0x51})
        filled.manufacturerID.Add(static_cast<signed char>(byte));
    filled.productID = 0x0E;
    filled.deviceID = 0x7F;
    filled.inquiryDeviceID = 0x10;
    for (int i = 0; i < 4; ++i)
        filled.firmwareVersion.Add(static_cast<signed char>(i));
    for (int i = 0; i < 16; ++i)
        filled.manufacturingData.Add(static_cast<signed char>(0x30 + i));
    filled.inputPortName = "USB MIDI Device";
    filled.outputPortName = "USB MIDI Device Out";
    filled.rgbLedCommand = 0x05;
    filled.rgbLedIndexed = true;
    filled.rn19Variant = true;

    Vx::MidiPortProperties copy(filled);
    Vx::MidiPortProperties assigned;
    assigned = filled;
    // The copies own their bytes.
    filled.manufacturingData.GetData()[0] = 0;
    filled.inputPortName = "changed";
    for (const auto* properties : {&copy, &assigned})
    {
        EXPECT_EQ(properties->functionID, 3);
        EXPECT_EQ(properties->functionIndex, 1);
        EXPECT_EQ(BytesOf(properties->manufacturerID), (Bytes{0x00, 0x3A, 0x51}));
        EXPECT_EQ(properties->productID, 0x0E);
        EXPECT_EQ(properties->deviceID, 0x7F);
        EXPECT_EQ(properties->inquiryDeviceID, 0x10);
        EXPECT_EQ(BytesOf(properties->firmwareVersion), (Bytes{0, 1, 2, 3}));
        EXPECT_EQ(properties->manufacturingData.GetCount(), 16u);
        EXPECT_EQ(properties->manufacturingData[0], 0x30);
        EXPECT_STREQ(properties->inputPortName.GetCString(), "USB MIDI Device");
        EXPECT_STREQ(properties->outputPortName.GetCString(), "USB MIDI Device Out");
        EXPECT_EQ(properties->rgbLedCommand, 0x05);
        EXPECT_TRUE(properties->rgbLedIndexed);
        EXPECT_TRUE(properties->rn19Variant);
    }
}

TEST(MidiCapturePayload, ThePoolGrowsToWhatIsInFlightAndReusesTheLastFreed)
{
    auto& pool = Vx::LMidiCaptureNotificationData::GetPool();
    const std::uint32_t blocks = pool.GetBlockCount();

    // More at once than the pool holds: it grows by one block each.
    std::vector<Vx::RCPtr<Vx::LMidiCaptureNotificationData>> inFlight;
    for (std::uint32_t i = 0; i < blocks + 3; ++i)
        inFlight.emplace_back(new Vx::LMidiCaptureNotificationData());
    EXPECT_EQ(pool.GetBlockCount(), blocks + 3);

    const std::uint32_t lastFreed = pool.GetIndex(inFlight[1].Get());
    inFlight[1] = nullptr;
    const Vx::RCPtr<Vx::LMidiCaptureNotificationData> next(new Vx::LMidiCaptureNotificationData());
    EXPECT_EQ(pool.GetIndex(next.Get()), lastFreed);
    inFlight.clear();

    // Reused, a payload of four bytes with its port name needs no heap memory.
    const Vx::StringT<char, unsigned short> portName("USB MIDI Device");
    const std::uint64_t before = VxTest::ThreadAllocationCount();
    {
        const Vx::RCPtr<Vx::LMidiCaptureNotificationData> payload(new Vx::LMidiCaptureNotificationData());
        payload->portName = portName;
        payload->message.SetCount(4);
    }
    EXPECT_EQ(VxTest::ThreadAllocationCount(), before);
    EXPECT_EQ(pool.GetBlockCount(), blocks + 3);
}
