// MIDI clients and the encoder client on the simulated sequencer.

#include "Panel/Engine/TestAppCommon/MidiClient.h"
#include "Panel/Engine/TestAppCommon/EncoderMidiClient.h"
#include "VxFramework/MidiAndAudio/Midi/MidiNotificationData.h"
#include "VxFramework/Notification/NotificationCenter.h"

#include "tests/Panel/Engine/TestAppCommon/MidiProtocolTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace VxTest;
using Vx::RCPtr;
using Vx::VxRESULT;

namespace
{
constexpr VxRESULT kFail = static_cast<VxRESULT>(0x80000008);
constexpr VxRESULT kInvalid = static_cast<VxRESULT>(0x80000003);
constexpr VxRESULT kNotAvailable = static_cast<VxRESULT>(0x80000004);

class MidiClient : public MidiWorld
{
protected:
    void SetUp() override
    {
        MidiWorld::SetUp();
        keyboard = sequencer.addDevice("Keyboard", {{"Keyboard MIDI 1"}});
        InstallManager();
    }

    bool SendFromBoard(const Bytes& bytes) { return sequencer.sendFromDevice(board->getClient(), 0, Raw(bytes)); }

    // Any bytes as one event, as a device's driver may hand them over.
    bool SendEventFromBoard(const Bytes& bytes)
    {
        std::vector<uint8_t> raw = Raw(bytes);
        snd_seq_event_t event{};
        snd_seq_ev_set_sysex(&event, static_cast<unsigned int>(raw.size()), raw.data());
        return sequencer.sendEventFromDevice(board->getClient(), 0, event);
    }

    // Sends a marker: once it arrives, everything sent before it has been
    // delivered to every client (they are served one message at a time).
    void Flush(RecordingReceiver& receiver, size_t before)
    {
        ASSERT_TRUE(SendFromBoard({0xFE}));
        const auto messages = receiver.WaitFor(before + 1);
        ASSERT_EQ(messages.size(), before + 1);
        ASSERT_EQ(messages.back(), Bytes{0xFE});
    }

    // A connection notice as the "application" centre delivers it.
    static void Notice(const char* portName, std::int32_t status)
    {
        const auto center = Vx::LNotificationCenterManager::GetInstance()->GetCenter(
            Vx::LNotificationCenterManager::GetDefaultCenterName());
        RCPtr<Vx::LNotification> notification;
        Vx::LNotification::Create(
            notification, Vx::kNidMidiInputDeviceConnectionStatusChanged,
            RCPtr<Vx::LRefCountedObject>(new Vx::LMidiDeviceConnectionStatusChangedNotification(portName, status)));
        center->Notify(notification);
    }

    int keyboard = -1;
};

class Steps : public Vx::LEncoderMidiClientCallbackReceiver
{
public:
    void OnEncoderDecrement() override { ++decrements; }
    void OnEncoderIncrement() override { ++increments; }
    std::atomic<int> decrements{0};
    std::atomic<int> increments{0};
};
} // namespace

TEST_F(MidiClient, OutputOnlySendsAndCapturesNothing)
{
    const auto client = Vx::LMidiClient::Create("", kBoard, nullptr);
    ASSERT_EQ(client->Open(), 0);
    EXPECT_TRUE(client->CanSend());
    EXPECT_FALSE(client->CanCapture());

    Vx::Array<Vx::MidiMessage> messages;
    EXPECT_EQ(client->SendMessages(messages), 1) << "an empty list";
    messages.Add(Message({0x90, 0x3C, 0x7F}));
    messages.Add(Vx::MidiMessage());
    messages.Add(Message({0x80, 0x3C, 0x00}));
    EXPECT_EQ(client->SendMessages(messages), kInvalid) << "the empty second message stops the list";
    EXPECT_EQ(client->SendHexString("B0067F"), 0);
    EXPECT_EQ(client->SendHexString("B0X67F"), kInvalid) << "bad hex sends nothing";
    EXPECT_EQ(BoardMessages(*board), (std::vector<Bytes>{{0x90, 0x3C, 0x7F}, {0xB0, 0x06, 0x7F}}));

    client->Close();
    EXPECT_FALSE(client->IsOpen());
    EXPECT_EQ(client->Send(Message({0x90, 0x3C, 0x7F})), kNotAvailable);
}

