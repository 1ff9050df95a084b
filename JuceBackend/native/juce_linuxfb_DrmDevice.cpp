#include "juce_linuxfb_DrmDevice.h"
#include "juce_linuxfb_DrmDirectPageFlipper.h"
#include "juce_linuxfb_DrmRgaPageFlipper.h"
#include "juce_linuxfb_Log.h"
#include "JuceBackend/juce_linuxfb_InputSystemCalls.h"
#include "JuceBackend/SystemPath.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <linux/kd.h>
#include <string>
#include <string_view>

namespace juce
{

namespace
{
    std::atomic<DrmDevice*> deviceInstance { nullptr };
    bool isCreatingDevice = false;

    CriticalSection& deviceLock()
    {
        static auto* lock = new CriticalSection();
        return *lock;
    }

    constexpr const char* deviceTreeBase = "/sys/firmware/devicetree/base/";

    File deviceTreeFile (const char* name)
    {
        return File (Vx::MapSystemPath (std::string (deviceTreeBase) + name));
    }

    // A device-tree cell: a 32-bit big-endian integer; 0 when the file is shorter.
    int readDeviceTreeCell (FileInputStream& stream)
    {
        uint8 bytes[4];

        if (stream.read (bytes, sizeof (bytes)) != (int) sizeof (bytes))
            return 0;

        return (int) ByteOrder::bigEndianInt (bytes);
    }

    struct ModelRotation
    {
        const char* compatible;
        int panelDegrees;
        int touchIndex;
    };

    // Boards whose device tree does not state its panel's rotation; the first
    // match in this order decides.
    constexpr ModelRotation modelRotations[] =
    {
        { "korvatek,ks52",  90, 0 },
        { "korvatek,tl40",  90, 0 },
        { "korvatek,tl45",  90, 1 },
        { "korvatek,ks56", 270, 3 },
        { "korvatek,ks5e", 270, 3 },
        { "korvatek,ks5f", 270, 3 },
        { "korvatek,ks5m", 270, 3 },
        { "korvatek,wd83", 270, 3 },
        { "korvatek,gu72", 270, 3 },
        { "korvatek,gu74", 270, 3 },
        { "korvatek,gx90", 270, 3 },
        { "korvatek,rn12", 270, 3 },
        { "korvatek,rn15", 270, 3 },
        { "korvatek,rn19", 270, 3 },
        { "korvatek,rn22", 270, 3 },
        { "korvatek,rn27", 270, 3 },
        { "korvatek,rn31", 270, 3 },
        { "korvatek,fe66", 270, 3 },
    };

    DrmDevice::Rotation rotationOfModel()
    {
        // The compatible property is a list of NUL-separated strings: search all of it.
        MemoryBlock compatible;
        deviceTreeFile ("compatible").loadFileAsData (compatible);
        const std::string_view text (static_cast<const char*> (compatible.getData()), compatible.getSize());

        for (const auto& model : modelRotations)
            if (text.find (model.compatible) != std::string_view::npos)
                return { model.panelDegrees, model.touchIndex };

        return {};
    }

