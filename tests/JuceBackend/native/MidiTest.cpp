#include "JuceBackend/juce_linux_SequencerCalls.h"
#include "JuceBackend/native/juce_linux_Midi.h"
#include "sim/SimSequencer.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>
#include <dirent.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Bytes = std::vector<uint8_t>;
using Sim::SimSequencer;

// A System Exclusive message of the given length: F0, a counting payload, F7.
Bytes SysEx(size_t length)
{
    Bytes bytes(length);
    bytes.front() = 0xF0;
    for (size_t i = 1; i + 1 < length; ++i)
        bytes[i] = static_cast<uint8_t>(i % 0x80);
    bytes.back() = 0xF7;
    return bytes;
}

// Records what an input hands its callback, and on which thread.
class Recorder : public juce::MidiInputCallback
{
public:
    void handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message) override
    {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto* data = message.getRawData();
        messages.emplace_back(data, data + message.getRawDataSize());
        if (auto* thread = juce::Thread::getCurrentThread())
            threadName = thread->getThreadName().toStdString();
        arrived.notify_all();
    }

    // Everything received once count messages are in, or what came within the time.
    std::vector<Bytes> WaitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        std::unique_lock<std::mutex> lock(mutex);
        arrived.wait_for(lock, limit, [&] { return messages.size() >= count; });
        return messages;
    }

    std::vector<Bytes> Received()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }

    std::string ThreadName()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return threadName;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Bytes> messages;
    std::string threadName;
};

// The kernel ids of this process's threads with that name.
std::vector<int> ThreadsNamed(const std::string& name)
{
    std::vector<int> found;
    if (DIR* tasks = opendir("/proc/self/task"))
    {
        while (const dirent* entry = readdir(tasks))
        {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
            std::string threadName;
            std::getline(comm, threadName);
            if (threadName == name)
                found.push_back(std::stoi(entry->d_name));
        }
        closedir(tasks);
    }
    return found;
}

// How many of a few looks find the thread asleep (state S in /proc).
int TimesFoundAsleep(int thread, int looks)
{
    int asleep = 0;
    for (int i = 0; i < looks; ++i)
    {
        std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
        std::string line;
        std::getline(stat, line);
        // "tid (name) state ...": the name may hold blanks, the state follows its ')'.
        const auto close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S')
            ++asleep;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return asleep;
}

juce::String IdentifierOf(const juce::Array<juce::MidiDeviceInfo>& devices, const juce::String& name)
{
    for (const auto& device : devices)
        if (device.name == name)
            return device.identifier;
    return {};
}

std::unique_ptr<juce::MidiInput> OpenInput(const juce::String& name, Recorder& recorder)
{
    auto input = juce::MidiInput::openDevice(IdentifierOf(juce::MidiInput::getAvailableDevices(), name), &recorder);
    if (input != nullptr)
        input->start();
    return input;
}

std::unique_ptr<juce::MidiOutput> OpenOutput(const juce::String& name)
{
    return juce::MidiOutput::openDevice(IdentifierOf(juce::MidiOutput::getAvailableDevices(), name));
}

class MidiBackend : public ::testing::Test
{
protected:
    void SetUp() override
    {
        usbDevice = sequencer.addDevice("USB MIDI Device", {{"USB MIDI Device MIDI 1"}});
        ASSERT_EQ(usbDevice, 20);
    }

    void TearDown() override
    {
        // Every object of the backend is gone: so is every client it opened.
        EXPECT_EQ(sequencer.getNumOpenHandles(), 0);
    }

    SimSequencer sequencer;
    juce::ScopedSequencerCalls installed{sequencer};
    int usbDevice = -1;
};
} // namespace

