#include "DeviceControl/GeneratedCode/Engine/Inc/DeviceControlClientInterface.h"

#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace Vx
{
namespace
{
// The directory a ScopedDeviceControlClientDirectory put in force, if any.
struct DirectoryOverride
{
    std::mutex lock;
    std::optional<std::string> directory;
};

DirectoryOverride& GetDirectoryOverride()
{
    static NoDestructor<DirectoryOverride> instance;
    return *instance;
}

// The directory of the running executable, without a trailing slash; empty
// when it cannot be read.
std::string GetExecutableDirectory()
{
    std::vector<char> buffer(256);
    for (;;)
    {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        // A link that fills the buffer may have been cut short.
        if (static_cast<std::size_t>(length) < buffer.size())
        {
            std::string path(buffer.data(), static_cast<std::size_t>(length));
            const std::size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash);
        }
        if (buffer.size() >= 65536)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}
} // namespace

std::string GetDefaultDeviceControlClientPath()
{
    std::string directory;
    {
        DirectoryOverride& override = GetDirectoryOverride();
        const std::lock_guard<std::mutex> guard(override.lock);
        if (override.directory)
            directory = *override.directory;
    }
    if (directory.empty())
    {
        directory = GetExecutableDirectory();
        if (directory.empty())
            return {};
    }
    if (directory.back() != '/')
        directory += '/';
    return directory + kDeviceControlClientFileName;
}

ScopedDeviceControlClientDirectory::ScopedDeviceControlClientDirectory(const std::string& directory)
{
    DirectoryOverride& override = GetDirectoryOverride();
    const std::lock_guard<std::mutex> guard(override.lock);
    mPrevious = override.directory;
    override.directory = directory;
}

ScopedDeviceControlClientDirectory::~ScopedDeviceControlClientDirectory()
{
    DirectoryOverride& override = GetDirectoryOverride();
    const std::lock_guard<std::mutex> guard(override.lock);
    override.directory = mPrevious;
}

template <class F>
F DeviceControlClientInterface::Entry(DeviceControlEntry entry) const noexcept
{
    return reinterpret_cast<F>(mEntries[static_cast<std::uint32_t>(entry)]);
}

DeviceControlClientInterface::DeviceControlClientInterface(const char* libraryPath)
{
    const std::string path = libraryPath != nullptr ? std::string(libraryPath) : GetDefaultDeviceControlClientPath();
    if (path.empty())
        return;
    // Bound at once and kept to itself: a library that lacks a symbol it
    // needs fails here instead of at some later call, and its symbols never
    // stand in for the application's.
    mLibrary = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (mLibrary == nullptr)
    {
        // No library is a normal way to run; a file that is there but will
        // not load deserves a line.
        const char* error = dlerror();
        if (access(path.c_str(), F_OK) == 0)
            DebugTracer::Get().Trace(1, "DeviceControlClientInterface: %s not loaded: %s", path.c_str(),
                                     error != nullptr ? error : "");
        return;
    }
    for (std::uint32_t i = 0; i < kDeviceControlEntryCount; ++i)
        mEntries[i] = dlsym(mLibrary, kDeviceControlEntryNames[i]);
}

DeviceControlClientInterface::~DeviceControlClientInterface()
{
    if (mLibrary == nullptr)
        return;
    if (const auto releaseAll = Entry<PDCI_ReleaseAllFunc>(DeviceControlEntry::ReleaseAll))
        releaseAll();
    dlclose(mLibrary);
}

bool DeviceControlClientInterface::HasEntry(DeviceControlEntry entry) const noexcept
{
    return mEntries[static_cast<std::uint32_t>(entry)] != nullptr;
}

std::int32_t DeviceControlClientInterface::FindDevices(void* first, void* second, void* third)
{
    const auto call = Entry<PDCI_FindDevicesFunc>(DeviceControlEntry::FindDevices);
    return call != nullptr ? call(first, second, third) : -1;
}

std::int32_t DeviceControlClientInterface::FindRemoteDevices(const GUID* filter, std::uint32_t count, Variant& devices,
                                                             bool explicitListing)
{
    const auto call = Entry<PDCI_FindRemoteDevicesFunc>(DeviceControlEntry::FindRemoteDevices);
    return call != nullptr ? call(filter, count, &devices, explicitListing ? 1 : 0) : -1;
}

std::int32_t DeviceControlClientInterface::ConnectDevice(const Variant& device, PDCI_DataCallback callback,
                                                         void* userData)
{
    const auto call = Entry<PDCI_ConnectDeviceFunc>(DeviceControlEntry::ConnectDevice);
    return call != nullptr ? call(&device, callback, userData) : -1;
}

std::int32_t DeviceControlClientInterface::RequestParamRanges(const Variant& device, const ParamRanges& ranges)
{
    const auto call = Entry<PDCI_RequestParamRangesFunc>(DeviceControlEntry::RequestParamRanges);
    return call != nullptr ? call(&device, &ranges) : -1;
}

std::int32_t DeviceControlClientInterface::RequestParamValues(const Variant& device,
                                                              const ParamDescriptors& descriptors)
{
    const auto call = Entry<PDCI_RequestParamValuesFunc>(DeviceControlEntry::RequestParamValues);
    return call != nullptr ? call(&device, &descriptors) : -1;
}

std::int32_t DeviceControlClientInterface::RequestParamValue(const Variant& device, const ParamDescriptor& descriptor)
{
    const auto call = Entry<PDCI_RequestParamValuesFunc>(DeviceControlEntry::RequestParamValues);
    if (call == nullptr)
        return -1;
    ParamDescriptors descriptors;
    descriptors.Assign(&descriptor, 1);
    return call(&device, &descriptors);
}

std::int32_t DeviceControlClientInterface::GetParamRanges(const Variant& device, void* first, void* second)
{
    const auto call = Entry<PDCI_GetParamRangesFunc>(DeviceControlEntry::GetParamRanges);
    return call != nullptr ? call(&device, first, second) : -1;
}

std::int32_t DeviceControlClientInterface::GetParamValues(const Variant& device, void* first, void* second)
{
    const auto call = Entry<PDCI_GetParamValuesFunc>(DeviceControlEntry::GetParamValues);
    return call != nullptr ? call(&device, first, second) : -1;
}

std::int32_t DeviceControlClientInterface::GetParamValue(const Variant& device, const ParamDescriptor& descriptor,
                                                         Variant& value)
{
    const auto call = Entry<PDCI_GetParamValueFunc>(DeviceControlEntry::GetParamValue);
    return call != nullptr ? call(&device, &descriptor, &value) : -1;
}

std::int32_t DeviceControlClientInterface::SetParamValue(const Variant& device, const ParamDescriptor& descriptor,
                                                         const Variant& value)
{
    const auto call = Entry<PDCI_SetParamValueFunc>(DeviceControlEntry::SetParamValue);
    return call != nullptr ? call(&device, &descriptor, &value) : -1;
}

std::int32_t DeviceControlClientInterface::SetParamValues(const Variant& device, const ParamValues& values)
{
    const auto call = Entry<PDCI_SetParamValuesFunc>(DeviceControlEntry::SetParamValues);
    return call != nullptr ? call(&device, &values) : -1;
}

bool DeviceControlClientInterface::IsDeviceConnected(const Variant& device)
{
    const auto call = Entry<PDCI_IsDeviceConnectedFunc>(DeviceControlEntry::IsDeviceConnected);
    return call != nullptr && call(&device) == 0;
}

std::int32_t DeviceControlClientInterface::DisconnectDevice(const Variant& device)
{
    const auto call = Entry<PDCI_DisconnectDeviceFunc>(DeviceControlEntry::DisconnectDevice);
    return call != nullptr ? call(&device) : -1;
}

std::int32_t DeviceControlClientInterface::GetDeviceInfo(const Variant& device, DeviceInfo& info)
{
    const auto call = Entry<PDCI_GetDeviceInfoFunc>(DeviceControlEntry::GetDeviceInfo);
    return call != nullptr ? call(&device, &info) : -1;
}
} // namespace Vx
