#include "VxFramework/MidiAndAudio/Midi/Juce/MidiComm.h"

#include "JuceBackend/juce_linux_SequencerCalls.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "sim/SimSequencer.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Bytes = std::vector<int>;
using Vx::RCPtr;
using Vx::VxRESULT;
using Port = RCPtr<Vx::LRefCountedObject>;

Bytes BytesOf(const Vx::IArray<signed char>& message)
{
    Bytes bytes;
    for (std::uint32_t i = 0; i < message.GetCount(); ++i)
        bytes.push_back(static_cast<unsigned char>(message.GetDataConst()[i]));
    return bytes;
}

std::vector<uint8_t> Raw(const Bytes& bytes)
{
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// A client of the service that keeps what it is given, and where.
class Listener : public Vx::LNotificationClient
{
public:
    struct Received
    {
        Bytes bytes;
        std::intptr_t portId;
        std::string portName;
        std::uint32_t timeStampMs;
        std::thread::id thread;
        const Vx::LNotification* notification;
    };

    Vx::NotificationHandlerResultCode Receive(const RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        // One message at a time: a second one here at once would be a fault.
        if (++mInside != 1)
            mOverlapped = true;
        const RCPtr<Vx::LMidiCaptureNotificationData> data(notification->GetParam());
        if (mSlow)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        {
            const std::lock_guard<std::mutex> lock(mMutex);
            mReceived.push_back({BytesOf(data->message), data->capturePortId, data->portName.GetCString(),
                                 data->timeStampMs, std::this_thread::get_id(), notification.Get()});
        }
        --mInside;
        mArrived.notify_all();
        return 1;
    }

    std::vector<Received> WaitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mArrived.wait_for(lock, limit, [&] { return mReceived.size() >= count; });
        return mReceived;
    }

    size_t Count()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return mReceived.size();
    }

    std::atomic<bool> mSlow{false};
    std::atomic<bool> mOverlapped{false};

private:
    std::mutex mMutex;
    std::condition_variable mArrived;
    std::vector<Received> mReceived;
    std::atomic<int> mInside{0};
};

RCPtr<Vx::LMidiFilterByDenyAllowPrefixLists> AllowOnly(const Bytes& prefix)
{
    const auto filter = Vx::LMidiFilterByDenyAllowPrefixLists::Create();
    Vx::Array<Vx::MidiMessage> list;
    Vx::MidiMessage message;
    for (const int byte : prefix)
        message.Add(static_cast<signed char>(byte));
    list.Add(message);
    filter->SetAllowList(list);
    return filter;
}

class MidiComm : public ::testing::Test
{
protected:
    void SetUp() override
    {
        usbDevice = sequencer.addDevice("USB MIDI Device", {{"USB MIDI Device MIDI 1"}});
        secondDevice = sequencer.addDevice("Second Device", {{"Second Device MIDI 1"}});
        comm = RCPtr<Vx::LMidiComm>(new Vx::LMidiComm());
    }

    void TearDown() override
    {
        for (auto& listener : listeners)
            listener->UnregisterAll();
        listeners.clear();
        comm = nullptr;
        // The service ends with its last port, its pool with it.
        EXPECT_EQ(sequencer.getNumOpenHandles(), 0);
    }

    RCPtr<Listener> AddListener()
    {
        RCPtr<Listener> listener(new Listener());
        EXPECT_NE(listener->Register(RCPtr<Vx::LNotificationDistributor>(comm), Vx::kNidMidiDataCaptured, 0), nullptr);
        listeners.push_back(listener);
        return listener;
    }

    // The subscriptions from a device port to the program's clients.
    size_t SubscriptionsFrom(int client)
    {
        size_t count = 0;
        for (const auto& subscription : sequencer.getSubscriptions())
            count += subscription.senderClient == client ? 1 : 0;
        return count;
    }

    Sim::SimSequencer sequencer;
    juce::ScopedSequencerCalls installed{sequencer};
    int usbDevice = -1, secondDevice = -1;
    RCPtr<Vx::LMidiComm> comm;
    std::vector<RCPtr<Listener>> listeners;
};
} // namespace

TEST_F(MidiComm, ListsThePortNamesJuceLists)
{
    Vx::LMidiComm::StringArray inputs, outputs;
    EXPECT_EQ(Vx::LMidiComm::GetInputPortNames(inputs), 0);
    EXPECT_EQ(Vx::LMidiComm::GetOutputPortNames(outputs), 0);
    ASSERT_EQ(inputs.GetCount(), 3u);
    EXPECT_STREQ(inputs[0].GetCString(), "Midi Through");
    EXPECT_STREQ(inputs[1].GetCString(), "USB MIDI Device");
    EXPECT_STREQ(inputs[2].GetCString(), "Second Device");
    EXPECT_EQ(outputs.GetCount(), 3u);
}

