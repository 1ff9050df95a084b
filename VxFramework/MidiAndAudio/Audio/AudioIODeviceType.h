#pragma once

#include "VxFramework/MidiAndAudio/Audio/AudioDevice.h"
#include "VxFramework/MidiAndAudio/Audio/AudioIODevice.h"

#include <cstdint>

namespace Vx
{
// A kind of audio device, as JUCE's device type, and the framework's own
// listing and creation by device identity.
class AudioIODeviceType
{
public:
    using String = StringT<char, unsigned short>;
    using StringArray = StringArrayT<char, unsigned short>;
    using AudioDeviceID = LAudioDevice::AudioDeviceID;

    explicit AudioIODeviceType(const String& typeName) : mTypeName(typeName) {}
    AudioIODeviceType(const AudioIODeviceType&) = delete;
    AudioIODeviceType& operator=(const AudioIODeviceType&) = delete;

    const String& GetTypeName() const noexcept { return mTypeName; }

    virtual void ScanForDevices() = 0;
    virtual StringArray GetDeviceNames(bool wantInputNames) const = 0;
    virtual std::int32_t GetDefaultDeviceIndex(bool forInput) const = 0;
    virtual std::int32_t GetIndexOfDevice(AudioIODevice* device, bool asInput) const = 0;
    virtual bool HasSeparateInputsAndOutputs() const = 0;
    // Owned by the caller; null when there is no such device.
    virtual AudioIODevice* CreateDevice(const String& outputDeviceName, const String& inputDeviceName) = 0;

    // The devices of the audio type with the capability (LAudioDevice::IOCapability),
    // each as an identity of that type; the list is cleared first.
    virtual void GetDeviceIDs(LAudioDevice::AudioType audioType, IArray<AudioDeviceID>& list,
                              std::int32_t capability) = 0;
    // Owned by the caller; null when there is no such device.  By default the
    // devices are scanned and the id's name is both the output and the input.
    virtual AudioIODevice* CreateDeviceFromID(const AudioDeviceID& id)
    {
        ScanForDevices();
        return CreateDevice(id.mName, id.mName);
    }

    virtual ~AudioIODeviceType() = default;

private:
    String mTypeName;
};
} // namespace Vx
