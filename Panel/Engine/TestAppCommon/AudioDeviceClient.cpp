#include "Panel/Engine/TestAppCommon/AudioDeviceClient.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace Vx
{
namespace
{
// Every channel of a device of that many channels.
std::uint64_t AllChannels(std::int32_t count)
{
    if (count <= 0)
        return 0;
    return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}
} // namespace

RCPtr<LAudioDeviceClient> LAudioDeviceClient::Create(const AudioDeviceID& id)
{
    return RCPtr<LAudioDeviceClient>(new (std::nothrow) LAudioDeviceClient(id));
}

LAudioDeviceClient::LAudioDeviceClient(const AudioDeviceID& id) : mDeviceID(id) {}

LAudioDeviceClient::~LAudioDeviceClient()
{
    try
    {
        if (mState.load() != kIdle)
            UnprepareStreaming();
    }
    catch (const std::exception&)
    {
        // A state no operation makes: the device goes all the same.
    }
    mDevice = nullptr;
}

void LAudioDeviceClient::TraceLine(const char* format, ...) const
{
    char text[DebugTracer::kLineBufferSize];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    DebugTracer::Get().Trace(-1, "LAudioDeviceClient: %s: %s", mDeviceID.mName.GetCString(), text);
}

std::int32_t LAudioDeviceClient::CheckedState() const
{
    const std::int32_t state = mState.load();
    if (state != kIdle && state != kPrepared && state != kStreaming)
        VX_THROW(std::runtime_error, "");
    return state;
}

VxRESULT LAudioDeviceClient::SetCallbackReceiver(const RCPtr<LAudioDeviceClientCallbackReceiver>& receiver)
{
    const std::int32_t state = CheckedState();
    if (state == kStreaming)
    {
        TraceLine("Unexpected SetCallbackReceiver() call: state=%d", state);
        return VXR_E_UNEXPECTED;
    }
    RCPtr<LAudioDeviceClientCallbackReceiver> previous;
    {
        ScopedLock lock(mLock);
        previous = mReceiver;
        mReceiver = receiver;
    }
    return VXR_OK;
}

VxRESULT LAudioDeviceClient::PrepareStreaming(std::int32_t bufferSizeFrames, double sampleRateHz)
{
    const std::int32_t state = CheckedState();
    if (state == kPrepared && sampleRateHz == mSampleRate && bufferSizeFrames == mBufferSize)
        return VXR_NOTHING_DONE;
    if (state != kIdle)
    {
        TraceLine("Unexpected PrepareStreaming() call: state=%d", state);
        return VXR_E_UNEXPECTED;
    }

    TraceLine("PrepareStreaming: sampleRateHz=%f, bufferSizeFrames=%d", sampleRateHz, bufferSizeFrames);
    mBufferSize = bufferSizeFrames;
    mSampleRate = sampleRateHz;

    TraceLine("Creating audio device: %s", mDeviceID.mName.GetCString());
    RCPtr<LAudioDevice> device = LAudioDevice::Create(mDeviceID);
    if (device == nullptr)
    {
        TraceLine("Failed to create audio device: %s", mDeviceID.mName.GetCString());
        return VXR_E_FAIL;
    }

    TraceLine("Opening device for sample rate: %f", sampleRateHz);
    const VxRESULT result = device->Open(sampleRateHz);
    if (Failed(result))
        return result;

    mBufferSize = device->IsBufferSizeAvailable(bufferSizeFrames) ? bufferSizeFrames : device->GetDefaultBufferSize();
    TraceLine("Actual buffer size:    %d", mBufferSize);
    TraceLine("Capture channel count: %d", device->GetCaptureChannelCount());
    TraceLine("Render  channel cound: %d", device->GetRenderChannelCount());
    mDevice = device;
    mState.store(kPrepared);
    return result;
}

VxRESULT LAudioDeviceClient::StartStreaming()
{
    const std::int32_t state = CheckedState();
    if (state == kStreaming)
        return VXR_NOTHING_DONE;
    if (state == kIdle)
    {
        TraceLine("Unexpected StartStreaming() call: state=%d", state);
        return VXR_E_UNEXPECTED;
    }
    if (mDevice == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }

    TraceLine("StartStreaming");
    RCPtr<LAudioDevice> device = mDevice;
    {
        ScopedLock lock(mLock);
        mSelf = RCPtr<LAudioDeviceClient>(this);
    }
    device->SetCallbackReceiver(RCPtr<LAudioDeviceCallbackReceiver>(this));
    // The device's reference and the one for the receiver are the client's
    // own parts; counted once they exist, so that no release in between can
    // take the caller's reference for the last outside one.
    AdjustContainedRefCount(2);
    mHeldByDevice = true;

    const std::uint64_t captureMask = AllChannels(device->GetCaptureChannelCount());
    const std::uint64_t renderMask = AllChannels(device->GetRenderChannelCount());
    TraceLine("Starting audio streaming");
    TraceLine("Buffer size frames:    %d", mBufferSize);
    TraceLine("Capture channel mask:  0x%02X", static_cast<unsigned int>(captureMask & 0xFFFFFFFFu));
    TraceLine("Render channel mask:   0x%02X", static_cast<unsigned int>(renderMask & 0xFFFFFFFFu));

    const VxRESULT result = device->Start(captureMask, renderMask, mBufferSize, 2);
    TraceLine("Audio streaming start result: %d", result);
    if (Succeeded(result))
        mState.store(kStreaming);
    else
        WithdrawFromDevice(); // a device that does not run keeps no receiver
    return result;
}

void LAudioDeviceClient::WithdrawFromDevice()
{
    if (!mHeldByDevice)
        return;
    mHeldByDevice = false;
    // The count first: dropping these references must not look like the last
    // outside release.
    AdjustContainedRefCount(-2);
    // Waits for a call in progress on another thread.
    if (mDevice != nullptr)
        mDevice->SetCallbackReceiver(nullptr);
    RCPtr<LAudioDeviceClient> self;
    {
        ScopedLock lock(mLock);
        if (mCallDepth > 0)
            mSelfRetired = true; // a call of this thread still hands it on
        else
            self = std::move(mSelf);
    }
}

template <class Call>
void LAudioDeviceClient::Forward(const Call& call)
{
    RCPtr<LAudioDeviceClient> retired;
    {
        ScopedLock lock(mLock);
        struct Depth
        {
            std::int32_t& depth;
            explicit Depth(std::int32_t& d) : depth(d) { ++depth; }
            ~Depth() { --depth; }
        };
        {
            const Depth depth(mCallDepth);
            if (mReceiver != nullptr && mSelf != nullptr)
                call(*mReceiver, mSelf);
        }
        if (mCallDepth == 0 && mSelfRetired)
        {
            mSelfRetired = false;
            retired = std::move(mSelf);
        }
    }
    // Released after the lock: it may be the client's last reference.
}

VxRESULT LAudioDeviceClient::StopStreaming()
{
    if (CheckedState() != kStreaming)
        return VXR_NOTHING_DONE;

    TraceLine("StopStreaming");
    // The receiver goes first, so the device's OnStopped reaches nobody.
    WithdrawFromDevice();
    if (mDevice != nullptr)
        mDevice->Stop();
    else
        VX_ASSERT_FALSE();
    ScopedLock lock(mLock);
    mState.store(kPrepared);
    return VXR_OK;
}

VxRESULT LAudioDeviceClient::UnprepareStreaming()
{
    const std::int32_t state = CheckedState();
    if (state == kIdle)
        return VXR_NOTHING_DONE;
    const VxRESULT result = state == kStreaming ? StopStreaming() : VXR_OK;
    TraceLine("UnprepareStreaming");
    if (Failed(result))
        return result;

    WithdrawFromDevice();
    if (mDevice != nullptr)
        mDevice->Close();
    else
        VX_ASSERT_FALSE();
    mDevice = nullptr;
    mState.store(kIdle);
    return result;
}

VxRESULT LAudioDeviceClient::RemoveContainedReferences()
{
    if (mHeldByDevice)
    {
        try
        {
            UnprepareStreaming();
        }
        catch (const std::exception&)
        {
            WithdrawFromDevice();
        }
    }
    return LAudioDeviceCallbackReceiver::RemoveContainedReferences();
}

std::int32_t LAudioDeviceClient::GetBufferSize()
{
    if (CheckedState() == kIdle)
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    return mBufferSize;
}

std::int32_t LAudioDeviceClient::GetCaptureChannelCount()
{
    if (CheckedState() == kIdle || mDevice == nullptr)
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    return mDevice->GetCaptureChannelCount();
}

std::int32_t LAudioDeviceClient::GetRenderChannelCount()
{
    if (CheckedState() == kIdle || mDevice == nullptr)
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    return mDevice->GetRenderChannelCount();
}

double LAudioDeviceClient::GetSampleRate()
{
    if (CheckedState() == kIdle || mDevice == nullptr)
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    return mDevice->GetCurrentSampleRate();
}

std::int32_t LAudioDeviceClient::RenderSamples(std::int32_t offset, std::int32_t frameCount,
                                               const IArray<RCPtr<LIBuffer>>& renderBuffers)
{
    if (CheckedState() == kIdle || mDevice == nullptr)
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    return mDevice->RenderSamples(offset, frameCount, renderBuffers);
}

void LAudioDeviceClient::RenderSamples(std::int32_t offset, std::int32_t frameCount,
                                       IArray<RCPtr<LIBuffer>>& captureBuffers)
{
    Forward([&](LAudioDeviceClientCallbackReceiver& receiver, const RCPtr<LAudioDeviceClient>& self) {
        receiver.RenderSamples(self, offset, frameCount, captureBuffers);
    });
}

void LAudioDeviceClient::OnAboutToStart()
{
    Forward([](LAudioDeviceClientCallbackReceiver& receiver, const RCPtr<LAudioDeviceClient>& self) {
        receiver.OnAboutToStart(self);
    });
}

void LAudioDeviceClient::OnStopped()
{
    Forward([](LAudioDeviceClientCallbackReceiver& receiver, const RCPtr<LAudioDeviceClient>& self) {
        receiver.OnStopped(self);
    });
}

void LAudioDeviceClient::OnRenderDataLate(std::int32_t missingFrames)
{
    Forward([&](LAudioDeviceClientCallbackReceiver& receiver, const RCPtr<LAudioDeviceClient>& self) {
        receiver.OnRenderDataLate(self, missingFrames);
    });
}

void LAudioDeviceClient::OnError(const String& message)
{
    Forward([&](LAudioDeviceClientCallbackReceiver& receiver, const RCPtr<LAudioDeviceClient>& self) {
        receiver.OnError(self, message);
    });
}
} // namespace Vx
