#pragma once

#include "DeviceControlClient/Inc/DeviceControlClient.h"
#include "DeviceControlClient/Inc/ParamContainers.h"

#include <cstdint>
#include <optional>
#include <string>

namespace Vx
{
// The device-control client library, loaded at run time, with one wrapper per
// entry point.  A missing library or entry point is no error: its wrappers
// answer -1 (IsDeviceConnected false) and the application runs on its cache.
// Results of the library are passed back unchanged.  No lock: the library
// takes calls from several threads at once.
class DeviceControlClientInterface
{
public:
    // With no path, the library file beside the executable
    // (GetDefaultDeviceControlClientPath); a path is used as it is.
    explicit DeviceControlClientInterface(const char* libraryPath = nullptr);
    // Releases everything the library holds, then unloads it.
    virtual ~DeviceControlClientInterface();
    DeviceControlClientInterface(const DeviceControlClientInterface&) = delete;
    DeviceControlClientInterface& operator=(const DeviceControlClientInterface&) = delete;

    virtual std::int32_t FindDevices(void* first, void* second, void* third);
    virtual std::int32_t FindRemoteDevices(const GUID* filter, std::uint32_t count, Variant& devices,
                                           bool explicitListing);
    virtual std::int32_t ConnectDevice(const Variant& device, PDCI_DataCallback callback, void* userData);
    virtual std::int32_t RequestParamRanges(const Variant& device, const ParamRanges& ranges);
    virtual std::int32_t RequestParamValues(const Variant& device, const ParamDescriptors& descriptors);
    // Through PDCI_RequestParamValues with a list of the one descriptor.
    virtual std::int32_t RequestParamValue(const Variant& device, const ParamDescriptor& descriptor);
    virtual std::int32_t GetParamRanges(const Variant& device, void* first, void* second);
    virtual std::int32_t GetParamValues(const Variant& device, void* first, void* second);
    virtual std::int32_t GetParamValue(const Variant& device, const ParamDescriptor& descriptor, Variant& value);
    virtual std::int32_t SetParamValue(const Variant& device, const ParamDescriptor& descriptor, const Variant& value);
    virtual std::int32_t SetParamValues(const Variant& device, const ParamValues& values);
    // True exactly when the entry point answers 0.
    virtual bool IsDeviceConnected(const Variant& device);
    virtual std::int32_t DisconnectDevice(const Variant& device);
    virtual std::int32_t GetDeviceInfo(const Variant& device, DeviceInfo& info);

    bool IsLoaded() const noexcept { return mLibrary != nullptr; }
    bool HasEntry(DeviceControlEntry entry) const noexcept;

private:
    template <class F>
    F Entry(DeviceControlEntry entry) const noexcept;

    void* mLibrary = nullptr;
    void* mEntries[kDeviceControlEntryCount] = {};
};

// The library the binding loads when given no path: its file name in the
// directory of the running executable, or in the directory a
// ScopedDeviceControlClientDirectory names.  Empty when the executable's
// directory cannot be read (the library then counts as missing).
std::string GetDefaultDeviceControlClientPath();

// For its lifetime, the library given no path is looked up in another
// directory (the simulator's, a test's); the directory in force before comes
// back afterwards.
class ScopedDeviceControlClientDirectory
{
public:
    explicit ScopedDeviceControlClientDirectory(const std::string& directory);
    ~ScopedDeviceControlClientDirectory();
    ScopedDeviceControlClientDirectory(const ScopedDeviceControlClientDirectory&) = delete;
    ScopedDeviceControlClientDirectory& operator=(const ScopedDeviceControlClientDirectory&) = delete;

private:
    std::optional<std::string> mPrevious;
};
} // namespace Vx
