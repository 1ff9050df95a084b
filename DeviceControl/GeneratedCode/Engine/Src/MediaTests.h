#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LMediaTests final : public LGeneratedModule<LMediaTests, IMediaTests>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LMediaTests, IMediaTests>;
} // namespace Vx
