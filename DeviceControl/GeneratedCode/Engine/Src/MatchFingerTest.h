#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LMatchFingerTest final : public LGeneratedModule<LMatchFingerTest, IMatchFingerTest>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LMatchFingerTest, IMatchFingerTest>;
} // namespace Vx