TEST_F(MidiComm, OneCapturePortPerNameLivesWhileAHandleDoes)
{
    Port first, second;
    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", first), 0);
    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", second), 0);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(comm->GetCapturePortCount(), 1u);
    EXPECT_EQ(SubscriptionsFrom(usbDevice), 1u);
    EXPECT_EQ(comm->GetCapturePortId(first), reinterpret_cast<std::intptr_t>(first.Get()));
    EXPECT_EQ(comm->GetCapturePortId(Port()), 0);

    // The second handle keeps it open.
    first = nullptr;
    EXPECT_EQ(comm->GetCapturePortCount(), 1u);
    EXPECT_EQ(SubscriptionsFrom(usbDevice), 1u);

    // The last one closes it, and the next open makes a new port.
    second = nullptr;
    EXPECT_EQ(comm->GetCapturePortCount(), 0u);
    EXPECT_EQ(SubscriptionsFrom(usbDevice), 0u);
    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", first), 0);
    EXPECT_EQ(comm->GetCapturePortCount(), 1u);
    EXPECT_EQ(SubscriptionsFrom(usbDevice), 1u);
}

TEST_F(MidiComm, OpenPortsAreReusedByCaseInsensitiveSubstrings)
{
    Port usb, usbAgain, render, renderAgain;
    // Nothing open: the name must be JUCE's, exactly.
    EXPECT_EQ(comm->OpenCapturePort("usb midi", usb), static_cast<VxRESULT>(0x80000008));
    EXPECT_EQ(usb, nullptr);

    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", usb), 0);
    ASSERT_EQ(comm->OpenCapturePort("usb midi", usbAgain), 0);
    EXPECT_EQ(usb.Get(), usbAgain.Get());

    ASSERT_EQ(comm->OpenRenderPort("Second Device", render), 0);
    ASSERT_EQ(comm->OpenRenderPort("SECOND", renderAgain), 0);
    EXPECT_EQ(render.Get(), renderAgain.Get());
    EXPECT_NE(render.Get(), usb.Get());
}

TEST_F(MidiComm, BadNamesAndBadSendsAreRefused)
{
    Port usb, port, render;
    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", usb), 0);
    ASSERT_EQ(comm->OpenRenderPort("USB MIDI Device", render), 0);

    VxTest::CaptureStderr capture;
    // Every name contains the empty one: it must not hand out the open port.
    EXPECT_EQ(comm->OpenCapturePort("", port), static_cast<VxRESULT>(0x80000008));
    EXPECT_EQ(comm->OpenRenderPort("", port), static_cast<VxRESULT>(0x80000008));
    EXPECT_EQ(port, nullptr);
    EXPECT_EQ(Vx::LMidiCapturePort::Create("", comm), nullptr);
    EXPECT_EQ(Vx::LMidiRenderPort::Create("Out", nullptr), nullptr);
    const std::string text = capture.Finish();
    EXPECT_NE(text.find("JUCE Assertion failure in "), std::string::npos) << text;
    EXPECT_NE(text.find("MidiComm.cpp"), std::string::npos) << text;

    EXPECT_EQ(comm->OpenCapturePort("Nobody Lists Me", port), static_cast<VxRESULT>(0x80000008));
    EXPECT_EQ(comm->OpenRenderPort("Nobody Lists Me", port), static_cast<VxRESULT>(0x80000008));
    EXPECT_EQ(port, nullptr);
    EXPECT_EQ(comm->GetCapturePortCount(), 1u);
    EXPECT_EQ(comm->GetRenderPortCount(), 1u);

    const Vx::MidiMessage note = Vx::MidiMessage::Make3(0x90, 0x3C, 0x7F);
    EXPECT_EQ(comm->Send(render, Vx::MidiMessage()), static_cast<VxRESULT>(0x80000003));
    EXPECT_EQ(comm->Send(usb, note), static_cast<VxRESULT>(0x80000003)) << "a capture handle";
    EXPECT_EQ(comm->Send(Port(), note), static_cast<VxRESULT>(0x80000003));
    EXPECT_EQ(comm->SendBuffer(render, nullptr), static_cast<VxRESULT>(0x80000003));
    EXPECT_EQ(comm->SendBuffer(render, Vx::LIBuffer::Create(0)), static_cast<VxRESULT>(0x80000003));
    EXPECT_TRUE(sequencer.takeReceivedBytes(usbDevice, 0).empty());
}

