#pragma once

// The MIDI protocol tests' world: a simulated sequencer with a controller
// board plugged in, the MIDI manager installed as the application's, byte
// helpers and a receiver that keeps what it is given.

#include "JuceBackend/juce_linux_SequencerCalls.h"
#include "Panel/Engine/TestAppCommon/MidiClient.h"
#include "Panel/Engine/TestAppCommon/MidiManager.h"
#include "sim/SimControllerBoard.h"
#include "sim/SimSequencer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VxTest
{
using Bytes = std::vector<int>;

inline Vx::MidiMessage Message(const Bytes& bytes)
{
    Vx::MidiMessage message;
    for (const int byte : bytes)
        message.Add(static_cast<signed char>(byte));
    return message;
}

inline Bytes BytesOf(const Vx::IArray<signed char>& bytes)
{
    Bytes out;
    for (std::uint32_t i = 0; i < bytes.GetCount(); ++i)
        out.push_back(static_cast<unsigned char>(bytes.GetDataConst()[i]));
    return out;
}

inline Bytes BytesOf(const std::vector<uint8_t>& bytes)
{
    return Bytes(bytes.begin(), bytes.end());
}

inline std::vector<uint8_t> Raw(const Bytes& bytes)
{
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

inline Vx::MidiPortProperties::Bytes ByteArray(const std::string& text)
{
    Vx::MidiPortProperties::Bytes bytes;
    for (const char character : text)
        bytes.Add(static_cast<signed char>(character));
    return bytes;
}

inline int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Installs a manager as the application's for its lifetime.
class ScopedMidiManager
{
public:
    explicit ScopedMidiManager(const Vx::RCPtr<Vx::LMidiManager>& manager)
    {
        Current() = manager;
        Vx::SetMidiManagerProvider(&Provide);
    }
    ~ScopedMidiManager()
    {
        Vx::SetMidiManagerProvider(nullptr);
        Current() = nullptr;
    }
    ScopedMidiManager(const ScopedMidiManager&) = delete;
    ScopedMidiManager& operator=(const ScopedMidiManager&) = delete;

private:
    static Vx::RCPtr<Vx::LMidiManager>& Current()
    {
        static Vx::RCPtr<Vx::LMidiManager> manager;
        return manager;
    }
    static Vx::RCPtr<Vx::LMidiManager> Provide() { return Current(); }
};

// Keeps every message with its thread; waits for them.
class RecordingReceiver : public Vx::LMidiClientCallbackReceiver
{
public:
    void HandleMidiMessage(const Vx::MidiMessage& message, std::uint32_t /*timeStampMs*/) override
    {
        {
            const std::lock_guard<std::mutex> lock(mMutex);
            mMessages.push_back(BytesOf(message));
            mThreads.push_back(std::this_thread::get_id());
        }
        mArrived.notify_all();
    }

    std::vector<Bytes> WaitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mArrived.wait_for(lock, limit, [&] { return mMessages.size() >= count; });
        return mMessages;
    }

    std::vector<Bytes> Messages()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return mMessages;
    }

    std::vector<std::thread::id> Threads()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return mThreads;
    }

private:
    std::mutex mMutex;
    std::condition_variable mArrived;
    std::vector<Bytes> mMessages;
    std::vector<std::thread::id> mThreads;
};

// The sequencer with one board, "Control Surface", and the manager of the
// application; the manager goes before the board and the sequencer.
class MidiWorld : public ::testing::Test
{
protected:
    static constexpr const char* kBoard = "Control Surface";

    void SetUp() override { board = std::make_unique<Sim::SimControllerBoard>(sequencer, kBoard); }

    void TearDown() override
    {
        scope.reset();
        manager = nullptr;
        // Every port closed and the service ended with the manager.
        EXPECT_EQ(sequencer.getNumOpenHandles(), 0);
    }

    // Made after the devices are plugged in: it traces the lists it finds.
    void InstallManager()
    {
        manager = Vx::LMidiManager::Create();
        scope = std::make_unique<ScopedMidiManager>(manager);
    }

    // A quiet sequencer: only the System client and the boards tests plug in.
    void UnplugMidiThrough() { sequencer.removeDevice(Sim::SimSequencer::midiThroughClient); }

    // Waits until the board took every message sent to it so far.
    std::vector<Bytes> BoardMessages(Sim::SimControllerBoard& target)
    {
        target.waitUntilIdle();
        std::vector<Bytes> messages;
        for (const auto& message : target.getReceivedMessages())
            messages.push_back(BytesOf(message));
        return messages;
    }

    Sim::SimSequencer sequencer;
    juce::ScopedSequencerCalls installed{sequencer};
    std::unique_ptr<Sim::SimControllerBoard> board;
    Vx::RCPtr<Vx::LMidiManager> manager;
    std::unique_ptr<ScopedMidiManager> scope;
};
} // namespace VxTest
