#include "Panel/Engine/TestAppCommon/AudioDeviceClient.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/FakeAudioDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace Vx
{
struct LAudioDeviceClientTestAccess
{
    static void SetState(LAudioDeviceClient& client, std::int32_t state) { client.mState.store(state); }
};
} // namespace Vx

namespace
{
using namespace VxTest::FakeAudio;
using Vx::LAudioDeviceClient;
using Vx::RCPtr;
using Vx::VxRESULT;

constexpr VxRESULT kUnexpected = Vx::VXR_E_UNEXPECTED;
constexpr VxRESULT kFail = Vx::VXR_E_FAIL;

// The captured trace as lines, assertion line numbers left out.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(std::regex_replace(text, std::regex(R"((\.cpp):\d+)"), "$1:N"));
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// Each line as the client writes it for the card "Card".
std::vector<std::string> Client(std::initializer_list<const char*> texts)
{
    std::vector<std::string> lines;
    for (const char* text : texts)
        lines.push_back(std::string(text).starts_with("JUCE") || std::string(text).starts_with("LAudioDevice::")
                            ? text
                            : std::string("LAudioDeviceClient: Card: ") + text);
    return lines;
}

Vx::RCPtrArray<Vx::LIBuffer> Buffers(std::size_t channels, std::int32_t frames, float value)
{
    Vx::RCPtrArray<Vx::LIBuffer> buffers;
    for (std::size_t c = 0; c < channels; ++c)
    {
        RCPtr<Vx::LIBuffer> buffer =
            Vx::LAudioSampleBuffer::Create(static_cast<std::uint32_t>(frames * sizeof(float)), 0, Vx::kBufferZeroFill);
        std::fill_n(static_cast<float*>(buffer->GetData()), frames, value);
        buffers.Add(buffer);
    }
    return buffers;
}

// Records what the client hands on, with a check that it names its client.
class Receiver : public Vx::LAudioDeviceClientCallbackReceiver
{
public:
    void RenderSamples(const RCPtr<LAudioDeviceClient>& client, std::int32_t offset, std::int32_t frames,
                       Vx::IArray<RCPtr<Vx::LIBuffer>>& capture) override
    {
        // The client's accessors work from inside its callback.
        const Vx::RCPtrArray<Vx::LIBuffer> rendered = Buffers(2, frames, 0.5f);
        const std::int32_t accepted = client->RenderSamples(0, frames, rendered);
        Record(client, "render " + std::to_string(offset) + " " + std::to_string(frames) + " from " +
                           std::to_string(capture.GetCount()) + " channels, " + std::to_string(accepted) + " accepted");
    }
    void OnAboutToStart(const RCPtr<LAudioDeviceClient>& client) override { Record(client, "about to start"); }
    void OnStopped(const RCPtr<LAudioDeviceClient>& client) override { Record(client, "stopped"); }
    void OnRenderDataLate(const RCPtr<LAudioDeviceClient>& client, std::int32_t missing) override
    {
        Record(client, "late " + std::to_string(missing));
    }
    void OnError(const RCPtr<LAudioDeviceClient>& client, const String& message) override
    {
        Record(client, std::string("error ") + message.GetCString());
    }

    // Waits until a call beginning with the text arrived.
    bool WaitFor(const std::string& prefix)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 5s, [&] {
            for (const auto& call : calls)
                if (call.starts_with(prefix))
                    return true;
            return false;
        });
    }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(calls, {});
    }

    LAudioDeviceClient* expected = nullptr;

private:
    void Record(const RCPtr<LAudioDeviceClient>& client, std::string call)
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(client.Get() == expected ? std::move(call) : "from another client: " + call);
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> calls;
};

class AudioDeviceClient : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gScript = &script;
        previousFactory = LAudioDevice::SetDeviceTypeFactory(&MakeFakeType);
    }
    void TearDown() override
    {
        client = nullptr;
        EXPECT_TRUE(AllDeleted(script));
        LAudioDevice::SetDeviceTypeFactory(previousFactory);
        gScript = nullptr;
    }

    RCPtr<LAudioDeviceClient> MakeClient(std::int32_t state, std::int32_t bufferSize = 256)
    {
        RCPtr<LAudioDeviceClient> made = LAudioDeviceClient::Create({String("Card"), LAudioDevice::kAudioTypeALSA});
        VxTest::CaptureStderr quiet;
        if (state >= 1)
        {
            EXPECT_EQ(made->PrepareStreaming(bufferSize, 48000.0), 0);
        }
        if (state >= 2)
        {
            EXPECT_EQ(made->StartStreaming(), 0);
        }
        return made;
    }

    FakeScript script;
    LAudioDevice::DeviceTypeFactory previousFactory = nullptr;
    RCPtr<LAudioDeviceClient> client;
};

