#include "Panel/Engine/TestAppCommon/AudioManager.h"

#include "sim/alsa/SimAlsa.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/FakeAudioDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace
{
using Sim::SimAlsa;
using Sim::SimPcmStream;
using Sim::SimSoundCard;
using Vx::LAudioDevice;
using Vx::LAudioManager;
using Vx::RCPtr;
using String = Vx::StringT<char, unsigned short>;
using namespace std::chrono_literals;

const std::string kLoopback = "Loopback, Loopback PCM";
const std::string kRn12 = "RN12, USB Audio, Direct hardware device without any conversions";
const std::string kSpeaker = "Speaker, Direct hardware device without any conversions";

// Captured words of a value that a float holds exactly.
constexpr std::int32_t kCaptureWord = 0x10000000; // 0.125
constexpr float kRendered = 0.25f;

SimSoundCard Card(const std::string& id, const std::string& description, bool capture)
{
    SimSoundCard card;
    card.id = id;
    card.description = description;
    card.playback = SimPcmStream{};
    if (capture)
    {
        card.capture = SimPcmStream{};
        card.captureData.resize(2 * sizeof(std::int32_t));
        std::memcpy(card.captureData.data(), &kCaptureWord, sizeof kCaptureWord);
        std::memcpy(card.captureData.data() + sizeof kCaptureWord, &kCaptureWord, sizeof kCaptureWord);
    }
    return card;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

std::size_t CountLines(const std::string& text, const std::string& part)
{
    const auto lines = Lines(text);
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& line) { return line.find(part) != line.npos; }));
}

// Plays kRendered and keeps the last block captured with sound; checks that render buffers arrive silent.
class Receiver : public Vx::LAudioManagerCallbackReceiver
{
public:
    void ProcessCapturedSamples(Vx::IArray<RCPtr<Vx::LIBuffer>>& capture, std::int32_t offset,
                                std::int32_t frames) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (std::uint32_t c = 0; c < capture.GetCount(); ++c)
        {
            const float* samples = static_cast<const float*>(capture[c]->GetData()) + offset;
            // A block the worker missed while it lagged a whole ring behind
            // arrives silent; every other one holds the card's signal.
            if (!std::all_of(samples, samples + frames, [](float s) { return s == 0; }))
                lastCaptured.assign(samples, samples + frames);
        }
        ++captures;
        changed.notify_all();
    }
    void RenderSamples(Vx::IArray<RCPtr<Vx::LIBuffer>>& render, std::int32_t offset, std::int32_t frames) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (std::uint32_t c = 0; c < render.GetCount(); ++c)
        {
            float* samples = static_cast<float*>(render[c]->GetData()) + offset;
            arrivedSilent = arrivedSilent && std::all_of(samples, samples + frames, [](float s) { return s == 0; });
            std::fill_n(samples, frames, kRendered);
        }
        ++renders;
        changed.notify_all();
    }

    bool WaitFor(int count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return renders >= count && captures >= count; });
    }

    std::mutex mutex;
    std::condition_variable changed;
    int renders = 0, captures = 0;
    bool arrivedSilent = true;
    std::vector<float> lastCaptured;
};

class AudioManager : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim.setCards({Card("LOOP", kLoopback, true), Card("RN12", kRn12, true), Card("SPK", kSpeaker, false)});
    }

    // The share of channel 0's recorded S32_LE frames that hold the word of kRendered.
    double RenderedShare(const std::string& card) const
    {
        const auto bytes = sim.recording(card);
        std::size_t frames = 0, rendered = 0;
        for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8, ++frames)
        {
            std::int32_t word = 0;
            std::memcpy(&word, bytes.data() + i, sizeof word);
            rendered += word == 0x20000000 ? 1 : 0;
        }
        return frames == 0 ? 0.0 : static_cast<double>(rendered) / static_cast<double>(frames);
    }

    static LAudioManager::StreamingConfiguration Configuration(const char* input, const char* output)
    {
        LAudioManager::StreamingConfiguration configuration;
        configuration.inputDevicePattern = {String(input), LAudioDevice::kAudioTypeALSA};
        configuration.outputDevicePattern = {String(output), LAudioDevice::kAudioTypeALSA};
        configuration.sampleRate = 48000.0;
        configuration.bufferSize = 256;
        return configuration;
    }

    SimAlsa sim;
};

