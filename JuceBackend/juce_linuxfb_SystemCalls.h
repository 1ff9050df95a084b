#pragma once

// The display backend's only way to the kernel's display and input devices.
// Each virtual is one libdrm, libudev, libinput or system call with the same
// arguments and result, so that everything above it is the backend's real code.
// The device runs the implementations over the real libraries; the simulator
// (sim/) installs in-memory stand-ins before JUCE starts.

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

#include <xf86drm.h>
#include <xf86drmMode.h>

struct udev;
struct udev_device;
struct udev_monitor;
struct libinput;
struct libinput_device;
struct libinput_event;
struct libinput_interface;

namespace juce
{

/** The calls on the DRM device, the raster accelerator and the console. */
class DrmSystemCalls
{
public:
    virtual ~DrmSystemCalls() = default;

    /** The calls in use: the installed ones, else the device's own. */
    static DrmSystemCalls& get();

    /** Replaces the calls until called again (nullptr returns to the device's own).
        Only before JUCE starts and after it has shut down: nothing guards a change
        while the backend runs. */
    static void install (DrmSystemCalls* calls);

    // open, close, read, ioctl, mmap and munmap on "/dev/dri/card0", "/dev/rga2",
    // "/dev/tty0" and the DMA buffers exported from the DRM device.
    virtual int openDevice (const char* path, int flags) = 0;
    virtual int closeDevice (int fd) = 0;
    virtual ssize_t readDevice (int fd, void* buffer, size_t size) = 0;
    virtual int deviceIoctl (int fd, unsigned long request, void* argument) = 0;
    virtual void* mapMemory (size_t length, int protection, int flags, int fd, uint64_t offset) = 0;
    virtual int unmapMemory (void* address, size_t length) = 0;

    // libdrm
    virtual int drmIoctl (int fd, unsigned long request, void* argument) = 0;
    virtual int getCap (int fd, uint64_t capability, uint64_t* value) = 0;
    virtual int setMaster (int fd) = 0;
    virtual int dropMaster (int fd) = 0;
    virtual drmModeResPtr modeGetResources (int fd) = 0;
    virtual void modeFreeResources (drmModeResPtr) = 0;
    virtual drmModePlaneResPtr modeGetPlaneResources (int fd) = 0;
    virtual void modeFreePlaneResources (drmModePlaneResPtr) = 0;
    virtual drmModeConnectorPtr modeGetConnector (int fd, uint32_t connectorId) = 0;
    virtual void modeFreeConnector (drmModeConnectorPtr) = 0;
    virtual drmModeEncoderPtr modeGetEncoder (int fd, uint32_t encoderId) = 0;
    virtual void modeFreeEncoder (drmModeEncoderPtr) = 0;
    virtual int modeAddFB (int fd, uint32_t width, uint32_t height, uint8_t depth, uint8_t bitsPerPixel,
                           uint32_t pitch, uint32_t handle, uint32_t* framebufferId) = 0;
    virtual int modeRmFB (int fd, uint32_t framebufferId) = 0;
    virtual int modeSetCrtc (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t x, uint32_t y,
                             uint32_t* connectors, int count, drmModeModeInfoPtr mode) = 0;
    virtual int modePageFlip (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t flags, void* userData) = 0;
    virtual int handleEvent (int fd, drmEventContextPtr context) = 0;
    virtual int modeSetCursor2 (int fd, uint32_t crtcId, uint32_t handle, uint32_t width, uint32_t height,
                                int32_t hotX, int32_t hotY) = 0;
    virtual int modeMoveCursor (int fd, uint32_t crtcId, int x, int y) = 0;
};

/** The calls on udev and libinput. */
class InputSystemCalls
{
public:
    virtual ~InputSystemCalls() = default;

    /** The calls in use: the installed ones, else the device's own. */
    static InputSystemCalls& get();

    /** As DrmSystemCalls::install. */
    static void install (InputSystemCalls* calls);

    virtual udev* udevNew() = 0;
    virtual void udevUnref (udev*) = 0;
    virtual udev_monitor* udevMonitorNewFromNetlink (udev*, const char* name) = 0;
    virtual int udevMonitorFilterAddMatchSubsystemDevtype (udev_monitor*, const char* subsystem, const char* devtype) = 0;
    virtual int udevMonitorEnableReceiving (udev_monitor*) = 0;
    virtual int udevMonitorGetFd (udev_monitor*) = 0;
    virtual udev_device* udevMonitorReceiveDevice (udev_monitor*) = 0;
    virtual void udevMonitorUnref (udev_monitor*) = 0;
    virtual void udevDeviceUnref (udev_device*) = 0;

    virtual libinput* libinputUdevCreateContext (const libinput_interface*, void* userData, udev*) = 0;
    virtual int libinputUdevAssignSeat (libinput*, const char* seat) = 0;
    virtual int libinputGetFd (libinput*) = 0;
    virtual int libinputDispatch (libinput*) = 0;
    virtual libinput_event* libinputGetEvent (libinput*) = 0;
    virtual void libinputEventDestroy (libinput_event*) = 0;
    virtual void libinputUnref (libinput*) = 0;
    virtual void libinputDeviceUnref (libinput_device*) = 0;
};

} // namespace juce
