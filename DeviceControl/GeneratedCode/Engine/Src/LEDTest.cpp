#include "DeviceControl/GeneratedCode/Engine/Src/LEDTest.h"

namespace Vx
{
template class LGeneratedModule<LLEDTest, ILEDTest>;

// This module's logic errors and assertions name this position.
const ParamModuleSource LLEDTest::kSource{__FILE__, __LINE__};
} // namespace Vx
