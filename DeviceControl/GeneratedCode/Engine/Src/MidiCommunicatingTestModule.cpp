#include "DeviceControl/GeneratedCode/Engine/Src/MidiCommunicatingTestModule.h"

namespace Vx
{
template class LGeneratedModule<LMidiCommunicatingTestModule, IMidiCommunicatingTestModule>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LMidiCommunicatingTestModule::kSource{__FILE__, __LINE__};
} // namespace Vx
