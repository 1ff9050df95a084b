#include "sim/SimInput.h"

#include <libinput.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Sim
{

namespace
{
    enum Kind { udevKind = 1, monitorKind, libinputKind, deviceKind, eventKind };

    void signalEventFd (int fd)
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write (fd, &one, sizeof (one));
    }

    void drainEventFd (int fd)
    {
        uint64_t value;
        [[maybe_unused]] auto n = ::read (fd, &value, sizeof (value));
    }
}

SimInput::SimInput()
    : monitorFd (::eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC)),
      libinputFd (::eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

SimInput::~SimInput()
{
    ::close (monitorFd);
    ::close (libinputFd);
}

SimInput::Object* SimInput::makeObject (int kind)
{
    return makeObject (kind, Event());
}

SimInput::Object* SimInput::makeObject (int kind, const Event& event)
{
    ++numLiveObjects;
    return new Object { kind, event };
}

void SimInput::releaseObject (void* object)
{
    if (object == nullptr)
        return;

    --numLiveObjects;
    delete static_cast<Object*> (object);
}

void SimInput::queueHotplug (bool readable)
{
    const std::lock_guard<std::mutex> sl (lock);
    hotplugs.push_back (readable);
    signalEventFd (monitorFd);
}

void SimInput::queueInputEvent (int id)
{
    Event event;
    event.id = id;
    queue (event);
}

int SimInput::getEventId (const libinput_event* event)
{
    return reinterpret_cast<const Object*> (event)->event.id;
}

void SimInput::queue (Event event)
{
    const std::lock_guard<std::mutex> sl (lock);
    event.time = clock;
    clock += 8;
    queuedEvents.push_back (event);
    signalEventFd (libinputFd);
}

void SimInput::setTime (uint32_t milliseconds)
{
    const std::lock_guard<std::mutex> sl (lock);
    clock = milliseconds;
}

void SimInput::touchDown (int32_t slot, double rawX, double rawY)
{
    Event event;
    event.type = LIBINPUT_EVENT_TOUCH_DOWN;
    event.slot = slot;
    event.x = rawX;
    event.y = rawY;
    event.range = touchRange;
    queue (event);
}

void SimInput::touchMotion (int32_t slot, double rawX, double rawY)
{
    Event event;
    event.type = LIBINPUT_EVENT_TOUCH_MOTION;
    event.slot = slot;
    event.x = rawX;
    event.y = rawY;
    event.range = touchRange;
    queue (event);
}

void SimInput::touchUp (int32_t slot)
{
    Event event;
    event.type = LIBINPUT_EVENT_TOUCH_UP;
    event.slot = slot;
    queue (event);
}

void SimInput::touchCancel (int32_t slot)
{
    Event event;
    event.type = LIBINPUT_EVENT_TOUCH_CANCEL;
    event.slot = slot;
    queue (event);
}

void SimInput::touchFrame()
{
    queueEventOfType (LIBINPUT_EVENT_TOUCH_FRAME);
}

void SimInput::pointerMoveTo (double rawX, double rawY)
{
    Event event;
    event.type = LIBINPUT_EVENT_POINTER_MOTION_ABSOLUTE;
    event.x = rawX;
    event.y = rawY;
    event.range = pointerRange;
    queue (event);
}

void SimInput::wheel (std::optional<double> vertical, std::optional<double> horizontal)
{
    Event event;
    event.type = LIBINPUT_EVENT_POINTER_AXIS;
    event.vertical = vertical;
    event.horizontal = horizontal;
    queue (event);
}

void SimInput::key (uint32_t evdevCode, bool pressed)
{
    Event event;
    event.type = LIBINPUT_EVENT_KEYBOARD_KEY;
    event.key = evdevCode;
    event.keyState = pressed ? LIBINPUT_KEY_STATE_PRESSED : LIBINPUT_KEY_STATE_RELEASED;
    queue (event);
}

void SimInput::queueEventOfType (int type)
{
    Event event;
    event.type = type;
    queue (event);
}

int SimInput::getNumTypeMismatches() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return numTypeMismatches;
}

const SimInput::Event& SimInput::eventOf (const void* typedEvent, int expectedTypeMin, int expectedTypeMax) const
{
    // libinput's typed views are the event itself; asking one of another type
    // is the reader's bug, which libinput only logs.
    static const Event none;
    const auto& event = static_cast<const Object*> (typedEvent)->event;

    if (event.type < expectedTypeMin || event.type > expectedTypeMax)
    {
        const std::lock_guard<std::mutex> sl (lock);
        ++numTypeMismatches;
        return none;
    }

    return event;
}

