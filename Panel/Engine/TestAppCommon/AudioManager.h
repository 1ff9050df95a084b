#pragma once

#include "Panel/Engine/TestAppCommon/AudioDeviceClient.h"
#include "VxFramework/MidiAndAudio/Audio/AudioDevice.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/NonCopyable.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"

#include <atomic>
#include <cstdint>

namespace Vx
{
// What an audio manager's user does with each period, on the device's
// worker thread: take the captured block, and write the block to be played
// into the render buffers, which arrive filled with zeros.  Both take one
// float buffer per channel.
class AudioManagerCallbackReceiver
{
public:
    virtual void ProcessCapturedSamples(IArray<RCPtr<LIBuffer>>& captureBuffers, std::int32_t offset,
                                        std::int32_t frameCount) = 0;
    virtual void RenderSamples(IArray<RCPtr<LIBuffer>>& renderBuffers, std::int32_t offset,
                               std::int32_t frameCount) = 0;

protected:
    virtual ~AudioManagerCallbackReceiver() = default;
};

class LAudioManagerCallbackReceiver : public virtual LRefCountedObject,
                                      public AudioManagerCallbackReceiver,
                                      public NonCopyable
{
public:
    ~LAudioManagerCallbackReceiver() override = default;
};

// One direction or both of one device: owns the device's client and the
// render buffers, and turns the client's callbacks into the manager
// receiver's calls.  While prepared, the client's reference to the entry
// counts as a contained reference of the entry.
class LAudioDeviceClientEntry : public LAudioDeviceClientCallbackReceiver
{
public:
    using AudioDeviceID = LAudioDevice::AudioDeviceID;
    using String = StringT<char, unsigned short>;

    static RCPtr<LAudioDeviceClientEntry> Create();
    ~LAudioDeviceClientEntry() override;

    // Unprepares first.  The client's prepare result; 0x80000008 when no
    // client is made, 0x80000002 when a render buffer cannot be allocated
    // (the client is then unprepared and let go).
    VxRESULT PrepareAudioClient(const AudioDeviceID& id, std::int32_t bufferSize, bool isInput, double sampleRate,
                                bool isOutput);
    // The client's start result; without a client asserted and 0x80000008.
    VxRESULT StartAudioClient();
    // 0.
    VxRESULT StopAudioClient();
    // 0.
    VxRESULT UnprepareAudioClient();
    // 0; under the entry's lock, so never in the middle of a block.
    VxRESULT SetCallbackReceiver(const RCPtr<LAudioManagerCallbackReceiver>& receiver);
    RCPtr<LAudioDeviceClient> GetClient() const { return mClient; }
    void ClearRenderBuffers();

    std::int32_t GetBufferSize() const noexcept { return mBufferSize; }
    std::int32_t GetLateCount() const noexcept { return mLateCount.load(); }

    // The client's callbacks.
    void RenderSamples(const RCPtr<LAudioDeviceClient>& client, std::int32_t offset, std::int32_t frameCount,
                       IArray<RCPtr<LIBuffer>>& captureBuffers) override;
    void OnAboutToStart(const RCPtr<LAudioDeviceClient>& client) override;
    void OnStopped(const RCPtr<LAudioDeviceClient>& client) override;
    void OnRenderDataLate(const RCPtr<LAudioDeviceClient>& client, std::int32_t missingFrames) override;
    void OnError(const RCPtr<LAudioDeviceClient>& client, const String& message) override;

    VxRESULT RemoveContainedReferences() override;

private:
    LAudioDeviceClientEntry() = default;
    void CheckClient(const RCPtr<LAudioDeviceClient>& client) const;
    // The list as the client's render call takes it.
    const IArray<RCPtr<LIBuffer>>& RenderList() const { return mRenderBuffers; }
    // Unprepares and lets go of the client, and of its reference to the entry.
    void ReleaseClient();

    bool mIsInput = false;
    bool mIsOutput = false;
    RCPtr<LAudioDeviceClient> mClient;
    std::int32_t mBufferSize = 0;
    RCPtrArray<LIBuffer> mRenderBuffers;
    std::atomic<std::int32_t> mLateCount{0};
    RCPtr<LAudioManagerCallbackReceiver> mReceiver;
    Mutex mLock;
    bool mHeldByClient = false;
};

// Finds audio devices by a regular expression over their names and streams
// one configuration through an input and an output entry; when both resolve
// to the same device, the input entry does both directions.  Its operations
// run on one controlling thread.
class LAudioManager : public virtual LRefCountedObject
{
public:
    using AudioDeviceID = LAudioDevice::AudioDeviceID;
    using String = StringT<char, unsigned short>;

    struct StreamingConfiguration
    {
        AudioDeviceID inputDevicePattern;
        AudioDeviceID outputDevicePattern;
        double sampleRate = 0;
        std::int32_t bufferSize = 0;
    };

    // The first listed device whose name the ECMAScript expression matches
    // somewhere (case-sensitive), empty when none; an empty pattern matches
    // the first device.  An invalid pattern throws std::regex_error.
    static String FindDeviceName(const String& pattern);

    static RCPtr<LAudioManager> Create();
    ~LAudioManager() override;

    // 0; the receiver of both entries.
    VxRESULT SetCallbackReceiver(const RCPtr<LAudioManagerCallbackReceiver>& receiver);
    // Stops first.  0 or more on success; 0x80000008 when a device of a
    // non-empty pattern is not found (the stored configuration is kept);
    // else the first failure of an entry, after both are unprepared.
    VxRESULT StartAudioStreaming(const StreamingConfiguration& configuration);
    // 0.
    VxRESULT StopAudioStreaming();
    // 0; the stored configuration, with the matched names once streaming started.
    VxRESULT GetConfiguration(StreamingConfiguration& configuration) const;
    RCPtr<LAudioDeviceClient> GetInputClient() const;
    // The input entry's client when input and output are the same device.
    RCPtr<LAudioDeviceClient> GetOutputClient() const;

private:
    LAudioManager();

    AudioDeviceID mInputDevice;
    AudioDeviceID mOutputDevice;
    double mSampleRate = 0;
    std::int32_t mBufferSize = 0;
    const RCPtr<LAudioDeviceClientEntry> mInputEntry;
    const RCPtr<LAudioDeviceClientEntry> mOutputEntry;
};
} // namespace Vx
