#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/ManualVerificationTest.h"

namespace Vx
{
class LVersionTest final : public LGeneratedModule<LVersionTest, IVersionTest>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IManualVerificationTest> GetManualVerificationTest() override
    {
        return StoredChild<LManualVerificationTest>();
    }
};

extern template class LGeneratedModule<LVersionTest, IVersionTest>;
} // namespace Vx
