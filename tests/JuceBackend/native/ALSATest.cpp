#include "JuceBackend/native/juce_linux_ALSA.h"
#include "sim/alsa/SimAlsa.h"

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Sim::SimAlsa;
using Sim::SimPcmStream;
using Sim::SimSoundCard;
using namespace std::chrono_literals;

constexpr float kFullScale = 2147483648.0f; // a left-justified 32-bit sample to float

SimPcmStream Stream(std::vector<unsigned int> rates, std::vector<std::string> formats = {"S32_LE"},
                    unsigned int channels = 2)
{
    SimPcmStream stream;
    stream.rates = std::move(rates);
    stream.formats = std::move(formats);
    stream.channelsMin = stream.channelsMax = channels;
    return stream;
}

SimSoundCard Card(const std::string& id, std::optional<SimPcmStream> playback, std::optional<SimPcmStream> capture)
{
    SimSoundCard card;
    card.id = id;
    card.description = id + " card";
    card.playback = std::move(playback);
    card.capture = std::move(capture);
    return card;
}

const std::vector<unsigned int> kEveryRate{22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000};

// Records what the I/O thread hands its callback; plays a ramp per channel.
class BlockRecorder : public juce::AudioIODeviceCallback
{
public:
    void audioDeviceIOCallbackWithContext(const float* const* inputs, int numInputs, float* const* outputs,
                                          int numOutputs, int numSamples,
                                          const juce::AudioIODeviceCallbackContext&) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (auto* thread = juce::Thread::getCurrentThread())
            threadName = thread->getThreadName().toStdString();
        if (inputBlocks.size() < keptBlocks)
        {
            std::vector<std::vector<float>> block;
            for (int i = 0; i < numInputs; ++i)
                block.emplace_back(inputs[i], inputs[i] + numSamples);
            inputBlocks.push_back(std::move(block));
        }
        for (int c = 0; c < numOutputs; ++c)
            for (int i = 0; i < numSamples; ++i)
                outputs[c][i] =
                    playRamp ? static_cast<float>((blocks * numSamples + i) % 128 + 1) / 256.0f * (c + 1) : 0.0f;
        ++blocks;
        blockSizes.push_back(numSamples);
        changed.notify_all();
    }

    void audioDeviceAboutToStart(juce::AudioIODevice*) override { ++aboutToStart; }
    void audioDeviceStopped() override { ++stopped; }

    bool WaitForBlocks(int count, std::chrono::milliseconds limit = 5s)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [&] { return blocks >= count; });
    }

    int Blocks()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return blocks;
    }

    std::mutex mutex;
    std::condition_variable changed;
    int blocks = 0;
    std::vector<int> blockSizes;
    std::string threadName;
    std::size_t keptBlocks = 0;
    std::vector<std::vector<std::vector<float>>> inputBlocks;
    bool playRamp = false;
    std::atomic<int> aboutToStart{0};
    std::atomic<int> stopped{0};
};

std::vector<std::string> Names(const juce::StringArray& names)
{
    std::vector<std::string> result;
    for (const auto& name : names)
        result.push_back(name.toStdString());
    return result;
}

// The first "hw_params ..." line of a card's log, and its field.
std::string LogField(const std::vector<std::string>& log, const std::string& field)
{
    for (const auto& line : log)
    {
        if (line.rfind("hw_params", 0) != 0)
            continue;
        std::istringstream words(line);
        for (std::string word; words >> word;)
            if (word.rfind(field + "=", 0) == 0)
                return word.substr(field.size() + 1);
    }
    return {};
}

bool LogHas(const std::vector<std::string>& log, const std::string& event)
{
    for (const auto& line : log)
        if (line.rfind(event, 0) == 0)
            return true;
    return false;
}

class AlsaBackend : public ::testing::Test
{
protected:
    void SetCards(std::vector<SimSoundCard> cards)
    {
        sim.setCards(cards);
        type.reset(juce::createAudioIODeviceType_ALSA_PCMDevices());
        type->scanForDevices();
    }

    std::unique_ptr<juce::AudioIODevice> Device(const std::string& cardId)
    {
        const juce::String name(cardId + " card");
        return std::unique_ptr<juce::AudioIODevice>(type->createDevice(name, name));
    }

