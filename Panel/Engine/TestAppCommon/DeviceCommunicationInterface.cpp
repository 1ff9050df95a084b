#include "Panel/Engine/TestAppCommon/DeviceCommunicationInterface.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/Utilities/DebugTracer.h"
#include "VxFramework/Utilities/Storage/RCPtrQueue.h"
#include "VxFramework/Utilities/Threading/EventData.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

namespace Vx
{
namespace
{
// The delivery thread's priority value.
constexpr std::int32_t kDeliveryPriority = 5;
} // namespace

struct LDeviceCommunicationInterface::Impl
{
    mutable Mutex connectionLock;
    RCPtr<LEventGatedThreader> threader;
    // Auto-resetting: set once per received batch.
    RCPtr<LEvent> wakeEvent;
    Mutex queueLock;
    RCPtrQueue<LParamValuesWrapper> queue{&queueLock};
    Mutex deliveryLock;
    RCPtr<LDeviceCommunicationThreadWorker> worker;
    // Set once by Initialize, read by every thread that calls the library.
    std::atomic<DeviceControlClientInterface*> client{nullptr};
    // Guarded by the connection lock.
    Variant device;
    std::atomic<bool> receiverEnabled{false};
    std::atomic<DeviceCommunicationReceiver*> receiver{nullptr};
};

// --- LDeviceCommunicationThreadWorker ------------------------------------

std::int32_t LDeviceCommunicationThreadWorker::ThreadMain(RCPtr<LRefCountedObject>& parameter)
{
    auto* transport = dynamic_cast<LDeviceCommunicationInterface*>(parameter.GetMutable());
    if (transport == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    transport->DeliverQueuedBatches();
    return VXR_OK;
}

StringT<char, unsigned short> LDeviceCommunicationThreadWorker::ToString() const
{
    return "LDeviceCommunicationThreadWorker";
}

// --- LDeviceCommunicationInterface ---------------------------------------

LDeviceCommunicationInterface::LDeviceCommunicationInterface() : mImpl(new Impl)
{
    mImpl->worker = new LDeviceCommunicationThreadWorker;
    mImpl->wakeEvent = new LEvent(true);
    {
        // The thread holds this transport as its parameter: a reference the
        // transport holds on itself, counted as contained only once the
        // temporary one is gone (else its release would count as the last).
        const RCPtr<LRefCountedObject> self(this);
        mImpl->threader =
            new LEventGatedThreader(mImpl->wakeEvent, RCPtr<LThreadWorker>(mImpl->worker), self, kDeliveryPriority);
    }
    AdjustContainedRefCount(1);
}

LDeviceCommunicationInterface::~LDeviceCommunicationInterface()
{
    SetReceiverEnabled(false);
    if (DeviceControlClientInterface* client = mImpl->client.exchange(nullptr))
    {
        client->DisconnectDevice(GetStoredDevice());
        delete client;
    }
    SetReceiver(nullptr);
    delete mImpl;
}

VxRESULT LDeviceCommunicationInterface::RemoveContainedReferences()
{
    RCPtr<LEventGatedThreader> threader = std::move(mImpl->threader);
    if (threader != nullptr)
    {
        // Lowered first, so that the thread's release of its parameter is
        // not taken for the last outside one.
        AdjustContainedRefCount(-1);
        threader = nullptr;
    }
    return LRefCountedObject::RemoveContainedReferences();
}

std::int32_t LDeviceCommunicationInterface::Initialize()
{
    if (mImpl->client.load() != nullptr)
        return 1;
    auto* client = new DeviceControlClientInterface();
    DeviceControlClientInterface* expected = nullptr;
    if (!mImpl->client.compare_exchange_strong(expected, client))
    {
        delete client;
        return 1;
    }
    return 0;
}

bool LDeviceCommunicationInterface::IsConnected()
{
    return true;
}

bool LDeviceCommunicationInterface::NotifyConnectionState(std::int64_t value)
{
    DeviceCommunicationReceiver* receiver = mImpl->receiver.load();
    if (receiver == nullptr)
        return false;
    const ScopedLock lock(mImpl->connectionLock);
    const bool connected = IsConnected();
    const Variant state[2] = {Variant(value), Variant(connected)};
    Variant stateValue;
    stateValue.SetArray(state, 2);
    const ParamValue entry(kConnectionValueParamID, Variant(), stateValue);
    ParamValues values;
    values.Assign(&entry, 1);
    receiver->ApplyValues(values);
    return connected;
}

void LDeviceCommunicationInterface::Synchronize()
{
    const ScopedLock lock(mImpl->connectionLock);
}

void LDeviceCommunicationInterface::StartCommunication() {}

std::int32_t LDeviceCommunicationInterface::FindDevices(const Array<GUID>&, Array<Variant>& devices)
{
    const VxRESULT result = devices.SetCount(1);
    return Failed(result) ? result : VXR_OK;
}

std::int32_t LDeviceCommunicationInterface::ReadDeviceList(const Variant& listing, Array<Variant>& devices)
{
    // A library with no device to report may leave the list untouched.
    if (listing.GetTag() == Variant::T_NONE)
        return devices.RemoveAll();
    if (listing.GetTag() != Variant::T_ARRAY)
    {
        DebugTracer::Get().Trace(1, "LDeviceCommunicationInterface: device list refused: tag %u is no array",
                                 listing.GetTag());
        return VXR_E_FAIL;
    }
    // Read whole before the caller's list changes.
    const std::uint32_t count = listing.GetArrayCount();
    Array<Variant> received;
    if (Failed(received.SetCount(count)))
        return VXR_E_FAIL;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (listing.GetArrayElement(i, *received.GetAt(i)) != 0)
            return VXR_E_FAIL;
    }
    devices = received;
    return VXR_OK;
}

std::int32_t LDeviceCommunicationInterface::WaitForDeviceListChange(const Array<GUID>& filter, Array<Variant>& devices,
                                                                    std::uint32_t timeoutMs)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    if (client == nullptr)
        return -1;
    const Array<Variant> old(devices);
    // Wider than the timeout, so that adding a poll period never wraps.
    std::uint64_t elapsed = 0;
    for (;;)
    {
        Variant listing;
        if (client->FindRemoteDevices(filter.GetDataConst(), filter.GetCount(), listing, false) < 0)
            return VXR_E_FAIL;
        if (Failed(ReadDeviceList(listing, devices)))
            return VXR_E_FAIL;
        if (devices.GetCount() != old.GetCount())
            return 0;
        for (std::uint32_t i = 0; i < devices.GetCount(); ++i)
        {
            if (*devices.GetAtConst(i) != *old.GetAtConst(i))
                return 0;
        }
        if (elapsed >= timeoutMs)
            return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(kDeviceListPollMilliseconds));
        elapsed += kDeviceListPollMilliseconds;
    }
}

