#include "DeviceControl/GeneratedCode/Engine/Src/FanTest.h"

namespace Vx
{
template class LGeneratedModule<LFanTest, IFanTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LFanTest::kSource{__FILE__, __LINE__};
} // namespace Vx
