#pragma once

// The board's two signal multiplexers, each with an internal and an external
// setting: the SD multiplexer (the SD card interface), switched by writing its
// state file, and the USB multiplexer, switched by the board's script.  The
// state lives in the hardware; nothing here remembers it, and nothing here
// locks: callers switch one multiplexer from one thread at a time.

#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx::VB05
{
enum MuxState : std::int32_t
{
    // A state text that is neither of the two.
    MUX_STATE_UNKNOWN = -1,
    MUX_STATE_INTERNAL = 0,
    MUX_STATE_EXTERNAL = 1,
};

inline constexpr char kSDMuxStatePath[] = "/sys/bus/platform/devices/sd-mux/state";
// Read only: the board's script switches it.
inline constexpr char kUSBMuxStatePath[] = "/sys/devices/platform/usb-mux/state";

// The SD state file opens for reading and writing.
bool SDMuxExists();
// False, and the state untouched, when the file cannot be read or holds
// neither "internal" nor "external".
bool GetSDMuxState(MuxState& state);
// "internal" or "external"; another state gives false and leaves the text alone.
bool GetSDMuxStateName(MuxState state, StringT<char, unsigned short>& name);
// Writes the state's name, then waits 200 ms for the card to settle on its
// new host (also after a failed write).  Another state gives false at once.
bool SetSDMuxState(MuxState state);

// A board without the state file counts as internal (true); a text that is
// neither name gives MUX_STATE_UNKNOWN and false.
bool GetUSBMuxState(MuxState& state);
// "internal" or "external"; another state gives "unknown" and false.
bool GetUSBMuxStateName(MuxState state, StringT<char, unsigned short>& name);
// Runs the board's switch script for the state; false for another state.
bool SetUSBMuxState(MuxState state);
// Runs the board's switch script with the name as its one argument; true
// when the script exits 0.
bool RunUSBMuxSwitch(const StringT<char, unsigned short>& stateName);
} // namespace Vx::VB05
