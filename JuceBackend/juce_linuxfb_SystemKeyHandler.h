#pragma once

// The device's power keys do not go to the keyboard focus: the input backend
// hands them to the top-level window under the pointer when that window
// implements this interface (the application's OS window does).

namespace juce
{

/** A top-level component that takes the device's system keys. */
class SystemKeyHandler
{
public:
    virtual ~SystemKeyHandler() = default;

    /** The power key went down (message thread). */
    virtual void systemPowerKeyPressed() = 0;

    /** Never called by the backend: a power key's release reaches the
        component as an ordinary key-up. */
    virtual void systemPowerKeyReleased() = 0;
};

} // namespace juce
