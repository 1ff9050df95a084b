#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/ManualVerificationTest.h"

namespace Vx
{
class LAudioOutTestConfiguration final : public LGeneratedModule<LAudioOutTestConfiguration, IAudioOutTestConfiguration>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IManualVerificationTest> GetManualVerificationTest() override
    {
        return StoredChild<LManualVerificationTest>();
    }
};

extern template class LGeneratedModule<LAudioOutTestConfiguration, IAudioOutTestConfiguration>;
} // namespace Vx
