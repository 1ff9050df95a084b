// Programming the serial number into the simulated board and the boot
// loader's environment, and reading both back.

#include "Panel/Engine/TestAppCommon/SerialNumberProgramming.h"

#include "tests/Panel/Engine/TestAppCommon/MidiProtocolTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <vector>

using namespace VxTest;
using Vx::SerialNumberProgramming;
using Vx::VxRESULT;

namespace
{
using String = Vx::StringT<char, unsigned short>;

// The boot loader's environment as its tools would keep it.
struct Bootloader
{
    static bool Set(const String& value)
    {
        setCalls.push_back(value.GetCString());
        if (!toolWorks)
            return false;
        stored = value.GetCString();
        return true;
    }
    static bool Get(String& value)
    {
        ++getCalls;
        value = stored.c_str();
        return toolWorks;
    }
    static Vx::BootloaderSerialNumberCalls Calls() { return {&Set, &Get}; }
    static void Reset()
    {
        setCalls.clear();
        getCalls = 0;
        stored.clear();
        toolWorks = true;
    }

    static inline std::vector<std::string> setCalls;
    static inline int getCalls = 0;
    static inline std::string stored;
    static inline bool toolWorks = true;
};

class SerialProgramming : public MidiWorld
{
protected:
    void SetUp() override
    {
        MidiWorld::SetUp();
        Bootloader::Reset();
        UnplugMidiThrough();
        InstallManager();
        CaptureStderr capture;
        ASSERT_EQ(manager->DetectPorts(), 0) << capture.Finish();
        programming = std::make_unique<SerialNumberProgramming>(Bootloader::Calls());
        detectionMessages = BoardMessages(*board).size();
    }

    // What reached the board after detection's inquiry.
    std::vector<Bytes> NewBoardMessages()
    {
        const auto all = BoardMessages(*board);
        return std::vector<Bytes>(all.begin() + static_cast<long>(detectionMessages), all.end());
    }

    void TearDown() override
    {
        programming.reset();
        MidiWorld::TearDown();
    }

    // Both steps as the serial page runs them: MIDI, then the boot loader.
    std::pair<int, int> ProgramAndVerify(const std::string& serial)
    {
        CaptureStderr capture;
        SerialNumberProgramming::Bytes midi, bootloader;
        const int midiStatus = programming->ProgramAndVerifyMidiDeviceSerialNumber(ByteArray(serial), midi);
        const int bootloaderStatus = programming->ProgramAndVerifyBootloaderSerialNumber(ByteArray(serial), bootloader);
        trace = capture.Finish();
        return {midiStatus, bootloaderStatus};
    }

    std::unique_ptr<SerialNumberProgramming> programming;
    std::string trace;
    size_t detectionMessages = 0;
};

const std::pair<int, int> kBothPassed{2, 2};
} // namespace

TEST_F(SerialProgramming, WritesBothCopiesAndReadsThemBack)
{
    EXPECT_EQ(ProgramAndVerify("ABCDEFGHIJKLMNO"), kBothPassed) << trace;
    // Exactly one message of manufacturing data, then the identity request.
    const auto messages = NewBoardMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], (Bytes{0xF0, 0x00, 0x3A, 0x51, 0x00, 0x0E, 0x79, 0x00, 0x10, 0x41, 0x42, 0x43, 0x44,
                                  0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x00, 0xF7}));
    EXPECT_EQ(messages[1], (Bytes{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}));
    const auto stored = board->getIdentity().manufacturingData;
    EXPECT_EQ(Bytes(stored.begin(), stored.end()), BytesOf(ByteArray(std::string("ABCDEFGHIJKLMNO\0", 16))));
    EXPECT_EQ(Bootloader::setCalls, std::vector<std::string>{"ABCDEFGHIJKLMNO"});
    for (const char* line : {"Programming MIDI serial number\n", "Reading back MIDI serial number\n",
                             "MIDI Serial: ABCDEFGHIJKLMNO\n", "Programming bootloader serial number\n",
                             "Reading back bootloader serial number\n", "Bootloader Serial: ABCDEFGHIJKLMNO\n"})
        EXPECT_NE(trace.find(line), std::string::npos) << line << trace;

    // A serial number that a shell would take apart reaches the tool whole,
    // as one text.
    EXPECT_EQ(ProgramAndVerify("A'; $(x) `y` \"z"), kBothPassed) << trace;
    EXPECT_EQ(Bootloader::setCalls.back(), "A'; $(x) `y` \"z");
}

