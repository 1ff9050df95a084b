#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/GeneratedModule.h"

namespace Vx
{
class LSuperCapTest final : public LGeneratedModule<LSuperCapTest, ISuperCapTest>
{
public:
    static const ParamModuleSource kSource;
};

extern template class LGeneratedModule<LSuperCapTest, ISuperCapTest>;
} // namespace Vx
