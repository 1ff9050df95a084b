#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LIOTests final : public LGeneratedModule<LIOTests, IIOTests>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LIOTests, IIOTests>;
} // namespace Vx
