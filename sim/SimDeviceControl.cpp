#include "sim/SimDeviceControl.h"

#include <dlfcn.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace Sim
{

SimDeviceControlLibrary::SimDeviceControlLibrary (const std::string& path)
{
    handle = dlopen (path.c_str(), RTLD_NOW | RTLD_LOCAL);

    if (handle == nullptr)
    {
        const char* error = dlerror();
        throw std::runtime_error ("simulated device-control library not loaded: " + std::string (error != nullptr ? error : path));
    }

    const auto getScript = reinterpret_cast<SimDeviceControl_GetScriptFunc> (dlsym (handle, "SimDeviceControl_GetScript"));

    if (getScript == nullptr)
    {
        dlclose (handle);
        throw std::runtime_error (path + " is not the simulated device-control library");
    }

    scriptObject = getScript();
    scriptObject->reset();
}

SimDeviceControlLibrary::~SimDeviceControlLibrary()
{
    scriptObject->reset();
    dlclose (handle);
}

std::string SimDeviceControlLibrary::getDirectory()
{
    std::vector<char> buffer (4096);
    const auto length = readlink ("/proc/self/exe", buffer.data(), buffer.size());

    if (length <= 0 || static_cast<size_t> (length) >= buffer.size())
        throw std::runtime_error ("the executable's path cannot be read");

    const std::string path (buffer.data(), static_cast<size_t> (length));
    return path.substr (0, path.rfind ('/'));
}

std::string SimDeviceControlLibrary::getLibraryPath()
{
    return getDirectory() + "/" + Vx::kDeviceControlClientFileName;
}

std::string SimDeviceControlLibrary::getLibraryPathWithout (Vx::DeviceControlEntry entry)
{
    return getDirectory() + "/DeviceControlClientWithout_"
           + Vx::kDeviceControlEntryNames[static_cast<uint32_t> (entry)] + ".dylib";
}

std::string SimDeviceControlLibrary::getNotALibraryDirectory()
{
    return getDirectory() + "/DeviceControlClientNotALibrary";
}

bool SimDeviceControlLibrary::isLoaded (const std::string& path)
{
    auto* loaded = dlopen (path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);

    if (loaded == nullptr)
        return false;

    dlclose (loaded);
    return true;
}

} // namespace Sim
