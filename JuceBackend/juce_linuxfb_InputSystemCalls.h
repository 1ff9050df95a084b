#pragma once

// The display backend's way to its input: each virtual is one libudev or
// libinput call with the same arguments and result, so that everything above
// it is the backend's real code.  The device runs the implementation over the
// real libraries; the simulator's stand-in (sim/SimInput) takes its place
// inside an InputSystemCalls::Scoped.

#include "JuceBackend/juce_linuxfb_ScopedSystemCalls.h"

#include <cstdint>

struct udev;
struct udev_device;
struct udev_monitor;
struct libinput;
struct libinput_device;
struct libinput_event;
struct libinput_event_keyboard;
struct libinput_event_pointer;
struct libinput_event_touch;
struct libinput_interface;

namespace juce
{

/** The calls on udev and libinput. */
class InputSystemCalls
{
public:
    virtual ~InputSystemCalls() = default;

    /** The calls in use: a scope's stand-in, else the device's own. */
    static InputSystemCalls& get() { return getSystemCalls<InputSystemCalls>(); }

    /** The device's own calls, over libudev and libinput. */
    static InputSystemCalls& getDeviceCalls();

    using Scoped = ScopedSystemCalls<InputSystemCalls>;

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

    // An event's fields.  The typed views are null for an event of another
    // type; the enumerations (event type, key state, axis) are libinput's values.
    virtual int libinputEventGetType (libinput_event*) = 0;
    virtual libinput_event_keyboard* libinputEventGetKeyboardEvent (libinput_event*) = 0;
    virtual uint32_t libinputEventKeyboardGetKey (libinput_event_keyboard*) = 0;
    virtual int libinputEventKeyboardGetKeyState (libinput_event_keyboard*) = 0;
    virtual libinput_event_pointer* libinputEventGetPointerEvent (libinput_event*) = 0;
    virtual uint32_t libinputEventPointerGetTime (libinput_event_pointer*) = 0;
    virtual double libinputEventPointerGetAbsoluteXTransformed (libinput_event_pointer*, uint32_t width) = 0;
    virtual double libinputEventPointerGetAbsoluteYTransformed (libinput_event_pointer*, uint32_t height) = 0;
    virtual int libinputEventPointerHasAxis (libinput_event_pointer*, int axis) = 0;
    virtual double libinputEventPointerGetAxisValue (libinput_event_pointer*, int axis) = 0;
    virtual libinput_event_touch* libinputEventGetTouchEvent (libinput_event*) = 0;
    virtual uint32_t libinputEventTouchGetTime (libinput_event_touch*) = 0;
    virtual int32_t libinputEventTouchGetSlot (libinput_event_touch*) = 0;
    virtual double libinputEventTouchGetXTransformed (libinput_event_touch*, uint32_t width) = 0;
    virtual double libinputEventTouchGetYTransformed (libinput_event_touch*, uint32_t height) = 0;
};

} // namespace juce
