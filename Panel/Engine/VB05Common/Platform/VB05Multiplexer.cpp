#include "Panel/Engine/VB05Common/Platform/VB05Multiplexer.h"

#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <unistd.h>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

// Long enough for the card to come up on its new host.
constexpr useconds_t kSDMuxSettleMicroseconds = 200000;

bool ParseState(const String& text, MuxState& state)
{
    if (text == "internal")
    {
        state = MUX_STATE_INTERNAL;
        return true;
    }
    if (text == "external")
    {
        state = MUX_STATE_EXTERNAL;
        return true;
    }
    return false;
}

const char* StateName(MuxState state)
{
    switch (state)
    {
    case MUX_STATE_INTERNAL:
        return "internal";
    case MUX_STATE_EXTERNAL:
        return "external";
    default:
        return nullptr;
    }
}
} // namespace

bool SDMuxExists()
{
    return FileExists(String(kSDMuxStatePath));
}

bool GetSDMuxState(MuxState& state)
{
    String token;
    if (!ReadFirstToken(String(kSDMuxStatePath), token))
        return false;
    return ParseState(token, state);
}

bool GetSDMuxStateName(MuxState state, String& name)
{
    const char* const text = StateName(state);
    if (text == nullptr)
        return false;
    name = text;
    return true;
}

bool SetSDMuxState(MuxState state)
{
    String name;
    if (!GetSDMuxStateName(state, name))
        return false;
    const bool written = WriteFile(String(kSDMuxStatePath), name);
    ::usleep(kSDMuxSettleMicroseconds);
    return written;
}

bool GetUSBMuxState(MuxState& state)
{
    String token;
    if (!ReadFirstToken(String(kUSBMuxStatePath), token))
    {
        // A board without the multiplexer.
        state = MUX_STATE_INTERNAL;
        return true;
    }
    if (ParseState(token, state))
        return true;
    state = MUX_STATE_UNKNOWN;
    return false;
}

bool GetUSBMuxStateName(MuxState state, String& name)
{
    const char* const text = StateName(state);
    if (text == nullptr)
    {
        name = "unknown";
        return false;
    }
    name = text;
    return true;
}

bool SetUSBMuxState(MuxState state)
{
    String name;
    if (!GetUSBMuxStateName(state, name))
        return false;
    DebugTracer::Get().Trace(-1, "Setting USB mux state to %s", name.GetCString());
    return RunUSBMuxSwitch(name);
}

bool RunUSBMuxSwitch(const String& stateName)
{
    // The name reaches the script's tool as one word whatever it holds.
    // Indented as a block; the script runner drops the leading blanks.
    const String script =
        String::Format("\n\t\t#!/bin/sh\n\t\tvb05-usbmux-switch %s\n\t\t", QuoteShellArgument(stateName).GetCString());
    DebugTracer::Get().Trace(-1, "Setting USB mux state: %s", stateName.GetCString());
    return detail::ExecuteScript(script) == 0;
}
} // namespace Vx::VB05
