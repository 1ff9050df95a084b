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

        int libinputEventGetType (libinput_event* event) override { return (int) ::libinput_event_get_type (event); }
        libinput_event_keyboard* libinputEventGetKeyboardEvent (libinput_event* event) override { return ::libinput_event_get_keyboard_event (event); }
        uint32_t libinputEventKeyboardGetKey (libinput_event_keyboard* event) override { return ::libinput_event_keyboard_get_key (event); }
        int libinputEventKeyboardGetKeyState (libinput_event_keyboard* event) override { return (int) ::libinput_event_keyboard_get_key_state (event); }
        libinput_event_pointer* libinputEventGetPointerEvent (libinput_event* event) override { return ::libinput_event_get_pointer_event (event); }
        uint32_t libinputEventPointerGetTime (libinput_event_pointer* event) override { return ::libinput_event_pointer_get_time (event); }

        double libinputEventPointerGetAbsoluteXTransformed (libinput_event_pointer* event, uint32_t width) override
        {
            return ::libinput_event_pointer_get_absolute_x_transformed (event, width);
        }

        double libinputEventPointerGetAbsoluteYTransformed (libinput_event_pointer* event, uint32_t height) override
        {
            return ::libinput_event_pointer_get_absolute_y_transformed (event, height);
        }

        int libinputEventPointerHasAxis (libinput_event_pointer* event, int axis) override
        {
            return ::libinput_event_pointer_has_axis (event, (libinput_pointer_axis) axis);
        }

        double libinputEventPointerGetAxisValue (libinput_event_pointer* event, int axis) override
        {
            return ::libinput_event_pointer_get_axis_value (event, (libinput_pointer_axis) axis);
        }

        libinput_event_touch* libinputEventGetTouchEvent (libinput_event* event) override { return ::libinput_event_get_touch_event (event); }
        uint32_t libinputEventTouchGetTime (libinput_event_touch* event) override { return ::libinput_event_touch_get_time (event); }
        int32_t libinputEventTouchGetSlot (libinput_event_touch* event) override { return ::libinput_event_touch_get_slot (event); }
        double libinputEventTouchGetXTransformed (libinput_event_touch* event, uint32_t width) override { return ::libinput_event_touch_get_x_transformed (event, width); }
        double libinputEventTouchGetYTransformed (libinput_event_touch* event, uint32_t height) override { return ::libinput_event_touch_get_y_transformed (event, height); }
    };
} // namespace

InputSystemCalls& InputSystemCalls::getDeviceCalls()
{
    // Built on first use and never destroyed: threads still running at exit may use it.
    static auto* calls = new LibInputSystemCalls();
    return *calls;
}

} // namespace juce
