#pragma once

// udev and libinput stand-ins behind the display backend's input seam: a udev
// monitor whose display hot-plug events the test queues, and a libinput
// context whose events the test scripts (touch slots, an absolute pointer with
// its wheel, keys by evdev code) and the backend reads after dispatch.
// Their descriptors are real eventfds, so the backend polls them as on the device.

#include "JuceBackend/juce_linuxfb_InputSystemCalls.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace Sim
{

class SimInput final : public juce::InputSystemCalls
{
public:
    SimInput();
    ~SimInput() override;

    // What fails; set before the backend starts.
    bool failUdev = false;
    bool failLibinputContext = false;
    bool failAssignSeat = false;
    bool failMonitor = false;
    bool failMonitorFilter = false;
    bool failMonitorEnable = false;

    /** A udev event of the "drm" subsystem; an unreadable one is consumed
        without giving a device. */
    void queueHotplug (bool readable = true);

    /** A libinput event, fetchable after the next dispatch, named by id; it
        has no type libinput knows (LIBINPUT_EVENT_NONE). */
    void queueInputEvent (int id);
    static int getEventId (const libinput_event*);
    static int getEventType (const libinput_event*);

    //==========================================================================
    // The scripted input devices.  Positions are the devices' raw units, from 0
    // to the range below; libinput scales them linearly to the size the reader
    // asks for (a raw value equal to the range gives that size).
    struct Range
    {
        double width;
        double height;
    };

    Range touchRange { 4096.0, 4096.0 };
    Range pointerRange { 32767.0, 32767.0 };

    void touchDown (int32_t slot, double rawX, double rawY);
    void touchMotion (int32_t slot, double rawX, double rawY);
    void touchUp (int32_t slot);
    void touchCancel (int32_t slot);
    void touchFrame();

    void pointerMoveTo (double rawX, double rawY);
    /** A wheel event with the axes given (absent axes are not set in it). */
    void wheel (std::optional<double> vertical, std::optional<double> horizontal = {});

    /** A key by its evdev code (linux/input-event-codes.h). */
    void key (uint32_t evdevCode, bool pressed);
    void tapKey (uint32_t evdevCode)
    {
        key (evdevCode, true);
        key (evdevCode, false);
    }

    /** An event of any libinput type with no fields, which the reader ignores. */
    void queueEventOfType (int type);

    /** The time of the next event, in ms; each event advances it by 8 ms. */
    void setTime (uint32_t milliseconds);

    std::string getSeat() const;
    std::string getMonitorSource() const;
    std::string getMonitorSubsystem() const;
    bool hasMonitorDevtype() const;
    int getNumReceivedDevices() const;

    /** udev, monitor, libinput, device and event objects not yet released. */
    int getNumLiveObjects() const;

    const libinput_interface* getLibinputInterface() const;
    void* getLibinputUserData() const;

    //==========================================================================
    udev* udevNew() override;
    void udevUnref (udev*) override;
    udev_monitor* udevMonitorNewFromNetlink (udev*, const char* name) override;
    int udevMonitorFilterAddMatchSubsystemDevtype (udev_monitor*, const char* subsystem, const char* devtype) override;
    int udevMonitorEnableReceiving (udev_monitor*) override;
    int udevMonitorGetFd (udev_monitor*) override;
    udev_device* udevMonitorReceiveDevice (udev_monitor*) override;
    void udevMonitorUnref (udev_monitor*) override;
    void udevDeviceUnref (udev_device*) override;
    libinput* libinputUdevCreateContext (const libinput_interface*, void* userData, udev*) override;
    int libinputUdevAssignSeat (libinput*, const char* seat) override;
    int libinputGetFd (libinput*) override;
    int libinputDispatch (libinput*) override;
    libinput_event* libinputGetEvent (libinput*) override;
    void libinputEventDestroy (libinput_event*) override;
    void libinputUnref (libinput*) override;
    void libinputDeviceUnref (libinput_device*) override;
    int libinputEventGetType (libinput_event*) override;
    libinput_event_keyboard* libinputEventGetKeyboardEvent (libinput_event*) override;
    uint32_t libinputEventKeyboardGetKey (libinput_event_keyboard*) override;
    int libinputEventKeyboardGetKeyState (libinput_event_keyboard*) override;
    libinput_event_pointer* libinputEventGetPointerEvent (libinput_event*) override;
    uint32_t libinputEventPointerGetTime (libinput_event_pointer*) override;
    double libinputEventPointerGetAbsoluteXTransformed (libinput_event_pointer*, uint32_t width) override;
    double libinputEventPointerGetAbsoluteYTransformed (libinput_event_pointer*, uint32_t height) override;
    int libinputEventPointerHasAxis (libinput_event_pointer*, int axis) override;
    double libinputEventPointerGetAxisValue (libinput_event_pointer*, int axis) override;
    libinput_event_touch* libinputEventGetTouchEvent (libinput_event*) override;
    uint32_t libinputEventTouchGetTime (libinput_event_touch*) override;
    int32_t libinputEventTouchGetSlot (libinput_event_touch*) override;
    double libinputEventTouchGetXTransformed (libinput_event_touch*, uint32_t width) override;
    double libinputEventTouchGetYTransformed (libinput_event_touch*, uint32_t height) override;

    /** Events fetched by the reader: its typed views must be of that type. */
    int getNumTypeMismatches() const;

private:
    struct Event
    {
        int type = 0;
        int id = 0;
        uint32_t time = 0;
        uint32_t key = 0;
        int keyState = 0;
        int32_t slot = 0;
        double x = 0, y = 0;
        Range range { 1.0, 1.0 };
        std::optional<double> vertical, horizontal;
    };

    struct Object
    {
        int kind;
        Event event;
    };

    Object* makeObject (int kind);
    Object* makeObject (int kind, const Event& event);
    void queue (Event event);
    const Event& eventOf (const void* typedEvent, int expectedTypeMin, int expectedTypeMax) const;
    void releaseObject (void* object);

    mutable std::mutex lock;
    int monitorFd;
    int libinputFd;
    std::deque<bool> hotplugs;
    std::deque<Event> queuedEvents;
    std::deque<Event> dispatchedEvents;
    uint32_t clock = 1000;
    mutable int numTypeMismatches = 0;
    std::string seat, monitorSource, monitorSubsystem;
    bool monitorDevtype = false;
    int numReceivedDevices = 0;
    int numLiveObjects = 0;
    const libinput_interface* interface = nullptr;
    void* userData = nullptr;
};

} // namespace Sim