TEST_F(AudioDeviceClient, EveryCallInEveryState)
{
    struct Row
    {
        const char* name;
        std::int32_t from;
        std::function<void(FakeScript&)> script; // applied once the client is in its state
        std::function<double(LAudioDeviceClient&)> call;
        double result;
        std::vector<std::string> trace;
        std::int32_t stateAfter;
        std::int32_t preparedSize = 256;
    };
    const auto prepare = [](std::int32_t size, double rate) {
        return [=](LAudioDeviceClient& c) { return c.PrepareStreaming(size, rate); };
    };
    const auto start = [](LAudioDeviceClient& c) { return c.StartStreaming(); };
    const auto stop = [](LAudioDeviceClient& c) { return c.StopStreaming(); };
    const auto unprepare = [](LAudioDeviceClient& c) { return c.UnprepareStreaming(); };
    const auto setReceiver = [](LAudioDeviceClient& c) { return c.SetCallbackReceiver(new Receiver()); };
    const auto bufferSize = [](LAudioDeviceClient& c) { return c.GetBufferSize(); };
    const auto captureCount = [](LAudioDeviceClient& c) { return c.GetCaptureChannelCount(); };
    const auto renderCount = [](LAudioDeviceClient& c) { return c.GetRenderChannelCount(); };
    const auto sampleRate = [](LAudioDeviceClient& c) { return c.GetSampleRate(); };
    const auto render = [](LAudioDeviceClient& c) { return c.RenderSamples(0, 4, Buffers(2, 4, 1.0f)); };
    const auto noDevice = [](FakeScript& s) { s.alsaNames.clear(); };
    const auto refuseOpen = [](FakeScript& s) { s.refuse = [](const OpenCall&) { return std::string("busy"); }; };
    const auto noInputs = [](FakeScript& s) { s.inputChannels = 0; };
    const auto refuseBlock = [](FakeScript& s) { s.grantedBlock = [](const OpenCall&) { return 512; }; };
    const std::vector<std::string> prepareTrace =
        Client({"PrepareStreaming: sampleRateHz=48000.000000, bufferSizeFrames=256", "Creating audio device: Card",
                "Opening device for sample rate: 48000.000000", "Actual buffer size:    256",
                "Capture channel count: 2", "Render  channel cound: 2"});
    const std::vector<std::string> assertion = Client({"JUCE Assertion failure in AudioDeviceClient.cpp:N"});

    const std::vector<Row> rows{
        {"prepare when idle", 0, nullptr, prepare(256, 48000.0), 0, prepareTrace, 1},
        {"prepare with a size the device does not list", 0, nullptr, prepare(500, 48000.0), 0,
         Client({"PrepareStreaming: sampleRateHz=48000.000000, bufferSizeFrames=500", "Creating audio device: Card",
                 "Opening device for sample rate: 48000.000000", "Actual buffer size:    256",
                 "Capture channel count: 2", "Render  channel cound: 2"}),
         1},
        {"prepare a missing device", 0, noDevice, prepare(256, 48000.0), kFail,
         Client({"PrepareStreaming: sampleRateHz=48000.000000, bufferSizeFrames=256", "Creating audio device: Card",
                 "Failed to create audio device: Card"}),
         0},
        {"prepare a device that does not open", 0, refuseOpen, prepare(256, 48000.0), kFail,
         Client({"PrepareStreaming: sampleRateHz=48000.000000, bufferSizeFrames=256", "Creating audio device: Card",
                 "Opening device for sample rate: 48000.000000"}),
         0},
        {"prepare again with the same values", 1, nullptr, prepare(256, 48000.0), 1, {}, 1},
        {"prepare again with the size in use", 1, nullptr, prepare(256, 48000.0), 1, {}, 1, 500},
        {"prepare again with the size first asked for", 1, nullptr, prepare(500, 48000.0), kUnexpected,
         Client({"Unexpected PrepareStreaming() call: state=1"}), 1, 500},
        {"prepare again with another size", 1, nullptr, prepare(128, 48000.0), kUnexpected,
         Client({"Unexpected PrepareStreaming() call: state=1"}), 1},
        {"prepare again with another rate", 1, nullptr, prepare(256, 44100.0), kUnexpected,
         Client({"Unexpected PrepareStreaming() call: state=1"}), 1},
        {"prepare while streaming", 2, nullptr, prepare(256, 48000.0), kUnexpected,
         Client({"Unexpected PrepareStreaming() call: state=2"}), 2},
        {"start when idle", 0, nullptr, start, kUnexpected, Client({"Unexpected StartStreaming() call: state=0"}), 0},
        {"start when prepared", 1, nullptr, start, 0,
         Client({"StartStreaming", "Starting audio streaming", "Buffer size frames:    256",
                 "Capture channel mask:  0x03", "Render channel mask:   0x03", "Audio streaming start result: 0"}),
         2},
        {"start a device without inputs", 1, noInputs, start, 0,
         Client({"StartStreaming", "Starting audio streaming", "Buffer size frames:    256",
                 "Capture channel mask:  0x00", "Render channel mask:   0x03", "Audio streaming start result: 0"}),
         2},
        {"start refused by the device", 1, refuseBlock, start, LAudioDevice::kBlockSizeNotGranted,
         Client({"StartStreaming", "Starting audio streaming", "Buffer size frames:    256",
                 "Capture channel mask:  0x03", "Render channel mask:   0x03", "LAudioDevice::Start returning -207",
                 "Audio streaming start result: -207"}),
         1},
        {"start while streaming", 2, nullptr, start, 1, {}, 2},
        {"stop when idle", 0, nullptr, stop, 1, {}, 0},
        {"stop when prepared", 1, nullptr, stop, 1, {}, 1},
        {"stop while streaming", 2, nullptr, stop, 0, Client({"StopStreaming"}), 1},
        {"unprepare when idle", 0, nullptr, unprepare, 1, {}, 0},
        {"unprepare when prepared", 1, nullptr, unprepare, 0, Client({"UnprepareStreaming"}), 0},
        {"unprepare while streaming", 2, nullptr, unprepare, 0, Client({"StopStreaming", "UnprepareStreaming"}), 0},
        {"set the receiver when idle", 0, nullptr, setReceiver, 0, {}, 0},
        {"set the receiver when prepared", 1, nullptr, setReceiver, 0, {}, 1},
        {"set the receiver while streaming", 2, nullptr, setReceiver, kUnexpected,
         Client({"Unexpected SetCallbackReceiver() call: state=2"}), 2},
        {"buffer size when idle", 0, nullptr, bufferSize, 0, assertion, 0},
        {"capture channels when idle", 0, nullptr, captureCount, 0, assertion, 0},
        {"render channels when idle", 0, nullptr, renderCount, 0, assertion, 0},
        {"sample rate when idle", 0, nullptr, sampleRate, 0, assertion, 0},
        {"render when idle", 0, nullptr, render, 0, assertion, 0},
        {"buffer size in use", 1, nullptr, bufferSize, 256, {}, 1, 500},
        {"capture channels when prepared", 1, nullptr, captureCount, 2, {}, 1},
        {"render channels when prepared", 1, nullptr, renderCount, 2, {}, 1},
        {"sample rate when prepared", 1, nullptr, sampleRate, 48000.0, {}, 1},
        {"render into the device's ring while streaming", 2, nullptr, render, 4, {}, 2},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        FakeScript rowScript;
        gScript = &rowScript;
        client = MakeClient(row.from, row.preparedSize);
        ASSERT_EQ(client->GetState(), row.from);
        if (row.script)
            row.script(rowScript);
        VxTest::CaptureStderr captured;
        EXPECT_EQ(row.call(*client), row.result);
        EXPECT_EQ(Lines(captured.Finish()), row.trace);
        EXPECT_EQ(client->GetState(), row.stateAfter);
        // Whatever happened, the client alone holds itself; its device and the
        // reference it hands its receiver hold it only while streaming.
        EXPECT_EQ(client->GetRefCount(), row.stateAfter == 2 ? 3u : 1u);
        EXPECT_EQ(client->GetContainedRefCount(), row.stateAfter == 2 ? 2u : 0u);
        EXPECT_EQ(client->GetDeviceID(), (LAudioDevice::AudioDeviceID{String("Card"), LAudioDevice::kAudioTypeALSA}));
        {
            VxTest::CaptureStderr quiet;
            client = nullptr;
        }
        EXPECT_TRUE(AllDeleted(rowScript));
    }
    gScript = &script;
}