std::int32_t LDeviceCommunicationInterface::FindRemoteDevices(const Array<GUID>& filter, Array<Variant>& devices)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    if (client == nullptr)
        return -1;
    Variant listing;
    const std::int32_t result = client->FindRemoteDevices(filter.GetDataConst(), filter.GetCount(), listing, true);
    if (result >= 0 && Failed(ReadDeviceList(listing, devices)))
        return VXR_E_FAIL;
    return result;
}

std::int32_t LDeviceCommunicationInterface::ConnectDevice(const Variant& device)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    if (client == nullptr)
        return -1;
    {
        const ScopedLock lock(mImpl->connectionLock);
        mImpl->device = device;
    }
    return client->ConnectDevice(device, &LDeviceCommunicationInterface::ReceiveBatch, this);
}

std::int32_t LDeviceCommunicationInterface::RequestParamRanges(const ParamRanges& ranges)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    if (client == nullptr)
    {
        VX_ASSERT_FALSE();
        return -1;
    }
    return client->RequestParamRanges(GetStoredDevice(), ranges);
}

std::int32_t LDeviceCommunicationInterface::RequestParamValues(const ParamDescriptors& descriptors)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    return client != nullptr ? client->RequestParamValues(GetStoredDevice(), descriptors) : -1;
}

std::int32_t LDeviceCommunicationInterface::RequestParamValue(const ParamDescriptor& descriptor)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    return client != nullptr ? client->RequestParamValue(GetStoredDevice(), descriptor) : -1;
}

std::int32_t LDeviceCommunicationInterface::GetParamRanges(void* first, void* second)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    return client != nullptr ? client->GetParamRanges(GetStoredDevice(), first, second) : -1;
}

std::int32_t LDeviceCommunicationInterface::GetParamValues(void* first, void* second)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    return client != nullptr ? client->GetParamValues(GetStoredDevice(), first, second) : -1;
}

std::int32_t LDeviceCommunicationInterface::GetParamValue(const ParamDescriptor& descriptor, Variant& value)
{
    if (DeviceControlClientInterface* client = mImpl->client.load())
        return client->GetParamValue(GetStoredDevice(), descriptor, value);

    // Without a binding the transport answers the device-level names itself.
    switch (descriptor.mParamID)
    {
    case kConnectedParamID:
        value = Variant(IsConnected());
        return VXR_OK;
    case kDeviceParamID:
        return GetDeviceParam(value);
    case kManufacturerParamID:
    case kApplicationNameParamID:
    {
        std::int32_t status = 0;
        GetLocalStatus(status);
        value.SetString(descriptor.mParamID == kManufacturerParamID ? "KAVRIS DJ" : "RN31TestApp");
        return VXR_OK;
    }
    default:
        value.Clear();
        return VXR_E_FAIL;
    }
}

