#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/MidiCommunicatingTestModule.h"
#include "DeviceControl/GeneratedCode/Engine/Src/MidiMonitor.h"

namespace Vx
{
class LPlatterTest final : public LGeneratedModule<LPlatterTest, IPlatterTest>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IMidiCommunicatingTestModule> GetMidiCommunicatingTestModule() override
    {
        return StoredChild<LMidiCommunicatingTestModule>();
    }
    RCPtr<IMidiMonitor> GetMidiMonitor() override { return StoredChild<LMidiMonitor>(); }
};

extern template class LGeneratedModule<LPlatterTest, IPlatterTest>;
} // namespace Vx