    juce::BigInteger Channels(const std::vector<int>& indices)
    {
        juce::BigInteger channels;
        for (const int index : indices)
            channels.setBit(index);
        return channels;
    }

    SimAlsa sim;
    std::unique_ptr<juce::AudioIODeviceType> type;
};

TEST_F(AlsaBackend, DeviceManagerCreatesTheAlsaTypeOnly)
{
    juce::AudioDeviceManager manager;
    juce::OwnedArray<juce::AudioIODeviceType> types;
    manager.createAudioDeviceTypes(types);
    ASSERT_EQ(types.size(), 1);
    EXPECT_EQ(types[0]->getTypeName(), "ALSA");
    EXPECT_TRUE(types[0]->hasSeparateInputsAndOutputs());

    std::unique_ptr<juce::AudioIODeviceType> soundcards(juce::createAudioIODeviceType_ALSA_Soundcards());
    EXPECT_EQ(soundcards->getTypeName(), "ALSA HW");
    soundcards->scanForDevices();
    // No kernel sound card here: the card listing finds none.
    EXPECT_TRUE(soundcards->getDeviceNames(false).isEmpty());
}

TEST_F(AlsaBackend, ListsHintedPcmsByDirection)
{
    auto both = Card("FE66", Stream({48000}), Stream({48000}));
    auto output = Card("OUT", Stream({48000}), std::nullopt);
    output.description = "Line out\nrear panel";
    auto input = Card("IN", std::nullopt, Stream({48000}));
    auto twin = Card("TWIN", Stream({48000}), std::nullopt);
    twin.description = output.description;
    auto unlisted = Card("HIDDEN", Stream({48000}), std::nullopt);
    unlisted.listed = false;
    SetCards({both, output, input, twin, unlisted});

    // Descriptions with their line breaks as "; "; a name twice gets numbers.
    EXPECT_EQ(Names(type->getDeviceNames(false)),
              (std::vector<std::string>{"FE66 card", "Line out; rear panel (1)", "Line out; rear panel (2)"}));
    EXPECT_EQ(Names(type->getDeviceNames(true)), (std::vector<std::string>{"FE66 card", "IN card"}));
    EXPECT_EQ(type->getDefaultDeviceIndex(false), 0);
}

TEST_F(AlsaBackend, ChannelsAndRatesPerCard)
{
    auto paired = Card("FE66", Stream({44100, 48000}), Stream({48000, 96000}));
    auto tagged = Card("GU74", Stream(kEveryRate), Stream(kEveryRate));
    auto taggedC = Card("GX90", Stream(kEveryRate), Stream(kEveryRate));
    auto plain = Card("USB", Stream({44100, 48000}, {"S16_LE"}, 2), Stream({44100}, {"S16_LE"}, 1));
    SetCards({paired, tagged, taggedC, plain});

    struct Case
    {
        std::string card;
        std::vector<std::string> outputs, inputs;
        juce::Array<double> rates;
    };
    const std::vector<std::string> two{"channel 1", "channel 2"};
    const std::vector<std::string> four{"channel 1", "channel 2", "channel 3", "channel 4"};
    const std::vector<Case> cases{
        // Capture rates first, then the playback rates not among them.
        {"FE66", two, four, {48000.0, 96000.0, 44100.0}},
        // Twice-rate cards offer half of each hardware rate.
        {"GU74", two, four, {11025.0, 16000.0, 22050.0, 24000.0, 44100.0, 48000.0, 88200.0, 96000.0}},
        {"GX90", two, four, {11025.0, 16000.0, 22050.0, 24000.0, 44100.0, 48000.0, 88200.0, 96000.0}},
        {"USB", two, {"channel 1"}, {44100.0, 48000.0}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.card);
        auto device = Device(c.card);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(Names(device->getOutputChannelNames()), c.outputs);
        EXPECT_EQ(Names(device->getInputChannelNames()), c.inputs);
        EXPECT_EQ(device->getAvailableSampleRates(), c.rates);
        EXPECT_EQ(device->getDefaultBufferSize(), 128);
        const auto sizes = device->getAvailableBufferSizes();
        ASSERT_EQ(sizes.size(), 50);
        EXPECT_EQ(sizes[0], 16);
        EXPECT_EQ(sizes[4], 96);    // steps of 32 from 64
        EXPECT_EQ(sizes[49], 6144); // then 64, 128 and 256
    }
}

