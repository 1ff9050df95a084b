#pragma once

// Loads the simulated device-control client library for a test and hands over
// its script.  The libraries are built beside the test executables, where the
// product looks for the real one: DeviceControlClient.dylib, one variant per
// entry point that lacks it, and a file of that name that is no library.

#include "sim/devicecontrol/SimDeviceControlClient.h"

#include <string>

namespace Sim
{

class SimDeviceControlLibrary
{
public:
    /** Loads the library at path (by default the full one) and resets its
        script; the destructor resets it again and lets the library go. */
    explicit SimDeviceControlLibrary (const std::string& path = getLibraryPath());
    ~SimDeviceControlLibrary();

    SimDeviceControlLibrary (const SimDeviceControlLibrary&) = delete;
    SimDeviceControlLibrary& operator= (const SimDeviceControlLibrary&) = delete;

    DeviceControlScript& script() const { return *scriptObject; }

    /** The directory of the running executable, where the libraries lie. */
    static std::string getDirectory();
    static std::string getLibraryPath();
    /** The variant that lacks one entry point. */
    static std::string getLibraryPathWithout (Vx::DeviceControlEntry entry);
    /** A directory whose DeviceControlClient.dylib is a text file. */
    static std::string getNotALibraryDirectory();

    /** Whether the library at path is loaded in this process now. */
    static bool isLoaded (const std::string& path);

private:
    void* handle = nullptr;
    DeviceControlScript* scriptObject = nullptr;
};

} // namespace Sim
