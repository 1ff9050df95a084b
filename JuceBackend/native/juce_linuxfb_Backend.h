#pragma once

// What the message loop (events module) asks of the display and input backend
// (GUI module).  Everything runs on the message thread unless said otherwise.

struct libinput_event;

namespace juce
{

struct LinuxFbBackend
{
    /** Opens the DRM device and finds its screens; aborts the process without one. */
    static void startUp();

    /** First step of the platform shutdown: the pointer devices go. */
    static void releasePointerDevices();

    /** Last step of the platform shutdown: screens, DRM device, console mode. */
    static void shutDown();

    /** The page-flip class of system events; true if something was handled. */
    static bool handleDrmEvents();

    /** The accelerator class of system events; true if something was handled. */
    static bool handleAcceleratorCompletions();

    /** A display was plugged or unplugged: the screens are found again. */
    static void handleDisplayHotplug();

    /** The descriptors the system event thread polls (called on that thread);
        negative when there is none. */
    static int getDrmDescriptor();
    static int getAcceleratorDescriptor();

    /** Handles one libinput event; null until the backend installs its input
        handling, and the events are then dropped. */
    using InputEventHandler = void (*) (libinput_event*);
    static InputEventHandler inputEventHandler;
};

} // namespace juce
