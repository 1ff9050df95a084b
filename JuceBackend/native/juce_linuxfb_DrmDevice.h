#pragma once

#include "juce_linuxfb_DrmScreen.h"
#include "JuceBackend/juce_linuxfb_ConsoleSystemCalls.h"
#include "JuceBackend/juce_linuxfb_RgaSystemCalls.h"

struct libinput_device;

namespace juce
{

/** The process's display hardware: the DRM device, the optional raster
    accelerator, the console switched to graphics, and the screens found on
    the connected outputs. */
class DrmDevice
{
public:
    /** Creates the device on first use.  A call made while it is being created
        is an error and gives null. */
    static DrmDevice* getInstance();
    static DrmDevice* getInstanceWithoutCreating() noexcept;

    /** Releases everything, gives the console back its mode and deletes the device. */
    static void shutdown();

    /** Opens the DRM device, the accelerator (optional) and the console, and
        finds the screens; false at the first thing missing. */
    bool open();

    /** Builds the screen list again from the connected outputs, keeping the
        screens whose connector and size stayed the same. */
    void scanScreens();

    /** Called on the system event thread too: they do not change after open. */
    int getDrmDescriptor() const noexcept { return drm.get(); }
    int getAcceleratorDescriptor() const noexcept { return rga.get(); }

    /** In layout order: DSI panels first, from left to right. */
    const OwnedArray<DrmScreen>& getScreens() const noexcept  { return screens; }

    /** Marks a global rectangle dirty on every screen it touches. */
    void repaint (Rectangle<int> globalArea);

    /** Paints and flips every screen that has something dirty and is not busy. */
    void paintNow();

    /** The single pointer position that input and cursors share, in global coordinates. */
    Point<int> getMousePosition() const noexcept       { return { mouseX, mouseY }; }

    /** Moves the cursor of the screen under the position there and shows the
        cursor plane only on that screen, and only while a pointer device is there. */
    void setMousePosition (int x, int y);

    /** Releases the pointer devices, then applies the mouse position again. */
    void releasePointerDevices();

    /** The panel's rotation in degrees and the touch panel's as an index (0 none,
        1 = 90, 2 = 180, 3 = 270 degrees), from the device tree. */
    struct Rotation
    {
        int panelDegrees = 0;
        int touchIndex = 0;
    };

    static Rotation readRotation();

    static constexpr const char* drmDevicePath = "/dev/dri/card0";
    static constexpr const char* consolePath = "/dev/tty0";

private:
    DrmDevice() = default;
    ~DrmDevice();

    void scanConnectors (const drmModeRes& resources, OwnedArray<DrmScreen>& current,
                         OwnedArray<DrmScreen>& next, bool& retryNeeded);
    std::unique_ptr<DrmScreen> createScreen (UniqueDrmConnector connector, uint32 crtcId, const drmModeModeInfo& mode);

    UniqueDescriptor<DrmSystemCalls> drm;
    UniqueDescriptor<RgaSystemCalls> rga;
    UniqueDescriptor<ConsoleSystemCalls> console;
    int savedConsoleMode = 0;
    OwnedArray<DrmScreen> screens;
    Array<libinput_device*> pointerDevices;
    int32 mouseX = 0;
    int32 mouseY = 0;

    JUCE_DECLARE_NON_COPYABLE (DrmDevice)
};

} // namespace juce
