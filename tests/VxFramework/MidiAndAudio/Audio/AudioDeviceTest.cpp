#include "VxFramework/MidiAndAudio/Audio/AudioDevice.h"
#include "VxFramework/MidiAndAudio/Audio/AudioIODeviceType.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/FakeAudioDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Vx::LAudioDevice;
using namespace VxTest::FakeAudio;
using Vx::RCPtr;
using String = Vx::StringT<char, unsigned short>;
using namespace std::chrono_literals;

// Renders what the test asks for, on the device's worker, and records its calls.
class Receiver : public Vx::LAudioDeviceCallbackReceiver
{
public:
    void RenderSamples(std::int32_t offset, std::int32_t frameCount, Vx::IArray<RCPtr<Vx::LIBuffer>>& capture) override
    {
        if (beforeReading)
            beforeReading();
        std::vector<std::vector<float>> captured;
        for (std::uint32_t c = 0; c < capture.GetCount(); ++c)
        {
            const float* samples = static_cast<const float*>(capture[c]->GetData());
            captured.emplace_back(samples, samples + frameCount);
        }
        if (render)
            render(offset, frameCount);
        std::lock_guard<std::mutex> lock(mutex);
        captures.push_back(std::move(captured));
        changed.notify_all();
    }
    void OnAboutToStart() override
    {
        ++aboutToStart;
        if (onAboutToStart)
            onAboutToStart();
    }
    void OnStopped() override { ++stopped; }
    void OnRenderDataLate(std::int32_t missing) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            late.push_back(missing);
        }
        if (onLate)
            onLate();
    }

    bool WaitForRenders(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return captures.size() >= count; });
    }

    std::function<void()> beforeReading;
    std::function<void(std::int32_t, std::int32_t)> render;
    std::function<void()> onAboutToStart;
    std::function<void()> onLate;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<std::vector<float>>> captures;
    std::vector<std::int32_t> late;
    std::atomic<int> aboutToStart{0}, stopped{0};
};

// Render buffers holding the values given, one buffer per channel.
Vx::RCPtrArray<Vx::LIBuffer> Buffers(const std::vector<std::vector<float>>& channels)
{
    Vx::RCPtrArray<Vx::LIBuffer> buffers;
    for (const auto& channel : channels)
    {
        RCPtr<Vx::LIBuffer> buffer = Vx::LAudioSampleBuffer::Create(
            static_cast<std::uint32_t>(channel.size() * sizeof(float)), 0, Vx::kBufferZeroFill);
        std::copy(channel.begin(), channel.end(), static_cast<float*>(buffer->GetData()));
        buffers.Add(buffer);
    }
    return buffers;
}

std::vector<float> Counting(int from, int count)
{
    std::vector<float> values;
    for (int i = 0; i < count; ++i)
        values.push_back(static_cast<float>(from + i));
    return values;
}

class AudioDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gScript = &script;
        previousFactory = LAudioDevice::SetDeviceTypeFactory(&MakeFakeType);
    }
    void TearDown() override
    {
        device = nullptr;
        EXPECT_TRUE(AllDeleted(script));
        LAudioDevice::SetDeviceTypeFactory(previousFactory);
        gScript = nullptr;
    }

    // A device opened at 48000 Hz, started with the masks and block size.
    void StartDevice(std::uint64_t capture, std::uint64_t render, std::int32_t blockSize)
    {
        device = LAudioDevice::Create({String("Card"), LAudioDevice::kAudioTypeALSA});
        ASSERT_NE(device, nullptr);
        device->SetCallbackReceiver(receiver);
        ASSERT_EQ(device->Open(48000), 0);
        ASSERT_EQ(device->Start(capture, render, blockSize, 2), 0);
    }

    FakeScript script;
    LAudioDevice::DeviceTypeFactory previousFactory = nullptr;
    RCPtr<Receiver> receiver{new Receiver()};
    RCPtr<LAudioDevice> device;
};

