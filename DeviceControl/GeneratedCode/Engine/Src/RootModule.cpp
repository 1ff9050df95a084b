#include "DeviceControl/GeneratedCode/Engine/Inc/RootModule.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <exception>

namespace Vx
{
struct LRootModule::Impl
{
    Mutex lock;
    // One element, reused for every report.
    Array<ParamValue> changes;
};

RCPtr<LRootModule> LRootModule::Create(bool cachedOnly)
{
    RCPtr<LRootModule> root(new LRootModule(cachedOnly));
    root->CreateChildren();
    return root;
}

LRootModule::LRootModule(bool cachedOnly) : IRootModule(cachedOnly), mImpl(std::make_unique<Impl>())
{
    mImpl->changes.SetCount(1);
}

LRootModule::~LRootModule()
{
    if (mTransport != nullptr)
    {
        // No batch may reach this object once it is gone.
        mTransport->SetReceiverEnabled(false);
        if (mTransport->GetReceiver() == this)
            mTransport->SetReceiver(nullptr);
        mTransport->DisconnectDevice();
    }
}

void LRootModule::CreateChildren()
{
    mDevice = nullptr;
    mDevice = LDevice::Create();
}

std::int32_t LRootModule::AttachToEngine(ChangeCallback callback, void* callbackData, const RCPtr<LParamCache>& cache,
                                         const RCPtr<LDeviceCommunicationInterface>& transport,
                                         std::int32_t firstParamID)
{
    mCallback = callback;
    mCallbackData = callbackData;
    mCache = cache;
    mTransport = transport;
    Attach(nullptr, firstParamID, 0);
    FillCache();
    if (mCache != nullptr)
        mCache->EnableChangeNotifications(true);
    if (mTransport != nullptr)
    {
        mTransport->SetReceiver(this);
        mTransport->SetReceiverEnabled(true);
        mTransport->StartCommunication();
    }
    return VXR_OK;
}

void LRootModule::FillCache()
{
    if (mCache == nullptr)
        return;
    const std::int32_t first = GetFirstParamID();
    for (std::uint32_t index = 0; index < kParamCount; ++index)
    {
        const auto paramID = static_cast<std::int32_t>(static_cast<std::uint32_t>(first) + index);
        const RCPtr<LParameterizedModule> module = GetModule(paramID);
        if (module != nullptr)
            mCache->Store(ParamDescriptor(static_cast<std::int32_t>(index)), module->GetDefaultValue(paramID), false);
    }
}

std::int32_t LRootModule::ConnectDevice(const Variant& device)
{
    if (mTransport == nullptr)
    {
        SetCachedOnly(true);
        return VXR_E_FAIL;
    }
    mTransport->DisconnectDevice();
    const std::int32_t connected = mTransport->ConnectDevice(device);
    if (connected < 0)
    {
        SetCachedOnly(true);
        return connected;
    }
    SetCachedOnly(false);
    ParamRanges ranges;
    const ParamRange all{GetFirstParamID(), static_cast<std::int32_t>(kParamCount)};
    ranges.Assign(&all, 1);
    mTransport->RequestParamRanges(ranges);
    mTransport->RequestParamValue(ParamDescriptor(LDeviceCommunicationInterface::kDeviceParamID));
    return connected;
}

void LRootModule::StopReceiving()
{
    if (mTransport != nullptr)
        mTransport->SetReceiverEnabled(false);
}

std::int32_t LRootModule::SetValueFromChild(const ParamDescriptor& descriptor, const Variant& value)
{
    return SetParamValueCached(descriptor, value);
}

Variant LRootModule::GetValueFromChild(const ParamDescriptor& descriptor)
{
    return GetParamValueCached(descriptor);
}

std::int32_t LRootModule::SetParamValueCached(const ParamDescriptor& descriptor, const Variant& value)
{
    const std::uint32_t index = GetOffsetOf(descriptor.mParamID);
    if (index >= kParamCount || mCache == nullptr)
    {
        VX_ASSERT_FALSE();
        return -1;
    }
    const ParamDescriptor slot(static_cast<std::int32_t>(index), descriptor.mKey);
    Variant cached;
    mCache->Read(slot, cached);
    if (cached.GetTag() > Variant::T_ARRAY || value.GetTag() > Variant::T_ARRAY)
        VX_ASSERT_FALSE();
    else if (cached.GetTag() == value.GetTag() && cached == value)
        return VXR_OK;
    if (value.GetTag() == Variant::T_NONE)
    {
        DebugTracer::Get().Trace(1, "SetParamValueCached received value T_NONE for ParamID = %d", descriptor.mParamID);
        return VXR_OK;
    }
    if (mCache->Store(slot, value, true) < 0)
    {
        // A keyed write into a slot that holds no list: nothing changed.
        VX_ASSERT_FALSE();
        return -1;
    }
    OnValueChangedInternal(descriptor, value);
    return VXR_OK;
}

Variant LRootModule::GetParamValueCached(const ParamDescriptor& descriptor)
{
    Variant value;
    const std::uint32_t index = GetOffsetOf(descriptor.mParamID);
    if (mCache == nullptr ||
        mCache->Read(ParamDescriptor(static_cast<std::int32_t>(index), descriptor.mKey), value) < 0)
    {
        VX_ASSERT_FALSE();
        value.Clear();
    }
    return value;
}

void LRootModule::OnValueChangedInternal(const ParamDescriptor& descriptor, const Variant& value)
{
    ParamValue& change = *mImpl->changes.GetAt(0);
    change.mDescriptor = descriptor;
    change.mValue = value;
    InvokeEngineCallback(mImpl->changes);
}

void LRootModule::InvokeEngineCallback(const Array<ParamValue>& changes)
{
    if (mCallback != nullptr)
        mCallback(mCallbackData, changes);
}

RCPtr<LDeviceCommunicationInterface> LRootModule::GetDeviceCommunicationInterface()
{
    return mTransport;
}

RCPtr<IDevice> LRootModule::GetDevice()
{
    return mDevice;
}

RCPtr<LParamCache> LRootModule::GetParamCache()
{
    return mCache;
}

std::int32_t LRootModule::SetParamValue(const ParamDescriptor& descriptor, const Variant& value)
{
    const ScopedLock lock(mImpl->lock);
    if (descriptor.mParamID == LDeviceCommunicationInterface::kConnectionValueParamID)
    {
        if (mTransport == nullptr)
            return VXR_NOTHING_DONE;
        return mTransport->NotifyConnectionState(value.GetInt64()) ? VXR_OK : VXR_NOTHING_DONE;
    }
    return IRootModule::SetParamValue(descriptor, value);
}

std::int32_t LRootModule::GetParamValue(const ParamDescriptor& descriptor, Variant& value)
{
    const ScopedLock lock(mImpl->lock);
    if (descriptor.mParamID < 0)
    {
        if (mTransport == nullptr)
        {
            value.Clear();
            return VXR_E_FAIL;
        }
        return mTransport->GetParamValue(descriptor, value);
    }
    if (GetOffsetOf(descriptor.mParamID) >= kParamCount)
    {
        VX_ASSERT_FALSE();
        // Beyond the run no module answers: an empty value and a failure.
        value.Clear();
        return VXR_E_FAIL;
    }
    return IRootModule::GetParamValue(descriptor, value);
}

void LRootModule::ApplyValues(const ParamValues& values)
{
    const ScopedLock lock(mImpl->lock);
    const std::uint32_t count = values.GetEntryCount();
    for (std::uint32_t entry = 0; entry < count; ++entry)
    {
        ParamValue received;
        Variant item;
        if (values.GetArrayElement(entry, item) == 0 && item.GetTag() == Variant::T_ARRAY && item.GetArrayCount() == 3)
        {
            Variant id;
            item.GetArrayElement(0, received.mValue);
            item.GetArrayElement(1, id);
            item.GetArrayElement(2, received.mDescriptor.mKey);
            received.mDescriptor.mParamID = id.GetInt32();
        }
        const std::int32_t paramID = received.mDescriptor.mParamID;
        try
        {
            RCPtr<LParameterizedModule> module;
            if (paramID >= 0)
            {
                if (GetOffsetOf(paramID) < kParamCount)
                    module = GetModule(paramID);
                // An id no module holds is reported uncached, as device-level ones are.
                if (module == nullptr)
                    VX_ASSERT_FALSE();
            }
            else if (IsModuleLevelID(paramID))
            {
                module = GetModuleForModuleID(paramID);
            }
            else if (paramID == LDeviceCommunicationInterface::kConnectedParamID && received.mValue.GetBool())
            {
                OnDeviceConnected();
            }

            if (module != nullptr)
                module->SetValue(received.mDescriptor, received.mValue, kFromDevice);
            else
                OnValueChangedInternal(ParamDescriptor(paramID), received.mValue);
        }
        catch (const std::exception& error)
        {
            // A module that refused the entry; the batch goes on.
            DebugTracer::Get().Trace(1, "LRootModule::ApplyValues: entry %u refused: %s", entry, error.what());
            VX_ASSERT_FALSE();
        }
    }
}

std::int32_t LRootModule::ReceiveOther(void*)
{
    return VXR_E_FAIL;
}
} // namespace Vx
