#pragma once

// The C interface of the device-control client library, which is loaded at
// run time.  Values cross it as pointers to the framework's Variants and list
// types: a library reads and fills them through the Variant's own operations,
// so it shares the Variant's layout and serialisation with the application.
// Every pointer is the caller's and valid for the call only, except the
// callback and user data given to PDCI_ConnectDevice, which stay valid until
// PDCI_DisconnectDevice or PDCI_ReleaseAll.  Negative results are failures.

#include <cstdint>

namespace Vx
{
class Variant;
class ParamDescriptor;
class ParamDescriptors;
class ParamRanges;
class ParamValues;
struct GUID;

// What PDCI_GetDeviceInfo writes: 260 bytes, of which the application reads
// only whether the device is available.
struct DeviceInfo
{
    static constexpr std::uint32_t kSize = 260;
    static constexpr std::uint32_t kAvailableOffset = 252;

    bool IsAvailable() const noexcept { return mBytes[kAvailableOffset] != 0; }

    std::uint8_t mBytes[kSize] = {};
};
static_assert(sizeof(DeviceInfo) == DeviceInfo::kSize);
} // namespace Vx

extern "C"
{
    // Called on a thread of the library with each batch of values the device
    // sends; the batch is the library's and valid for the call only.  The
    // second argument is the library's own.
    typedef void (*PDCI_DataCallback)(void* userData, void* context, const Vx::ParamValues* batch);

    typedef std::int32_t (*PDCI_FindDevicesFunc)(void* first, void* second, void* third);
    // filter and count: GUIDs to look for (none: every device).  On success
    // devices holds an array of device identifiers; a result of exactly 1 asks
    // for a full listing again later.  explicitListing is 1 for an explicit
    // listing, 0 while polling for changes.
    typedef std::int32_t (*PDCI_FindRemoteDevicesFunc)(const Vx::GUID* filter, std::uint32_t count,
                                                       Vx::Variant* devices, std::uint8_t explicitListing);
    typedef std::int32_t (*PDCI_ConnectDeviceFunc)(const Vx::Variant* device, PDCI_DataCallback callback,
                                                   void* userData);
    typedef std::int32_t (*PDCI_RequestParamRangesFunc)(const Vx::Variant* device, const Vx::ParamRanges* ranges);
    typedef std::int32_t (*PDCI_RequestParamValuesFunc)(const Vx::Variant* device,
                                                        const Vx::ParamDescriptors* descriptors);
    typedef std::int32_t (*PDCI_GetParamRangesFunc)(const Vx::Variant* device, void* first, void* second);
    typedef std::int32_t (*PDCI_GetParamValuesFunc)(const Vx::Variant* device, void* first, void* second);
    typedef std::int32_t (*PDCI_GetParamValueFunc)(const Vx::Variant* device, const Vx::ParamDescriptor* descriptor,
                                                   Vx::Variant* value);
    typedef std::int32_t (*PDCI_SetParamValueFunc)(const Vx::Variant* device, const Vx::ParamDescriptor* descriptor,
                                                   const Vx::Variant* value);
    typedef std::int32_t (*PDCI_SetParamValuesFunc)(const Vx::Variant* device, const Vx::ParamValues* values);
    typedef std::int32_t (*PDCI_DisconnectDeviceFunc)(const Vx::Variant* device);
    // 0 when the device is connected.
    typedef std::int32_t (*PDCI_IsDeviceConnectedFunc)(const Vx::Variant* device);
    typedef std::int32_t (*PDCI_GetDeviceInfoFunc)(const Vx::Variant* device, Vx::DeviceInfo* info);
    typedef std::int32_t (*PDCI_ReleaseAllFunc)();
}

namespace Vx
{
// The entry points, in the order they are looked up.
enum class DeviceControlEntry : std::uint32_t
{
    FindDevices,
    FindRemoteDevices,
    ConnectDevice,
    RequestParamRanges,
    RequestParamValues,
    GetParamRanges,
    GetParamValues,
    GetParamValue,
    SetParamValue,
    SetParamValues,
    DisconnectDevice,
    IsDeviceConnected,
    GetDeviceInfo,
    ReleaseAll,
};
inline constexpr std::uint32_t kDeviceControlEntryCount = 14;

inline constexpr const char* kDeviceControlEntryNames[kDeviceControlEntryCount] = {
    "PDCI_FindDevices",        "PDCI_FindRemoteDevices", "PDCI_ConnectDevice",    "PDCI_RequestParamRanges",
    "PDCI_RequestParamValues", "PDCI_GetParamRanges",    "PDCI_GetParamValues",   "PDCI_GetParamValue",
    "PDCI_SetParamValue",      "PDCI_SetParamValues",    "PDCI_DisconnectDevice", "PDCI_IsDeviceConnected",
    "PDCI_GetDeviceInfo",      "PDCI_ReleaseAll",
};

// The library's file name, looked up beside the executable.
inline constexpr const char* kDeviceControlClientFileName = "DeviceControlClient.dylib";
} // namespace Vx
