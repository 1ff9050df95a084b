// The hardware-control tests' tables of expected messages.

#include "Panel/Engine/SwitchesTestDeviceSpecificInfo.h"

#include "tests/Panel/Engine/TestAppCommon/MidiProtocolTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace VxTest;
using Vx::SwitchesTestDeviceSpecificInfo;

namespace
{
std::vector<Bytes> List(const Vx::Array<Vx::MidiMessage>& messages)
{
    std::vector<Bytes> out;
    for (std::uint32_t i = 0; i < messages.GetCount(); ++i)
        out.push_back(BytesOf(*messages.GetAtConst(i)));
    return out;
}

// One message per step.
std::vector<Bytes> Steps(const Vx::MidiInputTestBinding& binding)
{
    std::vector<Bytes> steps;
    for (std::uint32_t i = 0; i < binding.expectedSteps.GetCount(); ++i)
    {
        const auto step = List(*binding.expectedSteps.GetAtConst(i));
        EXPECT_EQ(step.size(), 1u);
        steps.push_back(step.empty() ? Bytes() : step[0]);
    }
    return steps;
}

std::string Path(const Vx::MidiInputTestBinding& binding)
{
    EXPECT_EQ(binding.controlPath.GetCount(), 2u);
    return std::string(binding.controlPath.GetAtConst(0)->GetCString()) + "/" +
           binding.controlPath.GetAtConst(1)->GetCString();
}
} // namespace

TEST(SwitchesTestBindings, TheTablesAndTheirCounts)
{
    SwitchesTestDeviceSpecificInfo table;

    table.AddPlatterGroup();
    ASSERT_EQ(table.GetCount(), 1u);
    EXPECT_EQ(Path(table[0]), "platterGroup/pot");
    EXPECT_EQ(Steps(table[0]), (std::vector<Bytes>{{0xB0, 0x11}, {0xB0, 0x31}}));
    // The platter tolerates exactly what its page denies.
    EXPECT_EQ(List(table[0].toleratedPrefixes), (std::vector<Bytes>{{0xB0, 0x36}, {0xB0, 0x37}, {0xE0}}));
    EXPECT_EQ(List(table[0].toleratedPrefixes), List(SwitchesTestDeviceSpecificInfo::CreatePlatterDenyList()));

    table.AddButtonGroup();
    ASSERT_EQ(table.GetCount(), 40u);
    EXPECT_EQ(Path(table[0]), "buttonGroup/button01EjectMedia");
    EXPECT_EQ(Steps(table[0]), (std::vector<Bytes>{{0x90, 0x0F, 0x7F}, {0x80, 0x0F, 0x00}}));
    EXPECT_EQ(Path(table[27]), "buttonGroup/button28SavedLoop");
    EXPECT_EQ(Steps(table[27])[0], (Bytes{0x90, 30, 0x7F}));
    EXPECT_EQ(Path(table[39]), "buttonGroup/button40Pad08");
    EXPECT_EQ(Steps(table[39])[1], (Bytes{0x80, 39, 0x00}));
    // Every note once, every binding with nothing else.
    std::vector<int> notes;
    for (std::uint32_t i = 0; i < table.GetCount(); ++i)
    {
        notes.push_back(Steps(table[i])[0][1]);
        EXPECT_TRUE(table[i].toleratedPrefixes.IsEmpty());
        EXPECT_TRUE(table[i].key0Messages.IsEmpty());
        EXPECT_TRUE(table[i].key1Messages.IsEmpty());
        EXPECT_EQ(table[i].labelValueA, 0);
        EXPECT_EQ(table[i].labelValueB, 0);
    }
    std::sort(notes.begin(), notes.end());
    EXPECT_EQ(std::adjacent_find(notes.begin(), notes.end()), notes.end());

    // Each group replaces what was there.
    table.AddPotGroup();
    table.AddPotGroup();
    ASSERT_EQ(table.GetCount(), 2u);
    EXPECT_EQ(Path(table[0]), "potGroup/pot01StopTime");
    EXPECT_EQ(Steps(table[0]), (std::vector<Bytes>{{0xB0, 0x07}}));
    EXPECT_EQ(Steps(table[1]), (std::vector<Bytes>{{0xB0, 0x08}, {0xB0, 0x28}}));

    table.AddEncoderGroup();
    ASSERT_EQ(table.GetCount(), 2u);
    EXPECT_EQ(Path(table[1]), "encoderGroup/encoder02AutoLoop");
    EXPECT_EQ(Steps(table[0]), (std::vector<Bytes>{{0xB0, 0x06}}));
    EXPECT_EQ(Steps(table[1]), (std::vector<Bytes>{{0xB0, 0x03}}));

    EXPECT_EQ(List(SwitchesTestDeviceSpecificInfo::CreateButtonDenyList()), (std::vector<Bytes>{{0xB0}, {0xE0}}));
    EXPECT_EQ(List(SwitchesTestDeviceSpecificInfo::CreateEncoderDenyList()),
              (std::vector<Bytes>{{0xB0, 0x11}, {0xB0, 0x31}, {0xB0, 0x36}, {0xB0, 0x37}, {0xE0}}));
}

TEST(SwitchesTestBindings, ButtonKindsAndOrders)
{
    using Info = SwitchesTestDeviceSpecificInfo;
    EXPECT_EQ(Steps(Info::CreateButtonBinding("g", "c", Info::kControlChange, Info::kPressFirst, 0, 64)),
              (std::vector<Bytes>{{0xB0, 0x40, 0x7F}, {0xB0, 0x40, 0x00}}));
    EXPECT_EQ(Steps(Info::CreateButtonBinding("g", "c", Info::kNote, Info::kReleaseFirst, 2, 5)),
              (std::vector<Bytes>{{0x82, 0x05, 0x00}, {0x92, 0x05, 0x7F}}));

    CaptureStderr capture;
    const auto badKind = Info::CreateButtonBinding("g", "c", 7, Info::kPressFirst, 0, 5);
    const auto badOrder = Info::CreateButtonBinding("g", "c", Info::kNote, 9, 0, 5);
    const std::string text = capture.Finish();
    EXPECT_EQ(CountOf(text, "JUCE Assertion failure in SwitchesTestDeviceSpecificInfo.cpp:"), 2) << text;
    EXPECT_EQ(Steps(badKind), (std::vector<Bytes>{{0x90, 0x05, 0x7F}, {0x80, 0x05, 0x00}})) << "a note";
    EXPECT_EQ(Steps(badOrder), (std::vector<Bytes>{{0x80, 0x05, 0x00}, {0x90, 0x05, 0x7F}})) << "release first";
}