TEST_F(AudioDevice, StartResultsAreTracedAsATable)
{
    struct Case
    {
        const char* name;
        std::function<void(FakeScript&)> script;
        bool open;
        std::uint64_t capture, render;
        std::int32_t blockSize;
        Vx::VxRESULT expected;
    };
    const auto refuseEveryOpen = [](FakeScript& s) {
        s.refuse = [](const OpenCall&) { return std::string("refused"); };
        s.creationsLeft = 1;
    };
    const std::vector<Case> cases{
        {"no device (Open could make none)", refuseEveryOpen, true, 3, 3, 256, -200},
        {"never opened", nullptr, false, 3, 3, 256, -201},
        {"rate changed on reopening",
         [](FakeScript& s) { s.grantedRate = [](const OpenCall& c) { return c.blockSize == 64 ? 44100.0 : c.rate; }; },
         true, 3, 3, 64, -203},
        {"reopening refused",
         [](FakeScript& s) {
             s.refuse = [](const OpenCall& c) { return std::string(c.blockSize == 64 ? "refused" : ""); };
         },
         true, 3, 3, 64, -204},
        {"capture mask outside the active inputs", nullptr, true, 0b100, 3, 256, -205},
        {"render mask outside the active outputs", nullptr, true, 3, 0b1000, 256, -206},
        {"block size not granted", [](FakeScript& s) { s.grantedBlock = [](const OpenCall&) { return 512; }; }, true, 3,
         3, 64, -207},
        {"buffers too large to allocate", nullptr, true, 3, 3, 0x10000000, static_cast<Vx::VxRESULT>(0x80000002u)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakeScript row;
        gScript = &row;
        if (c.script)
            c.script(row);
        device = LAudioDevice::Create({String("Card"), LAudioDevice::kAudioTypeALSA});
        ASSERT_NE(device, nullptr);
        if (c.open)
            device->Open(48000);
        VxTest::CaptureStderr captured;
        EXPECT_EQ(device->Start(c.capture, c.render, c.blockSize, 2), c.expected);
        EXPECT_EQ(captured.Finish(), "LAudioDevice::Start returning " + std::to_string(c.expected) + "\n");
        EXPECT_FALSE(device->IsStarted());
        EXPECT_TRUE(row.current == nullptr || !row.current->IsStarted());
        device = nullptr;
        EXPECT_TRUE(AllDeleted(row));
    }
    gScript = &script;
}

TEST_F(AudioDevice, StartingTwiceIsRefusedAndTraced)
{
    StartDevice(3, 3, 128);
    EXPECT_EQ(receiver->aboutToStart.load(), 1) << "about-to-start arrives inside Start";
    VxTest::CaptureStderr captured;
    EXPECT_EQ(device->Start(3, 3, 128, 2), -202);
    EXPECT_EQ(captured.Finish(), "LAudioDevice::Start returning -202\n");
    EXPECT_TRUE(device->IsStarted());
    device->Stop();
    EXPECT_EQ(receiver->stopped.load(), 1);
    EXPECT_FALSE(device->IsStarted());
    // Opened again after Stop: Start works again.
    EXPECT_EQ(device->Start(3, 3, 128, 2), 0);
}

TEST_F(AudioDevice, FewerThanTwoCaptureSetsRunWithTwo)
{
    for (const std::uint32_t sets : {0u, 1u})
    {
        SCOPED_TRACE(sets);
        device = LAudioDevice::Create({String("Card"), LAudioDevice::kAudioTypeALSA});
        device->SetCallbackReceiver(receiver);
        ASSERT_EQ(device->Open(48000), 0);
        VxTest::CaptureStderr captured;
        ASSERT_EQ(device->Start(3, 0, 4, sets), 0);
        EXPECT_NE(captured.Finish().find("JUCE Assertion failure in AudioDevice.cpp:"), std::string::npos);
        // Two blocks captured before the worker reads either are both kept.
        receiver->captures.clear();
        script.current->Block(1.0f);
        script.current->Block(2.0f);
        ASSERT_TRUE(receiver->WaitForRenders(2));
        device->Stop();
        EXPECT_EQ(receiver->captures[0][0][0], 1.0f);
        EXPECT_EQ(receiver->captures[1][0][0], 2.0f);
    }
}

TEST_F(AudioDevice, BlocksCapturedWhileTheWorkerLagsAWholeRingArriveAsSilenceNotWrittenUnderIt)
{
    std::mutex gate;
    std::condition_variable opened;
    bool reading = false, release = false;
    receiver->beforeReading = [&] {
        std::unique_lock<std::mutex> lock(gate);
        reading = true;
        opened.notify_all();
        opened.wait(lock, [&] { return release; });
    };
    StartDevice(1, 0, 4);
    script.current->Block(1.0f);
    {
        std::unique_lock<std::mutex> lock(gate);
        ASSERT_TRUE(opened.wait_for(lock, 5s, [&] { return reading; }));
    }
    // The worker holds the first set; the second is free, then the ring is full.
    for (const float value : {2.0f, 3.0f, 4.0f})
        script.current->Block(value);
    {
        std::lock_guard<std::mutex> lock(gate);
        release = true;
    }
    opened.notify_all();
    ASSERT_TRUE(receiver->WaitForRenders(4));
    script.current->Block(5.0f);
    ASSERT_TRUE(receiver->WaitForRenders(5));
    device->Stop();
    // One render per block keeps the pace; the two blocks that found the
    // ring full are silent rather than older blocks again.
    std::vector<float> firsts;
    for (const auto& capture : receiver->captures)
        firsts.push_back(capture[0][0]);
    EXPECT_EQ(firsts, (std::vector<float>{1.0f, 2.0f, 0.0f, 0.0f, 5.0f}));
}

TEST(AudioDeviceCounts, PendingBlocksAcrossTheWrap)
{
    struct Case
    {
        std::uint32_t write, read, sets, pending;
    };
    for (const auto& c : {Case{5, 5, 2, 0}, Case{7, 5, 3, 2}, Case{2, 0x7FFFFFF, 3, 1}, Case{3, 0x7FFFFFE, 3, 3},
                          Case{0, 0x7FFFFFF, 2, 1}, Case{4, 0x7FFFFFF, 5, 2}})
        EXPECT_EQ(LAudioDevice::PendingBlockCount(c.write, c.read, c.sets), c.pending)
            << c.write << " after " << c.read << " of " << c.sets;
}

TEST_F(AudioDevice, WithNothingRenderedBlocksPlaySilenceAndAreOwed)
{
    StartDevice(0, 1, 4);
    for (int block = 0; block < 3; ++block)
        EXPECT_EQ(script.current->Block()[0], std::vector<float>(4, 0.0f));
    {
        std::lock_guard<std::mutex> lock(receiver->mutex);
        EXPECT_EQ(receiver->late, (std::vector<std::int32_t>{4, 8, 12}));
    }

    // Twelve frames are owed: of twenty, all are accepted (two blocks of room
    // plus the debt) and the first twelve skipped.
    EXPECT_EQ(device->RenderSamples(0, 20, Buffers({Counting(1, 20)})), 20);
    // The callback plays the half of its block's parity.
    EXPECT_EQ(script.current->Block()[0], Counting(17, 4));
    EXPECT_EQ(script.current->Block()[0], Counting(13, 4));
    std::lock_guard<std::mutex> lock(receiver->mutex);
    EXPECT_EQ(receiver->late.size(), 3u);
}

TEST_F(AudioDevice, RenderedFramesWrapAroundTheRing)
{
    StartDevice(0, 1, 4);
    EXPECT_EQ(device->RenderSamples(0, 6, Buffers({Counting(1, 6)})), 6);
    EXPECT_EQ(script.current->Block()[0], Counting(1, 4));
    // Room for six: two at the ring's end, four from its start.
    EXPECT_EQ(device->RenderSamples(0, 6, Buffers({Counting(7, 6)})), 6);
    EXPECT_EQ(device->RenderSamples(0, 4, Buffers({Counting(0, 4)})), 0) << "the ring is full";
    EXPECT_EQ(script.current->Block()[0], Counting(5, 4));
    EXPECT_EQ(script.current->Block()[0], Counting(9, 4));
    // An offset into the source.
    EXPECT_EQ(device->RenderSamples(2, 4, Buffers({Counting(100, 6)})), 4);
    EXPECT_EQ(script.current->Block()[0], Counting(102, 4));
}

TEST_F(AudioDevice, WholeBlocksPlayOnePeriodAfterTheOther)
{
    constexpr int kBlock = 8;
    std::atomic<int> rendered{0};
    // Two blocks of silence ahead, then one block per period, each of its own value.
    receiver->onAboutToStart = [&] {
        EXPECT_EQ(device->RenderSamples(0, 2 * kBlock, Buffers({std::vector<float>(2 * kBlock, 0.0f)})), 2 * kBlock);
    };
    receiver->render = [&](std::int32_t, std::int32_t frames) {
        const float value = static_cast<float>(++rendered);
        EXPECT_EQ(device->RenderSamples(0, frames, Buffers({std::vector<float>(frames, value)})), frames);
    };
    StartDevice(1, 1, kBlock);
    for (int block = 0; block < 6; ++block)
    {
        const auto played = script.current->Block(static_cast<float>(10 * block))[0];
        EXPECT_EQ(played, std::vector<float>(kBlock, block < 2 ? 0.0f : static_cast<float>(block - 1))) << block;
        ASSERT_TRUE(receiver->WaitForRenders(block + 1));
    }
    device->Stop();
    std::lock_guard<std::mutex> lock(receiver->mutex);
    EXPECT_TRUE(receiver->late.empty());
    for (int block = 0; block < 6; ++block)
        EXPECT_EQ(receiver->captures[block][0], std::vector<float>(kBlock, 10.0f * block)) << block;
}

TEST_F(AudioDevice, ChannelMapsSkipTheActiveChannelsNotRequested)
{
    script.inputChannels = 4;
    script.outputChannels = 3;
    script.activateAll = true; // as a device that opens channels in pairs
    receiver->onAboutToStart = [&] {
        device->RenderSamples(0, 8, Buffers({std::vector<float>(8, 1.0f), std::vector<float>(8, 2.0f)}));
    };
    StartDevice(0b1010, 0b101, 4);
    const auto outputs = script.current->Block(0.5f);
    ASSERT_EQ(outputs.size(), 3u);
    EXPECT_EQ(outputs[0], std::vector<float>(4, 1.0f));
    EXPECT_EQ(outputs[1], std::vector<float>(4, 0.0f)) << "an output not requested is silent";
    EXPECT_EQ(outputs[2], std::vector<float>(4, 2.0f));
    ASSERT_TRUE(receiver->WaitForRenders(1));
    device->Stop();
    // Inputs 1 and 3 (each input carries its index / 100) are capture channels 0 and 1.
    std::lock_guard<std::mutex> lock(receiver->mutex);
    ASSERT_EQ(receiver->captures[0].size(), 2u);
    EXPECT_EQ(receiver->captures[0][0], std::vector<float>(4, 0.5f + 1.0f / 100.0f));
    EXPECT_EQ(receiver->captures[0][1], std::vector<float>(4, 0.5f + 3.0f / 100.0f));
}

TEST(AudioDeviceCounts, WrapWithoutAJumpInTheSets)
{
    struct Case
    {
        std::uint32_t count, sets, next;
    };
    for (const auto& c : {Case{0, 2, 1}, Case{0x7FFFFFE, 3, 0x7FFFFFF}, Case{0x7FFFFFF, 3, 2}, Case{0x7FFFFFF, 2, 0},
                          Case{0x7FFFFFF, 5, 3}})
    {
        const std::uint32_t next = LAudioDevice::NextBlockCount(c.count, c.sets);
        EXPECT_EQ(next, c.next) << c.count << " of " << c.sets;
        EXPECT_EQ(next % c.sets, (c.count % c.sets + 1) % c.sets) << "the set after " << c.count;
    }
}

TEST_F(AudioDevice, OpenEndsWithAFreshDeviceAtTheRate)
{
    script.inputChannels = 0;
    device = LAudioDevice::Create({String("Card"), LAudioDevice::kAudioTypeALSA});
    ASSERT_EQ(device->Open(48000), 0);
    // A trial open at the device's default size, then a fresh device for good.
    ASSERT_EQ(script.opens.size(), 2u);
    EXPECT_EQ(script.opens[0].inputs, 0u) << "no inputs: no capture channels";
    EXPECT_EQ(script.opens[0].outputs, 3u);
    EXPECT_EQ(script.opens[0].blockSize, 0);
    EXPECT_EQ(script.opens[1].blockSize, 256);
    EXPECT_EQ(script.created.load(), 2);
    EXPECT_EQ(script.deleted.load(), 1);
    EXPECT_TRUE(script.current->IsOpen());
    EXPECT_EQ(device->GetCurrentSampleRate(), 48000.0);
    EXPECT_TRUE(device->IsBufferSizeAvailable(128));
    EXPECT_FALSE(device->IsBufferSizeAvailable(512));
    EXPECT_TRUE(device->IsSampleRateAvailable(44100.0));
    EXPECT_FALSE(device->IsSampleRateAvailable(96000.0));
    EXPECT_EQ(device->GetRenderChannelCount(), 2);
    EXPECT_EQ(device->GetCaptureChannelCount(), 0);

    // A device that runs at another rate than asked for is no device at that rate.
    script.grantedRate = [](const OpenCall&) { return 44100.0; };
    EXPECT_EQ(device->Open(48000), static_cast<Vx::VxRESULT>(0x80000008u));
    EXPECT_FALSE(script.current->IsOpen());
}

TEST_F(AudioDevice, WithoutAFrameworkDeviceTheDefaultsAnswer)
{
    script.refuse = [](const OpenCall&) { return std::string("refused"); };
    script.creationsLeft = 1;
    device = LAudioDevice::Create({String("Card"), LAudioDevice::kAudioTypeALSA});
    ASSERT_EQ(device->Open(48000), static_cast<Vx::VxRESULT>(0x80000008u));
    EXPECT_EQ(device->GetDefaultBufferSize(), 512);
    EXPECT_EQ(device->GetCurrentSampleRate(), 44100.0);
    EXPECT_EQ(device->GetCurrentBufferSize(), 512);
    EXPECT_EQ(device->GetCurrentBitDepth(), 16);
    EXPECT_EQ(device->GetCaptureChannelCount(), 0);
    EXPECT_EQ(device->GetRenderChannelCount(), 0);
    EXPECT_FALSE(device->IsBufferSizeAvailable(256));
    EXPECT_FALSE(device->IsPlaying());
    EXPECT_TRUE(device->GetLastError().IsEmpty());
}

TEST_F(AudioDevice, ListsAndCreatesByIdentity)
{
    script.alsaNames = {"Card", "Other"};
    script.jackNames = {"Jack"};
    Vx::Array<LAudioDevice::AudioDeviceID> list;
    list.Add({String("stale"), LAudioDevice::kAudioTypeALSA});
    LAudioDevice::GetDeviceList(list);
    ASSERT_EQ(list.GetCount(), 3u);
    EXPECT_EQ(list[0], (LAudioDevice::AudioDeviceID{String("Card"), LAudioDevice::kAudioTypeALSA}));
    EXPECT_EQ(list[1], (LAudioDevice::AudioDeviceID{String("Other"), LAudioDevice::kAudioTypeALSA}));
    EXPECT_EQ(list[2], (LAudioDevice::AudioDeviceID{String("Jack"), LAudioDevice::kAudioTypeJACK}));
    EXPECT_EQ(script.listedCapabilities, (std::vector<std::int32_t>{3, 3}));

    EXPECT_EQ(LAudioDevice::Create({String("Card"), LAudioDevice::kAudioTypeIOSAudio}), nullptr);
    EXPECT_EQ(LAudioDevice::Create({String("Missing"), LAudioDevice::kAudioTypeALSA}), nullptr);

    LAudioDevice::AudioDeviceID found;
    ASSERT_EQ(LAudioDevice::FindDefaultOutputDevice(found), 0);
    EXPECT_EQ(found, (LAudioDevice::AudioDeviceID{String("Card"), LAudioDevice::kAudioTypeALSA}));
    script.outputChannels = 0;
    EXPECT_EQ(LAudioDevice::FindDefaultOutputDevice(found), static_cast<Vx::VxRESULT>(0x80000008u));

    for (const auto& [type, name] : {std::pair{1, "ASIO"}, {5, "iOS Audio"}, {6, "ALSA"}, {7, "JACK"}, {9, ""}})
        EXPECT_STREQ(LAudioDevice::GetAudioTypeName(type), name);
}

TEST_F(AudioDevice, AReceiverReplacedWhileRenderingLivesUntilItsCallReturns)
{
    std::mutex gate;
    std::condition_variable opened;
    bool rendering = false, release = false;
    receiver->render = [&](std::int32_t, std::int32_t) {
        std::unique_lock<std::mutex> lock(gate);
        rendering = true;
        opened.notify_all();
        opened.wait(lock, [&] { return release; });
    };
    StartDevice(1, 0, 4);
    script.current->Block();
    {
        std::unique_lock<std::mutex> lock(gate);
        ASSERT_TRUE(opened.wait_for(lock, 5s, [&] { return rendering; }));
    }

    Receiver* const inUse = receiver.Get();
    std::atomic<bool> replaced{false};
    std::thread replacer([&] {
        device->SetCallbackReceiver(nullptr);
        replaced = true;
    });
    receiver = nullptr; // the device's reference is the last one
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(replaced.load()) << "waits for the call in progress";
    EXPECT_EQ(inUse->aboutToStart.load(), 1) << "still alive";
    {
        std::lock_guard<std::mutex> lock(gate);
        release = true;
    }
    opened.notify_all();
    replacer.join();
    EXPECT_TRUE(replaced.load());
    device->Stop();
}

TEST_F(AudioDevice, ReleasingTheLastReferenceEndsTheWorkerAndTheDevice)
{
    StartDevice(1, 1, 4);
    script.current->Block();
    ASSERT_TRUE(receiver->WaitForRenders(1));
    // Only the worker's own reference besides ours, even during a pass.
    ASSERT_EQ(device->GetRefCount(), 2u);
    EXPECT_EQ(device->GetContainedRefCount(), 1u);
    device = nullptr;
    EXPECT_EQ(script.deleted.load(), script.created.load()) << "every framework device deleted";
    EXPECT_EQ(receiver->GetRefCount(), 1u) << "the device let go of its receiver";
}

TEST_F(AudioDevice, ADeviceReleasedDuringARenderGoesWithTheReleaseOnceTheRenderReturns)
{
    std::mutex gate;
    std::condition_variable opened;
    bool rendering = false, release = false;
    receiver->render = [&](std::int32_t, std::int32_t) {
        std::unique_lock<std::mutex> lock(gate);
        rendering = true;
        opened.notify_all();
        opened.wait(lock, [&] { return release; });
    };
    StartDevice(1, 0, 4);
    script.current->Block();
    {
        std::unique_lock<std::mutex> lock(gate);
        ASSERT_TRUE(opened.wait_for(lock, 5s, [&] { return rendering; }));
    }
    device->Stop();
    // The render is let go just before the release, which then meets it still
    // in progress (waking the worker takes far longer) and waits for it; when
    // the release returns, the worker has ended and the device is gone.
    RCPtr<LAudioDevice> last = std::move(device);
    {
        std::lock_guard<std::mutex> lock(gate);
        release = true;
    }
    opened.notify_all();
    last = nullptr;
    EXPECT_TRUE(AllDeleted(script));
    EXPECT_EQ(receiver->GetRefCount(), 1u) << "the device let go of its receiver";
    EXPECT_EQ(receiver->captures.size(), 1u) << "the render in progress completed";
}
} // namespace

