#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/MidiMonitor.h"

namespace Vx
{
class LRemoteControlTest final : public LGeneratedModule<LRemoteControlTest, IRemoteControlTest>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IMidiMonitor> GetMidiMonitor() override { return StoredChild<LMidiMonitor>(); }
};

extern template class LGeneratedModule<LRemoteControlTest, IRemoteControlTest>;
} // namespace Vx
