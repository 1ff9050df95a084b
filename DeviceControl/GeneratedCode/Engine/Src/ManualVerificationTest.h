#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LManualVerificationTest final : public LGeneratedModule<LManualVerificationTest, IManualVerificationTest>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LManualVerificationTest, IManualVerificationTest>;
} // namespace Vx
