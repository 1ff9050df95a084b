#include "DeviceControl/GeneratedCode/Engine/Src/SystemTests.h"

namespace Vx
{
template class LGeneratedModule<LSystemTests, ISystemTests>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LSystemTests::kSource{__FILE__, __LINE__};
} // namespace Vx
