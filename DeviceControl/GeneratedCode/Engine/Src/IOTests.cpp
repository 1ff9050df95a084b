#include "DeviceControl/GeneratedCode/Engine/Src/IOTests.h"

namespace Vx
{
template class LGeneratedModule<LIOTests, IIOTests>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LIOTests::kSource{__FILE__, __LINE__};
} // namespace Vx
