// The device's own system calls behind the display backend's seams.

#include "JuceBackend/juce_linuxfb_SystemCalls.h"

#include <atomic>
#include <fcntl.h>
#include <libinput.h>
#include <libudev.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace juce
{

namespace
{

class LibDrmSystemCalls final : public DrmSystemCalls
{
public:
    int openDevice (const char* path, int flags) override              { return ::open (path, flags); }
    int closeDevice (int fd) override                                  { return ::close (fd); }
    ssize_t readDevice (int fd, void* buffer, size_t size) override    { return ::read (fd, buffer, size); }
    int deviceIoctl (int fd, unsigned long request, void* argument) override { return ::ioctl (fd, request, argument); }

    void* mapMemory (size_t length, int protection, int flags, int fd, uint64_t offset) override
    {
        // DRM map offsets are 64-bit even where off_t is not.
        return ::mmap64 (nullptr, length, protection, flags, fd, static_cast<off64_t> (offset));
    }

    int unmapMemory (void* address, size_t length) override            { return ::munmap (address, length); }

    int drmIoctl (int fd, unsigned long request, void* argument) override { return ::drmIoctl (fd, request, argument); }
    int getCap (int fd, uint64_t capability, uint64_t* value) override { return ::drmGetCap (fd, capability, value); }
    int setMaster (int fd) override                                    { return ::drmSetMaster (fd); }
    int dropMaster (int fd) override                                   { return ::drmDropMaster (fd); }
    drmModeResPtr modeGetResources (int fd) override                   { return ::drmModeGetResources (fd); }
    void modeFreeResources (drmModeResPtr resources) override          { ::drmModeFreeResources (resources); }
    drmModePlaneResPtr modeGetPlaneResources (int fd) override         { return ::drmModeGetPlaneResources (fd); }
    void modeFreePlaneResources (drmModePlaneResPtr resources) override { ::drmModeFreePlaneResources (resources); }
    drmModeConnectorPtr modeGetConnector (int fd, uint32_t id) override { return ::drmModeGetConnector (fd, id); }
    void modeFreeConnector (drmModeConnectorPtr connector) override    { ::drmModeFreeConnector (connector); }
    drmModeEncoderPtr modeGetEncoder (int fd, uint32_t id) override    { return ::drmModeGetEncoder (fd, id); }
    void modeFreeEncoder (drmModeEncoderPtr encoder) override          { ::drmModeFreeEncoder (encoder); }

    int modeAddFB (int fd, uint32_t width, uint32_t height, uint8_t depth, uint8_t bitsPerPixel,
                   uint32_t pitch, uint32_t handle, uint32_t* framebufferId) override
    {
        return ::drmModeAddFB (fd, width, height, depth, bitsPerPixel, pitch, handle, framebufferId);
    }

    int modeRmFB (int fd, uint32_t framebufferId) override             { return ::drmModeRmFB (fd, framebufferId); }

    int modeSetCrtc (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t x, uint32_t y,
                     uint32_t* connectors, int count, drmModeModeInfoPtr mode) override
    {
        return ::drmModeSetCrtc (fd, crtcId, framebufferId, x, y, connectors, count, mode);
    }

    int modePageFlip (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t flags, void* userData) override
    {
        return ::drmModePageFlip (fd, crtcId, framebufferId, flags, userData);
    }

    int handleEvent (int fd, drmEventContextPtr context) override      { return ::drmHandleEvent (fd, context); }

    int modeSetCursor2 (int fd, uint32_t crtcId, uint32_t handle, uint32_t width, uint32_t height,
                        int32_t hotX, int32_t hotY) override
    {
        return ::drmModeSetCursor2 (fd, crtcId, handle, width, height, hotX, hotY);
    }

    int modeMoveCursor (int fd, uint32_t crtcId, int x, int y) override { return ::drmModeMoveCursor (fd, crtcId, x, y); }
};

class LibInputSystemCalls final : public InputSystemCalls
{
public:
    udev* udevNew() override                                           { return ::udev_new(); }
    void udevUnref (udev* context) override                            { ::udev_unref (context); }
    udev_monitor* udevMonitorNewFromNetlink (udev* context, const char* name) override { return ::udev_monitor_new_from_netlink (context, name); }

    int udevMonitorFilterAddMatchSubsystemDevtype (udev_monitor* monitor, const char* subsystem, const char* devtype) override
    {
        return ::udev_monitor_filter_add_match_subsystem_devtype (monitor, subsystem, devtype);
    }

    int udevMonitorEnableReceiving (udev_monitor* monitor) override    { return ::udev_monitor_enable_receiving (monitor); }
    int udevMonitorGetFd (udev_monitor* monitor) override              { return ::udev_monitor_get_fd (monitor); }
    udev_device* udevMonitorReceiveDevice (udev_monitor* monitor) override { return ::udev_monitor_receive_device (monitor); }
    void udevMonitorUnref (udev_monitor* monitor) override             { ::udev_monitor_unref (monitor); }
    void udevDeviceUnref (udev_device* device) override                { ::udev_device_unref (device); }

    libinput* libinputUdevCreateContext (const libinput_interface* interface, void* userData, udev* context) override
    {
        return ::libinput_udev_create_context (interface, userData, context);
    }

    int libinputUdevAssignSeat (libinput* context, const char* seat) override { return ::libinput_udev_assign_seat (context, seat); }
    int libinputGetFd (libinput* context) override                     { return ::libinput_get_fd (context); }
    int libinputDispatch (libinput* context) override                  { return ::libinput_dispatch (context); }
    libinput_event* libinputGetEvent (libinput* context) override      { return ::libinput_get_event (context); }
    void libinputEventDestroy (libinput_event* event) override         { ::libinput_event_destroy (event); }
    void libinputUnref (libinput* context) override                    { ::libinput_unref (context); }
    void libinputDeviceUnref (libinput_device* device) override        { ::libinput_device_unref (device); }
};

// Built on first use and never destroyed: threads still running at exit may use them.
std::atomic<DrmSystemCalls*>& installedDrmCalls()
{
    static auto* calls = new std::atomic<DrmSystemCalls*> (nullptr);
    return *calls;
}

std::atomic<InputSystemCalls*>& installedInputCalls()
{
    static auto* calls = new std::atomic<InputSystemCalls*> (nullptr);
    return *calls;
}

} // namespace

DrmSystemCalls& DrmSystemCalls::get()
{
    if (auto* calls = installedDrmCalls().load())
        return *calls;

    static auto* deviceCalls = new LibDrmSystemCalls();
    return *deviceCalls;
}

void DrmSystemCalls::install (DrmSystemCalls* calls)
{
    installedDrmCalls().store (calls);
}

InputSystemCalls& InputSystemCalls::get()
{
    if (auto* calls = installedInputCalls().load())
        return *calls;

    static auto* deviceCalls = new LibInputSystemCalls();
    return *deviceCalls;
}

void InputSystemCalls::install (InputSystemCalls* calls)
{
    installedInputCalls().store (calls);
}

} // namespace juce