TEST_F(AlsaBackend, OpensTheHardwareAtTheRequestedOrDoubledRate)
{
    SetCards({Card("FE66", Stream({44100, 48000}), Stream({44100, 48000})),
              Card("GU74", Stream(kEveryRate), Stream(kEveryRate)), Card("GX90", Stream(kEveryRate), std::nullopt)});

    struct Case
    {
        std::string card;
        double rate;
        int blockSize;
        double openedRate;
        int openedBlock;
        std::string hardwareRate, period;
        int outputLatency;
    };
    const std::vector<Case> cases{
        {"FE66", 48000, 256, 48000, 256, "48000", "256", 3 * 256},
        {"GU74", 48000, 256, 48000, 256, "96000", "512", 3 * 256},
        {"GX90", 44100, 128, 44100, 128, "88200", "256", 3 * 128},
        // A block of 0 is 128 frames; a rate of 0 the first listed from 44100 on.
        {"FE66", 0, 0, 44100, 128, "44100", "128", 3 * 128},
        {"GU74", 0, 0, 44100, 128, "88200", "256", 3 * 128},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.card + " at " + std::to_string(c.rate));
        sim.clearRecordings();
        auto device = Device(c.card);
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(device->open({}, Channels({0, 1}), c.rate, c.blockSize), "");
        EXPECT_TRUE(device->isOpen());
        EXPECT_EQ(device->getCurrentSampleRate(), c.openedRate);
        EXPECT_EQ(device->getCurrentBufferSizeSamples(), c.openedBlock);
        EXPECT_EQ(device->getOutputLatencyInSamples(), c.outputLatency);
        EXPECT_EQ(device->getCurrentBitDepth(), 32);
        device->close();
        const auto log = sim.log(c.card);
        EXPECT_EQ(LogField(log, "rate"), c.hardwareRate);
        EXPECT_EQ(LogField(log, "period"), c.period);
        EXPECT_EQ(LogField(log, "access"), "RW_INTERLEAVED");
    }
}

TEST_F(AlsaBackend, RuledCardsTakeChannelsInPairs)
{
    auto paired = Card("FE66", Stream({48000}), Stream({48000}));
    paired.playback->channelsMin = 1;
    paired.playback->channelsMax = 4;
    auto plain = Card("USB", Stream({48000}), Stream({48000}));
    plain.playback->channelsMin = plain.capture->channelsMin = 1;
    SetCards({paired, plain});

    struct Case
    {
        std::string card;
        std::vector<int> inputs, outputs;
        int activeInputs, activeOutputs;
        std::string captureChannels;
    };
    const std::vector<Case> cases{
        {"FE66", {0}, {0}, 0b11, 0b11, "2"},
        {"FE66", {0, 1, 2}, {2}, 0b1111, 0b1100, "2"}, // four logical channels on two hardware ones
        {"USB", {0}, {0}, 0b01, 0b01, "1"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.card);
        sim.clearRecordings();
        auto device = Device(c.card);
        ASSERT_EQ(device->open(Channels(c.inputs), Channels(c.outputs), 48000, 256), "");
        EXPECT_EQ(device->getActiveInputChannels().getBitRangeAsInt(0, 32), c.activeInputs);
        EXPECT_EQ(device->getActiveOutputChannels().getBitRangeAsInt(0, 32), c.activeOutputs);
        device->close();
        // The capture stream's line comes second (playback opens first).
        std::vector<std::string> captureLog;
        bool seenFirst = false;
        for (const auto& line : sim.log(c.card))
        {
            if (line.rfind("hw_params", 0) == 0 && !seenFirst)
            {
                seenFirst = true;
                continue;
            }
            captureLog.push_back(line);
        }
        EXPECT_EQ(LogField(captureLog, "channels"), c.captureChannels);
    }
}

