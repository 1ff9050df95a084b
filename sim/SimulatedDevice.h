#pragma once

// The simulated device as a whole: its DRM device, accelerator and console, its
// udev and libinput, the devices behind the platform layer's device calls, and
// a directory tree that stands for the system's files (device tree, procfs,
// the temporary files of scripts).  install() puts them behind the backend's seams, each
// in a scope of its own, until uninstall() (or the destructor) gives back what
// was there before; do it before JUCE starts, and uninstall after JUCE's
// shutdown.  A device installed while another is gives it back when it ends.

#include "sim/SimConsole.h"
#include "sim/SimDeviceCalls.h"
#include "sim/SimDrmDevice.h"
#include "sim/SimInput.h"
#include "sim/SimRga.h"

#include <juce_core/juce_core.h>

#include <optional>
#include <string>

namespace Sim
{

class SimulatedDevice
{
public:
    /** Two CRTCs, no outputs, no accelerator; an empty system tree. */
    SimulatedDevice();
    ~SimulatedDevice();

    void install();
    void uninstall();

    SimDrmDevice drm;
    SimRga rga { drm };
    SimConsole console;
    SimInput input;
    SimDeviceCalls deviceCalls;

    /** Descriptors of the DRM device, the accelerator, the console and the
        platform devices still open, and calls made on one that was not open. */
    int getNumOpenDescriptors() const;
    int getNumMisusedDescriptors() const;

    /** An output on an encoder that can drive every CRTC. */
    uint32_t addDsiPanel (uint16_t width, uint16_t height);
    uint32_t addHdmiOutput (uint16_t width, uint16_t height, bool connected = true);

    /** Connects or disconnects an output and tells udev. */
    void plug (uint32_t connectorId, bool connected);

    std::vector<uint32_t> getCrtcs() const      { return crtcs; }

    /** The system tree's root, and a file in it by its absolute system path. */
    const juce::File& getRoot() const noexcept  { return root; }
    juce::File getSystemFile (const juce::String& absolutePath) const;
    void writeSystemFile (const juce::String& absolutePath, const void* data, size_t size);

    /** A device-tree property of the base node: a 32-bit big-endian cell, or
        the compatible list (its strings each end with a NUL). */
    void setDeviceTreeCell (const juce::String& property, uint32_t value);
    void setCompatible (const juce::StringArray& models);

private:
    juce::File root;
    std::vector<uint32_t> crtcs;
    uint32_t encoder;

    std::optional<juce::DrmSystemCalls::Scoped> drmScope;
    std::optional<juce::RgaSystemCalls::Scoped> rgaScope;
    std::optional<juce::ConsoleSystemCalls::Scoped> consoleScope;
    std::optional<juce::InputSystemCalls::Scoped> inputScope;
    std::optional<Vx::VB05::DeviceCalls::Scoped> deviceCallsScope;
    std::string previousSystemPathRoot;
};

} // namespace Sim
