#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/DeviceTests.h"
#include "DeviceControl/GeneratedCode/Engine/Src/SystemTests.h"
#include "DeviceControl/GeneratedCode/Engine/Src/UITests.h"

namespace Vx
{
class LDevice final : public LGeneratedModule<LDevice, IDevice>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IUITests> GetUITests() override { return StoredChild<LUITests>(); }
    RCPtr<IDeviceTests> GetDeviceTests() override { return StoredChild<LDeviceTests>(); }
    RCPtr<ISystemTests> GetSystemTests() override { return StoredChild<LSystemTests>(); }
};

extern template class LGeneratedModule<LDevice, IDevice>;
} // namespace Vx
