#pragma once

// udev and libinput stand-ins behind the display backend's input seam: a udev
// monitor whose display hot-plug events the test queues, and a libinput
// context whose events the test queues and the backend reads after dispatch.
// Their descriptors are real eventfds, so the backend polls them as on the device.

#include "JuceBackend/juce_linuxfb_InputSystemCalls.h"

#include <deque>
#include <mutex>
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

    /** A libinput event, fetchable after the next dispatch, named by id. */
    void queueInputEvent (int id);
    static int getEventId (const libinput_event*);

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

private:
    struct Object
    {
        int kind;
        int id;
    };

    Object* makeObject (int kind, int id = 0);
    void releaseObject (void* object);

    mutable std::mutex lock;
    int monitorFd;
    int libinputFd;
    std::deque<bool> hotplugs;
    std::deque<int> queuedEvents;
    std::deque<int> dispatchedEvents;
    std::string seat, monitorSource, monitorSubsystem;
    bool monitorDevtype = false;
    int numReceivedDevices = 0;
    int numLiveObjects = 0;
    const libinput_interface* interface = nullptr;
    void* userData = nullptr;
};

} // namespace Sim
