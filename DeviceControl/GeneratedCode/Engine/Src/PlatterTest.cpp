#include "DeviceControl/GeneratedCode/Engine/Src/PlatterTest.h"

namespace Vx
{
template class LGeneratedModule<LPlatterTest, IPlatterTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LPlatterTest::kSource{__FILE__, __LINE__};
} // namespace Vx
