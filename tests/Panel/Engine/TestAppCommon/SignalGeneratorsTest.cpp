#include "Panel/Engine/TestAppCommon/SineWaveGenerator.h"
#include "Panel/Engine/TestAppCommon/WaveFileWriter.h"
#include "Panel/Engine/TestAppCommon/WhiteNoiseGenerator.h"

#include "VxFramework/MidiAndAudio/Audio/AudioDevice.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>
#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace
{
using Vx::RCPtr;
using String = Vx::StringT<char, unsigned short>;

constexpr float kUntouched = 7.0f;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Buffers of the sizes given, every sample kUntouched; a size below 0 is a null entry.
Vx::RCPtrArray<Vx::LIBuffer> Buffers(std::vector<int> sizes)
{
    Vx::RCPtrArray<Vx::LIBuffer> buffers;
    for (const int size : sizes)
    {
        if (size < 0)
        {
            buffers.Add(nullptr);
            continue;
        }
        RCPtr<Vx::LIBuffer> buffer = Vx::LAudioSampleBuffer::Create(static_cast<std::uint32_t>(size * sizeof(float)));
        std::fill_n(static_cast<float*>(buffer->GetData()), size, kUntouched);
        buffers.Add(buffer);
    }
    return buffers;
}

std::vector<float> Samples(const RCPtr<Vx::LIBuffer>& buffer)
{
    const float* data = static_cast<const float*>(buffer->GetData());
    return std::vector<float>(data, data + buffer->GetSize() / sizeof(float));
}

bool Asserted(const std::string& trace, const char* file)
{
    return trace.find(std::string("JUCE Assertion failure in ") + file + ":") != std::string::npos;
}

TEST(SineWaveGenerator, StartsAtZeroAndRunsOnAcrossBlocksWithinOneTurn)
{
    Vx::SineWaveGenerator sine(0.0, 1000.0, 44100.0);
    EXPECT_DOUBLE_EQ(sine.GetPhaseIncrement(), kTwoPi * 1000.0 / 44100.0);
    EXPECT_EQ(sine.GetGain(), 1.0f);
    auto buffers = Buffers({1000});
    int n = 0;
    for (const int block : {1, 7, 44, 256, 692})
    {
        sine.Render(buffers, 0, block);
        EXPECT_GE(sine.GetPhase(), 0.0);
        EXPECT_LT(sine.GetPhase(), kTwoPi);
        const auto samples = Samples(buffers[0]);
        if (n == 0)
        {
            EXPECT_EQ(samples[0], 0.0f) << "the first sample";
        }
        for (int i = 0; i < block; ++i, ++n)
            ASSERT_NEAR(samples[static_cast<std::size_t>(i)], std::sin(kTwoPi * 1000.0 * n / 44100.0), 2e-4)
                << "sample " << n << " of a block of " << block;
    }
}

TEST(SineWaveGenerator, GainFollowsDecibels)
{
    struct Case
    {
        double db;
        float gain;
    };
    for (const auto& c :
         {Case{0.0, 1.0f}, Case{-6.0, 0.501187f}, Case{-20.0, 0.1f}, Case{-200.0, 0.0f}, Case{-300.0, 0.0f}})
    {
        Vx::SineWaveGenerator sine(0.0, 1000.0, 48000.0);
        sine.SetGainDb(c.db);
        EXPECT_NEAR(sine.GetGain(), c.gain, 1e-6) << c.db << " dB";
        EXPECT_EQ(sine.GetGainDb(), c.db);
        auto buffers = Buffers({48});
        sine.Render(buffers, 0, 48); // one period
        const auto samples = Samples(buffers[0]);
        EXPECT_NEAR(*std::max_element(samples.begin(), samples.end()), c.gain, 1e-5) << c.db << " dB";
    }
}

TEST(SineWaveGenerator, AGeneratorWithoutIncrementAssertsAndWritesNothing)
{
    struct Case
    {
        const char* name;
        std::function<void(Vx::SineWaveGenerator&)> change;
    };
    const std::vector<Case> cases{
        {"frequency 0", [](Vx::SineWaveGenerator& s) { s.SetFrequency(0.0); }},
        {"rate 0", [](Vx::SineWaveGenerator& s) { s = Vx::SineWaveGenerator(0.0, 1000.0, 0.0); }},
        {"default", [](Vx::SineWaveGenerator& s) { s = Vx::SineWaveGenerator(); }},
        {"rate only", [](Vx::SineWaveGenerator& s) { s = Vx::SineWaveGenerator(48000.0); }},
    };
    for (const auto& c : cases)
    {
        Vx::SineWaveGenerator sine(0.0, 1000.0, 48000.0);
        c.change(sine);
        auto buffers = Buffers({16, 16});
        VxTest::CaptureStderr captured;
        sine.Render(buffers, 0, 16);
        sine.Render(buffers, 0, 16);
        const std::string trace = captured.Finish();
        EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 2) << c.name << ": " << trace;
        EXPECT_TRUE(Asserted(trace, "SineWaveGenerator.cpp")) << c.name;
        EXPECT_EQ(Samples(buffers[0]), std::vector<float>(16, kUntouched)) << c.name;
        EXPECT_EQ(Samples(buffers[1]), std::vector<float>(16, kUntouched)) << c.name;
    }
}

