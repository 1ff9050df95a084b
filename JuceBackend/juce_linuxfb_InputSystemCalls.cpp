// The device's own calls on udev and libinput.

#include "JuceBackend/juce_linuxfb_InputSystemCalls.h"

#include <libinput.h>
#include <libudev.h>

namespace juce
{

namespace
{
    class LibInputSystemCalls final : public InputSystemCalls
    {
    public:
        udev* udevNew() override { return ::udev_new(); }
        void udevUnref (udev* context) override { ::udev_unref (context); }
        udev_monitor* udevMonitorNewFromNetlink (udev* context, const char* name) override { return ::udev_monitor_new_from_netlink (context, name); }

        int udevMonitorFilterAddMatchSubsystemDevtype (udev_monitor* monitor, const char* subsystem, const char* devtype) override
        {
            return ::udev_monitor_filter_add_match_subsystem_devtype (monitor, subsystem, devtype);
        }

        int udevMonitorEnableReceiving (udev_monitor* monitor) override { return ::udev_monitor_enable_receiving (monitor); }
        int udevMonitorGetFd (udev_monitor* monitor) override { return ::udev_monitor_get_fd (monitor); }
        udev_device* udevMonitorReceiveDevice (udev_monitor* monitor) override { return ::udev_monitor_receive_device (monitor); }
        void udevMonitorUnref (udev_monitor* monitor) override { ::udev_monitor_unref (monitor); }
        void udevDeviceUnref (udev_device* device) override { ::udev_device_unref (device); }

        libinput* libinputUdevCreateContext (const libinput_interface* interface, void* userData, udev* context) override
        {
            return ::libinput_udev_create_context (interface, userData, context);
        }

        int libinputUdevAssignSeat (libinput* context, const char* seat) override { return ::libinput_udev_assign_seat (context, seat); }
        int libinputGetFd (libinput* context) override { return ::libinput_get_fd (context); }
        int libinputDispatch (libinput* context) override { return ::libinput_dispatch (context); }
        libinput_event* libinputGetEvent (libinput* context) override { return ::libinput_get_event (context); }
        void libinputEventDestroy (libinput_event* event) override { ::libinput_event_destroy (event); }
        void libinputUnref (libinput* context) override { ::libinput_unref (context); }
        void libinputDeviceUnref (libinput_device* device) override { ::libinput_device_unref (device); }
    };
} // namespace

InputSystemCalls& InputSystemCalls::getDeviceCalls()
{
    // Built on first use and never destroyed: threads still running at exit may use it.
    static auto* calls = new LibInputSystemCalls();
    return *calls;
}

} // namespace juce
