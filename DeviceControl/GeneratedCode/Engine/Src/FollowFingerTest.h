#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/ManualVerificationTest.h"

namespace Vx
{
class LFollowFingerTest final : public LGeneratedModule<LFollowFingerTest, IFollowFingerTest>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IManualVerificationTest> GetManualVerificationTest() override
    {
        return StoredChild<LManualVerificationTest>();
    }
};

extern template class LGeneratedModule<LFollowFingerTest, IFollowFingerTest>;
} // namespace Vx
