#include "VxFramework/MidiAndAudio/Audio/JuceAudioDevice.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <stdexcept>

namespace Vx
{
namespace
{
using String = StringT<char, unsigned short>;
using StringArray = StringArrayT<char, unsigned short>;

String ToFramework(const juce::String& text)
{
    return String(text.toRawUTF8());
}

juce::String ToJuce(const String& text)
{
    return juce::String::fromUTF8(text.GetCString());
}

StringArray ToFramework(const juce::StringArray& names)
{
    StringArray result;
    for (const auto& name : names)
        result.Add(ToFramework(name));
    return result;
}

// The low 64 channels.
std::uint64_t ToMask(const juce::BigInteger& channels)
{
    return static_cast<std::uint32_t>(channels.getBitRangeAsInt(0, 32)) |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(channels.getBitRangeAsInt(32, 32))) << 32;
}

juce::BigInteger ToBigInteger(std::uint64_t mask)
{
    juce::BigInteger channels;
    channels.setBitRangeAsInt(0, 32, static_cast<std::uint32_t>(mask));
    channels.setBitRangeAsInt(32, 32, static_cast<std::uint32_t>(mask >> 32));
    return channels;
}
} // namespace

JuceAudioIODeviceType::JuceAudioIODeviceType() : AudioIODeviceType(String("JuceAudio"))
{
    mDeviceManager = std::make_unique<juce::AudioDeviceManager>();
    mDeviceManager->createAudioDeviceTypes(mTypes);
}

JuceAudioIODeviceType::~JuceAudioIODeviceType()
{
    mDeviceManager.reset();
    mTypes.clear();
}

void JuceAudioIODeviceType::ScanForDevices()
{
    for (auto* type : mTypes)
        type->scanForDevices();
}

AudioIODeviceType::StringArray JuceAudioIODeviceType::GetDeviceNames(bool) const
{
    return StringArray();
}

std::int32_t JuceAudioIODeviceType::GetDefaultDeviceIndex(bool) const
{
    return 0;
}

std::int32_t JuceAudioIODeviceType::GetIndexOfDevice(AudioIODevice*, bool) const
{
    return 0;
}

bool JuceAudioIODeviceType::HasSeparateInputsAndOutputs() const
{
    return true;
}

AudioIODevice* JuceAudioIODeviceType::CreateDevice(const String&, const String&)
{
    return nullptr;
}

juce::AudioIODeviceType* JuceAudioIODeviceType::FindType(std::int32_t audioType) const
{
    const juce::String name(LAudioDevice::GetAudioTypeName(audioType));
    for (auto* type : mTypes)
    {
        if (type->getTypeName() == name)
            return type;
    }
    return nullptr;
}

void JuceAudioIODeviceType::GetDeviceIDs(LAudioDevice::AudioType audioType, IArray<AudioDeviceID>& list,
                                         std::int32_t capability)
{
    list.RemoveAll();
    juce::AudioIODeviceType* type = FindType(audioType);
    if (type == nullptr)
        return;
    type->scanForDevices();

    const juce::StringArray inputs = type->getDeviceNames(true);
    const juce::StringArray outputs = type->getDeviceNames(false);
    juce::StringArray names;
    switch (capability)
    {
    case LAudioDevice::kOutputDevices:
        names = outputs;
        break;
    case LAudioDevice::kInputDevices:
        names = inputs;
        break;
    case LAudioDevice::kInputAndOutputDevices:
        for (const auto& name : inputs)
        {
            if (outputs.contains(name))
                names.add(name);
        }
        break;
    case LAudioDevice::kInputOrOutputDevices:
        names = inputs;
        for (const auto& name : outputs)
        {
            if (!inputs.contains(name))
                names.add(name);
        }
        break;
    default:
        VX_THROW(std::logic_error, "Unhandled IOCapability specified");
    }

    for (const auto& name : names)
        list.Add(AudioDeviceID{ToFramework(name), audioType});
}

AudioIODevice* JuceAudioIODeviceType::CreateDeviceFromID(const AudioDeviceID& id)
{
    juce::AudioIODeviceType* type = FindType(id.mAudioType);
    if (type == nullptr)
        return nullptr;
    type->scanForDevices();
    const juce::String name = ToJuce(id.mName);
    juce::AudioIODevice* device = type->createDevice(name, name);
    if (device == nullptr)
        return nullptr;
    return new JuceAudioIODevice(id.mName, String("JUCE"), device);
}

