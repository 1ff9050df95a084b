#include "Panel/Engine/TestAppCommon/AudioManager.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <regex>

namespace Vx
{
namespace
{
const char* NameOf(const LAudioDevice::AudioDeviceID& id)
{
    return id.mName.GetCString();
}
} // namespace

//==============================================================================
RCPtr<LAudioDeviceClientEntry> LAudioDeviceClientEntry::Create()
{
    return RCPtr<LAudioDeviceClientEntry>(new (std::nothrow) LAudioDeviceClientEntry());
}

LAudioDeviceClientEntry::~LAudioDeviceClientEntry()
{
    UnprepareAudioClient();
}

VxRESULT LAudioDeviceClientEntry::PrepareAudioClient(const AudioDeviceID& id, std::int32_t bufferSize, bool isInput,
                                                     double sampleRate, bool isOutput)
{
    DebugTracer& tracer = DebugTracer::Get();
    UnprepareAudioClient();
    tracer.Trace(-1,
                 "LAudioDeviceClientEntry: PrepareAudioClient: \"%s\", sampleRateHz=%f, bufferSizeFrames=%d, "
                 "isInput=%d, isOutput=%d",
                 NameOf(id), sampleRate, bufferSize, isInput ? 1 : 0, isOutput ? 1 : 0);
    mIsInput = isInput;
    mIsOutput = isOutput;

    tracer.Trace(-1, "LAudioDeviceClientEntry: Creating instance of LAudioDeviceClient");
    RCPtr<LAudioDeviceClient> client = LAudioDeviceClient::Create(id);
    if (client == nullptr)
    {
        tracer.Trace(-1, "LAudioDeviceClientEntry: Failed to create instance of LAudioDeviceClient");
        return VXR_E_FAIL;
    }

    tracer.Trace(-1, "LAudioDeviceClientEntry: Preparing device for streaming: sampleRate=%f, bufferSize=%d",
                 sampleRate, bufferSize);
    const VxRESULT result = client->PrepareStreaming(bufferSize, sampleRate);
    if (Failed(result))
    {
        tracer.Trace(-1, "LAudioDeviceClientEntry: Failed to prepare streaming");
        return result;
    }
    const std::int32_t renderChannels = client->GetRenderChannelCount();
    tracer.Trace(-1, "LAudioDeviceClientEntry: Number of capture channels: %d", client->GetCaptureChannelCount());
    tracer.Trace(-1, "LAudioDeviceClientEntry: Number of render channels: %d", renderChannels);

    // The client's reference to this entry is one of the entry's own parts.
    AdjustContainedRefCount(1);
    mHeldByClient = true;
    mClient = client;
    client->SetCallbackReceiver(RCPtr<LAudioDeviceClientCallbackReceiver>(this));

    mBufferSize = client->GetBufferSize();
    tracer.Trace(-1, "BufferSize=%d", mBufferSize);

    const std::uint64_t bytes = static_cast<std::uint64_t>(std::max(mBufferSize, 0)) * sizeof(float);
    for (std::int32_t n = 0; n < renderChannels; ++n)
    {
        RCPtr<LIBuffer> buffer = bytes <= kMaxBufferSize
                                     ? LAudioSampleBuffer::Create(static_cast<std::uint32_t>(bytes), 0, kBufferZeroFill)
                                     : nullptr;
        if (buffer == nullptr || Failed(mRenderBuffers.Add(buffer)))
        {
            tracer.Trace(-1, "LAudioDeviceClientEntry: Failed to allocate render buffer #%d (%d samples)", n,
                         mBufferSize);
            UnprepareAudioClient();
            return VXR_E_OUTOFMEMORY;
        }
        tracer.Trace(-1, "LAudioDeviceClientEntry: Allocated render buffer #%d (%d samples)", n, mBufferSize);
    }
    return result;
}

VxRESULT LAudioDeviceClientEntry::StartAudioClient()
{
    if (mClient == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    DebugTracer::Get().Trace(-1, "LAudioDeviceClientEntry: StartAudioClient");
    mLateCount.store(0);
    return mClient->StartStreaming();
}

VxRESULT LAudioDeviceClientEntry::StopAudioClient()
{
    if (mClient != nullptr)
    {
        DebugTracer::Get().Trace(-1, "LAudioDeviceClientEntry: StopAudioClient");
        mClient->StopStreaming();
    }
    return VXR_OK;
}

VxRESULT LAudioDeviceClientEntry::UnprepareAudioClient()
{
    DebugTracer::Get().Trace(-1, "LAudioDeviceClientEntry: UnprepareAudioClient");
    ReleaseClient();
    mBufferSize = 0;
    mLateCount.store(0);
    mRenderBuffers.RemoveAll();
    return VXR_OK;
}

void LAudioDeviceClientEntry::ReleaseClient()
{
    RCPtr<LAudioDeviceClient> client = mClient;
    if (client != nullptr)
        client->UnprepareStreaming();
    // The client may live on with another holder: it lets go of this entry.
    if (mHeldByClient)
    {
        mHeldByClient = false;
        AdjustContainedRefCount(-1);
        if (client != nullptr)
            client->SetCallbackReceiver(nullptr);
    }
    mClient = nullptr;
}

VxRESULT LAudioDeviceClientEntry::SetCallbackReceiver(const RCPtr<LAudioManagerCallbackReceiver>& receiver)
{
    RCPtr<LAudioManagerCallbackReceiver> previous;
    ScopedLock lock(mLock);
    previous = mReceiver;
    mReceiver = receiver;
    return VXR_OK;
}

void LAudioDeviceClientEntry::ClearRenderBuffers()
{
    for (std::uint32_t i = 0; i < mRenderBuffers.GetCount(); ++i)
        std::memset(mRenderBuffers[i]->GetData(), 0, mRenderBuffers[i]->GetSize());
}

void LAudioDeviceClientEntry::CheckClient(const RCPtr<LAudioDeviceClient>& client) const
{
    VX_ASSERT(client.Get() == mClient.Get());
}

void LAudioDeviceClientEntry::RenderSamples(const RCPtr<LAudioDeviceClient>& client, std::int32_t offset,
                                            std::int32_t frameCount, IArray<RCPtr<LIBuffer>>& captureBuffers)
{
    CheckClient(client);
    ScopedLock lock(mLock);
    const RCPtr<LAudioManagerCallbackReceiver> receiver = mReceiver;
    ClearRenderBuffers();
    // The render buffers hold one buffer size.
    std::int32_t frames = frameCount;
    if (frames > mBufferSize)
    {
        VX_ASSERT_FALSE();
        frames = mBufferSize;
    }
    if (mIsOutput && receiver != nullptr)
        receiver->RenderSamples(mRenderBuffers, 0, frames);
    const std::int32_t rendered = client->RenderSamples(0, frames, RenderList());
    if (rendered != frameCount)
        DebugTracer::Get().Trace(-1, "LAudioDeviceClientEntry: RenderSamples: requested=%d, rendered=%d", frameCount,
                                 rendered);
    if (mIsInput && receiver != nullptr)
        receiver->ProcessCapturedSamples(captureBuffers, offset, frameCount);
}

void LAudioDeviceClientEntry::OnAboutToStart(const RCPtr<LAudioDeviceClient>& client)
{
    CheckClient(client);
    // Two periods of silence wait in the device before the first one plays.
    ClearRenderBuffers();
    client->RenderSamples(0, mBufferSize, RenderList());
    client->RenderSamples(0, mBufferSize, RenderList());
}

void LAudioDeviceClientEntry::OnStopped(const RCPtr<LAudioDeviceClient>& client)
{
    CheckClient(client);
}

void LAudioDeviceClientEntry::OnRenderDataLate(const RCPtr<LAudioDeviceClient>& client, std::int32_t)
{
    CheckClient(client);
    const std::int32_t late = mLateCount.fetch_add(1) + 1;
    if (late <= 8 || late % 64 == 0)
        DebugTracer::Get().Trace(-1, "LAudioDeviceClientEntry: Render data late counter: %d", late);
}

void LAudioDeviceClientEntry::OnError(const RCPtr<LAudioDeviceClient>& client, const String& message)
{
    CheckClient(client);
    DebugTracer::Get().Trace(-1, "LAudioDeviceClientEntry: %s", message.GetCString());
}

VxRESULT LAudioDeviceClientEntry::RemoveContainedReferences()
{
    if (mHeldByClient)
        UnprepareAudioClient();
    return LAudioDeviceClientCallbackReceiver::RemoveContainedReferences();
}

//==============================================================================
LAudioManager::String LAudioManager::FindDeviceName(const String& pattern)
{
    DebugTracer& tracer = DebugTracer::Get();
    tracer.Trace(-1, "Looking for audio device name matching \"%s\"", pattern.GetCString());
    Array<AudioDeviceID> devices;
    LAudioDevice::GetDeviceList(devices);
    const std::regex expression(pattern.GetCString(), std::regex::ECMAScript);
    for (std::uint32_t i = 0; i < devices.GetCount(); ++i)
    {
        const String& name = devices[i].mName;
        tracer.Trace(-1, "  Cheking audio device #%d: \"%s\"", static_cast<int>(i), name.GetCString());
        if (std::regex_search(name.GetCString(), expression))
        {
            tracer.Trace(-1, "    name matched");
            return name;
        }
    }
    return String();
}

RCPtr<LAudioManager> LAudioManager::Create()
{
    LAudioManager* manager = new (std::nothrow) LAudioManager();
    if (manager != nullptr && (manager->mInputEntry == nullptr || manager->mOutputEntry == nullptr))
    {
        delete manager;
        return nullptr;
    }
    return RCPtr<LAudioManager>(manager);
}

LAudioManager::LAudioManager()
    : mInputEntry(LAudioDeviceClientEntry::Create()), mOutputEntry(LAudioDeviceClientEntry::Create())
{
}

LAudioManager::~LAudioManager()
{
    if (mInputEntry != nullptr && mOutputEntry != nullptr)
        StopAudioStreaming();
}

VxRESULT LAudioManager::SetCallbackReceiver(const RCPtr<LAudioManagerCallbackReceiver>& receiver)
{
    mInputEntry->SetCallbackReceiver(receiver);
    mOutputEntry->SetCallbackReceiver(receiver);
    return VXR_OK;
}

VxRESULT LAudioManager::StartAudioStreaming(const StreamingConfiguration& configuration)
{
    StopAudioStreaming();
    DebugTracer& tracer = DebugTracer::Get();
    tracer.Trace(-1, "LAudioManager: StartAudioStreaming:");
    tracer.Trace(-1, "LAudioManager:   inputDevicePattern:       %s", NameOf(configuration.inputDevicePattern));
    tracer.Trace(-1, "LAudioManager:   outputDevicePattern:      %s", NameOf(configuration.outputDevicePattern));
    tracer.Trace(-1, "LAudioManager:   sampleRate:               %f", configuration.sampleRate);
    tracer.Trace(-1, "LAudioManager:   bufferSize:               %d", configuration.bufferSize);

    const String input = FindDeviceName(configuration.inputDevicePattern.mName);
    const String output = FindDeviceName(configuration.outputDevicePattern.mName);
    tracer.Trace(-1, "LAudioManager:   matchedInputDeviceName:   %s", input.GetCString());
    tracer.Trace(-1, "LAudioManager:   matchedOutputDeviceName:  %s", output.GetCString());
    if ((!configuration.inputDevicePattern.mName.IsEmpty() && input.IsEmpty()) ||
        (!configuration.outputDevicePattern.mName.IsEmpty() && output.IsEmpty()))
    {
        tracer.Trace(-1, "LAudioManager: Could not find all required audio devices, returning");
        return VXR_E_FAIL;
    }

    mInputDevice = configuration.inputDevicePattern;
    mOutputDevice = configuration.outputDevicePattern;
    mSampleRate = configuration.sampleRate;
    mBufferSize = configuration.bufferSize;
    mInputDevice.mName = input;
    mOutputDevice.mName = output;
    const bool same = mInputDevice == mOutputDevice;

    VxRESULT result = mInputEntry->PrepareAudioClient(mInputDevice, mBufferSize, true, mSampleRate, same);
    if (Succeeded(result) && !same)
        result = mOutputEntry->PrepareAudioClient(mOutputDevice, mBufferSize, false, mSampleRate, true);
    if (Succeeded(result))
        result = mInputEntry->StartAudioClient();
    if (Succeeded(result) && !same)
        result = mOutputEntry->StartAudioClient();
    if (Failed(result))
    {
        mOutputEntry->UnprepareAudioClient();
        mInputEntry->UnprepareAudioClient();
    }
    return result;
}

VxRESULT LAudioManager::StopAudioStreaming()
{
    DebugTracer::Get().Trace(-1, "LAudioManager: StopAudioStreaming");
    mOutputEntry->UnprepareAudioClient();
    mInputEntry->UnprepareAudioClient();
    return VXR_OK;
}

VxRESULT LAudioManager::GetConfiguration(StreamingConfiguration& configuration) const
{
    configuration.inputDevicePattern = mInputDevice;
    configuration.outputDevicePattern = mOutputDevice;
    configuration.sampleRate = mSampleRate;
    configuration.bufferSize = mBufferSize;
    return VXR_OK;
}

RCPtr<LAudioDeviceClient> LAudioManager::GetInputClient() const
{
    return mInputEntry->GetClient();
}

RCPtr<LAudioDeviceClient> LAudioManager::GetOutputClient() const
{
    return mInputDevice == mOutputDevice ? mInputEntry->GetClient() : mOutputEntry->GetClient();
}
} // namespace Vx
