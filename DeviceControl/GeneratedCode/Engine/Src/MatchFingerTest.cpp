#include "DeviceControl/GeneratedCode/Engine/Src/MatchFingerTest.h"

namespace Vx
{
template class LGeneratedModule<LMatchFingerTest, IMatchFingerTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LMatchFingerTest::kSource{__FILE__, __LINE__};
} // namespace Vx