TEST(SignalGenerators, OutOfRangeSettingsAreAssertedAndKept)
{
    struct Case
    {
        const char* name;
        std::function<float()> make; // the gain made
        float gain;
    };
    const std::vector<Case> cases{
        {"sine above 0 dB", [] { return Vx::SineWaveGenerator(6.0, 1000.0, 48000.0).GetGain(); }, 1.995262f},
        {"sine at a negative frequency", [] { return Vx::SineWaveGenerator(0.0, -1.0, 48000.0).GetGain(); }, 1.0f},
        {"sine at a negative rate", [] { return Vx::SineWaveGenerator(0.0, 1.0, -48000.0).GetGain(); }, 1.0f},
        {"noise above 0 dB", [] { return Vx::WhiteNoiseGenerator(6.0, 48000.0).GetGain(); }, 1.995262f},
        {"noise at a negative rate", [] { return Vx::WhiteNoiseGenerator(0.0, -1.0).GetGain(); }, 1.0f},
    };
    for (const auto& c : cases)
    {
        VxTest::CaptureStderr captured;
        EXPECT_NEAR(c.make(), c.gain, 1e-5) << c.name;
        const std::string trace = captured.Finish();
        EXPECT_TRUE(Asserted(trace, "SineWaveGenerator.cpp") || Asserted(trace, "WhiteNoiseGenerator.cpp")) << c.name;
    }
}

TEST(WhiteNoiseGenerator, StaysWithinZeroAndItsGain)
{
    for (const double db : {0.0, -6.0})
    {
        RCPtr<Vx::LWhiteNoiseGenerator> noise = Vx::LWhiteNoiseGenerator::Create(db, 48000.0);
        auto buffers = Buffers({100000});
        noise->Render(buffers, 0, 100000);
        const auto samples = Samples(buffers[0]);
        const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
        EXPECT_GE(*low, 0.0f) << db;
        EXPECT_LT(*high, noise->GetGain()) << db;
        EXPECT_GT(*high, 0.99f * noise->GetGain()) << db << " dB: spread over the whole range";
        double sum = 0;
        for (const float sample : samples)
            sum += sample;
        EXPECT_NEAR(sum / samples.size(), noise->GetGain() / 2.0, 0.01) << db;
    }
    // Each generator has its own sequence.
    auto first = Buffers({64});
    auto second = Buffers({64});
    Vx::WhiteNoiseGenerator(0.0, 48000.0).Render(first, 0, 64);
    Vx::WhiteNoiseGenerator(0.0, 48000.0).Render(second, 0, 64);
    EXPECT_NE(Samples(first[0]), Samples(second[0]));
    // Without a gain the bounds stay (0, 1), from the engine's default seed:
    // its first word is 3499211612.
    auto seeded = Buffers({64});
    Vx::WhiteNoiseGenerator(48000.0).Render(seeded, 0, 64);
    EXPECT_EQ(Samples(seeded[0])[0], 3499211612.0f * 0x1p-32f);
    auto again = Buffers({64});
    Vx::WhiteNoiseGenerator().Render(again, 0, 64);
    EXPECT_EQ(Samples(again[0]), Samples(seeded[0]));
}