TEST_F(MidiBackend, ListsOnePortPerReadableOrWritablePortByClientNameAndNumbersDuplicates)
{
    sequencer.addDevice("Twin", {{"Twin port"}});
    sequencer.addDevice("Twin", {{"Out only", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ},
                                 {"In only", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE}});

    juce::StringArray inputs, outputs;
    for (const auto& device : juce::MidiInput::getAvailableDevices())
        inputs.add(device.name);
    for (const auto& device : juce::MidiOutput::getAvailableDevices())
        outputs.add(device.name);

    // The System client is never listed; Midi Through is.
    const juce::StringArray expected{"Midi Through", "USB MIDI Device", "Twin (1)", "Twin (2)"};
    EXPECT_EQ(inputs, expected);
    EXPECT_EQ(outputs, expected);

    const auto inputDevices = juce::MidiInput::getAvailableDevices();
    EXPECT_EQ(inputDevices[3].identifier, "28-0") << "the read-only port of the second Twin";
    EXPECT_EQ(juce::MidiOutput::getAvailableDevices()[3].identifier, "28-1");

    // JUCE's older way, by the index in the listing, opens the same ports.
    Recorder recorder;
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE("-Wdeprecated-declarations")
    EXPECT_EQ(juce::MidiInput::getDevices(), expected);
    auto input = juce::MidiInput::openDevice(1, &recorder);
    auto output = juce::MidiOutput::openDevice(3);
    EXPECT_EQ(juce::MidiInput::openDevice(9, &recorder), nullptr);
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE
    ASSERT_NE(input, nullptr);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(input->getIdentifier(), "20-0");
    EXPECT_EQ(output->getName(), "Twin (2)");
    EXPECT_TRUE(juce::isConnected(*input));
    EXPECT_TRUE(juce::isConnected(*output));
}

TEST_F(MidiBackend, AnInputOpenedByItsListingReceivesOnTheMidiInputThread)
{
    Recorder recorder;
    auto input = OpenInput("USB MIDI Device", recorder);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->getName(), "USB MIDI Device");

    // The shared input client and its port carry JUCE's input name.
    const int own = 128;
    EXPECT_EQ(sequencer.getClientName(own), "Juce Midi Input");
    const auto subscriptions = sequencer.getSubscriptions();
    ASSERT_EQ(subscriptions.size(), 1u);
    EXPECT_EQ(subscriptions[0].senderClient, usbDevice);
    EXPECT_EQ(subscriptions[0].destClient, own);

    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0x90, 0x3C, 0x7F}));
    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0xB0, 0x07, 0x40}));
    const auto received = recorder.WaitFor(2);
    EXPECT_EQ(received, (std::vector<Bytes>{{0x90, 0x3C, 0x7F}, {0xB0, 0x07, 0x40}}));
    EXPECT_EQ(recorder.ThreadName(), "Juce MIDI Input");
}

TEST_F(MidiBackend, ASysExSplitIntoPiecesArrivesOnceWhole)
{
    Recorder recorder;
    auto input = OpenInput("USB MIDI Device", recorder);
    ASSERT_NE(input, nullptr);

    const Bytes message = SysEx(300);
    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, message, 150));
    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0x80, 0x3C, 0x00}));
    const auto received = recorder.WaitFor(2);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], message);
    EXPECT_EQ(received[1], (Bytes{0x80, 0x3C, 0x00}));
}

TEST_F(MidiBackend, ConnectionChecksFollowUnplugAndReopening)
{
    Recorder recorder;
    auto input = OpenInput("USB MIDI Device", recorder);
    auto output = OpenOutput("USB MIDI Device");
    ASSERT_NE(input, nullptr);
    ASSERT_NE(output, nullptr);
    EXPECT_TRUE(juce::isConnected(*input));
    EXPECT_TRUE(juce::isConnected(*output));

    sequencer.removeDevice(usbDevice);
    EXPECT_FALSE(juce::isConnected(*input));
    EXPECT_FALSE(juce::isConnected(*output));
    EXPECT_EQ(IdentifierOf(juce::MidiInput::getAvailableDevices(), "USB MIDI Device"), "");

    // Plugged in again, the device is not connected to the old ports...
    ASSERT_EQ(sequencer.addDevice("USB MIDI Device", {{"USB MIDI Device MIDI 1"}}, usbDevice), usbDevice);
    EXPECT_FALSE(juce::isConnected(*input));

    // ...until they are opened again.
    input.reset();
    output.reset();
    input = OpenInput("USB MIDI Device", recorder);
    output = OpenOutput("USB MIDI Device");
    ASSERT_NE(input, nullptr);
    ASSERT_NE(output, nullptr);
    EXPECT_TRUE(juce::isConnected(*input));
    EXPECT_TRUE(juce::isConnected(*output));

    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0x90, 0x40, 0x10}));
    EXPECT_EQ(recorder.WaitFor(1).size(), 1u);
}