TEST_F(MidiComm, RenderPortsSendMessagesAndBuffers)
{
    Port render;
    ASSERT_EQ(comm->OpenRenderPort("USB MIDI Device", render), 0);
    EXPECT_EQ(comm->Send(render, Vx::MidiMessage::FromHexString("F0003A517F0E60000404010100F7")), 0);
    const auto buffer = Vx::LIBuffer::Create(3);
    const unsigned char note[] = {0x90, 0x3C, 0x7F};
    std::memcpy(buffer->GetData(), note, sizeof(note));
    EXPECT_EQ(comm->SendBuffer(render, buffer), 0);

    EXPECT_EQ(sequencer.takeReceivedBytes(usbDevice, 0), Raw({0xF0, 0x00, 0x3A, 0x51, 0x7F, 0x0E, 0x60, 0x00, 0x04,
                                                              0x04, 0x01, 0x01, 0x00, 0xF7, 0x90, 0x3C, 0x7F}));
}

TEST_F(MidiComm, AnUnpluggedDeviceIsReopenedOnTheSamePortWhenItIsBack)
{
    const auto listener = AddListener();
    Port usb, again;
    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", usb), 0);

    sequencer.removeDevice(usbDevice);
    // Reopening fails, but the handle is given and the port kept for a retry.
    EXPECT_EQ(comm->OpenCapturePort("USB MIDI Device", again), static_cast<VxRESULT>(0x80000008));
    EXPECT_EQ(again.Get(), usb.Get());
    EXPECT_EQ(comm->GetCapturePortCount(), 1u);

    ASSERT_EQ(sequencer.addDevice("USB MIDI Device", {{"USB MIDI Device MIDI 1"}}, usbDevice), usbDevice);
    again = nullptr;
    EXPECT_EQ(comm->OpenCapturePort("USB MIDI Device", again), 0);
    EXPECT_EQ(again.Get(), usb.Get());

    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0x90, 0x3C, 0x7F}));
    const auto received = listener->WaitFor(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].bytes, (Bytes{0x90, 0x3C, 0x7F}));
    EXPECT_EQ(received[0].portId, comm->GetCapturePortId(usb));
}

TEST_F(MidiComm, MessagesOfSeveralPortsArriveOneAtATimeInOrderOnOneWorker)
{
    const auto listener = AddListener();
    listener->mSlow = true;
    Port usb, second;
    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", usb), 0);
    ASSERT_EQ(comm->OpenCapturePort("Second Device", second), 0);

    constexpr int kCount = 100;
    for (int i = 0; i < kCount; ++i)
        ASSERT_TRUE(sequencer.sendFromDevice(i % 2 == 0 ? usbDevice : secondDevice, 0, Raw({0x90, i, 0x40})));

    const auto received = listener->WaitFor(kCount);
    ASSERT_EQ(received.size(), static_cast<size_t>(kCount));
    EXPECT_FALSE(listener->mOverlapped);
    for (int i = 0; i < kCount; ++i)
    {
        EXPECT_EQ(received[i].bytes, (Bytes{0x90, i, 0x40})) << i;
        const bool fromUsb = i % 2 == 0;
        EXPECT_EQ(received[i].portId, comm->GetCapturePortId(fromUsb ? usb : second)) << i;
        EXPECT_EQ(received[i].portName, fromUsb ? "USB MIDI Device" : "Second Device") << i;
        EXPECT_EQ(received[i].thread, received[0].thread) << i;
    }
    EXPECT_NE(received[0].thread, std::this_thread::get_id());
}

TEST_F(MidiComm, FiltersChooseTheClientsAndOneNotificationServesThemAll)
{
    const auto earlier = AddListener();
    const auto later = AddListener();
    const auto third = AddListener();
    const auto sysExOnly = AllowOnly({0xF0});
    comm->SetMidiFilter(later.Get(), sysExOnly);
    const auto filter = AllowOnly({0x90});
    comm->SetMidiFilter(third.Get(), filter);
    // The service keeps its own copy.
    filter->SetAllowList(Vx::Array<Vx::MidiMessage>());

    Port usb;
    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", usb), 0);
    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0x90, 0x3C, 0x7F}));
    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0xB0, 0x07, 0x00}));

    const auto all = earlier->WaitFor(2);
    ASSERT_EQ(all.size(), 2u);
    const auto notes = third->WaitFor(1);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].bytes, (Bytes{0x90, 0x3C, 0x7F}));
    EXPECT_EQ(notes[0].notification, all[0].notification);
    EXPECT_EQ(later->Count(), 0u);

    // A copy comes back; an empty filter removes the entry.
    const auto copy = comm->GetMidiFilter(later.Get());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.Get(), static_cast<Vx::LIMidiFilter*>(sysExOnly.Get()));
    const signed char sysEx[] = {static_cast<signed char>(0xF0), static_cast<signed char>(0xF7)};
    EXPECT_TRUE(copy->Match(sysEx, 2));
    EXPECT_FALSE(copy->Match(sysEx + 1, 1));
    EXPECT_EQ(comm->SetMidiFilter(later.Get(), nullptr), 0);
    EXPECT_EQ(comm->GetMidiFilter(later.Get()), nullptr);
    EXPECT_EQ(comm->GetMidiFilter(nullptr), nullptr);

    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0xB0, 0x07, 0x01}));
    EXPECT_EQ(later->WaitFor(1).size(), 1u);
}

