#pragma once

#include "VxFramework/MidiAndAudio/Audio/AudioIODevice.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/VxArray.h"
#include "VxFramework/Utilities/Threading/EventData.h"
#include "VxFramework/Utilities/Threading/Threader.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace Vx
{
class AudioIODeviceType;

// Blocks of 32-bit float samples, aligned for vector code.
using LAudioSampleBuffer = LBufferT<sizeof(float), 0, 16, float*>;

// What an audio device calls: the worker asks for each period to be rendered
// (with the period's captured samples), the audio thread says how many
// rendered frames were missing.
class LAudioDeviceCallbackReceiver : public virtual LRefCountedObject
{
public:
    // On the device's worker thread, once per period: render frameCount frames
    // and take the captured ones, one float buffer per capture channel.
    virtual void RenderSamples(std::int32_t offset, std::int32_t frameCount,
                               IArray<RCPtr<LIBuffer>>& captureBuffers) = 0;
    virtual void OnAboutToStart() {}
    virtual void OnStopped() {}
    // On the audio thread; the receiver may render the frames at once.
    virtual void OnRenderDataLate(std::int32_t missingFrames) {}
    virtual void OnError(const StringT<char, unsigned short>& message) {}
};

// The framework's audio device: one device of a JUCE device type, opened at a
// rate and started with capture and render channel masks.  The audio thread
// puts each captured block into a ring of capture sets and plays from a ring
// of two rendered blocks per channel; the device's worker hands each capture
// set to the receiver, which renders the next block back through
// RenderSamples.  No lock is taken on the audio thread.
class LAudioDevice : public LThreadWorker, public AudioIODeviceCallback
{
public:
    using String = StringT<char, unsigned short>;
    using StringArray = StringArrayT<char, unsigned short>;
    using BufferArray = RCPtrArray<LIBuffer>;

    // JUCE's device-type names by number; only ALSA and JACK are served.
    enum AudioType : std::int32_t
    {
        kAudioTypeASIO = 1,
        kAudioTypeWindowsAudio = 2,
        kAudioTypeDirectSound = 3,
        kAudioTypeCoreAudio = 4,
        kAudioTypeIOSAudio = 5,
        kAudioTypeALSA = 6,
        kAudioTypeJACK = 7,
        kAudioTypeAndroidAudio = 8
    };

    // Which devices a listing gives.
    enum IOCapability : std::int32_t
    {
        kOutputDevices = 0,
        kInputDevices = 1,
        kInputAndOutputDevices = 2,
        kInputOrOutputDevices = 3
    };

    struct AudioDeviceID
    {
        String mName;
        AudioType mAudioType = kAudioTypeALSA;

        bool operator==(const AudioDeviceID& other) const
        {
            return mAudioType == other.mAudioType && mName == other.mName;
        }
    };

    // Start's results besides 0 and 0x80000002.
    static constexpr VxRESULT kNoDevice = -200;
    static constexpr VxRESULT kNotOpen = -201;
    static constexpr VxRESULT kAlreadyStarted = -202;
    static constexpr VxRESULT kRateChanged = -203;
    static constexpr VxRESULT kReopenFailed = -204;
    static constexpr VxRESULT kCaptureMaskNotActive = -205;
    static constexpr VxRESULT kRenderMaskNotActive = -206;
    static constexpr VxRESULT kBlockSizeNotGranted = -207;

    // The JUCE device-type name of the type; empty for an unknown number.
    static const char* GetAudioTypeName(std::int32_t audioType);

    // Where devices come from: a new device type (owned by the caller).  The
    // JUCE types unless replaced; tests replace them to drive a device by hand.
    using DeviceTypeFactory = AudioIODeviceType* (*)();
    // Returns the factory replaced; null restores the JUCE types.
    static DeviceTypeFactory SetDeviceTypeFactory(DeviceTypeFactory factory);

    // Clears the list, then adds the ALSA devices and the JACK devices that
    // are inputs or outputs.
    static void GetDeviceList(IArray<AudioDeviceID>& list);
    // Null for a type other than ALSA or JACK, or when no device of the id
    // can be made.
    static RCPtr<LAudioDevice> Create(const AudioDeviceID& id);
    // The first output device (ALSA, then JACK) with an output channel; 0 with
    // its identity written to id, else 0x80000008.
    static VxRESULT FindDefaultOutputDevice(AudioDeviceID& id);

    // The counter rule of the capture write and read counts: the set a count
    // refers to is count modulo the set count, and the count wraps below 2^27
    // without a jump in that sequence.
    static std::uint32_t NextBlockCount(std::uint32_t count, std::uint32_t setCount) noexcept;
    // Blocks written and not yet handed over, across the count's wrap.
    static std::uint32_t PendingBlockCount(std::uint32_t write, std::uint32_t read, std::uint32_t setCount) noexcept;

    ~LAudioDevice() override;
    LAudioDevice(const LAudioDevice&) = delete;
    LAudioDevice& operator=(const LAudioDevice&) = delete;

    // Leaves a fresh framework device open at the rate with its default
    // buffer size: 0, or 0x80000008 when no device opens at that rate.
    VxRESULT Open(double sampleRate);
    // 0, one of -200 ... -207, or 0x80000002; every failure is traced.
    VxRESULT Start(std::uint64_t captureMask, std::uint64_t renderMask, std::int32_t blockSize,
                   std::uint32_t captureSetCount);
    void Stop();
    void Close();

    // Copies frameCount frames from sourceOffset of each render buffer into
    // the render ring; the frames accepted (0 or less when nothing fits).
    // Frames the audio thread already played as silence are skipped.
    std::int32_t RenderSamples(std::int32_t sourceOffset, std::int32_t frameCount,
                               const IArray<RCPtr<LIBuffer>>& renderBuffers);

    // Null allowed.  A receiver replaced while the device runs stays alive
    // until no callback of the device uses it.
    void SetCallbackReceiver(const RCPtr<LAudioDeviceCallbackReceiver>& receiver);

    const AudioDeviceID& GetDeviceID() const noexcept { return mDeviceID; }
    bool IsStarted() const noexcept { return mStarted; }

    // The framework device's values, or the defaults without one.
    std::int32_t GetDefaultBufferSize();                 // 512
    double GetCurrentSampleRate();                       // 44100
    std::int32_t GetCaptureChannelCount();               // 0
    std::int32_t GetRenderChannelCount();                // 0
    bool IsBufferSizeAvailable(std::int32_t bufferSize); // false
    bool IsPlaying();                                    // false
    std::int32_t GetCurrentBufferSize();                 // 512
    std::int32_t GetCurrentBitDepth();                   // 16
    std::int32_t GetOutputLatency();                     // 0
    std::int32_t GetInputLatency();                      // 0
    String GetLastError();                               // empty
    StringArray GetOutputChannelNames();                 // none
    StringArray GetInputChannelNames();                  // none
    bool IsSampleRateAvailable(double sampleRate);       // false

    // The worker's job: hands every captured set not yet handed on to the receiver.
    std::int32_t ThreadMain(RCPtr<LRefCountedObject>& parameter) override;

    // The framework device's callbacks, on its I/O thread.
    void AudioDeviceIOCallback(const float* const* inputChannelData, std::int32_t numInputChannels,
                               float* const* outputChannelData, std::int32_t numOutputChannels,
                               std::int32_t numSamples) override;
    void AudioDeviceAboutToStart(AudioIODevice* device) override;
    void AudioDeviceStopped() override;
    void AudioDeviceError(const String& errorMessage) override;

    // Ends the worker, which holds a reference to this device, once its pass
    // in progress returned.
    VxRESULT RemoveContainedReferences() override;

private:
    LAudioDevice(const AudioDeviceID& id, AudioIODevice* device);
    void StartWorker();

    static AudioIODevice* CreateFrameworkDevice(const AudioDeviceID& id);
    VxRESULT StartDevice(std::uint64_t captureMask, std::uint64_t renderMask, std::int32_t blockSize,
                         std::uint32_t captureSetCount);
    // The buffers, maps and counters of a run; 0 or 0x80000002.
    VxRESULT PrepareRun(std::uint64_t captureMask, std::uint64_t renderMask, std::int32_t blockSize,
                        std::uint64_t activeInputs, std::uint64_t activeOutputs, std::uint32_t captureSetCount);
    void DeleteFrameworkDevice();

    // Receiver calls from the device's threads: the receiver cannot be
    // released while one of them runs.
    class ReceiverCall;
    friend class ReceiverCall;
    // What the worker thread runs: this device's ThreadMain.
    class WorkerJob;

    AudioDeviceID mDeviceID;
    AudioIODevice* mDevice = nullptr;
    RCPtr<LAudioDeviceCallbackReceiver> mReceiver;
    std::atomic<LAudioDeviceCallbackReceiver*> mReceiverInUse{nullptr};
    std::atomic<std::int32_t> mReceiverCalls{0};
    // Receivers replaced from inside one of their own calls, released later.
    std::vector<RCPtr<LAudioDeviceCallbackReceiver>> mRetiredReceivers;
    RCPtr<LEvent> mPeriodEvent;
    RCPtr<LEventGatedThreader> mWorker;

    std::int32_t mActiveInputCount = 0;
    std::int32_t mActiveOutputCount = 0;
    std::int32_t mCaptureChannelCount = 0;
    std::int32_t mRenderChannelCount = 0;
    std::int32_t mBlockSize = 0;
    std::uint32_t mCaptureSetCount = 2;
    Array<RCPtrArray<LIBuffer>> mCaptureSets;
    RCPtrArray<LIBuffer> mRenderRing;
    Array<std::int32_t> mCaptureMap;
    Array<std::int32_t> mRenderMap;
    // The sample blocks behind the two rings, for the audio thread.
    std::vector<float*> mCaptureData; // set * capture channels + channel
    std::vector<float*> mRenderData;  // per render channel

    std::atomic<std::uint32_t> mCaptureWriteCount{0};
    std::atomic<std::uint32_t> mCaptureReadCount{0};
    // Per capture set, the count of the block written into it last.
    std::unique_ptr<std::atomic<std::uint32_t>[]> mCaptureStamps;
    std::atomic<std::int32_t> mRenderFill{0};
    std::int32_t mRenderWritePosition = 0;
    std::int32_t mRenderRingSize = 0;
    bool mStarted = false;

    // Held by the worker for a whole pass and by Start while it replaces the
    // buffers the worker reads; never taken on the audio thread.
    Mutex mWorkerLock;
};
} // namespace Vx