TEST_F(MidiBackend, PortsMadeByNameHaveNoDeviceToBeConnectedTo)
{
    Recorder recorder;
    auto input = juce::MidiInput::createNewDevice("Virtual In", &recorder);
    auto output = juce::MidiOutput::createNewDevice("Virtual Out");
    ASSERT_NE(input, nullptr);
    ASSERT_NE(output, nullptr);
    EXPECT_FALSE(juce::isConnected(*input));
    EXPECT_FALSE(juce::isConnected(*output));
}

TEST_F(MidiBackend, AnOutputSendsEveryMessageToItsDevice)
{
    auto output = OpenOutput("USB MIDI Device");
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(sequencer.getClientName(128), "Juce Midi Output");

    const Bytes large = SysEx(20000); // beyond the encoder's first size
    output->sendMessageNow(juce::MidiMessage(0x90, 0x3C, 0x7F));
    output->sendMessageNow(juce::MidiMessage(large.data(), static_cast<int>(large.size())));
    output->sendMessageNow(juce::MidiMessage(0xC0, 0x05));

    Bytes expected{0x90, 0x3C, 0x7F};
    expected.insert(expected.end(), large.begin(), large.end());
    expected.insert(expected.end(), {0xC0, 0x05});
    EXPECT_EQ(sequencer.takeReceivedBytes(usbDevice, 0), expected);

    // A refused output loses the message and nothing else.
    sequencer.faults.failNext(Sim::SimSequencer::Call::eventOutputDirect, EIO);
    output->sendMessageNow(juce::MidiMessage(0x90, 0x3C, 0x00));
    output->sendMessageNow(juce::MidiMessage(0x80, 0x3C, 0x00));
    EXPECT_EQ(sequencer.takeReceivedBytes(usbDevice, 0), (Bytes{0x80, 0x3C, 0x00}));
}

TEST_F(MidiBackend, OutputAndInputMeetThroughMidiThrough)
{
    Recorder recorder;
    auto input = OpenInput("Midi Through", recorder);
    auto output = OpenOutput("Midi Through");
    ASSERT_NE(input, nullptr);
    ASSERT_NE(output, nullptr);

    const Bytes message = SysEx(1000);
    output->sendMessageNow(juce::MidiMessage(message.data(), static_cast<int>(message.size())));
    output->sendMessageNow(juce::MidiMessage(0xE0, 0x00, 0x40));
    EXPECT_EQ(recorder.WaitFor(2), (std::vector<Bytes>{message, {0xE0, 0x00, 0x40}}));
}

TEST_F(MidiBackend, EachInputGetsTheEventsOfItsOwnPortAlsoAfterAnotherStopped)
{
    const int second = sequencer.addDevice("Second Device", {{"Second Device MIDI 1"}});
    Recorder first, other;
    auto firstInput = OpenInput("USB MIDI Device", first);
    auto otherInput = OpenInput("Second Device", other);
    ASSERT_NE(firstInput, nullptr);
    ASSERT_NE(otherInput, nullptr);

    ASSERT_TRUE(sequencer.sendFromDevice(second, 0, {0x91, 0x01, 0x01}));
    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0x90, 0x02, 0x02}));
    EXPECT_EQ(other.WaitFor(1), (std::vector<Bytes>{{0x91, 0x01, 0x01}}));
    EXPECT_EQ(first.WaitFor(1), (std::vector<Bytes>{{0x90, 0x02, 0x02}}));

    // The first input stops: its device's events reach nobody, the other's still arrive.
    firstInput->stop();
    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0x90, 0x03, 0x03}));
    ASSERT_TRUE(sequencer.sendFromDevice(second, 0, {0x91, 0x04, 0x04}));
    EXPECT_EQ(other.WaitFor(2), (std::vector<Bytes>{{0x91, 0x01, 0x01}, {0x91, 0x04, 0x04}}));
    EXPECT_EQ(first.Received().size(), 1u);
    EXPECT_EQ(other.Received().size(), 2u);
}