namespace
{
TEST_F(AudioDevice, AWorkerLateOnceKeepsEveryLaterBlockWholeAndInItsPeriod)
{
    // Block k plays the block rendered for capture k - 2, each of its own value k + 1.
    constexpr int kBlock = 4;
    std::atomic<int> rendered{0};
    // The worker holds the renders of captures 2 and 7 across the next two blocks.
    const auto held = [](int block) { return block == 2 || block == 7; };
    std::mutex gate;
    std::condition_variable opened;
    bool holding = false, release = false;
    receiver->onAboutToStart = [&] {
        device->RenderSamples(0, 2 * kBlock, Buffers({std::vector<float>(2 * kBlock, 0.0f)}));
    };
    receiver->render = [&](std::int32_t, std::int32_t frames) {
        const int n = ++rendered;
        if (held(n - 1))
        {
            std::unique_lock<std::mutex> lock(gate);
            holding = true;
            opened.notify_all();
            opened.wait(lock, [&] { return release; });
            holding = release = false;
        }
        device->RenderSamples(0, frames, Buffers({std::vector<float>(frames, static_cast<float>(n))}));
    };
    // As a receiver whose late report waits for the render in progress (the
    // client's lock): the worker goes on with every block it has been given.
    receiver->onLate = [&] {
        {
            std::lock_guard<std::mutex> lock(gate);
            release = true;
        }
        opened.notify_all();
        // Every render given so far, then any that the worker would start next.
        ASSERT_TRUE(receiver->WaitForRenders(static_cast<std::size_t>(rendered.load())));
        std::unique_lock<std::mutex> lock(receiver->mutex);
        const std::size_t more = receiver->captures.size() + 1;
        receiver->changed.wait_for(lock, 100ms, [&] { return receiver->captures.size() >= more; });
    };
    StartDevice(1, 1, kBlock);
    std::vector<float> played;
    for (int block = 0; block < 16; ++block)
    {
        played.push_back(script.current->Block()[0][0]);
        if (held(block))
        {
            std::unique_lock<std::mutex> lock(gate);
            ASSERT_TRUE(opened.wait_for(lock, 5s, [&] { return holding; }));
        }
        else if (!held(block - 1))
        {
            ASSERT_TRUE(receiver->WaitForRenders(block + 1));
        }
    }
    device->Stop();
    // The late block plays in its period once the worker caught up; nothing is
    // lost, no block shifts, and the second hold changes nothing either.
    EXPECT_EQ(played, (std::vector<float>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
}
} // namespace