TEST_F(MidiComm, CapturedMessagesWithoutClientsAreStillDistributed)
{
    const RCPtr<Vx::LMidiCaptureNotificationData> data(new Vx::LMidiCaptureNotificationData());
    data->message.Add(static_cast<signed char>(0xF8));
    EXPECT_EQ(comm->DistributeCapturedData(data), 1);

    const auto listener = AddListener();
    comm->SetMidiFilter(listener.Get(), AllowOnly({0x90}));
    EXPECT_EQ(comm->DistributeCapturedData(data), 0) << "a client is registered, even one that refuses";
    EXPECT_EQ(listener->Count(), 0u);
}

TEST_F(MidiComm, TheTimeStampIsJucesInWholeMilliseconds)
{
    const auto listener = AddListener();
    Port usb;
    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", usb), 0);
    const RCPtr<Vx::LMidiCapturePort> port(usb);
    ASSERT_NE(port, nullptr);

    for (const double seconds : {12.3456, -1.0, 1.0e12})
        port->handleIncomingMidiMessage(nullptr, juce::MidiMessage(0xF8, seconds));
    const auto received = listener->WaitFor(3);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].timeStampMs, 12345u);
    EXPECT_EQ(received[1].timeStampMs, 0u);
    EXPECT_EQ(received[2].timeStampMs, static_cast<std::uint32_t>(1000000000000000ull % 4294967296ull));
    EXPECT_EQ(received[0].portId, comm->GetCapturePortId(usb));
}

TEST_F(MidiComm, ThePayloadPoolStaysFlatOverTenThousandMessages)
{
    const auto listener = AddListener();
    Port usb;
    ASSERT_EQ(comm->OpenCapturePort("USB MIDI Device", usb), 0);
    auto& pool = Vx::LMidiCaptureNotificationData::GetPool();
    const std::uint32_t blocks = pool.GetBlockCount();

    // In batches, each delivered before the next: never more than a batch in flight.
    constexpr int kBatch = 10;
    constexpr int kTotal = 10000;
    for (int sent = 0; sent < kTotal; sent += kBatch)
    {
        for (int i = 0; i < kBatch; ++i)
            ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, Raw({0xB0, (sent + i) % 128, 0x00})));
        ASSERT_EQ(listener->WaitFor(static_cast<size_t>(sent + kBatch)).size(), static_cast<size_t>(sent + kBatch));
    }
    EXPECT_LE(pool.GetBlockCount(), std::max<std::uint32_t>(blocks, kBatch + 1));
}

TEST_F(MidiComm, SendingWhileAnotherThreadReopensThePort)
{
    Port render;
    ASSERT_EQ(comm->OpenRenderPort("USB MIDI Device", render), 0);

    std::atomic<bool> done{false};
    std::thread sender([&] {
        const Vx::MidiMessage note = Vx::MidiMessage::Make3(0x90, 0x3C, 0x7F);
        while (!done)
        {
            const VxRESULT result = comm->Send(render, note);
            EXPECT_TRUE(result == 0 || result == static_cast<VxRESULT>(0x80000008)) << result;
        }
    });
    for (int i = 0; i < 20; ++i)
    {
        sequencer.removeDevice(usbDevice);
        Port again;
        comm->OpenRenderPort("USB MIDI Device", again);
        sequencer.addDevice("USB MIDI Device", {{"USB MIDI Device MIDI 1"}}, usbDevice);
        EXPECT_EQ(comm->OpenRenderPort("USB MIDI Device", again), 0);
    }
    // The port reopened last carries the sender's messages.
    bool arrived = false;
    for (int i = 0; i < 1000 && !arrived; ++i)
    {
        arrived = !sequencer.takeReceivedBytes(usbDevice, 0).empty();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    done = true;
    sender.join();
    EXPECT_TRUE(arrived);
}
