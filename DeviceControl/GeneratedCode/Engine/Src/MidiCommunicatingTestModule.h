#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LMidiCommunicatingTestModule final
    : public LGeneratedModule<LMidiCommunicatingTestModule, IMidiCommunicatingTestModule>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LMidiCommunicatingTestModule, IMidiCommunicatingTestModule>;
} // namespace Vx