// Both generators: the block at its offset in every buffer of the list,
// nothing outside it, and nothing written where the block does not fit.
TEST(SignalGenerators, FillEveryBufferOfTheListWithTheSameBlock)
{
    struct Generator
    {
        const char* name;
        std::function<void(Vx::IArray<RCPtr<Vx::LIBuffer>>&, std::int32_t, std::int32_t)> render;
    };
    auto sine = Vx::LSineWaveGenerator::Create(0.0, 1000.0, 48000.0);
    auto noise = Vx::LWhiteNoiseGenerator::Create(0.0, 48000.0);
    const std::vector<Generator> generators{
        {"sine", [&](auto& list, std::int32_t offset, std::int32_t count) { sine->Render(list, offset, count); }},
        {"noise", [&](auto& list, std::int32_t offset, std::int32_t count) { noise->Render(list, offset, count); }},
    };
    for (const auto& g : generators)
    {
        SCOPED_TRACE(g.name);
        auto buffers = Buffers({32, 32, 32});
        g.render(buffers, 8, 16);
        const auto first = Samples(buffers[0]);
        for (std::uint32_t b = 1; b < 3; ++b)
            EXPECT_EQ(Samples(buffers[b]), first) << "buffer " << b;
        EXPECT_EQ(std::count(first.begin(), first.end(), kUntouched), 16);
        EXPECT_EQ(std::count(first.begin() + 8, first.begin() + 24, kUntouched), 0);

        // An empty list: nothing happens.
        Vx::RCPtrArray<Vx::LIBuffer> none;
        g.render(none, 0, 16);

        struct Bad
        {
            const char* name;
            std::vector<int> sizes;
            std::int32_t offset, count;
            bool firstWritten;
        };
        for (const auto& bad :
             {Bad{"past the first buffer", {16, 32}, 8, 16, false}, Bad{"negative offset", {16}, -1, 4, false},
              Bad{"negative count", {16}, 0, -4, false}, Bad{"null first buffer", {-1, 16}, 0, 4, false},
              Bad{"another buffer too short", {16, 8, 16}, 4, 8, true},
              Bad{"another buffer missing", {16, -1, 16}, 4, 8, true}})
        {
            SCOPED_TRACE(bad.name);
            auto list = Buffers(bad.sizes);
            VxTest::CaptureStderr captured;
            g.render(list, bad.offset, bad.count);
            EXPECT_TRUE(Asserted(captured.Finish(), "SineWaveGenerator.cpp"));
            if (list[0] != nullptr)
            {
                const auto first = Samples(list[0]);
                EXPECT_EQ(std::count(first.begin() + 4, first.begin() + 12, kUntouched), bad.firstWritten ? 0 : 8);
            }
            if (list.GetCount() > 1 && list[1] != nullptr)
            {
                EXPECT_EQ(Samples(list[1]), std::vector<float>(list[1]->GetSize() / sizeof(float), kUntouched));
            }
            if (bad.firstWritten)
            {
                EXPECT_EQ(Samples(list[2]), Samples(list[0])) << "the buffers that hold the block get it";
            }
        }
    }
}

class WaveFileWriter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "wavXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        path = (directory / "out.wav").string();
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    // The file's samples as JUCE's reader gives them, left-justified 32-bit.
    std::vector<std::vector<int>> ReadBack(unsigned int channels, int bits, double rate)
    {
        juce::WavAudioFormat format;
        std::unique_ptr<juce::AudioFormatReader> reader(
            format.createReaderFor(new juce::FileInputStream(juce::File(path)), true));
        if (reader == nullptr)
        {
            ADD_FAILURE() << "no WAV file";
            return {};
        }
        EXPECT_EQ(reader->numChannels, channels);
        EXPECT_EQ(reader->bitsPerSample, static_cast<unsigned int>(bits));
        EXPECT_EQ(reader->sampleRate, rate);
        EXPECT_TRUE(reader->metadataValues.getAllKeys().isEmpty());
        std::vector<std::vector<int>> samples(channels, std::vector<int>(reader->lengthInSamples));
        std::vector<int*> pointers;
        for (auto& channel : samples)
            pointers.push_back(channel.data());
        reader->read(pointers.data(), static_cast<int>(channels), 0, static_cast<int>(reader->lengthInSamples), false);
        return samples;
    }

    std::filesystem::path directory;
    std::string path;
};

TEST_F(WaveFileWriter, WritesSamplesThatReadBackExactly)
{
    // Multiples of 1/128 below one half: every whole-number depth holds them
    // exactly; 32 bits are floats, read back as their bits.
    constexpr int kFrames = 300;
    std::vector<float> left(kFrames), right(kFrames);
    for (int i = 0; i < kFrames; ++i)
    {
        left[static_cast<std::size_t>(i)] = static_cast<float>(i % 127 - 63) / 128.0f;
        right[static_cast<std::size_t>(i)] = static_cast<float>(63 - i % 101) / 128.0f;
    }
    const auto expected = [](float sample, int bits) {
        return bits == 32 ? std::bit_cast<int>(sample) : static_cast<int>(std::lround(sample * 128.0f)) * (1 << 24);
    };
    for (const int bits : {8, 16, 24, 32})
    {
        SCOPED_TRACE(bits);
        RCPtr<Vx::LWaveFileWriter> writer = Vx::LWaveFileWriter::Create();
        ASSERT_EQ(writer->Open(String(path.c_str()), 2, bits, 48000.0), 0);
        const float* channels[] = {left.data(), right.data()};
        // In two writes: the start sample picks up where the first ended.
        ASSERT_EQ(writer->Write(channels, 2, 0, 100), 0);
        ASSERT_EQ(writer->Write(channels, 2, 100, kFrames - 100), 0);
        ASSERT_EQ(writer->Close(), 0);
        const auto samples = ReadBack(2, bits, 48000.0);
        ASSERT_EQ(samples.size(), 2u);
        ASSERT_EQ(samples[0].size(), static_cast<std::size_t>(kFrames));
        for (int i = 0; i < kFrames; ++i)
        {
            ASSERT_EQ(samples[0][static_cast<std::size_t>(i)], expected(left[static_cast<std::size_t>(i)], bits)) << i;
            ASSERT_EQ(samples[1][static_cast<std::size_t>(i)], expected(right[static_cast<std::size_t>(i)], bits)) << i;
        }
    }
}

