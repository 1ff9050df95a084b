#include "DeviceControl/GeneratedCode/Engine/Src/FollowFingerTest.h"

namespace Vx
{
template class LGeneratedModule<LFollowFingerTest, IFollowFingerTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LFollowFingerTest::kSource{__FILE__, __LINE__};
} // namespace Vx