std::string SimInput::getSeat() const                  { const std::lock_guard<std::mutex> sl (lock); return seat; }
std::string SimInput::getMonitorSource() const         { const std::lock_guard<std::mutex> sl (lock); return monitorSource; }
std::string SimInput::getMonitorSubsystem() const      { const std::lock_guard<std::mutex> sl (lock); return monitorSubsystem; }
bool SimInput::hasMonitorDevtype() const               { const std::lock_guard<std::mutex> sl (lock); return monitorDevtype; }
int SimInput::getNumReceivedDevices() const            { const std::lock_guard<std::mutex> sl (lock); return numReceivedDevices; }
int SimInput::getNumLiveObjects() const                { const std::lock_guard<std::mutex> sl (lock); return numLiveObjects; }
const libinput_interface* SimInput::getLibinputInterface() const { const std::lock_guard<std::mutex> sl (lock); return interface; }
void* SimInput::getLibinputUserData() const            { const std::lock_guard<std::mutex> sl (lock); return userData; }

//==============================================================================
udev* SimInput::udevNew()
{
    const std::lock_guard<std::mutex> sl (lock);
    return failUdev ? nullptr : reinterpret_cast<udev*> (makeObject (udevKind));
}

void SimInput::udevUnref (udev* context)
{
    const std::lock_guard<std::mutex> sl (lock);
    releaseObject (context);
}

udev_monitor* SimInput::udevMonitorNewFromNetlink (udev*, const char* name)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (failMonitor)
        return nullptr;

    monitorSource = name != nullptr ? name : "";
    return reinterpret_cast<udev_monitor*> (makeObject (monitorKind));
}

int SimInput::udevMonitorFilterAddMatchSubsystemDevtype (udev_monitor*, const char* subsystem, const char* devtype)
{
    const std::lock_guard<std::mutex> sl (lock);
    monitorSubsystem = subsystem != nullptr ? subsystem : "";
    monitorDevtype = devtype != nullptr;
    return failMonitorFilter ? -22 : 0;
}

int SimInput::udevMonitorEnableReceiving (udev_monitor*)
{
    const std::lock_guard<std::mutex> sl (lock);
    return failMonitorEnable ? -22 : 0;
}

int SimInput::udevMonitorGetFd (udev_monitor*)
{
    return monitorFd;
}

udev_device* SimInput::udevMonitorReceiveDevice (udev_monitor*)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (hotplugs.empty())
        return nullptr;

    const bool readable = hotplugs.front();
    hotplugs.pop_front();

    if (hotplugs.empty())
        drainEventFd (monitorFd);

    if (! readable)
        return nullptr;

    ++numReceivedDevices;
    return reinterpret_cast<udev_device*> (makeObject (deviceKind));
}

void SimInput::udevMonitorUnref (udev_monitor* monitor)
{
    const std::lock_guard<std::mutex> sl (lock);
    releaseObject (monitor);
}

void SimInput::udevDeviceUnref (udev_device* device)
{
    const std::lock_guard<std::mutex> sl (lock);
    releaseObject (device);
}

libinput* SimInput::libinputUdevCreateContext (const libinput_interface* newInterface, void* newUserData, udev*)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (failLibinputContext)
        return nullptr;

    interface = newInterface;
    userData = newUserData;
    return reinterpret_cast<libinput*> (makeObject (libinputKind));
}

int SimInput::libinputUdevAssignSeat (libinput*, const char* seatName)
{
    const std::lock_guard<std::mutex> sl (lock);
    seat = seatName != nullptr ? seatName : "";
    return failAssignSeat ? -1 : 0;
}

int SimInput::libinputGetFd (libinput*)
{
    return libinputFd;
}

int SimInput::libinputDispatch (libinput*)
{
    const std::lock_guard<std::mutex> sl (lock);
    drainEventFd (libinputFd);
    dispatchedEvents.insert (dispatchedEvents.end(), queuedEvents.begin(), queuedEvents.end());
    queuedEvents.clear();
    return 0;
}

libinput_event* SimInput::libinputGetEvent (libinput*)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (dispatchedEvents.empty())
        return nullptr;

    const auto event = dispatchedEvents.front();
    dispatchedEvents.pop_front();
    return reinterpret_cast<libinput_event*> (makeObject (eventKind, event));
}

void SimInput::libinputEventDestroy (libinput_event* event)
{
    const std::lock_guard<std::mutex> sl (lock);
    releaseObject (event);
}

void SimInput::libinputUnref (libinput* context)
{
    const std::lock_guard<std::mutex> sl (lock);
    releaseObject (context);
}

void SimInput::libinputDeviceUnref (libinput_device* device)
{
    const std::lock_guard<std::mutex> sl (lock);
    releaseObject (device);
}

//==============================================================================
namespace
{
    constexpr int keyboardTypes[] = { LIBINPUT_EVENT_KEYBOARD_KEY, LIBINPUT_EVENT_KEYBOARD_KEY };
    constexpr int pointerTypes[] = { LIBINPUT_EVENT_POINTER_MOTION, LIBINPUT_EVENT_POINTER_SCROLL_CONTINUOUS };
    constexpr int touchTypes[] = { LIBINPUT_EVENT_TOUCH_DOWN, LIBINPUT_EVENT_TOUCH_FRAME };