TEST_F(AudioManager, FindsTheFirstNameThePatternMatchesAnywhere)
{
    struct Case
    {
        const char* pattern;
        std::string name;
        int examined;
    };
    const std::vector<std::string> listed{kLoopback, kRn12, kSpeaker};
    for (const auto& c :
         {Case{"RN12.*Direct hardware device without any conversions", kRn12, 2}, Case{"Direct hardware", kRn12, 2},
          Case{"", kLoopback, 1}, Case{"Speaker", kSpeaker, 3}, Case{"rn12", "", 3}, Case{"^USB", "", 3}})
    {
        SCOPED_TRACE(c.pattern);
        VxTest::CaptureStderr captured;
        EXPECT_EQ(std::string(LAudioManager::FindDeviceName(String(c.pattern)).GetCString()), c.name);
        std::vector<std::string> expected{std::string("Looking for audio device name matching \"") + c.pattern + "\""};
        for (int i = 0; i < c.examined; ++i)
            expected.push_back("  Cheking audio device #" + std::to_string(i) + ": \"" + listed[i] + "\"");
        if (!c.name.empty())
            expected.push_back("    name matched");
        EXPECT_EQ(Lines(captured.Finish()), expected);
    }

    VxTest::CaptureStderr quiet;
    EXPECT_THROW(LAudioManager::FindDeviceName(String("RN12(")), std::regex_error);
}

TEST_F(AudioManager, StreamsThroughOneClientOrTwo)
{
    struct Case
    {
        const char* input;
        const char* output;
        bool same;
        std::string inputName, outputName;
        const char* inputCard;
        const char* outputCard;
    };
    for (const auto& c : {Case{"RN12", "USB Audio", true, kRn12, kRn12, "RN12", "RN12"},
                          Case{"Loopback", "Speaker", false, kLoopback, kSpeaker, "LOOP", "SPK"},
                          Case{"", "", true, kLoopback, kLoopback, "LOOP", "LOOP"}})
    {
        SCOPED_TRACE(std::string(c.input) + " / " + c.output);
        sim.clearRecordings();
        RCPtr<LAudioManager> manager = LAudioManager::Create();
        RCPtr<Receiver> receiver(new Receiver());
        ASSERT_EQ(manager->SetCallbackReceiver(receiver), 0);
        {
            VxTest::CaptureStderr captured;
            ASSERT_GE(manager->StartAudioStreaming(Configuration(c.input, c.output)), 0);
            const std::string trace = captured.Finish();
            EXPECT_EQ(CountLines(trace, "LAudioDeviceClientEntry: PrepareAudioClient:"), c.same ? 1u : 2u);
            EXPECT_EQ(CountLines(trace, "isInput=1, isOutput=" + std::to_string(c.same ? 1 : 0)), 1u);
            EXPECT_EQ(CountLines(trace, "LAudioManager:   matchedOutputDeviceName:  " + c.outputName), 1u);
        }
        RCPtr<Vx::LAudioDeviceClient> input = manager->GetInputClient();
        RCPtr<Vx::LAudioDeviceClient> output = manager->GetOutputClient();
        ASSERT_NE(input, nullptr);
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(input == output, c.same);
        EXPECT_EQ(input->GetState(), 2);
        EXPECT_EQ(output->GetState(), 2);
        EXPECT_EQ(std::string(output->GetDeviceID().mName.GetCString()), c.outputName);

        LAudioManager::StreamingConfiguration stored;
        ASSERT_EQ(manager->GetConfiguration(stored), 0);
        EXPECT_EQ(std::string(stored.inputDevicePattern.mName.GetCString()), c.inputName);
        EXPECT_EQ(std::string(stored.outputDevicePattern.mName.GetCString()), c.outputName);
        EXPECT_EQ(stored.sampleRate, 48000.0);
        EXPECT_EQ(stored.bufferSize, 256);

        ASSERT_TRUE(receiver->WaitFor(40));
        {
            VxTest::CaptureStderr quiet;
            EXPECT_EQ(manager->StopAudioStreaming(), 0);
        }
        EXPECT_EQ(manager->GetInputClient(), nullptr);
        EXPECT_EQ(input->GetState(), 0);
        EXPECT_EQ(output->GetState(), 0);
        EXPECT_TRUE(receiver->arrivedSilent);
        EXPECT_EQ(receiver->lastCaptured, std::vector<float>(256, 0.125f));
        // What the receiver rendered went to the output device only.  How much
        // of the recording it fills depends on the load: a block the callback
        // is late for is played as silence.
        EXPECT_GT(RenderedShare(c.outputCard), 0.0);
        if (!c.same)
        {
            EXPECT_EQ(RenderedShare(c.inputCard), 0.0) << "an input-only entry plays silence";
        }
        manager = nullptr;
        EXPECT_EQ(receiver->GetRefCount(), 1u) << "the entries let go of the receiver";
    }
}

