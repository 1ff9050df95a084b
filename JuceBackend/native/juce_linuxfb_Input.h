#pragma once

struct libinput_event;

namespace juce
{

/** Input from libinput as JUCE input: keys through xkbcommon, the absolute
    pointer and its wheel, and multi-touch with one mouse input source per
    touch slot.  Everything runs on the message thread. */
namespace LinuxFbInput
{
    /** Makes the keyboard map (model "pc105", the system's default layout)
        and installs the handler of libinput events; aborts the process when
        the map cannot be made: the device would have no keys. */
    void setUpKeyboard();

    /** Drops the keyboard map and forgets the touches. */
    void releaseKeyboard();

    /** Handles one libinput event. */
    void handleEvent (libinput_event*);

    /** Touch slots the backend takes: JUCE keeps at most this many sources. */
    constexpr int maxTouchSlots = 100;
}

} // namespace juce
