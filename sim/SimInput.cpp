#include "sim/SimInput.h"

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

SimInput::Object* SimInput::makeObject (int kind, int id)
{
    ++numLiveObjects;
    return new Object { kind, id };
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
    const std::lock_guard<std::mutex> sl (lock);
    queuedEvents.push_back (id);
    signalEventFd (libinputFd);
}

int SimInput::getEventId (const libinput_event* event)
{
    return reinterpret_cast<const Object*> (event)->id;
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

    const auto id = dispatchedEvents.front();
    dispatchedEvents.pop_front();
    return reinterpret_cast<libinput_event*> (makeObject (eventKind, id));
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

} // namespace Sim