TEST_F(SerialProgramming, AWrongSerialNumberIsRefusedBeforeAnythingIsSent)
{
    const std::string cases[] = {
        "",
        "ABCDEFGHIJKLMN",
        "ABCDEFGHIJKLMNOP",
        std::string("ABCDEFG\0IJKLMNO", 15),
        "ABCDEFG\nIJKLMNO",
        "ABCDEFG\x7FIJKLMNO",
        "ABCDEFG\xC3\xA9JKLMNO",
    };
    for (const std::string& serial : cases)
    {
        EXPECT_EQ(ProgramAndVerify(serial), std::make_pair(1, 1)) << serial;
        EXPECT_NE(trace.find("serial number refused"), std::string::npos) << trace;
        VxRESULT refused = programming->ProgramMidiDeviceSerialNumber(ByteArray(serial));
        EXPECT_EQ(refused, static_cast<VxRESULT>(0x80000003));
    }
    EXPECT_TRUE(NewBoardMessages().empty());
    EXPECT_TRUE(Bootloader::setCalls.empty());
    EXPECT_EQ(Bootloader::getCalls, 0) << "no read-back after a refusal";
}

TEST_F(SerialProgramming, WithoutTheBoardTheBootloaderCopyStillGoesThrough)
{
    board->unplug();
    EXPECT_EQ(ProgramAndVerify("ABCDEFGHIJKLMNO"), std::make_pair(1, 2)) << trace;
    EXPECT_EQ(trace.find("Reading back MIDI serial number"), std::string::npos) << "no read-back";
}

TEST_F(SerialProgramming, ReadBacksThatDifferFail)
{
    // A board that keeps answering with what it had.
    auto identity = board->getIdentity();
    const std::string old = "OLDSERIAL";
    std::copy(old.begin(), old.end(), identity.manufacturingData.begin());
    board->setIdentityAnswer({Sim::SimControllerBoard::makeIdentityReply(identity)});
    // A boot loader whose tool fails.
    Bootloader::toolWorks = false;
    EXPECT_EQ(ProgramAndVerify("ABCDEFGHIJKLMNO"), std::make_pair(1, 1)) << trace;
    EXPECT_NE(trace.find("MIDI Serial: OLDSERIAL\n"), std::string::npos) << trace;
    EXPECT_EQ(Bootloader::getCalls, 0);

    // The serial number as the board's data holds it: the text stops at its 0.
    SerialNumberProgramming::Bytes serial;
    CaptureStderr capture;
    EXPECT_EQ(programming->ReadMidiDeviceSerialNumber(serial), 0);
    EXPECT_EQ(serial.GetCount(), 15u);
    EXPECT_STREQ(SerialNumberProgramming::TextOf(serial).GetCString(), "OLDSERIAL");

    // A board that does not answer.
    board->setIdentityAnswer({});
    EXPECT_EQ(programming->ReadMidiDeviceSerialNumber(serial), static_cast<VxRESULT>(0x80000008));
    EXPECT_EQ(serial.GetCount(), 0u);
    capture.Finish();

    // No tools at all.
    SerialNumberProgramming withoutTools{Vx::BootloaderSerialNumberCalls()};
    EXPECT_EQ(withoutTools.ProgramBootloaderSerialNumber(ByteArray("ABCDEFGHIJKLMNO")),
              static_cast<VxRESULT>(0x80000008));
    EXPECT_EQ(withoutTools.ReadBootloaderSerialNumber(serial), static_cast<VxRESULT>(0x80000008));
}
