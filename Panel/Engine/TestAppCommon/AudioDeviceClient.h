#pragma once

#include "VxFramework/MidiAndAudio/Audio/AudioDevice.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"

#include <atomic>
#include <cstdint>

namespace Vx
{
class LAudioDeviceClient;

// What an audio device client hands on of its device's callbacks, each with
// the client.  RenderSamples comes on the device's worker, OnRenderDataLate
// on the audio thread, the others on the thread that starts or stops the
// device or reports the error; each under the client's lock.
class IAudioDeviceClientCallbackReceiver
{
public:
    virtual void RenderSamples(const RCPtr<LAudioDeviceClient>& client, std::int32_t offset, std::int32_t frameCount,
                               IArray<RCPtr<LIBuffer>>& captureBuffers) = 0;
    virtual void OnAboutToStart(const RCPtr<LAudioDeviceClient>& client) = 0;
    virtual void OnStopped(const RCPtr<LAudioDeviceClient>& client) = 0;
    virtual void OnRenderDataLate(const RCPtr<LAudioDeviceClient>& client, std::int32_t missingFrames) = 0;
    virtual void OnError(const RCPtr<LAudioDeviceClient>& client, const StringT<char, unsigned short>& message) = 0;

protected:
    virtual ~IAudioDeviceClientCallbackReceiver() = default;
};

class LAudioDeviceClientCallbackReceiver : public IAudioDeviceClientCallbackReceiver, public virtual LRefCountedObject
{
public:
    ~LAudioDeviceClientCallbackReceiver() override = default;
};

// One audio device under a three-state life cycle: idle (0), prepared (1:
// device created and opened at a rate with a buffer size) and streaming (2:
// started with every channel active).  The life-cycle calls come from one
// controlling thread; the device's callbacks are handed on to the client's
// receiver.  While streaming, the device's reference to the client counts as
// a contained reference: releasing the last outside reference unprepares it,
// on the releasing thread, after any call of the device in progress returned.
class LAudioDeviceClient : public LAudioDeviceCallbackReceiver
{
public:
    using AudioDeviceID = LAudioDevice::AudioDeviceID;
    using String = StringT<char, unsigned short>;

    enum State : std::int32_t
    {
        kIdle = 0,
        kPrepared = 1,
        kStreaming = 2
    };

    static RCPtr<LAudioDeviceClient> Create(const AudioDeviceID& id);
    ~LAudioDeviceClient() override;

    // 0; 0x8000FFFF while streaming (the old receiver stays).
    VxRESULT SetCallbackReceiver(const RCPtr<LAudioDeviceClientCallbackReceiver>& receiver);
    // Idle: creates and opens the device (0x80000008 when none is made, the
    // device's failure when it does not open; idle in both cases) and uses
    // the size when the device lists it, else the device's default.
    // Prepared with the same rate and size in use: 1.  Otherwise 0x8000FFFF.
    VxRESULT PrepareStreaming(std::int32_t bufferSizeFrames, double sampleRateHz);
    // 1 when streaming, 0x8000FFFF when idle, else the device's start result.
    VxRESULT StartStreaming();
    // 0; 1 when not streaming.
    VxRESULT StopStreaming();
    // Stops, closes and releases the device: 0, or 1 when idle.
    VxRESULT UnprepareStreaming();

    // Prepared or streaming only: otherwise asserted, and 0.  RenderSamples
    // may be called from inside a callback.
    std::int32_t GetBufferSize();
    std::int32_t GetCaptureChannelCount();
    std::int32_t GetRenderChannelCount();
    double GetSampleRate();
    std::int32_t RenderSamples(std::int32_t offset, std::int32_t frameCount,
                               const IArray<RCPtr<LIBuffer>>& renderBuffers);

    std::int32_t GetState() const noexcept { return mState.load(); }
    const AudioDeviceID& GetDeviceID() const noexcept { return mDeviceID; }

    // Unprepares the client whose device still holds it.
    VxRESULT RemoveContainedReferences() override;

private:
    // The device's callbacks, handed on to the receiver.  Private, so that a
    // render call with a list that is not const fails to compile rather than
    // reaching the capture callback.
    void RenderSamples(std::int32_t offset, std::int32_t frameCount, IArray<RCPtr<LIBuffer>>& captureBuffers) override;
    void OnAboutToStart() override;
    void OnStopped() override;
    void OnRenderDataLate(std::int32_t missingFrames) override;
    void OnError(const String& message) override;

    explicit LAudioDeviceClient(const AudioDeviceID& id);
    friend struct LAudioDeviceClientTestAccess;

    [[gnu::format(printf, 2, 3)]] void TraceLine(const char* format, ...) const;
    // The state, or the runtime error for a value no operation makes.
    std::int32_t CheckedState() const;
    // Gives the device's reference, the one handed to the receiver and their
    // contained count back.
    void WithdrawFromDevice();
    // Runs one forwarded call under the lock with the receiver and the
    // client's reference to itself.
    template <class Call>
    void Forward(const Call& call);

    const AudioDeviceID mDeviceID;
    RCPtr<LAudioDevice> mDevice;
    std::atomic<std::int32_t> mState{kIdle};
    double mSampleRate = 0;
    std::int32_t mBufferSize = 0;
    RCPtr<LAudioDeviceClientCallbackReceiver> mReceiver;
    Mutex mLock;
    bool mHeldByDevice = false;
    // While the device holds the client, the reference handed to the
    // receiver: one of the client's own, so that a call in progress never
    // holds an outside reference (its end would be the last release, on the
    // device's worker).  Under the lock, like the call depth.
    RCPtr<LAudioDeviceClient> mSelf;
    std::int32_t mCallDepth = 0;
    // Withdrawn inside a call, which still hands mSelf on: the outermost call
    // lets it go.
    bool mSelfRetired = false;
};
} // namespace Vx
