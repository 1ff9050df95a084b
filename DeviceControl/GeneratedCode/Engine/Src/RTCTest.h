#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/ManualVerificationTest.h"

namespace Vx
{
class LRTCTest final : public LGeneratedModule<LRTCTest, IRTCTest>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IManualVerificationTest> GetManualVerificationTest() override
    {
        return StoredChild<LManualVerificationTest>();
    }
};

extern template class LGeneratedModule<LRTCTest, IRTCTest>;
} // namespace Vx
