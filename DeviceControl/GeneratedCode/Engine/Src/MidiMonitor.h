#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LMidiMonitor final : public LGeneratedModule<LMidiMonitor, IMidiMonitor>
{
public:
    static const ParamModuleSource kSource;

    // A list of texts, holding one empty text to begin with.
    static Variant DefaultValue(std::uint32_t index);
};

extern template class LGeneratedModule<LMidiMonitor, IMidiMonitor>;
} // namespace Vx
