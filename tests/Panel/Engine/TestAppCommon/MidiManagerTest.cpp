// Port identification at start-up, the lookups by function and the control
// surface's initialisation, on the simulated sequencer.

#include "Panel/Engine/TestAppCommon/MidiManager.h"
#include "Panel/Main/MidiStartup.h"

#include "tests/Panel/Engine/TestAppCommon/MidiProtocolTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

using namespace VxTest;
using Vx::RCPtr;
using Vx::VxRESULT;

namespace
{
constexpr VxRESULT kFail = static_cast<VxRESULT>(0x80000008);

class MidiManager : public MidiWorld
{
protected:
    VxRESULT Detect(const Vx::Array<Vx::MidiPortProperties>& required = Vx::LMidiManager::GetRequiredFunctions())
    {
        CaptureStderr capture;
        const VxRESULT result = manager->DetectPorts(required);
        trace = capture.Finish();
        return result;
    }

    void ExpectTraced(std::initializer_list<const char*> lines)
    {
        for (const char* line : lines)
            EXPECT_NE(trace.find(line), std::string::npos) << line << "\n" << trace;
    }

    std::string trace;
};
} // namespace

TEST_F(MidiManager, FindsTheControlSurfaceByInquiryAndGreetsIt)
{
    // An input without an output of its name, which is never asked.
    sequencer.addDevice("Keyboard", {{"Keyboard MIDI 1", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ}});
    {
        CaptureStderr capture;
        InstallManager();
        trace = capture.Finish();
    }
    ExpectTraced({"MIDI input devices found:  3\n", "  MIDI input device #0:  Midi Through\n",
                  "  MIDI input device #1:  Control Surface\n", "  MIDI input device #2:  Keyboard\n",
                  "MIDI output devices found: 2\n", "  MIDI output device #1: Control Surface\n"});

    ASSERT_EQ(Detect(), 0) << trace;
    ExpectTraced({"Skipping inquiry for input port \"Keyboard\": no matching output port\n",
                  "Checking required MIDI port: functionID=0, functionIndex=0, manufacturerID=003A51, "
                  "productID=0x0E, deviceID=0x00, inputPortName=\"\", outputPortName=\"\"\n",
                  "  Found MIDI ports: inputPortName=\"Control Surface\", outputPortName=\"Control Surface\"\n"});
    // Midi Through was asked too: its echo of the request is no reply.
    EXPECT_NE(trace.find("  Inquiry output  : Midi Through"), std::string::npos);
    EXPECT_EQ(board->getNumIdentityRequests(), 1);

    EXPECT_STREQ(Vx::GetMidiInputPortNameByFunction(0, 0).GetCString(), kBoard);
    EXPECT_STREQ(Vx::GetMidiOutputPortNameByFunction(0, 0).GetCString(), kBoard);
    const Vx::MidiPortProperties found = Vx::GetMidiPortPropertiesByFunction(0, 0);
    EXPECT_EQ(BytesOf(found.firmwareVersion), (Bytes{1, 2, 0, 5}));
    EXPECT_EQ(found.deviceID, 0x00);
    EXPECT_EQ(found.inquiryDeviceID, 0x00);

    Vx::MidiPortProperties other;
    EXPECT_EQ(manager->GetPortProperties(1, 0, other), kFail);
    EXPECT_EQ(other.functionID, -1) << "left as it was";
    Vx::LMidiManager::String input("x"), output("y");
    EXPECT_EQ(Vx::LMidiManager::GetPortNames(1, 0, input, output), kFail);
    EXPECT_TRUE(input.IsEmpty());
    EXPECT_TRUE(output.IsEmpty());

    // Clients by function: the input only for a receiver.
    EXPECT_TRUE(Vx::LMidiClient::CreateForFunction(0, 0, nullptr)->GetInputPortName().IsEmpty());
    const RCPtr<RecordingReceiver> receiver(new RecordingReceiver());
    EXPECT_STREQ(Vx::LMidiClient::CreateForFunction(0, 0, receiver)->GetInputPortName().GetCString(), kBoard);

    CaptureStderr capture;
    EXPECT_EQ(Vx::SendControlSurfaceInitMessage(), 0);
    trace = capture.Finish();
    ExpectTraced({"Sending INIT command to control surface: F0003A517F0E60000404010100F7\n"});
    EXPECT_EQ(BoardMessages(*board).back(),
              (Bytes{0xF0, 0x00, 0x3A, 0x51, 0x7F, 0x0E, 0x60, 0x00, 0x04, 0x04, 0x01, 0x01, 0x00, 0xF7}));
}

