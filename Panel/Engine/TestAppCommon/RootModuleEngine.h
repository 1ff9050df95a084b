#pragma once

#include "DeviceControl/GeneratedCode/Engine/Inc/ParamCache.h"
#include "DeviceControl/GeneratedCode/Engine/Inc/RootModule.h"
#include "Panel/Engine/TestAppCommon/DeviceCommunicationInterface.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationHandler.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/VxArray.h"
#include "VxFramework/Utilities/Threading/Threader.h"

#include <atomic>
#include <cstdint>
#include <optional>

namespace Vx
{
// The ids of the model's notifications, all on the "application" centre.
inline constexpr const char* kParamModuleStateChangeId = "NID_PARAM_MODULE_STATE_CHANGE";
inline constexpr const char* kDeviceConnectionStateChangeId = "NID_DEVICE_CONNECTION_STATE_CHANGE";
inline constexpr const char* kRemoteDeviceListChangeId = "NID_REMOTE_DEVICE_LIST_CHANGE";
inline constexpr const char* kParamModuleChangeRequestId = "NID_PARAM_MODULE_CHANGE_REQ";

// The run-time owner of the device-control model: the transport, the cache
// and the root module.  It posts every value change, the connection state and
// the remote device count on the "application" centre, takes the views'
// writes, and keeps the remote device list on a worker that runs only while
// the list is enabled or a connection is pending (never without the library).
//
// Locks: its recursive lock guards the state, the worker's flags, the device
// identifiers and the remote list.  It is taken before the transport's
// connection lock and never while the root module's lock is held; the root
// module's change reports reach it without taking it.
class LRootModuleEngine : public LNotificationClient, public LThreadWorker
{
public:
    enum DeviceConnectionState : std::int32_t
    {
        kNotConnected = 0,
        kConnectionRequested = 1,
        kAutoConnectPending = 2,
        kConnected = 3,
    };

    // One pass of the worker.
    static constexpr std::uint32_t kWorkerPeriodMs = 1500;
    // Change waits between two full listings.
    static constexpr std::int32_t kChangeWaitsPerListing = 7;
    // Bound of the wait for the worker's end, in 1 ms polls.
    static constexpr std::int32_t kStopPolls = 10000;

    LRootModuleEngine();
    // A worker still running is reported; the root stops receiving first.
    ~LRootModuleEngine() override;

    // The running application's engine; null (after an assertion) without
    // one.
    static RCPtr<LRootModuleEngine> GetInstance();

    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;
    using LNotificationClient::Unregister;
    // Stops the worker (bounded), then leaves every distributor.
    VxRESULT RemoveContainedReferences() override;
    std::int32_t ThreadMain(RCPtr<LRefCountedObject>& parameter) override;
    StringT<char, unsigned short> ToString() const override;

    // Once, on the main thread.  Throws the failed-result exception when the
    // change requests cannot be subscribed.
    VxRESULT Start(std::int32_t firstParamID);
    // Only while connected: the root module's result; 0x80000008 otherwise.
    VxRESULT SetParamValue(const ParamDescriptor& descriptor, const Variant& value);
    VxRESULT GetParamValue(const ParamDescriptor& descriptor, Variant& value);
    std::int32_t GetFirstParamID() const;
    // 0, 1, or the failure of the first listing, which every later enable
    // returns again.
    VxRESULT SetRemoteDeviceListEnabled(bool enabled);
    VxRESULT GetRemoteDevices(Array<Variant>& devices);

    VxRESULT GetDeviceInfo(const Variant& device, DeviceInfo& info);
    DeviceConnectionState GetConnectionState();
    void GetCurrentDevice(Variant& device);
    void SetAutoConnect(bool autoConnect);
    VxRESULT GetParamValues(const ParamRange& range, Array<ParamValue>& values, std::int32_t startIndex);
    VxRESULT RequestParamValue(const ParamDescriptor& descriptor);

    // The root module's change callback: one pair per value for one or two
    // values, else one list.  Any thread.
    static void PostParamValueChanges(void* engine, const Array<ParamValue>& changes);
    void PostParamValueChanges(const Array<ParamValue>& changes);
    void PostAllValues(const ParamDescriptors& descriptors);

    bool IsWorkerRunning() { return mThreader.IsRunning(); }
    bool HasLibrary() const noexcept { return !mNoLibrary; }
    const RCPtr<LRootModule>& GetRootModule() const noexcept { return mRootModule; }

protected:
    // The transport to use; tests give their own.
    virtual RCPtr<LDeviceCommunicationInterface> CreateTransport();

    NotificationHandlerResultCode OnParamModuleChangeRequest(const RCPtr<LNotificationDistributor>& from,
                                                             const ConstRCPtr<LNotification>& notification);
    bool IsDeviceAvailable(const Variant& device);
    bool HasCurrentDevice();
    void UpdateConnectionState();
    VxRESULT Connect(const Variant& device, bool keepTrying);
    VxRESULT Disconnect();
    VxRESULT StartWorker();
    void StopWorkerIfIdle();
    bool WaitForWorkerStop();
    std::int32_t Run();

private:
    void Post(const char* id, const RCPtr<LRefCountedObject>& payload);
    void PostConnectionState(DeviceConnectionState state);
    void PostRemoteDeviceCount(std::uint32_t count);
    // Sleeps in short steps, returning early when a stop is requested.
    void SleepUnlessStopped(std::uint32_t milliseconds);

    // In the order of their release, last first.
    RCPtr<LNotificationHandler<LRootModuleEngine>> mHandler;
    std::atomic<bool> mStarted{false};
    std::atomic<bool> mNoLibrary{false};
    std::atomic<bool> mStopRequested{true};
    bool mConnectRequested = false;
    std::atomic<bool> mAutoConnect{false};
    std::atomic<bool> mRemoteListEnabled{false};
    bool mRemoteListProbed = false;
    std::atomic<bool> mConnecting{false};
    std::optional<std::int32_t> mFirstListingResult;
    std::atomic<DeviceConnectionState> mState{kNotConnected};
    Array<Variant> mRemoteDevices;
    Variant mCurrentDevice;
    RCPtr<LDeviceCommunicationInterface> mTransport;
    RCPtr<LParamCache> mCache;
    RCPtr<LRootModule> mRootModule;
    RetriggerableThreader mThreader;
    Variant mAutoConnectDevice;
    Mutex mLock;
    Array<ParamDescriptor> mPendingRequests;
    std::int32_t mRequestInterval = 67;
    std::uint32_t mLastRequestTime = 0;
};

// Where the engine finds the running application's engine: the application
// object installs a provider, so that this layer never reaches up to it;
// tests install their own.  Null uninstalls.
using RootModuleEngineProvider = RCPtr<LRootModuleEngine> (*)();
void SetRootModuleEngineProvider(RootModuleEngineProvider provider) noexcept;
} // namespace Vx