TEST_F(AlsaBackend, CaptureLayoutsDecodeToExactFloats)
{
    constexpr int kBlock = 64;
    constexpr int kBlocks = 4;

    // Distinct samples in every channel, full scale and negative ones included.
    std::vector<std::array<int32_t, 3>> paired;
    std::vector<std::array<int32_t, 4>> tagged;
    for (int i = 0; i < kBlock * kBlocks; ++i)
    {
        const int32_t ramp = (i * 2654435761u) & 0xFFFFFu; // 20 bits
        paired.push_back({static_cast<int32_t>(static_cast<uint32_t>(ramp) << 12),
                          static_cast<int32_t>(static_cast<uint32_t>(0xFFFFF - ramp) << 12),
                          static_cast<int32_t>(static_cast<uint32_t>(i * 40503u & 0xFFFFFFu) << 8)});
        tagged.push_back({static_cast<int32_t>(static_cast<uint32_t>(i * 97u & 0xFFFFFFu) << 8),
                          static_cast<int32_t>(0x80000000u | static_cast<uint32_t>(i) << 8),
                          static_cast<int32_t>(static_cast<uint32_t>(0x7FFFFF - i) << 8),
                          static_cast<int32_t>(static_cast<uint32_t>(i * 7919u & 0xFFFFFFu) << 8)});
    }

    auto pairedCard = Card("FE66", std::nullopt, Stream({48000}));
    pairedCard.captureData = SimAlsa::pairedWordFrames(paired);
    auto pairedSplit = Card("GU76", std::nullopt, Stream({48000}));
    pairedSplit.capture->access = {"RW_NONINTERLEAVED"};
    pairedSplit.captureData = pairedCard.captureData;
    auto taggedCard = Card("GU74", std::nullopt, Stream({96000}));
    taggedCard.captureData = SimAlsa::taggedWordFrames(tagged, {2, 0, 3, 1});
    // A block whose first group lacks channel 3's tag (channel 2's twice, the
    // later one counting): channel 3 is silent.
    auto untagged = Card("GX90", std::nullopt, Stream({96000}));
    untagged.captureData = SimAlsa::taggedWordFrames(tagged, {1, 2, 0, 2});
    SetCards({pairedCard, pairedSplit, taggedCard, untagged});

    struct Case
    {
        std::string card;
        std::function<std::array<int32_t, 4>(int)> expected;
    };
    const std::vector<Case> cases{
        {"FE66",
         [&](int i) {
             return std::array<int32_t, 4>{paired[i][0], paired[i][1], paired[i][2], paired[i][2]};
         }},
        {"GU76",
         [&](int i) {
             return std::array<int32_t, 4>{paired[i][0], paired[i][1], paired[i][2], paired[i][2]};
         }},
        {"GU74", [&](int i) { return tagged[i]; }},
        {"GX90",
         [&](int i) {
             return std::array<int32_t, 4>{tagged[i][0], tagged[i][1], tagged[i][2], 0};
         }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.card);
        auto device = Device(c.card);
        ASSERT_NE(device, nullptr);
        BlockRecorder recorder;
        recorder.keptBlocks = kBlocks;
        ASSERT_EQ(device->open(Channels({0, 1, 2, 3}), {}, 48000, kBlock), "");
        device->start(&recorder);
        ASSERT_TRUE(recorder.WaitForBlocks(kBlocks));
        device->stop();
        device->close();

        std::lock_guard<std::mutex> lock(recorder.mutex);
        ASSERT_EQ(recorder.inputBlocks.size(), static_cast<std::size_t>(kBlocks));
        // The thread runs from open on: blocks read before start reached no
        // callback.  The first one recorded is one of the script's blocks.
        int skipped = 0;
        while (skipped < kBlocks &&
               recorder.inputBlocks[0][0][0] != static_cast<float>(c.expected(skipped * kBlock)[0]) / kFullScale)
            ++skipped;
        ASSERT_LT(skipped, kBlocks);
        for (int b = 0; b < kBlocks; ++b)
        {
            const auto& block = recorder.inputBlocks[b];
            ASSERT_EQ(block.size(), 4u);
            for (int i = 0; i < kBlock; ++i)
            {
                const auto expected = c.expected((b + skipped) % kBlocks * kBlock + i);
                for (int channel = 0; channel < 4; ++channel)
                    ASSERT_EQ(block[channel][i], static_cast<float>(expected[channel]) / kFullScale)
                        << "block " << b << " frame " << i << " channel " << channel;
            }
        }
    }
}

