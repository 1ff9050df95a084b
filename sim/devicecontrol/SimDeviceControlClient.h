#pragma once

// The simulated device-control client library: the fourteen entry points of
// the real one, scripted by a test through DeviceControlScript.  The library
// carries no framework code of its own: its Variant and list operations bind,
// when it is loaded, to those of the executable that loads it (linked with
// exported symbols), so one allocator serves both sides (docs/device-control.md).

#include "DeviceControlClient/Inc/DeviceControlClient.h"
#include "DeviceControlClient/Inc/ParamContainers.h"

#include <cstdint>

namespace Sim
{

/** The last call of one entry point, as the library received it. */
struct DeviceControlCall
{
    int count = 0;

    /** Copies of the device and of the list or value passed (ranges,
        descriptors, values, the value written). */
    Vx::Variant device;
    Vx::Variant argument;

    /** The descriptor passed, when there was one. */
    int32_t paramID = 0;
    Vx::Variant key;

    /** Arguments passed as they are: FindDevices' three, GetParamRanges' and
        GetParamValues' two, FindRemoteDevices' filter, ConnectDevice's user
        data. */
    const void* pointers[3] = {};
    uint32_t filterCount = 0;
    uint8_t explicitListing = 0;
    PDCI_DataCallback callback = nullptr;
};

/** What the simulated library answers, set by a test. */
class DeviceControlScript
{
public:
    /** No devices, every entry point answering 0, no call counted, no batch
        pending, nothing connected. */
    virtual void reset() = 0;

    /** The result an entry point answers (0 at first). */
    virtual void setResult (Vx::DeviceControlEntry entry, int32_t result) = 0;

    /** What a successful FindRemoteDevices puts in its out value: an array
        of identifiers, or anything else to test a malformed listing. */
    virtual void setDeviceList (const Vx::Variant& list) = 0;

    /** What a successful GetParamValue puts in its out value. */
    virtual void setParamValue (const Vx::Variant& value) = 0;

    /** What a successful GetDeviceInfo writes. */
    virtual void setDeviceInfo (const Vx::DeviceInfo& info) = 0;

    /** Queues a copy of a batch (null: a null batch pointer) for the data
        callback.  The library's own thread hands each to the callback of the
        connected device, in order, and frees it as soon as the call returns. */
    virtual void sendBatch (const Vx::ParamValues* batch) = 0;

    /** Waits until every batch queued has been handed over and its call has
        returned; false after timeoutMs. */
    virtual bool waitUntilSent (int timeoutMs) = 0;

    virtual DeviceControlCall getLastCall (Vx::DeviceControlEntry entry) const = 0;
    int getCallCount (Vx::DeviceControlEntry entry) const { return getLastCall (entry).count; }

protected:
    ~DeviceControlScript() = default;
};

} // namespace Sim

/** Exported by the simulated library beside the fourteen entry points. */
extern "C" Sim::DeviceControlScript* SimDeviceControl_GetScript();
typedef Sim::DeviceControlScript* (*SimDeviceControl_GetScriptFunc)();
