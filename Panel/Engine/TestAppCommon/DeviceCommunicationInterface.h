#pragma once

#include "DeviceControl/GeneratedCode/Engine/Inc/DeviceControlClientInterface.h"
#include "DeviceControlClient/Inc/ParamContainers.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/VxArray.h"
#include "VxFramework/Utilities/Threading/Threader.h"

#include <cstdint>

namespace Vx
{
// Takes the values the device sends.  Not reference counted: its owner
// detaches it (SetReceiverEnabled(false), SetReceiver(nullptr)) before it goes.
class DeviceCommunicationReceiver
{
public:
    virtual void ApplyValues(const ParamValues& values) = 0;
    // Never called by the transport.
    virtual std::int32_t ReceiveOther(void* argument) = 0;

protected:
    ~DeviceCommunicationReceiver() = default;
};

// Runs the delivery of received batches on the transport's own thread; its
// parameter is the transport.
class LDeviceCommunicationThreadWorker : public LThreadWorker
{
public:
    std::int32_t ThreadMain(RCPtr<LRefCountedObject>& parameter) override;
    StringT<char, unsigned short> ToString() const override;
};

// The transport between the parameter model and the device: owns the client
// library binding, remembers the connected device, forwards requests, answers
// a few device-level pseudo-parameters itself while it has no binding, and
// hands the batches the library sends to a receiver on a thread of its own,
// in the order they came.
//
// Locks: the connection lock guards the stored device and is held while the
// connection state goes to the receiver; the delivery lock is held while
// batches are delivered.  Library calls are made outside both.
class LDeviceCommunicationInterface : public virtual LRefCountedObject
{
public:
    // Pseudo-parameters of the device level.
    static constexpr std::int32_t kConnectedParamID = -2;
    static constexpr std::int32_t kConnectionValueParamID = -4;
    static constexpr std::int32_t kDeviceParamID = -8;
    static constexpr std::int32_t kManufacturerParamID = -9;
    static constexpr std::int32_t kApplicationNameParamID = -10;

    // Between two listings while waiting for the device list to change.
    static constexpr std::uint32_t kDeviceListPollMilliseconds = 250;

    // Starts the delivery thread, which waits for the first batch.
    LDeviceCommunicationInterface();

    // Creates the binding (the library beside the executable): 0, also when
    // the library could not be loaded; 1 when there is one already.
    virtual std::int32_t Initialize();
    // Always true.
    virtual bool IsConnected();
    // Hands the receiver one entry for id -4, [value, IsConnected()]; false
    // without a receiver, else what IsConnected answered.
    virtual bool NotifyConnectionState(std::int64_t value);
    virtual void Synchronize();
    virtual void StartCommunication();
    // One entry (an empty identifier when the list was empty); the library is
    // not asked.
    virtual std::int32_t FindDevices(const Array<GUID>& filter, Array<Variant>& devices);
    // Lists the devices every kDeviceListPollMilliseconds until the list
    // differs from the one given (0) or timeoutMs has passed (1).  The list
    // always ends holding the last listing; a failed listing gives 0x80000008.
    virtual std::int32_t WaitForDeviceListChange(const Array<GUID>& filter, Array<Variant>& devices,
                                                 std::uint32_t timeoutMs);
    virtual std::int32_t FindRemoteDevices(const Array<GUID>& filter, Array<Variant>& devices);
    // Remembers the device and connects; the library's batches then come in.
    virtual std::int32_t ConnectDevice(const Variant& device);
    virtual std::int32_t RequestParamRanges(const ParamRanges& ranges);
    virtual std::int32_t RequestParamValues(const ParamDescriptors& descriptors);
    virtual std::int32_t RequestParamValue(const ParamDescriptor& descriptor);
    virtual std::int32_t GetParamRanges(void* first, void* second);
    virtual std::int32_t GetParamValues(void* first, void* second);
    virtual std::int32_t GetParamValue(const ParamDescriptor& descriptor, Variant& value);
    virtual std::int32_t SetParamValue(const ParamDescriptor& descriptor, const Variant& value);
    virtual std::int32_t SetParamValues(const ParamValues& values);
    // Always true.
    virtual bool IsDeviceConnected();
    virtual std::int32_t GetConnectedDevice(Variant& device);
    // The device stays remembered.
    virtual std::int32_t DisconnectDevice();
    // Of the device given, not the remembered one.
    virtual std::int32_t GetDeviceInfo(const Variant& device, DeviceInfo& info);
    virtual std::int32_t GetDeviceParam(Variant& value);
    virtual std::int32_t SetDeviceParam(const Variant& value);
    virtual std::int32_t GetLocalStatus(std::int32_t& status);
    // Disconnects and releases the binding (unloading the library).
    ~LDeviceCommunicationInterface() override;
    // Stops the delivery thread, which holds a reference to the transport.
    VxRESULT RemoveContainedReferences() override;

    void SetReceiver(DeviceCommunicationReceiver* receiver);
    DeviceCommunicationReceiver* GetReceiver() const;
    bool IsReceiverEnabled() const;
    // Disabling returns only after a delivery in progress has finished;
    // batches dequeued while disabled are dropped.
    void SetReceiverEnabled(bool enabled);

private:
    friend class LDeviceCommunicationThreadWorker;
    struct Impl;

    // The function the library calls with each batch; user data is the transport.
    static void ReceiveBatch(void* userData, void* context, const ParamValues* batch);
    void DeliverQueuedBatches();
    Variant GetStoredDevice() const;
    static std::int32_t ReadDeviceList(const Variant& listing, Array<Variant>& devices);

    Impl* mImpl;
};
} // namespace Vx