TEST_F(MidiBackend, TheInputThreadRunsRealTimeWhileAnInputIsStarted)
{
    Recorder recorder;
    auto input = OpenInput("USB MIDI Device", recorder);
    ASSERT_NE(input, nullptr);
    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0xF8}));
    ASSERT_EQ(recorder.WaitFor(1).size(), 1u);

    const auto threads = ThreadsNamed("Juce MIDI Input");
    ASSERT_EQ(threads.size(), 1u);
    if (geteuid() == 0)
    {
        sched_param parameters{};
        EXPECT_EQ(sched_getscheduler(threads[0]), SCHED_RR);
        ASSERT_EQ(sched_getparam(threads[0], &parameters), 0);
        EXPECT_EQ(parameters.sched_priority, 10) << "priority 8";
    }

    // Stopping the last input ends the thread before stop returns.
    input->stop();
    EXPECT_TRUE(ThreadsNamed("Juce MIDI Input").empty());

    // Starting it again starts the thread again, which then sleeps in its
    // poll: the wake-up that ended the last run is not taken for a new one.
    input->start();
    ASSERT_TRUE(sequencer.sendFromDevice(usbDevice, 0, {0xFA}));
    EXPECT_EQ(recorder.WaitFor(2).size(), 2u);
    const auto restarted = ThreadsNamed("Juce MIDI Input");
    ASSERT_EQ(restarted.size(), 1u);
    EXPECT_GE(TimesFoundAsleep(restarted[0], 10), 5);
}

TEST_F(MidiBackend, OpeningFailsCleanlyForUnknownPortsAndRefusedCalls)
{
    Recorder recorder;
    EXPECT_EQ(juce::MidiInput::openDevice("", &recorder), nullptr);
    EXPECT_EQ(juce::MidiInput::openDevice("99-0", &recorder), nullptr);
    EXPECT_EQ(juce::MidiOutput::openDevice("99-0"), nullptr);
    EXPECT_EQ(juce::MidiInput::openDevice("20-0", nullptr), nullptr) << "an input needs a callback";

    // A port that cannot be connected is not left behind, and no input is made.
    using Call = Sim::SimSequencer::Call;
    sequencer.faults.failNext(Call::connectFrom, EPERM);
    EXPECT_EQ(juce::MidiInput::openDevice("20-0", &recorder), nullptr);
    sequencer.faults.failNext(Call::connectTo, EPERM);
    EXPECT_EQ(juce::MidiOutput::openDevice("20-0"), nullptr);
    EXPECT_TRUE(sequencer.getSubscriptions().empty());

    sequencer.faults.failNext(Call::createSimplePort, ENOMEM);
    EXPECT_EQ(juce::MidiInput::openDevice("20-0", &recorder), nullptr);

    // Without a sequencer nothing is listed or opened.
    sequencer.faults.failEvery(Call::open, ENOENT);
    EXPECT_TRUE(juce::MidiInput::getAvailableDevices().isEmpty());
    EXPECT_EQ(juce::MidiInput::openDevice("20-0", &recorder), nullptr);
    sequencer.faults.clear(Call::open);

    // Each refusal was used up by the call it was meant for: the device opens now.
    EXPECT_NE(juce::MidiInput::openDevice("20-0", &recorder), nullptr);
    EXPECT_NE(juce::MidiOutput::openDevice("20-0"), nullptr);
}

//==============================================================================
namespace
{
snd_seq_event_t SysExEvent(Bytes& bytes)
{
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_sysex(&event, bytes.size(), bytes.data());
    return event;
}

snd_seq_event_t NoteOnEvent(uint8_t channel, uint8_t key, uint8_t velocity)
{
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_noteon(&event, channel, key, velocity);
    return event;
}

snd_seq_event_t EventOfType(snd_seq_event_type_t type)
{
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    event.type = type;
    return event;
}

// Each event's decoded message, if it completed one.
std::vector<Bytes> Decode(juce::AlsaMidiInputDecoder& decoder, const std::vector<snd_seq_event_t>& events)
{
    std::vector<Bytes> messages;
    for (const auto& event : events)
    {
        int size = -1;
        if (const auto* data = decoder.decode(event, size))
            messages.emplace_back(data, data + size);
        else
            EXPECT_EQ(size, 0);
    }
    return messages;
}
} // namespace