TEST_F(WaveFileWriter, BuffersAndMissingChannels)
{
    auto buffers = Buffers({64});
    std::fill_n(static_cast<float*>(buffers[0]->GetData()), 64, 0.25f);
    RCPtr<Vx::LWaveFileWriter> writer = Vx::LWaveFileWriter::Create();
    ASSERT_EQ(writer->Open(String(path.c_str()), 2, 16, 44100.0), 0);
    // One buffer for a file of two channels: the second is silent.
    ASSERT_EQ(writer->WriteBuffers(buffers, 16, 48), 0);
    EXPECT_EQ(writer->WriteBuffers(buffers, 32, 48), Vx::VXR_E_FAIL) << "past the buffer's end";
    auto withNull = Buffers({64, -1});
    EXPECT_EQ(writer->WriteBuffers(withNull, 0, 8), Vx::VXR_E_FAIL);
    writer = nullptr; // closes
    const auto samples = ReadBack(2, 16, 44100.0);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0], std::vector<int>(48, 1 << 29));
    EXPECT_EQ(samples[1], std::vector<int>(48, 0));
}

TEST_F(WaveFileWriter, BadCallsFailAndLoseNothing)
{
    const float samples[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    const float* channels[] = {samples};
    RCPtr<Vx::LWaveFileWriter> writer = Vx::LWaveFileWriter::Create();
    EXPECT_EQ(writer->Write(channels, 1, 0, 4), Vx::VXR_E_FAIL) << "before Open";
    auto buffers = Buffers({4});
    EXPECT_EQ(writer->WriteBuffers(buffers, 0, 4), Vx::VXR_E_FAIL) << "before Open";

    {
        std::ofstream existing(path);
        existing << "keep me";
    }
    struct Case
    {
        const char* name;
        std::string path;
        std::int32_t channels, bits;
        double rate;
    };
    for (const auto& c : {Case{"relative path", "out.wav", 1, 16, 48000.0}, Case{"no channels", path, 0, 16, 48000.0},
                          Case{"too many channels", path, 256, 16, 48000.0}, Case{"12 bits", path, 1, 12, 48000.0},
                          Case{"rate 0", path, 1, 16, 0.0}, Case{"negative rate", path, 1, 16, -48000.0},
                          Case{"rate beyond 32 bits", path, 1, 16, 5e9},
                          Case{"no such directory", (directory / "missing" / "out.wav").string(), 1, 16, 48000.0}})
    {
        EXPECT_EQ(writer->Open(String(c.path.c_str()), c.channels, c.bits, c.rate), Vx::VXR_E_FAIL) << c.name;
        EXPECT_EQ(writer->Write(channels, 1, 0, 4), Vx::VXR_E_FAIL) << c.name << ": nothing open";
        std::ifstream kept(path);
        std::string text;
        std::getline(kept, text);
        EXPECT_EQ(text, "keep me") << c.name;
    }

    // A good Open replaces the file; bad writes on it fail.
    ASSERT_EQ(writer->Open(String(path.c_str()), 1, 16, 48000.0), 0);
    EXPECT_EQ(writer->Write(nullptr, 1, 0, 4), Vx::VXR_E_FAIL);
    EXPECT_EQ(writer->Write(channels, 1, -1, 4), Vx::VXR_E_FAIL);
    EXPECT_EQ(writer->Write(channels, 1, 0, -4), Vx::VXR_E_FAIL);
    EXPECT_EQ(writer->Write(channels, 1, 0, 0), 0) << "nothing to write";
    ASSERT_EQ(writer->Close(), 0);
    EXPECT_EQ(writer->Write(channels, 1, 0, 4), Vx::VXR_E_FAIL) << "after Close";
    EXPECT_TRUE(ReadBack(1, 16, 48000.0)[0].empty());
}
} // namespace
