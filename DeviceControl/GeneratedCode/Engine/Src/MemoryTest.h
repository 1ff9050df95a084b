#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LMemoryTest final : public LGeneratedModule<LMemoryTest, IMemoryTest>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LMemoryTest, IMemoryTest>;
} // namespace Vx