TEST(MidiInputDecoder, ReassemblesSysExPiecesWithTheRealTimeBytesBetweenThem)
{
    Bytes head = SysEx(300), tail(head.begin() + 150, head.end());
    head.resize(150);
    Bytes whole = SysEx(20);
    Bytes endOnly{0xF7};

    struct Case
    {
        const char* name;
        std::vector<snd_seq_event_t> events;
        std::vector<Bytes> expected;
    };
    Bytes withClock = SysEx(300);
    withClock.insert(withClock.begin() + 150, 0xF8);
    Bytes endedByItself = head;
    endedByItself.push_back(0xF7);

    const Case cases[] = {
        {"a note", {NoteOnEvent(1, 60, 100)}, {{0x91, 60, 100}}},
        {"a whole message in one event", {SysExEvent(whole)}, {whole}},
        {"two pieces", {SysExEvent(head), SysExEvent(tail)}, {SysEx(300)}},
        {"a clock between the pieces",
         {SysExEvent(head), EventOfType(SND_SEQ_EVENT_CLOCK), SysExEvent(tail)},
         {withClock}},
        {"an end of its own", {SysExEvent(head), SysExEvent(endOnly)}, {endedByItself}},
        {"events that are no MIDI bytes",
         {EventOfType(SND_SEQ_EVENT_PORT_SUBSCRIBED), EventOfType(SND_SEQ_EVENT_NONE)},
         {}},
    };
    for (const auto& c : cases)
    {
        juce::AlsaMidiInputDecoder decoder;
        ASSERT_TRUE(decoder.isValid());
        EXPECT_EQ(Decode(decoder, c.events), c.expected) << c.name;
        EXPECT_EQ(decoder.getNumDroppedMessages(), 0) << c.name;
    }
}

TEST(MidiInputDecoder, DropsWhatCannotBeAMessageAndCarriesOn)
{
    Bytes head = SysEx(300);
    head.resize(150);
    Bytes tooLarge = SysEx(juce::AlsaMidiInputDecoder::maxEventSize + 1);
    Bytes next = SysEx(10);
    Bytes data(1000, 0x11);

    Bytes end{0x22, 0xF7};

    juce::AlsaMidiInputDecoder decoder;
    VxTest::CaptureStderr capture;

    // Too large for the decoder's buffer: dropped whole.
    EXPECT_TRUE(Decode(decoder, {SysExEvent(tooLarge)}).empty());

    // An unfinished message ends where the next status byte starts another.
    EXPECT_EQ(Decode(decoder, {SysExEvent(head), NoteOnEvent(0, 1, 2)}), (std::vector<Bytes>{{0x90, 1, 2}}));
    EXPECT_EQ(Decode(decoder, {SysExEvent(head), SysExEvent(next)}), (std::vector<Bytes>{next}));
    EXPECT_EQ(decoder.getNumDroppedMessages(), 2);

    // A message that would outgrow the limit is dropped with all its pieces.
    std::vector<snd_seq_event_t> endless{SysExEvent(head)};
    for (int i = 0; i < juce::AlsaMidiInputDecoder::maxSysExSize / 1000 + 5; ++i)
        endless.push_back(SysExEvent(data));
    endless.push_back(SysExEvent(end));
    EXPECT_TRUE(Decode(decoder, endless).empty());
    EXPECT_EQ(decoder.getNumDroppedMessages(), 3);
    EXPECT_EQ(Decode(decoder, {SysExEvent(next), NoteOnEvent(0, 3, 4)}), (std::vector<Bytes>{next, {0x90, 3, 4}}));

    const std::string text = capture.Finish();
    EXPECT_NE(text.find("unterminated System Exclusive message dropped"), std::string::npos) << text;
    EXPECT_NE(text.find("System Exclusive message too long, dropped"), std::string::npos) << text;
}