JuceAudioIODevice::JuceAudioIODevice(const String& deviceName, const String& typeName, juce::AudioIODevice* device)
    : AudioIODevice(deviceName, typeName), mDevice(device)
{
}

JuceAudioIODevice::~JuceAudioIODevice()
{
    // While this object is whole: closing may still call it back.
    mDevice.reset();
}

AudioIODevice::StringArray JuceAudioIODevice::GetOutputChannelNames()
{
    return ToFramework(mDevice->getOutputChannelNames());
}

AudioIODevice::StringArray JuceAudioIODevice::GetInputChannelNames()
{
    return ToFramework(mDevice->getInputChannelNames());
}

Array<double> JuceAudioIODevice::GetAvailableSampleRates()
{
    Array<double> result;
    for (const double rate : mDevice->getAvailableSampleRates())
        result.Add(rate);
    return result;
}

Array<std::int32_t> JuceAudioIODevice::GetAvailableBufferSizes()
{
    Array<std::int32_t> result;
    for (const int size : mDevice->getAvailableBufferSizes())
        result.Add(size);
    return result;
}

std::int32_t JuceAudioIODevice::GetDefaultBufferSize()
{
    return mDevice->getDefaultBufferSize();
}

AudioIODevice::String JuceAudioIODevice::Open(std::uint64_t inputChannels, std::uint64_t outputChannels,
                                              double sampleRate, std::int32_t bufferSizeSamples)
{
    return ToFramework(
        mDevice->open(ToBigInteger(inputChannels), ToBigInteger(outputChannels), sampleRate, bufferSizeSamples));
}

void JuceAudioIODevice::Close()
{
    mDevice->close();
}

bool JuceAudioIODevice::IsOpen()
{
    return mDevice->isOpen();
}

void JuceAudioIODevice::Start(Vx::AudioIODeviceCallback* callback)
{
    mCallback.store(callback);
    mDevice->start(this);
}

void JuceAudioIODevice::Stop()
{
    mDevice->stop();
}

bool JuceAudioIODevice::IsPlaying()
{
    return mDevice->isPlaying();
}

AudioIODevice::String JuceAudioIODevice::GetLastError()
{
    return ToFramework(mDevice->getLastError());
}

std::int32_t JuceAudioIODevice::GetCurrentBufferSizeSamples()
{
    return mDevice->getCurrentBufferSizeSamples();
}

double JuceAudioIODevice::GetCurrentSampleRate()
{
    return mDevice->getCurrentSampleRate();
}

std::int32_t JuceAudioIODevice::GetCurrentBitDepth()
{
    return mDevice->getCurrentBitDepth();
}

std::uint64_t JuceAudioIODevice::GetActiveOutputChannels() const
{
    return ToMask(mDevice->getActiveOutputChannels());
}

std::uint64_t JuceAudioIODevice::GetActiveInputChannels() const
{
    return ToMask(mDevice->getActiveInputChannels());
}

std::int32_t JuceAudioIODevice::GetOutputLatencyInSamples()
{
    return mDevice->getOutputLatencyInSamples();
}

std::int32_t JuceAudioIODevice::GetInputLatencyInSamples()
{
    return mDevice->getInputLatencyInSamples();
}

void JuceAudioIODevice::audioDeviceIOCallbackWithContext(const float* const* inputChannelData, int numInputChannels,
                                                         float* const* outputChannelData, int numOutputChannels,
                                                         int numSamples, const juce::AudioIODeviceCallbackContext&)
{
    if (auto* callback = mCallback.load())
        callback->AudioDeviceIOCallback(inputChannelData, numInputChannels, outputChannelData, numOutputChannels,
                                        numSamples);
}

void JuceAudioIODevice::audioDeviceAboutToStart(juce::AudioIODevice*)
{
    if (auto* callback = mCallback.load())
        callback->AudioDeviceAboutToStart(this);
}

void JuceAudioIODevice::audioDeviceStopped()
{
    if (auto* callback = mCallback.load())
        callback->AudioDeviceStopped();
}

void JuceAudioIODevice::audioDeviceError(const juce::String& errorMessage)
{
    if (auto* callback = mCallback.load())
        callback->AudioDeviceError(ToFramework(errorMessage));
}
} // namespace Vx
