#include "DeviceControl/GeneratedCode/Engine/Src/DisplayTest.h"

namespace Vx
{
template class LGeneratedModule<LDisplayTest, IDisplayTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LDisplayTest::kSource{__FILE__, __LINE__};
} // namespace Vx
