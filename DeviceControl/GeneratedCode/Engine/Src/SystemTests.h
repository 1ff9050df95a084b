#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/FanTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/MACTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/MemoryTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/RTCTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/SerialTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/SuperCapTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/VersionTest.h"

namespace Vx
{
class LSystemTests final : public LGeneratedModule<LSystemTests, ISystemTests>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IMemoryTest> GetMemoryTest() override { return StoredChild<LMemoryTest>(); }
    RCPtr<IRTCTest> GetRTCTest() override { return StoredChild<LRTCTest>(); }
    RCPtr<ISuperCapTest> GetSuperCapTest() override { return StoredChild<LSuperCapTest>(); }
    RCPtr<IVersionTest> GetVersionTest() override { return StoredChild<LVersionTest>(); }
    RCPtr<IMACTest> GetMACTest() override { return StoredChild<LMACTest>(); }
    RCPtr<ISerialTest> GetSerialTest() override { return StoredChild<LSerialTest>(); }
    RCPtr<IFanTest> GetFanTest() override { return StoredChild<LFanTest>(); }
};

extern template class LGeneratedModule<LSystemTests, ISystemTests>;
} // namespace Vx
