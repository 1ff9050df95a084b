#include "VxFramework/MidiAndAudio/Audio/JuceAudioDevice.h"
#include "VxFramework/MidiAndAudio/Audio/AudioDevice.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "sim/alsa/SimAlsa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <numbers>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Sim::SimAlsa;
using Sim::SimPcmStream;
using Sim::SimSoundCard;
using Vx::LAudioDevice;
using Vx::RCPtr;
using String = Vx::StringT<char, unsigned short>;
using namespace std::chrono_literals;

SimSoundCard Card(const std::string& id, bool playback, bool capture, std::vector<unsigned int> rates = {48000})
{
    SimPcmStream stream;
    stream.rates = std::move(rates);
    SimSoundCard card;
    card.id = id;
    card.description = id;
    if (playback)
        card.playback = stream;
    if (capture)
        card.capture = stream;
    return card;
}

std::vector<std::string> Names(const Vx::IArray<LAudioDevice::AudioDeviceID>& ids)
{
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < ids.GetCount(); ++i)
    {
        EXPECT_EQ(ids.GetAtConst(i)->mAudioType, LAudioDevice::kAudioTypeALSA);
        names.push_back(ids.GetAtConst(i)->mName.GetCString());
    }
    return names;
}

class JuceAudioDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim.setCards({Card("BOTH", true, true), Card("OUT", true, false), Card("IN", false, true)});
    }

    SimAlsa sim;
};

