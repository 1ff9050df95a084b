#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LFanTest final : public LGeneratedModule<LFanTest, IFanTest>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LFanTest, IFanTest>;
} // namespace Vx
