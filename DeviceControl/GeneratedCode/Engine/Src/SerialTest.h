#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LSerialTest final : public LGeneratedModule<LSerialTest, ISerialTest>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LSerialTest, ISerialTest>;
} // namespace Vx
