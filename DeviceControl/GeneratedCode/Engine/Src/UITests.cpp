#include "DeviceControl/GeneratedCode/Engine/Src/UITests.h"

namespace Vx
{
template class LGeneratedModule<LUITests, IUITests>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LUITests::kSource{__FILE__, __LINE__};
} // namespace Vx
