#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/CTPTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/DisplayTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/EncodersTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/LEDTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/PlatterTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/PotsTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/SwitchesTest.h"

namespace Vx
{
class LUITests final : public LGeneratedModule<LUITests, IUITests>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<ISwitchesTest> GetSwitchesTest() override { return StoredChild<LSwitchesTest>(); }
    RCPtr<IEncodersTest> GetEncodersTest() override { return StoredChild<LEncodersTest>(); }
    RCPtr<IPotsTest> GetPotsTest() override { return StoredChild<LPotsTest>(); }
    RCPtr<ILEDTest> GetLEDTest() override { return StoredChild<LLEDTest>(); }
    RCPtr<IDisplayTest> GetDisplayTest() override { return StoredChild<LDisplayTest>(); }
    RCPtr<ICTPTest> GetCTPTest() override { return StoredChild<LCTPTest>(); }
    RCPtr<IPlatterTest> GetPlatterTest() override { return StoredChild<LPlatterTest>(); }
};

extern template class LGeneratedModule<LUITests, IUITests>;
} // namespace Vx
