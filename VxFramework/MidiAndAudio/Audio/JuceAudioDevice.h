#pragma once

#include "VxFramework/MidiAndAudio/Audio/AudioIODeviceType.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <atomic>
#include <memory>

namespace Vx
{
// The framework's device type over JUCE's: finds JUCE's device types by the
// audio type's name, lists their devices by capability and wraps the devices
// it creates.
class JuceAudioIODeviceType : public AudioIODeviceType
{
public:
    JuceAudioIODeviceType();
    ~JuceAudioIODeviceType() override;

    // Every JUCE type scans.
    void ScanForDevices() override;
    // The JUCE-style listing and creation by names are not served.
    StringArray GetDeviceNames(bool wantInputNames) const override;
    std::int32_t GetDefaultDeviceIndex(bool forInput) const override;
    std::int32_t GetIndexOfDevice(AudioIODevice* device, bool asInput) const override;
    bool HasSeparateInputsAndOutputs() const override;
    AudioIODevice* CreateDevice(const String& outputDeviceName, const String& inputDeviceName) override;

    // Throws a logic error "Unhandled IOCapability specified" for a capability
    // other than 0 to 3 (once the type is found).
    void GetDeviceIDs(LAudioDevice::AudioType audioType, IArray<AudioDeviceID>& list, std::int32_t capability) override;
    AudioIODevice* CreateDeviceFromID(const AudioDeviceID& id) override;

private:
    juce::AudioIODeviceType* FindType(std::int32_t audioType) const;

    juce::OwnedArray<juce::AudioIODeviceType> mTypes;
    std::unique_ptr<juce::AudioDeviceManager> mDeviceManager;
};

// One JUCE device as a framework device: every operation is the JUCE
// device's, with the framework's strings and 64-bit channel masks, and JUCE's
// callbacks passed on to the framework callback given to Start.
class JuceAudioIODevice : public AudioIODevice, private juce::AudioIODeviceCallback
{
public:
    // Takes ownership of the JUCE device.
    JuceAudioIODevice(const String& deviceName, const String& typeName, juce::AudioIODevice* device);
    ~JuceAudioIODevice() override;

    StringArray GetOutputChannelNames() override;
    StringArray GetInputChannelNames() override;
    Array<double> GetAvailableSampleRates() override;
    Array<std::int32_t> GetAvailableBufferSizes() override;
    std::int32_t GetDefaultBufferSize() override;
    String Open(std::uint64_t inputChannels, std::uint64_t outputChannels, double sampleRate,
                std::int32_t bufferSizeSamples) override;
    void Close() override;
    bool IsOpen() override;
    void Start(Vx::AudioIODeviceCallback* callback) override;
    void Stop() override;
    bool IsPlaying() override;
    String GetLastError() override;
    std::int32_t GetCurrentBufferSizeSamples() override;
    double GetCurrentSampleRate() override;
    std::int32_t GetCurrentBitDepth() override;
    std::uint64_t GetActiveOutputChannels() const override;
    std::uint64_t GetActiveInputChannels() const override;
    std::int32_t GetOutputLatencyInSamples() override;
    std::int32_t GetInputLatencyInSamples() override;

private:
    void audioDeviceIOCallbackWithContext(const float* const* inputChannelData, int numInputChannels,
                                          float* const* outputChannelData, int numOutputChannels, int numSamples,
                                          const juce::AudioIODeviceCallbackContext& context) override;
    void audioDeviceAboutToStart(juce::AudioIODevice* device) override;
    void audioDeviceStopped() override;
    void audioDeviceError(const juce::String& errorMessage) override;

    std::unique_ptr<juce::AudioIODevice> mDevice;
    // Set by Start before the JUCE device runs; kept after Stop.
    std::atomic<Vx::AudioIODeviceCallback*> mCallback{nullptr};
};
} // namespace Vx
