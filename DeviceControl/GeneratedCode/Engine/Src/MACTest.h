#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LMACTest final : public LGeneratedModule<LMACTest, IMACTest>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LMACTest, IMACTest>;
} // namespace Vx
