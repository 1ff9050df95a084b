#pragma once

#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
class AudioIODevice;

// What an audio device calls on its own I/O thread, as JUCE's device callback
// but with the framework's strings.
class AudioIODeviceCallback
{
public:
    virtual ~AudioIODeviceCallback() = default;

    // One block: a pointer per active input and output channel, numSamples
    // samples each.  The outputs must all be filled.
    virtual void AudioDeviceIOCallback(const float* const* inputChannelData, std::int32_t numInputChannels,
                                       float* const* outputChannelData, std::int32_t numOutputChannels,
                                       std::int32_t numSamples) = 0;
    virtual void AudioDeviceAboutToStart(AudioIODevice* device) = 0;
    virtual void AudioDeviceStopped() = 0;
    virtual void AudioDeviceError(const StringT<char, unsigned short>& errorMessage) {}
};

// An audio device with synchronised inputs and outputs, as JUCE's, with the
// channel sets as 64-bit masks.
class AudioIODevice
{
public:
    using String = StringT<char, unsigned short>;
    using StringArray = StringArrayT<char, unsigned short>;

    AudioIODevice(const String& deviceName, const String& typeName) : mName(deviceName), mTypeName(typeName) {}
    virtual ~AudioIODevice() = default;
    AudioIODevice(const AudioIODevice&) = delete;
    AudioIODevice& operator=(const AudioIODevice&) = delete;

    const String& GetName() const noexcept { return mName; }
    const String& GetTypeName() const noexcept { return mTypeName; }

    virtual StringArray GetOutputChannelNames() = 0;
    virtual StringArray GetInputChannelNames() = 0;
    virtual Array<double> GetAvailableSampleRates() = 0;
    virtual Array<std::int32_t> GetAvailableBufferSizes() = 0;
    virtual std::int32_t GetDefaultBufferSize() = 0;
    // The error text, empty on success.
    virtual String Open(std::uint64_t inputChannels, std::uint64_t outputChannels, double sampleRate,
                        std::int32_t bufferSizeSamples) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() = 0;
    virtual void Start(AudioIODeviceCallback* callback) = 0;
    virtual void Stop() = 0;
    virtual bool IsPlaying() = 0;
    virtual String GetLastError() = 0;
    virtual std::int32_t GetCurrentBufferSizeSamples() = 0;
    virtual double GetCurrentSampleRate() = 0;
    virtual std::int32_t GetCurrentBitDepth() = 0;
    virtual std::uint64_t GetActiveOutputChannels() const = 0;
    virtual std::uint64_t GetActiveInputChannels() const = 0;
    virtual std::int32_t GetOutputLatencyInSamples() = 0;
    virtual std::int32_t GetInputLatencyInSamples() = 0;
    virtual bool HasControlPanel() const { return false; }
    virtual bool ShowControlPanel() { return false; }
    virtual bool SetAudioPreprocessingEnabled(bool) { return false; }

private:
    String mName;
    String mTypeName;
};
} // namespace Vx