std::int32_t LDeviceCommunicationInterface::SetParamValue(const ParamDescriptor& descriptor, const Variant& value)
{
    if (mImpl->receiver.load() == nullptr)
        return VXR_E_FAIL;
    if (descriptor.mParamID == kConnectionValueParamID)
        return NotifyConnectionState(value.GetInt64()) ? 0 : 1;
    // Never written, whoever asks.
    if (descriptor.mParamID >= -242 && descriptor.mParamID <= -240)
        return VXR_E_FAIL;
    if (DeviceControlClientInterface* client = mImpl->client.load())
        return client->SetParamValue(GetStoredDevice(), descriptor, value);
    if (descriptor.mParamID == kDeviceParamID)
        return SetDeviceParam(value);
    return VXR_E_FAIL;
}

std::int32_t LDeviceCommunicationInterface::SetParamValues(const ParamValues& values)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    return client != nullptr ? client->SetParamValues(GetStoredDevice(), values) : -1;
}

bool LDeviceCommunicationInterface::IsDeviceConnected()
{
    return IsConnected();
}

std::int32_t LDeviceCommunicationInterface::GetConnectedDevice(Variant& device)
{
    if (mImpl->client.load() == nullptr)
        return -1;
    device = GetStoredDevice();
    return IsDeviceConnected() ? 0 : -3;
}

std::int32_t LDeviceCommunicationInterface::DisconnectDevice()
{
    DeviceControlClientInterface* client = mImpl->client.load();
    return client != nullptr ? client->DisconnectDevice(GetStoredDevice()) : -1;
}

std::int32_t LDeviceCommunicationInterface::GetDeviceInfo(const Variant& device, DeviceInfo& info)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    return client != nullptr ? client->GetDeviceInfo(device, info) : -1;
}

std::int32_t LDeviceCommunicationInterface::GetDeviceParam(Variant& value)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    return client != nullptr ? client->GetParamValue(GetStoredDevice(), ParamDescriptor(kDeviceParamID), value) : -1;
}

std::int32_t LDeviceCommunicationInterface::SetDeviceParam(const Variant& value)
{
    DeviceControlClientInterface* client = mImpl->client.load();
    return client != nullptr ? client->SetParamValue(GetStoredDevice(), ParamDescriptor(kDeviceParamID), value) : -1;
}

std::int32_t LDeviceCommunicationInterface::GetLocalStatus(std::int32_t& status)
{
    status = 0;
    return VXR_OK;
}

void LDeviceCommunicationInterface::SetReceiver(DeviceCommunicationReceiver* receiver)
{
    mImpl->receiver.store(receiver);
}

DeviceCommunicationReceiver* LDeviceCommunicationInterface::GetReceiver() const
{
    return mImpl->receiver.load();
}

bool LDeviceCommunicationInterface::IsReceiverEnabled() const
{
    return mImpl->receiverEnabled.load();
}

void LDeviceCommunicationInterface::SetReceiverEnabled(bool enabled)
{
    mImpl->receiverEnabled.store(enabled);
    if (!enabled)
    {
        // Waits out a delivery in progress.
        const ScopedLock lock(mImpl->deliveryLock);
    }
}

Variant LDeviceCommunicationInterface::GetStoredDevice() const
{
    const ScopedLock lock(mImpl->connectionLock);
    return mImpl->device;
}

void LDeviceCommunicationInterface::ReceiveBatch(void* userData, void*, const ParamValues* batch)
{
    // Runs on the library's thread, inside the library's call: nothing may
    // be thrown back into it, and the batch is copied, never kept.
    auto* self = static_cast<LDeviceCommunicationInterface*>(userData);
    if (self == nullptr || batch == nullptr)
    {
        DebugTracer::Get().Trace(1, "LDeviceCommunicationInterface: empty batch from the client library dropped");
        return;
    }
    try
    {
        const RCPtr<LParamValuesWrapper> copy(new LParamValuesWrapper(*batch));
        if (Failed(self->mImpl->queue.Push(copy)))
        {
            DebugTracer::Get().Trace(1, "LDeviceCommunicationInterface: received batch dropped: queue full");
            return;
        }
    }
    catch (const std::exception& error)
    {
        DebugTracer::Get().Trace(1, "LDeviceCommunicationInterface: received batch dropped: %s", error.what());
        return;
    }
    self->mImpl->wakeEvent->Set();
}

void LDeviceCommunicationInterface::DeliverQueuedBatches()
{
    const ScopedLock lock(mImpl->deliveryLock);
    while (mImpl->queue.GetCount() > 0)
    {
        const RCPtr<LParamValuesWrapper> batch = mImpl->queue.Pop();
        DeviceCommunicationReceiver* receiver = mImpl->receiver.load();
        if (!mImpl->receiverEnabled.load() || receiver == nullptr)
            continue;
        // Values from the device may be anything; one the model refuses must
        // not end the delivery thread, and the batches behind it still count.
        try
        {
            receiver->ApplyValues(*batch);
        }
        catch (const std::exception& error)
        {
            DebugTracer::Get().Trace(1, "LDeviceCommunicationInterface: received batch not applied: %s", error.what());
        }
    }
}
} // namespace Vx
