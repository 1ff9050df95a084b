#include "VxFramework/MidiAndAudio/Audio/AudioDevice.h"

#include "VxFramework/MidiAndAudio/Audio/AudioIODeviceType.h"
#include "VxFramework/MidiAndAudio/Audio/JuceAudioDevice.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace Vx
{
namespace
{
// The worker's requested priority; framework threads run at the default
// scheduling whatever they ask for.
constexpr std::int32_t kWorkerPriority = 10;
constexpr std::uint32_t kCountWrap = 0x7FFFFFF;
// A capture set's stamp before any block is written into it: no count.
constexpr std::uint32_t kNoBlock = 0xFFFFFFFF;

AudioIODeviceType* CreateJuceDeviceType()
{
    return new JuceAudioIODeviceType();
}

std::atomic<LAudioDevice::DeviceTypeFactory>& DeviceTypeFactorySlot()
{
    static std::atomic<LAudioDevice::DeviceTypeFactory> slot{&CreateJuceDeviceType};
    return slot;
}

std::unique_ptr<AudioIODeviceType> MakeDeviceType()
{
    return std::unique_ptr<AudioIODeviceType>(DeviceTypeFactorySlot().load()());
}

bool IsServedType(std::int32_t audioType)
{
    return audioType == LAudioDevice::kAudioTypeALSA || audioType == LAudioDevice::kAudioTypeJACK;
}

std::int32_t CountBits(std::uint64_t mask)
{
    return static_cast<std::int32_t>(std::popcount(mask));
}

// For the k-th active channel: the index of the requested channel it carries,
// or -1 when it is not requested.
void BuildChannelMap(std::uint64_t activeMask, std::uint64_t requestedMask, Array<std::int32_t>& map)
{
    VX_ASSERT((requestedMask & ~activeMask) == 0);
    map.RemoveAll();
    std::int32_t requestedBelow = 0;
    for (std::uint32_t bit = 0; bit < 64; ++bit)
    {
        const std::uint64_t channel = std::uint64_t{1} << bit;
        if ((activeMask & channel) == 0)
            continue;
        if ((requestedMask & channel) != 0)
            map.Add(requestedBelow++);
        else
            map.Add(-1);
    }
}

// The device's callbacks while a receiver call runs on this thread, so that a
// receiver replaced from inside its own call is not waited for.
thread_local const LAudioDevice* tCallingDevice = nullptr;

float* SamplesOf(const RCPtr<LIBuffer>& buffer)
{
    return static_cast<float*>(buffer->GetData());
}
} // namespace

// A receiver call: counted while it runs, so that a receiver being replaced
// is released only once no call uses it.
class LAudioDevice::ReceiverCall
{
public:
    explicit ReceiverCall(LAudioDevice& device) : mDevice(device), mPrevious(tCallingDevice)
    {
        mDevice.mReceiverCalls.fetch_add(1);
        mReceiver = mDevice.mReceiverInUse.load();
        tCallingDevice = &mDevice;
    }
    ~ReceiverCall()
    {
        tCallingDevice = mPrevious;
        mDevice.mReceiverCalls.fetch_sub(1);
    }
    ReceiverCall(const ReceiverCall&) = delete;
    ReceiverCall& operator=(const ReceiverCall&) = delete;

    LAudioDeviceCallbackReceiver* operator->() const noexcept { return mReceiver; }
    explicit operator bool() const noexcept { return mReceiver != nullptr; }

private:
    LAudioDevice& mDevice;
    const LAudioDevice* mPrevious;
    LAudioDeviceCallbackReceiver* mReceiver = nullptr;
};

// The worker's job.  The gated threader takes a reference to its job for
// every pass; were the job the device itself, a pass in progress when the
// owner let go would hold the last outside reference, and the device would be
// torn down on its own worker thread when the pass ended.  The job's reference
// to the device is the worker's contained one: it goes when the threader is
// killed, which waits for the pass in progress.
class LAudioDevice::WorkerJob : public LThreadWorker
{
public:
    explicit WorkerJob(LAudioDevice* device) : mDevice(device) {}
    std::int32_t ThreadMain(RCPtr<LRefCountedObject>& parameter) override { return mDevice->ThreadMain(parameter); }

private:
    const RCPtr<LAudioDevice> mDevice;
};

const char* LAudioDevice::GetAudioTypeName(std::int32_t audioType)
{
    switch (audioType)
    {
    case kAudioTypeASIO:
        return "ASIO";
    case kAudioTypeWindowsAudio:
        return "Windows Audio";
    case kAudioTypeDirectSound:
        return "DirectSound";
    case kAudioTypeCoreAudio:
        return "CoreAudio";
    case kAudioTypeIOSAudio:
        return "iOS Audio";
    case kAudioTypeALSA:
        return "ALSA";
    case kAudioTypeJACK:
        return "JACK";
    case kAudioTypeAndroidAudio:
        return "Android Audio";
    default:
        return "";
    }
}

LAudioDevice::DeviceTypeFactory LAudioDevice::SetDeviceTypeFactory(DeviceTypeFactory factory)
{
    return DeviceTypeFactorySlot().exchange(factory != nullptr ? factory : &CreateJuceDeviceType);
}

void LAudioDevice::GetDeviceList(IArray<AudioDeviceID>& list)
{
    list.RemoveAll();
    for (const AudioType type : {kAudioTypeALSA, kAudioTypeJACK})
    {
        Array<AudioDeviceID> devices;
        MakeDeviceType()->GetDeviceIDs(type, devices, kInputOrOutputDevices);
        list.AppendAll(devices);
    }
}

AudioIODevice* LAudioDevice::CreateFrameworkDevice(const AudioDeviceID& id)
{
    return MakeDeviceType()->CreateDeviceFromID(id);
}

RCPtr<LAudioDevice> LAudioDevice::Create(const AudioDeviceID& id)
{
    if (!IsServedType(id.mAudioType))
        return nullptr;
    AudioIODevice* device = CreateFrameworkDevice(id);
    if (device == nullptr)
        return nullptr;
    RCPtr<LAudioDevice> result(new LAudioDevice(id, device));
    result->StartWorker();
    return result;
}

VxRESULT LAudioDevice::FindDefaultOutputDevice(AudioDeviceID& id)
{
    for (const AudioType type : {kAudioTypeALSA, kAudioTypeJACK})
    {
        Array<AudioDeviceID> devices;
        MakeDeviceType()->GetDeviceIDs(type, devices, kOutputDevices);
        for (std::uint32_t i = 0; i < devices.GetCount(); ++i)
        {
            std::unique_ptr<AudioIODevice> device(CreateFrameworkDevice(devices[i]));
            if (device != nullptr && device->GetOutputChannelNames().GetCount() > 0)
            {
                id = devices[i];
                return VXR_OK;
            }
        }
    }
    return VXR_E_FAIL;
}

std::uint32_t LAudioDevice::NextBlockCount(std::uint32_t count, std::uint32_t setCount) noexcept
{
    if (count == kCountWrap)
        return setCount == 0 ? 0 : (kCountWrap + 1) % setCount;
    return count + 1;
}

std::uint32_t LAudioDevice::PendingBlockCount(std::uint32_t write, std::uint32_t read, std::uint32_t setCount) noexcept
{
    if (write >= read)
        return write - read;
    // The write count has wrapped to the first count past the wrap.
    const std::uint32_t restart = setCount == 0 ? 0 : (kCountWrap + 1) % setCount;
    return (kCountWrap + 1 - read) + (write - restart);
}

LAudioDevice::LAudioDevice(const AudioDeviceID& id, AudioIODevice* device)
    : mDeviceID(id), mDevice(device), mPeriodEvent(new LEvent(true))
{
}

void LAudioDevice::StartWorker()
{
    // The worker's reference to this device is one of its own parts.
    mWorker = RCPtr<LEventGatedThreader>(
        new LEventGatedThreader(mPeriodEvent, RCPtr<LThreadWorker>(new WorkerJob(this)), nullptr, kWorkerPriority));
    AdjustContainedRefCount(1);
}

LAudioDevice::~LAudioDevice()
{
    // The framework device first: closing it ends the callbacks that use the
    // event and the buffers.
    DeleteFrameworkDevice();
    mWorker = nullptr;
    mReceiverInUse.store(nullptr);
    mReceiver = nullptr;
    mRetiredReceivers.clear();
    mPeriodEvent = nullptr;
}

VxRESULT LAudioDevice::RemoveContainedReferences()
{
    if (mWorker != nullptr)
    {
        RCPtr<LEventGatedThreader> worker = mWorker;
        mWorker = nullptr;
        worker = nullptr;
        AdjustContainedRefCount(-1);
    }
    return LThreadWorker::RemoveContainedReferences();
}

void LAudioDevice::DeleteFrameworkDevice()
{
    delete mDevice;
    mDevice = nullptr;
}

VxRESULT LAudioDevice::Open(double sampleRate)
{
    if (mDevice == nullptr)
    {
        VX_ASSERT_FALSE();
        mDevice = CreateFrameworkDevice(mDeviceID);
        if (mDevice == nullptr)
            return VXR_E_FAIL;
    }

    auto masksOf = [](AudioIODevice& device, std::uint64_t& capture, std::uint64_t& render) {
        capture = device.GetInputChannelNames().GetCount() > 0 ? 3 : 0;
        render = device.GetOutputChannelNames().GetCount() > 0 ? 3 : 0;
    };

    std::uint64_t captureMask = 0;
    std::uint64_t renderMask = 0;
    masksOf(*mDevice, captureMask, renderMask);
    String error = mDevice->Open(captureMask, renderMask, sampleRate, 0);
    if (!error.IsEmpty())
    {
        mDevice->Close();
        DeleteFrameworkDevice();
        mDevice = CreateFrameworkDevice(mDeviceID);
        if (mDevice != nullptr)
            error = mDevice->Open(captureMask, renderMask, sampleRate, mDevice->GetDefaultBufferSize());
    }
    if (mDevice == nullptr || !error.IsEmpty())
        return VXR_E_FAIL;
    if (mDevice->GetCurrentSampleRate() != sampleRate)
    {
        mDevice->Close();
        return VXR_E_FAIL;
    }

    // Opened at that rate once: open a fresh device there for good.
    mDevice->Close();
    DeleteFrameworkDevice();
    mDevice = CreateFrameworkDevice(mDeviceID);
    if (mDevice == nullptr)
        return VXR_E_FAIL;
    masksOf(*mDevice, captureMask, renderMask);
    error = mDevice->Open(captureMask, renderMask, sampleRate, mDevice->GetDefaultBufferSize());
    return error.IsEmpty() ? VXR_OK : VXR_E_FAIL;
}

VxRESULT LAudioDevice::Start(std::uint64_t captureMask, std::uint64_t renderMask, std::int32_t blockSize,
                             std::uint32_t captureSetCount)
{
    const VxRESULT result = StartDevice(captureMask, renderMask, blockSize, captureSetCount);
    if (result != VXR_OK)
        DebugTracer::Get().TraceNoNewline(1, "LAudioDevice::Start returning %d\n", result);
    return result;
}

VxRESULT LAudioDevice::StartDevice(std::uint64_t captureMask, std::uint64_t renderMask, std::int32_t blockSize,
                                   std::uint32_t captureSetCount)
{
    if (mDevice == nullptr)
        return kNoDevice;
    if (mStarted)
        return kAlreadyStarted;
    if (!mDevice->IsOpen())
        return kNotOpen;

    const double sampleRate = mDevice->GetCurrentSampleRate();
    mDevice->Close();
    if (!mDevice->Open(captureMask, renderMask, sampleRate, blockSize).IsEmpty())
        return kReopenFailed;

    const double rate = mDevice->GetCurrentSampleRate();
    const std::int32_t grantedBlockSize = mDevice->GetCurrentBufferSizeSamples();
    const std::uint64_t activeInputs = mDevice->GetActiveInputChannels();
    const std::uint64_t activeOutputs = mDevice->GetActiveOutputChannels();
    if (rate != sampleRate)
        return kRateChanged;
    if ((captureMask & ~activeInputs) != 0)
        return kCaptureMaskNotActive;
    if ((renderMask & ~activeOutputs) != 0)
        return kRenderMaskNotActive;
    if (grantedBlockSize != blockSize || blockSize <= 0)
        return kBlockSizeNotGranted;

    {
        // The worker reads the buffers replaced here; it may still be finishing
        // the sets of an earlier run.
        ScopedLock lock(mWorkerLock);
        const VxRESULT prepared =
            PrepareRun(captureMask, renderMask, grantedBlockSize, activeInputs, activeOutputs, captureSetCount);
        if (Failed(prepared))
            return prepared;
    }
    mStarted = true;
    mDevice->Start(this);
    return VXR_OK;
}

VxRESULT LAudioDevice::PrepareRun(std::uint64_t captureMask, std::uint64_t renderMask, std::int32_t blockSize,
                                  std::uint64_t activeInputs, std::uint64_t activeOutputs,
                                  std::uint32_t captureSetCount)
{
    mBlockSize = blockSize;
    mCaptureChannelCount = CountBits(captureMask);
    mRenderChannelCount = CountBits(renderMask);
    mActiveInputCount = CountBits(activeInputs);
    mActiveOutputCount = CountBits(activeOutputs);

    VX_ASSERT(captureSetCount >= 2);
    mCaptureSetCount = std::max<std::uint32_t>(captureSetCount, 2);

    // Empty rings until the new ones are complete.
    mRenderRingSize = 0;
    mRenderFill.store(0);
    mCaptureSets.RemoveAll();
    mRenderRing.RemoveAll();
    mCaptureData.clear();
    mRenderData.clear();
    // The ring holds two blocks per channel; a size no buffer can take fails
    // here rather than wrapping around.
    const std::uint64_t blockBytes64 = static_cast<std::uint64_t>(mBlockSize) * sizeof(float);
    if (2 * blockBytes64 > kMaxBufferSize)
        return VXR_E_OUTOFMEMORY;
    const std::uint32_t blockBytes = static_cast<std::uint32_t>(blockBytes64);
    try
    {
        for (std::int32_t channel = 0; channel < mRenderChannelCount; ++channel)
        {
            RCPtr<LIBuffer> buffer = LAudioSampleBuffer::Create(2 * blockBytes, 0, kBufferZeroFill);
            if (buffer == nullptr || Failed(mRenderRing.Add(buffer)))
                return VXR_E_OUTOFMEMORY;
            mRenderData.push_back(SamplesOf(buffer));
        }
        if (Failed(mCaptureSets.SetCount(mCaptureSetCount)))
            return VXR_E_OUTOFMEMORY;
        mCaptureStamps.reset(new std::atomic<std::uint32_t>[mCaptureSetCount]);
        for (std::uint32_t set = 0; set < mCaptureSetCount; ++set)
            mCaptureStamps[set].store(kNoBlock);
        for (std::uint32_t set = 0; set < mCaptureSetCount; ++set)
        {
            for (std::int32_t channel = 0; channel < mCaptureChannelCount; ++channel)
            {
                RCPtr<LIBuffer> buffer = LAudioSampleBuffer::Create(blockBytes, 0, kBufferZeroFill);
                if (buffer == nullptr || Failed(mCaptureSets[set].Add(buffer)))
                    return VXR_E_OUTOFMEMORY;
                mCaptureData.push_back(SamplesOf(buffer));
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        return VXR_E_OUTOFMEMORY;
    }

    BuildChannelMap(activeInputs, captureMask, mCaptureMap);
    BuildChannelMap(activeOutputs, renderMask, mRenderMap);

    mRenderFill.store(0);
    mRenderWritePosition = 0;
    mRenderRingSize = 2 * mBlockSize;
    mCaptureWriteCount.store(0);
    mCaptureReadCount.store(0);
    return VXR_OK;
}

void LAudioDevice::Stop()
{
    if (mDevice != nullptr)
        mDevice->Stop();
    mStarted = false;
}

void LAudioDevice::Close()
{
    if (mDevice != nullptr)
        mDevice->Close();
}

std::int32_t LAudioDevice::RenderSamples(std::int32_t sourceOffset, std::int32_t frameCount,
                                         const IArray<RCPtr<LIBuffer>>& renderBuffers)
{
    if (mRenderRingSize <= 0)
        return 0;
    const std::int32_t fill = mRenderFill.load();
    const std::int32_t accepted = std::min(mRenderRingSize - fill, frameCount);
    if (accepted <= 0)
        return accepted;

    // Frames the audio thread owes (played as silence) are skipped in the source.
    std::int32_t toCopy = accepted;
    if (fill < 0)
    {
        toCopy = accepted + fill;
        if (toCopy > 0)
            sourceOffset -= fill;
    }

    const std::uint32_t channels = std::min<std::uint32_t>(renderBuffers.GetCount(), mRenderRing.GetCount());
    if (toCopy > 0 && channels > 0)
    {
        std::int32_t position = mRenderWritePosition;
        std::int32_t source = sourceOffset;
        std::int32_t remaining = toCopy;
        while (remaining > 0)
        {
            std::int32_t part = std::min(remaining, mRenderRingSize - position);
            // Cut to what the first source buffer holds after the offset and
            // the first ring buffer after the position.
            const RCPtr<LIBuffer>& firstSource = *renderBuffers.GetAtConst(0);
            const std::int32_t sourceRoom =
                firstSource == nullptr ? 0 : static_cast<std::int32_t>(firstSource->GetSize() / sizeof(float)) - source;
            const std::int32_t ringRoom =
                static_cast<std::int32_t>(mRenderRing[0]->GetSize() / sizeof(float)) - position;
            const std::int32_t room = std::max(0, std::min(sourceRoom, ringRoom));
            if (part > room)
            {
                VX_ASSERT_FALSE();
                part = room;
            }
            if (part <= 0)
                break;
            for (std::uint32_t channel = 0; channel < channels; ++channel)
            {
                const RCPtr<LIBuffer>& from = *renderBuffers.GetAtConst(channel);
                if (from == nullptr || static_cast<std::int64_t>(from->GetSize() / sizeof(float)) <
                                           static_cast<std::int64_t>(source) + part)
                    continue;
                std::memcpy(mRenderData[channel] + position, SamplesOf(from) + source,
                            static_cast<std::size_t>(part) * sizeof(float));
            }
            remaining -= part;
            source += part;
            position = (position + part) % mRenderRingSize;
        }
    }

    mRenderWritePosition = (mRenderWritePosition + accepted) % mRenderRingSize;
    mRenderFill.fetch_add(accepted);
    return accepted;
}

void LAudioDevice::SetCallbackReceiver(const RCPtr<LAudioDeviceCallbackReceiver>& receiver)
{
    RCPtr<LAudioDeviceCallbackReceiver> previous = mReceiver;
    mReceiver = receiver;
    mReceiverInUse.store(receiver.Get());
    if (tCallingDevice == this)
    {
        // Replaced from inside one of its own calls, which still uses it.
        mRetiredReceivers.push_back(previous);
        return;
    }
    while (mReceiverCalls.load() != 0)
        std::this_thread::yield();
    mRetiredReceivers.clear();
}

std::int32_t LAudioDevice::GetDefaultBufferSize()
{
    return mDevice != nullptr ? mDevice->GetDefaultBufferSize() : 512;
}

double LAudioDevice::GetCurrentSampleRate()
{
    return mDevice != nullptr ? mDevice->GetCurrentSampleRate() : 44100.0;
}

std::int32_t LAudioDevice::GetCaptureChannelCount()
{
    return mDevice != nullptr ? static_cast<std::int32_t>(mDevice->GetInputChannelNames().GetCount()) : 0;
}

std::int32_t LAudioDevice::GetRenderChannelCount()
{
    return mDevice != nullptr ? static_cast<std::int32_t>(mDevice->GetOutputChannelNames().GetCount()) : 0;
}

bool LAudioDevice::IsBufferSizeAvailable(std::int32_t bufferSize)
{
    if (mDevice == nullptr)
        return false;
    const Array<std::int32_t> sizes = mDevice->GetAvailableBufferSizes();
    for (std::uint32_t i = 0; i < sizes.GetCount(); ++i)
    {
        if (sizes[i] == bufferSize)
            return true;
    }
    return false;
}

bool LAudioDevice::IsPlaying()
{
    return mDevice != nullptr && mDevice->IsPlaying();
}

std::int32_t LAudioDevice::GetCurrentBufferSize()
{
    return mDevice != nullptr ? mDevice->GetCurrentBufferSizeSamples() : 512;
}

std::int32_t LAudioDevice::GetCurrentBitDepth()
{
    return mDevice != nullptr ? mDevice->GetCurrentBitDepth() : 16;
}

std::int32_t LAudioDevice::GetOutputLatency()
{
    return mDevice != nullptr ? mDevice->GetOutputLatencyInSamples() : 0;
}

std::int32_t LAudioDevice::GetInputLatency()
{
    return mDevice != nullptr ? mDevice->GetInputLatencyInSamples() : 0;
}

LAudioDevice::String LAudioDevice::GetLastError()
{
    return mDevice != nullptr ? mDevice->GetLastError() : String();
}

LAudioDevice::StringArray LAudioDevice::GetOutputChannelNames()
{
    return mDevice != nullptr ? mDevice->GetOutputChannelNames() : StringArray();
}

LAudioDevice::StringArray LAudioDevice::GetInputChannelNames()
{
    return mDevice != nullptr ? mDevice->GetInputChannelNames() : StringArray();
}

bool LAudioDevice::IsSampleRateAvailable(double sampleRate)
{
    if (mDevice == nullptr)
        return false;
    const Array<double> rates = mDevice->GetAvailableSampleRates();
    for (std::uint32_t i = 0; i < rates.GetCount(); ++i)
    {
        if (std::fabs(rates[i] - sampleRate) < 2.220446049250313e-15)
            return true;
    }
    return false;
}

std::int32_t LAudioDevice::ThreadMain(RCPtr<LRefCountedObject>&)
{
    ScopedLock lock(mWorkerLock);
    while (mCaptureReadCount.load() != mCaptureWriteCount.load())
    {
        const std::uint32_t readCount = mCaptureReadCount.load();
        const std::uint32_t set = readCount % mCaptureSetCount;
        if (mCaptureStamps[set].load() != readCount)
        {
            // Dropped while this worker lagged: silence, not an older block.
            for (std::uint32_t c = 0; c < mCaptureSets[set].GetCount(); ++c)
                std::memset(mCaptureSets[set][c]->GetData(), 0, mCaptureSets[set][c]->GetSize());
        }
        {
            ReceiverCall receiver(*this);
            if (receiver)
                receiver->RenderSamples(0, mBlockSize, mCaptureSets[set]);
        }
        mCaptureReadCount.store(NextBlockCount(readCount, mCaptureSetCount));
    }
    return 0;
}

void LAudioDevice::AudioDeviceIOCallback(const float* const* inputChannelData, std::int32_t numInputChannels,
                                         float* const* outputChannelData, std::int32_t numOutputChannels,
                                         std::int32_t numSamples)
{
    VX_ASSERT(numOutputChannels == mActiveOutputCount || numOutputChannels == mRenderChannelCount);
    VX_ASSERT(numSamples == mBlockSize);

    const std::uint32_t writeCount = mCaptureWriteCount.load();
    const std::uint32_t set = writeCount % mCaptureSetCount;
    const std::int32_t inputsUsed = std::min(numInputChannels, mActiveInputCount);
    const std::int32_t outputsUsed = std::min(numOutputChannels, mActiveOutputCount);
    const std::int32_t frames = std::max(0, std::min(numSamples, mBlockSize));

    // The worker reads the sets of the counts it has not handed over yet.
    // When it lags a whole ring behind, the set of this count is one of
    // them: the block's samples are dropped rather than written under the
    // reader, and the set's stamp tells the worker it holds no block of its
    // count.  The count still advances, so rendering keeps its pace.
    const bool overrun = PendingBlockCount(writeCount, mCaptureReadCount.load(), mCaptureSetCount) >= mCaptureSetCount;
    for (std::int32_t input = 0; input < (overrun ? 0 : inputsUsed); ++input)
    {
        const std::int32_t channel = inputsUsed == mCaptureChannelCount ? input : mCaptureMap[input];
        VX_ASSERT(channel < mCaptureChannelCount);
        if (channel < 0 || channel >= mCaptureChannelCount || inputChannelData[input] == nullptr)
            continue;
        std::memcpy(mCaptureData[set * static_cast<std::uint32_t>(mCaptureChannelCount) + channel],
                    inputChannelData[input], static_cast<std::size_t>(frames) * sizeof(float));
    }
    if (!overrun)
        mCaptureStamps[set].store(writeCount);

    // Outputs beyond the used ones, and frames beyond the block, stay silent.
    for (std::int32_t output = 0; output < numOutputChannels; ++output)
    {
        if (outputChannelData[output] == nullptr)
            continue;
        const std::int32_t from = output < outputsUsed ? frames : 0;
        if (numSamples > from)
            std::memset(outputChannelData[output] + from, 0,
                        static_cast<std::size_t>(numSamples - from) * sizeof(float));
    }

    if (outputsUsed > 0)
    {
        // The half by the block's parity: the receiver fills whole blocks in turn.
        const std::int32_t half = static_cast<std::int32_t>(writeCount % 2) * mBlockSize;
        std::int32_t playable = frames;
        std::int32_t fill = mRenderFill.load();
        if (fill < frames)
        {
            {
                ReceiverCall receiver(*this);
                if (receiver)
                    receiver->OnRenderDataLate(frames - fill);
            }
            fill = mRenderFill.load();
            if (fill < frames)
                playable = std::max(fill, 0);
        }
        for (std::int32_t output = 0; output < outputsUsed; ++output)
        {
            float* const target = outputChannelData[output];
            if (target == nullptr)
                continue;
            const std::int32_t channel = outputsUsed == mRenderChannelCount ? output : mRenderMap[output];
            VX_ASSERT(channel < mRenderChannelCount);
            if (channel < 0 || channel >= mRenderChannelCount)
            {
                std::memset(target, 0, static_cast<std::size_t>(frames) * sizeof(float));
                continue;
            }
            std::memcpy(target, mRenderData[static_cast<std::uint32_t>(channel)] + half,
                        static_cast<std::size_t>(playable) * sizeof(float));
            std::memset(target + playable, 0, static_cast<std::size_t>(frames - playable) * sizeof(float));
        }
        // The whole block is taken, played or owed.
        mRenderFill.fetch_sub(mBlockSize);
    }

    // The block goes to the worker only now, once the half it will be
    // rendered into has been played and given back.  Handed over before, a
    // worker still busy with earlier blocks (while a late report waits for
    // it) renders it into a ring that still counts that half as full: the
    // block is refused, the write position stops short of its half and every
    // later block plays a period early, with one block less of margin; a
    // second time leaves none, and then each block is owed, skipped and
    // played as silence for the rest of the run, since exactly one block is
    // rendered per block played.  Given back first, each block is rendered
    // into its own half two periods ahead, and a late one only costs its own
    // period: its owed frames are exactly the render that arrives late.
    mCaptureWriteCount.store(NextBlockCount(writeCount, mCaptureSetCount));
    mPeriodEvent->Set();
}

void LAudioDevice::AudioDeviceAboutToStart(AudioIODevice*)
{
    ReceiverCall receiver(*this);
    if (receiver)
        receiver->OnAboutToStart();
}

void LAudioDevice::AudioDeviceStopped()
{
    ReceiverCall receiver(*this);
    if (receiver)
        receiver->OnStopped();
}

void LAudioDevice::AudioDeviceError(const String& errorMessage)
{
    ReceiverCall receiver(*this);
    if (receiver)
        receiver->OnError(errorMessage);
}
} // namespace Vx