TEST_F(AlsaBackend, PlaysBlocksAfterOneBlockOfSilence)
{
    auto plain = Card("USB", Stream({48000}, {"S16_LE"}), std::nullopt);
    auto split = Card("SPLIT", Stream({48000}, {"S16_LE"}), std::nullopt);
    split.playback->access = {"RW_NONINTERLEAVED"};
    SetCards({plain, split});

    for (const std::string card : {"USB", "SPLIT"})
    {
        SCOPED_TRACE(card);
        constexpr int kBlock = 128;
        auto device = Device(card);
        BlockRecorder recorder;
        recorder.playRamp = true;
        ASSERT_EQ(device->open({}, Channels({0, 1}), 48000, kBlock), "");
        device->start(&recorder);
        ASSERT_TRUE(recorder.WaitForBlocks(8));
        device->stop();
        device->close();
        EXPECT_EQ(recorder.threadName, "Juce ALSA");
        EXPECT_EQ(recorder.aboutToStart.load(), 1);
        EXPECT_EQ(recorder.stopped.load(), 1);

        // A prepared stream has its whole buffer (four periods) free: the
        // first write skips three of them, then writes the block of silence
        // that goes ahead of the first callback.  The buffer starts full.
        // (A callback late enough for the hardware to run dry adds silence.)
        constexpr int kSilent = 4 * kBlock;
        const auto bytes = sim.recording(card);
        std::vector<int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        std::size_t first = 0;
        while (first < samples.size() && samples[first] == 0)
            ++first;
        EXPECT_GE(first, 2u * kSilent);
        ASSERT_GE(samples.size(), first + 2 * kBlock);
        // Then the callback's blocks, interleaved.
        for (int frame = 0; frame < kBlock; ++frame)
            for (int channel = 0; channel < 2; ++channel)
            {
                const float value = static_cast<float>(frame % 128 + 1) / 256.0f * (channel + 1);
                EXPECT_NEAR(samples[first + 2 * frame + channel], value * 32767.0f, 1.0)
                    << "frame " << frame << " channel " << channel;
            }
    }
}

TEST_F(AlsaBackend, OpenFailuresSayWhy)
{
    auto busy = Card("BUSY", Stream({48000}), std::nullopt);
    busy.busy = true;
    auto gone = Card("GONE", Stream({48000}), std::nullopt);
    gone.present = false;
    auto u8 = Card("U8", Stream({48000}, {"U8"}), std::nullopt);
    auto input = Card("IN", std::nullopt, Stream({48000}));
    auto split = Card("GU74", Stream(kEveryRate), std::nullopt);
    split.playback->access = {"RW_NONINTERLEAVED"};
    auto mapped = Card("MMAP", Stream({48000}), std::nullopt);
    mapped.playback->access = {"MMAP_INTERLEAVED"};
    SetCards({busy, gone, u8, input, split, mapped, Card("FE66", Stream({44100, 48000}), std::nullopt)});

    struct Case
    {
        std::string card;
        double rate;
        bool wantOutputs;
        std::string error;
    };
    const std::vector<Case> cases{
        {"BUSY", 48000, true, "The device \"hw:CARD=BUSY,DEV=0\" is busy (another application is using it)."},
        {"GONE", 48000, true, "The device \"hw:CARD=GONE,DEV=0\" is not available."},
        {"U8", 48000, true, "device doesn't support a compatible PCM format"},
        {"IN", 48000, false, "no channels"},
        // A rate the card does not run at is refused, not replaced by a near one.
        {"FE66", 32000, true, "Invalid argument"},
        {"GU74", 48000, true, "device doesn't support interleaved access"},
        {"MMAP", 48000, true, "device doesn't support read-write access"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.card);
        auto device = Device(c.card);
        ASSERT_NE(device, nullptr);
        const auto error = device->open({}, c.wantOutputs ? Channels({0, 1}) : juce::BigInteger(), c.rate, 256);
        EXPECT_EQ(error.toStdString(), c.error);
        EXPECT_FALSE(device->isOpen());
        EXPECT_EQ(device->getLastError().toStdString(), c.error);
    }
}