TEST_F(AudioDeviceClient, AStateNoOperationMakesIsARuntimeError)
{
    const std::vector<std::pair<const char*, std::function<void(LAudioDeviceClient&)>>> calls{
        {"SetCallbackReceiver", [](LAudioDeviceClient& c) { c.SetCallbackReceiver(nullptr); }},
        {"PrepareStreaming", [](LAudioDeviceClient& c) { c.PrepareStreaming(256, 48000.0); }},
        {"StartStreaming", [](LAudioDeviceClient& c) { c.StartStreaming(); }},
        {"StopStreaming", [](LAudioDeviceClient& c) { c.StopStreaming(); }},
        {"UnprepareStreaming", [](LAudioDeviceClient& c) { c.UnprepareStreaming(); }},
        {"GetBufferSize", [](LAudioDeviceClient& c) { c.GetBufferSize(); }},
        {"GetSampleRate", [](LAudioDeviceClient& c) { c.GetSampleRate(); }},
    };
    client = MakeClient(1);
    for (const auto& [name, call] : calls)
    {
        SCOPED_TRACE(name);
        Vx::LAudioDeviceClientTestAccess::SetState(*client, 3);
        try
        {
            call(*client);
            ADD_FAILURE() << "no exception";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_TRUE(
                std::string(error.what())
                    .starts_with("Runtime Error :  :  : Panel/Engine/TestAppCommon/AudioDeviceClient.cpp : Line "))
                << error.what();
        }
    }
    Vx::LAudioDeviceClientTestAccess::SetState(*client, 1);
    VxTest::CaptureStderr quiet;
    EXPECT_EQ(client->UnprepareStreaming(), 0) << "the device is still there to close";
}