    bool isOfTypes (const libinput_event* event, const int (&types)[2])
    {
        const auto type = SimInput::getEventType (event);
        return types[0] <= type && type <= types[1];
    }

    double scaled (double raw, double range, uint32_t size)
    {
        return range > 0.0 ? raw * size / range : 0.0;
    }
}

int SimInput::getEventType (const libinput_event* event)
{
    return reinterpret_cast<const Object*> (event)->event.type;
}

int SimInput::libinputEventGetType (libinput_event* event)
{
    return getEventType (event);
}

libinput_event_keyboard* SimInput::libinputEventGetKeyboardEvent (libinput_event* event)
{
    return isOfTypes (event, keyboardTypes) ? reinterpret_cast<libinput_event_keyboard*> (event) : nullptr;
}

uint32_t SimInput::libinputEventKeyboardGetKey (libinput_event_keyboard* event)
{
    return eventOf (event, keyboardTypes[0], keyboardTypes[1]).key;
}

int SimInput::libinputEventKeyboardGetKeyState (libinput_event_keyboard* event)
{
    return eventOf (event, keyboardTypes[0], keyboardTypes[1]).keyState;
}

libinput_event_pointer* SimInput::libinputEventGetPointerEvent (libinput_event* event)
{
    return isOfTypes (event, pointerTypes) ? reinterpret_cast<libinput_event_pointer*> (event) : nullptr;
}

uint32_t SimInput::libinputEventPointerGetTime (libinput_event_pointer* event)
{
    return eventOf (event, pointerTypes[0], pointerTypes[1]).time;
}

double SimInput::libinputEventPointerGetAbsoluteXTransformed (libinput_event_pointer* event, uint32_t width)
{
    const auto& e = eventOf (event, LIBINPUT_EVENT_POINTER_MOTION_ABSOLUTE, LIBINPUT_EVENT_POINTER_MOTION_ABSOLUTE);
    return scaled (e.x, e.range.width, width);
}

double SimInput::libinputEventPointerGetAbsoluteYTransformed (libinput_event_pointer* event, uint32_t height)
{
    const auto& e = eventOf (event, LIBINPUT_EVENT_POINTER_MOTION_ABSOLUTE, LIBINPUT_EVENT_POINTER_MOTION_ABSOLUTE);
    return scaled (e.y, e.range.height, height);
}

int SimInput::libinputEventPointerHasAxis (libinput_event_pointer* event, int axis)
{
    const auto& e = eventOf (event, LIBINPUT_EVENT_POINTER_AXIS, LIBINPUT_EVENT_POINTER_AXIS);
    return (axis == LIBINPUT_POINTER_AXIS_SCROLL_VERTICAL ? e.vertical : e.horizontal).has_value() ? 1 : 0;
}

double SimInput::libinputEventPointerGetAxisValue (libinput_event_pointer* event, int axis)
{
    const auto& e = eventOf (event, LIBINPUT_EVENT_POINTER_AXIS, LIBINPUT_EVENT_POINTER_AXIS);
    return (axis == LIBINPUT_POINTER_AXIS_SCROLL_VERTICAL ? e.vertical : e.horizontal).value_or (0.0);
}

libinput_event_touch* SimInput::libinputEventGetTouchEvent (libinput_event* event)
{
    return isOfTypes (event, touchTypes) ? reinterpret_cast<libinput_event_touch*> (event) : nullptr;
}

uint32_t SimInput::libinputEventTouchGetTime (libinput_event_touch* event)
{
    return eventOf (event, touchTypes[0], touchTypes[1]).time;
}

int32_t SimInput::libinputEventTouchGetSlot (libinput_event_touch* event)
{
    return eventOf (event, LIBINPUT_EVENT_TOUCH_DOWN, LIBINPUT_EVENT_TOUCH_CANCEL).slot;
}

double SimInput::libinputEventTouchGetXTransformed (libinput_event_touch* event, uint32_t width)
{
    // Only downs and motions carry a position.
    const auto& e = eventOf (event, LIBINPUT_EVENT_TOUCH_DOWN, LIBINPUT_EVENT_TOUCH_DOWN + 2);

    if (e.type == LIBINPUT_EVENT_TOUCH_UP)
    {
        const std::lock_guard<std::mutex> sl (lock);
        ++numTypeMismatches;
        return 0.0;
    }

    return scaled (e.x, e.range.width, width);
}

double SimInput::libinputEventTouchGetYTransformed (libinput_event_touch* event, uint32_t height)
{
    const auto& e = eventOf (event, LIBINPUT_EVENT_TOUCH_DOWN, LIBINPUT_EVENT_TOUCH_DOWN + 2);

    if (e.type == LIBINPUT_EVENT_TOUCH_UP)
    {
        const std::lock_guard<std::mutex> sl (lock);
        ++numTypeMismatches;
        return 0.0;
    }

    return scaled (e.y, e.range.height, height);
}

} // namespace Sim