TEST_F(MidiClient, InputOnlyReceivesItsOwnPortOnTheWorkerAndSendsNothing)
{
    const RCPtr<RecordingReceiver> receiver(new RecordingReceiver());
    const auto client = Vx::LMidiClient::Create(kBoard, "", receiver);
    ASSERT_EQ(client->Open(), 0);
    EXPECT_TRUE(client->CanCapture());
    EXPECT_FALSE(client->CanSend());
    EXPECT_EQ(client->Send(Message({0x90, 0x3C, 0x7F})), kNotAvailable);

    // Another port's message reaches the service but not this client.
    const auto other = Vx::LMidiClient::Create("Keyboard", "", RCPtr<RecordingReceiver>(new RecordingReceiver()));
    ASSERT_EQ(other->Open(), 0);
    ASSERT_TRUE(sequencer.sendFromDevice(keyboard, 0, {0x90, 0x40, 0x7F}));
    ASSERT_TRUE(SendFromBoard({0xB0, 0x07, 0x10}));
    Flush(*receiver, 1);
    EXPECT_EQ(receiver->Messages()[0], (Bytes{0xB0, 0x07, 0x10}));
    EXPECT_NE(receiver->Threads()[0], std::this_thread::get_id());
}

TEST_F(MidiClient, CaptureCanBeSwitchedAndTwoClientsShareAPortEachWithItsFilter)
{
    const RCPtr<RecordingReceiver> first(new RecordingReceiver());
    const RCPtr<RecordingReceiver> second(new RecordingReceiver());
    const auto disabled = Vx::LMidiClient::Create(kBoard, "", first);
    disabled->EnableCapture(false);
    ASSERT_EQ(disabled->Open(), 0);

    const auto notesOnly = Vx::LMidiClient::Create(kBoard, kBoard, second);
    const auto filter = Vx::LMidiFilterByDenyAllowPrefixLists::Create();
    Vx::Array<Vx::MidiMessage> allow;
    allow.Add(Message({0x90}));
    filter->SetAllowList(allow);
    notesOnly->SetFilter(RCPtr<Vx::LIMidiFilter>(filter));
    ASSERT_EQ(notesOnly->Open(), 0);

    ASSERT_TRUE(SendFromBoard({0xB0, 0x07, 0x10}));
    ASSERT_TRUE(SendFromBoard({0x90, 0x3C, 0x7F}));
    EXPECT_EQ(second->WaitFor(1), (std::vector<Bytes>{{0x90, 0x3C, 0x7F}}));

    // Enabled while open: subscribed at once.
    disabled->EnableCapture(true);
    ASSERT_TRUE(SendFromBoard({0x90, 0x3D, 0x7F}));
    EXPECT_EQ(first->WaitFor(1), (std::vector<Bytes>{{0x90, 0x3D, 0x7F}}));
    EXPECT_EQ(second->WaitFor(2).size(), 2u);

    // The filter goes with the ports and comes back with them.
    notesOnly->Close();
    ASSERT_EQ(notesOnly->Open(), 0);
    ASSERT_TRUE(SendFromBoard({0xB0, 0x07, 0x11}));
    ASSERT_TRUE(SendFromBoard({0x90, 0x3E, 0x7F}));
    EXPECT_EQ(second->WaitFor(3).back(), (Bytes{0x90, 0x3E, 0x7F}));
    EXPECT_EQ(first->WaitFor(3).size(), 3u);
}

TEST_F(MidiClient, OpeningFailsCleanly)
{
    CaptureStderr capture;
    EXPECT_EQ(Vx::LMidiClient::Create("", "", nullptr)->Open(), kInvalid);

    const auto nobody = Vx::LMidiClient::Create("Nobody Lists Me", kBoard, nullptr);
    EXPECT_EQ(nobody->Open(), kFail);
    EXPECT_FALSE(nobody->IsOpen());
    EXPECT_FALSE(nobody->CanSend()) << "the output opened before is let go";

    // Without the application's manager.
    scope.reset();
    const auto orphan = Vx::LMidiClient::Create(kBoard, kBoard, nullptr);
    EXPECT_EQ(orphan->Open(), kFail);
    // A function nobody knows: asserted, created with no names.
    const auto unknown = Vx::LMidiClient::CreateForFunction(0, 0, nullptr);
    EXPECT_TRUE(unknown->GetInputPortName().IsEmpty());
    EXPECT_TRUE(unknown->GetOutputPortName().IsEmpty());
    const std::string text = capture.Finish();
    EXPECT_GE(CountOf(text, "JUCE Assertion failure in MidiClient.cpp:"), 2) << text;
}

