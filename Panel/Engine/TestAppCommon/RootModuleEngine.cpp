#include "Panel/Engine/TestAppCommon/RootModuleEngine.h"

#include "VxFramework/Notification/Holder.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace Vx
{
namespace
{
std::atomic<RootModuleEngineProvider>& Provider()
{
    static std::atomic<RootModuleEngineProvider> provider{nullptr};
    return provider;
}

bool SameDevices(const Array<Variant>& a, const Array<Variant>& b)
{
    if (a.GetCount() != b.GetCount())
        return false;
    for (std::uint32_t i = 0; i < a.GetCount(); ++i)
    {
        if (!(*a.GetAtConst(i) == *b.GetAtConst(i)))
            return false;
    }
    return true;
}

void CopyDevices(const Array<Variant>& from, Array<Variant>& to)
{
    to.SetCount(0);
    for (std::uint32_t i = 0; i < from.GetCount(); ++i)
        to.Add(*from.GetAtConst(i));
}
} // namespace

void SetRootModuleEngineProvider(RootModuleEngineProvider provider) noexcept
{
    Provider().store(provider);
}

RCPtr<LRootModuleEngine> LRootModuleEngine::GetInstance()
{
    const RootModuleEngineProvider provider = Provider().load();
    if (provider == nullptr)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    return provider();
}

LRootModuleEngine::LRootModuleEngine() = default;

LRootModuleEngine::~LRootModuleEngine()
{
    if (mThreader.IsRunning())
        VX_ASSERT_FALSE();
    if (mRootModule != nullptr)
        mRootModule->StopReceiving();
}

RCPtr<LDeviceCommunicationInterface> LRootModuleEngine::CreateTransport()
{
    return MakeRCPtr<LDeviceCommunicationInterface>();
}

NotificationHandlerResultCode LRootModuleEngine::Receive(const RCPtr<LNotificationDistributor>& from,
                                                         const ConstRCPtr<LNotification>& notification)
{
    if (!mStarted || mHandler == nullptr)
        return 0;
    return mHandler->Receive(from, notification);
}

VxRESULT LRootModuleEngine::Unregister(const RCPtr<LNotificationDistributor>& from, const char* id)
{
    if (mHandler != nullptr)
        mHandler->RemoveEntry(from, id);
    return LNotificationClient::Unregister(from, id);
}

VxRESULT LRootModuleEngine::RemoveContainedReferences()
{
    WaitForWorkerStop();
    return LNotificationClient::RemoveContainedReferences();
}

VxRESULT LRootModuleEngine::Start(std::int32_t firstParamID)
{
    mHandler = MakeRCPtr<LNotificationHandler<LRootModuleEngine>>(this);
    if (mHandler == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const RCPtr<LNotificationCenter> center =
        LNotificationCenterManager::GetInstance()->GetCenter(LNotificationCenterManager::GetDefaultCenterName());
    if (center == nullptr)
        ThrowFailedResult(VXR_E_INVALIDARG, __FILE__, __LINE__);
    if (Failed(mHandler->Register(&LRootModuleEngine::OnParamModuleChangeRequest,
                                  RCPtr<LNotificationDistributor>(center), kParamModuleChangeRequestId, 0)))
        ThrowFailedResult(VXR_E_FAIL, __FILE__, __LINE__);

    mTransport = CreateTransport();
    mCache = MakeRCPtr<LParamCache>(LRootModule::kParamCount);
    Array<Variant> devices;
    mNoLibrary = mTransport->Initialize() < 0;
    if (!mNoLibrary)
        mTransport->FindDevices(Array<GUID>(), devices);

    mRootModule = LRootModule::Create(mNoLibrary);
    mRootModule->AttachToEngine(&LRootModuleEngine::PostParamValueChanges, this, mCache, mTransport, firstParamID);
    mStarted = true;

    ParamRanges ranges;
    const ParamRange all{mRootModule->GetFirstParamID(), static_cast<std::int32_t>(LRootModule::kParamCount)};
    ranges.Assign(&all, 1);
    ParamDescriptors descriptors;
    descriptors.AssignFromRanges(ranges);
    PostAllValues(descriptors);

    if (!mNoLibrary && devices.GetCount() > 0)
        Connect(*devices.GetAt(0), false);
    return VXR_OK;
}

void LRootModuleEngine::PostAllValues(const ParamDescriptors& descriptors)
{
    Array<ParamValue> values;
    const std::uint32_t count = descriptors.GetEntryCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        ParamValue value(-1);
        Variant entry;
        if (descriptors.GetArrayElement(i, entry) == 0 && entry.GetTag() == Variant::T_ARRAY &&
            entry.GetArrayCount() == 2)
        {
            Variant id;
            entry.GetArrayElement(0, id);
            entry.GetArrayElement(1, value.mDescriptor.mKey);
            value.mDescriptor.mParamID = id.GetInt32();
        }
        mRootModule->GetParamValue(value.mDescriptor, value.mValue);
        values.Add(value);
    }
    PostParamValueChanges(values);
}

void LRootModuleEngine::PostParamValueChanges(void* engine, const Array<ParamValue>& changes)
{
    if (engine != nullptr)
        static_cast<LRootModuleEngine*>(engine)->PostParamValueChanges(changes);
}

void LRootModuleEngine::PostParamValueChanges(const Array<ParamValue>& changes)
{
    const std::uint32_t count = changes.GetCount();
    if (count == 0)
        return;
    if (count <= 2)
    {
        for (std::uint32_t i = 0; i < count; ++i)
        {
            const ParamValue& change = *changes.GetAtConst(i);
            Post(kParamModuleStateChangeId, MakeRCPtr<LParamPair>(change.mDescriptor, change.mValue));
        }
        return;
    }
    const RCPtr<LParamValuesWrapper> list = MakeRCPtr<LParamValuesWrapper>();
    list->Assign(changes.GetDataConst(), count);
    Post(kParamModuleStateChangeId, list);
}

NotificationHandlerResultCode
LRootModuleEngine::OnParamModuleChangeRequest(const RCPtr<LNotificationDistributor>&,
                                              const ConstRCPtr<LNotification>& notification)
{
    const auto* request = dynamic_cast<const LParamPair*>(notification->GetParam().Get());
    if (request == nullptr)
    {
        VX_ASSERT_FALSE();
        return 1;
    }
    SetParamValue(request->GetKey(), request->GetValue());
    return 1;
}

VxRESULT LRootModuleEngine::SetParamValue(const ParamDescriptor& descriptor, const Variant& value)
{
    if (mState.load() != kConnected || mRootModule == nullptr)
    {
        DebugTracer::Get().Trace(1, "LRootModuleEngine::SetParamValue failed because device is not connected.");
        return VXR_E_FAIL;
    }
    const VxRESULT result = mRootModule->SetParamValue(descriptor, value);
    if (result < 0)
    {
        DebugTracer::Get().Trace(1, "LRootModuleEngine::SetParamValue failed. - Updating Connection State.");
        UpdateConnectionState();
    }
    return result;
}

VxRESULT LRootModuleEngine::GetParamValue(const ParamDescriptor& descriptor, Variant& value)
{
    if (mRootModule == nullptr)
    {
        value.Clear();
        return VXR_E_FAIL;
    }
    return mRootModule->GetParamValue(descriptor, value);
}

std::int32_t LRootModuleEngine::GetFirstParamID() const
{
    return mRootModule != nullptr ? mRootModule->GetFirstParamID() : 0;
}

VxRESULT LRootModuleEngine::GetDeviceInfo(const Variant& device, DeviceInfo& info)
{
    return mTransport != nullptr ? mTransport->GetDeviceInfo(device, info) : VXR_E_FAIL;
}

LRootModuleEngine::DeviceConnectionState LRootModuleEngine::GetConnectionState()
{
    const ScopedLock lock(mLock);
    return mState.load();
}

void LRootModuleEngine::GetCurrentDevice(Variant& device)
{
    const ScopedLock lock(mLock);
    device = mCurrentDevice;
}

void LRootModuleEngine::SetAutoConnect(bool autoConnect)
{
    if (autoConnect)
    {
        mAutoConnect = true;
        return;
    }
    mAutoConnect = false;
    if (mThreader.IsRunning())
    {
        const ScopedLock lock(mLock);
        mAutoConnectDevice.Clear();
    }
}

VxRESULT LRootModuleEngine::GetParamValues(const ParamRange& range, Array<ParamValue>& values, std::int32_t startIndex)
{
    if (startIndex < 0)
    {
        values.SetCount(0);
        startIndex = 0;
    }
    if (range.mCount <= 0)
        return VXR_OK;
    const auto start = static_cast<std::uint32_t>(startIndex);
    const auto count = static_cast<std::uint32_t>(range.mCount);
    // A count beyond the tree is a caller's fault: the list stays as it was.
    if (count > LRootModule::kParamCount || start > LRootModule::kParamCount)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (values.GetCount() < start + count)
        values.SetCount(start + count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        ParamValue& value = *values.GetAt(start + i);
        value = ParamValue(static_cast<std::int32_t>(static_cast<std::uint32_t>(range.mFirstParamID) + i));
        GetParamValue(value.mDescriptor, value.mValue);
    }
    return VXR_OK;
}

VxRESULT LRootModuleEngine::RequestParamValue(const ParamDescriptor& descriptor)
{
    // Nothing in the system asks for single values this way.
    VX_ASSERT_FALSE();
    const ScopedLock lock(mLock);
    std::uint32_t low = 0;
    std::uint32_t high = mPendingRequests.GetCount();
    while (low < high)
    {
        const std::uint32_t middle = low + (high - low) / 2;
        if (*mPendingRequests.GetAt(middle) < descriptor)
            low = middle + 1;
        else
            high = middle;
    }
    if (low < mPendingRequests.GetCount() && !(descriptor < *mPendingRequests.GetAt(low)))
        *mPendingRequests.GetAt(low) = descriptor;
    else
        mPendingRequests.Insert(low, descriptor);

    const std::uint32_t now = GetMilliseconds();
    if (mState.load() != kConnected || now - mLastRequestTime <= static_cast<std::uint32_t>(mRequestInterval))
        return VXR_NOTHING_DONE;
    mLastRequestTime = now;
    ParamDescriptors pending;
    pending.Assign(mPendingRequests.GetDataConst(), mPendingRequests.GetCount());
    const std::int32_t sent = mTransport->RequestParamValues(pending);
    return sent < 0 ? sent : VXR_OK;
}

bool LRootModuleEngine::IsDeviceAvailable(const Variant& device)
{
    if (device.GetTag() == Variant::T_NONE || mTransport == nullptr)
        return false;
    DeviceInfo info;
    if (mTransport->GetDeviceInfo(device, info) < 0)
        return false;
    return info.IsAvailable();
}

bool LRootModuleEngine::HasCurrentDevice()
{
    const ScopedLock lock(mLock);
    return IsDeviceAvailable(mCurrentDevice);
}

void LRootModuleEngine::UpdateConnectionState()
{
    const ScopedLock lock(mLock);
    DeviceConnectionState state = kNotConnected;
    if (mTransport != nullptr && mTransport->IsDeviceConnected())
    {
        state = kConnected;
    }
    else if (mConnectRequested)
    {
        state = kConnectionRequested;
        if (!IsDeviceAvailable(mCurrentDevice))
            VX_ASSERT_FALSE();
    }
    else if (mAutoConnect)
    {
        if (IsDeviceAvailable(mCurrentDevice))
        {
            if (mState.load() == kConnected)
                mAutoConnectDevice = mCurrentDevice;
            state = mAutoConnectDevice.GetTag() != Variant::T_NONE ? kAutoConnectPending : kNotConnected;
        }
    }
    if (state != mState.load())
    {
        mState = state;
        PostConnectionState(state);
    }
}

VxRESULT LRootModuleEngine::Connect(const Variant& device, bool keepTrying)
{
    mConnecting = true;
    Disconnect();
    std::int32_t result = VXR_E_FAIL;
    bool startWorker = false;
    {
        const ScopedLock lock(mLock);
        result = mRootModule->ConnectDevice(device);
        if (result >= 0)
        {
            mCurrentDevice = device;
            startWorker = IsDeviceAvailable(device);
        }
        else if (keepTrying)
        {
            if (IsDeviceAvailable(device))
            {
                mConnectRequested = true;
                mCurrentDevice = device;
                startWorker = true;
            }
            else
            {
                VX_ASSERT_FALSE();
            }
        }
        else
        {
            mCurrentDevice.Clear();
        }
    }
    // Outside the lock: a stopping worker may still wait for it, and starting
    // waits for that worker's end.
    if (startWorker)
        StartWorker();
    mConnecting = false;
    UpdateConnectionState();
    StopWorkerIfIdle();
    return result;
}

VxRESULT LRootModuleEngine::Disconnect()
{
    std::int32_t result = VXR_E_FAIL;
    {
        const ScopedLock lock(mLock);
        mConnectRequested = false;
        mAutoConnectDevice.Clear();
        mCurrentDevice.Clear();
        if (mTransport != nullptr)
            result = mTransport->DisconnectDevice();
    }
    if (!mConnecting)
    {
        UpdateConnectionState();
        StopWorkerIfIdle();
    }
    return result;
}

VxRESULT LRootModuleEngine::StartWorker()
{
    if (mThreader.IsRunning())
    {
        if (!mStopRequested)
            return VXR_NOTHING_DONE;
        if (!WaitForWorkerStop())
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
    }
    mStopRequested = false;
    const VxRESULT triggered = mThreader.Trigger(RCPtr<LThreadWorker>(this), nullptr, 5);
    if (Failed(triggered))
    {
        mStopRequested = true;
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    return VXR_OK;
}

bool LRootModuleEngine::WaitForWorkerStop()
{
    if (!mThreader.IsRunning())
        return true;
    mStopRequested = true;
    for (std::int32_t poll = 0; poll < kStopPolls && mThreader.IsRunning(); ++poll)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !mThreader.IsRunning();
}

void LRootModuleEngine::StopWorkerIfIdle()
{
    if (!mThreader.IsRunning() || mStopRequested || mRemoteListEnabled || mConnecting)
        return;
    const DeviceConnectionState state = mState.load();
    if (state == kNotConnected || (state == kConnected && !HasCurrentDevice()))
        mStopRequested = true;
}

VxRESULT LRootModuleEngine::SetRemoteDeviceListEnabled(bool enabled)
{
    if (mRemoteListEnabled == enabled)
        return VXR_OK;
    mRemoteListEnabled = enabled;
    if (!enabled)
    {
        StopWorkerIfIdle();
        return VXR_OK;
    }
    if (!mRemoteListProbed)
    {
        Array<Variant> scratch;
        mFirstListingResult =
            mTransport != nullptr ? mTransport->WaitForDeviceListChange(Array<GUID>(), scratch, 0) : VXR_E_FAIL;
        mRemoteListProbed = true;
    }
    const std::int32_t remembered = mFirstListingResult.value_or(VXR_E_FAIL);
    if (remembered < 0)
    {
        mRemoteListEnabled = false;
        return remembered;
    }
    StartWorker();
    return remembered;
}

VxRESULT LRootModuleEngine::GetRemoteDevices(Array<Variant>& devices)
{
    if (mRemoteListEnabled)
    {
        const ScopedLock lock(mLock);
        CopyDevices(mRemoteDevices, devices);
        return VXR_OK;
    }
    if (mTransport == nullptr)
        return VXR_E_FAIL;
    Array<Variant> scratch;
    const std::int32_t listed = mTransport->WaitForDeviceListChange(Array<GUID>(), scratch, 0);
    if (listed < 0)
        return listed;
    const ScopedLock lock(mLock);
    CopyDevices(scratch, mRemoteDevices);
    CopyDevices(mRemoteDevices, devices);
    return VXR_OK;
}

std::int32_t LRootModuleEngine::ThreadMain(RCPtr<LRefCountedObject>&)
{
    return Run();
}

StringT<char, unsigned short> LRootModuleEngine::ToString() const
{
    return StringT<char, unsigned short>("LRootModuleEngine");
}

std::int32_t LRootModuleEngine::Run()
{
    // The threader's reference is the engine's own: the application's release
    // still stops the worker.
    AdjustContainedRefCount(1);
    Array<Variant> local;
    std::int32_t waits = 0;
    bool repeatListing = false;
    while (!mStopRequested)
    {
        if (HasCurrentDevice())
        {
            UpdateConnectionState();
            const ScopedLock lock(mLock);
            const DeviceConnectionState state = mState.load();
            if (state == kConnectionRequested || state == kAutoConnectPending)
            {
                const Variant device = state == kConnectionRequested ? mCurrentDevice : mAutoConnectDevice;
                if (device.GetTag() != Variant::T_NONE && mRootModule->ConnectDevice(device) >= 0)
                {
                    if (state == kConnectionRequested)
                        mConnectRequested = false;
                    else
                        mAutoConnectDevice.Clear();
                    mState = kConnected;
                    PostConnectionState(kConnected);
                }
            }
        }

        if (!mRemoteListEnabled)
        {
            SleepUnlessStopped(kWorkerPeriodMs);
            continue;
        }

        if (waits > kChangeWaitsPerListing || repeatListing)
        {
            local.SetCount(0);
            const std::int32_t listed = mTransport->FindRemoteDevices(Array<GUID>(), local);
            if (mStopRequested)
            {
                waits = 0;
                continue;
            }
            if (listed >= 0)
            {
                repeatListing = listed == 1;
                bool changed = false;
                {
                    const ScopedLock lock(mLock);
                    if (!SameDevices(local, mRemoteDevices))
                    {
                        CopyDevices(local, mRemoteDevices);
                        changed = true;
                    }
                }
                if (changed)
                    PostRemoteDeviceCount(local.GetCount());
            }
            SleepUnlessStopped(kWorkerPeriodMs);
            waits = 0;
            continue;
        }

        {
            const ScopedLock lock(mLock);
            CopyDevices(mRemoteDevices, local);
        }
        ++waits;
        const std::int32_t waited = mTransport->WaitForDeviceListChange(Array<GUID>(), local, kWorkerPeriodMs);
        if (waited == 0 && !mStopRequested)
        {
            {
                const ScopedLock lock(mLock);
                CopyDevices(local, mRemoteDevices);
            }
            PostRemoteDeviceCount(local.GetCount());
        }
        else if (waited < 0)
        {
            // A failing library would otherwise be asked again at once.
            SleepUnlessStopped(kWorkerPeriodMs);
        }
        repeatListing = false;
    }
    AdjustContainedRefCount(-1);
    return 0;
}

void LRootModuleEngine::SleepUnlessStopped(std::uint32_t milliseconds)
{
    for (std::uint32_t slept = 0; slept < milliseconds && !mStopRequested; slept += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void LRootModuleEngine::Post(const char* id, const RCPtr<LRefCountedObject>& payload)
{
    const RCPtr<LNotificationCenter> center =
        LNotificationCenterManager::GetInstance()->FindCenter(LNotificationCenterManager::GetDefaultCenterName());
    if (center == nullptr || Failed(center->PostNotification(id, payload)))
        VX_ASSERT_FALSE();
}

void LRootModuleEngine::PostConnectionState(DeviceConnectionState state)
{
    Post(kDeviceConnectionStateChangeId, MakeRCPtr<LHolder<DeviceConnectionState>>(state));
}

void LRootModuleEngine::PostRemoteDeviceCount(std::uint32_t count)
{
    Post(kRemoteDeviceListChangeId, MakeRCPtr<LHolder<unsigned int>>(count));
}
} // namespace Vx
