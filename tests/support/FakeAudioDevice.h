#pragma once

// Fake framework audio devices for tests: a device type whose devices open,
// start and run blocks as a script says and record what was asked of them.
// Install the type with LAudioDevice::SetDeviceTypeFactory(&MakeFakeType)
// and point gScript at the test's script.

#include "VxFramework/MidiAndAudio/Audio/AudioDevice.h"
#include "VxFramework/MidiAndAudio/Audio/AudioIODeviceType.h"

#include <atomic>
#include <bit>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace VxTest::FakeAudio
{
using Vx::LAudioDevice;
using String = Vx::StringT<char, unsigned short>;
using namespace std::chrono_literals;

// One open call a fake device received.
struct OpenCall
{
    std::uint64_t inputs = 0, outputs = 0;
    double rate = 0;
    std::int32_t blockSize = 0;
};

class FakeDevice;

// How the fake devices behave, and what happened to them; one per test.
struct FakeScript
{
    std::uint32_t inputChannels = 2, outputChannels = 2;
    std::int32_t defaultBufferSize = 256;
    // The error text of an open (empty: it opens).
    std::function<std::string(const OpenCall&)> refuse = [](const OpenCall&) { return std::string(); };
    std::function<double(const OpenCall&)> grantedRate = [](const OpenCall& call) { return call.rate; };
    std::function<std::int32_t(const OpenCall&)> grantedBlock = [](const OpenCall& call) {
        return call.blockSize > 0 ? call.blockSize : 256;
    };
    // Active channels: the requested ones the device has, or all of them.
    bool activateAll = false;
    // Devices that may still be created (-1: any number); names that exist.
    int creationsLeft = -1;
    std::vector<std::string> alsaNames{"Card"}, jackNames;

    std::vector<OpenCall> opens;
    std::vector<std::int32_t> listedCapabilities;
    std::atomic<int> created{0}, deleted{0};
    FakeDevice* current = nullptr;
};

inline FakeScript* gScript = nullptr;

// Whether every device the script made is gone.  No waiting: a device goes
// with its last outside reference, on the releasing thread, even while its
// worker is inside a receiver call.
inline bool AllDeleted(const FakeScript& script)
{
    return script.deleted.load() == script.created.load();
}

class FakeDevice : public Vx::AudioIODevice
{
public:
    FakeDevice(const String& name, FakeScript& script) : AudioIODevice(name, String("Fake")), mScript(script) {}
    ~FakeDevice() override
    {
        Close();
        if (mScript.current == this)
            mScript.current = nullptr;
        ++mScript.deleted;
    }

    StringArray GetOutputChannelNames() override { return Names(mScript.outputChannels); }
    StringArray GetInputChannelNames() override { return Names(mScript.inputChannels); }
    Vx::Array<double> GetAvailableSampleRates() override
    {
        Vx::Array<double> rates;
        rates.Add(44100.0);
        rates.Add(48000.0);
        return rates;
    }
    Vx::Array<std::int32_t> GetAvailableBufferSizes() override
    {
        Vx::Array<std::int32_t> sizes;
        sizes.Add(128);
        sizes.Add(256);
        return sizes;
    }
    std::int32_t GetDefaultBufferSize() override { return mScript.defaultBufferSize; }
    String Open(std::uint64_t inputs, std::uint64_t outputs, double rate, std::int32_t blockSize) override
    {
        Close();
        const OpenCall call{inputs, outputs, rate, blockSize};
        mScript.opens.push_back(call);
        const std::string error = mScript.refuse(call);
        if (!error.empty())
            return String(error.c_str());
        const std::uint64_t allInputs = (std::uint64_t{1} << mScript.inputChannels) - 1;
        const std::uint64_t allOutputs = (std::uint64_t{1} << mScript.outputChannels) - 1;
        mActiveInputs = mScript.activateAll ? allInputs : inputs & allInputs;
        mActiveOutputs = mScript.activateAll ? allOutputs : outputs & allOutputs;
        mRate = mScript.grantedRate(call);
        mBlockSize = mScript.grantedBlock(call);
        mOpen = true;
        return String();
    }
    void Close() override
    {
        Stop();
        mOpen = false;
    }
    bool IsOpen() override { return mOpen; }
    void Start(Vx::AudioIODeviceCallback* callback) override
    {
        if (!mOpen || callback == nullptr)
            return;
        callback->AudioDeviceAboutToStart(this);
        mCallback = callback;
    }
    void Stop() override
    {
        if (auto* callback = mCallback)
        {
            mCallback = nullptr;
            callback->AudioDeviceStopped();
        }
    }
    bool IsPlaying() override { return mCallback != nullptr; }
    String GetLastError() override { return String(); }
    std::int32_t GetCurrentBufferSizeSamples() override { return mBlockSize; }
    double GetCurrentSampleRate() override { return mRate; }
    std::int32_t GetCurrentBitDepth() override { return 32; }
    std::uint64_t GetActiveOutputChannels() const override { return mActiveOutputs; }
    std::uint64_t GetActiveInputChannels() const override { return mActiveInputs; }
    std::int32_t GetOutputLatencyInSamples() override { return 0; }
    std::int32_t GetInputLatencyInSamples() override { return 0; }

    bool IsStarted() const { return mCallback != nullptr; }
    // An error report, as the device's I/O thread would make it.
    void ReportError(const char* text)
    {
        if (mCallback != nullptr)
            mCallback->AudioDeviceError(String(text));
    }

    // One block through the callback, as an audio thread would: a pointer per
    // active channel; every input channel holds inputValue.
    std::vector<std::vector<float>> Block(float inputValue = 0.0f)
    {
        std::vector<std::vector<float>> inputs(std::popcount(mActiveInputs),
                                               std::vector<float>(mBlockSize, inputValue));
        for (std::size_t i = 0; i < inputs.size(); ++i)
            for (auto& sample : inputs[i])
                sample += static_cast<float>(i) / 100.0f;
        std::vector<std::vector<float>> outputs(std::popcount(mActiveOutputs), std::vector<float>(mBlockSize, -9.0f));
        std::vector<const float*> in;
        std::vector<float*> out;
        for (auto& channel : inputs)
            in.push_back(channel.data());
        for (auto& channel : outputs)
            out.push_back(channel.data());
        mCallback->AudioDeviceIOCallback(in.data(), static_cast<std::int32_t>(in.size()), out.data(),
                                         static_cast<std::int32_t>(out.size()), mBlockSize);
        return outputs;
    }

private:
    static StringArray Names(std::uint32_t count)
    {
        StringArray names;
        for (std::uint32_t i = 0; i < count; ++i)
            names.Add(String::Format("channel %u", i + 1));
        return names;
    }

    FakeScript& mScript;
    bool mOpen = false;
    double mRate = 0;
    std::int32_t mBlockSize = 0;
    std::uint64_t mActiveInputs = 0, mActiveOutputs = 0;
    Vx::AudioIODeviceCallback* mCallback = nullptr;
};

class FakeDeviceType : public Vx::AudioIODeviceType
{
public:
    FakeDeviceType() : AudioIODeviceType(String("Fake")) {}

    void ScanForDevices() override {}
    StringArray GetDeviceNames(bool) const override { return StringArray(); }
    std::int32_t GetDefaultDeviceIndex(bool) const override { return 0; }
    std::int32_t GetIndexOfDevice(Vx::AudioIODevice*, bool) const override { return 0; }
    bool HasSeparateInputsAndOutputs() const override { return true; }
    Vx::AudioIODevice* CreateDevice(const String& output, const String&) override
    {
        for (const auto& name : gScript->alsaNames)
            if (name == output.GetCString() && gScript->creationsLeft != 0)
            {
                if (gScript->creationsLeft > 0)
                    --gScript->creationsLeft;
                ++gScript->created;
                gScript->current = new FakeDevice(output, *gScript);
                return gScript->current;
            }
        return nullptr;
    }
    void GetDeviceIDs(LAudioDevice::AudioType type, Vx::IArray<AudioDeviceID>& list, std::int32_t capability) override
    {
        list.RemoveAll();
        gScript->listedCapabilities.push_back(capability);
        for (const auto& name : type == LAudioDevice::kAudioTypeALSA ? gScript->alsaNames : gScript->jackNames)
            list.Add(AudioDeviceID{String(name.c_str()), type});
    }
};

inline Vx::AudioIODeviceType* MakeFakeType()
{
    return new FakeDeviceType();
}

} // namespace VxTest::FakeAudio
