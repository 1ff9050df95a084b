#pragma once

#include "DeviceControl/GeneratedCode/Engine/Src/FollowFingerTest.h"
#include "DeviceControl/GeneratedCode/Engine/Src/MatchFingerTest.h"

namespace Vx
{
class LCTPTest final : public LGeneratedModule<LCTPTest, ICTPTest>
{
public:
    static const ParamModuleSource kSource;

    RCPtr<IFollowFingerTest> GetFollowFingerTest() override { return StoredChild<LFollowFingerTest>(); }
    RCPtr<IMatchFingerTest> GetMatchFingerTest() override { return StoredChild<LMatchFingerTest>(); }
};

extern template class LGeneratedModule<LCTPTest, ICTPTest>;
} // namespace Vx
