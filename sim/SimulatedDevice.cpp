#include "sim/SimulatedDevice.h"

#include "JuceBackend/SystemPath.h"

#include <cstdlib>

namespace Sim
{

SimulatedDevice::SimulatedDevice()
{
    char pattern[] = "/tmp/vx-device-XXXXXX";

    if (::mkdtemp (pattern) == nullptr)
        std::abort();

    root = juce::File (pattern);
    getSystemFile ("/proc/sys/vm/drop_caches").create();
    getSystemFile ("/tmp").createDirectory();

    crtcs = { drm.addCrtc(), drm.addCrtc() };
    encoder = drm.addEncoder ((1u << crtcs.size()) - 1);
}

SimulatedDevice::~SimulatedDevice()
{
    uninstall();
    root.deleteRecursively();
}

void SimulatedDevice::install()
{
    if (drmScope.has_value())
        return;

    previousSystemPathRoot = Vx::GetSystemPathRoot();
    Vx::SetSystemPathRoot (root.getFullPathName().toStdString());
    drmScope.emplace (drm);
    rgaScope.emplace (rga);
    consoleScope.emplace (console);
    inputScope.emplace (input);
    deviceCallsScope.emplace (deviceCalls);
}

void SimulatedDevice::uninstall()
{
    if (! drmScope.has_value())
        return;

    // The scopes end in the reverse order of their making.
    deviceCallsScope.reset();
    inputScope.reset();
    consoleScope.reset();
    rgaScope.reset();
    drmScope.reset();
    Vx::SetSystemPathRoot (previousSystemPathRoot);
}

int SimulatedDevice::getNumOpenDescriptors() const
{
    return drm.getNumOpenDescriptors() + rga.getNumOpenDescriptors() + console.getNumOpenDescriptors()
           + deviceCalls.getNumOpenDescriptors();
}

int SimulatedDevice::getNumMisusedDescriptors() const
{
    return drm.getNumMisusedDescriptors() + rga.getNumMisusedDescriptors() + console.getNumMisusedDescriptors()
           + deviceCalls.getNumMisusedDescriptors();
}

uint32_t SimulatedDevice::addDsiPanel (uint16_t width, uint16_t height)
{
    return drm.addConnector (DRM_MODE_CONNECTOR_DSI, { { width, height, 60, true } }, { encoder });
}

uint32_t SimulatedDevice::addHdmiOutput (uint16_t width, uint16_t height, bool connected)
{
    return drm.addConnector (DRM_MODE_CONNECTOR_HDMIA, { { width, height, 60, true } }, { encoder }, connected);
}

void SimulatedDevice::plug (uint32_t connectorId, bool connected)
{
    drm.setConnected (connectorId, connected);
    input.queueHotplug();
}

juce::File SimulatedDevice::getSystemFile (const juce::String& absolutePath) const
{
    return juce::File (root.getFullPathName() + absolutePath);
}

void SimulatedDevice::writeSystemFile (const juce::String& absolutePath, const void* data, size_t size)
{
    auto file = getSystemFile (absolutePath);
    file.getParentDirectory().createDirectory();
    file.deleteFile();

    juce::FileOutputStream stream (file);
    stream.write (data, size);
}

void SimulatedDevice::setDeviceTreeCell (const juce::String& property, uint32_t value)
{
    const uint8_t cell[] = { (uint8_t) (value >> 24), (uint8_t) (value >> 16), (uint8_t) (value >> 8), (uint8_t) value };
    writeSystemFile ("/sys/firmware/devicetree/base/" + property, cell, sizeof (cell));
}

void SimulatedDevice::setCompatible (const juce::StringArray& models)
{
    juce::MemoryOutputStream text;

    for (const auto& model : models)
    {
        text << model;
        text.writeByte (0);
    }

    writeSystemFile ("/sys/firmware/devicetree/base/compatible", text.getData(), text.getDataSize());
}

} // namespace Sim
