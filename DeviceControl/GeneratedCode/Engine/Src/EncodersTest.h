#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/MidiCommunicatingTestModule.h"
#include "DeviceControl/GeneratedCode/Engine/Src/MidiMonitor.h"

namespace Vx
{
class LEncodersTest final : public LGeneratedModule<LEncodersTest, IEncodersTest>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IMidiCommunicatingTestModule> GetMidiCommunicatingTestModule(std::uint32_t index) override
    {
        return StoredElement<LMidiCommunicatingTestModule>(index);
    }
    RCPtr<IMidiMonitor> GetMidiMonitor() override { return StoredChild<LMidiMonitor>(); }
};

extern template class LGeneratedModule<LEncodersTest, IEncodersTest>;
} // namespace Vx
