#include "DeviceControl/GeneratedCode/Engine/Src/DeviceTests.h"

namespace Vx
{
template class LGeneratedModule<LDeviceTests, IDeviceTests>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LDeviceTests::kSource{__FILE__, __LINE__};
} // namespace Vx
