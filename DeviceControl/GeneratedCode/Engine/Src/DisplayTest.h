#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/ManualVerificationTest.h"

namespace Vx
{
class LDisplayTest final : public LGeneratedModule<LDisplayTest, IDisplayTest>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IManualVerificationTest> GetManualVerificationTest() override
    {
        return StoredChild<LManualVerificationTest>();
    }
};

extern template class LGeneratedModule<LDisplayTest, IDisplayTest>;
} // namespace Vx