TEST_F(MidiClient, ConnectionNoticesForItsInputDropAndReopenThePorts)
{
    const RCPtr<RecordingReceiver> receiver(new RecordingReceiver());
    const auto client = Vx::LMidiClient::Create(kBoard, kBoard, receiver);
    ASSERT_EQ(client->Open(), 0);

    // Another port's notices change nothing.
    Notice("Keyboard", 1);
    EXPECT_TRUE(client->CanCapture());
    EXPECT_TRUE(client->CanSend());

    Notice(kBoard, 1);
    EXPECT_FALSE(client->CanCapture());
    EXPECT_FALSE(client->CanSend());
    EXPECT_TRUE(client->IsOpen());
    ASSERT_TRUE(SendFromBoard({0x90, 0x3C, 0x7F}));

    Notice(kBoard, 7);
    EXPECT_FALSE(client->CanSend()) << "an unknown status does nothing";
    Notice(kBoard, 0);
    EXPECT_TRUE(client->CanCapture());
    EXPECT_TRUE(client->CanSend());
    Flush(*receiver, 0);

    // Closed, the notices reach it no more.
    client->Close();
    Notice(kBoard, 0);
    EXPECT_FALSE(client->CanSend());
}

TEST_F(MidiClient, TheClientEndsWithItsLastReferenceAndClosesItsPorts)
{
    const RCPtr<RecordingReceiver> receiver(new RecordingReceiver());
    {
        const auto client = Vx::LMidiClient::Create(kBoard, kBoard, receiver);
        ASSERT_EQ(client->Open(), 0);
        ASSERT_FALSE(sequencer.getSubscriptions().empty());
    }
    // Only the sequencer's own subscriptions are left: none.
    EXPECT_TRUE(sequencer.getSubscriptions().empty());
    EXPECT_EQ(receiver->GetRefCount(), 1u);
}

TEST_F(MidiClient, TheEncoderFiresOnExactPatternsOnly)
{
    const RCPtr<Steps> steps(new Steps());
    const auto encoder = Vx::LEncoderMidiClient::Create(kBoard, steps);
    encoder->SetPatterns(Message({0xB0, 0x06, 0x7F}), Message({0xB0, 0x06, 0x01}));
    // A recorder on the same port sees what the board sent, in order.
    const RCPtr<RecordingReceiver> all(new RecordingReceiver());
    const auto witness = Vx::LMidiClient::Create(kBoard, "", all);
    ASSERT_EQ(witness->Open(), 0);
    ASSERT_EQ(encoder->Open(), 0);

    struct Case
    {
        Bytes message;
        int decrements, increments;
    };
    const Case cases[] = {
        {{0xB0, 0x06, 0x7F}, 1, 0},
        {{0xB0, 0x06, 0x01}, 1, 1},
        {{0xB0, 0x06, 0x02}, 1, 1},       // filtered out
        {{0xB0, 0x06, 0x7F, 0x00}, 1, 1}, // passes the prefix filter, equals nothing
        {{0xB0, 0x06}, 1, 1},
        {{0xB0, 0x06, 0x7F}, 2, 1},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        const Bytes& message = cases[i].message;
        ASSERT_TRUE(message.size() == 3 ? SendFromBoard(message) : SendEventFromBoard(message));
        // The encoder opened later and is served first.
        Flush(*all, 2 * i + 1);
        EXPECT_EQ(all->Messages()[2 * i], message);
        EXPECT_EQ(steps->decrements.load(), cases[i].decrements) << i;
        EXPECT_EQ(steps->increments.load(), cases[i].increments) << i;
    }
}

TEST_F(MidiClient, TheEncoderEndsWhenItsOwnerLetsGo)
{
    const RCPtr<Steps> steps(new Steps());
    Vx::RCPtr<Vx::LEncoderMidiClient> encoder = Vx::LEncoderMidiClient::CreateForFunction(0, 0, steps);
    // The manager knows no function yet: no port name.
    EXPECT_EQ(encoder->Open(), kInvalid);

    encoder = Vx::LEncoderMidiClient::Create(kBoard, steps);
    ASSERT_EQ(encoder->Open(), 0);
    const Vx::LEncoderMidiClient* raw = encoder.Get();
    EXPECT_EQ(raw->GetRefCount(), 2u) << "its owner and its MIDI client";
    encoder = nullptr;
    EXPECT_TRUE(sequencer.getSubscriptions().empty()) << "its client closed with it";
    EXPECT_EQ(steps->GetRefCount(), 1u);
}