TEST_F(AudioDeviceClient, HandsEveryCallbackOnWithItselfWhileStreaming)
{
    VxTest::CaptureStderr quiet;
    // Without a receiver every callback is absorbed.
    client = MakeClient(2);
    script.current->Block();
    script.current->ReportError("unheard");
    ASSERT_EQ(client->UnprepareStreaming(), 0);

    RCPtr<Receiver> receiver(new Receiver());
    receiver->expected = client.Get();
    ASSERT_EQ(client->SetCallbackReceiver(receiver), 0);
    ASSERT_EQ(client->PrepareStreaming(256, 48000.0), 0);
    ASSERT_EQ(client->StartStreaming(), 0);
    EXPECT_EQ(receiver->Take(), (std::vector<std::string>{"about to start"}));

    // Nothing rendered ahead: the first block is late, then rendered on the worker.
    script.current->Block();
    ASSERT_TRUE(receiver->WaitFor("render"));
    script.current->ReportError("overrun");
    EXPECT_EQ(receiver->Take(),
              (std::vector<std::string>{"late 256", "render 0 256 from 2 channels, 256 accepted", "error overrun"}));

    // While streaming the receiver stays; the old one keeps receiving.  (The
    // block rendered late only paid the frames owed: this one is late too.)
    RCPtr<Receiver> other(new Receiver());
    EXPECT_EQ(client->SetCallbackReceiver(other), kUnexpected);
    script.current->Block();
    ASSERT_TRUE(receiver->WaitFor("render"));
    EXPECT_EQ(receiver->Take(), (std::vector<std::string>{"late 256", "render 0 256 from 2 channels, 256 accepted"}));

    // The receiver is withdrawn before the device stops: no stopped call.
    EXPECT_EQ(client->StopStreaming(), 0);
    EXPECT_TRUE(receiver->Take().empty());
    EXPECT_TRUE(other->Take().empty());
    EXPECT_EQ(client->SetCallbackReceiver(nullptr), 0);
    EXPECT_EQ(receiver->GetRefCount(), 1u);
}

TEST_F(AudioDeviceClient, ReleasingTheLastReferenceWhileStreamingUnpreparesIt)
{
    // The worker is held inside a render call until the release has reached
    // the client (it withdraws from the device, lowering its contained count):
    // the release waits for that call and unprepares on the releasing thread.
    class HoldingReceiver : public Receiver
    {
    public:
        void RenderSamples(const RCPtr<LAudioDeviceClient>& client, std::int32_t offset, std::int32_t frames,
                           Vx::IArray<RCPtr<Vx::LIBuffer>>& capture) override
        {
            const std::uint32_t contained = client->GetContainedRefCount();
            inside = true;
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (client->GetContainedRefCount() == contained && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            reachedInside = client->GetContainedRefCount() != contained;
            Receiver::RenderSamples(client, offset, frames, capture);
        }
        std::atomic<bool> inside{false}, reachedInside{false};
    };
    RCPtr<HoldingReceiver> receiver(new HoldingReceiver());
    client = MakeClient(1);
    receiver->expected = client.Get();
    {
        VxTest::CaptureStderr quiet;
        ASSERT_EQ(client->SetCallbackReceiver(receiver), 0);
        ASSERT_EQ(client->StartStreaming(), 0);
    }
    receiver->Take();
    script.current->Block();
    while (!receiver->inside.load())
        std::this_thread::yield();

    VxTest::CaptureStderr captured;
    std::thread releaser([&] {
        RCPtr<LAudioDeviceClient> last = std::move(client);
        last = nullptr;
        // Everything is gone when the release returns.
        EXPECT_TRUE(AllDeleted(script)) << "the device is closed and gone";
        EXPECT_EQ(receiver->GetRefCount(), 1u) << "and the client with it";
    });
    releaser.join();
    EXPECT_TRUE(receiver->reachedInside.load()) << "the release ran while the call was in progress";
    EXPECT_EQ(Lines(captured.Finish()), Client({"StopStreaming", "UnprepareStreaming"}));
    // The call in progress completed with its client.
    EXPECT_EQ(receiver->Take(), (std::vector<std::string>{"late 256", "render 0 256 from 2 channels, 256 accepted"}));
}
} // namespace
