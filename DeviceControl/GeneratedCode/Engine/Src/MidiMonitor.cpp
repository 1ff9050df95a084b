#include "DeviceControl/GeneratedCode/Engine/Src/MidiMonitor.h"

namespace Vx
{
template class LGeneratedModule<LMidiMonitor, IMidiMonitor>;

Variant LMidiMonitor::DefaultValue(std::uint32_t)
{
    Variant text;
    text.SetString("");
    Variant list;
    list.SetArray(&text, 1);
    return list;
}

// This module's logic errors and assertions name this position.
const ParamModuleSource LMidiMonitor::kSource{__FILE__, __LINE__};
} // namespace Vx