TEST_F(AudioManager, AFailedStartLeavesNothingStreaming)
{
    struct Case
    {
        const char* name;
        const char* input;
        const char* output;
        bool busy;
        Vx::VxRESULT result;
        const char* line;
    };
    for (const auto& c : {Case{"input missing", "Nothing", "Speaker", false, Vx::VXR_E_FAIL,
                               "LAudioManager: Could not find all required audio devices, returning"},
                          Case{"output missing", "RN12", "Nothing", false, Vx::VXR_E_FAIL,
                               "LAudioManager: Could not find all required audio devices, returning"},
                          Case{"device busy", "RN12", "Speaker", true, Vx::VXR_E_FAIL,
                               "LAudioDeviceClientEntry: Failed to prepare streaming"}})
    {
        SCOPED_TRACE(c.name);
        sim.setCards({Card("LOOP", kLoopback, true), Card("RN12", kRn12, true), Card("SPK", kSpeaker, false)});
        RCPtr<LAudioManager> manager = LAudioManager::Create();
        VxTest::CaptureStderr captured;
        // A configuration that streams, then one that does not.
        ASSERT_GE(manager->StartAudioStreaming(Configuration("Loopback", "Loopback")), 0);
        if (c.busy)
        {
            auto cards = sim.getCards();
            cards[1].busy = true;
            sim.setCards(cards);
        }
        EXPECT_EQ(manager->StartAudioStreaming(Configuration(c.input, c.output)), c.result);
        EXPECT_EQ(CountLines(captured.Finish(), c.line), 1u);
        EXPECT_EQ(manager->GetInputClient(), nullptr);
        EXPECT_EQ(manager->GetOutputClient(), nullptr);
        LAudioManager::StreamingConfiguration stored;
        manager->GetConfiguration(stored);
        EXPECT_EQ(std::string(stored.inputDevicePattern.mName.GetCString()), c.busy ? kRn12 : kLoopback)
            << "a device not found keeps the configuration";
    }

    RCPtr<LAudioManager> manager = LAudioManager::Create();
    VxTest::CaptureStderr quiet;
    EXPECT_THROW(manager->StartAudioStreaming(Configuration("(", "Speaker")), std::regex_error);
    EXPECT_EQ(manager->GetInputClient(), nullptr);
}

TEST(AudioDeviceClientEntry, TracesTheFirstLateRendersThenEverySixtyFourth)
{
    RCPtr<Vx::LAudioDeviceClientEntry> entry = Vx::LAudioDeviceClientEntry::Create();
    VxTest::CaptureStderr captured;
    for (int i = 0; i < 130; ++i)
        entry->OnRenderDataLate(nullptr, 256);
    std::vector<std::string> expected;
    for (int count : {1, 2, 3, 4, 5, 6, 7, 8, 64, 128})
        expected.push_back("LAudioDeviceClientEntry: Render data late counter: " + std::to_string(count));
    EXPECT_EQ(Lines(captured.Finish()), expected);
    EXPECT_EQ(entry->GetLateCount(), 130);
}

TEST(AudioDeviceClientEntry, ABlockTheDeviceCannotTakeIsTraced)
{
    using namespace VxTest::FakeAudio;
    FakeScript script;
    gScript = &script;
    const auto previous = LAudioDevice::SetDeviceTypeFactory(&MakeFakeType);
    {
        RCPtr<Vx::LAudioDeviceClientEntry> entry = Vx::LAudioDeviceClientEntry::Create();
        RCPtr<Receiver> receiver(new Receiver());
        entry->SetCallbackReceiver(receiver);
        VxTest::CaptureStderr captured;
        ASSERT_EQ(entry->PrepareAudioClient({String("Card"), LAudioDevice::kAudioTypeALSA}, 256, true, 48000.0, true),
                  0);
        // Starting puts two periods of silence ahead: the device's ring is full.
        ASSERT_EQ(entry->StartAudioClient(), 0);
        Vx::RCPtrArray<Vx::LIBuffer> capture;
        capture.Add(Vx::LAudioSampleBuffer::Create(256 * sizeof(float), 0, Vx::kBufferZeroFill));
        entry->RenderSamples(entry->GetClient(), 0, 256, capture);
        const std::string trace = captured.Finish();
        EXPECT_EQ(CountLines(trace, "LAudioDeviceClientEntry: RenderSamples: requested=256, rendered=0"), 1u) << trace;
        EXPECT_EQ(CountLines(trace, "LAudioDeviceClientEntry: Allocated render buffer #1 (256 samples)"), 1u);
        const auto lines = Lines(trace);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "BufferSize=256"), lines.end()) << "a line without prefix";
        EXPECT_EQ(receiver->renders, 1);
        EXPECT_EQ(receiver->captures, 1);
        EXPECT_EQ(entry->GetContainedRefCount(), 1u) << "the client holds the entry";
        VxTest::CaptureStderr quiet;
        entry = nullptr; // the last outside reference unprepares it
        EXPECT_EQ(receiver->GetRefCount(), 1u);
    }
    EXPECT_TRUE(AllDeleted(script));
    LAudioDevice::SetDeviceTypeFactory(previous);
    gScript = nullptr;
}
} // namespace