TEST_F(JuceAudioDevice, ListsTheAlsaDevicesByCapability)
{
    struct Case
    {
        std::int32_t capability;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases{
        {LAudioDevice::kOutputDevices, {"BOTH", "OUT"}},
        {LAudioDevice::kInputDevices, {"BOTH", "IN"}},
        {LAudioDevice::kInputAndOutputDevices, {"BOTH"}},
        {LAudioDevice::kInputOrOutputDevices, {"BOTH", "IN", "OUT"}}, // inputs, then outputs not among them
    };
    Vx::JuceAudioIODeviceType type;
    EXPECT_STREQ(type.GetTypeName().GetCString(), "JuceAudio");
    for (const auto& c : cases)
    {
        Vx::Array<LAudioDevice::AudioDeviceID> ids;
        ids.Add({String("stale"), LAudioDevice::kAudioTypeALSA});
        type.GetDeviceIDs(LAudioDevice::kAudioTypeALSA, ids, c.capability);
        EXPECT_EQ(Names(ids), c.names) << "capability " << c.capability;
    }

    // JUCE makes no JACK type here: nothing to list.
    Vx::Array<LAudioDevice::AudioDeviceID> jack;
    type.GetDeviceIDs(LAudioDevice::kAudioTypeJACK, jack, LAudioDevice::kInputOrOutputDevices);
    EXPECT_EQ(jack.GetCount(), 0u);

    Vx::Array<LAudioDevice::AudioDeviceID> all;
    LAudioDevice::GetDeviceList(all);
    EXPECT_EQ(Names(all), (std::vector<std::string>{"BOTH", "IN", "OUT"}));
}

TEST_F(JuceAudioDevice, AnUnknownCapabilityIsALogicError)
{
    Vx::JuceAudioIODeviceType type;
    Vx::Array<LAudioDevice::AudioDeviceID> ids;
    try
    {
        type.GetDeviceIDs(LAudioDevice::kAudioTypeALSA, ids, 4);
        FAIL() << "no exception";
    }
    catch (const std::logic_error& error)
    {
        EXPECT_EQ(std::string(error.what())
                      .rfind("Logic Error : Unhandled IOCapability specified :  : "
                             "VxFramework/MidiAndAudio/Audio/JuceAudioDevice.cpp : Line ",
                             0),
                  0u)
            << error.what();
        EXPECT_NE(dynamic_cast<const Vx::ExceptionBase*>(&error), nullptr);
    }
}

TEST_F(JuceAudioDevice, WrapsTheJuceDeviceOfTheName)
{
    Vx::JuceAudioIODeviceType type;
    EXPECT_EQ(type.CreateDeviceFromID({String("NOT LISTED"), LAudioDevice::kAudioTypeALSA}), nullptr);
    EXPECT_EQ(type.CreateDeviceFromID({String("BOTH"), LAudioDevice::kAudioTypeJACK}), nullptr);

    std::unique_ptr<Vx::AudioIODevice> device(type.CreateDeviceFromID({String("BOTH"), LAudioDevice::kAudioTypeALSA}));
    ASSERT_NE(device, nullptr);
    EXPECT_STREQ(device->GetName().GetCString(), "BOTH");
    EXPECT_STREQ(device->GetTypeName().GetCString(), "JUCE");
    ASSERT_EQ(device->GetOutputChannelNames().GetCount(), 2u);
    EXPECT_STREQ(device->GetOutputChannelNames()[1].GetCString(), "channel 2");
    EXPECT_EQ(device->GetAvailableSampleRates().GetCount(), 1u);
    EXPECT_EQ(device->GetAvailableBufferSizes().GetCount(), 50u);
    EXPECT_EQ(device->GetDefaultBufferSize(), 128);

    // Masks beyond 32 bits pass both ways; the device takes what it has.
    EXPECT_TRUE(device->Open(std::uint64_t{1} << 40 | 1, 0b11, 48000, 256).IsEmpty());
    EXPECT_TRUE(device->IsOpen());
    EXPECT_EQ(device->GetActiveInputChannels(), (std::uint64_t{1} << 40) | 1);
    EXPECT_EQ(device->GetActiveOutputChannels(), 0b11u);
    EXPECT_EQ(device->GetCurrentSampleRate(), 48000.0);
    EXPECT_EQ(device->GetCurrentBufferSizeSamples(), 256);
    EXPECT_EQ(device->GetCurrentBitDepth(), 32);
    EXPECT_FALSE(device->HasControlPanel());

    struct Callback : Vx::AudioIODeviceCallback
    {
        void AudioDeviceIOCallback(const float* const*, std::int32_t inputs, float* const* outputs,
                                   std::int32_t numOutputs, std::int32_t samples) override
        {
            for (std::int32_t c = 0; c < numOutputs; ++c)
                std::fill(outputs[c], outputs[c] + samples, 0.0f);
            numInputs = inputs;
            ++blocks;
        }
        void AudioDeviceAboutToStart(Vx::AudioIODevice* device) override { startedBy = device; }
        void AudioDeviceStopped() override { ++stopped; }

        std::atomic<int> blocks{0}, stopped{0}, numInputs{0};
        Vx::AudioIODevice* startedBy = nullptr;
    } callback;
    device->Start(&callback);
    EXPECT_EQ(callback.startedBy, device.get());
    EXPECT_TRUE(device->IsPlaying());
    for (int i = 0; i < 500 && callback.blocks < 3; ++i)
        std::this_thread::sleep_for(2ms);
    device->Stop();
    EXPECT_GE(callback.blocks.load(), 3);
    EXPECT_EQ(callback.numInputs.load(), 2);
    EXPECT_EQ(callback.stopped.load(), 1);
    device->Close();
    EXPECT_FALSE(device->IsOpen());

    EXPECT_FALSE(device->Open(0, 0b11, 32000, 256).IsEmpty()) << "a rate the card does not run at";
    EXPECT_STREQ(device->GetLastError().GetCString(), "Invalid argument");
}

//==============================================================================
// Renders a sine on the device's worker, a block per period, after two
// blocks of silence.
class SineReceiver : public Vx::LAudioDeviceCallbackReceiver
{
public:
    SineReceiver(LAudioDevice& device, std::int32_t blockSize, double rate)
        : mDevice(device), mIncrement(2.0 * std::numbers::pi * 1000.0 / rate)
    {
        for (int c = 0; c < 2; ++c)
            mBuffers.Add(Vx::LAudioSampleBuffer::Create(static_cast<std::uint32_t>(2 * blockSize * sizeof(float)), 0,
                                                        Vx::kBufferZeroFill));
    }

    void OnAboutToStart() override
    {
        const auto frames = static_cast<std::int32_t>(mBuffers[0]->GetSize() / sizeof(float));
        mDevice.RenderSamples(0, frames, mBuffers);
    }

    void RenderSamples(std::int32_t, std::int32_t frames, Vx::IArray<RCPtr<Vx::LIBuffer>>&) override
    {
        for (std::int32_t i = 0; i < frames; ++i)
        {
            const float value = static_cast<float>(0.5 * std::sin(mPhase));
            mPhase += mIncrement;
            for (int c = 0; c < 2; ++c)
                static_cast<float*>(mBuffers[c]->GetData())[i] = value;
        }
        mDevice.RenderSamples(0, frames, mBuffers);
        ++renders;
    }

    void OnRenderDataLate(std::int32_t) override { ++late; }

    std::atomic<int> renders{0}, late{0};

private:
    LAudioDevice& mDevice;
    double mIncrement;
    double mPhase = 0.0;
    Vx::RCPtrArray<Vx::LIBuffer> mBuffers;
};

// The amplitude of the frequency in a stretch of samples that holds a whole
// number of its periods.
double Amplitude(const std::vector<float>& samples, std::size_t from, std::size_t count, double frequency, double rate)
{
    std::complex<double> sum;
    for (std::size_t n = 0; n < count; ++n)
        sum += static_cast<double>(samples[from + n]) *
               std::polar(1.0, -2.0 * std::numbers::pi * frequency * static_cast<double>(n) / rate);
    return 2.0 * std::abs(sum) / static_cast<double>(count);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

TEST_F(JuceAudioDevice, ASineRenderedThroughTheDeviceIsRecordedClean)
{
    struct Case
    {
        std::string card;
        double hardwareRate;
    };
    sim.setCards({Card("FE66", true, false), Card("GU74", true, false, {96000})});
    for (const auto& c : {Case{"FE66", 48000.0}, Case{"GU74", 96000.0}})
    {
        SCOPED_TRACE(c.card);
        constexpr std::int32_t kBlock = 256;
        RCPtr<LAudioDevice> device = LAudioDevice::Create({String(c.card.c_str()), LAudioDevice::kAudioTypeALSA});
        ASSERT_NE(device, nullptr);
        RCPtr<SineReceiver> receiver(new SineReceiver(*device, kBlock, 48000.0));
        device->SetCallbackReceiver(receiver);
        ASSERT_EQ(device->Open(48000.0), 0);
        ASSERT_EQ(device->GetDefaultBufferSize(), 128);
        ASSERT_EQ(device->Start(0, 0b11, kBlock, 2), 0);
        for (int i = 0; i < 1000 && receiver->renders < 100; ++i)
            std::this_thread::sleep_for(5ms);
        device->Stop();
        device->Close();
        device->SetCallbackReceiver(nullptr);
        device = nullptr;

        // Channel 0 of the recorded S32_LE frames.
        const auto bytes = sim.recording(c.card);
        std::vector<float> samples;
        for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8)
        {
            std::int32_t word = 0;
            std::memcpy(&word, bytes.data() + i, sizeof word);
            samples.push_back(static_cast<float>(word) / 2147483648.0f);
        }

        // 10 ms stretches after the start: ten periods of the sine, and of
        // the image that doubling the rate leaves at 47 kHz.
        const auto stretch = static_cast<std::size_t>(c.hardwareRate / 100.0);
        const auto start = static_cast<std::size_t>(c.hardwareRate / 10.0);
        std::vector<double> level, neighbours, image;
        for (std::size_t from = start; from + stretch <= samples.size(); from += stretch)
        {
            level.push_back(Amplitude(samples, from, stretch, 1000.0, c.hardwareRate));
            neighbours.push_back(std::max(Amplitude(samples, from, stretch, 900.0, c.hardwareRate),
                                          Amplitude(samples, from, stretch, 1100.0, c.hardwareRate)));
            if (c.hardwareRate > 48000.0)
                image.push_back(Amplitude(samples, from, stretch, 47000.0, c.hardwareRate));
        }
        ASSERT_GE(level.size(), 20u);
        EXPECT_NEAR(Median(level), 0.5, 0.005) << "the level rendered";
        EXPECT_LT(Median(neighbours), 0.001) << "at 1 kHz, not beside it";
        if (!image.empty())
        {
            EXPECT_LT(Median(image), 0.5e-4) << "the interpolation filter removes the image (-80 dB)";
        }
    }
}
} // namespace
