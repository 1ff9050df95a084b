#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LMotorTest final : public LGeneratedModule<LMotorTest, IMotorTest>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LMotorTest, IMotorTest>;
} // namespace Vx