TEST_F(MidiManager, OfTwoIdenticalBoardsTheFirstListedIsTaken)
{
    UnplugMidiThrough();
    Sim::SimControllerBoard second(sequencer, kBoard);
    InstallManager();
    ASSERT_EQ(Detect(), 0) << trace;
    // JUCE numbers the names it lists twice.
    EXPECT_STREQ(Vx::GetMidiInputPortNameByFunction(0, 0).GetCString(), "Control Surface (1)");
    EXPECT_EQ(board->getNumIdentityRequests(), 1);
    EXPECT_EQ(second.getNumIdentityRequests(), 1);
}

TEST_F(MidiManager, ABoardWithAnotherDeviceIdIsNotTheControlSurface)
{
    UnplugMidiThrough();
    auto identity = board->getIdentity();
    identity.deviceId = 0x05;
    board->setIdentity(identity);
    InstallManager();
    EXPECT_EQ(Detect(), kFail);
    ExpectTraced({"  Could not find required MIDI ports\n"});
    EXPECT_EQ(board->getNumIdentityRequests(), 1) << "one attempt per port and device id";
    EXPECT_TRUE(Vx::GetMidiInputPortNameByFunction(0, 0).IsEmpty());
    // Still an entry, without ports: a client for it cannot open.
    Vx::MidiPortProperties entry;
    EXPECT_EQ(manager->GetPortProperties(0, 0, entry), 0);
    CaptureStderr capture;
    EXPECT_EQ(Vx::SendControlSurfaceInitMessage(), static_cast<VxRESULT>(0x80000003));
    capture.Finish();
}

TEST_F(MidiManager, PortsNamedExplicitlyAreNotInquired)
{
    UnplugMidiThrough();
    InstallManager();
    auto required = Vx::LMidiManager::GetRequiredFunctions();
    required.GetAt(0)->inputPortName = kBoard;
    required.GetAt(0)->outputPortName = kBoard;
    ASSERT_EQ(Detect(required), 0) << trace;
    ExpectTraced({"Skipping inquiry for input port \"Control Surface\": port explicitly assigned\n",
                  "  Port name explicitly specified, skipping automatic port detection\n"});
    EXPECT_EQ(board->getNumIdentityRequests(), 0);
    EXPECT_STREQ(Vx::GetMidiOutputPortNameByFunction(0, 0).GetCString(), kBoard);
}

TEST_F(MidiManager, EachDetectionStartsAgainFromTheRequiredFunctions)
{
    UnplugMidiThrough();
    InstallManager();
    ASSERT_EQ(Detect(), 0);
    board->unplug();
    EXPECT_EQ(Detect(), kFail);
    EXPECT_TRUE(Vx::GetMidiInputPortNameByFunction(0, 0).IsEmpty()) << "names found before are dropped";
    board->plugIn();
    EXPECT_EQ(Detect(), 0);
    EXPECT_EQ(board->getNumIdentityRequests(), 2);
}

TEST_F(MidiManager, WithNoPortsAtAllNothingIsFound)
{
    UnplugMidiThrough();
    board.reset();
    CaptureStderr capture;
    InstallManager();
    trace = capture.Finish();
    ExpectTraced({"MIDI input devices found:  0\n", "MIDI output devices found: 0\n"});
    EXPECT_EQ(Detect(), kFail);
    EXPECT_TRUE(Vx::GetMidiPortPropertiesByFunction(0, 0).inputPortName.IsEmpty());
    // Without the application's manager every lookup comes back empty.
    scope.reset();
    EXPECT_EQ(Vx::GetMidiPortPropertiesByFunction(0, 0).functionID, -1);
}