    int touchRotationIndex (int degrees)
    {
        switch (degrees)
        {
            case 0:   return 0;
            case 90:  return 1;
            case 180: return 2;
            case 270: return 3;
            default:  break;
        }

        jassertfalse;
        return 0;
    }
}

//==============================================================================
DrmDevice* DrmDevice::getInstance()
{
    if (auto* device = deviceInstance.load())
        return device;

    const ScopedLock sl (deviceLock());

    if (auto* device = deviceInstance.load())
        return device;

    if (isCreatingDevice)
    {
        jassertfalse;
        return nullptr;
    }

    const ScopedValueSetter<bool> creating (isCreatingDevice, true);
    auto* device = new DrmDevice();
    deviceInstance = device;
    return device;
}

DrmDevice* DrmDevice::getInstanceWithoutCreating() noexcept
{
    return deviceInstance.load();
}

DrmDevice::~DrmDevice() = default;

void DrmDevice::shutdown()
{
    const ScopedLock sl (deviceLock());

    auto* device = deviceInstance.exchange (nullptr);

    if (device == nullptr)
        return;

    // The screens and cursors release their buffers through the DRM descriptor,
    // so they go while it is still open; cursors JUCE still holds keep nothing.
    LinuxFbCursors::dropCache();
    device->screens.clear();
    DrmCursor::releaseAllBuffers();

    if (device->drm.isValid())
    {
        DrmSystemCalls::get().dropMaster (device->drm.get());
        device->drm.reset();
    }

    device->rga.reset();

    if (device->console.isValid())
    {
        ConsoleSystemCalls::get().setMode (device->console.get(), device->savedConsoleMode);
        device->console.reset();
    }

    auto& inputCalls = InputSystemCalls::get();

    for (auto* pointerDevice : device->pointerDevices)
        inputCalls.libinputDeviceUnref (pointerDevice);

    device->pointerDevices.clear();

    delete device;
}

//==============================================================================
bool DrmDevice::open()
{
    // What is open when a step fails stays open until shutdown(), which
    // closes it and gives the console back its mode.
    auto& drmCalls = DrmSystemCalls::get();
    drm = UniqueDescriptor<DrmSystemCalls> (drmCalls, drmCalls.open (drmDevicePath, O_RDWR | O_CLOEXEC));

    if (! drm.isValid())
        return false;

    uint64_t hasDumbBuffers = 0;

    if (drmCalls.getCap (drm.get(), DRM_CAP_DUMB_BUFFER, hasDumbBuffers) < 0 || hasDumbBuffers == 0)
        return false;

    if (drmCalls.setMaster (drm.get()) != 0)
        return false;

    auto& rgaCalls = RgaSystemCalls::get();
    rga = UniqueDescriptor<RgaSystemCalls> (rgaCalls, rgaCalls.open (Rga2::devicePath, O_RDWR | O_NONBLOCK | O_CLOEXEC));

    // Boards without the accelerator flip the screens directly.
    if (! rga.isValid())
        logBackendFailure ("Raster graphics accelerator is not available.");

    auto& consoleCalls = ConsoleSystemCalls::get();
    console = UniqueDescriptor<ConsoleSystemCalls> (consoleCalls, consoleCalls.open (consolePath, O_RDWR | O_CLOEXEC));

    if (! console.isValid())
        return false;

    int mode = 0;

    if (consoleCalls.getMode (console.get(), mode) < 0)
        return false;

    savedConsoleMode = mode;

    if (mode != KD_GRAPHICS && consoleCalls.setMode (console.get(), KD_GRAPHICS) < 0)
        return false;

    scanScreens();

    if (! screens.isEmpty())
    {
        const auto area = screens.getFirst()->getArea();
        mouseX = area.getWidth() / 2;
        mouseY = area.getHeight() / 2;
    }

    return true;
}

//==============================================================================
DrmDevice::Rotation DrmDevice::readRotation()
{
    FileInputStream panelFile (deviceTreeFile ("korvatek,panel-rotation"));

    if (! panelFile.openedOk())
        return rotationOfModel();

    Rotation rotation;
    rotation.panelDegrees = readDeviceTreeCell (panelFile);

    FileInputStream touchFile (deviceTreeFile ("korvatek,touch-rotation"));
    const auto touchDegrees = touchFile.openedOk() ? readDeviceTreeCell (touchFile) : rotation.panelDegrees;

    rotation.touchIndex = touchRotationIndex (touchDegrees);
    return rotation;
}

std::unique_ptr<DrmScreen> DrmDevice::createScreen (UniqueDrmConnector connector, uint32 crtcId, const drmModeModeInfo& mode)
{
    std::unique_ptr<DrmPageFlipper> flipper;
    auto width = (int) mode.hdisplay;
    auto height = (int) mode.vdisplay;
    int touchIndex = 0;

    if (! rga.isValid())
    {
        flipper = std::make_unique<DrmDirectPageFlipper> (drm.get());
    }
    else
    {
        const auto rotation = readRotation();
        touchIndex = rotation.touchIndex;
        flipper = std::make_unique<DrmRgaPageFlipper> (drm.get(), rga.get(), rotation.panelDegrees);

        if (rotation.panelDegrees == 90 || rotation.panelDegrees == 270)
            std::swap (width, height);
    }

    if (! flipper->init ((int) mode.hdisplay, (int) mode.vdisplay))
        return {};

    auto screen = std::make_unique<DrmScreen> (drm.get(), std::move (flipper), std::move (connector), crtcId, mode, Rectangle<int> (0, 0, width, height), touchIndex, LinuxFbCursors::createDefaultCursor (drm.get()));
    screen->createImages();
    return screen;
}

void DrmDevice::scanConnectors (const drmModeRes& resources, OwnedArray<DrmScreen>& current,
                                OwnedArray<DrmScreen>& next, bool& retryNeeded)
{
    auto& calls = DrmSystemCalls::get();
    const auto numCrtcs = jmin (resources.count_crtcs, 32);

    auto crtcIndexOf = [&] (uint32 crtcId)
    {
        for (int i = 0; i < numCrtcs; ++i)
            if (resources.crtcs[i] == crtcId)
                return i;

        return -1;
    };

    uint32 crtcsInUse = 0;

    for (auto* screen : current)
        if (const auto index = crtcIndexOf (screen->getCrtcId()); index >= 0)
            crtcsInUse |= 1u << index;

    for (int i = 0; i < resources.count_connectors; ++i)
    {
        auto connector = ownDrmObject (calls, calls.getConnector (drm.get(), resources.connectors[i]));

        if (connector == nullptr)
            continue;

        if (connector->connection != DRM_MODE_CONNECTED || connector->count_modes <= 0 || connector->modes == nullptr)
            continue;

        DrmScreen* existing = nullptr;

        for (auto* screen : current)
            if (screen->getConnector().connector_id == connector->connector_id)
                existing = screen;

        const drmModeModeInfo* mode = &connector->modes[0];

        for (int m = 0; m < connector->count_modes; ++m)
        {
            if ((connector->modes[m].type & DRM_MODE_TYPE_PREFERRED) != 0)
            {
                mode = &connector->modes[m];
                break;
            }
        }

        uint32 crtcId = 0;

        if (existing != nullptr)
        {
            crtcId = existing->getCrtcId();
        }
        else
        {
            for (int e = 0; e < connector->count_encoders && crtcId == 0; ++e)
            {
                const auto encoder = ownDrmObject (calls, calls.getEncoder (drm.get(), connector->encoders[e]));

                if (encoder == nullptr)
                    continue;

                const auto possible = encoder->possible_crtcs;

                for (int c = 0; c < numCrtcs; ++c)
                {
                    if ((possible & (1u << c)) != 0 && (crtcsInUse & (1u << c)) == 0)
                    {
                        crtcsInUse |= 1u << c;
                        crtcId = resources.crtcs[c];
                        break;
                    }
                }
            }

            if (crtcId == 0)
            {
                retryNeeded = true;
                continue;
            }
        }

        if (existing != nullptr)
        {
            const bool rotated = rga.isValid() && [&]
            {
                const auto degrees = readRotation().panelDegrees;
                return degrees == 90 || degrees == 270;
            }();

            const auto width  = (int) (rotated ? mode->vdisplay : mode->hdisplay);
            const auto height = (int) (rotated ? mode->hdisplay : mode->vdisplay);

            if (existing->getArea().getWidth() == width && existing->getArea().getHeight() == height)
            {
                next.add (current.removeAndReturn (current.indexOf (existing)));
                continue;
            }

            current.removeObject (existing);
        }

        // The mode lives in the connector object, which the screen takes.
        const auto chosenMode = *mode;

        if (auto screen = createScreen (std::move (connector), crtcId, chosenMode))
            next.add (screen.release());
    }
}

void DrmDevice::scanScreens()
{
    auto& calls = DrmSystemCalls::get();
    const auto resources = ownDrmObject (calls, calls.getResources (drm.get()));

    if (resources == nullptr)
        return;

    const auto planeResources = ownDrmObject (calls, calls.getPlaneResources (drm.get()));

    if (planeResources == nullptr)
        return;

    OwnedArray<DrmScreen> next;
    bool retryNeeded = false;
    scanConnectors (*resources, screens, next, retryNeeded);

    // What is left of the previous list was not carried over.
    OwnedArray<DrmScreen> stale;
    stale.swapWith (screens);
    screens.swapWith (next);

    if (retryNeeded && ! stale.isEmpty())
    {
        // Screens whose outputs are gone may hold the CRTCs the skipped outputs need.
        stale.clear();

        OwnedArray<DrmScreen> again;
        retryNeeded = false;
        scanConnectors (*resources, screens, again, retryNeeded);
        stale.swapWith (screens);
        screens.swapWith (again);
    }

    std::stable_sort (screens.begin(), screens.end(), [] (const DrmScreen* a, const DrmScreen* b)
    {
        const bool aIsPanel = a->getConnector().connector_type == DRM_MODE_CONNECTOR_DSI;
        const bool bIsPanel = b->getConnector().connector_type == DRM_MODE_CONNECTOR_DSI;

        if (aIsPanel != bIsPanel)
            return aIsPanel;

        return a->getConnector().connector_id < b->getConnector().connector_id;
    });

    int x = 0;

    for (auto* screen : screens)
    {
        const auto area = screen->getArea().withPosition (x, 0);
        screen->setArea (area);
        screen->repaint (area);
        x += area.getWidth();
    }

    setMousePosition (mouseX, mouseY);

    stale.clear();
}

//==============================================================================
void DrmDevice::repaint (Rectangle<int> globalArea)
{
    for (auto* screen : screens)
        screen->repaint (globalArea);
}

void DrmDevice::paintNow()
{
    for (auto* screen : screens)
        screen->paintAndFlip();
}

void DrmDevice::setMousePosition (int x, int y)
{
    mouseX = x;
    mouseY = y;

    for (auto* screen : screens)
    {
        const auto area = screen->getArea();
        bool shown = false;

        if (area.getX() <= x && x < area.getRight())
        {
            screen->setCursorPosition (x - area.getX(), y - area.getY());
            shown = ! pointerDevices.isEmpty();
        }

        screen->showCursor (shown);
    }
}

void DrmDevice::releasePointerDevices()
{
    auto& calls = InputSystemCalls::get();

    for (auto* pointerDevice : pointerDevices)
        calls.libinputDeviceUnref (pointerDevice);

    pointerDevices.clear();
    setMousePosition (mouseX, mouseY);
}

} // namespace juce
