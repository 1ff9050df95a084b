#pragma once

#include "DeviceControl/GeneratedCode/Engine/Inc/ParamCache.h"
#include "DeviceControl/GeneratedCode/Engine/Inc/RootModuleInterface.h"
#include "DeviceControl/GeneratedCode/Engine/Src/Device.h"
#include "Panel/Engine/TestAppCommon/DeviceCommunicationInterface.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>
#include <memory>

namespace Vx
{
// The engine's root of the parameter tree.  It keeps every value of its 106
// parameters in the cache (indexed by id minus the first id), takes the
// batches the device sends as the transport's receiver, and reports every
// change through the engine's callback.  While no device is connected it
// works on the cache alone (cached only).
//
// Locks: its own recursive lock is taken by ApplyValues, SetParamValue and
// GetParamValue and held while a change is reported; it is taken before the
// transport's connection lock, and after the transport's delivery lock.  It
// never takes the engine's lock.
class LRootModule : public IRootModule, public DeviceCommunicationReceiver
{
public:
    static constexpr std::uint32_t kParamCount = IRootModule::kSpan;

    // Called with the callback data and the changed values (one at a time
    // here), under the root's lock, on whichever thread made the change.
    using ChangeCallback = void (*)(void* data, const Array<ParamValue>& changes);

    // A root with its device module; not yet attached.
    static RCPtr<LRootModule> Create(bool cachedOnly);

    // Disables the receiver (waiting for a delivery in progress) and
    // disconnects the device.
    ~LRootModule() override;

    std::int32_t SetValueFromChild(const ParamDescriptor& descriptor, const Variant& value) override;
    Variant GetValueFromChild(const ParamDescriptor& descriptor) override;

    // 0, also when nothing changed or an empty value was refused (with a
    // trace line); -1 (after an assertion) for an id outside the root's run.
    std::int32_t SetParamValueCached(const ParamDescriptor& descriptor, const Variant& value) override;
    // An empty value (after an assertion) for an id outside the root's run.
    Variant GetParamValueCached(const ParamDescriptor& descriptor) override;

    // Reports one change; the caller holds the root's lock.
    void OnValueChangedInternal(const ParamDescriptor& descriptor, const Variant& value) override;
    RCPtr<LDeviceCommunicationInterface> GetDeviceCommunicationInterface() override;
    RCPtr<LParameterizedModule> GetModuleForModuleID(std::int32_t) override { return nullptr; }
    using IRootModule::GetModuleForModuleID;

    // Id -4 goes to the transport's connection report (0 when it answered
    // true, else 1); every other id as the root interface says.
    std::int32_t SetParamValue(const ParamDescriptor& descriptor, const Variant& value) override;
    // Negative ids are the transport's.
    std::int32_t GetParamValue(const ParamDescriptor& descriptor, Variant& value) override;
    RCPtr<IDevice> GetDevice() override;
    virtual RCPtr<LParamCache> GetParamCache();

    // Each entry [value, id, key] on its own, in order: tree ids through
    // their module into the cache, every other id reported uncached.
    void ApplyValues(const ParamValues& values) override;
    std::int32_t ReceiveOther(void* argument) override;

    virtual void InvokeEngineCallback(const Array<ParamValue>& changes);
    // A new device module; an earlier one is released.
    virtual void CreateChildren();

    // Stores the four, attaches the tree, fills the cache with the defaults
    // and becomes the transport's receiver.  0.
    std::int32_t AttachToEngine(ChangeCallback callback, void* callbackData, const RCPtr<LParamCache>& cache,
                                const RCPtr<LDeviceCommunicationInterface>& transport, std::int32_t firstParamID);
    // Reconnects the transport to the device; cached only while that fails.
    // Then asks for every value of the tree and the device parameter.
    std::int32_t ConnectDevice(const Variant& device);
    void FillCache();
    void StopReceiving();

protected:
    explicit LRootModule(bool cachedOnly);

private:
    struct Impl;

    RCPtr<LDevice> mDevice;
    ChangeCallback mCallback = nullptr;
    void* mCallbackData = nullptr;
    RCPtr<LDeviceCommunicationInterface> mTransport;
    RCPtr<LParamCache> mCache;
    std::unique_ptr<Impl> mImpl;
};
} // namespace Vx
