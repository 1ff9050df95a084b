#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/AudioOutTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/IOTests.h"
#include "DeviceControl/GeneratedCode/Engine/Src/MediaTests.h"
#include "DeviceControl/GeneratedCode/Engine/Src/MotorTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/RemoteControlTest.h"

namespace Vx
{
class LDeviceTests final : public LGeneratedModule<LDeviceTests, IDeviceTests>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IIOTests> GetIOTests() override { return StoredChild<LIOTests>(); }
    RCPtr<IRemoteControlTest> GetRemoteControlTest() override { return StoredChild<LRemoteControlTest>(); }
    RCPtr<IMediaTests> GetMediaTests() override { return StoredChild<LMediaTests>(); }
    RCPtr<IAudioOutTest> GetAudioOutTest() override { return StoredChild<LAudioOutTest>(); }
    RCPtr<IMotorTest> GetMotorTest() override { return StoredChild<LMotorTest>(); }
};

extern template class LGeneratedModule<LDeviceTests, IDeviceTests>;
} // namespace Vx