TEST_F(AlsaBackend, AStreamOpenElsewhereMakesTheDeviceBusy)
{
    SetCards({Card("FE66", Stream({48000}), std::nullopt)});
    auto device = Device("FE66");

    snd_pcm_t* other = nullptr;
    ASSERT_EQ(snd_pcm_open(&other, "hw:CARD=FE66,DEV=0", SND_PCM_STREAM_PLAYBACK, 0), 0);
    EXPECT_EQ(device->open({}, Channels({0, 1}), 48000, 256),
              "The device \"hw:CARD=FE66,DEV=0\" is busy (another application is using it).");
    snd_pcm_close(other);

    // Free again: the device opens, and a second device finds it busy.
    EXPECT_EQ(device->open({}, Channels({0, 1}), 48000, 256), "");
    auto second = Device("FE66");
    EXPECT_NE(second->open({}, Channels({0, 1}), 48000, 256), "");
    device->close();
}

TEST_F(AlsaBackend, RunsOnAPeriodTheCardGrantsInsteadOfTheBlock)
{
    auto card = Card("FIXED", Stream({48000}), std::nullopt);
    card.playback->periodFramesMin = card.playback->periodFramesMax = 512;
    SetCards({card});

    auto device = Device("FIXED");
    BlockRecorder recorder;
    ASSERT_EQ(device->open({}, Channels({0, 1}), 48000, 256), "");
    device->start(&recorder);
    ASSERT_TRUE(recorder.WaitForBlocks(6));
    device->close();
    EXPECT_EQ(LogField(sim.log("FIXED"), "period"), "512");
    EXPECT_EQ(device->getCurrentBufferSizeSamples(), 256);
    std::lock_guard<std::mutex> lock(recorder.mutex);
    for (const int size : recorder.blockSizes)
        EXPECT_EQ(size, 256);
}

TEST_F(AlsaBackend, UnderRunsAreRecoveredOnReadAndOnWrite)
{
    auto playback = Card("OUT", Stream({48000}), std::nullopt);
    playback.xrunPlaybackPeriod = 4;
    auto capture = Card("IN", std::nullopt, Stream({48000}));
    capture.xrunCapturePeriod = 4;
    SetCards({playback, capture});

    struct Case
    {
        std::string card;
        juce::BigInteger inputs, outputs;
    };
    for (const auto& c : {Case{"OUT", {}, Channels({0, 1})}, Case{"IN", Channels({0}), {}}})
    {
        SCOPED_TRACE(c.card);
        auto device = Device(c.card);
        BlockRecorder recorder;
        ASSERT_EQ(device->open(c.inputs, c.outputs, 48000, 128), "");
        device->start(&recorder);
        // Blocks keep coming well past the under-run.
        ASSERT_TRUE(recorder.WaitForBlocks(16));
        device->close();
        const auto log = sim.log(c.card);
        EXPECT_TRUE(LogHas(log, "xrun"));
        int starts = 0;
        for (const auto& line : log)
            starts += line == "start";
        EXPECT_EQ(starts, 2) << "started again after the recovery";
    }
}

TEST_F(AlsaBackend, APlaybackFarBehindSkipsToOnePeriodOfSpace)
{
    auto card = Card("OUT", Stream({48000}), std::nullopt);
    card.jumpPlaybackPeriod = 8;
    card.jumpPlaybackFrames = 4 * 256;
    SetCards({card});

    auto device = Device("OUT");
    BlockRecorder recorder;
    ASSERT_EQ(device->open({}, Channels({0, 1}), 48000, 256), "");
    device->start(&recorder);
    ASSERT_TRUE(recorder.WaitForBlocks(20));
    device->close();

    // The pointer jumped four periods past a full buffer: the write waiting
    // then took one period, and the next found four free, skipped three and
    // wrote into the one left.
    // The first skip after the jump.  (The first write on a stream just
    // prepared skips too: its whole buffer is free.)
    bool jumped = false, skipped = false;
    for (const auto& line : sim.log("OUT"))
    {
        long long frames = 0, space = 0;
        jumped = jumped || line.rfind("jump", 0) == 0;
        if (jumped && std::sscanf(line.c_str(), "skip %lld space %lld", &frames, &space) == 2)
        {
            skipped = true;
            EXPECT_GT(frames, 2 * 256);
            EXPECT_GE(space, 256);
            EXPECT_LE(space, 2 * 256) << "at most a period went by between the skip and the write";
            break;
        }
    }
    EXPECT_TRUE(skipped);
}

TEST_F(AlsaBackend, OpenDoesNotWaitForAFirstBlockAndCloseWakesTheWait)
{
    auto card = Card("IN", std::nullopt, Stream({48000}));
    card.stallCapturePeriod = 0; // the hardware never delivers a period
    SetCards({card});

    auto device = Device("IN");
    BlockRecorder recorder;
    ASSERT_EQ(device->open(Channels({0}), {}, 48000, 128), "");
    device->start(&recorder);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(recorder.Blocks(), 0);

    const auto begin = std::chrono::steady_clock::now();
    device->close();
    // Woken by the eventfd, not by the 400 ms wait for a stuck thread.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 400ms);
}

TEST_F(AlsaBackend, CloseEndsAWriteThatStalls)
{
    auto card = Card("OUT", Stream({48000}), std::nullopt);
    card.stallPlaybackPeriod = 20;
    SetCards({card});

    auto device = Device("OUT");
    BlockRecorder recorder;
    ASSERT_EQ(device->open({}, Channels({0, 1}), 48000, 256), "");
    device->start(&recorder);
    ASSERT_TRUE(recorder.WaitForBlocks(3));
    // Until the write blocks on the stopped hardware: no more blocks.
    for (int blocks = -1, i = 0; i < 100 && blocks != recorder.Blocks(); ++i)
    {
        blocks = recorder.Blocks();
        std::this_thread::sleep_for(100ms);
    }

    const auto begin = std::chrono::steady_clock::now();
    device->close();
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(took, 400ms) << "the thread was given its 400 ms";
    EXPECT_LT(took, 3400ms) << "and stopped within the bound";

    const auto log = sim.log("OUT");
    EXPECT_TRUE(LogHas(log, "stall"));
    EXPECT_EQ(log.back(), "close");
}

//==============================================================================
TEST(AlsaCardRules, ExactIdsOnly)
{
    struct Case
    {
        const char* id;
        bool a, b, c;
    };
    for (const auto& c :
         {Case{"hw:CARD=FE66,DEV=0", true, false, false}, Case{"hw:CARD=GU76,DEV=0", true, false, false},
          Case{"hw:CARD=GU74,DEV=0", false, true, false}, Case{"hw:CARD=GX90,DEV=0", false, false, true},
          Case{"hw:FE66,0", false, false, false}, Case{"hw:CARD=fe66,DEV=0", false, false, false},
          Case{"hw:CARD=GU74,DEV=1", false, false, false}})
    {
        const auto rules = juce::ALSACardRules::forDeviceId(c.id);
        EXPECT_EQ(rules.a, c.a) << c.id;
        EXPECT_EQ(rules.b, c.b) << c.id;
        EXPECT_EQ(rules.c, c.c) << c.id;
    }
}

TEST(AlsaUpsampler, ImpulseGivesTheFilterAndBlocksJoinSeamlessly)
{
    juce::ALSAUpsampler upsampler;
    std::vector<float> impulse(64, 0.0f);
    impulse[0] = 1.0f;
    upsampler.process(impulse.data(), 64);
    for (int m = 0; m < juce::ALSAUpsampler::numTaps; ++m)
        EXPECT_EQ(impulse[m], static_cast<float>(juce::ALSAUpsampler::coefficients[m])) << m;
    for (int k = juce::ALSAUpsampler::numTaps; k < 64; ++k)
        EXPECT_EQ(impulse[k], 0.0f);

    // A signal filtered in one block or in uneven pieces comes out the same.
    std::vector<float> signal(300);
    for (std::size_t i = 0; i < signal.size(); ++i)
        signal[i] = i % 2 == 0 ? std::sin(0.05f * i) : 0.0f;
    auto whole = signal;
    juce::ALSAUpsampler one;
    one.process(whole.data(), static_cast<int>(whole.size()));
    auto pieces = signal;
    juce::ALSAUpsampler other;
    other.process(pieces.data(), 10);
    other.process(pieces.data() + 10, 256);
    other.process(pieces.data() + 266, 34);
    EXPECT_EQ(pieces, whole);

    // After a reset the history is silence again.
    auto again = signal;
    one.reset();
    one.process(again.data(), static_cast<int>(again.size()));
    EXPECT_EQ(again, whole);
}
} // namespace
